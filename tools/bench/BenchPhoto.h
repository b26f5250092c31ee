// The picture and the timer of the image benchmarks: a 6000 x 4000 photo-like image made in
// memory, and the best of three runs of a call.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "iebitmap.h"

namespace benchphoto {

constexpr int kWidth = 6000, kHeight = 4000, kRuns = 3;

// Smooth shading with texture and a little noise, like a photograph (not a flat test card).
inline void MakePhoto(TIEBitmap& B) {
    B.Allocate(kWidth, kHeight, ie24RGB);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 24) & 15) - 8;
            const double t = std::sin(x * 0.003) * std::cos(y * 0.004);
            const int base = static_cast<int>(128 + 90 * t + 20 * std::sin((x + y) * 0.05));
            auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            row[3 * x] = clamp(base + noise + (x * 60) / kWidth);
            row[3 * x + 1] = clamp(base + noise / 2);
            row[3 * x + 2] = clamp(255 - base + noise + (y * 40) / kHeight);
        }
    }
}

template <typename F> double BestMs(F&& Call) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        Call();
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace benchphoto
