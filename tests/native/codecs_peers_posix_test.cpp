// The LZW and fax codecs beside tools no one here wrote: strips that libtiff's tiffcp compresses
// decode to the pictures it was given, and our strips, wrapped in a TIFF, come back through
// tiffcp unchanged; GIF image data from ImageMagick decode to its pixels and ours read back in
// ImageMagick. A tool that is absent skips its test (the set-up script installs them).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "Classes.h"
#include "NativeTestUtil.h"
#include "PosixPlatform.h"
#include "giflzw.h"
#include "imaging_codecs/CCITTDriver.h"
#include "imaging_codecs/MiniTiff.h"
#include "tiflzw.h"
#include "support/ToolSkip.h"

using nativetest::TScratchDir;

namespace {

using Bytes = std::vector<uint8_t>;

bool HaveTool(const char* Name) {
    return std::system((std::string("command -v ") + Name + " >/dev/null 2>&1").c_str()) == 0;
}

void WriteFile(const std::string& Name, const Bytes& B) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    ASSERT_NE(f, nullptr) << Name;
    std::fwrite(B.data(), 1, B.size(), f);
    std::fclose(f);
}

Bytes ReadFile(const std::string& Name) {
    Bytes b;
    FILE* f = std::fopen(Name.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

int RunTool(const std::string& Command) { return std::system(("timeout 60 " + Command).c_str()); }

// Rows of strip S.
uint32_t StripRows(const TMiniTiff& T, size_t S) {
    return std::min<uint32_t>(T.RowsPerStrip, T.Height - (uint32_t)S * T.RowsPerStrip);
}

// An 8-bit picture with runs, gradients and noise.
Bytes GreyPicture(uint32_t W, uint32_t H) {
    std::mt19937 rng(W * H);
    Bytes p((size_t)W * H);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            p[(size_t)y * W + x] = y % 50 < 20 ? (uint8_t)(x / 16 * 16) : y % 50 < 35 ? (uint8_t)(rng() % 256) : (uint8_t)((x ^ y) & 0xF0);
    return p;
}

// A bilevel page (1 = black): text-like blocks, lines and noise.
Bytes BilevelPage(uint32_t W, uint32_t H) {
    std::mt19937 rng(W + H);
    const size_t rb = (W + 7) / 8;
    Bytes p(rb * H, 0);
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) {
            const bool black = (y % 40 < 12 && (x / 7 + y / 3) % 5 < 2 && x % 300 < 250) || x == y || (y > H / 2 && rng() % 19 == 0) ||
                               (y % 97 == 0);
            if (black) p[rb * y + x / 8] |= (uint8_t)(0x80 >> (x % 8));
        }
    return p;
}

class CodecPeers : public ::testing::Test {
protected:
    std::string Path(const char* Name) { return kwposix::PosixPath(FDir.Path()) + "/" + Name; }
    TScratchDir FDir;
};

}  // namespace

