// Packed DIB exchange: the written layout, round trips, the bit-field and YUV readers, row order
// and blocks too small for what their header announces.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "DibTestUtil.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "iedibbitmap.h"
#include "picturaproc_dib.h"
#include "picturaproc_pixels.h"

namespace {

template <typename T>
T Field(const uint8_t* P, size_t Offset) {
    T v;
    std::memcpy(&v, P + Offset, sizeof(T));
    return v;
}

uint32_t Code(const char* S) { return Field<uint32_t>((const uint8_t*)S, 0); }

// Holds a global block and frees it at the end.
struct TBlock {
    TIEGlobalHandle H;
    ~TBlock() { IEDIBGlobalFree(H); }
};

}  // namespace

TEST(CopyBitmapToDIB, TwentyFourBitLayoutBottomUpWithFill) {
    TIEBitmap bmp(3, 2, ie24RGB);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) bmp.SetPixelRGB(x, y, TIERGB{(uint8_t)(10 * y + x), 1, 2});
    TBlock b{_CopyBitmaptoDIBEx(&bmp, 0, 0, 0, 0, 96, 96)};
    ASSERT_TRUE(b.H);
    EXPECT_GE(IEDIBGlobalSize(b.H), 68u);   // 44 + 12 x 2
    const uint8_t* p = IEDIBGlobalLock(b.H);
    EXPECT_EQ(Field<uint32_t>(p, 0), 40u);
    EXPECT_EQ(Field<int32_t>(p, 4), 3);
    EXPECT_EQ(Field<int32_t>(p, 8), 2);
    EXPECT_EQ(Field<uint16_t>(p, 14), 24);
    EXPECT_EQ(Field<int32_t>(p, 24), 3779);
    EXPECT_EQ(p[40], 10);   // the bottom row first
    EXPECT_EQ(p[40 + 12], 0);
    EXPECT_EQ(p[40 + 9], 0);   // fill bytes
    IEDIBGlobalUnlock(b.H);
    // Back into a bitmap: the same pixels.
    TIEBitmap back;
    EXPECT_EQ(IEDIBToIEBitmap(b.H, &back, nullptr, false), 24);
    ASSERT_EQ(back.GetWidth(), 3);
    for (int32_t y = 0; y < 2; ++y)
        EXPECT_EQ(std::memcmp(back.GetScanline(y), bmp.GetScanline(y), 9), 0);
}

TEST(CopyBitmapToDIB, OneBitRectangleAndOtherFormats) {
    TIEBitmap bits(12, 1, ie1g);
    std::memset(bits.GetScanline(0), 0, (size_t)bits.GetRowLen());
    bits.GetScanline(0)[0] = 0x10;   // pixel 3 set
    TBlock b{_CopyBitmaptoDIBEx(&bits, 3, 0, 0, 0, 72, 72)};
    const uint8_t* p = IEDIBGlobalLock(b.H);
    EXPECT_EQ(Field<uint16_t>(p, 14), 1);
    EXPECT_EQ(Field<int32_t>(p, 4), 9);
    EXPECT_EQ(Field<uint32_t>(p, 44), 0xFFFFFFFFu);   // white entry
    EXPECT_EQ(p[48], 0x80);   // the fourth source pixel first
    IEDIBGlobalUnlock(b.H);

    TIEBitmap words(2, 2, ie16g);
    for (int32_t y = 0; y < 2; ++y) std::memset(words.GetScanline(y), 0xFF, (size_t)words.GetRowLen());
    TBlock w{_CopyBitmaptoDIBEx(&words, 0, 0, 0, 0, 96, 96)};
    p = IEDIBGlobalLock(w.H);
    EXPECT_EQ(Field<uint16_t>(p, 14), 24);
    EXPECT_EQ(p[40], 255);
    IEDIBGlobalUnlock(w.H);

    TIEBitmap grey(2, 1, ie8g);
    grey.SetPixelByte(0, 0, 7);
    grey.SetPixelByte(1, 0, 200);
    TBlock g{_CopyBitmaptoDIBEx(&grey, 0, 0, 0, 0, 96, 96)};
    TIEBitmap back;
    EXPECT_EQ(IEDIBToIEBitmap(g.H, &back, nullptr, false), 8);
    EXPECT_EQ(back.GetPixelRGB(1, 0).r, 200);
    EXPECT_EQ(back.GetPixelRGB(0, 0).g, 7);

    TIEBitmap empty;
    TBlock e{_CopyBitmaptoDIBEx(&empty, 0, 0, 0, 0, 96, 96)};
    p = IEDIBGlobalLock(e.H);
    EXPECT_EQ(Field<uint16_t>(p, 14), 0);
    IEDIBGlobalUnlock(e.H);
}

