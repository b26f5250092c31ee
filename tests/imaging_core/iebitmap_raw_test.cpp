// The raw bitmap stream: its exact bytes for small images, round trips of every pixel format with
// an alpha channel through a stream and through a memory block, and the records it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "iebitmap.h"

namespace {

void Numbered(TIEBitmap& b, int seed) {
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < b.GetRowLen(); ++i) row[i] = (uint8_t)(seed + y * 31 + i * 7);
    }
}

std::vector<uint8_t> Bytes(TMemoryStream& s) {
    const uint8_t* p = (const uint8_t*)s.GetMemory();
    return std::vector<uint8_t>(p, p + s.GetSize());
}

int32_t I32(const std::vector<uint8_t>& b, size_t at) {
    int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// A stream holding Bytes, at its start.
void Fill(TMemoryStream& S, const std::vector<uint8_t>& Bytes) {
    S.WriteBuffer(Bytes.data(), (int32_t)Bytes.size());
    S.SetPosition(0);
}

bool SameRows(TIEBitmap& a, TIEBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetRowLen() != b.GetRowLen()) return false;
    for (int32_t y = 0; y < a.GetHeight(); ++y)
        if (std::memcmp(a.GetScanline(y), b.GetScanline(y), (size_t)a.GetRowLen()) != 0) return false;
    return true;
}

}  // namespace

TEST(IEBitmapRaw, ExactBytesOfASmallRGBImage) {
    TIEBitmap b(3, 2, ie24RGB);
    Numbered(b, 1);
    b.Contrast = 7;
    b.PaletteColors = 99;
    TMemoryStream s;
    b.SaveRawToStream(nullptr, &s);
    std::vector<uint8_t> bytes = Bytes(s);
    ASSERT_EQ(bytes.size(), 100u);
    EXPECT_EQ(std::memcmp(bytes.data(), "TIEBITMAPRAW", 12), 0);
    EXPECT_EQ(I32(bytes, 12), 0);    // version
    EXPECT_EQ(I32(bytes, 16), 0);    // no palette
    EXPECT_EQ(I32(bytes, 20), 3);    // width
    EXPECT_EQ(I32(bytes, 24), 2);    // height
    EXPECT_EQ(bytes[28], ie24RGB);
    EXPECT_EQ(I32(bytes, 30), 99);   // palette colours
    EXPECT_EQ(bytes[66], 0);         // channel offsets off
    EXPECT_EQ(I32(bytes, 67), 7);    // contrast
    EXPECT_EQ(I32(bytes, 71), 32);   // row alignment
    EXPECT_EQ(std::memcmp(&bytes[75], b.GetScanline(0), 12), 0);
    EXPECT_EQ(std::memcmp(&bytes[87], b.GetScanline(1), 12), 0);
    EXPECT_EQ(bytes[99], 0);         // no alpha

    // With an alpha channel: the has-alpha byte, two rows of 4 bytes and the alpha's Full flag.
    b.GetAlphaChannel()->GetScanline(1)[2] = 0x42;
    b.GetAlphaChannel()->SetFull(false);
    TMemoryStream s2;
    b.SaveRawToStream(nullptr, &s2);
    bytes = Bytes(s2);
    ASSERT_EQ(bytes.size(), 109u);
    EXPECT_EQ(bytes[99], 1);
    EXPECT_EQ(bytes[100], 255);
    EXPECT_EQ(bytes[106], 0x42);
    EXPECT_EQ(bytes[108], 0);

    // The memory-block form writes the same bytes.
    std::vector<uint8_t> block(109, 0xEE);
    b.SaveRawToStream(block.data(), nullptr);
    EXPECT_EQ(block, bytes);
}

TEST(IEBitmapRaw, PaletteAndSettingsComeBack) {
    TIEBitmap b(5, 3, ie8p);
    Numbered(b, 3);
    for (int32_t i = 0; i < 256; ++i) b.SetPaletteEntry(i, TIERGB{(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 3)});
    b.DisplayRange[0] = -1.5;
    b.DisplayRange[1] = 1234.25;
    b.ChannelOffsets[2] = -9;
    b.ChannelOffsetEnabled = true;
    b.Contrast = -40;
    b.SetFull(true);
    TMemoryStream s;
    b.SaveRawToStream(nullptr, &s);
    const std::vector<uint8_t> bytes = Bytes(s);
    EXPECT_EQ(I32(bytes, 16), 256);
    EXPECT_EQ(bytes.size(), 75u + 768 + 3 * 8 + 1);

    TIEBitmap back(1, 1, ie24RGB);
    back.GetAlphaChannel();
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadRawFromStream(nullptr, &s));
    EXPECT_EQ(back.GetPixelFormat(), ie8p);
    EXPECT_TRUE(SameRows(b, back));
    EXPECT_FALSE(back.HasAlphaChannel());   // has-alpha 0 removes the one it had
    for (int32_t i = 0; i < 256; i += 51) {
        const TIERGB e = back.GetPaletteEntry(i);
        EXPECT_EQ(e.b, i);
        EXPECT_EQ(e.g, 255 - i);
        EXPECT_EQ(e.r, (uint8_t)(i * 3));
    }
    EXPECT_EQ(back.DisplayRange[0], -1.5);
    EXPECT_EQ(back.DisplayRange[1], 1234.25);
    EXPECT_EQ(back.ChannelOffsets[2], -9);
    EXPECT_TRUE(back.ChannelOffsetEnabled);
    EXPECT_EQ(back.Contrast, -40);
    EXPECT_TRUE(back.GetFull());
}

