// The archiver component: the installer's road (a memory stream extracted into a folder with
// progress), properties and defaults, opening and closing, the item search, batches with their
// events and failures, the validity test, and the built-in questions through their seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <thread>

#include "SyncObjs.h"
#include "WinApi.h"
#include "ZFExcept.h"
#include "ZFStrFunc.h"
#include "ZipFlow.h"
#include "zipflow_test_util.h"

using namespace ziptest;

namespace {

const std::string Hello = "hello from Info-ZIP\n";
std::string TextTxt() {
    std::string s;
    for (int i = 0; i < 400; ++i) s += "line of compressible text\n";
    return s;
}

struct TProgress {
    double Value;
    TZFProcessOperation Operation;
    TZFProgressPhase Phase;
};

TEntrySpec Entry(const char* Name, const std::string& Data, uint16_t Method = 8, uint32_t Attr = 0x20) {
    TEntrySpec e;
    e.Name = Name;
    e.Data = Data;
    e.Method = Method;
    e.ExternalAttr = Attr;
    return e;
}

// Three entries, the middle one with a wrong CRC-32.
std::string ArchiveWithBadMiddle() {
    TEntrySpec bad = Entry("b.txt", "bravo bravo bravo\n");
    bad.ForceCrc = true;
    bad.Crc = 0x12345678;
    return BuildZip({Entry("a.txt", "alpha\n"), bad, Entry("c.txt", "charlie\n")}).Bytes;
}

}  // namespace

// ---- The installer's road -------------------------------------------------------------------------------

TEST(ZipFlow, InstallerRoadExtractsAMemoryStreamWithProgress) {
    TScratchDir dir(L"road");
    const std::string bytes = ReadFileBytes(DataFile("infozip_tree.zip"));
    TMemoryStream payload;
    payload.WriteBuffer(bytes.data(), (int32_t)bytes.size());

    TComponent owner(nullptr);
    TZipFlow* flow = new TZipFlow(&owner);
    TScriptedDialogs asked;
    flow->Dialogs = &asked;
    flow->TempDir = dir.Path();
    flow->UnicodeFilenames = false;
    flow->Options.StorePath = spNoPath;
    std::vector<TProgress> overall;
    std::vector<std::pair<std::wstring, TProgress>> files;
    flow->OnOverallProgress = [&](TObject* sender, double p, TZFProcessOperation op, TZFProgressPhase ph, bool&) {
        EXPECT_EQ(sender, flow);
        if (ph == ppStart) files.clear();
        overall.push_back({p, op, ph});
        if (ph == ppProcess) {
            // Overall progress is the entry's share on top of the entries done.
            ASSERT_FALSE(files.empty());
            const int32_t done = (int32_t)std::count_if(files.begin(), files.end(),
                                                        [](const auto& f) { return f.second.Phase == ppEnd; });
            EXPECT_NEAR(p, (files.back().second.Value / 100 + done) / 6 * 100, 1e-9);
        }
    };
    flow->OnFileProgress = [&](TObject*, const std::wstring& name, double p, TZFProcessOperation op,
                               TZFProgressPhase ph, bool&) { files.push_back({name, {p, op, ph}}); };
    int opened = 0;
    flow->AfterOpen = [&](TObject*) { ++opened; };

    flow->SetPassword("");
    flow->OpenArchiveStream(&payload, false);
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(flow->IsValidArchive());
    flow->BaseDir = dir / L"target";
    ASSERT_TRUE(ZFForceDirectories(flow->BaseDir));
    flow->ExtractFiles(L"*.*", 0x28BF, L"");

    EXPECT_EQ(ReadFileBytes(dir / L"target\\hello.txt"), Hello);
    EXPECT_EQ(ReadFileBytes(dir / L"target\\empty.txt"), "");
    EXPECT_EQ(ReadFileBytes(dir / L"target\\sub\\text.txt"), TextTxt());
    EXPECT_EQ(ReadFileBytes(dir / L"target\\sub\\deeper\\leaf.txt"), "deep\n");
    EXPECT_EQ(flow->FilesDone, 6);

    ASSERT_GE(overall.size(), 3u);
    EXPECT_EQ(overall.front().Value, 0);
    EXPECT_EQ(overall.front().Phase, ppStart);
    EXPECT_EQ(overall.back().Value, 100);
    EXPECT_EQ(overall.back().Phase, ppEnd);
    for (size_t i = 1; i < overall.size(); ++i) {
        EXPECT_EQ(overall[i].Operation, poExtract);
        EXPECT_GE(overall[i].Value, overall[i - 1].Value);
    }
    // Every entry starts at 0 and ends at 100, folders included, with "\" in the names.
    std::vector<std::wstring> started;
    for (const auto& f : files)
        if (f.second.Phase == ppStart) started.push_back(f.first);
    EXPECT_EQ(started, (std::vector<std::wstring>{L"hello.txt", L"empty.txt", L"sub\\", L"sub\\text.txt",
                                                   L"sub\\deeper\\", L"sub\\deeper\\leaf.txt"}));

    // Extracting again replaces the files without a question; closing writes nothing.
    WriteFileBytes(dir / L"target\\hello.txt", "old");
    flow->ExtractFiles(L"*.*", 0x28BF, L"");
    EXPECT_EQ(ReadFileBytes(dir / L"target\\hello.txt"), Hello);
    flow->CloseArchive();
    EXPECT_FALSE(flow->IsOpen());
    std::string after((size_t)payload.GetSize(), '\0');
    payload.SetPosition(0);
    payload.ReadBuffer(&after[0], (int32_t)after.size());
    EXPECT_EQ(after, bytes);
    EXPECT_EQ(asked.Asked(), 0u);
}

TEST(ZipFlow, StreamThatHoldsNoArchiveStaysClosed) {
    TFlow flow;
    EXPECT_EQ(NativeErrorOf([&] { flow.OpenBytes("this is no zip archive at all"); }), ZFErrNoLocalHeader);
    EXPECT_FALSE(flow.IsOpen());
    try {
        flow.OpenBytes("");
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), L"Invalid archive file. - Native error: 00035");
    }
    flow.SetName(L"Zipper");
    try {
        flow.OpenBytes("PK no more");
        FAIL();
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), L"Zipper: Invalid archive file. - Native error: 00035");
    }
    EXPECT_EQ(NativeErrorOf([&] { flow.OpenArchiveStream(nullptr, false); }), ZFErrNilStream);
    EXPECT_EQ(NativeErrorOf([&] { flow.ExtractFiles(L"*.*"); }), ZFErrArchiveNotOpen);
    EXPECT_EQ(NativeErrorOf([&] { flow.TestFiles(L"*.*"); }), ZFErrArchiveNotOpen);
    flow.CloseArchive();   // a leftover directory goes without an error
}

