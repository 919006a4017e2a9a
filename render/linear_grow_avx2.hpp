// The linear growth's two loops for processors with AVX2: the weighing across, each run of
// eight values picking its sources out of sixteen bytes of the row, and the weighing down in
// OpenCV's own vector arithmetic. Only called where the processor has AVX2; every value is the
// portable loops' own.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// For each run of eight destination values from `firstRun` to `endRun` whose `starts` entry
// is not -1: out[e] = left * leftWeight + right * rightWeight, its two sources picked from the
// sixteen bytes of `row` at that start by the run's sixteen `picks`, weighed by its sixteen
// `weights`. Runs without a window are left to the caller.
void weighWindowedRuns(const uchar* row, const int* starts, const signed char* picks,
                       const short* weights, int firstRun, int endRun, int* out);

// out[e] for e from `begin` to `end` from the two rows weighed across, as OpenCV's vector loop
// makes it, sixteen at a time. Returns the first value not written: fewer than sixteen are
// left.
int weighDownSixteens(const int* top, const int* bottom, short topWeight, short bottomWeight,
                      int begin, int end, uchar* out);

}  // namespace glintara
