// The POSIX twins of ZFStrFunc's platform services: case mapping with the Windows tables'
// exceptions, Wine-shaped full paths, the file services over a scratch folder, and the drive
// services of the volume layer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <set>
#include <string>

#include "NativeTestUtil.h"
#include "PosixPlatform.h"
#include "ZFStrFunc.h"
#include "ZFVolumes.h"

using nativetest::TScratchDir;

TEST(PosixStrFunc, CaseMappingKeepsWhatWindowsKeeps) {
    EXPECT_EQ(ZFLowerCase(L"ÄΑАＡ写"), L"äαаａ写");
    EXPECT_EQ(ZFUpperCase(L"äαаａ写"), L"ÄΑАＡ写");
    // Dotted I, the Kelvin and Angstrom signs, dotless i and long s stay as they are.
    EXPECT_EQ(ZFLowerCase(L"\x0130\x212A\x212B"), L"\x0130\x212A\x212B");
    EXPECT_EQ(ZFUpperCase(L"\x0131\x017F"), L"\x0131\x017F");
}

TEST(PosixStrFunc, FullPathsTakeWinesShape) {
    EXPECT_EQ(ZFExpandFileName(L"Z:\\a\\.\\b\\..\\c"), L"Z:\\a\\c");
    EXPECT_EQ(ZFExpandFileName(L"/a/b/"), L"Z:\\a\\b\\");
    EXPECT_EQ(ZFExpandFileName(L"Z:\\..\\.."), L"Z:\\");
    const std::wstring cwd = ZFGetCurrentDir();
    ASSERT_EQ(cwd.compare(0, 3, L"Z:\\"), 0) << cwd;
    EXPECT_EQ(ZFExpandFileName(L"x\\y.txt"), ZFIncludeTrailingBackslash(cwd) + L"x\\y.txt");
    EXPECT_EQ(ZFSystemTempDir().back(), L'\\');
}

TEST(PosixStrFunc, FileServicesWorkOnWineShapedPaths) {
    TScratchDir dir;
    const std::wstring root = dir.Path();
    ASSERT_TRUE(ZFForceDirectories(root + L"写真\\sub"));
    EXPECT_TRUE(ZFDirectoryExists(root + L"写真\\sub\\"));

    const std::wstring temp = TempFileName(root + L"写真");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(ZFExtractFilePath(temp), root + L"写真\\");
    const std::wstring name = ZFExtractFileName(temp);
    EXPECT_EQ(name.size(), 10u);
    EXPECT_EQ(name.compare(0, 2, L"FC"), 0);
    EXPECT_EQ(name.substr(6), L".TMP");
    EXPECT_TRUE(ZFFileExists(temp));
    EXPECT_FALSE(ZFFileExists(root + L"写真"));

    // A rename does not replace an existing file.
    const std::wstring other = TempFileName(root + L"写真");
    EXPECT_FALSE(ZFRenameFile(temp, other));
    ASSERT_TRUE(ZFDeleteFile(other));
    EXPECT_TRUE(ZFRenameFile(temp, other));

    // Read-only is the owner's write permission; the age is the local DOS time.
    EXPECT_TRUE(ZFFileSetAttr(other, faReadOnly));
    EXPECT_EQ(ZFFileGetAttr(other), faArchive | faReadOnly);
    EXPECT_TRUE(ZFFileSetAttr(other, faArchive));
    EXPECT_EQ(ZFFileGetAttr(other), faArchive);
    EXPECT_EQ(ZFFileGetAttr(root + L"missing"), -1);
    struct tm local = {};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 6;
    local.tm_hour = 7;
    local.tm_min = 8;
    local.tm_sec = 10;
    local.tm_isdst = -1;
    const struct utimbuf times = {mktime(&local), mktime(&local)};
    ASSERT_EQ(utime(kwposix::PosixPath(other).c_str(), &times), 0);
    EXPECT_EQ(ZFFileAge(other), (int32_t)((44u << 9 | 5u << 5 | 6u) << 16 | (7u << 11 | 8u << 5 | 5u)));
    EXPECT_EQ(ZFFileAge(root + L"写真"), -1);   // a folder has no age
}

TEST(PosixStrFunc, ListingsFollowTheAttributeMask) {
    TScratchDir dir;
    const std::wstring root = dir.Path();
    ASSERT_TRUE(ZFForceDirectories(root + L"Folder"));
    for (const wchar_t* name : {L"a.txt", L"B.TXT", L".hidden.txt", L"c.bin"})
        TFileStream(root + name, fmCreate);

    auto list = [&](const std::wstring& mask, int32_t attr) {
        std::set<std::wstring> names;
        TZFSearchRec rec;
        if (ZFFindFirst(root + mask, attr, rec)) {
            do names.insert(rec.Name);
            while (ZFFindNext(rec));
            ZFFindClose(rec);
        }
        return names;
    };
    EXPECT_EQ(list(L"*.txt", 0), (std::set<std::wstring>{L"a.txt", L"B.TXT"}));
    EXPECT_EQ(list(L"*.TXT", faHidden), (std::set<std::wstring>{L"a.txt", L"B.TXT", L".hidden.txt"}));
    EXPECT_EQ(list(L"*.*", faDirectory), (std::set<std::wstring>{L".", L"..", L"Folder", L"a.txt", L"B.TXT", L"c.bin"}));
    EXPECT_EQ(list(L"b.txt", 0), (std::set<std::wstring>{L"B.TXT"}));
    EXPECT_TRUE(list(L"*.none", 0).empty());

    EXPECT_TRUE(RemoveFolderTree(root + L"Folder\\"));
    EXPECT_FALSE(ZFDirectoryExists(root + L"Folder"));
}

TEST(PosixVolumes, DriveServicesOfTheBuildMachine) {
    TZFVolumeServices& drive = ZFSystemVolumeServices();
    TScratchDir dir;
    EXPECT_GT(drive.FreeSpace(dir.Path() + L"not\\yet\\there.zip"), 0);
    EXPECT_FALSE(drive.IsRemovable(dir.Path() + L"a.zip"));
    EXPECT_TRUE(drive.IsRemovable(L"A:\\a.zip"));   // a floppy drive letter
    EXPECT_FALSE(drive.SetDriveLabel(dir.Path(), L"PKBACK# 001"));
    EXPECT_FALSE(drive.Confirm(L"Insert the next disk"));
}
