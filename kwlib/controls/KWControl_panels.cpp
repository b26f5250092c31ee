// KWControl: panels, the enabled-state helper and the gradient routine.
#include <algorithm>
#include <cstdlib>

#include "KWCommonLib_controls.h"
#include "KWControl.h"
#include "KWSharePicture.h"
#include "Themes.h"

#include <shellapi.h>

void KWSetChildrenEnabled(TWinControl* AControl) {
    if (!AControl) return;
    const bool enabled = AControl->Enabled();
    for (int32_t i = 0; i < AControl->ControlCount(); ++i) AControl->Controls(i)->SetEnabled(enabled);
}

// ---------------------------------------------------------------------------------------------
// Gradient routine
// ---------------------------------------------------------------------------------------------

namespace {

struct TRGBParts {
    int64_t R, G, B;
};

TRGBParts SplitColor(TColor AColor) {
    const uint32_t c = (uint32_t)ColorToRGB(AColor);
    return TRGBParts{(int64_t)(c & 0xFF), (int64_t)((c >> 8) & 0xFF), (int64_t)((c >> 16) & 0xFF)};
}

// from + AStep x (to - from) / ASteps for each channel, truncating, the bytes wrapping.
COLORREF StepColor(const TRGBParts& AFrom, const TRGBParts& ATo, int64_t AStep, int64_t ASteps) {
    const uint8_t r = (uint8_t)(AFrom.R + AStep * (ATo.R - AFrom.R) / ASteps);
    const uint8_t g = (uint8_t)(AFrom.G + AStep * (ATo.G - AFrom.G) / ASteps);
    const uint8_t b = (uint8_t)(AFrom.B + AStep * (ATo.B - AFrom.B) / ASteps);
    return RGB(r, g, b);
}

void FillSolid(HDC ADC, const RECT& ARect, COLORREF AColor) {
    if (ARect.right <= ARect.left || ARect.bottom <= ARect.top) return;
    HBRUSH brush = CreateSolidBrush(AColor);
    FillRect(ADC, &ARect, brush);
    DeleteObject(brush);
}

}  // namespace

void KWGradientFill(TCanvas* ACanvas, const RECT& ARect, TColor AFromColor, TColor AToColor, int32_t AKind) {
    if (!ACanvas) return;
    HDC dc = ACanvas->Handle();
    if (!dc) return;
    const TRGBParts from = SplitColor(AFromColor), to = SplitColor(AToColor);
    const int64_t w = ARect.right - ARect.left, h = ARect.bottom - ARect.top;
    switch (AKind) {
    case 0:
    case 1:
        for (int64_t k = 0; k < 256; ++k) {
            RECT r = ARect;
            if (AKind == 0) {
                r.left = (LONG)(ARect.left + k * w / 256);
                r.right = (LONG)(ARect.left + (k + 1) * w / 256);
            } else {
                r.top = (LONG)(ARect.top + k * h / 256);
                r.bottom = (LONG)(ARect.top + (k + 1) * h / 256);
            }
            FillSolid(dc, r, StepColor(from, to, k, 255));
        }
        break;
    case 2: {
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, ARect.left, ARect.top, ARect.right, ARect.bottom);
        RECT outer = ARect;
        InflateRect(&outer, (int)(w / 3), (int)(h / 3));
        const int64_t ow = outer.right - outer.left, oh = outer.bottom - outer.top;
        SelectObject(dc, GetStockObject(NULL_PEN));
        for (int64_t k = 0; k <= 50; ++k) {
            HBRUSH brush = CreateSolidBrush(StepColor(from, to, k, 50));
            HGDIOBJ old = SelectObject(dc, brush);
            const LONG dx = (LONG)(k * ow / 2 / 51), dy = (LONG)(k * oh / 2 / 51);
            Ellipse(dc, outer.left + dx, outer.top + dy, outer.right - dx + 1, outer.bottom - dy + 1);
            SelectObject(dc, old);
            DeleteObject(brush);
        }
        RestoreDC(dc, saved);
        break;
    }
    case 3: {
        const long double sx = (long double)w / 2 / 255, sy = (long double)h / 2 / 255;
        for (int64_t k = 0; k < 256; ++k) {
            RECT r{(LONG)(ARect.left + (int64_t)(k * sx)), (LONG)(ARect.top + (int64_t)(k * sy)),
                   (LONG)(ARect.right - (int64_t)(k * sx)), (LONG)(ARect.bottom - (int64_t)(k * sy))};
            FillSolid(dc, r, StepColor(from, to, k, 255));
        }
        break;
    }
    case 4:
    case 5: {
        const int64_t half = (AKind == 4 ? h : w) / 2 + (AKind == 4 ? h : w) % 2;
        for (int64_t k = 0; k < 256; ++k) {
            const int64_t a = k * half / 256, b = (k + 1) * half / 256;
            const COLORREF c = StepColor(from, to, k, 255);
            if (AKind == 4) {
                FillSolid(dc, RECT{ARect.left, (LONG)(ARect.top + a), ARect.right, (LONG)(ARect.top + b)}, c);
                FillSolid(dc, RECT{ARect.left, (LONG)(ARect.bottom - b), ARect.right, (LONG)(ARect.bottom - a)}, c);
            } else {
                FillSolid(dc, RECT{(LONG)(ARect.left + a), ARect.top, (LONG)(ARect.left + b), ARect.bottom}, c);
                FillSolid(dc, RECT{(LONG)(ARect.right - b), ARect.top, (LONG)(ARect.right - a), ARect.bottom}, c);
            }
        }
        break;
    }
    default: break;
    }
}

