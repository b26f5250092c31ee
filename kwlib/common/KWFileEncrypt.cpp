#include "KWFileEncrypt.h"

#include <cstdint>
#include <vector>

#include "KWFileEncryptBlowFish.h"

const char* const KWFileEncryptFallbackKey = "8264019375620481";

namespace {

// The IV is the 64-bit value 0x7718306645529, laid out little-endian.
constexpr uint64_t kIVValue = 0x7718306645529ull;

// The largest file or stream the engine takes: its lengths are 32-bit, and padding adds a block.
constexpr int64_t kMaxLength = INT32_MAX - 64;

bool IsBlankKey(const std::string& AKey) {
    for (char c : AKey)
        if (c != 0 && c != 9 && c != 10 && c != 13 && c != 32) return false;
    return true;
}

}  // namespace

std::unique_ptr<TfeCryptCBC> TKWFileEncrypt::CreateCrypt() const {
    uint8_t iv[8];
    for (int i = 0; i < 8; ++i) iv[i] = (uint8_t)(kIVValue >> (8 * i));
    return std::make_unique<TfeCryptCBC>(Key, new TfeBlowFish, iv, 8, fePadOneZeros, true);
}

bool TKWFileEncrypt::EncryptStreamToFile(TMemoryStream* AStream, const std::wstring& AFileName) {
    if (!AStream) throw EStreamError(L"Stream is not assigned.");
    const int64_t size = AStream->GetSize();
    if (size > kMaxLength) throw EStreamError(L"Stream is too large to encrypt.");
    AStream->SetPosition(0);
    std::vector<uint8_t> plain((size_t)size);
    if (size > 0) AStream->ReadBuffer(plain.data(), (int32_t)size);

    const std::unique_ptr<TfeCryptCBC> crypt = CreateCrypt();
    std::vector<uint8_t> cipher(crypt->OutputSize((int32_t)size));
    crypt->Encrypt(plain.data(), cipher.data(), (int32_t)size);

    TFileStream file(AFileName, fmCreate | fmShareExclusive);
    file.WriteBuffer(cipher.data(), (int32_t)cipher.size());
    return true;
}

bool TKWFileEncrypt::DecryptFileToStream(const std::wstring& AFileName, TMemoryStream* AStream) {
    if (!AStream) throw EStreamError(L"Stream is not assigned.");
    std::vector<uint8_t> cipher;
    {
        TFileStream file(AFileName, fmOpenRead | fmShareDenyWrite);
        const int64_t size = file.GetSize();
        if (size > kMaxLength) return false;  // far larger than anything this engine writes
        cipher.resize((size_t)size);
        if (size > 0) file.ReadBuffer(cipher.data(), (int32_t)size);
    }

    const std::unique_ptr<TfeCryptCBC> crypt = CreateCrypt();
    std::vector<uint8_t> plain(cipher.size());
    int32_t length = 0;
    try {
        length = crypt->Decrypt(cipher.data(), plain.data(), (int32_t)cipher.size());
    } catch (const Exception&) {
        return false;  // a bad length or bad padding: not our cipher text, or another key
    }
    if (length > 0) AStream->WriteBuffer(plain.data(), length);
    return true;
}

namespace {

std::unique_ptr<TKWFileEncrypt> MakeEncrypt(const std::string& AKey) {
    auto encrypt = std::make_unique<TKWFileEncrypt>(nullptr);
    encrypt->Key = IsBlankKey(AKey) ? std::string(KWFileEncryptFallbackKey) : AKey;
    return encrypt;
}

}  // namespace

bool KWEncryptStreamToFile(TMemoryStream* AStream, const std::wstring& AFileName, const std::string& AKey) {
    return MakeEncrypt(AKey)->EncryptStreamToFile(AStream, AFileName);
}

bool KWDecryptFileToStream(const std::wstring& AFileName, TMemoryStream* AStream, const std::string& AKey) {
    return MakeEncrypt(AKey)->DecryptFileToStream(AFileName, AStream);
}
