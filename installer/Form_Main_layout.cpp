// The wizard's controls, their places and texts (what a form description would hold).
#include "Form_Main.h"

#include <initializer_list>

#include "KWCommonLib.h"

namespace {

constexpr int32_t kFormClientWidth = 574;
constexpr int32_t kFormClientHeight = 388;
constexpr int32_t kTitleHeight = 67;
constexpr int32_t kButtonPanelHeight = 41;
constexpr int32_t kButtonWidth = 96;
constexpr int32_t kButtonHeight = 31;
constexpr int32_t kButtonMargin = 5;
// The two progress bars: dark green text on a flat light green fill.
constexpr TColor kProgressTextColor = 3368499;
constexpr TColor kProgressFillColor = 12316347;

void SetTahoma(TFont* AFont) {
    AFont->SetName(L"Tahoma");
    AFont->SetHeight(-11);
}

TKWTabSheet* AddPage(TFormMain* AForm, TKWPageControl* APages, const wchar_t* ACaption) {
    auto* page = new TKWTabSheet(AForm);
    page->SetCaption(ACaption);
    page->SetPageControl(APages);
    return page;
}

// A label whose caption is the given lines ('' for an empty line), at (ALeft, ATop): as wide as
// its text for APageWidth 0; on a page APageWidth wide, a label of sentences that ends as far
// from the page's right edge as it starts from the left, wraps its lines to that width and takes
// the height they need, so that no text runs past the page.
TKWLabel* AddLabel(TFormMain* AForm, TWinControl* AParent, int32_t ALeft, int32_t ATop, int32_t APageWidth,
                   std::initializer_list<const wchar_t*> ALines) {
    auto* label = new TKWLabel(AForm);
    label->SetParent(AParent);
    label->SetLeft(ALeft);
    label->SetTop(ATop);
    if (APageWidth > 0) {
        label->SetWidth(APageWidth - 2 * ALeft);
        label->SetAutoSizeMode(asHeight);
        label->SetWordWrapSelf(true);
    }
    TStringList lines;
    for (const wchar_t* line : ALines) lines.Add(line);
    label->SetCaptions(&lines);
    return label;
}

TKWButton* AddButton(TFormMain* AForm, TWinControl* AParent, const wchar_t* ACaption, int32_t ALeft, int32_t ATop,
                     int32_t AWidth, int32_t AHeight) {
    auto* button = new TKWButton(AForm);
    button->SetParent(AParent);
    button->SetBounds(ALeft, ATop, AWidth, AHeight);
    button->SetCaption(ACaption);
    button->DoubleBuffered = true;
    return button;
}

TCheckBox* AddCheckBox(TFormMain* AForm, TWinControl* AParent, const wchar_t* ACaption, int32_t ALeft, int32_t ATop,
                       bool AChecked) {
    auto* box = new TCheckBox(AForm);
    box->SetParent(AParent);
    box->SetBounds(ALeft, ATop, 400, 17);
    box->SetCaption(ACaption);
    box->SetChecked(AChecked);
    return box;
}

TKWProgressBar* AddProgressBar(TFormMain* AForm, TWinControl* AParent, int32_t ALeft, int32_t ATop) {
    auto* bar = new TKWProgressBar(AForm);
    bar->SetParent(AParent);
    bar->SetBounds(ALeft, ATop, 537, 25);
    bar->SetMax(100);
    bar->SetPosition(50);
    bar->SetText(L"%d%%");
    bar->SetTextFraming(true);
    bar->SetBorderStyle(bsNone);
    bar->SetForeColor1(kProgressFillColor);
    bar->SetForeColor2(kProgressFillColor);
    bar->SetBorderColor(clBlack);
    bar->SetParentFont(false);
    SetTahoma(bar->Font());
    bar->Font()->SetColor(kProgressTextColor);
    return bar;
}

}  // namespace

