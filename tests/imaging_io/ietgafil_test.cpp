// The TGA codec: round trips of every written depth, run-length packets across rows, a colour map
// that runs past 256 entries, 16-bit pixels, the footer's fields and cut-off files.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "SysUtils.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "imaging/codecs/ietgafil.h"

namespace {

struct TRead {
    TIEBitmap bitmap;
    TIEMask* alpha = nullptr;
    bool aborted = false;
    ~TRead() { delete alpha; }
};

void ReadTGA(const std::vector<uint8_t>& Data, TRead& R, TIOParamsVals& P) {
    TMemoryStream s;
    if (!Data.empty()) s.WriteBuffer(Data.data(), (int32_t)Data.size());
    s.SetPosition(0);
    codectest::TProgress progress;
    IEReadTGAStream(s, &R.bitmap, P, progress.Record, false, R.alpha, false);
    R.aborted = progress.Abort;
}

std::vector<uint8_t> WriteTGA(TIEBitmap& B, TIOParamsVals& P, TIEMask* Mask) {
    TMemoryStream s;
    codectest::TProgress progress;
    IEWriteTGAStream(s, &B, P, progress.Record, Mask);
    EXPECT_FALSE(progress.Abort);
    const uint8_t* p = (const uint8_t*)s.GetMemory();
    return std::vector<uint8_t>(p, p + s.GetSize());
}

void Fill(TIEBitmap& B, int32_t W, int32_t H, int32_t Count) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            // Runs of equal pixels beside single ones, so that both packet kinds appear.
            const int32_t i = ((x / 3) * 5 + y * 7) % Count;
            if (Count == 2) B.SetPixelRGB(x, y, i ? TIERGB{255, 255, 255} : TIERGB{0, 0, 0});
            else B.SetPixelRGB(x, y, TIERGB{(uint8_t)(i * 53), (uint8_t)(255 - i * 29), (uint8_t)(i * 97)});
        }
}

std::vector<uint8_t> Header(uint8_t MapType, uint8_t Type, int32_t MapOrigin, int32_t MapLength, uint8_t Entry,
                            int32_t W, int32_t H, uint8_t Depth, uint8_t Descriptor) {
    return {0, MapType, Type, (uint8_t)MapOrigin, (uint8_t)(MapOrigin >> 8), (uint8_t)MapLength,
            (uint8_t)(MapLength >> 8), Entry, 0, 0, 0, 0, (uint8_t)W, (uint8_t)(W >> 8), (uint8_t)H, (uint8_t)(H >> 8),
            Depth, Descriptor};
}

}  // namespace

TEST(TGACodec, RoundTripsEveryWrittenDepth) {
    struct TCase {
        int32_t samples, bits, colours;
        bool compressed, gray;
    } cases[] = {{1, 1, 2, false, false},  {1, 8, 200, false, false}, {1, 8, 200, true, false},
                 {3, 8, 500, false, false}, {3, 8, 500, true, false},  {1, 8, 2, true, true},
                 {1, 4, 16, false, false}};
    for (const TCase& c : cases)
        for (int32_t width : {1, 9, 300}) {
            SCOPED_TRACE(testing::Message() << c.bits << " bits, rle " << c.compressed << ", width " << width);
            TIEBitmap source;
            Fill(source, width, 4, c.colours);
            TIOParamsVals& p = codectest::Params();
            p.SamplesPerPixel = c.samples;
            p.BitsPerSample = c.bits;
            p.TGACompressed = c.compressed;
            p.TGAGrayLevel = c.gray;
            const std::vector<uint8_t> file = WriteTGA(source, p, nullptr);
            TRead r;
            ReadTGA(file, r, codectest::Params());
            ASSERT_FALSE(r.aborted);
            codectest::ExpectSameRGB(source, r.bitmap);
            EXPECT_EQ(r.alpha, nullptr);
        }
}

TEST(TGACodec, ThirtyTwoBitsWithMaskAndFooter) {
    TIEBitmap source;
    Fill(source, 5, 3, 40);
    TIEMask mask;
    mask.Allocate(5, 3, 8);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) mask.SetPixel(x, y, x * 50 + y);
    TIOParamsVals& p = codectest::Params();
    p.TGACompressed = true;
    p.TGAAuthor = "Author";
    p.TGAJob = "Job";
    p.TGAImageName = "name";
    p.TGADate = EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 0);
    p.TGAAspectRatio = 1.5;
    p.TGABackground = TIERGB{1, 2, 3};
    const std::vector<uint8_t> file = WriteTGA(source, p, &mask);
    EXPECT_FALSE(p.TGACompressed);   // 32 bits are written uncompressed
    TIOParamsVals& q = codectest::Params();
    TRead r;
    ReadTGA(file, r, q);
    ASSERT_FALSE(r.aborted);
    codectest::ExpectSameRGB(source, r.bitmap);
    ASSERT_NE(r.alpha, nullptr);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(r.alpha->GetPixel(x, y), x * 50 + y);
    EXPECT_EQ(q.TGAAuthor, "Author");
    EXPECT_EQ(q.TGAJob, "Job");
    EXPECT_EQ(q.TGAImageName, "name");
    EXPECT_DOUBLE_EQ(q.TGAAspectRatio, 1.5);
    EXPECT_NEAR(q.TGADate, EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 0), 1e-6);
    EXPECT_EQ(q.TGABackground.r, 3);
    EXPECT_EQ(q.TGABackground.b, 1);

    // A month of 13 leaves the date at today; a file without footer has the default ratios.
    std::vector<uint8_t> bad = file;
    const size_t ext = bad.size() - 26 - 495;
    bad[ext + 367] = 13;
    ReadTGA(bad, r, q);
    EXPECT_DOUBLE_EQ(q.TGADate, Date());
    ReadTGA(std::vector<uint8_t>(file.begin(), file.begin() + ext), r, q);
    EXPECT_DOUBLE_EQ(q.TGAAspectRatio, 1);
    EXPECT_DOUBLE_EQ(q.TGAGamma, 2.2);
}

