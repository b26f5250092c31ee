// The ZIP wrapper: archives held in memory opened and extracted into folders, its progress events
// and overwrite question, the entries it must refuse, and what it logs.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "KWCommonLib.h"
#include "KWZip.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "ZipFlow.h"
#include "log_capture.h"
#include "scratch_util.h"
#include "support/TestSupport.h"

namespace {

// ---- Archives laid out byte by byte ---------------------------------------------------------

struct TZipEntry {
    std::wstring Name;          // stored in CP932, "/" separators; a trailing "/" makes a folder
    std::string Data;
    bool Deflate = false;
    uint32_t CrcXor = 0;        // applied to the stored CRC-32 (0: the right one)
    size_t CutPacked = 0;       // bytes taken off the end of the packed data
};

void Put16(std::string& s, uint32_t v) { s += (char)(v & 0xFF), s += (char)(v >> 8 & 0xFF); }
void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

std::string RawDeflate(const std::string& AData) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, (uLong)AData.size()), '\0');
    z.next_in = (Bytef*)AData.data();
    z.avail_in = (uInt)AData.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A ZIP archive of the entries (no UTF-8 flag, MS-DOS attributes, 2024-04-01 09:30).
std::string MakeZip(const std::vector<TZipEntry>& AEntries) {
    std::string local, central;
    for (const TZipEntry& e : AEntries) {
        const std::string name = WideToAnsi(e.Name, 932);
        const bool folder = !name.empty() && name.back() == '/';
        std::string packed = e.Deflate ? RawDeflate(e.Data) : e.Data;
        packed.resize(packed.size() - e.CutPacked);
        const uint32_t crc = (uint32_t)crc32(0, (const Bytef*)e.Data.data(), (uInt)e.Data.size()) ^ e.CrcXor;
        auto header = [&](std::string& s) {
            Put16(s, 20), Put16(s, 0), Put16(s, e.Deflate ? 8 : 0), Put16(s, 0x4BC0), Put16(s, 0x5881);
            Put32(s, crc), Put32(s, (uint32_t)packed.size()), Put32(s, (uint32_t)e.Data.size());
            Put16(s, (uint32_t)name.size()), Put16(s, 0);
        };
        const uint32_t offset = (uint32_t)local.size();
        Put32(local, 0x04034B50), header(local), local += name, local += packed;
        Put32(central, 0x02014B50), Put16(central, 20), header(central);
        Put16(central, 0), Put16(central, 0), Put16(central, 0), Put32(central, folder ? 0x10 : 0x20);
        Put32(central, offset), central += name;
    }
    std::string zip = local + central;
    Put32(zip, 0x06054B50), Put16(zip, 0), Put16(zip, 0);
    Put16(zip, (uint32_t)AEntries.size()), Put16(zip, (uint32_t)AEntries.size());
    Put32(zip, (uint32_t)central.size()), Put32(zip, (uint32_t)local.size()), Put16(zip, 0);
    return zip;
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& ABytes) {
    auto m = std::make_unique<TMemoryStream>();
    if (!ABytes.empty()) m->WriteBuffer(ABytes.data(), (int32_t)ABytes.size());
    m->SetPosition(0);
    return m;
}

std::string ReadBytes(const std::wstring& APath) { return testsupport::ReadFileBytes(APath); }

// The streams of the archives a test opened: they must outlive the archivers reading them.
struct TStreams {
    std::vector<std::unique_ptr<TMemoryStream>> Streams;
};

// The wrapper with its archiver in reach.
class TTestZip : private TStreams, public TKWZip {
public:
    explicit TTestZip(TComponent* AOwner = nullptr) : TKWZip(AOwner) { SetName(L"Zip1"); }
    using TKWZip::ZipFlow;
    bool Open(const std::vector<TZipEntry>& AEntries, const std::wstring& APassword = L"") {
        return OpenBytes(MakeZip(AEntries), APassword);
    }
    bool OpenBytes(const std::string& ABytes, const std::wstring& APassword = L"") {
        Streams.push_back(StreamOf(ABytes));
        return OpenZip(Streams.back().get(), APassword);
    }
};

