// The TIFF reader against libtiff: the files make_tiff_samples.sh made with libtiff's and
// ImageMagick's tools, decoded pixel for pixel as tiff2rgba decodes them; and hand-made files for
// the structure (byte orders, IFD chains, parameters) and for data that must fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "iemask.h"
#include "iecoreutils_exif_tiff.h"
#include "imaging/codecs/tiffilt_read.h"
#include "picturaio_params.h"
#include "tifccitt.h"
#include "tiflzw.h"
#include "support/ToolSkip.h"

namespace {

const std::string kSamples = std::string(TEST_BUILD_DIR) + "/tiff-samples/";

std::string ReadFileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One read of a whole TIFF held in Bytes.
struct TRead {
    codectest::TCall Call;
    TIEBitmap Bitmap;
    TIEMask* Mask = nullptr;
    int32_t Count = -1;
    TRead() { Call.Params.TIFFLZWDecompress = IETIFFLZWDecompress; }
    ~TRead() { delete Mask; }
    bool Run(const std::string& Bytes, bool ParamsOnly = false, bool IgnoreAlpha = false, bool Thumbnail = false,
             bool IsEXIFBlock = false) {
        TMemoryStream s;
        codectest::Fill(s, Bytes);
        IEReadTIFFStream(&Bitmap, &s, Count, Call.Params, Call.Progress, ParamsOnly, Mask, false, IgnoreAlpha,
                         Thumbnail, IsEXIFBlock);
        return !Call.Aborting;
    }
};

class TIFFReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() { IEInitializeCCITT(); }
};

// --- A small builder of TIFF structures -------------------------------------------------------------

struct TTag {
    uint16_t Tag, Type;
    std::vector<uint32_t> Values;   // SHORT/LONG values, or bytes for BYTE/ASCII/UNDEFINED, or
                                    // numerator/denominator pairs for RATIONAL
};

// Builds a file of pages (each a tag list; the image data blocks placed before the IFDs), in either
// byte order. A value of kData in a tag refers to the page's data block offset.
constexpr uint32_t kData = 0xDA7A0000;

class TTiffBuilder {
public:
    explicit TTiffBuilder(bool LittleEndian = true) : LE(LittleEndian) {
        Out = LE ? std::string("II*\0\0\0\0\0", 8) : std::string("MM\0*\0\0\0\0", 8);
    }
    // Adds a page; returns its IFD offset (the IFD itself is written by Finish).
    void Page(std::vector<TTag> Tags, const std::string& Data = std::string()) {
        Pages.push_back({std::move(Tags), Data});
    }
    std::string Finish(uint32_t LastNext = 0) {
        std::vector<uint32_t> ifds;
        std::vector<uint32_t> dataAt;
        for (auto& p : Pages) {
            dataAt.push_back((uint32_t)Out.size());
            Out += p.second;
            Align();
        }
        // Out-of-line values, then the IFDs.
        std::vector<std::vector<std::string>> fields(Pages.size());
        for (size_t i = 0; i < Pages.size(); ++i)
            for (auto& t : Pages[i].first) {
                std::string v = Encode(t, dataAt[i]);
                if (v.size() > 4) {
                    const uint32_t at = (uint32_t)Out.size();
                    Out += v;
                    Align();
                    v = U32(at);
                }
                v.resize(4, '\0');
                fields[i].push_back(v);
            }
        for (size_t i = 0; i < Pages.size(); ++i) {
            ifds.push_back((uint32_t)Out.size());
            Out += U16((uint16_t)Pages[i].first.size());
            for (size_t k = 0; k < Pages[i].first.size(); ++k) {
                const TTag& t = Pages[i].first[k];
                Out += U16(t.Tag) + U16(t.Type) + U32(Count(t)) + fields[i][k];
            }
            Out += U32(0);
        }
        for (size_t i = 0; i < ifds.size(); ++i) {
            const uint32_t next = i + 1 < ifds.size() ? ifds[i + 1] : LastNext;
            Out.replace(ifds[i] + 2 + 12 * Pages[i].first.size(), 4, U32(next));
        }
        Out.replace(4, 4, U32(ifds.empty() ? 0 : ifds[0]));
        IFDs = ifds;
        return Out;
    }
    std::vector<uint32_t> IFDs;

private:
    static uint32_t Count(const TTag& T) { return T.Type == 5 || T.Type == 10 ? (uint32_t)T.Values.size() / 2 : (uint32_t)T.Values.size(); }
    std::string U16(uint16_t V) const {
        std::string s(2, '\0');
        s[LE ? 0 : 1] = (char)V;
        s[LE ? 1 : 0] = (char)(V >> 8);
        return s;
    }
    std::string U32(uint32_t V) const {
        return LE ? U16((uint16_t)V) + U16((uint16_t)(V >> 16)) : U16((uint16_t)(V >> 16)) + U16((uint16_t)V);
    }
    std::string Encode(const TTag& T, uint32_t DataAt) const {
        std::string s;
        for (uint32_t v : T.Values) {
            if (v == kData) v = DataAt;
            if (T.Type == 3 || T.Type == 8)
                s += U16((uint16_t)v);
            else if (T.Type == 4 || T.Type == 9 || T.Type == 5 || T.Type == 10)
                s += U32(v);
            else
                s += (char)v;
        }
        return s;
    }
    void Align() {
        if (Out.size() & 1) Out += '\0';
    }
    bool LE;
    std::string Out;
    std::vector<std::pair<std::vector<TTag>, std::string>> Pages;
};

