#include "ZFCipher.h"

#include <algorithm>
#include <cstring>

#include "ZFConst.h"

// ---- TCipher ---------------------------------------------------------------------------------------

TCipher::TCipher(const TCipherContext& context)
    : FContext(context),
      FVector(context.BlockSize),
      FFeedback(context.BlockSize),
      FBuffer(context.BlockSize),
      FCounter(context.BlockSize),
      FKeystream(context.BlockSize),
      FUser((context.BufferSize + 3) / 4),
      FPosition(context.BlockSize) {
    TCipher::Wipe();
}

TCipher::~TCipher() {
    TCipher::Wipe();
}

void TCipher::InitWithKey(std::vector<uint8_t>& key) {
    SetupKey(key.data(), std::min<int32_t>(FContext.KeySize, (int32_t)key.size()), nullptr);
    std::vector<uint8_t> encrypted(key.size());
    EncodeBuffer(key.data(), encrypted.data(), (int32_t)key.size());
    std::fill(key.begin(), key.end(), 0);
    key.swap(encrypted);
    RestartChain();
    SetFlag(0, true);
}

void TCipher::SetFlag(int bit, bool on) {
    if (on) FFlags |= 1u << bit;
    else FFlags &= ~(1u << bit);
}

int32_t TCipher::StartInit(int32_t size) {
    SetFlag(1, false);
    Wipe();
    return std::clamp<int32_t>(size, 0, FContext.KeySize);
}

void TCipher::FinishInit(const void* initVector) {
    if (initVector) memcpy(FVector.data(), initVector, FVector.size());
    else EncryptRawBlock(FVector.data(), FVector.data());
    FFeedback = FVector;
    SetFlag(1, true);
}

void TCipher::RestartChain() {
    if (FVector != FFeedback) {
        FBuffer = FFeedback;
        FFeedback = FVector;
    }
}

void TCipher::Wipe() {
    FFlags &= ~3u;
    for (uint8_t pattern : {0xAA, 0x55}) {
        for (std::vector<uint8_t>* v : {&FVector, &FFeedback, &FBuffer})
            std::fill(v->begin(), v->end(), pattern);
        std::fill(FUser.begin(), FUser.end(), pattern * 0x01010101u);
    }
    std::fill(FVector.begin(), FVector.end(), 0xFF);
    std::fill(FFeedback.begin(), FFeedback.end(), 0xFF);
    std::fill(FBuffer.begin(), FBuffer.end(), 0);
    std::fill(FUser.begin(), FUser.end(), 0);
    std::fill(FCounter.begin(), FCounter.end(), 0);
    // A new key also starts a new keystream: nothing of the old one is used.
    std::fill(FKeystream.begin(), FKeystream.end(), 0);
    FPosition = FContext.BlockSize;
}

void TCipher::RequireInitialized() const {
    if (!Initialized()) throw ECipherException(Format(SNotInitialized, ClassName()), 3);
}

void TCipher::EncodeBuffer(const void* source, void* dest, int32_t count) {
    RequireInitialized();
    Process(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest), count, false);
}

void TCipher::DecodeBuffer(const void* source, void* dest, int32_t count) {
    RequireInitialized();
    Process(static_cast<const uint8_t*>(source), static_cast<uint8_t*>(dest), count, Mode <= cmECB);
}

void TCipher::NextKeystreamBlock() {
    for (int i = 0; i < 8 && i < FContext.BlockSize; ++i)
        if (++FCounter[i] != 0) break;
    EncryptRawBlock(FCounter.data(), FKeystream.data());
    FPosition = 0;
}

void TCipher::Tail(const uint8_t* s, uint8_t* d, int32_t n, bool mac) {
    uint8_t* f = FFeedback.data();
    uint8_t* b = FBuffer.data();
    if (mac) {
        // The checksum modes fold the last bytes into the feedback, so that they count too.
        for (int32_t i = 0; i < n; ++i) f[i] ^= s[i];
        EncryptRawBlock(f, b);
        for (int32_t i = 0; i < FContext.BlockSize; ++i) f[i] ^= b[i];
        return;
    }
    EncryptRawBlock(f, b);
    for (int32_t i = 0; i < n; ++i) d[i] = s[i] ^ b[i];
    for (int32_t i = 0; i < FContext.BlockSize; ++i) f[i] ^= b[i];
}

