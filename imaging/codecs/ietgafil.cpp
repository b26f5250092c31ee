// TGA reader and writer.
#include "ietgafil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "SysUtils.h"
#include "ByteOrder.h"
#include "codecs_common.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

constexpr int32_t kExtensionSize = 495;
constexpr char kSignature[18] = "TRUEVISION-XFILE.";   // 17 characters and the zero byte

void Report(TIOProgressRecord& Progress, int32_t Done, int32_t Total) {
    if (Progress.OnProgress && Total > 0) Progress.OnProgress(Progress.Sender, (int32_t)((int64_t)Done * 100 / Total));
}

bool ValidType(uint8_t T) { return (T >= 1 && T <= 3) || (T >= 9 && T <= 11); }
bool ValidDepth(uint8_t D) { return D == 1 || D == 4 || D == 8 || D == 16 || D == 24 || D == 32; }

// The stream read through an 8 KB buffer.
struct TInput {
    TStream& Stream;
    uint8_t Buffer[8192];
    int32_t Fill = 0, Pos = 0;
    explicit TInput(TStream& AStream) : Stream(AStream) {}
    // False when the data ends first.
    bool Get(uint8_t* Dest, int32_t Count) {
        while (Count > 0) {
            if (Pos == Fill) {
                Fill = Stream.Read(Buffer, sizeof(Buffer));
                Pos = 0;
                if (Fill <= 0) {
                    Fill = 0;
                    return false;
                }
            }
            const int32_t n = std::min(Count, Fill - Pos);
            std::memcpy(Dest, Buffer + Pos, (size_t)n);
            Pos += n;
            Dest += n;
            Count -= n;
        }
        return true;
    }
};

// Texts of the extension area: up to Size - 1 characters ending at the first zero byte.
std::string FieldText(const uint8_t* P, size_t Size) {
    const size_t n = strnlen((const char*)P, Size - 1);
    return std::string((const char*)P, n);
}

void ReadExtension(TStream& Stream, int64_t Start, TIOParamsVals& IOParams) {
    const int64_t size = Stream.GetSize();
    if (size - Start < 26) return;
    uint8_t footer[26];
    Stream.Seek(size - 26, soBeginning);
    if (Stream.Read(footer, 26) != 26 || std::memcmp(footer + 8, kSignature, 18) != 0) return;
    const int64_t at = Start + ByteOrder::GetLE32(footer);
    uint8_t e[kExtensionSize];
    if (ByteOrder::GetLE32(footer) == 0 || at + kExtensionSize > size) return;
    Stream.Seek(at, soBeginning);
    if (Stream.Read(e, kExtensionSize) != kExtensionSize) return;
    IOParams.TGAAuthor = FieldText(e + 2, 41);
    IOParams.TGAJob = FieldText(e + 379, 41);
    const uint16_t month = ByteOrder::GetLE16(e + 367), day = ByteOrder::GetLE16(e + 369), year = ByteOrder::GetLE16(e + 371);
    const uint16_t hour = ByteOrder::GetLE16(e + 373), minute = ByteOrder::GetLE16(e + 375), second = ByteOrder::GetLE16(e + 377);
    TDateTime date, time;
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1 && year <= 2499 && hour < 24 &&
        minute < 60 && second < 60 && TryEncodeDate(year, month, day, date) &&
        TryEncodeTime(hour, minute, second, 0, time))
        IOParams.TGADate = date + time;
    IOParams.TGABackground = TIERGB{e[473], e[472], e[471]};
    if (ByteOrder::GetLE16(e + 474) && ByteOrder::GetLE16(e + 476)) IOParams.TGAAspectRatio = (double)ByteOrder::GetLE16(e + 474) / ByteOrder::GetLE16(e + 476);
    if (ByteOrder::GetLE16(e + 478) && ByteOrder::GetLE16(e + 480)) IOParams.TGAGamma = (double)ByteOrder::GetLE16(e + 478) / ByteOrder::GetLE16(e + 480);
}

