// The shrink's inner loop for processors with AVX2, for a turned square held in the compact
// layout, where each tile pixel's four source pixels lie side by side in two rows. Only
// called where the processor has AVX2, like the turn's.
#pragma once

#include <opencv2/core.hpp>

#include "render/avx2_kernels.hpp"

namespace glintara {

// The column weights of four neighbouring tile pixels starting at one column, laid out for
// the blend across: channel pairs of pixels 0 0 0 1 | 1 1 2 2 | 2 3 3 3.
struct FourColumnWeights {
    alignas(16) short pairs[24];
};

// Shrinks tile pixels x, x + 1, ... of one row in groups of four from the row's two compact
// source rows, with the row weights `upper` and `lower`; returns the first pixel not
// written, fewer than four before `end`. Nothing is written past pixel `end`.
int shrinkFoursCompact(const uchar* top, const uchar* bottom, const FourColumnWeights* columns,
                       short upper, short lower, int x, int end, uchar* out);

}  // namespace glintara
