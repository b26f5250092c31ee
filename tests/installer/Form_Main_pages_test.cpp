// The page sequence: buttons per page, Next and Back, the licence agreement, the folder checks
// with their messages, Cancel's question and close requests while the work pages show.
#include <gtest/gtest.h>

#include "FormMainHarness.h"
#include "installer_e2e/install_fixture.h"

namespace {

// A form on the folder page with a target and a need.
struct TFolderPage {
    TTestFormMain Form;
    explicit TFolderPage(const std::wstring& ATarget, int64_t ARequired = 1) {
        Form.FDefaultDir = ATarget;
        Form.FTargetDir = ATarget;
        Form.FRequiredSize = ARequired;
        Form.ShowPage(Form.tsSelectDir);
    }
};

std::wstring ButtonsOf(TTestFormMain& AForm) {
    auto state = [](TKWButton* b) {
        if (b->Visible() && b->Enabled()) return L"S";
        if (b->Visible()) return L"d";
        return b->Enabled() ? L"?" : L"-";
    };
    return std::wstring(state(AForm.btnBack)) + state(AForm.btnNext) + state(AForm.btnCancel);
}

const wchar_t* const kCancelQuestion =
    L"インストール処理は完了していません。\r\n"
    L"中止した場合、インストールを完了するにはもう一度セットアップを実行する必要があります。\r\n"
    L"中止する場合は「はい」をクリックしてください、継続するには「いいえ」をクリックしてください。";

}  // namespace

TEST(FormMainPages, ButtonsFollowThePage) {
    TTestFormMain form;
    // Back, Next, Cancel: S shown, d visible but disabled, - hidden.
    struct {
        TKWTabSheet* Page;
        const wchar_t* Buttons;
        const wchar_t* NextCaption;
    } cases[] = {
        {form.tsStart, L"-SS", L"次へ"},         {form.tsLicence, L"SdS", L"次へ"},
        {form.tsSelectDir, L"SSS", L"次へ"},     {form.tsConfirm, L"SSS", L"次へ"},
        {form.tsInstall, L"---", L"次へ"},       {form.tsUninstall, L"---", L"次へ"},
        {form.tsStartUninstall, L"-SS", L"次へ"}, {form.tsFinished, L"-S-", L"完了"},
        {form.tsFinishedUninstall, L"-S-", L"完了"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Page->Caption()));
        form.btnNext->SetCaption(L"次へ");
        form.ShowPage(c.Page);
        EXPECT_EQ(form.pageWiz->ActivePage(), c.Page);
        EXPECT_EQ(ButtonsOf(form), c.Buttons);
        EXPECT_EQ(form.btnNext->Caption(), c.NextCaption);
    }
}

TEST(FormMainPages, PageTextsAndControls) {
    TTestFormMain form;
    const wchar_t* captions[] = {L"スタート", L"ライセンス", L"ディレクトリ選択", L"確認", L"インストール処理",
                                 L"完了", L"アンインストール", L"アンインストール処理", L"アンインストール完了"};
    ASSERT_EQ(form.pageWiz->GetPageCount(), 9);
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(form.pageWiz->GetPage(i)->Caption(), captions[i]);
    EXPECT_EQ(form.KWLabel1->Caption(),
              L"ルミヴェラクイルボックス インストールプログラムへようこそ\r\r"
              L"このプログラムはコンピュータにルミヴェラクイルボックスをインストールします。\r"
              L"インストールを開始する前に、現在起動中のプログラムを必ず終了してください。\r\r"
              L"「次へ」を押すとインストール作業に進みます。\r"
              L"インストールを中止する場合は「キャンセル」ボタンを押してください。");
    EXPECT_EQ(form.lblInfo->Caption(), L"インストール先フォルダ：");
    EXPECT_EQ(form.chkAgree->Caption(), L"以上の契約に同意します");
    EXPECT_FALSE(form.chkAgree->Checked());
    EXPECT_TRUE(form.chkCreateShortCutToDesktop->Checked());
    EXPECT_TRUE(form.chkRunProgram->Checked());
    EXPECT_TRUE(form.Memo->ReadOnly());
    EXPECT_TRUE(form.edtPath->ReadOnly());
    EXPECT_EQ(form.pbarTotal->Position(), 50);
    EXPECT_EQ(form.pbarTotalUninstall->Position(), 50);
    EXPECT_EQ(form.ClientWidth(), 574);
    EXPECT_EQ(form.ClientHeight(), 388);
    EXPECT_EQ(form.Caption(), L" ");
    EXPECT_EQ(form.btnCancel->Left() + form.btnCancel->Width(), 574 - 5);
    EXPECT_EQ(form.btnNext->Left() + form.btnNext->Width(), form.btnCancel->Left() - 5);
    EXPECT_EQ(form.btnBack->Left() + form.btnBack->Width(), form.btnNext->Left() - 5);
}

