// The drawing helpers of the views and dialogs over the visual layer: shadow bands, the dialog
// backgrounds drawn into system bitmaps, the dimming outside a crop rectangle, the scroll-bar
// calls, the views' text boxes and the DrawDib wrappers.
#include <algorithm>
#include <cmath>
#include <vector>

#include "Graphics.h"
#include "WinApi.h"

#include <commctrl.h>
#include <vfw.h>
#include "iebitmap.h"
#include "iecoreutils_draw.h"
#include "iecoreutils_vcl.h"
#include "iegdiplus_canvas.h"

namespace {

// One pixel of a shadow band: in the 24-bit bitmap when it lies there, else on the surface.
class TShadowTarget {
public:
    TShadowTarget(TCanvas* Canvas, TBitmap* Bitmap) : FCanvas(Canvas), FBitmap(Bitmap) {
        if (FBitmap && FBitmap->BitCount() != 24) FBitmap = nullptr;
    }
    void Scale(int32_t X, int32_t Y, double Factor) {
        if (InBitmap(X, Y)) {
            uint8_t* p = static_cast<uint8_t*>(FBitmap->ScanLine(Y)) + 3 * (size_t)X;
            for (int i = 0; i < 3; ++i) p[i] = (uint8_t)Trunc(p[i] * (long double)Factor);
        } else if (FCanvas) {
            const COLORREF c = GetPixel(FCanvas->Handle(), X, Y);
            if (c == CLR_INVALID) return;
            SetPixel(FCanvas->Handle(), X, Y,
                     RGB((uint8_t)Trunc(GetRValue(c) * (long double)Factor), (uint8_t)Trunc(GetGValue(c) * (long double)Factor),
                         (uint8_t)Trunc(GetBValue(c) * (long double)Factor)));
        }
    }
    void Put(int32_t X, int32_t Y, uint8_t Grey) {
        if (InBitmap(X, Y)) {
            uint8_t* p = static_cast<uint8_t*>(FBitmap->ScanLine(Y)) + 3 * (size_t)X;
            p[0] = p[1] = p[2] = Grey;
        } else if (FCanvas) {
            SetPixel(FCanvas->Handle(), X, Y, RGB(Grey, Grey, Grey));
        }
    }

private:
    bool InBitmap(int32_t X, int32_t Y) const {
        return FBitmap && X >= 0 && Y >= 0 && X < FBitmap->Width() && Y < FBitmap->Height();
    }
    TCanvas* FCanvas;
    TBitmap* FBitmap;
};

inline double ShadowFactor(double R) { return std::exp(-0.1 - R * R / 6); }

uint8_t RampGrey(long double V) { return (uint8_t)std::max<int64_t>(0, std::min<int64_t>(255, Trunc(V))); }

// Runs Body over a 24-bit system bitmap wrapped as an image buffer (rows shared, not copied).
template <class TBody>
void WithBitmapPixels(TBitmap* Bitmap, TBody Body) {
    TIEBitmap wrapper;
    wrapper.EncapsulateTBitmap(Bitmap, true);
    if (wrapper.GetPixelFormat() == ie24RGB) Body(&wrapper);
}

}   // namespace

void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       uint8_t Kind, TColor) {
    const int32_t w = X2 - X1 + 1;
    if (w <= 0) return;
    if (Kind == 1) {
        if (Canvas) Canvas->FillRect(RECT{X1, Y1 + w, X2, Y2 + 1});
        return;
    }
    TShadowTarget target(Canvas, Bitmap);
    if (Kind == 2) {
        const double s = w / 3.0;
        for (int32_t f = 0; f < w; ++f) {
            const double factor = ShadowFactor((w - f) / s);
            for (int32_t y = Y1 + w; y <= Y2 + f - w + 3; ++y) target.Scale(X1 + f, y, factor);
        }
    } else if (Kind == 3) {
        const int32_t H = Y2 - Y1 + 1;
        if (H <= 0) return;
        for (int32_t i = 0; i <= H; ++i) {
            const uint8_t level = RampGrey(std::exp((long double)(H - 3 * i) / H) / std::exp(1.0L) * 255);
            const int32_t start = std::max(0, i - (H - w + 1));
            for (int32_t j = start; j <= w; ++j)
                target.Put(X1 + j, Y1 + i, std::max(level, RampGrey(std::exp((long double)j / w) / std::exp(1.0L) * 255)));
        }
    }
}

