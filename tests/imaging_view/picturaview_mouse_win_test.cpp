// Mouse interaction of the viewer, driven through its handlers with the button and modifier state
// they receive (off-screen views at zoom 100 whose view is the image unless a test zooms): how
// MouseInteract items exclude one another, zoom clicks, selection drags and their events, and
// moving, resizing and rotating layers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "Clock.h"
#include "Forms.h"
#include "iebitmap.h"
#include "picturaview.h"
#include "picturaview_control.h"
#include "picturaview_test_view.h"

namespace {

struct MouseTest : ::testing::Test {
    void SetUp() override {
        IEPicturaViewInitialize();
        saved = IEViewLeftButtonDown;
        IEViewLeftButtonDown = [this] { return leftDown; };
    }
    void TearDown() override { IEViewLeftButtonDown = saved; }
    std::function<bool()> saved;
    bool leftDown = false;
};

void Compose(TPicturaView& V) { ComposeView(V); }

std::unique_ptr<TPicturaView> View(int32_t W, int32_t H) { return OffScreenImageView(W, H); }

// A view of 100 x 100 with a 20 x 20 layer 1 at (10, 10), current.
std::unique_ptr<TPicturaView> LayeredView() {
    auto v = View(100, 100);
    const int32_t i = v->AddLayer();
    v->GetIEBitmap()->Allocate(20, 20, ie24RGB);
    v->GetIEBitmap()->Fill(double(0x0000FF));
    v->GetLayer(i)->PosX = 10;
    v->GetLayer(i)->PosY = 10;
    v->Update();
    Compose(*v);
    return v;
}

// A 100 x 100 view filling a shown form, showing a black W x H image, composed (so that the
// layer knows where it lies on screen).
TPicturaView* ShownView(TForm& Form, int32_t W, int32_t H, TBorderStyle Border, TScrollStyle Bars = ssBoth) {
    Form.SetClientSize(100, 100);
    auto* view = new TPicturaView(&Form);
    view->SetParent(&Form);
    view->SetBorderStyle(Border);
    if (Bars != ssBoth) view->SetScrollBars(Bars);
    view->SetBounds(0, 0, 100, 100);
    Form.Show();
    view->GetIEBitmap()->Allocate(W, H, ie24RGB);
    view->GetIEBitmap()->Fill(0.0);
    view->Update();
    ComposeView(*view);
    return view;
}

void Drag(TPicturaView& V, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TShiftState Keys = 0) {
    V.DoMouseDown(mbLeft, TShiftState(Keys | ssLeft), X1, Y1);
    V.DoMouseMove(TShiftState(Keys | ssLeft), X2, Y2);
    V.DoMouseUp(mbLeft, Keys, X2, Y2);
}

}  // namespace

TEST_F(MouseTest, MouseInteractItemsExcludeOneAnother) {
    struct Case {
        TIEMouseInteract current, value, expected;
    };
    const Case cases[] = {
        {miZoom | miSelect, miZoom | miSelect | miScroll, miZoom | miScroll},
        {miSelect, miSelect | miSelectPolygon, miSelectPolygon},
        {0, miMoveLayers | miRotateLayers | miResizeLayers, miMoveLayers | miRotateLayers},
        {0, miZoom | miMoveLayers, miZoom},
        {miZoom, miZoom | miMoveLayers, miMoveLayers},
        {0, miMoveLayers | miResizeLayers, miMoveLayers | miResizeLayers},
        {miSelect, miSelect | miSelectMagicWand | miMovingScroll, miSelectMagicWand | miMovingScroll},
        {miScroll, miScroll | miSelectLasso | miZoom, miZoom | miSelectLasso},
        {0, miSelect | miSelectCircle, miSelect},
        {miZoom, miZoom | miMovingScroll, miZoom | miMovingScroll},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + " -> " + std::to_string(c.value));
        auto v = View(10, 10);
        v->SetMouseInteract(c.current);
        v->SetMouseInteract(c.value);
        EXPECT_EQ(v->GetMouseInteract(), c.expected);
    }
}

