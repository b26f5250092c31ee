// The preset images: the list made at start-up and freed at shut-down, the four records, and the
// built-in PNG data decoded by our PNG reader to the sizes and kinds of the pictures, each with
// its inner rectangle inside the picture and showing where a photo goes.
#include <gtest/gtest.h>

#include <string>

#include "Classes.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "imaging/codecs/iepresetim.h"
#include "imaging/codecs/pngfilt.h"

using codectest::TCall;

namespace {

struct TPresetCase {
    int32_t Width, Height;
    int32_t Samples;    // 4 RGBA, 3 RGB, 1 palette
    bool Transparent;   // an alpha channel with transparent pixels
    int32_t Left, Top, Right, Bottom;
};

const TPresetCase kPresets[] = {
    {162, 159, 4, true, 18, 29, 140, 119},
    {112, 100, 3, false, 13, 1, 95, 98},
    {163, 108, 1, true, 30, 14, 147, 92},
    {150, 150, 1, false, 17, 17, 131, 131},
};

}  // namespace

TEST(PresetImages, ListLivesFromStartUpToShutDown) {
    IEFinalizePresetImages();
    EXPECT_EQ(IEPresetImageCount(), 0);
    EXPECT_EQ(IEGetPresetImage(0), nullptr);
    IEInitializePresetImages();
    ASSERT_EQ(IEPresetImageCount(), 4);
    EXPECT_EQ(IEGetPresetImage(4), nullptr);
    EXPECT_EQ(IEGetPresetImage(-1), nullptr);
    // The records point at the program's constant data, not at copies.
    int32_t size = 0;
    EXPECT_EQ(IEGetPresetImage(2)->Data, IEPresetImagePNG(2, size));
    EXPECT_EQ(IEGetPresetImage(2)->Size, size);
    IEFinalizePresetImages();
    EXPECT_EQ(IEPresetImageCount(), 0);
}

TEST(PresetImages, RecordsDecodeToTheirPictures) {
    IEInitializePresetImages();
    ASSERT_EQ(IEPresetImageCount(), 4);
    for (int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("preset " + std::to_string(i + 1));
        const TPresetCase& c = kPresets[i];
        const TIEPresetImage* p = IEGetPresetImage(i);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->FileType, 8);
        EXPECT_EQ(p->Left, c.Left);
        EXPECT_EQ(p->Top, c.Top);
        EXPECT_EQ(p->Right, c.Right);
        EXPECT_EQ(p->Bottom, c.Bottom);
        ASSERT_NE(p->Data, nullptr);
        ASSERT_GT(p->Size, 8);

        TMemoryStream stream;
        codectest::Fill(stream, std::string(reinterpret_cast<const char*>(p->Data), (size_t)p->Size));
        ASSERT_TRUE(IEIsPNG(stream));
        TIEBitmap bitmap;
        TCall call;
        call.Params.NativePixelFormat = true;
        IEReadPNGStream(stream, &bitmap, call.Params, call.Progress, false);
        ASSERT_FALSE(call.Aborting);
        EXPECT_EQ(bitmap.GetWidth(), c.Width);
        EXPECT_EQ(bitmap.GetHeight(), c.Height);
        EXPECT_EQ(call.Params.BitsPerSample, 8);
        EXPECT_EQ(call.Params.SamplesPerPixel, c.Samples);
        EXPECT_EQ(bitmap.GetPixelFormat(), c.Samples == 1 ? ie8p : ie24RGB);
        if (c.Samples == 1) EXPECT_GT(call.Params.ColorMapCount, 1);
        EXPECT_EQ(bitmap.HasAlphaChannel() && !bitmap.GetAlphaChannel()->GetFull(), c.Transparent);

        // The inner rectangle lies inside the picture; it is one plain colour and opaque (the
        // photo goes there), and the picture's frame differs from it.
        ASSERT_TRUE(c.Left >= 0 && c.Top >= 0 && c.Right <= c.Width && c.Bottom <= c.Height);
        const TIERGB centre = bitmap.GetPixelAsRGB((c.Left + c.Right) / 2, (c.Top + c.Bottom) / 2);
        for (const auto& pt : {std::make_pair(c.Left + 2, c.Top + 2), std::make_pair(c.Right - 3, c.Bottom - 3)}) {
            const TIERGB px = bitmap.GetPixelAsRGB(pt.first, pt.second);
            EXPECT_TRUE(px.r == centre.r && px.g == centre.g && px.b == centre.b) << pt.first << "," << pt.second;
            if (bitmap.HasAlphaChannel()) EXPECT_EQ(bitmap.GetAlpha(pt.first, pt.second), 255);
        }
        const TIERGB corner = bitmap.GetPixelAsRGB(c.Width - 1, c.Height - 1);
        const bool cornerTransparent = bitmap.HasAlphaChannel() && bitmap.GetAlpha(c.Width - 1, c.Height - 1) == 0;
        EXPECT_TRUE(cornerTransparent || corner.r != centre.r || corner.g != centre.g || corner.b != centre.b);
    }
}
