// Helpers of the codec fuzz targets: the input in a memory stream, a parameter set and progress
// record for the readers, and the comparison of two bitmaps' pixels.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Classes.h"
#include "iebitmap.h"
#include "picturaio_params.h"

inline void FuzzFillStream(TMemoryStream& Stream, const std::string& Bytes) {
    if (!Bytes.empty()) Stream.Write(Bytes.data(), (int32_t)Bytes.size());
    Stream.SetPosition(0);
}

// The same size, format and pixels (of a 1-bit row's last byte only the pixels' bits).
inline bool FuzzSamePixels(TIEBitmap& A, TIEBitmap& B) {
    if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() || A.GetPixelFormat() != B.GetPixelFormat())
        return false;
    const size_t used = ((size_t)A.GetWidth() * (size_t)A.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < A.GetHeight(); ++y) {
        const uint8_t* a = A.GetScanline(y);
        const uint8_t* b = B.GetScanline(y);
        const size_t whole = A.GetPixelFormat() == ie1g ? (size_t)A.GetWidth() / 8 : used;
        if (std::memcmp(a, b, whole) != 0) return false;
        if (whole < used) {
            const uint8_t mask = (uint8_t)(0xFF << (8 - A.GetWidth() % 8));
            if ((a[whole] & mask) != (b[whole] & mask)) return false;
        }
    }
    return true;
}

// One parameter set for the whole run, back to its defaults on each call (building one per input
// would cost more than most inputs take to read).
inline TIOParamsVals& CodecFuzzParams() {
    static TIOParamsVals params(nullptr);
    params.SetDefaultParams();
    return params;
}

// A progress record with its own abort flag.
struct TCodecFuzzProgress {
    std::atomic<bool> Abort{false};
    TIOProgressRecord Record;
    TCodecFuzzProgress() { Record.Aborting = &Abort; }
};

// Runs Reader(Stream, ProgressRecord) over a memory stream holding Size bytes of Data; true
// when the reader did not abort.
template <typename TReader>
bool CodecFuzzRead(const uint8_t* Data, size_t Size, TReader Reader) {
    TMemoryStream s;
    if (Size) s.WriteBuffer(Data, (int32_t)Size);
    s.SetPosition(0);
    TCodecFuzzProgress progress;
    Reader(s, progress.Record);
    return !progress.Abort;
}

// False when an IHDR chunk in the input asks for an image of more than 2^18 pixels (PNG files,
// and the PNG images inside icons): the fuzz targets skip those inputs.
inline bool FuzzSmallPNGImages(const uint8_t* Data, size_t Size) {
    for (size_t i = 0; i + 12 <= Size; ++i)
        if (std::memcmp(Data + i, "IHDR", 4) == 0) {
            const uint64_t w = (uint64_t)Data[i + 4] << 24 | Data[i + 5] << 16 | Data[i + 6] << 8 | Data[i + 7];
            const uint64_t h = (uint64_t)Data[i + 8] << 24 | Data[i + 9] << 16 | Data[i + 10] << 8 | Data[i + 11];
            if (w * h > (1u << 18)) return false;
        }
    return true;
}
