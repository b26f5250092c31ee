// The platform services of ZFStrFunc for the native build: code pages, case mapping and files.
// Paths look as they do under Wine (drive Z: is the root, "\" separates); no drive is removable.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstdlib>

#include "PosixPlatform.h"
#include "ZFStrFunc.h"

using kwposix::PosixPath;

std::wstring ZFCodePageToWide(const std::string& bytes, TZFCodePage codePage) {
    return AnsiToWide(bytes, codePage == zcpUtf8 ? cpUTF8 : codePage == zcpOem ? cpOEMCP : cpACP);
}

std::string ZFWideToCodePage(const std::wstring& text, TZFCodePage codePage) {
    return WideToAnsi(text, codePage == zcpUtf8 ? cpUTF8 : codePage == zcpOem ? cpOEMCP : cpACP);
}

std::wstring ZFLowerCase(const std::wstring& s) {
    std::wstring r = s;
    for (wchar_t& c : r) c = kwposix::LowerChar(c);
    return r;
}

std::wstring ZFUpperCase(const std::wstring& s) {
    std::wstring r = s;
    for (wchar_t& c : r) c = kwposix::UpperChar(c);
    return r;
}

bool ZFFileExists(const std::wstring& fileName) {
    struct stat st;
    return stat(PosixPath(fileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::wstring ZFExistingFileName(const std::wstring& fileName) {
    if (ZFFileExists(fileName)) return fileName;
    const std::wstring folder = ZFExtractFilePath(fileName);
    const std::wstring wanted = ZFLowerCase(ZFExtractFileName(fileName));
    if (wanted.empty()) return fileName;
    DIR* dir = opendir(folder.empty() ? "." : PosixPath(folder).c_str());
    if (!dir) return fileName;
    std::wstring found = fileName;
    while (const struct dirent* entry = readdir(dir)) {
        const std::wstring name = Utf8ToWide(entry->d_name);
        if (ZFLowerCase(name) == wanted && ZFFileExists(folder + name)) {
            found = folder + name;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool ZFDirectoryExists(const std::wstring& dir) {
    struct stat st;
    return stat(PosixPath(dir).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ZFCreateDir(const std::wstring& dir) {
    return mkdir(PosixPath(dir).c_str(), 0777) == 0;
}

bool ZFDeleteFile(const std::wstring& fileName) {
    return unlink(PosixPath(fileName).c_str()) == 0;
}

bool ZFRenameFile(const std::wstring& oldName, const std::wstring& newName) {
    // Windows does not replace an existing file.
    struct stat st;
    if (lstat(PosixPath(newName).c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(PosixPath(oldName).c_str(), PosixPath(newName).c_str()) == 0;
}

bool ZFRemoveDir(const std::wstring& dir) {
    return rmdir(PosixPath(dir).c_str()) == 0;
}

int32_t ZFFileGetAttr(const std::wstring& fileName) {
    kwposix::TFileFacts facts;
    return kwposix::FileFacts(PosixPath(fileName), facts) ? facts.Attr : -1;
}

bool ZFFileSetAttr(const std::wstring& fileName, int32_t attr) {
    // Only the read-only bit has a POSIX counterpart: the owner's write permission.
    const std::string path = PosixPath(fileName);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (!S_ISDIR(st.st_mode)) mode = (attr & faReadOnly) ? mode & ~(mode_t)0222 : mode | S_IWUSR;
    return chmod(path.c_str(), mode) == 0;
}

int32_t ZFFileAge(const std::wstring& fileName) {
    kwposix::TFileFacts facts;
    if (!kwposix::FileFacts(PosixPath(fileName), facts) || (facts.Attr & faDirectory)) return -1;
    return facts.DosTime;
}

std::wstring ZFGetCurrentDir() {
    const std::wstring dir = kwposix::FullPath(L".");
    return dir.size() > 3 ? ZFExcludeTrailingBackslash(dir) : dir;
}

std::wstring ZFExpandFileName(const std::wstring& fileName) {
    return kwposix::FullPath(fileName);
}

bool ZFDriveIsRemovable(const std::wstring& path) {
    return false;
}

std::wstring ZFSystemTempDir() {
    const char* tmp = getenv("TMPDIR");
    return ZFIncludeTrailingBackslash(kwposix::WinePath(tmp && *tmp == '/' ? tmp : "/tmp"));
}

std::wstring ZFCreateTempFile(const std::wstring& dir, const std::wstring& prefix) {
    // As GetTempFileName: up to three characters of the prefix, four hexadecimal digits, ".TMP".
    const std::wstring folder = ZFIncludeTrailingBackslash(dir);
    const std::wstring head = prefix.substr(0, 3);
    unsigned start = (unsigned)time(nullptr) ^ (unsigned)getpid();
    for (unsigned i = 0; i < 0x10000; ++i) {
        const unsigned number = ((start + i) & 0xFFFF) ? (start + i) & 0xFFFF : 1;
        wchar_t digits[8];
        swprintf(digits, 8, L"%04X", number);
        const std::wstring name = folder + head + digits + L".TMP";
        const int fd = open(PosixPath(name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return name;
        }
        if (errno != EEXIST) return std::wstring();
    }
    return std::wstring();
}

// ---- Folder listing ---------------------------------------------------------------------------------

namespace {

struct TFindState {
    DIR* Dir = nullptr;
    std::string Folder;      // with a trailing "/"
    std::wstring Pattern;
};

bool FindListed(TZFSearchRec& rec) {
    TFindState& state = *static_cast<TFindState*>(rec.Handle);
    while (dirent* entry = readdir(state.Dir)) {
        const std::wstring name = Utf8ToWide(entry->d_name);
        if (!WildcardMatch(name, state.Pattern, true)) continue;
        kwposix::TFileFacts facts;
        if (!kwposix::FileFacts(state.Folder + entry->d_name, facts)) continue;
        rec.Name = name;
        rec.Attr = facts.Attr;
        rec.Size = facts.Size;
        rec.Time = facts.DosTime;
        if ((rec.Attr & rec.ExcludeAttr) == 0) return true;
    }
    return false;
}

}  // namespace

bool ZFFindFirst(const std::wstring& mask, int32_t attr, TZFSearchRec& rec) {
    rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    rec.Handle = nullptr;
    const std::wstring folder = ZFExtractFilePath(mask);
    const std::wstring pattern = mask.substr(folder.size());
    if (pattern.empty()) return false;
    auto state = std::make_unique<TFindState>();
    state->Folder = PosixPath(folder.empty() ? L"." : folder);
    if (state->Folder.empty() || state->Folder.back() != '/') state->Folder += '/';
    state->Pattern = pattern == L"*.*" ? L"*" : pattern;
    state->Dir = opendir(state->Folder.c_str());
    if (!state->Dir) return false;
    rec.Handle = state.release();
    if (FindListed(rec)) return true;
    ZFFindClose(rec);
    return false;
}

bool ZFFindNext(TZFSearchRec& rec) {
    return rec.Handle && FindListed(rec);
}

void ZFFindClose(TZFSearchRec& rec) {
    if (!rec.Handle) return;
    std::unique_ptr<TFindState> state(static_cast<TFindState*>(rec.Handle));
    rec.Handle = nullptr;
    closedir(state->Dir);
}
