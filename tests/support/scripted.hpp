// A frame source and a screen that follow a script, for driving the real frame loop.
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara::testing_support {

// Gives `frames` copies of one frame, then no more (a negative count never runs out).
class ScriptedSource : public FrameSource {
  public:
    ScriptedSource(cv::Mat frame, int frames) : frame_(std::move(frame)), left_(frames) {}
    bool read(cv::Mat& frame) override {
        if (left_ == 0) {
            return false;
        }
        --left_;
        frame_.copyTo(frame);
        ++taken;
        return true;
    }
    int taken = 0;

  private:
    cv::Mat frame_;
    int left_;
};

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
        frame.create(480, 640, CV_8UC3);
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

// Answers each key wait with the key scripted for that frame (counting from 0), or no key;
// keeps the last image shown in each window.
class ScriptedScreen : public Screen {
  public:
    explicit ScriptedScreen(std::map<int, int> keysByFrame, int closeAtFrame = -1)
        : keys_(std::move(keysByFrame)), closeAt_(closeAtFrame) {}
    void show(const std::string& window, const cv::Mat& image) override {
        image.copyTo(shown[window]);
        ++shows[window];
    }
    int waitKey(int delayMs) override {
        waits.push_back(delayMs);
        const int frame = static_cast<int>(waits.size()) - 1;
        const auto key = keys_.find(frame);
        return key == keys_.end() ? kNoKey : key->second;
    }
    bool windowClosed() override { return static_cast<int>(waits.size()) - 1 == closeAt_; }

    std::map<std::string, cv::Mat> shown;
    std::map<std::string, int> shows;
    std::vector<int> waits;

  private:
    std::map<int, int> keys_;
    int closeAt_;
};

}  // namespace glintara::testing_support
