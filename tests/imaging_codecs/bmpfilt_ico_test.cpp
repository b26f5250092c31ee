// Icons and cursors: the files of Wine's own DLLs (256-pixel PNG entries included) and of
// ImageMagick decoded against Pillow, hand-built images for the transparency rules, the probes,
// and the writer's icons read back.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "CodecTestUtil.h"
#include "RefImages.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/bmpfilt_ico.h"
#include "support/ToolSkip.h"

using codectest::TCall;

namespace {

struct TRead {
    TIEBitmap Bitmap;
    TIEMask* Mask = nullptr;
    TCall Call;
    ~TRead() { delete Mask; }
    bool Run(const std::string& Bytes, bool Cursor, bool IgnoreAlpha = false, int64_t Position = 0) {
        TMemoryStream s;
        codectest::Fill(s, Bytes);
        s.SetPosition(Position);
        if (Cursor)
            IEReadCURStream(s, &Bitmap, Call.Params, false, Call.Progress, Mask, IgnoreAlpha);
        else
            IEReadICOStream(s, &Bitmap, Call.Params, false, Call.Progress, Mask, IgnoreAlpha);
        return !Call.Aborting;
    }
    // The pixel's opacity: the mask, else the bitmap's alpha channel (PNG entries), else 255.
    uint8_t Alpha(int32_t X, int32_t Y) {
        if (Mask) return Mask->GetScanline(Y)[X];
        if (Bitmap.HasAlphaChannel()) return Bitmap.GetAlphaChannel()->GetScanline(Y)[X];
        return 255;
    }
};

std::string LE16(uint16_t V) { return std::string{(char)(V & 255), (char)(V >> 8)}; }
std::string LE32(uint32_t V) { return LE16((uint16_t)V) + LE16((uint16_t)(V >> 16)); }

// A 40-byte information header of an icon image of Width x Height at Bits per pixel.
std::string InfoHeader(int32_t Width, int32_t Height, int32_t Bits) {
    return LE32(40) + LE32((uint32_t)Width) + LE32((uint32_t)(Height * 2)) + LE16(1) + LE16((uint16_t)Bits) +
           LE32(0) + LE32(0) + LE32(0) + LE32(0) + LE32(0) + LE32(0);
}

// A file of type Type holding the given images, each with its directory fields.
struct TEntry {
    uint8_t Width, Height, Colors;
    uint16_t Planes, Bits;
    std::string Data;
};
std::string IconFile(uint16_t Type, const std::vector<TEntry>& Entries) {
    std::string head = LE16(0) + LE16(Type) + LE16((uint16_t)Entries.size()), data;
    uint32_t offset = 6 + 16 * (uint32_t)Entries.size();
    for (const TEntry& e : Entries) {
        head += std::string{(char)e.Width, (char)e.Height, (char)e.Colors, 0} + LE16(e.Planes) + LE16(e.Bits) +
                LE32((uint32_t)e.Data.size()) + LE32(offset + (uint32_t)data.size());
        data += e.Data;
    }
    return head + data;
}

}  // namespace

// Every entry of the icons and cursors of Wine's DLLs and ImageMagick's gives Pillow's pixels:
// the same size, the same opacity, and the same colour wherever the pixel is opaque.
TEST(ICOReader, FilesOfOtherToolsAgainstPillow) {
    int32_t entries = 0, pngEntries = 0, bigEntries = 0;
    for (const refimages::TIndexLine& line : refimages::LoadIndex()) {
        if (line.Kind != "ico" && line.Kind != "cur") continue;
        const std::string bytes = refimages::ReadFile(refimages::Folder() + line.Name);
        const int32_t count = std::stoi(line.Value);
        for (int32_t i = 0; i < count; ++i) {
            SCOPED_TRACE(line.Name + " entry " + std::to_string(i));
            const refimages::TRef ref = refimages::LoadRef(line.Name + "." + std::to_string(i) + ".ref");
            if (!ref.Valid()) continue;
            TRead r;
            r.Call.Params.SetImageIndex(i);
            ASSERT_TRUE(r.Run(bytes, line.Kind == "cur"));
            ASSERT_EQ(r.Bitmap.GetWidth(), ref.Width);
            ASSERT_EQ(r.Bitmap.GetHeight(), ref.Height);
            const uint32_t offset = ByteOrder::GetLE32(bytes.data() + 6 + 16 * i + 12);
            pngEntries += bytes.compare(offset, 4, "\x89PNG") == 0;
            bigEntries += ref.Width == 256;
            // Pillow places the AND mask of 1-bit images elsewhere than the rows lie (checked by
            // hand on Wine's cursors): there only the pixels both call opaque are compared.
            const bool oneBit = r.Call.Params.BitsPerSample == 1 && r.Call.Params.SamplesPerPixel == 1;
            int32_t bad = 0;
            for (int32_t y = 0; y < ref.Height && bad < 3; ++y)
                for (int32_t x = 0; x < ref.Width && bad < 3; ++x) {
                    const uint8_t* p = ref.At(x, y);
                    const uint8_t a = r.Alpha(x, y);
                    const TIERGB c = r.Bitmap.GetPixelAsRGB(x, y);
                    if (oneBit && (a != 255 || p[3] != 255)) continue;
                    if (a != p[3] || (a == 255 && (c.r != p[0] || c.g != p[1] || c.b != p[2]))) {
                        ADD_FAILURE() << "pixel " << x << "," << y << ": " << (int)c.r << " " << (int)c.g << " "
                                      << (int)c.b << " " << (int)a << " expected " << (int)p[0] << " " << (int)p[1]
                                      << " " << (int)p[2] << " " << (int)p[3];
                        ++bad;
                    }
                }
            ++entries;
        }
    }
    if (entries == 0) KW_SKIP_UNLESS_CI() << "no icons (wrestool or ImageMagick missing)";
    EXPECT_GT(pngEntries, 0) << "the 256-pixel PNG entries are reachable";
    EXPECT_GT(bigEntries, 0);
}

