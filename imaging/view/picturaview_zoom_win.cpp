// The viewer's zoom and scrolling: zoom setters, the origin, the scroll bars and their messages,
// the mouse wheel, smooth scrolling and the view-change notifications. The arithmetic itself is
// in picturaview_geometry.cpp.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "iecoreutils_vcl.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {

// InitializeFlatSB / UninitializeFlatSB of the common controls, resolved by name (not every import
// library lists them); nothing happens where they are absent.
void CallFlatSB(const char* Name, HWND Handle) {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
    if (!comctl) return;
    using TProc = BOOL(WINAPI*)(HWND);
    if (auto proc = reinterpret_cast<TProc>(reinterpret_cast<void*>(GetProcAddress(comctl, Name)))) proc(Handle);
}

}  // namespace

// ---- Zoom --------------------------------------------------------------------------------------

void TPicturaView::ApplyZoomAxis(bool Horizontal, double Value) {
    StopSmoothScroll();
    if (Value <= 0) return;
    Value = std::min(Value, IEMaxZoomFor(FGeom.ImageWidth, FGeom.ImageHeight));
    if (Horizontal) {
        const int32_t ox = FGeom.CentredOriginX(Value, GetViewWidth());
        FGeom.SetZoomValues(Value, 0);
        int32_t maxX, maxY;
        GetMaxViewOrigin(maxX, maxY);
        FGeom.OriginX = std::clamp(ox, 0, std::max(maxX, 0));
    } else {
        const int32_t oy = FGeom.CentredOriginY(Value, GetViewHeight());
        FGeom.SetZoomValues(0, Value);
        int32_t maxX, maxY;
        GetMaxViewOrigin(maxX, maxY);
        FGeom.OriginY = std::clamp(oy, 0, std::max(maxY, 0));
    }
}

void TPicturaView::ApplyZoom(double Value) {
    StopSmoothScroll();
    if (Value <= 0) return;
    // Called directly too: the zoomed image must keep fitting 32-bit coordinates here as well.
    Value = std::min(Value, IEMaxZoomFor(FGeom.ImageWidth, FGeom.ImageHeight));
    const int32_t ox = FGeom.CentredOriginX(Value, GetViewWidth());
    const int32_t oy = FGeom.CentredOriginY(Value, GetViewHeight());
    FGeom.SetZoomValues(Value, Value);
    int32_t maxX, maxY;
    GetMaxViewOrigin(maxX, maxY);
    FGeom.OriginX = std::clamp(ox, 0, std::max(maxX, 0));
    FGeom.OriginY = std::clamp(oy, 0, std::max(maxY, 0));
}

void TPicturaView::ApplyZoomX(double Value) { ApplyZoomAxis(true, Value); }
void TPicturaView::ApplyZoomY(double Value) { ApplyZoomAxis(false, Value); }

// Axis 0: both axes (with the navigator's paint held too), 1 horizontal, 2 vertical.
void TPicturaView::ChangeZoom(uint8_t Axis, double Value) {
    StopSmoothScroll();
    DoViewChanging(2, Value);
    // A zoom of 0 or below would divide by zero: it changes nothing.
    if (!(Value > 0)) return;
    const bool both = Axis == 0;
    const double old = Axis == 2 ? FGeom.ZoomY : FGeom.ZoomX;
    if (Value == old && (!both || Value == FGeom.ZoomY)) return;
    // The zoomed image must keep fitting 32-bit coordinates.
    Value = std::min(Value, IEMaxZoomFor(FGeom.ImageWidth, FGeom.ImageHeight));
    const bool notAt100 = both ? (FGeom.ZoomX != 100 || FGeom.ZoomY != 100) : old != 100;
    if (DelayZoomFilter && FZoomFilter != rfNone && notAt100) FFilterDelayCounter = FFilterDelayTicks;
    FOutlineDelayCounter = FOutlineDelayTicks;
    TPicturaView* nav = both ? FNavigator : nullptr;
    HoldPaint();
    if (nav) nav->HoldPaint();
    if (both)
        ApplyZoom(Value);
    else if (Axis == 1)
        ApplyZoomX(Value);
    else
        ApplyZoomY(Value);
    // Twice: the first update may show or hide scroll bars, which changes the view size.
    FUpdateReason = 2;
    Update();
    FUpdateReason = 2;
    Update();
    ComputeSourceRect();
    BuildCoordinateTables();
    ReleasePaintNoUpdate();
    if (nav) nav->ReleasePaintNoUpdate();
    Paint();
    DoViewChange(1);
}

