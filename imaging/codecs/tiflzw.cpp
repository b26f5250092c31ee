#include "tiflzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Classes.h"
#include "iebitorder.h"
#include "ielzwhash.h"

namespace {

constexpr int32_t kClear = 256;
constexpr int32_t kEndOfInformation = 257;
constexpr int32_t kFirstFree = 258;
constexpr int32_t kMaxCodes = 4096;

class TTIFFLZWDecoder {
public:
    TTIFFLZWDecoder(const uint8_t* Data, int32_t DataLength, int32_t FillOrder) {
        const int32_t length = std::max(DataLength, 0);
        if (FillOrder == 2) {
            FReversed.resize((size_t)length);
            for (int32_t i = 0; i < length; ++i) FReversed[(size_t)i] = IEBitReverse.Byte[Data[i]];
            Data = FReversed.data();
        }
        FSource = Data;
        FSourceBits = (int64_t)length * 8;
        FWholeLoads = length >= 8 ? (int64_t)(length - 8) * 8 : -1;
        // A Clear code written least significant bit first: byte 0 all zeros, bit 0 of byte 1 set.
        FOldStyle = length >= 2 && Data[0] == 0 && (Data[1] & 1);
        for (int32_t i = 0; i < 256; ++i) FTable[i] = TEntry{(uint64_t)i, 0, 1, (uint8_t)i};
        Reset();
    }

    uint8_t* DecodeRow(int32_t RowBytes) {
        RowBytes = std::max(RowBytes, 0);
        // Bytes of the last string that went past the previous row move to the front.
        if (FOutCount > FLastRow) {
            std::memmove(FOut.get(), FOut.get() + FLastRow, (size_t)(FOutCount - FLastRow));
            FOutCount -= FLastRow;
        } else {
            FOutCount = 0;
        }
        // Room for a row and the longest string that can cross its end (left uninitialised).
        const size_t need = (size_t)RowBytes + kMaxCodes + 1;
        if (FOutCapacity < need) {
            std::unique_ptr<uint8_t[]> grown(new uint8_t[need]);
            if (FOutCount > 0) std::memcpy(grown.get(), FOut.get(), (size_t)FOutCount);
            FOut = std::move(grown);
            FOutCapacity = need;
        }
        if (!Decode(RowBytes)) return nullptr;
        if (FOutCount < RowBytes) {
            std::memset(FOut.get() + FOutCount, 0, (size_t)(RowBytes - FOutCount));
            FOutCount = RowBytes;
        }
        FLastRow = RowBytes;
        return FOut.get();
    }

private:
    void Reset() {
        FWidth = 9;
        FNextFree = kFirstFree;
    }

