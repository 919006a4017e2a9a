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

// argv[0] is the program's path. extraEnv entries ("NAME=value", or "NAME=" to clear) are
// applied over this process's environment.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30),
                         const std::vector<std::string>& extraEnv = {});

// Lines of a text, without their terminators.
std::vector<std::string> linesOf(const std::string& text);

}  // namespace glintara::testing_support
