// The turn's inner loop for processors with AVX2, eight pixels at a time. Built into every
// x86 build but only called where the processor has AVX2: the functions carry the
// instruction set in their own attributes, so nothing else in the program is built for it.
#pragma once

#include <cstddef>

#include <opencv2/core.hpp>

#include "render/avx2_kernels.hpp"
#include "render/sparse_warp.hpp"

namespace glintara {

// A source image as the blend reads it, held in locals so that writing the destination
// cannot make the compiler reload it.
struct SourceView {
    const uchar* data;
    std::size_t step;
    int width;
    int height;

    const uchar* pixel(int x, int y) const { return data + y * step + 3 * x; }
};

// Warps pixels x, x + 1, ... of one row in groups of eight for as long as every pixel of a
// group reads inside the source, writing from `out` on (pixel x's bytes). Returns the first
// pixel not written: the start of a group that reads past an edge, or of the last fewer
// than eight. Nothing is written past pixel `end`.
int warpEightsInside(const SourceView& source, const WarpPositions::Row& along, int x, int end,
                     uchar* out);

}  // namespace glintara
