// Not built yet: each operation below raises until its body lands.
#include "picturaio.h"

#include "SysUtils.h"

namespace {
[[noreturn]] void NotBuilt(const wchar_t* Name) {
    throw Exception(std::wstring(L"TPicturaIO::") + Name + L" is not built yet");
}
}  // namespace

void TPicturaIO::ImportMetafileFromFile(const std::wstring&, int32_t, int32_t, bool) { NotBuilt(L"ImportMetafileFromFile"); }
void TPicturaIO::ImportMetafileFromStream(TStream*, int32_t, int32_t, bool) { NotBuilt(L"ImportMetafileFromStream"); }
void TPicturaIO::ParamsFromMetafileStream(TStream*) { NotBuilt(L"ParamsFromMetafileStream"); }
