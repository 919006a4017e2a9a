// The image workspace: every image a frame is drawn in, created once and reused.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// The frame size asked of the camera; every frame is brought to it before use.
inline constexpr int kFrameWidth = 640;
inline constexpr int kFrameHeight = 480;
// The kaleidoscope canvas.
inline constexpr int kCanvasSide = 640;

// The side of the sampled square: the diameter of the circle around the 400-pixel guide
// triangle (800 / sqrt 3 = 461.88...), truncated.
int squareSide();
// A third of the square side, in integer division (153, two pixels short of an exact third).
int tileSide();

struct ImageWorkspace {
    cv::Mat outputImage;  // 640x640 BGR: the kaleidoscope canvas
    cv::Mat frameImage;   // 640x480 BGR: the camera frame, then the guide outline on it
    cv::Mat squareImage;  // SxS BGR: the centred square cut from the frame, brightened in place
    cv::Mat tileImage;    // TxT BGR: the tile that is transformed, blurred and laid out
    cv::Mat maskUp;       // TxT grey: the filled point-up triangle
    cv::Mat maskDown;     // TxT grey: the filled point-down triangle
    cv::Mat warpImage;    // SxS BGR: destination of every turn
    cv::Mat flipImage;    // SxS BGR: destination of the flip of a mirrored tile
    cv::Rect squareCut;   // where squareImage is cut from frameImage
};

// Allocates the eight images (not cleared: each is fully written before it is read).
ImageWorkspace createWorkspace();

// The centred square of the given side in a frame of the given size, halves truncated.
cv::Rect centredSquare(cv::Size frame, int side);

}  // namespace glintara