    // The code of Width bits at BitPos, or -1 at the strip's end (a code needs all its bits inside
    // the strip). Old-style strips pack codes least significant bit first.
    template <bool OldStyle>
    int32_t CodeAt(int64_t BitPos, int32_t Width) const {
        const int32_t shift = (int32_t)(BitPos & 7);
        const uint8_t* p = FSource + (BitPos >> 3);
        if (BitPos <= FWholeLoads) {
            // One 8-byte load holds the code wherever it starts in its byte.
            uint64_t w;
            std::memcpy(&w, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            if (!OldStyle) w = __builtin_bswap64(w);
#else
            if (OldStyle) w = __builtin_bswap64(w);
#endif
            if (OldStyle) return (int32_t)((w >> shift) & ((1u << Width) - 1));
            return (int32_t)((w << shift) >> (64 - Width));
        }
        if (BitPos + Width > FSourceBits) return -1;
        const int64_t bytes = (FSourceBits >> 3) - (BitPos >> 3);
        uint32_t w = 0;
        for (int64_t i = 0; i < std::min<int64_t>(bytes, 4); ++i)
            w |= OldStyle ? (uint32_t)p[i] << (8 * i) : (uint32_t)p[i] << (24 - 8 * i);
        if (OldStyle) return (int32_t)((w >> shift) & ((1u << Width) - 1));
        return (int32_t)((w << shift) >> (32 - Width));
    }

    // Decodes until the buffer holds RowBytes bytes or the stream ends; false for a corrupt one.
    // The loop works on local copies of the coder's state (the byte stores could otherwise alias
    // every member) and writes them back on leaving.
    bool Decode(int32_t RowBytes) { return FOldStyle ? DecodeAs<true>(RowBytes) : DecodeAs<false>(RowBytes); }

    template <bool OldStyle>
    bool DecodeAs(int32_t RowBytes) {
        int64_t bitPos = FBitPos;
        int32_t width = FWidth, nextFree = FNextFree, previous = FPrevious, outCount = FOutCount;
        bool finished = FFinished, ok = true;
        uint8_t* const out = FOut.get();
        TEntry* const table = FTable;
        // The new style grows one code before the power of two, the old style at it.
        const int32_t early = OldStyle ? 0 : 1;
        int32_t nextGrowth = (1 << width) - early;
        const auto read = [&](int32_t& Code) {
            Code = CodeAt<OldStyle>(bitPos, width);
            if (Code < 0) return false;
            bitPos += width;
            return true;
        };
        // The string of Code, followed by Extra when it is >= 0.
        const auto append = [&](int32_t Code, int32_t Extra) {
            // The string's first 8 bytes in one store (the bytes past a shorter string are
            // overwritten by the next ones or lie past the row), the rest from the end backwards.
            uint8_t* start = out + outCount;
            const TEntry* e = table + Code;
            const int32_t length = e->Length;
            StoreFirstBytes(start, e->Bytes);
            for (uint8_t* q = start + length; q > start + 8; e = table + e->Prefix) *--q = e->Suffix;
            if (Extra >= 0) start[length] = (uint8_t)Extra;
            outCount += length + (Extra >= 0 ? 1 : 0);
        };
        // False when the table overflows. Old-style coders fill the table and go on with 12-bit
        // codes of the full table until their Clear code: nothing is added then.
        const auto add = [&](int32_t Prefix, uint8_t Suffix) {
            if (nextFree >= kMaxCodes) return OldStyle;
            const TEntry& from = table[Prefix];
            const uint64_t bytes = from.Length < 8 ? from.Bytes | (uint64_t)Suffix << (8 * from.Length) : from.Bytes;
            table[nextFree] = TEntry{bytes, (uint16_t)Prefix, (uint16_t)(from.Length + 1), Suffix};
            if (++nextFree == nextGrowth && width < 12) {
                ++width;
                nextGrowth = width < 12 ? (1 << width) - early : kMaxCodes + 1;
            }
            return true;
        };
        int32_t code;
        while (outCount < RowBytes && !finished) {
            if (!read(code) || code == kEndOfInformation) break;
            if (code == kClear) {
                width = 9;
                nextFree = kFirstFree;
                nextGrowth = (1 << width) - early;
                bool ended = false;
                do {
                    if (!read(code)) {
                        ended = true;
                        break;
                    }
                } while (code == kClear);
                if (ended) {
                    finished = true;
                    break;
                }
                if (code == kEndOfInformation) break;
                if (code >= nextFree) {
                    ok = false;
                    break;
                }
                append(code, -1);
                previous = code;
                continue;
            }
            if (previous < 0) {   // a strip without a leading Clear code
                if (code >= nextFree) break;
                append(code, -1);
            } else if (code < nextFree) {
                append(code, -1);
                if (!add(previous, First(table[code]))) {
                    ok = false;
                    break;
                }
            } else if (code == nextFree) {
                append(previous, First(table[previous]));
                if (!add(previous, First(table[previous]))) {
                    ok = false;
                    break;
                }
            } else {
                break;   // a code above the table ends the strip quietly
            }
            previous = code;
        }
        if (ok && outCount < RowBytes) finished = true;
        FBitPos = bitPos;
        FWidth = width;
        FNextFree = nextFree;
        FPrevious = previous;
        FOutCount = outCount;
        FFinished = finished;
        return ok;
    }

    std::vector<uint8_t> FReversed;
    const uint8_t* FSource = nullptr;
    int64_t FSourceBits = 0;
    int64_t FBitPos = 0;
    int64_t FWholeLoads = -1;   // the last bit position with 8 bytes from its byte on
    bool FOldStyle = false;
    bool FFinished = false;
    int32_t FWidth = 9;
    int32_t FNextFree = kFirstFree;
    int32_t FPrevious = -1;
    std::unique_ptr<uint8_t[]> FOut;
    size_t FOutCapacity = 0;
    int32_t FOutCount = 0;
    int32_t FLastRow = 0;
    // A string of the table: its first 8 bytes (fewer for a shorter one, the first in the low
    // byte), its prefix code, its length and its last byte.
    struct TEntry {
        uint64_t Bytes;
        uint16_t Prefix, Length;
        uint8_t Suffix;
    };
    static uint8_t First(const TEntry& E) { return (uint8_t)E.Bytes; }
    static void StoreFirstBytes(uint8_t* P, uint64_t Bytes) {
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
        Bytes = __builtin_bswap64(Bytes);
#endif
        std::memcpy(P, &Bytes, 8);
    }
    TEntry FTable[kMaxCodes];
};

// The hashing encoder of the classic compress program with TIFF's parameters and libtiff's timing
// of width changes and Clear codes (a Clear when the next free code reaches 4094).
class TTIFFLZWEncoder {
public:
    explicit TTIFFLZWEncoder(TStream* AStream) : FStream(AStream) {
        FHash.Clear();
        Put(kClear);
    }

