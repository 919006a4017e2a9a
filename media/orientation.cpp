// Turning decoded pictures upright from their stream's display matrix.
#include "media/orientation.hpp"

#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

namespace glintara::media {

Upright uprightFor(const std::int32_t* matrix) {
    if (matrix == nullptr) {
        return Upright::AsStored;
    }
    // The matrix turns anticlockwise; the picture is turned back the other way.
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
    const auto near = [&](double angle) { return std::fabs(theta - angle) < 1.0; };
    if (near(90)) {
        return matrix[3] > 0 ? Upright::Transpose : Upright::Clockwise;
    }
    if (near(180)) {
        const bool h = matrix[0] < 0, v = matrix[4] < 0;
        return h && v ? Upright::HalfTurn
               : h    ? Upright::HFlip
               : v    ? Upright::VFlip
                      : Upright::AsStored;
    }
    if (near(270)) {
        return matrix[3] < 0 ? Upright::AntiTranspose : Upright::Anticlockwise;
    }
    if (near(0) && matrix[4] < 0) {
        return Upright::VFlip;
    }
    return Upright::AsStored;
}

void turnUpright(Upright upright, const cv::Mat& stored, cv::Mat& shown) {
    switch (upright) {
        case Upright::AsStored:
            break;
        case Upright::Clockwise:
            cv::rotate(stored, shown, cv::ROTATE_90_CLOCKWISE);
            break;
        case Upright::Anticlockwise:
            cv::rotate(stored, shown, cv::ROTATE_90_COUNTERCLOCKWISE);
            break;
        case Upright::Transpose:
            cv::transpose(stored, shown);
            break;
        case Upright::AntiTranspose:
            cv::transpose(stored, shown);
            cv::flip(shown, shown, -1);
            break;
        case Upright::HFlip:
            cv::flip(stored, shown, 1);
            break;
        case Upright::VFlip:
            cv::flip(stored, shown, 0);
            break;
        case Upright::HalfTurn:
            cv::flip(stored, shown, -1);
            break;
    }
}

}  // namespace glintara::media
