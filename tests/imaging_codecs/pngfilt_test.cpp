// The PNG glue: libpng's conformance suite and test images decoded against Pillow, the layouts
// kept as they are (NativePixelFormat), the parameters, and the writer's layouts read back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "CodecTestUtil.h"
#include "RefImages.h"
#include "SysUtils.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/pngfilt.h"
#include "imaging/codecs/pngfiltw.h"
#include "imaging/view/picturaview.h"
#include "support/ToolSkip.h"

using codectest::TCall;

namespace {

// Reads PNG bytes; true when the reader did not abort.
bool ReadPNG(const std::string& Bytes, TIEBitmap& Bitmap, TCall& Call, bool Preview = false) {
    TMemoryStream s;
    codectest::Fill(s, Bytes);
    IEReadPNGStream(s, &Bitmap, Call.Params, Call.Progress, Preview);
    return !Call.Aborting;
}

std::string WritePNG(TIEBitmap& Bitmap, TCall& Call, TIEMask* Mask = nullptr) {
    TMemoryStream s;
    IEWritePNGStream(s, &Bitmap, Call.Params, Call.Progress, Mask);
    return codectest::Contents(s);
}

uint8_t AlphaAt(TIEBitmap& B, int32_t X, int32_t Y) {
    return B.HasAlphaChannel() ? B.GetAlphaChannel()->GetScanline(Y)[X] : 255;
}

// The first pixel where the bitmap differs from the reference (colour of every pixel; alpha
// unless IgnoreAlpha), as text; empty when they agree.
std::string Compare(TIEBitmap& B, const refimages::TRef& Ref, bool IgnoreAlpha) {
    if (B.GetWidth() != Ref.Width || B.GetHeight() != Ref.Height)
        return "size " + std::to_string(B.GetWidth()) + "x" + std::to_string(B.GetHeight());
    for (int32_t y = 0; y < Ref.Height; ++y)
        for (int32_t x = 0; x < Ref.Width; ++x) {
            const uint8_t* r = Ref.At(x, y);
            const TIERGB c = B.GetPixelAsRGB(x, y);
            const uint8_t a = AlphaAt(B, x, y);
            if (c.r != r[0] || c.g != r[1] || c.b != r[2] || (!IgnoreAlpha && a != r[3]))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(c.r) + " " +
                       std::to_string(c.g) + " " + std::to_string(c.b) + " " + std::to_string(a) + " expected " +
                       std::to_string(r[0]) + " " + std::to_string(r[1]) + " " + std::to_string(r[2]) + " " +
                       std::to_string(r[3]);
        }
    return "";
}

// A 24-bit image of Width x Height whose pixel (x, y) is Color(x, y).
template <typename F>
std::unique_ptr<TIEBitmap> MakeImage(int32_t Width, int32_t Height, F Color) {
    auto b = std::make_unique<TIEBitmap>(Width, Height, ie24RGB);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) b->SetPixelRGB(x, y, Color(x, y));
    return b;
}

TIERGB Rgb(uint8_t R, uint8_t G, uint8_t B) { return TIERGB{B, G, R}; }

}  // namespace

// Every image of libpng's suite and test images that Pillow decodes gives Pillow's pixels (16-bit
// samples reduced to their high byte); every file Pillow refuses ends the read without a fault.
TEST(PNGReader, ConformanceSuiteAgainstPillow) {
    const std::vector<refimages::TIndexLine> index = refimages::LoadIndex();
    int32_t good = 0, refused = 0;
    for (const refimages::TIndexLine& line : index) {
        if (line.Kind != "png") continue;
        SCOPED_TRACE(line.Name);
        const std::string bytes = refimages::ReadFile(refimages::Folder() + line.Name);
        TIEBitmap bitmap;
        TCall call;
        const bool ok = ReadPNG(bytes, bitmap, call);
        if (line.Value != "ok") {
            refused += !ok;
            continue;
        }
        // libpng's broken files: libpng may refuse what Pillow takes (a bad CRC); what it decodes
        // must match.
        if (!ok && line.Name.compare(0, 8, "crasher_") == 0) continue;
        ASSERT_TRUE(ok);
        const refimages::TRef ref = refimages::LoadRef(line.Name + ".ref");
        ASSERT_TRUE(ref.Valid());
        EXPECT_EQ(Compare(bitmap, ref, false), "");
        ++good;
    }
    if (good == 0) KW_SKIP_UNLESS_CI() << "no corpus (libpng's source package could not be fetched)";
    EXPECT_GE(good, 150);
    // The broken files of libpng's crashers folder that libpng itself refuses.
    EXPECT_GE(refused, 1);
}

