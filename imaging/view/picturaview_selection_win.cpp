// Selections of the viewer: the polygon that describes the outline being drawn or moved (in the
// current layer's bitmap coordinates), the ways a selection is built (rectangle, ellipse, polygon,
// lasso, magic wand), moved and resized by its grips, the mask it is filled into, and the moving
// dashed outline with its grips and grid.
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "Clock.h"
#include "iecoreutils_general.h"
#include "iecoreutils_geometry.h"
#include "picturaproc_magicwand.h"
#include "picturaview_control.h"

namespace {

constexpr int32_t kBreak = IEMaskPolygonBreak;
constexpr double kPi = 3.14159265358979323846;

bool IsBreak(const POINT& P) { return P.x == kBreak && P.y == kBreak; }

struct TDashWalk {
    int32_t* Counter;
    const std::function<void(int32_t, int32_t, bool)>* Plot;
};

// One dot of a dashed line: four dots of colour 1, then four of colour 2.
void CALLBACK IEDashedLineProc(int X, int Y, LPARAM Data) {
    auto* w = reinterpret_cast<TDashWalk*>(Data);
    int32_t& c = *w->Counter;
    (*w->Plot)(X, Y, c <= 3);
    c = c > 6 ? 0 : c + 1;
}

TIEGrip SwapLeftRight(TIEGrip G) {
    switch (G) {
        case ieTopLeft: return ieTopRight;
        case ieTopRight: return ieTopLeft;
        case ieBottomLeft: return ieBottomRight;
        case ieBottomRight: return ieBottomLeft;
        case ieLeftSide: return ieRightSide;
        case ieRightSide: return ieLeftSide;
        default: return G;
    }
}

TIEGrip SwapTopBottom(TIEGrip G) {
    switch (G) {
        case ieTopRight: return ieBottomRight;
        case ieBottomRight: return ieTopRight;
        case ieTopLeft: return ieBottomLeft;
        case ieBottomLeft: return ieTopLeft;
        case ieTopSide: return ieBottomSide;
        case ieBottomSide: return ieTopSide;
        default: return G;
    }
}

}  // namespace

bool IEIsRectPolygon(const POINT* Points, int32_t Count) {
    if (Count != 4 || !Points) return false;
    // Either the first edge is horizontal and the next vertical, or the other way round.
    const POINT* p = Points;
    const bool hv = p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
    const bool vh = p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y;
    return hv || vh;
}

void IEDashedLineDots(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t& Counter,
                      const std::function<void(int32_t X, int32_t Y, bool InColour1)>& Plot) {
    TDashWalk w{&Counter, &Plot};
    LineDDA(X1, Y1, X2, Y2, IEDashedLineProc, reinterpret_cast<LPARAM>(&w));
}

// ---- The polygon record ------------------------------------------------------------------------

bool TPicturaView::IsSelectionRect() const {
    return IEIsRectPolygon(SelectionPolygon.data(), int32_t(SelectionPolygon.size()));
}

namespace {

// The bounding box of the points, separators excluded.
RECT PolygonBox(const std::vector<POINT>& Points) {
    RECT r{0, 0, 0, 0};
    bool first = true;
    for (const POINT& p : Points) {
        if (IsBreak(p)) continue;
        if (first) {
            r = RECT{p.x, p.y, p.x, p.y};
            first = false;
        } else {
            r.left = std::min<LONG>(r.left, p.x);
            r.top = std::min<LONG>(r.top, p.y);
            r.right = std::max<LONG>(r.right, p.x);
            r.bottom = std::max<LONG>(r.bottom, p.y);
        }
    }
    return r;
}

}  // namespace

void TPicturaView::CreatePolygonRecord(TColor Color1, TColor Color2, bool Animated, bool Sizeable) {
    SelectionPolygon.clear();
    SelectionPolygonBox = RECT{0, 0, 0, 0};
    FSelColor1 = Color1;
    FSelColor2 = Color2;
    FSelAnimated = Animated;
    FSelSizeable = Sizeable;
    FSelVisible = false;
    if (FHasOwner || HasParentWindow()) CreateSelectionTimer();
}

void TPicturaView::AddPolygonPointAndPaint(int32_t X, int32_t Y) {
    AddPolygonPoint(X, Y);
    if (FPaintLock == 0) Paint();
}

void TPicturaView::ClearPolygon() {
    SelectionPolygon.clear();
    SelectionPolygonBox = RECT{0, 0, 0, 0};
    if (FPaintLock == 0) Paint();
}

