// The command line of glintara-render.
#pragma once

#include <optional>
#include <string>

#include "core/command_line.hpp"
#include "core/ratio.hpp"
#include "render/sample.hpp"
#include "render/sizes.hpp"

namespace glintara::tool {

struct Options {
    int angle = 0;                  // 0..359
    int speed = 1;                  // degrees per frame, -359..359
    Sample sample;                  // where the kaleidoscope samples the frame
    int size = kDefaultCanvasSide;  // the canvas side; the capture is size x 3 size / 4
    std::optional<std::string> capturePath;
    std::optional<long long> frameLimit;
    std::optional<Ratio> framesPerSecond;  // of the turn a still image becomes
    bool quiet = false;
    std::string inputPath;
    std::string outputPath;
};

using ParsedCommandLine = CommandLine<Options>;

ParsedCommandLine parseCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* usageText();

}  // namespace glintara::tool
