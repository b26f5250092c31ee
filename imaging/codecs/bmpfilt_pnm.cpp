// The Netpbm (P1..P6) and WBMP readers and writers.
#include "bmpfilt_pnm.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "SysUtils.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

namespace {

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A header token as an integer; -1 when it is not a decimal number (or does not fit).
int32_t TokenToInt(const std::string& Token) {
    if (Token.empty()) return -1;
    int64_t v = 0;
    for (char c : Token) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > INT32_MAX) return -1;
    }
    return (int32_t)v;
}

// Value scaled from 0..Max to 0..Top, exactly truncated; out-of-range values are clamped.
inline uint32_t ScaleSample(int64_t Value, int64_t Max, uint32_t Top) {
    if (Value <= 0) return 0;
    if (Value >= Max) return Top;
    return (uint32_t)(Value * Top / Max);
}

// A table from every sample of 0..Max (Max <= 65535) to 0..Top.
std::vector<uint16_t> ScaleTable(int32_t Max, uint32_t Top) {
    std::vector<uint16_t> t((size_t)Max + 1);
    for (int32_t v = 0; v <= Max; ++v) t[(size_t)v] = (uint16_t)ScaleSample(v, Max, Top);
    return t;
}

std::wstring BytesToText(const std::string& S) { return AnsiToWide(S); }
std::string TextToBytes(const std::wstring& S) { return WideToAnsi(S); }

}  // namespace

void IEReadPNMToken(TStream& Stream, std::string& Token) {
    Token.clear();
    uint8_t c = 0;
    for (;;) {
        if (Stream.Read(&c, 1) != 1) return;
        // A minus sign starts a token too, so that "-1" is not read as 1.
        if (IsAlnum(c) || c == '#' || c == '-') break;
    }
    if (c == '#') {
        std::string text;
        while (Stream.Read(&c, 1) == 1 && c != '\n' && c != '\r') text.push_back((char)c);
        size_t b = 0, e = text.size();
        while (b < e && (uint8_t)text[b] <= ' ') ++b;
        while (e > b && (uint8_t)text[e - 1] <= ' ') --e;
        Token = "#" + text.substr(b, e - b);
        return;
    }
    Token.push_back((char)c);
    while (Stream.Read(&c, 1) == 1 && IsAlnum(c)) Token.push_back((char)c);
}

bool IEIsPNM(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    std::string token;
    int32_t found = 0;   // 0 magic, 1 width, 2 height
    int32_t width = -1, height = -1;
    bool result = false;
    for (int32_t i = 0; i < 501; ++i) {
        IEReadPNMToken(Stream, token);
        if (token.empty()) break;
        if (token[0] == '#') continue;
        if (found == 0) {
            if (token.size() != 2 || token[0] != 'P' || token[1] < '1' || token[1] > '6') break;
        } else if (found == 1) {
            width = TokenToInt(token);
        } else {
            height = TokenToInt(token);
            result = width > 0 && height > 0;
            break;
        }
        ++found;
    }
    Stream.SetPosition(start);
    return result;
}

void IEReadPNMStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool ParamsOnly) {
    IOParams.PXMComments->Clear();
    std::string token, magic;
    int32_t values[3] = {-1, -1, -1};   // width, height, maximum
    int32_t needed = 3, got = 0;
    for (;;) {
        IEReadPNMToken(Stream, token);
        if (token.empty()) break;
        if (token[0] == '#') {
            IOParams.PXMComments->Add(BytesToText(token.substr(1)));
            continue;
        }
        if (magic.empty()) {
            magic = token;
            if (magic == "P1" || magic == "P4") {
                values[2] = 1;
                needed = 2;
            }
            continue;
        }
        values[got++] = TokenToInt(token);
        if (got == needed) break;
    }
    const int32_t width = values[0], height = values[1], maxval = values[2];
    if (width <= 0 || height <= 0) {
        IEAbort(Progress);
        return;
    }
    IOParams.FreeColorMap();
    IOParams.Width = width;
    IOParams.Height = height;
    IOParams.OriginalWidth = width;
    IOParams.OriginalHeight = height;
    IOParams.SetDpiX(IEDefaultDPIX);
    IOParams.SetDpiY(IEDefaultDPIY);
    // A maximum of 0 (or none) cannot scale anything: the file is refused.
    const bool binaryWide = maxval > 255;
    if (maxval < 1 || maxval > 65535 || magic.size() != 2 || magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') {
        IEAbort(Progress);
        return;
    }
    const char kind = magic[1];
    const int32_t spp = (kind == '3' || kind == '6') ? 3 : 1;
    IOParams.SamplesPerPixel = spp;
    IOParams.BitsPerSample = (kind == '1' || kind == '4') ? 1 : ((kind == '5' || kind == '6') && binaryWide) ? 16 : 8;
    if (ParamsOnly) return;

    TIEPixelFormat format = ie24RGB;
    if (kind == '1' || kind == '4')
        format = ie1g;
    else if (kind == '5' && binaryWide && IOParams.NativePixelFormat)
        format = ie16g;
    else if (kind == '6' && binaryWide && IOParams.NativePixelFormat)
        format = ieRGB48;
    // The stream must hold the samples the header declares: a byte per sample or eight pixels in
    // the binary forms, at least a character per sample in the plain ones.
    const double fileSamples = (double)width * spp;
    const double rowBytes =
        kind == '4' ? (width + 7LL) / 8 : kind >= '4' ? fileSamples * (binaryWide ? 2 : 1) : fileSamples;
    if (!IEImageSizeAccepted(width, height, Progress, &Stream, rowBytes * height)) return;
    if (!Bitmap->Allocate(width, height, format)) {
        IEAbort(Progress);
        return;
    }
    TIERowProgress progress(Progress, height);

    if (kind == '1') {
        // Digits one by one, separators optional: "0" is white (a set bit), "1" black.
        const int32_t rowLen = (width + 7) / 8;
        uint8_t c = 0;
        bool ended = false;
        for (int32_t y = 0; y < height && !ended && !progress.Aborted(); ++y) {
            uint8_t* row = Bitmap->GetScanline(y);
            std::memset(row, 0, (size_t)rowLen);
            for (int32_t x = 0; x < width;) {
                if (Stream.Read(&c, 1) != 1) {
                    IEClearRowsFrom(Bitmap, y + 1);
                    ended = true;
                    break;
                }
                if (c == '0') row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
                if (c == '0' || c == '1') ++x;
            }
            progress.Row(y + 1);
        }
        return;
    }
    if (kind == '2' || kind == '3') {
        const std::vector<uint16_t> scale = ScaleTable(maxval, 255);
        for (int32_t y = 0; y < height && !progress.Aborted(); ++y) {
            uint8_t* row = Bitmap->GetScanline(y);
            std::memset(row, 0, (size_t)width * 3);
            for (int32_t x = 0; x < width; ++x) {
                uint8_t s[3];
                for (int32_t k = 0; k < spp; ++k) {
                    IEReadPNMToken(Stream, token);
                    if (token.empty()) {
                        IEClearRowsFrom(Bitmap, y + 1);
                        return;
                    }
                    const int32_t v = TokenToInt(token);
                    s[k] = (uint8_t)(v < 0 ? 0 : v > maxval ? 255 : scale[(size_t)v]);
                }
                uint8_t* p = row + 3 * (size_t)x;
                if (spp == 1) {
                    p[0] = p[1] = p[2] = s[0];
                } else {
                    p[0] = s[2];
                    p[1] = s[1];
                    p[2] = s[0];
                }
            }
            progress.Row(y + 1);
        }
        return;
    }
    if (kind == '4') {
        const int32_t rowLen = (width + 7) / 8;
        for (int32_t y = 0; y < height && !progress.Aborted(); ++y) {
            uint8_t* row = Bitmap->GetScanline(y);
            std::memset(row, 0xFF, (size_t)rowLen);   // black once inverted
            if (Stream.Read(row, rowLen) != rowLen) {
                IEClearRowsFrom(Bitmap, y + 1, 0xFF);
                break;
            }
            progress.Row(y + 1);
        }
        IENotBitmapHook(Bitmap);
        return;
    }

    // P5 and P6: one byte per sample below 256, big-endian words above. Every sample is scaled
    // from the file's maximum to the pixel format's full range.
    const int64_t samples = (int64_t)width * spp;
    const int32_t bytesPerSample = binaryWide ? 2 : 1;
    std::vector<uint8_t> line((size_t)(samples * bytesPerSample));
    const bool native16 = format == ie16g || format == ieRGB48;
    const std::vector<uint16_t> scale = ScaleTable(maxval, native16 ? 65535 : 255);
    for (int32_t y = 0; y < height && !progress.Aborted(); ++y) {
        const int32_t got = Stream.Read(line.data(), (int32_t)line.size());
        if (got <= 0) {
            IEClearRowsFrom(Bitmap, y);
            break;
        }
        if ((size_t)got < line.size()) std::memset(line.data() + got, 0, line.size() - (size_t)got);
        uint8_t* row = Bitmap->GetScanline(y);
        auto sample = [&](int64_t i) -> uint32_t {
            const uint32_t v = binaryWide ? (uint32_t)(line[(size_t)(2 * i)] << 8 | line[(size_t)(2 * i + 1)])
                                          : line[(size_t)i];
            return v > (uint32_t)maxval ? (native16 ? 65535u : 255u) : scale[v];
        };
        if (!binaryWide && maxval == 255 && !native16) {
            // Full-range bytes need no scaling: the samples are only put in the bitmap's order.
            if (spp == 3) {
                IECopySwapRBHook(row, line.data(), width);
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t* p = row + 3 * (size_t)x;
                    p[0] = p[1] = p[2] = line[(size_t)x];
                }
            }
        } else if (native16) {
            uint16_t* out = reinterpret_cast<uint16_t*>(row);
            for (int64_t i = 0; i < samples; ++i) {
                const uint16_t w = (uint16_t)sample(i);
                std::memcpy(out + i, &w, 2);
            }
        } else if (spp == 1) {
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = row + 3 * (size_t)x;
                p[0] = p[1] = p[2] = (uint8_t)sample(x);
            }
        } else {
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = row + 3 * (size_t)x;
                p[2] = (uint8_t)sample(3 * (int64_t)x);
                p[1] = (uint8_t)sample(3 * (int64_t)x + 1);
                p[0] = (uint8_t)sample(3 * (int64_t)x + 2);
            }
        }
        if ((size_t)got < line.size()) {
            IEClearRowsFrom(Bitmap, y + 1);
            break;
        }
        progress.Row(y + 1);
    }
}

void IEWritePNMStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    // Any other format is written from a 24-bit copy, as the front end would give it.
    std::unique_ptr<TIEBitmap> copy;
    const TIEPixelFormat given = Bitmap->GetPixelFormat();
    if (given != ie1g && given != ieRGB48) Bitmap = IEBilevelOrRGB(Bitmap, copy);
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    const int32_t bps = IOParams.BitsPerSample, spp = IOParams.SamplesPerPixel;
    std::string comments;
    for (int32_t i = 0; i < IOParams.PXMComments->GetCount(); ++i)
        comments += "\n# " + TextToBytes(IOParams.PXMComments->GetStrings(i)) + "\n";
    const std::string size = comments + std::to_string(width) + " " + std::to_string(height);

    enum { kNone, kP4, kP5, kP6Wide24, kP6Wide48, kP6 } mode = kNone;
    std::string header;
    if ((bps == 1 && spp == 1) || format == ie1g) {
        mode = kP4;
        header = "P4 " + size + "\n";
    } else if (bps == 8 && spp == 1) {
        mode = kP5;
        header = "P5 " + size + " 255\n";
    } else if (bps == 16 && spp == 3 && format == ie24RGB) {
        mode = kP6Wide24;
        header = "P6 " + size + " 65535\n";
    } else if (format == ieRGB48) {
        mode = kP6Wide48;
        header = "P6 " + size + " 65535\n";
    } else if ((bps == 8 && spp == 3) || format == ie24RGB) {
        mode = kP6;
        header = "P6 " + size + " 255\n";
    }
    // The kind of file asked for decides: a bilevel file from a colour image takes its
    // thresholded copy, a grey file from 48-bit colour the 24-bit one.
    if (mode == kP4 && format != ie1g) {
        copy = IEMake1BitByThreshold(Bitmap, width, height);
        Bitmap = copy.get();
    } else if (mode == kP5 && format == ieRGB48) {
        Bitmap = IEBilevelOrRGB(Bitmap, copy);
    }
    if (width <= 0 || height <= 0) return;
    if (Bitmap->GetWidth() != width || Bitmap->GetHeight() != height) {
        IEAbort(Progress);   // the copy could not be made
        return;
    }

    bool aborting = false;
    IEStreamWriteChecked(Stream, aborting, header.data(), (int32_t)header.size());
    TIERowProgress progress(Progress, height);
    const size_t lineLen = mode == kP4 ? (size_t)(width + 7) / 8
                           : mode == kP5 ? (size_t)width
                           : mode == kP6 ? (size_t)width * 3
                                         : (size_t)width * 6;
    std::vector<uint8_t> line(lineLen);
    for (int32_t y = 0; y < height && !aborting; ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        switch (mode) {
        case kP4:
            for (size_t i = 0; i < lineLen; ++i) line[i] = (uint8_t)~row[i];
            break;
        case kP5:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = row + 3 * (size_t)x;
                line[(size_t)x] = IEGreyOf(p[2], p[1], p[0]);
            }
            break;
        case kP6Wide24:
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = row + 3 * (size_t)x;
                uint8_t* o = line.data() + 6 * (size_t)x;
                o[0] = o[1] = p[2];
                o[2] = o[3] = p[1];
                o[4] = o[5] = p[0];
            }
            break;
        case kP6Wide48:
            for (size_t i = 0; i < (size_t)width * 3; ++i) {
                uint16_t w;
                std::memcpy(&w, row + 2 * i, 2);
                line[2 * i] = (uint8_t)(w >> 8);
                line[2 * i + 1] = (uint8_t)w;
            }
            break;
        default:
            IECopySwapRBHook(line.data(), row, width);
            break;
        }
        IEStreamWriteChecked(Stream, aborting, line.data(), (int32_t)lineLen);
        progress.Row(y + 1);
    }
    if (aborting) IEAbort(Progress);
}

