#include "picturaview_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr long double kIntMax = std::numeric_limits<int32_t>::max();
constexpr long double kIntMin = std::numeric_limits<int32_t>::min();

int32_t Saturate(long double Value) {
    if (std::isnan(Value)) return 0;
    if (Value >= kIntMax) return std::numeric_limits<int32_t>::max();
    if (Value <= kIntMin) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(Value);
}

// One axis of the coordinate tables (columns or rows), built as the renderer reads them: with a
// zoom above 100 every zoomed position maps to Trunc(p x inverse); otherwise every image column c
// maps to the zoomed position Trunc(c x factor). Counting downwards lets the lowest value win
// where several map to one entry. False (tables left empty) when they would be too large.
bool BuildAxis(double Zoom, double Factor, double Inv, int32_t Zoomed, int32_t Draw, int32_t ImageSize,
               std::vector<int32_t>& ScreenToBitmap, std::vector<int32_t>& BitmapToScreen) {
    const int64_t j = int64_t(Zoomed) + Draw;
    const int64_t bitmapLen = int64_t(IETrunc((long double)(j + 1) * Inv)) + 2;
    if (j + 2 > IEMaxCoordinateTableEntries || bitmapLen > IEMaxCoordinateTableEntries || bitmapLen < 2) return false;
    ScreenToBitmap.assign(size_t(j + 2), 0);
    BitmapToScreen.assign(size_t(bitmapLen), 0);
    const int32_t last = std::max(ImageSize - 1, 0);
    if (Zoom > 100) {
        for (int64_t p = j; p >= 0; --p) {
            const int64_t c = IETrunc((long double)p * Inv);
            if (c >= 0 && c < bitmapLen) BitmapToScreen[size_t(c)] = int32_t(p);
            ScreenToBitmap[size_t(p)] = int32_t(std::min<int64_t>(c, last));
        }
    } else {
        for (int64_t c = bitmapLen - 2; c >= 0; --c) {
            const int64_t p = IETrunc((long double)c * Factor);
            BitmapToScreen[size_t(c)] = int32_t(p);
            if (p >= 0 && p < j + 2) ScreenToBitmap[size_t(p)] = int32_t(std::min<int64_t>(c, last));
        }
    }
    return true;
}

}  // namespace

int32_t IERound(long double Value) { return Saturate(std::nearbyint(Value)); }
int32_t IETrunc(long double Value) { return Saturate(std::trunc(Value)); }

double IEMaxZoomFor(int32_t ImageWidth, int32_t ImageHeight) {
    const int32_t largest = std::max(ImageWidth, ImageHeight);
    if (largest <= 0) return double(IEMaxZoomedExtent) * 100.0;
    return double(IEMaxZoomedExtent) * 100.0 / double(largest);
}

void TIEViewGeometry::SetZoomValues(double AZoomX, double AZoomY) {
    if (AZoomX > 0) {
        ZoomX = AZoomX;
        ZoomFactorX = AZoomX / 100.0;
        InvZoomX = 100.0 / AZoomX;
    }
    if (AZoomY > 0) {
        ZoomY = AZoomY;
        ZoomFactorY = AZoomY / 100.0;
        InvZoomY = 100.0 / AZoomY;
    }
}

void TIEViewGeometry::GetMaxViewOrigin(int32_t ViewWidth, int32_t ViewHeight, int32_t ControlWidth,
                                       int32_t ControlHeight, bool HasScrollBars, int32_t& MaxX, int32_t& MaxY) const {
    int64_t zw = IETrunc((long double)ImageWidth * ZoomFactorX);
    int64_t zh = IETrunc((long double)ImageHeight * ZoomFactorY);
    const int64_t zw1 = IETrunc((long double)(int64_t(ImageWidth) + 1) * ZoomFactorX);
    const int64_t zh1 = IETrunc((long double)(int64_t(ImageHeight) + 1) * ZoomFactorY);
    const bool equal = ZoomX == ZoomY;
    if (!equal) {
        if (zw > int64_t(ViewWidth) + 10) zw = zw1;
        if (zh > int64_t(ViewHeight) + 10) zh = zh1;
    } else if ((zw > int64_t(ViewWidth) + 10 || zh > int64_t(ViewHeight) + 10) && HasScrollBars) {
        zw = zw1;
        zh = zh1;
    }
    MaxX = 0;
    MaxY = 0;
    if (zw <= 0 || zh <= 0) return;
    MaxX = int32_t(std::clamp<int64_t>(zw - ViewWidth, INT32_MIN, INT32_MAX));
    MaxY = int32_t(std::clamp<int64_t>(zh - ViewHeight, INT32_MIN, INT32_MAX));
    if (MaxX < 0 || ScreenToBitmapX(MaxX) == 0) MaxX = 0;
    if (MaxY < 0 || ScreenToBitmapY(MaxY) == 0) MaxY = 0;
    if (!equal) {
        if (zw <= ControlWidth) MaxX = 0;
        if (zh <= ControlHeight) MaxY = 0;
    } else if (zw <= ControlWidth && zh <= ControlHeight) {
        MaxX = 0;
        MaxY = 0;
    }
}

