// Pixel-format conversion of TIEBitmap: one row kernel per pair of formats, chosen once per
// image, run row by row (so that a file-stored image converts with one mapped row of each side).
// Pairs without a kernel go through 24-bit RGB.
#include "iebitmap_convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "ieprochooks.h"
#include "picturaio_colour.h"

using ieconvert::TruncSafe;

namespace {

// What a row kernel reads besides the row: the source palette and its precomputed values, the
// grey weights and the display range.
struct TRowContext {
    TIERGB Palette[256] = {};
    uint8_t PaletteGray[256] = {};
    uint16_t PaletteGray16[256] = {};
    float PaletteFloat[256] = {};
    int32_t WeightR = 21, WeightG = 71, WeightB = 8;
    int32_t RangeLow = 0, RangeHigh = 0;   // Trunc of the display range bounds
    double RangeWidth = 0;                 // high - low
    const IIEQuantizer* Quantizer = nullptr;
    struct TIndexCache* Indices = nullptr;
    // The destination is far larger than the caches: the vector loops write past them.
    bool Stream = false;
};

// The quantizer's answers for the colours met lately: a photograph repeats colours, and a NeuQuant
// search costs far more than a look-up. Keys are 24-bit colours; an empty slot holds 0xFFFFFFFF.
struct TIndexCache {
    static constexpr uint32_t kSlots = 1 << 16;
    std::vector<uint32_t> Keys = std::vector<uint32_t>(kSlots, 0xFFFFFFFFu);
    std::vector<uint8_t> Values = std::vector<uint8_t>(kSlots, 0);
};

using TRowKernel = void (*)(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W);

template <typename T>
inline T Load(const uint8_t* P) {
    T v;
    std::memcpy(&v, P, sizeof(T));
    return v;
}
template <typename T>
inline void Store(uint8_t* P, T V) {
    std::memcpy(P, &V, sizeof(T));
}

inline bool Bit(const uint8_t* S, int32_t X) { return (S[X >> 3] & (0x80 >> (X & 7))) != 0; }

inline uint8_t Gray8(const TRowContext& C, uint32_t R, uint32_t G, uint32_t B) {
    return static_cast<uint8_t>(static_cast<int32_t>(R * static_cast<uint32_t>(C.WeightR) +
                                                     G * static_cast<uint32_t>(C.WeightG) +
                                                     B * static_cast<uint32_t>(C.WeightB)) / 100);
}

inline uint16_t Gray16(uint32_t R16, uint32_t G16, uint32_t B16) {
    return static_cast<uint16_t>((212 * R16 + 713 * G16 + 75 * B16) / 1000);
}

inline double GrayFloat(double R, double G, double B) { return (R * 0.2126 + G * 0.7152 + B * 0.0722) / 255; }

// ---- To 24-bit RGB (N = 3) and to 32-bit RGB (N = 4, fourth byte 255) ---------------------------

template <int N>
inline void PutRGB(uint8_t* D, uint8_t B, uint8_t G, uint8_t R) {
    D[0] = B;
    D[1] = G;
    D[2] = R;
    if (N == 4) D[3] = 255;
}

// Eight pixels of 24-bit grey for each value of a 1-bit byte.
struct TBitExpand24 {
    uint8_t Pixels[256][24];
    TBitExpand24() {
        for (int v = 0; v < 256; ++v)
            for (int i = 0; i < 8; ++i) std::memset(Pixels[v] + 3 * i, (v & (0x80 >> i)) ? 255 : 0, 3);
    }
};

template <int N>
void From1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    int32_t x = 0;
    if (N == 3) {
        static const TBitExpand24 expand;
        for (; x + 8 <= W; x += 8, D += 24) std::memcpy(D, expand.Pixels[S[x >> 3]], 24);
    }
    for (; x < W; ++x, D += N) {
        const uint8_t v = Bit(S, x) ? 255 : 0;
        PutRGB<N>(D, v, v, v);
    }
}

template <int N>
void From8p(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += N) {
        const TIERGB& p = C.Palette[S[x]];
        PutRGB<N>(D, p.b, p.g, p.r);
    }
}