// A format written through a 24-bit copy gives no block when that copy cannot be made (rather
// than a header without pixels): 90,000,000 grey words fit a row, their 24-bit pixels do not.
TEST(CopyBitmapToDIB, NoBlockWithoutItsTwentyFourBitCopy) {
    TIEBitmap wide(90000000, 1, ie16g);
    ASSERT_EQ(wide.GetWidth(), 90000000);
    TBlock b{_CopyBitmaptoDIBEx(&wide, 0, 0, 0, 0, 96, 96)};
    EXPECT_EQ(b.H, nullptr);
}

TEST(CopyBitmapToDIB, LogLines) {
    // Each format's lines in the debug log, the text after the time stamp: a 16-bit grey image
    // goes through its 24-bit copy, an empty one allocates a header only.
    const std::string path = std::string(TEST_BUILD_DIR) + "/copydib_debug.log";
    struct TCase {
        TIEPixelFormat Format;
        int32_t Width;
        std::vector<std::string> Lines;
    };
    const TCase cases[] = {
        {ie1g, 9, {"begin", "allocate 56 bytes", "ie1g"}},
        {ie8p, 3, {"begin", "allocate 1072 bytes", "ie8g or ie8p"}},
        {ie8g, 3, {"begin", "allocate 1072 bytes", "ie8g or ie8p"}},
        {ie24RGB, 3, {"begin", "allocate 56 bytes", "ie24RGB"}},
        {ie16g, 3,
         {"begin", "not supported pixel format, converting to 24bit and recurse", "begin", "allocate 56 bytes",
          "ie24RGB"}},
        {ie24RGB, 0, {"begin", "allocate 44 bytes"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Lines.back());
        std::remove(path.c_str());
        TIEBitmap bmp;
        if (c.Width) bmp.Allocate(c.Width, 1, c.Format);
        IEDebugLogFileName = std::wstring(path.begin(), path.end());
        TBlock b{_CopyBitmaptoDIBEx(&bmp, 0, 0, 0, 0, 96, 96)};
        IEDebugLogFileName.clear();
        ASSERT_TRUE(b.H);
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            const size_t at = line.find(" : _CopyBitmaptoDIBEx: ");
            ASSERT_NE(at, std::string::npos) << line;
            lines.push_back(line.substr(at + 23, line.size() - at - 24));   // without the CR
        }
        EXPECT_EQ(lines, c.Lines);
    }
    std::remove(path.c_str());
}

