#include "KWButton.h"

#include <vssym32.h>

#include "Forms.h"
#include "KWCanvasAttach.h"
#include "KWCommonLib.h"
#include "KWSkinEn.h"
#include "Themes.h"

TKWButton::TKWButton(TComponent* AOwner) : TButton(AOwner), FCanvas(new TCanvas) {
    KWRegisterObjectProperty(L"SkinEn", &TKWButton::SetSkinEn);
    DoubleBuffered = true;
    ControlStyle &= ~csOpaque;
    Brush()->SetStyle(bsClear);
}

TKWButton::~TKWButton() {
    if (FSkinEn) {
        FSkinEn->UnregisterClient(this);
        FSkinEn->RemoveFreeNotification(this);
    }
    FSkinEn = nullptr;
}

// An engine that goes is dropped even while skins are not allowed (when SkinEn writes are
// ignored), so that the button never keeps a freed engine.
void TKWButton::Notification(TComponent* AComponent, TOperation Operation) {
    TButton::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent != nullptr && AComponent == FSkinEn) {
        FSkinEn = nullptr;
        if (!Destroying()) Invalidate();
    }
}

bool TKWButton::SkinEnEnabled() const { return FSkinEn && FSkinEn->Loaded() && FSkinEnIsAllow; }

void TKWButton::CreateParams(TCreateParams& Params) {
    TButton::CreateParams(Params);
    Params.Style = (Params.Style & ~(DWORD)BS_TYPEMASK) | BS_OWNERDRAW;
}

// A button made as the default button starts as the default one.
void TKWButton::CreateWnd() {
    TButton::CreateWnd();
    FIsDefault = Default();
}

// The form's default-button notice: remembered and drawn; the window stays owner-drawn.
void TKWButton::SetButtonStyle(bool ADefault) {
    if (FIsDefault == ADefault) return;
    FIsDefault = ADefault;
    Invalidate();
}

void TKWButton::SetSkinEn(TKWSkinEn* AValue) {
    if (!FSkinEnIsAllow || FSkinEn == AValue) return;
    if (FSkinEn) {
        try {
            FSkinEn->UnregisterClient(this);
            FSkinEn->RemoveFreeNotification(this);
        } catch (...) {
        }
    }
    FSkinEn = AValue;
    if (FSkinEn) {
        FSkinEn->RegisterClient(this);
        FSkinEn->FreeNotification(this);
    }
    Invalidate();
}

void TKWButton::SetSkinEnIsAllow(bool AValue) {
    if (FSkinEnIsAllow == AValue) return;
    FSkinEnIsAllow = AValue;
    if (FSkinEn) Invalidate();
}

void TKWButton::SetForceHotlight(bool AValue) {
    if (FForceHotlight == AValue) return;
    FForceHotlight = AValue;
    Invalidate();
}

void TKWButton::SetShowFocusRect(bool AValue) {
    if (FShowFocusRect == AValue) return;
    FShowFocusRect = AValue;
    Invalidate();
}

int32_t TKWButton::StateNumber(UINT AItemState) const {
    if (AItemState & ODS_DISABLED) return PBS_DISABLED;
    if (AItemState & ODS_SELECTED) return PBS_PRESSED;
    if (FIsHot || FForceHotlight) return PBS_HOT;
    if (FIsDefault) return PBS_DEFAULTED;
    return PBS_NORMAL;
}

// A double click is a second press.
void TKWButton::WndProc(TMessage& Message) {
    if (Message.Msg == WM_LBUTTONDBLCLK) Message.Msg = WM_LBUTTONDOWN;
    TButton::WndProc(Message);
}

void TKWButton::CNMeasureItem(TMessage& Message) {
    auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
    item->itemWidth = (UINT)Width();
    item->itemHeight = (UINT)Height();
    Message.Result = 1;
}

void TKWButton::CNDrawItem(TMessage& Message) {
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
    {
        TKWCanvasAttach attach(FCanvas.get(), item->hDC, this);
        DrawButton(item->rcItem, item->itemState);
    }
    Message.Result = 1;
}

// Paints into a given context (double buffering, PaintTo, printing) are drawn here directly: the
// system's button would pass its client rectangle as device coordinates and clip the drawing
// away wherever the context's origin has been moved.
void TKWButton::PaintInto(HDC ADC) {
    UINT state = 0;
    if (HandleAllocated()) {
        if (SendMessageW(FHandle, BM_GETSTATE, 0, 0) & BST_PUSHED) state |= ODS_SELECTED;
        if (GetFocus() == FHandle) state |= ODS_FOCUS;
    }
    if (!Enabled()) state |= ODS_DISABLED;
    TKWCanvasAttach attach(FCanvas.get(), ADC, this);
    DrawButton(GetClientRect(), state);
}

void TKWButton::WMPaint(TMessage& Message) {
    if (Message.WParam) PaintInto((HDC)Message.WParam);
    else TButton::WMPaint(Message);
}

void TKWButton::WMPrintClient(TMessage& Message) { PaintInto((HDC)Message.WParam); }

