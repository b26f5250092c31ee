// Wang annotation blocks: marks read from blocks built here record by record, the font rescaling
// of text marks, a save and load round trip, the 16-bit variant, and cut or lying blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iecoredefs_settings.h"
#include "iecoreutils_wang.h"

namespace {

// A block written record by record, the way the format lays it out.
struct TBlock {
    std::vector<uint8_t> Bytes;
    size_t Extra;   // 4 in the 16-bit variant
    explicit TBlock(bool Wide = true) : Extra(Wide ? 0 : 4) {
        I32(0);
        I32(Wide ? 1 : 0);
    }
    void I32(int32_t V) {
        for (int i = 0; i < 4; ++i) Bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(V) >> (8 * i)));
    }
    void Mark(int32_t Type, int32_t FontHeight = 0) {
        TIEWangMarkAttributes a;
        std::memset(&a, 0, sizeof a);
        a.uType = Type;
        a.lrBounds = TIERect{1, 2, 30, 40};
        a.uLineSize = 3;
        a.lfFont.lfHeight = FontHeight;
        std::strcpy(a.lfFont.lfFaceName, "Arial");
        I32(5);
        I32(164);
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&a);
        Bytes.insert(Bytes.end(), p, p + sizeof a);
    }
    void Named(int32_t RecordType, const char* Name, const std::vector<uint8_t>& Data) {
        I32(RecordType);
        I32(12);
        char name[8] = {};
        std::memcpy(name, Name, strnlen(Name, 8));
        Bytes.insert(Bytes.end(), name, name + 8);
        I32(static_cast<int32_t>(Data.size()));
        for (size_t i = 0; i < Extra; ++i) Bytes.push_back(0);
        Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    }
    static std::vector<uint8_t> Ints(std::initializer_list<int32_t> Values, const std::string& Tail = "") {
        TBlock b;
        b.Bytes.clear();
        for (int32_t v : Values) b.I32(v);
        b.Bytes.insert(b.Bytes.end(), Tail.begin(), Tail.end());
        return b.Bytes;
    }
    void Text(const std::string& S, int32_t Scale) {
        Named(6, "OiAnText", Ints({0, 0, Scale, static_cast<int32_t>(S.size() + 1)}, S + std::string(1, '\0')));
    }
};

void Load(TIEImagingAnnot& Annot, const std::vector<uint8_t>& Bytes) {
    Annot.LoadFromBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

}   // namespace

TEST(IEWangAnnot, TextMarksRescaleTheirFontToTheFormatScale) {
    struct { int32_t height, scale, expected; } cases[] = {
        {-12, 7500, -12},   // the stored scale: no rescale, so no drift
        {-30, 7500, -30},
        {-12, 0, -12},      // scale 0 counts as 7500
        {-12, 1000, -90},
        {-12, 3000, -30},   // Trunc(-4) = -4, then -Trunc(30)
    };
    for (const auto& c : cases) {
        TBlock b;
        b.Named(2, "OiGroup", {'0', 0});
        b.Mark(7, c.height);
        b.Text("note", c.scale);
        TIEImagingAnnot annot;
        annot.UserChanged = true;
        Load(annot, b.Bytes);
        ASSERT_EQ(annot.GetCount(), 1);
        EXPECT_EQ(annot.GetObject(0)->Text, "note");
        EXPECT_EQ(annot.GetObject(0)->Attributes.lfFont.lfHeight, c.expected) << c.height << " @" << c.scale;
        EXPECT_FALSE(annot.UserChanged);
    }
}

TEST(IEWangAnnot, MarksBlocksAndTheirOwners) {
    TBlock b(false);   // the 16-bit variant
    b.Mark(4);
    b.Named(6, "OiAnoDat", TBlock::Ints({9, 2, 10, 20, 30, 40}));
    b.Mark(8, -30);
    b.Text("first", 7500);
    b.Text("second", 7500);   // the later block of the same name wins
    b.Named(6, "OiIndex", {'1', 0});
    b.Mark(0);                 // a type below 1 makes no object
    b.Mark(12);                // other types keep their attributes only
    b.Named(6, "OiAnoDat", std::vector<uint8_t>(56, 0));
    TIEImagingAnnot annot;
    Load(annot, b.Bytes);
    ASSERT_EQ(annot.GetCount(), 3);
    const TIEImagingObject* line = annot.GetObject(0);
    EXPECT_EQ(line->Attributes.uType, 4);
    ASSERT_EQ(line->Points.size(), 2u);
    EXPECT_EQ(line->Points[1].X, 30);
    EXPECT_EQ(line->Points[1].Y, 40);
    EXPECT_EQ(annot.GetObject(1)->Text, "second");
    EXPECT_EQ(annot.GetObject(2)->Attributes.uType, 12);
    EXPECT_EQ(annot.GetObject(2)->Attributes.lrBounds.Bottom, 40);
    EXPECT_TRUE(annot.GetObject(2)->Points.empty());
    // Loading again appends.
    Load(annot, b.Bytes);
    EXPECT_EQ(annot.GetCount(), 6);
}