void TCipher::Process(const uint8_t* s, uint8_t* d, int32_t count, bool decode) {
    if (count <= 0) return;
    const int32_t n = FContext.BlockSize;
    uint8_t* f = FFeedback.data();
    uint8_t* b = FBuffer.data();
    std::vector<uint8_t> in(n);
    auto shiftIn = [&](uint8_t last) {
        memmove(f, f + 1, n - 1);
        f[n - 1] = last;
    };

    switch (Mode) {
    case cmCTS:
    case cmCBC:
    case cmECB: {
        int32_t left = count;
        for (; left >= n; left -= n, s += n, d += n) {
            memcpy(in.data(), s, n);
            if (Mode == cmECB) {
                if (decode) DecryptRawBlock(in.data(), d);
                else EncryptRawBlock(in.data(), d);
                continue;
            }
            if (decode) {
                DecryptRawBlock(in.data(), b);
                for (int32_t i = 0; i < n; ++i) d[i] = b[i] ^ f[i];
            } else {
                for (int32_t i = 0; i < n; ++i) b[i] = in[i] ^ f[i];
                EncryptRawBlock(b, d);
            }
            const uint8_t* c = decode ? in.data() : d;
            if (Mode == cmCTS) for (int32_t i = 0; i < n; ++i) f[i] ^= c[i];
            else memcpy(f, c, n);
        }
        if (left > 0) Tail(s, d, left, false);
        break;
    }
    case cmCFB:
        for (int32_t i = 0; i < count; ++i) {
            EncryptRawBlock(f, b);
            const uint8_t x = s[i];
            d[i] = x ^ b[0];
            shiftIn(decode ? x : d[i]);
        }
        break;
    case cmOFB:
        for (int32_t i = 0; i < count; ++i) {
            EncryptRawBlock(f, b);
            d[i] = s[i] ^ b[0];
            shiftIn(b[0]);
        }
        break;
    case cmCTR:
        for (int32_t i = 0; i < count; ++i) {
            if (FPosition >= n) NextKeystreamBlock();
            d[i] = s[i] ^ FKeystream[FPosition++];
        }
        break;
    case cmCTSMAC:
    case cmCBCMAC: {
        const uint8_t* p = s;
        int32_t left = count;
        for (; left >= n; left -= n, p += n) {
            for (int32_t i = 0; i < n; ++i) in[i] = p[i] ^ f[i];
            EncryptRawBlock(in.data(), b);
            if (Mode == cmCTSMAC) for (int32_t i = 0; i < n; ++i) f[i] ^= b[i];
            else memcpy(f, b, n);
        }
        if (left > 0) Tail(p, nullptr, left, true);
        if (s != d) memmove(d, s, count);
        break;
    }
    case cmCFBMAC:
        for (int32_t i = 0; i < count; ++i) {
            EncryptRawBlock(f, b);
            shiftIn(s[i] ^ b[0]);
        }
        if (s != d) memmove(d, s, count);
        break;
    default:
        throw ECipherException(Format(L"%s: unknown cipher mode %d", ClassName(), (int32_t)Mode), 4);
    }
}

void TCipher::StartAction(int32_t action) {
    RequireInitialized();
    if (action == paRandom) RndXORBuffer(RndTimeSeed(), FFeedback.data(), FFeedback.size());
    else if (action != paCalc) RestartChain();
    TProtection::StartAction(action);
}

void TCipher::FinishAction(int32_t action) {
    TProtection::FinishAction(action);
    if (action == paRandom) RndXORBuffer(RndTimeSeed(), FFeedback.data(), FFeedback.size());
    else if (action != paCalc) RestartChain();
}

void TCipher::ApplyToBuffer(void* buffer, int32_t size, int32_t action) {
    if (action == paDecode) {
        if (HasAction(action)) DecodeBuffer(buffer, buffer, size);
        TProtection::ApplyToBuffer(buffer, size, action);
    } else {
        TProtection::ApplyToBuffer(buffer, size, action);
        if (HasAction(action)) EncodeBuffer(buffer, buffer, size);
    }
}

// ---- Rijndael (FIPS-197) ---------------------------------------------------------------------------