TEST_F(MouseTest, ZoomClicksStepInAndOut) {
    struct Case {
        TMouseButton button;
        double zoom, expected;
    };
    const Case cases[] = {
        {mbLeft, 40, 50}, {mbLeft, 100, 200}, {mbLeft, 1, 2},      {mbRight, 40, 33},
        {mbRight, 2, 2},  {mbRight, 250, 150}, {mbRight, 150, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.zoom));
        auto v = View(100, 100);
        v->SetMouseInteract(miZoom);
        v->SetZoom(c.zoom);
        Compose(*v);
        const RECT r = v->GetCurrentLayer()->ScreenRect;
        const int32_t x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        v->DoMouseDown(c.button, c.button == mbLeft ? ssLeft : ssRight, x, y);
        v->DoMouseUp(c.button, 0, x, y);
        EXPECT_DOUBLE_EQ(v->GetZoom(), c.expected);
    }
    // OnZoomIn may change the step; a right press while the left button is held does nothing.
    auto v = View(100, 100);
    v->SetMouseInteract(miZoom);
    v->OnZoomIn = [](TObject*, double& Z) { Z = 300; };
    v->DoMouseDown(mbLeft, ssLeft, 50, 50);
    v->DoMouseUp(mbLeft, 0, 50, 50);
    EXPECT_DOUBLE_EQ(v->GetZoom(), 300);
    leftDown = true;
    v->DoMouseDown(mbRight, ssRight, 50, 50);
    v->DoMouseUp(mbRight, 0, 50, 50);
    EXPECT_DOUBLE_EQ(v->GetZoom(), 300);
}

TEST_F(MouseTest, DragSelectsARectangleAndReportsTheChangeOnce) {
    auto v = View(100, 100);
    v->SetMouseInteract(miSelect);
    int before = 0, changing = 0, change = 0;
    v->OnBeforeSelectionChange = [&](TObject*) { ++before; };
    v->OnSelectionChanging = [&](TObject*) { ++changing; };
    v->OnSelectionChange = [&](TObject*) { ++change; };
    v->DoMouseDown(mbLeft, ssLeft, 10, 20);
    v->DoMouseMove(ssLeft, 30, 30);
    v->DoMouseMove(ssLeft, 40, 50);
    v->DoMouseUp(mbLeft, 0, 40, 50);
    EXPECT_EQ(before, 1);
    EXPECT_GE(changing, 2);
    EXPECT_EQ(change, 1);
    TIEMask* m = v->GetSelectionMask();
    EXPECT_EQ(m->X1, 10);
    EXPECT_EQ(m->Y1, 20);
    EXPECT_EQ(m->X2, 39);
    EXPECT_EQ(m->Y2, 49);
    EXPECT_EQ(v->GetDraggedGrip(), ieNone);

    // Dragging inside moves it; dragging its bottom-right grip resizes it.
    Drag(*v, 20, 30, 25, 32);
    EXPECT_EQ(m->X1, 15);
    EXPECT_EQ(m->Y1, 22);
    EXPECT_EQ(change, 2);
    Drag(*v, 45, 52, 60, 70);   // the corner at client (45, 52)
    EXPECT_EQ(m->X1, 15);
    EXPECT_EQ(m->X2, 60);
    EXPECT_EQ(m->Y2, 70);

    // Shift adds with the additive switch; without it a new selection starts.
    Drag(*v, 80, 80, 90, 90, ssShift);
    EXPECT_TRUE(m->GetPixel(20, 30));
    EXPECT_TRUE(m->GetPixel(85, 85));
    v->AdditiveSelection = false;
    Drag(*v, 0, 0, 5, 5, ssShift);
    EXPECT_FALSE(m->GetPixel(20, 30));
    EXPECT_TRUE(m->GetPixel(2, 2));

    // A click without dragging deselects, unless one-click deselecting is off.
    v->SetSelectionOptions(v->GetSelectionOptions() | iesoDisableOneClickDeselect);
    v->DoMouseDown(mbLeft, ssLeft, 50, 50);
    v->DoMouseUp(mbLeft, 0, 50, 50);
    EXPECT_TRUE(v->GetSelected());
    v->SetSelectionOptions(v->GetSelectionOptions() & ~iesoDisableOneClickDeselect);
    v->DoMouseDown(mbLeft, ssLeft, 50, 50);
    v->DoMouseUp(mbLeft, 0, 50, 50);
    EXPECT_FALSE(v->GetSelected());
    EXPECT_TRUE(m->IsEmpty());
}

