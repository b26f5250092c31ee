// The image buffer: formats, row order, the storages and their choice, palette, alpha channel,
// copies and moves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_startup.h"

namespace {

// Writes a pattern into every byte of every row and checks it reads back, row by row.
void FillPattern(TIEBitmap& b, uint8_t seed) {
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < b.GetRowLen(); ++i) row[i] = (uint8_t)(seed + y * 31 + i * 7);
    }
}

bool HasPattern(TIEBitmap& b, uint8_t seed, int32_t len) {
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        const uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < len; ++i) {
            if (row[i] != (uint8_t)(seed + y * 31 + i * 7)) return false;
        }
    }
    return true;
}

std::wstring BaseName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

TEST(IEBitmap, FormatsTable) {
    struct Case {
        TIEPixelFormat format;
        int32_t bits, channels, rowLen5, rowLen5Align8;
    };
    const Case cases[] = {
        {ie1g, 1, 1, 4, 1},       {ie8p, 8, 1, 8, 5},      {ie8g, 8, 1, 8, 5},     {ie16g, 16, 1, 12, 10},
        {ie24RGB, 24, 3, 16, 15}, {ie32f, 32, 1, 20, 20},  {ieCMYK, 32, 4, 20, 20}, {ieRGB48, 48, 3, 32, 30},
        {ieCIELab, 24, 3, 16, 15}, {ie32RGB, 32, 4, 20, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        TIEBitmap b(5, 3, c.format);
        EXPECT_EQ(b.GetLocation(), ieMemory);
        EXPECT_EQ(b.GetBitCount(), c.bits);
        EXPECT_EQ(b.GetChannelCount(), c.channels);
        EXPECT_EQ(b.GetRowLen(), c.rowLen5);
        EXPECT_EQ(b.GetPaletteLength(), c.format == ie8p ? 256 : 0);
        FillPattern(b, 3);
        EXPECT_TRUE(HasPattern(b, 3, b.GetRowLen()));
        b.SetRowAlign(8);   // the rows move into unpadded rows and keep their pixels
        EXPECT_EQ(b.GetRowLen(), c.rowLen5Align8);
        EXPECT_TRUE(HasPattern(b, 3, b.GetRowLen()));
    }
    TIEBitmap none;
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_EQ(none.GetLocation(), ieFile);
    EXPECT_FALSE(none.Allocate(0, 10, ie24RGB));
    EXPECT_FALSE(none.Allocate(10, 10, ieNoFormat));
    // A row longer than a 32-bit length is refused rather than wrapped.
    EXPECT_FALSE(none.Allocate(0x7FFFFFFF / 8, 1, ie24RGB));
    EXPECT_EQ(none.GetWidth(), 0);
    EXPECT_EQ(none.GetHeight(), 0);
    EXPECT_THROW(none.GetScanline(0), EFileMappingError);   // no file behind it: no wild pointer
}

TEST(IEBitmap, PixelAccessAndAsRGB) {
    TIEBitmap g1(9, 2, ie1g);
    std::memset(g1.GetScanline(1), 0, 2);
    g1.GetScanline(1)[1] = 0x80;   // column 8
    EXPECT_EQ(g1.GetPixelAsRGB(8, 1).g, 255);
    EXPECT_EQ(g1.GetPixelAsRGB(7, 1).g, 0);

    TIEBitmap p(2, 2, ie8p);
    p.SetPaletteEntry(7, TIERGB{1, 2, 3});
    p.SetPaletteEntry(256, TIERGB{9, 9, 9});   // outside: ignored
    p.SetPixelByte(1, 0, 7);
    EXPECT_EQ(p.GetPixelAsRGB(1, 0).r, 3);

    TIEBitmap w(2, 2, ie16g);
    w.SetPixelWord(1, 1, 0xABCD);
    EXPECT_EQ(w.GetPixelWord(1, 1), 0xABCD);
    EXPECT_EQ(w.GetPixelAsRGB(1, 1).b, 0xAB);

    TIEBitmap f(2, 1, ie32f);
    f.SetPixelFloat(0, 0, 0.5f);
    EXPECT_EQ(f.GetPixelAsRGB(0, 0).r, 127);

    TIEBitmap c(2, 1, ie24RGB);
    c.SetPixelRGB(1, 0, TIERGB{10, 20, 30});
    EXPECT_EQ(c.GetPixelAsRGB(1, 0).g, 20);
    EXPECT_EQ(c.GetPixelRGBPtr(1, 0), (TIERGB*)(c.GetScanline(0) + 3));

    TIEBitmap h(2, 1, ieRGB48);
    h.SetPixelRGB48(1, 0, 0x1200, 0x3400, 0x5600);
    const TIERGB hp = h.GetPixelAsRGB(1, 0);
    EXPECT_EQ(hp.r, 0x12);
    EXPECT_EQ(hp.g, 0x34);
    EXPECT_EQ(hp.b, 0x56);

    TIEBitmap q(2, 1, ie32RGB);
    std::memcpy(q.GetScanline(0) + 4, "\x05\x06\x07\x08", 4);
    EXPECT_EQ(q.GetPixelAsRGB(1, 0).r, 7);
}

TEST(IEBitmap, RowOrderAndTopDown) {
    std::vector<uint8_t> block(4 * 3);
    TIEBitmap b;
    b.EncapsulateMemory(block.data(), 4, 3, ie8g, true, 0);
    EXPECT_EQ(b.GetScanline(0), block.data() + 8);   // memory rows are bottom-up
    EXPECT_EQ(b.LockScanline(0), b.GetScanline(0));
    b.EncapsulateMemory(block.data(), 4, 3, ie8g, true, 1);
    EXPECT_EQ(b.GetScanline(0), block.data());
    // LockScanline makes the same top-down flip as GetScanline.
    EXPECT_EQ(b.LockScanline(0), block.data());
    EXPECT_EQ(b.LockScanline(2), b.GetScanline(2));
    b.FreeImage(true);
    EXPECT_EQ(block.size(), 12u);   // encapsulated memory is not freed here
}

TEST(IEBitmap, AllocateOnceAndPaletteStartsZeroed) {
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(16, 16, ie24RGB));
    uint8_t* first = b.GetScanline(0);
    ASSERT_TRUE(b.Allocate(16, 16, ie24RGB));
    EXPECT_EQ(b.GetScanline(0), first);
    b.SetLocation(ieFile);
    EXPECT_TRUE(b.GetNeedsAllocation());
    // An ie8p palette starts zeroed, even where freed palettes left other bytes in the heap.
    for (int i = 0; i < 8; ++i) {
        TIEBitmap p(4, 4, ie8p);
        int32_t set = 0;
        for (int32_t k = 0; k < 256; ++k) {
            const TIERGB e = p.GetPaletteEntry(k);
            set += (e.r | e.g | e.b) != 0;
            p.SetPaletteEntry(k, TIERGB{0xAA, 0xBB, 0xCC});
        }
        EXPECT_EQ(set, 0) << "allocation " << i;
    }
}

