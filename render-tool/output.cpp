#include "render-tool/output.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "render-tool/tool_error.hpp"

namespace glintara::tool {
namespace {

std::string lowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string describeExtension(const std::string& path) {
    const std::string extension = lowerExtension(path);
    return extension.empty() ? "a name without an extension" : "the extension " + extension;
}

std::vector<unsigned char> encode(const std::string& path, const cv::Mat& picture) {
    std::vector<unsigned char> bytes;
    bool encoded = false;
    try {
        encoded = cv::imencode(lowerExtension(path), picture, bytes);
    } catch (const cv::Exception&) {
        encoded = false;
    }
    if (!encoded || bytes.empty()) {
        throw fileError(path, "the picture could not be encoded");
    }
    return bytes;
}

}  // namespace

void checkImageFormat(const std::string& path) {
    if (lowerExtension(path).empty() || !cv::haveImageWriter(path)) {
        throw fileError(path, "no image format has " + describeExtension(path));
    }
}

StillOutput::StillOutput(const std::string& path, const cv::Mat& picture) : file_(path) {
    file_.write(encode(path, picture));
}

std::optional<int> videoCodecFor(const std::string& path) {
    const int mjpeg = cv::VideoWriter::fourcc('M', 'J', 'P', 'G');
    const int mpeg4 = cv::VideoWriter::fourcc('m', 'p', '4', 'v');
    const std::map<std::string, int> codecs{
        {".avi", mjpeg}, {".mp4", mpeg4}, {".m4v", mpeg4}, {".mov", mpeg4}, {".mkv", mpeg4},
    };
    const auto codec = codecs.find(lowerExtension(path));
    if (codec == codecs.end()) {
        return std::nullopt;
    }
    return codec->second;
}

VideoOutput::VideoOutput(const std::string& path, double framesPerSecond, cv::Size frameSize)
    : file_(path) {
    // FFmpeg keeps a fractional frame rate such as 12.5 or 29.97; OpenCV's own MJPEG writer,
    // sharper as it is, would round it to whole frames per second.
    const std::optional<int> codec = videoCodecFor(path);
    if (!codec || !writer_.open(file_.temporaryPath(), cv::CAP_FFMPEG, *codec, framesPerSecond,
                                frameSize, true)) {
        throw fileError(path, "no video format has " + describeExtension(path));
    }
}

void VideoOutput::commit() {
    writer_.release();
    file_.commit();
}

}  // namespace glintara::tool
