// Bit order helpers of the codecs that read TIFF's FillOrder 2 (least significant bit first).
#pragma once
#include <cstdint>

// Every byte value with its 8 bits in reverse order.
struct TIEBitReverseTable {
    uint8_t Byte[256];
    constexpr TIEBitReverseTable() : Byte{} {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i >> b & 1) r |= 0x80 >> b;
            Byte[i] = (uint8_t)r;
        }
    }
};
inline constexpr TIEBitReverseTable IEBitReverse{};
