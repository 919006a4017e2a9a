#include "app/arguments.hpp"

#include <string>
#include <string_view>

#include "media/containers.hpp"

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

std::optional<UsageError> setVirtualCamera(std::string_view value, LiveOptions& options) {
    options.virtualCamera = std::string(value);
    return std::nullopt;
}

std::optional<UsageError> readRecording(std::string_view option, std::string_view value,
                                        std::string& file) {
    if (!media::isVideoFormat(std::string(value))) {
        return UsageError{std::string(option) +
                          " takes a video file (.mp4, .m4v, .mov, .mkv, .webm or .avi), not '" +
                          std::string(value) + "'"};
    }
    file = value;
    return std::nullopt;
}

std::optional<UsageError> setRecord(std::string_view value, LiveOptions& options) {
    return readRecording("--record", value, options.record);
}

std::optional<UsageError> setRecordCapture(std::string_view value, LiveOptions& options) {
    return readRecording("--record-capture", value, options.recordCapture);
}

void setNoWindow(LiveOptions& options) {
    options.window = false;
}

void setFullscreen(LiveOptions& options) {
    options.fullscreen = true;
}

void setSound(LiveOptions& options) {
    options.sound = true;
}

bool recording(const LiveOptions& options) {
    return !options.record.empty() || !options.recordCapture.empty();
}

// The options that only make sense together.
std::optional<UsageError> checkTogether(const LiveOptions& options) {
    if (!options.window && !options.virtualCamera && !recording(options)) {
        return UsageError{"--no-window needs --virtual-camera or --record"};
    }
    if (!options.window && options.fullscreen) {
        return UsageError{"--fullscreen needs a window, and --no-window asks for none"};
    }
    if (options.sound && !recording(options)) {
        return UsageError{"--sound needs --record or --record-capture"};
    }
    if (!options.record.empty() && options.record == options.recordCapture) {
        return UsageError{"--record and --record-capture name the same file '" + options.record +
                          "'"};
    }
    return std::nullopt;
}

std::optional<UsageError> takeNoOperands(const std::vector<std::string>& operands,
                                         LiveOptions& options) {
    if (!operands.empty()) {
        return UsageError{"unexpected operand '" + operands.front() + "'"};
    }
    return checkTogether(options);
}

constexpr OptionRule<LiveOptions> kRules[] = {
    {"--camera", "", nullptr, setCamera},
    {"--size", "", nullptr, setSize},
    {"--virtual-camera", "", nullptr, setVirtualCamera, true},
    {"--no-window", "", setNoWindow},
    {"--fullscreen", "", setFullscreen},
    {"--record", "", nullptr, setRecord},
    {"--record-capture", "", nullptr, setRecordCapture},
    {"--sound", "", setSound},
    {"--center", "", nullptr, setSampleCenter<LiveOptions>},
    {"--zoom", "", nullptr, setSampleZoom<LiveOptions>},
    {"--speed", "", nullptr, setTurnSpeed<LiveOptions>},
};

}  // namespace

LiveCommandLine parseLiveCommandLine(int argc, const char* const* argv) {
    return parseArguments<LiveOptions>(argc, argv, kRules, takeNoOperands);
}

const char* liveUsageText() {
    return "Usage: glintara [--camera INDEX] [--size N] [--center X,Y] [--zoom Z] [--speed D]\n"
           "                [--fullscreen | --no-window]\n"
           "                [--virtual-camera [DEVICE]] [--record FILE] [--record-capture FILE]\n"
           "                [--sound]\n"
           "Shows camera INDEX as a turning kaleidoscope.\n"
           "  --camera INDEX         the camera to open, from 0 to 63 (default 0)\n"
           "  --size N               the kaleidoscope's side, a multiple of 8 from 128 to 4096\n"
           "                         (default 640); the camera is asked for N x 3N/4\n"
           "  --center X,Y           where the triangle starts sampling, as fractions of the\n"
           "                         picture (default 0.5,0.5, the middle)\n"
           "  --zoom Z               how closely it samples, from 1 to 8 (default 1)\n"
           "  --speed D              degrees it turns a frame, -359 to 359 (default 1)\n"
           "  --fullscreen           the kaleidoscope fills the screen (a double click on it\n"
           "                         toggles full screen)\n"
           "  --no-window            no window: for --virtual-camera or --record alone\n"
           "  --virtual-camera       publish the kaleidoscope as the PipeWire camera \"Glintara\"\n"
           "  --virtual-camera DEVICE  or write it to a v4l2loopback device (/dev/videoN)\n"
           "  --record FILE          record the kaleidoscope as shown (.mp4, .m4v, .mov, .mkv,\n"
           "                         .webm or .avi); FILE appears when the program ends\n"
           "  --record-capture FILE  record the camera picture with its guide triangle\n"
           "  --sound                record the default sound input too\n"
           "  --help                 show this text\n"
           "Keys: S or s stops and restarts the turning; any other key quits.\n"
           "Mouse, in the Capture window: press or drag the left button to sample there, turn\n"
           "the wheel to zoom, click the right button to go back to the middle at zoom 1.\n";
}

}  // namespace glintara
