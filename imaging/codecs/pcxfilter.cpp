// The PCX reader and writer and the DCX container.
#include "pcxfilter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "iecoreutils_streams.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

constexpr int32_t kHeaderSize = 128;
constexpr int32_t kMaxDCXPages = 1024;

uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
void PutLe16(uint8_t* p, int32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

// Lines of one plane from the image data in memory. A run that passes the end of a line is
// carried into the next line decoded. Nothing is read past the end of the data: the rest of a
// line is then 0.
class TPCXLineDecoder {
public:
    TPCXLineDecoder(const std::vector<uint8_t>& Data, bool Encoded) : FData(Data), FEncoded(Encoded) {}
    void Decode(uint8_t* Line, int32_t Count) {
        int32_t i = 0;
        if (!FEncoded) {
            const size_t n = std::min<size_t>((size_t)Count, FData.size() - FPos);
            if (n) std::memcpy(Line, FData.data() + FPos, n);
            FPos += n;
            i = (int32_t)n;
        } else {
            while (i < Count) {
                if (FRun > 0) {
                    const int32_t n = std::min(FRun, Count - i);
                    std::memset(Line + i, FValue, (size_t)n);
                    i += n;
                    FRun -= n;
                    continue;
                }
                if (FPos >= FData.size()) break;
                const uint8_t c = FData[FPos++];
                if (c < 192) {
                    Line[i++] = c;
                } else {
                    FRun = c & 63;
                    FValue = FPos < FData.size() ? FData[FPos++] : 0;
                }
            }
        }
        if (i < Count) std::memset(Line + i, 0, (size_t)(Count - i));
    }

private:
    const std::vector<uint8_t>& FData;
    bool FEncoded;
    size_t FPos = 0;
    int32_t FRun = 0;
    uint8_t FValue = 0;
};

// Run-length encoding of one line of N samples (runs of at most 63, never across lines), with
// one 0 byte after an odd N.
void EncodeLine(const uint8_t* Samples, int32_t N, std::vector<uint8_t>& Out) {
    Out.clear();
    for (int32_t i = 0; i < N;) {
        int32_t run = 1;
        while (i + run < N && run < 63 && Samples[i + run] == Samples[i]) ++run;
        if (run > 1 || Samples[i] >= 192) {
            Out.push_back((uint8_t)(192 + run));
            Out.push_back(Samples[i]);
        } else {
            Out.push_back(Samples[i]);
        }
        i += run;
    }
    if (N & 1) Out.push_back(0);
}

// The few colours an indexed PCX needs. Images with at most Count colours keep them exactly;
// others take a fixed spread of colours (levels per channel, as many as fit in Count), and every
// pixel the nearest entry.
class TPCXPalette {
public:
    TPCXPalette(TIEBitmap* Source, int32_t Count) {
        std::map<uint32_t, int32_t> seen;
        const int32_t w = Source->GetWidth(), h = Source->GetHeight();
        for (int32_t y = 0; y < h && (int32_t)seen.size() <= Count; ++y) {
            const uint8_t* row = Source->GetScanline(y);
            for (int32_t x = 0; x < w && (int32_t)seen.size() <= Count; ++x) seen.emplace(Key(row + 3 * (size_t)x), 0);
        }
        if ((int32_t)seen.size() <= Count) {
            for (auto& e : seen) {
                e.second = (int32_t)Entries.size();
                Entries.push_back(TIERGB{(uint8_t)e.first, (uint8_t)(e.first >> 8), (uint8_t)(e.first >> 16)});
            }
            FExact = std::move(seen);
        } else {
            const int32_t levels[3] = {Count == 16 ? 2 : 6, Count == 16 ? 4 : 7, Count == 16 ? 2 : 6};   // b, g, r
            for (int32_t r = 0; r < levels[2]; ++r)
                for (int32_t g = 0; g < levels[1]; ++g)
                    for (int32_t b = 0; b < levels[0]; ++b)
                        Entries.push_back(TIERGB{(uint8_t)(b * 255 / (levels[0] - 1)),
                                                 (uint8_t)(g * 255 / (levels[1] - 1)),
                                                 (uint8_t)(r * 255 / (levels[2] - 1))});
        }
        Entries.resize((size_t)Count, TIERGB{0, 0, 0});
        FUsed = FExact.empty() ? (int32_t)Entries.size() : (int32_t)FExact.size();
    }
    uint8_t Index(const uint8_t* Pixel) {
        const uint32_t key = Key(Pixel);
        auto it = FExact.find(key);
        if (it != FExact.end()) return (uint8_t)it->second;
        const int32_t i = IENearestPaletteColorHook(Entries.data(), FUsed, TIERGB{Pixel[0], Pixel[1], Pixel[2]});
        FExact.emplace(key, i);
        return (uint8_t)i;
    }
    std::vector<TIERGB> Entries;

private:
    static uint32_t Key(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16; }
    std::map<uint32_t, int32_t> FExact;
    int32_t FUsed = 0;
};

// A new ie24RGB copy of an image of any format.
std::unique_ptr<TIEBitmap> Make24BitCopy(TIEBitmap* Bitmap) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    auto out = std::make_unique<TIEBitmap>(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) out->SetPixelRGB(x, y, Bitmap->GetPixelAsRGB(x, y));
    return out;
}

