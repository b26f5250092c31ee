// The background style painter of the views: the area the image does not cover in one of the
// fourteen styles, then the wallpaper.
#include <windows.h>

#include <algorithm>

#include "iecoreutils_general.h"
#include "iecoreutils_vcl.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {

void FillArea(TCanvas* Canvas, const RECT& R, TColor Color, TBrushStyle Style) {
    Canvas->Brush()->SetColor(Color);
    Canvas->Brush()->SetStyle(Style);
    Canvas->FillRect(R);
}

TColor Inverted(TColor Color) { return TColor(~uint32_t(ColorToRGB(Color)) & 0xFFFFFF); }

// The chessboard written straight into the pixels of a 24-bit bitmap: the top-left square is
// Color, the colour flips every ChessSize columns and each band of ChessSize rows starts with the
// other colour than the band above.
void ChessboardPixels(TBitmap* Bitmap, TColor Color, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                      int32_t ChessSize) {
    const TIERGB colours[2] = {IEColorToRGB(Color), IEColorToRGB(Inverted(Color))};
    const int32_t bw = Bitmap->Width(), bh = Bitmap->Height();
    if (bw <= 0 || bh <= 0 || ChessSize <= 0) return;
    const int32_t x0 = std::max(X, 0), x1 = std::min(X + Width, bw);
    if (x0 >= x1) return;
    for (int32_t y = Y; y < Y + Height; ++y) {
        const int32_t row = std::clamp(y, 0, bh - 1);
        TIERGB* p = static_cast<TIERGB*>(Bitmap->ScanLine(row));
        const int32_t rowStart = ((y - Y) / ChessSize) & 1;
        for (int32_t x = x0; x < x1; ++x) p[x] = colours[(rowStart + (x - X) / ChessSize) & 1];
    }
}

// The chessboard through the canvas brush: squares from (X, Y) clipped to the area, the top-left
// one in the inverted colour.
void ChessboardBrush(TCanvas* Canvas, TColor Color, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                     int32_t ChessSize, TBrushStyle BrushStyle) {
    if (ChessSize <= 0) return;
    const TColor colours[2] = {Inverted(Color), Color};
    Canvas->Brush()->SetStyle(BrushStyle);
    int32_t rowStart = 0;
    for (int32_t y = Y; y < Y + Height; y += ChessSize) {
        int32_t c = rowStart;
        for (int32_t x = X; x < X + Width; x += ChessSize) {
            Canvas->Brush()->SetColor(colours[c]);
            Canvas->FillRect(RECT{x, y, std::min(x + ChessSize, X + Width), std::min(y + ChessSize, Y + Height)});
            c ^= 1;
        }
        rowStart ^= 1;
    }
}

void Chessboard(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                int32_t ChessSize, TBrushStyle BrushStyle) {
    if (Bitmap && BrushStyle == bsSolid && Bitmap->PixelFormat() == pf24bit)
        ChessboardPixels(Bitmap, Color, X, Y, Width, Height, ChessSize);
    else
        ChessboardBrush(Canvas, Color, X, Y, Width, Height, ChessSize, BrushStyle);
}

void DrawWallPaper(TCanvas* Canvas, TPicture* WallPaper, TIEWallPaperStyle Style, int32_t Width, int32_t Height) {
    if (!WallPaper || !WallPaper->Graphic()) return;
    TGraphic* g = WallPaper->Graphic();
    switch (Style) {
        case iewoNormal: Canvas->Draw(0, 0, g); break;
        case iewoStretch: Canvas->StretchDraw(RECT{0, 0, Width, Height}, g); break;
        case iewoTile: {
            const int32_t w = g->Width(), h = g->Height();
            if (w <= 0 || h <= 0) break;
            for (int32_t y = 0; y < Height; y += h)
                for (int32_t x = 0; x < Width; x += w) Canvas->Draw(x, y, g);
            break;
        }
    }
}

}  // namespace

