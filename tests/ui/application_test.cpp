// The application object: its window and title, the message loop, exception reporting, modal
// forms and the run loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Forms.h"
#include "StdCtrls.h"
#include "ui_test_util.h"

namespace {

// Counts the private messages that reach it.
class TCounter : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int Posted = 0;

protected:
    void WndProc(TMessage& m) override {
        if (m.Msg == WM_APP + 7) {
            ++Posted;
            return;
        }
        TCustomControl::WndProc(m);
    }
};

// Reads and closes the message box that the thread shows next.
struct TBoxReader {
    static std::wstring Text, Caption;
    static UINT Icon;
    static BOOL CALLBACK Find(HWND w, LPARAM found) {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (std::wstring(cls) == L"#32770" && IsWindowVisible(w)) {
            *reinterpret_cast<HWND*>(found) = w;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK HasIcon(HWND w, LPARAM icon) {
        if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) *reinterpret_cast<UINT*>(icon) = 1;
        return TRUE;
    }
    static VOID CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        HWND box = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), Find, (LPARAM)&box);
        if (!box) return;
        KillTimer(nullptr, id);
        wchar_t buf[256] = {};
        GetWindowTextW(box, buf, 256);
        Caption = buf;
        GetDlgItemTextW(box, 0xFFFF, buf, 256);
        Text = buf;
        Icon = 0;
        EnumChildWindows(box, HasIcon, (LPARAM)&Icon);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    static void Arm() {
        Text.clear();
        Caption.clear();
        SetTimer(nullptr, 0, 30, Tick);
    }
};
std::wstring TBoxReader::Text, TBoxReader::Caption;
UINT TBoxReader::Icon = 0;

}  // namespace

TEST(Application, ExistsBeforeMainWithAHiddenTitleWindow) {
    ASSERT_NE(Application, nullptr);
    HWND h = Application->Handle();
    ASSERT_TRUE(IsWindow(h));
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_EQ(GetParent(h), nullptr);
    EXPECT_EQ(Application->Title(), L"ui_tests");   // the program's name until a title is set

    Application->SetTitle(L"lumi-vera Quillbox Installer");
    wchar_t buf[64] = {};
    GetWindowTextW(h, buf, 64);
    EXPECT_STREQ(buf, L"lumi-vera Quillbox Installer");

    std::unique_ptr<TForm> form(new TForm(nullptr));
    EXPECT_EQ(GetWindow(form->Handle(), GW_OWNER), h);   // forms hang below it: no taskbar button of their own
}

TEST(Application, ProcessMessagesDrainsTheQueueThroughOnMessage) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    auto* c = new TCounter(form.get());
    c->SetParent(form.get());
    HWND h = c->Handle();
    int seen = 0;
    Application->OnMessage = [&](MSG& msg, bool& handled) {
        if (msg.message == WM_APP + 7) {
            ++seen;
            handled = msg.lParam == 99;   // this one does not reach the control
        }
    };
    for (int i = 0; i < 3; ++i) PostMessageW(h, WM_APP + 7, 0, 0);
    PostMessageW(h, WM_APP + 7, 0, 99);
    Application->ProcessMessages();
    Application->OnMessage = nullptr;
    EXPECT_EQ(seen, 4);
    EXPECT_EQ(c->Posted, 3);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, h, 0, 0, PM_NOREMOVE));
}

TEST(Application, HooksSeeTheApplicationWindowsMessages) {
    int seen = 0;
    const int32_t id = Application->HookMainWindow([&](TMessage& m) {
        if (m.Msg == WM_APP + 3) {
            ++seen;
            m.Result = 42;
            return true;
        }
        return false;
    });
    EXPECT_EQ(SendMessageW(Application->Handle(), WM_APP + 3, 0, 0), 42);
    Application->UnhookMainWindow(id);
    SendMessageW(Application->Handle(), WM_APP + 3, 0, 0);
    EXPECT_EQ(seen, 1);
}

TEST(Application, ExceptionsInHandlersReachOnException) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    auto* button = new TButton(form.get());
    button->SetParent(form.get());
    button->OnClick = [](TObject*) { throw EConvertError(L"'x' is not a valid integer value"); };
    TObject* sender = nullptr;
    std::wstring message;
    Application->OnException = [&](TObject* s, Exception& e) {
        sender = s;
        message = e.Message();
    };
    HWND bh = button->Handle();
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(bh), BN_CLICKED), (LPARAM)bh);
    EXPECT_EQ(message, L"'x' is not a valid integer value");
    EXPECT_EQ(sender, form.get());   // the control whose window was handling the message

    // EAbort stays silent.
    message.clear();
    button->OnClick = [](TObject*) { throw EAbort(); };
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(bh), BN_CLICKED), (LPARAM)bh);
    EXPECT_TRUE(message.empty());
    Application->OnException = nullptr;
}

TEST(Application, DefaultExceptionBoxShowsTheMessageUnderTheTitle) {
    Application->SetTitle(L"lumi-vera Quillbox Installer");
    struct Case {
        const wchar_t* message;
        const wchar_t* shown;
    } cases[] = {
        {L"レジストリに書き込めません", L"レジストリに書き込めません."},   // ends above "."
        {L"Access denied.", L"Access denied."},
        {L"Disk full!", L"Disk full!"},   // "!" is below "."
    };
    for (const Case& c : cases) {
        TBoxReader::Arm();
        Application->ShowException(Exception(c.message));
        EXPECT_EQ(TBoxReader::Text, c.shown);
        EXPECT_EQ(TBoxReader::Caption, L"lumi-vera Quillbox Installer");
        EXPECT_EQ(TBoxReader::Icon, 1u);
    }
}

TEST(Application, ShowModalRunsUntilAModalResultThatCloseQueryAllows) {
    std::unique_ptr<TForm> other(new TForm(nullptr));
    other->Show();
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetBorderIcons(0);
    EXPECT_FALSE(GetWindowLongW(form->Handle(), GWL_STYLE) & WS_SYSMENU);
    auto* ok = new TButton(form.get());
    ok->SetParent(form.get());
    ok->ModalResult = mrOk;
    int queries = 0;
    bool otherDisabled = false;
    form->OnCloseQuery = [&](TObject*, bool& canClose) {
        otherDisabled = !IsWindowEnabled(other->Handle());
        canClose = ++queries > 1;   // the first request is refused
    };
    form->OnShow = [&](TObject*) {
        PostMessageW(ok->Handle(), BM_CLICK, 0, 0);
        PostMessageW(ok->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_FALSE(Application->Terminated());
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(queries, 2);
    EXPECT_TRUE(otherDisabled);
    EXPECT_TRUE(IsWindowEnabled(other->Handle()));
    EXPECT_FALSE(form->Visible());
    EXPECT_THROW(other->ShowModal(), EInvalidOperation);   // already visible
    other->Hide();
}
