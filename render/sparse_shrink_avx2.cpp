#include "render/sparse_shrink_avx2.hpp"

#include <immintrin.h>

#include <cstring>

#define GLINTARA_AVX2 __attribute__((target("avx2")))

namespace glintara {
namespace {

// The two source pixels of each of four tile pixels are the 24 bytes P0 .. P7. Each
// 16-bit lane pair is one channel of one tile pixel's two source pixels, zero-extended, in
// output order; read as three 16-byte loads at bytes 0, 7 and 8.
constexpr char kZ = -128;  // a zero byte
GLINTARA_AVX2 inline __m128i pairsFrom0() {
    return _mm_setr_epi8(0, kZ, 3, kZ, 1, kZ, 4, kZ, 2, kZ, 5, kZ, 6, kZ, 9, kZ);
}
GLINTARA_AVX2 inline __m128i pairsFrom7() {  // bytes 7 10 8 11 12 15 13 16
    return _mm_setr_epi8(0, kZ, 3, kZ, 1, kZ, 4, kZ, 5, kZ, 8, kZ, 6, kZ, 9, kZ);
}
GLINTARA_AVX2 inline __m128i pairsFrom8() {  // bytes 14 17 18 21 19 22 20 23
    return _mm_setr_epi8(6, kZ, 9, kZ, 10, kZ, 13, kZ, 11, kZ, 14, kZ, 12, kZ, 15, kZ);
}

GLINTARA_AVX2 inline __m128i load16(const uchar* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// One row's blend across for four tile pixels: 12 sums with 11 fractional bits, cut to 16
// bits by dropping 4 of them, as cv::resize's 8-bit path does.
struct AcrossSums {
    __m128i first8;  // pixels 0 1 and 2's blue, green
    __m128i last4;   // pixel 2's red, pixel 3
};

GLINTARA_AVX2 inline AcrossSums blendAcross(const uchar* row, const FourColumnWeights& w) {
    const __m128i* weights = reinterpret_cast<const __m128i*>(w.pairs);
    const __m128i a = _mm_madd_epi16(_mm_shuffle_epi8(load16(row), pairsFrom0()), weights[0]);
    const __m128i b = _mm_madd_epi16(_mm_shuffle_epi8(load16(row + 7), pairsFrom7()), weights[1]);
    const __m128i c = _mm_madd_epi16(_mm_shuffle_epi8(load16(row + 8), pairsFrom8()), weights[2]);
    const __m128i last = _mm_srai_epi32(c, 4);
    return {_mm_packs_epi32(_mm_srai_epi32(a, 4), _mm_srai_epi32(b, 4)),
            _mm_packs_epi32(last, last)};
}

// The two rows weighted with 16-bit high multiplies and rounded: (hi(upper * t) +
// hi(lower * b) + 2) >> 2.
GLINTARA_AVX2 inline __m128i blendDown(__m128i top, __m128i bottom, __m128i upper, __m128i lower) {
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(top, upper), _mm_mulhi_epi16(bottom, lower)),
                      _mm_set1_epi16(2));
    return _mm_srai_epi16(sum, 2);
}

}  // namespace

GLINTARA_AVX2 int shrinkFoursCompact(const uchar* top, const uchar* bottom,
                                     const FourColumnWeights* columns, short upper, short lower,
                                     int x, int end, uchar* out) {
    const __m128i upperWeight = _mm_set1_epi16(upper);
    const __m128i lowerWeight = _mm_set1_epi16(lower);
    for (; x + 4 <= end; x += 4) {
        // Tile pixel x reads compact pixels 2x and 2x + 1.
        const AcrossSums t = blendAcross(top + 6 * x, columns[x]);
        const AcrossSums b = blendAcross(bottom + 6 * x, columns[x]);
        const __m128i bytes =
            _mm_packus_epi16(blendDown(t.first8, b.first8, upperWeight, lowerWeight),
                             blendDown(t.last4, b.last4, upperWeight, lowerWeight));
        uchar* at = out + 3 * x;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at), bytes);
        const int last = _mm_extract_epi32(bytes, 2);
        std::memcpy(at + 8, &last, 4);
    }
    return x;
}

}  // namespace glintara
