// ICC transforms through the system's colour-management module (Wine's is built on lcms2, so the
// references below, made with lcms2, hold within a small tolerance; Windows' engine differs more).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "iebitmap.h"
#include "iecoreutils_icc.h"

namespace {

std::string Ghostscript(const wchar_t* Name) {
    return testsupport::ReadFileBytes(std::wstring(L"Z:\\usr\\share\\color\\icc\\ghostscript\\") + Name);
}

void Load(TIEICC& Icc, const std::string& Bytes) { Icc.LoadFromBuffer(Bytes.data(), (int32_t)Bytes.size()); }

// sRGB colours and the inks lcms2 gives them towards Ghostscript's SWOP CMYK profile (perceptual).
struct TInk {
    uint8_t r, g, b;
    uint8_t c, m, y, k;
};
const TInk kInks[] = {
    {255, 255, 255, 0, 0, 0, 0},     {0, 0, 0, 190, 173, 167, 230},    {255, 0, 0, 0, 255, 255, 0},
    {0, 128, 255, 203, 133, 0, 0},   {200, 150, 100, 54, 111, 185, 5},
};
constexpr int kTolerance = 8;

}  // namespace

TEST(IEICCWin, ProfilesOpen) {
    ASSERT_TRUE(IELoadMSCMS());
    TIEICC srgb, cmyk, broken;
    srgb.LoadSRGB();
    EXPECT_TRUE(srgb.IsValid());
    Load(cmyk, Ghostscript(L"default_cmyk.icc"));
    EXPECT_TRUE(cmyk.IsValid());
    const std::string junk(300, 'x');
    Load(broken, junk);
    EXPECT_FALSE(broken.IsValid());
    EXPECT_EQ(broken.GetRawSize(), 300);
    cmyk.Clear();
    EXPECT_FALSE(cmyk.IsValid());
}

TEST(IEICCWin, RGBRowsToInvertedCMYK) {
    for (bool systemSRGB : {false, true}) {
        SCOPED_TRACE(systemSRGB ? "system sRGB" : "Ghostscript sRGB");
        TIEICC src, dst;
        if (systemSRGB) src.LoadSRGB();
        else Load(src, Ghostscript(L"srgb.icc"));
        Load(dst, Ghostscript(L"default_cmyk.icc"));
        const int n = (int)(sizeof kInks / sizeof kInks[0]);
        uint8_t rgb[3 * 5], bgr[3 * 5], out[4 * 5];
        for (int i = 0; i < n; ++i) {
            rgb[i * 3] = bgr[i * 3 + 2] = kInks[i].r;
            rgb[i * 3 + 1] = bgr[i * 3 + 1] = kInks[i].g;
            rgb[i * 3 + 2] = bgr[i * 3] = kInks[i].b;
        }
        for (int32_t layout : {ieiccRGB, ieiccBGR}) {
            SCOPED_TRACE(layout);
            uint8_t* row = layout == ieiccRGB ? rgb : bgr;
            ASSERT_TRUE(src.TransformPixels(&dst, layout, ieiccCMYKInv, 0, 0, row, out, n));
            EXPECT_TRUE(src.HasTransform());
            for (int i = 0; i < n; ++i) {
                SCOPED_TRACE(i);
                const uint8_t ink[4] = {kInks[i].c, kInks[i].m, kInks[i].y, kInks[i].k};
                for (int k = 0; k < 4; ++k) EXPECT_LE(std::abs((255 - out[i * 4 + k]) - ink[k]), kTolerance) << k;
            }
        }
        // The BGR source row was handed over with red and blue exchanged.
        EXPECT_EQ(bgr[0], kInks[0].r);
        EXPECT_EQ(bgr[6], 255);   // red (0, 0, 255 as B, G, R) now reads R, G, B
        EXPECT_EQ(bgr[8], 0);
    }
}

