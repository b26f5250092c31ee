#include "ZFStrFunc.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SyncObjs.h"

// ---- Texts and paths -----------------------------------------------------------------------------

static bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::wstring ZFIncludeTrailingBackslash(const std::wstring& s) {
    return !s.empty() && s.back() == L'\\' ? s : s + L'\\';
}

std::wstring ZFExcludeTrailingBackslash(const std::wstring& s) {
    return !s.empty() && s.back() == L'\\' ? s.substr(0, s.size() - 1) : s;
}

std::wstring ZFStringReplace(const std::wstring& s, const std::wstring& from, const std::wstring& to,
                             bool ignoreCase) {
    if (from.empty()) return s;
    const std::wstring hay = ignoreCase ? ZFLowerCase(s) : s;
    const std::wstring needle = ignoreCase ? ZFLowerCase(from) : from;
    std::wstring out;
    size_t at = 0;
    for (size_t p; (p = hay.find(needle, at)) != std::wstring::npos; at = p + needle.size())
        out.append(s, at, p - at).append(to);
    return out.append(s, at, std::wstring::npos);
}

// Index just past the folder part: after the last "\", "/" or ":".
static size_t NameStart(const std::wstring& path) {
    const size_t p = path.find_last_of(L"\\/:");
    return p == std::wstring::npos ? 0 : p + 1;
}

std::wstring ZFExtractFileName(const std::wstring& path) {
    return path.substr(NameStart(path));
}

std::wstring ZFExtractFilePath(const std::wstring& path) {
    return path.substr(0, NameStart(path));
}

std::wstring ZFExtractFileExt(const std::wstring& path) {
    const size_t p = path.find_last_of(L".\\/:");
    return p != std::wstring::npos && path[p] == L'.' ? path.substr(p) : std::wstring();
}

std::wstring ZFExtractFileDrive(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share: up to the separator after the share.
        size_t p = path.find_first_of(L"\\/", 2);
        if (p != std::wstring::npos) p = path.find_first_of(L"\\/", p + 1);
        return path.substr(0, p);
    }
    return std::wstring();
}

