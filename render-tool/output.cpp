#include "render-tool/output.hpp"

#include <vector>

#include "core/user_error.hpp"
#include "media/extension.hpp"

namespace glintara::tool {
namespace {

std::string describeExtension(const std::string& path) {
    const std::string extension = media::lowerExtension(path);
    return extension.empty() ? "a name without an extension" : "the extension " + extension;
}

std::vector<unsigned char> encode(const std::string& path, const cv::Mat& picture,
                                  ImageCodecs& codecs) {
    std::vector<unsigned char> bytes;
    bool encoded = false;
    try {
        encoded = codecs.encode(media::lowerExtension(path), picture, bytes);
    } catch (const cv::Exception&) {
        encoded = false;
    }
    if (!encoded || bytes.empty()) {
        throw fileError(path, "the picture could not be encoded");
    }
    return bytes;
}

}  // namespace

void checkImageFormat(const std::string& path, ImageCodecs& codecs) {
    if (media::lowerExtension(path).empty() || !codecs.haveWriter(path)) {
        throw fileError(path, "no image format has " + describeExtension(path));
    }
}

StillOutput::StillOutput(const std::string& path, const cv::Mat& picture, ImageCodecs& codecs)
    : file_(path) {
    file_.write(encode(path, picture, codecs));
}

namespace {

bool isWebp(const std::string& path) {
    return media::lowerExtension(path) == ".webp";
}

// The extension is checked first, so that a wrong one leaves no temporary file behind.
PendingFile checkedVideoFile(const std::string& path) {
    if (!isVideoOutput(path)) {
        throw fileError(path, "no video format has " + describeExtension(path));
    }
    return PendingFile(path);
}

}  // namespace

bool isVideoOutput(const std::string& path) {
    return media::isVideoFormat(path) || isWebp(path);
}

VideoOutput::VideoOutput(const std::string& path, const media::VideoStreamFormat& format,
                         media::AudioFileInput* audio)
    : file_(checkedVideoFile(path)) {
    if (isWebp(path)) {
        // WebP holds no sound.
        if (audio != nullptr) {
            audio->leaveOutAll();
        }
        webp_ =
            std::make_unique<WebpAnimation>(path, format.size, format.timeBase, format.frameRate);
    } else {
        video_ =
            std::make_unique<media::VideoFileOutput>(path, file_.temporaryPath(), format, audio);
    }
}

const std::string& VideoOutput::audioNote() const {
    return video_ ? video_->audioNote() : noAudioNote_;
}

void VideoOutput::write(const cv::Mat& frame, std::int64_t time) {
    if (webp_) {
        webp_->write(frame, time);
    } else {
        video_->write(frame, time);
    }
}

bool VideoOutput::finish() {
    if (webp_) {
        file_.write(webp_->finish());
        webp_.reset();
        return false;
    }
    const bool soundCut = video_->finish();
    video_.reset();
    return soundCut;
}

}  // namespace glintara::tool
