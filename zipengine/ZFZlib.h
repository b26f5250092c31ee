// The engine's window on zlib: CRC-32 as the ZIP format computes it.
#pragma once
#include <cstddef>
#include <cstdint>

// Continues a CRC-32 (start with 0; the result is the finished value, ready for the next call).
uint32_t ZFCrc32(uint32_t crc, const void* data, size_t size);

// The 256-entry table of the reflected CRC-32 polynomial 0xEDB88320.
const uint32_t* ZFCrc32Table();

// One raw CRC-32 step on an unconditioned register (the traditional encryption's key update).
inline uint32_t ZFCrc32Step(uint32_t crc, uint8_t b) {
    return ZFCrc32Table()[(crc ^ b) & 0xFF] ^ (crc >> 8);
}