static std::vector<std::wstring> SplitFolders(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (IsSeparator(c)) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

std::wstring ZFExtractRelativePath(const std::wstring& baseName, const std::wstring& destName) {
    const std::wstring basePath = ZFExtractFilePath(baseName), destPath = ZFExtractFilePath(destName);
    const std::wstring baseDrive = ZFExtractFileDrive(basePath), destDrive = ZFExtractFileDrive(destPath);
    if (ZFLowerCase(baseDrive) != ZFLowerCase(destDrive)) return destName;
    const std::vector<std::wstring> base = SplitFolders(basePath.substr(baseDrive.size()));
    const std::vector<std::wstring> dest = SplitFolders(destPath.substr(destDrive.size()));
    size_t common = 0;
    while (common < base.size() && common < dest.size() &&
           ZFLowerCase(base[common]) == ZFLowerCase(dest[common]))
        ++common;
    std::wstring result;
    for (size_t i = common; i < base.size(); ++i) result += L"..\\";
    for (size_t i = common; i < dest.size(); ++i) result += dest[i] + L'\\';
    return result + ZFExtractFileName(destName);
}

// ---- Masks -----------------------------------------------------------------------------------------

bool WildcardMatch(const std::wstring& name, const std::wstring& mask, bool ignoreCase) {
    if (mask == L"*.*") return true;
    const std::wstring n = ignoreCase ? ZFLowerCase(name) : name;
    const std::wstring m = ignoreCase ? ZFLowerCase(mask) : mask;
    const size_t nl = n.size(), ml = m.size();
    // Whether name[i..] matches mask[j..], one mask position at a time from the mask's end: a
    // "*" tries every non-empty rest of the name, a "*" that ends the mask takes any rest (the
    // empty one too), and the end of the name matches only the end of the mask. Two columns of
    // name length and a running "any later position" keep it at mask length x name length steps
    // with no recursion, whatever the number of stars.
    std::vector<uint8_t> next(nl + 1), cur(nl + 1);
    for (size_t i = 0; i <= nl; ++i) next[i] = i == nl;   // the mask's end
    for (size_t j = ml; j-- > 0;) {
        const wchar_t c = m[j];
        if (c == L'*' && j + 1 == ml) {
            std::fill(cur.begin(), cur.end(), 1);
        } else if (c == L'*') {
            cur[nl] = 0;
            uint8_t later = 0;   // next[k] for some k in [i, nl)
            for (size_t i = nl; i-- > 0;) {
                later |= next[i];
                cur[i] = later;
            }
        } else {
            cur[nl] = 0;
            for (size_t i = 0; i < nl; ++i) cur[i] = (c == L'?' || c == n[i]) && next[i + 1];
        }
        cur.swap(next);
    }
    return next[0] != 0;
}

bool MaskMatches(const std::wstring& name, const std::wstring& mask) {
    if (mask.empty()) return false;
    std::wstring m = mask, n = name;
    const size_t star = m.find(L"*.*");
    if (star != std::wstring::npos) m.replace(star, 3, L"*");
    if (!m.empty() && m.back() == L'.') {
        m.pop_back();
        const std::wstring ext = ZFExtractFileExt(n);
        if (!ext.empty() && ext != L".") return false;
    }
    if (!n.empty() && n.back() == L'.') n.pop_back();
    return WildcardMatch(n, m, true);
}

// ---- Stored names and paths ------------------------------------------------------------------------

std::wstring ResolvePath(const std::wstring& baseDir, const std::wstring& name, const std::wstring& defaultDir) {
    const std::wstring folder = ZFIncludeTrailingBackslash(
        !baseDir.empty() ? baseDir : !defaultDir.empty() ? defaultDir : ZFGetCurrentDir());
    if (!name.empty()) {
        if (name.find(L':') != std::wstring::npos || name.compare(0, 2, L"\\\\") == 0) return name;
        if (name[0] == L'\\') return ZFExpandFileName(name);
        return ZFExpandFileName(folder + name);
    }
    if (baseDir.find(L':') != std::wstring::npos) return baseDir;
    if (!baseDir.empty() && !ZFDirectoryExists(folder)) return baseDir;
    if (folder == L"\\") return ZFIncludeTrailingBackslash(ZFGetCurrentDir());
    return ZFExpandFileName(folder);
}

// Removes the drive: up to the first ":", or a leading "\\server\" of a network path.
static std::wstring WithoutDrive(const std::wstring& path) {
    const size_t colon = path.find(L':');
    if (colon != std::wstring::npos) return path.substr(colon + 1);
    for (size_t i = 0; i + 1 < path.size(); ++i)
        if (IsSeparator(path[i]) && IsSeparator(path[i + 1])) {
            const size_t p = path.find_first_of(L"\\/", i + 2);
            return p == std::wstring::npos ? std::wstring() : path.substr(p + 1);
        }
    return path;
}

std::wstring StoredNameFor(const std::wstring& fileName, const std::wstring& baseDir,
                           TZFStorePathMode mode, const std::wstring& defaultDir) {
    const std::wstring folder = ResolvePath(baseDir, std::wstring(), defaultDir);
    std::wstring path = ResolvePath(folder, fileName, defaultDir);
    if (!path.empty() && IsSeparator(path.back())) path.pop_back();
    if (!path.empty() && path.back() == L'.') path.pop_back();

    std::wstring name;
    switch (mode) {
    case spNoPath:
        name = ZFExtractFileName(path);
        break;
    case spRelativePath:
        name = ZFExtractRelativePath(ZFIncludeTrailingBackslash(folder), path);
        if (name.find(L"..\\") != std::wstring::npos || name.find(L"../") != std::wstring::npos) name = path;
        break;
    case spFullPath:
        name = path;
        break;
    case spFullPathWithDrive:
        name = ZFExpandFileName(path);
        break;
    }
    if (mode != spFullPathWithDrive) {
        name = WithoutDrive(name);
        if (!name.empty() && IsSeparator(name[0])) name.erase(0, 1);
    }
    std::replace(name.begin(), name.end(), L'\\', L'/');
    return name;
}

std::wstring FolderOrDefault(const std::wstring& folder, const std::wstring& fallback) {
    return ZFIncludeTrailingBackslash(folder.empty() ? fallback : folder);
}

bool IsFloppyPath(const std::wstring& path) {
    const std::wstring drive = ZFUpperCase(ZFExtractFileDrive(path));
    return drive == L"A:" || drive == L"B:";
}

bool IsRemovablePath(const std::wstring& path) {
    return IsFloppyPath(path) || ZFDriveIsRemovable(path);
}

bool RemoveFolderTree(const std::wstring& folder) {
    TZFSearchRec rec;
    if (ZFFindFirst(folder + L"*.*", 0x1F7, rec)) {
        bool ok = true;
        do {
            if ((rec.Attr & faDirectory) && rec.Name != L"." && rec.Name != L"..")
                ok = RemoveFolderTree(folder + rec.Name + L'\\');
        } while (ok && ZFFindNext(rec));
        ZFFindClose(rec);
        if (!ok) return false;
    }
    const std::wstring dir = ZFExcludeTrailingBackslash(folder);
    return ZFRemoveDir(dir) || !ZFDirectoryExists(dir);
}

std::wstring TempFileName(const std::wstring& tempDir) {
    return ZFCreateTempFile(tempDir.empty() ? ZFSystemTempDir() : tempDir, L"FC");
}

// ---- Stored-name code pages --------------------------------------------------------------------------

std::string ZFOemToAnsi(const std::string& bytes) {
    return ZFWideToCodePage(ZFCodePageToWide(bytes, zcpOem), zcpAnsi);
}

std::string ZFAnsiToOem(const std::string& bytes) {
    return ZFWideToCodePage(ZFCodePageToWide(bytes, zcpAnsi), zcpOem);
}

bool ZFIsUtf8Name(const std::string& bytes) {
    bool nonAscii = false;
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const uint8_t b = (uint8_t)bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        uint32_t cp, min;
        if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
        else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
        else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
        else return false;
        if (i + len > n) return false;
        for (size_t k = 1; k < len; ++k) {
            const uint8_t c = (uint8_t)bytes[i + k];
            if ((c & 0xC0) != 0x80) return false;
            cp = cp << 6 | (c & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        nonAscii = true;
        i += len;
    }
    return nonAscii;
}

std::wstring ZFDecodeName(const std::string& bytes) {
    return ZFCodePageToWide(bytes, ZFIsUtf8Name(bytes) ? zcpUtf8 : zcpAnsi);
}

std::string ZFEncodeName(const std::wstring& name, bool& utf8) {
    std::string ansi = ZFWideToCodePage(name, zcpAnsi);
    utf8 = ZFCodePageToWide(ansi, zcpAnsi) != name;
    return utf8 ? ZFWideToCodePage(name, zcpUtf8) : ansi;
}

// ---- Hashed string list --------------------------------------------------------------------------------

TZFStringHash::TZFStringHash(uint32_t size) : FBuckets(size ? size : 1) {}

TZFStringHash::~TZFStringHash() {
    ClearAll();
}

uint32_t TZFStringHash::Hash(const std::wstring& key) const {
    uint32_t h = 0;
    for (wchar_t c : key) h = ((h << 2) | (h >> 30)) ^ (uint16_t)c;
    return h;
}

void TZFStringHash::AddItem(const std::wstring& key, int32_t value) {
    std::unique_ptr<THashItem>& head = Bucket(key);
    head.reset(new THashItem{std::move(head), key, value});
}

TZFStringHash::THashItem* TZFStringHash::FindItem(const std::wstring& key) const {
    for (THashItem* p = Bucket(key).get(); p; p = p->Next.get())
        if (p->Key == key) return p;
    return nullptr;
}

void TZFStringHash::RemoveItem(const std::wstring& key) {
    for (std::unique_ptr<THashItem>* link = &Bucket(key); *link; link = &(*link)->Next)
        if ((*link)->Key == key) {
            *link = std::move((*link)->Next);
            return;
        }
}

void TZFStringHash::RemoveItem(const std::wstring& key, int32_t value) {
    for (std::unique_ptr<THashItem>* link = &Bucket(key); *link; link = &(*link)->Next)
        if ((*link)->Key == key && (*link)->Value == value) {
            *link = std::move((*link)->Next);
            return;
        }
}

int32_t TZFStringHash::ValueOf(const std::wstring& key) const {
    const THashItem* p = FindItem(key);
    return p ? p->Value : -1;
}

int32_t TZFStringHash::LowestValueOf(const std::wstring& key) const {
    int32_t best = -1;
    for (const THashItem* p = Bucket(key).get(); p; p = p->Next.get())
        if (p->Key == key && (best < 0 || p->Value < best)) best = p->Value;
    return best;
}

void TZFStringHash::ClearAll() {
    // Chains are freed one element at a time: a long chain must not recurse through destructors.
    for (std::unique_ptr<THashItem>& head : FBuckets)
        while (head) head = std::move(head->Next);
}

std::wstring TZFHashedStringList::Key(const std::wstring& s) const {
    return GetCaseSensitive() ? s : ZFLowerCase(s);
}

void TZFHashedStringList::Invalidate() {
    FValueIndexValid = false;
    FNameIndexValid = false;
}

int32_t TZFHashedStringList::Add(const std::wstring& S) {
    // Unsorted lists append through Insert, which keeps the indexes; a sorted list moves lines.
    const int32_t index = TStringList::Add(S);
    if (GetSorted()) Invalidate();
    return index;
}

void TZFHashedStringList::Insert(int32_t Index, const std::wstring& S) {
    TStringList::Insert(Index, S);
    FNameIndexValid = false;
    if (Index != GetCount() - 1) {
        FValueIndexValid = false;
        return;
    }
    if (FValueIndex && FValueIndexValid) {
        FValueIndex->AddItem(Key(S), Index);
        if ((uint32_t)GetCount() > 5 * FValueIndex->BucketCount()) {
            FValueIndex.reset();
            FValueIndexValid = false;
        }
    }
}

void TZFHashedStringList::SetStrings(int32_t Index, const std::wstring& S) {
    TStringList::SetStrings(Index, S);
    Invalidate();
}

void TZFHashedStringList::ReplaceLine(int32_t Index, const std::wstring& S) {
    const std::wstring old = GetStrings(Index);
    TStringList::SetStrings(Index, S);
    FNameIndexValid = false;
    if (FValueIndex && FValueIndexValid) {
        FValueIndex->RemoveItem(Key(old), Index);
        FValueIndex->AddItem(Key(S), Index);
    }
}

void TZFHashedStringList::Delete(int32_t Index) {
    TStringList::Delete(Index);
    Invalidate();
}

void TZFHashedStringList::Clear() {
    TStringList::Clear();
    if (FValueIndex) FValueIndex->ClearAll();
    FValueIndexValid = true;
    FNameIndexValid = false;
}

int32_t TZFHashedStringList::IndexOf(const std::wstring& S) const {
    if (!FValueIndex || !FValueIndexValid) {
        if (FValueIndex) FValueIndex->ClearAll();
        else FValueIndex = std::make_unique<TZFStringHash>(std::max<uint32_t>(GetCount(), 1000));
        for (int32_t i = 0; i < GetCount(); ++i) FValueIndex->AddItem(Key(GetStrings(i)), i);
        FValueIndexValid = true;
    }
    return FValueIndex->LowestValueOf(Key(S));
}

int32_t TZFHashedStringList::IndexOfName(const std::wstring& Name) const {
    if (!FNameIndex || !FNameIndexValid) {
        if (FNameIndex) FNameIndex->ClearAll();
        else FNameIndex = std::make_unique<TZFStringHash>(256);
        for (int32_t i = 0; i < GetCount(); ++i) {
            const std::wstring line = GetStrings(i);
            const size_t eq = line.find(L'=');
            if (eq != std::wstring::npos) FNameIndex->AddItem(Key(line.substr(0, eq)), i);
        }
        FNameIndexValid = true;
    }
    return FNameIndex->LowestValueOf(Key(Name));
}

// ---- Engine-wide lock ----------------------------------------------------------------------------

static std::unique_ptr<TCriticalSection> EngineLock;

void ZFCreateEngineLock() {
    if (!EngineLock) EngineLock = std::make_unique<TCriticalSection>();
}

void ZFDestroyEngineLock() {
    EngineLock.reset();
}

TCriticalSection& ZFEngineLock() {
    ZFCreateEngineLock();
    return *EngineLock;
}

bool ZFForceDirectories(const std::wstring& dir) {
    const std::wstring d = ZFExcludeTrailingBackslash(dir);
    if (d.empty()) return false;
    if (ZFDirectoryExists(d) || (d.size() == 2 && d[1] == L':')) return true;
    const std::wstring parent = ZFExtractFilePath(d);
    if (!parent.empty() && parent != d && !ZFForceDirectories(parent)) return false;
    return ZFCreateDir(d) || ZFDirectoryExists(d);
}