void TPicturaView::AddPolygonPoint(int32_t X, int32_t Y) {
    const bool firstPoint =
        std::none_of(SelectionPolygon.begin(), SelectionPolygon.end(), [](const POINT& p) { return !IsBreak(p); });
    SelectionPolygon.push_back(POINT{X, Y});
    if (!(X == kBreak && Y == kBreak)) {
        RECT& b = SelectionPolygonBox;
        if (firstPoint) {
            b = RECT{X, Y, X, Y};
        } else {
            b.left = std::min<LONG>(b.left, X);
            b.top = std::min<LONG>(b.top, Y);
            b.right = std::max<LONG>(b.right, X);
            b.bottom = std::max<LONG>(b.bottom, Y);
        }
    }
    FSelected = true;
}

void TPicturaView::AddPolygonSeparator() {
    if (SelectionPolygon.empty() || !IsBreak(SelectionPolygon.back())) SelectionPolygon.push_back(POINT{kBreak, kBreak});
}

void TPicturaView::StartSubPolygon() {
    if (!SelectionPolygon.empty()) AddPolygonSeparator();
}

void TPicturaView::RemoveLastPolygonPoint() {
    if (!SelectionPolygon.empty()) SelectionPolygon.pop_back();
    while (!SelectionPolygon.empty() && IsBreak(SelectionPolygon.back())) SelectionPolygon.pop_back();
    SelectionPolygonBox = PolygonBox(SelectionPolygon);
}

void TPicturaView::RemoveLastSubPolygon() {
    while (!SelectionPolygon.empty() && !IsBreak(SelectionPolygon.back())) SelectionPolygon.pop_back();
    if (!SelectionPolygon.empty()) SelectionPolygon.pop_back();   // the separator
    if (SelectionPolygon.empty()) {
        ClearPolygon();
        return;
    }
    SelectionPolygonBox = PolygonBox(SelectionPolygon);
    if (FPaintLock == 0) Paint();
}

void TPicturaView::TranslatePolygon(int32_t DX, int32_t DY, bool Cut) {
    if (FPaintLock == 0) Paint();
    const int32_t w = GetIEBitmap()->GetWidth(), h = GetIEBitmap()->GetHeight();
    RECT& b = SelectionPolygonBox;
    // Without Cut the box stays inside the image; with Cut only a box that would leave the image
    // completely is held back at its edge.
    auto clampAxis = [](int32_t D, int32_t Lo, int32_t Hi, int32_t Size, bool Cut, bool& Impossible) {
        const bool outside = Hi + D <= 0 || Lo + D >= Size;
        if (Cut && !outside) return D;
        if (Hi - Lo > Size) {
            Impossible = true;
            return 0;
        }
        return std::max(-Lo, std::min(D, Size - Hi));
    };
    bool impossible = false;
    DX = clampAxis(DX, b.left, b.right, w, Cut, impossible);
    DY = clampAxis(DY, b.top, b.bottom, h, Cut, impossible);
    if (impossible) return;
    auto cx = [w](int32_t V) { return std::max(0, std::min(V, w)); };
    auto cy = [h](int32_t V) { return std::max(0, std::min(V, h)); };
    b = RECT{cx(b.left + DX), cy(b.top + DY), cx(b.right + DX), cy(b.bottom + DY)};
    for (POINT& p : SelectionPolygon) {
        if (IsBreak(p)) continue;
        p.x = cx(p.x + DX);
        p.y = cy(p.y + DY);
    }
}

void TPicturaView::ShowSelectionPolygon(bool Draw) {
    FSelVisible = true;
    if (Draw) DrawSelection(true);
}

void TPicturaView::HideSelectionPolygon(bool Repaint) {
    FSelVisible = false;
    if (Repaint && FPaintLock == 0) Paint();
}

void TPicturaView::SetSelectionOptions(TIESelectionOptions Value) {
    FSelectionOptions = Value;
    FSelAnimated = (Value & iesoAnimated) != 0;
    FSelSizeable = (Value & iesoSizeable) != 0;
    FUpdateReason = 3;
    Update();
}

void TPicturaView::SetSelectionColor1(TColor Value) {
    FSelColor1 = Value;
    OutlineColor1 = Value;
}

void TPicturaView::SetSelectionColor2(TColor Value) {
    FSelColor2 = Value;
    OutlineColor2 = Value;
}

// ---- Building selections -----------------------------------------------------------------------