TEST(IEICCWin, TheTransformIsCachedAndItsReleaseMarksTheProfileApplied) {
    TIEICC src, dst;
    Load(src, Ghostscript(L"srgb.icc"));
    dst.LoadSRGB();
    uint8_t rgb[3] = {10, 120, 250}, back[3];
    ASSERT_TRUE(src.TransformPixels(&dst, ieiccRGB, ieiccRGB, 0, 0, rgb, back, 1));
    ASSERT_TRUE(src.TransformPixels(&dst, ieiccRGB, ieiccRGB, 0, 0, rgb, back, 1));
    for (int k = 0; k < 3; ++k) EXPECT_LE(std::abs(back[k] - rgb[k]), 3) << k;
    EXPECT_FALSE(src.GetIsApplied());
    // Another output layout makes a new transform, which releases the old one.
    uint8_t bgr[3];
    ASSERT_TRUE(src.TransformPixels(&dst, ieiccRGB, ieiccBGR, 0, 0, rgb, bgr, 1));
    EXPECT_TRUE(src.GetIsApplied());
    EXPECT_EQ(bgr[0], back[2]);
    EXPECT_EQ(bgr[2], back[0]);
    src.FreeTransform();
    EXPECT_FALSE(src.HasTransform());
    src.Clear();
    EXPECT_FALSE(src.GetIsApplied());
}

TEST(IEICCWin, ConvertBitmapKeepsTheAlphaChannel) {
    TIEICC src, dst;
    src.LoadSRGB();
    Load(dst, Ghostscript(L"default_cmyk.icc"));
    TIEBitmap b(5, 3, ie24RGB);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) b.SetPixelRGB(x, y, TIERGB{kInks[x].b, kInks[x].g, kInks[x].r});
    b.GetAlphaChannel()->SetPixelByte(1, 1, 77);
    ASSERT_TRUE(src.ConvertBitmap(&b, ieCMYK, &dst));
    EXPECT_TRUE(src.GetIsApplied());
    ASSERT_EQ(b.GetPixelFormat(), ieCMYK);
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetAlpha(1, 1), 77);
    for (int32_t x = 0; x < 5; ++x) {
        const uint8_t* px = b.GetScanline(2) + x * 4;
        const uint8_t ink[4] = {kInks[x].c, kInks[x].m, kInks[x].y, kInks[x].k};
        for (int k = 0; k < 4; ++k) EXPECT_LE(std::abs((255 - px[k]) - ink[k]), kTolerance) << x << "," << k;
    }
    // And back to RGB through the CMYK profile: near the colours it came from.
    TIEICC cmykSide;
    Load(cmykSide, Ghostscript(L"default_cmyk.icc"));
    ASSERT_TRUE(cmykSide.ConvertBitmap(&b, ie24RGB, &src));
    const TIERGB red = b.GetPixelRGB(2, 0);
    EXPECT_GT(red.r, 200);
    EXPECT_LT(red.g, 90);
    EXPECT_LT(red.b, 90);
}

// Pixels that could not be converted are reported as such, so that the caller converts them its
// own way: two buffers of 2^28 - 1 pixels (2 GB each) do not fit the product's 32-bit address
// space, and 2^31 - 1 pixels are more than any object there may hold.
TEST(IEICCWin, ConversionsWithoutMemoryFail) {
    TIEICC src, dst;
    Load(src, Ghostscript(L"srgb.icc"));
    Load(dst, Ghostscript(L"default_cmyk.icc"));
    uint8_t rgb[3] = {10, 20, 30}, cmyk[4];
    ASSERT_TRUE(src.TransformPixels(&dst, ieiccRGB, ieiccCMYKInv, 0, 0, rgb, cmyk, 1));
    if (sizeof(size_t) == 4) {
        for (int32_t count : {0x0FFFFFFF, 0x7FFFFFFF}) {
            bool converted = true;
            EXPECT_NO_THROW(converted = src.TransformPixels(&dst, ieiccRGB, ieiccCMYKInv, 0, 0, rgb, cmyk, count));
            EXPECT_FALSE(converted) << count;
        }
    }
}
