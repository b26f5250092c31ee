// SHA-1 (FIPS 180) as a hash descriptor, registered as number 3 under the name "SHA1".
#pragma once
#include "ZFHash.h"

constexpr uint8_t SHA1HashNumber = 3;

extern const THashDescriptor SHA1Descriptor;

void SHA1Init(THashState& state);
void SHA1Update(THashState& state, const void* data, uint32_t size);
void SHA1Final(THashState& state, THashDigest& digest);
