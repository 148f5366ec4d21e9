#include "state/DemoFolders.h"

#include "platform/Installed.h"

#include "platform/Files.h"

#include <QDebug>

#include <algorithm>
#include <filesystem>

DemoFolders& demoFolders()
{
    return Installed<DemoFolders>::get();
}

bool demoFileReadable(const std::string& name)
{
    return platform::canOpenForReading(demoFolders().rootDir + "/" + name) || platform::canOpenForReading(name);
}

std::string demoFileUrl(const std::string& name)
{
    if (name.empty())
        return std::string();
    std::string plain = name;
    std::replace(plain.begin(), plain.end(), '\\', '/');
    std::string full = demoFolders().rootDir + "/" + plain;
    if (!platform::canOpenForReading(full)) {
        if (!platform::canOpenForReading(plain))
            return std::string();
        std::error_code ignored;
        full = std::filesystem::absolute(plain, ignored).string();
    }
    // Absolute paths begin with "/", which makes the third slash.
    return "file://" + full;
}

std::string skeneFileUrl(const std::string& fileName, const std::string& skeneName, bool* announce)
{
    *announce = false;
    if (fileName.empty())
        return std::string();
    const std::string url = demoFileUrl(fileName);
    if (!url.empty()) {
        qDebug() << "demo.path returning FOUND PATH from c++ with:" << skeneName.c_str() << url.c_str();
        return url;
    }
    if (fileName.find("\\\\") == std::string::npos && !skeneName.empty()) {
        const std::string full = demoFolders().rootDir + "/" + fileName;
        qDebug() << "FAILED demo.path returning NOT FOUND PATH from c++ with:" << skeneName.c_str() << full.c_str();
        *announce = true;
    }
    return std::string();
}
