// The JPEG codec against tools no one here wrote: files made by cjpeg (baseline, progressive,
// arithmetic, grey, RGB) and ImageMagick (CMYK with the Adobe marker) decoded like djpeg and
// ImageMagick decode them, scaled decoding like djpeg -scale, and our files decoded by djpeg.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "imaging_codecs/JpegTestUtil.h"
#include "support/ToolSkip.h"

using namespace jpegtest;

namespace {

const std::string kDir = std::string(TEST_BUILD_DIR) + "/jpegfilt-tools";

bool HaveTool(const char* Name) { return std::system((std::string("command -v ") + Name + " >/dev/null 2>&1").c_str()) == 0; }

bool Shell(const std::string& Command) { return std::system(("timeout 60 " + Command).c_str()) == 0; }

std::vector<uint8_t> ReadFile(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
    std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
}

// A binary PNM (P5 grey, P6 colour) as pixels; colour turned blue-first like the bitmap's rows.
TPixels ReadPNM(const std::string& Path) {
    const std::vector<uint8_t> b = ReadFile(Path);
    TPixels p;
    size_t i = 0;
    auto next = [&]() {
        while (i < b.size() && std::isspace(b[i])) ++i;
        int v = 0;
        while (i < b.size() && std::isdigit(b[i])) v = v * 10 + (b[i++] - '0');
        return v;
    };
    if (b.size() < 3 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) return p;
    p.Components = b[1] == '5' ? 1 : 3;
    i = 2;
    p.Width = next();
    p.Height = next();
    next();
    ++i;
    const size_t size = static_cast<size_t>(p.Width) * p.Height * p.Components;
    if (b.size() < i + size) return TPixels{};
    p.Data.assign(b.begin() + i, b.begin() + i + size);
    if (p.Components == 3)
        for (size_t k = 0; k < size; k += 3) std::swap(p.Data[k], p.Data[k + 2]);
    return p;
}

void WritePPM(const std::string& Path, const TPixels& P) {
    std::string header = "P6\n" + std::to_string(P.Width) + " " + std::to_string(P.Height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (size_t k = 0; k < P.Data.size(); k += 3) bytes.insert(bytes.end(), {P.Data[k + 2], P.Data[k + 1], P.Data[k]});
    WriteFile(Path, bytes);
}

class JpegTools : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("cjpeg") || !HaveTool("djpeg")) KW_SKIP_UNLESS_CI() << "cjpeg/djpeg (libjpeg-turbo-progs) not installed";
        ASSERT_TRUE(Shell("mkdir -p " + kDir));
        WritePPM(kDir + "/in.ppm", MakePicture(77, 45));
    }
    void TearDown() override { std::system(("rm -rf " + kDir).c_str()); }
};

}  // namespace

TEST_F(JpegTools, CjpegFilesDecodeLikeDjpeg) {
    struct Case {
        const char* Options;
        bool Grey;
    } cases[] = {{"", false},           {"-progressive", false}, {"-arithmetic", false},
                 {"-grayscale", true},  {"-rgb", false},         {"-quality 40 -sample 1x1 -optimize", false},
                 {"-restart 1", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Options);
        ASSERT_TRUE(Shell("cjpeg " + std::string(c.Options) + " -outfile " + kDir + "/a.jpg " + kDir + "/in.ppm"));
        ASSERT_TRUE(Shell("djpeg -pnm -outfile " + kDir + "/a.pnm " + kDir + "/a.jpg"));
        TLoad load;
        load.NativePixelFormat = true;
        load.Run(ReadFile(kDir + "/a.jpg"));
        EXPECT_FALSE(load.Aborting);
        EXPECT_EQ(load.Bitmap.GetPixelFormat(), c.Grey ? ie8g : ie24RGB);
        EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), ReadPNM(kDir + "/a.pnm")), 0);
    }
}

