// Grey histograms, thresholds to black and white, and histogram matching.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "picturaio_colour.h"
#include "picturaproc_histogram.h"

namespace {

std::unique_ptr<TIEBitmap> Rgb(int32_t w, int32_t h, TIERGB c) {
    auto b = std::make_unique<TIEBitmap>(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b->SetPixelRGB(x, y, c);
    return b;
}

TIERGB Grey(uint8_t v) { return TIERGB{v, v, v}; }

// The set pixels of a 1-bit image, row by row.
std::vector<int> Bits(TIEBitmap& b) {
    std::vector<int> v;
    for (int32_t y = 0; y < b.GetHeight(); ++y)
        for (int32_t x = 0; x < b.GetWidth(); ++x) v.push_back(b.GetPixelAsRGB(x, y).g != 0);
    return v;
}

}  // namespace

TEST(IEGrayHistogram, BinsPerPixelFormat) {
    TIEHistogram h;
    TIEBitmap bw(10, 1, ie1g);
    std::memset(bw.GetScanline(0), 0, (size_t)bw.GetRowLen());
    bw.GetScanline(0)[0] = 0xE0;   // three set pixels
    IEGrayHistogram(&bw, h);
    EXPECT_EQ(h[0], 7);
    EXPECT_EQ(h[1], 3);
    EXPECT_EQ(h[255], 0);

    TIEBitmap f(4, 1, ie32f);
    const float values[4] = {1.0f, 0.5f, 2.0f, -1.0f};   // outside 0..1 held to the ends
    for (int32_t x = 0; x < 4; ++x) f.SetPixelFloat(x, 0, values[x]);
    IEGrayHistogram(&f, h);
    EXPECT_EQ(h[255], 2);
    EXPECT_EQ(h[127], 1);
    EXPECT_EQ(h[0], 1);

    TIEBitmap w(2, 1, ie16g);
    w.SetPixelWord(0, 0, 0x12FF);
    w.SetPixelWord(1, 0, 0xFFFF);
    IEGrayHistogram(&w, h);
    EXPECT_EQ(h[0x12], 1);
    EXPECT_EQ(h[0xFF], 1);

    // Grey levels (r 21 + g 71 + b 8) div 100: (200, 100, 50) gives 117.
    auto c = Rgb(3, 2, IECreateRGB(200, 100, 50));
    IEGrayHistogram(c.get(), h);
    EXPECT_EQ(h[117], 6);

    TIEBitmap wide(1, 1, ieRGB48);
    wide.SetPixelRGB48(0, 0, 200 << 8 | 0xFF, 100 << 8, 50 << 8 | 7);
    IEGrayHistogram(&wide, h);
    EXPECT_EQ(h[117], 1);

    // CMYK goes through the library's CMYK rule (its profile where the platform has colour
    // management), as every other CMYK reader does.
    const bool useProfile = IEUseCMYKProfile;
    IEUseCMYKProfile = true;
    TIEBitmap cmyk(1, 1, ieCMYK);
    const uint8_t stored[4] = {200, 90, 160, 230};
    std::memcpy(cmyk.GetScanline(0), stored, 4);
    IEGrayHistogram(&cmyk, h);
    TIERGB rgb;
    IECMYKToRGB(stored, rgb);
    EXPECT_EQ(h[IERGBToGray(rgb)], 1) << (int)rgb.r << " " << (int)rgb.g << " " << (int)rgb.b;
    IEUseCMYKProfile = useProfile;
}

TEST(IEThresholdTo1Bit, FixedAverageAndEntropyThresholds) {
    TIOProgressRecord progress;
    auto run = [&](TIEBitmap* source, int32_t threshold) {
        TIEBitmap dest(source->GetWidth(), source->GetHeight(), ie1g);
        IEThresholdTo1Bit(source, &dest, threshold, progress);
        return Bits(dest);
    };
    auto line = Rgb(3, 1, Grey(128));
    line->SetPixelRGB(1, 0, Grey(127));
    line->SetPixelRGB(2, 0, Grey(255));
    EXPECT_EQ(run(line.get(), 128), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(run(line.get(), 0), (std::vector<int>{1, 1, 1}));

    // Average colour (200, 100, 50) is grey 117: every pixel (grey 117) is white.
    auto uniform = Rgb(4, 3, IECreateRGB(200, 100, 50));
    EXPECT_EQ(run(uniform.get(), -1), std::vector<int>(12, 1));
    // Per row: (0 + 255) div 2 = 127 per channel, so 127 is the threshold.
    auto pair = Rgb(2, 1, Grey(0));
    pair->SetPixelRGB(1, 0, Grey(255));
    EXPECT_EQ(run(pair.get(), -1), (std::vector<int>{0, 1}));

    // Two modes of three levels each: every split between 61 and 190 scores the same and the
    // first wins; 60 is black, 190 white.
    const std::pair<uint8_t, int> levels[] = {{40, 2}, {50, 4}, {60, 2}, {190, 1}, {200, 3}, {210, 1}};
    auto modes = Rgb(13, 1, Grey(0));
    int32_t x = 0;
    for (auto [level, count] : levels)
        for (int i = 0; i < count; ++i) modes->SetPixelRGB(x++, 0, Grey(level));
    EXPECT_EQ(run(modes.get(), -2), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1}));
    // One grey level: no level splits, every pixel white.
    EXPECT_EQ(run(uniform.get(), -2), std::vector<int>(12, 1));
}

