#include "app/virtual_camera.hpp"

#include "app/pipewire_camera.hpp"
#include "app/v4l2_output.hpp"

namespace glintara {

std::unique_ptr<FrameOutput> openVirtualCamera(const std::string& device, cv::Size size) {
    return device.empty() ? openPipewireCamera(size) : openV4l2Output(device, size);
}

}  // namespace glintara
