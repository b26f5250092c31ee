#include "tifccitt.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CCITTDriver.h"
#include "iebitorder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A bilevel picture (0 = white) of a kind: noise, horizontal runs of random lengths, vertical
// structure (rows that differ a little from the row above), all white, all black.
Bytes Picture(int32_t W, int32_t H, int32_t Kind, uint32_t Seed) {
    std::mt19937 rng(Seed);
    const size_t rb = (size_t)CCITTRowBytes(W);
    Bytes rows(rb * (size_t)H, 0);
    std::vector<int> prev((size_t)W, 0);
    for (int32_t y = 0; y < H; ++y) {
        int colour = (int)(rng() & 1), left = 0;
        for (int32_t x = 0; x < W; ++x) {
            int bit = 0;
            switch (Kind) {
                case 0: bit = (int)(rng() & 1); break;
                case 1:
                    if (left-- <= 0) {
                        colour ^= 1;
                        left = (int)(rng() % (rng() & 1 ? 9000u : 40u));
                    }
                    bit = colour;
                    break;
                case 2: bit = rng() % 23 == 0 ? 1 - prev[(size_t)x] : (x > 0 && rng() % 5 == 0 ? prev[(size_t)x - 1] : prev[(size_t)x]); break;
                case 3: bit = 0; break;
                default: bit = 1; break;
            }
            prev[(size_t)x] = bit;
            if (bit) rows[rb * (size_t)y + (size_t)x / 8] |= (uint8_t)(0x80 >> (x % 8));
        }
    }
    return rows;
}

Bytes Bits(const std::string& Text) { return CCITTBits(Text); }

Bytes Reversed(Bytes B) {
    for (auto& b : B) b = IEBitReverse.Byte[b];
    return B;
}

const char* Name(TCCITTCoding C) {
    switch (C) {
        case TCCITTCoding::MH: return "MH";
        case TCCITTCoding::G3: return "G3";
        case TCCITTCoding::G32D: return "G3-2D";
        default: return "G4";
    }
}

}  // namespace

// Every coding, both fill orders, widths around byte and word boundaries and past the longest
// make-up code, pictures of every kind: our encoder then our decoder give the rows back; FillOrder
// 2 strips are the FillOrder 1 strips with every byte reversed.
TEST(CCITT, RoundTrip) {
    IEInitializeCCITT();
    const int32_t widths[] = {1, 7, 8, 9, 63, 64, 65, 1728, 2561, 5000};
    for (TCCITTCoding coding : kAllCCITTCodings) {
        for (int32_t w : widths) {
            for (int32_t kind = 0; kind < 5; ++kind) {
                SCOPED_TRACE(std::string(Name(coding)) + " width " + std::to_string(w) + " kind " + std::to_string(kind));
                const int32_t h = w > 2000 ? 6 : 13;
                const Bytes rows = Picture(w, h, kind, (uint32_t)(w * 31 + kind));
                const Bytes strip = CCITTEncodeStrip(rows, w, h, coding, 1);
                EXPECT_EQ(CCITTDecodeStrip(strip, w, h, coding, 1), rows);
                const Bytes strip2 = CCITTEncodeStrip(rows, w, h, coding, 2);
                EXPECT_EQ(strip2, Reversed(strip));
                EXPECT_EQ(CCITTDecodeStrip(strip2, w, h, coding, 2), rows);
            }
        }
    }
}

// Run codes: 3000 white pixels are make-up 2560, make-up 384 and terminating 56, and a Modified
// Huffman row ends with zero fill bits in either fill order.
TEST(CCITT, LongRunCodes) {
    Bytes white(CCITTRowBytes(3000), 0);
    const Bytes expected = Bits("000000011111 00110111 01011001 0000");
    EXPECT_EQ(CCITTEncodeStrip(white, 3000, 1, TCCITTCoding::MH, 1), expected);
    EXPECT_EQ(CCITTEncodeStrip(white, 3000, 1, TCCITTCoding::MH, 2), Reversed(expected));
    // A black run of 5200: white 0, black 2560 + 2560 + make-up 64 + 16.
    Bytes black(CCITTRowBytes(5200), 0xFF);
    EXPECT_EQ(CCITTEncodeStrip(black, 5200, 1, TCCITTCoding::MH, 1),
              Bits("00110101 000000011111 000000011111 0000001111 0000010111 00"));
}