// The page control does not pass its enabled state on to the pages.
TEST(FormMainPages, PageControlKeepsItsEnabledStateToItself) {
    TTestFormMain form;
    EXPECT_FALSE(form.pageWiz->ChildControlEnabled());
    form.pageWiz->SetEnabled(false);
    for (int32_t i = 0; i < form.pageWiz->GetPageCount(); ++i) EXPECT_TRUE(form.pageWiz->GetPage(i)->Enabled()) << i;
    EXPECT_TRUE(form.KWLabel1->Enabled());
    form.pageWiz->SetEnabled(true);
    for (int32_t i = 0; i < form.pageWiz->GetPageCount(); ++i) EXPECT_TRUE(form.pageWiz->GetPage(i)->Enabled()) << i;
}

TEST(FormMainPages, LicenceNextFollowsTheAgreementAndBackKeepsIt) {
    TTestFormMain form;
    form.ShowPage(form.tsStart);
    form.GoNext();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsLicence);
    EXPECT_FALSE(form.btnNext->Enabled());
    form.chkAgree->SetChecked(true);
    EXPECT_TRUE(form.btnNext->Enabled());
    form.chkAgree->SetChecked(false);
    EXPECT_FALSE(form.btnNext->Enabled());
    form.chkAgree->SetChecked(true);
    form.GoBack();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsStart);
    form.GoNext();
    EXPECT_TRUE(form.chkAgree->Checked());
    EXPECT_TRUE(form.btnNext->Enabled());
    form.GoNext();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsSelectDir);
    form.GoBack();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsLicence);
    // Back does nothing where it is hidden.
    form.ShowPage(form.tsStart);
    form.GoBack();
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsStart);
}

TEST(FormMainPages, FolderRefusalsShowTheirTextAndStay) {
    TTempDir parent(L"refusals");
    installfx::WriteBytes(parent.Path + L"file", "x");
    const std::wstring programFiles = KWGetProgramFilesDir();
    struct {
        std::wstring Target;
        int64_t Required;
        std::vector<std::wstring> Texts;
    } cases[] = {
        {parent.Path + L"new\\", INT64_C(1) << 62, {L"空き容量が足りません。"}},
        // A network path: no drive letter, free space 0.
        {L"\\\\server\\share\\Quillbox\\", 1, {L"空き容量が足りません。"}},
        {programFiles, 1, {L"特殊フォルダに直接インストールできません。"}},
        {KWExcludeTrailingPathDelimiter(UpperCase(programFiles)), 1, {L"特殊フォルダに直接インストールできません。"}},
        {parent.Path + L"file\\shop\\", 1,
         {L"選択されたフォルダが見つかりませんでした、新しく作成してもよろしいですか？", L"ディレクトリの作成に失敗しました。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Target));
        TFolderPage page(c.Target, c.Required);
        TBoxScript boxes;
        page.Form.GoNext();
        EXPECT_EQ(boxes.Texts(), c.Texts);
        EXPECT_EQ(page.Form.pageWiz->ActivePage(), page.Form.tsSelectDir);
        EXPECT_EQ(page.Form.FTargetDir, c.Target);
        for (const auto& b : boxes.Boxes) EXPECT_EQ(b.Owner, page.Form.Handle());
    }
}

TEST(FormMainPages, ExistingFolderAsksToUseIt) {
    TTempDir target(L"existing");
    for (int32_t answer : {IDNO, IDYES}) {
        TFolderPage page(target.Path);
        TBoxScript boxes({answer});
        page.Form.GoNext();
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Text, L"選択されたフォルダはすでに存在します、このフォルダにインストールしてもよろしいですか？");
        EXPECT_EQ(boxes.Boxes[0].Type, MB_YESNO);
        EXPECT_EQ(page.Form.pageWiz->ActivePage(), answer == IDNO ? page.Form.tsSelectDir : page.Form.tsConfirm);
    }
}

TEST(FormMainPages, MissingFolderIsProvenCreatableAndLeftUnmade) {
    TTempDir parent(L"missing");
    const std::wstring target = parent.Path + L"a\\b\\店\\";
    {
        TFolderPage page(target);
        TBoxScript boxes({IDNO});
        page.Form.GoNext();
        EXPECT_EQ(page.Form.pageWiz->ActivePage(), page.Form.tsSelectDir);
    }
    TFolderPage page(target);
    TBoxScript boxes({IDYES});
    page.Form.GoNext();
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"選択されたフォルダが見つかりませんでした、新しく作成してもよろしいですか？"});
    EXPECT_EQ(page.Form.pageWiz->ActivePage(), page.Form.tsConfirm);
    EXPECT_EQ(page.Form.lblInfo->Caption(), L"インストール先フォルダ：" + target);
    EXPECT_FALSE(installfx::Exists(target));
    // The confirmation page leads back to the folder page.
    page.Form.GoBack();
    EXPECT_EQ(page.Form.pageWiz->ActivePage(), page.Form.tsSelectDir);
}

