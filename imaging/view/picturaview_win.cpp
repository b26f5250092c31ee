// The viewer control: construction and destruction, the image and its layers, the update and
// paint pipeline, and the messages it handles.
#include <windows.h>

#include <algorithm>

#include "Forms.h"
#include "iecoreutils_threads.h"
#include "iegdiplus_loader.h"
#include "iecoreutils_vcl.h"
#include "iedshow.h"
#include "picturaio.h"
#include "picturaview.h"
#include "picturaview_control.h"

const wchar_t* const IEPicturaVersion = L"4.1.0";
std::function<bool()> IEViewLeftButtonDown = [] { return IEIsLeftButtonDown(); };

namespace {

// The cursor resources and the numbers they are entered under (1778 onwards).
const wchar_t* const kCursorNames[] = {
    L"ZOOMMENO", L"ZOOMPIU", L"CROCE",  L"GOMMA",  L"MANO",   L"PENNA",  L"CROCE1", L"CROCE3", L"MOVE2",  L"MOVEY",
    L"MOVE1",    L"MOVEX",   L"MOVE",   L"CROCE3+", L"CROCE3-", L"CROCE2", L"CROCE2+", L"CROCE2-", L"CROCE2-", L"1795",
    L"1796",     L"1797",    L"1798",   L"1799",   L"1800",   L"1801",   L"1802",   L"1803",   L"1803",   L"1805",
    L"1806",     L"1807",    L"1808",   L"ROT1",   L"ROT2",   L"ROT3",   L"ROT4"};
static_assert(sizeof kCursorNames / sizeof kCursorNames[0] == 37, "37 cursors, 1778 to 1814");

// Loads the view cursors into the application's cursor table (a missing resource keeps the
// arrow under that number).
void IELoadViewCursors() {
    for (int32_t i = 0; i < 37; ++i) {
        HCURSOR c = LoadCursorResource(kCursorNames[i]);
        if (c) SetScreenCursor(TCursor(1778 + i), c);
    }
}

}  // namespace

const wchar_t* IEViewCursorName(int32_t Number) {
    if (Number < 1778 || Number > 1814) return nullptr;
    return kCursorNames[Number - 1778];
}

void SyncViewHandle(TIEView* View) {
    if (View && !View->HandleAllocated() && View->Parent()) View->HandleNeeded();
}

// ---- Construction ------------------------------------------------------------------------------

TPicturaView::TPicturaView(TComponent* AOwner) : TIEView(AOwner) {
    // Anti-aliased gadgets and objects draw through GDI+ while a viewer exists.
    IEGdiPlusAcquire();
    HoldUpdate();
    FHasOwner = AOwner != nullptr;
    // A drag keeps the mouse while it leaves the window (selections and layers scroll with it).
    ControlStyle |= csCaptureMouse;
    // The image keeps its pixels in a system bitmap of its own (LegacyBitmap).
    auto image = std::make_unique<TIEBitmap>();
    image->SetLocation(ieTBitmap);
    image->Allocate(1, 1, ie24RGB);
    FCurrentImage = image.get();
    auto layer = std::make_unique<TIELayer>(this, true, image.release());
    layer->VisibleBox = false;
    layer->Locked = true;
    FLayers.push_back(std::move(layer));
    FCurrentLayer = 0;
    FDrawDib = IEDrawDibOpen();
    IELoadViewCursors();
    SetCursor(1785);
    FScrollBars = ssBoth;
    FGeom.SetZoomValues(100.0, 100.0);
    SetBounds(Left(), Top(), 105, 105);
    FCenter = true;
    DoubleBuffer = true;
    SetDpi(IEDefaultDPIX, IEDefaultDPIY);
    CreatePolygonRecord(clBlack, clWhite, true, true);
    FBackBuffer = std::make_unique<TIEBitmap>();
    FBackBuffer->SetLocation(ieTBitmap);
    FBackBuffer->Allocate(10, 10, ie24RGB);
    FSelectionMask = std::make_unique<TIEMask>();
    FSelectionMask->Allocate(std::max(FCurrentImage->GetWidth(), 1), std::max(FCurrentImage->GetHeight(), 1), 1);
    ReleaseUpdate();
    FWallPaper = std::make_unique<TPicture>();
    FXorPen = std::make_unique<TPen>();
    FXorPen->SetStyle(psDot);
    FXorPen->SetWidth(1);
}

