// The ini document parser (TKWIniFile): any bytes load or are refused with an exception of ours,
// and saving is a fixed point: a saved document loads back and saves to the same bytes.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TKWIniFile first(L"");
    try {
        TReadOnlyMemoryStream input(data, (int64_t)size);
        first.LoadFromStream(&input);
    } catch (const Exception&) {
        return 0;
    }
    const std::string once = Saved(first);

    TKWIniFile second(L"");
    TReadOnlyMemoryStream again(once.data(), (int64_t)once.size());
    second.LoadFromStream(&again);
    if (Saved(second) != once) FuzzFinding("a saved ini document does not save to the same bytes");
    return 0;
}
