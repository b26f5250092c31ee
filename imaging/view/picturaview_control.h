// The image viewer control (TPicturaView) and its layers (TIELayer). The viewer shows the image of
// its current layer zoomed and scrolled over a background style: it composes its layers into a
// view-sized 24-bit back buffer and presents that buffer on its window, keeps the zoom, the origin
// and the scroll bars (the arithmetic in picturaview_geometry.h), turns the wheel and the scroll
// bars into zooming and scrolling, and handles the private messages that work on other threads
// posts to it. Windows only (a window control over the visual layer); the unit's start-up and the
// globals the other image folders read are in picturaview.h.
//
// Timers (smooth scrolling, the selection timer) run on the timer source in force
// (rtl/Clock.h), the left-button state comes through IEIsLeftButtonDown, so tests step them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "ExtCtrls.h"
#include "Graphics.h"
#include "StdCtrls.h"
#include "iebitmap.h"
#include "iecoreutils_draw.h"
#include "iecoreutils_startup.h"
#include "iemask.h"
#include "ieview.h"
#include "picturaview.h"
#include "picturaview_geometry.h"
#include "picturaproc_component.h"
#include "picturaproc_transitions.h"

class TPicturaIO;
class TPicturaProc;
class TIETransitionEffects;
class TPicturaView;
class TIEDirectShow;

// ---- Types of the viewer -----------------------------------------------------------------------

enum TIEBackgroundStyle : uint8_t {
    iebsSolid, iebsHorizontal, iebsVertical, iebsFDiagonal, iebsBDiagonal, iebsCross, iebsDiagCross,
    iebsChessboard, iebsDiagonals, iebsCropped, iebsCropShadow, iebsGradient, iebsSoftShadow, iebsPhotoLike
};
enum TIEWallPaperStyle : uint8_t { iewoNormal, iewoStretch, iewoTile };

enum TIESelectionBase : uint8_t { iesbClientArea, iesbBitmap };
// Selection options (a set of bits).
enum TIESelectionOption : uint16_t {
    iesoAnimated = 1u << 0, iesoSizeable = 1u << 1, iesoMoveable = 1u << 2, iesoFilled = 1u << 3,
    iesoCutBorders = 1u << 4, iesoMarkOuter = 1u << 5, iesoCanScroll = 1u << 6, iesoSelectTranspLayers = 1u << 7,
    iesoRightButtonSelectLayers = 1u << 8, iesoRightButtonTerminatePolySelect = 1u << 9,
    iesoDisableOneClickDeselect = 1u << 10
};
using TIESelectionOptions = uint16_t;
// Mouse interaction (a set of bits).
enum TIEMouseInteractItem : uint16_t {
    miZoom = 1u << 0, miScroll = 1u << 1, miSelect = 1u << 2, miSelectPolygon = 1u << 3, miSelectCircle = 1u << 4,
    miSelectZoom = 1u << 5, miSelectMagicWand = 1u << 6, miSelectLasso = 1u << 7, miMoveLayers = 1u << 8,
    miResizeLayers = 1u << 9, miRotateLayers = 1u << 10, miMovingScroll = 1u << 11
};
using TIEMouseInteract = uint16_t;
// Grips of a selection or layer: none, the corners, the sides, the rotation centre.
enum TIEGrip : uint8_t {
    ieNone, ieTopLeft, ieTopRight, ieBottomRight, ieBottomLeft, ieLeftSide, ieRightSide, ieTopSide, ieBottomSide,
    ieRotationCenter
};
enum TIELayerEvent : uint8_t {
    ielSelected, ielMoved, ielResized, ielMoving, ielResizing, ielRotating, ielRotated, ielBeginResizing, ielBeginMoving
};

using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
using TViewChangingEvent = std::function<void(TObject* Sender, int32_t Change, double NewValue)>;
using TIEProgressEvent = std::function<void(TObject* Sender, int32_t per)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIELayerNotify = std::function<void(TObject* Sender, int32_t Layer, TIELayerEvent Event)>;
using TIESpecialKeyEvent = std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TIEOnDrawBackground = std::function<void(TObject* Sender, TCanvas* ACanvas, RECT ARect, bool& Handled)>;
using TIEOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, RECT ARect)>;
using TIEOnDrawLayer = std::function<void(TObject* Sender, TIEBitmap* Dest, int32_t LayerIndex)>;
using TIEOnDrawLayerBox = std::function<void(TObject* Sender, TCanvas* ABitmap, int32_t Layer)>;
using TIEOnDrawLayerGrip = std::function<void(TObject* Sender, TCanvas* ABitmap, int32_t Layer, TIEGrip Grip, RECT Rect)>;
using TIEOnDrawPolygon = std::function<void(TObject* Sender, int32_t Polygon, int32_t Point, TCanvas* Canvas,
                                            int32_t X, int32_t Y)>;
using TIESetCursorEvent = std::function<void(TObject* Sender, TCursor& Cursor)>;
using TIEVirtualKeyEvent = std::function<void(TObject* Sender, uint16_t VirtualKey, uint32_t KeyData, bool KeyDown)>;

// The version the viewer reports ("PicturaVersion").
extern const wchar_t* const IEPicturaVersion;
// Whether the left mouse button is down (IEIsLeftButtonDown by default; tests replace it).
extern std::function<bool()> IEViewLeftButtonDown;
// The MouseInteract set that Value gives when the set was Current: items that exclude one another
// are dropped in favour of the one added.
TIEMouseInteract IEMouseInteractRules(TIEMouseInteract Current, TIEMouseInteract Value);
// A polygon of exactly four axis-aligned corners, in either orientation.
bool IEIsRectPolygon(const POINT* Points, int32_t Count);
// The dots of a dashed line from (X1, Y1) to (X2, Y2), the end point excluded (as LineDDA walks
// it): Plot(x, y, InColour1) for each; Counter runs the dash pattern of 4 dots of colour 1 and 4
// of colour 2 across the lines of one outline.
void IEDashedLineDots(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t& Counter,
                      const std::function<void(int32_t X, int32_t Y, bool InColour1)>& Plot);
