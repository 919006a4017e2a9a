// make bench: how fast a frame renders, beside a plain use of the same OpenCV operations,
// and how fast glintara-render goes end to end. One line per figure.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "app/frame_loop.hpp"
#include "app/latest_frame.hpp"
#include "bench/paced_camera.hpp"
#include "core/frame.hpp"
#include "core/workspace.hpp"
#include "render/plain_render.hpp"

const glintara::Geometry kClassic = glintara::geometryFor(glintara::kDefaultCanvasSide);

namespace {

using namespace glintara;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr int kClipFrames = 300;
constexpr int kLiveFrames = 150;
constexpr int kJobRuns = 3;

// Natural-looking content: soft shapes of light and colour with fine grain over them.
cv::Mat naturalFrame(int seed) {
    cv::RNG rng(static_cast<std::uint64_t>(seed) + 7);
    cv::Mat coarse(12, 16, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::Mat frame;
    cv::resize(coarse, frame, {kClassic.frameSize.width, kClassic.frameSize.height}, 0, 0,
               cv::INTER_CUBIC);
    cv::Mat grain(frame.size(), CV_8UC3);
    rng.fill(grain, cv::RNG::NORMAL, 0, 12);
    cv::add(frame, grain, frame);
    for (int i = 0; i < 40; ++i) {
        cv::ellipse(
            frame,
            {rng.uniform(0, kClassic.frameSize.width), rng.uniform(0, kClassic.frameSize.height)},
            {rng.uniform(4, 50), rng.uniform(4, 50)}, rng.uniform(0, 180), 0, 360,
            cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)), cv::FILLED,
            cv::LINE_AA);
    }
    cv::GaussianBlur(frame, frame, {3, 3}, 0);
    return frame;
}

struct Timing {
    double median;
    double p90;
};

Timing summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10]};
}

// Times both renderers on the same frames at every `angleStep`-th angle, taking turns call by
// call so that whatever else the machine is doing weighs on both alike.
std::pair<Timing, Timing> timeSideBySide(const RenderStep& first, const RenderStep& second,
                                         int canvasSide = kDefaultCanvasSide, int angleStep = 1,
                                         int rounds = kRounds) {
    ImageWorkspace ws = createWorkspace(canvasSide);
    FrameScratch scratch;
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 8; ++i)
        frames.push_back(naturalFrame(i));
    std::vector<double> ms[2];
    for (int round = 0; round < rounds; ++round) {
        for (int angle = 0; angle < 360; angle += angleStep) {
            for (int which = 0; which < 2; ++which) {
                loadFrame(frames[angle % frames.size()], ws, scratch);
                const auto start = Clock::now();
                (which == 0 ? first : second)(ws, angle);
                ms[which].push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
        }
    }
    return {summarise(ms[0]), summarise(ms[1])};
}

// Runs a command to its end, its output dropped; its time in seconds, or nothing when it
// failed. Spawned, not forked: copying this process's large memory map on every fork would
// weigh on both jobs' times alike and blur their ratio.
struct JobRun {
    double seconds;
    long peakKilobytes;  // the most memory the job held at once
};

std::optional<JobRun> runCommand(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        return std::nullopt;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return JobRun{std::chrono::duration<double>(Clock::now() - start).count(), usage.ru_maxrss};
}

std::optional<double> timeCommand(const std::vector<std::string>& command) {
    const std::optional<JobRun> run = runCommand(command);
    return run ? std::optional<double>(run->seconds) : std::nullopt;
}

// The middle one of the times, or nothing when every run failed.
std::optional<double> middleOf(std::vector<double> times) {
    if (times.empty()) {
        return std::nullopt;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string writeClip(const std::filesystem::path& folder) {
    const std::string clip = (folder / "clip.avi").string();
    cv::VideoWriter writer(clip, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           30, {kClassic.frameSize.width, kClassic.frameSize.height});
    for (int i = 0; i < kClipFrames; ++i)
        writer.write(naturalFrame(i % 30));
    return clip;
}

// The same job in GStreamer: decode MJPG, an effect element, encode MJPG.
std::vector<std::string> gstreamerJob(const std::string& clip, const std::string& effect,
                                      const std::string& out) {
    return {"gst-launch-1.0",
            "-q",
            "filesrc",
            "location=" + clip,
            "!",
            "avidemux",
            "!",
            "jpegdec",
            "!",
            "videoconvert",
            "!",
            effect,
            "!",
            "videoconvert",
            "!",
            "jpegenc",
            "!",
            "avimux",
            "!",
            "filesink",
            "location=" + out};
}

// A screen that costs what a window does to the loop: the shown picture is copied, and the
// key wait takes as long as Qt's 30 ms wait does (31 ms).
class PacedScreen : public Screen {
  public:
    void show(const std::string&, const cv::Mat& image) override { image.copyTo(shown_); }
    int waitKey(int) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(31));
        return ++frames == kLiveFrames ? 27 : kNoKey;
    }
    bool windowClosed() override { return false; }
    int frames = 0;

  private:
    cv::Mat shown_;
};