TEST_F(MouseTest, PolygonClicksAddVerticesUntilADoubleClick) {
    auto v = View(20, 20);
    v->SetMouseInteract(miSelectPolygon);
    int change = 0;
    v->OnSelectionChange = [&](TObject*) { ++change; };
    for (POINT p : std::vector<POINT>{{2, 2}, {12, 2}, {12, 12}, {2, 12}}) {
        v->DoMouseDown(mbLeft, ssLeft, p.x, p.y);
        v->DoMouseUp(mbLeft, 0, p.x, p.y);
    }
    EXPECT_TRUE(v->GetPolygonSelecting());
    EXPECT_EQ(change, 0);
    // The double click's own press repeats the last point, which is dropped again.
    v->DoMouseDown(mbLeft, TShiftState(ssLeft | ssDouble), 2, 12);
    v->DoMouseUp(mbLeft, 0, 2, 12);
    EXPECT_FALSE(v->GetPolygonSelecting());
    EXPECT_EQ(change, 1);
    EXPECT_EQ(v->GetSelectionPointCount(), 4);
    TIEMask* m = v->GetSelectionMask();
    EXPECT_EQ(m->X1, 2);
    EXPECT_EQ(m->Y1, 2);
    EXPECT_EQ(m->X2, 11);
    EXPECT_EQ(m->Y2, 11);
}

TEST_F(MouseTest, LayersMoveUnlessLocked) {
    auto v = LayeredView();
    v->SetMouseInteract(miMoveLayers);
    std::vector<TIELayerEvent> events;
    v->OnLayerNotify = [&](TObject*, int32_t, TIELayerEvent E) { events.push_back(E); };
    std::vector<TCursor> cursors;
    v->OnSetCursor = [&](TObject*, TCursor& C) { cursors.push_back(C); };
    v->DoMouseDown(mbLeft, ssLeft, 15, 15);
    EXPECT_EQ(cursors, std::vector<TCursor>{1790});
    v->DoMouseMove(ssLeft, 25, 20);
    v->DoMouseUp(mbLeft, 0, 25, 20);
    EXPECT_EQ(v->GetLayer(1)->PosX, 20);
    EXPECT_EQ(v->GetLayer(1)->PosY, 15);
    EXPECT_EQ(events, (std::vector<TIELayerEvent>{ielSelected, ielBeginMoving, ielMoving, ielMoved}));

    auto w = LayeredView();
    w->SetMouseInteract(miMoveLayers);
    w->GetLayer(1)->Locked = true;
    std::vector<TCursor> shown;
    w->OnSetCursor = [&](TObject*, TCursor& C) { shown.push_back(C); };
    Drag(*w, 15, 15, 25, 20);
    EXPECT_EQ(w->GetLayer(1)->PosX, 10);
    EXPECT_EQ(w->GetLayer(1)->PosY, 10);
    // Only the default cursor is put back.
    for (TCursor c : shown) EXPECT_EQ(c, 1785);
}

TEST_F(MouseTest, LayersResizeByEachGrip) {
    struct Case {
        TIEGrip grip;
        int32_t x, y;   // the grip's point; the drag goes 5 right and 5 down
        int32_t posX, posY, width, height;
    };
    const Case cases[] = {
        {ieTopLeft, 10, 10, 15, 15, 15, 15},    {ieTopRight, 30, 10, 10, 15, 25, 15},
        {ieBottomRight, 30, 30, 10, 10, 25, 25}, {ieBottomLeft, 10, 30, 15, 10, 15, 25},
        {ieLeftSide, 10, 20, 15, 10, 15, 20},   {ieRightSide, 30, 20, 10, 10, 25, 20},
        {ieTopSide, 20, 10, 10, 15, 20, 15},    {ieBottomSide, 20, 30, 10, 10, 20, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.grip));
        auto v = LayeredView();
        v->SetMouseInteract(miMoveLayers | miResizeLayers);
        v->SetLayerAspectMode(0);
        v->DoMouseDown(mbLeft, ssLeft, c.x, c.y);
        EXPECT_EQ(v->GetLayerGrip(), int32_t(c.grip));
        v->DoMouseMove(ssLeft, c.x + 5, c.y + 5);
        v->DoMouseUp(mbLeft, 0, c.x + 5, c.y + 5);
        TIELayer* l = v->GetLayer(1);
        EXPECT_EQ(l->PosX, c.posX);
        EXPECT_EQ(l->PosY, c.posY);
        EXPECT_EQ(l->Width, c.width);
        EXPECT_EQ(l->Height, c.height);
    }
}