TTag Short(uint16_t Tag, std::vector<uint32_t> V) { return {Tag, 3, std::move(V)}; }
TTag Long(uint16_t Tag, std::vector<uint32_t> V) { return {Tag, 4, std::move(V)}; }
TTag Rational(uint16_t Tag, uint32_t Num, uint32_t Den) { return {Tag, 5, {Num, Den}}; }
TTag Ascii(uint16_t Tag, const std::string& S) {
    TTag t{Tag, 2, {}};
    for (char c : S) t.Values.push_back((uint8_t)c);
    t.Values.push_back(0);
    return t;
}
TTag Bytes(uint16_t Tag, uint16_t Type, const std::string& S) {
    TTag t{Tag, Type, {}};
    for (char c : S) t.Values.push_back((uint8_t)c);
    return t;
}

// An 8-bit grey page W x H of the given data (uncompressed, one strip).
std::vector<TTag> GreyPage(uint32_t W, uint32_t H, uint32_t DataSize, std::vector<TTag> Extra = {}) {
    std::vector<TTag> t = {Long(256, {W}),      Long(257, {H}),        Short(258, {8}),
                           Short(259, {1}),     Short(262, {1}),       Long(273, {kData}),
                           Short(277, {1}),     Long(278, {H}),        Long(279, {DataSize})};
    t.insert(t.end(), Extra.begin(), Extra.end());
    return t;
}

}  // namespace

// --- Pixels against libtiff -------------------------------------------------------------------------

