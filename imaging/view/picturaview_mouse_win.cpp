// Mouse and keyboard interaction of the viewer: the MouseInteract set and how its items exclude one
// another, the mouse handlers that zoom, scroll, select and move, resize or rotate layers, the
// scrolling during drags and the scrolling that follows the mouse, the layer hit tests and the
// cursor that shows what a drag would do. A button counts as held when the shift state the
// handler receives says so (the state the window message carried).
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "Forms.h"
#include "iecoreutils_general.h"
#include "iecoreutils_geometry.h"
#include "iecoreutils_text.h"
#include "picturaproc_rotate.h"
#include "picturaview_control.h"

namespace {

constexpr TIEMouseInteract kSelectItems =
    miSelect | miSelectPolygon | miSelectCircle | miSelectMagicWand | miSelectLasso;

// The set kept when an item is added: only Keep's items that Value holds.
TIEMouseInteract Keep(TIEMouseInteract Value, TIEMouseInteract Kept) { return TIEMouseInteract(Value & Kept); }

bool Held(TShiftState Shift) { return (Shift & (ssLeft | ssRight | ssMiddle)) != 0; }

// The cursor for a selection or layer grip.
TCursor GripCursor(int32_t Grip) {
    switch (Grip) {
        case ieTopRight:
        case ieBottomLeft: return 1788;
        case ieLeftSide:
        case ieRightSide: return 1789;
        case ieTopSide:
        case ieBottomSide: return 1787;
        default: return 1786;
    }
}

}  // namespace

TIEMouseInteract IEMouseInteractRules(TIEMouseInteract Current, TIEMouseInteract Value) {
    const TIEMouseInteract added = TIEMouseInteract(Value & ~Current);
    if (added & miScroll) return Keep(Value, miZoom | miScroll | miMovingScroll);
    if (added & miSelect) return Keep(Value, miZoom | miSelect | miMovingScroll);
    if (added & miSelectPolygon) return Keep(Value, miSelectPolygon | miMovingScroll);
    if (added & miSelectCircle) return Keep(Value, miZoom | miSelectCircle | miMovingScroll);
    if (added & miSelectLasso) return Keep(Value, miZoom | miSelectLasso | miMovingScroll);
    if (added & miSelectZoom) return Keep(Value, miZoom | miSelectZoom | miMovingScroll);
    if (added & miZoom)
        return TIEMouseInteract(Value & ~(miSelectPolygon | miSelectMagicWand | miMoveLayers | miResizeLayers |
                                          miRotateLayers));
    if (added & miSelectMagicWand) return Keep(Value, miSelectMagicWand | miMovingScroll);
    if (Value & miRotateLayers) return Keep(Value, miMoveLayers | miRotateLayers | miMovingScroll);
    if (Value & miMoveLayers) return TIEMouseInteract(Value & ~0xFFu);
    if (Value & miResizeLayers) return Keep(Value, miMoveLayers | miResizeLayers | miMovingScroll);
    return Value;
}

void TPicturaView::SetMouseInteract(TIEMouseInteract Value) {
    if (Value == FMouseInteract) return;
    if (FPolygonSelecting && (FMouseInteract & miSelectPolygon)) {
        // The polygon being drawn is closed without the point that followed the mouse.
        RemoveLastPolygonPoint();
        FSelectionMask->Clear();
        ApplyPolygonToMask();
        FPolygonSelecting = false;
        Invalidate();
    }
    const TIEMouseInteract v = IEMouseInteractRules(FMouseInteract, Value);
    if (!(v & miRotateLayers))
        ApplyLayerRotations(-1);
    else if (CropBeforeRotating)
        CropLayersTransparentBorder(-1);
    FMouseInteract = v;
    Update();
}

// The mouse handlers work in client coordinates: the application's SelectionBase is kept aside
// while they run and swapped back in around every event they fire.
void TPicturaView::SetSelectionBaseAside() {
    FSavedSelectionBase = FSelectionBase;
    FSelectionBase = iesbClientArea;
    FSelectionBaseAside = true;
}

void TPicturaView::RestoreSelectionBase() {
    FSelectionBase = FSavedSelectionBase;
    FSelectionBaseAside = false;
}

void TPicturaView::SwapSelectionBase() {
    if (FSelectionBaseAside) std::swap(FSelectionBase, FSavedSelectionBase);
}

void TPicturaView::FireSelectionEvent(const TNotifyEvent& Event) {
    if (!Event) return;
    SwapSelectionBase();
    Event(this);
    SwapSelectionBase();
}

