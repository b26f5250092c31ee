// GIF loading through the component: frame N of an animation is the replay of frames 0 to N,
// checked pixel by pixel against ImageMagick's own composition (-coalesce) of the files that
// make_gif_frames.sh made; the frame index, the frame count, the single-frame case, the pixel
// format of the result and an abort in the middle of the replay.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "giflzw.h"
#include "iebitmap.h"
#include "iecoreutils_general.h"
#include "picturaio.h"
#include "picturaview.h"
#include "support/TestSupport.h"
#include "support/ToolSkip.h"

namespace {

const std::string kFrames = std::string(TEST_BUILD_DIR) + "/gif-frames/";

std::string ReadAll(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class GIFLoad : public ::testing::Test {
protected:
    void SetUp() override {
        IEPicturaViewInitialize();
        IEGIFLZWDecompressor = IEGIFLZWDecompress;
    }
    // Loads the frame Index of the fixture Name into Io from a memory stream; the frame count.
    int32_t Load(TPicturaIO& Io, const std::string& Name, int32_t Index) {
        const std::string bytes = ReadAll(kFrames + Name);
        if (bytes.empty()) return -1;
        Stream.Clear();
        Stream.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
        Stream.SetPosition(0);
        Io.GetParams()->SetImageIndex(Index);
        return Io.LoadFromStreamGIF(&Stream);
    }
    TMemoryStream Stream;
};

#define REQUIRE_FRAMES(count)                                                                                  \
    if ((count) < 0) KW_SKIP_UNLESS_CI() << "no GIF fixtures in " << kFrames << " (ImageMagick missing)"

// The bitmap equals ImageMagick's coalesced frame: the same transparency everywhere, the same
// colour wherever the pixel is opaque.
void ExpectCoalesced(TIEBitmap& Bitmap, const std::string& RgbaFile, int32_t Width, int32_t Height) {
    const std::string rgba = ReadAll(kFrames + RgbaFile);
    ASSERT_EQ(rgba.size(), static_cast<size_t>(Width) * Height * 4) << RgbaFile;
    ASSERT_EQ(Bitmap.GetWidth(), Width);
    ASSERT_EQ(Bitmap.GetHeight(), Height);
    ASSERT_TRUE(Bitmap.HasAlphaChannel()) << RgbaFile;
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(rgba.data()) + (static_cast<size_t>(y) * Width + x) * 4;
            ASSERT_EQ(Bitmap.GetAlpha(x, y), p[3]) << RgbaFile << " alpha at " << x << "," << y;
            if (p[3] == 0) continue;
            const TIERGB c = Bitmap.GetPixelAsRGB(x, y);
            ASSERT_TRUE(c.r == p[0] && c.g == p[1] && c.b == p[2])
                << RgbaFile << " at " << x << "," << y << ": " << int(c.r) << " " << int(c.g) << " " << int(c.b);
        }
}

}  // namespace

TEST_F(GIFLoad, EveryFrameIsTheReplayOfTheFramesBeforeIt) {
    // Frame 1 is restored to the background under frame 2 (transparent there), frame 3 has
    // transparent pixels, frame 4 is restored under frame 5.
    for (int32_t index = 0; index < 6; ++index) {
        TPicturaIO io(nullptr);
        const int32_t count = Load(io, "anim.gif", index);
        REQUIRE_FRAMES(count);
        EXPECT_EQ(count, 6);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie24RGB);
        ExpectCoalesced(*io.GetIEBitmap(), "anim_" + std::to_string(index) + ".rgba", 20, 16);
        // The parameters describe the composed image, the index is the one asked for.
        TIOParamsVals& p = *io.GetParams();
        EXPECT_EQ(p.GIFImageIndex, index);
        EXPECT_EQ(p.GIFXPos, 0);
        EXPECT_EQ(p.GIFYPos, 0);
        EXPECT_EQ(p.GIFAction, 2);
        EXPECT_EQ(p.FileType, ioGIF);
        EXPECT_TRUE(p.FileName.empty());
        // The background becomes the last frame's transparent colour, else the screen's.
        EXPECT_EQ(io.GetBackground(), IERGBToColor(p.GIFFlagTranspColor ? p.GIFTranspColor : p.GIFBackground));
        EXPECT_EQ(p.GIFFlagTranspColor, index == 3);
        if (index == 2) {
            // Frame 1's rectangle, restored: the screen's background colour, transparent.
            const TIERGB c = io.GetIEBitmap()->GetPixelAsRGB(4, 3);
            EXPECT_TRUE(IESameRGB(c, p.GIFBackground)) << int(c.r) << " " << int(c.g) << " " << int(c.b);
            EXPECT_FALSE(IESameRGB(c, TIERGB{0, 0, 0}));
        }
    }
}

