#include "ZFZlib.h"

#include <zlib.h>

static_assert(sizeof(z_crc_t) == sizeof(uint32_t), "zlib's CRC table holds 32-bit values");

uint32_t ZFCrc32(uint32_t crc, const void* data, size_t size) {
    const Bytef* p = static_cast<const Bytef*>(data);
    // zlib takes the length as uInt: feed large buffers in pieces.
    while (size > 0) {
        const uInt piece = size > 0x40000000u ? 0x40000000u : (uInt)size;
        crc = (uint32_t)crc32(crc, p, piece);
        p += piece;
        size -= piece;
    }
    return crc;
}

const uint32_t* ZFCrc32Table() {
    return reinterpret_cast<const uint32_t*>(get_crc_table());
}
