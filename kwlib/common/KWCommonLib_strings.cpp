#include "KWCommonLib_strings.h"

#include <algorithm>
#include <cmath>

#include "SysUtils.h"
#include "WinApi.h"

namespace {

const wchar_t PathDelim = L'\\';

std::wstring AnsiToWide(const char* AText, size_t ALength) {
    if (ALength == 0) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, AText, (int)ALength, nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, AText, (int)ALength, out.data(), n);
    return out;
}

bool IsBlank(wchar_t C) {
    return C == 0 || C == 9 || C == 10 || C == 13 || C == 32;
}

wchar_t UpcaseAscii(wchar_t C) {
    return (C >= L'a' && C <= L'z') ? wchar_t(C - 32) : C;
}

// 0-based position of ASubStr in AText from AFrom on; npos when absent or ASubStr is empty.
size_t FindText(const std::wstring& ASubStr, const std::wstring& AText, size_t AFrom, bool ACaseSensitive) {
    if (ASubStr.empty() || AText.size() < ASubStr.size()) return std::wstring::npos;
    if (ACaseSensitive) return AText.find(ASubStr, AFrom);
    for (size_t i = AFrom; i + ASubStr.size() <= AText.size(); ++i) {
        size_t k = 0;
        while (k < ASubStr.size() && UpcaseAscii(AText[i + k]) == UpcaseAscii(ASubStr[k])) ++k;
        if (k == ASubStr.size()) return i;
    }
    return std::wstring::npos;
}

// Days since 1899-12-30 <-> civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468 + 25569;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468 - 25569;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(era * 400 + yoe + (m <= 2));
}

bool IsLeapYear(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

bool TryEncodeDateTime(int y, int m, int d, int h, int n, int s, double& ADateTime) {
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    if (d > monthDays[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0)) return false;
    if (h > 23 || n > 59 || s > 59) return false;
    ADateTime = double(DaysFromCivil(y, unsigned(m), unsigned(d))) + (h * 3600 + n * 60 + s) / 86400.0;
    return true;
}

// The parts of a date-time, rounded to the millisecond; the time of a date before 1899-12-30
// counts forward from its midnight, as the date-time's fraction does.
struct TDateParts {
    int Year, Month, Day, Hour, Minute, Second, MSec;
};

TDateParts DecodeDateTimeParts(double ADateTime) {
    const long double msecs = std::nearbyint((long double)ADateTime * 86400000.0L);
    if (!(std::fabs(msecs) < 2958466.0L * 86400000.0L + 86400000.0L))
        throw Exception(L"Invalid argument to date encode");
    const int64_t total = int64_t(msecs);
    const int64_t days = total / 86400000;
    int64_t time = (total < 0 ? -total : total) % 86400000;
    TDateParts p{};
    CivilFromDays(days, p.Year, p.Month, p.Day);
    p.Hour = int(time / 3600000);
    time %= 3600000;
    p.Minute = int(time / 60000);
    time %= 60000;
    p.Second = int(time / 1000);
    p.MSec = int(time % 1000);
    return p;
}

}  // namespace

// ---- Paths ----------------------------------------------------------------------------------

TKWPathPart::TKWPathPart(const std::string& AAnsiText) : FText(AnsiToWide(AAnsiText.data(), AAnsiText.size())) {}
TKWPathPart::TKWPathPart(const char* AAnsiText)
    : FText(AAnsiText ? AnsiToWide(AAnsiText, strlen(AAnsiText)) : std::wstring()) {}

std::wstring KWIncludeTrailingPathDelimiter(const std::wstring& APath) {
    if (APath.empty() || APath.back() == PathDelim) return APath;
    return APath + PathDelim;
}

std::wstring KWExcludeTrailingPathDelimiter(const std::wstring& APath) {
    if (!APath.empty() && APath.back() == PathDelim) return APath.substr(0, APath.size() - 1);
    return APath;
}

std::wstring KWCombinePath(std::initializer_list<TKWPathPart> AParts) {
    std::wstring result;
    for (const TKWPathPart& part : AParts) result += KWIncludeTrailingPathDelimiter(part.Text());
    return result;
}

std::wstring KWRemoveFileExt(const std::wstring& APath) {
    size_t pos = APath.find_last_of(L".\\/:");
    if (pos == std::wstring::npos || APath[pos] != L'.') return APath;
    return APath.substr(0, pos);
}

