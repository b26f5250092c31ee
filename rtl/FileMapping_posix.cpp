// File mapping by region, the POSIX half: shared mappings of the descriptor at the page size.
#include "FileMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "CheckedMath.h"
#include "PosixPlatform.h"

uint32_t TFileMapping::Granularity() {
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<uint32_t>(page) : 4096u;
}

void TFileMapping::OpenFile(const std::wstring& AFileName, bool ACreate, int64_t ASize, bool ATemporary) {
    const int flags = (FWritable ? O_RDWR : O_RDONLY) | (ACreate ? O_CREAT | O_TRUNC : 0) | O_CLOEXEC;
    const std::string path = kwposix::PosixPath(AFileName);
    const int fd = open(path.c_str(), flags, ATemporary ? 0600 : 0666);
    if (fd < 0) {
        const int error = errno;
        const std::wstring text =
            Format(ACreate ? SFCreateErrorEx : SFOpenErrorEx, AFileName, SysErrorMessage(static_cast<uint32_t>(error)));
        if (ACreate) throw EFCreateError(text);
        throw EFOpenError(text);
    }
    FFile = fd;
    // The descriptor keeps the file's data until it closes, however the program ends.
    if (ATemporary) unlink(path.c_str());
    try {
        off_t size = 0;
        // Growing a file with ftruncate leaves a hole: no disk space until bytes are written.
        if (ACreate && !Checked::Cast(ASize, &size)) RaiseLastOSError(EFBIG);
        if (ACreate && ftruncate(fd, size) != 0) RaiseLastOSError();
        struct stat st;
        if (fstat(fd, &st) != 0) RaiseLastOSError();
        if (S_ISDIR(st.st_mode)) RaiseLastOSError(EISDIR);
        FSize = static_cast<int64_t>(st.st_size);
    } catch (...) {
        CloseFile();
        throw;
    }
}

void TFileMapping::CloseFile() {
    if (FFile >= 0) close(static_cast<int>(FFile));
    FFile = -1;
}

void* TFileMapping::SystemMap(int64_t AStart, size_t ALength) {
    off_t start = 0;
    if (!Checked::Cast(AStart, &start)) RaiseLastOSError(EOVERFLOW);
    void* base = mmap(nullptr, ALength, PROT_READ | (FWritable ? PROT_WRITE : 0), MAP_SHARED,
                      static_cast<int>(FFile), start);
    if (base == MAP_FAILED) RaiseLastOSError();
    return base;
}

void TFileMapping::SystemUnmap(void* ABase, size_t ALength) { munmap(ABase, ALength); }

void TFileMapping::SystemRead(int64_t AOffset, void* AData, size_t ALength) {
    uint8_t* data = static_cast<uint8_t*>(AData);
    while (ALength > 0) {
        off_t at = 0;
        if (!Checked::Cast(AOffset, &at)) RaiseLastOSError(EOVERFLOW);
        const ssize_t done = pread(static_cast<int>(FFile), data, ALength, at);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) RaiseLastOSError();
        if (done == 0) RaiseLastOSError(EIO);   // the file is shorter than it was
        data += done;
        AOffset += done;
        ALength -= static_cast<size_t>(done);
    }
}

void TFileMapping::SystemWrite(int64_t AOffset, const void* AData, size_t ALength) {
    const uint8_t* data = static_cast<const uint8_t*>(AData);
    while (ALength > 0) {
        off_t at = 0;
        if (!Checked::Cast(AOffset, &at)) RaiseLastOSError(EOVERFLOW);
        const ssize_t done = pwrite(static_cast<int>(FFile), data, ALength, at);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) RaiseLastOSError(done < 0 ? errno : ENOSPC);
        data += done;
        AOffset += done;
        ALength -= static_cast<size_t>(done);
    }
}