TEST_F(GIFLoad, ReplayStopsAtTheRequestedFrameAndOutOfRangeIndexesReplayAll) {
    struct Case {
        int32_t Index;
        int32_t Shown;       // the coalesced frame expected
        int32_t LastReport;  // the last per-frame progress before the finishing 100
    };
    for (const Case& c : {Case{3, 3, 30}, Case{0, 0, 0}, Case{-1, 9, 90}, Case{10, 9, 90}, Case{99, 9, 90}}) {
        TPicturaIO io(nullptr);
        std::vector<int32_t> reports;
        io.OnProgress = [&](TObject*, int32_t per) { reports.push_back(per); };
        const int32_t count = Load(io, "ten.gif", c.Index);
        REQUIRE_FRAMES(count);
        EXPECT_EQ(count, 10) << c.Index;
        EXPECT_EQ(io.GetParams()->GIFImageIndex, c.Index);
        ExpectCoalesced(*io.GetIEBitmap(), "ten_" + std::to_string(c.Shown) + ".rgba", 12, 10);
        ASSERT_GE(reports.size(), 2u);
        EXPECT_EQ(reports.back(), 100);
        if (c.Index > 0) {
            // Replaying several frames: one report per frame, then the finishing 100.
            EXPECT_EQ(reports[reports.size() - 2], c.LastReport) << c.Index;
            EXPECT_EQ(reports.size(), static_cast<size_t>(c.Shown + 2)) << c.Index;
        }
    }
}

TEST_F(GIFLoad, SingleFrameKeepsItsOwnSizeFromFileToo) {
    const std::string bytes = ReadAll(kFrames + "single.gif");
    if (bytes.empty()) KW_SKIP_UNLESS_CI() << "no GIF fixtures in " << kFrames;
    testsupport::TScratchDir dir(L"KWGif_");
    const std::wstring name = dir / L"single.gif";
    testsupport::WriteFileBytes(name, bytes);
    TPicturaIO io(nullptr);
    // Whatever alpha channel the bitmap had goes: a single frame has no transparency.
    io.GetIEBitmap()->Allocate(3, 3, ie24RGB);
    io.GetIEBitmap()->GetAlphaChannel();
    EXPECT_EQ(io.LoadFromFileGIF(name), 1);
    EXPECT_FALSE(io.Aborting);
    TIEBitmap& b = *io.GetIEBitmap();
    EXPECT_EQ(b.GetWidth(), 5);
    EXPECT_EQ(b.GetHeight(), 4);
    EXPECT_FALSE(b.HasAlphaChannel());
    const TIERGB c = b.GetPixelAsRGB(4, 3);
    EXPECT_TRUE(c.r == 0x80 && c.g == 0x40 && c.b == 0x20);
    EXPECT_EQ(io.GetParams()->FileName, name);
    EXPECT_EQ(io.GetParams()->GIFXPos, 2);   // no composition: the frame's own position stays
}

TEST_F(GIFLoad, CompositionGoesBackToTheReadersPaletteFormat) {
    TPicturaIO io(nullptr);
    io.SetNativePixelFormat(true);
    const int32_t count = Load(io, "anim.gif", 5);
    REQUIRE_FRAMES(count);
    EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie8p);
    ExpectCoalesced(*io.GetIEBitmap(), "anim_5.rgba", 20, 16);
}

// Black-and-white frames composed go back to 1 bit by their two colours: an all-black canvas
// stays black (a threshold at the mean turned it white).
TEST_F(GIFLoad, BlackAndWhiteFramesStayBlackAndWhite) {
    for (int32_t index : {0, 1}) {
        TPicturaIO io(nullptr);
        const int32_t count = Load(io, "bw.gif", index);
        REQUIRE_FRAMES(count);
        EXPECT_EQ(count, 2);
        TIEBitmap& b = *io.GetIEBitmap();
        EXPECT_EQ(b.GetPixelFormat(), ie1g);
        const std::string rgba = ReadAll(kFrames + "bw_" + std::to_string(index) + ".rgba");
        ASSERT_EQ(rgba.size(), size_t(8 * 4 * 4));
        ASSERT_EQ(b.GetWidth(), 8);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 8; ++x)
                EXPECT_EQ(b.GetPixelAsRGB(x, y).r, (uint8_t)rgba[(size_t)(y * 8 + x) * 4]) << index << ": " << x << "," << y;
    }
}

