// The wizard's start-up: mode from the executable's name, the payload's settings and the names
// formed from them, the previous installation, "launch:off", the drive list, the refusals with
// their messages, and the temporary copy of a payload file that cannot be opened exclusively.
#include <gtest/gtest.h>

#include "CommonInstaller.h"
#include "FormMainHarness.h"
#include "KWIniFile.h"
#include "installer_e2e/install_fixture.h"

namespace {

const wchar_t* const kCode = L"0123456789_ABCDEFGH";

// Runs the start-up; in installer mode it stops at the licence, which a test program lacks.
void StartInstaller(TTestFormMain& AForm) { EXPECT_THROW(AForm.Start(), EResNotFound); }

}  // namespace

TEST(FormMainStartup, InstallerModeReadsTheSettingsAndFormsEveryName) {
    TTestFormMain form;
    form.ExeName = FixturePath("valid.bin");
    TBoxScript boxes;
    StartInstaller(form);

    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_FALSE(form.FUninstallMode);
    EXPECT_EQ(form.FPayloadFile, form.ExeName);
    EXPECT_EQ(form.FExeSize, 64);
    EXPECT_GT(form.FRequiredSize, 0);
    EXPECT_EQ(form.FShopCode, kCode);
    EXPECT_EQ(form.FShopName, L"写真館\x2014本店");
    EXPECT_TRUE(form.FLabo);
    EXPECT_EQ(form.FIconIndex, 1);
    EXPECT_EQ(form.FUninstallKey,
              L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ORVANE lumi-vera Quillbox(0123456789_ABCDEFGH)");
    EXPECT_EQ(form.FInfo->GetFileName(), CommonEditionDir + kCode + L"\\info.ini");
    EXPECT_EQ(form.FDefaultDir, KWGetWindowsDriveRoot() + L"lumi-vera\\Quillbox\\" + kCode + L"\\");
    EXPECT_EQ(form.FTargetDir, form.FDefaultDir);
    EXPECT_EQ(form.edtPath->Text(), form.FDefaultDir);
    EXPECT_EQ(form.lblDataSize->Caption(), IntToStr(form.FRequiredSize) + L" byte");
    EXPECT_EQ(form.lblFreeSize->Caption(), IntToStr(form.FFreeSpace) + L" byte");
    EXPECT_GT(form.FFreeSpace, 0);
    EXPECT_FALSE(form.FHasPrevInstall);
    EXPECT_EQ(form.FPrevInstallDir, L"");
    // No tab shows: pages change only by the program.
    for (int32_t i = 0; i < form.pageWiz->GetPageCount(); ++i) EXPECT_FALSE(form.pageWiz->GetPage(i)->TabVisible());
    EXPECT_TRUE(form.chkRunProgram->Checked());
    EXPECT_TRUE(form.chkRunProgram->Enabled());
}

TEST(FormMainStartup, DriveListNamesEveryFixedDriveAndSelectsTheProgramFilesDrive) {
    TTestFormMain form;
    form.ExeName = FixturePath("valid.bin");
    StartInstaller(form);
    ASSERT_FALSE(form.FFixedDrives.empty());
    ASSERT_EQ(form.cboDrive->Items()->GetCount(), (int32_t)form.FFixedDrives.size());
    for (size_t i = 0; i < form.FFixedDrives.size(); ++i) {
        const std::wstring root = form.FFixedDrives[i];
        EXPECT_EQ(form.cboDrive->Items()->GetStrings((int32_t)i),
                  root.substr(0, 1) + L" ドライブ - " + KWGetVolumeLabel(root));
    }
    const std::wstring programDrive = KWGetProgramFilesDir().substr(0, 1) + L":\\";
    EXPECT_EQ(form.FDriveIndex, KWIndexOfString(form.FFixedDrives, programDrive, false, false));
    EXPECT_EQ(form.cboDrive->ItemIndex(), form.FDriveIndex);
    EXPECT_FALSE(form.cboDrive->Visible());
}

TEST(FormMainStartup, PreviousInstallationComesFromTheInfoFile) {
    TTempDir old(L"previous");
    CommonConst_Initialize();
    const std::wstring oldDir = old.Path.substr(0, old.Path.size() - 1);   // as written, without "\"
    struct {
        std::wstring InstallDir;
        bool Exists;
        std::wstring Kept;
    } cases[] = {
        {oldDir, true, old.Path},
        {oldDir + L"_gone", false, oldDir + L"_gone\\"},
        {L"", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.InstallDir));
        installfx::WriteBytes(CommonEditionDir + kCode + L"\\info.ini",
                              "[:Info]\r\nInstallDir=" + WideToAnsi(c.InstallDir) + "\r\n");
        TTestFormMain form;
        form.ExeName = FixturePath("valid.bin");
        StartInstaller(form);
        EXPECT_EQ(form.FHasPrevInstall, c.Exists);
        EXPECT_EQ(form.FPrevInstallDir, c.Kept);
    }
    KWDeleteFolder(CommonMakerDir, false);
}