TEST_F(TIFFReader, DecodesLikeLibtiff) {
    struct TCase {
        const char* Name;
        int Tolerance;   // per channel: 0 for lossless data, a little for JPEG and YCbCr rounding
        int32_t Page;
        bool Premultiplied = true;   // libtiff multiplies colours by alpha (not for grey and alpha)
    };
    const TCase cases[] = {
        {"rgb_none", 0, 0},          {"rgb_lzw", 0, 0},
        {"rgb_lzw_pred", 0, 0},      {"rgb_zip_pred", 0, 0},
        {"rgb_packbits_strips", 0, 0}, {"rgb_jpeg_ycbcr", 2, 0},
        {"rgb_jpeg_rgb", 2, 0},      {"rgb_tiled_lzw", 0, 0},
        {"rgb_tiled_none", 0, 0},    {"rgb_tiled_jpeg", 2, 0},
        {"rgb_planar_lzw_pred", 0, 0}, {"rgb_planar_none", 0, 0},
        {"rgb_be_lzw_pred", 0, 0},   {"multipage", 0, 1},
        {"rgb16", 0, 0},             {"rgb16_be_zip_pred", 0, 0},
        {"rgb16_lzw_pred", 0, 0},    {"grey8", 0, 0},
        {"grey8_lzw_pred", 0, 0},    {"grey8_miniswhite", 0, 0},
        {"grey4", 0, 0},             {"grey2", 0, 0},
        {"grey16", 0, 0},            {"grey16_be_zip_pred", 0, 0},
        {"palette8", 0, 0},          {"palette4", 0, 0},
        {"palette8_lzw", 0, 0},      {"rgba", 1, 0},
        {"rgba_zip", 1, 0},          {"greya", 1, 0, false},
        {"bw_none", 0, 0},           {"bw_none_miniswhite", 0, 0},
        {"bw_g3", 0, 0},             {"bw_g3_2d", 0, 0},
        {"bw_g3_2d_fill", 0, 0},     {"bw_g4", 0, 0},
        {"bw_g4_lsb", 0, 0},         {"bw_g4_minisblack", 0, 0},
        {"bw_packbits", 0, 0},       {"bw_lzw", 0, 0},
        {"ycbcr_22", 2, 0},          {"ycbcr_21", 2, 0},
        {"ycbcr_11", 2, 0},
        {"grey16_fill2_none", 0, 0}, {"grey16_fill2_zip", 0, 0},
        {"grey16_fill2_lzw", 0, 0},  {"grey16_fill2_packbits", 0, 0},
        {"rgb_fill2_zip", 0, 0},     {"rgb_extra_bits", 0, 0},
        {"ojpeg_padded", 2, 0},      {"ojpeg_padded_nocounts", 2, 0},
    };
    ASSERT_FALSE(ReadFileBytes(kSamples + "rgb_none.rgba").empty()) << "make_tiff_samples.sh has not run";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = ReadFileBytes(kSamples + c.Name + ".tif");
        const std::string ref = ReadFileBytes(kSamples + c.Name + ".rgba");
        if (file.empty() || ref.empty()) continue;   // a tool that was missing
        TRead r;
        r.Call.Params.TIFFImageIndex = c.Page;
        ASSERT_TRUE(r.Run(file));
        TIEBitmap& b = r.Bitmap;
        ASSERT_EQ(ref.size(), size_t(b.GetWidth()) * b.GetHeight() * 4);
        int worst = 0;
        int32_t wx = 0, wy = 0;
        for (int32_t y = 0; y < b.GetHeight(); ++y)
            for (int32_t x = 0; x < b.GetWidth(); ++x) {
                const uint8_t* e = reinterpret_cast<const uint8_t*>(ref.data()) + (size_t(y) * b.GetWidth() + x) * 4;
                const TIERGB p = b.GetPixelAsRGB(x, y);
                // libtiff gives colours multiplied by alpha.
                const int a = r.Mask ? r.Mask->GetPixel(x, y) : 255;
                const int m = c.Premultiplied ? a : 255;
                const int got[4] = {(p.r * m + 127) / 255, (p.g * m + 127) / 255, (p.b * m + 127) / 255, a};
                for (int k = 0; k < 4; ++k)
                    if (std::abs(got[k] - e[k]) > worst) {
                        worst = std::abs(got[k] - e[k]);
                        wx = x;
                        wy = y;
                    }
            }
        EXPECT_LE(worst, c.Tolerance) << "at " << wx << "," << wy;
    }
}

// Pages libtiff's RGBA reader leaves out, against ImageMagick: integer samples of 10, 14 and 32
// bits, 32-bit floats, grey with alpha at 4 and 16 bits, and a palette page whose second sample is
// its alpha (stored as it is, not inverted). With NativePixelFormat the wide samples keep 16 bits
// (floats their own format).
TEST_F(TIFFReader, DeepSamplesDecodeLikeImageMagick) {
    struct TCase {
        const char* Name;
        TIEPixelFormat Native;
    } cases[] = {{"grey10", ie16g},  {"grey14", ie16g},  {"grey32", ie16g},   {"grey32f", ie32f},
                 {"rgb10", ieRGB48}, {"rgb32f", ieRGB48}, {"greya4", ie24RGB}, {"greya16", ie16g},
                 {"palette8_alpha", ie24RGB}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = ReadFileBytes(kSamples + c.Name + ".tif");
        const std::string ref = ReadFileBytes(kSamples + c.Name + ".im.rgba");
        ASSERT_FALSE(file.empty() || ref.empty()) << "make_tiff_samples.sh made no " << c.Name;
        TRead r;
        ASSERT_TRUE(r.Run(file));
        TIEBitmap& b = r.Bitmap;
        ASSERT_EQ(ref.size(), size_t(b.GetWidth()) * b.GetHeight() * 4);
        int worst = 0;
        for (int32_t y = 0; y < b.GetHeight(); ++y)
            for (int32_t x = 0; x < b.GetWidth(); ++x) {
                const uint8_t* e = reinterpret_cast<const uint8_t*>(ref.data()) + (size_t(y) * b.GetWidth() + x) * 4;
                const TIERGB p = b.GetPixelAsRGB(x, y);
                const int a = r.Mask ? r.Mask->GetPixel(x, y) : 255;
                worst = std::max(worst, std::abs(a - e[3]));
                if (e[3] == 0) continue;
                for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs((k == 0 ? p.r : k == 1 ? p.g : p.b) - e[k]));
            }
        EXPECT_LE(worst, 1);
        TRead n;
        n.Call.Params.NativePixelFormat = true;
        ASSERT_TRUE(n.Run(file));
        EXPECT_EQ(n.Bitmap.GetPixelFormat(), c.Native);
    }
}