// Files every peer reads: a 1-bit palette image keeps its tRNS as alpha, and bytes after the
// image's zlib stream are only a warning.
TEST(PNGReader, OneBitTransparencyAndTrailingImageData) {
    for (const char* name : {"made_p1_trns.png", "made_idat_trailing.png"}) {
        SCOPED_TRACE(name);
        const std::string bytes = refimages::ReadFile(refimages::Folder() + name);
        ASSERT_FALSE(bytes.empty());
        TIEBitmap bitmap;
        TCall call;
        ASSERT_TRUE(ReadPNG(bytes, bitmap, call));
        const refimages::TRef ref = refimages::LoadRef(std::string(name) + ".ref");
        ASSERT_TRUE(ref.Valid());
        EXPECT_EQ(Compare(bitmap, ref, false), "");
    }
}

// An interlaced 1-bit palette image gives the same pixels as its plain twin: the seven passes
// combine before the bits become colours.
TEST(PNGReader, InterlacedOneBitPaletteCombinesPasses) {
    const std::string plain = refimages::ReadFile(refimages::Folder() + "basn3p01.png");
    const std::string interlaced = refimages::ReadFile(refimages::Folder() + "ibasn3p01.png");
    if (plain.empty() || interlaced.empty()) KW_SKIP_UNLESS_CI() << "no corpus";
    TIEBitmap a, b;
    TCall ca, cb;
    ASSERT_TRUE(ReadPNG(plain, a, ca));
    ASSERT_TRUE(ReadPNG(interlaced, b, cb));
    EXPECT_FALSE(ca.Params.PNGInterlaced);
    EXPECT_TRUE(cb.Params.PNGInterlaced);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(codectest::RGBBytes(a), codectest::RGBBytes(b));
    EXPECT_EQ(cb.Params.ColorMapCount, 2);
}

// The layouts and parameters the reader gives, with and without NativePixelFormat.
TEST(PNGReader, PixelFormatsAndParameters) {
    struct Case {
        const char* File;
        bool Native;
        TIEPixelFormat Format;
        int32_t Bits, Samples;
        bool Alpha;
    } cases[] = {
        {"basn0g01.png", false, ie1g, 1, 1, false},    {"basn0g02.png", false, ie24RGB, 2, 1, false},
        {"basn3p02.png", false, ie24RGB, 2, 1, false}, {"basn3p02.png", true, ie24RGB, 2, 1, false},
        {"basn3p08.png", true, ie8p, 8, 1, false},     {"basn0g08.png", true, ie8g, 8, 1, false},
        {"basn0g16.png", true, ie16g, 16, 1, false},   {"basn4a08.png", false, ie24RGB, 8, 2, true},
        {"basn6a16.png", false, ie24RGB, 16, 4, true}, {"ibasn6a08.png", false, ie24RGB, 8, 4, true},
        {"ftbbn3p08.png", true, ie8p, 8, 1, true},     {"ftbbn3p08.png", false, ie24RGB, 8, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + (c.Native ? " native" : ""));
        const std::string bytes = refimages::ReadFile(refimages::Folder() + c.File);
        if (bytes.empty()) KW_SKIP_UNLESS_CI() << "no corpus";
        TIEBitmap bitmap;
        TCall call;
        call.Params.NativePixelFormat = c.Native;
        ASSERT_TRUE(ReadPNG(bytes, bitmap, call));
        EXPECT_EQ(bitmap.GetPixelFormat(), c.Format);
        EXPECT_EQ(call.Params.BitsPerSample, c.Bits);
        EXPECT_EQ(call.Params.SamplesPerPixel, c.Samples);
        EXPECT_EQ(bitmap.HasAlphaChannel(), c.Alpha);
        if (c.Alpha) EXPECT_FALSE(bitmap.GetAlphaChannel()->GetFull());
        EXPECT_EQ(call.Params.Width, 32);
        EXPECT_EQ(call.Params.ImageCount, 1);
        EXPECT_EQ(call.Params.DpiX, IEDefaultDPIX);   // the suite's files carry no pHYs
        // Kept as indices or samples, the image shows the same pixels as Pillow.
        const refimages::TRef ref = refimages::LoadRef(std::string(c.File) + ".ref");
        if (c.Format == ie16g) {
            EXPECT_EQ(bitmap.GetPixelWord(5, 7) >> 8, ref.At(5, 7)[0]);
        } else {
            EXPECT_EQ(Compare(bitmap, ref, c.Bits == 1), "");
        }
    }
}

