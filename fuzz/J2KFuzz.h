// Keeps the JPEG 2000 images that fuzz inputs ask for small: an input with a code stream header
// (SOC, SIZ) anywhere whose reference grid exceeds 2^20 samples is passed over, as OpenJPEG would
// spend the run's time and memory on it.
#pragma once

#include <cstddef>
#include <cstdint>

inline bool J2KFuzzTooLarge(const uint8_t* Data, size_t Size) {
    for (size_t i = 0; i + 14 <= Size; ++i) {
        if (Data[i] != 0xFF || Data[i + 1] != 0x4F || Data[i + 2] != 0xFF || Data[i + 3] != 0x51) continue;
        auto u32 = [&](size_t p) { return (uint32_t)Data[p] << 24 | (uint32_t)Data[p + 1] << 16 | (uint32_t)Data[p + 2] << 8 | Data[p + 3]; };
        // SIZ: length (2), capabilities (2), Xsiz, Ysiz.
        if (i + 16 > Size) return false;
        if ((uint64_t)u32(i + 8) * u32(i + 12) > (1u << 20)) return true;
    }
    return false;
}