namespace {

// The rectangle shifted, not cut, to lie inside a W x H image.
void IEKeepRectInBounds(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, int32_t W, int32_t H) {
    if (X1 < 0) { X2 -= X1; X1 = 0; }
    if (Y1 < 0) { Y2 -= Y1; Y1 = 0; }
    if (X2 >= W) { X1 -= X2 - (W - 1); X2 = W - 1; }
    if (Y2 >= H) { Y1 -= Y2 - (H - 1); Y2 = H - 1; }
}

// A rectangle of height-to-width ratio C that crosses the side of a W x H image is shortened on
// the other axis so that the ratio holds at the side (the first crossing found is corrected).
void IEKeepRatioInBounds(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, double C, int32_t W, int32_t H) {
    if (Y2 >= H)
        X2 = IERound((C * X1 + H - Y1 - 1) / C);
    else if (Y1 < 0)
        X1 = IERound((C * X2 - Y2) / C);
    else if (X2 >= W)
        Y2 = IERound(C * (W - X1 - 1) + Y1);
    else if (X1 < 0)
        Y1 = IERound(Y2 - C * X2);
}

// The mask sized as the image (cleared when its size changes).
TIEMask* SizedMask(TIEMask* Mask, TIEBitmap* Image, int32_t BitsPerPixel) {
    if (Mask->Width != Image->GetWidth() || Mask->Height != Image->GetHeight() || !Mask->HasBits())
        Mask->Allocate(Image->GetWidth(), Image->GetHeight(), BitsPerPixel);
    return Mask;
}

}  // namespace

bool TPicturaView::BuildRectSelection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square,
                                      bool KeepInside) {
    if (X1 == X2 || Y1 == Y2) return false;
    if (FSelectionBase != iesbBitmap) {
        TIELayer* l = GetCurrentLayer();
        X1 = l->ScreenToBitmapX(X1);
        Y1 = l->ScreenToBitmapY(Y1);
        X2 = l->ScreenToBitmapX(X2);
        Y2 = l->ScreenToBitmapY(Y2);
    }
    const int32_t w = GetIEBitmap()->GetWidth(), h = GetIEBitmap()->GetHeight();
    FSelected = true;
    if (Op == 1 && !SelectionPolygon.empty())
        AddPolygonSeparator();
    else
        ClearPolygon();
    if (Op == 0) SizedMask(FSelectionMask.get(), GetIEBitmap(), FMaskBitsPerPixel)->Clear();
    const double r = SelectionAspectRatio;
    if (Square && r == -1) {
        Y2 = Y1 + (X2 - X1);
    } else if (r > 0) {
        Y2 = IERound((X2 - X1) * r) + Y1;
        if (Y2 >= h)
            X2 = IERound((h - 1 - Y1 + X1 * r) / r);
        else if (Y2 < 0)
            X2 = IERound((X1 * r - Y1) / r);
    }
    if (KeepInside) IEKeepRectInBounds(X1, Y1, X2, Y2, w, h);
    IEOrderCorners(X1, Y1, X2, Y2);
    X1 = std::max(0, std::min(X1, w - 1));
    Y1 = std::max(0, std::min(Y1, h - 1));
    X2 = std::max(0, std::min(X2, w));
    Y2 = std::max(0, std::min(Y2, h));
    AddPolygonPoint(X1, Y1);
    AddPolygonPoint(X2, Y1);
    AddPolygonPoint(X2, Y2);
    AddPolygonPoint(X1, Y2);
    ShowSelectionPolygon(true);
    return true;
}

void TPicturaView::SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op) {
    // A rectangle of no width or height leaves the selection as it is.
    if (X1 == X2 || Y1 == Y2) return;
    if (FIsNavigator) HoldPaint();
    BuildRectSelection(X1, Y1, X2, Y2, Op, false, false);
    if (Op == 0) FSelectionMask->Clear();
    ApplyPolygonToMask();
    if (FIsNavigator) {
        ReleasePaintNoUpdate();
        DrawSelection(false);
        Paint();
        DrawSelection(false);
    } else {
        SetBackBufferDirty();
        Paint();
    }
}

void TPicturaView::AddSelectionPointNoPaint(int32_t X, int32_t Y) {
    if (FSelectionBase != iesbBitmap) {
        TIELayer* l = GetCurrentLayer();
        X = std::max(0, std::min(l->ScreenToBitmapX(X), GetIEBitmap()->GetWidth()));
        Y = std::max(0, std::min(l->ScreenToBitmapY(Y), GetIEBitmap()->GetHeight()));
    }
    AddPolygonPointAndPaint(X, Y);
    ShowSelectionPolygon(true);
}

void TPicturaView::AddSelectionPoint(int32_t X, int32_t Y) {
    AddSelectionPointNoPaint(X, Y);
    SetBackBufferDirty();
    Paint();
}

void TPicturaView::ApplyPolygonToMask() {
    TIEMask* m = SizedMask(FSelectionMask.get(), GetIEBitmap(), FMaskBitsPerPixel);
    std::vector<TIEMaskPoint> pts;
    pts.reserve(SelectionPolygon.size());
    for (const POINT& p : SelectionPolygon) pts.push_back(TIEMaskPoint{int32_t(p.x), int32_t(p.y)});
    if (!pts.empty()) m->FillPolygons(FMaskFillValue, pts.data(), int32_t(pts.size()));
    if (m->IsEmpty()) {
        FSelected = false;
        ClearPolygon();
    }
}

