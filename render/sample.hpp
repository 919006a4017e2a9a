// What the kaleidoscope samples: a square of the prepared frame around a chosen centre, the
// smaller the closer the zoom, grown back to the square side the renderer works at. At the
// defaults (the middle, zoom 1) it is the centred square of the square side.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

inline constexpr double kLeastZoom = 1.0;
inline constexpr double kMostZoom = 8.0;
// The smallest square sampled, however close the zoom.
inline constexpr int kLeastSampleSide = 8;

struct Sample {
    double centerX = 0.5;  // fractions of the frame's width and height, 0 to 1
    double centerY = 0.5;
    double zoom = kLeastZoom;  // 1 to 8

    bool operator==(const Sample&) const = default;
};

// The Q x Q part of a `frame`-sized picture the sample takes, Q = max(8, (int)(S / zoom)):
// centred on the pixel (int(X W), int(Y H)) less Q/2 (halves truncated), moved just far enough
// to lie inside the frame. Values out of range are taken at its nearest end, and any that is
// not a number as its default.
cv::Rect sampleCut(cv::Size frame, int squareSide, const Sample& sample);

}  // namespace glintara
