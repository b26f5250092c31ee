// The tab strip over the system tab control: window styles from the properties, the tab strings,
// re-creation, selection by clicks and accelerators, the page area and the picture.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KWControl.h"
#include "controls_test_util.h"

namespace {

struct TTabHost {
    std::unique_ptr<TForm> Form = MakeHostForm(300, 200);
    TKWCustomTabControl* Tabs;
    TTabHost() {
        Tabs = new TKWCustomTabControl(Form.get());
        Tabs->SetParent(Form.get());
        Tabs->SetBounds(0, 0, 300, 200);
    }
    LONG Style() { return GetWindowLongW(Tabs->Handle(), GWL_STYLE); }
    POINT CentreOf(int32_t index) {
        RECT r = Tabs->TabRect(index);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

std::wstring MessageOf(const Exception& e) { return e.Message(); }

}  // namespace

TEST(KWCustomTabControl, CreatedAsTheSystemTabControl) {
    TTabHost h;
    wchar_t cls[64] = {};
    GetClassNameW(h.Tabs->Handle(), cls, 64);
    EXPECT_STREQ(cls, L"TKWCustomTabControl");
    EXPECT_NE(SendMessageW(h.Tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), -1);   // answered by the tab control
    EXPECT_TRUE(h.Style() & WS_CLIPCHILDREN);
    EXPECT_TRUE(GetClassLongW(h.Tabs->Handle(), GCL_STYLE) & CS_DBLCLKS);
    EXPECT_FALSE(GetClassLongW(h.Tabs->Handle(), GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW));
    TKWCustomTabControl fresh(nullptr);
    EXPECT_EQ(fresh.Width(), 289);
    EXPECT_EQ(fresh.Height(), 193);
    EXPECT_TRUE(fresh.TabStop());
}

TEST(KWCustomTabControl, PropertiesGiveTheirStyleBits) {
    struct TCase {
        const char* Name;
        std::function<void(TKWCustomTabControl*)> Set;
        LONG Bits;
    };
    const std::vector<TCase> cases = {
        {"bottom", [](TKWCustomTabControl* t) { t->SetTabPosition(tpBottom); }, TCS_BOTTOM},
        {"left", [](TKWCustomTabControl* t) { t->SetTabPosition(tpLeft); }, TCS_VERTICAL | TCS_MULTILINE},
        {"right", [](TKWCustomTabControl* t) { t->SetTabPosition(tpRight); }, TCS_VERTICAL | TCS_RIGHT | TCS_MULTILINE},
        {"buttons", [](TKWCustomTabControl* t) { t->SetStyle(tsButtons); }, TCS_BUTTONS},
        {"flat buttons", [](TKWCustomTabControl* t) { t->SetStyle(tsFlatButtons); }, TCS_BUTTONS | TCS_FLATBUTTONS},
        {"ragged", [](TKWCustomTabControl* t) { t->SetRaggedRight(true); }, TCS_RAGGEDRIGHT},
        {"no tab stop", [](TKWCustomTabControl* t) { t->SetTabStop(false); }, TCS_FOCUSNEVER},
        {"multi line", [](TKWCustomTabControl* t) { t->SetMultiLine(true); }, TCS_MULTILINE},
        {"multi select", [](TKWCustomTabControl* t) { t->SetMultiSelect(true); }, TCS_MULTISELECT},
        {"owner draw", [](TKWCustomTabControl* t) { t->SetOwnerDraw(true); }, TCS_OWNERDRAWFIXED},
        {"close button", [](TKWCustomTabControl* t) { t->SetCloseBtn(true); }, TCS_OWNERDRAWFIXED},
        {"fixed width", [](TKWCustomTabControl* t) { t->SetTabWidth(40); }, TCS_FIXEDWIDTH},
        {"hot track", [](TKWCustomTabControl* t) { t->SetHotTrack(true); }, TCS_HOTTRACK},
        {"scroll opposite", [](TKWCustomTabControl* t) { t->SetScrollOpposite(true); }, TCS_SCROLLOPPOSITE | TCS_MULTILINE},
    };
    for (const TCase& c : cases) {
        TTabHost h;
        EXPECT_EQ(h.Style() & 0xFFFF & ~(LONG)TCS_TOOLTIPS, 0) << c.Name;
        c.Set(h.Tabs);
        EXPECT_EQ(h.Style() & c.Bits, c.Bits) << c.Name;
    }
}

TEST(KWCustomTabControl, StyleAndPositionMustFitEachOther) {
    TTabHost h;
    h.Tabs->SetTabPosition(tpBottom);
    try {
        h.Tabs->SetStyle(tsButtons);
        FAIL() << "no error";
    } catch (EInvalidOperation& e) {
        EXPECT_EQ(MessageOf(e), L"TabStyle で指定された値は現在の TabPosition の状態では指定できません");
    }
    EXPECT_EQ(h.Tabs->Style(), tsTabs);

    h.Tabs->SetTabPosition(tpTop);
    h.Tabs->SetStyle(tsFlatButtons);
    EXPECT_FALSE(h.Tabs->ParentBackground());
    try {
        h.Tabs->SetTabPosition(tpRight);
        FAIL() << "no error";
    } catch (EInvalidOperation& e) {
        EXPECT_EQ(MessageOf(e), L"TabPosition で指定された値は現在の TabStyle の状態では指定できません");
    }
    EXPECT_EQ(h.Tabs->TabPosition(), tpTop);

    h.Tabs->SetStyle(tsTabs);
    EXPECT_TRUE(h.Tabs->ParentBackground());
    h.Tabs->SetTabPosition(tpLeft);
    EXPECT_TRUE(h.Tabs->MultiLine());
    try {
        h.Tabs->SetMultiLine(false);
        FAIL() << "no error";
    } catch (EListError& e) {
        EXPECT_EQ(MessageOf(e), L"TabPosition が tpLeft または tpRight の時は MultiLine は True でなければなりません。");
    }
    EXPECT_TRUE(h.Tabs->MultiLine());

    h.Tabs->SetTabPosition(tpTop);
    h.Tabs->SetScrollOpposite(true);
    EXPECT_TRUE(h.Tabs->MultiLine());
    h.Tabs->SetMultiLine(false);
    EXPECT_FALSE(h.Tabs->ScrollOpposite());
}

TEST(KWCustomTabControl, NegativeTabSizesNameTheClass) {
    TTabHost h;
    try {
        h.Tabs->SetTabWidth(-1);
        FAIL() << "no error";
    } catch (EInvalidOperation& e) {
        EXPECT_EQ(MessageOf(e), L"プロパティ TKWCustomTabControl の範囲を超えています");
    }
    TKWPageControl pages(nullptr);
    try {
        pages.SetTabHeight(-5);
        FAIL() << "no error";
    } catch (EInvalidOperation& e) {
        EXPECT_EQ(MessageOf(e), L"プロパティ TKWPageControl の範囲を超えています");
    }
    EXPECT_EQ(h.Tabs->TabWidth(), 0);
    EXPECT_EQ(pages.TabHeight(), 0);
}

TEST(KWCustomTabControl, FixedTabSizeReachesTheSystemControl) {
    TTabHost h;
    h.Tabs->Tabs()->Add(L"a");
    h.Tabs->Tabs()->Add(L"bbbbbbbbbbbbbbbbbbbbbbb");
    HWND before = h.Tabs->Handle();
    h.Tabs->SetTabHeight(30);   // only the size is sent
    EXPECT_EQ(h.Tabs->Handle(), before);
    h.Tabs->SetTabWidth(70);    // zero to non-zero: the window is made again
    EXPECT_NE(h.Tabs->Handle(), before);
    RECT r0 = h.Tabs->TabRect(0), r1 = h.Tabs->TabRect(1);
    EXPECT_EQ(r0.right - r0.left, 70);
    EXPECT_EQ(r1.right - r1.left, 70);
    EXPECT_EQ(r0.bottom - r0.top, 30);
}

TEST(KWCustomTabControl, TabsAndSelectionSurviveRecreation) {
    TTabHost h;
    TComponent a(nullptr), b(nullptr);
    h.Tabs->Tabs()->AddObject(L"一", &a);
    h.Tabs->Tabs()->AddObject(L"二", &b);
    h.Tabs->Tabs()->Add(L"三");
    h.Tabs->SetTabIndex(1);
    HWND before = h.Tabs->Handle();
    h.Tabs->SetStyle(tsButtons);
    EXPECT_NE(h.Tabs->Handle(), before);
    ASSERT_EQ(h.Tabs->Tabs()->GetCount(), 3);
    EXPECT_EQ(h.Tabs->Tabs()->GetStrings(0), L"一");
    EXPECT_EQ(h.Tabs->Tabs()->GetStrings(2), L"三");
    EXPECT_EQ(h.Tabs->Tabs()->GetObjects(0), &a);
    EXPECT_EQ(h.Tabs->Tabs()->GetObjects(1), &b);
    EXPECT_EQ(h.Tabs->Tabs()->GetObjects(2), nullptr);
    EXPECT_EQ(h.Tabs->TabIndex(), 1);
}

TEST(KWCustomTabControl, TabsMadeBeforeTheWindowArriveInIt) {
    auto form = MakeHostForm(300, 200);
    auto* tabs = new TKWCustomTabControl(form.get());
    tabs->Tabs()->Add(L"x");
    tabs->Tabs()->Add(L"y");
    tabs->Tabs()->Insert(0, L"w");
    tabs->SetTabIndex(2);
    EXPECT_FALSE(tabs->HandleAllocated());
    EXPECT_EQ(tabs->Tabs()->GetCount(), 3);
    tabs->SetParent(form.get());
    EXPECT_EQ(SendMessageW(tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(tabs->Tabs()->GetStrings(0), L"w");
    EXPECT_EQ(tabs->TabIndex(), 2);
}

TEST(KWCustomTabControl, FailingTabOperationsRaiseListErrors) {
    TTabHost h;
    h.Tabs->Tabs()->Add(L"a");
    struct TCase {
        std::function<void()> Op;
        std::wstring Message;
    };
    const std::vector<TCase> cases = {
        {[&] { h.Tabs->Tabs()->GetStrings(5); }, L"5 番目のタブの参照に失敗しました"},
        {[&] { h.Tabs->Tabs()->GetObjects(7); }, L"7 番目のタブのオブジェクトの取得に失敗しました"},
        {[&] { h.Tabs->Tabs()->SetStrings(3, L"名前"); }, L"3 番目のタブに \"名前\"を設定できませんでした"},
        {[&] { h.Tabs->Tabs()->SetObjects(4, nullptr); }, L"4 番目のタブにオブジェクトを設定することができませんでした"},
        {[&] { h.Tabs->Tabs()->Delete(9); }, L"9 番目のタブの削除に失敗しました"},
    };
    for (const TCase& c : cases) {
        try {
            c.Op();
            ADD_FAILURE() << "no error for " << WideToUtf8(c.Message);
        } catch (EListError& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
    }
    EXPECT_EQ(h.Tabs->Tabs()->GetCount(), 1);
    h.Tabs->Tabs()->Clear();
    EXPECT_EQ(h.Tabs->Tabs()->GetCount(), 0);
}

TEST(KWCustomTabControl, MoveKeepsCaptionAndObject) {
    TTabHost h;
    TComponent c(nullptr);
    h.Tabs->Tabs()->Add(L"a");
    h.Tabs->Tabs()->Add(L"b");
    h.Tabs->Tabs()->AddObject(L"c", &c);
    h.Tabs->Tabs()->Move(2, 0);
    EXPECT_EQ(h.Tabs->Tabs()->GetText(), L"c\r\na\r\nb\r\n");
    EXPECT_EQ(h.Tabs->Tabs()->GetObjects(0), &c);
}

TEST(KWCustomTabControl, ClicksSelectUnlessOnChangingForbids) {
    TTabHost h;
    h.Tabs->Tabs()->Add(L"first");
    h.Tabs->Tabs()->Add(L"second");
    h.Tabs->SetTabIndex(0);
    int changes = 0;
    bool allow = false;
    h.Tabs->OnChange = [&](TObject* s) {
        EXPECT_EQ(s, h.Tabs);
        ++changes;
    };
    h.Tabs->OnChanging = [&](TObject*, bool& a) { a = allow; };
    POINT p = h.CentreOf(1);
    ClickAt(h.Tabs->Handle(), p.x, p.y);
    EXPECT_EQ(h.Tabs->TabIndex(), 0);
    EXPECT_EQ(changes, 0);
    allow = true;
    ClickAt(h.Tabs->Handle(), p.x, p.y);
    EXPECT_EQ(h.Tabs->TabIndex(), 1);
    EXPECT_EQ(changes, 1);
}

TEST(KWCustomTabControl, AcceleratorSelectsItsTab) {
    TTabHost h;
    h.Form->SetVisible(true);
    h.Tabs->Tabs()->Add(L"&First");
    h.Tabs->Tabs()->Add(L"Fa&x && more");
    h.Tabs->Tabs()->Add(L"&&Zed");
    h.Tabs->SetTabIndex(0);
    int changes = 0;
    h.Tabs->OnChange = [&](TObject*) { ++changes; };
    EXPECT_EQ(h.Tabs->Perform(CM_DIALOGCHAR, L'x'), 1);
    EXPECT_EQ(h.Tabs->TabIndex(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(h.Tabs->Perform(CM_DIALOGCHAR, L'z'), 0);   // "&&" is no accelerator
    EXPECT_EQ(h.Tabs->TabIndex(), 1);
    h.Tabs->OnChanging = [](TObject*, bool& a) { a = false; };
    EXPECT_EQ(h.Tabs->Perform(CM_DIALOGCHAR, L'F'), 1);   // handled, but not allowed
    EXPECT_EQ(h.Tabs->TabIndex(), 1);
    EXPECT_EQ(changes, 1);
}

TEST(KWCustomTabControl, PageAreaLiesBelowTheTabs) {
    TTabHost h;
    h.Tabs->Tabs()->Add(L"a");
    auto* child = new TPanel(h.Form.get());
    child->SetParent(h.Tabs);
    child->SetAlign(alClient);
    RECT expected;
    ::GetClientRect(h.Tabs->Handle(), &expected);
    SendMessageW(h.Tabs->Handle(), TCM_ADJUSTRECT, FALSE, (LPARAM)&expected);
    expected.top += 2;
    EXPECT_EQ(child->BoundsRect().top, expected.top);
    EXPECT_EQ(child->BoundsRect().left, expected.left);
    EXPECT_EQ(child->BoundsRect().right, expected.right);
    EXPECT_GT(expected.top, h.Tabs->TabRect(0).bottom - 1);
    h.Tabs->SetFlat(true);
    h.Tabs->HandleNeeded();
    EXPECT_EQ(child->BoundsRect().top, expected.top - 4);
    EXPECT_EQ(child->BoundsRect().right, expected.right + 4);
}

TEST(KWCustomTabControl, PictureCoversTheControlWhileNoTabIsSelected) {
    TTabHost h;
    h.Tabs->SetBounds(0, 0, 120, 80);
    h.Tabs->Tabs()->Add(L"a");
    TPicture picture;
    TBitmap* source = picture.Bitmap();
    source->SetSize(4, 4);
    source->Canvas()->Brush()->SetColor(clFuchsia);
    source->Canvas()->FillRect(RECT{0, 0, 4, 4});
    h.Tabs->SetPicture(&picture);

    h.Tabs->SetTabIndex(0);
    TBitmap selected;
    RenderControl(h.Tabs, selected);
    EXPECT_NE(PixelOf(selected, 60, 60), clFuchsia);

    h.Tabs->SetTabIndex(-1);
    TBitmap none;
    RenderControl(h.Tabs, none);
    EXPECT_TRUE(AllPixels(none, RECT{0, 0, 120, 80}, clFuchsia));
}

TEST(KWCustomTabControl, OwnerDrawnTabsGoThroughOnDrawTab) {
    TTabHost h;
    h.Tabs->SetOwnerDraw(true);
    h.Tabs->Tabs()->Add(L"a");
    h.Tabs->Tabs()->Add(L"b");
    h.Tabs->SetTabIndex(1);
    std::vector<std::pair<int32_t, bool>> drawn;
    h.Tabs->OnDrawTab = [&](TKWCustomTabControl* c, int32_t i, const RECT& r, bool active) {
        drawn.emplace_back(i, active);
        c->Canvas()->Brush()->SetColor(active ? clRed : clBlue);
        c->Canvas()->FillRect(r);
    };
    TBitmap bmp;
    RenderControl(h.Tabs, bmp);
    ASSERT_GE(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], std::make_pair(0, false));
    EXPECT_EQ(drawn[1], std::make_pair(1, true));
    POINT p0 = h.CentreOf(0), p1 = h.CentreOf(1);
    EXPECT_EQ(PixelOf(bmp, p0.x, p0.y), clBlue);
    EXPECT_EQ(PixelOf(bmp, p1.x, p1.y), clRed);
}
