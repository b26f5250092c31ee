// The stream helpers' file services over Win32.
#include "iecoreutils_startup.h"
#include "iecoreutils_streams.h"

#include "SysUtils.h"
#include "WinApi.h"

#include <winioctl.h>

void* IECreateFileW(const std::wstring& FileName, uint32_t DesiredAccess, uint32_t ShareMode, void* Security,
                    uint32_t CreationDisposition, uint32_t FlagsAndAttributes, void* TemplateFile) {
    auto* security = static_cast<LPSECURITY_ATTRIBUTES>(Security);
    if (IEIsWinNT)
        return CreateFileW(FileName.c_str(), DesiredAccess, ShareMode, security, CreationDisposition,
                           FlagsAndAttributes, TemplateFile);
    return CreateFileA(WideToAnsi(FileName).c_str(), DesiredAccess, ShareMode, security, CreationDisposition,
                       FlagsAndAttributes, TemplateFile);
}

bool IEFileExistsW(const std::wstring& FileName) {
    const DWORD attr = IEIsWinNT ? GetFileAttributesW(FileName.c_str())
                                 : GetFileAttributesA(WideToAnsi(FileName).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring IESystemTempFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring folder = n > 0 && n <= MAX_PATH ? std::wstring(buffer, n) : L".\\";
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

TIEWideFileStream::~TIEWideFileStream() {
    if (FHandle != IEInvalidHandle) CloseHandle(FHandle);
}

TIETemporaryFileStream::TIETemporaryFileStream(const std::wstring& FileName)
    : THandleStream(IEInvalidHandle), FFileName(FileName) {
    FHandle = IECreateFileW(FileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (FHandle == IEInvalidHandle) throw EInOutError(L"Unable to create " + FileName);
    // Sparse where the file system has it: sizing the store takes no disk space.
    DWORD returned = 0;
    DeviceIoControl(FHandle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
    if (FHandle != IEInvalidHandle) CloseHandle(FHandle);   // the system deletes the file
}

namespace ieplatform {

std::wstring FullFileName(const std::wstring& FileName) {
    const DWORD n = GetFullPathNameW(FileName.c_str(), 0, nullptr, nullptr);
    if (n == 0) return FileName;
    std::wstring full(n, L'\0');
    const DWORD m = GetFullPathNameW(FileName.c_str(), n, &full[0], nullptr);
    if (m == 0 || m >= n) return FileName;
    full.resize(m);
    return full;
}

uint32_t LastError() {
    return GetLastError();
}

void DeleteFileByName(const std::wstring& FileName) {
    if (!FileName.empty()) DeleteFileW(FileName.c_str());
}

}  // namespace ieplatform
