// Steering the sample with the mouse in "Capture": a press or a drag of the left button puts
// its centre under the pointer, the wheel zooms in steps of the fourth root of 2 (zoom
// 2^(k/4), k from 0 to 12), and a right click goes back to the middle at zoom 1.
#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "render/sample.hpp"

namespace glintara {

// What the mouse asked of the sample since the last frame.
struct Steering {
    bool reset = false;                   // back to the middle at zoom 1, before the rest
    std::optional<cv::Point2d> centre{};  // as fractions of the picture
    int zoomSteps = 0;                    // wheel steps, positive closer
};

inline constexpr int kMostZoomSteps = 12;

// The sample after the steering.
Sample steer(const Sample& sample, const Steering& steering);

// The centre under a pointer at pixel (x, y) of a picture of `size`: the fractions whose
// pixel it is, kept inside the picture.
cv::Point2d centreUnder(int x, int y, cv::Size size);

}  // namespace glintara
