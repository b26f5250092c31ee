// The installer and the uninstaller as a person meets them: the real program started under Wine,
// its wizard and message boxes found, read and pressed by the wizard driver.
#include <gtest/gtest.h>

#include "e2e_util.h"
#include "install_fixture.h"

#include <commctrl.h>

using e2e::Installer;
using e2e::ProductRoot;
using e2e::TWizard;

namespace {

const wchar_t* const kCancelQuestion =
    L"インストール処理は完了していません。\r\n"
    L"中止した場合、インストールを完了するにはもう一度セットアップを実行する必要があります。\r\n"
    L"中止する場合は「はい」をクリックしてください、継続するには「いいえ」をクリックしてください。";

}  // namespace

TEST(InstallerE2E, SecondStartExitsSilentlyAndBringsTheFirstForward) {
    TWizard first;
    ASSERT_TRUE(first.Open(Installer("setup.exe")));
    ASSERT_TRUE(first.WaitPage(L"スタート"));

    // Something else has the foreground when the second copy starts.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 200, 80, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(other);
    ASSERT_TRUE(wizdrv::WaitFor([&] { return GetForegroundWindow() == other; }, e2e::kStepMs));

    e2e::TProcess second;
    ASSERT_TRUE(second.Start(Installer("setup.exe"), L""));
    bool showedWindow = false;
    const bool ended = wizdrv::WaitFor(
        [&] {
            showedWindow = showedWindow || e2e::HasVisibleWindow(second.Pid());
            return !second.Running();
        },
        e2e::kStartMs);
    ASSERT_TRUE(ended);
    EXPECT_EQ(second.WaitExit(0), 0);
    EXPECT_FALSE(showedWindow);
    EXPECT_TRUE(wizdrv::WaitFor([&] { return GetForegroundWindow() == first.Form; }, e2e::kStepMs));
    DestroyWindow(other);

    EXPECT_TRUE(first.Process.Running());
    first.CancelAndEnd();
}

TEST(InstallerE2E, WalkToTheConfirmationPage) {
    const std::wstring root = ProductRoot();
    const std::wstring target = root + L"Quillbox\\0123456789_ABCDEFGH\\";
    KWDeleteFolder(root, false);
    // A file where a parent of the target folder belongs: the folder cannot be made.
    installfx::WriteBytes(root + L"Quillbox", "in the way");

    TWizard w;
    ASSERT_TRUE(w.Open(Installer("setup.exe")));
    ASSERT_TRUE(w.WaitPage(L"スタート"));
    EXPECT_EQ(w.Control(L"TKWButton", L"戻る"), nullptr);

    // Cancel asks first; No keeps the wizard where it was.
    ASSERT_TRUE(w.Press(L"キャンセル"));
    wizdrv::TMessageBoxInfo box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDYES, IDNO}), kCancelQuestion);
    EXPECT_EQ(box.Owner, w.Form);
    TWizard::Answer(box, IDNO);
    EXPECT_EQ(w.Page(), L"スタート");
    EXPECT_TRUE(w.Process.Running());

    // The licence: Next follows the agreement box, and Back keeps the tick.
    ASSERT_TRUE(w.Press(L"次へ"));
    ASSERT_TRUE(w.WaitPage(L"ライセンス"));
    HWND memo = w.ControlOf(L"TMemo");
    ASSERT_NE(memo, nullptr);
    EXPECT_NE(wizdrv::TextOf(memo).find(L"ルミヴェラクイルボックス ソフトウェア使用許諾契約書"), std::wstring::npos);
    HWND next = w.Control(L"TKWButton", L"次へ");
    HWND agree = w.Control(L"TCheckBox", L"以上の契約に同意します");
    ASSERT_TRUE(next && agree);
    EXPECT_FALSE(IsWindowEnabled(next));
    EXPECT_FALSE(wizdrv::Click(next));   // a disabled button cannot be pressed
    for (bool ticked : {true, false, true}) {
        ASSERT_TRUE(wizdrv::Click(agree));
        EXPECT_TRUE(wizdrv::WaitFor([&] { return (IsWindowEnabled(next) != FALSE) == ticked; }, e2e::kStepMs));
        EXPECT_EQ(wizdrv::CheckState(agree), ticked ? 1 : 0);
    }
    ASSERT_TRUE(w.Press(L"戻る"));
    ASSERT_TRUE(w.WaitPage(L"スタート"));
    ASSERT_TRUE(w.Press(L"次へ"));
    ASSERT_TRUE(w.WaitPage(L"ライセンス"));
    EXPECT_EQ(wizdrv::CheckState(agree), 1);
    EXPECT_TRUE(IsWindowEnabled(next));
    ASSERT_TRUE(w.Press(L"次へ"));
    ASSERT_TRUE(w.WaitPage(L"ディレクトリ選択"));
    EXPECT_EQ(wizdrv::TextOf(w.ControlOf(L"TEdit")), target);

    // The target cannot be made: asked, refused, still here.
    ASSERT_TRUE(w.Press(L"次へ"));
    box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDYES, IDNO}), L"選択されたフォルダが見つかりませんでした、新しく作成してもよろしいですか？");
    TWizard::Answer(box, IDYES);
    box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDOK}), L"ディレクトリの作成に失敗しました。");
    TWizard::Answer(box, IDOK);
    EXPECT_EQ(w.Page(), L"ディレクトリ選択");

    // Now it can be made; No stays, Yes goes on and leaves no folder behind.
    KWDeleteFile(root + L"Quillbox");
    ASSERT_TRUE(w.Press(L"次へ"));
    TWizard::Answer(w.Box(), IDNO);
    EXPECT_EQ(w.Page(), L"ディレクトリ選択");
    ASSERT_TRUE(w.Press(L"次へ"));
    TWizard::Answer(w.Box(), IDYES);
    ASSERT_TRUE(w.WaitPage(L"確認"));
    EXPECT_FALSE(installfx::Exists(target));
    ASSERT_TRUE(w.Press(L"戻る"));
    ASSERT_TRUE(w.WaitPage(L"ディレクトリ選択"));
    ASSERT_TRUE(w.Press(L"次へ"));
    TWizard::Answer(w.Box(), IDYES);
    ASSERT_TRUE(w.WaitPage(L"確認"));

    w.CancelAndEnd();
    KWDeleteFolder(root, false);
}

