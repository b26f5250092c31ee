// Temporary names and the self-deleting batch file.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "scratch_util.h"

#include <shlobj.h>

namespace {

const std::wstring Alphabet = L"ABCDEFGHJKLMNPQRSTUVWXYabcdefghjklmnpqrstuvwxy123456789";

std::wstring ReadAnsiFile(const std::wstring& AFileName) {
    HANDLE h = CreateFileW(AFileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return L"<missing>";
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD n = 0;
    ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
    return AnsiToWide(bytes, cpACP);
}

std::vector<std::wstring> Lines(const std::wstring& AText) {
    std::vector<std::wstring> lines;
    size_t start = 0, p;
    while ((p = AText.find(L"\r\n", start)) != std::wstring::npos) {
        lines.push_back(AText.substr(start, p - start));
        start = p + 2;
    }
    EXPECT_EQ(start, AText.size()) << "every line ends with CR LF";
    return lines;
}

bool HasLine(const std::vector<std::wstring>& ALines, const std::wstring& ALine) {
    for (const std::wstring& l : ALines)
        if (l == ALine) return true;
    return false;
}

std::set<std::wstring> BatchFiles() {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((KWGetTempDir() + L"deleteme_*.bat").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.insert(fd.cFileName);
    while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

// Records the batch files that KWDeleteByBatch makes instead of starting them, and removes them.
class TBatchRecorder {
public:
    TBatchRecorder() {
        FPrevious = KWSetDeleteBatchStarter([this](const std::wstring& ABatch, const std::wstring& ADir) {
            Batches.push_back(ABatch);
            Dir = ADir;
            return Started;
        });
    }
    ~TBatchRecorder() {
        KWSetDeleteBatchStarter(FPrevious);
        for (const std::wstring& b : Batches) DeleteFileW(b.c_str());
    }
    std::vector<std::wstring> LastLines() const { return Lines(ReadAnsiFile(Batches.back())); }

    std::vector<std::wstring> Batches;
    std::wstring Dir;
    bool Started = true;

private:
    TKWDeleteBatchStarter FPrevious;
};

}  // namespace

TEST(KWTemp, RandomStringsUseTheAlphabetAndDiffer) {
    EXPECT_EQ(KWRandomString(0), L"");
    EXPECT_EQ(KWRandomString(-3), L"");
    std::set<std::wstring> seen;
    std::set<wchar_t> used;
    for (int i = 0; i < 200; ++i) {
        const std::wstring s = KWRandomString(16);
        ASSERT_EQ(s.size(), 16u);
        for (wchar_t c : s) {
            ASSERT_NE(Alphabet.find(c), std::wstring::npos) << s;
            used.insert(c);
        }
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), 200u) << "two quick calls gave the same string";
    EXPECT_EQ(used.size(), Alphabet.size()) << "3200 draws should reach all 55 characters";
    EXPECT_EQ(KWRandomString(1).size(), 1u);
}

TEST(KWTemp, UniqueNamesAreFreeAndShaped) {
    const std::wstring temp = KWGetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(KWDirectoryExists(temp));

    const std::wstring name = KWGetTempFileName();
    EXPECT_EQ(name.substr(0, temp.size() + 7), temp + L"KW_TMP_");
    EXPECT_EQ(name.size(), temp.size() + 7 + 16);
    EXPECT_FALSE(Exists(name));

    const std::wstring ex = KWGetTempFileNameEx(L"pre", L".dat");
    EXPECT_EQ(ex.substr(0, temp.size() + 3), temp + L"pre");
    EXPECT_EQ(ex.substr(ex.size() - 4), L".dat");
    EXPECT_EQ(ex.size(), temp.size() + 3 + 16 + 4);

    TScratchDir dir(L"KWTempTest_");
    std::wstring made;
    KWMakeUniqueFileName(KWExcludeTrailingPathDelimiter(dir.Path()), L"a", L".txt", 3, made);
    EXPECT_EQ(made.substr(0, dir.Path().size() + 1), dir.Path() + L"a");
    EXPECT_EQ(made.size(), dir.Path().size() + 1 + 3 + 4);
    EXPECT_FALSE(Exists(made)) << "nothing is created";
    KWMakeUniqueFileName(dir.Path(), L"", L"", 0, made);
    EXPECT_EQ(made.size(), dir.Path().size() + 16);

    // With a one-character name in a folder holding every possible name but one, only that one
    // can come out (names differing in case only are one file name).
    for (wchar_t c : Alphabet)
        if (c != L'7') {
            ASSERT_TRUE(WriteBytes(dir.Path() + std::wstring(L"n") + c));
        }
    for (int i = 0; i < 5; ++i) {
        KWMakeUniqueFileName(dir.Path(), L"n", L"", 1, made);
        EXPECT_EQ(made, dir.Path() + L"n7");
    }
}

TEST(KWDeleteBatch, FileWithParentBatchLines) {
    TScratchDir dir(L"KWTempTest_");
    const std::wstring file = dir.Path() + L"!uninstaller.exe";
    ASSERT_TRUE(WriteBytes(file));
    TBatchRecorder rec;
    ASSERT_TRUE(KWDeleteByBatch(file, true));
    ASSERT_EQ(rec.Batches.size(), 1u);
    EXPECT_EQ(rec.Dir, KWGetTempDir());
    const std::wstring parent = KWExcludeTrailingPathDelimiter(dir.Path());
    // Each loop ends only when its target is gone: it never gives up while the process that holds
    // the target runs, however long that is.
    const std::vector<std::wstring> expected = {
        L":Lbl0",
        L"DEL \"" + file + L"\"",
        L"IF NOT EXIST \"" + file + L"\" GOTO Lbl1",
        L"PING -n 2 127.0.0.1 >NUL", L"GOTO Lbl0",
        L":Lbl1",
        L"RMDIR /S /Q \"" + parent + L"\"",
        L"IF NOT EXIST \"" + parent + L"\" GOTO LblEnd",
        L"PING -n 2 127.0.0.1 >NUL", L"GOTO Lbl1",
        L":LblEnd", L"DEL \"%~f0\"", L"EXIT"};
    EXPECT_EQ(rec.LastLines(), expected);
    EXPECT_TRUE(Exists(file)) << "the routine itself deletes nothing";
}

TEST(KWDeleteBatch, FolderTargetsSpecialParentsAndNumbering) {
    TScratchDir dir(L"KWTempTest_");
    const std::wstring folder = dir.Path() + L"Sub";
    CreateDirectoryW(folder.c_str(), nullptr);
    TBatchRecorder rec;

    // A folder is removed with RMDIR; without ADeleteParent no parent loop.
    ASSERT_TRUE(KWDeleteByBatch(folder, false));
    std::vector<std::wstring> lines = rec.LastLines();
    EXPECT_TRUE(HasLine(lines, L"RMDIR /S /Q \"" + folder + L"\""));
    EXPECT_TRUE(HasLine(lines, L"IF NOT EXIST \"" + folder + L"\" GOTO LblEnd"));
    EXPECT_FALSE(HasLine(lines, L":Lbl1"));

    // The next batch file takes the next free number while the first one is still there.
    ASSERT_TRUE(KWDeleteByBatch(folder, false));
    ASSERT_EQ(rec.Batches.size(), 2u);
    const std::wstring first = rec.Batches[0], second = rec.Batches[1];
    const size_t p = first.rfind(L"deleteme_");
    ASSERT_NE(p, std::wstring::npos);
    EXPECT_EQ(first.substr(0, p), KWGetTempDir());
    const int n = std::stoi(first.substr(p + 9));
    EXPECT_EQ(second, KWGetTempDir() + L"deleteme_" + std::to_wstring(n + 1) + L".bat");

    // A file on the all-users desktop: the desktop itself is never removed.
    const std::wstring desktop = KWGetShellFolder(L"Desktop", true);
    const std::wstring onDesktop = desktop + L"KWDeleteBatchTest_" + KWRandomString(6) + L".lnk";
    ASSERT_TRUE(WriteBytes(onDesktop));
    ASSERT_TRUE(KWDeleteByBatch(onDesktop, true));
    DeleteFileW(onDesktop.c_str());
    lines = rec.LastLines();
    EXPECT_TRUE(HasLine(lines, L"DEL \"" + onDesktop + L"\""));
    EXPECT_FALSE(HasLine(lines, L":Lbl1"));
    for (const std::wstring& l : lines) EXPECT_EQ(l.find(L"RMDIR"), std::wstring::npos) << l;
}

TEST(KWDeleteBatch, UnsafePathsAndFailures) {
    TScratchDir dir(L"KWTempTest_");
    TBatchRecorder rec;

    // Nothing to delete: True, no batch file.
    EXPECT_TRUE(KWDeleteByBatch(dir.Path() + L"missing.exe", true));
    EXPECT_TRUE(rec.Batches.empty());

    // "%" would start a variable reference in the batch file: it is doubled.
    const std::wstring percent = dir.Path() + L"100%done.exe";
    ASSERT_TRUE(WriteBytes(percent));
    ASSERT_TRUE(KWDeleteByBatch(percent, false));
    EXPECT_TRUE(HasLine(rec.LastLines(), L"DEL \"" + dir.Path() + L"100%%done.exe\""));

    // A name the ANSI code page cannot carry would become "?" (a wildcard for DEL): refused, and
    // no batch file is written.
    const std::wstring korean = dir.Path() + L"한글.exe";
    ASSERT_TRUE(WriteBytes(korean));
    const std::set<std::wstring> before = BatchFiles();
    EXPECT_FALSE(KWDeleteByBatch(korean, true));
    EXPECT_EQ(BatchFiles(), before);
    EXPECT_TRUE(Exists(korean));
    // Japanese names are fine in CP932.
    const std::wstring japanese = dir.Path() + L"写真館ソフト.exe";
    ASSERT_TRUE(WriteBytes(japanese));
    ASSERT_TRUE(KWDeleteByBatch(japanese, false));
    EXPECT_TRUE(HasLine(rec.LastLines(), L"DEL \"" + japanese + L"\""));

    // A file at a drive root never takes the drive with it.
    TBatchRecorder rootRec;
    const std::wstring atRoot = L"C:\\KWDeleteBatchTest_" + KWRandomString(6) + L".tmp";
    ASSERT_TRUE(WriteBytes(atRoot));
    ASSERT_TRUE(KWDeleteByBatch(atRoot, true));
    DeleteFileW(atRoot.c_str());
    for (const std::wstring& l : rootRec.LastLines()) EXPECT_EQ(l.find(L"RMDIR"), std::wstring::npos) << l;

    // The batch file could not be started.
    rootRec.Started = false;
    EXPECT_FALSE(KWDeleteByBatch(percent, false));
}

// The real thing: a running program hands its own path to the batch deletion and ends; the batch
// file removes the program, its folder with what is left in it, and itself.
TEST(KWDeleteBatch, DeletesARunningProgramAndItsFolder) {
    const std::wstring helper = BuildPath(TEST_BUILD_DIR "/kwlib_selfdelete_helper.exe");
    ASSERT_TRUE(Exists(helper)) << "build the target kwlib_selfdelete_helper";
    const std::wstring dir = KWGetTempDir() + L"KWSelfDelete_" + KWRandomString(8) + L"\\";
    ASSERT_TRUE(KWForceDirectories(dir + L"data"));
    const std::wstring exe = dir + L"!uninstaller.exe";
    ASSERT_TRUE(CopyFileW(helper.c_str(), exe.c_str(), FALSE));
    ASSERT_TRUE(WriteBytes(dir + L"leftover.ini"));
    ASSERT_TRUE(WriteBytes(dir + L"data\\photo.jpg"));
    const std::set<std::wstring> batchesBefore = BatchFiles();

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exe + L"\" /uninstall";
    ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(code, 0u) << "the helper could not start its batch file";

    bool gone = false;
    for (int i = 0; i < 600 && !gone; ++i) {
        gone = !Exists(exe) && !Exists(dir) && BatchFiles() == batchesBefore;
        if (!gone) Sleep(100);
    }
    EXPECT_FALSE(Exists(exe));
    EXPECT_FALSE(Exists(dir));
    EXPECT_EQ(BatchFiles(), batchesBefore) << "the batch file deletes itself";
    if (!gone) KWDeleteFolder(dir, false);
}

// A file that another handle keeps from deletion: the batch file retries until the handle is
// closed, then deletes the file and itself.
TEST(KWDeleteBatch, RetriesWhileTheTargetIsHeld) {
    TScratchDir dir(L"KWTempTest_");
    const std::wstring file = dir.Path() + L"held.dat";
    ASSERT_TRUE(WriteBytes(file));
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_FALSE(DeleteFileW(file.c_str())) << "the handle should keep the file";
    const std::set<std::wstring> batchesBefore = BatchFiles();
    ASSERT_TRUE(KWDeleteByBatch(file, false));
    Sleep(3000);
    EXPECT_TRUE(Exists(file)) << "deleted while held";
    CloseHandle(held);
    bool gone = false;
    for (int i = 0; i < 300 && !gone; ++i) {
        gone = !Exists(file) && BatchFiles() == batchesBefore;
        if (!gone) Sleep(100);
    }
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(BatchFiles(), batchesBefore) << "the batch file deletes itself";
}
