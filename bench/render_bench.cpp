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
#include "render/compose.hpp"
#include "render/tiles.hpp"

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

// The same operations in a plain sequence: no schedule, no table, nothing allocated per frame.
void straightforwardRender(ImageWorkspace& ws, double angle) {
    ws.squareImage.convertTo(ws.squareImage, -1, 1.5, 0.0);
    Triangles t = computeTriangles(angle);
    drawGuideOutline(ws.frameImage, t.upTriangle);
    scaleToTile(t);
    buildMasks(t, ws.tileImage.size(), ws.maskUp, ws.maskDown);
    ws.outputImage.setTo(cv::Scalar::all(0));
    const cv::Point2f c(230.5f, 230.5f);
    const cv::Size tile = ws.tileImage.size();
    auto warp = [&](const cv::Mat& from, double phi) {
        const cv::Matx23f m = cv::getRotationMatrix2D_(c, phi, 1.0);
        cv::warpAffine(from, ws.warpImage, m, ws.warpImage.size(), cv::INTER_LINEAR,
                       cv::BORDER_CONSTANT);
    };
    auto shrink = [&](const cv::Mat& from) {
        cv::resize(from, ws.tileImage, tile, 0, 0, cv::INTER_LINEAR);
    };
    auto blur = [&] {
        cv::blur(ws.tileImage, ws.tileImage, {5, 5}, {-1, -1}, cv::BORDER_REPLICATE);
    };
    auto place = [&](const cv::Mat& mask, int i) {
        const int x = 20 + (i % 5) * 110;
        const int y = 20 + (i / 5) * 110;
        ws.tileImage.copyTo(ws.outputImage(cv::Rect({x, y}, tile)), mask);
    };
    int i = 0;
    shrink(ws.squareImage);
    place(ws.maskUp, i++);
    for (int k = 0; k < 3; ++k) {
        blur();
        place(ws.maskUp, i++);
    }
    for (int k = 0; k < 3; ++k)
        place(ws.maskUp, i++);
    for (double phi : {120.0, 240.0}) {
        warp(ws.squareImage, phi);
        shrink(ws.warpImage);
        for (int k = 0; k < 3; ++k)
            place(ws.maskUp, i++);
    }
    for (double phi : {angle, angle + 120.0, angle + 240.0}) {
        warp(ws.squareImage, phi);
        cv::flip(ws.warpImage, ws.flipImage, 0);
        warp(ws.flipImage, -phi);
        shrink(ws.warpImage);
        place(ws.maskDown, i++);
        place(ws.maskDown, i++);
        blur();
        place(ws.maskDown, i++);
        blur();
        place(ws.maskDown, i++);
    }
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
    // The first pass warms caches and OpenCV's thread pool.
    timeSideBySide(renderKaleidoscope, straightforwardRender);
    const auto [renderer, plain] = timeSideBySide(renderKaleidoscope, straightforwardRender);
    std::printf("renderer (renderKaleidoscope): median %.2f ms, p90 %.2f ms per frame\n",
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