void TKWButton::CMMouseEnter(TMessage& Message) {
    TButton::CMMouseEnter(Message);
    if (!FIsHot) {
        FIsHot = true;
        Invalidate();
    }
}

void TKWButton::CMMouseLeave(TMessage& Message) {
    TButton::CMMouseLeave(Message);
    if (FIsHot) {
        FIsHot = false;
        Invalidate();
    }
}

void TKWButton::CMEnabledChanged(TMessage& Message) {
    TButton::CMEnabledChanged(Message);
    Invalidate();
}

void TKWButton::CMFontChanged(TMessage& Message) {
    TButton::CMFontChanged(Message);
    Invalidate();
}

void TKWButton::WMEraseBkgnd(TMessage& Message) {
    if (SkinEnEnabled()) {
        Message.Result = 1;
        return;
    }
    TButton::WMEraseBkgnd(Message);
}

// Skinned when an engine with a loaded skin is attached; a skin that cannot draw the part leaves
// the button to the themed or classic look rather than blank.
void TKWButton::DrawButton(const RECT& ARect, UINT AItemState) {
    if (SkinEnEnabled() && DrawSkinned(ARect, AItemState)) return;
    if (DrawThemed(ARect, AItemState)) return;
    DrawClassic(ARect, AItemState);
}

bool TKWButton::DrawSkinned(const RECT& ARect, UINT AItemState) {
    const int32_t state = StateNumber(AItemState);
    RECT content;
    if (!FSkinEn->DrawPart(FCanvas.get(), smpPushButton, state, ARect, content)) return false;
    FSkinEn->DrawText(FCanvas.get(), smpPushButton, state, Caption(), ARect, CaptionAntialias);
    if (FIsDefault && (AItemState & ODS_FOCUS) && FShowFocusRect) FCanvas->DrawFocusRect(content);
    return true;
}

bool TKWButton::DrawThemed(const RECT& ARect, UINT AItemState) {
    TThemeServices* themes = ThemeServices();
    if (!themes->ThemesEnabled()) return false;
    HTHEME theme = themes->OpenThemeData(Application->Handle(), L"BUTTON");
    if (!theme) return false;
    const int32_t state = StateNumber(AItemState);
    HDC dc = FCanvas->Handle();
    themes->DrawThemeBackground(theme, dc, BP_PUSHBUTTON, state, ARect);
    const std::wstring caption = Caption();
    FCanvas->TextExtent(L"");   // the canvas's font goes into the context
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, (COLORREF)ColorToRGB(clBtnText));
    themes->DrawThemeText(theme, dc, BP_PUSHBUTTON, state, caption.c_str(), (int)caption.size(),
                          DT_CENTER | DT_VCENTER | DT_SINGLELINE, ARect);
    if (FIsDefault && (AItemState & ODS_FOCUS) && FShowFocusRect) {
        RECT focus = ARect;
        InflateRect(&focus, -3, -3);
        FCanvas->DrawFocusRect(focus);
    }
    themes->CloseThemeData(theme);
    return true;
}

void TKWButton::DrawClassic(const RECT& ARect, UINT AItemState) {
    const bool pressed = (AItemState & ODS_SELECTED) != 0, focused = (AItemState & ODS_FOCUS) != 0;
    const bool disabled = (AItemState & ODS_DISABLED) != 0;
    HDC dc = FCanvas->Handle();
    RECT r = ARect;
    if (FIsDefault || focused) {
        FCanvas->Brush()->SetStyle(bsSolid);
        FCanvas->Brush()->SetColor(clWindowFrame);
        FCanvas->FrameRect(r);
        InflateRect(&r, -1, -1);
    }
    if (pressed) {
        FCanvas->Pen()->SetColor(clBtnShadow);
        FCanvas->Brush()->SetStyle(bsSolid);
        FCanvas->Brush()->SetColor(clBtnFace);
        FCanvas->Rectangle(r);
        InflateRect(&r, -1, -1);
        OffsetRect(&r, 1, 1);
    } else {
        FCanvas->Refresh();
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (disabled ? DFCS_INACTIVE : 0));
    }
    const std::wstring caption = Caption();
    FCanvas->Brush()->SetStyle(bsClear);
    FCanvas->Font()->SetColor(clBtnText);
    const SIZE size = FCanvas->TextExtent(caption);   // also puts the font into the context
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, (COLORREF)ColorToRGB(clBtnText));
    if (disabled) {
        const int32_t x = (r.right - r.left - size.cx) / 2, y = (r.bottom - r.top - size.cy) / 2;
        DrawStateW(dc, nullptr, nullptr, (LPARAM)caption.c_str(), (WPARAM)caption.size(), x, y, 0, 0,
                   DST_TEXT | DSS_DISABLED);
    } else {
        DrawTextW(dc, caption.c_str(), (int)caption.size(), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }
    if (FIsDefault && focused && FShowFocusRect) {
        RECT focus = ARect;
        InflateRect(&focus, -4, -4);
        FCanvas->DrawFocusRect(focus);
    }
}
