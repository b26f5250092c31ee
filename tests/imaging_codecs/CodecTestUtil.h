// Helpers of the codec tests: streams over byte strings, a parameter set with an abort flag, and
// pixel access in file order (red first).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "Classes.h"
#include "iebitmap.h"
#include "picturaio_params.h"

namespace codectest {

inline void Fill(TMemoryStream& S, const std::string& Bytes) {
    if (!Bytes.empty()) S.Write(Bytes.data(), (int32_t)Bytes.size());
    S.SetPosition(0);
}

inline std::string Contents(TMemoryStream& S) {
    return std::string(static_cast<const char*>(S.GetMemory()), (size_t)S.GetSize());
}

// One codec call's parameter set, progress record and abort flag.
struct TCall {
    TIOParamsVals Params{nullptr};
    std::atomic<bool> Aborting{false};
    TIOProgressRecord Progress;
    TCall() { Progress.Aborting = &Aborting; }
};

// The image as red, green, blue bytes per pixel, rows top to bottom.
inline std::string RGBBytes(TIEBitmap& B) {
    std::string out;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const TIERGB c = B.GetPixelAsRGB(x, y);
            out += (char)c.r;
            out += (char)c.g;
            out += (char)c.b;
        }
    return out;
}

}  // namespace codectest
