// The JPEG 2000 glue: probes, option text, colour tables, and images through OpenJPEG and back
// (grey, colour, 1-bit, opacity, rates and progression orders). Pixels against OpenJPEG's own
// tools are in tests/native/codecs_j2k_dicom_tools_test.cpp.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "iej2000.h"

using namespace codectest;

namespace {

void Gradient(TIEBitmap& B, int32_t W, int32_t H) {
    B.Allocate(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) B.SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 7), (uint8_t)(y * 13), (uint8_t)(x * y)});
}

std::string Write(TIEBitmap& B, TCall& C, int32_t Format) {
    TMemoryStream s;
    IEWriteJ2000Stream(&s, &B, C.Params, C.Progress, Format);
    return Contents(s);
}

bool Read(const std::string& Bytes, TIEBitmap& B, TCall& C, bool ParamsOnly = false) {
    TMemoryStream s;
    Fill(s, Bytes);
    IEReadJ2000Stream(&s, &B, C.Params, C.Progress, ParamsOnly);
    return !C.Aborting;
}

}  // namespace

TEST(J2000, ProbesLookAtTheSignaturesAndRestoreThePosition) {
    IEInitializeJ2000();
    TIEBitmap b;
    Gradient(b, 9, 5);
    TCall w0, w1;
    const std::string jp2 = Write(b, w0, 0), j2k = Write(b, w1, 1);
    ASSERT_FALSE(w0.Aborting);
    ASSERT_FALSE(w1.Aborting);
    struct Case {
        std::string Bytes;
        bool JP2, J2K;
    } cases[] = {{jp2, true, false}, {j2k, false, true}, {"\xFF\x4F\xFF\x51", false, true}, {"\xFF\x4F\xFF", false, false},
                 {std::string("\0\0\0\x0CjP  \r\n\x87", 11), false, false}, {"", false, false}};
    for (const Case& c : cases) {
        TMemoryStream s;
        s.Write("xy", 2);
        s.Write(c.Bytes.data(), (int32_t)c.Bytes.size());
        s.SetPosition(2);
        EXPECT_EQ(IEIsJP2(&s), c.JP2);
        EXPECT_EQ(IEIsJ2K(&s), c.J2K);
        EXPECT_EQ(s.GetPosition(), 2);
    }
}

