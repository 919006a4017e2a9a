// A frame source that never falls behind the camera. A capture thread reads the wrapped
// source as fast as it gives frames and keeps only the newest; the frame loop is handed the
// newest frame it has not seen, waiting for one when there is none. Frames that arrive while
// the loop is busy are dropped rather than shown late. A camera whose driver hangs in a read
// ends the loop after a bounded wait instead of freezing the windows, and never keeps the
// program from quitting.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

class LatestFrameSource final : public FrameSource {
  public:
    // Two seconds is some sixty frames of a camera at work: a source that gives nothing for
    // that long has stopped.
    static constexpr std::chrono::milliseconds kLongestWait{2000};

    explicit LatestFrameSource(std::unique_ptr<FrameSource> source,
                               std::chrono::milliseconds longestWait = kLongestWait);
    // Stops the capture thread and waits for it at most `longestWait`; a thread still held
    // in the wrapped source's read after that is left to end with the process, keeping what
    // it uses alive.
    ~LatestFrameSource() override;
    LatestFrameSource(const LatestFrameSource&) = delete;
    LatestFrameSource& operator=(const LatestFrameSource&) = delete;

    // The newest frame not yet handed out; false once the wrapped source has stopped and
    // every frame it gave has been handed out, or when it gave nothing for `longestWait`.
    // Rethrows what the wrapped source threw.
    bool read(cv::Mat& frame) override;
    // When the capture thread received the frame read last.
    std::optional<Clock::time_point> lastTakenAt() const override { return takenAt_; }
    bool frameWaiting() const override;

  private:
    struct Shared;
    static void capture(const std::shared_ptr<Shared>& shared, std::stop_token stop);

    std::shared_ptr<Shared> shared_;  // the capture thread holds it too
    std::chrono::milliseconds longestWait_;
    std::optional<Clock::time_point> takenAt_;
    std::jthread thread_;
};

}  // namespace glintara
