#include "tifccitt.h"

#include <algorithm>
#include <cstring>

#include "Classes.h"
#include "iebitorder.h"

namespace {

// ---- Code tables (ITU-T T.4, tables 2, 3 and 4) ---------------------------------------------

struct TCode {
    uint16_t Bits;
    uint8_t Length;
};

// Terminating codes of runs 0 to 63, then the make-up codes of 64 to 1728: white, then black.
constexpr TCode kWhiteCodes[91] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
    // make-up 64 .. 1728
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8}, {0x65, 8},
    {0x68, 8}, {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9},
    {0xD6, 9}, {0xD7, 9}, {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9},
    {0x9A, 9}, {0x18, 6}, {0x9B, 9}};
constexpr TCode kBlackCodes[91] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
    // make-up 64 .. 1728
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12}, {0x6C, 13},
    {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13}, {0x73, 13}, {0x74, 13},
    {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13}, {0x54, 13}, {0x55, 13}, {0x5A, 13},
    {0x5B, 13}, {0x64, 13}, {0x65, 13}};
// The extended make-up codes of 1792 to 2560, shared by both colours.
constexpr TCode kExtendedCodes[13] = {{0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12},
                                      {0x14, 12}, {0x15, 12}, {0x16, 12}, {0x17, 12}, {0x1C, 12},
                                      {0x1D, 12}, {0x1E, 12}, {0x1F, 12}};
constexpr TCode kEOL = {0x001, 12};

// Entries of the run tables: 0..63 terminating codes, 64..103 make-up codes ((entry - 63) x 64),
// 104 EOL, 105..107 the patterns 000000001, 0000000001 and 00000000001 (bits consumed, no run),
// 108..127 EOL after 1 to 20 further zero bits; 128 no code.
constexpr int32_t kFirstMakeUp = 64;
constexpr int32_t kEOLEntry = 104;
constexpr int32_t kNoCode = 128;
constexpr int32_t kLongEOL = 127;

// Two-dimensional mode codes, matched in this order.
enum : uint8_t {
    kModeZeros, kModePass, kModeHorizontal, kModeVL3, kModeVL2, kModeVL1, kModeV0, kModeVR1, kModeVR2,
    kModeVR3, kModeUncompressed, kModeUncompressed2, kModeEOL, kModeNone
};
constexpr TCode kModeCodes[13] = {{0x000, 12}, {0x1, 4},  {0x1, 3},  {0x02, 7}, {0x02, 6}, {0x2, 3}, {0x1, 1},
                                  {0x3, 3},    {0x03, 6}, {0x03, 7}, {0x0F, 10}, {0x0F, 12}, {0x001, 12}};

struct TLookup {
    uint8_t Length;   // 0: no code
    uint8_t Entry;
};

// Decoding tables: per colour, the entry of every 13-bit prefix (every run code but the long EOLs
// fits), and the mode of every 12-bit prefix.
struct TCCITTTables {
    TLookup Runs[2][1 << 13];
    TLookup Modes[1 << 12];

    TCCITTTables() : Runs{}, Modes{} {
        for (int32_t colour = 0; colour < 2; ++colour) {
            auto insert = [&](TCode code, int32_t entry) {
                const int32_t spare = 13 - code.Length;
                const int32_t first = code.Bits << spare;
                for (int32_t i = 0; i < (1 << spare); ++i) Runs[colour][first + i] = {code.Length, (uint8_t)entry};
            };
            const TCode* codes = colour ? kBlackCodes : kWhiteCodes;
            for (int32_t e = 0; e < 91; ++e) insert(codes[e], e);
            for (int32_t e = 0; e < 13; ++e) insert(kExtendedCodes[e], 91 + e);
            insert(kEOL, kEOLEntry);
            insert({0x001, 9}, 105);
            insert({0x001, 10}, 106);
            insert({0x001, 11}, 107);
            insert({0x001, 13}, 108);
        }
        for (int32_t v = 0; v < (1 << 12); ++v) {
            Modes[v] = {0, kModeNone};
            for (uint8_t m = 0; m < 13; ++m) {
                if ((v >> (12 - kModeCodes[m].Length)) == kModeCodes[m].Bits) {
                    Modes[v] = {kModeCodes[m].Length, m};
                    break;
                }
            }
        }
    }
};

const TCCITTTables& Tables() {
    static const TCCITTTables tables;
    return tables;
}

