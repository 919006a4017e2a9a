// The kaleidoscope published as a camera other programs can open: a PipeWire video source,
// or a v4l2loopback device.
#pragma once

#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

// A PipeWire camera named "Glintara" for an empty `device`, else the v4l2loopback device at
// that path, for frames of `size`. Throws std::runtime_error with a line naming what is
// missing: the PipeWire daemon, or a video output device at the path.
std::unique_ptr<FrameOutput> openVirtualCamera(const std::string& device, cv::Size size);

}  // namespace glintara