template <int N>
void From8g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += N) PutRGB<N>(D, S[x], S[x], S[x]);
}

template <int N>
void From16g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += N) {
        const uint8_t v = static_cast<uint8_t>(Load<uint16_t>(S + 2 * x) >> 8);
        PutRGB<N>(D, v, v, v);
    }
}

// The display-range rule: clamped to Trunc(low)..Trunc(high) and stretched onto 0..255.
inline uint8_t RangeGray(const TRowContext& C, int32_t V) {
    V = std::min(std::max(V, C.RangeLow), C.RangeHigh);
    return static_cast<uint8_t>(TruncSafe((V - C.RangeLow) / C.RangeWidth * 255));
}

void From8gRange(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 3) {
        const uint8_t v = RangeGray(C, S[x]);
        PutRGB<3>(D, v, v, v);
    }
}

void From16gRange(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 3) {
        const uint8_t v = RangeGray(C, Load<uint16_t>(S + 2 * x));
        PutRGB<3>(D, v, v, v);
    }
}

#if defined(__SSE2__)
// The four 3-byte pixels at P as four 32-bit lanes, by four 4-byte loads: the fourth byte of a lane
// is the next pixel's first (callers mask or overwrite it). Reads the 12 bytes at P and no more.
inline __m128i Load4Pixels(const uint8_t* P) {
    const auto lane = [P](int I) { return _mm_cvtsi32_si128(static_cast<int>(Load<uint32_t>(P + 3 * I))); };
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(lane(0), lane(1)), _mm_unpacklo_epi32(lane(2), lane(3)));
}

// Stores 16 bytes; past the caches (non-temporal) when Stream, in which case D is 16-byte aligned.
inline void Put16(uint8_t* D, __m128i V, bool Stream) {
    if (Stream) _mm_stream_si128(reinterpret_cast<__m128i*>(D), V);
    else _mm_storeu_si128(reinterpret_cast<__m128i*>(D), V);
}

// Whether a row starting at D goes past the caches; a fence after such a row (FinishRow) orders its
// stores before whatever reads the image next.
inline bool StreamRow(const TRowContext& C, const uint8_t* D) {
    return C.Stream && (reinterpret_cast<uintptr_t>(D) & 15) == 0;
}
inline void FinishRow(bool Stream) {
    if (Stream) _mm_sfence();
}

// The first three bytes of each 32-bit lane, one after the other in the first 12 bytes.
inline __m128i Pack4To3(__m128i V) {
    const __m128i m0 = _mm_setr_epi32(0x00FFFFFF, 0, 0, 0), m1 = _mm_setr_epi32(0, 0x00FFFFFF, 0, 0),
                  m2 = _mm_setr_epi32(0, 0, 0x00FFFFFF, 0), m3 = _mm_setr_epi32(0, 0, 0, 0x00FFFFFF);
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(V, m0), _mm_srli_si128(_mm_and_si128(V, m1), 1)),
                        _mm_or_si128(_mm_srli_si128(_mm_and_si128(V, m2), 2), _mm_srli_si128(_mm_and_si128(V, m3), 3)));
}

#endif

void From24To32(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const bool stream = StreamRow(C, D);
    for (; x + 4 <= W; x += 4, S += 12, D += 16) Put16(D, _mm_or_si128(Load4Pixels(S), opaque), stream);
    FinishRow(stream);
#endif
    for (; x < W; ++x, S += 3, D += 4) PutRGB<4>(D, S[0], S[1], S[2]);
}

void From32To24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 4, D += 3) PutRGB<3>(D, S[0], S[1], S[2]);
}

template <int N>
void From32f(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += N) {
        const uint8_t v = static_cast<uint8_t>(TruncSafe(static_cast<double>(Load<float>(S + 4 * x)) * 255));
        PutRGB<N>(D, v, v, v);
    }
}

// V div 255 for V in 0..65025 without a division.
inline uint32_t Div255(uint32_t V) { return (V + 1 + (V >> 8)) >> 8; }

// Ink x black / 255 for every pair of stored bytes, indexed [black][ink].
struct TInkTable {
    uint8_t Value[256][256];
    TInkTable() {
        for (uint32_t k = 0; k < 256; ++k)
            for (uint32_t c = 0; c < 256; ++c) Value[k][c] = static_cast<uint8_t>(Div255(c * k));
    }
};

