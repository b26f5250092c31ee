// The bitmap file codec: round trips in every depth, header and compression it writes, the RLE
// encoder's packets, run-length position moves that leave the image, bit fields, 1-bit palettes,
// 32-bit alpha, and cut-off files refused.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "imaging/codecs/bmpfilt.h"
#include "imaging/core/picturaio_params.h"

namespace {

struct TReadResult {
    TIEBitmap bitmap;
    TIOParamsVals& params = codectest::Params();
    TIEMask* alpha = nullptr;
    bool aborted = false;
    ~TReadResult() { delete alpha; }
};

void ReadBytes(const std::vector<uint8_t>& Data, TReadResult& R, bool Native = false, bool NoFileHeader = false) {
    TMemoryStream s;
    if (!Data.empty()) s.WriteBuffer(Data.data(), (int32_t)Data.size());
    s.SetPosition(0);
    codectest::TProgress progress;
    R.params.NativePixelFormat = Native;
    IEReadBMPStream(s, &R.bitmap, 0, R.params, progress.Record, false, NoFileHeader, R.alpha, false);
    R.aborted = progress.Abort;
}

std::vector<uint8_t> WriteBitmap(TIEBitmap& B, int32_t Bits, int32_t Samples, int32_t Version, int32_t Compression) {
    TIOParamsVals& params = codectest::Params();
    params.BitsPerSample = Bits;
    params.SamplesPerPixel = Samples;
    params.BMPVersion = (uint8_t)Version;
    params.BMPCompression = (uint8_t)Compression;
    params.SetDpiX(96);
    params.SetDpiY(96);
    TMemoryStream s;
    codectest::TProgress progress;
    IEWriteBMPStream(s, &B, params, progress.Record, true);
    EXPECT_FALSE(progress.Abort);
    const uint8_t* p = (const uint8_t*)s.GetMemory();
    return std::vector<uint8_t>(p, p + s.GetSize());
}

// A W x H image of Count distinct colours.
void FillColours(TIEBitmap& B, int32_t W, int32_t H, int32_t Count) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const int32_t i = (x * 3 + y * 5 + (x * y) % 7) % Count;
            // Two colours: black and white, the only ones a 1-bit read gives back.
            if (Count == 2) B.SetPixelRGB(x, y, i ? TIERGB{255, 255, 255} : TIERGB{0, 0, 0});
            else B.SetPixelRGB(x, y, TIERGB{(uint8_t)(i * 37), (uint8_t)(255 - i * 11), (uint8_t)(i * 101)});
        }
}

uint32_t U32(const std::vector<uint8_t>& D, size_t At) {
    return D[At] | (D[At + 1] << 8) | (D[At + 2] << 16) | ((uint32_t)D[At + 3] << 24);
}

// A file with a 40-byte header; Pixels follow the palette.
std::vector<uint8_t> MakeFile(int32_t W, int32_t H, int32_t Bits, int32_t Compression,
                              const std::vector<uint32_t>& Palette, const std::vector<uint8_t>& Pixels) {
    std::vector<uint8_t> d(54);
    auto put = [&](size_t At, uint32_t V, int32_t N) {
        for (int32_t i = 0; i < N; ++i) d[At + i] = (uint8_t)(V >> (8 * i));
    };
    d[0] = 'B';
    d[1] = 'M';
    put(14, 40, 4);
    put(18, (uint32_t)W, 4);
    put(22, (uint32_t)H, 4);
    put(26, 1, 2);
    put(28, (uint32_t)Bits, 2);
    put(30, (uint32_t)Compression, 4);
    put(46, (uint32_t)Palette.size(), 4);
    for (uint32_t c : Palette)
        for (int32_t i = 0; i < 4; ++i) d.push_back((uint8_t)(c >> (8 * i)));
    put(10, (uint32_t)d.size(), 4);
    d.insert(d.end(), Pixels.begin(), Pixels.end());
    put(2, (uint32_t)d.size(), 4);
    return d;
}