// An old-style JPEG page whose strip holds no JPEG stream draws nothing: it is refused, not
// shown black.
TEST_F(TIFFReader, OldJPEGPageWithoutAStreamIsRefused) {
    const std::string file = ReadFileBytes(kSamples + "ojpeg_no_jpeg.tif");
    ASSERT_FALSE(file.empty()) << "make_tiff_samples.sh made no ojpeg_no_jpeg.tif";
    TRead r;
    EXPECT_FALSE(r.Run(file));
}

TEST_F(TIFFReader, CMYKSamplesInvertedIntoTheBitmap) {
    // The colour conversion of CMYK belongs to the colour unit (it may go through a profile): here the
    // samples themselves, through the native format, against libtiff's plain conversion.
    for (const char* name : {"cmyk", "cmyk_lzw_pred"}) {
        SCOPED_TRACE(name);
        const std::string file = ReadFileBytes(kSamples + name + ".tif");
        const std::string ref = ReadFileBytes(kSamples + name + ".rgba");
        if (file.empty() || ref.empty()) continue;
        TRead r;
        r.Call.Params.NativePixelFormat = true;
        ASSERT_TRUE(r.Run(file));
        ASSERT_EQ(r.Bitmap.GetPixelFormat(), ieCMYK);
        int worst = 0;
        for (int32_t y = 0; y < r.Bitmap.GetHeight(); ++y)
            for (int32_t x = 0; x < r.Bitmap.GetWidth(); ++x) {
                const uint8_t* s = r.Bitmap.GetScanline(y) + 4 * x;   // 255 - ink
                const uint8_t* e = reinterpret_cast<const uint8_t*>(ref.data()) + (size_t(y) * r.Bitmap.GetWidth() + x) * 4;
                for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(s[k] * s[3] / 255 - e[k]));
            }
        EXPECT_LE(worst, 1);
    }
}

TEST_F(TIFFReader, NativeFormatsOfThePages) {
    struct TCase {
        const char* Name;
        TIEPixelFormat Native, Plain;
    };
    const TCase cases[] = {{"grey8", ie8g, ie24RGB},  {"grey16", ie16g, ie24RGB}, {"palette8", ie8p, ie24RGB},
                           {"rgb16", ieRGB48, ie24RGB}, {"bw_g4", ie1g, ie1g},     {"rgb_lzw", ie24RGB, ie24RGB}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = ReadFileBytes(kSamples + c.Name + ".tif");
        if (file.empty()) continue;
        for (bool native : {false, true}) {
            TRead r;
            r.Call.Params.NativePixelFormat = native;
            ASSERT_TRUE(r.Run(file));
            EXPECT_EQ(r.Bitmap.GetPixelFormat(), native ? c.Native : c.Plain);
        }
    }
    // The native grey and palette pages hold the same pixels as the RGB ones.
    const std::string grey = ReadFileBytes(kSamples + "grey8_miniswhite.tif");
    if (!grey.empty()) {
        TRead a, b;
        b.Call.Params.NativePixelFormat = true;
        ASSERT_TRUE(a.Run(grey));
        ASSERT_TRUE(b.Run(grey));
        EXPECT_EQ(codectest::RGBBytes(a.Bitmap), codectest::RGBBytes(b.Bitmap)) << "WhiteIsZero into ie8g";
    }
}

TEST_F(TIFFReader, AlphaMaskOnlyWhenAsked) {
    const std::string file = ReadFileBytes(kSamples + "rgba.tif");
    if (file.empty()) KW_SKIP_UNLESS_CI() << "no sample from libtiff's tools in " << kSamples;
    TRead with, without;
    ASSERT_TRUE(with.Run(file));
    ASSERT_NE(with.Mask, nullptr);
    EXPECT_FALSE(with.Mask->Full);
    ASSERT_TRUE(without.Run(file, false, true));
    EXPECT_EQ(without.Mask, nullptr);
    EXPECT_EQ(codectest::RGBBytes(with.Bitmap), codectest::RGBBytes(without.Bitmap));
}

// --- Structure and parameters -----------------------------------------------------------------------