// Decodes one pixel value of Bytes bytes into column X of the row buffers.
struct TRowDecoder {
    int32_t Depth;
    const TIERGB* Palette;
    const uint8_t* AlphaPalette;
    bool PaletteAlpha;
    uint8_t* Row;
    uint8_t* AlphaRow;
    bool GreyAlpha;   // 16-bit grey pages: a grey byte, then an alpha byte
    int32_t Width;
    void Put(int32_t X, const uint8_t* V) const {
        uint8_t* p = Row + 3 * X;
        switch (Depth) {
        case 1: Row[X] = V[0]; break;
        case 4:   // X counts bytes: two palette indices, the high nibble first
            for (int32_t k = 0; k < 2 && 2 * X + k < Width; ++k) {
                const uint8_t index = k == 0 ? (uint8_t)(V[0] >> 4) : (uint8_t)(V[0] & 15);
                std::memcpy(Row + 3 * (2 * X + k), &Palette[index], 3);
                if (PaletteAlpha) AlphaRow[2 * X + k] = AlphaPalette[index];
            }
            break;
        case 8:
            std::memcpy(p, &Palette[V[0]], 3);
            if (PaletteAlpha) AlphaRow[X] = AlphaPalette[V[0]];
            break;
        case 16: {
            if (GreyAlpha) {
                p[0] = p[1] = p[2] = V[0];
                AlphaRow[X] = V[1];
                break;
            }
            const uint16_t w = ByteOrder::GetLE16(V);
            p[0] = (uint8_t)((w & 31) << 3);
            p[1] = (uint8_t)(((w >> 5) & 31) << 3);
            p[2] = (uint8_t)(((w >> 10) & 31) << 3);
            break;
        }
        case 24: std::memcpy(p, V, 3); break;
        case 32:
            std::memcpy(p, V, 3);
            AlphaRow[X] = V[3];
            break;
        }
    }
};

}  // namespace

bool IEIsTGA(TStream& Stream) {
    const int64_t pos = Stream.GetPosition();
    uint8_t h[18];
    const bool ok = Stream.Read(h, 18) == 18 && ValidType(h[2]) && h[1] <= 1 && ValidDepth(h[16]) &&
                    ByteOrder::GetLE16(h + 12) != 0 && ByteOrder::GetLE16(h + 14) != 0;
    Stream.Seek(pos, soBeginning);
    return ok;
}

void IEReadTGAStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool Preview, TIEMask*& AlphaMask, bool IgnoreAlpha) {
    const int64_t start = Stream.GetPosition();
    IOParams.TGAAuthor.clear();
    IOParams.TGAJob.clear();
    IOParams.TGADate = Date();
    IOParams.TGABackground = TIERGB{0, 0, 0};
    IOParams.TGAAspectRatio = 1;
    IOParams.TGAGamma = 2.2;
    ReadExtension(Stream, start, IOParams);
    Stream.Seek(start, soBeginning);

    TInput in(Stream);
    uint8_t h[18];
    if (!in.Get(h, 18)) return IEAbort(Progress);
    const uint8_t idLength = h[0], mapType = h[1], type = h[2], depth = h[16], descriptor = h[17];
    const int32_t mapOrigin = ByteOrder::GetLE16(h + 3), mapLength = ByteOrder::GetLE16(h + 5), mapEntry = h[7];
    const int32_t width = ByteOrder::GetLE16(h + 12), height = ByteOrder::GetLE16(h + 14);
    IOParams.TGAXPos = ByteOrder::GetLE16(h + 8);
    IOParams.TGAYPos = ByteOrder::GetLE16(h + 10);
    if (!ValidType(type) || !ValidDepth(depth)) return IEAbort(Progress);
    uint8_t id[256];
    if (!in.Get(id, idLength)) return IEAbort(Progress);
    IOParams.TGAImageName.assign((const char*)id, strnlen((const char*)id, idLength));

    // The 3-3-2 colour cube, then the file's map from its origin on; entries past 255 are read and
    // dropped.
    TIERGB palette[256];
    uint8_t alphaPalette[256];
    std::memset(alphaPalette, 255, sizeof(alphaPalette));
    for (int32_t j = 0; j < 8; ++j)
        for (int32_t k = 0; k < 8; ++k)
            for (int32_t l = 0; l < 4; ++l)
                palette[32 * j + 4 * k + l] = TIERGB{(uint8_t)(64 * l + 60), (uint8_t)(32 * k + 28), (uint8_t)(32 * j + 28)};
    bool paletteAlpha = false;
    IOParams.FreeColorMap();
    if (mapType == 1) {
        const int32_t entryBytes = (mapEntry + 7) / 8;
        for (int32_t i = 0; i < mapLength; ++i) {
            uint8_t e[32] = {};   // an entry size of up to 255 bits
            if (!in.Get(e, entryBytes)) return IEAbort(Progress);
            const int32_t index = mapOrigin + i;
            if (index > 255) continue;
            TIERGB& c = palette[index];
            if (entryBytes == 2) {
                const uint16_t w = ByteOrder::GetLE16(e);
                c = TIERGB{(uint8_t)((w & 31) << 3), (uint8_t)(((w >> 5) & 31) << 3), (uint8_t)(((w >> 10) & 31) << 3)};
            } else if (entryBytes >= 3) {
                c = TIERGB{e[0], e[1], e[2]};
                if (entryBytes == 4) {
                    alphaPalette[index] = e[3];
                    paletteAlpha = true;
                }
            }
        }
        const int32_t count = std::min(mapLength, 256);
        if (count > 0) {
            IOParams.ColorMap.reset(new TIERGB[count]);
            std::memcpy(IOParams.ColorMap.get(), palette, sizeof(TIERGB) * count);
        }
        IOParams.ColorMapCount = count;
        IOParams.TGAGrayLevel = false;
    } else if (depth == 8) {
        for (int32_t i = 0; i < 256; ++i) palette[i] = TIERGB{(uint8_t)i, (uint8_t)i, (uint8_t)i};
        IOParams.TGAGrayLevel = true;
    } else if (depth == 1) {
        palette[0] = TIERGB{0, 0, 0};
        palette[1] = TIERGB{255, 255, 255};
    }
    IOParams.TGACompressed = type >= 9;
    IOParams.Width = IOParams.OriginalWidth = width;
    IOParams.Height = IOParams.OriginalHeight = height;
    IOParams.SetDpiX(IEDefaultDPIX);
    IOParams.SetDpiY(IEDefaultDPIY);
    IOParams.SetImageCount(1);
    // Grey pages (types 3 and 11) of 16 bits hold grey and alpha.
    const bool greyAlpha = (type == 3 || type == 11) && depth == 16;
    IESetDepthParams(IOParams, depth);
    if (greyAlpha) {
        IOParams.BitsPerSample = 8;
        IOParams.SamplesPerPixel = 2;
    }
    if (Preview || width == 0 || height == 0) return;
    // The data must be able to hold every row: as it is, or run-length coded at best 128 pixels in
    // a packet of one header and one pixel.
    {
        const double units = (depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : (double)width) * height;
        const double unitBytes = depth <= 4 ? 1 : depth / 8;
        const double available = (double)(Stream.GetSize() - Stream.GetPosition() + in.Fill - in.Pos);
        if (!IEImageSizeAccepted(width, height, Progress, available,
                                 type >= 9 ? units / 128 * (1 + unitBytes) : units * unitBytes))
            return;
    }

    if (!Bitmap->Allocate(width, height, depth == 1 ? ie1g : ie24RGB)) return IEAbort(Progress);
    Bitmap->Fill(0);
    const bool wantAlpha =
        !IgnoreAlpha && (depth == 32 || greyAlpha || (mapType == 1 && paletteAlpha && (depth == 4 || depth == 8)));
    if (wantAlpha) {
        if (!AlphaMask) AlphaMask = new TIEMask();
        AlphaMask->Allocate(width, height, 8);
        AlphaMask->Fill(255);
        AlphaMask->Full = false;
    }
    const int32_t rowBytes = depth == 1 ? (width + 7) / 8 : width * 3;
    std::vector<uint8_t> row((size_t)rowBytes + 4), alphaRow((size_t)width, 255);
    const TRowDecoder decoder{depth, palette, alphaPalette, paletteAlpha, row.data(), alphaRow.data(), greyAlpha, width};
    // Units of a row: bytes of packed pixels for depths 1 and 4, else pixels.
    const int32_t units = depth == 1 ? rowBytes : depth == 4 ? (width + 1) / 2 : width;
    const int32_t unitBytes = depth <= 4 ? 1 : depth / 8;
    const bool rle = type >= 9;
    uint8_t runValue[4] = {};
    int32_t remaining = 0;
    bool isRun = false;
    bool anyAlpha = false;
    const bool topDown = (descriptor & 0x20) != 0, rightToLeft = (descriptor & 0x10) != 0;
    for (int32_t i = 0; i < height; ++i) {
        if (IEIsAborting(Progress)) return;
        for (int32_t x = 0; x < units; ++x) {
            uint8_t v[4];
            if (rle) {
                if (remaining == 0) {
                    uint8_t ph;
                    if (!in.Get(&ph, 1)) return IEAbort(Progress);
                    remaining = (ph & 0x7F) + 1;
                    isRun = (ph & 0x80) != 0;
                    if (isRun && !in.Get(runValue, unitBytes)) return IEAbort(Progress);
                }
                --remaining;
                if (isRun)
                    std::memcpy(v, runValue, 4);
                else if (!in.Get(v, unitBytes))
                    return IEAbort(Progress);
            } else if (!in.Get(v, unitBytes)) {
                return IEAbort(Progress);
            }
            decoder.Put(x, v);
        }
        if (rightToLeft && depth != 1) {
            for (int32_t a = 0, b = width - 1; a < b; ++a, --b) {
                std::swap_ranges(row.data() + 3 * a, row.data() + 3 * a + 3, row.data() + 3 * b);
                std::swap(alphaRow[a], alphaRow[b]);
            }
        } else if (rightToLeft) {
            std::vector<uint8_t> mirrored((size_t)rowBytes, 0);
            for (int32_t a = 0; a < width; ++a)
                if (row[a / 8] & (0x80 >> (a % 8))) mirrored[(width - 1 - a) / 8] |= (uint8_t)(0x80 >> ((width - 1 - a) % 8));
            std::memcpy(row.data(), mirrored.data(), (size_t)rowBytes);
        }
        const int32_t y = topDown ? i : height - 1 - i;
        std::memcpy(Bitmap->GetScanline(y), row.data(), (size_t)rowBytes);
        if (wantAlpha)
            for (int32_t x = 0; x < width; ++x) {
                AlphaMask->SetPixel(x, y, alphaRow[x]);
                anyAlpha |= alphaRow[x] != 255;
            }
        Report(Progress, i + 1, height);
    }
    if (wantAlpha && !anyAlpha) {
        delete AlphaMask;
        AlphaMask = nullptr;
    }
}

