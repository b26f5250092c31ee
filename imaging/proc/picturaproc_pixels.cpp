#include "picturaproc_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "iequantizer.h"
#include "picturaproc_rows.h"

// ---- Bits ---------------------------------------------------------------------------------------

int32_t IEGetBit(const void* Buffer, int32_t Index) {
    return ((const uint8_t*)Buffer)[Index >> 3] & (0x80 >> (Index & 7));
}

void IESetBit(void* Buffer, int32_t Index, bool Value) {
    uint8_t& b = ((uint8_t*)Buffer)[Index >> 3];
    const uint8_t mask = (uint8_t)(0x80 >> (Index & 7));
    if (Value) b |= mask;
    else b &= (uint8_t)~mask;
}

void IECopyBits(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceBitPos, int32_t Count,
                int32_t SourceLen) {
    if (Count < 1 || DestBitPos < 0 || SourceBitPos < 0) return;
    const uint8_t* src = (const uint8_t*)Source;
    uint8_t* dst = (uint8_t*)Dest;
    // The source bytes that hold the run, and no byte at or past SourceLen.
    const int64_t lastSourceByte = std::min<int64_t>(((int64_t)SourceBitPos + Count - 1) >> 3, (int64_t)SourceLen - 1);
    auto sourceByte = [&](int64_t i) -> uint32_t {
        return (i >= (SourceBitPos >> 3) && i <= lastSourceByte) ? src[i] : 0;
    };
    const int64_t firstDest = DestBitPos >> 3;
    const int64_t lastDestBit = (int64_t)DestBitPos + Count - 1;
    const int64_t lastDest = lastDestBit >> 3;
    for (int64_t d = firstDest; d <= lastDest; ++d) {
        // Source bit that lands on the first bit of this destination byte (floor division).
        const int64_t s0 = d * 8 - DestBitPos + SourceBitPos;
        const int64_t byteIndex = s0 >= 0 ? s0 >> 3 : -((-s0 + 7) >> 3);
        const int32_t shift = (int32_t)(s0 - byteIndex * 8);
        const uint32_t window = (sourceByte(byteIndex) << 8) | sourceByte(byteIndex + 1);
        const uint8_t bits = (uint8_t)(window >> (8 - shift));
        uint32_t mask = 0xFF;
        if (d == firstDest) mask &= 0xFFu >> (DestBitPos & 7);
        if (d == lastDest) mask &= 0xFFu << (7 - (lastDestBit & 7));
        dst[d] = (uint8_t)((dst[d] & ~mask) | (bits & mask));
    }
}

void IECopyBitsOneByOne(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceBitPos, int32_t Count,
                        int32_t SourceLen) {
    for (int32_t i = 0; i < Count; ++i) IESetBit(Dest, DestBitPos + i, IEGetBit(Source, SourceBitPos + i) != 0);
}

void IENotBuffer(void* Buffer, int32_t Length) {
    uint8_t* p = (uint8_t*)Buffer;
    for (int32_t i = 0; i < Length; ++i) p[i] = (uint8_t)~p[i];
}

void IENotBitmap(TIEBitmap* Bitmap) {
    const int32_t rowLen = Bitmap->GetRowLen();
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) IENotBuffer(Bitmap->GetScanline(y), rowLen);
    Bitmap->ReleaseRowBuffers();
}

// ---- Channel swaps ------------------------------------------------------------------------------

void IECopySwapRB(void* Dest, const void* Source, int32_t Count) {
    const uint8_t* s = (const uint8_t*)Source;
    uint8_t* d = (uint8_t*)Dest;
    for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
        const uint8_t first = s[0], mid = s[1], last = s[2];
        d[0] = last;
        d[1] = mid;
        d[2] = first;
    }
}

void IESwapRB(void* Buffer, int32_t Count) { IECopySwapRB(Buffer, Buffer, Count); }

void IESwapRB48(void* Buffer, int32_t Count) {
    uint8_t* p = (uint8_t*)Buffer;
    for (int32_t i = 0; i < Count; ++i, p += 6) {
        uint8_t w[2];
        std::memcpy(w, p, 2);
        std::memcpy(p, p + 4, 2);
        std::memcpy(p + 4, w, 2);
    }
}

