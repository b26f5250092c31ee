// Writing archives: every compression mode, PKWARE and AES entries, ZIP64 values, split sets,
// updates that rename, delete and add, moves, refreshes, and commits that fail or are cancelled
// and leave the archive as it was, byte for byte.
//
// The archives meant for other tools are written to <build>/zipwrite-out (emptied at the start of
// each run); check_written.sh then hands them to 7-Zip, Info-ZIP unzip, Python's zipfile, bsdtar
// and zipcmp. Every archive written here is also read back by the engine.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

#include "OneEntryZip.h"
#include "ZFExcept.h"
#include "ZFStrFunc.h"
#include "ZFWrite.h"
#include "ZipFlow.h"
#include "zip_test_util.h"

using namespace ziptest;

namespace {

constexpr uint32_t Marker32 = 0xFFFFFFFF;

std::wstring OutDir() {
    return WinePath(std::string(TEST_BUILD_DIR) + "/zipwrite-out") + L"\\";
}

// The output folder is emptied once per run of the program.
class TOutputFolder : public ::testing::Environment {
public:
    void SetUp() override {
        RemoveTree(OutDir());
        ZFForceDirectories(ZFExcludeTrailingBackslash(OutDir()));
    }
};
::testing::Environment* const OutputFolder = ::testing::AddGlobalTestEnvironment(new TOutputFolder);

TDateTime FixedTime() {
    return EncodeDate(2024, 5, 6) + EncodeTime(7, 8, 10, 0);
}

std::string Text(int lines, const std::string& word) {
    std::string s;
    for (int i = 0; i < lines; ++i) s += word + " line " + std::to_string(i % 17) + " of the same text\n";
    return s;
}

using TContents = std::map<std::wstring, std::string>;   // folders end in "/" and map to ""

struct TWriter : TZFArchiveWriter {
    explicit TWriter(const std::wstring& file = L"") : TZFArchiveWriter(nullptr) {
        Services = &Drive;
        FileName = file;
    }
    const TZFDirArray& Items() const { return Directory()->Items; }
    int32_t Find(const std::wstring& name) const { return Directory()->Items.FindName(name); }
    const TDirItem& Item(const std::wstring& name) const { return Items().ItemAt(Find(name)); }
    int32_t Add(const std::wstring& name, const std::string& data, int32_t attr = faArchive) {
        auto* m = new TMemoryStream;
        if (!data.empty()) m->WriteBuffer(data.data(), (int32_t)data.size());
        m->SetPosition(0);
        return AddStream(name, m, true, attr, FixedTime());
    }
    // Adds the contents (folders by their attribute) in the map's order.
    void AddAll(const TContents& contents) {
        for (const auto& [name, data] : contents) Add(name, data, name.back() == L'/' ? faDirectory : faArchive);
    }
    void OpenForUpdate() {
        OpenMode = fmOpenReadWrite | fmShareDenyWrite;
        OpenNamedArchive();
    }
    std::string Extract(int32_t index) {
        TMemoryStream out;
        if (!ExtractEntryToStream(index, &out)) return "<failed>";
        std::string s((size_t)out.GetSize(), '\0');
        out.SetPosition(0);
        if (!s.empty()) out.ReadBuffer(&s[0], (int32_t)s.size());
        return s;
    }
    TContents Contents() {
        CancelFlag = false;   // as every batch starts
        TContents c;
        for (int32_t i = 0; i < Items().Count(); ++i) {
            const TDirItem& item = Items().ItemAt(i);
            c[item.EntryName] = item.IsFolder() ? std::string() : Extract(i);
        }
        return c;
    }
    TFakeDrive Drive;
};

// Every entry of the archive file as the engine decodes it.
TContents ReadBack(const std::wstring& file, const std::string& password = "") {
    TWriter r(file);
    r.Password = password;
    r.OpenNamedArchive();
    return r.Contents();
}

// The contents of archive <name>.zip as files under <out>/<name>.expect, with the folder entries
// listed one a line in <out>/<name>.dirs (check_written.sh builds the archive zipcmp compares
// with from both).
void WriteExpected(const std::wstring& name, const TContents& contents) {
    const std::wstring root = OutDir() + name + L".expect\\";
    ZFForceDirectories(ZFExcludeTrailingBackslash(root));
    std::string dirs;
    for (const auto& [entry, data] : contents)
        if (entry.back() == L'/') dirs += WideToUtf8(entry) + "\n";
    WriteFileBytes(OutDir() + name + L".dirs", dirs);
    for (const auto& [entry, data] : contents) {
        std::wstring path = root + entry;
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        if (entry.back() == L'/') {
            ZFForceDirectories(ZFExcludeTrailingBackslash(path));
        } else {
            ZFForceDirectories(ZFExcludeTrailingBackslash(ZFExtractFilePath(path)));
            WriteFileBytes(path, data);
        }
    }
}

// A local header as it stands in the archive bytes.
struct TLocalRecord {
    uint32_t Signature = 0;
    uint16_t Version = 0, Flags = 0, Method = 0;
    uint32_t Crc = 0, Packed = 0, Unpacked = 0;
    std::string Name, Extra;
    size_t DataAt = 0;
};

TLocalRecord LocalAt(const std::string& bytes, int64_t at) {
    TLocalRecord r;
    const size_t p = (size_t)at;
    r.Signature = Get32(bytes, p);
    r.Version = Get16(bytes, p + 4);
    r.Flags = Get16(bytes, p + 6);
    r.Method = Get16(bytes, p + 8);
    r.Crc = Get32(bytes, p + 14);
    r.Packed = Get32(bytes, p + 18);
    r.Unpacked = Get32(bytes, p + 22);
    const uint16_t n = Get16(bytes, p + 26), m = Get16(bytes, p + 28);
    r.Name = bytes.substr(p + 30, n);
    r.Extra = bytes.substr(p + 30 + n, m);
    r.DataAt = p + 30 + n + m;
    return r;
}

// The data of one extra field in a block of extra fields, or "<none>".
std::string ExtraData(const std::string& extra, uint16_t id) {
    for (size_t at = 0; at + 4 <= extra.size(); at += 4 + Get16(extra, at + 2))
        if (Get16(extra, at) == id) return extra.substr(at + 4, Get16(extra, at + 2));
    return "<none>";
}

std::string CopyFixture(const char* fixture, const std::wstring& target) {
    const std::string bytes = ReadFileBytes(DataFile(fixture));
    WriteFileBytes(target, bytes);
    return bytes;
}

}  // namespace