template <int N>
void FromCMYK(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    if (IEUseCMYKProfile && IEInitCMYKProfile()) {
        // Through the CMYK profile, as every CMYK pixel of the library converts.
        std::vector<TIERGB> rgb((size_t)W);
        IECMYKRowToRGB(S, rgb.data(), W);
        for (int32_t x = 0; x < W; ++x, D += N) PutRGB<N>(D, rgb[(size_t)x].b, rgb[(size_t)x].g, rgb[(size_t)x].r);
        return;
    }
    int32_t x = 0;
#if defined(__SSE2__)
    // Four pixels a step: the inks and black as 16-bit halves of each pixel's lane, multiplied,
    // divided by 255, and put back in the order blue, green, red.
    const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF), lowHalf = _mm_set1_epi32(0xFFFF);
    const __m128i fourth = _mm_set1_epi32(N == 4 ? static_cast<int>(0xFF000000u) : 0);
    // V div 255 for V in 0..65025: (V x 32897) shr 23, the high 16 bits of the product shr 7.
    const __m128i by255 = _mm_set1_epi16(static_cast<short>(0x8081));
    const auto div255 = [&](__m128i V) { return _mm_srli_epi16(_mm_mulhi_epu16(V, by255), 7); };
    const bool stream = N == 4 && StreamRow(C, D);
    for (; x + 4 <= W; x += 4, S += 16, D += 4 * N) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
        __m128i black = _mm_srli_epi32(p, 24);
        black = _mm_or_si128(black, _mm_slli_epi32(black, 16));
        const __m128i firstThird = div255(_mm_mullo_epi16(_mm_and_si128(p, lowBytes), black));            // inks 0 and 2
        const __m128i second = div255(_mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), lowBytes), black));   // ink 1
        const __m128i swapped = _mm_shufflehi_epi16(_mm_shufflelo_epi16(firstThird, 0xB1), 0xB1);
        const __m128i lanes = _mm_or_si128(_mm_or_si128(swapped, _mm_slli_epi32(_mm_and_si128(second, lowHalf), 8)), fourth);
        if (N == 4) {
            Put16(D, lanes, stream);
        } else if (x + 6 <= W) {
            // The 4 bytes past the 12 are the next pixels' and are written again after.
            _mm_storeu_si128(reinterpret_cast<__m128i*>(D), Pack4To3(lanes));
        } else {
            const __m128i packed = Pack4To3(lanes);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(D), packed);
            Store<uint32_t>(D + 8, static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8))));
        }
    }
    FinishRow(stream);
#endif
    static const TInkTable table;
    for (; x < W; ++x, S += 4, D += N) {
        const uint8_t* byBlack = table.Value[S[3]];
        PutRGB<N>(D, byBlack[S[2]], byBlack[S[1]], byBlack[S[0]]);
    }
}

template <int N>
void From48(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    // Words red, green, blue: the high byte of each.
    for (int32_t x = 0; x < W; ++x, S += 6, D += N) {
        PutRGB<N>(D, static_cast<uint8_t>(Load<uint16_t>(S + 4) >> 8), static_cast<uint8_t>(Load<uint16_t>(S + 2) >> 8),
                  static_cast<uint8_t>(Load<uint16_t>(S) >> 8));
    }
}

template <int N>
void FromLab(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 3, D += N) {
        const TIERGB p = IECIELabToRGB(static_cast<uint32_t>(S[0]) | static_cast<uint32_t>(S[1]) << 8 |
                                       static_cast<uint32_t>(S[2]) << 16);
        PutRGB<N>(D, p.b, p.g, p.r);
    }
}

// ---- To one grey byte per pixel (ie8g, and the level of ie1g and of a grey-ramp ie8p) -----------