namespace {

// One row of Count pixels of Size bytes as run-length packets; packets never cross rows.
void EncodeRow(const uint8_t* Row, int32_t Count, int32_t Size, std::vector<uint8_t>& Out) {
    auto same = [&](int32_t A, int32_t B) { return std::memcmp(Row + A * Size, Row + B * Size, (size_t)Size) == 0; };
    int32_t x = 0;
    while (x < Count) {
        if (x + 1 < Count && same(x, x + 1)) {
            int32_t n = 2;
            while (x + n < Count && n < 128 && same(x, x + n)) ++n;
            Out.push_back((uint8_t)(0x80 | (n - 1)));
            Out.insert(Out.end(), Row + x * Size, Row + (x + 1) * Size);
            x += n;
        } else {
            int32_t n = 1;
            while (x + n < Count && n < 128 && !(x + n + 1 < Count && same(x + n, x + n + 1))) ++n;
            Out.push_back((uint8_t)(n - 1));
            Out.insert(Out.end(), Row + x * Size, Row + (x + n) * Size);
            x += n;
        }
    }
}

}  // namespace

void IEWriteTGAStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      TIEMask* AlphaMask) {
    const TIEPixelFormat pf = Bitmap->GetPixelFormat();
    if (pf != ie24RGB && pf != ie1g) return;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return IEAbort(Progress);
    if (AlphaMask && (AlphaMask->Width < width || AlphaMask->Height < height)) AlphaMask = nullptr;
    bool aborting = IEIsAborting(Progress);
    auto write = [&](const void* Buffer, int32_t Count) {
        IEStreamWriteChecked(Stream, aborting, Buffer, Count);
        if (aborting) IEAbort(Progress);
    };

    int32_t depth;
    const bool oneSample = IOParams.SamplesPerPixel == 1;
    if (oneSample && IOParams.BitsPerSample == 1) {
        depth = 1;
        IOParams.TGACompressed = false;
    } else if (oneSample && IOParams.BitsPerSample == 4) {
        depth = 4;
        IOParams.TGACompressed = false;
    } else if (oneSample && IOParams.BitsPerSample == 8) {
        depth = 8;
    } else if (AlphaMask) {
        depth = 32;
        IOParams.TGACompressed = false;
    } else {
        depth = 24;
    }
    // The source in the format the rows take: ie1g for 1 bit, else ie24RGB.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* source = Bitmap;
    if (depth == 1 && pf == ie24RGB) {
        TIERGB c0, c1;
        copy = IEConvertTo1BitIfTwoColorsHook(Bitmap, c0, c1);
        if (!copy) {
            copy.reset(new TIEBitmap(width, height, ie1g));
            copy->ConvertFrom(Bitmap);
        }
        source = copy.get();
    } else if (depth != 1 && pf == ie1g) {
        copy.reset(new TIEBitmap(width, height, ie24RGB));
        copy->ConvertFrom(Bitmap);
        source = copy.get();
    }
    const bool gray = depth == 8 && IOParams.TGAGrayLevel;
    const bool mapped = (depth == 4 || depth == 8) && !gray;
    const bool compressed = IOParams.TGACompressed;
    std::unique_ptr<IIEQuantizer> quantizer;
    TIERGB palette[256] = {};
    if (depth == 4 || depth == 8) {
        const int32_t count = 1 << depth;
        quantizer = IENewQuantizerHook(source, palette, 0, count);
        IOParams.FreeColorMap();
        IOParams.ColorMap.reset(new TIERGB[count]);
        std::memcpy(IOParams.ColorMap.get(), palette, sizeof(TIERGB) * count);
        IOParams.ColorMapCount = count;
    }

    const int64_t start = Stream.GetPosition();
    const std::string name = IOParams.TGAImageName.substr(0, 254);
    uint8_t h[18] = {};
    h[0] = (uint8_t)(name.size() + 1);
    if (depth == 1 || gray)
        h[2] = compressed ? 11 : 3;
    else if (mapped) {
        h[1] = 1;
        h[2] = compressed ? 9 : 1;
        ByteOrder::PutLE16(h + 5, 1u << depth);
        h[7] = 24;
    } else
        h[2] = compressed ? 10 : 2;
    ByteOrder::PutLE16(h + 8, (uint32_t)IOParams.TGAXPos);
    ByteOrder::PutLE16(h + 10, (uint32_t)IOParams.TGAYPos);
    ByteOrder::PutLE16(h + 12, (uint32_t)width);
    ByteOrder::PutLE16(h + 14, (uint32_t)height);
    h[16] = (uint8_t)depth;
    h[17] = depth == 32 ? 0x28 : 0x20;
    write(h, 18);
    write(name.c_str(), (int32_t)name.size() + 1);
    if (mapped)
        for (int32_t i = 0; i < (1 << depth); ++i) write(&palette[i], 3);

    const int32_t pixelBytes = depth == 32 ? 4 : depth == 24 ? 3 : 1;
    const int32_t rowBytes = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width * pixelBytes;
    std::vector<uint8_t> row((size_t)rowBytes), packed;
    for (int32_t y = 0; y < height && !aborting; ++y) {
        if (IEIsAborting(Progress)) return;
        const uint8_t* src = source->GetScanline(y);
        if (depth == 1) {
            std::memcpy(row.data(), src, (size_t)rowBytes);
        } else if (depth == 4 || depth == 8) {
            std::fill(row.begin(), row.end(), 0);
            for (int32_t x = 0; x < width; ++x) {
                const TIERGB c{src[3 * x], src[3 * x + 1], src[3 * x + 2]};
                const int32_t index = quantizer->RGBIndex(c) & (depth == 4 ? 15 : 255);
                if (depth == 4)
                    row[x / 2] |= (uint8_t)((x & 1) ? index : index << 4);
                else
                    row[x] = gray ? (uint8_t)IERGBToGray(palette[index]) : (uint8_t)index;
            }
        } else if (depth == 24) {
            std::memcpy(row.data(), src, (size_t)rowBytes);
        } else {
            for (int32_t x = 0; x < width; ++x) {
                std::memcpy(&row[4 * x], src + 3 * x, 3);
                row[4 * x + 3] = (uint8_t)AlphaMask->GetPixel(x, y);
            }
        }
        if (compressed && (depth == 8 || depth == 24)) {
            packed.clear();
            EncodeRow(row.data(), width, pixelBytes, packed);
            write(packed.data(), (int32_t)packed.size());
        } else {
            write(row.data(), rowBytes);
        }
        Report(Progress, y + 1, height);
    }
    if (aborting) return;

    uint8_t e[kExtensionSize] = {};
    ByteOrder::PutLE16(e, kExtensionSize);
    std::memcpy(e + 2, IOParams.TGAAuthor.c_str(), std::min<size_t>(IOParams.TGAAuthor.size(), 40));
    uint16_t year, month, day, hour, minute, second, msec;
    DecodeDate(IOParams.TGADate, year, month, day);
    DecodeTime(IOParams.TGADate, hour, minute, second, msec);
    const uint16_t stamp[6] = {month, day, year, hour, minute, second};
    for (int32_t i = 0; i < 6; ++i) ByteOrder::PutLE16(e + 367 + 2 * i, stamp[i]);
    std::memcpy(e + 379, IOParams.TGAJob.c_str(), std::min<size_t>(IOParams.TGAJob.size(), 40));
    e[471] = IOParams.TGABackground.r;
    e[472] = IOParams.TGABackground.g;
    e[473] = IOParams.TGABackground.b;
    const auto ratio = [](double V) { return (uint32_t)std::min(65535.0, std::max(0.0, std::trunc(V * 10000))); };
    ByteOrder::PutLE16(e + 474, ratio(IOParams.TGAAspectRatio));
    ByteOrder::PutLE16(e + 476, 10000);
    ByteOrder::PutLE16(e + 478, ratio(IOParams.TGAGamma));
    ByteOrder::PutLE16(e + 480, 10000);
    const int64_t extensionAt = Stream.GetPosition() - start;
    write(e, kExtensionSize);
    uint8_t footer[26] = {};
    ByteOrder::PutLE16(footer, (uint32_t)extensionAt);
    ByteOrder::PutLE16(footer + 2, (uint32_t)(extensionAt >> 16));
    std::memcpy(footer + 8, kSignature, 18);
    write(footer, 26);
}
