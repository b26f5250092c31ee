// Codec benchmark (not a test): our Group 4 and TIFF LZW coders beside libtiff's tiffcp, and our
// GIF LZW coder beside giflib, in the same run, on a 300 dpi A4 bilevel page (2480 x 3508) and a
// 6000 x 4000 photo (its 72 MB of RGB bytes as TIFF rows of one sample; quantized to 256 colours
// for GIF). The pictures are made in memory; tiffcp's files go to a temporary folder that is
// removed at the end.
//
// tiffcp's coding time is its run on the coded file less its run on the uncompressed one (both
// read and write the same pixels); each figure is the best of three runs. The last lines are
// "ratio NAME: X.XX", our time divided by the peer's.
//
//   bench_codecs            (built by the native build, optimised and without sanitizers)
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Classes.h"
#include "giflzw.h"
#include "picturaproc_hooks.h"
#include "tests/imaging_codecs/CCITTDriver.h"
#include "tests/imaging_codecs/MiniTiff.h"
#include "tiflzw.h"

namespace {

using Bytes = std::vector<uint8_t>;

double BestOf3(const std::function<void()>& Work) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        Work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

bool Save(const std::string& Name, const Bytes& B) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(B.data(), 1, B.size(), f) == B.size();
    return std::fclose(f) == 0 && ok;
}

double TimeCommand(const std::string& Command) {
    int status = 0;
    const double t = BestOf3([&] { status |= std::system(("timeout 300 " + Command).c_str()); });
    if (status != 0) {
        std::fprintf(stderr, "failed: %s\n", Command.c_str());
        std::exit(1);
    }
    return t;
}

// tiffcp's times for coding Plain as Coded (Option its -c argument) and decoding it again: its
// runs on the two files less its run on the uncompressed one. The two files are removed after.
void PeerTimes(const std::string& Dir, const std::string& Stem, const TMiniTiff& Plain, const TMiniTiff& Coded,
               const std::string& Option, double& Encode, double& Decode) {
    const std::string plain = Dir + "/" + Stem + ".tif", coded = Dir + "/" + Stem + "-" + Option + ".tif",
                      out = Dir + "/o.tif", rows = " -r " + std::to_string(Plain.RowsPerStrip) + " ";
    if (!Save(plain, WriteTiff(Plain)) || !Save(coded, WriteTiff(Coded))) {
        std::fprintf(stderr, "cannot write into %s\n", Dir.c_str());
        std::exit(1);
    }
    const double copy = TimeCommand("tiffcp -c none" + rows + plain + " " + out);
    Encode = TimeCommand("tiffcp -c " + Option + rows + plain + " " + out) - copy;
    Decode = TimeCommand("tiffcp -c none" + rows + coded + " " + out) - copy;
    std::remove(plain.c_str());
    std::remove(coded.c_str());
}

Bytes Page(uint32_t W, uint32_t H) {
    std::mt19937 rng(7);
    const size_t rb = (W + 7) / 8;
    Bytes p(rb * H, 0);
    for (uint32_t y = 150; y + 150 < H; ++y) {
        if (y % 50 >= 30) continue;   // lines of "text" with gaps
        for (uint32_t x = 150; x + 150 < W; ++x) {
            const uint32_t glyph = (x / 24) * 7919 + (y / 50) * 104729;
            if ((glyph >> 3) % 9 == 0) continue;   // word gaps
            const uint32_t gx = x % 24, gy = y % 50;
            const bool ink = gx > 2 && gx < 20 && ((glyph >> (gx / 4 + gy / 6)) & 1) && (gx + gy + glyph) % 5 != 0;
            if (ink) p[rb * y + x / 8] |= (uint8_t)(0x80 >> (x % 8));
        }
    }
    return p;
}

Bytes Photo(uint32_t W, uint32_t H) {
    std::mt19937 rng(11);
    Bytes p((size_t)W * H * 3);
    size_t i = 0;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = (int)((x * (c + 1) / 30 + y / 20 + (x / 400) * (y / 300) * 13) % 256) + (int)(rng() % 7) - 3;
                p[i++] = (uint8_t)std::clamp(v, 0, 255);
            }
    return p;
}

struct TRow {
    const char* Name;
    double Ours, Peer;
};

struct TGifBuffer {
    Bytes Data;
    size_t Read = 0;
};

int GifWrite(GifFileType* Gif, const GifByteType* B, int N) {
    auto* buffer = static_cast<TGifBuffer*>(Gif->UserData);
    buffer->Data.insert(buffer->Data.end(), B, B + N);
    return N;
}

