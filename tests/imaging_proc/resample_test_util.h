// Small bitmaps for the resampling tests: made from a pixel function, read back as plain bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_threads.h"

namespace resampletest {

inline std::unique_ptr<TIEBitmap> MakeBitmap(int32_t W, int32_t H, TIEPixelFormat Format,
                                             const std::function<void(int32_t X, int32_t Y, uint8_t* Pixel)>& Fill,
                                             bool InFile = false) {
    auto bmp = std::make_unique<TIEBitmap>();
    if (InFile) bmp->MinFileSize = 0;
    else bmp->SetLocation(ieMemory);
    bmp->Allocate(W, H, Format);
    const int32_t bits = bmp->GetBitCount();
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = bmp->GetScanline(y);
        std::memset(row, 0, (size_t)bmp->GetRowLen());
        if (Format == ie1g) {
            for (int32_t x = 0; x < W; ++x) {
                uint8_t v = 0;
                Fill(x, y, &v);
                if (v) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
            }
        } else {
            for (int32_t x = 0; x < W; ++x) Fill(x, y, row + (size_t)x * (bits / 8));
        }
    }
    bmp->ReleaseRowBuffers();
    return bmp;
}

inline std::unique_ptr<TIEBitmap> MakeEmpty(int32_t W, int32_t H, TIEPixelFormat Format, bool InFile = false) {
    return MakeBitmap(W, H, Format, [](int32_t, int32_t, uint8_t*) {}, InFile);
}

// The pixel bytes of every row (without row padding), top row first; 1-bit rows as 0 or 1 bytes.
inline std::vector<uint8_t> Pixels(TIEBitmap* Bmp) {
    std::vector<uint8_t> out;
    const int32_t w = Bmp->GetWidth(), bits = Bmp->GetBitCount();
    for (int32_t y = 0; y < Bmp->GetHeight(); ++y) {
        const uint8_t* row = Bmp->GetScanline(y);
        if (bits == 1) {
            for (int32_t x = 0; x < w; ++x) out.push_back((row[x >> 3] >> (7 - (x & 7))) & 1);
        } else {
            out.insert(out.end(), row, row + (size_t)w * (bits / 8));
        }
    }
    Bmp->ReleaseRowBuffers();
    return out;
}

// Sets the cached core count for the lifetime of the object (the resampler asks it for its
// thread count) and restores it afterwards.
class TCoreCount {
public:
    explicit TCoreCount(int32_t Count) : FOld(IECachedCoreCount) { IECachedCoreCount = Count; }
    ~TCoreCount() { IECachedCoreCount = FOld; }

private:
    int32_t FOld;
};

}  // namespace resampletest
