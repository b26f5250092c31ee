// The engine's exception: message and error-code tables, the name prefix and the five-digit code.
#include <gtest/gtest.h>

#include "Classes.h"
#include "ZFConst.h"
#include "ZFExcept.h"

TEST(ZFExcept, EveryEngineCodeHasItsMessageNumberAndText) {
    struct Case {
        int32_t code, message;
        const wchar_t* text;
    } cases[] = {
        {0, 0, L"Unknown error - Native error: 00000"},
        {1, 1, L"Index out of bounds - Native error: 00001"},
        {2, 1, L"Index out of bounds - Native error: 00002"},
        {3, 1, L"Index out of bounds - Native error: 00003"},
        {4, 1, L"Index out of bounds - Native error: 00004"},
        {5, 2, L"Invalid compression mode. Mode must be in [0-9] range - Native error: 00005"},
        {6, 3, L"Unexpected nil pointer - Native error: 00006"},
        {7, 1, L"Index out of bounds - Native error: 00007"},
        {8, 4, L"Invalid size or check sum of file or unsupported compression format - Native error: 00008"},
        {9, 5, L"File name is blank. Specify appropriate file name - Native error: 00009"},
        {10, 5, L"File name is blank. Specify appropriate file name - Native error: 00010"},
        {11, 6, L"File \"%s\" not found - Native error: 00011"},
        {12, 6, L"File \"%s\" not found - Native error: 00012"},
        {13, 7, L"Archive is not open - Native error: 00013"},
        {14, 7, L"Archive is not open - Native error: 00014"},
        {15, 6, L"File \"%s\" not found - Native error: 00015"},
        {16, 1, L"Index out of bounds - Native error: 00016"},
        {17, 8, L"SFXStub property is not specified - Native error: 00017"},
        {18, 6, L"File \"%s\" not found - Native error: 00018"},
        {19, 9, L"Cannot create file \"%s\" - Native error: 00019"},
        {20, 10, L"Cannot create directory \"%s\" - Native error: 00020"},
        {21, 1, L"Index out of bounds - Native error: 00021"},
        {22, 11, L"Internal error. Update is not started - Native error: 00022"},
        {23, 9, L"Cannot create file \"%s\" - Native error: 00023"},
        {24, 1, L"Index out of bounds - Native error: 00024"},
        {25, 11, L"Internal error. Update is not started - Native error: 00025"},
        {26, 13, L"Cannot proceed when update is not ended. Preceding EndUpdate call is required. - Native error: 00026"},
        {27, 14, L"Cannot delete file \"%s\" - Native error: 00027"},
        {28, 15, L"In-memory archive can be created only - Native error: 00028"},
        {29, 5, L"File name is blank. Specify appropriate file name - Native error: 00029"},
        {30, 6, L"File \"%s\" not found - Native error: 00030"},
        {31, 6, L"File \"%s\" not found - Native error: 00031"},
        {32, 16, L"File is open in read-only mode - Native error: 00032"},
        {33, 12, L"Cannot open file \"%s\" - Native error: 00033"},
        {34, 17, L"Invalid compressed size, rfs.size = %d, count = %d - Native error: 00034"},
        {35, 18, L"Invalid archive file. - Native error: 00035"},
        {36, 19, L"Cannot create output file. Probably file is locked by another process. FileName = '%s'. - Native error: 00036"},
        {37, 20, L"Archive is open. You should close it beore performing this operation. - Native error: 00037"},
        {38, 6, L"File \"%s\" not found - Native error: 00038"},
        {39, 21, L"Unable to create directory - Native error: 00039"},
        {40, 22, L"Cannot find 64-bit directory end record - Native error: 00040"},
        {41, 23, L"Cannot compress file '%s'. Zip64 mode is not enabled - Native error: 00041"},
        {42, 6, L"File \"%s\" not found - Native error: 00042"},
        {43, 23, L"Cannot compress file '%s'. Zip64 mode is not enabled - Native error: 00043"},
        {44, 24, L"Cannot open archive file. Opening aborted or invalid file - Native error: 00044"},
        {45, 24, L"Cannot open archive file. Opening aborted or invalid file - Native error: 00045"},
        {46, 25, L"Write to stream error - Native error: 00046"},
        {47, 26, L"Cannot place SFX stub on volume. Volume size limit is too small - Native error: 00047"},
        {48, 27, L"Archive is damaged. Open failed - Native error: 00048"},
        {49, 28, L"MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX - Native error: 00049"},
        {50, 29, L"Archive already has SFX stub - Native error: 00050"},
        {51, 30, L"Multi-volume archive is not allowed for custom stream - Native error: 00051"},
        {52, 31, L"Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several times - Native error: 00052"},
        {53, 6, L"File \"%s\" not found - Native error: 00053"},
        {54, 6, L"File \"%s\" not found - Native error: 00054"},
        {55, 32, L"Deflate64 compression method is not supported - Native error: 00055"},
        {56, 33, L"MakeSFX error - Native error: 00056"},
        {57, 27, L"Archive is damaged. Open failed - Native error: 00057"},
        {58, 34, L"Hashed list of file names is invalid - Native error: 00058"},
        {59, 34, L"Hashed list of file names is invalid - Native error: 00059"},
        {60, 35, L"Cannot delete folder \"%s\" - Native error: 00060"},
        {61, 36, L"File name is too long: \r\n\"%s\" - Native error: 00061"},
        {62, 37, L"Multiple transactions are not supported for multi-volume archives - Native error: 00062"},
        {63, 38, L"Invalid InitVector index = %d. Index should be >= 0 and < %d - Native error: 00063"},
        {64, 38, L"Invalid InitVector index = %d. Index should be >= 0 and < %d - Native error: 00064"},
        {65, 39, L"Disk is full. There is not enough free space on disk. - Native error: 00065"},
        {66, 39, L"Disk is full. There is not enough free space on disk. - Native error: 00066"},
        {67, 40, L"Invalid password. Cannot decompress encrypted file. - Native error: 00067"},
    };
    ASSERT_EQ(sizeof cases / sizeof cases[0], (size_t)ZFMaxNativeError + 1);
    for (const Case& c : cases) {
        const EZFException e(c.code);
        EXPECT_EQ(e.NativeError, c.code);
        EXPECT_EQ(e.ErrorCode, c.message) << c.code;
        EXPECT_EQ(e.Message(), c.text) << c.code;
    }
}

