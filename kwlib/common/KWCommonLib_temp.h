// KWCommonLib, temporary names and the self-deleting batch file: file names of random characters
// that no existing file bears, and the deletion of a file or folder that cannot go while the
// process runs (the running uninstaller and its folder) by a batch file that outlives the process.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// ALength characters drawn uniformly from "ABCDEFGHJKLMNPQRSTUVWXYabcdefghjklmnpqrstuvwxy123456789"
// (no I, O, Z, i, o, z, 0); '' for 0 or less. The generator is reseeded from the high-resolution
// counter on every call, so two quick calls still differ.
std::wstring KWRandomString(int32_t ALength);
// AFileName := ADir + "\" + APrefix + ALength random characters (16 when ALength <= 0) + AExt,
// drawn again until no file of that name exists. Nothing is created.
void KWMakeUniqueFileName(const std::wstring& ADir, const std::wstring& APrefix, const std::wstring& AExt,
                          int32_t ALength, std::wstring& AFileName);
// The system's temporary folder, ending with "\".
std::wstring KWGetTempDir();
// A name in the temporary folder: APrefix + 16 random characters + AExt, not yet taken.
std::wstring KWGetTempFileNameEx(const std::wstring& APrefix, const std::wstring& AExt);
// The temporary folder + "KW_TMP_" + 16 random characters.
std::wstring KWGetTempFileName();

// Deletes APath (a file or a folder), and with ADeleteParent also its parent folder unless that is
// a special folder, through a hidden batch file "deleteme_<n>.bat" in the temporary folder that
// retries once a second until the deletion succeeds (the process holding the file has ended), with
// no limit on the time, and finally deletes itself. The caller does not wait.
// True when there is nothing to delete, under a debugger (nothing done), and once the batch file
// was started; false when the batch file could not be made or started, and for a path that the
// ANSI code page cannot carry (the batch file is ANSI text, where a lost character would become a
// wildcard).
bool KWDeleteByBatch(const std::wstring& APath, bool ADeleteParent);

// Tests replace the start of the batch file: the hook receives the batch file and its working
// folder and answers whether it was started. Returns the previous hook; an empty one restores the
// shell.
using TKWDeleteBatchStarter = std::function<bool(const std::wstring& ABatchFile, const std::wstring& ADir)>;
TKWDeleteBatchStarter KWSetDeleteBatchStarter(TKWDeleteBatchStarter AStarter);
