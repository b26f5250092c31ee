// Archives made by tools no one here wrote, through the component: each is opened (from a memory
// stream and by name), listed, tested and extracted, and the named file is checked for validity.
#include <gtest/gtest.h>

#include <map>

#include "ZFStrFunc.h"
#include "ZipFlow.h"
#include "zipflow_test_util.h"

using namespace ziptest;

namespace {

std::string TextTxt() {
    std::string s;
    for (int i = 0; i < 400; ++i) s += "line of compressible text\n";
    return s;
}

std::string Words() {
    std::string s;
    for (int i = 0; i < 300; ++i) s += "deflated words ";
    return s;
}

const std::string Aes = "Rijndael in counter mode, keyed by PBKDF2 over HMAC-SHA1.\n";
const std::string Pk = "Traditional PKWARE encryption, twelve-byte header.\n";

using TNames = std::vector<std::wstring>;
using TFiles = std::map<std::wstring, std::string>;   // extracted file (under the base) -> bytes

const TNames TreeNames = {L"hello.txt", L"empty.txt", L"sub/", L"sub/text.txt", L"sub/deeper/", L"sub/deeper/leaf.txt"};
const TFiles TreeFiles = {{L"hello.txt", "hello from Info-ZIP\n"},
                          {L"empty.txt", ""},
                          {L"sub\\text.txt", TextTxt()},
                          {L"sub\\deeper\\leaf.txt", "deep\n"}};

struct TCase {
    const char* Fixture;
    std::vector<const char*> Volumes;   // further files of a split set (opened by name only)
    const char* Password;
    TNames Names;
    TFiles Files;
    std::vector<std::wstring> Missing;   // files that must not come out
    std::vector<std::pair<std::wstring, int32_t>> Failures;   // entries that fail, with their code
    bool Valid;
};

std::vector<TCase> Cases() {
    TFiles badLocal = TreeFiles;
    badLocal.erase(L"empty.txt");
    return {
        {"infozip_tree.zip", {}, "", TreeNames, TreeFiles, {}, {}, true},
        {"sfx_adjusted_infozip.zip", {}, "", TreeNames, TreeFiles, {}, {}, true},
        {"pyzip_mixed.zip", {}, "", {L"stored.txt", L"deflated.txt", L"folder/", L"folder/zero.bin"},
         {{L"stored.txt", "stored bytes\nstored bytes\nstored bytes\n"}, {L"deflated.txt", Words()},
          {L"folder\\zero.bin", ""}}, {}, {}, true},
        {"zip64_infozip.zip", {}, "", {L"z64.txt"}, {{L"z64.txt", "zip64 forced on a tiny file\n"}}, {}, {}, true},
        {"split.zip", {"split.z01", "split.z02"}, "", {L"random.bin"}, {}, {}, {}, true},
        {"cp932_noflag_infozip.zip", {}, "", {L"日本語.txt"}, {{L"日本語.txt", "cp932 name\n"}}, {}, {}, true},
        {"utf8_noflag_infozip.zip", {}, "", {L"写真.txt"}, {{L"写真.txt", "utf-8 name\n"}}, {}, {}, true},
        {"utf8_flag_pyzip.zip", {}, "", {L"写真/ｶﾀｶﾅ―.txt"}, {{L"写真\\ｶﾀｶﾅ―.txt", "flagged utf-8\n"}}, {}, {}, true},
        // No end record: the entries are found by their local headers.
        {"damaged_truncated_cd.zip", {}, "", TreeNames, TreeFiles, {}, {}, true},
        {"damaged_bad_local.zip", {}, "", TreeNames, badLocal, {L"empty.txt"}, {{L"empty.txt", 8}}, false},
        {"zipcrypto_7zz.zip", {}, "Crypto7", {L"pk.txt"}, {{L"pk.txt", Pk}}, {}, {}, true},
        {"zipcrypto_bsdtar.zip", {}, "BsdCrypt", {L"pk.txt"}, {{L"pk.txt", Pk}}, {}, {}, true},
        {"zipcrypto_infozip.zip", {}, "InfoZip", {L"pk.txt"}, {{L"pk.txt", Pk}}, {}, {}, true},
        {"aes128_7zz.zip", {}, "Secret128", {L"aes.txt"}, {{L"aes.txt", Aes}}, {}, {}, true},
        {"aes192_7zz.zip", {}, "Secret192", {L"aes.txt"}, {{L"aes.txt", Aes}}, {}, {}, true},
        {"aes256_7zz.zip", {}, "Secret256", {L"aes.txt"}, {{L"aes.txt", Aes}}, {}, {}, true},
        {"ae1_bsdtar.zip", {}, "AeOnePass", {L"aes.txt"}, {{L"aes.txt", Aes}}, {}, {}, true},
        {"ae2_bsdtar.zip", {}, "AeTwoPass", {L"small.txt"}, {{L"small.txt", "short AE-2\n"}}, {}, {}, true},
        {"aes256_ziptool.zip", {}, "ZiptoolPw", {L"libzip.txt"},
         {{L"libzip.txt", "WinZip AES written by libzip's ziptool, 256-bit key."}}, {}, {}, true},
        {"pkware_ziptool.zip", {}, "ZiptoolPk", {L"libzip.txt"},
         {{L"libzip.txt", "Traditional PKWARE written by libzip's ziptool."}}, {}, {}, true},
    };
}

// Lists, tests and extracts the open archive as the case says.
void CheckOpenArchive(TFlow& flow, const TCase& c, const std::wstring& base) {
    EXPECT_EQ(flow.Find(L"*.*"), c.Names);

    flow.CollectFailures(fxaIgnore);
    flow.TestFiles(L"*.*");
    EXPECT_EQ(flow.Failures, c.Failures) << "test";
    EXPECT_EQ(flow.FilesTotal, (int32_t)c.Names.size());

    flow.Failures.clear();
    flow.BaseDir = base;
    flow.ExtractFiles(L"*.*");
    EXPECT_EQ(flow.Failures, c.Failures) << "extract";
    for (const auto& f : c.Files) EXPECT_EQ(ReadFileBytes(base + f.first), f.second) << f.first;
    for (const std::wstring& m : c.Missing) EXPECT_FALSE(FileExists(base + m)) << m;
    EXPECT_EQ(flow.Asked.Asked(), 0u);
}

}  // namespace

