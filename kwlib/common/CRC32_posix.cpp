#include "CRC32.h"

#include <cstdio>

#include "SysUtils.h"

void CRC32ShowMessage(const std::wstring& AText) {
    std::fprintf(stderr, "%s\n", WideToUtf8(AText).c_str());
}