TPicturaView::~TPicturaView() {
    FDestroying = true;
    StopSmoothScroll();
    SyncImageSize();
    FTransitions.reset();
    SetNavigator(nullptr, 0);
    FIO.reset();
    FProc.reset();
    FBackBuffer.reset();
    FSelectionTimer.reset();
    if (FDrawDib) IEDrawDibClose(FDrawDib);
    FDrawDib = nullptr;
    FSelectionMask.reset();
    FreeLayers();
    FSelectionStack.clear();
    FGeom.FreeCoordinateTables();
    FXorPen.reset();
    FWallPaper.reset();
    FDimBitmap.reset();
    IEGdiPlusRelease();
}

void TPicturaView::FreeLayers() {
    // Each layer frees the image it owns (with its system bitmap).
    FLayers.clear();
    FCurrentImage = nullptr;
}

// ---- The image ---------------------------------------------------------------------------------

TBitmap* TPicturaView::GetBitmap() {
    if (!FCurrentImage || FCurrentImage->GetLocation() != ieTBitmap) return nullptr;
    return FCurrentImage->GetTBitmap();
}
TIEBitmap* TPicturaView::GetIEBitmap() { return FCurrentImage; }
TIEBitmap* TPicturaView::GetAlphaChannel() { return FCurrentImage->GetAlphaChannel(); }
bool TPicturaView::HasAlphaChannel() { return FCurrentImage->HasAlphaChannel(); }
void TPicturaView::RemoveAlphaChannel(bool Merge) { FCurrentImage->RemoveAlphaChannel(Merge, GetBackground()); }

bool TPicturaView::IsImageEmpty() { return FCurrentImage->GetWidth() < 2 && FCurrentImage->GetHeight() < 2; }

void TPicturaView::FillWithBackground() {
    FCurrentImage->Fill(double(ColorToRGB(GetBackground())));
    FCurrentImage->RemoveAlphaChannel(false);
    Update();
}

void TPicturaView::ClearImage() {
    StopTransition();
    FCurrentImage->SetWidth(1);
    FCurrentImage->SetHeight(1);
    FillWithBackground();
}

void TPicturaView::Assign(TObject* Source) {
    if (!Source) {
        FillWithBackground();
        return;
    }
    if (auto* view = dynamic_cast<TPicturaView*>(Source)) {
        FCurrentImage->Assign(view->GetIEBitmap());
        SetBackground(view->GetBackground());
        SetDpi(view->GetDpiX(), view->GetDpiY());
        Update();
        DoImageChange();
    } else if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
        FCurrentImage->AssignTBitmap(bitmap);
        const TIEPixelFormat pf = FCurrentImage->GetPixelFormat();
        if (pf != ie1g && pf != ie24RGB) FCurrentImage->ConvertPixelFormat(ie24RGB);
        Update();
        DoImageChange();
    }
}

void TPicturaView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TPicturaView::SetBackground(TColor Value) {
    TIEView::SetBackground(Value);
    FUpdateReason = 4;
    Update();
    DoImageChange();
}

void TPicturaView::SetBackgroundStyle(TIEBackgroundStyle Value) {
    FBackgroundStyle = Value;
    Invalidate();
    FUpdateReason = 4;
    Update();
}

void TPicturaView::SetChessboardParams(int32_t Size, TBrushStyle BrushStyle) {
    FChessboardSize = Size;
    FChessboardBrushStyle = BrushStyle;
}

void TPicturaView::SetGradientEndColor(TColor Value) {
    FGradientEndColor = Value;
    FUpdateReason = 4;
    Update();
}

void TPicturaView::SetEnableAlphaChannel(bool Value) {
    FEnableAlphaChannel = Value;
    Update();
}

void TPicturaView::DoImageChange() {
    if (OnImageChange) OnImageChange(this);
}

void TPicturaView::SetLegacyBitmap(bool Value) {
    if (Value == FLegacyBitmap) return;
    // The image owns its system bitmap: moving the pixels frees or makes it.
    FCurrentImage->SetLocation(Value ? ieTBitmap : ieFile);
    FLegacyBitmap = Value;
    NotifyBitmapChange();
    Update();
}

