// 3,000 frames through the full loop and OpenCV's real windows (Qt's offscreen platform, so
// no display is needed): memory stays flat and no workspace image is ever reallocated.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/frame_loop.hpp"
#include "app/highgui_screen.hpp"
#include "core/workspace.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/scripted.hpp"

namespace glintara {
namespace {

constexpr int kWarmUpFrames = 300;
constexpr double kAllowedGrowthMiB = 4.0;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer holds freed memory back in quarantine, so resident memory says nothing;
// what is left to watch there, buffers that stay put, shows in fewer frames.
constexpr bool kMemoryIsMeasurable = false;
constexpr int kFrames = 900;
#else
constexpr bool kMemoryIsMeasurable = true;
constexpr int kFrames = 3000;
#endif

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The real windows, waiting 1 ms instead of 30 for a key so the soak takes seconds, not minutes.
class BriefWaits final : public Screen {
  public:
    explicit BriefWaits(std::unique_ptr<Screen> screen) : screen_(std::move(screen)) {}
    void show(const std::string& window, const cv::Mat& image) override {
        screen_->show(window, image);
    }
    int waitKey(int) override { return screen_->waitKey(1); }
    bool windowClosed() override { return screen_->windowClosed(); }

  private:
    std::unique_ptr<Screen> screen_;
};

TEST(Soak, ThousandsOfFramesKeepMemoryFlatAndTheWorkspaceInPlace) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    BriefWaits screen(openHighguiScreen(geometryFor(kDefaultCanvasSide).frameSize.width));
    // An odd camera: every frame needs converting and scaling, the costliest path.
    testing_support::ScriptedSource source(testing_support::syntheticScene({800, 600}), kFrames);
    ImageWorkspace ws = createWorkspace();
    const std::vector<const uchar*> buffers = testing_support::workspaceBuffers(ws);

    int frame = 0;
    int reallocations = 0;
    double afterWarmUp = 0.0;
    const RenderStep watched = [&](ImageWorkspace& workspace, double angle) {
        renderFrame(workspace, angle);
        if (testing_support::workspaceBuffers(workspace) != buffers) {
            ++reallocations;
        }
        if (++frame == kWarmUpFrames) {
            afterWarmUp = residentMiB();
        }
    };
    EXPECT_EQ(runFrameLoop(source, screen, ws, watched), LoopEnd::NoFrame);
    const double atEnd = residentMiB();

    EXPECT_EQ(frame, kFrames);
    EXPECT_EQ(reallocations, 0);
    if (kMemoryIsMeasurable) {
        EXPECT_LT(atEnd - afterWarmUp, kAllowedGrowthMiB)
            << "resident " << afterWarmUp << " MiB after warm-up, " << atEnd << " MiB at the end";
    }
    std::printf("resident memory: %.2f MiB after %d frames, %.2f MiB after %d (%+.2f MiB)\n",
                afterWarmUp, kWarmUpFrames, atEnd, kFrames, atEnd - afterWarmUp);
}

}  // namespace
}  // namespace glintara
