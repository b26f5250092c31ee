// The directory model: the item array and its name index, reading central directories made by
// other tools, names in their code pages, the end-record search, prefixes, counts that do not fit
// the archive, the repair scan (with bsdtar's listing as the oracle) and the directory writer.
#include <gtest/gtest.h>

#include "WinApi.h"
#include "ZFDirectory.h"
#include "ZFExcept.h"
#include "zip_test_util.h"

using namespace ziptest;

namespace {

// An archive held in memory with a directory manager over it.
struct TOpened {
    explicit TOpened(const std::string& bytes, bool repairOnOpen = true) {
        stream.WriteBuffer(bytes.data(), (int32_t)bytes.size());
        core.RepairOnOpen = repairOnOpen;
        core.SetCallerStream(&stream);
        dir = std::make_unique<TZFDirManager>(core, &stream, true, false);
    }
    void Read() { dir->ReadDirectory(); }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (int32_t i = 0; i < dir->Items.Count(); ++i) names.push_back(dir->Items.ItemAt(i).EntryName);
        return names;
    }
    const TDirItem& Item(int32_t i) const { return dir->Items.ItemAt(i); }

    TMemoryStream stream;
    TCore core;
    std::unique_ptr<TZFDirManager> dir;
};

TDirItem Named(const std::wstring& name) {
    TDirItem item;
    item.EntryName = name;
    return item;
}

const std::vector<std::wstring> TreeNames = {L"hello.txt", L"empty.txt", L"sub/", L"sub/text.txt",
                                             L"sub/deeper/", L"sub/deeper/leaf.txt"};

}  // namespace

TEST(ZFDirArray, GrowthIndexAndErrorCodes) {
    TZFDirArray a;
    a.SetCount(1);
    EXPECT_EQ(a.Capacity(), 1000);   // step 500 doubled before the first growth
    a.SetCount(1001);
    EXPECT_EQ(a.Capacity(), 3000);
    a.SetCount(0);
    EXPECT_EQ(a.Capacity(), 0);

    a.SetCount(3);
    EXPECT_EQ(NativeErrorOf([&] { a.SetItem(1, Named(L"x")); }), ZFErrNameIndex);   // the index has no line 0
    a.SetItem(0, Named(L"Docs/Readme.TXT"));
    a.SetItem(1, Named(L"b.txt"));
    a.SetItem(2, Named(L"c.txt"));
    EXPECT_EQ(a.FindName(L"docs/readme.txt"), 0);
    EXPECT_EQ(a.FindName(L"C.TXT"), 2);
    EXPECT_EQ(a.FindName(L"missing"), -1);
    a.SetItem(1, Named(L"B2.txt"));   // replacing keeps the index in step
    EXPECT_EQ(a.FindName(L"b.txt"), -1);
    EXPECT_EQ(a.FindName(L"b2.TXT"), 1);

    EXPECT_EQ(NativeErrorOf([&] { a.SetItem(3, Named(L"x")); }), ZFErrItemStoreIndex);
    EXPECT_EQ(NativeErrorOf([&] { a.GetItem(-1); }), ZFErrItemCopyIndex);
    EXPECT_EQ(NativeErrorOf([&] { a.ItemAt(3); }), ZFErrItemIndex);
    EXPECT_EQ(NativeErrorOf([&] { a.Delete(3); }), ZFErrItemDeleteIndex);

    // Names that differ only in case collide: renaming onto another item's name is refused.
    EXPECT_EQ(NativeErrorOf([&] { a.Rename(2, L"DOCS/readme.txt"); }), ZFErrDuplicateName);
    a.Rename(2, L"renamed.txt");
    EXPECT_EQ(a.FindName(L"renamed.txt"), 2);
    a.Rename(2, L"Renamed.TXT");   // its own name in another case is fine
    EXPECT_EQ(a.ItemAt(2).EntryName, L"Renamed.TXT");

    a.Delete(0);
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a.FindName(L"b2.txt"), 0);
    EXPECT_EQ(a.FindName(L"renamed.txt"), 1);

    TZFDirArray copy;
    copy.Assign(a);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.FindName(L"RENAMED.txt"), 1);
}