TEST(IEWangAnnot, SaveAndLoadKeepTypesAttributesPointsTextAndImages) {
    TIEImagingAnnot annot;
    EXPECT_EQ(annot.GetCount(), 0);
    std::unique_ptr<uint8_t[]> data(new uint8_t[1]);
    int32_t length = -1;
    annot.SaveToBuffer(data, length);   // nothing to save: no data
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0);

    auto* text = new TIEImagingObject;
    text->Attributes.uType = 9;
    text->Attributes.lfFont.lfHeight = -12;   // a height the rescale would change (to -7)
    text->Attributes.rgbColor1[2] = 200;
    text->Text = "受付 note";   // ANSI bytes kept as they are
    annot.Add(text);
    auto* line = new TIEImagingObject;
    line->Attributes.uType = 4;
    line->Attributes.uLineSize = 5;
    line->Points = {{1, 2}, {-3, 4}, {500000, -6}};
    annot.Add(line);
    auto* image = new TIEImagingObject;
    image->Attributes.uType = 1;
    image->Image.reset(new TIEBitmap(3, 2, ie24RGB));
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) image->Image->SetPixelRGB(x, y, TIERGB{uint8_t(x * 50), uint8_t(y * 90), 7});
    annot.Add(image);
    auto* mono = new TIEImagingObject;
    mono->Attributes.uType = 1;
    mono->Image.reset(new TIEBitmap(10, 3, ie1g));
    for (int32_t y = 0; y < 3; ++y) std::memset(mono->Image->GetScanline(y), y == 1 ? 0xA5 : 0, 2);
    annot.Add(mono);

    annot.SaveToBuffer(data, length);
    ASSERT_NE(data, nullptr);
    TIEImagingAnnot back;
    back.LoadFromBuffer(data.get(), length);
    ASSERT_EQ(back.GetCount(), 4);
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::memcmp(&back.GetObject(i)->Attributes, &annot.GetObject(i)->Attributes, 164), 0) << i;
    EXPECT_EQ(back.GetObject(0)->Text, "受付 note");
    ASSERT_EQ(back.GetObject(1)->Points.size(), 3u);
    EXPECT_EQ(back.GetObject(1)->Points[2].X, 500000);
    EXPECT_EQ(back.GetObject(1)->Points[2].Y, -6);
    TIEBitmap* img = back.GetObject(2)->Image.get();
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->GetWidth(), 3);
    EXPECT_EQ(img->GetHeight(), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            const TIERGB c = img->GetPixelRGB(x, y);
            EXPECT_EQ(c.r, 7);
            EXPECT_EQ(c.g, y * 90);
            EXPECT_EQ(c.b, x * 50);
        }
    TIEBitmap* m = back.GetObject(3)->Image.get();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetPixelFormat(), ie1g);
    EXPECT_EQ(m->GetScanline(1)[0], 0xA5);
    EXPECT_EQ(m->GetScanline(1)[1] & 0xC0, 0x80);
    EXPECT_EQ(m->GetScanline(0)[0], 0);

    // Assign copies deeply: the copy outlives the source.
    TIEImagingAnnot copy;
    copy.Assign(&back);
    back.Clear();
    ASSERT_EQ(copy.GetCount(), 4);
    EXPECT_EQ(copy.GetObject(2)->Image->GetPixelRGB(2, 1).b, 100);
    EXPECT_EQ(copy.GetObject(1)->Points[0].Y, 2);
}

