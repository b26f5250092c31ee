// The PSD codec on documents of our own writer and on hand-made ones: every pixel format through
// the writer and back, layers with masks and their fields, the resources, and the edge cases of
// the layer section (one layer without LoadLayers, empty layers, 1-bit widths, transparency index).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "imaging/codecs/iepsd.h"

using codectest::Contents;
using codectest::Fill;
using codectest::TCall;

namespace {

void Numbered(TIEBitmap& b, int seed) {
    const int32_t used = (b.GetWidth() * b.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < used; ++i) row[i] = (uint8_t)(seed + y * 37 + i * 11 + (i * i) / 5);
    }
}

bool SamePixels(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPixelFormat() != b.GetPixelFormat())
        return false;
    const int32_t bits = a.GetWidth() * a.GetBitCount();
    for (int32_t y = 0; y < a.GetHeight(); ++y) {
        if (std::memcmp(a.GetScanline(y), b.GetScanline(y), (size_t)bits / 8) != 0) return false;
        if (bits % 8) {
            const uint8_t mask = (uint8_t)(0xFF << (8 - bits % 8));
            if ((a.GetScanline(y)[bits / 8] & mask) != (b.GetScanline(y)[bits / 8] & mask)) return false;
        }
    }
    return true;
}

std::string Write(TIEBitmap* Bitmap, TIEPSDLayerList* Layers, TCall& Call) {
    TMemoryStream s;
    IEWritePSDStream(&s, Call.Params, Call.Progress, Bitmap, Layers);
    return Contents(s);
}

void Read(const std::string& Bytes, TIEBitmap* Bitmap, TCall& Call, bool LoadLayers = false,
          TIEPSDLayerList* Layers = nullptr) {
    TMemoryStream s;
    Fill(s, Bytes);
    IEReadPSDStream(&s, Bitmap, Call.Params, Call.Progress, LoadLayers, Layers);
}

std::unique_ptr<TIEPSDLayer> Layer(int32_t W, int32_t H, TIEPixelFormat Format, int seed, int32_t X, int32_t Y) {
    auto l = std::make_unique<TIEPSDLayer>();
    l->Bitmap->Allocate(W, H, Format);
    Numbered(*l->Bitmap, seed);
    l->PosX = X;
    l->PosY = Y;
    return l;
}

// The image resources of a document as identifier and data.
std::vector<std::pair<int, std::string>> Resources(const std::string& D) {
    std::vector<std::pair<int, std::string>> out;
    size_t p = 26;
    p += 4 + ByteOrder::GetBE32(&D[p]);
    const size_t end = p + 4 + ByteOrder::GetBE32(&D[p]);
    p += 4;
    while (p + 12 <= end && D.compare(p, 4, "8BIM") == 0) {
        const int id = ByteOrder::GetBE16(&D[p + 4]);
        const size_t nameLength = (uint8_t)D[p + 6];
        p += 6 + 1 + nameLength + ((nameLength + 1) & 1);
        const size_t size = ByteOrder::GetBE32(&D[p]);
        out.emplace_back(id, D.substr(p + 4, size));
        p += 4 + size + (size & 1);
    }
    return out;
}

}  // namespace

TEST(IEPSD, PackBitsRows) {
    struct Case {
        std::string row, packed;
    } cases[] = {
        {"abc", std::string("\x02" "abc", 4)},
        {"aaaa", std::string("\xFD" "a", 2)},
        {"aaab", std::string("\x03" "aaab", 5)},
        {"xyaaaaaz", std::string("\x01" "xy" "\xFC" "a" "\x00" "z", 7)},
        {std::string(130, 'q'), std::string("\x81" "q" "\x01" "qq", 5)},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> packed;
        IEPSDPackBitsRow((const uint8_t*)c.row.data(), (int32_t)c.row.size(), packed);
        EXPECT_EQ(std::string(packed.begin(), packed.end()), c.packed) << c.row.substr(0, 10);
        std::string back(c.row.size(), '\0');
        EXPECT_EQ(IEPSDUnpackBitsRow(packed.data(), (int32_t)packed.size(), (uint8_t*)&back[0], (int32_t)back.size()),
                  (int32_t)back.size());
        EXPECT_EQ(back, c.row);
    }
    // A literal row of 300 bytes goes in runs of at most 128.
    std::string literal;
    for (int i = 0; i < 300; ++i) literal += (char)(i * 7);
    std::vector<uint8_t> packed;
    IEPSDPackBitsRow((const uint8_t*)literal.data(), 300, packed);
    EXPECT_EQ(packed.size(), 303u);
    EXPECT_EQ(packed[0], 127);
    // Decoding stops at the row's end, skips -128 and stops where the data ends.
    const uint8_t data[] = {0x80, 0xF0, 'z', 0x05, 'a', 'b'};
    uint8_t row[8];
    std::memset(row, 0, sizeof row);
    EXPECT_EQ(IEPSDUnpackBitsRow(data, 3, row, 8), 8);
    EXPECT_EQ(row[7], 'z');
    std::memset(row, 0, sizeof row);
    EXPECT_EQ(IEPSDUnpackBitsRow(data + 3, 3, row, 8), 2);
    EXPECT_EQ(row[1], 'b');
}

