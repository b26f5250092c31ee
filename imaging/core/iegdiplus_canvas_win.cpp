#include "iegdiplus_canvas.h"

#include "WinApi.h"

namespace {

// The class library's pen modes in order, as raster operations.
const int kRasterOps[16] = {
    R2_BLACK, R2_WHITE, R2_NOP, R2_NOT, R2_COPYPEN, R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
    R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN, R2_MASKPEN, R2_NOTMASKPEN, R2_XORPEN, R2_NOTXORPEN,
};

}   // namespace

void TIEPen::SetColor(TColor Color) { FCanvas.Pen()->SetColor(Color); }

void TIEPen::SetStyle(int32_t Style) {
    if (Style >= psSolid && Style <= psInsideFrame) FCanvas.Pen()->SetStyle(static_cast<TPenStyle>(Style));
}

void TIEPen::SetMode(int32_t Mode) {
    if (Mode >= 0 && Mode < 16) FMode = Mode;
}

void TIEPen::Apply() { SetROP2(FCanvas.Handle(), kRasterOps[FMode]); }

void TIEBrush::SetColor(TColor Color) { FCanvas.Brush()->SetColor(Color); }

void TIEBrush::SetStyle(int32_t Style) {
    if (Style >= bsSolid && Style <= bsDiagCross) FCanvas.Brush()->SetStyle(static_cast<TBrushStyle>(Style));
}

TIECanvas::TIECanvas(TCanvas& Canvas, bool AntiAlias, bool HighQuality)
    : FCanvas(Canvas), FPen(Canvas), FBrush(Canvas), FAntiAlias(AntiAlias), FHighQuality(HighQuality) {}

void TIECanvas::MoveTo(int32_t X, int32_t Y) { FCanvas.MoveTo(X, Y); }

void TIECanvas::LineTo(int32_t X, int32_t Y) {
    FPen.Apply();
    FCanvas.LineTo(X, Y);
}

void TIECanvas::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    RECT r{X1 < X2 ? X1 : X2, Y1 < Y2 ? Y1 : Y2, X1 < X2 ? X2 : X1, Y1 < Y2 ? Y2 : Y1};
    FCanvas.FillRect(r);
}

int32_t TIECanvas::TextWidth(const std::wstring& Text) { return FCanvas.TextWidth(Text); }
int32_t TIECanvas::TextHeight(const std::wstring& Text) { return FCanvas.TextHeight(Text); }
void TIECanvas::TextOut(int32_t X, int32_t Y, const std::wstring& Text) { FCanvas.TextOut(X, Y, Text); }
