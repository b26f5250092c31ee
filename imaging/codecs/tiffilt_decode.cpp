// TIFF image data: strips, tiles and separate planes through the row decompressors (none,
// CCITT, LZW, Deflate, PackBits), the horizontal predictor, and the conversion of the sample
// layouts into the bitmap's rows; JPEG strips and tiles and the old-style JPEG page go through
// the JPEG reader.
//
// Every count and offset comes from the file: sizes are computed in 64 bits and checked before
// anything is allocated, pieces are clipped to the stream and to the page, and the row loops are
// bounded by the page's rows whatever the data say.
#include "tiffilt_decode.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>

#include "ByteOrder.h"
#include "Classes.h"
#include "codecs_common.h"
#include "iebitorder.h"
#include "iebitmap.h"
#include "iecoreutils_general.h"
#include "iemask.h"
#include "iezlib.h"
#include "jpegfilt.h"
#include "picturaio_colour.h"
#include "ieprochooks.h"
#include "tifccitt.h"

namespace {

// No row of a page may need more source bytes than this (a 32-bit process could not hold it).
constexpr int64_t kMaxRowBytes = int64_t(1) << 28;
// Pages of more samples a pixel than this are not decoded (no layout of the library has them).
constexpr int32_t kMaxSamples = 64;

bool IsCCITT(int32_t Compression) { return Compression >= 2 && Compression <= 4; }

void ConvertColorRow(const void* Source, uint8_t Layout, void* Dest, TIOParamsVals* Params, int32_t Count) {
    if (IEColorConvertHook)
        IEColorConvertHook(Source, Layout, Dest, Params, Count, iecrBGR);
    else
        IEConvertColorRow(Source, Layout, Dest, Params, Count, iecrBGR);
}

// The row counter of a page: each decoded row adds one; the handler hears of a new percentage only.
class TRowCounter {
public:
    TRowCounter(TIOProgressRecord& Progress, int64_t Rows) : FProgress(Progress), FFactor(Rows > 0 ? 100.0 / Rows : 0) {}
    void Row() {
        ++FCount;
        if (!FProgress.OnProgress) return;
        const int32_t p = (int32_t)(FCount * FFactor);
        if (p != FLast) {
            FLast = p;
            FProgress.OnProgress(FProgress.Sender, p);
        }
    }

private:
    TIOProgressRecord& FProgress;
    double FFactor;
    int64_t FCount = 0;
    int32_t FLast = -1;
};

// YCbCr pages not coded as JPEG: blocks of H x V luma samples followed by Cb and Cr.
struct TYCbCrBlocks {
    bool Active = false;
    int32_t H = 1, V = 1;
};

TYCbCrBlocks YCbCrOf(const TTIFFVars& Vars) {
    TYCbCrBlocks b;
    if (Vars.Photometric != 6 || Vars.SamplesPerPixel != 3 || Vars.BitsPerSample != 8 || Vars.Compression == 6 ||
        Vars.Compression == 7)
        return b;
    auto ok = [](int32_t s) { return s == 1 || s == 2 || s == 4; };
    if (!ok(Vars.YCbCrSubSampling[0]) || !ok(Vars.YCbCrSubSampling[1])) return b;
    b.Active = true;
    b.H = Vars.YCbCrSubSampling[0];
    b.V = Vars.YCbCrSubSampling[1];
    return b;
}

// Source bytes of one row (or of one row of blocks for subsampled YCbCr) of a piece Width pixels
// wide, Samples samples a pixel; -1 when the row is beyond reason.
int64_t SourceRowBytes(const TTIFFVars& Vars, int32_t Width, int32_t Samples, const TYCbCrBlocks& YCbCr) {
    if (Width <= 0 || Samples <= 0 || Vars.BitsPerSample <= 0) return -1;
    int64_t bytes;
    if (YCbCr.Active)
        bytes = (int64_t(Width) + YCbCr.H - 1) / YCbCr.H * (YCbCr.H * YCbCr.V + 2);
    else
        bytes = (int64_t(Width) * Samples * Vars.BitsPerSample + 7) / 8;
    return bytes > kMaxRowBytes ? -1 : bytes;
}

// The rows of one strip or tile, one after the other, for every compression but JPEG.
class TRowDecoder {
public:
    // Data/Length: the piece's bytes (kept by the caller); for compression 1 with Stream set, the
    // rows are read from the stream at Offset instead.
    TRowDecoder(const TTIFFVars& Vars, int32_t WidthPixels, int64_t RowBytes, int64_t Rows, const uint8_t* Data,
                int64_t Length, TStream* Stream, int64_t Offset)
        : V(Vars), FWidth(WidthPixels), FRowBytes(RowBytes), FRows(Rows), FData(Data), FLength(Length),
          FStream(Stream), FOffset(Offset) {
    }
    ~TRowDecoder() {
        if (FLZWState && V.LZWDecompress) V.LZWDecompress(nullptr, 0, 0, FLZWState, V.FillOrder);
        std::free(FInflated);
    }
    TRowDecoder(const TRowDecoder&) = delete;
    TRowDecoder& operator=(const TRowDecoder&) = delete;

