// Bitmap and TGA files checked against ImageMagick and netpbm, which no one here wrote: every
// depth, header and compression ImageMagick writes decodes to the pixels the tools read from it,
// and every form we write ImageMagick reads with our pixels. (ImageMagick 6 writes TGA rows top
// row first while its header says bottom-up, and reads them back the same way; netpbm's tgatoppm
// reads the header as written, and so do we: its pixels are the reference for TGA.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "imaging_io/CodecTestUtil.h"
#include "imaging/codecs/bmpfilt.h"
#include "imaging/codecs/ietgafil.h"
#include "support/ToolSkip.h"

namespace {

bool HaveConvert() { return std::system("command -v convert >/dev/null 2>&1") == 0; }

int RunShell(const std::string& Command) { return std::system(("timeout 60 " + Command + " 2>/dev/null").c_str()); }

std::vector<uint8_t> Slurp(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void Spit(const std::string& Path, const void* Data, size_t Size) {
    std::ofstream(Path, std::ios::binary).write((const char*)Data, (std::streamsize)Size);
}

struct TTempDir {
    std::string Path;
    TTempDir() {
        char tmpl[] = "/tmp/iecodec_XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TTempDir() { (void)!std::system(("rm -rf '" + Path + "'").c_str()); }
};

// A 37 x 9 picture of Count colours (2: black and white) as a binary PPM.
void WritePPM(const std::string& Path, int32_t Count) {
    std::string d = "P6\n37 9\n255\n";
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) {
            const int32_t i = (x * 7 + y * 13 + x * y) % Count;
            if (Count == 2)
                d.append(3, i ? '\xff' : '\0');
            else {
                d.push_back((char)(i * 53));
                d.push_back((char)(255 - i * 29));
                d.push_back((char)(i * 97));
            }
        }
    Spit(Path, d.data(), d.size());
}

// The RGB bytes (and alpha when asked) ImageMagick reads from a file, rows top-down.
std::vector<uint8_t> MagickPixels(const std::string& File, const std::string& Dir, bool Alpha) {
    const std::string out = Dir + "/pixels.raw";
    if (RunShell("convert '" + File + "' " + (Alpha ? "-depth 8 rgba:'" : "-alpha off -depth 8 rgb:'") + out + "'") != 0)
        return {};
    return Slurp(out);
}

// The largest difference between a decoded 37 x 9 image (and its mask) and ImageMagick's pixels.
int32_t WorstDifference(TIEBitmap& Bitmap, TIEMask* Mask, const std::vector<uint8_t>& Expected, bool Alpha) {
    int32_t worst = 0;
    const size_t step = Alpha ? 4 : 3;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) {
            const TIERGB p = Bitmap.GetPixelAsRGB(x, y);
            const uint8_t* e = &Expected[(size_t)(y * 37 + x) * step];
            worst = std::max({worst, std::abs(p.r - e[0]), std::abs(p.g - e[1]), std::abs(p.b - e[2])});
            if (Mask) worst = std::max(worst, std::abs(Mask->GetPixel(x, y) - e[3]));
        }
    return worst;
}

// The 37 x 9 picture ImageMagick reads from a PPM, as an ie24RGB bitmap.
bool LoadPicture(const std::string& PPM, const std::string& Dir, TIEBitmap& Bitmap) {
    const std::vector<uint8_t> source = MagickPixels(PPM, Dir, false);
    if (source.size() != 37u * 9 * 3) return false;
    Bitmap.Allocate(37, 9, ie24RGB);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) {
            const uint8_t* p = &source[(size_t)(y * 37 + x) * 3];
            Bitmap.SetPixelRGB(x, y, TIERGB{p[2], p[1], p[0]});
        }
    return true;
}

// The RGB bytes netpbm's tgatoppm reads from a TGA file, rows top-down.
std::vector<uint8_t> NetpbmPixels(const std::string& File, const std::string& Dir) {
    const std::string out = Dir + "/pixels.ppm";
    if (RunShell("tgatoppm '" + File + "' > '" + out + "'") != 0) return {};
    std::vector<uint8_t> d = Slurp(out);
    // Skip "P6", the size and the maximum, each ended by one white-space byte.
    size_t at = 0;
    for (int32_t fields = 0; fields < 4 && at < d.size(); ++fields) {
        while (at < d.size() && !std::isspace(d[at])) ++at;
        ++at;
    }
    return at <= d.size() ? std::vector<uint8_t>(d.begin() + (ptrdiff_t)at, d.end()) : std::vector<uint8_t>{};
}

}  // namespace

