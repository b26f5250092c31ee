// Small helpers of the shell, temporary-name and system tests: scratch folders, existence, empty
// files and build-tree paths as Wine sees them.
#pragma once
#include <string>

#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "support/TestSupport.h"

inline bool Exists(const std::wstring& APath) { return GetFileAttributesW(APath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes AText (bytes) as the whole file; false when it cannot be created.
inline bool WriteBytes(const std::wstring& AFileName, const std::string& AText = "x") {
    return WriteWholeFile(AFileName, AText);
}

// A path of the build tree (a Unix path) as Wine sees it.
inline std::wstring BuildPath(const std::string& AUnixPath) {
    std::wstring p = L"Z:" + AnsiToWide(AUnixPath);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

// A fresh folder in the temporary folder, removed with everything in it at the end.
using testsupport::TScratchDir;
