// The installer payload: trailer and settings block of packer-made installers, the encrypted
// uninstall data, and the extraction of the archive with the uninstaller files.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "CommonInstaller.h"
#include "KWIniFile.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "kwlib_common/log_capture.h"
#include "kwlib_common/scratch_util.h"
#include "support/TestSupport.h"

namespace {

// Fixtures made by tests/data/installer/make_fixtures.sh and make_extract_fixtures.sh with
// tools/pack_installer.py.
std::wstring Fixture(const char* AName) {
    return Utf8ToWide(std::string(TEST_DATA_DIR "/installer/") + AName);
}

std::string ReadBytes(const std::wstring& APath) { return testsupport::ReadFileBytes(APath); }

struct Trailer {
    bool ok = false;
    int64_t exe = -7, zip = -7, required = -7, settings = -7;
};

Trailer Read(const std::wstring& APath, TKWIniFile& ASettings) {
    Trailer t;
    t.ok = ReadInstallerTrailer(APath, t.exe, t.zip, t.required, t.settings, &ASettings);
    return t;
}

const wchar_t* const kShopName = L"写真館\x2014本店";

// Every file and folder below ADir (folders with a trailing "\"), relative to it, sorted.
std::vector<std::wstring> Tree(const std::wstring& ADir) { return testsupport::ListTree(ADir); }

// What the progress callback saw.
struct TProgressLog {
    std::vector<double> Values;
    std::vector<std::wstring> Files;
    int32_t NullSenders = 0;
    TzpProgress Callback() {
        return [this](TObject* ASender, double AProgress, const std::wstring& AFileName, bool&) {
            if (!ASender) ++NullSenders;
            Values.push_back(AProgress);
            Files.push_back(AFileName);
        };
    }
};

// The tree's files as the packer stored them (UTF-8 text in the fixture script).
const std::map<std::wstring, std::string> kTreeFiles = {
    {L"LICENSE", "licence text\r\n"},
    {L"empty.txt", ""},
    {L"lumivera_Quillbox.exe", "lumivera_Quillbox stand-in\r\n"},
    {L"readme.txt", "lumi-vera Quillbox\r\n"},
    {L"データ\\写真.txt", u8"写真"},
    {L"データ\\サブ\\深い.txt", u8"深い階層のファイル\r\n"},
};

std::vector<std::wstring> TreeWith(std::initializer_list<const wchar_t*> AExtra) {
    std::vector<std::wstring> out = {L"データ\\", L"データ\\サブ\\", L"空\\"};
    for (const auto& f : kTreeFiles) out.push_back(f.first);
    for (const wchar_t* e : AExtra) out.push_back(e);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

// ---- The trailer ----------------------------------------------------------------------------

TEST(ReadInstallerTrailer, PackerMadeInstallerValidates) {
    TKWIniFile settings(L"");
    settings.WriteString(L"stale", L"k", L"v");  // cleared by the read
    const Trailer t = Read(Fixture("valid.bin"), settings);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.exe, 64);
    EXPECT_EQ(t.required, 26);  // readme.txt (20 bytes) and データ/写真.txt (6 bytes)
    const std::string file = ReadBytes(Fixture("valid.bin"));
    EXPECT_EQ(t.exe + t.zip + t.settings + 256, (int64_t)file.size());
    EXPECT_EQ(file.substr(0, 2), "MZ");
    EXPECT_EQ(file.substr((size_t)t.exe, 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(file.substr((size_t)(t.exe + t.zip - 22), 4), std::string("PK\x05\x06", 4));

    EXPECT_FALSE(settings.SectionExists(L"stale"));
    EXPECT_EQ(settings.ReadString(L":Installer", L"SpecialCode", L""), L"0123456789_ABCDEFGH");
    EXPECT_EQ(settings.ReadString(L":Installer", L"ShopName", L""), kShopName);
    EXPECT_TRUE(settings.ReadBool(L":Installer", L"Labo", false));
    EXPECT_EQ(settings.ReadInteger(L":Installer", L"MinorVersion", 0), 7);
    EXPECT_EQ(settings.ReadInteger(L":Installer", L"Build", 0), 2);
    EXPECT_TRUE(IsValidInstallerSettings(&settings));
}

TEST(ReadInstallerTrailer, MarkerWithTrailingBlanksValidates) {
    TKWIniFile settings(L"");
    EXPECT_TRUE(Read(Fixture("marker_trailing_blanks.bin"), settings).ok);
    EXPECT_EQ(settings.ReadString(L":Installer", L"SpecialCode", L""), L"0123456789_ABCDEFGH");
}

// Every broken variant is refused, and the settings are left alone.
TEST(ReadInstallerTrailer, BrokenInstallersAreRefused) {
    const char* const cases[] = {
        "marker_lower_case.bin",       // the marker is case-sensitive
        "marker_fills_80_bytes.bin",   // 40 units without a zero: not the marker
        "exe_size_plus_one.bin",       // file one byte shorter than the sizes say
        "settings_size_minus_one.bin", // file one byte longer
        "negative_zip_size.bin",       // sizes add up, but one is negative
        "negative_required_size.bin",
        "sum_overflows.bin",           // 2^63-1 twice: the sum wraps to the file size
    };
    for (const char* name : cases) {
        TKWIniFile settings(L"");
        settings.WriteString(L"keep", L"k", L"v");
        EXPECT_FALSE(Read(Fixture(name), settings).ok) << name;
        EXPECT_EQ(settings.ReadString(L"keep", L"k", L""), L"v") << name;
    }
}

TEST(ReadInstallerTrailer, ShortMissingAndLockedFilesAreRefused) {
    TKWIniFile settings(L"");
    int64_t a, b, c, d;
    EXPECT_FALSE(ReadInstallerTrailer(Fixture("valid.bin"), a, b, c, d, nullptr));
    TScratchDir dir;
    EXPECT_FALSE(Read(dir.Path() + L"missing.bin", settings).ok);

    // The trailer alone, cut by one byte, and nothing at all.
    const std::string valid = ReadBytes(Fixture("valid.bin"));
    const std::wstring path = dir.Path() + L"kwinst_short.bin";
    for (const std::string& bytes : {valid.substr(valid.size() - 255), std::string()}) {
        WriteBytes(path, bytes);
        EXPECT_FALSE(Read(path, settings).ok) << bytes.size();
    }
    // Held open by another handle: the exclusive open fails.
    WriteBytes(path, valid);
    EXPECT_TRUE(Read(path, settings).ok);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Read(path, settings).ok);
    CloseHandle(h);
}

// ---- The settings check ---------------------------------------------------------------------

// A trailer can be valid while its settings cannot drive an install: no block, no shop code.
TEST(IsValidInstallerSettings, MissingShopCodeIsCorrupt) {
    for (const char* name : {"empty_settings.bin", "no_special_code.bin"}) {
        TKWIniFile settings(L"");
        const Trailer t = Read(Fixture(name), settings);
        ASSERT_TRUE(t.ok) << name;
        EXPECT_FALSE(IsValidInstallerSettings(&settings)) << name;
    }
    TKWIniFile settings(L"");
    EXPECT_EQ(Read(Fixture("empty_settings.bin"), settings).settings, 0);
    EXPECT_EQ(settings.ReadString(L":Installer", L"ShopName", L"default"), L"default");
}

TEST(IsValidInstallerSettings, ShopCodeMustBeOneFolderName) {
    struct Case { const wchar_t* code; bool valid; } cases[] = {
        {L"0123456789_ABCDEFGH", true}, {L"shop", true}, {L"a.b", true},
        {L"", false}, {L"   ", false}, {L".", false}, {L"..", false}, {L". .", false},
        {L"..\\..", false}, {L"a/b", false}, {L"C:", false}, {L"a*", false}, {L"a|b", false},
        {L"a\tb", false},
    };
    for (const Case& c : cases) {
        TKWIniFile settings(L"");
        settings.WriteString(L":Installer", L"SpecialCode", c.code);
        EXPECT_EQ(IsValidInstallerSettings(&settings), c.valid) << c.code;
    }
    EXPECT_FALSE(IsValidInstallerSettings(nullptr));
}

// ---- The uninstall data ---------------------------------------------------------------------

TEST(UninstallData, RoundTripsThroughTheCipherAndCp932) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwinst_uninstall.dat";
    TKWIniFile settings(L"");
    ASSERT_TRUE(Read(Fixture("valid.bin"), settings).ok);
    settings.AddSection(L"empty", 0);
    WriteBytes(path, "old content that is longer than the new one, to be replaced whole ...........");
    ASSERT_TRUE(SaveUninstallData(path, &settings));
    const std::string cipher = ReadBytes(path);
    EXPECT_EQ(cipher.size() % 8, 0u);

    TKWIniFile back(L"");
    back.WriteString(L"other", L"k", L"v");  // loading adds to the document
    ASSERT_TRUE(LoadUninstallData(path, &back));
    EXPECT_EQ(back.ReadString(L":Installer", L"ShopName", L""), kShopName);
    EXPECT_EQ(back.ReadString(L":Installer", L"SpecialCode", L""), L"0123456789_ABCDEFGH");
    EXPECT_EQ(back.ReadString(L"other", L"k", L""), L"v");
    EXPECT_FALSE(back.SectionExists(L"empty"));
    EXPECT_TRUE(IsValidInstallerSettings(&back));
}

// Our file is byte for byte what OpenSSL made of the same settings, and OpenSSL's file loads.
TEST(UninstallData, MatchesOpenSslCipherText) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwinst_openssl.dat";
    TKWIniFile settings(L"");
    settings.WriteString(L":Installer", L"SpecialCode", L"0123456789_ABCDEFGH");
    settings.WriteString(L":Installer", L"ShopName", kShopName);
    settings.WriteString(L":Installer", L"Labo", L"1");
    ASSERT_TRUE(SaveUninstallData(path, &settings));
    EXPECT_EQ(ReadBytes(path), ReadBytes(Fixture("uninstall_openssl.dat")));