namespace {
// Decodes every frame but the one numbered FailAt (counted from 0 in the order of the calls);
// there it consumes nothing, which the reader takes as data it cannot decode.
int32_t DecodeCalls = 0;
int32_t FailAt = -1;
void FailingDecoder(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer) {
    if (DecodeCalls++ == FailAt) return;
    IEGIFLZWDecompress(Stream, Height, Width, Interlaced, Buffer);
}
}  // namespace

TEST_F(GIFLoad, AbortDuringAFrameLeavesTheCompositionOfTheFramesBefore) {
    TPicturaIO io(nullptr);
    io.GetParams()->GIFLZWDecompress = FailingDecoder;
    DecodeCalls = 0;
    FailAt = 3;   // frames 0, 1 and 2 decode, frame 3 fails
    const int32_t count = Load(io, "anim.gif", 5);
    FailAt = -1;
    REQUIRE_FRAMES(count);
    EXPECT_TRUE(io.Aborting);
    ExpectCoalesced(*io.GetIEBitmap(), "anim_2.rgba", 20, 16);
    EXPECT_EQ(io.GetParams()->GIFImageIndex, 5);
}

TEST_F(GIFLoad, NotAGIFFailsAndFinishes) {
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.GetIEBitmap()->Allocate(2, 2, ie24RGB);
    TMemoryStream stream;
    stream.Write("PNG and more bytes", 18);
    stream.SetPosition(0);
    EXPECT_EQ(io.LoadFromStreamGIF(&stream), 0);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 2);   // untouched

    // A finishing handler that raises reaches the caller; the program goes on.
    io.OnFinishWork = [](TObject*) { throw std::runtime_error("handler"); };
    stream.SetPosition(0);
    EXPECT_THROW(io.LoadFromStreamGIF(&stream), std::runtime_error);
}

TEST_F(GIFLoad, WithoutABitmapTheLoadFails) {
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    REQUIRE_FRAMES(Load(io, "anim.gif", 0));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
}

TEST_F(GIFLoad, AFrameCountedButNotDeliveredOrNoFrameAtAllFails) {
    // A damaged animation (found by fuzzing): the replay stops with Aborting set and the image
    // composed so far, instead of an empty image reported as loaded.
    const std::string damaged = ReadAll(std::string(TEST_DATA_DIR) + "/fuzz/fuzz_gif_compose/frame_counted_not_delivered.bin");
    ASSERT_FALSE(damaged.empty());
    // A GIF with a screen and a colour table but no frame.
    const std::string empty("GIF89a\x02\x00\x02\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x3b\x00", 20);
    struct Case {
        const std::string* Bytes;
        int32_t Width, Height;   // the image left behind
    };
    for (const Case& c : {Case{&damaged, 12, 10}, Case{&empty, 0, 0}}) {
        TPicturaIO io(nullptr);
        io.SetNativePixelFormat(true);
        TMemoryStream stream;
        stream.Write(c.Bytes->data(), static_cast<int32_t>(c.Bytes->size()));
        stream.SetPosition(0);
        io.GetParams()->SetImageIndex(-1);
        io.LoadFromStreamGIF(&stream);
        EXPECT_TRUE(io.Aborting) << c.Width;
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), c.Width);
        EXPECT_EQ(io.GetIEBitmap()->GetHeight(), c.Height);
    }
}

TEST_F(GIFLoad, ALogicalScreenTooLargeToHoldFailsBeforeAllocating) {
    // Two 1 x 1 frames on a 65535 x 65535 screen: the canvas would take 16 GiB.
    const std::string frame("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
    const std::string gif = std::string("GIF89a\xff\xff\xff\xff\x80\x00\x00\x00\x00\x00\xff\xff\xff", 19) + frame +
                            frame + ";";
    TPicturaIO io(nullptr);
    ASSERT_TRUE(io.GetIEBitmap()->Allocate(3, 2, ie24RGB));
    TMemoryStream stream;
    stream.Write(gif.data(), static_cast<int32_t>(gif.size()));
    stream.SetPosition(0);
    EXPECT_EQ(io.LoadFromStreamGIF(&stream), 2);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
}
