// A frame source that never falls behind the camera. A capture thread reads the wrapped
// source as fast as it gives frames and keeps only the newest; the frame loop is handed the
// newest frame it has not seen, waiting for one when there is none. Frames that arrive while
// the loop is busy are dropped rather than shown late.
#pragma once

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

class LatestFrameSource final : public FrameSource {
  public:
    explicit LatestFrameSource(std::unique_ptr<FrameSource> source);
    // Stops the capture thread and waits for it, then releases the wrapped source.
    ~LatestFrameSource() override;
    LatestFrameSource(const LatestFrameSource&) = delete;
    LatestFrameSource& operator=(const LatestFrameSource&) = delete;

    // The newest frame not yet handed out; false once the wrapped source has stopped and
    // every frame it gave has been handed out. Rethrows what the wrapped source threw.
    bool read(cv::Mat& frame) override;

  private:
    void capture(std::stop_token stop);

    std::unique_ptr<FrameSource> source_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    cv::Mat newest_;
    bool fresh_ = false;  // newest_ has not been handed out
    bool ended_ = false;  // the wrapped source gives no more frames
    std::exception_ptr failure_;
    std::jthread thread_;  // last, so that it stops before anything it uses goes away
};

}  // namespace glintara
