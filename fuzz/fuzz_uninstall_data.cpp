// The uninstall data reader: the bytes of "!uninstall.dat" decrypted from the file with the
// installer's settings key (Blowfish, CBC), then parsed as an ini document, as the uninstaller
// reads them. Whatever decrypts encrypts back to the same bytes, and no input crashes the parse.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "Classes.h"
#include "FuzzInput.h"
#include "KWFileEncrypt.h"
#include "KWIniFile.h"
#include "PosixPlatform.h"
#include "SysUtils.h"

namespace {

// The installer's key for its settings and the uninstall data.
const char* const kSettingsKey = "Vd3kQ8mLx2PzT5nw";

std::string ScratchFolder;
std::wstring DataFile, CheckFile;

void RemoveScratch() {
    RemoveFile(DataFile);
    RemoveFile(CheckFile);
    rmdir(ScratchFolder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kw-fuzz-uninstall-XXXXXX";
    if (!mkdtemp(&pattern[0])) FuzzFinding("no scratch folder");
    ScratchFolder = pattern;
    DataFile = kwposix::WinePath(ScratchFolder + "/!uninstall.dat");
    CheckFile = kwposix::WinePath(ScratchFolder + "/check.dat");
    std::atexit(RemoveScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string cipher(reinterpret_cast<const char*>(data), size);
    if (!WriteWholeFile(DataFile, cipher)) FuzzFinding("the scratch file cannot be written");

    TMemoryStream plain;
    if (!KWDecryptFileToStream(DataFile, &plain, kSettingsKey)) return 0;
    if (plain.GetSize() > (int64_t)size) FuzzFinding("more plain bytes than cipher bytes");

    plain.SetPosition(0);
    KWEncryptStreamToFile(&plain, CheckFile, kSettingsKey);
    std::string back;
    if (!ReadWholeFile(CheckFile, back, size + 16) || back != cipher)
        FuzzFinding("decrypted data does not encrypt back to the same bytes");

    plain.SetPosition(0);
    TKWIniFile settings(L"");
    try {
        settings.LoadFromStream(&plain);
    } catch (const Exception&) {
    }
    return 0;
}
