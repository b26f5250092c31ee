// Resampling entry points and the two-pass kernel filter: hand-computed values, invariants over
// every filter and size, threads against one thread, file-located bitmaps, and a gradient against
// Pillow's resampling.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "picturaproc_resample.h"
#include "resample_test_util.h"
#include "support/ToolSkip.h"

using namespace resampletest;

namespace {

const TResampleFilter kAllFilters[] = {rfNone,    rfTriangle, rfHermite,    rfBell,     rfBSpline,
                                       rfLanczos3, rfMitchell, rfNearest,   rfLinear,   rfFastLinear,
                                       rfBilinear, rfBicubic,  rfProjectBW, rfProjectWB};
const TResampleFilter kKernelFilters[] = {rfTriangle, rfHermite, rfBell,    rfBSpline,
                                          rfLanczos3, rfMitchell, rfNearest, rfLinear};

void GradientPixel(int32_t x, int32_t y, uint8_t* p) {
    // Stored blue, green, red; the same formula as make_resample_refs.py.
    p[2] = (uint8_t)(2 * x + y);
    p[1] = (uint8_t)(255 - 2 * x - y / 2);
    p[0] = (uint8_t)(x + 2 * y);
}

// A pattern with edges and texture, so that threads splitting rows wrongly would show.
void TexturePixel(int32_t x, int32_t y, uint8_t* p) {
    p[0] = (uint8_t)((x * 7 + y * 13) & 0xFF);
    p[1] = (uint8_t)(((x / 9 + y / 5) & 1) ? 230 : 20);
    p[2] = (uint8_t)((x * x + y * 3) & 0xFF);
}

}  // namespace

TEST(ResampleKernels, ValuesAtKnownPoints) {
    struct Case {
        TIEResampleKernel kernel;
        double x, expected;
    } cases[] = {
        {IETriangleFilter, 0.25, 0.75},  {IETriangleFilter, -1, 0},      {IEHermiteFilter, 0.5, 0.5},
        {IEBellFilter, 0, 0.75},         {IEBellFilter, 1, 0.125},       {IEBSplineFilter, 0, 2.0 / 3},
        {IEBSplineFilter, 1, 1.0 / 6},   {IELanczos3Filter, 0, 1},       {IELanczos3Filter, 1, 0},
        {IELanczos3Filter, 3, 0},        {IEMitchellFilter, 0, 16.0 / 18}, {IEMitchellFilter, 1, 1.0 / 18},
        {IEBoxFilter, 0.5, 1},           {IEBoxFilter, -0.5, 0},         {IELinearFilter, -0.5, 0.5},
    };
    for (const Case& c : cases) EXPECT_NEAR(c.kernel(c.x), c.expected, 1e-12) << c.x;
    EXPECT_NEAR(IESinc(0.5), 2 / 3.14159265358979323846, 1e-12);
    EXPECT_EQ(IEResampleFilters[rfNearest].Support, 1.0);
    EXPECT_EQ(IEResampleFilters[rfNone].Kernel, nullptr);
    EXPECT_EQ(IEResampleFilters[rfBilinear].Kernel, nullptr);
}

TEST(ResampleKernels, ContributorsMirrorAtTheEdges) {
    // Enlarging 2 -> 3 with the triangle: the middle column halves between both pixels.
    auto lists = IEResampleContributors(2, 3, rfTriangle);
    ASSERT_EQ(lists.size(), 3u);
    ASSERT_EQ(lists[1].Count, 2);
    EXPECT_EQ(lists[1].Items[0].Pixel, 0);
    EXPECT_EQ(lists[1].Items[0].Weight, 128);
    EXPECT_EQ(lists[1].Items[1].Pixel, 1);
    EXPECT_EQ(lists[1].Items[1].Weight, 128);
    // Reducing 10 -> 4 with Lanczos: windows reach past both edges and are mirrored inside.
    for (const auto& list : IEResampleContributors(10, 4, rfLanczos3)) {
        ASSERT_GT(list.Count, 0);
        for (int32_t k = 0; k < list.Count; ++k) {
            EXPECT_GE(list.Items[(size_t)k].Pixel, 0);
            EXPECT_LT(list.Items[(size_t)k].Pixel, 10);
        }
    }
}

TEST(ResampleKernel, TriangleEnlargesARowByHand) {
    auto src = MakeBitmap(2, 1, ie24RGB, [](int32_t x, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = x ? 255 : 0; });
    auto dst = MakeEmpty(3, 1, ie24RGB);
    IEResample(src.get(), dst.get(), nullptr, rfTriangle);
    // 32640 div 256 truncates 127.5 to 127.
    EXPECT_EQ(Pixels(dst.get()), (std::vector<uint8_t>{0, 0, 0, 127, 127, 127, 255, 255, 255}));
}

