#include "KWCommonLib_folders.h"

#include "WinApi.h"

#include <shlobj.h>

#include "KWCommonLib_shell.h"
#include "KWCommonLib_strings.h"
#include "KWCommonType.h"

namespace {

const wchar_t* const ShellFoldersKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The special folders that the system-folder test checks besides the shell-folder values.
const int32_t SystemFolderCSIDLs[] = {48, 47, 35, 46, 53, 54, 55, 28, 12, 13, 39,
                                      14, 5,  69, 63, 40, 38, 43, 56, 64, 66, 67};

// A string value of an open key; false when it is missing or not a string.
bool ReadStringValue(HKEY AKey, const std::wstring& AName, std::wstring& AValue) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(AKey, AName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    if (RegQueryValueExW(AKey, AName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &got) !=
        ERROR_SUCCESS)
        return false;
    buf.resize(got / sizeof(wchar_t));
    while (!buf.empty() && buf.back() == L'\0') buf.pop_back();
    AValue = buf;
    return true;
}

// The shell's own answer for the all-users folders whose absence would send the installer to the
// root of the drive; '' for any other name or when the shell does not know the folder either.
std::wstring CommonFolderFromShell(const std::wstring& AName) {
    int csidl;
    if (KWSameString(AName, L"Programs", false, false))
        csidl = CSIDL_COMMON_PROGRAMS;
    else if (KWSameString(AName, L"Desktop", false, false))
        csidl = CSIDL_COMMON_DESKTOPDIRECTORY;
    else
        return L"";
    wchar_t buf[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)) || buf[0] == L'\0')
        return L"";
    return KWIncludeTrailingPathDelimiter(buf);
}

}  // namespace

std::wstring KWGetShellFolder(const std::wstring& AName, bool ACommon) {
    HKEY key = nullptr;
    std::wstring value;
    bool opened = RegOpenKeyExW(ACommon ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, ShellFoldersKey, 0,
                                KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
    if (opened) {
        ReadStringValue(key, ACommon ? L"Common " + AName : AName, value);
        RegCloseKey(key);
    }
    if (ACommon && value.empty()) {
        std::wstring fromShell = CommonFolderFromShell(AName);
        if (!fromShell.empty()) return fromShell;
    }
    return opened ? value + L"\\" : std::wstring();
}

std::wstring KWGetSpecialFolder(int32_t ACSIDL) {
    PIDLIST_ABSOLUTE pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(KWGetApplicationWindow(), ACSIDL, &pidl)) || !pidl) return L"";
    wchar_t buf[MAX_PATH + 1] = {};
    const bool ok = SHGetPathFromIDListW(pidl, buf) != FALSE;
    CoTaskMemFree(pidl);
    if (!ok || buf[0] == L'\0') return L"";
    return KWIncludeTrailingPathDelimiter(buf);
}

std::wstring KWGetCommonAppDataDir() { return KWGetSpecialFolder(CSIDL_COMMON_APPDATA); }

std::wstring KWGetLocalAppDataDir() { return KWGetSpecialFolder(CSIDL_LOCAL_APPDATA); }

std::wstring KWGetProgramFilesDir() { return KWGetSpecialFolder(CSIDL_PROGRAM_FILES); }

std::wstring KWGetWindowsDriveRoot() { return KWGetSpecialFolder(CSIDL_WINDOWS).substr(0, 3); }

bool KWIsSystemFolder(const std::wstring& APath) {
    const std::wstring path = KWIncludeTrailingPathDelimiter(APath);
    // A folder the system does not know gives no path; it matches nothing, not even ''.
    auto same = [&path](const std::wstring& AFolder) {
        return !AFolder.empty() && KWSameString(path, KWIncludeTrailingPathDelimiter(AFolder), false, true);
    };
    for (bool common : {false, true})
        for (const wchar_t* name : KWShellFolderNames)
            if (same(KWGetShellFolder(name, common))) return true;
    for (int32_t csidl : SystemFolderCSIDLs)
        if (same(KWGetSpecialFolder(csidl))) return true;
    return false;
}
