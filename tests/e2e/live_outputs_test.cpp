// The live program's outputs beyond its windows, as a user meets them: glintara-synthetic
// (glintara with a still picture for a camera) recording to files, killed in the middle of
// a recording, and publishing its camera on a PipeWire daemon of the test's own.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cctype>
#include <csignal>

#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <thread>

#include "core/yuv420.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/subprocess.hpp"
#include "tests/support/x_server.hpp"

namespace glintara {
namespace {

using namespace testing_support;
using namespace std::chrono_literals;

const cv::Mat& scene() {
    static const cv::Mat picture = syntheticScene();
    return picture;
}

// Waits until `ready` holds, for at most `longest`.
bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds longest = 30s) {
    const auto end = std::chrono::steady_clock::now() + longest;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::uintmax_t sizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The times of a file's video frames, or of its sound packets, in seconds, as ffprobe reads
// them.
std::vector<double> timesOf(const std::string& path, const char* stream, const char* entries) {
    const ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                    entries, "-of", "csv=p=0", path});
    std::vector<double> times;
    for (const std::string& line : linesOf(probe.out)) {
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) != 0) {
            times.push_back(std::stod(line));
        }
    }
    return times;
}

std::vector<double> frameTimes(const std::string& path) {
    return timesOf(path, "v:0", "frame=best_effort_timestamp_time");
}

cv::Mat firstFrameOf(const std::string& path) {
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    cv::Mat frame;
    video.read(frame);
    return frame;
}

// Whether a decoded frame is the render at `angle`, within a codec's loss: close to it, and
// clearly closer than to the render three degrees on.
void expectRenderAt(const cv::Mat& decoded, int angle, bool capture = false) {
    const cv::Mat expected = renderOf(scene(), angle, capture);
    ASSERT_EQ(decoded.size(), expected.size());
    const double match = cv::PSNR(decoded, expected);
    EXPECT_GT(match, 25.0);
    EXPECT_GT(match, cv::PSNR(decoded, renderOf(scene(), angle + 3, capture)) + 3.0);
}

// A recording ended by a signal: the file it makes, what it records and how it is stopped.
struct RecordingCase {
    const char* name;
    const char* option;  // --record or --record-capture
    const char* file;
    int signal;
    const char* codec;
};

void PrintTo(const RecordingCase& recording, std::ostream* out) {
    *out << recording.name;
}

class LiveRecording : public testing::TestWithParam<RecordingCase> {
  protected:
    ScratchFolder folder_;
};

TEST_P(LiveRecording, EndsCleanlyOnTheSignalAndPutsTheWholeRecordingInPlace) {
    const RecordingCase& recording = GetParam();
    const std::string file = folder_.path(recording.file);
    const std::string unfinished = file + ".recording.mkv";
    writeFile(file, "an older file that the finished recording replaces");

    ChildProcess app({GLINTARA_SYNTHETIC_BINARY, "--no-window", recording.option, file}, {});
    ASSERT_TRUE(waitFor([&] { return sizeOf(unfinished) > 4096; }))
        << "no unfinished recording grew beside " << file;
    std::this_thread::sleep_for(500ms);
    kill(app.pid(), recording.signal);
    const ProcessResult result = app.wait(60s);

    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::smatch said;
    ASSERT_TRUE(std::regex_search(result.out, said, std::regex("^Recorded (.+): (\\d+) frames")))
        << result.out;
    EXPECT_EQ(said[1], file);
    EXPECT_EQ(folder_.names(), std::vector<std::string>{recording.file})
        << "the unfinished recording was left beside the finished one";

    // Every frame written is there, in the order and at the times the camera gave them.
    const std::vector<double> times = frameTimes(file);
    EXPECT_EQ(times.size(), std::stoul(said[2]));
    EXPECT_TRUE(std::adjacent_find(times.begin(), times.end(), std::greater_equal<>()) ==
                times.end())
        << "frame times do not rise";
    const ProcessResult codec =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                    "stream=codec_name", "-of", "csv=p=0", file});
    EXPECT_EQ(codec.out, std::string(recording.codec) + "\n");

    // The first frame is the picture asked for, at the first angle.
    const bool capture = std::string_view(recording.option) == "--record-capture";
    expectRenderAt(firstFrameOf(file), 0, capture);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LiveRecording,
    testing::Values(RecordingCase{"Mp4EndedByCtrlC", "--record", "star.mp4", SIGINT, "h264"},
                    RecordingCase{"WebmEndedBySigterm", "--record", "star.webm", SIGTERM, "vp9"},
                    RecordingCase{"CaptureAviEndedBySighup", "--record-capture", "guide.avi",
                                  SIGHUP, "mjpeg"},
                    RecordingCase{"MovEndedByCtrlC", "--record", "star.mov", SIGINT, "h264"},
                    RecordingCase{"CaptureMkvEndedBySigterm", "--record-capture", "guide.mkv",
                                  SIGTERM, "h264"}),
    [](const testing::TestParamInfo<RecordingCase>& info) { return info.param.name; });