void TPicturaView::SetZoom(double Value) { ChangeZoom(0, Value); }
void TPicturaView::SetZoomX(double Value) { ChangeZoom(1, Value); }
void TPicturaView::SetZoomY(double Value) { ChangeZoom(2, Value); }

void TPicturaView::ZoomAt(int32_t X, int32_t Y, bool Center, double Zoom) {
    if (FNavigator) FNavigator->HoldPaint();
    HoldPaint();
    const int32_t bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
    SetZoom(Zoom);
    const long double f = (long double)FGeom.ZoomX / 100.0L;
    int32_t nx, ny;
    if (Center) {
        nx = IETrunc(bx * f - GetViewWidth() / 2);
        ny = IETrunc(by * f - GetViewHeight() / 2);
    } else {
        nx = IETrunc(bx * f - X + f);
        ny = IETrunc(by * f - Y + f);
    }
    SetViewOrigin(nx, ny);
    ReleasePaint();
    ComputeSourceRect();
    BuildCoordinateTables();
    if (FNavigator) {
        FNavigator->ReleasePaintNoUpdate();
        UpdateNavigator();
    }
}

void TPicturaView::ZoomToFit() {
    if (FGeom.ImageWidth == 0 || FGeom.ImageHeight == 0) return;
    HideHorzScrollBar();
    HideVertScrollBar();
    SetZoom(GetOptimalZoom());
}

double TPicturaView::GetOptimalZoom() {
    double zw, zh;
    GetFitZooms(zw, zh);
    return std::min(zw, zh);
}

void TPicturaView::GetFitZooms(double& ZoomW, double& ZoomH) {
    int32_t mx, my;
    GetFitMargins(mx, my, true, true);
    ZoomW = IEFitZoom(Width(), mx, FGeom.ImageWidth);
    ZoomH = IEFitZoom(Height(), my, FGeom.ImageHeight);
}

void TPicturaView::GetFitMargins(int32_t& MX, int32_t& MY, bool BorderX, bool BorderY) {
    switch (FBackgroundStyle) {
        case iebsCropped: MX = IEMetricCXEdge; MY = IEMetricCYEdge; return;
        case iebsCropShadow: MX = MY = 5; return;
        case iebsSoftShadow: MX = MY = 9; return;
        default: break;
    }
    if (BorderX)
        MX = GetBorderStyle() == bsNone ? 0 : (GetCtl3D() ? IEMetricCXEdge : IEMetricCXBorder);
    else
        MX = (Width() - GetViewWidth()) / 2;
    if (BorderY)
        MY = GetBorderStyle() == bsNone ? 0 : (GetCtl3D() ? IEMetricCYEdge : IEMetricCYBorder);
    else
        MY = (Height() - GetViewHeight()) / 2;
}

double TPicturaView::ChooseAutoFitZoom(int32_t ImageW, int32_t ImageH, int32_t AreaW, int32_t AreaH, bool Stretch,
                                       bool Shrink) {
    if (AreaW == 0 || AreaH == 0 || ImageW == 0 || ImageH == 0) return 100.0;
    return IEChooseAutoFitZoom(ImageW, ImageH, AreaW, AreaH, Stretch, Shrink, GetOptimalZoom());
}

void TPicturaView::ZoomSelection(bool FitBoth, bool FireZoomIn) {
    if (!FSelected) return;
    const int32_t x1 = GetSelX1(), y1 = GetSelY1(), x2 = GetSelX2(), y2 = GetSelY2();
    const int32_t w = x2 + 1 - x1, h = y2 + 1 - y1;
    if (x1 < 0 || y1 < 0 || w < 2 || h < 2) return;
    Deselect();
    double z = std::min(Height() / (h / 100.0), Width() / (w / 100.0));
    if (FireZoomIn) DoZoomIn(z);
    if (FitBoth) {
        SetZoom(z);
    } else {
        SetZoomX(Width() / (w / 100.0));
        SetZoomY(Height() / (h / 100.0));
    }
    SetViewOrigin(IETrunc((long double)x1 * FGeom.ZoomFactorX) -
                      (GetViewWidth() - IETrunc((long double)w * FGeom.ZoomFactorX)) / 2,
                  IETrunc((long double)y1 * FGeom.ZoomFactorY) -
                      (GetViewHeight() - IETrunc((long double)h * FGeom.ZoomFactorY)) / 2);
}

void TPicturaView::SetZoomFilter(TResampleFilter Value) {
    FSavedZoomFilter = Value;
    if (Value == FZoomFilter) return;
    FZoomFilter = Value;
    Update();
}