// ---- Properties ------------------------------------------------------------------------------------------

TEST(ZipFlow, DefaultsAfterConstruction) {
    TZipFlow flow(nullptr);
    EXPECT_EQ(flow.CompressionMethod, 8);
    EXPECT_EQ(flow.GetCompressionLevel(), clFastest);
    EXPECT_EQ(flow.GetCompressionMode(), 1);
    EXPECT_EQ(flow.GetCurrentVersion(), L"5.05 ");
    EXPECT_EQ(flow.Zip64Mode, zmDisabled);
    EXPECT_TRUE(flow.StandardSignatures);
    EXPECT_TRUE(flow.RepairOnOpen);
    EXPECT_FALSE(flow.ExtractCorruptedFiles);
    EXPECT_FALSE(flow.UnicodeFilenames);
    EXPECT_EQ(flow.EncryptionMethod, caPkzipClassic);
    EXPECT_EQ(flow.GetPassword(), "");
    EXPECT_TRUE(flow.FileName.empty() && flow.BaseDir.empty() && flow.TempDir.empty() && flow.SFXStub.empty());
    EXPECT_EQ(flow.GetSpanningMode(), smNone);
    EXPECT_FALSE(flow.GetInMemory());
    EXPECT_FALSE(flow.IsOpen());
    EXPECT_EQ(flow.GetFileMasks().GetCount() + flow.GetExclusionMasks().GetCount() +
                  flow.GetNoCompressionMasks().GetCount(),
              0);
    const TZFOptions& o = flow.Options;
    EXPECT_TRUE(o.Recurse && o.CreateDirs && o.ReplaceReadOnly && o.SetAttributes && o.FlushBuffers && o.OEMFileNames);
    EXPECT_EQ(o.StorePath, spRelativePath);
    EXPECT_EQ(o.ShareMode, smShareDenyNone);
    EXPECT_EQ(o.OverwriteMode, omAlways);
    EXPECT_EQ(o.SearchAttr, 0x28BF);

    // The base archiver: the alternate signatures, no method of its own, ZIP64 when needed.
    TZFBaseArchiver base(nullptr);
    EXPECT_EQ(base.CompressionMethod, 0xFFFF);
    EXPECT_FALSE(base.StandardSignatures);
    EXPECT_EQ(base.Zip64Mode, zmAuto);
    EXPECT_EQ(base.GetCompressionMode(), 1);
}

TEST(ZipFlow, CompressionLevelAndModeFollowEachOther) {
    TZipFlow flow(nullptr);
    struct {
        TZFCompressionLevel Level;
        uint8_t Mode;
    } levels[] = {{clNone, 0}, {clFastest, 1}, {clNormal, 6}, {clMax, 9}};
    for (const auto& c : levels) {
        flow.SetCompressionLevel(c.Level);
        EXPECT_EQ(flow.GetCompressionMode(), c.Mode);
        EXPECT_EQ(flow.CompressionMethod, c.Mode ? 8 : 0);
    }
    const TZFCompressionLevel byMode[] = {clNone, clFastest, clFastest, clFastest, clNormal,
                                          clNormal, clNormal, clMax, clMax, clMax};
    for (uint8_t m = 0; m <= 9; ++m) {
        flow.SetCompressionMode(m);
        EXPECT_EQ(flow.GetCompressionLevel(), byMode[m]) << (int)m;
        EXPECT_EQ(flow.CompressionMethod, m ? 8 : 0);
    }
    flow.SetCompressionMode(4);
    EXPECT_EQ(NativeErrorOf([&] { flow.SetCompressionMode(10); }), ZFErrCompressionMode);
    EXPECT_EQ(flow.GetCompressionMode(), 4);
    EXPECT_EQ(flow.GetCompressionLevel(), clNormal);
}

TEST(ZipFlow, VersionTextIgnoresTheLocaleAndWrites) {
    TZipFlow flow(nullptr);
    const std::string old = setlocale(LC_ALL, nullptr);
    const bool comma = setlocale(LC_ALL, "German_Germany.1252") != nullptr;
    EXPECT_EQ(flow.GetCurrentVersion(), L"5.05 ");
    setlocale(LC_ALL, old.c_str());
    if (!comma) std::printf("(no comma locale here; checked in the default one)\n");
    flow.SetCurrentVersion(L"9.99");
    EXPECT_EQ(flow.GetCurrentVersion(), L"5.05 ");
}

TEST(ZipFlow, SpanningModeIsFixedWhileOpenAndMaskListsAreCopied) {
    TFlow flow;
    flow.SetSpanningMode(smSplitting);
    EXPECT_EQ(flow.GetSpanningMode(), smSplitting);
    // A caller's stream takes no volume set; the stream is not touched.
    flow.Archive.WriteBuffer("xyz", 3);
    EXPECT_EQ(NativeErrorOf([&] { flow.OpenArchiveStream(&flow.Archive, true); }), ZFErrStreamVolumes);
    EXPECT_EQ(flow.Archive.GetSize(), 3);
    flow.SetSpanningMode(smNone);
    flow.OpenFixture("infozip_tree.zip");
    try {
        flow.SetSpanningMode(smSpanning);
        FAIL();
    } catch (const EZFException&) {
        FAIL() << "a plain error is expected";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"Cannot set spanning mode on open archive");
    }
    EXPECT_EQ(flow.GetSpanningMode(), smNone);

    TStringList masks;
    masks.Add(L"*.txt");
    masks.Add(L"*.dat");
    flow.SetFileMasks(&masks);
    flow.SetExclusionMasks(&masks);
    flow.SetNoCompressionMasks(&masks);
    masks.Clear();
    EXPECT_EQ(flow.GetFileMasks().GetText(), L"*.txt\r\n*.dat\r\n");
    EXPECT_EQ(flow.GetExclusionMasks().GetCount(), 2);
    EXPECT_EQ(flow.GetNoCompressionMasks().GetCount(), 2);

    TZFOptions options;
    options.Recurse = false;
    options.OverwriteMode = omNever;
    flow.SetOptions(&options);
    EXPECT_FALSE(flow.Options.Recurse);
    EXPECT_EQ(flow.Options.OverwriteMode, omNever);
}

// ---- Opening and closing ---------------------------------------------------------------------------------

