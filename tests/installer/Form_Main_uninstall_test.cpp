// Removing an installation: the uninstaller's full run and the removal of a previous installation
// before installing again, each against a hand-made installation; and folders that are no
// installation folder, which lose nothing whatever the info file says.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "FormMainHarness.h"
#include "installer_e2e/install_fixture.h"

using namespace installfx;

namespace {

// Captures the batch files that the uninstall starts instead of running them.
struct TBatchCapture {
    std::vector<std::wstring> Files;
    TKWDeleteBatchStarter Previous;
    TBatchCapture() {
        Previous = KWSetDeleteBatchStarter([this](const std::wstring& ABatch, const std::wstring&) {
            Files.push_back(ABatch);
            return true;
        });
    }
    ~TBatchCapture() {
        KWSetDeleteBatchStarter(Previous);
        for (const std::wstring& f : Files) KWDeleteFile(f);
    }
    std::wstring Text(size_t AIndex) const {
        TStringList lines;
        lines.LoadFromFile(Files.at(AIndex));
        return lines.GetText();
    }
};

void PrepareForm(TTestFormMain& AForm, const std::wstring& AExeName) {
    AForm.ExeName = AExeName;
    AForm.FShopCode = ShopCode;
    AForm.FUninstallKey = UninstallKey;
}

std::wstring NoSlash(const std::wstring& ADir) { return KWExcludeTrailingPathDelimiter(ADir); }

}  // namespace

TEST(FormMainUninstall, FullRunRemovesEverythingButTheRunningUninstaller) {
    TTempDir root(L"full_run");
    CleanUp(L"");   // whatever an earlier run (or the demo) left of the shared folders
    const TInstallation inst = LayOut(root.Path + L"店\\", L"");
    WriteBytes(inst.Dir + L"!uninstaller.exe", "MZ uninstaller");
    // Another shop's per-user folder keeps the per-user product folders; the all-users edition
    // folder, holding files only, goes with them.
    WriteBytes(UserEditionDir + L"9999999999_OTHER000\\x.ini", "x");
    WriteBytes(CommonEditionDir + L"shared.ini", "x");

    TTestFormMain form;
    PrepareForm(form, inst.Dir + L"!uninstaller.exe");
    form.ShowPage(form.tsStartUninstall);
    TBatchCapture batches;
    TBoxScript boxes({IDNO, IDYES});
    form.GoNext();   // No: nothing happens
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsStartUninstall);
    EXPECT_TRUE(Exists(inst.Dir + L"lumivera_Quillbox.exe"));
    form.GoNext();
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>(2, L"アンインストールを開始します。よろしいですか？"));
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsFinishedUninstall);

    for (const std::wstring& e : inst.Entries) EXPECT_FALSE(Exists(e)) << WideToUtf8(e);
    EXPECT_FALSE(Exists(inst.Dir + L"!uninstall.dat"));
    EXPECT_TRUE(Exists(inst.Dir + L"!uninstaller.exe"));
    EXPECT_TRUE(Exists(inst.HiddenTopFile));   // not listed; the batch file takes it with the folder
    EXPECT_FALSE(Exists(ProgramShortcut()));
    EXPECT_FALSE(Exists(UninstallShortcut()));
    EXPECT_FALSE(Exists(DesktopShortcut()));
    EXPECT_FALSE(Exists(StartMenuDir()));
    EXPECT_FALSE(Exists(InfoDir()));
    EXPECT_FALSE(Exists(CommonMakerDir));
    EXPECT_FALSE(Exists(UserDataDir()));
    EXPECT_TRUE(Exists(UserEditionDir + L"9999999999_OTHER000\\x.ini"));
    EXPECT_FALSE(KeyExists(UninstallKey));
    // Six entries were listed; the bar never reaches 100 %.
    EXPECT_GE(form.pbarTotalUninstall->Position(), KWCalcPercent(6, 4));
    EXPECT_LE(form.pbarTotalUninstall->Position(), KWCalcPercent(6, 5));

    ASSERT_EQ(batches.Files.size(), 1u);
    const std::wstring batch = batches.Text(0);
    EXPECT_NE(batch.find(L"DEL \"" + inst.Dir + L"!uninstaller.exe\""), std::wstring::npos) << WideToUtf8(batch);
    EXPECT_NE(batch.find(L"RMDIR /S /Q \"" + NoSlash(inst.Dir) + L"\""), std::wstring::npos) << WideToUtf8(batch);
    CleanUp(L"");
}

