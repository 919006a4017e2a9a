// The kaleidoscope as a PipeWire camera: a node of media class Video/Source named "glintara"
// ("Glintara" to people), offering BGRx (the renderer's own bytes, a fourth byte of 255) and
// I420 (BT.601 in video range, as the encoders and the element take it). A frame that finds
// no reader, or every buffer still with the reader, is left out: the live view never waits.
#pragma once

#include <memory>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

// Connects to the PipeWire daemon and publishes the node for frames of `size`; throws
// std::runtime_error when the daemon cannot be reached or refuses the node.
std::unique_ptr<FrameOutput> openPipewireCamera(cv::Size size);

}  // namespace glintara
