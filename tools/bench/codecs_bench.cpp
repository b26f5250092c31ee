// Codec benchmark (not a test): our Group 4 and TIFF LZW coders beside libtiff's, and our GIF LZW
// coder beside giflib, in the same process and the same run, on a 300 dpi A4 bilevel page
// (2480 x 3508) and a 6000 x 4000 photo (its 72 MB of RGB bytes as TIFF rows of one sample;
// quantized to 256 colours for GIF). Everything stays in memory: libtiff writes and reads its files
// through TIFFClientOpen on a memory buffer, one strip at a time as ours.
//
// Ours and the peer take turns; each figure is the median of 5 runs, a run repeating the work
// until it has lasted 100 ms. The last lines are "ratio NAME: X.XX", our time divided by the peer's.
//
//   bench_codecs            (built by the native build, optimised and without sanitizers)
#include <gif_lib.h>
#include <tiffio.h>

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

using TWork = std::function<void()>;

// A row of the table: our time and the peer's, in seconds.
struct TPair {
    const char* Name;
    double Ours = 0, Peer = 0;
};

// Seconds of one Work, the run repeating it until 100 ms have passed.
double RunSeconds(const TWork& Work) {
    const auto t0 = std::chrono::steady_clock::now();
    int n = 0;
    double elapsed;
    do {
        Work();
        ++n;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    } while (elapsed < 0.1);
    return elapsed / n;
}