// ---- New archives ---------------------------------------------------------------------------------------

TEST(ZFWrite, EveryCompressionModeWritesRawDeflateAtItsLevel) {
    const std::wstring file = OutDir() + L"modes.zip";
    TContents expected;
    {
        TWriter w(file);
        w.CreateArchiveFile();
        w.BeginUpdate();
        for (uint8_t mode = 0; mode <= 9; ++mode) {
            w.SetCompressionMode(mode);
            const std::wstring name = L"level" + std::to_wstring(mode) + L".txt";
            expected[name] = Text(200 + 10 * mode, "mode" + std::to_string(mode));
            w.Add(name, expected[name]);
        }
        w.SetCompressionMode(6);
        expected[L"empty.txt"] = "";
        expected[L"sub/"] = "";
        expected[L"sub/inner.txt"] = Text(50, "inner");
        w.Add(L"empty.txt", "");
        w.Add(L"sub/", "", faDirectory);
        w.Add(L"sub/inner.txt", expected[L"sub/inner.txt"]);
        ASSERT_TRUE(w.Commit());
        EXPECT_EQ(w.PendingChanges, 0);
        // Read back through the same open archive, too.
        EXPECT_EQ(w.Contents(), expected);
    }
    WriteExpected(L"modes", expected);
    EXPECT_EQ(ReadBack(file), expected);

    const std::string bytes = ReadFileBytes(file);
    TWriter r(file);
    r.OpenNamedArchive();
    for (uint8_t mode = 0; mode <= 9; ++mode) {
        SCOPED_TRACE(mode);
        const std::wstring name = L"level" + std::to_wstring(mode) + L".txt";
        const TDirItem& item = r.Item(name);
        const TLocalRecord local = LocalAt(bytes, item.LocalOffset());
        const std::string data = bytes.substr(local.DataAt, item.PackedSize());
        EXPECT_EQ(local.Signature, 0x04034b50u);
        EXPECT_EQ(local.Version, 20);
        EXPECT_EQ(local.Name, WideToUtf8(name));
        EXPECT_EQ(local.Crc, item.Header.Crc32);
        EXPECT_EQ(local.Packed, item.Header.PackedSize);
        EXPECT_EQ(local.Unpacked, (uint32_t)expected[name].size());
        EXPECT_EQ(item.Header.Crc32, Crc32(expected[name]));
        if (mode == 0) {
            EXPECT_EQ(item.Header.Method, 0);
            EXPECT_EQ(data, expected[name]);
            continue;
        }
        EXPECT_EQ(item.Header.Method, 8);
        // Raw deflate at the mode's level: no zlib header in front, no Adler-32 behind.
        EXPECT_EQ(data, RawDeflateAt(expected[name], mode));
        const uint32_t adler = (uint32_t)adler32(adler32(0, nullptr, 0), (const Bytef*)expected[name].data(),
                                                 (uInt)expected[name].size());
        EXPECT_NE(Get32(data, data.size() - 4), __builtin_bswap32(adler));
        EXPECT_NE((uint8_t)data[0], 0x78);
    }
    // An empty file is stored whatever the mode; a folder is stored with flags 2 and CRC 0.
    const TDirItem& empty = r.Item(L"empty.txt");
    EXPECT_EQ(empty.Header.Method, 0);
    EXPECT_EQ(empty.Header.PackedSize, 0u);
    EXPECT_EQ(empty.Header.Crc32, 0u);
    const TDirItem& folder = r.Item(L"sub/");
    EXPECT_EQ(folder.Header.Method, 0);
    EXPECT_EQ(folder.Header.Flags, 2);
    EXPECT_EQ(folder.Header.Crc32, 0u);
    EXPECT_EQ(folder.Header.ExternalAttr & faDirectory, (uint32_t)faDirectory);
    // The entries carry the time they were given.
    EXPECT_EQ((uint32_t)folder.Header.DosDate << 16 | folder.Header.DosTime, (uint32_t)DateTimeToFileDate(FixedTime()));
}