// The DCX page table (offsets, at most 1024, ended by 0) after the magic; false without the magic.
bool ReadDCXTable(TStream& Stream, std::vector<uint32_t>& Offsets) {
    Offsets.clear();
    uint32_t v = 0;
    if (Stream.Read(&v, 4) != 4 || v != IEDCXMagic) return false;
    for (int32_t i = 0; i < kMaxDCXPages; ++i) {
        if (Stream.Read(&v, 4) != 4 || v == 0) break;
        Offsets.push_back(v);
    }
    return true;
}

// A page's length: up to the next larger offset of the table, or to the end of the stream.
int64_t DCXPageLength(const std::vector<uint32_t>& Offsets, size_t Page, int64_t StreamSize) {
    int64_t end = StreamSize;
    for (uint32_t o : Offsets)
        if (o > Offsets[Page] && o < end) end = o;
    return std::max<int64_t>(0, end - Offsets[Page]);
}

}  // namespace

void IEReadPCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, int32_t DataLength,
                     TIOProgressRecord& Progress, bool ParamsOnly) {
    const int64_t start = Stream.GetPosition();
    uint8_t h[kHeaderSize];
    if (DataLength < kHeaderSize || Stream.Read(h, kHeaderSize) != kHeaderSize || h[0] != 10 || h[3] > 8 ||
        h[2] > 1) {
        IEAbort(Progress);
        return;
    }
    const int32_t bits = h[3], planes = h[65], bytesPerLine = Le16(h + 66);
    const bool encoded = h[2] == 1;
    const int32_t width = (int32_t)Le16(h + 8) - (int32_t)Le16(h + 4) + 1;
    const int32_t height = (int32_t)Le16(h + 10) - (int32_t)Le16(h + 6) + 1;
    if (width <= 0 || height <= 0) {
        IEAbort(Progress);
        return;
    }
    IOParams.SetImageCount(1);
    const int32_t dpiX = Le16(h + 12), dpiY = Le16(h + 14);
    IOParams.SetDpiX(dpiX && dpiY ? dpiX : IEDefaultDPIX);
    IOParams.SetDpiY(dpiX && dpiY ? dpiY : IEDefaultDPIY);

    // The header's 16 colours and, for 8-bit single-plane images, the 256 at the end; both stored
    // red first.
    TIERGB headerMap[16];
    std::memcpy(headerMap, h + 16, 48);
    IESwapRBPaletteHook(headerMap, 0, 16);
    TIERGB palette[256] = {};
    if (planes == 1 && bits > 4) {
        if (DataLength < kHeaderSize + 768) {
            IEAbort(Progress);
            return;
        }
        Stream.SetPosition(start + DataLength - 768);
        if (Stream.Read(palette, 768) != 768) {
            IEAbort(Progress);
            return;
        }
        IESwapRBPaletteHook(palette, 0, 256);
        Stream.SetPosition(start + kHeaderSize);
    }

    IOParams.BitsPerSample = bits;
    IOParams.SamplesPerPixel = planes;
    IOParams.Width = IOParams.OriginalWidth = width;
    IOParams.Height = IOParams.OriginalHeight = height;
    IOParams.PCXVersion = h[1];
    IOParams.FreeColorMap();
    const TIERGB* mapSource = nullptr;
    int32_t mapCount = 0;
    if (bits == 8 && planes == 1) {
        mapSource = palette;
        mapCount = 256;
    } else if (bits == 1 && planes == 4) {
        mapSource = headerMap;
        mapCount = 16;
        IOParams.BitsPerSample = 4;
        IOParams.SamplesPerPixel = 1;
    } else if (bits < 8) {
        mapSource = headerMap;
        mapCount = std::min(16, 1 << bits);
    }
    if (mapCount > 0) {
        IOParams.ColorMap.reset(new TIERGB[(size_t)mapCount]);
        std::copy(mapSource, mapSource + mapCount, IOParams.ColorMap.get());
        IOParams.ColorMapCount = mapCount;
    }
    if (ParamsOnly) return;
    // The data must be able to hold the lines the header declares: as they are, or run-length
    // coded at best 63 bytes in two.
    const double lineBytes = (double)bytesPerLine * planes * height;
    const int64_t available = std::min<int64_t>(DataLength - kHeaderSize, Stream.GetSize() - Stream.GetPosition());
    if (!IEImageSizeAccepted(width, height, Progress, (double)available, encoded ? lineBytes * 2 / 63 : lineBytes))
        return;

    // The whole image data in memory (what the stream holds of it).
    std::vector<uint8_t> data;
    try {
        data.resize((size_t)(DataLength - kHeaderSize));
    } catch (const std::bad_alloc&) {
        IEAbort(Progress);
        return;
    }
    const int32_t got = data.empty() ? 0 : Stream.Read(data.data(), (int32_t)data.size());
    data.resize((size_t)std::max(got, 0));

    if (!Bitmap->Allocate(width, height, bits == 1 && planes == 1 ? ie1g : ie24RGB)) {
        IEAbort(Progress);
        return;
    }
    // The line buffer holds a whole line as the header announces it, and never less than the
    // pixels of a row need: a bytes-per-line too small for the width leaves the rest 0 instead of
    // reading past the buffer.
    const int32_t needed = bits == 8 ? width : bits == 4 ? (width + 1) / 2 : (width + 7) / 8;
    std::vector<uint8_t> line((size_t)std::max(bytesPerLine, needed) * 4);
    uint8_t* lines[4] = {line.data(), line.data() + line.size() / 4, line.data() + line.size() / 2,
                         line.data() + line.size() / 4 * 3};
    TPCXLineDecoder decoder(data, encoded);
    const bool decodable = (planes == 1 && (bits == 8 || bits == 4 || bits == 1)) || (planes == 3 && bits == 8) ||
                           (planes == 4 && bits == 1);
    if (!decodable) IEClearRowsFrom(Bitmap, 0);   // other depths are not decoded: black
    const double factor = 100.0 / height;
    int32_t lastReported = -1;
    for (int32_t r = 0; r < height; ++r) {
        const int32_t percent = (int32_t)(r * factor);
        if (Progress.OnProgress && percent != lastReported) {
            Progress.OnProgress(Progress.Sender, percent);
            lastReported = percent;
        }
        if (Progress.Aborting && *Progress.Aborting) break;
        uint8_t* row = Bitmap->GetScanline(r);
        if (planes == 1 && bits == 8) {
            decoder.Decode(lines[0], bytesPerLine);
            for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * (size_t)x, &palette[lines[0][x]], 3);
        } else if (planes == 1 && bits == 4) {
            decoder.Decode(lines[0], bytesPerLine);
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t b = lines[0][x >> 1];
                std::memcpy(row + 3 * (size_t)x, &headerMap[(x & 1) ? (b & 15) : (b >> 4)], 3);
            }
        } else if (planes == 1 && bits == 1) {
            decoder.Decode(lines[0], bytesPerLine);
            std::memcpy(row, lines[0], (size_t)(width + 7) / 8);
        } else if (planes == 3 && bits == 8) {
            for (int32_t k = 0; k < 3; ++k) decoder.Decode(lines[k], bytesPerLine);
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = row + 3 * (size_t)x;
                p[2] = lines[0][x];
                p[1] = lines[1][x];
                p[0] = lines[2][x];
            }
        } else if (planes == 4 && bits == 1) {
            for (int32_t k = 0; k < 4; ++k) decoder.Decode(lines[k], bytesPerLine);
            for (int32_t x = 0; x < width; ++x) {
                int32_t index = 0;
                for (int32_t k = 0; k < 4; ++k)
                    if (IEGetBitHook(lines[k], x)) index |= 1 << k;
                std::memcpy(row + 3 * (size_t)x, &headerMap[index], 3);
            }
        }
    }
}

void IEWritePCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    if (IOParams.SamplesPerPixel > 3) IOParams.SamplesPerPixel = 3;
    const int32_t depth = IOParams.BitsPerSample == 1 ? 1 : IOParams.BitsPerSample * IOParams.SamplesPerPixel;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if ((depth != 1 && depth != 4 && depth != 8 && depth != 24) || width <= 0 || height <= 0 || width > 65536 ||
        height > 65536) {
        IEAbort(Progress);
        return;
    }

    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* source = Bitmap;
    TIERGB color0{0, 0, 0}, color1{255, 255, 255};
    if (depth == 1) {
        if (Bitmap->GetPixelFormat() != ie1g) {
            copy = IEConvertTo1BitIfTwoColorsHook(Bitmap, color0, color1);
            if (!copy) {
                color0 = TIERGB{0, 0, 0};
                color1 = TIERGB{255, 255, 255};
                copy = IEMake1BitByThreshold(Bitmap, width, height);
            }
        }
    } else if (Bitmap->GetPixelFormat() != ie24RGB) {
        copy = Make24BitCopy(Bitmap);
    }
    if (copy) source = copy.get();

    uint8_t h[kHeaderSize] = {};
    h[0] = 10;
    h[1] = (uint8_t)IOParams.PCXVersion;
    h[2] = IOParams.PCXCompression != 0 ? 1 : 0;
    PutLe16(h + 8, width - 1);
    PutLe16(h + 10, height - 1);
    PutLe16(h + 12, IOParams.DpiX);
    PutLe16(h + 14, IOParams.DpiY);
    h[65] = 1;
    h[68] = 1;
    TIERGB headerMap[16] = {};
    std::unique_ptr<TPCXPalette> quantizer;
    int32_t samples = 0;   // bytes of pixel data in one line of one plane
    switch (depth) {
    case 1:
        h[3] = 1;
        samples = (width + 7) / 8;
        headerMap[0] = color0;
        headerMap[1] = color1;
        break;
    case 4:
        h[3] = 4;
        samples = (width + 1) / 2;
        quantizer = std::make_unique<TPCXPalette>(source, 16);
        std::copy(quantizer->Entries.begin(), quantizer->Entries.end(), headerMap);
        break;
    case 8:
        h[3] = 8;
        samples = width;
        quantizer = std::make_unique<TPCXPalette>(source, 256);
        break;
    default:
        h[3] = 8;
        h[65] = 3;
        h[68] = 0;
        samples = width;
        break;
    }
    const int32_t bytesPerLine = (samples + 1) & ~1;
    if (bytesPerLine > 0xFFFF) {
        // The header's 16-bit line length cannot hold it.
        IEAbort(Progress);
        return;
    }
    PutLe16(h + 66, bytesPerLine);
    IESwapRBPaletteHook(headerMap, 0, 16);
    std::memcpy(h + 16, headerMap, 48);

    bool aborting = false;
    IEStreamWriteChecked(Stream, aborting, h, kHeaderSize);
    const double factor = 100.0 / height;
    const int32_t planes = h[65];
    std::vector<uint8_t> plane((size_t)bytesPerLine * 3), encoded;
    for (int32_t r = 0; r < height && !aborting; ++r) {
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)(r * factor));
        if (Progress.Aborting && *Progress.Aborting) break;
        const uint8_t* row = source->GetScanline(r);
        std::fill(plane.begin(), plane.end(), 0);
        if (depth == 1) {
            std::memcpy(plane.data(), row, (size_t)samples);
        } else if (depth == 4) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t i = quantizer->Index(row + 3 * (size_t)x);
                plane[(size_t)x >> 1] |= (x & 1) ? i : (uint8_t)(i << 4);
            }
        } else if (depth == 8) {
            for (int32_t x = 0; x < width; ++x) plane[(size_t)x] = quantizer->Index(row + 3 * (size_t)x);
        } else {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = row + 3 * (size_t)x;
                plane[(size_t)x] = p[2];
                plane[(size_t)bytesPerLine + x] = p[1];
                plane[2 * (size_t)bytesPerLine + x] = p[0];
            }
        }
        for (int32_t k = 0; k < planes && !aborting; ++k) {
            const uint8_t* samplesOfPlane = plane.data() + (size_t)k * bytesPerLine;
            if (h[2] == 1) {
                EncodeLine(samplesOfPlane, samples, encoded);
                IEStreamWriteChecked(Stream, aborting, encoded.data(), (int32_t)encoded.size());
            } else {
                IEStreamWriteChecked(Stream, aborting, samplesOfPlane, bytesPerLine);
            }
        }
    }
    if (depth == 8 && !aborting && !(Progress.Aborting && *Progress.Aborting)) {
        std::vector<TIERGB> pal = quantizer->Entries;
        IESwapRBPaletteHook(pal.data(), 0, 256);
        const uint8_t marker = 12;
        IEStreamWriteChecked(Stream, aborting, &marker, 1);
        IEStreamWriteChecked(Stream, aborting, pal.data(), 768);
    }
    if (aborting) IEAbort(Progress);
}