const std::vector<TZipEntry> kTree = {
    {L"readme.txt", "lumi-vera Quillbox\r\n", true},
    {L"empty.txt", ""},
    {L"データ/", ""},
    {L"データ/写真.txt", u8"写真", true},
    {L"データ/サブ/深い.txt", std::string(70000, 'x'), true},   // its folder has no entry of its own
    {L"空/", ""},
};

}  // namespace

TEST(KWZip, OpensArchivesHeldInMemory) {
    TLogCapture log;
    TTestZip zip;
    EXPECT_FALSE(zip.OpenZip(nullptr, L""));
    EXPECT_EQ(zip.ZipFlow(), nullptr);

    // A password of blanks is no password; another is trimmed and used with AES for new entries.
    ASSERT_TRUE(zip.Open(kTree, L" \t\r\n "));
    ASSERT_NE(zip.ZipFlow(), nullptr);
    EXPECT_EQ(zip.ZipFlow()->GetPassword(), "");
    EXPECT_EQ(zip.ZipFlow()->Options.StorePath, spNoPath);
    EXPECT_FALSE(zip.ZipFlow()->UnicodeFilenames);
    ASSERT_TRUE(zip.Open(kTree, L"  写真 "));
    EXPECT_EQ(zip.ZipFlow()->GetPassword(), WideToAnsi(L"写真"));
    EXPECT_EQ(zip.ZipFlow()->EncryptionMethod, caAES_128);
    EXPECT_TRUE(log.Texts().empty());

    // No archive in the stream: refused, and logged.
    EXPECT_FALSE(zip.OpenBytes(std::string(300, '\0')));
    const std::vector<TLogCapture::TEntry> entries = log.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Text.rfind(L"OpenZip(B) except:", 0), 0u) << WideToUtf8(entries[0].Text);
    EXPECT_NE(entries[0].Text.find(L"00035"), std::wstring::npos) << WideToUtf8(entries[0].Text);
    EXPECT_EQ(entries[0].Sender, L"Zip1");
    EXPECT_EQ(entries[0].Level, 3);
}

TEST(KWZip, ExportsEveryItemWithProgress) {
    TScratchDir dir(L"KWZip_");
    TTestZip zip;
    ASSERT_TRUE(zip.Open(kTree));
    std::vector<double> values;
    std::vector<std::wstring> files;
    int32_t otherEvents = 0;
    zip.OnUnZipProgress = [&](TObject* ASender, double AProgress, const std::wstring& AFileName, bool&) {
        EXPECT_EQ(ASender, static_cast<TObject*>(zip.ZipFlow()));
        values.push_back(AProgress);
        files.push_back(AFileName);
    };
    zip.OnZipProgress = zip.OnTestZipProgress = [&](TObject*, double, const std::wstring&, bool&) { ++otherEvents; };
    const std::wstring target = dir.Path() + L"a\\b";   // created, without a trailing "\"
    ASSERT_TRUE(zip.ExportFiles(target, L"*.*"));

    const std::wstring t = target + L"\\";
    for (const TZipEntry& e : kTree) {
        std::wstring name = e.Name;
        std::replace(name.begin(), name.end(), L'/', L'\\');
        if (name.back() == L'\\') EXPECT_TRUE(KWDirectoryExists(t + name)) << WideToUtf8(name);
        else EXPECT_EQ(ReadBytes(t + name), e.Data) << WideToUtf8(name);
    }
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values.front(), 0.0);
    EXPECT_EQ(values.back(), 100.0);
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GE(values[i], values[i - 1]) << i;
    EXPECT_EQ(files.front(), L"");   // nothing reported before the first entry
    EXPECT_NE(std::find(files.begin(), files.end(), L"データ\\サブ\\深い.txt"), files.end());
    EXPECT_EQ(otherEvents, 0);

    // A mask picks items by name.
    TScratchDir only(L"KWZip_");
    ASSERT_TRUE(zip.ExportFiles(only.Path(), L"写真.txt"));
    EXPECT_TRUE(Exists(only.Path() + L"データ\\写真.txt"));
    EXPECT_FALSE(Exists(only.Path() + L"readme.txt"));
    zip.CloseZip();
    EXPECT_EQ(zip.ZipFlow(), nullptr);
}

