#include "iecoreutils_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_general.h"

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;
// More vertices than this make an ellipse walk no finer: an ellipse with radii of hundreds of
// thousands of pixels would otherwise cost billions of steps per hit test.
constexpr int64_t kMaxEllipseSteps = 1 << 22;

int32_t TruncSat(long double X) { return IETruncToInt32(X); }
int32_t RoundSat(long double X) { return IETruncToInt32(std::nearbyint(X)); }

long double Sqr(long double X) { return X * X; }

long double DistanceL(long double X1, long double Y1, long double X2, long double Y2) {
    return std::sqrt(Sqr(X2 - X1) + Sqr(Y2 - Y1));
}

// The distance to the end point of a segment, "far" when that end lies beyond the range that the
// hit tests consider.
double EndDistance(int32_t X, int32_t Y, int32_t EX, int32_t EY) {
    if (std::fabs(static_cast<double>(X) - EX) > 45000 || std::fabs(static_cast<double>(Y) - EY) > 45000)
        return IEFarDistance;
    return IEPointDistance(X, Y, EX, EY);
}

// The pen range -(PenWidth div 2)..PenWidth div 2 (empty when the first exceeds the second).
int32_t PenLow(int32_t PenWidth) { return -(PenWidth / 2); }
int32_t PenHigh(int32_t PenWidth) { return PenWidth / 2; }

}   // namespace

int32_t IETruncToInt32(long double X) {
    if (std::isnan(X)) return 0;
    if (X >= 2147483647.0L) return INT32_MAX;
    if (X <= -2147483648.0L) return INT32_MIN;
    return static_cast<int32_t>(X);
}

// ---- Rectangles and points ----------------------------------------------------------------------

bool IEPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

bool IEPointInRectAnyOrder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    IEOrderCorners(X1, Y1, X2, Y2);
    return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IERectsIntersect(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1,
                      int32_t BX2, int32_t BY2) {
    return IEMax(AX1, AX2) >= BX1 && IEMin(AX1, AX2) <= BX2 && IEMax(AY1, AY2) >= BY1 && IEMin(AY1, AY2) <= BY2;
}

void IEExtendRect(TIERect& Rect, int32_t X, int32_t Y) {
    Rect.Left = IEMin(Rect.Left, X);
    Rect.Right = IEMax(Rect.Right, X);
    Rect.Top = IEMin(Rect.Top, Y);
    Rect.Bottom = IEMax(Rect.Bottom, Y);
}

void IESnapTo45Degrees(int32_t X1, int32_t Y1, int32_t& X2, int32_t& Y2) {
    const int64_t dx = static_cast<int64_t>(X1) - X2;
    const int64_t dy = static_cast<int64_t>(Y1) - Y2;
    const int64_t e = dx < 0 ? -dx : dx;
    const int64_t f = dy < 0 ? -dy : dy;
    if (e + 30 < f) {
        X2 = X1;
        return;
    }
    if (f < e - 30) {
        Y2 = Y1;
        return;
    }
    const int32_t k = static_cast<int32_t>(e >= f ? e - f : f - e);   // at most 30
    if (dx < 0 && dy < 0) {
        if (e >= f) Y2 += k; else X2 += k;
    } else if (dx > 0 && dy > 0) {
        if (e >= f) X2 += k; else Y2 += k;
    } else if (dx > 0) {
        if (e >= f) Y2 += k; else X2 -= k;
    } else if (dy > 0) {
        if (e >= f) Y2 -= k; else X2 += k;
    }
}

// ---- Distances ------------------------------------------------------------------------------

double IEPointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return static_cast<double>(DistanceL(X1, Y1, X2, Y2));
}

double IEPointToLineDistance(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const long double a = static_cast<long double>(Y1) - Y2;
    const long double b = static_cast<long double>(X2) - X1;
    const long double len = std::sqrt(a * a + b * b);
    if (len == 0) return IEPointDistance(X, Y, X1, Y1);
    const long double c = static_cast<long double>(X1) * Y2 - static_cast<long double>(X2) * Y1;
    return static_cast<double>(std::fabs(a * X + b * Y + c) / len);
}