TEST_F(MouseTest, RotationWithShiftSnapsToTheStepTowardZero) {
    struct Case {
        double start;
        int32_t fromX, toX;
        TShiftState keys;
        double expected;
    };
    // From (fromX, 60), below and right of the centre (20, 20): a quarter of the movement is added.
    const Case cases[] = {
        {40, 60, 99, ssShift, 45}, {40, 60, 99, 0, 49.75}, {-40, 99, 60, ssShift, -45},
        {-10, 99, 60, ssShift, 0}, {0, 60, 99, ssShift, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        auto v = LayeredView();
        v->SetMouseInteract(miRotateLayers);
        v->GetLayer(1)->SetRotationAngle(c.start);
        v->DoMouseDown(mbLeft, ssLeft, c.fromX, 60);
        EXPECT_EQ(v->GetRotatingLayer(), 1);
        v->DoMouseMove(TShiftState(ssLeft | c.keys), c.toX, 60);
        EXPECT_DOUBLE_EQ(v->GetLayer(1)->RotationAngle, c.expected);
        v->DoMouseUp(mbLeft, c.keys, c.toX, 60);
    }
}

TEST_F(MouseTest, TransparentPixelsPickTheLayerBelow) {
    auto v = LayeredView();
    TIEBitmap* b = v->GetLayer(1)->Bitmap;
    b->GetAlphaChannel()->Fill(255);
    b->SetAlpha(5, 5, 0);   // view point (15, 15)
    EXPECT_EQ(v->FindLayerAt(15, 15, true), 0);
    EXPECT_EQ(v->FindLayerAt(16, 15, true), 1);
    v->SetSelectionOptions(v->GetSelectionOptions() | iesoSelectTranspLayers);
    EXPECT_EQ(v->FindLayerAt(15, 15, true), 1);
    // Through the mouse: the layer below becomes current.
    v->SetSelectionOptions(v->GetSelectionOptions() & ~iesoSelectTranspLayers);
    v->SetMouseInteract(miMoveLayers);
    v->DoMouseDown(mbLeft, ssLeft, 15, 15);
    EXPECT_EQ(v->GetLayersCurrent(), 0);
    v->DoMouseUp(mbLeft, 0, 15, 15);
}

TEST_F(MouseTest, WindowMessagesReachTheHandlersWithCaptureAndFocus) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    TPicturaView* view = ShownView(*form, 100, 100, bsNone);
    view->SetMouseInteract(miSelect);
    ASSERT_TRUE(view->HandleAllocated());
    int change = 0;
    view->OnSelectionChange = [&](TObject*) { ++change; };
    HWND h = view->Handle();
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20));
    EXPECT_EQ(GetCapture(), h);
    EXPECT_EQ(GetFocus(), h);
    SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 50));
    EXPECT_TRUE(view->GetRectSelecting());
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(40, 50));
    EXPECT_NE(GetCapture(), h);
    EXPECT_EQ(change, 1);
    TIEMask* m = view->GetSelectionMask();
    EXPECT_EQ(m->X1, 10);
    EXPECT_EQ(m->Y1, 20);
    EXPECT_EQ(m->X2, 39);
    EXPECT_EQ(m->Y2, 49);
    // A move without a button only looks for grips: the bottom-right corner's.
    TIEGrip seen = ieNone;
    view->OnMouseInResizingGrip = [&](TObject*, TIEGrip G) { seen = G; };
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(40, 50));
    EXPECT_EQ(seen, ieBottomRight);
    form->Hide();
}