// Every pixel format with an alpha channel, in memory and in the temporary-file storage, through a
// stream and through a memory block; every row alignment the bitmap takes comes back.
TEST(IEBitmapRaw, RoundTripOfEveryFormatWithAlpha) {
    const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};
    for (TIEPixelFormat format : formats)
        for (int32_t align : {32, 8, 16, 64})
            for (TIELocation location : {ieMemory, ieFile}) {
                SCOPED_TRACE(testing::Message() << "format " << (int)format << " align " << align << " location "
                                                << (int)location);
                TIEBitmap b;
                b.SetLocation(location);
                b.SetRowAlign(align);
                ASSERT_TRUE(b.Allocate(13, 4, format));
                Numbered(b, (int)format);
                Numbered(*b.GetAlphaChannel(), 100);
                TMemoryStream s;
                b.SaveRawToStream(nullptr, &s);
                std::vector<uint8_t> block((size_t)s.GetSize());
                b.SaveRawToStream(block.data(), nullptr);
                EXPECT_EQ(block, Bytes(s));

                TIEBitmap fromStream, fromBlock;
                s.SetPosition(0);
                ASSERT_TRUE(fromStream.LoadRawFromStream(nullptr, &s));
                EXPECT_EQ(s.GetPosition(), s.GetSize());
                ASSERT_TRUE(fromBlock.LoadRawFromStream(block.data(), nullptr));
                for (TIEBitmap* back : {&fromStream, &fromBlock}) {
                    EXPECT_EQ(back->GetPixelFormat(), format);
                    EXPECT_EQ(back->GetRowAlign(), align);
                    EXPECT_TRUE(SameRows(b, *back));
                    ASSERT_TRUE(back->HasAlphaChannel());
                    EXPECT_TRUE(SameRows(*b.GetAlphaChannel(), *back->GetAlphaChannel()));
                }
            }
}

TEST(IEBitmapRaw, RefusedRecordsLeaveTheBitmapAlone) {
    TIEBitmap src(2, 2, ie8g);
    TMemoryStream good;
    src.SaveRawToStream(nullptr, &good);
    const std::vector<uint8_t> bytes = Bytes(good);

    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"last magic character", 11, 'X'},
        {"negative version", 15, 0x80},
        {"row alignment 7", 71, 7},
        {"row alignment 12", 71, 12},
        {"row alignment 0", 71, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bad = bytes;
        bad[c.at] = c.value;
        TMemoryStream s;
        Fill(s, bad);
        TIEBitmap target(4, 1, ie24RGB);
        Numbered(target, 9);
        TIEBitmap copy(&target);
        EXPECT_FALSE(target.LoadRawFromStream(nullptr, &s));
        EXPECT_EQ(target.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(target.GetRowAlign(), 32);
        EXPECT_TRUE(SameRows(target, copy));
    }
    // An alignment of part bytes is not taken: its rows would be shorter than their pixels.
    TIEBitmap odd(3, 1, ie24RGB);
    odd.SetRowAlign(12);
    EXPECT_EQ(odd.GetRowAlign(), 32);
    EXPECT_EQ(odd.GetRowLen(), 12);
    // A later version is read with the same layout.
    std::vector<uint8_t> v3 = bytes;
    v3[12] = 3;
    TMemoryStream s;
    Fill(s, v3);
    TIEBitmap back;
    EXPECT_TRUE(back.LoadRawFromStream(nullptr, &s));
    EXPECT_EQ(back.GetWidth(), 2);
}

TEST(IEBitmapRaw, ShortStreamsAndEmptyBitmaps) {
    // An empty bitmap writes width and height 0 and no rows; it loads back empty.
    TIEBitmap empty;
    TMemoryStream s;
    empty.SaveRawToStream(nullptr, &s);
    EXPECT_EQ(s.GetSize(), 76);
    s.SetPosition(0);
    TIEBitmap back(3, 3, ie8g);
    EXPECT_TRUE(back.LoadRawFromStream(nullptr, &s));
    EXPECT_TRUE(back.IsEmpty());

    // A record cut inside its rows: the rows present are read, the result is still True.
    TIEBitmap b(4, 3, ie8g);
    Numbered(b, 5);
    TMemoryStream full;
    b.SaveRawToStream(nullptr, &full);
    std::vector<uint8_t> cut = Bytes(full);
    cut.resize(75 + 4 + 2);
    TMemoryStream s2;
    Fill(s2, cut);
    TIEBitmap part;
    EXPECT_TRUE(part.LoadRawFromStream(nullptr, &s2));
    ASSERT_EQ(part.GetHeight(), 3);
    EXPECT_EQ(std::memcmp(part.GetScanline(0), b.GetScanline(0), 4), 0);
    EXPECT_EQ(std::memcmp(part.GetScanline(1), b.GetScanline(1), 2), 0);

    // A stored size that cannot be allocated leaves the bitmap empty and consumes no rows.
    std::vector<uint8_t> huge = Bytes(full);
    const int32_t w = 0x7FFFFFF0;
    std::memcpy(&huge[20], &w, 4);
    TMemoryStream s3;
    Fill(s3, huge);
    TIEBitmap none(2, 2, ie8g);
    EXPECT_TRUE(none.LoadRawFromStream(nullptr, &s3));
    EXPECT_TRUE(none.IsEmpty());
}