TEST(ZipFlow, OpenErrorsTellWhatIsWrong) {
    TScratchDir dir(L"openerr");
    TFlow flow;
    struct TCase {
        const wchar_t* FileName;
        bool InMemory;
        int32_t Mode;   // -2: OpenArchive
        int32_t Code;
    } cases[] = {
        {L"", false, -2, ZFErrBlankFileName},
        {L"C:\\folder\\", false, -2, ZFErrBlankFileName},
        {L"", false, fmOpenRead, ZFErrBlankFileNameMode},
        {L"missing.zip", false, fmOpenRead | fmShareDenyNone, ZFErrFileNotFound},
        {L"tree.zip", true, fmOpenRead | fmShareDenyNone, ZFErrInMemoryExisting},
    };
    WriteFileBytes(dir / L"tree.zip", ReadFileBytes(DataFile("infozip_tree.zip")));
    for (const TCase& c : cases) {
        flow.FileName = *c.FileName && c.FileName[1] != L':' ? dir / c.FileName : c.FileName;
        flow.SetInMemory(c.InMemory);
        EXPECT_EQ(NativeErrorOf([&] { c.Mode != -2 ? flow.OpenArchiveMode(c.Mode) : flow.OpenArchive(); }), c.Code)
            << c.FileName;
        EXPECT_FALSE(flow.IsOpen());
    }
    flow.SetInMemory(false);
    flow.FileName = dir / L"missing.zip";
    try {
        flow.OpenArchiveMode(fmOpenRead | fmShareDenyNone);
    } catch (const EZFException& e) {
        EXPECT_EQ(e.Message(), L"File \"" + flow.FileName + L"\" not found - Native error: 00012");
    }
    // A missing file on a removable drive is a spanned set whose last disk is asked for.
    flow.Drive.Removable = true;
    EXPECT_EQ(NativeErrorOf([&] { flow.OpenArchiveMode(fmOpenRead | fmShareDenyNone); }), ZFErrVolumeCancelled);
    EXPECT_EQ(flow.Drive.Prompts, std::vector<std::wstring>{L"Please insert the last disk"});
}

TEST(ZipFlow, NamedArchivesOpenReadWriteOrReadOnlyAndNewOnesGetTheirEndRecord) {
    TScratchDir dir(L"named");
    TFlow flow;
    flow.FileName = dir / L"tree.zip";
    WriteFileBytes(flow.FileName, ReadFileBytes(DataFile("infozip_tree.zip")));
    int opened = 0;
    flow.AfterOpen = [&](TObject*) { ++opened; };
    flow.OpenArchive();
    EXPECT_TRUE(flow.IsOpen());
    EXPECT_EQ(flow.OpenMode, fmOpenReadWrite | fmShareDenyWrite);
    EXPECT_EQ(flow.Directory()->Items.Count(), 6);
    flow.CloseArchive();
    {
        // Someone else writes the file: it opens read-only.
        TFileStream other(flow.FileName, fmOpenReadWrite | fmShareDenyNone);
        flow.OpenArchive();
        EXPECT_EQ(flow.OpenMode, fmOpenRead | fmShareDenyNone);
        flow.CloseArchive();
    }
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(ReadFileBytes(flow.FileName), ReadFileBytes(DataFile("infozip_tree.zip")));

    // A file that does not exist is created; closed with nothing added it is an empty archive.
    flow.FileName = dir / L"new.zip";
    flow.OpenArchive();
    EXPECT_EQ(flow.OpenMode, ZFOpenCreate);
    flow.CloseArchive();
    const std::string empty = ReadFileBytes(flow.FileName);
    ASSERT_EQ(empty.size(), 22u);
    EXPECT_EQ(Get32(empty, 0), 0x06054b50u);
    flow.OpenArchive();
    EXPECT_EQ(flow.Directory()->Items.Count(), 0);
    flow.CloseArchive();
    EXPECT_EQ(ReadFileBytes(flow.FileName), empty);

    // A stream archive created at once holds exactly the end record.
    TMemoryStream stream;
    stream.WriteBuffer("old bytes", 9);
    flow.OpenArchiveStream(&stream, true);
    EXPECT_EQ(stream.GetSize(), 22);
    flow.CloseArchive();
    EXPECT_EQ(stream.GetSize(), 22);
}

TEST(ZipFlow, InMemoryArchivesAndTheirWayToAFile) {
    TScratchDir dir(L"inmem");
    TFlow flow;
    flow.SetInMemory(true);   // closed: only the flag
    EXPECT_TRUE(flow.GetInMemory());
    flow.OpenArchive();
    EXPECT_TRUE(flow.IsOpen());
    EXPECT_EQ(flow.OpenMode, ZFOpenCreate);
    EXPECT_EQ(flow.Directory()->Items.Count(), 0);
    EXPECT_EQ(NativeErrorOf([&] { flow.SetInMemory(false); }), ZFErrInMemoryBlankName);

    // Switched off: the archive goes into FileName, which is then the open archive.
    flow.FileName = dir / L"from_memory.zip";
    flow.SetInMemory(false);
    EXPECT_FALSE(flow.GetInMemory());
    EXPECT_TRUE(flow.IsOpen());
    EXPECT_EQ(flow.OpenMode, fmOpenReadWrite | fmShareDenyWrite);
    flow.CloseArchive();
    EXPECT_EQ(ReadFileBytes(dir / L"from_memory.zip").size(), 22u);

    // Switched on over an open file: a new, empty archive in memory; the file stays as it was.
    WriteFileBytes(flow.FileName, ReadFileBytes(DataFile("infozip_tree.zip")));
    flow.OpenArchive();
    EXPECT_EQ(flow.Directory()->Items.Count(), 6);
    flow.SetInMemory(true);
    EXPECT_TRUE(flow.IsOpen());
    EXPECT_EQ(flow.Directory()->Items.Count(), 0);
    flow.CloseArchive();
    EXPECT_EQ(ReadFileBytes(flow.FileName), ReadFileBytes(DataFile("infozip_tree.zip")));
}

// ---- Searching -------------------------------------------------------------------------------------------