void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        uint8_t Kind, TColor) {
    const int32_t h = Y2 - Y1 + 1;
    if (h <= 0) return;
    if (Kind == 1) {
        if (Canvas) Canvas->FillRect(RECT{X1 + h, Y1, X2 + 1, Y2});
        return;
    }
    TShadowTarget target(Canvas, Bitmap);
    if (Kind == 2) {
        const double s = h / 3.0;
        for (int32_t c = 0; c < h; ++c) {
            const double factor = ShadowFactor((h - c) / s);
            for (int32_t x = X1 + h; x <= X2 + c - h + 1; ++x) target.Scale(x, Y1 + c, factor);
        }
    } else if (Kind == 3) {
        const int32_t W = X2 - X1 + 1;
        if (W <= 0) return;
        for (int32_t i = 0; i <= W; ++i) {
            const uint8_t level = RampGrey(std::exp((long double)(W - 3 * i) / W) / std::exp(1.0L) * 255);
            const int32_t start = std::max(0, i - (W - h + 1));
            for (int32_t j = start; j <= h; ++j)
                target.Put(X1 + i, Y1 + j, std::max(level, RampGrey(std::exp((long double)j / h) / std::exp(1.0L) * 255)));
        }
    }
}

void IEDrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor) {
    if (!Bitmap) return;
    WithBitmapPixels(Bitmap, [&](TIEBitmap* B) { IEApplySoftShadow(B, X1, Y1, X2, Y2); });
}

void IEDrawStripes(TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (!Bitmap) return;
    Bitmap->SetPixelFormat(pf24bit);
    Bitmap->SetSize(Width, Height);
    WithBitmapPixels(Bitmap, [](TIEBitmap* B) { IEFillStripes(B); });
}

void IEDrawBrushedMetal(TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (!Bitmap) return;
    Bitmap->SetPixelFormat(pf24bit);
    Bitmap->SetSize(Width, Height);
    WithBitmapPixels(Bitmap, [](TIEBitmap* B) { IEFillBrushedMetal(B); });
}

void IEDimOutside(TCanvas* Canvas, int32_t OuterX, int32_t OuterY, int32_t OuterWidth, int32_t OuterHeight,
                  int32_t InnerX1, int32_t InnerY1, int32_t InnerX2, int32_t InnerY2) {
    if (!Canvas || InnerX1 >= InnerX2 || InnerY1 >= InnerY2) return;
    // Black at alpha 150: a one-pixel black bitmap stretched over each rectangle with that constant
    // alpha (the canvas wrapper keeps a brush alpha but paints opaque).
    uint32_t black = 0;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = Canvas->Handle();
    HBITMAP one = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!one) return;
    *static_cast<uint32_t*>(bits) = black;
    HDC memDC = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memDC, one);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 150, 0};
    const int32_t B = OuterY + OuterHeight + 1;
    const RECT parts[4] = {{OuterX, OuterY, InnerX1 + 2, B},
                           {InnerX2, OuterY, OuterX + OuterWidth + 1, B},
                           {InnerX1 + 1, OuterY, InnerX2 + 1, InnerY1 + 2},
                           {InnerX1 + 1, InnerY2 + 1, InnerX2 + 1, B}};
    for (const RECT& r : parts)
        if (r.right > r.left && r.bottom > r.top)
            AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, memDC, 0, 0, 1, 1, blend);
    SelectObject(memDC, old);
    DeleteDC(memDC);
    DeleteObject(one);
}

// ---- Scroll bars ----------------------------------------------------------------------------

namespace {

// The flat scroll-bar entries of the common controls, found by name when first asked for: not
// every import library of the cross compilers lists them. Absent entries leave the plain
// scroll-bar calls to do the work.
struct TFlatScrollBarApi {
    using TSetInfo = int(WINAPI*)(HWND, int, LPSCROLLINFO, BOOL);
    using TEnable = BOOL(WINAPI*)(HWND, int, UINT);
    using TShow = BOOL(WINAPI*)(HWND, int, BOOL);
    TSetInfo SetInfo = nullptr;
    TEnable Enable = nullptr;
    TShow Show = nullptr;
};

const TFlatScrollBarApi& FlatScrollBars() {
    static const TFlatScrollBarApi api = [] {
        TFlatScrollBarApi a;
        HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
        if (!comctl) comctl = LoadLibraryW(L"comctl32.dll");
        if (comctl) {
            a.SetInfo = reinterpret_cast<TFlatScrollBarApi::TSetInfo>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "FlatSB_SetScrollInfo")));
            a.Enable = reinterpret_cast<TFlatScrollBarApi::TEnable>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "FlatSB_EnableScrollBar")));
            a.Show = reinterpret_cast<TFlatScrollBarApi::TShow>(
                reinterpret_cast<void*>(GetProcAddress(comctl, "FlatSB_ShowScrollBar")));
        }
        return a;
    }();
    return api;
}

}  // namespace