TEST(BMPMagick, DecodesEveryFormImageMagickWrites) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick's convert is not installed";
    TTempDir dir;
    const std::string few = dir.Path + "/few.ppm", many = dir.Path + "/many.ppm", bw = dir.Path + "/bw.ppm";
    WritePPM(few, 12);
    WritePPM(many, 200);
    WritePPM(bw, 2);
    struct TCase {
        const char* source;
        const char* options;
        int32_t bits, compression, tolerance;
        bool alpha;
    } cases[] = {
        {"bw", "-type bilevel BMP3:", 1, 0, 0, false},
        {"many", "-type palette -compress none BMP3:", 8, 0, 0, false},
        {"few", "-colors 16 -type palette -compress none BMP3:", 4, 0, 0, false},
        {"few", "-colors 16 -type palette BMP2:", 4, 0, 0, false},
        {"many", "-type palette BMP2:", 8, 0, 0, false},
        {"many", "-type palette -compress RLE BMP3:", 8, 1, 0, false},
        {"few", "-colors 16 -type palette -compress RLE BMP3:", 8, 1, 0, false},
        {"many", "-define bmp:subtype=RGB565 BMP:", 16, 3, 7, false},
        {"many", "-type truecolor BMP3:", 24, 0, 0, false},
        {"many", "-type truecolor BMP2:", 24, 0, 0, false},
        {"many", "-type truecolor BMP:", 24, 0, 0, false},
        {"many", "-alpha set -channel A -fx 'i/w' +channel BMP:", 32, 3, 0, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string file = dir.Path + "/case.bmp";
        ASSERT_EQ(RunShell("convert '" + dir.Path + "/" + c.source + ".ppm' " + c.options + "'" + file + "'"), 0);
        const std::vector<uint8_t> data = Slurp(file);
        ASSERT_GT(data.size(), 54u);
        const int32_t headerSize = data[14];
        EXPECT_EQ(headerSize == 12 ? data[24] : data[28], c.bits);
        if (headerSize != 12) EXPECT_EQ(data[30], c.compression);
        const std::vector<uint8_t> expected = MagickPixels(file, dir.Path, c.alpha);
        ASSERT_EQ(expected.size(), 37u * 9 * (c.alpha ? 4 : 3));

        TMemoryStream s;
        s.WriteBuffer(data.data(), (int32_t)data.size());
        s.SetPosition(0);
        codectest::TProgress progress;
        TIEBitmap bitmap;
        TIEMask* mask = nullptr;
        IEReadBMPStream(s, &bitmap, 0, codectest::Params(), progress.Record, false, false, mask, false);
        ASSERT_FALSE(progress.Abort);
        ASSERT_EQ(bitmap.GetWidth(), 37);
        ASSERT_EQ(bitmap.GetHeight(), 9);
        EXPECT_EQ(mask != nullptr, c.alpha);
        const int32_t worst = WorstDifference(bitmap, mask, expected, c.alpha);
        EXPECT_LE(worst, c.tolerance);
        delete mask;
    }
}

TEST(BMPMagick, ImageMagickReadsWhatWeWrite) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick's convert is not installed";
    TTempDir dir;
    struct TCase {
        int32_t colours, bits, samples, version, compression;
        bool alpha;
    } cases[] = {
        {2, 1, 1, 1, 0, false},   {12, 4, 1, 1, 0, false},  {12, 4, 1, 1, 1, false},  {12, 4, 1, 2, 0, false},
        {200, 8, 1, 1, 0, false}, {200, 8, 1, 1, 1, false}, {200, 8, 1, 2, 0, false},
        {200, 8, 3, 1, 0, false}, {200, 8, 3, 2, 0, false}, {200, 8, 3, 0, 0, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, version " << c.version << ", rle " << c.compression);
        const std::string ppm = dir.Path + "/src.ppm";
        WritePPM(ppm, c.colours);
        TIEBitmap bitmap;
        ASSERT_TRUE(LoadPicture(ppm, dir.Path, bitmap));
        const std::vector<uint8_t> source = MagickPixels(ppm, dir.Path, false);
        for (int32_t y = 0; y < 9 && c.alpha; ++y)
            for (int32_t x = 0; x < 37; ++x) bitmap.SetAlpha(x, y, (uint8_t)(x * 7));
        TIOParamsVals& params = codectest::Params();
        params.BitsPerSample = c.bits;
        params.SamplesPerPixel = c.samples;
        params.BMPVersion = (uint8_t)c.version;
        params.BMPCompression = (uint8_t)c.compression;
        TMemoryStream s;
        codectest::TProgress progress;
        IEWriteBMPStream(s, &bitmap, params, progress.Record, true);
        ASSERT_FALSE(progress.Abort);
        const std::string file = dir.Path + "/ours.bmp";
        Spit(file, s.GetMemory(), (size_t)s.GetSize());
        const std::vector<uint8_t> back = MagickPixels(file, dir.Path, c.alpha);
        ASSERT_EQ(back.size(), 37u * 9 * (c.alpha ? 4 : 3));
        const size_t step = c.alpha ? 4 : 3;
        for (size_t i = 0; i < 37u * 9; ++i) {
            ASSERT_TRUE(std::equal(&source[i * 3], &source[i * 3 + 3], &back[i * step])) << "pixel " << i;
            if (c.alpha) ASSERT_EQ(back[i * 4 + 3], (uint8_t)((i % 37) * 7)) << "alpha " << i;
        }
    }
}

