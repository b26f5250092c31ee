// File mapping by region, the Windows half: one mapping object over the whole file, views of it
// at the allocation granularity.
#include "FileMapping.h"

#include "WinApi.h"

#include <winioctl.h>

namespace {

HANDLE AsHandle(intptr_t AValue) { return reinterpret_cast<HANDLE>(AValue); }
intptr_t AsValue(HANDLE AHandle) { return reinterpret_cast<intptr_t>(AHandle); }

}  // namespace

uint32_t TFileMapping::Granularity() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

void TFileMapping::OpenFile(const std::wstring& AFileName, bool ACreate, int64_t ASize, bool ATemporary) {
    const DWORD access = (FWritable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ) | (ATemporary ? DELETE : 0);
    // A temporary file goes when its last handle (the mapping's and the views' included) closes.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (ATemporary ? FILE_SHARE_DELETE : 0);
    const DWORD flags =
        ATemporary ? FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE : FILE_ATTRIBUTE_NORMAL;
    HANDLE file = CreateFileW(AFileName.c_str(), access, share, nullptr, ACreate ? CREATE_ALWAYS : OPEN_EXISTING,
                              flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const std::wstring text = Format(ACreate ? SFCreateErrorEx : SFOpenErrorEx, AFileName, SysErrorMessage(error));
        if (ACreate) throw EFCreateError(text);
        throw EFOpenError(text);
    }
    FFile = AsValue(file);
    try {
        if (ACreate) {
            // Sparse where the file system has it (NTFS); elsewhere the size is simply set.
            DWORD returned = 0;
            DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
            LARGE_INTEGER end;
            end.QuadPart = ASize;
            if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) RaiseLastOSError();
        }
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(file, &size)) RaiseLastOSError();
        FSize = size.QuadPart;
        // The system refuses a mapping object over an empty file; no region of it can be asked for.
        if (FSize > 0) {
            HANDLE section = CreateFileMappingW(file, nullptr, FWritable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
            if (!section) RaiseLastOSError();
            FSection = AsValue(section);
        }
    } catch (...) {
        CloseFile();
        throw;
    }
}

void TFileMapping::CloseFile() {
    if (FSection) CloseHandle(AsHandle(FSection));
    if (AsHandle(FFile) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(FFile));
    FSection = 0;
    FFile = AsValue(INVALID_HANDLE_VALUE);
}

void* TFileMapping::SystemMap(int64_t AStart, size_t ALength) {
    const uint64_t start = static_cast<uint64_t>(AStart);
    void* base = MapViewOfFile(AsHandle(FSection), FWritable ? FILE_MAP_WRITE : FILE_MAP_READ,
                               static_cast<DWORD>(start >> 32), static_cast<DWORD>(start & 0xFFFFFFFFu), ALength);
    if (!base) RaiseLastOSError();
    return base;
}

void TFileMapping::SystemUnmap(void* ABase, size_t) { UnmapViewOfFile(ABase); }

namespace {

// The position of a positioned read or write; no more than 1 GiB goes in one call.
OVERLAPPED At(int64_t AOffset) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(AOffset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(AOffset) >> 32);
    return at;
}
constexpr size_t kMaxTransfer = 1u << 30;

}  // namespace

void TFileMapping::SystemRead(int64_t AOffset, void* AData, size_t ALength) {
    uint8_t* data = static_cast<uint8_t*>(AData);
    while (ALength > 0) {
        OVERLAPPED at = At(AOffset);
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(ALength < kMaxTransfer ? ALength : kMaxTransfer);
        if (!ReadFile(AsHandle(FFile), data, chunk, &done, &at)) RaiseLastOSError();
        if (done == 0) RaiseLastOSError(ERROR_HANDLE_EOF);   // the file is shorter than it was
        data += done;
        AOffset += done;
        ALength -= done;
    }
}

void TFileMapping::SystemWrite(int64_t AOffset, const void* AData, size_t ALength) {
    const uint8_t* data = static_cast<const uint8_t*>(AData);
    while (ALength > 0) {
        OVERLAPPED at = At(AOffset);
        DWORD done = 0;
        const DWORD chunk = static_cast<DWORD>(ALength < kMaxTransfer ? ALength : kMaxTransfer);
        if (!WriteFile(AsHandle(FFile), data, chunk, &done, &at)) RaiseLastOSError();
        if (done == 0) RaiseLastOSError(ERROR_DISK_FULL);
        data += done;
        AOffset += done;
        ALength -= done;
    }
}
