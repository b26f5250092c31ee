// Sorted list, property store and the message-loop step.
#include <gtest/gtest.h>

#include "KWCommonClass.h"
#include "KWLogger.h"
#include "WinApi.h"

namespace {

std::vector<std::wstring> OrderedKeys(const TKWProperties& AStore) {
    std::vector<std::wstring> keys;
    for (const TKWProperty* p : AStore.GetOrderedList()) keys.push_back(p->Key);
    return keys;
}

std::vector<std::wstring> SortedKeys(const TKWProperties& AStore) {
    std::vector<std::wstring> keys;
    for (int32_t i = 0; i < AStore.GetCount(); ++i) keys.push_back(AStore.GetKey(i));
    return keys;
}

// Runs AAction and returns the EKWException it raises (message and signature).
template <class F>
std::pair<std::wstring, std::wstring> Raised(F AAction) {
    try {
        AAction();
    } catch (const EKWException& e) {
        return {e.Message(), e.Method()};
    }
    return {L"<nothing raised>", L""};
}

using Error = std::pair<std::wstring, std::wstring>;

class TSection : public TObject {
public:
    KW_CLASS_NAME(TSection)
};
class TOther : public TObject {
public:
    KW_CLASS_NAME(TOther)
};

const wchar_t FindItemSig[] =
    L"TKWProperties.FindItem(AKey: String; var AIndex: Integer; AClassType: TKWPropertyClass): TKWProperty";

}  // namespace

