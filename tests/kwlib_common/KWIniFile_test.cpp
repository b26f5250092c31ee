// Ini documents: parsing, the text form, sections, typed reads, streams in CP932 and files.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "Classes.h"
#include "KWIniFile.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "kwlib_common/scratch_util.h"
#include "support/TestSupport.h"

namespace {

std::unique_ptr<TKWIniFile> Parse(const std::wstring& AText) {
    auto ini = std::make_unique<TKWIniFile>(L"");
    TStringList lines;
    lines.SetText(AText);
    ini->SetStrings(&lines);
    return ini;
}

std::wstring Text(TKWIniFile& AIni) {
    TStringList lines;
    AIni.GetStrings(&lines);
    return lines.GetText();
}

std::string SavedBytes(TKWIniFile& AIni) {
    TMemoryStream stream;
    AIni.SaveToStream(&stream);
    EXPECT_EQ(stream.GetPosition(), 0);
    return std::string(static_cast<const char*>(stream.GetMemory()), (size_t)stream.GetSize());
}

void LoadBytes(TKWIniFile& AIni, const std::string& ABytes) {
    TMemoryStream stream;
    stream.WriteBuffer(ABytes.data(), (int32_t)ABytes.size());
    stream.SetPosition(0);
    AIni.LoadFromStream(&stream);
}

int32_t FileCount(const std::wstring& ADir) {
    int32_t n = 0;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ADir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return n;
}

std::string ReadBytes(const std::wstring& APath) { return testsupport::ReadFileBytes(APath); }

template <class F>
std::wstring MessageOf(F AAction) {
    try {
        AAction();
    } catch (const Exception& e) {
        return e.Message();
    }
    return L"(no exception)";
}

}  // namespace

// ---- Parsing and the text form --------------------------------------------------------------

TEST(TKWIniFile, ParsesSectionsKeysAndDuplicates) {
    auto ini = Parse(
        L"before=header\r\n"
        L"[a]\r\n"
        L"  x=1\r\n"
        L"no equals sign\r\n"
        L"=no key\r\n"
        L"X=2\r\n"
        L"[ A ]\r\n"
        L"y = 3 = 4\r\n"
        L"[  ]\r\n"
        L";x=1\r\n"
        L"\t\r\n"
        L"[b]\r\n"
        L"k=v\r\n");
    EXPECT_EQ(Text(*ini), L"[a]\r\nx=2\r\ny=3 = 4\r\n;x=1\r\n\r\n[b]\r\nk=v\r\n\r\n");
    EXPECT_EQ(ini->ReadString(L"A", L"X", L"-"), L"2");
    EXPECT_EQ(ini->ReadString(L" a ", L"y", L"-"), L"3 = 4");
    EXPECT_EQ(ini->ReadString(L"a", L"before", L"-"), L"-");
    EXPECT_EQ(ini->ReadString(L"missing", L"x", L"-"), L"-");
    EXPECT_TRUE(ini->SectionExists(L"B"));
    EXPECT_FALSE(ini->SectionExists(L"c"));
    EXPECT_FALSE(ini->GetCaseSensitive());
}

TEST(TKWIniFile, WriteStringAddsSectionsAndKeysInOrder) {
    TKWIniFile ini(L"");
    ini.WriteString(L"s2", L"b", L"1");
    ini.WriteString(L"s1", L"a", L"2");
    ini.WriteString(L"S2", L"a", L"3");
    ini.WriteString(L"s2", L"B", L"4");  // replaces b in its place
    EXPECT_EQ(Text(ini), L"[s2]\r\nb=4\r\na=3\r\n\r\n[s1]\r\na=2\r\n\r\n");
    ini.Clear();
    EXPECT_EQ(Text(ini), L"");
    EXPECT_EQ(ini.FindSection(L"s2"), nullptr);
}

