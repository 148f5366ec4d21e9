#include "platform/Process.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool launchDetached(const std::string& program, const std::vector<std::string>& args)
{
    QStringList qargs;
    for (const auto& a : args)
        qargs << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), qargs);
}

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return access(path.c_str(), X_OK) == 0;
}

std::string findOnSearchPath(const std::string& program)
{
    return QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
}

std::string executableDirectory()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

} // namespace platform
