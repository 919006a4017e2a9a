#include "render-tool/options.hpp"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <string_view>
#include <vector>

namespace glintara::tool {
namespace {

// Any whole number of degrees, brought into 0..359 (-30 is 330).
int normalisedAngle(long long degrees) {
    return static_cast<int>(((degrees % 360) + 360) % 360);
}

std::optional<UsageError> setAngle(std::string_view value, Options& options) {
    const auto degrees = parseWholeNumber(value);
    if (!degrees) {
        return UsageError{"--angle takes a whole number of degrees, not '" + std::string(value) +
                          "'"};
    }
    options.angle = normalisedAngle(*degrees);
    return std::nullopt;
}

std::optional<UsageError> setCapture(std::string_view value, Options& options) {
    if (value.empty()) {
        return UsageError{"--capture needs a file name"};
    }
    options.capturePath = std::string(value);
    return std::nullopt;
}

std::optional<UsageError> setFrameLimit(std::string_view value, Options& options) {
    const auto count = parseWholeNumber(value);
    if (!count || *count < 1) {
        return UsageError{"--frames takes a whole number of at least 1, not '" +
                          std::string(value) + "'"};
    }
    options.frameLimit = *count;
    return std::nullopt;
}

// A frame rate as written, kept exact: "12.5" is 25/2 and "29.97" is 2997/100.
std::optional<Ratio> parseRate(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digitsOnly = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 4 || fraction.size() > 4 || !digitsOnly(whole) ||
        !digitsOnly(fraction) || (point != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    int num = 0;
    int den = 1;
    for (const char digit : std::string(whole) + std::string(fraction)) {
        num = num * 10 + (digit - '0');
    }
    for (std::size_t i = 0; i < fraction.size(); ++i) {
        den *= 10;
    }
    if (num == 0) {
        return std::nullopt;
    }
    const int common = std::gcd(num, den);
    return Ratio{num / common, den / common};
}

std::optional<UsageError> setFrameRate(std::string_view value, Options& options) {
    const std::optional<Ratio> rate = parseRate(value);
    if (!rate || rate->value() > 1000.0) {
        return UsageError{
            "--fps takes a frame rate above 0 and up to 1000, such as 30 or 29.97, not '" +
            std::string(value) + "'"};
    }
    options.framesPerSecond = rate;
    return std::nullopt;
}

std::optional<UsageError> setSize(std::string_view value, Options& options) {
    return readCanvasSide(value, options.size);
}

void setQuiet(Options& options) {
    options.quiet = true;
}

// INPUT and OUTPUT, in that order.
std::optional<UsageError> takeOperands(const std::vector<std::string>& operands, Options& options) {
    if (operands.size() < 2) {
        return UsageError{operands.empty() ? "missing INPUT and OUTPUT" : "missing OUTPUT"};
    }
    if (operands.size() > 2) {
        return UsageError{"unexpected operand '" + operands[2] + "'"};
    }
    options.inputPath = operands[0];
    options.outputPath = operands[1];
    return std::nullopt;
}

constexpr OptionRule<Options> kRules[] = {
    {"--angle", "", nullptr, setAngle},
    {"--capture", "", nullptr, setCapture},
    {"--frames", "", nullptr, setFrameLimit},
    {"--fps", "", nullptr, setFrameRate},
    {"--size", "", nullptr, setSize},
    {"--quiet", "-q", setQuiet, nullptr},
    {"--center", "", nullptr, setSampleCenter<Options>},
    {"--zoom", "", nullptr, setSampleZoom<Options>},
    {"--speed", "", nullptr, setTurnSpeed<Options>},
};

}  // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const* argv) {
    return parseArguments<Options>(argc, argv, kRules, takeOperands);
}

const char* usageText() {
    return "Usage: glintara-render [--angle DEG] [--speed D] [--center X,Y] [--zoom Z] [--size N]\n"
           "                       [--capture FILE] [--frames N] [--fps F] [--quiet] INPUT OUTPUT\n"
           "Renders the Glintara kaleidoscope of a still image or a video file.\n"
           "\n"
           "  INPUT           a still image or a video; which it is is read from its content\n"
           "  OUTPUT          the NxN kaleidoscope (640x640), in the format of its extension:\n"
           "                    .png .jpg .tif ...    a still image, from a still INPUT\n"
           "                    .mp4 .m4v .mov        H.264, the sound copied or made AAC\n"
           "                    .mkv                  H.264, the sound copied or made AAC\n"
           "                    .webm                 VP9, the sound copied or made Opus\n"
           "                    .avi                  MJPG, the sound copied where it fits\n"
           "                    .webp                 animated WebP that loops forever\n"
           "                    NAME-%04d.png (.jpg, .tif)  each frame of a video as a numbered\n"
           "                                          still, from 0001\n"
           "                  a still INPUT with a video or .webp OUTPUT becomes one whole turn,\n"
           "                  360 / gcd(360, D) frames that loop without a seam\n"
           "  --angle DEG     the turn of the sampling triangle in whole degrees (default 0);\n"
           "                  frame n of a video is rendered at DEG + n D\n"
           "  --speed D       degrees the triangle turns per frame, -359 to 359 (default 1;\n"
           "                  negative turns the other way, 0 holds it)\n"
           "  --center X,Y    where the triangle samples, as fractions of the picture\n"
           "                  (default 0.5,0.5, the middle)\n"
           "  --zoom Z        how closely it samples, from 1 to 8 (default 1)\n"
           "  --size N        the canvas side: a multiple of 8 from 128 to 4096 (default 640)\n"
           "  --capture FILE  also write the N x 3N/4 picture with the red guide triangle\n"
           "  --frames N      stop a video after N frames\n"
           "  --fps F         the frame rate of the turn made from a still (default 30)\n"
           "  --quiet         no progress or summary on stderr\n"
           "  --help          show this help\n"
           "\n"
           "Exit status: 0 done, 1 failed, 2 usage mistake, 129 hung up, 130 interrupted,\n"
           "143 terminated.\n";
}

}  // namespace glintara::tool
