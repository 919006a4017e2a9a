#include "core/yuv420_avx2.hpp"

#include <immintrin.h>

#include <cstring>

#include "core/yuv420.hpp"

#define GLINTARA_AVX2 __attribute__((target("avx2")))

namespace glintara {
namespace {

using W = Yuv420Weights;

// Sixteen BGR pixels as three planes of sixteen 16-bit values.
struct Channels {
    __m256i b, g, r;
};

// The shuffle that takes channel `channel` of sixteen pixels from the 16-byte part `part` of
// their 48 bytes into its place, zeroing the places other parts fill.
GLINTARA_AVX2 __m128i channelShuffle(int channel, int part) {
    alignas(16) char picks[16];
    for (int i = 0; i < 16; ++i) {
        const int at = 3 * i + channel - 16 * part;
        picks[i] = at >= 0 && at < 16 ? static_cast<char>(at) : static_cast<char>(-128);
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(picks));
}

struct Shuffles {
    __m128i picks[3][3];  // [channel][part]
};

GLINTARA_AVX2 Shuffles makeShuffles() {
    Shuffles shuffles;
    for (int channel = 0; channel < 3; ++channel) {
        for (int part = 0; part < 3; ++part) {
            shuffles.picks[channel][part] = channelShuffle(channel, part);
        }
    }
    return shuffles;
}

GLINTARA_AVX2 Channels loadChannels(const uchar* pixels, const Shuffles& s) {
    const __m128i parts[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 16)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 32))};
    __m256i planes[3];
    for (int channel = 0; channel < 3; ++channel) {
        const __m128i bytes =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(parts[0], s.picks[channel][0]),
                                      _mm_shuffle_epi8(parts[1], s.picks[channel][1])),
                         _mm_shuffle_epi8(parts[2], s.picks[channel][2]));
        planes[channel] = _mm256_cvtepu8_epi16(bytes);
    }
    return {planes[0], planes[1], planes[2]};
}

GLINTARA_AVX2 __m256i pairOf(int low, int high) {
    return _mm256_set1_epi32(static_cast<int>((static_cast<unsigned>(high) << 16) |
                                              static_cast<unsigned>(low & 0xffff)));
}

// Eight brightness values as 32-bit lanes from the pixels' blue-green and red-zero pairs.
GLINTARA_AVX2 __m256i brightnessOf(__m256i blueGreen, __m256i redZero) {
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(blueGreen, pairOf(W::kYB, W::kYG)),
                                          _mm256_madd_epi16(redZero, pairOf(W::kYR, 0))),
                         _mm256_set1_epi32(W::kYOffset));
    return _mm256_srai_epi32(sum, W::kShift);
}

// Sixteen brightness bytes, in pixel order.
GLINTARA_AVX2 void storeBrightness(const Channels& c, uchar* out) {
    const __m256i zero = _mm256_setzero_si256();
    // Unpacking and packing both work within 128-bit lanes, so pixel order comes back.
    const __m256i low =
        brightnessOf(_mm256_unpacklo_epi16(c.b, c.g), _mm256_unpacklo_epi16(c.r, zero));
    const __m256i high =
        brightnessOf(_mm256_unpackhi_epi16(c.b, c.g), _mm256_unpackhi_epi16(c.r, zero));
    const __m256i words = _mm256_packs_epi32(low, high);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
}

// Eight colour bytes from the blocks' channel sums: a weight times each side-by-side pair.
GLINTARA_AVX2 void storeColour(__m256i b, __m256i g, __m256i r, int wb, int wg, int wr,
                               uchar* out) {
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(b, _mm256_set1_epi16(static_cast<short>(wb))),
                         _mm256_madd_epi16(g, _mm256_set1_epi16(static_cast<short>(wg)))),
        _mm256_add_epi32(_mm256_madd_epi16(r, _mm256_set1_epi16(static_cast<short>(wr))),
                         _mm256_set1_epi32(W::kColourOffset)));
    const __m256i values = _mm256_srai_epi32(sum, W::kShift);
    const __m256i words = _mm256_packs_epi32(values, values);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const int low = _mm256_cvtsi256_si32(bytes);
    const int high = _mm256_extract_epi32(bytes, 4);
    std::memcpy(out, &low, 4);
    std::memcpy(out + 4, &high, 4);
}

}  // namespace