    // The next row into Out (RowBytes bytes); False when the data are corrupt.
    bool Next(uint8_t* Out) {
        const int64_t row = FRow++;
        switch (V.Compression) {
        case 1:
            std::memset(Out, 0, (size_t)FRowBytes);
            if (FStream) {
                const int64_t pos = FOffset + row * FRowBytes;
                const int64_t size = FStream->GetSize();
                if (pos < size) {
                    FStream->SetPosition(pos);
                    FStream->Read(Out, (int32_t)std::min<int64_t>(FRowBytes, size - pos));
                }
            } else if (row * FRowBytes < FLength) {
                std::memcpy(Out, FData + row * FRowBytes, (size_t)std::min(FRowBytes, FLength - row * FRowBytes));
            }
            // FillOrder 2 reverses the bits of every byte of the data, whatever the samples' size
            // (as libtiff reads and writes such pages).
            if (V.FillOrder == 2)
                for (int64_t i = 0; i < FRowBytes; ++i) IEReverseBitsByte(Out[i]);
            return true;
        case 2: {
            std::memset(Out, 0xFF, (size_t)FRowBytes);
            if (FPos >= FLength) return true;
            FPos += std::max<int64_t>(IECCITTDecodeMHRow(Out, FData + FPos, FLength - FPos, FWidth, V.FillOrder), 0);
            return true;
        }
        case 3:
            std::memset(Out, 0xFF, (size_t)FRowBytes);
            if (FBitPos >= FLength * 8) return true;
            if (V.T4Options & 1)
                FBitPos = IECCITTDecode2DRow(Out, FData, FLength, FWidth, FRefChanges, FBitPos, V.FillOrder, true);
            else
                FBitPos = IECCITTDecodeG3Row(Out, FData, FLength, FWidth, FBitPos, V.FillOrder);
            return true;
        case 4:
            std::memset(Out, 0xFF, (size_t)FRowBytes);
            if (FBitPos >= FLength * 8) return true;
            FBitPos = IECCITTDecode2DRow(Out, FData, FLength, FWidth, FRefChanges, FBitPos, V.FillOrder,
                                         (V.T4Options & 4) != 0);
            return true;
        case 5: {
            if (!V.LZWDecompress) return false;
            static const uint8_t kNoData = 0;
            const void* r = V.LZWDecompress(FLength > 0 ? FData : &kNoData, (int32_t)FLength, (int32_t)FRowBytes,
                                            FLZWState, V.FillOrder);
            if (!r) return false;
            std::memcpy(Out, r, (size_t)FRowBytes);
            return true;
        }
        case 8:
        case 32946: {
            if (!FInflateDone) {
                FInflateDone = true;
                void* out = nullptr;
                int32_t outSize = 0;
                // The strip's rows are all it can use: inflating stops there (and starts with a
                // block of that size, or 1 GB at most).
                const int64_t needed = std::min<int64_t>(FRowBytes * FRows, INT32_MAX);
                const int64_t estimate = std::min<int64_t>(needed, int64_t(1) << 30);
                const uint8_t* data = FData;
                std::vector<uint8_t> reversed;
                if (V.FillOrder == 2 && FLength > 0) {
                    reversed.assign(FData, FData + FLength);
                    for (uint8_t& b : reversed) b = IEBitReverse.Byte[b];
                    data = reversed.data();
                }
                try {
                    IEZDecompressBuffer(data, (int32_t)FLength, out, outSize, (int32_t)std::max<int64_t>(estimate, 1),
                                        (int32_t)std::max<int64_t>(needed, 1));
                } catch (...) {
                    // A damaged stream still gives the rows before the damage when zlib produced
                    // them; IEZDecompressBuffer keeps nothing then, so the piece fails.
                    return false;
                }
                FInflated = static_cast<uint8_t*>(out);
                FInflatedSize = outSize;
            }
            std::memset(Out, 0, (size_t)FRowBytes);
            const int64_t at = row * FRowBytes;
            if (at < FInflatedSize)
                std::memcpy(Out, FInflated + at, (size_t)std::min<int64_t>(FRowBytes, FInflatedSize - at));
            return true;
        }
        case 32773:
            PackBits(Out);
            return true;
        default:
            return false;
        }
    }

private:
    uint8_t Src(int64_t i) const {
        uint8_t b = FData[i];
        if (V.FillOrder == 2) IEReverseBitsByte(b);
        return b;
    }
    void PackBits(uint8_t* Out) {
        std::memset(Out, 0, (size_t)FRowBytes);
        int64_t o = 0;
        while (o < FRowBytes && FPos < FLength) {
            const int8_t n = (int8_t)Src(FPos++);
            if (n >= 0) {
                const int64_t count = int64_t(n) + 1;
                const int64_t copy = std::min({count, FRowBytes - o, FLength - FPos});
                for (int64_t i = 0; i < copy; ++i) Out[o + i] = Src(FPos + i);
                o += copy;
                FPos += std::min(count, FLength - FPos);
            } else if (n != -128) {
                if (FPos >= FLength) break;
                const uint8_t b = Src(FPos++);
                const int64_t count = std::min<int64_t>(1 - int64_t(n), FRowBytes - o);
                std::memset(Out + o, b, (size_t)count);
                o += count;
            }
        }
    }

