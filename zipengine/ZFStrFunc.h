// The ZIP engine's name, path and string helpers: wildcard masks, the stored-name rule, path
// resolution, stored-name code pages (OEM, ANSI, UTF-8), the hashed string list of the directory's
// name index, the engine-wide lock, and thin wrappers over the platform's file services.
//
// The functions under "Platform services" are the only ones that call the operating system; they
// live in ZFStrFunc_win.cpp (a native build supplies a twin), everything else is plain C++.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "ZFConst.h"

class TCriticalSection;

// ---- Platform services -------------------------------------------------------------------------

enum TZFCodePage { zcpAnsi, zcpOem, zcpUtf8 };

// Bytes of the code page as UTF-16 (sequences the code page does not define become the
// platform's substitute, U+FFFD for UTF-8).
std::wstring ZFCodePageToWide(const std::string& bytes, TZFCodePage codePage);
// UTF-16 as bytes of the code page; characters it lacks become its default character.
std::string ZFWideToCodePage(const std::wstring& text, TZFCodePage codePage);

// The platform's case mapping (all scripts, not only ASCII).
std::wstring ZFLowerCase(const std::wstring& s);
std::wstring ZFUpperCase(const std::wstring& s);

bool ZFFileExists(const std::wstring& fileName);
// The name under which the file that fileName means is found: Windows ignores case in file names,
// so there it is fileName itself; on a case-sensitive file system, when no file has exactly that
// name, the first file of its folder whose name matches it ignoring case (fileName when none does).
std::wstring ZFExistingFileName(const std::wstring& fileName);
bool ZFDirectoryExists(const std::wstring& dir);
// Creates the folder with all missing levels; true when it exists afterwards.
bool ZFForceDirectories(const std::wstring& dir);
bool ZFDeleteFile(const std::wstring& fileName);
bool ZFRenameFile(const std::wstring& oldName, const std::wstring& newName);
bool ZFRemoveDir(const std::wstring& dir);
// Creates one folder whose parent exists (the platform half of ZFForceDirectories).
bool ZFCreateDir(const std::wstring& dir);
// Attributes of the file, or -1 when it does not exist; 4 (system) when it exists but cannot
// be asked.
int32_t ZFFileGetAttr(const std::wstring& fileName);
bool ZFFileSetAttr(const std::wstring& fileName, int32_t attr);
// Last-write time as a DOS date (high word) and time (low word), or -1 when unknown.
int32_t ZFFileAge(const std::wstring& fileName);
std::wstring ZFGetCurrentDir();
// The platform's full-path rule.
std::wstring ZFExpandFileName(const std::wstring& fileName);
// True when the drive of the path is a removable one.
bool ZFDriveIsRemovable(const std::wstring& path);
// The system's temporary folder with a trailing "\".
std::wstring ZFSystemTempDir();
// A new empty file with a unique name and the prefix in the folder; its full name, or "" when
// none could be made.
std::wstring ZFCreateTempFile(const std::wstring& dir, const std::wstring& prefix);

// File attributes.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faHidden = 0x02;
constexpr int32_t faSysFile = 0x04;
constexpr int32_t faVolumeID = 0x08;
constexpr int32_t faDirectory = 0x10;
constexpr int32_t faArchive = 0x20;

// Folder listing: files always, entries with hidden, system, volume or folder bits only when the
// attribute mask has them.
struct TZFSearchRec {
    std::wstring Name;
    int32_t Attr = 0;
    int64_t Size = 0;
    int32_t Time = 0;      // DOS date and time
    void* Handle = nullptr;
    int32_t ExcludeAttr = 0;
};
bool ZFFindFirst(const std::wstring& mask, int32_t attr, TZFSearchRec& rec);
bool ZFFindNext(TZFSearchRec& rec);
void ZFFindClose(TZFSearchRec& rec);

// ---- Texts and paths -----------------------------------------------------------------------------

std::wstring ZFIncludeTrailingBackslash(const std::wstring& s);
std::wstring ZFExcludeTrailingBackslash(const std::wstring& s);
// Every occurrence of `from` replaced by `to`; case ignored when asked.
std::wstring ZFStringReplace(const std::wstring& s, const std::wstring& from, const std::wstring& to,
                             bool ignoreCase = false);
// Bytes of a UTF-16 text (2 per character).
inline int32_t ZFByteLength(const std::wstring& s) {
    return (int32_t)(s.size() * 2);
}
// Parts of a path; "\", "/" and ":" end a folder.
std::wstring ZFExtractFileName(const std::wstring& path);
std::wstring ZFExtractFilePath(const std::wstring& path);
std::wstring ZFExtractFileExt(const std::wstring& path);
// "C:" or "\\server\share", else "".
std::wstring ZFExtractFileDrive(const std::wstring& path);
// The path of destName relative to the folder of baseName ("..\" to go up); destName itself when
// the drives differ.
std::wstring ZFExtractRelativePath(const std::wstring& baseName, const std::wstring& destName);

// ---- Masks -----------------------------------------------------------------------------------------

