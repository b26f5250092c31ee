// The ini document's reader of the system's rectangle.
#include "KWIniFile.h"

#include <algorithm>

#include "KWCommonLib_strings.h"
#include "KWCommonType.h"
#include "WinApi.h"

tagRECT TKWIniFile::ReadRect(const std::wstring& ASection, const std::wstring& AIdent, const tagRECT& ADefault) {
    TKWStringArray parts;
    KWSplit(ReadString(ASection, AIdent, L""), L",", parts, false);
    if (parts.size() != 4 || !std::all_of(parts.begin(), parts.end(), KWIsInt64)) return ADefault;
    return RECT{StrToInt(parts[0]), StrToInt(parts[1]), StrToInt(parts[2]), StrToInt(parts[3])};
}
