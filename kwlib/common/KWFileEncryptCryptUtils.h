// Block-cipher framework of the file encryption: an abstract 64-bit block cipher, a block-mode
// engine with five padding modes, and its CBC form.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An abstract block cipher. A "word block" is the cipher's internal form of one block
// (BytesToWords / WordsToBytes convert); the base forms copy the bytes unchanged.
class TfeCipher {
public:
    TfeCipher() = default;
    virtual ~TfeCipher() = default;
    TfeCipher(const TfeCipher&) = delete;
    TfeCipher& operator=(const TfeCipher&) = delete;

    virtual std::wstring AlgorithmName() const = 0;
    virtual int32_t BlockSize() const = 0;              // bytes
    virtual void Init(const void* AKey, int32_t AKeyLen);
    virtual void EncryptBlock(const void* AIn, void* AOut) = 0;
    virtual void DecryptBlock(const void* AIn, void* AOut) = 0;
    virtual void WordsToBytes(const void* AIn, void* AOut);
    virtual void BytesToWords(const void* AIn, void* AOut);
};

// One block through the cipher, bytes in and bytes out (AIn and AOut may be the same buffer).
void EncryptBytes(TfeCipher& ACipher, const void* AIn, void* AOut);
void DecryptBytes(TfeCipher& ACipher, const void* AIn, void* AOut);
// ABuffer[i] ^= AData[i] for ACount bytes.
void XorBlock(void* ABuffer, const void* AData, int32_t ACount);

// Padding modes of TfeCrypt (B = block size, n = data bytes in the last block).
enum : uint8_t {
    fePadCount = 0,     // B - n bytes, each holding B - n
    fePadOneZeros = 1,  // 0x80, then zeros
    fePadZeros = 2,     // zeros; all trailing zeros are removed
    fePadSpaces = 3,    // spaces; all trailing spaces are removed
    fePadNone = 4,      // whole blocks only
};

// A block-mode engine over a cipher. Encrypt always adds padding (a whole block when the data
// fills its last block) unless the mode is fePadNone.
class TfeCrypt {
public:
    TfeCrypt(const void* AKey, int32_t AKeyLen, TfeCipher* ACipher, const void* AIV, int32_t AIVLen,
             uint8_t APadding, bool AOwnsCipher);
    TfeCrypt(const std::string& AKey, TfeCipher* ACipher, const void* AIV, int32_t AIVLen,
             uint8_t APadding, bool AOwnsCipher);
    virtual ~TfeCrypt();
    TfeCrypt(const TfeCrypt&) = delete;
    TfeCrypt& operator=(const TfeCrypt&) = delete;

    virtual void EncryptBlock(const uint8_t* AIn, uint8_t* AOut) = 0;
    virtual void DecryptBlock(const uint8_t* AIn, uint8_t* AOut) = 0;
    virtual void ResetForEncrypt();
    virtual void ResetForDecrypt();
    // APad: fills ABlock behind its first ACount data bytes and returns the bytes added.
    // Otherwise: inspects the whole plain block ABlock and returns the number of pad bytes at
    // its end; mode 1 raises "Crypt Error" when its marker is missing.
    virtual int32_t Pad(uint8_t* ABlock, int32_t ACount, bool APad);

    int32_t BlockSize() const;
    int32_t OutputSize(int32_t ALength) const;
    // AOut must hold OutputSize(ALength) bytes. Returns that size.
    int32_t Encrypt(const void* AIn, void* AOut, int32_t ALength);
    // AOut must hold ALength bytes. Returns the plain length.
    int32_t Decrypt(const void* AIn, void* AOut, int32_t ALength);

    TfeCipher& Cipher() const { return *FCipher; }
    uint8_t Padding() const { return FPadding; }

protected:
    std::vector<uint8_t> FIV;
    std::vector<uint8_t> FChain;
    std::vector<uint8_t> FScratch;

private:
    uint8_t FPadding = fePadOneZeros;
    TfeCipher* FCipher = nullptr;
    std::unique_ptr<TfeCipher> FOwnedCipher;
};

// Cipher-block chaining.
class TfeCryptCBC : public TfeCrypt {
public:
    using TfeCrypt::TfeCrypt;
    void EncryptBlock(const uint8_t* AIn, uint8_t* AOut) override;
    void DecryptBlock(const uint8_t* AIn, uint8_t* AOut) override;
};