TEST(LiveRecordingKilled, LeavesAPlayableUnfinishedFileAndTheOlderFileUntouched) {
    ScratchFolder folder;
    const std::string file = folder.path("star.mp4");
    const std::string unfinished = file + ".recording.mkv";
    const std::string older = "an older file that only a finished recording replaces";
    writeFile(file, older);
    // An earlier run's unfinished recording is never overwritten either.
    writeFile(unfinished, "kept");

    ChildProcess app({GLINTARA_SYNTHETIC_BINARY, "--no-window", "--record", file}, {});
    const std::string second = file + ".recording-2.mkv";
    ASSERT_TRUE(waitFor([&] { return sizeOf(second) > 4096; }));
    kill(app.pid(), SIGKILL);
    app.wait(20s);

    EXPECT_EQ(readFile(file), older);
    EXPECT_EQ(readFile(unfinished), "kept");
    const ProcessResult decoded =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                    "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", second});
    EXPECT_EQ(decoded.exitStatus, 0) << decoded.err;
    EXPECT_GE(std::atoi(decoded.out.c_str()), 1) << "no frame can be read back";
    expectRenderAt(firstFrameOf(second), 0);
}

// A PipeWire daemon and session manager of the test's own, on a session bus of its own, in a
// private runtime folder.
class PrivatePipewire {
  public:
    PrivatePipewire() {
        bus_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                     "--address=unix:path=" + folder_.path("bus")},
            std::vector<std::string>{});
        if (!waitFor([&] { return std::filesystem::exists(folder_.path("bus")); }, 10s)) {
            return;
        }
        daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/pipewire"},
                                                 environment());
        if (!waitFor([&] { return std::filesystem::exists(folder_.path("pipewire-0")); }, 10s)) {
            return;
        }
        // WirePlumber links readers to nodes; it is at work once it has a client of its own.
        sessionManager_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/wireplumber"}, environment());
        // The sound server programs reach as PulseAudio's.
        pulse_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/pipewire-pulse"},
                                                environment());
        ready_ = waitFor([&] { return dump().find("\"WirePlumber\"") != std::string::npos; }) &&
                 waitFor([&] { return std::filesystem::exists(folder_.path("pulse/native")); });
    }

    bool ready() const { return ready_; }
    std::vector<std::string> environment() const {
        return {"XDG_RUNTIME_DIR=" + folder_.root().string(),
                "DBUS_SESSION_BUS_ADDRESS=unix:path=" + folder_.path("bus"), "PIPEWIRE_REMOTE="};
    }
    std::string dump() const { return runProcess({"/usr/bin/pw-dump"}, 20s, environment()).out; }
    // A reader of `frames` frames of the node in `format`, into a file of raw frames.
    ProcessResult read(const std::string& format, int frames, const std::string& into) const {
        return runProcess({"/usr/bin/gst-launch-1.0", "-q", "pipewiresrc", "target-object=glintara",
                           "num-buffers=" + std::to_string(frames), "!",
                           "video/x-raw,format=" + format, "!", "filesink", "location=" + into},
                          60s, environment());
    }

  private:
    ScratchFolder folder_;
    std::unique_ptr<ChildProcess> bus_;
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ChildProcess> sessionManager_;
    std::unique_ptr<ChildProcess> pulse_;
    bool ready_ = false;
};