TEST(ZipFlow, ItemSearchByMaskFolderAttributesAndExclusion) {
    TFlow flow;
    flow.OpenBytes(BuildZip({Entry("readme", "r"), Entry("readme.txt", "rt"), Entry("a.txt", "top a"),
                             Entry("sub/", "", 0, 0x10), Entry("sub/a.txt", "sub a"), Entry("sub/b.dat", "b"),
                             Entry("sub/deep/A.TXT", "deep a"), Entry("hidden.txt", "h", 8, 0x22),
                             Entry("system.bin", "s", 8, 0x24), Entry("ro.txt", "ro", 8, 0x21)})
                       .Bytes);
    using V = std::vector<std::wstring>;
    struct TCase {
        const wchar_t* Mask;
        bool Recurse;
        int32_t Attr;
        const wchar_t* Exclusion;
        V Expected;
    } cases[] = {
        {L"*.*", true, ZFAllEntriesAttr, L"",
         {L"readme", L"readme.txt", L"a.txt", L"sub/", L"sub/a.txt", L"sub/b.dat", L"sub/deep/A.TXT", L"hidden.txt",
          L"system.bin", L"ro.txt"}},
        // Without recursion only the mask's folder: the top level (a top-level folder entry too).
        {L"*.*", false, ZFAllEntriesAttr, L"",
         {L"readme", L"readme.txt", L"a.txt", L"sub/", L"hidden.txt", L"system.bin", L"ro.txt"}},
        {L"sub\\*.*", false, ZFAllEntriesAttr, L"", {L"sub/a.txt", L"sub/b.dat"}},
        {L"*.", true, ZFAllEntriesAttr, L"", {L"readme", L"sub/"}},
        // A plain name: every folder with recursion (the file-name part is tried), else the name itself.
        {L"a.txt", true, ZFAllEntriesAttr, L"", {L"a.txt", L"sub/a.txt", L"sub/deep/A.TXT"}},
        {L"A.Txt", false, ZFAllEntriesAttr, L"", {L"a.txt"}},
        {L"SUB\\A.TXT", false, ZFAllEntriesAttr, L"", {L"sub/a.txt"}},
        // The drive goes; what follows it stays, a leading separator included.
        {L"C:sub\\b.dat", false, ZFAllEntriesAttr, L"", {L"sub/b.dat"}},
        {L"C:\\sub\\b.dat", false, ZFAllEntriesAttr, L"", {}},
        {L"nothere.txt", false, ZFAllEntriesAttr, L"", {}},
        // Exclusion masks test the whole name.
        {L"*.*", true, ZFAllEntriesAttr, L"*", {}},
        {L"*.txt", true, ZFAllEntriesAttr, L"sub/*",
         {L"readme.txt", L"a.txt", L"hidden.txt", L"ro.txt"}},
        {L"*.txt", true, ZFAllEntriesAttr, L"a.txt", {L"readme.txt", L"sub/a.txt", L"sub/deep/A.TXT", L"hidden.txt",
                                                      L"ro.txt"}},
        // Hidden, system and folder bits must be asked for; read-only and archive never exclude.
        {L"*.*", true, 0, L"",
         {L"readme", L"readme.txt", L"a.txt", L"sub/a.txt", L"sub/b.dat", L"sub/deep/A.TXT", L"ro.txt"}},
        {L"*.*", true, 0x02, L"", {L"readme", L"readme.txt", L"a.txt", L"sub/a.txt", L"sub/b.dat",
                                   L"sub/deep/A.TXT", L"hidden.txt", L"ro.txt"}},
        {L"*.*", true, 0x10, L"", {L"readme", L"readme.txt", L"a.txt", L"sub/", L"sub/a.txt", L"sub/b.dat",
                                   L"sub/deep/A.TXT", L"ro.txt"}},
        {L"", true, ZFAllEntriesAttr, L"", {}},
    };
    for (const TCase& c : cases) {
        flow.Options.Recurse = c.Recurse;
        EXPECT_EQ(flow.Find(c.Mask, c.Attr, c.Exclusion), c.Expected) << c.Mask << " " << c.Recurse;
    }

    // A mask longer than the search record holds finds nothing.
    flow.Options.Recurse = true;
    EXPECT_TRUE(flow.Find(std::wstring(259, L'*')).size() == 10u);
    EXPECT_TRUE(flow.Find(std::wstring(260, L'*')).empty());

    // What the search reports of an entry.
    TZFArchiveItem item;
    ASSERT_TRUE(flow.FindFirst(L"sub/deep/*", item, ZFAllEntriesAttr, L""));
    EXPECT_EQ(item.ItemName, L"A.TXT");
    EXPECT_EQ(item.ItemPath, L"sub\\deep\\");
    EXPECT_EQ(item.UnpackedSize, 6);
    EXPECT_EQ(item.ItemCrc, Crc32("deep a"));
    EXPECT_EQ(item.ItemAttr, 0x20u);
    EXPECT_EQ(item.DosDate, 0x5A21);
    EXPECT_EQ(item.DosTime, 0x6000);
    EXPECT_FALSE(item.IsEncrypted);
    EXPECT_DOUBLE_EQ(item.PackRatio, std::max(0.0, (1.0 - (double)item.PackedSize / 6) * 100));
    EXPECT_FALSE(flow.FindNext(item));
    flow.Options.Recurse = false;   // a folder's own name is looked up directly
    ASSERT_TRUE(flow.FindFirst(L"sub/", item, ZFAllEntriesAttr, L""));
    EXPECT_EQ(item.ItemName, L"");
    EXPECT_EQ(item.ItemPath, L"sub\\");
    EXPECT_EQ(item.PackRatio, 100);

    std::string words;
    for (int i = 0; i < 100; ++i) words += "packed words ";
    TFlow packed;
    packed.OpenBytes(BuildZip({Entry("w.txt", words)}).Bytes);
    ASSERT_TRUE(packed.FindFirst(L"w.txt", item, ZFAllEntriesAttr, L""));
    EXPECT_GT(item.PackRatio, 80);
    EXPECT_DOUBLE_EQ(item.PackRatio, (1.0 - (double)item.PackedSize / (double)words.size()) * 100);
}

// The drive type of the extracted files is asked once per batch, not once per file: each question
// costs a system call, and the answer cannot change while a batch runs.
TEST(ZipFlow, ExtractionAsksTheDriveTypeOncePerBatch) {
    TScratchDir dir(L"drive");
    TFlow flow;
    flow.OpenFixture("infozip_tree.zip");
    flow.BaseDir = dir.Path();
    flow.Drive.Removable = true;
    flow.ExtractFiles(L"*.*");
    EXPECT_EQ(flow.FilesTotal, 6);
    EXPECT_EQ(flow.Drive.RemovableAsked, 1);
    EXPECT_EQ(flow.Drive.Flushes, 4);   // every file (not the folders) flushed on a removable drive
    EXPECT_EQ(ReadFileBytes(dir / L"sub\\deeper\\leaf.txt"), "deep\n");
    // The next batch asks again: the disk may have been changed in between.
    TScratchDir again(L"drive2");
    flow.BaseDir = again.Path();
    flow.Drive.Removable = false;
    flow.ExtractFiles(L"*.*");
    EXPECT_EQ(flow.Drive.RemovableAsked, 2);
    EXPECT_EQ(flow.Drive.Flushes, 4);
}

