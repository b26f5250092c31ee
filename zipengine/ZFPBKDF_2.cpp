#include "ZFPBKDF_2.h"

#include <cstring>

#include "SysUtils.h"
#include "ZFDecUtil.h"
#include "ZFhmac.h"
#include "ZFsha1.h"

int32_t Pbkdf2(const void* password, uint16_t passwordSize, const void* salt, uint16_t saltSize,
               void* output, uint16_t outputSize, uint32_t iterations) {
    const THashDescriptor* hash = HashById(SHA1HashNumber);
    if (!hash) return Pbkdf2NoHash;
    const uint16_t digestSize = hash->DigestSize;
    if (digestSize == 0) return Pbkdf2NoDigest;
    if (outputSize == 0) return Pbkdf2Ok;

    uint8_t* out = static_cast<uint8_t*>(output);
    const uint32_t blocks = (outputSize - 1u) / digestSize + 1u;
    uint32_t counter = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        ++counter;
        const uint8_t counterBytes[4] = {(uint8_t)(counter >> 24), (uint8_t)(counter >> 16),
                                         (uint8_t)(counter >> 8), (uint8_t)counter};
        THmacContext ctx;
        THashDigest u, t;
        HmacInit(ctx, hash, password, passwordSize);
        HmacUpdate(ctx, salt, saltSize);
        HmacUpdate(ctx, counterBytes, 4);
        HmacFinal(ctx, u);
        memcpy(t.Bytes, u.Bytes, digestSize);
        for (uint32_t i = 1; i < iterations; ++i) {
            HmacInit(ctx, hash, password, passwordSize);
            HmacUpdate(ctx, u.Bytes, digestSize);
            HmacFinal(ctx, u);
            for (uint16_t k = 0; k < digestSize; ++k) t.Bytes[k] ^= u.Bytes[k];
        }
        const uint32_t done = b * digestSize;
        const uint32_t take = outputSize - done < digestSize ? outputSize - done : digestSize;
        memcpy(out + done, t.Bytes, take);
    }
    return Pbkdf2Ok;
}

TPBKDF2::TPBKDF2(const std::string& password, uint32_t iterations, uint16_t saltSize)
    : FPassword(password), FSalt(saltSize), FIterations(iterations) {
    RandomSalt(FSalt.data(), FSalt.size());
}

TPBKDF2::TPBKDF2(const std::string& password, uint32_t iterations, uint16_t saltSize,
                 const uint8_t* salt)
    : FPassword(password), FSalt(salt, salt + saltSize), FIterations(iterations) {}

std::vector<uint8_t> TPBKDF2::DeriveKey(uint16_t length) const {
    if (FPassword.size() > MaxPasswordSize)
        throw EProtection(L"The password is longer than the key generator takes.");
    std::vector<uint8_t> key(length);
    if (Pbkdf2(FPassword.data(), (uint16_t)FPassword.size(), FSalt.data(), (uint16_t)FSalt.size(),
               key.data(), length, FIterations) != Pbkdf2Ok)
        throw Exception(L"Runtime error 254");
    return key;
}
