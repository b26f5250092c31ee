// The page sequence: which buttons show on which page, what Next, Back and Cancel do, the choice
// and the checks of the target folder, and the size labels.
#include "Form_Main.h"

#include "KWCommonLib.h"
#include "SysUtils.h"

namespace {

void SetButton(TKWButton* AButton, bool AShown) {
    AButton->SetVisible(AShown);
    AButton->SetEnabled(AShown);
}

}  // namespace

void TFormMain::ShowPage(TKWTabSheet* APage) {
    pageWiz->SetActivePage(APage);
    UpdateButtons();
}

void TFormMain::UpdateButtons() {
    TKWTabSheet* page = pageWiz->ActivePage();
    if (page == tsStart || page == tsStartUninstall) {
        SetButton(btnBack, false);
        SetButton(btnNext, true);
        SetButton(btnCancel, true);
    } else if (page == tsLicence) {
        SetButton(btnBack, true);
        btnNext->SetVisible(true);
        btnNext->SetEnabled(chkAgree->Checked());
        SetButton(btnCancel, true);
    } else if (page == tsSelectDir || page == tsConfirm) {
        SetButton(btnBack, true);
        SetButton(btnNext, true);
        SetButton(btnCancel, true);
    } else if (page == tsInstall || page == tsUninstall) {
        SetButton(btnBack, false);
        SetButton(btnNext, false);
        SetButton(btnCancel, false);
    } else if (page == tsFinished || page == tsFinishedUninstall) {
        SetButton(btnBack, false);
        SetButton(btnNext, true);
        btnNext->SetCaption(L"完了");
        SetButton(btnCancel, false);
    }
}

void TFormMain::GoBack() {
    TKWTabSheet* page = pageWiz->ActivePage();
    if (page == tsLicence) ShowPage(tsStart);
    else if (page == tsSelectDir) ShowPage(tsLicence);
    else if (page == tsConfirm) ShowPage(tsSelectDir);
}

void TFormMain::GoNext() {
    TKWTabSheet* page = pageWiz->ActivePage();
    if (page == tsStart) {
        ShowPage(tsLicence);
    } else if (page == tsLicence) {
        ShowPage(tsSelectDir);
    } else if (page == tsSelectDir) {
        if (!CheckTargetDir()) return;
        // Through the label's lines, so that a long folder wraps inside the page.
        TStringList info;
        info.Add(L"インストール先フォルダ：" + FTargetDir);
        lblInfo->SetCaptions(&info);
        ShowPage(tsConfirm);
    } else if (page == tsConfirm) {
        ShowPage(FHasPrevInstall ? tsUninstall : tsInstall);
        Install();
        ShowPage(tsFinished);
    } else if (page == tsFinished) {
        FinishInstall();
        EndProcess();
    } else if (page == tsStartUninstall) {
        if (KWMessageBox(L"アンインストールを開始します。よろしいですか？", Handle(), MB_YESNO) == IDNO) return;
        ShowPage(tsUninstall);
        Uninstall(OwnFolder(), true);
        ShowPage(tsFinishedUninstall);
    } else if (page == tsFinishedUninstall) {
        EndProcess();
    }
}

bool TFormMain::CheckTargetDir() {
    UpdateSizeLabels();
    if (FFreeSpace < FRequiredSize) {
        KWShowMessage(L"空き容量が足りません。", Handle());
        return false;
    }
    if (KWIsSystemFolder(FTargetDir)) {
        KWShowMessage(L"特殊フォルダに直接インストールできません。", Handle());
        return false;
    }
    if (KWDirectoryExists(FTargetDir)) {
        return KWMessageBox(L"選択されたフォルダはすでに存在します、このフォルダにインストールしてもよろしいですか？",
                            Handle(), MB_YESNO) != IDNO;
    }
    if (KWMessageBox(L"選択されたフォルダが見つかりませんでした、新しく作成してもよろしいですか？", Handle(),
                     MB_YESNO) == IDNO)
        return false;
    // The folder is made only to prove that it can be; the install step makes it again.
    if (!KWForceDirectories(FTargetDir)) {
        KWShowMessage(L"ディレクトリの作成に失敗しました。", Handle());
        return false;
    }
    KWDeleteFolder(FTargetDir, false);
    return true;
}

void TFormMain::btnNextClick(TObject*) { GoNext(); }

void TFormMain::btnBackClick(TObject*) { GoBack(); }

void TFormMain::btnCancelClick(TObject*) {
    const std::wstring question = L"インストール処理は完了していません。\r\n"
                                  L"中止した場合、インストールを完了するにはもう一度セットアップを実行する必要があります。\r\n"
                                  L"中止する場合は「はい」をクリックしてください、継続するには「いいえ」をクリックしてください。";
    if (KWMessageBox(question, Handle(), MB_YESNO) != IDNO) EndProcess();
}

void TFormMain::chkAgreeClick(TObject*) { UpdateButtons(); }

void TFormMain::btnOpenDirClick(TObject*) {
    // The same folder without its final "\": Wine's shell does not parse a folder path ending in one.
    KWBrowseFolder->InitDir = KWExcludeTrailingPathDelimiter(FDefaultDir);
    if (!KWBrowseFolder->Execute()) return;
    const std::wstring chosen = KWBrowseFolder->SelectedDir();
    // A choice without a file-system path would make the target relative to the current folder.
    if (chosen.empty()) return;
    const std::wstring shopFolder = KWExtractLastFolderName(FDefaultDir);
    if (KWSameString(KWExtractLastFolderName(chosen), shopFolder)) FTargetDir = KWIncludeTrailingPathDelimiter(chosen);
    else FTargetDir = KWCombinePath({chosen, shopFolder});
    edtPath->SetText(FTargetDir);
    UpdateSizeLabels();
}

void TFormMain::btnSetDefaultDirClick(TObject*) {
    FTargetDir = FDefaultDir;
    edtPath->SetText(FTargetDir);
    UpdateSizeLabels();
}

// The drive list stays hidden, so this never runs; it keeps the chosen index.
void TFormMain::cboDriveChange(TObject*) { FDriveIndex = cboDrive->ItemIndex(); }

void TFormMain::UpdateSizeLabels() {
    FFreeSpace = KWGetDiskFree(FTargetDir);
    lblFreeSize->SetCaption(IntToStr(FFreeSpace) + L" byte");
    lblDataSize->SetCaption(IntToStr(FRequiredSize) + L" byte");
}

void TFormMain::FormCloseQuery(TObject*, bool& CanClose) {
    // The install and uninstall pages hide every button: the work there must not be cut off.
    TKWTabSheet* page = pageWiz->ActivePage();
    CanClose = page != tsInstall && page != tsUninstall;
}
