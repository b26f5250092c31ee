// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

int32_t TPicturaIO::LoadFromFileGIF(const std::wstring&) { NotBuilt(L"LoadFromFileGIF"); }
int32_t TPicturaIO::LoadFromStreamGIF(TStream*) { NotBuilt(L"LoadFromStreamGIF"); }
int32_t TPicturaIO::SyncLoadFromStreamGIF(TStream*) { NotBuilt(L"SyncLoadFromStreamGIF"); }
