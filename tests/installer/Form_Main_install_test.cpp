// The install step and the finish actions, run from the confirmation page against packer-made
// installers: what an installation leaves (files, uninstaller, registry entry, info file,
// shortcuts), a previous installation removed first, and the failures that end the process.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CommonInstaller.h"
#include "FormMainHarness.h"
#include "Forms.h"
#include "KWIniFile.h"
#include "installer_e2e/install_fixture.h"

using namespace installfx;

namespace {

// The start-up of the real form on a fixture; it stops at the licence, which a test program
// lacks, with every field of the installer mode set.
void StartInstaller(TTestFormMain& AForm, const char* AFixture) {
    AForm.ExeName = FixturePath(AFixture);
    EXPECT_THROW(AForm.Start(), EResNotFound);
}

// The folder page's choice, then Next on the confirmation page.
void InstallInto(TTestFormMain& AForm, const std::wstring& ATarget) {
    AForm.FTargetDir = ATarget;
    AForm.ShowPage(AForm.tsConfirm);
    AForm.GoNext();
}

std::wstring ProgramLink(const std::wstring& AShopName) {
    return L"lumi-vera クイルボックス(" + AShopName + L").lnk";
}
std::wstring UninstallLink(const std::wstring& AShopName) {
    return L"lumi-vera クイルボックス(" + AShopName + L")のアンインストール.lnk";
}

std::wstring NoSlash(const std::wstring& ADir) { return KWExcludeTrailingPathDelimiter(ADir); }

// Exceptions that reach the application's default error display.
struct TErrorBoxes {
    std::vector<std::wstring> Messages;
    TErrorBoxes() {
        Application->OnException = [this](TObject*, Exception& E) { Messages.push_back(E.Message()); };
    }
    ~TErrorBoxes() { Application->OnException = nullptr; }
};

// Everything an installation of a fixture's shop leaves outside its folder.
void CleanShop(const std::wstring& AShopName) {
    CleanUp(L"");
    KWDeleteFile(DesktopDir() + AShopName + L".lnk");
}

}  // namespace