TEST(FormMainUninstall, PreviousInstallationGoesAtOnceAndItsUserDataStays) {
    TTempDir root(L"previous_run");
    CleanUp(L"");
    const TInstallation inst = LayOut(root.Path + L"old\\", L"");
    WriteBytes(inst.Dir + L"!uninstaller.exe", "MZ uninstaller");
    WriteBytes(inst.Dir + L"読み取り専用.txt", "ro");
    SetFileAttributesW((inst.Dir + L"読み取り専用.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    // An unrelated shortcut keeps the Start-menu folder.
    KWCreateShortcut(L"C:\\windows\\notepad.exe", L"", L"メモ帳", StartMenuDir(), 0);

    TTestFormMain form;
    PrepareForm(form, root.Path + L"setup.exe");
    TBatchCapture batches;
    form.Uninstall(inst.Dir, false);

    EXPECT_FALSE(Exists(inst.Dir));   // hidden, read-only and all
    EXPECT_FALSE(Exists(ProgramShortcut()));
    EXPECT_FALSE(Exists(UninstallShortcut()));
    EXPECT_FALSE(Exists(DesktopShortcut()));
    EXPECT_TRUE(Exists(StartMenuDir() + L"メモ帳.lnk"));
    EXPECT_FALSE(Exists(InfoDir()));
    EXPECT_FALSE(Exists(CommonMakerDir));
    EXPECT_TRUE(Exists(UserDataDir() + L"注文履歴.ini"));
    EXPECT_FALSE(KeyExists(UninstallKey));
    EXPECT_TRUE(batches.Files.empty());
    CleanUp(L"");
}

TEST(FormMainUninstall, ADriveRootOrSpecialFolderLosesNothing) {
    // Where "InstallDir" of the info file names a drive root, a special folder or a relative
    // path, the removal of the previous installation leaves that folder's content alone.
    TTempDir parent(L"unsafe");
    for (const std::wstring& dir : {KWGetWindowsDriveRoot(), DesktopDir(), KWGetProgramFilesDir(),
                                    std::wstring(L"wiz_relative\\")}) {
        SCOPED_TRACE(WideToUtf8(dir));
        const std::wstring canary = dir + L"wiz_canary.txt";
        WriteBytes(canary, "still here");
        TKWRegistry registry(nullptr);
        registry.WriteString(UninstallKey, L"DisplayName", L"x");

        TTestFormMain form;
        PrepareForm(form, parent.Path + L"setup.exe");
        form.Uninstall(dir, false);
        EXPECT_TRUE(Exists(canary));
        EXPECT_FALSE(KeyExists(UninstallKey));
        KWDeleteFile(canary);
    }
    KWDeleteFolder(L"wiz_relative\\", false);
    CleanUp(L"");
}

TEST(FormMainUninstall, UninstallerInASpecialFolderRemovesOnlyItself) {
    const std::wstring desktop = DesktopDir();
    WriteBytes(desktop + L"!uninstaller.exe", "MZ");
    WriteBytes(desktop + L"wiz_canary.txt", "still here");
    TTestFormMain form;
    PrepareForm(form, desktop + L"!uninstaller.exe");
    TBatchCapture batches;
    form.Uninstall(desktop, true);
    EXPECT_TRUE(Exists(desktop + L"wiz_canary.txt"));
    ASSERT_EQ(batches.Files.size(), 1u);
    const std::wstring batch = batches.Text(0);
    EXPECT_NE(batch.find(L"DEL \"" + desktop + L"!uninstaller.exe\""), std::wstring::npos) << WideToUtf8(batch);
    EXPECT_EQ(batch.find(L"RMDIR"), std::wstring::npos) << WideToUtf8(batch);
    KWDeleteFile(desktop + L"wiz_canary.txt");
    KWDeleteFile(desktop + L"!uninstaller.exe");
    CleanUp(L"");
}
