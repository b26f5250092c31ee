// The codec libraries the image library is built on: each links, reports the expected version and
// round-trips a tiny image in memory; C++ exceptions thrown from libjpeg's and libpng's error
// callbacks unwind through the libraries' C frames and are caught here (the codecs rely on that).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <png.h>
#include <jpeglib.h>
#include <openjpeg.h>
#include <libraw/libraw.h>

namespace {

// A small gradient with distinct values in every sample, so that swapped rows or channels show.
std::vector<uint8_t> Gradient(int width, int height, int channels) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * channels);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    return pixels;
}

struct CodecError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- libpng ---------------------------------------------------------------------------------------

[[noreturn]] void ThrowPngError(png_structp, png_const_charp message) { throw CodecError(message); }
void IgnorePngWarning(png_structp, png_const_charp) {}

struct PngReader {
    const std::vector<uint8_t>* data;
    size_t pos;
};

void PngWrite(png_structp png, png_bytep bytes, png_size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + count);
}
void PngFlush(png_structp) {}
void PngRead(png_structp png, png_bytep bytes, png_size_t count) {
    auto* in = static_cast<PngReader*>(png_get_io_ptr(png));
    if (in->data->size() - in->pos < count) png_error(png, "short read");
    std::memcpy(bytes, in->data->data() + in->pos, count);
    in->pos += count;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgb, int width, int height) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, IgnorePngWarning);
    png_infop info = png_create_info_struct(png);
    try {
        png_set_write_fn(png, &out, PngWrite, PngFlush);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb.data()) + static_cast<size_t>(y) * width * 3);
        png_write_end(png, nullptr);
    } catch (...) {
        png_destroy_write_struct(&png, &info);
        throw;
    }
    png_destroy_write_struct(&png, &info);
    return out;
}

// Decodes an 8-bit RGB PNG; libpng errors arrive as CodecError after libpng's frames unwound.
std::vector<uint8_t> DecodePng(const std::vector<uint8_t>& data, int* width, int* height) {
    PngReader reader{&data, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, IgnorePngWarning);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> rgb;
    try {
        png_set_read_fn(png, &reader, PngRead);
        png_read_info(png, info);
        *width = static_cast<int>(png_get_image_width(png, info));
        *height = static_cast<int>(png_get_image_height(png, info));
        rgb.resize(static_cast<size_t>(*width) * *height * 3);
        for (int y = 0; y < *height; ++y)
            png_read_row(png, rgb.data() + static_cast<size_t>(y) * *width * 3, nullptr);
        png_read_end(png, nullptr);
    } catch (...) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return rgb;
}

// ---- libjpeg --------------------------------------------------------------------------------------

