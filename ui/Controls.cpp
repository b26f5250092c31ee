#include "Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <set>

#include "Forms.h"
#include "Themes.h"

#include <uxtheme.h>

namespace {

const wchar_t kControlProp[] = L"KWControlObject";

// The control whose window is being made on this thread: its first message binds it.
thread_local TWinControl* CreationControl = nullptr;
TControl* CaptureControl = nullptr;
std::set<TControlCanvas*> CanvasesWithContext;
UINT NextChildId = 100;

HINSTANCE ModuleInstance() { return GetModuleHandleW(nullptr); }

// Restores the context's state on every exit path.
class TSavedDC {
public:
    explicit TSavedDC(HDC dc) : FDC(dc), FSaved(SaveDC(dc)) {}
    ~TSavedDC() { RestoreDC(FDC, FSaved); }

private:
    HDC FDC;
    int FSaved;
};

// Attaches a paint context to a canvas, locked, for the length of one paint.
class TCanvasPaint {
public:
    TCanvasPaint(TCanvas* canvas, HDC dc) : FCanvas(canvas) {
        FCanvas->Lock();
        FCanvas->SetHandle(dc);
    }
    ~TCanvasPaint() {
        FCanvas->SetHandle(nullptr);
        FCanvas->Unlock();
    }

private:
    TCanvas* FCanvas;
};

}  // namespace

LRESULT CALLBACK KWStdWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* control = static_cast<TWinControl*>(GetPropW(wnd, kControlProp));
    if (!control) {
        control = CreationControl;
        if (!control) return DefWindowProcW(wnd, msg, wParam, lParam);
        CreationControl = nullptr;
        control->FHandle = wnd;
        SetPropW(wnd, kControlProp, control);
    }
    TMessage m{msg, wParam, lParam, 0};
    try {
        control->WndProc(m);
    } catch (...) {
        // Nothing may unwind through the system's frames: the application reports it.
        Application->HandleException(control);
    }
    return m.Result;
}

TControl* GetCaptureControl() { return CaptureControl; }

TCustomForm* GetParentForm(TControl* Control) {
    if (!Control) return nullptr;
    while (Control->Parent()) Control = Control->Parent();
    return dynamic_cast<TCustomForm*>(Control);
}

TShiftState KeyboardStateToShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
    if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
    if (GetKeyState(VK_MBUTTON) < 0) s |= ssMiddle;
    return s;
}

