#include "Forms.h"

#include <algorithm>
#include <memory>

// ---------------------------------------------------------------------------------------------
// TCustomForm
// ---------------------------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
    FVisible = false;
    FParentFont = false;
    FParentColor = false;
    SetBounds(0, 0, 320, 240);
    SetColor(clBtnFace);
}

TCustomForm::~TCustomForm() {
    if (Application) Application->FormDestroyed(this);
    FActiveControl = nullptr;
    FFocusedControl = nullptr;
}

void TCustomForm::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    Params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (FEnabled ? 0 : WS_DISABLED);
    Params.ExStyle = WS_EX_CONTROLPARENT;
    Params.WndParent = Application ? Application->Handle() : nullptr;
    Params.WindowClass.style = CS_DBLCLKS;
    switch (FBorderStyle) {
    case bsNone: Params.Style |= WS_POPUP; break;
    case bsSingle: Params.Style |= WS_CAPTION | WS_BORDER; break;
    case bsDialog:
        Params.Style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME;
        Params.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        break;
    case bsToolWindow:
        Params.Style |= WS_CAPTION;
        Params.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    default: Params.Style |= WS_CAPTION | WS_THICKFRAME; break;
    }
    if (FBorderStyle != bsNone && (FBorderIcons & biSystemMenu)) {
        Params.Style |= WS_SYSMENU;
        if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow) {
            if (FBorderIcons & biMinimize) Params.Style |= WS_MINIMIZEBOX;
            if (FBorderIcons & biMaximize) Params.Style |= WS_MAXIMIZEBOX;
        }
    }
}

void TCustomForm::SetBorderStyle(int32_t value) {
    if (FBorderStyle == value) return;
    const int32_t cw = ClientWidth(), ch = ClientHeight();
    FBorderStyle = value;
    RecreateWnd();
    SetClientSize(cw, ch);
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
    if (FBorderIcons == value) return;
    FBorderIcons = value;
    RecreateWnd();
}

RECT TCustomForm::GetClientRect() {
    if (HandleAllocated()) return TWinControl::GetClientRect();
    // Without a window: the window rectangle less the frame its styles give.
    TCreateParams p;
    CreateParams(p);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, p.Style, FALSE, p.ExStyle);
    return RECT{0, 0, std::max<LONG>(0, FWidth - (frame.right - frame.left)),
                std::max<LONG>(0, FHeight - (frame.bottom - frame.top))};
}

void TCustomForm::PlaceOnScreen() {
    if (FPlaced) return;
    FPlaced = true;
    if (FPosition == poScreenCenter || FPosition == poDesktopCenter ||
        (FPosition == poMainFormCenter && (!Application->MainForm() || Application->MainForm() == this))) {
        SetBounds((GetSystemMetrics(SM_CXSCREEN) - FWidth) / 2, (GetSystemMetrics(SM_CYSCREEN) - FHeight) / 2, FWidth,
                  FHeight);
    } else if (FPosition == poMainFormCenter) {
        TCustomForm* m = Application->MainForm();
        SetBounds(m->Left() + (m->Width() - FWidth) / 2, m->Top() + (m->Height() - FHeight) / 2, FWidth, FHeight);
    }
}

