#include "render/linear_grow_avx2.hpp"

#include <immintrin.h>

namespace glintara {

#define GLINTARA_AVX2 __attribute__((target("avx2")))

GLINTARA_AVX2 void weighWindowedRuns(const uchar* row, const int* starts, const signed char* picks,
                                     const short* weights, int firstRun, int endRun, int* out) {
    for (int run = firstRun; run < endRun; ++run) {
        if (starts[run] < 0) {
            continue;
        }
        const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + starts[run]));
        // Each value's left and right source side by side, as 16-bit numbers.
        const __m128i pairs = _mm_shuffle_epi8(
            window, _mm_loadu_si128(reinterpret_cast<const __m128i*>(picks + run * 16)));
        const __m256i sums = _mm256_madd_epi16(
            _mm256_cvtepu8_epi16(pairs),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + run * 16)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + run * 8), sums);
    }
}

// Sixteen sums to 16 bits, as OpenCV's loop does, in order.
GLINTARA_AVX2 inline __m256i sixteenBits(const int* sums) {
    const __m256i low =
        _mm256_srai_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums)), 4);
    const __m256i high =
        _mm256_srai_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + 8)), 4);
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), 0xD8);
}

GLINTARA_AVX2 int weighDownSixteens(const int* top, const int* bottom, short topWeight,
                                    short bottomWeight, int begin, int end, uchar* out) {
    const __m256i upperWeight = _mm256_set1_epi16(topWeight);
    const __m256i lowerWeight = _mm256_set1_epi16(bottomWeight);
    const __m256i two = _mm256_set1_epi16(2);
    int e = begin;
    for (; e + 16 <= end; e += 16) {
        const __m256i sum =
            _mm256_adds_epi16(_mm256_mulhi_epi16(sixteenBits(top + e), upperWeight),
                              _mm256_mulhi_epi16(sixteenBits(bottom + e), lowerWeight));
        const __m256i rounded = _mm256_srai_epi16(_mm256_adds_epi16(sum, two), 2);
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(rounded, rounded), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm256_castsi256_si128(bytes));
    }
    return e;
}

}  // namespace glintara
