#include "KWFileEncryptCryptUtils.h"

#include <cstring>

#include "SysUtils.h"

namespace {

// The class library's assertion failure, with the source and line that the original checks
// carried (callers and logs know these errors by them).
[[noreturn]] void RaiseAssertion(int32_t ALine) {
    throw Exception(L"アサートの失敗 (KWFileEncrypt\\KWFileEncryptCryptUtils, line " + std::to_wstring(ALine) + L")",
                    L"EAssertionFailed");
}

[[noreturn]] void RaiseCryptError() {
    throw Exception(L"Crypt Error");
}

}  // namespace

// ---- TfeCipher ------------------------------------------------------------------------------

void TfeCipher::Init(const void*, int32_t) {}

void TfeCipher::WordsToBytes(const void* AIn, void* AOut) {
    std::memmove(AOut, AIn, BlockSize());
}

void TfeCipher::BytesToWords(const void* AIn, void* AOut) {
    std::memmove(AOut, AIn, BlockSize());
}

void EncryptBytes(TfeCipher& ACipher, const void* AIn, void* AOut) {
    ACipher.BytesToWords(AIn, AOut);
    ACipher.EncryptBlock(AOut, AOut);
    ACipher.WordsToBytes(AOut, AOut);
}

void DecryptBytes(TfeCipher& ACipher, const void* AIn, void* AOut) {
    ACipher.BytesToWords(AIn, AOut);
    ACipher.DecryptBlock(AOut, AOut);
    ACipher.WordsToBytes(AOut, AOut);
}

void XorBlock(void* ABuffer, const void* AData, int32_t ACount) {
    auto* b = static_cast<uint8_t*>(ABuffer);
    const auto* d = static_cast<const uint8_t*>(AData);
    for (int32_t i = 0; i < ACount; ++i) b[i] ^= d[i];
}

// ---- TfeCrypt -------------------------------------------------------------------------------

TfeCrypt::TfeCrypt(const void* AKey, int32_t AKeyLen, TfeCipher* ACipher, const void* AIV,
                   int32_t AIVLen, uint8_t APadding, bool AOwnsCipher)
    : FPadding(APadding), FCipher(ACipher) {
    if (AOwnsCipher) FOwnedCipher.reset(ACipher);  // freed even when keying fails below
    FCipher->Init(AKey, AKeyLen);
    const int32_t b = FCipher->BlockSize();
    FIV.assign(b, 0);
    FChain.assign(b, 0);
    FScratch.assign(b, 0);
    if (AIV && AIVLen > 0) std::memcpy(FIV.data(), AIV, AIVLen < b ? AIVLen : b);
}

TfeCrypt::TfeCrypt(const std::string& AKey, TfeCipher* ACipher, const void* AIV, int32_t AIVLen,
                   uint8_t APadding, bool AOwnsCipher)
    : TfeCrypt(AKey.data(), static_cast<int32_t>(AKey.size()), ACipher, AIV, AIVLen, APadding,
               AOwnsCipher) {}

TfeCrypt::~TfeCrypt() = default;

void TfeCrypt::ResetForEncrypt() { FChain = FIV; }

void TfeCrypt::ResetForDecrypt() { FChain = FIV; }

int32_t TfeCrypt::Pad(uint8_t* ABlock, int32_t ACount, bool APad) {
    const int32_t b = BlockSize();
    if (APad) {
        const int32_t n = b - ACount;
        switch (FPadding) {
        case fePadCount: std::memset(ABlock + ACount, n, n); break;
        case fePadOneZeros:
            ABlock[ACount] = 0x80;
            std::memset(ABlock + ACount + 1, 0, n - 1);
            break;
        case fePadZeros: std::memset(ABlock + ACount, 0, n); break;
        case fePadSpaces: std::memset(ABlock + ACount, ' ', n); break;
        default: return 0;
        }
        return n;
    }
    switch (FPadding) {
    case fePadCount: {
        const int32_t n = ABlock[b - 1];
        // A count outside 1..B cannot come from our own padding; refusing it keeps the plain
        // length inside the buffer.
        if (n < 1 || n > b) RaiseCryptError();
        return n;
    }
    case fePadOneZeros: {
        int32_t i = b - 1;
        while (i >= 0 && ABlock[i] == 0) --i;
        if (i < 0 || ABlock[i] != 0x80) RaiseCryptError();
        return b - i;
    }
    case fePadZeros:
    case fePadSpaces: {
        const uint8_t pad = FPadding == fePadZeros ? 0 : ' ';
        int32_t i = b - 1;
        while (i >= 0 && ABlock[i] == pad) --i;
        return b - 1 - i;
    }
    default: return 0;
    }
}

int32_t TfeCrypt::BlockSize() const { return FCipher->BlockSize(); }

int32_t TfeCrypt::OutputSize(int32_t ALength) const {
    if (FPadding == fePadNone) return ALength;
    const int32_t b = BlockSize();
    return (ALength / b + 1) * b;
}

int32_t TfeCrypt::Encrypt(const void* AIn, void* AOut, int32_t ALength) {
    const int32_t b = BlockSize();
    if (FPadding == fePadNone && ALength % b != 0) RaiseAssertion(323);
    const auto* in = static_cast<const uint8_t*>(AIn);
    auto* out = static_cast<uint8_t*>(AOut);
    ResetForEncrypt();
    const int32_t whole = ALength / b;
    for (int32_t i = 0; i < whole; ++i) EncryptBlock(in + i * b, out + i * b);
    if (FPadding != fePadNone) {
        uint8_t* last = out + whole * b;
        const int32_t rest = ALength % b;
        if (rest > 0) std::memcpy(last, in + whole * b, rest);
        Pad(last, rest, true);
        EncryptBlock(last, last);
    }
    return OutputSize(ALength);
}

int32_t TfeCrypt::Decrypt(const void* AIn, void* AOut, int32_t ALength) {
    const int32_t b = BlockSize();
    if (ALength < 0 || ALength % b != 0) RaiseAssertion(315);
    const auto* in = static_cast<const uint8_t*>(AIn);
    auto* out = static_cast<uint8_t*>(AOut);
    ResetForDecrypt();
    const int32_t blocks = ALength / b;
    for (int32_t i = 0; i < blocks; ++i) DecryptBlock(in + i * b, out + i * b);
    if (FPadding == fePadNone) return ALength;
    // Padded data always has a last block holding the padding; without one it is not ours.
    if (blocks == 0) RaiseCryptError();
    return ALength - Pad(out + (blocks - 1) * b, b, false);
}

// ---- TfeCryptCBC ----------------------------------------------------------------------------

void TfeCryptCBC::EncryptBlock(const uint8_t* AIn, uint8_t* AOut) {
    const int32_t b = BlockSize();
    XorBlock(FChain.data(), AIn, b);
    EncryptBytes(Cipher(), FChain.data(), FChain.data());
    std::memcpy(AOut, FChain.data(), b);
}

void TfeCryptCBC::DecryptBlock(const uint8_t* AIn, uint8_t* AOut) {
    const int32_t b = BlockSize();
    std::memcpy(FScratch.data(), AIn, b);
    DecryptBytes(Cipher(), AIn, AOut);
    XorBlock(AOut, FChain.data(), b);
    std::memcpy(FChain.data(), FScratch.data(), b);
}
