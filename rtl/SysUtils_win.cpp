// The operating-system half of SysUtils: code pages, system error texts and the clock.
#include "SysUtils.h"

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