static TShiftState KeysToShiftState(WPARAM keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

// ---------------------------------------------------------------------------------------------
// The cursor table
// ---------------------------------------------------------------------------------------------

namespace {

struct TCursorEntry {
    HCURSOR Handle = nullptr;
    bool Owned = false;   // loaded from a resource: destroyed when replaced
};

std::map<TCursor, TCursorEntry>& CursorTable() {
    static std::map<TCursor, TCursorEntry> table;
    return table;
}

const wchar_t* StandardCursorId(TCursor ACursor) {
    switch (ACursor) {
    case crArrow: return IDC_ARROW;
    case crCross: return IDC_CROSS;
    case crIBeam: return IDC_IBEAM;
    case crSizeNESW: return IDC_SIZENESW;
    case crSizeNS: return IDC_SIZENS;
    case crSizeNWSE: return IDC_SIZENWSE;
    case crSizeWE: return IDC_SIZEWE;
    case crUpArrow: return IDC_UPARROW;
    case crHourGlass: return IDC_WAIT;
    case crNo: return IDC_NO;
    case crAppStart: return IDC_APPSTARTING;
    case crHelp: return IDC_HELP;
    case crHandPoint: return IDC_HAND;
    case crSizeAll: return IDC_SIZEALL;
    default: return nullptr;
    }
}

// Resource cursors the table owns (so that replacing one frees it).
std::vector<HCURSOR>& LoadedCursors() {
    static std::vector<HCURSOR> loaded;
    return loaded;
}

}  // namespace

HCURSOR ScreenCursor(TCursor ACursor) {
    if (ACursor == crNone) return nullptr;
    auto& table = CursorTable();
    auto it = table.find(ACursor);
    if (it != table.end() && it->second.Handle) return it->second.Handle;
    if (const wchar_t* id = StandardCursorId(ACursor)) {
        HCURSOR h = LoadCursorW(nullptr, id);
        table[ACursor] = TCursorEntry{h, false};
        if (h) return h;
    }
    return LoadCursorW(nullptr, IDC_ARROW);
}

void SetScreenCursor(TCursor ACursor, HCURSOR AHandle) {
    auto& table = CursorTable();
    auto& loaded = LoadedCursors();
    auto it = table.find(ACursor);
    if (it != table.end() && it->second.Owned && it->second.Handle != AHandle) {
        DestroyCursor(it->second.Handle);
        loaded.erase(std::remove(loaded.begin(), loaded.end(), it->second.Handle), loaded.end());
    }
    const bool owned = std::find(loaded.begin(), loaded.end(), AHandle) != loaded.end();
    table[ACursor] = TCursorEntry{AHandle, owned};
}

HCURSOR LoadCursorResource(const wchar_t* AName) {
    HCURSOR h = static_cast<HCURSOR>(LoadImageW(ModuleInstance(), AName, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE));
    if (h) LoadedCursors().push_back(h);
    return h;
}

// ---------------------------------------------------------------------------------------------
// TControlCanvas
// ---------------------------------------------------------------------------------------------

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::CreateHandle() {
    if (!FControl) return;
    HWND wnd = nullptr;
    if (auto* w = dynamic_cast<TWinControl*>(FControl)) {
        wnd = w->Handle();
    } else if (FControl->Parent()) {
        wnd = FControl->Parent()->Handle();
    }
    if (!wnd) return;
    HDC dc = GetDCEx(wnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc) return;
    if (!FControl->HasWindow()) {
        SetViewportOrgEx(dc, FControl->Left(), FControl->Top(), nullptr);
        IntersectClipRect(dc, 0, 0, FControl->Width(), FControl->Height());
    }
    FDeviceContext = dc;
    FWindowHandle = wnd;
    CanvasesWithContext.insert(this);
    SetHandle(dc);
}

void TControlCanvas::FreeHandle() {
    if (!FDeviceContext) return;
    SetHandle(nullptr);
    ReleaseDC(FWindowHandle, FDeviceContext);
    FDeviceContext = nullptr;
    FWindowHandle = nullptr;
    CanvasesWithContext.erase(this);
}

void FreeDeviceContexts() {
    std::vector<TControlCanvas*> list(CanvasesWithContext.begin(), CanvasesWithContext.end());
    for (TControlCanvas* c : list) {
        if (c->TryLock()) {
            c->FreeHandle();
            c->Unlock();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TControl
// ---------------------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(new TFont) {
    FFont->OnChange = [this](TObject* s) { FontChanged(s); };
}

TControl::~TControl() {
    if (CaptureControl == this) SetMouseCapture(false);
    if (FParent) FParent->RemoveControl(this);
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    WndProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

void TControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_ENABLEDCHANGED: CMEnabledChanged(Message); return;
    case CM_VISIBLECHANGED: CMVisibleChanged(Message); return;
    case CM_VISIBLECHANGING: CMVisibleChanging(Message); return;
    case CM_FONTCHANGED: CMFontChanged(Message); return;
    case CM_COLORCHANGED: CMColorChanged(Message); return;
    case CM_TEXTCHANGED: CMTextChanged(Message); return;
    case CM_PARENTFONTCHANGED: CMParentFontChanged(Message); return;
    case CM_PARENTCOLORCHANGED: CMParentColorChanged(Message); return;
    case CM_PARENTCTL3DCHANGED: CMParentCtl3DChanged(Message); return;
    case CM_MOUSEENTER: CMMouseEnter(Message); return;
    case CM_MOUSELEAVE: CMMouseLeave(Message); return;
    case CM_SYSCOLORCHANGE: CMSysColorChange(Message); return;
    case WM_PAINT: WMPaint(Message); return;
    default: break;
    }
    if (Message.Msg >= WM_MOUSEMOVE && Message.Msg <= WM_MBUTTONDBLCLK) {
        WMMouse(Message);
        return;
    }
    DefaultHandler(Message);
}

void TControl::WMMouse(TMessage& Message) {
    switch (Message.Msg) {
    case WM_LBUTTONDOWN: HandleMouseDown(Message, mbLeft, false); break;
    case WM_LBUTTONDBLCLK: HandleMouseDown(Message, mbLeft, true); break;
    case WM_RBUTTONDOWN: HandleMouseDown(Message, mbRight, false); break;
    case WM_RBUTTONDBLCLK: HandleMouseDown(Message, mbRight, true); break;
    case WM_MBUTTONDOWN: HandleMouseDown(Message, mbMiddle, false); break;
    case WM_MBUTTONDBLCLK: HandleMouseDown(Message, mbMiddle, true); break;
    case WM_LBUTTONUP: HandleMouseUp(Message, mbLeft); break;
    case WM_RBUTTONUP: HandleMouseUp(Message, mbRight); break;
    case WM_MBUTTONUP: HandleMouseUp(Message, mbMiddle); break;
    case WM_MOUSEMOVE:
        DefaultHandler(Message);
        MouseMove(KeysToShiftState(Message.WParam), GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
        break;
    default: DefaultHandler(Message); break;
    }
}

void TControl::HandleMouseDown(TMessage& Message, TMouseButton Button, bool Double) {
    DefaultHandler(Message);
    if (auto* w = dynamic_cast<TWinControl*>(this))
        if (w->FocusOnClick && !w->Focused() && w->CanFocus()) w->SetFocus();
    if (Button == mbLeft) {
        ControlState |= csLButtonDown;
        if (ControlStyle & csCaptureMouse) SetMouseCapture(true);
        if (ControlStyle & csClickEvents) ControlState |= csClicked;
        if (Double && (ControlStyle & csClickEvents)) DblClick();
    }
    TShiftState shift = KeysToShiftState(Message.WParam) | (Double ? ssDouble : 0);
    MouseDown(Button, shift, GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam));
}

void TControl::HandleMouseUp(TMessage& Message, TMouseButton Button) {
    DefaultHandler(Message);
    const int32_t x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
    if (Button == mbLeft) {
        ControlState &= ~csLButtonDown;
        if (ControlStyle & csCaptureMouse) SetMouseCapture(false);
        if (ControlState & csClicked) {
            ControlState &= ~csClicked;
            RECT r = GetClientRect();
            POINT p{x, y};
            if (PtInRect(&r, p)) Click();
        }
    }
    MouseUp(Button, KeysToShiftState(Message.WParam), x, y);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::SetCursor(TCursor value) {
    if (value == FCursor) return;
    FCursor = value;
    // Shown at once when the mouse is over the control's window.
    TWinControl* owner = dynamic_cast<TWinControl*>(this);
    if (!owner) owner = FParent;
    if (!owner || !owner->HandleAllocated()) return;
    POINT p{};
    GetCursorPos(&p);
    if (WindowFromPoint(p) == owner->FHandle)
        SendMessageW(owner->FHandle, WM_SETCURSOR, (WPARAM)owner->FHandle, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

bool TControl::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, POINT MousePos) {
    bool handled = false;
    if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, handled);
    if (handled) return true;
    // Whole notches fire the up and down events; a partial turn waits for the rest.
    FWheelAccumulator += WheelDelta;
    while (FWheelAccumulator >= WHEEL_DELTA || FWheelAccumulator <= -WHEEL_DELTA) {
        const bool up = FWheelAccumulator > 0;
        FWheelAccumulator += up ? -WHEEL_DELTA : WHEEL_DELTA;
        const TMouseWheelUpDownEvent& event = up ? OnMouseWheelUp : OnMouseWheelDown;
        if (event) event(this, Shift, MousePos, handled);
    }
    return handled;
}

void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::SetParent(TWinControl* AParent) {
    if (FParent == AParent) return;
    if (AParent == this) throw EInvalidOperation(L"A control cannot have itself as its parent");
    if (FParent) FParent->RemoveControl(this);
    if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    const int32_t oldW = FWidth, oldH = FHeight;
    InvalidateControl(FVisible, false);
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    InvalidateControl(FVisible, false);
    RequestAlign();
    if (oldW != FWidth || oldH != FHeight) Resize();
}

RECT TControl::GetClientRect() { return RECT{0, 0, FWidth, FHeight}; }

void TControl::SetClientSize(int32_t AWidth, int32_t AHeight) {
    RECT r = GetClientRect();
    SetBounds(FLeft, FTop, FWidth - (r.right - r.left) + AWidth, FHeight - (r.bottom - r.top) + AHeight);
}

POINT TControl::ClientOrigin() {
    if (!FParent) throw EInvalidOperation(Format(L"Control '%s' has no parent window", GetName()));
    POINT p = FParent->ClientOrigin();
    p.x += FLeft;
    p.y += FTop;
    return p;
}

POINT TControl::ClientToScreen(POINT p) {
    POINT o = ClientOrigin();
    return POINT{p.x + o.x, p.y + o.y};
}

POINT TControl::ScreenToClient(POINT p) {
    POINT o = ClientOrigin();
    return POINT{p.x - o.x, p.y - o.y};
}

void TControl::SetAlign(TAlign value) {
    if (FAlign == value) return;
    FAlign = value;
    RequestAlign();
}

void TControl::RequestAlign() {
    if (FParent && !(FParent->ControlState & csAligning)) FParent->Realign();
}

std::wstring TControl::GetText() { return FText; }

void TControl::SetText(const std::wstring& value) {
    if (GetText() == value) return;
    FText = value;
    Perform(CM_TEXTCHANGED);
}

void TControl::SetColor(TColor value) {
    if (FColor == value) return;
    FColor = value;
    FParentColor = false;
    Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool value) {
    if (FParentColor == value) return;
    FParentColor = value;
    if (value && FParent) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::SetParentFont(bool value) {
    if (FParentFont == value) return;
    FParentFont = value;
    if (value && FParent) Perform(CM_PARENTFONTCHANGED);
}

void TControl::FontChanged(TObject*) {
    FParentFont = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetEnabled(bool value) {
    if (FEnabled == value) return;
    FEnabled = value;
    Perform(CM_ENABLEDCHANGED);
}

void TControl::SetVisible(bool value) {
    if (FVisible == value) return;
    Perform(CM_VISIBLECHANGING, value);
    FVisible = value;
    Perform(CM_VISIBLECHANGED, value);
    RequestAlign();
}

void TControl::Show() {
    if (FParent) FParent->ShowControl(this);
    SetVisible(true);
}

bool TControl::IsVisibleOnScreen() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible) return false;
    return true;
}

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
    if (!IsVisible || !FParent || !FParent->HandleAllocated()) return;
    RECT r = BoundsRect();
    InvalidateRect(FParent->FHandle, &r, !IsOpaque);
}

void TControl::Invalidate() { InvalidateControl(FVisible, (ControlStyle & csOpaque) != 0); }

void TControl::Update() {
    if (FParent) FParent->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::BringToFront() {
    if (!FParent) return;
    auto& list = FParent->FControls;
    auto it = std::find(list.begin(), list.end(), this);
    if (it != list.end()) {
        list.erase(it);
        list.push_back(this);
        Invalidate();
    }
}

bool TControl::MouseCapture() const { return CaptureControl == this; }

void TControl::SetMouseCapture(bool value) {
    if (value == MouseCapture()) return;
    if (value) {
        HWND wnd = nullptr;
        if (auto* w = dynamic_cast<TWinControl*>(this)) wnd = w->Handle();
        else if (FParent) wnd = FParent->Handle();
        if (!wnd) return;
        CaptureControl = this;
        SetCapture(wnd);
    } else {
        CaptureControl = nullptr;
        ReleaseCapture();
    }
}

void TControl::PaintTo(HDC dc, int32_t x, int32_t y) {
    TSavedDC saved(dc);
    OffsetViewportOrgEx(dc, x, y, nullptr);
    IntersectClipRect(dc, 0, 0, FWidth, FHeight);
    ControlState |= csPaintCopy;
    Perform(WM_PAINT, (WPARAM)dc, 0);
    ControlState &= ~csPaintCopy;
}

void TControl::CMEnabledChanged(TMessage&) { Invalidate(); }

void TControl::CMVisibleChanged(TMessage&) { InvalidateControl(true, (ControlStyle & csOpaque) != 0); }

void TControl::CMFontChanged(TMessage&) { Invalidate(); }

void TControl::CMColorChanged(TMessage&) { Invalidate(); }

void TControl::CMParentFontChanged(TMessage&) {
    if (!FParentFont || !FParent) return;
    FFont->Assign(FParent->Font());
    FParentFont = true;
}

void TControl::CMParentColorChanged(TMessage&) {
    if (!FParentColor || !FParent) return;
    SetColor(FParent->Color());
    FParentColor = true;
}

void TControl::CMMouseEnter(TMessage&) {
    if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::CMMouseLeave(TMessage&) {
    if (OnMouseLeave) OnMouseLeave(this);
}

// ---------------------------------------------------------------------------------------------
// TWinControl
// ---------------------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner), FBrush(new TBrush) {
    FBrush->SetColor(FColor);
}

TWinControl::~TWinControl() {
    if (FParent) SetParent(nullptr);
    DestroyHandle();
    // A parent frees its children, owned by it or not; each leaves its owner as it goes.
    while (ControlCount() > 0) {
        TControl* child = Controls(ControlCount() - 1);
        RemoveControl(child);
        delete child;
    }
}

TWinControl* TWinControl::FindControl(HWND wnd) {
    if (!wnd) return nullptr;
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid != GetCurrentProcessId()) return nullptr;
    return static_cast<TWinControl*>(GetPropW(wnd, kControlProp));
}

HWND TWinControl::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

TControl* TWinControl::Controls(int32_t index) const {
    const int32_t n = (int32_t)FControls.size();
    if (index < 0 || index >= ControlCount()) throw EListError(Format(SListIndexError, index));
    return index < n ? FControls[index] : FWinControls[index - n];
}

void TWinControl::InsertControl(TControl* AControl) {
    AControl->FParent = this;
    if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
        FWinControls.push_back(w);
        FTabList.push_back(w);
    } else {
        FControls.push_back(AControl);
    }
    AControl->Perform(CM_PARENTCOLORCHANGED);
    AControl->Perform(CM_PARENTFONTCHANGED);
    if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
        w->Perform(CM_PARENTCTL3DCHANGED);
        w->UpdateControlState();
    } else if (FHandle) {
        AControl->Invalidate();
    }
    if (AControl->FAlign != alNone) Realign();
}

