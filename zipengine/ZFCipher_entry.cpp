// Entry encryption: the traditional PKWARE stream cipher and the WinZip AES transform.
#include <cstring>

#include "ByteOrder.h"
#include "Classes.h"
#include "ZFCipher.h"
#include "ZFPBKDF_2.h"
#include "ZFZlib.h"

// ---- Traditional PKWARE encryption ------------------------------------------------------------

void TPkwareKeys::Init(const std::string& password) {
    Keys[0] = 0x12345678;
    Keys[1] = 0x23456789;
    Keys[2] = 0x34567890;
    for (char c : password) Update((uint8_t)c);
}

void TPkwareKeys::Update(uint8_t plain) {
    Keys[0] = ZFCrc32Step(Keys[0], plain);
    Keys[1] = (Keys[1] + (Keys[0] & 0xFF)) * 134775813u + 1u;
    Keys[2] = ZFCrc32Step(Keys[2], (uint8_t)(Keys[1] >> 24));
}

uint8_t TPkwareKeys::KeystreamByte() const {
    const uint32_t t = (Keys[2] | 2) & 0xFFFF;
    return (uint8_t)((t * (t ^ 1)) >> 8);
}

uint8_t TPkwareKeys::DecryptByte(uint8_t c) {
    const uint8_t p = c ^ KeystreamByte();
    Update(p);
    return p;
}

uint8_t TPkwareKeys::EncryptByte(uint8_t p) {
    const uint8_t c = p ^ KeystreamByte();
    Update(p);
    return c;
}

void TPkwareKeys::Decrypt(void* buffer, size_t size) {
    uint8_t* b = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) b[i] = DecryptByte(b[i]);
}

void TPkwareKeys::Encrypt(const void* source, void* dest, size_t size) {
    const uint8_t* s = static_cast<const uint8_t*>(source);
    uint8_t* d = static_cast<uint8_t*>(dest);
    for (size_t i = 0; i < size; ++i) d[i] = EncryptByte(s[i]);
}

uint8_t PkwareCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
    return (flags & 8) ? (uint8_t)(dosTime >> 8) : (uint8_t)(crc >> 24);
}

bool PkwareCheckPassword(TPkwareKeys& keys, const std::string& password, const uint8_t header[12],
                         uint8_t checkByte) {
    if (password.empty()) return false;
    keys.Init(password);
    uint8_t plain[ZFPkwareHeaderSize];
    memcpy(plain, header, sizeof plain);
    keys.Decrypt(plain, sizeof plain);
    return plain[11] == checkByte;
}

void PkwareMakeHeader(TPkwareKeys& keys, const std::string& password, uint32_t crc, uint8_t header[12]) {
    uint8_t plain[ZFPkwareHeaderSize];
    RandomBuffer(plain, 10);
    plain[10] = (uint8_t)(crc >> 16);
    plain[11] = (uint8_t)(crc >> 24);
    keys.Init(password);
    keys.Encrypt(plain, header, sizeof plain);
}

// ---- WinZip AES ----------------------------------------------------------------------------------

TAESCryptoTransform::TAESCryptoTransform(int32_t keyBits, uint16_t realMethod, uint16_t vendorVersion)
    : FKeyLength((keyBits + 4) / 8),
      FVendorVersion(vendorVersion),
      FRealMethod(realMethod),
      FHash(HashByName("SHA1")) {
    memset(&FHmac, 0, sizeof FHmac);
}

std::vector<uint8_t> TAESCryptoTransform::DeriveBytes(const std::string& password) const {
    const TPBKDF2 generator(password, ZFAesKeyIterations, (uint16_t)FSalt.size(), FSalt.data());
    return generator.DeriveKey((uint16_t)(2 * FKeyLength + ZFAesVerifierSize));
}

void TAESCryptoTransform::DeriveKeys(const std::string& password) {
    std::vector<uint8_t> bytes = DeriveBytes(password);
    FEncryptionKey.assign(bytes.begin(), bytes.begin() + FKeyLength);
    FHmacKey.assign(bytes.begin() + FKeyLength, bytes.begin() + 2 * FKeyLength);
    FVerifier.assign(bytes.begin() + 2 * FKeyLength, bytes.end());
    std::fill(bytes.begin(), bytes.end(), 0);
    HmacInit(FHmac, FHash, FHmacKey.data(), (uint16_t)FHmacKey.size());
    // The keyed cipher replaces its key argument (here the transform's copy) by its encryption.
    FCipher = std::make_shared<TCipher_Rijndael>(FEncryptionKey);
    FCipher->Mode = cmCTR;
}