double IEPointToSegmentDistance(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (X1 == X2 && Y1 == Y2) return IEPointDistance(X, Y, X1, Y1);
    const long double sx = static_cast<long double>(X2) - X1;
    const long double sy = static_cast<long double>(Y2) - Y1;
    const long double t =
        ((static_cast<long double>(X) - X1) * sx + (static_cast<long double>(Y) - Y1) * sy) / (sx * sx + sy * sy);
    if (t > 1) return EndDistance(X, Y, X2, Y2);
    if (t < 0) return EndDistance(X, Y, X1, Y1);
    return IEPointToLineDistance(X, Y, X1, Y1, X2, Y2);
}

double IEPointToPolylineDistance(int32_t X, int32_t Y, const TIEPoint* Points, int32_t Count, int32_t OriginX,
                                 int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY,
                                 int32_t PenWidth, bool Closed) {
    double result = IEFarDistance;
    if (Count <= 0 || Points == nullptr) return result;
    auto map = [&](int32_t i) {
        return TIEPoint{RoundSat((static_cast<long double>(Points[i].X) - OriginX) * ZoomX + OffsetX),
                        RoundSat((static_cast<long double>(Points[i].Y) - OriginY) * ZoomY + OffsetY)};
    };
    auto segment = [&](const TIEPoint& a, const TIEPoint& b) {
        double d = IEPointToSegmentDistance(X, Y, a.X, a.Y, b.X, b.Y);
        if (PenWidth > 1) {
            const int32_t h = PenWidth / 2;
            for (int32_t i = -h; i <= h; ++i)
                for (int32_t j = 2; j <= h; ++j) {
                    const double s = IEPointToSegmentDistance(X, Y, a.X + i, a.Y + j, b.X + i, b.Y + j);
                    if (s < d) d = s;
                }
        }
        if (d < result) result = d;
    };
    TIEPoint first = map(0);
    if (Count == 1) {
        segment(first, first);
        return result;
    }
    TIEPoint prev = first;
    for (int32_t i = 1; i < Count; ++i) {
        const TIEPoint cur = map(i);
        segment(prev, cur);
        prev = cur;
    }
    if (Closed) segment(prev, first);
    return result;
}

double IEDistanceToRectBorder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Inside,
                              int32_t PenWidth) {
    double result = IEFarBorderDistance;
    for (int32_t k = PenLow(PenWidth); k <= PenHigh(PenWidth); ++k) {
        const int32_t l = X1 + k, t = Y1 + k, r = X2 + k, b = Y2 + k;
        const double sides[4] = {IEPointToSegmentDistance(X, Y, l, t, r, t), IEPointToSegmentDistance(X, Y, r, t, r, b),
                                 IEPointToSegmentDistance(X, Y, r, b, l, b), IEPointToSegmentDistance(X, Y, l, b, l, t)};
        for (double d : sides)
            if (d < result) result = d;
        if (Inside && IEPointInRect(X, Y, l, t, r, b)) return 0;
    }
    return result;
}

double IEDistanceToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                           int32_t PenWidth) {
    double result = IEFarBorderDistance;
    for (int32_t k = PenLow(PenWidth); k <= PenHigh(PenWidth); ++k) {
        const int32_t rx = TruncSat((static_cast<int64_t>(X2) - X1) / 2 + k);
        const int32_t ry = TruncSat((static_cast<int64_t>(Y2) - Y1) / 2 + k);
        const int32_t px = TruncSat(static_cast<long double>(X) - (static_cast<int64_t>(X1) + rx) + k);
        const int32_t py = TruncSat(static_cast<long double>(Y) - (static_cast<int64_t>(Y1) + ry) + k);
        // Vertices: the smaller radius times 2 pi (an eighth for the outline), at least 2. A
        // negative radius (a pen offset larger than the ellipse) walks the minimum too.
        int64_t n = static_cast<int64_t>(static_cast<long double>(IEMin(rx, ry)) * 2 * kPi);
        if (!Filled) n /= 8;
        if (n < 2) n = 2;
        if (n > kMaxEllipseSteps) n = kMaxEllipseSteps;
        TIEPoint prev{rx, 0};
        for (int64_t i = 1; i < n; ++i) {
            const long double a = 2 * kPi * static_cast<long double>(i) / static_cast<long double>(n);
            const TIEPoint p{TruncSat(std::cos(a) * rx), TruncSat(std::sin(a) * ry)};
            const double d = Filled ? std::trunc(IEPointToSegmentDistance(px, py, 0, 0, p.X, p.Y))
                                    : IEPointToSegmentDistance(px, py, prev.X, prev.Y, p.X, p.Y);
            if (d < result) result = d;
            prev = p;
        }
    }
    return result;
}