void TPicturaView::Deselect() {
    if (FSelected) {
        FSelected = false;
        HideSelectionPolygon(true);
    }
    ClearPolygon();
    FSelectionMask->Clear();
    FSelected = FPolygonSelecting = FLasso = FRectSelecting = FEllipseSelecting = false;
    FSelGrip = ieNone;
    FMoveState = -1;
    RestoreCursor();
    FUpdateReason = 3;
    Update();
}

void TPicturaView::UpdateRectSelection(int32_t X, int32_t Y, TShiftState Shift) {
    AutoScrollDrag();
    if (SelectionAspectRatio == 0) {
        // A rectangle of the fixed size centred on the mouse.
        const int32_t hw = IERound(FixedSelectionWidth * FGeom.ZoomFactorX) / 2;
        const int32_t hh = IERound(FixedSelectionHeight * FGeom.ZoomFactorY) / 2;
        FPressX = X - hw;
        FPressY = Y - hh;
        X = X + hw - 1;
        Y = Y + hh - 1;
    }
    int32_t op = 0;
    if ((Shift & ssShift) && AdditiveSelection) {
        if (int32_t(SelectionPolygon.size()) > FPressPolyCount) RemoveLastSubPolygon();
        op = 1;
    }
    BuildRectSelection(FPressX, FPressY, X, Y, op, (Shift & ssAlt) || ConstrainSelection,
                       (FSelectionOptions & iesoSizeable) == 0);
    FireSelectionEvent(OnSelectionChanging);
}

void TPicturaView::UpdateEllipseSelection(int32_t X, int32_t Y, TShiftState Shift) {
    AutoScrollDrag();
    int32_t cx = FPressX, cy = FPressY;
    if (SelectionAspectRatio == 0) {
        cx = X;
        cy = Y;
        X += IERound(FixedSelectionWidth * FGeom.ZoomFactorX) / 2;
        Y += IERound(FixedSelectionHeight * FGeom.ZoomFactorY) / 2;
    }
    if ((Shift & ssShift) && AdditiveSelection) {
        if (int32_t(SelectionPolygon.size()) > FPressPolyCount) {
            SelectionPolygon.resize(size_t(FPressPolyCount));
            SelectionPolygonBox = PolygonBox(SelectionPolygon);
        }
        StartSubPolygon();
    } else {
        ClearPolygon();
    }
    int32_t rxc = std::abs(cx - X), ryc = std::abs(cy - Y);
    const double aspect = SelectionAspectRatio;
    if (((Shift & ssAlt) || ConstrainSelection) && aspect == -1) {
        rxc = ryc = std::max(rxc, ryc);
    } else if (aspect > 0) {
        rxc = std::max(rxc, ryc);
        ryc = IERound(rxc * aspect);
    }
    const int32_t rx = IETrunc((long double)rxc * FGeom.InvZoomX);
    const int32_t ry = IETrunc((long double)ryc * FGeom.InvZoomY);
    TIELayer* l = GetCurrentLayer();
    const int32_t bx = l->ScreenToBitmapX(cx), by = l->ScreenToBitmapY(cy);
    const int32_t w = GetIEBitmap()->GetWidth(), h = GetIEBitmap()->GetHeight();
    const int32_t n = std::max(50, IETrunc(std::min(rx, ry) * 2 * kPi));
    for (int32_t i = 0; i < n; ++i) {
        const double a = 2 * kPi * i / n;
        const int32_t px = std::max(0, std::min(IERound(std::cos(a) * rx + bx), w));
        const int32_t py = std::max(0, std::min(IERound(std::sin(a) * ry + by), h));
        AddPolygonPoint(px, py);
    }
    DrawSelection(true);
    FireSelectionEvent(OnSelectionChanging);
}

void TPicturaView::EndPolygonSelection(bool Add, bool DropLast) {
    if (DropLast) RemoveLastPolygonPoint();
    if (!(Add && AdditiveSelection)) FSelectionMask->Clear();
    ApplyPolygonToMask();
    FUpdateReason = 3;
    Update();
    FPolygonSelecting = false;
    if (OnSelectionChange) OnSelectionChange(this);
}

