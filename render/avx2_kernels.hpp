// Whether this build has the renderer's AVX2 kernels: x86 builds do, unless configured
// without them; every other processor renders the same bytes on the portable path.
#pragma once

#include <opencv2/core/utility.hpp>

namespace glintara {

#if GLINTARA_AVX2_KERNELS
inline constexpr bool kAvx2Kernels = true;
#else
inline constexpr bool kAvx2Kernels = false;
#endif

// Whether the AVX2 kernels run here: built in, and the processor has AVX2 (as OpenCV sees it,
// so that OPENCV_CPU_DISABLE=AVX2 puts the narrower path to the test).
inline bool avx2KernelsUsable() {
    return kAvx2Kernels && cv::checkHardwareSupport(CV_CPU_AVX2);
}

}  // namespace glintara