void TFormMain::CreateControls() {
    SetBorderStyle(bsDialog);
    SetBorderIcons(0);
    SetCaption(L" ");
    SetPosition(poScreenCenter);
    SetTahoma(Font());
    SetClientSize(kFormClientWidth, kFormClientHeight);

    // Title artwork.
    pnlTitle = new TKWPanel(this);
    pnlTitle->SetParent(this);
    pnlTitle->SetHeight(kTitleHeight);
    pnlTitle->SetAlign(alTop);
    pnlTitle->SetBevelOuter(bvNone);
    pnlTitle->SetShowCaption(false);
    imgTitleLeft = new TImage(this);
    imgTitleLeft->SetParent(pnlTitle);
    imgTitleLeft->SetWidth(252);
    imgTitleLeft->SetAlign(alLeft);
    imgTitleRight = new TImage(this);
    imgTitleRight->SetParent(pnlTitle);
    imgTitleRight->SetWidth(180);
    imgTitleRight->SetAlign(alRight);
    imgTitleSpace = new TImage(this);
    imgTitleSpace->SetParent(pnlTitle);
    imgTitleSpace->SetAlign(alClient);
    imgTitleSpace->SetStretch(true);
    LoadTitlePictures();

    // Buttons at the bottom, right-aligned: Cancel, Next, Back from the right.
    KWPanel1 = new TKWPanel(this);
    KWPanel1->SetParent(this);
    KWPanel1->SetHeight(kButtonPanelHeight);
    KWPanel1->SetAlign(alBottom);
    KWPanel1->SetBevelOuter(bvNone);
    KWPanel1->SetShowCaption(false);
    const int32_t top = (kButtonPanelHeight - kButtonHeight) / 2;
    int32_t left = kFormClientWidth - kButtonMargin - kButtonWidth;
    btnCancel = AddButton(this, KWPanel1, L"キャンセル", left, top, kButtonWidth, kButtonHeight);
    left -= kButtonMargin + kButtonWidth;
    btnNext = AddButton(this, KWPanel1, L"次へ", left, top, kButtonWidth, kButtonHeight);
    left -= kButtonMargin + kButtonWidth;
    btnBack = AddButton(this, KWPanel1, L"戻る", left, top, kButtonWidth, kButtonHeight);
    btnNext->SetTabOrder(0);
    btnCancel->OnClick = [this](TObject* Sender) { btnCancelClick(Sender); };
    btnNext->OnClick = [this](TObject* Sender) { btnNextClick(Sender); };
    btnBack->OnClick = [this](TObject* Sender) { btnBackClick(Sender); };

    Bevel1 = new TBevel(this);
    Bevel1->SetParent(this);
    Bevel1->SetHeight(4);
    Bevel1->SetAlign(alBottom);
    Bevel1->SetShape(bsBottomLine);

    pageWiz = new TKWPageControl(this);
    pageWiz->SetParent(this);
    pageWiz->SetAlign(alClient);
    pageWiz->SetStyle(tsFlatButtons);
    // The page control's enabled state stays its own: the pages and their controls keep theirs.
    pageWiz->SetChildControlEnabled(false);
    // The pages are sized only when first shown; they take the page control's page area, which
    // its window knows.
    pageWiz->HandleNeeded();
    const RECT pageArea = pageWiz->DisplayRect();
    const int32_t pageWidth = pageArea.right - pageArea.left;

    // Start.
    tsStart = AddPage(this, pageWiz, L"スタート");
    KWLabel1 = AddLabel(this, tsStart, 16, 16, pageWidth,
                        {L"ルミヴェラクイルボックス インストールプログラムへようこそ", L"",
                         L"このプログラムはコンピュータにルミヴェラクイルボックスをインストールします。",
                         L"インストールを開始する前に、現在起動中のプログラムを必ず終了してください。", L"",
                         L"「次へ」を押すとインストール作業に進みます。",
                         L"インストールを中止する場合は「キャンセル」ボタンを押してください。"});

    // Licence.
    tsLicence = AddPage(this, pageWiz, L"ライセンス");
    KWLabel2 = AddLabel(this, tsLicence, 16, 12, pageWidth, {L"下記のライセンス契約をお読みください。"});
    pnlExt = new TPanel(this);
    pnlExt->SetParent(tsLicence);
    pnlExt->SetBounds(16, 32, 537, 182);
    pnlExt->SetBevelOuter(bvLowered);
    pnlExt->SetShowCaption(false);
    pnlExt->SetParentColor(false);
    pnlExt->SetColor(clWindow);
    Memo = new TMemo(this);
    Memo->SetParent(pnlExt);
    Memo->SetAlign(alClient);
    Memo->SetReadOnly(true);
    Memo->SetScrollBars(ssVertical);
    Memo->SetBorderStyle(bsNone);
    chkAgree = AddCheckBox(this, tsLicence, L"以上の契約に同意します", 16, 222, false);
    chkAgree->OnClick = [this](TObject* Sender) { chkAgreeClick(Sender); };

    // Target folder.
    tsSelectDir = AddPage(this, pageWiz, L"ディレクトリ選択");
    KWLabel3 = AddLabel(this, tsSelectDir, 16, 16, pageWidth, {L"インストール先ドライブを選択し、「次へ」をクリックしてください。"});
    edtPath = new TEdit(this);
    edtPath->SetParent(tsSelectDir);
    edtPath->SetBounds(18, 48, 436, 21);
    edtPath->SetReadOnly(true);
    btnOpenDir = AddButton(this, tsSelectDir, L"参照", 462, 46, 75, 25);
    btnOpenDir->OnClick = [this](TObject* Sender) { btnOpenDirClick(Sender); };
    btnSetDefaultDir = AddButton(this, tsSelectDir, L"標準に戻す", 387, 78, 150, 25);
    btnSetDefaultDir->OnClick = [this](TObject* Sender) { btnSetDefaultDirClick(Sender); };
    Bevel2 = new TBevel(this);
    Bevel2->SetParent(tsSelectDir);
    Bevel2->SetBounds(18, 118, 519, 64);
    Bevel2->SetShape(bsFrame);
    KWLabel4 = AddLabel(this, tsSelectDir, 32, 132, 0, {L"選択されたドライブの空き容量："});
    lblFreeSize = AddLabel(this, tsSelectDir, 232, 132, 0, {L"0 byte"});
    KWLabel5 = AddLabel(this, tsSelectDir, 32, 156, 0, {L"インストールに必要な空き容量："});
    lblDataSize = AddLabel(this, tsSelectDir, 232, 156, 0, {L"0 byte"});
    cboDrive = new TComboBox(this);
    cboDrive->SetParent(tsSelectDir);
    cboDrive->SetStyle(csDropDownList);
    cboDrive->SetBounds(18, 196, 200, 21);
    cboDrive->SetVisible(false);
    cboDrive->OnChange = [this](TObject* Sender) { cboDriveChange(Sender); };

    // Confirmation.
    tsConfirm = AddPage(this, pageWiz, L"確認");
    KWLabel6 = AddLabel(this, tsConfirm, 16, 16, pageWidth, {L"インストールを開始します、よろしければ「次へ」をクリックしてください。"});
    lblInfo = AddLabel(this, tsConfirm, 16, 48, pageWidth, {L"インストール先フォルダ："});

    // Installing.
    tsInstall = AddPage(this, pageWiz, L"インストール処理");
    KWLabel7 = AddLabel(this, tsInstall, 16, 16, pageWidth, {L"インストールを実行しています。"});
    pbarTotal = AddProgressBar(this, tsInstall, 16, 48);

    // Finished.
    tsFinished = AddPage(this, pageWiz, L"完了");
    KWLabel8 = AddLabel(this, tsFinished, 16, 16, pageWidth, {L"インストールを完了しました。"});
    chkCreateShortCutToDesktop = AddCheckBox(this, tsFinished, L"デスクトップにショートカットを作成", 18, 48, true);
    chkRunProgram = AddCheckBox(this, tsFinished, L"プログラムを起動", 18, 72, true);

    // Uninstaller pages.
    tsStartUninstall = AddPage(this, pageWiz, L"アンインストール");
    KWLabel9 = AddLabel(this, tsStartUninstall, 16, 16, pageWidth,
                        {L"ルミヴェラクイルボックス アンインストールプログラムへようこそ", L"",
                         L"このプログラムはコンピュータにインストールされているルミヴェラクイルボックスをアンインストールします。",
                         L"インストールを開始する前に、現在起動中のプログラムを必ず終了してください。", L"",
                         L"「次へ」を押すとアンインストール作業に進みます。",
                         L"アンインストールを中止する場合は「キャンセル」ボタンを押してください。"});
    tsUninstall = AddPage(this, pageWiz, L"アンインストール処理");
    KWLabel10 = AddLabel(this, tsUninstall, 16, 16, pageWidth, {L"アンインストールを実行しています。"});
    pbarTotalUninstall = AddProgressBar(this, tsUninstall, 16, 48);
    tsFinishedUninstall = AddPage(this, pageWiz, L"アンインストール完了");
    KWLabel11 = AddLabel(this, tsFinishedUninstall, 16, 16, pageWidth, {L"アンインストールを完了しました。"});

    // Non-visual components.
    KWBrowseFolder = new TKWBrowseFolder(this);
    KWBrowseFolder->RootSpecialDir = sfDesktop;
    KWBrowseFolder->InitSpecialDir = sfNone;
    KWBrowseFolder->Options = bifReturnOnlyFSDirs;
    KWBrowseFolder->SetFormWidth(371);
    KWBrowseFolder->SetFormHeight(311);
    KWManifestReqAdmin = new TKWManifestReqAdmin(this);

    pageWiz->SetActivePage(tsStart);
}

void TFormMain::LoadTitlePictures() {
    // The artwork is part of the executable's resources; a program without it (a test) shows
    // the panel plain.
    HINSTANCE self = GetModuleHandleW(nullptr);
    const struct {
        TImage* Image;
        const wchar_t* Name;
    } pictures[] = {{imgTitleLeft, L"TITLE_LEFT"}, {imgTitleRight, L"TITLE_RIGHT"}, {imgTitleSpace, L"TITLE_SPACE"}};
    for (const auto& p : pictures) {
        if (!FindResourceW(self, p.Name, (LPCWSTR)RT_BITMAP)) continue;
        p.Image->Picture()->Bitmap()->LoadFromResourceName(self, p.Name);
    }
}