TEST(KWProperties, EmptyStore) {
    TKWProperties store;
    int32_t index = -1;
    EXPECT_EQ(store.FindItem(L"x", index, nullptr), nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(store.GetOrderedList().empty());
    EXPECT_EQ(store.GetString(L"x", L"default"), L"default");
    std::wstring value = L"old";
    EXPECT_FALSE(store.TryGetString(L"x", value));
    EXPECT_EQ(value, L"");
    TSection fallback;
    EXPECT_EQ(store.GetObject(L"x", nullptr, &fallback), &fallback);
    EXPECT_FALSE(store.GetCaseSensitive());
}

TEST(KWProperties, SortedAndInsertionOrder) {
    TKWProperties store;
    store.SetString(L"b", L"1");
    store.SetString(L"a", L"2");
    store.SetString(L"c", L"3");
    EXPECT_EQ(SortedKeys(store), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(OrderedKeys(store), (std::vector<std::wstring>{L"b", L"a", L"c"}));
    store.DeleteKey(L"a");
    store.DeleteKey(L"missing");
    store.SetString(L"a", L"4");
    EXPECT_EQ(OrderedKeys(store), (std::vector<std::wstring>{L"b", L"c", L"a"}));
    EXPECT_EQ(store.NextNo, 4u);
    store.Clear();
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(store.NextNo, 0u);
}

TEST(KWProperties, CaseRules) {
    TKWProperties store;
    store.SetString(L"Key", L"1");
    store.SetString(L"other", L"x");
    store.SetString(L"KEY", L"2");  // the same entry: value replaced, spelling and place kept
    EXPECT_EQ(store.GetCount(), 2);
    EXPECT_EQ(store.GetString(L"key", L""), L"2");
    EXPECT_EQ(OrderedKeys(store), (std::vector<std::wstring>{L"Key", L"other"}));

    store.SetCaseSensitive(true);
    EXPECT_EQ(store.GetString(L"key", L"none"), L"none");
    store.SetString(L"KEY", L"3");
    EXPECT_EQ(store.GetCount(), 3);
    EXPECT_EQ(store.GetString(L"Key", L""), L"2");

    // Back to ignoring case: "Key" and "KEY" collide; the store stays as it was.
    EXPECT_EQ(Raised([&] { store.SetCaseSensitive(false); }),
              (Error{L"", L"TKWSortedList.Add(AItem: Pointer): Integer"}));
    EXPECT_TRUE(store.GetCaseSensitive());
    EXPECT_EQ(store.GetCount(), 3);
    EXPECT_EQ(store.GetString(L"KEY", L""), L"3");
    EXPECT_EQ(store.GetString(L"Key", L""), L"2");
    store.DeleteKey(L"KEY");
    store.SetCaseSensitive(false);
    EXPECT_EQ(store.GetString(L"KEY", L""), L"2");
}

TEST(KWProperties, KindsAndClassChecks) {
    TKWProperties store;
    TSection section;
    TOther other;
    store.SetObject(L"sec", &section, KWClassOf<TSection>);
    store.SetString(L"str", L"v");
    const Error mismatch{L"class type is not match.", FindItemSig};
    EXPECT_EQ(Raised([&] { store.GetString(L"sec", L""); }), mismatch);
    EXPECT_EQ(Raised([&] { store.SetString(L"sec", L""); }), mismatch);
    EXPECT_EQ(Raised([&] { store.GetObject(L"str", nullptr, nullptr); }), mismatch);
    EXPECT_EQ(Raised([&] { store.SetObject(L"new", &other, KWClassOf<TSection>); }),
              (Error{L"class type is not match.", L"SetObject(AKey: String; AValue: TObject; AClassType: TClass)"}));
    EXPECT_EQ(store.GetCount(), 2);
    EXPECT_EQ(Raised([&] { store.GetObject(L"sec", KWClassOf<TOther>, nullptr); }),
              (Error{L"class type is not match.",
                     L"TKWProperties.GetObject(AKey: String; AClassType: TClass; ADefault: Pointer): Pointer"}));
    EXPECT_EQ(store.GetObject(L"SEC", KWClassOf<TSection>, nullptr), &section);
    EXPECT_EQ(store.GetObjectAt(0, nullptr, nullptr), &section);
    int32_t index;
    EXPECT_EQ(Raised([&] { store.FindItem(L"sec", index, KWClassOf<TKWStringProperty>); }), mismatch);
    EXPECT_NE(store.FindItem(L"sec", index, KWClassOf<TKWProperty>), nullptr);  // a descendant fits
    store.SetObject(L"nil", nullptr, KWClassOf<TSection>);  // nil fits every class
    TObject* value = &other;
    EXPECT_TRUE(store.TryGetObject(L"nil", KWClassOf<TSection>, value));
    EXPECT_EQ(value, nullptr);
    EXPECT_THROW(store.GetKey(5), EListError);
}

TEST(KWProperties, CapacityFailureAndRenumbering) {
    TKWProperties store;
    store.SetCapacity(10);
    EXPECT_GE(store.GetCapacity(), 10);
    EXPECT_EQ(Raised([&] { store.SetCapacity(-1); }),
              (Error{L"Set Capacity Failed:Add Avalue is -1", L"TKWProperties.SetCapacity(AValue: Integer)"}));

    store.SetString(L"z", L"");
    store.SetString(L"y", L"");
    store.NextNo = 4294967294u;
    store.SetString(L"x", L"");
    EXPECT_EQ(store.NextNo, 4294967295u);
    store.SetString(L"w", L"");  // takes 4294967295: everything is renumbered
    EXPECT_EQ(store.NextNo, 4u);
    EXPECT_EQ(OrderedKeys(store), (std::vector<std::wstring>{L"z", L"y", L"x", L"w"}));
    std::vector<uint32_t> numbers;
    for (const TKWProperty* p : store.GetOrderedList()) numbers.push_back(p->No);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(SortedKeys(store), (std::vector<std::wstring>{L"w", L"x", L"y", L"z"}));
}

TEST(KWSortedList, ErrorsAndResort) {
    EXPECT_EQ(Raised([] { TKWSortedList list(nullptr); }),
              (Error{L"OnCompare Function is not assigned.", L"TKWSortedList.Create(AOnCompare: TListSortCompare)"}));
    int values[] = {30, 10, 20, 10};
    TKWSortedList list([](void* A, void* B) { return *static_cast<int*>(A) - *static_cast<int*>(B); });
    EXPECT_EQ(list.Add(&values[0]), 0);
    EXPECT_EQ(list.Add(&values[1]), 0);
    EXPECT_EQ(list.Add(&values[2]), 1);
    EXPECT_EQ(Raised([&] { list.Add(&values[3]); }), (Error{L"", L"TKWSortedList.Add(AItem: Pointer): Integer"}));
    EXPECT_EQ(list.GetCount(), 3);
    for (int32_t bad : {-1, 3})
        EXPECT_EQ(Raised([&] { list.Delete(bad); }), (Error{L"index is wrong", L"TKWSortedList.Delete(AIndex: Integer)"}));
    EXPECT_EQ(Raised([&] { list.ForceAdd(&values[3], 4); }),
              (Error{L"Insert Failed", L"TKWSortedList.ForceAdd(AItem: Pointer; AIndex: Integer)"}));
    EXPECT_THROW(list.GetItems(3), EListError);

    list.OnCompare = [](void* A, void* B) { return *static_cast<int*>(B) - *static_cast<int*>(A); };
    list.Resort();
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetItems(0), &values[0]);
    EXPECT_EQ(list.GetItems(2), &values[1]);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetCapacity(), 0);
}