// Every pixel format the writer takes, with an odd width, back through the reader in its own
// format; alpha channels of the layers survive too.
TEST(IEPSD, EveryFormatRoundTrips) {
    const TIEPixelFormat formats[] = {ie1g, ie8g, ie16g, ie8p, ie24RGB, ieRGB48, ieCMYK, ieCIELab};
    for (TIEPixelFormat format : formats) {
        SCOPED_TRACE((int)format);
        TIEBitmap image(13, 5, format);
        Numbered(image, (int)format);
        if (format == ie8p) {
            for (int32_t i = 0; i < 256; ++i) image.SetPaletteEntry(i, TIERGB{(uint8_t)i, (uint8_t)(i / 2), (uint8_t)~i});
            image.GetScanline(0)[0] = 255;
        }
        TIEPSDLayerList layers;
        layers.push_back(Layer(4, 3, format, 77, 2, 1));
        if (format != ie1g && format != ie8p) Numbered(*layers[0]->Bitmap->GetAlphaChannel(), 9);
        layers.push_back(Layer(6, 2, format, 78, 0, 3));
        if (format == ie8p)
            for (auto& l : layers) image.CopyPaletteTo(l->Bitmap.get());
        TCall w;
        const std::string file = Write(&image, &layers, w);
        ASSERT_FALSE(w.Aborting);

        TCall r;
        r.Params.NativePixelFormat = true;
        TIEBitmap composite;
        Read(file, &composite, r);
        ASSERT_FALSE(r.Aborting);
        EXPECT_TRUE(SamePixels(image, composite));
        EXPECT_EQ(r.Params.BitsPerSample, IEPixelFormatBitCount[format] / IEPixelFormatChannelCount[format]);
        if (format == ie8p) {
            EXPECT_EQ(composite.GetPaletteEntry(200).g, 100);
            EXPECT_FALSE(composite.HasAlphaChannel());   // index 255 is used: no transparency index
        }

        TCall rl;
        rl.Params.NativePixelFormat = true;
        TIEPSDLayerList back;
        TIEBitmap unused;
        Read(file, &unused, rl, true, &back);
        ASSERT_EQ(back.size(), 2u);
        EXPECT_TRUE(unused.IsEmpty());   // layers came: the composite is not read
        for (size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(back[i]->PosX, layers[i]->PosX);
            EXPECT_EQ(back[i]->PosY, layers[i]->PosY);
            EXPECT_TRUE(SamePixels(*layers[i]->Bitmap, *back[i]->Bitmap));
            EXPECT_EQ(back[i]->Bitmap->HasAlphaChannel(), layers[i]->Bitmap->HasAlphaChannel());
            if (layers[i]->Bitmap->HasAlphaChannel())
                EXPECT_TRUE(SamePixels(*layers[i]->Bitmap->GetAlphaChannel(), *back[i]->Bitmap->GetAlphaChannel()));
        }
    }
}

TEST(IEPSD, LayerFieldsAndMasks) {
    TIEBitmap image(10, 8, ie24RGB);
    Numbered(image, 1);
    TIEPSDLayerList layers;
    layers.push_back(Layer(5, 4, ie24RGB, 2, 3, 2));
    layers[0]->Name = "Layer one";
    layers[0]->Transparency = 128;
    layers[0]->Visible = false;
    auto mask = Layer(3, 3, ie8g, 50, 4, 4);
    mask->IsMask = true;
    layers.push_back(std::move(mask));
    layers.push_back(Layer(2, 2, ie8g, 3, 0, 0));   // converted to the document's RGB
    layers[2]->Name = std::string(300, 'n');
    TCall w;
    const std::string file = Write(&image, &layers, w);
    ASSERT_FALSE(w.Aborting);
    EXPECT_EQ(layers[2]->Bitmap->GetPixelFormat(), ie24RGB);

    TCall r;
    TIEPSDLayerList back;
    Read(file, nullptr, r, true, &back);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0]->Name, "Layer one");
    EXPECT_EQ(back[0]->Transparency, 128);
    EXPECT_FALSE(back[0]->Visible);
    EXPECT_TRUE(back[0]->Clipping);   // clipping byte 0
    EXPECT_FALSE(back[0]->IsMask);
    ASSERT_TRUE(back[1]->IsMask);
    EXPECT_FALSE(back[1]->Visible);
    EXPECT_EQ(back[1]->PosX, 4);
    EXPECT_EQ(back[1]->PosY, 4);
    EXPECT_TRUE(SamePixels(*layers[1]->Bitmap, *back[1]->Bitmap));
    EXPECT_EQ(back[2]->Name, std::string(255, 'n'));
    EXPECT_TRUE(back[2]->Visible);
    EXPECT_EQ(back[2]->Bitmap->GetPixelFormat(), ie24RGB);
    EXPECT_TRUE(SamePixels(*layers[2]->Bitmap, *back[2]->Bitmap));
}