// The directory lists every entry, a 256-pixel one (size bytes 0) included, and the index counts it.
TEST(ICOReader, SizesListAndIndexReach256PixelEntries) {
    const std::string png256 = refimages::ReadFile(refimages::Folder() + "basn2c08.png");
    if (png256.empty()) KW_SKIP_UNLESS_CI() << "no corpus";
    const std::string small = InfoHeader(2, 2, 24) + std::string(2 * 8, '\x40') + std::string(2 * 4, 0);
    const std::string file = IconFile(1, {{0, 0, 0, 1, 32, png256}, {2, 2, 0, 1, 24, small}});
    TRead first;
    first.Call.Params.SetImageIndex(0);
    ASSERT_TRUE(first.Run(file, false));
    EXPECT_EQ(first.Bitmap.GetWidth(), 32);   // the PNG's own size
    EXPECT_EQ(first.Call.Params.ICOSizes[0].Width, 256);
    EXPECT_EQ(first.Call.Params.ICOBitCount[0], 32);
    EXPECT_EQ(first.Call.Params.ICOSizes[1].Width, 2);
    EXPECT_EQ(first.Call.Params.ICOBitCount[1], 24);
    TRead second;
    second.Call.Params.SetImageIndex(1);
    ASSERT_TRUE(second.Run(file, false));
    EXPECT_EQ(second.Bitmap.GetWidth(), 2);
    EXPECT_EQ(second.Bitmap.GetPixelAsRGB(1, 1).r, 0x40);
    EXPECT_EQ(second.Call.Params.ImageCount, 2);
    // Outside the directory: nothing happens.
    TRead none;
    none.Call.Params.SetImageIndex(2);
    EXPECT_TRUE(none.Run(file, false));
    EXPECT_EQ(none.Bitmap.GetWidth(), 0);
    EXPECT_EQ(none.Call.Params.ImageCount, 0);
}

