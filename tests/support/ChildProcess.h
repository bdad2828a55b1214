#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace velmorant::test {

// Starts `program` with the arguments `args` (args[0] is the name the child sees) and its
// stdout on a pipe; returns the child's pid and sets `stdoutFd` to the pipe's reading end,
// which the caller closes. Throws std::runtime_error when the pipe or the fork fails; a
// program that cannot be started ends the child with exit code 127.
inline pid_t SpawnWithStdout(const std::string& program, std::vector<std::string> args,
                             int& stdoutFd) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    stdoutFd = out[0];
    return pid;
}

}  // namespace velmorant::test
