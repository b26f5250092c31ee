// The core's helpers over the visual layer (ui/): pixel formats of system bitmaps, the GDI+ style
// of a font, the window that owns a component, and the one-pixel 3-D frames of the views' text
// boxes. Windows build only: the visual layer has no native build.
#pragma once

#include <cstdint>

#include "Graphics.h"
#include "iecoredefs_types.h"

class TComponent;
class TIECanvas;

// Bits per pixel of a system bitmap's format: 1, 4, 8, 24 or 32; 0 for the device format.
int32_t IEPixelFormatBits(TPixelFormat PixelFormat);
// ie1g for 1 bit, ie8p for 4 and 8 bits, ie24RGB for every other format.
TIEPixelFormat IEPixelFormatFromVcl(TPixelFormat PixelFormat);
// IEBitmapRowLen(Width, IEPixelFormatBits(PixelFormat), 32).
int32_t IEVclRowLen(int32_t Width, TPixelFormat PixelFormat);

// GDI+ style bits of a font: 1 bold, 2 italic, 4 underline, 8 strikeout; 0 for none.
int32_t IEGdipFontStyle(const TFont* Font);

// The handle of the first windowed control met walking from Component through its owners, when
// that control already has one; none otherwise.
HWND IEFindOwnerHandle(TComponent* Component);

// A one-pixel frame: (X1, Y2) to (X1, Y1) to (X2, Y1) in TopLeftColor, then (X1, Y2) to (X2, Y2)
// to (X2, Y1) in BottomRightColor, each line without its end pixel. IEDraw3DFrame sets the pen to
// copy mode, solid, width 1; IEDraw3DFrameIE sets mode and style and leaves the width.
void IEDraw3DFrame(TCanvas& Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor);
void IEDraw3DFrameIE(TIECanvas& Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                     TColor BottomRightColor);

// ---- Drawing helpers of the views and dialogs (iecoreutils_draw_win.cpp) ----
class TBitmap;
class TIEBitmap;

// Shadow bands beside (Right) or below (Bottom) an image in the viewer's background. Kind 1 fills
// the band with the surface's brush, 2 darkens it fading outwards, 3 paints a grey ramp. Pixels
// inside Bitmap (when given, 24 bits) are changed there, the others on the surface. Color is not
// used.
void IEDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Kind,
                       TColor Color);
void IEDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        uint8_t Kind, TColor Color);
// A blurred 5-pixel shadow around the rectangle of a 24-bit system bitmap (Color is not used).
void IEDrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color);
// The dialog backgrounds: the bitmap becomes Width x Height, 24 bits, and is filled.
void IEDrawStripes(TBitmap* Bitmap, int32_t Width, int32_t Height);
void IEDrawBrushedMetal(TBitmap* Bitmap, int32_t Width, int32_t Height);
// Darkens (black at alpha 150) what lies outside the inner rectangle within the outer one;
// nothing for an empty inner rectangle.
void IEDimOutside(TCanvas* Canvas, int32_t OuterX, int32_t OuterY, int32_t OuterWidth, int32_t OuterHeight,
                  int32_t InnerX1, int32_t InnerY1, int32_t InnerX2, int32_t InnerY2);

// Scroll bars: Flat selects the flat scroll bars of the common controls.
void IESetScrollInfo(HWND Handle, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool Flat);
void IESetScrollParams(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                       bool Flat);
void IESetScrollRange(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
void IESetScrollPos(HWND Handle, int32_t Bar, int32_t Pos, bool Redraw, bool Flat);
void IEEnableScrollBar(HWND Handle, int32_t Bar, uint32_t Arrows, bool Flat);
void IEShowScrollBar(HWND Handle, int32_t Bar, bool Show, bool Flat);

// The view's hint box: X and Y are kept inside the client area (the caller sees the final
// values), the covered area is saved into Saved, then the box is drawn.
void IEDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::wstring& Text, TFont* Font, TBrush* Brush,
                   TBitmap* Saved, int32_t ClientWidth, int32_t ClientHeight, TColor TopLeftColor,
                   TColor BottomRightColor);
// The view's half-transparent information box, as wide as the wider of Text and WidthText.
void IEDrawInfoBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::wstring& Text, const std::wstring& WidthText);

// The video-for-Windows DrawDib functions, arguments and results passed unchanged.
void* IEDrawDibOpen();
bool IEDrawDibClose(void* hdd);
bool IEDrawDibDraw(void* hdd, HDC hdc, int32_t xDst, int32_t yDst, int32_t dxDst, int32_t dyDst, const void* Header,
                   const void* Bits, int32_t xSrc, int32_t ySrc, int32_t dxSrc, int32_t dySrc, uint32_t Flags);
uint32_t IEDrawDibRealize(void* hdd, HDC hdc, bool Background);
