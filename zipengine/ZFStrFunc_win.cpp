// The platform services of ZFStrFunc on Windows: code pages, case mapping and files.
#include "ZFStrFunc.h"

#include "WinApi.h"

static uint32_t SystemCodePage(TZFCodePage codePage) {
    switch (codePage) {
    case zcpOem: return cpOEMCP;
    case zcpUtf8: return cpUTF8;
    default: return cpACP;
    }
}

std::wstring ZFCodePageToWide(const std::string& bytes, TZFCodePage codePage) {
    return AnsiToWide(bytes, SystemCodePage(codePage));
}

std::string ZFWideToCodePage(const std::wstring& text, TZFCodePage codePage) {
    return WideToAnsi(text, SystemCodePage(codePage));
}

std::wstring ZFLowerCase(const std::wstring& s) {
    std::wstring r = s;
    if (!r.empty()) CharLowerBuffW(&r[0], (DWORD)r.size());
    return r;
}

std::wstring ZFUpperCase(const std::wstring& s) {
    std::wstring r = s;
    if (!r.empty()) CharUpperBuffW(&r[0], (DWORD)r.size());
    return r;
}

bool ZFFileExists(const std::wstring& fileName) {
    const DWORD a = GetFileAttributesW(fileName.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ZFExistingFileName(const std::wstring& fileName) {
    return fileName;
}

bool ZFDirectoryExists(const std::wstring& dir) {
    const DWORD a = GetFileAttributesW(dir.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ZFCreateDir(const std::wstring& dir) {
    return CreateDirectoryW(dir.c_str(), nullptr) != 0;
}

bool ZFDeleteFile(const std::wstring& fileName) {
    return DeleteFileW(fileName.c_str()) != 0;
}

bool ZFRenameFile(const std::wstring& oldName, const std::wstring& newName) {
    return MoveFileW(oldName.c_str(), newName.c_str()) != 0;
}

bool ZFRemoveDir(const std::wstring& dir) {
    return RemoveDirectoryW(dir.c_str()) != 0;
}

int32_t ZFFileGetAttr(const std::wstring& fileName) {
    const DWORD a = GetFileAttributesW(fileName.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) return (int32_t)a;
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(fileName.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return -1;
    FindClose(h);
    return faSysFile;
}

bool ZFFileSetAttr(const std::wstring& fileName, int32_t attr) {
    return SetFileAttributesW(fileName.c_str(), (DWORD)attr) != 0;
}

static int32_t DosDateTime(const FILETIME& utc) {
    FILETIME local;
    WORD date, time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return -1;
    return (int32_t)((uint32_t)date << 16 | time);
}

int32_t ZFFileAge(const std::wstring& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return DosDateTime(data.ftLastWriteTime);
}

std::wstring ZFGetCurrentDir() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return std::wstring();
    std::wstring dir(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, &dir[0]);
    dir.resize(got < n ? got : 0);
    return dir;
}

std::wstring ZFExpandFileName(const std::wstring& fileName) {
    if (fileName.empty()) return std::wstring();
    const DWORD n = GetFullPathNameW(fileName.c_str(), 0, nullptr, nullptr);
    if (n == 0) return fileName;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(fileName.c_str(), n, &full[0], nullptr);
    if (got == 0 || got >= n) return fileName;
    full.resize(got);
    return full;
}

bool ZFDriveIsRemovable(const std::wstring& path) {
    const std::wstring drive = ZFExtractFileDrive(ZFExpandFileName(path));
    if (drive.empty()) return false;
    return GetDriveTypeW((drive + L'\\').c_str()) == DRIVE_REMOVABLE;
}

std::wstring ZFSystemTempDir() {
    wchar_t buffer[256];
    const DWORD n = GetTempPathW(255, buffer);
    return n > 0 && n < 255 ? ZFIncludeTrailingBackslash(std::wstring(buffer, n)) : std::wstring();
}

std::wstring ZFCreateTempFile(const std::wstring& dir, const std::wstring& prefix) {
    wchar_t buffer[MAX_PATH];
    if (!GetTempFileNameW(dir.c_str(), prefix.c_str(), 0, buffer)) return std::wstring();
    return buffer;
}

// Entries with these bits are listed only when the search's attribute mask has them.
static bool Listed(const TZFSearchRec& rec) {
    return (rec.Attr & rec.ExcludeAttr) == 0;
}

static void Fill(TZFSearchRec& rec, const WIN32_FIND_DATAW& data) {
    rec.Name = data.cFileName;
    rec.Attr = (int32_t)data.dwFileAttributes;
    rec.Size = (int64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
    rec.Time = DosDateTime(data.ftLastWriteTime);
}

static bool FindListed(TZFSearchRec& rec, WIN32_FIND_DATAW& data) {
    for (;;) {
        Fill(rec, data);
        if (Listed(rec)) return true;
        if (!FindNextFileW((HANDLE)rec.Handle, &data)) return false;
    }
}

bool ZFFindFirst(const std::wstring& mask, int32_t attr, TZFSearchRec& rec) {
    rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(mask.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        rec.Handle = nullptr;
        return false;
    }
    rec.Handle = h;
    if (FindListed(rec, data)) return true;
    ZFFindClose(rec);
    return false;
}

bool ZFFindNext(TZFSearchRec& rec) {
    if (!rec.Handle) return false;
    WIN32_FIND_DATAW data;
    if (!FindNextFileW((HANDLE)rec.Handle, &data)) return false;
    return FindListed(rec, data);
}

void ZFFindClose(TZFSearchRec& rec) {
    if (rec.Handle) FindClose((HANDLE)rec.Handle);
    rec.Handle = nullptr;
}
