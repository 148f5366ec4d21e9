#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool currentDirectory(std::string& dir, int& error)
{
    std::vector<char> buf(4096);
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) {
            dir = buf.data();
            error = 0;
            return true;
        }
        if (errno != ERANGE || buf.size() > (1u << 20)) {
            error = errno;
            return false;
        }
        buf.resize(buf.size() * 2);
    }
}

bool canOpenForReading(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::fclose(f);
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& data)
{
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        done += size_t(n);
    }
    const bool ok = done == data.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace platform

#include <sys/stat.h>

namespace platform {

uint64_t fileWriteTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return uint64_t(st.st_mtim.tv_sec) * 10000000u + uint64_t(st.st_mtim.tv_nsec) / 100u;
}

} // namespace platform
