#include "ZFConst.h"

#include <string>

#include "UnitInit.h"
#include "ZFCipher.h"
#include "ZFDecUtil.h"
#include "ZFStrFunc.h"
#include "ZFsha1.h"

const wchar_t* const ZFMessages[ZFMessageCount] = {
    L"Unknown error",
    L"Index out of bounds",
    L"Invalid compression mode. Mode must be in [0-9] range",
    L"Unexpected nil pointer",
    L"Invalid size or check sum of file or unsupported compression format",
    L"File name is blank. Specify appropriate file name",
    L"File \"%s\" not found",
    L"Archive is not open",
    L"SFXStub property is not specified",
    L"Cannot create file \"%s\"",
    L"Cannot create directory \"%s\"",
    L"Internal error. Update is not started",
    L"Cannot open file \"%s\"",
    L"Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    L"Cannot delete file \"%s\"",
    L"In-memory archive can be created only",
    L"File is open in read-only mode",
    L"Invalid compressed size, rfs.size = %d, count = %d",
    L"Invalid archive file.",
    L"Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    L"Archive is open. You should close it beore performing this operation.",
    L"Unable to create directory",
    L"Cannot find 64-bit directory end record",
    L"Cannot compress file '%s'. Zip64 mode is not enabled",
    L"Cannot open archive file. Opening aborted or invalid file",
    L"Write to stream error",
    L"Cannot place SFX stub on volume. Volume size limit is too small",
    L"Archive is damaged. Open failed",
    L"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive "
    L"creation instead of MakeSFX",
    L"Archive already has SFX stub",
    L"Multi-volume archive is not allowed for custom stream",
    L"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to "
    L"add files several times",
    L"Deflate64 compression method is not supported",
    L"MakeSFX error",
    L"Hashed list of file names is invalid",
    L"Cannot delete folder \"%s\"",
    L"File name is too long: \r\n\"%s\"",
    L"Multiple transactions are not supported for multi-volume archives",
    L"Invalid InitVector index = %d. Index should be >= 0 and < %d",
    L"Disk is full. There is not enough free space on disk.",
    L"Invalid password. Cannot decompress encrypted file.",
};

const TZFErrorMapEntry ZFErrorMap[ZFMaxNativeError + 1] = {
    {0, 0},   {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 2},   {6, 3},   {7, 1},
    {8, 4},   {9, 5},   {10, 5},  {11, 6},  {12, 6},  {13, 7},  {14, 7},  {15, 6},
    {16, 1},  {17, 8},  {18, 6},  {19, 9},  {20, 10}, {21, 1},  {22, 11}, {23, 9},
    {24, 1},  {25, 11}, {26, 13}, {27, 14}, {28, 15}, {29, 5},  {30, 6},  {31, 6},
    {32, 16}, {33, 12}, {34, 17}, {35, 18}, {36, 19}, {37, 20}, {38, 6},  {39, 21},
    {40, 22}, {41, 23}, {42, 6},  {43, 23}, {44, 24}, {45, 24}, {46, 25}, {47, 26},
    {48, 27}, {49, 28}, {50, 29}, {51, 30}, {52, 31}, {53, 6},  {54, 6},  {55, 32},
    {56, 33}, {57, 27}, {58, 34}, {59, 34}, {60, 35}, {61, 36}, {62, 37}, {63, 38},
    {64, 38}, {65, 39}, {66, 39}, {67, 40},
};

int32_t ZFMessageNumberOf(int32_t nativeError) {
    for (const TZFErrorMapEntry& e : ZFErrorMap)
        if (e.NativeError == nativeError) return e.ErrorCode;
    return 0;
}

const wchar_t* const SProtectionCircular =
    L"Circular Protection detected, Protection Object is invalid.";
const wchar_t* const SNotInitialized = L"%s is not initialized call Init() or InitKey() before.";
const wchar_t* const SStringFormatExists = L"String Format \"%d\" not exists.";
const wchar_t* const SInvalidStringFormat = L"Input is not an valid %s Format.";
const wchar_t* const SInvalidFormatString = L"Input can not be convert to %s Format.";
const wchar_t* const SFMT_COPY = L"copy Input to Output";
const wchar_t* const SFMT_HEX = L"Hexadecimal";
const wchar_t* const SFMT_HEXL = L"Hexadecimal lowercase";
const wchar_t* const SFMT_MIME64 = L"MIME Base 64";
const wchar_t* const SFMT_UU = L"UU Coding";
const wchar_t* const SFMT_XX = L"XX Coding";

// ---- Start-up -------------------------------------------------------------------------------------

void ZFEngineStartup() {
    RegisterStringFormats({&StringFormat_COPY, &StringFormat_HEX, &StringFormat_HEXL,
                           &StringFormat_MIME64, &StringFormat_UU, &StringFormat_XX});
    RegisterCipher(&CipherClass_Rijndael, std::wstring());
    RegisterHash(SHA1HashNumber, &SHA1Descriptor);
    ZFCreateEngineLock();
}

void ZFEngineShutdown() {
    ZFDestroyEngineLock();
    ClearHashRegistry();
    UnregisterCiphers();
    UnregisterStringFormats();
}

void ZFRegisterEngineUnit() {
    RegisterUnit(L"ZipEngine", urZipEngine, ZFEngineStartup, ZFEngineShutdown);
}