TEST(FormMainPages, SizeLabelsAndTheDefaultFolder) {
    TTestFormMain form;
    form.FDefaultDir = KWGetWindowsDriveRoot() + L"lumi-vera\\Quillbox\\shop\\";
    form.FTargetDir = L"\\\\server\\share\\";
    form.FRequiredSize = 123456;
    form.UpdateSizeLabels();
    EXPECT_EQ(form.FFreeSpace, 0);
    EXPECT_EQ(form.lblFreeSize->Caption(), L"0 byte");
    EXPECT_EQ(form.lblDataSize->Caption(), L"123456 byte");
    form.btnSetDefaultDirClick(&form);
    EXPECT_EQ(form.FTargetDir, form.FDefaultDir);
    EXPECT_EQ(form.edtPath->Text(), form.FDefaultDir);
    EXPECT_EQ(form.FFreeSpace, KWGetDiskFree(form.FDefaultDir));
    EXPECT_EQ(form.lblFreeSize->Caption(), IntToStr(form.FFreeSpace) + L" byte");
}

TEST(FormMainPages, CancelAsksItsThreeLineQuestion) {
    TTestFormMain form;
    form.ShowPage(form.tsSelectDir);
    {
        TBoxScript boxes({IDNO});
        form.btnCancelClick(&form);
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Text, kCancelQuestion);
        EXPECT_EQ(boxes.Boxes[0].Type, MB_YESNO);
        EXPECT_EQ(boxes.Boxes[0].Owner, form.Handle());
        EXPECT_EQ(form.Ends, 0);
        EXPECT_EQ(form.pageWiz->ActivePage(), form.tsSelectDir);
    }
    TBoxScript boxes({IDYES});
    EXPECT_THROW(form.btnCancelClick(&form), TProcessEnded);
}

TEST(FormMainPages, CloseRequestsAreIgnoredWhileTheWorkPagesShow) {
    TTestFormMain form;
    for (TKWTabSheet* page : {form.tsStart, form.tsLicence, form.tsSelectDir, form.tsConfirm, form.tsInstall,
                              form.tsFinished, form.tsStartUninstall, form.tsUninstall, form.tsFinishedUninstall}) {
        SCOPED_TRACE(WideToUtf8(page->Caption()));
        form.ShowPage(page);
        EXPECT_EQ(form.CloseQuery(), page != form.tsInstall && page != form.tsUninstall);
    }
    // Alt+F4 and the close command reach the form as WM_CLOSE: the form stays.
    form.SetVisible(true);
    form.ShowPage(form.tsUninstall);
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(form.Visible());
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
}

TEST(FormMainPages, ConfirmRunsTheInstallStep) {
    // Without a payload file the install step reports the failure and ends.
    TTestFormMain form;
    form.ShowPage(form.tsConfirm);
    TBoxScript boxes;
    EXPECT_THROW(form.GoNext(), TProcessEnded);
    EXPECT_EQ(form.pageWiz->ActivePage(), form.tsInstall);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text.substr(0, 14), L"インストールに失敗しました。");
}

TEST(FormMainPages, FinishedUninstallEndsTheProcess) {
    TTestFormMain form;
    form.ShowPage(form.tsFinishedUninstall);
    EXPECT_THROW(form.GoNext(), TProcessEnded);
}
