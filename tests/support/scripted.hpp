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
#include "bench/paced_camera.hpp"

namespace glintara::testing_support {

using glintara::PacedCamera;

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