GLINTARA_AVX2 int yuv420SixteensAvx2(const uchar* above, const uchar* below, int width,
                                     uchar* yAbove, uchar* yBelow, uchar* cb, uchar* cr) {
    const Shuffles shuffles = makeShuffles();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Channels top = loadChannels(above + 3 * x, shuffles);
        const Channels bottom = loadChannels(below + 3 * x, shuffles);
        storeBrightness(top, yAbove + x);
        storeBrightness(bottom, yBelow + x);
        // Column sums of the two rows; the weights' pairwise multiply-add sums across.
        const __m256i b = _mm256_add_epi16(top.b, bottom.b);
        const __m256i g = _mm256_add_epi16(top.g, bottom.g);
        const __m256i r = _mm256_add_epi16(top.r, bottom.r);
        storeColour(b, g, r, W::kCbB, -W::kCbG, -W::kCbR, cb + x / 2);
        storeColour(b, g, r, -W::kCrB, -W::kCrG, W::kCrR, cr + x / 2);
    }
    return x;
}

namespace {

// The shuffle that puts channel `channel` of sixteen pixels into its places among the 16-byte
// part `part` of their 48 bytes, leaving the other places zero.
GLINTARA_AVX2 __m128i placeShuffle(int channel, int part) {
    alignas(16) char picks[16];
    for (int i = 0; i < 16; ++i) {
        const int at = 16 * part + i;
        picks[i] = at % 3 == channel ? static_cast<char>(at / 3) : static_cast<char>(-128);
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(picks));
}

// Sixteen values (eight per half, in 32-bit lanes, pixels 0-7 and 8-15) rounded down from
// fixed point and cut to bytes 0..255, in pixel order.
GLINTARA_AVX2 __m128i toBytes(__m256i low, __m256i high) {
    const __m256i half = _mm256_set1_epi32(1 << (ToBgrWeights::kShift - 1));
    const __m256i words =
        _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(low, half), ToBgrWeights::kShift),
                           _mm256_srai_epi32(_mm256_add_epi32(high, half), ToBgrWeights::kShift));
    // packs works within halves: 0-3 8-11 | 4-7 12-15.
    const __m256i ordered = _mm256_permute4x64_epi64(words, 0xd8);
    const __m256i bytes = _mm256_packus_epi16(ordered, ordered);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08));
}

// Eight 16-bit values from `from`'s half `second` as 32-bit lanes.
GLINTARA_AVX2 __m256i widen(__m256i from, bool second) {
    return _mm256_cvtepi16_epi32(second ? _mm256_extracti128_si256(from, 1)
                                        : _mm256_castsi256_si128(from));
}

// Eight colour samples, each serving two pixels side by side, less the value of no colour.
GLINTARA_AVX2 __m256i colourPairs(const uchar* samples, __m256i grey) {
    const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
    return _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(eight, eight)), grey);
}

}  // namespace

GLINTARA_AVX2 int bgrSixteensAvx2(const uchar* y, const uchar* cb, const uchar* cr, int column,
                                  int end, const ToBgrWeights& w, uchar* out) {
    __m128i places[3][3];  // [channel][part]
    for (int channel = 0; channel < 3; ++channel) {
        for (int part = 0; part < 3; ++part) {
            places[channel][part] = placeShuffle(channel, part);
        }
    }
    const __m256i black = _mm256_set1_epi16(static_cast<short>(w.black));
    const __m256i grey = _mm256_set1_epi16(static_cast<short>(w.grey));
    for (; column + 16 <= end; column += 16, out += 48) {
        const __m256i brightness = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + column))),
            black);
        const __m256i u = colourPairs(cb + column / 2, grey);
        const __m256i v = colourPairs(cr + column / 2, grey);
        __m256i channels[3][2];  // [blue, green, red][pixels 0-7, 8-15]
        for (int second = 0; second < 2; ++second) {
            const __m256i luma =
                _mm256_mullo_epi32(widen(brightness, second), _mm256_set1_epi32(w.y));
            const __m256i u32 = widen(u, second);
            const __m256i v32 = widen(v, second);
            channels[0][second] =
                _mm256_add_epi32(luma, _mm256_mullo_epi32(u32, _mm256_set1_epi32(w.blueU)));
            channels[1][second] = _mm256_sub_epi32(
                luma, _mm256_add_epi32(_mm256_mullo_epi32(u32, _mm256_set1_epi32(w.greenU)),
                                       _mm256_mullo_epi32(v32, _mm256_set1_epi32(w.greenV))));
            channels[2][second] =
                _mm256_add_epi32(luma, _mm256_mullo_epi32(v32, _mm256_set1_epi32(w.redV)));
        }
        __m128i bytes[3];
        for (int c = 0; c < 3; ++c) {
            bytes[c] = toBytes(channels[c][0], channels[c][1]);
        }
        for (int part = 0; part < 3; ++part) {
            const __m128i interleaved =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(bytes[0], places[0][part]),
                                          _mm_shuffle_epi8(bytes[1], places[1][part])),
                             _mm_shuffle_epi8(bytes[2], places[2][part]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * part), interleaved);
        }
    }
    return column;
}

}  // namespace glintara