int GifRead(GifFileType* Gif, GifByteType* B, int N) {
    auto* buffer = static_cast<TGifBuffer*>(Gif->UserData);
    const size_t n = std::min((size_t)N, buffer->Data.size() - buffer->Read);
    std::memcpy(B, buffer->Data.data() + buffer->Read, n);
    buffer->Read += n;
    return (int)n;
}

}  // namespace

// The program links the sanitizer run-time of the libraries it uses (the stream classes); its
// allocator must not quarantine or fill the codecs' per-strip blocks, which the product's plain
// allocator reuses.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0:max_malloc_fill_size=0:detect_leaks=0";
}

int main() {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    char folderTemplate[] = "/tmp/bench_codecs_XXXXXX";
    if (!mkdtemp(folderTemplate)) return 1;
    const std::string dir = folderTemplate;
    std::vector<TRow> rows;

    // ---- Group 4, one strip of 128 rows after another ----
    const uint32_t pw = 2480, ph = 3508, prs = 128;
    const size_t prb = (pw + 7) / 8;
    const Bytes page = Page(pw, ph);
    TMiniTiff g4;
    g4.Width = pw;
    g4.Height = ph;
    g4.Bits = 1;
    g4.Photometric = 0;
    g4.RowsPerStrip = prs;
    g4.Compression = 4;
    const double g4Encode = BestOf3([&] {
        g4.Strips.clear();
        for (uint32_t y = 0; y < ph; y += prs) {
            const uint32_t n = std::min(prs, ph - y);
            g4.Strips.push_back(CCITTEncodeStrip(Bytes(page.begin() + (long)(prb * y), page.begin() + (long)(prb * (y + n))),
                                                 (int32_t)pw, (int32_t)n, TCCITTCoding::G4, 1));
        }
    });
    Bytes decoded;
    const double g4Decode = BestOf3([&] {
        decoded.clear();
        for (size_t s = 0; s < g4.Strips.size(); ++s) {
            const uint32_t n = std::min(prs, ph - (uint32_t)s * prs);
            const Bytes r = CCITTDecodeStrip(g4.Strips[s], (int32_t)pw, (int32_t)n, TCCITTCoding::G4, 1);
            decoded.insert(decoded.end(), r.begin(), r.end());
        }
    });
    if (decoded != page) std::fprintf(stderr, "G4 round trip differs\n");
    TMiniTiff plainPage = g4;
    plainPage.Compression = 1;
    plainPage.Strips = SliceStrips(page, prb, ph, prs);
    double tiffG4Encode, tiffG4Decode;
    PeerTimes(dir, "page", plainPage, g4, "g4", tiffG4Encode, tiffG4Decode);
    rows.push_back({"g4_encode_a4", g4Encode, tiffG4Encode});
    rows.push_back({"g4_decode_a4", g4Decode, tiffG4Decode});

    // ---- TIFF LZW on the photo's bytes, strips of 4 rows of 18000 bytes ----
    const uint32_t fw = 6000, fh = 4000, lrs = 4, lrb = fw * 3;
    const Bytes photo = Photo(fw, fh);
    TMiniTiff lzw;
    lzw.Width = lrb;
    lzw.Height = fh;
    lzw.RowsPerStrip = lrs;
    lzw.Compression = 5;
    // One output stream, sized once, for every strip (the coded bytes are its first Position bytes).
    TMemoryStream strip;
    strip.SetSize((int64_t)lrb * lrs * 2);
    const double lzwEncode = BestOf3([&] {
        lzw.Strips.clear();
        lzw.Strips.reserve(fh / lrs + 1);
        for (uint32_t y = 0; y < fh; y += lrs) {
            strip.SetPosition(0);
            void* state = nullptr;
            for (uint32_t k = y; k < std::min(fh, y + lrs); ++k) IETIFFLZWCompress(photo.data() + (size_t)k * lrb, (int32_t)lrb, &strip, state);
            IETIFFLZWCompress(nullptr, 0, &strip, state);
            const auto* p = static_cast<const uint8_t*>(strip.GetMemory());
            lzw.Strips.emplace_back(p, p + strip.GetPosition());
        }
    });
    // Rows are copied out as a reader would; the comparison comes after the timing.
    Bytes lzwBack(photo.size());
    const double lzwDecode = BestOf3([&] {
        size_t at = 0;
        for (const Bytes& strip : lzw.Strips) {
            void* state = nullptr;
            for (uint32_t k = 0; k < lrs && at < photo.size(); ++k, at += lrb) {
                const auto* row = static_cast<const uint8_t*>(IETIFFLZWDecompress(strip.data(), (int32_t)strip.size(), (int32_t)lrb, state, 1));
                if (row) std::memcpy(lzwBack.data() + at, row, lrb);
            }
            IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
        }
    });
    const bool same = lzwBack == photo;
    if (!same) std::fprintf(stderr, "LZW round trip differs\n");
    TMiniTiff plainPhoto = lzw;
    plainPhoto.Compression = 1;
    plainPhoto.Strips = SliceStrips(photo, lrb, fh, lrs);
    double tiffLzwEncode, tiffLzwDecode;
    PeerTimes(dir, "photo", plainPhoto, lzw, "lzw", tiffLzwEncode, tiffLzwDecode);
    rows.push_back({"tifflzw_encode_photo", lzwEncode, tiffLzwEncode});
    rows.push_back({"tifflzw_decode_photo", lzwDecode, tiffLzwDecode});
    std::remove((dir + "/o.tif").c_str());
    rmdir(dir.c_str());

    // ---- GIF LZW on the photo quantized to 256 colours ----
    Bytes indices((size_t)fw * fh);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = (uint8_t)((photo[3 * i] & 0xE0) | (photo[3 * i + 1] & 0xE0) >> 3 | photo[3 * i + 2] >> 6);
    TMemoryStream gifOurs;
    gifOurs.SetSize((int64_t)indices.size() * 2);
    const double gifEncode = BestOf3([&] {
        gifOurs.SetPosition(0);
        IEGIFLZWCompress(&gifOurs, (int32_t)fh, (int32_t)fw, false, indices.data(), 8);
    });
    gifOurs.SetSize(gifOurs.GetPosition());
    Bytes back(indices.size());
    const double gifDecode = BestOf3([&] {
        gifOurs.SetPosition(0);
        IEGIFLZWDecompress(&gifOurs, (int32_t)fh, (int32_t)fw, false, back.data());
    });
    if (back != indices) std::fprintf(stderr, "GIF round trip differs\n");
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = {(GifByteType)i, (GifByteType)i, (GifByteType)i};
    TGifBuffer gifPeer;
    const double giflibEncode = BestOf3([&] {
        gifPeer.Data.clear();
        gifPeer.Data.reserve(indices.size() * 2);
        int error = 0;
        GifFileType* gif = EGifOpen(&gifPeer, GifWrite, &error);
        ColorMapObject* map = GifMakeMapObject(256, colours);
        EGifPutScreenDesc(gif, (int)fw, (int)fh, 8, 0, map);
        EGifPutImageDesc(gif, 0, 0, (int)fw, (int)fh, false, nullptr);
        for (uint32_t y = 0; y < fh; ++y) EGifPutLine(gif, indices.data() + (size_t)y * fw, (int)fw);
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
    });
    const double giflibDecode = BestOf3([&] {
        gifPeer.Read = 0;
        int error = 0;
        GifFileType* gif = DGifOpen(&gifPeer, GifRead, &error);
        GifRecordType type;
        while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
            if (type == IMAGE_DESC_RECORD_TYPE) {
                DGifGetImageDesc(gif);
                for (uint32_t y = 0; y < fh; ++y) DGifGetLine(gif, back.data() + (size_t)y * fw, (int)fw);
                break;
            }
        }
        DGifCloseFile(gif, &error);
    });
    if (back != indices) std::fprintf(stderr, "giflib's round trip differs\n");
    rows.push_back({"giflzw_encode_photo", gifEncode, giflibEncode});
    rows.push_back({"giflzw_decode_photo", gifDecode, giflibDecode});

    // A peer time within the noise of tiffcp's uncompressed run gives no ratio.
    std::printf("%-24s %10s %10s %8s\n", "coding", "ours s", "peer s", "ratio");
    for (const TRow& row : rows) {
        if (row.Peer > 0.005) std::printf("%-24s %10.3f %10.3f %8.2f\n", row.Name, row.Ours, row.Peer, row.Ours / row.Peer);
        else std::printf("%-24s %10.3f %10s %8s\n", row.Name, row.Ours, "(noise)", "-");
    }
    std::printf("peers: tiffcp (its coded run less its uncompressed run) for g4 and tifflzw, giflib for giflzw\n");
    for (const TRow& row : rows)
        if (row.Peer > 0.005) std::printf("ratio %s: %.2f\n", row.Name, row.Ours / row.Peer);
    return 0;
}
