// Reading back what an installation leaves outside its files: shortcut files through the shell's
// link object, folder listings and registry values. Used by the demo's report and by the tests.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "WinApi.h"

#include <shlobj.h>

namespace inventory {

// What a shortcut file holds, read through the shell's link object.
struct TShortcut {
    bool Loaded = false;
    std::wstring Target, Arguments, WorkingDir, IconFile;
    int32_t IconIndex = -1;
};

inline TShortcut ReadShortcut(const std::wstring& ALinkFile) {
    TShortcut link;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* shell = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void**)&shell))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(shell->QueryInterface(IID_IPersistFile, (void**)&file))) {
            if (SUCCEEDED(file->Load(ALinkFile.c_str(), STGM_READ))) {
                wchar_t text[MAX_PATH * 2] = {};
                int icon = -1;
                link.Loaded = true;
                if (SUCCEEDED(shell->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH))) link.Target = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetArguments(text, MAX_PATH * 2))) link.Arguments = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetWorkingDirectory(text, MAX_PATH * 2))) link.WorkingDir = text;
                text[0] = 0;
                if (SUCCEEDED(shell->GetIconLocation(text, MAX_PATH * 2, &icon))) {
                    link.IconFile = text;
                    link.IconIndex = icon;
                }
            }
            file->Release();
        }
        shell->Release();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return link;
}

// The names of the files in ADir (with "\") that match AMask, sorted.
inline std::vector<std::wstring> FileNames(const std::wstring& ADir, const std::wstring& AMask) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ADir + AMask).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// A string value under HKEY_LOCAL_MACHINE; "<missing>" when the key or the value is absent or
// not a string.
inline std::wstring RegString(const std::wstring& AKey, const std::wstring& AName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t), type = 0;
    const LONG r = RegQueryValueExW(key, AName.c_str(), nullptr, &type, (BYTE*)value, &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : L"<missing>";
}

// The names of the values under a key of HKEY_LOCAL_MACHINE, sorted.
inline std::vector<std::wstring> RegValueNames(const std::wstring& AKey) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, AKey.c_str() + (AKey[0] == L'\\' ? 1 : 0), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace inventory