// Without LoadLayers a single layer still comes back (and the composite is read); two layers are
// skipped. A layer with an empty rectangle disappears with its mask.
TEST(IEPSD, WhichLayersAreReturned) {
    TIEBitmap image(6, 4, ie8g);
    Numbered(image, 4);
    TIEPSDLayerList one;
    one.push_back(Layer(2, 2, ie8g, 5, 1, 1));
    TCall w1;
    const std::string oneLayer = Write(&image, &one, w1);
    TIEPSDLayerList two;
    two.push_back(Layer(2, 2, ie8g, 5, 1, 1));
    two.push_back(Layer(3, 1, ie8g, 6, 0, 0));
    TCall w2;
    const std::string twoLayers = Write(&image, &two, w2);

    for (const auto* file : {&oneLayer, &twoLayers}) {
        TCall r;
        r.Params.NativePixelFormat = true;
        TIEPSDLayerList back;
        TIEBitmap composite;
        Read(*file, &composite, r, false, &back);
        EXPECT_EQ(back.size(), file == &oneLayer ? 1u : 0u);
        EXPECT_TRUE(SamePixels(image, composite));
    }

    // Patch the first layer's rectangle of the two-layer file to be empty (bottom = top).
    std::string patched = twoLayers;
    const size_t at = patched.find("8BIMnorm");
    ASSERT_NE(at, std::string::npos);
    // The record starts 16 bytes of rectangle and 2 + 6 x channels before the signature.
    const size_t channels = 1;
    const size_t record = at - (16 + 2 + 6 * channels);
    std::memcpy(&patched[record + 8], &patched[record], 4);   // bottom := top
    TCall r;
    r.Params.NativePixelFormat = true;
    TIEPSDLayerList back;
    Read(patched, nullptr, r, true, &back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(SamePixels(*two[1]->Bitmap, *back[0]->Bitmap));
}

TEST(IEPSD, ResourcesAndParameters) {
    TIEBitmap image(9, 3, ie8p);
    Numbered(image, 0);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 9; ++x) image.GetScanline(y)[x] = (uint8_t)(x == 4 ? 7 : x * 3);
    for (int32_t i = 0; i < 256; ++i) image.SetPaletteEntry(i, TIERGB{(uint8_t)i, 0, (uint8_t)(255 - i)});
    TCall w;
    w.Params.SetDpiX(300);
    w.Params.SetDpiY(150);
    w.Params.XMPInfo = "<x:xmpmeta/>";
    const std::string profile = std::string(128, '\0') + std::string("\0\0\0\0", 4);
    w.Params.GetInputICCProfile()->LoadFromBuffer(profile.data(), (int32_t)profile.size());
    w.Params.IPTCInfo->AddData(2, 5, "Title", 5);
    w.Params.EXIFThumbnail = std::make_unique<TIEBitmap>(8, 6, ie24RGB);
    w.Params.EXIFThumbnail->Fill(0x336699);
    const std::string file = Write(&image, nullptr, w);
    ASSERT_FALSE(w.Aborting);
    std::vector<int> ids;
    for (const auto& r : Resources(file)) ids.push_back(r.first);
    EXPECT_EQ(ids, (std::vector<int>{1005, 1047, 1028, 1039, 1036, 1060}));
    EXPECT_EQ(Resources(file)[1].second, std::string("\0\xFF", 2));

    TCall r;
    r.Params.NativePixelFormat = true;
    TIEBitmap back;
    Read(file, &back, r);
    ASSERT_FALSE(r.Aborting);
    EXPECT_EQ(r.Params.DpiX, 300);
    EXPECT_EQ(r.Params.DpiY, 150);
    EXPECT_EQ(r.Params.XMPInfo, "<x:xmpmeta/>");
    EXPECT_EQ(r.Params.GetInputICCProfile()->GetRawSize(), (int32_t)profile.size());
    EXPECT_EQ(r.Params.IPTCInfo->GetCount(), 2);   // the record version and the title
    ASSERT_TRUE(r.Params.EXIFThumbnail);
    EXPECT_EQ(r.Params.EXIFThumbnail->GetWidth(), 8);
    EXPECT_EQ(r.Params.Width, 9);
    EXPECT_EQ(r.Params.SamplesPerPixel, 1);
    EXPECT_EQ(r.Params.ImageCount, 1);
    // Index 255 is transparent: no pixel uses it, so every pixel stays opaque.
    ASSERT_TRUE(back.HasAlphaChannel());
    EXPECT_EQ(back.GetAlpha(4, 1), 255);

    // The thumbnail can stand in for the image.
    TCall t;
    t.Params.GetThumbnail = true;
    TIEBitmap thumb;
    Read(file, &thumb, t);
    EXPECT_EQ(thumb.GetWidth(), 8);
    EXPECT_EQ(thumb.GetHeight(), 6);
}

