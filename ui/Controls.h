// Controls over Win32 windows: TControl (with or without a window of its own), TWinControl,
// TCustomControl and TGraphicControl, with the internal notifications (CM_...) and the reflected
// parent notifications (CN_...) that controls answer through virtual handlers.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "WinApi.h"

KW_DECLARE_EXCEPTION(EInvalidOperation, Exception);

// ---------------------------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------------------------

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

// Internal notifications between controls.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr UINT CM_COLORCHANGED = CM_BASE + 4;
constexpr UINT CM_FONTCHANGED = CM_BASE + 5;
constexpr UINT CM_CTL3DCHANGED = CM_BASE + 7;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 10;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 11;
constexpr UINT CM_PARENTCTL3DCHANGED = CM_BASE + 12;
constexpr UINT CM_DIALOGKEY = CM_BASE + 13;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 14;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 15;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 17;
constexpr UINT CM_ENTER = CM_BASE + 18;
constexpr UINT CM_EXIT = CM_BASE + 19;
constexpr UINT CM_MOUSEENTER = CM_BASE + 20;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 21;
constexpr UINT CM_SYSCOLORCHANGE = CM_BASE + 22;
constexpr UINT CM_TABSTOPCHANGED = CM_BASE + 23;
constexpr UINT CM_CHILDKEY = CM_BASE + 24;
constexpr UINT CM_RECREATEWND = CM_BASE + 25;
constexpr UINT CM_VISIBLECHANGING = CM_BASE + 26;   // WParam: the new value (before the change)
constexpr UINT CM_SHOWCONTROL = CM_BASE + 27;       // LParam: the control to bring into view

// Notifications of a child window that its parent hands back to the child (reflection).
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLORDLG = CN_BASE + WM_CTLCOLORDLG;
constexpr UINT CN_CTLCOLORSCROLLBAR = CN_BASE + WM_CTLCOLORSCROLLBAR;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

// ---------------------------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------------------------

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TBorderStyle { bsNone, bsSingle };

// Shift state bits (keys and mouse buttons held).
enum TShiftStateBit : uint8_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
typedef uint8_t TShiftState;

// Control style bits.
enum TControlStyleBit : uint32_t {
    csAcceptsControls = 1u << 0,
    csCaptureMouse = 1u << 1,
    csClickEvents = 1u << 3,
    csFramed = 1u << 4,
    csSetCaption = 1u << 5,
    csOpaque = 1u << 6,
    csDoubleClicks = 1u << 7,
    csFixedWidth = 1u << 8,
    csFixedHeight = 1u << 9,
    csReplicatable = 1u << 13,
    csParentBackground = 1u << 20,
};
typedef uint32_t TControlStyle;

// Control state bits.
enum TControlStateBit : uint32_t {
    csLButtonDown = 1u << 0,
    csClicked = 1u << 1,
    csFocusing = 1u << 6,
    csCreating = 1u << 7,
    csPaintCopy = 1u << 8,
    csAligning = 1u << 13,
    csRecreating = 1u << 16,
};
typedef uint32_t TControlState;

class TControl;
class TWinControl;
class TCustomForm;

// Cursors: the standard ones are negative, an application's own take positive numbers in the
// cursor table (ScreenCursor / SetScreenCursor).
typedef int16_t TCursor;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11,
                  crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22;

// The application's cursor table: the handle shown for a cursor number (the arrow for a number
// without one; nullptr for crNone).
HCURSOR ScreenCursor(TCursor ACursor);
// Enters a handle under a number (a standard number too); the table owns and destroys handles
// it replaces when they were loaded from resources through LoadCursorResource.
void SetScreenCursor(TCursor ACursor, HCURSOR AHandle);
// A cursor resource of the program's module, or nullptr when there is none of that name.
HCURSOR LoadCursorResource(const wchar_t* AName);

