// Constants of the ZIP engine: the message and error-code tables, the texts of the cipher and
// string-format framework, and the fixed numbers of entry encryption.
#pragma once
#include <cstdint>

// ---- Engine errors ---------------------------------------------------------------------------

// Engine codes run from 0 to ZFMaxNativeError; each selects one of the ZFMessageCount texts.
constexpr int32_t ZFMaxNativeError = 67;
constexpr int32_t ZFMessageCount = 41;

// The engine's message texts, by message number.
extern const wchar_t* const ZFMessages[ZFMessageCount];

// One pair of the map from engine code to message number.
struct TZFErrorMapEntry {
    int32_t NativeError;
    int32_t ErrorCode;
};
extern const TZFErrorMapEntry ZFErrorMap[ZFMaxNativeError + 1];

// The message number of an engine code: the first pair of the map with that code, else 0.
int32_t ZFMessageNumberOf(int32_t nativeError);

// ---- Cipher, hash and string-format framework -------------------------------------------------

extern const wchar_t* const SProtectionCircular;    // "Circular Protection detected, ..."
extern const wchar_t* const SNotInitialized;        // "%s is not initialized call Init() ..."
extern const wchar_t* const SStringFormatExists;    // "String Format "%d" not exists."
extern const wchar_t* const SInvalidStringFormat;   // "Input is not an valid %s Format."
extern const wchar_t* const SInvalidFormatString;   // "Input can not be convert to %s Format."
extern const wchar_t* const SFMT_COPY;
extern const wchar_t* const SFMT_HEX;
extern const wchar_t* const SFMT_HEXL;
extern const wchar_t* const SFMT_MIME64;
extern const wchar_t* const SFMT_UU;
extern const wchar_t* const SFMT_XX;

// ---- Entry encryption ---------------------------------------------------------------------------

constexpr uint16_t ZFAesExtraFieldId = 0x9901;
constexpr uint16_t ZFAesExtraFieldSize = 7;
constexpr uint16_t ZFAesVendorId = 0x4541;         // the bytes "AE"
constexpr uint16_t ZFAesMethod = 99;               // method field of an AES entry
constexpr uint16_t ZFAesVendorVersion = 2;         // AE-2: no CRC check, authentication code only
constexpr uint32_t ZFAesAuthCodeSize = 10;
constexpr uint32_t ZFAesVerifierSize = 2;
constexpr uint32_t ZFAesKeyIterations = 1000;
constexpr uint32_t ZFPkwareHeaderSize = 12;
// A version-needed word from this value on marks an entry of the alternate signature set, which
// is never AES-encrypted.
constexpr uint16_t ZFAlternateVersion = 0x4114;

// ---- Paths ------------------------------------------------------------------------------------------

// How much of a disk path becomes the stored entry name.
enum TZFStorePathMode { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };

// ---- Start-up -------------------------------------------------------------------------------------

// The engine's start-up: registers the string formats, the Rijndael cipher and the SHA-1 hash,
// and creates the engine-wide lock. Shut-down undoes it in the reverse order.
void ZFEngineStartup();
void ZFEngineShutdown();
// Registers the two as the unit "ZipEngine" with the unit registry (rank urZipEngine); the
// program entry calls it before InitializeUnits.
void ZFRegisterEngineUnit();
