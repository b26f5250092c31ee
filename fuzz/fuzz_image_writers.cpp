// Every writer on random bitmaps: a bitmap of any pixel format and size (with or without an alpha
// channel) is saved through the I/O component as each file type with a writer, with the codings
// the parameters offer; the save must not abort, the file must read back with our readers at the
// bitmap's size, and where the coding keeps every pixel the colours come back unchanged.
//
// Lossless here: the bitmaps of 1-bit, 8-bit grey, palette (of grey entries, so that a grey or a
// palette file keeps them) and 24-bit pixels (a grey PNG with alpha only where fully opaque, and
// within one level: its transparency is one palette entry), saved with the bits and samples of their own
// format as TIFF (uncompressed, LZW, PackBits, deflate; CCITT for 1 bit), BMP (RLE for 8-bit and
// 1-bit pixels too), PNG, TGA, PNM, PCX, DCX and PSD, and as GIF and WBMP where the file holds the
// colours (GIF up to 256 colours, WBMP 1 bit). Everything else (JPEG, JPEG 2000, the other pixel
// formats, icons at the sizes the parameters give, PostScript and PDF without a reader) must save
// (the other pixel formats may be refused where a file has no form for them) and, where we read
// it, read back without failing.
//
// Input: pixel format, width (1..256), height (1..32), flags (bit 0 alpha channel, bit 1 BMP RLE,
// bit 2 TGA RLE, bit 3 interlaced PNG and GIF, bit 4 PCX uncompressed, bit 5 grey and palette
// bitmaps saved with 4 bits, so BMP RLE codes RLE4: not compared), TIFF coding, then the
// pixel bytes (repeated to fill the rows; the palette takes grey levels from them).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "FuzzInput.h"
#include "iebitmap.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"
#include "picturaio.h"

namespace {

const TIEPixelFormat kFormats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

struct TWriter {
    TIOFileType Type;
    bool Readable;   // we have a reader for what it writes
    bool Lossless;   // for the lossless bitmaps above
};
const TWriter kWriters[] = {
    {ioTIFF, true, true}, {ioBMP, true, true},   {ioPNG, true, true},   {ioTGA, true, true},
    {ioPXM, true, true},  {ioPCX, true, true},   {ioDCX, true, true},   {ioPSD, true, true},
    {ioGIF, true, true},  {ioWBMP, true, true},  {ioJPEG, true, false}, {ioJP2, true, false},
    {ioJ2K, true, false}, {ioICO, true, false},  {ioPS, false, false},  {ioPDF, false, false},
};

// The bitmap's pixels as 24-bit colour, top row first.
std::vector<uint8_t> Colours(TIEBitmap& B) {
    TIEBitmap copy(&B);
    copy.RemoveAlphaChannel();
    if (copy.GetPixelFormat() != ie24RGB) copy.ConvertPixelFormat(ie24RGB);
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < copy.GetHeight(); ++y) {
        const uint8_t* row = copy.GetScanline(y);
        out.insert(out.end(), row, row + (size_t)copy.GetWidth() * 3);
    }
    return out;
}

