// The GIF codec against ImageMagick and giflib, which no one here wrote: their files (animated
// ones frame by frame, interlaced, with local tables and transparency) decode to the pixels the
// tools decode, and the files we write the tools read back with our pixels. Skipped where the
// tools are absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../imaging_codecs/CodecTestUtil.h"
#include "CodecToolsUtil.h"
#include "giffilter.h"
#include "giflzw.h"
#include "iebitmap.h"
#include "iemask.h"
#include "support/ToolSkip.h"

using namespace codectest;
using namespace codectools;
namespace fs = std::filesystem;

namespace {

bool HaveTools() {
    return std::system("command -v convert >/dev/null && command -v gif2rgb >/dev/null && "
                       "command -v giftool >/dev/null") == 0;
}

struct TGif : TCall {
    TIEBitmap Bitmap;
    TIEMask* Mask = nullptr;
    int32_t Frames = 0;
    TGif() {
        Params.GIFLZWDecompress = IEGIFLZWDecompress;
        Params.GIFLZWCompress = IEGIFLZWCompress;
    }
    ~TGif() { delete Mask; }
    bool Read(const std::string& File, int32_t Index) {
        TMemoryStream in;
        Fill(in, File);
        Params.GIFImageIndex = Index;
        IEReadGIFStream(in, &Bitmap, Frames, Params, Progress, false, Mask, false);
        return !Aborting;
    }
};

// Our frame as RGBA (alpha 0 where the mask says transparent, else 255).
std::string OurRGBA(TGif& G) {
    std::string out;
    for (int32_t y = 0; y < G.Bitmap.GetHeight(); ++y)
        for (int32_t x = 0; x < G.Bitmap.GetWidth(); ++x) {
            const TIERGB c = G.Bitmap.GetPixelAsRGB(x, y);
            out += {(char)c.r, (char)c.g, (char)c.b, (char)(G.Mask && G.Mask->GetPixel(x, y) == 0 ? 0 : 255)};
        }
    return out;
}

// The colour of transparent pixels is no one's business: RGBA with those pixels all zero.
std::string Normalised(std::string RGBA) {
    for (size_t i = 0; i + 3 < RGBA.size(); i += 4)
        if (RGBA[i + 3] == 0) RGBA[i] = RGBA[i + 1] = RGBA[i + 2] = 0;
    return RGBA;
}

class GifTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) KW_SKIP_UNLESS_CI() << "ImageMagick or giflib's tools are not installed";
        char tmpl[] = "/tmp/kw_gif_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
    }
    void TearDown() override {
        if (!Dir.empty()) fs::remove_all(Dir);
    }
    // ImageMagick's RGBA of frame Index alone (no composition over earlier frames).
    std::string MagickFrame(const std::string& File, int32_t Index) {
        return Shell(Dir, "convert \"" + File + "[" + std::to_string(Index) + "]\" -depth 8 rgba:-");
    }
    // Every frame of File as ImageMagick reads it; the frame count as identify gives it.
    void ExpectFramesLikeMagick(const std::string& File) {
        const std::string bytes = Slurp(Dir / File);
        const int32_t frames = std::atoi(Shell(Dir, "identify -format \"%n\\n\" " + File + " | head -1").c_str());
        ASSERT_GT(frames, 0) << File;
        for (int32_t i = 0; i < frames; ++i) {
            TGif g;
            ASSERT_TRUE(g.Read(bytes, i)) << File << " frame " << i;
            EXPECT_EQ(g.Frames, frames) << File;
            EXPECT_EQ(Normalised(OurRGBA(g)), Normalised(MagickFrame(File, i))) << File << " frame " << i;
        }
    }
    fs::path Dir;
};

}  // namespace

TEST_F(GifTools, ImageMagickFilesFrameByFrame) {
    const char* makes[] = {
        "convert -seed 5 -size 37x9 plasma: -colors 256 p256.gif",
        "convert -seed 6 -size 37x9 plasma: -colors 5 p5.gif",
        "convert -seed 7 -size 37x9 plasma: -monochrome bw.gif",
        "convert -seed 8 -size 41x23 plasma: -colors 64 -interlace GIF il.gif",
        "convert -size 20x10 xc:red -fill blue -draw \"rectangle 3,2 8,6\" -transparent blue tr.gif",
        // Three frames at offsets, with local tables and a delay and disposal of their own.
        "convert -delay 7 -seed 1 -size 20x10 plasma: -page +3+2 -seed 2 -size 12x6 plasma: -page +1+1 "
        "-size 8x8 gradient:red-blue -set dispose Background anim.gif",
    };
    for (const char* make : makes) ASSERT_FALSE(Shell(Dir, std::string(make) + " && echo ok").empty()) << make;
    for (const char* file : {"p256.gif", "p5.gif", "bw.gif", "il.gif", "tr.gif", "anim.gif"}) ExpectFramesLikeMagick(file);

    TGif bw;
    ASSERT_TRUE(bw.Read(Slurp(Dir / "bw.gif"), 0));
    EXPECT_EQ(bw.Bitmap.GetPixelFormat(), ie1g);
    TGif second;
    ASSERT_TRUE(second.Read(Slurp(Dir / "anim.gif"), 1));
    EXPECT_EQ(second.Params.GIFXPos, 3);
    EXPECT_EQ(second.Params.GIFYPos, 2);
    EXPECT_EQ(second.Params.GIFDelayTime, 7);
    EXPECT_EQ(second.Params.GIFAction, 2);
    TGif tr;
    ASSERT_TRUE(tr.Read(Slurp(Dir / "tr.gif"), 0));
    EXPECT_NE(tr.Mask, nullptr);
}