    const TTIFFVars& V;
    int32_t FWidth;
    int64_t FRowBytes;
    int64_t FRows;
    const uint8_t* FData;
    int64_t FLength;
    TStream* FStream;
    int64_t FOffset;
    int64_t FRow = 0;
    int64_t FPos = 0;
    int64_t FBitPos = 0;
    std::vector<int32_t> FRefChanges;   // the CCITT reference row (all white before the first)
    void* FLZWState = nullptr;
    bool FInflateDone = false;
    uint8_t* FInflated = nullptr;
    int64_t FInflatedSize = 0;
};

// Horizontal differencing undone over Width pixels of Samples samples (Predictor 2).
void UndoPredictor(const TTIFFVars& V, uint8_t* Row, int32_t Width, int32_t Samples) {
    if (V.Predictor != 2 || (V.Compression != 5 && V.Compression != 8) || Width < 2) return;
    if (V.BitsPerSample == 8) {
        for (int64_t i = Samples; i < int64_t(Width) * Samples; ++i) Row[i] = (uint8_t)(Row[i] + Row[i - Samples]);
    } else if (V.BitsPerSample == 16 && (Samples == 1 || Samples == 3)) {
        // The words are summed in the file's byte order.
        for (int64_t i = Samples; i < int64_t(Width) * Samples; ++i) {
            uint8_t* w = Row + 2 * i;
            const uint8_t* p = w - 2 * Samples;
            if (V.LittleEndian)
                ByteOrder::PutLE16(w, (uint16_t)(ByteOrder::GetLE16(w) + ByteOrder::GetLE16(p)));
            else
                ByteOrder::PutBE16(w, (uint16_t)(ByteOrder::GetBE16(w) + ByteOrder::GetBE16(p)));
        }
    }
}

enum class TLayout {
    None,
    RGB8,
    RGBA8,
    RGBExtra8,
    RGB16,
    RGB555,
    Palette,
    PaletteAlpha8,
    Grey,
    GreyAlpha8,
    Grey16,
    Grey12,
    Bilevel,
    CMYK8,
    CMYK16,
    Lab8,
    YCbCr8,
    Deep
};

// Writes decoded source rows into the page's bitmap (and mask), by the page's sample layout.
class TPageWriter {
public:
    TPageWriter(TTIFFVars& Vars, TIEBitmap* Bitmap) : V(Vars), B(Bitmap), PF(Bitmap->GetPixelFormat()) {
        Mask = V.AlphaMask;
        if (Mask && (Mask->Width != B->GetWidth() || Mask->Height != B->GetHeight() || Mask->BitsPerPixel != 8))
            Mask = nullptr;
        const int32_t ph = V.Photometric, spp = V.SamplesPerPixel, bps = V.BitsPerSample;
        Spp = spp;
        if (spp < 1 || spp > kMaxSamples)
            L = TLayout::None;
        else if (IETIFFDeepSamples(V))
            // Predicted samples of these depths are not undone: such pages are refused.
            L = V.Predictor != 1 && (V.Compression == 5 || V.Compression == 8) ? TLayout::None : TLayout::Deep;
        else if (V.SampleFormat == 2 || V.SampleFormat == 3)
            L = TLayout::None;   // signed integers, and floats of other sizes
        else if (ph == 2 && (spp == 3 || spp == 4) && bps == 8)
            L = spp == 4 && Mask ? TLayout::RGBA8 : TLayout::RGB8;
        else if (ph == 2 && spp >= 4 && bps == 8 && V.ExtraSamplesCount > 0)
            L = TLayout::RGBExtra8;
        else if (ph == 2 && (spp == 3 || spp == 4) && bps == 16)
            L = TLayout::RGB16;
        else if (ph == 2 && spp == 1 && bps == 16)
            L = TLayout::RGB555;
        else if (ph == 3 && spp == 2 && bps == 8)
            L = TLayout::PaletteAlpha8;
        else if (ph == 3 && bps <= 8)
            L = TLayout::Palette;
        else if ((ph == 0 || ph == 1) && spp == 1 && bps == 1 && PF == ie1g)
            L = TLayout::Bilevel;
        else if ((ph == 0 || ph == 1) && spp == 1 && bps < 8)
            L = TLayout::Grey;
        else if ((ph == 0 || ph == 1) && spp == 1 && bps == 8)
            L = TLayout::Grey;
        else if ((ph == 0 || ph == 1) && spp >= 2 && bps <= 8)
            L = TLayout::GreyAlpha8;   // below 8 bits both samples are unpacked and scaled
        else if ((ph == 0 || ph == 1) && spp == 1 && bps == 16)
            L = TLayout::Grey16;
        else if ((ph == 0 || ph == 1) && spp == 1 && bps == 12)
            L = TLayout::Grey12;
        else if (ph == 5 && spp >= 4 && bps == 8)
            L = TLayout::CMYK8;
        else if (ph == 5 && spp == 4 && bps == 16)
            L = TLayout::CMYK16;
        else if (ph == 8 && spp == 3 && bps == 8)
            L = TLayout::Lab8;
        else if (ph == 6 && spp == 3 && bps == 8 && YCbCrOf(V).Active)
            L = TLayout::YCbCr8;
        WhiteIsZero = ph == 0;
        // Bilevel rows: uncompressed and LZW/Deflate/PackBits data hold the file's bits, which
        // mean white for 1 only in BlackIsZero pages; the CCITT decoders give white runs as 1,
        // which are black in BlackIsZero pages.
        InvertBits = IsCCITT(V.Compression) ? ph == 1 : ph == 0;
        if (L == TLayout::RGBExtra8 && Mask)
            for (int32_t j = 0; j < V.ExtraSamplesCount && j < 10; ++j)
                if (V.ExtraSamplesValues[j] == 1 || V.ExtraSamplesValues[j] == 2) {
                    AlphaSample = 3 + j;
                    Associated = V.ExtraSamplesValues[j] == 1;
                    break;
                }
        Work.resize(size_t(B->GetWidth()) * 4 + 16);
    }

    bool Supported() const { return L != TLayout::None; }
    // Samples a pixel of the unpacked rows Row() takes (bits below 8 become one byte a sample).
    bool UnpacksBits() const { return V.BitsPerSample < 8 && L != TLayout::Bilevel; }

