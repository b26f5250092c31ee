#include "KWCommonLib_temp.h"

#include "WinApi.h"

#include <shellapi.h>

#include <atomic>
#include <random>
#include <vector>

#include "Classes.h"
#include "KWCommonLib_files.h"
#include "KWCommonLib_folders.h"
#include "KWCommonLib_shell.h"
#include "KWCommonLib_strings.h"
#include "SysUtils.h"

namespace {

const wchar_t RandomAlphabet[] = L"ABCDEFGHJKLMNPQRSTUVWXYabcdefghjklmnpqrstuvwxy123456789";
constexpr int RandomAlphabetLength = sizeof(RandomAlphabet) / sizeof(RandomAlphabet[0]) - 1;

std::atomic<uint32_t> RandomCalls{0};
TKWDeleteBatchStarter DeleteBatchStarter;

// The folder part of a path, with its trailing "\".
std::wstring ExtractFolder(const std::wstring& APath) {
    const size_t p = APath.find_last_of(L"\\:");
    return p == std::wstring::npos ? std::wstring() : APath.substr(0, p + 1);
}

// The path comes back unchanged from the ANSI code page, the encoding of the batch file.
bool SurvivesAnsi(const std::wstring& APath) { return AnsiToWide(WideToAnsi(APath, cpACP), cpACP) == APath; }

// A drive root such as "C:" or a share root "\\server\share": never removed as a parent folder.
bool IsRoot(const std::wstring& AFolder) {
    if (AFolder.size() <= 2) return true;
    if (AFolder.compare(0, 2, L"\\\\") == 0) return AFolder.find(L'\\', AFolder.find(L'\\', 2) + 1) == std::wstring::npos;
    return false;
}

// Text for a batch line: "%" would start a variable reference even inside quotes.
std::wstring BatchText(const std::wstring& AText) { return KWReplace(AText, L"%", L"%%", false, true); }

// The lines that run ACommand on ATarget until ATarget is gone, one second apart, however long
// that takes: the process that holds the target (the uninstaller, whose last page may stay open
// for as long as the user likes) ends when it ends. ALabel names the loop; ADone is where it goes
// afterwards.
void AddDeleteLoop(TStringList& ALines, const std::wstring& ALabel, const std::wstring& ACommand,
                   const std::wstring& ATarget, const std::wstring& ADone) {
    const std::wstring quoted = L"\"" + BatchText(ATarget) + L"\"";
    ALines.Add(L":" + ALabel);
    ALines.Add(ACommand + L" " + quoted);
    ALines.Add(L"IF NOT EXIST " + quoted + L" GOTO " + ADone);
    ALines.Add(L"PING -n 2 127.0.0.1 >NUL");
    ALines.Add(L"GOTO " + ALabel);
}

bool StartHidden(const std::wstring& ABatchFile, const std::wstring& ADir) {
    const HINSTANCE r = ShellExecuteW(KWGetApplicationWindow(), L"open", ABatchFile.c_str(), nullptr, ADir.c_str(),
                                      SW_HIDE);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

}  // namespace

std::wstring KWRandomString(int32_t ALength) {
    if (ALength <= 0) return L"";
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    // The counter alone could repeat between two very quick calls; the call number and the process
    // keep the seeds apart.
    std::seed_seq seed{static_cast<uint32_t>(counter.LowPart), static_cast<uint32_t>(counter.HighPart),
                       ++RandomCalls, static_cast<uint32_t>(GetCurrentProcessId())};
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> pick(0, RandomAlphabetLength - 1);
    std::wstring result(static_cast<size_t>(ALength), L' ');
    for (wchar_t& c : result) c = RandomAlphabet[pick(generator)];
    return result;
}

void KWMakeUniqueFileName(const std::wstring& ADir, const std::wstring& APrefix, const std::wstring& AExt,
                          int32_t ALength, std::wstring& AFileName) {
    const std::wstring dir = KWIncludeTrailingPathDelimiter(ADir);
    do
        AFileName = dir + APrefix + KWRandomString(ALength > 0 ? ALength : 16) + AExt;
    while (KWFileExists(AFileName));
}

std::wstring KWGetTempDir() {
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH, buf);
    return n > 0 && n <= MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

std::wstring KWGetTempFileNameEx(const std::wstring& APrefix, const std::wstring& AExt) {
    std::wstring name;
    KWMakeUniqueFileName(KWGetTempDir(), APrefix, AExt, 16, name);
    return name;
}

std::wstring KWGetTempFileName() { return KWGetTempFileNameEx(L"KW_TMP_", L""); }

TKWDeleteBatchStarter KWSetDeleteBatchStarter(TKWDeleteBatchStarter AStarter) {
    std::swap(DeleteBatchStarter, AStarter);
    return AStarter;
}

bool KWDeleteByBatch(const std::wstring& APath, bool ADeleteParent) {
    const bool isFolder = KWDirectoryExists(APath);
    if (!isFolder && !KWFileExists(APath)) return true;
    if (KWIsDebugging()) return true;
    // A character the ANSI code page lacks would be written as "?", a wildcard for DEL.
    if (!SurvivesAnsi(APath)) return false;

    const std::wstring parent = KWRemoveSuffix(ExtractFolder(APath), L"\\");
    const std::wstring temp = KWIncludeTrailingPathDelimiter(KWGetTempDir());
    if (temp.empty() || !KWForceDirectories(temp)) return false;
    std::wstring batch;
    for (int32_t n = 0;; ++n) {
        batch = temp + L"deleteme_" + IntToStr(n) + L".bat";
        if (!KWFileExists(batch)) break;
    }

    const bool withParent = ADeleteParent && !IsRoot(parent) && !KWIsSystemFolder(parent);
    TStringList lines;
    AddDeleteLoop(lines, L"Lbl0", isFolder ? L"RMDIR /S /Q" : L"DEL", APath, withParent ? L"Lbl1" : L"LblEnd");
    if (withParent) AddDeleteLoop(lines, L"Lbl1", L"RMDIR /S /Q", parent, L"LblEnd");
    lines.Add(L":LblEnd");
    lines.Add(L"DEL \"%~f0\"");
    lines.Add(L"EXIT");
    try {
        lines.SaveToFile(batch, TTextEncoding::Ansi);
    } catch (const Exception&) {
        return false;
    }

    return DeleteBatchStarter ? DeleteBatchStarter(batch, temp) : StartHidden(batch, temp);
}
