// Pictures made in part, a stripe of rows at a time on OpenCV's threads, as cv::resize splits
// them: the frame preparation's shrink and growth share it.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

inline constexpr int kRowStripes = 4;

// The part of a picture of `size` under `region`, all of it when `region` is empty.
inline cv::Rect partWithin(cv::Size size, cv::Rect region) {
    const cv::Rect whole(cv::Point(), size);
    return region.empty() ? whole : region & whole;
}

// work(stripe, rows) for each of the kRowStripes stripes of the rows of `part`, at once.
template <typename Work>
void forEachRowStripe(cv::Rect part, const Work& work) {
    cv::parallel_for_(cv::Range(0, kRowStripes), [&](const cv::Range& stripes) {
        for (int s = stripes.start; s < stripes.end; ++s) {
            work(s, cv::Range(part.y + part.height * s / kRowStripes,
                              part.y + part.height * (s + 1) / kRowStripes));
        }
    });
}

}  // namespace glintara
