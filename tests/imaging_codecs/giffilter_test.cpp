#include "giffilter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Classes.h"
#include "CodecTestUtil.h"
#include "LzwReference.h"
#include "giflzw.h"
#include "iebitmap.h"
#include "iecoreutils_streams.h"
#include "iemask.h"

using codectest::TCall;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& B, int32_t V) {
    B.push_back((uint8_t)V);
    B.push_back((uint8_t)(V >> 8));
}

// One frame of a hand-built GIF.
struct TFrame {
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    Bytes Indices;
    std::vector<uint32_t> LocalTable;   // 0xRRGGBB entries; empty: none
    bool Interlaced = false;
    bool Gce = false;
    uint8_t GceFlags = 0;
    uint16_t Delay = 0;
    uint8_t TransparentIndex = 0;
    int32_t MinCodeSize = 8;
    Bytes Codes;   // the LZW data; empty: our encoder's
    std::string Comment;
};

void PutTable(Bytes& B, const std::vector<uint32_t>& T) {
    for (uint32_t c : T) {
        B.push_back((uint8_t)(c >> 16));
        B.push_back((uint8_t)(c >> 8));
        B.push_back((uint8_t)c);
    }
}

// The exponent of a table of N entries (N a power of two, 2..256).
uint8_t Exponent(size_t N) {
    uint8_t e = 0;
    while ((2u << e) < N) ++e;
    return e;
}

Bytes SubBlocks(const Bytes& Data) {
    Bytes out;
    for (size_t i = 0; i < Data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, Data.size() - i);
        out.push_back((uint8_t)n);
        out.insert(out.end(), Data.begin() + (long)i, Data.begin() + (long)(i + n));
    }
    out.push_back(0);
    return out;
}

Bytes BuildGif(int32_t ScreenW, int32_t ScreenH, const std::vector<uint32_t>& Global, const std::vector<TFrame>& Frames,
               uint8_t Background = 0) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, ScreenW);
    Put16(b, ScreenH);
    b.push_back(Global.empty() ? 0 : (uint8_t)(0x80 | 0x70 | Exponent(Global.size())));
    b.push_back(Background);
    b.push_back(49);
    PutTable(b, Global);
    for (const TFrame& f : Frames) {
        if (!f.Comment.empty()) {
            b.push_back(0x21);
            b.push_back(0xFE);
            const Bytes text(f.Comment.begin(), f.Comment.end());
            const Bytes blocks = SubBlocks(text);
            b.insert(b.end(), blocks.begin(), blocks.end());
        }
        if (f.Gce) {
            b.insert(b.end(), {0x21, 0xF9, 4, f.GceFlags});
            Put16(b, f.Delay);
            b.push_back(f.TransparentIndex);
            b.push_back(0);
        }
        b.push_back(0x2C);
        Put16(b, f.Left);
        Put16(b, f.Top);
        Put16(b, f.Width);
        Put16(b, f.Height);
        uint8_t flags = f.Interlaced ? 0x40 : 0;
        if (!f.LocalTable.empty()) flags |= (uint8_t)(0x80 | Exponent(f.LocalTable.size()));
        b.push_back(flags);
        PutTable(b, f.LocalTable);
        if (f.Codes.empty()) {
            TMemoryStream s;
            IEGIFLZWCompress(&s, f.Height, f.Width, f.Interlaced, const_cast<uint8_t*>(f.Indices.data()), f.MinCodeSize);
            const auto* p = static_cast<const uint8_t*>(s.GetMemory());
            b.insert(b.end(), p, p + s.GetSize());
        } else {
            b.push_back((uint8_t)f.MinCodeSize);
            const Bytes blocks = SubBlocks(f.Codes);
            b.insert(b.end(), blocks.begin(), blocks.end());
        }
    }
    b.push_back(0x3B);
    return b;
}

Bytes Pattern(int32_t W, int32_t H, int32_t Colours, uint32_t Seed) {
    std::mt19937 rng(Seed);
    Bytes v((size_t)W * (size_t)H);
    for (auto& x : v) x = (uint8_t)(rng() % (uint32_t)Colours);
    return v;
}

std::vector<uint32_t> Ramp(int32_t N, uint32_t Tint) {
    std::vector<uint32_t> t((size_t)N);
    for (int32_t i = 0; i < N; ++i) t[(size_t)i] = ((uint32_t)(i * 255 / (N - 1)) * 0x010101u) ^ Tint;
    return t;
}

