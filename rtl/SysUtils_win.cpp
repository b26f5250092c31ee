// The operating-system half of SysUtils: code pages, system error texts, the clock and files.
#include "SysUtils.h"

#include <algorithm>
#include <cstdint>

#include "WinApi.h"

namespace {

UINT SystemCodePage(uint32_t codePage) {
    return codePage == cpACP ? CP_ACP : codePage == cpOEMCP ? CP_OEMCP : (UINT)codePage;
}

}  // namespace

std::wstring AnsiToWide(const std::string& s, uint32_t codePage) {
    if (s.empty()) return {};
    const UINT cp = SystemCodePage(codePage);
    int n = MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), &out[0], n);
    return out;
}

std::string WideToAnsi(const std::wstring& s, uint32_t codePage) {
    if (s.empty()) return {};
    const UINT cp = SystemCodePage(codePage);
    int n = WideCharToMultiByte(cp, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(cp, 0, s.data(), (int)s.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring OemToWide(const std::string& s) { return AnsiToWide(s, cpOEMCP); }
std::string WideToOem(const std::wstring& s) { return WideToAnsi(s, cpOEMCP); }

int32_t CompareLocaleStrings(const std::wstring& S1, const std::wstring& S2, bool ACaseSensitive) {
    return CompareStringW(LOCALE_USER_DEFAULT, ACaseSensitive ? 0 : NORM_IGNORECASE, S1.data(), (int)S1.size(),
                          S2.data(), (int)S2.size()) - CSTR_EQUAL;
}

std::wstring SysErrorMessage(uint32_t errorCode) {
    wchar_t buffer[1024];
    DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_ARGUMENT_ARRAY,
                               nullptr, errorCode, 0, buffer, ARRAYSIZE(buffer), nullptr);
    while (len > 0 && (buffer[len - 1] <= L' ' || buffer[len - 1] == L'.')) --len;
    return std::wstring(buffer, len);
}

void RaiseLastOSError() { RaiseLastOSError((uint32_t)GetLastError()); }

void DateTimeToSystemTime(TDateTime dt, SYSTEMTIME& st) {
    uint16_t y, m, d, h, n, s, ms;
    DecodeDate(dt, y, m, d);
    DecodeTime(dt, h, n, s, ms);
    st.wYear = y;
    st.wMonth = m;
    st.wDay = d;
    st.wDayOfWeek = (WORD)(DayOfWeek(dt) - 1);
    st.wHour = h;
    st.wMinute = n;
    st.wSecond = s;
    st.wMilliseconds = ms;
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME& st) {
    TDateTime date = EncodeDate(st.wYear, st.wMonth, st.wDay);
    TDateTime time = EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return date < 0 ? date - time : date + time;
}

TDateTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return SystemTimeToDateTime(st);
}

TDateTime Date() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

// ---- Files ----------------------------------------------------------------------------------

namespace {

// Closes a Win32 file handle on every exit path.
class TWinFile {
public:
    explicit TWinFile(HANDLE AHandle) : FHandle(AHandle) {}
    ~TWinFile() {
        if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
    }
    TWinFile(const TWinFile&) = delete;
    TWinFile& operator=(const TWinFile&) = delete;
    HANDLE Get() const { return FHandle; }

private:
    HANDLE FHandle;
};

}  // namespace

uint32_t GetLastOSError() { return (uint32_t)GetLastError(); }

bool FileExists(const std::wstring& AFileName) {
    const DWORD attr = GetFileAttributesW(AFileName.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& ADirectory) {
    const DWORD attr = GetFileAttributesW(ADirectory.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::wstring& AFileName, std::string& AData, uint64_t AMaxSize) {
    TWinFile file(CreateFileW(AFileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) return false;
    if ((uint64_t)size.QuadPart > AMaxSize || (uint64_t)size.QuadPart > SIZE_MAX) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    AData.resize((size_t)size.QuadPart);
    for (size_t done = 0; done < AData.size();) {
        const DWORD want = (DWORD)std::min<size_t>(AData.size() - done, 1u << 30);
        DWORD got = 0;
        if (!ReadFile(file.Get(), &AData[done], want, &got, nullptr)) return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        done += got;
    }
    return true;
}

bool WriteWholeFile(const std::wstring& AFileName, const std::string& AData, bool AFlush) {
    TWinFile file(CreateFileW(AFileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return false;
    for (size_t done = 0; done < AData.size();) {
        const DWORD want = (DWORD)std::min<size_t>(AData.size() - done, 1u << 30);
        DWORD written = 0;
        if (!WriteFile(file.Get(), AData.data() + done, want, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return !AFlush || FlushFileBuffers(file.Get());
}

bool CreateTempFileIn(const std::wstring& AFolder, const std::wstring& APrefix, std::wstring& AFileName) {
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(AFolder.c_str(), APrefix.c_str(), 0, name)) return false;
    AFileName = name;
    return true;
}

bool ReplaceFileWith(const std::wstring& ATarget, const std::wstring& ASource) {
    return MoveFileExW(ASource.c_str(), ATarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::wstring& AFileName) { return DeleteFileW(AFileName.c_str()) != 0; }

void OutputDebugTextSystem(const std::wstring& Text) { OutputDebugStringW((Text + L"\n").c_str()); }