TEST(TGACodec, PacketsSpanRowsBottomUp) {
    // 3 x 2 at 8 bits grey, bottom-up: one run of 4 (crossing the row end) and a raw packet of 2.
    std::vector<uint8_t> rle = Header(0, 11, 0, 0, 0, 3, 2, 8, 0);
    for (uint8_t b : {0x83, 10, 0x01, 20, 30}) rle.push_back(b);
    std::vector<uint8_t> plain = Header(0, 3, 0, 0, 0, 3, 2, 8, 0);
    for (uint8_t b : {10, 10, 10, 10, 20, 30}) plain.push_back(b);
    TRead a, b;
    ReadTGA(rle, a, codectest::Params());
    ReadTGA(plain, b, codectest::Params());
    ASSERT_FALSE(a.aborted);
    codectest::ExpectSameRGB(a.bitmap, b.bitmap);
    EXPECT_EQ(a.bitmap.GetPixelRGB(0, 1).r, 10);   // the first file row is the bottom one
    EXPECT_EQ(a.bitmap.GetPixelRGB(2, 0).r, 30);
}

TEST(TGACodec, ColourMapPastTheLastEntryIsDropped) {
    // Origin 250, 20 entries of 24 bits: entries 250..255 kept, the rest read and dropped.
    std::vector<uint8_t> f = Header(1, 1, 250, 20, 24, 2, 1, 8, 0x20);
    for (int32_t i = 0; i < 20; ++i)
        for (uint8_t c : {(uint8_t)i, (uint8_t)(i + 1), (uint8_t)(i + 2)}) f.push_back(c);
    f.push_back(250);
    f.push_back(255);
    TRead r;
    TIOParamsVals& p = codectest::Params();
    ReadTGA(f, r, p);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0).b, 0);
    EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0).b, 5);
    EXPECT_EQ(p.ColorMapCount, 20);
}

// 16-bit grey pages (Pillow's form of grey with alpha): a grey byte, then an alpha byte; plain and
// run-length coded. Not 5-5-5 colour.
TEST(TGACodec, SixteenBitGreyWithAlpha) {
    std::vector<uint8_t> plain = Header(0, 3, 0, 0, 0, 3, 1, 16, 0x28);
    for (uint8_t b : {0x40, 0x80, 0xC0, 0xFF, 0x10, 0x00}) plain.push_back(b);
    std::vector<uint8_t> rle = Header(0, 11, 0, 0, 0, 3, 1, 16, 0x28);
    for (uint8_t b : {0x00, 0x40, 0x80, 0x81, 0xC0, 0xFF}) rle.push_back(b);
    for (const auto& f : {plain, rle}) {
        TRead r;
        TIOParamsVals& p = codectest::Params();
        ReadTGA(f, r, p);
        ASSERT_FALSE(r.aborted);
        EXPECT_EQ(p.SamplesPerPixel, 2);
        const TIERGB c = r.bitmap.GetPixelRGB(0, 0);
        EXPECT_TRUE(c.r == 0x40 && c.g == 0x40 && c.b == 0x40);
        EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0).g, 0xC0);
        ASSERT_NE(r.alpha, nullptr);
        EXPECT_EQ(r.alpha->GetPixel(0, 0), 0x80);
        EXPECT_EQ(r.alpha->GetPixel(1, 0), 0xFF);
    }
}

TEST(TGACodec, SixteenBitWhiteAndBadFiles) {
    std::vector<uint8_t> f = Header(0, 2, 0, 0, 0, 1, 1, 16, 0);
    f.push_back(0xFF);
    f.push_back(0x7F);
    TRead r;
    ReadTGA(f, r, codectest::Params());
    ASSERT_FALSE(r.aborted);
    const TIERGB c = r.bitmap.GetPixelRGB(0, 0);
    EXPECT_TRUE(c.r == 248 && c.g == 248 && c.b == 248);

    struct TCase {
        const char* what;
        std::vector<uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"image type 5", Header(0, 5, 0, 0, 0, 1, 1, 8, 0)},
        {"depth 7", Header(0, 2, 0, 0, 0, 1, 1, 7, 0)},
        {"pixels cut", Header(0, 2, 0, 0, 0, 4, 4, 24, 0)},
        {"run-length cut", [] { auto d = Header(0, 10, 0, 0, 0, 4, 4, 24, 0); d.push_back(0x85); return d; }()},
    };
    for (const TCase& k : cases) {
        SCOPED_TRACE(k.what);
        TRead bad;
        ReadTGA(k.data, bad, codectest::Params());
        EXPECT_TRUE(bad.aborted);
    }
}