// A call with our LZW codec installed in its parameter set.
struct TGifCall : TCall {
    TIEBitmap Bitmap;
    TIEMask* Mask = nullptr;
    int32_t Frames = -1;
    std::vector<int32_t> Percents;
    TGifCall() {
        Params.GIFLZWDecompress = IEGIFLZWDecompress;
        Params.GIFLZWCompress = IEGIFLZWCompress;
        Progress.OnProgress = [this](TObject*, int32_t P) { Percents.push_back(P); };
    }
    ~TGifCall() { delete Mask; }
    bool Read(const Bytes& File, bool Preview = false, bool IgnoreTransparency = false) {
        TMemoryStream s;
        if (!File.empty()) s.WriteBuffer(File.data(), (int32_t)File.size());
        s.SetPosition(0);
        IEReadGIFStream(s, &Bitmap, Frames, Params, Progress, Preview, Mask, IgnoreTransparency);
        return !Aborting;
    }
};

uint32_t PixelRGB(TIEBitmap& B, int32_t X, int32_t Y) {
    const TIERGB c = B.GetPixelAsRGB(X, Y);
    return (uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b;
}

}  // namespace

// The frame chosen by GIFImageIndex is decoded with its own table and its own graphic control
// extension; every frame is counted and every frame's comment collected.
TEST(GIFReader, SelectedFrameOfAnAnimation) {
    std::vector<TFrame> frames(3);
    for (int32_t i = 0; i < 3; ++i) {
        TFrame& f = frames[(size_t)i];
        f.Left = i * 3;
        f.Top = i;
        f.Width = 11 + i;
        f.Height = 7 + i;
        f.Indices = Pattern(f.Width, f.Height, 16, (uint32_t)i + 1);
        f.Gce = true;
        f.GceFlags = (uint8_t)((i + 1) << 2);
        f.Delay = (uint16_t)(10 * (i + 1));
        f.Comment = "frame " + std::to_string(i);
        f.MinCodeSize = 4;
    }
    frames[1].LocalTable = Ramp(16, 0x00FF00);
    frames[1].Interlaced = true;
    const std::vector<uint32_t> global = Ramp(16, 0x000000);
    const Bytes file = BuildGif(40, 30, global, frames, 3);

    for (int32_t index = 0; index < 3; ++index) {
        TGifCall c;
        c.Params.GIFImageIndex = index;
        ASSERT_TRUE(c.Read(file)) << index;
        const TFrame& f = frames[(size_t)index];
        const std::vector<uint32_t>& table = f.LocalTable.empty() ? global : f.LocalTable;
        EXPECT_EQ(c.Frames, 3);
        EXPECT_EQ(c.Params.ImageCount, 3);
        EXPECT_EQ(c.Params.GIFImageCount, 3);
        EXPECT_EQ(c.Params.GIFVersion, "GIF89a");
        EXPECT_EQ(c.Params.GIFWinWidth, 40);
        EXPECT_EQ(c.Params.GIFWinHeight, 30);
        EXPECT_EQ(c.Params.GIFRatio, 49);
        EXPECT_EQ(c.Params.GIFBackground.r, 0x33);
        EXPECT_EQ(c.Params.GIFXPos, f.Left);
        EXPECT_EQ(c.Params.GIFYPos, f.Top);
        EXPECT_EQ(c.Params.GIFDelayTime, f.Delay);
        EXPECT_EQ(c.Params.GIFAction, index + 1);
        EXPECT_EQ(c.Params.GIFInterlaced, f.Interlaced);
        EXPECT_EQ(c.Params.BitsPerSample, 4);
        EXPECT_EQ(c.Params.SamplesPerPixel, 1);
        EXPECT_EQ(c.Params.ColorMapCount, 16);
        EXPECT_EQ(c.Params.ColorMap[5].g, (uint8_t)(table[5] >> 8));
        EXPECT_EQ(c.Params.GIFComments->GetCount(), 3);
        EXPECT_EQ(c.Params.GIFComments->GetStrings(2), L"frame 2");
        ASSERT_EQ(c.Bitmap.GetPixelFormat(), ie24RGB);
        ASSERT_EQ(c.Bitmap.GetWidth(), f.Width);
        ASSERT_EQ(c.Bitmap.GetHeight(), f.Height);
        for (int32_t y = 0; y < f.Height; ++y)
            for (int32_t x = 0; x < f.Width; ++x)
                ASSERT_EQ(PixelRGB(c.Bitmap, x, y), table[f.Indices[(size_t)(y * f.Width + x)]]) << index << " " << x << "," << y;
        EXPECT_EQ(c.Percents, (std::vector<int32_t>{0, 30, 70, 100}));
        EXPECT_EQ(c.Mask, nullptr);
    }

    // An index past the last frame decodes nothing and is no error; Preview reads the
    // parameters only.
    TGifCall past;
    past.Params.GIFImageIndex = 3;
    EXPECT_TRUE(past.Read(file));
    EXPECT_EQ(past.Frames, 3);
    EXPECT_EQ(past.Bitmap.GetWidth(), 0);
    TGifCall preview;
    preview.Params.GIFImageIndex = 2;
    EXPECT_TRUE(preview.Read(file, true, true));
    EXPECT_EQ(preview.Params.Width, 13);
    EXPECT_EQ(preview.Params.BitsPerSample, 4);
    EXPECT_EQ(preview.Bitmap.GetWidth(), 0);
}

