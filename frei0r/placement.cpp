#include "frei0r/placement.hpp"

#include <algorithm>

#include "render/sizes.hpp"

namespace glintara::frei0r {
namespace {

constexpr int kSideStep = 8;

int roundDownToStep(int side) {
    return side / kSideStep * kSideStep;
}
int roundUpToStep(int side) {
    return (side + kSideStep - 1) / kSideStep * kSideStep;
}
int floorHalf(int difference) {
    return difference >= 0 ? difference / 2 : -((1 - difference) / 2);
}

// The canvas side whose picture fits in the frame, or covers it: for the guide picture the
// frame's height allows a side of 4/3 of it.
int canvasSideFor(cv::Size frame, bool fill, bool guide) {
    const int widest = frame.width;
    const int tallest =
        guide ? (fill ? (4 * frame.height + 2) / 3 : 4 * frame.height / 3) : frame.height;
    const int side = fill ? roundUpToStep(std::max(widest, tallest))
                          : roundDownToStep(std::min(widest, tallest));
    return std::clamp(side, kSmallestCanvasSide, kLargestCanvasSide);
}

}  // namespace

std::optional<Placement> placementFor(cv::Size frame, bool fill, bool guide) {
    if (std::min(frame.width, frame.height) < kSmallestCanvasSide) {
        return std::nullopt;
    }
    Placement placement;
    placement.picture = guide ? Picture::Capture : Picture::Kaleidoscope;
    placement.canvasSide = canvasSideFor(frame, fill, guide);
    const cv::Size picture = pictureSize(placement.picture, placement.canvasSide);
    const cv::Point corner(floorHalf(frame.width - picture.width),
                           floorHalf(frame.height - picture.height));
    placement.inFrame = cv::Rect(corner, picture) & cv::Rect(cv::Point(), frame);
    placement.ofPicture = placement.inFrame - corner;
    return placement;
}

}  // namespace glintara::frei0r
