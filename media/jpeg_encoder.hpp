// MJPG's frames: each a JPEG picture made by libjpeg-turbo, byte for byte what
// cv::imencode(".jpg") makes at the same quality, straight from BGR rows.
#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

namespace glintara::media {

class JpegEncoder {
  public:
    explicit JpegEncoder(int quality);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // The 8-bit BGR picture as a baseline JPEG file in `bytes`; false, with `bytes` to be
    // ignored, when libjpeg fails.
    bool encode(const cv::Mat& bgr, std::vector<unsigned char>& bytes);

  private:
    struct Compressor;
    int quality_;
    std::unique_ptr<Compressor> compressor_;
};

}  // namespace glintara::media
