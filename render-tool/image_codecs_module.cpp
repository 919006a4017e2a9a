// The codec module: OpenCV's image codecs behind the table glintara-render loads on demand.
#include <opencv2/imgcodecs.hpp>

#include "render-tool/image_codecs.hpp"

namespace {

bool haveReader(const std::string& path) {
    return cv::haveImageReader(path);
}

cv::Mat read(const std::string& path, int flags) {
    return cv::imread(path, flags);
}

cv::Mat decode(const std::vector<unsigned char>& bytes, int flags) {
    return cv::imdecode(bytes, flags);
}

bool haveWriter(const std::string& path) {
    return cv::haveImageWriter(path);
}

bool encode(const std::string& extension, const cv::Mat& picture,
            std::vector<unsigned char>& bytes) {
    return cv::imencode(extension, picture, bytes);
}

constexpr glintara::tool::ImageCodecTable kTable{haveReader, read, decode, haveWriter, encode};

}  // namespace

extern "C" __attribute__((visibility("default"))) const glintara::tool::ImageCodecTable*
glintaraImageCodecs() {
    return &kTable;
}
