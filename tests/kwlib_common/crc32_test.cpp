// CRC-32 over buffers and files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "CRC32.h"
#include "SysUtils.h"
#include "WinApi.h"

namespace {

uint32_t Crc(const std::string& AData) {
    uint32_t crc = 0xFFFFFFFF;
    KWCRC32Buffer(AData.data(), crc, (int64_t)AData.size());
    return ~crc;
}

std::wstring TempFile(const wchar_t* AName, const std::string& AContent) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + AName;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f) {
        fwrite(AContent.data(), 1, AContent.size(), f);
        fclose(f);
    }
    return path;
}

}  // namespace

TEST(CRC32, KnownValuesAndTableSelfTest) {
    EXPECT_EQ(Crc("abc"), 0x352441C2u);
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(""), 0u);
    // The start-up check of the unit's own table: a wrong table fails here with its message
    // instead of showing a dialog.
    EXPECT_EQ(CRC32TableCheck(), 0x6FCF9E13u);
    EXPECT_EQ(CRC32TableMessage(CRC32Table()), L"");
}

// A table with one wrong bit, anywhere, is reported with the sum the check found.
TEST(CRC32, DamagedTableIsReported) {
    for (int entry : {0, 1, 128, 255}) {
        uint32_t table[256];
        std::copy(CRC32Table(), CRC32Table() + 256, table);
        table[entry] ^= 0x00010000u;
        const uint32_t sum = CRC32TableCheck(table);
        EXPECT_NE(sum, 0x6FCF9E13u) << entry;
        EXPECT_EQ(CRC32TableMessage(table),
                  L"CRC32 Table CRC32 is " + IntToHex(sum, 8) + L", expecting $6FCF9E13")
            << entry;
    }
}

TEST(CRC32, BufferRunsCanBeChainedAndZeroCountKeepsTheRegister) {
    uint32_t crc = 0xFFFFFFFF;
    KWCRC32Buffer("a", crc, 1);
    KWCRC32Buffer(nullptr, crc, 0);
    KWCRC32Buffer("bc", crc, 2);
    EXPECT_EQ(~crc, 0x352441C2u);
}

TEST(CRC32, FilesGiveCrcAndSize) {
    struct Case { const wchar_t* name; std::string content; uint32_t crc; } cases[] = {
        {L"kwbase_crc_empty.bin", "", 0},
        {L"kwbase_crc_abc.bin", "abc", 0x352441C2u},
    };
    for (const Case& c : cases) {
        const std::wstring path = TempFile(c.name, c.content);
        uint32_t crc = 123;
        int64_t size = -1;
        uint16_t error = 7;
        KWCRC32File(path, crc, size, error);
        EXPECT_EQ(crc, c.crc);
        EXPECT_EQ(size, (int64_t)c.content.size());
        EXPECT_EQ(error, 0);
        DeleteFileW(path.c_str());
    }
}

TEST(CRC32, MissingFileRaises) {
    uint32_t crc = 0;
    int64_t size = 0;
    uint16_t error = 0;
    EXPECT_THROW(KWCRC32File(L"C:\\no\\such\\kwbase_file.bin", crc, size, error), EFOpenError);
}
