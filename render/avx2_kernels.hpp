// Whether this build has the renderer's AVX2 kernels: x86 builds do, unless configured
// without them; every other processor renders the same bytes on the portable path.
#pragma once

namespace glintara {

#if GLINTARA_AVX2_KERNELS
inline constexpr bool kAvx2Kernels = true;
#else
inline constexpr bool kAvx2Kernels = false;
#endif

}  // namespace glintara
