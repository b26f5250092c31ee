// Colour and system helpers of the core: 24-bit RGB to and from the library's 3-byte CIELab pixel,
// the Windows version index, a float parser that accepts either decimal separator, and the checked
// stream write of the format writers. Platform-neutral (the version query is behind
// iecoreutils_platform.h).
#pragma once

#include <cstdint>
#include <string>

#include "iecoredefs_types.h"
#include "iecoreutils_platform.h"

class TStream;

// A CIELab pixel as a 24-bit value: byte 0 (bits 0-7) L x 2.55, byte 1 a and byte 2 b as signed
// bytes. An RGB argument is a TIERGB read as one little-endian value: red in bits 16-23, green
// 8-15, blue 0-7. The conversions use sRGB with the D65 white point.
uint32_t IERGBToCIELab(uint32_t RGB);
TIERGB IECIELabToRGB(uint32_t Lab);
// The RGB argument of IERGBToCIELab for a pixel.
inline uint32_t IERGBValue(const TIERGB& RGB) {
    return static_cast<uint32_t>(RGB.b) | static_cast<uint32_t>(RGB.g) << 8 | static_cast<uint32_t>(RGB.r) << 16;
}

// The run-time layer's decimal separator: the text-to-float conversion reads it.
constexpr char IEDecimalSeparator = '.';

// S as a float with DecimalSeparator (spaces around it allowed, an optional sign, digits with at
// most one separator, an optional exponent); when that fails, once more with the first "," of S
// made a "." or, when S has no ",", the first "." made a ","; Default when that fails too.
long double IEStrToFloatDef(const std::string& S, long double Default, char DecimalSeparator = IEDecimalSeparator);

// Writes Count bytes of Buffer; when the stream takes fewer (or fails), Aborting becomes true.
// Aborting is never set back to false; nothing is raised.
void IEStreamWriteChecked(TStream& Stream, bool& Aborting, const void* Buffer, int32_t Count);
