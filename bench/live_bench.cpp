// make bench, the live part: frames shown a second by the whole live program (its real
// windows, its recordings, its PipeWire camera with a reader taking I420) fed by a scripted
// camera at 30 frames a second, inside scripts/private-session's X server and PipeWire.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/application.hpp"
#include "app/live_program.hpp"
#include "core/interruption.hpp"
#include "core/library_log.hpp"

extern char** environ;

namespace {

using namespace glintara;
using namespace std::chrono_literals;

constexpr int kShownFrames = 300;  // ten seconds of the camera
constexpr int kQuitKey = 'q';
constexpr std::chrono::microseconds kCameraPeriod{33333};

// Soft colour and fine grain, as a camera sees a room.
cv::Mat naturalPicture(cv::Size size) {
    cv::RNG rng(11);
    cv::Mat coarse(9, 16, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::Mat picture;
    cv::resize(coarse, picture, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat grain(size, CV_8UC3);
    rng.fill(grain, cv::RNG::NORMAL, 0, 10);
    cv::add(picture, grain, picture);
    return picture;
}

// A camera at 30 frames a second. A large one gives MJPG, as USB cameras do at 1080: each
// frame is decoded on the capture thread, as OpenCV's camera does.
class ScriptedCamera final : public FrameSource {
  public:
    ScriptedCamera(cv::Size size, bool mjpg) : picture_(naturalPicture(size)), mjpg_(mjpg) {
        if (mjpg_) {
            cv::imencode(".jpg", picture_, jpeg_, {cv::IMWRITE_JPEG_QUALITY, 85});
        }
    }
    bool read(cv::Mat& frame) override {
        next_ += kCameraPeriod;
        std::this_thread::sleep_until(next_);
        if (mjpg_) {
            cv::imdecode(jpeg_, cv::IMREAD_COLOR, &frame);
        } else {
            picture_.copyTo(frame);
        }
        return true;
    }

  private:
    cv::Mat picture_;
    bool mjpg_;
    std::vector<uchar> jpeg_;
    Clock::time_point next_ = Clock::now();
};

// How many kaleidoscopes were shown, from when to when.
struct ShowCount {
    int shown = 0;
    Clock::time_point first, last;
    double framesPerSecond() const {
        return (shown - 1) / std::chrono::duration<double>(last - first).count();
    }
};

// The real screen, counting the kaleidoscopes shown and quitting after kShownFrames.
class CountingScreen final : public Screen {
  public:
    CountingScreen(std::unique_ptr<Screen> screen, ShowCount& count)
        : screen_(std::move(screen)), count_(count) {}
    void show(const std::string& window, const cv::Mat& image) override {
        screen_->show(window, image);
        if (window == kKaleidoscopeWindow && ++count_.shown == 1) {
            count_.first = Clock::now();
        }
        count_.last = Clock::now();
    }
    int waitKey(int delayMs) override { return done() ? kQuitKey : screen_->waitKey(delayMs); }
    int waitKey(int delayMs, const std::function<bool()>& enough) override {
        return done() ? kQuitKey : screen_->waitKey(delayMs, enough);
    }
    bool windowClosed() override { return screen_->windowClosed(); }

  private:
    bool done() const { return count_.shown >= kShownFrames; }
    std::unique_ptr<Screen> screen_;
    ShowCount& count_;
};

// A reader of the PipeWire camera for the length of a run, as a call program is.
class CameraReader {
  public:
    CameraReader() {
        const char* argv[] = {"gst-launch-1.0",
                              "-q",
                              "pipewiresrc",
                              "target-object=glintara",
                              "!",
                              "video/x-raw,format=I420",
                              "!",
                              "fakesink",
                              nullptr};
        posix_spawnp(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ);
    }
    ~CameraReader() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    CameraReader(const CameraReader&) = delete;
    CameraReader& operator=(const CameraReader&) = delete;

  private:
    pid_t pid_ = -1;
};

struct Scenario {
    const char* name;
    std::vector<std::string> options;
    cv::Size camera;
    bool mjpg;
    bool virtualCamera;
};

void run(const Scenario& scenario, const std::filesystem::path& folder) {
    std::vector<std::string> words{"glintara"};
    words.insert(words.end(), scenario.options.begin(), scenario.options.end());
    if (scenario.virtualCamera) {
        words.push_back("--virtual-camera");
    }
    std::vector<const char*> argv;
    for (std::string& word : words) {
        if (word.starts_with("@")) {
            word = (folder / word.substr(1)).string();
        }
        argv.push_back(word.c_str());
    }
    const LiveCommandLine parsed = parseLiveCommandLine(static_cast<int>(argv.size()), argv.data());
    Platform platform = livePlatform(std::get<LiveOptions>(parsed), [&](int, cv::Size) {
        return std::make_unique<ScriptedCamera>(scenario.camera, scenario.mjpg);
    });
    ShowCount count;
    platform.openScreen = [&, open = platform.openScreen] {
        return std::make_unique<CountingScreen>(open(), count);
    };
    std::unique_ptr<CameraReader> reader;
    platform.openOutputs = [&, open = platform.openOutputs] {
        auto outputs = open();
        if (scenario.virtualCamera) {
            reader = std::make_unique<CameraReader>();
        }
        return outputs;
    };
    std::ostringstream out, err;
    const int status = runApplication(platform, out, err, renderFrame);
    reader.reset();
    if (status != 0 || count.shown < 2) {
        std::printf("%-58s failed: %s", scenario.name, err.str().c_str());
        return;
    }
    std::printf("%-58s %5.1f frames a second shown", scenario.name, count.framesPerSecond());
    std::smatch recorded;
    const std::string said = out.str();
    if (std::regex_search(said, recorded, std::regex("Recorded [^:]+: (\\d+) frames"))) {
        std::printf(", %s of %d recorded", recorded[1].str().c_str(), count.shown);
    }
    std::printf("\n");
}

}  // namespace

int main() {
    silenceLibraryLog();
    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("the live program: skipped (run inside scripts/private-session)\n");
        return 0;
    }
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("glintara-live-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const cv::Size vga(640, 480), fullHd(1920, 1080);
    const Scenario scenarios[] = {
        {"live, 640, windows", {}, vga, false, false},
        {"live, 640, windows, --record .mp4, --virtual-camera",
         {"--record", "@a.mp4"},
         vga,
         false,
         true},
        {"live, --size 1080 --fullscreen, 1920x1080 MJPG camera",
         {"--size", "1080", "--fullscreen"},
         fullHd,
         true,
         false},
        {"  the same, --record .mp4, --virtual-camera",
         {"--size", "1080", "--fullscreen", "--record", "@b.mp4"},
         fullHd,
         true,
         true},
    };
    std::printf("the live program, a 30 fps camera, %d frames (Xvfb 1920x1080):\n", kShownFrames);
    for (const Scenario& scenario : scenarios) {
        run(scenario, folder);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