    TKWIniFile back(L"");
    ASSERT_TRUE(LoadUninstallData(Fixture("uninstall_openssl.dat"), &back));
    EXPECT_EQ(back.ReadString(L":Installer", L"ShopName", L""), kShopName);
    EXPECT_TRUE(back.ReadBool(L":Installer", L"Labo", false));
}

TEST(UninstallData, BrokenFilesFailToLoad) {
    const std::string good = ReadBytes(Fixture("uninstall_openssl.dat"));
    std::string badPadding = good;
    badPadding.back() ^= 0x01;
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwinst_bad.dat";
    for (const std::string& bytes : {good.substr(0, good.size() - 1), good.substr(0, 7), badPadding,
                                     std::string()}) {
        WriteBytes(path, bytes);
        TKWIniFile settings(L"");
        EXPECT_FALSE(LoadUninstallData(path, &settings)) << bytes.size();
    }
    TKWIniFile settings(L"");
    EXPECT_FALSE(LoadUninstallData(dir.Path() + L"missing.dat", &settings));
    EXPECT_FALSE(LoadUninstallData(Fixture("uninstall_openssl.dat"), nullptr));
    EXPECT_FALSE(SaveUninstallData(path, nullptr));
}

// ---- The extraction ------------------------------------------------------------------------

TEST(ExtractInstaller, PackerMadeInstallerUnpacksWithItsUninstaller) {
    TScratchDir dir(L"KWExtract_");
    // The target does not exist yet, two levels deep and without a trailing "\".
    const std::wstring target = dir.Path() + L"ORVANE\\写真館";
    TProgressLog progress;
    ASSERT_TRUE(ExtractInstaller(Fixture("extract_tree.bin"), target, true, progress.Callback()));

    const std::wstring t = target + L"\\";
    EXPECT_EQ(Tree(t), TreeWith({L"!uninstall.dat", L"!uninstaller.exe"}));
    for (const auto& f : kTreeFiles) EXPECT_EQ(ReadBytes(t + f.first), f.second) << WideToUtf8(f.first);

    // The uninstaller is the program image alone; its data decrypts to the installer's settings.
    TKWIniFile settings(L"");
    int64_t exeSize, zipSize, required, settingsSize;
    ASSERT_TRUE(ReadInstallerTrailer(Fixture("extract_tree.bin"), exeSize, zipSize, required, settingsSize, &settings));
    EXPECT_EQ(exeSize, 128);
    EXPECT_EQ(ReadBytes(t + L"!uninstaller.exe"), ReadBytes(Fixture("extract_tree.bin")).substr(0, 128));
    TKWIniFile back(L"");
    ASSERT_TRUE(LoadUninstallData(t + L"!uninstall.dat", &back));
    for (const wchar_t* key : {L"SpecialCode", L"ShopName", L"MajorVersion", L"MinorVersion", L"ReleaseVersion",
                               L"Build", L"Labo"})
        EXPECT_EQ(back.ReadString(L":Installer", key, L"?"), settings.ReadString(L":Installer", key, L"!"))
            << WideToUtf8(key);
    EXPECT_EQ(back.ReadString(L":Installer", L"ShopName", L""), kShopName);

    // Progress: from 0 to 100, never backwards, the archiver as sender, the entries' names.
    ASSERT_GE(progress.Values.size(), 3u);
    EXPECT_EQ(progress.Values.front(), 0.0);
    EXPECT_EQ(progress.Values.back(), 100.0);
    for (size_t i = 1; i < progress.Values.size(); ++i) EXPECT_GE(progress.Values[i], progress.Values[i - 1]) << i;
    EXPECT_EQ(progress.NullSenders, 0);
    EXPECT_NE(std::find(progress.Files.begin(), progress.Files.end(), L"データ\\サブ\\深い.txt"), progress.Files.end());
}

