#include "KWCommonLib_strings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Classes.h"
#include "SysUtils.h"

namespace {

const wchar_t PathDelim = L'\\';

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

}  // namespace

// ---- Paths ----------------------------------------------------------------------------------

TKWPathPart::TKWPathPart(const std::string& AAnsiText) : FText(AnsiToWide(AAnsiText)) {}
TKWPathPart::TKWPathPart(const char* AAnsiText) : FText(AAnsiText ? AnsiToWide(AAnsiText) : std::wstring()) {}

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

void KWGetFormatSettings(TFormatSettings& ASettings) {
    ASettings = TFormatSettings();
    ASettings.DateSeparator = L'/';
    ASettings.TimeSeparator = L':';
    ASettings.ShortDateFormat = L"yyyy/MM/dd";
    ASettings.ShortTimeFormat = L"h:mm";
    ASettings.LongTimeFormat = L"hh:mm:ss";
}

std::wstring KWFormatDateTime(const std::wstring& AFormat, double ADateTime) {
    if (std::isnan(ADateTime)) return std::wstring();
    TFormatSettings settings;
    KWGetFormatSettings(settings);
    return FormatDateTime(AFormat, ADateTime, settings);
}

std::wstring KWDateTimeToStr(double ADateTime) { return KWFormatDateTime(L"yyyy/mm/dd hh:nn:ss", ADateTime); }

double KWFileDateToDateTime(int32_t AFileDate) {
    try {
        return FileDateToDateTime(AFileDate);
    } catch (const EConvertError&) {
        return NAN;
    }
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
        return CompareLocaleStrings(a, b, ACaseSensitive) == 0;
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
    const std::string ansi = WideToAnsi(AText);
    std::unique_ptr<char[]> result(new char[ansi.size() + 1]);
    memcpy(result.get(), ansi.c_str(), ansi.size() + 1);
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

bool KWIsInt64(const std::wstring& AText) {
    int64_t value;
    return TryStrToInt64(AText, value);
}

// ---- Resources ------------------------------------------------------------------------------

std::unique_ptr<TStream> KWGetResourceStream(const std::wstring& AName, const std::wstring& AType) {
    try {
        return std::make_unique<TResourceStream>(nullptr, AName.c_str(), AType.c_str());
    } catch (...) {
        return nullptr;
    }
}