TEST(IEBitmap, FileStorageByMinFileSize) {
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(100, 100, ie24RGB));
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.GetRowLen(), 300);
    FillPattern(b, 5);

    TIEBitmap f;
    f.MinFileSize = 0;
    ASSERT_TRUE(f.Allocate(100, 100, ie24RGB));
    ASSERT_EQ(f.GetLocation(), ieFile);
    const std::wstring name = f.GetFileBuffer().GetFileName();
    EXPECT_EQ(BaseName(name).substr(0, 3), L"IMG");
    // (The name itself may be gone already: the system deletes the file with its last handle.)
    FillPattern(f, 9);
    EXPECT_TRUE(HasPattern(f, 9, 300));
    // Locked rows stay mapped together, each its own row.
    uint8_t* r1 = f.LockScanline(1);
    uint8_t* r2 = f.LockScanline(2);
    f.GetScanline(50);
    EXPECT_EQ(r1[0], (uint8_t)(9 + 31));
    EXPECT_EQ(r2[0], (uint8_t)(9 + 62));
    r1[0] = 1;
    f.UnlockScanline(1);
    f.UnlockScanline(2);
    EXPECT_EQ(f.GetScanline(1)[0], 1);

    // Assign copies file to memory and back; moving storages keeps the pixels.
    TIEBitmap m(&f);
    EXPECT_EQ(m.GetLocation(), ieMemory);
    EXPECT_EQ(m.GetScanline(1)[0], 1);
    b.MinFileSize = 0;
    b.SetLocation(ieFile);
    EXPECT_EQ(b.GetLocation(), ieFile);
    EXPECT_TRUE(HasPattern(b, 5, 300));
    b.MinFileSize = 1 << 20;
    b.SetLocation(ieMemory);
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_TRUE(HasPattern(b, 5, 300));

    f.FreeImage(true);
    EXPECT_FALSE(IEFileExists(name));
}