TEST(ZFWrite, EncryptedEntriesCarryTheirHeadersAndReadBackWithThePassword) {
    struct TCase {
        const wchar_t* File;
        TZFCryptoAlgorithm Method;
        uint32_t Overhead;     // bytes besides the data in the compressed size
        uint8_t Strength;
    };
    const TCase cases[] = {
        {L"pkware.zip", caPkzipClassic, 12, 0},
        {L"aes128.zip", caAES_128, 8 + 2 + 10, 1},
        {L"aes192.zip", caAES_192, 12 + 2 + 10, 2},
        {L"aes256.zip", caAES_256, 16 + 2 + 10, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.File));
        const std::wstring file = OutDir() + c.File;
        const TContents expected = {{L"deflated.txt", Text(120, "secret")},
                                    {L"empty.txt", ""},
                                    {L"folder/", ""},
                                    {L"folder/stored.txt", Text(3, "stored")}};
        {
            TWriter w(file);
            w.EncryptionMethod = c.Method;
            w.Password = "secret";
            w.CreateArchiveFile();
            w.BeginUpdate();
            w.SetCompressionMode(6);
            w.Add(L"deflated.txt", expected.at(L"deflated.txt"));
            w.Add(L"empty.txt", "");
            w.Add(L"folder/", "", faDirectory);
            w.SetCompressionMode(0);
            w.Add(L"folder/stored.txt", expected.at(L"folder/stored.txt"));
            ASSERT_TRUE(w.Commit());
        }
        EXPECT_EQ(ReadBack(file, "secret"), expected);

        const std::string bytes = ReadFileBytes(file);
        TWriter r(file);
        r.OpenNamedArchive();
        for (const auto& [name, data] : expected) {
            SCOPED_TRACE(WideToUtf8(name));
            const TDirItem& item = r.Item(name);
            const TLocalRecord local = LocalAt(bytes, item.LocalOffset());
            if (name.back() == L'/') {
                EXPECT_EQ(item.Header.Flags, 2);   // never encrypted
                continue;
            }
            EXPECT_EQ(item.Header.Flags & 1, 1);
            EXPECT_EQ(local.Flags & 9, 1);          // encrypted, no data descriptor
            EXPECT_EQ(item.Header.Crc32, Crc32(data));
            const uint16_t realMethod = name == L"deflated.txt" ? 8 : 0;
            if (c.Strength == 0) {
                EXPECT_EQ(item.Header.Method, realMethod);
                if (realMethod == 0) {
                    EXPECT_EQ(item.PackedSize(), (int64_t)(data.size() + c.Overhead));
                }
                continue;
            }
            EXPECT_EQ(item.Header.Method, 99);
            EXPECT_EQ(local.Method, 99);
            EXPECT_EQ(item.AesStrength, c.Strength);
            const std::string aes = ExtraData(local.Extra, 0x9901);
            ASSERT_EQ(aes.size(), 7u);
            EXPECT_EQ(Get16(aes, 0), 2);                // AE-2
            EXPECT_EQ(aes.substr(2, 2), "AE");
            EXPECT_EQ((uint8_t)aes[4], c.Strength);
            EXPECT_EQ(Get16(aes, 5), realMethod);
            ASSERT_NE(item.FindExtra(0x9901), nullptr);
            EXPECT_EQ(item.FindExtra(0x9901)->Data, aes);
            if (realMethod == 0) {
                EXPECT_EQ(item.PackedSize(), (int64_t)(data.size() + c.Overhead));
            }
        }
        // The wrong password decodes nothing. The classic header checks one byte, so one wrong
        // password in 256 passes it and fails on the data instead (a decode error).
        TWriter wrong(file);
        wrong.Password = "Secret";
        wrong.OpenNamedArchive();
        std::string decoded;
        try {
            decoded = wrong.Extract(wrong.Find(L"deflated.txt"));
        } catch (const EZFException& e) {
            EXPECT_EQ(c.Strength, 0);
            EXPECT_EQ(e.NativeError, ZFErrEntryDecode);
            decoded = "<failed>";
        }
        EXPECT_EQ(decoded, "<failed>");
    }
}

TEST(ZFWrite, ForcedZip64GivesEveryEntryZip64SizesAndOffsets) {
    const std::wstring file = OutDir() + L"zip64.zip";
    const TContents expected = {{L"a.txt", Text(80, "sixty-four")}, {L"b.bin", Bytes(3000, 64)}, {L"c/", ""}};
    {
        TWriter w(file);
        w.Zip64Mode = zmAlways;
        w.CreateArchiveFile();
        w.BeginUpdate();
        w.AddAll(expected);
        ASSERT_TRUE(w.Commit());
    }
    WriteExpected(L"zip64", expected);
    EXPECT_EQ(ReadBack(file), expected);

    const std::string bytes = ReadFileBytes(file);
    TWriter r(file);
    r.OpenNamedArchive();
    for (const auto& [name, data] : expected) {
        SCOPED_TRACE(WideToUtf8(name));
        const TDirItem& item = r.Item(name);
        EXPECT_TRUE(item.HasZip64);
        EXPECT_EQ(item.Header.VersionNeeded, 45);
        EXPECT_EQ(item.Header.UnpackedSize, Marker32);
        EXPECT_EQ(item.Header.PackedSize, Marker32);
        EXPECT_EQ(item.Header.LocalHeaderOffset, Marker32);
        EXPECT_EQ(item.UnpackedSize(), (int64_t)data.size());
        const TLocalRecord local = LocalAt(bytes, item.LocalOffset());
        EXPECT_EQ(local.Version, 45);
        EXPECT_EQ(local.Unpacked, Marker32);
        EXPECT_EQ(local.Packed, Marker32);
        const std::string z64 = ExtraData(local.Extra, 1);
        ASSERT_EQ(z64.size(), 16u);
        EXPECT_EQ(Get32(z64, 0), (uint32_t)data.size());
        EXPECT_EQ(Get32(z64, 8), (uint32_t)item.PackedSize());
    }
}

TEST(ZFWrite, SplitSetIsWrittenIntoNumberedVolumesAndReadBack) {
    // Three volumes for 7-Zip and the engine; two for Info-ZIP's zip, whose joining of a set
    // (before unzip can test it) mishandles entries that run through three volumes.
    struct TCase {
        const wchar_t* Base;
        int64_t VolumeSize;
        int32_t Volumes;
    };
    const TContents expected = {{L"random.bin", Bytes(150000, 108)}, {L"text.txt", Text(300, "split")}};
    for (const TCase& c : {TCase{L"split", 65536, 3}, TCase{L"split2", 100000, 2}}) {
        SCOPED_TRACE(WideToUtf8(c.Base));
        const std::wstring file = OutDir() + c.Base + L".zip";
        std::vector<double> copyProgress;
        {
            TWriter w(file);
            w.SetSpanningMode(smSplitting);
            w.SpanningOptions.VolumeSize = vsCustom;
            w.SpanningOptions.SetCustomVolumeSize(c.VolumeSize);
            w.OnCopyTempFileProgress = [&](TObject*, double p, TZFProgressPhase, bool&) { copyProgress.push_back(p); };
            w.CreateArchiveFile();
            w.BeginUpdate();
            w.SetCompressionMode(0);
            w.Add(L"random.bin", expected.at(L"random.bin"));
            w.SetCompressionMode(9);
            w.Add(L"text.txt", expected.at(L"text.txt"));
            ASSERT_TRUE(w.Commit());
            // A set is written by one transaction only.
            EXPECT_EQ(NativeErrorOf([&] { w.BeginUpdate(); }), ZFErrVolumeSetUpdate);
        }
        int64_t total = 0;
        for (int32_t k = 1; k <= c.Volumes; ++k) {
            const std::wstring v = k == c.Volumes ? file : OutDir() + c.Base + L".Z0" + std::to_wstring(k);
            SCOPED_TRACE(WideToUtf8(v));
            const std::string b = ReadFileBytes(v);
            EXPECT_GT(b.size(), 0u);
            EXPECT_LE((int64_t)b.size(), c.VolumeSize);
            total += (int64_t)b.size();
        }
        EXPECT_FALSE(FileExists(OutDir() + c.Base + L".Z0" + std::to_wstring(c.Volumes)));
        EXPECT_GT(total, 150000);
        EXPECT_FALSE(copyProgress.empty());
        EXPECT_EQ(ReadBack(file), expected);

        // The end record sits in the last volume and names its disk; the entries' disks follow.
        TWriter r(file);
        r.OpenNamedArchive();
        EXPECT_EQ(r.GetSpanningMode(), smSplitting);
        EXPECT_EQ(r.Directory()->ThisDisk, (uint32_t)c.Volumes - 1);
        EXPECT_EQ(r.Item(L"random.bin").Header.DiskNumberStart, 0);
        EXPECT_EQ(r.Item(L"text.txt").Header.DiskNumberStart, c.Volumes - 1);
    }
}

