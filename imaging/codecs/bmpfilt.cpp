// Bitmap file reader and writer, and the RLE4/RLE8 codecs of its compressed rows.
#include "bmpfilt.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "codecs_common.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

constexpr uint16_t kBM = 0x4D42;

// Reports Trunc(Done x factor) when it changed since the last report.
struct TRowProgress {
    TIOProgressRecord& Progress;
    double Factor;
    int32_t Last = -1;
    TRowProgress(TIOProgressRecord& AProgress, int32_t Rows) : Progress(AProgress), Factor(Rows > 0 ? 100.0 / Rows : 0) {
        Progress.PercentPerUnit = Factor;
    }
    void Report(int32_t Done) {
        const int32_t per = (int32_t)(Done * Factor);
        if (per == Last) return;
        Last = per;
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, per);
    }
};

bool ReadAll(TStream& Stream, void* Buffer, int32_t Count) { return Stream.Read(Buffer, Count) == Count; }

// One channel of a 16-bit (or, with Wide, 32-bit) bit-field pixel, scaled to 8 bits (low bits
// zero).
struct TFieldMask {
    uint32_t Mask = 0;
    int32_t Shift = 0;
    int32_t Bits = 0;
    explicit TFieldMask(uint32_t AMask, bool Wide = false) : Mask(Wide ? AMask : AMask & 0xFFFF) {
        if (!Mask) return;
        while (!((Mask >> Shift) & 1)) ++Shift;
        Bits = IEMaskBitCount((int32_t)Mask);
    }
    uint8_t Get(uint32_t W) const {
        if (!Mask) return 0;
        const uint32_t v = (W & Mask) >> Shift;
        return (uint8_t)(Bits <= 8 ? v << (8 - Bits) : v >> (Bits - 8));
    }
};

// The writing position of the RLE decoders: a file row and a column.
struct TRLECursor {
    TIEBitmap* Bitmap;
    const TIERGB* ColorMap;
    int32_t Width, Height, Row, Col;
    bool TopDown, Indexed;
    uint8_t* Line = nullptr;
    void Seek(int32_t ARow) {
        Row = ARow;
        Line = Row < Height ? Bitmap->GetScanline(TopDown ? Row : Height - 1 - Row) : nullptr;
    }
    void Put(int32_t X, uint8_t V) {
        if (!Line || X < 0 || X >= Width) return;
        if (Indexed)
            Line[X] = V;
        else
            std::memcpy(Line + 3 * X, &ColorMap[V], 3);
    }
};

void DecodeRLE(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Count, const TIERGB* ColorMap,
               TIOProgressRecord& Progress, int32_t FirstRow, bool TopDown, bool Four) {
    if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0 || !Data || Count <= 0) return;
    const bool indexed = Bitmap->GetPixelFormat() == ie8p;
    if (!indexed && (Bitmap->GetPixelFormat() != ie24RGB || !ColorMap)) return;
    TRLECursor c{Bitmap, ColorMap, Bitmap->GetWidth(), Bitmap->GetHeight(), 0, 0, TopDown, indexed};
    if (FirstRow < 0) FirstRow = 0;
    c.Seek(FirstRow);
    TRowProgress progress(Progress, c.Height);
    // Pixels past the row's end are dropped: writers pad RLE rows to whole words with pixels.
    int32_t i = 0;
    while (i + 1 < Count && c.Line) {
        const uint8_t n = Data[i], v = Data[i + 1];
        i += 2;
        if (n > 0) {
            for (int32_t k = 0; k < n; ++k, ++c.Col)
                c.Put(c.Col, Four ? (uint8_t)((k & 1) ? v & 15 : v >> 4) : v);
            c.Col = std::min(c.Col, c.Width);
        } else if (v == 0) {
            c.Col = 0;
            c.Seek(c.Row + 1);
            progress.Report(c.Row - FirstRow);
            if (IEIsAborting(Progress)) return;
        } else if (v == 1) {
            return;
        } else if (v == 2) {
            if (i + 1 >= Count) return;
            // A move past the right edge leaves the column there (nothing more is stored on this
            // row); a move past the last row ends decoding.
            c.Col = (int32_t)std::min<int64_t>((int64_t)c.Col + Data[i], c.Width);
            const int32_t dy = Data[i + 1];
            i += 2;
            if (dy) c.Seek(c.Row + dy);
        } else {
            const int32_t bytes = Four ? (v + 1) / 2 : v;
            const int32_t avail = std::min(bytes, Count - i);
            for (int32_t k = 0; k < v; ++k, ++c.Col) {
                const int32_t b = Four ? k / 2 : k;
                if (b >= avail) break;
                const uint8_t p = Four ? (uint8_t)((k & 1) ? Data[i + b] & 15 : Data[i + b] >> 4) : Data[i + b];
                c.Put(c.Col, p);
            }
            c.Col = std::min(c.Col, c.Width);
            i += bytes + (bytes & 1);
        }
    }
}

