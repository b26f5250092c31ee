// The installer's payload: the trailer and settings block behind its own program image, and the
// encrypted uninstall data ("!uninstall.dat") from which the installed uninstaller works.
#pragma once
#include <cstdint>
#include <string>

#include "KWZip.h"

class TKWIniFile;

// The settings section and the keys the installer reads.
extern const wchar_t* const InstallerSection;       // ":Installer"
extern const wchar_t* const InstallerShopCodeKey;   // "SpecialCode"
// The key under which "!uninstall.dat" is encrypted.
extern const char* const InstallerSettingsKey;

// Validates the 256-byte trailer of AFileName (opened for reading with exclusive sharing) and
// loads the settings block into ASettings. False for a missing ASettings, a wrong marker, a
// negative size, sizes that do not add up to the file size, or any read or parse error.
// ASettings is cleared once the trailer is found valid, and left alone before.
bool ReadInstallerTrailer(const std::wstring& AFileName, int64_t& AExeSize, int64_t& AZipSize,
                          int64_t& ARequiredSize, int64_t& ASettingsSize, TKWIniFile* ASettings);
// Writes ASettings, encrypted, as AFileName (replacing it). False for a missing ASettings;
// encryption and write errors raise.
bool SaveUninstallData(const std::wstring& AFileName, TKWIniFile* ASettings);
// Decrypts AFileName and adds its settings to ASettings. False when the file is missing, does not
// decrypt or does not parse.
bool LoadUninstallData(const std::wstring& AFileName, TKWIniFile* ASettings);

// Whether loaded settings can drive an install or uninstall: the shop code must be present and
// usable as one folder name. An empty code would turn every per-shop folder, file and registry
// name into the shared one (and an uninstall would delete every shop's data); a code with path
// characters would reach outside the shop's folders. Start-up treats failing settings as a
// corrupt installer ("インストーラが破損しています。") or uninstaller ("アンインストーラが破損しています。").
bool IsValidInstallerSettings(TKWIniFile* ASettings);

// Extracts the archive of the installer AExeFile into ADestDir (created when missing) and, with
// AMakeUninstaller, writes there "!uninstaller.exe" (the program image, without payload) and
// "!uninstall.dat" (the settings, encrypted). AOnProgress, when set, receives the extraction's
// progress. False, without any message, when the file is missing, the folder cannot be created,
// the trailer is invalid, the archive does not open, any entry fails to extract (corrupt data, an
// unsafe name, a file that cannot be written, a full disk) or the uninstaller files cannot be
// written; entries extracted before the failure stay.
bool ExtractInstaller(const std::wstring& AExeFile, const std::wstring& ADestDir, bool AMakeUninstaller,
                      const TzpProgress& AOnProgress);

// Keeps a window alive from a progress callback that runs once per extracted file: pumps the
// message queue when the position shown changes and otherwise at most every PumpIntervalMs. A
// pump that finds nothing still asks the window system, which costs more under load than
// writing a small file.
class TProgressPump {
public:
    static constexpr uint64_t PumpIntervalMs = 25;
    void Step(int64_t APosition);

private:
    int64_t FShown = -1;
    uint64_t FLastPump = 0;
};