int32_t IEReadWBMPInteger(TStream& Stream) {
    int32_t value = 0;
    for (int32_t i = 0; i < 4; ++i) {
        uint8_t c;
        if (Stream.Read(&c, 1) != 1) break;
        value = (value << 7) | (c & 0x7F);
        if (!(c & 0x80)) break;
    }
    return value;
}

void IEReadWBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      bool ParamsOnly) {
    // Sizes are taken whole: the multi-byte form carries widths and heights above 255.
    const int32_t type = IEReadWBMPInteger(Stream);
    const int32_t fixed = IEReadWBMPInteger(Stream);
    const int32_t width = IEReadWBMPInteger(Stream);
    const int32_t height = IEReadWBMPInteger(Stream);
    if (type != 0 || fixed != 0 || width <= 0 || height <= 0) {
        IEAbort(Progress);
        return;
    }
    IOParams.BitsPerSample = 1;
    IOParams.SamplesPerPixel = 1;
    IOParams.Width = IOParams.OriginalWidth = width;
    IOParams.Height = IOParams.OriginalHeight = height;
    IOParams.SetDpiX(IEDefaultDPIX);
    IOParams.SetDpiY(IEDefaultDPIY);
    IOParams.FreeColorMap();
    if (ParamsOnly) return;
    if (!IEImageSizeAccepted(width, height, Progress, &Stream, (double)((width + 7LL) / 8) * height)) return;
    if (!Bitmap->Allocate(width, height, ie1g)) {
        IEAbort(Progress);
        return;
    }
    TIERowProgress progress(Progress, height);
    const int32_t rowLen = (width + 7) / 8;
    for (int32_t y = 0; y < height && !progress.Aborted(); ++y) {
        progress.Row(y);
        uint8_t* row = Bitmap->GetScanline(y);
        std::memset(row, 0, (size_t)rowLen);
        if (Stream.Read(row, rowLen) != rowLen) {
            IEClearRowsFrom(Bitmap, y + 1);
            break;
        }
    }
}

void IEWriteWBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOProgressRecord& Progress) {
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0) return;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* source = Bitmap;
    if (Bitmap->GetPixelFormat() != ie1g) {
        copy = IEMake1BitByThreshold(Bitmap, width, height);
        source = copy.get();
    }
    // Type 0, fixed header 0, then width and height as multi-byte integers: a size of 128 or more
    // takes two bytes (a single byte would carry the continuation bit).
    std::vector<uint8_t> header = {0, 0};
    for (int32_t v : {width, height}) {
        for (int32_t shift = 28; shift > 0; shift -= 7)
            if (v >> shift) header.push_back((uint8_t)(0x80 | ((v >> shift) & 0x7F)));
        header.push_back((uint8_t)(v & 0x7F));
    }
    bool aborting = false;
    IEStreamWriteChecked(Stream, aborting, header.data(), (int32_t)header.size());
    TIERowProgress progress(Progress, height);
    const int32_t rowLen = (width + 7) / 8;
    std::vector<uint8_t> line((size_t)rowLen);
    for (int32_t y = 0; y < height && !aborting; ++y) {
        progress.Row(y);
        std::memcpy(line.data(), source->GetScanline(y), (size_t)rowLen);
        // Bits past the width are padding: written as 0.
        if (width % 8) line[(size_t)rowLen - 1] &= (uint8_t)(0xFF << (8 - width % 8));
        IEStreamWriteChecked(Stream, aborting, line.data(), rowLen);
    }
    if (aborting) IEAbort(Progress);
}