namespace {

struct TAesTables {
    uint8_t S[256];
    uint8_t Si[256];
    uint32_t Te[4][256];
    uint32_t Td[4][256];
};

constexpr uint8_t XTime(uint8_t x) {
    return (uint8_t)((x << 1) ^ ((x & 0x80) ? 0x1B : 0));
}

constexpr uint8_t GMul(uint8_t a, uint8_t b) {
    uint8_t p = 0;
    while (b) {
        if (b & 1) p ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return p;
}

constexpr uint8_t Rol8(uint8_t x, int n) {
    return (uint8_t)((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Ror32(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

constexpr TAesTables MakeAesTables() {
    TAesTables t{};
    // Walk the multiplicative group with generator 3: p runs through 3^k, q through 3^-k.
    uint8_t p = 1, q = 1;
    do {
        p = (uint8_t)(p ^ XTime(p));
        q = (uint8_t)(q ^ (q << 1));
        q = (uint8_t)(q ^ (q << 2));
        q = (uint8_t)(q ^ (q << 4));
        if (q & 0x80) q ^= 0x09;
        const uint8_t x = (uint8_t)(q ^ Rol8(q, 1) ^ Rol8(q, 2) ^ Rol8(q, 3) ^ Rol8(q, 4));
        t.S[p] = (uint8_t)(x ^ 0x63);
    } while (p != 1);
    t.S[0] = 0x63;
    for (int i = 0; i < 256; ++i) t.Si[t.S[i]] = (uint8_t)i;
    for (int i = 0; i < 256; ++i) {
        const uint8_t s = t.S[i], si = t.Si[i];
        const uint32_t e = (uint32_t)GMul(s, 2) << 24 | (uint32_t)s << 16 | (uint32_t)s << 8 | GMul(s, 3);
        const uint32_t d = (uint32_t)GMul(si, 14) << 24 | (uint32_t)GMul(si, 9) << 16 |
                           (uint32_t)GMul(si, 13) << 8 | GMul(si, 11);
        for (int k = 0; k < 4; ++k) {
            t.Te[k][i] = k ? Ror32(e, 8 * k) : e;
            t.Td[k][i] = k ? Ror32(d, 8 * k) : d;
        }
    }
    return t;
}

constexpr TAesTables Aes = MakeAesTables();

inline uint32_t Load32(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

inline uint32_t SubWord(uint32_t w) {
    return (uint32_t)Aes.S[w >> 24] << 24 | (uint32_t)Aes.S[(w >> 16) & 255] << 16 |
           (uint32_t)Aes.S[(w >> 8) & 255] << 8 | Aes.S[w & 255];
}

// InvMixColumns of a round-key word: Td of S undoes the S-box inside Td.
inline uint32_t InvMixWord(uint32_t w) {
    return Aes.Td[0][Aes.S[w >> 24]] ^ Aes.Td[1][Aes.S[(w >> 16) & 255]] ^
           Aes.Td[2][Aes.S[(w >> 8) & 255]] ^ Aes.Td[3][Aes.S[w & 255]];
}

constexpr int32_t RoundKeyWords = 60;   // 240 bytes for each direction

}  // namespace

TCipher_Rijndael::TCipher_Rijndael() : TCipher(ClassContext()) {}

TCipher_Rijndael::TCipher_Rijndael(std::vector<uint8_t>& key) : TCipher(ClassContext()) {
    InitWithKey(key);
}

void TCipher_Rijndael::SetupKey(const void* key, int32_t size, const void* initVector) {
    size = StartInit(size);
    FRounds = size <= 16 ? 10 : size <= 24 ? 12 : 14;
    uint8_t k[32] = {};
    if (key && size > 0) memcpy(k, key, size);
    const int32_t nk = FRounds - 6;
    const int32_t words = 4 * (FRounds + 1);
    uint32_t enc[RoundKeyWords], dec[RoundKeyWords];
    for (int32_t i = 0; i < nk; ++i) enc[i] = Load32(k + 4 * i);
    uint32_t rcon = 1;
    for (int32_t i = nk; i < words; ++i) {
        uint32_t t = enc[i - 1];
        if (i % nk == 0) {
            t = SubWord((t << 8) | (t >> 24)) ^ (rcon << 24);
            rcon = XTime((uint8_t)rcon);
        } else if (nk > 6 && i % nk == 4) {
            t = SubWord(t);
        }
        enc[i] = enc[i - nk] ^ t;
    }
    // Decryption keys for the equivalent inverse cipher: rounds in reverse order, the inner ones
    // passed through InvMixColumns.
    for (int32_t r = 0; r <= FRounds; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            const uint32_t w = enc[4 * (FRounds - r) + c];
            dec[4 * r + c] = (r == 0 || r == FRounds) ? w : InvMixWord(w);
        }
    memcpy(KeySchedule(), enc, sizeof enc);
    memcpy(KeySchedule() + RoundKeyWords, dec, sizeof dec);
    memset(k, 0, sizeof k);
    memset(enc, 0, sizeof enc);
    memset(dec, 0, sizeof dec);
    FinishInit(initVector);
}

void TCipher_Rijndael::EncryptRawBlock(const void* source, void* dest) {
    const uint32_t* rk = KeySchedule();
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint32_t s0 = Load32(in) ^ rk[0], s1 = Load32(in + 4) ^ rk[1];
    uint32_t s2 = Load32(in + 8) ^ rk[2], s3 = Load32(in + 12) ^ rk[3];
    const auto& T = Aes.Te;
    for (int32_t r = 1; r < FRounds; ++r) {
        const uint32_t* k = rk + 4 * r;
        const uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s1 >> 16) & 255] ^ T[2][(s2 >> 8) & 255] ^ T[3][s3 & 255] ^ k[0];
        const uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s2 >> 16) & 255] ^ T[2][(s3 >> 8) & 255] ^ T[3][s0 & 255] ^ k[1];
        const uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s3 >> 16) & 255] ^ T[2][(s0 >> 8) & 255] ^ T[3][s1 & 255] ^ k[2];
        const uint32_t t3 = T[0][s3 >> 24] ^ T[1][(s0 >> 16) & 255] ^ T[2][(s1 >> 8) & 255] ^ T[3][s2 & 255] ^ k[3];
        s0 = t0; s1 = t1; s2 = t2; s3 = t3;
    }
    const uint32_t* k = rk + 4 * FRounds;
    const uint8_t* S = Aes.S;
    auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return ((uint32_t)S[a >> 24] << 24 | (uint32_t)S[(b >> 16) & 255] << 16 |
                (uint32_t)S[(c >> 8) & 255] << 8 | S[d & 255]) ^ key;
    };
    uint8_t* out = static_cast<uint8_t*>(dest);
    Store32(out, last(s0, s1, s2, s3, k[0]));
    Store32(out + 4, last(s1, s2, s3, s0, k[1]));
    Store32(out + 8, last(s2, s3, s0, s1, k[2]));
    Store32(out + 12, last(s3, s0, s1, s2, k[3]));
}