TEST(IEPSD, TransparencyIndexGivesAlpha) {
    TIEBitmap image(5, 2, ie8p);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 5; ++x) image.GetScanline(y)[x] = (uint8_t)(x == 2 ? 9 : x);
    TCall w;
    std::string file = Write(&image, nullptr, w);
    // Point the transparency index at 9.
    const size_t at = file.find(std::string("8BIM\x04\x17", 6));
    ASSERT_NE(at, std::string::npos);
    file[at + 12] = 0;
    file[at + 13] = 9;
    TCall r;
    r.Params.NativePixelFormat = true;
    TIEBitmap back;
    Read(file, &back, r);
    ASSERT_TRUE(back.HasAlphaChannel());
    EXPECT_EQ(back.GetAlpha(2, 1), 0);
    EXPECT_EQ(back.GetAlpha(1, 1), 255);
}

TEST(IEPSD, ConvertsToRGBUnlessNative) {
    TIEBitmap image(7, 3, ieRGB48);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 7; ++x) image.SetPixelRGB48(x, y, (uint16_t)(x * 9000), 0x1234, (uint16_t)(y * 20000));
    TCall w;
    const std::string file = Write(&image, nullptr, w);
    TCall r;
    TIEBitmap back;
    Read(file, &back, r);
    ASSERT_EQ(back.GetPixelFormat(), ie24RGB);
    const TIERGB c = back.GetPixelRGB(3, 2);
    EXPECT_EQ(c.r, (27000 >> 8));
    EXPECT_EQ(c.g, 0x12);
    EXPECT_EQ(c.b, (40000 >> 8));
}

TEST(IEPSD, BadInputsAbort) {
    TIEBitmap image(4, 4, ie24RGB);
    Numbered(image, 2);
    TCall w;
    const std::string good = Write(&image, nullptr, w);
    TMemoryStream goodStream;
    Fill(goodStream, good);
    EXPECT_TRUE(IEIsPSD(&goodStream));
    struct Case {
        const char* what;
        size_t at;
        char value;
    } cases[] = {{"signature", 0, '9'}, {"version", 5, 2}, {"channels", 13, 25}, {"depth", 23, 17}, {"mode", 25, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = good;
        bad[c.at] = c.value;
        TMemoryStream s;
        Fill(s, bad);
        EXPECT_FALSE(IEIsPSD(&s));
        EXPECT_EQ(s.GetPosition(), 0);
        TCall r;
        TIEBitmap target(2, 2, ie8g);
        Read(bad, &target, r);
        EXPECT_TRUE(r.Aborting);
        EXPECT_EQ(target.GetPixelFormat(), ie8g);
    }
    // A depth with no pixel format (4-bit greyscale), and image data cut short.
    std::string four = good;
    four[23] = 4;
    four[25] = 1;
    TCall r4;
    TIEBitmap b4;
    Read(four, &b4, r4);
    EXPECT_TRUE(r4.Aborting);
    TCall rc;
    TIEBitmap bc;
    Read(good.substr(0, 60), &bc, rc);
    EXPECT_TRUE(rc.Aborting);

    // Formats the writer cannot store write nothing.
    for (TIEPixelFormat format : {ie32f, ieNoFormat}) {
        TIEBitmap f(3, 3, format);
        TCall wf;
        EXPECT_EQ(Write(&f, nullptr, wf), "");
        EXPECT_TRUE(wf.Aborting);
    }
}
