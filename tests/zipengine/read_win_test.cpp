// Reading and extraction: archives of other tools to disk and to streams, split and spanned sets,
// encrypted entries, the checks on every decoded entry (size, CRC-32, authentication code), names
// that would leave the destination, overwrite modes and progress.
#include <gtest/gtest.h>

#include "WinApi.h"
#include "ZFExcept.h"
#include "ZFRead.h"
#include "ZFStrFunc.h"
#include "zip_test_util.h"

using namespace ziptest;

namespace {

struct TReader : TZFArchiveReader {
    TReader() : TZFArchiveReader(nullptr) { Services = &Drive; }
    void OpenBytes(const std::string& bytes) {
        Archive.SetSize(0);
        Archive.WriteBuffer(bytes.data(), (int32_t)bytes.size());
        OpenDirectoryOnStream(&Archive, false);
    }
    void OpenFixture(const char* name) { OpenBytes(ReadFileBytes(DataFile(name))); }
    int32_t Count() const { return Directory()->Items.Count(); }
    int32_t Find(const std::wstring& name) const { return Directory()->Items.FindName(name); }
    // The entry's bytes, or "<failed>" when it was not decoded completely.
    std::string Extract(int32_t index) {
        TMemoryStream out;
        if (!ExtractEntryToStream(index, &out)) return "<failed>";
        std::string s((size_t)out.GetSize(), '\0');
        out.SetPosition(0);
        if (!s.empty()) out.ReadBuffer(&s[0], (int32_t)s.size());
        return s;
    }
    void ExtractAll(const std::wstring& dest) {
        for (int32_t i = 0; i < Count(); ++i) {
            const std::wstring name = Directory()->Items.ItemAt(i).EntryName;
            ExtractEntryToDisk(i, name, dest);
        }
    }
    TFakeDrive Drive;
    TMemoryStream Archive;
};

const std::string Hello = "hello from Info-ZIP\n";
std::string TextTxt() {
    std::string s;
    for (int i = 0; i < 400; ++i) s += "line of compressible text\n";
    return s;
}

// A one-entry archive with the entry spec given.
std::string OneEntry(const TEntrySpec& e) {
    return BuildZip({e}).Bytes;
}

}  // namespace

TEST(ZFRead, ExtractsArchivesOfOtherToolsToDisk) {
    TScratchDir dir(L"tree");
    TReader r;
    r.OpenFixture("infozip_tree.zip");
    r.ExtractAll(dir.Path());
    EXPECT_EQ(ReadFileBytes(dir / L"hello.txt"), Hello);
    EXPECT_EQ(ReadFileBytes(dir / L"empty.txt"), "");
    EXPECT_EQ(ReadFileBytes(dir / L"sub\\text.txt"), TextTxt());
    EXPECT_EQ(ReadFileBytes(dir / L"sub\\deeper\\leaf.txt"), "deep\n");
    // The entry's time; only the MS-DOS attribute byte (the Unix mode bits stay out).
    const TDirItem& hello = r.Directory()->Items.ItemAt(0);
    EXPECT_EQ((uint32_t)ZFFileAge(dir / L"hello.txt"), (uint32_t)hello.Header.DosDate << 16 | hello.Header.DosTime);
    EXPECT_EQ(GetFileAttributesW((dir / L"hello.txt").c_str()) & ~(DWORD)(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL),
              0u);

    TScratchDir py(L"py");
    TReader p;
    p.OpenFixture("pyzip_mixed.zip");
    p.ExtractAll(py.Path());
    EXPECT_EQ(ReadFileBytes(py / L"stored.txt"), "stored bytes\nstored bytes\nstored bytes\n");
    std::string words;
    for (int i = 0; i < 300; ++i) words += "deflated words ";
    EXPECT_EQ(ReadFileBytes(py / L"deflated.txt"), words);
    EXPECT_TRUE(ZFDirectoryExists(py / L"folder"));
    EXPECT_EQ(ReadFileBytes(py / L"folder\\zero.bin"), "");

    // Names in their code pages become the right Unicode file names.
    TScratchDir names(L"names");
    for (const char* f : {"cp932_noflag_infozip.zip", "utf8_noflag_infozip.zip", "utf8_flag_pyzip.zip"}) {
        TReader n;
        n.OpenFixture(f);
        n.ExtractAll(names.Path());
    }
    EXPECT_EQ(ReadFileBytes(names / L"日本語.txt"), "cp932 name\n");
    EXPECT_EQ(ReadFileBytes(names / L"写真.txt"), "utf-8 name\n");
    EXPECT_EQ(ReadFileBytes(names / L"写真\\ｶﾀｶﾅ―.txt"), "flagged utf-8\n");
}

