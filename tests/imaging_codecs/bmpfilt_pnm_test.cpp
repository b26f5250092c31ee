// The PNM and WBMP codecs on hand-made files: header tokens and probe, scaling of odd maxima,
// refused headers, comments, 16-bit samples and the WBMP round trip.
#include <gtest/gtest.h>

#include <cstring>

#include "CodecTestUtil.h"
#include "bmpfilt_pnm.h"
#include "codecs_common.h"

using namespace codectest;

namespace {

std::string ReadPNM(const std::string& File, TCall& C, TIEBitmap& B) {
    TMemoryStream s;
    Fill(s, File);
    IEReadPNMStream(s, &B, C.Params, C.Progress, false);
    return C.Aborting ? std::string("aborted") : RGBBytes(B);
}

}  // namespace

TEST(PNMToken, CommentsLettersAndEnd) {
    TMemoryStream s;
    Fill(s, "  P6 #  a comment \t\r\n12\t\tx9#7");
    std::string t;
    std::vector<std::string> got;
    for (IEReadPNMToken(s, t); !t.empty(); IEReadPNMToken(s, t)) got.push_back(t);
    EXPECT_EQ(got, (std::vector<std::string>{"P6", "#a comment", "12", "x9", "7"}));
}

TEST(PNMProbe, MagicAndSizes) {
    struct {
        const char* file;
        bool pnm;
    } cases[] = {
        {"P1 1 1 0", true},          {"P6\n# c\n3 2 255\n", true}, {"P7 1 1", false}, {"P0 1 1", false},
        {"P5 0 1 255", false},       {"P5 1 x 255", false},        {"P3 2", false},   {"", false},
        {"# only\n# comments\n", false}, {"P5 -1 1 255", false},
    };
    for (const auto& c : cases) {
        TMemoryStream s;
        Fill(s, c.file);
        EXPECT_EQ(IEIsPNM(s), c.pnm) << c.file;
        EXPECT_EQ(s.GetPosition(), 0);
    }
}

TEST(PNMRead, SamplesScaledFromOddMaxima) {
    // P5 and P6 below 255 are both scaled (a P6 of maximum 15 is no longer left dark).
    struct {
        std::string file;
        std::string rgb;
    } cases[] = {
        {std::string("P5 2 1 15\n\x0f\x00", 12), std::string("\xff\xff\xff\x00\x00\x00", 6)},
        {std::string("P6 1 1 15\n\x0f\x07\x00", 13), std::string("\xff\x77\x00", 3)},
        {"P2 3 1 4\n0 2 4", std::string("\x00\x00\x00\x7f\x7f\x7f\xff\xff\xff", 9)},
        {"P3 1 1 1000\n1000 500 9999", std::string("\xff\x7f\xff", 3)},   // above the maximum: full
        {"P1 3 1\n010", std::string("\xff\xff\xff\x00\x00\x00\xff\xff\xff", 9)},   // digits without separators
        {std::string("P4 3 1\n\x40", 8), std::string("\xff\xff\xff\x00\x00\x00\xff\xff\xff", 9)},
        {std::string("P5 1 2 1000\n\x03\xe8\x01\xf4", 16), std::string("\xff\xff\xff\x7f\x7f\x7f", 6)},
    };
    for (const auto& c : cases) {
        TCall call;
        TIEBitmap b;
        EXPECT_EQ(ReadPNM(c.file, call, b), c.rgb) << c.file;
    }
}

TEST(PNMRead, RefusedHeaders) {
    // A maximum of 0 would divide by zero; above 65535 no sample fits in two bytes.
    // A minus sign belongs to its number: a size or maximum of -1 is not read as 1.
    for (const char* file : {"P5 2 2 0\nabcd", "P2 1 1 0 0", "P6 1 1 65536\n", "P5 0 1 255\n", "P5 1 x1 255",
                             "P9 1 1 255\n", "P5 1 1\n", "P6 a 1 255", "P5 1 1 -1\n\x01", "P5 -1 1 255\n\x01",
                             "P4 1 -1\n\x01", "P2 1 1 -255 7"}) {
        TCall call;
        TIEBitmap b;
        EXPECT_EQ(ReadPNM(file, call, b), "aborted") << file;
    }
}