void TPicturaView::AttachExternalBitmap(TIEBitmap* Bitmap) {
    if (FLayers.empty()) return;
    TIELayer* layer = GetCurrentLayer();
    if (!Bitmap) {
        auto fresh = new TIEBitmap();
        if (!layer->OwnsBitmap) layer->Bitmap = fresh;
        else {
            delete layer->Bitmap;
            layer->Bitmap = fresh;
        }
        layer->OwnsBitmap = true;
        FCurrentImage = fresh;
        return;
    }
    if (layer->OwnsBitmap) delete layer->Bitmap;
    layer->Bitmap = Bitmap;
    layer->OwnsBitmap = false;
    FCurrentImage = Bitmap;
    NotifyBitmapChange();
    Update();
}

// ---- Layer list --------------------------------------------------------------------------------

void TPicturaView::SetCurrentLayer(int32_t Index) {
    if (Index < 0 || Index >= GetLayerCount() || Index == FCurrentLayer) return;
    // -1: the current layer was just removed, and its image with it.
    if (FCurrentLayer >= 0) GetCurrentLayer()->Bitmap = FCurrentImage;
    if (FSelected) PushSelection();
    while (!FLayers[size_t(Index)]->Selectable && Index != 0 && SkipUnselectableLayers) --Index;
    FCurrentLayer = Index;
    FCurrentImage = GetCurrentLayer()->Bitmap;
    if (FSelected) PopSelection();
    NotifyBitmapChange();
    Update();
}

int32_t TPicturaView::AddLayer() {
    FLayers.push_back(std::make_unique<TIELayer>(this, false, FCurrentImage));
    const int32_t index = GetLayerCount() - 1;
    SetCurrentLayer(index);
    FCurrentImage->Fill(double(ColorToRGB(GetBackground())));
    return index;
}

void TPicturaView::RemoveLayer(int32_t Index) {
    if (GetLayerCount() < 2 || Index < 0 || Index >= GetLayerCount()) return;
    GetCurrentLayer()->Bitmap = FCurrentImage;
    if (Index + 1 < GetLayerCount() && FLayers[size_t(Index + 1)]->IsMask) {
        FLayers.erase(FLayers.begin() + Index + 1);
        if (FCurrentLayer > Index + 1) --FCurrentLayer;
        else if (FCurrentLayer == Index + 1) FCurrentLayer = Index;
    }
    const bool wasCurrent = Index == FCurrentLayer;
    FLayers.erase(FLayers.begin() + Index);
    if (wasCurrent) {
        // The current layer went: the one now at its index (or the last) becomes current.
        FCurrentLayer = -1;
        SetCurrentLayer(std::min(Index, GetLayerCount() - 1));
    } else if (Index < FCurrentLayer) {
        const int32_t target = FCurrentLayer - 1;
        FCurrentLayer = -1;
        SetCurrentLayer(target);
    }
}

void TPicturaView::ClearLayers() {
    GetCurrentLayer()->Bitmap = FCurrentImage;
    FLayers.erase(FLayers.begin() + 1, FLayers.end());
    FCurrentLayer = -1;
    SetCurrentLayer(0);
    TIELayer* l0 = GetLayer(0);
    l0->SetDefaults();
    l0->VisibleBox = false;
    l0->Locked = true;
    FCurrentImage->Fill(double(ColorToRGB(GetBackground())));
}

void TPicturaView::SyncImageSize() {
    if (FLayers.empty() || !FCurrentImage) return;
    GetCurrentLayer()->Bitmap = FCurrentImage;
    TIEBitmap* base = GetLayer(0)->Bitmap;
    int32_t w = base ? base->GetWidth() : 0, h = base ? base->GetHeight() : 0;
    if (LayersSameSize && GetLayerCount() > 1) {
        for (auto& l : FLayers) {
            w = std::max(w, l->Bitmap->GetWidth());
            h = std::max(h, l->Bitmap->GetHeight());
        }
        for (auto& l : FLayers) {
            if (l->Bitmap->GetWidth() != w || l->Bitmap->GetHeight() != h)
                l->Bitmap->Resize(w, h, double(ColorToRGB(GetBackground())), 0, 0, 0);
        }
    }
    FGeom.ImageWidth = w;
    FGeom.ImageHeight = h;
}