void TPicturaView::MagicWandSelect(int32_t X, int32_t Y, bool Add) {
    if (FSelectionBase != iesbBitmap) {
        X = GetCurrentLayer()->ScreenToBitmapX(X);
        Y = GetCurrentLayer()->ScreenToBitmapY(Y);
    }
    TIEBitmap* image = GetIEBitmap();
    const int32_t w = image->GetWidth(), h = image->GetHeight();
    if (X < 0 || Y < 0 || X > w || Y > h) return;
    TIEMask* m = SizedMask(FSelectionMask.get(), image, FMaskBitsPerPixel);
    if (MagicWandMode == 1 || MagicWandMode == 2) {
        if (!Add) {
            ClearPolygon();
            m->Clear();
        }
        if (MagicWandMode == 1)
            IEMagicWandFill(image, X, Y, MagicWandOption, MagicWandTolerance, m, FMaskFillValue);
        else
            IEMagicWandColorMatch(image, X, Y, MagicWandTolerance, m, FMaskFillValue);
        FSelected = !m->IsEmpty();
        ShowSelectionPolygon(true);
    } else {
        int32_t count = 0;
        std::unique_ptr<TIEMaskPoint[]> outline =
            IEMagicWandOutline(image, X, Y, MagicWandOption, MagicWandTolerance, count);
        if (count > 0) {
            FSelected = true;
            if (Add && !SelectionPolygon.empty())
                AddPolygonSeparator();
            else {
                ClearPolygon();
                m->Clear();
            }
            for (int32_t i = 0; i < count; ++i)
                AddPolygonPoint(std::max(0, std::min(outline[size_t(i)].X, w)),
                                std::max(0, std::min(outline[size_t(i)].Y, h)));
            if (!Add) m->Clear();
            ApplyPolygonToMask();
            ShowSelectionPolygon(true);
        }
    }
    SetBackBufferDirty();
    Paint();
}

// ---- Moving and resizing -----------------------------------------------------------------------

int32_t TPicturaView::TranslateSelection(int32_t State, int32_t DX, int32_t DY, bool Cut) {
    FPolygonAsSelection = IsSelectionRect();
    // A rectangle's mask is filled again from the moved polygon when the move ends.
    if (FPolygonAsSelection)
        FSelectionMask->Clear();
    else
        FSelectionMask->Translate(DX, DY, Cut);
    if (DX == 0 && DY == 0) return State;
    TranslatePolygon(DX, DY, Cut);
    DrawSelection(true);
    if (FIsNavigator) {
        Paint();
        DrawSelection(true);
    }
    return State;
}

void TPicturaView::MoveSelection(int32_t DX, int32_t DY) {
    TranslateSelection(0, DX, DY, (FSelectionOptions & iesoCutBorders) != 0);
    ApplyPolygonToMask();
    // The mask is whole again: the selection is no longer a polygon being moved.
    FPolygonAsSelection = false;
}

int32_t TPicturaView::GetSelX1() {
    if (FPolygonSelecting || FRectSelecting || FEllipseSelecting || FSelGrip != ieNone || FPolygonAsSelection)
        return SelectionPolygonBox.left;
    return FSelectionMask->X1;
}
int32_t TPicturaView::GetSelY1() {
    if (FPolygonSelecting || FRectSelecting || FEllipseSelecting || FSelGrip != ieNone || FPolygonAsSelection)
        return SelectionPolygonBox.top;
    return FSelectionMask->Y1;
}
int32_t TPicturaView::GetSelX2() {
    if (FPolygonSelecting || FRectSelecting || FEllipseSelecting || FSelGrip != ieNone || FPolygonAsSelection)
        return SelectionPolygonBox.right - 1;
    return FSelectionMask->X2;
}
int32_t TPicturaView::GetSelY2() {
    if (FPolygonSelecting || FRectSelecting || FEllipseSelecting || FSelGrip != ieNone || FPolygonAsSelection)
        return SelectionPolygonBox.bottom - 1;
    return FSelectionMask->Y2;
}

TIEGrip TPicturaView::FindSelectionGrip(int32_t X, int32_t Y) {
    if (!FSelVisible || !FSelSizeable || !IsSelectionRect() || FRectSelecting) return ieNone;
    TIELayer* l = GetCurrentLayer();
    const RECT& b = SelectionPolygonBox;
    const int32_t x1 = l->BitmapToScreenX(b.left), y1 = l->BitmapToScreenY(b.top);
    const int32_t x2 = l->BitmapToScreenX(b.right), y2 = l->BitmapToScreenY(b.bottom);
    const POINT corners[4] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}};
    const int32_t s = SelGripSize;
    for (int32_t i = 0; i < 4; ++i)
        if (X >= corners[i].x - s && X <= corners[i].x + s && Y >= corners[i].y - s && Y <= corners[i].y + s)
            return TIEGrip(ieTopLeft + i);
    if (IEPointToSegmentDistance(X, Y, x1, y1, x1, y2) < 3) return ieLeftSide;
    if (IEPointToSegmentDistance(X, Y, x2, y1, x2, y2) < 3) return ieRightSide;
    if (IEPointToSegmentDistance(X, Y, x1, y1, x2, y1) < 3) return ieTopSide;
    if (IEPointToSegmentDistance(X, Y, x1, y2, x2, y2) < 3) return ieBottomSide;
    return ieNone;
}