// LZW strips written by tiffcp (both fill orders) decode to the picture; ours come back through
// tiffcp's decoder unchanged.
TEST_F(CodecPeers, TIFFLZWBesideLibtiff) {
    if (!HaveTool("tiffcp")) KW_SKIP_UNLESS_CI() << "tiffcp (libtiff-tools) is not installed";
    const uint32_t w = 301, h = 150, rps = 64;
    const Bytes picture = GreyPicture(w, h);
    TMiniTiff plain;
    plain.Width = w; plain.Height = h; plain.RowsPerStrip = rps;
    plain.Strips = SliceStrips(picture, w, h, rps);
    WriteFile(Path("plain.tif"), WriteTiff(plain));
    for (const char* fill : {"msb2lsb", "lsb2msb"}) {
        SCOPED_TRACE(fill);
        ASSERT_EQ(RunTool("tiffcp -c lzw -r 64 -f " + std::string(fill) + " " + Path("plain.tif") + " " + Path("lzw.tif")), 0);
        TMiniTiff t;
        ASSERT_TRUE(ReadTiff(ReadFile(Path("lzw.tif")), t));
        ASSERT_EQ(t.Compression, 5u);
        Bytes got;
        for (size_t s = 0; s < t.Strips.size(); ++s) {
            void* state = nullptr;
            for (uint32_t r = 0; r < StripRows(t, s); ++r) {
                const auto* row = static_cast<const uint8_t*>(
                    IETIFFLZWDecompress(t.Strips[s].data(), (int32_t)t.Strips[s].size(), (int32_t)w, state, (int32_t)t.FillOrder));
                ASSERT_NE(row, nullptr);
                got.insert(got.end(), row, row + w);
            }
            IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
        }
        EXPECT_EQ(got, picture);
    }
    // Ours, one call per row, into tiffcp.
    TMiniTiff ours = plain;
    ours.Compression = 5;
    ours.Strips.clear();
    for (uint32_t y = 0; y < h; y += rps) {
        TMemoryStream s;
        void* state = nullptr;
        for (uint32_t r = y; r < std::min(h, y + rps); ++r) IETIFFLZWCompress(picture.data() + (size_t)r * w, (int32_t)w, &s, state);
        IETIFFLZWCompress(nullptr, 0, &s, state);
        const auto* p = static_cast<const uint8_t*>(s.GetMemory());
        ours.Strips.emplace_back(p, p + s.GetSize());
    }
    WriteFile(Path("ours.tif"), WriteTiff(ours));
    ASSERT_EQ(RunTool("tiffcp -c none -r 1000 " + Path("ours.tif") + " " + Path("back.tif") + " 2>" + Path("err.txt")), 0);
    EXPECT_EQ(ReadFile(Path("err.txt")).size(), 0u) << "libtiff complained";
    TMiniTiff back;
    ASSERT_TRUE(ReadTiff(ReadFile(Path("back.tif")), back));
    ASSERT_EQ(back.Strips.size(), 1u);
    EXPECT_EQ(back.Strips[0], picture);
}

// Fax strips written by tiffcp (Group 3 one- and two-dimensional, with and without byte-aligned
// EOLs, Group 4; both fill orders) decode to the page; ours (Modified Huffman too) come back
// through tiffcp's decoder unchanged.
TEST_F(CodecPeers, CCITTBesideLibtiff) {
    if (!HaveTool("tiffcp")) KW_SKIP_UNLESS_CI() << "tiffcp (libtiff-tools) is not installed";
    const uint32_t w = 1735, h = 90, rps = 40;
    const size_t rb = (w + 7) / 8;
    const Bytes page = BilevelPage(w, h);
    TMiniTiff plain;
    plain.Width = w; plain.Height = h; plain.Bits = 1; plain.Photometric = 0; plain.RowsPerStrip = h;
    plain.Strips.push_back(page);
    WriteFile(Path("page.tif"), WriteTiff(plain));
    struct Case { const char* Option; TCCITTCoding Coding; } cases[] = {
        {"g3:1d", TCCITTCoding::G3}, {"g3:1d:fill", TCCITTCoding::G3}, {"g3:2d", TCCITTCoding::G32D},
        {"g3:2d:fill", TCCITTCoding::G32D}, {"g4", TCCITTCoding::G4}};
    for (const auto& c : cases) {
        for (const char* fill : {"msb2lsb", "lsb2msb"}) {
            SCOPED_TRACE(std::string(c.Option) + " " + fill);
            ASSERT_EQ(RunTool(std::string("tiffcp -c ") + c.Option + " -r 40 -f " + fill + " " + Path("page.tif") + " " + Path("fax.tif")), 0);
            TMiniTiff t;
            ASSERT_TRUE(ReadTiff(ReadFile(Path("fax.tif")), t));
            Bytes got;
            for (size_t s = 0; s < t.Strips.size(); ++s) {
                const Bytes rows = CCITTDecodeStrip(t.Strips[s], (int32_t)w, (int32_t)StripRows(t, s), c.Coding, (int32_t)t.FillOrder);
                got.insert(got.end(), rows.begin(), rows.end());
            }
            EXPECT_EQ(got, page);
        }
    }
    struct Ours { TCCITTCoding Coding; uint32_t Compression, T4Options; } ours[] = {
        {TCCITTCoding::MH, 2, 0}, {TCCITTCoding::G3, 3, 0}, {TCCITTCoding::G32D, 3, 1}, {TCCITTCoding::G4, 4, 0}};
    for (const auto& o : ours) {
        for (int32_t fill : {1, 2}) {
            SCOPED_TRACE(std::to_string(o.Compression) + " fill " + std::to_string(fill));
            TMiniTiff t = plain;
            t.Compression = o.Compression;
            t.T4Options = o.T4Options;
            t.FillOrder = (uint32_t)fill;
            t.RowsPerStrip = rps;
            t.Strips.clear();
            for (uint32_t y = 0; y < h; y += rps) {
                const uint32_t n = std::min(rps, h - y);
                t.Strips.push_back(CCITTEncodeStrip(Bytes(page.begin() + (long)(rb * y), page.begin() + (long)(rb * (y + n))),
                                                    (int32_t)w, (int32_t)n, o.Coding, fill));
            }
            WriteFile(Path("ours.tif"), WriteTiff(t));
            ASSERT_EQ(RunTool("tiffcp -c none -f msb2lsb -r 1000 " + Path("ours.tif") + " " + Path("back.tif") + " 2>" + Path("err.txt")), 0);
            EXPECT_EQ(ReadFile(Path("err.txt")).size(), 0u) << "libtiff complained";
            TMiniTiff back;
            ASSERT_TRUE(ReadTiff(ReadFile(Path("back.tif")), back));
            ASSERT_EQ(back.Strips.size(), 1u);
            EXPECT_EQ(back.Strips[0], page);
        }
    }
}

