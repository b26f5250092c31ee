// The GIF reader and writer.
#include "giffilter.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_threads.h"
#include "iemask.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

void Report(TIOProgressRecord& Progress, int32_t Percent) {
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Percent);
}

uint16_t Le16(const uint8_t* P) { return (uint16_t)(P[0] | (P[1] << 8)); }

// A colour table of 2^(Exponent + 1) entries, red first in the file, as TIERGB. Entries the
// stream does not hold stay black.
void ReadColorTable(TStream& Stream, int32_t Exponent, TIERGB* Table) {
    const int32_t count = 1 << (Exponent + 1);
    uint8_t raw[768] = {};
    Stream.Read(raw, count * 3);
    for (int32_t i = 0; i < count; ++i) Table[i] = TIERGB{raw[i * 3 + 2], raw[i * 3 + 1], raw[i * 3]};
}

// Skips data sub-blocks up to a zero length byte or the end of the stream.
void SkipSubBlocks(TStream& Stream) {
    uint8_t len = 0;
    while (Stream.Read(&len, 1) == 1 && len != 0) Stream.Seek(len, soCurrent);
}

// Frees the heap block of IETryGetMem on every exit.
struct TMemBlock {
    void* P = nullptr;
    ~TMemBlock() { std::free(P); }
};

}  // namespace

