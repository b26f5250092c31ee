// Gaussian blur of 8-bit grey images and the soft shadow under objects with an alpha channel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_blur.h"

namespace {

std::unique_ptr<TIEBitmap> Grey(int32_t w, int32_t h, uint8_t value = 0) {
    auto b = std::make_unique<TIEBitmap>(w, h, ie8g);
    for (int32_t y = 0; y < h; ++y) std::memset(b->GetScanline(y), value, (size_t)w);
    return b;
}

std::vector<uint8_t> Pixels(TIEBitmap* b) {
    std::vector<uint8_t> p;
    for (int32_t y = 0; y < b->GetHeight(); ++y)
        p.insert(p.end(), b->GetScanline(y), b->GetScanline(y) + b->GetWidth());
    return p;
}

// The blur as written out plainly: every line's sums with the indexes held inside the line,
// rows first, then each column gathered, filtered and written back.
void ReferenceBlur(std::vector<uint8_t>& p, int32_t w, int32_t x1, int32_t y1, int32_t x2, int32_t y2, double radius) {
    TIEGaussianKernel kernel;
    IEMakeGaussianKernel(radius, kernel);
    const int32_t k = kernel.HalfWidth;
    auto filter = [&](std::vector<int32_t>& line) {
        const int32_t n = (int32_t)line.size();
        std::vector<int32_t> out((size_t)n);
        for (int32_t j = 0; j < n; ++j) {
            int64_t sum = 32768;
            for (int32_t t = -k; t <= k; ++t) sum += (int64_t)kernel.Weights[100 + t] * line[(size_t)std::clamp(j + t, 0, n - 1)];
            out[(size_t)j] = (int32_t)std::min<int64_t>(sum >> 16, 255);
        }
        line = out;
    };
    for (int32_t y = y1; y <= y2; ++y) {
        std::vector<int32_t> line;
        for (int32_t x = x1; x <= x2; ++x) line.push_back(p[(size_t)y * w + x]);
        filter(line);
        for (int32_t x = x1; x <= x2; ++x) p[(size_t)y * w + x] = (uint8_t)line[(size_t)(x - x1)];
    }
    for (int32_t x = x1; x <= x2; ++x) {
        std::vector<int32_t> line;
        for (int32_t y = y1; y <= y2; ++y) line.push_back(p[(size_t)y * w + x]);
        filter(line);
        for (int32_t y = y1; y <= y2; ++y) p[(size_t)y * w + x] = (uint8_t)line[(size_t)(y - y1)];
    }
}

}  // namespace

TEST(IEGaussianBlur, KernelWidthAndWeights) {
    struct Case {
        double radius;
        int32_t halfWidth, centre, side;
    };
    // Centre and first side weights: Round(g * 65536 / sum of g), computed beside the code.
    for (const Case& c : {Case{0.3, 1, 65033, 251}, Case{2, 9, 13073, 11536}, Case{40, 100, 662, 661}}) {
        TIEGaussianKernel kernel;
        IEMakeGaussianKernel(c.radius, kernel);
        EXPECT_EQ(kernel.HalfWidth, c.halfWidth) << c.radius;
        EXPECT_EQ(kernel.Weights[100], c.centre) << c.radius;
        EXPECT_EQ(kernel.Weights[101], c.side) << c.radius;
        EXPECT_EQ(kernel.Weights[99], c.side) << c.radius;
    }
}

TEST(IEGaussianBlur, SinglePointThroughThreeTaps) {
    // Radius 0.3: weights 251, 65033, 251. Rows: 255 gives 1, 253, 1; then columns: 253 gives
    // 1, 251, 1 and the corners' 1 gives 0.
    auto b = Grey(5, 5);
    b->SetPixelByte(2, 2, 255);
    IEGaussianBlurGray8(b.get(), 0, 0, 4, 4, 0.3);
    const std::vector<uint8_t> expected = {0, 0, 0, 0, 0,  //
                                           0, 0, 1, 0, 0,  //
                                           0, 1, 251, 1, 0, //
                                           0, 0, 1, 0, 0,  //
                                           0, 0, 0, 0, 0};
    EXPECT_EQ(Pixels(b.get()), expected);
}

TEST(IEGaussianBlur, UniformAreasKeepTheirValue) {
    for (uint8_t v : {uint8_t(0), uint8_t(1), uint8_t(200), uint8_t(255)})
        for (double r : {0.3, 2.0, 7.5, 40.0}) {
            auto b = Grey(37, 23, v);
            IEGaussianBlurGray8(b.get(), 0, 0, 36, 22, r);
            EXPECT_EQ(Pixels(b.get()), std::vector<uint8_t>(37 * 23, v)) << (int)v << " " << r;
        }
}