// The angle whose kaleidoscope `matches`, looking from `from` on round the circle.
std::optional<int> angleOf(const std::function<bool(const cv::Mat&)>& matches, int from = 0) {
    for (int step = 0; step < 360; ++step) {
        const int angle = (from + step) % 360;
        if (matches(renderOf(scene(), angle))) {
            return angle;
        }
    }
    return std::nullopt;
}

// The frames in a file of raw frames, `rows` rows of `type` each.
std::vector<cv::Mat> rawFrames(const std::string& path, int rows, int type) {
    const std::string bytes = readFile(path);
    const std::size_t frameBytes = static_cast<std::size_t>(rows) * 640 * CV_ELEM_SIZE(type);
    std::vector<cv::Mat> frames;
    for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        frames.push_back(cv::Mat(rows, 640, type, const_cast<char*>(bytes.data() + at)).clone());
    }
    return frames;
}

TEST(LiveSound, TheDefaultInputIsRecordedInStepWithThePictures) {
    PrivatePipewire pipewire;
    ASSERT_TRUE(pipewire.ready()) << "the private PipeWire did not start";
    ScratchFolder folder;
    const std::string file = folder.path("star.webm");
    ChildProcess app({GLINTARA_SYNTHETIC_BINARY, "--no-window", "--record", file, "--sound"},
                     pipewire.environment());
    ASSERT_TRUE(waitFor([&] { return sizeOf(file + ".recording.mkv") > 4096; }));
    std::this_thread::sleep_for(1s);
    kill(app.pid(), SIGINT);
    const ProcessResult result = app.wait(60s);
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    // Opus beside VP9, starting with the pictures and lasting as long as they do.
    const ProcessResult streams =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                    "stream=codec_name,start_time", "-of", "csv=p=0", file});
    const std::vector<std::string> lines = linesOf(streams.out);
    ASSERT_EQ(lines.size(), 2u) << streams.out;
    EXPECT_TRUE(lines[0].starts_with("vp9,")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("opus,")) << lines[1];
    EXPECT_LT(std::abs(std::stod(lines[1].substr(5))), 0.1) << "the sound starts late";
    const std::vector<double> soundTimes = timesOf(file, "a:0", "packet=pts_time");
    const std::vector<double> times = frameTimes(file);
    ASSERT_FALSE(times.empty());
    ASSERT_FALSE(soundTimes.empty());
    EXPECT_NEAR(soundTimes.back(), times.back(), 0.1) << "the sound does not reach the last frame";
}

class VirtualCamera : public testing::TestWithParam<bool> {};

