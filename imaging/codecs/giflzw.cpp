#include "giflzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Classes.h"
#include "ielzwhash.h"

namespace {

constexpr int32_t kMaxCodes = 4096;   // 12-bit codes

// The row order shared by both directions: rows top to bottom, or GIF's four interlace passes
// (start rows 0, 4, 2, 1; steps 8, 8, 4, 2). Row reaches Height when every row has been visited.
struct TGIFRowCursor {
    TGIFRowCursor(int32_t AHeight, bool AInterlaced) : Height(AHeight), Interlaced(AInterlaced) {}
    void NextRow() {
        if (!Interlaced) {
            ++Row;
            return;
        }
        Row += Step;
        while (Row >= Height) {
            if (Pass >= 3) {   // the fourth pass is done: nothing is visited twice
                Row = Height;
                return;
            }
            if (Pass > 0) Step /= 2;
            ++Pass;
            Row = Step / 2;
        }
    }
    int32_t Height;
    bool Interlaced;
    int32_t Row = 0;
    int32_t Pass = 0;
    int32_t Step = 8;
};

// Decoded strings go into the index buffer row by row; what lies past the last pixel is dropped.
class TGIFOutput {
public:
    TGIFOutput(uint8_t* ABuffer, int32_t AHeight, int32_t AWidth, bool AInterlaced)
        : FBuffer(ABuffer), FWidth(AWidth), FRows(AHeight, AInterlaced) {
        if (AWidth <= 0 || AHeight <= 0) FRows.Row = FRows.Height;
    }
    bool Full() const { return FRows.Row >= FRows.Height; }
    void Put(const uint8_t* S, int32_t N) {
        while (N > 0 && !Full()) {
            const int32_t k = std::min(N, FWidth - FCol);
            std::memcpy(FBuffer + (size_t)FRows.Row * (size_t)FWidth + (size_t)FCol, S, (size_t)k);
            S += k;
            N -= k;
            FCol += k;
            if (FCol >= FWidth) {
                FCol = 0;
                FRows.NextRow();
            }
        }
    }

private:
    uint8_t* FBuffer;
    int32_t FWidth;
    int32_t FCol = 0;
    TGIFRowCursor FRows;
};

// The code table: each entry is its prefix code plus one byte; lengths and first bytes let a
// string be written back to front without a chain walk to find its size.
struct TGIFDecodeTable {
    uint16_t Prefix[kMaxCodes];
    uint8_t Suffix[kMaxCodes];
    uint8_t First[kMaxCodes];
    uint16_t Length[kMaxCodes];
    uint8_t Stack[kMaxCodes + 1];
};

}  // namespace