// ---- Paint control -----------------------------------------------------------------------------

void TPicturaView::HoldPaint() { ++FPaintLock; }

int32_t TPicturaView::ReleasePaintCount() {
    if (FPaintLock > 0) --FPaintLock;
    if (FPaintLock == 0) Update();
    return FPaintLock;
}

void TPicturaView::ReleasePaint() { ReleasePaintCount(); }

void TPicturaView::ReleasePaintNoUpdate() {
    if (FPaintLock > 0) --FPaintLock;
}

void TPicturaView::HoldUpdate() { ++FUpdateLock; }

void TPicturaView::ReleaseUpdate() {
    if (FUpdateLock > 0) --FUpdateLock;
    if (FUpdateLock == 0) Update();
}

void TPicturaView::ReleaseUpdateNoRefresh() {
    if (FUpdateLock > 0) --FUpdateLock;
}

int32_t TPicturaView::GetViewWidth() {
    if (FOffScreen) return Width();
    if (HasParentWindow() && HandleAllocated()) return ClientWidth();
    return 50;
}

int32_t TPicturaView::GetViewHeight() {
    if (FOffScreen) return Height();
    if (HasParentWindow() && HandleAllocated()) return ClientHeight();
    return 50;
}

bool TPicturaView::HasParentWindow() { return Parent() != nullptr; }

void TPicturaView::InvalidateArea(const RECT& Rect) {
    FBackBufferDirty = true;
    if (HandleAllocated()) InvalidateRect(Handle(), &Rect, FALSE);
}

void TPicturaView::Update() {
    if (FUpdateLock > 0 || FDestroying || FUpdateRunning) return;
    FUpdateRunning = true;
    struct TGuard {
        TPicturaView* V;
        ~TGuard() {
            V->FUpdateReason = 0;
            V->FUpdateRunning = false;
        }
    } guard{this};

    for (int32_t i = 0; i < GetLayerCount(); ++i)
        if (AlphaCacheLayer == -1 || AlphaCacheLayer == i) FLayers[size_t(i)]->AlphaCache.reset();
    AlphaCacheLayer = -1;
    SyncImageSize();

    const int32_t iw = FGeom.ImageWidth, ih = FGeom.ImageHeight;
    if ((FAutoFit || FAutoStretch || FAutoShrink) && iw != 0 && ih != 0) {
        DoViewChanging(2, FGeom.ZoomX);
        int32_t mx, my;
        if (FBackgroundStyle == iebsCropped) {
            mx = IEMetricCXEdge;
            my = IEMetricCYEdge;
        } else if (FBackgroundStyle == iebsCropShadow) {
            mx = my = 5;
        } else if (FBackgroundStyle == iebsSoftShadow) {
            mx = my = 9;
        } else {
            mx = (Width() - GetViewWidth()) / 2;
            my = (Height() - GetViewHeight()) / 2;
        }
        double z = 100.0;
        if (iw > 1 || ih > 1)
            z = ChooseAutoFitZoom(iw, ih, GetViewWidth() - 2 * mx, GetViewHeight() - 2 * my,
                                  FAutoStretch || FAutoFit, FAutoShrink || FAutoFit);
        z = std::min(z, IEMaxZoomFor(iw, ih));
        if (z < 1) z = 1;
        FGeom.SetZoomValues(z, z);
        ComputeSourceRect();
        BuildCoordinateTables();
        DoViewChange(1);
        FFilterDelayCounter = 0;
        FOutlineDelayCounter = 0;
    }

    if (iw != FLastImageWidth || ih != FLastImageHeight) {
        FLastImageWidth = iw;
        FLastImageHeight = ih;
        if (FSelectionMask && (FSelectionMask->Width != iw || FSelectionMask->Height != ih)) {
            if (FSelected) {
                FSelectionMask->Resize(iw, ih);
                FSelectionMask->UpdateFullFlag();
                FSelectionMask->UpdateBoundingBox();
            } else {
                FSelectionMask->Allocate(std::max(iw, 1), std::max(ih, 1), FMaskBitsPerPixel);
            }
        }
        if (FCurrentImage->HasAlphaChannel()) {
            TIEBitmap* a = FCurrentImage->GetAlphaChannel();
            if (a->GetWidth() != FCurrentImage->GetWidth() || a->GetHeight() != FCurrentImage->GetHeight()) {
                a->Allocate(FCurrentImage->GetWidth(), FCurrentImage->GetHeight(), ie8g);
                a->Fill(255);
            }
        }
    }

    if (!HandleAllocated() && !FOffScreen) {
        ComputeDisplayExtent();
        return;
    }

    if (HasParentWindow()) {
        const int32_t vw = GetViewWidth(), vh = GetViewHeight();
        int32_t maxX, maxY;
        GetMaxViewOrigin(maxX, maxY);
        bool moved = false;
        if (FGeom.OriginX > maxX) {
            DoViewChanging(0, maxX);
            FGeom.OriginX = maxX;
            moved = true;
        }
        if (FGeom.OriginY > maxY) {
            DoViewChanging(1, maxY);
            FGeom.OriginY = maxY;
            moved = true;
        }
        if (moved) DoViewChange(0);
        try {
            UpdateScrollBars(maxX, maxY);
        } catch (...) {
            // The view stays usable without up-to-date bars.
        }
        if ((vw != GetViewWidth() || vh != GetViewHeight()) && !FNestedUpdate) {
            FNestedUpdate = true;
            FUpdateRunning = false;
            Update();
            FUpdateRunning = true;
            FNestedUpdate = false;
        }
    }

    ComputeDisplayExtent();
    FBackBufferDirty = true;
    FFullRepaint = true;
    if (HasParentWindow() && !SuppressInvalidate && InvalidateOnUpdate && HandleAllocated()) Invalidate();

    if (FNavigator && FNavigator->FPaintLock == 0) {
        if (FUpdateReason == 0) FNavigator->Update();
        UpdateNavigator();
    }
}