    // Source row S holds Count pixels that go to row Y from column X0 on.
    void Row(const uint8_t* S, int32_t Y, int32_t X0, int32_t Count) {
        if (Y < 0 || Y >= B->GetHeight() || X0 < 0 || X0 >= B->GetWidth() || Count <= 0) return;
        Count = std::min(Count, B->GetWidth() - X0);
        uint8_t* d = B->GetScanline(Y);
        uint8_t* m = Mask ? Mask->GetScanline(Y) + X0 : nullptr;
        const int32_t spp = Spp;
        switch (L) {
        case TLayout::None:
            return;
        case TLayout::RGB8:
        case TLayout::RGBA8:
        case TLayout::RGBExtra8: {
            if (PF != ie24RGB) return;
            d += size_t(X0) * 3;
            if (L == TLayout::RGB8 && spp == 3) {
                ConvertColorRow(S, iecrRGB, d, V.Params, Count);
                return;
            }
            for (int32_t x = 0; x < Count; ++x, S += spp, d += 3) {
                int32_t r = S[0], g = S[1], b = S[2];
                if (L == TLayout::RGBA8 && m) {
                    m[x] = S[3];
                } else if (L == TLayout::RGBExtra8 && m && AlphaSample >= 0) {
                    const int32_t a = S[AlphaSample];
                    m[x] = (uint8_t)a;
                    if (Associated) {
                        const double f = std::max(a / 255.0, 1.0 / 255.0);
                        r = std::min(255, (int32_t)(r / f));
                        g = std::min(255, (int32_t)(g / f));
                        b = std::min(255, (int32_t)(b / f));
                    }
                }
                d[0] = (uint8_t)b;
                d[1] = (uint8_t)g;
                d[2] = (uint8_t)r;
            }
            if (m && (L == TLayout::RGBA8 || AlphaSample >= 0)) Mask->Full = false;
            return;
        }
        case TLayout::RGB16:
            if (PF == ieRGB48) {
                uint16_t* w = reinterpret_cast<uint16_t*>(d) + size_t(X0) * 3;
                for (int32_t x = 0; x < Count; ++x, S += 2 * spp)
                    for (int c = 0; c < 3; ++c)
                        w[3 * x + c] = V.LittleEndian ? ByteOrder::GetLE16(S + 2 * c) : ByteOrder::GetBE16(S + 2 * c);
            } else if (PF == ie24RGB) {
                d += size_t(X0) * 3;
                if (spp == 3) {
                    ConvertColorRow(S, V.LittleEndian ? iecrRGB16LE : iecrRGB16BE, d, V.Params, Count);
                } else {
                    const int hi = V.LittleEndian ? 1 : 0;
                    for (int32_t x = 0; x < Count; ++x, S += 2 * spp, d += 3) {
                        d[0] = S[4 + hi];
                        d[1] = S[2 + hi];
                        d[2] = S[hi];
                    }
                }
            }
            return;
        case TLayout::RGB555:
            if (PF != ie24RGB) return;
            d += size_t(X0) * 3;
            for (int32_t x = 0; x < Count; ++x, S += 2, d += 3) {
                const uint16_t w = V.LittleEndian ? ByteOrder::GetLE16(S) : ByteOrder::GetBE16(S);
                d[2] = (uint8_t)(((w >> 10) & 31) * 8);
                d[1] = (uint8_t)(((w >> 5) & 31) * 8);
                d[0] = (uint8_t)((w & 31) * 8);
            }
            return;
        case TLayout::Palette:
        case TLayout::PaletteAlpha8: {
            const int32_t step = L == TLayout::PaletteAlpha8 ? 2 : spp;
            if (PF == ie8p) {
                d += X0;
                for (int32_t x = 0; x < Count; ++x, S += step) d[x] = S[0];
            } else if (PF == ie24RGB) {
                d += size_t(X0) * 3;
                const size_t n = V.ColorMap.size();
                for (int32_t x = 0; x < Count; ++x, S += step, d += 3) {
                    const TIERGB c = S[0] < n ? V.ColorMap[S[0]] : TIERGB{0, 0, 0};
                    d[0] = c.b;
                    d[1] = c.g;
                    d[2] = c.r;
                    // The second sample is the alpha itself (0 transparent), as in every other page.
                    if (m && L == TLayout::PaletteAlpha8) m[x] = S[1];
                }
                if (m && L == TLayout::PaletteAlpha8) Mask->Full = false;
            }
            return;
        }
        case TLayout::Grey:
        case TLayout::GreyAlpha8: {
            const int32_t step = L == TLayout::GreyAlpha8 ? spp : 1;
            if (PF == ie8g) {
                d += X0;
                for (int32_t x = 0; x < Count; ++x, S += step) d[x] = WhiteIsZero ? (uint8_t)(255 - S[0]) : S[0];
            } else if (PF == ie24RGB) {
                d += size_t(X0) * 3;
                for (int32_t x = 0; x < Count; ++x, S += step, d += 3) {
                    const uint8_t v = WhiteIsZero ? (uint8_t)(255 - S[0]) : S[0];
                    d[0] = d[1] = d[2] = v;
                    if (m && L == TLayout::GreyAlpha8) m[x] = S[1];
                }
                if (m && L == TLayout::GreyAlpha8) Mask->Full = false;
            }
            return;
        }
        case TLayout::Grey16: {
            const bool molli = V.Software.compare(0, 15, "Look@Molli v1.1") == 0;
            for (int32_t x = 0; x < Count; ++x, S += 2) {
                uint16_t v = V.LittleEndian ? ByteOrder::GetLE16(S) : ByteOrder::GetBE16(S);
                if (WhiteIsZero) v = (uint16_t)(65535 - v);
                if (PF == ie16g) {
                    reinterpret_cast<uint16_t*>(d)[X0 + x] = v;
                } else if (PF == ie24RGB) {
                    uint8_t* p = d + size_t(X0 + x) * 3;
                    p[0] = p[1] = p[2] = (uint8_t)(molli ? std::min(255, v >> 4) : v >> 8);
                }
            }
            return;
        }
        case TLayout::Grey12:
            for (int32_t x = 0; x < Count; ++x) {
                const uint8_t* t = S + size_t(x / 2) * 3;
                uint16_t v = (x & 1) ? (uint16_t)((t[1] & 15) << 8 | t[2]) : (uint16_t)(t[0] << 4 | t[1] >> 4);
                if (WhiteIsZero) v = (uint16_t)(4095 - v);
                if (PF == ie16g)
                    reinterpret_cast<uint16_t*>(d)[X0 + x] = (uint16_t)(v * 16);
                else if (PF == ie24RGB) {
                    uint8_t* p = d + size_t(X0 + x) * 3;
                    p[0] = p[1] = p[2] = (uint8_t)(v / 16);
                }
            }
            return;
        case TLayout::Bilevel: {
            if (PF != ie1g) return;
            const uint8_t flip = InvertBits ? 0xFF : 0x00;
            if (X0 % 8 == 0) {
                const int32_t whole = Count / 8;
                for (int32_t i = 0; i < whole; ++i) d[X0 / 8 + i] = (uint8_t)(S[i] ^ flip);
                for (int32_t x = whole * 8; x < Count; ++x) SetBit(d, X0 + x, ((S[x / 8] ^ flip) >> (7 - x % 8)) & 1);
            } else {
                for (int32_t x = 0; x < Count; ++x) SetBit(d, X0 + x, ((S[x / 8] ^ flip) >> (7 - x % 8)) & 1);
            }
            return;
        }
        case TLayout::CMYK8:
        case TLayout::CMYK16: {
            const bool wide = L == TLayout::CMYK16;
            const int hi = wide && V.LittleEndian ? 1 : 0;
            const int32_t stride = wide ? 8 : spp;
            const bool alpha = !wide && m && spp >= 5 && V.ExtraSamples == 2;
            uint8_t* inv = PF == ieCMYK ? d + size_t(X0) * 4 : Work.data();
            for (int32_t x = 0; x < Count; ++x, S += stride) {
                for (int c = 0; c < 4; ++c) inv[4 * x + c] = (uint8_t)(255 - S[wide ? 2 * c + hi : c]);
                if (alpha) m[x] = S[4];
            }
            if (alpha) Mask->Full = false;
            if (PF == ie24RGB) {
                // Work holds up to the bitmap's width of pixels; Count never exceeds it.
                ConvertColorRow(inv, iecrCMYK, d + size_t(X0) * 3, V.Params, Count);
            }
            return;
        }
        case TLayout::Lab8:
            if (PF == ie24RGB) ConvertColorRow(S, iecrCIELab, d + size_t(X0) * 3, V.Params, Count);
            return;
        case TLayout::YCbCr8:
            if (PF == ie24RGB) ConvertColorRow(S, iecrYCbCr, d + size_t(X0) * 3, V.Params, Count);
            return;
        case TLayout::Deep:
            DeepRow(S, d, m, X0, Count);
            return;
        }
    }

private:
    // Sample I of a row of the general layout, as a fraction of its full scale (0 to 1).
    double DeepSample(const uint8_t* S, int64_t I) const {
        const int32_t bps = V.BitsPerSample;
        uint32_t v = 0;
        if (bps % 8 == 0) {
            const uint8_t* p = S + I * (bps / 8);
            for (int32_t k = 0; k < bps / 8; ++k)
                v = v << 8 | p[V.LittleEndian ? bps / 8 - 1 - k : k];
        } else {
            // Samples that are not whole bytes are packed most significant bit first.
            int64_t bit = I * bps;
            for (int32_t k = 0; k < bps; ++k, ++bit) v = v << 1 | ((S[bit >> 3] >> (7 - (bit & 7))) & 1);
        }
        if (V.SampleFormat == 3) {
            float f;
            std::memcpy(&f, &v, 4);
            return f > 0 ? std::min(1.0, (double)f) : 0.0;   // NaN too becomes 0
        }
        return v / double(bps == 32 ? 4294967295.0 : double((uint32_t(1) << bps) - 1));
    }
    void DeepRow(const uint8_t* S, uint8_t* D, uint8_t* M, int32_t X0, int32_t Count) {
        const bool grey = V.Photometric != 2;
        const int32_t colours = grey ? 1 : 3;
        const bool alpha = M && Spp > colours;
        for (int32_t x = 0; x < Count; ++x) {
            double c[3];
            for (int32_t k = 0; k < colours; ++k) {
                c[k] = DeepSample(S, int64_t(x) * Spp + k);
                if (WhiteIsZero) c[k] = 1 - c[k];
            }
            const auto to8 = [](double F) { return (uint8_t)std::lround(F * 255); };
            const auto to16 = [](double F) { return (uint16_t)std::lround(F * 65535); };
            if (PF == ie16g) {
                reinterpret_cast<uint16_t*>(D)[X0 + x] = to16(c[0]);
            } else if (PF == ie32f) {
                reinterpret_cast<float*>(D)[X0 + x] = (float)c[0];
            } else if (PF == ieRGB48) {
                for (int32_t k = 0; k < 3; ++k)
                    reinterpret_cast<uint16_t*>(D)[size_t(X0 + x) * 3 + k] = to16(c[grey ? 0 : k]);
            } else if (PF == ie24RGB) {
                uint8_t* p = D + size_t(X0 + x) * 3;
                for (int32_t k = 0; k < 3; ++k) p[k] = to8(c[grey ? 0 : 2 - k]);
            }
            if (alpha) M[x] = to8(DeepSample(S, int64_t(x) * Spp + colours));
        }
        if (alpha) Mask->Full = false;
    }