TEST(ZFWrite, NamesOutsideTheAnsiCodePageAreStoredAsUtf8WithTheirFlag) {
    const std::wstring file = OutDir() + L"names.zip";
    const std::wstring japanese = L"日本語/写真.txt";
    const std::wstring latin = L"blätter.txt";
    const TContents expected = {{japanese, "cp932 name\n"}, {latin, "utf-8 name\n"}};
    {
        TWriter w(file);
        w.UnicodeFilenames = true;
        w.CreateArchiveFile();
        w.BeginUpdate();
        w.AddAll(expected);
        ASSERT_TRUE(w.Commit());
    }
    EXPECT_EQ(ReadBack(file), expected);
    const std::string bytes = ReadFileBytes(file);
    TWriter r(file);
    r.OpenNamedArchive();
    // Japanese survives code page 932 and is stored in it (OEM 932 too), without flag bit 11.
    const TLocalRecord jp = LocalAt(bytes, r.Item(japanese).LocalOffset());
    EXPECT_EQ(jp.Name, ZFWideToCodePage(japanese, zcpOem));
    EXPECT_EQ(jp.Flags & 0x800, 0);
    EXPECT_EQ(r.Item(japanese).Header.Flags & 0x800, 0);
    const TLocalRecord lt = LocalAt(bytes, r.Item(latin).LocalOffset());
    EXPECT_EQ(lt.Name, WideToUtf8(latin));
    EXPECT_EQ(lt.Flags & 0x800, 0x800);
    EXPECT_EQ(r.Item(latin).Header.Flags & 0x800, 0x800);
    // The UTF-16 name field: signature "NUCX", the count, the name.
    const std::string field = ExtraData(lt.Extra, 0x554E);
    ASSERT_EQ(field.size(), 8 + 2 * latin.size());
    EXPECT_EQ(field.substr(0, 4), "NUCX");
    EXPECT_EQ(Get32(field, 4), (uint32_t)latin.size());
    EXPECT_EQ(Get16(field, 8 + 2 * 2), (uint32_t)L'ä');
}

TEST(ZFWrite, StubGoesInFrontAndAnEmptyArchiveIsTheEndRecordAlone) {
    const std::wstring stubFile = OutDir() + L"stub.bin";
    const std::string stub = "MZ" + std::string(998, '\0');
    WriteFileBytes(stubFile, stub);
    const std::wstring file = OutDir() + L"sfx.zip";
    const TContents expected = {{L"inside.txt", Text(40, "behind the stub")}};
    {
        TWriter w(file);
        w.SFXStub = stubFile;
        w.CreateArchiveFile();
        w.BeginUpdate();
        w.AddAll(expected);
        ASSERT_TRUE(w.Commit());
    }
    const std::string bytes = ReadFileBytes(file);
    EXPECT_EQ(bytes.substr(0, stub.size()), stub);
    EXPECT_EQ(Get32(bytes, stub.size()), 0x04034b50u);
    EXPECT_EQ(ReadBack(file), expected);
    TWriter r(file);
    r.OpenNamedArchive();
    EXPECT_EQ(r.Item(L"inside.txt").LocalOffset(), (int64_t)stub.size());
    ZFDeleteFile(stubFile);

    const std::wstring empty = OutDir() + L"empty.zip";
    {
        TWriter w(empty);
        w.CreateArchiveFile();
        w.BeginUpdate();
        ASSERT_TRUE(w.Commit());
    }
    const std::string end = ReadFileBytes(empty);
    ASSERT_EQ(end.size(), 22u);
    EXPECT_EQ(Get32(end, 0), 0x06054b50u);
}

// ---- Updates ------------------------------------------------------------------------------------------------

TEST(ZFWrite, RenameDeleteCommentAndAddRewriteAnArchiveOfAnotherTool) {
    const std::wstring file = OutDir() + L"updated.zip";
    CopyFixture("infozip_tree.zip", file);
    const TContents before = ReadBack(file);
    const std::wstring utf8Name = L"sub/deeper/blätter.txt";
    {
        TWriter w(file);
        w.OpenForUpdate();
        w.BeginUpdate();
        // The first entry changes, so the whole archive goes through the temporary copy.
        w.RenameEntry(w.Find(L"hello.txt"), L"renamed/hello.txt");
        w.RenameEntry(w.Find(L"sub/deeper/leaf.txt"), utf8Name);
        w.DeleteEntry(w.Find(L"empty.txt"));
        w.ChangeEntryComment(w.Find(L"sub/text.txt"), "a comment");
        w.Add(L"added.txt", "added by the engine\n");
        ASSERT_TRUE(w.Commit());
    }
    TContents expected = before;
    expected.erase(L"empty.txt");
    expected[L"renamed/hello.txt"] = expected[L"hello.txt"];
    expected.erase(L"hello.txt");
    expected[utf8Name] = expected[L"sub/deeper/leaf.txt"];
    expected.erase(L"sub/deeper/leaf.txt");
    expected[L"added.txt"] = "added by the engine\n";
    WriteExpected(L"updated", expected);
    EXPECT_EQ(ReadBack(file), expected);

    const std::string bytes = ReadFileBytes(file);
    TWriter r(file);
    r.OpenNamedArchive();
    ASSERT_EQ(r.Items().Count(), 6);
    EXPECT_EQ(r.Items().ItemAt(0).EntryName, L"renamed/hello.txt");
    const TLocalRecord hello = LocalAt(bytes, r.Item(L"renamed/hello.txt").LocalOffset());
    EXPECT_EQ(hello.Name, "renamed/hello.txt");
    EXPECT_EQ(hello.Crc, 0xf49113b7u);
    const TLocalRecord leaf = LocalAt(bytes, r.Item(utf8Name).LocalOffset());
    EXPECT_EQ(leaf.Name, WideToUtf8(utf8Name));
    EXPECT_EQ(leaf.Flags & 0x800, 0x800);
    EXPECT_EQ(r.Item(L"sub/text.txt").EntryComment, "a comment");
    EXPECT_EQ(r.Item(L"sub/text.txt").Header.Crc32, 0xc7793806u);
}

