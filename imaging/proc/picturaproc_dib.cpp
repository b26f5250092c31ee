#include "picturaproc_dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "CheckedMath.h"
#include "iecoreutils_general.h"
#include "picturaproc_pixels.h"

namespace {

constexpr int32_t kHeaderSize = 40;

template <typename T>
T Read(const uint8_t* P, size_t Offset) {
    T v;
    std::memcpy(&v, P + Offset, sizeof(T));
    return v;
}

template <typename T>
void Write(uint8_t* P, size_t Offset, T V) {
    std::memcpy(P + Offset, &V, sizeof(T));
}

constexpr uint32_t FourCC(const char (&S)[5]) {
    return (uint32_t)(uint8_t)S[0] | (uint32_t)(uint8_t)S[1] << 8 | (uint32_t)(uint8_t)S[2] << 16 |
           (uint32_t)(uint8_t)S[3] << 24;
}

// A copy of Bitmap in ie24RGB, pixel by pixel through its colour.
void CopyAs24(TIEBitmap* Bitmap, TIEBitmap* Dest) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (!Dest->Allocate(w, h, ie24RGB)) return;
    for (int32_t y = 0; y < h; ++y) {
        std::vector<TIERGB> row((size_t)w);
        for (int32_t x = 0; x < w; ++x) row[(size_t)x] = Bitmap->GetPixelAsRGB(x, y);
        std::memcpy(Dest->GetScanline(y), row.data(), row.size() * 3);
    }
    Bitmap->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

// The header fields read once.
struct TDIBHeader {
    uint32_t Size;
    int32_t Width;
    int32_t Height;
    int32_t BitCount;
    uint32_t Compression;
    uint32_t ClrUsed;
};

TDIBHeader ReadHeader(const uint8_t* P) {
    return TDIBHeader{Read<uint32_t>(P, 0), Read<int32_t>(P, 4), Read<int32_t>(P, 8), Read<uint16_t>(P, 14),
                      Read<uint32_t>(P, 16), Read<uint32_t>(P, 32)};
}

// Colour-table entries of a 1-, 4- or 8-bit DIB: biClrUsed (at most the depth allows), or all.
uint32_t TableEntries(const TDIBHeader& H) {
    if (H.BitCount != 1 && H.BitCount != 4 && H.BitCount != 8) return 0;
    const uint32_t full = 1u << H.BitCount;
    return (H.ClrUsed == 0 || H.ClrUsed > full) ? full : H.ClrUsed;
}

// The header's own size as stored, at least the 40 bytes read here.
size_t HeaderBytes(const TDIBHeader& H) { return std::max<uint32_t>(H.Size, kHeaderSize); }

int32_t PopCount(uint32_t V) {
    int32_t n = 0;
    for (; V; V &= V - 1) ++n;
    return n;
}

// V shifted right by N bits (left for a negative N), kept to 8 bits.
uint8_t ShiftTo8(uint32_t V, int32_t N) {
    if (N >= 32 || N <= -32) return 0;
    return (uint8_t)(N >= 0 ? V >> N : V << -N);
}

// Converts the RGB family (compression 0 to 3); Data is the first pixel row in memory.
void ConvertRGB(const TDIBHeader& H, const uint8_t* Header, const uint8_t* Data, TIEBitmap* Bitmap) {
    const int32_t w = H.Width, h = std::abs(H.Height);
    const size_t rowLen = (size_t)IEBitmapRowLen(w, H.BitCount, 32);
    const uint8_t* table = Header + HeaderBytes(H);
    const uint32_t entries = TableEntries(H);
    auto entry = [&](uint32_t i) {
        return i < entries ? TIERGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]} : TIERGB{0, 0, 0};
    };
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (H.BitCount == 16 && H.Compression == 3)
        for (int32_t i = 0; i < 3; ++i) masks[i] = Read<uint32_t>(Header, HeaderBytes(H) + 4 * i);
    const int32_t nr = PopCount(masks[0]), ng = PopCount(masks[1]), nb = PopCount(masks[2]);
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* src = Data + rowLen * (size_t)r;
        // Bottom-up rows: the first in memory is the last image row; top-down (negative height)
        // rows are in image order.
        const int32_t y = H.Height > 0 ? h - 1 - r : r;
        uint8_t* out = Bitmap->GetScanline(y);
        TIERGB* px = (TIERGB*)out;
        switch (H.BitCount) {
        case 1: std::memcpy(out, src, std::min(rowLen, (size_t)Bitmap->GetRowLen())); break;
        case 4:
            for (int32_t x = 0; x < w; ++x) px[x] = entry((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
            break;
        case 8:
            for (int32_t x = 0; x < w; ++x) px[x] = entry(src[x]);
            break;
        case 16:
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t p = Read<uint16_t>(src, 2 * (size_t)x);
                px[x].r = ShiftTo8(p & masks[0], nr + ng + nb - 8);
                px[x].g = ShiftTo8(p & masks[1], ng + nb - 8);
                px[x].b = ShiftTo8((p & 0xFF) & (masks[2] & 0xFF), -(8 - nb));
            }
            break;
        case 24: std::memcpy(out, src, (size_t)w * 3); break;
        case 32:
            for (int32_t x = 0; x < w; ++x) std::memcpy(&px[x], src + 4 * (size_t)x, 3);
            break;
        default: break;
        }
    }
    Bitmap->ReleaseRowBuffers();
}