void TPicturaView::ClampToCurrentLayer(int32_t& X, int32_t& Y) const {
    const RECT& r = GetCurrentLayer()->ScreenRect;
    X = std::max<int32_t>(r.left, std::min<int32_t>(X, r.right + 1));
    Y = std::max<int32_t>(r.top, std::min<int32_t>(Y, r.bottom + 1));
}

void TPicturaView::SetInteractionHint(const std::wstring& Text, int32_t X, const std::wstring& WidthText, int32_t Y) {
    HintText = Text;
    HintX = X;
    HintWidthText = WidthText;
    HintY = Y;
}

void TPicturaView::AdjustDragPoints(int32_t DX, int32_t DY) {
    FPrevX -= DX;
    FPrevY -= DY;
    FPrevRawX -= DX;
    FPrevRawY -= DY;
    FCurX -= DX;
    FCurY -= DY;
}

bool TPicturaView::AutoScrollDrag() {
    if (!HandleAllocated()) return false;
    FPaintingSelection = true;
    bool result = false;
    for (int32_t guard = 0; guard < 10000; ++guard) {
        POINT p{};
        GetCursorPos(&p);
        ::ScreenToClient(Handle(), &p);
        const int32_t first = FGeom.OffsetX, last = FGeom.OffsetX + FGeom.ExtentWidth - 1;
        const int32_t top = FGeom.OffsetY, bottom = FGeom.OffsetY + FGeom.ExtentHeight - 1;
        const int32_t dx = p.x < first ? p.x - first : (p.x > last ? p.x - last : 0);
        const int32_t dy = p.y < top ? p.y - top : (p.y > bottom ? p.y - bottom : 0);
        if (dx == 0 && dy == 0) break;
        const int32_t ox = FGeom.OriginX, oy = FGeom.OriginY;
        SetViewOrigin(ox + dx, oy + dy);
        if (FGeom.OriginX == ox && FGeom.OriginY == oy) break;
        result = true;
        FPressX += ox - FGeom.OriginX;
        FPressY += oy - FGeom.OriginY;
        AdjustDragPoints(dx, dy);
    }
    FPaintingSelection = false;
    return result;
}

// ---- Layers under the mouse --------------------------------------------------------------------

int32_t TPicturaView::FindLayerAt(int32_t X, int32_t Y, bool OnlySelectable) {
    for (int32_t i = GetLayerCount() - 1; i >= 0; --i) {
        TIELayer* l = GetLayer(i);
        if ((SkipUnselectableLayers && OnlySelectable && !l->Selectable) || !l->Visible) continue;
        const RECT& r = l->ScreenRect;
        if (X < r.left || X > r.right || Y < r.top || Y > r.bottom) continue;
        if (!l->Bitmap->HasAlphaChannel() || (FSelectionOptions & iesoSelectTranspLayers)) return i;
        const int32_t bx = std::max(0, std::min(l->ScreenToBitmapX(X), l->Bitmap->GetWidth() - 1));
        const int32_t by = std::max(0, std::min(l->ScreenToBitmapY(Y), l->Bitmap->GetHeight() - 1));
        if (l->Bitmap->GetAlpha(bx, by) != 0) return i;
    }
    return -1;
}

bool TPicturaView::IsPointInLayer(int32_t X, int32_t Y, int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount()) return false;
    TIELayer* l = GetLayer(Index);
    if (!l->Visible) return false;
    if (l->RotationAngle != 0) {
        TIEPoint pts[4];
        for (int32_t k = 0; k < 4; ++k) pts[k] = TIEPoint{l->RotatedCorners[k].x, l->RotatedCorners[k].y};
        return IEPointInPolygon(X, Y, pts, 3);
    }
    const RECT& r = l->ScreenRect;
    return X >= r.left && X <= r.right && Y >= r.top && Y <= r.bottom;
}

void TPicturaView::ApplyLayerRotations(int32_t Index) {
    GetCurrentLayer()->Bitmap = FCurrentImage;
    // One processing component, without undo, fills what the turn uncovers with the view's
    // background.
    TPicturaProc proc(nullptr);
    proc.AutoUndo = false;
    proc.SetBackground(GetBackground());
    bool any = false;
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        if ((Index != -1 && i != Index) || GetLayer(i)->RotationAngle == 0) continue;
        any = true;
        ResizeLayersToSize(i);
        TIELayer* l = GetLayer(i);
        const double angle = l->RotationAngle;
        // The layer's corners turned around its rotation centre give its new place.
        const int32_t w = l->GetWidth(), h = l->GetHeight();
        TIEPoint pts[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
        IERotatePoints(pts, 3, IETrunc((long double)w * l->RotationCenterX), angle,
                       IETrunc((long double)h * l->RotationCenterY));
        int32_t minX = pts[0].X, minY = pts[0].Y;
        for (const TIEPoint& p : pts) {
            minX = std::min(minX, p.X);
            minY = std::min(minY, p.Y);
        }
        l->PosX += minX;
        l->PosY += minY;
        l->Width = 0;
        l->Height = 0;
        l->SetRotationAngle(0);
        // The layer's own bitmap is worked on, so that the current layer stays as it was (and a
        // layer that cannot be selected is turned too).
        proc.SetAttachedIEBitmap(l->Bitmap);
        proc.Rotate(angle, RotationAntialias, RotationQuality, GetBackground());
        // What the turn left transparent is cut away.
        const TIERect r = IEAlphaBoundingRect(l->Bitmap);
        if (r.Right >= r.Left && r.Bottom >= r.Top) {
            proc.CropToRect(r);
            l->PosX += r.Left;
            l->PosY += r.Top;
        }
        l->AlphaCache.reset();
    }
    if (any) Update();
}

