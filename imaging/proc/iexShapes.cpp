// The shapes' point tables and box handling.
#include "iexShapes.h"

#include <algorithm>
#include <cmath>

namespace {

// A point of a shape in the unit square, y pointing down, kept in extended precision.
struct TUnitPoint {
    long double X;
    long double Y;
};

const TUnitPoint kStar5[] = {{0.5L, 0}, {0.62L, 0.36L}, {1, 0.36L}, {0.7L, 0.59L}, {0.81L, 0.95L}, {0.5L, 0.73L},
                             {0.19L, 0.95L}, {0.31L, 0.59L}, {0, 0.36L}, {0.39L, 0.36L}, {0.5L, 0}};
const TUnitPoint kStar6[] = {{0.5L, 0}, {0.625L, 0.25L}, {0.9L, 0.25L}, {0.75L, 0.5L}, {0.9L, 0.75L},
                             {0.625L, 0.75L}, {0.5L, 1}, {0.375L, 0.75L}, {0.1L, 0.75L}, {0.25L, 0.5L},
                             {0.1L, 0.25L}, {0.375L, 0.25L}, {0.5L, 0}};
const TUnitPoint kArrow[] = {{0, 0}, {0.4L, 0}, {0.3L, 0.1L}, {1, 0.8L}, {0.8L, 1}, {0.1L, 0.3L}, {0, 0.4L}, {0, 0}};
const TUnitPoint kFeatheredArrow[] = {
    {0.85L, 1},      {0.8L, 0.95L},   {0.8L, 0.85L},   {0.775L, 0.825L}, {0.775L, 0.925L}, {0.725L, 0.875L},
    {0.725L, 0.775L}, {0.7L, 0.75L},  {0.7L, 0.85L},   {0.65L, 0.8L},    {0.65L, 0.7L},    {0.15L, 0.2L},
    {0.15L, 0.3L},   {0, 0.15L},      {0, 0},          {0.15L, 0},       {0.3L, 0.15L},    {0.2L, 0.15L},
    {0.7L, 0.65L},   {0.8L, 0.65L},   {0.85L, 0.7L},   {0.75L, 0.7L},    {0.775L, 0.725L}, {0.875L, 0.725L},
    {0.925L, 0.775L}, {0.825L, 0.775L}, {0.85L, 0.8L}, {0.95L, 0.8L},    {1, 0.85L},       {0.85L, 0.85L},
    {0.85L, 1}};
const TUnitPoint kLightning[] = {{1, 0.19L},     {0.61L, 0.01L}, {0.41L, 0.29L}, {0.49L, 0.31L},
                                 {0.23L, 0.55L}, {0.33L, 0.6L},  {0, 1},         {0.51L, 0.69L},
                                 {0.46L, 0.65L}, {0.78L, 0.45L}, {0.66L, 0.39L}, {1, 0.19L}};
const TUnitPoint kExplosion[] = {
    {0.33L, 0},     {0.5L, 0.26L},  {0.62L, 0.11L}, {0.67L, 0.28L}, {0.99L, 0.1L},  {0.78L, 0.35L}, {1, 0.39L},
    {0.84L, 0.54L}, {0.99L, 0.66L}, {0.75L, 0.64L}, {0.78L, 0.81L}, {0.65L, 0.71L}, {0.61L, 1},     {0.51L, 0.69L},
    {0.38L, 0.89L}, {0.35L, 0.66L}, {0.17L, 0.83L}, {0.22L, 0.59L}, {0, 0.61L},     {0.19L, 0.48L}, {0.04L, 0.37L},
    {0.22L, 0.34L}, {0.16L, 0.2L},  {0.35L, 0.25L}, {0.33L, 0.01L}};

enum TBoxHandling { bhSquare, bhWidthAtMostHeight, bhWhole };

struct TPolygonShape {
    const TUnitPoint* Points;
    int32_t Count;
    bool MirrorX;
    bool MirrorY;
    TBoxHandling Box;
};

template <size_t N>
constexpr TPolygonShape Shape(const TUnitPoint (&points)[N], bool mirrorX, bool mirrorY, TBoxHandling box)
{
    return TPolygonShape{points, (int32_t)N, mirrorX, mirrorY, box};
}

// Kinds 0 to 14; the cross (10) has no table.
const TPolygonShape kPolygonShapes[15] = {
    Shape(kStar5, false, false, bhSquare),
    Shape(kStar6, false, false, bhSquare),
    Shape(kArrow, false, false, bhSquare),
    Shape(kArrow, true, false, bhSquare),
    Shape(kArrow, false, true, bhSquare),
    Shape(kArrow, true, true, bhSquare),
    Shape(kLightning, false, false, bhWidthAtMostHeight),
    Shape(kLightning, true, false, bhWidthAtMostHeight),
    Shape(kExplosion, false, false, bhWhole),
    Shape(kExplosion, true, true, bhWhole),
    TPolygonShape{nullptr, 0, false, false, bhWhole},
    Shape(kFeatheredArrow, false, false, bhSquare),
    Shape(kFeatheredArrow, true, false, bhSquare),
    Shape(kFeatheredArrow, false, true, bhSquare),
    Shape(kFeatheredArrow, true, true, bhSquare),
};

// Round to nearest, halves to even, into 32 bits.
int32_t RoundL(long double value)
{
    return (int32_t)std::llrint(value);
}

} // namespace