// Hand-built one-dimensional rows: an EOL at the row's start (also after up to 20 extra zero
// bits) is skipped, invalid bits are skipped one at a time, an EOL inside a row ends it, and the
// data's end leaves the rest of the row white.
TEST(CCITT, OneDimensionalEdges) {
    struct Case {
        const char* Name;
        std::string Bits;
        int32_t Width;
        std::string Row;   // one character a pixel, 'B' black
    } cases[] = {
        {"plain", "0111 11 1100", 9, "..BB..."},
        {"EOL first", "000000000001 0111 11 1100", 9, "..BB....."},
        {"long EOL first", "00000000000000000000000000000001 0111 11 1100", 9, "..BB....."},
        {"EOL inside, black rest", "0111 000000000001", 9, "..BBBBBBB"},
        {"data end", "0111 11", 9, "..BB....."},
        {"nothing", "", 5, "....."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Bytes data = Bits(c.Bits);
        std::vector<uint8_t> row((size_t)CCITTRowBytes(c.Width));
        IECCITTDecodeG3Row(row.data(), data.data(), (int64_t)data.size(), c.Width, 0, 1);
        std::string got;
        for (int32_t x = 0; x < c.Width; ++x) got += (row[(size_t)x / 8] >> (7 - x % 8) & 1) ? '.' : 'B';
        std::string want = c.Row;
        want.resize((size_t)c.Width, '.');
        EXPECT_EQ(got, want);
    }
    // The row position after an EOL of 32 bits and a 9-pixel row: 32 + 4 + 2 + 4 bits.
    const Bytes data = Bits("00000000000000000000000000000001 0111 11 1100 0111 0111 1011");
    uint8_t row[2];
    EXPECT_EQ(IECCITTDecodeG3Row(row, data.data(), (int64_t)data.size(), 9, 0, 1), 42);
}

// Two-dimensional rows: a Group 3 row whose EOL tag says one-dimensional, and a Group 4 row
// against a reference row, mode by mode; bad bits and a short end stay inside the row.
TEST(CCITT, TwoDimensionalEdges) {
    // Reference: pixels 2..4 black (white is 1 in decoded rows).
    uint8_t ref[2] = {(uint8_t)~0x38, 0xFF};
    uint8_t row[2];
    // V0 three times: a1 = b1 = 2 (to black), 5 (to white), then 9 (no further change).
    Bytes g4 = Bits("1 1 1");
    IECCITTDecode2DRow(row, g4.data(), (int64_t)g4.size(), 9, ref, 0, 1, false);
    EXPECT_EQ(row[0], (uint8_t)~0x38);
    // Horizontal 001, white 3 (1000), black 2 (11); then VR1 011: b1 on the reference row after
    // a0 = 5 for white is 9 (none), so a1 = 9 and the row ends.
    uint8_t ref2[2] = {0xFF, 0xFF};
    g4 = Bits("001 1000 11 1");
    IECCITTDecode2DRow(row, g4.data(), (int64_t)g4.size(), 9, ref2, 0, 1, false);
    EXPECT_EQ(row[0], (uint8_t)~0x18);
    EXPECT_EQ(ref2[0], row[0]);
    // Pass: reference black at 2..4; pass to b2 = 5 as white, then V0 to b1 of the next black
    // (none: 9).
    uint8_t ref3[2] = {(uint8_t)~0x38, 0xFF};
    g4 = Bits("0001 1");
    IECCITTDecode2DRow(row, g4.data(), (int64_t)g4.size(), 9, ref3, 0, 1, false);
    EXPECT_EQ(row[0], 0xFF);
    // Group 3 two-dimensional: EOL, tag 1, a one-dimensional row (white 2, black 2, white 5).
    uint8_t ref4[2] = {0xFF, 0xFF};
    const Bytes g3 = Bits("000000000001 1 0111 11 1100");
    EXPECT_EQ(IECCITTDecode2DRow(row, g3.data(), (int64_t)g3.size(), 9, ref4, 0, 1, true), 12 + 1 + 10);
    EXPECT_EQ(row[0], (uint8_t)~0x30);
    // Nothing but junk: the row stays white and the position stays inside the data's end.
    const Bytes junk = Bits("0000001 0 0000001 0");
    EXPECT_LE(IECCITTDecode2DRow(row, junk.data(), (int64_t)junk.size(), 9, ref4, 0, 1, false), 16);
}

// Short writes set Aborting.
TEST(CCITT, ShortWriteAborts) {
    class TFullStream : public TStream {
    public:
        int32_t Read(void*, int32_t) override { return 0; }
        int32_t Write(const void*, int32_t) override { return 0; }
        int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    } full;
    const Bytes rows = Picture(100, 1, 0, 1);
    bool aborting = false;
    IECCITTEncodeMHRow(rows.data(), 100, &full, aborting, 1);
    EXPECT_TRUE(aborting);
}