// ---- Angles and rotation ------------------------------------------------------------------

long double IEArcCos(long double X) {
    if (X >= 1) return 0;
    if (X <= -1) return kPi;
    return std::atan2(std::sqrt(1 - X * X), X);
}

double IEAngleBetween(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    const long double ax = static_cast<long double>(X2) - X1, ay = static_cast<long double>(Y2) - Y1;
    const long double bx = static_cast<long double>(X3) - X2, by = static_cast<long double>(Y3) - Y2;
    const long double la = std::sqrt(ax * ax + ay * ay), lb = std::sqrt(bx * bx + by * by);
    if (la == 0 || lb == 0) return 0;
    const long double q = (ax * bx + ay * by) / (la * lb);
    if (q < -1 || q > 1) return 0;
    return static_cast<double>(IEArcCos(q));
}

double IEAngleOfSegment(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const long double dx = static_cast<long double>(X2) - X1;
    const long double up = static_cast<long double>(Y1) - Y2;   // screen y grows downwards
    if (up == 0) return dx < 0 ? static_cast<double>(kPi) : 0.0;
    if (dx == 0) return static_cast<double>(up > 0 ? kPi / 2 : 3 * kPi / 2);
    long double a = std::atan2(up, dx);
    if (a < 0) a += 2 * kPi;
    const double r = static_cast<double>(a);
    return r < 2 * static_cast<double>(kPi) ? r : 0.0;
}

int32_t IETurnDirection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    const long double d1x = static_cast<long double>(X2) - X1, d1y = static_cast<long double>(Y2) - Y1;
    const long double d2x = static_cast<long double>(X3) - X1, d2y = static_cast<long double>(Y3) - Y1;
    if (d1y * d2x < d1x * d2y) return 1;
    if (d1x * d2y < d1y * d2x) return -1;
    if (d1x * d2x < 0 || d1y * d2y < 0) return -1;
    return d1x * d1x + d1y * d1y < d2x * d2x + d2y * d2y ? 1 : 0;
}

double IETriangleAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    auto side = [](int32_t AX, int32_t AY, int32_t BX, int32_t BY) {
        const long double d = DistanceL(AX, AY, BX, BY);
        return d == 0 ? 1.0L : d;
    };
    const long double a = side(X2, Y2, X3, Y3), b = side(X1, Y1, X3, Y3), c = side(X1, Y1, X2, Y2);
    long double angle = IEArcCos((a * a + c * c - b * b) / (2 * a * c));
    if (IETurnDirection(X1, Y1, X2, Y2, X3, Y3) == -1) angle = 2 * kPi - angle;
    return static_cast<double>(angle);
}

void IERotatePoints(TIEPoint* Points, int32_t HighIndex, int32_t CenterX, double Angle, int32_t CenterY) {
    const long double a = -static_cast<long double>(Angle) * kPi / 180;
    const long double ca = std::cos(a), sa = std::sin(a);
    for (int32_t i = 0; i <= HighIndex; ++i) {
        const long double x = static_cast<long double>(Points[i].X) - CenterX;
        const long double y = static_cast<long double>(Points[i].Y) - CenterY;
        Points[i].X = TruncSat(CenterX + std::trunc(ca * x - sa * y));
        Points[i].Y = TruncSat(CenterY + std::trunc(sa * x + ca * y));
    }
}

namespace {

// The even-odd crossing test over Count vertices given by Vertex(i, x, y).
template <class TVertex>
bool CrossingTest(long double X, long double Y, int32_t Count, TVertex Vertex) {
    if (Count <= 0) return false;
    bool inside = false;
    long double xj, yj;
    Vertex(Count - 1, xj, yj);
    for (int32_t i = 0; i < Count; ++i) {
        long double xi, yi;
        Vertex(i, xi, yi);
        if (((Y >= yi && Y < yj) || (Y >= yj && Y < yi)) && X < xi + (xj - xi) * (Y - yi) / (yj - yi))
            inside = !inside;
        xj = xi;
        yj = yi;
    }
    return inside;
}

}   // namespace

