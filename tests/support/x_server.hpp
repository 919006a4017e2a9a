// An X server of our own (Xvfb, 1600x900) with a small window manager (openbox), for one
// test of the real windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/subprocess.hpp"

namespace glintara::testing_support {

class XServer {
  public:
    // Starts the server on a free display number; running() says whether it could.
    XServer();

    bool running() const { return server_ != nullptr; }
    bool windowManagerRunning() const;
    // The X server goes away under its clients, as when it crashes.
    void stop();
    // What a program needs to open its windows here.
    std::vector<std::string> environment() const;
    ProcessResult run(std::vector<std::string> argv) const;

  private:
    std::string display_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> windowManager_;
};

}  // namespace glintara::testing_support