TEST_F(TIFFReader, BothByteOrdersGiveTheSamePage) {
    const std::string data = "\x10\x20\x30\x40\x50\x60";
    std::string files[2];
    for (int le = 0; le < 2; ++le) {
        TTiffBuilder b(le == 1);
        b.Page(GreyPage(3, 2, 6, {Short(274, {6}), Short(296, {3}), Rational(282, 72, 1), Rational(283, 150, 2),
                                  Ascii(270, "desc"), Short(297, {2, 5})}),
               data);
        files[le] = b.Finish();
    }
    TRead r[2];
    for (int i = 0; i < 2; ++i) {
        r[i].Call.Params.NativePixelFormat = true;
        ASSERT_TRUE(r[i].Run(files[i]));
        TIOParamsVals& p = r[i].Call.Params;
        EXPECT_EQ(p.Width, 3);
        EXPECT_EQ(p.Height, 2);
        EXPECT_EQ(p.TIFFOrientation, 6);
        EXPECT_EQ(p.TIFFLittleEndian, i == 1);
        // 72 dots per centimetre: 182.88 per inch, truncated for the DPI.
        EXPECT_EQ(p.DpiX, 182);
        EXPECT_DOUBLE_EQ(p.EXIFXResolution, 72 * 2.54);
        EXPECT_EQ(p.DpiY, 190);
        EXPECT_EQ(p.TIFFImageDescription, "desc");
        EXPECT_EQ(p.TIFFPageNumber, 2);
        EXPECT_EQ(p.TIFFPageCount, 5);
        EXPECT_EQ(r[i].Bitmap.GetPixelFormat(), ie8g);
        EXPECT_EQ(r[i].Bitmap.GetScanline(1)[2], 0x60);
    }
}

// Resolutions and positions are any rational of the file (times 2.54 in centimetres): beyond the
// integer range they saturate.
TEST_F(TIFFReader, ExtremeRationalsSaturate) {
    const int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        uint32_t Unit, Num, Den;
        uint16_t Type;
        int32_t Expected;
    } cases[] = {
        {2, 0xFFFFFFFFu, 1, 5, kMax},
        {3, 0xFFFFFFFFu, 1, 5, kMax},
        {3, 0x80000000u, 1, 10, kMin},   // signed: -2^31 per centimetre
        {3, 1000, 0, 5, 2540},           // a zero denominator counts as 1
    };
    for (const Case& c : cases) {
        TTiffBuilder b;
        const TTag values[] = {{282, c.Type, {c.Num, c.Den}}, {283, c.Type, {c.Num, c.Den}},
                               {286, c.Type, {c.Num, c.Den}}, {287, c.Type, {c.Num, c.Den}}};
        b.Page(GreyPage(2, 1, 2, {values[0], values[1], Short(296, {c.Unit}), values[2], values[3]}), "ab");
        TRead r;
        ASSERT_TRUE(r.Run(b.Finish(), true)) << c.Num;
        const TIOParamsVals& p = r.Call.Params;
        EXPECT_EQ(p.TIFFXPos, c.Expected) << c.Num << "/" << c.Den;
        EXPECT_EQ(p.TIFFYPos, c.Expected) << c.Num << "/" << c.Den;
        EXPECT_EQ(p.DpiX, c.Expected) << c.Num << "/" << c.Den;
        EXPECT_EQ(p.DpiY, c.Expected) << c.Num << "/" << c.Den;
    }
}

TEST_F(TIFFReader, IFDChainsEnd) {
    const std::string data(4, '\x80');
    // Two pages whose last next-offset points back to the first, and one that points to itself.
    TTiffBuilder loop;
    loop.Page(GreyPage(2, 2, 4), data);
    loop.Page(GreyPage(2, 2, 4), data);
    std::string twoPages = loop.Finish();
    twoPages.replace(loop.IFDs[1] + 2 + 12 * 9, 4, std::string("\0\0\0\0", 4));
    {
        // Point page 2's next at page 1.
        const uint32_t first = loop.IFDs[0];
        const char b[4] = {(char)first, (char)(first >> 8), (char)(first >> 16), (char)(first >> 24)};
        twoPages.replace(loop.IFDs[1] + 2 + 12 * 9, 4, b, 4);
    }
    TRead r;
    r.Call.Params.TIFFImageIndex = 1;
    EXPECT_TRUE(r.Run(twoPages));
    EXPECT_EQ(r.Count, 2);
    EXPECT_EQ(r.Bitmap.GetWidth(), 2);

    TTiffBuilder self;
    self.Page(GreyPage(2, 2, 4), data);
    std::string selfFile = self.Finish();
    const uint32_t at = self.IFDs[0];
    const char b[4] = {(char)at, (char)(at >> 8), (char)(at >> 16), (char)(at >> 24)};
    selfFile.replace(at + 2 + 12 * 9, 4, b, 4);
    TRead s;
    s.Call.Params.TIFFImageIndex = 3;   // not in the chain: a quiet end
    EXPECT_TRUE(s.Run(selfFile));
    EXPECT_EQ(s.Count, 1);
    EXPECT_EQ(s.Call.Params.Width, 0);
}