// A packed YUV layout: bytes and pixels of one group, and the (Y, U, V) of pixel K of a group.
struct TPackedLayout {
    uint32_t Code;
    int32_t GroupBytes;
    int32_t Pixels;
    void (*Sample)(const uint8_t* G, int32_t K, int32_t& Y, int32_t& U, int32_t& V);
};

int32_t Widen(uint32_t V, int32_t Bits) { return (int32_t)((V << (8 - Bits)) | (V >> (2 * Bits - 8))); }

const TPackedLayout kPacked[] = {
    {FourCC("YUY2"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[2 * k]; u = g[1]; v = g[3]; }},
    {FourCC("YUNV"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[2 * k]; u = g[1]; v = g[3]; }},
    {FourCC("UYVY"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[1 + 2 * k]; u = g[0]; v = g[2]; }},
    {FourCC("UYNV"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[1 + 2 * k]; u = g[0]; v = g[2]; }},
    {FourCC("cyuv"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[1 + 2 * k]; u = g[0]; v = g[2]; }},
    {FourCC("YVYU"), 4, 2, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = g[2 * k]; v = g[1]; u = g[3]; }},
    {FourCC("IYU1"), 6, 4, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) {
         static const int32_t at[4] = {1, 2, 4, 5};
         y = g[at[k]]; u = g[0]; v = g[3]; }},
    {FourCC("IYU2"), 3, 1, [](const uint8_t* g, int32_t, int32_t& y, int32_t& u, int32_t& v) { u = g[0]; y = g[1]; v = g[2]; }},
    {FourCC("Y41P"), 12, 8, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) {
         static const int32_t at[8] = {1, 3, 5, 7, 8, 9, 10, 11};
         y = g[at[k]]; u = k < 4 ? g[0] : g[4]; v = k < 4 ? g[2] : g[6]; }},
    {FourCC("Y211"), 4, 4, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) { y = k < 2 ? g[0] : g[2]; u = g[1]; v = g[3]; }},
    {FourCC("CLJR"), 4, 4, [](const uint8_t* g, int32_t k, int32_t& y, int32_t& u, int32_t& v) {
         // 5-bit Y and 6-bit U and V fields, widened to 8 bits by repeating their top bits.
         const uint32_t word = Read<uint32_t>(g, 0);
         y = Widen((word >> (12 + 5 * k)) & 31, 5); u = Widen((word >> 6) & 63, 6); v = Widen(word & 63, 6); }},
};

// Image row of data row R of H rows: top-down for a positive height, bottom-up for a negative
// one, the other way round for Y41P and cyuv.
int32_t YUVRow(int32_t R, int32_t H, int32_t Height, uint32_t Code) {
    bool topDown = Height > 0;
    if (Code == FourCC("Y41P") || Code == FourCC("cyuv")) topDown = !topDown;
    return topDown ? R : H - 1 - R;
}