// Fills Bitmap's rows with the bytes (repeated); a palette gets grey entries.
void Paint(TIEBitmap& Bitmap, const std::string& Bytes) {
    size_t at = 0;
    auto next = [&]() -> uint8_t { return Bytes.empty() ? 0 : (uint8_t)Bytes[at++ % Bytes.size()]; };
    if (Bitmap.GetPixelFormat() == ie8p)
        for (int32_t i = 0; i < 256; ++i) {
            const uint8_t v = next();
            Bitmap.SetPaletteEntry(i, TIERGB{v, v, v});
        }
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i) row[i] = next();
    }
    if (Bitmap.GetPixelFormat() == ie32f)   // finite samples from 0 to 1
        for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
            for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) Bitmap.SetPixelFloat(x, y, Bitmap.GetScanline(y)[4 * x] / 255.0f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        IEStaticInitialize();
        started = true;
    }
    TFuzzInput in(data, size);
    const TIEPixelFormat format = kFormats[in.U8() % (sizeof(kFormats) / sizeof(kFormats[0]))];
    const int32_t width = 1 + in.U8(), height = 1 + in.U8() % 32;
    const uint8_t flags = in.U8();
    const uint8_t tiffCoding = in.U8();
    TIEBitmap source(width, height, format);
    Paint(source, in.Rest());
    if (flags & 1) {
        TIEBitmap* alpha = source.GetAlphaChannel();
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) alpha->SetPixelByte(x, y, (uint8_t)(x * 7 + y * 3));
    }
    const bool oneBit = format == ie1g, grey = format == ie8g || format == ie8p;
    const bool lossless = oneBit || grey || format == ie24RGB;
    const std::vector<uint8_t> colours = Colours(source);

    for (const TWriter& w : kWriters) {
        auto finding = [&](const char* What) {
            std::fprintf(stderr, "file type %d, pixel format %d, %d x %d: ", (int)w.Type, (int)format, width, height);
            FuzzFinding(What);
        };
        TIEBitmap bitmap(&source);
        TPicturaIO io(nullptr);
        io.SetAttachedIEBitmap(&bitmap);
        TIOParamsVals& p = *io.Params;
        p.BitsPerSample = oneBit ? 1 : grey && (flags & 32) ? 4 : 8;
        p.SamplesPerPixel = oneBit || grey ? 1 : 3;
        p.BMPCompression = (flags & 2) && (oneBit || grey) ? 1 : 0;
        p.TGACompressed = (flags & 4) != 0;
        p.PNGInterlaced = p.GIFInterlaced = (flags & 8) != 0;
        p.PCXCompression = (flags & 16) ? 0 : 1;
        static const uint8_t kTIFFCodings[] = {0, 5, 8, 9, 1, 2, 3, 4};
        p.TIFFCompression = kTIFFCodings[tiffCoding % (oneBit ? 8 : 4)];
        TMemoryStream file;
        io.Aborting = false;
        io.SaveToStream(&file, w.Type);
        // Writers may refuse the pixel formats their files have no form for (PSD: floating point).
        if (io.Aborting && !lossless) continue;
        if (io.Aborting) finding("a writer failed on a valid bitmap");
        if (file.GetSize() == 0) finding("a writer wrote nothing");
        if (!w.Readable) continue;

        TIEBitmap back;
        TPicturaIO reader(nullptr);
        reader.SetAttachedIEBitmap(&back);
        file.SetPosition(0);
        reader.Aborting = false;
        reader.LoadFromStreamFormat(&file, w.Type);
        if (reader.Aborting || back.IsEmpty()) finding("what a writer wrote does not read back");
        if (w.Type == ioICO) continue;   // saved at the sizes the parameters list
        if (back.GetWidth() != width || back.GetHeight() != height) finding("the size changed");
        // GIF keeps 256 colours (a transparent pixel its index only), WBMP two.
        const bool keeps = w.Lossless && lossless && !(grey && (flags & 32)) && (w.Type != ioWBMP || oneBit) &&
                           (w.Type != ioGIF || (format != ie24RGB && !(flags & 1)));
        if (keeps && w.Type == ioPNG && grey && (flags & 1)) {
            // A one-channel PNG with an alpha channel is a palette with one fully transparent entry:
            // pixels not fully opaque become that entry (the background colour); the others keep
            // their grey within one level (the quantizer gives grey images an even ramp of the 255
            // entries left, as the GIF writer does).
            const std::vector<uint8_t> read = Colours(back);
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const size_t at = ((size_t)y * width + x) * 3;
                    const bool opaque = source.GetAlpha(x, y) == 255;
                    if (opaque && std::abs((int)read[at] - (int)colours[at]) > 1)
                        finding("a lossless writer changed pixels");
                    if (!opaque && back.HasAlphaChannel() && back.GetAlpha(x, y) != 0)
                        finding("a pixel not fully opaque is not the transparent entry");
                }
            continue;
        }
        if (keeps && Colours(back) != colours) finding("a lossless writer changed pixels");
    }
    return 0;
}