TEST_F(TIFFReader, RefusalsAndQuietEnds) {
    const std::string data(6, '\x40');
    struct TCase {
        const char* What;
        std::string File;
        bool Ok;
    };
    auto page = [&](std::vector<TTag> tags, const std::string& d) {
        TTiffBuilder b;
        b.Page(std::move(tags), d);
        return b.Finish();
    };
    std::vector<TTag> mixed = GreyPage(1, 2, 6);
    mixed[2] = Short(258, {8, 8, 16});
    mixed[6] = Short(277, {3});
    std::vector<TTag> same = GreyPage(1, 2, 6);
    same[2] = Short(258, {8, 8, 8});
    same[6] = Short(277, {3});
    same[4] = Short(262, {2});
    std::string magic = page(GreyPage(3, 2, 6), data);
    magic[2] = 43;
    const TCase cases[] = {
        {"unknown byte order", "XX*\0\x08\0\0\0" + std::string(20, '\0'), false},
        {"first IFD offset 0", std::string("II*\0\0\0\0\0", 8) + std::string(20, '\0'), true},
        {"BitsPerSample 8,8,16", page(mixed, data), false},
        {"BitsPerSample 8,8,8", page(same, data), true},
        {"magic other than 42", magic, true},
        {"no width", page({Long(257, {2}), Short(258, {8}), Long(273, {kData})}, data), false},
        {"no strips", page({Long(256, {3}), Long(257, {2}), Short(258, {8}), Short(262, {1})}, data), false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TRead r;
        EXPECT_EQ(r.Run(c.File), c.Ok);
    }
    // A first IFD offset of 0 fills nothing.
    TRead quiet;
    quiet.Call.Params.Width = 77;
    quiet.Run(cases[1].File);
    EXPECT_EQ(quiet.Call.Params.Width, 77);
}

TEST_F(TIFFReader, ThumbnailsAreSmallAndCleared) {
    TTiffBuilder b;
    b.Page(GreyPage(401, 1, 401), std::string(401, '\x11'));
    TRead big;
    EXPECT_FALSE(big.Run(b.Finish(), false, true, true));
    TTiffBuilder s;
    s.Page(GreyPage(4, 1, 4), std::string("\x11\x22\x33\x44", 4));
    TRead small;
    EXPECT_TRUE(small.Run(s.Finish(), false, true, true));
    EXPECT_EQ(small.Bitmap.GetPixelAsRGB(3, 0).r, 0x44);
}

TEST_F(TIFFReader, PackBitsRunsAndTheSkipByte) {
    // 8 grey pixels: literal 2 (0x01 0x02), skip byte -128, run of 6 x 0x09.
    const std::string data("\x01\x01\x02\x80\xFB\x09", 6);
    std::vector<TTag> tags = GreyPage(8, 1, 6);
    tags[3] = Short(259, {32773});
    TTiffBuilder b;
    b.Page(tags, data);
    TRead r;
    r.Call.Params.NativePixelFormat = true;
    ASSERT_TRUE(r.Run(b.Finish()));
    const uint8_t* row = r.Bitmap.GetScanline(0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(row), 8), std::string("\x01\x02\x09\x09\x09\x09\x09\x09", 8));
}

TEST_F(TIFFReader, TruncatedAndOutOfRangeDataFailCleanly) {
    const std::string file = ReadFileBytes(kSamples + "rgb_lzw_pred.tif");
    if (file.empty()) KW_SKIP_UNLESS_CI() << "no sample from libtiff's tools in " << kSamples;
    TRead whole;
    ASSERT_TRUE(whole.Run(file));
    ASSERT_EQ(whole.Bitmap.GetWidth(), 37);
    // libtiff writes the strip, then the IFD, then the values too long for their entries; the
    // pixels need the entries and the BitsPerSample values.
    auto le16 = [&](size_t at) { return (uint32_t)(uint8_t)file[at] | (uint32_t)(uint8_t)file[at + 1] << 8; };
    auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
    const size_t ifd = le32(4), entries = le16(ifd);
    size_t needed = ifd + 2 + 12 * entries + 4;
    for (size_t i = 0; i < entries; ++i)
        if (le16(ifd + 2 + 12 * i) == 258) needed = std::max<size_t>(needed, le32(ifd + 2 + 12 * i + 8) + 6);
    ASSERT_LT(needed, file.size());
    // Every cut either aborts, fills nothing (the page lies past the cut), or gives the page's
    // size; one that keeps what the pixels need gives the same pixels. Nothing is read outside
    // the data (the sanitizers check).
    for (size_t cut = 0; cut < file.size(); cut += 3) {
        SCOPED_TRACE(cut);
        TRead r;
        const bool ok = r.Run(file.substr(0, cut));
        const bool empty = r.Bitmap.IsEmpty();
        if (ok && !empty) {
            ASSERT_EQ(r.Bitmap.GetWidth(), 37);
            ASSERT_EQ(r.Bitmap.GetHeight(), 23);
        }
        if (cut < ifd + 2) EXPECT_TRUE(!ok || empty);
        if (cut >= needed) {
            ASSERT_TRUE(ok);
            for (int32_t y = 0; y < 23; ++y)
                ASSERT_EQ(std::memcmp(r.Bitmap.GetScanline(y), whole.Bitmap.GetScanline(y), 37 * 3), 0) << "row " << y;
        }
    }
    // Strip offsets and counts far beyond the stream: nothing is read outside it, and the page
    // keeps its size or the read aborts.
    TTiffBuilder b;
    b.Page({Long(256, {4}), Long(257, {4}), Short(258, {8}), Short(262, {1}), Long(273, {0x7FFFFFF0}),
            Long(279, {0x7FFFFFF0}), Short(259, {8})});
    TRead r;
    if (r.Run(b.Finish())) {
        EXPECT_EQ(r.Bitmap.GetWidth(), 4);
        EXPECT_EQ(r.Bitmap.GetHeight(), 4);
    }
}

