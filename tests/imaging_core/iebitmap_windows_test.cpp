// The rows of a file-located bitmap through row windows: random access against a memory copy,
// locked rows staying valid while the cache moves on, the address space a pass keeps, and the
// whole copies into and out of file storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "iebitmap.h"

namespace {

// Rows of 1 MiB: four to a window, so a few rows already span several windows.
constexpr int32_t kWideRow = 1 << 20;
constexpr int32_t kRows = 22;   // six windows, the last of two rows

uint8_t RowByte(int32_t Row, int32_t I) { return (uint8_t)(Row * 37 + I * 11 + (I >> 12)); }

void FillRow(uint8_t* P, int32_t Row, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) P[i] = RowByte(Row, i);
}

bool RowIs(const uint8_t* P, int32_t Row, int32_t Len) {
    for (int32_t i = 0; i < Len; ++i) {
        if (P[i] != RowByte(Row, i)) return false;
    }
    return true;
}

std::vector<int32_t> Shuffled(int32_t N, uint32_t Seed) {
    std::vector<int32_t> order(N);
    for (int32_t i = 0; i < N; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(Seed));
    return order;
}

// A file-located ie8g bitmap of kRows rows of kWideRow bytes, each row its own pattern, written
// in a random order.
void MakeFileBitmap(TIEBitmap& B) {
    B.MinFileSize = 0;
    ASSERT_TRUE(B.Allocate(kWideRow, kRows, ie8g));
    ASSERT_EQ(B.GetLocation(), ieFile);
    for (int32_t y : Shuffled(kRows, 7)) FillRow(B.GetScanline(y), y, kWideRow);
}

}  // namespace

TEST(IEBitmapRowWindows, RandomRowsEqualTheMemoryCopy) {
    TIEBitmap f;
    MakeFileBitmap(f);
    TIEBitmap m;
    m.SetLocation(ieMemory);
    m.Assign(&f);
    ASSERT_EQ(m.GetLocation(), ieMemory);
    std::mt19937 random(11);
    for (int32_t i = 0; i < 3 * kRows; ++i) {
        const int32_t y = (int32_t)(random() % kRows);
        const uint8_t* row = f.GetScanline(y);
        ASSERT_EQ(std::memcmp(row, m.GetScanline(y), kWideRow), 0) << "row " << y;
        // A pass never keeps more than the cache's windows mapped.
        EXPECT_LE(f.RowWindowCount(), TIEFileRowWindows::CachedWindows);
    }
    // Single pixels go through the same rows, at both ends of a row and of the image.
    for (int32_t y : {0, 3, 4, kRows - 1}) {
        EXPECT_EQ(f.GetPixelByte(0, y), RowByte(y, 0));
        EXPECT_EQ(f.GetPixelByte(kWideRow - 1, y), RowByte(y, kWideRow - 1));
    }
}

TEST(IEBitmapRowWindows, LockedRowsStayValidWhileOtherRowsAreRead) {
    TIEBitmap f;
    MakeFileBitmap(f);
    // Rows 2..6 span two windows; row 5 is locked twice.
    std::vector<uint8_t*> locked;
    for (int32_t y = 2; y <= 6; ++y) locked.push_back(f.LockScanline(y));
    uint8_t* again = f.LockScanline(5);
    EXPECT_EQ(again, locked[3]);
    // Every other row, twice over in random orders: the cache maps and unmaps its windows.
    for (uint32_t seed : {1u, 2u}) {
        for (int32_t y : Shuffled(kRows, seed)) ASSERT_TRUE(RowIs(f.GetScanline(y), y, kWideRow)) << y;
    }
    for (int32_t y = 2; y <= 6; ++y) {
        ASSERT_TRUE(RowIs(locked[(size_t)(y - 2)], y, kWideRow)) << "locked row " << y;
        locked[(size_t)(y - 2)][0] = (uint8_t)(200 + y);
    }
    for (int32_t y = 2; y <= 6; ++y) f.UnlockScanline(y);
    // Row 5 still holds its second lock.
    for (int32_t y : Shuffled(kRows, 3)) f.GetScanline(y);
    EXPECT_EQ(again[0], 205);
    again[1] = 99;
    f.UnlockScanline(5);
    f.UnlockScanline(5);   // no lock left: ignored
    EXPECT_LE(f.RowWindowCount(), TIEFileRowWindows::CachedWindows);
    // What went through locked rows is in the file.
    TIEBitmap m;
    m.SetLocation(ieMemory);
    m.Assign(&f);
    for (int32_t y = 2; y <= 6; ++y) EXPECT_EQ(m.GetScanline(y)[0], 200 + y);
    EXPECT_EQ(m.GetScanline(5)[1], 99);
    EXPECT_TRUE(RowIs(m.GetScanline(7), 7, kWideRow));
    f.ReleaseRowBuffers();
    EXPECT_EQ(f.RowWindowCount(), 0u);
}

