// The ZIP wrapper unit. Also holds the two normalisers that map characters which the Japanese
// ANSI code page (CP932) cannot round-trip to characters that it can; the ini documents apply
// them around every ANSI read and write.
#pragma once
#include <string>

// After reading ANSI text: U+2015 -> U+2014, U+FFE3 -> U+203E.
std::wstring KWNormalizeLoadedText(const std::wstring& AText);
// Before writing ANSI text: dashes and minus signs to forms CP932 holds, U+2014 -> U+2015,
// U+203E -> U+FFE3, and four CJK ideographs to their CP932 variants; lone surrogates are dropped.
std::wstring KWNormalizeSavedText(const std::wstring& AText);
