// KWCommonLib, dates, strings and paths: flat helpers used by every in-house unit and the installer.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct _FILETIME;
struct tagRECT;
class TStream;

// A growable array of strings.
using TKWStringArray = std::vector<std::wstring>;

// ---- Paths ----------------------------------------------------------------------------------

std::wstring KWIncludeTrailingPathDelimiter(const std::wstring& APath);
std::wstring KWExcludeTrailingPathDelimiter(const std::wstring& APath);

// One part of KWCombinePath: wide text, or ANSI text (converted from the ANSI code page).
class TKWPathPart {
public:
    TKWPathPart(const std::wstring& AText) : FText(AText) {}
    TKWPathPart(const wchar_t* AText) : FText(AText ? AText : L"") {}
    TKWPathPart(const std::string& AAnsiText);
    TKWPathPart(const char* AAnsiText);
    const std::wstring& Text() const { return FText; }

private:
    std::wstring FText;
};

// Each part gets a trailing "\" ('' stays ''), then the parts are concatenated.
std::wstring KWCombinePath(std::initializer_list<TKWPathPart> AParts);
std::wstring KWRemoveFileExt(const std::wstring& APath);

// ---- Dates (double = days since 1899-12-30; NaN = no date) -----------------------------------

struct TFormatSettings;
// The fixed settings: system default locale, "/" and ":", "yyyy/MM/dd", "h:mm", "hh:mm:ss".
void KWGetFormatSettings(TFormatSettings& ASettings);
std::wstring KWFormatDateTime(const std::wstring& AFormat, double ADateTime);
// "yyyy/mm/dd hh:nn:ss" with the fixed settings; '' for NaN.
std::wstring KWDateTimeToStr(double ADateTime);
// A DOS date-time as date-time; NaN when it is not a valid date.
double KWFileDateToDateTime(int32_t AFileDate);
// ADateTime taken as local time, as UTC file time; zero for NaN.
void KWDateTimeToFileTime(_FILETIME& AFileTime, double ADateTime);
bool KWSameDay(double A, double B);

// ---- String arrays --------------------------------------------------------------------------

int32_t KWAddString(TKWStringArray& AList, const std::wstring& AText);
int32_t KWIndexOfString(const TKWStringArray& AList, const std::wstring& AText, bool ACaseSensitive,
                        bool ATrim);
bool KWReverseStrings(TKWStringArray& AList);

// ---- Trimming and comparing -----------------------------------------------------------------

// Blank characters are 0, 9, 10, 13 and 32. AIndex is 1-based.
bool KWIsBlankChar(int32_t AIndex, const std::wstring& AText);
std::wstring KWTrim(const std::wstring& AText);
// CompareStringW in the user's default locale, ignoring case unless ACaseSensitive, after
// trimming both texts when ATrim. Never raises.
bool KWSameString(const std::wstring& AText1, const std::wstring& AText2, bool ACaseSensitive = false,
                  bool ATrim = false);
// 1-based position of ASubStr in AText, A-Z compared without case; 0 when absent.
int32_t KWPosText(const std::wstring& ASubStr, const std::wstring& AText);
bool KWStartsWith(const std::wstring& AText, const std::wstring& APrefix, bool ACaseSensitive);
std::wstring KWRemovePrefix(const std::wstring& AText, const std::wstring& APrefix, bool ACaseSensitive);
std::wstring KWRemoveSuffix(const std::wstring& AText, const std::wstring& ASuffix);

// ---- Splitting and replacing ----------------------------------------------------------------

bool KWSplit(const std::wstring& AText, const std::wstring& ADelimiter, TKWStringArray& AList,
             bool AKeepEmpty);
bool KWSplitKeyValue(const std::wstring& AText, const std::wstring& ADelimiter, std::wstring& AKey,
                     std::wstring& AValue);
std::wstring KWReplace(const std::wstring& AText, const std::wstring& AOld, const std::wstring& ANew,
                       bool AOnce, bool ACaseSensitive);
std::wstring KWNormalizeLineBreaks(const std::wstring& AText, const std::wstring& ABreak);
// A zero-terminated copy of AText in the ANSI code page.
std::unique_ptr<char[]> KWStrAllocAnsi(const std::wstring& AText);

// ---- Numbers and rectangles -----------------------------------------------------------------

double KWCalcPercentFloat(int64_t ATotal, int64_t AValue);
int64_t KWCalcPercent(int64_t ATotal, int64_t AValue);
bool KWIsInt64(const std::wstring& AText);
int32_t KWRectWidth(const tagRECT& R);
int32_t KWRectHeight(const tagRECT& R);
tagRECT KWInflateRect(const tagRECT& R, int32_t DX, int32_t DY);

// ---- Resources ------------------------------------------------------------------------------

// A stream over a resource of the program's own module; nullptr when there is none.
std::unique_ptr<TStream> KWGetResourceStream(const std::wstring& AName, const std::wstring& AType);