[[noreturn]] void ThrowJpegError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    throw CodecError(message);
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = ThrowJpegError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    try {
        jpeg_mem_dest(&cinfo, &buffer, &size);
        cinfo.image_width = static_cast<JDIMENSION>(width);
        cinfo.image_height = static_cast<JDIMENSION>(height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 100, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(rgb.data()) + static_cast<size_t>(cinfo.next_scanline) * width * 3;
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        out.assign(buffer, buffer + size);
    } catch (...) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw;
    }
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& data, int* width, int* height) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = ThrowJpegError;
    jpeg_create_decompress(&cinfo);
    std::vector<uint8_t> rgb;
    try {
        jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        *width = static_cast<int>(cinfo.output_width);
        *height = static_cast<int>(cinfo.output_height);
        rgb.resize(static_cast<size_t>(*width) * *height * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = rgb.data() + static_cast<size_t>(cinfo.output_scanline) * *width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    return rgb;
}

// ---- OpenJPEG -------------------------------------------------------------------------------------

struct OpjBuffer {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

OPJ_SIZE_T OpjRead(void* dst, OPJ_SIZE_T count, void* user) {
    auto* b = static_cast<OpjBuffer*>(user);
    if (b->pos >= b->bytes.size()) return static_cast<OPJ_SIZE_T>(-1);
    OPJ_SIZE_T n = std::min<OPJ_SIZE_T>(count, b->bytes.size() - b->pos);
    std::memcpy(dst, b->bytes.data() + b->pos, n);
    b->pos += n;
    return n;
}
OPJ_SIZE_T OpjWrite(void* src, OPJ_SIZE_T count, void* user) {
    auto* b = static_cast<OpjBuffer*>(user);
    if (b->bytes.size() < b->pos + count) b->bytes.resize(b->pos + count);
    std::memcpy(b->bytes.data() + b->pos, src, count);
    b->pos += count;
    return count;
}
OPJ_OFF_T OpjSkip(OPJ_OFF_T count, void* user) {
    auto* b = static_cast<OpjBuffer*>(user);
    b->pos += static_cast<size_t>(count);
    return count;
}
OPJ_BOOL OpjSeek(OPJ_OFF_T pos, void* user) {
    static_cast<OpjBuffer*>(user)->pos = static_cast<size_t>(pos);
    return OPJ_TRUE;
}

opj_stream_t* OpjStream(OpjBuffer* buffer, bool input) {
    opj_stream_t* s = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, input ? OPJ_TRUE : OPJ_FALSE);
    opj_stream_set_user_data(s, buffer, nullptr);
    opj_stream_set_user_data_length(s, buffer->bytes.size());
    opj_stream_set_read_function(s, OpjRead);
    opj_stream_set_write_function(s, OpjWrite);
    opj_stream_set_skip_function(s, OpjSkip);
    opj_stream_set_seek_function(s, OpjSeek);
    return s;
}

// Lossless (reversible wavelet) JPEG 2000 code stream of a grey image.
std::vector<uint8_t> EncodeJ2k(const std::vector<uint8_t>& grey, int width, int height) {
    opj_image_cmptparm_t comp{};
    comp.dx = comp.dy = 1;
    comp.w = static_cast<OPJ_UINT32>(width);
    comp.h = static_cast<OPJ_UINT32>(height);
    comp.prec = 8;
    opj_image_t* image = opj_image_create(1, &comp, OPJ_CLRSPC_GRAY);
    image->x1 = comp.w;
    image->y1 = comp.h;
    for (size_t i = 0; i < grey.size(); ++i) image->comps[0].data[i] = grey[i];
    opj_cparameters_t params;
    opj_set_default_encoder_parameters(&params);
    params.numresolution = 2;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    OpjBuffer out;
    opj_stream_t* stream = OpjStream(&out, false);
    bool ok = opj_setup_encoder(codec, &params, image) && opj_start_compress(codec, image, stream) &&
              opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok) throw CodecError("OpenJPEG could not encode");
    out.bytes.resize(out.pos);
    return out.bytes;
}

std::vector<uint8_t> DecodeJ2k(const std::vector<uint8_t>& data, int* width, int* height) {
    OpjBuffer in;
    in.bytes = data;
    opj_stream_t* stream = OpjStream(&in, true);
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    opj_image_t* image = nullptr;
    bool ok = opj_setup_decoder(codec, &params) && opj_read_header(stream, codec, &image) &&
              opj_decode(codec, stream, image) && opj_end_decompress(codec, stream);
    std::vector<uint8_t> grey;
    if (ok && image->numcomps == 1) {
        *width = static_cast<int>(image->comps[0].w);
        *height = static_cast<int>(image->comps[0].h);
        grey.resize(static_cast<size_t>(*width) * *height);
        for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(image->comps[0].data[i]);
    }
    opj_image_destroy(image);
    opj_destroy_codec(codec);
    opj_stream_destroy(stream);
    if (!ok) throw CodecError("OpenJPEG could not decode");
    return grey;
}

}  // namespace

TEST(CodecLibraries, AreTheVersionsWeBuildOn) {
    EXPECT_EQ(std::string(png_get_libpng_ver(nullptr)).substr(0, 4), "1.6.");
    EXPECT_EQ(JPEG_LIB_VERSION, 62);   // the IJG 6b interface
    EXPECT_EQ(std::string(opj_version()).substr(0, 4), "2.5.");
    EXPECT_EQ(std::string(LibRaw::version()).substr(0, 5), "0.20.");
    EXPECT_EQ(LibRaw::versionNumber(), LIBRAW_VERSION);
}

TEST(CodecLibraries, PngRoundTripIsExact) {
    const int w = 5, h = 3;
    std::vector<uint8_t> rgb = Gradient(w, h, 3);
    std::vector<uint8_t> png = EncodePng(rgb, w, h);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png_sig_cmp(png.data(), 0, 8), 0);
    int rw = 0, rh = 0;
    EXPECT_EQ(DecodePng(png, &rw, &rh), rgb);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
}

