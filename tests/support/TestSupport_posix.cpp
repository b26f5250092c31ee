#include "TestSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "PosixPlatform.h"
#include "SysUtils.h"

namespace testsupport {

TScratchDir::TScratchDir(const std::wstring& ATag) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + WideToUtf8(ATag) + "XXXXXX";
    FPath = mkdtemp(&pattern[0]) ? kwposix::WinePath(pattern) + L"\\" : std::wstring();
}

TScratchDir::~TScratchDir() {
    if (!FPath.empty()) RemoveTree(FPath);
}

std::vector<TFolderEntry> ListFolder(const std::wstring& ADir) {
    std::vector<TFolderEntry> entries;
    const std::string dir = kwposix::PosixPath(ADir);
    DIR* d = opendir(dir.c_str());
    if (!d) return entries;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        const bool folder = lstat((dir + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({Utf8ToWide(name), folder});
    }
    closedir(d);
    return entries;
}

void RemoveTree(const std::wstring& ADir) {
    std::wstring dir = ADir;
    if (!dir.empty() && dir.back() != L'\\') dir += L'\\';
    for (const TFolderEntry& e : ListFolder(dir)) {
        if (e.IsFolder) RemoveTree(dir + e.Name);
        else unlink(kwposix::PosixPath(dir + e.Name).c_str());
    }
    rmdir(kwposix::PosixPath(dir.substr(0, dir.size() - 1)).c_str());
}

}  // namespace testsupport
