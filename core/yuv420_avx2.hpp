// The 4:2:0 conversions' loops for processors with AVX2, sixteen pixels at a time, with the
// portable loops' own arithmetic. Only called where the processor has AVX2.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// Converts the row pair `above`, `below` (BGR, `width` pixels) from column 0 while sixteen
// columns are left. Returns the first column not converted.
int yuv420SixteensAvx2(const uchar* above, const uchar* below, int width, uchar* yAbove,
                       uchar* yBelow, uchar* cb, uchar* cr);

// The conversion's fixed-point weights, in 1/16384; see yuv420ToBgr.
struct ToBgrWeights {
    static constexpr int kShift = 14;
    int black, grey;  // the values of black brightness and of no colour
    int y;            // brightness
    int redV, greenU, greenV, blueU;
};

// One row of BGR from its brightness and colour rows, from picture column `column` (even) on
// while sixteen are left before `end`; `cb`, `cr` are the colour rows from column 0. Returns
// the first column not converted.
int bgrSixteensAvx2(const uchar* y, const uchar* cb, const uchar* cr, int column, int end,
                    const ToBgrWeights& w, uchar* out);

}  // namespace glintara