TEST(TGAMagick, DecodesEveryFormImageMagickWrites) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick's convert is not installed";
    if (std::system("command -v tgatoppm >/dev/null 2>&1") != 0) KW_SKIP_UNLESS_CI() << "netpbm's tgatoppm is not installed";
    TTempDir dir;
    WritePPM(dir.Path + "/few.ppm", 12);
    WritePPM(dir.Path + "/many.ppm", 200);
    WritePPM(dir.Path + "/bw.ppm", 2);
    struct TCase {
        const char* source;
        const char* options;
        bool alpha;
    } cases[] = {
        {"many", "-compress none", false},
        {"many", "-compress rle", false},
        {"few", "-type palette -compress none", false},
        {"few", "-type palette -compress rle", false},
        {"many", "-type grayscale -compress none", false},
        {"many", "-type grayscale -compress rle", false},
        {"bw", "-type bilevel", false},
        {"many", "-alpha set -channel A -fx i/w +channel -compress none", true},
        {"many", "-alpha set -channel A -fx i/w +channel -compress rle", true},
        {"many", "-flip -compress none", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string file = dir.Path + "/case.tga";
        ASSERT_EQ(RunShell("convert '" + dir.Path + "/" + c.source + ".ppm' " + c.options + " '" + file + "'"), 0);
        const std::vector<uint8_t> data = Slurp(file);
        const std::vector<uint8_t> expected = NetpbmPixels(file, dir.Path);
        ASSERT_EQ(expected.size(), 37u * 9 * 3);
        TMemoryStream s;
        s.WriteBuffer(data.data(), (int32_t)data.size());
        s.SetPosition(0);
        ASSERT_TRUE(IEIsTGA(s));
        codectest::TProgress progress;
        TIEBitmap bitmap;
        TIEMask* mask = nullptr;
        IEReadTGAStream(s, &bitmap, codectest::Params(), progress.Record, false, mask, false);
        ASSERT_FALSE(progress.Abort);
        ASSERT_EQ(bitmap.GetWidth(), 37);
        ASSERT_EQ(bitmap.GetHeight(), 9);
        EXPECT_EQ(mask != nullptr, c.alpha);
        EXPECT_EQ(WorstDifference(bitmap, nullptr, expected, false), 0);
        delete mask;
    }
}

TEST(TGAMagick, ImageMagickReadsWhatWeWrite) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick's convert is not installed";
    TTempDir dir;
    struct TCase {
        int32_t colours, samples, bits;
        bool compressed, gray, alpha;
    } cases[] = {
        {200, 1, 8, false, false, false}, {200, 1, 8, true, false, false},
        {200, 3, 8, false, false, false}, {200, 3, 8, true, false, false},  {200, 3, 8, false, false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, rle " << c.compressed << ", alpha " << c.alpha);
        const std::string ppm = dir.Path + "/src.ppm";
        WritePPM(ppm, c.colours);
        TIEBitmap bitmap;
        ASSERT_TRUE(LoadPicture(ppm, dir.Path, bitmap));
        TIEMask mask;
        mask.Allocate(37, 9, 8);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 37; ++x) mask.SetPixel(x, y, x * 7);
        TIOParamsVals& params = codectest::Params();
        params.SamplesPerPixel = c.samples;
        params.BitsPerSample = c.bits;
        params.TGACompressed = c.compressed;
        params.TGAGrayLevel = c.gray;
        TMemoryStream s;
        codectest::TProgress progress;
        IEWriteTGAStream(s, &bitmap, params, progress.Record, c.alpha ? &mask : nullptr);
        ASSERT_FALSE(progress.Abort);
        const std::string file = dir.Path + "/ours.tga";
        Spit(file, s.GetMemory(), (size_t)s.GetSize());
        const std::vector<uint8_t> back = MagickPixels(file, dir.Path, c.alpha);
        ASSERT_EQ(back.size(), 37u * 9 * (c.alpha ? 4 : 3));
        TIEMask* none = nullptr;
        EXPECT_EQ(WorstDifference(bitmap, c.alpha ? &mask : none, back, c.alpha), 0);
    }
}
