// The JPEG reader on any input: it never reads or writes out of bounds and never stops on an
// exception; when it reports every row of a clean decode (no abort, no warning), the bare library
// decodes the same input, with the same options, to the same pixels. The stream scans (length, ICC
// chunks, start search) stay inside the input and restore the position.
//
// Input: a control byte (bits 0-2 the scale choice, bit 3 native pixel format, bit 4 raw colour,
// bit 5 fast integer DCT), then the JPEG data.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "FuzzInput.h"
#include "iebitmap.h"
#include "jpegfilt.h"
#include "picturaio_params.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

[[noreturn]] void Finding(const char* What) {
    std::fprintf(stderr, "fuzz_jpeg_read: %s\n", What);
    std::abort();
}

struct TBareError {
    jpeg_error_mgr Pub;
    jmp_buf Jump;
};
void BareExit(j_common_ptr Info) { longjmp(reinterpret_cast<TBareError*>(Info->err)->Jump, 1); }
void BareSilent(j_common_ptr, int) {}

// The bare library's rows of the same decode into Out (blue-first or as the native format asks);
// False when it fails.
bool BareDecode(const std::string& Data, unsigned ScaleDenom, bool Native, bool Raw, bool Fast, std::vector<uint8_t>& Out) {
    TBareError err;
    jpeg_decompress_struct d;
    d.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = BareExit;
    err.Pub.emit_message = BareSilent;
    // The reader ignores an error of the finish (data after the last row): so does the check.
    volatile bool rowsDone = false;
    std::vector<uint8_t> row;   // made before the jump point: a library error must not skip its end
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&d);
        return rowsDone;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(Data.data()), static_cast<unsigned long>(Data.size()));
    jpeg_read_header(&d, TRUE);
    const bool grey = d.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
    if (!grey && !cmyk) d.out_color_space = Raw && d.jpeg_color_space == JCS_YCbCr ? JCS_YCbCr : JCS_EXT_BGR;
    if (cmyk) d.out_color_space = JCS_CMYK;
    d.dct_method = Fast ? JDCT_IFAST : JDCT_ISLOW;
    d.scale_num = 1;
    d.scale_denom = ScaleDenom;
    jpeg_start_decompress(&d);
    const size_t width = d.output_width;
    const int comps = d.output_components;
    row.assign(width * comps, 0);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&d, &r, 1);
        if (grey && !Native) {
            for (size_t x = 0; x < width; ++x) Out.insert(Out.end(), {row[x], row[x], row[x]});
        } else if (cmyk && !Native) {
            // Each channel times black over 255, truncated, as the colour rows convert CMYK.
            for (size_t x = 0; x < width; ++x) {
                const uint32_t k = row[4 * x + 3];
                Out.insert(Out.end(), {uint8_t(row[4 * x + 2] * k / 255), uint8_t(row[4 * x + 1] * k / 255),
                                       uint8_t(row[4 * x] * k / 255)});
            }
        } else {
            Out.insert(Out.end(), row.begin(), row.end());
        }
    }
    rowsDone = true;
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const std::string jpeg = in.Rest();
    const uint8_t scale = control & 7;   // 5..7 keep the library's default
    const bool native = control & 8, raw = control & 16, fast = control & 32;

    TReadOnlyMemoryStream stream(jpeg.data(), static_cast<int64_t>(jpeg.size()));
    if (IEJPEGStreamLength(&stream) > static_cast<int32_t>(jpeg.size()) || stream.GetPosition() != 0)
        Finding("stream length past the data");
    IEReadJPEGICCData(&stream);
    const int64_t start = IEFindJPEGStart(&stream, true);
    if (stream.GetPosition() != 0 || start >= static_cast<int64_t>(jpeg.size())) Finding("start search");

    // The header first: pictures of more than 4 million pixels are not decoded (memory bound).
    TIOParamsVals params(nullptr);
    params.JPEGScale = scale;
    params.JPEGDCTMethod = fast ? 1 : 0;
    TIEBitmap bitmap;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    IEReadJPEGStream(&stream, nullptr, &bitmap, params, progress, true, raw, false, false, false, false, -1, native);
    if (aborting || static_cast<int64_t>(params.Width) * params.Height > (4 << 20)) return 0;
    const int32_t used = params.JPEGScaleUsed;

    stream.SetPosition(0);
    const int32_t rows =
        IEReadJPEGStream(&stream, nullptr, &bitmap, params, progress, false, raw, false, false, false, false, -1, native);
    if (aborting) return 0;
    if (rows != bitmap.GetHeight()) Finding("a clean decode without every row");
    if (params.JPEGWarningCount != 0 || start != 0) return 0;

    std::vector<uint8_t> expected;
    if (!BareDecode(jpeg, static_cast<unsigned>(used), native, raw, fast, expected)) Finding("the bare library refuses a clean decode");
    const size_t stride = static_cast<size_t>(bitmap.GetWidth()) * IEPixelFormatBitCount[bitmap.GetPixelFormat()] / 8;
    if (expected.size() != stride * bitmap.GetHeight()) Finding("size differs from the bare library");
    for (int32_t y = 0; y < bitmap.GetHeight(); ++y)
        if (std::memcmp(bitmap.GetScanline(y), &expected[y * stride], stride) != 0) Finding("pixels differ from the bare library");
    return 0;
}
