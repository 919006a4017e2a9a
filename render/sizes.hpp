// Every length of the picture, following from one number: the side N of the square canvas.
// At the usual 640 each is the program's classic size.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

inline constexpr int kDefaultCanvasSide = 640;
inline constexpr int kSmallestCanvasSide = 128;
inline constexpr int kLargestCanvasSide = 4096;

// Whether N is a canvas side the renderer serves: a multiple of 8 from 128 to 4096.
bool isCanvasSide(int side);

struct Geometry {
    int canvasSide = 0;        // N
    cv::Size frameSize;        // N x 3N/4: what every picture is prepared to
    double triangleSide{};     // L = 400 N / 640, the guide triangle's side
    int squareSide = 0;        // (int)(2L / sqrt 3): the circle around the triangle (461 at 640)
    int tileSide = 0;          // a third of the square, in integer division (153 at 640)
    int blurSide = 0;          // the box blur: 2 (5N / 1280) + 1 (5 at 640, 9 at 1080, 17 at 2160)
    int outlineThickness = 0;  // of the red guide: max(1, (int)(2N / 640 + 0.5))

    cv::Size canvasSize() const { return {canvasSide, canvasSide}; }
    int blurReach() const { return blurSide / 2; }
};

// The geometry of a canvas side that isCanvasSide accepts.
Geometry geometryFor(int canvasSide);

}  // namespace glintara
