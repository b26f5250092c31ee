// Shell folders and the special-folder test, on the test prefix's own folders.
#include <gtest/gtest.h>

#include "KWCommonLib.h"
#include "WinApi.h"

#include <shlobj.h>

namespace {

const wchar_t* const ShellFoldersKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::wstring ShellPath(int ACSIDL) {
    wchar_t buf[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, ACSIDL, nullptr, SHGFP_TYPE_CURRENT, buf))) return L"";
    return KWIncludeTrailingPathDelimiter(buf);
}

std::wstring Upper(std::wstring s) {
    CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

// Removes one all-users value of "Shell Folders" for the life of the object, then puts it back.
class TRemovedCommonValue {
public:
    explicit TRemovedCommonValue(const std::wstring& AName) : FName(L"Common " + AName) {
        wchar_t buf[MAX_PATH + 1] = {};
        DWORD size = sizeof(buf);
        FHad = RegGetValueW(HKEY_LOCAL_MACHINE, ShellFoldersKey, FName.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) ==
               ERROR_SUCCESS;
        FValue = buf;
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, ShellFoldersKey, FName.c_str());
    }
    ~TRemovedCommonValue() {
        if (FHad)
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, ShellFoldersKey, FName.c_str(), REG_SZ, FValue.c_str(),
                            static_cast<DWORD>((FValue.size() + 1) * sizeof(wchar_t)));
    }
    bool Had() const { return FHad; }

private:
    std::wstring FName, FValue;
    bool FHad = false;
};

}  // namespace

TEST(KWFolders, ShellFolderValuesOfThePrefix) {
    EXPECT_TRUE(KWSameString(KWGetShellFolder(L"Programs", true),
                             L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\", false, false));
    EXPECT_TRUE(KWSameString(KWGetShellFolder(L"Desktop", true), L"C:\\users\\Public\\Desktop\\", false, false));
    EXPECT_EQ(KWGetShellFolder(L"Desktop", false), ShellPath(CSIDL_DESKTOPDIRECTORY));
    // A value that does not exist gives "\" alone, per user and for all users.
    EXPECT_EQ(KWGetShellFolder(L"NoSuchFolderValue", false), L"\\");
    EXPECT_EQ(KWGetShellFolder(L"NoSuchFolderValue", true), L"\\");
}

TEST(KWFolders, MissingAllUsersProgramsAndDesktopValuesFallBackToTheShell) {
    for (const wchar_t* name : {L"Programs", L"Desktop"}) {
        const std::wstring expected =
            ShellPath(std::wstring(name) == L"Programs" ? CSIDL_COMMON_PROGRAMS : CSIDL_COMMON_DESKTOPDIRECTORY);
        ASSERT_FALSE(expected.empty());
        TRemovedCommonValue removed(name);
        ASSERT_TRUE(removed.Had()) << name;
        // Never the root of the current drive ("\" + "ORVANE" would be \ORVANE\).
        EXPECT_EQ(KWGetShellFolder(name, true), expected) << name;
    }
    // Other all-users values keep the plain answer.
    TRemovedCommonValue removed(L"Startup");
    EXPECT_EQ(KWGetShellFolder(L"Startup", true), L"\\");
}

TEST(KWFolders, SpecialFoldersEndWithABackslash) {
    EXPECT_TRUE(KWSameString(KWGetSpecialFolder(CSIDL_WINDOWS), L"C:\\windows\\", false, false));
    EXPECT_EQ(KWGetCommonAppDataDir(), ShellPath(CSIDL_COMMON_APPDATA));
    EXPECT_EQ(KWGetLocalAppDataDir(), ShellPath(CSIDL_LOCAL_APPDATA));
    EXPECT_EQ(KWGetProgramFilesDir(), ShellPath(CSIDL_PROGRAM_FILES));
    EXPECT_TRUE(KWSameString(KWGetWindowsDriveRoot(), L"C:\\", false, false));
    // An identifier the system does not know, and a virtual folder without a path: ''.
    EXPECT_EQ(KWGetSpecialFolder(0x7E), L"");
    EXPECT_EQ(KWGetSpecialFolder(CSIDL_DRIVES), L"");
}

TEST(KWFolders, SystemFolderTest) {
    const std::wstring desktop = KWGetShellFolder(L"Desktop", true);
    const std::wstring noSlash = KWExcludeTrailingPathDelimiter(desktop);
    struct Case {
        std::wstring path;
        bool system;
    } cases[] = {
        {desktop, true},
        {noSlash, true},
        {Upper(noSlash), true},
        {L"  " + desktop, true},                         // blanks are trimmed
        {desktop + L"Sub\\", false},                     // a sub-folder is an ordinary folder
        {KWGetShellFolder(L"Programs", true), true},
        {KWGetShellFolder(L"Personal", false), true},
        {KWGetProgramFilesDir(), true},                  // by identifier
        {KWGetCommonAppDataDir(), true},
        {KWGetProgramFilesDir() + L"lumi-vera\\", false},
        {L"C:\\lumi-vera\\Quillbox\\0001\\", false},
        {L"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(KWIsSystemFolder(c.path), c.system) << c.path;
}
