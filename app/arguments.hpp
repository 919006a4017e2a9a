// The live program's command line.
#pragma once

#include <optional>
#include <string>

#include "core/command_line.hpp"
#include "render/sample.hpp"
#include "render/sizes.hpp"

namespace glintara {

struct LiveOptions {
    int camera = 0;                 // laptops often have more than one
    int size = kDefaultCanvasSide;  // the kaleidoscope's side; the camera is asked for N x 3N/4
    Sample sample;                  // where the sample starts
    int speed = 1;                  // degrees a frame
    // Where the kaleidoscope is published as a camera: empty for PipeWire, else a
    // v4l2loopback device's path.
    std::optional<std::string> virtualCamera;
    bool window = true;
    bool fullscreen = false;
    std::string record;         // the kaleidoscope's recording, or empty
    std::string recordCapture;  // the guide picture's recording, or empty
    bool sound = false;         // the default sound input goes into the recordings
};
using LiveCommandLine = CommandLine<LiveOptions>;

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* liveUsageText();

}  // namespace glintara