// A transparent index gives a mask only when some pixel uses it; NativePixelFormat keeps the
// indices and the palette.
TEST(GIFReader, TransparencyAndNativeFormat) {
    TFrame f;
    f.Width = 6;
    f.Height = 2;
    f.Indices = {0, 1, 2, 3, 2, 1, 3, 3, 0, 0, 1, 2};
    f.Gce = true;
    f.GceFlags = 1;
    f.TransparentIndex = 2;
    f.MinCodeSize = 2;
    const std::vector<uint32_t> table{0x102030, 0xFF0000, 0x00FF00, 0x0000FF};
    {
        TGifCall c;
        ASSERT_TRUE(c.Read(BuildGif(6, 2, table, {f})));
        ASSERT_NE(c.Mask, nullptr);
        EXPECT_TRUE(c.Params.GIFFlagTranspColor);
        EXPECT_EQ(c.Params.GIFTranspColor.g, 0xFF);
        for (int32_t i = 0; i < 12; ++i) EXPECT_EQ(c.Mask->GetPixel(i % 6, i / 6), f.Indices[(size_t)i] == 2 ? 0 : 255);
    }
    {
        TGifCall c;
        ASSERT_TRUE(c.Read(BuildGif(6, 2, table, {f}), false, true));
        EXPECT_EQ(c.Mask, nullptr);   // IgnoreTransparency
    }
    {
        TFrame unused = f;
        unused.TransparentIndex = 7;   // no pixel has it (and it lies past the table)
        TGifCall c;
        c.Params.NativePixelFormat = true;
        ASSERT_TRUE(c.Read(BuildGif(6, 2, table, {unused})));
        EXPECT_EQ(c.Mask, nullptr);
        ASSERT_EQ(c.Bitmap.GetPixelFormat(), ie8p);
        EXPECT_EQ(c.Bitmap.PaletteColors, 4);
        EXPECT_EQ(c.Bitmap.GetScanline(1)[0], 3);
        EXPECT_EQ(c.Bitmap.GetPaletteEntry(3).b, 0xFF);
    }
}

// A two-entry black-and-white table gives ie1g with every column (a width of 9 included); any
// other two-entry table gives colour pixels.
TEST(GIFReader, BlackAndWhiteFrames) {
    TFrame f;
    f.Width = 9;
    f.Height = 3;
    f.MinCodeSize = 2;
    f.Indices = Pattern(9, 3, 2, 7);
    for (const auto& table : {std::vector<uint32_t>{0x000000, 0xFFFFFF}, std::vector<uint32_t>{0xFFFFFF, 0x000000}}) {
        TGifCall c;
        ASSERT_TRUE(c.Read(BuildGif(9, 3, table, {f})));
        EXPECT_EQ(c.Bitmap.GetPixelFormat(), table[0] == 0 ? ie1g : ie24RGB);
        EXPECT_EQ(c.Params.BitsPerSample, 1);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 9; ++x)
                ASSERT_EQ(PixelRGB(c.Bitmap, x, y) & 0xFFFFFF, table[f.Indices[(size_t)(y * 9 + x)]]) << x << "," << y;
    }
}