// A rectangle dragged past the view's right edge scrolls the view; the pictures shown on the way
// carry no outline, which is drawn once (its four sides) where the scrolling ends.
TEST_F(MouseTest, ADragThatScrollsTheViewDrawsTheOutlineOnceWhereItEnds) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    TPicturaView* view = ShownView(*form, 300, 100, bsNone, ssNone);
    view->SetMouseInteract(miSelect);
    ASSERT_TRUE(view->HandleAllocated());
    HWND h = view->Handle();
    POINT inside{50, 50};
    ClientToScreen(h, &inside);
    ASSERT_TRUE(SetCursorPos(inside.x, inside.y));
    view->DoMouseDown(mbLeft, ssLeft, 10, 10);
    view->DoMouseMove(ssLeft, 50, 50);
    ASSERT_EQ(view->GetViewX(), 0);
    int sides = 0;
    view->OnDrawPolygon = [&](TObject*, int32_t, int32_t, TCanvas*, int32_t, int32_t) { ++sides; };
    POINT beyond{150, 50};
    ClientToScreen(h, &beyond);
    ASSERT_TRUE(SetCursorPos(beyond.x, beyond.y));
    view->DoMouseMove(ssLeft, 99, 50);
    EXPECT_EQ(view->GetViewX(), 200);
    EXPECT_EQ(sides, 4);
    view->OnDrawPolygon = nullptr;
    view->DoMouseUp(mbLeft, 0, 99, 50);
    form->Hide();
}

TEST_F(MouseTest, MovingScrollFollowsTheMouseAcrossTheView) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    SetTimerSource(&timers);
    {
        auto v = std::make_unique<TPicturaView>(nullptr);
        v->SetOffScreen(true);
        v->SetBounds(0, 0, 400, 300);
        v->GetIEBitmap()->Allocate(2000, 800, ie24RGB);
        v->Update();
        Compose(*v);
        v->SetMouseInteract(miMovingScroll);
        int32_t mx = 0, my = 0;
        v->GetMaxViewOrigin(mx, my);
        ASSERT_GT(mx, 0);
        auto settle = [&] {
            for (int i = 0; i < 200 && v->IsSmoothScrolling(); ++i) timers.Advance(30);
        };
        // At the right edge the far end is reached; at 2 per cent of the width, the origin 0.
        v->DoMouseMove(0, 399, 150);
        settle();
        EXPECT_EQ(v->GetViewX(), mx);
        v->DoMouseMove(0, 8, 150);
        settle();
        EXPECT_LE(v->GetViewX(), 4);   // smooth scrolling ends within a few pixels of its target
        // A held button does not scroll.
        v->DoMouseMove(ssLeft, 399, 150);
        EXPECT_FALSE(v->IsSmoothScrolling());
    }
    SetTimerSource(nullptr);
}

TEST_F(MouseTest, AntsMarchOnTheSelectionTimerThroughPhasesZeroToNine) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    SetTimerSource(&timers);
    {
        std::unique_ptr<TForm> form(new TForm(nullptr));
        form->SetClientSize(100, 100);
        auto* view = new TPicturaView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 100, 100);
        form->Show();
        view->GetIEBitmap()->Allocate(100, 100, ie24RGB);
        view->Update();
        Compose(*view);
        view->SelectRect(10, 10, 50, 50, 0);
        ASSERT_NE(view->GetSelectionTimer(), nullptr);
        EXPECT_TRUE(view->GetSelectionTimer()->Enabled());
        EXPECT_EQ(view->GetSelectionTimer()->Interval(), 210u);
        std::vector<int32_t> phases;
        for (int i = 0; i < 11; ++i) {
            timers.Advance(210);
            phases.push_back(view->GetSelectionPhase());
        }
        EXPECT_EQ(phases, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1}));
        // Without animation the timer stops.
        view->SetSelectionOptions(iesoSizeable | iesoMoveable);
        view->DrawSelection(false);
        EXPECT_FALSE(view->GetSelectionTimer()->Enabled());
        form->Hide();
    }
    SetTimerSource(nullptr);
}

TEST_F(MouseTest, ShiftShowsTheAddingCursorWhileHeld) {
    auto v = View(20, 20);
    std::vector<TCursor> shown;
    v->OnSetCursor = [&](TObject*, TCursor& C) { shown.push_back(C); };
    uint16_t key = VK_SHIFT;
    v->KeyDown(key, ssShift);
    v->KeyUp(key, 0);
    v->AdditiveSelection = false;
    v->KeyDown(key, ssShift);
    EXPECT_EQ(shown, (std::vector<TCursor>{1791, 1785}));
}

