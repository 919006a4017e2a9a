#include "app/highgui_screen.hpp"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include <xcb/xcb.h>
#include <opencv2/highgui.hpp>

#include "app/x_window_watch.hpp"
#include "core/workspace.hpp"

namespace glintara {
namespace {

// The plain window: Qt's default adds a toolbar and a status bar and outgrows the image.
constexpr int kWindowFlags = cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL;
constexpr int kWindowGap = 20;

// Qt aborts the process when its X connection fails, so ask X first. Another Qt platform
// chosen on purpose (offscreen, for instance) is left to Qt.
bool displayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' &&
        !std::string_view(platform).starts_with("xcb")) {
        return true;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reachable;
}

// Qt ends the process itself, with exit(1), when its X connection breaks (the X server
// stopped, say). Its own words are off, so these say what happened while the windows are up.
// A flag of the process, as exit() is: nothing else can reach the handler.
std::atomic<bool> windowsUp = false;

constexpr const char* kDisplayLost = "the connection to the display was lost";

extern "C" void sayWhyTheWindowsWent() {
    if (windowsUp.exchange(false)) {
        std::fprintf(stderr, "glintara: %s\n", kDisplayLost);
    }
}

void explainQtsExit() {
    static const bool registered = std::atexit(sayWhyTheWindowsWent) == 0;
    (void)registered;
    windowsUp = true;
}

bool isOpen(const std::string& window) {
    return cv::getWindowProperty(window, cv::WND_PROP_VISIBLE) >= 1.0;
}

class HighguiScreen final : public Screen {
  public:
    explicit HighguiScreen(int frameWidth) {
        explainQtsExit();
        cv::namedWindow(kCaptureWindow, kWindowFlags);
        cv::namedWindow(kKaleidoscopeWindow, kWindowFlags);
        cv::moveWindow(kCaptureWindow, 0, 0);
        cv::moveWindow(kKaleidoscopeWindow, frameWidth + kWindowGap, 0);
    }
    ~HighguiScreen() override {
        windowsUp = false;
        cv::destroyAllWindows();
    }
    HighguiScreen(const HighguiScreen&) = delete;
    HighguiScreen& operator=(const HighguiScreen&) = delete;

    void show(const std::string& window, const cv::Mat& image) override {
        cv::imshow(window, image);
    }
    int waitKey(int delayMs) override { return cv::waitKeyEx(delayMs); }
    bool windowClosed() override {
        // Seen here first, the loss is said by the program's own failure line; seen by Qt
        // first, by its exit's.
        if (xWindows_.displayLost() && windowsUp.exchange(false)) {
            throw std::runtime_error(kDisplayLost);
        }
        return !isOpen(kCaptureWindow) || !isOpen(kKaleidoscopeWindow) || !xWindows_.allPresent();
    }

  private:
    XWindowWatch xWindows_{{kCaptureWindow, kKaleidoscopeWindow}};
};

// Qt, under OpenCV's windows, prints its own lines (a missing XDG_RUNTIME_DIR, a font it
// lacks) beside glintara's; its log is turned off unless the user has set its rules.
void quietenQt() {
    setenv("QT_LOGGING_RULES", "*=false", 0);
}

}  // namespace

std::unique_ptr<Screen> openHighguiScreen(int frameWidth, bool fullscreen) {
    (void)fullscreen;
    if (!displayReachable()) {
        throw std::runtime_error("no display could be opened for the windows");
    }
    quietenQt();
    return std::make_unique<HighguiScreen>(frameWidth);
}

}  // namespace glintara