// Frames shown per second by the live loop, with the real renderer, a 30 fps camera and
// the newest-frame capture thread.
double liveFramesPerSecond() {
    LatestFrameSource camera(std::make_unique<PacedCamera>(std::chrono::microseconds(33333), 4));
    PacedScreen screen;
    ImageWorkspace ws = createWorkspace();
    const auto start = Clock::now();
    runFrameLoop(camera, screen, ws, renderFrame);
    return screen.frames / std::chrono::duration<double>(Clock::now() - start).count();
}

// The everyday clip: 300 frames of 1280x720 H.264 with AAC sound, as a phone or a camera
// gives, made by the ffmpeg program.
std::optional<std::string> writeCameraClip(const std::filesystem::path& folder) {
    const std::string clip = (folder / "camera.mp4").string();
    const std::optional<double> made =
        timeCommand({"ffmpeg", "-v",      "error",     "-y",
                     "-f",     "lavfi",   "-i",        "testsrc2=s=1280x720:r=30:d=10",
                     "-f",     "lavfi",   "-i",        "sine=f=440:d=10",
                     "-c:v",   "libx264", "-preset",   "medium",
                     "-crf",   "23",      "-pix_fmt",  "yuv420p",
                     "-c:a",   "aac",     "-shortest", clip});
    return made ? std::optional<std::string>(clip) : std::nullopt;
}

// The effect-free twin of a job on the camera clip: the ffmpeg program cutting the same 4:3
// part, scaling it to the same square and encoding it as glintara-render does.
std::vector<std::string> plainTranscode(const std::string& clip, int side,
                                        const std::vector<std::string>& encoding,
                                        const std::string& out) {
    std::vector<std::string> command = {
        "ffmpeg", "-v",
        "error",  "-y",
        "-i",     clip,
        "-vf",    "crop=960:720,scale=" + std::to_string(side) + ":" + std::to_string(side)};
    command.insert(command.end(), encoding.begin(), encoding.end());
    command.push_back(out);
    return command;
}

const std::vector<std::string> kH264Encoding = {"-c:v", "libx264", "-preset",   "superfast",
                                                "-crf", "20",      "-pix_fmt",  "yuv420p",
                                                "-c:a", "copy",    "-movflags", "+faststart"};
const std::vector<std::string> kVp9Encoding = {
    "-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8", "-crf", "24",
    "-b:v", "0",          "-row-mt",   "1",        "-threads",  "2", "-c:a", "libopus"};

// A job, and the same job without the effect where there is one to hold it against.
struct FileJob {
    std::string name;
    std::vector<std::string> ours;
    std::string twinName;
    std::vector<std::string> twin;  // empty: none
};

// Both commands three times, taking turns, and the middle time of each: one run alone moves
// by a fifth on a shared machine.
std::pair<std::optional<double>, std::optional<double>> timeJobAndTwin(const FileJob& job) {
    std::vector<double> ourTimes, twinTimes;
    for (int run = 0; run < kJobRuns; ++run) {
        if (const std::optional<double> time = timeCommand(job.ours)) {
            ourTimes.push_back(*time);
        }
        if (!job.twin.empty()) {
            if (const std::optional<double> time = timeCommand(job.twin)) {
                twinTimes.push_back(*time);
            }
        }
    }
    return {middleOf(ourTimes), middleOf(twinTimes)};
}

void printJob(const FileJob& job, std::optional<double> ours, std::optional<double> twin) {
    std::printf("%-46s %6.2f s", job.name.c_str(), *ours);
    if (twin) {
        std::printf("   %s %6.2f s   ratio %.2f", job.twinName.c_str(), *twin, *ours / *twin);
    } else if (!job.twin.empty()) {
        std::printf("   %s: skipped (not installed)", job.twinName.c_str());
    }
    std::printf("\n");
}