void TPicturaView::SetCenter(bool Value) {
    if (Value == FCenter) return;
    FCenter = Value;
    FUpdateReason = 1;
    Update();
}

void TPicturaView::SetAutoFit(bool Value) {
    FAutoFit = Value;
    Update();
}

void TPicturaView::SetAutoStretch(bool Value) {
    FAutoStretch = Value;
    Update();
}

void TPicturaView::SetAutoShrink(bool Value) {
    FAutoShrink = Value;
    Update();
}

// ---- Origin ------------------------------------------------------------------------------------

void TPicturaView::GetMaxViewOrigin(int32_t& MaxX, int32_t& MaxY) {
    FGeom.GetMaxViewOrigin(GetViewWidth(), GetViewHeight(), Width(), Height(), FScrollBars != ssNone, MaxX, MaxY);
}

bool TPicturaView::CanScroll() {
    int32_t mx, my;
    GetMaxViewOrigin(mx, my);
    return mx > 0 || my > 0;
}

void TPicturaView::ChangeOrigin(bool DoX, int32_t X, bool DoY, int32_t Y) {
    if (DoX) DoViewChanging(0, X);
    if (DoY) DoViewChanging(1, Y);
    if ((!DoX || X == FGeom.OriginX) && (!DoY || Y == FGeom.OriginY)) return;
    int32_t maxX, maxY;
    GetMaxViewOrigin(maxX, maxY);
    const int32_t nx = DoX ? std::clamp(X, 0, std::max(maxX, 0)) : FGeom.OriginX;
    const int32_t ny = DoY ? std::clamp(Y, 0, std::max(maxY, 0)) : FGeom.OriginY;
    if (nx == FGeom.OriginX && ny == FGeom.OriginY) return;
    FGeom.OriginX = nx;
    FGeom.OriginY = ny;
    if (DelayZoomFilter && FZoomFilter != rfNone && (FGeom.ZoomX != 100 || FGeom.ZoomY != 100))
        FFilterDelayCounter = FFilterDelayTicks;
    FOutlineDelayCounter = FOutlineDelayTicks;
    SetBackBufferDirty();
    Paint();
    DoViewChange(0);
    if (FSelected) DrawSelection(true);
    if (!HandleAllocated()) return;
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth)
        IESetScrollPos(Handle(), SB_HORZ, IETrunc((long double)FGeom.OriginX / FScrollScaleX), true, FFlatScrollBars);
    if (FScrollBars == ssVertical || FScrollBars == ssBoth)
        IESetScrollPos(Handle(), SB_VERT, IETrunc((long double)FGeom.OriginY / FScrollScaleY), true, FFlatScrollBars);
}

void TPicturaView::SetViewOrigin(int32_t X, int32_t Y) { ChangeOrigin(true, X, true, Y); }
void TPicturaView::SetViewX(int32_t X) { ChangeOrigin(true, X, false, 0); }
void TPicturaView::SetViewY(int32_t Y) { ChangeOrigin(false, 0, true, Y); }

// ---- Scroll bars -------------------------------------------------------------------------------

void TPicturaView::ShowBar(int32_t Bar, bool Show) {
    if (HandleAllocated()) IEShowScrollBar(Handle(), Bar, Show, FFlatScrollBars);
}

void TPicturaView::SetScrollBars(TScrollStyle Value) {
    FScrollBars = Value;
    if (HandleAllocated()) {
        if (Value != ssVertical && Value != ssBoth) ShowBar(SB_VERT, false);
        if (Value != ssHorizontal && Value != ssBoth) ShowBar(SB_HORZ, false);
    }
    FUpdateReason = 4;
    Update();
}

void TPicturaView::SetFlatScrollBars(bool Value) {
    if (Value == FFlatScrollBars) return;
    FFlatScrollBars = Value;
    if (!HandleAllocated()) return;
    if (Value) {
        IESetScrollRange(Handle(), SB_HORZ, 0, 65535, false, false);
        IESetScrollRange(Handle(), SB_VERT, 0, 65535, false, false);
        CallFlatSB("InitializeFlatSB", Handle());
        IEShowScrollBar(Handle(), SB_HORZ, false, true);
        IEShowScrollBar(Handle(), SB_VERT, false, true);
    } else {
        CallFlatSB("UninitializeFlatSB", Handle());
    }
}

// The flag is cleared before the bar goes: hiding it resizes the client area, and the update that
// the resize runs must see the bar as it is.
void TPicturaView::HideHorzScrollBar() {
    if (!FHorzBarShown) return;
    FHorzBarShown = false;
    ShowBar(SB_HORZ, false);
}

