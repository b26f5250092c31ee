// Whole-file encryption with Blowfish in CBC mode: a component keyed with a byte string, and two
// routines that encrypt a memory stream into a file and decrypt a file into a memory stream.
#pragma once
#include <memory>
#include <string>

#include "Classes.h"
#include "KWFileEncryptCryptUtils.h"

// The key the routines use when they are given an empty or blank key.
extern const char* const KWFileEncryptFallbackKey;

class TKWFileEncrypt : public TComponent {
public:
    KW_CLASS_NAME(TKWFileEncrypt)
    explicit TKWFileEncrypt(TComponent* AOwner) : TComponent(AOwner) {}

    // A Blowfish engine keyed with Key: CBC, the fixed IV, padding 0x80 then zeros.
    std::unique_ptr<TfeCryptCBC> CreateCrypt() const;
    // Encrypts the whole of AStream into AFileName (replacing it). True; every error raises.
    bool EncryptStreamToFile(TMemoryStream* AStream, const std::wstring& AFileName);
    // Decrypts AFileName and writes the plain bytes at AStream's position. False when the cipher
    // text has a bad length or bad padding; errors opening or reading the file raise.
    bool DecryptFileToStream(const std::wstring& AFileName, TMemoryStream* AStream);

    std::string Key;
};

// Run TKWFileEncrypt with AKey, or with the fallback key when AKey is empty or only blanks.
bool KWEncryptStreamToFile(TMemoryStream* AStream, const std::wstring& AFileName, const std::string& AKey);
bool KWDecryptFileToStream(const std::wstring& AFileName, TMemoryStream* AStream, const std::string& AKey);