TEST(ZFDirectory, ReadsDirectoriesOfOtherTools) {
    TOpened tree(ReadFileBytes(DataFile("infozip_tree.zip")));
    tree.Read();
    EXPECT_EQ(tree.Names(), TreeNames);
    EXPECT_EQ(tree.Item(3).Header.Method, 8);
    EXPECT_EQ(tree.Item(3).UnpackedSize(), 10400);
    EXPECT_EQ(tree.Item(1).UnpackedSize(), 0);
    EXPECT_FALSE(tree.Item(1).IsFolder());
    EXPECT_TRUE(tree.Item(2).IsFolder());
    EXPECT_EQ(tree.dir->PrefixSize, 0);
    EXPECT_EQ(tree.Item(0).LocalOffset(), 0);

    TOpened py(ReadFileBytes(DataFile("pyzip_mixed.zip")));
    py.Read();
    EXPECT_EQ(py.Names(), (std::vector<std::wstring>{L"stored.txt", L"deflated.txt", L"folder/", L"folder/zero.bin"}));
    EXPECT_TRUE(py.Item(2).IsFolder());   // by its name alone: Python sets no folder attribute here

    TOpened z64(ReadFileBytes(DataFile("zip64_infozip.zip")));
    z64.Read();
    EXPECT_TRUE(z64.dir->HasZip64);
    ASSERT_EQ(z64.Names(), std::vector<std::wstring>{L"z64.txt"});
    EXPECT_EQ(z64.Item(0).UnpackedSize(), 28);
}

TEST(ZFDirectory, NamesAreDecodedFromTheirOwnBytes) {
    TOpened cp932(ReadFileBytes(DataFile("cp932_noflag_infozip.zip")));
    cp932.Read();
    EXPECT_EQ(cp932.Names(), std::vector<std::wstring>{L"日本語.txt"});
    // UTF-8 bytes without flag bit 11, as Info-ZIP writes them on Linux.
    TOpened utf8(ReadFileBytes(DataFile("utf8_noflag_infozip.zip")));
    utf8.Read();
    EXPECT_EQ(utf8.Names(), std::vector<std::wstring>{L"写真.txt"});
    TOpened flagged(ReadFileBytes(DataFile("utf8_flag_pyzip.zip")));
    flagged.Read();
    EXPECT_EQ(flagged.Names(), std::vector<std::wstring>{L"写真/ｶﾀｶﾅ―.txt"});

    struct TCase {
        std::string Raw;
        uint16_t Flags;
        bool Oem;
        const wchar_t* Expected;
    } cases[] = {
        {"plain.txt", 0, true, L"plain.txt"},
        {"\x93\xfa\x96\x7b\x8c\xea", 0, true, L"日本語"},
        {"\x93\xfa\x96\x7b\x8c\xea", 0, false, L"日本語"},
        {"\xe5\x86\x99\xe7\x9c\x9f", 0, true, L"写真"},
        {"\xe5\x86\x99\xe7\x9c\x9f", zfFlagUtf8, true, L"写真"},
        {"\xb6\xc0\xb6\xc5", 0, true, L"ｶﾀｶﾅ"},   // half-width katakana in CP932 is not UTF-8
    };
    for (const TCase& c : cases) EXPECT_EQ(ZFDecodeStoredName(c.Raw, c.Flags, c.Oem), c.Expected);

    // The Unicode name block replaces the stored name.
    TEntrySpec e;
    e.Name = "ascii.txt";
    std::string block;
    Put16(block, ZFUnicodeExtraId);
    Put16(block, 8 + 4);
    Put32(block, ZFUnicodeExtraSignature);
    Put32(block, 2);
    Put16(block, 0x5199);   // 写
    Put16(block, 0x771F);   // 真
    e.CentralExtra = block;
    TOpened u(BuildZip({e}).Bytes);
    u.Read();
    EXPECT_EQ(u.Names(), std::vector<std::wstring>{L"写真"});
}

