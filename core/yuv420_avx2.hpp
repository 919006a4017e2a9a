// The 4:2:0 conversion's loop for processors with AVX2, sixteen pixels of a row pair at a
// time, with the portable loop's own arithmetic. Only called where the processor has AVX2.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// Converts the row pair `above`, `below` (BGR, `width` pixels) from column 0 while sixteen
// columns are left. Returns the first column not converted.
int yuv420SixteensAvx2(const uchar* above, const uchar* below, int width, uchar* yAbove,
                       uchar* yBelow, uchar* cb, uchar* cr);

}  // namespace glintara