TEST(ResampleKernel, NearestKernelTakesOnePixelWhenEnlarging) {
    auto src = MakeBitmap(3, 1, ie8g, [](int32_t x, int32_t, uint8_t* p) { p[0] = (uint8_t)(10 + 100 * x); });
    auto dst = MakeEmpty(5, 1, ie8g);
    IEResample(src.get(), dst.get(), nullptr, rfNearest);
    for (uint8_t v : Pixels(dst.get())) EXPECT_TRUE(v == 10 || v == 110 || v == 210) << (int)v;
}

// A constant image stays that colour with every filter at every size: the weights are normalised,
// the edges mirrored and every destination row and column written.
TEST(ResampleEntry, ConstantImageKeepsItsColourForEveryFilterAndSize) {
    const int32_t sizes[][4] = {{7, 5, 3, 2},   {7, 5, 20, 13}, {1, 9, 4, 3},  {9, 1, 3, 4},   {2, 300, 1, 7},
                                {300, 2, 5, 1}, {3, 3, 1, 1},   {1, 2, 1, 5},  {600, 3, 1, 1}, {50, 40, 49, 41}};
    for (TResampleFilter filter : kAllFilters) {
        if (filter == rfProjectBW || filter == rfProjectWB) continue;
        for (const auto& s : sizes) {
            auto src = MakeBitmap(s[0], s[1], ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = 40; p[1] = 150; p[2] = 220; });
            auto dst = MakeEmpty(s[2], s[3], ie24RGB);
            IEResampleIEBitmap(src.get(), dst.get(), filter);
            ASSERT_EQ(dst->GetWidth(), s[2]);
            const auto px = Pixels(dst.get());
            for (size_t i = 0; i < px.size(); i += 3)
                ASSERT_TRUE(px[i] == 40 && px[i + 1] == 150 && px[i + 2] == 220)
                    << "filter " << (int)filter << " " << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " at " << i / 3;
        }
    }
}

TEST(ResampleEntry, VeryLargeReductionIsNotBlack) {
    // A factor above 512 rounds every kernel x 256 / factor weight to 0.
    auto src = MakeBitmap(3000, 2, ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 200; });
    for (TResampleFilter filter : kKernelFilters) {
        auto dst = MakeEmpty(2, 1, ie24RGB);
        IEResample(src.get(), dst.get(), nullptr, filter);
        EXPECT_EQ(Pixels(dst.get()), (std::vector<uint8_t>(6, 200))) << (int)filter;
    }
}

TEST(ResampleEntry, SkippedSourcesLeaveTheDestinationAlone) {
    auto one = MakeBitmap(1, 1, ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 9; });
    for (TResampleFilter filter : kKernelFilters) {
        auto dst = MakeBitmap(3, 2, ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 77; });
        IEResample(one.get(), dst.get(), nullptr, filter);
        EXPECT_EQ(Pixels(dst.get()), (std::vector<uint8_t>(18, 77))) << (int)filter;
    }
    TIEBitmap empty;
    auto dst = MakeBitmap(2, 2, ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 77; });
    IEResample(&empty, dst.get(), nullptr, rfLanczos3);
    EXPECT_EQ(Pixels(dst.get()), (std::vector<uint8_t>(12, 77)));
}

TEST(ResampleEntry, SameSizeCopiesWithAlphaForEveryFilter) {
    for (TResampleFilter filter : kAllFilters) {
        auto src = MakeBitmap(5, 4, ie24RGB, TexturePixel);
        TIEBitmap* alpha = src->GetAlphaChannel();
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 5; ++x) alpha->SetPixelByte(x, y, (uint8_t)(x * 50 + y));
        TIEBitmap dst(5, 4, ie24RGB);
        IEResampleIEBitmap(src.get(), &dst, filter);
        EXPECT_EQ(Pixels(&dst), Pixels(src.get())) << (int)filter;
        ASSERT_TRUE(dst.HasAlphaChannel());
        EXPECT_EQ(Pixels(dst.GetAlphaChannel()), Pixels(alpha)) << (int)filter;
    }
}