TEST_F(JpegTools, ScaledDecodingLikeDjpegScale) {
    ASSERT_TRUE(Shell("cjpeg -outfile " + kDir + "/a.jpg " + kDir + "/in.ppm"));
    const std::vector<uint8_t> jpeg = ReadFile(kDir + "/a.jpg");
    const char* scales[] = {nullptr, "1/1", "1/2", "1/4", "1/8"};
    for (uint8_t scale = 1; scale <= 4; ++scale) {
        SCOPED_TRACE(scales[scale]);
        ASSERT_TRUE(Shell(std::string("djpeg -pnm -scale ") + scales[scale] + " -outfile " + kDir + "/s.pnm " + kDir +
                        "/a.jpg"));
        TLoad load;
        load.Params.JPEGScale = scale;
        load.Run(jpeg);
        EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), ReadPNM(kDir + "/s.pnm")), 0);
    }
}

TEST_F(JpegTools, OurFilesDecodeInDjpegLikeInOurReader) {
    TIEBitmap bmp;
    ToBitmap(MakePicture(77, 45), bmp, ie24RGB);
    struct Case {
        uint8_t ColorSpace, Subsampling;
        bool Progressive, Optimal;
        uint8_t DCT;
    } cases[] = {{2, 1, false, false, 0}, {2, 0, true, true, 0}, {2, 2, false, false, 2}, {0, 1, false, true, 0},
                 {1, 1, true, false, 0}, {2, 1, false, false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.ColorSpace) << int(c.Subsampling) << c.Progressive << int(c.DCT));
        TIOParamsVals p(nullptr);
        p.JPEGColorSpace = c.ColorSpace;
        p.JPEGCromaSubsampling = c.Subsampling;
        p.JPEGProgressive = c.Progressive;
        p.JPEGOptimalHuffman = c.Optimal;
        p.JPEGDCTMethod = c.DCT;
        const std::vector<uint8_t> saved = Save(bmp, p);
        WriteFile(kDir + "/o.jpg", saved);
        ASSERT_TRUE(Shell("djpeg -pnm -outfile " + kDir + "/o.pnm " + kDir + "/o.jpg"));
        const TPixels djpeg = ReadPNM(kDir + "/o.pnm");
        TLoad load;
        load.NativePixelFormat = true;
        load.Run(saved);
        EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), djpeg), 0);
        if (c.ColorSpace != 1) {
            EXPECT_LE(MeanDifference(djpeg, MakePicture(77, 45)), 6);
        }
    }
}

TEST_F(JpegTools, AdobeCMYKFromImageMagick) {
    if (!HaveTool("convert")) KW_SKIP_UNLESS_CI() << "ImageMagick not installed";
    ASSERT_TRUE(Shell("convert " + kDir + "/in.ppm -colorspace CMYK -quality 95 " + kDir + "/c.jpg"));
    ASSERT_TRUE(Shell("convert " + kDir + "/c.jpg -depth 8 cmyk:" + kDir + "/c.cmyk"));
    ASSERT_TRUE(Shell("convert " + kDir + "/c.jpg -colorspace sRGB -depth 8 ppm:" + kDir + "/c.ppm"));
    const std::vector<uint8_t> jpeg = ReadFile(kDir + "/c.jpg");
    const std::vector<uint8_t> inks = ReadFile(kDir + "/c.cmyk");

    TLoad native;
    native.NativePixelFormat = true;
    native.Run(jpeg);
    ASSERT_EQ(native.Bitmap.GetPixelFormat(), ieCMYK);
    TPixels expected{77, 45, 4, {}};
    for (uint8_t ink : inks) expected.Data.push_back(static_cast<uint8_t>(255 - ink));   // held as 255 minus the ink
    EXPECT_LE(MaxDifference(FromBitmap(native.Bitmap), expected), 1);

    TLoad rgb;
    rgb.Run(jpeg);
    ASSERT_EQ(rgb.Bitmap.GetPixelFormat(), ie24RGB);
    EXPECT_LE(MaxDifference(FromBitmap(rgb.Bitmap), ReadPNM(kDir + "/c.ppm")), 2);
}
