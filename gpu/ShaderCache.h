#pragma once
// The shaders of one set of GPU resources (gpu/GpuResources.h): shared by
// every shader item that names the same file from the same skene and
// directory, watched for changes of their files, and the one whose program
// the items below it draw with now. Entries are never removed, so a
// reloaded skene finds its shaders again and a Shader* stays valid as long
// as the cache.
#include "gpu/FileAutoLoader.h"
#include "gpu/Shader.h"

#include <map>
#include <memory>
#include <string>

class ShaderCache {
public:
    ShaderCache() = default;
    ShaderCache(const ShaderCache&) = delete;
    ShaderCache& operator=(const ShaderCache&) = delete;

    // The shader under key, or null.
    Shader* find(const std::string& key) const;
    // Adds an empty shader watched by this cache's file watch under key (or
    // returns the one there).
    Shader* add(const std::string& key);

    // Binds the shader's program and makes it the current shader.
    void use(Shader* shader);
    // Makes no shader current and binds program 0.
    void unbind();
    // The shader made current last, or null.
    Shader* current() const { return current_; }

    // The watch over the cached shaders' files (and over any other loader
    // made with it).
    FileWatch& files() { return files_; }

    // Deletes every shader's GL objects (with the context current).
    void releaseAll();

private:
    // Declared first: the shaders leave it as they are destroyed.
    FileWatch files_;
    std::map<std::string, std::unique_ptr<Shader>> shaders_;
    Shader* current_ = nullptr;
};
