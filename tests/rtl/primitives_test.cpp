// Byte order, checked arithmetic, the read-only memory stream and the range stream: the primitives
// every reader of file data stands on.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

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

TEST(RangeStream, ReadsOnlyItsWindowOfTheBaseWhereverItSeeks) {
    const std::string bytes = "0123456789abcdefghij";
    TMemoryStream base;
    base.WriteBuffer(bytes.data(), (int32_t)bytes.size());
    const std::string window = bytes.substr(5, 10);
    // A 4-byte buffer, so that reads begin, end and straddle buffer edges; reads of 4 and more go
    // straight to the base.
    TRangeStream s(&base, 5, 10, 4);
    EXPECT_EQ(s.GetSize(), 10);

    const struct {
        int64_t seek;
        TSeekOrigin origin;
        int32_t count;
        std::string expected;
    } steps[] = {
        {0, soCurrent, 3, "567"},          // fills the buffer
        {0, soCurrent, 2, "89"},           // one byte from the buffer, one from a refill
        {0, soBeginning, 10, window},      // direct read of the whole window
        {-3, soEnd, 5, "cde"},             // stops at the window's end
        {0, soCurrent, 1, ""},             // at the end
        {100, soBeginning, 1, ""},         // past the end
        {-5, soBeginning, 2, "56"},        // before the start: stops at 0
        {1, soCurrent, 3, "89a"},
    };
    for (const auto& step : steps) {
        s.Seek(step.seek, step.origin);
        std::string got(16, '\0');
        got.resize((size_t)s.Read(&got[0], step.count));
        EXPECT_EQ(got, step.expected) << step.seek << " " << step.origin << " " << step.count;
    }

    // Any mix of positions and sizes reads what the window holds there.
    uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int i = 0; i < 300; ++i) {
        const int64_t pos = (int64_t)(next() % 12);
        const int32_t count = (int32_t)(next() % 9);
        s.SetPosition(pos);
        std::string got(16, '\0');
        got.resize((size_t)s.Read(&got[0], count));
        EXPECT_EQ(got, pos < 10 ? window.substr((size_t)pos, (size_t)count) : std::string()) << pos << " " << count;
        EXPECT_EQ(s.GetPosition(), pos + (int64_t)got.size());
    }

    EXPECT_THROW(s.Write("x", 1), EStreamError);
    EXPECT_THROW(s.SetSize(3), EStreamError);
    EXPECT_EQ(base.GetSize(), 20);
}

TEST(RangeStream, RefusesWindowsOutsideTheBase) {
    TMemoryStream base;
    base.WriteBuffer("0123456789", 10);
    EXPECT_NO_THROW(TRangeStream(&base, 0, 10));
    EXPECT_NO_THROW(TRangeStream(&base, 10, 0));
    const struct {
        int64_t start, size;
    } bad[] = {{-1, 5}, {0, -1}, {5, 6}, {11, 0}, {INT64_MAX, 2}, {2, INT64_MAX}};
    for (const auto& b : bad) EXPECT_THROW(TRangeStream(&base, b.start, b.size), EStreamError) << b.start << " " << b.size;
    EXPECT_THROW(TRangeStream(nullptr, 0, 0), EStreamError);
}

TEST(CheckedMath, FloatsBecomeIntegersOnlyInRange) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    struct {
        double Value;
        bool Fits;
        int32_t Trunc, Saturated, Rounded;
    } cases[] = {
        {2.5, true, 2, 2, 2},   // round: ties to even
        {-2.5, true, -2, -2, -2},
        {3.5, true, 3, 3, 4},
        {2147483647.9, true, 2147483647, 2147483647, 2147483647},
        {2147483648.0, false, 0, 2147483647, 2147483647},
        {-2147483648.9, true, -2147483647 - 1, -2147483647 - 1, -2147483647 - 1},
        {-2147483649.0, false, 0, -2147483647 - 1, -2147483647 - 1},
        {1e300, false, 0, 2147483647, 2147483647},
        {inf, false, 0, 2147483647, 2147483647},
        {-inf, false, 0, -2147483647 - 1, -2147483647 - 1},
        {nan, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        int32_t r = 77;
        EXPECT_EQ(Checked::TruncFloat(c.Value, &r), c.Fits) << c.Value;
        EXPECT_EQ(r, c.Fits ? c.Trunc : 77) << c.Value;
        EXPECT_EQ(Checked::TruncSaturate<int32_t>(c.Value), c.Saturated) << c.Value;
        EXPECT_EQ(Checked::RoundSaturate<int32_t>(c.Value), c.Rounded) << c.Value;
    }
    EXPECT_EQ(Checked::TruncSaturate<int32_t>(nan, -1), -1);
    // The library's own Round and Trunc take any value too.
    EXPECT_EQ(Trunc(1e30L), INT64_MAX);
    EXPECT_EQ(Round(-1e30L), INT64_MIN);
    EXPECT_EQ(Trunc((long double)nan), 0);
    EXPECT_EQ(Round(2.5L), 2);
    EXPECT_EQ(Trunc(-2.9L), -2);
    int64_t big = 0;
    EXPECT_FALSE(Checked::TruncFloat(9.3e18, &big));
    EXPECT_TRUE(Checked::TruncFloat(-9.2e18, &big));
    EXPECT_EQ(big, -9200000000000000000LL);
}