// ---- Paint -------------------------------------------------------------------------------------

void TPicturaView::Paint() {
    try {
        if (!FOffScreen && (!HandleAllocated() || !HasParentWindow() || GetViewWidth() == 0 || GetViewHeight() == 0))
            return;
        if (FPaintLock == 0) {
            RECT r{0, 0, GetViewWidth(), GetViewHeight()};
            if (!FFullRepaint && Canvas()->HandleAllocated()) {
                RECT clip{};
                GetClipBox(Canvas()->Handle(), &clip);
                if (clip.right == 0) clip.right = r.right;
                if (clip.bottom == 0) clip.bottom = r.bottom;
                r = clip;
            }
            PresentBackBuffer(r);
            if (OnDrawCanvas) OnDrawCanvas(this, Canvas(), RECT{0, 0, GetViewWidth(), GetViewHeight()});
        }
        FFullRepaint = false;
        if (!FPolygonAsSelection && FPaintLock == 0) DrawSelection(false);
        if (OnPaint) OnPaint(this);
    } catch (...) {
        // A failed paint leaves the view usable; the next one tries again.
    }
    if (FDrawVersion) DrawVersionLine();
    if (!HintText.empty() && EnableInteractionHints) {
        int32_t x = HintX, y = HintY;
        IEDrawInfoBox(Canvas(), x, y, HintText, HintWidthText);
    }
    if (TIEDirectShow* video = RenderingVideo()) {
        // The renderer draws the video into the current layer's place on the window: the layer's
        // visible part in image pixels, scaled to the video's own size.
        int32_t videoW = 0, videoH = 0;
        video->GetVideoSize(videoW, videoH);
        const TIELayer* l = GetCurrentLayer();
        const int32_t imageW = FCurrentImage->GetWidth(), imageH = FCurrentImage->GetHeight();
        if (videoW > 0 && videoH > 0 && imageW > 0 && imageH > 0) {
            const RECT& screen = l->ScreenRect;
            const int32_t x1 = l->ScreenToBitmapX(std::max<int32_t>(screen.left, 0));
            const int32_t y1 = l->ScreenToBitmapY(std::max<int32_t>(screen.top, 0));
            const int32_t x2 = l->ScreenToBitmapX(std::min<int32_t>(screen.right, GetViewWidth()));
            const int32_t y2 = l->ScreenToBitmapY(std::min<int32_t>(screen.bottom, GetViewHeight()));
            const auto scale = [](int32_t V, int32_t To, int32_t From) {
                return static_cast<int32_t>(static_cast<int64_t>(V) * To / From);
            };
            video->SetVideoPosition(
                TIEDShowRect{scale(x1, videoW, imageW), scale(y1, videoH, imageH), scale(x2, videoW, imageW),
                             scale(y2, videoH, imageH)},
                TIEDShowRect{screen.left, screen.top, screen.right, screen.bottom});
        }
    }
    if (FHasOwner && FCursorPending) {
        TControl::SetCursor(FShownCursor);
        FCursorPending = false;
    }
}

