#include "ZFsha1.h"

#include <cstring>

namespace {

struct TSHA1Context {
    uint32_t H[5];
    uint64_t Length;      // bytes hashed so far
    uint8_t Block[64];
    uint32_t Used;        // bytes waiting in Block
};
static_assert(sizeof(TSHA1Context) <= sizeof(THashState), "SHA-1 state fits the registry's state");

TSHA1Context& Ctx(THashState& state) {
    return *reinterpret_cast<TSHA1Context*>(state.Data);
}

inline uint32_t Rol(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

void Compress(uint32_t h[5], const uint8_t* p) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 |
               p[4 * i + 3];
    for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) { f = (b & c) | (~b & d); k = 0x5A827999; }
        else if (i < 40) { f = b ^ c ^ d; k = 0x6ED9EBA1; }
        else if (i < 60) { f = (b & c) | (b & d) | (c & d); k = 0x8F1BBCDC; }
        else { f = b ^ c ^ d; k = 0xCA62C1D6; }
        const uint32_t t = Rol(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rol(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

}  // namespace

const THashDescriptor SHA1Descriptor = {
    HashDescriptorSignature, HashDescriptorSize, HashDescriptorVersion, 64, 20,
    SHA1Init, SHA1Update, SHA1Final, SHA1HashNumber, "SHA1",
};

void SHA1Init(THashState& state) {
    TSHA1Context& c = Ctx(state);
    c.H[0] = 0x67452301;
    c.H[1] = 0xEFCDAB89;
    c.H[2] = 0x98BADCFE;
    c.H[3] = 0x10325476;
    c.H[4] = 0xC3D2E1F0;
    c.Length = 0;
    c.Used = 0;
}

void SHA1Update(THashState& state, const void* data, uint32_t size) {
    TSHA1Context& c = Ctx(state);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    c.Length += size;
    while (size > 0) {
        if (c.Used == 0 && size >= 64) {
            Compress(c.H, p);
            p += 64;
            size -= 64;
            continue;
        }
        const uint32_t take = size < 64 - c.Used ? size : 64 - c.Used;
        memcpy(c.Block + c.Used, p, take);
        c.Used += take;
        p += take;
        size -= take;
        if (c.Used == 64) {
            Compress(c.H, c.Block);
            c.Used = 0;
        }
    }
}

void SHA1Final(THashState& state, THashDigest& digest) {
    TSHA1Context& c = Ctx(state);
    const uint64_t bits = c.Length * 8;
    c.Block[c.Used++] = 0x80;
    if (c.Used > 56) {
        memset(c.Block + c.Used, 0, 64 - c.Used);
        Compress(c.H, c.Block);
        c.Used = 0;
    }
    memset(c.Block + c.Used, 0, 56 - c.Used);
    for (int i = 0; i < 8; ++i) c.Block[56 + i] = (uint8_t)(bits >> (56 - 8 * i));
    Compress(c.H, c.Block);
    memset(digest.Bytes, 0, sizeof digest.Bytes);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 4; ++j) digest.Bytes[4 * i + j] = (uint8_t)(c.H[i] >> (24 - 8 * j));
    memset(&c, 0, sizeof c);
}
