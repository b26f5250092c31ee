// The viewer's geometry without a window: the zoom of each axis, the view origin (scroll position
// in zoomed pixels), the centring offsets, the displayed and zoomed extents, the source rectangle
// the compositor draws, the coordinate lookup tables and the conversions between client and image
// positions, the largest origin, and the arithmetic of scroll bars, the wheel and smooth scrolling.
// The viewer control (picturaview_control.h) keeps one of these and feeds it its window sizes;
// everything here is plain arithmetic and builds in the native build too.
//
// Rounding: Round is to nearest with halves to even, Trunc toward zero, both on 80-bit
// intermediates where the product or quotient decides the result.
#pragma once

#include <cstdint>
#include <vector>

// Round to nearest, halves to even; Trunc toward zero. Results outside 32 bits saturate.
int32_t IERound(long double Value);
int32_t IETrunc(long double Value);

// The largest zoom (per cent) at which an image of Size pixels still has a zoomed extent that fits
// 32-bit coordinates with room for the view (IEMaxZoomedExtent).
constexpr int32_t IEMaxZoomedExtent = 1 << 30;
double IEMaxZoomFor(int32_t ImageWidth, int32_t ImageHeight);

// The coordinate tables are only built up to this many entries per table; beyond it the
// conversions use their arithmetic (the same values, computed per call).
constexpr int64_t IEMaxCoordinateTableEntries = int64_t(1) << 24;

struct TIEViewGeometry {
    // Zoom per axis in per cent, with its factor (zoom / 100) and inverse (100 / zoom).
    double ZoomX = 100.0, ZoomY = 100.0;
    double ZoomFactorX = 1.0, ZoomFactorY = 1.0;
    double InvZoomX = 1.0, InvZoomY = 1.0;
    // Scroll position in zoomed pixels.
    int32_t OriginX = 0, OriginY = 0;
    // Client position of the image's first column and row (centring).
    int32_t OffsetX = 0, OffsetY = 0;
    // Part of the zoomed image inside the view, and the whole zoomed image.
    int32_t ExtentWidth = 0, ExtentHeight = 0;
    int32_t ZoomedWidth = 0, ZoomedHeight = 0;
    // Source rectangle: first visible image column and row, visible width and height in image
    // pixels, drawn width and height in client pixels.
    int32_t SrcX = 0, SrcY = 0, SrcWidth = 0, SrcHeight = 0, DrawWidth = 0, DrawHeight = 0;
    // The size zoom and scrolling work on.
    int32_t ImageWidth = 0, ImageHeight = 0;

    // Coordinate tables: zoomed position -> image column (row), image column (row) -> first zoomed
    // position showing it. Empty until built.
    std::vector<int32_t> ScreenToBitmapCols, ScreenToBitmapRows;
    std::vector<int32_t> BitmapToScreenCols, BitmapToScreenRows;
    // Key of the last build (zoom -1 and sizes -1: never built).
    double KeyZoomX = -1.0, KeyZoomY = -1.0;
    int32_t KeyDrawWidth = -1, KeyDrawHeight = -1, KeyImageWidth = -1, KeyImageHeight = -1;
    // Destination extent of the last build and its size in image pixels.
    int32_t TableExtentWidth = 0, TableExtentHeight = 0, TableExtentImageWidth = 0, TableExtentImageHeight = 0;
    // The windows into the tables that the renderer reads: start indices of the screen-to-bitmap
    // tables (the snapped origin) and of the bitmap-to-screen tables (the first visible column).
    int32_t ScreenColsStart = 0, ScreenRowsStart = 0, BitmapColsStart = 0, BitmapRowsStart = 0;

    // Sets the zoom of one axis or both with its factor and inverse (a zoom of 0 or less is
    // ignored: nothing divides by it).
    void SetZoomValues(double AZoomX, double AZoomY);

    // Largest origin per axis for a view of ViewWidth x ViewHeight client pixels in a control of
    // ControlWidth x ControlHeight; HasScrollBars is false for ssNone (the extra image pixel that
    // lets the last partly shown pixel scroll into view is then not added with equal zooms).
    void GetMaxViewOrigin(int32_t ViewWidth, int32_t ViewHeight, int32_t ControlWidth, int32_t ControlHeight,
                          bool HasScrollBars, int32_t& MaxX, int32_t& MaxY) const;