TIEGrip TPicturaView::GetSelectionGripAt(int32_t X, int32_t Y, TShiftState Shift) {
    if (Shift & ssShift) return ieNone;
    return FindSelectionGrip(X, Y);
}

TIEGrip TPicturaView::ResizeSelectionByGrip(TIEGrip Grip, int32_t X, int32_t Y, bool KeepAspect) {
    if (!IsSelectionRect()) return Grip;
    if (FSelectionBase != iesbBitmap) {
        X = GetCurrentLayer()->ScreenToBitmapX(X);
        Y = GetCurrentLayer()->ScreenToBitmapY(Y);
    }
    const int32_t w = GetIEBitmap()->GetWidth(), h = GetIEBitmap()->GetHeight();
    TIEGrip g = Grip;   // the grip whose edges move
    double r = 1.0;
    if (KeepAspect) {
        const int32_t x1 = FGripPressRect.left, y1 = FGripPressRect.top;
        const int32_t x2 = FGripPressRect.right, y2 = FGripPressRect.bottom;
        const int32_t w0 = x2 - x1 + 1, h0 = y2 - y1 + 1;
        if (h0 == 0) return Grip;
        r = SelectionAspectRatio > 0 ? 1.0 / SelectionAspectRatio : double(w0) / h0;
        // The second coordinate follows from the first; the loops stop at the image's far side.
        switch (g) {
            case ieLeftSide: g = ieTopLeft; [[fallthrough]];
            case ieTopLeft:
                for (Y = IERound(1 + y2 + (X - x2 - 1) / r); Y < 0 && X <= w; Y = IERound(1 + y2 + (X - x2 - 1) / r)) ++X;
                break;
            case ieTopRight:
                for (Y = IERound(y2 + (x1 - X - 1) / r); Y < 0 && X >= 0; Y = IERound(y2 + (x1 - X - 1) / r)) --X;
                break;
            case ieRightSide: g = ieBottomRight; [[fallthrough]];
            case ieBottomRight: Y = IERound(y1 + (X - x1 + 1) / r - 1); break;
            case ieBottomLeft:
                for (Y = IERound(1 + y1 + (x2 - X + 1) / r); Y > h && X <= w; Y = IERound(1 + y1 + (x2 - X + 1) / r)) ++X;
                break;
            case ieTopSide:
                for (X = IERound(x2 + 1 - r * (y2 + 1 - Y)); X < 0 && Y <= h; X = IERound(x2 + 1 - r * (y2 + 1 - Y))) ++Y;
                g = ieTopLeft;
                break;
            case ieBottomSide:
                for (X = IERound(x1 - 1 + r * (Y - y1 + 1)); X > w && Y >= 0; X = IERound(x1 - 1 + r * (Y - y1 + 1))) --Y;
                g = ieBottomRight;
                break;
            default: break;
        }
    }
    const bool right = g == ieTopRight || g == ieBottomRight || g == ieRightSide;
    const bool left = g == ieTopLeft || g == ieBottomLeft || g == ieLeftSide;
    const bool bottom = g == ieBottomRight || g == ieBottomLeft || g == ieBottomSide;
    const bool top = g == ieTopLeft || g == ieTopRight || g == ieTopSide;
    if (right) ++X;
    if (bottom) ++Y;
    int32_t X1 = SelectionPolygonBox.left, Y1 = SelectionPolygonBox.top;
    int32_t X2 = SelectionPolygonBox.right, Y2 = SelectionPolygonBox.bottom;
    if (right) X2 = X == X1 ? X + 1 : X;
    if (left) X1 = X == X2 ? X - 1 : X;
    if (top) Y1 = Y == Y2 ? Y - 1 : Y;
    if (bottom) Y2 = Y == Y1 ? Y + 1 : Y;
    // Dragged past the opposite edge the grip becomes the opposite one, in both axes at once.
    TIEGrip next = Grip;
    if (X2 < X1) next = SwapLeftRight(next);
    if (Y2 < Y1) next = SwapTopBottom(next);
    ClearPolygon();
    IEOrderCorners(X1, Y1, X2, Y2);
    if (KeepAspect) IEKeepRatioInBounds(X1, Y1, X2, Y2, 1.0 / r, w, h);
    auto cx = [w](int32_t V) { return std::max(0, std::min(V, w)); };
    auto cy = [h](int32_t V) { return std::max(0, std::min(V, h)); };
    X1 = cx(X1);
    X2 = cx(X2);
    Y1 = cy(Y1);
    Y2 = cy(Y2);
    IEOrderCorners(X1, Y1, X2, Y2);
    AddPolygonPoint(X1, Y1);
    AddPolygonPoint(X2, Y1);
    AddPolygonPoint(X2, Y2);
    AddPolygonPoint(X1, Y2);
    ShowSelectionPolygon(true);
    return next;
}

