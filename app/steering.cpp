#include "app/steering.hpp"

#include <algorithm>
#include <cmath>

namespace glintara {

Sample steer(const Sample& sample, const Steering& steering) {
    Sample steered = steering.reset ? Sample{} : sample;
    if (steering.centre) {
        steered.centerX = steering.centre->x;
        steered.centerY = steering.centre->y;
    }
    if (steering.zoomSteps != 0) {
        // A zoom set between the steps is taken from its nearest step.
        const int step = static_cast<int>(std::lround(4.0 * std::log2(steered.zoom)));
        const int next = std::clamp(step + steering.zoomSteps, 0, kMostZoomSteps);
        steered.zoom = std::pow(2.0, next / 4.0);
    }
    return steered;
}

cv::Point2d centreUnder(int x, int y, cv::Size size) {
    const auto fraction = [](int pixel, int length) {
        return std::clamp((pixel + 0.5) / length, 0.0, 1.0);
    };
    return {fraction(x, size.width), fraction(y, size.height)};
}

}  // namespace glintara