void TPicturaView::DrawVersionLine() {
    TCanvas* c = Canvas();
    c->Font()->SetName(L"Arial");
    c->Font()->SetHeight(13);
    c->Font()->SetColor(clBlack);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clWhite);
    const std::wstring text = std::wstring(L"Pictura Version ") + IEPicturaVersion + L" - 22/2/2012";
    const int32_t w = c->TextWidth(text), h = c->TextHeight(text);
    c->TextOut(GetViewWidth() - w, GetViewHeight() - h, text);
}

TBitmap* TPicturaView::GetBackBuffer() { return FBackBuffer ? FBackBuffer->GetTBitmap() : nullptr; }

void TPicturaView::PresentBackBuffer(const RECT& Rect) {
    if (!HasParentWindow() && !FOffScreen) return;
    const int32_t vw = GetViewWidth(), vh = GetViewHeight();
    if (vw <= 0 || vh <= 0) return;
    if (FBackBuffer->GetWidth() != vw || FBackBuffer->GetHeight() != vh) {
        // Without memory for the buffer there is nothing to present (the next paint tries again).
        if (!FBackBuffer->Allocate(vw, vh, ie24RGB)) return;
        FBackBufferDirty = true;
    }
    if (FBackBufferDirty) {
        ComposeTo(FBackBuffer.get(), &Rect, FBackBuffer->GetTBitmap(), true, true);
        if (OnDrawBackBuffer) OnDrawBackBuffer(this);
        FBackBufferDirty = false;
    }
    FDibHeader = BITMAPINFOHEADER{};
    FDibHeader.biSize = 40;
    FDibHeader.biWidth = vw;
    FDibHeader.biHeight = vh;
    FDibHeader.biPlanes = 1;
    FDibHeader.biBitCount = FBackBuffer->GetPixelFormat() == ie1g ? 1 : 24;
    FDibHeader.biCompression = BI_RGB;
    FDibPalette[1] = RGBQUAD{255, 255, 255, 0};
    const int32_t w = std::min<int32_t>(Rect.right - Rect.left, vw), h = std::min<int32_t>(Rect.bottom - Rect.top, vh);
    if (w <= 0 || h <= 0) return;
    const bool remote = IEGlobalRemoteSession;
    const bool drawDib = (PresentWithDrawDib || IEScreenColorDepth <= 8) && !remote;
    const bool halftone = !drawDib && IEScreenColorDepth <= 23 && !remote;
    const bool dimmed = !drawDib && !halftone && FIsNavigator && (NavigatorOptions & 2);
    // The dimmed picture is made even without a window (an off-screen navigator keeps it).
    if (dimmed) BuildDimmed(Rect, w, h);
    TBitmap* bb = FBackBuffer->GetTBitmap();
    if (!HandleAllocated() || !bb) return;
    HDC dc = Canvas()->Handle();
    HDC src = bb->Canvas()->Handle();
    if (RenderingVideo()) {
        // The video renderer owns the current layer's place on the window.
        const RECT& screen = GetCurrentLayer()->ScreenRect;
        ExcludeClipRect(dc, screen.left, screen.top, screen.right, screen.bottom);
    }
    if (drawDib) {
        // DrawDib reads a bottom-up DIB: the header with a negative height describes the top-down
        // rows of the back buffer.
        BITMAPINFOHEADER header = FDibHeader;
        header.biHeight = -vh;
        IEDrawDibDraw(FDrawDib, dc, Rect.left, Rect.top, w, h, &header, bb->ScanLine(0), Rect.left, Rect.top, w, h, 0);
    } else if (halftone) {
        const int old = SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, Rect.left, Rect.top, w, h, src, Rect.left, Rect.top, w, h, SRCCOPY);
        SetStretchBltMode(dc, old);
    } else if (dimmed) {
        BitBlt(dc, Rect.left, Rect.top, w, h, FDimBitmap->GetCanvas()->Handle(), Rect.left, Rect.top, SRCCOPY);
    } else {
        BitBlt(dc, Rect.left, Rect.top, w, h, src, Rect.left, Rect.top, SRCCOPY);
    }
    if (Handle() != FLastWindowHandle) {
        // The graph's notifications follow the view to its new window.
        GetIO()->UpdateDShowNotifyWindow();
        FLastWindowHandle = Handle();
    }
}

