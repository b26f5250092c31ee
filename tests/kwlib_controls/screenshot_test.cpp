// A picture for the eye: a page control laid out like the installer's wizard page, with labels,
// a progress bar and buttons, rendered into memory and saved as a BMP in the build tree.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "KWButton.h"
#include "KWControl.h"
#include "KWLabel.h"
#include "KWProgressBar.h"
#include "controls_test_util.h"

namespace {

TKWLabel* AddLabel(TComponent* owner, TWinControl* parent, int32_t x, int32_t y, const std::wstring& text) {
    auto* label = new TKWLabel(owner);
    label->SetParent(parent);
    label->SetTransparent(true);
    label->SetLeft(x);
    label->SetTop(y);
    label->SetCaption(text);
    return label;
}

}  // namespace

TEST(Screenshot, WizardLikePageWithButtonsLabelsAndProgressBar) {
    auto form = MakeHostForm(574, 384);
    auto* root = new TKWPanel(form.get());
    root->SetParent(form.get());
    root->SetBounds(0, 0, 574, 384);

    auto* title = new TKWPanel(form.get());
    title->SetParent(root);
    title->SetBounds(0, 0, 574, 67);
    title->SetGColor1(RGB(255, 255, 255));
    title->SetGColor2(RGB(214, 232, 214));
    title->SetGColor3(RGB(150, 200, 150));
    title->SetGPercent(60);
    title->SetGActive(true);
    title->SetSelfBorderWidth(TKWPanel::bpBottom, 1);
    title->SetSelfBorderColor(TKWPanel::bpBottom, clGray);
    AddLabel(form.get(), title, 16, 14, L"lumi-vera クイルボックスのインストール")->Font()->SetStyle(fsBold);
    AddLabel(form.get(), title, 24, 38, L"ファイルをコピーしています。しばらくお待ちください。");

    auto* pages = new TKWPageControl(form.get());
    pages->SetParent(root);
    pages->SetBounds(0, 67, 574, 276);
    pages->SetStyle(tsFlatButtons);
    const wchar_t* names[] = {L"開始", L"使用許諾", L"インストール先", L"確認", L"インストール", L"完了"};
    std::vector<TKWTabSheet*> sheets;
    for (const wchar_t* name : names) {
        auto* sheet = new TKWTabSheet(form.get());
        sheet->SetCaption(name);
        sheet->SetPageControl(pages);
        sheets.push_back(sheet);
    }
    TKWTabSheet* install = sheets[4];
    pages->SetActivePage(install);
    AddLabel(form.get(), install, 16, 20, L"インストール先:");
    AddLabel(form.get(), install, 110, 20, L"C:\\Program Files\\ORVANE\\lumi-vera Quillbox");
    AddLabel(form.get(), install, 16, 44, L"必要な空き容量: 128.5 MB   空き容量: 20.4 GB");
    auto* bar = new TKWProgressBar(form.get());
    bar->SetParent(install);
    bar->SetBounds(16, 90, 537, 25);
    bar->SetText(L"%d%%");
    bar->SetTextFraming(true);
    bar->SetBorderStyle(bsNone);
    bar->SetForeColor1(0xBBEEBB);
    bar->SetForeColor2(0xBBEEBB);
    bar->Font()->SetColor(0x336633);
    bar->SetPosition(50);
    auto* gradientBar = new TKWProgressBar(form.get());
    gradientBar->SetParent(install);
    gradientBar->SetBounds(16, 140, 537, 25);
    gradientBar->SetText(L"%c / %m ファイル");
    gradientBar->SetMax(240);
    gradientBar->SetPosition(173);

    auto* buttons = new TKWPanel(form.get());
    buttons->SetParent(root);
    buttons->SetBounds(0, 343, 574, 41);
    buttons->SetSelfBorderWidth(TKWPanel::bpTop, 1);
    buttons->SetSelfBorderColor(TKWPanel::bpTop, clGray);
    const wchar_t* captions[] = {L"戻る", L"次へ", L"キャンセル"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new TKWButton(form.get());
        b->SetParent(buttons);
        b->SetBounds(574 - 3 * 101 + i * 101, 5, 96, 31);
        b->SetCaption(captions[i]);
        if (i == 1) b->SetDefault(true);
        if (i == 0) b->SetEnabled(false);
    }

    TBitmap shot;
    RenderControl(root, shot, clBlack);
    const std::string path = std::string(TEST_BUILD_DIR) + "/kwlib_controls_wizard_page.bmp";
    ASSERT_TRUE(SaveBmp(shot, path));
    // The half-filled bar: its fill colour left of the middle, its background right of it.
    const RECT barRect = bar->BoundsRect();
    const int32_t y = 67 + install->Top() + barRect.top + 3;
    const int32_t x0 = pages->Left() + install->Left() + barRect.left;
    EXPECT_EQ(PixelOf(shot, x0 + 10, y), (TColor)0xBBEEBB);
    EXPECT_EQ(PixelOf(shot, x0 + 530, y), (TColor)0xFFFFFF);
    EXPECT_EQ(PixelOf(shot, 300, 66), clGray);   // the title band's bottom border
}
