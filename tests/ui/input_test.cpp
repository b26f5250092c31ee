// What custom controls need of the visual layer beyond painting: timers (on window messages, or
// stepped by a test's own source), wheel turns, their own scroll bars, cursors, the clipboard, the
// keys they claim from dialog navigation, and calls handed over from worker threads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Clipbrd.h"
#include "Clock.h"
#include "ExtCtrls.h"
#include "Forms.h"

namespace {

std::unique_ptr<TForm> MakeForm(int32_t cw, int32_t ch) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetClientSize(cw, ch);
    return form;
}

// A custom control with its own scroll bars that records what reaches it.
class TScrollProbe : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<int> HCodes, VCodes;

protected:
    void CreateParams(TCreateParams& Params) override {
        TCustomControl::CreateParams(Params);
        Params.Style |= WS_HSCROLL | WS_VSCROLL;
    }
    void WMHScroll(TMessage& Message) override { HCodes.push_back(LOWORD(Message.WParam)); }
    void WMVScroll(TMessage& Message) override { VCodes.push_back(LOWORD(Message.WParam)); }
};

// Keeps the clipboard open on another thread until released.
struct THolderArgs {
    HANDLE Opened, Release;
    BOOL Held;
};

DWORD WINAPI HoldClipboard(LPVOID p) {
    auto* a = static_cast<THolderArgs*>(p);
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    a->Held = OpenClipboard(owner);
    SetEvent(a->Opened);
    WaitForSingleObject(a->Release, 10000);
    CloseClipboard();
    DestroyWindow(owner);
    return 0;
}

// Runs the message loop until Done or about two seconds have passed.
template <class F>
bool PumpUntil(F Done) {
    for (int i = 0; i < 200 && !Done(); ++i) {
        Application->ProcessMessages();
        if (!Done()) Sleep(10);
    }
    return Done();
}

}  // namespace

TEST(Input, TimersRunOnWindowMessagesOrOnATestsOwnSource) {
    // The default source: real WM_TIMER messages of the GUI thread.
    TTimer real(nullptr);
    int realTicks = 0;
    real.SetInterval(10);
    real.SetOnTimer([&](TObject*) { ++realTicks; });
    EXPECT_TRUE(PumpUntil([&] { return realTicks >= 2; }));
    real.SetEnabled(false);
    const int stopped = realTicks;
    Sleep(50);
    Application->ProcessMessages();
    EXPECT_EQ(realTicks, stopped);

    // A manual source: ticks only when the test moves the time.
    TManualTimerSource manual;
    SetTimerSource(&manual);
    {
        TTimer timer(nullptr);
        int ticks = 0;
        timer.SetInterval(210);
        timer.SetOnTimer([&](TObject*) { ++ticks; });
        manual.Advance(209);
        EXPECT_EQ(ticks, 0);
        manual.Advance(1);
        EXPECT_EQ(ticks, 1);
        timer.SetInterval(30);   // restarts from now
        manual.Advance(90);
        EXPECT_EQ(ticks, 4);
        timer.SetEnabled(false);
        manual.Advance(1000);
        EXPECT_EQ(ticks, 4);
        timer.SetEnabled(true);
    }
    EXPECT_EQ(manual.ActiveCount(), 0);   // a freed timer stops
    SetTimerSource(nullptr);
}

TEST(Input, WheelTurnsFireByNotchAndGoToTheParentWhenNotTaken) {
    auto form = MakeForm(200, 100);
    auto* inner = new TScrollProbe(form.get());
    inner->SetParent(form.get());
    inner->SetBounds(10, 10, 100, 60);
    form->Show();
    int up = 0, down = 0, parentTurns = 0;
    inner->OnMouseWheelUp = [&](TObject*, TShiftState, POINT, bool& handled) {
        ++up;
        handled = true;
    };
    inner->OnMouseWheelDown = [&](TObject*, TShiftState shift, POINT, bool& handled) {
        ++down;
        handled = (shift & ssCtrl) != 0;   // only Ctrl-turns are taken
    };
    form->OnMouseWheel = [&](TObject*, TShiftState, int32_t, POINT, bool& handled) {
        ++parentTurns;
        handled = true;
    };
    HWND h = inner->Handle();
    const LPARAM at = MAKELPARAM(30, 30);
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), at);   // two notches away from the user
    EXPECT_EQ(up, 2);
    EXPECT_EQ(parentTurns, 0);
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), at);    // half a notch: not taken yet
    EXPECT_EQ(up, 2);
    EXPECT_EQ(parentTurns, 1);
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), at);    // the rest of it
    EXPECT_EQ(up, 3);
    EXPECT_EQ(parentTurns, 1);
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)-120), at);
    EXPECT_EQ(down, 1);
    EXPECT_EQ(parentTurns, 2);   // not taken: the form scrolls
    SendMessageW(h, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, (WORD)(short)-120), at);
    EXPECT_EQ(down, 2);
    EXPECT_EQ(parentTurns, 2);
    form->Hide();
}

TEST(Input, OwnScrollBarsTakeTheirRangeAndReportTheirMessages) {
    auto form = MakeForm(200, 150);
    auto* probe = new TScrollProbe(form.get());
    probe->SetParent(form.get());
    probe->SetBounds(0, 0, 150, 120);
    form->Show();
    probe->SetScrollBar(SB_HORZ, 0, 999, 100, 250);
    TWinControl::TScrollBarState h = probe->GetScrollBar(SB_HORZ);
    EXPECT_EQ(h.Min, 0);
    EXPECT_EQ(h.Max, 999);
    EXPECT_EQ(h.Page, 100);
    EXPECT_EQ(h.Pos, 250);
    probe->SetScrollBarPos(SB_HORZ, 5000);   // the system keeps the thumb inside the range
    EXPECT_EQ(probe->GetScrollBar(SB_HORZ).Pos, 900);
    SendMessageW(probe->Handle(), WM_HSCROLL, SB_LINERIGHT, 0);
    SendMessageW(probe->Handle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 7), 0);
    EXPECT_EQ(probe->HCodes, std::vector<int>{SB_LINERIGHT});
    EXPECT_EQ(probe->VCodes, std::vector<int>{SB_THUMBTRACK});
    form->Hide();
}