// Converts a YUV frame at Data; False for an unknown FourCC.
bool ConvertYUV(const TDIBHeader& H, const uint8_t* Data, TIEBitmap* Bitmap) {
    const int32_t w = H.Width, h = std::abs(H.Height);
    for (const TPackedLayout& layout : kPacked) {
        if (layout.Code != H.Compression) continue;
        const size_t rowBytes = (size_t)((w + layout.Pixels - 1) / layout.Pixels) * layout.GroupBytes;
        for (int32_t r = 0; r < h; ++r) {
            const uint8_t* src = Data + rowBytes * (size_t)r;
            TIERGB* px = (TIERGB*)Bitmap->GetScanline(YUVRow(r, h, H.Height, H.Compression));
            for (int32_t x = 0; x < w; ++x) {
                int32_t y, u, v;
                layout.Sample(src + (size_t)(x / layout.Pixels) * layout.GroupBytes, x % layout.Pixels, y, u, v);
                px[x] = IEYUVToRGB(y, u, v);
            }
        }
        Bitmap->ReleaseRowBuffers();
        return true;
    }
    // Planar: Y plane, then two chroma planes of (W div S) x (H div S) each.
    int32_t sub = 0;
    bool uFirst = true;
    if (H.Compression == FourCC("I420") || H.Compression == FourCC("IYUV")) sub = 2;
    else if (H.Compression == FourCC("YV12")) sub = 2, uFirst = false;
    else if (H.Compression == FourCC("YVU9")) sub = 4, uFirst = false;
    else return false;
    const int32_t cw = w / sub, ch = h / sub;
    const uint8_t* first = Data + (size_t)w * h;
    const uint8_t* second = first + (size_t)cw * ch;
    const uint8_t* uPlane = uFirst ? first : second;
    const uint8_t* vPlane = uFirst ? second : first;
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* ys = Data + (size_t)w * r;
        // The last data rows and columns of an odd size share the last chroma row and column.
        const int32_t cr = std::min(r / sub, ch - 1);
        TIERGB* px = (TIERGB*)Bitmap->GetScanline(YUVRow(r, h, H.Height, H.Compression));
        for (int32_t x = 0; x < w; ++x) {
            int32_t u = 128, v = 128;
            if (cw > 0 && ch > 0) {
                const size_t at = (size_t)cr * cw + (size_t)std::min(x / sub, cw - 1);
                u = uPlane[at];
                v = vPlane[at];
            }
            px[x] = IEYUVToRGB(ys[x], u, v);
        }
    }
    Bitmap->ReleaseRowBuffers();
    return true;
}

// Bytes of the pixel data the RGB family needs behind the given start, or 0 when it is not an
// RGB-family DIB.
uint64_t RGBDataBytes(const TDIBHeader& H) {
    return (uint64_t)IEBitmapRowLen(H.Width, H.BitCount, 32) * (uint64_t)std::abs((int64_t)H.Height);
}

// The DIB behind a handle or pointer, locked while the holder lives.
class TLockedDIB {
public:
    TLockedDIB(const void* DIB, bool IsPointer) : FHandle(IsPointer ? nullptr : (TIEGlobalHandle)DIB) {
        FData = IsPointer ? (const uint8_t*)DIB : IEDIBGlobalLock(FHandle);
        FSize = IsPointer ? SIZE_MAX : IEDIBGlobalSize(FHandle);
        if (FSize < (size_t)kHeaderSize) FData = nullptr;
    }
    ~TLockedDIB() {
        if (FHandle) IEDIBGlobalUnlock(FHandle);
    }
    const uint8_t* Data() const { return FData; }
    size_t Size() const { return FSize; }

private:
    TIEGlobalHandle FHandle;
    const uint8_t* FData;
    size_t FSize;
};

// Where the pixel data of an RGB-family DIB starts, from the header on.
size_t RGBDataOffset(const TDIBHeader& H) {
    size_t offset = HeaderBytes(H) + 4 * (size_t)TableEntries(H);
    if (H.Compression == 3 && (H.BitCount == 16 || H.BitCount == 32)) offset += 12;   // the masks
    return offset;
}

}  // namespace