// The resource name of view cursor Number (1778..1814), or nullptr.
const wchar_t* IEViewCursorName(int32_t Number);

// ---- Background style painter ------------------------------------------------------------------

// Paints the background of a view over (X, Y, Width, Height) in Style and Color, then the
// wallpaper. The image lies at ImageX1..ImageX2, ImageY1..ImageY2 (right and bottom exclusive).
// Bitmap is the 24-bit bitmap behind Canvas when there is one (the fast chessboard and the
// shadows need it). Designing: the view is being designed (plain fills for the framed styles).
void IEDrawBackgroundStyle(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style, TColor Color,
                           int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t ImageX1, int32_t ImageY1,
                           int32_t ImageX2, int32_t ImageY2, int32_t ChessSize, TBrushStyle ChessBrushStyle,
                           TColor GradientEndColor, TPicture* WallPaper, TIEWallPaperStyle WallPaperStyle);
// MSIMG32's GradientFill, loaded once (a failed load is tried again on the next call).
bool IEGradientFillAvailable();
// A two-colour gradient over Rect: Color1 at the top (left), Color2 at the bottom (right). False
// when GradientFill is not available.
bool IEGradientFill(const RECT& Rect, HDC DC, TColor Color1, TColor Color2, bool Vertical);

// ---- Layers ------------------------------------------------------------------------------------

// One layer of a view: a bitmap with a place, a size, an opacity, a rotation and drawing switches.
// Layer 0 defines the image's pixel grid; the others are placed in its pixel coordinates.
class TIELayer {
public:
    // Adopt: the layer takes Template itself; otherwise a new bitmap shaped like Template (pixels
    // not copied), none for a nil Template.
    TIELayer(TPicturaView* Owner, bool Adopt, TIEBitmap* Template);
    ~TIELayer();
    TIELayer(const TIELayer&) = delete;
    TIELayer& operator=(const TIELayer&) = delete;

    void SetDefaults();
    void CopyFrom(TIELayer* Source);
    int32_t GetWidth() const;
    int32_t GetHeight() const;
    void SetRotationAngle(double Value);
    int32_t ScreenToBitmapX(int32_t X) const;
    int32_t ScreenToBitmapY(int32_t Y) const;
    int32_t BitmapToScreenX(int32_t X) const;
    int32_t BitmapToScreenY(int32_t Y) const;
    // The single-layer record (the undo of layers): properties, rotation and, with WithBitmap,
    // the pixels. LoadFromStream raises for a record that is cut short, leaving the layer as it was.
    void SaveToStream(TStream* Stream, bool WithBitmap);
    void LoadFromStream(TStream* Stream);

    struct TMagnify {
        bool MagnifyEnabled = false;
        double MagnifyRate = 2.0;
        uint8_t MagnifyStyle = 0;
        uint8_t MagnifySource = 1;
    };

    int32_t Width = 0;
    int32_t Height = 0;
    double RotationAngle = 0.0;
    std::unique_ptr<TIEBitmap> AlphaCache;
    TPicturaView* Owner = nullptr;
    TIEBitmap* Bitmap = nullptr;
    bool Visible = true;
    bool VisibleBox = true;
    int32_t Transparency = 255;
    int32_t PosX = 0, PosY = 0;
    RECT ScreenRect{0, 0, 0, 0};
    bool ClipToBackground = false;
    bool Locked = false;
    bool Selectable = true;
    TMagnify Magnify;
    uint8_t Operation = 0;
    void* UserData = nullptr;
    int32_t UserDataLen = 0;
    bool OwnsBitmap = true;
    TResampleFilter ResampleFilter = rfNone;
    bool UseResampleFilter = false;
    std::string Name;
    bool IsMask = false;
    int32_t LastDraw[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    POINT RotatedCorners[4]{};
    bool DimOutside = false;
    GUID LayerGUID{};
    double RotationCenterX = 0.5, RotationCenterY = 0.5;
};

// ---- The viewer --------------------------------------------------------------------------------

class TPicturaView : public TIEView {
public:
    KW_CLASS_NAME(TPicturaView)
    explicit TPicturaView(TComponent* AOwner);
    ~TPicturaView() override;

    // ---- The image (picturaview_image_win.cpp) ----
    TBitmap* GetBitmap() override;
    TIEBitmap* GetIEBitmap() override;
    TIEBitmap* GetAlphaChannel() override;
    bool HasAlphaChannel() override;
    void RemoveAlphaChannel(bool Merge) override;
    virtual bool IsImageEmpty();
    void FillWithBackground();
    void ClearImage();
    // nil: FillWithBackground; a TPicturaView or a TBitmap: copied; anything else ignored.
    virtual void Assign(TObject* Source);
    void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
    void SetBackground(TColor Value) override;
    TIEBackgroundStyle GetBackgroundStyle() const { return FBackgroundStyle; }
    void SetBackgroundStyle(TIEBackgroundStyle Value);
    void SetChessboardParams(int32_t Size, TBrushStyle BrushStyle);
    int32_t GetChessboardSize() const { return FChessboardSize; }
    TBrushStyle GetChessboardBrushStyle() const { return FChessboardBrushStyle; }
    TColor GetGradientEndColor() const { return FGradientEndColor; }
    void SetGradientEndColor(TColor Value);
    bool GetEnableAlphaChannel() const { return FEnableAlphaChannel; }
    void SetEnableAlphaChannel(bool Value);
    void DoImageChange() override;
    bool GetLegacyBitmap() const { return FLegacyBitmap; }
    virtual void SetLegacyBitmap(bool Value);
    // The current layer's bitmap becomes Bitmap (not owned); nil gives it a new empty one.
    void AttachExternalBitmap(TIEBitmap* Bitmap);