TEST_F(MouseTest, LeavingRotationTurnsTheAngleIntoPixelsWhereTheyWereShown) {
    auto v = LayeredView();
    // Layer 1: 20 x 10, red on the left half, green on the right; turned a quarter.
    TIEBitmap* b = v->GetLayer(1)->Bitmap;
    b->Allocate(20, 10, ie24RGB);
    b->Fill(double(0x0000FF));
    b->FillRect(10, 0, 19, 9, double(0x00FF00));
    v->GetLayer(1)->SetRotationAngle(90);
    v->Update();
    Compose(*v);
    std::vector<TIERGB> shown;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) shown.push_back(v->GetBackBufferIE()->GetPixelRGB(x, y));
    v->ApplyLayerRotations(-1);
    EXPECT_EQ(v->GetLayer(1)->RotationAngle, 0);
    EXPECT_EQ(v->GetLayer(1)->Bitmap->GetWidth(), 10);
    EXPECT_EQ(v->GetLayer(1)->Bitmap->GetHeight(), 20);
    Compose(*v);
    int32_t differ = 0;
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const TIERGB a = shown[size_t(y * 40 + x)], c = v->GetBackBufferIE()->GetPixelRGB(x, y);
            if (std::abs(a.r - c.r) > 2 || std::abs(a.g - c.g) > 2 || std::abs(a.b - c.b) > 2) ++differ;
        }
    EXPECT_EQ(differ, 0);
    // Leaving the rotating interaction does the same.
    v->SetMouseInteract(miRotateLayers);
    v->GetLayer(1)->SetRotationAngle(45);
    v->SetMouseInteract(miMoveLayers);
    EXPECT_EQ(v->GetLayer(1)->RotationAngle, 0);
    EXPECT_GT(v->GetLayer(1)->Bitmap->GetWidth(), 15);   // 10 wide before the eighth turn
}

TEST_F(MouseTest, LassoDragSelectsTheOutlineAndAClickDeselects) {
    auto v = View(20, 20);
    v->SetMouseInteract(miSelectLasso);
    int change = 0;
    v->OnSelectionChange = [&](TObject*) { ++change; };
    v->DoMouseDown(mbLeft, ssLeft, 4, 4);
    for (POINT p : std::vector<POINT>{{14, 4}, {14, 14}, {4, 14}}) v->DoMouseMove(ssLeft, p.x, p.y);
    v->DoMouseUp(mbLeft, 0, 4, 14);
    EXPECT_FALSE(v->GetPolygonSelecting());
    EXPECT_EQ(change, 1);
    TIEMask* m = v->GetSelectionMask();
    EXPECT_EQ(m->X1, 4);
    EXPECT_EQ(m->Y1, 4);
    EXPECT_EQ(m->X2, 13);
    EXPECT_EQ(m->Y2, 13);
    v->DoMouseDown(mbLeft, ssLeft, 2, 2);
    v->DoMouseUp(mbLeft, 0, 2, 2);
    EXPECT_FALSE(v->GetSelected());
    EXPECT_TRUE(m->IsEmpty());
}

TEST_F(MouseTest, GripDragKeepsTheSelectionAspect) {
    auto v = View(100, 100);
    v->SetMouseInteract(miSelect);
    v->SelectionAspectRatio = 0.5;   // height over width
    v->SelectRect(0, 0, 40, 10, 0);
    ASSERT_EQ(v->GetSelY2(), 19);    // 40 x 20
    // The bottom-right grip dragged to (60, 25): the height follows the width.
    Drag(*v, 40, 20, 60, 25);
    TIEMask* m = v->GetSelectionMask();
    EXPECT_EQ(m->X2, 60);
    EXPECT_EQ(m->Y2, 30);
}