TEST(ZFDirectory, EndRecordSearchChecksTheCommentLength) {
    TEntrySpec e;
    e.Name = "a.txt";
    e.Data = "a";
    // A comment that holds an end signature of its own: that candidate's comment length is wrong.
    std::string fake = "PK\x05\x06";
    fake += std::string(18, '\0');
    TOpened withFake(BuildZip({e}, "note " + fake + " end").Bytes);
    withFake.Read();
    EXPECT_EQ(withFake.Names(), std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(withFake.dir->Comment, "note " + fake + " end");

    // The longest comment still leaves the record inside the 65600-byte window.
    TOpened longest(BuildZip({e}, std::string(65535, 'c')).Bytes);
    longest.Read();
    EXPECT_EQ(longest.Names(), std::vector<std::wstring>{L"a.txt"});
    EXPECT_EQ(longest.dir->Comment.size(), 65535u);

    // A comment length that does not match the bytes after the record: no end record, so the
    // directory comes from the repair scan.
    std::string bytes = BuildZip({e}, "xyz").Bytes;
    bytes += "trailing";
    TOpened trailing(bytes);
    const auto search = trailing.dir->FindEndRecord();
    EXPECT_TRUE(search.MetSignature);
    EXPECT_FALSE(search.Found);
    trailing.Read();
    EXPECT_EQ(trailing.Names(), std::vector<std::wstring>{L"a.txt"});
}

TEST(ZFDirectory, PrefixInFrontOfTheArchive) {
    const std::string tree = ReadFileBytes(DataFile("infozip_tree.zip"));
    TOpened stub("MZ" + std::string(998, 'S') + tree);
    stub.Read();
    EXPECT_EQ(stub.Names(), TreeNames);
    EXPECT_EQ(stub.dir->PrefixSize, 1000);
    EXPECT_EQ(stub.core.DirectoryPrefix, 1000);
    EXPECT_EQ(stub.Item(0).LocalOffset(), 1000);   // stored relative to the archive: moved
    EXPECT_EQ(stub.Item(3).LocalOffset(), 1132);
    EXPECT_EQ(stub.Item(2).LocalOffset(), 98);   // folders keep their offsets

    // zip -A stored absolute offsets: the prefix is found, nothing moves.
    TOpened adjusted(ReadFileBytes(DataFile("sfx_adjusted_infozip.zip")));
    adjusted.Read();
    EXPECT_EQ(adjusted.dir->PrefixSize, 1000);
    EXPECT_EQ(adjusted.Item(0).LocalOffset(), 1000);
    EXPECT_EQ(adjusted.Item(5).LocalOffset(), 1285);
}

TEST(ZFDirectory, CountsThatDoNotFitTheArchiveAreNotBelieved) {
    TEntrySpec a, b;
    a.Name = "a.txt";
    a.Data = "alpha";
    b.Name = "b.txt";
    b.Data = "beta";
    const TArchiveLayout good = BuildZip({a, b});

    struct TCase {
        const char* What;
        size_t At;          // offset in the end record
        uint32_t Value;
        bool Wide;
    } cases[] = {
        {"entries", 10, 60000, false},
        {"directory size", 12, 0x7FFFFFFF, true},
        {"0xFFFF entries without ZIP64", 10, 0xFFFF, false},
    };
    for (const TCase& c : cases) {
        std::string bytes = good.Bytes;
        if (c.Wide) Set32(bytes, good.EndOffset + c.At, c.Value);
        else Set16(bytes, good.EndOffset + c.At, c.Value);
        TOpened repaired(bytes);
        repaired.Read();   // the repair scan stands in
        EXPECT_EQ(repaired.Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt"})) << c.What;
        EXPECT_LT(repaired.dir->Items.Capacity(), 10000) << c.What;
        if (c.Value != 0xFFFF) {
            TOpened strict(bytes, false);
            EXPECT_EQ(NativeErrorOf([&] { strict.Read(); }), ZFErrCorruptDirectory) << c.What;
        }
    }

    // A ZIP64 end record that claims four billion entries.
    std::string bytes = good.Bytes.substr(0, good.EndOffset);
    const size_t z64 = bytes.size();
    Put32(bytes, ZFZip64EndSignature);
    Put64(bytes, 44);
    Put16(bytes, 45);
    Put16(bytes, 45);
    Put32(bytes, 0);
    Put32(bytes, 0);
    Put64(bytes, 0xFFFFFFFFull);
    Put64(bytes, 0xFFFFFFFFull);
    Put64(bytes, good.EndOffset - good.CentralOffset);
    Put64(bytes, good.CentralOffset);
    Put32(bytes, ZFZip64LocatorSignature);
    Put32(bytes, 0);
    Put64(bytes, z64);
    Put32(bytes, 1);
    bytes += good.Bytes.substr(good.EndOffset);
    TOpened huge(bytes);
    huge.Read();
    EXPECT_EQ(huge.Names(), (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
    TOpened hugeStrict(bytes, false);
    EXPECT_EQ(NativeErrorOf([&] { hugeStrict.Read(); }), ZFErrCorruptDirectory);

    // A locator whose ZIP64 end record is not there.
    Set32(bytes, z64, 0x12345678);
    TOpened noRecord(bytes);
    EXPECT_EQ(NativeErrorOf([&] { noRecord.Read(); }), ZFErrZip64EndRecordNotFound);

    // Compressed sizes adding up beyond the archive (checked without the repair fallback).
    std::string big = good.Bytes;
    Set32(big, good.CentralOffset + 20, 1u << 30);
    TOpened sizes(big, false);
    EXPECT_EQ(NativeErrorOf([&] { sizes.Read(); }), ZFErrCorruptDirectory);
}

TEST(ZFDirectory, RepairScanListsWhatBsdtarFinds) {
    // bsdtar -tvf - < damaged_truncated_cd.zip lists the six entries of the tree with their sizes;
    // empty.txt is a file, the two names ending in "/" are folders.
    TOpened truncated(ReadFileBytes(DataFile("damaged_truncated_cd.zip")));
    truncated.Read();
    EXPECT_EQ(truncated.Names(), TreeNames);
    const int64_t sizes[] = {20, 0, 0, 10400, 0, 5};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(truncated.Item(i).UnpackedSize(), sizes[i]) << i;
        EXPECT_EQ(truncated.Item(i).IsFolder(), i == 2 || i == 4) << i;
        EXPECT_EQ(truncated.Item(i).Header.Signature, ZFStandardSignatures.Central);
    }
    EXPECT_EQ(truncated.dir->DirectoryStart, truncated.stream.GetSize());

    // The tree with the second local header broken and no directory: bsdtar lists hello.txt and
    // stops at the damage; the scan lists hello.txt and every entry behind the damaged one.
    std::string bad = ReadFileBytes(DataFile("damaged_bad_local.zip"));
    TOpened badLocal(bad.substr(0, Get32(bad, bad.size() - 22 + 16)));
    badLocal.Read();
    EXPECT_EQ(badLocal.Names(), (std::vector<std::wstring>{L"hello.txt", L"sub/", L"sub/text.txt", L"sub/deeper/",
                                                           L"sub/deeper/leaf.txt"}));

    // No local header anywhere.
    TOpened nothing(std::string(5000, 'x'));
    EXPECT_EQ(NativeErrorOf([&] { nothing.Read(); }), ZFErrNoLocalHeader);
}

TEST(ZFDirectory, RepairScanCases) {
    // Data descriptors give sizes and CRC; an empty entry stays a file; a stored archive inside an
    // entry is not taken apart; duplicate names are both listed.
    TEntrySpec described, empty, inner, nested, dup1, dup2, longExtra, longName;
    described.Name = "described.txt";
    described.Data = std::string(3000, 'd');
    described.Method = 8;
    described.Descriptor = true;
    empty.Name = "empty.bin";
    inner.Name = "inner.txt";
    inner.Data = "inside";
    nested.Name = "nested.zip";
    nested.Data = BuildZip({inner}).Bytes;
    dup1.Name = "same.txt";
    dup1.Data = "first";
    dup2.Name = "SAME.txt";
    dup2.Data = "second";
    longExtra.Name = "skipped.txt";
    longExtra.LocalExtra = std::string(261, '\0');
    longName.Name = std::string(300, 'n');
    const TArchiveLayout layout = BuildZip({described, empty, nested, dup1, dup2, longExtra, longName});
    TOpened scan(layout.Bytes.substr(0, layout.CentralOffset));
    scan.Read();
    EXPECT_EQ(scan.Names(), (std::vector<std::wstring>{L"described.txt", L"empty.bin", L"nested.zip", L"same.txt",
                                                       L"SAME.txt", std::wstring(300, L'n')}));
    EXPECT_EQ(scan.Item(0).UnpackedSize(), 3000);
    EXPECT_EQ(scan.Item(0).Header.Crc32, Crc32(described.Data));
    EXPECT_EQ(scan.Item(0).PackedSize(), (int64_t)RawDeflate(described.Data).size());
    EXPECT_FALSE(scan.Item(1).IsFolder());
    EXPECT_EQ(scan.Item(1).Header.ExternalAttr, (uint32_t)faArchive);
    EXPECT_EQ(scan.dir->Items.FindName(L"same.txt"), 3);

    // The alternate signature set is accepted by the scan too.
    std::string alt = BuildZip({inner}).Bytes;
    Set32(alt, 0, ZFAlternateSignatures.Local);
    TOpened alternate(alt.substr(0, 30 + 9 + 6));
    alternate.Read();
    ASSERT_EQ(alternate.Names(), std::vector<std::wstring>{L"inner.txt"});
    EXPECT_EQ(alternate.Item(0).Header.Signature, ZFAlternateSignatures.Central);

    // Without a descriptor found, sizes stay as the local header gave them.
    TEntrySpec lost = described;
    std::string noDescriptor = BuildZip({lost}).Bytes;
    noDescriptor.resize(BuildZip({lost}).LocalOffsets[0] + 30 + lost.Name.size() + 5);
    TOpened partial(noDescriptor);
    partial.Read();
    ASSERT_EQ(partial.dir->Items.Count(), 1);
    EXPECT_EQ(partial.Item(0).UnpackedSize(), 0);

    // A volume set is not repaired.
    TOpened set(layout.Bytes.substr(0, layout.CentralOffset));
    set.core.SetSpanningMode(smSplitting);
    EXPECT_EQ(NativeErrorOf([&] { set.dir->Repair(); }), ZFErrRepairVolumeSet);
}

TEST(ZFDirectory, WrittenDirectoryReadsBack) {
    TMemoryStream stream;
    TCore core;
    core.SetCallerStream(&stream);
    TZFDirManager dir(core, &stream, true, true);
    dir.WriteDirectory();
    EXPECT_EQ(stream.GetSize(), 22);   // an empty archive is its end record

    TZFDirManager writer(core, &stream, true, true);
    stream.SetSize(0);
    const std::wstring names[] = {L"plain.txt", L"日本語/ﾃｽﾄ.txt", L"한국어.txt", L"folder/"};
    writer.Items.SetCount(4);
    for (int32_t i = 0; i < 4; ++i) {
        TDirItem item = Named(names[i]);
        item.Header.Signature = ZFStandardSignatures.Central;
        item.Header.VersionNeeded = item.Header.VersionMadeBy = 20;
        item.Header.Crc32 = 0x11111111u * (uint32_t)(i + 1);
        item.Header.PackedSize = item.Header.UnpackedSize = 0;
        item.Header.LocalHeaderOffset = 0;
        item.EntryComment = i == 0 ? "a comment" : "";
        writer.Items.SetItem(i, item);
    }
    writer.Items.ItemAt(1).Header.UnpackedSize = 0xFFFFFFFF;
    writer.Items.ItemAt(1).Zip64Unpacked = 5000000000LL;
    writer.Comment = "archive comment";
    writer.WriteDirectory();

    const std::string bytes = [&] {
        std::string s((size_t)stream.GetSize(), '\0');
        stream.SetPosition(0);
        stream.ReadBuffer(&s[0], (int32_t)s.size());
        return s;
    }();
    // The CP932 name is stored as OEM bytes without flag bit 11, the Korean one as UTF-8 with it.
    EXPECT_NE(bytes.find("\x93\xfa\x96\x7b\x8c\xea/\xc3\xbd\xc4.txt"), std::string::npos);
    EXPECT_NE(bytes.find("\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4.txt"), std::string::npos);

    TOpened back(bytes);
    back.Read();
    EXPECT_EQ(back.Names(), std::vector<std::wstring>(std::begin(names), std::end(names)));
    EXPECT_EQ(back.Item(1).Header.Flags & zfFlagUtf8, 0);
    EXPECT_EQ(back.Item(2).Header.Flags & zfFlagUtf8, zfFlagUtf8);
    EXPECT_EQ(back.Item(1).UnpackedSize(), 5000000000LL);
    EXPECT_EQ(back.Item(3).Header.Crc32, 0x44444444u);
    EXPECT_EQ(back.Item(0).EntryComment, "a comment");
    EXPECT_EQ(back.dir->Comment, "archive comment");
    EXPECT_FALSE(back.dir->HasZip64);
}

TEST(ZFDirectory, ZIP64EndRecordsFrom65535Entries) {
    for (int32_t count : {65534, 65535}) {
        TMemoryStream stream;
        TCore core;
        core.SetCallerStream(&stream);
        TZFDirManager writer(core, &stream, true, true);
        writer.Items.SetCount(count);
        for (int32_t i = 0; i < count; ++i) {
            TDirItem item = Named(L"f" + std::to_wstring(i));
            item.Header.Signature = ZFStandardSignatures.Central;
            writer.Items.SetItem(i, item);
        }
        writer.WriteDirectory();
        EXPECT_EQ(writer.HasZip64, count == 65535);
        EXPECT_EQ(writer.EndRecord.TotalEntries, count == 65535 ? 0xFFFF : 65534);

        TZFDirManager reader(core, &stream, true, false);
        reader.ReadDirectory();
        EXPECT_EQ(reader.Items.Count(), count);
        EXPECT_EQ(reader.Items.ItemAt(count - 1).EntryName, L"f" + std::to_wstring(count - 1));
        EXPECT_EQ(reader.Items.FindName(L"F65533"), 65533);
    }
}

TEST(ZFDirectory, RecordFieldsStopAtTheBytesEndAndUtf8NamesAreCutWhole) {
    // A field past the end reads as zero and leaves the cursor short; what fits is read.
    const std::string bytes("\x01\x02\x03\x04\x05", 5);
    TZFRecordReader r(bytes);
    EXPECT_EQ(r.U32(), 0x04030201u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.U16(), 0u);
    EXPECT_FALSE(r.Ok());
    TZFRecordReader s(bytes);
    EXPECT_EQ(s.Bytes(9), bytes);
    EXPECT_FALSE(s.Ok());

    // A central record written and read back.
    TZFCentralHeader h;
    h.Signature = ZFStandardSignatures.Central;
    h.Crc32 = 0xCAFEBABE;
    h.NameLength = 7;
    h.ExternalAttr = 0x20;
    h.LocalHeaderOffset = 0xFFFFFFFF;
    TZFRecordWriter w;
    h.Store(w);
    ASSERT_EQ(w.Data().size(), (size_t)ZFCentralHeaderSize);
    TZFCentralHeader back;
    back.Load(reinterpret_cast<const uint8_t*>(w.Data().data()));
    EXPECT_EQ(back.Crc32, h.Crc32);
    EXPECT_EQ(back.NameLength, 7);
    EXPECT_EQ(back.ExternalAttr, 0x20u);
    EXPECT_EQ(back.LocalHeaderOffset, 0xFFFFFFFFu);

    // UTF-8 names hold at most 254 bytes of whole characters.
    struct {
        std::wstring Name;
        bool Utf8;
        size_t Bytes;
    } cases[] = {
        {L"plain.txt", false, 9},
        {std::wstring(300, L'\x00E4'), true, 254},   // two bytes each: 127 whole
        {std::wstring(100, L'\xD55C'), true, 252},   // three bytes each: 84 whole
        {std::wstring(84, L'\xD55C') + L"ab", true, 254},
    };
    for (const auto& c : cases) {
        bool utf8 = !c.Utf8;
        const std::string stored = ZFStoredName(c.Name, false, utf8);
        EXPECT_EQ(utf8, c.Utf8) << c.Bytes;
        EXPECT_EQ(stored.size(), c.Bytes);
        if (c.Utf8) {
            EXPECT_EQ(stored, WideToUtf8(c.Name).substr(0, c.Bytes));
        }
    }
}
