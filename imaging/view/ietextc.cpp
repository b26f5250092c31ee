#include "ietextc.h"

#include <cstring>

#include "iecoreutils_threads.h"

uint32_t IETextControlClipboardFormat = 0;

TIECharFormat IEEmptyCharFormat() {
    TIECharFormat f;
    std::memset(&f, 0, sizeof f);
    return f;
}

std::string IECharFormatFontName(const TIECharFormat& Format) {
    return std::string(reinterpret_cast<const char*>(Format.FontName + 1), Format.FontName[0]);
}

void IESetCharFormatFontName(TIECharFormat& Format, const std::string& Name) {
    std::memset(Format.FontName, 0, sizeof Format.FontName);
    const size_t n = Name.size() < 255 ? Name.size() : 255;
    Format.FontName[0] = static_cast<uint8_t>(n);
    std::memcpy(Format.FontName + 1, Name.data(), n);
}

bool IESameCharFormat(const TIECharFormat& A, const TIECharFormat& B) {
    constexpr size_t kSkip = sizeof(A.RefCount);
    return std::memcmp(reinterpret_cast<const uint8_t*>(&A) + kSkip, reinterpret_cast<const uint8_t*>(&B) + kSkip,
                       sizeof(TIECharFormat) - kSkip) == 0;
}

void IETextControlInitialize() {
    IETextControlClipboardFormat = IERegisterClipboardFormat(L"PICTURA TEXTMEMO");
}

void IETextControlFinalize() {}
