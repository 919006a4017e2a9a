#include "app/arguments.hpp"

#include <charconv>
#include <string>
#include <string_view>

namespace glintara {
namespace {

// Video4Linux numbers its devices from 0 to 63.
constexpr int kHighestCamera = 63;

bool readCameraIndex(std::string_view text, int& index) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, index);
    return error == std::errc() && stop == end && index >= 0 && index <= kHighestCamera;
}

}  // namespace

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv) {
    LiveOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return HelpRequested{};
        }
        if (argument != "--camera") {
            return UsageError{"unknown argument " + std::string(argument)};
        }
        if (i + 1 == argc || !readCameraIndex(argv[i + 1], options.camera)) {
            return UsageError{"--camera needs a camera number from 0 to 63"};
        }
        ++i;
    }
    return options;
}

const char* liveUsageText() {
    return "Usage: glintara [--camera INDEX]\n"
           "Shows camera INDEX as a turning kaleidoscope.\n"
           "  --camera INDEX  the camera to open, from 0 to 63 (default 0)\n"
           "  --help          show this text\n";
}

}  // namespace glintara