// With Preview only the parameters come; a file cut short keeps the rows read so far and sets the
// abort flag; bytes that are no PNG are refused; the probe restores the position.
TEST(PNGReader, PreviewTruncationAndProbe) {
    const std::string bytes = refimages::ReadFile(refimages::Folder() + "basn2c08.png");
    if (bytes.empty()) KW_SKIP_UNLESS_CI() << "no corpus";
    {
        TIEBitmap bitmap;
        TCall call;
        EXPECT_TRUE(ReadPNG(bytes, bitmap, call, true));
        EXPECT_EQ(call.Params.Width, 32);
        EXPECT_EQ(bitmap.GetWidth(), 0);
    }
    {
        TIEBitmap bitmap;
        TCall call;
        EXPECT_FALSE(ReadPNG(bytes.substr(0, bytes.size() - 40), bitmap, call));
        EXPECT_EQ(bitmap.GetWidth(), 32);
    }
    for (const std::string& junk : {std::string(), std::string("\x89PNG", 4), std::string(100, 'x')}) {
        TIEBitmap bitmap;
        TCall call;
        EXPECT_FALSE(ReadPNG(junk, bitmap, call));
    }
    TMemoryStream s;
    codectest::Fill(s, "ab" + bytes);
    s.SetPosition(2);
    EXPECT_TRUE(IEIsPNG(s));
    EXPECT_EQ(s.GetPosition(), 2);
    s.SetPosition(0);
    EXPECT_FALSE(IEIsPNG(s));
}

