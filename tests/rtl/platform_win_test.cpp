// What later code relies on from the platform under Wine in the Japanese locale.
#include <gtest/gtest.h>
#include "WinApi.h"

TEST(Platform, AnsiAndOemCodePagesAre932) {
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(GetOEMCP(), 932u);
}

TEST(Platform, HorizontalBarRoundTripsThroughCp932) {
    const wchar_t bar[] = L"\x2015";
    char bytes[4] = {};
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(932, 0, bar, 1, bytes, sizeof bytes, nullptr, &lossy);
    ASSERT_EQ(n, 2);
    EXPECT_FALSE(lossy);
    EXPECT_EQ((unsigned char)bytes[0], 0x81);
    EXPECT_EQ((unsigned char)bytes[1], 0x5C);
    wchar_t back[2] = {};
    ASSERT_EQ(MultiByteToWideChar(932, 0, bytes, 2, back, 2), 1);
    EXPECT_EQ(back[0], 0x2015);
}

namespace {

std::wstring ShellFolderValue(const wchar_t* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"";
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? value : L"";
}

}  // namespace

TEST(Platform, AllUsersShellFoldersAreInTheRegistry) {
    // The all-users Start-menu programs and desktop folders, as the installer reads them.
    const std::wstring programs = ShellFolderValue(L"Common Programs");
    const std::wstring desktop = ShellFolderValue(L"Common Desktop");
    EXPECT_FALSE(programs.empty());
    EXPECT_FALSE(desktop.empty());
    EXPECT_NE(programs.find(L"Programs"), std::wstring::npos);
    EXPECT_NE(desktop.find(L"Desktop"), std::wstring::npos);
}

TEST(Platform, AtLeastOneFixedDrive) {
    const DWORD drives = GetLogicalDrives();
    int fixed = 0;
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const wchar_t root[] = {(wchar_t)(L'A' + i), L':', L'\\', 0};
        if (GetDriveTypeW(root) == DRIVE_FIXED) ++fixed;
    }
    EXPECT_GE(fixed, 1);
}