TEST(ZFRead, Zip64AndPrefixedArchives) {
    TReader z;
    z.OpenFixture("zip64_infozip.zip");
    EXPECT_EQ(z.Extract(0), "zip64 forced on a tiny file\n");

    TReader stub;
    stub.OpenBytes(std::string(1000, 'S') + ReadFileBytes(DataFile("infozip_tree.zip")));
    EXPECT_EQ(stub.Extract(0), Hello);
    EXPECT_EQ(stub.Extract(3), TextTxt());
    TReader adjusted;
    adjusted.OpenFixture("sfx_adjusted_infozip.zip");
    EXPECT_EQ(adjusted.Extract(5), "deep\n");
}

TEST(ZFRead, SplitSetOfInfoZip) {
    TScratchDir dir(L"split");
    for (const wchar_t* v : {L"split.z01", L"split.z02", L"split.zip"})
        WriteFileBytes(dir / v, ReadFileBytes(DataFile(WideToUtf8(v).c_str())));
    TReader r;
    r.FileName = dir / L"split.zip";
    r.OpenNamedArchive();
    EXPECT_EQ(r.GetSpanningMode(), smSplitting);
    ASSERT_EQ(r.Count(), 1);
    TNullStream sink;
    EXPECT_TRUE(r.ExtractEntryToStream(0, &sink));   // its CRC-32 checked over all three volumes
    TMemoryStream out;
    r.ExtractEntryToStream(0, &out);
    EXPECT_EQ(out.GetSize(), 150000);

    // A missing middle volume: the request is cancelled (code 45).
    DeleteFileW((dir / L"split.z02").c_str());
    EXPECT_EQ(NativeErrorOf([&] { r.ExtractEntryToStream(0, &sink); }), ZFErrVolumeCancelled);
}

TEST(ZFRead, SpannedSetBuiltHereReadsBackDiskByDisk) {
    TScratchDir dir(L"spanned");
    const std::wstring arc = dir / L"arc.zip";
    TEntrySpec a, b, c;
    a.Name = "first.bin";
    a.Data = Bytes(50000, 7);
    b.Name = "second.txt";
    b.Data = TextTxt();
    b.Method = 8;
    c.Name = "third.bin";
    c.Data = Bytes(90000, 8);
    const std::vector<TEntrySpec> specs = {a, b, c};
    const TArchiveLayout layout = BuildZip(specs);

    // Write the local records across 65536-byte disks of one removable drive; every full disk is
    // taken out (moved to diskN) when the next blank one is asked for.
    {
        TReader w;
        w.Drive.Removable = true;
        w.FileName = arc;
        w.SetSpanningMode(smSpanning);
        w.OpenMode = ZFOpenCreate;
        w.SpanningOptions.VolumeSize = vsCustom;
        w.SpanningOptions.SetCustomVolumeSize(65536);
        int disk = 0;
        w.OnRequestBlankVolume = [&](TObject*, int32_t n, std::wstring&, bool&) {
            if (FileExists(arc)) MoveFileW(arc.c_str(), (dir / (L"disk" + std::to_wstring(++disk))).c_str());
        };
        TZFVolumeNumberInfo first;
        first.MakeFirst();
        w.RequestVolume(first);
        TZFDirManager dirm(w, w.ArchiveStream(), false, false);
        dirm.Items.SetCount(3);
        for (size_t i = 0; i < 3; ++i) {
            const size_t start = layout.LocalOffsets[i];
            const size_t end = i + 1 < 3 ? layout.LocalOffsets[i + 1] : layout.CentralOffset;
            const size_t headerLength = 30 + specs[i].Name.size();
            w.WriteAll(layout.Bytes.data() + start, (int64_t)headerLength, 0);
            TDirItem item;
            item.Header.Load(reinterpret_cast<const uint8_t*>(layout.Bytes.data()) + layout.CentralOffset +
                             [&] {
                                 size_t at = 0;
                                 for (size_t k = 0; k < i; ++k) at += 46 + specs[k].Name.size();
                                 return at;
                             }());
            item.EntryName = Utf8ToWide(specs[i].Name);
            item.Header.LocalHeaderOffset = (uint32_t)(w.ArchiveStream()->GetPosition() - (int64_t)headerLength);
            item.Header.DiskNumberStart = (uint16_t)w.CurrentVolume.VolumeNumber;
            item.RealMethod = item.Header.Method;
            w.WriteAll(layout.Bytes.data() + start + headerLength, (int64_t)(end - start - headerLength));
            dirm.Items.SetItem((int32_t)i, item);
        }
        dirm.WriteDirectory(w.ArchiveStream());
        w.FreeArchiveStream();
        ASSERT_EQ(disk, 2);
        CopyFileW(arc.c_str(), (dir / L"disk3").c_str(), FALSE);
    }
    EXPECT_EQ(ReadFileBytes(dir / L"disk1").size(), 65536u);

    TReader r;
    r.Drive.Removable = true;
    r.FileName = arc;
    // "Inserting" disk n copies diskN onto the drive's file.
    r.Drive.OnConfirm = [&](const std::wstring& text) {
        int n = 0;
        if (text == L"Please insert the first disk") n = 1;
        else if (text == L"Please insert the last disk") n = 3;
        else if (text.rfind(L"Please insert disk #", 0) == 0) n = std::stoi(text.substr(20));
        if (n) CopyFileW((dir / (L"disk" + std::to_wstring(n))).c_str(), arc.c_str(), FALSE);
    };
    r.Drive.Answers = std::deque<bool>(20, true);
    r.OpenNamedArchive();
    EXPECT_EQ(r.GetSpanningMode(), smSpanning);
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.Extract(0), a.Data);
    EXPECT_EQ(r.Extract(1), b.Data);
    EXPECT_EQ(r.Extract(2), c.Data);
    EXPECT_EQ(r.Drive.Prompts.front(), L"Please insert the first disk");
}

