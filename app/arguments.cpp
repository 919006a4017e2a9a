#include "app/arguments.hpp"

#include <string>
#include <string_view>

namespace glintara {
namespace {

// Video4Linux numbers its devices from 0 to 63.
constexpr int kHighestCamera = 63;

std::optional<UsageError> setCamera(std::string_view value, LiveOptions& options) {
    const std::optional<long long> index = parseWholeNumber(value);
    if (!index || *index < 0 || *index > kHighestCamera) {
        return UsageError{"--camera needs a camera number from 0 to 63, not '" +
                          std::string(value) + "'"};
    }
    options.camera = static_cast<int>(*index);
    return std::nullopt;
}

std::optional<UsageError> setSize(std::string_view value, LiveOptions& options) {
    return readCanvasSide(value, options.size);
}

std::optional<UsageError> takeNoOperands(const std::vector<std::string>& operands, LiveOptions&) {
    if (!operands.empty()) {
        return UsageError{"unexpected operand '" + operands.front() + "'"};
    }
    return std::nullopt;
}

constexpr OptionRule<LiveOptions> kRules[] = {
    {"--camera", "", nullptr, setCamera},
    {"--size", "", nullptr, setSize},
};

}  // namespace

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv) {
    return parseArguments<LiveOptions>(argc, argv, kRules, takeNoOperands);
}

const char* liveUsageText() {
    return "Usage: glintara [--camera INDEX] [--size N]\n"
           "Shows camera INDEX as a turning kaleidoscope.\n"
           "  --camera INDEX  the camera to open, from 0 to 63 (default 0)\n"
           "  --size N        the kaleidoscope's side, a multiple of 8 from 128 to 4096\n"
           "                  (default 640); the camera is asked for N x 3N/4\n"
           "  --help          show this text\n";
}

}  // namespace glintara
