#include "render-tool/input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>

#include <opencv2/imgcodecs.hpp>

#include "render-tool/quiet_stderr.hpp"
#include "render-tool/tool_error.hpp"

namespace glintara::tool {
namespace {

void checkReadableFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        throw fileError(path, errno == ENOENT ? "no such file" : std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        throw fileError(path, "is a directory, not an image or a video");
    }
    if (S_ISREG(info.st_mode) && info.st_size == 0) {
        throw fileError(path, "is empty");
    }
    if (access(path.c_str(), R_OK) != 0) {
        throw fileError(path, "cannot be read: " + std::string(std::strerror(errno)));
    }
}

// Whether the text holds the lower-case words, in any case.
bool mentions(const std::string& text, std::string_view words) {
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    };
    return std::search(text.begin(), text.end(), words.begin(), words.end(), sameLetter) !=
           text.end();
}

cv::Mat readStill(const std::string& path) {
    QuietStderr quiet;
    // Any depth and colour layout: they are prepared as a camera frame would be.
    cv::Mat picture = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    const std::string decoderSaid = quiet.finish();
    // libjpeg hands back a cut-off picture padded with grey and only warns.
    if (picture.empty() || mentions(decoderSaid, "premature end")) {
        throw fileError(path, "is a damaged or truncated image");
    }
    return picture;
}

}  // namespace

Input Input::open(const std::string& path) {
    checkReadableFile(path);
    Input input;
    input.path_ = path;
    if (cv::haveImageReader(path)) {
        input.still_ = readStill(path);
        return input;
    }

    QuietStderr quiet(QuietStderr::Keep::Nothing);
    // FFmpeg alone: the generic backends would take a name with '%' as an image sequence.
    if (!input.video_.open(path, cv::CAP_FFMPEG)) {
        throw fileError(path, "is not an image or a video that can be read");
    }
    // Containers open readily (FFmpeg takes any file named .png as a picture sequence), so a
    // video is only a video once a frame decodes.
    if (!input.video_.read(input.firstFrame_) || input.firstFrame_.empty()) {
        throw fileError(path, "is not an image or a video with a decodable frame");
    }
    const double fps = input.video_.get(cv::CAP_PROP_FPS);
    if (std::isfinite(fps) && fps > 0.0) {
        input.framesPerSecond_ = fps;
    }
    const double count = input.video_.get(cv::CAP_PROP_FRAME_COUNT);
    if (std::isfinite(count) && count >= 1.0) {
        input.frameCount_ = static_cast<long long>(count);
    }
    return input;
}

bool Input::readFrame(cv::Mat& frame) {
    if (framesRead_ == 0) {
        frame = firstFrame_;
    } else {
        QuietStderr quiet(QuietStderr::Keep::Nothing);
        if (!video_.read(frame) || frame.empty()) {
            return false;
        }
    }
    ++framesRead_;
    return true;
}

}  // namespace glintara::tool