TEST(ZFRead, EncryptedEntriesOfOtherTools) {
    const std::string aes = "Rijndael in counter mode, keyed by PBKDF2 over HMAC-SHA1.\n";
    const std::string pk = "Traditional PKWARE encryption, twelve-byte header.\n";
    struct TCase {
        const char* File;
        const char* Password;
        std::string Expected;
    } cases[] = {
        {"zipcrypto_7zz.zip", "Crypto7", pk},
        {"zipcrypto_bsdtar.zip", "BsdCrypt", pk},
        {"zipcrypto_infozip.zip", "InfoZip", pk},
        {"aes128_7zz.zip", "Secret128", aes},
        {"aes192_7zz.zip", "Secret192", aes},
        {"aes256_7zz.zip", "Secret256", aes},
        {"ae1_bsdtar.zip", "AeOnePass", aes},
        {"ae2_bsdtar.zip", "AeTwoPass", "short AE-2\n"},
        {"aes256_ziptool.zip", "ZiptoolPw", "WinZip AES written by libzip's ziptool, 256-bit key."},
        {"pkware_ziptool.zip", "ZiptoolPk", "Traditional PKWARE written by libzip's ziptool."},
    };
    for (const TCase& c : cases) {
        TReader r;
        r.OpenFixture(c.File);
        r.Password = c.Password;
        EXPECT_EQ(r.Extract(0), c.Expected) << c.File;

        // No password and no handler: the entry is skipped without an error.
        TReader none;
        none.OpenFixture(c.File);
        EXPECT_EQ(none.Extract(0), "<failed>") << c.File;
        EXPECT_TRUE(none.SkipFile);

        // A wrong password: the handler is asked and gives the right one.
        TReader asked;
        asked.OpenFixture(c.File);
        asked.Password = "wrong";
        int calls = 0;
        asked.OnPassword = [&](TObject*, const std::wstring& name, std::string& pw, bool&) {
            ++calls;
            EXPECT_EQ(pw, "wrong");
            pw = c.Password;
        };
        EXPECT_EQ(asked.Extract(0), c.Expected) << c.File;
        EXPECT_EQ(calls, 1) << c.File;
    }

    // A changed byte of AES data fails the authentication code.
    std::string bytes = ReadFileBytes(DataFile("aes256_7zz.zip"));
    bytes[30 + 7 + 11 + 16 + 2 + 5] ^= 1;   // header, name, AES field, salt, verifier, then data
    TReader tampered;
    tampered.OpenBytes(bytes);
    tampered.Password = "Secret256";
    EXPECT_EQ(NativeErrorOf([&] { tampered.Extract(0); }), ZFErrEntryDecode);
}

