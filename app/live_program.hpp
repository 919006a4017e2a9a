// The live program from its command line: the options read, the camera given, and the
// windows, recordings and virtual camera asked for put together around the frame loop.
#pragma once

#include <functional>
#include <memory>

#include <opencv2/core.hpp>

#include "app/application.hpp"
#include "app/arguments.hpp"
#include "app/platform.hpp"

namespace glintara {

// Opens camera `index`, asking for frames of `frameSize`; throws with a line for the user.
using CameraOpener = std::function<std::unique_ptr<FrameSource>(int index, cv::Size frameSize)>;

// The camera, screen and outputs the options ask for.
Platform livePlatform(const LiveOptions& options, const CameraOpener& openCamera);

// The whole program: 0 when the user ended it, 1 on a failure, 2 on a usage mistake.
int runLiveProgram(int argc, const char* const* argv, const CameraOpener& openCamera);

}  // namespace glintara
