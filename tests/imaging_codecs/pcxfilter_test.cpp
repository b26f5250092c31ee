// The PCX and DCX codecs on hand-made files: runs carried across lines and planes, a bytes-per-line
// smaller than the width, the run-length encoder's edges, stored lines, odd widths, and the DCX
// page table for reading and inserting pages.
#include <gtest/gtest.h>

#include <cstring>

#include "CodecTestUtil.h"
#include "pcxfilter.h"

using namespace codectest;

namespace {

// A 128-byte header of a W x H image.
std::string Header(int32_t W, int32_t H, uint8_t Bits, uint8_t Planes, int32_t BytesPerLine, uint8_t Encoding = 1) {
    std::string h(128, '\0');
    h[0] = 10;
    h[1] = 5;
    h[2] = (char)Encoding;
    h[3] = (char)Bits;
    h[8] = (char)(W - 1);
    h[9] = (char)((W - 1) >> 8);
    h[10] = (char)(H - 1);
    h[11] = (char)((H - 1) >> 8);
    h[65] = (char)Planes;
    h[66] = (char)BytesPerLine;
    h[67] = (char)(BytesPerLine >> 8);
    return h;
}

std::string Read(const std::string& File, TCall& C, TIEBitmap& B) {
    TMemoryStream s;
    Fill(s, File);
    IEReadPCXStream(s, &B, C.Params, (int32_t)File.size(), C.Progress, false);
    return C.Aborting ? std::string("aborted") : RGBBytes(B);
}

std::string Write(TIEBitmap& B, int32_t Bits, int32_t Samples, uint8_t Compression = 1) {
    TCall c;
    c.Params.BitsPerSample = Bits;
    c.Params.SamplesPerPixel = Samples;
    c.Params.PCXCompression = Compression;
    TMemoryStream s;
    IEWritePCXStream(s, &B, c.Params, c.Progress);
    return Contents(s);
}

}  // namespace

TEST(PCXRead, RunCarriedIntoTheNextPlaneAndRow) {
    // 3 x 2, 24 bits, 4 bytes per line: the first run of 5 ends the red line (4 bytes) and gives
    // the green line its first byte.
    std::string data = "\xc5\x10" "\x20\x21\x22" "\x30\x31\x32\x33";
    data += "\xcc\x40";   // every line of row 2 is 0x40
    TCall c;
    TIEBitmap b;
    const std::string rgb = Read(Header(3, 2, 8, 3, 4) + data, c, b);
    EXPECT_EQ(rgb.substr(0, 9), "\x10\x10\x30\x10\x20\x31\x10\x21\x32");
    EXPECT_EQ(rgb.substr(9), std::string(9, '\x40'));
}

TEST(PCXRead, BytesPerLineSmallerThanTheWidthStaysInsideTheBuffer) {
    // The header says 2 bytes per line for a 40-pixel 8-bit image: rows get two pixels of data
    // and the rest index 0, with nothing read or written past the line.
    std::string file = Header(40, 2, 8, 1, 2) + "\x01\x02\x03\x04";
    std::string pal(768, '\0');
    pal[3] = 9, pal[6] = 7;
    file += std::string("\x0c", 1) + pal;
    TCall c;
    TIEBitmap b;
    const std::string rgb = Read(file, c, b);
    ASSERT_NE(rgb, "aborted");
    EXPECT_EQ(rgb.substr(0, 9), std::string("\x09\x00\x00\x07\x00\x00\x00\x00\x00", 9));
    EXPECT_EQ(b.GetPixelRGB(39, 1).r, 0);
}

TEST(PCXRead, FourBitOddWidthFourPlanesAndOneBit) {
    std::string h4 = Header(3, 1, 4, 1, 2);
    for (int i = 0; i < 16; ++i) h4[16 + 3 * i] = (char)(i * 16);   // red = index x 16
    TCall c4;
    TIEBitmap b4;
    EXPECT_EQ(Read(h4 + "\x12\x30", c4, b4), std::string("\x10\0\0\x20\0\0\x30\0\0", 9));
    EXPECT_EQ(c4.Params.ColorMapCount, 16);

    // Four bit planes: pixel 0 has bits 0 and 3 (index 9), pixel 1 bit 1 (index 2).
    std::string hp = Header(2, 1, 1, 4, 2);
    for (int i = 0; i < 16; ++i) hp[16 + 3 * i + 1] = (char)i;   // green = index
    TCall cp;
    TIEBitmap bp;
    const std::string rgb = Read(hp + std::string("\x80\0\x40\0\0\0\x80\0", 8), cp, bp);
    EXPECT_EQ(rgb, std::string("\0\x09\0\0\x02\0", 6));
    EXPECT_EQ(cp.Params.BitsPerSample, 4);
    EXPECT_EQ(cp.Params.SamplesPerPixel, 1);

    TCall c1;
    TIEBitmap b1;
    Read(Header(9, 1, 1, 1, 2, 0) + "\xa0\x80", c1, b1);
    EXPECT_EQ(b1.GetPixelFormat(), ie1g);
    EXPECT_EQ(b1.GetScanline(0)[0], 0xa0);
    EXPECT_EQ(b1.GetScanline(0)[1] & 0x80, 0x80);
}