void IESwapRBPalette(TIERGB* Palette, int32_t Unused, int32_t Count) { IESwapRB(Palette, Count); }

// ---- Row conversion -----------------------------------------------------------------------------

int32_t IEConvertPixelRow(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits, uint16_t Width,
                          const TIERGB* Palette, int32_t PaletteCount, TIEQuantizer* Quantizer) {
    const int32_t w = Width;
    const bool quantized = SourceBits == 24 && (DestBits == 4 || DestBits == 8);
    if (quantized && !Quantizer) return 0;
    const uint8_t* s = (const uint8_t*)Source;
    uint8_t* d = (uint8_t*)Dest;
    // A row converted in place (or into a shifted copy of itself) would read pixels it has already
    // overwritten: such a source row is read from a copy.
    const size_t sourceLen = ((size_t)w * SourceBits + 7) / 8, destLen = ((size_t)w * DestBits + 7) / 8;
    std::vector<uint8_t> sourceCopy;
    if (s < d + destLen && d < s + sourceLen) {
        sourceCopy.assign(s, s + sourceLen);
        s = sourceCopy.data();
    }
    auto entry = [&](int32_t i) {
        return (Palette && i < PaletteCount) ? Palette[i] : TIERGB{0, 0, 0};
    };
    auto putEntry = [&](int32_t x, int32_t i) { ((TIERGB*)d)[x] = entry(i); };
    auto nibble = [&](int32_t x) { return (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; };
    auto orNibble = [&](int32_t x, int32_t v) { d[x >> 1] |= (uint8_t)((v & 15) << ((x & 1) ? 0 : 4)); };
    auto quantize = [&](int32_t x) { return Quantizer->RGBIndex(((const TIERGB*)s)[x]); };
    switch (SourceBits * 100 + DestBits) {
    case 2404:
        for (int32_t x = 0; x < w; ++x) orNibble(x, quantize(x));
        break;
    case 2408:
        for (int32_t x = 0; x < w; ++x) d[x] = (uint8_t)quantize(x);
        break;
    case 2424: std::memmove(d, s, (size_t)w * 3); break;
    case 3224:
        for (int32_t x = 0; x < w; ++x) std::memmove(d + 3 * x, s + 4 * x, 3);
        break;
    case 801:
        std::memset(d, 0, (size_t)(w + 7) / 8);
        for (int32_t x = 0; x < w; ++x)
            if (s[x]) IESetBit(d, x, true);
        break;
    case 808: std::memmove(d, s, (size_t)w); break;
    case 824:
        for (int32_t x = 0; x < w; ++x) putEntry(x, s[x]);
        break;
    case 404: std::memmove(d, s, (size_t)(w + 1) / 2); break;
    case 408:
        for (int32_t x = 0; x < w; ++x) d[x] = (uint8_t)nibble(x);
        break;
    case 424:
        for (int32_t x = 0; x < w; ++x) putEntry(x, nibble(x));
        break;
    case 101: std::memmove(d, s, (size_t)(w + 7) / 8); break;
    case 104:
        for (int32_t x = 0; x < w; ++x) orNibble(x, IEGetBit(s, x) ? 1 : 0);
        break;
    case 108:
        for (int32_t x = 0; x < w; ++x) d[x] = IEGetBit(s, x) ? 1 : 0;
        break;
    case 124:
        for (int32_t x = 0; x < w; ++x) putEntry(x, IEGetBit(s, x) ? 1 : 0);
        break;
    default: break;
    }
    switch (DestBits) {
    case 1: return (w + 7) / 8;
    case 4: return (w + 1) / 2;
    case 8: return w;
    case 24: return 3 * w;
    default: return 0;
    }
}

// ---- Colour space -------------------------------------------------------------------------------

void IERGBToHSL(const TIERGB& Color, double& H, double& S, double& L) {
    const double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
    const double mx = std::max(r, std::max(g, b)), mn = std::min(r, std::min(g, b));
    L = (mx + mn) / 2;
    if (mx == mn) {
        H = S = 0;
        return;
    }
    const double delta = mx - mn;
    S = L < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    if (mx == r) H = (g - b) / delta;
    else if (mx == g) H = 2 + (b - r) / delta;
    else H = 4 + (r - g) / delta;
    H /= 6;
    if (H < 0) H += 1;
}

double IEHSLChannel(double h, double m2, double m1) {
    if (h < 0) h += 1;
    if (h > 1) h -= 1;
    if (6 * h < 1) return m1 + (m2 - m1) * 6 * h;
    if (2 * h < 1) return m2;
    if (3 * h < 2) return m1 + (m2 - m1) * (2.0 / 3 - h) * 6;
    return m1;
}

void IEHSLToRGB(TIERGB& Color, double H, double S, double L) {
    if (H < 0) H += 1;
    if (H > 1) H -= 1;
    S = std::min(1.0, std::max(0.0, S));
    L = std::min(1.0, std::max(0.0, L));
    auto toByte = [](double v) { return (uint8_t)std::min(255.0, std::max(0.0, std::nearbyint(v * 255))); };
    if (S == 0) {
        Color.r = Color.g = Color.b = toByte(L);
        return;
    }
    const double m2 = L <= 0.5 ? L * (1 + S) : L + S - L * S;
    const double m1 = 2 * L - m2;
    Color.r = toByte(IEHSLChannel(H + 1.0 / 3, m2, m1));
    Color.g = toByte(IEHSLChannel(H, m2, m1));
    Color.b = toByte(IEHSLChannel(H - 1.0 / 3, m2, m1));
}

// ---- Comparison ---------------------------------------------------------------------------------

namespace {

bool RowsEqual(TIEBitmap* A, TIEBitmap* B) {
    if (A->GetRowLen() != B->GetRowLen()) return false;
    const size_t len = (size_t)A->GetRowLen();
    bool equal = true;
    for (int32_t y = 0; y < A->GetHeight() && equal; ++y)
        equal = std::memcmp(A->GetScanline(y), B->GetScanline(y), len) == 0;
    A->ReleaseRowBuffers();
    B->ReleaseRowBuffers();
    return equal;
}

}  // namespace

bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
    if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
    if (A->HasAlphaChannel() != B->HasAlphaChannel()) return false;
    if (!RowsEqual(A, B)) return false;
    return !A->HasAlphaChannel() || RowsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
}

