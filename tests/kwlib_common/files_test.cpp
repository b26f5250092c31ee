// Files, folders and drives: listing, masks, deletion, the retrying opener, the verifying copy,
// file times, free space and drives. Everything runs in a scratch folder under the Wine prefix's
// temporary directory, removed after each test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Classes.h"
#include "KWCommonLib.h"
#include "KWLogger.h"
#include "WinApi.h"
#include "support/TestSupport.h"

#include <winioctl.h>

namespace {

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point AStart) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - AStart).count();
}

void WriteText(const std::wstring& APath, const std::string& AContent) {
    HANDLE h = CreateFileW(APath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot write fixture file";
    DWORD written = 0;
    WriteFile(h, AContent.data(), (DWORD)AContent.size(), &written, nullptr);
    CloseHandle(h);
}

std::string ReadText(const std::wstring& APath) { return testsupport::ReadFileBytesOr(APath, "<missing>"); }

bool Exists(const std::wstring& APath) {
    return GetFileAttributesW(APath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Attributes(const std::wstring& APath) {
    return GetFileAttributesW(APath.c_str());
}

// Holds a file open with no sharing, as another program would, until released.
class TFileLock {
public:
    explicit TFileLock(const std::wstring& APath)
        : FHandle(CreateFileW(APath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~TFileLock() { Release(); }
    bool Held() const { return FHandle != INVALID_HANDLE_VALUE; }
    void Release() {
        if (Held()) CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE FHandle;
};

void RemoveUnixLink(const std::wstring& AFolder, const std::wstring& AName);
void RemoveUnixTree(const std::wstring& ADir);

// Removes a scratch tree with plain system calls (links are removed, never followed), so that
// cleaning up does not depend on the code under test.
void RemoveTree(const std::wstring& ADir) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((ADir + L"\\*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = ADir + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            const DWORD attr = data.dwFileAttributes;
            if ((attr & FILE_ATTRIBUTE_DIRECTORY) && !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else if (attr & FILE_ATTRIBUTE_DIRECTORY) {
                // Under Wine only rm removes a Unix link; RemoveDirectoryW would act on its target.
                RemoveUnixLink(ADir, name);
                if (Exists(path)) RemoveDirectoryW(path.c_str());
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &data));
        FindClose(h);
    }
    SetFileAttributesW(ADir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(ADir.c_str());
}

// A drive letter that no drive uses, or 0.
wchar_t UnusedDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (int i = 25; i >= 3; --i)
        if (!(used & (1u << i))) return wchar_t(L'A' + i);
    return 0;
}

class KWFiles : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
        FRoot = std::wstring(temp) + L"kwfiles_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(FRoot.c_str(), nullptr));
        FRoot += L"\\";
    }
    void TearDown() override {
        const std::wstring root = FRoot.substr(0, FRoot.size() - 1);
        RemoveTree(root);
        // Dangling Unix links (left when a test failed) are invisible to Win32 calls under Wine.
        if (Exists(root)) RemoveUnixTree(root);
    }

    std::wstring Path(const std::wstring& ARelative) const { return FRoot + ARelative; }
    void MakeDir(const std::wstring& ARelative) { ASSERT_TRUE(CreateDirectoryW(Path(ARelative).c_str(), nullptr)); }
    void MakeFile(const std::wstring& ARelative, const std::string& AContent = "x", DWORD AAttr = 0) {
        WriteText(Path(ARelative), AContent);
        if (AAttr) SetFileAttributesW(Path(ARelative).c_str(), AAttr);
    }

    // Names relative to the scratch root, folders marked with a trailing "\".
    std::vector<std::wstring> Relative(const TKWFiles& AFiles) const {
        std::vector<std::wstring> names;
        for (const TKWFile& f : AFiles) {
            EXPECT_EQ(f.Name.compare(0, FRoot.size(), FRoot), 0) << "not under the listed folder";
            names.push_back(f.Name.substr(FRoot.size()) + (f.IsFolder ? L"\\" : L""));
        }
        return names;
    }

    std::wstring FRoot;
};

// A tree with visible, hidden and system entries at two levels.
class KWFilesTree : public KWFiles {
protected:
    void SetUp() override {
        KWFiles::SetUp();
        MakeFile(L"a.txt", "alpha");
        MakeFile(L"b.JPG");
        MakeFile(L"c.doc");
        MakeFile(L"readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
        MakeFile(L"hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN);
        MakeFile(L"system.txt", "s", FILE_ATTRIBUTE_SYSTEM);
        MakeDir(L"sub");
        MakeFile(L"sub\\d.txt");
        MakeFile(L"sub\\e.png");
        MakeDir(L"sub\\deep");
        MakeFile(L"sub\\deep\\f.jpg");
        MakeDir(L"empty");
        MakeDir(L"hiddendir");
        SetFileAttributesW(Path(L"hiddendir").c_str(), FILE_ATTRIBUTE_HIDDEN);
        MakeFile(L"hiddendir\\g.txt");
    }
};

TEST_F(KWFilesTree, FileListMasksFilterFilesOnlyAndNeverShowHiddenOrSystemEntries) {
    const std::set<std::wstring> folders = {L"sub\\", L"sub\\deep\\", L"empty\\"};
    struct Case {
        const wchar_t* Mask;
        std::set<std::wstring> Files;
    } cases[] = {
        {L"", {L"a.txt", L"b.JPG", L"c.doc", L"readonly.txt", L"sub\\d.txt", L"sub\\e.png", L"sub\\deep\\f.jpg"}},
        {L"*", {L"a.txt", L"b.JPG", L"c.doc", L"readonly.txt", L"sub\\d.txt", L"sub\\e.png", L"sub\\deep\\f.jpg"}},
        {L"*.txt;*.jpg", {L"a.txt", L"b.JPG", L"readonly.txt", L"sub\\d.txt", L"sub\\deep\\f.jpg"}},
        {L"*.PNG", {L"sub\\e.png"}},
        {L"[a-c]*", {L"a.txt", L"b.JPG", L"c.doc"}},
        {L"nothing", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mask " << testing::PrintToString(std::wstring(c.Mask)));
        TKWFiles files;
        ASSERT_TRUE(KWGetFileList(FRoot, files, c.Mask, true));
        std::set<std::wstring> expected = folders;
        expected.insert(c.Files.begin(), c.Files.end());
        const std::vector<std::wstring> names = Relative(files);
        EXPECT_EQ(std::set<std::wstring>(names.begin(), names.end()), expected);
        EXPECT_EQ(names.size(), expected.size()) << "an entry was listed twice";
    }

    TKWFiles flat;
    KWGetFileList(Path(L"sub"), flat, L"*.txt", false);   // no trailing "\": the listing adds it
    ASSERT_EQ(flat.size(), 2u);
    std::vector<std::wstring> names;
    for (const TKWFile& f : flat) names.push_back(f.Name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{Path(L"sub\\d.txt"), Path(L"sub\\deep")}));
}

TEST_F(KWFilesTree, FileListKeepsTheSystemOrderAndPutsAFoldersContentRightAfterIt) {
    // The system's own order of the visible entries of each folder.
    auto systemOrder = [](const std::wstring& ADir) {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW((ADir + L"*").c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            const std::wstring n = data.cFileName;
            if (n != L"." && n != L".." && !(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
                names.push_back(ADir + n);
        } while (FindNextFileW(h, &data));
        FindClose(h);
        return names;
    };
    TKWFiles files;
    KWGetFileList(FRoot, files, L"", true);
    ASSERT_EQ(files.size(), 10u);

    // Walk the listing: each folder's entries come in the system's order, a folder's content
    // directly follows the folder's own entry.
    size_t index = 0;
    std::function<void(const std::wstring&)> walk = [&](const std::wstring& ADir) {
        for (const std::wstring& name : systemOrder(ADir)) {
            ASSERT_LT(index, files.size());
            EXPECT_EQ(files[index].Name, name);
            const TKWFile entry = files[index++];
            if (entry.IsFolder) walk(entry.Name + L"\\");
        }
    };
    walk(FRoot);
    EXPECT_EQ(index, files.size());

    for (const TKWFile& f : files) {
        if (f.Name == Path(L"a.txt")) {
            EXPECT_EQ(f.Size, 5);
            EXPECT_FALSE(f.IsFolder);
            EXPECT_FALSE(std::isnan(f.Time));
            EXPECT_NEAR(f.Time, Now(), 1.0 / 24 / 60 * 5) << "local time, minutes from now";
        }
        if (f.IsFolder) {
            EXPECT_EQ(f.Size, 0);
            EXPECT_TRUE(f.Attr & FILE_ATTRIBUTE_DIRECTORY);
        }
        if (f.Name == Path(L"readonly.txt")) {
            EXPECT_TRUE(f.Attr & FILE_ATTRIBUTE_READONLY);
        }
    }
}

TEST_F(KWFilesTree, CountSubFoldersSeesVisibleFoldersOnly) {
    EXPECT_EQ(KWCountSubFolders(FRoot, L""), 2);      // sub, empty; not hiddendir, no files
    EXPECT_EQ(KWCountSubFolders(FRoot, L"s*;x*"), 1);
    EXPECT_EQ(KWCountSubFolders(Path(L"missing"), L"*"), 0);
}

TEST_F(KWFiles, ListingsPumpTheMessageQueue) {
    MakeDir(L"sub");
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);   // the thread gets its queue
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 7, 0, 0));
        TKWFiles files;
        if (pass == 0)
            KWGetFileList(FRoot, files, L"", false);
        else
            KWCountSubFolders(FRoot, L"");
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE)) << "pass " << pass;
    }
}

TEST(KWFilesMask, MatchesMaskList) {
    struct Case {
        const wchar_t* Masks;
        const wchar_t* Name;
        bool Expected;
    } cases[] = {
        {L"*.txt;*.jpg", L"photo.JPG", true},      // case is ignored
        {L"*.txt;*.jpg", L"a.txt.bak", false},
        {L";;*.txt;", L"a.txt", true},             // empty parts are dropped
        {L"", L"a.txt", false},
        {L"a?c", L"abc", true},
        {L"a?c", L"ac", false},
        {L"*", L"", true},
        {L"*.*", L"noext", false},                 // the dot is literal
        {L"[a-c]*", L"Beta", true},
        {L"[!a-c]*", L"beta", false},
        {L"[!a-c]*", L"delta", true},
        {L"[xyz].doc", L"y.doc", true},
        {L"[abc", L"a", false},                    // malformed: no match, no exception
        {L"[z-a]*", L"m", false},
        {L"写真*.jpg", L"写真001.jpg", true},
        {L"*a*a*a*a*a*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KWMatchesMaskList(c.Masks, c.Name), c.Expected)
            << testing::PrintToString(std::wstring(c.Masks)) << " ~ " << testing::PrintToString(std::wstring(c.Name));
}

TEST(KWFilesNames, ExtractLastFolderName) {
    struct Case {
        const wchar_t* Path;
        bool Ok;
        const wchar_t* Name;
    } cases[] = {
        {L"C:\\a\\b\\", true, L"b"}, {L"C:\\a\\b", true, L"b"}, {L"C:\\", false, L""},
        {L"C:", false, L""},         {L"name", true, L"name"},  {L"\\\\srv\\share\\", true, L"share"},
    };
    for (const Case& c : cases) {
        std::wstring name = L"unchanged";
        EXPECT_EQ(KWTryExtractLastFolderName(c.Path, name), c.Ok) << testing::PrintToString(std::wstring(c.Path));
        if (c.Ok) {
            EXPECT_EQ(name, c.Name);
        }
        EXPECT_EQ(KWExtractLastFolderName(c.Path), c.Name);
    }
}

TEST_F(KWFiles, ExistenceTestsAndForceDirectories) {
    MakeFile(L"file.bin");
    EXPECT_TRUE(KWFileExists(Path(L"file.bin")));
    EXPECT_FALSE(KWFileExists(FRoot));                  // a folder is no file
    EXPECT_FALSE(KWFileExists(L"C:\\"));                // 3 characters
    EXPECT_FALSE(KWFileExists(L"  "));
    EXPECT_TRUE(KWDirectoryExists(FRoot));
    EXPECT_FALSE(KWDirectoryExists(Path(L"file.bin")));
    EXPECT_FALSE(KWDirectoryExists(L" \t"));

    EXPECT_TRUE(KWForceDirectories(Path(L"x\\y\\z\\")));
    EXPECT_TRUE(KWDirectoryExists(Path(L"x\\y\\z")));
    EXPECT_TRUE(KWForceDirectories(Path(L"x\\y")));     // already there
    EXPECT_FALSE(KWForceDirectories(L""));
    EXPECT_FALSE(KWForceDirectories(Path(L"file.bin\\sub")));   // a file stands in the way
}

TEST_F(KWFiles, IsFolderEmpty) {
    MakeDir(L"e");
    EXPECT_TRUE(KWIsFolderEmpty(Path(L"e")));
    EXPECT_TRUE(KWIsFolderEmpty(Path(L"e\\")));
    EXPECT_TRUE(KWIsFolderEmpty(Path(L"missing")));
    EXPECT_FALSE(KWIsFolderEmpty(L"C:"));
    MakeFile(L"e\\h", "h", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(KWIsFolderEmpty(Path(L"e")));
}

TEST_F(KWFiles, DeleteFolderRemovesReadOnlyHiddenAndSystemContent) {
    MakeDir(L"d");
    MakeFile(L"d\\ro_hidden", "1", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    MakeFile(L"d\\system", "2", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    MakeDir(L"d\\sub");
    MakeFile(L"d\\sub\\ro", "3", FILE_ATTRIBUTE_READONLY);
    MakeDir(L"d\\sub\\hiddendir");
    SetFileAttributesW(Path(L"d\\sub\\hiddendir").c_str(), FILE_ATTRIBUTE_HIDDEN);
    MakeFile(L"d\\sub\\hiddendir\\f");

    EXPECT_FALSE(KWDeleteFolder(Path(L"d"), true)) << "not empty";
    EXPECT_TRUE(Exists(Path(L"d\\sub\\ro")));
    EXPECT_TRUE(KWDeleteFolder(Path(L"d"), false));
    EXPECT_FALSE(Exists(Path(L"d")));

    MakeDir(L"empty");
    EXPECT_TRUE(KWDeleteFolder(Path(L"empty\\"), true));
    EXPECT_FALSE(Exists(Path(L"empty")));

    EXPECT_FALSE(KWDeleteFolder(Path(L"missing"), false));
    EXPECT_FALSE(KWDeleteFolder(L"C:", false));
    EXPECT_FALSE(KWDeleteFolder(L" ", false));
}

TEST_F(KWFiles, DeleteFolderKeepsTheFolderWhenAFileIsLocked) {
    MakeDir(L"d");
    MakeFile(L"d\\a");
    MakeFile(L"d\\locked", "keep");
    MakeFile(L"d\\z");
    {
        TFileLock lock(Path(L"d\\locked"));
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(KWDeleteFolder(Path(L"d"), false));
    }
    EXPECT_TRUE(Exists(Path(L"d")));
    EXPECT_EQ(ReadText(Path(L"d\\locked")), "keep");
    EXPECT_FALSE(Exists(Path(L"d\\a")));   // the walk goes on past the failure
    EXPECT_FALSE(Exists(Path(L"d\\z")));
}

// A junction from APath to ATarget by FSCTL_SET_REPARSE_POINT; false when the system refuses.
bool MakeJunction(const std::wstring& APath, const std::wstring& ATarget) {
    if (!CreateDirectoryW(APath.c_str(), nullptr)) return false;
    HANDLE h = CreateFileW(APath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        RemoveDirectoryW(APath.c_str());
        return false;
    }
    const std::wstring substitute = L"\\??\\" + ATarget;
    const std::wstring print = ATarget;
    const size_t pathBytes = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
    std::vector<BYTE> buffer(8 + 8 + pathBytes, 0);
    auto put16 = [&](size_t AOffset, size_t AValue) { *reinterpret_cast<WORD*>(&buffer[AOffset]) = (WORD)AValue; };
    *reinterpret_cast<DWORD*>(&buffer[0]) = IO_REPARSE_TAG_MOUNT_POINT;
    put16(4, 8 + pathBytes);                                    // ReparseDataLength
    put16(8, 0);                                                // SubstituteNameOffset
    put16(10, substitute.size() * sizeof(wchar_t));             // SubstituteNameLength
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));       // PrintNameOffset
    put16(14, print.size() * sizeof(wchar_t));                  // PrintNameLength
    memcpy(&buffer[16], substitute.c_str(), substitute.size() * sizeof(wchar_t));
    memcpy(&buffer[16 + (substitute.size() + 1) * sizeof(wchar_t)], print.c_str(), print.size() * sizeof(wchar_t));
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), (DWORD)buffer.size(), nullptr, 0,
                                    &returned, nullptr);
    CloseHandle(h);
    if (!ok) RemoveDirectoryW(APath.c_str());
    return ok && (Attributes(APath) & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Runs a Unix program in AFolder (Wine starts ELF programs through CreateProcess) and waits, up to
// 5 s, until ADone holds: Wine gives no handle to wait on for such a process.
bool RunUnix(const std::wstring& AProgram, std::wstring ACommandLine, const std::wstring& AFolder,
             const std::function<bool()>& ADone) {
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(AProgram.c_str(), ACommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        AFolder.c_str(), &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 250 && !ADone(); ++i) Sleep(20);
    return ADone();
}

enum TLinkKind { lkNone, lkJunction, lkUnixLink };

// A link AFolder\AName to the folder ATarget (a path relative to AFolder): a junction where the
// system makes them (Windows); else, under Wine 8, which refuses FSCTL_SET_REPARSE_POINT and whose
// "mklink /J" fails, a Unix symbolic link, which Wine reports as a folder with the reparse-point
// attribute.
TLinkKind MakeFolderLink(const std::wstring& AFolder, const std::wstring& AName, const std::wstring& ATarget) {
    const std::wstring link = AFolder + L"\\" + AName;
    wchar_t full[MAX_PATH];
    GetFullPathNameW((AFolder + L"\\" + ATarget).c_str(), MAX_PATH, full, nullptr);
    if (MakeJunction(link, full)) return lkJunction;
    std::wstring target = ATarget;
    std::replace(target.begin(), target.end(), L'\\', L'/');
    if (RunUnix(L"Z:\\bin\\ln", L"ln -s " + target + L" " + AName, AFolder, [&] { return Exists(link); }))
        return lkUnixLink;
    return lkNone;
}

void RemoveUnixLink(const std::wstring& AFolder, const std::wstring& AName) {
    const std::wstring link = AFolder + L"\\" + AName;
    RunUnix(L"Z:\\bin\\rm", L"rm -f " + AName, AFolder, [&] { return !Exists(link); });
}

void RemoveUnixTree(const std::wstring& ADir) {
    const size_t slash = ADir.rfind(L'\\');
    RunUnix(L"Z:\\bin\\rm", L"rm -rf " + ADir.substr(slash + 1), ADir.substr(0, slash), [&] { return !Exists(ADir); });
}

TEST_F(KWFiles, DeleteFolderNeverWalksThroughAFolderLink) {
    MakeDir(L"target");
    MakeFile(L"target\\precious", "keep me");
    MakeDir(L"d");
    MakeFile(L"d\\own");
    const TLinkKind kind = MakeFolderLink(Path(L"d"), L"link", L"..\\target");
    if (kind == lkNone) GTEST_SKIP() << "this system makes no folder links";
    const DWORD linkAttr = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    ASSERT_EQ(Attributes(Path(L"d\\link")) & linkAttr, linkAttr);
    ASSERT_EQ(ReadText(Path(L"d\\link\\precious")), "keep me") << "the link does not lead to its target";

    const bool deleted = KWDeleteFolder(Path(L"d"), false);
    EXPECT_EQ(ReadText(Path(L"target\\precious")), "keep me") << "the walk went through the link";
    EXPECT_FALSE(Exists(Path(L"d\\own")));
    if (kind == lkJunction) {
        EXPECT_TRUE(deleted);
        EXPECT_FALSE(Exists(Path(L"d")));
    } else {
        // Wine 8 removes a Unix link to a folder by no Win32 call (RemoveDirectoryW acts on the
        // target): the link and its folder stay, and the failure is reported.
        EXPECT_FALSE(deleted);
        EXPECT_TRUE(Exists(Path(L"d\\link")));
    }

    // Given as the folder itself, a link is not walked either.
    ASSERT_EQ(MakeFolderLink(FRoot.substr(0, FRoot.size() - 1), L"link2", L"target"), kind);
    EXPECT_EQ(KWDeleteFolder(Path(L"link2"), false), kind == lkJunction);
    EXPECT_EQ(ReadText(Path(L"target\\precious")), "keep me");
}

TEST_F(KWFiles, DeleteFileAndClearAttributes) {
    EXPECT_TRUE(KWDeleteFile(Path(L"missing")));
    MakeFile(L"ro", "r", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_FALSE(KWDeleteFile(Path(L"ro")));
    EXPECT_TRUE(Exists(Path(L"ro")));
    EXPECT_TRUE(KWClearFileAttributes(Path(L"ro")));
    // (Wine reports the archive bit on every file whatever is set, so only read-only is checked.)
    EXPECT_EQ(Attributes(Path(L"ro")) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(KWClearFileAttributes(FRoot)) << "a plain folder has nothing to clear";
    EXPECT_FALSE(KWClearFileAttributes(Path(L"missing")));
    EXPECT_TRUE(KWDeleteFile(Path(L"ro")));
    EXPECT_FALSE(Exists(Path(L"ro")));
}

TEST_F(KWFiles, SizeAndTimeSeeHiddenFiles) {
    MakeFile(L"h", "12345678", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(KWGetFileSize(Path(L"h")), 8);
    EXPECT_EQ(KWGetFileSize(Path(L"missing")), -1);
    double time = 0;
    EXPECT_TRUE(KWGetFileTime(Path(L"h"), time));
    EXPECT_NEAR(time, Now(), 1.0 / 24 / 60 * 5);
    EXPECT_FALSE(KWGetFileTime(Path(L"missing"), time));
}

TEST_F(KWFiles, SetFileTimesReportsWhatHappened) {
    MakeFile(L"f");
    const double written = EncodeDate(2016, 3, 1) + EncodeTime(9, 5, 6, 0);
    EXPECT_TRUE(KWSetFileTimes(Path(L"f"), EncodeDate(2010, 1, 2), written));
    double time = 0;
    ASSERT_TRUE(KWGetFileTime(Path(L"f"), time));
    EXPECT_NEAR(time, written, 0.5 / SecsPerDay);

    EXPECT_FALSE(KWSetFileTimes(Path(L"missing"), Now(), written)) << "a failed open is a failure";
    EXPECT_FALSE(KWSetFileTimes(FRoot, Now(), written)) << "folders are refused";
    EXPECT_FALSE(KWSetFileTimes(L"C:", Now(), written));
    TFileLock lock(Path(L"f"));
    ASSERT_TRUE(lock.Held());
    EXPECT_FALSE(KWSetFileTimes(Path(L"f"), Now(), written));
}

// ---- Opening ----------------------------------------------------------------------------------

TEST_F(KWFiles, OpenFileCreatesFoldersAndAnEmptyFile) {
    EXPECT_EQ(KWOpenFile(Path(L"missing.dat"), true, true, false, 3, 1000), nullptr);
    EXPECT_FALSE(Exists(Path(L"missing.dat")));
    EXPECT_EQ(KWOpenFile(L"  ", true, true, true, 0, 0), nullptr);

    // Write and create into a folder that does not exist yet.
    const std::wstring name = Path(L"new\\deeper\\file.dat");
    {
        std::unique_ptr<TFileStream> s = KWOpenFile(name, false, true, true, 0, 0);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->GetSize(), 0);
        s->WriteBuffer("abc", 3);
    }
    EXPECT_EQ(ReadText(name), "abc");

    // An existing file opens at position 0, exclusively.
    std::unique_ptr<TFileStream> s = KWOpenFile(name, true, true, true, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetPosition(), 0);
    EXPECT_EQ(s->GetSize(), 3) << "create mode applies to missing files only";
    HANDLE other = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE) << "the stream shares nothing";
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
}

TEST_F(KWFiles, OpenFileDropsWritingInAFolderThatIsNotWritable) {
    // /proc is a folder where nothing can be created, even by root.
    const std::wstring file = L"Z:\\proc\\version";
    if (!Exists(file)) GTEST_SKIP() << "no /proc";
    EXPECT_FALSE(KWIsFolderWritable(L"Z:\\proc\\"));
    EXPECT_TRUE(KWIsFolderWritable(FRoot));
    EXPECT_TRUE(KWIsFolderEmpty(FRoot)) << "the probe file is deleted again";

    std::unique_ptr<TFileStream> s = KWOpenFile(file, true, true, false, 0, 0);
    ASSERT_NE(s, nullptr) << "opened for reading";
    char c = 0;
    EXPECT_EQ(s->Read(&c, 1), 1);
    EXPECT_EQ(KWOpenFile(file, false, true, false, 0, 0), nullptr) << "write only: nothing left";
}

TEST_F(KWFiles, OpenFileRetriesALockedFile) {
    MakeFile(L"locked.dat", "data");
    TFileLock lock(Path(L"locked.dat"));
    ASSERT_TRUE(lock.Held());

    struct Case {
        int32_t Tries, Sleep;
        int64_t MinMs, MaxMs;
    } cases[] = {
        {0, 1000, 0, 500},      // one attempt, no sleep after it
        {-3, 1000, 0, 500},     // negative counts as 0
        {3, 150, 450, 3000},    // four attempts, three sleeps
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tries " << c.Tries << ", sleep " << c.Sleep);
        const auto start = Clock::now();
        EXPECT_EQ(KWOpenFile(Path(L"locked.dat"), true, false, false, c.Tries, c.Sleep), nullptr);
        const int64_t ms = MillisecondsSince(start);
        EXPECT_GE(ms, c.MinMs);
        EXPECT_LE(ms, c.MaxMs);
    }

    // Released while the opener waits: a later attempt succeeds.
    std::thread releaser([&] {
        Sleep(200);
        lock.Release();
    });
    std::unique_ptr<TFileStream> s = KWOpenFile(Path(L"locked.dat"), true, false, false, 20, 50);
    releaser.join();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetSize(), 4);
}

TEST_F(KWFiles, OpenFileLogsEachFailedAttempt) {
    MakeFile(L"locked.dat");
    TFileLock lock(Path(L"locked.dat"));
    ASSERT_TRUE(lock.Held());
    KWLogger_Initialize();
    TKWLogger* logger = KWGetGlobalLogger();
    ASSERT_NE(logger, nullptr);
    logger->StopThread();   // the entries stay queued where the test can count them

    EXPECT_EQ(KWOpenFile(Path(L"missing.dat"), true, false, false, 5, 10), nullptr);
    EXPECT_EQ(KWOpenFile(Path(L"locked.dat"), true, false, false, 2, 10), nullptr);
    {
        std::lock_guard<std::mutex> guard(logger->Lock);
        ASSERT_EQ(logger->Queue.size(), 3u) << "one entry per attempt; none for the missing file";
        for (const auto& entry : logger->Queue) {
            EXPECT_EQ(entry->Sender, L"KWOpenFile");
            EXPECT_EQ(entry->Level, 3);
            EXPECT_NE(entry->Text.find(L"locked.dat"), std::wstring::npos) << testing::PrintToString(entry->Text);
        }
    }
    KWLogger_Finalize();
}

// ---- Copy ---------------------------------------------------------------------------------------

TEST_F(KWFiles, CopyFileVerifiesAndCopiesTheTime) {
    std::string content;
    for (int i = 0; i < 70000; ++i) content += char('a' + i % 23);
    MakeFile(L"src.bin", content);
    const double written = EncodeDate(2015, 6, 7) + EncodeTime(8, 9, 10, 0);
    ASSERT_TRUE(KWSetFileTimes(Path(L"src.bin"), written, written));
    SetFileAttributesW(Path(L"src.bin").c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(KWCopyFile(Path(L"src.bin"), Path(L"out\\sub\\dst.bin"), false, true, true));
    EXPECT_EQ(ReadText(Path(L"out\\sub\\dst.bin")), content);
    EXPECT_EQ(Attributes(Path(L"out\\sub\\dst.bin")) & FILE_ATTRIBUTE_READONLY, 0u) << "read-only is cleared";
    double time = 0;
    ASSERT_TRUE(KWGetFileTime(Path(L"out\\sub\\dst.bin"), time));
    EXPECT_NEAR(time, written, 0.5 / SecsPerDay);

    std::wstring crcSource, crcDest;
    ASSERT_TRUE(KWGetFileCRC(Path(L"src.bin"), crcSource));
    ASSERT_TRUE(KWGetFileCRC(Path(L"out\\sub\\dst.bin"), crcDest));
    EXPECT_EQ(crcSource, crcDest);

    // Overwriting an existing copy, and a copy onto itself, which touches nothing.
    WriteText(Path(L"out\\sub\\dst.bin"), "old");
    EXPECT_TRUE(KWCopyFile(Path(L"src.bin"), Path(L"out\\sub\\dst.bin"), true, false, true));
    EXPECT_EQ(ReadText(Path(L"out\\sub\\dst.bin")), content);
    EXPECT_TRUE(KWCopyFile(Path(L"out\\sub\\dst.bin"), Path(L"OUT\\sub\\DST.bin"), true, true, true));
    EXPECT_EQ(ReadText(Path(L"out\\sub\\dst.bin")), content);
}

TEST_F(KWFiles, CopyFileFailuresSetTheLastError) {
    MakeFile(L"src.bin", "source");
    MakeFile(L"exists.bin", "exists");
    MakeFile(L"locked.bin", "locked");
    TFileLock lock(Path(L"locked.bin"));
    ASSERT_TRUE(lock.Held());
    struct Case {
        const wchar_t* Source;
        std::wstring Dest;
        bool Verify;
        int32_t Code;
    } cases[] = {
        {L"missing.bin", Path(L"d1.bin"), false, 100},
        {L"src.bin", Path(L"exists.bin"), false, 101},
        {L"src.bin", L"Z:\\proc\\kwfiles\\d.bin", false, 102},
        {L"locked.bin", Path(L"d2.bin"), false, 103},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "expected code " << c.Code);
        KWSetLastError(-1, -1);
        EXPECT_FALSE(KWCopyFile(Path(c.Source), c.Dest, false, false, c.Verify));
        EXPECT_EQ(KWLastErrorCode, c.Code);
    }
    EXPECT_EQ(ReadText(Path(L"exists.bin")), "exists");
    // Verifying a source that cannot be read is a failure, not an exception.
    EXPECT_FALSE(KWCopyFile(Path(L"locked.bin"), Path(L"d3.bin"), false, false, true));
}

TEST_F(KWFiles, FileCRCIsEightUpperCaseHexDigits) {
    MakeFile(L"abc", "abc");
    MakeFile(L"empty", "");
    std::wstring crc;
    ASSERT_TRUE(KWGetFileCRC(Path(L"abc"), crc));
    EXPECT_EQ(crc, L"352441C2");
    ASSERT_TRUE(KWGetFileCRC(Path(L"empty"), crc));
    EXPECT_EQ(crc, L"00000000");
    EXPECT_THROW(KWGetFileCRC(Path(L"missing"), crc), Exception);
}

// ---- Drives -------------------------------------------------------------------------------------

TEST(KWFilesDrives, FixedDrivesAndReadiness) {
    std::vector<std::wstring> drives = {L"stale"};
    ASSERT_TRUE(KWGetFixedDrives(drives));
    EXPECT_NE(std::find(drives.begin(), drives.end(), L"C:\\"), drives.end());
    EXPECT_EQ(std::find(drives.begin(), drives.end(), L"stale"), drives.end());
    for (const std::wstring& d : drives) EXPECT_TRUE(KWIsFixedDrive(d)) << testing::PrintToString(d);

    EXPECT_TRUE(KWIsFixedDrive(L"c:\\windows"));
    EXPECT_FALSE(KWIsFixedDrive(L""));
    EXPECT_FALSE(KWIsFixedDrive(L"\\\\server\\share"));
    EXPECT_TRUE(KWIsDriveReady(L"C:\\"));
    EXPECT_FALSE(KWIsDriveReady(L""));

    const wchar_t unused = UnusedDriveLetter();
    ASSERT_NE(unused, 0);
    const std::wstring root = std::wstring(1, unused) + L":\\";
    EXPECT_FALSE(KWIsDriveReady(root));
    EXPECT_FALSE(KWIsFixedDrive(root));
    EXPECT_EQ(KWGetVolumeLabel(root), L"");
}

TEST(KWFilesDrives, DiskFree) {
    const int64_t free = KWGetDiskFree(L"C:\\somewhere");
    EXPECT_GT(free, 0);
    EXPECT_GT(KWGetDiskFree(L"c:"), 0) << "the letter is upper-cased";
    EXPECT_EQ(KWGetDiskFree(L""), 0);
    EXPECT_EQ(KWGetDiskFree(L"\\\\server\\share"), 0);
    EXPECT_EQ(KWGetDiskFree(L"1:\\"), 0);
    const wchar_t unused = UnusedDriveLetter();
    ASSERT_NE(unused, 0);
    EXPECT_EQ(KWGetDiskFree(std::wstring(1, unused) + L":\\"), -1);
}

}  // namespace