TEST(IEGaussianBlur, NothingForOtherFormatsOrRadiusNotAboveZero) {
    auto b = Grey(4, 4);
    b->SetPixelByte(1, 1, 255);
    const auto before = Pixels(b.get());
    for (double r : {0.0, -1.0, std::nan("")}) {
        IEGaussianBlurGray8(b.get(), 0, 0, 3, 3, r);
        EXPECT_EQ(Pixels(b.get()), before);
    }
    TIEBitmap rgb(4, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y) std::memset(rgb.GetScanline(y), 0, 12);
    rgb.SetPixelRGB(1, 1, TIERGB{255, 255, 255});
    IEGaussianBlurGray8(&rgb, 0, 0, 3, 3, 2);
    EXPECT_EQ(rgb.GetPixelRGB(1, 1).g, 255);
    EXPECT_EQ(rgb.GetPixelRGB(2, 1).g, 0);
}

// Random images of every awkward shape (one pixel, one row, one column, widths around the
// vector block, rectangles inside and past the image), memory- and file-held, against the plain
// reference.
TEST(IEGaussianBlur, MatchesThePlainBlurOnEveryShape) {
    struct Case {
        int32_t w, h, x1, y1, x2, y2;
        double r;
    };
    const Case cases[] = {
        {1, 1, 0, 0, 0, 0, 2},         {1, 9, 0, 0, 0, 8, 3},       {9, 1, 0, 0, 8, 0, 3},
        {16, 16, 0, 0, 15, 15, 2},     {17, 5, 0, 0, 16, 4, 1.3},   {33, 40, 0, 0, 32, 39, 2},
        {31, 29, 4, 3, 20, 25, 5},     {31, 29, -7, -2, 100, 50, 0.7}, {50, 20, 10, 5, 49, 19, 40},
        {3, 200, 0, 0, 2, 199, 9},     {40, 30, 20, 29, 25, 29, 2},
    };
    std::mt19937 rng(17);
    for (TIELocation location : {ieMemory, ieFile}) {
        for (const Case& c : cases) {
            TIEBitmap b;
            b.SetLocation(location);
            ASSERT_TRUE(b.Allocate(c.w, c.h, ie8g));
            std::vector<uint8_t> expected((size_t)c.w * c.h);
            for (auto& v : expected) v = (uint8_t)rng();
            for (int32_t y = 0; y < c.h; ++y) std::memcpy(b.GetScanline(y), &expected[(size_t)y * c.w], (size_t)c.w);
            IEGaussianBlurGray8(&b, c.x1, c.y1, c.x2, c.y2, c.r);
            ReferenceBlur(expected, c.w, std::clamp(c.x1, 0, c.w - 1), std::clamp(c.y1, 0, c.h - 1),
                          std::clamp(c.x2, 0, c.w - 1), std::clamp(c.y2, 0, c.h - 1), c.r);
            EXPECT_EQ(Pixels(&b), expected) << c.w << "x" << c.h << " r " << c.r << " location " << (int)location;
        }
    }
}

TEST(IESoftShadow, MarginFromOffsetsAndRadius) {
    struct Case {
        int32_t ox, oy;
        double r;
        int32_t margin;
    };
    for (const Case& c : {Case{5, -3, 4, 30}, Case{0, 0, 0, 10}, Case{-2, 7, 1.5, 21}, Case{0, 0, 0.1, 1}, Case{INT32_MIN, 0, 1e300, INT32_MAX / 4}, Case{7, INT32_MAX, 1, INT32_MAX / 4}, Case{0, 0, -9, 1}}) {
        TIEBitmap b(60, 60, ie24RGB);
        EXPECT_EQ(IEApplySoftShadow(&b, c.ox, c.oy, c.r, 100, TIERGB{0, 0, 0}, 20, 20, 30, 30), c.margin);
        EXPECT_FALSE(b.GetAlphaChannel()->GetFull());
    }
}

namespace {

// A 24-bit white image with an opaque grey object square in its middle and alpha 0 elsewhere.
std::unique_ptr<TIEBitmap> ObjectImage(TIEPixelFormat format) {
    auto b = std::make_unique<TIEBitmap>(40, 40, format);
    for (int32_t y = 0; y < 40; ++y) std::memset(b->GetScanline(y), 0xFF, (size_t)b->GetRowLen());
    TIEBitmap* a = b->GetAlphaChannel();
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) a->SetPixelByte(x, y, x >= 15 && x <= 24 && y >= 15 && y <= 24 ? 255 : 0);
    if (format == ie24RGB)
        for (int32_t y = 15; y <= 24; ++y)
            for (int32_t x = 15; x <= 24; ++x) b->SetPixelRGB(x, y, TIERGB{100, 100, 100});
    return b;
}

