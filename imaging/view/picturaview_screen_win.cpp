// The screen facts of the viewer unit: colour depth, resolution and system metrics, the grid pen,
// and MSIMG32's GradientFill loaded on first use.
#include <windows.h>

#include "Graphics.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {

HMODULE gMsimg32 = nullptr;
using TGradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
TGradientFillProc gGradientFill = nullptr;

}  // namespace

void IEReadScreenFacts() {
    HDC dc = GetDC(nullptr);
    if (dc) {
        IEScreenColorDepth = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        IEScreenDPIX = GetDeviceCaps(dc, LOGPIXELSX);
        IEScreenDPIY = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
    }
    IEMetricCXEdge = GetSystemMetrics(SM_CXEDGE);
    IEMetricCYEdge = GetSystemMetrics(SM_CYEDGE);
    IEMetricCXBorder = GetSystemMetrics(SM_CXBORDER);
    IEMetricCYBorder = GetSystemMetrics(SM_CYBORDER);
    IEMetricCYHScroll = GetSystemMetrics(SM_CYHSCROLL);
    IEMetricCXVScroll = GetSystemMetrics(SM_CXVSCROLL);
}

void IECreateGridPen() {
    // The pen draws in the inverting mode (R2_NOT), which the drawing code selects with it.
    delete IEGridPen;
    IEGridPen = new TPen();
    IEGridPen->SetStyle(psSolid);
    IEGridPen->SetWidth(1);
}

void IEFreeViewResources() {
    delete IEGridPen;
    IEGridPen = nullptr;
    if (gMsimg32) FreeLibrary(gMsimg32);
    gMsimg32 = nullptr;
    gGradientFill = nullptr;
}

bool IEGradientFillAvailable() {
    if (gGradientFill) return true;
    if (!gMsimg32) gMsimg32 = LoadLibraryW(L"MSIMG32.DLL");
    if (!gMsimg32) return false;
    gGradientFill = reinterpret_cast<TGradientFillProc>(
        reinterpret_cast<void*>(GetProcAddress(gMsimg32, "GradientFill")));
    return gGradientFill != nullptr;
}

bool IEGradientFill(const RECT& Rect, HDC DC, TColor Color1, TColor Color2, bool Vertical) {
    if (!IEGradientFillAvailable()) return false;
    const COLORREF c1 = ColorToRGB(Color1), c2 = ColorToRGB(Color2);
    TRIVERTEX v[2];
    v[0].x = Rect.left;
    v[0].y = Rect.top;
    v[0].Red = COLOR16(GetRValue(c1) << 8);
    v[0].Green = COLOR16(GetGValue(c1) << 8);
    v[0].Blue = COLOR16(GetBValue(c1) << 8);
    v[0].Alpha = 0;
    v[1].x = Rect.right;
    v[1].y = Rect.bottom;
    v[1].Red = COLOR16(GetRValue(c2) << 8);
    v[1].Green = COLOR16(GetGValue(c2) << 8);
    v[1].Blue = COLOR16(GetBValue(c2) << 8);
    v[1].Alpha = 0;
    GRADIENT_RECT r{0, 1};
    return gGradientFill(DC, v, 2, &r, 1, Vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H) != FALSE;
}