    // ---- Layer list ----
    int32_t GetLayerCount() const { return static_cast<int32_t>(FLayers.size()); }
    TIELayer* GetLayer(int32_t Index) const { return FLayers.at(static_cast<size_t>(Index)).get(); }
    TIELayer* GetCurrentLayer() const { return GetLayer(FCurrentLayer); }
    int32_t GetLayersCurrent() const { return FCurrentLayer; }
    virtual void SetCurrentLayer(int32_t Index);
    int32_t AddLayer();
    void RemoveLayer(int32_t Index);
    void ClearLayers();
    void SyncImageSize();
    // Layer operations of the layers code (declared for it).
    void FlattenLayers();
    void DrawLayersTo(TIEBitmap* Dest);
    void ResizeLayersToSize(int32_t Index);
    void CropLayersTransparentBorder(int32_t Index);
    // The layers stream of LYR files. Codec: -1 raw bitmaps through zlib, -2 raw bitmaps, else a
    // file type. Loading: False for a wrong magic (nothing read beyond the header) or a version of 0
    // or less; a stream cut short or damaged raises with the layers unchanged.
    void SaveLayersToStream(TStream* Stream, int32_t Codec);
    bool LoadLayersFromStream(TStream* Stream);
    bool LoadLayersFromFile(const std::wstring& FileName);
    // The current layer's grip under the view point: 1..9 for grips 0..8 (9, the rotation centre,
    // only with miRotateLayers), else 0.
    int32_t FindLayerGrip(int32_t X, int32_t Y);
    void GetLayerGripRects(int32_t LayerIndex, RECT (&Rects)[9]);
    bool LayersSameSize = false;
    uint8_t LayersOutsideMode = 0;
    int32_t LayersOutsideValue = 60;
    int32_t MinLayerSize = 2;
    bool SkipUnselectableLayers = true;
    int32_t AlphaCacheLayer = -1;
    bool DrawAllLayerBoxes = false;
    bool LayersAutoUndo = false;

    // ---- Paint control and update ----
    void HoldPaint() override;
    int32_t ReleasePaintCount();
    void ReleasePaint() override;
    void ReleasePaintNoUpdate() override;
    int32_t GetPaintLock() const { return FPaintLock; }
    void HoldUpdate();
    void ReleaseUpdate();
    void ReleaseUpdateNoRefresh();
    int32_t GetUpdateLock() const { return FUpdateLock; }
    // Recomputes the geometry, the scroll bars and the back buffer's state, then invalidates.
    void Update() override;
    // Sets why the next Update runs: 0 none, 1 Center, 2 zoom, 3 selection, 4 size, background or
    // scroll bars.
    void SetUpdateReason(uint8_t Reason) { FUpdateReason = Reason; }
    virtual int32_t GetViewWidth();
    virtual int32_t GetViewHeight();
    virtual bool HasParentWindow();
    void InvalidateArea(const RECT& Rect);
    // Paints without a parent window: the view size is the control size.
    bool GetOffScreen() const { return FOffScreen; }
    void SetOffScreen(bool Value) { FOffScreen = Value; }
    // Presents (part of) the back buffer on the window, composing it first when it is dirty.
    void PresentBackBuffer(const RECT& Rect);
    // The back buffer (view-sized ie24RGB), composed when dirty.
    TIEBitmap* GetBackBufferIE() const { return FBackBuffer.get(); }
    // The navigator's last dimmed picture (nil before the first).
    TIEBitmap* GetDimBitmap() const { return FDimBitmap.get(); }
    TBitmap* GetBackBuffer();
    void SetBackBufferDirty() { FBackBufferDirty = true; FFullRepaint = true; }
    bool GetBackBufferDirty() const { return FBackBufferDirty; }
    // Composes every layer over the background into Dest (the compositor of the layers code
    // replaces this simple one: background, then each visible layer through the renderer).
    virtual void ComposeTo(TIEBitmap* Dest, const RECT* UpdRect, TBitmap* DestBitmap, bool DrawBackground,
                           bool DrawGadgets);
    void DrawBackgroundTo(TCanvas* Canvas, int32_t Width, int32_t Height);
    virtual void DrawGrid();
    virtual void AfterDrawLayer(int32_t LayerIndex, TIEBitmap* Dest);
    virtual void DoLayerNotify(int32_t Layer, TIELayerEvent Event);