// Each layout of the writer read back: colour type, depth and pixels.
TEST(PNGWriter, LayoutsReadBack) {
    // Six colours: a palette holds them exactly.
    auto colours = [](int32_t x, int32_t y) {
        static const TIERGB c[6] = {Rgb(255, 0, 0), Rgb(0, 128, 0), Rgb(0, 0, 255), Rgb(250, 250, 0), Rgb(0, 0, 0), Rgb(255, 255, 255)};
        return c[(x + 2 * y) % 6];
    };
    auto gradient = [](int32_t x, int32_t y) { return Rgb((uint8_t)(x * 20), (uint8_t)(y * 30), (uint8_t)(x * y)); };
    struct Case {
        const char* Name;
        int32_t Samples, Bits;
        bool Interlaced;
        bool Gradient;
        TIEPixelFormat ReadFormat;
        int32_t ReadBits, ReadSamples;
    } cases[] = {
        {"rgb", 3, 8, false, true, ie24RGB, 8, 3},
        {"rgb interlaced", 3, 8, true, true, ie24RGB, 8, 3},
        {"palette", 1, 8, false, false, ie24RGB, 8, 1},
        {"palette interlaced", 1, 8, true, false, ie24RGB, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        auto image = c.Gradient ? MakeImage(13, 7, gradient) : MakeImage(13, 7, colours);
        TCall w;
        w.Params.SamplesPerPixel = c.Samples;
        w.Params.BitsPerSample = c.Bits;
        w.Params.PNGInterlaced = c.Interlaced;
        const std::string png = WritePNG(*image, w);
        EXPECT_FALSE(w.Aborting);
        TIEBitmap back;
        TCall r;
        ASSERT_TRUE(ReadPNG(png, back, r));
        EXPECT_EQ(back.GetPixelFormat(), c.ReadFormat);
        EXPECT_EQ(r.Params.BitsPerSample, c.ReadBits);
        EXPECT_EQ(r.Params.SamplesPerPixel, c.ReadSamples);
        EXPECT_EQ(r.Params.PNGInterlaced, c.Interlaced);
        EXPECT_EQ(codectest::RGBBytes(back), codectest::RGBBytes(*image));
    }
}

// One-channel sources: a two-colour image at 1 bit, grey images as grey (8 bits from ie8g, 16
// bits from ie16g by their high bytes), a 16-bit palette refused with the writer's exception, and
// a depth of 4 changed to 8 in the parameters.
TEST(PNGWriter, OneChannelImages) {
    auto two = MakeImage(9, 5, [](int32_t x, int32_t y) { return (x + y) % 3 ? Rgb(10, 20, 30) : Rgb(200, 210, 220); });
    TCall w1;
    w1.Params.SamplesPerPixel = 1;
    w1.Params.BitsPerSample = 1;
    TIEBitmap back1;
    TCall r1;
    ASSERT_TRUE(ReadPNG(WritePNG(*two, w1), back1, r1));
    EXPECT_EQ(back1.GetPixelFormat(), ie1g);
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(back1.GetPixelAsRGB(x, 1).r, (x + 1) % 3 ? 0 : 255) << x;

    TIEBitmap grey(6, 4, ie8g);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) grey.GetScanline(y)[x] = (uint8_t)(x * 40 + y);
    TCall w2;
    w2.Params.SamplesPerPixel = 1;
    w2.Params.BitsPerSample = 4;
    const std::string png8 = WritePNG(grey, w2);
    EXPECT_EQ(w2.Params.BitsPerSample, 8);
    TIEBitmap back2;
    TCall r2;
    r2.Params.NativePixelFormat = true;
    ASSERT_TRUE(ReadPNG(png8, back2, r2));
    EXPECT_EQ(back2.GetPixelFormat(), ie8g);
    for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(back2.GetScanline(3)[x], x * 40 + 3);

    TIEBitmap grey16(5, 2, ie16g);
    for (int32_t x = 0; x < 5; ++x) {
        grey16.SetPixelWord(x, 0, (uint16_t)(x * 0x3000 + 0x12));
        grey16.SetPixelWord(x, 1, 0xFFFF);
    }
    TCall w3;
    w3.Params.SamplesPerPixel = 1;
    w3.Params.BitsPerSample = 16;
    TIEBitmap back3;
    TCall r3;
    r3.Params.NativePixelFormat = true;
    ASSERT_TRUE(ReadPNG(WritePNG(grey16, w3), back3, r3));
    EXPECT_EQ(back3.GetPixelFormat(), ie16g);
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back3.GetPixelWord(x, 0), (x * 0x3000) & 0xFF00) << x;

    auto colour = MakeImage(4, 4, [](int32_t x, int32_t y) { return Rgb((uint8_t)(x * 60), 0, (uint8_t)(y * 60)); });
    TCall w4;
    w4.Params.SamplesPerPixel = 1;
    w4.Params.BitsPerSample = 16;
    EXPECT_THROW(WritePNG(*colour, w4), EInvalidGraphic);
}