// ---------------------------------------------------------------------------------------------
// TKWCustomPanel
// ---------------------------------------------------------------------------------------------

void TKWCustomPanel::SetChildControlEnabled(bool AValue) {
    if (FChildControlEnabled == AValue) return;
    FChildControlEnabled = AValue;
    if (AValue) KWSetChildrenEnabled(this);
}

void TKWCustomPanel::CMEnabledChanged(TMessage& Message) {
    TCustomPanel::CMEnabledChanged(Message);
    if (FChildControlEnabled) KWSetChildrenEnabled(this);
    Invalidate();
}

// ---------------------------------------------------------------------------------------------
// TKWPanel
// ---------------------------------------------------------------------------------------------

TKWPanel::TKWPanel(TComponent* AOwner) : TKWCustomPanel(AOwner), FBackGround(new TPicture) {
    FBackGround->OnChange = [this](TObject* s) { BackGroundChanged(s); };
    SetCaption(L"");
    SetBevelOuter(bvNone);
}

TKWPanel::~TKWPanel() {
    if (FSharePicture) {
        FSharePicture->UnregisterClient(this);
        FSharePicture->RemoveFreeNotification(this);
        FSharePicture = nullptr;
    }
    FBackGround->OnChange = nullptr;
    FSnapshot.reset();
}

void TKWPanel::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent == FSharePicture) FSharePicture = nullptr;
    TKWCustomPanel::Notification(AComponent, Operation);
}

void TKWPanel::Invalidate() {
    if (HandleAllocated()) KWInvalidateControlsBelow(this, true);
    TKWCustomPanel::Invalidate();
    for (int32_t i = ControlCount() - 1; i >= 0; --i) KWInvalidateControl(Controls(i), true);
}

void TKWPanel::SetColor(TColor AValue) {
    if (Color() == AValue) return;
    TKWCustomPanel::SetColor(AValue);
    FUseTheme = false;
    Invalidate();
}

void TKWPanel::SetUseTheme(bool AValue) {
    if (FUseTheme == AValue) return;
    FUseTheme = AValue;
    Invalidate();
}

void TKWPanel::SetTransparent(bool AValue) {
    if (FTransparent == AValue) return;
    FTransparent = AValue;
    if (!AValue) {
        ControlStyle |= csOpaque;
        Brush()->SetStyle(bsSolid);
    }
    RecreateWnd();
    Invalidate();
}

void TKWPanel::SetChameleon(bool AValue) {
    if (FChameleon == AValue) return;
    FChameleon = AValue;
    Invalidate();
}

