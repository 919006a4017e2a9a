// One kaleidoscope frame: the guide outline on the camera frame and 25 masked copies of the
// tile, in six states, laid out as a triangular tiling around the canvas centre.
#pragma once

#include <opencv2/core.hpp>

#include "render/placement_table.hpp"
#include "render/render_state.hpp"

namespace glintara {

// Brightens the square, draws the guide outline on the frame over `cut`, rebuilds both masks
// and composes the canvas. squareImage must hold the sample taken from frameImage's `cut`
// before the outline is drawn; `state` is the renderer's own and is handed back every frame.
void renderKaleidoscope(RenderState& state, cv::Mat& frameImage, cv::Mat& squareImage,
                        cv::Mat& outputImage, double angle, cv::Rect cut);

}  // namespace glintara
