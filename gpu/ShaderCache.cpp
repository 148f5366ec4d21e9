#include "gpu/ShaderCache.h"

Shader* ShaderCache::find(const std::string& key) const
{
    const auto it = shaders_.find(key);
    return it == shaders_.end() ? nullptr : it->second.get();
}

Shader* ShaderCache::add(const std::string& key)
{
    std::unique_ptr<Shader>& slot = shaders_[key];
    if (!slot)
        slot = std::make_unique<Shader>(&files_);
    return slot.get();
}

void ShaderCache::use(Shader* shader)
{
    current_ = shader;
    if (shader)
        shader->use();
    else
        glUseProgram(0);
}

void ShaderCache::unbind()
{
    use(nullptr);
}

void ShaderCache::releaseAll()
{
    current_ = nullptr;
    for (auto& entry : shaders_)
        entry.second->release();
}