// V must not be 0.
int32_t LeadingZeros(uint32_t V) { return __builtin_clz(V); }

// ---- Reading -----------------------------------------------------------------------------------

class TBitReader {
public:
    TBitReader(const uint8_t* AData, int64_t ALength, int32_t FillOrder)
        : FData(AData), FLength(std::max<int64_t>(ALength, 0)), FReverse(FillOrder == 2) {}
    int64_t Bits() const { return FLength * 8; }
    // The 32 bits from Pos on; bytes beyond the data read as 0.
    uint32_t Window(int64_t Pos) const {
        const int64_t byte = Pos >> 3;
        if (!FReverse && byte + 8 <= FLength) {
            // One 8-byte load, most significant bit first.
            uint64_t w;
            std::memcpy(&w, FData + byte, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            w = __builtin_bswap64(w);
#endif
            return (uint32_t)((w << (Pos & 7)) >> 32);
        }
        return WindowNearEnd(Pos);
    }
    int32_t Bit(int64_t Pos) const { return Pos < Bits() ? (int32_t)(Byte(Pos >> 3) >> (7 - (Pos & 7)) & 1) : 0; }

private:
    // Window byte by byte: near the data's end, or with the bits of each byte reversed.
    __attribute__((noinline)) uint32_t WindowNearEnd(int64_t Pos) const {
        const int64_t byte = Pos >> 3;
        uint64_t v = 0;
        for (int64_t i = byte; i < byte + 5; ++i) v = v << 8 | (i < FLength ? Byte(i) : 0u);
        return (uint32_t)((v << (Pos & 7)) >> 8);
    }
    uint32_t Byte(int64_t I) const { return FReverse ? IEBitReverse.Byte[FData[I]] : FData[I]; }
    const uint8_t* FData;
    int64_t FLength;
    bool FReverse;
};

// The run-table entry at Pos for a colour (0 white, 1 black) and its length in bits.
int32_t ReadRunCode(const TBitReader& R, int64_t Pos, int32_t Colour, int32_t& Length) {
    if (Pos >= R.Bits()) {
        Length = 32;
        return kLongEOL;
    }
    const uint32_t w = R.Window(Pos);
    if ((w >> 19) == 0) {   // 13 or more zeros: a long EOL, or nothing
        if (w == 0) {
            Length = 0;
            return kNoCode;
        }
        const int32_t zeros = LeadingZeros(w);
        Length = zeros + 1;
        return 96 + zeros;   // 108 has 12 zeros
    }
    const TLookup t = Tables().Runs[Colour][w >> 19];
    Length = t.Length;
    return t.Length ? t.Entry : kNoCode;
}

int32_t RunOf(int32_t Entry) {
    if (Entry < kFirstMakeUp) return Entry;
    if (Entry < kEOLEntry) return (Entry - 63) * 64;
    if (Entry == kEOLEntry || Entry >= 108) return -3;
    return -1;
}

// ---- Rows ----------------------------------------------------------------------------------------

int32_t RowBytes(int32_t Width) { return (int32_t)(((int64_t)Width + 7) / 8); }

// The first pixel at or after Start whose bit is Bit, or Width.
int32_t FindBit(const uint8_t* Row, int32_t Start, int32_t Width, int32_t Bit) {
    if (Start >= Width) return Width;
    const uint8_t flip = Bit ? 0x00 : 0xFF;   // pixels of the sought bit become 1
    int32_t byte = Start >> 3;
    uint32_t x = (uint32_t)(Row[byte] ^ flip) & (0xFFu >> (Start & 7));
    const int32_t bytes = RowBytes(Width);
    while (!x) {
        ++byte;
        // Whole 8-byte words without the sought bit are skipped at once.
        while (byte + 8 <= bytes) {
            uint64_t w;
            std::memcpy(&w, Row + byte, 8);
            if (w != (Bit ? 0ull : ~0ull)) break;
            byte += 8;
        }
        if (byte >= bytes) return Width;
        x = (uint32_t)(Row[byte] ^ flip);
    }
    return std::min(Width, byte * 8 + LeadingZeros(x << 24));
}

// Sets pixels From .. To - 1 to Bit.
void FillRun(uint8_t* Row, int32_t From, int32_t To, int32_t Bit) {
    if (From >= To) return;
    int32_t first = From >> 3, last = (To - 1) >> 3;
    const uint8_t head = (uint8_t)(0xFFu >> (From & 7));
    const uint8_t tail = (uint8_t)(0xFFu << (7 - ((To - 1) & 7)));
    if (first == last) {
        const uint8_t m = head & tail;
        Row[first] = Bit ? (uint8_t)(Row[first] | m) : (uint8_t)(Row[first] & ~m);
        return;
    }
    Row[first] = Bit ? (uint8_t)(Row[first] | head) : (uint8_t)(Row[first] & ~head);
    if (last > first + 1) std::memset(Row + first + 1, Bit ? 0xFF : 0x00, (size_t)(last - first - 1));
    Row[last] = Bit ? (uint8_t)(Row[last] | tail) : (uint8_t)(Row[last] & ~tail);
}

// b1 and b2 on the reference row for a0 and the colour (black or not) of the coding line, with
// BlackBit the bit value of black pixels in that row.
void FindB1B2(const uint8_t* Ref, int32_t A0, bool Black, int32_t Width, int32_t BlackBit, int32_t& B1,
              int32_t& B2) {
    const int32_t colourBit = Black ? BlackBit : 1 - BlackBit;
    // b1 is the first change to the other colour right of a0: after a pixel of a0's colour at or
    // right of a0 (the imaginary white pixel before the row when a0 is -1).
    const int32_t q = A0 < 0 ? -1 : FindBit(Ref, A0, Width, colourBit);
    B1 = q >= Width ? Width : FindBit(Ref, q + 1, Width, 1 - colourBit);
    B2 = B1 >= Width ? Width : FindBit(Ref, B1 + 1, Width, colourBit);
}

// Decodes one one-dimensional row; Changes, when given, receives the row's changing elements
// (the end of every run, zero-length runs included).
int64_t Decode1D(uint8_t* Row, const TBitReader& R, int32_t Width, int64_t Pos, std::vector<int32_t>* Changes = nullptr) {
    std::memset(Row, 0xFF, (size_t)RowBytes(Width));
    int32_t colour = 0;
    int64_t a = 0;
    bool makeUpPending = false;
    int64_t start = Pos;
    bool eolSkipped = false;
    while (a < Width || makeUpPending) {
        int32_t length;
        const int32_t entry = ReadRunCode(R, Pos, colour, length);
        if (entry == kNoCode) {
            if (Pos == start) ++start;
            ++Pos;
            continue;
        }
        const int32_t run = RunOf(entry);
        if (run == -3) {
            if (Pos == start && !eolSkipped) {
                eolSkipped = true;
                Pos += length;
                start = Pos;
                continue;
            }
            Pos += length;
            if (colour) FillRun(Row, (int32_t)a, Width, 0);
            break;
        }
        Pos += length;
        if (run < 0) continue;
        const int64_t end = std::min<int64_t>(a + run, Width);
        if (colour) FillRun(Row, (int32_t)a, (int32_t)end, 0);
        a = end;
        makeUpPending = entry >= kFirstMakeUp;
        if (!makeUpPending) {
            if (Changes) Changes->push_back((int32_t)a);
            colour ^= 1;
        }
    }
    return Pos;
}

// One run of a horizontal mode code (make-up codes followed by a terminating code), or -1 when
// the codes there are not a run (an EOL stays unread; other patterns are consumed).
int64_t ReadHorizontalRun(const TBitReader& R, int64_t& Pos, int32_t Colour) {
    int64_t run = 0;
    for (;;) {
        int32_t length;
        const int32_t entry = ReadRunCode(R, Pos, Colour, length);
        if (entry == kNoCode) {
            ++Pos;
            return -1;
        }
        const int32_t r = RunOf(entry);
        if (r == -3) return -1;
        Pos += length;
        if (r < 0) return -1;
        run = std::min<int64_t>(run + r, INT32_MAX);
        if (entry < kFirstMakeUp) return run;
    }
}

// The changing elements of a decoded row (1 = white): the first change is to black.
std::vector<int32_t> ChangesOf(const uint8_t* Row, int32_t Width) {
    std::vector<int32_t> changes;
    for (int32_t x = 0, bit = 0; (x = FindBit(Row, x, Width, bit)) < Width; bit ^= 1) changes.push_back(x);
    return changes;
}

// One two-dimensional row against the reference row's changing elements Ref (positions where the
// colour changes, the first to black, then alternately; a zero-length run coded in the reference
// row gives two equal positions). Cur receives this row's changing elements. b1 and b2 are found
// in Ref, not in the reference row's pixels, so that zero-length runs count as the coding
// counted them.
int64_t Decode2D(uint8_t* Row, const TBitReader& R, int32_t Width, const std::vector<int32_t>& Ref,
                 std::vector<int32_t>& Cur, int64_t Pos, bool EOLMode) {
    const int32_t bytes = RowBytes(Width);
    std::memset(Row, 0xFF, (size_t)bytes);
    Cur.clear();
    // Element I of the reference row: before the first, 0; past the last, the row's end.
    const auto ref = [&](int64_t I) {
        return I < 0 ? 0 : I < (int64_t)Ref.size() ? std::min(Ref[(size_t)I], Width) : Width;
    };
    // b1 is element bi: the next change to the colour opposite a0's. Once the row has a change of
    // its own, b1 must lie right of a0 (a zero-length run may leave it at a0).
    int64_t bi = 0;
    int32_t b1 = ref(0);
    const auto checkB1 = [&](int32_t A0) {
        if (Cur.empty()) return;
        while (b1 <= A0 && b1 < Width) b1 = ref(bi += 2);
    };
    int32_t a0 = -1;
    bool black = false;
    bool atStart = true;
    const TLookup* const modes = Tables().Modes;
    while (a0 < Width && Pos < R.Bits()) {
        const uint32_t w = R.Window(Pos);
        TLookup mode = modes[w >> 20];
        int64_t eolLength = 0;
        if (mode.Entry == kModeEOL) eolLength = 12;
        else if (mode.Entry == kModeZeros && EOLMode) {
            // Twelve or more zeros up to the next 1 count as an EOL.
            int64_t p = Pos + 12;
            while (p < R.Bits() && !R.Bit(p)) ++p;
            if (p >= R.Bits()) {
                Pos = p;
                break;
            }
            eolLength = p + 1 - Pos;
        }
        if (eolLength) {
            if (!atStart) {
                if (black) FillRun(Row, std::max(a0, 0), Width, 0);
                break;   // left for the next row
            }
            atStart = false;
            Pos += eolLength;
            if (R.Bit(Pos++)) return Decode1D(Row, R, Width, Pos, &Cur);
            continue;
        }
        atStart = false;
        const int32_t from = std::max(a0, 0);
        switch (mode.Entry) {
            case kModePass: {
                Pos += mode.Length;
                checkB1(from);
                const int32_t b2 = std::max(ref(bi + 1), from);
                if (black) FillRun(Row, from, b2, 0);
                a0 = b2;
                b1 = ref(bi += 2);
                break;
            }
            case kModeHorizontal: {
                Pos += mode.Length;
                const int64_t run1 = ReadHorizontalRun(R, Pos, black ? 1 : 0);
                if (run1 < 0) break;
                const int64_t run2 = ReadHorizontalRun(R, Pos, black ? 0 : 1);
                if (run2 < 0) break;
                const int32_t a1 = (int32_t)std::min<int64_t>(from + run1, Width);
                const int32_t a2 = (int32_t)std::min<int64_t>(a1 + run2, Width);
                FillRun(Row, black ? from : a1, black ? a1 : a2, 0);
                Cur.push_back(a1);
                Cur.push_back(a2);
                a0 = a2;
                checkB1(a0);
                break;
            }
            case kModeVL3: case kModeVL2: case kModeVL1: case kModeV0:
            case kModeVR1: case kModeVR2: case kModeVR3: {
                Pos += mode.Length;
                checkB1(from);
                const int32_t shift = mode.Entry - kModeV0;
                const int32_t a1 = std::clamp(b1 + shift, from, Width);
                if (black) FillRun(Row, from, a1, 0);
                Cur.push_back(a1);
                a0 = a1;
                black = !black;
                // After a left shift b1 steps back one element, else forward one.
                b1 = ref(shift < 0 ? --bi : ++bi);
                break;
            }
            case kModeUncompressed: case kModeUncompressed2: {
                Pos += mode.Length;
                int32_t a = from;
                for (;;) {
                    int32_t zeros = 0;
                    while (zeros < 11 && Pos + zeros < R.Bits() && !R.Bit(Pos + zeros)) ++zeros;
                    if (zeros >= 11 || Pos + zeros >= R.Bits()) {
                        Pos = std::min(Pos + zeros, R.Bits());
                        break;
                    }
                    Pos += zeros + 1;
                    const int32_t code = zeros + 1;
                    if (code <= 5) {
                        a = std::min(a + code - 1, Width);
                        if (a < Width) FillRun(Row, a, a + 1, 0);
                        a = std::min(a + 1, Width);
                    } else if (code == 6) {
                        a = std::min(a + 5, Width);
                    } else {
                        a = std::min(a + code - 7, Width);
                        black = R.Bit(Pos++) != 0;
                        break;
                    }
                }
                // The changes of the pixels given one by one, then of the colour that follows.
                for (int32_t x = from; x < a; ++x)
                    if ((((Row[x >> 3] >> (7 - (x & 7))) & 1) == 0) != ((Cur.size() & 1) != 0)) Cur.push_back(x);
                if (black != ((Cur.size() & 1) != 0)) Cur.push_back(a);
                a0 = a;
                break;
            }
            default:   // twelve zeros outside EOL mode, or no code: skip a bit
                ++Pos;
                break;
        }
    }
    return Pos;
}

// ---- Writing -------------------------------------------------------------------------------------

// Collects the bits of one call, most significant first, starting with the strip's pending
// partial byte; whole bytes go to the stream in the FillOrder at the end of the call.
class TBitWriter {
public:
    TBitWriter(uint8_t PendingByte, int32_t PendingBits) {
        if (PendingBits > 0 && PendingBits < 8) {
            FAcc = (uint64_t)(PendingByte >> (8 - PendingBits));
            FCount = PendingBits;
        }
    }
    void Put(uint32_t Bits, int32_t Length) {
        FAcc = FAcc << Length | (Bits & ((1u << Length) - 1));
        FCount += Length;
        while (FCount >= 8) {
            FCount -= 8;
            FOut.push_back((uint8_t)(FAcc >> FCount));
        }
    }
    void Put(TCode Code) { Put(Code.Bits, Code.Length); }
    void PutRun(int32_t Run, int32_t Colour) {
        const TCode* codes = Colour ? kBlackCodes : kWhiteCodes;
        while (Run > 2560) {
            Put(kExtendedCodes[12]);
            Run -= 2560;
        }
        if (Run >= 64) {
            const int32_t m = Run / 64;   // 1 .. 40
            Put(m <= 27 ? codes[63 + m] : kExtendedCodes[m - 28]);
            Run -= m * 64;
        }
        Put(codes[Run]);
    }
    void PadToByte() {
        if (FCount > 0) Put(0, 8 - FCount);
    }
    // Writes the whole bytes; the partial one becomes the pending byte.
    void Flush(TStream* Stream, uint8_t& PendingByte, int32_t& PendingBits, bool& Aborting, int32_t FillOrder) {
        if (FillOrder == 2)
            for (auto& b : FOut) b = IEBitReverse.Byte[b];
        if (!FOut.empty() && Stream->Write(FOut.data(), (int32_t)FOut.size()) != (int32_t)FOut.size()) Aborting = true;
        FOut.clear();
        PendingBits = FCount;
        PendingByte = FCount ? (uint8_t)(FAcc << (8 - FCount)) : 0;
    }

private:
    uint64_t FAcc = 0;
    int32_t FCount = 0;
    std::vector<uint8_t> FOut;
};

// One row coded one-dimensionally (0 = white in Row).
void Encode1D(TBitWriter& W, const uint8_t* Row, int32_t Width) {
    int32_t a = 0, colour = 0;
    while (a < Width) {
        const int32_t next = FindBit(Row, a, Width, 1 - colour);
        W.PutRun(next - a, colour);
        a = next;
        colour ^= 1;
    }
    if (Width <= 0) W.PutRun(0, 0);
}

// One row coded two-dimensionally against Ref (both 0 = white).
void Encode2D(TBitWriter& W, const uint8_t* Row, const uint8_t* Ref, int32_t Width) {
    int32_t a0 = -1;
    bool black = false;
    while (a0 < Width) {
        const int32_t colourBit = black ? 1 : 0;
        const int32_t a1 = FindBit(Row, a0 + 1, Width, 1 - colourBit);
        int32_t b1, b2;
        FindB1B2(Ref, a0, black, Width, 1, b1, b2);
        if (b2 < a1) {
            W.Put(kModeCodes[kModePass]);
            a0 = b2;
        } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
            W.Put(kModeCodes[kModeV0 + (a1 - b1)]);
            a0 = a1;
            black = !black;
        } else {
            const int32_t a2 = FindBit(Row, a1, Width, colourBit);
            W.Put(kModeCodes[kModeHorizontal]);
            W.PutRun(a1 - std::max(a0, 0), black ? 1 : 0);
            W.PutRun(a2 - a1, black ? 0 : 1);
            a0 = a2;
        }
    }
}

