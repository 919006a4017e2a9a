// The live program's command line.
#pragma once

#include <string>
#include <variant>

namespace glintara {

struct LiveOptions {
    int camera = 0;  // laptops often have more than one
};
struct LiveHelp {};
struct LiveUsageError {
    std::string message;
};

using LiveCommandLine = std::variant<LiveOptions, LiveHelp, LiveUsageError>;

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv);

// The whole help text, ending in a newline.
const char* liveUsageText();

}  // namespace glintara