// Group 4 rows whose horizontal modes code zero-length runs: the next row finds b1 and b2 among
// the reference row's changing elements as libtiff does, zero-length runs included (a search in
// the reference row's pixels, where those runs do not exist, shifts every row after).
TEST_F(CodecPeers, G4ZeroLengthRunsBesideLibtiff) {
    if (!HaveTool("tiffcp")) KW_SKIP_UNLESS_CI() << "tiffcp (libtiff-tools) is not installed";
    // Row 0: H white 5 black 3; H white 0 black 0; H white 8 black 0 (changes 5 8 8 8 16 16).
    // Row 1: pass, V0, V0 (white 8, black 8 as libtiff reads it). Row 2: V0, V0. Row 3: H white 2
    // black 0, V0, V0. Then EOFB.
    const std::string rows[] = {"001 1100 10  001 00110101 0000110111  001 10011 0000110111",
                                "0001 1 1", "1 1", "001 0111 0000110111 1 1"};
    std::string all;
    for (const std::string& r : rows) all += r + " ";
    const uint32_t w = 16, h = 4;
    TMiniTiff t;
    t.Width = w; t.Height = h; t.Bits = 1; t.Photometric = 0; t.Compression = 4; t.RowsPerStrip = h;
    t.Strips.push_back(CCITTBits(all + "000000000001 000000000001"));
    WriteFile(Path("g4.tif"), WriteTiff(t));
    ASSERT_EQ(RunTool("tiffcp -c none " + Path("g4.tif") + " " + Path("plain.tif")), 0);
    TMiniTiff plain;
    ASSERT_TRUE(ReadTiff(ReadFile(Path("plain.tif")), plain));
    ASSERT_EQ(plain.Strips.size(), 1u);
    const Bytes got = CCITTDecodeStrip(t.Strips[0], (int32_t)w, (int32_t)h, TCCITTCoding::G4, 1);
    EXPECT_EQ(got, plain.Strips[0]);
}