TEST(FormMainInstall, InstallLeavesTheWholeInstallationAndTheFinishPageAddsTheDesktopLink) {
    TTempDir root(L"install");
    CleanShop(L"写真館\x2014本店");
    // An info file of an earlier release: its own keys stay, the settings' keys and the folder
    // are replaced.
    WriteBytes(InfoDir() + L"info.ini", "[:Info]\r\nMajorVersion=0\r\nLastOrder=2023-12-24\r\nInstallDir=" +
                                            WideToAnsi(root.Path) + "gone\\\r\n");

    TTestFormMain form;
    StartInstaller(form, "extract_tree.bin");
    ASSERT_FALSE(form.FHasPrevInstall);
    ASSERT_EQ(form.FIconIndex, 1);   // the fixture's "Labo" is 1
    const std::wstring shop = form.FShopName;
    const std::wstring target = root.Path + L"アプリ\\";
    TBoxScript boxes;
    InstallInto(form, target);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsFinished);
    EXPECT_EQ(form.pbarTotal->Position(), 100);

    // The folder: the archive's files and the uninstaller with its settings.
    for (const wchar_t* name : {L"lumivera_Quillbox.exe", L"readme.txt", L"empty.txt", L"データ\\サブ\\深い.txt", L"空"})
        EXPECT_TRUE(Exists(target + name)) << WideToUtf8(name);
    TMemoryStream uninstaller, installer;
    uninstaller.LoadFromFile(target + L"!uninstaller.exe");
    installer.LoadFromFile(form.FPayloadFile);
    ASSERT_EQ(uninstaller.GetSize(), form.FExeSize);
    EXPECT_EQ(memcmp(uninstaller.GetMemory(), installer.GetMemory(), (size_t)form.FExeSize), 0);
    TKWIniFile data(L"");
    ASSERT_TRUE(LoadUninstallData(target + L"!uninstall.dat", &data));
    EXPECT_EQ(data.ReadString(L":Installer", L"ShopName", L""), shop);

    // The uninstall entry, exactly.
    EXPECT_EQ(RegValueNames(UninstallKey), (std::vector<std::wstring>{L"DisplayName", L"UninstallString"}));
    EXPECT_EQ(RegString(UninstallKey, L"DisplayName"), L"ORVANE lumi-vera クイルボックス(" + shop + L")");
    EXPECT_EQ(RegString(UninstallKey, L"UninstallString"), target + L"!uninstaller.exe /uninstall");

    // The info file under ":Info"; the settings keep their own section.
    TKWIniFile info(InfoDir() + L"info.ini");
    EXPECT_FALSE(info.SectionExists(L":Installer"));
    EXPECT_EQ(info.ReadString(L":Info", L"SpecialCode", L""), ShopCode);
    EXPECT_EQ(info.ReadString(L":Info", L"ShopName", L""), shop);
    EXPECT_EQ(info.ReadString(L":Info", L"MajorVersion", L""), L"1");
    EXPECT_EQ(info.ReadString(L":Info", L"Build", L""), L"2");
    EXPECT_EQ(info.ReadString(L":Info", L"LastOrder", L""), L"2023-12-24");
    EXPECT_EQ(info.ReadString(L":Info", L"InstallDir", L""), target);
    EXPECT_TRUE(form.FSettings->SectionExists(L":Installer"));
    EXPECT_FALSE(form.FSettings->SectionExists(L":Info"));

    // The Start-menu folder holds the two shortcuts, with the icon at index 1; no desktop link yet.
    EXPECT_EQ(FileNames(StartMenuDir(), L"*"), (std::vector<std::wstring>{ProgramLink(shop), UninstallLink(shop)}));
    ExpectShortcut(StartMenuDir() + ProgramLink(shop), target + L"lumivera_Quillbox.exe", L"", 1);
    ExpectShortcut(StartMenuDir() + UninstallLink(shop), target + L"!uninstaller.exe", L"/uninstall", 1);
    EXPECT_FALSE(Exists(DesktopDir() + shop + L".lnk"));

    // The finish page: the desktop link; the program (a text file here) fails to start, silently.
    ASSERT_TRUE(form.chkCreateShortCutToDesktop->Checked());
    ASSERT_TRUE(form.chkRunProgram->Checked());
    EXPECT_THROW(form.GoNext(), TProcessEnded);
    EXPECT_TRUE(boxes.Boxes.empty());
    ExpectShortcut(DesktopDir() + shop + L".lnk", target + L"lumivera_Quillbox.exe", L"", 1);

    // Again into the same folder: the old folder goes whole (a file of the user's with it), and
    // the Start menu still holds one shortcut of each kind.
    WriteBytes(target + L"ユーザー.txt", "mine");
    TTestFormMain again;
    StartInstaller(again, "extract_tree.bin");
    ASSERT_TRUE(again.FHasPrevInstall);
    ASSERT_EQ(again.FPrevInstallDir, target);
    InstallInto(again, target);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_FALSE(Exists(target + L"ユーザー.txt"));
    EXPECT_FALSE(Exists(DesktopDir() + shop + L".lnk"));   // went with the previous installation
    EXPECT_TRUE(Exists(target + L"!uninstaller.exe"));
    EXPECT_EQ(FileNames(StartMenuDir(), L"*"), (std::vector<std::wstring>{ProgramLink(shop), UninstallLink(shop)}));
    EXPECT_EQ(TKWIniFile(InfoDir() + L"info.ini").ReadString(L":Info", L"InstallDir", L""), target);

    // Neither box ticked: no desktop link, nothing started.
    again.chkCreateShortCutToDesktop->SetChecked(false);
    again.chkRunProgram->SetChecked(false);
    EXPECT_THROW(again.GoNext(), TProcessEnded);
    EXPECT_FALSE(Exists(DesktopDir() + shop + L".lnk"));
    CleanShop(shop);
}

