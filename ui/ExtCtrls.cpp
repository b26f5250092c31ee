#include "ExtCtrls.h"

#include <map>

#include "Themes.h"

void Frame3D(TCanvas* Canvas, RECT& Rect, TColor TopColor, TColor BottomColor, int32_t Width) {
    Canvas->Pen()->SetWidth(1);
    Canvas->Pen()->SetStyle(psSolid);
    --Rect.bottom;
    --Rect.right;
    for (; Width > 0; --Width) {
        Canvas->Pen()->SetColor(TopColor);
        Canvas->MoveTo(Rect.left, Rect.bottom);
        Canvas->LineTo(Rect.left, Rect.top);
        Canvas->LineTo(Rect.right, Rect.top);
        Canvas->Pen()->SetColor(BottomColor);
        Canvas->MoveTo(Rect.right, Rect.top);
        Canvas->LineTo(Rect.right, Rect.bottom);
        Canvas->LineTo(Rect.left - 1, Rect.bottom);
        InflateRect(&Rect, -1, -1);
    }
    ++Rect.bottom;
    ++Rect.right;
}

// ---------------------------------------------------------------------------------------------
// TCustomPanel
// ---------------------------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
    ControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks |
                   csReplicatable | csParentBackground;
    SetBounds(0, 0, 185, 41);
    SetColor(clBtnFace);
}

void TCustomPanel::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    if (FBorderStyle == bsSingle) {
        if (Ctl3D()) Params.ExStyle |= WS_EX_CLIENTEDGE;
        else Params.Style |= WS_BORDER;
    }
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TCustomPanel::AdjustClientRect(RECT& Rect) {
    int32_t inset = FBorderWidth;
    if (FBevelOuter != bvNone) inset += FBevelWidth;
    if (FBevelInner != bvNone) inset += FBevelWidth;
    InflateRect(&Rect, -inset, -inset);
}

void TCustomPanel::Paint() {
    TCanvas* c = Canvas();
    RECT rect = GetClientRect();
    const bool themedBackground = ThemeServices()->ThemesEnabled() && ParentBackground();
    if (FBevelOuter != bvNone) {
        TColor top = FBevelOuter == bvLowered ? clBtnShadow : clBtnHighlight;
        TColor bottom = FBevelOuter == bvLowered ? clBtnHighlight : clBtnShadow;
        Frame3D(c, rect, top, bottom, FBevelWidth);
    }
    if (themedBackground) InflateRect(&rect, -FBorderWidth, -FBorderWidth);
    else Frame3D(c, rect, FColor, FColor, FBorderWidth);
    if (FBevelInner != bvNone) {
        TColor top = FBevelInner == bvLowered ? clBtnShadow : clBtnHighlight;
        TColor bottom = FBevelInner == bvLowered ? clBtnHighlight : clBtnShadow;
        Frame3D(c, rect, top, bottom, FBevelWidth);
    }
    if (!themedBackground) {
        c->Brush()->SetColor(FColor);
        c->Brush()->SetStyle(bsSolid);
        c->FillRect(rect);
    }
    const std::wstring caption = GetText();
    if (FShowCaption && !caption.empty()) {
        c->Brush()->SetStyle(bsClear);
        c->SetFont(Font());
        UINT flags = DT_EXPANDTABS | DT_SINGLELINE | DT_VCENTER |
                     (FAlignment == taLeftJustify ? DT_LEFT : FAlignment == taRightJustify ? DT_RIGHT : DT_CENTER);
        DrawTextW(c->Handle(), caption.c_str(), (int)caption.size(), &rect, flags);
    }
}

#define KW_PANEL_SETTER(Name, Field, Type, Then) \
    void TCustomPanel::Set##Name(Type value) {   \
        if (Field == value) return;              \
        Field = value;                           \
        Then;                                    \
    }
KW_PANEL_SETTER(BevelInner, FBevelInner, TBevelCut, (Realign(), Invalidate()))
KW_PANEL_SETTER(BevelOuter, FBevelOuter, TBevelCut, (Realign(), Invalidate()))
KW_PANEL_SETTER(BevelWidth, FBevelWidth, int32_t, (Realign(), Invalidate()))
KW_PANEL_SETTER(BorderWidth, FBorderWidth, int32_t, (Realign(), Invalidate()))
KW_PANEL_SETTER(BorderStyle, FBorderStyle, TBorderStyle, RecreateWnd())
KW_PANEL_SETTER(Alignment, FAlignment, TAlignment, Invalidate())
KW_PANEL_SETTER(ShowCaption, FShowCaption, bool, Invalidate())
#undef KW_PANEL_SETTER

// ---------------------------------------------------------------------------------------------
// TBevel
// ---------------------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
    ControlStyle |= csReplicatable;
    SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape value) {
    if (FShape == value) return;
    FShape = value;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
    if (FStyle == value) return;
    FStyle = value;
    Invalidate();
}

