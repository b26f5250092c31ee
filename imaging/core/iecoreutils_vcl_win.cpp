#include "iecoreutils_vcl.h"

#include "Controls.h"
#include "WinApi.h"
#include "iecoreutils_general.h"
#include "iegdiplus_canvas.h"

int32_t IEPixelFormatBits(TPixelFormat PixelFormat) {
    switch (PixelFormat) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
    }
}

TIEPixelFormat IEPixelFormatFromVcl(TPixelFormat PixelFormat) {
    switch (PixelFormat) {
    case pf1bit: return ie1g;
    case pf4bit:
    case pf8bit: return ie8p;
    default: return ie24RGB;
    }
}

int32_t IEVclRowLen(int32_t Width, TPixelFormat PixelFormat) {
    return IEBitmapRowLen(Width, IEPixelFormatBits(PixelFormat), 32);
}

int32_t IEGdipFontStyle(const TFont* Font) {
    if (!Font) return 0;
    const TFontStyles style = Font->Style();
    return (style & fsBold ? 1 : 0) | (style & fsItalic ? 2 : 0) | (style & fsUnderline ? 4 : 0) |
           (style & fsStrikeOut ? 8 : 0);
}

HWND IEFindOwnerHandle(TComponent* Component) {
    for (TComponent* c = Component; c; c = c->GetOwner()) {
        if (auto* control = dynamic_cast<TWinControl*>(c)) return control->HandleAllocated() ? control->Handle() : nullptr;
    }
    return nullptr;
}

namespace {

// The frame's two paths over any canvas with MoveTo and LineTo; SetColor switches the pen.
template <class TAnyCanvas, class TSetColor>
void FramePaths(TAnyCanvas& Canvas, TSetColor SetColor, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                TColor TopLeftColor, TColor BottomRightColor) {
    SetColor(TopLeftColor);
    Canvas.MoveTo(X1, Y2);
    Canvas.LineTo(X1, Y1);
    Canvas.LineTo(X2, Y1);
    SetColor(BottomRightColor);
    Canvas.MoveTo(X1, Y2);
    Canvas.LineTo(X2, Y2);
    Canvas.LineTo(X2, Y1);
}

}   // namespace

void IEDraw3DFrame(TCanvas& Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor) {
    SetROP2(Canvas.Handle(), R2_COPYPEN);
    Canvas.Pen()->SetStyle(psSolid);
    Canvas.Pen()->SetWidth(1);
    FramePaths(Canvas, [&](TColor c) { Canvas.Pen()->SetColor(c); }, X1, Y1, X2, Y2, TopLeftColor, BottomRightColor);
}

void IEDraw3DFrameIE(TIECanvas& Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                     TColor BottomRightColor) {
    Canvas.GetPen().SetMode(pmCopy);
    Canvas.GetPen().SetStyle(psSolid);
    FramePaths(Canvas, [&](TColor c) { Canvas.GetPen().SetColor(c); }, X1, Y1, X2, Y2, TopLeftColor,
               BottomRightColor);
}
