// The command line of glintara-render.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "render-tool/ratio.hpp"

namespace glintara::tool {

struct Options {
    int angle = 0;  // 0..359
    std::optional<std::string> capturePath;
    std::optional<long long> frameLimit;
    std::optional<Ratio> framesPerSecond;  // of the turn a still image becomes
    bool quiet = false;
    std::string inputPath;
    std::string outputPath;
};

struct HelpRequested {};
struct UsageError {
    std::string message;
};

using ParsedCommandLine = std::variant<Options, HelpRequested, UsageError>;

ParsedCommandLine parseCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* usageText();

}  // namespace glintara::tool
