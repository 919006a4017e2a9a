#include "render-tool/input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <opencv2/imgcodecs.hpp>

#include "core/interruption.hpp"
#include "core/library_log.hpp"
#include "core/user_error.hpp"
#include "render-tool/image_codecs.hpp"
#include "render-tool/quiet_stderr.hpp"

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

// Any depth and colour layout: they are prepared as a camera frame would be.
constexpr int kStillFlags = cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR;

// A regular file is read by name, as OpenCV reads it; a pipe's content is decoded from the
// bytes already taken from it and the rest. A picture too large for the codecs' safety
// limit, or data they reject, is named as such.
cv::Mat decodeStill(media::InputFile& file, ImageCodecs& codecs) {
    try {
        return file.seekable() ? codecs.read(file.path(), kStillFlags)
                               : codecs.decode(file.wholeContent(), kStillFlags);
    } catch (const cv::Exception& error) {
        if (mentions(error.err, "max_image")) {
            throw fileError(file.path(), "is a picture too large to read");
        }
        throw fileError(file.path(), "is a damaged image");
    }
}

// An animated WebP (a RIFF file of WebP's extended kind with its animation flag set), which
// OpenCV's WebP reader does not read.
bool isAnimatedWebp(const std::vector<unsigned char>& head) {
    const auto holds = [&](std::size_t at, std::string_view text) {
        return head.size() >= at + text.size() &&
               std::equal(text.begin(), text.end(), head.begin() + static_cast<long>(at));
    };
    constexpr std::size_t kFlags = 20;
    constexpr unsigned char kAnimation = 0x02;
    return holds(0, "RIFF") && holds(8, "WEBPVP8X") && head.size() > kFlags &&
           (head[kFlags] & kAnimation) != 0;
}

// Why a picture the codecs refused cannot be read, from its first bytes and what they said.
std::string whyUnreadable(const std::vector<unsigned char>& head, const std::string& decoderSaid) {
    if (isAnimatedWebp(head)) {
        return "is an animated WebP, which is not read (a still WebP is)";
    }
    if (mentions(decoderSaid, "unsupported number of channels")) {
        return "is a picture with more colour channels than the four that can be read (CMYK "
               "with transparency, say)";
    }
    return "is a damaged or truncated image";
}

cv::Mat readStill(media::InputFile& file, ImageCodecs& codecs) {
    constexpr std::size_t kHeadBytes = 32;
    const std::vector<unsigned char> head = file.firstBytes(kHeadBytes);
    std::string decoderSaid;
    cv::Mat picture;
    {
        QuietStderr quiet;
        const LibraryErrorsHeard heard;
        picture = decodeStill(file, codecs);
        decoderSaid = quiet.finish();
    }
    // libjpeg hands back a cut-off picture padded with grey and only warns.
    if (picture.empty() || mentions(decoderSaid, "premature end")) {
        throw fileError(file.path(), whyUnreadable(head, decoderSaid));
    }
    return picture;
}

}  // namespace

Input Input::open(const std::string& path, ImageCodecs& codecs) {
    checkReadableFile(path);
    Input input;
    input.path_ = path;
    input.file_ = std::make_unique<media::InputFile>(path);
    media::VideoFileInput::Opened opened = media::VideoFileInput::open(*input.file_);
    input.video_ = std::move(opened.video);
    if (input.video_ && input.readsAsVideo()) {
        input.file_->keepNoMore();
        return input;
    }
    if (opened.soundOnly) {
        throw fileError(path, "holds sound but no video to render (a cover picture is not one)");
    }
    // A single picture, or what FFmpeg cannot open, goes to the image codecs; a pipe's
    // content is for them to judge.
    if (!input.file_->seekable() || codecs.haveReader(path)) {
        // FFmpeg's hold on the picture's bytes goes before the codecs decode it.
        input.video_.reset();
        input.readAhead_.clear();
        input.still_ = readStill(*input.file_, codecs);
        return input;
    }
    if (!input.video_ || !input.readFirstFrame()) {
        throw fileError(path, "is not an image or a video that can be read");
    }
    return input;  // a picture only FFmpeg reads, as a one-frame video
}

bool Input::readsAsVideo() {
    // A file FFmpeg takes for a picture is a video only when it holds more than one, told by
    // its packets: a still is decoded once, by the image codecs, however large it is.
    if (video_->isPictureFile()) {
        return !video_->isAnimatedPng() && video_->holdsMoreThanOnePicture();
    }
    // Containers open readily (FFmpeg takes any file named .png as a picture sequence), so a
    // video is only a video once a frame decodes.
    if (!readFirstFrame()) {
        if (video_->isQuickTime() && !file_->seekable()) {
            throw fileError(path_,
                            "is an MP4 or QuickTime file with its index at the end, which "
                            "cannot be read from a pipe: give it as a file");
        }
        throw fileError(path_, "is not an image or a video with a decodable frame");
    }
    return true;
}

bool Input::readFirstFrame() {
    TimedFrame first;
    if (!video_->readFrame(first.picture, first.time)) {
        return false;
    }
    readAhead_.push_back(std::move(first));
    return true;
}

void Input::readStillAsTurn(Ratio framesPerSecond, const cv::Mat& picture, long long frames) {
    stillRate_ = framesPerSecond;
    still_ = picture;
    turnFrames_ = frames;
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
    return video_ ? video_->frameCount() : std::optional<long long>(turnFrames_);
}

bool Input::readFrame(cv::Mat& frame, std::int64_t& time) {
    if (!video_) {
        if (framesRead_ == turnFrames_) {
            return false;
        }
        // A copy: the frame is the reader's to keep and draw on.
        still_.copyTo(frame);
        time = framesRead_++;
        return true;
    }
    if (!readAhead_.empty()) {
        frame = std::move(readAhead_.front().picture);
        time = readAhead_.front().time;
        readAhead_.pop_front();
    } else if (!video_->readFrame(frame, time)) {
        return false;
    }
    ++framesRead_;
    return true;
}

}  // namespace glintara::tool
