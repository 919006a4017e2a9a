// The image workspace: every image a frame is drawn in, created once and reused.
#pragma once

#include <opencv2/core.hpp>

#include "render/render_state.hpp"
#include "render/sizes.hpp"

namespace glintara {

struct ImageWorkspace {
    cv::Mat outputImage;   // NxN BGR: the kaleidoscope canvas
    cv::Mat frameImage;    // N x 3N/4 BGR: the camera frame, then the guide outline on it
    cv::Mat squareImage;   // SxS BGR: the sample cut from the frame, brightened in place
    cv::Rect squareCut;    // where squareImage is cut from frameImage (the centred square
                           // unless the sample is steered)
    RenderState renderer;  // the renderer's own images and tables
};

// Allocates the images for a canvas side N (not cleared: each is fully written before it
// is read) and the renderer's state.
ImageWorkspace createWorkspace(int canvasSide = kDefaultCanvasSide);

// The centred square of the given side in a frame of the given size, halves truncated.
cv::Rect centredSquare(cv::Size frame, int side);

// Renders the loaded frame at an angle: the guide outline onto frameImage, the kaleidoscope
// into outputImage.
void renderFrame(ImageWorkspace& workspace, double angle);

}  // namespace glintara