void IEFitSquare(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height)
{
    int32_t m = std::min(Width, Height);
    Left += (Width - m) / 2;
    Top += (Height - m) / 2;
    Width = m;
    Height = m;
}

void IEPolarPoint(TIEPoint Center, uint16_t Radius, TIEPoint& P, double AngleDeg)
{
    const double pi = 3.14159265358979323846;
    double a = (AngleDeg - 90) * pi / 180;
    P.X = (int32_t)std::llrint(std::cos(a) * Radius + Center.X);
    P.Y = (int32_t)std::llrint(std::sin(a) * Radius + Center.Y);
}

bool IEShapeIsPolygon(uint8_t Kind)
{
    Kind &= 127;
    return Kind <= 14 && Kind != IEShapeCross;
}

std::vector<TIEPoint> IEShapePolygon(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    std::vector<TIEPoint> points;
    if (!IEShapeIsPolygon(Kind))
        return points;
    const TPolygonShape& shape = kPolygonShapes[Kind & 127];
    switch (shape.Box) {
    case bhSquare:
        IEFitSquare(Left, Top, Width, Height);
        break;
    case bhWidthAtMostHeight:
        if (Width > Height) {
            Left += (Width - Height) / 2;
            Width = Height;
        }
        break;
    case bhWhole:
        break;
    }
    points.reserve(shape.Count);
    for (int32_t i = 0; i < shape.Count; ++i) {
        long double tx = shape.MirrorX ? 1 - shape.Points[i].X : shape.Points[i].X;
        long double ty = shape.MirrorY ? 1 - shape.Points[i].Y : shape.Points[i].Y;
        points.push_back(TIEPoint{Left + RoundL((long double)(Width - 1) * tx),
                                  Top + RoundL((long double)(Height - 1) * ty)});
    }
    return points;
}

TIECrossBars IECrossBars(int32_t Left, int32_t Top, int32_t Width, int32_t Height, float Position)
{
    int32_t w34 = RoundL(Height * 0.75L);
    if (Width > w34) {
        Left += (Width - w34) / 2;
        Width = w34;
    }
    int32_t t = std::min(RoundL(Width * 0.2L), RoundL(Height * 0.22L));
    int32_t vx = Left + (Width - t) / 2;
    int32_t vy = Top + RoundL((long double)(Height - t) * (long double)Position);
    return TIECrossBars{TIERect{vx, Top, vx + t, Top + Height}, TIERect{Left, vy, Left + Width, vy + t}};
}

TIEHeartParts IEHeartParts(int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    int32_t m = std::min(Width, Height);
    Left += (Width - m) / 2;
    Top += (Height - m) / 2;
    int32_t h = m / 2, q = m / 4, d = h + 2, r = d / 2;
    // The lower tangent points of the lobes, at the directions (-0.8, 0.6) and (0.8, 0.6) from
    // their centres.
    TIEPoint p1{}, p2{};
    uint16_t radius = (uint16_t)std::min(std::max(r - 1, 0), 65535);
    IEPolarPoint(TIEPoint{q, q}, radius, p1, 233.14);
    IEPolarPoint(TIEPoint{m - q, q}, radius, p2, 126.86);
    TIEHeartParts parts;
    parts.LeftLobe = TIERect{Left, Top, Left + d, Top + d};
    parts.RightLobe = TIERect{Left + m - d, Top, Left + m, Top + d};
    parts.Triangle[0] = TIEPoint{Left + p1.X, Top + p1.Y};
    parts.Triangle[1] = TIEPoint{Left + p2.X, Top + p2.Y};
    parts.Triangle[2] = TIEPoint{Left + h, Top + m};
    parts.Notch = TIERect{Left + r, Top + r, Left + m - r, Top + d};
    return parts;
}
