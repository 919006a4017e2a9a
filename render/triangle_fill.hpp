// Filling a triangle into a one-channel mask, with the same pixels on every OpenCV version:
// the rule of cv::fillPoly in OpenCV 4.6 for an 8-connected polygon with integer vertices,
// which later versions changed. Both the plain sequence and the fast renderer fill their
// masks here.
#pragma once

#include <array>

#include <opencv2/core.hpp>

namespace glintara {

// Sets to `value` the pixels of an 8-bit one-channel `mask` that the triangle covers: its
// three edges drawn as 8-connected lines, and every pixel of each row whose centre lies
// between the two edges the row crosses. Vertices may lie outside the mask; what falls
// outside is clipped. Pixels outside the triangle are left as they are.
void fillTriangle(cv::Mat& mask, const std::array<cv::Point, 3>& vertices, uchar value);

}  // namespace glintara