TEST(J2000, OptionTextHasADecimalPointInEveryLocale) {
    TIOParamsVals p(nullptr);
    p.J2000Rate = 0.5;
    EXPECT_EQ(IEJ2000EncoderOptions(p), "rate=0.5 prg=lrcp");
    p.J2000ScalableBy = 1;
    p.J2000Rate = 1;
    EXPECT_EQ(IEJ2000EncoderOptions(p), "rate=1 prg=rlcp");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "German")) {
        p.J2000Rate = 0.25;
        EXPECT_EQ(IEJ2000EncoderOptions(p), "rate=0.25 prg=rlcp");
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(J2000, YCbCrTablesFollowTheRec601Factors) {
    IEInitializeJ2000();
    const TIEJ2000YCbCrTables& t = IEJ2000YCbCr();
    EXPECT_EQ(t.CrToRed[128], 0);
    EXPECT_EQ(t.CrToRed[255], 178);    // Round(1.402 x 127)
    EXPECT_EQ(t.CbToBlue[0], -227);    // Round(1.772 x -128)
    EXPECT_EQ(t.CrToGreen[255], -91);  // -Round(0.714136 x 127)
    EXPECT_EQ(t.CbToGreen[0], 44);     // -Round(0.344136 x -128)
}

TEST(J2000, LosslessRoundTripsInBothForms) {
    TIEBitmap b;
    Gradient(b, 37, 23);
    for (int32_t format : {0, 1})
        for (uint8_t order : {0, 1}) {
            TCall w;
            w.Params.J2000ScalableBy = order;
            const std::string bytes = Write(b, w, format);
            ASSERT_FALSE(w.Aborting);
            TCall r;
            TIEBitmap back;
            ASSERT_TRUE(Read(bytes, back, r));
            EXPECT_EQ(back.GetPixelFormat(), ie24RGB);
            EXPECT_EQ(r.Params.Width, 37);
            EXPECT_EQ(r.Params.OriginalHeight, 23);
            EXPECT_EQ(r.Params.SamplesPerPixel, 3);
            EXPECT_EQ(r.Params.BitsPerSample, 8);
            EXPECT_EQ(r.Params.ImageCount, 1);
            EXPECT_EQ(RGBBytes(back), RGBBytes(b)) << "format " << format << " order " << (int)order;
        }
}

TEST(J2000, GreyOneBitAndPrecisions) {
    TIEBitmap b;
    Gradient(b, 16, 8);
    {   // grey from colour with the library's weights, 8 bits
        TCall w, r;
        w.Params.J2000ColorSpace = 0;
        TIEBitmap back;
        ASSERT_TRUE(Read(Write(b, w, 1), back, r));
        EXPECT_EQ(r.Params.SamplesPerPixel, 1);
        for (int32_t x = 0; x < 16; ++x) {
            const TIERGB c = b.GetPixelRGB(x, 5);
            const uint8_t g = (uint8_t)((c.r * IEGrayRedWeight + c.g * IEGrayGreenWeight + c.b * IEGrayBlueWeight) / 100);
            EXPECT_EQ(back.GetPixelRGB(x, 5).g, g);
        }
    }
    {   // 4 bits: the samples come back shifted up
        TCall w, r;
        w.Params.J2000ColorSpace = 1;
        w.Params.BitsPerSample = 4;
        TIEBitmap back;
        ASSERT_TRUE(Read(Write(b, w, 0), back, r));
        EXPECT_EQ(r.Params.BitsPerSample, 4);
        const TIERGB c = b.GetPixelRGB(15, 7), d = back.GetPixelRGB(15, 7);
        EXPECT_EQ(d.r, (uint8_t)((int)(c.r / 255.0 * 15) << 4));
    }
    {   // 1-bit images stay 1-bit
        TIEBitmap bw(13, 3, ie1g);
        bw.Fill(0);
        for (int32_t x = 0; x < 13; x += 3) bw.GetScanline(1)[x / 8] |= (uint8_t)(0x80 >> (x % 8));
        TCall w, r;
        TIEBitmap back;
        ASSERT_TRUE(Read(Write(bw, w, 1), back, r));
        EXPECT_EQ(w.Params.BitsPerSample, 1);
        EXPECT_EQ(back.GetPixelFormat(), ie1g);
        EXPECT_EQ(RGBBytes(back), RGBBytes(bw));
    }
}

TEST(J2000, PartlyTransparentImagesCarryAFourthComponent) {
    TIEBitmap b;
    Gradient(b, 8, 4);
    TCall w;
    const size_t opaque = Write(b, w, 1).size();
    b.GetAlphaChannel()->Fill(255);
    TCall w2;
    EXPECT_EQ(Write(b, w2, 1).size(), opaque);   // a fully opaque channel is left out
    b.GetAlphaChannel()->SetPixelByte(3, 2, 10);
    for (int32_t form : {0, 1}) {
        SCOPED_TRACE(form);
        TCall w3, r;
        const std::string four = Write(b, w3, form);
        EXPECT_GT(four.size(), opaque);
        TIEBitmap back;
        ASSERT_TRUE(Read(four, back, r));
        EXPECT_EQ(RGBBytes(back), RGBBytes(b));
        // The fourth component comes back as the alpha channel (in a bare code stream too).
        ASSERT_TRUE(back.HasAlphaChannel());
        EXPECT_EQ(back.GetAlphaChannel()->GetScanline(2)[3], 10);
        EXPECT_EQ(back.GetAlphaChannel()->GetScanline(0)[0], 255);
    }
}

TEST(J2000, LowRatesShrinkTheStream) {
    TIEBitmap b;
    Gradient(b, 64, 64);
    TCall lossless, half;
    half.Params.J2000Rate = 0.1;
    const std::string big = Write(b, lossless, 1), small = Write(b, half, 1);
    EXPECT_LT(small.size(), big.size());
    TCall r;
    TIEBitmap back;
    EXPECT_TRUE(Read(small, back, r));
}

TEST(J2000, BadInputAborts) {
    TIEBitmap b;
    Gradient(b, 20, 20);
    TCall w;
    const std::string good = Write(b, w, 1);
    const std::string inputs[] = {"", "GIF89a", good.substr(0, 40), std::string("\xFF\x4F\xFF\x51\0\0", 6)};
    for (const std::string& in : inputs) {
        TCall r;
        TIEBitmap back;
        EXPECT_FALSE(Read(in, back, r)) << in.size();
    }
    TCall header;
    TIEBitmap none;
    EXPECT_TRUE(Read(good, none, header, true));   // the header alone is enough for the parameters
    EXPECT_EQ(header.Params.Width, 20);
    EXPECT_TRUE(none.IsEmpty());
    TCall refused;
    refused.Params.J2000ColorSpace = 3;
    Write(b, refused, 1);
    EXPECT_TRUE(refused.Aborting);
}
