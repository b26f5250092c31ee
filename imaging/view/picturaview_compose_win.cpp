// The layer compositor: the whole picture of a view drawn into a 24-bit bitmap (the back buffer, or
// a flattening target at 100 %): the background, every visible layer in list order with its mask,
// rotation, clipping, opacity, blend operation and zoom, the layer gadgets (box, grips, rotation
// handle, dimming), the area outside layer 0 and the pixel grid. Also the layer operations that
// compose at 100 % (DrawLayersTo, FlattenLayers) and the grip geometry the mouse code asks for.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "iecoreutils_geometry.h"
#include "iegdiplus_canvas.h"
#include "picturaproc_resample.h"
#include "picturaproc_rotate.h"
#include "picturaview_control.h"

namespace {

// The combined alpha of a layer and its mask (or of the area outside layer 0 with outside mode
// 1): for each bitmap pixel the smaller of the layer's alpha and the mask value over it.
std::unique_ptr<TIEBitmap> CombineMaskAlpha(TIELayer* Layer, TIELayer* Mask, TIEBitmap* OldAlpha, bool Outside,
                                            int32_t OutsideValue, int32_t Base0Width, int32_t Base0Height) {
    TIEBitmap* bmp = Layer->Bitmap;
    TIEBitmap* mk = Mask->Bitmap;
    const int32_t bw = bmp->GetWidth(), bh = bmp->GetHeight();
    const int32_t mw = mk->GetWidth(), mh = mk->GetHeight();
    auto alpha = std::make_unique<TIEBitmap>(bw, bh, ie8g);
    const double M = mw ? double(Mask->GetWidth()) / mw : 1.0;
    const double V = mh ? double(Mask->GetHeight()) / mh : 1.0;
    const double sx = bw ? double(Layer->GetWidth()) / bw : 1.0;
    const double sy = bh ? double(Layer->GetHeight()) / bh : 1.0;
    std::vector<int32_t> cols(size_t(std::max(bw, 0)));
    std::vector<bool> colOutside(size_t(std::max(bw, 0)));
    for (int32_t i = 0; i < bw; ++i) {
        const int32_t L = IERound((long double)sx * i / M - Mask->PosX / M + Layer->PosX / M);
        cols[size_t(i)] = L;
        const int32_t pos = IERound((long double)M * L) + Layer->PosX;
        colOutside[size_t(i)] = pos < 0 || pos > Base0Width;
    }
    for (int32_t r = 0; r < bh; ++r) {
        const int32_t Q = IERound((long double)sy * r / V - Mask->PosY / V + Layer->PosY / V);
        const int32_t posY = IERound((long double)V * Q) + Layer->PosY;
        uint8_t* out = alpha->GetScanline(r);
        if (Outside && (posY < 0 || posY > Base0Height)) {
            for (int32_t i = 0; i < bw; ++i) out[i] = uint8_t(std::min<int32_t>(OldAlpha->GetPixelByte(i, r), OutsideValue));
            continue;
        }
        const bool rowIn = Q >= 0 && Q < mh;
        for (int32_t i = 0; i < bw; ++i) {
            int32_t m;
            if (Outside && colOutside[size_t(i)])
                m = OutsideValue;
            else {
                const int32_t L = cols[size_t(i)];
                m = rowIn && L >= 0 && L < mw ? mk->GetPixelByte(L, Q) : 0;
            }
            out[i] = uint8_t(std::min<int32_t>(OldAlpha->GetPixelByte(i, r), m));
        }
    }
    alpha->CheckFull();
    return alpha;
}

}  // namespace

// ---- Composition -------------------------------------------------------------------------------

