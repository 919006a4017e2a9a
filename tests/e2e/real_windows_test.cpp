// The real windows as a user meets them: glintara-synthetic (glintara with a generated
// picture for a camera) under a real X server, driven and watched from outside with
// xdotool and screenshots.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <thread>

#include "core/frame.hpp"
#include "core/workspace.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/subprocess.hpp"
#include "tests/support/x_server.hpp"

namespace glintara {
namespace {

using namespace testing_support;
using namespace std::chrono_literals;

const std::string kHelp = "\"S\" Key       : Rotate Stop/Start\nAny Other Key : Exit\n";

// How long the tests watch the kaleidoscope for a change, or for rest: ten looks a third of
// a second apart, some hundred frames of the synthetic camera.
constexpr int kLooks = 10;
constexpr auto kBetweenLooks = 300ms;

struct WindowGeometry {
    cv::Rect rect;
};

class RealWindows : public testing::Test {
  protected:
    void SetUp() override {
        if (!x_.running()) {
            GTEST_SKIP() << "no X server could be started (Xvfb and xdotool are needed)";
        }
        std::vector<std::string> argv{GLINTARA_SYNTHETIC_BINARY};
        for (const std::string& argument : arguments()) {
            argv.push_back(argument);
        }
        app_ = std::make_unique<ChildProcess>(argv, x_.environment());
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while ((!capture_ || !kaleidoscope_) && std::chrono::steady_clock::now() < deadline) {
            capture_ = findWindow("Capture");
            kaleidoscope_ = findWindow("Glintara");
            std::this_thread::sleep_for(100ms);
        }
        ASSERT_TRUE(capture_ && kaleidoscope_) << "the two windows never appeared";
        // The first frames have reached the screen once the kaleidoscope shows a picture.
        while (cv::countNonZero(screenshot(*kaleidoscope_).reshape(1)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(100ms);
        }
    }

    // The program's options, besides the defaults.
    virtual std::vector<std::string> arguments() const { return {}; }

    std::optional<std::string> findWindow(const std::string& title) const {
        const auto found = x_.run({"/usr/bin/xdotool", "search", "--name", "^" + title + "$"});
        const auto ids = linesOf(found.out);
        if (ids.size() != 1) {
            return std::nullopt;
        }
        return ids[0];
    }

    cv::Rect geometryOf(const std::string& window) const {
        const std::string info = x_.run({"/usr/bin/xwininfo", "-id", window}).out;
        const auto number = [&info](const std::string& label) {
            std::smatch match;
            std::regex_search(info, match, std::regex(label + ":\\s+(-?\\d+)"));
            return match.empty() ? -1 : std::stoi(match[1]);
        };
        return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                number("Height")};
    }

    cv::Mat screenshot(const std::string& window) {
        const std::string path = shots_.path("shot-" + std::to_string(shotCount_++) + ".png");
        x_.run({"/usr/bin/import", "-window", window, "png24:" + path});
        return cv::imread(path);
    }

    void press(const std::string& keys, const std::optional<std::string>& window = {}) {
        x_.run({"/usr/bin/xdotool", "windowactivate", "--sync", window.value_or(*kaleidoscope_)});
        x_.run({"/usr/bin/xdotool", "key", keys});
        lastKeyAt_ = std::chrono::steady_clock::now();
    }

    // Whether the kaleidoscope changes between two screenshots, looking for a while, so that a
    // loaded machine that draws slowly is not taken for one that has stopped.
    bool turning() {
        const cv::Mat before = screenshot(*kaleidoscope_);
        for (int look = 0; look < kLooks; ++look) {
            std::this_thread::sleep_for(kBetweenLooks);
            if (cv::norm(before, screenshot(*kaleidoscope_), cv::NORM_INF) != 0.0) {
                return true;
            }
        }
        return false;
    }

    // Whether the kaleidoscope comes to rest: two screenshots in a row the same, looking for a
    // while, so that a key still on its way is not taken for one that did nothing.
    bool standsStill() {
        cv::Mat before = screenshot(*kaleidoscope_);
        for (int look = 0; look < kLooks; ++look) {
            std::this_thread::sleep_for(kBetweenLooks);
            cv::Mat after = screenshot(*kaleidoscope_);
            if (cv::norm(before, after, cv::NORM_INF) == 0.0) {
                return true;
            }
            before = after;
        }
        return false;
    }

    // Ends the app with a key or a close request and checks how it went: it says the key
    // help, then `lastLines`.
    void expectCleanEnd(const std::string& how, const std::string& lastLines = "") {
        const ProcessResult result = app_->wait(20s);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - lastKeyAt_).count();
        std::printf("%s ended the program %.2f s after the key\n", how.c_str(), seconds);
        EXPECT_FALSE(result.timedOut) << how << " did not end the program";
        EXPECT_EQ(result.exitStatus, 0) << how << ": " << result.err;
        EXPECT_EQ(result.out, kHelp + lastLines);
        EXPECT_FALSE(findWindow("Capture")) << "Capture is still there after " << how;
        EXPECT_FALSE(findWindow("Glintara")) << "Glintara is still there after " << how;
    }