TEST(CodecLibraries, JpegRoundTripIsClose) {
    const int w = 16, h = 8;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<uint8_t>(x * 8 + y * 4 + c * 20);
    std::vector<uint8_t> jpeg = EncodeJpeg(rgb, w, h);
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    int rw = 0, rh = 0;
    std::vector<uint8_t> back = DecodeJpeg(jpeg, &rw, &rh);
    ASSERT_EQ(back.size(), rgb.size());
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    int worst = 0;
    for (size_t i = 0; i < rgb.size(); ++i) worst = std::max(worst, std::abs(back[i] - rgb[i]));
    EXPECT_LE(worst, 8);   // quality 100 with chroma subsampling on a smooth ramp
}

TEST(CodecLibraries, Jpeg2000RoundTripIsLossless) {
    const int w = 9, h = 7;
    std::vector<uint8_t> grey = Gradient(w, h, 1);
    std::vector<uint8_t> j2k = EncodeJ2k(grey, w, h);
    ASSERT_GT(j2k.size(), 4u);
    EXPECT_EQ(j2k[0], 0xFF);   // SOC marker
    EXPECT_EQ(j2k[1], 0x4F);
    int rw = 0, rh = 0;
    EXPECT_EQ(DecodeJ2k(j2k, &rw, &rh), grey);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_THROW(DecodeJ2k(std::vector<uint8_t>(j2k.begin(), j2k.begin() + 12), &rw, &rh), CodecError);
}

TEST(CodecLibraries, LibRawRejectsWhatIsNoRawFileCleanly) {
    auto raw = std::make_unique<LibRaw>(0);
    std::vector<uint8_t> junk(64, 0x5A);
    EXPECT_EQ(raw->open_buffer(junk.data(), junk.size()), LIBRAW_FILE_UNSUPPORTED);
    raw->recycle();
    EXPECT_NE(raw->open_buffer(junk.data(), 0), LIBRAW_SUCCESS);
}

struct BrokenInput {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;   // part of the library's own text
};

template <size_t N>
void ExpectCodecErrors(std::vector<uint8_t> (*decode)(const std::vector<uint8_t>&, int*, int*),
                       const BrokenInput (&cases)[N]) {
    for (const BrokenInput& c : cases) {
        SCOPED_TRACE(c.what);
        int rw = 0, rh = 0;
        try {
            decode(c.bytes, &rw, &rh);
            ADD_FAILURE() << "no exception";
        } catch (const CodecError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// The error callbacks throw; the exception leaves through libjpeg's and libpng's C frames (built
// with unwind tables) and the caller's cleanup still runs. A table of broken inputs for each.
TEST(CodecLibraries, ExceptionsFromErrorCallbacksUnwindThroughTheLibraries) {
    const int w = 4, h = 4;
    std::vector<uint8_t> rgb = Gradient(w, h, 3);
    std::vector<uint8_t> png = EncodePng(rgb, w, h);
    std::vector<uint8_t> jpeg = EncodeJpeg(rgb, w, h);

    std::vector<uint8_t> badCrc = png;
    badCrc[29] ^= 0xFF;   // last byte of IHDR's CRC
    const BrokenInput pngCases[] = {
        {"not a PNG", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '!'}, "Not a PNG file"},
        {"IHDR CRC", badCrc, "CRC error"},
        {"cut short", std::vector<uint8_t>(png.begin(), png.begin() + 40), "short read"},
    };
    ExpectCodecErrors(DecodePng, pngCases);

    std::vector<uint8_t> noSoi = jpeg;
    noSoi[1] = 0x00;
    const BrokenInput jpegCases[] = {
        {"not a JPEG", noSoi, "Not a JPEG file"},
        {"empty", {}, "Empty input"},
    };
    ExpectCodecErrors(DecodeJpeg, jpegCases);

    // An encoder error too: a zero-sized image is refused in jpeg_start_compress.
    EXPECT_THROW(EncodeJpeg({}, 0, 0), CodecError);
    // And libpng's writer: 16-bit palette images do not exist.
    std::vector<uint8_t> sink;
    png_structp wpng = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, IgnorePngWarning);
    png_infop winfo = png_create_info_struct(wpng);
    png_set_write_fn(wpng, &sink, PngWrite, PngFlush);
    EXPECT_THROW(
        {
            png_set_IHDR(wpng, winfo, 1, 1, 16, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_write_info(wpng, winfo);
        },
        CodecError);
    png_destroy_write_struct(&wpng, &winfo);
}