TEST(ZipFlow, ExtractionSelectsByMaskAndANameNotThereDoesNothing) {
    TScratchDir dir(L"select");
    TFlow flow;
    flow.OpenFixture("infozip_tree.zip");
    flow.BaseDir = dir.Path();
    int events = 0;
    flow.OnOverallProgress = [&](TObject*, double, TZFProcessOperation, TZFProgressPhase, bool&) { ++events; };
    flow.Options.Recurse = false;
    flow.ExtractFiles(L"nothere.txt");
    EXPECT_EQ(events, 0);
    flow.ExtractFiles(L"SUB\\TEXT.TXT");
    EXPECT_EQ(flow.FilesTotal, 1);
    EXPECT_EQ(ReadFileBytes(dir / L"sub\\text.txt"), TextTxt());
    EXPECT_FALSE(FileExists(dir / L"hello.txt"));
    flow.ExtractFiles(L"*.*");   // the top level only
    EXPECT_TRUE(FileExists(dir / L"hello.txt"));
    EXPECT_FALSE(FileExists(dir / L"sub\\deeper\\leaf.txt"));
    flow.Options.Recurse = true;
    flow.ExtractFiles(L"leaf.txt");
    EXPECT_EQ(ReadFileBytes(dir / L"sub\\deeper\\leaf.txt"), "deep\n");

    // Without a BaseDir the entries go to the current folder.
    TScratchDir cwd(L"cwd");
    const std::wstring old = ZFGetCurrentDir();
    ASSERT_TRUE(SetCurrentDirectoryW(cwd.Path().c_str()));
    TFlow here;
    here.OpenFixture("infozip_tree.zip");
    here.ExtractFiles(L"hello.txt");
    SetCurrentDirectoryW(old.c_str());
    EXPECT_EQ(ReadFileBytes(cwd / L"hello.txt"), Hello);
}

// ---- Batches, events and failures --------------------------------------------------------------------------

TEST(ZipFlow, BatchEventsInOrderWithConfirmationAndCancel) {
    TScratchDir dir(L"events");
    TFlow flow;
    flow.OpenFixture("pyzip_mixed.zip");
    flow.BaseDir = dir.Path();
    std::vector<std::wstring> log;
    flow.OnOverallProgress = [&](TObject*, double p, TZFProcessOperation, TZFProgressPhase ph, bool&) {
        if (ph != ppProcess) log.push_back(L"overall " + IntToStr((int)p));
    };
    flow.OnConfirmProcessFile = [&](TObject*, const std::wstring& name, TZFProcessOperation op, bool& confirm) {
        EXPECT_EQ(op, poExtract);
        log.push_back(L"confirm " + name);
        confirm = name != L"stored.txt";
    };
    flow.OnFileProgress = [&](TObject*, const std::wstring& name, double p, TZFProcessOperation, TZFProgressPhase ph,
                              bool&) {
        if (ph != ppProcess) log.push_back(name + L" " + IntToStr((int)p));
    };
    flow.ExtractFiles(L"*.*");
    EXPECT_EQ(log, (std::vector<std::wstring>{L"overall 0", L"confirm stored.txt", L"confirm deflated.txt",
                                              L"deflated.txt 0", L"deflated.txt 100", L"confirm folder\\",
                                              L"folder\\ 0", L"folder\\ 100", L"confirm folder\\zero.bin",
                                              L"folder\\zero.bin 0", L"folder\\zero.bin 100", L"overall 100"}));
    EXPECT_FALSE(FileExists(dir / L"stored.txt"));
    EXPECT_TRUE(FileExists(dir / L"deflated.txt"));
    EXPECT_EQ(flow.FilesTotal, 4);
    EXPECT_EQ(flow.FilesDone, 3);

    // A Cancel at the start of the batch: nothing else happens, not even the end event.
    TFlow start;
    start.OpenFixture("pyzip_mixed.zip");
    start.BaseDir = dir / L"start\\";
    std::vector<TZFProgressPhase> phases;
    start.OnOverallProgress = [&](TObject*, double, TZFProcessOperation, TZFProgressPhase ph, bool& cancel) {
        phases.push_back(ph);
        cancel = true;
    };
    start.ExtractFiles(L"*.*");
    EXPECT_EQ(phases, std::vector<TZFProgressPhase>{ppStart});
    EXPECT_FALSE(ZFDirectoryExists(dir / L"start"));

    // A Cancel from an entry's start ends the batch; the end event still comes.
    TFlow mid;
    mid.OpenFixture("pyzip_mixed.zip");
    mid.BaseDir = dir / L"mid\\";
    phases.clear();
    mid.OnOverallProgress = [&](TObject*, double, TZFProcessOperation, TZFProgressPhase ph, bool&) {
        if (ph != ppProcess) phases.push_back(ph);
    };
    mid.OnFileProgress = [&](TObject*, const std::wstring& name, double, TZFProcessOperation, TZFProgressPhase ph,
                             bool& cancel) { cancel = name == L"deflated.txt"; };
    mid.ExtractFiles(L"*.*");
    EXPECT_EQ(phases, (std::vector<TZFProgressPhase>{ppStart, ppEnd}));
    EXPECT_TRUE(FileExists(dir / L"mid\\stored.txt"));
    EXPECT_FALSE(FileExists(dir / L"mid\\deflated.txt"));
    EXPECT_FALSE(ZFDirectoryExists(dir / L"mid\\folder"));
    EXPECT_TRUE(mid.CancelFlag);
    EXPECT_EQ(mid.FilesDone, 1);
}

