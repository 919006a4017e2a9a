// The live view against a camera that keeps its own pace: the frame loop is always handed
// the newest frame, whatever the loop's own pace, and the capture thread ends with it.
#include "app/latest_frame.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "app/frame_loop.hpp"
#include "core/workspace.hpp"
#include "render/sizes.hpp"
#include "tests/support/scripted.hpp"

namespace glintara {
namespace {

using namespace std::chrono_literals;
using testing_support::PacedCamera;
using testing_support::ScriptedScreen;
using testing_support::ScriptedSource;

constexpr int kDriverBuffers = 4;
constexpr int kShownFrames = 12;

// A camera the test moves on by hand: take() makes it take frames, which it holds, as a
// driver with `buffers` buffers does, until read, dropping those that find every buffer full.
// read() hands out the oldest held frame and waits when none is held. The frame's number is
// in its top-left pixel, as the paced camera writes it.
class SteppedCamera : public FrameSource {
  public:
    explicit SteppedCamera(int buffers) : buffers_(buffers) {}

    bool read(cv::Mat& frame) override {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_.empty() || ended_; });
        --waiting_;
        if (held_.empty()) {
            return false;
        }
        frame.create(geometryFor(kDefaultCanvasSide).frameSize, CV_8UC3);
        frame.setTo(cv::Scalar(40, 80, 120));
        frame.at<cv::Vec3b>(0, 0) = PacedCamera::numberPixel(held_.front());
        held_.pop_front();
        return true;
    }
    void take(int frames) {
        const std::lock_guard lock(mutex_);
        for (int i = 0; i < frames; ++i, ++taken_) {
            if (static_cast<int>(held_.size()) < buffers_) {
                held_.push_back(taken_);
            }
        }
        changed_.notify_all();
    }
    // Waits until every frame taken has been read and a reader is waiting for the next.
    void waitUntilEverythingIsRead() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return held_.empty() && waiting_ > 0; });
    }
    void end() {
        const std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    int newest() {
        const std::lock_guard lock(mutex_);
        return taken_ - 1;
    }

  private:
    int buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> held_;
    int taken_ = 0;
    int waiting_ = 0;
    bool ended_ = false;
};

// How many camera frames behind the newest each frame was when the loop began rendering it,
// with a renderer during which the camera takes two frames.
std::vector<int> agesWithASlowRenderer(bool keepOnlyTheNewest) {
    auto owned = std::make_unique<SteppedCamera>(kDriverBuffers);
    SteppedCamera& camera = *owned;
    std::unique_ptr<FrameSource> source = std::move(owned);
    if (keepOnlyTheNewest) {
        source = std::make_unique<LatestFrameSource>(std::move(source));
    }
    ScriptedScreen screen(std::map<int, int>{{kShownFrames - 1, 27}});
    ImageWorkspace ws = createWorkspace();
    std::vector<int> ages;
    const RenderStep slow = [&](ImageWorkspace& workspace, double) {
        ages.push_back(camera.newest() - PacedCamera::numberOf(workspace.frameImage));
        camera.take(2);
        if (keepOnlyTheNewest) {
            camera.waitUntilEverythingIsRead();  // the capture thread keeps up while we render
        }
    };
    camera.take(1);
    EXPECT_EQ(runFrameLoop(*source, screen, ws, slow), LoopEnd::ExitKey);
    camera.end();
    return ages;
}

TEST(LatestFrame, TheFrameRenderedIsTheNewestTheCameraHasTaken) {
    const std::vector<int> ages = agesWithASlowRenderer(true);
    EXPECT_EQ(ages, std::vector<int>(kShownFrames, 0));
}

TEST(LatestFrame, WithoutItASlowLoopFallsBehindByTheDriversBuffers) {
    // The stepped camera shows the fault the capture thread is there for.
    const std::vector<int> ages = agesWithASlowRenderer(false);
    ASSERT_EQ(ages.size(), static_cast<std::size_t>(kShownFrames));
    EXPECT_GE(ages.back(), kDriverBuffers);
}

TEST(LatestFrame, AnglesStillAdvanceOneDegreePerFrameShown) {
    LatestFrameSource source(std::make_unique<PacedCamera>(1ms, kDriverBuffers));
    ScriptedScreen screen(std::map<int, int>{{20, 27}});
    ImageWorkspace ws = createWorkspace();
    std::vector<int> angles;
    const RenderStep record = [&](ImageWorkspace&, double angle) {
        angles.push_back(static_cast<int>(angle));
    };
    runFrameLoop(source, screen, ws, record);
    ASSERT_EQ(angles.size(), 21u);
    for (int i = 0; i < 21; ++i) {
        EXPECT_EQ(angles[i], i);
    }
}

TEST(LatestFrame, EveryFrameIsHandedOutBeforeTheSourceReportsItsEnd) {
    LatestFrameSource source(std::make_unique<ScriptedSource>(cv::Mat(4, 4, CV_8UC3), 1));
    cv::Mat frame;
    EXPECT_TRUE(source.read(frame));
    EXPECT_EQ(frame.size(), cv::Size(4, 4));
    EXPECT_FALSE(source.read(frame));
    EXPECT_FALSE(source.read(frame));
}

TEST(LatestFrame, AnEmptyFrameEndsItAndWhatTheSourceThrowsReachesTheLoop) {
    LatestFrameSource empty(std::make_unique<ScriptedSource>(cv::Mat(), -1));
    cv::Mat frame;
    EXPECT_FALSE(empty.read(frame));

    struct Throwing : FrameSource {
        bool read(cv::Mat&) override { throw std::runtime_error("the camera went away"); }
    };
    LatestFrameSource throwing(std::make_unique<Throwing>());
    EXPECT_THROW(throwing.read(frame), std::runtime_error);
}

TEST(LatestFrame, ACameraThatHangsInAReadEndsTheLoopAndLetsTheProgramQuit) {
    // A driver that answers only when the test lets it, long after the program has gone on.
    struct Hung : FrameSource {
        explicit Hung(std::shared_future<void> answer) : answer_(std::move(answer)) {}
        bool read(cv::Mat&) override {
            answer_.wait();
            return false;
        }
        std::shared_future<void> answer_;
    };
    std::promise<void> answer;
    {
        LatestFrameSource source(std::make_unique<Hung>(answer.get_future().share()), 50ms);
        cv::Mat frame;
        EXPECT_FALSE(source.read(frame));
    }  // and does not wait for the driver here
    answer.set_value();
}

TEST(LatestFrame, ItsThreadEndsBeforeTheCameraIsReleased) {
    // A camera that counts its reads and notes how many there were when it was released. A
    // thread left reading it after that would read a released camera (AddressSanitizer's
    // finding); one that had not yet ended would still be counting.
    struct Counted : PacedCamera {
        Counted(std::atomic<int>& reads, int& readsAtRelease)
            : PacedCamera(5ms, kDriverBuffers), reads_(reads), readsAtRelease_(readsAtRelease) {}
        ~Counted() override { readsAtRelease_ = reads_; }
        bool read(cv::Mat& frame) override {
            ++reads_;
            return PacedCamera::read(frame);
        }
        std::atomic<int>& reads_;
        int& readsAtRelease_;
    };
    std::atomic<int> reads{0};
    int readsAtRelease = -1;
    {
        LatestFrameSource source(std::make_unique<Counted>(reads, readsAtRelease));
        cv::Mat frame;
        ASSERT_TRUE(source.read(frame));
    }
    EXPECT_GE(readsAtRelease, 1) << "the camera was not released";
    EXPECT_EQ(reads, readsAtRelease) << "something read the camera after its release";
}

}  // namespace
}  // namespace glintara
