// The area shrink's two loops for processors with AVX2: the weighing across, which gathers
// each value's taps eight values at a time, and the weighing down with its rounding. Only
// called where the processor has AVX2; the arithmetic is the portable loops' own.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// The row's `count` bytes as floats, sixteen at a time. Returns how many it converted.
int bytesToFloatsSixteens(const uchar* bytes, int count, float* values);

// out[e] = row[sources[e]] * weights[e] + ... for e from `begin` to `end`, over `taps` slots
// of `stride` values each, in slot order. Returns the first value not written: fewer than
// eight are left.
int weighAcrossEights(const float* row, const int* sources, const float* weights, int taps,
                      int stride, int begin, int end, float* out);

// sums[e] += weight * across[e] (sums[e] = weight * across[e] when `first`) for e from `begin`
// to `end`, and when `last` the sums rounded to bytes into `out`. Returns the first value not
// done: fewer than eight are left.
int weighDownEights(const float* across, float weight, bool first, bool last, int begin, int end,
                    float* sums, uchar* out);

}  // namespace glintara
