// Times IEGaussianBlurGray8 on a large 8-bit grey image made in memory (a smooth gradient with
// noise, so that no fast path for flat areas can help): bench_blur [WIDTH HEIGHT SIGMA RUNS [PGM]].
// Prints one line per run and "ours_ms M" with the median; with PGM it first writes the unblurred
// image there for the peers. tools/bench/blur_bench.py runs it beside libvips, Pillow and
// ImageMagick.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_blur.h"
#include "picturaproc_hooks.h"

int main(int argc, char** argv) {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    const int32_t width = argc > 1 ? std::atoi(argv[1]) : 6000;
    const int32_t height = argc > 2 ? std::atoi(argv[2]) : 4000;
    const double sigma = argc > 3 ? std::atof(argv[3]) : 2.0;
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;

    TIEBitmap bitmap;
    bitmap.SetLocation(ieMemory);
    if (!bitmap.Allocate(width, height, ie8g)) {
        std::printf("cannot allocate %dx%d\n", width, height);
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        uint32_t seed = 12345;
        for (int32_t y = 0; y < height; ++y) {
            uint8_t* row = bitmap.GetScanline(y);
            for (int32_t x = 0; x < width; ++x) {
                seed = seed * 1664525u + 1013904223u;
                row[x] = (uint8_t)((x + y) * 255 / (width + height) + (seed >> 28));
            }
        }
        if (run == 0 && argc > 5) {
            FILE* f = std::fopen(argv[5], "wb");
            if (!f) return 1;
            std::fprintf(f, "P5\n%d %d\n255\n", width, height);
            for (int32_t y = 0; y < height; ++y) std::fwrite(bitmap.GetScanline(y), 1, (size_t)width, f);
            std::fclose(f);
        }
        const auto start = std::chrono::steady_clock::now();
        IEGaussianBlurGray8(&bitmap, 0, 0, width - 1, height - 1, sigma);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        times.push_back(took.count());
        std::printf("run %d: %.1f ms\n", run + 1, took.count());
    }
    std::sort(times.begin(), times.end());
    std::printf("ours_ms %.1f\n", times[times.size() / 2]);
    return 0;
}
