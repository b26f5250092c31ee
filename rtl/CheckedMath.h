// Arithmetic that reports overflow instead of wrapping or being undefined. Every size, count and
// offset that comes from a file is combined through these before it sizes an allocation, indexes
// a buffer or moves a file position: a false result means the file lies, and the caller fails
// cleanly.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace Checked {

// *AResult = A + B; false (and *AResult untouched) when the sum does not fit T.
template <class T>
bool Add(T A, T B, T* AResult) {
    static_assert(std::is_integral<T>::value, "integers only");
    T r;
    if (__builtin_add_overflow(A, B, &r)) return false;
    *AResult = r;
    return true;
}

// *AResult = A - B; false when the difference does not fit T.
template <class T>
bool Sub(T A, T B, T* AResult) {
    static_assert(std::is_integral<T>::value, "integers only");
    T r;
    if (__builtin_sub_overflow(A, B, &r)) return false;
    *AResult = r;
    return true;
}

// *AResult = A * B; false when the product does not fit T.
template <class T>
bool Mul(T A, T B, T* AResult) {
    static_assert(std::is_integral<T>::value, "integers only");
    T r;
    if (__builtin_mul_overflow(A, B, &r)) return false;
    *AResult = r;
    return true;
}

// The value of any integer as T, when it fits (a negative to unsigned, a 64-bit size to size_t on
// a 32-bit target).
template <class T, class U>
bool Cast(U AValue, T* AResult) {
    static_assert(std::is_integral<T>::value && std::is_integral<U>::value, "integers only");
    T r;
    if (__builtin_add_overflow(AValue, 0, &r)) return false;
    *AResult = r;
    return true;
}

// Offset + Length lies within a buffer or file of ASize (all non-negative): the range check of
// every record read from a file.
template <class T>
bool InRange(T AOffset, T ALength, T ASize) {
    static_assert(std::is_integral<T>::value, "integers only");
    if constexpr (std::is_signed<T>::value) {
        if (AOffset < 0 || ALength < 0 || ASize < 0) return false;
    }
    T end;
    return Add(AOffset, ALength, &end) && end <= ASize;
}


// Floating-point values from a file or a caller become integers through these two: converting a
// double outside the target's range (or NaN) is undefined behaviour in C++, so a file with a
// resolution of 1e300 must not reach a plain cast.

// Trunc(AValue) as T when it is a number whose truncation fits T; false otherwise (NaN, infinity,
// out of range), *AResult untouched.
template <class T, class F>
bool TruncFloat(F AValue, T* AResult) {
    static_assert(std::is_integral<T>::value && std::is_floating_point<F>::value, "float to integer");
    if (!std::isfinite(AValue)) return false;
    const long double t = std::trunc(static_cast<long double>(AValue));
    if (t < static_cast<long double>(std::numeric_limits<T>::min()) ||
        t > static_cast<long double>(std::numeric_limits<T>::max()))
        return false;
    *AResult = static_cast<T>(t);
    return true;
}

// Trunc(AValue) clamped into T's range: NaN gives ANaN (0 unless said), -inf and values below the
// range the minimum, +inf and values above it the maximum.
template <class T, class F>
T TruncSaturate(F AValue, T ANaN = 0) {
    static_assert(std::is_integral<T>::value && std::is_floating_point<F>::value, "float to integer");
    if (std::isnan(AValue)) return ANaN;
    const long double t = std::trunc(static_cast<long double>(AValue));
    if (t <= static_cast<long double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (t >= static_cast<long double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(t);
}

// Round(AValue) (to nearest, ties to even) clamped into T's range, NaN giving ANaN.
template <class T, class F>
T RoundSaturate(F AValue, T ANaN = 0) {
    static_assert(std::is_integral<T>::value && std::is_floating_point<F>::value, "float to integer");
    if (std::isnan(AValue)) return ANaN;
    return TruncSaturate<T>(std::nearbyint(static_cast<long double>(AValue)), ANaN);
}

}  // namespace Checked