TEST(ZFRead, EveryDecodedEntryIsChecked) {
    struct TCase {
        const char* What;
        uint16_t Method;
        bool ForceCrc;
        uint32_t Unpacked;   // declared size (0: the real one)
        bool Corrupt;        // flip a byte in the middle of the data
    } cases[] = {
        {"stored, wrong CRC", 0, true, 0, false},
        {"deflated, wrong CRC", 8, true, 0, false},
        {"stored, corrupt data", 0, false, 0, true},
        {"deflated, declared size too small", 8, false, 100, false},
        {"stored, declared size too small", 0, false, 100, false},
        {"deflated, declared size too large", 8, false, 50000, false},
    };
    for (const TCase& c : cases) {
        TEntrySpec e;
        e.Name = "data.bin";
        e.Data = TextTxt();
        e.Method = c.Method;
        e.ForceCrc = c.ForceCrc;
        e.Crc = 0x12345678;
        if (c.Unpacked) {
            e.ForceSizes = true;
            e.Packed = (uint32_t)(c.Method == 8 ? RawDeflate(e.Data).size() : e.Data.size());
            e.Unpacked = c.Unpacked;
        }
        std::string bytes = OneEntry(e);
        if (c.Corrupt) bytes[30 + 8 + 500] ^= 0x20;
        TReader r;
        r.OpenBytes(bytes);
        EXPECT_EQ(NativeErrorOf([&] { r.Extract(0); }), ZFErrEntryDecode) << c.What;
        // Test and extraction to disk fail the same way, and leave no file behind.
        EXPECT_EQ(NativeErrorOf([&] { r.TestEntry(0, L"data.bin"); }), ZFErrEntryDecode) << c.What;
        TScratchDir dir(L"checked");
        EXPECT_EQ(NativeErrorOf([&] { r.ExtractEntryToDisk(0, L"data.bin", dir.Path()); }), ZFErrEntryDecode) << c.What;
        EXPECT_FALSE(FileExists(dir / L"data.bin")) << c.What;

        // With ExtractCorruptedFiles the partial output stays, never beyond the declared size.
        r.ExtractCorruptedFiles = true;
        TMemoryStream out;
        EXPECT_FALSE(r.ExtractEntryToStream(0, &out)) << c.What;
        EXPECT_LE(out.GetSize(), (int64_t)(c.Unpacked ? c.Unpacked : e.Data.size())) << c.What;
        r.ExtractEntryToDisk(0, L"data.bin", dir.Path());
        EXPECT_TRUE(FileExists(dir / L"data.bin")) << c.What;
    }

    // A deflate bomb declared as 100 bytes yields 100 bytes at most.
    TEntrySpec bomb;
    bomb.Name = "bomb";
    bomb.Data = std::string(3000000, '\0');
    bomb.Method = 8;
    bomb.ForceSizes = true;
    bomb.Packed = (uint32_t)RawDeflate(bomb.Data).size();
    bomb.Unpacked = 100;
    TReader r;
    r.OpenBytes(OneEntry(bomb));
    r.ExtractCorruptedFiles = true;
    TMemoryStream out;
    EXPECT_FALSE(r.ExtractEntryToStream(0, &out));
    EXPECT_EQ(out.GetSize(), 100);

    // A compressed size that runs into the central directory is cut there and fails.
    TEntrySpec longer;
    longer.Name = "x.txt";
    longer.Data = "short";
    longer.ForceSizes = true;
    longer.Packed = 5000;
    longer.Unpacked = 5000;
    TReader cut;
    cut.OpenBytes(OneEntry(longer));
    EXPECT_EQ(NativeErrorOf([&] { cut.Extract(0); }), ZFErrEntryDecode);

    // A broken local header, other methods, and indexes outside the directory.
    TReader bad;
    bad.OpenFixture("damaged_bad_local.zip");
    EXPECT_EQ(bad.Count(), 6);
    EXPECT_EQ(NativeErrorOf([&] { bad.Extract(1); }), ZFErrEntryDecode);
    EXPECT_EQ(bad.Extract(3), TextTxt());
    EXPECT_EQ(NativeErrorOf([&] { bad.Extract(6); }), ZFErrExtractIndex);
    for (auto [method, code] : {std::pair<uint16_t, int32_t>{9, ZFErrDeflate64}, {12, ZFErrEntryDecode}, {14, ZFErrEntryDecode}}) {
        TEntrySpec e;
        e.Name = "m";
        e.Data = "whatever";
        e.Method = method;
        TReader m;
        m.OpenBytes(OneEntry(e));
        EXPECT_EQ(NativeErrorOf([&] { m.Extract(0); }), code) << method;
    }
}