TEST(PNMRead, SixteenBitSamplesNativeAndReduced) {
    const std::string file("P6 1 1 4095\n\x0f\xff\x08\x00\x00\x01", 18);
    TCall native;
    native.Params.NativePixelFormat = true;
    TIEBitmap b;
    ReadPNM(file, native, b);
    ASSERT_EQ(b.GetPixelFormat(), ieRGB48);
    uint16_t r, g, bl;
    b.GetPixelRGB48(0, 0, r, g, bl);
    EXPECT_EQ(r, 65535);
    EXPECT_EQ(g, 2048u * 65535 / 4095);
    EXPECT_EQ(bl, 65535 / 4095);
    EXPECT_EQ(native.Params.BitsPerSample, 16);
    EXPECT_EQ(native.Params.SamplesPerPixel, 3);

    TCall reduced;
    TIEBitmap c;
    EXPECT_EQ(ReadPNM(file, reduced, c), std::string("\xff\x7f\x00", 3));
    EXPECT_EQ(c.GetPixelFormat(), ie24RGB);

    TCall grey;
    grey.Params.NativePixelFormat = true;
    TIEBitmap d;
    ReadPNM(std::string("P5 1 1 1023\n\x02\x00", 14), grey, d);
    ASSERT_EQ(d.GetPixelFormat(), ie16g);
    EXPECT_EQ(d.GetPixelWord(0, 0), 512u * 65535 / 1023);
}

TEST(PNMRead, ShortDataKeepsTheHeaderAndIsRefused) {
    // The file cannot hold the samples its header declares: refused before anything is allocated
    // (a few bytes must not make a bitmap of any size), the header's values kept.
    TCall call;
    TIEBitmap b;
    ReadPNM("P6 100 100 255\nabc", call, b);
    EXPECT_TRUE(call.Aborting);
    EXPECT_EQ(b.GetWidth(), 0);
    EXPECT_EQ(call.Params.Width, 100);
}

TEST(PNMWrite, CommentsHeadersAndRoundTrip) {
    TCall load;
    TIEBitmap b;
    ReadPNM("P3\n#  made here  \n2 1 255\n1 2 3 250 251 252", load, b);
    ASSERT_EQ(load.Params.PXMComments->GetCount(), 1);
    EXPECT_EQ(load.Params.PXMComments->GetStrings(0), L"made here");

    struct {
        int32_t bps, spp;
        TIEPixelFormat format;
        std::string header;
    } cases[] = {
        {8, 3, ie24RGB, "P6 \n# made here\n2 1 255\n"},
        {16, 3, ie24RGB, "P6 \n# made here\n2 1 65535\n"},
        {8, 1, ie24RGB, "P5 \n# made here\n2 1 255\n"},
    };
    for (const auto& c : cases) {
        load.Params.BitsPerSample = c.bps;
        load.Params.SamplesPerPixel = c.spp;
        TMemoryStream out;
        TCall save;
        IEWritePNMStream(out, &b, load.Params, save.Progress);
        const std::string written = Contents(out);
        EXPECT_EQ(written.substr(0, c.header.size()), c.header);
        TCall back;
        back.Params.NativePixelFormat = false;
        TIEBitmap again;
        const std::string rgb = ReadPNM(written, back, again);
        if (c.spp == 3) {
            EXPECT_EQ(rgb, RGBBytes(b)) << c.header;
        } else {
            EXPECT_EQ((uint8_t)rgb[0], IEGreyOf(1, 2, 3));
            EXPECT_EQ(written.size(), c.header.size() + 2);
        }
    }
}

TEST(PNMWrite, OneBitAsP4) {
    TIEBitmap b(10, 2, ie1g);
    b.Fill(0);
    b.GetScanline(0)[0] = 0x80;   // top-left white
    TCall c;
    c.Params.BitsPerSample = 1;
    c.Params.SamplesPerPixel = 1;
    TMemoryStream out;
    IEWritePNMStream(out, &b, c.Params, c.Progress);
    const std::string w = Contents(out);
    EXPECT_EQ(w.substr(0, 10), "P4 10 2\n\x7f\xff");
}

