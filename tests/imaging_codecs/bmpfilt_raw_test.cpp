// Raw pixel import: layouts (alignment, header, planes, channel order), text samples, progress,
// and the metafile probes.
#include <gtest/gtest.h>

#include <vector>

#include "CodecTestUtil.h"
#include "bmpfilt_raw.h"

using namespace codectest;

namespace {

struct TRaw {
    int32_t align = 8, header = 0;
    uint8_t planar = 0, order = 0, format = 0;
};

void Import(const std::string& Data, TIEBitmap& B, const TRaw& L, std::vector<int32_t>* Percents = nullptr) {
    TMemoryStream s;
    Fill(s, Data);
    TCall c;
    c.Params.BMPRAWRowAlign = L.align;
    c.Params.BMPRAWHeaderSize = L.header;
    c.Params.BMPRAWPlanar = L.planar;
    c.Params.BMPRAWChannelOrder = L.order;
    c.Params.BMPRAWDataFormat = L.format;
    if (Percents) c.Progress.OnProgress = [Percents](TObject*, int32_t p) { Percents->push_back(p); };
    IEReadRawBitmapStream(s, &B, c.Params, c.Progress);
}

}  // namespace

TEST(RawImport, BinaryLayouts) {
    TIEBitmap b(3, 2, ie24RGB);
    Import("\x01\x02\x03" "abcdef" "ghijklmno", b, {});
    EXPECT_EQ(RGBBytes(b), "\x01\x02\x03" "abcdefghijklmno");
    EXPECT_EQ(b.GetPixelRGB(0, 0).b, 3);

    TRaw aligned;
    aligned.align = 32;
    aligned.header = 2;
    Import("HH" "abcdefghiXXX" "jklmnopqrYYY", b, aligned);
    EXPECT_EQ(RGBBytes(b), "abcdefghijklmnopqr");

    // 9 grey pixels, rows aligned to 64 bits: 16 bytes in the file, 12 in the row (12 read, 4 skipped).
    TIEBitmap g(9, 2, ie8g);
    TRaw wide;
    wide.align = 64;
    Import("ABCDEFGHIJKLmnop" "QRSTUVWXYZ01qrst", g, wide);
    EXPECT_EQ(g.GetPixelByte(8, 0), 'I');
    EXPECT_EQ(g.GetPixelByte(0, 1), 'Q');

    TIEBitmap w(2, 1, ieRGB48);
    TRaw blueFirst;
    blueFirst.order = 1;
    Import(std::string("\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00", 12), w, blueFirst);
    uint16_t r, gg, bl;
    w.GetPixelRGB48(0, 0, r, gg, bl);
    EXPECT_EQ(r, 3);   // blue-first data turned red first
    EXPECT_EQ(bl, 1);
    Import(std::string("\x01\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x00", 12), w, {});
    w.GetPixelRGB48(1, 0, r, gg, bl);
    EXPECT_EQ(r, 4);   // red-first data kept
}

TEST(RawImport, PlanesAndChannelOrder) {
    TIEBitmap b(2, 1, ie24RGB);
    TRaw planes;
    planes.planar = 1;
    std::vector<int32_t> percents;
    Import("RrGgBb", b, planes, &percents);
    EXPECT_EQ(RGBBytes(b), "RGBrgb");
    EXPECT_EQ(percents, (std::vector<int32_t>{0, 33, 66, 100}));
    planes.order = 1;   // the first plane is blue
    Import("BbGgRr", b, planes);
    EXPECT_EQ(RGBBytes(b), "RGBrgb");

    // Planar value 2 reads nothing, but channel order 0 still exchanges red and blue.
    TRaw none;
    none.planar = 2;
    Import("xxxxxx", b, none);
    EXPECT_EQ(RGBBytes(b), "BGRbgr");
}

TEST(RawImport, TextSamples) {
    TIEBitmap g(3, 1, ie8g);
    TRaw dec;
    dec.format = 1;
    Import("12 300,7", g, dec);
    EXPECT_EQ(g.GetPixelByte(0, 0), 12);
    EXPECT_EQ(g.GetPixelByte(1, 0), 44);
    EXPECT_EQ(g.GetPixelByte(2, 0), 7);
    Import("0.5", g, dec);   // no decimal point: two numbers, and the text ends
    EXPECT_EQ(g.GetPixelByte(0, 0), 0);
    EXPECT_EQ(g.GetPixelByte(1, 0), 5);
    EXPECT_EQ(g.GetPixelByte(2, 0), 0);

    TRaw hex;
    hex.format = 2;
    Import("ff FF 1A0", g, hex);   // lower case separates
    EXPECT_EQ(g.GetPixelByte(0, 0), 255);
    EXPECT_EQ(g.GetPixelByte(1, 0), 0xA0);

    TIEBitmap bits(10, 1, ie1g);
    Import("1 0 1 0 0 0 0 0 0 7", bits, dec);
    EXPECT_EQ(bits.GetScanline(0)[0], 0xA0);
    EXPECT_EQ(bits.GetScanline(0)[1], 0x40);

    TIEBitmap f(1, 1, ie32f);
    EXPECT_THROW(Import("1", f, hex), Exception);
    Import("25", f, dec);
    EXPECT_EQ(f.GetPixelFloat(0, 0), 25.0f);
}

TEST(RawImport, ProgressOncePerPercentage) {
    TIEBitmap g(1, 4, ie8g);
    std::vector<int32_t> percents;
    Import("abcd", g, {}, &percents);
    EXPECT_EQ(percents, (std::vector<int32_t>{0, 25, 50, 75}));
}

TEST(MetafileProbes, EMFAndWMF) {
    std::string emf(100, '\0');
    emf[0] = 1;
    emf.replace(40, 4, " EMF");
    std::string wmf("\x01\x00\x09\x00\x00\x03", 6);
    wmf += std::string(12, '\0') + std::string(4, '\0');
    std::string placeable = std::string("\xd7\xcd\xc6\x9a", 4) + std::string(18, '\0') + wmf;
    std::string type2 = wmf;
    type2[0] = 2;
    struct {
        std::string data;
        bool emf, wmf;
    } cases[] = {{emf, true, false}, {wmf, false, true}, {placeable, false, true}, {type2, false, false},
                 {emf.substr(0, 60), false, false}, {"", false, false}};
    for (const auto& c : cases) {
        TMemoryStream s;
        Fill(s, c.data);
        EXPECT_EQ(IEIsEMF(s), c.emf);
        EXPECT_EQ(IEIsWMF(s), c.wmf);
        EXPECT_EQ(s.GetPosition(), 0);
    }
}