void Gray1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[x] = Bit(S, x) ? 255 : 0;
}
void Gray8p(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[x] = C.PaletteGray[S[x]];
}
void Gray8g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) { std::memcpy(D, S, static_cast<size_t>(W)); }
void Gray16g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[x] = static_cast<uint8_t>(Load<uint16_t>(S + 2 * x) >> 8);
}
void Gray24(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    const uint32_t wr = static_cast<uint32_t>(C.WeightR), wg = static_cast<uint32_t>(C.WeightG), wb = static_cast<uint32_t>(C.WeightB);
    if (C.WeightR >= 0 && C.WeightG >= 0 && C.WeightB >= 0 && wr + wg + wb <= 171) {
        // The weighted sum stays below 43691, where (sum x 5243) shr 19 equals sum div 100.
        int32_t x = 0;
#if defined(__SSE2__)
        // Sixteen pixels a step: each pixel a 32-bit lane; blue x wb + red x wr by one multiply-add
        // of the 16-bit halves, green x wg beside it (the lane's fourth byte times 0); the sum
        // (below 65536) times 5243 shr 16 by the unsigned high multiply, then shr 3.
        const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
        const __m128i blueRed = _mm_set1_epi32(static_cast<int>(wb | wr << 16)), green = _mm_set1_epi32(static_cast<int>(wg));
        const __m128i by100 = _mm_set1_epi16(5243);
        const auto four = [&](const uint8_t* P) {
            const __m128i p = Load4Pixels(P);
            const __m128i sum = _mm_add_epi32(_mm_madd_epi16(_mm_and_si128(p, lowBytes), blueRed),
                                              _mm_mullo_epi16(_mm_and_si128(_mm_srli_epi32(p, 8), lowBytes), green));
            return _mm_srli_epi32(_mm_mulhi_epu16(sum, by100), 3);
        };
        const bool stream = StreamRow(C, D);
        for (; x + 16 <= W; x += 16) {
            const uint8_t* p = S + 3 * x;
            const __m128i lo = _mm_packs_epi32(four(p), four(p + 12)), hi = _mm_packs_epi32(four(p + 24), four(p + 36));
            Put16(D + x, _mm_packus_epi16(lo, hi), stream);
        }
        FinishRow(stream);
#endif
        for (; x < W; ++x) D[x] = static_cast<uint8_t>(((S[3 * x + 2] * wr + S[3 * x + 1] * wg + S[3 * x] * wb) * 5243u) >> 19);
        return;
    }
    for (int32_t x = 0; x < W; ++x, S += 3) D[x] = Gray8(C, S[2], S[1], S[0]);
}
// The low byte of Trunc(v x 255), unclamped.
void Gray32f(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[x] = static_cast<uint8_t>(TruncSafe(static_cast<double>(Load<float>(S + 4 * x)) * 255));
}
// Trunc(v x 255) clamped to 0..255: the level of a float pixel for a 1-bit image.
void Gray32fClamped(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) {
        const int64_t v = TruncSafe(static_cast<double>(Load<float>(S + 4 * x)) * 255);
        D[x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}
void Gray48(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 6)
        D[x] = Gray8(C, Load<uint16_t>(S) >> 8, Load<uint16_t>(S + 2) >> 8, Load<uint16_t>(S + 4) >> 8);
}
// ie1g to palette indices 0 and 1.
void Index1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) D[x] = Bit(S, x) ? 1 : 0;
}
void Index24(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    const TIERGB* p = reinterpret_cast<const TIERGB*>(S);
    TIndexCache& cache = *C.Indices;
    for (int32_t x = 0; x < W; ++x) {
        const uint32_t key = static_cast<uint32_t>(p[x].r) << 16 | static_cast<uint32_t>(p[x].g) << 8 | p[x].b;
        const uint32_t slot = (key * 2654435761u) >> 16;
        if (cache.Keys[slot] != key) {
            cache.Keys[slot] = key;
            cache.Values[slot] = static_cast<uint8_t>(C.Quantizer->RGBIndex(p[x]));
        }
        D[x] = cache.Values[slot];
    }
}

// ---- To 16-bit grey -----------------------------------------------------------------------------

