// The layers of the layer composition benchmark, the same for the viewer (under Wine) and for
// pixman (natively): ten 1920 x 1080 pictures, each a different colour ramp.
#pragma once

#include <cstdint>

namespace layersbench {

constexpr int kWidth = 1920, kHeight = 1080, kLayers = 10;

// Row Y of layer Layer, three bytes a pixel (blue, green, red).
inline void FillRow(uint8_t* Row, int Y, int Layer) {
    for (int x = 0; x < kWidth; ++x) {
        Row[3 * x] = static_cast<uint8_t>(x * (Layer + 1) + Y);
        Row[3 * x + 1] = static_cast<uint8_t>(Y * (Layer + 2) + x / 3);
        Row[3 * x + 2] = static_cast<uint8_t>(x + Y * 2 + Layer * 25);
    }
}

}  // namespace layersbench