typedef std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)> TMouseEvent;
typedef std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)> TMouseMoveEvent;
typedef std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)> TKeyEvent;
typedef std::function<void(TObject* Sender, wchar_t& Key)> TKeyPressEvent;
// Wheel turns: WheelDelta in the system's units (120 a notch, positive away from the user),
// MousePos in screen coordinates; a handler sets Handled to keep the turn from the parent.
typedef std::function<void(TObject* Sender, TShiftState Shift, int32_t WheelDelta, POINT MousePos, bool& Handled)>
    TMouseWheelEvent;
typedef std::function<void(TObject* Sender, TShiftState Shift, POINT MousePos, bool& Handled)> TMouseWheelUpDownEvent;

// The parameters a windowed control is created with.
struct TCreateParams {
    std::wstring Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    void* Param = nullptr;
    WNDCLASSW WindowClass{};
    std::wstring WinClassName;
};

// A canvas over a control: the paint context while painting, otherwise a context of its own.
class TControlCanvas : public TCanvas {
public:
    KW_CLASS_NAME(TControlCanvas)
    explicit TControlCanvas(TControl* control) : FControl(control) {}
    ~TControlCanvas() override;
    TControl* Control() const { return FControl; }
    // Gives back a context that the canvas fetched for itself.
    void FreeHandle();

protected:
    void CreateHandle() override;

private:
    TControl* FControl;
    HDC FDeviceContext = nullptr;
    HWND FWindowHandle = nullptr;
};

// Releases the device contexts that control canvases fetched outside painting.
void FreeDeviceContexts();

// ---------------------------------------------------------------------------------------------
// TControl
// ---------------------------------------------------------------------------------------------

class TControl : public TComponent {
public:
    KW_CLASS_NAME(TControl)
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    // Messages: Perform runs the control's own message handling at once.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    virtual void WndProc(TMessage& Message);
    // Sends a message to the matching handler below; unknown messages reach DefaultHandler.
    virtual void Dispatch(TMessage& Message);
    virtual void DefaultHandler(TMessage& Message) {}

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* AParent);

    int32_t Left() const { return FLeft; }
    int32_t Top() const { return FTop; }
    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
    virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
    RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    void SetBoundsRect(const RECT& r) { SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    virtual RECT GetClientRect();
    int32_t ClientWidth() { RECT r = GetClientRect(); return r.right - r.left; }
    int32_t ClientHeight() { RECT r = GetClientRect(); return r.bottom - r.top; }
    virtual void SetClientSize(int32_t AWidth, int32_t AHeight);
    void SetClientWidth(int32_t v) { SetClientSize(v, ClientHeight()); }
    void SetClientHeight(int32_t v) { SetClientSize(ClientWidth(), v); }
    // The client origin in screen coordinates.
    virtual POINT ClientOrigin();
    POINT ClientToScreen(POINT p);
    POINT ScreenToClient(POINT p);

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign value);

    // Caption and Text are one value.
    virtual std::wstring GetText();
    virtual void SetText(const std::wstring& value);
    std::wstring Caption() { return GetText(); }
    void SetCaption(const std::wstring& value) { SetText(value); }
    std::wstring Text() { return GetText(); }

    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);
    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* value) { FFont->Assign(value); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool value);

    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    // Asks the parents to bring the control into view, then makes it visible.
    void Show();
    void Hide() { SetVisible(false); }
    // Visible here and in every parent up to the top.
    bool IsVisibleOnScreen() const;

    TControlStyle ControlStyle = 0;
    TControlState ControlState = 0;

    virtual void Invalidate();
    virtual void Update();
    void Repaint();
    void Refresh() { Repaint(); }
    void BringToFront();

    // Mouse capture (for a control without a window the parent's window holds it).
    bool MouseCapture() const;
    void SetMouseCapture(bool value);

    // Draws into any context: a windowed control with its children, a graphic control itself.
    virtual void PaintTo(HDC dc, int32_t x, int32_t y);

    virtual bool HasWindow() const { return false; }

    // The cursor shown while the mouse is over the control (crDefault: the parent's, or the class's).
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TMouseWheelEvent OnMouseWheel;
    TMouseWheelUpDownEvent OnMouseWheelUp;
    TMouseWheelUpDownEvent OnMouseWheelDown;

