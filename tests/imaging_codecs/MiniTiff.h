// A minimal TIFF for the tests and the benchmark: one page of one sample, in strips, written
// little-endian and read in either byte order (first page only, the few tags below).
#pragma once
#include <cstdint>
#include <vector>

struct TMiniTiff {
    uint32_t Width = 0, Height = 0, Bits = 8, Compression = 1, Photometric = 1, FillOrder = 1, T4Options = 0;
    uint32_t RowsPerStrip = 0;
    std::vector<std::vector<uint8_t>> Strips;
};

inline std::vector<uint8_t> WriteTiff(const TMiniTiff& T) {
    std::vector<uint8_t> out{'I', 'I', 42, 0, 0, 0, 0, 0};
    auto u16 = [&](std::vector<uint8_t>& b, uint32_t v) { b.push_back((uint8_t)v); b.push_back((uint8_t)(v >> 8)); };
    auto u32 = [&](std::vector<uint8_t>& b, uint32_t v) { u16(b, v & 0xFFFF); u16(b, v >> 16); };
    std::vector<uint32_t> offsets, counts;
    for (const auto& s : T.Strips) {
        offsets.push_back((uint32_t)out.size());
        counts.push_back((uint32_t)s.size());
        out.insert(out.end(), s.begin(), s.end());
        if (out.size() & 1) out.push_back(0);
    }
    // Arrays of more than one value go after the strips.
    auto array = [&](const std::vector<uint32_t>& v) {
        if (v.size() == 1) return v[0];
        const uint32_t at = (uint32_t)out.size();
        for (uint32_t x : v) u32(out, x);
        return at;
    };
    const uint32_t offsetsAt = array(offsets), countsAt = array(counts);
    struct Entry { uint16_t Tag, Type; uint32_t Count, Value; };
    std::vector<Entry> e = {{256, 4, 1, T.Width}, {257, 4, 1, T.Height}, {258, 3, 1, T.Bits},
                            {259, 3, 1, T.Compression}, {262, 3, 1, T.Photometric}, {266, 3, 1, T.FillOrder},
                            {273, 4, (uint32_t)offsets.size(), offsetsAt}, {277, 3, 1, 1},
                            {278, 4, 1, T.RowsPerStrip}, {279, 4, (uint32_t)counts.size(), countsAt}};
    if (T.Compression == 3) e.push_back({292, 4, 1, T.T4Options});
    const uint32_t ifd = (uint32_t)out.size();
    out[4] = (uint8_t)ifd; out[5] = (uint8_t)(ifd >> 8); out[6] = (uint8_t)(ifd >> 16); out[7] = (uint8_t)(ifd >> 24);
    u16(out, (uint32_t)e.size());
    for (const Entry& x : e) {
        u16(out, x.Tag); u16(out, x.Type); u32(out, x.Count);
        if (x.Type == 3 && x.Count == 1) { u16(out, x.Value); u16(out, 0); } else u32(out, x.Value);
    }
    u32(out, 0);
    return out;
}

inline bool ReadTiff(const std::vector<uint8_t>& F, TMiniTiff& T) {
    if (F.size() < 8) return false;
    const bool le = F[0] == 'I';
    auto u16 = [&](size_t at) -> uint32_t { return at + 2 > F.size() ? 0 : le ? F[at] | F[at + 1] << 8 : F[at] << 8 | F[at + 1]; };
    auto u32 = [&](size_t at) -> uint32_t { return le ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    const size_t ifd = u32(4);
    const uint32_t n = u16(ifd);
    std::vector<uint32_t> offsets, counts;
    for (uint32_t i = 0; i < n; ++i) {
        const size_t at = ifd + 2 + 12 * (size_t)i;
        const uint32_t tag = u16(at), type = u16(at + 2), count = u32(at + 4);
        const size_t size = type == 3 ? 2 : 4;
        const size_t values = count * size <= 4 ? at + 8 : u32(at + 8);
        std::vector<uint32_t> v;
        for (uint32_t k = 0; k < count && k < 100000; ++k) v.push_back(size == 2 ? u16(values + 2 * k) : u32(values + 4 * k));
        if (v.empty()) continue;
        switch (tag) {
            case 256: T.Width = v[0]; break;
            case 257: T.Height = v[0]; break;
            case 258: T.Bits = v[0]; break;
            case 259: T.Compression = v[0]; break;
            case 262: T.Photometric = v[0]; break;
            case 266: T.FillOrder = v[0]; break;
            case 273: offsets = v; break;
            case 278: T.RowsPerStrip = v[0]; break;
            case 279: counts = v; break;
            case 292: T.T4Options = v[0]; break;
        }
    }
    if (offsets.size() != counts.size() || offsets.empty()) return false;
    if (T.RowsPerStrip == 0 || T.RowsPerStrip > T.Height) T.RowsPerStrip = T.Height;
    for (size_t i = 0; i < offsets.size(); ++i) {
        if ((uint64_t)offsets[i] + counts[i] > F.size()) return false;
        T.Strips.emplace_back(F.begin() + offsets[i], F.begin() + offsets[i] + counts[i]);
    }
    return true;
}

// The rows of a picture (RowBytes each) cut into strips of RowsPerStrip rows.
inline std::vector<std::vector<uint8_t>> SliceStrips(const std::vector<uint8_t>& Rows, size_t RowBytes, uint32_t Height,
                                                     uint32_t RowsPerStrip) {
    std::vector<std::vector<uint8_t>> strips;
    for (uint32_t y = 0; y < Height; y += RowsPerStrip) {
        const uint32_t end = Height - y < RowsPerStrip ? Height : y + RowsPerStrip;
        strips.emplace_back(Rows.begin() + (long)(RowBytes * y), Rows.begin() + (long)(RowBytes * end));
    }
    return strips;
}