// The mask: RGBA for colour images, index 0 transparent in the background colour for palette
// images, and no alpha at all from a full mask.
TEST(PNGWriter, AlphaMask) {
    auto image = MakeImage(8, 6, [](int32_t x, int32_t y) { return x < 4 ? Rgb(255, 0, 0) : Rgb(0, 0, 255); });
    TIEMask mask;
    mask.Allocate(8, 6, 8);
    mask.Fill(255);
    for (int32_t x = 0; x < 8; ++x) mask.GetScanline(2)[x] = (uint8_t)(x * 30);
    mask.Full = false;

    TCall w;
    TIEBitmap rgba;
    TCall r;
    const std::string rgbaFile = WritePNG(*image, w, &mask);
    // Left in the build folder for Pillow and ImageMagick (check_written.py).
    std::ofstream(std::string(TEST_BUILD_DIR) + "/png-written-rgba.png", std::ios::binary) << rgbaFile;
    ASSERT_TRUE(ReadPNG(rgbaFile, rgba, r));
    EXPECT_EQ(r.Params.SamplesPerPixel, 4);
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(AlphaAt(rgba, x, 2), x * 30);
    EXPECT_EQ(AlphaAt(rgba, 3, 3), 255);
    EXPECT_EQ(codectest::RGBBytes(rgba), codectest::RGBBytes(*image));

    TCall wp;
    wp.Params.SamplesPerPixel = 1;
    wp.Params.BitsPerSample = 8;
    wp.Params.PNGBackground = Rgb(1, 2, 3);
    TIEBitmap pal;
    TCall rp;
    rp.Params.NativePixelFormat = true;
    const std::string palFile = WritePNG(*image, wp, &mask);
    std::ofstream(std::string(TEST_BUILD_DIR) + "/png-written-palette.png", std::ios::binary) << palFile;
    ASSERT_TRUE(ReadPNG(palFile, pal, rp));
    ASSERT_EQ(pal.GetPixelFormat(), ie8p);
    EXPECT_EQ(rp.Params.ColorMapCount, 256);
    EXPECT_EQ(rp.Params.ColorMap[0].r, 1);
    EXPECT_EQ(rp.Params.ColorMap[0].b, 3);
    EXPECT_EQ(pal.GetScanline(2)[0], 0);
    EXPECT_EQ(AlphaAt(pal, 0, 2), 0);
    EXPECT_EQ(AlphaAt(pal, 7, 2), 0);   // only 255 counts as opaque
    EXPECT_EQ(AlphaAt(pal, 7, 3), 255);
    EXPECT_EQ(pal.GetPixelAsRGB(7, 3).b, 255);

    mask.Fill(255);
    mask.Full = true;
    TCall wf;
    TIEBitmap opaque;
    TCall rf;
    ASSERT_TRUE(ReadPNG(WritePNG(*image, wf, &mask), opaque, rf));
    EXPECT_EQ(rf.Params.SamplesPerPixel, 3);
    EXPECT_FALSE(opaque.HasAlphaChannel());
}

// Resolution, background and texts travel through a written file; only the pairs both text
// lists hold are written.
TEST(PNGWriter, ResolutionBackgroundAndTexts) {
    auto image = MakeImage(3, 3, [](int32_t x, int32_t) { return Rgb((uint8_t)(x * 100), 7, 9); });
    TCall w;
    w.Params.SetDpiX(72);
    w.Params.SetDpiY(150);
    w.Params.PNGBackground = Rgb(10, 20, 30);
    w.Params.PNGTextKeys->Add(L"Title");
    w.Params.PNGTextKeys->Add(L"Author");
    w.Params.PNGTextKeys->Add(L"Orphan");
    w.Params.PNGTextValues->Add(L"A small test");
    w.Params.PNGTextValues->Add(L"lumi-vera");
    w.Params.PNGFilter = 5;
    w.Params.PNGCompression = 9;
    const std::string png = WritePNG(*image, w);
    EXPECT_NE(png.find(std::string("pHYs\0\0\x0B\x13", 8)), std::string::npos);   // 2835 per metre
    TIEBitmap back;
    TCall r;
    ASSERT_TRUE(ReadPNG(png, back, r, true));
    EXPECT_EQ(r.Params.DpiX, 72);
    EXPECT_EQ(r.Params.DpiY, 150);
    EXPECT_EQ(r.Params.PNGBackground.r, 10);
    EXPECT_EQ(r.Params.PNGBackground.g, 20);
    EXPECT_EQ(r.Params.PNGBackground.b, 30);
    ASSERT_EQ(r.Params.PNGTextKeys->GetCount(), 2);
    EXPECT_EQ(r.Params.PNGTextKeys->GetStrings(1), L"Author");
    EXPECT_EQ(r.Params.PNGTextValues->GetStrings(0), L"A small test");
}

