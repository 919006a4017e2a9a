#include "render-tool/output.hpp"

#include <cctype>
#include <optional>
#include <utility>
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

// Where a printf number "%d" or "%0Nd" starts and ends in a name, if it holds one.
std::optional<std::pair<std::size_t, std::size_t>> numberIn(const std::string& name) {
    const std::size_t start = name.find('%');
    if (start == std::string::npos) {
        return std::nullopt;
    }
    std::size_t at = start + 1;
    while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])) != 0) {
        ++at;
    }
    if (at >= name.size() || name[at] != 'd' || at - start > 4 ||
        (at - start > 1 && name[start + 1] != '0') ||
        name.find('%', at) != std::string::npos) {
        return std::nullopt;
    }
    return std::pair{start, at + 1};
}

}  // namespace

bool isNumberedStills(const std::string& path) {
    return numberIn(path).has_value() && !media::isVideoFormat(path) && !isWebp(path);
}

std::string numberedName(const std::string& pattern, long long number) {
    const auto [start, end] = *numberIn(pattern);
    std::string digits = std::to_string(number);
    const std::size_t width = end - start > 2 ? std::stoul(pattern.substr(start + 2, end - start - 3)) : 0;
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return pattern.substr(0, start) + digits + pattern.substr(end);
}

bool isVideoOutput(const std::string& path) {
    return media::isVideoFormat(path) || isWebp(path) || isNumberedStills(path);
}

VideoOutput::VideoOutput(const std::string& path, const media::VideoStreamFormat& format,
                         media::AudioFileInput* audio, ImageCodecs& codecs)
    : path_(path) {
    if (!isVideoOutput(path)) {
        // Checked first, so that a wrong extension leaves no temporary file behind.
        throw fileError(path, "no video format has " + describeExtension(path));
    }
    if (isNumberedStills(path)) {
        checkImageFormat(path, codecs);
        if (audio != nullptr) {
            audio->leaveOutAll();
        }
        stillCodecs_ = &codecs;
        return;
    }
    file_.emplace(path);
    if (isWebp(path)) {
        // WebP holds no sound.
        if (audio != nullptr) {
            audio->leaveOutAll();
        }
        webp_ =
            std::make_unique<WebpAnimation>(path, format.size, format.timeBase, format.frameRate);
    } else {
        video_ =
            std::make_unique<media::VideoFileOutput>(path, file_->temporaryPath(), format, audio);
    }
}

const std::string& VideoOutput::audioNote() const {
    return video_ ? video_->audioNote() : noAudioNote_;
}

void VideoOutput::write(const cv::Mat& frame, std::int64_t time) {
    if (stillCodecs_ != nullptr) {
        const std::string name =
            numberedName(path_, static_cast<long long>(stills_.size()) + 1);
        stills_.push_back(std::make_unique<PendingFile>(name));
        stills_.back()->write(encode(name, frame, *stillCodecs_));
        return;
    }
    if (webp_) {
        webp_->write(frame, time);
    } else {
        video_->write(frame, time);
    }
}

std::vector<PendingFile*> VideoOutput::files() {
    std::vector<PendingFile*> files;
    if (file_) {
        files.push_back(&*file_);
    }
    for (const std::unique_ptr<PendingFile>& still : stills_) {
        files.push_back(still.get());
    }
    return files;
}

bool VideoOutput::finish() {
    if (stillCodecs_ != nullptr) {
        return false;
    }
    if (webp_) {
        file_->write(webp_->finish());
        webp_.reset();
        return false;
    }
    const bool soundCut = video_->finish();
    video_.reset();
    return soundCut;
}

}  // namespace glintara::tool
