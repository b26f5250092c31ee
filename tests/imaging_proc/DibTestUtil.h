// Packed DIBs for the tests: a 40-byte header of the given size, depth and compression followed by
// Extra zero bytes for the colour table, masks and rows.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<uint8_t> DibHeader(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, size_t Extra) {
    std::vector<uint8_t> d(40 + Extra, 0);
    const uint32_t size = 40;
    const uint16_t planes = 1;
    std::memcpy(&d[0], &size, 4);
    std::memcpy(&d[4], &W, 4);
    std::memcpy(&d[8], &H, 4);
    std::memcpy(&d[12], &planes, 2);
    std::memcpy(&d[14], &Bits, 2);
    std::memcpy(&d[16], &Compression, 4);
    return d;
}