// The transparency rules of the bitmap depths, on one hand-built 8 x 2 image each.
TEST(ICOReader, TransparencyByDepth) {
    // AND rows (bottom first): row 1 (the bottom) has pixel 0 set, row 0 pixel 7.
    const std::string andRows = std::string{'\x80', 0, 0, 0} + std::string{'\x01', 0, 0, 0};
    {
        // 1 bit, black and white palette; XOR all black: the AND pixel turns white on a white
        // background (screen colour inverted), and the mask marks it.
        const std::string data = InfoHeader(8, 2, 1) + LE32(0) + LE32(0xFFFFFF) + std::string(8, 0) + andRows;
        TRead r;
        ASSERT_TRUE(r.Run(IconFile(2, {{8, 2, 2, 3, 4, data}}), true));
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie1g);
        EXPECT_EQ(r.Call.Params.CURXHotSpot, 3);
        EXPECT_EQ(r.Call.Params.CURYHotSpot, 4);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(0, 1).r, 255);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(1, 1).r, 0);
        ASSERT_NE(r.Mask, nullptr);
        EXPECT_EQ(r.Mask->GetScanline(1)[0], 0);
        EXPECT_EQ(r.Mask->GetScanline(0)[7], 0);
        EXPECT_EQ(r.Mask->GetScanline(0)[0], 255);
    }
    {
        // 4 bits kept as indices with IgnoreAlpha: two pixels per byte, high nibble first.
        std::string palette;
        for (int i = 0; i < 16; ++i) palette += LE32((uint32_t)(i * 0x101010));
        const std::string xorRows = std::string{'\x12', '\x34', '\x56', '\x78'} + std::string{'\x9A', '\xBC', '\xDE', '\xF0'};
        TRead r;
        r.Call.Params.NativePixelFormat = true;
        ASSERT_TRUE(r.Run(IconFile(1, {{8, 2, 16, 0, 0, InfoHeader(8, 2, 4) + palette + xorRows + andRows}}), false, true));
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie8p);
        EXPECT_EQ(r.Mask, nullptr);
        EXPECT_EQ(r.Bitmap.GetScanline(1)[0], 1);
        EXPECT_EQ(r.Bitmap.GetScanline(1)[1], 2);
        EXPECT_EQ(r.Bitmap.GetScanline(0)[0], 9);
        EXPECT_EQ(r.Bitmap.GetScanline(0)[7], 0);
        EXPECT_EQ(r.Call.Params.ColorMapCount, 16);
    }
    {
        // 32 bits whose alpha bytes are all 0: the AND mask decides.
        std::string xorRows;
        for (int i = 0; i < 16; ++i) xorRows += std::string{'\x10', '\x20', '\x30', 0};
        TRead r;
        ASSERT_TRUE(r.Run(IconFile(1, {{8, 2, 0, 1, 32, InfoHeader(8, 2, 32) + xorRows + andRows}}), false));
        ASSERT_NE(r.Mask, nullptr);
        EXPECT_EQ(r.Mask->GetScanline(1)[0], 0);
        EXPECT_EQ(r.Mask->GetScanline(1)[1], 255);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(1, 1).r, 0x30);
    }
    {
        // 24 bits without AND rows: opaque, the mask freed.
        TRead r;
        ASSERT_TRUE(r.Run(IconFile(1, {{8, 2, 0, 1, 24, InfoHeader(8, 2, 24) + std::string(48, '\x22')}}), false));
        EXPECT_EQ(r.Mask, nullptr);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(7, 1).g, 0x22);
    }
}

// A 1-bit icon keeps the colours of its palette: white on black stays white on black (the bits
// inverted into the bilevel image), and any other pair of colours is read through the palette.
TEST(ICOReader, OneBitPalettesOtherThanBlackThenWhite) {
    // XOR rows (bottom first) 1100 0000 and 0000 0001; no AND bits.
    const std::string rows = std::string{'\xC0', 0, 0, 0} + std::string{'\x01', 0, 0, 0} + std::string(8, 0);
    {
        const std::string data = InfoHeader(8, 2, 1) + LE32(0xFFFFFF) + LE32(0) + rows;
        TRead r;
        ASSERT_TRUE(r.Run(IconFile(1, {{8, 2, 2, 1, 1, data}}), false));
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie1g);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(0, 1).r, 0);     // index 1: black
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(2, 1).r, 255);   // index 0: white
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(7, 0).r, 0);
    }
    {
        const std::string data = InfoHeader(8, 2, 1) + LE32(0xFF0000) + LE32(0x00FFFF) + rows;
        TRead r;
        ASSERT_TRUE(r.Run(IconFile(1, {{8, 2, 2, 1, 1, data}}), false));
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
        const TIERGB one = r.Bitmap.GetPixelAsRGB(1, 1), zero = r.Bitmap.GetPixelAsRGB(3, 1);
        EXPECT_EQ((int)one.r << 16 | one.g << 8 | one.b, 0x00FFFF);
        EXPECT_EQ((int)zero.r << 16 | zero.g << 8 | zero.b, 0xFF0000);
        EXPECT_EQ(r.Bitmap.GetPixelAsRGB(7, 0).g, 0xFF);
    }
}

// Data that ends early, an undeterminable depth and sizes out of reach set the abort flag; the
// probes check the directory and restore the position.
TEST(ICOReader, BrokenFilesAndProbes) {
    const std::string good = IconFile(1, {{8, 2, 0, 1, 24, InfoHeader(8, 2, 24) + std::string(48, 1) + std::string(8, 0)}});
    struct Case {
        const char* Name;
        std::string Bytes;
    } broken[] = {
        {"cut in the pixels", good.substr(0, good.size() - 20)},
        {"cut in the directory", good.substr(0, 12)},
        {"no depth", IconFile(1, {{8, 2, 0, 0, 0, InfoHeader(8, 2, 0) + std::string(64, 0)}})},
        {"huge header size", IconFile(1, {{0, 0, 0, 1, 24, InfoHeader(30000, 30000, 24)}})},
        // Depths the reader does not draw: refused, not returned as an undrawn image.
        {"2 bits", IconFile(1, {{8, 2, 4, 1, 2, InfoHeader(8, 2, 2) + std::string(16 + 8 + 8, 0)}})},
        {"16 bits", IconFile(1, {{8, 2, 0, 1, 16, InfoHeader(8, 2, 16) + std::string(32 + 8, 0)}})},
    };
    for (const Case& c : broken) {
        SCOPED_TRACE(c.Name);
        TRead r;
        EXPECT_FALSE(r.Run(c.Bytes, false));
    }
    TMemoryStream s;
    codectest::Fill(s, good);
    EXPECT_TRUE(IEIsICO(s));
    EXPECT_FALSE(IEIsCUR(s));
    EXPECT_EQ(s.GetPosition(), 0);
    auto probe = [](const std::string& Bytes) {
        TMemoryStream t;
        codectest::Fill(t, Bytes);
        return IEIsICO(t);
    };
    std::string badOffset = good;
    badOffset[6 + 12] = 10;   // data before the end of the entry
    EXPECT_FALSE(probe(badOffset));
    EXPECT_FALSE(probe(good.substr(0, 22)));
    std::string reserved = good;
    reserved[6 + 3] = 1;
    EXPECT_FALSE(probe(reserved));
}