TEST(ResampleEntry, AlphaIsResampledWithTheFilterAndKeepsItsFullFlag) {
    auto src = MakeBitmap(4, 4, ie24RGB, TexturePixel);
    TIEBitmap* alpha = src->GetAlphaChannel();
    ASSERT_TRUE(alpha->GetFull());
    for (TResampleFilter filter : {rfNone, rfTriangle, rfLanczos3, rfFastLinear, rfBilinear, rfBicubic}) {
        TIEBitmap dst(8, 2, ie24RGB);
        IEResampleIEBitmap(src.get(), &dst, filter);
        ASSERT_TRUE(dst.HasAlphaChannel()) << (int)filter;
        EXPECT_EQ(dst.GetAlphaChannel()->GetWidth(), 8);
        EXPECT_EQ(Pixels(dst.GetAlphaChannel()), (std::vector<uint8_t>(16, 255))) << (int)filter;
        EXPECT_TRUE(dst.GetAlphaChannel()->GetFull()) << (int)filter;
    }
    // A partly transparent alpha: rfNone copies it by the nearest-pixel rule and the flag is off.
    alpha->SetPixelByte(2, 0, 0);
    TIEBitmap dst(2, 2, ie24RGB);
    IEResampleIEBitmap(src.get(), &dst, rfNone);
    EXPECT_EQ(Pixels(dst.GetAlphaChannel()), (std::vector<uint8_t>{255, 0, 255, 255}));
    EXPECT_FALSE(dst.GetAlphaChannel()->GetFull());
}

TEST(ResampleEntry, OtherFormatsTakeTheTriangleIntoTwentyFourBits) {
    auto src32 = MakeBitmap(6, 4, ie32RGB, [](int32_t x, int32_t y, uint8_t* p) {
        p[0] = (uint8_t)(x * 40);
        p[1] = (uint8_t)(y * 60);
        p[2] = 100;
        p[3] = 0;
    });
    auto src24 = MakeBitmap(6, 4, ie24RGB, [](int32_t x, int32_t y, uint8_t* p) {
        p[0] = (uint8_t)(x * 40);
        p[1] = (uint8_t)(y * 60);
        p[2] = 100;
    });
    for (TResampleFilter filter : {rfBilinear, rfBicubic}) {
        TIEBitmap dst(3, 3, ie32RGB), expected(3, 3, ie24RGB);
        IEResampleIEBitmap(src32.get(), &dst, filter);
        IEResampleIEBitmap(src24.get(), &expected, rfTriangle);
        EXPECT_EQ(dst.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(Pixels(&dst), Pixels(&expected));
    }
}

TEST(ResampleEntry, NearestPixelStretchInEveryByteFormat) {
    for (TIEPixelFormat format : {ie8g, ie16g, ie24RGB, ie32RGB, ieRGB48, ieCMYK, ie32f, ieCIELab}) {
        auto src = MakeEmpty(4, 2, format);
        const int32_t bytes = src->GetBitCount() / 8;
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 4; ++x) std::memset(src->GetScanline(y) + x * bytes, 10 * x + 100 * y + 1, (size_t)bytes);
        TIEBitmap dst(2, 3, format);
        IEResampleIEBitmap(src.get(), &dst, rfNone);
        // Columns 0 and 2; rows 0, 0, 1.
        const uint8_t rows[3][2] = {{1, 21}, {1, 21}, {101, 121}};
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 2; ++x)
                for (int32_t b = 0; b < bytes; ++b)
                    ASSERT_EQ(dst.GetScanline(y)[x * bytes + b], rows[y][x]) << (int)format;
    }
    auto bits = MakeBitmap(4, 1, ie1g, [](int32_t x, int32_t, uint8_t* p) { *p = x == 2; });
    TIEBitmap dst(8, 1, ie1g);
    IEResampleIEBitmap(bits.get(), &dst, rfNone);
    EXPECT_EQ(Pixels(&dst), (std::vector<uint8_t>{0, 0, 0, 0, 1, 1, 0, 0}));
}

TEST(ResampleEntry, KernelProgressRisesToItsLastValue) {
    for (int32_t cores : {1, 4}) {
        TCoreCount count(cores);
        for (auto size : {std::pair<int32_t, int32_t>{700, 500}, {30, 900}, {900, 30}}) {
            auto src = MakeBitmap(size.first, size.second, ie24RGB, TexturePixel);
            TIEBitmap dst(size.second, size.first, ie24RGB);
            std::vector<int32_t> seen;
            IEResample(src.get(), &dst, nullptr, rfLanczos3, [&](TObject*, int32_t per) { seen.push_back(per); });
            ASSERT_FALSE(seen.empty());
            for (size_t i = 1; i < seen.size(); ++i) ASSERT_LT(seen[i - 1], seen[i]);
            const int32_t sum = size.first + size.second;
            EXPECT_EQ(seen.back(), (int32_t)(100.0 * sum / (sum + 0.5))) << cores;
        }
    }
}