void W16From1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<uint16_t>(D + 2 * x, Bit(S, x) ? 65535 : 0);
}
void W16From8p(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<uint16_t>(D + 2 * x, C.PaletteGray16[S[x]]);
}
void W16From8g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<uint16_t>(D + 2 * x, static_cast<uint16_t>(S[x] * 257));
}
void W16From24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 3) Store<uint16_t>(D + 2 * x, Gray16(S[2] * 257u, S[1] * 257u, S[0] * 257u));
}
void W16From32f(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x)
        Store<uint16_t>(D + 2 * x, static_cast<uint16_t>(TruncSafe(static_cast<double>(Load<float>(S + 4 * x)) * 65535)));
}
void W16From48(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 6)
        Store<uint16_t>(D + 2 * x, Gray16(Load<uint16_t>(S), Load<uint16_t>(S + 2), Load<uint16_t>(S + 4)));
}

// ---- To float grey ------------------------------------------------------------------------------

void FFrom1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<float>(D + 4 * x, Bit(S, x) ? 1.0f : 0.0f);
}
void FFrom8p(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<float>(D + 4 * x, C.PaletteFloat[S[x]]);
}
void FFrom8g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<float>(D + 4 * x, static_cast<float>(S[x] / 255.0));
}
void FFrom16g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x) Store<float>(D + 4 * x, static_cast<float>(Load<uint16_t>(S + 2 * x) / 65535.0));
}
void FFrom24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 3) Store<float>(D + 4 * x, static_cast<float>(GrayFloat(S[2], S[1], S[0])));
}
void FFrom48(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 6)
        Store<float>(D + 4 * x, static_cast<float>((Load<uint16_t>(S) * 0.2126 / 256 + Load<uint16_t>(S + 2) * 0.7152 / 256 +
                                                    Load<uint16_t>(S + 4) * 0.0722 / 256) / 255));
}

// ---- To 48-bit RGB (words red, green, blue) -----------------------------------------------------

inline void Put48(uint8_t* D, uint16_t R, uint16_t G, uint16_t B) {
    const uint16_t w[3] = {R, G, B};
    std::memcpy(D, w, 6);
}
void W48From1g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 6) {
        const uint16_t v = Bit(S, x) ? 65535 : 0;
        Put48(D, v, v, v);
    }
}
void W48From8p(const TRowContext& C, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 6) {
        const TIERGB& p = C.Palette[S[x]];
        Put48(D, static_cast<uint16_t>(p.r * 257), static_cast<uint16_t>(p.g * 257), static_cast<uint16_t>(p.b * 257));
    }
}
void W48From8g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 6) {
        const uint16_t v = static_cast<uint16_t>(S[x] * 257);
        Put48(D, v, v, v);
    }
}
void W48From16g(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 6) {
        const uint16_t v = Load<uint16_t>(S + 2 * x);
        Put48(D, v, v, v);
    }
}
void W48From24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, S += 3, D += 6)
        Put48(D, static_cast<uint16_t>(S[2] * 257), static_cast<uint16_t>(S[1] * 257), static_cast<uint16_t>(S[0] * 257));
}
void W48From32f(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    for (int32_t x = 0; x < W; ++x, D += 6) {
        const uint16_t v = static_cast<uint16_t>(TruncSafe(static_cast<double>(Load<float>(S + 4 * x)) * 65535));
        Put48(D, v, v, v);
    }
}

// ---- From 24-bit RGB to CMYK and CIELab ---------------------------------------------------------

void CMYKFrom24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    const TIERGB* p = reinterpret_cast<const TIERGB*>(S);
    for (int32_t x = 0; x < W; ++x, D += 4) {
        const uint32_t v = IERGBToCMYK((uint32_t)p[x].r << 16 | (uint32_t)p[x].g << 8 | p[x].b);
        D[0] = (uint8_t)v;
        D[1] = (uint8_t)(v >> 8);
        D[2] = (uint8_t)(v >> 16);
        D[3] = (uint8_t)(v >> 24);
    }
}
void LabFrom24(const TRowContext&, const uint8_t* S, uint8_t* D, int32_t W) {
    const TIERGB* p = reinterpret_cast<const TIERGB*>(S);
    for (int32_t x = 0; x < W; ++x, D += 3) {
        const uint32_t lab = IERGBToCIELab(IERGBValue(p[x]));
        D[0] = static_cast<uint8_t>(lab);
        D[1] = static_cast<uint8_t>(lab >> 8);
        D[2] = static_cast<uint8_t>(lab >> 16);
    }
}

