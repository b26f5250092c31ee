// Colours of the image tests: a TIERGB from red, green and blue (it keeps blue first), and an
// assertion that two colours are equal which prints both.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "iebitmap.h"

inline TIERGB Rgb(uint8_t R, uint8_t G, uint8_t B) { return TIERGB{B, G, R}; }

inline ::testing::AssertionResult SameRgb(const TIERGB& A, const TIERGB& B) {
    if (A.r == B.r && A.g == B.g && A.b == B.b) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << int(A.r) << "," << int(A.g) << "," << int(A.b) << ") vs ("
                                         << int(B.r) << "," << int(B.g) << "," << int(B.b) << ")";
}
