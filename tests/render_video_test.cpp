// glintara-render on video files: frames in order, turning on, and nothing half-written.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <sstream>
#include <string_view>
#include <thread>

#include "tests/support/pictures.hpp"
#include "tests/support/render_tool.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;
using namespace std::chrono_literals;

const int kMjpg = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');

std::vector<cv::Mat> readAllFrames(const std::string& path, double* fps = nullptr) {
    cv::VideoCapture video(path, cv::CAP_FFMPEG);
    if (fps != nullptr) {
        *fps = video.get(cv::CAP_PROP_FPS);
    }
    std::vector<cv::Mat> frames;
    for (cv::Mat frame; video.read(frame);) {
        frames.push_back(frame.clone());
    }
    return frames;
}

bool isNumberedName(const std::string& name) {
    return name.find('%') != std::string::npos;
}

// A clip shared by the tests, made once.
class VideoRender : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new ScratchFolder;
        // A fractional frame rate, which the output must keep.
        writeSyntheticVideo(folder_->path("clip.avi"), 12, kMjpg, {640, 480}, 12.5);
        inputFrames_ = new std::vector<cv::Mat>(readAllFrames(folder_->path("clip.avi")));
    }
    static void TearDownTestSuite() {
        delete inputFrames_;
        delete folder_;
    }
    static std::string clip() { return folder_->path("clip.avi"); }
    static const std::vector<cv::Mat>& inputFrames() { return *inputFrames_; }

    ScratchFolder out_;

  private:
    static ScratchFolder* folder_;
    static std::vector<cv::Mat>* inputFrames_;
};

ScratchFolder* VideoRender::folder_ = nullptr;
std::vector<cv::Mat>* VideoRender::inputFrames_ = nullptr;