void TPicturaView::SaveLayersUndoOnce(TIEUndoSource Source) {
    if (!LayersAutoUndo || FUndoSaved) return;
    FUndoSaved = true;
    GetProc()->SaveUndo(Source);
}

void TPicturaView::ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepAspect) {
    TIELayer* l = GetCurrentLayer();
    const int32_t w = l->GetWidth(), h = l->GetHeight();
    int32_t bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
    const int32_t pbx = ScreenToBitmapX(FPrevRawX), pby = ScreenToBitmapY(FPrevRawY);
    TIEGrip g = TIEGrip(FLayerGrip);
    const bool corner = g >= ieTopLeft && g <= ieBottomLeft;
    const bool keep = LayerAspectMode == 2 || (LayerAspectMode == 1 && KeepAspect) || (LayerAspectMode == 3 && corner);
    const int32_t x1 = FLayerPressRect.left, y1 = FLayerPressRect.top, x2 = FLayerPressRect.right,
                  y2 = FLayerPressRect.bottom;
    if (keep && FLayerAspect > 0) {
        const double r = FLayerAspect;
        switch (g) {
            case ieTopLeft:
            case ieBottomRight: by = ScreenToBitmapY(y1 + IETrunc((X - x1) * r)); break;
            case ieTopRight: by = ScreenToBitmapY(y1 + IETrunc(r * (x2 - X))); break;
            case ieBottomLeft: by = ScreenToBitmapY(y2 + IETrunc(r * (x1 - X))); break;
            case ieLeftSide:
                by = ScreenToBitmapY(y2 + IETrunc(r * (x1 - X)));
                g = ieBottomLeft;
                break;
            case ieRightSide:
                by = ScreenToBitmapY(y1 + IETrunc((X - x1) * r));
                g = ieBottomRight;
                break;
            case ieTopSide:
            case ieBottomSide:
                bx = ScreenToBitmapX(x1 + IETrunc((Y - y1) / r));
                g = g == ieTopSide ? ieTopLeft : ieBottomRight;
                break;
            default: break;
        }
    }
    int32_t W = w, H = h;
    switch (g) {
        case ieTopLeft:
            W = l->PosX + w - bx;
            H = l->PosY + h - by;
            if (W > 1) l->PosX = bx;
            if (H > 1) l->PosY = by;
            break;
        case ieTopRight:
            W = bx - l->PosX;
            H = l->PosY + h - by;
            if (H > 1) l->PosY = by;
            break;
        case ieBottomRight:
            W = bx - ScreenToBitmapX(x1);
            H = by - ScreenToBitmapY(y1);
            break;
        case ieBottomLeft:
            W = l->PosX + w - bx;
            H = by - ScreenToBitmapY(y1);
            if (W > 1) l->PosX = bx;
            break;
        case ieLeftSide:
            W = w + pbx - bx;
            if (W > 1) l->PosX += bx - pbx;
            break;
        case ieRightSide: W = bx - ScreenToBitmapX(x1); break;
        case ieTopSide:
            H = l->PosY + h - by;
            if (H > 1) l->PosY = by;
            break;
        case ieBottomSide: H = h + by - pby; break;
        default: break;
    }
    l->Width = std::max(1, W);
    l->Height = std::max(1, H);
    if (!keep) FLayerAspect = double(l->Height) / l->Width;
}

// ---- Mouse handlers ----------------------------------------------------------------------------

void TPicturaView::AddDragPolygonPoint(int32_t X, int32_t Y, TShiftState Shift) {
    // With Alt or the constrain switch the edge from the last point is snapped to 45 degrees.
    if (((Shift & ssAlt) || ConstrainSelection) && !SelectionPolygon.empty() &&
        SelectionPolygon.back().x != IEMaskPolygonBreak) {
        TIELayer* l = GetCurrentLayer();
        const POINT& last = SelectionPolygon.back();
        IESnapTo45Degrees(l->BitmapToScreenX(last.x), l->BitmapToScreenY(last.y), X, Y);
    }
    AddSelectionPointNoPaint(X, Y);
}

