// The wizard's pages as laid out: every text is measured with its own font and must lie inside
// its page, whole, broken only where Japanese text may break, and no two controls of a page
// overlap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExtCtrls.h"
#include "FormMainHarness.h"

namespace {

std::vector<std::wstring> SplitLines(const std::wstring& AText) {
    std::vector<std::wstring> lines(1);
    for (wchar_t c : AText) {
        if (c == L'\r') lines.emplace_back();
        else lines.back() += c;
    }
    return lines;
}

// The text without line breaks and blanks: what a reader reads.
std::wstring Words(const std::wstring& AText) {
    std::wstring words;
    for (wchar_t c : AText)
        if (c != L'\r' && c != L'\n' && c != L' ') words += c;
    return words;
}

// The rectangle the label's text takes when drawn with the label's font, from its top left.
SIZE TextExtent(TKWLabel* ALabel) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, ALabel->Font()->Handle());
    RECT r{0, 0, 0, 0};
    const std::wstring text = ALabel->Caption();
    DrawTextW(dc, text.c_str(), (int)text.size(), &r, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

std::string Name(TControl* AControl) {
    std::wstring name = AControl->ClassName();
    if (auto* label = dynamic_cast<TKWLabel*>(AControl)) name += L" " + label->Caption().substr(0, 12);
    return WideToUtf8(name);
}

void ExpectPageReadable(TKWTabSheet* APage) {
    const int32_t width = APage->ClientWidth(), height = APage->ClientHeight();
    ASSERT_GT(width, 500);
    std::vector<TControl*> controls;
    for (int32_t i = 0; i < APage->ControlCount(); ++i)
        if (APage->Controls(i)->Visible()) controls.push_back(APage->Controls(i));
    for (TControl* c : controls) {
        SCOPED_TRACE(Name(c));
        const RECT r = c->BoundsRect();
        EXPECT_LE(r.right, width);
        EXPECT_LE(r.bottom, height);
        auto* label = dynamic_cast<TKWLabel*>(c);
        if (!label) continue;
        const SIZE text = TextExtent(label);
        EXPECT_LE(label->Left() + text.cx, width) << "text cut at the page's right edge";
        if (label->WordWrapSelf()) {
            EXPECT_EQ(label->Left() + label->Width() + label->Left(), width) << "margins";
        }
        EXPECT_LE(label->Top() + text.cy, height) << "text cut at the page's bottom";
        EXPECT_LE(text.cx, label->Width());
        EXPECT_LE(text.cy, label->Height());
        // Whole: the lines joined again are the lines given.
        std::wstring given;
        for (int32_t i = 0; i < label->Captions()->GetCount(); ++i) given += label->Captions()->GetStrings(i);
        EXPECT_EQ(Words(label->Caption()), Words(given));
        for (const std::wstring& line : SplitLines(label->Caption())) {
            if (line.empty()) continue;
            EXPECT_EQ(std::wstring(L"、。」）ーっャ").find(line.front()), std::wstring::npos) << WideToUtf8(line);
            EXPECT_EQ(std::wstring(L"「（").find(line.back()), std::wstring::npos) << WideToUtf8(line);
        }
    }
    // No two controls overlap, except what a frame encloses.
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            if (dynamic_cast<TBevel*>(controls[i]) || dynamic_cast<TBevel*>(controls[j])) continue;
            RECT a = controls[i]->BoundsRect(), b = controls[j]->BoundsRect(), both;
            EXPECT_FALSE(IntersectRect(&both, &a, &b)) << Name(controls[i]) << " overlaps " << Name(controls[j]);
        }
}

}  // namespace

TEST(FormMainLayout, EveryPageShowsItsTextsWhole) {
    TTestFormMain form;
    for (int32_t i = 0; i < form.pageWiz->GetPageCount(); ++i) {
        TKWTabSheet* page = form.pageWiz->GetPage(i);
        SCOPED_TRACE(WideToUtf8(page->Caption()));
        form.ShowPage(page);
        ExpectPageReadable(page);
    }
}

// The uninstaller's start page: the long second sentence wraps, and its last words show.
TEST(FormMainLayout, UninstallStartSentenceWrapsInsideThePage) {
    TTestFormMain form;
    form.ShowPage(form.tsStartUninstall);
    const std::vector<std::wstring> lines = SplitLines(form.KWLabel9->Caption());
    ASSERT_GT(lines.size(), 7u) << "the second sentence should take two lines";
    EXPECT_NE(Words(form.KWLabel9->Caption()).find(L"アンインストールします。"), std::wstring::npos);
    ExpectPageReadable(form.tsStartUninstall);
}

// A chosen folder longer than the page wraps on the confirmation page.
TEST(FormMainLayout, LongTargetFolderWrapsOnTheConfirmationPage) {
    TTempDir parent(L"long");
    const std::wstring target = parent.Path + L"写真注文ソフトウェア\\" + std::wstring(60, L'あ') + L"\\";
    TTestFormMain form;
    form.FDefaultDir = form.FTargetDir = target;
    form.FRequiredSize = 1;
    form.ShowPage(form.tsSelectDir);
    TBoxScript boxes({IDYES});
    form.GoNext();
    ASSERT_EQ(form.pageWiz->ActivePage(), form.tsConfirm);
    EXPECT_EQ(Words(form.lblInfo->Caption()), Words(L"インストール先フォルダ：" + target));
    EXPECT_GT(SplitLines(form.lblInfo->Caption()).size(), 1u);
    ExpectPageReadable(form.tsConfirm);
}