// The pixels as red, green, blue bytes, rows top to bottom.
std::string RGBBytes(TIEBitmap& B) {
    std::string out;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TIERGB c = B.GetPixelAsRGB(x, y);
            out += {(char)c.r, (char)c.g, (char)c.b};
        }
    return out;
}

}  // namespace

TEST(BMPCodec, RoundTripsEveryWrittenForm) {
    struct TCase {
        int32_t bits, samples, colours;
    } cases[] = {{1, 1, 2}, {4, 1, 16}, {8, 1, 200}, {8, 3, 1000}};
    for (const TCase& c : cases)
        for (int32_t version : {0, 1, 2, 3})
            for (int32_t compression : {0, 1})
                for (int32_t width : {1, 7, 33}) {
                    SCOPED_TRACE(testing::Message() << c.bits << " bits, version " << version << ", rle "
                                                    << compression << ", width " << width);
                    TIEBitmap source;
                    FillColours(source, width, 5, c.colours);
                    const std::vector<uint8_t> file = WriteBitmap(source, c.bits, c.samples, version, compression);
                    TReadResult r;
                    ReadBytes(file, r);
                    ASSERT_FALSE(r.aborted);
                    EXPECT_EQ(U32(file, 2), file.size());
                    codectest::ExpectSameRGB(source, r.bitmap);
                }
}

TEST(BMPCodec, ThirtyTwoBitsKeepAlphaPerPixel) {
    TIEBitmap source;
    FillColours(source, 9, 4, 30);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 9; ++x) source.SetAlpha(x, y, (uint8_t)(x * 20 + y));
    const std::vector<uint8_t> file = WriteBitmap(source, 8, 3, 1, 0);
    TReadResult r;
    ReadBytes(file, r);
    ASSERT_FALSE(r.aborted);
    codectest::ExpectSameRGB(source, r.bitmap);
    ASSERT_NE(r.alpha, nullptr);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(r.alpha->GetPixel(x, y), x * 20 + y);

    // All alpha bytes 255 (and all 0): no mask.
    for (uint8_t a : {0, 255}) {
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 9; ++x) source.SetAlpha(x, y, a);
        TReadResult plain;
        ReadBytes(WriteBitmap(source, 8, 3, 1, 0), plain);
        EXPECT_EQ(plain.alpha, nullptr);
    }
}

TEST(BMPCodec, TopDownThirtyTwoBitsPutAlphaWithItsColour) {
    // 2 x 2, height -2: first file row is the top row.
    std::vector<uint8_t> px = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 11, 12, 13, 40};
    std::vector<uint8_t> file = MakeFile(2, -2, 32, 0, {}, px);
    TReadResult r;
    ReadBytes(file, r);
    ASSERT_FALSE(r.aborted);
    ASSERT_NE(r.alpha, nullptr);
    EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0).b, 1);
    EXPECT_EQ(r.alpha->GetPixel(0, 0), 10);
    EXPECT_EQ(r.bitmap.GetPixelRGB(1, 1).r, 13);
    EXPECT_EQ(r.alpha->GetPixel(1, 1), 40);
}

TEST(BMPCodec, RLEEncoderPackets) {
    std::vector<uint8_t> row(300, 9), out(IEEncodeRLEBound(300));
    const int32_t n = IEEncodeRLE8(row.data(), 300, out.data());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), (std::vector<uint8_t>{255, 9, 45, 9, 0, 0}));

    const uint8_t lit[5] = {1, 2, 3, 4, 5};
    const int32_t m = IEEncodeRLE4(lit, 5, out.data());
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + m),
              (std::vector<uint8_t>{0, 5, 0x12, 0x34, 0x50, 0, 0, 0}));
}