TEST_F(VideoRender, EveryFrameTurnsOneDegreeFurtherAtTheInputsRate) {
    ASSERT_EQ(inputFrames().size(), 12u);
    const auto result = runRenderTool(
        {"--angle", "355", "--capture", out_.path("cap.avi"), clip(), out_.path("out.avi")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");

    double fps = 0.0;
    const std::vector<cv::Mat> frames = readAllFrames(out_.path("out.avi"), &fps);
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_DOUBLE_EQ(fps, 12.5);
    EXPECT_EQ(frames[0].size(), cv::Size(640, 640));
    // Frame k is the still render at 355 + k, wrapping past 359, within the codec's loss.
    for (int k : {0, 4, 5, 11}) {
        const int angle = (355 + k) % 360;
        const double match = cv::PSNR(frames[k], renderOf(inputFrames()[k], angle));
        EXPECT_GT(match, 25.0) << "frame " << k;
        const double wrongAngle =
            cv::PSNR(frames[k], renderOf(inputFrames()[k], (angle + 3) % 360));
        EXPECT_GT(match, wrongAngle + 3.0)
            << "frame " << k << " is not at angle " << angle << " (" << match << " dB, "
            << wrongAngle << " dB three degrees off)";
    }

    const std::vector<cv::Mat> captures = readAllFrames(out_.path("cap.avi"));
    ASSERT_EQ(captures.size(), 12u);
    EXPECT_EQ(captures[0].size(), cv::Size(640, 480));
    EXPECT_GT(cv::PSNR(captures[7], renderOf(inputFrames()[7], 2, true)), 25.0);
    EXPECT_EQ(out_.names(), (std::vector<std::string>{"cap.avi", "out.avi"}));
}

TEST_F(VideoRender, Mp4OutputAndAFrameLimit) {
    const auto result = runRenderTool({"--frames", "4", clip(), out_.path("out.mp4")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    double fps = 0.0;
    const std::vector<cv::Mat> frames = readAllFrames(out_.path("out.mp4"), &fps);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_NEAR(fps, 12.5, 1e-6);
    EXPECT_GT(cv::PSNR(frames[3], renderOf(inputFrames()[3], 3)), 25.0);
}

TEST_F(VideoRender, SummaryWhenStderrIsNotATerminalAndSilenceWhenQuiet) {
    const auto told = runRenderTool({clip(), out_.path("a.avi")});
    ASSERT_EQ(told.exitStatus, 0);
    ASSERT_EQ(linesOf(told.err).size(), 1u) << told.err;
    EXPECT_EQ(told.err.rfind("rendered 12 frames in ", 0), 0u) << told.err;
    EXPECT_EQ(told.err.find('\r'), std::string::npos);

    const auto quiet = runRenderTool({"--quiet", clip(), out_.path("b.avi")});
    ASSERT_EQ(quiet.exitStatus, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(VideoRender, AnExtensionWithNoVideoWriterIsRefused) {
    for (const std::string name : {"out.png", "out.xyz", "out"}) {
        const auto result = runRenderTool({clip(), out_.path(name)});
        EXPECT_EQ(result.exitStatus, 1) << name;
        ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(out_.path(name) + ": INPUT is a video"), std::string::npos)
            << result.err;
    }
    EXPECT_TRUE(out_.names().empty());
}

TEST_F(VideoRender, AFrameThatFailsToDecodeMidwayLeavesNoOutput) {
    const std::string bytes = readFile(clip());
    writeFile(out_.path("cut.avi"), bytes.substr(0, bytes.size() / 2));
    writeFile(out_.path("out.avi"), "precious");

    const auto result = runRenderTool({out_.path("cut.avi"), out_.path("out.avi")});
    EXPECT_EQ(result.exitStatus, 1);
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(out_.path("cut.avi") + ": frame "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("could not be decoded"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("nothing was written"), std::string::npos) << result.err;
    EXPECT_EQ(out_.names(), (std::vector<std::string>{"cut.avi", "out.avi"}));
    EXPECT_EQ(readFile(out_.path("out.avi")), "precious");

    // Numbered stills are put in place together too: none of the frames before the failure.
    const auto numbered = runRenderTool({out_.path("cut.avi"), out_.path("f-%03d.png")});
    EXPECT_EQ(numbered.exitStatus, 1);
    EXPECT_EQ(out_.names(), (std::vector<std::string>{"cut.avi", "out.avi"}));
}

TEST_F(VideoRender, NumberedStillsHoldEveryFrameAtTheSpeedsAngles) {
    const auto result = runRenderTool({"--angle", "10", "--speed=-7", "--frames", "5", clip(),
                                       out_.path("out-%03d.png")});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(out_.names(), (std::vector<std::string>{"out-001.png", "out-002.png", "out-003.png",
                                                      "out-004.png", "out-005.png"}));
    for (int k = 0; k < 5; ++k) {
        const cv::Mat frame = cv::imread(out_.path("out-00" + std::to_string(k + 1) + ".png"));
        const int angle = (10 - 7 * k + 360) % 360;
        const double match = cv::PSNR(frame, renderOf(inputFrames()[k], angle));
        EXPECT_GT(match, 30.0) << "frame " << k;
        EXPECT_GT(match, cv::PSNR(frame, renderOf(inputFrames()[k], angle + 7)) + 3.0)
            << "frame " << k << " is not at angle " << angle;
    }
    // One frame of a video to a plain still name, when asked for with --frames 1.
    const auto one =
        runRenderTool({"--angle", "10", "--frames", "1", clip(), out_.path("one.png")});
    ASSERT_EQ(one.exitStatus, 0) << one.err;
    EXPECT_EQ(cv::norm(cv::imread(out_.path("one.png")), cv::imread(out_.path("out-001.png")),
                       cv::NORM_INF),
              0.0);
}

// A still turned at a speed makes one whole loop: 360 / gcd(360, |D|) frames.
struct Loop {
    const char* name;
    int speed;
    const char* output;
    int frames;
};

void PrintTo(const Loop& loop, std::ostream* out) {
    *out << loop.name;
}

class StillLoop : public testing::TestWithParam<Loop> {};

TEST_P(StillLoop, EndsWhereItStartsAgain) {
    ScratchFolder folder;
    const cv::Mat scene = syntheticScene();
    ASSERT_TRUE(cv::imwrite(folder.path("still.png"), scene));
    const Loop& loop = GetParam();
    const auto result = runRenderTool(
        {"--speed", std::to_string(loop.speed), folder.path("still.png"), folder.path(loop.output)});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    if (isNumberedName(loop.output)) {
        std::vector<std::string> names = folder.names();
        std::erase(names, "still.png");
        ASSERT_EQ(static_cast<int>(names.size()), loop.frames);
        for (int k = 0; k < loop.frames; ++k) {
            const cv::Mat frame = cv::imread(folder.path(names[k]));
            const int angle = ((loop.speed * k) % 360 + 360) % 360;
            EXPECT_EQ(cv::norm(frame, renderOf(scene, angle), cv::NORM_INF), 0.0) << names[k];
        }
    } else {
        EXPECT_EQ(static_cast<int>(readAllFrames(folder.path(loop.output)).size()), loop.frames);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, StillLoop,
    testing::Values(Loop{"QuarterTurnsToNumberedPngs", 90, "turn-%02d.png", 4},
                    Loop{"BackwardsByFortyFiveToNumberedPngs", -45, "turn-%d.png", 8},
                    Loop{"EightDegreesToMp4", 8, "turn.mp4", 45},
                    Loop{"SevenDegreesGoRoundAllTheWay", 7, "turn.avi", 360}),
    [](const testing::TestParamInfo<Loop>& info) { return info.param.name; });

TEST(StillLoop, AtSpeedZeroIsAUsageMistake) {
    ScratchFolder folder;
    ASSERT_TRUE(cv::imwrite(folder.path("still.png"), syntheticScene()));
    const auto result =
        runRenderTool({"--speed", "0", folder.path("still.png"), folder.path("turn.mp4")});
    EXPECT_EQ(result.exitStatus, 2);
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("--speed 0"), std::string::npos) << result.err;
    EXPECT_EQ(folder.names(), std::vector<std::string>{"still.png"});
}

TEST_F(VideoRender, StillOrVideoIsToldByContentNotByName) {
    std::filesystem::copy_file(clip(), out_.path("clip.png"));
    const auto video = runRenderTool({"--frames", "2", out_.path("clip.png"), out_.path("a.avi")});
    ASSERT_EQ(video.exitStatus, 0) << video.err;
    EXPECT_EQ(readAllFrames(out_.path("a.avi")).size(), 2u);

    ASSERT_TRUE(cv::imwrite(out_.path("still.png"), inputFrames()[0]));
    std::filesystem::rename(out_.path("still.png"), out_.path("still.avi"));
    const auto still = runRenderTool({out_.path("still.avi"), out_.path("b.png")});
    ASSERT_EQ(still.exitStatus, 0) << still.err;
    EXPECT_EQ(cv::norm(cv::imread(out_.path("b.png")), renderOf(inputFrames()[0], 0), cv::NORM_INF),
              0.0);
}

TEST_F(VideoRender, AVideoJobNeverLoadsTheImageCodecsAndAStillWithoutThemSaysSo) {
    // The program alone, without the codec module beside it.
    const std::string lone = out_.path("glintara-render");
    std::filesystem::copy_file(GLINTARA_RENDER_BINARY, lone);
    std::filesystem::permissions(lone, std::filesystem::perms::owner_all);
    const auto video = runProcess({lone, "--frames", "2", clip(), out_.path("a.avi")});
    ASSERT_EQ(video.exitStatus, 0) << video.err;
    EXPECT_EQ(readAllFrames(out_.path("a.avi")).size(), 2u);

    ASSERT_TRUE(cv::imwrite(out_.path("still.png"), inputFrames()[0]));
    const auto still = runProcess({lone, out_.path("still.png"), out_.path("b.png")});
    EXPECT_EQ(still.exitStatus, 1);
    ASSERT_EQ(linesOf(still.err).size(), 1u) << still.err;
    EXPECT_NE(still.err.find("the image codecs could not be loaded"), std::string::npos)
        << still.err;
    EXPECT_FALSE(std::filesystem::exists(out_.path("b.png")));
}

TEST_F(VideoRender, AVideoWithNoFrameIsRefusedAsInput) {
    cv::VideoWriter(out_.path("hollow.avi"), cv::CAP_OPENCV_MJPEG, kMjpg, 25, {640, 480}).release();
    ASSERT_TRUE(std::filesystem::exists(out_.path("hollow.avi")));
    const auto result = runRenderTool({out_.path("hollow.avi"), out_.path("out.avi")});
    EXPECT_EQ(result.exitStatus, 1);
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find(out_.path("hollow.avi") + ": "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("decodable frame"), std::string::npos) << result.err;
    EXPECT_EQ(out_.names(), std::vector<std::string>{"hollow.avi"});
}

TEST_F(VideoRender, OnATerminalOneLineIsUpdatedInPlace) {
    // stderr on a pseudo-terminal, as in an interactive shell.
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) {
        GTEST_SKIP() << "no pseudo-terminal can be opened here: " << std::strerror(errno);
    }
    if (pid == 0) {
        execl(GLINTARA_RENDER_BINARY, "glintara-render", clip().c_str(),
              out_.path("out.avi").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        said.append(buffer, static_cast<std::size_t>(n));
    }
    close(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << said;
    EXPECT_EQ(said.front(), '\r') << said;
    EXPECT_NE(said.find("frame 12/12  100%"), std::string::npos) << said;
    EXPECT_EQ(said.find("rendered"), std::string::npos) << "no summary on a terminal";
    // The terminal turns the final newline into CR LF: one line, rewritten in place.
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// Whether the process has its own handler for the signal, as /proc tells.
bool catchesSignal(int pid, int signal) {
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
        }
    }
    return false;
}

// Whether every thread of the process is asleep: waiting on its input, or on another thread.
bool allThreadsAsleep(int pid) {
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        const std::string stat = readFile((task.path() / "stat").string());
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.substr(close + 2, 1) != "S") {
            return false;
        }
    }
    return !error;
}

// Waits for a condition, as long as a guard against a hang allows.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!condition() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    return condition();
}

struct Interruption {
    int signal;
    int status;
    bool still;  // a still image held open by its writer, else the first half of a video
};

void PrintTo(const Interruption& interruption, std::ostream* out) {
    *out << "signal " << interruption.signal << ", status " << interruption.status;
}

class InterruptedRender : public testing::TestWithParam<Interruption> {};

// The input comes through a FIFO whose writer stalls after part of it, so the render is
// waiting on its input, or about to, when the signal comes: it must end at once all the same.
TEST_P(InterruptedRender, EndsAtOnceRemovesItsTemporariesAndKeepsTheOldOutput) {
    const Interruption& want = GetParam();
    ScratchFolder folder;
    const std::string output = want.still ? "out.png" : "out.avi";
    if (want.still) {
        ASSERT_TRUE(cv::imwrite(folder.path("source.png"), syntheticScene()));
    } else {
        writeSyntheticVideo(folder.path("source.avi"), 300, kMjpg, {320, 240});
    }
    writeFile(folder.path(output), "precious");
    ASSERT_EQ(mkfifo(folder.path("in").c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);

    ChildProcess child({GLINTARA_RENDER_BINARY, "--capture", folder.path("cap" + output.substr(3)),
                        folder.path("in"), folder.path(output)},
                       {});
    const int writer = open(folder.path("in").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string source = want.still ? "source.png" : "source.avi";
    const std::string bytes = readFile(folder.path(source));
    const std::string_view part =
        want.still ? bytes : std::string_view(bytes).substr(0, bytes.size() / 10);
    for (std::size_t sent = 0; sent < part.size();) {
        const ssize_t n = write(writer, part.data() + sent, part.size() - sent);
        ASSERT_GT(n, 0) << std::strerror(errno);
        sent += static_cast<std::size_t>(n);
    }
    ASSERT_TRUE(eventually([&] { return catchesSignal(child.pid(), want.signal); }));
    if (!want.still) {
        // The video is under way: its two temporary files exist.
        ASSERT_TRUE(eventually([&] { return folder.names().size() == 5; }))
            << "the temporaries never appeared";
    }
    // Everything written has been taken, and the render waits for more.
    ASSERT_TRUE(eventually([&] {
        int unread = -1;
        return ioctl(writer, FIONREAD, &unread) == 0 && unread == 0 &&
               allThreadsAsleep(child.pid());
    }));
    kill(child.pid(), want.signal);
    const ProcessResult result = child.wait(30s);
    close(writer);

    EXPECT_FALSE(result.timedOut) << "the render waited for its input's writer";
    EXPECT_EQ(result.exitStatus, want.status) << result.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in", output, source}));
    EXPECT_EQ(readFile(folder.path(output)), "precious");
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRender,
                         testing::Values(Interruption{SIGINT, 130, false},
                                         Interruption{SIGTERM, 143, false},
                                         Interruption{SIGHUP, 129, false},
                                         Interruption{SIGINT, 130, true}),
                         [](const testing::TestParamInfo<Interruption>& info) {
                             return std::string(sigabbrev_np(info.param.signal)) +
                                    (info.param.still ? "WhileAStillStalls" : "");
                         });

}  // namespace
}  // namespace glintara