TEST(ZFWrite, AddingOneEntryAppendsItBehindTheUntouchedEntries) {
    const std::wstring file = OutDir() + L"appended.zip";
    const std::string original = CopyFixture("pyzip_mixed.zip", file);
    int64_t oldDirectory = 0;
    TContents expected;
    {
        TWriter w(file);
        w.OpenForUpdate();
        oldDirectory = w.Directory()->DirectoryStart;
        expected = w.Contents();
        w.BeginUpdate();
        w.Add(L"new.txt", "appended\n");
        ASSERT_TRUE(w.Commit());
        EXPECT_EQ(w.Item(L"new.txt").LocalOffset(), oldDirectory);
    }
    expected[L"new.txt"] = "appended\n";
    WriteExpected(L"appended", expected);
    const std::string bytes = ReadFileBytes(file);
    EXPECT_EQ(bytes.substr(0, (size_t)oldDirectory), original.substr(0, (size_t)oldDirectory));
    EXPECT_EQ(ReadBack(file), expected);
}

TEST(ZFWrite, RenamedEntryWithADataDescriptorKeepsItsDescriptor) {
    const std::wstring file = OutDir() + L"descriptor.zip";
    CopyFixture("zipcrypto_infozip.zip", file);
    {
        TWriter w(file);
        w.OpenForUpdate();
        w.BeginUpdate();
        w.RenameEntry(0, L"renamed_pk.txt");
        ASSERT_TRUE(w.Commit());
    }
    const TContents back = ReadBack(file, "InfoZip");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back.begin()->first, L"renamed_pk.txt");
    EXPECT_EQ(back.begin()->second, "Traditional PKWARE encryption, twelve-byte header.\n");
    const std::string bytes = ReadFileBytes(file);
    TWriter r(file);
    r.OpenNamedArchive();
    const TDirItem& item = r.Items().ItemAt(0);
    const TLocalRecord local = LocalAt(bytes, item.LocalOffset());
    EXPECT_EQ(local.Name, "renamed_pk.txt");
    EXPECT_EQ(local.Flags & 8, 8);
    // The descriptor follows the data and the directory follows the descriptor.
    const size_t after = local.DataAt + (size_t)item.PackedSize();
    const size_t descriptor = Get32(bytes, after) == 0x08074b50 ? 16 : 12;
    EXPECT_EQ(Get32(bytes, after + descriptor), 0x02014b50u);
}

TEST(ZFWrite, MovedFilesAndFoldersAreRemovedAfterTheCommit) {
    TScratchDir dir(L"move");
    WriteFileBytes(dir / L"a.txt", "file a\n");
    ZFForceDirectories(dir / L"sub");
    WriteFileBytes(dir / L"sub\\b.txt", Text(30, "file b"));
    const std::wstring file = dir / L"moved.zip";
    std::vector<std::wstring> originals;
    {
        TWriter w(file);
        w.WorkDir = dir.Path();
        w.OnStoreFile = [&](TObject*, std::wstring& name, int32_t&, std::string& comment, const std::wstring& original) {
            originals.push_back(original);
            if (name == L"a.txt") {
                name = L"renamed\\a.txt";
                comment = "stored as renamed";
            }
        };
        w.CreateArchiveFile();
        w.BeginUpdate();
        EXPECT_EQ(w.AddFile(L"a.txt", true), 0);
        w.AddFile(L"sub", true);
        w.AddFile(L"sub\\b.txt", true);
        ASSERT_TRUE(w.Commit());
        EXPECT_EQ(w.Item(L"renamed/a.txt").EntryComment, "stored as renamed");
    }
    EXPECT_EQ(originals, (std::vector<std::wstring>{L"a.txt", L"sub", L"sub\\b.txt"}));
    EXPECT_FALSE(FileExists(dir / L"a.txt"));
    EXPECT_FALSE(FileExists(dir / L"sub\\b.txt"));
    EXPECT_FALSE(ZFDirectoryExists(dir / L"sub"));
    const TContents expected = {{L"renamed/a.txt", "file a\n"}, {L"sub/", ""}, {L"sub/b.txt", Text(30, "file b")}};
    EXPECT_EQ(ReadBack(file), expected);
}

TEST(ZFWrite, RefreshFromAFolderFollowsTheOverwriteMode) {
    TScratchDir dir(L"refresh");
    const std::wstring file = dir / L"refresh.zip";
    CopyFixture("infozip_tree.zip", file);
    WriteFileBytes(dir / L"hello.txt", "refreshed from disk\n");   // today: newer than the entry
    struct TCase {
        TZFOverwriteMode Mode;
        bool Refreshed;
    };
    for (const TCase& c : {TCase{omNever, false}, TCase{omIfOlder, false}, TCase{omIfNewer, true}, TCase{omAlways, true}}) {
        SCOPED_TRACE((int)c.Mode);
        CopyFixture("infozip_tree.zip", file);
        {
            TWriter w(file);
            w.Options.OverwriteMode = c.Mode;
            w.OpenForUpdate();
            w.BeginUpdate();
            w.RefreshEntryFromFolder(w.Find(L"hello.txt"), dir.Path());
            w.RefreshEntryFromFolder(w.Find(L"sub/"), dir.Path());   // folders are passed over
            EXPECT_EQ(w.Item(L"hello.txt").IsModified, c.Refreshed);
            ASSERT_TRUE(w.Commit());
        }
        const TContents back = ReadBack(file);
        EXPECT_EQ(back.at(L"hello.txt"), c.Refreshed ? "refreshed from disk\n" : "hello from Info-ZIP\n");
        EXPECT_EQ(back.at(L"sub/text.txt").size(), 10400u);
    }
}

// ---- Failures -----------------------------------------------------------------------------------------------

