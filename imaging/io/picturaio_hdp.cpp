// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

void TPicturaIO::LoadFromFileHDP(const std::wstring&) { NotBuilt(L"LoadFromFileHDP"); }
void TPicturaIO::LoadFromStreamHDP(TStream*) { NotBuilt(L"LoadFromStreamHDP"); }
void TPicturaIO::SyncLoadFromStreamHDP(TStream*) { NotBuilt(L"SyncLoadFromStreamHDP"); }
void TPicturaIO::SaveToFileHDP(const std::wstring&) { NotBuilt(L"SaveToFileHDP"); }
void TPicturaIO::SaveToStreamHDP(TStream*) { NotBuilt(L"SaveToStreamHDP"); }
void TPicturaIO::SyncSaveToStreamHDP(TStream*) { NotBuilt(L"SyncSaveToStreamHDP"); }