void TPicturaView::DrawRubberBand() {
    if (SelectionPolygon.empty() || SelectionPolygon.back().x == IEMaskPolygonBreak || !HandleAllocated()) return;
    TIELayer* l = GetCurrentLayer();
    HDC dc = Canvas()->Handle();
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HGDIOBJ old = SelectObject(dc, pen);
    const int oldRop = SetROP2(dc, R2_NOT);
    MoveToEx(dc, l->BitmapToScreenX(SelectionPolygon.back().x), l->BitmapToScreenY(SelectionPolygon.back().y), nullptr);
    LineTo(dc, FRubberEnd.x, FRubberEnd.y);
    SetROP2(dc, oldRop);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void TPicturaView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TIEView::MouseDown(Button, Shift, X, Y);
    TCustomForm* form = GetParentForm(this);
    if (form && form->Visible() && CanFocus()) SetFocus();
    FSavedZoomFilter = FZoomFilter;
    if (Button == mbRight && IEViewLeftButtonDown()) {
        FIgnoredRightPress = true;
        return;
    }
    FMoved = false;
    const bool goOn = Button == mbLeft || (Button == mbRight && (FMouseInteract & miZoom)) ||
                      (Button == mbRight && (FSelectionOptions & iesoRightButtonSelectLayers));
    if (!goOn) return;
    if (!(FMouseInteract & miScroll) && DelayZoomFilter) FZoomFilter = rfNone;
    SetSelectionBaseAside();

    FImagePressX = std::max(FGeom.OffsetX, std::min(X, FGeom.OffsetX + FGeom.ExtentWidth));
    FImagePressY = std::max(FGeom.OffsetY, std::min(Y, FGeom.OffsetY + FGeom.ExtentHeight));
    int32_t cx = X, cy = Y;
    ClampToCurrentLayer(cx, cy);
    FPressRawX = FPrevRawX = X;
    FPressRawY = FPrevRawY = Y;
    FPressX = FPrevX = FCurX = cx;
    FPressY = FPrevY = FCurY = cy;
    FPressOriginX = FGeom.OriginX;
    FPressOriginY = FGeom.OriginY;
    FPressPolyCount = GetSelectionPointCount();
    FSelChanged = false;
    FFirstLayerMove = true;

    auto before = [this] { FireSelectionEvent(OnBeforeSelectionChange); };
    auto changing = [this] { FireSelectionEvent(OnSelectionChanging); };
    const bool left = Button == mbLeft;
    const TIEMouseInteract mi = FMouseInteract;
    if (left && (mi & (miSelectPolygon | miSelectLasso))) {
        ApplyLayerRotations(-1);
        before();
        FMoveState = HitSelectionForMove(cx, cy, Shift);
        if (FMoveState == -1 && (Shift & ssDouble)) {
            // A double click ends a polygon (not a lasso); its press would only repeat the point
            // its first click added. A double click without a polygon being drawn starts nothing.
            if (FPolygonSelecting && !FLasso) EndPolygonSelection((Shift & ssShift) != 0, false);
        } else if (FMoveState == -1) {
            if (!FPolygonSelecting) {
                if ((Shift & ssShift) && AdditiveSelection)
                    StartSubPolygon();
                else
                    Deselect();
            }
            AddDragPolygonPoint(cx, cy, Shift);
            FPolygonSelecting = true;
            FLasso = (mi & miSelectLasso) != 0;
            FRubberEnd = POINT{cx, cy};
            FRubberShown = false;
            changing();
        }
    } else if (left && (mi & miSelect)) {
        ApplyLayerRotations(-1);
        before();
        FSelGrip = GetSelectionGripAt(cx, cy, Shift);
        if (FSelGrip == ieNone) FMoveState = HitSelectionForMove(cx, cy, Shift);
        if (FSelGrip == ieNone && FMoveState == -1) {
            FRectSelecting = true;
            if (SelectionAspectRatio == 0) UpdateRectSelection(cx, cy, Shift);
            changing();
        } else if (FSelGrip != ieNone) {
            FGripPressRect = RECT{GetSelX1(), GetSelY1(), GetSelX2(), GetSelY2()};
        }
    } else if (left && (mi & miSelectZoom)) {
        FRectSelecting = true;
        changing();
        PushSelection();
    } else if (left && (mi & miSelectCircle)) {
        ApplyLayerRotations(-1);
        before();
        FMoveState = HitSelectionForMove(cx, cy, Shift);
        if (FMoveState == -1) {
            FEllipseSelecting = true;
            ShowSelectionPolygon(false);
            if (SelectionAspectRatio == 0) UpdateEllipseSelection(cx, cy, Shift);
            changing();
        }
    } else if (left && (mi & miSelectMagicWand)) {
        ApplyLayerRotations(-1);
        before();
        FMoveState = HitSelectionForMove(cx, cy, Shift);
    } else if ((left || (Button == mbRight && (FSelectionOptions & iesoRightButtonSelectLayers))) &&
               (mi & (miMoveLayers | miResizeLayers | miRotateLayers))) {
        FUndoSaved = false;
        FLayerGrip = (mi & miResizeLayers) ? FindLayerGrip(X, Y) : 0;
        if (FLayerGrip == 9 && !(mi & miRotateLayers)) FLayerGrip = 0;
        if (FLayerGrip != 0 && FLayerGrip != 9) {
            ApplyLayerRotations(-1);
            FLayerPressRect = GetCurrentLayer()->ScreenRect;
            std::copy(GetCurrentLayer()->RotatedCorners, GetCurrentLayer()->RotatedCorners + 4, FLayerPressCorners);
            DoLayerNotify(FCurrentLayer, ielBeginResizing);
        } else if (mi & (miMoveLayers | miRotateLayers)) {
            const bool centre = (mi & miRotateLayers) && FindLayerGrip(X, Y) == 9;
            FLayerGrip = 0;
            if (centre) {
                FRotationCenterLayer = FCurrentLayer;
            } else if ((mi & miRotateLayers) && FCurrentLayer >= 0 && !IsPointInLayer(X, Y, FCurrentLayer)) {
                FRotatingLayer = FCurrentLayer;
                FRunningAngle = GetCurrentLayer()->RotationAngle;
            } else {
                FMovingLayer = FindLayerAt(X, Y, true);
                if (FMovingLayer >= 0) {
                    SetCurrentLayer(FMovingLayer);
                    DoLayerNotify(FCurrentLayer, ielSelected);
                    DoLayerNotify(FCurrentLayer, ielBeginMoving);
                    if (!GetCurrentLayer()->Locked) SetInteractionCursor(1790);
                }
            }
        } else {
            FLayerGrip = 0;
        }
    }
    if (left && (mi & miScroll) && CanScroll()) SetInteractionCursor(1782);
    RestoreSelectionBase();
}