TEST(ZipFlow, EveryEntryIsCheckedAndAFailureAsksWhatToDo) {
    TScratchDir dir(L"fail");
    const std::string bytes = ArchiveWithBadMiddle();
    struct TCase {
        TZFAction Answer;
        bool CExtracted;
        size_t Calls;
    } cases[] = {{fxaIgnore, true, 1}, {fxaAbort, false, 1}};
    for (const TCase& c : cases) {
        TScratchDir out(L"failcase");
        TFlow flow;
        flow.OpenBytes(bytes);
        flow.BaseDir = out.Path();
        std::vector<TZFProgressPhase> overall;
        flow.OnOverallProgress = [&](TObject*, double, TZFProcessOperation, TZFProgressPhase ph, bool&) {
            if (ph != ppProcess) overall.push_back(ph);
        };
        flow.OnProcessFileFailure = [&](TObject*, const std::wstring& name, TZFProcessOperation op, int32_t native,
                                        int32_t code, const std::wstring& text, TZFAction& action) {
            EXPECT_EQ(action, fxaIgnore);   // preset
            EXPECT_EQ(name, L"b.txt");
            EXPECT_EQ(op, poExtract);
            EXPECT_EQ(native, ZFErrEntryDecode);
            EXPECT_EQ(code, 4);
            EXPECT_EQ(text, L"Invalid size or check sum of file or unsupported compression format - Native error: 00008");
            flow.Failures.push_back({name, native});
            action = c.Answer;
        };
        flow.ExtractFiles(L"*.*");
        EXPECT_EQ(flow.Failures.size(), c.Calls);
        EXPECT_EQ(ReadFileBytes(out / L"a.txt"), "alpha\n");
        EXPECT_FALSE(FileExists(out / L"b.txt"));   // a failed entry leaves no file
        EXPECT_EQ(FileExists(out / L"c.txt"), c.CExtracted);
        EXPECT_EQ(overall, (std::vector<TZFProgressPhase>{ppStart, ppEnd}));
    }

    // Retry runs the entry again, as often as asked.
    TFlow retry;
    retry.OpenBytes(bytes);
    retry.BaseDir = dir.Path();
    int calls = 0;
    int confirms = 0;
    retry.OnConfirmProcessFile = [&](TObject*, const std::wstring&, TZFProcessOperation, bool&) { ++confirms; };
    retry.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t, int32_t,
                                     const std::wstring&, TZFAction& action) {
        action = ++calls < 3 ? fxaRetry : fxaIgnore;
    };
    retry.ExtractFiles(L"*.*");
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(confirms, 5);
    EXPECT_EQ(retry.FilesDone, 2);

    // Without a handler the built-in question decides; testing checks the CRC-32 just the same.
    TFlow asked;
    asked.OpenBytes(bytes);
    asked.Asked.FailureAnswers = {fxaIgnore};
    asked.TestFiles(L"*.*");
    ASSERT_EQ(asked.Asked.FailureTexts.size(), 1u);
    EXPECT_EQ(asked.Asked.FailureTexts[0],
              L"Invalid size or check sum of file or unsupported compression format - Native error: 00008. File "
              L"processing error, possibly disk is full");
    EXPECT_TRUE(asked.Asked.FailureRetry[0]);
    EXPECT_EQ(asked.FilesDone, 2);

    // Corrupted entries may be kept on request: no error, the partial output stays.
    TFlow keep;
    keep.OpenBytes(bytes);
    keep.BaseDir = dir / L"keep\\";
    keep.ExtractCorruptedFiles = true;
    keep.CollectFailures(fxaIgnore);
    keep.ExtractFiles(L"*.*");
    EXPECT_TRUE(keep.Failures.empty());
    EXPECT_EQ(ReadFileBytes(dir / L"keep\\b.txt"), "bravo bravo bravo\n");
}

// The protected defaults of the failure event, for the codes that take another question.
struct TFailureDefaults : TFlow {
    TZFAction Answer(int32_t Code) {
        TZFAction action = fxaIgnore;
        DoOnProcessFileFailure(L"x", poExtract, EZFException(Code, this), action);
        return action;
    }
};

TEST(ZipFlow, FailureQuestionsByCode) {
    TFailureDefaults f;
    f.Asked.FailureAnswers = {fxaIgnore, fxaRetry};
    EXPECT_EQ(f.Answer(ZFErrVolumeCancelled), fxaAbort);   // a cancelled volume request: no question
    EXPECT_TRUE(f.Asked.FailureTexts.empty());
    EXPECT_EQ(f.Answer(ZFErrNameTooLong), fxaIgnore);
    EXPECT_EQ(f.Asked.FailureTexts.back(), EZFException(61, &f).Message());
    EXPECT_FALSE(f.Asked.FailureRetry.back());
    EXPECT_EQ(f.Answer(ZFErrCreateTarget), fxaRetry);
    EXPECT_TRUE(f.Asked.FailureRetry.back());
    EXPECT_EQ(f.Answer(ZFErrCreateTarget), fxaAbort);   // answers ran out: the dialog was closed
}

