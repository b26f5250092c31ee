#include "bmpfilt_ico.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "SysUtils.h"
#include "bmpfilt.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_general.h"
#include "ieprochooks.h"
#include "imaging/codecs/pngfilt.h"
#include "iecoredefs_settings.h"

namespace {

constexpr int32_t kInfoHeaderSize = 40;
// The largest side of an icon or cursor image this reader allocates.
constexpr int32_t kMaxSide = 32768;

bool IsIconDirectory(TStream& Stream, uint16_t Type) {
    const int64_t pos = Stream.GetPosition();
    const int64_t left = Stream.GetSize() - pos;
    bool ok = false;
    uint8_t head[6];
    if (left >= 23 && Stream.Read(head, 6) == 6 && ByteOrder::GetLE16(head) == 0 && ByteOrder::GetLE16(head + 2) == Type) {
        const uint16_t count = ByteOrder::GetLE16(head + 4);
        ok = count > 0 && 6 + int64_t(count) * 16 <= left;
        for (uint32_t i = 0; ok && i < count; ++i) {
            uint8_t e[16];
            if (Stream.Read(e, 16) != 16) {
                ok = false;
                break;
            }
            const uint32_t size = ByteOrder::GetLE32(e + 8), offset = ByteOrder::GetLE32(e + 12);
            ok = e[3] == 0 && size != 0 && offset >= 6 + (i + 1) * 16;
        }
    }
    Stream.SetPosition(pos);
    return ok;
}

// One directory entry.
struct TIconEntry {
    uint8_t Width, Height, Colors, Reserved;
    uint16_t Planes, BitCount;   // a cursor's hot spot X and Y
    uint32_t Size, Offset;
};

bool ReadEntry(TStream& Stream, TIconEntry& E) {
    uint8_t b[16];
    if (Stream.Read(b, 16) != 16) return false;
    E = {b[0], b[1], b[2], b[3], ByteOrder::GetLE16(b + 4), ByteOrder::GetLE16(b + 6), ByteOrder::GetLE32(b + 8),
         ByteOrder::GetLE32(b + 12)};
    return true;
}

int32_t Side(uint8_t B) { return B == 0 ? 256 : B; }

// The depth an entry announces: its bits per pixel, else the bits of its colour count, else 24.
int32_t EntryDepth(const TIconEntry& E) {
    if (E.BitCount) return E.BitCount;
    const int32_t b = E.Colors ? IEBitsForColors(E.Colors) : 0;
    return b > 0 ? b : 24;
}

bool ReadExact(TStream& Stream, void* Buffer, size_t Count) {
    return Count <= 0x7FFFFFFF && Stream.Read(Buffer, (int32_t)Count) == (int32_t)Count;
}

bool BitSet(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }

// What the reader of one bitmap image needs beyond the stream.
struct TIconImage {
    bool Cursor;
    bool HaveEntry;      // false for a headerless resource
    TIconEntry Entry;
};

// Reads one bitmap image at the stream's position (its information header first).
void ReadIconBitmap(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool ParamsOnly,
                    TIOProgressRecord& Progress, TIEMask*& AlphaMask, bool IgnoreAlpha, const TIconImage& Image) {
    uint8_t h[kInfoHeaderSize];
    if (!ReadExact(Stream, h, sizeof h)) {
        IEAbort(Progress);
        return;
    }
    const uint32_t headerSize = ByteOrder::GetLE32(h);
    const int32_t hdrWidth = (int32_t)ByteOrder::GetLE32(h + 4), hdrHeight = (int32_t)ByteOrder::GetLE32(h + 8);
    const uint16_t hdrBits = ByteOrder::GetLE16(h + 14);
    const int32_t ppmX = (int32_t)ByteOrder::GetLE32(h + 24), ppmY = (int32_t)ByteOrder::GetLE32(h + 28);
    // Longer information headers: the palette follows the whole header.
    if (headerSize > kInfoHeaderSize && headerSize <= 1024) Stream.Seek(headerSize - kInfoHeaderSize, soCurrent);
    const TIconEntry& e = Image.Entry;

    if (!Image.Cursor) {
        IOParams.SetDpiX(ppmX > 0 ? (int32_t)std::nearbyint(ppmX / 100.0L * 2.54L) : IEDefaultDPIX);
        IOParams.SetDpiY(ppmY > 0 ? (int32_t)std::nearbyint(ppmY / 100.0L * 2.54L) : IEDefaultDPIY);
    }
    // Depth.
    int32_t depth = Image.HaveEntry && !Image.Cursor ? e.BitCount : 0;
    if (hdrBits) depth = hdrBits;
    if (!depth && Image.HaveEntry) depth = IEBitsForColors(e.Colors);
    if (depth <= 0) {
        IEAbort(Progress);
        return;
    }
    // Size.
    int32_t width, height;
    if (!Image.HaveEntry) {
        width = hdrWidth;
        height = hdrHeight / 2;
    } else if (Image.Cursor) {
        width = Side(e.Width);
        height = Side(e.Height);
    } else {
        width = e.Width ? e.Width : hdrWidth;
        height = e.Height ? e.Height : hdrHeight / 2;
    }
    // The bitmap's own header says how its rows are laid out: a directory entry that disagrees
    // with a plausible header (as cursors whose entry gives half the height) gives way to it.
    if (Image.HaveEntry && (width != hdrWidth || height != hdrHeight / 2) && hdrWidth > 0 && hdrHeight / 2 > 0 &&
        hdrWidth < 2048 && hdrHeight < 2048) {
        width = hdrWidth;
        height = hdrHeight / 2;
    }
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        IEAbort(Progress);
        return;
    }
    if (Image.Cursor) {
        IOParams.SamplesPerPixel = 1;
        IOParams.BitsPerSample = depth;
    } else if (depth <= 8) {
        IOParams.BitsPerSample = depth;
        IOParams.SamplesPerPixel = 1;
    } else {
        IOParams.BitsPerSample = 8;
        IOParams.SamplesPerPixel = depth == 32 ? 4 : 3;
    }
    // Palette.
    IOParams.FreeColorMap();
    int32_t paletteSize = depth <= 8 ? 1 << depth : 0;
    if (Image.Cursor && Image.HaveEntry && e.Colors) paletteSize = e.Colors == 255 ? 256 : e.Colors;
    if (depth > 8 && !(Image.Cursor && Image.HaveEntry && e.Colors)) paletteSize = 0;
    if (paletteSize > 0 && paletteSize <= 256) {
        std::vector<uint8_t> raw((size_t)paletteSize * 4);
        if (!ReadExact(Stream, raw.data(), raw.size())) {
            IEAbort(Progress);
            return;
        }
        IOParams.ColorMap = std::make_unique<TIERGB[]>((size_t)paletteSize);
        IOParams.ColorMapCount = paletteSize;
        for (int32_t i = 0; i < paletteSize; ++i)
            IOParams.ColorMap[(size_t)i] = {raw[(size_t)i * 4], raw[(size_t)i * 4 + 1], raw[(size_t)i * 4 + 2]};
    } else if (paletteSize > 256) {
        Stream.Seek((int64_t)paletteSize * 4, soCurrent);
    }
    IOParams.Width = IOParams.OriginalWidth = width;
    IOParams.Height = IOParams.OriginalHeight = height;
    if (ParamsOnly) return;
    // The colour rows must be there before anything is allocated for them.
    const size_t xorRow = (((size_t)width * depth + 31) >> 5) * 4;
    const double xorBytes = (double)(depth == 32 ? (size_t)width * 4 : xorRow) * height;
    // Depths the rows below do not draw are refused rather than returned undrawn.
    const bool drawn = depth == 1 || depth == 4 || depth == 8 || depth == 24 || depth == 32;
    if (!drawn) {
        IEAbort(Progress);
        return;
    }
    if (!IEImageSizeAccepted(width, height, Progress, &Stream, xorBytes)) return;

