// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

void TPicturaIO::SaveToSourceFile(const std::wstring&, TIOFileType, uint8_t) { NotBuilt(L"SaveToSourceFile"); }
