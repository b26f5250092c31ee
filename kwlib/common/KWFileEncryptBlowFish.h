// The Blowfish block cipher (64-bit block, 16 rounds, keys of 1 to 56 bytes).
#pragma once
#include <cstdint>
#include <memory>

#include "KWFileEncryptCryptUtils.h"

// Word blocks are two 32-bit halves (uint32_t[2]); bytes map to them big-endian, first half first.
class TfeBlowFish : public TfeCipher {
public:
    TfeBlowFish();

    std::wstring AlgorithmName() const override;
    int32_t BlockSize() const override;
    // The key schedule; keys longer than the 72 bytes that P can take are used cyclically like
    // shorter ones. The key must have at least one byte.
    void Init(const void* AKey, int32_t AKeyLen) override;
    void EncryptBlock(const void* AIn, void* AOut) override;
    void DecryptBlock(const void* AIn, void* AOut) override;
    void WordsToBytes(const void* AIn, void* AOut) override;
    void BytesToWords(const void* AIn, void* AOut) override;

    // The published initial tables (hexadecimal digits of pi).
    static const uint32_t InitialP[18];
    static const uint32_t InitialS[4][256];

private:
    uint32_t F(uint32_t x) const;
    void Encipher(uint32_t& L, uint32_t& R) const;

    uint32_t P[18];
    std::unique_ptr<uint32_t[][256]> S;
};
