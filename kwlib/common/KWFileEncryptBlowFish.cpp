#include "KWFileEncryptBlowFish.h"

#include <cstring>

#include "ByteOrder.h"
#include "SysUtils.h"

TfeBlowFish::TfeBlowFish() : S(new uint32_t[4][256]) {
    std::memcpy(P, InitialP, sizeof P);
    std::memcpy(S.get(), InitialS, sizeof InitialS);
}

std::wstring TfeBlowFish::AlgorithmName() const { return L"BlowFish"; }

int32_t TfeBlowFish::BlockSize() const { return 8; }

uint32_t TfeBlowFish::F(uint32_t x) const {
    return ((S[0][x >> 24] + S[1][(x >> 16) & 0xFF]) ^ S[2][(x >> 8) & 0xFF]) + S[3][x & 0xFF];
}

void TfeBlowFish::Encipher(uint32_t& L, uint32_t& R) const {
    uint32_t l = L, r = R;
    for (int i = 0; i < 16; i += 2) {
        l ^= P[i];
        r ^= F(l);
        r ^= P[i + 1];
        l ^= F(r);
    }
    L = r ^ P[17];
    R = l ^ P[16];
}

void TfeBlowFish::Init(const void* AKey, int32_t AKeyLen) {
    if (!AKey || AKeyLen < 1) throw Exception(L"Blowfish key is empty.");
    const auto* key = static_cast<const uint8_t*>(AKey);
    std::memcpy(P, InitialP, sizeof P);
    std::memcpy(S.get(), InitialS, sizeof InitialS);
    int32_t k = 0;
    for (uint32_t& p : P) {
        uint32_t v = 0;
        for (int j = 0; j < 4; ++j) {
            v = v << 8 | key[k];
            if (++k >= AKeyLen) k = 0;
        }
        p ^= v;
    }
    uint32_t L = 0, R = 0;
    for (int i = 0; i < 18; i += 2) {
        Encipher(L, R);
        P[i] = L;
        P[i + 1] = R;
    }
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 256; i += 2) {
            Encipher(L, R);
            S[b][i] = L;
            S[b][i + 1] = R;
        }
}

void TfeBlowFish::EncryptBlock(const void* AIn, void* AOut) {
    uint32_t w[2];
    std::memcpy(w, AIn, sizeof w);
    Encipher(w[0], w[1]);
    std::memcpy(AOut, w, sizeof w);
}

void TfeBlowFish::DecryptBlock(const void* AIn, void* AOut) {
    uint32_t w[2];
    std::memcpy(w, AIn, sizeof w);
    uint32_t l = w[0], r = w[1];
    for (int i = 17; i > 1; i -= 2) {
        l ^= P[i];
        r ^= F(l);
        r ^= P[i - 1];
        l ^= F(r);
    }
    w[0] = r ^ P[0];
    w[1] = l ^ P[1];
    std::memcpy(AOut, w, sizeof w);
}

void TfeBlowFish::WordsToBytes(const void* AIn, void* AOut) {
    uint32_t w[2];
    std::memcpy(w, AIn, sizeof w);
    ByteOrder::PutBE32(static_cast<uint8_t*>(AOut), w[0]);
    ByteOrder::PutBE32(static_cast<uint8_t*>(AOut) + 4, w[1]);
}

void TfeBlowFish::BytesToWords(const void* AIn, void* AOut) {
    const auto* in = static_cast<const uint8_t*>(AIn);
    const uint32_t w[2] = {ByteOrder::GetBE32(in), ByteOrder::GetBE32(in + 4)};
    std::memcpy(AOut, w, sizeof w);
}
