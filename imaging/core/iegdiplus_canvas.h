// Anti-aliased drawing with alpha through GDI+, with plain GDI as the fall-back. TIECanvas wraps a
// TCanvas; each operation draws through GDI+ when the canvas was made for it and GDI+ is loaded
// (iegdiplus_loader.h), otherwise through the wrapped canvas. TIEPen and TIEBrush wrap the
// canvas' pen and brush and keep a GDI+ pen and brush in step, adding an alpha value and a
// fractional pen width. A TIECanvas is short-lived: made around one drawing sequence.
// Windows build only (the visual layer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Graphics.h"
#include "iegdiplus_loader.h"

// Raster modes of the pen, in the class library's order (GDI only; GDI+ has none).
enum TPenMode {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

// GDI+ line-join codes.
constexpr uint8_t kIELineJoinMiter = 0, kIELineJoinBevel = 1, kIELineJoinRound = 2;
// Smoothing modes of SetSmoothingMode (one above GDI+'s own numbers).
constexpr uint8_t kIESmoothingHighSpeed = 2, kIESmoothingAntiAlias = 5;

class TIEPen {
public:
    // Takes colour, width and style of the pen; alpha 255, round joins. With GDI+ loaded also
    // makes the GDI+ pen (Exception "Cannot create TIEPen. GdipCreatePen1 failed." when refused).
    explicit TIEPen(TPen* Pen);
    ~TIEPen();
    TIEPen(const TIEPen&) = delete;
    TIEPen& operator=(const TIEPen&) = delete;

    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    int32_t GetAlpha() const { return FAlpha; }
    void SetAlpha(int32_t Value);
    float GetWidth() const { return FWidth; }
    // GDI+ takes the width as it is; the GDI pen its truncated value.
    void SetWidth(float Value);
    TPenStyle GetStyle() const { return FStyle; }
    void SetStyle(TPenStyle Value);
    TPenMode GetMode() const { return FMode; }
    void SetMode(TPenMode Value);
    uint8_t GetLineJoin() const { return FLineJoin; }
    void SetLineJoin(uint8_t Value);
    // ARGB of the colour with the alpha; alpha 0 for psClear.
    uint32_t GetGdipColor() const;
    // (Re)makes the GDI+ pen from the current values.
    void CreateGdipPen();
    void* GdipHandle() const { return FGdipPen; }
    TPen* GetPen() const { return FPen; }
    // Selects the raster mode into the context before a GDI drawing call.
    void ApplyMode(HDC DC) const;

private:
    void* FGdipPen = nullptr;
    TPen* FPen;
    TColor FColor;
    int32_t FAlpha = 255;
    float FWidth;
    TPenStyle FStyle;
    TPenMode FMode = pmCopy;
    uint8_t FLineJoin = kIELineJoinRound;
};

class TIEBrush {
public:
    // Takes colour and style of the brush; alpha 255, hatch background transparent black. With
    // GDI+ loaded also makes the GDI+ brush.
    explicit TIEBrush(TBrush* Brush);
    ~TIEBrush();
    TIEBrush(const TIEBrush&) = delete;
    TIEBrush& operator=(const TIEBrush&) = delete;

    TColor GetColor() const { return FColor; }
    void SetColor(TColor Value);
    int32_t GetAlpha() const { return FAlpha; }
    void SetAlpha(int32_t Value);
    TBrushStyle GetStyle() const { return FStyle; }
    void SetStyle(TBrushStyle Value);
    // The background of hatch brushes (transparent black by default).
    TColor BackColor = 0;
    int32_t BackAlpha = 0;
    // ARGB of the colour with the alpha; alpha 0 for bsClear.
    uint32_t GetGdipColor() const;
    // (Re)makes the GDI+ brush: a solid fill for bsSolid and bsClear, a hatch brush for the
    // hatch styles. Exception "Cannot create TIEBrush. GdipCreateSolidFill failed." or
    // "... GdipCreateHatchBrush failed." when refused.
    void CreateGdipBrush();
    void* GdipHandle() const { return FGdipBrush; }
    TBrush* GetBrush() const { return FBrush; }

private:
    void* FGdipBrush = nullptr;
    TBrush* FBrush;
    TColor FColor;
    int32_t FAlpha = 255;
    TBrushStyle FStyle;
};

class TIECanvas {
public:
    // Wraps Canvas (not owned). UseGdiPlus takes effect only while GDI+ is loaded; then a GDI+
    // graphics object is made on the canvas' context (Exception "Cannot create TIECanvas.
    // GdipCreateFromHDC failed." when refused) with anti-aliasing or high-speed smoothing.
    TIECanvas(TCanvas& Canvas, bool UseGdiPlus = true, bool AntiAlias = true);
    ~TIECanvas();
    TIECanvas(const TIECanvas&) = delete;
    TIECanvas& operator=(const TIECanvas&) = delete;