    // Pixel format. A 1-bit image is bilevel when its palette is black then white, or white then
    // black (its rows inverted); other colour pairs are read through the palette.
    const auto isColour = [&](int32_t I, uint8_t V) {
        const TIERGB c = I < IOParams.ColorMapCount ? IOParams.ColorMap[(size_t)I] : TIERGB{0, 0, 0};
        return c.r == V && c.g == V && c.b == V;
    };
    const bool whiteBlack = depth == 1 && isColour(0, 255) && isColour(1, 0);
    const bool bilevel = depth == 1 && (whiteBlack || (isColour(0, 0) && isColour(1, 255)));
    const bool native = IOParams.NativePixelFormat && !Image.Cursor;
    TIEPixelFormat format = bilevel ? ie1g : ie24RGB;
    if (native && !bilevel) {
        if (depth == 1 || depth == 4 || depth == 8)
            format = ie8p;
        else if (depth != 1 && depth != 24 && depth != 32)
            throw Exception(L"Unsupported pixel format");
    }
    if (!Bitmap->Allocate(width, height, format)) {
        IEAbort(Progress);
        return;
    }
    if (format == ie8p) {
        for (int32_t i = 0; i < IOParams.ColorMapCount && i < 256; ++i) Bitmap->SetPaletteEntry(i, IOParams.ColorMap[(size_t)i]);
        Bitmap->PaletteColors = 1 << depth;
    }
    if (!IgnoreAlpha) {
        if (!AlphaMask) AlphaMask = new TIEMask();
        AlphaMask->Allocate(width, height, 8);
        AlphaMask->Fill(255);
        AlphaMask->Full = false;
    }
    const TIERGB background = Image.Cursor ? IOParams.CURBackground : IOParams.ICOBackground;
    const size_t andRow = (((size_t)width + 31) >> 5) * 4;
    const size_t andBytes = drawn ? andRow * (size_t)height : 0;
    auto bytesLeft = [&] { return Stream.GetSize() - Stream.GetPosition(); };
    TIERowProgress progress(Progress, height);
    // Reads the AND rows (zero when the stream ends first, as an icon without them is opaque).
    std::vector<uint8_t> andRows(andBytes, 0);
    auto readAnd = [&] { return ReadExact(Stream, andRows.data(), andBytes); };
    auto andRowOf = [&](int32_t Y) { return andRows.data() + andRow * (size_t)(height - 1 - Y); };
    // Every pixel whose AND bit is set becomes transparent in the mask (others opaque when Reset).
    auto applyAnd = [&](bool Reset) {
        if (IgnoreAlpha) return;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* a = andRowOf(y);
            uint8_t* m = AlphaMask->GetScanline(y);
            for (int32_t x = 0; x < width; ++x)
                if (BitSet(a, x)) m[x] = 0;
                else if (Reset) m[x] = 255;
        }
    };

    if (bilevel) {
        const size_t lineBytes = ((size_t)width + 7) / 8;
        std::vector<uint8_t> row(xorRow);
        for (int32_t r = 0; r < height; ++r) {
            if (!ReadExact(Stream, row.data(), xorRow)) {
                IEAbort(Progress);
                return;
            }
            if (whiteBlack)
                for (uint8_t& b : row) b = (uint8_t)~b;
            std::memcpy(Bitmap->GetScanline(height - 1 - r), row.data(), lineBytes);
        }
        readAnd();
        applyAnd(false);
        const bool bgBit = background.r == 255 && background.g == 255 && background.b == 255;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* a = andRowOf(y);
            uint8_t* line = Bitmap->GetScanline(y);
            for (int32_t x = 0; x < width; ++x)
                if (BitSet(a, x)) {
                    const bool v = BitSet(line, x) != bgBit;
                    const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
                    line[x >> 3] = v ? (line[x >> 3] | bit) : (line[x >> 3] & ~bit);
                }
            progress.Row(y + 1);
        }
    } else if (depth == 1 || depth == 4 || depth == 8) {
        std::vector<uint8_t> xorData(xorRow * (size_t)height);
        if (!ReadExact(Stream, xorData.data(), xorData.size())) {
            IEAbort(Progress);
            return;
        }
        readAnd();
        applyAnd(false);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* src = xorData.data() + xorRow * (size_t)(height - 1 - y);
            const uint8_t* a = andRowOf(y);
            uint8_t* line = Bitmap->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t index = depth == 8   ? src[x]
                                      : depth == 4 ? (uint8_t)((src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15)
                                                   : (uint8_t)(src[x >> 3] >> (7 - (x & 7)) & 1);
                if (format == ie8p) {
                    line[x] = index;
                } else {
                    const TIERGB c = BitSet(a, x)                    ? background
                                     : index < IOParams.ColorMapCount ? IOParams.ColorMap[index]
                                                                      : TIERGB{0, 0, 0};
                    std::memcpy(line + (size_t)x * 3, &c, 3);
                }
            }
            progress.Row(y + 1);
        }
    } else if (depth == 24) {
        std::vector<uint8_t> row(xorRow);
        for (int32_t r = 0; r < height; ++r) {
            if (!ReadExact(Stream, row.data(), xorRow)) {
                IEAbort(Progress);
                return;
            }
            std::memcpy(Bitmap->GetScanline(height - 1 - r), row.data(), (size_t)width * 3);
            progress.Row(r + 1);
        }
        if (bytesLeft() >= (int64_t)andBytes && readAnd()) applyAnd(true);
    } else if (depth == 32) {
        std::vector<uint8_t> row((size_t)width * 4);
        bool allZero = true;
        for (int32_t r = 0; r < height; ++r) {
            if (!ReadExact(Stream, row.data(), row.size())) {
                IEAbort(Progress);
                return;
            }
            const int32_t y = height - 1 - r;
            uint8_t* line = Bitmap->GetScanline(y);
            for (int32_t x = 0; x < width; ++x) std::memcpy(line + (size_t)x * 3, row.data() + (size_t)x * 4, 3);
            for (int32_t x = 0; x < width; ++x) allZero = allZero && row[(size_t)x * 4 + 3] == 0;
            if (!IgnoreAlpha) {
                uint8_t* m = AlphaMask->GetScanline(y);
                for (int32_t x = 0; x < width; ++x) m[x] = row[(size_t)x * 4 + 3];
            }
            progress.Row(r + 1);
        }
        if (allZero && bytesLeft() >= (int64_t)andBytes && readAnd()) applyAnd(true);
    }

    if (!IgnoreAlpha && !Image.Cursor) {
        AlphaMask->UpdateFullFlag();
        if (AlphaMask->Full) {
            delete AlphaMask;
            AlphaMask = nullptr;
        }
    }
}

