// Opens arbitrary bytes as an archive held in a memory stream, as the installer opens its payload,
// searches every entry and tests them all through the archiver component.
//
// Input: one byte of switches that change the reading path, then the archive. Bit 0: RepairOnOpen
// off (a damaged directory fails instead of being rebuilt); bit 1: the alternate signature set;
// bit 2: OEM names off; bit 3: ExtractCorruptedFiles. A zero byte keeps the installer's settings.
// fuzz/make_archive_open_seeds.py turns the ZIP fixtures into such inputs.
//
// Findings: anything but the engine's own exceptions (Exception and its descendants) leaving the
// component, a search for "*.*" that misses entries, and what the sanitizers see. Encrypted
// entries are tried once with a password and then skipped; every failed entry is passed over.
#include <cstdint>
#include <string>

#include "Classes.h"
#include "FuzzInput.h"
#include "ZFConst.h"
#include "ZipFlow.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t switches = in.U8();
    const std::string bytes = in.Rest();
    TMemoryStream archive;
    if (!bytes.empty()) archive.WriteBuffer(bytes.data(), (int32_t)bytes.size());
    archive.SetPosition(0);

    TZipFlow flow(nullptr);
    flow.RepairOnOpen = !(switches & 1);
    flow.StandardSignatures = !(switches & 2);
    flow.Options.OEMFileNames = !(switches & 4);
    flow.ExtractCorruptedFiles = (switches & 8) != 0;
    flow.OnPassword = [](TObject*, const std::wstring&, std::string& password, bool& skip) {
        if (password.empty()) password = "fuzz";
        else skip = true;
    };
    flow.OnProcessFileFailure = [](TObject*, const std::wstring&, TZFProcessOperation, int32_t, int32_t,
                                   const std::wstring&, TZFAction& action) { action = fxaIgnore; };
    try {
        flow.OpenArchiveStream(&archive, false);
    } catch (const Exception&) {
        return 0;
    }

    const int32_t count = flow.Directory()->Items.Count();
    int32_t found = 0;
    TZFArchiveItem item;
    for (bool ok = flow.FindFirst(L"*.*", item, ZFAllEntriesAttr, L""); ok; ok = flow.FindNext(item))
        if (++found > count) FuzzFinding("the search finds more entries than there are");
    if (found != count) FuzzFinding("the search for *.* misses entries");

    try {
        flow.TestFiles(L"*.*");
    } catch (const Exception&) {
    }
    flow.CloseArchive();
    return 0;
}