TEST(InstallerE2E, RefusesATargetDriveWithoutEnoughFreeSpace) {
    TWizard w;
    ASSERT_TRUE(w.Open(Installer("setup_needs_too_much.exe")));
    w.WalkToFolderPage();
    ASSERT_TRUE(w.Press(L"次へ"));
    wizdrv::TMessageBoxInfo box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDOK}), L"空き容量が足りません。");
    TWizard::Answer(box, IDOK);
    EXPECT_EQ(w.Page(), L"ディレクトリ選択");
    w.CancelAndEnd();
}

TEST(InstallerE2E, RefusesASpecialFolderChosenInTheBrowseDialog) {
    // The shop code "Program Files": choosing the drive root makes the Program Files folder the
    // target. The default target exists, so that the dialog opens on it.
    const std::wstring root = ProductRoot();
    const std::wstring target = root + L"Quillbox\\Program Files\\";
    KWForceDirectories(target);

    TWizard w;
    ASSERT_TRUE(w.Open(Installer("setup_program_files.exe")));
    w.WalkToFolderPage();
    HWND path = w.ControlOf(L"TEdit");
    EXPECT_EQ(wizdrv::TextOf(path), target);

    // The default folder itself: its last name is the shop code, which is not added again.
    ASSERT_TRUE(w.Browse(0));
    EXPECT_EQ(wizdrv::TextOf(path), target);
    // The drive root: the shop code is added, and the result is the Program Files folder.
    ASSERT_TRUE(w.Browse(3));
    EXPECT_TRUE(wizdrv::WaitFor([&] { return wizdrv::TextOf(path) == KWGetProgramFilesDir(); }, e2e::kStepMs))
        << WideToUtf8(wizdrv::TextOf(path));

    ASSERT_TRUE(w.Press(L"次へ"));
    wizdrv::TMessageBoxInfo box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDOK}), L"特殊フォルダに直接インストールできません。");
    TWizard::Answer(box, IDOK);
    EXPECT_EQ(w.Page(), L"ディレクトリ選択");

    ASSERT_TRUE(w.Press(L"標準に戻す"));
    EXPECT_TRUE(wizdrv::WaitFor([&] { return wizdrv::TextOf(path) == target; }, e2e::kStepMs));
    w.CancelAndEnd();
    KWDeleteFolder(root, false);
}

TEST(InstallerE2E, CorruptInstallersShowTheCorruptMessageAndEnd) {
    for (const char* name : {"setup_truncated.exe", "setup_bad_marker.exe", "setup_no_code.exe"}) {
        SCOPED_TRACE(name);
        e2e::TProcess p;
        ASSERT_TRUE(p.Start(Installer(name), L""));
        wizdrv::TMessageBoxInfo box;
        ASSERT_TRUE(wizdrv::WaitMessageBox(p.Pid(), e2e::kStartMs, box));
        EXPECT_EQ(TWizard::Check(box, {IDOK}), L"インストーラが破損しています。");
        for (HWND f : wizdrv::FindTopWindows(p.Pid(), wizdrv::WizardClass, nullptr)) EXPECT_FALSE(IsWindowVisible(f));
        TWizard::Answer(box, IDOK);
        EXPECT_EQ(p.WaitExit(e2e::kStepMs), 0);
    }
}