// The length of a file row: Width x Bits bits padded to four bytes.
int64_t FileRowLen(int32_t Width, int32_t Bits) { return (((int64_t)Width * Bits + 31) / 32) * 4; }

}  // namespace

void IEDecodeRLE4(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Count, const TIERGB* ColorMap,
                  TIOProgressRecord& Progress, int32_t FirstRow, bool TopDown) {
    DecodeRLE(Bitmap, Data, Count, ColorMap, Progress, FirstRow, TopDown, true);
}

void IEDecodeRLE8(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Count, const TIERGB* ColorMap,
                  TIOProgressRecord& Progress, int32_t FirstRow, bool TopDown) {
    DecodeRLE(Bitmap, Data, Count, ColorMap, Progress, FirstRow, TopDown, false);
}

void IEReadBMPStream(TStream& Stream, TIEBitmap* Bitmap, int32_t DataLength, TIOParamsVals& IOParams,
                     TIOProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader, TIEMask*& AlphaMask,
                     bool IgnoreAlpha) {
    const int64_t start = Stream.GetPosition();
    const int64_t streamSize = Stream.GetSize();
    uint32_t pixelOffset = 0;
    if (!NoFileHeader) {
        uint8_t fh[14];
        if (!ReadAll(Stream, fh, 14) || ByteOrder::GetLE16(fh) != kBM) return IEAbort(Progress);
        const uint32_t fileSize = ByteOrder::GetLE32(fh + 2);
        if (fileSize > 0 && fileSize <= 0x7FFFFFFF && DataLength <= 0) DataLength = (int32_t)fileSize;
        pixelOffset = ByteOrder::GetLE32(fh + 10);
    }

    uint8_t h[64] = {};
    if (!ReadAll(Stream, h, 4)) return IEAbort(Progress);
    const uint32_t headerSize = ByteOrder::GetLE32(h);
    IOParams.FreeColorMap();
    TIERGB colorMap[256] = {};
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    int32_t width, height, bits, compression = 0, colours = 0;
    bool topDown = false;
    if (headerSize == 12) {
        if (!ReadAll(Stream, h + 4, 8)) return IEAbort(Progress);
        IOParams.BMPVersion = 2;
        width = ByteOrder::GetLE16(h + 4);
        height = ByteOrder::GetLE16(h + 6);
        bits = ByteOrder::GetLE16(h + 10);
        IOParams.SetDpiX(IEDefaultDPIX);
        IOParams.SetDpiY(IEDefaultDPIY);
        if (bits <= 8) {
            colours = 1 << bits;
            for (int32_t i = 0; i < colours; ++i) {
                uint8_t e[3];
                if (!ReadAll(Stream, e, 3)) return IEAbort(Progress);
                colorMap[i] = TIERGB{e[0], e[1], e[2]};
            }
        }
    } else {
        // The fields up to the bit count are needed; a longer header is read up to 64 bytes.
        if (headerSize < 16) return IEAbort(Progress);
        const int32_t take = (int32_t)std::min<uint32_t>(64, headerSize);
        if (!ReadAll(Stream, h + 4, take - 4)) return IEAbort(Progress);
        if (headerSize > 64) Stream.Seek(start + (NoFileHeader ? 0 : 14) + (int64_t)headerSize, soBeginning);
        IOParams.BMPVersion = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
        width = (int32_t)ByteOrder::GetLE32(h + 4);
        height = (int32_t)ByteOrder::GetLE32(h + 8);
        if (height < 0) {
            if (height == INT32_MIN) return IEAbort(Progress);
            height = -height;
            topDown = true;
        }
        bits = ByteOrder::GetLE16(h + 14);
        compression = (int32_t)ByteOrder::GetLE32(h + 16);
        const auto dpi = [](uint32_t PerMetre, int32_t Default) {
            const int32_t v = (int32_t)std::lround(std::min<double>(PerMetre, 1e9) / 100.0 * 2.54);
            return v ? v : Default;
        };
        IOParams.SetDpiX(dpi(ByteOrder::GetLE32(h + 24), IEDefaultDPIX));
        IOParams.SetDpiY(dpi(ByteOrder::GetLE32(h + 28), IEDefaultDPIY));
        if (compression == 3 && (headerSize < 52 || headerSize == 64)) {
            // The masks follow a header too short to hold them, before the palette. Some writers
            // leave them out of 5-5-5 files: no room for them before the pixels.
            if (pixelOffset && Stream.GetPosition() + 12 > start + (int64_t)pixelOffset) {
                if (bits != 16) masks[0] = masks[1] = masks[2] = 0;
            } else {
                uint8_t m[12];
                if (!ReadAll(Stream, m, 12)) return IEAbort(Progress);
                for (int32_t i = 0; i < 3; ++i) masks[i] = ByteOrder::GetLE32(m + 4 * i);
            }
        }
        uint32_t used = ByteOrder::GetLE32(h + 32);
        if (used > 256) used = 0;
        if (used == 0 && bits <= 8) used = 1u << bits;
        colours = (int32_t)used;
        for (int32_t i = 0; i < colours; ++i) {
            uint8_t e[4];
            if (!ReadAll(Stream, e, 4)) return IEAbort(Progress);
            colorMap[i] = TIERGB{e[0], e[1], e[2]};
        }
    }
    if (width < 0) return IEAbort(Progress);
    if (compression == 3 && headerSize >= 52 && headerSize != 64) {
        // Version 2 and later headers carry the masks themselves, at 40.
        for (int32_t i = 0; i < 3; ++i) masks[i] = ByteOrder::GetLE32(h + 40 + 4 * i);
    } else if (compression != 0 && compression != 3) {
        masks[0] = masks[1] = masks[2] = 0;
    }
    // Depths and compressions the rows below do not decode (a 2-bit palette, an embedded JPEG or
    // PNG, Huffman-coded rows, an unknown bit count) are refused rather than left undrawn.
    const bool decodable = compression == 0   ? bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32
                           : compression == 1 ? bits == 8
                           : compression == 2 ? bits == 4
                           : compression == 3 ? bits == 16 || bits == 32
                                              : false;
    if (!decodable) return IEAbort(Progress);
    if (colours > 0) {
        IOParams.ColorMap.reset(new TIERGB[colours]);
        std::memcpy(IOParams.ColorMap.get(), colorMap, sizeof(TIERGB) * colours);
        IOParams.ColorMapCount = colours;
    }
    IOParams.Width = IOParams.OriginalWidth = width;
    IOParams.Height = IOParams.OriginalHeight = height;
    IOParams.SetImageCount(1);
    IOParams.BMPCompression = (compression == 1 || compression == 2) ? 1 : 0;
    IESetDepthParams(IOParams, bits);

    if (pixelOffset) Stream.Seek(start + pixelOffset, soBeginning);
    const int64_t consumed = Stream.GetPosition() - start;
    int64_t dataSize = DataLength > 0 ? DataLength - consumed : (int64_t)ByteOrder::GetLE32(h + 20);
    // Never more than the stream still holds.
    dataSize = std::max<int64_t>(0, std::min<int64_t>({dataSize, streamSize - Stream.GetPosition(), 0x7FFFFFFF}));

    if (width == 0 || height == 0) ParamsOnly = true;
    if (ParamsOnly) return;
    const bool native = IOParams.NativePixelFormat;
    // A 1-bit image is a bilevel bitmap when its two colours are black and white (either way
    // round); any other pair of colours is read through the palette like 4-bit images.
    const auto isColour = [&](int32_t I, uint8_t V) {
        return colorMap[I].r == V && colorMap[I].g == V && colorMap[I].b == V;
    };
    const bool whiteBlack = colours == 2 && isColour(0, 255) && isColour(1, 0);
    const bool bilevel = bits == 1 && (whiteBlack || (isColour(0, 0) && isColour(1, 255)));
    const TIEPixelFormat format = bilevel ? ie1g : (bits <= 8 && native) ? ie8p : ie24RGB;
    // Uncompressed rows must all be in the stream; run-length data can end the image early.
    const bool uncompressed = compression == 0 || compression == 3;
    const double rowsBytes = uncompressed ? (double)FileRowLen(width, bits) * height : 0;
    if (!IEImageSizeAccepted(width, height, Progress, &Stream, rowsBytes)) return;
    if (!Bitmap->Allocate(width, height, format)) return IEAbort(Progress);
    if (format == ie8p) {
        for (int32_t i = 0; i < 256; ++i) Bitmap->SetPaletteEntry(i, colorMap[i]);
        Bitmap->PaletteColors = 1 << bits;
    }
    TRowProgress progress(Progress, height);
    const int64_t rowLen = FileRowLen(width, bits);
    if (rowLen > 0x7FFFFFF0) return IEAbort(Progress);
    const int32_t fileRow = (int32_t)rowLen;
    auto target = [&](int32_t I) { return Bitmap->GetScanline(topDown ? I : height - 1 - I); };

    // RLE data: read whole into memory and decoded from there.
    if ((bits == 4 && compression == 2) || (bits == 8 && compression == 1)) {
        // Pixels the runs skip are index 0 (or its colour) rather than whatever memory held.
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* line = Bitmap->GetScanline(y);
            if (native)
                std::memset(line, 0, (size_t)width);
            else
                for (int32_t x = 0; x < width; ++x) std::memcpy(line + 3 * x, &colorMap[0], 3);
        }
        std::vector<uint8_t> data((size_t)dataSize);
        if (dataSize && !ReadAll(Stream, data.data(), (int32_t)dataSize)) return IEAbort(Progress);
        if (bits == 4)
            IEDecodeRLE4(Bitmap, data.data(), (int32_t)dataSize, colorMap, Progress, 0, topDown);
        else
            IEDecodeRLE8(Bitmap, data.data(), (int32_t)dataSize, colorMap, Progress, 0, topDown);
        return;
    }
    const bool plain = compression == 0 || (bits == 16 && compression == 3) || (bits == 32 && compression == 3);
    if (!plain || !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) return;

    std::vector<uint8_t> row((size_t)fileRow + 32);
    const bool wide = bits == 32;
    const TFieldMask red(masks[0], wide), green(masks[1], wide), blue(masks[2], wide);
    // 32-bit fields other than blue, green, red in the low three bytes go through the masks.
    const bool fields32 = bits == 32 && compression == 3 &&
                          !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
    // Their alpha is the header's alpha field (version 3 and later headers), else none.
    const TFieldMask alphaField(headerSize >= 56 ? ByteOrder::GetLE32(h + 52) : 0, true);
    bool anyAlpha = false, someNot0 = false, someNot255 = false;
    if (bits == 32 && !IgnoreAlpha) {
        if (!AlphaMask) AlphaMask = new TIEMask();
        AlphaMask->Allocate(width, height, 8);
        AlphaMask->Fill(255);
        anyAlpha = true;
    }
    for (int32_t i = 0; i < height; ++i) {
        progress.Report(i);
        if (IEIsAborting(Progress)) return;
        uint8_t* dst = target(i);
        const int32_t y = topDown ? i : height - 1 - i;
        if (bilevel || bits == 24) {
            if (!ReadAll(Stream, row.data(), fileRow)) return IEAbort(Progress);
            std::memcpy(dst, row.data(), (size_t)std::min<int64_t>(Bitmap->GetRowLen(), fileRow));
            continue;
        }
        if (!ReadAll(Stream, row.data(), fileRow)) return IEAbort(Progress);
        const uint8_t* src = row.data();
        switch (bits) {
        case 1:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t v = (uint8_t)(src[x / 8] >> (7 - (x & 7)) & 1);
                if (native)
                    dst[x] = v;
                else
                    std::memcpy(dst + 3 * x, &colorMap[v], 3);
            }
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t v = (x & 1) ? src[x / 2] & 15 : src[x / 2] >> 4;
                if (native)
                    dst[x] = v;
                else
                    std::memcpy(dst + 3 * x, &colorMap[v], 3);
            }
            break;
        case 8:
            if (native)
                std::memcpy(dst, src, (size_t)width);
            else
                for (int32_t x = 0; x < width; ++x) std::memcpy(dst + 3 * x, &colorMap[src[x]], 3);
            break;
        case 16:
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t w = ByteOrder::GetLE16(src + 2 * x);
                dst[3 * x] = blue.Get(w);
                dst[3 * x + 1] = green.Get(w);
                dst[3 * x + 2] = red.Get(w);
            }
            break;
        case 32:
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t w = ByteOrder::GetLE32(src + 4 * x);
                if (fields32) {
                    dst[3 * x] = blue.Get(w);
                    dst[3 * x + 1] = green.Get(w);
                    dst[3 * x + 2] = red.Get(w);
                } else {
                    std::memcpy(dst + 3 * x, src + 4 * x, 3);
                }
                if (anyAlpha) {
                    const uint8_t a = !fields32 ? src[4 * x + 3] : alphaField.Mask ? alphaField.Get(w) : 255;
                    someNot0 |= a != 0;
                    someNot255 |= a != 255;
                    AlphaMask->SetPixel(x, y, a);
                }
            }
            break;
        }
    }
    if (bilevel && whiteBlack) IENotBitmapHook(Bitmap);
    if (anyAlpha && (!someNot0 || !someNot255)) {
        delete AlphaMask;
        AlphaMask = nullptr;
    }
}

