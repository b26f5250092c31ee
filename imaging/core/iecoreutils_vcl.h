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