void IEDrawBackgroundStyle(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style, TColor Color,
                           int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t ImageX1, int32_t ImageY1,
                           int32_t ImageX2, int32_t ImageY2, int32_t ChessSize, TBrushStyle ChessBrushStyle,
                           TColor GradientEndColor, TPicture* WallPaper, TIEWallPaperStyle WallPaperStyle) {
    const RECT r{X, Y, X + Width, Y + Height};
    const bool hasImage = ImageX2 - ImageX1 > 1 && ImageY2 - ImageY1 > 1;
    switch (Style) {
        case iebsSolid: FillArea(Canvas, r, Color, bsSolid); break;
        case iebsHorizontal: FillArea(Canvas, r, Color, bsHorizontal); break;
        case iebsVertical: FillArea(Canvas, r, Color, bsVertical); break;
        case iebsFDiagonal: FillArea(Canvas, r, Color, bsFDiagonal); break;
        case iebsBDiagonal: FillArea(Canvas, r, Color, bsBDiagonal); break;
        case iebsCross: FillArea(Canvas, r, Color, bsCross); break;
        case iebsDiagCross: FillArea(Canvas, r, Color, bsDiagCross); break;
        case iebsChessboard: Chessboard(Canvas, Bitmap, Color, X, Y, Width, Height, ChessSize, ChessBrushStyle); break;
        case iebsDiagonals:
            FillArea(Canvas, r, Color, bsSolid);
            Canvas->Pen()->SetColor(Inverted(Color));
            Canvas->Pen()->SetStyle(psSolid);
            Canvas->MoveTo(X, Y);
            Canvas->LineTo(X + Width, Y + Height);
            Canvas->MoveTo(X + Width, Y);
            Canvas->LineTo(X, Y + Height);
            break;
        case iebsCropped:
            if (Designing) {
                FillArea(Canvas, r, Color, bsSolid);
            } else {
                FillArea(Canvas, r, clBtnFace, bsSolid);
                if (hasImage) {
                    RECT e{ImageX1 - IEMetricCXEdge, ImageY1 - IEMetricCYEdge, ImageX2 + IEMetricCXEdge,
                           ImageY2 + IEMetricCYEdge};
                    DrawEdge(Canvas->Handle(), &e, EDGE_SUNKEN, BF_RECT);
                }
            }
            break;
        case iebsCropShadow:
            FillArea(Canvas, r, Color, bsSolid);
            if (!Designing && hasImage) {
                IEDrawShadowRight(Canvas, Bitmap, ImageX2, ImageY1, ImageX2 + 5, ImageY2 + 3, 2, Color);
                IEDrawShadowBottom(Canvas, Bitmap, ImageX1, ImageY2, ImageX2 + 4, ImageY2 + 5, 2, Color);
            }
            break;
        case iebsGradient: IEGradientFill(r, Canvas->Handle(), Color, GradientEndColor, true); break;
        case iebsSoftShadow:
            if (Designing) {
                FillArea(Canvas, r, Color, bsSolid);
            } else if (Bitmap) {
                FillArea(Canvas, r, Color, bsSolid);
                if (hasImage) IEDrawSoftShadow(Bitmap, ImageX1, ImageY1, ImageX2, ImageY2, Color);
            }
            break;
        case iebsPhotoLike:
            IEDrawBackgroundStyle(Designing, Canvas, Bitmap, iebsSolid, TColor(0xB0B0B0), X, Y, Width, Height, ImageX1,
                                  ImageY1, ImageX2, ImageY2, ChessSize, ChessBrushStyle, GradientEndColor, WallPaper,
                                  WallPaperStyle);
            Canvas->Pen()->SetColor(clBlack);
            Canvas->Pen()->SetStyle(psSolid);
            Canvas->Pen()->SetWidth(1);
            Canvas->Brush()->SetStyle(bsClear);
            {
                // The frame is drawn in the plain copy mode whatever mode the canvas was left in.
                const int oldRop = SetROP2(Canvas->Handle(), R2_COPYPEN);
                Canvas->Rectangle(ImageX1 - 1, ImageY1 - 1, ImageX2 + 1, ImageY2 + 1);
                SetROP2(Canvas->Handle(), oldRop);
            }
            X = ImageX1;
            Y = ImageY1;
            Width = ImageX2 - ImageX1;
            Height = ImageY2 - ImageY1;
            Chessboard(Canvas, Bitmap, Color, X, Y, Width, Height, ChessSize, ChessBrushStyle);
            break;
    }
    DrawWallPaper(Canvas, WallPaper, WallPaperStyle, Width, Height);
}