TEST(ZFRead, NamesThatWouldLeaveTheDestinationAreRefused) {
    struct TCase {
        const char* Name;
        bool Safe;
    } cases[] = {
        {"plain.txt", true},       {"a/b/c.txt", true},     {"./a.txt", true},         {"a..b.txt", true},
        {"folder/", true},         {"../evil.txt", false},  {"a/../../evil.txt", false}, {"a\\..\\evil.txt", false},
        {"/abs.txt", false},       {"\\abs.txt", false},    {"C:evil.txt", false},     {"C:/evil.txt", false},
        {"//server/share/x", false}, {"a.txt:stream", false}, {"a/.../x", false},     {"a/. ./x", false},
        {"", false},
    };
    TScratchDir outer(L"unsafe");
    const std::wstring dest = outer / L"dest\\";
    CreateDirectoryW(dest.c_str(), nullptr);
    for (const TCase& c : cases) {
        EXPECT_EQ(ZFIsSafeEntryName(Utf8ToWide(c.Name)), c.Safe) << c.Name;
        if (c.Safe || !*c.Name) continue;
        TEntrySpec e;
        e.Name = c.Name;
        e.Data = "escaped";
        TReader r;
        r.OpenBytes(OneEntry(e));
        EXPECT_EQ(NativeErrorOf([&] { r.ExtractEntryToDisk(0, Utf8ToWide(c.Name), dest); }), ZFErrCreateTarget) << c.Name;
    }
    EXPECT_FALSE(FileExists(outer / L"evil.txt"));
    EXPECT_FALSE(FileExists(outer / L"abs.txt"));

    // A handler that renames the entry decides where it goes.
    TEntrySpec e;
    e.Name = "../evil.txt";
    e.Data = "moved";
    TReader r;
    r.OpenBytes(OneEntry(e));
    r.OnExtractFile = [](TObject*, std::wstring& name, uint32_t&, const std::string&) { name = L"renamed.txt"; };
    r.ExtractEntryToDisk(0, L"..\\evil.txt", dest);
    EXPECT_EQ(ReadFileBytes(dest + L"renamed.txt"), "moved");
}

