#include "KWCommonLib_files.h"

#include <algorithm>

#include "CRC32.h"
#include "Classes.h"
#include "KWCommonLib_system.h"
#include "KWCommonLib_strings.h"
#include "KWLogger.h"
#include "SysUtils.h"
#include "WinApi.h"

int32_t KWLastErrorCode = -1;
int32_t KWLastSystemError = -1;

namespace {

// Keeps the system from asking the user to insert a disk while a file-system call runs.
class TErrorModeGuard {
public:
    TErrorModeGuard() : FOldMode(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~TErrorModeGuard() { SetErrorMode(FOldMode); }
    TErrorModeGuard(const TErrorModeGuard&) = delete;
    TErrorModeGuard& operator=(const TErrorModeGuard&) = delete;

private:
    UINT FOldMode;
};

// Copy-error codes of KWCopyFile.
enum : int32_t {
    ceSourceMissing = 100,
    ceDestExists = 101,
    ceDestFolder = 102,
    ceCopyFailed = 103,
    ceSourceCRC = 104,
    ceDestCRC = 105,
    ceCRCMismatch = 106,
    ceFileTime = 107,
};

const int32_t kCopyAttempts = 10;
const DWORD kCopyRetrySleep = 100;

// The "hidden", "system" and "folder" bits: an entry with one of them is reported only when the
// search asks for it.
const int32_t kSpecialAttr = kwfaHidden | kwfaSysFile | kwfaDirectory;

DWORD AttributesOf(const std::wstring& APath) {
    return GetFileAttributesW(APath.c_str());
}

bool FileExistsRaw(const std::wstring& AFileName) {
    const DWORD attr = AttributesOf(AFileName);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExistsRaw(const std::wstring& ADir) {
    const DWORD attr = AttributesOf(ADir);
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder part of a path up to and including its last "\", "/" or ":"; '' when there is none.
std::wstring ExtractFilePath(const std::wstring& AFileName) {
    const size_t pos = AFileName.find_last_of(L"\\/:");
    return pos == std::wstring::npos ? std::wstring() : AFileName.substr(0, pos + 1);
}

bool IsDotEntry(const std::wstring& AName) {
    return AName == L"." || AName == L"..";
}

// Skips the entries that carry a bit the search excluded, then fills ARec from AData.
int32_t FindMatchingFile(TKWSearchRec& ARec, WIN32_FIND_DATAW& AData) {
    while ((AData.dwFileAttributes & static_cast<DWORD>(ARec.ExcludeAttr)) != 0) {
        if (!FindNextFileW(static_cast<HANDLE>(ARec.FindHandle), &AData))
            return static_cast<int32_t>(GetLastError());
    }
    FILETIME local;
    WORD dosDate = 0, dosTime = 0;
    if (!FileTimeToLocalFileTime(&AData.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
        dosDate = 0;   // no valid DOS date: the listing shows NaN
        dosTime = 0;
    }
    ARec.Time = static_cast<int32_t>((static_cast<uint32_t>(dosDate) << 16) | dosTime);
    ARec.Size = (static_cast<int64_t>(AData.nFileSizeHigh) << 32) | AData.nFileSizeLow;
    ARec.Attr = static_cast<int32_t>(AData.dwFileAttributes);
    ARec.Name = AData.cFileName;
    return 0;
}

// Ends a search when it goes out of scope.
class TSearch {
public:
    TSearch(const std::wstring& APath, int32_t AAttr) : FResult(KWSafeFindFirst(APath, AAttr, Rec)) {}
    ~TSearch() {
        if (FResult == 0) KWFindClose(Rec);
    }
    TSearch(const TSearch&) = delete;
    TSearch& operator=(const TSearch&) = delete;
    bool Found() const { return FResult == 0; }
    bool Next() {
        if (FResult == 0) FResult = KWSafeFindNext(Rec) == 0 ? 0 : 1;
        if (FResult != 0) KWFindClose(Rec);
        return FResult == 0;
    }

    TKWSearchRec Rec;

private:
    int32_t FResult;
};

// ---- Masks ----------------------------------------------------------------------------------

std::wstring UpperText(std::wstring AText) {
    if (!AText.empty()) CharUpperBuffW(AText.data(), static_cast<DWORD>(AText.size()));
    return AText;
}

// One element of a parsed file mask.
struct TMaskElement {
    enum TKind { mkChar, mkAny, mkRun, mkSet } Kind;
    wchar_t Char = 0;
    bool Negated = false;
    std::vector<std::pair<wchar_t, wchar_t>> Ranges;

    bool Matches(wchar_t C) const {
        switch (Kind) {
        case mkChar: return C == Char;
        case mkAny: return true;
        case mkSet: {
            bool inSet = false;
            for (const auto& r : Ranges)
                if (C >= r.first && C <= r.second) inSet = true;
            return inSet != Negated;
        }
        default: return false;
        }
    }
};

// Parses an upper-cased mask; false for a malformed one (an unclosed or empty set, a reversed
// range).
bool ParseMask(const std::wstring& AMask, std::vector<TMaskElement>& AElements) {
    for (size_t i = 0; i < AMask.size(); ++i) {
        TMaskElement e{TMaskElement::mkChar};
        const wchar_t c = AMask[i];
        if (c == L'*') {
            e.Kind = TMaskElement::mkRun;
        } else if (c == L'?') {
            e.Kind = TMaskElement::mkAny;
        } else if (c == L'[') {
            e.Kind = TMaskElement::mkSet;
            ++i;
            if (i < AMask.size() && AMask[i] == L'!') {
                e.Negated = true;
                ++i;
            }
            while (i < AMask.size() && AMask[i] != L']') {
                wchar_t lo = AMask[i], hi = lo;
                if (i + 2 < AMask.size() && AMask[i + 1] == L'-' && AMask[i + 2] != L']') {
                    hi = AMask[i + 2];
                    i += 2;
                    if (hi < lo) return false;
                }
                e.Ranges.emplace_back(lo, hi);
                ++i;
            }
            if (i >= AMask.size() || e.Ranges.empty()) return false;
        } else {
            e.Char = c;
        }
        AElements.push_back(std::move(e));
    }
    return true;
}

// Matches by dynamic programming over (mask element, name position): linear in both lengths.
bool MatchesMask(const std::wstring& AName, const std::wstring& AMask) {
    std::vector<TMaskElement> elements;
    if (!ParseMask(UpperText(AMask), elements)) return false;
    const std::wstring name = UpperText(AName);
    // can[j]: the elements so far match the first j characters of the name.
    std::vector<char> can(name.size() + 1, 0), next(name.size() + 1, 0);
    can[0] = 1;
    for (const TMaskElement& e : elements) {
        std::fill(next.begin(), next.end(), 0);
        if (e.Kind == TMaskElement::mkRun) {
            char reached = 0;
            for (size_t j = 0; j <= name.size(); ++j) {
                reached = reached || can[j];
                next[j] = reached;
            }
        } else {
            for (size_t j = 0; j < name.size(); ++j)
                if (can[j] && e.Matches(name[j])) next[j + 1] = 1;
        }
        can.swap(next);
    }
    return can[name.size()] != 0;
}

// ---- Listing --------------------------------------------------------------------------------

void ListFolder(const std::wstring& ADir, TKWFiles& AFiles, const std::wstring& AMask, bool ARecursive) {
    TSearch search(ADir + L"*", kwfaDirectory);
    if (!search.Found()) return;
    do {
        KWProcessMessages(-1);
        const TKWSearchRec& rec = search.Rec;
        const double time = KWFileDateToDateTime(rec.Time);
        if ((rec.Attr & kwfaDirectory) != 0) {
            if (IsDotEntry(rec.Name)) continue;
            KWAddFile(AFiles, ADir + rec.Name, true, 0, time, rec.Attr);
            if (ARecursive) ListFolder(ADir + rec.Name + L"\\", AFiles, AMask, ARecursive);
        } else if (AMask == L"*" || KWMatchesMaskList(AMask, rec.Name)) {
            KWAddFile(AFiles, ADir + rec.Name, false, rec.Size, time, rec.Attr);
        }
    } while (search.Next());
}

// Removes a junction or a symbolic link to a folder: the link goes, its target stays untouched.
bool RemoveFolderLink(const std::wstring& APath, int32_t AAttr) {
    if ((AAttr & kwfaReadOnly) != 0) SetFileAttributesW(APath.c_str(), AAttr & ~kwfaReadOnly);
    return RemoveDirectoryW(APath.c_str()) != 0;
}

// Deletes the content of ADir (with trailing "\"); true when every entry went.
bool DeleteFolderContent(const std::wstring& ADir) {
    bool ok = true;
    TSearch search(ADir + L"*", kwfaAnyFile);
    if (!search.Found()) return true;
    do {
        const TKWSearchRec& rec = search.Rec;
        if (IsDotEntry(rec.Name)) continue;
        const std::wstring path = ADir + rec.Name;
        bool deleted;
        if ((rec.Attr & kwfaDirectory) != 0) {
            deleted = (rec.Attr & kwfaReparsePoint) != 0 ? RemoveFolderLink(path, rec.Attr)
                                                         : KWDeleteFolder(path, false);
        } else {
            if ((rec.Attr & kwfaReadOnly) != 0)
                SetFileAttributesW(path.c_str(), rec.Attr & ~(kwfaReadOnly | kwfaHidden));
            deleted = KWDeleteFile(path);
        }
        ok = ok && deleted;
    } while (search.Next());
    return ok;
}

}   // namespace

// ---- Drives and volumes ---------------------------------------------------------------------

bool KWIsDriveReady(const std::wstring& APath) {
    return !APath.empty() && KWIsDriveLetterReady(APath[0]);
}

bool KWIsDriveLetterReady(wchar_t ALetter) {
    TErrorModeGuard guard;
    const std::wstring root = std::wstring(1, ALetter) + L":\\";
    return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
}

std::wstring KWGetVolumeLabel(const std::wstring& ARootPath) {
    try {
        if (!KWIsDriveReady(ARootPath)) return L"";
        TErrorModeGuard guard;
        wchar_t label[MAX_PATH + 1] = {};
        if (!GetVolumeInformationW(ARootPath.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                   nullptr, 0))
            return L"";
        return label;
    } catch (...) {
        return L"";
    }
}

bool KWIsFixedDrive(const std::wstring& APath) {
    if (APath.empty() || APath.compare(0, 2, L"\\\\") == 0) return false;
    return KWIsFixedDriveLetter(APath[0]);
}

bool KWIsFixedDriveLetter(wchar_t ALetter) {
    TErrorModeGuard guard;
    const std::wstring root = std::wstring(1, ALetter) + L":\\";
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
}

bool KWGetFixedDrives(std::vector<std::wstring>& ADrives) {
    ADrives.clear();
    try {
        TErrorModeGuard guard;
        wchar_t buffer[256] = {};
        const DWORD length = GetLogicalDriveStringsW(256, buffer);
        if (length == 0 || length > 256) return true;
        for (const wchar_t* root = buffer; *root != 0; root += wcslen(root) + 1) {
            if (KWIsFixedDrive(root)) ADrives.emplace_back(root);
        }
    } catch (...) {
    }
    return true;
}

int64_t KWGetDiskFree(const std::wstring& APath) {
    if (APath.empty()) return 0;
    wchar_t letter = APath[0];
    if (letter >= L'a' && letter <= L'z') letter = static_cast<wchar_t>(letter - 32);
    if (letter < L'A' || letter > L'Z') return 0;
    TErrorModeGuard guard;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<int64_t>(available.QuadPart);
}

bool KWIsFolderWritable(const std::wstring& ADir) {
    try {
        TErrorModeGuard guard;
        wchar_t name[MAX_PATH + 1] = {};
        if (GetTempFileNameW(ADir.c_str(), L"DA", 0, name) == 0) return false;
        return DeleteFileW(name) != 0;
    } catch (...) {
        return false;
    }
}

// ---- Existence and creation -----------------------------------------------------------------

bool KWFileExists(const std::wstring& AFileName) {
    try {
        if (KWTrim(AFileName).size() <= 3) return false;
        TErrorModeGuard guard;
        return FileExistsRaw(AFileName);
    } catch (...) {
        return false;
    }
}

bool KWDirectoryExists(const std::wstring& ADir) {
    try {
        if (KWTrim(ADir).empty()) return false;
        TErrorModeGuard guard;
        return DirectoryExistsRaw(ADir);
    } catch (...) {
        return false;
    }
}

namespace {

bool CreateFolderChain(const std::wstring& ADir) {
    const std::wstring dir = KWExcludeTrailingPathDelimiter(ADir);
    if (dir.empty()) return false;
    if (DirectoryExistsRaw(dir)) return true;
    const size_t pos = dir.find_last_of(L"\\/");
    if (pos != std::wstring::npos && pos > 0) {
        const std::wstring parent = dir.substr(0, pos);
        // A drive ("C:") or a server name ("\\server") ends the chain; CreateDirectoryW decides.
        if (parent.back() != L':' && parent.find_first_not_of(L"\\/") != std::wstring::npos &&
            !CreateFolderChain(parent))
            return false;
    }
    // Another process may create the folder at the same moment: existence is what counts.
    return CreateDirectoryW(dir.c_str(), nullptr) != 0 || DirectoryExistsRaw(dir);
}

}   // namespace

bool KWForceDirectories(const std::wstring& ADir) {
    try {
        if (KWDirectoryExists(ADir)) return true;
        if (KWTrim(ADir).empty()) return false;
        TErrorModeGuard guard;
        return CreateFolderChain(ADir);
    } catch (...) {
        return false;
    }
}

// ---- Opening --------------------------------------------------------------------------------

std::unique_ptr<TFileStream> KWOpenFile(const std::wstring& AFileName, bool ARead, bool AWrite,
                                        bool ACreate, int32_t ATryNum, int32_t ARetrySleep) {
    if (KWTrim(AFileName).empty()) return nullptr;
    if (ATryNum < 0) ATryNum = 0;
    TErrorModeGuard guard;

    const bool exists = FileExistsRaw(AFileName);
    std::wstring folder = ExtractFilePath(AFileName);
    // A file to be created gets its folder first, so that the writability test below sees it.
    if (!exists && ACreate && (ARead || AWrite) && !folder.empty()) KWForceDirectories(folder);

    bool write = AWrite;
    if (write && !KWIsFolderWritable(folder.empty() ? std::wstring(L".") : folder)) write = false;
    if (!ARead && !write) return nullptr;

    uint16_t mode = ARead && write ? fmOpenReadWrite : (ARead ? fmOpenRead : fmOpenWrite);
    if (!exists) {
        if (!ACreate) return nullptr;
        mode = fmCreate;
    }
    mode |= fmShareExclusive;

    int32_t failures = 0;
    for (;;) {
        try {
            auto stream = std::make_unique<TFileStream>(AFileName, mode);
            stream->SetPosition(0);
            return stream;
        } catch (const Exception& e) {
            KWLog(L"KWOpenFile", e.Message(), 3);
            ++failures;
            if (failures > ATryNum) return nullptr;
            if (ARetrySleep > 0) Sleep(static_cast<DWORD>(ARetrySleep));
        }
    }
}

// ---- Copy, times, size, attributes, deletion ------------------------------------------------

void KWSetLastError(int32_t ACode, int32_t ASystemError) {
    KWLastErrorCode = ACode;
    KWLastSystemError = ASystemError;
}

bool KWCopyFile(const std::wstring& ASource, const std::wstring& ADest, bool AOverwrite, bool ACopyTime,
                bool AVerifyCRC) {
    TErrorModeGuard guard;
    auto fail = [](int32_t ACode) {
        KWSetLastError(ACode, static_cast<int32_t>(GetLastError()));
        return false;
    };
    try {
        if (!KWFileExists(ASource)) return fail(ceSourceMissing);
        if (!KWForceDirectories(ExtractFilePath(ADest))) return fail(ceDestFolder);
        if (!AOverwrite && KWFileExists(ADest)) return fail(ceDestExists);
        if (KWSameString(ASource, ADest, false, false)) return true;

        bool copied = false;
        for (int32_t attempt = 0; attempt < kCopyAttempts && !copied; ++attempt) {
            if (attempt > 0) Sleep(kCopyRetrySleep);
            std::wstring sourceCRC, destCRC;
            if (AVerifyCRC && !KWGetFileCRC(ASource, sourceCRC)) {
                fail(ceSourceCRC);
                continue;
            }
            if (!CopyFileW(ASource.c_str(), ADest.c_str(), FALSE)) {
                fail(ceCopyFailed);
                continue;
            }
            if (!KWFileExists(ADest)) continue;
            if (AVerifyCRC) {
                if (!KWGetFileCRC(ADest, destCRC)) {
                    fail(ceDestCRC);
                    continue;
                }
                if (destCRC != sourceCRC) {
                    fail(ceCRCMismatch);
                    continue;
                }
            }
            copied = true;
        }
        if (!copied) return false;

        KWClearFileAttributes(ADest);
        if (ACopyTime && !KWCopyFileTime(ASource, ADest)) return fail(ceFileTime);
        return true;
    } catch (...) {
        return false;
    }
}

bool KWCopyFileTime(const std::wstring& ASource, const std::wstring& ADest) {
    try {
        if (KWSameString(ASource, ADest, false, false)) return true;
        double time = 0;
        if (!KWGetFileTime(ASource, time)) return false;
        return KWSetFileTimes(ADest, Now(), time);
    } catch (...) {
        return false;
    }
}

bool KWGetFileTime(const std::wstring& AFileName, double& ATime) {
    try {
        TErrorModeGuard guard;
        TSearch search(AFileName, kwfaAnyFile);
        if (!search.Found()) return false;
        ATime = KWFileDateToDateTime(search.Rec.Time);
        return true;
    } catch (...) {
        return false;
    }
}

bool KWSetFileTimes(const std::wstring& AFileName, double ACreationTime, double ALastWriteTime) {
    try {
        TErrorModeGuard guard;
        if (DirectoryExistsRaw(AFileName)) return false;
        if (KWExcludeTrailingPathDelimiter(AFileName).size() <= 2) return false;
        HANDLE file = CreateFileW(AFileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        FILETIME creation, lastWrite;
        KWDateTimeToFileTime(creation, ACreationTime);
        KWDateTimeToFileTime(lastWrite, ALastWriteTime);
        const bool ok = SetFileTime(file, &creation, nullptr, &lastWrite) != 0;
        CloseHandle(file);
        return ok;
    } catch (...) {
        return false;
    }
}

int64_t KWGetFileSize(const std::wstring& AFileName) {
    try {
        TErrorModeGuard guard;
        TSearch search(AFileName, kwfaAnyFile);
        return search.Found() ? search.Rec.Size : -1;
    } catch (...) {
        return -1;
    }
}

bool KWClearFileAttributes(const std::wstring& APath) {
    try {
        TErrorModeGuard guard;
        const DWORD attr = AttributesOf(APath);
        if (attr == INVALID_FILE_ATTRIBUTES) return false;
        const DWORD cleared = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
        if ((attr & cleared) == 0) return false;
        return SetFileAttributesW(APath.c_str(), attr & ~cleared) != 0;
    } catch (...) {
        return false;
    }
}

bool KWDeleteFile(const std::wstring& AFileName) {
    try {
        TErrorModeGuard guard;
        if (!FileExistsRaw(AFileName)) return true;
        return DeleteFileW(AFileName.c_str()) != 0;
    } catch (...) {
        return false;
    }
}

bool KWDeleteFolder(const std::wstring& ADir, bool AOnlyIfEmpty) {
    try {
        if (AOnlyIfEmpty && !KWIsFolderEmpty(ADir)) return false;
        if (KWTrim(ADir).size() <= 2) return false;
        const std::wstring dir = KWIncludeTrailingPathDelimiter(ADir);
        TErrorModeGuard guard;
        // The attributes of the entry itself: with a trailing "\" a folder link may answer for its target.
        const std::wstring entry = dir.size() > 3 ? KWExcludeTrailingPathDelimiter(dir) : dir;
        const DWORD attr = AttributesOf(entry);
        if (attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
        // A junction or folder link given as the folder itself: remove the link, leave its target alone.
        if ((attr & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RemoveFolderLink(entry, static_cast<int32_t>(attr));
        if (!DeleteFolderContent(dir)) return false;
        return RemoveDirectoryW(dir.c_str()) != 0;
    } catch (...) {
        return false;
    }
}

bool KWIsFolderEmpty(const std::wstring& ADir) {
    try {
        if (KWTrim(ADir).size() <= 2) return false;
        TErrorModeGuard guard;
        TSearch search(KWIncludeTrailingPathDelimiter(ADir) + L"*", kwfaAnyFile);
        if (!search.Found()) return true;
        do {
            if (!IsDotEntry(search.Rec.Name)) return false;
        } while (search.Next());
        return true;
    } catch (...) {
        return false;
    }
}

// ---- Listing and masks ----------------------------------------------------------------------

bool KWGetFileList(const std::wstring& ADir, TKWFiles& AFiles, const std::wstring& AMask, bool ARecursive) {
    try {
        TErrorModeGuard guard;
        ListFolder(KWIncludeTrailingPathDelimiter(ADir), AFiles, AMask.empty() ? std::wstring(L"*") : AMask,
                   ARecursive);
    } catch (...) {
    }
    return true;
}

int32_t KWCountSubFolders(const std::wstring& ADir, const std::wstring& AMask) {
    int32_t count = 0;
    try {
        TErrorModeGuard guard;
        const std::wstring mask = AMask.empty() ? std::wstring(L"*") : AMask;
        TSearch search(KWIncludeTrailingPathDelimiter(ADir) + L"*", kwfaDirectory);
        if (!search.Found()) return 0;
        do {
            KWProcessMessages(-1);
            const TKWSearchRec& rec = search.Rec;
            if ((rec.Attr & kwfaDirectory) != 0 && !IsDotEntry(rec.Name) && KWMatchesMaskList(mask, rec.Name))
                ++count;
        } while (search.Next());
    } catch (...) {
    }
    return count;
}

bool KWMatchesMaskList(const std::wstring& AMasks, const std::wstring& AFileName) {
    try {
        TKWStringArray masks;
        if (!KWSplit(AMasks, L";", masks, false)) return false;
        for (const std::wstring& mask : masks)
            if (MatchesMask(AFileName, mask)) return true;
        return false;
    } catch (...) {
        return false;
    }
}

int32_t KWSafeFindFirst(const std::wstring& APath, int32_t AAttr, TKWSearchRec& ARec) {
    try {
        ARec.ExcludeAttr = ~AAttr & kSpecialAttr;
        WIN32_FIND_DATAW data;
        HANDLE handle = FindFirstFileW(APath.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE) {
            ARec.FindHandle = nullptr;
            return static_cast<int32_t>(GetLastError());
        }
        ARec.FindHandle = handle;
        const int32_t result = FindMatchingFile(ARec, data);
        if (result != 0) KWFindClose(ARec);
        return result;
    } catch (...) {
        return -1;
    }
}

int32_t KWSafeFindNext(TKWSearchRec& ARec) {
    try {
        if (ARec.FindHandle == nullptr) return ERROR_INVALID_HANDLE;
        WIN32_FIND_DATAW data;
        if (!FindNextFileW(static_cast<HANDLE>(ARec.FindHandle), &data))
            return static_cast<int32_t>(GetLastError());
        return FindMatchingFile(ARec, data);
    } catch (...) {
        return -1;
    }
}

void KWFindClose(TKWSearchRec& ARec) {
    if (ARec.FindHandle != nullptr) {
        FindClose(static_cast<HANDLE>(ARec.FindHandle));
        ARec.FindHandle = nullptr;
    }
}

bool KWTryExtractLastFolderName(const std::wstring& APath, std::wstring& AName) {
    std::wstring path = APath;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    if (!path.empty() && path.back() == L':') return false;
    const size_t pos = path.rfind(L'\\');
    std::wstring part = pos == std::wstring::npos ? path : path.substr(pos + 1);
    if (!part.empty() && part.back() == L':') return false;
    AName = part;
    return true;
}

std::wstring KWExtractLastFolderName(const std::wstring& APath) {
    std::wstring name;
    return KWTryExtractLastFolderName(APath, name) ? name : std::wstring();
}

// ---- Checksums ------------------------------------------------------------------------------

bool KWGetFileCRC(const std::wstring& AFileName, std::wstring& ACRC) {
    uint32_t crc = 0;
    int64_t total = 0;
    uint16_t error = 0;
    KWCRC32File(AFileName, crc, total, error);
    if (error != 0) return false;
    ACRC = IntToHex(crc, 8);
    return true;
}