// ---- The kernel of a pair -----------------------------------------------------------------------

template <int N>
TRowKernel ToRGB(TIEPixelFormat Source) {
    switch (Source) {
    case ie1g: return From1g<N>;
    case ie8p: return From8p<N>;
    case ie8g: return From8g<N>;
    case ie16g: return From16g<N>;
    case ie24RGB: return N == 4 ? From24To32 : nullptr;
    case ie32f: return From32f<N>;
    case ieCMYK: return FromCMYK<N>;
    case ieRGB48: return From48<N>;
    case ieCIELab: return FromLab<N>;
    case ie32RGB: return N == 3 ? From32To24 : nullptr;
    default: return nullptr;
    }
}

TRowKernel ToGray(TIEPixelFormat Source) {
    switch (Source) {
    case ie1g: return Gray1g;
    case ie8p: return Gray8p;
    case ie8g: return Gray8g;
    case ie16g: return Gray16g;
    case ie24RGB: return Gray24;
    case ie32f: return Gray32f;
    case ieRGB48: return Gray48;
    default: return nullptr;
    }
}

// The kernel that writes Dest rows from Source rows, or nullptr when the pair goes through 24-bit
// RGB. ie1g destinations are handled apart (they need the row number or a first pass).
TRowKernel SelectKernel(TIEPixelFormat Source, TIEPixelFormat Dest, bool DisplayRange) {
    switch (Dest) {
    case ie24RGB:
        if (DisplayRange && Source == ie8g) return From8gRange;
        if (DisplayRange && Source == ie16g) return From16gRange;
        return ToRGB<3>(Source);
    case ie32RGB: return ToRGB<4>(Source);
    case ie8g: return ToGray(Source);
    case ie8p:
        switch (Source) {
        case ie1g: return Index1g;
        case ie8g: return Gray8g;
        case ie16g: return Gray16g;
        case ie32f: return Gray32f;
        case ie24RGB: return Index24;
        default: return nullptr;
        }
    case ie16g:
        switch (Source) {
        case ie1g: return W16From1g;
        case ie8p: return W16From8p;
        case ie8g: return W16From8g;
        case ie24RGB: return W16From24;
        case ie32f: return W16From32f;
        case ieRGB48: return W16From48;
        default: return nullptr;
        }
    case ie32f:
        switch (Source) {
        case ie1g: return FFrom1g;
        case ie8p: return FFrom8p;
        case ie8g: return FFrom8g;
        case ie16g: return FFrom16g;
        case ie24RGB: return FFrom24;
        case ieRGB48: return FFrom48;
        default: return nullptr;
        }
    case ieRGB48:
        switch (Source) {
        case ie1g: return W48From1g;
        case ie8p: return W48From8p;
        case ie8g: return W48From8g;
        case ie16g: return W48From16g;
        case ie24RGB: return W48From24;
        case ie32f: return W48From32f;
        default: return nullptr;
        }
    case ieCMYK: return Source == ie24RGB ? CMYKFrom24 : nullptr;
    case ieCIELab: return Source == ie24RGB ? LabFrom24 : nullptr;
    default: return nullptr;
    }
}

// The grey level kernel of a source for an ie1g destination, or nullptr for a pair that goes
// through 24-bit RGB.
TRowKernel SelectLevelKernel(TIEPixelFormat Source, TIEDitherMethod Method) {
    if (Source == ie32f) return Gray32fClamped;
    if (Source == ieRGB48 && Method == iedmThreshold) return nullptr;
    return ToGray(Source);
}

// The 8 x 8 Bayer index matrix, indexed first by the column.
const uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