// The 6-byte directory header; false (the abort flag set) when the stream ends first.
bool ReadHead(TStream& Stream, uint8_t* Head, TIOProgressRecord& Progress) {
    if (ReadExact(Stream, Head, 6)) return true;
    IEAbort(Progress);
    return false;
}

}  // namespace

bool IEIsICO(TStream& Stream) { return IsIconDirectory(Stream, 1); }

bool IEIsCUR(TStream& Stream) { return IsIconDirectory(Stream, 2); }

void IEReadICOStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool ParamsOnly,
                     TIOProgressRecord& Progress, TIEMask*& AlphaMask, bool IgnoreAlpha) {
    TIconImage image{false, !IOParams.IsResource, {}};
    if (image.HaveEntry) {
        const int64_t start = Stream.GetPosition();
        uint8_t head[6];
        if (!ReadHead(Stream, head, Progress)) return;
        if (head[0] == 'B' && head[1] == 'M') {
            Stream.SetPosition(start);
            IEReadBMPStream(Stream, Bitmap, (int32_t)std::min<int64_t>(Stream.GetSize() - start, 0x7FFFFFFF), IOParams,
                            Progress, ParamsOnly, false, AlphaMask, IgnoreAlpha);
            return;
        }
        const int32_t count = ByteOrder::GetLE16(head + 4);
        const int32_t index = IOParams.ICOImageIndex;
        if (index < 0 || index >= count) return;
        // The entries up to the one asked for, and at least the first 16 for the size lists.
        std::vector<TIconEntry> entries((size_t)std::min(count, std::max(index + 1, 16)));
        for (TIconEntry& e : entries)
            if (!ReadEntry(Stream, e)) {
                IEAbort(Progress);
                return;
            }
        IOParams.SetImageCount(count);
        // Every entry is listed, 256-pixel ones (size bytes 0) included.
        for (int32_t i = 0; i < 16; ++i) {
            IOParams.ICOSizes[i] = {0, 0};
            IOParams.ICOBitCount[i] = 0;
        }
        for (int32_t i = 0; i < (int32_t)entries.size() && i < 16; ++i) {
            IOParams.ICOSizes[i] = {Side(entries[(size_t)i].Width), Side(entries[(size_t)i].Height)};
            IOParams.ICOBitCount[i] = EntryDepth(entries[(size_t)i]);
        }
        image.Entry = entries[(size_t)index];
        Stream.SetPosition(start + image.Entry.Offset);
        // A PNG-compressed image.
        uint8_t sig[8];
        const int64_t dataStart = Stream.GetPosition();
        if (ReadExact(Stream, sig, 8) && std::memcmp(sig, "\x89PNG\r\n\x1A\n", 8) == 0) {
            Stream.SetPosition(dataStart);
            IEReadPNGStream(Stream, Bitmap, IOParams, Progress, false);
            return;
        }
        Stream.SetPosition(dataStart);
    } else {
        // A resource image: its header gives the size.
        const int64_t pos = Stream.GetPosition();
        uint8_t h[kInfoHeaderSize];
        if (!ReadExact(Stream, h, sizeof h)) {
            IEAbort(Progress);
            return;
        }
        Stream.SetPosition(pos);
        IOParams.SetImageIndex(0);
        IOParams.ICOSizes[0] = {(int32_t)ByteOrder::GetLE32(h + 4), (int32_t)ByteOrder::GetLE32(h + 8) / 2};
    }
    ReadIconBitmap(Stream, Bitmap, IOParams, ParamsOnly, Progress, AlphaMask, IgnoreAlpha, image);
}

void IEReadCURStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool ParamsOnly,
                     TIOProgressRecord& Progress, TIEMask*& AlphaMask, bool IgnoreAlpha) {
    TIconImage image{true, !IOParams.IsResource, {}};
    if (image.HaveEntry) {
        const int64_t start = Stream.GetPosition();
        uint8_t head[6];
        if (!ReadHead(Stream, head, Progress)) return;
        const int32_t count = ByteOrder::GetLE16(head + 4);
        const int32_t index = IOParams.CURImageIndex;
        if (index < 0 || index >= count) return;
        TIconEntry e{};
        for (int32_t i = 0; i <= index; ++i)
            if (!ReadEntry(Stream, e)) {
                IEAbort(Progress);
                return;
            }
        IOParams.SetImageCount(count);
        IOParams.CURXHotSpot = e.Planes;
        IOParams.CURYHotSpot = e.BitCount;
        image.Entry = e;
        Stream.SetPosition(start + e.Offset);
    } else {
        uint8_t hot[4];
        if (!ReadExact(Stream, hot, 4)) {
            IEAbort(Progress);
            return;
        }
        IOParams.CURXHotSpot = ByteOrder::GetLE16(hot);
        IOParams.CURYHotSpot = ByteOrder::GetLE16(hot + 2);
    }
    ReadIconBitmap(Stream, Bitmap, IOParams, ParamsOnly, Progress, AlphaMask, IgnoreAlpha, image);
}

