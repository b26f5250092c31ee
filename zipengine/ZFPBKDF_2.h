// PBKDF2 (RFC 2898) with HMAC over the hash registered as number 3 (SHA-1), and the key
// generator class built on it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Results of Pbkdf2.
constexpr int32_t Pbkdf2Ok = 0;
constexpr int32_t Pbkdf2NoHash = 1;          // hash number 3 is not registered
constexpr int32_t Pbkdf2NoDigest = 2;        // its digest size is 0

// Fills the output with the derived key.
int32_t Pbkdf2(const void* password, uint16_t passwordSize, const void* salt, uint16_t saltSize,
               void* output, uint16_t outputSize, uint32_t iterations);

class TPBKDF2 {
public:
    // The longest password DeriveKey takes.
    static constexpr size_t MaxPasswordSize = 32764;

    // A fresh random salt of saltSize bytes, each a value in 0..254.
    TPBKDF2(const std::string& password, uint32_t iterations, uint16_t saltSize);
    // The given salt (saltSize bytes of it).
    TPBKDF2(const std::string& password, uint32_t iterations, uint16_t saltSize, const uint8_t* salt);

    // A new key of the given length. A failure of the derivation is run-time error 254; a password
    // longer than MaxPasswordSize raises EProtection.
    std::vector<uint8_t> DeriveKey(uint16_t length) const;
    std::vector<uint8_t> SaltCopy() const { return FSalt; }

private:
    std::string FPassword;
    std::vector<uint8_t> FSalt;
    uint32_t FIterations;
};