// Short literal runs between pairs cost more than a byte a pixel: a b c d d codes 8 bytes for 5
// pixels in RLE8, a b b 4 bytes for 3 in RLE4. Every row of up to 9 pixels over 3 values stays
// within the bound, and whole 1000-pixel rows of the worst patterns round-trip through the writer.
TEST(BMPCodec, RLEWorstCaseRowsFitTheBound) {
    for (int32_t count = 1; count <= 9; ++count) {
        std::vector<uint8_t> row((size_t)count), out((size_t)IEEncodeRLEBound(count));
        int32_t combinations = 1;
        for (int32_t i = 0; i < count; ++i) combinations *= 3;
        for (int32_t c = 0; c < combinations; ++c) {
            for (int32_t i = 0, v = c; i < count; ++i, v /= 3) row[i] = (uint8_t)(v % 3);
            ASSERT_LE(IEEncodeRLE8(row.data(), count, out.data()), IEEncodeRLEBound(count)) << count << " " << c;
            ASSERT_LE(IEEncodeRLE4(row.data(), count, out.data()), IEEncodeRLEBound(count)) << count << " " << c;
        }
    }
    const std::vector<std::vector<int32_t>> patterns = {{0, 1, 2, 3, 3}, {0, 1, 2, 2}, {0, 1, 1}};
    for (const std::vector<int32_t>& pattern : patterns)
        for (int32_t bits : {4, 8}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, cycle of " << pattern.size());
            TIEBitmap source;
            ASSERT_TRUE(source.Allocate(1000, 2, ie24RGB));
            for (int32_t y = 0; y < 2; ++y)
                for (int32_t x = 0; x < 1000; ++x) {
                    const uint8_t v = (uint8_t)(pattern[x % pattern.size()] * 60 + y);
                    source.SetPixelRGB(x, y, TIERGB{v, (uint8_t)(255 - v), (uint8_t)(v / 2)});
                }
            const std::vector<uint8_t> file = WriteBitmap(source, bits, 1, 1, 1);
            ASSERT_EQ(U32(file, 30), bits == 4 ? 2u : 1u);
            TReadResult r;
            ReadBytes(file, r);
            ASSERT_FALSE(r.aborted);
            codectest::ExpectSameRGB(source, r.bitmap);
        }
}

TEST(BMPCodec, CoreHeaderWritesNoRLE) {
    TIEBitmap source;
    FillColours(source, 6, 3, 10);
    const std::vector<uint8_t> file = WriteBitmap(source, 8, 1, 2, 1);
    ASSERT_EQ(U32(file, 14), 12u);
    // 3 rows of 8 bytes after a 256-entry three-byte palette: no end-of-bitmap escape.
    EXPECT_EQ(file.size(), 14u + 12 + 256 * 3 + 3 * 8);
}

TEST(BMPCodec, RLEMovesPastTheImageAreCut) {
    const std::vector<uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00};
    struct TCase {
        const char* what;
        std::vector<uint8_t> data;
    } cases[] = {
        {"delta below the last row", {2, 1, 0, 2, 0, 200, 3, 2, 0, 1}},
        {"delta right of the last column", {0, 2, 250, 0, 5, 2, 0, 0, 2, 2, 0, 1}},
        {"run longer than the row", {255, 2, 0, 0, 200, 1, 0, 1}},
        {"absolute run past the data", {0, 200, 1, 2}},
        {"huge delta chain", {0, 2, 255, 255, 0, 2, 255, 255, 0, 2, 255, 255, 4, 1}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (int32_t bits : {4, 8}) {
            TReadResult r;
            ReadBytes(MakeFile(4, 3, bits, bits == 8 ? 1 : 2, pal, c.data), r);
            EXPECT_EQ(r.bitmap.GetWidth(), 4);
        }
    }
    // The pixels stored before a move below the image stay.
    TReadResult r;
    ReadBytes(MakeFile(4, 3, 8, 1, pal, cases[0].data), r);
    EXPECT_EQ(r.bitmap.GetPixelRGB(0, 2).r, 255);
    EXPECT_EQ(r.bitmap.GetPixelRGB(1, 2).r, 255);
    EXPECT_EQ(r.bitmap.GetPixelRGB(2, 2).r, 0);
}

