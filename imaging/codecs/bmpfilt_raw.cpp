// Raw pixel import and the metafile probes.
#include "bmpfilt_raw.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_text.h"
#include "ieprochooks.h"

namespace {

constexpr int32_t kMaxNumberLength = 34;

// Reports a percentage once (when it differs from the last one of this import).
class TPercent {
public:
    explicit TPercent(TIOProgressRecord& Progress) : FProgress(Progress) {}
    void Report(int32_t Value) {
        if (FProgress.OnProgress && Value != FLast) {
            FLast = Value;
            FProgress.OnProgress(FProgress.Sender, Value);
        }
    }

private:
    TIOProgressRecord& FProgress;
    int32_t FLast = -1;
};

bool IsDecimal(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsHex(uint8_t c) { return IsDecimal(c) || (c >= 'A' && c <= 'F'); }

// The samples of one import: binary or text, by the bitmap's sample size.
class TSampleReader {
public:
    TSampleReader(TStream& Stream, uint8_t DataFormat, int32_t SampleSize)
        : FStream(Stream), FText(DataFormat == 1 || DataFormat == 2), FHex(DataFormat == 2), FSampleSize(SampleSize) {}

    // Text: the next number into Dest (SampleSize bytes); 0 when the text has ended.
    void ReadNumber(uint8_t* Dest) {
        std::string text;
        uint8_t c;
        while (FStream.Read(&c, 1) == 1) {
            if (FHex ? IsHex(c) : IsDecimal(c)) {
                text.push_back((char)c);
                break;
            }
        }
        while ((int32_t)text.size() < kMaxNumberLength && FStream.Read(&c, 1) == 1) {
            if (!(FHex ? IsHex(c) : IsDecimal(c))) break;   // the ending byte is consumed
            text.push_back((char)c);
        }
        if (FSampleSize == 4) {
            if (FHex) throw Exception(L"Format unsupported");
            const float f = (float)IEStrToFloatDef(text, 0);
            std::memcpy(Dest, &f, 4);
            return;
        }
        uint32_t v = 0;
        if (FHex) {
            for (char ch : text) v = v * 16 + (uint32_t)(ch <= '9' ? ch - '0' : ch - 'A' + 10);
        } else {
            v = (uint32_t)IEStrToIntDefA(text, 0);
        }
        if (FSampleSize == 2) {
            const uint16_t w = (uint16_t)v;
            std::memcpy(Dest, &w, 2);
        } else {
            *Dest = (uint8_t)v;
        }
    }

    // Count samples into Dest: binary bytes straight, or Count text numbers.
    void ReadSamples(uint8_t* Dest, int32_t Count, int32_t Bytes) {
        if (!FText) {
            FStream.Read(Dest, Bytes);
            return;
        }
        for (int32_t i = 0; i < Count; ++i) ReadNumber(Dest + (size_t)i * FSampleSize);
    }

private:
    TStream& FStream;
    bool FText;
    bool FHex;
    int32_t FSampleSize;
};

// Text numbers of a 1-bit row: a number other than 0 sets its pixel's bit.
void ReadTextBits(TSampleReader& Reader, uint8_t* Row, int32_t Width) {
    std::memset(Row, 0, (size_t)(Width + 7) / 8);
    for (int32_t x = 0; x < Width; ++x) {
        uint8_t v = 0;
        Reader.ReadNumber(&v);
        if (v) Row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
    }
}

void SkipBytes(TStream& Stream, int64_t Count) {
    if (Count > 0) Stream.Seek(Count, soCurrent);
}

}  // namespace

void IEReadRawBitmapStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    TIEBufferedReadStream buffered(&Stream, 8192, true);
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (width <= 0 || height <= 0) return;
    const double factor = 100.0 / height;
    TPercent percent(Progress);
    SkipBytes(buffered, IOParams.BMPRAWHeaderSize);
    // An alignment that is not a whole number of bytes counts as unaligned rows.
    const int32_t align = IOParams.BMPRAWRowAlign >= 8 && IOParams.BMPRAWRowAlign % 8 == 0 ? IOParams.BMPRAWRowAlign : 8;
    const int32_t bitCount = Bitmap->GetBitCount();
    const int32_t srcRowLen = IEBitmapRowLen(width, bitCount, align);
    const int32_t rowLen = Bitmap->GetRowLen();
    const int32_t sampleSize = (format == ie16g || format == ieRGB48) ? 2 : format == ie32f ? 4 : 1;
    const int32_t channels = Bitmap->GetChannelCount();
    const bool text = IOParams.BMPRAWDataFormat == 1 || IOParams.BMPRAWDataFormat == 2;
    TSampleReader reader(buffered, IOParams.BMPRAWDataFormat, sampleSize);

