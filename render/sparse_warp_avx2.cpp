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
    constexpr int fromFirst = first * 0x55;  // lane `first` of each half into all four
    return blendPair(taps, _mm256_shuffle_epi32(acrossWeights, fromFirst),
                     _mm256_shuffle_epi32(downWeights, fromFirst));
}

// Where a group of eight pixels reads and how it weighs what it reads.
struct EightPlaces {
    alignas(32) int at[8];  // offsets of the top-left source pixels
    __m256i acrossWeights;  // the byte pair (32 - fx, fx) twice per lane
    __m256i downWeights;    // the 16-bit pair (32 - fy, fy)
};

// The positions of pixels [x, x + 8) of a row; false when one of them reads past an edge.
struct EightPlacer {
    __m256i rowX, rowY;
    __m256i lastX, lastY;  // the 8-byte reads end inside the row up to its third pixel from the end
    __m256i step;

    GLINTARA_AVX2 bool place(const WarpPositions::Row& along, int x, EightPlaces& places) const {
        const __m256i stepMask = _mm256_set1_epi32(kSteps - 1);
        const __m256i whole = _mm256_set1_epi32(kSteps);
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
            return false;
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(places.at),
                           _mm256_add_epi32(_mm256_mullo_epi32(sy, step),
                                            _mm256_add_epi32(sx, _mm256_add_epi32(sx, sx))));
        const __m256i wx = _mm256_and_si256(fx, stepMask);
        const __m256i wy = _mm256_and_si256(fy, stepMask);
        const __m256i across =
            _mm256_or_si256(_mm256_sub_epi32(whole, wx), _mm256_slli_epi32(wx, 8));
        places.acrossWeights = _mm256_or_si256(across, _mm256_slli_epi32(across, 16));
        places.downWeights =
            _mm256_or_si256(_mm256_sub_epi32(whole, wy), _mm256_slli_epi32(wy, 16));
        return true;
    }
};

// The eight pixels' bytes, 24 of them in the low 12 of each half.
GLINTARA_AVX2 inline __m256i blendEight(const SourceView& source, const EightPlaces& places) {
    // The offsets are read back from memory: taking them out of a register one by one costs
    // more.
    asm volatile("" : : "m"(places.at) : "memory");
    const __m256i p04 = blendPixels<0>(source.data, source.step, places.at, places.acrossWeights,
                                       places.downWeights);
    const __m256i p15 = blendPixels<1>(source.data, source.step, places.at, places.acrossWeights,
                                       places.downWeights);
    const __m256i p26 = blendPixels<2>(source.data, source.step, places.at, places.acrossWeights,
                                       places.downWeights);
    const __m256i p37 = blendPixels<3>(source.data, source.step, places.at, places.acrossWeights,
                                       places.downWeights);
    // (b, g, r, 0) x 4 per half down to 12 bytes, halves in pixel order: 0 1 2 3 | 4 5 6 7.
    const __m256i packed = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                            0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm256_shuffle_epi8(
        _mm256_packus_epi16(_mm256_packs_epi32(p04, p15), _mm256_packs_epi32(p26, p37)), packed);
}

}  // namespace

GLINTARA_AVX2 int warpEightsInside(const SourceView& source, const WarpPositions::Row& along, int x,
                                   int end, uchar* out) {
    const EightPlacer placer{_mm256_set1_epi32(along.rowX), _mm256_set1_epi32(along.rowY),
                             _mm256_set1_epi32(source.width - 3),
                             _mm256_set1_epi32(source.height - 2),
                             _mm256_set1_epi32(static_cast<int>(source.step))};
    // Each group's positions are worked out while the group before it is blended, so that
    // its loads need not wait for them.
    EightPlaces groups[2];
    int current = 0;
    bool ready = x + 8 <= end && placer.place(along, x, groups[current]);
    for (; ready; x += 8, out += 24, current ^= 1) {
        ready = x + 16 <= end && placer.place(along, x + 8, groups[current ^ 1]);
        const __m256i bytes = blendEight(source, groups[current]);
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