TEST_P(VirtualCamera, ReadersComeAndGoAndEachFrameIsTheRenderersOwn) {
    const bool windows = GetParam();
    PrivatePipewire pipewire;
    ASSERT_TRUE(pipewire.ready()) << "the private PipeWire did not start";
    std::unique_ptr<XServer> x;
    std::vector<std::string> environment = pipewire.environment();
    std::vector<std::string> argv{GLINTARA_SYNTHETIC_BINARY, "--virtual-camera"};
    if (windows) {
        x = std::make_unique<XServer>();
        ASSERT_TRUE(x->running()) << "no X server could be started";
        environment = x->environment();
        for (const std::string& setting : pipewire.environment()) {
            environment.push_back(setting);
        }
    } else {
        argv.push_back("--no-window");
    }
    ChildProcess app(argv, environment);
    ASSERT_TRUE(waitFor([&] {
        return pipewire.dump().find("\"node.name\": \"glintara\"") != std::string::npos;
    })) << "no node named glintara appeared";

    ScratchFolder folder;
    // The first reader takes BGRx: the renderer's bytes, at angles that go on turning.
    const ProcessResult bgrxRead = pipewire.read("BGRx", 30, folder.path("bgrx.raw"));
    ASSERT_EQ(bgrxRead.exitStatus, 0) << bgrxRead.err;
    const std::vector<cv::Mat> bgrx = rawFrames(folder.path("bgrx.raw"), 640, CV_8UC4);
    ASSERT_EQ(bgrx.size(), 30u);
    std::vector<int> angles;
    for (const cv::Mat& frame : bgrx) {
        cv::Mat channels[4];
        cv::split(frame, channels);
        EXPECT_EQ(cv::countNonZero(channels[3] != 255), 0) << "the fourth byte is not 255";
        cv::Mat bgr;
        cv::cvtColor(frame, bgr, cv::COLOR_BGRA2BGR);
        const std::optional<int> angle = angleOf(
            [&](const cv::Mat& render) { return cv::norm(render, bgr, cv::NORM_INF) == 0.0; },
            angles.empty() ? 0 : angles.back());
        ASSERT_TRUE(angle) << "frame " << angles.size() << " is no render of the picture";
        angles.push_back(*angle);
    }
    // Frames a busy reader misses are left out, never sent late: the angles rise.
    for (std::size_t i = 1; i < angles.size(); ++i) {
        EXPECT_GT((angles[i] - angles[0] + 360) % 360, (angles[i - 1] - angles[0] + 360) % 360);
    }

    // glintara-render makes the same picture of that frame at that angle.
    ASSERT_TRUE(cv::imwrite(folder.path("scene.png"), scene()));
    const ProcessResult rendered =
        runProcess({GLINTARA_RENDER_BINARY, "--angle", std::to_string(angles[0]),
                    folder.path("scene.png"), folder.path("rendered.png")});
    ASSERT_EQ(rendered.exitStatus, 0) << rendered.err;
    cv::Mat first;
    cv::cvtColor(bgrx[0], first, cv::COLOR_BGRA2BGR);
    EXPECT_EQ(cv::norm(cv::imread(folder.path("rendered.png")), first, cv::NORM_INF), 0.0);

    // A second reader after the first has gone takes I420: BT.601 in video range, as the
    // element converts.
    const ProcessResult i420Read = pipewire.read("I420", 5, folder.path("i420.raw"));
    ASSERT_EQ(i420Read.exitStatus, 0) << i420Read.err;
    const std::vector<cv::Mat> i420 = rawFrames(folder.path("i420.raw"), 960, CV_8UC1);
    ASSERT_EQ(i420.size(), 5u);
    int from = angles.back();
    for (const cv::Mat& frame : i420) {
        const cv::Mat y = frame.rowRange(0, 640);
        const cv::Mat cb = frame.rowRange(640, 800).reshape(1, 320);
        const cv::Mat cr = frame.rowRange(800, 960).reshape(1, 320);
        cv::Mat ey(640, 640, CV_8UC1), ecb(320, 320, CV_8UC1), ecr(320, 320, CV_8UC1);
        const auto converted = [&](const cv::Mat& render) {
            bgrToYuv420(render, ey, ecb, ecr);
            return cv::norm(ey, y, cv::NORM_INF) == 0.0 && cv::norm(ecb, cb, cv::NORM_INF) == 0.0 &&
                   cv::norm(ecr, cr, cv::NORM_INF) == 0.0;
        };
        const std::optional<int> angle = angleOf(converted, from);
        ASSERT_TRUE(angle) << "an I420 frame is not the element's conversion of a render";
        EXPECT_LE(yuv420Distance(renderOf(scene(), *angle), y, cb, cr), 0.51);
        from = *angle;
    }

    // Both readers gone, the program runs on and ends cleanly.
    kill(app.pid(), SIGINT);
    const ProcessResult result = app.wait(30s);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Views, VirtualCamera, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithWindows" : "WithoutWindows";
                         });

}  // namespace
}  // namespace glintara