namespace {

// A source whose reads fail after the first block.
class TFailingSource : public TMemoryStream {
public:
    explicit TFailingSource(const std::string& data) { WriteBuffer(data.data(), (int32_t)data.size()); SetPosition(0); }
    int32_t Read(void* Buffer, int32_t Count) override {
        if (GetPosition() > 0) throw EReadError(L"the medium went away");
        return TMemoryStream::Read(Buffer, Count);
    }
};

// A source that claims 5 GiB.
class THugeSource : public TStream {
public:
    int32_t Read(void* Buffer, int32_t Count) override {
        memset(Buffer, 'x', (size_t)Count);
        return Count;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return Origin == soEnd ? 5LL << 30 : 0; }
};

// An archive in memory whose writes come up short once it would grow past a limit.
class TFullStream : public TMemoryStream {
public:
    int32_t Write(const void* Buffer, int32_t Count) override {
        if (Limit >= 0 && GetPosition() + Count > Limit) return 0;
        return TMemoryStream::Write(Buffer, Count);
    }
    int64_t Limit = -1;
};

}  // namespace

TEST(ZFWrite, FailedCancelledOrAbortedCommitLeavesTheArchiveByteForByte) {
    struct TCase {
        const char* Name;
        std::function<void(TWriter&)> Queue;       // the failing part of the update
        std::function<void(TWriter&)> Arm;          // handlers
        int32_t FailureCode;                        // reported through OnProcessFileFailure, or 0
        bool Throws;                                // an exception leaves the commit
    };
    const std::string big = Text(40000, "cancelled in the middle");   // three input blocks at mode 1
    const TCase cases[] = {
        {"missing source file", [](TWriter& w) { w.AddFile(OutDir() + L"no such file.txt"); }, nullptr, ZFErrOpenSource, false},
        {"cancel during the data",
         [&](TWriter& w) { w.Add(L"big.txt", big); },
         [](TWriter& w) {
             w.OnFileProgress = [](TObject* s, const std::wstring&, double, TZFProcessOperation, TZFProgressPhase ph,
                                   bool& cancel) { cancel = ph == ppProcess && static_cast<TWriter*>(s)->FileBytesDone > 0; };
         },
         0, false},
        {"source that fails to read",
         [](TWriter& w) { w.AddStream(L"failing.txt", new TFailingSource(Bytes(2000000, 3)), true, faArchive, FixedTime()); },
         nullptr, 0, true},
        {"ZIP64 needed but disabled",
         [](TWriter& w) {
             w.Zip64Mode = zmDisabled;
             w.AddStream(L"huge.bin", new THugeSource, true, faArchive, FixedTime());
         },
         nullptr, ZFErrZip64Disabled, false},
        {"cancel before anything is written", [](TWriter& w) { w.Add(L"never.txt", "x"); },
         [](TWriter& w) {
             w.OnOverallProgress = [](TObject*, double, TZFProcessOperation, TZFProgressPhase ph, bool& cancel) {
                 cancel = ph == ppStart;
             };
         },
         0, false},
    };
    const std::wstring file = OutDir() + L"restored.zip";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string original = CopyFixture("pyzip_mixed.zip", file);
        TWriter w(file);
        w.OpenForUpdate();
        const TContents contents = w.Contents();
        std::vector<int32_t> codes;
        w.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t code, int32_t,
                                     const std::wstring&, TZFAction& action) {
            codes.push_back(code);
            action = fxaAbort;
        };
        if (c.Arm) c.Arm(w);
        w.BeginUpdate();
        // The update changes the first entry, removes one and adds another before the failing part.
        w.RenameEntry(0, L"first renamed.txt");
        w.DeleteEntry(1);
        w.Add(L"good.txt", Text(20, "good"));
        c.Queue(w);
        if (c.Throws) EXPECT_THROW(w.Commit(), EReadError);
        else EXPECT_FALSE(w.Commit());
        EXPECT_EQ(codes, c.FailureCode ? std::vector<int32_t>{c.FailureCode} : std::vector<int32_t>{});
        w.OnFileProgress = nullptr;
        w.OnOverallProgress = nullptr;
        // The directory in memory is the archive's again, and the archive reads as before.
        EXPECT_EQ(w.PendingChanges, 0);
        EXPECT_EQ(w.Contents(), contents);
        w.CloseDirectory();
        EXPECT_EQ(ReadFileBytes(file), original);
    }
    // The last one stays for the other tools (check_written.sh compares it with the fixture).
}

TEST(ZFWrite, ShortWritesAskForRoomAndCancelGivesTheStreamBack) {
    struct TCase {
        const char* Name;
        bool Cancel;       // the handler's answer
        bool MakesRoom;    // the handler frees space
        int Asked;         // questions before the commit ends
        int32_t Failure;   // the code the failure event reports, or 0
    };
    const TCase cases[] = {
        {"cancelled", true, false, 1, 0},
        {"room made", false, true, 1, 0},
        // A handler that never makes room is asked three times; then the write has failed.
        {"no room ever", false, false, 3, ZFErrWriteShort},
    };
    const std::string original = ReadFileBytes(DataFile("pyzip_mixed.zip"));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TFullStream archive;
        archive.WriteBuffer(original.data(), (int32_t)original.size());
        TWriter w;
        w.OpenDirectoryOnStream(&archive, false);
        const TContents contents = w.Contents();
        int asked = 0;
        std::vector<int32_t> failures;
        w.OnDiskFull = [&](TObject*, int32_t volume, const std::wstring&, bool& cancel) {
            EXPECT_EQ(volume, 0);
            ++asked;
            cancel = c.Cancel;
            if (c.MakesRoom) archive.Limit = -1;
        };
        w.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t code, int32_t,
                                     const std::wstring&, TZFAction& action) {
            failures.push_back(code);
            action = fxaAbort;
        };
        w.BeginUpdate();
        w.RenameEntry(0, L"renamed.txt");
        w.SetCompressionMode(0);
        w.Add(L"room.bin", Bytes(5000, 5));
        archive.Limit = (int64_t)original.size() + 1000;
        EXPECT_EQ(w.Commit(), c.MakesRoom);
        EXPECT_EQ(asked, c.Asked);
        EXPECT_EQ(failures, c.Failure ? std::vector<int32_t>{c.Failure} : std::vector<int32_t>{});
        archive.Limit = -1;
        std::string bytes((size_t)archive.GetSize(), '\0');
        archive.SetPosition(0);
        archive.ReadBuffer(&bytes[0], (int32_t)bytes.size());
        if (c.MakesRoom) {
            EXPECT_EQ(w.Extract(w.Find(L"room.bin")), Bytes(5000, 5));
        } else {
            EXPECT_EQ(bytes, original);
            EXPECT_EQ(w.Contents(), contents);
        }
    }
}

