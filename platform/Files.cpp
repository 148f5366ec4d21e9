#include "platform/Files.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
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

bool readWholeFile(const std::string& path, std::string& content)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0)
        content.reserve(size_t(st.st_size));
    char buf[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        else if (n == 0)
            break;
        else
            content.append(buf, size_t(n));
    }
    ::close(fd);
    if (!ok)
        content.clear();
    return ok;
}

namespace {

// Where a write lands: the file behind any symbolic links, and what its
// replacement keeps of it.
struct Target {
    std::string path; // the real file
    std::string dir;  // its folder
    bool exists = false;
    mode_t mode = 0666; // a new file gets what the umask leaves of this
    uid_t uid = 0;
    gid_t gid = 0;
};

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// False when path may not be replaced: it is not writable, not a plain
// file, or a chain of links that never ends.
bool resolveTarget(const std::string& path, Target& target)
{
    std::string p = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return false;
            break; // a new file, or a link to one not made yet
        }
        if (S_ISLNK(st.st_mode)) {
            // Replacing the link itself would cut the file it points to out
            // of the author's set-up.
            if (hops >= 40)
                return false;
            std::string link(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
            const ssize_t n = ::readlink(p.c_str(), &link[0], link.size());
            if (n <= 0 || size_t(n) >= link.size())
                return false;
            link.resize(size_t(n));
            p = link[0] == '/' ? link : folderOf(p) + "/" + link;
            continue;
        }
        // Root may write anything, but a file whose author took away every
        // write bit is meant to stay as it is.
        if (!S_ISREG(st.st_mode) || ::access(p.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)
            return false;
        target.exists = true;
        target.mode = st.st_mode & 07777;
        target.uid = st.st_uid;
        target.gid = st.st_gid;
        break;
    }
    target.path = p;
    target.dir = folderOf(p);
    return true;
}

std::atomic<unsigned> tempCounter{0};

// Hidden, so a listing taken while it exists (or after a crash left it
// behind) never offers it as a setup or a track; unique, so two pending
// writes of one file never share it.
std::string temporaryPathFor(const Target& target)
{
    const size_t slash = target.path.rfind('/');
    std::string name = slash == std::string::npos ? target.path : target.path.substr(slash + 1);
    if (name.size() > 200) // room for the suffix within the 255 bytes of a name
        name.resize(200);
    return target.dir + "/." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++tempCounter);
}

// Writes data into a new file at tmp that has the target's permission bits
// (and owner, where we may). Flushes it to the disk when asked. False, with
// the file removed, when any step failed.
bool writeTemporary(const Target& target, const std::string& tmp, const std::string& data, bool flush)
{
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, target.exists ? 0600 : 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    if (target.exists) {
        ok = ::fchmod(fd, target.mode) == 0;
        if (target.uid != ::geteuid() || target.gid != ::getegid()) {
            if (::fchown(fd, target.uid, target.gid) != 0) {
                // Only root may give a file away; ours it stays.
            }
        }
    }
    size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += size_t(n);
    }
    if (ok && flush)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

// Makes the renames in dir survive a power cut.
void flushFolder(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// The whole replacement but the flush of the folder; the folder of the file
// goes to *dir. False, with nothing changed, when it could not be done.
bool replaceFile(const std::string& path, const std::string& data, std::string* dir)
{
    Target target;
    if (!resolveTarget(path, target))
        return false;
    const std::string tmp = temporaryPathFor(target);
    if (!writeTemporary(target, tmp, data, true))
        return false;
    if (::rename(tmp.c_str(), target.path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    *dir = target.dir;
    return true;
}

// Replaces files on a thread of its own, so that a save of hundreds of
// tracks costs the frame that asked for it no more than copying their bytes:
// creating, flushing and renaming hundreds of files takes hundreds of
// milliseconds or more on a busy disk. The thread touches nothing but its
// own queue.
class BackgroundWriter {
public:
    ~BackgroundWriter()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        work.notify_all();
        if (thread.joinable())
            thread.join(); // the thread empties the queue before it ends
    }

    void add(const std::string& path, const std::string& data)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!thread.joinable())
            thread = std::thread(&BackgroundWriter::run, this);
        queue.push_back({path, data});
        ++pending;
        work.notify_all();
    }

    void finish()
    {
        std::unique_lock<std::mutex> lock(mutex);
        idle.wait(lock, [this] { return pending == 0; });
    }

private:
    struct Pending {
        std::string path, data;
    };

    void run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            std::deque<Pending> batch;
            batch.swap(queue);
            lock.unlock();
            std::set<std::string> folders;
            for (const Pending& p : batch) {
                std::string dir;
                if (replaceFile(p.path, p.data, &dir))
                    folders.insert(dir);
                else
                    std::fprintf(stderr, "could not save %s: %s\n", p.path.c_str(), std::strerror(errno));
            }
            for (const std::string& dir : folders)
                flushFolder(dir);
            lock.lock();
            pending -= batch.size();
            if (pending == 0)
                idle.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable idle;
    std::deque<Pending> queue;
    size_t pending = 0; // queued or being written
    bool stopping = false;
    std::thread thread;
};

BackgroundWriter& backgroundWriter()
{
    static BackgroundWriter writer;
    return writer;
}

} // namespace

bool writeFileAtomically(const std::string& path, const std::string& data)
{
    finishBackgroundWrites();
    std::string dir;
    if (!replaceFile(path, data, &dir))
        return false;
    flushFolder(dir);
    return true;
}

void writeFileAtomicallyInBackground(const std::string& path, const std::string& data)
{
    backgroundWriter().add(path, data);
}

void finishBackgroundWrites()
{
    backgroundWriter().finish();
}

} // namespace platform

namespace platform {

uint64_t fileWriteTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return uint64_t(st.st_mtim.tv_sec) * 10000000u + uint64_t(st.st_mtim.tv_nsec) / 100u;
}

} // namespace platform