protected:
    friend class TWinControl;
    // A wheel turn: OnMouseWheel, then (unless handled) OnMouseWheelUp or OnMouseWheelDown once for
    // every whole notch turned so far. True when handled; an unhandled turn goes to the parent.
    virtual bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, POINT MousePos);
    virtual void Click();
    virtual void DblClick();
    virtual void Resize();
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
    virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
    virtual void RequestAlign();
    // Invalidates the control's area on its parent (controls without a window).
    void InvalidateControl(bool IsVisible, bool IsOpaque);

    // Internal notifications.
    virtual void CMEnabledChanged(TMessage& Message);
    virtual void CMVisibleChanged(TMessage& Message);
    virtual void CMVisibleChanging(TMessage& Message) {}
    virtual void CMFontChanged(TMessage& Message);
    virtual void CMColorChanged(TMessage& Message);
    virtual void CMTextChanged(TMessage& Message) {}
    virtual void CMParentFontChanged(TMessage& Message);
    virtual void CMParentColorChanged(TMessage& Message);
    virtual void CMParentCtl3DChanged(TMessage& Message) {}
    virtual void CMMouseEnter(TMessage& Message);
    virtual void CMMouseLeave(TMessage& Message);
    virtual void CMSysColorChange(TMessage& Message) {}
    virtual void WMPaint(TMessage& Message) { DefaultHandler(Message); }
    virtual void WMMouse(TMessage& Message);

    TWinControl* FParent = nullptr;
    int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::wstring FText;
    bool FVisible = true;
    bool FEnabled = true;
    TColor FColor = clWindow;
    bool FParentColor = true;
    bool FParentFont = true;
    TAlign FAlign = alNone;
    TCursor FCursor = crDefault;
    int32_t FWheelAccumulator = 0;
    std::unique_ptr<TFont> FFont;

private:
    void FontChanged(TObject*);
    void HandleMouseDown(TMessage& Message, TMouseButton Button, bool Double);
    void HandleMouseUp(TMessage& Message, TMouseButton Button);
};

// ---------------------------------------------------------------------------------------------
// TWinControl
// ---------------------------------------------------------------------------------------------

class TWinControl : public TControl {
public:
    KW_CLASS_NAME(TWinControl)
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;

    void WndProc(TMessage& Message) override;
    void Dispatch(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;

    // The window, made on first use.
    HWND Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys the window (and the children's) and makes it again when the control is showing.
    void RecreateWnd();
    // The control of one of this process's windows made by a TWinControl, or nullptr.
    static TWinControl* FindControl(HWND wnd);

    bool HasWindow() const override { return true; }
    bool Showing() const { return FShowing; }

    // Children: controls without a window first, then windowed ones, each in insertion order.
    int32_t ControlCount() const { return (int32_t)(FControls.size() + FWinControls.size()); }
    TControl* Controls(int32_t index) const;
    void InsertControl(TControl* AControl);
    void RemoveControl(TControl* AControl);
    bool ContainsControl(TControl* Control) const;
    // The topmost child without a window under a client point (enabled ones unless allowed).
    TControl* ControlAtPos(POINT pos, bool AllowDisabled, bool AllowWinControls = false);
    // Runs the message on every child until one answers with a non-zero result.
    void Broadcast(TMessage& Message);
    // Runs the message on every child.
    void NotifyControls(UINT msg);

    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    RECT GetClientRect() override;
    POINT ClientOrigin() override;
    void Realign();
    void DisableAlign() { ++FAlignLevel; }
    void EnableAlign();

    void SetText(const std::wstring& value) override;
    std::wstring GetText() override;

    // Focus and tab order.
    virtual bool CanFocus();
    bool Focused();
    virtual void SetFocus();
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value);
    int32_t TabOrder() const;
    void SetTabOrder(int32_t value);
    void GetTabOrderList(std::vector<TWinControl*>& list);
    TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent);
    void SelectFirst();
    void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);
    bool ParentCtl3D() const { return FParentCtl3D; }
    void SetParentCtl3D(bool value);
    bool DoubleBuffered = false;
    bool ParentBackground() const { return (ControlStyle & csParentBackground) != 0; }
    void SetParentBackground(bool value);
    // The background brush (the control's colour).
    TBrush* Brush() const { return FBrush.get(); }

    void Invalidate() override;
    void Update() override;
    void PaintTo(HDC dc, int32_t x, int32_t y) override;
    // Paints the windowless children (those from First on, all when nullptr) and the sunken frames
    // of framed windowed children into the context.
    void PaintControls(HDC dc, TControl* First);

    // The control's own scroll bars (SB_HORZ, SB_VERT): range, page and position in one call, and
    // what they hold (TrackPos: the thumb's place while it is dragged).
    struct TScrollBarState {
        int32_t Min = 0, Max = 0, Page = 0, Pos = 0, TrackPos = 0;
    };
    void SetScrollBar(int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw = true);
    void SetScrollBarPos(int32_t Bar, int32_t Pos, bool Redraw = true);
    TScrollBarState GetScrollBar(int32_t Bar);

    // What the control asks of dialog navigation (WM_GETDLGCODE: DLGC_WANTARROWS, DLGC_WANTCHARS,
    // DLGC_WANTTAB, DLGC_WANTALLKEYS): keys it claims reach its key handlers instead of moving
    // the focus. 0 leaves the answer to the window class.
    uint32_t DialogCode = 0;
    // A click takes the focus to the control (custom controls that handle keys want this).
    bool FocusOnClick = false;

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