    static void SetBit(uint8_t* Row, int32_t X, int Bit) {
        const uint8_t m = (uint8_t)(0x80 >> (X % 8));
        if (Bit)
            Row[X / 8] |= m;
        else
            Row[X / 8] &= (uint8_t)~m;
    }

    TTIFFVars& V;
    TIEBitmap* B;
    TIEPixelFormat PF;
    TIEMask* Mask = nullptr;
    TLayout L = TLayout::None;
    int32_t Spp = 1;
    bool WhiteIsZero = false;
    bool InvertBits = false;
    int32_t AlphaSample = -1;
    bool Associated = false;
    std::vector<uint8_t> Work;
};

// Samples below 8 bits to one byte each (value in the low bits); grey values scaled to 0..255.
void UnpackBits(const TTIFFVars& V, const uint8_t* Src, uint8_t* Dest, int64_t Samples) {
    const int32_t bps = V.BitsPerSample;
    const bool grey = V.Photometric == 0 || V.Photometric == 1;
    const int32_t maxValue = (1 << bps) - 1;
    int64_t bit = 0;
    for (int64_t i = 0; i < Samples; ++i) {
        uint32_t v = 0;
        for (int32_t k = 0; k < bps; ++k, ++bit) v = v << 1 | ((Src[bit >> 3] >> (7 - (bit & 7))) & 1);
        if (grey) {
            if (bps == 7)
                v *= 2;
            else
                v = (v * 255 + maxValue / 2) / maxValue;
        }
        Dest[i] = (uint8_t)v;
    }
}

// One strip or tile decoded into rows FirstRow.. of the page from column X0 on. Width: the
// piece's width in pixels (tiles may reach past the page; the writer clips). Rows: the rows the
// piece holds.
bool DecodePiece(TTIFFVars& V, TPageWriter& W, TRowCounter& Counter, TIOProgressRecord& Progress,
                 const uint8_t* Data, int64_t Length, TStream* RawStream, int64_t RawOffset, int32_t FirstRow,
                 int32_t Rows, int32_t X0, int32_t Width) {
    const TYCbCrBlocks ycc = YCbCrOf(V);
    const int64_t rowBytes = SourceRowBytes(V, Width, V.SamplesPerPixel, ycc);
    if (rowBytes < 0) return false;
    const int64_t srcRows = ycc.Active ? (int64_t(Rows) + ycc.V - 1) / ycc.V : Rows;
    TRowDecoder dec(V, Width, rowBytes, srcRows, Data, Length, RawStream, RawOffset);
    std::vector<uint8_t> row((size_t)rowBytes + 8);
    std::vector<uint8_t> unpacked;
    if (W.UnpacksBits()) unpacked.resize(size_t(Width) * V.SamplesPerPixel + 8);
    std::vector<uint8_t> triples;
    if (ycc.Active) triples.resize(size_t(Width) * 3 * ycc.V + 8);
    for (int64_t r = 0; r < srcRows; ++r) {
        if (IEIsAborting(Progress)) return true;
        if (!dec.Next(row.data())) return false;
        if (ycc.Active) {
            // A row of blocks: H x V luma samples, Cb, Cr; each block gives V rows of H pixels.
            const int32_t blocks = (Width + ycc.H - 1) / ycc.H;
            const int32_t n = ycc.H * ycc.V;
            for (int32_t bI = 0; bI < blocks; ++bI) {
                const uint8_t* blk = row.data() + size_t(bI) * (n + 2);
                for (int32_t j = 0; j < ycc.V; ++j)
                    for (int32_t i = 0; i < ycc.H; ++i) {
                        const int32_t x = bI * ycc.H + i;
                        if (x >= Width) continue;
                        uint8_t* t = triples.data() + (size_t(j) * Width + x) * 3;
                        t[0] = blk[j * ycc.H + i];
                        t[1] = blk[n];
                        t[2] = blk[n + 1];
                    }
            }
            for (int32_t j = 0; j < ycc.V; ++j) {
                const int64_t y = r * ycc.V + j;
                if (y >= Rows) break;
                W.Row(triples.data() + size_t(j) * Width * 3, FirstRow + (int32_t)y, X0, Width);
                Counter.Row();
            }
            continue;
        }
        UndoPredictor(V, row.data(), Width, V.SamplesPerPixel);
        const uint8_t* s = row.data();
        if (W.UnpacksBits()) {
            UnpackBits(V, row.data(), unpacked.data(), int64_t(Width) * V.SamplesPerPixel);
            s = unpacked.data();
        }
        W.Row(s, FirstRow + (int32_t)r, X0, Width);
        Counter.Row();
    }
    return true;
}

// Reads Size bytes at Offset (both clipped to the stream) into Buffer.
void ReadPiece(TStream* Stream, int64_t Offset, int64_t Size, std::vector<uint8_t>& Buffer) {
    Buffer.clear();
    const int64_t total = Stream->GetSize();
    if (Offset < 0 || Offset >= total) return;
    Size = std::min({Size, total - Offset, int64_t(INT32_MAX)});
    if (Size <= 0) return;
    Buffer.resize((size_t)Size);
    Stream->SetPosition(Offset);
    const int32_t got = Stream->Read(Buffer.data(), (int32_t)Size);
    Buffer.resize((size_t)std::max(got, 0));
}

// The byte count of piece I of Counts (0 when the table is short), or the rest of the stream.
int64_t PieceSize(TStream* Stream, int64_t Offset, const std::vector<uint32_t>& Counts, size_t I) {
    int64_t size = I < Counts.size() ? Counts[I] : 0;
    const int64_t left = Stream->GetSize() - Offset;
    if (size <= 0 || size > left) size = left;
    return size;
}

// True when the JPEG stream at Piece's position (with the tables of Header, when given) declares
// a picture of at most MaxWidth x MaxHeight: a JPEG larger than the strip, tile or page that holds
// it is damaged data, and decoding it would allocate what the file never meant. The positions are
// restored.
bool JPEGFits(TStream* Piece, TStream* Header, int32_t MaxWidth, int32_t MaxHeight) {
    TIOParamsVals scratch(nullptr);
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    TIEBitmap none;
    const int64_t piecePos = Piece->GetPosition();
    const int64_t headerPos = Header ? Header->GetPosition() : 0;
    try {
        IEReadJPEGStream(Piece, Header, &none, scratch, progress, true, false, false, false, false, false, -1, false);
    } catch (...) {
        aborting = true;
    }
    Piece->SetPosition(piecePos);
    if (Header) Header->SetPosition(headerPos);
    return !aborting && scratch.Width > 0 && scratch.Height > 0 && scratch.Width <= MaxWidth &&
           scratch.Height <= MaxHeight;
}

// JPEG-coded strips or tiles (compression 7): each piece is a JPEG stream, with the shared tables
// of tag 347 read first when the page has them.
void ReadJPEGPieces(TTIFFVars& V, TIEBitmap* Bitmap, TIOProgressRecord& Progress, bool Tiles) {
    const std::vector<uint32_t>& offsets = Tiles ? V.TileOffsets : V.StripOffsets;
    const std::vector<uint32_t>& counts = Tiles ? V.TileByteCounts : V.StripByteCounts;
    const int32_t pw = Tiles ? V.TileWidth : V.ImageWidth;
    const int32_t ph = Tiles ? V.TileLength : V.RowsPerStrip;
    if (pw <= 0 || ph <= 0) {
        IEAbort(Progress);
        return;
    }
    const int32_t across = Tiles ? (int32_t)((int64_t(V.ImageWidth) + pw - 1) / pw) : 1;
    const bool one = Tiles && V.Params->TIFFGetTile >= 0;
    size_t first = one ? (size_t)V.Params->TIFFGetTile : 0;
    size_t last = one ? first + 1 : offsets.size();
    last = std::min(last, offsets.size());
    const bool tables = !V.JPEGTables.empty();
    const bool raw = tables && V.Photometric == 2;
    TIOProgressRecord inner;
    inner.Aborting = Progress.Aborting;
    const bool single = last - first <= 1;
    const double factor = last > first ? 100.0 / double(last - first) : 0;
    std::vector<uint8_t> buf;
    for (size_t i = first; i < last; ++i) {
        if (IEIsAborting(Progress)) break;
        const int64_t index = (int64_t)(i - first);
        const int32_t x0 = one ? 0 : (int32_t)((int64_t)(i % across) * pw);
        const int32_t y0 = one ? 0 : (int32_t)((int64_t)(i / across) * ph);
        if (x0 >= V.ImageWidth || y0 >= V.ImageLength) break;
        const int64_t offset = V.Base + offsets[i];
        ReadPiece(V.Stream, offset, PieceSize(V.Stream, offset, counts, i), buf);
        if (buf.empty()) continue;
        TMemoryStream piece;
        piece.WriteBuffer(buf.data(), (int32_t)buf.size());
        piece.SetPosition(0);
        TMemoryStream header;
        if (tables) {
            header.WriteBuffer(V.JPEGTables.data(), (int32_t)V.JPEGTables.size());
            header.SetPosition(0);
        }
        if (!JPEGFits(&piece, tables ? &header : nullptr, pw, ph)) continue;
        TIEBitmap tmp;
        TIOParamsVals& p = *V.Params;
        const int32_t dpiX = p.DpiX, dpiY = p.DpiY, w = p.Width, h = p.Height, ow = p.OriginalWidth,
                      oh = p.OriginalHeight, count = p.ImageCount;
        const double exifX = p.EXIFXResolution, exifY = p.EXIFYResolution;
        try {
            IEReadJPEGStream(&piece, tables ? &header : nullptr, &tmp, p, single ? Progress : inner, false, raw, false,
                             true, false, true, -1, p.NativePixelFormat);
        } catch (...) {
            // A piece the JPEG reader cannot take is left out; the others still come.
        }
        // Raw colour keeps the components of a stream the library takes for YCbCr (RGB strips
        // without a colour marker): red first, to be swapped. Streams marked RGB arrive blue first.
        const bool swap = raw && p.JPEGColorSpace == 2;
        p.SetDpiX(dpiX);
        p.SetDpiY(dpiY);
        p.EXIFXResolution = exifX;
        p.EXIFYResolution = exifY;
        p.Width = w;
        p.Height = h;
        p.OriginalWidth = ow;
        p.OriginalHeight = oh;
        p.SetImageCount(count);
        if (IEIsAborting(Progress)) break;
        if (swap && tmp.GetPixelFormat() == ie24RGB)
            for (int32_t y = 0; y < tmp.GetHeight(); ++y) IESwapRBHook(tmp.GetScanline(y), tmp.GetWidth());
        tmp.CopyRectTo(Bitmap, 0, 0, x0, y0, std::min(tmp.GetWidth(), pw), std::min(tmp.GetHeight(), ph));
        if (!single && Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)((index + 1) * factor));
    }
}

