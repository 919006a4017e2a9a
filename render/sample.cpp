#include "render/sample.hpp"

#include <algorithm>

namespace glintara {

cv::Rect sampleCut(cv::Size frame, int squareSide, const Sample& sample) {
    const int side = std::max(kLeastSampleSide, static_cast<int>(squareSide / sample.zoom));
    const int centreX = static_cast<int>(sample.centerX * frame.width);
    const int centreY = static_cast<int>(sample.centerY * frame.height);
    const int x = std::clamp(centreX - side / 2, 0, frame.width - side);
    const int y = std::clamp(centreY - side / 2, 0, frame.height - side);
    return {x, y, side, side};
}

}  // namespace glintara