bool IEPointInPolygon(int32_t X, int32_t Y, const TIEPoint* Points, int32_t HighIndex) {
    if (HighIndex < 0 || Points == nullptr) return false;
    return CrossingTest(X, Y, HighIndex + 1, [&](int32_t i, long double& vx, long double& vy) {
        vx = Points[i].X;
        vy = Points[i].Y;
    });
}

bool IEPointInPolygonScaled(int32_t X, int32_t Y, const TIEPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY) {
    if (Count <= 0 || Points == nullptr) return false;
    return CrossingTest(X, Y, Count, [&](int32_t i, long double& vx, long double& vy) {
        vx = (static_cast<long double>(Points[i].X) - OriginX) * ZoomX + OffsetX;
        vy = (static_cast<long double>(Points[i].Y) - OriginY) * ZoomY + OffsetY;
    });
}

// ---- Fitting and orientation ------------------------------------------------------------------

void IEFitRect(int32_t ImageWidth, int32_t ImageHeight, int32_t BoxWidth, int32_t BoxHeight, int32_t OffsetX,
               int32_t OffsetY, bool AllowEnlarge, bool AllowShrink, bool CenterH, bool CenterV,
               int32_t CropPercent, bool Fill, TIERect& Rect) {
    if (ImageWidth == 0 || ImageHeight == 0 || BoxWidth == 0 || BoxHeight == 0) {
        Rect = TIERect{OffsetX, OffsetY, 0, 0};
        return;
    }
    const long double iw = ImageWidth, ih = ImageHeight, bw = BoxWidth, bh = BoxHeight;
    bool widthLimited = iw / bw > ih / bh;
    if (Fill) widthLimited = !widthLimited;
    // The limiting side (a) and the other (b) of image and box.
    const long double ia = widthLimited ? iw : ih, ib = widthLimited ? ih : iw;
    const long double ba = widthLimited ? bw : bh, bb = widthLimited ? bh : bw;
    int32_t sa = widthLimited ? ImageWidth : ImageHeight;
    int32_t sb = widthLimited ? ImageHeight : ImageWidth;
    if (ia > ba ? AllowShrink : AllowEnlarge) {
        long double scale = ba / ia;
        if (CropPercent > 0) {
            // Cropping enlarges the image by the cropped share of its limiting side, as long as
            // the other side still fits the box.
            scale = ba / ((100 - CropPercent) * ia / 100);
            if (ib * scale > bb) scale = bb / ib;
        }
        sa = RoundSat(ia * scale);
        sb = RoundSat(ib * scale);
    }
    const int32_t width = widthLimited ? sa : sb;
    const int32_t height = widthLimited ? sb : sa;
    Rect.Left = OffsetX + (CenterH ? TruncSat(bw / 2 - static_cast<long double>(width) / 2) : 0);
    Rect.Top = OffsetY + (CenterV ? TruncSat(bh / 2 - static_cast<long double>(height) / 2) : 0);
    Rect.Right = Rect.Left + width;
    Rect.Bottom = Rect.Top + height;
}

void IEGetFittedSize(int32_t ImageWidth, int32_t ImageHeight, int32_t BoxWidth, int32_t BoxHeight,
                     bool AllowEnlarge, bool Fill, TIESize& Size) {
    TIERect r;
    IEFitRect(ImageWidth, ImageHeight, BoxWidth, BoxHeight, 0, 0, AllowEnlarge, true, false, false, 0, Fill, r);
    Size.cx = r.Right;
    Size.cy = r.Bottom;
}

void IEFitSizeKeepAspect(int32_t SrcWidth, int32_t SrcHeight, int32_t MaxWidth, int32_t MaxHeight,
                         int32_t& Width, int32_t& Height) {
    if (SrcWidth == 0 || SrcHeight == 0) return;
    const long double s = std::fmin(static_cast<long double>(MaxWidth) / SrcWidth,
                                    static_cast<long double>(MaxHeight) / SrcHeight);
    Width = IEMax(TruncSat(SrcWidth * s), 1);
    Height = IEMax(TruncSat(SrcHeight * s), 1);
}