TEST(ZipFlow, AMissingVolumeEndsTheBatchWithoutAQuestion) {
    TScratchDir dir(L"vol");
    // The first volume is missing: the set is still taken for a split one.
    for (const wchar_t* v : {L"split.z02", L"split.zip"})
        WriteFileBytes(dir / v, ReadFileBytes(DataFile(WideToUtf8(v).c_str())));
    TFlow flow;
    flow.FileName = dir / L"split.zip";
    flow.OpenArchiveMode(fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(flow.GetSpanningMode(), smSplitting);
    flow.BaseDir = dir / L"out\\";
    flow.ExtractFiles(L"*.*");
    EXPECT_EQ(flow.Asked.Asked(), 0u);
    EXPECT_FALSE(FileExists(dir / L"out\\random.bin"));
    EXPECT_EQ(flow.FilesDone, 0);
}

TEST(ZipFlow, NoEntryIsWrittenOutsideTheBaseFolder) {
    TScratchDir dir(L"escape");
    TFlow flow;
    flow.OpenBytes(BuildZip({Entry("../evil1.txt", "x"), Entry("..\\evil2.txt", "x"), Entry("/evil3.txt", "x"),
                             Entry("C:evil4.txt", "x"), Entry("sub/../../evil5.txt", "x"),
                             Entry("sub/. ./evil6.txt", "x"), Entry("ok.txt", "fine")})
                       .Bytes);
    flow.BaseDir = dir / L"inner\\base";
    flow.CollectFailures(fxaIgnore);
    flow.ExtractFiles(L"*.*");
    ASSERT_EQ(flow.Failures.size(), 6u);
    for (const auto& f : flow.Failures) EXPECT_EQ(f.second, ZFErrCreateTarget) << f.first;
    EXPECT_EQ(ReadFileBytes(dir / L"inner\\base\\ok.txt"), "fine");
    for (const wchar_t* evil : {L"evil1.txt", L"evil2.txt", L"evil3.txt", L"evil4.txt", L"evil5.txt", L"evil6.txt"}) {
        EXPECT_FALSE(FileExists(dir / evil)) << evil;
        EXPECT_FALSE(FileExists(dir / (std::wstring(L"inner\\") + evil))) << evil;
    }
    EXPECT_FALSE(FileExists(L"C:\\evil3.txt"));
}

TEST(ZipFlow, OverwriteQuestionAndItsAnswers) {
    TScratchDir dir(L"overwrite");
    const std::string bytes =
        BuildZip({Entry("one.txt", "new one"), Entry("two.txt", "new two"), Entry("three.txt", "new three")}).Bytes;
    auto prepare = [&](TFlow& flow, const wchar_t* sub) {
        const std::wstring base = dir / sub;
        ZFForceDirectories(base);
        for (const wchar_t* f : {L"\\one.txt", L"\\two.txt", L"\\three.txt"}) WriteFileBytes(base + f, "old");
        flow.OpenBytes(bytes);
        flow.BaseDir = base;
        flow.Options.OverwriteMode = omPrompt;
    };
    struct TCase {
        const wchar_t* Sub;
        std::deque<TZFOverwriteAnswer> Answers;
        size_t Questions;
        const char* One;
        const char* Two;
        const char* Three;
        TZFOverwriteMode ModeAfter;
    } cases[] = {
        {L"yes_no", {oaYes, oaNo, oaYes}, 3, "new one", "old", "new three", omPrompt},
        {L"no_to_all", {oaYes, oaNoToAll}, 2, "new one", "old", "old", omNever},
        {L"yes_to_all", {oaNo, oaYesToAll}, 2, "old", "new two", "new three", omAlways},
    };
    for (TCase& c : cases) {
        TFlow flow;
        prepare(flow, c.Sub);
        flow.Asked.OverwriteAnswers = c.Answers;
        flow.ExtractFiles(L"*.*");
        EXPECT_EQ(flow.Asked.OverwriteTexts.size(), c.Questions) << c.Sub;
        EXPECT_EQ(ReadFileBytes(dir / c.Sub + L"\\one.txt"), c.One) << c.Sub;
        EXPECT_EQ(ReadFileBytes(dir / c.Sub + L"\\two.txt"), c.Two) << c.Sub;
        EXPECT_EQ(ReadFileBytes(dir / c.Sub + L"\\three.txt"), c.Three) << c.Sub;
        EXPECT_EQ(flow.Options.OverwriteMode, c.ModeAfter) << c.Sub;
    }
    TFlow text;
    prepare(text, L"text");
    text.ExtractFiles(L"one.txt");
    ASSERT_EQ(text.Asked.OverwriteTexts.size(), 1u);
    EXPECT_EQ(text.Asked.OverwriteTexts[0], L"Overwrite file \"" + (dir / L"text\\one.txt") + L"\" with \"one.txt\"");

    // A handler answers instead of the question, and may choose another target.
    TFlow handled;
    prepare(handled, L"handled");
    handled.OnConfirmOverwrite = [&](TObject*, const std::wstring& source, std::wstring& dest, bool& confirm) {
        EXPECT_FALSE(confirm);
        dest += L".new";
        confirm = source == L"two.txt";
    };
    handled.ExtractFiles(L"*.*");
    EXPECT_EQ(handled.Asked.Asked(), 0u);
    EXPECT_EQ(ReadFileBytes(dir / L"handled\\two.txt.new"), "new two");
    EXPECT_EQ(ReadFileBytes(dir / L"handled\\two.txt"), "old");
    EXPECT_FALSE(FileExists(dir / L"handled\\one.txt.new"));
}

TEST(ZipFlow, PasswordDialogHandlerAndAnAnswerThatChangesNothing) {
    TScratchDir dir(L"pw");
    const std::string pk = "Traditional PKWARE encryption, twelve-byte header.\n";
    // No handler: the dialog asks, pre-filled with the current password.
    TFlow dialog;
    dialog.OpenFixture("zipcrypto_7zz.zip");
    dialog.BaseDir = dir / L"dialog\\";
    dialog.SetPassword("wrong");
    dialog.Asked.PasswordAnswers = {{true, "Crypto7"}};
    dialog.ExtractFiles(L"*.*");
    EXPECT_EQ(dialog.Asked.PasswordCaptions, std::vector<std::wstring>{L"Password for \"pk.txt\""});
    EXPECT_EQ(dialog.Asked.PasswordsShown, std::vector<std::string>{"wrong"});
    EXPECT_EQ(dialog.GetPassword(), "Crypto7");
    EXPECT_EQ(ReadFileBytes(dir / L"dialog\\pk.txt"), pk);

    // Cancel skips the entry: no file and no failure.
    TFlow cancel;
    cancel.OpenFixture("zipcrypto_7zz.zip");
    cancel.BaseDir = dir / L"cancel\\";
    cancel.CollectFailures(fxaIgnore);
    cancel.ExtractFiles(L"*.*");
    EXPECT_EQ(cancel.Asked.PasswordCaptions.size(), 1u);
    EXPECT_TRUE(cancel.Failures.empty());
    EXPECT_FALSE(FileExists(dir / L"cancel\\pk.txt"));

    // A handler that neither changes the password nor skips ends the entry with code 67.
    for (const char* answer : {"", "ok"}) {
        TFlow stuck;
        stuck.OpenFixture("aes256_7zz.zip");
        stuck.BaseDir = dir / L"stuck\\";
        int asked = 0;
        stuck.OnPassword = [&](TObject*, const std::wstring& name, std::string& pw, bool&) {
            EXPECT_EQ(name, L"aes.txt");
            ++asked;
            if (*answer && pw != "Secret256") pw = "Secret255";   // a new wrong one, then the same again
        };
        std::vector<std::pair<int32_t, int32_t>> codes;
        stuck.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t native,
                                         int32_t code, const std::wstring&, TZFAction& action) {
            codes.push_back({native, code});
            action = fxaIgnore;
        };
        stuck.ExtractFiles(L"*.*");
        EXPECT_EQ(asked, *answer ? 2 : 1);
        EXPECT_EQ(codes, (std::vector<std::pair<int32_t, int32_t>>{{ZFErrPasswordUnchanged, 40}}));
        EXPECT_FALSE(FileExists(dir / L"stuck\\aes.txt"));
        EXPECT_EQ(stuck.Asked.Asked(), 0u);
    }
}

TEST(ZipFlow, DiskFullAnsweredToGoOnGivesUpWithCode65) {
    struct TFullStream : TMemoryStream {
        int32_t Write(const void*, int32_t) override { return 0; }
    } full;
    TFlow flow;
    flow.OpenFixture("infozip_tree.zip");
    int asked = 0;
    flow.OnDiskFull = [&](TObject*, int32_t volume, const std::wstring&, bool& cancel) {
        EXPECT_EQ(volume, 0);
        ++asked;
        cancel = false;
    };
    EXPECT_EQ(NativeErrorOf([&] { flow.ExtractEntryToStream(0, &full); }), ZFErrDiskFull);
    EXPECT_EQ(asked, ZFDiskFullRetries);

    // A write that works again after one answer goes on as if nothing happened.
    struct TFlakyStream : TMemoryStream {
        int Fails = 1;
        int32_t Write(const void* b, int32_t n) override {
            if (Fails > 0) {
                --Fails;
                return n / 2;
            }
            return TMemoryStream::Write(b, n);
        }
    } flaky;
    asked = 0;
    EXPECT_TRUE(flow.ExtractEntryToStream(0, &flaky));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(flaky.GetSize(), (int64_t)Hello.size());
}

