// Reading and writing integers of a given byte order at any address, whatever the host's order
// and alignment. Files carry little-endian (ZIP, BMP, most of TIFF) or big-endian (PNG, JPEG
// markers, Motorola TIFF) numbers; every reader and writer goes through these.
#pragma once

#include <cstdint>

namespace ByteOrder {

inline uint16_t GetLE16(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}
inline uint32_t GetLE32(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}
inline uint64_t GetLE64(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return GetLE32(b) | static_cast<uint64_t>(GetLE32(b + 4)) << 32;
}
inline uint16_t GetBE16(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}
inline uint32_t GetBE32(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 |
           static_cast<uint32_t>(b[3]);
}
inline uint64_t GetBE64(const void* P) {
    const auto* b = static_cast<const uint8_t*>(P);
    return static_cast<uint64_t>(GetBE32(b)) << 32 | GetBE32(b + 4);
}

inline void PutLE16(void* P, uint16_t V) {
    auto* b = static_cast<uint8_t*>(P);
    b[0] = static_cast<uint8_t>(V);
    b[1] = static_cast<uint8_t>(V >> 8);
}
inline void PutLE32(void* P, uint32_t V) {
    auto* b = static_cast<uint8_t*>(P);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(V >> (8 * i));
}
inline void PutLE64(void* P, uint64_t V) {
    auto* b = static_cast<uint8_t*>(P);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(V >> (8 * i));
}
inline void PutBE16(void* P, uint16_t V) {
    auto* b = static_cast<uint8_t*>(P);
    b[0] = static_cast<uint8_t>(V >> 8);
    b[1] = static_cast<uint8_t>(V);
}
inline void PutBE32(void* P, uint32_t V) {
    auto* b = static_cast<uint8_t*>(P);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(V >> (24 - 8 * i));
}
inline void PutBE64(void* P, uint64_t V) {
    auto* b = static_cast<uint8_t*>(P);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(V >> (56 - 8 * i));
}

inline uint16_t Swap16(uint16_t V) { return static_cast<uint16_t>(V << 8 | V >> 8); }
inline uint32_t Swap32(uint32_t V) {
    return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}
inline uint64_t Swap64(uint64_t V) {
    return static_cast<uint64_t>(Swap32(static_cast<uint32_t>(V))) << 32 | Swap32(static_cast<uint32_t>(V >> 32));
}

}  // namespace ByteOrder