void TKWPanel::SetBackGround(const TPicture* AValue) {
    FBackGround->Assign(AValue);
    if (TGraphic* g = FBackGround->Graphic()) g->SetTransparent(true);
    Invalidate();
}

void TKWPanel::BackGroundChanged(TObject*) { Invalidate(); }

void TKWPanel::SetKWSharePicture(TKWSharePicture* AValue) {
    if (FSharePicture == AValue) return;
    if (FSharePicture) {
        FSharePicture->UnregisterClient(this);
        FSharePicture->RemoveFreeNotification(this);
    }
    FSharePicture = AValue;
    if (FSharePicture) {
        FSharePicture->RegisterClient(this);
        FSharePicture->FreeNotification(this);
    }
    Invalidate();
}

void TKWPanel::SetImageIDforBackGround(const std::wstring& AValue) {
    if (FImageID == AValue) return;
    FImageID = AValue;
    Invalidate();
}

bool TKWPanel::BackGroundEnabled() const {
    if (FBackGround->Graphic()) return true;
    return FSharePicture && FSharePicture->Pictures()->HasPicture(FImageID);
}

void TKWPanel::SetBackGroundStretch(bool AValue) {
    if (FBackGroundStretch == AValue) return;
    FBackGroundStretch = AValue;
    Invalidate();
}

void TKWPanel::SetBackGroundOffSetX(int32_t AValue) {
    if (FOffsetX == AValue) return;
    FOffsetX = AValue;
    Invalidate();
}

void TKWPanel::SetBackGroundOffSetY(int32_t AValue) {
    if (FOffsetY == AValue) return;
    FOffsetY = AValue;
    Invalidate();
}

void TKWPanel::SetGActive(bool AValue) {
    FGActive = AValue;
    Invalidate();
}

void TKWPanel::SetGColor1(TColor AValue) {
    FGColor1 = AValue;
    Invalidate();
}

void TKWPanel::SetGColor2(TColor AValue) {
    FGColor2 = AValue;
    Invalidate();
}

void TKWPanel::SetGColor3(TColor AValue) {
    FGColor3 = AValue;
    Invalidate();
}

void TKWPanel::SetGVertical(bool AValue) {
    FGVertical = AValue;
    Invalidate();
}

void TKWPanel::SetGPercent(int32_t AValue) {
    FGPercent = std::clamp<int32_t>(AValue, 1, 100);
    Invalidate();
}

void TKWPanel::SetSelfBorderWidth(TBorderPart APart, int32_t AValue) {
    FBorderWidth[APart] = AValue;
    Invalidate();
}

void TKWPanel::SetSelfBorderColor(TBorderPart APart, TColor AValue) {
    FBorderColor[APart] = AValue;
    Invalidate();
}

void TKWPanel::SetSelfBorderForceSolid(TBorderPart APart, bool AValue) {
    FForceSolid[APart] = AValue;
    Invalidate();
}

void TKWPanel::SetAllowDropFile(bool AValue) {
    if (FAllowDropFile == AValue) return;
    FAllowDropFile = AValue;
    if (HandleAllocated()) DragAcceptFiles(FHandle, AValue ? TRUE : FALSE);
}

void TKWPanel::CreateParams(TCreateParams& Params) {
    TKWCustomPanel::CreateParams(Params);
    if (FTransparent) {
        Params.ExStyle |= WS_EX_TRANSPARENT;
        ControlStyle &= ~csOpaque;
        Brush()->SetStyle(bsClear);
    }
}

void TKWPanel::CreateWnd() {
    TKWCustomPanel::CreateWnd();
    if (FAllowDropFile) DragAcceptFiles(FHandle, TRUE);
}