TEST_F(TIFFReader, EXIFAndGPSOfAnEXIFBlock) {
    // An EXIF block as JPEG files carry it: the page's IFD with EXIF and GPS IFDs, all offsets from
    // the header.
    TTiffBuilder b(false);
    b.Page({Long(256, {1}), Long(257, {1}), Ascii(271, "Maker"), Long(34665, {0}), Long(34853, {0})});
    std::string block = b.Finish();
    // Append the EXIF and GPS IFDs and patch their offsets into the page's IFD.
    auto be16 = [](uint16_t v) { return std::string{(char)(v >> 8), (char)v}; };
    auto be32 = [&](uint32_t v) { return be16((uint16_t)(v >> 16)) + be16((uint16_t)v); };
    const uint32_t exifAt = (uint32_t)block.size();
    block += be16(3);
    block += be16(37510) + be16(7) + be32(8) + be32(exifAt + 2 + 3 * 12 + 4);   // UserComment, 8 bytes
    block += be16(37385) + be16(3) + be32(1) + be16(16) + be16(0);             // Flash
    block += be16(36864) + be16(7) + be32(4) + std::string("0230");            // ExifVersion
    block += be32(0);
    block += std::string("UNICODE\0", 8);
    const uint32_t gpsAt = (uint32_t)block.size();
    block += be16(2);
    block += be16(0) + be16(1) + be32(4) + std::string("\x02\x02\x00\x00", 4);   // GPSVersionID
    block += be16(1) + be16(2) + be32(2) + std::string("N\0\0\0", 4);            // LatitudeRef
    block += be32(0);
    // The page's entries 34665 and 34853 are the 4th and 5th.
    const uint32_t ifd = b.IFDs[0];
    block.replace(ifd + 2 + 12 * 3 + 8, 4, be32(exifAt));
    block.replace(ifd + 2 + 12 * 4 + 8, 4, be32(gpsAt));

    // Behind a few bytes, read with the header at the stream's position.
    const std::string prefix = "Exif\0\0";
    TMemoryStream s;
    codectest::Fill(s, prefix + block);
    s.SetPosition((int64_t)prefix.size());
    codectest::TCall call;
    TIEBitmap bitmap;
    TIEMask* mask = nullptr;
    int32_t count = 0;
    IEReadTIFFStream(&bitmap, &s, count, call.Params, call.Progress, true, mask, true, true, false, true);
    EXPECT_FALSE(call.Aborting);
    TIOParamsVals& p = call.Params;
    EXPECT_TRUE(p.HasEXIFData);
    EXPECT_EQ(p.EXIFMake, "Maker");
    EXPECT_EQ(p.EXIFFlash, 16);
    EXPECT_TRUE(p.HasEXIFTag(37385));
    EXPECT_EQ(p.EXIFExifVersion, "0230");
    EXPECT_EQ(p.EXIFUserCommentCode, std::string("UNICODE\0", 8));
    EXPECT_TRUE(p.EXIFUserComment.empty());
    EXPECT_EQ(p.EXIFGPSVersionID, "2.2.0.0");
    EXPECT_EQ(p.EXIFGPSLatitudeRef, "N");
    EXPECT_EQ(mask, nullptr);
}

