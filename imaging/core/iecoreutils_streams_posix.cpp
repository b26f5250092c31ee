// The stream helpers' file services for the native build: POSIX descriptors behind the Win32
// values that IECreateFileW takes (access, creation disposition; sharing is not enforced), names
// as Wine shows them. A temporary file is removed by name when its stream is freed.
#include "iecoreutils_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "PosixPlatform.h"

namespace {

void* HandleOf(int fd) {
    return fd < 0 ? IEInvalidHandle : reinterpret_cast<void*>((intptr_t)fd);
}

int Fd(void* handle) {
    return (int)(intptr_t)handle;
}

}  // namespace

void* IECreateFileW(const std::wstring& FileName, uint32_t DesiredAccess, uint32_t, void*,
                    uint32_t CreationDisposition, uint32_t, void*) {
    const bool read = (DesiredAccess & 0x80000000u) != 0, write = (DesiredAccess & 0x40000000u) != 0;
    int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (CreationDisposition) {
    case 1: flags |= O_CREAT | O_EXCL; break;     // new
    case 2: flags |= O_CREAT | O_TRUNC; break;    // always
    case 4: flags |= O_CREAT; break;              // open always
    case 5: flags |= O_TRUNC; break;              // truncate existing
    default: break;                               // existing
    }
    const int fd = open(kwposix::PosixPath(FileName).c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd);
            errno = EISDIR;
            return IEInvalidHandle;
        }
    }
    return HandleOf(fd);
}

bool IEFileExistsW(const std::wstring& FileName) {
    kwposix::TFileFacts facts;
    return kwposix::FileFacts(kwposix::PosixPath(FileName), facts) && !(facts.Attr & 0x10);
}

std::wstring IESystemTempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::wstring folder = kwposix::WinePath(dir && *dir ? dir : "/tmp");
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

TIEWideFileStream::~TIEWideFileStream() {
    if (FHandle != IEInvalidHandle) close(Fd(FHandle));
}

TIETemporaryFileStream::TIETemporaryFileStream(const std::wstring& FileName)
    : THandleStream(IEInvalidHandle), FFileName(FileName) {
    FHandle = IECreateFileW(FileName, 0xC0000000u, 0, nullptr, 2, 0, nullptr);
    if (FHandle == IEInvalidHandle) throw EInOutError(L"Unable to create " + FileName);
    // Unlinked at once: the descriptor keeps the data until it closes, however the program ends.
    unlink(kwposix::PosixPath(FFileName).c_str());
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
    if (FHandle != IEInvalidHandle) close(Fd(FHandle));
}

namespace ieplatform {

std::wstring FullFileName(const std::wstring& FileName) {
    return kwposix::FullPath(FileName);
}

uint32_t LastError() {
    return (uint32_t)errno;
}

void DeleteFileByName(const std::wstring& FileName) {
    if (!FileName.empty()) unlink(kwposix::PosixPath(FileName).c_str());
}

}  // namespace ieplatform
