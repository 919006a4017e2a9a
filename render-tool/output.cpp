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

std::optional<VideoFormat> videoFormatFor(const std::string& path) {
    // OpenCV's own MJPEG writer takes a quality setting; through FFmpeg the fine detail of the
    // kaleidoscope would be lost to a low default bit rate.
    static const VideoFormat mjpeg{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                                   cv::CAP_OPENCV_MJPEG, 95};
    static const VideoFormat mpeg4{cv::VideoWriter::fourcc('m', 'p', '4', 'v'), cv::CAP_FFMPEG, 0};
    static const std::map<std::string, VideoFormat> formats{
        {".avi", mjpeg}, {".mp4", mpeg4}, {".m4v", mpeg4}, {".mov", mpeg4}, {".mkv", mpeg4},
    };
    const auto format = formats.find(lowerExtension(path));
    if (format == formats.end()) {
        return std::nullopt;
    }
    return format->second;
}

VideoOutput::VideoOutput(const std::string& path, double framesPerSecond, cv::Size frameSize)
    : file_(path) {
    const std::optional<VideoFormat> format = videoFormatFor(path);
    std::vector<int> parameters{cv::VIDEOWRITER_PROP_IS_COLOR, 1};
    if (format && format->quality > 0) {
        parameters.insert(parameters.end(), {cv::VIDEOWRITER_PROP_QUALITY, format->quality});
    }
    if (!format || !writer_.open(file_.temporaryPath(), format->backend, format->fourcc,
                                 framesPerSecond, frameSize, parameters)) {
        throw fileError(path, "no video format has " + describeExtension(path));
    }
}

void VideoOutput::commit() {
    writer_.release();
    file_.commit();
}

}  // namespace glintara::tool