    // The coder's state lives in locals for the loop (the byte stores into the block could
    // otherwise alias every member) and goes back at the end.
    void Encode(const uint8_t* Data, int32_t Count) {
        int32_t prefix = FPrefix, nextFree = FNextFree, width = FWidth, maxCode = FMaxCode;
        uint64_t bits = FBits;
        int32_t bitCount = FBitCount;
        const auto put = [&](int32_t Code) { PutBits(bits, bitCount, Code, width); };
        for (int32_t i = 0; i < Count; ++i) {
            const int32_t c = Data[i];
            int32_t slot;
            if (FHash.Extend(c, prefix, slot)) continue;
            put(prefix);
            FHash.Store(slot, c, prefix, nextFree++);
            prefix = c;
            if (nextFree == kMaxCodes - 2) {
                FHash.Clear();
                put(kClear);
                nextFree = kFirstFree;
                width = 9;
                maxCode = (1 << width) - 1;
            } else if (nextFree > maxCode) {
                ++width;
                maxCode = (1 << width) - 1;
            }
        }
        FPrefix = prefix;
        FNextFree = nextFree;
        FWidth = width;
        FMaxCode = maxCode;
        FBits = bits;
        FBitCount = bitCount;
    }

    void Finish() {
        if (FPrefix >= 0) {
            Put(FPrefix);
            // The decoder adds one more entry on reading that code: follow its width.
            const int32_t nextFree = FNextFree + 1;
            if (nextFree == kMaxCodes - 2) {
                Put(kClear);
                SetWidth(9);
            } else if (nextFree > FMaxCode) {
                SetWidth(FWidth + 1);
            }
        }
        Put(kEndOfInformation);
        for (; FBitCount > 0; FBitCount -= 8, FBits <<= 8) PutByte((uint8_t)(FBits >> 56));
        FlushBlock();
    }

private:
    void SetWidth(int32_t Width) {
        FWidth = Width;
        FMaxCode = (1 << Width) - 1;
    }
    void Put(int32_t Code) { PutBits(FBits, FBitCount, Code, FWidth); }
    // Bits holds BitCount pending bits from its top; whole 32-bit groups go to the block.
    void PutBits(uint64_t& Bits, int32_t& BitCount, int32_t Code, int32_t Width) {
        Bits |= (uint64_t)Code << (64 - BitCount - Width);
        BitCount += Width;
        if (BitCount >= 32) {
            if (FBlockFill > (int32_t)sizeof(FBlock) - 4) FlushBlock();
            uint8_t* p = FBlock + FBlockFill;
            p[0] = (uint8_t)(Bits >> 56);
            p[1] = (uint8_t)(Bits >> 48);
            p[2] = (uint8_t)(Bits >> 40);
            p[3] = (uint8_t)(Bits >> 32);
            FBlockFill += 4;
            Bits <<= 32;
            BitCount -= 32;
        }
    }
    void PutByte(uint8_t B) {
        if (FBlockFill >= (int32_t)sizeof(FBlock)) FlushBlock();
        FBlock[FBlockFill++] = B;
    }
    void FlushBlock() {
        if (FBlockFill > 0) FStream->WriteBuffer(FBlock, FBlockFill);
        FBlockFill = 0;
    }

    TStream* FStream;
    uint64_t FBits = 0;
    int32_t FBitCount = 0;
    int32_t FWidth = 9;
    int32_t FMaxCode = 511;
    int32_t FNextFree = kFirstFree;
    int32_t FPrefix = -1;
    uint8_t FBlock[4096];
    int32_t FBlockFill = 0;
    TIELZWHash FHash;
};

}  // namespace

void* IETIFFLZWDecompress(const void* Data, int32_t DataLength, int32_t RowBytes, void*& State,
                          int32_t FillOrder) {
    if (State && !Data) {
        delete static_cast<TTIFFLZWDecoder*>(State);
        State = nullptr;
        return nullptr;
    }
    if (!State) {
        if (!Data) return nullptr;
        State = new TTIFFLZWDecoder(static_cast<const uint8_t*>(Data), DataLength, FillOrder);
    }
    return static_cast<TTIFFLZWDecoder*>(State)->DecodeRow(RowBytes);
}

void IETIFFLZWCompress(const void* Data, int32_t Count, TStream* Stream, void*& State) {
    if (!State) State = new TTIFFLZWEncoder(Stream);
    auto* encoder = static_cast<TTIFFLZWEncoder*>(State);
    if (!Data) {
        std::unique_ptr<TTIFFLZWEncoder> owned(encoder);
        State = nullptr;
        owned->Finish();
        return;
    }
    encoder->Encode(static_cast<const uint8_t*>(Data), Count);
}