TEST(ZFRead, OverwriteModesFoldersAndFlatExtraction) {
    TScratchDir dir(L"overwrite");
    TEntrySpec f, folder;
    f.Name = "sub/file.txt";
    f.Data = "from the archive";
    f.Date = 0x5A21;   // 2025-01-01
    folder.Name = "emptydir/";
    folder.ExternalAttr = 0x10;
    const std::string bytes = BuildZip({f, folder}).Bytes;
    const std::wstring target = dir / L"sub\\file.txt";

    struct TCase {
        TZFOverwriteMode Mode;
        const char* ExistingDate;   // touched via the file time; "old" or "new"
        bool Replaced;
    } cases[] = {
        {omAlways, "old", true}, {omNever, "old", false}, {omIfNewer, "old", true},
        {omIfNewer, "new", false}, {omIfOlder, "new", true}, {omIfOlder, "old", false},
    };
    for (const TCase& c : cases) {
        ZFForceDirectories(dir / L"sub");
        WriteFileBytes(target, "existing");
        {
            HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            FILETIME ft, local;
            DosDateTimeToFileTime(std::string(c.ExistingDate) == "old" ? 0x3A21 : 0x7A21, 0, &local);
            LocalFileTimeToFileTime(&local, &ft);
            SetFileTime(h, nullptr, nullptr, &ft);
            CloseHandle(h);
        }
        TReader r;
        r.OpenBytes(bytes);
        r.Options.OverwriteMode = c.Mode;
        r.ExtractAll(dir.Path());
        EXPECT_EQ(ReadFileBytes(target), c.Replaced ? f.Data : "existing") << c.Mode << c.ExistingDate;
        EXPECT_TRUE(ZFDirectoryExists(dir / L"emptydir")) << c.Mode;   // folders even with omNever
    }

    // omPrompt asks the handler (none: the file is kept); a read-only target stays when asked.
    TReader prompt;
    prompt.OpenBytes(bytes);
    prompt.Options.OverwriteMode = omPrompt;
    prompt.ExtractAll(dir.Path());
    EXPECT_EQ(ReadFileBytes(target), "existing");
    std::wstring asked;
    prompt.OnConfirmOverwrite = [&](TObject*, const std::wstring& source, std::wstring& dest, bool& ok) {
        asked = source + L" -> " + dest;
        ok = true;
    };
    prompt.ExtractAll(dir.Path());
    EXPECT_EQ(asked, L"sub/file.txt -> " + target);
    EXPECT_EQ(ReadFileBytes(target), f.Data);

    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(dir / L"probe", "");
    TReader readOnly;
    readOnly.OpenBytes(BuildZip({[&] { TEntrySpec g = f; g.Data = "newer data"; return g; }()}).Bytes);
    readOnly.Options.ReplaceReadOnly = false;
    readOnly.ExtractAll(dir.Path());
    EXPECT_EQ(ReadFileBytes(target), f.Data);
    readOnly.Options.ReplaceReadOnly = true;
    readOnly.ExtractAll(dir.Path());
    EXPECT_EQ(ReadFileBytes(target), "newer data");

    // The folder found for one entry is not looked up again for the next one of the same folder;
    // should it have gone in between, it is made again.
    TScratchDir gone(L"gone");
    TEntrySpec a = f, b = f;
    a.Name = "sub/a.txt";
    b.Name = "sub/b.txt";
    TReader again;
    again.OpenBytes(BuildZip({a, b}).Bytes);
    again.OnExtractFile = [&](TObject*, std::wstring& name, uint32_t&, const std::string&) {
        if (name != L"sub\\b.txt") return;
        DeleteFileW((gone / L"sub\\a.txt").c_str());
        RemoveDirectoryW((gone / L"sub").c_str());
    };
    again.ExtractAll(gone.Path());
    EXPECT_EQ(ReadFileBytes(gone / L"sub\\b.txt"), f.Data);

    // Without CreateDirs every entry lands flat in the destination.
    TScratchDir flat(L"flat");
    TReader r;
    r.OpenFixture("infozip_tree.zip");
    r.Options.CreateDirs = false;
    r.ExtractAll(flat.Path());
    EXPECT_EQ(ReadFileBytes(flat / L"leaf.txt"), "deep\n");
    EXPECT_FALSE(ZFDirectoryExists(flat / L"sub"));
}

TEST(ZFRead, SkippedAndCancelledEntriesLeaveNoFile) {
    TScratchDir dir(L"skip");
    TReader r;
    r.OpenFixture("zipcrypto_7zz.zip");
    r.ExtractEntryToDisk(0, L"pk.txt", dir.Path());   // no password, the prompt is cancelled
    EXPECT_FALSE(FileExists(dir / L"pk.txt"));

    // A Cancel from the progress events stops the entry without an error.
    TEntrySpec big;
    big.Name = "big.bin";
    big.Data = Bytes(3000000, 9);
    TReader c;
    c.OpenBytes(OneEntry(big));
    c.FilesTotal = 1;
    std::vector<double> seen;
    c.OnFileProgress = [&](TObject*, const std::wstring& name, double p, TZFProcessOperation op, TZFProgressPhase ph,
                           bool& cancel) {
        EXPECT_EQ(name, L"big.bin");
        EXPECT_EQ(ph, ppProcess);
        seen.push_back(p);
        cancel = seen.size() == 40;
    };
    c.ExtractEntryToDisk(0, L"big.bin", dir.Path());
    EXPECT_TRUE(c.CancelFlag);
    EXPECT_EQ(seen.size(), 40u);
    EXPECT_NEAR(seen[1], 65535.0 * 2 / 3000000 * 100, 1e-9);   // stored data in 65535-byte pieces
    EXPECT_FALSE(FileExists(dir / L"big.bin"));
}