// The costliest rows mix short literal runs with pairs: a run of 3 literal pixels takes 6 bytes
// (escape, count, 3 pixels, pad byte) and the pair after it 2, so 8 bytes for 5 pixels; every other
// mix costs less a pixel (RLE4 at most 4 bytes for 3). A literal run that ends the row costs at most
// 1.2 bytes more, and the end-of-line escape 2.
int64_t IEEncodeRLEBound(int32_t Count) { return (int64_t)Count + (int64_t)Count * 3 / 5 + 4; }

namespace {

// Writes Count literal pixels of Row at Pos in pieces of at most 255.
int32_t FlushLiterals(const uint8_t* Row, int32_t Count, uint8_t* Dest, bool Four) {
    int32_t o = 0;
    while (Count > 0) {
        const int32_t n = std::min(Count, 255);
        if (n == 1) {
            Dest[o++] = 1;
            Dest[o++] = Four ? (uint8_t)(Row[0] << 4) : Row[0];
        } else if (n == 2 && !Four) {
            Dest[o++] = 1;
            Dest[o++] = Row[0];
            Dest[o++] = 1;
            Dest[o++] = Row[1];
        } else if (n == 2) {
            Dest[o++] = 2;
            Dest[o++] = (uint8_t)((Row[0] << 4) | (Row[1] & 15));
        } else {
            Dest[o++] = 0;
            Dest[o++] = (uint8_t)n;
            int32_t bytes = 0;
            if (Four) {
                for (int32_t k = 0; k < n; k += 2, ++bytes)
                    Dest[o++] = (uint8_t)((Row[k] << 4) | (k + 1 < n ? Row[k + 1] & 15 : 0));
            } else {
                std::memcpy(Dest + o, Row, (size_t)n);
                o += n;
                bytes = n;
            }
            if (bytes & 1) Dest[o++] = 0;
        }
        Row += n;
        Count -= n;
    }
    return o;
}

int32_t EncodeRLE(const uint8_t* Row, int32_t Count, uint8_t* Dest, bool Four) {
    int32_t o = 0, literal = 0, x = 0;
    while (x < Count) {
        if (x + 1 < Count && Row[x] == Row[x + 1]) {
            o += FlushLiterals(Row + literal, x - literal, Dest + o, Four);
            int32_t n = 2;
            while (x + n < Count && n < 255 && Row[x + n] == Row[x]) ++n;
            Dest[o++] = (uint8_t)n;
            Dest[o++] = Four ? (uint8_t)((Row[x] << 4) | (Row[x] & 15)) : Row[x];
            x += n;
            literal = x;
        } else {
            ++x;
            if (x - literal > 255) {
                o += FlushLiterals(Row + literal, 255, Dest + o, Four);
                literal += 255;
            }
        }
    }
    o += FlushLiterals(Row + literal, Count - literal, Dest + o, Four);
    Dest[o++] = 0;
    Dest[o++] = 0;
    return o;
}

}  // namespace

