// A camera at its own pace, as the live loop meets one, for the benchmark's live-loop figure
// and the capture thread's tests.
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

#include <opencv2/core.hpp>

#include "app/platform.hpp"
#include "render/sizes.hpp"

namespace glintara {

// A camera that takes a numbered frame every `period` and, as a driver with `buffers`
// buffers does, holds up to that many not yet read; frames that find every buffer full are
// dropped. read() hands out the oldest held frame, waiting for the next when none is held.
// The frame's number is in its top-left pixel (low byte blue, high byte green).
class PacedCamera : public FrameSource {
  public:
    using Clock = std::chrono::steady_clock;
    PacedCamera(std::chrono::microseconds period, int buffers, int frames = -1)
        : period_(period), buffers_(buffers), frames_(frames), start_(Clock::now()) {}

    bool read(cv::Mat& frame) override {
        std::this_thread::sleep_until(arrivalOf(takenBefore()));
        collect();
        if (held_.empty()) {
            return false;
        }
        const int number = held_.front();
        held_.pop_front();
        frame.create(geometryFor(kDefaultCanvasSide).frameSize, CV_8UC3);
        frame.setTo(cv::Scalar(40, 80, 120));
        frame.at<cv::Vec3b>(0, 0) = numberPixel(number);
        return true;
    }

    // The number of the newest frame the camera has taken by now.
    int newest() const {
        const int taken = static_cast<int>((Clock::now() - start_) / period_);
        return frames_ < 0 ? taken : std::min(taken, frames_ - 1);
    }

    static cv::Vec3b numberPixel(int number) {
        return {static_cast<uchar>(number & 0xff), static_cast<uchar>(number >> 8), 0};
    }
    static int numberOf(const cv::Mat& frame) {
        const cv::Vec3b pixel = frame.at<cv::Vec3b>(0, 0);
        return pixel[0] | (pixel[1] << 8);
    }

  private:
    Clock::time_point arrivalOf(int number) const { return start_ + number * period_; }
    // The first frame not yet collected, or the next one to arrive when all are read.
    int takenBefore() const { return held_.empty() ? collected_ : collected_ - 1; }
    void collect() {
        for (; collected_ <= newest() && (frames_ < 0 || collected_ < frames_); ++collected_) {
            if (static_cast<int>(held_.size()) < buffers_) {
                held_.push_back(collected_);
            }
        }
    }

    std::chrono::microseconds period_;
    int buffers_;
    int frames_;
    Clock::time_point start_;
    std::deque<int> held_;
    int collected_ = 0;
};

}  // namespace glintara
