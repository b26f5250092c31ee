#include "pngfiltw.h"

#include <png.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CheckedMath.h"
#include "SysUtils.h"
#include "codecs_common.h"
#include "pngfilt_glue.h"
#include "iebitmap.h"
#include "iemask.h"
#include "ieprochooks.h"

namespace {

// libpng's I/O pointer while writing: the stream and the flag a short write sets.
struct TPngWriteRecord {
    TStream* Stream;
    std::atomic<bool>* Aborting;
};

void WriteData(png_structp Png, png_bytep Data, size_t Length) {
    auto* rec = static_cast<TPngWriteRecord*>(png_get_io_ptr(Png));
    int32_t put = -1;
    try {
        if (Length <= 0x7FFFFFFF) put = rec->Stream->Write(Data, (int32_t)Length);
    } catch (...) {
        put = -1;
    }
    if (put < 0 || (size_t)put != Length) rec->Aborting->store(true);
}

void FlushData(png_structp) {}

void ErrorCallback(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }


struct TPngWriteGuard {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngWriteGuard() {
        if (Png) png_destroy_write_struct(&Png, Info ? &Info : nullptr);
    }
};

[[noreturn]] void RaiseCreateError() { throw EInvalidGraphic(L"Error on creating PNG"); }

png_color ToPng(const TIERGB& C) { return png_color{C.r, C.g, C.b}; }

}  // namespace

void IEWritePNGStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      TIEMask* AlphaMask) {
    std::atomic<bool> ownAbort{false};
    TPngWriteRecord record{&Stream, Progress.Aborting ? Progress.Aborting : &ownAbort};
    TPngWriteGuard g;
    g.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorCallback, IEPngIgnoreWarning);
    if (g.Png) g.Info = png_create_info_struct(g.Png);
    if (!g.Png || !g.Info) RaiseCreateError();
    png_structp png = g.Png;
    png_infop info = g.Info;
    png_set_write_fn(png, &record, WriteData, FlushData);

    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    if (width <= 0 || height <= 0) RaiseCreateError();
    // A mask counts only when it is an 8-bit plane covering the image and not full.
    TIEMask* mask = AlphaMask && !AlphaMask->Full && AlphaMask->BitsPerPixel == 8 && AlphaMask->HasBits() &&
                            AlphaMask->Width >= width && AlphaMask->Height >= height
                        ? AlphaMask
                        : nullptr;

    const bool oneChannel = IOParams.SamplesPerPixel == 1;
    if (oneChannel && IOParams.BitsPerSample != 1 && IOParams.BitsPerSample != 8 && IOParams.BitsPerSample != 16)
        IOParams.BitsPerSample = 8;
    const int32_t bits = IOParams.BitsPerSample;

    // The source: the bitmap itself, or a converted copy.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* source = Bitmap;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (oneChannel && bits == 1) {
        if (format != ie1g) {
            TIERGB c0, c1;
            temp = IEConvertTo1BitIfTwoColorsHook(Bitmap, c0, c1);
            if (!temp) temp = IEMake1BitByThreshold(Bitmap, width, height);
        }
    } else if (oneChannel) {
        // Palette or grey: from ie24RGB, ie8g, ie16g, or ie8p without a mask; the rest as ie24RGB.
        const bool usable = format == ie24RGB || format == ie8g || format == ie16g || (format == ie8p && !mask);
        if (!usable) {
            temp = std::make_unique<TIEBitmap>(Bitmap);
            temp->ConvertPixelFormat(ie24RGB);
        }
    } else if (format != ie24RGB) {
        temp = std::make_unique<TIEBitmap>(Bitmap);
        temp->ConvertPixelFormat(ie24RGB);
    }
    if (temp) source = temp.get();
    const TIEPixelFormat srcFormat = source->GetPixelFormat();

    // Colour type, depth and palette.
    int colorType, depth;
    TIERGB palette[256] = {};
    std::unique_ptr<IIEQuantizer> quantizer;
    int32_t plteCount = 0;
    bool usePalette = false;
    if (oneChannel && srcFormat == ie1g) {
        colorType = PNG_COLOR_TYPE_GRAY;
        depth = 1;
    } else if (oneChannel) {
        colorType = PNG_COLOR_TYPE_PALETTE;
        depth = bits;
        if (mask) {
            depth = 8;
            const int32_t colors = std::min<int32_t>(1 << std::min(bits, 8), 255);
            quantizer = IENewQuantizerHook(source, palette + 1, 0, colors);
            palette[0] = IOParams.PNGBackground;
            plteCount = std::min(colors + 1, 256);
        } else {
            quantizer = IENewQuantizerHook(source, palette, 0, 256);
            plteCount = 256;
            if (quantizer->GetIsGray() && srcFormat != ie8p) {
                colorType = PNG_COLOR_TYPE_GRAY;
                plteCount = 0;
            }
        }
        usePalette = colorType == PNG_COLOR_TYPE_PALETTE;
    } else {
        colorType = mask ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        depth = 8;
    }

    // The chunks ahead of the image data.
    std::vector<png_color> plte((size_t)std::max(plteCount, 1));
    for (int32_t i = 0; i < plteCount; ++i) plte[(size_t)i] = ToPng(palette[i]);
    png_byte transparent[1] = {0};
    png_color_16 background = {};
    const TIERGB& bg = IOParams.PNGBackground;
    if (usePalette) {
        background.index = (png_byte)(mask ? 0 : std::clamp(quantizer->RGBIndex(bg), 0, plteCount - 1));
    } else if (colorType == PNG_COLOR_TYPE_GRAY) {
        const uint8_t level = IEGreyOf(bg.r, bg.g, bg.b);
        background.gray = depth == 1 ? (level >= 128) : depth == 16 ? (png_uint_16)(level * 257) : level;
    } else {
        background.red = bg.r;
        background.green = bg.g;
        background.blue = bg.b;
    }
    // Keys and texts: the pairs both lists hold, in the ANSI code page; empty keys are not valid.
    const int32_t textCount = std::min(IOParams.PNGTextKeys->GetCount(), IOParams.PNGTextValues->GetCount());
    std::vector<std::string> keys, values;
    for (int32_t i = 0; i < textCount; ++i) {
        std::string key = WideToAnsi(IOParams.PNGTextKeys->GetStrings(i));
        if (key.empty()) continue;
        keys.push_back(std::move(key));
        values.push_back(WideToAnsi(IOParams.PNGTextValues->GetStrings(i)));
    }
    std::vector<png_text> texts(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
        texts[i].key = &keys[i][0];
        texts[i].text = &values[i][0];
        texts[i].text_length = values[i].size();
    }
    // Pixels per metre within the 31 bits the chunk allows, whatever the caller's resolution.
    const png_uint_32 ppmX = (png_uint_32)std::max<int32_t>(0, Checked::RoundSaturate<int32_t>(IOParams.DpiX * 100.0L / 2.54L));
    const png_uint_32 ppmY = (png_uint_32)std::max<int32_t>(0, Checked::RoundSaturate<int32_t>(IOParams.DpiY * 100.0L / 2.54L));
    int filters = -1;
    switch (IOParams.PNGFilter) {
        case 0: filters = PNG_FILTER_NONE; break;
        case 1: filters = PNG_FILTER_SUB; break;
        case 2: filters = PNG_FILTER_PAETH; break;
        case 3: filters = PNG_FILTER_UP; break;
        case 4: filters = PNG_FILTER_AVG; break;
        case 5: filters = PNG_ALL_FILTERS; break;
        default: break;
    }
    const int level = std::clamp(IOParams.PNGCompression, 0, 9);
    int passes = 1;
    bool ok = IEPngTry(png, [&] {
        png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, depth, colorType,
                     IOParams.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (usePalette) {
            png_set_PLTE(png, info, plte.data(), plteCount);
            if (mask) png_set_tRNS(png, info, transparent, 1, nullptr);
        }
        png_set_pHYs(png, info, ppmX, ppmY, PNG_RESOLUTION_METER);
        if (filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
        png_set_bKGD(png, info, &background);
        png_set_compression_level(png, level);
        if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
        if (!texts.empty()) png_set_text(png, info, texts.data(), (int)texts.size());
        png_write_info(png, info);
        passes = png_set_interlace_handling(png);
    });
    if (!ok) RaiseCreateError();

    // Rows.
    const size_t rowBytes = colorType == PNG_COLOR_TYPE_RGB_ALPHA ? (size_t)width * 4
                            : colorType == PNG_COLOR_TYPE_RGB     ? (size_t)width * 3
                            : depth == 16                         ? (size_t)width * 2
                            : depth == 1                          ? ((size_t)width + 7) / 8
                                                                  : (size_t)width;
    std::vector<uint8_t> row(rowBytes + 1);
    const double factor = 100.0 / ((double)height * passes);
    int64_t done = 0;
    bool stopped = false;
    for (int pass = 0; pass < passes && !stopped; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* line = source->GetScanline(y);
            uint8_t* out = row.data();
            if (usePalette) {
                if (srcFormat == ie8p) {
                    std::memcpy(out, line, (size_t)width);
                } else {
                    const uint8_t* m = mask ? mask->GetScanline(y) : nullptr;
                    for (int32_t x = 0; x < width; ++x) {
                        const int32_t index = quantizer->RGBIndex(source->GetPixelAsRGB(x, y));
                        out[x] = (uint8_t)(m ? (m[x] == 255 ? index + 1 : 0) : index);
                    }
                }
            } else if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
                const uint8_t* m = mask->GetScanline(y);
                line = source->GetScanline(y);
                for (int32_t x = 0; x < width; ++x) {
                    std::memcpy(out + (size_t)x * 4, line + (size_t)x * 3, 3);
                    out[(size_t)x * 4 + 3] = m[x];
                }
            } else if (colorType == PNG_COLOR_TYPE_RGB || depth == 1) {
                std::memcpy(out, line, rowBytes);
            } else if (depth == 16) {
                for (int32_t x = 0; x < width; ++x) {
                    out[(size_t)x * 2] = srcFormat == ie16g   ? (uint8_t)(reinterpret_cast<const uint16_t*>(line)[x] >> 8)
                                         : srcFormat == ie8g  ? line[x]
                                                              : (uint8_t)quantizer->RGBIndex(source->GetPixelAsRGB(x, y));
                    out[(size_t)x * 2 + 1] = 0;
                }
            } else {
                for (int32_t x = 0; x < width; ++x)
                    out[x] = srcFormat == ie8g    ? line[x]
                             : srcFormat == ie16g ? (uint8_t)(reinterpret_cast<const uint16_t*>(line)[x] >> 8)
                                                  : (uint8_t)quantizer->RGBIndex(source->GetPixelAsRGB(x, y));
            }
            if (!IEPngTry(png, [&] { png_write_row(png, out); })) RaiseCreateError();
            ++done;
            if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)(done * factor));
            if (IEIsAborting(Progress) || record.Aborting->load()) {
                stopped = true;
                break;
            }
        }
    }
    if (stopped) {
        IEAbort(Progress);
        return;
    }
    if (!IEPngTry(png, [&] { png_write_end(png, info); })) RaiseCreateError();
    if (record.Aborting->load()) IEAbort(Progress);
}
