#include "render/sample.hpp"

#include <algorithm>

namespace glintara {

namespace {

// A value kept within its range; one that is not a number (a plugin host can hand one over)
// is taken as `fallback`.
double within(double value, double least, double most, double fallback) {
    return value >= least && value <= most
               ? value
               : (value > most ? most : (value < least ? least : fallback));
}

}  // namespace

cv::Rect sampleCut(cv::Size frame, int squareSide, const Sample& sample) {
    const double zoom = within(sample.zoom, kLeastZoom, kMostZoom, kLeastZoom);
    const int side =
        std::min(squareSide, std::max(kLeastSampleSide, static_cast<int>(squareSide / zoom)));
    const int centreX = static_cast<int>(within(sample.centerX, 0.0, 1.0, 0.5) * frame.width);
    const int centreY = static_cast<int>(within(sample.centerY, 0.0, 1.0, 0.5) * frame.height);
    const int x = std::clamp(centreX - side / 2, 0, frame.width - side);
    const int y = std::clamp(centreY - side / 2, 0, frame.height - side);
    return {x, y, side, side};
}

}  // namespace glintara