// Packs grey levels into a 1-bit row: white where the level beats the matrix.
void PackOrdered(const uint8_t* Levels, uint8_t* D, int32_t W, int32_t Y) {
    std::memset(D, 0, static_cast<size_t>((W + 7) / 8));
    const int32_t row = Y & 7;
    for (int32_t x = 0; x < W; ++x)
        if (kBayer[x & 7][row] < (Levels[x] >> 2)) D[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

TRowContext MakeContext(TIEBitmap* Source, TIEBitmap* Dest) {
    TRowContext c;
    // Beyond 16 MB the written rows would only push the source out of the caches.
    c.Stream = static_cast<int64_t>(Dest->GetRowLen()) * Dest->GetHeight() > (int64_t(16) << 20);
    c.WeightR = IEGrayRedWeight;
    c.WeightG = IEGrayGreenWeight;
    c.WeightB = IEGrayBlueWeight;
    if (Source->GetPixelFormat() == ie8p && Source->GetPalette()) {
        std::memcpy(c.Palette, Source->GetPalette(), sizeof(TIERGB) * static_cast<size_t>(std::min(256, Source->GetPaletteLength())));
        for (int i = 0; i < 256; ++i) {
            const TIERGB& p = c.Palette[i];
            c.PaletteGray[i] = Gray8(c, p.r, p.g, p.b);
            c.PaletteGray16[i] = Gray16(p.r * 257u, p.g * 257u, p.b * 257u);
            c.PaletteFloat[i] = static_cast<float>(GrayFloat(p.r, p.g, p.b));
        }
    }
    const double low = Dest->DisplayRange[0], high = Dest->DisplayRange[1];
    if (high - low != 0) {
        c.RangeLow = static_cast<int32_t>(TruncSafe(low));
        c.RangeHigh = static_cast<int32_t>(TruncSafe(high));
        c.RangeWidth = high - low;
    }
    return c;
}

// Runs Kernel over every row; Levels, when given, receives the kernel's output and Pack turns it
// into the destination row.
template <typename TPack>
void RunRows(TIEBitmap* Source, TIEBitmap* Dest, const TRowContext& C, TRowKernel Kernel, std::vector<uint8_t>* Levels,
             TPack Pack) {
    const int32_t w = Dest->GetWidth(), h = Dest->GetHeight();
    const TIEDataAccess sourceAccess = Source->Access, destAccess = Dest->Access;
    Source->Access = iedRead;
    Dest->Access = iedWrite;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = Source->GetScanline(y);
        uint8_t* d = Dest->GetScanline(y);
        if (Levels) {
            Kernel(C, s, Levels->data(), w);
            Pack(Levels->data(), d, w, y);
        } else {
            Kernel(C, s, d, w);
        }
    }
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
    Source->Access = sourceAccess;
    Dest->Access = destAccess;
}

// Writes Dest's rows from Source's; false when the pair has no direct rule.
bool ConvertRows(TIEBitmap* Source, TIEBitmap* Dest) {
    const TIEPixelFormat from = Source->GetPixelFormat(), to = Dest->GetPixelFormat();
    const bool range = (to == ie24RGB) && (from == ie8g || from == ie16g) && Dest->DisplayRange[1] - Dest->DisplayRange[0] != 0;
    TRowContext c = MakeContext(Source, Dest);
    const auto noPack = [](const uint8_t*, uint8_t*, int32_t, int32_t) {};

    if (to == ie1g) {
        const TRowKernel level = SelectLevelKernel(from, Dest->DitherMethod);
        if (!level) return false;
        std::vector<uint8_t> levels(static_cast<size_t>(Dest->GetWidth()));
        if (Dest->DitherMethod == iedmOrdered) {
            RunRows(Source, Dest, c, level, &levels, PackOrdered);
        } else {
            TIOProgressRecord progress;
            IEThresholdTo1BitHook(Source, Dest, -1, progress);
        }
        return true;
    }

    const TRowKernel kernel = SelectKernel(from, to, range);
    if (!kernel) return false;
    std::unique_ptr<IIEQuantizer> quantizer;
    std::unique_ptr<TIndexCache> indices;
    if (to == ie8p) {
        TIERGB* palette = Dest->GetPalette();
        if (from == ie1g) {
            Dest->SetPaletteEntry(0, TIERGB{0, 0, 0});
            Dest->SetPaletteEntry(1, TIERGB{255, 255, 255});
        } else if (from == ie24RGB) {
            std::vector<TIERGB> entries(256);
            if (palette) std::memcpy(entries.data(), palette, sizeof(TIERGB) * static_cast<size_t>(std::min(256, Dest->GetPaletteLength())));
            quantizer = IENewQuantizerHook(Source, entries.data(), 0, IEClamp(Dest->PaletteColors, 1, 256));
            for (int32_t i = 0; i < 256; ++i) Dest->SetPaletteEntry(i, entries[static_cast<size_t>(i)]);
            c.Quantizer = quantizer.get();
            indices.reset(new TIndexCache);
            c.Indices = indices.get();
        } else {
            for (int32_t i = 0; i < 256; ++i) Dest->SetPaletteEntry(i, TIERGB{(uint8_t)i, (uint8_t)i, (uint8_t)i});
        }
    }
    RunRows(Source, Dest, c, kernel, nullptr, noPack);
    if (range) Dest->DisplayRange[0] = Dest->DisplayRange[1] = 0;
    return true;
}

}  // namespace

