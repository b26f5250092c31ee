// An installation laid out by hand, as the install step leaves it: the installation folder with
// the program, data files (Japanese names, a sub-folder, hidden files) and the uninstaller files;
// the shop's info file and per-user data folder; the uninstall registry key; the Start-menu and
// desktop shortcuts. Shared by the uninstall unit tests and the end-to-end tests.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "CommonConst.h"
#include "CommonInstaller.h"
#include "KWCommonLib.h"
#include "KWIniFile.h"
#include "KWRegistry.h"
#include "SysUtils.h"
#include "WinApi.h"

#include <shlobj.h>

namespace installfx {

inline const wchar_t* const ShopCode = L"0123456789_ABCDEFGH";
inline const wchar_t* const ShopName = L"写真館テスト";
inline const wchar_t* const UninstallKey =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ORVANE lumi-vera Quillbox(0123456789_ABCDEFGH)";

// The message of an install that fails before anything is registered.
inline const wchar_t* const InstallFailureText =
    L"インストールに失敗しました。\r\n"
    L"インストール先のサイズが少ないか、書き込みできない可能性があります。\r\n"
    L"インストールを完了するには、もう一度インストール作業を行ってください。";

inline void WriteBytes(const std::wstring& APath, const std::string& ABytes) {
    KWForceDirectories(APath.substr(0, APath.find_last_of(L'\\') + 1));
    HANDLE f = CreateFileW(APath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, ABytes.data(), (DWORD)ABytes.size(), &written, nullptr);
    CloseHandle(f);
}

inline bool Exists(const std::wstring& APath) {
    return GetFileAttributesW(APath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool KeyExists(const std::wstring& AKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline std::wstring StartMenuDir() { return KWCombinePath({KWGetShellFolder(L"Programs", true), L"ORVANE"}); }
inline std::wstring DesktopDir() { return KWIncludeTrailingPathDelimiter(KWGetShellFolder(L"Desktop", true)); }
inline std::wstring InfoDir() { return KWCombinePath({CommonEditionDir, ShopCode}); }
inline std::wstring UserDataDir() { return KWCombinePath({UserEditionDir, ShopCode}); }

// The settings of the shop, as the installer carries them.
inline void FillSettings(TKWIniFile& ASettings) {
    ASettings.WriteString(L":Installer", L"SpecialCode", ShopCode);
    ASettings.WriteString(L":Installer", L"ShopName", ShopName);
    ASettings.WriteString(L":Installer", L"MajorVersion", L"1");
    ASettings.WriteString(L":Installer", L"Labo", L"0");
}

struct TInstallation {
    std::wstring Dir;               // with a trailing "\"
    std::vector<std::wstring> Entries;   // the visible top-level entries, uninstaller files aside
    std::wstring HiddenTopFile;     // hidden: not listed, goes with the folder
};

// Lays the installation out in ADir (with "\"); AUninstaller is copied in as "!uninstaller.exe"
// when given.
inline TInstallation LayOut(const std::wstring& ADir, const std::wstring& AUninstaller) {
    CommonConst_Initialize();
    TInstallation inst;
    inst.Dir = KWIncludeTrailingPathDelimiter(ADir);
    const std::wstring& d = inst.Dir;
    WriteBytes(d + L"lumivera_Quillbox.exe", "MZ program");
    WriteBytes(d + L"はじめにお読みください.txt", "readme");
    WriteBytes(d + L"データ\\注文テンプレート.ini", "[Order]");
    WriteBytes(d + L"キャッシュ\\隠し.dat", "cache");
    SetFileAttributesW((d + L"キャッシュ\\隠し.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    inst.HiddenTopFile = d + L"desktop.ini";
    WriteBytes(inst.HiddenTopFile, "[.ShellClassInfo]");
    SetFileAttributesW(inst.HiddenTopFile.c_str(), FILE_ATTRIBUTE_HIDDEN);
    inst.Entries = {d + L"lumivera_Quillbox.exe", d + L"はじめにお読みください.txt", d + L"データ", d + L"キャッシュ"};

    TKWIniFile settings(L"");
    FillSettings(settings);
    SaveUninstallData(d + L"!uninstall.dat", &settings);
    if (!AUninstaller.empty()) CopyFileW(AUninstaller.c_str(), (d + L"!uninstaller.exe").c_str(), FALSE);

    // Registry, info file, per-user data and shortcuts.
    TKWRegistry registry(nullptr);
    registry.WriteString(UninstallKey, L"DisplayName", std::wstring(L"ORVANE lumi-vera クイルボックス(") + ShopName + L")");
    registry.WriteString(UninstallKey, L"UninstallString", d + L"!uninstaller.exe /uninstall");
    WriteBytes(InfoDir() + L"info.ini", "[:Info]\r\nSpecialCode=0123456789_ABCDEFGH\r\nInstallDir=" +
                                            WideToAnsi(d) + "\r\n");
    WriteBytes(UserDataDir() + L"注文履歴.ini", "[History]");
    KWForceDirectories(StartMenuDir());
    KWCreateShortcut(d + L"lumivera_Quillbox.exe", L"", std::wstring(L"lumi-vera クイルボックス(") + ShopName + L")",
                     StartMenuDir(), 0);
    KWCreateShortcut(d + L"!uninstaller.exe", L"/uninstall",
                     std::wstring(L"lumi-vera クイルボックス(") + ShopName + L")のアンインストール", StartMenuDir(), 0);
    KWCreateShortcut(d + L"lumivera_Quillbox.exe", L"", ShopName, DesktopDir(), 0);
    return inst;
}

inline std::wstring ProgramShortcut() {
    return StartMenuDir() + L"lumi-vera クイルボックス(" + ShopName + L").lnk";
}
inline std::wstring UninstallShortcut() {
    return StartMenuDir() + L"lumi-vera クイルボックス(" + ShopName + L")のアンインストール.lnk";
}
inline std::wstring DesktopShortcut() { return DesktopDir() + ShopName + L".lnk"; }

// What a shortcut file holds, read through the shell's link object.
struct TShortcut {
    bool Loaded = false;
    std::wstring Target, Arguments, WorkingDir, IconFile;
    int32_t IconIndex = -1;
};

inline TShortcut ReadShortcut(const std::wstring& ALinkFile) {
    TShortcut link;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&shell))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, (void**)&file))) {
            if (SUCCEEDED(file->Load(ALinkFile.c_str(), STGM_READ))) {
                wchar_t text[MAX_PATH * 2] = {};
                int icon = -1;
                link.Loaded = true;
                if (SUCCEEDED(shell->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) link.Target = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetArguments(text, MAX_PATH * 2))) link.Arguments = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetWorkingDirectory(text, MAX_PATH * 2))) link.WorkingDir = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetIconLocation(text, MAX_PATH * 2, &icon))) {
                    link.IconFile = text;
                    link.IconIndex = icon;
                }
            }
            file->Release();
        }
        shell->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return link;
}

