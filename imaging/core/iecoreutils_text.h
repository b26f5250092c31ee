// Text, number and encoding helpers of the image library: Base64 of a stream, numbers written with
// "." as the decimal point whatever the locale, a continued-fraction approximation for rationals,
// one YCbCr colour to RGB, size texts, URL kinds, byte-string versions of the run-time layer's
// string functions and a GUID comparison. Stateless and platform-neutral.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "iecoredefs_types.h"

class TStream;

// ---- Encoding and numbers ---------------------------------------------------------------------

// Encodes Count (1..3) bytes of Src as 4 characters of the standard Base64 alphabet into Dst;
// positions beyond the data become "=" (bytes of Src past Count must be 0).
void IEBase64EncodeGroup(const uint8_t* Src, char* Dst, int32_t Count);
// Base64 of Stream from its position to its end, written to F in lines of LineLength div 4 groups
// (at least one group), each line, the last too, ended by CR LF. The last group is padded with "=".
void IEBase64EncodeStream(TStream& Stream, TStream& F, int32_t LineLength);

// The run-time layer's float-to-text (general format, 15 significant digits) with every "," and
// every locale decimal separator replaced by ".".
void IEFloatToStrDotA(std::string& S, long double Value);
void IEFloatToStrDot(std::wstring& S, long double Value);

// Num/Den approximates Value within Tolerance by continued fractions. Whole values give Value/1,
// magnitudes below 1e-19 sign/999999999, above the 32-bit range sign*999999999/1, NaN 0/1. The
// expansion stops before a denominator or numerator would leave 32 bits, and after 64 terms.
void IEFloatToFraction(int32_t& Num, int32_t& Den, double Value, double Tolerance);

// R = Y + 1.402 (Cr - 128), G = Y - 0.34414 (Cb - 128) - 0.71414 (Cr - 128),
// B = Y + 1.772 (Cb - 128), each truncated toward zero and clamped to 0..255.
void IEYCbCrToRGB(TIERGB& Dest, int32_t Y, int32_t Cb, int32_t Cr);

// ---- Texts ----------------------------------------------------------------------------------

void IEIntToStrA(int32_t Value, std::string& S);
// Decimal text with thousands separators (the format "%.0n").
void IEIntToStrGrouped(int32_t Value, std::wstring& S);
// Size below Limit: the grouped number and " bytes"; otherwise Size div 1024 grouped and " KB".
void IESizeToStr(int32_t Size, int32_t Limit, std::wstring& S);
// Upper-case hexadecimal of at least Digits digits (negative values give their 32-bit pattern).
void IEIntToHexA(int32_t Value, int32_t Digits, std::string& S);
// The integer in S (the run-time layer's syntax: sign, decimal or "$"/"0x" hexadecimal), else Default.
int32_t IEStrToIntDefA(const std::string& S, int32_t Default);
// Trim removes the characters up to the space at both ends; the case changes touch A..Z, a..z only.
void IETrimA(const std::string& S, std::string& Res);
void IEUpperCaseA(const std::string& S, std::string& Res);
void IELowerCaseA(const std::string& S, std::string& Res);
// Up to Count bytes from the 1-based Index (an Index below 1 counts as 1; empty past the end).
void IECopyA(const std::string& S, int32_t Index, int32_t Count, std::string& Res);
// 1-based position of SubStr in S; 0 when absent or when SubStr is empty.
int32_t IEPosA(const std::string& SubStr, const std::string& S);
// A copy of the zero-terminated S in a new block of its length + 1 bytes; none for none.
std::unique_ptr<char[]> IEStrNewA(const char* S);

// Float formats of the run-time layer.
enum TFloatFormat : int32_t { ffGeneral = 0, ffExponent = 1, ffFixed = 2, ffNumber = 3, ffCurrency = 4 };
// ffGeneral: Precision significant digits, shortest form. ffExponent: "d.ddd" with Precision
// digits, "E", the exponent's sign and at least Digits (0..4) exponent digits. ffFixed: Digits
// (0..18) decimals, the exponent form when the integer part has more than Precision digits.
// ffNumber and ffCurrency: ffFixed with thousands separators.
void IEFloatToStrF(int32_t Format, int32_t Precision, int32_t Digits, std::wstring& S, long double Value);

// The extension of FileName after lower-casing the whole name (from the last "." after the last
// "\", "/" or ":"), with or without its dot; empty when there is none.
void IEExtractFileExt(const std::wstring& FileName, bool WithDot, std::wstring& Ext);
void IEExtractFileExtA(const std::string& FileName, bool WithDot, std::string& Ext);
void IEExtractFileExtW(const std::wstring& FileName, bool WithDot, std::wstring& Ext);

// After lower-casing: 1 for "http://", 2 "https://", 3 "ftp://" at the start, else 0.
int32_t IEGetURLType(const std::wstring& S);
int32_t IEGetURLTypeA(const std::string& S);

// ---- Small tests ----------------------------------------------------------------------------

// The 16 bytes of two GUIDs are equal.
template <class TGUID>
bool IEEqualGUID(const TGUID& A, const TGUID& B) {
    static_assert(sizeof(TGUID) == 16, "a GUID is 16 bytes");
    return std::memcmp(&A, &B, 16) == 0;
}