TEST(IEWangAnnot, CutAndLyingBlocksStopAtTheirEnd) {
    TBlock b;
    b.Mark(4);
    b.Named(6, "OiAnoDat", TBlock::Ints({2, 2, 1, 1, 2, 2}));
    b.Mark(7, -30);
    b.Text("x", 7500);
    // Every cut loads the complete marks before it and stops (the sanitizers watch the reads).
    for (size_t cut = 0; cut <= b.Bytes.size(); ++cut) {
        TIEImagingAnnot annot;
        annot.LoadFromBuffer(b.Bytes.data(), static_cast<int32_t>(cut));
        EXPECT_LE(annot.GetCount(), 2) << cut;
    }
    struct { const char* what; std::vector<uint8_t> block; int32_t count; size_t points; } cases[] = {
        {"point count beyond the block", TBlock::Ints({2, 1000, 1, 1}), 1, 0},
        {"negative point count", TBlock::Ints({2, -1, 1, 1}), 1, 0},
    };
    for (const auto& c : cases) {
        TBlock l;
        l.Mark(3);
        l.Named(6, "OiAnoDat", c.block);
        TIEImagingAnnot annot;
        Load(annot, l.Bytes);
        ASSERT_EQ(annot.GetCount(), c.count) << c.what;
        EXPECT_EQ(annot.GetObject(0)->Points.size(), c.points) << c.what;
    }
    // A named block whose size runs past the end, and one that is negative: the mark is kept
    // without it.
    for (int32_t size : {1000, -5}) {
        TBlock l;
        l.Mark(4);
        l.I32(6);
        l.I32(12);
        l.Bytes.insert(l.Bytes.end(), {'O', 'i', 'A', 'n', 'o', 'D', 'a', 't'});
        l.I32(size);
        l.I32(7);
        TIEImagingAnnot annot;
        Load(annot, l.Bytes);
        ASSERT_EQ(annot.GetCount(), 1) << size;
        EXPECT_TRUE(annot.GetObject(0)->Points.empty());
    }
    // An unknown record is stepped over by its size; a text length past the block is cut there.
    TBlock u;
    u.I32(99);
    u.I32(4);
    u.I32(-1);
    u.Mark(10);
    u.Named(6, "OiAnText", TBlock::Ints({0, 0, 7500, 50}, "abc"));
    TIEImagingAnnot annot;
    Load(annot, u.Bytes);
    ASSERT_EQ(annot.GetCount(), 1);
    EXPECT_EQ(annot.GetObject(0)->Text, "abc");
}

TEST(IEWangAnnot, EmbeddedDIBsAreCheckedAgainstTheirBlock) {
    // An 8 x 1 1-bit DIB whose table lists white first: its clear bits are the white pixels.
    std::vector<uint8_t> dib = TBlock::Ints({40, 8, 1, 0x00010001, 0, 4, 0, 0, 2, 0, 0x00FFFFFF, 0});
    dib.insert(dib.end(), {0x0F, 0, 0, 0});
    for (size_t cut : {size_t(0), size_t(1)}) {
        TBlock b;
        b.Mark(1);
        b.Named(6, "OiDIB", std::vector<uint8_t>(dib.begin(), dib.end() - static_cast<std::ptrdiff_t>(cut)));
        TIEImagingAnnot annot;
        Load(annot, b.Bytes);
        ASSERT_EQ(annot.GetCount(), 1) << cut;
        TIEBitmap* img = annot.GetObject(0)->Image.get();
        if (cut) {
            EXPECT_EQ(img, nullptr);   // one row byte short: no image read past the block
            continue;
        }
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->GetPixelFormat(), ie1g);
        EXPECT_EQ(img->GetScanline(0)[0], 0xF0);
    }
}

TEST(IEWangAnnot, ImageMarksCarryTheScreenResolution) {
    // The viewer's start-up sets the screen resolution; the mark data of an image carries it.
    const int32_t oldX = IEScreenDPIX, oldY = IEScreenDPIY;
    IEScreenDPIX = 120;
    IEScreenDPIY = 144;
    TIEImagingAnnot annot;
    auto* image = new TIEImagingObject;
    image->Attributes.uType = 1;
    image->Image.reset(new TIEBitmap(2, 2, ie24RGB));
    annot.Add(image);
    std::unique_ptr<uint8_t[]> data;
    int32_t length = 0;
    annot.SaveToBuffer(data, length);
    IEScreenDPIX = oldX;
    IEScreenDPIY = oldY;
    ASSERT_NE(data, nullptr);
    // 14 Integers: 1, 1000, X, Y, X, Y and eight zeros.
    const int32_t expected[6] = {1, 1000, 120, 144, 120, 144};
    const uint8_t* begin = data.get();
    const uint8_t* end = begin + length;
    EXPECT_NE(std::search(begin, end, reinterpret_cast<const uint8_t*>(expected),
                          reinterpret_cast<const uint8_t*>(expected) + sizeof expected),
              end);
}
