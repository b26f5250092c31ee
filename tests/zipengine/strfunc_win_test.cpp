// Masks, stored names, path resolution, stored-name code pages (CP932 under the test locale), the
// hashed string list, folder-tree removal, temporary files and the engine-wide lock.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "SyncObjs.h"
#include "WinApi.h"
#include "ZFStrFunc.h"

namespace {

std::wstring TestDir(const wchar_t* name) {
    return ZFSystemTempDir() + name + L"\\";
}

void Touch(const std::wstring& name) {
    TFileStream f(name, fmCreate);
}

}  // namespace

TEST(ZFStrFunc, WildcardsAndMasks) {
    struct Case {
        const wchar_t *name, *mask;
        bool matches;
    } cases[] = {
        {L"readme", L"*.*", true},       {L"readme", L"*.", true},       {L"readme.txt", L"*.", false},
        {L"abc", L"a?c", true},          {L"aXc", L"a?c", true},         {L"ac", L"a?c", false},
        {L"abc", L"abc*", true},         {L"abc", L"*c", true},          {L"c", L"*c", true},
        {L"ABC.TXT", L"*.txt", true},    {L"a.txt.bak", L"*.txt", false}, {L"photo1.jpg", L"photo?.jp*", true},
        {L"写真.JPG", L"写*.jpg", true},  {L"abc", L"", false},           {L"name.", L"name", true},
        {L"dir/file.txt", L"dir/*.txt", true}, {L"abcd", L"abc", false}, {L"abc", L"abcd", false},
        // A star that does not end the mask takes at least one character at the name's end.
        {L"a", L"a**", false},           {L"ab", L"a**", true},          {L"ab", L"*b*", true},
        {L"a", L"*", true},              {L"a", L"*?", true},            {L"ab", L"a*?", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MaskMatches(c.name, c.mask), c.matches) << c.name << L" " << c.mask;
    EXPECT_FALSE(WildcardMatch(L"ABC", L"abc", false));
    EXPECT_TRUE(WildcardMatch(L"ABC", L"abc", true));
    EXPECT_TRUE(WildcardMatch(L"anything", L"*.*", false));
}

TEST(ZFStrFunc, ManyStarsStayFast) {
    // Names reach 65,535 units; a mask of 91 units with 15 stars must not cost more than about
    // their product (before, a 6,883-unit name took seconds and a longer one hours).
    std::wstring mask;
    for (int k = 0; k < 15; ++k) mask += L"*a?aaa";
    const std::wstring name(65535, L'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(MaskMatches(name, mask + L"b"));
    EXPECT_TRUE(MaskMatches(name, mask + L"a"));
    EXPECT_TRUE(MaskMatches(name, L"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(ZFStrFunc, StoredNamesFollowTheStorePathMode) {
    struct Case {
        const wchar_t *file, *base;
        TZFStorePathMode mode;
        const wchar_t* stored;
    } cases[] = {
        {L"C:\\z\\sub\\f.txt", L"C:\\z\\", spRelativePath, L"sub/f.txt"},
        {L"C:\\Z\\SUB\\f.txt", L"c:\\z", spRelativePath, L"SUB/f.txt"},
        {L"C:\\x\\y.txt", L"C:\\z\\", spRelativePath, L"x/y.txt"},   // outside the base: full path
        {L"C:\\a\\b.txt", L"C:\\z\\", spNoPath, L"b.txt"},
        {L"C:\\a\\b.txt", L"C:\\z\\", spFullPath, L"a/b.txt"},
        {L"C:\\a\\b.txt", L"C:\\z\\", spFullPathWithDrive, L"C:/a/b.txt"},
        {L"\\\\server\\share\\f.txt", L"C:\\z\\", spFullPath, L"share/f.txt"},
        {L"C:\\z\\dir\\", L"C:\\z\\", spRelativePath, L"dir"},
        {L"C:\\z\\dir\\.", L"C:\\z\\", spRelativePath, L"dir/"},
        {L"C:", L"C:\\z\\", spFullPath, L""},
        {L"C:\\z\\表\\表.txt", L"C:\\z\\", spRelativePath, L"表/表.txt"},
        {L"sub\\rel.txt", L"C:\\z\\", spRelativePath, L"sub/rel.txt"},   // relative to the base
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoredNameFor(c.file, c.base, c.mode, L""), c.stored) << c.file << L" " << c.mode;
}

TEST(ZFStrFunc, PathsResolveAgainstTheBaseOrTheDefaultFolder) {
    const std::wstring cwd = ZFIncludeTrailingBackslash(ZFGetCurrentDir());
    EXPECT_EQ(ResolvePath(L"C:\\base\\", L"D:\\x.txt", L""), L"D:\\x.txt");
    EXPECT_EQ(ResolvePath(L"C:\\base\\", L"\\\\srv\\s\\x.txt", L""), L"\\\\srv\\s\\x.txt");
    EXPECT_EQ(ResolvePath(L"C:\\base", L"a\\..\\b.txt", L""), L"C:\\base\\b.txt");
    EXPECT_EQ(ResolvePath(L"", L"b.txt", L"C:\\dflt"), L"C:\\dflt\\b.txt");
    EXPECT_EQ(ResolvePath(L"", L"b.txt", L""), cwd + L"b.txt");
    EXPECT_EQ(ResolvePath(L"", L"\\top.txt", L""), cwd.substr(0, 2) + L"\\top.txt");
    EXPECT_EQ(ResolvePath(L"C:\\base", L"", L""), L"C:\\base");
    EXPECT_EQ(ResolvePath(L"no_such_folder_zf", L"", L""), L"no_such_folder_zf");
    EXPECT_EQ(ResolvePath(L"", L"", L""), cwd);
    EXPECT_EQ(ResolvePath(L"\\", L"", L""), cwd);
    EXPECT_EQ(FolderOrDefault(L"C:\\out", L"C:\\work"), L"C:\\out\\");
    EXPECT_EQ(FolderOrDefault(L"", L"C:\\work\\"), L"C:\\work\\");
    EXPECT_EQ(ZFExtractRelativePath(L"C:\\a\\b\\", L"C:\\a\\c\\d.txt"), L"..\\c\\d.txt");
    EXPECT_EQ(ZFExtractRelativePath(L"C:\\a\\", L"D:\\a\\d.txt"), L"D:\\a\\d.txt");
}

TEST(ZFStrFunc, DriveTests) {
    EXPECT_TRUE(IsFloppyPath(L"a:\\x.zip"));
    EXPECT_TRUE(IsFloppyPath(L"B:"));
    EXPECT_FALSE(IsFloppyPath(L"C:\\x.zip"));
    EXPECT_FALSE(IsFloppyPath(L"\\\\a\\b\\x.zip"));
    EXPECT_TRUE(IsRemovablePath(L"A:\\x.zip"));
    EXPECT_FALSE(IsRemovablePath(L"C:\\x.zip"));
    EXPECT_EQ(ZFExtractFileDrive(L"\\\\srv\\share\\dir\\f"), L"\\\\srv\\share");
}

TEST(ZFStrFunc, NamesDecodeFromTheAnsiCodePageOrUtf8) {
    ASSERT_EQ(GetACP(), 932u) << "the tests run in the Japanese locale";
    // 表 is 0x95 0x5C in CP932: its trail byte is a backslash and must not split the name.
    EXPECT_EQ(ZFDecodeName("\x95\x5C"), L"表");
    const std::wstring name = ZFDecodeName("dir/\x95\x5C\\\x95\x5C.txt");
    EXPECT_EQ(name, L"dir/表\\表.txt");
    EXPECT_EQ(ZFExtractFileName(name), L"表.txt");
    EXPECT_EQ(ZFExtractFilePath(name), L"dir/表\\");
    EXPECT_EQ(ZFExtractFileName(ZFDecodeName("\x95\x5C")), L"表");
    EXPECT_EQ(ZFDecodeName("\xE8\xA1\xA8.txt"), L"表.txt");  // UTF-8, without any flag
    EXPECT_EQ(ZFDecodeName("plain.txt"), L"plain.txt");
    EXPECT_EQ(ZFOemToAnsi("\x95\x5C\x83\x65"), "\x95\x5C\x83\x65");  // OEM and ANSI are both 932 here
    EXPECT_EQ(ZFAnsiToOem("\x95\x5C"), "\x95\x5C");

    struct Case {
        const char* bytes;
        bool utf8;
    } cases[] = {
        {"abc", false},          {"\xC3\xA9", true},     {"\x95\x5C", false},      {"\xC0\xAF", false},
        {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xF0\x9F\x93\xB7", true}, {"\xE8\xA1", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ZFIsUtf8Name(c.bytes), c.utf8) << c.bytes;
}

TEST(ZFStrFunc, NamesEncodeAsAnsiWhenTheyRoundTripElseAsUtf8) {
    bool utf8 = true;
    EXPECT_EQ(ZFEncodeName(L"dir/表.txt", utf8), "dir/\x95\x5C.txt");
    EXPECT_FALSE(utf8);
    EXPECT_EQ(ZFEncodeName(L"한국.txt", utf8), "\xED\x95\x9C\xEA\xB5\xAD.txt");
    EXPECT_TRUE(utf8);
    EXPECT_EQ(ZFEncodeName(L"café", utf8), "caf\xC3\xA9");  // no best-fit "e"
    EXPECT_TRUE(utf8);
    const std::wstring longName(300, L'한');
    EXPECT_EQ(ZFEncodeName(longName, utf8).size(), 900u) << "long names are kept whole";
}

TEST(ZFStrFunc, StringHashChainsAndValues) {
    TZFStringHash hash(7);
    EXPECT_EQ(hash.Hash(L"ab"), (0x61u << 2) ^ 0x62u);
    EXPECT_EQ(hash.Hash(L""), 0u);
    hash.AddItem(L"a", 1);
    hash.AddItem(L"b", 2);
    hash.AddItem(L"a", 3);  // at the head of its chain
    EXPECT_EQ(hash.ValueOf(L"a"), 3);
    EXPECT_EQ(hash.LowestValueOf(L"a"), 1);
    hash.RemoveItem(L"a");
    EXPECT_EQ(hash.ValueOf(L"a"), 1);
    EXPECT_EQ(hash.ValueOf(L"c"), -1);
    hash.ClearAll();
    EXPECT_EQ(hash.FindItem(L"b"), nullptr);

    TZFStringHash one(1);  // everything in one chain, freed without recursion
    for (int32_t i = 0; i < 200000; ++i) one.AddItem(L"k", i);
}

TEST(ZFStrFunc, HashedListFindsLinesWithoutRegardToCase) {
    TZFHashedStringList list;
    for (const wchar_t* s : {L"a/one.txt", L"a/two.txt", L"b/写真.jpg", L"key=value", L"a/ONE.txt"}) list.Add(s);
    EXPECT_EQ(list.IndexOf(L"A/Two.TXT"), 1);
    EXPECT_EQ(list.IndexOf(L"a/one.txt"), 0);  // the first of two equal lines
    EXPECT_EQ(list.IndexOf(L"b/写真.JPG"), 2);
    EXPECT_EQ(list.IndexOf(L"missing"), -1);
    EXPECT_EQ(list.IndexOfName(L"KEY"), 3);
    EXPECT_EQ(list.IndexOfName(L"a/one.txt"), -1);

    list.Add(L"late=1");  // lines added after a lookup are found too
    EXPECT_EQ(list.IndexOfName(L"late"), 5);
    EXPECT_EQ(list.IndexOf(L"late=1"), 5);

    list.Delete(0);
    EXPECT_EQ(list.IndexOf(L"a/two.txt"), 0);
    EXPECT_EQ(list.IndexOf(L"a/one.txt"), 3);
    EXPECT_EQ(list.IndexOfName(L"key"), 2);

    list.ReplaceLine(0, L"c/new.txt");
    EXPECT_EQ(list.IndexOf(L"a/two.txt"), -1);
    EXPECT_EQ(list.IndexOf(L"C/NEW.TXT"), 0);
    list.SetStrings(1, L"renamed");
    EXPECT_EQ(list.IndexOf(L"renamed"), 1);
    list.Insert(0, L"first");
    EXPECT_EQ(list.IndexOf(L"renamed"), 2);

    list.Clear();
    EXPECT_EQ(list.IndexOf(L"first"), -1);
    list.Add(L"again");
    EXPECT_EQ(list.IndexOf(L"AGAIN"), 0);

    TZFHashedStringList sensitive;
    sensitive.SetCaseSensitive(true);
    sensitive.Add(L"Abc");
    EXPECT_EQ(sensitive.IndexOf(L"abc"), -1);
    EXPECT_EQ(sensitive.IndexOf(L"Abc"), 0);
}

TEST(ZFStrFunc, ValueIndexIsRebuiltLargerWhenTheListOutgrowsIt) {
    TZFHashedStringList list;
    list.Add(L"line0");
    EXPECT_EQ(list.IndexOf(L"line0"), 0);
    EXPECT_EQ(list.ValueIndexBuckets(), 1000u);
    for (int32_t i = 1; i < 5000; ++i) list.Add(L"line" + std::to_wstring(i));
    EXPECT_EQ(list.ValueIndexBuckets(), 1000u);
    list.Add(L"line5000");  // the 5001st line
    EXPECT_EQ(list.ValueIndexBuckets(), 0u);
    EXPECT_EQ(list.IndexOf(L"LINE4321"), 4321);
    EXPECT_EQ(list.ValueIndexBuckets(), 5001u);
    EXPECT_EQ(list.IndexOf(L"line5000"), 5000);
}

TEST(ZFStrFunc, SortedHashedListsStayConsistent) {
    TZFHashedStringList list;
    list.SetSorted(true);
    list.Add(L"m");
    EXPECT_EQ(list.IndexOf(L"m"), 0);
    list.Add(L"a");  // moves "m" down
    EXPECT_EQ(list.IndexOf(L"m"), 1);
    EXPECT_EQ(list.IndexOf(L"a"), 0);
}

TEST(ZFStrFunc, FolderTreesGoOnlyWhenTheyHoldNoFiles) {
    const std::wstring root = TestDir(L"zf_tree");
    RemoveFolderTree(root);
    ASSERT_TRUE(ZFForceDirectories(root + L"b\\c"));
    ASSERT_TRUE(ZFForceDirectories(root + L"写真\\e"));
    EXPECT_TRUE(RemoveFolderTree(root));
    EXPECT_FALSE(ZFDirectoryExists(root));
    EXPECT_TRUE(RemoveFolderTree(root)) << "a folder that is gone counts as removed";

    ASSERT_TRUE(ZFForceDirectories(root + L"kept\\inner"));
    Touch(root + L"kept\\file.txt");
    EXPECT_FALSE(RemoveFolderTree(root));
    EXPECT_TRUE(ZFFileExists(root + L"kept\\file.txt"));
    EXPECT_TRUE(ZFDirectoryExists(root + L"kept"));
    ZFDeleteFile(root + L"kept\\file.txt");
    EXPECT_TRUE(RemoveFolderTree(root));
}

TEST(ZFStrFunc, TemporaryFilesAndFileWrappers) {
    const std::wstring dir = TestDir(L"zf_temp");
    ASSERT_TRUE(ZFForceDirectories(dir));
    const std::wstring name = TempFileName(dir);
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(ZFExtractFilePath(name), dir);
    EXPECT_EQ(ZFExtractFileName(name).substr(0, 2), L"FC");
    EXPECT_TRUE(ZFFileExists(name));
    EXPECT_NE(ZFFileAge(name), -1);
    EXPECT_TRUE(ZFFileSetAttr(name, faReadOnly));
    EXPECT_EQ(ZFFileGetAttr(name) & faReadOnly, faReadOnly);
    EXPECT_TRUE(ZFFileSetAttr(name, 0));
    const std::wstring renamed = dir + L"renamed.tmp";
    EXPECT_TRUE(ZFRenameFile(name, renamed));
    EXPECT_TRUE(ZFDeleteFile(renamed));
    EXPECT_EQ(ZFFileGetAttr(renamed), -1);
    EXPECT_EQ(ZFFileAge(renamed), -1);
    EXPECT_TRUE(ZFRemoveDir(ZFExcludeTrailingBackslash(dir)));

    const std::wstring systemTemp = TempFileName(L"");
    EXPECT_EQ(ZFExtractFilePath(systemTemp), ZFSystemTempDir());
    ZFDeleteFile(systemTemp);

    EXPECT_EQ(ZFStringReplace(L"a\\b\\c", L"\\", L"/"), L"a/b/c");
    EXPECT_EQ(ZFStringReplace(L"One one ONE", L"one", L"1", true), L"1 1 1");
    EXPECT_EQ(ZFByteLength(L"表a"), 4);
    EXPECT_EQ(ZFExtractFileExt(L"dir.x\\name"), L"");
    EXPECT_EQ(ZFExtractFileExt(L"name.tar.gz"), L".gz");
    EXPECT_EQ(ZFLowerCase(L"ÄBC"), L"äbc");
}

TEST(ZFStrFunc, EngineLockIsReentrant) {
    TCriticalSection& lock = ZFEngineLock();
    EXPECT_EQ(&lock, &ZFEngineLock());
    TCriticalSectionGuard outer(lock);
    TCriticalSectionGuard inner(lock);  // events of a batch may start another batch on this thread
    SUCCEED();
}