void TWinControl::RemoveControl(TControl* AControl) {
    if (AControl->FParent != this) return;
    if (FHoverControl == AControl) FHoverControl = nullptr;
    if (CaptureControl == AControl) AControl->SetMouseCapture(false);
    if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
        w->RemoveFocus(true);
        w->DestroyHandle();
        FWinControls.erase(std::remove(FWinControls.begin(), FWinControls.end(), w), FWinControls.end());
        FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), w), FTabList.end());
    } else {
        AControl->InvalidateControl(AControl->FVisible, false);
        FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
    }
    AControl->FParent = nullptr;
    if (!Destroying()) Realign();
}

bool TWinControl::ContainsControl(TControl* Control) const {
    while (Control && Control != this) Control = Control->Parent();
    return Control == this;
}

TControl* TWinControl::ControlAtPos(POINT pos, bool AllowDisabled, bool AllowWinControls) {
    auto hit = [&](TControl* c) {
        RECT r = c->BoundsRect();
        return c->FVisible && (AllowDisabled || c->FEnabled) && PtInRect(&r, pos);
    };
    if (AllowWinControls) {
        for (auto it = FWinControls.rbegin(); it != FWinControls.rend(); ++it)
            if (hit(*it)) return *it;
    }
    for (auto it = FControls.rbegin(); it != FControls.rend(); ++it)
        if (hit(*it)) return *it;
    return nullptr;
}

void TWinControl::Broadcast(TMessage& Message) {
    for (int32_t i = 0; i < ControlCount(); ++i) {
        Controls(i)->WndProc(Message);
        if (Message.Result != 0) return;
    }
}