void TIEBitmap::SetPixelFormat(TIEPixelFormat Value) {
    if (Value != PixelFormat) ConvertPixelFormat(Value);
}

void TIEBitmap::ConvertPixelFormat(TIEPixelFormat NewFormat) {
    if (Location == ieTBitmap) {
        // System-bitmap storage converts 1 bit to 24, and 24 bits to 1 (dithered by DitherMethod)
        // or to 8-bit grey: a copy in memory is converted by the rules below and copied back, the
        // system bitmap staying the same object. Other pairs convert nothing.
        SyncFromTBitmap();
        if (IsEmpty()) {
            // Nothing to convert: an empty system bitmap takes the depth asked for, so that the size
            // it is given next comes in that depth.
            SetEmptyTBitmapDepth(NewFormat);
            return;
        }
        const bool converts = (PixelFormat == ie1g && NewFormat == ie24RGB) ||
                              (PixelFormat == ie24RGB && (NewFormat == ie1g || NewFormat == ie8g));
        if (!converts) return;
        TIEBitmap copy;
        copy.DitherMethod = DitherMethod;
        copy.AssignImage(this);
        copy.ConvertPixelFormat(NewFormat);
        if (copy.PixelFormat == NewFormat && !copy.IsEmpty()) AssignImage(&copy);
        return;
    }
    TIEBitmap temp;
    MoveTo(&temp);
    Width = temp.Width;
    Height = temp.Height;
    PixelFormat = NewFormat;
    const bool ok = AllocateImage();
    NeedsAllocation = false;
    if (!ok) {
        FreeImage(true);
        Width = Height = 0;
        return;
    }
    // The alpha channel comes back as it is (the conversion would copy it and drop the original).
    if (!IsAlpha && temp.AlphaChannel) AlphaChannel = std::move(temp.AlphaChannel);
    if (temp.PixelFormat != ieNoFormat) ConvertFrom(&temp);
}

void TIEBitmap::ConvertFrom(TIEBitmap* Source) {
    if (!Source || Source == this) return;
    if (Source->Width != Width || Source->Height != Height || Location == ieTBitmap) return;
    const TIEPixelFormat from = Source->PixelFormat;
    const bool convertible = from != PixelFormat && from != ieNoFormat && from != ieVirtual && PixelFormat != ieNoFormat &&
                             PixelFormat != ieVirtual && !IsEmpty() && !Source->IsEmpty();
    if (convertible && !ConvertRows(Source, this)) {
        // No direct rule: through 24-bit RGB (the source itself changes). A system bitmap cannot
        // take 24 bits from every format: a 24-bit copy in memory stands in for it.
        if (Source->Location == ieTBitmap) {
            TIEBitmap copy;
            copy.AssignImage(Source);
            copy.ConvertPixelFormat(ie24RGB);
            if (copy.PixelFormat != ie24RGB || copy.Width != Width || copy.Height != Height) return;
            ConvertFrom(&copy);
            if (Source->AlphaChannel && !IsAlpha) GetAlphaChannel()->Assign(Source->AlphaChannel.get());
            return;
        }
        Source->ConvertPixelFormat(ie24RGB);
        if (Source->PixelFormat == ie24RGB && Source->Width == Width && Source->Height == Height) ConvertFrom(Source);
        return;
    }
    if (Source->AlphaChannel && !IsAlpha) GetAlphaChannel()->Assign(Source->AlphaChannel.get());
}
