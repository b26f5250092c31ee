#include "giflzw.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Classes.h"
#include "LzwReference.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A frame's image data as a GIF file holds it: minimum code size, sub-blocks, terminator.
Bytes Framed(uint8_t MinCodeSize, const Bytes& Codes, size_t BlockSize = 255) {
    Bytes out{MinCodeSize};
    for (size_t i = 0; i < Codes.size(); i += BlockSize) {
        const size_t n = std::min(BlockSize, Codes.size() - i);
        out.push_back((uint8_t)n);
        out.insert(out.end(), Codes.begin() + (long)i, Codes.begin() + (long)(i + n));
    }
    out.push_back(0);
    return out;
}

// Decodes from a memory stream positioned after a 3-byte prefix; returns the stream position
// relative to the start of the image data (0: refused) and the pixels (prefilled with 0xEE).
int64_t Decode(const Bytes& Data, int32_t W, int32_t H, bool Interlaced, Bytes& Pixels) {
    TMemoryStream s;
    s.WriteBuffer("abc", 3);
    s.WriteBuffer(Data.data(), (int32_t)Data.size());
    s.SetPosition(3);
    Pixels.assign((size_t)W * (size_t)H, 0xEE);
    IEGIFLZWDecompress(&s, H, W, Interlaced, Pixels.data());
    return s.GetPosition() - 3;
}

Bytes Encode(const Bytes& Pixels, int32_t W, int32_t H, bool Interlaced, int32_t Bpp) {
    TMemoryStream s;
    IEGIFLZWCompress(&s, H, W, Interlaced, const_cast<uint8_t*>(Pixels.data()), Bpp);
    const auto* p = static_cast<const uint8_t*>(s.GetMemory());
    return Bytes(p, p + s.GetSize());
}

Bytes Noise(size_t N, int32_t Colours, uint32_t Seed, int32_t RunBias = 0) {
    std::mt19937 rng(Seed);
    Bytes v(N);
    uint8_t last = 0;
    for (auto& b : v) {
        if (RunBias == 0 || (int32_t)(rng() % 100) >= RunBias) last = (uint8_t)(rng() % (uint32_t)Colours);
        b = last;
    }
    return v;
}

}  // namespace

// Our encoder then our decoder give back the indices, through table resets, in both row orders.
TEST(GIFLZW, RoundTrip) {
    struct Case {
        int32_t W, H, Bpp, Colours, RunBias;
    } cases[] = {
        {1, 1, 1, 2, 0},     {7, 3, 2, 4, 0},     {1, 9, 1, 2, 0},   {64, 64, 4, 16, 50},
        {300, 200, 8, 256, 0},   // far more than 4096 strings: several Clear codes
        {500, 97, 8, 7, 90},     // long runs: strings grow to hundreds of bytes
        {33, 1000, 3, 8, 20},
    };
    for (const auto& c : cases) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + (interlaced ? " interlaced" : ""));
            const Bytes pixels = Noise((size_t)c.W * (size_t)c.H, c.Colours, (uint32_t)(c.W * 7 + c.H), c.RunBias);
            const Bytes coded = Encode(pixels, c.W, c.H, interlaced, c.Bpp);
            ASSERT_EQ(coded[0], (uint8_t)std::max(c.Bpp, 2));
            Bytes back;
            EXPECT_EQ(Decode(coded, c.W, c.H, interlaced, back), (int64_t)coded.size());
            EXPECT_EQ(back, pixels);
        }
    }
}

// The encoder writes minimum code size 2 for one bit per pixel, and sub-blocks of at most 254
// bytes that end with a zero length byte; the reference coder decodes what it writes the same.
TEST(GIFLZW, EncoderFraming) {
    const Bytes pixels = Noise(40000, 256, 3);
    const Bytes coded = Encode(pixels, 200, 200, false, 8);
    size_t i = 1, blocks = 0;
    while (coded.at(i) != 0) {
        EXPECT_LE(coded[i], 254);
        i += coded[i] + 1u;
        ++blocks;
    }
    EXPECT_EQ(i + 1, coded.size());
    EXPECT_GT(blocks, 100u);
    EXPECT_EQ(Encode(Bytes{0, 1, 1, 0}, 2, 2, false, 1)[0], 2);
}