void TWinControl::NotifyControls(UINT msg) {
    TMessage m{msg, 0, 0, 0};
    Broadcast(m);
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params.Caption = FText;
    Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    Params.ExStyle = 0;
    if (ControlStyle & csAcceptsControls) {
        Params.Style |= WS_CLIPCHILDREN;
        Params.ExStyle |= WS_EX_CONTROLPARENT;
    }
    if (!FEnabled) Params.Style |= WS_DISABLED;
    if (FTabStop) Params.Style |= WS_TABSTOP;
    Params.X = FLeft;
    Params.Y = FTop;
    Params.Width = FWidth;
    Params.Height = FHeight;
    Params.WndParent = FParent ? FParent->Handle() : nullptr;
    Params.WindowClass = WNDCLASSW{};
    Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    Params.WindowClass.lpfnWndProc = DefWindowProcW;
    Params.WindowClass.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    Params.WinClassName = ClassName();
}

void TWinControl::CreateSubClass(TCreateParams& Params, const wchar_t* ClassName) {
    WNDCLASSW wc{};
    if (!GetClassInfoW(ModuleInstance(), ClassName, &wc) && !GetClassInfoW(nullptr, ClassName, &wc))
        throw EOSError(Format(L"Window class %s is not registered", ClassName), GetLastError());
    wc.style &= ~(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS);
    wc.hInstance = ModuleInstance();
    Params.WindowClass = wc;
}

// Registers the window class of the parameters under its name (or a variant of it when a class
// of that name with other properties exists) and returns the name used.
static std::wstring RegisterControlClass(TCreateParams& Params) {
    WNDCLASSW wc = Params.WindowClass;
    wc.lpfnWndProc = KWStdWndProc;
    wc.hInstance = ModuleInstance();
    for (int variant = 0;; ++variant) {
        std::wstring name = Params.WinClassName;
        if (variant > 0) name += L"." + std::to_wstring(variant);
        WNDCLASSW existing{};
        if (GetClassInfoW(wc.hInstance, name.c_str(), &existing)) {
            if (existing.lpfnWndProc == KWStdWndProc && existing.style == wc.style &&
                existing.cbWndExtra == wc.cbWndExtra && existing.cbClsExtra == wc.cbClsExtra &&
                existing.hbrBackground == wc.hbrBackground && existing.hCursor == wc.hCursor)
                return name;
            continue;
        }
        wc.lpszClassName = name.c_str();
        if (!RegisterClassW(&wc)) throw EOSError(L"Cannot register a window class", GetLastError());
        return name;
    }
}

void TWinControl::CreateWnd() {
    TCreateParams p;
    CreateParams(p);
    if (!p.WndParent && (p.Style & WS_CHILD))
        throw EInvalidOperation(Format(L"Control '%s' has no parent window", GetName()));
    FDefWndProc = p.WindowClass.lpfnWndProc ? p.WindowClass.lpfnWndProc : DefWindowProcW;
    p.WinClassName = RegisterControlClass(p);
    CreationControl = this;
    try {
        CreateWindowHandle(p);
    } catch (...) {
        CreationControl = nullptr;
        throw;
    }
    CreationControl = nullptr;
    if (!FHandle) throw EOSError(L"Cannot create a window", GetLastError());
    if (!ThemeServices()->ThemesEnabled()) SetWindowTheme(FHandle, L" ", L" ");
    SendMessageW(FHandle, WM_SETFONT, (WPARAM)FFont->Handle(), 0);
    UpdateBounds();
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
    HMENU id = (Params.Style & WS_CHILD) ? (HMENU)(UINT_PTR)NextChildId++ : nullptr;
    CreateWindowExW(Params.ExStyle, Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style, Params.X,
                    Params.Y, Params.Width, Params.Height, Params.WndParent, id, ModuleInstance(), Params.Param);
}

void TWinControl::CreateHandle() {
    if (FHandle) return;
    CreateWnd();
}

void TWinControl::DestroyWnd() {
    const int len = GetWindowTextLengthW(FHandle);
    std::wstring text(len > 0 ? len + 1 : 0, L'\0');
    if (len > 0) text.resize(GetWindowTextW(FHandle, text.data(), len + 1));
    FText = text;
    FreeDeviceContexts();
    DestroyWindow(FHandle);
    FHandle = nullptr;
}

void TWinControl::DestroyHandle() {
    if (!FHandle) return;
    for (TWinControl* c : FWinControls) c->DestroyHandle();
    DestroyWnd();
    FShowing = false;
}

void TWinControl::RecreateWnd() {
    if (!FHandle) return;
    ControlState |= csRecreating;
    DestroyHandle();
    ControlState &= ~csRecreating;
    UpdateControlState();
}

void TWinControl::UpdateShowing() {
    const bool show = FVisible;
    if (show) {
        CreateHandle();
        for (TWinControl* c : std::vector<TWinControl*>(FWinControls)) c->UpdateShowing();
    }
    if (FHandle && FShowing != show) {
        FShowing = show;
        try {
            Perform(CM_SHOWINGCHANGED);
        } catch (...) {
            FShowing = !show;
            throw;
        }
    }
}

void TWinControl::UpdateControlState() {
    TWinControl* top = this;
    while (top->FParent) {
        top = top->FParent;
        if (!top->FShowing) return;
    }
    // Only a top-level window (a form) starts showing by itself.
    if (top == this && !dynamic_cast<TCustomForm*>(this)) return;
    UpdateShowing();
}

void TWinControl::CMShowingChanged(TMessage&) {
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE |
                     (FShowing ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void TWinControl::WndProc(TMessage& Message) {
    switch (Message.Msg) {
    case WM_SETFOCUS:
        if (TCustomForm* form = GetParentForm(this)) {
            if (form != this && !form->SetFocusedControl(this)) return;
        }
        break;
    case WM_KILLFOCUS:
        if (ControlState & csFocusing) return;
        break;
    case WM_MOUSEMOVE: {
        POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
        TControl* target = (CaptureControl && CaptureControl->FParent == this) ? CaptureControl : ControlAtPos(p, false);
        if (!FHoverTracking && FHandle) {
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, FHandle, 0};
            FHoverTracking = TrackMouseEvent(&t) != 0;
        }
        TrackHover(target ? target : this);
        if (IsControlMouseMsg(Message)) return;
        break;
    }
    case WM_MOUSELEAVE:
        FHoverTracking = false;
        TrackHover(nullptr);
        break;
    case WM_CAPTURECHANGED:
        if (CaptureControl && (CaptureControl == this || CaptureControl->FParent == this) && (HWND)Message.LParam != FHandle)
            CaptureControl = nullptr;
        break;
    default:
        if (Message.Msg >= WM_LBUTTONDOWN && Message.Msg <= WM_MBUTTONDBLCLK && IsControlMouseMsg(Message)) return;
        break;
    }
    TControl::WndProc(Message);
}

void TWinControl::TrackHover(TControl* target) {
    if (target == FHoverControl) return;
    TControl* old = FHoverControl;
    FHoverControl = target;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (target) target->Perform(CM_MOUSEENTER);
}

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
    TControl* c;
    if (CaptureControl && CaptureControl->FParent == this) {
        c = CaptureControl;
    } else {
        POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
        c = ControlAtPos(p, false);
    }
    if (!c) return false;
    LPARAM l = MAKELPARAM((short)(GET_X_LPARAM(Message.LParam) - c->FLeft), (short)(GET_Y_LPARAM(Message.LParam) - c->FTop));
    Message.Result = c->Perform(Message.Msg, Message.WParam, l);
    return true;
}

void TWinControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case WM_PAINT: WMPaint(Message); return;
    case WM_ERASEBKGND: WMEraseBkgnd(Message); return;
    case WM_PRINTCLIENT: WMPrintClient(Message); return;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: ReflectMessage(Message); return;
    case WM_HSCROLL:
    case WM_VSCROLL:
        // From the window's own scroll bars lParam is 0; a scroll-bar control's own go back to it.
        if (Message.LParam == 0) {
            if (Message.Msg == WM_HSCROLL) WMHScroll(Message);
            else WMVScroll(Message);
        } else {
            ReflectMessage(Message);
        }
        return;
    case WM_SIZE: WMSize(Message); return;
    case WM_MOVE: WMMove(Message); return;
    case WM_WINDOWPOSCHANGED: WMWindowPosChanged(Message); return;
    case WM_SETFOCUS: WMSetFocus(Message); return;
    case WM_KILLFOCUS: WMKillFocus(Message); return;
    case WM_NCHITTEST: WMNCHitTest(Message); return;
    case WM_DROPFILES: WMDropFiles(Message); return;
    case WM_NCDESTROY: WMNCDestroy(Message); return;
    case WM_MOUSEWHEEL: WMMouseWheel(Message); return;
    case WM_SETCURSOR: WMSetCursor(Message); return;
    case WM_GETDLGCODE: WMGetDlgCode(Message); return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        uint16_t key = (uint16_t)Message.WParam;
        KeyDown(key, KeyboardStateToShiftState());
        if (key == 0) return;
        Message.WParam = key;
        break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        uint16_t key = (uint16_t)Message.WParam;
        KeyUp(key, KeyboardStateToShiftState());
        if (key == 0) return;
        Message.WParam = key;
        break;
    }
    case WM_CHAR: {
        wchar_t ch = (wchar_t)Message.WParam;
        KeyPress(ch);
        if (ch == 0) return;
        Message.WParam = ch;
        break;
    }
    case CM_CTL3DCHANGED: CMCtl3DChanged(Message); return;
    case CM_SHOWINGCHANGED: CMShowingChanged(Message); return;
    case CM_DIALOGKEY: CMDialogKey(Message); return;
    case CM_DIALOGCHAR: CMDialogChar(Message); return;
    case CM_FOCUSCHANGED: CMFocusChanged(Message); return;
    case CM_ENTER: CMEnter(Message); return;
    case CM_EXIT: CMExit(Message); return;
    case CM_TABSTOPCHANGED: CMTabStopChanged(Message); return;
    case CM_RECREATEWND: RecreateWnd(); return;
    case CN_COMMAND: CNCommand(Message); return;
    case CN_NOTIFY: CNNotify(Message); return;
    case CN_DRAWITEM: CNDrawItem(Message); return;
    case CN_MEASUREITEM: CNMeasureItem(Message); return;
    case CN_CTLCOLORMSGBOX:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORBTN:
    case CN_CTLCOLORDLG:
    case CN_CTLCOLORSCROLLBAR:
    case CN_CTLCOLORSTATIC: CNCtlColor(Message); return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: CNKeyDown(Message); return;
    case CN_CHAR: CNChar(Message); return;
    case CN_SYSCHAR: CNSysChar(Message); return;
    default: break;
    }
    TControl::Dispatch(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
    if (Message.Msg >= CM_BASE && Message.Msg < 0xC000) {
        // Internal and reflected notifications nobody answered.
        Message.Result = 0;
        return;
    }
    if (!FHandle) {
        Message.Result = 0;
        return;
    }
    Message.Result = CallWindowProcW(FDefWndProc ? FDefWndProc : DefWindowProcW, FHandle, Message.Msg,
                                     Message.WParam, Message.LParam);
}

void TWinControl::ReflectMessage(TMessage& Message) {
    HWND child = nullptr;
    switch (Message.Msg) {
    case WM_NOTIFY: child = reinterpret_cast<NMHDR*>(Message.LParam)->hwndFrom; break;
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
        if (dis->CtlType != ODT_MENU) child = dis->hwndItem;
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
        if (mis->CtlType != ODT_MENU && FHandle) child = GetDlgItem(FHandle, (int)mis->CtlID);
        break;
    }
    default: child = (HWND)Message.LParam; break;
    }
    if (!DoControlMsg(child, Message)) DefaultHandler(Message);
}

void TWinControl::WMMouseWheel(TMessage& Message) {
    TShiftState shift = KeysToShiftState(GET_KEYSTATE_WPARAM(Message.WParam));
    const int32_t delta = GET_WHEEL_DELTA_WPARAM(Message.WParam);
    const POINT pos{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
    if (DoMouseWheel(shift, delta, pos)) {
        Message.Result = 1;
        return;
    }
    // Not taken: the parent may scroll instead.
    if (FParent) Message.Result = FParent->Perform(Message.Msg, Message.WParam, Message.LParam);
    else DefaultHandler(Message);
}

void TWinControl::WMSetCursor(TMessage& Message) {
    if ((HWND)Message.WParam == FHandle && LOWORD(Message.LParam) == HTCLIENT) {
        // The control under the mouse decides: a windowless child first, then this control, then
        // its parents up to one that names a cursor.
        TCursor cursor = FCursor;
        POINT p{};
        GetCursorPos(&p);
        ::ScreenToClient(FHandle, &p);
        if (TControl* child = ControlAtPos(p, false))
            if (child->Cursor() != crDefault) cursor = child->Cursor();
        for (TWinControl* up = FParent; cursor == crDefault && up; up = up->FParent) cursor = up->FCursor;
        if (cursor != crDefault) {
            ::SetCursor(ScreenCursor(cursor));
            Message.Result = TRUE;
            return;
        }
    }
    DefaultHandler(Message);
}

void TWinControl::WMGetDlgCode(TMessage& Message) {
    DefaultHandler(Message);
    Message.Result |= DialogCode;
}

void TWinControl::SetScrollBar(int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = Min;
    info.nMax = Max;
    info.nPage = (UINT)std::max<int32_t>(0, Page);
    info.nPos = Pos;
    ::SetScrollInfo(Handle(), Bar, &info, Redraw);
}

void TWinControl::SetScrollBarPos(int32_t Bar, int32_t Pos, bool Redraw) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = Pos;
    ::SetScrollInfo(Handle(), Bar, &info, Redraw);
}

