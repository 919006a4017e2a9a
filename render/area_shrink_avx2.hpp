// The area shrink's two loops for processors with AVX2: the weighing across, which picks
// each value's taps eight values at a time, and the weighing down with its rounding. Only
// called where the processor has AVX2; the arithmetic is the portable loops' own.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// The row's `count` bytes as floats, sixteen at a time. Returns how many it converted.
int bytesToFloatsSixteens(const uchar* bytes, int count, float* values);

// The weighing across of one destination row, slot by slot: `taps` slots of `stride` values
// each, a value's source and weight at [slot * stride + value]. For each run of eight values
// from 0, where all of its sources lie among `window` (16 or 32) consecutive source values,
// the first of them (or -1 where they do not), and each source's place among them.
struct AcrossTable {
    int taps;
    int stride;
    const int* sources;
    const float* weights;
    int window;
    const int* windowStarts;
    const int* windowIndices;
};

// out[e] = row[sources[e]] * weights[e] + ... for e from `begin`, a multiple of eight, to
// `end`, in slot order. Returns the first value not written: fewer than eight are left.
int weighAcrossEights(const float* row, const AcrossTable& table, int begin, int end, float* out);

// The same straight from the row's bytes, for a table whose every run has its window.
int weighAcrossEightsFromBytes(const uchar* row, const AcrossTable& table, int begin, int end,
                               float* out);

// sums[e] += weight * across[e] (sums[e] = weight * across[e] when `first`) for e from `begin`
// to `end`, and when `last` the sums rounded to bytes into `out`. Returns the first value not
// done: fewer than eight are left.
int weighDownEights(const float* across, float weight, bool first, bool last, int begin, int end,
                    float* sums, uchar* out);

}  // namespace glintara