int32_t TPicturaView::HitSelectionForMove(int32_t X, int32_t Y, TShiftState Shift) {
    if ((Shift & ssShift) || FSelectionMask->IsEmpty() || FRectSelecting || FPolygonSelecting || FEllipseSelecting)
        return -1;
    const int32_t bx = GetCurrentLayer()->ScreenToBitmapX(X), by = GetCurrentLayer()->ScreenToBitmapY(Y);
    return FSelectionMask->IsPointInside(bx, by) && (FSelectionOptions & iesoMoveable) ? 0 : -1;
}

// ---- Drawing -----------------------------------------------------------------------------------

void TPicturaView::DrawGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (GridColumns <= 1 && GridRows <= 1) return;
    TCanvas* c = FSelCanvas ? FSelCanvas : Canvas();
    IEOrderCorners(X1, Y1, X2, Y2);
    HDC dc = c->Handle();
    HPEN pen = CreatePen(PS_SOLID, 1, 0xA0A0A0);
    HGDIOBJ old = SelectObject(dc, pen);
    const int oldRop = SetROP2(dc, R2_COPYPEN);
    for (int32_t i = 1; i < GridRows; ++i) {
        const int32_t y = Y1 + IETrunc((long double)i * (Y2 - Y1) / GridRows);
        MoveToEx(dc, X1, y, nullptr);
        LineTo(dc, X2, y);
    }
    for (int32_t i = 1; i < GridColumns; ++i) {
        const int32_t x = X1 + IETrunc((long double)i * (X2 - X1) / GridColumns);
        MoveToEx(dc, x, Y1, nullptr);
        LineTo(dc, x, Y2);
    }
    SetROP2(dc, oldRop);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void TPicturaView::DrawSelectionGrips(TCanvas* Canvas) {
    TIELayer* l = GetCurrentLayer();
    const RECT& b = SelectionPolygonBox;
    const int32_t x1 = l->BitmapToScreenX(b.left), y1 = l->BitmapToScreenY(b.top);
    const int32_t x2 = l->BitmapToScreenX(b.right), y2 = l->BitmapToScreenY(b.bottom);
    Canvas->Pen()->SetStyle(psSolid);
    Canvas->Pen()->SetColor(SelGripPenColor);
    Canvas->Brush()->SetStyle(SelGripBrushStyle);
    Canvas->Brush()->SetColor(SelGripBrushColor);
    const int32_t s = SelGripSize;
    auto grip = [&](int32_t X, int32_t Y) {
        if (SelGripShape == 0)
            Canvas->Rectangle(X - s, Y - s, X + s, Y + s);
        else
            Canvas->Ellipse(X - s, Y - s, X + s, Y + s);
    };
    grip(x1, y1);
    grip(x2, y1);
    grip(x2, y2);
    grip(x1, y2);
    if (SelSideGrips) {
        grip((x1 + x2) / 2, y1);
        grip((x1 + x2) / 2, y2);
        grip(x1, (y1 + y2) / 2);
        grip(x2, (y1 + y2) / 2);
    }
    DrawGrid(x1, y1, x2, y2);
}

void TPicturaView::DrawPolygonOutline(TCanvas* Canvas) {
    FSelDashCounter = FSelPhase;
    if (SelectionPolygon.empty()) return;
    TCanvas* saved = FSelCanvas;
    FSelCanvas = Canvas;
    HDC dc = Canvas->Handle();
    const COLORREF c1 = COLORREF(FSelColor1 & 0xFFFFFF), c2 = COLORREF(FSelColor2 & 0xFFFFFF);
    const std::function<void(int32_t, int32_t, bool)> plot = [dc, c1, c2](int32_t X, int32_t Y, bool First) {
        SetPixelV(dc, X, Y, First ? c1 : c2);
    };
    TIELayer* l = GetCurrentLayer();
    auto segment = [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Number) {
        IEDashedLineDots(X1, Y1, X2, Y2, FSelDashCounter, plot);
        if (OnDrawPolygon) OnDrawPolygon(this, 0, Number, Canvas, X2, Y2);
    };
    if (IsSelectionRect()) {
        const RECT& b = SelectionPolygonBox;
        const int32_t x1 = l->BitmapToScreenX(b.left), y1 = l->BitmapToScreenY(b.top);
        const int32_t x2 = l->BitmapToScreenX(b.right) - 1, y2 = l->BitmapToScreenY(b.bottom) - 1;
        FVisibleSelRect = RECT{x1, y1, x2, y2};
        segment(x1, y1, x2, y1, 1);
        segment(x2, y1, x2, y2, 2);
        segment(x2, y2, x1, y2, 3);
        segment(x1, y2, x1, y1, 0);
        if (FRectSelecting || FPolygonAsSelection) DrawGrid(x1, y1, x2, y2);
    } else {
        const size_t n = SelectionPolygon.size();
        size_t start = 0;
        int32_t number = 0;
        auto sx = [&](size_t i) { return l->BitmapToScreenX(SelectionPolygon[i].x); };
        auto sy = [&](size_t i) { return l->BitmapToScreenY(SelectionPolygon[i].y); };
        for (size_t i = 0; i < n; ++i) {
            if (IsBreak(SelectionPolygon[i])) {
                // The sub-polygon is closed; the next one starts after the separator.
                if (i > start) segment(sx(i - 1), sy(i - 1), sx(start), sy(start), number++);
                start = i + 1;
                continue;
            }
            if (i > start) segment(sx(i - 1), sy(i - 1), sx(i), sy(i), number++);
        }
        if (!FPolygonSelecting && start < n && n - 1 > start)
            segment(sx(n - 1), sy(n - 1), sx(start), sy(start), number);
    }
    FSelCanvas = saved;
}