void TBevel::Paint() {
    TCanvas* c = Canvas();
    c->Pen()->SetWidth(1);
    c->Pen()->SetStyle(psSolid);
    TColor dark = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
    TColor light = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
    const int32_t w = FWidth, h = FHeight;
    auto line = [c](TColor color, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        c->Pen()->SetColor(color);
        c->MoveTo(x1, y1);
        c->LineTo(x2, y2);
    };
    // A box: dark top and left edges, light bottom and right (the other way round when raised).
    auto box = [&](TColor topLeft, TColor bottomRight, RECT r) {
        line(topLeft, r.left, r.bottom, r.left, r.top);
        line(topLeft, r.left, r.top, r.right, r.top);
        line(bottomRight, r.right, r.top, r.right, r.bottom);
        line(bottomRight, r.right, r.bottom, r.left - 1, r.bottom);
    };
    switch (FShape) {
    case bsBox: box(dark, light, RECT{0, 0, w - 1, h - 1}); break;
    case bsFrame:
        box(light, light, RECT{1, 1, w - 1, h - 1});
        box(dark, dark, RECT{0, 0, w - 2, h - 2});
        break;
    case bsTopLine:
        line(dark, 0, 0, w, 0);
        line(light, 0, 1, w, 1);
        break;
    case bsBottomLine:
        line(dark, 0, h - 2, w, h - 2);
        line(light, 0, h - 1, w, h - 1);
        break;
    case bsLeftLine:
        line(dark, 0, 0, 0, h);
        line(light, 1, 0, 1, h);
        break;
    case bsRightLine:
        line(dark, w - 2, 0, w - 2, h);
        line(light, w - 1, 0, w - 1, h);
        break;
    case bsSpacer: break;
    }
}

// ---------------------------------------------------------------------------------------------
// TImage
// ---------------------------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(new TPicture) {
    ControlStyle |= csReplicatable;
    FPicture->OnChange = [this](TObject* s) { PictureChanged(s); };
    SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { FPicture->OnChange = nullptr; }

void TImage::PictureChanged(TObject*) {
    if (FPicture->Graphic()) FPicture->Graphic()->SetTransparent(FTransparent);
    if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
        SetBounds(FLeft, FTop, FPicture->Width(), FPicture->Height());
    Invalidate();
}

void TImage::SetStretch(bool value) {
    if (FStretch == value) return;
    FStretch = value;
    Invalidate();
}

void TImage::SetCenter(bool value) {
    if (FCenter == value) return;
    FCenter = value;
    Invalidate();
}

void TImage::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    PictureChanged(nullptr);
}

void TImage::SetAutoSize(bool value) {
    FAutoSize = value;
    if (value) PictureChanged(nullptr);
}

RECT TImage::DestRect() {
    const int32_t pw = FPicture->Width(), ph = FPicture->Height();
    if (FStretch) return RECT{0, 0, FWidth, FHeight};
    if (FCenter) {
        const int32_t x = (FWidth - pw) / 2, y = (FHeight - ph) / 2;
        return RECT{x, y, x + pw, y + ph};
    }
    return RECT{0, 0, pw, ph};
}

void TImage::Paint() {
    TGraphic* g = FPicture->Graphic();
    if (!g || g->Empty()) return;
    Canvas()->StretchDraw(DestRect(), g);
}

// ---------------------------------------------------------------------------------------------
// Timers on window messages
// ---------------------------------------------------------------------------------------------

namespace {

class TWindowTimerSource : public TTimerSource {
public:
    TTimerId StartTimer(uint32_t AIntervalMs, std::function<void()> AOnTick) override {
        if (!EnsureWindow()) return 0;
        const TTimerId id = FNext++;
        if (!SetTimer(FWindow, id, AIntervalMs < 1 ? 1 : AIntervalMs, nullptr)) return 0;
        FTimers[id] = std::move(AOnTick);
        return id;
    }
    void StopTimer(TTimerId AId) override {
        if (FTimers.erase(AId) && FWindow) KillTimer(FWindow, AId);
    }

private:
    static LRESULT CALLBACK WindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
        if (Msg == WM_TIMER) {
            auto* self = reinterpret_cast<TWindowTimerSource*>(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
            if (self) self->Tick((TTimerId)WParam);
            return 0;
        }
        return DefWindowProcW(Wnd, Msg, WParam, LParam);
    }
    void Tick(TTimerId AId) {
        auto it = FTimers.find(AId);
        if (it == FTimers.end()) return;
        const std::function<void()> tick = it->second;   // a copy: the call may stop the timer
        if (tick) tick();
    }
    bool EnsureWindow() {
        if (FWindow) return true;
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW cls{};
        cls.lpfnWndProc = WindowProc;
        cls.hInstance = instance;
        cls.lpszClassName = L"KWTimerWindow";
        RegisterClassW(&cls);
        FWindow = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return FWindow != nullptr;
    }
    HWND FWindow = nullptr;
    TTimerId FNext = 1;
    std::map<TTimerId, std::function<void()>> FTimers;
};

}  // namespace

TTimerSource* WindowTimerSource() {
    static TWindowTimerSource* source = new TWindowTimerSource();   // lives as long as the program
    return source;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
    if (FSource && FId) FSource->StopTimer(FId);
}

void TTimer::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    UpdateTimer();
}

void TTimer::SetInterval(uint32_t value) {
    if (value == FInterval) return;
    FInterval = value;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent value) {
    FOnTimer = std::move(value);
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    if (FSource && FId) FSource->StopTimer(FId);
    FSource = nullptr;
    FId = 0;
    if (!FEnabled || FInterval == 0 || !FOnTimer) return;
    if (!GetTimerSource()) SetDefaultTimerSource(WindowTimerSource());
    FSource = GetTimerSource();
    FId = FSource->StartTimer(FInterval, [this] {
        if (FOnTimer) FOnTimer(this);
    });
}
