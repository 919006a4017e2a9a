#include "render-tool/input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <opencv2/imgcodecs.hpp>

#include "render-tool/image_codecs.hpp"
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

cv::Mat readStill(const std::string& path, ImageCodecs& codecs) {
    QuietStderr quiet;
    // Any depth and colour layout: they are prepared as a camera frame would be.
    cv::Mat picture = codecs.read(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    const std::string decoderSaid = quiet.finish();
    // libjpeg hands back a cut-off picture padded with grey and only warns.
    if (picture.empty() || mentions(decoderSaid, "premature end")) {
        throw fileError(path, "is a damaged or truncated image");
    }
    return picture;
}

}  // namespace

Input Input::open(const std::string& path, ImageCodecs& codecs) {
    checkReadableFile(path);
    Input input;
    input.path_ = path;
    {
        QuietStderr quiet(QuietStderr::Keep::Nothing);
        input.video_ = VideoFileInput::open(path);
    }
    // FFmpeg opens pictures too, as one-frame videos; those, and whatever it cannot open,
    // go to the image codecs first. A video container never needs them.
    if ((!input.video_ || input.video_->isPictureFile()) && codecs.haveReader(path)) {
        input.video_.reset();
        input.still_ = readStill(path, codecs);
        return input;
    }
    if (!input.video_) {
        throw fileError(path, "is not an image or a video that can be read");
    }
    // Containers open readily (FFmpeg takes any file named .png as a picture sequence), so a
    // video is only a video once a frame decodes.
    QuietStderr quiet(QuietStderr::Keep::Nothing);
    if (!input.video_->readFrame(input.firstFrame_, input.firstTime_)) {
        throw fileError(path, "is not an image or a video with a decodable frame");
    }
    return input;
}

void Input::readStillAsTurn(Ratio framesPerSecond, const cv::Mat& picture) {
    stillRate_ = framesPerSecond;
    still_ = picture;
}

Ratio Input::timeBase() const {
    return video_ ? video_->timeBase() : Ratio{stillRate_.den, stillRate_.num};
}

Ratio Input::frameRate() const {
    if (!video_) {
        return stillRate_;
    }
    const Ratio stated = video_->frameRate();
    return stated.num > 0 ? stated : kDefaultFrameRate;
}

std::optional<long long> Input::frameCount() const {
    return video_ ? video_->frameCount() : std::optional<long long>(kFramesPerTurn);
}

bool Input::readFrame(cv::Mat& frame, std::int64_t& time) {
    if (!video_) {
        if (framesRead_ == kFramesPerTurn) {
            return false;
        }
        // A copy: the frame is the reader's to keep and draw on.
        still_.copyTo(frame);
        time = framesRead_++;
        return true;
    }
    if (framesRead_ == 0) {
        frame = std::move(firstFrame_);
        time = firstTime_;
    } else {
        QuietStderr quiet(QuietStderr::Keep::Nothing);
        if (!video_->readFrame(frame, time)) {
            return false;
        }
    }
    ++framesRead_;
    return true;
}

std::unique_ptr<AudioFileInput> Input::openAudio() const {
    if (!video_) {
        return nullptr;
    }
    QuietStderr quiet(QuietStderr::Keep::Nothing);
    return AudioFileInput::open(path_);
}

}  // namespace glintara::tool
