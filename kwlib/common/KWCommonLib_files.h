// KWCommonLib, files, folders and drives: drive and volume tests, existence tests, an opener that
// retries, a verifying copy, file times, sizes and attributes, folder listings, wildcard mask lists,
// free space and recursive deletion.
//
// Common manners: critical-error dialogs are switched off around every file-system call (an empty
// card drive reports failure instead of asking the user); the functions catch what goes wrong and
// report it by their result (false, '', -1 or nullptr) unless said otherwise; folder paths that a
// function builds or returns end with "\".
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KWCommonType.h"

#include "Classes.h"

// ---- Drives and volumes ---------------------------------------------------------------------

// False for an empty path; else KWIsDriveLetterReady of its first character.
bool KWIsDriveReady(const std::wstring& APath);
// The volume of ALetter + ":\" answers GetVolumeInformationW.
bool KWIsDriveLetterReady(wchar_t ALetter);
// The volume label of a root such as "C:\"; '' when the drive is not ready or the call fails.
std::wstring KWGetVolumeLabel(const std::wstring& ARootPath);
// False for an empty path and for "\\..." paths; else KWIsFixedDriveLetter of its first character.
bool KWIsFixedDrive(const std::wstring& APath);
bool KWIsFixedDriveLetter(wchar_t ALetter);
// Empties ADrives, then adds every fixed root ("C:\") in the order the system lists them. Always true.
bool KWGetFixedDrives(std::vector<std::wstring>& ADrives);
// Free bytes available to the caller on the drive letter APath starts with; 0 for an empty path or
// one that does not start with a letter A-Z; -1 when the drive cannot be queried.
int64_t KWGetDiskFree(const std::wstring& APath);
// A temporary file "DA....tmp" can be created in ADir and deleted again.
bool KWIsFolderWritable(const std::wstring& ADir);

// ---- Existence and creation -----------------------------------------------------------------

// False for a path of 3 characters or fewer once trimmed (so never true for a drive root).
bool KWFileExists(const std::wstring& AFileName);
bool KWDirectoryExists(const std::wstring& ADir);
// Creates ADir with every missing parent; true when the folder exists afterwards.
bool KWForceDirectories(const std::wstring& ADir);

// ---- Opening --------------------------------------------------------------------------------

// Opens AFileName exclusively for reading and/or writing. Writing is dropped when the file's folder
// is not writable. A missing file gives nullptr unless ACreate, which creates it (and its folders)
// empty. A failed open is logged (sender "KWOpenFile", level 3) and retried up to ATryNum times,
// ARetrySleep ms apart. The stream is at position 0.
std::unique_ptr<TFileStream> KWOpenFile(const std::wstring& AFileName, bool ARead, bool AWrite,
                                        bool ACreate, int32_t ATryNum, int32_t ARetrySleep);

// ---- Copy, times, size, attributes, deletion ------------------------------------------------

// The last error of KWCopyFile: the library's code (100..107) and the system's error beside it;
// both -1 until the first failure.
extern int32_t KWLastErrorCode;
extern int32_t KWLastSystemError;
void KWSetLastError(int32_t ACode, int32_t ASystemError);

// Copies with up to 10 attempts; AVerifyCRC compares the CRC-32 of source and copy; ACopyTime
// gives the copy the source's last-write time.
bool KWCopyFile(const std::wstring& ASource, const std::wstring& ADest, bool AOverwrite, bool ACopyTime,
                bool AVerifyCRC);
// ADest gets the creation time now and the last-write time of ASource.
bool KWCopyFileTime(const std::wstring& ASource, const std::wstring& ADest);
// Last-write time of the first match (any attributes) as a local date-time at DOS resolution.
bool KWGetFileTime(const std::wstring& AFileName, double& ATime);
// Sets the creation and last-write times (local date-times; NaN leaves a time as it is); the
// access time stays. True when the times were set; false for folders, files that cannot be opened
// for writing and failed calls.
bool KWSetFileTimes(const std::wstring& AFileName, double ACreationTime, double ALastWriteTime);
// Size of the first match (any attributes); -1 when nothing matches.
int64_t KWGetFileSize(const std::wstring& AFileName);
// Clears the read-only and archive attributes; true when one of them was set and is now cleared.
bool KWClearFileAttributes(const std::wstring& APath);
// True when the file does not exist; else whether it was deleted (read-only files are not).
bool KWDeleteFile(const std::wstring& AFileName);
// Deletes ADir with everything in it, read-only, hidden and system entries included. Junctions and
// symbolic links inside are removed as links; their targets are left alone. False, with the folder
// left, when anything could not be deleted.
bool KWDeleteFolder(const std::wstring& ADir, bool AOnlyIfEmpty);
// True when ADir holds nothing but "." and ".." (also when it does not exist).
bool KWIsFolderEmpty(const std::wstring& ADir);

// ---- Listing and masks ----------------------------------------------------------------------

// Appends the entries of ADir (no hidden or system ones) in the system's order, each folder
// followed by its own content when ARecursive. Folders are always listed; AMask (a ";" list,
// '' = "*") filters files. Pumps messages once per entry. Always true.
bool KWGetFileList(const std::wstring& ADir, TKWFiles& AFiles, const std::wstring& AMask, bool ARecursive);
// The sub-folders of ADir (no hidden or system ones) whose names match AMask.
int32_t KWCountSubFolders(const std::wstring& ADir, const std::wstring& AMask);
// AFileName matches one of the ";"-separated masks ("*", "?", "[a-z]", "[!abc]"; case ignored).
bool KWMatchesMaskList(const std::wstring& AMasks, const std::wstring& AFileName);

// One entry of a folder search.
struct TKWSearchRec {
    int32_t Time = 0;          // last write as a local DOS date-time
    int64_t Size = 0;
    int32_t Attr = 0;
    std::wstring Name;
    int32_t ExcludeAttr = 0;   // hidden, system and folder bits that were not asked for
    void* FindHandle = nullptr;
};

// Attribute bits of a search (the system's file-attribute values).
constexpr int32_t kwfaReadOnly = 0x01;
constexpr int32_t kwfaHidden = 0x02;
constexpr int32_t kwfaSysFile = 0x04;
constexpr int32_t kwfaDirectory = 0x10;
constexpr int32_t kwfaArchive = 0x20;
constexpr int32_t kwfaReparsePoint = 0x400;
constexpr int32_t kwfaAnyFile = 0x1FF;

// The first entry matching APath whose hidden, system and folder bits are all in AAttr (other bits
// don't filter). 0 when found, else the system's error code; -1 instead of an exception. A search
// that returned 0 is ended by KWFindClose.
int32_t KWSafeFindFirst(const std::wstring& APath, int32_t AAttr, TKWSearchRec& ARec);
int32_t KWSafeFindNext(TKWSearchRec& ARec);
void KWFindClose(TKWSearchRec& ARec);

// The last folder name of a path: C:\a\b\ gives b; a drive root gives '' (false).
std::wstring KWExtractLastFolderName(const std::wstring& APath);
bool KWTryExtractLastFolderName(const std::wstring& APath, std::wstring& AName);

// ---- Checksums ------------------------------------------------------------------------------

// The CRC-32 of a file as 8 upper-case hex digits; false on a read error. A missing file raises.
bool KWGetFileCRC(const std::wstring& AFileName, std::wstring& ACRC);
