// Block ciphers of the engine's framework (a cipher class with nine chaining modes, Rijndael as its
// one cipher, the cipher registry) and the entry encryption built on them: the traditional PKWARE
// stream cipher and WinZip AES (counter mode, PBKDF2-HMAC-SHA1 keys, HMAC-SHA1 authentication).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZFConst.h"
#include "ZFDecUtil.h"
#include "ZFhmac.h"

class TStream;

class ECipherException : public Exception {
public:
    ECipherException(std::wstring message, int32_t errorCode,
                     const wchar_t* className = L"ECipherException")
        : Exception(std::move(message), className), ErrorCode(errorCode) {}
    int32_t ErrorCode;
};

// ---- Block cipher ----------------------------------------------------------------------------

// What a cipher class needs before construction.
struct TCipherContext {
    int32_t BlockSize;     // bytes
    int32_t KeySize;       // largest key in bytes
    int32_t BufferSize;    // key schedule in bytes
};

// Chaining modes (Mode). Modes 6 to 8 produce no output: the feedback block is the result.
enum : uint8_t {
    cmCTS = 0,     // feedback xor ciphertext
    cmCBC = 1,
    cmCFB = 2,     // 8-bit CFB
    cmOFB = 3,     // 8-bit OFB
    cmCTR = 4,     // 64-bit little-endian counter in the first 8 bytes of the counter block
    cmECB = 5,
    cmCTSMAC = 6,
    cmCBCMAC = 7,
    cmCFBMAC = 8,
};

class TCipher : public TProtection {
public:
    ~TCipher() override;

    // Processes count bytes by Mode; ECipherException (code 3) before a key was set up.
    void EncodeBuffer(const void* source, void* dest, int32_t count);
    void DecodeBuffer(const void* source, void* dest, int32_t count);

    // Key set-up (and the initial vector, or nullptr for the encrypted all-0xFF block).
    virtual void SetupKey(const void* key, int32_t size, const void* initVector) = 0;
    // Starts the chain again from the initial vector.
    virtual void RestartChain();
    // Clears the flags and overwrites every block and the key schedule.
    virtual void Wipe();
    virtual TCipherContext Context() const { return FContext; }
    virtual const wchar_t* ClassName() const = 0;

    void StartAction(int32_t action) override;
    void FinishAction(int32_t action) override;
    void ApplyToBuffer(void* buffer, int32_t size, int32_t action) override;

    uint8_t Mode = cmCTS;
    bool KeySet() const { return (FFlags & 1) != 0; }
    bool Initialized() const { return (FFlags & 2) != 0; }
    const std::vector<uint8_t>& InitVector() const { return FVector; }
    const std::vector<uint8_t>& Feedback() const { return FFeedback; }
    const std::vector<uint8_t>& CounterBlock() const { return FCounter; }
    int32_t KeystreamPosition() const { return FPosition; }

protected:
    explicit TCipher(const TCipherContext& context);
    // The keyed construction: set-up with the key (cut to the largest size), then the caller's
    // key bytes are replaced by their encryption, so the plain key does not survive there.
    void InitWithKey(std::vector<uint8_t>& key);

    virtual void SetFlag(int bit, bool on);
    virtual void FinishInit(const void* initVector);
    virtual void EncryptRawBlock(const void* source, void* dest) = 0;
    virtual void DecryptRawBlock(const void* source, void* dest) = 0;
    // Clears the ready flag, wipes, and clamps the key size to 0..KeySize.
    int32_t StartInit(int32_t size);
    // The key schedule, BufferSize bytes as 32-bit words.
    uint32_t* KeySchedule() { return FUser.data(); }

private:
    void RequireInitialized() const;
    void Process(const uint8_t* s, uint8_t* d, int32_t count, bool decode);
    // The piece shorter than a block at the end of the block-wise modes.
    void Tail(const uint8_t* s, uint8_t* d, int32_t n, bool mac);
    void NextKeystreamBlock();

    TCipherContext FContext;
    uint32_t FFlags = 0;
    std::vector<uint8_t> FVector, FFeedback, FBuffer, FCounter, FKeystream;
    std::vector<uint32_t> FUser;
    int32_t FPosition;
};

class TCipher_Rijndael : public TCipher {
public:
    static TCipherContext ClassContext() { return {16, 32, 480}; }
    TCipher_Rijndael();
    // Keyed: see TCipher::InitWithKey.
    explicit TCipher_Rijndael(std::vector<uint8_t>& key);

    void SetupKey(const void* key, int32_t size, const void* initVector) override;
    const wchar_t* ClassName() const override { return L"TCipher_Rijndael"; }
    int32_t Rounds() const { return FRounds; }

protected:
    void EncryptRawBlock(const void* source, void* dest) override;
    void DecryptRawBlock(const void* source, void* dest) override;

private:
    int32_t FRounds = 0;
};

// ---- Cipher registry ----------------------------------------------------------------------------

struct TCipherClass {
    const wchar_t* ClassName;
    TCipherContext (*Context)();
    std::shared_ptr<TCipher> (*Create)();
};

struct TCipherRegistration {
    std::wstring Name;          // the class name without "T" and without everything up to "_"
    std::wstring Description;
    const TCipherClass* Class;
};

extern const TCipherClass CipherClass_Rijndael;

// Adds the class, or replaces the registration of the same name.
void RegisterCipher(const TCipherClass* cipherClass, const std::wstring& description);
void UnregisterCiphers();
const std::vector<TCipherRegistration>& RegisteredCiphers();
// The class registered under the name (ASCII case ignored), or nullptr.
const TCipherClass* CipherByName(const std::wstring& name);

