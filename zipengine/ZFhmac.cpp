#include "ZFhmac.h"

#include <cstring>

void HmacInit(THmacContext& ctx, const THashDescriptor* descriptor, const void* key, uint16_t keySize) {
    memset(&ctx, 0, sizeof ctx);
    if (!descriptor) return;
    ctx.Descriptor = descriptor;
    const uint16_t block = descriptor->BlockSize;
    if (keySize > block) {
        THashDigest digest;
        HashAll(descriptor, key, keySize, digest);
        memcpy(ctx.KeyBlock, digest.Bytes, descriptor->DigestSize);
    } else if (keySize > 0) {
        memcpy(ctx.KeyBlock, key, keySize);
    }
    for (uint16_t i = 0; i < block; ++i) ctx.KeyBlock[i] ^= 0x36;
    descriptor->Init(ctx.State);
    descriptor->Update(ctx.State, ctx.KeyBlock, block);
}

void HmacUpdate(THmacContext& ctx, const void* data, uint32_t size) {
    ctx.Descriptor->Update(ctx.State, data, size);
}

void HmacFinal(THmacContext& ctx, THashDigest& digest) {
    const THashDescriptor* d = ctx.Descriptor;
    d->Final(ctx.State, digest);
    // 0x36 xor 0x6A = 0x5C: the inner pad becomes the outer pad.
    for (uint16_t i = 0; i < d->BlockSize; ++i) ctx.KeyBlock[i] ^= 0x6A;
    d->Init(ctx.State);
    d->Update(ctx.State, ctx.KeyBlock, d->BlockSize);
    d->Update(ctx.State, digest.Bytes, d->DigestSize);
    d->Final(ctx.State, digest);
}