TEST(IEBitmap, ImageLargerThanAddressSpaceOfA32BitProcess) {
    // 20,000 x 20,000 RGB is 1.2 GB: it goes to a sparse temporary file, rows mapped one by one.
    // Only a few rows are written, so the disk holds only those.
    if (sizeof(void*) == 4) {
        EXPECT_LE(IEDefaultBitmapMinFileSize(), (int64_t)1 << 30);
    }
    TIEBitmap b;
    b.MinFileSize = 64 << 20;
    ASSERT_TRUE(b.Allocate(20000, 20000, ie24RGB));
    ASSERT_EQ(b.GetLocation(), ieFile);
    const int32_t rows[] = {0, 9999, 19999};
    for (int32_t r : rows) b.SetPixelRGB(19999, r, TIERGB{(uint8_t)r, 1, 2});
    for (int32_t r : rows) EXPECT_EQ(b.GetPixelRGB(19999, r).b, (uint8_t)r);
    EXPECT_EQ(b.GetPixelRGB(5, 5000).b, 0);
}

TEST(IEBitmap, AssignIntoSystemBitmapOfAFormatItCannotHoldGoesToMemory) {
    TIEBitmap source(7, 3, ie16g);
    FillPattern(source, 4);
    TIEBitmap dest;
    dest.SetLocation(ieTBitmap);
    ASSERT_EQ(dest.GetLocation(), ieTBitmap);
    dest.Assign(&source);
    EXPECT_EQ(dest.GetLocation(), ieMemory);
    EXPECT_EQ(dest.GetPixelFormat(), ie16g);
    EXPECT_EQ(dest.GetRowLen(), 16);
    EXPECT_TRUE(HasPattern(dest, 4, 16));
}

TEST(IEBitmap, MoveToKeepsSourceSettings) {
    TIEBitmap a;
    a.SetRowAlign(8);
    a.DitherMethod = iedmOrdered;
    a.MemoryAllocator = iemaGetMem;
    ASSERT_TRUE(a.Allocate(5, 2, ie24RGB));
    FillPattern(a, 1);
    TIEBitmap d;
    a.MoveTo(&d);
    EXPECT_TRUE(HasPattern(d, 1, 15));
    EXPECT_EQ(d.GetRowAlign(), 8);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetPixelFormat(), ieNoFormat);
    EXPECT_TRUE(a.GetNeedsAllocation());
    // The source keeps what it had, and allocates again with it.
    EXPECT_EQ(a.GetRowAlign(), 8);
    EXPECT_EQ(a.DitherMethod, iedmOrdered);
    EXPECT_EQ(a.MemoryAllocator, iemaGetMem);
    ASSERT_TRUE(a.Allocate(5, 2, ie24RGB));
    EXPECT_EQ(a.GetRowLen(), 15);
}

TEST(IEBitmap, AlphaChannel) {
    TIEBitmap b(3, 2, ie24RGB);
    EXPECT_FALSE(b.HasAlphaChannel());
    TIEBitmap* a = b.GetAlphaChannel();
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->GetIsAlpha());
    EXPECT_TRUE(a->GetFull());
    EXPECT_EQ(a->GetPixelFormat(), ie8g);
    EXPECT_EQ(a->GetAlphaChannel(), nullptr);
    EXPECT_EQ(b.GetAlpha(2, 1), 255);

    // Assign takes the alpha channel over; a source without one removes the destination's.
    b.SetPixelRGB(1, 1, TIERGB{200, 200, 200});
    b.SetAlpha(1, 1, 128);
    EXPECT_FALSE(a->GetFull());
    TIEBitmap copy(&b);
    ASSERT_TRUE(copy.HasAlphaChannel());
    EXPECT_EQ(copy.GetAlpha(1, 1), 128);
    TIEBitmap plain(3, 2, ie8g);
    copy.Assign(&plain);
    EXPECT_FALSE(copy.HasAlphaChannel());
    EXPECT_EQ(copy.GetPixelFormat(), ie8g);

    b.RemoveAlphaChannel(true, 0);
    EXPECT_FALSE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetPixelRGB(1, 1).r, 100);
}