TEST(IEThresholdTo1Bit, ProgressAfterEveryRowAndOneBitSourcesCopied) {
    std::vector<int32_t> reported;
    TIOProgressRecord progress;
    progress.OnProgress = [&](TObject*, int32_t per) { reported.push_back(per); };
    auto source = Rgb(5, 4, Grey(90));
    TIEBitmap dest(5, 4, ie1g);
    IEThresholdTo1Bit(source.get(), &dest, 100, progress);
    EXPECT_EQ(reported, (std::vector<int32_t>{22, 44, 66, 88}));   // Trunc(rows x 100 / 4.5)
    EXPECT_EQ(Bits(dest), std::vector<int>(20, 0));

    TIEBitmap bw(9, 2, ie1g);
    for (int32_t y = 0; y < 2; ++y) std::memset(bw.GetScanline(y), 0, (size_t)bw.GetRowLen());
    bw.GetScanline(1)[1] = 0x80;   // pixel (8, 1)
    TIEBitmap copy(9, 2, ie1g);
    reported.clear();
    IEThresholdTo1Bit(&bw, &copy, 255, progress);
    EXPECT_EQ(Bits(copy), Bits(bw));
    EXPECT_TRUE(reported.empty());

    // A destination of another size is left alone.
    TIEBitmap small(2, 2, ie1g);
    std::memset(small.GetScanline(0), 0x40, 1);
    IEThresholdTo1Bit(source.get(), &small, 0, progress);
    EXPECT_EQ(small.GetScanline(0)[0], 0x40);
}

TEST(IEThresholdTo1Bit, OneBitSourceInTheTemporaryFile) {
    // Each row of a file-stored bitmap is mapped on its own: the copy holds one row at a time.
    TIEBitmap bw;
    bw.MinFileSize = 0;
    bw.SetLocation(ieFile);
    ASSERT_TRUE(bw.Allocate(20, 3, ie1g));
    ASSERT_EQ(bw.GetLocation(), ieFile);
    for (int32_t y = 0; y < 3; ++y) {
        uint8_t* row = bw.GetScanline(y);
        std::memset(row, 0, (size_t)bw.GetRowLen());
        row[y] = (uint8_t)(0x81 >> y);
    }
    TIEBitmap copy(20, 3, ie1g);
    TIOProgressRecord progress;
    IEThresholdTo1Bit(&bw, &copy, 255, progress);
    EXPECT_EQ(Bits(copy), Bits(bw));
    EXPECT_EQ(copy.GetScanline(2)[2], 0x20);
}

TEST(IEMatchHistogram, ChannelsTakeTheReferenceDistribution) {
    // Blue 10 and 20 against a reference of blue 100 and 200: equalised 127 and 255, nearest
    // reference shares 127.5 (level 100) and 255 (level 200).
    auto reference = Rgb(2, 1, TIERGB{100, 7, 7});
    reference->SetPixelRGB(1, 0, TIERGB{200, 7, 7});
    auto target = Rgb(2, 1, TIERGB{10, 50, 50});
    target->SetPixelRGB(1, 0, TIERGB{20, 50, 50});
    IEMatchHistogram(reference.get(), target.get());
    EXPECT_EQ(target->GetPixelRGB(0, 0).b, 100);
    EXPECT_EQ(target->GetPixelRGB(1, 0).b, 200);
    EXPECT_EQ(target->GetPixelRGB(0, 0).g, 7);
    EXPECT_EQ(target->GetPixelRGB(1, 0).r, 7);

    TIEBitmap wide(2, 1, ieRGB48);
    wide.SetPixelRGB48(0, 0, 1, 2, 10 << 8 | 0x55);
    wide.SetPixelRGB48(1, 0, 3, 4, 20 << 8);
    IEMatchHistogram(reference.get(), &wide);
    uint16_t r, g, b;
    wide.GetPixelRGB48(0, 0, r, g, b);
    EXPECT_EQ(b, 100 * 257);
    EXPECT_EQ(r, 7 * 257);
    wide.GetPixelRGB48(1, 0, r, g, b);
    EXPECT_EQ(b, 200 * 257);
    EXPECT_EQ(g, 7 * 257);
}

TEST(IEMatchHistogram, NothingWithoutA24BitReferenceOrPixels) {
    auto target = Rgb(2, 2, TIERGB{10, 20, 30});
    TIEBitmap grey(2, 2, ie8g);
    IEMatchHistogram(&grey, target.get());
    TIEBitmap empty;
    IEMatchHistogram(&empty, target.get());
    EXPECT_TRUE(IESameRGB(target->GetPixelRGB(1, 1), (TIERGB{10, 20, 30})));
    TIEHistogram none = {};
    IEMatchChannelHistogram(target.get(), 0, none, 255, 0);
    EXPECT_TRUE(IESameRGB(target->GetPixelRGB(1, 1), (TIERGB{10, 20, 30})));
}