TEST(KWZip, ExportFilesNeedsAnOpenArchiveAndAFolder) {
    TLogCapture log;
    TScratchDir dir(L"KWZip_");
    TTestZip zip;
    EXPECT_FALSE(zip.ExportFiles(dir.Path(), L"*.*"));
    const std::wstring noArchive = L"ExportFiles except:" + EZFException(13, &zip).Message();
    EXPECT_EQ(log.Texts(), std::vector<std::wstring>{noArchive});

    // A folder that cannot be created (a file has its name) fails before anything else.
    log.Clear();
    ASSERT_TRUE(zip.Open(kTree));
    WriteBytes(dir.Path() + L"taken", "a file");
    EXPECT_FALSE(zip.ExportFiles(dir.Path() + L"taken\\sub", L"*.*"));
    EXPECT_TRUE(log.Texts().empty());

    zip.CloseZip();
    EXPECT_FALSE(zip.ExportFiles(dir.Path(), L"*.*"));
    EXPECT_EQ(log.Texts(), std::vector<std::wstring>{noArchive});
}

// An existing file goes to the overwrite question: AutoOverWrite says yes, else OnOverwrite
// decides (and may name another file), else the file is kept.
TEST(KWZip, OverwriteQuestion) {
    struct Case {
        const char* what;
        bool autoOverWrite;
        bool hasHandler;
        bool answer;
        bool redirect;
        const char* existing;   // the old file afterwards
        bool asked;
    } cases[] = {
        {"auto", true, true, false, false, "new", false},
        {"handler says yes", false, true, true, false, "new", true},
        {"handler says no", false, true, false, false, "old", true},
        {"handler names another file", false, true, true, true, "old", true},
        {"no handler", false, false, false, false, "old", false},
    };
    for (const Case& c : cases) {
        TScratchDir dir(L"KWZip_");
        WriteBytes(dir.Path() + L"a.txt", "old");
        TTestZip zip;
        ASSERT_TRUE(zip.Open({{L"a.txt", "new"}}));
        zip.AutoOverWrite = c.autoOverWrite;
        int32_t asked = 0;
        if (c.hasHandler)
            zip.OnOverwrite = [&](TObject* ASender, const std::wstring& AFileName, std::wstring& ANewFile, bool& AConfirm) {
                ++asked;
                EXPECT_EQ(ASender, static_cast<TObject*>(zip.ZipFlow()));
                EXPECT_EQ(AFileName, L"a.txt");
                EXPECT_EQ(ANewFile, dir.Path() + L"a.txt");
                EXPECT_FALSE(AConfirm);
                AConfirm = c.answer;
                if (c.redirect) ANewFile = dir.Path() + L"b.txt";
            };
        EXPECT_TRUE(zip.ExportFiles(dir.Path(), L"*.*")) << c.what;
        EXPECT_EQ(ReadBytes(dir.Path() + L"a.txt"), c.existing) << c.what;
        EXPECT_EQ(asked, c.asked ? 1 : 0) << c.what;
        EXPECT_EQ(Exists(dir.Path() + L"b.txt"), c.redirect) << c.what;
        if (c.redirect) {
            EXPECT_EQ(ReadBytes(dir.Path() + L"b.txt"), "new");
        }
    }
}

