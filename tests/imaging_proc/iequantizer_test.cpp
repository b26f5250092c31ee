// The colour quantizer: exact colour lists, the choice of engine, the grey ramp, palette images,
// NeuQuant's sampling and the quality of both engines on a smooth image.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "iebitmap.h"
#include "imaging/proc/iequantizer.h"
#include "imaging/io/picturaio.h"

namespace {

// Sets the library switches for one test and puts them back.
struct TSwitches {
    int32_t mode = IEQuantizerMode, quality = IENeuQuantQuality;
    TSwitches(int32_t Mode, int32_t Quality) {
        IEQuantizerMode = Mode;
        IENeuQuantQuality = Quality;
    }
    ~TSwitches() {
        IEQuantizerMode = mode;
        IENeuQuantQuality = quality;
    }
};

// A W x H image of Count distinct colours repeated (colour i = (i * 7, i * 13, i), all distinct
// for Count <= 256).
void FillColours(TIEBitmap& B, int32_t W, int32_t H, int32_t Count) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const int32_t i = (y * W + x) % Count;
            B.SetPixelRGB(x, y, TIERGB{(uint8_t)(i * 7), (uint8_t)(i * 13), (uint8_t)i});
        }
}

// A smooth colour image: red across, green down, blue a diagonal.
void FillGradient(TIEBitmap& B, int32_t W, int32_t H) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            B.SetPixelRGB(x, y, TIERGB{(uint8_t)((x + y) * 255 / (W + H)), (uint8_t)(y * 255 / H), (uint8_t)(x * 255 / W)});
}

// The PSNR of the image against its palette mapping.
double MappedPSNR(TIEBitmap& B, const TIEQuantizer& Q, const std::vector<TIERGB>& Palette) {
    double squares = 0;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TIERGB c = B.GetPixelRGB(x, y);
            const int32_t i = Q.RGBIndex(c);
            EXPECT_GE(i, 0);
            EXPECT_LT(i, (int32_t)Palette.size());
            const TIERGB& p = Palette[(size_t)i];
            squares += (c.r - p.r) * (c.r - p.r) + (c.g - p.g) * (c.g - p.g) + (c.b - p.b) * (c.b - p.b);
        }
    const double mse = squares / (3.0 * B.GetWidth() * B.GetHeight());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

TEST(IEQuantizer, ExactColoursUpToTheCount) {
    TSwitches s(-1, -1);
    TIEBitmap b;
    FillColours(b, 5, 3, 6);
    std::vector<TIERGB> palette(8, TIERGB{1, 1, 1});
    {
        TIEQuantizer q(&b, palette.data(), 0, 6);
        EXPECT_TRUE(q.HasExactPalette());
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(IESameRGB(palette[(size_t)i], b.GetPixelRGB(i % 5, i / 5))) << i;
        EXPECT_EQ(palette[6].r, 1);   // past the colours found: untouched
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(q.RGBIndex(b.GetPixelRGB(x, y)), (y * 5 + x) % 6);
    }
    TIEQuantizer fewer(&b, palette.data(), 0, 5);   // one colour too many: an engine
    EXPECT_FALSE(fewer.HasExactPalette());
    EXPECT_EQ(fewer.GetMode(), 1);
}

TEST(IEQuantizer, EngineChoice) {
    TIEBitmap b;
    FillColours(b, 20, 20, 256);
    std::vector<TIERGB> palette(256);
    const struct {
        int32_t mode, colours, engine;
    } cases[] = {{-1, 127, 1}, {-1, 128, 0}, {0, 16, 0}, {1, 200, 1}, {7, 16, 0}};
    for (const auto& c : cases) {
        TSwitches s(c.mode, -1);
        TIEQuantizer q(&b, palette.data(), 0, c.colours);
        EXPECT_EQ(q.GetMode(), c.engine) << c.mode << " " << c.colours;
    }
}

TEST(IEQuantizer, GreyRamp) {
    TIEBitmap b(4, 1, ie24RGB);
    for (int x = 0; x < 4; ++x) b.SetPixelRGB(x, 0, TIERGB{(uint8_t)(x * 60), (uint8_t)(x * 60), (uint8_t)(x * 60)});
    std::vector<TIERGB> palette(16);
    TIEQuantizer q(&b, palette.data(), 0, 16);
    EXPECT_TRUE(q.GetIsGray());
    for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[(size_t)i].g, i * 16);
    EXPECT_EQ(q.RGBIndex(TIERGB{200, 200, 200}), 12);
}

TEST(IEQuantizer, PaletteImagesKeepTheirPalette) {
    TIEBitmap b(2, 1, ie8p);
    for (int i = 0; i < 256; ++i) b.SetPaletteEntry(i, TIERGB{(uint8_t)i, (uint8_t)(255 - i), 9});
    b.SetPaletteEntry(20, b.GetPaletteEntry(10));   // a repeated colour maps to its first index
    std::vector<TIERGB> palette(256);
    TIEQuantizer q(&b, palette.data(), 0, 256);
    for (int i = 0; i < 256; ++i) {
        EXPECT_TRUE(IESameRGB(palette[(size_t)i], b.GetPaletteEntry(i)));
        EXPECT_EQ(q.RGBIndex(palette[(size_t)i]), i == 20 ? 10 : i);
    }
    // A grey palette that is not the ramp still maps each colour to its own entry.
    TIEBitmap grey(2, 1, ie8p);
    for (int i = 0; i < 256; ++i) grey.SetPaletteEntry(i, TIERGB{(uint8_t)(255 - i), (uint8_t)(255 - i), (uint8_t)(255 - i)});
    TIEQuantizer g(&grey, palette.data(), 0, 256);
    EXPECT_TRUE(g.GetIsGray());
    EXPECT_EQ(g.RGBIndex(TIERGB{255, 255, 255}), 0);
    EXPECT_EQ(g.RGBIndex(TIERGB{5, 5, 5}), 250);
}

TEST(IEQuantizer, NeuQuantSampling) {
    TIEBitmap small, large;
    FillColours(small, 1999, 1, 256);
    FillGradient(large, 200, 100);
    std::vector<TIERGB> palette(256);
    const struct {
        TIEBitmap* image;
        int32_t quality, factor;
    } cases[] = {{&small, -1, 1}, {&large, 100, 1}, {&large, 0, 30}, {&large, 50, 15},
                 // 20000 pixels: Round(18000 * 13 / 148000 + 2) = Round(3.58)
                 {&large, -1, 4}};
    for (const auto& c : cases) {
        TSwitches s(0, c.quality);
        TIEQuantizer q(c.image, palette.data(), 0, 128);   // fewer than the colours: an engine
        EXPECT_EQ(q.GetSamplingFactor(), c.factor) << c.quality;
    }
}

TEST(IEQuantizer, EnginesMapCloseColours) {
    TIEBitmap b;
    FillGradient(b, 120, 90);
    for (int32_t mode : {0, 1}) {
        SCOPED_TRACE(mode);
        TSwitches s(mode, -1);
        for (int32_t colours : {16, 256}) {
            std::vector<TIERGB> palette(256);
            TIEQuantizer q(&b, palette.data(), 0, colours);
            ASSERT_EQ(q.GetMode(), mode);
            if (mode == 1) {
                for (int32_t i = 0; i < colours; ++i) EXPECT_EQ(palette[(size_t)i].r % 8 + palette[(size_t)i].g % 8 + palette[(size_t)i].b % 8, 0);
            }
            palette.resize((size_t)colours);
            EXPECT_GT(MappedPSNR(b, q, palette), colours == 16 ? 20.0 : 29.0) << colours;
        }
    }
}