TEST(ZipFlowInterop, ArchivesOfOtherToolsThroughTheComponent) {
    for (const TCase& c : Cases()) {
        SCOPED_TRACE(c.Fixture);
        TScratchDir dir(L"interop");

        // From a memory stream, as the installer opens its payload (a split set has no stream form).
        if (c.Volumes.empty()) {
            TFlow flow;
            flow.SetPassword(c.Password);
            flow.OpenFixture(c.Fixture);
            CheckOpenArchive(flow, c, dir / L"stream\\");
            flow.CloseArchive();
        }

        // By name, after the validity test.
        const std::wstring name = dir / AnsiToWide(c.Fixture);
        WriteFileBytes(name, ReadFileBytes(DataFile(c.Fixture)));
        for (const char* v : c.Volumes) WriteFileBytes(dir / AnsiToWide(v), ReadFileBytes(DataFile(v)));
        TFlow named;
        named.SetPassword(c.Password);
        named.FileName = name;
        EXPECT_EQ(named.IsValidArchive(), c.Valid);
        named.OpenArchiveMode(fmOpenRead | fmShareDenyNone);
        CheckOpenArchive(named, c, dir / L"named\\");
        named.CloseArchive();
        EXPECT_EQ(ReadFileBytes(name), ReadFileBytes(DataFile(c.Fixture)));
    }
}

TEST(ZipFlowInterop, SplitSetExtractsWholeAndChecked) {
    TScratchDir dir(L"split");
    for (const char* v : {"split.z01", "split.z02", "split.zip"})
        WriteFileBytes(dir / AnsiToWide(v), ReadFileBytes(DataFile(v)));
    TFlow flow;
    flow.FileName = dir / L"split.zip";
    flow.OpenArchive();
    EXPECT_EQ(flow.GetSpanningMode(), smSplitting);
    TZFArchiveItem item;
    ASSERT_TRUE(flow.FindFirst(L"random.bin", item, ZFAllEntriesAttr, L""));
    EXPECT_EQ(item.UnpackedSize, 150000);
    flow.BaseDir = dir / L"out";
    flow.ExtractFiles(L"random.bin");
    EXPECT_EQ(flow.FilesDone, 1);
    const std::string data = ReadFileBytes(dir / L"out\\random.bin");
    EXPECT_EQ(data.size(), 150000u);
    EXPECT_EQ(Crc32(data), item.ItemCrc);
}

TEST(ZipFlowInterop, EncryptedArchivesWithoutThePasswordAreSkippedNotBroken) {
    // No password and no handler: the dialog is cancelled, the entry skipped, the archive valid.
    for (const char* f : {"zipcrypto_infozip.zip", "aes256_7zz.zip", "ae2_bsdtar.zip"}) {
        TScratchDir dir(L"nopw");
        WriteFileBytes(dir / L"a.zip", ReadFileBytes(DataFile(f)));
        TFlow flow;
        flow.FileName = dir / L"a.zip";
        EXPECT_TRUE(flow.IsValidArchive()) << f;
        EXPECT_EQ(flow.Asked.PasswordCaptions.size(), 1u) << f;
        flow.OpenArchive();
        flow.BaseDir = dir / L"out\\";
        flow.CollectFailures(fxaIgnore);
        flow.ExtractFiles(L"*.*");
        EXPECT_TRUE(flow.Failures.empty()) << f;
        EXPECT_EQ(flow.Asked.PasswordCaptions.size(), 2u) << f;
        TZFArchiveItem item;
        ASSERT_TRUE(flow.FindFirst(L"*.*", item, ZFAllEntriesAttr, L""));
        EXPECT_TRUE(item.IsEncrypted);
        EXPECT_FALSE(FileExists(dir / L"out\\" + item.ItemName)) << f;
    }
}