void TCustomForm::CMShowingChanged(TMessage&) {
    if (Showing()) {
        DoShow();
        PlaceOnScreen();
        if (Application->MainForm() == this && Application->Handle())
            SetWindowPos(Application->Handle(), nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(FHandle, SW_SHOWNORMAL);
    } else {
        DoHide();
        ShowWindow(FHandle, SW_HIDE);
        if (Application->MainForm() == this && Application->Handle()) ShowWindow(Application->Handle(), SW_HIDE);
    }
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
    if (OnClose) OnClose(this, Action);
}

void TCustomForm::SetWindowFocus() {
    if (!FActiveControl) {
        TWinControl* c = FindNextControl(nullptr, true, true, false);
        if (!c) c = FindNextControl(nullptr, true, false, false);
        FActiveControl = c;
    }
    if (FActiveControl && FActiveControl->CanFocus()) ::SetFocus(FActiveControl->Handle());
    else if (FHandle) ::SetFocus(FHandle);
}

void TCustomForm::WndProc(TMessage& Message) {
    switch (Message.Msg) {
    case WM_CLOSE:
        Close();
        Message.Result = 0;
        return;
    case WM_ACTIVATE:
        DefaultHandler(Message);
        if (LOWORD(Message.WParam) != WA_INACTIVE) {
            FActive = true;
            if (!HIWORD(Message.WParam)) SetWindowFocus();
            if (OnActivate) OnActivate(this);
        } else {
            FActive = false;
            if (OnDeactivate) OnDeactivate(this);
        }
        Message.Result = 0;
        return;
    case WM_SETFOCUS:
        if (FActiveControl && FActiveControl != this && FActiveControl->CanFocus()) {
            ::SetFocus(FActiveControl->Handle());
            return;
        }
        break;
    case CM_RELEASE:
        delete this;
        return;
    case WM_SYSCOLORCHANGE:
        // Only top-level windows hear of it: the controls are told from here.
        DefaultHandler(Message);
        NotifyControls(CM_SYSCOLORCHANGE);
        return;
    default: break;
    }
    TWinControl::WndProc(Message);
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
    if (!Control || (Control != this && !ContainsControl(Control))) return false;
    if (Control != this) FActiveControl = Control;
    if (FFocusedControl == Control) return true;
    TWinControl* old = FFocusedControl;
    FFocusedControl = Control;
    if (old && old != this) old->Perform(CM_EXIT);
    if (Control != this) Control->Perform(CM_ENTER);
    TMessage m{CM_FOCUSCHANGED, 0, (LPARAM)Control, 0};
    Broadcast(m);
    return true;
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
    if (FActiveControl == Control) return;
    if (Control && (!Control->CanFocus() || GetParentForm(Control) != this))
        throw EInvalidOperation(L"Cannot focus a disabled or invisible window");
    FActiveControl = Control;
    if (FActive && FHandle) {
        if (Control) ::SetFocus(Control->Handle());
        else ::SetFocus(FHandle);
    }
}

void TCustomForm::FocusControl(TWinControl* Control) {
    const bool wasActive = FActive;
    SetActiveControl(Control);
    if (!wasActive && Control && FHandle && IsWindowVisible(FHandle)) ::SetFocus(Control->Handle());
}

void TCustomForm::DefocusControl(TWinControl* Control, bool Removing) {
    if (Removing && Control->ContainsControl(FFocusedControl)) FFocusedControl = Control->Parent();
    if (Control->ContainsControl(FActiveControl)) {
        FActiveControl = nullptr;
        if (FActive && FHandle) {
            HWND focus = GetFocus();
            if (Control->HandleAllocated() && (focus == Control->Handle() || IsChild(Control->Handle(), focus)))
                ::SetFocus(FHandle);
        }
    }
}

void TCustomForm::CMDialogKey(TMessage& Message) {
    const uint16_t key = (uint16_t)Message.WParam;
    if (GetKeyState(VK_MENU) >= 0) {
        if (key == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
            SelectNext(FActiveControl, GetKeyState(VK_SHIFT) >= 0, true);
            Message.Result = 1;
            return;
        }
        if ((key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN) && FActiveControl &&
            FActiveControl->Parent()) {
            FActiveControl->Parent()->SelectNext(FActiveControl, key == VK_RIGHT || key == VK_DOWN, false);
            Message.Result = 1;
            return;
        }
    }
    TWinControl::CMDialogKey(Message);
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Close() {
    if (FModal) {
        FModalResult = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application->MainForm() == this) Application->Terminate();
    else if (action == caHide) Hide();
    else if (action == caMinimize) ShowWindow(Handle(), SW_MINIMIZE);
    else Release();
}

void TCustomForm::Release() { PostMessageW(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::CloseModal() {
    TCloseAction action = caNone;
    if (CloseQuery()) {
        action = caHide;
        DoClose(action);
    }
    if (action == caNone) FModalResult = mrNone;
}

namespace {

// Disables the thread's other enabled top-level windows while a modal form runs.
class TTaskWindows {
public:
    explicit TTaskWindows(HWND keep) : FKeep(keep) {
        EnumThreadWindows(GetCurrentThreadId(), &Disable, (LPARAM)this);
    }
    ~TTaskWindows() {
        for (HWND w : FDisabled)
            if (IsWindow(w)) EnableWindow(w, TRUE);
    }

private:
    static BOOL CALLBACK Disable(HWND w, LPARAM self) {
        auto* t = reinterpret_cast<TTaskWindows*>(self);
        if (w != t->FKeep && IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            t->FDisabled.push_back(w);
        }
        return TRUE;
    }
    HWND FKeep;
    std::vector<HWND> FDisabled;
};

}  // namespace

int32_t TCustomForm::ShowModal() {
    if (FVisible || !FEnabled || FModal) throw EInvalidOperation(L"Cannot make a visible window modal");
    if (GetCapture()) SendMessageW(GetCapture(), WM_CANCELMODE, 0, 0);
    ReleaseCapture();
    HWND previous = GetActiveWindow();
    FModal = true;
    FModalResult = mrNone;
    struct TModalEnd {
        TCustomForm* Form;
        HWND Previous;
        ~TModalEnd() {
            Form->FModal = false;
            Form->Hide();
            if (Previous && IsWindow(Previous)) SetActiveWindow(Previous);
        }
    } end{this, previous};
    TTaskWindows disabled(Handle());
    Show();
    do {
        Application->HandleMessage();
        if (Application->Terminated()) FModalResult = mrCancel;
        else if (FModalResult != mrNone) CloseModal();
    } while (FModalResult == mrNone);
    return FModalResult;
}

// ---------------------------------------------------------------------------------------------
// TApplication
// ---------------------------------------------------------------------------------------------

LRESULT CALLBACK KWAppWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!Application || (Application->FHandle && Application->FHandle != wnd)) return DefWindowProcW(wnd, msg, wParam, lParam);
    if (!Application->FHandle) Application->FHandle = wnd;
    try {
        return Application->AppWndProc(msg, wParam, lParam);
    } catch (...) {
        Application->HandleException(Application);
        return 0;
    }
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) { CreateHandle(); }

TApplication::~TApplication() {
    // The forms go first, while the application window they are owned by still exists.
    DestroyComponents();
    if (FHandle) DestroyWindow(FHandle);
    FHandle = nullptr;
    if (Application == this) Application = nullptr;
}

void TApplication::CreateHandle() {
    if (FHandle) return;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (!GetClassInfoW(inst, L"TApplication", &wc)) {
        wc.lpfnWndProc = KWAppWndProc;
        wc.hInstance = inst;
        wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
        wc.hIcon = LoadIconW(inst, L"MAINICON");
        wc.lpszClassName = L"TApplication";
        if (!RegisterClassW(&wc)) return;
    }
    const std::wstring title = Title();
    FHandle = CreateWindowExW(0, L"TApplication", title.c_str(),
                    WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                    GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr, inst,
                    nullptr);
}

HWND TApplication::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

std::wstring TApplication::Title() const {
    if (!FTitle.empty()) return FTitle;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    size_t slash = name.find_last_of(L"\\/:");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

void TApplication::SetTitle(const std::wstring& value) {
    FTitle = value;
    if (FHandle) SetWindowTextW(FHandle, Title().c_str());
}

LRESULT TApplication::AppWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    // Hooks see every message first; removing a hook from a hook is allowed.
    auto hooks = FHooks;
    for (auto& h : hooks)
        if (h.second && h.second(m)) return m.Result;
    switch (msg) {
    case WM_CLOSE:
        if (FMainForm) FMainForm->Close();
        return 0;
    case WM_SETFOCUS: {
        HWND popup = GetLastActivePopup(FHandle);
        if (popup && popup != FHandle && IsWindowVisible(popup) && IsWindowEnabled(popup)) ::SetFocus(popup);
        return 0;
    }
    case WM_QUERYENDSESSION: return 1;
    case WM_NCDESTROY: {
        LRESULT r = DefWindowProcW(FHandle, msg, wParam, lParam);
        FHandle = nullptr;
        return r;
    }
    default: break;
    }
    return DefWindowProcW(FHandle, msg, wParam, lParam);
}

int32_t TApplication::HookMainWindow(TWindowHook Hook) {
    const int32_t id = FNextHookId++;
    FHooks.emplace_back(id, std::move(Hook));
    return id;
}

void TApplication::UnhookMainWindow(int32_t Id) {
    FHooks.erase(std::remove_if(FHooks.begin(), FHooks.end(), [Id](const auto& h) { return h.first == Id; }),
                 FHooks.end());
}

void TApplication::FormDestroyed(TCustomForm* form) {
    if (FMainForm == form) FMainForm = nullptr;
}

bool TApplication::IsKeyMsg(MSG& Msg) {
    if (Msg.message < WM_KEYFIRST || Msg.message > WM_KEYLAST) return false;
    HWND wnd = GetCapture();
    if (!wnd) wnd = Msg.hwnd;
    TWinControl* c = nullptr;
    for (HWND w = wnd; w && !c; w = GetParent(w)) c = TWinControl::FindControl(w);
    if (!c) return false;
    return c->Perform(CN_BASE + Msg.message, Msg.wParam, Msg.lParam) != 0;
}

bool TApplication::ProcessMessage(MSG& Msg) {
    if (!PeekMessageW(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (Msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    bool handled = false;
    if (OnMessage) OnMessage(Msg, handled);
    if (!IsPreProcessMessage(Msg) && !IsHintMsg(Msg) && !handled && !IsMDIMsg(Msg) && !IsKeyMsg(Msg) && !IsDlgMsg(Msg)) {
        TranslateMessage(&Msg);
        DispatchMessageW(&Msg);
    }
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
}

void TApplication::Idle() {
    FreeDeviceContexts();
    if (OnIdle) OnIdle(this);
    if (!FTerminated) WaitMessage();
}

void TApplication::HandleMessage() {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
}

void TApplication::Run() {
    if (FMainForm && ShowMainForm) FMainForm->SetVisible(true);
    do {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(this);
        }
    } while (!FTerminated);
}

void TApplication::Terminate() { PostQuitMessage(0); }

int32_t TApplication::MessageBox(const std::wstring& Text, const std::wstring& Caption, UINT Flags) {
    HWND owner = GetActiveWindow();
    if (!owner) owner = FHandle;
    return ::MessageBoxW(owner, Text.c_str(), Caption.c_str(), Flags);
}

void TApplication::ShowException(const Exception& E) {
    std::wstring text = E.Message();
    if (!text.empty() && text.back() > L'.') text += L'.';
    MessageBox(text, Title(), MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* Sender) {
    std::exception_ptr current = std::current_exception();
    if (!current) return;
    try {
        try {
            std::rethrow_exception(current);
        } catch (EAbort&) {
        } catch (Exception& e) {
            if (OnException) OnException(Sender, e);
            else ShowException(e);
        } catch (std::exception& e) {
            Exception wrapped(Utf8ToWide(e.what()));
            if (OnException) OnException(Sender, wrapped);
            else ShowException(wrapped);
        } catch (...) {
            Exception wrapped(L"Unknown exception");
            if (OnException) OnException(Sender, wrapped);
            else ShowException(wrapped);
        }
    } catch (...) {
        // An error while reporting an error goes no further.
    }
}

// Made before the ordinary static objects of the program, so that every start-up step finds it.
TApplication* Application = nullptr;
namespace {
struct TApplicationHolder {
    TApplicationHolder() { Application = new TApplication(nullptr); }
    ~TApplicationHolder() { delete Application; }
};
TApplicationHolder ApplicationObject __attribute__((init_priority(200)));
}  // namespace