TEST(ZFWrite, IgnoredFailureDropsTheNewEntryAndKeepsAnOldOneAsItWas) {
    const std::wstring file = OutDir() + L"ignored.zip";
    CopyFixture("infozip_tree.zip", file);
    const TContents before = ReadBack(file);
    std::vector<std::wstring> failed;
    {
        TWriter w(file);
        w.OpenForUpdate();
        w.OnProcessFileFailure = [&](TObject*, const std::wstring& name, TZFProcessOperation, int32_t, int32_t,
                                     const std::wstring&, TZFAction& action) {
            failed.push_back(name);
            action = fxaIgnore;
        };
        w.BeginUpdate();
        w.AddFile(OutDir() + L"missing.txt");
        // An old entry refreshed from a file that cannot be read keeps its old bytes.
        TScratchDir dir(L"ignored");
        WriteFileBytes(dir / L"hello.txt", "new\n");
        w.WorkDir = dir.Path();
        w.RefreshEntry(w.Find(L"hello.txt"), dir / L"hello.txt");
        ZFDeleteFile(dir / L"hello.txt");
        w.Add(L"kept.txt", "kept\n");
        ASSERT_TRUE(w.Commit());
    }
    ASSERT_EQ(failed.size(), 2u);
    EXPECT_EQ(failed[0], L"hello.txt");
    EXPECT_EQ(failed[1], OutDir() + L"missing.txt");
    TContents expected = before;
    expected[L"kept.txt"] = "kept\n";
    EXPECT_EQ(ReadBack(file), expected);
}

TEST(ZFWrite, UpdateCallsOutsideAnUpdateOrWithBadIndexesRaiseTheirCodes) {
    TMemoryStream archive;
    TWriter w;
    EXPECT_EQ(NativeErrorOf([&] { w.BeginUpdate(); }), ZFErrArchiveNotOpen);
    w.OpenDirectoryOnStream(&archive, true);
    const struct {
        const char* What;
        std::function<void()> Call;
        int32_t Code;
    } cases[] = {
        {"mode 10", [&] { w.SetCompressionMode(10); }, ZFErrCompressionMode},
        {"delete outside an update", [&] { w.DeleteEntry(0); }, ZFErrDeleteNoUpdate},
        {"refresh outside an update", [&] { w.RefreshEntry(0, L"x"); }, ZFErrNoUpdate},
        {"add outside an update", [&] { w.Add(L"x", "x"); }, ZFErrNoUpdate},
    };
    for (const auto& c : cases) EXPECT_EQ(NativeErrorOf(c.Call), c.Code) << c.What;
    EXPECT_EQ(w.GetCompressionMode(), 1);
    w.BeginUpdate();
    w.Add(L"a.txt", "a");
    EXPECT_EQ(NativeErrorOf([&] { w.DeleteEntry(1); }), ZFErrDeleteIndex);
    EXPECT_EQ(NativeErrorOf([&] { w.RefreshEntry(-1, L"x"); }), ZFErrRefreshIndex);
    w.Add(L"b.txt", "b");
    EXPECT_EQ(NativeErrorOf([&] { w.RenameEntry(1, L"A.TXT"); }), ZFErrDuplicateName);
    ASSERT_TRUE(w.Commit());
    EXPECT_EQ(w.Contents(), (TContents{{L"a.txt", "a"}, {L"b.txt", "b"}}));
}

TEST(ZFWrite, SpannedSetAsksForBlankDisksLabelsThemAndReadsBack) {
    // Each "disk" is a folder of its own; the last one ends up under the set's name.
    TScratchDir dir(L"span");
    for (int k = 1; k <= 4; ++k) ZFForceDirectories(dir / (L"disk" + std::to_wstring(k)));
    auto disk = [&](int32_t number) { return dir / (L"disk" + std::to_wstring(number) + L"\\span.zip"); };
    const std::wstring file = dir / L"span.zip";
    const TContents expected = {{L"random.bin", Bytes(150000, 9)}, {L"note.txt", Text(20, "spanned")}};
    std::vector<int32_t> blanks;
    {
        TWriter w(file);
        w.Drive.Removable = true;
        w.SetSpanningMode(smSpanning);
        w.SpanningOptions.VolumeSize = vsCustom;
        w.SpanningOptions.SetCustomVolumeSize(65536);
        w.OnRequestBlankVolume = [&](TObject*, int32_t number, std::wstring& name, bool&) {
            blanks.push_back(number);
            name = disk(number);
        };
        w.CreateArchiveFile();
        w.BeginUpdate();
        w.SetCompressionMode(0);
        w.AddAll(expected);
        ASSERT_TRUE(w.Commit());
        EXPECT_EQ(w.Drive.Labels, (std::vector<std::wstring>{L"pkback# 001", L"pkback# 002", L"pkback# 003"}));
    }
    EXPECT_EQ(blanks, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(ReadFileBytes(disk(1)).size(), 65536u);
    EXPECT_FALSE(FileExists(disk(3)));   // renamed to the set's name

    TWriter r(file);
    r.Drive.Removable = true;
    r.OnRequestFirstVolume = [&](TObject*, std::wstring& name, bool&) { name = disk(1); };
    r.OnRequestMiddleVolume = [&](TObject*, int32_t number, std::wstring& name, bool&) { name = disk(number); };
    r.OnRequestLastVolume = [&](TObject*, std::wstring& name, bool&) { name = file; };
    r.OpenNamedArchive();
    EXPECT_EQ(r.GetSpanningMode(), smSpanning);
    EXPECT_EQ(r.Contents(), expected);
}

TEST(ZFWrite, AlternateFormatWritesItsSignaturesAndOnlyEmptyEntries) {
    TMemoryStream archive;
    std::vector<int32_t> codes;
    {
        TWriter w;
        w.StandardSignatures = false;
        w.UpdateCompressionMethod();
        EXPECT_EQ(w.CompressionMethod, 0xFFFF);
        w.OpenDirectoryOnStream(&archive, true);
        w.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t code, int32_t,
                                     const std::wstring&, TZFAction& action) {
            codes.push_back(code);
            action = fxaIgnore;
        };
        w.BeginUpdate();
        w.Add(L"empty.txt", "");
        w.Add(L"dir/", "", faDirectory);
        w.Add(L"data.txt", "no data step in this format");
        ASSERT_TRUE(w.Commit());
    }
    EXPECT_EQ(codes, std::vector<int32_t>{ZFErrSourceShort});
    std::string bytes((size_t)archive.GetSize(), '\0');
    archive.SetPosition(0);
    archive.ReadBuffer(&bytes[0], (int32_t)bytes.size());
    EXPECT_EQ(Get32(bytes, 0), 0x05045C61u);
    EXPECT_EQ(Get16(bytes, 4), 0x4114);
    EXPECT_EQ(Get32(bytes, bytes.size() - 22), 0x06054141u);
    TWriter r;
    r.StandardSignatures = false;
    r.OpenDirectoryOnStream(&archive, false);
    ASSERT_EQ(r.Items().Count(), 2);
    EXPECT_EQ(r.Items().ItemAt(0).EntryName, L"empty.txt");
    EXPECT_EQ(r.Items().ItemAt(0).Header.Signature, 0x03025C61u);
    EXPECT_EQ(r.Items().ItemAt(1).EntryName, L"dir/");
}

