// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

void TPicturaIO::LoadFromFile(const std::wstring&) { NotBuilt(L"LoadFromFile"); }
void TPicturaIO::LoadFromFileByExtension(const std::wstring&, TIOFileType) { NotBuilt(L"LoadFromFileByExtension"); }
void TPicturaIO::LoadFromFileFormat(const std::wstring&, TIOFileType) { NotBuilt(L"LoadFromFileFormat"); }
void TPicturaIO::LoadFromStream(TStream*) { NotBuilt(L"LoadFromStream"); }
void TPicturaIO::LoadFromStreamFormat(TStream*, TIOFileType) { NotBuilt(L"LoadFromStreamFormat"); }
void TPicturaIO::LoadFromBuffer(const void*, int32_t, TIOFileType) { NotBuilt(L"LoadFromBuffer"); }
void TPicturaIO::ParamsFromFile(const std::wstring&) { NotBuilt(L"ParamsFromFile"); }
void TPicturaIO::ParamsFromFileFormat(const std::wstring&, TIOFileType) { NotBuilt(L"ParamsFromFileFormat"); }
void TPicturaIO::ParamsFromStream(TStream*) { NotBuilt(L"ParamsFromStream"); }
void TPicturaIO::ParamsFromStreamFormat(TStream*, TIOFileType) { NotBuilt(L"ParamsFromStreamFormat"); }
void TPicturaIO::ParamsFromBuffer(const void*, int32_t, TIOFileType) { NotBuilt(L"ParamsFromBuffer"); }
void TPicturaIO::SaveToFile(const std::wstring&, TIOFileType) { NotBuilt(L"SaveToFile"); }
void TPicturaIO::SaveToStream(TStream*, TIOFileType) { NotBuilt(L"SaveToStream"); }