// Separate planes: strip I of plane P is entry P x strips-per-plane + I. 8- and 16-bit samples are
// interleaved into one row and converted like a contiguous page.
void ReadPlanarStrips(TTIFFVars& V, TIEBitmap* Bitmap, TIOProgressRecord& Progress, TPageWriter& W,
                      TRowCounter& Counter) {
    const int32_t spp = V.SamplesPerPixel;
    if (V.BitsPerSample != 8 && V.BitsPerSample != 16) return IEAbort(Progress);
    const size_t perPlane = V.StripOffsets.size() / (size_t)spp;
    const TYCbCrBlocks none;
    const int64_t planeBytes = SourceRowBytes(V, V.ImageWidth, 1, none);
    if (planeBytes < 0 || perPlane == 0) {
        IEAbort(Progress);
        return;
    }
    const int32_t bytesPerSample = V.BitsPerSample / 8;
    std::vector<std::vector<uint8_t>> data((size_t)spp);
    std::vector<std::vector<uint8_t>> planeRows((size_t)spp, std::vector<uint8_t>((size_t)planeBytes + 8));
    std::vector<uint8_t> row((size_t)planeBytes * spp + 8);
    int32_t firstRow = 0;
    for (size_t s = 0; s < perPlane && firstRow < V.ImageLength; ++s, firstRow += V.RowsPerStrip) {
        if (IEIsAborting(Progress)) return;
        const int32_t rows = std::min(V.RowsPerStrip, V.ImageLength - firstRow);
        std::vector<std::unique_ptr<TRowDecoder>> decoders;
        for (int32_t p = 0; p < spp; ++p) {
            const size_t i = (size_t)p * perPlane + s;
            const int64_t offset = V.Base + V.StripOffsets[i];
            if (V.Compression == 1) {
                data[(size_t)p].clear();
                decoders.emplace_back(new TRowDecoder(V, V.ImageWidth, planeBytes, rows, nullptr, 0, V.Stream, offset));
            } else {
                ReadPiece(V.Stream, offset, PieceSize(V.Stream, offset, V.StripByteCounts, i), data[(size_t)p]);
                decoders.emplace_back(new TRowDecoder(V, V.ImageWidth, planeBytes, rows, data[(size_t)p].data(),
                                                      (int64_t)data[(size_t)p].size(), nullptr, 0));
            }
        }
        for (int32_t r = 0; r < rows; ++r) {
            if (IEIsAborting(Progress)) return;
            for (int32_t p = 0; p < spp; ++p) {
                if (!decoders[(size_t)p]->Next(planeRows[(size_t)p].data())) {
                    IEAbort(Progress);
                    return;
                }
                UndoPredictor(V, planeRows[(size_t)p].data(), V.ImageWidth, 1);
                const uint8_t* src = planeRows[(size_t)p].data();
                uint8_t* dst = row.data() + (size_t)p * bytesPerSample;
                const size_t stride = (size_t)spp * bytesPerSample;
                for (int32_t x = 0; x < V.ImageWidth; ++x, src += bytesPerSample, dst += stride)
                    std::memcpy(dst, src, (size_t)bytesPerSample);
            }
            W.Row(row.data(), firstRow + r, 0, V.ImageWidth);
            Counter.Row();
        }
    }
    (void)Bitmap;
}

}  // namespace