TWinControl::TScrollBarState TWinControl::GetScrollBar(int32_t Bar) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    TScrollBarState state;
    if (::GetScrollInfo(Handle(), Bar, &info)) {
        state.Min = info.nMin;
        state.Max = info.nMax;
        state.Page = (int32_t)info.nPage;
        state.Pos = info.nPos;
        state.TrackPos = info.nTrackPos;
    }
    return state;
}

bool TWinControl::DoControlMsg(HWND ControlHandle, TMessage& Message) {
    TWinControl* c = FindControl(ControlHandle);
    if (!c || c == this) return false;
    Message.Result = c->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
    return true;
}

void TWinControl::CNCtlColor(TMessage& Message) {
    HDC dc = (HDC)Message.WParam;
    SetTextColor(dc, (COLORREF)ColorToRGB(FFont->Color()));
    SetBkColor(dc, (COLORREF)ColorToRGB(FBrush->Color()));
    Message.Result = (LRESULT)FBrush->Handle();
}

void TWinControl::WMPaint(TMessage& Message) {
    if (!FHandle) return;
    if (Message.WParam == 0 && DoubleBuffered) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(FHandle, &ps);
        RECT r;
        ::GetClientRect(FHandle, &r);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = CreateCompatibleBitmap(dc, std::max<LONG>(r.right, 1), std::max<LONG>(r.bottom, 1));
        HGDIOBJ old = SelectObject(mem, bmp);
        try {
            Perform(WM_ERASEBKGND, (WPARAM)mem, (LPARAM)mem);
            TMessage m{WM_PAINT, (WPARAM)mem, 0, 0};
            WMPaint(m);
            BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
        } catch (...) {
            SelectObject(mem, old);
            DeleteObject(bmp);
            DeleteDC(mem);
            EndPaint(FHandle, &ps);
            throw;
        }
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        EndPaint(FHandle, &ps);
        return;
    }
    if (Message.WParam == 0 && !CustomPaint() && FControls.empty()) {
        // A real paint with nothing of ours in it: the system paints (and validates); the frames
        // of framed children are ours. A paint into a given context goes through PaintHandler,
        // which never hands the plain default procedure a WM_PAINT.
        DefaultHandler(Message);
        if (!FWinControls.empty()) {
            HDC dc = GetDC(FHandle);
            DrawFrames(dc);
            ReleaseDC(FHandle, dc);
        }
        return;
    }
    PaintHandler(Message);
}

void TWinControl::PaintHandler(TMessage& Message) {
    PAINTSTRUCT ps;
    HDC dc = (HDC)Message.WParam;
    const bool own = dc == nullptr;
    if (own) dc = BeginPaint(FHandle, &ps);
    try {
        {
            TSavedDC saved(dc);
            PaintWindow(dc);
        }
        PaintControls(dc, nullptr);
    } catch (...) {
        if (own) EndPaint(FHandle, &ps);
        throw;
    }
    if (own) EndPaint(FHandle, &ps);
}

void TWinControl::PaintWindow(HDC dc) {
    // The plain default procedure draws nothing on WM_PAINT: it ignores the context, begins and
    // ends a paint of its own and so validates the window. Drawing into another context (a
    // WM_PRINTCLIENT, PaintTo, an off-screen buffer) would throw away the window's pending
    // repaint, and with it the painting of its windowless children. The background is the
    // erase's; only a system class's procedure has something to paint here.
    if (!SystemPaints()) return;
    TMessage m{WM_PAINT, (WPARAM)dc, 0, 0};
    DefaultHandler(m);
}

void TWinControl::PaintControls(HDC dc, TControl* First) {
    size_t start = 0;
    if (First) {
        auto it = std::find(FControls.begin(), FControls.end(), First);
        start = it == FControls.end() ? 0 : (size_t)(it - FControls.begin());
    }
    for (size_t i = start; i < FControls.size(); ++i) {
        TControl* c = FControls[i];
        if (!c->FVisible) continue;
        RECT r = c->BoundsRect();
        if (!RectVisible(dc, &r)) continue;
        TSavedDC saved(dc);
        OffsetViewportOrgEx(dc, c->FLeft, c->FTop, nullptr);
        IntersectClipRect(dc, 0, 0, c->FWidth, c->FHeight);
        c->Perform(WM_PAINT, (WPARAM)dc, 0);
    }
    DrawFrames(dc);
}

void TWinControl::DrawFrames(HDC dc) {
    for (TWinControl* c : FWinControls) {
        if (!c->FCtl3D || !(c->ControlStyle & csFramed) || !c->FVisible) continue;
        HBRUSH shadow = CreateSolidBrush((COLORREF)ColorToRGB(clBtnShadow));
        RECT r1{c->FLeft - 1, c->FTop - 1, c->FLeft + c->FWidth, c->FTop + c->FHeight};
        FrameRect(dc, &r1, shadow);
        DeleteObject(shadow);
        HBRUSH light = CreateSolidBrush((COLORREF)ColorToRGB(clBtnHighlight));
        RECT r2{c->FLeft, c->FTop, c->FLeft + c->FWidth + 1, c->FTop + c->FHeight + 1};
        FrameRect(dc, &r2, light);
        DeleteObject(light);
    }
}

void TWinControl::WMEraseBkgnd(TMessage& Message) {
    HDC dc = (HDC)Message.WParam;
    if (ThemeServices()->ThemesEnabled() && FParent && (ControlStyle & csParentBackground)) {
        ThemeServices()->DrawParentBackground(FHandle, dc, nullptr);
    } else if (!DoubleBuffered || Message.WParam == (WPARAM)Message.LParam) {
        RECT r = GetClientRect();
        FillRect(dc, &r, FBrush->Handle());
    }
    Message.Result = 1;
}

void TWinControl::WMPrintClient(TMessage& Message) {
    if (SystemPaints() && !CustomPaint() && FControls.empty()) {
        // A system control prints itself.
        DefaultHandler(Message);
        return;
    }
    // Everything else is drawn into the given context only: the window's update region is left
    // as it is (the plain default procedure would print nothing at all).
    HDC dc = (HDC)Message.WParam;
    if (Message.LParam & PRF_ERASEBKGND) Perform(WM_ERASEBKGND, (WPARAM)dc, (LPARAM)dc);
    TMessage m{WM_PAINT, (WPARAM)dc, 0, 0};
    PaintHandler(m);
}