    // The origin that keeps the view centre where it is when the zoom of an axis becomes Z
    // (ViewSize: the view's size on that axis). Not clamped.
    int32_t CentredOriginX(double Z, int32_t ViewWidth) const;
    int32_t CentredOriginY(double Z, int32_t ViewHeight) const;

    // Zoomed, displayed and centring values for a view of ViewWidth x ViewHeight.
    void ComputeDisplayExtent(int32_t ViewWidth, int32_t ViewHeight, bool Center);
    // The source rectangle for the current origin.
    void ComputeSourceRect();
    // Rebuilds the tables when their key changed (dropping them for an empty image or drawing),
    // then moves the windows to the current origin.
    void BuildCoordinateTables();
    void FreeCoordinateTables();
    bool HasTables() const { return !ScreenToBitmapCols.empty(); }

    // The first zoomed position that shows the same image column (row) as X (Y); X itself without
    // tables or beyond the zoomed image; 0 below 0.
    int32_t SnapScreenX(int32_t X) const;
    int32_t SnapScreenY(int32_t Y) const;

    // Client column (row) to image column (row) and back.
    int32_t ScreenToBitmapX(int32_t X) const;
    int32_t ScreenToBitmapY(int32_t Y) const;
    int32_t BitmapToScreenX(int32_t X) const;
    int32_t BitmapToScreenY(int32_t Y) const;

private:
    int32_t ScreenToBitmapAxis(int32_t A, int32_t Offset, int32_t Draw, const std::vector<int32_t>& Table,
                               int32_t Start, double Inv, int32_t Src) const;
    int32_t BitmapToScreenAxis(int32_t B, int32_t Offset, int32_t Src, const std::vector<int32_t>& Table,
                               int32_t Start, int32_t Origin, double Inv, double Factor) const;
};

// The automatic zoom: 100 when any size is 0; Optimal (the fit zoom) when the image is too large
// for the area and Shrink is on, or when it fits and Stretch is on; 100 otherwise.
double IEChooseAutoFitZoom(int32_t ImageW, int32_t ImageH, int32_t AreaW, int32_t AreaH, bool Stretch, bool Shrink,
                           double Optimal);

// The fit zoom of one axis: (Size - 2 Margin) / (ImageSize / 100); 0 for an empty image.
double IEFitZoom(int32_t Size, int32_t Margin, int32_t ImageSize);

// Scroll-bar arithmetic: scale (origin pixels per bar unit, range 0..65535), page and position.
struct TIEScrollBarValues {
    double Scale = 1.0;
    int32_t Page = 0;
    int32_t Pos = 0;
};
TIEScrollBarValues IEScrollBarValues(int32_t ViewSize, int32_t MaxOrigin, int32_t Origin);

// The scroll actions of the bars (ScrollHorz/ScrollVert): what each gives as the new origin.
enum TIEScrollAction : uint8_t {
    iesaPosition, iesaToEnd, iesaLineForward, iesaLineBack, iesaPageForward, iesaPageBack, iesaToStart
};
int32_t IEScrollActionOrigin(TIEScrollAction Action, int32_t Pos, int32_t Origin, int32_t MaxOrigin, int32_t ViewSize,
                             double ZoomFactor, int32_t LineStep, int32_t PageStep);

// The wheel: the direction of one turn (-1 for a positive delta, +1 otherwise, negated by Invert).
int32_t IEWheelDirection(int32_t Delta, bool Invert);
// The scroll step of a turn (Variation 0 absolute, 1 per cent of the view; others 0).
int32_t IEWheelScrollStep(int32_t Direction, uint8_t Variation, int32_t Value, double ZoomFactor, int32_t ViewSize);
// The zoom after a turn (Variation 0 absolute, 1 per cent of the zoom; others keep it).
double IEWheelZoom(int32_t Direction, uint8_t Variation, int32_t Value, double Zoom);

// One step of smooth scrolling: 1/Divisor of the remaining distance (Divisor 0: the target).
int32_t IESmoothScrollNext(int32_t Current, int32_t Target, int32_t Divisor);