TEST(BMPCodec, SixteenBitFields) {
    // 565 masks after a 40-byte header: pure red, green and blue.
    std::vector<uint8_t> px = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0};
    std::vector<uint8_t> file = MakeFile(3, 1, 16, 3, {}, {});
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu})
        for (int32_t i = 0; i < 4; ++i) file.push_back((uint8_t)(m >> (8 * i)));
    file[10] = (uint8_t)file.size();
    file.insert(file.end(), px.begin(), px.end());
    TReadResult r;
    ReadBytes(file, r);
    ASSERT_FALSE(r.aborted);
    const TIERGB red = r.bitmap.GetPixelRGB(0, 0), green = r.bitmap.GetPixelRGB(1, 0), blue = r.bitmap.GetPixelRGB(2, 0);
    EXPECT_EQ((int)red.r, 248);
    EXPECT_EQ((int)red.g, 0);
    EXPECT_EQ((int)green.g, 252);
    EXPECT_EQ((int)blue.b, 248);
    EXPECT_EQ((int)blue.r, 0);
}

TEST(BMPCodec, MasksFollowTheHeaderBeforeThePalette) {
    // A 5-6-5 file with a two-entry palette: header, masks, palette, pixels (as Pillow reads it).
    std::vector<uint8_t> file = MakeFile(3, 1, 16, 3, {}, {});
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu, 0x00FF00FFu, 0x0000FF00u})
        for (int32_t i = 0; i < 4; ++i) file.push_back((uint8_t)(m >> (8 * i)));
    file[46] = 2;
    file[10] = (uint8_t)file.size();
    for (uint8_t b : {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0}) file.push_back(b);
    TReadResult r;
    ReadBytes(file, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(RGBBytes(r.bitmap), std::string("\xf8\x00\x00\x00\xfc\x00\x00\x00\xf8", 9));
}

TEST(BMPCodec, ThirtyTwoBitFieldsGoThroughTheirMasks) {
    // Red, green, blue, alpha from the most significant byte down (a 56-byte header with an
    // alpha mask), and 10-10-10 fields after a 40-byte header; then the usual order.
    struct TCase {
        const char* what;
        uint32_t masks[4];
        bool header56;
        uint32_t pixel;
        uint8_t r, g, b, a;
    } cases[] = {
        {"R8G8B8A8", {0xFF000000u, 0xFF0000u, 0xFF00u, 0xFFu}, true, 0x11223380u, 0x11, 0x22, 0x33, 0x80},
        {"10-10-10", {0x3FF00000u, 0xFFC00u, 0x3FFu, 0}, false, (0x100u << 20) | (0x3FFu << 10) | 0x004u, 0x40, 0xFF, 0x01, 255},
        {"B8G8R8", {0xFF0000u, 0xFF00u, 0xFFu, 0}, false, 0x80112233u, 0x11, 0x22, 0x33, 0x80},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> file = MakeFile(2, 1, 32, 3, {}, {});
        for (int32_t m = 0; m < (c.header56 ? 4 : 3); ++m)
            for (int32_t i = 0; i < 4; ++i) file.push_back((uint8_t)(c.masks[m] >> (8 * i)));
        if (c.header56) file[14] = 56;
        file[10] = (uint8_t)file.size();
        for (uint32_t px : {c.pixel, 0u})
            for (int32_t i = 0; i < 4; ++i) file.push_back((uint8_t)(px >> (8 * i)));
        TReadResult r;
        ReadBytes(file, r);
        ASSERT_FALSE(r.aborted);
        const TIERGB p = r.bitmap.GetPixelRGB(0, 0);
        EXPECT_EQ((int)p.r, c.r);
        EXPECT_EQ((int)p.g, c.g);
        EXPECT_EQ((int)p.b, c.b);
        EXPECT_EQ(r.alpha ? (int)r.alpha->GetPixel(0, 0) : 255, c.a);
    }
}