void IEReadGIFStream(TStream& Stream, TIEBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& IOParams,
                     TIOProgressRecord& Progress, bool Preview, TIEMask*& AlphaMask, bool IgnoreTransparency) {
    FrameCount = 0;
    Report(Progress, 0);
    if (IEIsAborting(Progress)) return;
    const int64_t streamSize = Stream.GetSize();

    uint8_t header[13] = {};
    Stream.Read(header, 13);
    if (header[0] != 'G' || header[1] != 'I' || header[2] != 'F') {
        IEAbort(Progress);
        return;
    }
    IOParams.GIFVersion.assign((const char*)header, 6);
    IOParams.GIFWinWidth = Le16(header + 6);
    IOParams.GIFWinHeight = Le16(header + 8);
    const uint8_t screenFlags = header[10];
    IOParams.GIFRatio = header[12];
    IOParams.SetDpiX(IEDefaultDPIX);
    IOParams.SetDpiY(IEDefaultDPIY);
    IOParams.SamplesPerPixel = 1;

    // The global table; a file without one gets a grey ramp of the size its flags give, so that a
    // frame without a local table still shows its indices.
    const int32_t globalExponent = screenFlags & 7;
    const int32_t globalCount = 1 << (globalExponent + 1);
    TIERGB globalTable[256] = {};
    if (screenFlags & 0x80) {
        ReadColorTable(Stream, globalExponent, globalTable);
        IOParams.GIFBackground = globalTable[header[11]];
    } else {
        for (int32_t i = 0; i < globalCount; ++i) {
            const uint8_t v = (uint8_t)(i * 255 / (globalCount - 1));
            globalTable[i] = TIERGB{v, v, v};
        }
    }
    if (Stream.GetPosition() >= streamSize) {
        IEAbort(Progress);
        return;
    }

    int32_t frame = 0;
    // The graphic control extension of the selected frame.
    uint8_t gceFlags = 0, gceTransparent = 0;
    uint16_t gceDelay = 0;
    while (!IEIsAborting(Progress)) {
        uint8_t code = 0;
        const bool got = Stream.Read(&code, 1) == 1;
        if (!got || Stream.GetPosition() >= streamSize) break;   // the last byte counts as the trailer
        if (code == 0x3B) break;
        if (code == 0x21) {
            uint8_t label = 0;
            Stream.Read(&label, 1);
            if (label == 0xF9 && frame == IOParams.GIFImageIndex) {
                uint8_t gce[6] = {};   // block size (not checked), flags, delay, index, terminator
                Stream.Read(gce, 6);
                gceFlags = gce[1];
                gceDelay = Le16(gce + 2);
                gceTransparent = gce[4];
            } else if (label == 0xFE) {
                uint8_t len = 0;
                while (Stream.Read(&len, 1) == 1 && len != 0) {
                    char text[256] = {};
                    const int32_t n = Stream.Read(text, len);
                    const std::string line(text, strnlen(text, (size_t)(n > 0 ? n : 0)));
                    if (!line.empty()) IOParams.GIFComments->Add(AnsiToWide(line));
                }
            } else {
                SkipSubBlocks(Stream);
            }
            continue;
        }
        if (code != 0x2C) continue;   // stray bytes between blocks are ignored

        uint8_t desc[9] = {};
        Stream.Read(desc, 9);
        const int32_t left = Le16(desc), top = Le16(desc + 2);
        const int32_t width = Le16(desc + 4), height = Le16(desc + 6);
        const uint8_t flags = desc[8];
        const bool hasLocal = (flags & 0x80) != 0;
        const bool interlaced = (flags & 0x40) != 0;
        TIERGB localTable[256] = {};
        if (hasLocal) ReadColorTable(Stream, flags & 7, localTable);
        if (frame != IOParams.GIFImageIndex) {
            Stream.Seek(1, soCurrent);   // the minimum code size
            SkipSubBlocks(Stream);
            ++frame;
            continue;
        }

        Report(Progress, 30);
        if (IEIsAborting(Progress)) break;
        const TIERGB* table = hasLocal ? localTable : globalTable;
        const int32_t exponent = hasLocal ? (flags & 7) : globalExponent;
        const bool transparent = (gceFlags & 1) != 0;
        IOParams.GIFTranspColor = table[gceTransparent];
        IOParams.GIFXPos = left;
        IOParams.GIFYPos = top;
        IOParams.Width = width;
        IOParams.Height = height;
        IOParams.OriginalWidth = width;
        IOParams.OriginalHeight = height;
        IOParams.GIFDelayTime = gceDelay;
        IOParams.GIFFlagTranspColor = transparent;
        IOParams.GIFInterlaced = interlaced;
        IOParams.GIFAction = (uint8_t)((gceFlags >> 2) & 7);

        TMemBlock buffer;
        const int64_t pixels = (int64_t)width * height;
        if (Preview) {
            Stream.Seek(1, soCurrent);
            SkipSubBlocks(Stream);
        } else {
            if (pixels == 0 || pixels > INT32_MAX) {
                // Nothing to hold, or more than one block can address.
                IEAbort(Progress);
                break;
            }
            IETryGetMem(buffer.P, (int32_t)pixels);
            if (!buffer.P) break;   // no memory: the bitmap stays as it was
            std::memset(buffer.P, 0, (size_t)pixels);
            TGIFLZWDecompressor decoder = IOParams.GIFLZWDecompress ? IOParams.GIFLZWDecompress : IEGIFLZWDecompressor;
            const int64_t before = Stream.GetPosition();
            if (decoder) decoder(&Stream, height, width, interlaced, buffer.P);
            if (Stream.GetPosition() == before) {
                IEAbort(Progress);
                break;
            }
            Report(Progress, 70);
            if (IEIsAborting(Progress)) break;
        }

        IOParams.BitsPerSample = exponent + 1;
        IOParams.ColorMapCount = 1 << IOParams.BitsPerSample;
        IOParams.ColorMap.reset(new TIERGB[(size_t)IOParams.ColorMapCount]);
        std::memcpy(IOParams.ColorMap.get(), table, sizeof(TIERGB) * (size_t)IOParams.ColorMapCount);

        if (!Preview) {
            const bool blackWhite = IOParams.ColorMapCount == 2 && table[0].r == 0 && table[0].g == 0 &&
                                    table[0].b == 0 && table[1].r == 255 && table[1].g == 255 && table[1].b == 255;
            // A very wide or tall frame with little after it is usually a truncated file. Only a
            // frame whose data ran into the stream's end (no terminating empty sub-block, so no
            // trailer either) is refused: one that decoded completely is read whatever follows.
            const int64_t after = streamSize - Stream.GetPosition();
            if (!blackWhite && (width > 65000 || height > 65000) && after <= 0) {
                IEAbort(Progress);
                break;
            }
            const TIEPixelFormat format = blackWhite ? ie1g : IOParams.NativePixelFormat ? ie8p : ie24RGB;
            if (!IEImageSizeAccepted(width, height, Progress)) break;
            if (!Bitmap->Allocate(width, height, format)) {
                IEAbort(Progress);
                break;
            }
            const bool buildMask = !IgnoreTransparency && transparent;
            if (buildMask) {
                if (!AlphaMask) AlphaMask = new TIEMask();
                AlphaMask->Allocate(width, height, 8);
                AlphaMask->Fill(255);
            }
            if (format == ie8p) {
                for (int32_t i = 0; i < IOParams.ColorMapCount; ++i) Bitmap->SetPaletteEntry(i, table[i]);
                Bitmap->PaletteColors = IOParams.ColorMapCount;
            }
            bool anyTransparent = false;
            const uint8_t* src = static_cast<const uint8_t*>(buffer.P);
            for (int32_t y = 0; y < height; ++y, src += width) {
                uint8_t* row = Bitmap->GetScanline(y);
                if (format == ie1g) {
                    std::memset(row, 0, (size_t)(width + 7) / 8);
                    for (int32_t x = 0; x < width; ++x)
                        if (src[x] == 1) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
                } else if (format == ie8p) {
                    std::memcpy(row, src, (size_t)width);
                } else {
                    TIERGB* out = reinterpret_cast<TIERGB*>(row);
                    for (int32_t x = 0; x < width; ++x) out[x] = table[src[x]];
                }
                if (buildMask)
                    for (int32_t x = 0; x < width; ++x)
                        if (src[x] == gceTransparent) {
                            AlphaMask->SetPixel(x, y, 0);
                            anyTransparent = true;
                        }
            }
            if (buildMask) {
                AlphaMask->UpdateFullFlag();
                if (!anyTransparent || AlphaMask->Full) {
                    delete AlphaMask;
                    AlphaMask = nullptr;
                }
            }
        }
        ++frame;
    }

    IOParams.SetImageCount(frame);
    IOParams.GIFImageCount = frame;
    FrameCount = frame;
    if (!IEIsAborting(Progress)) Report(Progress, 100);
}