// An encoder that lets the table fill and goes on with 12-bit codes, sending its Clear code only
// later (or never), writes valid GIF data: the frame reads in full.
TEST(GIFReader, ClearCodeDeferredAfterAFullTable) {
    const int32_t w = 200, h = 120;
    const Bytes indices = Pattern(w, h, 256, 99);
    {
        TLzwReferenceOptions o;
        o.MinBits = 8;
        o.MsbFirst = false;
        o.EarlyChange = 0;
        o.ClearAt = 0;   // never: the table stays full to the end
        TFrame f;
        f.Width = w;
        f.Height = h;
        f.Indices = indices;
        f.Codes = LzwReferenceEncode(indices, o);
        TGifCall c;
        c.Params.NativePixelFormat = true;
        ASSERT_TRUE(c.Read(BuildGif(w, h, Ramp(256, 0), {f})));
        for (int32_t y = 0; y < h; ++y)
            ASSERT_EQ(0, memcmp(c.Bitmap.GetScanline(y), &indices[(size_t)(y * w)], (size_t)w)) << y;
    }
}

// Bad files set the abort flag and leave the bitmap as it was.
TEST(GIFReader, RefusedFiles) {
    TFrame f;
    f.Width = 4;
    f.Height = 4;
    f.MinCodeSize = 2;
    f.Indices = Pattern(4, 4, 4, 1);
    const Bytes good = BuildGif(4, 4, Ramp(4, 0), {f});
    Bytes notGif = good;
    notGif[0] = 'X';
    const Bytes headerOnly(good.begin(), good.begin() + 13 + 12);
    Bytes badCodeSize = good;
    badCodeSize[13 + 12 + 10] = 1;   // the minimum code size byte after the descriptor
    TFrame empty = f;
    empty.Width = 0;
    empty.Codes = Bytes{0x04, 0x05};
    for (const Bytes& file : {notGif, headerOnly, badCodeSize, BuildGif(4, 4, Ramp(4, 0), {empty}), Bytes{}}) {
        TGifCall c;
        c.Bitmap.Allocate(3, 3, ie24RGB);
        EXPECT_FALSE(c.Read(file));
        EXPECT_EQ(c.Bitmap.GetWidth(), 3);
    }
}

namespace {

Bytes Write(TGifCall& C, TIEBitmap& B) {
    TMemoryStream s;
    IEWriteGIFStream(s, &B, C.Params, C.Progress);
    const auto* p = static_cast<const uint8_t*>(s.GetMemory());
    return Bytes(p, p + s.GetSize());
}

}  // namespace

// Images of up to 2^bits colours come back exactly, interlaced or not, with the descriptor
// fields, the delay, the disposal and the comments.
TEST(GIFWriter, RoundTrips) {
    TIEBitmap src(23, 17, ie24RGB);
    const std::vector<uint32_t> colours = Ramp(16, 0x3050A0);
    const Bytes idx = Pattern(23, 17, 16, 5);
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 23; ++x) {
            const uint32_t c = colours[idx[(size_t)(y * 23 + x)]];
            src.SetPixelRGB(x, y, TIERGB{(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16)});
        }
    for (bool interlaced : {false, true}) {
        TGifCall w;
        w.Params.BitsPerSample = 4;
        w.Params.GIFInterlaced = interlaced;
        w.Params.GIFXPos = 5;
        w.Params.GIFYPos = 6;
        w.Params.GIFDelayTime = 42;
        w.Params.GIFAction = 2;
        w.Params.GIFComments->Add(L"first line");
        w.Params.GIFComments->Add(L"");
        w.Params.GIFComments->Add(std::wstring(300, L'x'));
        const Bytes file = Write(w, src);
        ASSERT_FALSE(w.Aborting);
        EXPECT_EQ(w.Percents, (std::vector<int32_t>{0, 30, 70, 100}));
        EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
        EXPECT_EQ(file[10], 0x80 | 0x30 | 0x03);
        EXPECT_EQ(file.back(), 0x3B);
        TGifCall r;
        ASSERT_TRUE(r.Read(file));
        EXPECT_EQ(r.Params.BitsPerSample, 4);
        EXPECT_EQ(r.Params.GIFInterlaced, interlaced);
        EXPECT_EQ(r.Params.GIFXPos, 5);
        EXPECT_EQ(r.Params.GIFYPos, 6);
        EXPECT_EQ(r.Params.GIFDelayTime, 42);
        EXPECT_EQ(r.Params.GIFAction, 2);
        ASSERT_EQ(r.Params.GIFComments->GetCount(), 3);   // the long line in two blocks
        EXPECT_EQ(r.Params.GIFComments->GetStrings(0), L"first line");
        EXPECT_EQ(r.Params.GIFComments->GetStrings(1), std::wstring(255, L'x'));
        EXPECT_EQ(codectest::RGBBytes(r.Bitmap), codectest::RGBBytes(src));
    }
}