TEST(BMPCodec, UndecodableDepthsAndCompressionsAreRefused) {
    // Each would otherwise come back as an allocated image that nothing was drawn into.
    struct TCase {
        const char* what;
        int32_t bits, compression;
    } cases[] = {
        {"2-bit palette", 2, 0}, {"embedded JPEG", 24, 4}, {"embedded PNG", 32, 5}, {"bit count 7", 7, 0},
        {"bit count 0", 0, 0},   {"1-bit RLE", 1, 1},      {"RLE8 at 4 bits", 4, 1}, {"bit fields at 8 bits", 8, 3},
        {"unknown compression", 24, 9},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TReadResult r;
        ReadBytes(MakeFile(4, 2, c.bits, c.compression, {0x000000, 0xFFFFFF, 0x123456, 0x654321},
                           std::vector<uint8_t>(64, 0x5A)),
                  r);
        EXPECT_TRUE(r.aborted);
    }
}

TEST(BMPCodec, OneBitColourPairReadThroughThePalette) {
    // Bits 1010 0000 over the palette red, blue.
    const std::vector<uint8_t> file = MakeFile(4, 1, 1, 0, {0xFF0000, 0x0000FF}, {0xA0, 0, 0, 0});
    TReadResult r;
    ReadBytes(file, r);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(RGBBytes(r.bitmap), std::string("\x00\x00\xff\xff\x00\x00\x00\x00\xff\xff\x00\x00", 12));
    TReadResult n;
    ReadBytes(file, n, true);
    ASSERT_EQ(n.bitmap.GetPixelFormat(), ie8p);
    EXPECT_EQ(n.bitmap.GetScanline(0)[0], 1);
    EXPECT_EQ(n.bitmap.GetScanline(0)[1], 0);
    EXPECT_EQ(n.bitmap.GetPaletteEntry(1).b, 0xFF);
}

TEST(BMPCodec, OneBitWhiteBlackPaletteInverts) {
    for (bool whiteFirst : {true, false}) {
        const std::vector<uint32_t> pal =
            whiteFirst ? std::vector<uint32_t>{0xFFFFFF, 0x000000} : std::vector<uint32_t>{0x000000, 0xFFFFFF};
        TReadResult r;
        ReadBytes(MakeFile(8, 1, 1, 0, pal, {0xF0, 0, 0, 0}), r);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(r.bitmap.GetPixelFormat(), ie1g);
        // Index 1 is black with white first: bit clear in the bitmap (1 is white there).
        EXPECT_EQ(r.bitmap.GetScanline(0)[0], whiteFirst ? 0x0F : 0xF0);
    }
}

TEST(BMPCodec, LongHeaderPaletteAndNativeIndices) {
    // A 108-byte header followed by its palette.
    std::vector<uint8_t> file = MakeFile(2, 1, 8, 0, {}, {});
    file.insert(file.begin() + 54, 68, 0);
    file[14] = 108;
    file[46] = 2;
    for (uint32_t c : {0x112233u, 0x445566u})
        for (int32_t i = 0; i < 4; ++i) file.push_back((uint8_t)(c >> (8 * i)));
    file[10] = (uint8_t)file.size();
    for (uint8_t b : {1, 0, 0, 0}) file.push_back(b);
    TReadResult r;
    ReadBytes(file, r, true);
    ASSERT_FALSE(r.aborted);
    ASSERT_EQ(r.bitmap.GetPixelFormat(), ie8p);
    EXPECT_EQ(r.bitmap.GetScanline(0)[0], 1);
    EXPECT_EQ(r.bitmap.GetPaletteEntry(1).r, 0x44);
    EXPECT_EQ(r.params.ColorMapCount, 2);
}

TEST(BMPCodec, BadFilesAbort) {
    TIEBitmap source;
    FillColours(source, 5, 4, 3);
    const std::vector<uint8_t> good = WriteBitmap(source, 8, 3, 1, 0);
    struct TCase {
        const char* what;
        std::vector<uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"wrong type", [&] { auto d = good; d[0] = 'X'; return d; }()},
        {"cut in the header", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
        {"cut in the pixels", std::vector<uint8_t>(good.begin(), good.end() - 10)},
        {"header size 3", [&] { auto d = good; d[14] = 3; return d; }()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TReadResult r;
        ReadBytes(c.data, r);
        EXPECT_TRUE(r.aborted);
    }
}