void TCipher_Rijndael::DecryptRawBlock(const void* source, void* dest) {
    const uint32_t* rk = KeySchedule() + RoundKeyWords;
    const uint8_t* in = static_cast<const uint8_t*>(source);
    uint32_t s0 = Load32(in) ^ rk[0], s1 = Load32(in + 4) ^ rk[1];
    uint32_t s2 = Load32(in + 8) ^ rk[2], s3 = Load32(in + 12) ^ rk[3];
    const auto& T = Aes.Td;
    for (int32_t r = 1; r < FRounds; ++r) {
        const uint32_t* k = rk + 4 * r;
        const uint32_t t0 = T[0][s0 >> 24] ^ T[1][(s3 >> 16) & 255] ^ T[2][(s2 >> 8) & 255] ^ T[3][s1 & 255] ^ k[0];
        const uint32_t t1 = T[0][s1 >> 24] ^ T[1][(s0 >> 16) & 255] ^ T[2][(s3 >> 8) & 255] ^ T[3][s2 & 255] ^ k[1];
        const uint32_t t2 = T[0][s2 >> 24] ^ T[1][(s1 >> 16) & 255] ^ T[2][(s0 >> 8) & 255] ^ T[3][s3 & 255] ^ k[2];
        const uint32_t t3 = T[0][s3 >> 24] ^ T[1][(s2 >> 16) & 255] ^ T[2][(s1 >> 8) & 255] ^ T[3][s0 & 255] ^ k[3];
        s0 = t0; s1 = t1; s2 = t2; s3 = t3;
    }
    const uint32_t* k = rk + 4 * FRounds;
    const uint8_t* Si = Aes.Si;
    auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
        return ((uint32_t)Si[a >> 24] << 24 | (uint32_t)Si[(b >> 16) & 255] << 16 |
                (uint32_t)Si[(c >> 8) & 255] << 8 | Si[d & 255]) ^ key;
    };
    uint8_t* out = static_cast<uint8_t*>(dest);
    Store32(out, last(s0, s3, s2, s1, k[0]));
    Store32(out + 4, last(s1, s0, s3, s2, k[1]));
    Store32(out + 8, last(s2, s1, s0, s3, k[2]));
    Store32(out + 12, last(s3, s2, s1, s0, k[3]));
}

// ---- Cipher registry ---------------------------------------------------------------------------------

const TCipherClass CipherClass_Rijndael = {
    L"TCipher_Rijndael",
    &TCipher_Rijndael::ClassContext,
    []() -> std::shared_ptr<TCipher> { return std::make_shared<TCipher_Rijndael>(); },
};

static std::vector<TCipherRegistration>& Ciphers() {
    static std::vector<TCipherRegistration> list;
    return list;
}

static bool SameAscii(const std::wstring& a, const std::wstring& b) {
    return UpperCase(a) == UpperCase(b);
}

void RegisterCipher(const TCipherClass* cipherClass, const std::wstring& description) {
    std::wstring name = cipherClass->ClassName;
    if (!name.empty() && name[0] == L'T') name.erase(0, 1);
    const size_t p = name.find(L'_');
    if (p != std::wstring::npos) name.erase(0, p + 1);
    for (TCipherRegistration& r : Ciphers())
        if (SameAscii(r.Name, name)) {
            r = {name, description, cipherClass};
            return;
        }
    Ciphers().push_back({name, description, cipherClass});
}

void UnregisterCiphers() {
    Ciphers().clear();
}

const std::vector<TCipherRegistration>& RegisteredCiphers() {
    return Ciphers();
}

const TCipherClass* CipherByName(const std::wstring& name) {
    for (const TCipherRegistration& r : Ciphers())
        if (SameAscii(r.Name, name)) return r.Class;
    return nullptr;
}