bool IETIFFDeepSamples(const TTIFFVars& V) {
    const int32_t bps = V.BitsPerSample, spp = V.SamplesPerPixel, ph = V.Photometric;
    const bool grey = (ph == 0 || ph == 1) && (spp == 1 || spp == 2);
    const bool rgb = ph == 2 && (spp == 3 || spp == 4);
    if (!grey && !rgb) return false;
    if (V.SampleFormat == 3) return bps == 32;
    if (V.SampleFormat == 2 || bps <= 8 || bps > 32) return false;
    return !(grey && spp == 1 && (bps == 12 || bps == 16)) && !(rgb && bps == 16);
}

void IETIFFReadStrips(TTIFFVars& V, TIEBitmap* Bitmap, TIOProgressRecord& Progress) {
    if (V.Compression == 7) {
        ReadJPEGPieces(V, Bitmap, Progress, false);
        return;
    }
    if (V.RowsPerStrip <= 0 || V.ImageWidth <= 0 || V.ImageLength <= 0) {
        IEAbort(Progress);
        return;
    }
    TPageWriter writer(V, Bitmap);
    // Sample layouts the library has no rows for are refused rather than left as allocated.
    if (!writer.Supported()) return IEAbort(Progress);
    TRowCounter counter(Progress, V.ImageLength);
    if (V.PlanarConfig == 2 && V.SamplesPerPixel > 1) {
        ReadPlanarStrips(V, Bitmap, Progress, writer, counter);
        return;
    }
    std::vector<uint8_t> buf;
    int32_t firstRow = 0;
    for (size_t i = 0; i < V.StripOffsets.size() && firstRow < V.ImageLength; ++i) {
        if (IEIsAborting(Progress)) break;
        const int32_t rows = std::min(V.RowsPerStrip, V.ImageLength - firstRow);
        const int64_t offset = V.Base + V.StripOffsets[i];
        bool ok;
        if (V.Compression == 1) {
            ok = DecodePiece(V, writer, counter, Progress, nullptr, 0, V.Stream, offset, firstRow, rows, 0,
                             V.ImageWidth);
        } else {
            ReadPiece(V.Stream, offset, PieceSize(V.Stream, offset, V.StripByteCounts, i), buf);
            ok = DecodePiece(V, writer, counter, Progress, buf.data(), (int64_t)buf.size(), nullptr, 0, firstRow, rows,
                             0, V.ImageWidth);
        }
        if (!ok) {
            IEAbort(Progress);
            break;
        }
        firstRow += V.RowsPerStrip;
    }
}

void IETIFFReadTiles(TTIFFVars& V, TIEBitmap* Bitmap, TIOProgressRecord& Progress) {
    if (V.PlanarConfig == 2 && V.SamplesPerPixel > 1) {
        IEAbort(Progress);
        return;
    }
    if (V.TileWidth <= 0 || V.TileLength <= 0 || V.ImageWidth <= 0 || V.ImageLength <= 0) {
        IEAbort(Progress);
        return;
    }
    if (V.Compression == 7) {
        ReadJPEGPieces(V, Bitmap, Progress, true);
        return;
    }
    TPageWriter writer(V, Bitmap);
    if (!writer.Supported()) return IEAbort(Progress);
    const bool one = V.Params->TIFFGetTile >= 0;
    const int64_t across = (int64_t(V.ImageWidth) + V.TileWidth - 1) / V.TileWidth;
    const int64_t down = (int64_t(V.ImageLength) + V.TileLength - 1) / V.TileLength;
    size_t first = one ? (size_t)V.Params->TIFFGetTile : 0;
    size_t last = one ? first + 1 : (size_t)std::min<int64_t>(across * down, (int64_t)V.TileOffsets.size());
    last = std::min(last, V.TileOffsets.size());
    TRowCounter counter(Progress, int64_t(last > first ? last - first : 0) * V.TileLength);
    std::vector<uint8_t> buf;
    for (size_t i = first; i < last; ++i) {
        if (IEIsAborting(Progress)) break;
        const int32_t x0 = one ? 0 : (int32_t)((int64_t)(i % (size_t)across) * V.TileWidth);
        const int32_t y0 = one ? 0 : (int32_t)((int64_t)(i / (size_t)across) * V.TileLength);
        const int64_t offset = V.Base + V.TileOffsets[i];
        bool ok;
        if (V.Compression == 1) {
            ok = DecodePiece(V, writer, counter, Progress, nullptr, 0, V.Stream, offset, y0, V.TileLength, x0,
                             V.TileWidth);
        } else {
            ReadPiece(V.Stream, offset, PieceSize(V.Stream, offset, V.TileByteCounts, i), buf);
            ok = DecodePiece(V, writer, counter, Progress, buf.data(), (int64_t)buf.size(), nullptr, 0, y0,
                             V.TileLength, x0, V.TileWidth);
        }
        if (!ok) {
            IEAbort(Progress);
            break;
        }
    }
}

