// Bitmap files checked against ImageMagick, which no one here wrote: every depth, header and
// compression it writes decodes to the pixels it reads back itself, and every form we write it
// reads with our pixels.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "imaging_io/CodecTestUtil.h"
#include "imaging/codecs/bmpfilt.h"

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
        char tmpl[] = "/tmp/iebmp_XXXXXX";
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

}  // namespace

TEST(BMPMagick, DecodesEveryFormImageMagickWrites) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
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
        int32_t worst = 0;
        const size_t step = c.alpha ? 4 : 3;
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 37; ++x) {
                const TIERGB p = bitmap.GetPixelAsRGB(x, y);
                const uint8_t* e = &expected[(size_t)(y * 37 + x) * step];
                worst = std::max({worst, std::abs(p.r - e[0]), std::abs(p.g - e[1]), std::abs(p.b - e[2])});
                if (mask) worst = std::max(worst, std::abs(mask->GetPixel(x, y) - e[3]));
            }
        EXPECT_LE(worst, c.tolerance);
        delete mask;
    }
}

TEST(BMPMagick, ImageMagickReadsWhatWeWrite) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
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
        const std::vector<uint8_t> source = MagickPixels(ppm, dir.Path, false);
        ASSERT_EQ(source.size(), 37u * 9 * 3);
        TIEBitmap bitmap(37, 9, ie24RGB);
        for (int32_t y = 0; y < 9; ++y)
            for (int32_t x = 0; x < 37; ++x) {
                const uint8_t* p = &source[(size_t)(y * 37 + x) * 3];
                bitmap.SetPixelRGB(x, y, TIERGB{p[2], p[1], p[0]});
                if (c.alpha) bitmap.SetAlpha(x, y, (uint8_t)(x * 7));
            }
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