namespace {

// Pixel SX of row Src to pixel DX of row Dst: whole-byte pixels as bytes, 1-bit pixels bit by bit.
inline void CopyPixel(uint8_t* Dst, int32_t DX, const uint8_t* Src, int32_t SX, int32_t Bits) {
    if (Bits == 1) {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (DX & 7));
        if (Src[SX >> 3] & (0x80 >> (SX & 7))) Dst[DX >> 3] |= mask;
        else Dst[DX >> 3] &= static_cast<uint8_t>(~mask);
        return;
    }
    const size_t bytes = static_cast<size_t>(Bits / 8);
    std::memcpy(Dst + static_cast<size_t>(DX) * bytes, Src + static_cast<size_t>(SX) * bytes, bytes);
}

// Rows of the destination built in memory per band for the quarter turns, so that each source row
// is fetched once per band (a file-located bitmap maps one row at a time).
constexpr size_t kOrientBandBytes = 16 << 20;

// Copies Source into Dest turned by an EXIF orientation (2..8): Dest(x, y) = Source(sx, sy).
void CopyOriented(TIEBitmap* Source, TIEBitmap* Dest, int32_t Orientation) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const int32_t bits = Source->GetBitCount();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    if (Orientation <= 4) {
        // Each destination row comes from one source row, mirrored or not.
        const bool mirror = Orientation != 4;
        const bool upsideDown = Orientation != 2;
        for (int32_t y = 0; y < dh; ++y) {
            const uint8_t* src = Source->GetScanline(upsideDown ? h - 1 - y : y);
            uint8_t* dst = Dest->GetScanline(y);
            for (int32_t x = 0; x < dw; ++x) CopyPixel(dst, x, src, mirror ? w - 1 - x : x, bits);
        }
        return;
    }
    // A quarter turn: destination row y is source column sx(y), destination column dx(sy).
    const bool columnFromTop = Orientation == 5 || Orientation == 8;   // dx = sy, else h - 1 - sy
    const bool rowFromLeft = Orientation == 5 || Orientation == 6;     // sx = y, else w - 1 - y
    const size_t rowLen = static_cast<size_t>(Dest->GetRowLen());
    const int32_t band = static_cast<int32_t>(std::max<size_t>(1, std::min<size_t>(dh, kOrientBandBytes / rowLen)));
    std::vector<uint8_t> buffer(rowLen * static_cast<size_t>(band));
    for (int32_t y0 = 0; y0 < dh; y0 += band) {
        const int32_t rows = std::min(band, dh - y0);
        std::fill(buffer.begin(), buffer.end(), 0);
        for (int32_t sy = 0; sy < h; ++sy) {
            const uint8_t* src = Source->GetScanline(sy);
            const int32_t dx = columnFromTop ? sy : h - 1 - sy;
            for (int32_t r = 0; r < rows; ++r) {
                const int32_t y = y0 + r;
                CopyPixel(buffer.data() + rowLen * static_cast<size_t>(r), dx, src, rowFromLeft ? y : w - 1 - y, bits);
            }
        }
        for (int32_t r = 0; r < rows; ++r)
            std::memcpy(Dest->GetScanline(y0 + r), buffer.data() + rowLen * static_cast<size_t>(r), rowLen);
    }
}

std::unique_ptr<TIEBitmap> Oriented(TIEBitmap* Source, int32_t Orientation) {
    const bool swap = Orientation >= 5;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    auto result = std::make_unique<TIEBitmap>(swap ? h : w, swap ? w : h, Source->GetPixelFormat());
    CopyOriented(Source, result.get(), Orientation);
    return result;
}

}   // namespace

void IEApplyOrientation(TIEBitmap* Bitmap, int32_t Orientation) {
    if (Bitmap == nullptr || Orientation < 2 || Orientation > 8 || Bitmap->IsEmpty()) return;
    if (Bitmap->GetBitCount() != 1 && Bitmap->GetBitCount() % 8 != 0) return;
    std::unique_ptr<TIEBitmap> turned = Oriented(Bitmap, Orientation);
    Bitmap->CopyPaletteTo(turned.get());
    if (Bitmap->HasAlphaChannel()) turned->ReplaceAlphaChannel(Oriented(Bitmap->GetAlphaChannel(), Orientation).release());
    turned->MoveTo(Bitmap);
}