double Median(std::vector<double> V) {
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

// The median times of Ours and Peer, run in turns so that both meet the same load.
void TimePair(const TWork& Ours, const TWork& Peer, double& OursSeconds, double& PeerSeconds) {
    std::vector<double> ours, peer;
    for (int i = 0; i < 5; ++i) {
        ours.push_back(RunSeconds(Ours));
        peer.push_back(RunSeconds(Peer));
    }
    OursSeconds = Median(ours);
    PeerSeconds = Median(peer);
}

// A TIFF file in memory for libtiff's client procedures.
struct TMemoryTiff {
    Bytes Data;
    uint64_t Position = 0;
};

tmsize_t MemRead(thandle_t H, void* B, tmsize_t N) {
    auto* f = static_cast<TMemoryTiff*>(H);
    const uint64_t n = f->Position >= f->Data.size() ? 0 : std::min<uint64_t>((uint64_t)N, f->Data.size() - f->Position);
    std::memcpy(B, f->Data.data() + f->Position, (size_t)n);
    f->Position += n;
    return (tmsize_t)n;
}
tmsize_t MemWrite(thandle_t H, void* B, tmsize_t N) {
    auto* f = static_cast<TMemoryTiff*>(H);
    if (f->Position + (uint64_t)N > f->Data.size()) f->Data.resize((size_t)(f->Position + (uint64_t)N));
    std::memcpy(f->Data.data() + f->Position, B, (size_t)N);
    f->Position += (uint64_t)N;
    return N;
}
toff_t MemSeek(thandle_t H, toff_t Offset, int Whence) {
    auto* f = static_cast<TMemoryTiff*>(H);
    const uint64_t base = Whence == SEEK_CUR ? f->Position : Whence == SEEK_END ? f->Data.size() : 0;
    f->Position = base + Offset;
    return f->Position;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t H) { return static_cast<TMemoryTiff*>(H)->Data.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

TIFF* OpenMemoryTiff(TMemoryTiff& File, const char* Mode) {
    File.Position = 0;
    return TIFFClientOpen("memory", Mode, &File, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
}

// libtiff's coding of Plain's strips as Compression (into Out) and its decoding of Coded's strips
// (our file, into Rows), each the way a program would call it: one strip at a time.
void PeerEncode(const TMiniTiff& Plain, uint16_t Compression, TMemoryTiff& Out) {
    Out.Data.clear();
    TIFF* t = OpenMemoryTiff(Out, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, Plain.Width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, Plain.Height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, Plain.Bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, Plain.Photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, Plain.RowsPerStrip);
    TIFFSetField(t, TIFFTAG_COMPRESSION, Compression);
    for (size_t s = 0; s < Plain.Strips.size(); ++s)
        TIFFWriteEncodedStrip(t, (uint32_t)s, const_cast<uint8_t*>(Plain.Strips[s].data()), (tmsize_t)Plain.Strips[s].size());
    TIFFClose(t);
}

void PeerDecode(TMemoryTiff& Coded, Bytes& Rows) {
    TIFF* t = OpenMemoryTiff(Coded, "r");
    const tmsize_t stripSize = TIFFStripSize(t);
    size_t at = 0;
    for (uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(t, s, Rows.data() + at, std::min<tmsize_t>(stripSize, (tmsize_t)(Rows.size() - at)));
        if (n > 0) at += (size_t)n;
    }
    TIFFClose(t);
}

// Our coding (Encode, which made Coded's strips from Pixels) and decoding of Coded beside libtiff's
// coding of the same rows as Compression and its decoding of our file, after a check that libtiff
// reads our strips back to Pixels.
void BesideLibtiff(const char* EncodeName, const char* DecodeName, const Bytes& Pixels, size_t RowBytes, const TMiniTiff& Coded,
                   uint16_t Compression, const TWork& Encode, const TWork& Decode, std::vector<TPair>& Rows) {
    TMiniTiff plain = Coded;
    plain.Compression = 1;
    plain.Strips = SliceStrips(Pixels, RowBytes, Coded.Height, Coded.RowsPerStrip);
    TMemoryTiff peerFile, ourFile;
    ourFile.Data = WriteTiff(Coded);
    Bytes peerPixels(Pixels.size());
    PeerDecode(ourFile, peerPixels);
    if (peerPixels != Pixels) std::fprintf(stderr, "libtiff reads our strips for %s differently\n", DecodeName);
    TPair encodeRow{EncodeName}, decodeRow{DecodeName};
    TimePair(Encode, [&] { PeerEncode(plain, Compression, peerFile); }, encodeRow.Ours, encodeRow.Peer);
    TimePair(Decode, [&] { PeerDecode(ourFile, peerPixels); }, decodeRow.Ours, decodeRow.Peer);
    Rows.push_back(encodeRow);
    Rows.push_back(decodeRow);
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
    TIFFSetWarningHandler(nullptr);
    std::vector<TPair> rows;

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
    const TWork g4Encode = [&] {
        g4.Strips.clear();
        for (uint32_t y = 0; y < ph; y += prs) {
            const uint32_t n = std::min(prs, ph - y);
            g4.Strips.push_back(CCITTEncodeStrip(Bytes(page.begin() + (long)(prb * y), page.begin() + (long)(prb * (y + n))),
                                                 (int32_t)pw, (int32_t)n, TCCITTCoding::G4, 1));
        }
    };
    g4Encode();
    Bytes decoded;
    const TWork g4Decode = [&] {
        decoded.clear();
        for (size_t s = 0; s < g4.Strips.size(); ++s) {
            const uint32_t n = std::min(prs, ph - (uint32_t)s * prs);
            const Bytes r = CCITTDecodeStrip(g4.Strips[s], (int32_t)pw, (int32_t)n, TCCITTCoding::G4, 1);
            decoded.insert(decoded.end(), r.begin(), r.end());
        }
    };
    g4Decode();
    if (decoded != page) std::fprintf(stderr, "G4 round trip differs\n");
    BesideLibtiff("g4_encode_a4", "g4_decode_a4", page, prb, g4, COMPRESSION_CCITTFAX4, g4Encode, g4Decode, rows);

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
    const TWork lzwEncode = [&] {
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
    };
    lzwEncode();
    // Rows are copied out as a reader would; the comparison comes after the timing.
    Bytes lzwBack(photo.size());
    const TWork lzwDecode = [&] {
        size_t at = 0;
        for (const Bytes& strip : lzw.Strips) {
            void* state = nullptr;
            for (uint32_t k = 0; k < lrs && at < photo.size(); ++k, at += lrb) {
                const auto* row = static_cast<const uint8_t*>(IETIFFLZWDecompress(strip.data(), (int32_t)strip.size(), (int32_t)lrb, state, 1));
                if (row) std::memcpy(lzwBack.data() + at, row, lrb);
            }
            IETIFFLZWDecompress(nullptr, 0, 0, state, 1);
        }
    };
    lzwDecode();
    if (lzwBack != photo) std::fprintf(stderr, "LZW round trip differs\n");
    BesideLibtiff("tifflzw_encode_photo", "tifflzw_decode_photo", photo, lrb, lzw, COMPRESSION_LZW, lzwEncode, lzwDecode, rows);

    // ---- GIF LZW on the photo quantized to 256 colours ----
    Bytes indices((size_t)fw * fh);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = (uint8_t)((photo[3 * i] & 0xE0) | (photo[3 * i + 1] & 0xE0) >> 3 | photo[3 * i + 2] >> 6);
    TMemoryStream gifOurs;
    gifOurs.SetSize((int64_t)indices.size() * 2);
    const TWork gifEncode = [&] {
        gifOurs.SetPosition(0);
        IEGIFLZWCompress(&gifOurs, (int32_t)fh, (int32_t)fw, false, indices.data(), 8);
    };
    gifEncode();
    gifOurs.SetSize(gifOurs.GetPosition());
    Bytes back(indices.size());
    const TWork gifDecode = [&] {
        gifOurs.SetPosition(0);
        IEGIFLZWDecompress(&gifOurs, (int32_t)fh, (int32_t)fw, false, back.data());
    };
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = {(GifByteType)i, (GifByteType)i, (GifByteType)i};
    TGifBuffer gifPeer;
    const TWork giflibEncode = [&] {
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
    };
    giflibEncode();
    const TWork giflibDecode = [&] {
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
    };
    giflibDecode();
    if (back != indices) std::fprintf(stderr, "giflib's round trip differs\n");
    std::fill(back.begin(), back.end(), 0);
    gifDecode();
    if (back != indices) std::fprintf(stderr, "GIF round trip differs\n");
    TPair gifEncodeRow{"giflzw_encode_photo"}, gifDecodeRow{"giflzw_decode_photo"};
    TimePair(gifEncode, giflibEncode, gifEncodeRow.Ours, gifEncodeRow.Peer);
    TimePair(gifDecode, giflibDecode, gifDecodeRow.Ours, gifDecodeRow.Peer);
    rows.push_back(gifEncodeRow);
    rows.push_back(gifDecodeRow);

    std::printf("%-24s %10s %10s %8s\n", "coding", "ours s", "peer s", "ratio");
    for (const TPair& row : rows) std::printf("%-24s %10.4f %10.4f %8.2f\n", row.Name, row.Ours, row.Peer, row.Ours / row.Peer);
    std::printf("peers in the same process, taking turns with ours: libtiff for g4 and tifflzw, giflib for giflzw\n");
    for (const TPair& row : rows) std::printf("ratio %s: %.2f\n", row.Name, row.Ours / row.Peer);
    return 0;
}