int32_t TIEViewGeometry::CentredOriginX(double Z, int32_t ViewWidth) const {
    const long double f = (long double)Z / 100.0L;
    const int32_t half = int32_t(uint32_t(ViewWidth) >> 1);
    const long double c = (long double)OriginX + half - OffsetX;
    const int32_t bx = IERound(c * InvZoomX);
    return IETrunc((long double)bx * f - half);
}

int32_t TIEViewGeometry::CentredOriginY(double Z, int32_t ViewHeight) const {
    const long double f = (long double)Z / 100.0L;
    const int32_t half = int32_t(uint32_t(ViewHeight) >> 1);
    const long double c = (long double)OriginY + half - OffsetY;
    const int32_t by = IERound(c * InvZoomY);
    return IETrunc((long double)by * f - half);
}

void TIEViewGeometry::ComputeDisplayExtent(int32_t ViewWidth, int32_t ViewHeight, bool Center) {
    ZoomedWidth = IERound((long double)ImageWidth * ZoomFactorX);
    ZoomedHeight = IERound((long double)ImageHeight * ZoomFactorY);
    OffsetX = 0;
    OffsetY = 0;
    ExtentWidth = std::max(0, std::min(ZoomedWidth, ViewWidth));
    ExtentHeight = std::max(0, std::min(ZoomedHeight, ViewHeight));
    if (Center) {
        if (ExtentWidth < ViewWidth) OffsetX = (ViewWidth - ExtentWidth) / 2;
        if (ExtentHeight < ViewHeight) OffsetY = (ViewHeight - ExtentHeight) / 2;
    }
}

void TIEViewGeometry::ComputeSourceRect() {
    auto axis = [](int32_t Zoomed, int32_t Image, int32_t Snapped, int32_t Extent, double Zoom, double Factor,
                   int32_t& Src, int32_t& Visible, int32_t& Drawn) {
        Src = 0;
        Visible = 0;
        Drawn = 0;
        if (Zoomed == 0) return;
        const long double d = (long double)Image / Zoomed;
        Src = IERound((long double)Snapped * d);
        Visible = IERound(d * Extent);
        if (int64_t(Src) + Visible > Image) --Visible;
        if (Zoom > 100) {
            Drawn = IETrunc((long double)Visible * Factor);
            if (Drawn < Extent && int64_t(Src) + Visible + 1 <= Image) {
                ++Visible;
                Drawn = IETrunc((long double)Visible * Factor);
            }
        } else {
            Drawn = Extent;
        }
    };
    axis(ZoomedWidth, ImageWidth, SnapScreenX(OriginX), ExtentWidth, ZoomX, ZoomFactorX, SrcX, SrcWidth, DrawWidth);
    axis(ZoomedHeight, ImageHeight, SnapScreenY(OriginY), ExtentHeight, ZoomY, ZoomFactorY, SrcY, SrcHeight,
         DrawHeight);
}

void TIEViewGeometry::FreeCoordinateTables() {
    ScreenToBitmapCols.clear();
    ScreenToBitmapRows.clear();
    BitmapToScreenCols.clear();
    BitmapToScreenRows.clear();
    ScreenToBitmapCols.shrink_to_fit();
    ScreenToBitmapRows.shrink_to_fit();
    BitmapToScreenCols.shrink_to_fit();
    BitmapToScreenRows.shrink_to_fit();
    TableExtentWidth = TableExtentHeight = TableExtentImageWidth = TableExtentImageHeight = 0;
    ScreenColsStart = ScreenRowsStart = BitmapColsStart = BitmapRowsStart = 0;
}

