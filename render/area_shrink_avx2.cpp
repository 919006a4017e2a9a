#include "render/area_shrink_avx2.hpp"

#include <immintrin.h>

namespace glintara {

#define GLINTARA_AVX2 __attribute__((target("avx2")))

GLINTARA_AVX2 int bytesToFloatsSixteens(const uchar* bytes, int count, float* values) {
    int e = 0;
    for (; e + 16 <= count; e += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + e));
        _mm256_storeu_ps(values + e, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(sixteen)));
        _mm256_storeu_ps(values + e + 8,
                         _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(sixteen, 8))));
    }
    return e;
}

GLINTARA_AVX2 inline __m256 gather(const float* row, const int* sources) {
    return _mm256_i32gather_ps(row, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sources)),
                               4);
}

// A run's window: sixteen or thirty-two consecutive source values, eight to a vector.
struct Window {
    __m256 eights[4];
};

// The value each lane's index picks from two eights: bit 3 picks the eight, bits 0 to 2 the
// value in it.
GLINTARA_AVX2 inline __m256 pickFromPair(__m256 first, __m256 second, __m256i index) {
    return _mm256_blendv_ps(_mm256_permutevar8x32_ps(first, index),
                            _mm256_permutevar8x32_ps(second, index),
                            _mm256_castsi256_ps(_mm256_slli_epi32(index, 28)));
}

// The same from the whole window, bit 4 picking the pair in a window of thirty-two.
template <int Eights>
GLINTARA_AVX2 inline __m256 pick(const Window& window, const int* indices) {
    const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(indices));
    const __m256 low = pickFromPair(window.eights[0], window.eights[1], index);
    if constexpr (Eights == 2) {
        return low;
    } else {
        return _mm256_blendv_ps(low, pickFromPair(window.eights[2], window.eights[3], index),
                                _mm256_castsi256_ps(_mm256_slli_epi32(index, 27)));
    }
}

// One run of eight values weighed from the window its taps lie among; Taps is the table's
// count of taps where it is known when compiling, 0 where it is not.
template <int Eights, int Taps = 0>
GLINTARA_AVX2 inline __m256 weighWindow(const Window& window, const AcrossTable& table, int e) {
    const int* indices = table.windowIndices + e;
    const float* weights = table.weights + e;
    const int taps = Taps > 0 ? Taps : table.taps;
    __m256 sum = _mm256_mul_ps(pick<Eights>(window, indices), _mm256_loadu_ps(weights));
    for (int t = 1; t < taps; ++t) {
        const __m256 value = pick<Eights>(window, indices + t * table.stride);
        sum = _mm256_add_ps(sum, _mm256_mul_ps(value, _mm256_loadu_ps(weights + t * table.stride)));
    }
    return sum;
}

GLINTARA_AVX2 inline __m256 weighGathered(const float* row, const AcrossTable& table, int e) {
    const int* sources = table.sources + e;
    const float* weights = table.weights + e;
    __m256 sum = _mm256_mul_ps(gather(row, sources), _mm256_loadu_ps(weights));
    for (int t = 1; t < table.taps; ++t) {
        const __m256 value = gather(row, sources + t * table.stride);
        sum = _mm256_add_ps(sum, _mm256_mul_ps(value, _mm256_loadu_ps(weights + t * table.stride)));
    }
    return sum;
}

template <int Eights>
GLINTARA_AVX2 int weighFloats(const float* row, const AcrossTable& table, int begin, int end,
                              float* out) {
    int e = begin;
    for (; e + 8 <= end; e += 8) {
        const int start = table.windowStarts[e / 8];
        __m256 sum;
        if (start >= 0) {
            Window window;
            for (int i = 0; i < Eights; ++i) {
                window.eights[i] = _mm256_loadu_ps(row + start + 8 * i);
            }
            sum = weighWindow<Eights>(window, table, e);
        } else {
            sum = weighGathered(row, table, e);
        }
        _mm256_storeu_ps(out + e, sum);
    }
    return e;
}

GLINTARA_AVX2 inline __m256 floatsOf(__m128i eightBytes) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(eightBytes));
}

template <int Eights, int Taps>
GLINTARA_AVX2 int weighBytes(const uchar* row, const AcrossTable& table, int begin, int end,
                             float* out) {
    int e = begin;
    const int* windowStarts = table.windowStarts + begin / 8;
    for (; e + 8 <= end; e += 8) {
        const uchar* start = row + *windowStarts++;
        Window window;
        for (int i = 0; i < Eights; i += 2) {
            const __m128i sixteen =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(start + 8 * i));
            window.eights[i] = floatsOf(sixteen);
            window.eights[i + 1] = floatsOf(_mm_srli_si128(sixteen, 8));
        }
        _mm256_storeu_ps(out + e, weighWindow<Eights, Taps>(window, table, e));
    }
    return e;
}

GLINTARA_AVX2 int weighAcrossEights(const float* row, const AcrossTable& table, int begin, int end,
                                    float* out) {
    return table.window == 16 ? weighFloats<2>(row, table, begin, end, out)
                              : weighFloats<4>(row, table, begin, end, out);
}

GLINTARA_AVX2 int weighAcrossEightsFromBytes(const uchar* row, const AcrossTable& table, int begin,
                                             int end, float* out) {
    // Shrinks by less than two, as of 960x720 frames to 640x480, weigh two taps a value.
    if (table.window == 16) {
        return table.taps == 2 ? weighBytes<2, 2>(row, table, begin, end, out)
                               : weighBytes<2, 0>(row, table, begin, end, out);
    }
    return weighBytes<4, 0>(row, table, begin, end, out);
}

GLINTARA_AVX2 int weighDownEights(const float* across, float weight, bool first, bool last,
                                  int begin, int end, float* sums, uchar* out) {
    const __m256 w = _mm256_set1_ps(weight);
    int e = begin;
    for (; e + 8 <= end; e += 8) {
        const __m256 share = _mm256_mul_ps(w, _mm256_loadu_ps(across + e));
        const __m256 sum = first ? share : _mm256_add_ps(_mm256_loadu_ps(sums + e), share);
        if (!last) {
            _mm256_storeu_ps(sums + e, sum);
            continue;
        }
        // Rounded to the nearest, halves to even, as cvRound does, then saturated.
        const __m256i whole = _mm256_cvtps_epi32(sum);
        const __m128i words =
            _mm_packs_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + e), _mm_packus_epi16(words, words));
    }
    return e;
}

}  // namespace glintara