void TPicturaView::SelectionTimerTick() { DrawSelectionFrom(true, true); }

void TPicturaView::DrawSelection(bool FromTimer) { DrawSelectionFrom(false, FromTimer); }

void TPicturaView::CreateSelectionTimer() {
    if (FSelectionTimer) return;
    FSelectionTimer = std::make_unique<TTimer>(nullptr);
    FSelectionTimer->SetEnabled(false);
    FSelectionTimer->SetInterval(210);
    FSelectionTimer->SetOnTimer([this](TObject*) { SelectionTimerTick(); });
}

void TPicturaView::DrawSelectionFrom(bool SenderIsTimer, bool FromTimer) {
    if (!HasParentWindow() || !SelectionPainting) return;
    FAnyAnimated = false;
    const bool dragging = FPolygonSelecting || FRectSelecting || FEllipseSelecting || FSelGrip != ieNone ||
                          FMoveState != -1;
    if (FSelVisible) {
        if (FSelAnimated) {
            FAnyAnimated = true;
            if (SenderIsTimer && !dragging) {
                FSelPhase = FSelPhase >= 9 ? 0 : FSelPhase + 1;
                ++AntsPhase;
            }
        }
        TCanvas* canvas = Canvas();
        const RECT clip = canvas->ClipRect();
        const bool noClip = clip.left == 0 && clip.top == 0 && clip.right == 0 && clip.bottom == 0;
        // While a drag scrolls the view, the pictures of the passing origins show no outline: the
        // drag draws it once where the scrolling ends.
        if (!noClip && FPaintLock <= 0 && !(FromTimer && canvas->LockCount() > 0) && !FPaintingSelection) {
            if (FSelSizeable && IsSelectionRect() && !FRectSelecting && FMoveState == -1)
                DrawSelectionGrips(canvas);
            if (!FSelectionMask->IsEmpty() && !dragging && !FPolygonAsSelection) {
                if (!(SuppressOutlineWhileDelayed && FOutlineDelayCounter > 0)) {
                    TIELayer* l = GetCurrentLayer();
                    const uint64_t t0 = ClockNowMs();
                    TIEMaskRect area{};
                    FSelectionMask->DrawOutline(*canvas, l->LastDraw[0], l->LastDraw[1], l->LastDraw[2],
                                                l->LastDraw[3], l->LastDraw[4], l->LastDraw[5], l->LastDraw[6],
                                                l->LastDraw[7], AntsPhase, OutlineColor2, OutlineColor1, &area);
                    const uint64_t elapsed = ClockNowMs() - t0;
                    if (AntsTiming < 0 && (FHasOwner || HasParentWindow())) {
                        // Drawing the outline takes at most a fifth of the timer's period.
                        CreateSelectionTimer();
                        FSelectionTimer->SetInterval(
                            uint32_t(std::max<int64_t>(210, int64_t(elapsed) * 100 / -AntsTiming)));
                    }
                }
            } else {
                DrawPolygonOutline(canvas);
            }
        }
    }
    if (FHasOwner || HasParentWindow()) {
        CreateSelectionTimer();
        const bool run = FFilterDelayCounter > 0 || FOutlineDelayCounter > 0 || FAnyAnimated;
        if (FSelectionTimer->Enabled() != run) FSelectionTimer->SetEnabled(run);
    }
    // Each run counts the delays down; when the filter delay ends the picture is composed again
    // with the zoom filter.
    if (FFilterDelayCounter > 0) {
        --FFilterDelayCounter;
        if (FFilterDelayCounter == 0) Update();
    }
    if (FOutlineDelayCounter > 0) --FOutlineDelayCounter;
}