protected:
    friend class TControl;
    friend class TCustomForm;
    friend LRESULT CALLBACK KWStdWndProc(HWND, UINT, WPARAM, LPARAM);

    virtual void CreateParams(TCreateParams& Params);
    // Fills Params to superclass a system window class ("BUTTON", "EDIT", ...).
    void CreateSubClass(TCreateParams& Params, const wchar_t* ClassName);
    virtual void CreateWnd();
    virtual void CreateWindowHandle(const TCreateParams& Params);
    virtual void DestroyWnd();
    void CreateHandle();
    void DestroyHandle();
    void UpdateShowing();
    void UpdateControlState();
    // The area children are aligned in (the client rectangle by default).
    virtual void AdjustClientRect(RECT& Rect) {}
    virtual void AlignControls(TControl* AControl, RECT& Rect);
    // Paints the control itself into the context (the system's painting by default).
    virtual void PaintWindow(HDC dc);
    void PaintHandler(TMessage& Message);
    virtual void KeyDown(uint16_t& Key, TShiftState Shift);
    virtual void KeyUp(uint16_t& Key, TShiftState Shift);
    virtual void KeyPress(wchar_t& Key);
    virtual void DoEnter();
    virtual void DoExit();
    // Hands a reflected message to the child control that owns the window; false when none does.
    bool DoControlMsg(HWND ControlHandle, TMessage& Message);
    void InvalidateFrame();
    // True for controls that paint themselves (their WM_PAINT never goes to the system).
    virtual bool CustomPaint() const { return false; }
    // True when the default procedure is a system class's (a superclassed BUTTON, EDIT, ...) that
    // paints into a given context; the plain DefWindowProc paints nothing.
    bool SystemPaints() const { return FDefWndProc && FDefWndProc != DefWindowProcW; }
    // A child asks to be brought into view (a page of a page control, for example).
    virtual void ShowControl(TControl* AControl);
    // Drops the focus from the control (and its children) when the form has it there.
    void RemoveFocus(bool Removing);
    // The size or position changed: re-align the children and report a new size.
    void BoundsChanged(int32_t OldWidth, int32_t OldHeight);

    void CMEnabledChanged(TMessage& Message) override;
    void CMVisibleChanged(TMessage& Message) override;
    void CMFontChanged(TMessage& Message) override;
    void CMColorChanged(TMessage& Message) override;
    void CMParentCtl3DChanged(TMessage& Message) override;
    void CMSysColorChange(TMessage& Message) override;
    virtual void CMCtl3DChanged(TMessage& Message);
    virtual void CMShowingChanged(TMessage& Message);
    virtual void CMDialogKey(TMessage& Message) { Broadcast(Message); }
    virtual void CMDialogChar(TMessage& Message) { Broadcast(Message); }
    virtual void CMFocusChanged(TMessage& Message) { Broadcast(Message); }
    virtual void CMEnter(TMessage& Message) { DoEnter(); }
    virtual void CMExit(TMessage& Message) { DoExit(); }
    virtual void CMTabStopChanged(TMessage& Message) {}
    virtual void CNCtlColor(TMessage& Message);
    virtual void CNKeyDown(TMessage& Message);
    virtual void CNChar(TMessage& Message);
    virtual void CNSysChar(TMessage& Message);
    virtual void CNCommand(TMessage& Message) { DefaultHandler(Message); }
    virtual void CNNotify(TMessage& Message) { DefaultHandler(Message); }
    virtual void CNDrawItem(TMessage& Message) { DefaultHandler(Message); }
    virtual void CNMeasureItem(TMessage& Message) { DefaultHandler(Message); }
    void WMPaint(TMessage& Message) override;
    virtual void WMEraseBkgnd(TMessage& Message);
    virtual void WMPrintClient(TMessage& Message);
    virtual void WMNCHitTest(TMessage& Message) { DefaultHandler(Message); }
    virtual void WMMove(TMessage& Message) { DefaultHandler(Message); }
    virtual void WMSize(TMessage& Message);
    virtual void WMWindowPosChanged(TMessage& Message);
    virtual void WMSetFocus(TMessage& Message);
    virtual void WMKillFocus(TMessage& Message);
    virtual void WMDropFiles(TMessage& Message) { DefaultHandler(Message); }
    virtual void WMNCDestroy(TMessage& Message);
    virtual void WMMouseWheel(TMessage& Message);
    virtual void WMSetCursor(TMessage& Message);
    virtual void WMGetDlgCode(TMessage& Message);
    // The control's own scroll bars were used (LOWORD(WParam): SB_LINEUP ... SB_THUMBTRACK).
    virtual void WMHScroll(TMessage& Message) { DefaultHandler(Message); }
    virtual void WMVScroll(TMessage& Message) { DefaultHandler(Message); }

    HWND FHandle = nullptr;
    WNDPROC FDefWndProc = nullptr;
    std::unique_ptr<TBrush> FBrush;