namespace {

// The palette index of Color: the quantizer's for a colour source, else the nearest entry.
int32_t MapColor(const IIEQuantizer* Quantizer, bool ColorSource, const TIERGB* Palette, int32_t Count,
                 const TIERGB& Color) {
    if (Quantizer && ColorSource) return Quantizer->RGBIndex(Color);
    return IENearestPaletteColorHook(Palette, Count, Color);
}

}  // namespace

void IEWriteGIFStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    Report(Progress, 0);
    if (IEIsAborting(Progress)) return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        IEAbort(Progress);   // GIF sizes are 16-bit
        return;
    }
    int32_t bits = IOParams.BitsPerSample;
    if (bits < 1 || bits > 8) bits = 8;
    const bool hasAlpha = Bitmap->HasAlphaChannel();
    TIEBitmap* alpha = hasAlpha ? Bitmap->GetAlphaChannel() : nullptr;

    // The source the indices come from: ie1g on the black-and-white path, else ie8p (used as it
    // is only when its indices fit and none is reserved) or ie24RGB.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* source = Bitmap;
    if (bits == 1) {
        if (Bitmap->GetPixelFormat() != ie1g) {
            TIERGB c0{}, c1{};
            temp = IEConvertTo1BitIfTwoColorsHook(Bitmap, c0, c1);
            if (!temp) {
                temp = std::make_unique<TIEBitmap>(width, height, ie1g);
                temp->ConvertFrom(Bitmap);
            }
            source = temp.get();
        }
        // A reserved transparent index needs a second palette bit beside black and white.
        if (hasAlpha) bits = 2;
    } else {
        const TIEPixelFormat f = Bitmap->GetPixelFormat();
        if (f != ie24RGB && !(f == ie8p && bits == 8 && !hasAlpha)) {
            temp = std::make_unique<TIEBitmap>(Bitmap);
            temp->ConvertPixelFormat(ie24RGB);
            if (temp->GetPixelFormat() != ie24RGB) {
                IEAbort(Progress);
                return;
            }
            source = temp.get();
        }
    }
    const bool bilevel = source->GetPixelFormat() == ie1g;

    int32_t colorCount = 1 << bits;
    const int32_t reserved = colorCount - 1;
    if (hasAlpha) {
        --colorCount;
        IOParams.GIFFlagTranspColor = true;
    }

    const size_t w = (size_t)width;
    std::vector<uint8_t> indices(w * (size_t)height + 9);
    TIERGB palette[256] = {};
    std::unique_ptr<IIEQuantizer> quantizer;
    if (bilevel) {
        palette[0] = TIERGB{0, 0, 0};
        palette[1] = TIERGB{255, 255, 255};
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source->GetScanline(y);
            uint8_t* out = &indices[(size_t)y * w];
            for (int32_t x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    } else {
        quantizer = IENewQuantizerHook(source, palette, 0, colorCount);
        const bool paletted = source->GetPixelFormat() == ie8p;
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* row = source->GetScanline(y);
            uint8_t* out = &indices[(size_t)y * w];
            if (paletted) {
                std::memcpy(out, row, w);
            } else {
                const TIERGB* px = reinterpret_cast<const TIERGB*>(row);
                for (int32_t x = 0; x < width; ++x) out[x] = (uint8_t)quantizer->RGBIndex(px[x]);
            }
        }
    }
    if (alpha) {
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* a = alpha->GetScanline(y);
            uint8_t* out = &indices[(size_t)y * w];
            for (int32_t x = 0; x < width; ++x)
                if (a[x] < 255) out[x] = (uint8_t)reserved;
        }
        palette[reserved] = IOParams.GIFTranspColor;
    }
    Report(Progress, 30);
    if (IEIsAborting(Progress)) return;

    const bool colorSource = source->GetPixelFormat() == ie24RGB;
    const int32_t background = MapColor(quantizer.get(), colorSource, palette, colorCount, IOParams.GIFBackground);
    const int32_t transparentIndex =
        hasAlpha ? reserved : MapColor(quantizer.get(), colorSource, palette, colorCount, IOParams.GIFTranspColor);

    bool aborting = false;
    std::string head = (IOParams.GIFVersion + "GIF89a").substr(0, 6);
    const auto put16 = [](std::string& S, int32_t V) {
        S.push_back((char)(V & 0xFF));
        S.push_back((char)((V >> 8) & 0xFF));
    };
    put16(head, width);
    put16(head, height);
    head.push_back((char)(0x80 | ((bits - 1) << 4) | (bits - 1)));
    head.push_back((char)background);
    head.push_back('\0');
    // The global table holds every entry, the reserved one included.
    for (int32_t i = 0; i < (1 << bits); ++i) {
        head.push_back((char)palette[i].r);
        head.push_back((char)palette[i].g);
        head.push_back((char)palette[i].b);
    }
    head += "\x21\xF9\x04";
    head.push_back((char)((IOParams.GIFFlagTranspColor ? 1 : 0) | ((IOParams.GIFAction & 7) << 2)));
    put16(head, IOParams.GIFDelayTime);
    head.push_back((char)transparentIndex);
    head.push_back('\0');
    head.push_back('\x2C');
    put16(head, IOParams.GIFXPos);
    put16(head, IOParams.GIFYPos);
    put16(head, width);
    put16(head, height);
    head.push_back((char)(IOParams.GIFInterlaced ? 0x40 : 0));
    IEStreamWriteChecked(Stream, aborting, head.data(), (int32_t)head.size());
    if (aborting) {
        IEAbort(Progress);   // the stream takes no more: the encoder would only raise
        return;
    }
    Report(Progress, 70);
    if (IEIsAborting(Progress)) return;

    TGIFLZWCompressor encoder = IOParams.GIFLZWCompress ? IOParams.GIFLZWCompress : IEGIFLZWCompressor;
    if (!encoder) {
        IEAbort(Progress);
        return;
    }
    encoder(&Stream, height, width, IOParams.GIFInterlaced, indices.data(), bits);

    // The comment extension, always: one sub-block per line (empty lines left out, long ones cut
    // into blocks of 255 bytes, since a zero length would end the extension).
    std::string tail = "\x21\xFE";
    for (int32_t i = 0; i < IOParams.GIFComments->GetCount(); ++i) {
        const std::string line = WideToAnsi(IOParams.GIFComments->GetStrings(i));
        for (size_t at = 0; at < line.size(); at += 255) {
            const size_t n = std::min<size_t>(255, line.size() - at);
            tail.push_back((char)n);
            tail.append(line, at, n);
        }
    }
    tail.push_back('\0');
    tail.push_back('\x3B');
    IEStreamWriteChecked(Stream, aborting, tail.data(), (int32_t)tail.size());
    if (aborting) {
        IEAbort(Progress);
        return;
    }
    Report(Progress, 100);
}