// ---- KWHandleOneMessage ----------------------------------------------------------------------

namespace {

// Records which hooks the step asked; the hook named by Claims claims the message.
class TFakeApplication : public IKWApplication {
public:
    explicit TFakeApplication(std::wstring AClaims) : Claims(std::move(AClaims)) {}
    void DoOnMessage(MSG&, bool& AHandled) override {
        Asked += L"OnMessage ";
        AHandled = Claims == L"OnMessage";
    }
    bool IsPreProcessMessage(MSG&) override { return Ask(L"PreProcess"); }
    bool IsHintMsg(MSG&) override { return Ask(L"Hint"); }
    bool IsMDIMsg(MSG&) override { return Ask(L"MDI"); }
    bool IsKeyMsg(MSG&) override { return Ask(L"Key"); }
    bool IsDlgMsg(MSG&) override { return Ask(L"Dlg"); }
    std::wstring Claims, Asked;

private:
    bool Ask(const wchar_t* AName) {
        Asked += AName + std::wstring(L" ");
        return Claims == AName;
    }
};

int Dispatched = 0;
LRESULT CALLBACK CountingProc(HWND AWnd, UINT AMsg, WPARAM W, LPARAM L) {
    if (AMsg == WM_APP + 1) {
        ++Dispatched;
        return 0;
    }
    return DefWindowProcW(AWnd, AMsg, W, L);
}

void DrainQueue() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace

TEST(KWHandleOneMessage, QueueWithOnlyQuitKeepsIt) {
    DrainQueue();
    MSG msg{};
    EXPECT_FALSE(KWHandleOneMessage(nullptr, msg));  // empty queue
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 7, 0));
    EXPECT_FALSE(KWHandleOneMessage(nullptr, msg));
    MSG peeked{};
    ASSERT_TRUE(PeekMessageW(&peeked, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(peeked.message, UINT(WM_QUIT));
    EXPECT_EQ(peeked.wParam, 7u);
}

TEST(KWHandleOneMessage, HooksAreAskedInOrderUntilOneClaims) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KWBaseCountingWindow";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    DrainQueue();

    struct Case { const wchar_t* claims; const wchar_t* asked; int dispatched; } cases[] = {
        {L"", L"OnMessage PreProcess Hint MDI Key Dlg ", 1},
        {L"PreProcess", L"OnMessage PreProcess ", 0},
        {L"OnMessage", L"OnMessage PreProcess Hint ", 0},
        {L"Key", L"OnMessage PreProcess Hint MDI Key ", 0},
        {L"Dlg", L"OnMessage PreProcess Hint MDI Key Dlg ", 0},
    };
    for (const Case& c : cases) {
        TFakeApplication app(c.claims);
        Dispatched = 0;
        PostMessageW(wnd, WM_APP + 1, 0, 0);
        MSG msg{};
        EXPECT_TRUE(KWHandleOneMessage(&app, msg)) << c.claims;
        EXPECT_EQ(msg.message, UINT(WM_APP + 1));
        EXPECT_EQ(app.Asked, c.asked);
        EXPECT_EQ(Dispatched, c.dispatched) << c.claims;
    }

    // Without an application object the message is translated and dispatched.
    Dispatched = 0;
    PostMessageW(wnd, WM_APP + 1, 0, 0);
    MSG msg{};
    EXPECT_TRUE(KWHandleOneMessage(msg));
    EXPECT_EQ(Dispatched, 1);
    EXPECT_FALSE(KWHandleOneMessage(msg));
    DestroyWindow(wnd);
}