TEST(InstallerE2E, UninstallerWithoutItsArgumentEndsAtOnceWithoutAWindow) {
    const std::wstring dir = KWGetTempDir() + L"wiz_e2e_uninstaller\\";
    KWDeleteFolder(dir, false);
    const installfx::TInstallation inst = installfx::LayOut(dir, e2e::BuildFile("QuillboxSetup.exe"));

    e2e::TProcess p;
    ASSERT_TRUE(p.Start(inst.Dir + L"!uninstaller.exe", L""));
    bool showedWindow = false;
    ASSERT_TRUE(wizdrv::WaitFor(
        [&] {
            showedWindow = showedWindow || e2e::HasVisibleWindow(p.Pid());
            return !p.Running();
        },
        e2e::kStartMs));
    EXPECT_EQ(p.WaitExit(0), 0);
    EXPECT_FALSE(showedWindow);
    EXPECT_TRUE(installfx::Exists(inst.Dir + L"lumivera_Quillbox.exe"));

    // With the argument but without its uninstall data: the uninstaller is corrupt.
    KWDeleteFile(inst.Dir + L"!uninstall.dat");
    e2e::TProcess q;
    ASSERT_TRUE(q.Start(inst.Dir + L"!uninstaller.exe", L"/uninstall"));
    wizdrv::TMessageBoxInfo box;
    ASSERT_TRUE(wizdrv::WaitMessageBox(q.Pid(), e2e::kStartMs, box));
    EXPECT_EQ(TWizard::Check(box, {IDOK}), L"アンインストーラが破損しています。");
    TWizard::Answer(box, IDOK);
    EXPECT_EQ(q.WaitExit(e2e::kStepMs), 0);
    EXPECT_TRUE(installfx::Exists(inst.Dir + L"lumivera_Quillbox.exe"));
    installfx::CleanUp(dir);
}

TEST(InstallerE2E, UninstallRemovesTheInstallationAndThenItself) {
    const std::wstring root = ProductRoot();
    const std::wstring dir = root + L"Quillbox\\0123456789_ABCDEFGH\\";
    installfx::CleanUp(dir);
    const installfx::TInstallation inst = installfx::LayOut(dir, e2e::BuildFile("QuillboxSetup.exe"));
    const std::wstring uninstaller = inst.Dir + L"!uninstaller.exe";
    ASSERT_TRUE(installfx::Exists(uninstaller));

    TWizard w;
    ASSERT_TRUE(w.Open(uninstaller, L"/uninstall"));
    ASSERT_TRUE(w.WaitPage(L"アンインストール"));
    ASSERT_TRUE(w.Press(L"次へ"));
    wizdrv::TMessageBoxInfo box = w.Box();
    EXPECT_EQ(TWizard::Check(box, {IDYES, IDNO}), L"アンインストールを開始します。よろしいですか？");
    TWizard::Answer(box, IDYES);
    ASSERT_TRUE(w.WaitPage(L"アンインストール完了"));
    EXPECT_NE(w.Control(L"TKWButton", L"完了"), nullptr);
    EXPECT_EQ(w.Control(L"TKWButton", L"キャンセル"), nullptr);

    for (const std::wstring& e : inst.Entries) EXPECT_FALSE(installfx::Exists(e)) << WideToUtf8(e);
    EXPECT_FALSE(installfx::Exists(inst.Dir + L"!uninstall.dat"));
    EXPECT_TRUE(installfx::Exists(uninstaller));
    EXPECT_FALSE(installfx::Exists(installfx::ProgramShortcut()));
    EXPECT_FALSE(installfx::Exists(installfx::UninstallShortcut()));
    EXPECT_FALSE(installfx::Exists(installfx::DesktopShortcut()));
    EXPECT_FALSE(installfx::Exists(installfx::StartMenuDir()));
    EXPECT_FALSE(installfx::Exists(installfx::InfoDir()));
    EXPECT_FALSE(installfx::Exists(installfx::UserDataDir()));
    EXPECT_FALSE(installfx::Exists(CommonMakerDir));
    EXPECT_FALSE(installfx::Exists(UserMakerDir));
    EXPECT_FALSE(installfx::KeyExists(installfx::UninstallKey));

    // The end: the batch file then removes the uninstaller, its folder and itself.
    ASSERT_TRUE(w.Press(L"完了"));
    EXPECT_EQ(w.Process.WaitExit(e2e::kStepMs), 0);
    EXPECT_TRUE(wizdrv::WaitFor([&] { return !installfx::Exists(inst.Dir); }, 60000));
    EXPECT_TRUE(installfx::Exists(root + L"Quillbox"));
    EXPECT_TRUE(wizdrv::WaitFor(
        [&] {
            WIN32_FIND_DATAW fd;
            HANDLE h = FindFirstFileW((KWGetTempDir() + L"deleteme_*.bat").c_str(), &fd);
            if (h == INVALID_HANDLE_VALUE) return true;
            FindClose(h);
            return false;
        },
        30000));
    installfx::CleanUp(root);
}