// The reference row of the encoders: the row's bytes rounded up to 32 bits.
void KeepReference(std::vector<uint8_t>& RefRow, const uint8_t* Row, int32_t Width) {
    const size_t bytes = (size_t)RowBytes(Width);
    RefRow.assign((bytes + 3) / 4 * 4, 0);
    if (Row) std::memcpy(RefRow.data(), Row, bytes);
}

void FreeReference(std::vector<uint8_t>& RefRow) { std::vector<uint8_t>().swap(RefRow); }

}  // namespace

void IEInitializeCCITT() { Tables(); }
void IEFinalizeCCITT() {}

int64_t IECCITTDecodeG3Row(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, int64_t BitPos,
                           int32_t FillOrder) {
    if (Width <= 0) return BitPos;
    return Decode1D(Row, TBitReader(Data, DataLength, FillOrder), Width, std::max<int64_t>(BitPos, 0));
}

int64_t IECCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, int32_t FillOrder) {
    if (Width <= 0) return 0;
    const int64_t bits = Decode1D(Row, TBitReader(Data, DataLength, FillOrder), Width, 0);
    return (bits + 7) / 8;
}

int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width,
                           std::vector<int32_t>& RefChanges, int64_t BitPos, int32_t FillOrder, bool EOLMode) {
    if (Width <= 0) return BitPos;
    std::vector<int32_t> changes;
    changes.reserve(RefChanges.size() + 16);
    const int64_t pos = Decode2D(Row, TBitReader(Data, DataLength, FillOrder), Width, RefChanges, changes,
                                 std::max<int64_t>(BitPos, 0), EOLMode);
    RefChanges.swap(changes);
    return pos;
}