private:
    bool IsControlMouseMsg(TMessage& Message);
    void TrackHover(TControl* target);
    void UpdateBounds();
    void ReflectMessage(TMessage& Message);
    void DrawFrames(HDC dc);

    std::vector<TControl*> FControls;      // without a window
    std::vector<TWinControl*> FWinControls;
    std::vector<TWinControl*> FTabList;
    bool FShowing = false;
    bool FTabStop = false;
    bool FCtl3D = true;
    bool FParentCtl3D = true;
    int32_t FAlignLevel = 0;
    bool FHoverTracking = false;
    TControl* FHoverControl = nullptr;
};

// A windowed control that paints itself on its canvas.
class TCustomControl : public TWinControl {
public:
    KW_CLASS_NAME(TCustomControl)
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    TCanvas* Canvas() const { return FCanvas.get(); }

protected:
    virtual void Paint() {}
    void PaintWindow(HDC dc) override;
    bool CustomPaint() const override { return true; }

private:
    std::unique_ptr<TControlCanvas> FCanvas;
};

// A control without a window, painted by its parent.
class TGraphicControl : public TControl {
public:
    KW_CLASS_NAME(TGraphicControl)
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    TCanvas* Canvas() const { return FCanvas.get(); }

protected:
    virtual void Paint() {}
    void WMPaint(TMessage& Message) override;

private:
    std::unique_ptr<TControlCanvas> FCanvas;
};

// The control under the mouse capture, if any.
TControl* GetCaptureControl();
// The form that a control sits on (its topmost parent when that is a form), or nullptr.
TCustomForm* GetParentForm(TControl* Control);
// The shift state from the keyboard now.
TShiftState KeyboardStateToShiftState();
