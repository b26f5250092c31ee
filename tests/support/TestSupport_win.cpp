#include "TestSupport.h"

#include <atomic>

#include "WinApi.h"

namespace testsupport {

TScratchDir::TScratchDir(const std::wstring& ATag) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + ATag + std::to_wstring(GetCurrentProcessId()) + L"_";
    for (;;) {
        FPath = base + std::to_wstring(++counter) + L"\\";
        if (CreateDirectoryW(FPath.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TScratchDir::~TScratchDir() { RemoveTree(FPath); }

std::vector<TFolderEntry> ListFolder(const std::wstring& ADir) {
    std::vector<TFolderEntry> entries;
    std::wstring dir = ADir;
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return entries;
}

void RemoveTree(const std::wstring& ADir) {
    std::wstring dir = ADir;
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    for (const TFolderEntry& e : ListFolder(dir)) {
        const std::wstring full = dir + e.Name;
        if (e.IsFolder) {
            RemoveTree(full);
        } else {
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(full.c_str());
        }
    }
    SetFileAttributesW(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(dir.substr(0, dir.size() - 1).c_str());
}

}  // namespace testsupport
