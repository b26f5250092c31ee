// The native build's half of the file helpers: what the platform-neutral units use, over the
// run-time layer's file primitives.
#include "KWCommonLib_files.h"

#include "KWCommonLib_strings.h"
#include "SysUtils.h"
#include "ZFStrFunc.h"

bool KWFileExists(const std::wstring& AFileName) {
    return KWTrim(AFileName).size() > 3 && FileExists(AFileName);
}

bool KWDirectoryExists(const std::wstring& ADir) {
    return !KWTrim(ADir).empty() && DirectoryExists(ADir);
}

bool KWForceDirectories(const std::wstring& ADir) {
    return KWDirectoryExists(ADir) || (!KWTrim(ADir).empty() && ZFForceDirectories(ADir));
}