TEST(FormMainStartup, LaunchOffAsFirstArgumentUnticksAndDisablesRunProgram) {
    struct {
        std::vector<std::wstring> Params;
        bool Off;
    } cases[] = {
        {{L"launch:off"}, true},
        {{L"LAUNCH:OFF"}, true},
        {{L"x", L"launch:off"}, false},
        {{L" launch:off"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Params.empty() ? std::string("none") : WideToUtf8(c.Params.back()));
        TTestFormMain form;
        form.ExeName = FixturePath("valid.bin");
        form.Params = c.Params;
        StartInstaller(form);
        EXPECT_EQ(form.chkRunProgram->Checked(), !c.Off);
        EXPECT_EQ(form.chkRunProgram->Enabled(), !c.Off);
    }
}

TEST(FormMainStartup, BrokenInstallersAreRefusedAsCorrupt) {
    // A wrong marker, a size that does not add up, a missing file, and settings without a shop
    // code (which would make every per-shop name the shared one).
    for (const char* name : {"marker_lower_case.bin", "settings_size_minus_one.bin", "missing.bin",
                             "no_special_code.bin", "empty_settings.bin"}) {
        SCOPED_TRACE(name);
        TTestFormMain form;
        form.ExeName = FixturePath(name);
        TBoxScript boxes;
        EXPECT_THROW(form.Start(), TProcessEnded);
        EXPECT_EQ(form.Ends, 1);
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Text, L"インストーラが破損しています。");
        EXPECT_EQ(boxes.Boxes[0].Type, MB_OK);
        EXPECT_EQ(boxes.Boxes[0].Owner, form.Handle());
    }
}

TEST(FormMainStartup, UninstallerModeNeedsTheArgumentAndSoundUninstallData) {
    TTempDir dir(L"uninstaller_mode");
    TKWIniFile good(L"");
    installfx::FillSettings(good);
    TKWIniFile noCode(L"");
    noCode.WriteString(L":Installer", L"ShopName", L"店");

    struct {
        const wchar_t* ExeName;
        std::vector<std::wstring> Params;
        TKWIniFile* Data;
        const wchar_t* Message;   // nullptr: silent end; L"": starts
    } cases[] = {
        {L"!uninstaller.exe", {}, &good, nullptr},
        {L"!uninstaller.exe", {L"/x"}, &good, nullptr},
        {L"!uninstaller.exe", {L"launch:off", L"/uninstall"}, &good, nullptr},
        {L"!uninstaller.exe", {L"/uninstall"}, nullptr, L"アンインストーラが破損しています。"},
        {L"!uninstaller.exe", {L"/uninstall"}, &noCode, L"アンインストーラが破損しています。"},
        {L"!UNINSTALLER.EXE", {L"/UNINSTALL"}, &good, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.ExeName) + " " + (c.Params.empty() ? "" : WideToUtf8(c.Params[0])));
        KWDeleteFile(dir.Path + L"!uninstall.dat");
        if (c.Data) SaveUninstallData(dir.Path + L"!uninstall.dat", c.Data);
        TTestFormMain form;
        form.ExeName = dir.Path + c.ExeName;
        form.Params = c.Params;
        TBoxScript boxes;
        if (c.Message && !*c.Message) {
            form.Start();
            EXPECT_TRUE(form.FUninstallMode);
            EXPECT_EQ(form.pageWiz->ActivePage(), form.tsStartUninstall);
            EXPECT_EQ(form.FShopCode, installfx::ShopCode);
            EXPECT_EQ(form.FShopName, installfx::ShopName);
            EXPECT_EQ(form.FUninstallKey, installfx::UninstallKey);
            EXPECT_EQ(form.FInfo->GetFileName(), CommonEditionDir + kCode + L"\\info.ini");
            EXPECT_FALSE(form.FLabo);
            EXPECT_EQ(form.FIconIndex, 0);
            EXPECT_FALSE(form.btnBack->Visible());
            EXPECT_TRUE(form.btnNext->Visible() && form.btnNext->Enabled());
            EXPECT_TRUE(form.btnCancel->Visible() && form.btnCancel->Enabled());
            EXPECT_TRUE(boxes.Boxes.empty());
            continue;
        }
        EXPECT_THROW(form.Start(), TProcessEnded);
        if (c.Message) EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{c.Message});
        else EXPECT_TRUE(boxes.Boxes.empty());
    }
}

TEST(FormMainStartup, PayloadThatCannotBeOpenedExclusivelyIsReadFromATemporaryCopy) {
    TTempDir dir(L"payload_copy");
    const std::wstring source = dir.Path + L"setup.exe";
    installfx::WriteBytes(source, "payload bytes");
    TTestFormMain form;

    // Free to open: the name stays.
    std::wstring name = source;
    form.PreparePayloadFile(name);
    EXPECT_EQ(name, source);

    // Held open for reading by someone else, as Windows holds a running program: a copy.
    HANDLE held = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    name = source;
    form.PreparePayloadFile(name);
    CloseHandle(held);
    EXPECT_NE(name, source);
    EXPECT_EQ(name.substr(0, KWGetTempDir().size() + 7), KWGetTempDir() + L"KW_TMP_");
    EXPECT_EQ(name.size(), KWGetTempDir().size() + 7 + 16);
    EXPECT_EQ(KWGetFileSize(name), 13);
    KWDeleteFile(name);

    // Held without any sharing: the copy fails too and the own path stays.
    held = CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    name = source;
    form.PreparePayloadFile(name);
    CloseHandle(held);
    EXPECT_EQ(name, source);
}