void TWinControl::PaintTo(HDC dc, int32_t x, int32_t y) {
    HWND wnd = Handle();
    TSavedDC saved(dc);
    ControlState |= csPaintCopy;
    OffsetViewportOrgEx(dc, x, y, nullptr);
    IntersectClipRect(dc, 0, 0, FWidth, FHeight);
    // The border the system draws outside the client area of a child window (a top-level
    // window is painted from its client area on: its caption and frame are left out).
    RECT r{0, 0, FWidth, FHeight};
    const LONG style = GetWindowLongW(wnd, GWL_STYLE), exStyle = GetWindowLongW(wnd, GWL_EXSTYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (child && (exStyle & WS_EX_CLIENTEDGE)) DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    if (child && (style & WS_BORDER)) {
        HBRUSH frame = CreateSolidBrush((COLORREF)ColorToRGB(clWindowFrame));
        FrameRect(dc, &r, frame);
        DeleteObject(frame);
        InflateRect(&r, -1, -1);
    }
    OffsetViewportOrgEx(dc, r.left, r.top, nullptr);
    IntersectClipRect(dc, 0, 0, r.right - r.left, r.bottom - r.top);
    try {
        Perform(WM_ERASEBKGND, (WPARAM)dc, (LPARAM)dc);
        Perform(WM_PAINT, (WPARAM)dc, 0);
        for (TWinControl* c : FWinControls)
            if (c->FVisible) c->PaintTo(dc, c->FLeft, c->FTop);
    } catch (...) {
        ControlState &= ~csPaintCopy;
        throw;
    }
    ControlState &= ~csPaintCopy;
}

void TWinControl::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, !(ControlStyle & csOpaque));
}

void TWinControl::Update() {
    if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::InvalidateFrame() {
    if (!FParent || !FParent->FHandle) return;
    RECT r = BoundsRect();
    InflateRect(&r, 1, 1);
    InvalidateRect(FParent->FHandle, &r, TRUE);
}

void TWinControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    const bool framed = (ControlStyle & csFramed) && FCtl3D && FVisible;
    if (framed) InvalidateFrame();
    if (FHandle && !IsIconic(FHandle)) {
        SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateBounds();
    } else {
        const int32_t oldW = FWidth, oldH = FHeight;
        FLeft = ALeft;
        FTop = ATop;
        FWidth = AWidth;
        FHeight = AHeight;
        BoundsChanged(oldW, oldH);
    }
    if (framed) InvalidateFrame();
    RequestAlign();
}

void TWinControl::UpdateBounds() {
    if (!FHandle || IsIconic(FHandle)) return;
    RECT r;
    GetWindowRect(FHandle, &r);
    if (GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD) MapWindowPoints(HWND_DESKTOP, GetParent(FHandle), (POINT*)&r, 2);
    const int32_t oldW = FWidth, oldH = FHeight;
    if (r.left == FLeft && r.top == FTop && r.right - r.left == FWidth && r.bottom - r.top == FHeight) return;
    FLeft = r.left;
    FTop = r.top;
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
    BoundsChanged(oldW, oldH);
}

void TWinControl::BoundsChanged(int32_t OldWidth, int32_t OldHeight) {
    if (OldWidth == FWidth && OldHeight == FHeight) return;
    Realign();
    Resize();
}

RECT TWinControl::GetClientRect() {
    RECT r{0, 0, FWidth, FHeight};
    if (FHandle) ::GetClientRect(FHandle, &r);
    return r;
}

POINT TWinControl::ClientOrigin() {
    POINT p{0, 0};
    ::ClientToScreen(Handle(), &p);
    return p;
}

void TWinControl::Realign() {
    if (FAlignLevel > 0 || (ControlState & csAligning)) return;
    RECT r = GetClientRect();
    AdjustClientRect(r);
    ControlState |= csAligning;
    try {
        AlignControls(nullptr, r);
    } catch (...) {
        ControlState &= ~csAligning;
        throw;
    }
    ControlState &= ~csAligning;
}

void TWinControl::EnableAlign() {
    if (--FAlignLevel == 0) Realign();
}

void TWinControl::AlignControls(TControl*, RECT& Rect) {
    std::vector<TControl*> all;
    for (int32_t i = 0; i < ControlCount(); ++i) all.push_back(Controls(i));
    for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
        std::vector<TControl*> list;
        for (TControl* c : all)
            if (c->FAlign == a && c->FVisible) list.push_back(c);
        std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
            switch (a) {
            case alTop: return x->FTop < y->FTop;
            case alBottom: return x->FTop + x->FHeight > y->FTop + y->FHeight;
            case alLeft: return x->FLeft < y->FLeft;
            case alRight: return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
            default: return false;
            }
        });
        for (TControl* c : list) {
            const int32_t w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
            switch (a) {
            case alTop:
                c->SetBounds(Rect.left, Rect.top, w, c->FHeight);
                Rect.top += c->FHeight;
                break;
            case alBottom:
                c->SetBounds(Rect.left, Rect.bottom - c->FHeight, w, c->FHeight);
                Rect.bottom -= c->FHeight;
                break;
            case alLeft:
                c->SetBounds(Rect.left, Rect.top, c->FWidth, h);
                Rect.left += c->FWidth;
                break;
            case alRight:
                c->SetBounds(Rect.right - c->FWidth, Rect.top, c->FWidth, h);
                Rect.right -= c->FWidth;
                break;
            default: c->SetBounds(Rect.left, Rect.top, w, h); break;
            }
        }
    }
}

void TWinControl::SetText(const std::wstring& value) {
    if (GetText() == value) return;
    if (FHandle) SetWindowTextW(FHandle, value.c_str());
    FText = value;
    Perform(CM_TEXTCHANGED);
}

std::wstring TWinControl::GetText() {
    if (!FHandle) return FText;
    const int len = GetWindowTextLengthW(FHandle);
    if (len <= 0) return std::wstring();
    std::wstring text(len + 1, L'\0');
    text.resize(GetWindowTextW(FHandle, text.data(), len + 1));
    return text;
}

bool TWinControl::CanFocus() {
    TCustomForm* form = GetParentForm(this);
    if (!form) return FVisible && FEnabled;
    if (!form->FVisible || !form->FEnabled) return false;
    for (TControl* c = this; c != form; c = c->FParent)
        if (!c->FVisible || !c->FEnabled) return false;
    return true;
}

bool TWinControl::Focused() { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
    if (TCustomForm* form = GetParentForm(this); form && form != this) {
        form->FocusControl(this);
    } else {
        ::SetFocus(Handle());
    }
}

void TWinControl::RemoveFocus(bool Removing) {
    if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(this, Removing);
}