TEST(ZFRead, OutputThatCannotBeWrittenIsADiskFull) {
    // A sink that takes nothing: without a handler and without spanning that is code 65.
    struct TFullStream : TMemoryStream {
        int32_t Write(const void*, int32_t) override { return 0; }
    } full;
    TReader r;
    r.OpenFixture("infozip_tree.zip");
    EXPECT_EQ(NativeErrorOf([&] { r.ExtractEntryToStream(0, &full); }), ZFErrDiskFull);
    int asked = 0;
    r.OnDiskFull = [&](TObject*, int32_t n, const std::wstring&, bool& cancel) {
        EXPECT_EQ(n, 0);
        cancel = ++asked == 3;
    };
    EXPECT_FALSE(r.ExtractEntryToStream(0, &full));
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(r.CancelFlag);
}

TEST(ZFRead, NamedArchivesOpenOrAreRefused) {
    TScratchDir dir(L"named");
    const std::string tree = ReadFileBytes(DataFile("infozip_tree.zip"));
    // A self-extracting file: stub and archive in one ".exe".
    WriteFileBytes(dir / L"setup.exe", "MZ" + std::string(2046, '\0') + tree);
    TReader sfx;
    sfx.FileName = dir / L"setup.exe";
    sfx.OpenNamedArchive();
    EXPECT_EQ(sfx.GetSpanningMode(), smNone);
    EXPECT_EQ(sfx.Directory()->PrefixSize, 2048);
    EXPECT_EQ(sfx.Extract(3), TextTxt());

    // No end record: the repair scan, unless RepairOnOpen is off (code 48).
    WriteFileBytes(dir / L"cut.zip", ReadFileBytes(DataFile("damaged_truncated_cd.zip")));
    TReader repaired;
    repaired.FileName = dir / L"cut.zip";
    repaired.OpenNamedArchive();
    EXPECT_EQ(repaired.Count(), 6);
    EXPECT_EQ(repaired.Extract(0), Hello);
    TReader strict;
    strict.FileName = dir / L"cut.zip";
    strict.RepairOnOpen = false;
    EXPECT_EQ(NativeErrorOf([&] { strict.OpenNamedArchive(); }), ZFErrNoEndRecord);
    EXPECT_TRUE(repaired.RepairOnOpen);   // restored after the open
    EXPECT_EQ(strict.Directory(), nullptr);

    // A stream without any ZIP data: code 35.
    TReader none;
    EXPECT_EQ(NativeErrorOf([&] { none.OpenBytes(std::string(300, 'z')); }), ZFErrNoLocalHeader);

    // A new archive in a caller's stream is its end record alone.
    TMemoryStream created;
    created.WriteBuffer("old", 3);
    TReader make;
    make.OpenDirectoryOnStream(&created, true);
    EXPECT_EQ(created.GetSize(), 22);
    EXPECT_EQ(make.Count(), 0);
}

TEST(ZFRead, DamagedBytesFailCleanly) {
    // Deterministic byte damage all over a real archive: every open and every entry either works
    // or fails with the engine's errors; nothing else escapes, nothing hangs, nothing huge is
    // allocated.
    const std::string tree = ReadFileBytes(DataFile("infozip_tree.zip"));
    uint32_t x = 2463534242u;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = tree;
        const int changes = 1 + (int)(next() % 4);
        for (int k = 0; k < changes; ++k) {
            const size_t at = next() % bytes.size();
            const uint32_t kind = next() % 3;
            if (kind == 0) bytes[at] = (char)next();
            else if (kind == 1) bytes[at] = (char)0xFF;
            else bytes.resize(std::max<size_t>(at, 1));
        }
        TReader r;
        try {
            r.OpenBytes(bytes);
        } catch (const EZFException&) {
            continue;
        }
        ++opened;
        for (int32_t i = 0; i < r.Count(); ++i) {
            TNullStream sink;
            try {
                r.ExtractEntryToStream(i, &sink);
            } catch (const EZFException& e) {
                EXPECT_TRUE(e.NativeError == ZFErrEntryDecode || e.NativeError == ZFErrDeflate64) << round << " " << e.NativeError;
            }
        }
    }
    EXPECT_GT(opened, 300);
}