    auto interleaved = [&]() {
        // Never more than the bitmap's row holds, whatever the source row length.
        const int32_t samples = std::min<int64_t>((int64_t)width * channels, (int64_t)rowLen / sampleSize);
        for (int32_t r = 0; r < height; ++r) {
            uint8_t* row = Bitmap->GetScanline(r);
            if (!text)
                buffered.Read(row, std::min(rowLen, srcRowLen));
            else if (format == ie1g)
                ReadTextBits(reader, row, width);
            else
                reader.ReadSamples(row, samples, 0);
            if (srcRowLen > rowLen) SkipBytes(buffered, srcRowLen - rowLen);
            percent.Report((int32_t)(r * factor));
        }
    };
    auto planar = [&](int32_t Planes, int32_t Step) {
        const int32_t planeRowLen = IEBitmapRowLen(width, 8 * sampleSize, align);
        std::vector<uint8_t> scratch((size_t)std::max(planeRowLen, width * sampleSize));
        for (int32_t p = 0; p < Planes; ++p) {
            percent.Report(p * Step);
            for (int32_t r = 0; r < height; ++r) {
                std::fill(scratch.begin(), scratch.end(), 0);
                reader.ReadSamples(scratch.data(), width, planeRowLen);
                uint8_t* row = Bitmap->GetScanline(r);
                for (int32_t x = 0; x < width; ++x)
                    std::memcpy(row + ((size_t)x * Planes + p) * sampleSize, scratch.data() + (size_t)x * sampleSize,
                                (size_t)sampleSize);
            }
        }
        percent.Report(100);
    };

    switch (format) {
    case ie1g:
    case ie8p:
    case ie8g:
    case ie16g:
    case ie32f:
        interleaved();
        break;
    case ie24RGB:
        if (IOParams.BMPRAWPlanar == 0)
            interleaved();
        else if (IOParams.BMPRAWPlanar == 1)
            planar(3, 33);
        if (IOParams.BMPRAWChannelOrder == 0)
            for (int32_t r = 0; r < height; ++r) IESwapRBHook(Bitmap->GetScanline(r), width);
        break;
    case ieCMYK:
        if (IOParams.BMPRAWPlanar == 0)
            interleaved();
        else if (IOParams.BMPRAWPlanar == 1)
            planar(4, 25);
        break;
    case ieRGB48:
        if (IOParams.BMPRAWPlanar == 0)
            interleaved();
        else if (IOParams.BMPRAWPlanar == 1)
            planar(3, 33);
        // The buffer keeps red in the first word: only blue-first data is exchanged.
        if (IOParams.BMPRAWChannelOrder != 0)
            for (int32_t r = 0; r < height; ++r) IESwapRB48Hook(Bitmap->GetScanline(r), width);
        break;
    default:
        break;
    }
}

bool IEIsEMF(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t b[100];
    const bool result = Stream.Read(b, 100) == 100 && b[0] == 1 && b[1] == 0 && b[2] == 0 && b[3] == 0 &&
                        std::memcmp(b + 40, " EMF", 4) == 0;
    Stream.SetPosition(start);
    return result;
}

bool IEIsWMF(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t b[22];
    bool result = false;
    if (Stream.Read(b, 20) == 20) {
        const uint32_t key = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
        Stream.SetPosition(key == 0x9AC6CDD7u ? start + 22 : start);
        uint8_t h[18];
        if (Stream.Read(h, 18) == 18)
            result = (h[0] | h[1] << 8) == 1 && (h[2] | h[3] << 8) == 9 && (h[16] | h[17] << 8) == 0;
    }
    Stream.SetPosition(start);
    return result;
}
