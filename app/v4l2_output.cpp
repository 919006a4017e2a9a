#include "app/v4l2_output.hpp"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "core/yuv420.hpp"

namespace glintara {
namespace {

std::runtime_error deviceError(const std::string& path, const std::string& problem) {
    return std::runtime_error(path + ": " + problem);
}

int retryingIoctl(int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

bool isVideoOutput(int fd) {
    v4l2_capability capability{};
    if (retryingIoctl(fd, VIDIOC_QUERYCAP, &capability) < 0) {
        return false;
    }
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                                   ? capability.device_caps
                                   : capability.capabilities;
    return (caps & V4L2_CAP_VIDEO_OUTPUT) != 0;
}

// Asks the device for `fourcc` frames of `size`; whether it took exactly that.
bool setFormat(int fd, cv::Size size, std::uint32_t fourcc) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    v4l2_pix_format& pix = format.fmt.pix;
    pix.width = static_cast<std::uint32_t>(size.width);
    pix.height = static_cast<std::uint32_t>(size.height);
    pix.pixelformat = fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    const bool yuyv = fourcc == V4L2_PIX_FMT_YUYV;
    pix.bytesperline = static_cast<std::uint32_t>(yuyv ? size.width * 2 : size.width);
    pix.sizeimage = static_cast<std::uint32_t>(yuyv ? size.area() * 2 : packedYuv420Bytes(size));
    return retryingIoctl(fd, VIDIOC_S_FMT, &format) == 0 && pix.pixelformat == fourcc &&
           pix.width == static_cast<std::uint32_t>(size.width) &&
           pix.height == static_cast<std::uint32_t>(size.height);
}

class V4l2Output final : public FrameOutput {
  public:
    V4l2Output(std::string path, int fd, cv::Size size, bool yuyv)
        : path_(std::move(path)),
          fd_(fd),
          yuyv_(yuyv),
          // I420's three planes, one after the other, are the frame the device takes.
          i420_(1, static_cast<int>(packedYuv420Bytes(size)), CV_8UC1),
          planes_(packedYuv420Planes(size, i420_.data)) {
        if (yuyv_) {
            yuyv_frame_.create(size, CV_8UC2);
        }
    }
    ~V4l2Output() override { close(fd_); }
    V4l2Output(const V4l2Output&) = delete;
    V4l2Output& operator=(const V4l2Output&) = delete;

    void take(const ShownFrame& frame) override {
        bgrToYuv420(frame.kaleidoscope, planes_.y, planes_.cb, planes_.cr);
        const cv::Mat* bytes = &i420_;
        if (yuyv_) {
            packYuyv(planes_.y, planes_.cb, planes_.cr, yuyv_frame_);
            bytes = &yuyv_frame_;
        }
        const std::size_t length = bytes->total() * bytes->elemSize();
        ssize_t written = 0;
        do {
            written = write(fd_, bytes->data, length);
        } while (written < 0 && errno == EINTR);
        // A device with no room now (no reader taking frames) misses this one.
        if (written < 0 && errno != EAGAIN) {
            throw deviceError(path_, std::string("cannot be written: ") + std::strerror(errno));
        }
    }
    std::string finish() override { return ""; }

  private:
    std::string path_;
    int fd_;
    bool yuyv_;
    cv::Mat i420_;
    Yuv420Planes planes_;
    cv::Mat yuyv_frame_;
};

}  // namespace

std::unique_ptr<FrameOutput> openV4l2Output(const std::string& path, cv::Size size) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw deviceError(path, std::string("cannot be opened: ") + std::strerror(errno));
    }
    if (!isVideoOutput(fd)) {
        close(fd);
        throw deviceError(path, "is not a V4L2 video output device (is v4l2loopback loaded?)");
    }
    for (const bool yuyv : {true, false}) {
        if (setFormat(fd, size, yuyv ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_YUV420)) {
            return std::make_unique<V4l2Output>(path, fd, size, yuyv);
        }
    }
    close(fd);
    throw deviceError(path, "takes neither YUYV nor I420 frames of " + std::to_string(size.width) +
                                "x" + std::to_string(size.height));
}

}  // namespace glintara