TEST(IEBitmapRowWindows, WholeCopiesIntoAndOutOfFileStorage) {
    // A small image with a palette and an alpha channel: the size rule alone would keep it in memory.
    TIEBitmap source;
    source.SetLocation(ieMemory);
    ASSERT_TRUE(source.Allocate(37, 23, ie8p));
    for (int32_t y = 0; y < 23; ++y) FillRow(source.GetScanline(y), y, source.GetRowLen());
    source.SetPaletteEntry(3, TIERGB{1, 2, 3});
    source.SetAlpha(5, 7, 17);
    source.DitherMethod = iedmOrdered;

    TIEBitmap copy;
    ASSERT_TRUE(copy.AssignToFile(&source));
    EXPECT_EQ(copy.GetLocation(), ieFile);
    ASSERT_TRUE(copy.HasAlphaChannel());
    EXPECT_EQ(copy.GetAlphaChannel()->GetLocation(), ieFile);
    EXPECT_EQ(copy.GetPixelFormat(), ie8p);
    EXPECT_EQ(copy.GetPaletteEntry(3).g, 2);
    EXPECT_EQ(copy.DitherMethod, iedmOrdered);
    // Changing the source leaves the copy alone; Assign brings the copy back whole.
    source.Fill(0);
    source.SetAlpha(5, 7, 255);
    TIEBitmap back;
    back.SetLocation(ieMemory);
    back.Assign(&copy);
    EXPECT_EQ(back.GetLocation(), ieMemory);
    for (int32_t y = 0; y < 23; ++y) ASSERT_TRUE(RowIs(back.GetScanline(y), y, back.GetRowLen())) << y;
    EXPECT_EQ(back.GetAlpha(5, 7), 17);
    EXPECT_EQ(back.GetAlpha(6, 7), 255);
    EXPECT_EQ(back.GetPaletteEntry(3).r, 3);

    // Nothing to copy: False and empty.
    TIEBitmap empty;
    EXPECT_FALSE(copy.AssignToFile(&empty));
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_FALSE(copy.AssignToFile(&copy));
}

TEST(IEBitmapRowWindows, AccessDecidesWhatIsReadAndWrittenBack) {
    TIEBitmap f;
    MakeFileBitmap(f);
    f.ReleaseRowBuffers();
    // Rows handed out only for writing are not read, and only they are written back: the rows
    // around them in the same window keep their bytes.
    f.Access = iedWrite;
    std::memset(f.GetScanline(5), 0xAB, kWideRow);
    std::memset(f.GetScanline(7), 0xCD, kWideRow);
    f.ReleaseRowBuffers();
    // Rows handed out only for reading are not written back.
    f.Access = iedRead;
    f.GetScanline(9)[0] = (uint8_t)~RowByte(9, 0);
    f.ReleaseRowBuffers();
    f.Access = iedRead | iedWrite;
    for (int32_t y = 4; y <= 10; ++y) {
        const uint8_t* row = f.GetScanline(y);
        if (y == 5 || y == 7) {
            EXPECT_EQ(row[0], y == 5 ? 0xAB : 0xCD);
            EXPECT_EQ(row[kWideRow - 1], y == 5 ? 0xAB : 0xCD);
        } else {
            EXPECT_TRUE(RowIs(row, y, kWideRow)) << y;
        }
    }
}
