// A plain dictionary LZW encoder for the tests: it builds code streams that our encoders never
// write (old-style TIFF bit order, a GIF table left full without a Clear code) and checks the
// decoders against a second, independent coder.
#pragma once
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

struct TLzwReferenceOptions {
    int32_t MinBits = 8;          // roots 0 .. 2^MinBits - 1; Clear 2^MinBits, end Clear + 1
    bool MsbFirst = true;         // TIFF's bit order; false: GIF's and old-style TIFF's
    int32_t EarlyChange = 1;      // TIFF 1, GIF and old-style TIFF 0
    int32_t ClearAt = 4094;       // a Clear code when the table reaches this size; 0: never
    bool LeadingClear = true;
};

inline std::vector<uint8_t> LzwReferenceEncode(const std::vector<uint8_t>& In, const TLzwReferenceOptions& O) {
    std::vector<uint8_t> out;
    uint64_t bits = 0;
    int32_t count = 0;
    const int32_t clear = 1 << O.MinBits, end = clear + 1;
    int32_t decoderNext = clear + 2;   // the table size the decoder has before it reads the next code
    bool firstAfterClear = true;
    auto width = [&] {
        int32_t w = O.MinBits + 1;
        while (w < 12 && decoderNext + O.EarlyChange >= (1 << w)) ++w;
        return w;
    };
    auto put = [&](int32_t code) {
        const int32_t w = width();
        if (O.MsbFirst) {
            bits = bits << w | (uint64_t)code;
            count += w;
            while (count >= 8) {
                out.push_back((uint8_t)(bits >> (count - 8)));
                count -= 8;
            }
        } else {
            bits |= (uint64_t)code << count;
            count += w;
            while (count >= 8) {
                out.push_back((uint8_t)bits);
                bits >>= 8;
                count -= 8;
            }
        }
        if (code == clear) {
            decoderNext = clear + 2;
            firstAfterClear = true;
        } else if (code != end) {
            if (!firstAfterClear && decoderNext < 4096) ++decoderNext;
            firstAfterClear = false;
        }
    };
    std::map<std::pair<int32_t, uint8_t>, int32_t> dict;
    int32_t next = clear + 2;
    if (O.LeadingClear) put(clear);
    int32_t w = -1;
    for (uint8_t c : In) {
        if (w < 0) {
            w = c;
            continue;
        }
        auto it = dict.find({w, c});
        if (it != dict.end()) {
            w = it->second;
            continue;
        }
        put(w);
        if (next < 4096) dict[{w, c}] = next++;
        if (O.ClearAt && next >= O.ClearAt) {
            put(clear);
            dict.clear();
            next = clear + 2;
        }
        w = c;
    }
    if (w >= 0) put(w);
    put(end);
    if (count > 0) out.push_back(O.MsbFirst ? (uint8_t)(bits << (8 - count)) : (uint8_t)bits);
    return out;
}
