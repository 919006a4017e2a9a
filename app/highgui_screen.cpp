#include "app/highgui_screen.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string_view>

#include <xcb/xcb.h>
#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "app/qt_wheel.hpp"
#include "app/x_window_watch.hpp"
#include "core/workspace.hpp"

namespace glintara {
namespace {

// The plain window: Qt's default adds a toolbar and a status bar and outgrows the image.
constexpr int kWindowFlags = cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL;
// Qt makes only a window of free size full screen. Shown at its image's size, it shows the
// image as it is; full screen, it is given a picture of the screen's size.
constexpr int kResizableFlags = cv::WINDOW_NORMAL | cv::WINDOW_GUI_NORMAL | cv::WINDOW_FREERATIO;
constexpr int kWindowGap = 20;
// The key is polled in slices this long, so that a frame waiting need not wait for the rest.
constexpr int kKeySliceMs = 2;

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

// The kaleidoscope on a screen of `screen` size: as high as the screen (shrunk by area
// averaging, grown bilinearly), centred on black. `composed` is reused while the size holds.
void composeFullScreen(const cv::Mat& kaleidoscope, cv::Size screen, cv::Mat& composed) {
    composed.create(screen, CV_8UC3);
    composed.setTo(cv::Scalar::all(0));
    const int side = std::min(screen.width, screen.height);
    cv::Mat square =
        composed(cv::Rect((screen.width - side) / 2, (screen.height - side) / 2, side, side));
    if (side == kaleidoscope.rows) {
        kaleidoscope.copyTo(square);
    } else {
        cv::resize(kaleidoscope, square, square.size(), 0, 0,
                   side < kaleidoscope.rows ? cv::INTER_AREA : cv::INTER_LINEAR);
    }
}

class HighguiScreen final : public Screen {
  public:
    HighguiScreen(int frameWidth, bool fullscreen) {
        explainQtsExit();
        cv::namedWindow(kCaptureWindow, kWindowFlags);
        cv::namedWindow(kKaleidoscopeWindow, kResizableFlags);
        cv::moveWindow(kCaptureWindow, 0, 0);
        cv::moveWindow(kKaleidoscopeWindow, frameWidth + kWindowGap, 0);
        cv::setMouseCallback(kKaleidoscopeWindow, onMouse, this);
        cv::setMouseCallback(kCaptureWindow, onCaptureMouse, this);
        wheel_.emplace(kCaptureWindow);  // Qt's application exists once the windows do
        fullscreenWanted_ = fullscreen;
    }
    ~HighguiScreen() override {
        windowsUp = false;
        cv::destroyAllWindows();
    }
    HighguiScreen(const HighguiScreen&) = delete;
    HighguiScreen& operator=(const HighguiScreen&) = delete;

    void show(const std::string& window, const cv::Mat& image) override {
        if (window != kKaleidoscopeWindow) {
            captureSize_ = image.size();
            cv::imshow(window, image);
            return;
        }
        followFullScreenWish();
        if (fullscreen_) {
            // The window's own size, as the X server has it: until the window manager has
            // made it full screen, that of the window it was. (Qt's idea of the picture's
            // area follows the picture in some OpenCV versions, not the window.)
            const cv::Size screen = windowSize(window);
            if (!screen.empty()) {
                composeFullScreen(image, screen, composed_);
            }
            cv::imshow(window, screen.empty() ? image : composed_);
            return;
        }
        if (image.size() != windowSize_) {
            cv::resizeWindow(window, image.size());
            windowSize_ = image.size();
        }
        cv::imshow(window, image);
    }
    int waitKey(int delayMs) override { return cv::waitKeyEx(delayMs); }
    int waitKey(int delayMs, const std::function<bool()>& enough) override {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(delayMs);
        for (;;) {
            const int key = cv::waitKeyEx(kKeySliceMs);
            if (key != kNoKey || enough() || Clock::now() >= end) {
                return key;
            }
        }
    }
    bool windowClosed() override {
        // Seen here first, the loss is said by the program's own failure line; seen by Qt
        // first, by its exit's.
        if (xWindows_.displayLost() && windowsUp.exchange(false)) {
            throw std::runtime_error(kDisplayLost);
        }
        return !isOpen(kCaptureWindow) || !isOpen(kKaleidoscopeWindow) || !xWindows_.allPresent();
    }

    Steering takeSteering() override {
        Steering steering = steering_;
        steering.zoomSteps = wheel_->take();
        steering_ = {};
        return steering;
    }

  private:
    // The left button pressed or dragged in "Capture" samples under the pointer; the right
    // button goes back to the middle. Called by OpenCV from within the key wait.
    static void onCaptureMouse(int event, int x, int y, int flags, void* self) noexcept {
        auto& screen = *static_cast<HighguiScreen*>(self);
        const bool dragging = event == cv::EVENT_MOUSEMOVE && (flags & cv::EVENT_FLAG_LBUTTON) != 0;
        if ((event == cv::EVENT_LBUTTONDOWN || dragging) && !screen.captureSize_.empty()) {
            screen.steering_.centre = centreUnder(x, y, screen.captureSize_);
        } else if (event == cv::EVENT_RBUTTONDOWN) {
            screen.steering_ = Steering{.reset = true};
        }
    }

    // A double click on the kaleidoscope toggles full screen, as in video players. Called by
    // OpenCV from within the key wait, on the loop's own thread.
    static void onMouse(int event, int, int, int, void* self) noexcept {
        if (event == cv::EVENT_LBUTTONDBLCLK) {
            auto& screen = *static_cast<HighguiScreen*>(self);
            screen.fullscreenWanted_ = !screen.fullscreenWanted_;
        }
    }

    cv::Size windowSize(const std::string& window) const {
        if (const auto size = xWindows_.sizeOf(window)) {
            return {size->first, size->second};
        }
        return cv::getWindowImageRect(window).size();
    }

    // Goes full screen or back as wished; back, the window takes the picture's size again.
    void followFullScreenWish() {
        if (fullscreenWanted_ == fullscreen_) {
            return;
        }
        fullscreen_ = fullscreenWanted_;
        cv::setWindowProperty(kKaleidoscopeWindow, cv::WND_PROP_FULLSCREEN,
                              fullscreen_ ? cv::WINDOW_FULLSCREEN : cv::WINDOW_NORMAL);
        windowSize_ = cv::Size();
    }

    XWindowWatch xWindows_{{kCaptureWindow, kKaleidoscopeWindow}};
    std::optional<WheelSteps> wheel_;
    Steering steering_;
    cv::Size captureSize_;
    bool fullscreenWanted_ = false;
    bool fullscreen_ = false;
    cv::Size windowSize_;  // the picture size the window was given, out of full screen
    cv::Mat composed_;
};

// Qt, under OpenCV's windows, prints its own lines (a missing XDG_RUNTIME_DIR, a font it
// lacks) beside glintara's; its log is turned off unless the user has set its rules.
void quietenQt() {
    setenv("QT_LOGGING_RULES", "*=false", 0);
}

}  // namespace

std::unique_ptr<Screen> openHighguiScreen(int frameWidth, bool fullscreen) {
    if (!displayReachable()) {
        throw std::runtime_error("no display could be opened for the windows");
    }
    quietenQt();
    return std::make_unique<HighguiScreen>(frameWidth, fullscreen);
}

}  // namespace glintara