    // ---- Zoom and scrolling (picturaview_zoom_win.cpp) ----
    double GetZoom() const { return FGeom.ZoomX; }
    double GetZoomX() const { return FGeom.ZoomX; }
    double GetZoomY() const { return FGeom.ZoomY; }
    void SetZoom(double Value);
    void SetZoomX(double Value);
    void SetZoomY(double Value);
    virtual void ApplyZoom(double Value);
    virtual void ApplyZoomX(double Value);
    virtual void ApplyZoomY(double Value);
    void ZoomAt(int32_t X, int32_t Y, bool Center, double Zoom);
    void ZoomToFit();
    double GetOptimalZoom();
    void GetFitZooms(double& ZoomW, double& ZoomH);
    void GetFitMargins(int32_t& MX, int32_t& MY, bool BorderX, bool BorderY);
    double ChooseAutoFitZoom(int32_t ImageW, int32_t ImageH, int32_t AreaW, int32_t AreaH, bool Stretch, bool Shrink);
    void ZoomSelection(bool FitBoth, bool FireZoomIn);
    TResampleFilter GetZoomFilter() const { return FZoomFilter; }
    void SetZoomFilter(TResampleFilter Value);
    bool DelayZoomFilter = false;
    bool GetCenter() const { return FCenter; }
    void SetCenter(bool Value);
    bool GetAutoFit() const { return FAutoFit; }
    void SetAutoFit(bool Value);
    bool GetAutoStretch() const { return FAutoStretch; }
    void SetAutoStretch(bool Value);
    bool GetAutoShrink() const { return FAutoShrink; }
    void SetAutoShrink(bool Value);

    int32_t GetViewX() const { return FGeom.OriginX; }
    int32_t GetViewY() const { return FGeom.OriginY; }
    void SetViewOrigin(int32_t X, int32_t Y);
    void SetViewX(int32_t X);
    void SetViewY(int32_t Y);
    void GetMaxViewOrigin(int32_t& MaxX, int32_t& MaxY);
    bool CanScroll();
    TScrollStyle GetScrollBars() const { return FScrollBars; }
    virtual void SetScrollBars(TScrollStyle Value);
    bool GetFlatScrollBars() const { return FFlatScrollBars; }
    void SetFlatScrollBars(bool Value);
    void HideHorzScrollBar();
    void HideVertScrollBar();
    bool GetHorzBarShown() const { return FHorzBarShown; }
    bool GetVertBarShown() const { return FVertBarShown; }
    // Keep a bar shown (disabled) when there is nothing to scroll.
    bool ShowDisabledBars = false;
    void ScrollHorz(TIEScrollAction Kind, int32_t Pos);
    void ScrollVert(TIEScrollAction Kind, int32_t Pos);
    void SmoothScrollTo(int32_t X, int32_t Y);
    void SmoothScrollStep();
    void StopSmoothScroll();
    bool IsSmoothScrolling() const { return FSmoothScrollTimer != nullptr; }
    void MouseWheelAction(int32_t Delta, int32_t X, bool Ctrl, int32_t Y);
    TIEScrollBarParams& HScrollBarParams() { return FHScrollBarParams; }
    TIEScrollBarParams& VScrollBarParams() { return FVScrollBarParams; }
    TIEMouseWheelParams& MouseWheelParams() { return FMouseWheelParams; }
    double GetScrollScaleX() const { return FScrollScaleX; }
    double GetScrollScaleY() const { return FScrollScaleY; }

    // Coordinates (the current geometry; layers have their own pair).
    int32_t ScreenToBitmapX(int32_t X) const { return FGeom.ScreenToBitmapX(X); }
    int32_t ScreenToBitmapY(int32_t Y) const { return FGeom.ScreenToBitmapY(Y); }
    int32_t BitmapToScreenX(int32_t X) const { return FGeom.BitmapToScreenX(X); }
    int32_t BitmapToScreenY(int32_t Y) const { return FGeom.BitmapToScreenY(Y); }
    int32_t SnapScreenX(int32_t X) const { return FGeom.SnapScreenX(X); }
    int32_t SnapScreenY(int32_t Y) const { return FGeom.SnapScreenY(Y); }
    virtual void ComputeDisplayExtent();
    virtual void ComputeSourceRect();
    virtual void BuildCoordinateTables();
    // The geometry as it stands (zoom, origin, extents, source rectangle, tables).
    const TIEViewGeometry& Geometry() const { return FGeom; }
    int32_t GetOffsetX() const { return FGeom.OffsetX; }
    int32_t GetOffsetY() const { return FGeom.OffsetY; }
    int32_t GetExtentX() const { return FGeom.ExtentWidth; }
    int32_t GetExtentY() const { return FGeom.ExtentHeight; }
    int32_t GetImageWidth() const { return FGeom.ImageWidth; }
    int32_t GetImageHeight() const { return FGeom.ImageHeight; }

    virtual void DoViewChanging(int32_t Change, double NewValue);
    virtual void DoViewChange(int32_t Change);
    void DoZoomIn(double& NewZoom);
    void DoZoomOut(double& NewZoom);
    void DoMouseInResizingGrip(TIEGrip Grip);
    void DoMouseInSel();
    int32_t GetFilterDelayCounter() const { return FFilterDelayCounter; }
    int32_t GetOutlineDelayCounter() const { return FOutlineDelayCounter; }

    // ---- Navigator (declared for the viewer services) ----
    void SetNavigator(TPicturaView* View, uint8_t Options);
    TPicturaView* GetNavigator() const { return FNavigator; }
    bool GetIsNavigator() const { return FIsNavigator; }
    void UpdateNavigator();
    // The navigator's events, run on this view: its selection scrolls this view, its wheel zooms it.
    void NavigatorSelectionChanging(TObject* Sender);
    void NavigatorMouseWheel(TObject* Sender, TShiftState Shift, int32_t WheelDelta, POINT MousePos, bool& Handled);
    // The rectangle the navigator dims around (the other view's visible area).
    RECT VisibleAreaRect{0, 0, 0, 0};
    uint8_t NavigatorOptions = 0;

    // ---- Cursors ----
    TCursor GetCursor() const { return FShownCursor; }
    void SetCursor(TCursor Value);
    void SetInteractionCursor(TCursor Value);
    void RestoreCursor();