void TWinControl::SetTabStop(bool value) {
    if (FTabStop == value) return;
    FTabStop = value;
    if (FHandle) {
        LONG style = GetWindowLongW(FHandle, GWL_STYLE);
        SetWindowLongW(FHandle, GWL_STYLE, value ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
    }
    Perform(CM_TABSTOPCHANGED);
}

int32_t TWinControl::TabOrder() const {
    if (!FParent) return -1;
    auto& l = FParent->FTabList;
    auto it = std::find(l.begin(), l.end(), this);
    return it == l.end() ? -1 : (int32_t)(it - l.begin());
}

void TWinControl::SetTabOrder(int32_t value) {
    if (!FParent) return;
    auto& l = FParent->FTabList;
    auto it = std::find(l.begin(), l.end(), this);
    if (it == l.end()) return;
    l.erase(it);
    if (value < 0 || value > (int32_t)l.size()) value = (int32_t)l.size();
    l.insert(l.begin() + value, this);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) {
    for (TWinControl* c : FTabList) {
        list.push_back(c);
        c->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent) {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty()) return nullptr;
    const int32_t count = (int32_t)list.size();
    auto it = std::find(list.begin(), list.end(), CurControl);
    int32_t start = it == list.end() ? (GoForward ? count - 1 : 0) : (int32_t)(it - list.begin());
    int32_t i = start;
    do {
        if (GoForward) {
            if (++i == count) i = 0;
        } else {
            if (i == 0) i = count;
            --i;
        }
        TWinControl* c = list[i];
        if (c != CurControl && c->CanFocus() && (!CheckTabStop || c->FTabStop) && (!CheckParent || c->FParent == this))
            return c;
    } while (i != start);
    return nullptr;
}

void TWinControl::SelectFirst() {
    TCustomForm* form = GetParentForm(this);
    if (!form) return;
    TWinControl* c = FindNextControl(nullptr, true, true, false);
    if (!c) c = FindNextControl(nullptr, true, false, false);
    if (c) form->SetActiveControl(c);
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
    TWinControl* c = FindNextControl(CurControl, GoForward, CheckTabStop, !CheckTabStop);
    if (c) c->SetFocus();
}

void TWinControl::ShowControl(TControl*) {
    if (FParent) FParent->ShowControl(this);
}

void TWinControl::SetCtl3D(bool value) {
    if (FCtl3D == value) return;
    FCtl3D = value;
    FParentCtl3D = false;
    Perform(CM_CTL3DCHANGED);
}

void TWinControl::SetParentCtl3D(bool value) {
    if (FParentCtl3D == value) return;
    FParentCtl3D = value;
    if (value && FParent) Perform(CM_PARENTCTL3DCHANGED);
}

void TWinControl::SetParentBackground(bool value) {
    if (ParentBackground() == value) return;
    if (value) ControlStyle |= csParentBackground;
    else ControlStyle &= ~csParentBackground;
    Invalidate();
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::KeyPress(wchar_t& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::CMEnabledChanged(TMessage& Message) {
    if (!FEnabled && FParent) RemoveFocus(false);
    if (FHandle) EnableWindow(FHandle, FEnabled);
    TControl::CMEnabledChanged(Message);
}

void TWinControl::CMVisibleChanged(TMessage&) {
    if (!FVisible && FParent) RemoveFocus(false);
    UpdateControlState();
}

void TWinControl::CMFontChanged(TMessage& Message) {
    if (FHandle) SendMessageW(FHandle, WM_SETFONT, (WPARAM)FFont->Handle(), 0);
    NotifyControls(CM_PARENTFONTCHANGED);
    TControl::CMFontChanged(Message);
}

void TWinControl::CMColorChanged(TMessage& Message) {
    FBrush->SetColor(FColor);
    NotifyControls(CM_PARENTCOLORCHANGED);
    TControl::CMColorChanged(Message);
}

void TWinControl::CMCtl3DChanged(TMessage&) {
    if (ControlStyle & csFramed) InvalidateFrame();
    NotifyControls(CM_PARENTCTL3DCHANGED);
}

void TWinControl::CMParentCtl3DChanged(TMessage&) {
    if (!FParentCtl3D || !FParent) return;
    SetCtl3D(FParent->FCtl3D);
    FParentCtl3D = true;
}

void TWinControl::CMSysColorChange(TMessage&) {
    // The brush resolves system colours when made: make it again.
    TColor c = FBrush->Color();
    FBrush->SetColor(clBlack);
    FBrush->SetColor(c);
    NotifyControls(CM_SYSCOLORCHANGE);
    Invalidate();
}

void TWinControl::CNKeyDown(TMessage& Message) {
    const uint16_t key = (uint16_t)Message.WParam;
    LRESULT mask = 0;
    switch (key) {
    case VK_TAB: mask = DLGC_WANTTAB; break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: mask = DLGC_WANTARROWS; break;
    case VK_RETURN:
    case VK_EXECUTE:
    case VK_ESCAPE:
    case VK_CANCEL: mask = DLGC_WANTALLKEYS; break;
    default: break;
    }
    Message.Result = 0;
    if (mask && FHandle && (SendMessageW(FHandle, WM_GETDLGCODE, 0, 0) & mask) == 0) {
        if (TCustomForm* form = GetParentForm(this)) {
            if (form->Perform(CM_DIALOGKEY, key, Message.LParam) != 0) Message.Result = 1;
        }
    }
}

void TWinControl::CNChar(TMessage& Message) { Message.Result = 0; }

void TWinControl::CNSysChar(TMessage& Message) {
    Message.Result = 0;
    if (TCustomForm* form = GetParentForm(this)) {
        if (form->Perform(CM_DIALOGCHAR, Message.WParam, Message.LParam) != 0) Message.Result = 1;
    }
}

void TWinControl::WMSize(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMWindowPosChanged(TMessage& Message) {
    DefaultHandler(Message);
    UpdateBounds();
}

void TWinControl::WMSetFocus(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMKillFocus(TMessage& Message) { DefaultHandler(Message); }

void TWinControl::WMNCDestroy(TMessage& Message) {
    DefaultHandler(Message);
    RemovePropW(FHandle, kControlProp);
    FHandle = nullptr;
    FShowing = false;
    FHoverTracking = false;
    FHoverControl = nullptr;
}

// ---------------------------------------------------------------------------------------------
// TCustomControl, TGraphicControl
// ---------------------------------------------------------------------------------------------

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), FCanvas(new TControlCanvas(this)) {}

TCustomControl::~TCustomControl() { FCanvas->FreeHandle(); }

void TCustomControl::PaintWindow(HDC dc) {
    FCanvas->FreeHandle();
    TCanvasPaint attach(FCanvas.get(), dc);
    Paint();
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), FCanvas(new TControlCanvas(this)) {}

TGraphicControl::~TGraphicControl() {
    FCanvas->FreeHandle();
    // Leave the parent while the control is still whole.
    if (FParent) FParent->RemoveControl(this);
}

void TGraphicControl::WMPaint(TMessage& Message) {
    if (!Message.WParam) return;
    FCanvas->FreeHandle();
    TCanvasPaint attach(FCanvas.get(), (HDC)Message.WParam);
    Paint();
}