void TPicturaView::BuildDimmed(const RECT& Rect, int32_t W, int32_t H) {
    const int32_t vw = GetViewWidth(), vh = GetViewHeight();
    if (!FDimBitmap) {
        FDimBitmap = std::make_unique<TIEBitmap>();
        FDimBitmap->SetLocation(ieTBitmap);
    }
    if (FDimBitmap->GetWidth() != vw || FDimBitmap->GetHeight() != vh) FDimBitmap->Allocate(vw, vh, ie24RGB);
    FBackBuffer->CopyRectTo(FDimBitmap.get(), Rect.left, Rect.top, Rect.left, Rect.top, W, H);
    TIELayer* l = GetCurrentLayer();
    IEDimOutside(FDimBitmap->GetCanvas(), l->ScreenRect.left, l->ScreenRect.top, l->ScreenRect.right - l->ScreenRect.left,
                 l->ScreenRect.bottom - l->ScreenRect.top, VisibleAreaRect.left, VisibleAreaRect.top,
                 VisibleAreaRect.right, VisibleAreaRect.bottom);
}

void TPicturaView::DrawBackgroundTo(TCanvas* Canvas, int32_t Width, int32_t Height) {
    if (Width == -1) Width = this->Width();
    if (Height == -1) Height = this->Height();
    IEDrawBackgroundStyle(false, Canvas, nullptr, FBackgroundStyle, GetBackground(), 0, 0, Width, Height, 0, 0, 0, 0,
                          FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(),
                          FWallPaperStyle);
}

void TPicturaView::DrawGrid() {}
void TPicturaView::AfterDrawLayer(int32_t, TIEBitmap*) {}

void TPicturaView::DoLayerNotify(int32_t Layer, TIELayerEvent Event) {
    if (!OnLayerNotify) return;
    SwapSelectionBase();
    OnLayerNotify(this, Layer, Event);
    SwapSelectionBase();
}

// ---- Published settings ------------------------------------------------------------------------

void TPicturaView::SetDrawVersion(bool Value) {
    FDrawVersion = Value;
    Repaint();
}

TPicture* TPicturaView::GetWallPaper() {
    if (!FWallPaper) FWallPaper = std::make_unique<TPicture>();
    return FWallPaper.get();
}

void TPicturaView::SetWallPaper(TPicture* Value) {
    GetWallPaper()->Assign(Value);
    SetBackBufferDirty();
    Update();
}

void TPicturaView::SetWallPaperStyle(TIEWallPaperStyle Value) {
    if (Value == FWallPaperStyle) return;
    FWallPaperStyle = Value;
    SetBackBufferDirty();
    Update();
}

// ---- Cursors -----------------------------------------------------------------------------------

void TPicturaView::SetCursor(TCursor Value) {
    if (OnSetCursor) OnSetCursor(this, Value);
    FBaseCursor = Value;
    FShownCursor = Value;
    if (FHasOwner) TControl::SetCursor(Value);
}

void TPicturaView::SetInteractionCursor(TCursor Value) {
    if (OnSetCursor) OnSetCursor(this, Value);
    if (!FHasOwner) return;
    TControl::SetCursor(Value);
    FShownCursor = Value;
}

void TPicturaView::RestoreCursor() { SetInteractionCursor(FBaseCursor); }

// ---- Attached components -----------------------------------------------------------------------

TPicturaIO* TPicturaView::GetIO() {
    if (!FIO) {
        FIO = std::make_shared<TPicturaIO>(this);
        FIO->SetAttachedPictura(this);
        FIO->OnProgress = FOnProgress;
        FIO->OnFinishWork = FOnFinishWork;
    }
    return FIO.get();
}