// Expects the shortcut file ALink to start ATarget with AArguments, in the target's folder, with
// the target's icon at AIconIndex.
inline void ExpectShortcut(const std::wstring& ALink, const std::wstring& ATarget, const std::wstring& AArguments,
                           int32_t AIconIndex) {
    SCOPED_TRACE(WideToUtf8(ALink));
    const TShortcut link = ReadShortcut(ALink);
    ASSERT_TRUE(link.Loaded);
    EXPECT_EQ(link.Target, ATarget);
    EXPECT_EQ(link.Arguments, AArguments);
    EXPECT_EQ(link.IconFile, ATarget);
    EXPECT_EQ(link.IconIndex, AIconIndex);
    EXPECT_EQ(KWExcludeTrailingPathDelimiter(link.WorkingDir),
              KWExcludeTrailingPathDelimiter(ATarget.substr(0, ATarget.find_last_of(L'\\') + 1)));
}

// The names of the files in ADir (with "\") that match AMask, sorted.
inline std::vector<std::wstring> FileNames(const std::wstring& ADir, const std::wstring& AMask) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ADir + AMask).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// A string value under HKEY_LOCAL_MACHINE; "<missing>" when the key or the value is absent or
// not a string.
inline std::wstring RegString(const std::wstring& AKey, const std::wstring& AName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    const LONG r = RegQueryValueExW(key, AName.c_str(), nullptr, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : L"<missing>";
}

// The names of the values under a key of HKEY_LOCAL_MACHINE, sorted.
inline std::vector<std::wstring> RegValueNames(const std::wstring& AKey) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

// Removes whatever a test left behind of an installation and of the shared folders.
inline void CleanUp(const std::wstring& ADir) {
    CommonConst_Initialize();
    if (!ADir.empty()) KWDeleteFolder(ADir, false);
    KWDeleteFolder(CommonMakerDir, false);
    KWDeleteFolder(UserMakerDir, false);
    KWDeleteFolder(StartMenuDir(), false);
    KWDeleteFile(DesktopShortcut());
    TKWRegistry registry(nullptr);
    registry.DeleteKey(UninstallKey);
}

}  // namespace installfx
