// Byte order, checked arithmetic and the read-only memory stream: the primitives every reader of
// file data stands on.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "Classes.h"
#include "SysUtils.h"

TEST(ByteOrder, ReadsAndWritesBothOrdersAtAnyAlignment) {
    uint8_t buf[17] = {};
    uint8_t* odd = buf + 1;   // unaligned on purpose
    ByteOrder::PutLE64(odd, 0x0102030405060708ull);
    EXPECT_EQ(odd[0], 0x08);
    EXPECT_EQ(odd[7], 0x01);
    EXPECT_EQ(ByteOrder::GetLE64(odd), 0x0102030405060708ull);
    EXPECT_EQ(ByteOrder::GetLE32(odd), 0x05060708u);
    EXPECT_EQ(ByteOrder::GetLE16(odd), 0x0708u);
    EXPECT_EQ(ByteOrder::GetBE64(odd), 0x0807060504030201ull);
    EXPECT_EQ(ByteOrder::GetBE32(odd), 0x08070605u);
    EXPECT_EQ(ByteOrder::GetBE16(odd), 0x0807u);
    ByteOrder::PutBE32(odd + 8, 0xFFFEFDFCu);
    EXPECT_EQ(odd[8], 0xFF);
    EXPECT_EQ(ByteOrder::GetLE32(odd + 8), 0xFCFDFEFFu);
    ByteOrder::PutBE16(odd + 12, 0x8001);
    EXPECT_EQ(ByteOrder::GetLE16(odd + 12), 0x0180);
    EXPECT_EQ(ByteOrder::Swap16(0x1234), 0x3412);
    EXPECT_EQ(ByteOrder::Swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(ByteOrder::Swap64(0x0102030405060708ull), 0x0807060504030201ull);
}

TEST(CheckedMath, ReportsOverflowAndLeavesTheResultAlone) {
    int64_t r = 7;
    EXPECT_FALSE(Checked::Add<int64_t>(INT64_MAX, 1, &r));
    EXPECT_FALSE(Checked::Add<int64_t>(0x7FFFFFFFFFFFFFFF, 0x7FFFFFFFFFFFFFFF, &r));
    EXPECT_FALSE(Checked::Sub<int64_t>(INT64_MIN, 1, &r));
    EXPECT_FALSE(Checked::Mul<int64_t>(INT64_MAX / 2 + 1, 2, &r));
    EXPECT_EQ(r, 7);
    EXPECT_TRUE(Checked::Mul<int64_t>(20000LL * 3, 20000, &r));
    EXPECT_EQ(r, 1200000000LL);
    uint32_t u = 0;
    EXPECT_FALSE(Checked::Mul<uint32_t>(65536, 65536, &u));
    EXPECT_TRUE(Checked::Add<uint32_t>(0xFFFFFFFEu, 1, &u));
    EXPECT_EQ(u, 0xFFFFFFFFu);

    uint32_t narrow = 0;
    EXPECT_FALSE(Checked::Cast<uint32_t>(int64_t(-1), &narrow));
    EXPECT_FALSE(Checked::Cast<uint32_t>(int64_t(1) << 32, &narrow));
    EXPECT_TRUE(Checked::Cast<uint32_t>(int64_t(0xFFFFFFFF), &narrow));
    EXPECT_EQ(narrow, 0xFFFFFFFFu);

    EXPECT_TRUE(Checked::InRange<int64_t>(10, 5, 15));
    EXPECT_FALSE(Checked::InRange<int64_t>(10, 6, 15));
    EXPECT_FALSE(Checked::InRange<int64_t>(-1, 1, 15));
    EXPECT_FALSE(Checked::InRange<int64_t>(INT64_MAX, 1, INT64_MAX));
    EXPECT_TRUE(Checked::InRange<uint32_t>(0, 0, 0));
    EXPECT_FALSE(Checked::InRange<uint32_t>(0xFFFFFFF0u, 0x20, 0xFFFFFFFFu));
}

TEST(ReadOnlyMemoryStream, ReadsTheCallersBytesInPlaceAndRefusesWrites) {
    const char data[] = "0123456789";
    TReadOnlyMemoryStream s(data, 10);
    EXPECT_EQ(s.GetSize(), 10);
    EXPECT_EQ(s.GetMemory(), static_cast<const void*>(data));
    char got[4] = {};
    s.Seek(7, soBeginning);
    EXPECT_EQ(s.Read(got, 4), 3);
    EXPECT_EQ(std::string(got, 3), "789");
    EXPECT_EQ(s.Read(got, 4), 0);
    EXPECT_THROW(s.Write("x", 1), EStreamError);
    EXPECT_EQ(data[0], '0');
}

// The file primitives, on both platforms: names relative to the test's working folder.
TEST(FilePrimitives, WholeFilesReadBackAndTheirLimitHolds) {
    const std::wstring name = L"kw_primitives_whole.bin";
    const std::string cases[] = {std::string(), std::string("a\0b\r\n\xFF", 6), std::string(70000, 'x')};
    for (const std::string& bytes : cases) {
        ASSERT_TRUE(WriteWholeFile(name, bytes, bytes.size() == 6));
        EXPECT_TRUE(FileExists(name));
        EXPECT_FALSE(DirectoryExists(name));
        std::string back = "old";
        EXPECT_TRUE(ReadWholeFile(name, back, bytes.size()));
        EXPECT_EQ(back, bytes);
        if (!bytes.empty()) {
            EXPECT_FALSE(ReadWholeFile(name, back, bytes.size() - 1));
        }
    }
    EXPECT_TRUE(RemoveFile(name));
    EXPECT_FALSE(FileExists(name));
    std::string none;
    EXPECT_FALSE(ReadWholeFile(name, none, 100));
    EXPECT_NE(GetLastOSError(), 0u);
    EXPECT_FALSE(RemoveFile(name));
    EXPECT_TRUE(DirectoryExists(L"."));
    EXPECT_FALSE(FileExists(L"."));
}

TEST(FilePrimitives, ATemporaryFileReplacesTheTargetInOneStep) {
    const std::wstring target = L"kw_primitives_target.ini";
    ASSERT_TRUE(WriteWholeFile(target, "old"));
    std::wstring temp, second;
    ASSERT_TRUE(CreateTempFileIn(L".", L"KWTX", temp));
    ASSERT_TRUE(CreateTempFileIn(L".", L"KWTX", second));
    EXPECT_NE(temp, second);
    const size_t base = temp.find_last_of(L"\\/") + 1;
    EXPECT_EQ(temp.substr(base, 3), L"KWT");
    std::string content = "x";
    EXPECT_TRUE(ReadWholeFile(temp, content, 10));
    EXPECT_EQ(content, "");   // created empty

    ASSERT_TRUE(WriteWholeFile(temp, "new", true));
    EXPECT_TRUE(ReplaceFileWith(target, temp));
    EXPECT_FALSE(FileExists(temp));
    EXPECT_TRUE(ReadWholeFile(target, content, 10));
    EXPECT_EQ(content, "new");
    EXPECT_FALSE(ReplaceFileWith(target, temp));   // the source is gone
    EXPECT_TRUE(RemoveFile(second));
    EXPECT_TRUE(RemoveFile(target));
}