TIERGB IEYUVToRGB(int32_t Y, int32_t U, int32_t V) {
    const double d = (Y - 16) * 1.164;
    auto level = [](double x) { return (uint8_t)std::min(255.0, std::max(0.0, std::nearbyint(x))); };
    return TIERGB{level(d + 2.018 * (U - 128)), level(d - 0.813 * (V - 128) - 0.391 * (U - 128)),
                  level(d + 1.596 * (V - 128))};
}

TIEGlobalHandle _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                                   int32_t DpiY) {
    IEDebugLog(L"_CopyBitmaptoDIBEx: begin");
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (!Bitmap->IsEmpty() && format != ie1g && format != ie8p && format != ie8g && format != ie24RGB) {
        IEDebugLog(L"_CopyBitmaptoDIBEx: not supported pixel format, converting to 24bit and recurse");
        TIEBitmap copy;
        CopyAs24(Bitmap, &copy);
        if (copy.IsEmpty()) return nullptr;   // no 24-bit copy: no block rather than an empty one
        return _CopyBitmaptoDIBEx(&copy, X1, Y1, X2, Y2, DpiX, DpiY);
    }
    int32_t bits = 0, tableBytes = 0;
    if (!Bitmap->IsEmpty()) {
        bits = format == ie1g ? 1 : format == ie24RGB ? 24 : 8;
        tableBytes = bits == 1 ? 8 : bits == 8 ? 1024 : 0;
    }
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (X2 == 0) X2 = w;
    if (Y2 == 0) Y2 = h;
    // The rectangle is cut to the bitmap: no row is read outside it.
    X1 = std::max(X1, 0), Y1 = std::max(Y1, 0), X2 = std::min(X2, w), Y2 = std::min(Y2, h);
    const int32_t cols = bits ? std::max(X2 - X1, 0) : 0, rows = bits ? std::max(Y2 - Y1, 0) : 0;
    const size_t rowLen = (size_t)IEBitmapRowLen(cols, bits, 32);
    const size_t size = 44 + (size_t)tableBytes + rowLen * (size_t)rows;
    IEDebugLog(L"_CopyBitmaptoDIBEx: allocate " + std::to_wstring(size) + L" bytes");
    TIEGlobalHandle block = IEDIBGlobalAlloc(size);
    uint8_t* p = IEDIBGlobalLock(block);
    if (!p) {
        IEDIBGlobalFree(block);
        return nullptr;
    }
    std::memset(p, 0, size);
    Write<uint32_t>(p, 0, kHeaderSize);
    Write<int32_t>(p, 4, cols);
    Write<int32_t>(p, 8, rows);
    Write<uint16_t>(p, 12, 1);
    Write<uint16_t>(p, 14, (uint16_t)bits);
    // Pixels per metre; a resolution beyond the field's range saturates.
    Write<int32_t>(p, 24, Checked::TruncSaturate<int32_t>(DpiX * 39.3700787L));
    Write<int32_t>(p, 28, Checked::TruncSaturate<int32_t>(DpiY * 39.3700787L));
    if (bits == 1) IEDebugLog(L"_CopyBitmaptoDIBEx: ie1g");
    else if (bits == 8) IEDebugLog(L"_CopyBitmaptoDIBEx: ie8g or ie8p");
    else if (bits == 24) IEDebugLog(L"_CopyBitmaptoDIBEx: ie24RGB");
    uint8_t* table = p + kHeaderSize;
    if (bits == 1) {
        std::memset(table + 4, 255, 4);
    } else if (bits == 8) {
        for (int32_t i = 0; i < 256; ++i) {
            const TIERGB c = format == ie8p ? Bitmap->GetPaletteEntry(i) : TIERGB{(uint8_t)i, (uint8_t)i, (uint8_t)i};
            std::memcpy(table + 4 * i, &c, 3);
        }
    }
    uint8_t* out = table + tableBytes;
    for (int32_t y = Y2 - 1; y >= Y1 && rows > 0; --y, out += rowLen) {
        const uint8_t* src = Bitmap->GetScanline(y);
        if (bits == 1) IECopyBits(out, src, 0, X1, cols, Bitmap->GetRowLen());
        else std::memcpy(out, src + (size_t)X1 * (bits / 8), (size_t)cols * (bits / 8));
    }
    Bitmap->ReleaseRowBuffers();
    IEDIBGlobalUnlock(block);
    return block;
}

