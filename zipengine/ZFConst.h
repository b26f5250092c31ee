// Constants of the ZIP engine: the message and error-code tables, the texts of the cipher and
// string-format framework, and the fixed numbers of entry encryption.
#pragma once
#include <cstdint>

// ---- Engine errors ---------------------------------------------------------------------------

// Engine codes run from 0 to ZFMaxNativeError; each selects one of the ZFMessageCount texts.
constexpr int32_t ZFMaxNativeError = 67;
constexpr int32_t ZFMessageCount = 41;

// The engine codes the engine raises (EZFException::NativeError), by situation.
constexpr int32_t ZFErrItemStoreIndex = 1;          // directory item index out of range: storing
constexpr int32_t ZFErrItemCopyIndex = 2;           // ... copying
constexpr int32_t ZFErrItemIndex = 3;               // ... addressing
constexpr int32_t ZFErrItemDeleteIndex = 4;         // ... deleting
constexpr int32_t ZFErrCompressionMode = 5;         // compression mode above 9
constexpr int32_t ZFErrNilStream = 6;               // no stream given
constexpr int32_t ZFErrOldCopyNotFound = 7;         // a commit cannot find an unchanged entry's old copy
constexpr int32_t ZFErrEntryDecode = 8;             // an entry could not be decoded
constexpr int32_t ZFErrBlankFileName = 9;           // open with an empty file-name part
constexpr int32_t ZFErrBlankFileNameMode = 10;      // open in a mode, or create, with an empty file-name part
constexpr int32_t ZFErrFileNotFound = 12;           // open of a missing file
constexpr int32_t ZFErrArchiveNotOpen = 13;         // batch or update on a closed archive
constexpr int32_t ZFErrExtractIndex = 16;           // extraction of an entry index outside the directory
constexpr int32_t ZFErrCreateTarget = 19;           // the extraction target file cannot be created
constexpr int32_t ZFErrCreateTargetFolder = 20;     // the extraction target folder cannot be created
constexpr int32_t ZFErrDeleteIndex = 21;            // deleting an entry: bad index
constexpr int32_t ZFErrDeleteNoUpdate = 22;         // deleting an entry: no update open
constexpr int32_t ZFErrRefreshIndex = 24;           // refreshing an entry: bad index
constexpr int32_t ZFErrNoUpdate = 25;               // changing an entry: no update open
constexpr int32_t ZFErrUpdatePending = 26;          // batch extract or test while an update is open
constexpr int32_t ZFErrDeleteMovedFile = 27;        // a moved file cannot be deleted after the commit
constexpr int32_t ZFErrInMemoryExisting = 28;       // open of an existing file with InMemory set
constexpr int32_t ZFErrInMemoryBlankName = 29;      // InMemory off with an empty FileName
constexpr int32_t ZFErrOpenSource = 33;             // a file to add cannot be opened
constexpr int32_t ZFErrSourceShort = 34;            // fewer bytes read from a file to add than its size
constexpr int32_t ZFErrNoLocalHeader = 35;          // the repair scan finds no local header
constexpr int32_t ZFErrCreateTempFile = 36;         // a temporary file cannot be created
constexpr int32_t ZFErrZip64EndRecordNotFound = 40; // ZIP64 locator without ZIP64 end record
constexpr int32_t ZFErrZip64Packed = 41;            // a compressed size needs ZIP64 while it is disabled
constexpr int32_t ZFErrZip64Disabled = 43;          // an entry needs ZIP64 while it is disabled
constexpr int32_t ZFErrRepairVolumeSet = 44;        // repair requested on a volume set
constexpr int32_t ZFErrVolumeCancelled = 45;        // a volume request was cancelled
constexpr int32_t ZFErrWriteShort = 46;             // a write to the archive did not take all bytes
constexpr int32_t ZFErrStubTooLarge = 47;           // the SFX stub is larger than the first volume
constexpr int32_t ZFErrNoEndRecord = 48;            // no end record and RepairOnOpen off
constexpr int32_t ZFErrStreamVolumes = 51;          // OpenArchiveStream with spanning or splitting set
constexpr int32_t ZFErrDeflate64 = 55;              // deflate64 entry
constexpr int32_t ZFErrCorruptDirectory = 57;       // directory sizes, counts or records beyond the archive
constexpr int32_t ZFErrNameIndex = 58;              // the name index and the directory disagree
constexpr int32_t ZFErrDuplicateName = 59;          // a rename to a name another entry has
constexpr int32_t ZFErrRemoveMovedFolder = 60;      // a moved folder cannot be removed after the commit
constexpr int32_t ZFErrNameTooLong = 61;            // a file to add has a name over 259 characters
constexpr int32_t ZFErrVolumeSetUpdate = 62;        // a second update of a volume set
constexpr int32_t ZFErrDiskFull = 65;               // a write failed and no one can free space
constexpr int32_t ZFErrPasswordUnchanged = 67;      // the password handler neither skips nor changes

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