std::vector<FileJob> fileJobs(const std::filesystem::path& folder, const std::string& mjpgClip,
                              const std::optional<std::string>& cameraClip,
                              const std::string& photo) {
    const auto out = [&](const char* name) { return (folder / name).string(); };
    const std::string render = GLINTARA_RENDER_BINARY;
    std::vector<FileJob> jobs;
    if (cameraClip) {
        jobs.push_back({"camera .mp4 to .mp4 at 640",
                        {render, "--quiet", *cameraClip, out("a.mp4")},
                        "ffmpeg without the effect",
                        plainTranscode(*cameraClip, 640, kH264Encoding, out("b.mp4"))});
        jobs.push_back({"camera .mp4 to .mp4 at --size 1080",
                        {render, "--quiet", "--size", "1080", *cameraClip, out("c.mp4")},
                        "ffmpeg without the effect",
                        plainTranscode(*cameraClip, 1080, kH264Encoding, out("d.mp4"))});
        jobs.push_back({"camera .mp4 to .webm at 640",
                        {render, "--quiet", *cameraClip, out("e.webm")},
                        "ffmpeg without the effect",
                        plainTranscode(*cameraClip, 640, kVp9Encoding, out("f.webm"))});
    }
    jobs.push_back(
        {"photo to a 360-frame .webp turn", {render, "--quiet", photo, out("g.webp")}, "", {}});
    jobs.push_back({"640x480 MJPG clip to MJPG",
                    {render, "--quiet", mjpgClip, out("h.avi")},
                    "GStreamer kaleidoscope",
                    gstreamerJob(mjpgClip, "kaleidoscope", out("i.avi"))});
    jobs.push_back({"the glintara element, the same job",
                    gstreamerJob(mjpgClip, "glintara", out("j.avi")), "GStreamer kaleidoscope",
                    gstreamerJob(mjpgClip, "kaleidoscope", out("k.avi"))});
    return jobs;
}

// Every file job beside its twin, then the peak memory of a 2160 render. False when
// glintara-render itself failed.
bool timeFileJobs(const std::filesystem::path& folder) {
    const std::string mjpgClip = writeClip(folder);
    const std::optional<std::string> cameraClip = writeCameraClip(folder);
    if (!cameraClip) {
        std::printf("the camera clip jobs: skipped (needs the ffmpeg program)\n");
    }
    const std::string photo = (folder / "photo.png").string();
    cv::imwrite(photo, naturalFrame(7));
    // Our own element, loaded from the build tree.
    setenv("GST_PLUGIN_PATH", GLINTARA_GST_PLUGIN_DIR, 1);
    std::printf("file jobs, the middle of %d runs each, taking turns with the twin:\n", kJobRuns);
    bool ran = true;
    for (const FileJob& job : fileJobs(folder, mjpgClip, cameraClip, photo)) {
        const auto [ours, twin] = timeJobAndTwin(job);
        if (!ours) {
            std::printf("%-46s failed\n", job.name.c_str());
            ran = ran && job.ours.front() != GLINTARA_RENDER_BINARY;
            continue;
        }
        printJob(job, ours, twin);
    }
    const std::optional<JobRun> largest =
        runCommand({GLINTARA_RENDER_BINARY, "--quiet", "--size", "2160", mjpgClip,
                    (folder / "largest.mp4").string()});
    if (largest) {
        std::printf("glintara-render --size 2160 to H.264:        %.2f s, peak memory %.0f MiB\n",
                    largest->seconds, largest->peakKilobytes / 1024.0);
    }
    return ran;
}

}  // namespace

int main() {
    PlainScratch reference = createPlainScratch(kClassic);
    const RenderStep plainSequence = [&](ImageWorkspace& ws, double angle) {
        renderPlainly(reference, ws.frameImage, ws.squareImage, ws.outputImage, angle);
    };
    // The first pass warms caches and OpenCV's thread pool.
    timeSideBySide(renderFrame, plainSequence);
    const auto [renderer, plain] = timeSideBySide(renderFrame, plainSequence);
    std::printf("renderer (renderFrame), 640x480, angles 0-359: median %.2f ms, p90 %.2f ms\n",
                renderer.median, renderer.p90);
    std::printf(
        "same OpenCV operations, plain sequence:       median %.2f ms, p90 %.2f ms "
        "(renderer %.1fx faster at the median)\n",
        plain.median, plain.p90, plain.median / renderer.median);

    // The larger canvases at every tenth angle, once round: a plain 2160 render takes a
    // tenth of a second.
    for (const int side : {1080, 2160}) {
        PlainScratch large = createPlainScratch(geometryFor(side));
        const RenderStep plainLarge = [&](ImageWorkspace& ws, double angle) {
            renderPlainly(large, ws.frameImage, ws.squareImage, ws.outputImage, angle);
        };
        const auto [fast, slow] = timeSideBySide(renderFrame, plainLarge, side, 10, 1);
        std::printf(
            "renderer at %dx%d: median %.2f ms, p90 %.2f ms; plain sequence median %.2f ms "
            "(renderer %.1fx faster)\n",
            side, side, fast.median, fast.p90, slow.median, slow.median / fast.median);
    }

    std::printf("live loop, 30 fps camera, 31 ms key wait:     %.1f frames per second shown\n",
                liveFramesPerSecond());

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("glintara-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const bool ran = timeFileJobs(folder);
    std::filesystem::remove_all(folder);
    if (!ran) {
        std::fprintf(stderr, "glintara-render failed\n");
        return 1;
    }
    return 0;
}