namespace {

// The first frame of a GIF file: the global palette and the stream position of its image data.
struct TGifFrame {
    Bytes Palette;
    uint32_t Width = 0, Height = 0;
    bool Interlaced = false;
    size_t DataAt = 0;
};

bool FindFrame(const Bytes& F, TGifFrame& Frame) {
    if (F.size() < 13) return false;
    size_t at = 13;
    if (F[10] & 0x80) {
        const size_t n = 3u << ((F[10] & 7) + 1);
        Frame.Palette.assign(F.begin() + 13, F.begin() + (long)std::min(F.size(), 13 + n));
        at += n;
    }
    while (at < F.size()) {
        if (F[at] == 0x21) {
            at += 2;
            while (at < F.size() && F[at]) at += F[at] + 1u;
            ++at;
        } else if (F[at] == 0x2C && at + 10 <= F.size()) {
            Frame.Width = F[at + 5] | F[at + 6] << 8;
            Frame.Height = F[at + 7] | F[at + 8] << 8;
            const uint8_t flags = F[at + 9];
            Frame.Interlaced = flags & 0x40;
            at += 10;
            if (flags & 0x80) {
                const size_t n = 3u << ((flags & 7) + 1);
                Frame.Palette.assign(F.begin() + (long)at, F.begin() + (long)std::min(F.size(), at + n));
                at += n;
            }
            Frame.DataAt = at;
            return true;
        } else {
            return false;
        }
    }
    return false;
}

// A P5 grey picture of 16 levels.
Bytes GreyLevels(uint32_t W, uint32_t H) {
    std::mt19937 rng(W);
    Bytes p((size_t)W * H);
    for (size_t i = 0; i < p.size(); ++i) p[i] = (uint8_t)((i / W % 9 < 4 ? rng() % 16 : (i % W) / 7 % 16) * 17);
    return p;
}

}  // namespace

// GIF image data from ImageMagick, plain and interlaced, decode to its pixels; ours read back in
// ImageMagick with the same pixels.
TEST_F(CodecPeers, GIFLZWBesideImageMagick) {
    if (!HaveTool("convert")) KW_SKIP_UNLESS_CI() << "ImageMagick's convert is not installed";
    const uint32_t w = 257, h = 119;
    const Bytes grey = GreyLevels(w, h);
    Bytes pgm;
    const std::string head = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    pgm.assign(head.begin(), head.end());
    pgm.insert(pgm.end(), grey.begin(), grey.end());
    WriteFile(Path("in.pgm"), pgm);
    for (const char* interlace : {"none", "GIF"}) {
        SCOPED_TRACE(interlace);
        ASSERT_EQ(RunTool("convert " + Path("in.pgm") + " -interlace " + interlace + " " + Path("im.gif")), 0);
        const Bytes file = ReadFile(Path("im.gif"));
        TGifFrame frame;
        ASSERT_TRUE(FindFrame(file, frame));
        ASSERT_EQ(frame.Width, w);
        EXPECT_EQ(frame.Interlaced, std::string(interlace) == "GIF");
        TMemoryStream s;
        s.WriteBuffer(file.data(), (int32_t)file.size());
        s.SetPosition((int64_t)frame.DataAt);
        Bytes indices((size_t)w * h, 0);
        IEGIFLZWDecompress(&s, (int32_t)h, (int32_t)w, frame.Interlaced, indices.data());
        EXPECT_GT(s.GetPosition(), (int64_t)frame.DataAt);
        Bytes got;
        for (uint8_t i : indices) got.push_back(3u * i < frame.Palette.size() ? frame.Palette[3u * i] : 0);
        EXPECT_EQ(got, grey);
    }
    // Ours: a 256-level grey palette, index = grey level.
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced);
        Bytes gif{'G', 'I', 'F', '8', '9', 'a', (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h, (uint8_t)(h >> 8), 0xF7, 0, 0};
        for (int i = 0; i < 256; ++i) gif.insert(gif.end(), {(uint8_t)i, (uint8_t)i, (uint8_t)i});
        gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, (uint8_t)w, (uint8_t)(w >> 8), (uint8_t)h, (uint8_t)(h >> 8),
                               (uint8_t)(interlaced ? 0x40 : 0)});
        TMemoryStream s;
        IEGIFLZWCompress(&s, (int32_t)h, (int32_t)w, interlaced, const_cast<uint8_t*>(grey.data()), 8);
        const auto* p = static_cast<const uint8_t*>(s.GetMemory());
        gif.insert(gif.end(), p, p + s.GetSize());
        gif.push_back(0x3B);
        WriteFile(Path("ours.gif"), gif);
        ASSERT_EQ(RunTool("convert " + Path("ours.gif") + " -depth 8 gray:" + Path("back.gray")), 0);
        EXPECT_EQ(ReadFile(Path("back.gray")), grey);
    }
}
