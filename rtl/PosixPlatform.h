// Shared helpers of the *_posix.cpp twins (never part of the Windows build).
//
// The twins show the file system as Wine does: drive Z: is the root and "\" separates folders, so
// the platform-neutral code sees the same path shapes natively as under Wine. Names go to the
// system as UTF-8.
#pragma once
#include <cstdint>
#include <string>

namespace kwposix {

// The name as the system takes it: a leading "Z:" dropped, "\" turned into "/", UTF-8.
std::string PosixPath(const std::wstring& name);

// A system path as Wine shows it: "Z:" in front of an absolute path, "/" turned into "\".
std::wstring WinePath(const std::string& posixPath);

// The full path of a name, as GetFullPathName forms it: relative names are taken from the
// current folder, "." and ".." folders are resolved, a trailing separator stays.
std::wstring FullPath(const std::wstring& name);

// The case mapping of one UTF-16 code unit with the Windows tables' exceptions: characters outside
// ASCII never map into it (dotted I, dotless i, long s, Kelvin sign) and the Angstrom sign stays.
wchar_t LowerChar(wchar_t c);
wchar_t UpperChar(wchar_t c);

// A file's times and attributes as the Win32 file services report them; false when the name
// does not exist.
struct TFileFacts {
    int32_t Attr = 0;        // read-only, hidden (dot names, as Wine shows them), folder, archive
    int64_t Size = 0;
    int32_t DosTime = -1;    // local DOS date (high word) and time (low word); -1 outside 1980..2107
};
bool FileFacts(const std::string& posixPath, TFileFacts& facts);

// A local DOS date and time of a time_t, or -1 when the year lies outside 1980..2107.
int32_t DosDateTime(int64_t unixTime);

}  // namespace kwposix