// Streams made by a separate dictionary coder: ordinary ones, and one whose encoder lets the
// table fill and goes on with 12-bit codes, deferring the Clear code (as some writers do).
TEST(GIFLZW, DecodesIndependentStreams) {
    const Bytes pixels = Noise(150 * 120, 256, 11);
    for (int32_t clearAt : {4096, 0}) {
        SCOPED_TRACE(clearAt);
        TLzwReferenceOptions o;
        o.MsbFirst = false;
        o.EarlyChange = 0;
        o.ClearAt = clearAt;
        Bytes back;
        const Bytes framed = Framed(8, LzwReferenceEncode(pixels, o));
        EXPECT_EQ(Decode(framed, 150, 120, false, back), (int64_t)framed.size());
        EXPECT_EQ(back, pixels);
    }
    // Without a leading Clear code the decoder starts as if there were one.
    TLzwReferenceOptions o;
    o.MsbFirst = false;
    o.EarlyChange = 0;
    o.MinBits = 2;
    o.LeadingClear = false;
    const Bytes small = Noise(500, 4, 5);
    Bytes back;
    Decode(Framed(2, LzwReferenceEncode(small, o), 17), 25, 20, false, back);
    EXPECT_EQ(back, small);
}

// Refusals leave the stream where it was: code sizes outside 2..9, a code above the next free
// code, a Clear directly followed by the end code while data remain. Size 9 is accepted; data
// shorter than the frame leave the rest of the buffer as it was.
TEST(GIFLZW, RefusalsAndShortData) {
    Bytes back;
    EXPECT_EQ(Decode(Bytes{1, 1, 0x04, 0}, 2, 2, false, back), 0);
    EXPECT_EQ(Decode(Bytes{10, 1, 0x00, 0}, 2, 2, false, back), 0);
    // Min code size 2: Clear 4, codes 3 bits. Clear, 1, then 7 (next free is 6): refused.
    // Bits, least significant first: 100 | 001 | 111 -> 0b11001100 0b1 -> 0xCC 0x01.
    EXPECT_EQ(Decode(Bytes{2, 2, 0xCC, 0x01, 0}, 2, 2, false, back), 0);
    // Clear, end, then a further byte of data: refused; without it: accepted.
    EXPECT_EQ(Decode(Bytes{2, 2, 0x2C, 0xFF, 0}, 2, 2, false, back), 0);
    EXPECT_EQ(Decode(Bytes{2, 1, 0x2C, 0}, 2, 2, false, back), 4);
    // Size 9: Clear 512, codes 10 bits; Clear, 300, end.
    TLzwReferenceOptions o;
    o.MinBits = 9;
    o.MsbFirst = false;
    o.EarlyChange = 0;
    const Bytes one = LzwReferenceEncode(Bytes{200}, o);
    const Bytes framed = Framed(9, one);
    EXPECT_EQ(Decode(framed, 1, 1, false, back), (int64_t)framed.size());
    EXPECT_EQ(back, Bytes{200});
    // Only the first pixels are coded: the rest keep the buffer's bytes.
    o.MinBits = 2;
    const Bytes three = Framed(2, LzwReferenceEncode(Bytes{1, 2, 3}, o));
    EXPECT_EQ(Decode(three, 3, 2, false, back), (int64_t)three.size());
    EXPECT_EQ(back, (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE}));
    // More pixels coded than the frame holds: the extra ones are dropped.
    EXPECT_GT(Decode(Framed(2, LzwReferenceEncode(Bytes(100, 3), o)), 3, 2, false, back), 0);
    EXPECT_EQ(back, Bytes(6, 3));
}

// Interlaced frames of every small height visit each row once, in GIF's pass order.
TEST(GIFLZW, InterlacedRowOrder) {
    const int32_t expected8[] = {0, 4, 2, 6, 1, 3, 5, 7};
    for (int32_t h = 1; h <= 17; ++h) {
        SCOPED_TRACE(h);
        Bytes pixels((size_t)h * 2);
        for (int32_t y = 0; y < h; ++y) pixels[(size_t)y * 2] = pixels[(size_t)y * 2 + 1] = (uint8_t)y;
        const Bytes coded = Encode(pixels, 2, h, true, 8);
        Bytes back, stored;
        Decode(coded, 2, h, true, back);
        EXPECT_EQ(back, pixels);
        // Read without interlacing: the rows as the stream carries them.
        Decode(coded, 2, h, false, stored);
        std::vector<int32_t> order;
        for (int32_t y = 0; y < h; ++y) order.push_back(stored[(size_t)y * 2]);
        std::vector<int32_t> want;
        for (int32_t start : {0, 4, 2, 1})
            for (int32_t y = start; y < h; y += start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2) want.push_back(y);
        EXPECT_EQ(order, want);
        if (h == 8) {
            EXPECT_EQ(order, std::vector<int32_t>(expected8, expected8 + 8));
        }
    }
}