// ---- Validity ----------------------------------------------------------------------------------------------

TEST(ZipFlow, IsValidArchiveTestsWhatItFinds) {
    TScratchDir dir(L"valid");
    struct TCase {
        const wchar_t* Name;
        std::string Bytes;
        bool Valid;
    } cases[] = {
        {L"tree.zip", ReadFileBytes(DataFile("infozip_tree.zip")), true},
        {L"stub.exe", "MZ" + std::string(998, '\0') + ReadFileBytes(DataFile("infozip_tree.zip")), true},
        {L"empty.zip", BuildZip({}).Bytes, true},
        {L"truncated_cd.zip", ReadFileBytes(DataFile("damaged_truncated_cd.zip")), true},   // repaired
        {L"bad_local.zip", ReadFileBytes(DataFile("damaged_bad_local.zip")), false},
        {L"bad_crc.zip", ArchiveWithBadMiddle(), false},
        {L"text.zip", "no archive in here", false},
        {L"nothing.zip", "", false},
    };
    for (const TCase& c : cases) {
        WriteFileBytes(dir / c.Name, c.Bytes);
        TFlow flow;
        flow.FileName = dir / c.Name;
        flow.ExtractCorruptedFiles = true;   // no excuse for a validity test
        std::vector<TZFProcessOperation> ops;
        flow.OnOverallProgress = [&](TObject*, double, TZFProcessOperation op, TZFProgressPhase, bool&) {
            ops.push_back(op);
        };
        EXPECT_EQ(flow.IsValidArchive(), c.Valid) << c.Name;
        EXPECT_FALSE(flow.IsOpen()) << c.Name;
        EXPECT_EQ(flow.Asked.Asked(), 0u) << c.Name;
        EXPECT_TRUE(flow.ExtractCorruptedFiles);
        EXPECT_TRUE(flow.RepairOnOpen);
        EXPECT_EQ(flow.GetSpanningMode(), smNone);
        for (TZFProcessOperation op : ops) EXPECT_EQ(op, poTest) << c.Name;
        EXPECT_EQ(ReadFileBytes(dir / c.Name), c.Bytes) << c.Name;   // nothing written
    }
    TFlow missing;
    missing.FileName = dir / L"missing.zip";
    EXPECT_FALSE(missing.IsValidArchive());
    EXPECT_FALSE(FileExists(dir / L"missing.zip"));

    // An open archive is valid whatever it holds.
    TFlow open;
    open.OpenBytes(ArchiveWithBadMiddle());
    EXPECT_TRUE(open.IsValidArchive());
    EXPECT_TRUE(open.IsOpen());

    // Its spanning mode comes back as it was.
    TFlow split;
    for (const wchar_t* v : {L"split.z01", L"split.z02", L"split.zip"})
        WriteFileBytes(dir / v, ReadFileBytes(DataFile(WideToUtf8(v).c_str())));
    split.FileName = dir / L"split.zip";
    split.SetSpanningMode(smSpanning);
    EXPECT_TRUE(split.IsValidArchive());
    EXPECT_EQ(split.GetSpanningMode(), smSpanning);
}

// ---- The engine-wide lock -------------------------------------------------------------------------------------

TEST(ZipFlow, ABatchHoldsTheEngineLock) {
    TFlow flow;
    flow.OpenFixture("infozip_tree.zip");
    int tries = 0, taken = 0;
    flow.OnFileProgress = [&](TObject*, const std::wstring&, double, TZFProcessOperation, TZFProgressPhase, bool&) {
        ++tries;
        std::thread other([&] {
            if (ZFEngineLock().TryEnter()) {
                ++taken;
                ZFEngineLock().Leave();
            }
        });
        other.join();
    };
    flow.TestFiles(L"*.*");
    EXPECT_GT(tries, 0);
    EXPECT_EQ(taken, 0);
    std::thread after([&] {
        if (ZFEngineLock().TryEnter()) {
            ++taken;
            ZFEngineLock().Leave();
        }
    });
    after.join();
    EXPECT_EQ(taken, 1);
}

// ---- Inputs that once broke the engine -------------------------------------------------------------------------

TEST(ZipFlow, ExtremeZip64ValuesFailCleanly) {
    // ZIP64 values at and above 2^63: sizes and offsets of the archive are checked without
    // overflowing, and an entry that claims a negative size fails instead of reading past its data.
    // The fixtures have the archive-open fuzz target's layout: a byte of switches (bit 0:
    // RepairOnOpen off), then the archive.
    struct TCase {
        const char* File;
        int32_t OpenCode;                // 0: opens
        std::vector<int32_t> Failures;   // engine codes of the entries that fail their test
    } cases[] = {
        {"zip64_locator_offset_max.bin", ZFErrZip64EndRecordNotFound, {}},
        {"zip64_unpacked_negative.bin", 0, {ZFErrEntryDecode}},
        {"zip64_offset_max.bin", 0, {ZFErrEntryDecode}},
        {"zip64_packed_max.bin", 0, {}},   // cut at the directory, the data checks out
        // Two packed sizes of 2^63 - 1 sum past the largest size: the directory is refused.
        {"zip64_packed_sum_overflow.bin", ZFErrCorruptDirectory, {}},
    };
    for (const TCase& c : cases) {
        const std::string input = ReadFileBytes(DataFile((std::string("../fuzz/fuzz_archive_open/") + c.File).c_str()));
        ASSERT_FALSE(input.empty()) << c.File;
        TFlow flow;
        flow.RepairOnOpen = !(input[0] & 1);
        flow.CollectFailures(fxaIgnore);
        EXPECT_EQ(NativeErrorOf([&] { flow.OpenBytes(input.substr(1)); }), c.OpenCode ? c.OpenCode : -1) << c.File;
        if (!flow.IsOpen()) continue;
        flow.TestFiles(L"*.*");
        std::vector<int32_t> codes;
        for (const auto& f : flow.Failures) codes.push_back(f.second);
        EXPECT_EQ(codes, c.Failures) << c.File;
    }
}
