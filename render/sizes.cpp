#include "render/sizes.hpp"

#include <algorithm>
#include <cmath>

namespace glintara {

bool isCanvasSide(int side) {
    return side % 8 == 0 && side >= kSmallestCanvasSide && side <= kLargestCanvasSide;
}

Geometry geometryFor(int canvasSide) {
    CV_Assert(isCanvasSide(canvasSide));
    Geometry geometry;
    geometry.canvasSide = canvasSide;
    geometry.frameSize = {canvasSide, canvasSide * 3 / 4};
    geometry.triangleSide = 400.0 * canvasSide / 640.0;
    geometry.squareSide = static_cast<int>(2.0 * geometry.triangleSide / std::sqrt(3.0));
    geometry.tileSide = geometry.squareSide / 3;
    // The blur grows with the picture, so that a large render looks like a sharper small one.
    geometry.blurSide = 2 * (5 * canvasSide / 1280) + 1;
    geometry.outlineThickness = std::max(1, static_cast<int>(2.0 * canvasSide / 640.0 + 0.5));
    return geometry;
}

}  // namespace glintara
