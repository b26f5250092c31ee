// Resampling benchmark (not a test): halves a generated RGB image with the bilinear and the
// Lanczos filter on one thread and on every core, and prints the times as a table.
// tools/bench/resample_bench.py runs it beside ImageMagick, libvips and Pillow and prints ratios.
//
// Usage: bench_resample [WIDTH HEIGHT [REPEATS]]   (default 6000 4000 3)
//        bench_resample --ppm FILE WIDTH HEIGHT     writes the same image as a binary PPM for the peers
// Output lines: "ours FILTER THREADS SECONDS" (best of the repeats; processor time on one thread,
// the clock on all cores), "wall FILTER 1 SECONDS" (the clock on one thread), then a checksum line.
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_threads.h"
#include "picturaproc_hooks.h"
#include "picturaproc_resample.h"

namespace {

// Best processor time (one thread) or clock time (more threads) of the repeats; Wall receives the
// best clock time in both cases.
double Seconds(TIEBitmap& Source, TResampleFilter Filter, int32_t Threads, int Repeats, uint64_t& Checksum,
               double& Wall) {
    IECachedCoreCount = Threads;
    double best = 1e30;
    Wall = 1e30;
    for (int r = 0; r < Repeats; ++r) {
        TIEBitmap dest;
        dest.SetLocation(ieMemory);
        dest.Allocate(Source.GetWidth() / 2, Source.GetHeight() / 2, ie24RGB);
        // One thread: processor time, which a busy machine disturbs less than the clock; all
        // cores: the clock.
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        IEResampleIEBitmap(&Source, &dest, Filter);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double s = Threads == 1 ? (double)(std::clock() - cpuStart) / CLOCKS_PER_SEC : wall;
        if (s < best) best = s;
        if (wall < Wall) Wall = wall;
        if (r == 0) {
            for (int32_t y = 0; y < dest.GetHeight(); y += 97) Checksum = Checksum * 31 + dest.GetScanline(y)[y % (dest.GetWidth() * 3)];
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    IEInstallPicturaProcHooks();   // the routines the buffer and the codecs reach through procedure variables
    const bool ppm = argc > 4 && std::string(argv[1]) == "--ppm";
    const int first = ppm ? 3 : 1;
    const int32_t w = argc > first + 1 ? std::atoi(argv[first]) : 6000;
    const int32_t h = argc > first + 1 ? std::atoi(argv[first + 1]) : 4000;
    const int repeats = !ppm && argc > 3 ? std::atoi(argv[3]) : 3;
    TIEBitmap source;
    source.SetLocation(ieMemory);
    source.MinFileSize = INT64_MAX;
    if (!source.Allocate(w, h, ie24RGB)) {
        std::fprintf(stderr, "cannot allocate %dx%d\n", w, h);
        return 1;
    }
    // A smooth pattern with some texture.
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = source.GetScanline(y);
        for (int32_t x = 0; x < w; ++x) {
            row[3 * x] = (uint8_t)(x * 255 / w);
            row[3 * x + 1] = (uint8_t)(y * 255 / h);
            row[3 * x + 2] = (uint8_t)((x ^ y) & 0xFF);
        }
    }
    if (ppm) {
        FILE* f = std::fopen(argv[2], "wb");
        if (!f) return 1;
        std::fprintf(f, "P6\n%d %d\n255\n", w, h);
        std::vector<uint8_t> rgb((size_t)w * 3);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* row = source.GetScanline(y);
            for (int32_t x = 0; x < w; ++x) {
                rgb[3 * (size_t)x] = row[3 * x + 2];
                rgb[3 * (size_t)x + 1] = row[3 * x + 1];
                rgb[3 * (size_t)x + 2] = row[3 * x];
            }
            std::fwrite(rgb.data(), 1, rgb.size(), f);
        }
        return std::fclose(f) == 0 ? 0 : 1;
    }
    const int32_t cores = (int32_t)std::thread::hardware_concurrency();
    uint64_t checksum = 0;
    struct {
        const char* name;
        TResampleFilter filter;
    } filters[] = {{"bilinear", rfBilinear}, {"lanczos", rfLanczos3}};
    for (const auto& f : filters) {
        double wall1, wallAll;
        std::printf("ours %s 1 %.4f\n", f.name, Seconds(source, f.filter, 1, repeats, checksum, wall1));
        std::printf("ours %s %d %.4f\n", f.name, cores, Seconds(source, f.filter, cores, repeats, checksum, wallAll));
        std::printf("wall %s 1 %.4f\n", f.name, wall1);
        std::fflush(stdout);
    }
    std::printf("checksum %llu\n", (unsigned long long)checksum);
    return 0;
}
