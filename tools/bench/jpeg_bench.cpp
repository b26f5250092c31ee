// JPEG benchmark: load and save of a 6000 x 4000 photo-like picture through our codec beside the
// bare libjpeg-turbo in the same program (same quality 90, 4:2:0, accurate integer DCT, the same
// blue-first rows), best of 3 each. Prints a table, "time jpeg_load_ms: N" and "time
// jpeg_save_ms: N" for tools/bench/jpeg_bench.py, and the ratios ours / bare (goal: under 1.10).
// With --jpeg PATH it also writes the encoded picture for the peers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BenchPhoto.h"
#include "Classes.h"
#include "iebitmap.h"
#include "jpegfilt.h"
#include "picturaio_params.h"
#include "picturaproc_hooks.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

using namespace benchphoto;

std::vector<uint8_t> BareSave(TIEBitmap& B) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = B.GetScanline(static_cast<int32_t>(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> result(out, out + size);
    std::free(out);
    return result;
}

void BareLoad(const std::vector<uint8_t>& Jpeg, TIEBitmap& B) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, Jpeg.data(), static_cast<unsigned long>(Jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    B.Allocate(static_cast<int32_t>(d.output_width), static_cast<int32_t>(d.output_height), ie24RGB);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = B.GetScanline(static_cast<int32_t>(d.output_scanline));
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

}  // namespace

int main(int argc, char** argv) {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    TIEBitmap photo;
    MakePhoto(photo);
    std::vector<uint8_t> bare;
    const double bareSave = BestMs([&] { bare = BareSave(photo); });

    TIOParamsVals params(nullptr);
    params.JPEGQuality = 90;
    params.JPEGCromaSubsampling = 1;
    params.DpiX = params.DpiY = 300;
    TMemoryStream ours;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    const double oursSave = BestMs([&] {
        ours.Clear();
        IEWriteJPEGStream(&ours, &photo, params, progress);
    });
    if (aborting || ours.GetSize() == 0) {
        std::fprintf(stderr, "bench_jpeg: the save failed\n");
        return 1;
    }

    TIEBitmap loaded;
    const double bareLoad = BestMs([&] { BareLoad(bare, loaded); });
    const double oursLoad = BestMs([&] {
        TReadOnlyMemoryStream s(bare.data(), static_cast<int64_t>(bare.size()));
        IEReadJPEGStream(&s, nullptr, &loaded, params, progress, false, false, false, false, false, false, -1, false);
    });
    if (aborting || loaded.GetWidth() != kWidth) {
        std::fprintf(stderr, "bench_jpeg: the load failed\n");
        return 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "--jpeg") == 0) {
        FILE* f = std::fopen(argv[2], "wb");
        if (!f || std::fwrite(bare.data(), 1, bare.size(), f) != bare.size()) {
            std::fprintf(stderr, "bench_jpeg: cannot write %s\n", argv[2]);
            return 1;
        }
        std::fclose(f);
    }

    std::printf("JPEG %dx%d, quality 90, 4:2:0, accurate integer DCT, best of %d (%zu and %lld bytes)\n", kWidth,
                kHeight, kRuns, bare.size(), static_cast<long long>(ours.GetSize()));
    std::printf("%-22s %10s %10s\n", "", "load ms", "save ms");
    std::printf("%-22s %10.1f %10.1f\n", "ours", oursLoad, oursSave);
    std::printf("%-22s %10.1f %10.1f\n", "bare libjpeg-turbo", bareLoad, bareSave);
    std::printf("time jpeg_load_ms: %.1f\n", oursLoad);
    std::printf("time jpeg_save_ms: %.1f\n", oursSave);
    std::printf("ratio jpeg_load_vs_bare: %.2f\n", oursLoad / bareLoad);
    std::printf("ratio jpeg_save_vs_bare: %.2f\n", oursSave / bareSave);
    return 0;
}
