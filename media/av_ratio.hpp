// Our Ratio and FFmpeg's AVRational, one for the other.
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

#include "core/ratio.hpp"

namespace glintara::media {

inline AVRational avRatio(Ratio ratio) {
    return {ratio.num, ratio.den};
}

inline Ratio ratioOf(AVRational ratio) {
    return {ratio.num, ratio.den};
}

}  // namespace glintara::media