TEST_F(TIFFReader, ColourMapShiftedOnlyWhenWide) {
    // A 1-bit palette page: two entries, once with 8-bit values, once with 16-bit ones.
    for (uint32_t scale : {1u, 257u}) {
        SCOPED_TRACE(scale);
        TTiffBuilder b;
        b.Page({Long(256, {8}), Long(257, {1}), Short(258, {1}), Short(262, {3}), Long(273, {kData}),
                Long(279, {1}), Short(320, {10 * scale, 200 * scale, 20 * scale, 100 * scale, 30 * scale, 50 * scale})},
               std::string("\x0F", 1));
        TRead r;
        ASSERT_TRUE(r.Run(b.Finish()));
        ASSERT_EQ(r.Call.Params.ColorMapCount, 2);
        EXPECT_EQ(r.Call.Params.ColorMap[1].r, 200);
        EXPECT_EQ(r.Call.Params.ColorMap[1].b, 50);
        const TIERGB left = r.Bitmap.GetPixelAsRGB(0, 0), right = r.Bitmap.GetPixelAsRGB(7, 0);
        EXPECT_EQ(left.r, 10);
        EXPECT_EQ(left.g, 20);
        EXPECT_EQ(right.r, 200);
        EXPECT_EQ(right.g, 100);
    }
}

// --- The EXIF loaders over the reader ---------------------------------------------------------------

namespace {

// A TIFF structure with an EXIF IFD (Flash 16) on its first page, then a second page of W2 x 1.
std::string EXIFStructure(uint32_t W1, uint32_t W2) {
    TTiffBuilder b;
    b.Page(GreyPage(W1, 1, W1, {Ascii(271, "Maker"), Short(274, {1}), Long(34665, {0})}), std::string(W1, '\x31'));
    b.Page(GreyPage(W2, 1, W2), std::string(W2, '\x62'));
    std::string s = b.Finish();
    const uint32_t exifAt = (uint32_t)s.size();
    s += std::string("\x01\x00", 2) + std::string("\x09\x92\x03\x00\x01\x00\x00\x00\x10\x00\x00\x00", 12) +
         std::string(4, '\0');
    // 34665 is the 12th entry of the first page (9 of the grey page, then 271, 274, 34665).
    const uint32_t at = b.IFDs[0] + 2 + 12 * 11 + 8;
    const char v[4] = {(char)exifAt, (char)(exifAt >> 8), (char)(exifAt >> 16), (char)(exifAt >> 24)};
    s.replace(at, 4, v, 4);
    return s;
}

}  // namespace

TEST_F(TIFFReader, LoadEXIFFromBufferValuesAndThumbnail) {
    const std::string block = std::string("Exif\0\0", 6) + EXIFStructure(4, 8);
    TIOParamsVals params(nullptr);
    params.TIFFLZWDecompress = IETIFFLZWDecompress;
    ASSERT_TRUE(IELoadEXIFFromBuffer(reinterpret_cast<const uint8_t*>(block.data()), (int32_t)block.size(), &params));
    EXPECT_TRUE(params.HasEXIFData);
    EXPECT_EQ(params.EXIFMake, "Maker");
    EXPECT_EQ(params.EXIFFlash, 16);
    ASSERT_NE(params.EXIFThumbnail, nullptr);
    EXPECT_EQ(params.EXIFThumbnail->GetWidth(), 8);
    EXPECT_EQ(params.EXIFThumbnail->GetPixelAsRGB(7, 0).g, 0x62);

    std::string wrong = block;
    wrong[3] = 'v';
    TIOParamsVals untouched(nullptr);
    EXPECT_FALSE(IELoadEXIFFromBuffer(reinterpret_cast<const uint8_t*>(wrong.data()), (int32_t)wrong.size(), &untouched));
    EXPECT_FALSE(untouched.HasEXIFData);
}

TEST_F(TIFFReader, RawEXIFTakesTheSmallPreview) {
    // A 160-pixel first page and a 3000-pixel second one (too large for a thumbnail).
    const std::string file = std::string(3, 'x') + EXIFStructure(160, 3000);
    TMemoryStream s;
    codectest::Fill(s, file);
    s.SetPosition(3);
    TIOParamsVals params(nullptr);
    EXPECT_TRUE(IEReadRawEXIF(&s, &params));
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_EQ(params.EXIFFlash, 16);
    ASSERT_NE(params.EXIFThumbnail, nullptr);
    EXPECT_EQ(params.EXIFThumbnail->GetWidth(), 160);

    TIOParamsVals tiff(nullptr);
    s.SetPosition(3);
    EXPECT_TRUE(IEReadTIFFEXIF(&s, &tiff));
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_EQ(tiff.EXIFMake, "Maker");
    EXPECT_EQ(tiff.Width, 160);
}