int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, uint8_t* RefRow,
                           int64_t BitPos, int32_t FillOrder, bool EOLMode) {
    if (Width <= 0) return BitPos;
    std::vector<int32_t> changes = ChangesOf(RefRow, Width);
    const int64_t pos = IECCITTDecode2DRow(Row, Data, DataLength, Width, changes, BitPos, FillOrder, EOLMode);
    std::memcpy(RefRow, Row, (size_t)RowBytes(Width));
    return pos;
}

void IECCITTEncodeMHRow(const uint8_t* Row, int32_t Width, TStream* Stream, bool& Aborting, int32_t FillOrder) {
    TBitWriter w(0, 0);
    Encode1D(w, Row, Width);
    w.PadToByte();
    uint8_t pendingByte;
    int32_t pendingBits;
    w.Flush(Stream, pendingByte, pendingBits, Aborting, FillOrder);
}

void IECCITTEncodeG3Row(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, bool& Aborting, int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    if (Row) {
        w.Put(kEOL);
        Encode1D(w, Row, Width);
    } else {
        w.PadToByte();
    }
    w.Flush(Stream, PendingByte, PendingBits, Aborting, FillOrder);
}

void IECCITTEncodeG32DRow(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                          int32_t& PendingBits, std::vector<uint8_t>& RefRow, bool& Aborting, int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    if (Row) {
        w.Put(kEOL);
        if (RefRow.empty()) {
            w.Put(1, 1);
            Encode1D(w, Row, Width);
        } else {
            w.Put(0, 1);
            Encode2D(w, Row, RefRow.data(), Width);
        }
        KeepReference(RefRow, Row, Width);
    } else {
        w.Put(kEOL);
        w.PadToByte();
        FreeReference(RefRow);
    }
    w.Flush(Stream, PendingByte, PendingBits, Aborting, FillOrder);
}

void IECCITTEncodeG4Row(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, std::vector<uint8_t>& RefRow, bool& Aborting, int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    if (Row) {
        if (RefRow.empty()) KeepReference(RefRow, nullptr, Width);
        Encode2D(w, Row, RefRow.data(), Width);
        KeepReference(RefRow, Row, Width);
    } else {
        w.Put(kEOL);
        w.Put(kEOL);
        w.PadToByte();
        FreeReference(RefRow);
    }
    w.Flush(Stream, PendingByte, PendingBits, Aborting, FillOrder);
}