void TPicturaView::HideVertScrollBar() {
    if (!FVertBarShown) return;
    FVertBarShown = false;
    ShowBar(SB_VERT, false);
}

void TPicturaView::UpdateScrollBar(int32_t Bar, int32_t MaxOrigin) {
    const bool horz = Bar == SB_HORZ;
    bool& shown = horz ? FHorzBarShown : FVertBarShown;
    if (MaxOrigin < 1) {
        if (ShowDisabledBars) {
            shown = true;
            IEEnableScrollBar(Handle(), Bar, ESB_DISABLE_BOTH, FFlatScrollBars);
            ShowBar(Bar, true);
        } else if (horz) {
            HideHorzScrollBar();
        } else {
            HideVertScrollBar();
        }
        return;
    }
    shown = true;
    const int32_t viewSize = horz ? GetViewWidth() : GetViewHeight();
    const TIEScrollBarValues v = IEScrollBarValues(viewSize, MaxOrigin, horz ? FGeom.OriginX : FGeom.OriginY);
    (horz ? FScrollScaleX : FScrollScaleY) = v.Scale;
    IESetScrollParams(Handle(), Bar, 0, 65535, v.Page, v.Pos, true, FFlatScrollBars);
    IEEnableScrollBar(Handle(), Bar, ESB_ENABLE_BOTH, FFlatScrollBars);
    ShowBar(Bar, true);
}

void TPicturaView::UpdateScrollBars(int32_t MaxX, int32_t MaxY) {
    if (!HandleAllocated() || !HasParentWindow()) return;
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) UpdateScrollBar(SB_HORZ, MaxX);
    if (FScrollBars == ssVertical || FScrollBars == ssBoth) UpdateScrollBar(SB_VERT, MaxY);
}

void TPicturaView::ScrollHorz(TIEScrollAction Kind, int32_t Pos) {
    int32_t maxX, maxY;
    GetMaxViewOrigin(maxX, maxY);
    SetViewX(IEScrollActionOrigin(Kind, Pos, FGeom.OriginX, maxX, GetViewWidth(), FGeom.ZoomFactorX,
                                  FHScrollBarParams.LineStep, FHScrollBarParams.PageStep));
}

void TPicturaView::ScrollVert(TIEScrollAction Kind, int32_t Pos) {
    int32_t maxX, maxY;
    GetMaxViewOrigin(maxX, maxY);
    SetViewY(IEScrollActionOrigin(Kind, Pos, FGeom.OriginY, maxY, GetViewHeight(), FGeom.ZoomFactorY,
                                  FVScrollBarParams.LineStep, FVScrollBarParams.PageStep));
}

void TPicturaView::HandleScroll(int32_t Bar, TMessage& Message) {
    const bool horz = Bar == SB_HORZ;
    const TIEScrollBarParams& params = horz ? FHScrollBarParams : FVScrollBarParams;
    auto act = [&](TIEScrollAction Kind, int32_t Pos) {
        if (horz)
            ScrollHorz(Kind, Pos);
        else
            ScrollVert(Kind, Pos);
    };
    const double scale = horz ? FScrollScaleX : FScrollScaleY;
    switch (LOWORD(Message.WParam)) {
        case SB_LINEUP: act(iesaLineBack, 0); break;
        case SB_LINEDOWN: act(iesaLineForward, 0); break;
        case SB_PAGEUP: act(iesaPageBack, 0); break;
        case SB_PAGEDOWN: act(iesaPageForward, 0); break;
        case SB_THUMBTRACK:
            if (!params.Tracking) break;
            [[fallthrough]];
        case SB_THUMBPOSITION:
            act(iesaPosition, IERound((long double)uint16_t(HIWORD(Message.WParam)) * scale));
            break;
        case SB_TOP: act(iesaToStart, 0); break;
        case SB_BOTTOM: act(iesaToEnd, 0); break;
        default: act(iesaPosition, horz ? FGeom.OriginX : FGeom.OriginY); break;
    }
}

void TPicturaView::WMHScroll(TMessage& Message) {
    TIEView::WMHScroll(Message);
    HandleScroll(SB_HORZ, Message);
}

void TPicturaView::WMVScroll(TMessage& Message) {
    TIEView::WMVScroll(Message);
    HandleScroll(SB_VERT, Message);
}

// ---- Wheel -------------------------------------------------------------------------------------

