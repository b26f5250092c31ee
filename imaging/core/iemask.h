// The selection mask: a plane of 1 or 8 bits per pixel the size of an image, with the bounding box
// of its set pixels and a flag that says every pixel is set. The viewer keeps its selection in it
// and the codecs exchange alpha masks through it. Platform-neutral but for the two drawing calls
// onto a system drawing surface (iemask_draw_win.cpp), whose geometry is platform-neutral.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "iecoredefs_types.h"
#include "iecoreutils_general.h"
#include "iedibbitmap.h"

class TIEBitmap;
class TCanvas;   // the visual layer's drawing surface (Windows build only)

// An inclusive rectangle, laid out as the system's rectangle.
struct TIEMaskRect {
    int32_t Left;
    int32_t Top;
    int32_t Right;
    int32_t Bottom;
};

struct TIEMaskPoint {
    int32_t X;
    int32_t Y;
};

// A point with this X separates the polygons of a point list.
constexpr int32_t IEMaskPolygonBreak = 0xFFFFF;

class TIEMask {
public:
    static constexpr int32_t EmptyBox = 2147483647;

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t RowLen = 0;
    // Bounding box of the set pixels, inclusive; empty while X1 is EmptyBox.
    int32_t X1 = EmptyBox;
    int32_t Y1 = EmptyBox;
    int32_t X2 = 0;
    int32_t Y2 = 0;
    bool Full = false;

    TIEMask() = default;
    TIEMask(const TIEMask&) = delete;
    TIEMask& operator=(const TIEMask&) = delete;

    // Sizes the mask (BitsPerPixel 1 or 8); the rows are made zero-filled at the first access.
    void Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
    void FreeBits();
    bool HasBits() const { return !Bits.empty(); }
    // The rows, bottom-up (the last image row first), allocated on demand.
    uint8_t* GetBits();
    uint8_t* GetScanline(int32_t Row);

    void SetPixel(int32_t X, int32_t Y, int32_t Value);
    // 8 bits: the byte; 1 bit: the pixel's bit within its byte (non-zero when set). 0 outside.
    int32_t GetPixel(int32_t X, int32_t Y);
    bool IsPointInside(int32_t X, int32_t Y);
    void Fill(int32_t Value);
    void Clear();
    bool IsEmpty() const { return X1 == EmptyBox; }
    void UpdateBoundingBox();
    void UpdateFullFlag();
    void Resize(int32_t NewWidth, int32_t NewHeight);
    // Fills columns AX1..AX2 of Row (all clamped into the mask); returns the pixels written.
    int32_t FillLine(int32_t Value, int32_t AX1, int32_t AX2, int32_t Row);
    void FillPolygons(int32_t Value, const TIEMaskPoint* Points, int32_t Count);
    void FillPolygon(int32_t Value, const TIEMaskPoint* Points, int32_t Count);
    // Moves the selected part by (DX, DY). Without Cut, DX and DY are reduced so that the box
    // stays inside; with Cut, what would leave the mask is dropped.
    void Translate(int32_t& DX, int32_t& DY, bool Cut);
    // Copies the selected pixels of Source into Dest, on the bounding box only.
    void CopyThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped,
                         bool IncludeAlpha);
    void CopyAlphaThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped,
                              bool SourceCropped);

    // Makes the view buffer: the mask rectangle (SrcX, SrcY, SrcWidth, SrcHeight) scaled by
    // nearest pixel to ViewWidth x ViewHeight, only the bounding box copied. The buffer is kept
    // while the view size stays the same.
    void ScaleToView(int32_t AViewWidth, int32_t AViewHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                     int32_t SrcHeight);
    // The view buffer's row R, top row first.
    uint8_t* GetViewRow(int32_t R) { return ViewRows[(size_t)R]; }
    int32_t GetViewWidth() const { return ViewWidth; }
    int32_t GetViewHeight() const { return ViewHeight; }
    // Marks the unselected part of a 24-bit view image whose area (XDst, YDst, ViewWidth,
    // ViewHeight) shows the mask rectangle: a grey checkerboard for Opacity -1, else Colour laid
    // over with Opacity / 255.
    void ShadeUnselected(TIEBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t AViewWidth, int32_t AViewHeight,
                         int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Opacity,
                         TIERGB Colour);

    // ---- Drawing onto a view (iemask_draw.cpp, iemask_draw_win.cpp) ----
    // The header StretchDrawInvert draws the rows with: 40 bytes, one plane, 1 bit per pixel, no
    // compression, colour 0 black and colour 1 white; width and height set at each call.
    TIEDibInfo DrawHeader{40, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    // For a non-empty 1-bit mask: the mask rectangle (XSrc, YSrc, SrcWidth, SrcHeight) stretched
    // onto (XDst, YDst, DstWidth, DstHeight) of the canvas, inverting where pixels are set.
    // 8-bit and empty masks draw nothing. Windows build only.
    void StretchDrawInvert(TCanvas& Canvas, int32_t XDst, int32_t YDst, int32_t DstWidth, int32_t DstHeight,
                           int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight);
    // The selection border of the mask rectangle shown in the view area (XDst, YDst, ViewWidth,
    // ViewHeight): single pixels in Colour1 where (x + y + Phase) and 7 is below 4, else in
    // Colour2, so that stepping Phase makes it march. Rect, when given, receives the area that can
    // hold border pixels, one pixel inside. Windows build only.
    void DrawOutline(TCanvas& Canvas, int32_t XDst, int32_t YDst, int32_t AViewWidth, int32_t AViewHeight,
                     int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase, TColor Colour2,
                     TColor Colour1, TIEMaskRect* Rect);
    // DrawOutline's geometry: Plot(x, y, InColour1) for every border pixel, in rows from the top.
    void OutlinePixels(int32_t XDst, int32_t YDst, int32_t AViewWidth, int32_t AViewHeight, int32_t SrcX,
                       int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase, TIEMaskRect* Rect,
                       const std::function<void(int32_t X, int32_t Y, bool InColour1)>& Plot);
    // ---- end of the drawing block ----

private:
    std::vector<uint8_t> Bits;
    std::vector<uint8_t> ViewBuffer;
    std::vector<uint8_t*> ViewRows;
    int32_t ViewWidth = 0;
    int32_t ViewHeight = 0;

    void EmptyBoundingBox();
    void WidenBox(int32_t X, int32_t Y);
    void ClampBox();
    bool Inside(int32_t X, int32_t Y) const { return X >= 0 && Y >= 0 && X < Width && Y < Height; }
};
