// Without the colour-management module: profiles hold their bytes and texts but never open, and
// nothing converts.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "iebitmap.h"
#include "iecoreutils_icc.h"

TEST(IEICCPosix, TheModuleIsAbsent) {
    EXPECT_FALSE(IELoadMSCMS());
    const std::string gs = testsupport::ReadFileBytes(L"Z:\\usr\\share\\color\\icc\\ghostscript\\srgb.icc");
    TIEICC src, dst;
    src.LoadFromBuffer(gs.data(), (int32_t)gs.size());
    dst.LoadSRGB();
    EXPECT_FALSE(src.IsValid());
    EXPECT_FALSE(dst.IsValid());
    EXPECT_FALSE(src.GetDescription().empty());
    uint8_t in[3] = {1, 2, 3}, out[3] = {9, 9, 9};
    EXPECT_FALSE(src.TransformPixels(&dst, ieiccRGB, ieiccBGR, 0, 0, in, out, 1));
    EXPECT_EQ(out[0], 9);
    EXPECT_FALSE(src.HasTransform());
    TIEBitmap b(2, 2, ie24RGB);
    b.SetPixelRGB(0, 0, TIERGB{1, 2, 3});
    EXPECT_FALSE(src.ConvertBitmap(&b, ieCMYK, &dst));
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixelRGB(0, 0).r, 3);
}
