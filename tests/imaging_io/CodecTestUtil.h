// Helpers of the codec tests: one parameter set, a progress record with an abort flag, and a
// pixel comparison.
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "iebitmap.h"
#include "imaging/core/picturaio_params.h"

namespace codectest {

// One parameter set for the whole program, reset on each call and never destroyed: the set's
// metadata stand-ins clash with the real DICOM tag list linked beside them, and destroying a set
// corrupts the heap until the stand-ins go.
inline TIOParamsVals& Params() {
    static TIOParamsVals& params = *new TIOParamsVals(nullptr);
    params.SetDefaultParams();
    return params;
}

// A progress record whose abort flag the test reads afterwards.
struct TProgress {
    std::atomic<bool> Abort{false};
    TIOProgressRecord Record;
    TProgress() { Record.Aborting = &Abort; }
};

// Same size and the same colour at every pixel.
inline void ExpectSameRGB(TIEBitmap& A, TIEBitmap& B) {
    ASSERT_EQ(A.GetWidth(), B.GetWidth());
    ASSERT_EQ(A.GetHeight(), B.GetHeight());
    for (int32_t y = 0; y < A.GetHeight(); ++y)
        for (int32_t x = 0; x < A.GetWidth(); ++x) {
            const TIERGB a = A.GetPixelAsRGB(x, y), b = B.GetPixelAsRGB(x, y);
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << "pixel " << x << "," << y;
        }
}

}  // namespace codectest