// Threads split the rows of both passes; each thread count gives the same bytes as one thread.
TEST(ResampleThreads, EveryFilterGivesTheSameBytesWithAnyThreadCount) {
    // Each size is just large enough for the passes to start threads.
    const int32_t sizes[][4] = {{400, 300, 203, 149}, {200, 150, 517, 389}, {900, 7, 300, 600}};
    for (TResampleFilter filter : kAllFilters) {
        for (const auto& s : sizes) {
            auto src = MakeBitmap(s[0], s[1], ie24RGB, TexturePixel);
            std::vector<uint8_t> single;
            for (int32_t cores : {1, 3, 8, 1000}) {
                TCoreCount count(cores);
                TIEBitmap dst(s[2], s[3], ie24RGB);
                IEResampleIEBitmap(src.get(), &dst, filter);
                if (cores == 1) single = Pixels(&dst);
                else ASSERT_EQ(Pixels(&dst), single) << "filter " << (int)filter << " cores " << cores << " size " << s[0];
            }
        }
    }
}

// A file-located bitmap maps one row at a time: the same result as in memory, on one thread.
TEST(ResampleThreads, FileLocatedBitmapsGiveTheMemoryResult) {
    TCoreCount count(4);
    for (TResampleFilter filter : kAllFilters) {
        auto memory = MakeBitmap(300, 200, ie24RGB, TexturePixel);
        auto file = MakeBitmap(300, 200, ie24RGB, TexturePixel, true);
        ASSERT_EQ(file->GetLocation(), ieFile);
        TIEBitmap expected(170, 230, ie24RGB);
        IEResampleIEBitmap(memory.get(), &expected, filter);
        auto inFile = MakeEmpty(170, 230, ie24RGB, true);
        IEResampleIEBitmap(file.get(), inFile.get(), filter);
        EXPECT_EQ(Pixels(inFile.get()), Pixels(&expected)) << (int)filter;
    }
}

// ---- Against Pillow -------------------------------------------------------------------------

namespace {

std::vector<uint8_t> ReadReference(const std::string& name) {
    std::ifstream f(std::string(TEST_BUILD_DIR) + "/resample_refs/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

// The gradient resampled down and up by each filter against the closest Pillow filter. The
// sampling grids differ (corner-aligned here, centre-aligned in Pillow) by up to half a source pixel,
// the kernels by their shape and the edges by mirroring against clipping: the comparison leaves a
// border of three pixels out and allows the gradient's change over half a pixel plus rounding.
TEST(ResamplePillow, GradientDownAndUpAgreesWithPillow) {
    if (ReadReference("bilinear_48x32.rgb").empty()) KW_SKIP_UNLESS_CI() << "no Pillow references (python3-pil missing)";
    struct Case {
        TResampleFilter filter;
        const char* pillow;
        int32_t tolerance;
    } cases[] = {
        // Point sampling: the grids differ by up to a whole source pixel on each axis.
        {rfNone, "nearest", 6},
        {rfTriangle, "bilinear", 3}, {rfHermite, "bilinear", 3},  {rfBell, "bilinear", 3},     {rfBSpline, "bicubic", 3},
        {rfLanczos3, "lanczos", 3},  {rfMitchell, "bicubic", 3},  {rfNearest, "box", 3},       {rfLinear, "bilinear", 3},
        {rfFastLinear, "bilinear", 3}, {rfBilinear, "bilinear", 3}, {rfBicubic, "bicubic", 3},
    };
    auto src = MakeBitmap(96, 64, ie24RGB, GradientPixel);
    const int32_t sizes[][2] = {{48, 32}, {40, 27}, {160, 112}, {96, 20}};
    for (const Case& c : cases) {
        for (const auto& size : sizes) {
            const int32_t w = size[0], h = size[1];
            const auto ref = ReadReference(std::string(c.pillow) + "_" + std::to_string(w) + "x" + std::to_string(h) + ".rgb");
            ASSERT_EQ(ref.size(), (size_t)w * h * 3);
            TIEBitmap dst(w, h, ie24RGB);
            IEResampleIEBitmap(src.get(), &dst, c.filter);
            const auto ours = Pixels(&dst);
            int32_t worst = 0;
            for (int32_t y = 3; y < h - 3; ++y)
                for (int32_t x = 3; x < w - 3; ++x)
                    for (int32_t ch = 0; ch < 3; ++ch) {
                        // Ours is stored blue, green, red; Pillow's red, green, blue.
                        const int32_t a = ours[((size_t)y * w + x) * 3 + (size_t)(2 - ch)];
                        const int32_t b = ref[((size_t)y * w + x) * 3 + (size_t)ch];
                        worst = std::max(worst, std::abs(a - b));
                    }
            EXPECT_LE(worst, c.tolerance) << "filter " << (int)c.filter << " against " << c.pillow << " at " << w << "x" << h;
        }
    }
}