// giflib's encoder, and its file interlaced by giftool.
TEST_F(GifTools, GiflibFiles) {
    std::string rgb;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 37; ++x) rgb += {(char)(x * 7), (char)(y * 28), (char)((x * y) % 255)};
    std::ofstream(Dir / "in.rgb", std::ios::binary) << rgb;
    ASSERT_FALSE(Shell(Dir, "gif2rgb -1 -c 8 -s 37 9 in.rgb > g.gif && giftool -i 1 < g.gif > gi.gif && "
                            "gif2rgb -1 -o g.rgb g.gif && echo ok")
                     .empty());
    const std::string reference = Slurp(Dir / "g.rgb");
    for (const char* file : {"g.gif", "gi.gif"}) {
        TGif g;
        ASSERT_TRUE(g.Read(Slurp(Dir / file), 0)) << file;
        EXPECT_EQ(RGBBytes(g.Bitmap), reference) << file;
    }
    TGif interlaced;
    ASSERT_TRUE(interlaced.Read(Slurp(Dir / "gi.gif"), 0));
    EXPECT_TRUE(interlaced.Params.GIFInterlaced);
}

// What we write, ImageMagick and giflib read with our pixels: colour (exact up to 256 colours),
// interlaced, transparent, black and white.
TEST_F(GifTools, OurFilesReadBackByTheTools) {
    TIEBitmap picture(53, 21, ie24RGB);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 53; ++x) {
            const int32_t i = (x * 5 + y * 11) % 200;
            picture.SetPixelRGB(x, y, TIERGB{(uint8_t)(i * 13), (uint8_t)(255 - i), (uint8_t)i});
        }
    TIEBitmap withAlpha(&picture);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 53; ++x) withAlpha.SetAlpha(x, y, (x / 4 + y / 3) % 2 ? 255 : 0);
    TIEBitmap bw(53, 21, ie1g);
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 53; ++x)
            if ((x + y) % 3) bw.GetScanline(y)[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
            else bw.GetScanline(y)[x >> 3] &= (uint8_t)~(0x80 >> (x & 7));

    const struct {
        TIEBitmap* Image;
        int32_t Bits;
        bool Interlaced;
    } cases[] = {{&picture, 8, false}, {&picture, 8, true}, {&withAlpha, 8, false}, {&bw, 1, true}};
    for (const auto& k : cases) {
        TGif w;
        w.Params.BitsPerSample = k.Bits;
        w.Params.GIFInterlaced = k.Interlaced;
        TMemoryStream out;
        IEWriteGIFStream(out, k.Image, w.Params, w.Progress);
        ASSERT_FALSE(w.Aborting);
        Save(Dir / "ours.gif", out);
        std::string expected;
        for (int32_t y = 0; y < 21; ++y)
            for (int32_t x = 0; x < 53; ++x) {
                const TIERGB c = k.Image->GetPixelAsRGB(x, y);
                const bool clear = k.Image->HasAlphaChannel() && k.Image->GetAlpha(x, y) < 255;
                expected += {(char)c.r, (char)c.g, (char)c.b, (char)(clear ? 0 : 255)};
            }
        EXPECT_EQ(Normalised(MagickFrame("ours.gif", 0)), Normalised(expected)) << k.Bits << k.Interlaced;
        if (!k.Image->HasAlphaChannel()) {
            ASSERT_FALSE(Shell(Dir, "gif2rgb -1 -o ours.rgb ours.gif && echo ok").empty());
            EXPECT_EQ(Slurp(Dir / "ours.rgb"), RGBBytes(*k.Image)) << k.Bits << k.Interlaced;
        }
        EXPECT_EQ(Shell(Dir, "giftext ours.gif | grep -c \"Image is Interlaced\" || true"), k.Interlaced ? "1\n" : "0\n");
    }
}
