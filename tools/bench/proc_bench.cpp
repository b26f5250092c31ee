// The image-processing benchmark's own half: rotates a generated 6000 x 4000 RGB image by 30
// degrees on one thread, with the bilinear routine directly and through the processing component
// (its default antialiased rotation by three shears, and its bilinear quality), and prints the
// best time of three runs of each as "time NAME_ms: N". With --ppm PATH it also writes the image
// (binary PPM) for the peers; tools/bench/proc_bench.py runs them and prints the ratios.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "iebitmap.h"
#include "picturaproc_component.h"
#include "picturaproc_rotate.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

// A smooth gradient with a fine pattern on it, so that interpolation has work to do.
void Generate(TIEBitmap& Bitmap) {
    for (int32_t y = 0; y < kHeight; ++y) {
        TIERGB* px = (TIERGB*)Bitmap.GetScanline(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            px[x].r = (uint8_t)(x * 255 / kWidth);
            px[x].g = (uint8_t)(y * 255 / kHeight);
            px[x].b = (uint8_t)((x ^ y) * 7);
        }
    }
}

bool WritePPM(TIEBitmap& Bitmap, const char* Path) {
    FILE* f = std::fopen(Path, "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    std::string row((size_t)kWidth * 3, '\0');
    bool ok = true;
    for (int32_t y = 0; y < kHeight && ok; ++y) {
        const TIERGB* px = (const TIERGB*)Bitmap.GetScanline(y);
        for (int32_t x = 0; x < kWidth; ++x) {
            row[(size_t)x * 3] = (char)px[x].r;
            row[(size_t)x * 3 + 1] = (char)px[x].g;
            row[(size_t)x * 3 + 2] = (char)px[x].b;
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    TIEBitmap source(kWidth, kHeight, ie24RGB);
    if (source.IsEmpty()) {
        std::fprintf(stderr, "bench_proc: no memory for the image\n");
        return 1;
    }
    source.SetLocation(ieMemory);
    Generate(source);
    if (argc == 3 && std::strcmp(argv[1], "--ppm") == 0 && !WritePPM(source, argv[2])) {
        std::fprintf(stderr, "bench_proc: cannot write %s\n", argv[2]);
        return 1;
    }
    // Each rotation runs on a fresh in-memory copy; only the rotation itself is timed.
    auto time = [&](const char* Name, const std::function<void(TIEBitmap&)>& Rotate) {
        double best = 1e30;
        int32_t w = 0, h = 0;
        for (int32_t run = 0; run < 3; ++run) {
            TIEBitmap work;
            work.SetLocation(ieMemory);
            work.Assign(&source);
            const auto t0 = std::chrono::steady_clock::now();
            Rotate(work);
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            if (ms < best) best = ms;
            w = work.GetWidth(), h = work.GetHeight();
        }
        std::printf("%s: %dx%d -> %dx%d, one thread\n", Name, kWidth, kHeight, w, h);
        std::printf("time %s_ms: %.1f\n", Name, best);
    };
    time("rotate30_bilinear", [](TIEBitmap& B) { IERotateHighQuality(&B, 0, 1, 30); });
    // The component on a caller's bitmap (no undo entry): antialiased, quality 0 (three shears)
    // and quality 1 (bilinear), black background.
    time("component_rotate30_shears", [](TIEBitmap& B) { TPicturaProc::CreateFromBitmap(&B)->Rotate(30, true, 0, 0); });
    time("component_rotate30_bilinear", [](TIEBitmap& B) { TPicturaProc::CreateFromBitmap(&B)->Rotate(30, true, 1, 0); });
    return 0;
}
