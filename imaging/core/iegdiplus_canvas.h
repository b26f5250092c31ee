// The drawing wrapper of the image views: a canvas over a drawing surface with its own pen and
// brush wrappers. This build paints through the wrapped surface itself (no GDI+ anti-aliasing
// yet): the pen's colour, style and raster mode and the brush's colour and style reach the surface;
// the brush's alpha is kept for the GDI+ road. Windows build only (the visual layer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Graphics.h"

class TIEPen {
public:
    explicit TIEPen(TCanvas& Canvas) : FCanvas(Canvas) {}
    void SetColor(TColor Color);
    void SetStyle(int32_t Style);   // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 clear
    void SetMode(int32_t Mode);     // 0 black .. 4 copy .. 15 not-xor, as the class library's pen modes
    int32_t GetMode() const { return FMode; }
    // Selects the raster mode into the surface before a drawing call.
    void Apply();

private:
    TCanvas& FCanvas;
    int32_t FMode = 4;
};

class TIEBrush {
public:
    explicit TIEBrush(TCanvas& Canvas) : FCanvas(Canvas) {}
    void SetColor(TColor Color);
    void SetAlpha(int32_t Alpha) { FAlpha = Alpha < 0 ? 0 : Alpha > 255 ? 255 : Alpha; }
    int32_t GetAlpha() const { return FAlpha; }
    void SetStyle(int32_t Style);   // 0 solid, 1 clear, then the hatch styles

private:
    TCanvas& FCanvas;
    int32_t FAlpha = 255;
};

class TIECanvas {
public:
    // AntiAlias and HighQuality choose the GDI+ road once it exists; they are kept.
    TIECanvas(TCanvas& Canvas, bool AntiAlias = true, bool HighQuality = false);
    TIECanvas(const TIECanvas&) = delete;
    TIECanvas& operator=(const TIECanvas&) = delete;

    void MoveTo(int32_t X, int32_t Y);
    void LineTo(int32_t X, int32_t Y);
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);   // corners put in order first
    int32_t TextWidth(const std::wstring& Text);
    int32_t TextHeight(const std::wstring& Text);
    void TextOut(int32_t X, int32_t Y, const std::wstring& Text);
    TFont* GetFont() { return FCanvas.Font(); }

    TIEPen& GetPen() { return FPen; }
    TIEBrush& GetBrush() { return FBrush; }
    TCanvas& GetCanvas() { return FCanvas; }
    bool GetAntiAlias() const { return FAntiAlias; }
    bool GetHighQuality() const { return FHighQuality; }

private:
    TCanvas& FCanvas;
    TIEPen FPen;
    TIEBrush FBrush;
    bool FAntiAlias;
    bool FHighQuality;
};