// ---- Traditional PKWARE encryption ------------------------------------------------------------

class TPkwareKeys {
public:
    // The initial keys, updated with every byte of the password.
    void Init(const std::string& password);
    void Update(uint8_t plain);
    uint8_t KeystreamByte() const;
    uint8_t DecryptByte(uint8_t c);
    uint8_t EncryptByte(uint8_t p);
    void Decrypt(void* buffer, size_t size);
    void Encrypt(const void* source, void* dest, size_t size);

    uint32_t Keys[3] = {0x12345678, 0x23456789, 0x34567890};
};

// The byte the decrypted header must end with: the CRC's top byte, or, for an entry with a data
// descriptor (flag bit 3), the DOS time's high byte.
uint8_t PkwareCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime);
// Keys the cipher with the password and decrypts the 12-byte header with it; true when the check
// byte fits. An empty password is wrong without touching anything.
bool PkwareCheckPassword(TPkwareKeys& keys, const std::string& password, const uint8_t header[12],
                         uint8_t checkByte);
// Keys the cipher with the password and builds the encrypted 12-byte header of an entry with
// that CRC: ten random bytes, then the CRC's bits 16-23 and 24-31.
void PkwareMakeHeader(TPkwareKeys& keys, const std::string& password, uint32_t crc, uint8_t header[12]);

// ---- WinZip AES ----------------------------------------------------------------------------------

// Transform modes.
constexpr int32_t ctEncrypt = 0;
constexpr int32_t ctDecrypt = 1;

class TZFCryptoTransform {
public:
    virtual ~TZFCryptoTransform() = default;
    virtual void SetPassword(const std::string& password) = 0;
    virtual bool CheckPassword(const std::string& password) = 0;
    virtual std::vector<uint8_t> EncryptionKey() const = 0;
    virtual std::string CurrentPassword() const = 0;
    virtual void SetMode(int32_t mode) { FMode = mode; }
    virtual void ClearFields() = 0;
    virtual void DecryptBlock(const void* source, void* dest, uint32_t count) = 0;
    virtual void EncryptBlock(const void* source, void* dest, uint32_t count) = 0;
    virtual std::vector<uint8_t> HeaderBytes() const = 0;
    virtual void ReadHeader(TStream& stream) = 0;
    virtual uint32_t HeaderSize() const = 0;
    virtual std::vector<uint8_t> AuthCode() = 0;
    virtual void ReadAuthCode(TStream& stream) = 0;
    virtual uint32_t AuthCodeSize() const = 0;
    // True when the entry's data is authentic.
    virtual bool VerifyEntry(uint32_t storedCrc, uint32_t crc) = 0;
    // The whole extra field for the local header and the directory (identifier, size, data).
    virtual std::string ExtraField() const = 0;

    int32_t Mode() const { return FMode; }

protected:
    int32_t FMode = ctEncrypt;
};

class TAESCryptoTransform : public TZFCryptoTransform {
public:
    // keyBits 128, 192 or 256; realMethod is the compression method inside the AES envelope.
    TAESCryptoTransform(int32_t keyBits, uint16_t realMethod, uint16_t vendorVersion);

    // Encrypt mode, or no salt read yet: a fresh random salt; then the keys are derived.
    void SetPassword(const std::string& password) override;
    bool CheckPassword(const std::string& password) override;
    std::vector<uint8_t> EncryptionKey() const override { return FEncryptionKey; }
    std::string CurrentPassword() const override { return FPassword; }
    void ClearFields() override;
    void DecryptBlock(const void* source, void* dest, uint32_t count) override;
    void EncryptBlock(const void* source, void* dest, uint32_t count) override;
    std::vector<uint8_t> HeaderBytes() const override;
    // Reads the salt, derives the keys from the stored password, reads the stored verifier.
    void ReadHeader(TStream& stream) override;
    uint32_t HeaderSize() const override { return FKeyLength / 2 + ZFAesVerifierSize; }
    std::vector<uint8_t> AuthCode() override;
    void ReadAuthCode(TStream& stream) override;
    uint32_t AuthCodeSize() const override { return FVendorVersion == 1 ? 0 : FAuthCodeLength; }
    bool VerifyEntry(uint32_t storedCrc, uint32_t crc) override;
    std::string ExtraField() const override;

    int32_t KeyLength() const { return FKeyLength; }
    uint16_t VendorVersion() const { return FVendorVersion; }
    uint16_t RealMethod() const { return FRealMethod; }
    const std::vector<uint8_t>& Salt() const { return FSalt; }
    const std::vector<uint8_t>& Verifier() const { return FVerifier; }
    // 1, 2 or 3 for 128, 192 or 256-bit keys.
    uint8_t Strength() const { return (uint8_t)(FKeyLength / 8 - 1); }

private:
    std::vector<uint8_t> DeriveBytes(const std::string& password) const;
    void DeriveKeys(const std::string& password);
    std::vector<uint8_t> FinishHmac();

    int32_t FKeyLength;
    uint16_t FVendorVersion;
    uint16_t FRealMethod;
    uint32_t FAuthCodeLength = ZFAesAuthCodeSize;
    std::string FPassword;
    std::vector<uint8_t> FSalt;
    bool FSaltRead = false;
    std::vector<uint8_t> FVerifier;
    std::vector<uint8_t> FEncryptionKey;
    std::vector<uint8_t> FHmacKey;
    const THashDescriptor* FHash;
    THmacContext FHmac;
    std::shared_ptr<TCipher_Rijndael> FCipher;
    std::vector<uint8_t> FStoredAuthCode;
};