TEST(IEDIBToIEBitmap, PalettedBitFieldAndRowOrder) {
    // 5 pixels of 4 bits: a 3-byte row padded to 4, two table entries.
    auto d = DibHeader(5, 1, 4, 0, 8 + 4);
    const uint32_t used = 2;
    std::memcpy(&d[32], &used, 4);
    const uint8_t table[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    std::memcpy(&d[40], table, 8);
    d[48] = 0x01, d[49] = 0x10, d[50] = 0x1F;   // 0, 1, 1, 0, 1
    TIEBitmap bmp;
    EXPECT_EQ(IEDIBToIEBitmap(d.data(), &bmp, nullptr, true), 4);
    ASSERT_EQ(bmp.GetWidth(), 5);
    EXPECT_EQ(bmp.GetPixelRGB(4, 0).b, 4);
    EXPECT_EQ(bmp.GetPixelRGB(3, 0).b, 1);

    // 5-6-5 bit fields, $FFFF: (248, 252, 248).
    auto f = DibHeader(1, 1, 16, 3, 12 + 4);
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(&f[40], masks, 12);
    f[52] = 0xFF, f[53] = 0xFF;
    EXPECT_EQ(IEDIBToIEBitmap(f.data(), &bmp, nullptr, true), 16);
    const TIERGB c = bmp.GetPixelRGB(0, 0);
    EXPECT_EQ(c.r, 248);
    EXPECT_EQ(c.g, 252);
    EXPECT_EQ(c.b, 248);

    // 24 bits, two rows: bottom-up for a positive height, in order for a negative one.
    for (int32_t height : {2, -2}) {
        auto r = DibHeader(1, height, 24, 0, 8);
        r[40] = 11, r[44] = 22;
        EXPECT_EQ(IEDIBToIEBitmap(r.data(), &bmp, nullptr, true), 24);
        EXPECT_EQ(bmp.GetPixelRGB(0, 0).b, height > 0 ? 22 : 11);
        EXPECT_EQ(bmp.GetPixelRGB(0, 1).b, height > 0 ? 11 : 22);
    }
}

TEST(IEDIBToIEBitmap, GlobalBlockTooSmallForItsRowsConvertsNothing) {
    auto d = DibHeader(100, 100, 24, 0, 0);
    TBlock b{IEDIBGlobalAlloc(d.size())};
    std::memcpy(IEDIBGlobalLock(b.H), d.data(), d.size());
    IEDIBGlobalUnlock(b.H);
    TIEBitmap bmp(2, 2, ie8g);
    EXPECT_EQ(IEDIBToIEBitmap(b.H, &bmp, nullptr, false), 24);
    EXPECT_EQ(bmp.GetWidth(), 2);   // neither rows read past the block nor a bitmap sized for them
    EXPECT_EQ(IEDIBToIEBitmap(nullptr, &bmp, nullptr, false), 0);
}

TEST(IEDrawDIBToDibbitmap, GlobalBlockTooSmallForItsRowsDrawsNothing) {
    // Rows, a colour table, or run-length data the header says is longer than the block.
    struct TCase {
        const char* what;
        uint16_t bits;
        uint32_t compression;
        size_t extra;
    } cases[] = {{"24-bit rows", 24, 0, 0}, {"8-bit table", 8, 0, 100}, {"8-bit run lengths", 8, 1, 1024 + 4}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto d = DibHeader(100, 100, c.bits, c.compression, c.extra);
        const uint32_t runBytes = 5000;
        if (c.compression) std::memcpy(&d[20], &runBytes, 4);
        TBlock b{IEDIBGlobalAlloc(d.size())};
        std::memcpy(IEDIBGlobalLock(b.H), d.data(), d.size());
        IEDIBGlobalUnlock(b.H);
        TIEDibbitmap dest;
        ASSERT_TRUE(dest.AllocateDIB(2, 2, 24));
        EXPECT_EQ(IEDrawDIBToDibbitmap(b.H, &dest, nullptr, false), c.bits);
        EXPECT_EQ(dest.GetWidth(), 2);   // left as it was, as the bitmap conversion does
    }
    // Enough rows: the destination takes the size.
    auto d = DibHeader(3, 2, 24, 0, 24);
    TBlock b{IEDIBGlobalAlloc(d.size())};
    std::memcpy(IEDIBGlobalLock(b.H), d.data(), d.size());
    IEDIBGlobalUnlock(b.H);
    TIEDibbitmap dest;
    EXPECT_EQ(IEDrawDIBToDibbitmap(b.H, &dest, nullptr, false), 24);
    EXPECT_EQ(dest.GetWidth(), 3);
}

TEST(IEDIBToIEBitmap, YUVLayouts) {
    TIEBitmap bmp;
    // YUY2: Y = 235 with neutral chroma is white, Y = 16 black; the first data row is image row 0.
    auto h = DibHeader(2, 2, 16, Code("YUY2"), 0);
    const uint8_t yuy2[8] = {235, 128, 235, 128, 16, 128, 16, 128};
    EXPECT_EQ(IEDIBToIEBitmap(h.data(), &bmp, yuy2, true), 16);
    EXPECT_EQ(bmp.GetPixelRGB(1, 0).r, 255);
    EXPECT_EQ(bmp.GetPixelRGB(0, 1).g, 0);
    auto nothing = DibHeader(2, 2, 16, Code("YUY2"), 0);
    EXPECT_EQ(IEDIBToIEBitmap(nothing.data(), &bmp, nullptr, true), 16);   // no Pixels: nothing converted

    // I420 of 2 x 3: data rows 0 and 1 share chroma row 0, row 2 has chroma row 1 of a plane
    // of one row: the last row keeps the last chroma row.
    auto p = DibHeader(2, 3, 12, Code("I420"), 0);
    const uint8_t i420[6 + 1 + 1] = {126, 126, 126, 126, 126, 126, 128, 200};   // Y..., U, V
    EXPECT_EQ(IEDIBToIEBitmap(p.data(), &bmp, i420, true), 12);
    const TIERGB top = bmp.GetPixelRGB(0, 0), bottom = bmp.GetPixelRGB(1, 2);
    EXPECT_EQ(std::memcmp(&top, &bottom, 3), 0);
    const TIERGB expect = IEYUVToRGB(126, 128, 200);
    EXPECT_EQ(std::memcmp(&top, &expect, 3), 0);
    EXPECT_GT(top.r, top.b);   // V above 128 is reddish

    // UYVY with a negative height: the first data row is the last image row.
    auto u = DibHeader(2, -2, 16, Code("UYVY"), 0);
    const uint8_t uyvy[8] = {128, 16, 128, 16, 128, 235, 128, 235};
    IEDIBToIEBitmap(u.data(), &bmp, uyvy, true);
    EXPECT_EQ(bmp.GetPixelRGB(0, 1).r, 0);
    EXPECT_EQ(bmp.GetPixelRGB(0, 0).r, 255);
}

TEST(IEYUVToRGB, StudioRange) {
    const TIERGB white = IEYUVToRGB(235, 128, 128), black = IEYUVToRGB(16, 128, 128);
    EXPECT_EQ(white.r, 255);
    EXPECT_EQ(white.b, 255);
    EXPECT_EQ(black.g, 0);
    const TIERGB clipped = IEYUVToRGB(255, 255, 0);
    EXPECT_EQ(clipped.b, 255);
}
