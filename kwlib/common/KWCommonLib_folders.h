// KWCommonLib, shell folders: the system's special folders (Windows folder, application-data
// folders, Program Files, the per-user and all-users shell folders) and the test that tells whether
// a path is one of them. Folder paths returned here end with "\".
#pragma once
#include <cstdint>
#include <string>

// The value AName under "...\Explorer\Shell Folders" of HKEY_CURRENT_USER, or with ACommon the
// value "Common " + AName of HKEY_LOCAL_MACHINE, followed by "\". An absent value gives "\" alone;
// a key that cannot be opened with full access gives ''. The all-users "Programs" and "Desktop"
// are the exception: when their value is missing (or the key is closed to us) the shell's own
// lookup of those folders answers instead, so that callers never land on the root of the drive.
std::wstring KWGetShellFolder(const std::wstring& AName, bool ACommon);

// The path of a special folder (CSIDL) with a trailing "\"; '' on any error.
std::wstring KWGetSpecialFolder(int32_t ACSIDL);
std::wstring KWGetCommonAppDataDir();   // all users' application data (CSIDL 35)
std::wstring KWGetLocalAppDataDir();    // the user's local application data (CSIDL 28)
std::wstring KWGetProgramFilesDir();    // Program Files (CSIDL 38)
// The root of the Windows folder's drive, such as "C:\"; '' when the folder is unknown.
std::wstring KWGetWindowsDriveRoot();

// APath is one of the per-user or all-users shell folders or one of the special folders the
// installer must never use directly. Letter case and a trailing "\" do not matter. Meant for
// occasional checks: it reads the registry 34 times and asks the shell 22 times.
bool KWIsSystemFolder(const std::wstring& APath);
