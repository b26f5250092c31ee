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
#include "../../tools/demo/install_inventory.h"

namespace installfx {

using inventory::FileNames;
using inventory::ReadShortcut;
using inventory::RegString;
using inventory::RegValueNames;
using inventory::TShortcut;

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

// AView: 0 for the process's own registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
inline bool KeyExists(const std::wstring& AKey, REGSAM AView = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ | AView, &key) !=
        ERROR_SUCCESS)
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
