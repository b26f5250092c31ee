// PSD files checked against ImageMagick, which no one here wrote: the documents it writes (8 and
// 16 bits, grey, RGB with and without alpha, CMYK, indexed, 1-bit, raw and PackBits, with layers)
// decode to the pixels it reads from them, and the documents we write it reads with our pixels
// and layer positions.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "iebitmap.h"
#include "imaging_codecs/CodecTestUtil.h"
#include "imaging/codecs/iepsd.h"
#include "support/ToolSkip.h"

namespace {

bool HaveConvert() { return std::system("command -v convert >/dev/null 2>&1") == 0; }
int RunShell(const std::string& Command) { return std::system(("timeout 60 " + Command + " 2>/dev/null").c_str()); }

std::string Slurp(const std::string& Path) {
    std::ifstream f(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

struct TTempDir {
    std::string Path;
    TTempDir() {
        char tmpl[] = "/tmp/iepsd_XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TTempDir() { (void)!std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

constexpr int W = 13, H = 5;

// A W x H picture whose pixels all differ, as a binary PPM.
void WritePPM(const std::string& Path) {
    std::string d = "P6\n13 5\n255\n";
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            d += (char)((x * 19 + y * 7) % 256);
            d += (char)((x * 3 + y * 50) % 256);
            d += (char)((x * x + y) % 256);
        }
    std::ofstream(Path, std::ios::binary) << d;
}

// ImageMagick's raw samples of an image: MAP is rgb, rgba, gray or cmyk.
std::string Magick(const std::string& File, const std::string& Map, int Depth) {
    const std::string out = File + "." + Map + ".raw";
    if (RunShell("convert '" + File + "' -depth " + std::to_string(Depth) + " -endian MSB " + Map + ":'" + out + "'") != 0)
        return "";
    return Slurp(out);
}

void ReadFile(const std::string& Path, TIEBitmap* Bitmap, codectest::TCall& Call, bool Native, bool LoadLayers = false,
              TIEPSDLayerList* Layers = nullptr) {
    TMemoryStream s;
    codectest::Fill(s, Slurp(Path));
    Call.Params.NativePixelFormat = Native;
    IEReadPSDStream(&s, Bitmap, Call.Params, Call.Progress, LoadLayers, Layers);
}

// Our pixels in the layout ImageMagick's raw output has for Map.
std::string Samples(TIEBitmap& B, const std::string& Map) {
    std::string out;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        const uint8_t* row = B.GetScanline(y);
        for (int32_t x = 0; x < B.GetWidth(); ++x) switch (B.GetPixelFormat()) {
                case ie1g: out += (row[x >> 3] & (0x80 >> (x & 7))) ? '\xff' : '\0'; break;
                case ie8g: out += (char)row[x]; break;
                case ie16g: {
                    uint16_t v;
                    std::memcpy(&v, row + x * 2, 2);
                    out += (char)(v >> 8);
                    out += (char)v;
                    break;
                }
                case ieRGB48:
                    for (int k = 0; k < 3; ++k) {
                        uint16_t v;
                        std::memcpy(&v, row + (x * 3 + k) * 2, 2);
                        out += (char)(v >> 8);
                        out += (char)v;
                    }
                    break;
                case ieCMYK:
                    for (int k = 0; k < 4; ++k) out += (char)(255 - row[x * 4 + k]);   // ink, not its inverse
                    break;
                default: {
                    const TIERGB c = B.GetPixelAsRGB(x, y);
                    out += (char)c.r;
                    out += (char)c.g;
                    out += (char)c.b;
                    if (Map == "rgba") out += (char)B.GetAlpha(x, y);
                }
            }
    }
    return out;
}

}  // namespace

TEST(IEPSDMagick, DocumentsImageMagickWrites) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick is not installed";
    TTempDir dir;
    WritePPM(dir / "a.ppm");
    struct Case {
        const char* name;
        const char* options;
        bool native;
        TIEPixelFormat format;
        const char* map;
        int depth;
    } cases[] = {
        {"rgb8", "", true, ie24RGB, "rgb", 8},
        {"rgb8rle", "-compress RLE", true, ie24RGB, "rgb", 8},
        {"rgb16", "-depth 16", true, ieRGB48, "rgb", 16},
        {"rgb16to24", "-depth 16 -compress RLE", false, ie24RGB, "rgb", 8},
        {"grey8", "-colorspace gray", true, ie8g, "gray", 8},
        {"grey16", "-colorspace gray -depth 16 -compress RLE", true, ie16g, "gray", 16},
        {"cmyk", "-colorspace CMYK", true, ieCMYK, "cmyk", 8},
        {"cmykrle", "-colorspace CMYK -compress RLE", true, ieCMYK, "cmyk", 8},
        {"indexed", "-type Palette", false, ie24RGB, "rgb", 8},
        {"bilevel", "-monochrome -depth 1", true, ie1g, "gray", 8},
        {"rgba", "-alpha set -channel A -fx \"i/w\" +channel", true, ie24RGB, "rgba", 8},
        {"rgbarle", "-alpha set -channel A -fx \"j/h\" +channel -compress RLE", true, ie24RGB, "rgba", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / (std::string(c.name) + ".psd");
        ASSERT_EQ(RunShell("convert '" + (dir / "a.ppm") + "' " + c.options + " '" + file + "'"), 0);
        // ImageMagick 6 does not read indexed documents back ("improper image header"); their
        // palette holds every colour of the picture, so the picture itself is the reference.
        // With alpha it reads the colours as blended with white and takes the white out again, which
        // is not what the file holds: the picture made with the same options is the reference.
        const bool indexed = std::strcmp(c.name, "indexed") == 0;
        const bool alpha = std::strcmp(c.map, "rgba") == 0;
        const std::string pam = dir / (std::string(c.name) + ".pam");
        if (alpha) ASSERT_EQ(RunShell("convert '" + (dir / "a.ppm") + "' " + c.options + " '" + pam + "'"), 0);
        const std::string ref = Magick(indexed ? dir / "a.ppm" : alpha ? pam : file + "[0]", c.map, c.depth);
        ASSERT_FALSE(ref.empty());
        for (bool withList : {false, true}) {
            // ImageMagick writes one layer: with a list it comes back as well as the composite.
            codectest::TCall call;
            TIEBitmap b;
            TIEPSDLayerList layers;
            ReadFile(file, &b, call, c.native, false, withList ? &layers : nullptr);
            ASSERT_FALSE(call.Aborting);
            EXPECT_EQ(b.GetPixelFormat(), c.format);
            EXPECT_EQ(Samples(b, c.map), ref);
            if (withList && !layers.empty()) EXPECT_EQ(Samples(*layers[0]->Bitmap, c.map), ref);
        }
    }
}

TEST(IEPSDMagick, LayersImageMagickWrites) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick is not installed";
    TTempDir dir;
    WritePPM(dir / "a.ppm");
    const std::string a = dir / "a.ppm", file = dir / "layers.psd";
    ASSERT_EQ(RunShell("convert '" + a + "' \\( '" + a + "' -crop 5x3+0+0 +repage -repage +2+1 \\) \\( '" + a +
                  "' -negate -crop 4x4+1+1 +repage -repage +6+0 \\) '" + file + "'"),
              0);
    codectest::TCall call;
    TIEPSDLayerList layers;
    TIEBitmap composite;
    ReadFile(file, &composite, call, true, true, &layers);
    ASSERT_FALSE(call.Aborting);
    EXPECT_TRUE(composite.IsEmpty());
    ASSERT_EQ(layers.size(), 2u);
    const int pos[2][2] = {{2, 1}, {6, 0}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(layers[i]->PosX, pos[i][0]);
        EXPECT_EQ(layers[i]->PosY, pos[i][1]);
        EXPECT_EQ(Samples(*layers[i]->Bitmap, "rgb"), Magick(file + "[" + std::to_string(i + 1) + "]", "rgb", 8));
    }
    // Without LoadLayers the two layers are skipped and the composite is read.
    codectest::TCall flat;
    TIEPSDLayerList none;
    ReadFile(file, &composite, flat, true, false, &none);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(Samples(composite, "rgb"), Magick(file + "[0]", "rgb", 8));
}

TEST(IEPSDMagick, ImageMagickReadsOurDocuments) {
    if (!HaveConvert()) KW_SKIP_UNLESS_CI() << "ImageMagick is not installed";
    TTempDir dir;
    struct Case {
        TIEPixelFormat format;
        const char* map;
        int depth;
    } cases[] = {{ie24RGB, "rgb", 8}, {ieRGB48, "rgb", 16}, {ie8g, "gray", 8},
                 {ie16g, "gray", 16}, {ie1g, "gray", 8},    {ieCMYK, "cmyk", 8}};
    // (Indexed documents are left out: ImageMagick 6 reads none back, not even its own.)
    for (const Case& c : cases) {
        SCOPED_TRACE((int)c.format);
        TIEBitmap image(W, H, c.format);
        const int32_t used = (W * image.GetBitCount() + 7) / 8;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t i = 0; i < used; ++i) image.GetScanline(y)[i] = (uint8_t)(y * 41 + i * 13 + i * i);
        // One layer with an alpha channel, placed off the origin.
        TIEPSDLayerList layers;
        auto layer = std::make_unique<TIEPSDLayer>();
        layer->Bitmap->Allocate(4, 3, c.format);
        image.CopyRectTo(layer->Bitmap.get(), 2, 1, 0, 0, 4, 3);
        layer->PosX = 5;
        layer->PosY = 2;
        layers.push_back(std::move(layer));
        codectest::TCall call;
        TMemoryStream s;
        IEWritePSDStream(&s, call.Params, call.Progress, &image, &layers);
        ASSERT_FALSE(call.Aborting);
        const std::string file = dir / ("ours" + std::to_string((int)c.format) + ".psd");
        std::ofstream(file, std::ios::binary) << codectest::Contents(s);

        const std::string ref = Magick(file + "[0]", c.map, c.depth);
        EXPECT_EQ(ref, Samples(image, c.map));
        EXPECT_EQ(Magick(file + "[1]", c.map, c.depth), Samples(*layers[0]->Bitmap, c.map));
        const std::string page = dir / "page.txt";
        ASSERT_EQ(RunShell("convert '" + file + "[1]' -format '%X %Y' info: > '" + page + "'"), 0);
        EXPECT_EQ(Slurp(page), "+5 +2");
    }
}