// ---- Writing --------------------------------------------------------------------------------------

namespace {

// The depth of one icon image from its requested bit count.
int32_t WriteDepth(int32_t BitCount, const TIOParamsVals& IOParams) {
    switch (BitCount) {
        case 8: return 8;
        case 32: return 32;
        case 4: return 4;
        case 1: return 1;
        case 0:
            if (IOParams.SamplesPerPixel == 1 && IOParams.BitsPerSample == 1) return 1;
            if (IOParams.SamplesPerPixel == 1 && IOParams.BitsPerSample == 4) return 4;
            if (IOParams.SamplesPerPixel == 1 && IOParams.BitsPerSample == 8) return 8;
            if (IOParams.SamplesPerPixel == 4 && IOParams.BitsPerSample == 8) return 32;
            return 24;
        default: return 24;
    }
}

void WriteBytes(TStream& Stream, const void* Data, size_t Count, TIOProgressRecord& Progress) {
    if (Count && Stream.Write(Data, (int32_t)Count) != (int32_t)Count) IEAbort(Progress);
}

}  // namespace

void IEWriteICOStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      const TIEIcoSize* Sizes, const int32_t* BitCounts, int32_t Count) {
    if (Count <= 0 || Count > 0xFFFF || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) {
        IEAbort(Progress);
        return;
    }
    const int64_t start = Stream.GetPosition();
    uint8_t head[6];
    ByteOrder::PutLE16(head, 0);
    ByteOrder::PutLE16(head + 2, 1);
    ByteOrder::PutLE16(head + 4, (uint16_t)Count);
    WriteBytes(Stream, head, 6, Progress);
    std::vector<uint8_t> directory((size_t)Count * 16, 0);
    WriteBytes(Stream, directory.data(), directory.size(), Progress);
    const double factor = 100.0 / Count;

    IOParams.FreeColorMap();
    if (Bitmap->GetPixelFormat() != ie24RGB) {
        IOParams.BitsPerSample = 1;
        IOParams.SamplesPerPixel = 1;
    }
    for (int32_t i = 0; i < Count; ++i) {
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)(i * factor));
        if (IEIsAborting(Progress)) return;
        const int32_t w = Sizes[i].Width, h = Sizes[i].Height;
        if (w <= 0 || h <= 0 || w > 256 || h > 256) {
            IEAbort(Progress);
            return;
        }
        const int32_t depth = WriteDepth(BitCounts[i], IOParams);
        // The image at this size: nearest pixel for 1-bit images, linear for colour ones.
        TIEBitmap image(w, h, Bitmap->GetPixelFormat());
        IEResampleIEBitmapHook(Bitmap, &image, Bitmap->GetPixelFormat() == ie1g ? rfNone : rfFastLinear, nullptr,
                               nullptr);
        // A 1-bit image at a colour depth, or a colour image at 1 bit.
        if (depth != 1 && image.GetPixelFormat() == ie1g) image.ConvertPixelFormat(ie24RGB);
        std::unique_ptr<TIEBitmap> bw;
        TIEBitmap* src = &image;
        if (depth == 1 && image.GetPixelFormat() != ie1g) {
            bw = IEMake1BitByThreshold(&image, w, h);
            src = bw.get();
        }
        if ((depth == 4 || depth == 8) && src->GetPixelFormat() != ie8p && src->GetPixelFormat() != ie24RGB)
            src->ConvertPixelFormat(ie24RGB);
        TIEBitmap* alpha = image.HasAlphaChannel() ? image.GetAlphaChannel() : nullptr;
        const int64_t dataStart = Stream.GetPosition();

        const size_t xorRow = (((size_t)w * depth + 31) >> 5) * 4;
        const size_t andRow = (((size_t)w + 31) >> 5) * 4;
        uint32_t imageSize = 0;
        if (depth == 1) imageSize = (uint32_t)(h * xorRow + (size_t)w * h / 8);
        if (depth == 4 || depth == 8) imageSize = (uint32_t)((size_t)w * h / 8 + h * xorRow);
        uint8_t info[kInfoHeaderSize] = {};
        ByteOrder::PutLE32(info, kInfoHeaderSize);
        ByteOrder::PutLE32(info + 4, (uint32_t)w);
        ByteOrder::PutLE32(info + 8, (uint32_t)(h * 2));
        ByteOrder::PutLE16(info + 12, 1);
        ByteOrder::PutLE16(info + 14, (uint16_t)depth);
        ByteOrder::PutLE32(info + 20, imageSize);
        // Pixels per metre of any caller's resolution: one beyond the field's range saturates.
        ByteOrder::PutLE32(info + 24, (uint32_t)Checked::RoundSaturate<int32_t>(IOParams.DpiX / 2.54L * 100));
        ByteOrder::PutLE32(info + 28, (uint32_t)Checked::RoundSaturate<int32_t>(IOParams.DpiY / 2.54L * 100));
        WriteBytes(Stream, info, sizeof info, Progress);

        std::vector<uint8_t> row(xorRow, 0);
        if (depth == 24 || depth == 32) {
            for (int32_t r = 0; r < h; ++r) {
                const int32_t y = h - 1 - r;
                const uint8_t* line = src->GetScanline(y);
                if (depth == 24) {
                    std::memcpy(row.data(), line, (size_t)w * 3);
                } else {
                    for (int32_t x = 0; x < w; ++x) std::memcpy(row.data() + (size_t)x * 4, line + (size_t)x * 3, 3);
                    const uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
                    for (int32_t x = 0; x < w; ++x) row[(size_t)x * 4 + 3] = a ? a[x] : 255;
                }
                WriteBytes(Stream, row.data(), xorRow, Progress);
            }
        } else if (depth == 1) {
            static const uint8_t kBW[8] = {0, 0, 0, 0, 255, 255, 255, 0};
            WriteBytes(Stream, kBW, 8, Progress);
            const size_t lineBytes = ((size_t)w + 7) / 8;
            for (int32_t r = 0; r < h; ++r) {
                std::memcpy(row.data(), src->GetScanline(h - 1 - r), lineBytes);
                WriteBytes(Stream, row.data(), xorRow, Progress);
            }
        } else {
            const int32_t entries = depth == 8 ? 256 : 16;
            std::vector<uint8_t> indices((size_t)w * h);
            TIERGB palette[256] = {};
            if (src->GetPixelFormat() == ie8p) {
                for (int32_t p = 0; p < entries; ++p) palette[p] = src->GetPaletteEntry(p);
                for (int32_t y = 0; y < h; ++y) {
                    const uint8_t* line = src->GetScanline(y);
                    for (int32_t x = 0; x < w; ++x) indices[(size_t)y * w + x] = (uint8_t)(line[x] & (entries - 1));
                }
            } else {
                // Index 0 (black) is kept for transparent pixels; the quantizer's colours follow.
                const std::unique_ptr<IIEQuantizer> quantizer = IENewQuantizerHook(src, palette + 1, 0, entries - 1);
                IOParams.ColorMap = std::make_unique<TIERGB[]>(256);
                IOParams.ColorMapCount = 256;
                for (int32_t p = 0; p < 256; ++p) IOParams.ColorMap[(size_t)p] = palette[p];
                palette[0] = {0, 0, 0};
                for (int32_t y = 0; y < h; ++y) {
                    for (int32_t x = 0; x < w; ++x) {
                        const bool clear = alpha && alpha->GetScanline(y)[x] != 255;
                        const int32_t index = clear ? 0 : std::min(quantizer->RGBIndex(src->GetPixelAsRGB(x, y)) + 1, entries - 1);
                        indices[(size_t)y * w + x] = (uint8_t)index;
                    }
                }
            }
            std::vector<uint8_t> pal((size_t)entries * 4, 0);
            for (int32_t p = 0; p < entries; ++p) {
                pal[(size_t)p * 4] = palette[p].b;
                pal[(size_t)p * 4 + 1] = palette[p].g;
                pal[(size_t)p * 4 + 2] = palette[p].r;
            }
            WriteBytes(Stream, pal.data(), pal.size(), Progress);
            for (int32_t r = 0; r < h; ++r) {
                const uint8_t* in = indices.data() + (size_t)(h - 1 - r) * w;
                std::fill(row.begin(), row.end(), 0);
                if (depth == 8)
                    std::memcpy(row.data(), in, (size_t)w);
                else
                    for (int32_t x = 0; x < w; ++x) row[(size_t)x >> 1] |= (uint8_t)(in[x] << ((x & 1) ? 0 : 4));
                WriteBytes(Stream, row.data(), xorRow, Progress);
            }
        }
        // The AND rows: a set bit for every pixel that is not opaque.
        std::vector<uint8_t> andLine(andRow, 0);
        for (int32_t r = 0; r < h; ++r) {
            std::fill(andLine.begin(), andLine.end(), 0);
            if (alpha) {
                const uint8_t* a = alpha->GetScanline(h - 1 - r);
                for (int32_t x = 0; x < w; ++x)
                    if (a[x] != 255) andLine[(size_t)x >> 3] |= (uint8_t)(0x80 >> (x & 7));
            }
            WriteBytes(Stream, andLine.data(), andRow, Progress);
        }
        const int64_t dataEnd = Stream.GetPosition();
        uint8_t* e = directory.data() + (size_t)i * 16;
        e[0] = (uint8_t)w;
        e[1] = (uint8_t)h;
        if (depth >= 24) {
            e[2] = 0;
            ByteOrder::PutLE16(e + 4, 1);
            ByteOrder::PutLE16(e + 6, (uint16_t)depth);
        } else {
            e[2] = (uint8_t)std::min(1 << depth, 255);
            ByteOrder::PutLE16(e + 4, 0);
            ByteOrder::PutLE16(e + 6, 0);
        }
        e[3] = 0;
        ByteOrder::PutLE32(e + 8, (uint32_t)(dataEnd - dataStart));
        ByteOrder::PutLE32(e + 12, (uint32_t)(dataStart - start));
    }
    const int64_t end = Stream.GetPosition();
    Stream.SetPosition(start + 6);
    WriteBytes(Stream, directory.data(), directory.size(), Progress);
    Stream.SetPosition(end);
}