void IETIFFReadOldJPEG(TTIFFVars& V, TIEBitmap* Bitmap, TIOProgressRecord& Progress) {
    TIOParamsVals params(nullptr);
    TStream* s = V.Stream;
    const int64_t total = s->GetSize();
    // Writers of these pages give the JPEG stream whole MCU rows: a stream up to the next multiple
    // of 16 rows beyond the page is its own, and is cut to the page.
    const auto padded = [](int32_t N) { return (int32_t)std::min<int64_t>((int64_t(N) + 15) / 16 * 16, INT32_MAX); };
    if (!V.StripByteCounts.empty() && !V.StripOffsets.empty()) {
        if (V.ImageWidth <= 0 || V.ImageLength <= 0 || int64_t(V.ImageWidth) * V.ImageLength > kIETIFFMaxPixels ||
            !IEImageSizeAllowed(V.ImageWidth, V.ImageLength) || !Bitmap->Allocate(V.ImageWidth, V.ImageLength, ie24RGB)) {
            IEAbort(Progress);
            return;
        }
        Bitmap->Fill(0);   // strips that do not decode stay black, not leftover memory
        const int32_t rps = V.RowsPerStrip > 0 ? V.RowsPerStrip : V.ImageLength;
        std::vector<uint8_t> head, seg, strip;
        ReadPiece(s, V.Base + (uint32_t)V.JPEGInterchangeFormat, (uint32_t)V.JPEGInterchangeFormatLength, head);
        const size_t n = V.StripOffsets.size();
        TIOProgressRecord inner;
        inner.Aborting = Progress.Aborting;
        bool drawn = false;
        for (size_t i = 0; i < n; ++i) {
            if (IEIsAborting(Progress)) break;
            const int64_t row0 = int64_t(i) * rps;
            if (row0 >= V.ImageLength) break;
            TMemoryStream ms;
            if (!head.empty()) ms.WriteBuffer(head.data(), (int32_t)head.size());
            const int64_t off0 = V.Base + V.StripOffsets[0];
            if (i > 0 && seg.empty()) {
                // The first marker segment of strip 0 (its tables), repeated before every later strip.
                std::vector<uint8_t> m;
                ReadPiece(s, off0, 4, m);
                if (m.size() == 4) ReadPiece(s, off0, 2 + (int64_t)ByteOrder::GetBE16(&m[2]), seg);
            }
            if (i > 0 && !seg.empty()) ms.WriteBuffer(seg.data(), (int32_t)seg.size());
            const int64_t off = V.Base + V.StripOffsets[i];
            const int64_t cnt = i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0;
            ReadPiece(s, off, std::min<int64_t>(cnt, total - off), strip);
            if (!strip.empty()) ms.WriteBuffer(strip.data(), (int32_t)strip.size());
            ms.SetPosition(0);
            if (!JPEGFits(&ms, nullptr, V.ImageWidth, padded(V.ImageLength))) continue;
            TIEBitmap tmp;
            const bool was = IEIsAborting(Progress);
            try {
                IEReadJPEGStream(&ms, nullptr, &tmp, params, n > 1 ? inner : Progress, false, false, false, false, true,
                                 false, rps, false);
            } catch (...) {
                IEAbort(Progress);
            }
            if (!was && IEIsAborting(Progress) && tmp.GetHeight() * 2 > rps && Progress.Aborting)
                Progress.Aborting->store(false);
            if (tmp.GetPixelFormat() == ie24RGB && tmp.GetWidth() > 0 && tmp.GetHeight() > 0) {
                tmp.CopyRectTo(Bitmap, 0, 0, 0, (int32_t)row0, std::min(tmp.GetWidth(), V.ImageWidth),
                               (int32_t)std::min<int64_t>({tmp.GetHeight(), rps, V.ImageLength - row0}));
                drawn = true;
            }
            if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)(double(i + 1) / n * 100));
        }
        // A page none of whose strips decoded is refused rather than shown black.
        if (!drawn) IEAbort(Progress);
        return;
    }
    int64_t start = (uint32_t)V.JPEGInterchangeFormat;
    if (start == 0 && !V.StripOffsets.empty()) start = V.StripOffsets[0];
    start += V.Base;
    if (start >= total) {
        IEAbort(Progress);
        return;
    }
    s->SetPosition(start);
    const int32_t length = IEJPEGStreamLength(s);
    if (length <= 0 || length > total - start) {
        IEAbort(Progress);
        return;
    }
    std::vector<uint8_t> data;
    ReadPiece(s, start, length, data);
    TMemoryStream ms;
    ms.WriteBuffer(data.data(), (int32_t)data.size());
    ms.SetPosition(0);
    // A thumbnail page may have no size tags: its JPEG stream then gives the size (up to 400 a side).
    const int32_t maxW = V.ImageWidth > 0 ? V.ImageWidth : 400, maxH = V.ImageLength > 0 ? padded(V.ImageLength) : 400;
    if (!JPEGFits(&ms, nullptr, maxW, maxH)) {
        IEAbort(Progress);
        return;
    }
    try {
        IEReadJPEGStream(&ms, nullptr, Bitmap, params, Progress, false, false, false, false, true, true, -1, false);
    } catch (...) {
        IEAbort(Progress);
    }
    // A stream padded past the page is cut to it.
    if (V.ImageWidth > 0 && V.ImageLength > 0 && (Bitmap->GetWidth() > V.ImageWidth || Bitmap->GetHeight() > V.ImageLength))
        Bitmap->Resize(std::min(Bitmap->GetWidth(), V.ImageWidth), std::min(Bitmap->GetHeight(), V.ImageLength), 0, 255, 0, 0);
}