TEST(ZFExcept, CodesOutsideTheMapSelectMessageZero) {
    struct Case {
        int32_t code;
        const wchar_t* text;
    } cases[] = {
        {68, L"Unknown error - Native error: 00068"},
        {1000, L"Unknown error - Native error: 01000"},
        {123456, L"Unknown error - Native error: 123456"},
    };
    for (const Case& c : cases) {
        const EZFException e(c.code);
        EXPECT_EQ(e.ErrorCode, 0);
        EXPECT_EQ(e.NativeError, c.code);
        EXPECT_EQ(e.Message(), c.text);
    }
}

TEST(ZFExcept, NamedArchiverPrefixesItsNameUnnamedOneDoesNot) {
    TComponent unnamed(nullptr), named(nullptr);
    named.SetName(L"ZipFlow1");
    EXPECT_EQ(EZFException(35, &unnamed).Message(), L"Invalid archive file. - Native error: 00035");
    EXPECT_EQ(EZFException(35, &named).Message(), L"ZipFlow1: Invalid archive file. - Native error: 00035");
    EXPECT_EQ(EZFException(5, &named).Message(),
              L"ZipFlow1: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
}

TEST(ZFExcept, FormattedMessagesTakeNamesAndSixtyFourBitCounts) {
    TComponent named(nullptr);
    named.SetName(L"Zip");
    EXPECT_EQ(EZFException(12, nullptr, {L"C:\\写真\\a.zip"}).Message(),
              L"File \"C:\\写真\\a.zip\" not found - Native error: 00012");
    EXPECT_EQ(EZFException(34, &named, {(int64_t)5000000000LL, (int64_t)4999999999LL}).Message(),
              L"Zip: Invalid compressed size, rfs.size = 5000000000, count = 4999999999 - Native error: 00034");
    EXPECT_EQ(EZFException(61, nullptr, {L"x.txt"}).Message(),
              L"File name is too long: \r\n\"x.txt\" - Native error: 00061");
    EXPECT_EQ(EZFException(63, nullptr, {7, 4}).Message(),
              L"Invalid InitVector index = 7. Index should be >= 0 and < 4 - Native error: 00063");
    // A name prefix is added after formatting: "%" in the name is not a format.
    named.SetName(L"100%s");
    EXPECT_EQ(EZFException(19, &named, {L"out.bin"}).Message(),
              L"100%s: Cannot create file \"out.bin\" - Native error: 00019");
}

TEST(ZFExcept, IsAnExceptionOfTheRuntimeLayer) {
    try {
        throw EZFException(8);
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), L"EZFException");
        EXPECT_EQ(e.Message(), L"Invalid size or check sum of file or unsupported compression format - Native error: 00008");
    }
}