void IESetScrollInfo(HWND Handle, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool Flat) {
    SCROLLINFO info = Info;
    if (Flat && FlatScrollBars().SetInfo) FlatScrollBars().SetInfo(Handle, Bar, &info, Redraw);
    else SetScrollInfo(Handle, Bar, &info, Redraw);
}

void IESetScrollParams(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                       bool Flat) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = Min;
    info.nMax = Max;
    info.nPage = (UINT)Page;
    info.nPos = Pos;
    IESetScrollInfo(Handle, Bar, info, Redraw, Flat);
}

void IESetScrollRange(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    info.nMin = Min;
    info.nMax = Max;
    IESetScrollInfo(Handle, Bar, info, Redraw, Flat);
}

void IESetScrollPos(HWND Handle, int32_t Bar, int32_t Pos, bool Redraw, bool Flat) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = Pos;
    IESetScrollInfo(Handle, Bar, info, Redraw, Flat);
}

void IEEnableScrollBar(HWND Handle, int32_t Bar, uint32_t Arrows, bool Flat) {
    if (Flat && FlatScrollBars().Enable) FlatScrollBars().Enable(Handle, Bar, Arrows);
    else EnableScrollBar(Handle, (UINT)Bar, Arrows);
}

void IEShowScrollBar(HWND Handle, int32_t Bar, bool Show, bool Flat) {
    if (Flat && FlatScrollBars().Show) FlatScrollBars().Show(Handle, Bar, Show);
    else ShowScrollBar(Handle, Bar, Show);
}

// ---- Text boxes -----------------------------------------------------------------------------

void IEDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::wstring& Text, TFont* Font, TBrush* Brush,
                   TBitmap* Saved, int32_t ClientWidth, int32_t ClientHeight, TColor TopLeftColor,
                   TColor BottomRightColor) {
    if (!Canvas) return;
    if (Font) Canvas->SetFont(Font);
    if (Brush) Canvas->SetBrush(Brush);
    const int32_t w = Canvas->TextWidth(Text) + 12, h = Canvas->TextHeight(Text) + 12;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    X = std::min(X, ClientWidth - w - 1);
    Y = std::min(Y, ClientHeight - h - 1);
    if (Saved) {
        Saved->SetPixelFormat(pf24bit);
        Saved->SetSize(w, h);
        BitBlt(Saved->Canvas()->Handle(), 0, 0, w, h, Canvas->Handle(), X, Y, SRCCOPY);
    }
    Canvas->FillRect(RECT{X + 6, Y + 6, X + w, Y + h});
    IEDraw3DFrame(*Canvas, X + 6, Y + 6, X + w - 1, Y + h - 1, TopLeftColor, BottomRightColor);
    Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawInfoBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::wstring& Text, const std::wstring& WidthText) {
    if (!Canvas) return;
    TIECanvas canvas(*Canvas, true, true);
    TFont* font = canvas.GetFont();
    font->SetName(L"Arial");
    font->SetSize(9);
    font->SetColor(clBlack);
    canvas.GetBrush().SetColor(0x60FFFF);
    canvas.GetBrush().SetStyle(bsSolid);
    canvas.GetBrush().SetAlpha(128);
    const int32_t w = std::max(canvas.TextWidth(WidthText) + 12, canvas.TextWidth(Text) + 12);
    const int32_t h = canvas.TextHeight(Text) + 12;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    canvas.FillRect(X + 6, Y + 6, X + w, Y + h);
    IEDraw3DFrameIE(canvas, X + 6, Y + 6, X + w - 1, Y + h - 1, clWhite, 0x808080);
    canvas.GetBrush().SetStyle(bsClear);
    canvas.TextOut(X + 9, Y + 9, Text);
}

// ---- DrawDib --------------------------------------------------------------------------------

void* IEDrawDibOpen() { return DrawDibOpen(); }

bool IEDrawDibClose(void* hdd) { return DrawDibClose(static_cast<HDRAWDIB>(hdd)) != FALSE; }

bool IEDrawDibDraw(void* hdd, HDC hdc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, const void* Header,
                   const void* Bits, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, uint32_t Flags) {
    return DrawDibDraw(static_cast<HDRAWDIB>(hdd), hdc, xDst, yDst, dxDst, dyDst,
                       reinterpret_cast<LPBITMAPINFOHEADER>(const_cast<void*>(Header)), const_cast<void*>(Bits), xSrc,
                       ySrc, dxSrc, dySrc, Flags) != FALSE;
}

uint32_t IEDrawDibRealize(void* hdd, HDC hdc, bool Background) {
    return DrawDibRealize(static_cast<HDRAWDIB>(hdd), hdc, Background);
}