// Entries whose names would leave the target folder, and entries whose data does not check: each
// stops the extraction with a failure. What came before stays; the failing entry leaves no file.
TEST(KWZip, UnsafeNamesAndCorruptDataFail) {
    struct Case {
        TZipEntry bad;
        int32_t native;        // the engine's code in the log
        const wchar_t* outside; // where an unsafe name would have written (relative to the scratch folder)
    } cases[] = {
        {{L"../kwzip_evil.txt", "evil"}, 19, L"kwzip_evil.txt"},
        {{L"sub/../../kwzip_evil.txt", "evil"}, 19, L"kwzip_evil.txt"},
        {{L"..\\kwzip_evil.txt", "evil"}, 19, L"kwzip_evil.txt"},
        {{L"sub/. ./kwzip_evil.txt", "evil"}, 19, L"kwzip_evil.txt"},
        {{L"/kwzip_evil.txt", "evil"}, 19, L"Z:\\kwzip_evil.txt"},
        {{L"\\kwzip_evil.txt", "evil"}, 19, L"Z:\\kwzip_evil.txt"},
        {{L"C:/kwzip_evil.txt", "evil"}, 19, L"C:\\kwzip_evil.txt"},
        {{L"C:kwzip_evil.txt", "evil"}, 19, L"C:\\kwzip_evil.txt"},
        {{L"after.txt:kwzip_evil", "evil"}, 19, L""},
        {{L"crc.txt", "stored data", false, 1}, 8, L""},               // stored, CRC-32 off by one bit
        {{L"crc.txt", std::string(5000, 'c'), true, 0x80000000}, 8, L""},
        {{L"short.txt", std::string(5000, 's'), true, 0, 3}, 8, L""}, // deflate data cut short
    };
    for (const Case& c : cases) {
        const std::string what = WideToUtf8(c.bad.Name);
        TLogCapture log;
        TScratchDir dir(L"KWZip_");
        const std::wstring target = dir.Path() + L"app\\";
        TTestZip zip;
        ASSERT_TRUE(zip.Open({{L"before.txt", "first"}, c.bad, {L"after.txt", "never"}})) << what;
        EXPECT_FALSE(zip.ExportFiles(target, L"*.*")) << what;

        std::wstring shown = c.bad.Name;
        std::replace(shown.begin(), shown.end(), L'/', L'\\');
        const std::vector<std::wstring> texts = log.Texts();
        ASSERT_EQ(texts.size(), 1u) << what;
        EXPECT_EQ(texts[0].rfind(L"OnProcessFileFailure:Name -> " + shown + L" Message -> ", 0), 0u) << what;
        const std::wstring tail = L" Native -> " + IntToStr(c.native);
        EXPECT_EQ(texts[0].substr(texts[0].size() - tail.size()), tail) << WideToUtf8(texts[0]);

        WIN32_FIND_DATAW fd;
        std::vector<std::wstring> left;
        HANDLE h = FindFirstFileW((target + L"*").c_str(), &fd);
        for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &fd))
            if (fd.cFileName[0] != L'.') left.push_back(fd.cFileName);
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
        EXPECT_EQ(left, std::vector<std::wstring>{L"before.txt"}) << what;
        if (*c.outside) {
            const std::wstring outside = c.outside[1] == L':' ? c.outside : dir.Path() + c.outside;
            EXPECT_FALSE(Exists(outside)) << what;
            DeleteFileW(outside.c_str());
        }
    }
}

TEST(KWZip, EncryptedItemsNeedThePassword) {
    // Info-ZIP's traditional PKWARE fixture of the engine's tests: pk.txt under "InfoZip".
    const std::string archive = ReadBytes(BuildPath(TEST_DATA_DIR "/zip/zipcrypto_infozip.zip"));
    TScratchDir dir(L"KWZip_");
    TTestZip zip;
    ASSERT_TRUE(zip.OpenBytes(archive));
    EXPECT_FALSE(zip.ExportFiles(dir.Path(), L"*.*"));   // skipped, without a dialog
    EXPECT_FALSE(Exists(dir.Path() + L"pk.txt"));
    ASSERT_TRUE(zip.OpenBytes(archive, L" InfoZip "));
    EXPECT_TRUE(zip.ExportFiles(dir.Path(), L"*.*"));
    EXPECT_EQ(ReadBytes(dir.Path() + L"pk.txt"), "Traditional PKWARE encryption, twelve-byte header.\n");
}

TEST(KWZip, CancelledExtractionFails) {
    TScratchDir dir(L"KWZip_");
    TTestZip zip;
    ASSERT_TRUE(zip.Open(kTree));
    zip.OnUnZipProgress = [](TObject*, double, const std::wstring& AFileName, bool& ACancel) {
        ACancel = AFileName == L"データ\\写真.txt";
    };
    EXPECT_FALSE(zip.ExportFiles(dir.Path(), L"*.*"));
    EXPECT_TRUE(Exists(dir.Path() + L"readme.txt"));
    EXPECT_FALSE(Exists(dir.Path() + L"データ\\写真.txt"));
}