// Sizes 16 and 32 at 4 and 32 bits: the directory's colour counts and planes, the palette index 0
// of transparent pixels, and the images read back (here and, from the file left in the build
// folder, by Pillow and ImageMagick in check_written.py).
TEST(ICOWriter, TwoSizesReadBack) {
    TIEBitmap image(32, 32, ie24RGB);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) image.SetPixelRGB(x, y, TIERGB{(uint8_t)(x < 16 ? 255 : 0), 0, (uint8_t)(y < 16 ? 255 : 0)});
    TIEBitmap* alpha = image.GetAlphaChannel();
    alpha->Fill(255);
    for (int32_t x = 0; x < 32; ++x) alpha->GetScanline(0)[x] = 0;
    const TIEIcoSize sizes[2] = {{16, 16}, {32, 32}};
    const int32_t bits[2] = {4, 32};
    TCall w;
    TMemoryStream s;
    s.Write(std::string(100, 'x').data(), 100);
    IEWriteICOStream(s, &image, w.Params, w.Progress, sizes, bits, 2);
    ASSERT_FALSE(w.Aborting);
    const std::string all = codectest::Contents(s);
    const std::string file = all.substr(100);
    EXPECT_EQ(ByteOrder::GetLE16(file.data() + 4), 2);
    EXPECT_EQ((uint8_t)file[6 + 2], 16);               // colour count
    EXPECT_EQ(ByteOrder::GetLE16(file.data() + 6 + 4), 0);   // planes
    EXPECT_EQ((uint8_t)file[22 + 2], 0);
    EXPECT_EQ(ByteOrder::GetLE16(file.data() + 22 + 4), 1);
    EXPECT_EQ(ByteOrder::GetLE16(file.data() + 22 + 6), 32);
    std::ofstream(std::string(TEST_BUILD_DIR) + "/ico-written.ico", std::ios::binary) << file;

    for (int32_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        TRead r;
        r.Call.Params.SetImageIndex(i);
        ASSERT_TRUE(r.Run(all, false, false, 100));
        const int32_t n = sizes[i].Width;
        ASSERT_EQ(r.Bitmap.GetWidth(), n);
        ASSERT_NE(r.Mask, nullptr);
        EXPECT_EQ(r.Mask->GetScanline(0)[3], 0);
        EXPECT_EQ(r.Mask->GetScanline(n - 1)[3], 255);
        const TIERGB c = r.Bitmap.GetPixelAsRGB(1, n - 1);
        EXPECT_EQ(c.b, 255);
        EXPECT_EQ(c.r, 0);
        const TIERGB d = r.Bitmap.GetPixelAsRGB(n - 1, n - 1);
        EXPECT_EQ(d.b, 0);
        EXPECT_EQ(d.r, 0);
        if (i == 0) EXPECT_EQ(r.Call.Params.ICOBitCount[0], 4);
    }
}

// A 1-bit image at 1 bit keeps its pixels; the default depth of the parameters applies to 0.
TEST(ICOWriter, OneBitImage) {
    TIEBitmap image(8, 8, ie1g);
    for (int32_t y = 0; y < 8; ++y) image.GetScanline(y)[0] = (uint8_t)(y & 1 ? 0xF0 : 0x0F);
    const TIEIcoSize sizes[1] = {{8, 8}};
    const int32_t bits[1] = {0};
    TCall w;
    TMemoryStream s;
    IEWriteICOStream(s, &image, w.Params, w.Progress, sizes, bits, 1);
    EXPECT_EQ(w.Params.BitsPerSample, 1);
    TRead r;
    ASSERT_TRUE(r.Run(codectest::Contents(s), false));
    EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie1g);
    EXPECT_EQ(r.Bitmap.GetScanline(3)[0], 0xF0);
    EXPECT_EQ(r.Bitmap.GetScanline(4)[0], 0x0F);
}
