// The live program's command line.
#pragma once

#include "core/command_line.hpp"
#include "render/sizes.hpp"

namespace glintara {

struct LiveOptions {
    int camera = 0;                 // laptops often have more than one
    int size = kDefaultCanvasSide;  // the kaleidoscope's side; the camera is asked for N x 3N/4
};
using LiveCommandLine = CommandLine<LiveOptions>;

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* liveUsageText();

}  // namespace glintara
