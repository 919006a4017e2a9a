#include "app/arguments.hpp"

#include <charconv>
#include <string>
#include <string_view>

namespace glintara {
namespace {

// Video4Linux numbers its devices from 0 to 63.
constexpr int kHighestCamera = 63;

bool readWhole(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

bool readCameraIndex(std::string_view text, int& index) {
    return readWhole(text, index) && index >= 0 && index <= kHighestCamera;
}

bool readCanvasSide(std::string_view text, int& side) {
    return readWhole(text, side) && isCanvasSide(side);
}

}  // namespace

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv) {
    LiveOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return HelpRequested{};
        }
        if (argument == "--camera") {
            if (i + 1 == argc || !readCameraIndex(argv[i + 1], options.camera)) {
                return UsageError{"--camera needs a camera number from 0 to 63"};
            }
        } else if (argument == "--size") {
            if (i + 1 == argc || !readCanvasSide(argv[i + 1], options.size)) {
                return UsageError{"--size needs a multiple of 8 from 128 to 4096, such as 1080"};
            }
        } else {
            return UsageError{"unknown argument " + std::string(argument)};
        }
        ++i;
    }
    return options;
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
