#include "KWZip.h"

#include <cstdint>

// ---- Japanese text normalisers --------------------------------------------------------------

std::wstring KWNormalizeLoadedText(const std::wstring& AText) {
    std::wstring s = AText;
    for (wchar_t& c : s) {
        if (c == 0x2015) c = 0x2014;
        else if (c == 0xFFE3) c = 0x203E;
    }
    return s;
}

namespace {

wchar_t SavedUnit(wchar_t c) {
    switch (c) {
    case 0x2011: case 0x2012: case 0x2013: return L'-';
    case 0x2014: return 0x2015;
    case 0x203E: return 0xFFE3;
    case 0x2212: case 0xFE58: case 0xFE63: return 0xFF0D;
    default: return c;
    }
}

uint32_t SavedCodePoint(uint32_t cp) {
    switch (cp) {
    case 0x525D: return 0x5265;
    case 0x5861: return 0x586B;
    case 0x9830: return 0x982C;
    case 0x20B9F: return 0x53F1;
    default: return cp;
    }
}

void AppendCodePoint(std::wstring& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::wstring KWNormalizeSavedText(const std::wstring& AText) {
    std::wstring out;
    out.reserve(AText.size());
    const size_t n = AText.size();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = static_cast<uint16_t>(SavedUnit(AText[i]));
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(static_cast<uint16_t>(AText[i + 1]))) {
            const uint32_t low = static_cast<uint16_t>(AText[++i]);
            AppendCodePoint(out, SavedCodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            continue;  // a lone surrogate has no ANSI form
        } else {
            AppendCodePoint(out, SavedCodePoint(c));
        }
    }
    return out;
}