    XServer x_;
    ScratchFolder shots_;
    int shotCount_ = 0;
    std::unique_ptr<ChildProcess> app_;
    std::chrono::steady_clock::time_point lastKeyAt_;
    std::optional<std::string> capture_;
    std::optional<std::string> kaleidoscope_;
};

TEST_F(RealWindows, TwoPlainWindowsOfTheImageSizeSideBySideAndEscapeEnds) {
    const cv::Rect capture = geometryOf(*capture_);
    const cv::Rect kaleidoscope = geometryOf(*kaleidoscope_);
    EXPECT_EQ(capture.size(), cv::Size(640, 480));
    EXPECT_EQ(kaleidoscope.size(), cv::Size(640, 640));
    EXPECT_TRUE((capture & kaleidoscope).empty()) << capture << " overlaps " << kaleidoscope;

    press("Escape");
    expectCleanEnd("Escape");
}

TEST_F(RealWindows, ShowTheProgramsOwnPicturesAtTheAngleShown) {
    press("s");
    ASSERT_TRUE(standsStill());
    const cv::Mat shownKaleidoscope = screenshot(*kaleidoscope_);
    const cv::Mat shownCapture = screenshot(*capture_);
    ASSERT_EQ(shownKaleidoscope.size(), cv::Size(640, 640));

    // Which angle is on screen: the one whose render matches it to the pixel.
    const cv::Mat scene = syntheticScene();
    ImageWorkspace ws = createWorkspace();
    FrameScratch scratch;
    std::optional<int> shownAngle;
    for (int angle = 0; angle < 360 && !shownAngle; ++angle) {
        loadFrame(scene, ws, scratch);
        renderFrame(ws, angle);
        if (cv::norm(ws.outputImage, shownKaleidoscope, cv::NORM_INF) == 0.0) {
            shownAngle = angle;
            EXPECT_EQ(cv::norm(ws.frameImage, shownCapture, cv::NORM_INF), 0.0)
                << "the capture window does not show the frame with the guide outline";
        }
    }
    ASSERT_TRUE(shownAngle) << "the window shows no render of the picture at any angle";

    // And glintara-render makes the very same picture of that frame.
    ASSERT_TRUE(cv::imwrite(shots_.path("scene.png"), scene));
    const auto rendered =
        runProcess({GLINTARA_RENDER_BINARY, "--angle", std::to_string(*shownAngle),
                    shots_.path("scene.png"), shots_.path("rendered.png")});
    ASSERT_EQ(rendered.exitStatus, 0) << rendered.err;
    EXPECT_EQ(cv::norm(cv::imread(shots_.path("rendered.png")), shownKaleidoscope, cv::NORM_INF),
              0.0);

    press("Escape");
    expectCleanEnd("Escape");
}

TEST_F(RealWindows, SStopsAndRestartsAndShiftAloneDoesNothing) {
    EXPECT_TRUE(turning());
    press("s");
    EXPECT_TRUE(standsStill()) << "s did not stop the turning";
    press("s");
    EXPECT_TRUE(turning()) << "a second s did not restart it";
    press("shift+s");
    EXPECT_TRUE(standsStill()) << "shift+s did not stop the turning";
    press("Shift_L");
    EXPECT_FALSE(turning()) << "a bare Shift restarted the turning";
    press("shift+s");
    EXPECT_TRUE(turning()) << "shift+s did not restart it";

    // The Right arrow's code ends in the byte of 'S': it must quit, not toggle.
    press("Right");
    expectCleanEnd("the Right arrow");
}

// Where the red guide outline is in a screenshot of "Capture": the middle of its pixels.
std::optional<cv::Point2d> guideCentre(const cv::Mat& capture) {
    cv::Mat red;
    cv::inRange(capture, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), red);
    const cv::Moments moments = cv::moments(red, true);
    if (moments.m00 == 0.0) {
        return std::nullopt;
    }
    return cv::Point2d(moments.m10 / moments.m00, moments.m01 / moments.m00);
}

TEST_F(RealWindows, TheMouseInCaptureSteersTheSampleAndARightClickBringsItBack) {
    press("s");
    ASSERT_TRUE(standsStill());
    const cv::Mat before = screenshot(*kaleidoscope_);
    const cv::Mat captureBefore = screenshot(*capture_);
    const auto mouse = [&](std::vector<std::string> actions) {
        std::vector<std::string> argv{"/usr/bin/xdotool", "mousemove", "--window", *capture_};
        argv.insert(argv.end(), actions.begin(), actions.end());
        x_.run(argv);
    };
    // Four wheel steps closer: zoom 2, a sample of half the side, which can go where the
    // pointer goes; the camera picture itself is not enlarged.
    mouse({"320", "240", "click", "--repeat", "4", "--delay", "50", "4"});
    ASSERT_TRUE(standsStill());
    const cv::Mat zoomed = screenshot(*kaleidoscope_);
    EXPECT_GT(cv::norm(before, zoomed, cv::NORM_INF), 0.0) << "the wheel changed nothing";
    mouse({"320", "240", "mousedown", "1", "mousemove", "--window", *capture_, "200", "150",
           "mouseup", "1"});
    ASSERT_TRUE(standsStill());
    const std::optional<cv::Point2d> dragged = guideCentre(screenshot(*capture_));
    ASSERT_TRUE(dragged);
    EXPECT_NEAR(dragged->x, 200.0, 4.0);
    EXPECT_NEAR(dragged->y, 150.0, 4.0);

    mouse({"100", "100", "click", "3"});
    ASSERT_TRUE(standsStill());
    EXPECT_EQ(cv::norm(before, screenshot(*kaleidoscope_), cv::NORM_INF), 0.0)
        << "a right click did not bring back the middle at zoom 1";
    EXPECT_EQ(cv::norm(captureBefore, screenshot(*capture_), cv::NORM_INF), 0.0)
        << "the guide is not back in the middle, or the camera picture was zoomed";

    press("Escape");
    expectCleanEnd("Escape");
}