int32_t IEEncodeRLE4(const uint8_t* Row, int32_t Count, uint8_t* Dest) { return EncodeRLE(Row, Count, Dest, true); }
int32_t IEEncodeRLE8(const uint8_t* Row, int32_t Count, uint8_t* Dest) { return EncodeRLE(Row, Count, Dest, false); }

void IEWriteBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      bool WriteAlpha) {
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0) return;
    int32_t bits;
    if (IOParams.BitsPerSample == 1 || IOParams.BitsPerSample == 4)
        bits = IOParams.BitsPerSample;
    else if (IOParams.SamplesPerPixel == 1)
        bits = 8;
    else
        bits = Bitmap->HasAlphaChannel() ? 32 : 24;
    const bool core = IOParams.BMPVersion == 2;
    if (core && (width > 0xFFFF || height > 0xFFFF)) return IEAbort(Progress);
    const bool rle = IOParams.BMPCompression == 1 && !core && (bits == 4 || bits == 8);
    bool aborting = IEIsAborting(Progress);
    auto write = [&](const void* Buffer, int32_t Count) {
        IEStreamWriteChecked(Stream, aborting, Buffer, Count);
        if (aborting) IEAbort(Progress);
    };

    const int64_t start = Stream.GetPosition();
    uint8_t fh[14] = {'B', 'M'};
    write(fh, 14);
    const int32_t headerSize = core ? 12 : IOParams.BMPVersion == 3 ? 64 : 40;
    uint8_t h[64] = {};
    ByteOrder::PutLE32(h, (uint32_t)headerSize);
    if (core) {
        ByteOrder::PutLE16(h + 4, (uint32_t)width);
        ByteOrder::PutLE16(h + 6, (uint32_t)height);
        ByteOrder::PutLE16(h + 8, 1);
    } else {
        ByteOrder::PutLE32(h + 4, (uint32_t)width);
        ByteOrder::PutLE32(h + 8, (uint32_t)height);
        ByteOrder::PutLE16(h + 12, 1);
        ByteOrder::PutLE32(h + 16, rle ? (bits == 4 ? 2 : 1) : 0);
        // Pixels per metre (halves away from zero) of any caller's resolution, saturating at the
        // field's range.
        ByteOrder::PutLE32(h + 24, (uint32_t)Checked::TruncSaturate<int32_t>(std::round(IOParams.DpiX / 2.54 * 100)));
        ByteOrder::PutLE32(h + 28, (uint32_t)Checked::TruncSaturate<int32_t>(std::round(IOParams.DpiY / 2.54 * 100)));
        if (bits <= 8) ByteOrder::PutLE32(h + 32, 1u << bits);
        ByteOrder::PutLE32(h + 36, bits <= 8 ? 1u << bits : bits == 24 ? 16777216u : 1u);
    }
    write(h, headerSize);
    if (aborting) return;

    // The source in a format the rows below can take.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* source = Bitmap;
    const TIEPixelFormat pf = Bitmap->GetPixelFormat();
    const bool needs24 = (bits == 4 && pf != ie24RGB) || (bits == 8 && pf != ie24RGB && pf != ie8p) ||
                         (bits >= 24 && pf != ie24RGB) || (bits == 1 && pf != ie1g && pf != ie24RGB);
    if (needs24) {
        copy.reset(new TIEBitmap(width, height, ie24RGB));
        copy->ConvertFrom(Bitmap);
        source = copy.get();
    }
    TRowProgress progress(Progress, height);
    const int32_t fileRow = (int32_t)FileRowLen(width, bits);
    std::vector<uint8_t> out((size_t)std::max<int64_t>(fileRow, IEEncodeRLEBound(width)) + 4);
    const auto writePalette = [&](const TIERGB* Palette, int32_t Count) {
        for (int32_t i = 0; i < Count; ++i) {
            const uint8_t e[4] = {Palette[i].b, Palette[i].g, Palette[i].r, 0};
            write(e, core ? 3 : 4);
        }
    };
    int64_t dataStart = 0;

    if (bits == 4 || bits == 8) {
        const int32_t count = 1 << bits;
        IOParams.FreeColorMap();
        IOParams.ColorMap.reset(new TIERGB[count]());
        IOParams.ColorMapCount = count;
        const std::unique_ptr<IIEQuantizer> quantizer = IENewQuantizerHook(source, IOParams.ColorMap.get(), 0, count);
        writePalette(IOParams.ColorMap.get(), count);
        dataStart = Stream.GetPosition();
        std::vector<uint8_t> index((size_t)width);
        const bool paletted = source->GetPixelFormat() == ie8p;
        for (int32_t y = height - 1; y >= 0 && !aborting; --y) {
            progress.Report(height - 1 - y);
            if (IEIsAborting(Progress)) return;
            const uint8_t* src = source->GetScanline(y);
            if (paletted)
                std::memcpy(index.data(), src, (size_t)width);
            else
                for (int32_t x = 0; x < width; ++x) {
                    const TIERGB c{src[3 * x], src[3 * x + 1], src[3 * x + 2]};
                    index[x] = (uint8_t)quantizer->RGBIndex(c);
                }
            if (rle) {
                write(out.data(), bits == 4 ? IEEncodeRLE4(index.data(), width, out.data())
                                            : IEEncodeRLE8(index.data(), width, out.data()));
                continue;
            }
            std::fill(out.begin(), out.end(), 0);
            if (bits == 8)
                std::memcpy(out.data(), index.data(), (size_t)width);
            else
                for (int32_t x = 0; x < width; ++x) out[x / 2] |= (uint8_t)((x & 1) ? index[x] & 15 : index[x] << 4);
            write(out.data(), fileRow);
        }
        if (rle) {
            const uint8_t end[2] = {0, 1};
            write(end, 2);
        }
    } else if (bits == 1) {
        IOParams.FreeColorMap();
        IOParams.ColorMap.reset(new TIERGB[2]());
        IOParams.ColorMapCount = 2;
        TIERGB palette[2] = {{0, 0, 0}, {255, 255, 255}};
        if (source->GetPixelFormat() != ie1g) {
            std::unique_ptr<TIEBitmap> two = IEConvertTo1BitIfTwoColorsHook(source, palette[0], palette[1]);
            if (!two) {
                palette[0] = {0, 0, 0};
                palette[1] = {255, 255, 255};
                two.reset(new TIEBitmap(width, height, ie1g));
                two->ConvertFrom(source);
            }
            copy = std::move(two);
            source = copy.get();
        }
        std::memcpy(IOParams.ColorMap.get(), palette, sizeof(palette));
        writePalette(palette, 2);
        dataStart = Stream.GetPosition();
        for (int32_t y = height - 1; y >= 0 && !aborting; --y) {
            progress.Report(height - 1 - y);
            if (IEIsAborting(Progress)) return;
            std::fill(out.begin(), out.end(), 0);
            std::memcpy(out.data(), source->GetScanline(y), (size_t)std::min(fileRow, source->GetRowLen()));
            write(out.data(), fileRow);
        }
    } else {
        dataStart = Stream.GetPosition();
        for (int32_t y = height - 1; y >= 0 && !aborting; --y) {
            progress.Report(height - 1 - y);
            if (IEIsAborting(Progress)) return;
            const uint8_t* src = source->GetScanline(y);
            if (bits == 24) {
                std::memcpy(out.data(), src, (size_t)width * 3);
                std::fill(out.begin() + (size_t)width * 3, out.begin() + fileRow, 0);
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    std::memcpy(out.data() + 4 * x, src + 3 * x, 3);
                    out[4 * x + 3] = WriteAlpha ? Bitmap->GetAlpha(x, y) : 255;
                }
            }
            write(out.data(), fileRow);
        }
    }
    if (aborting || IEIsAborting(Progress)) return;
    const int64_t end = Stream.GetPosition();
    ByteOrder::PutLE32(fh + 2, (uint32_t)(end - start));
    ByteOrder::PutLE32(fh + 10, (uint32_t)(dataStart - start));
    if (core)
        ByteOrder::PutLE16(h + 10, (uint32_t)bits);
    else {
        ByteOrder::PutLE16(h + 14, (uint32_t)bits);
        ByteOrder::PutLE32(h + 20, (uint32_t)(end - dataStart));
    }
    Stream.Seek(start, soBeginning);
    write(fh, 14);
    write(h, headerSize);
    Stream.Seek(end, soBeginning);
}