TEST(PCXRead, RefusedAndTruncated) {
    std::string bad = Header(2, 2, 8, 3, 2);
    bad[0] = 11;
    std::string deep = Header(2, 2, 16, 1, 4);
    std::string enc = Header(2, 2, 8, 3, 2, 2);
    std::string inverted = Header(2, 2, 8, 3, 2);
    inverted[4] = 9;   // Xmin beyond Xmax
    for (const auto& f : {bad, deep, enc, inverted, std::string("\x0a\x05\x01", 3), Header(4, 4, 8, 1, 4)}) {
        TCall c;
        TIEBitmap b;
        EXPECT_EQ(Read(f, c, b), "aborted");
    }
    // Data that ends inside the image: the rest is 0, nothing read past the block.
    TCall c;
    TIEBitmap b;
    EXPECT_EQ(Read(Header(2, 2, 8, 3, 2) + "\xc9\x05", c, b), std::string("\5\5\5\5\5\5\5\5\0\5\0\0", 12));
}

TEST(PCXWrite, RunLengthEdges) {
    struct {
        std::vector<uint8_t> samples;
        std::string encoded;
    } cases[] = {
        {{200, 1}, std::string("\xc1\xc8\x01", 3)},
        {{7, 7, 7, 9}, std::string("\xc3\x07\x09", 3)},
        {std::vector<uint8_t>(70, 5), std::string("\xff\x05\xc7\x05", 4)},
    };
    for (const auto& c : cases) {
        const int32_t w = (int32_t)c.samples.size();
        TIEBitmap b(w, 1, ie24RGB);
        for (int32_t x = 0; x < w; ++x) b.SetPixelRGB(x, 0, TIERGB{0, 0, c.samples[(size_t)x]});
        const std::string f = Write(b, 8, 3);
        // The red plane comes first; green and blue are runs of 0.
        EXPECT_EQ(f.substr(128, c.encoded.size()), c.encoded) << w;
        TCall back;
        TIEBitmap again;
        EXPECT_EQ(Read(f, back, again), RGBBytes(b));
    }
}

TEST(PCXWrite, OddWidthPadsAndStoredLines) {
    TIEBitmap b(3, 2, ie24RGB);
    b.Fill(0);
    b.SetPixelRGB(1, 1, TIERGB{1, 2, 3});
    const std::string encoded = Write(b, 8, 1);
    EXPECT_EQ((uint8_t)encoded[66], 4);      // 8 bits, 3 pixels: 4 bytes per line
    EXPECT_EQ(encoded.substr(128, 3), std::string("\xc3\x00\x00", 3));   // a run of 3, then the pad byte
    EXPECT_EQ((uint8_t)encoded[encoded.size() - 769], 12);
    TCall c;
    TIEBitmap again;
    EXPECT_EQ(Read(encoded, c, again), RGBBytes(b));

    const std::string stored = Write(b, 8, 3, 0);
    EXPECT_EQ(stored[2], 0);
    EXPECT_EQ(stored.size(), 128u + 2 * 3 * 4);
    TCall s;
    TIEBitmap again2;
    EXPECT_EQ(Read(stored, s, again2), RGBBytes(b));
}