void TKWPanel::Paint() {
    TKWCustomPanel::Paint();
    TCanvas* c = Canvas();
    if (!FTransparent && !FChameleon && !FGActive && !FUseTheme) {
        c->Pen()->SetStyle(psSolid);
        c->Pen()->SetColor(Color());
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(Color());
        c->Rectangle(0, 0, Width(), Height());
    }
    if (FGActive) {
        PaintGradient();
    } else if (FChameleon && FSnapshot) {
        c->Draw(0, 0, FSnapshot.get());
    }
    if (BackGroundEnabled()) {
        TGraphic* g = nullptr;
        if (FSharePicture && FSharePicture->Pictures()->HasPicture(FImageID))
            g = FSharePicture->Pictures()->FindPicture(FImageID)->Graphic();
        else
            g = FBackGround->Graphic();
        if (g) {
            if (FBackGroundStretch) c->StretchDraw(RECT{0, 0, Width(), Height()}, g);
            else c->Draw(FOffsetX, FOffsetY, g);
        }
    }
    PaintBorders();
}

// The gradient is drawn with GColor1 as its first colour; Color itself is left alone, so that
// the panel's theme switch keeps its state.
void TKWPanel::PaintGradient() {
    RECT area = GetClientRect();
    int32_t b = 0;
    if (BevelInner() == bvLowered || BevelInner() == bvRaised) b += BevelWidth();
    if (BevelOuter() == bvLowered || BevelOuter() == bvRaised) b += BevelWidth();
    InflateRect(&area, -b, -b);
    const int32_t length = FGVertical ? area.bottom - area.top : area.right - area.left;
    if (FGPercent >= 100) {
        PaintGradientPart(area, FGVertical, 0, length, FGColor1, FGColor2);
        return;
    }
    const int32_t p = std::max<int32_t>(1, length * FGPercent / 100);
    PaintGradientPart(area, FGVertical, 0, p, FGColor1, FGColor2);
    PaintGradientPart(area, FGVertical, p, length - p, FGColor2, FGColor3);
}

void TKWPanel::PaintGradientPart(const RECT& AArea, bool AVertical, int32_t AStart, int32_t ALength, TColor AColor1,
                                 TColor AColor2) {
    if (ALength <= 0 || AColor1 == AColor2) return;
    const uint32_t c1 = (uint32_t)ColorToRGB(AColor1), c2 = (uint32_t)ColorToRGB(AColor2);
    if ((c1 & 0xFFFFFF) == (c2 & 0xFFFFFF)) return;
    const int32_t r1 = c1 & 0xFF, g1 = (c1 >> 8) & 0xFF, b1 = (c1 >> 16) & 0xFF;
    const int32_t r2 = c2 & 0xFF, g2 = (c2 >> 8) & 0xFF, b2 = (c2 >> 16) & 0xFF;
    const int32_t m = std::max({std::abs(r2 - r1), std::abs(g2 - g1), std::abs(b2 - b1)});
    const int32_t q = m >= ALength ? 1 : (ALength + m - 1) / m;
    const int32_t n = ALength / q;
    HDC dc = Canvas()->Handle();
    for (int32_t k = 0; k <= n; ++k) {
        const int32_t from = k * q;
        if (from >= ALength) break;
        const int32_t to = std::min(ALength, (k + 1) * q);
        const uint8_t r = (uint8_t)(r1 + ((r2 - r1) * 100 / n * k) / 100);
        const uint8_t g = (uint8_t)(g1 + ((g2 - g1) * 100 / n * k) / 100);
        const uint8_t bl = (uint8_t)(b1 + ((b2 - b1) * 100 / n * k) / 100);
        RECT band = AArea;
        if (AVertical) {
            band.top = AArea.top + AStart + from;
            band.bottom = AArea.top + AStart + to;
        } else {
            band.left = AArea.left + AStart + from;
            band.right = AArea.left + AStart + to;
        }
        FillSolid(dc, band, RGB(r, g, bl));
    }
}