// ---- Convolution --------------------------------------------------------------------------------

void IEConvolve3x3Gray8(TIEBitmap* Bitmap, const TIEFilterRecord& Filter, int32_t X1, int32_t Y1, int32_t X2,
                        int32_t Y2) {
    if (Bitmap->GetPixelFormat() != ie8g) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, w);
    Y2 = std::min(Y2, h);
    if (X2 <= X1 || Y2 <= Y1) return;
    const int32_t divisor = Filter.Divisor == 0 ? 1 : Filter.Divisor;
    // Coefficient k times every grey value, and the sums, in 64 bits: a caller's coefficient may
    // take any 32-bit value.
    std::vector<int64_t> table(9 * 256);
    for (int32_t k = 0; k < 9; ++k)
        for (int32_t v = 0; v < 256; ++v) table[(size_t)k * 256 + v] = (int64_t)Filter.Values[k / 3][k % 3] * v;
    const int32_t cols = X2 - X1;
    std::vector<uint8_t> result((size_t)cols * (size_t)(Y2 - Y1));
    {
        TIELockedRows rows(Bitmap);
        for (int32_t y = Y1; y < Y2; ++y) {
            const uint8_t* line[3] = {rows[std::max(y - 1, 0)], rows[y], rows[std::min(y + 1, h - 1)]};
            uint8_t* out = &result[(size_t)(y - Y1) * cols];
            for (int32_t x = X1; x < X2; ++x) {
                const int32_t at[3] = {std::max(x - 1, 0), x, std::min(x + 1, w - 1)};
                int64_t sum = 0;
                for (int32_t r = 0; r < 3; ++r)
                    for (int32_t c = 0; c < 3; ++c) sum += table[(size_t)(r * 3 + c) * 256 + line[r][at[c]]];
                out[x - X1] = (uint8_t)std::min<int64_t>(std::max<int64_t>(std::abs(sum) / divisor, 0), 255);
            }
        }
    }
    for (int32_t y = Y1; y < Y2; ++y)
        std::memcpy(Bitmap->GetScanline(y) + X1, &result[(size_t)(y - Y1) * cols], (size_t)cols);
    Bitmap->ReleaseRowBuffers();
}
