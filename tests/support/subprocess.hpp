// Runs a program as a user would and collects what it says.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace glintara::testing_support {

struct ProcessResult {
    std::string out;
    std::string err;
    int exitStatus = -1;  // when it exited
    int signal = 0;       // when a signal ended it
    bool timedOut = false;
};

// A program started in the background, its output collected when waited for.
class ChildProcess {
  public:
    // argv[0] is the program's path. extraEnv entries ("NAME=value", or "NAME=" to clear)
    // are applied over this process's environment.
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    // Collects its output until it ends, killing it when the timeout runs out first.
    ProcessResult wait(std::chrono::milliseconds timeout);

  private:
    int pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
};

// Runs a program to its end.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30),
                         const std::vector<std::string>& extraEnv = {});

// Lines of a text, without their terminators.
std::vector<std::string> linesOf(const std::string& text);

}  // namespace glintara::testing_support