void TKWPanel::PaintBorders() {
    for (int32_t& w : FBorderWidth)
        if (w < 0) w = 0;
    if (std::all_of(std::begin(FBorderWidth), std::end(FBorderWidth), [](int32_t w) { return w == 0; })) return;
    TCanvas* c = Canvas();
    const TColor oldBrushColor = c->Brush()->Color();
    const TBrushStyle oldBrushStyle = c->Brush()->Style();
    const int32_t W = Width(), H = Height();
    int32_t s = 0;
    for (TBorderPart frame : {bpOuter, bpInner}) {
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(FBorderColor[frame]);
        for (int32_t k = 0; k < FBorderWidth[frame]; ++k) c->FrameRect(RECT{s + k, s + k, W - s - k, H - s - k});
        s += FBorderWidth[frame];
    }
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetWidth(1);
    auto line = [c](TColor color, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        c->Pen()->SetColor(color);
        c->MoveTo(x1, y1);
        c->LineTo(x2, y2);
    };
    for (int32_t k = 0; k < FBorderWidth[bpTop]; ++k) {
        const int32_t d = s + k;
        if (FForceSolid[bpTop]) line(FBorderColor[bpTop], s, d, W - s - 1, d);
        else line(FBorderColor[bpTop], d, d, W - d - 1, d);
    }
    for (int32_t k = 0; k < FBorderWidth[bpBottom]; ++k) {
        const int32_t d = s + k;
        if (FForceSolid[bpBottom]) line(FBorderColor[bpBottom], s, H - d - 1, W - s, H - d - 1);
        else line(FBorderColor[bpBottom], d, H - d - 1, W - d, H - d - 1);
    }
    for (int32_t k = 0; k < FBorderWidth[bpLeft]; ++k) {
        const int32_t d = s + k;
        if (FForceSolid[bpLeft]) line(FBorderColor[bpLeft], d, s, d, H - s);
        else line(FBorderColor[bpLeft], d, d, d, H - d);
    }
    for (int32_t k = 0; k < FBorderWidth[bpRight]; ++k) {
        const int32_t d = s + k;
        if (FForceSolid[bpRight]) line(FBorderColor[bpRight], W - d - 1, s, W - d - 1, H - s);
        else line(FBorderColor[bpRight], W - d - 1, d, W - d - 1, H - d);
    }
    c->Brush()->SetColor(oldBrushColor);
    c->Brush()->SetStyle(oldBrushStyle);
}

void TKWPanel::CMVisibleChanging(TMessage& Message) {
    TKWCustomPanel::CMVisibleChanging(Message);
    if (!FChameleon || !Parent()) return;
    FSnapshot.reset();
    if (!Message.WParam || Width() <= 0 || Height() <= 0) return;
    std::unique_ptr<TBitmap> snapshot(new TBitmap);
    snapshot->SetSize(Width(), Height());
    snapshot->Canvas()->Brush()->SetColor(Brush()->Color());
    snapshot->Canvas()->FillRect(RECT{0, 0, Width(), Height()});
    if (Parent()->HandleAllocated()) {
        HWND parent = Parent()->Handle();
        HDC dc = GetDC(parent);
        if (dc) {
            BitBlt(snapshot->Canvas()->Handle(), 0, 0, Width(), Height(), dc, Left(), Top(), SRCCOPY);
            ReleaseDC(parent, dc);
        }
    }
    FSnapshot = std::move(snapshot);
}

void TKWPanel::WMEraseBkgnd(TMessage& Message) {
    if (FTransparent || BackGroundEnabled() || DisableEraseBkGnd) {
        Message.Result = 0;
        return;
    }
    TKWCustomPanel::WMEraseBkgnd(Message);
}

void TKWPanel::WMNCHitTest(TMessage& Message) {
    TKWCustomPanel::WMNCHitTest(Message);
    if (OnNCHitTest) OnNCHitTest(this, Message);
}

void TKWPanel::WMMove(TMessage& Message) {
    if (FTransparent) {
        if (HandleAllocated()) InvalidateRect(FHandle, nullptr, TRUE);
        Message.Result = 0;
        return;
    }
    TKWCustomPanel::WMMove(Message);
}

void TKWPanel::WMDropFiles(TMessage& Message) {
    HDROP drop = (HDROP)Message.WParam;
    std::vector<std::wstring> files;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t buffer[MAX_PATH] = {};
        DragQueryFileW(drop, i, buffer, MAX_PATH);
        files.emplace_back(buffer);
    }
    DragFinish(drop);
    Message.Result = 0;
    if (OnDropFile) OnDropFile(this, files);
}