void TIEViewGeometry::BuildCoordinateTables() {
    const bool changed = KeyZoomX != ZoomX || KeyZoomY != ZoomY || KeyDrawWidth != DrawWidth ||
                         KeyDrawHeight != DrawHeight || KeyImageWidth != ImageWidth || KeyImageHeight != ImageHeight;
    if (changed) {
        FreeCoordinateTables();
        KeyZoomX = ZoomX;
        KeyZoomY = ZoomY;
        KeyDrawWidth = DrawWidth;
        KeyDrawHeight = DrawHeight;
        KeyImageWidth = ImageWidth;
        KeyImageHeight = ImageHeight;
        if (DrawWidth > 0 && DrawHeight > 0 && ImageWidth > 0 && ImageHeight > 0) {
            TableExtentWidth = DrawWidth;
            TableExtentHeight = DrawHeight;
            TableExtentImageWidth = IETrunc((long double)DrawWidth * InvZoomX);
            TableExtentImageHeight = IETrunc((long double)DrawHeight * InvZoomY);
            const bool built = BuildAxis(ZoomX, ZoomFactorX, InvZoomX, ZoomedWidth, DrawWidth, ImageWidth,
                                         ScreenToBitmapCols, BitmapToScreenCols) &&
                               BuildAxis(ZoomY, ZoomFactorY, InvZoomY, ZoomedHeight, DrawHeight, ImageHeight,
                                         ScreenToBitmapRows, BitmapToScreenRows);
            if (!built) FreeCoordinateTables();
        }
    }
    if (!HasTables()) return;
    ScreenColsStart = SnapScreenX(OriginX);
    ScreenRowsStart = SnapScreenY(OriginY);
    if (size_t(ScreenColsStart) >= ScreenToBitmapCols.size()) ScreenColsStart = int32_t(ScreenToBitmapCols.size()) - 1;
    if (size_t(ScreenRowsStart) >= ScreenToBitmapRows.size()) ScreenRowsStart = int32_t(ScreenToBitmapRows.size()) - 1;
    BitmapColsStart = std::max(0, ScreenToBitmapCols[size_t(ScreenColsStart)] - SrcX);
    BitmapRowsStart = std::max(0, ScreenToBitmapRows[size_t(ScreenRowsStart)] - SrcY);
    BitmapColsStart = std::min(BitmapColsStart, int32_t(BitmapToScreenCols.size()) - 1);
    BitmapRowsStart = std::min(BitmapRowsStart, int32_t(BitmapToScreenRows.size()) - 1);
}

namespace {

// The first zoomed position showing the same image column (row) as A.
int32_t SnapAxis(int32_t A, int32_t Zoomed, const std::vector<int32_t>& ScreenToBitmap,
                 const std::vector<int32_t>& BitmapToScreen) {
    if (A < 0) A = 0;
    if (A < Zoomed && size_t(A) < ScreenToBitmap.size()) {
        const int32_t c = ScreenToBitmap[size_t(A)];
        if (size_t(c) < BitmapToScreen.size()) return BitmapToScreen[size_t(c)];
    }
    return A;
}

}  // namespace

int32_t TIEViewGeometry::SnapScreenX(int32_t X) const {
    return SnapAxis(X, ZoomedWidth, ScreenToBitmapCols, BitmapToScreenCols);
}

int32_t TIEViewGeometry::SnapScreenY(int32_t Y) const {
    return SnapAxis(Y, ZoomedHeight, ScreenToBitmapRows, BitmapToScreenRows);
}

int32_t TIEViewGeometry::ScreenToBitmapAxis(int32_t A, int32_t Offset, int32_t Draw, const std::vector<int32_t>& Table,
                                            int32_t Start, double Inv, int32_t Src) const {
    const int64_t a = int64_t(A) - Offset;
    if (a >= 0 && a < Draw && !Table.empty() && size_t(Start + a) < Table.size()) return Table[size_t(Start + a)];
    return IETrunc((long double)a * Inv + Src);
}

int32_t TIEViewGeometry::BitmapToScreenAxis(int32_t B, int32_t Offset, int32_t Src, const std::vector<int32_t>& Table,
                                            int32_t Start, int32_t Origin, double Inv, double Factor) const {
    const int64_t k = int64_t(B) - Src;
    if (k >= 0 && !Table.empty() && k < int64_t(Table.size()) - Start) return Table[size_t(Start + k)] + Offset;
    const int32_t snapped = Origin;
    const long double first = (long double)IERound(-(long double)snapped * Inv);
    return IERound((first + B) * Factor + Offset);
}

int32_t TIEViewGeometry::ScreenToBitmapX(int32_t X) const {
    return ScreenToBitmapAxis(X, OffsetX, DrawWidth, ScreenToBitmapCols, ScreenColsStart, InvZoomX, SrcX);
}

