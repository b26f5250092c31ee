// The installer payload: trailer and settings block of packer-made installers, and the
// encrypted uninstall data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "CommonInstaller.h"
#include "KWIniFile.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "kwlib_common/scratch_util.h"

namespace {

// Fixtures made by tests/data/installer/make_fixtures.sh with tools/pack_installer.py.
std::wstring Fixture(const char* AName) {
    return Utf8ToWide(std::string(TEST_DATA_DIR "/installer/") + AName);
}

std::string ReadBytes(const std::wstring& APath) {
    TMemoryStream m;
    m.LoadFromFile(APath);
    return std::string(static_cast<const char*>(m.GetMemory()), (size_t)m.GetSize());
}

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