TEST_F(RealWindows, ClosingTheCaptureWindowEndsTheProgram) {
    press("alt+F4", capture_);  // the window manager's close request
    expectCleanEnd("closing Capture");
}

TEST_F(RealWindows, ClosingTheKaleidoscopeWindowEndsTheProgram) {
    press("alt+F4", kaleidoscope_);
    expectCleanEnd("closing Glintara");
}

TEST_F(RealWindows, LosingTheDisplayIsSaidInTheProgramsOwnLine) {
    x_.stop();
    const ProcessResult result = app_->wait(20s);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "glintara: the connection to the display was lost\n");
}

TEST_F(RealWindows, AWindowDestroyedFromOutsideEndsTheProgram) {
    // Destroyed outright, as another program can, with no close request to answer.
    x_.run({"/usr/bin/xdotool", "windowclose", *kaleidoscope_});
    lastKeyAt_ = std::chrono::steady_clock::now();
    expectCleanEnd("destroying Glintara");
}

}  // namespace
}  // namespace glintara

namespace glintara {
namespace {

class RealWindowsFullScreen : public RealWindows {
  protected:
    std::vector<std::string> arguments() const override { return {"--fullscreen"}; }
};

TEST_F(RealWindowsFullScreen, CoversTheScreenUntilADoubleClickAndAnotherBringsItBack) {
    const auto covers = [&] { return geometryOf(*kaleidoscope_) == cv::Rect(0, 0, 1600, 900); };
    const auto eventually = [](const std::function<bool()>& holds) {
        for (int look = 0; look < kLooks * 3; ++look, std::this_thread::sleep_for(kBetweenLooks)) {
            if (holds()) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(eventually(covers)) << geometryOf(*kaleidoscope_);
    // The kaleidoscope is as high as the screen, centred on black, once the window manager's
    // size has reached the program (a busy machine takes a few frames).
    const auto composed = [&] {
        const cv::Mat shot = screenshot(*kaleidoscope_);
        return shot.size() == cv::Size(1600, 900) &&
               cv::countNonZero(shot(cv::Rect(0, 0, 350, 900)).reshape(1)) == 0 &&
               cv::countNonZero(shot(cv::Rect(1250, 0, 350, 900)).reshape(1)) == 0 &&
               cv::countNonZero(shot(cv::Rect(350, 0, 900, 900)).reshape(1)) > 900 * 900;
    };
    EXPECT_TRUE(eventually(composed)) << "the full screen is not the kaleidoscope centred on black";
    // The capture window is as it was.
    EXPECT_EQ(geometryOf(*capture_).size(), cv::Size(640, 480));

    const auto doubleClick = [&] {
        x_.run({"/usr/bin/xdotool", "mousemove", "--window", *kaleidoscope_, "100", "100", "click",
                "--repeat", "2", "--delay", "60", "1"});
    };
    doubleClick();
    EXPECT_TRUE(eventually([&] { return geometryOf(*kaleidoscope_).size() == cv::Size(640, 640); }))
        << geometryOf(*kaleidoscope_);
    doubleClick();
    EXPECT_TRUE(eventually(covers)) << geometryOf(*kaleidoscope_);

    press("Escape");
    expectCleanEnd("Escape");
}

class RealWindowsRecording : public RealWindows {
  protected:
    std::vector<std::string> arguments() const override { return {"--record", file()}; }
    std::string file() const { return recordings_.path("star.mkv"); }
    ScratchFolder recordings_;
};

TEST_F(RealWindowsRecording, AQuitKeyPutsTheRecordingInPlace) {
    ASSERT_TRUE(turning());
    press("q");
    const ProcessResult result = app_->wait(20s);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(recordings_.names(), std::vector<std::string>{"star.mkv"});
    std::smatch said;
    ASSERT_TRUE(std::regex_search(result.out, said, std::regex("Recorded (.+): (\\d+) frames")))
        << result.out;
    EXPECT_EQ(said[1], file());
    cv::VideoCapture video(file(), cv::CAP_FFMPEG);
    EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_WIDTH), 640);
    EXPECT_GT(std::stoi(said[2]), 1);
}

}  // namespace
}  // namespace glintara
