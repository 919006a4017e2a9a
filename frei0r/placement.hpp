// Where the picture goes in a host's frame. A host hands frames of its own size and wants
// frames of that size back, so the picture is rendered at a canvas side the renderer serves,
// chosen from the frame's size, and centred on it.
#pragma once

#include <optional>

#include <opencv2/core.hpp>

#include "core/kaleidoscope_filter.hpp"

namespace glintara::frei0r {

struct Placement {
    Picture picture = Picture::Kaleidoscope;
    int canvasSide = 0;
    cv::Rect inFrame;    // the part of the frame the picture covers
    cv::Rect ofPicture;  // the part of the picture that shows there: all of it, unless cropped
};

// Without `fill`, the largest picture that fits in the frame, on black; with it, the smallest
// that covers the frame (up to the largest canvas), cropped. The guide picture is the prepared
// frame with its outline, N x 3N/4; the kaleidoscope is N x N. The picture's top-left corner
// is at half the difference in size, rounded down. None for a frame whose shorter side is
// below the smallest canvas: such a frame passes through unchanged.
std::optional<Placement> placementFor(cv::Size frame, bool fill, bool guide);

}  // namespace glintara::frei0r
