// GDI regions of the decorative shapes.
#include "iexShapes_win.h"


namespace {

HRGN PolygonRegion(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    std::vector<TIEPoint> points = IEShapePolygon(Kind, Left, Top, Width, Height);
    static_assert(sizeof(TIEPoint) == sizeof(POINT), "TIEPoint is laid out as POINT");
    return CreatePolygonRgn(reinterpret_cast<const POINT*>(points.data()), (int)points.size(), WINDING);
}

HRGN RectRegion(const TIERect& r)
{
    return CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
}

HRGN EllipseRegion(const TIERect& r)
{
    return CreateEllipticRgn(r.Left, r.Top, r.Right, r.Bottom);
}

} // namespace

HRGN IEJoinRegion(HRGN Into, HRGN Part, int Mode)
{
    if (!Into)
        return Part;
    if (Part) {
        CombineRgn(Into, Into, Part, Mode);
        DeleteObject(Part);
    }
    return Into;
}

HRGN IECreateStar5Region(int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    return PolygonRegion(IEShapeStar5, Left, Top, Width, Height);
}

HRGN IECreateStar6Region(int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    return PolygonRegion(IEShapeStar6, Left, Top, Width, Height);
}

HRGN IECreateArrowRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Variant)
{
    return PolygonRegion((uint8_t)(IEShapeArrow + (Variant & 3)), Left, Top, Width, Height);
}

HRGN IECreateFeatheredArrowRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t Variant)
{
    return PolygonRegion((uint8_t)(IEShapeFeatheredArrow + (Variant & 3)), Left, Top, Width, Height);
}

HRGN IECreateLightningRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, bool Mirrored)
{
    return PolygonRegion(Mirrored ? IEShapeLightningMirrored : IEShapeLightning, Left, Top, Width, Height);
}

HRGN IECreateExplosionRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, bool Turned)
{
    return PolygonRegion(Turned ? IEShapeExplosionTurned : IEShapeExplosion, Left, Top, Width, Height);
}

HRGN IECreateCrossRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height, float Position)
{
    TIECrossBars bars = IECrossBars(Left, Top, Width, Height, Position);
    return IEJoinRegion(RectRegion(bars.Vertical), RectRegion(bars.Horizontal), RGN_OR);
}

HRGN IECreateHeartRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    TIEHeartParts parts = IEHeartParts(Left, Top, Width, Height);
    HRGN region = EllipseRegion(parts.LeftLobe);
    region = IEJoinRegion(region, EllipseRegion(parts.RightLobe), RGN_OR);
    region = IEJoinRegion(region,
                          CreatePolygonRgn(reinterpret_cast<const POINT*>(parts.Triangle), 3, WINDING), RGN_OR);
    return IEJoinRegion(region, RectRegion(parts.Notch), RGN_OR);
}

HRGN IECreateShapeRegion(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height)
{
    uint8_t kind = Kind & 127;
    if (kind == IEShapeCross)
        return IECreateCrossRegion(Left, Top, Width, Height, IECrossBarPosition);
    if (kind == IEShapeHeart)
        return IECreateHeartRegion(Left, Top, Width, Height);
    if (IEShapeIsPolygon(kind))
        return PolygonRegion(kind, Left, Top, Width, Height);
    return nullptr;
}
