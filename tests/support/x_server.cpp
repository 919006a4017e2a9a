#include "tests/support/x_server.hpp"

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace glintara::testing_support {
namespace {

using namespace std::chrono_literals;

// prefix, number, suffix. Appended piece by piece: GCC 12 in Release warns falsely
// (-Wrestrict) on "literal" + std::to_string(...).
std::string withNumber(std::string prefix, int number, const char* suffix = "") {
    prefix += std::to_string(number);
    prefix += suffix;
    return prefix;
}

}  // namespace

XServer::XServer() {
    if (!std::filesystem::exists("/usr/bin/Xvfb") || !std::filesystem::exists("/usr/bin/xdotool")) {
        return;
    }
    for (int attempt = 0; attempt < 20 && !server_; ++attempt) {
        const int number = 100 + (getpid() * 7 + attempt * 13) % 800;
        if (std::filesystem::exists(withNumber("/tmp/.X", number, "-lock"))) {
            continue;
        }
        display_ = withNumber(":", number);
        auto server = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/Xvfb", display_, "-screen", "0", "1600x900x24",
                                     "-nolisten", "tcp"},
            std::vector<std::string>{});
        const std::string socket = withNumber("/tmp/.X11-unix/X", number);
        for (int wait = 0; wait < 100 && !std::filesystem::exists(socket); ++wait) {
            std::this_thread::sleep_for(50ms);
        }
        if (std::filesystem::exists(socket)) {
            server_ = std::move(server);
        }
    }
    if (server_ && std::filesystem::exists("/usr/bin/openbox")) {
        windowManager_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/openbox"}, environment());
        // The window manager is in charge once it names its check window on the root.
        for (int wait = 0; wait < 200 && !windowManagerRunning(); ++wait) {
            std::this_thread::sleep_for(50ms);
        }
    }
}

bool XServer::windowManagerRunning() const {
    const auto root = run({"/usr/bin/xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
    return root.out.find("window id") != std::string::npos;
}

void XServer::stop() {
    windowManager_.reset();
    kill(server_->pid(), SIGKILL);
    server_->wait(5s);
}

std::vector<std::string> XServer::environment() const {
    return {"DISPLAY=" + display_, "QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR=/tmp"};
}

ProcessResult XServer::run(std::vector<std::string> argv) const {
    return runProcess(argv, 20s, environment());
}

}  // namespace glintara::testing_support