TEST(TKWIniFile, QuoteModes) {
    TKWIniFile ini(L"");
    ini.QuoteMode = 1;
    TStringList lines;
    lines.SetText(L"[q]\r\na=\"x y\"\r\nb=\"say \"\"hi\"\"\"\r\nc=plain\r\nd=\"open\r\n");
    ini.SetStrings(&lines);
    EXPECT_EQ(ini.ReadString(L"q", L"a", L""), L"x y");
    EXPECT_EQ(ini.ReadString(L"q", L"b", L""), L"say \"hi\"");
    EXPECT_EQ(ini.ReadString(L"q", L"c", L""), L"plain");
    EXPECT_EQ(ini.ReadString(L"q", L"d", L""), L"\"open");
    EXPECT_EQ(Text(ini), L"[q]\r\na=\"x y\"\r\nb=\"say \"\"hi\"\"\"\r\nc=\"plain\"\r\nd=\"\"\"open\"\r\n\r\n");
    ini.QuoteMode = 2;
    EXPECT_EQ(ini.ReadString(L"q", L"c", L""), L"plain");
    EXPECT_NE(Text(ini).find(L"c='plain'"), std::wstring::npos);
}

// ---- Sections -------------------------------------------------------------------------------

TEST(TKWIniFile, SectionNamesAreCheckedAndTrimmed) {
    TKWIniFile ini(L"");
    EXPECT_EQ(ini.CheckSectionName(L"  name \t"), L"name");
    struct Case { std::wstring name, message; bool invalidValue; } cases[] = {
        {L"  ", L"Section Name Is Empty.", false},
        {L"a\rb", L"Include KeyCode \"CR\"  in Value:a\rb", true},
        {L"a\nb", L"Include KeyCode \"LF\"  in Valuea\nb", true},
        {L"a=b", L"Include \"=\" in Section Name  :a=b", false},
    };
    for (const Case& c : cases) {
        try {
            ini.WriteString(c.name, L"k", L"v");
            ADD_FAILURE() << "no exception";
        } catch (const EKWIniInvalidValue& e) {
            EXPECT_TRUE(c.invalidValue);
            EXPECT_EQ(e.Message(), c.message);
        } catch (const EKWException& e) {
            EXPECT_FALSE(c.invalidValue);
            EXPECT_EQ(e.Message(), c.message);
            EXPECT_EQ(e.Method(), L"TKWIniFile.CheckSectionName(const AName: String): String");
        }
    }
    EXPECT_THROW(ini.FindSection(L""), EKWException);
    EXPECT_EQ(Text(ini), L"");
}

TEST(TKWIniFile, SectionRename) {
    auto ini = Parse(L"[:Installer]\r\na=1\r\n[x]\r\nb=2\r\n[y]\r\nc=3\r\n");
    ini->SectionRename(L":Installer", L" :Info ");
    EXPECT_EQ(Text(*ini), L"[x]\r\nb=2\r\n\r\n[y]\r\nc=3\r\n\r\n[:Info]\r\na=1\r\n\r\n");
    EXPECT_EQ(ini->ReadString(L":info", L"a", L""), L"1");
    EXPECT_FALSE(ini->SectionExists(L":Installer"));
    // Same name in another case: nothing happens.
    ini->SectionRename(L"X", L"x");
    EXPECT_EQ(ini->FindSection(L"x")->GetName(), L"x");
    // Onto an existing section: the renamed one takes its place, the former one leaves.
    ini->SectionRename(L":Info", L"x");
    EXPECT_EQ(Text(*ini), L"[x]\r\na=1\r\n\r\n[y]\r\nc=3\r\n\r\n");
    EXPECT_EQ(MessageOf([&] { ini->SectionRename(L"none", L"z"); }), L"Section Not Found.");
}

TEST(TKWIniFile, EmptySectionsAreDroppedOnSave) {
    TKWIniFile ini(L"");
    ini.AddSection(L"empty", 0);
    TKWIniSection* keep = ini.AddSection(L"full", 4);
    EXPECT_EQ(ini.AddSection(L"FULL", 4), keep);
    ini.WriteString(L"full", L"k", L"v");
    EXPECT_EQ(SavedBytes(ini), "[full]\r\nk=v\r\n\r\n");
    EXPECT_FALSE(ini.SectionExists(L"empty"));
    EXPECT_EQ(ini.GetSection(L"full"), keep);
    TKWIniSection* added = ini.GetSection(L"new");
    EXPECT_EQ(added->GetName(), L"new");
    ini.DeleteEmptySection(keep);  // has a key: stays
    ini.DeleteEmptySection(added);
    EXPECT_TRUE(ini.SectionExists(L"full"));
    EXPECT_FALSE(ini.SectionExists(L"new"));
}

// ---- Typed reads ----------------------------------------------------------------------------

