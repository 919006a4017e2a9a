// The camera edge: a FrameSource over the machine's camera.
#pragma once

#include <memory>

#include <opencv2/core.hpp>

#include "app/platform.hpp"

namespace glintara {

// Opens the camera and asks it for frames of the given size (which it may ignore); throws
// std::runtime_error when no camera opens.
std::unique_ptr<FrameSource> openCamera(int index, cv::Size frameSize);

}  // namespace glintara
