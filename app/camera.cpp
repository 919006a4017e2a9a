#include "app/camera.hpp"

#include <stdexcept>

#include <opencv2/videoio.hpp>

namespace glintara {
namespace {

class CameraSource final : public FrameSource {
  public:
    explicit CameraSource(cv::VideoCapture capture) : capture_(std::move(capture)) {}
    bool read(cv::Mat& frame) override { return capture_.read(frame); }

  private:
    cv::VideoCapture capture_;
};

}  // namespace

std::unique_ptr<FrameSource> openCamera(int index, cv::Size frameSize) {
    cv::VideoCapture capture(index);
    if (!capture.isOpened()) {
        throw std::runtime_error("no camera could be opened (device " + std::to_string(index) +
                                 ")");
    }
    capture.set(cv::CAP_PROP_FRAME_WIDTH, frameSize.width);
    capture.set(cv::CAP_PROP_FRAME_HEIGHT, frameSize.height);
    return std::make_unique<CameraSource>(std::move(capture));
}

}  // namespace glintara