// An alpha channel reserves index 2^bits - 1 for every pixel whose alpha is below 255; the table
// keeps 2^bits entries and the transparent flag is set. Black and white, ie8p and grey sources.
TEST(GIFWriter, AlphaAndSourceFormats) {
    TIEBitmap src(10, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            src.SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 20), 0, (uint8_t)(y * 60)});
            src.SetAlpha(x, y, (x + y) % 3 == 0 ? 128 : 255);
        }
    for (int32_t bits : {1, 3, 8}) {
        TGifCall w;
        w.Params.BitsPerSample = bits;
        const Bytes file = Write(w, src);
        ASSERT_FALSE(w.Aborting);
        EXPECT_TRUE(w.Params.GIFFlagTranspColor);
        const int32_t written = bits == 1 ? 2 : bits;   // black, white and the reserved entry need 2 bits
        EXPECT_EQ(file[10] & 7, written - 1);
        TGifCall r;
        ASSERT_TRUE(r.Read(file));
        ASSERT_NE(r.Mask, nullptr);
        EXPECT_EQ(r.Params.ColorMapCount, 1 << written);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(r.Mask->GetPixel(x, y), (x + y) % 3 == 0 ? 0 : 255) << bits;
    }

    // Two colours with BitsPerSample 1 become black and white; ie1g is kept as it is.
    TIEBitmap two(9, 2, ie24RGB);
    for (int32_t x = 0; x < 9; ++x) {
        two.SetPixelRGB(x, 0, x % 2 ? TIERGB{0, 0, 200} : TIERGB{50, 50, 0});
        two.SetPixelRGB(x, 1, TIERGB{50, 50, 0});
    }
    TGifCall w1;
    w1.Params.BitsPerSample = 1;
    TGifCall r1;
    ASSERT_TRUE(r1.Read(Write(w1, two)));
    ASSERT_EQ(r1.Bitmap.GetPixelFormat(), ie1g);
    EXPECT_EQ(PixelRGB(r1.Bitmap, 0, 0), 0u);          // the darker colour
    EXPECT_EQ(PixelRGB(r1.Bitmap, 1, 0), 0xFFFFFFu);   // the lighter one

    // Grey images are read as colour; paletted ones with fewer bits than their indices take are
    // quantized, not cut.
    TIEBitmap grey(256, 1, ie8g);
    for (int32_t x = 0; x < 256; ++x) grey.GetScanline(0)[x] = (uint8_t)(255 - x);
    TGifCall wg;
    wg.Params.BitsPerSample = 8;
    TGifCall rg;
    ASSERT_TRUE(rg.Read(Write(wg, grey)));
    for (int32_t x = 0; x < 256; ++x) EXPECT_EQ(PixelRGB(rg.Bitmap, x, 0), (uint32_t)(255 - x) * 0x010101u) << x;
    TIEBitmap pal(16, 1, ie8p);
    for (int32_t x = 0; x < 16; ++x) {
        pal.SetPaletteEntry(x + 200, TIERGB{40, (uint8_t)(255 - x * 17), (uint8_t)(x * 17)});
        pal.GetScanline(0)[x] = (uint8_t)(x + 200);
    }
    TGifCall wp;
    wp.Params.BitsPerSample = 4;
    TGifCall rp;
    ASSERT_TRUE(rp.Read(Write(wp, pal)));
    for (int32_t x = 0; x < 16; ++x)
        EXPECT_EQ(PixelRGB(rp.Bitmap, x, 0), (uint32_t)(x * 17) << 16 | (uint32_t)(255 - x * 17) << 8 | 40u) << x;
}

// A stream that takes no bytes, and a parameter set without an encoder, set the abort flag.
TEST(GIFWriter, Failures) {
    TIEBitmap src(4, 4, ie24RGB);
    src.Fill(0);
    TGifCall c;
    TIEMemStream full(nullptr, 0);
    IEWriteGIFStream(full, &src, c.Params, c.Progress);
    EXPECT_TRUE(c.Aborting);
    TGifCall none;
    none.Params.GIFLZWCompress = nullptr;
    TGIFLZWCompressor saved = IEGIFLZWCompressor;
    IEGIFLZWCompressor = nullptr;
    TMemoryStream s;
    IEWriteGIFStream(s, &src, none.Params, none.Progress);
    IEGIFLZWCompressor = saved;
    EXPECT_TRUE(none.Aborting);
}
