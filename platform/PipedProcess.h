#pragma once
// An external program that we feed through its standard input and wait
// for: started directly, never through a shell, so no file name can inject
// a command. Its standard output and error stream stay the program's own.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

class PipedProcess {
public:
    PipedProcess() = default;
    // Closes its input and waits for it.
    ~PipedProcess();
    PipedProcess(const PipedProcess&) = delete;
    PipedProcess& operator=(const PipedProcess&) = delete;

    // Starts program (a path, or a name looked up on PATH) with args. With
    // input, its standard input is a pipe that write() fills; without, it
    // reads /dev/null. False, with one line in error, when it cannot start.
    bool start(const std::string& program, const std::vector<std::string>& args, bool input, std::string& error);

    // Writes all of data to its input, waiting while the pipe is full. False
    // when it has closed its input or ended: a program that goes away does
    // not take this process with it (no SIGPIPE).
    bool write(const uint8_t* data, size_t size);

    // Closes its input and waits until it ends. Its exit code; -1 when it
    // never started or a signal ended it.
    int wait();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int status_ = -1;
};

} // namespace platform