bool IEIsDCX(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    std::vector<uint32_t> offsets;
    bool result = ReadDCXTable(Stream, offsets);
    const int64_t size = Stream.GetSize();
    for (uint32_t o : offsets)
        if ((int64_t)o >= size) result = false;
    Stream.SetPosition(start);
    return result;
}

void IEReadDCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool ParamsOnly) {
    std::vector<uint32_t> offsets;
    if (!IEIsDCX(Stream) || !ReadDCXTable(Stream, offsets) || offsets.empty()) {
        // A table without pages has nothing to read either.
        IEAbort(Progress);
        return;
    }
    const int32_t count = (int32_t)offsets.size();
    IOParams.SetImageIndex(IEClamp(IOParams.DCXImageIndex, 0, count - 1));
    const size_t page = (size_t)IOParams.DCXImageIndex;
    const int64_t length = std::min<int64_t>(DCXPageLength(offsets, page, Stream.GetSize()), INT32_MAX);
    Stream.SetPosition(offsets[page]);
    IEReadPCXStream(Stream, Bitmap, IOParams, (int32_t)length, Progress, ParamsOnly);
    IOParams.SetImageCount(count);
}

void IEWriteDCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    std::vector<uint32_t> offsets;
    const int64_t size = Stream.GetSize();
    if (size > 0) {
        Stream.SetPosition(0);
        if (!IEIsDCX(Stream) || !ReadDCXTable(Stream, offsets)) {
            IEAbort(Progress);
            return;
        }
    }
    const size_t count = offsets.size();
    std::vector<uint32_t> table(count + 2, 0);
    TMemoryStream out;
    const uint32_t magic = IEDCXMagic;
    out.WriteBuffer(&magic, 4);
    out.WriteBuffer(table.data(), (int32_t)(table.size() * 4));
    size_t next = 0;
    for (size_t p = 0;; ++p) {
        if ((int64_t)p == IOParams.DCXImageIndex) {
            table[next++] = (uint32_t)out.GetPosition();
            IEWritePCXStream(out, Bitmap, IOParams, Progress);
            // A page that could not be written leaves the container as it was.
            if (Progress.Aborting && *Progress.Aborting) return;
        }
        if (p >= count) break;
        table[next++] = (uint32_t)out.GetPosition();
        const int64_t length = DCXPageLength(offsets, p, size);
        if (length > 0) {
            Stream.SetPosition(offsets[p]);
            IECopyStream(&out, &Stream, length);
        }
    }
    out.SetPosition(4);
    out.WriteBuffer(table.data(), (int32_t)(table.size() * 4));
    Stream.SetSize(0);
    Stream.SetPosition(0);
    out.SetPosition(0);
    IECopyStream(&Stream, &out, out.GetSize());
}
