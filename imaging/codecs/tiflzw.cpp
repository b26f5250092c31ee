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
        // A Clear code written least significant bit first: byte 0 all zeros, bit 0 of byte 1 set.
        FOldStyle = length >= 2 && Data[0] == 0 && (Data[1] & 1);
        for (int32_t i = 0; i < 256; ++i) {
            FPrefix[i] = 0;
            FSuffix[i] = FFirst[i] = (uint8_t)i;
            FLength[i] = 1;
        }
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

    // False at the strip's end: a code needs all its bits inside the strip.
    bool ReadCode(int32_t& Code) {
        if (FBitPos + FWidth > FSourceBits) return false;
        const int64_t byte = FBitPos >> 3;
        const int64_t bytes = (FSourceBits >> 3) - byte;
        uint32_t w = 0;
        if (bytes >= 4) {
            const uint8_t* p = FSource + byte;
            if (FOldStyle) w = p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
            else w = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
        } else {
            for (int64_t i = 0; i < bytes; ++i)
                w |= FOldStyle ? (uint32_t)FSource[byte + i] << (8 * i) : (uint32_t)FSource[byte + i] << (24 - 8 * i);
        }
        const int32_t shift = (int32_t)(FBitPos & 7);
        if (FOldStyle) Code = (int32_t)((w >> shift) & ((1u << FWidth) - 1));
        else Code = (int32_t)((w << shift) >> (32 - FWidth));
        FBitPos += FWidth;
        return true;
    }

    // Appends the string of Code, followed by Extra when it is >= 0.
    void Append(int32_t Code, int32_t Extra) {
        const int32_t n = FLength[Code] + (Extra >= 0 ? 1 : 0);
        uint8_t* start = FOut.get() + FOutCount;
        uint8_t* p = start + n;
        if (Extra >= 0) *--p = (uint8_t)Extra;
        for (int32_t c = Code; p > start; c = FPrefix[c]) *--p = FSuffix[c];
        FOutCount += n;
    }

    // False when the table overflows. Old-style coders fill the table and go on with 12-bit codes
    // of the full table until their Clear code: nothing is added then.
    bool Add(int32_t Prefix, uint8_t Suffix) {
        if (FNextFree >= kMaxCodes) return FOldStyle;
        FPrefix[FNextFree] = (uint16_t)Prefix;
        FSuffix[FNextFree] = Suffix;
        FFirst[FNextFree] = FFirst[Prefix];
        FLength[FNextFree] = (uint16_t)(FLength[Prefix] + 1);
        ++FNextFree;
        // The new style grows one code before the power of two, the old style at it.
        const int32_t early = FOldStyle ? 0 : 1;
        if (FNextFree == 512 - early || FNextFree == 1024 - early || FNextFree == 2048 - early)
            FWidth = std::min(FWidth + 1, 12);
        return true;
    }

    // Decodes until the buffer holds RowBytes bytes or the stream ends; false for a corrupt one.
    bool Decode(int32_t RowBytes) {
        int32_t code;
        while (FOutCount < RowBytes && !FFinished) {
            if (!ReadCode(code) || code == kEndOfInformation) break;
            if (code == kClear) {
                Reset();
                do {
                    if (!ReadCode(code)) {
                        FFinished = true;
                        return true;
                    }
                } while (code == kClear);
                if (code == kEndOfInformation) break;
                if (code >= FNextFree) return false;
                Append(code, -1);
                FPrevious = code;
                continue;
            }
            if (FPrevious < 0) {   // a strip without a leading Clear code
                if (code >= FNextFree) break;
                Append(code, -1);
            } else if (code < FNextFree) {
                Append(code, -1);
                if (!Add(FPrevious, FFirst[code])) return false;
            } else if (code == FNextFree) {
                Append(FPrevious, FFirst[FPrevious]);
                if (!Add(FPrevious, FFirst[FPrevious])) return false;
            } else {
                break;   // a code above the table ends the strip quietly
            }
            FPrevious = code;
        }
        if (FOutCount < RowBytes) FFinished = true;
        return true;
    }

    std::vector<uint8_t> FReversed;
    const uint8_t* FSource = nullptr;
    int64_t FSourceBits = 0;
    int64_t FBitPos = 0;
    bool FOldStyle = false;
    bool FFinished = false;
    int32_t FWidth = 9;
    int32_t FNextFree = kFirstFree;
    int32_t FPrevious = -1;
    std::unique_ptr<uint8_t[]> FOut;
    size_t FOutCapacity = 0;
    int32_t FOutCount = 0;
    int32_t FLastRow = 0;
    uint16_t FPrefix[kMaxCodes];
    uint8_t FSuffix[kMaxCodes];
    uint8_t FFirst[kMaxCodes];
    uint16_t FLength[kMaxCodes];
};

// The hashing encoder of the classic compress program with TIFF's parameters and libtiff's timing
// of width changes and Clear codes (a Clear when the next free code reaches 4094).
class TTIFFLZWEncoder {
public:
    explicit TTIFFLZWEncoder(TStream* AStream) : FStream(AStream) {
        FHash.Clear();
        Put(kClear);
    }

    void Encode(const uint8_t* Data, int32_t Count) {
        int32_t prefix = FPrefix;
        for (int32_t i = 0; i < Count; ++i) {
            const int32_t c = Data[i];
            int32_t slot;
            if (FHash.Extend(c, prefix, slot)) continue;
            Put(prefix);
            FHash.Store(slot, c, prefix, FNextFree++);
            prefix = c;
            if (FNextFree == kMaxCodes - 2) {
                FHash.Clear();
                Put(kClear);
                FNextFree = kFirstFree;
                SetWidth(9);
            } else if (FNextFree > FMaxCode) {
                SetWidth(FWidth + 1);
            }
        }
        FPrefix = prefix;
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
        if (FBitCount > 0) PutByte((uint8_t)(FBits >> 24));
        FlushBlock();
    }

private:
    void SetWidth(int32_t Width) {
        FWidth = Width;
        FMaxCode = (1 << Width) - 1;
    }
    void Put(int32_t Code) {
        FBits |= (uint32_t)Code << (32 - FBitCount - FWidth);
        FBitCount += FWidth;
        while (FBitCount >= 8) {
            PutByte((uint8_t)(FBits >> 24));
            FBits <<= 8;
            FBitCount -= 8;
        }
    }
    void PutByte(uint8_t B) {
        FBlock[FBlockFill++] = B;
        if (FBlockFill > 253) FlushBlock();
    }
    void FlushBlock() {
        if (FBlockFill > 0) FStream->WriteBuffer(FBlock, FBlockFill);
        FBlockFill = 0;
    }

    TStream* FStream;
    uint32_t FBits = 0;
    int32_t FBitCount = 0;
    int32_t FWidth = 9;
    int32_t FMaxCode = 511;
    int32_t FNextFree = kFirstFree;
    int32_t FPrefix = -1;
    uint8_t FBlock[254];
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
