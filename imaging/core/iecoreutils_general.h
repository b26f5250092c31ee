// General helpers of the image library: rounding, minimum, maximum and clamping, pixel values and
// the grey level of a colour, byte and bit order, row lengths, bit counts of colour masks and
// palettes, a power function and a small hash set of 32-bit keys. Platform-neutral: system
// colours are resolved through iecoreutils_platform.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "iecoredefs_types.h"

// A colour value: red in bits 0-7, green 8-15, blue 16-23; a negative value ($FF0000nn) names
// system colour nn, $1FFFFFFF stands for none.
using TColor = int32_t;

// ---- Rounding, comparison and clamping --------------------------------------------------------
// Values outside the 64-bit range (and NaN) give 0; results are cut to 32 bits.
int32_t IECeil(long double X);    // Trunc(X), plus 1 when X has a positive fraction
int32_t IEFloor(long double X);   // Trunc(X), minus 1 when X has a negative fraction
inline int32_t IEMin(int32_t A, int32_t B) { return B < A ? B : A; }
inline int32_t IEMax(int32_t A, int32_t B) { return A < B ? B : A; }
inline double IEMinDouble(double A, double B) { return A < B ? A : B; }   // equal values give B
inline double IEMaxDouble(double A, double B) { return A > B ? A : B; }   // equal values give B
inline uint64_t IEMinUInt64(uint64_t A, uint64_t B) { return A < B ? A : B; }
// Low when Value <= Low (even when Low > High), else High when Value >= High, else Value.
inline int32_t IEClamp(int32_t Value, int32_t Low, int32_t High) {
    return Value <= Low ? Low : Value >= High ? High : Value;
}
inline int32_t IEClampByte(int32_t Value) { return Value < 0 ? 0 : Value > 255 ? 255 : Value; }
inline int32_t IEIfThenInt(bool Condition, int32_t ValueTrue, int32_t ValueFalse) {
    return Condition ? ValueTrue : ValueFalse;
}
inline double IEIfThenFloat(bool Condition, double ValueTrue, double ValueFalse) {
    return Condition ? ValueTrue : ValueFalse;
}
void IESwapInt(int32_t& A, int32_t& B);
void IESwapByte(uint8_t& A, uint8_t& B);
// Puts the corners in order: X1 <= X2 and Y1 <= Y2 afterwards.
void IEOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);
// Base to the power Exponent: integral exponents by repeated squaring (0^n is 0 for every n but
// 0, which gives 1), others as 2^(Exponent * log2 Base) (0 for Base 0, NaN for a negative Base).
long double IEPower(double Base, double Exponent);

// ---- Pixel values ---------------------------------------------------------------------------
TIERGB IECreateRGB(uint8_t R, uint8_t G, uint8_t B);
// B0 in bits 0-7, B1 in 8-15, B2 in 16-23, B3 in 24-31.
uint32_t IECreateRGBA(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3);
// (R * IEGrayRedWeight + G * IEGrayGreenWeight + B * IEGrayBlueWeight) div 100.
int32_t IERGBToGray(const TIERGB& RGB);
TColor IERGBToColor(const TIERGB& RGB);
// Resolves a system colour first, then splits the channels.
TIERGB IEColorToRGB(TColor Color);
// Resolves a system colour first; blue in bits 0-7, green 8-15, red 16-23, Alpha 24-31.
uint32_t IEColorToARGB(TColor Color, uint8_t Alpha);
inline bool IESameRGB(const TIERGB& A, const TIERGB& B) { return A.r == B.r && A.g == B.g && A.b == B.b; }

// ---- Byte and bit order ---------------------------------------------------------------------
inline uint16_t IESwapWord(uint16_t W) { return static_cast<uint16_t>(W >> 8 | W << 8); }
inline uint32_t IESwapDWord(uint32_t D) {
    return D >> 24 | (D >> 8 & 0xFF00u) | (D << 8 & 0xFF0000u) | D << 24;
}
// IESwapWord on Count consecutive 16-bit words at P (any alignment); nothing for Count <= 0.
void IESwapWordArray(void* P, int32_t Count);
inline uint16_t IESwapWordIf(uint16_t W, bool Swap) { return Swap ? IESwapWord(W) : W; }
inline uint32_t IESwapDWordIf(uint32_t D, bool Swap) { return Swap ? IESwapDWord(D) : D; }
void IEReverseBitsByte(uint8_t& B);
void IEReverseBitsDWord(uint32_t& D);

// ---- Rows, masks and colour counts ----------------------------------------------------------
// Align 32: ((Width * BitsPerPixel + 31) shr 5) * 4 with the product as an unsigned 32-bit
// value; other Align values: ((Width * BitsPerPixel + Align - 1) div Align) * (Align div 8).
// Align 0 gives 0.
int32_t IEBitmapRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align);
// The same row length for a buffer about to be allocated: -1 when the width is negative, the
// alignment not positive, or the row's bits (with the alignment) do not fit a 32-bit length, so
// that the length never wraps.
int32_t IECheckedRowLen(int32_t Width, int32_t BitsPerPixel, int32_t Align);
// The width of a colour channel's bit mask: set bits counted upwards from the lowest set bit.
int32_t IEMaskBitCount(int32_t Mask);
// Index bits needed for Count values: k for 2^k, else the highest set bit's index plus 1; -1 for 0.
int32_t IEBitsForColors(int32_t Count);
// (2^BitsPerSample)^SamplesPerPixel in 32-bit arithmetic; 1 when SamplesPerPixel <= 0.
int32_t IEColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel);

// ---- Hash set of 32-bit keys ----------------------------------------------------------------
// A chain entry of a bucket that holds more than one key.
struct THash1Item {
    int32_t Key;
    THash1Item* Next;
    int32_t Value;
};

// 2^Bits buckets kept in three parallel lists: the bucket's content (a key, or the head of a
// chain), its state (0 empty, 1 one key, 2 chain) and a value slot.
class THash1 {
public:
    explicit THash1(int32_t Bits);   // the shift count is taken modulo 32
    ~THash1();
    THash1(const THash1&) = delete;
    THash1& operator=(const THash1&) = delete;

    // Adds Key when absent: true when added, false when it was there already.
    bool Insert(int32_t Key);

    int32_t GetBits() const { return FBits; }
    uint32_t GetBucketCount() const { return FBucketCount; }
    int32_t GetCount() const { return FCount; }

private:
    union TBucket {
        int32_t Key;
        THash1Item* Chain;
    };
    int32_t FBits;
    uint32_t FBucketCount;
    int32_t FCount = 0;
    std::unique_ptr<TBucket[]> FBuckets;
    std::unique_ptr<uint8_t[]> FStates;
    std::unique_ptr<int32_t[]> FValues;
};

// The file of IEDebugLog; empty (nothing in the system sets it; the I/O set-up clears it).
extern std::wstring IEDebugLogFileName;
// Appends "date time : Message" to IEDebugLogFileName when it is set; file errors raise the
// stream exceptions of the run-time layer.
void IEDebugLog(const std::wstring& Message);
// The same line appended to FileName (nothing when it is empty); the TWAIN log writes through it.
void IEAppendLogLine(const std::wstring& FileName, const std::wstring& Message);