// The archiver's volume and failure events as the wrapper answers and logs them (an archive in
// memory never asks for volumes; the events are fired here as a volume set would fire them).
TEST(KWZip, VolumeDiskFullAndPasswordEvents) {
    TLogCapture log;
    TTestZip zip;
    ASSERT_TRUE(zip.Open(kTree));
    TZipFlow& z = *zip.ZipFlow();
    std::wstring name;
    bool cancel = false;
    z.OnRequestBlankVolume(&z, 3, name, cancel);
    EXPECT_EQ(name, L".zip.004");
    z.OnRequestFirstVolume(&z, name, cancel);
    EXPECT_EQ(name, L".002");
    z.OnRequestMiddleVolume(&z, 4, name, cancel);
    EXPECT_EQ(name, L".005");
    name = L"kept";
    z.OnRequestLastVolume(&z, name, cancel);
    EXPECT_EQ(name, L"kept");
    EXPECT_FALSE(cancel);
    // A full disk ends the operation instead of repeating the write.
    z.OnDiskFull(&z, 0, L"x.zip", cancel);
    EXPECT_TRUE(cancel);
    bool skip = false;
    std::string password;
    z.OnPassword(&z, L"a.txt", password, skip);
    EXPECT_TRUE(skip);
    TZFAction action = fxaIgnore;
    z.OnProcessFileFailure(&z, L"a\\b.txt", poExtract, 19, 9, L"Cannot create", action);
    EXPECT_EQ(action, fxaAbort);

    const std::vector<TLogCapture::TEntry> entries = log.Entries();
    std::vector<std::wstring> texts;
    for (const auto& e : entries) {
        EXPECT_EQ(e.Sender, L"Zip1");
        EXPECT_EQ(e.Level, 3);
        texts.push_back(e.Text);
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{
                         L"OnRequestBlankVolume:No -> 3 Name -> .zip.004",
                         L"OnRequestFirstVolume:Name -> .002",
                         L"OnRequestMiddleVolume:No -> 4 Name -> .005",
                         L"OnDiskFull:No -> 0 Name -> x.zip",
                         L"OnProcessFileFailure:Name -> a\\b.txt Message -> Cannot create ECode -> 9 Native -> 19",
                     }));

    // Stored names are left as the engine makes them; an empty one becomes the root.
    int32_t attr = 0;
    std::string comment;
    for (const wchar_t* stored : {L"a\\b.txt", L""}) {
        name = stored;
        z.OnStoreFile(&z, name, attr, comment, L"C:\\src\\a\\b.txt");
        EXPECT_EQ(name, *stored ? stored : L"\\");
    }
}

TEST(KWZip, ArchiverBelongsToTheWrapperAndTakesItsTempDir) {
    TComponent owner(nullptr);
    auto* zip = new TTestZip(&owner);
    zip->SetTempDir(L"C:\\before\\");
    ASSERT_TRUE(zip->Open(kTree));
    EXPECT_EQ(zip->ZipFlow()->GetOwner(), nullptr);
    EXPECT_EQ(owner.GetComponentCount(), 1);
    EXPECT_EQ(zip->ZipFlow()->TempDir, L"C:\\before\\");
    zip->SetTempDir(L"C:\\after\\");
    EXPECT_EQ(zip->GetTempDir(), L"C:\\after\\");
    EXPECT_EQ(zip->ZipFlow()->TempDir, L"C:\\after\\");
    ASSERT_TRUE(zip->Open(kTree));
    EXPECT_EQ(zip->ZipFlow()->TempDir, L"C:\\after\\");
    delete zip;   // takes its archiver along
    EXPECT_EQ(owner.GetComponentCount(), 0);

    // An owner freed first frees the wrapper, which frees its archiver, once.
    auto owner2 = std::make_unique<TComponent>(nullptr);
    ASSERT_TRUE((new TTestZip(owner2.get()))->Open(kTree));
    owner2.reset();
}