TEST(TKWIniFile, ReadIntegerAndBool) {
    auto ini = Parse(L"[s]\r\nhex=0x1F\r\nHEX=0X1f\r\nbare=0x\r\nbad=12abc\r\nneg=-5\r\n"
                     L"t=TRUE\r\nf=false\r\none=1\r\nzero=0\r\nfrac=0.5\r\nyes=yes\r\n");
    struct IntCase { const wchar_t* key; int32_t value; } ints[] = {
        {L"hex", 31}, {L"bare", -1}, {L"bad", -1}, {L"neg", -5}, {L"missing", -1}, {L"t", -1},
    };
    for (const IntCase& c : ints) EXPECT_EQ(ini->ReadInteger(L"s", c.key, -1), c.value) << c.key;
    EXPECT_EQ(ini->ReadInteger(L"nosection", L"hex", 7), 7);
    struct BoolCase { const wchar_t* key; bool def, value; } bools[] = {
        {L"t", false, true}, {L"f", true, false}, {L"one", false, true}, {L"zero", true, false},
        {L"frac", false, true}, {L"yes", true, true}, {L"yes", false, false}, {L"missing", true, true},
    };
    for (const BoolCase& c : bools) EXPECT_EQ(ini->ReadBool(L"s", c.key, c.def), c.value) << c.key;
}

TEST(TKWIniFile, ReadHexAndRect) {
    auto ini = Parse(L"[s]\r\nh=0x0000001F\r\nshort=0xff\r\nnoprefix=1F\r\nbad=0x12G4\r\nempty=\r\n"
                     L"r=1,2,3,4\r\nr3=1,2,3\r\nrgap=1,,2,3,4\r\nrbig=1,2,3,4294967296\r\nrtext=1,a,3,4\r\n");
    EXPECT_EQ(ini->ReadHex(L"s", L"h", -1), 31);
    EXPECT_EQ(ini->ReadHex(L"s", L"short", -1), 255);
    EXPECT_EQ(ini->ReadHex(L"s", L"empty", -1), -1);
    EXPECT_EQ(ini->ReadHex(L"s", L"missing", -1), -1);
    EXPECT_EQ(ini->ReadHex(L"none", L"h", -2), -2);
    EXPECT_THROW(ini->ReadHex(L"s", L"noprefix", -1), EConvertError);
    EXPECT_THROW(ini->ReadHex(L"s", L"bad", -1), EConvertError);

    const RECT def = {9, 9, 9, 9};
    auto rect = [&](const wchar_t* key) {
        const RECT r = ini->ReadRect(L"s", key, def);
        return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) +
               L"," + std::to_wstring(r.bottom);
    };
    EXPECT_EQ(rect(L"r"), L"1,2,3,4");
    EXPECT_EQ(rect(L"r3"), L"9,9,9,9");
    EXPECT_EQ(rect(L"rgap"), L"1,2,3,4");
    EXPECT_EQ(rect(L"rtext"), L"9,9,9,9");
    EXPECT_EQ(rect(L"missing"), L"9,9,9,9");
    EXPECT_THROW(rect(L"rbig"), EConvertError);
}

// ---- Streams --------------------------------------------------------------------------------

// Saved in CP932 with CR LF and without a byte-order mark, through the normalisers both ways.
TEST(TKWIniFile, SavesAndLoadsCp932ThroughTheNormalisers) {
    TKWIniFile ini(L"");
    ini.WriteString(L":Installer", L"ShopName", L"写真館\x2014本店");
    ini.WriteString(L":Installer", L"Minus", L"1\x2212" L"2");
    const std::string bytes = SavedBytes(ini);
    EXPECT_EQ(bytes, "[:Installer]\r\nShopName=\x8e\xca\x90\x5e\x8a\xd9\x81\x5c\x96\x7b\x93\x58\r\n"
                     "Minus=1\x81\x7c" "2\r\n\r\n");
    TKWIniFile back(L"");
    LoadBytes(back, bytes);
    EXPECT_EQ(back.ReadString(L":Installer", L"ShopName", L""), L"写真館\x2014本店");
    EXPECT_EQ(back.ReadString(L":Installer", L"Minus", L""), L"1\xFF0D" L"2");
    // Loading adds to what is there.
    LoadBytes(back, "[more]\r\nk=v\r\n");
    EXPECT_EQ(back.ReadString(L":Installer", L"ShopName", L""), L"写真館\x2014本店");
    EXPECT_EQ(back.ReadString(L"more", L"k", L""), L"v");
}