    // ---- Selections and mouse (declared for the selection and mouse code) ----
    TIESelectionBase GetSelectionBase() const { return FSelectionBase; }
    void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }
    TIESelectionOptions GetSelectionOptions() const { return FSelectionOptions; }
    void SetSelectionOptions(TIESelectionOptions Value);
    TIEMouseInteract GetMouseInteract() const { return FMouseInteract; }
    virtual void SetMouseInteract(TIEMouseInteract Value);
    void SetSelectionAspectRatio(double Value);
    TIEMask* GetSelectionMask() const { return FSelectionMask.get(); }
    bool GetSelected() const { return FSelected; }
    // The marching ants, grips and grid of the shown selection; FromTimer: an animation step.
    void DrawSelection(bool FromTimer);
    void Deselect();
    // Op 0 replaces the selection, 1 adds the rectangle.
    virtual void SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op);
    virtual void AddSelectionPoint(int32_t X, int32_t Y);
    void AddSelectionPointNoPaint(int32_t X, int32_t Y);
    virtual void ApplyPolygonToMask();
    virtual void AdjustDragPoints(int32_t DX, int32_t DY);
    int32_t GetSelX1();
    int32_t GetSelY1();
    int32_t GetSelX2();
    int32_t GetSelY2();
    void PushSelection();
    void PopSelection();
    // The selection record (mask and polygon) for the selection stack and the undo of selections.
    // Reading raises for a record cut short, with the selection unchanged. Mode 2 re-bases the
    // selection to the current layer's position; Mode 1 pulls a selection that would stick out of
    // a same-sized image back inside.
    void WriteSelectionToStream(TStream* Stream);
    bool ReadSelectionFromStream(TStream* Stream, int32_t Mode);
    bool PopSelection(bool Drop, int32_t Mode);
    // ---- The selection polygon (picturaview_selection_win.cpp) ----
    // Rectangles, ellipses, polygons, lassos and wand outlines are polygons in bitmap coordinates
    // filled into the mask; IEMaskPolygonBreak points separate sub-polygons.
    // The view keeps one polygon record, in its own fields: a new record starts empty with these
    // outline settings; the first one makes the selection timer (not at design time, and only for
    // a view with an owner or a parent window).
    void CreatePolygonRecord(TColor Color1, TColor Color2, bool Animated, bool Sizeable);
    void ClearPolygon();
    void AddPolygonPoint(int32_t X, int32_t Y);
    // AddPolygonPoint, then Paint unless paint-locked.
    void AddPolygonPointAndPaint(int32_t X, int32_t Y);
    void AddPolygonSeparator();
    void StartSubPolygon();
    void RemoveLastPolygonPoint();
    void RemoveLastSubPolygon();
    void TranslatePolygon(int32_t DX, int32_t DY, bool Cut);
    void ShowSelectionPolygon(bool Draw);
    void HideSelectionPolygon(bool Repaint);
    bool IsSelectionRect() const;
    const POINT* GetSelectionPoints() const { return SelectionPolygon.data(); }
    int32_t GetSelectionPointCount() const { return int32_t(SelectionPolygon.size()); }
    // False (and nothing done) for a rectangle of no width or height.
    bool BuildRectSelection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Op, bool Square,
                            bool KeepInside);
    void UpdateRectSelection(int32_t X, int32_t Y, TShiftState Shift);
    void UpdateEllipseSelection(int32_t X, int32_t Y, TShiftState Shift);
    void EndPolygonSelection(bool Add, bool DropLast);
    void MagicWandSelect(int32_t X, int32_t Y, bool Add);
    void MoveSelection(int32_t DX, int32_t DY);
    int32_t TranslateSelection(int32_t State, int32_t DX, int32_t DY, bool Cut);
    TIEGrip FindSelectionGrip(int32_t X, int32_t Y);
    TIEGrip GetSelectionGripAt(int32_t X, int32_t Y, TShiftState Shift);
    TIEGrip ResizeSelectionByGrip(TIEGrip Grip, int32_t X, int32_t Y, bool KeepAspect);
    int32_t HitSelectionForMove(int32_t X, int32_t Y, TShiftState Shift);
    void SetSelectionColor1(TColor Value);
    void SetSelectionColor2(TColor Value);
    // The grid over a selection rectangle (client coordinates), on the canvas being drawn.
    virtual void DrawGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    // The polygon's dashed outline on Canvas, from the record's phase; the grips and grid with it.
    void DrawPolygonOutline(TCanvas* Canvas);
    void SelectionTimerTick();
    bool GetPolygonSelecting() const { return FPolygonSelecting; }
    bool GetRectSelecting() const { return FRectSelecting; }
    int32_t GetSelectionPhase() const { return FSelPhase; }
    TTimer* GetSelectionTimer() const { return FSelectionTimer.get(); }
    TIEGrip GetDraggedGrip() const { return FSelGrip; }
    int32_t GetMoveState() const { return FMoveState; }
    // ---- Mouse and keys (picturaview_mouse_win.cpp) ----
    void SetLayerAspectMode(uint8_t Value) { LayerAspectMode = Value; }
    bool AutoScrollDrag();
    void ApplyLayerRotations(int32_t Index);
    // With LayersAutoUndo, the first step of a layer drag saves the layers once (ieuLayer or
    // ieuFullLayer) through the processing component.
    void SaveLayersUndoOnce(TIEUndoSource Source);
    int32_t FindLayerAt(int32_t X, int32_t Y, bool OnlySelectable);
    bool IsPointInLayer(int32_t X, int32_t Y, int32_t Index);
    void ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepAspect);
    void SetInteractionHint(const std::wstring& Text, int32_t X, const std::wstring& WidthText, int32_t Y);
    void SwapSelectionBase();
    void SetSelectionBaseAside();
    void RestoreSelectionBase();
    // Runs Event with the user's SelectionBase in force (the mouse handlers work in client
    // coordinates).
    void FireSelectionEvent(const TNotifyEvent& Event);
    // Clamps a view point into the current layer's on-screen rectangle plus one pixel.
    void ClampToCurrentLayer(int32_t& X, int32_t& Y) const;
    // The mouse and key handlers, public for the application and the tests.
    void DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) { MouseDown(Button, Shift, X, Y); }
    void DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) { MouseMove(Shift, X, Y); }
    void DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) { MouseUp(Button, Shift, X, Y); }
    void KeyDown(uint16_t& Key, TShiftState Shift) override;
    void KeyUp(uint16_t& Key, TShiftState Shift) override;
    int32_t GetMovingLayer() const { return FMovingLayer; }
    int32_t GetRotatingLayer() const { return FRotatingLayer; }
    int32_t GetLayerGrip() const { return FLayerGrip; }
    bool LayersAutoUndoSaved() const { return FUndoSaved; }
    // The selection polygon's points and bounding box (left, top, right, bottom).
    std::vector<POINT> SelectionPolygon;
    RECT SelectionPolygonBox{0, 0, 0, 0};
    int32_t FixedSelectionWidth = 100, FixedSelectionHeight = 100;
    double SelectionAspectRatio = -1.0;
    bool ConstrainSelection = false;
    bool AdditiveSelection = true;
    TColor OutlineColor1 = clBlack, OutlineColor2 = clWhite;
    int32_t GridColumns = 1, GridRows = 1;
    int32_t MarkOuterOpacity = -1;
    TColor MarkOuterColor = clWhite;
    bool SelectionPainting = true;
    bool SuppressOutlineWhileDelayed = true;
    int32_t AntsTiming = -20;
    int32_t AntsPhase = 0;
    bool MagicWandOption = false;
    int32_t MagicWandTolerance = 15;
    uint8_t MagicWandMode = 0;
    // Grips: pen colour, brush colour and style, half-size, shape (0 square, 1 circular).
    TColor SelGripPenColor = clBlack, SelGripBrushColor = 0xBAFFFF;
    TBrushStyle SelGripBrushStyle = bsSolid;
    int32_t SelGripSize = 5;
    uint8_t SelGripShape = 1;
    bool SelSideGrips = true;
    // The pen of layer boxes: dotted, width 1 (the box is always drawn inverting the pixels).
    struct TIELayerBoxPen : TPen {
        TIELayerBoxPen() { SetStyle(psDot); }
    };
    TIELayerBoxPen LayerBoxPen;
    TColor LayerGripPenColor = clBlack, LayerGripBrushColor = 0xBAFFFF;
    TBrushStyle LayerGripBrushStyle = bsSolid;
    int32_t LayerGripSize = 5;
    uint8_t LayerGripShape = 1;
    bool PixelGrid = false;
    int32_t PixelGridLayer = -1;
    POINT MarkedPixel{-1, -1};
    TColor MarkedPixelColor = 0x0000FF;
    int32_t MarkedPixelAlpha = 255;
    double DragScrollFactor = 1.0;
    bool ZoomSelectionFitBoth = true;
    uint8_t RotationQuality = 0;
    bool RotationAntialias = false;
    int32_t RotationStep = 45;
    bool CropBeforeRotating = true;
    uint8_t LayerAspectMode = 1;
    uint8_t MaskLayerMode = 0;
    int32_t MaskFill = 60;
    bool EnableInteractionHints = true;
    std::wstring HintText, HintWidthText;
    int32_t HintX = 0, HintY = 0;

    // ---- Attached components ----
    TPicturaIO* GetIO();
    TPicturaProc* GetProc();
    void EnsureTransitionEffects();
    TIETransitionEffects* GetTransitions() const { return FTransitions.get(); }
    // The player's events live in the player: the setters create it, the getters answer an empty
    // handler while it does not exist (picturaview_transitions_win.cpp).
    void SetOnTransitionStop(TNotifyEvent Value);
    TNotifyEvent GetOnTransitionStop() const;
    void SetOnTransitionStep(TIETransitionStepEvent Value);
    TIETransitionStepEvent GetOnTransitionStep() const;
    void SetOnTransitionPaint(TIEOnTransitionPaint Value);
    TIEOnTransitionPaint GetOnTransitionPaint() const;
    // Stops a running transition (nothing when there is none).
    void StopTransition();
    virtual void SetOnProgress(TIEProgressEvent Value);
    virtual void SetOnFinishWork(TNotifyEvent Value);
    virtual TIEProgressEvent GetOnProgress() const { return FOnProgress; }
    virtual TNotifyEvent GetOnFinishWork() const { return FOnFinishWork; }
    void SetOnSaveUndo(TIESaveUndoEvent Value);
    TIESaveUndoEvent GetOnSaveUndo() const { return FOnSaveUndo; }

    // ---- Published settings ----
    bool DoubleBuffer = true;
    bool PresentWithDrawDib = false;
    bool GetDrawVersion() const { return FDrawVersion; }
    void SetDrawVersion(bool Value);
    std::wstring GetPicturaVersion() const { return IEPicturaVersion; }
    void SetPicturaVersion(const std::wstring&) {}
    TPicture* GetWallPaper();
    void SetWallPaper(TPicture* Value);
    TIEWallPaperStyle GetWallPaperStyle() const { return FWallPaperStyle; }
    void SetWallPaperStyle(TIEWallPaperStyle Value);
    // Update invalidates the window (and is not suppressed).
    bool InvalidateOnUpdate = true;
    bool SuppressInvalidate = false;

    // ---- Events ----
    TNotifyEvent OnImageChange;
    TViewChangeEvent OnViewChange;
    TViewChangingEvent OnViewChanging;
    TNotifyEvent OnPaint;
    TIEMouseInResizingGripEvent OnMouseInResizingGrip;
    TIEZoomEvent OnZoomIn, OnZoomOut;
    TNotifyEvent OnDrawBackBuffer;
    TIELayerNotify OnLayerNotify;
    TIESpecialKeyEvent OnSpecialKey;
    TNotifyEvent OnDShowNewFrame, OnDShowEvent;
    TIEOnDrawBackground OnDrawBackground;
    TIEOnDrawCanvas OnDrawCanvas;
    TIEOnDrawLayer OnDrawLayer;
    TIEOnDrawLayerBox OnDrawLayerBox;
    TIEOnDrawLayerGrip OnDrawLayerGrip;
    TIEOnDrawPolygon OnDrawPolygon;
    TIESetCursorEvent OnSetCursor;
    TIEVirtualKeyEvent OnVirtualKey;
    TNotifyEvent OnSelectionChange, OnSelectionChanging, OnBeforeSelectionChange, OnMouseInSel;