bool IEGIFLZWDecodeCodes(const uint8_t* Data, int32_t DataLength, int32_t MinCodeSize, int32_t Height,
                         int32_t Width, bool Interlaced, uint8_t* Buffer) {
    if (MinCodeSize < 2 || MinCodeSize > 9) return false;
    TGIFOutput out(Buffer, Height, Width, Interlaced);
    auto t = std::make_unique<TGIFDecodeTable>();
    const int32_t clear = 1 << MinCodeSize;
    const int32_t end = clear + 1;
    for (int32_t i = 0; i < clear; ++i) {
        t->Prefix[i] = 0;
        t->Suffix[i] = t->First[i] = (uint8_t)i;
        t->Length[i] = 1;
    }

    uint32_t bits = 0;
    int32_t bitCount = 0;
    int32_t index = 0;
    auto readCode = [&](int32_t width, int32_t& code) {
        while (bitCount < width) {
            if (index >= DataLength) return false;
            bits |= (uint32_t)Data[index++] << bitCount;
            bitCount += 8;
        }
        code = (int32_t)(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;
        return true;
    };

    int32_t width = 0, nextFree = 0, limit = 0;
    bool full = false;
    auto reset = [&] {
        width = MinCodeSize + 1;
        nextFree = end + 1;
        limit = 1 << width;
        full = false;
    };
    auto add = [&](int32_t prefix, uint8_t suffix) {
        t->Prefix[nextFree] = (uint16_t)prefix;
        t->Suffix[nextFree] = suffix;
        t->First[nextFree] = t->First[prefix];
        t->Length[nextFree] = (uint16_t)(t->Length[prefix] + 1);
        if (++nextFree == limit) {
            if (width == 12) full = true;   // no early change; a full table waits for a Clear code
            else {
                limit *= 2;
                ++width;
            }
        }
    };
    // Writes the string of code (plus Extra when it is >= 0) back to front into the stack.
    auto emit = [&](int32_t code, int32_t extra) {
        int32_t n = t->Length[code] + (extra >= 0 ? 1 : 0);
        uint8_t* p = t->Stack + n;
        if (extra >= 0) *--p = (uint8_t)extra;
        for (int32_t c = code; p > t->Stack; c = t->Prefix[c]) *--p = t->Suffix[c];
        out.Put(t->Stack, n);
    };

    reset();
    int32_t prev = -1;   // a stream that does not begin with Clear starts as if it did
    int32_t code;
    while (!out.Full() && readCode(width, code)) {
        if (code == end) return true;
        if (code == clear || prev < 0) {
            if (code == clear) {
                reset();
                do {
                    if (!readCode(width, code)) return true;
                } while (code == clear);
                if (code == end) return index >= DataLength;
            }
            if (code >= nextFree) code = 0;
            emit(code, -1);
            prev = code;
            continue;
        }
        if (code < nextFree) {
            emit(code, -1);
            if (!full) add(prev, t->First[code]);
        } else if (code == nextFree && !full) {
            emit(prev, t->First[prev]);
            add(prev, t->First[prev]);
        } else {
            return false;
        }
        prev = code;
    }
    return true;
}

void IEGIFLZWDecompress(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer) {
    const int64_t start = Stream->GetPosition();
    uint8_t minCodeSize = 0;
    if (Stream->Read(&minCodeSize, 1) != 1 || minCodeSize < 2 || minCodeSize > 9) {
        Stream->SetPosition(start);
        return;
    }
    // The sub-blocks' data. The stream is read in large pieces, not block by block (a photo-sized
    // frame has thousands of 255-byte blocks), and set back just behind the last byte taken.
    std::vector<uint8_t> data;
    // Codes take at most 12 bits a pixel: a frame's data rarely needs more, so one allocation
    // usually holds it (the stream's own size bounds the guess).
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    data.reserve((size_t)std::max<int64_t>(0, std::min<int64_t>(left, (int64_t)Height * Width * 3 / 2 + 1024)));
    std::vector<uint8_t> piece(64 * 1024);
    size_t at = 0, have = 0;
    bool ended = false;
    // Up to Count bytes (at most 256) at piece[at]: fewer only where the stream ends.
    auto available = [&](size_t count) -> size_t {
        if (have - at < count && !ended) {
            std::memmove(piece.data(), piece.data() + at, have - at);
            have -= at;
            at = 0;
            while (have < count && !ended) {
                const int32_t got = Stream->Read(piece.data() + have, (int32_t)(piece.size() - have));
                if (got <= 0) ended = true;
                else have += (size_t)got;
            }
        }
        return std::min(count, have - at);
    };
    for (;;) {
        if (available(1) < 1) break;
        const uint8_t blockLength = piece[at++];
        if (blockLength == 0) break;
        if (data.size() > (size_t)INT32_MAX - 256) {   // more than a frame can hold in memory here
            Stream->SetPosition(start);
            return;
        }
        const size_t got = available(blockLength);
        data.insert(data.end(), piece.data() + at, piece.data() + at + got);
        at += got;
        if (got < blockLength) break;
    }
    Stream->SetPosition(Stream->GetPosition() - (int64_t)(have - at));   // the bytes read ahead
    if (data.empty()) return;
    if (!IEGIFLZWDecodeCodes(data.data(), (int32_t)data.size(), minCodeSize, Height, Width, Interlaced,
                             static_cast<uint8_t*>(Buffer)))
        Stream->SetPosition(start);
}

namespace {

// The hash-based LZW of the classic compress program with GIF's framing: codes least significant
// bit first, packed into sub-blocks of 254 bytes.
class TGIFEncoder {
public:
    TGIFEncoder(TStream* AStream, int32_t AInitBits) : FStream(AStream), FInitWidth(AInitBits + 1) {
        FWidth = FInitWidth;
        FMaxCode = (1 << FWidth) - 1;
        FClear = 1 << AInitBits;
        FEnd = FClear + 1;
        FNextFree = FClear + 2;
    }

    void Encode(const uint8_t* Buffer, int32_t Height, int32_t Width, bool Interlaced) {
        FHash.Clear();
        Output(FClear);
        const uint8_t mask = (uint8_t)(FClear - 1);
        TGIFRowCursor rows(Height, Interlaced);
        if (Width <= 0 || Height <= 0) rows.Row = Height;
        int32_t prefix = -1;
        for (; rows.Row < rows.Height; rows.NextRow()) {
            const uint8_t* p = Buffer + (size_t)rows.Row * (size_t)Width;
            for (int32_t x = 0; x < Width; ++x) {
                const int32_t c = p[x] & mask;
                int32_t slot;
                if (FHash.Extend(c, prefix, slot)) continue;
                Output(prefix);
                if (FNextFree < kMaxCodes) {
                    FHash.Store(slot, c, prefix, FNextFree++);
                } else {
                    FHash.Clear();
                    FNextFree = FClear + 2;
                    FClearPending = true;
                    Output(FClear);
                }
                prefix = c;
            }
        }
        if (prefix >= 0) Output(prefix);
        Output(FEnd);
        if (FBitCount > 0) PutByte((uint8_t)FBits);
        FlushBlock();
        const uint8_t terminator = 0;
        FStream->WriteBuffer(&terminator, 1);
    }

private:
    void Output(int32_t Code) {
        FBits |= (uint32_t)Code << FBitCount;
        FBitCount += FWidth;
        while (FBitCount >= 8) {
            PutByte((uint8_t)FBits);
            FBits >>= 8;
            FBitCount -= 8;
        }
        if (FNextFree > FMaxCode || FClearPending) {
            if (FClearPending) {
                FWidth = FInitWidth;
                FMaxCode = (1 << FWidth) - 1;
                FClearPending = false;
            } else {
                ++FWidth;
                FMaxCode = FWidth == 12 ? kMaxCodes : (1 << FWidth) - 1;
            }
        }
    }
    void PutByte(uint8_t B) {
        FBlock[++FBlockFill] = B;
        if (FBlockFill >= 254) FlushBlock();
    }
    void FlushBlock() {
        if (FBlockFill == 0) return;
        FBlock[0] = (uint8_t)FBlockFill;
        FStream->WriteBuffer(FBlock, FBlockFill + 1);
        FBlockFill = 0;
    }

    TStream* FStream;
    int32_t FInitWidth;
    int32_t FWidth;
    int32_t FMaxCode;
    int32_t FClear;
    int32_t FEnd;
    int32_t FNextFree;
    bool FClearPending = false;
    uint32_t FBits = 0;
    int32_t FBitCount = 0;
    uint8_t FBlock[255];   // length byte, then up to 254 data bytes
    int32_t FBlockFill = 0;
    TIELZWHash FHash;
};

}  // namespace

void IEGIFLZWCompress(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer,
                      int32_t BitsPerPixel) {
    const int32_t initBits = std::clamp(BitsPerPixel, 2, 8);
    const uint8_t minCodeSize = (uint8_t)initBits;
    Stream->WriteBuffer(&minCodeSize, 1);
    auto encoder = std::make_unique<TGIFEncoder>(Stream, initBits);
    encoder->Encode(static_cast<const uint8_t*>(Buffer), Height, Width, Interlaced);
}
