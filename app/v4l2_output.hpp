// The kaleidoscope written to a v4l2loopback device, the camera that video-call programs and
// browsers open without flags: each frame in the format the device took, YUYV or I420
// (BT.601, video range, as the encoders are given).
#pragma once

#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

// Opens `path` and sets its format for frames of `size`; throws std::runtime_error naming
// the path when it is not a V4L2 video output device or takes neither format.
std::unique_ptr<FrameOutput> openV4l2Output(const std::string& path, cv::Size size);

}  // namespace glintara