int32_t TIEViewGeometry::ScreenToBitmapY(int32_t Y) const {
    return ScreenToBitmapAxis(Y, OffsetY, DrawHeight, ScreenToBitmapRows, ScreenRowsStart, InvZoomY, SrcY);
}

int32_t TIEViewGeometry::BitmapToScreenX(int32_t X) const {
    return BitmapToScreenAxis(X, OffsetX, SrcX, BitmapToScreenCols, BitmapColsStart, SnapScreenX(OriginX), InvZoomX,
                              ZoomFactorX);
}

int32_t TIEViewGeometry::BitmapToScreenY(int32_t Y) const {
    return BitmapToScreenAxis(Y, OffsetY, SrcY, BitmapToScreenRows, BitmapRowsStart, SnapScreenY(OriginY), InvZoomY,
                              ZoomFactorY);
}

double IEChooseAutoFitZoom(int32_t ImageW, int32_t ImageH, int32_t AreaW, int32_t AreaH, bool Stretch, bool Shrink,
                           double Optimal) {
    if (AreaW == 0 || AreaH == 0 || ImageW == 0 || ImageH == 0) return 100.0;
    const long double rw = (long double)ImageW / AreaW;
    const long double rh = (long double)ImageH / AreaH;
    const bool tooLarge = rw > rh ? AreaW < ImageW : AreaH < ImageH;
    if (tooLarge) return Shrink ? Optimal : 100.0;
    return Stretch ? Optimal : 100.0;
}

double IEFitZoom(int32_t Size, int32_t Margin, int32_t ImageSize) {
    if (ImageSize <= 0) return 0.0;
    return double((long double)(int64_t(Size) - 2 * int64_t(Margin)) / ((long double)ImageSize / 100.0L));
}

TIEScrollBarValues IEScrollBarValues(int32_t ViewSize, int32_t MaxOrigin, int32_t Origin) {
    TIEScrollBarValues v;
    v.Scale = double((long double)(int64_t(ViewSize) + MaxOrigin) / 65536.0L);
    if (v.Scale <= 0) v.Scale = 1.0;
    v.Page = IETrunc((long double)ViewSize / v.Scale);
    v.Pos = IETrunc((long double)Origin / v.Scale);
    return v;
}

int32_t IEScrollActionOrigin(TIEScrollAction Action, int32_t Pos, int32_t Origin, int32_t MaxOrigin, int32_t ViewSize,
                             double ZoomFactor, int32_t LineStep, int32_t PageStep) {
    const int64_t u = std::max(IETrunc(ZoomFactor), 1);
    int64_t result = Origin;
    switch (Action) {
        case iesaPosition: result = Pos; break;
        case iesaToEnd: result = MaxOrigin; break;
        case iesaLineForward: result = LineStep == -1 ? Origin + u : Origin + u * LineStep; break;
        case iesaLineBack: result = LineStep == -1 ? Origin - u : Origin - u * LineStep; break;
        case iesaPageForward: result = PageStep == -1 ? int64_t(Origin) + ViewSize : Origin + u * PageStep; break;
        case iesaPageBack: result = PageStep == -1 ? int64_t(Origin) - ViewSize : Origin - u * PageStep; break;
        case iesaToStart: result = 0; break;
    }
    return int32_t(std::clamp<int64_t>(result, INT32_MIN, INT32_MAX));
}

int32_t IEWheelDirection(int32_t Delta, bool Invert) {
    const int32_t d = Delta > 0 ? -1 : 1;
    return Invert ? -d : d;
}

int32_t IEWheelScrollStep(int32_t Direction, uint8_t Variation, int32_t Value, double ZoomFactor, int32_t ViewSize) {
    if (Variation == 0) return int32_t(std::clamp<int64_t>(int64_t(Direction) * Value * std::max(IETrunc(ZoomFactor), 1),
                                                         INT32_MIN, INT32_MAX));
    if (Variation == 1)
        return Direction * std::max(IERound((long double)ViewSize * Value / 100.0L), 1);
    return 0;
}

double IEWheelZoom(int32_t Direction, uint8_t Variation, int32_t Value, double Zoom) {
    if (Variation == 0) return Zoom + double(Direction) * Value;
    if (Variation == 1) return Zoom + double(Direction) * std::max(IERound((long double)Value * Zoom / 100.0L), 1);
    return Zoom;
}

int32_t IESmoothScrollNext(int32_t Current, int32_t Target, int32_t Divisor) {
    if (Divisor == 0) return Target;
    return IERound((long double)Current - ((long double)Current - Target) / Divisor);
}