TEST(TKWIniFile, LoadsUnicodeWithAByteOrderMark) {
    TKWIniFile ini(L"");
    LoadBytes(ini, "\xEF\xBB\xBF[s]\r\nname=\xE5\x86\x99\xE7\x9C\x9F\xE2\x80\x95\r\n");
    EXPECT_EQ(ini.ReadString(L"s", L"name", L""), L"写真\x2014");
}

TEST(TKWIniFile, NilArgumentsRaise) {
    TKWIniFile ini(L"");
    EXPECT_EQ(MessageOf([&] { ini.LoadFromStream(nullptr); }), L"Stream is not Assigned.");
    EXPECT_EQ(MessageOf([&] { ini.SaveToStream(nullptr); }), L"Stream is not Assigned.");
    EXPECT_EQ(MessageOf([&] { ini.GetStrings(nullptr); }), L"Argument \"AStrings\" isnot Assigned");
}

// ---- Files ----------------------------------------------------------------------------------

TEST(TKWIniFile, UpdateFileAndLoadFromFile) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"sub\\deeper\\info.ini";
    {
        TKWIniFile ini(path);  // no file yet: empty
        EXPECT_EQ(Text(ini), L"");
        ini.WriteString(L":Info", L"InstallDir", L"C:\\lumi-vera\\写真\\");
        ini.UpdateFile(5, 10);
    }
    EXPECT_EQ(ReadBytes(path), "[:Info]\r\nInstallDir=C:\\lumi-vera\\\x8e\xca\x90\x5e\\\r\n\r\n");
    TKWIniFile again(path);
    EXPECT_EQ(again.ReadString(L":Info", L"InstallDir", L""), L"C:\\lumi-vera\\写真\\");
    // A shorter document replaces the file whole.
    again.Clear();
    again.WriteString(L"a", L"b", L"c");
    again.UpdateFile(0, 0);
    EXPECT_EQ(ReadBytes(path), "[a]\r\nb=c\r\n\r\n");

    // SetFileName always empties; the same name again does not reload.
    again.SetFileName(path);
    EXPECT_EQ(Text(again), L"");
    again.SetFileName(L"");
    again.SetFileName(path);
    EXPECT_EQ(again.ReadString(L"a", L"b", L""), L"c");

    TKWIniFile missing(L"");
    missing.SetFileName(dir.Path() + L"none.ini");
    EXPECT_EQ(MessageOf([&] { missing.LoadFromFile(); }), L"File Not Found.");
}

// A read-only file and one that another handle holds open for reading load at once.
TEST(TKWIniFile, LoadFromFileOpensForReadingOnly) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"ro.ini";
    WriteBytes(path, "[s]\r\nk=v\r\n");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    TKWIniFile ini(path);
    EXPECT_EQ(ini.ReadString(L"s", L"k", L""), L"v");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    CloseHandle(reader);
}

// A locked file: UpdateFile retries, gives up with "Open File is Failed." after ATryNum + 1
// attempts, and leaves the old file whole and no temporary file behind.
TEST(TKWIniFile, UpdateFileRetriesWhileTheFileIsLocked) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"locked.ini";
    WriteBytes(path, "[old]\r\nk=v\r\n");
    TKWIniFile ini(L"");
    ini.SetFileName(path);
    ini.WriteString(L"new", L"k", L"v");

    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    try {
        ini.UpdateFile(5, 500);
        ADD_FAILURE() << "no exception";
    } catch (const EKWException& e) {
        EXPECT_EQ(e.Message(), L"Open File is Failed.");
        EXPECT_EQ(e.Method(), L"TKWIniFile.UpdateFile(const ATryNum: Integer; const ARetrySleep: Integer)");
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(2400));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4500));
    CloseHandle(lock);
    EXPECT_EQ(ReadBytes(path), "[old]\r\nk=v\r\n");
    EXPECT_EQ(FileCount(dir.Path()), 1);

    // A lock released while the retries run: the update goes through.
    lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::thread release([lock] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CloseHandle(lock);
    });
    ini.UpdateFile(5, 200);
    release.join();
    EXPECT_EQ(ReadBytes(path), "[old]\r\nk=v\r\n\r\n[new]\r\nk=v\r\n\r\n");
    EXPECT_EQ(FileCount(dir.Path()), 1);
}