protected:
    // A freed navigator is forgotten.
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Paint() override;
    void Dispatch(TMessage& Message) override;
    void WMSize(TMessage& Message) override;
    void WMEraseBkgnd(TMessage& Message) override;
    void WMHScroll(TMessage& Message) override;
    void WMVScroll(TMessage& Message) override;
    void WMMouseWheel(TMessage& Message) override;
    void WMSetFocus(TMessage& Message) override;
    void WMKillFocus(TMessage& Message) override;
    void WMPaint(TMessage& Message) override;
    void IEMUpdate(TMessage& Message);
    void IEMProgress(TMessage& Message);
    void IEMFinishWork(TMessage& Message);
    // The attached I/O component's graph while it renders video windowless and is paused or
    // running; nullptr otherwise.
    TIEDirectShow* RenderingVideo();
    void IEMDShowNewFrame(TMessage& Message);
    void IEMDShowEvent(TMessage& Message);
    // Keys: OnSpecialKey may claim a key the form would take (arrows, Tab...); OnVirtualKey hears
    // every key going down and up.
    void CNKeyDown(TMessage& Message) override;
    void VirtualKeyMessage(TMessage& Message, bool KeyDown);
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    // The palette changed: DrawDib realises its palette; True.
    bool PaletteChanged(bool Foreground);

    // The navigator's dimmed picture: the presented part of the back buffer darkened outside the
    // visible area (kept in the dim work bitmap).
    void BuildDimmed(const RECT& Rect, int32_t W, int32_t H);
    void DrawVersionLine();
    // Steps of the compositor: the background under the layers, one layer's box, grips, handle
    // and dimming, and the pixel grid.
    void PaintComposeBackground(TIEBitmap* Dest, const RECT* UpdRect, TBitmap* DestBitmap);
    void DrawLayerGadgets(int32_t Index, TBitmap* Target);
    void DrawPixelGrid(TBitmap* Target);
    // The selection filled (inverted) or its outside shaded, by the selection options.
    void DrawSelectionMarks(TIEBitmap* Dest, TBitmap* Target);
    // A magnifier layer's pixels: the region under it enlarged by its rate.
    void Magnify(TIELayer* Layer, TIEBitmap* Dest, TResampleFilter Filter);
    // DrawLayersTo's geometry is composed as set, not recomputed from the window.
    bool FComposeFixedGeometry = false;
    void FreeLayers();
    // Brings both scroll bars up to date for the largest origin (MaxX, MaxY).
    void UpdateScrollBars(int32_t MaxX, int32_t MaxY);
    void UpdateScrollBar(int32_t Bar, int32_t MaxOrigin);
    void ShowBar(int32_t Bar, bool Show);
    // The action of a scroll-bar code (SB_...) on one axis.
    void HandleScroll(int32_t Bar, TMessage& Message);
    void ApplyZoomAxis(bool Horizontal, double Value);
    void ChangeZoom(uint8_t Axis, double Value);
    void ChangeOrigin(bool DoX, int32_t X, bool DoY, int32_t Y);
    bool FDestroying = false;

    // Geometry.
    TIEViewGeometry FGeom;
    // The image.
    bool FLegacyBitmap = true;
    TIEBitmap* FCurrentImage = nullptr;
    std::vector<std::unique_ptr<TIELayer>> FLayers;
    int32_t FCurrentLayer = 0;
    int32_t FLastImageWidth = 0, FLastImageHeight = 0;
    // Back buffer.
    std::unique_ptr<TIEBitmap> FBackBuffer;
    bool FBackBufferDirty = true;
    bool FFullRepaint = true;
    std::unique_ptr<TIEBitmap> FDimBitmap;
    void* FDrawDib = nullptr;
    HWND FLastWindowHandle = nullptr;
    BITMAPINFOHEADER FDibHeader{};
    RGBQUAD FDibPalette[2]{};
    // Locks, guards and the update reason.
    int32_t FPaintLock = 0;
    int32_t FUpdateLock = 0;
    bool FNestedUpdate = false;
    bool FUpdateRunning = false;
    uint8_t FUpdateReason = 0;
    bool FOffScreen = false;
    // Zoom settings.
    bool FCenter = true;
    TResampleFilter FZoomFilter = rfNone;
    TResampleFilter FSavedZoomFilter = rfNone;
    bool FAutoFit = false, FAutoStretch = false, FAutoShrink = false;
    int32_t FFilterDelayTicks = 4, FOutlineDelayTicks = 2;
    int32_t FFilterDelayCounter = 0, FOutlineDelayCounter = 0;
    // Scroll bars.
    TScrollStyle FScrollBars = ssBoth;
    bool FFlatScrollBars = false;
    bool FHorzBarShown = false, FVertBarShown = false;
    double FScrollScaleX = 1.0, FScrollScaleY = 1.0;
    TIEScrollBarParams FHScrollBarParams, FVScrollBarParams;
    TIEMouseWheelParams FMouseWheelParams;
    // Smooth scroll.
    std::unique_ptr<TTimer> FSmoothScrollTimer;
    std::unique_ptr<TTimer> FRetiredTimer;
    int32_t FSmoothTargetX = 0, FSmoothTargetY = 0, FSmoothDivisor = 8;
    // Background.
    TIEBackgroundStyle FBackgroundStyle = iebsSolid;
    int32_t FChessboardSize = 16;
    TBrushStyle FChessboardBrushStyle = bsSolid;
    TColor FGradientEndColor = 0xFF0000;
    std::unique_ptr<TPicture> FWallPaper;
    TIEWallPaperStyle FWallPaperStyle = iewoNormal;
    bool FEnableAlphaChannel = true;
    bool FDrawVersion = false;
    // Cursors.
    TCursor FBaseCursor = 1785, FShownCursor = 1785;
    bool FCursorPending = true;
    bool FHasOwner = false;
    // Navigator.
    TPicturaView* FNavigator = nullptr;
    bool FNavigatorBusy = false;
    bool FIsNavigator = false;
    // Selection state.
    TIESelectionBase FSelectionBase = iesbClientArea, FSavedSelectionBase = iesbClientArea;
    bool FSelectionBaseAside = false;
    TIESelectionOptions FSelectionOptions = iesoAnimated | iesoSizeable | iesoMoveable | iesoCanScroll;
    TIEMouseInteract FMouseInteract = 0;
    bool FSelected = false;
    bool FPolygonAsSelection = false;
    std::unique_ptr<TIEMask> FSelectionMask;
    int32_t FMaskBitsPerPixel = 1, FMaskFillValue = 1;
    std::vector<std::unique_ptr<TStream>> FSelectionStack;
    std::unique_ptr<TTimer> FSelectionTimer;
    // The polygon record: dash colours, animation, phase, dash counter, shown and sizeable flags.
    TColor FSelColor1 = clBlack, FSelColor2 = clWhite;
    bool FSelAnimated = true, FSelVisible = false, FSelSizeable = true;
    int32_t FSelPhase = 0, FSelDashCounter = 0;
    // Drag state of selections.
    bool FPolygonSelecting = false, FLasso = false, FRectSelecting = false, FEllipseSelecting = false;
    TIEGrip FSelGrip = ieNone;
    int32_t FMoveState = -1;
    RECT FGripPressRect{0, 0, 0, 0};
    int32_t FPressPolyCount = 0;
    RECT FVisibleSelRect{0, 0, 0, 0};
    bool FAnyAnimated = false;
    // The rubber band of a polygon being drawn (client coordinates) and whether it is shown.
    POINT FRubberEnd{0, 0};
    bool FRubberShown = false;
    // Drag state of the mouse: the press point clamped and not, the previous and current
    // positions, the origin at press, layer operations.
    int32_t FPressX = 0, FPressY = 0, FPressRawX = 0, FPressRawY = 0, FImagePressX = 0, FImagePressY = 0;
    int32_t FPrevX = 0, FPrevY = 0, FPrevRawX = 0, FPrevRawY = 0, FCurX = 0, FCurY = 0;
    int32_t FPressOriginX = 0, FPressOriginY = 0;
    int32_t FMovingLayer = -1, FRotatingLayer = -1, FRotationCenterLayer = -1, FLayerGrip = 0;
    bool FMoved = false, FUndoSaved = false, FSelChanged = false, FFirstLayerMove = true;
    double FRunningAngle = 0.0, FLayerAspect = 1.0;
    RECT FLayerPressRect{0, 0, 0, 0};
    POINT FLayerPressCorners[4]{};
    bool FPaintingSelection = false, FDragScrolling = false;
    // A right press ignored while the left button was held: its release is ignored too.
    bool FIgnoredRightPress = false;
    // The canvas the selection is being drawn on (the view's when none).
    TCanvas* FSelCanvas = nullptr;
    void DrawSelectionGrips(TCanvas* Canvas);
    void DrawSelectionFrom(bool SenderIsTimer, bool FromTimer);
    void CreateSelectionTimer();
    // The rubber band of a polygon being drawn, drawn once to show and once more to erase.
    void DrawRubberBand();
    void AddDragPolygonPoint(int32_t X, int32_t Y, TShiftState Shift);
    // Attached components and the transition player.
    std::shared_ptr<TPicturaIO> FIO;
    std::shared_ptr<TPicturaProc> FProc;
    std::unique_ptr<TIETransitionView> FTransitionLink;   // what the player sees of the view
    std::unique_ptr<TIEProcViewLink> FProcLink;           // what the processing component sees
    std::shared_ptr<TIETransitionEffects> FTransitions;
    TIEProgressEvent FOnProgress;
    TNotifyEvent FOnFinishWork;
    TIESaveUndoEvent FOnSaveUndo;
    // The XOR pen (dotted, not-mode, width 1).
    std::unique_ptr<TPen> FXorPen;
};

// Makes sure the window of a view that sits on a parent exists (the I/O component's background
// threads have it run on the main thread through TThread::Synchronize before posting to the view).
void SyncViewHandle(TIEView* View);