// The archive is read in place from the installer file, which stays open meanwhile: others may
// read it but nobody may change it until the extraction is over.
TEST(ExtractInstaller, InstallerFileCannotChangeWhileItsArchiveIsRead) {
    TScratchDir dir(L"KWExtract_");
    const std::wstring installer = dir.Path() + L"setup.bin";
    WriteBytes(installer, ReadBytes(Fixture("extract_tree.bin")));
    auto opens = [&](uint32_t AMode) {
        try {
            TFileStream file(installer, AMode);
            return true;
        } catch (const EStreamError&) {
            return false;
        }
    };
    int32_t writable = 0, readable = 0, events = 0;
    const TzpProgress progress = [&](TObject*, double, const std::wstring&, bool&) {
        ++events;
        writable += opens(fmOpenReadWrite | fmShareDenyNone);
        readable += opens(fmOpenRead | fmShareDenyNone);
    };
    ASSERT_TRUE(ExtractInstaller(installer, dir.Path() + L"app", true, progress));
    ASSERT_GT(events, 0);
    EXPECT_EQ(writable, 0);
    EXPECT_EQ(readable, events);
    EXPECT_TRUE(opens(fmOpenReadWrite | fmShareExclusive));
}

TEST(ExtractInstaller, WithoutUninstallerOnlyTheArchiveAndOverAnOldInstallation) {
    TScratchDir dir(L"KWExtract_");
    ASSERT_TRUE(ExtractInstaller(Fixture("extract_tree.bin"), dir.Path(), false, nullptr));
    EXPECT_EQ(Tree(dir.Path()), TreeWith({}));

    // Again over the same folder: changed and read-only files are replaced, others stay.
    const std::wstring readme = dir.Path() + L"readme.txt";
    WriteBytes(readme, "changed by the user");
    SetFileAttributesW(readme.c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(dir.Path() + L"user.ini", "kept");
    ASSERT_TRUE(ExtractInstaller(Fixture("extract_tree.bin"), dir.Path(), true, nullptr));
    EXPECT_EQ(ReadBytes(readme), "lumi-vera Quillbox\r\n");
    EXPECT_EQ(ReadBytes(dir.Path() + L"user.ini"), "kept");
    EXPECT_TRUE(Exists(dir.Path() + L"!uninstaller.exe"));
}

// Installers that must not install: each fails without writing the uninstaller files, and no
// entry lands outside the target folder.
TEST(ExtractInstaller, BrokenInstallersFail) {
    struct Case {
        const char* fixture;
        std::vector<std::wstring> left;   // what stays in the target folder
    } cases[] = {
        {"missing.bin", {}},
        {"marker_lower_case.bin", {}},           // not an installer
        {"extract_zeroed_archive.bin", {}},      // no archive behind the image
        // "../evil.txt" is refused; readme.txt and the folder AA came before it and stay.
        {"extract_zip_slip.bin", {L"AA\\", L"readme.txt"}},
        // data.txt inflates to the right length with the wrong CRC-32: no file, and the
        // extraction stops there.
        {"extract_bad_crc.bin", {}},
    };
    for (const Case& c : cases) {
        TScratchDir dir(L"KWExtract_");
        const std::wstring target = dir.Path() + L"app\\";
        EXPECT_FALSE(ExtractInstaller(Fixture(c.fixture), target, true, nullptr)) << c.fixture;
        EXPECT_EQ(Tree(target), c.left) << c.fixture;
        EXPECT_EQ(Tree(dir.Path()).size(), Exists(target) ? c.left.size() + 1 : 0u) << c.fixture;
    }
}

TEST(ExtractInstaller, TargetsThatCannotBeWrittenFail) {
    TScratchDir dir(L"KWExtract_");
    // The target folder's name is taken by a file: nothing is read or written.
    WriteBytes(dir.Path() + L"app", "a file");
    EXPECT_FALSE(ExtractInstaller(Fixture("extract_tree.bin"), dir.Path() + L"app", true, nullptr));
    EXPECT_EQ(ReadBytes(dir.Path() + L"app"), "a file");

    // An installed file in use by a running program cannot be replaced.
    const std::wstring target = dir.Path() + L"busy\\";
    ASSERT_TRUE(ExtractInstaller(Fixture("extract_tree.bin"), target, false, nullptr));
    HANDLE h = CreateFileW((target + L"lumivera_Quillbox.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ExtractInstaller(Fixture("extract_tree.bin"), target, true, nullptr));
    CloseHandle(h);
    EXPECT_FALSE(Exists(target + L"!uninstaller.exe"));

    // Likewise the uninstaller of the old installation, still running.
    ASSERT_TRUE(ExtractInstaller(Fixture("extract_tree.bin"), target, true, nullptr));
    h = CreateFileW((target + L"!uninstaller.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ExtractInstaller(Fixture("extract_tree.bin"), target, true, nullptr));
    CloseHandle(h);
}

// A disk that fills up during the extraction. Run by the test "installer_disk_full", which starts
// this program with a file-size limit of 1 MiB: the 4 MiB entry cannot be written whole. The
// first failed write ends the extraction; it is not tried again.
TEST(ExtractInstaller, DISABLED_FullDiskFails) {
    TLogCapture log;
    TScratchDir dir(L"KWExtract_");
    TProgressLog progress;
    EXPECT_FALSE(ExtractInstaller(Fixture("extract_4mib_zeros.bin"), dir.Path(), true, progress.Callback()));
    EXPECT_EQ(Tree(dir.Path()), std::vector<std::wstring>{L"a_small.txt"});
    EXPECT_EQ(progress.Values.back(), 100.0);
    EXPECT_EQ(log.Texts(), std::vector<std::wstring>{L"OnDiskFull:No -> 0 Name -> "});
}
