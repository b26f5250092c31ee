#include "tiflzw.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Classes.h"
#include "LzwReference.h"
#include "iebitorder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Encodes Data in calls of Chunk bytes, then flushes.
Bytes Encode(const Bytes& Data, size_t Chunk) {
    TMemoryStream s;
    void* state = nullptr;
    for (size_t i = 0; i < Data.size(); i += Chunk)
        IETIFFLZWCompress(Data.data() + i, (int32_t)std::min(Chunk, Data.size() - i), &s, state);
    if (Data.empty()) IETIFFLZWCompress(Data.data(), 0, &s, state);
    IETIFFLZWCompress(nullptr, 0, &s, state);
    EXPECT_EQ(state, nullptr);
    const auto* p = static_cast<const uint8_t*>(s.GetMemory());
    return Bytes(p, p + s.GetSize());
}

// Decodes Rows rows of RowBytes bytes; a nil row ends the output (Failed set).
Bytes Decode(const Bytes& Strip, int32_t RowBytes, int32_t Rows, int32_t FillOrder, bool* Failed = nullptr) {
    Bytes out;
    void* state = nullptr;
    if (Failed) *Failed = false;
    for (int32_t r = 0; r < Rows; ++r) {
        const auto* row = static_cast<const uint8_t*>(
            IETIFFLZWDecompress(Strip.data(), (int32_t)Strip.size(), RowBytes, state, FillOrder));
        if (!row) {
            if (Failed) *Failed = true;
            break;
        }
        out.insert(out.end(), row, row + RowBytes);
    }
    EXPECT_EQ(IETIFFLZWDecompress(nullptr, 0, 0, state, FillOrder), nullptr);
    EXPECT_EQ(state, nullptr);
    return out;
}

Bytes Noise(size_t N, int32_t Values, uint32_t Seed, int32_t RunBias) {
    std::mt19937 rng(Seed);
    Bytes v(N);
    uint8_t last = 0;
    for (auto& b : v) {
        if ((int32_t)(rng() % 100) >= RunBias) last = (uint8_t)(rng() % (uint32_t)Values);
        b = last;
    }
    return v;
}

Bytes Reversed(Bytes B) {
    for (auto& b : B) b = IEBitReverse.Byte[b];
    return B;
}

}  // namespace

// Our encoder then our decoder, in rows of many lengths (strings cross row ends), through the
// width changes and the Clear codes at 4094 entries; FillOrder 2 data are the same bytes reversed.
TEST(TIFFLZW, RoundTrip) {
    struct Case {
        size_t Size;
        int32_t Values, RunBias, RowBytes;
    } cases[] = {{1, 256, 0, 1}, {100, 2, 0, 7}, {30000, 256, 0, 300}, {50000, 5, 95, 999},
                 {20000, 16, 60, 1}, {4096, 256, 0, 4096}, {60001, 64, 30, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        const Bytes data = Noise(c.Size, c.Values, (uint32_t)c.Size, c.RunBias);
        const Bytes strip = Encode(data, (size_t)c.RowBytes);
        const int32_t rows = (int32_t)(c.Size / (size_t)c.RowBytes);
        const Bytes whole(data.begin(), data.begin() + (long)rows * c.RowBytes);
        EXPECT_EQ(Decode(strip, c.RowBytes, rows, 1), whole);
        EXPECT_EQ(Decode(Reversed(strip), c.RowBytes, rows, 2), whole);
    }
}

// Streams of a separate coder: TIFF's own, old-style ones (least significant bit first, no early
// change), and a strip whose rows ask for more than it holds (the rest reads as 0).
TEST(TIFFLZW, DecodesIndependentStreams) {
    const Bytes data = Noise(40000, 256, 9, 40);
    TLzwReferenceOptions tiff;
    EXPECT_EQ(Decode(LzwReferenceEncode(data, tiff), 400, 100, 1), data);
    TLzwReferenceOptions old;
    old.MsbFirst = false;
    old.EarlyChange = 0;
    old.ClearAt = 4096;
    EXPECT_EQ(Decode(LzwReferenceEncode(data, old), 400, 100, 1), data);
    EXPECT_EQ(Decode(Reversed(LzwReferenceEncode(data, old)), 400, 100, 2), data);
    // Old-style coders may fill the table to 4096 entries and go on coding without a Clear.
    old.ClearAt = 0;
    EXPECT_EQ(Decode(LzwReferenceEncode(data, old), 400, 100, 1), data);

    Bytes more = Decode(LzwReferenceEncode(Bytes(250, 7), tiff), 100, 3, 1);
    Bytes want(300, 0);
    std::fill(want.begin(), want.begin() + 250, 7);
    EXPECT_EQ(more, want);
}

// The encoder's code widths: 9 bits up to the code that makes the next free code 511, then 10,
// 11 from 1023, 12 from 2047, and a Clear code at 4094 entries after which 9 bits return. A
// stream of distinct pairs shows the widths directly in the code positions.
TEST(TIFFLZW, WidthsAndClear) {
    // Every byte value pair once: each step adds one entry and writes one root code.
    Bytes data;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 20; ++b) data.push_back((uint8_t)((a * 7 + b * 13) & 255));
    const Bytes strip = Encode(data, data.size());
    EXPECT_EQ(strip, LzwReferenceEncode(data, TLzwReferenceOptions{}));
    EXPECT_EQ(Decode(strip, (int32_t)data.size(), 1, 1), data);
    // Clear first, 9 bits: 256 = 1 0000 0000.
    ASSERT_GE(strip.size(), 2u);
    EXPECT_EQ(strip[0], 0x80);
    EXPECT_EQ(strip[1] & 0x80, 0x00);
}

// Corrupt streams: a code above the table right after Clear fails the row; a code above the
// table elsewhere, or EndOfInformation, ends the strip quietly with zeros; a table that keeps
// growing past 4096 entries without a Clear code fails (in TIFF's own coding).
TEST(TIFFLZW, CorruptStreams) {
    bool failed;
    // Clear (256), then 300: 1 0000 0000 | 1 0010 1100 -> 80 4A C0.
    Decode(Bytes{0x80, 0x4A, 0xC0}, 4, 1, 1, &failed);
    EXPECT_TRUE(failed);
    // Clear, 65, 300, ...: 'A' then a quiet end.
    EXPECT_EQ(Decode(Bytes{0x80, 0x10, 0x62, 0x58, 0xFF, 0xFF}, 4, 2, 1, &failed), (Bytes{65, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(failed);
    // No Clear codes at all: the table overflows.
    TLzwReferenceOptions never;
    never.ClearAt = 0;
    Decode(LzwReferenceEncode(Noise(30000, 256, 1, 0), never), 300, 100, 1, &failed);
    EXPECT_TRUE(failed);
    // Less than one code: rows of zeros.
    EXPECT_EQ(Decode(Bytes{0x80}, 3, 2, 1, &failed), Bytes(6, 0));
    EXPECT_FALSE(failed);
}