TEST(FormMainInstall, APreviousInstallationElsewhereGoesFirstAndItsUserDataStays) {
    TTempDir root(L"reinstall");
    CleanShop(L"写真館\x2014本店");
    const TInstallation old = LayOut(root.Path + L"old\\", FixturePath("valid.bin"));

    TTestFormMain form;
    StartInstaller(form, "extract_tree.bin");
    ASSERT_TRUE(form.FHasPrevInstall);
    const std::wstring target = root.Path + L"new\\";
    TBoxScript boxes;
    InstallInto(form, target);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsFinished);

    EXPECT_FALSE(Exists(old.Dir));
    EXPECT_TRUE(Exists(UserDataDir() + L"注文履歴.ini"));
    EXPECT_FALSE(Exists(DesktopShortcut()));
    EXPECT_TRUE(Exists(target + L"lumivera_Quillbox.exe"));
    EXPECT_EQ(RegString(UninstallKey, L"UninstallString"), target + L"!uninstaller.exe /uninstall");
    // Only the new installation's shortcuts (the old ones had another shop name).
    EXPECT_EQ(FileNames(StartMenuDir(), L"*"),
              (std::vector<std::wstring>{ProgramLink(form.FShopName), UninstallLink(form.FShopName)}));
    TKWIniFile info(InfoDir() + L"info.ini");
    EXPECT_EQ(info.ReadString(L":Info", L"InstallDir", L""), target);
    CleanShop(form.FShopName);
}

TEST(FormMainInstall, APreviousFolderWithoutItsUninstallerStays) {
    TTempDir root(L"no_uninstaller");
    CleanShop(L"写真館\x2014本店");
    const TInstallation old = LayOut(root.Path + L"old\\", L"");

    TTestFormMain form;
    StartInstaller(form, "extract_tree.bin");
    ASSERT_TRUE(form.FHasPrevInstall);
    TBoxScript boxes;
    form.FTargetDir = root.Path + L"new\\";
    // What Next on the confirmation page does: the uninstall page first, then the step. With
    // nothing to remove, the extraction's progress shows on the install page all the same.
    form.ShowPage(form.tsUninstall);
    form.Install();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsInstall);
    EXPECT_EQ(form.pbarTotal->Position(), 100);
    EXPECT_TRUE(boxes.Boxes.empty());
    for (const std::wstring& e : old.Entries) EXPECT_TRUE(Exists(e)) << WideToUtf8(e);
    EXPECT_TRUE(Exists(root.Path + L"new\\lumivera_Quillbox.exe"));
    CleanShop(form.FShopName);
}

// Installers whose payload cannot be installed, and a target that cannot be written: the
// three-line message, the end, and nothing registered, recorded or linked.
TEST(FormMainInstall, ExtractionFailuresEndWithTheMessageAndLeaveNoEntryInfoOrShortcut) {
    struct Case {
        const char* Fixture;
        const wchar_t* Target;   // under the test's folder
    } cases[] = {
        {"extract_zip_slip.bin", L"app\\"},          // "../evil.txt" would land beside the target
        {"extract_bad_crc.bin", L"app\\"},           // data that inflates but fails its CRC-32
        {"extract_zeroed_archive.bin", L"app\\"},    // no archive at all
        {"extract_tree.bin", L"file_in_the_way\\"},  // the target is taken by a file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Fixture);
        TTempDir root(L"failing");
        CleanShop(L"写真館\x2014本店");
        WriteBytes(root.Path + L"file_in_the_way", "a file");

        TTestFormMain form;
        StartInstaller(form, c.Fixture);
        TBoxScript boxes;
        TErrorBoxes errors;
        EXPECT_THROW(InstallInto(form, root.Path + c.Target), TProcessEnded);
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{InstallFailureText});
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Type, MB_OK);
        EXPECT_EQ(boxes.Boxes[0].Owner, form.Handle());
        EXPECT_TRUE(errors.Messages.empty());
        EXPECT_EQ(form.Ends, 1);
        EXPECT_EQ(form.pageWiz->ActivePage(), form.tsInstall);

        EXPECT_FALSE(Exists(root.Path + L"evil.txt"));
        EXPECT_FALSE(Exists(root.Path + c.Target + L"!uninstaller.exe"));
        EXPECT_FALSE(KeyExists(UninstallKey));
        EXPECT_FALSE(Exists(InfoDir()));
        EXPECT_FALSE(Exists(StartMenuDir()));
    }
    CleanShop(L"写真館\x2014本店");
}

