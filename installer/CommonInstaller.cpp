#include "CommonInstaller.h"

#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "KWCommonLib.h"
#include "KWFileEncrypt.h"
#include "KWIniFile.h"
#include "WinApi.h"

const wchar_t* const InstallerSection = L":Installer";
const wchar_t* const InstallerShopCodeKey = L"SpecialCode";
const char* const InstallerSettingsKey = "Vd3kQ8mLx2PzT5nw";

namespace {

const wchar_t* const kTrailerMarker = L"LUMIVERAINSTALLER";
constexpr int64_t kTrailerSize = 256;
constexpr int32_t kMarkerBytes = 80;

int64_t ReadInt64LE(const uint8_t* p) { return (int64_t)ByteOrder::GetLE64(p); }

// ExeSize + ZipSize + SettingsSize + 256 without overflow; false when it would overflow.
bool PayloadSize(int64_t AExeSize, int64_t AZipSize, int64_t ASettingsSize, int64_t& ATotal) {
    return !__builtin_add_overflow(AExeSize, AZipSize, &ATotal) &&
           !__builtin_add_overflow(ATotal, ASettingsSize, &ATotal) &&
           !__builtin_add_overflow(ATotal, kTrailerSize, &ATotal);
}

}  // namespace

bool ReadInstallerTrailer(const std::wstring& AFileName, int64_t& AExeSize, int64_t& AZipSize,
                          int64_t& ARequiredSize, int64_t& ASettingsSize, TKWIniFile* ASettings) {
    if (!ASettings) return false;
    try {
        TFileStream file(AFileName, fmOpenRead | fmShareExclusive);
        const int64_t fileSize = file.GetSize();
        if (fileSize < kTrailerSize) return false;
        uint8_t trailer[112] = {};
        file.Seek(-kTrailerSize, soEnd);
        file.ReadBuffer(trailer, sizeof trailer);

        // The marker: UTF-16LE up to the first zero unit, at most 40 units, blanks trimmed.
        std::wstring marker;
        for (int32_t i = 0; i < kMarkerBytes; i += 2) {
            const wchar_t c = (wchar_t)(trailer[i] | trailer[i + 1] << 8);
            if (c == 0) break;
            marker += c;
        }
        if (KWTrim(marker) != kTrailerMarker) return false;

        AExeSize = ReadInt64LE(trailer + 80);
        AZipSize = ReadInt64LE(trailer + 88);
        ARequiredSize = ReadInt64LE(trailer + 96);
        ASettingsSize = ReadInt64LE(trailer + 104);
        // Negative sizes could add up to the file size while naming pieces outside it.
        if (AExeSize < 0 || AZipSize < 0 || ARequiredSize < 0 || ASettingsSize < 0) return false;
        int64_t total = 0;
        if (!PayloadSize(AExeSize, AZipSize, ASettingsSize, total) || total != fileSize) return false;

        ASettings->Clear();
        if (ASettingsSize > 0) {
            if (ASettingsSize > INT32_MAX) return false;
            std::vector<uint8_t> block((size_t)ASettingsSize);
            file.Seek(-(ASettingsSize + kTrailerSize), soEnd);
            file.ReadBuffer(block.data(), (int32_t)ASettingsSize);
            TMemoryStream settings;
            settings.WriteBuffer(block.data(), (int32_t)block.size());
            settings.SetPosition(0);
            ASettings->LoadFromStream(&settings);
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool SaveUninstallData(const std::wstring& AFileName, TKWIniFile* ASettings) {
    if (!ASettings) return false;
    KWDeleteFile(AFileName);
    TMemoryStream plain;
    ASettings->SaveToStream(&plain);
    plain.SetPosition(0);
    return KWEncryptStreamToFile(&plain, AFileName, InstallerSettingsKey);
}

bool LoadUninstallData(const std::wstring& AFileName, TKWIniFile* ASettings) {
    if (!ASettings || !KWFileExists(AFileName)) return false;
    try {
        TMemoryStream plain;
        if (!KWDecryptFileToStream(AFileName, &plain, InstallerSettingsKey)) return false;
        plain.SetPosition(0);
        ASettings->LoadFromStream(&plain);
        return true;
    } catch (...) {
        return false;
    }
}

bool IsValidInstallerSettings(TKWIniFile* ASettings) {
    if (!ASettings) return false;
    const std::wstring code = KWTrim(ASettings->ReadString(InstallerSection, InstallerShopCodeKey, L""));
    if (code.empty()) return false;
    bool onlyDotsAndBlanks = true;
    for (wchar_t c : code) {
        if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return false;
        if (c != L'.' && c != L' ') onlyDotsAndBlanks = false;
    }
    // "." and ".." (and names that Windows shortens to them) name the parent folders.
    return !onlyDotsAndBlanks;
}

void TProgressPump::Step(int64_t APosition) {
    const uint64_t now = GetTickCount64();
    if (APosition == FShown && now - FLastPump < PumpIntervalMs) return;
    FShown = APosition;
    FLastPump = now;
    KWProcessMessages();
}

bool ExtractInstaller(const std::wstring& AExeFile, const std::wstring& ADestDir, bool AMakeUninstaller,
                      const TzpProgress& AOnProgress) {
    if (!KWFileExists(AExeFile) || !KWForceDirectories(ADestDir)) return false;
    const std::wstring dest = KWIncludeTrailingPathDelimiter(ADestDir);
    try {
        TKWIniFile settings(L"");
        int64_t exeSize = 0, zipSize = 0, requiredSize = 0, settingsSize = 0;
        if (!ReadInstallerTrailer(AExeFile, exeSize, zipSize, requiredSize, settingsSize, &settings)) return false;

        // The file stays open, others may read but not change it, while the archive is read in place
        // and the program image copied out.
        TFileStream installer(AExeFile, fmOpenRead | fmShareDenyWrite);
        // The file may have changed since its trailer was read: the pieces must still fit.
        const int64_t fileSize = installer.GetSize();
        const int64_t zipEnd = fileSize - settingsSize - kTrailerSize;
        if (exeSize > INT32_MAX || zipEnd < exeSize || zipEnd - exeSize > INT32_MAX) return false;
        TRangeStream archive(&installer, exeSize, zipEnd - exeSize);

        TKWZip zip(nullptr);
        if (AOnProgress) zip.OnUnZipProgress = AOnProgress;
        if (!zip.OpenZip(&archive, L"")) return false;
        const bool extracted = zip.ExportFiles(dest, L"*.*");
        zip.CloseZip();
        if (!extracted) return false;

        if (AMakeUninstaller) {
            {
                TFileStream uninstaller(dest + L"!uninstaller.exe", fmCreate);
                TRangeStream image(&installer, 0, exeSize);
                if (exeSize > 0) uninstaller.CopyFrom(&image, exeSize);
            }
            if (!SaveUninstallData(dest + L"!uninstall.dat", &settings)) return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}