    HDC GetHandle() { return FCanvas.Handle(); }
    TFont* GetFont() { return FCanvas.Font(); }
    TIEPen& GetPen() { return *FPen; }
    TIEBrush& GetBrush() { return *FBrush; }
    TCanvas& GetCanvas() { return FCanvas; }
    bool GetUseGdiPlus() const { return FUseGdiPlus; }

    // kIESmoothingHighSpeed or kIESmoothingAntiAlias (GDI+ only).
    void SetSmoothingMode(uint8_t Mode);
    void SetPenPos(POINT P) { MoveTo(P.x, P.y); }
    POINT GetPenPos() const { return POINT{FX, FY}; }
    void MoveTo(int32_t X, int32_t Y);
    void LineTo(int32_t X, int32_t Y);
    void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // Corners in any order; through GDI+ the fill is Right - Left - 1 wide and Bottom - Top - 1 high.
    void FillRect(const RECT& Rect);
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { FillRect(RECT{X1, Y1, X2, Y2}); }
    void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { RectangleRect(RECT{X1, Y1, X2, Y2}); }
    void RectangleRect(const RECT& Rect);
    void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { EllipseRect(RECT{X1, Y1, X2, Y2}); }
    void EllipseRect(const RECT& Rect);
    void Polygon(const std::vector<POINT>& Points);
    void Polyline(const std::vector<POINT>& Points);
    // Counter-clockwise from the direction of (X3, Y3) to that of (X4, Y4) on the ellipse in the
    // rectangle (X1, Y1)-(X2, Y2).
    void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
    // A rectangle with corners of the ellipse X3 x Y3 (limited to the rectangle's size).
    void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

    // Text always goes through the wrapped canvas.
    int32_t TextWidth(const std::wstring& Text) { return FCanvas.TextWidth(Text); }
    int32_t TextHeight(const std::wstring& Text) { return FCanvas.TextHeight(Text); }
    void TextOut(int32_t X, int32_t Y, const std::wstring& Text) { FCanvas.TextOut(X, Y, Text); }
    void TextRect(const RECT& Rect, int32_t X, int32_t Y, const std::wstring& Text) {
        FCanvas.TextRect(Rect, X, Y, Text);
    }
    // ExtTextOutW at (X, Y) clipped to Rect with TextFlags; on a right-to-left context with
    // ETO_RTLREADING the text starts its width + 1 further right.
    void TextRectClipped(const RECT& Rect, int32_t X, int32_t Y, const std::wstring& Text);
    // Flags added to every TextRectClipped (ETO_OPAQUE, ETO_RTLREADING, ...).
    uint32_t TextFlags = 0;

    // The pen-width correction of GDI+ ellipses (exposed for its tests): the rectangle drawn for
    // a pen of width Width.
    static RECT AdjustEllipseRect(RECT Rect, float Width);

private:
    bool Gdip() const { return FGraphics != nullptr; }

    void* FGraphics = nullptr;
    TCanvas& FCanvas;
    std::unique_ptr<TIEPen> FPen;
    int32_t FX = 0, FY = 0;
    std::unique_ptr<TIEBrush> FBrush;
    bool FUseGdiPlus;
};