void TPicturaView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    TIEView::MouseMove(Shift, X, Y);
    SetSelectionBaseAside();
    const int32_t rawX = X, rawY = Y;
    ClampToCurrentLayer(X, Y);
    FCurX = X;
    FCurY = Y;
    const TIEMouseInteract mi = FMouseInteract;
    auto changing = [this] { FireSelectionEvent(OnSelectionChanging); };
    const bool alt = (Shift & ssAlt) || ConstrainSelection;
    if (Held(Shift)) {
        if ((mi & miScroll) && (Shift & ssLeft)) {
            SetViewOrigin(FPressOriginX - IERound((rawX - FPressRawX) * DragScrollFactor),
                          FPressOriginY - IERound((rawY - FPressRawY) * DragScrollFactor));
        } else if (FSelGrip != ieNone) {
            AutoScrollDrag();
            FSelGrip = ResizeSelectionByGrip(FSelGrip, X, Y, alt || SelectionAspectRatio > 0);
            FMoved = true;
            changing();
        } else if (FMoveState == -1) {
            if (FRectSelecting) {
                UpdateRectSelection(X, Y, Shift);
                FMoved = true;
            } else if (FPolygonSelecting) {
                AutoScrollDrag();
                Paint();   // the picture again, without the rubber band
                FRubberShown = false;
                AddDragPolygonPoint(X, Y, Shift);
                DrawSelection(false);
                FMoved = true;
                changing();
            } else if (FEllipseSelecting) {
                UpdateEllipseSelection(X, Y, Shift);
                FMoved = true;
            } else if (FMovingLayer >= 0) {
                TIELayer* l = GetLayer(FMovingLayer);
                if (!l->Locked) {
                    SaveLayersUndoOnce(ieuLayer);
                    AutoScrollDrag();
                    const int32_t dx = ScreenToBitmapX(rawX) - ScreenToBitmapX(FPrevRawX);
                    const int32_t dy = ScreenToBitmapY(rawY) - ScreenToBitmapY(FPrevRawY);
                    l->PosX += dx;
                    l->PosY += dy;
                    FMoved = FMoved || dx != 0 || dy != 0;
                    SetInteractionHint(L"X=" + std::to_wstring(l->PosX) + L" Y=" + std::to_wstring(l->PosY), rawX,
                                       L"X=000 Y=000", rawY);
                    AlphaCacheLayer = FMovingLayer;
                    Update();
                    DoLayerNotify(FCurrentLayer, ielMoving);
                }
            } else if (FRotationCenterLayer >= 0) {
                TIELayer* l = GetLayer(FRotationCenterLayer);
                l->RotationCenterX = double(l->ScreenToBitmapX(rawX)) / std::max(1, l->Bitmap->GetWidth());
                l->RotationCenterY = double(l->ScreenToBitmapY(rawY)) / std::max(1, l->Bitmap->GetHeight());
                SetInteractionHint(L"X=" + std::to_wstring(IERound(l->GetWidth() * l->RotationCenterX)) + L" Y=" +
                                       std::to_wstring(IERound(l->GetHeight() * l->RotationCenterY)),
                                   rawX, L"X=000 Y=000", rawY);
                AlphaCacheLayer = FRotationCenterLayer;
                Update();
            } else if (FRotatingLayer >= 0) {
                TIELayer* l = GetLayer(FRotatingLayer);
                if (!l->Locked) {
                    // The turned image is part of the entry: the rotation may end in new pixels.
                    SaveLayersUndoOnce(ieuFullLayer);
                    double dX = (ScreenToBitmapX(rawX) - ScreenToBitmapX(FPrevRawX)) / 4.0;
                    double dY = (ScreenToBitmapY(rawY) - ScreenToBitmapY(FPrevRawY)) / 4.0;
                    const int32_t cx = l->BitmapToScreenX(IETrunc(l->RotationCenterX * l->Bitmap->GetWidth()));
                    const int32_t cy = l->BitmapToScreenY(IETrunc(l->RotationCenterY * l->Bitmap->GetHeight()));
                    if (rawX > cx) dY = -dY;
                    if (rawY < cy) dX = -dX;
                    FRunningAngle += dX + dY;
                    FMoved = true;
                    if ((Shift & ssShift) && RotationStep != 0)
                        l->SetRotationAngle(double(IETrunc(FRunningAngle / RotationStep)) * RotationStep);
                    else
                        l->SetRotationAngle(FRunningAngle);
                    std::wstring a;
                    IEFloatToStrDot(a, l->RotationAngle);
                    SetInteractionHint(a + L"°", rawX, L"0000°", rawY);
                    AlphaCacheLayer = FRotatingLayer;
                    Update();
                    DoLayerNotify(FCurrentLayer, ielRotating);
                }
            } else if (FLayerGrip != 0 && !GetCurrentLayer()->Locked) {
                TIELayer* l = GetCurrentLayer();
                SaveLayersUndoOnce(ieuLayer);
                if (FFirstLayerMove) FLayerAspect = double(l->GetHeight()) / std::max(1, l->GetWidth());
                FFirstLayerMove = false;
                AutoScrollDrag();
                ResizeLayerByGrip(rawX, rawY, alt);
                FMoved = true;
                SetInteractionHint(std::to_wstring(l->Width) + L" x " + std::to_wstring(l->Height), rawX,
                                   L"0000 x 0000", rawY);
                AlphaCacheLayer = FCurrentLayer;
                Update();
                DoLayerNotify(FCurrentLayer, ielResizing);
            }
        } else {
            if (FSelectionOptions & iesoCanScroll) AutoScrollDrag();
            FMoveState = TranslateSelection(FMoveState, ScreenToBitmapX(X) - ScreenToBitmapX(FPrevX),
                                            ScreenToBitmapY(Y) - ScreenToBitmapY(FPrevY),
                                            (FSelectionOptions & iesoCutBorders) != 0);
            FMoved = true;
            changing();
        }
    } else if (!(FPolygonSelecting && !FLasso)) {
        if (mi & kSelectItems) {
            const TIEGrip grip = GetSelectionGripAt(X, Y, Shift);
            DoMouseInResizingGrip(grip);
            if (grip == ieNone) {
                if (HitSelectionForMove(X, Y, Shift) == -1) {
                    if ((Shift & ssShift) && AdditiveSelection && (FBaseCursor == 1785 || FBaseCursor == 1793))
                        SetInteractionCursor(FBaseCursor == 1785 ? 1791 : 1794);
                    else
                        RestoreCursor();
                } else {
                    SetInteractionCursor(1790);
                }
            } else {
                SetInteractionCursor(GripCursor(grip));
            }
        } else if (mi & miRotateLayers) {
            if (IsPointInLayer(X, Y, FCurrentLayer)) {
                RestoreCursor();
            } else {
                TIELayer* l = GetCurrentLayer();
                const int32_t cx = l->BitmapToScreenX(IETrunc(l->RotationCenterX * l->Bitmap->GetWidth()));
                const int32_t cy = l->BitmapToScreenY(IETrunc(l->RotationCenterY * l->Bitmap->GetHeight()));
                if (rawX < cx && rawY < cy) SetInteractionCursor(1814);
                else if (rawX < cx && rawY > cy) SetInteractionCursor(1811);
                else if (rawX > cx && rawY < cy) SetInteractionCursor(1812);
                else if (rawX > cx && rawY > cy) SetInteractionCursor(1813);
            }
        } else if (mi & (miResizeLayers | miMoveLayers)) {
            const int32_t grip = (mi & miResizeLayers) && !GetCurrentLayer()->Locked ? FindLayerGrip(rawX, rawY) : 0;
            if (grip >= 1 && grip <= 8) {
                SetInteractionCursor(GripCursor(grip));
            } else {
                const int32_t at = FindLayerAt(rawX, rawY, true);
                if (at >= 0 && !GetLayer(at)->Locked && (mi & miMoveLayers))
                    SetInteractionCursor(1790);
                else
                    RestoreCursor();
            }
        }
    } else {
        // The rubber band of the polygon being drawn follows the mouse.
        if (FRubberShown) DrawRubberBand();
        FRubberEnd = POINT{X, Y};
        if (alt && !SelectionPolygon.empty() && SelectionPolygon.back().x != IEMaskPolygonBreak) {
            TIELayer* l = GetCurrentLayer();
            int32_t sx = X, sy = Y;
            IESnapTo45Degrees(l->BitmapToScreenX(SelectionPolygon.back().x),
                              l->BitmapToScreenY(SelectionPolygon.back().y), sx, sy);
            FRubberEnd = POINT{sx, sy};
        }
        DrawRubberBand();
        FRubberShown = true;
        changing();
    }
    if ((mi & miMovingScroll) && !Held(Shift) && (rawX != FPrevRawX || rawY != FPrevRawY)) {
        int32_t mx = 0, my = 0;
        GetMaxViewOrigin(mx, my);
        const int32_t vw = std::max(1, GetViewWidth()), vh = std::max(1, GetViewHeight());
        const double fx = double(std::max(0, std::min(rawX, vw - 1))) / vw;
        const double fy = double(std::max(0, std::min(rawY, vh - 1))) / vh;
        SmoothScrollTo(IETrunc((fx - 0.02) * 1.05 * mx), IETrunc((fy - 0.02) * 1.05 * my));
    }
    if (!FSelectionMask->IsEmpty() &&
        FSelectionMask->IsPointInside(GetCurrentLayer()->ScreenToBitmapX(X), GetCurrentLayer()->ScreenToBitmapY(Y))) {
        DoMouseInSel();
    }
    FPrevX = X;
    FPrevY = Y;
    FPrevRawX = rawX;
    FPrevRawY = rawY;
    RestoreSelectionBase();
}

