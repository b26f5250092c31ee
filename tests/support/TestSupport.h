// Helpers shared by every test program of both builds: scratch folders, whole files and tree
// listings. Names are the system's (the native build takes Wine's shape: "Z:\..." and "\").
#pragma once
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A new empty folder under the system's temporary folder, its name made of ATag and a unique
// part; Path() ends in "\". Removed with everything in it when the object goes.
class TScratchDir {
public:
    explicit TScratchDir(const std::wstring& ATag = L"KWScratch_");
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::wstring& Path() const { return FPath; }
    std::wstring operator/(const std::wstring& AName) const { return FPath + AName; }

private:
    std::wstring FPath;
};

// Removes a folder with everything in it, read-only files included; quiet when it is not there.
void RemoveTree(const std::wstring& ADir);

// The whole file; raises std::runtime_error naming the file when it cannot be read.
std::string ReadFileBytes(const std::wstring& AName);
// The whole file, or AFallback when it cannot be read.
std::string ReadFileBytesOr(const std::wstring& AName, const std::string& AFallback);
// Creates or replaces the file with ABytes; raises std::runtime_error when it cannot.
void WriteFileBytes(const std::wstring& AName, const std::string& ABytes);

// Every file and folder below ADir, relative to it, folders with a trailing "\", sorted.
std::vector<std::wstring> ListTree(const std::wstring& ADir);
// The same with each file's bytes ("<unreadable>" for a file that cannot be read; "" for folders).
std::map<std::wstring, std::string> ListTreeWithContents(const std::wstring& ADir);

// The entries of one folder (without "." and ".."): name and whether it is a folder. The
// platform half of the listings above.
struct TFolderEntry {
    std::wstring Name;
    bool IsFolder;
};
std::vector<TFolderEntry> ListFolder(const std::wstring& ADir);

}  // namespace testsupport