TEST(PCXWrite, IndexedDepthsKeepFewColoursExactly) {
    TIEBitmap b(5, 3, ie24RGB);
    const TIERGB colours[3] = {{10, 20, 30}, {200, 100, 0}, {255, 255, 255}};
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) b.SetPixelRGB(x, y, colours[(x + y) % 3]);
    for (int32_t bits : {4, 8}) {
        TCall c;
        TIEBitmap again;
        EXPECT_EQ(Read(Write(b, bits, 1), c, again), RGBBytes(b)) << bits;
    }
    // Two colours as 1 bit: the header's two entries carry them.
    TIEBitmap two(9, 2, ie24RGB);
    two.Fill(0);
    two.SetPixelRGB(8, 1, TIERGB{0, 0, 200});
    const std::string f = Write(two, 1, 1);
    EXPECT_EQ(f.substr(16, 6), std::string("\0\0\0\xc8\0\0", 6));
    TCall c;
    TIEBitmap again;
    Read(f, c, again);
    EXPECT_EQ(again.GetPixelFormat(), ie1g);
    EXPECT_EQ(c.Params.ColorMap[1].r, 200);
}

TEST(DCX, ProbeReadAndInsert) {
    TIEBitmap red(2, 1, ie24RGB), green(2, 1, ie24RGB), blue(2, 1, ie24RGB);
    red.Fill(0), green.Fill(0), blue.Fill(0);
    red.SetPixelRGB(0, 0, TIERGB{0, 0, 255});
    green.SetPixelRGB(0, 0, TIERGB{0, 255, 0});
    blue.SetPixelRGB(0, 0, TIERGB{255, 0, 0});

    TMemoryStream s;
    TCall w;
    w.Params.DCXImageIndex = 0;
    IEWriteDCXStream(s, &red, w.Params, w.Progress);
    const std::string first = Contents(s);
    EXPECT_EQ(first.substr(0, 12), std::string("\xb1\x68\xde\x3a\x0c\0\0\0\0\0\0\0", 12));
    s.SetPosition(0);
    EXPECT_TRUE(IEIsDCX(s));

    w.Params.DCXImageIndex = 1;   // append
    IEWriteDCXStream(s, &blue, w.Params, w.Progress);
    w.Params.DCXImageIndex = 1;   // insert before the blue page
    IEWriteDCXStream(s, &green, w.Params, w.Progress);
    w.Params.DCXImageIndex = 5;   // beyond the count: nothing added
    IEWriteDCXStream(s, &green, w.Params, w.Progress);
    EXPECT_FALSE(w.Aborting);
    // A page of a depth the writer refuses leaves the container unchanged.
    const std::string before = Contents(s);
    TCall refused;
    refused.Params.BitsPerSample = 2;
    refused.Params.SamplesPerPixel = 1;
    IEWriteDCXStream(s, &green, refused.Params, refused.Progress);
    EXPECT_TRUE(refused.Aborting);
    EXPECT_TRUE(Contents(s) == before);

    TIEBitmap* expected[3] = {&red, &green, &blue};
    for (int32_t index : {-3, 0, 1, 2, 9}) {
        TCall r;
        r.Params.DCXImageIndex = index;
        TIEBitmap b;
        s.SetPosition(0);
        IEReadDCXStream(s, &b, r.Params, r.Progress, false);
        ASSERT_FALSE(r.Aborting);
        EXPECT_EQ(r.Params.ImageCount, 3);
        EXPECT_EQ(RGBBytes(b), RGBBytes(*expected[index < 0 ? 0 : index > 2 ? 2 : index])) << index;
    }
}

TEST(DCX, ProbeRefusesOffsetsPastTheEnd) {
    struct {
        std::string file;
        bool dcx;
    } cases[] = {
        {std::string("\xb1\x68\xde\x3a\x0c\0\0\0\0\0\0\0", 12) + Header(1, 1, 8, 3, 2) + "\xc6", true},
        {std::string("\xb1\x68\xde\x3a\x00\x10\0\0\0\0\0\0", 12), false},
        {std::string("\xb1\x68\xde\x3b\0\0\0\0", 8), false},
        {std::string("\xb1\x68\xde\x3a\0\0\0\0", 8), true},   // an empty table: nothing to read
    };
    for (const auto& c : cases) {
        TMemoryStream s;
        Fill(s, c.file);
        EXPECT_EQ(IEIsDCX(s), c.dcx);
        TCall r;
        TIEBitmap b;
        IEReadDCXStream(s, &b, r.Params, r.Progress, false);
        EXPECT_EQ((bool)r.Aborting, c.file.size() < 20);
        TCall w;
        IEWriteDCXStream(s, &b, w.Params, w.Progress);
        if (!c.dcx) EXPECT_TRUE(w.Aborting);
    }
}