void TPicturaView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TIEView::MouseUp(Button, Shift, X, Y);
    if (Button == mbRight && FIgnoredRightPress) {
        // The press was ignored; its release must not zoom out or end a polygon.
        FIgnoredRightPress = false;
        return;
    }
    HintText.clear();
    const int32_t rawX = X, rawY = Y;
    ClampToCurrentLayer(X, Y);
    SetSelectionBaseAside();
    const TIEMouseInteract mi = FMouseInteract;
    const bool left = Button == mbLeft;
    const bool additive = (Shift & ssShift) && AdditiveSelection;
    const bool moved = FMoved;
    bool changed = false;
    auto rebuildMask = [&] {
        if (!additive) FSelectionMask->Clear();
        ApplyPolygonToMask();
    };
    if ((mi & miZoom) && rawX == FPressX && rawY == FPressY && !IsImageEmpty() && (left || Button == mbRight)) {
        const double zoom = GetZoom();
        double z = zoom;
        if (left) {
            if (mi & miScroll) RestoreCursor();
            if (zoom >= 100) {
                z = zoom + 100;
            } else {
                for (double s : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
                    if (s > zoom) {
                        z = s;
                        break;
                    }
            }
            DoZoomIn(z);
        } else {
            if (zoom >= 200) {
                z = zoom - 100;
            } else {
                z = 2;
                for (double s : {100.0, 75.0, 50.0, 33.0, 25.0, 10.0, 5.0, 2.0})
                    if (s < zoom) {
                        z = s;
                        break;
                    }
            }
            DoZoomOut(z);
        }
        if (z != GetZoomX() || z != GetZoomY()) ZoomAt(rawX, rawY, false, z);
        FPolygonSelecting = false;
    } else if (left && (mi & miScroll) && CanScroll()) {
        SetViewOrigin(FPressOriginX - IERound((rawX - FPressRawX) * DragScrollFactor),
                      FPressOriginY - IERound((rawY - FPressRawY) * DragScrollFactor));
        RestoreCursor();
    } else if (left && (mi & miSelectZoom)) {
        ZoomSelection(ZoomSelectionFitBoth, true);
        FRectSelecting = false;
        PopSelection();
    } else if (left && (mi & miSelect)) {
        if (moved || FSelGrip != ieNone || FMoveState != -1) {
            if (FRectSelecting || FSelGrip != ieNone) rebuildMask();
            FRectSelecting = false;
            FSelGrip = ieNone;
            FMoveState = -1;
            changed = true;
            if (FIsNavigator) {
                Invalidate();
            } else {
                FUpdateReason = 3;
                Update();
            }
        } else if (FSelected && !(FSelectionOptions & iesoDisableOneClickDeselect)) {
            FRectSelecting = false;
            Deselect();
            changed = true;
        } else {
            FRectSelecting = false;
        }
    } else if (left && (mi & miSelectCircle)) {
        if (!moved && FMoveState == -1 && SelectionAspectRatio != 0) {
            FEllipseSelecting = false;
            Deselect();
        } else {
            if (FEllipseSelecting) rebuildMask();
            FEllipseSelecting = false;
            FMoveState = -1;
            changed = true;
            FUpdateReason = 3;
            Update();
        }
    } else if (left && (mi & miSelectPolygon) && !(mi & miSelectLasso)) {
        if (FMoveState != -1) {
            FMoveState = -1;
            changed = true;
        }
        FUpdateReason = 3;
        Update();
    } else if (left && (mi & miSelectMagicWand)) {
        if (FMoveState == -1) {
            SetInteractionCursor(-11);
            MagicWandSelect(X, Y, additive);
            RestoreCursor();
        } else {
            FMoveState = -1;
        }
        changed = true;
        FUpdateReason = 3;
        Update();
    } else if (left && (mi & miSelectLasso)) {
        if (!moved && FMoveState == -1) {
            FPolygonSelecting = FLasso = false;
            Deselect();
        } else {
            if (FPolygonSelecting) rebuildMask();
            FLasso = FPolygonSelecting = false;
            FMoveState = -1;
            changed = true;
            FUpdateReason = 3;
            Update();
        }
    }
    if (left) {
        if (FPolygonAsSelection) {
            FSelectionMask->Clear();
            ApplyPolygonToMask();
            FPolygonAsSelection = false;
        }
        if (FMovingLayer >= 0) {
            RestoreCursor();
            if (moved) DoLayerNotify(FCurrentLayer, ielMoved);
            Invalidate();
        }
        if (FRotatingLayer >= 0) {
            if (moved) DoLayerNotify(FCurrentLayer, ielRotated);
            Invalidate();
        } else if (FRotationCenterLayer >= 0) {
            Invalidate();
        }
        if ((mi & miRotateLayers) && !moved && FLayerGrip == 0) {
            const int32_t at = FindLayerAt(rawX, rawY, true);
            if (at >= 0) {
                SetCurrentLayer(at);
                DoLayerNotify(FCurrentLayer, ielSelected);
            }
        }
        if (FLayerGrip != 0) {
            if (moved) DoLayerNotify(FCurrentLayer, ielResized);
            Update();
        }
        FRectSelecting = FEllipseSelecting = false;
        if (FLasso) FPolygonSelecting = FLasso = false;
        FSelGrip = ieNone;
        FMoveState = -1;
        FMovingLayer = FRotatingLayer = FRotationCenterLayer = -1;
        FLayerGrip = 0;
        if (changed && OnSelectionChange) OnSelectionChange(this);
    }
    if (Button == mbRight && (FSelectionOptions & iesoRightButtonTerminatePolySelect) && FPolygonSelecting)
        EndPolygonSelection((Shift & ssShift) != 0, false);
    FZoomFilter = FSavedZoomFilter;
    RestoreSelectionBase();
}

void TPicturaView::KeyDown(uint16_t& Key, TShiftState Shift) {
    TIEView::KeyDown(Key, Shift);
    if ((Shift & ssShift) && AdditiveSelection) {
        if (FShownCursor == 1785) SetInteractionCursor(1791);
        else if (FShownCursor == 1793) SetInteractionCursor(1794);
    }
}

void TPicturaView::KeyUp(uint16_t& Key, TShiftState Shift) {
    TIEView::KeyUp(Key, Shift);
    if (!(Shift & ssShift) && AdditiveSelection) RestoreCursor();
}
