// Small helpers of the shell, temporary-name and system tests: scratch folders, existence, empty
// files and build-tree paths as Wine sees them.
#pragma once
#include <string>

#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"

inline bool Exists(const std::wstring& APath) { return GetFileAttributesW(APath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes AText (bytes) as the whole file; false when it cannot be created.
inline bool WriteBytes(const std::wstring& AFileName, const std::string& AText = "x") {
    HANDLE h = CreateFileW(AFileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    const bool ok = ::WriteFile(h, AText.data(), static_cast<DWORD>(AText.size()), &n, nullptr) && n == AText.size();
    CloseHandle(h);
    return ok;
}

// A path of the build tree (a Unix path) as Wine sees it.
inline std::wstring BuildPath(const std::string& AUnixPath) {
    std::wstring p = L"Z:" + AnsiToWide(AUnixPath);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

// A fresh folder in the temporary folder, removed with everything in it at the end.
class TScratchDir {
public:
    explicit TScratchDir(const std::wstring& APrefix = L"KWScratch_")
        : FPath(KWGetTempDir() + APrefix + KWRandomString(8) + L"\\") {
        CreateDirectoryW(FPath.c_str(), nullptr);
    }
    ~TScratchDir() { KWDeleteFolder(FPath, false); }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::wstring& Path() const { return FPath; }

private:
    std::wstring FPath;
};