void TAESCryptoTransform::SetPassword(const std::string& password) {
    FPassword = password;
    if (FMode == ctDecrypt && FSaltRead) {
        DeriveKeys(password);
        return;
    }
    const TPBKDF2 generator(password, ZFAesKeyIterations, (uint16_t)(FKeyLength / 2));
    FSalt = generator.SaltCopy();
    DeriveKeys(password);
}

bool TAESCryptoTransform::CheckPassword(const std::string& password) {
    const std::vector<uint8_t> bytes = DeriveBytes(password);
    return FVerifier.size() == ZFAesVerifierSize &&
           memcmp(bytes.data() + 2 * FKeyLength, FVerifier.data(), ZFAesVerifierSize) == 0;
}

void TAESCryptoTransform::ClearFields() {
    std::fill(FPassword.begin(), FPassword.end(), '\0');
    FPassword.clear();
    for (std::vector<uint8_t>* v : {&FSalt, &FVerifier, &FEncryptionKey, &FHmacKey, &FStoredAuthCode}) {
        std::fill(v->begin(), v->end(), 0);
        v->clear();
    }
    FSaltRead = false;
    FCipher.reset();
    memset(&FHmac, 0, sizeof FHmac);
}

void TAESCryptoTransform::EncryptBlock(const void* source, void* dest, uint32_t count) {
    FCipher->EncodeBuffer(source, dest, (int32_t)count);
    HmacUpdate(FHmac, dest, count);
}

void TAESCryptoTransform::DecryptBlock(const void* source, void* dest, uint32_t count) {
    HmacUpdate(FHmac, source, count);
    FCipher->DecodeBuffer(source, dest, (int32_t)count);
}

std::vector<uint8_t> TAESCryptoTransform::HeaderBytes() const {
    std::vector<uint8_t> bytes(FSalt);
    bytes.insert(bytes.end(), FVerifier.begin(), FVerifier.end());
    return bytes;
}

void TAESCryptoTransform::ReadHeader(TStream& stream) {
    std::vector<uint8_t> salt(FKeyLength / 2);
    stream.ReadBuffer(salt.data(), (int32_t)salt.size());
    FSalt = salt;
    FSaltRead = true;
    DeriveKeys(FPassword);
    FVerifier.assign(ZFAesVerifierSize, 0);
    stream.ReadBuffer(FVerifier.data(), (int32_t)ZFAesVerifierSize);
}

std::vector<uint8_t> TAESCryptoTransform::FinishHmac() {
    THashDigest digest;
    HmacFinal(FHmac, digest);
    return std::vector<uint8_t>(digest.Bytes, digest.Bytes + FAuthCodeLength);
}

std::vector<uint8_t> TAESCryptoTransform::AuthCode() {
    if (FVendorVersion == 1) return {};
    return FinishHmac();
}

void TAESCryptoTransform::ReadAuthCode(TStream& stream) {
    if (FVendorVersion == 1) return;
    FStoredAuthCode.assign(FAuthCodeLength, 0);
    stream.ReadBuffer(FStoredAuthCode.data(), (int32_t)FAuthCodeLength);
}

bool TAESCryptoTransform::VerifyEntry(uint32_t storedCrc, uint32_t crc) {
    if (FVendorVersion == 1) return storedCrc == crc;
    return FinishHmac() == FStoredAuthCode;
}

std::string TAESCryptoTransform::ExtraField() const {
    uint8_t field[4 + ZFAesExtraFieldSize];
    ByteOrder::PutLE16(field, ZFAesExtraFieldId);
    ByteOrder::PutLE16(field + 2, ZFAesExtraFieldSize);
    ByteOrder::PutLE16(field + 4, FVendorVersion);
    ByteOrder::PutLE16(field + 6, ZFAesVendorId);
    field[8] = Strength();
    ByteOrder::PutLE16(field + 9, FRealMethod);
    return std::string(reinterpret_cast<const char*>(field), sizeof field);
}
