#include "platform/PipedProcess.h"

#include <cerrno>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

PipedProcess::~PipedProcess()
{
    wait();
}

bool PipedProcess::start(const std::string& program, const std::vector<std::string>& args, bool input,
                         std::string& error)
{
    int pipeEnds[2] = {-1, -1};
    if (input && pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = "cannot make a pipe for " + program + ": " + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // The child starts with no signal blocked and SIGPIPE at its default,
    // whatever the starting thread had.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int failed = posix_spawnp(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (input)
        close(pipeEnds[0]);
    if (failed != 0) {
        pid_ = -1;
        if (input)
            close(pipeEnds[1]);
        error = "cannot start " + program + ": " + std::strerror(failed);
        return false;
    }
    input_ = input ? pipeEnds[1] : -1;
    return true;
}

bool PipedProcess::write(const uint8_t* data, size_t size)
{
    if (input_ < 0)
        return false;
    // A reader that has gone raises SIGPIPE, whose default ends the process.
    // Block it on this thread while writing and take back the one a failed
    // write left pending, so the failure is an ordinary false.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool ok = true;
    while (size > 0) {
        const ssize_t n = ::write(input_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        size -= size_t(n);
    }
    if (!ok && errno == EPIPE && !sigismember(&previous, SIGPIPE)) {
        const timespec now = {0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return ok;
}

int PipedProcess::wait()
{
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    if (pid_ > 0) {
        int status = 0;
        pid_t got;
        do {
            got = waitpid(pid_, &status, 0);
        } while (got < 0 && errno == EINTR);
        pid_ = -1;
        status_ = got > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return status_;
}

} // namespace platform
