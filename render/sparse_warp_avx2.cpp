#include "render/sparse_warp_avx2.hpp"

#include <immintrin.h>

#include <cstring>

#define GLINTARA_AVX2 __attribute__((target("avx2")))

namespace glintara {
namespace {

constexpr int kSteps = cv::INTER_TAB_SIZE;  // sub-pixel steps per pixel along each axis

// A pixel's two source rows, 8 bytes of each (its pixel, the one to its right and two spare
// bytes), side by side in one 128-bit half.
GLINTARA_AVX2 inline __m128i loadTaps(const uchar* top, std::size_t step) {
    const __m128d upper = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(top)));
    return _mm_castpd_si128(_mm_loadh_pd(upper, reinterpret_cast<const double*>(top + step)));
}

// Two pixels, one per 128-bit half, blended to (b, g, r, 0) as 32-bit lanes.
//
// cv::remap's weights are 32 * wx * wy for axis weights wx, wy in 0..32 (the one weight that
// would be 32768 is held as 32767 plus 1 on its diagonal, which gives the same byte), so its
// (sum + 2^14) >> 15 is exactly (sum of v * wx * wy + 512) >> 10. That splits into a blend
// across, v * wx in 8-bit by 8-bit multiply-adds, and one down in 16-bit by 16-bit ones.
GLINTARA_AVX2 inline __m256i blendPair(__m256i taps, __m256i acrossWeights, __m256i downWeights) {
    // Per channel: top-left, top-right, bottom-left, bottom-right.
    const __m256i byChannel =
        _mm256_setr_epi8(0, 3, 8, 11, 1, 4, 9, 12, 2, 5, 10, 13, -1, -1, -1, -1, 0, 3, 8, 11, 1, 4,
                         9, 12, 2, 5, 10, 13, -1, -1, -1, -1);
    const __m256i across =
        _mm256_maddubs_epi16(_mm256_shuffle_epi8(taps, byChannel), acrossWeights);
    const __m256i sums = _mm256_madd_epi16(across, downWeights);
    return _mm256_srli_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(512)), 10);
}

// Pixels `first` and `first + 4` of a group of eight: each 128-bit half of the weights holds
// four pixels' lanes, so one in-lane shuffle picks the pair's.
template <int first>
GLINTARA_AVX2 inline __m256i blendPixels(const uchar* data, std::size_t step, const int* at,
                                         __m256i acrossWeights, __m256i downWeights) {
    const __m256i taps =
        _mm256_inserti128_si256(_mm256_castsi128_si256(loadTaps(data + at[first], step)),
                                loadTaps(data + at[first + 4], step), 1);
    constexpr int lane = first * 0x55;
    return blendPair(taps, _mm256_shuffle_epi32(acrossWeights, lane),
                     _mm256_shuffle_epi32(downWeights, lane));
}

}  // namespace

GLINTARA_AVX2 int warpEightsInside(const SourceView& source, const WarpPositions::Row& along, int x,
                                   int end, uchar* out) {
    const __m256i rowX = _mm256_set1_epi32(along.rowX);
    const __m256i rowY = _mm256_set1_epi32(along.rowY);
    // The 8-byte reads end inside the row up to the third pixel from its end.
    const __m256i lastX = _mm256_set1_epi32(source.width - 3);
    const __m256i lastY = _mm256_set1_epi32(source.height - 2);
    const __m256i step = _mm256_set1_epi32(static_cast<int>(source.step));
    const __m256i stepMask = _mm256_set1_epi32(kSteps - 1);
    const __m256i whole = _mm256_set1_epi32(kSteps);
    // (b, g, r, 0) x 4 per half down to 12 bytes.
    const __m256i packed = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                            0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    for (; x + 8 <= end; x += 8, out += 24) {
        const __m256i fx = _mm256_srai_epi32(
            _mm256_add_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(along.columnX + x)), rowX),
            WarpPositions::kFractionShift);
        const __m256i fy = _mm256_srai_epi32(
            _mm256_add_epi32(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(along.columnY + x)), rowY),
            WarpPositions::kFractionShift);
        const __m256i sx = _mm256_srai_epi32(fx, cv::INTER_BITS);
        const __m256i sy = _mm256_srai_epi32(fy, cv::INTER_BITS);
        // Unsigned: a position left of or above the source is a huge number.
        const __m256i inside =
            _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_min_epu32(sx, lastX), sx),
                             _mm256_cmpeq_epi32(_mm256_min_epu32(sy, lastY), sy));
        if (_mm256_movemask_epi8(inside) != -1) {
            break;
        }
        alignas(32) int at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at),
                           _mm256_add_epi32(_mm256_mullo_epi32(sy, step),
                                            _mm256_add_epi32(sx, _mm256_add_epi32(sx, sx))));
        // Read back from memory: taking the offsets out of the register one by one costs more.
        asm volatile("" : : "m"(at) : "memory");
        // Across: the byte pair (32 - fx, fx) twice per lane; down: the 16-bit pair
        // (32 - fy, fy).
        const __m256i wx = _mm256_and_si256(fx, stepMask);
        const __m256i wy = _mm256_and_si256(fy, stepMask);
        __m256i acrossWeights =
            _mm256_or_si256(_mm256_sub_epi32(whole, wx), _mm256_slli_epi32(wx, 8));
        acrossWeights = _mm256_or_si256(acrossWeights, _mm256_slli_epi32(acrossWeights, 16));
        const __m256i downWeights =
            _mm256_or_si256(_mm256_sub_epi32(whole, wy), _mm256_slli_epi32(wy, 16));

        const __m256i p04 =
            blendPixels<0>(source.data, source.step, at, acrossWeights, downWeights);
        const __m256i p15 =
            blendPixels<1>(source.data, source.step, at, acrossWeights, downWeights);
        const __m256i p26 =
            blendPixels<2>(source.data, source.step, at, acrossWeights, downWeights);
        const __m256i p37 =
            blendPixels<3>(source.data, source.step, at, acrossWeights, downWeights);
        // Halves in pixel order: 0 1 2 3 | 4 5 6 7.
        const __m256i bytes = _mm256_shuffle_epi8(
            _mm256_packus_epi16(_mm256_packs_epi32(p04, p15), _mm256_packs_epi32(p26, p37)),
            packed);
        const __m128i low = _mm256_castsi256_si128(bytes);
        const __m128i high = _mm256_extracti128_si256(bytes, 1);
        // 16-byte stores, each running 4 bytes into the next two pixels, which are written
        // after; near the end of the row the last half is stored to the byte.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        if (x + 10 <= end) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), high);
        } else {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
            const int last = _mm_extract_epi32(high, 2);
            std::memcpy(out + 20, &last, 4);
        }
    }
    return x;
}

}  // namespace glintara
