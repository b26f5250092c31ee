#include "pngfilt.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "codecs_common.h"
#include "pngfilt_glue.h"
#include "iebitmap.h"
#include "iecoredefs_settings.h"

namespace {

// What the read callback needs: the stream. libpng's error pointer is the abort flag.
void ReadData(png_structp Png, png_bytep Data, size_t Length) {
    auto* stream = static_cast<TStream*>(png_get_io_ptr(Png));
    int32_t got = 0;
    try {
        got = Length <= 0x7FFFFFFF ? stream->Read(Data, (int32_t)Length) : 0;
    } catch (...) {
        got = -1;
    }
    // A stream cut short ends the read like a library error.
    if (got < 0 || (size_t)got != Length) png_error(Png, "Read error");
}

void ErrorCallback(png_structp Png, png_const_charp) {
    auto* abort = static_cast<std::atomic<bool>*>(png_get_error_ptr(Png));
    if (abort) abort->store(true);
    png_longjmp(Png, 1);
}


// libpng's memory for one read: no block larger than Limit (the bytes the stream has left, or
// 64 MB, room for the rows of any image this library can hold). With benign errors as warnings
// libpng only warns about a chunk longer than the stream and then allocates its declared length;
// refused here, the chunk is skipped or the read fails, as for any allocation that fails.
struct TPngMemory {
    png_alloc_size_t Limit;
};

png_voidp LimitedMalloc(png_structp Png, png_alloc_size_t Size) {
    const auto* m = static_cast<const TPngMemory*>(png_get_mem_ptr(Png));
    if (m && Size > m->Limit) return nullptr;
    return std::malloc(Size);
}

void LimitedFree(png_structp, png_voidp Block) { std::free(Block); }

// The text chunks are read here rather than by libpng, so that their total is bounded: a zTXt or
// iTXt chunk inflates to any size, and a small file of many of them would hold gigabytes. A text
// longer than kMaxText (or damaged) is dropped; texts are kept while their total stays within
// kMaxTextTotal bytes, and from the first that does not fit on, every text is dropped.
constexpr size_t kMaxText = 1 << 20;
constexpr size_t kMaxTextTotal = 8 << 20;

struct TPngText {
    std::string Key, Text;
    bool Utf8 = false;
};

struct TPngTexts {
    std::vector<TPngText> Items;
    size_t Total = 0;
    bool Full = false;
};

// Inflates Size bytes into Out, up to Limit bytes; false when the data is damaged or inflates to
// more (TooLong).
bool InflateText(const uint8_t* Data, size_t Size, size_t Limit, std::string& Out, bool& TooLong) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(Data);
    z.avail_in = (uInt)Size;
    int rc = Z_OK;
    uint8_t chunk[16384];
    while (rc == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = sizeof chunk - z.avail_out;
        TooLong = Out.size() + got > Limit;
        if (TooLong) rc = Z_MEM_ERROR;
        else Out.append((const char*)chunk, got);
        if (rc == Z_BUF_ERROR && got == 0) break;   // the data ended without the stream's end
        if (rc == Z_BUF_ERROR) rc = Z_OK;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// Adds one tEXt, zTXt or iTXt chunk to Texts (keyword, then the text, inflated where compressed).
void KeepTextChunk(TPngTexts& Texts, const png_unknown_chunk& Chunk) {
    const std::string name((const char*)Chunk.name, 4);
    const uint8_t* data = Chunk.data;
    const size_t size = Chunk.size;
    const uint8_t* keyEnd = data ? (const uint8_t*)std::memchr(data, 0, std::min<size_t>(size, 80)) : nullptr;
    if (Texts.Full || !keyEnd || keyEnd == data) return;
    TPngText t;
    t.Key.assign((const char*)data, (size_t)(keyEnd - data));
    const uint8_t* p = keyEnd + 1;
    const uint8_t* end = data + size;
    bool compressed = false;
    if (name == "zTXt") {
        if (p >= end || *p != 0) return;   // only deflate is defined
        ++p;
        compressed = true;
    } else if (name == "iTXt") {
        if (end - p < 2 || p[1] != 0) return;
        compressed = p[0] != 0;
        p += 2;
        for (int i = 0; i < 2; ++i) {   // the language tag and the translated keyword
            const uint8_t* z = (const uint8_t*)std::memchr(p, 0, (size_t)(end - p));
            if (!z) return;
            p = z + 1;
        }
        t.Utf8 = true;
    }
    const size_t left = kMaxTextTotal - Texts.Total;
    const size_t limit = std::min(kMaxText, left);
    bool tooLong = !compressed && (size_t)(end - p) > limit;
    if (tooLong || (compressed && !InflateText(p, (size_t)(end - p), limit, t.Text, tooLong))) {
        if (tooLong && limit == left) Texts.Full = true;   // beyond what the total has left
        return;
    }
    if (!compressed) t.Text.assign((const char*)p, (size_t)(end - p));
    Texts.Total += std::min(left, t.Text.size() + t.Key.size());
    Texts.Items.push_back(std::move(t));
}

// libpng's callback for the chunks it passes on unread: the text chunks go to the reader's list.
// Each is reported handled, so that libpng keeps nothing of them.
int ReadTextChunk(png_structp Png, png_unknown_chunkp Chunk) {
    auto* texts = static_cast<TPngTexts*>(png_get_user_chunk_ptr(Png));
    try {
        if (texts && Chunk) KeepTextChunk(*texts, *Chunk);
    } catch (...) {
        // Memory for a text that could not be had: the text is dropped; nothing leaves into libpng.
    }
    return 1;
}

// Frees libpng's structures on every exit.
struct TPngReadGuard {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngReadGuard() {
        if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
    }
};

// An 8-bit value of a bKGD sample of the given depth.
uint8_t BackgroundSample(uint16_t Value, int32_t Depth) {
    if (Depth == 16) return (uint8_t)(Value >> 8);
    if (Depth >= 8) return (uint8_t)Value;
    const uint32_t max = (1u << Depth) - 1;
    return (uint8_t)(std::min<uint32_t>(Value, max) * 255 / max);
}

// Progress over all passes: the event fires when the truncated per cent changes.
class TPassProgress {
public:
    TPassProgress(TIOProgressRecord& Progress, int64_t Rows) : FProgress(Progress), FFactor(Rows > 0 ? 100.0 / Rows : 0) {}
    void Row() {
        ++FCount;
        const int32_t percent = (int32_t)(FCount * FFactor);
        if (percent != FLast && FProgress.OnProgress) FProgress.OnProgress(FProgress.Sender, percent);
        FLast = percent;
    }

private:
    TIOProgressRecord& FProgress;
    double FFactor;
    int64_t FCount = 0;
    int32_t FLast = -1;
};

}  // namespace

bool IEIsPNG(TStream& Stream) {
    uint8_t sig[8] = {};
    const int64_t pos = Stream.GetPosition();
    const int32_t got = Stream.Read(sig, 8);
    Stream.SetPosition(pos);
    return got >= 4 && png_sig_cmp(sig, 0, 4) == 0;
}

void IEReadPNGStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool Preview) {
    // libpng's error pointer: the record's flag, or a flag of our own when the record has none.
    std::atomic<bool> ownAbort{false};
    std::atomic<bool>* abortFlag = Progress.Aborting ? Progress.Aborting : &ownAbort;
    TPngReadGuard g;
    const int64_t left = Stream.GetSize() - Stream.GetPosition();
    const int64_t leftOrMax = std::min<int64_t>(left, 0x7FFFFFFF);
    TPngMemory memory{(png_alloc_size_t)std::max<int64_t>(leftOrMax, 64 << 20)};
    g.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, abortFlag, ErrorCallback, IEPngIgnoreWarning, &memory,
                                     LimitedMalloc, LimitedFree);
    if (g.Png) g.Info = png_create_info_struct(g.Png);
    if (!g.Png || !g.Info) {
        IEAbort(Progress);
        return;
    }
    png_set_read_fn(g.Png, &Stream, ReadData);
    // libpng's benign errors (bytes after the image's zlib stream, a damaged ancillary chunk) stay
    // warnings, as every other reader has them; chunks longer than the stream has left (or 8 MB,
    // for decompressed texts) are kept from allocating by libpng's own limit and, where libpng
    // only warns, by the allocator above. The chunks this reader has no use for are passed over
    // unread.
    png_set_chunk_malloc_max(g.Png, (png_alloc_size_t)std::max<int64_t>(leftOrMax, 8 << 20));
    png_set_chunk_cache_max(g.Png, 128);
    png_set_benign_errors(g.Png, 1);
    static const png_byte kUnused[] = "cHRM\0gAMA\0iCCP\0sRGB\0sBIT\0hIST\0sPLT\0tIME\0pCAL\0sCAL\0oFFs\0sTER\0eXIf";
    png_set_keep_unknown_chunks(g.Png, PNG_HANDLE_CHUNK_NEVER, kUnused, (int)(sizeof kUnused / 5));
    TPngTexts pngTexts;
    static const png_byte kTexts[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(g.Png, PNG_HANDLE_CHUNK_ALWAYS, kTexts, 3);
    png_set_read_user_chunk_fn(g.Png, &pngTexts, ReadTextChunk);
    png_structp png = g.Png;
    png_infop info = g.Info;

    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_color_16p background = nullptr;
    bool ok = IEPngTry(png, [&] {
        png_read_info(png, info);
        png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
        if (!png_get_bKGD(png, info, &background)) background = nullptr;
    });
    if (!ok) return;

    if (background) {
        const int32_t d = colorType == PNG_COLOR_TYPE_PALETTE ? 8 : depth;
        IOParams.PNGBackground.r = BackgroundSample(background->red, d);
        IOParams.PNGBackground.g = BackgroundSample(background->green, d);
        IOParams.PNGBackground.b = BackgroundSample(background->blue, d);
    }

    const bool palette = colorType == PNG_COLOR_TYPE_PALETTE;
    const bool grey = colorType == PNG_COLOR_TYPE_GRAY;
    const bool native = IOParams.NativePixelFormat && (depth == 8 || depth == 16) && (grey || palette);
    // 1-bit images with transparency go through the expansion to colour and alpha as well.
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    int passes = 1;
    ok = IEPngTry(png, [&] {
        if (native) {
            if (depth == 16) png_set_swap(png);
        } else if (depth > 1 || transparent) {
            if ((palette && depth <= 8) || (grey && depth < 8)) png_set_expand(png);
            if (depth == 16) png_set_strip_16(png);
            if (depth < 8) png_set_packing(png);
            if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
            png_set_bgr(png);
            if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        }
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
    });
    if (!ok) return;

    IOParams.Width = IOParams.OriginalWidth = (int32_t)width;
    IOParams.Height = IOParams.OriginalHeight = (int32_t)height;
    IOParams.BitsPerSample = depth;
    // The file's samples, before any transformation.
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY_ALPHA: IOParams.SamplesPerPixel = 2; break;
        case PNG_COLOR_TYPE_RGB: IOParams.SamplesPerPixel = 3; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: IOParams.SamplesPerPixel = 4; break;
        default: IOParams.SamplesPerPixel = 1; break;
    }
    IOParams.SetImageCount(1);
    const png_uint_32 ppmX = png_get_x_pixels_per_meter(png, info), ppmY = png_get_y_pixels_per_meter(png, info);
    IOParams.SetDpiX(ppmX ? (int32_t)std::nearbyint(ppmX * 0.0254L) : IEDefaultDPIX);
    IOParams.SetDpiY(ppmY ? (int32_t)std::nearbyint(ppmY * 0.0254L) : IEDefaultDPIY);
    IOParams.FreeColorMap();
    png_colorp plte = nullptr;
    int plteCount = 0;
    if (palette && png_get_PLTE(png, info, &plte, &plteCount) && plteCount > 0) {
        IOParams.ColorMap = std::make_unique<TIERGB[]>((size_t)plteCount);
        IOParams.ColorMapCount = plteCount;
        for (int i = 0; i < plteCount; ++i) IOParams.ColorMap[(size_t)i] = {plte[i].blue, plte[i].green, plte[i].red};
    }
    IOParams.PNGInterlaced = interlace == PNG_INTERLACE_ADAM7;
    IOParams.PNGTextKeys->Clear();
    IOParams.PNGTextValues->Clear();
    for (const TPngText& t : pngTexts.Items) {
        // iTXt chunks hold UTF-8; tEXt and zTXt the file's own (ANSI) code page.
        IOParams.PNGTextKeys->Add(AnsiToWide(t.Key));
        IOParams.PNGTextValues->Add(t.Utf8 ? Utf8ToWide(t.Text) : AnsiToWide(t.Text));
    }
    if (Preview) return;
    if (!IEImageSizeAccepted(width, height, Progress)) return;

    // The layout libpng delivers now, and where it goes.
    const size_t rowBytes = png_get_rowbytes(png, info);
    const int channels = png_get_channels(png, info);
    const int outDepth = png_get_bit_depth(png, info);
    TIEPixelFormat format;
    if (depth == 1 && grey && !transparent)
        format = ie1g;
    else if (native)
        format = palette ? ie8p : (depth == 8 ? ie8g : ie16g);
    else
        format = ie24RGB;
    const bool rgba = format == ie24RGB && channels == 4 && outDepth == 8;
    const bool packedPalette = format == ie24RGB && palette && depth == 1 && !transparent;
    if (!Bitmap->Allocate((int32_t)width, (int32_t)height, format)) {
        IEAbort(Progress);
        return;
    }
    if (format == ie8p) {
        for (int i = 0; i < std::min(plteCount, 256); ++i) Bitmap->SetPaletteEntry(i, IOParams.ColorMap[(size_t)i]);
        Bitmap->PaletteColors = 1 << depth;
    }
    // Rows go straight into the scanlines only when libpng's row fits them exactly as the format
    // lays them out; anything else is a layout this reader does not know, and is refused.
    const size_t lineBytes = ((size_t)width * (size_t)Bitmap->GetBitCount() + 7) / 8;
    if (!rgba && !packedPalette && rowBytes != lineBytes) {
        IEAbort(Progress);
        return;
    }
    if (rgba && rowBytes != (size_t)width * 4) {
        IEAbort(Progress);
        return;
    }

    // Interlaced images combine their passes in a buffer of the whole image when the rows do not
    // go straight into the scanlines: 4-byte pixels, or the packed 1-bit palette indices.
    const bool interlaced = passes > 1;
    const size_t bufferRows = (rgba || packedPalette) && interlaced ? (size_t)height : 1;
    std::vector<uint8_t> buffer;
    if (rgba || packedPalette) {
        if (rowBytes > SIZE_MAX / bufferRows) {
            IEAbort(Progress);
            return;
        }
        try {
            buffer.assign(rowBytes * bufferRows + 1, 0);
        } catch (const std::bad_alloc&) {
            IEAbort(Progress);
            return;
        }
    }
    TIEBitmap* alpha = nullptr;
    if (rgba) {
        alpha = Bitmap->GetAlphaChannel();
        alpha->Fill(255);
        alpha->SetFull(false);
    }
    TIERGB colors[2] = {{0, 0, 0}, {0, 0, 0}};
    for (int i = 0; i < 2 && i < plteCount; ++i) colors[i] = IOParams.ColorMap[(size_t)i];

    TPassProgress progress(Progress, (int64_t)height * passes);
    uint8_t* const bufferStart = buffer.data();
    bool aborted = false;
    for (int pass = 0; pass < passes && !aborted; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            uint8_t* row = bufferStart ? bufferStart + rowBytes * (bufferRows > 1 ? (size_t)y : 0) : Bitmap->GetScanline((int32_t)y);
            ok = IEPngTry(png, [&] { png_read_row(png, row, nullptr); });
            if (!ok) {
                aborted = true;
                break;
            }
            if (rgba) {
                uint8_t* line = Bitmap->GetScanline((int32_t)y);
                for (png_uint_32 x = 0; x < width; ++x) std::memcpy(line + (size_t)x * 3, row + (size_t)x * 4, 3);
                uint8_t* a = alpha->GetScanline((int32_t)y);
                for (png_uint_32 x = 0; x < width; ++x) a[x] = row[(size_t)x * 4 + 3];
            } else if (packedPalette) {
                TIERGB* line = reinterpret_cast<TIERGB*>(Bitmap->GetScanline((int32_t)y));
                for (png_uint_32 x = 0; x < width; ++x) line[x] = colors[(row[x >> 3] >> (7 - (x & 7))) & 1];
            }
            progress.Row();
            if (IEIsAborting(Progress)) {
                aborted = true;
                break;
            }
        }
    }
    if (aborted) {
        IEAbort(Progress);
        return;
    }
    if (!IEPngTry(png, [&] { png_read_end(png, nullptr); })) return;

    // Palette images kept as indices: tRNS becomes the alpha channel.
    png_bytep trans = nullptr;
    int transCount = 0;
    if (format == ie8p && png_get_tRNS(png, info, &trans, &transCount, nullptr) && trans && transCount > 0) {
        TIEBitmap* a = Bitmap->GetAlphaChannel();
        a->SetFull(false);
        std::vector<uint8_t> values(width);
        for (png_uint_32 y = 0; y < height; ++y) {
            std::memcpy(values.data(), Bitmap->GetScanline((int32_t)y), width);
            uint8_t* out = a->GetScanline((int32_t)y);
            for (png_uint_32 x = 0; x < width; ++x) out[x] = values[x] < transCount ? trans[values[x]] : 255;
        }
    }
}