namespace {

std::string BE32(uint32_t V) { return std::string{(char)(V >> 24), (char)(V >> 16), (char)(V >> 8), (char)V}; }

std::string Chunk(const std::string& Type, const std::string& Data) {
    const std::string body = Type + Data;
    return BE32((uint32_t)Data.size()) + body + BE32((uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
}

std::string Deflate(const std::string& Data) {
    uLongf size = compressBound((uLong)Data.size());
    std::string out(size, '\0');
    compress2((Bytef*)&out[0], &size, (const Bytef*)Data.data(), (uLong)Data.size(), 9);
    out.resize(size);
    return out;
}

// A 1 x 1 grey PNG with the given chunks before its image data.
std::string PNGWith(const std::string& Chunks) {
    return "\x89PNG\r\n\x1a\n" + Chunk("IHDR", BE32(1) + BE32(1) + std::string("\x08\0\0\0\0", 5)) + Chunks +
           Chunk("IDAT", Deflate(std::string("\0\x80", 2))) + Chunk("IEND", "");
}

}  // namespace

// The three text chunks, stored and compressed; and a file of many texts that inflate to far more
// than it holds (40 of 512 KB in 20 KB) keeps them only up to the bound of 8 MB in all.
TEST(PNGReader, TextChunksAndTheirTotalBound) {
    const std::string texts = Chunk("tEXt", std::string("Title\0plain", 11)) +
                              Chunk("zTXt", std::string("Note\0\0", 6) + Deflate("packed")) +
                              Chunk("iTXt", std::string("Caf\xc3\xa9\0\0\0ja\0k\0", 13) + "\xe6\x97\xa5") +
                              Chunk("iTXt", std::string("Z\0\1\0\0\0", 6) + Deflate("\xe2\x82\xac"));
    TIEBitmap b;
    TCall c;
    ASSERT_TRUE(ReadPNG(PNGWith(texts), b, c));
    ASSERT_EQ(c.Params.PNGTextKeys->GetCount(), 4);
    EXPECT_EQ(c.Params.PNGTextValues->GetStrings(0), L"plain");
    EXPECT_EQ(c.Params.PNGTextKeys->GetStrings(1), L"Note");
    EXPECT_EQ(c.Params.PNGTextValues->GetStrings(1), L"packed");
    EXPECT_EQ(c.Params.PNGTextValues->GetStrings(2), L"\x65e5");
    EXPECT_EQ(c.Params.PNGTextValues->GetStrings(3), L"\x20ac");

    const std::string big = Deflate(std::string(512 << 10, 'a'));
    std::string many;
    for (int i = 0; i < 40; ++i) many += Chunk("zTXt", "T" + std::to_string(i) + std::string("\0\0", 2) + big);
    TIEBitmap b2;
    TCall c2;
    ASSERT_TRUE(ReadPNG(PNGWith(many), b2, c2));
    const int32_t kept = c2.Params.PNGTextKeys->GetCount();
    EXPECT_GE(kept, 8);
    EXPECT_LE(kept * (512 << 10), 8 << 20);
    EXPECT_EQ(c2.Params.PNGTextKeys->GetStrings(kept - 1), L"T" + std::to_wstring(kept - 1));
    EXPECT_EQ(b2.GetWidth(), 1);
}

// A stream that takes no bytes: the abort flag, no exception.
TEST(PNGWriter, ShortWriteSetsAbort) {
    class TFullStream : public TMemoryStream {
    public:
        int32_t Write(const void*, int32_t) override { return 0; }
    } full;
    auto image = MakeImage(5, 5, [](int32_t, int32_t) { return Rgb(1, 2, 3); });
    TCall w;
    EXPECT_NO_THROW(IEWritePNGStream(full, image.get(), w.Params, w.Progress, nullptr));
    EXPECT_TRUE(w.Aborting);
}
