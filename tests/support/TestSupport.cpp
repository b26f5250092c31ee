#include "TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "SysUtils.h"

namespace testsupport {

namespace {

std::wstring WithSeparator(const std::wstring& ADir) {
    return !ADir.empty() && ADir.back() != L'\\' && ADir.back() != L'/' ? ADir + L'\\' : ADir;
}

void Walk(const std::wstring& ADir, const std::wstring& ARel, std::vector<TFolderEntry>& AOut) {
    for (const TFolderEntry& e : ListFolder(ADir + ARel)) {
        if (e.IsFolder) {
            AOut.push_back({ARel + e.Name + L"\\", true});
            Walk(ADir, ARel + e.Name + L"\\", AOut);
        } else {
            AOut.push_back({ARel + e.Name, false});
        }
    }
}

}  // namespace

std::string ReadFileBytes(const std::wstring& AName) {
    std::string bytes;
    if (!ReadWholeFile(AName, bytes, SIZE_MAX)) throw std::runtime_error("cannot read " + WideToUtf8(AName));
    return bytes;
}

std::string ReadFileBytesOr(const std::wstring& AName, const std::string& AFallback) {
    std::string bytes;
    return ReadWholeFile(AName, bytes, SIZE_MAX) ? bytes : AFallback;
}

void WriteFileBytes(const std::wstring& AName, const std::string& ABytes) {
    if (!WriteWholeFile(AName, ABytes)) throw std::runtime_error("cannot write " + WideToUtf8(AName));
}

std::vector<std::wstring> ListTree(const std::wstring& ADir) {
    std::vector<TFolderEntry> entries;
    Walk(WithSeparator(ADir), L"", entries);
    std::vector<std::wstring> names;
    for (const TFolderEntry& e : entries) names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::wstring, std::string> ListTreeWithContents(const std::wstring& ADir) {
    const std::wstring dir = WithSeparator(ADir);
    std::vector<TFolderEntry> entries;
    Walk(dir, L"", entries);
    std::map<std::wstring, std::string> tree;
    for (const TFolderEntry& e : entries) {
        tree[e.Name] = e.IsFolder ? std::string() : ReadFileBytesOr(dir + e.Name, "<unreadable>");
    }
    return tree;
}

}  // namespace testsupport
