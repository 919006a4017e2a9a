// The live program's command line.
#pragma once

#include "core/command_line.hpp"

namespace glintara {

struct LiveOptions {
    int camera = 0;  // laptops often have more than one
};
using LiveCommandLine = CommandLine<LiveOptions>;

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* liveUsageText();

}  // namespace glintara