// The kind of file the parameters ask for is written whatever the image's format: P4 from colour
// and grey (thresholded), P5 from 48-bit colour and grey, P6 from grey and paletted images.
TEST(PNMWrite, OtherFormatsAreConverted) {
    struct {
        TIEPixelFormat format;
        int32_t bps, spp;
        std::string header;
        std::string rgb;   // of the file read back
    } cases[] = {
        {ie24RGB, 1, 1, "P4 2 1\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ie8g, 1, 1, "P4 2 1\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ieRGB48, 1, 1, "P4 2 1\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ieRGB48, 8, 1, "P5 2 1 255\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ie8g, 8, 1, "P5 2 1 255\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ie8g, 8, 3, "P6 2 1 255\n", std::string("\xff\xff\xff\0\0\0", 6)},
        {ie8p, 16, 1, "P6 2 1 255\n", std::string("\xff\xff\xff\0\0\0", 6)},
    };
    for (const auto& c : cases) {
        // A white pixel, then a black one.
        TIEBitmap b(2, 1, c.format);
        uint8_t* row = b.GetScanline(0);
        std::memset(row, 0, (size_t)b.GetRowLen());
        if (c.format == ieRGB48) {
            b.SetPixelRGB48(0, 0, 65535, 65535, 65535);
        } else if (c.format == ie8p) {
            b.SetPaletteEntry(1, TIERGB{255, 255, 255});
            b.SetPaletteEntry(0, TIERGB{0, 0, 0});
            row[0] = 1;
        } else {
            std::memset(row, 255, c.format == ie24RGB ? 3 : 1);
        }
        TCall save;
        save.Params.BitsPerSample = c.bps;
        save.Params.SamplesPerPixel = c.spp;
        TMemoryStream out;
        IEWritePNMStream(out, &b, save.Params, save.Progress);
        EXPECT_FALSE(save.Aborting) << c.format;
        const std::string written = Contents(out);
        EXPECT_EQ(written.substr(0, c.header.size()), c.header) << c.format;
        TCall back;
        TIEBitmap again;
        EXPECT_EQ(ReadPNM(written, back, again), c.rgb) << c.format;
        EXPECT_EQ(b.GetPixelFormat(), c.format);   // the caller's image is left as it was
    }
}

TEST(WBMP, RoundTripAndHeader) {
    TIEBitmap b(200, 100, ie1g);
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 25; ++x) b.GetScanline(y)[x] = (uint8_t)(x * 7 + y * 13);
    TMemoryStream out;
    TCall save;
    IEWriteWBMPStream(out, &b, save.Progress);
    const std::string w = Contents(out);
    // 200 takes two bytes of the multi-byte form.
    EXPECT_EQ(w.substr(0, 5), std::string("\x00\x00\x81\x48\x64", 5));
    EXPECT_EQ(w.size(), 5u + 25 * 100);
    TCall load;
    TIEBitmap again;
    out.SetPosition(0);
    IEReadWBMPStream(out, &again, load.Params, load.Progress, false);
    EXPECT_FALSE(load.Aborting);
    EXPECT_TRUE(RGBBytes(again) == RGBBytes(b));
    EXPECT_EQ(load.Params.BitsPerSample, 1);
}

TEST(WBMP, LargeSizesInTheMultiByteFormAndColourThresholded) {
    TIEBitmap b(255, 50, ie24RGB);
    b.Fill(0);
    b.SetPixelRGB(0, 0, TIERGB{255, 255, 255});
    TMemoryStream out;
    TCall save;
    IEWriteWBMPStream(out, &b, save.Progress);
    const std::string w = Contents(out);
    EXPECT_EQ(w.substr(0, 6), std::string("\x00\x00\x81\x7f\x32\x80", 6));   // 255 x 50, first pixel white
    EXPECT_EQ(w.size(), 5u + 32 * 50);
}

TEST(WBMP, HeaderFieldsAndRefusals) {
    TMemoryStream s;
    Fill(s, std::string("\x81\x00\x7f\x8f\xff\xff\xff\x7f", 8));
    EXPECT_EQ(IEReadWBMPInteger(s), 128);
    EXPECT_EQ(IEReadWBMPInteger(s), 127);
    EXPECT_EQ(IEReadWBMPInteger(s), 0x1FFFFFF);
    for (const auto& file : {std::string("\x01\x00\x02\x02", 4), std::string("\x00\x01\x02\x02", 4),
                             std::string("\x00\x00\x00\x02", 4), std::string("\x00\x00", 2)}) {
        TMemoryStream f;
        Fill(f, file);
        TCall c;
        TIEBitmap b;
        IEReadWBMPStream(f, &b, c.Params, c.Progress, false);
        EXPECT_TRUE(c.Aborting);
    }
}
