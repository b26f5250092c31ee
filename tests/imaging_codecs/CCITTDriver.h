// Whole strips through the CCITT row codecs, for the tests, the peer comparisons and the fuzz
// target. Rows are packed bilevel rows with 0 = white (the encoders' convention); decoded rows are
// turned back to that convention, with the pad bits past the width cleared.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "tifccitt.h"

enum class TCCITTCoding { MH, G3, G32D, G4 };
constexpr TCCITTCoding kAllCCITTCodings[] = {TCCITTCoding::MH, TCCITTCoding::G3, TCCITTCoding::G32D, TCCITTCoding::G4};

inline int32_t CCITTRowBytes(int32_t Width) { return (Width + 7) / 8; }

// Bits written as text ("0001 1"), packed most significant first, the last byte padded with 0.
inline std::vector<uint8_t> CCITTBits(const std::string& Text) {
    std::vector<uint8_t> out;
    int n = 0;
    for (char c : Text) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= (uint8_t)(0x80 >> (n % 8));
        ++n;
    }
    return out;
}

inline void CCITTClearPad(uint8_t* Row, int32_t Width) {
    if (Width % 8) Row[Width / 8] &= (uint8_t)(0xFF00 >> (Width % 8));
}

inline std::vector<uint8_t> CCITTEncodeStrip(const std::vector<uint8_t>& Rows, int32_t Width, int32_t Height,
                                             TCCITTCoding Coding, int32_t FillOrder) {
    TMemoryStream s;
    uint8_t pendingByte = 0;
    int32_t pendingBits = 0;
    std::vector<uint8_t> ref;
    bool aborting = false;
    const size_t rb = (size_t)CCITTRowBytes(Width);
    for (int32_t y = 0; y <= Height; ++y) {
        const uint8_t* row = y < Height ? Rows.data() + rb * (size_t)y : nullptr;
        switch (Coding) {
            case TCCITTCoding::MH:
                if (row) IECCITTEncodeMHRow(row, Width, &s, aborting, FillOrder);
                break;
            case TCCITTCoding::G3: IECCITTEncodeG3Row(row, Width, &s, pendingByte, pendingBits, aborting, FillOrder); break;
            case TCCITTCoding::G32D:
                IECCITTEncodeG32DRow(row, Width, &s, pendingByte, pendingBits, ref, aborting, FillOrder);
                break;
            case TCCITTCoding::G4:
                IECCITTEncodeG4Row(row, Width, &s, pendingByte, pendingBits, ref, aborting, FillOrder);
                break;
        }
    }
    const auto* p = static_cast<const uint8_t*>(s.GetMemory());
    return std::vector<uint8_t>(p, p + s.GetSize());
}

inline std::vector<uint8_t> CCITTDecodeStrip(const std::vector<uint8_t>& Data, int32_t Width, int32_t Height,
                                             TCCITTCoding Coding, int32_t FillOrder) {
    const size_t rb = (size_t)CCITTRowBytes(Width);
    std::vector<uint8_t> rows(rb * (size_t)Height);
    std::vector<int32_t> ref;   // the reference row's changing elements: all white
    int64_t pos = 0;
    const int64_t length = (int64_t)Data.size();
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = rows.data() + rb * (size_t)y;
        switch (Coding) {
            case TCCITTCoding::MH:
                pos += IECCITTDecodeMHRow(row, Data.data() + std::min(pos, length), length - std::min(pos, length), Width,
                                          FillOrder);
                break;
            case TCCITTCoding::G3: pos = IECCITTDecodeG3Row(row, Data.data(), length, Width, pos, FillOrder); break;
            case TCCITTCoding::G32D:
            case TCCITTCoding::G4:
                pos = IECCITTDecode2DRow(row, Data.data(), length, Width, ref, pos, FillOrder,
                                         Coding == TCCITTCoding::G32D);
                break;
        }
        for (size_t i = 0; i < rb; ++i) row[i] = (uint8_t)~row[i];
        CCITTClearPad(row, Width);
    }
    return rows;
}