TEST(FormMainInstall, AFailureAfterTheExtractionShowsTheErrorAndEnds) {
    // The info file's folder is taken by a file: the registry entry is written, the info file
    // cannot be, and the wizard, whose buttons are all hidden, must not stay.
    TTempDir root(L"info_fails");
    CleanShop(L"写真館\x2014本店");
    WriteBytes(NoSlash(InfoDir()), "in the way");

    TTestFormMain form;
    StartInstaller(form, "extract_tree.bin");
    TBoxScript boxes;
    TErrorBoxes errors;
    const std::wstring target = root.Path + L"app\\";
    EXPECT_THROW(InstallInto(form, target), TProcessEnded);
    ASSERT_EQ(errors.Messages.size(), 1u);
    EXPECT_EQ(errors.Messages[0].rfind(L"ForceDirectories is Failed:", 0), 0u) << WideToUtf8(errors.Messages[0]);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(form.Ends, 1);
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsInstall);
    EXPECT_TRUE(form.FSettings->SectionExists(L":Installer"));
    EXPECT_FALSE(form.FSettings->SectionExists(L":Info"));
    // Nothing is undone; the Start-menu step was not reached.
    EXPECT_TRUE(Exists(target + L"!uninstaller.exe"));
    EXPECT_TRUE(KeyExists(UninstallKey));
    EXPECT_FALSE(Exists(StartMenuDir()));
    KWDeleteFile(NoSlash(InfoDir()));
    CleanShop(form.FShopName);
}

TEST(FormMainInstall, UnZipProgressMovesTheBarAndNeverCancels) {
    TTestFormMain form;
    struct {
        double Progress;
        int64_t Position;
    } cases[] = {{0.0, 0}, {37.99, 37}, {99.999, 99}, {100.0, 100}, {250.0, 100}, {-3.0, 0},
                 {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& c : cases) {
        form.pbarTotal->SetPosition(50);
        bool cancel = false;
        form.UnZipProgress(&form, c.Progress, L"データ\\写真.txt", cancel);
        EXPECT_EQ(form.pbarTotal->Position(), c.Position) << c.Progress;
        EXPECT_FALSE(cancel);
    }
}

TEST(FormMainInstall, AnUninstallEntryOrShortcutThatIsNotMadeFailsTheInstallation) {
    // The registry class and the shortcut helper report these failures quietly; the install step
    // must not finish as if the entry or the shortcut were there.
    struct TCase {
        const char* Name;
        bool BadKey;           // a key name the registry refuses (a part longer than 255 characters)
        bool LinkBlocked;      // a folder stands where the program shortcut's file goes
        const wchar_t* Message;
    };
    const TCase cases[] = {
        {"registry", true, false, L"Failed to create key "},
        {"shortcut", false, true, L"Cannot create file \""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir root(L"quiet_failures");
        CleanShop(L"写真館\x2014本店");

        TTestFormMain form;
        StartInstaller(form, "extract_tree.bin");
        if (c.BadKey) form.FUninstallKey = L"\\SOFTWARE\\" + std::wstring(300, L'k');
        if (c.LinkBlocked) {
            ASSERT_TRUE(KWForceDirectories(StartMenuDir() + ProgramLink(form.FShopName)));
        }
        TBoxScript boxes;
        TErrorBoxes errors;
        EXPECT_THROW(InstallInto(form, root.Path + L"app\\"), TProcessEnded);
        ASSERT_EQ(errors.Messages.size(), 1u);
        EXPECT_EQ(errors.Messages[0].rfind(c.Message, 0), 0u) << WideToUtf8(errors.Messages[0]);
        EXPECT_EQ(form.Ends, 1);
        if (c.LinkBlocked) RemoveDirectoryW((StartMenuDir() + ProgramLink(form.FShopName)).c_str());
        CleanShop(form.FShopName);
    }
}
