// CMYK conversions and colour rows against hand-computed values (the arithmetic path: no
// colour-management module is bound in the tests).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "iecoreutils_colour.h"
#include "iezlib.h"
#include "picturaio_colour.h"
#include "picturaio_params.h"
#include "support/ToolSkip.h"

namespace {

struct RGB {
    uint8_t r, g, b;
};

void ExpectRGB(const TIERGB& Got, RGB Want) {
    EXPECT_EQ(Got.r, Want.r);
    EXPECT_EQ(Got.g, Want.g);
    EXPECT_EQ(Got.b, Want.b);
}

// The CMYK conversions by their arithmetic: the built-in CMYK profile opens wherever the system's
// colour-management module exists (Wine has one), and its results are not these.
struct TArithmeticCMYK {
    bool Saved = IEUseCMYKProfile;
    TArithmeticCMYK() { IEUseCMYKProfile = false; }
    ~TArithmeticCMYK() { IEUseCMYKProfile = Saved; }
};

}  // namespace

TEST(ColourRows, CMYKToRGBArithmetic) {
    TArithmeticCMYK arithmetic;
    // Stored bytes are 255 minus the ink: red = c x k / 255 (integer division), and so on.
    const struct {
        uint8_t CMYK[4];
        RGB Want;
    } cases[] = {
        {{255, 255, 255, 255}, {255, 255, 255}},   // no ink: white
        {{255, 255, 255, 0}, {0, 0, 0}},           // full black
        {{0, 255, 255, 255}, {0, 255, 255}},       // full cyan
        {{200, 100, 50, 128}, {100, 50, 25}},      // 200*128/255 = 100.39, 100*128/255 = 50.19, 50*128/255 = 25.09
        {{1, 254, 128, 254}, {0, 253, 127}},
    };
    for (const auto& c : cases) {
        TIERGB rgb;
        IECMYKToRGB(c.CMYK, rgb);
        ExpectRGB(rgb, c.Want);
    }
    // The row form gives the same pixels.
    uint8_t row[8] = {255, 255, 255, 0, 200, 100, 50, 128};
    TIERGB out[2];
    IECMYKRowToRGB(row, out, 2);
    ExpectRGB(out[0], {0, 0, 0});
    ExpectRGB(out[1], {100, 50, 25});
}

TEST(ColourRows, RGBToCMYKArithmetic) {
    TArithmeticCMYK arithmetic;
    const struct {
        uint32_t RGB;   // red in bits 16-23
        uint8_t Want[4];
    } cases[] = {
        {0xFF0000, {255, 0, 0, 255}},      // red: no cyan, full magenta and yellow, no black
        {0x000000, {255, 255, 255, 0}},    // black
        {0xFFFFFF, {255, 255, 255, 255}},  // white
        {0x804020, {255, 127, 63, 128}},   // k' 128: 128*255/128, 64*255/128 = 127.5, 32*255/128 = 63.75
    };
    for (const auto& c : cases) {
        const uint32_t cmyk = IERGBToCMYK(c.RGB);
        for (int i = 0; i < 4; ++i) EXPECT_EQ((cmyk >> (8 * i)) & 0xFF, c.Want[i]) << std::hex << c.RGB << " byte " << i;
    }
}