int32_t IEDIBToIEBitmap(const void* DIB, TIEBitmap* Bitmap, const void* Pixels, bool IsPointer) {
    if (!DIB) return 0;
    TLockedDIB dib(DIB, IsPointer);
    if (!dib.Data()) return 0;
    const TDIBHeader h = ReadHeader(dib.Data());
    if (h.Width <= 0 || h.Height == 0 || h.Height == INT32_MIN) return h.BitCount;
    const bool rgbFamily = h.Compression <= 3;
    const size_t offset = RGBDataOffset(h);
    // The colour table, the masks and (without Pixels) the rows must lie inside the block; a block
    // too small for what its header announces changes nothing, not even the bitmap's size.
    if (rgbFamily && offset + (Pixels ? 0 : RGBDataBytes(h)) > dib.Size()) return h.BitCount;
    if (!Bitmap->Allocate(h.Width, std::abs(h.Height), h.BitCount == 1 ? ie1g : ie24RGB)) return h.BitCount;
    if (rgbFamily) {
        if (h.Compression == 1 || h.Compression == 2) return h.BitCount;   // run-length data is not decoded
        const uint8_t* data = Pixels ? (const uint8_t*)Pixels : dib.Data() + offset;
        if (h.BitCount == 24 && h.Compression != 0) return h.BitCount;
        if (h.BitCount == 32 && h.Compression != 0 && h.Compression != 3) return h.BitCount;
        ConvertRGB(h, dib.Data(), data, Bitmap);
    } else if (Pixels) {
        ConvertYUV(h, (const uint8_t*)Pixels, Bitmap);
    }
    return h.BitCount;
}

uint16_t IEDrawDIBToDibbitmap(const void* DIB, TIEDibbitmap* Dest, const void* Pixels, bool IsPointer) {
    if (!DIB) return 0;
    TLockedDIB dib(DIB, IsPointer);
    if (!dib.Data()) return 0;
    const TDIBHeader h = ReadHeader(dib.Data());
    const int32_t height = h.Height == INT32_MIN ? 0 : std::abs(h.Height);
    if (h.Width <= 0 || height == 0) return (uint16_t)h.BitCount;
    size_t offset = 0;
    switch (h.BitCount) {
    case 1:
    case 4:
    case 8: offset = HeaderBytes(h) + 4 * (size_t)TableEntries(h); break;
    case 16:
    case 24: offset = HeaderBytes(h); break;
    case 32:
        if (h.Compression == 0) offset = HeaderBytes(h);
        else if (h.Compression == 3) offset = HeaderBytes(h) + 12;
        break;
    default: break;
    }
    // The colour table, the masks and (without Pixels) the rows must lie inside the block, as for
    // IEDIBToIEBitmap; run-length rows take the image size the header gives.
    const bool runLength = (h.Compression == 1 || h.Compression == 2) && h.BitCount <= 8;
    const uint64_t rowBytes = Pixels ? 0 : runLength ? Read<uint32_t>(dib.Data(), 20) : RGBDataBytes(h);
    if (offset && offset + rowBytes > dib.Size()) return (uint16_t)h.BitCount;
    if (!Dest->AllocateDIB(h.Width, height, h.BitCount == 1 ? 1 : 24)) return (uint16_t)h.BitCount;
    const uint8_t* bits = Pixels ? (const uint8_t*)Pixels : offset ? dib.Data() + offset : nullptr;
    if (bits && (Pixels || offset <= dib.Size())) IEDIBDraw(Dest->GetDC(), dib.Data(), bits, h.Width, height);
    return (uint16_t)h.BitCount;
}