TEST_F(MouseTest, LayerDragsSaveOneUndoEntryWhenLayersAutoUndoIsOn) {
    struct Case {
        TIEMouseInteract interact;
        int32_t x, y;   // the press; the drag goes twice by 5 right and 5 down
        bool autoUndo;
        std::vector<TIEUndoSource> expected;
    };
    const Case cases[] = {
        {miMoveLayers, 15, 15, true, {ieuLayer}},
        {miMoveLayers | miResizeLayers, 30, 30, true, {ieuLayer}},
        {miRotateLayers, 60, 60, true, {ieuFullLayer}},
        {miMoveLayers, 15, 15, false, {}},
        {miRotateLayers, 60, 60, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.interact) + (c.autoUndo ? " auto" : ""));
        auto v = LayeredView();
        v->SetMouseInteract(c.interact);
        v->LayersAutoUndo = c.autoUndo;
        std::vector<TIEUndoSource> saved;
        v->SetOnSaveUndo([&](TObject*, TIEUndoSource S) { saved.push_back(S); });
        v->DoMouseDown(mbLeft, ssLeft, c.x, c.y);
        v->DoMouseMove(ssLeft, c.x + 5, c.y + 5);
        v->DoMouseMove(ssLeft, c.x + 10, c.y + 10);
        v->DoMouseUp(mbLeft, 0, c.x + 10, c.y + 10);
        EXPECT_EQ(saved, c.expected);
        EXPECT_EQ(v->GetProc()->GetUndoCount(), int32_t(c.expected.size()));
    }
    // The entry taken before a move puts the layer back where it was.
    auto v = LayeredView();
    v->SetMouseInteract(miMoveLayers);
    v->LayersAutoUndo = true;
    Drag(*v, 15, 15, 25, 20);
    EXPECT_EQ(v->GetLayer(1)->PosX, 20);
    v->GetProc()->Undo();
    EXPECT_EQ(v->GetLayer(1)->PosX, 10);
    EXPECT_EQ(v->GetLayer(1)->PosY, 10);
}

TEST_F(MouseTest, EventHandlersSeeAndSetTheApplicationsSelectionBase) {
    auto v = LayeredView();
    v->SetMouseInteract(miMoveLayers);
    v->SetSelectionBase(iesbBitmap);
    std::vector<TIESelectionBase> seen;
    v->OnLayerNotify = [&](TObject*, int32_t, TIELayerEvent E) {
        seen.push_back(v->GetSelectionBase());
        if (E == ielMoving) v->SetSelectionBase(iesbClientArea);
    };
    Drag(*v, 15, 15, 25, 20);
    EXPECT_EQ(seen, (std::vector<TIESelectionBase>{iesbBitmap, iesbBitmap, iesbBitmap, iesbClientArea}));
    EXPECT_EQ(v->GetSelectionBase(), iesbClientArea);
    // Outside the mouse handlers an event leaves the value alone.
    v->SetSelectionBase(iesbBitmap);
    double zoom = 100;
    v->OnZoomIn = [&](TObject*, double&) { seen.push_back(v->GetSelectionBase()); };
    v->DoZoomIn(zoom);
    EXPECT_EQ(seen.back(), iesbBitmap);
    EXPECT_EQ(v->GetSelectionBase(), iesbBitmap);
}

TEST_F(MouseTest, ApplyingARotationKeepsTheCurrentLayerAndCropsToTheVisiblePixels) {
    auto v = LayeredView();
    v->AddLayer();   // layer 2 current, layer 1 turned
    v->GetIEBitmap()->Allocate(4, 4, ie24RGB);
    TIELayer* l = v->GetLayer(1);
    l->Bitmap->GetAlphaChannel()->Fill(255);
    l->SetRotationAngle(45);
    v->ApplyLayerRotations(1);
    EXPECT_EQ(v->GetLayersCurrent(), 2);
    EXPECT_EQ(l->RotationAngle, 0);
    // A 20 x 20 square turned an eighth is about 28 wide, centred where the square was.
    EXPECT_NEAR(l->Bitmap->GetWidth(), 28, 2);
    EXPECT_NEAR(l->Bitmap->GetHeight(), 28, 2);
    EXPECT_NEAR(l->PosX, 6, 2);
    EXPECT_NEAR(l->PosY, 6, 2);
    // The corners the turn uncovered are transparent, the middle is opaque.
    EXPECT_EQ(l->Bitmap->GetAlpha(0, 0), 0);
    EXPECT_EQ(l->Bitmap->GetAlpha(14, 14), 255);
}