TEST(ColourRows, EveryLayoutToNative) {
    TArithmeticCMYK arithmetic;
    const uint8_t rgb[] = {10, 20, 30, 250, 0, 128};
    const uint8_t cmyk6[] = {55, 155, 205, 127, 9, 9};   // inks, not inverted: stored 200, 100, 50, 128
    const uint8_t rgb16le[] = {0x01, 10, 0x02, 20, 0x03, 30};
    const uint8_t rgb16be[] = {10, 0x01, 20, 0x02, 30, 0x03};
    const uint8_t ycbcr[] = {128, 128, 128, 76, 85, 255};   // grey 128; Y 76 Cb 85 Cr 255: red
    const uint8_t bgr[] = {1, 2, 3, 0, 0, 0};
    struct Case {
        const char* Name;
        const void* Source;
        uint8_t Layout;
        int32_t Count;
        std::vector<RGB> Want;
    };
    const Case cases[] = {
        {"rgb", rgb, iecrRGB, 2, {{10, 20, 30}, {250, 0, 128}}},
        {"bgr", bgr, iecrBGR, 1, {{3, 2, 1}}},
        {"cmyk6", cmyk6, iecrCMYK6, 1, {{100, 50, 25}}},
        {"rgb16le", rgb16le, iecrRGB16LE, 1, {{10, 20, 30}}},
        {"rgb16be", rgb16be, iecrRGB16BE, 1, {{10, 20, 30}}},
        // R = Y + 1.402 (Cr - 128) = 76 + 178.05 -> 254; G = 76 - 0.34414 * -43 - 0.71414 * 127 = -1.9 -> 0;
        // B = 76 + 1.772 * -43 = -0.196 -> 0.
        {"ycbcr", ycbcr, iecrYCbCr, 2, {{128, 128, 128}, {254, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<uint8_t> source(static_cast<const uint8_t*>(c.Source), static_cast<const uint8_t*>(c.Source) + 6);
        std::vector<TIERGB> out(static_cast<size_t>(c.Count));
        IEConvertColorRow(c.Source, c.Layout, out.data(), nullptr, c.Count, iecrBGR);
        for (size_t i = 0; i < out.size(); ++i) ExpectRGB(out[i], c.Want[i]);
        // The source row is left as it was.
        EXPECT_EQ(std::memcmp(source.data(), c.Source, 6), 0);
    }
}

TEST(ColourRows, NativeToCMYKLabAndGrey) {
    TArithmeticCMYK arithmetic;
    const TIERGB row[] = {{0, 0, 255}, {30, 20, 10}, {255, 255, 255}};
    uint8_t cmyk[12];
    IEConvertColorRow(row, iecrBGR, cmyk, nullptr, 3, iecrCMYK);
    // Red 10, green 20, blue 30: k' 30, c' 10 * 255 / 30 = 85, m' 170, y' 255.
    const uint8_t wantCMYK[12] = {255, 0, 0, 255, 85, 170, 255, 30, 255, 255, 255, 255};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(cmyk[i], wantCMYK[i]) << i;

    uint8_t grey[3];
    IEConvertColorRow(row, iecrBGR, grey, nullptr, 3, iecrGray);
    EXPECT_EQ(grey[0], 53);    // 255 * 21 / 100 = 53.55
    EXPECT_EQ(grey[1], 18);    // (10 * 21 + 20 * 71 + 30 * 8) / 100 = 18.7
    EXPECT_EQ(grey[2], 255);

    // L*a*b*: the core's conversion per pixel, and back through the Lab row.
    uint8_t lab[9];
    IEConvertColorRow(row, iecrBGR, lab, nullptr, 3, iecrCIELab);
    for (int i = 0; i < 3; ++i) {
        const uint32_t want = IERGBToCIELab(IERGBValue(row[i]));
        EXPECT_EQ(lab[i * 3] | lab[i * 3 + 1] << 8 | lab[i * 3 + 2] << 16, want);
    }
    // White is L 100 (255), a and b 0.
    EXPECT_EQ(lab[6], 255);
    EXPECT_EQ(lab[7], 0);
    EXPECT_EQ(lab[8], 0);
    TIERGB back[3];
    IEConvertColorRow(lab, iecrCIELab, back, nullptr, 3, iecrBGR);
    for (int i = 0; i < 3; ++i) {
        const TIERGB want = IECIELabToRGB(lab[i * 3] | lab[i * 3 + 1] << 8 | lab[i * 3 + 2] << 16);
        ExpectRGB(back[i], {want.r, want.g, want.b});
    }
}

TEST(ColourRows, PairsWithoutAConversionLeaveTheDestination) {
    const uint8_t source[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const struct {
        uint8_t From, To;
    } pairs[] = {{iecrCMYK, iecrCMYK}, {iecrRGB, iecrCMYK}, {iecrGray, iecrBGR}, {iecrBGR, iecrRGB},
                 {iecrBGR, iecrYCbCr}, {9, iecrBGR}, {iecrBGR, 200}};
    for (const auto& p : pairs) {
        uint8_t dest[12];
        std::memset(dest, 0xAB, sizeof dest);
        IEConvertColorRow(source, p.From, dest, nullptr, 2, p.To);
        for (uint8_t b : dest) EXPECT_EQ(b, 0xAB) << int(p.From) << " to " << int(p.To);
    }
    // Nothing for an empty or negative count.
    uint8_t dest[3] = {7, 7, 7};
    IEConvertColorRow(source, iecrRGB, dest, nullptr, 0, iecrBGR);
    IEConvertColorRow(source, iecrRGB, dest, nullptr, -5, iecrBGR);
    EXPECT_EQ(dest[0], 7);
}

TEST(ColourRows, ParamsProfilesUnusedWithoutColourManagement) {
    TIOParamsVals params(nullptr);
    params.GetInputICCProfile();
    params.GetDefaultICCProfile();
    const bool saved = IEColorManagementEnabled;
    IEColorManagementEnabled = false;
    const uint8_t rgb[3] = {1, 2, 3};
    TIERGB out;
    IEConvertColorRow(rgb, iecrRGB, &out, &params, 1, iecrBGR);
    ExpectRGB(out, {1, 2, 3});
    // The output profile is not even created.
    EXPECT_EQ(params.OutputICCProfile, nullptr);
    // With colour management on, profiles that do not open fall back on the arithmetic too.
    IEColorManagementEnabled = true;
    IEConvertColorRow(rgb, iecrRGB, &out, &params, 1, iecrBGR);
    ExpectRGB(out, {1, 2, 3});
    IEColorManagementEnabled = saved;
}

TEST(ColourRows, BuiltInCMYKProfile) {
    int32_t size = 0;
    const uint8_t* packed = IEBuiltInCMYKProfileData(size);
    if (!packed) KW_SKIP_UNLESS_CI() << "the build had no CMYK profile to build in";
    void* data = nullptr;
    int32_t length = 0;
    IEZDecompressBuffer(packed, size, data, length, 0);
    ASSERT_NE(data, nullptr);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    ASSERT_GT(length, 132);
    // An ICC output profile from CMYK to the L*a*b* connection space, whose header states its
    // own size.
    const uint32_t declared = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    EXPECT_EQ(declared, static_cast<uint32_t>(length));
    EXPECT_EQ(std::memcmp(p + 12, "prtr", 4), 0);
    EXPECT_EQ(std::memcmp(p + 16, "CMYK", 4), 0);
    EXPECT_EQ(std::memcmp(p + 20, "Lab ", 4), 0);
    EXPECT_EQ(std::memcmp(p + 36, "acsp", 4), 0);
    std::free(data);
}