void TPicturaView::SetOnProgress(TIEProgressEvent Value) {
    FOnProgress = std::move(Value);
    if (FIO) FIO->OnProgress = FOnProgress;
    if (FProc) FProc->OnProgress = FOnProgress;
}

void TPicturaView::SetOnFinishWork(TNotifyEvent Value) {
    FOnFinishWork = std::move(Value);
    if (FIO) FIO->OnFinishWork = FOnFinishWork;
    if (FProc) FProc->OnFinishWork = FOnFinishWork;
}

void TPicturaView::SetOnSaveUndo(TIESaveUndoEvent Value) {
    FOnSaveUndo = std::move(Value);
    if (FProc) FProc->OnSaveUndo = FOnSaveUndo;
}

// ---- Messages ----------------------------------------------------------------------------------

void TPicturaView::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case IEMSG_UPDATE: IEMUpdate(Message); return;
        case IEMSG_PROGRESS: IEMProgress(Message); return;
        case IEMSG_FINISHWORK: IEMFinishWork(Message); return;
        case IEMSG_DSHOW_FRAME: IEMDShowNewFrame(Message); return;
        case IEMSG_DSHOW_EVENT: IEMDShowEvent(Message); return;
        case WM_MOUSEHWHEEL: DefaultHandler(Message); return;
        case CN_KEYUP: case WM_SYSKEYUP: VirtualKeyMessage(Message, false); return;
        case WM_SYSKEYDOWN: VirtualKeyMessage(Message, true); return;
        case WM_QUERYNEWPALETTE: Message.Result = PaletteChanged(true); return;
        case WM_PALETTECHANGED:
            if (!HandleAllocated() || HWND(Message.WParam) != Handle()) PaletteChanged(false);
            return;
        default: TIEView::Dispatch(Message);
    }
}

void TPicturaView::IEMUpdate(TMessage&) { Update(); }

void TPicturaView::IEMProgress(TMessage& Message) {
    if (FOnProgress) FOnProgress(this, int32_t(Message.WParam));
}

void TPicturaView::IEMFinishWork(TMessage&) {
    if (FOnFinishWork) FOnFinishWork(this);
}

TIEDirectShow* TPicturaView::RenderingVideo() {
    TIEDirectShow* video = FIO ? FIO->GetExistingDShowParams() : nullptr;
    if (!video) return nullptr;
    return video->RenderVideo && video->Connected() && video->GetState() != 0 ? video : nullptr;
}

void TPicturaView::IEMDShowNewFrame(TMessage& Message) {
    // lParam is the graph that sent the frame: its frame messages pause while the handler runs.
    auto* graph = reinterpret_cast<TIEDirectShow*>(Message.LParam);
    if (graph && graph->Connected()) {
        graph->FrameNotify = false;
        if (OnDShowNewFrame) OnDShowNewFrame(this);
        graph->FrameNotify = true;
    }
}

void TPicturaView::IEMDShowEvent(TMessage& Message) {
    auto* graph = reinterpret_cast<TIEDirectShow*>(Message.LParam);
    if (graph && graph->Connected() && OnDShowEvent) OnDShowEvent(this);
}

void TPicturaView::WMSize(TMessage& Message) {
    TIEView::WMSize(Message);
    if (!FUpdateRunning) {
        StopTransition();
        FUpdateReason = 4;
        Update();
    }
}

void TPicturaView::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TPicturaView::WMSetFocus(TMessage& Message) {
    TIEView::WMSetFocus(Message);
    Invalidate();
}

void TPicturaView::WMKillFocus(TMessage& Message) {
    TIEView::WMKillFocus(Message);
    Invalidate();
}

void TPicturaView::WMPaint(TMessage& Message) {
    if (TIEDirectShow* video = RenderingVideo()) video->RepaintVideo(Handle(), Canvas()->Handle());
    TIEView::WMPaint(Message);
}

bool TPicturaView::PaletteChanged(bool) {
    // DrawDib realises its palette on the main form; nothing more when that changed nothing.
    TCustomForm* main = Application ? Application->MainForm() : nullptr;
    if (main && main->HandleAllocated()) {
        HDC dc = GetDC(main->Handle());
        const uint32_t changed = IEDrawDibRealize(FDrawDib, dc, false);
        ReleaseDC(main->Handle(), dc);
        if (changed == 0) return true;
    }
    Invalidate();
    return true;
}