// The shadow's alpha: the object's alpha blurred around the object and moved by the offset.
std::unique_ptr<TIEBitmap> ShadowAlpha(TIEBitmap* image, int32_t ox, int32_t oy, double r, int32_t margin) {
    auto a = std::make_unique<TIEBitmap>(image->GetAlphaChannel());
    const int32_t half = margin / 2, x1 = 15 - half, y1 = 15 - half, x2 = 24 + half, y2 = 24 + half;
    IEGaussianBlurGray8(a.get(), x1, y1, x2, y2, r);
    TIEBitmap moved(40, 40, ie8g);
    for (int32_t y = 0; y < 40; ++y) std::memcpy(moved.GetScanline(y), a->GetScanline(y), 40);
    for (int32_t y = y1; y <= y2; ++y)
        for (int32_t x = x1; x <= x2; ++x) moved.SetPixelByte(x, y, 0);
    for (int32_t y = y1; y <= y2; ++y)
        for (int32_t x = x1; x <= x2; ++x)
            if (x + ox >= 0 && x + ox < 40 && y + oy >= 0 && y + oy < 40) moved.SetPixelByte(x + ox, y + oy, a->GetPixelByte(x, y));
    auto out = std::make_unique<TIEBitmap>(&moved);
    return out;
}

}  // namespace

TEST(IESoftShadow, ShadowOnlyPixelsTakeTheColourAndScaledAlpha) {
    const TIERGB colour{10, 20, 30};
    for (int32_t intensity : {100, 50, 0, 250}) {
        auto b = ObjectImage(ie24RGB);
        const auto a1 = ShadowAlpha(b.get(), 3, 3, 2, 16);
        ASSERT_EQ(IEApplySoftShadow(b.get(), 3, 3, 2, intensity, colour, 15, 15, 24, 24), 16);
        TIEBitmap* alpha = b->GetAlphaChannel();
        const double d = 3 - std::min(intensity, 100) / 100.0 * 2;
        // (26, 26) only the shadow covers; (20, 20) is the opaque object; (2, 2) nothing covers.
        const uint8_t shadow = a1->GetPixelByte(26, 26);
        ASSERT_GT(shadow, 0);
        EXPECT_TRUE(IESameRGB(b->GetPixelRGB(26, 26), colour));
        EXPECT_EQ(alpha->GetPixelByte(26, 26), (uint8_t)std::trunc(shadow / d)) << intensity;
        EXPECT_EQ(b->GetPixelRGB(20, 20).g, 100);
        EXPECT_EQ(alpha->GetPixelByte(20, 20), 255);
        EXPECT_EQ(b->GetPixelRGB(2, 2).g, 255);
        EXPECT_EQ(alpha->GetPixelByte(2, 2), 0);
    }
}

TEST(IESoftShadow, HalfTransparentObjectPixelsLieOverTheShadow) {
    auto b = ObjectImage(ie24RGB);
    b->GetAlphaChannel()->SetPixelByte(24, 24, 128);
    const auto a1 = ShadowAlpha(b.get(), 2, 2, 3, 19);
    ASSERT_EQ(IEApplySoftShadow(b.get(), 2, 2, 3, 100, TIERGB{0, 0, 200}, 15, 15, 24, 24), 19);
    const double o = a1->GetPixelByte(24, 24) / 255.0L, s = 128 / 255.0L;
    const auto mix = [&](int c, int colour) { return (int)std::trunc(s * c + (1 - s) * std::trunc(o * colour + (1 - o) * c)); };
    const TIERGB p = b->GetPixelRGB(24, 24);
    EXPECT_EQ(p.r, mix(100, 200));
    EXPECT_EQ(p.g, mix(100, 0));
    EXPECT_EQ(b->GetAlphaChannel()->GetPixelByte(24, 24), (int)std::trunc((s + o * (1 - s)) * 255));
}

TEST(IESoftShadow, OneBitImagesTurnBlackUnderTheShadowAlone) {
    auto b = ObjectImage(ie1g);
    ASSERT_EQ(IEApplySoftShadow(b.get(), 4, 4, 0, 100, TIERGB{0, 0, 0}, 15, 15, 24, 24), 18);
    EXPECT_EQ(b->GetPixelAsRGB(27, 27).g, 0);     // the shadow alone
    EXPECT_EQ(b->GetPixelAsRGB(20, 20).g, 255);   // the object
    EXPECT_EQ(b->GetPixelAsRGB(2, 2).g, 255);     // nothing
    EXPECT_EQ(b->GetAlphaChannel()->GetPixelByte(20, 20), 255);
    EXPECT_GT(b->GetAlphaChannel()->GetPixelByte(27, 27), 0);
}

TEST(IESoftShadow, MissingAlphaIsMadeOpaqueAndObjectsAtTheEdgeStayInside) {
    TIEBitmap b(8, 8, ie8g);
    for (int32_t y = 0; y < 8; ++y) std::memset(b.GetScanline(y), 7, 8);
    EXPECT_EQ(IEApplySoftShadow(&b, -6, 9, 2, 50, TIERGB{0, 0, 0}, 0, 0, 7, 7), 28);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetPixelByte(3, 3), 7);
}
