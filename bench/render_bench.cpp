// make bench: how fast a frame renders, beside a plain use of the same OpenCV operations,
// and how fast glintara-render goes end to end. One line per figure.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "app/frame.hpp"
#include "app/frame_loop.hpp"
#include "app/workspace.hpp"
#include "tests/support/reference_render.hpp"

namespace {

using namespace glintara;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr int kClipFrames = 300;

// Natural-looking content: soft shapes of light and colour with fine grain over them.
cv::Mat naturalFrame(int seed) {
    cv::RNG rng(static_cast<std::uint64_t>(seed) + 7);
    cv::Mat coarse(12, 16, CV_8UC3);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::Mat frame;
    cv::resize(coarse, frame, {kFrameWidth, kFrameHeight}, 0, 0, cv::INTER_CUBIC);
    cv::Mat grain(frame.size(), CV_8UC3);
    rng.fill(grain, cv::RNG::NORMAL, 0, 12);
    cv::add(frame, grain, frame);
    for (int i = 0; i < 40; ++i) {
        cv::ellipse(frame, {rng.uniform(0, kFrameWidth), rng.uniform(0, kFrameHeight)},
                    {rng.uniform(4, 50), rng.uniform(4, 50)}, rng.uniform(0, 180), 0, 360,
                    cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)),
                    cv::FILLED, cv::LINE_AA);
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

// Times both renderers on the same frames at every angle, taking turns call by call so that
// whatever else the machine is doing weighs on both alike.
std::pair<Timing, Timing> timeSideBySide(const RenderStep& first, const RenderStep& second) {
    ImageWorkspace ws = createWorkspace();
    FrameScratch scratch;
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 8; ++i)
        frames.push_back(naturalFrame(i));
    std::vector<double> ms[2];
    for (int round = 0; round < kRounds; ++round) {
        for (int angle = 0; angle < 360; ++angle) {
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

double endToEndFramesPerSecond(const std::filesystem::path& folder) {
    const std::string clip = (folder / "clip.avi").string();
    const std::string out = (folder / "out.avi").string();
    cv::VideoWriter writer(clip, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           30, {kFrameWidth, kFrameHeight});
    for (int i = 0; i < kClipFrames; ++i)
        writer.write(naturalFrame(i % 30));
    writer.release();

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(GLINTARA_RENDER_BINARY, "glintara-render", "--quiet", clip.c_str(), out.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "glintara-render failed\n");
        return 0.0;
    }
    return kClipFrames / seconds;
}

}  // namespace

int main() {
    testing_support::ReferenceScratch reference = testing_support::createReferenceScratch();
    const RenderStep plainSequence = [&](ImageWorkspace& ws, double angle) {
        testing_support::referenceRender(reference, ws.frameImage, ws.squareImage,
                                         ws.outputImage, angle);
    };
    // The first pass warms caches and OpenCV's thread pool.
    timeSideBySide(renderFrame, plainSequence);
    const auto [renderer, plain] = timeSideBySide(renderFrame, plainSequence);
    std::printf("renderer (renderFrame): median %.2f ms, p90 %.2f ms per frame\n",
                renderer.median, renderer.p90);
    std::printf("same OpenCV operations, plain sequence: median %.2f ms, p90 %.2f ms per frame\n",
                plain.median, plain.p90);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("glintara-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const double fps = endToEndFramesPerSecond(folder);
    std::filesystem::remove_all(folder);
    std::printf("glintara-render end to end, %d-frame 640x480 MJPG clip: %.1f frames per second\n",
                kClipFrames, fps);
    return fps > 0.0 ? 0 : 1;
}