// "*" any run of characters, "?" any one character; "*.*" matches everything.
bool WildcardMatch(const std::wstring& name, const std::wstring& mask, bool ignoreCase);
// The mask test of searches: empty masks never match, "*.*" means "*", a mask ending in "."
// matches only names without extension; case is ignored.
bool MaskMatches(const std::wstring& name, const std::wstring& mask);

// ---- Stored names and paths ------------------------------------------------------------------------

// The path resolved against the base folder, or against the default folder (the current folder
// when empty) when the base is empty.
std::wstring ResolvePath(const std::wstring& baseDir, const std::wstring& name, const std::wstring& defaultDir);
// The name under which the file is stored ("/" separators, no drive unless asked).
std::wstring StoredNameFor(const std::wstring& fileName, const std::wstring& baseDir,
                           TZFStorePathMode mode, const std::wstring& defaultDir);
// The folder with a trailing "\", or the fallback with one when the folder is empty.
std::wstring FolderOrDefault(const std::wstring& folder, const std::wstring& fallback);
bool IsFloppyPath(const std::wstring& path);
bool IsRemovablePath(const std::wstring& path);
// Removes the folder (with trailing "\") and its sub-folders, deepest first; files are not
// deleted, so a tree holding files stays. True when the folder is gone.
bool RemoveFolderTree(const std::wstring& folder);
// A new unique file "FC...." in tempDir (the system's temporary folder when empty).
std::wstring TempFileName(const std::wstring& tempDir);

// ---- Stored-name code pages --------------------------------------------------------------------------

std::string ZFOemToAnsi(const std::string& bytes);
std::string ZFAnsiToOem(const std::string& bytes);
// True when the bytes are well-formed UTF-8 with at least one non-ASCII sequence.
bool ZFIsUtf8Name(const std::string& bytes);
// A stored name as text: UTF-8 when the bytes are (ZFIsUtf8Name), else the ANSI code page.
std::wstring ZFDecodeName(const std::string& bytes);
// A name as stored bytes: the ANSI code page when the name survives the round trip, else UTF-8
// (utf8 is then set; the entry's flag bit 11 says so).
std::string ZFEncodeName(const std::wstring& name, bool& utf8);

// ---- Hashed string list --------------------------------------------------------------------------------

// A fixed number of buckets of singly linked chains, string to 32-bit value.
class TZFStringHash {
public:
    struct THashItem {
        std::unique_ptr<THashItem> Next;
        std::wstring Key;
        int32_t Value;
    };

    explicit TZFStringHash(uint32_t size);
    virtual ~TZFStringHash();
    TZFStringHash(const TZFStringHash&) = delete;
    TZFStringHash& operator=(const TZFStringHash&) = delete;

    // h := (h rotated left by 2) xor each UTF-16 code unit.
    virtual uint32_t Hash(const std::wstring& key) const;
    void AddItem(const std::wstring& key, int32_t value);
    THashItem* FindItem(const std::wstring& key) const;
    void RemoveItem(const std::wstring& key);
    // Removes the element with that key and value, if any.
    void RemoveItem(const std::wstring& key, int32_t value);
    // The value of the first element with the key, or -1.
    int32_t ValueOf(const std::wstring& key) const;
    // The smallest value stored under the key, or -1.
    int32_t LowestValueOf(const std::wstring& key) const;
    void ClearAll();
    uint32_t BucketCount() const { return (uint32_t)FBuckets.size(); }

private:
    std::unique_ptr<THashItem>& Bucket(const std::wstring& key) {
        return FBuckets[Hash(key) % FBuckets.size()];
    }
    const std::unique_ptr<THashItem>& Bucket(const std::wstring& key) const {
        return FBuckets[Hash(key) % FBuckets.size()];
    }
    std::vector<std::unique_ptr<THashItem>> FBuckets;
};

// A string list with lazily built hash indexes over whole lines (IndexOf) and over the names
// before "=" (IndexOfName), so lookups stay close to constant time on lists of any size.
class TZFHashedStringList : public TStringList {
public:
    KW_CLASS_NAME(TZFHashedStringList)
    int32_t Add(const std::wstring& S) override;
    void Insert(int32_t Index, const std::wstring& S) override;
    void SetStrings(int32_t Index, const std::wstring& S) override;
    void Delete(int32_t Index) override;
    void Clear() override;
    int32_t IndexOf(const std::wstring& S) const override;
    int32_t IndexOfName(const std::wstring& Name) const;
    // Replaces line Index, keeping the value index up to date.
    void ReplaceLine(int32_t Index, const std::wstring& S);

    // For tests and statistics: the value index's buckets (0 when it does not exist).
    uint32_t ValueIndexBuckets() const { return FValueIndex ? FValueIndex->BucketCount() : 0; }

private:
    std::wstring Key(const std::wstring& s) const;
    void Invalidate();

    mutable std::unique_ptr<TZFStringHash> FValueIndex;
    mutable bool FValueIndexValid = true;
    mutable std::unique_ptr<TZFStringHash> FNameIndex;
    mutable bool FNameIndexValid = false;
};

// ---- Engine-wide lock ----------------------------------------------------------------------------

// The lock every batch of every archiver holds; it exists between the engine's start-up and
// shut-down.
TCriticalSection& ZFEngineLock();
void ZFCreateEngineLock();
void ZFDestroyEngineLock();
