// HMAC (RFC 2104) over any registered hash descriptor.
#pragma once
#include "ZFHash.h"

struct THmacContext {
    const THashDescriptor* Descriptor;
    THashState State;
    uint8_t KeyBlock[HashMaxBlockSize];   // the key, padded to the hash's block size and masked
};

// Zeroes the context; with a descriptor, keys it (a key longer than the block is hashed first)
// and feeds the inner pad to the hash.
void HmacInit(THmacContext& ctx, const THashDescriptor* descriptor, const void* key, uint16_t keySize);
void HmacUpdate(THmacContext& ctx, const void* data, uint32_t size);
// The authentication code, in the digest area's first digest-size bytes.
void HmacFinal(THmacContext& ctx, THashDigest& digest);