void TPicturaView::WMMouseWheel(TMessage& Message) {
    TIEView::WMMouseWheel(Message);
    POINT p{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
    p = ScreenToClient(p);
    const int32_t delta = int16_t(HIWORD(Message.WParam));
    MouseWheelAction(delta, p.x, (KeyboardStateToShiftState() & ssCtrl) != 0, p.y);
}

void TPicturaView::MouseWheelAction(int32_t Delta, int32_t X, bool Ctrl, int32_t Y) {
    const TIEMouseWheelParams& w = FMouseWheelParams;
    if (w.Action == 0 || FAutoFit) return;
    const int32_t d = IEWheelDirection(Delta, w.InverseDirection);
    if (w.Action == 1) {
        int32_t maxX, maxY;
        GetMaxViewOrigin(maxX, maxY);
        const bool horz = Ctrl || (maxX > 0 && maxY == 0);
        if (w.Variation > 1) return;
        if (horz)
            SetViewX(FGeom.OriginX + IEWheelScrollStep(d, w.Variation, w.Value, FGeom.ZoomFactorX, GetViewWidth()));
        else
            SetViewY(FGeom.OriginY + IEWheelScrollStep(d, w.Variation, w.Value, FGeom.ZoomFactorY, GetViewHeight()));
    } else if (w.Action == 2) {
        double z = IEWheelZoom(d, w.Variation, w.Value, FGeom.ZoomX);
        if (z > FGeom.ZoomX) DoZoomIn(z);
        if (z < FGeom.ZoomX) DoZoomOut(z);
        if (w.ZoomPosition)
            ZoomAt(X, Y, false, z);
        else
            SetZoom(z);
    }
}

// ---- Smooth scrolling --------------------------------------------------------------------------

void TPicturaView::SmoothScrollTo(int32_t X, int32_t Y) {
    FSmoothTargetX = X;
    FSmoothTargetY = Y;
    if (FSmoothScrollTimer) return;
    FRetiredTimer.reset();
    FSmoothScrollTimer = std::make_unique<TTimer>(nullptr);
    FSmoothScrollTimer->SetEnabled(false);
    FSmoothScrollTimer->SetInterval(30);
    FSmoothScrollTimer->SetOnTimer([this](TObject*) { SmoothScrollStep(); });
    FSmoothScrollTimer->SetEnabled(true);
    SmoothScrollStep();
}

void TPicturaView::SmoothScrollStep() {
    if (!FSmoothScrollTimer) return;
    const int32_t x0 = FGeom.OriginX, y0 = FGeom.OriginY;
    SetViewOrigin(IESmoothScrollNext(x0, FSmoothTargetX, FSmoothDivisor),
                  IESmoothScrollNext(y0, FSmoothTargetY, FSmoothDivisor));
    if ((FGeom.OriginX == x0 && FGeom.OriginY == y0) || IEViewLeftButtonDown()) StopSmoothScroll();
}

void TPicturaView::StopSmoothScroll() {
    if (!FSmoothScrollTimer) return;
    // The timer may be the one running this call: it is stopped now and freed later (at the next
    // smooth scroll or with the view), never inside its own tick.
    FSmoothScrollTimer->SetEnabled(false);
    FRetiredTimer = std::move(FSmoothScrollTimer);
}

// ---- Geometry and notifications ----------------------------------------------------------------

void TPicturaView::ComputeDisplayExtent() { FGeom.ComputeDisplayExtent(GetViewWidth(), GetViewHeight(), FCenter); }
void TPicturaView::ComputeSourceRect() { FGeom.ComputeSourceRect(); }
void TPicturaView::BuildCoordinateTables() { FGeom.BuildCoordinateTables(); }

void TPicturaView::DoViewChanging(int32_t Change, double NewValue) {
    if (OnViewChanging) OnViewChanging(this, Change, NewValue);
}

void TPicturaView::DoViewChange(int32_t Change) {
    if (OnViewChange) OnViewChange(this, Change);
    if (FNavigator) UpdateNavigator();
}

void TPicturaView::DoZoomIn(double& NewZoom) {
    if (!OnZoomIn) return;
    SwapSelectionBase();
    OnZoomIn(this, NewZoom);
    SwapSelectionBase();
}

void TPicturaView::DoZoomOut(double& NewZoom) {
    if (!OnZoomOut) return;
    SwapSelectionBase();
    OnZoomOut(this, NewZoom);
    SwapSelectionBase();
}

void TPicturaView::DoMouseInResizingGrip(TIEGrip Grip) {
    if (!OnMouseInResizingGrip) return;
    SwapSelectionBase();
    OnMouseInResizingGrip(this, Grip);
    SwapSelectionBase();
}

void TPicturaView::DoMouseInSel() {
    if (!OnMouseInSel) return;
    SwapSelectionBase();
    OnMouseInSel(this);
    SwapSelectionBase();
}
