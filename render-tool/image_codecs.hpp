// Still image files (PNG, JPEG, TIFF, WebP, ...) through OpenCV's image codecs, loaded only
// when a still is read or written. That library brings in some eighty more (GDAL, DICOM,
// OpenEXR, ...), and loading them takes longer than rendering a short video: a video job
// never loads them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace glintara::tool {

// What the codec module hands over: OpenCV's functions, one for one.
struct ImageCodecTable {
    bool (*haveReader)(const std::string& path);
    cv::Mat (*read)(const std::string& path, int flags);
    cv::Mat (*decode)(const std::vector<unsigned char>& bytes, int flags);
    bool (*haveWriter)(const std::string& path);
    bool (*encode)(const std::string& extension, const cv::Mat& picture,
                   std::vector<unsigned char>& bytes);
};

// The module's one entry point.
inline constexpr const char* kImageCodecsEntry = "glintaraImageCodecs";
using ImageCodecsEntry = const ImageCodecTable* (*)();

// The codecs, loaded on first use from the module installed beside the program. Throws
// UserError when the module cannot be loaded.
class ImageCodecs {
  public:
    ImageCodecs();
    ~ImageCodecs();
    ImageCodecs(const ImageCodecs&) = delete;
    ImageCodecs& operator=(const ImageCodecs&) = delete;

    bool haveReader(const std::string& path) { return table().haveReader(path); }
    cv::Mat read(const std::string& path, int flags) { return table().read(path, flags); }
    cv::Mat decode(const std::vector<unsigned char>& bytes, int flags) {
        return table().decode(bytes, flags);
    }
    bool haveWriter(const std::string& path) { return table().haveWriter(path); }
    bool encode(const std::string& extension, const cv::Mat& picture,
                std::vector<unsigned char>& bytes) {
        return table().encode(extension, picture, bytes);
    }

  private:
    const ImageCodecTable& table();

    struct Library;
    std::unique_ptr<Library> library_;
};

}  // namespace glintara::tool