TEST(Input, CursorsComeFromTheTableAndTheControlUnderTheMouse) {
    auto form = MakeForm(120, 80);
    auto* probe = new TScrollProbe(form.get());
    probe->SetParent(form.get());
    probe->SetBounds(0, 0, 120, 80);
    form->Show();
    Application->ProcessMessages();
    EXPECT_EQ(ScreenCursor(crIBeam), LoadCursorW(nullptr, IDC_IBEAM));
    EXPECT_EQ(ScreenCursor(1785), LoadCursorW(nullptr, IDC_ARROW));   // nothing entered yet
    HCURSOR cross = LoadCursorW(nullptr, IDC_CROSS);
    SetScreenCursor(1785, cross);
    EXPECT_EQ(ScreenCursor(1785), cross);
    EXPECT_EQ(LoadCursorResource(L"NO SUCH CURSOR"), nullptr);

    probe->SetCursor(1785);
    POINT centre{60, 40};
    ClientToScreen(probe->Handle(), &centre);
    SetCursorPos(centre.x, centre.y);
    ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    const LRESULT taken = SendMessageW(probe->Handle(), WM_SETCURSOR, (WPARAM)probe->Handle(), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(taken, TRUE);
    EXPECT_EQ(GetCursor(), cross);
    probe->SetCursor(crDefault);   // the class's arrow again: left to the system
    EXPECT_EQ(SendMessageW(probe->Handle(), WM_SETCURSOR, (WPARAM)probe->Handle(), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), FALSE);
    form->Hide();
}

TEST(Input, ClaimedKeysAndFocusOnClick) {
    auto form = MakeForm(200, 100);
    auto* probe = new TScrollProbe(form.get());
    probe->SetParent(form.get());
    probe->SetBounds(0, 0, 100, 100);
    probe->DialogCode = DLGC_WANTARROWS | DLGC_WANTCHARS;
    probe->FocusOnClick = true;
    form->Show();
    Application->ProcessMessages();
    EXPECT_EQ(SendMessageW(probe->Handle(), WM_GETDLGCODE, 0, 0) & (DLGC_WANTARROWS | DLGC_WANTCHARS),
              (LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS));
    SendMessageW(probe->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(probe->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(GetFocus(), probe->Handle());
    form->Hide();
}

TEST(Input, ClipboardRoundTripsTextAndPrivateFormatsAndGivesUpWhenHeldElsewhere) {
    TClipboard* clip = Clipboard();
    const std::wstring text = L"写真の注文 photo order";
    ASSERT_TRUE(clip->SetAsText(text));
    EXPECT_TRUE(clip->HasFormat(CF_UNICODETEXT));
    EXPECT_EQ(clip->AsText(), text);

    const UINT format = RegisterClipboardFormatName(L"KW TEST FORMAT");
    ASSERT_NE(format, 0u);
    const uint8_t bytes[] = {1, 2, 3, 0, 255};
    ASSERT_TRUE(clip->Open());
    EXPECT_TRUE(clip->Open());   // nested
    ASSERT_TRUE(clip->Clear());
    ASSERT_TRUE(clip->SetBuffer(format, bytes, sizeof bytes));
    clip->Close();
    EXPECT_TRUE(clip->IsOpen());
    clip->Close();
    EXPECT_FALSE(clip->IsOpen());
    const std::vector<uint8_t> back = clip->GetBuffer(format);
    ASSERT_GE(back.size(), sizeof bytes);
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + sizeof bytes), std::vector<uint8_t>(bytes, bytes + 5));
    EXPECT_FALSE(clip->HasFormat(CF_UNICODETEXT));   // Clear emptied it

    // Held open by another thread: every try fails and the copy reports it.
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    THolderArgs args{opened, release, FALSE};
    HANDLE holder = CreateThread(nullptr, 0, HoldClipboard, &args, 0, nullptr);
    WaitForSingleObject(opened, 10000);
    ASSERT_TRUE(args.Held);
    clip->OpenRetryMs = 1;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(clip->SetAsText(L"lost"));
    EXPECT_LT(GetTickCount() - start, 2000u);
    clip->OpenRetryMs = 20;
    SetEvent(release);
    WaitForSingleObject(holder, 10000);
    CloseHandle(holder);
    CloseHandle(opened);
    CloseHandle(release);
    EXPECT_TRUE(clip->SetAsText(L"again"));
    EXPECT_EQ(clip->AsText(), L"again");
}

namespace {

class TPostingWorker : public TThread {
public:
    ~TPostingWorker() override {
        Terminate();
        WaitFor();
    }
    bool RanOnMain = false;

protected:
    void Execute() override {
        Synchronize([this] { RanOnMain = IsMainThread(); });
    }
};

}  // namespace

TEST(Input, SynchronizeRunsInsideTheMessageLoopThroughTheHiddenWindow) {
    TPostingWorker worker;
    worker.Start();
    // Not WaitFor: the plain message loop alone must run the call.
    EXPECT_TRUE(PumpUntil([&] { return worker.Finished(); }));
    EXPECT_TRUE(worker.RanOnMain);
}
