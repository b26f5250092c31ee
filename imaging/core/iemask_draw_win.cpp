// The mask's drawing onto a system drawing surface: the inverting overlay and the marching
// selection border.
#include "Graphics.h"
#include "WinApi.h"
#include "iemask.h"

void TIEMask::StretchDrawInvert(TCanvas& Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                                int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight) {
    if (BitsPerPixel != 1 || IsEmpty()) return;
    DrawHeader.biWidth = Width;
    DrawHeader.biHeight = Height;
    // The rows are bottom-up: the source rectangle's y is counted from the bottom.
    StretchDIBits(Canvas.Handle(), XDst, YDst, DstWidth, DstHeight, XSrc, Height - YSrc - SrcHeight, SrcWidth,
                  SrcHeight, GetBits(), reinterpret_cast<const BITMAPINFO*>(&DrawHeader), DIB_RGB_COLORS, SRCINVERT);
}

void TIEMask::DrawOutline(TCanvas& Canvas, int32_t XDst, int32_t YDst, int32_t AViewWidth, int32_t AViewHeight,
                          int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase,
                          TColor Colour2, TColor Colour1, TIEMaskRect* Rect) {
    if (AViewWidth < 1 || AViewHeight < 1 || IsEmpty()) return;
    const TIERGB c1 = IEColorToRGB(Colour1), c2 = IEColorToRGB(Colour2);
    const COLORREF first = RGB(c1.r, c1.g, c1.b), second = RGB(c2.r, c2.g, c2.b);
    Canvas.Pen()->SetStyle(psSolid);
    HDC dc = Canvas.Handle();
    SetROP2(dc, R2_COPYPEN);
    OutlinePixels(XDst, YDst, AViewWidth, AViewHeight, SrcX, SrcY, SrcWidth, SrcHeight, Phase, Rect,
                  [&](int32_t X, int32_t Y, bool InColour1) { SetPixelV(dc, X, Y, InColour1 ? first : second); });
}