TEST(ZFWrite, SourcesThatCannotBeReadOrRemovedGoThroughTheFailureEvent) {
    TScratchDir dir(L"sources");
    const std::wstring kept = dir / L"kept open.txt";
    WriteFileBytes(kept, "moved, but held open\n");
    const std::wstring longName = dir.Path() + std::wstring(270 - dir.Path().size(), L'n') + L".txt";
    std::vector<std::pair<int32_t, std::wstring>> failures;
    {
        TFileStream holder(kept, fmOpenRead | fmShareDenyNone);   // keeps the file from being deleted
        TWriter w(dir / L"sources.zip");
        w.WorkDir = dir.Path();
        w.OnProcessFileFailure = [&](TObject*, const std::wstring& name, TZFProcessOperation, int32_t code, int32_t,
                                     const std::wstring&, TZFAction& action) {
            failures.emplace_back(code, name);
            action = fxaIgnore;
        };
        w.CreateArchiveFile();
        w.BeginUpdate();
        w.AddFile(longName);
        w.AddFile(kept, true);
        ASSERT_TRUE(w.Commit());
        EXPECT_EQ(w.Items().Count(), 1);
    }
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0], std::make_pair(61, longName));
    EXPECT_EQ(failures[1], std::make_pair(27, kept));
    EXPECT_TRUE(FileExists(kept));
    EXPECT_EQ(ReadBack(dir / L"sources.zip"), (TContents{{L"kept open.txt", "moved, but held open\n"}}));
}

TEST(ZFWrite, TheComponentCommitsWhenItClosesAndRefusesBatchesMeanwhile) {
    TMemoryStream archive;
    {
        TZipFlow flow(nullptr);
        EXPECT_EQ(flow.Zip64Mode, zmDisabled);
        flow.SetCompressionLevel(clMax);
        EXPECT_EQ(flow.CompressionMethod, 8);
        flow.OpenArchiveStream(&archive, true);
        flow.BeginUpdate();
        auto* source = new TMemoryStream;
        const std::string text = Text(30, "component");
        source->WriteBuffer(text.data(), (int32_t)text.size());
        source->SetPosition(0);
        flow.AddStream(L"through the component.txt", source, true, faArchive, FixedTime());
        EXPECT_EQ(NativeErrorOf([&] { flow.TestFiles(L"*.*"); }), ZFErrUpdatePending);
        flow.CloseArchive();
    }
    TWriter r;
    r.OpenDirectoryOnStream(&archive, false);
    EXPECT_EQ(r.Contents(), (TContents{{L"through the component.txt", Text(30, "component")}}));
    EXPECT_EQ(r.Items().ItemAt(0).Header.Method, 8);
}

TEST(ZFWrite, EntriesAreKeyedWithThePasswordTheyWereQueuedWith) {
    for (const TZFCryptoAlgorithm method : {caPkzipClassic, caAES_256}) {
        SCOPED_TRACE((int)method);
        TMemoryStream archive;
        {
            TWriter w;
            w.EncryptionMethod = method;
            w.OpenDirectoryOnStream(&archive, true);
            w.BeginUpdate();
            w.Password = "queued";
            w.Add(L"a.txt", "keyed when queued\n");
            w.Password = "changed later";
            ASSERT_TRUE(w.Commit());
        }
        TWriter r;
        r.Password = "queued";
        r.OpenDirectoryOnStream(&archive, false);
        EXPECT_EQ(r.Extract(0), "keyed when queued\n");
    }
}

TEST(ZFWrite, TheTemporaryCopyLivesInTempDirOnlyDuringTheCommit) {
    TScratchDir temp(L"tempdir");
    const std::wstring file = temp / L"archive.zip";
    CopyFixture("infozip_tree.zip", file);
    auto temporaries = [&] {
        int n = 0;
        TZFSearchRec rec;
        if (ZFFindFirst(temp / L"FC*", faArchive, rec)) {
            do ++n;
            while (ZFFindNext(rec));
            ZFFindClose(rec);
        }
        return n;
    };
    int during = -1;
    {
        TWriter w(file);
        w.TempDir = temp.Path();
        w.OnFileProgress = [&](TObject*, const std::wstring&, double, TZFProcessOperation, TZFProgressPhase ph, bool&) {
            if (ph == ppStart) during = temporaries();
        };
        w.OpenForUpdate();
        w.BeginUpdate();
        w.Add(L"hello.txt", "replaces the first entry\n");
        ASSERT_TRUE(w.Commit());
    }
    EXPECT_EQ(during, 1);
    EXPECT_EQ(temporaries(), 0);
    EXPECT_EQ(ReadBack(file).at(L"hello.txt"), "replaces the first entry\n");
}