// ---- Dates --------------------------------------------------------------------------------

std::wstring KWDateTimeToStr(double ADateTime) {
    if (std::isnan(ADateTime)) return std::wstring();
    const TDateParts p = DecodeDateTimeParts(ADateTime);
    wchar_t buf[32];
    swprintf(buf, 32, L"%04d/%02d/%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
    return buf;
}

double KWFileDateToDateTime(int32_t AFileDate) {
    const uint32_t v = uint32_t(AFileDate);
    const unsigned date = v >> 16, time = v & 0xFFFF;
    double result;
    if (!TryEncodeDateTime(int(date >> 9) + 1980, int((date >> 5) & 15), int(date & 31), int(time >> 11),
                           int((time >> 5) & 63), int(time & 31) * 2, result))
        return NAN;
    return result;
}

void KWDateTimeToFileTime(FILETIME& AFileTime, double ADateTime) {
    AFileTime = FILETIME{0, 0};
    if (std::isnan(ADateTime)) return;
    const TDateParts p = DecodeDateTimeParts(ADateTime);
    SYSTEMTIME st{};
    st.wYear = WORD(p.Year);
    st.wMonth = WORD(p.Month);
    st.wDay = WORD(p.Day);
    st.wHour = WORD(p.Hour);
    st.wMinute = WORD(p.Minute);
    st.wSecond = WORD(p.Second);
    st.wMilliseconds = WORD(p.MSec);
    FILETIME local{};
    if (SystemTimeToFileTime(&st, &local)) LocalFileTimeToFileTime(&local, &AFileTime);
}

bool KWSameDay(double A, double B) {
    if (std::isnan(A) || std::isnan(B)) return false;
    return std::trunc(A) == std::trunc(B);
}

// ---- String arrays --------------------------------------------------------------------------

int32_t KWAddString(TKWStringArray& AList, const std::wstring& AText) {
    AList.push_back(AText);
    return int32_t(AList.size() - 1);
}

int32_t KWIndexOfString(const TKWStringArray& AList, const std::wstring& AText, bool ACaseSensitive,
                        bool ATrim) {
    for (size_t i = 0; i < AList.size(); ++i)
        if (KWSameString(AList[i], AText, ACaseSensitive, ATrim)) return int32_t(i);
    return -1;
}

bool KWReverseStrings(TKWStringArray& AList) {
    if (AList.empty()) return false;
    std::reverse(AList.begin(), AList.end());
    return true;
}

// ---- Trimming and comparing -----------------------------------------------------------------

bool KWIsBlankChar(int32_t AIndex, const std::wstring& AText) {
    if (AIndex < 1 || size_t(AIndex) > AText.size()) return false;
    return IsBlank(AText[AIndex - 1]);
}

std::wstring KWTrim(const std::wstring& AText) {
    size_t first = 0, last = AText.size();
    while (first < last && IsBlank(AText[first])) ++first;
    while (last > first && IsBlank(AText[last - 1])) --last;
    return AText.substr(first, last - first);
}

bool KWSameString(const std::wstring& AText1, const std::wstring& AText2, bool ACaseSensitive, bool ATrim) {
    try {
        const std::wstring a = ATrim ? KWTrim(AText1) : AText1;
        const std::wstring b = ATrim ? KWTrim(AText2) : AText2;
        if (a.empty() || b.empty()) return a.empty() && b.empty();
        DWORD flags = ACaseSensitive ? 0 : NORM_IGNORECASE;
        return CompareStringW(LOCALE_USER_DEFAULT, flags, a.data(), (int)a.size(), b.data(), (int)b.size()) ==
               CSTR_EQUAL;
    } catch (...) {
        return false;
    }
}

int32_t KWPosText(const std::wstring& ASubStr, const std::wstring& AText) {
    size_t pos = FindText(ASubStr, AText, 0, false);
    return pos == std::wstring::npos ? 0 : int32_t(pos + 1);
}

bool KWStartsWith(const std::wstring& AText, const std::wstring& APrefix, bool ACaseSensitive) {
    if (APrefix.empty()) return AText.empty();
    return KWSameString(AText.substr(0, APrefix.size()), APrefix, ACaseSensitive, false);
}

std::wstring KWRemovePrefix(const std::wstring& AText, const std::wstring& APrefix, bool ACaseSensitive) {
    if (!KWStartsWith(AText, APrefix, ACaseSensitive)) return AText;
    return AText.substr(std::min(APrefix.size(), AText.size()));
}

std::wstring KWRemoveSuffix(const std::wstring& AText, const std::wstring& ASuffix) {
    if (AText.empty() || ASuffix.empty() || ASuffix.size() > AText.size()) return AText;
    if (AText == ASuffix) return std::wstring();
    if (AText.compare(AText.size() - ASuffix.size(), ASuffix.size(), ASuffix) == 0)
        return AText.substr(0, AText.size() - ASuffix.size());
    return AText;
}

// ---- Splitting and replacing ----------------------------------------------------------------

bool KWSplit(const std::wstring& AText, const std::wstring& ADelimiter, TKWStringArray& AList,
             bool AKeepEmpty) {
    AList.clear();
    auto append = [&](std::wstring APiece) {
        if (AKeepEmpty || !KWTrim(APiece).empty()) AList.push_back(std::move(APiece));
    };
    size_t start = 0;
    if (!ADelimiter.empty()) {
        for (size_t pos; (pos = AText.find(ADelimiter, start)) != std::wstring::npos;
             start = pos + ADelimiter.size())
            append(AText.substr(start, pos - start));
    }
    append(AText.substr(start));
    return !AList.empty();
}

// The key is the trimmed text before the first delimiter, the value the trimmed text after it.
// (Rejoining the remaining pieces and dropping one character would leave part of a delimiter longer
// than one character at the end of the value.)
bool KWSplitKeyValue(const std::wstring& AText, const std::wstring& ADelimiter, std::wstring& AKey,
                     std::wstring& AValue) {
    AKey.clear();
    AValue.clear();
    size_t pos = ADelimiter.empty() ? std::wstring::npos : AText.find(ADelimiter);
    if (pos == std::wstring::npos) return false;
    AKey = KWTrim(AText.substr(0, pos));
    AValue = KWTrim(AText.substr(pos + ADelimiter.size()));
    return true;
}

std::wstring KWReplace(const std::wstring& AText, const std::wstring& AOld, const std::wstring& ANew,
                       bool AOnce, bool ACaseSensitive) {
    if (AOld.empty()) return AText;
    std::wstring result;
    size_t start = 0;
    for (size_t pos; (pos = FindText(AOld, AText, start, ACaseSensitive)) != std::wstring::npos;) {
        result.append(AText, start, pos - start);
        result += ANew;
        start = pos + AOld.size();
        if (AOnce) break;
    }
    result.append(AText, start, std::wstring::npos);
    return result;
}

std::wstring KWNormalizeLineBreaks(const std::wstring& AText, const std::wstring& ABreak) {
    std::wstring result = KWReplace(AText, L"\r\n", L"\r", false, true);
    result = KWReplace(result, L"\n", L"\r", false, true);
    return KWReplace(result, L"\r", ABreak, false, true);
}

std::unique_ptr<char[]> KWStrAllocAnsi(const std::wstring& AText) {
    int n = AText.empty() ? 0
                          : WideCharToMultiByte(CP_ACP, 0, AText.data(), (int)AText.size(), nullptr, 0,
                                                nullptr, nullptr);
    std::unique_ptr<char[]> result(new char[size_t(n) + 1]);
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, AText.data(), (int)AText.size(), result.get(), n, nullptr, nullptr);
    result[n] = '\0';
    return result;
}

// ---- Numbers and rectangles -----------------------------------------------------------------

double KWCalcPercentFloat(int64_t ATotal, int64_t AValue) {
    if (ATotal == 0) return 0;
    if (AValue >= ATotal) return 100;
    return double((long double)AValue / (long double)ATotal * 100.0L);
}

int64_t KWCalcPercent(int64_t ATotal, int64_t AValue) {
    return int64_t(std::trunc(KWCalcPercentFloat(ATotal, AValue)));
}

int32_t KWRectWidth(const RECT& R) { return R.right - R.left; }
int32_t KWRectHeight(const RECT& R) { return R.bottom - R.top; }
RECT KWInflateRect(const RECT& R, int32_t DX, int32_t DY) {
    return RECT{R.left - DX, R.top - DY, R.right + DX, R.bottom + DY};
}
