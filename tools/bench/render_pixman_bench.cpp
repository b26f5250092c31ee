// Rendering benchmark, native (not a test): a 6000 x 4000 photo drawn scaled to 1920 x 1080 into
// a 24-bit bitmap, opaque and at 50% transparency over another picture, by the image buffer's
// renderer beside pixman's scaled composite (nearest filter; SRC, then OVER through a 50% solid
// mask) in the same program, best of 3 each. Prints a table and "ratio NAME: X.XX" lines (ours
// divided by pixman's).
#include <pixman.h>

#include <cstdio>
#include <cstring>

#include "BenchPhoto.h"
#include "iebitmap.h"
#include "picturaproc_hooks.h"

using namespace benchphoto;

int main() {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    constexpr int kOutWidth = 1920, kOutHeight = 1080;
    TIEBitmap photo;
    MakePhoto(photo);
    TIEBitmap target;
    target.Allocate(kOutWidth, kOutHeight, ie24RGB);
    target.Fill(0x785028);
    const double oursOpaque =
        BestMs([&] { photo.RenderToTIEBitmap(&target, 0, 0, kOutWidth, kOutHeight, 0, 0, kWidth, kHeight, 255, rfNone, 0); });
    const double oursHalf =
        BestMs([&] { photo.RenderToTIEBitmap(&target, 0, 0, kOutWidth, kOutHeight, 0, 0, kWidth, kHeight, 128, rfNone, 0); });

    // pixman's 24-bit format keeps blue first in memory, as the bitmap's rows do.
    pixman_image_t* source = pixman_image_create_bits(PIXMAN_r8g8b8, kWidth, kHeight, nullptr, 0);
    pixman_image_t* dest = pixman_image_create_bits(PIXMAN_r8g8b8, kOutWidth, kOutHeight, nullptr, 0);
    if (!source || !dest) {
        std::fprintf(stderr, "bench_render_pixman: cannot create the images\n");
        return 1;
    }
    const int stride = pixman_image_get_stride(source);
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(reinterpret_cast<uint8_t*>(pixman_image_get_data(source)) + (size_t)y * stride, photo.GetScanline(y),
                    (size_t)kWidth * 3);
    pixman_transform_t scale;
    pixman_transform_init_scale(&scale, pixman_double_to_fixed((double)kWidth / kOutWidth),
                                pixman_double_to_fixed((double)kHeight / kOutHeight));
    pixman_image_set_transform(source, &scale);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
    const double pixmanOpaque = BestMs([&] {
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, dest, 0, 0, 0, 0, 0, 0, kOutWidth, kOutHeight);
    });
    const pixman_color_t half = {0, 0, 0, 0x8080};
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    const double pixmanHalf = BestMs([&] {
        pixman_image_composite32(PIXMAN_OP_OVER, source, mask, dest, 0, 0, 0, 0, 0, 0, kOutWidth, kOutHeight);
    });
    pixman_image_unref(mask);
    pixman_image_unref(source);
    pixman_image_unref(dest);

    std::printf("%dx%d photo drawn at %dx%d, natively, best of %d\n", kWidth, kHeight, kOutWidth, kOutHeight, kRuns);
    std::printf("%-18s %10s %10s\n", "", "ours ms", "pixman ms");
    std::printf("%-18s %10.1f %10.1f\n", "opaque", oursOpaque, pixmanOpaque);
    std::printf("%-18s %10.1f %10.1f\n", "50% transparent", oursHalf, pixmanHalf);
    std::printf("\nratio render_opaque_vs_pixman: %.2f\n", oursOpaque / pixmanOpaque);
    std::printf("ratio render_transparent_vs_pixman: %.2f\n", oursHalf / pixmanHalf);
    return 0;
}
