// The ini document parser (TKWIniFile): any bytes load or are refused with an exception of ours,
// and saving settles: the first save may merge what the ANSI file cannot tell apart (two keys
// whose characters outside the code page both become "?"), but a document loaded from a saved one
// saves to the same bytes from then on.
#include <cstdint>
#include <cstring>

#include "Classes.h"
#include "FuzzInput.h"
#include "KWIniFile.h"

namespace {

std::string Saved(TKWIniFile& AIni) {
    TMemoryStream out;
    AIni.SaveToStream(&out);
    return std::string(static_cast<const char*>(out.GetMemory()), (size_t)out.GetSize());
}

// The bytes a document loaded from ABytes saves to.
std::string Resaved(const std::string& ABytes) {
    TKWIniFile ini(L"");
    TReadOnlyMemoryStream input(ABytes.data(), (int64_t)ABytes.size());
    ini.LoadFromStream(&input);
    return Saved(ini);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TKWIniFile first(L"");
    try {
        TReadOnlyMemoryStream input(data, (int64_t)size);
        first.LoadFromStream(&input);
    } catch (const Exception&) {
        return 0;
    }
    const std::string twice = Resaved(Saved(first));
    if (Resaved(twice) != twice) FuzzFinding("a saved ini document does not settle after its second save");
    return 0;
}