void TPicturaView::ComposeTo(TIEBitmap* Dest, const RECT* UpdRect, TBitmap* DestBitmap, bool DrawBackground,
                             bool DrawGadgets) {
    if (!FComposeFixedGeometry) {
        SyncImageSize();
        ComputeSourceRect();
        BuildCoordinateTables();
    }
    if (!FCurrentImage || FCurrentImage->GetWidth() == 0 || FCurrentImage->GetHeight() == 0) return;
    if (FCurrentImage->HasAlphaChannel()) {
        TIEBitmap* a = FCurrentImage->GetAlphaChannel();
        if (a->GetWidth() != FCurrentImage->GetWidth() || a->GetHeight() != FCurrentImage->GetHeight()) return;
    }
    TIERect clip{0, 0, 0, 0};
    const TIERect* clipPtr = nullptr;
    if (UpdRect) {
        clip = TIERect{UpdRect->left, UpdRect->top, UpdRect->right, UpdRect->bottom};
        clipPtr = &clip;
    }
    TIEBitmap* base0 = GetLayer(0)->Bitmap;
    const int32_t base0W = base0->GetWidth(), base0H = base0->GetHeight();
    const double fx = FGeom.ZoomFactorX, fy = FGeom.ZoomFactorY;
    bool drawnAny = false;
    const int32_t count = GetLayerCount();
    for (int32_t i = 0; i < count; ++i) {
        TIELayer* layer = FLayers[size_t(i)].get();
        TIEBitmap* bmp = layer->Bitmap;
        if (!layer->Visible || !bmp) continue;
        if (FGeom.ExtentWidth == 0 || FGeom.ExtentHeight == 0) continue;
        if (bmp->GetWidth() < MinLayerSize && bmp->GetHeight() < MinLayerSize) continue;
        if (bmp->GetWidth() == 0 || bmp->GetHeight() == 0) continue;

        // 1-2. The mask, and the alpha it gives for this draw.
        TIELayer* mask = nullptr;
        std::unique_ptr<TIELayer> tempMask;
        bool outside = false;
        if (i + 1 < count && FLayers[size_t(i + 1)]->IsMask && !layer->IsMask && layer->RotationAngle == 0) {
            mask = FLayers[size_t(i + 1)].get();
        } else if (i > 0 && LayersOutsideMode == 1) {
            tempMask = std::make_unique<TIELayer>(this, false, nullptr);
            tempMask->Bitmap->Allocate(bmp->GetWidth(), bmp->GetHeight(), ie8g);
            tempMask->Bitmap->Fill(255);
            tempMask->PosX = layer->PosX;
            tempMask->PosY = layer->PosY;
            tempMask->Width = layer->Width;
            tempMask->Height = layer->Height;
            mask = tempMask.get();
            outside = true;
        }
        if (mask && (!mask->Bitmap || mask->Bitmap->GetWidth() == 0 || mask->Bitmap->GetHeight() == 0)) mask = nullptr;
        TIEBitmap* setAside = nullptr;
        if (mask) {
            if (LayersOutsideMode == 1) outside = true;
            setAside = bmp->GetAlphaChannel();
            if (layer->AlphaCache && layer->AlphaCache->GetWidth() == bmp->GetWidth() &&
                layer->AlphaCache->GetHeight() == bmp->GetHeight()) {
                bmp->ReplaceAlphaChannel(layer->AlphaCache.release());
            } else {
                if (mask->Bitmap->GetPixelFormat() != ie8g) {
                    mask->Bitmap->RemoveAlphaChannel();
                    mask->Bitmap->ConvertPixelFormat(ie8g);
                }
                std::unique_ptr<TIEBitmap> alpha =
                    CombineMaskAlpha(layer, mask, setAside, outside, LayersOutsideValue, base0W, base0H);
                bmp->ReplaceAlphaChannel(alpha.release());
            }
        }

        // 4. The background under the first layer drawn, unless the layer covers Dest opaquely.
        if (!drawnAny && DrawBackground) {
            const bool alphaFree = !FEnableAlphaChannel || !bmp->HasAlphaChannel() || bmp->GetAlphaChannel()->GetFull();
            const bool covers = FGeom.OffsetX <= 0 && FGeom.OffsetY <= 0 && FGeom.ExtentWidth >= Dest->GetWidth() &&
                                FGeom.ExtentHeight >= Dest->GetHeight() && alphaFree && layer->Transparency > 254;
            if (!covers) PaintComposeBackground(Dest, UpdRect, DestBitmap);
        }

        // 5. The filter.
        TResampleFilter filter;
        if (FFilterDelayCounter > 0 || (layer->Width == 0 && layer->Height == 0 && FGeom.ZoomX == 100 && FGeom.ZoomY == 100))
            filter = rfNone;
        else
            filter = layer->UseResampleFilter ? layer->ResampleFilter : FZoomFilter;

        int32_t dx, dy, dw, dh, sx, sy, sw, sh;
        std::unique_ptr<TIEBitmap> rotated;
        TIEBitmap* src = bmp;
        const int32_t savedW = layer->Width, savedH = layer->Height, savedX = layer->PosX, savedY = layer->PosY;
        const bool ownMapping = LayersSameSize || (count == 1 && layer->Width == 0 && layer->Height == 0 &&
                                                   layer->PosX == 0 && layer->PosY == 0);
        if (ownMapping) {
            // 6. The view's own source and destination.
            dx = FGeom.OffsetX;
            dy = FGeom.OffsetY;
            dw = FGeom.DrawWidth;
            dh = FGeom.DrawHeight;
            sx = FGeom.SrcX;
            sy = FGeom.SrcY;
            sw = FGeom.SrcWidth;
            sh = FGeom.SrcHeight;
            layer->ScreenRect = RECT{dx, dy, dx + FGeom.ExtentWidth, dy + FGeom.ExtentHeight};
        } else {
            // 7. A free layer: rotation first.
            if (layer->RotationAngle != 0) {
                const int32_t w = layer->GetWidth(), h = layer->GetHeight();
                std::unique_ptr<TIEBitmap> sized;
                TIEBitmap* from = bmp;
                if (w != bmp->GetWidth() || h != bmp->GetHeight()) {
                    sized = std::make_unique<TIEBitmap>(w, h, ie24RGB);
                    bmp->StretchRectTo(sized.get(), 0, 0, w, h, 0, 0, bmp->GetWidth(), bmp->GetHeight(), rfNone, 255);
                    from = sized.get();
                }
                TIEBitmap* fromAlpha = from->GetAlphaChannel();
                rotated = std::make_unique<TIEBitmap>();
                IERotateBitmapTo(from, rotated.get(), 0, layer->RotationAngle);
                auto rotAlpha = std::make_unique<TIEBitmap>();
                IERotateBitmapTo(fromAlpha, rotAlpha.get(), 0, layer->RotationAngle);
                rotAlpha->CheckFull();
                rotated->RemoveAlphaChannel();
                rotated->ReplaceAlphaChannel(rotAlpha.release());
                src = rotated.get();
                layer->Width = rotated->GetWidth();
                layer->Height = rotated->GetHeight();
                TIEPoint pts[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
                IERotatePoints(pts, 3, IETrunc((long double)w * layer->RotationCenterX), layer->RotationAngle,
                               IETrunc((long double)h * layer->RotationCenterY));
                int32_t minX = pts[0].X, minY = pts[0].Y;
                for (const TIEPoint& p : pts) {
                    minX = std::min(minX, p.X);
                    minY = std::min(minY, p.Y);
                }
                layer->PosX = savedX + minX;
                layer->PosY = savedY + minY;
                for (int32_t k = 0; k < 4; ++k)
                    layer->RotatedCorners[k] =
                        POINT{IETrunc((long double)(pts[k].X + savedX) * fx) + FGeom.OffsetX - FGeom.OriginX,
                              IETrunc((long double)(pts[k].Y + savedY) * fy) + FGeom.OffsetY - FGeom.OriginY};
            }
            if (i > 0 && layer->Magnify.MagnifyEnabled && layer->Magnify.MagnifyRate >= 1.0)
                Magnify(layer, Dest, filter);
            const int32_t gw = layer->Width ? layer->Width : src->GetWidth();
            const int32_t gh = layer->Height ? layer->Height : src->GetHeight();
            // The view pixel of an image edge, moved by one where converting it back misses the edge.
            auto edge = [&](int32_t b, bool Horizontal) {
                int32_t s = Horizontal ? BitmapToScreenX(b) : BitmapToScreenY(b);
                const int32_t back = Horizontal ? ScreenToBitmapX(s) : ScreenToBitmapY(s);
                if (back < b) ++s;
                else if (back > b) --s;
                return s;
            };
            const int32_t x0 = edge(layer->PosX, true), y0 = edge(layer->PosY, false);
            const int32_t x1 = edge(layer->PosX + gw, true), y1 = edge(layer->PosY + gh, false);
            dx = x0;
            dy = y0;
            dw = x1 - x0;
            dh = y1 - y0;
            sx = 0;
            sy = 0;
            sw = src->GetWidth();
            sh = src->GetHeight();
            layer->ScreenRect = RECT{x0, y0, x1, y1};
            if (layer->ClipToBackground) {
                if (ScreenToBitmapX(x0) < 0) {
                    sx = -IETrunc((long double)sw / gw * layer->PosX);
                    sw -= sx;
                    dx = BitmapToScreenX(0);
                    dw = x1 - dx;
                }
                if (ScreenToBitmapY(y0) < 0) {
                    sy = -IETrunc((long double)sh / gh * layer->PosY);
                    sh -= sy;
                    dy = BitmapToScreenY(0);
                    dh = y1 - dy;
                }
                if (layer->PosX + gw > base0W) {
                    const int32_t right = BitmapToScreenX(base0W);
                    dw = right - dx;
                    sw = (x1 - dx) > 0 ? IETrunc((long double)sw / (x1 - dx) * dw) : 0;
                }
                if (layer->PosY + gh > base0H) {
                    const int32_t bottom = BitmapToScreenY(base0H);
                    dh = bottom - dy;
                    sh = (y1 - dy) > 0 ? IETrunc((long double)sh / (y1 - dy) * dh) : 0;
                }
            }
        }
        layer->LastDraw[0] = dx;
        layer->LastDraw[1] = dy;
        layer->LastDraw[2] = dw;
        layer->LastDraw[3] = dh;
        layer->LastDraw[4] = sx;
        layer->LastDraw[5] = sy;
        layer->LastDraw[6] = sw;
        layer->LastDraw[7] = sh;

        // 8. The renderer.
        if (dw > 0 && dh > 0 && sw > 0 && sh > 0) {
            std::vector<uint8_t*> rows;
            std::vector<int32_t> cols, rowMap;
            const bool rowCopy = !drawnAny && FBackgroundStyle == iebsSolid;
            src->RenderToTIEBitmapEx(Dest, rows, cols, rowMap, clipPtr, dx, dy, dw, dh, sx, sy, sw, sh,
                                     FEnableAlphaChannel, rowCopy, layer->Transparency, filter, true,
                                     layer->Operation);
        }
        drawnAny = true;

        // 9. The rotated copy goes; the layer's own values come back.
        rotated.reset();
        layer->Width = savedW;
        layer->Height = savedH;
        layer->PosX = savedX;
        layer->PosY = savedY;

        AfterDrawLayer(i, Dest);
        if (DrawGadgets && DestBitmap) DrawLayerGadgets(i, DestBitmap);
        if (OnDrawLayer) OnDrawLayer(this, Dest, i);

        // 13. The set-aside alpha comes back; the combined one is kept for the next composition.
        if (mask) {
            TIEBitmap* combined = bmp->GetAlphaChannel();
            bmp->ReplaceAlphaChannel(setAside);
            layer->AlphaCache.reset(combined);
        }
    }

    // 3. The area outside layer 0.
    if (LayersOutsideMode == 2 || LayersOutsideMode == 3) {
        const int32_t* ld = GetLayer(0)->LastDraw;
        const int32_t x = ld[0], y = ld[1], w = ld[2], h = ld[3];
        for (int32_t r = 0; r < Dest->GetHeight(); ++r) {
            TIERGB* row = reinterpret_cast<TIERGB*>(Dest->GetScanline(r));
            for (int32_t c = 0; c < Dest->GetWidth(); ++c) {
                if (LayersOutsideMode == 2) {
                    if ((r < y || r > y + h || c < x || c > x + w) && (r + c) % 2 == 0) row[c] = TIERGB{128, 128, 128};
                } else if (r < y || r >= y + h || c < x || c >= x + w) {
                    auto add = [this](uint8_t& v) { v = uint8_t(std::clamp<int32_t>(v + LayersOutsideValue, 0, 255)); };
                    add(row[c].r);
                    add(row[c].g);
                    add(row[c].b);
                }
            }
        }
    }
    // 4. Nothing drawn: the background alone.
    if (!drawnAny && DrawBackground) PaintComposeBackground(Dest, UpdRect, DestBitmap);
    // 5. The selection marks, then the pixel grid.
    if (DrawGadgets && DestBitmap) {
        DrawSelectionMarks(Dest, DestBitmap);
        DrawPixelGrid(DestBitmap);
    }
}

void TPicturaView::Magnify(TIELayer* Layer, TIEBitmap* Dest, TResampleFilter Filter) {
    TIEBitmap* bmp = Layer->Bitmap;
    if ((Layer->Width && Layer->Width != bmp->GetWidth()) || (Layer->Height && Layer->Height != bmp->GetHeight()))
        bmp->Resize(Layer->GetWidth(), Layer->GetHeight(), 0, 255, 0, 0);
    const int32_t bw = bmp->GetWidth(), bh = bmp->GetHeight();
    const double rate = Layer->Magnify.MagnifyRate;
    const int32_t e = IETrunc((long double)bw / (rate / FGeom.ZoomFactorX));
    const int32_t f = IETrunc((long double)bh / (rate / FGeom.ZoomFactorY));
    if (e <= 0 || f <= 0 || bw <= 0 || bh <= 0) return;
    const int32_t cx = BitmapToScreenX(Layer->PosX) + IETrunc((long double)bw * FGeom.ZoomFactorX / 2);
    const int32_t cy = BitmapToScreenY(Layer->PosY) + IETrunc((long double)bh * FGeom.ZoomFactorY / 2);
    const int32_t x = cx - e / 2, y = cy - f / 2;
    if (bmp->GetPixelFormat() != ie24RGB) bmp->ConvertPixelFormat(ie24RGB);
    if (Layer->Magnify.MagnifySource == 1) {
        // What is composed so far under the region, stretched over the whole layer.
        for (int32_t r = 0; r < bh; ++r) {
            const int32_t sy = y + int32_t(int64_t(r) * f / bh);
            if (sy < 0 || sy >= Dest->GetHeight()) continue;
            const TIERGB* from = reinterpret_cast<const TIERGB*>(Dest->GetScanline(sy));
            TIERGB* to = reinterpret_cast<TIERGB*>(bmp->GetScanline(r));
            for (int32_t c = 0; c < bw; ++c) {
                const int32_t sx = x + int32_t(int64_t(c) * e / bw);
                if (sx >= 0 && sx < Dest->GetWidth()) to[c] = from[sx];
            }
        }
    } else {
        // Layer 0's pixels under the region, only when the region lies inside layer 0.
        TIEBitmap* base0 = GetLayer(0)->Bitmap;
        const int32_t bx = ScreenToBitmapX(x), by = ScreenToBitmapY(y);
        const int32_t sw = ScreenToBitmapX(x + e) - bx + 1, sh = ScreenToBitmapY(y + f) - by + 1;
        if (bx >= 0 && by >= 0 && bx + sw < base0->GetWidth() && by + sh < base0->GetHeight() &&
            sw < base0->GetWidth() && sh < base0->GetHeight()) {
            bmp->Fill(0);
            std::vector<uint8_t*> rows;
            std::vector<int32_t> cols, rowMap;
            base0->RenderToTIEBitmapEx(bmp, rows, cols, rowMap, nullptr, 0, 0, bw, bh, bx, by, sw, sh, false, false,
                                       255, Filter, true, 0);
        }
    }
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    if (Layer->Magnify.MagnifyStyle == 0) {
        alpha->Fill(255);
    } else {
        // An ellipse over the whole layer; the corners are transparent.
        alpha->Fill(0);
        const double rx = bw / 2.0, ry = bh / 2.0, mx = (bw - 1) / 2.0, my = (bh - 1) / 2.0;
        for (int32_t r = 0; r < bh; ++r) {
            uint8_t* a = alpha->GetScanline(r);
            const double dy = (r - my) / ry;
            for (int32_t c = 0; c < bw; ++c) {
                const double dx = (c - mx) / rx;
                if (dx * dx + dy * dy <= 1.0) a[c] = 255;
            }
        }
        alpha->SetFull(false);
    }
}

void TPicturaView::PaintComposeBackground(TIEBitmap* Dest, const RECT* UpdRect, TBitmap* DestBitmap) {
    if (!DestBitmap) {
        Dest->Fill(double(ColorToRGB(GetBackground())));
        return;
    }
    TCanvas* canvas = DestBitmap->Canvas();
    HDC dc = canvas->Handle();
    if (UpdRect) {
        HRGN rgn = CreateRectRgn(UpdRect->left, UpdRect->top, UpdRect->right + 1, UpdRect->bottom + 1);
        SelectClipRgn(dc, rgn);
        DeleteObject(rgn);
    }
    bool handled = false;
    if (OnDrawBackground) OnDrawBackground(this, canvas, RECT{0, 0, Dest->GetWidth(), Dest->GetHeight()}, handled);
    if (!handled) {
        const int32_t ox = FGeom.OffsetX, oy = FGeom.OffsetY;
        IEDrawBackgroundStyle(false, canvas, DestBitmap, FBackgroundStyle, GetBackground(), 0, 0, Dest->GetWidth(),
                              Dest->GetHeight(), ox, oy, ox + FGeom.ExtentWidth, oy + FGeom.ExtentHeight,
                              FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(),
                              FWallPaperStyle);
    }
    if (UpdRect) SelectClipRgn(dc, nullptr);
    // The pixels are read directly next.
    GdiFlush();
}

// ---- Gadgets -----------------------------------------------------------------------------------

void TPicturaView::GetLayerGripRects(int32_t LayerIndex, RECT (&Rects)[9]) {
    TIELayer* l = GetLayer(LayerIndex);
    const int32_t s = LayerGripSize;
    POINT p[9];
    if (l->RotationAngle == 0) {
        const RECT& r = l->ScreenRect;
        const int32_t mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
        p[0] = {r.left, r.top};
        p[1] = {r.right, r.top};
        p[2] = {r.right, r.bottom};
        p[3] = {r.left, r.bottom};
        p[4] = {r.left, my};
        p[5] = {r.right, my};
        p[6] = {mx, r.top};
        p[7] = {mx, r.bottom};
    } else {
        const POINT* c = l->RotatedCorners;
        for (int32_t k = 0; k < 4; ++k) p[k] = c[k];
        auto mid = [](POINT a, POINT b) { return POINT{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
        p[4] = mid(c[0], c[3]);
        p[5] = mid(c[1], c[2]);
        p[6] = mid(c[0], c[1]);
        p[7] = mid(c[2], c[3]);
    }
    p[8] = {l->BitmapToScreenX(IERound((long double)l->Bitmap->GetWidth() * l->RotationCenterX)),
            l->BitmapToScreenY(IERound((long double)l->Bitmap->GetHeight() * l->RotationCenterY))};
    for (int32_t k = 0; k < 9; ++k) Rects[k] = RECT{p[k].x - s, p[k].y - s, p[k].x + s, p[k].y + s};
}

int32_t TPicturaView::FindLayerGrip(int32_t X, int32_t Y) {
    if (FCurrentLayer < 0 || FCurrentLayer >= GetLayerCount()) return 0;
    RECT rects[9];
    GetLayerGripRects(FCurrentLayer, rects);
    for (int32_t k = 0; k < 9; ++k) {
        const RECT& r = rects[k];
        if (X >= r.left && X <= r.right && Y >= r.top && Y <= r.bottom) {
            if (k == 8 && !(FMouseInteract & miRotateLayers)) return 0;
            return k + 1;
        }
    }
    return 0;
}

void TPicturaView::DrawLayerGadgets(int32_t Index, TBitmap* Target) {
    TIELayer* l = GetLayer(Index);
    TCanvas* canvas = Target->Canvas();
    const bool current = Index == FCurrentLayer;
    if (l->VisibleBox) {
        const bool box = current ? (FMouseInteract & (miMoveLayers | miResizeLayers)) != 0 : DrawAllLayerBoxes;
        if (box) {
            if (OnDrawLayerBox) {
                OnDrawLayerBox(this, canvas, Index);
            } else {
                canvas->Pen()->Assign(&LayerBoxPen);
                const int oldRop = SetROP2(canvas->Handle(), R2_NOT);
                canvas->Brush()->SetStyle(bsClear);
                if (l->RotationAngle != 0) {
                    POINT pts[5] = {l->RotatedCorners[0], l->RotatedCorners[1], l->RotatedCorners[2],
                                    l->RotatedCorners[3], l->RotatedCorners[0]};
                    Polyline(canvas->Handle(), pts, 5);
                } else {
                    const RECT& r = l->ScreenRect;
                    canvas->Rectangle(r.left, r.top, r.right, r.bottom);
                }
                SetROP2(canvas->Handle(), oldRop);
                canvas->Pen()->SetStyle(psSolid);
            }
        }
        if (current) {
            const bool grips = (FMouseInteract & miResizeLayers) && !l->Locked;
            const bool handle = (FMouseInteract & miRotateLayers) != 0;
            if (grips || handle) {
                RECT rects[9];
                GetLayerGripRects(Index, rects);
                if (OnDrawLayerGrip) {
                    for (int32_t k = 0; k < 9; ++k) OnDrawLayerGrip(this, canvas, Index, TIEGrip(k), rects[k]);
                } else {
                    TIECanvas ie(*canvas, true);
                    ie.GetPen().SetStyle(psSolid);
                    ie.GetPen().SetMode(pmCopy);
                    ie.GetPen().SetColor(LayerGripPenColor);
                    ie.GetPen().SetWidth(1);
                    ie.GetBrush().SetStyle(LayerGripBrushStyle);
                    ie.GetBrush().SetColor(LayerGripBrushColor);
                    for (int32_t k = 0; k < 9; ++k) {
                        if (k < 8 && !grips) continue;
                        if (k == 8 && !handle) continue;
                        if (k < 8 && LayerGripShape == 0)
                            ie.RectangleRect(rects[k]);
                        else
                            ie.EllipseRect(rects[k]);
                    }
                }
            }
        }
    }
    GdiFlush();
    if (current && l->DimOutside) {
        // Every other pixel outside the layer becomes dark grey.
        TIEBitmap wrap;
        wrap.EncapsulateTBitmap(Target, false);
        const RECT& r = l->ScreenRect;
        for (int32_t y = 0; y < wrap.GetHeight(); ++y) {
            TIERGB* row = reinterpret_cast<TIERGB*>(wrap.GetScanline(y));
            for (int32_t x = 0; x < wrap.GetWidth(); ++x) {
                const bool out = x < r.left || x > r.right || y < r.top || y > r.bottom;
                if (out && (x % 2) == (y % 2)) row[x] = TIERGB{97, 97, 97};
            }
        }
    }
    GdiFlush();
}

void TPicturaView::DrawSelectionMarks(TIEBitmap* Dest, TBitmap* Target) {
    TIEMask* m = FSelectionMask.get();
    if (!SelectionPainting || !FSelected || !m || m->IsEmpty()) return;
    const int32_t* d = GetCurrentLayer()->LastDraw;
    if (FSelectionOptions & iesoFilled) {
        m->StretchDrawInvert(*Target->Canvas(), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
        GdiFlush();
    }
    if (FSelectionOptions & iesoMarkOuter)
        m->ShadeUnselected(Dest, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], MarkOuterOpacity,
                           IEColorToRGB(MarkOuterColor));
}

void TPicturaView::DrawPixelGrid(TBitmap* Target) {
    if (!PixelGrid || GetLayerCount() == 0) return;
    const int32_t index = PixelGridLayer < 0 ? FCurrentLayer : std::min(PixelGridLayer, GetLayerCount() - 1);
    TIELayer* l = GetLayer(index);
    if (!l->Visible) return;
    if (FGeom.ZoomX < IEPixelGridZoomThreshold && FGeom.ZoomY < IEPixelGridZoomThreshold) return;
    if (FCurrentImage->GetWidth() <= 1 && FCurrentImage->GetHeight() <= 1) return;
    TCanvas* canvas = Target->Canvas();
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetWidth(1);
    const int oldRop = SetROP2(canvas->Handle(), R2_NOT);
    const int32_t* d = l->LastDraw;
    if (d[6] > 0 && d[7] > 0) {
        for (int32_t i = 0; i <= d[6]; ++i) {
            const int32_t x = IERound((long double)i * (double(d[2]) / d[6]) + d[0]);
            canvas->MoveTo(x, d[1]);
            canvas->LineTo(x, d[1] + d[3]);
        }
        for (int32_t i = 0; i <= d[7]; ++i) {
            const int32_t y = IERound((long double)i * (double(d[3]) / d[7]) + d[1]);
            canvas->MoveTo(d[0], y);
            canvas->LineTo(d[0] + d[2], y);
        }
    }
    SetROP2(canvas->Handle(), oldRop);
    if (MarkedPixel.x >= 0 && MarkedPixel.y >= 0) {
        TIECanvas ie(*canvas, true);
        ie.GetPen().SetColor(MarkedPixelColor);
        ie.GetPen().SetStyle(psSolid);
        ie.GetPen().SetWidth(2);
        ie.GetBrush().SetStyle(bsClear);
        ie.RoundRect(l->BitmapToScreenX(MarkedPixel.x), l->BitmapToScreenY(MarkedPixel.y),
                     l->BitmapToScreenX(MarkedPixel.x + 1), l->BitmapToScreenY(MarkedPixel.y + 1), 5, 5);
    }
    GdiFlush();
}

// ---- Layer operations at 100 % -----------------------------------------------------------------

void TPicturaView::DrawLayersTo(TIEBitmap* Dest) {
    GetCurrentLayer()->Bitmap = FCurrentImage;
    TIELayer* l0 = GetLayer(0);
    int32_t right = l0->PosX + l0->GetWidth(), bottom = l0->PosY + l0->GetHeight();
    int32_t marginX = 0, marginY = 0;
    for (auto& l : FLayers) {
        if (l->ClipToBackground) continue;
        right = std::max(right, l->PosX + l->GetWidth());
        bottom = std::max(bottom, l->PosY + l->GetHeight());
        if (l->PosX < 0) marginX = std::max(marginX, -l->PosX);
        if (l->PosY < 0) marginY = std::max(marginY, -l->PosY);
    }
    const double background = double(ColorToRGB(GetBackground()));
    if (Dest->GetPixelFormat() != ie24RGB || Dest->IsEmpty()) {
        Dest->Allocate(right + marginX, bottom + marginY, ie24RGB);
        Dest->Fill(background);
    } else {
        Dest->Resize(right + marginX, bottom + marginY, background, 255, 0, 0);
    }
    // The view's geometry goes to 100 % with the image at the margins; everything comes back after.
    const TIEViewGeometry saved = FGeom;
    FGeom.SetZoomValues(100, 100);
    FGeom.OriginX = FGeom.OriginY = 0;
    FGeom.OffsetX = marginX;
    FGeom.OffsetY = marginY;
    FGeom.ExtentWidth = FGeom.ZoomedWidth = FGeom.DrawWidth = FGeom.SrcWidth = l0->Bitmap->GetWidth();
    FGeom.ExtentHeight = FGeom.ZoomedHeight = FGeom.DrawHeight = FGeom.SrcHeight = l0->Bitmap->GetHeight();
    FGeom.SrcX = FGeom.SrcY = 0;
    FGeom.FreeCoordinateTables();
    const int32_t delay = FFilterDelayCounter;
    FFilterDelayCounter = 0;
    struct TRestore {
        TPicturaView* V;
        const TIEViewGeometry& G;
        int32_t Delay;
        ~TRestore() {
            V->FGeom = G;
            V->FGeom.SetZoomValues(G.ZoomX, G.ZoomY);
            V->FFilterDelayCounter = Delay;
        }
    } restore{this, saved, delay};
    // The geometry as set here is what the layers are placed by (no recomputation from a window).
    FComposeFixedGeometry = true;
    try {
        ComposeTo(Dest, nullptr, nullptr, false, false);
    } catch (...) {
        FComposeFixedGeometry = false;
        throw;
    }
    FComposeFixedGeometry = false;
}

void TPicturaView::FlattenLayers() {
    GetCurrentLayer()->Bitmap = FCurrentImage;
    TIEBitmap* l0 = GetLayer(0)->Bitmap;
    auto flat = std::make_unique<TIEBitmap>(l0->GetWidth(), l0->GetHeight(), ie24RGB);
    flat->Fill(double(ColorToRGB(GetBackground())));
    DrawLayersTo(flat.get());
    ClearLayers();
    FCurrentImage->Assign(flat.get());
    if (FCurrentImage->HasAlphaChannel()) FCurrentImage->RemoveAlphaChannel();
    Update();
}

void TPicturaView::ResizeLayersToSize(int32_t Index) {
    const int32_t saved = FCurrentLayer;
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        if (Index != -1 && i != Index) continue;
        TIELayer* l = GetLayer(i);
        if (l->Width == 0 && l->Height == 0) continue;
        SetCurrentLayer(i);
        // An unselectable layer may not become current; its own bitmap is resampled all the same
        // (the current one's is brought in step first).
        GetCurrentLayer()->Bitmap = FCurrentImage;
        // The bitmap takes the size it is shown at, resampled with the layer's filter or the view's,
        // through a processing component of its own (no undo).
        TPicturaProc proc(nullptr);
        proc.AutoUndo = false;
        proc.SetAttachedIEBitmap(l->Bitmap);
        proc.Resample(l->GetWidth(), l->GetHeight(), l->UseResampleFilter ? l->ResampleFilter : FZoomFilter);
        l->Width = 0;
        l->Height = 0;
    }
    SetCurrentLayer(saved);
    Update();
}

void TPicturaView::CropLayersTransparentBorder(int32_t Index) {
    GetCurrentLayer()->Bitmap = FCurrentImage;
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        if (Index != -1 && i != Index) continue;
        TIEBitmap* b = GetLayer(i)->Bitmap;
        if (!b || b->IsEmpty()) continue;
        TPicturaProc proc(nullptr);
        proc.AutoUndo = false;
        proc.SetAttachedIEBitmap(b);
        proc.CropTransparentBorder();
    }
    Update();
}
