// Pixel-level helpers of the pixel-format conversion that other units of the core share.
// Platform-neutral.
#pragma once

#include <cstdint>

#include "iecoredefs_types.h"

namespace ieconvert {

// The low byte (or word) of Trunc(V); 0 for a value no 64-bit integer holds (NaN included).
inline int64_t TruncSafe(double V) {
    return (V > -9.2e18 && V < 9.2e18) ? static_cast<int64_t>(V) : 0;
}

}  // namespace ieconvert
