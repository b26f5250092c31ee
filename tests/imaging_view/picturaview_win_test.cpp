// The image viewer control: its defaults, the image and its layers, zoom and scrolling through the
// control (notifications, wheel, smooth scrolling stepped by hand, scroll-bar messages on a real
// window), the pixels of an off-screen view read back, and the private messages.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "Clock.h"
#include "picturaio_view.h"
#include "Forms.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {

struct ViewStartup : ::testing::Test {
    void SetUp() override { IEPicturaViewInitialize(); }
};

using TPicturaViewTest = ViewStartup;

// An off-screen view (view size = control size) of W x H showing an image of IW x IH filled with
// Fill.
std::unique_ptr<TPicturaView> OffScreenView(int32_t W, int32_t H, int32_t IW, int32_t IH, TColor Fill = 0x0000FF) {
    auto view = std::make_unique<TPicturaView>(nullptr);
    view->SetOffScreen(true);
    view->SetBounds(0, 0, W, H);
    TIEBitmap* image = view->GetIEBitmap();
    image->Allocate(IW, IH, ie24RGB);
    image->Fill(double(Fill));
    view->Update();
    return view;
}

// The back buffer after a full composition, as the view presents it.
TIERGB Pixel(TPicturaView& View, int32_t X, int32_t Y) {
    View.SetBackBufferDirty();
    View.PresentBackBuffer(RECT{0, 0, View.Width(), View.Height()});
    return View.GetBackBufferIE()->GetPixelRGB(X, Y);
}

bool Same(const TIERGB& p, TColor c) {
    const uint32_t rgb = uint32_t(ColorToRGB(c));
    return p.r == (rgb & 0xFF) && p.g == ((rgb >> 8) & 0xFF) && p.b == ((rgb >> 16) & 0xFF);
}

void PumpMessages() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

TEST_F(TPicturaViewTest, Defaults) {
    TPicturaView view(nullptr);
    EXPECT_EQ(view.Width(), 105);
    EXPECT_EQ(view.Height(), 105);
    EXPECT_EQ(view.GetZoom(), 100.0);
    EXPECT_EQ(view.GetZoomY(), 100.0);
    EXPECT_EQ(view.GetScrollBars(), ssBoth);
    EXPECT_EQ(view.GetCursor(), 1785);
    EXPECT_EQ(view.GetBackground(), clBtnFace);
    EXPECT_EQ(view.GetLayerCount(), 1);
    EXPECT_EQ(view.GetLayersCurrent(), 0);
    EXPECT_TRUE(view.GetCenter());
    EXPECT_EQ(view.GetBackgroundStyle(), iebsSolid);
    EXPECT_EQ(view.GetSelectionOptions(), 71);
    EXPECT_EQ(view.GetDpiX(), 300);
    EXPECT_EQ(view.GetDpiY(), 300);
    EXPECT_EQ(view.GetPicturaVersion(), L"4.1.0");
    EXPECT_EQ(view.GetPaintLock(), 0);
    EXPECT_EQ(view.GetUpdateLock(), 0);
    EXPECT_NE(view.GetBitmap(), nullptr);   // the image keeps its pixels in a system bitmap
    EXPECT_EQ(view.GetChessboardSize(), 16);
    EXPECT_EQ(view.GetGradientEndColor(), TColor(0xFF0000));
    EXPECT_EQ(view.MouseWheelParams().Action, 2);
    EXPECT_STREQ(IEViewCursorName(1797), L"1795");
    EXPECT_STREQ(IEViewCursorName(1806), L"1803");
    EXPECT_EQ(IEViewCursorName(1815), nullptr);
}

TEST_F(TPicturaViewTest, TheIOComponentIsMadeOnceAttachedAndFollowsTheEvents) {
    auto view = std::make_unique<TPicturaView>(nullptr);
    int finished = 0;
    view->SetOnFinishWork([&](TObject*) { ++finished; });
    TPicturaIO* io = view->GetIO();
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(view->GetIO(), io);
    EXPECT_EQ(io->GetAttachedPictura(), view.get());
    EXPECT_EQ(view->GetBitmapChangeCallbackCount(), 1);
    ASSERT_TRUE(io->OnFinishWork);
    io->OnFinishWork(io);
    EXPECT_EQ(finished, 1);
    // A handler set later reaches the component too.
    std::vector<int32_t> progress;
    view->SetOnProgress([&](TObject*, int32_t p) { progress.push_back(p); });
    ASSERT_TRUE(io->OnProgress);
    io->OnProgress(io, 30);
    EXPECT_EQ(progress, std::vector<int32_t>{30});
    view.reset();   // the component goes with the view
}

TEST_F(TPicturaViewTest, StartUpReadsTheScreen) {
    EXPECT_EQ(IEDefaultDPIX, 300);
    EXPECT_EQ(IEPixelGridZoomThreshold, 400);
    EXPECT_GT(IEScreenDPIX, 0);
    EXPECT_GT(IEScreenDPIY, 0);
    EXPECT_GT(IEScreenColorDepth, 0);
    EXPECT_EQ(IEMetricCXEdge, GetSystemMetrics(SM_CXEDGE));
    EXPECT_EQ(IEMetricCXVScroll, GetSystemMetrics(SM_CXVSCROLL));
    ASSERT_NE(IEGridPen, nullptr);
    IEPicturaViewFinalize();
    EXPECT_EQ(IEGridPen, nullptr);
    IEPicturaViewInitialize();
}

TEST_F(TPicturaViewTest, ImageEmptinessAndClearing) {
    TPicturaView view(nullptr);
    struct Case {
        int32_t W, H;
        bool Empty;
    } cases[] = {{1, 1, true}, {1, 0, true}, {2, 1, false}, {1, 2, false}};
    for (const Case& c : cases) {
        view.GetIEBitmap()->Allocate(c.W, c.H, ie24RGB);
        EXPECT_EQ(view.IsImageEmpty(), c.Empty) << c.W << "x" << c.H;
    }
    view.GetIEBitmap()->Allocate(4, 3, ie24RGB);
    view.SetBackground(0x123456);
    view.Assign(nullptr);
    EXPECT_TRUE(Same(view.GetIEBitmap()->GetPixelRGB(3, 2), 0x123456));
    view.ClearImage();
    EXPECT_EQ(view.GetIEBitmap()->GetWidth(), 1);
    EXPECT_EQ(view.GetIEBitmap()->GetHeight(), 1);
}

TEST_F(TPicturaViewTest, LegacyBitmapMovesThePixelsAndTellsTheAttachedComponents) {
    TPicturaView view(nullptr);
    view.GetIEBitmap()->Allocate(8, 6, ie24RGB);
    view.GetIEBitmap()->Fill(double(0x123456));
    int notified = 0;
    view.AddBitmapChangeCallback([&](TIEView*, bool) { ++notified; });
    view.SetLegacyBitmap(true);   // already on: nothing
    EXPECT_EQ(notified, 0);
    view.SetLegacyBitmap(false);
    EXPECT_EQ(view.GetBitmap(), nullptr);
    EXPECT_NE(view.GetIEBitmap()->GetLocation(), ieTBitmap);
    EXPECT_EQ(notified, 1);
    view.SetLegacyBitmap(true);
    ASSERT_NE(view.GetBitmap(), nullptr);
    EXPECT_EQ(view.GetBitmap()->Width(), 8);
    EXPECT_TRUE(Same(view.GetIEBitmap()->GetPixelRGB(7, 5), 0x123456));
    EXPECT_EQ(notified, 2);
}

TEST_F(TPicturaViewTest, LayerList) {
    TPicturaView view(nullptr);
    view.RemoveLayer(0);   // the only layer stays
    EXPECT_EQ(view.GetLayerCount(), 1);
    EXPECT_EQ(view.AddLayer(), 1);
    EXPECT_EQ(view.AddLayer(), 2);
    EXPECT_EQ(view.GetLayersCurrent(), 2);
    EXPECT_EQ(view.GetIEBitmap(), view.GetLayer(2)->Bitmap);
    view.RemoveLayer(2);   // the current top layer: layer 1 becomes current
    EXPECT_EQ(view.GetLayerCount(), 2);
    EXPECT_EQ(view.GetLayersCurrent(), 1);
    EXPECT_EQ(view.GetIEBitmap(), view.GetLayer(1)->Bitmap);

    // A layer that may not be chosen hands the choice to the next lower one.
    view.AddLayer();
    view.GetLayer(2)->Selectable = false;
    view.SetCurrentLayer(0);
    view.SetCurrentLayer(2);
    EXPECT_EQ(view.GetLayersCurrent(), 1);

    // Removing a layer below the current one moves the current index down.
    view.SetCurrentLayer(1);
    view.GetLayer(2)->Selectable = true;
    view.SetCurrentLayer(2);
    view.RemoveLayer(0);
    EXPECT_EQ(view.GetLayersCurrent(), 1);
    view.ClearLayers();
    EXPECT_EQ(view.GetLayerCount(), 1);
    EXPECT_EQ(view.GetLayersCurrent(), 0);
    EXPECT_TRUE(view.GetLayer(0)->Locked);
}

TEST_F(TPicturaViewTest, UpdateAndPaintLocks) {
    auto view = OffScreenView(400, 300, 200, 100);
    int changes = 0;
    view->OnViewChange = [&](TObject*, int32_t) { ++changes; };
    view->HoldUpdate();
    view->GetIEBitmap()->Allocate(300, 100, ie24RGB);
    view->Update();
    EXPECT_EQ(view->GetImageWidth(), 200);   // nothing while held
    view->ReleaseUpdate();
    EXPECT_EQ(view->GetImageWidth(), 300);
    // Releasing the paint lock below 0 stays at 0 and still updates.
    view->GetIEBitmap()->Allocate(320, 100, ie24RGB);
    view->ReleasePaint();
    EXPECT_EQ(view->GetPaintLock(), 0);
    EXPECT_EQ(view->GetImageWidth(), 320);
}

TEST_F(TPicturaViewTest, ZoomOfZeroOrBelowChangesNothingButIsAnnounced) {
    auto view = OffScreenView(400, 300, 1000, 800);
    std::vector<std::pair<int32_t, double>> changing;
    int changes = 0;
    view->OnViewChanging = [&](TObject*, int32_t c, double v) { changing.push_back({c, v}); };
    view->OnViewChange = [&](TObject*, int32_t) { ++changes; };
    view->SetZoom(0);
    view->SetZoom(-5);
    EXPECT_EQ(view->GetZoom(), 100.0);
    ASSERT_EQ(changing.size(), 2u);
    EXPECT_EQ(changing[0], std::make_pair(2, 0.0));
    EXPECT_EQ(changing[1], std::make_pair(2, -5.0));
    EXPECT_EQ(changes, 0);
    view->SetZoomX(0);
    view->SetZoomY(-1);
    EXPECT_EQ(view->GetZoomX(), 100.0);
    EXPECT_EQ(view->GetZoomY(), 100.0);
    // A zoom that would overflow 32-bit coordinates is clamped.
    view->SetZoom(1e12);
    EXPECT_LE(view->GetZoom(), IEMaxZoomFor(1000, 800));
    EXPECT_GT(view->Geometry().ZoomedWidth, 0);
    // So is one applied directly, on both axes or on one.
    view->ApplyZoom(1e12);
    EXPECT_LE(view->GetZoomX(), IEMaxZoomFor(1000, 800));
    EXPECT_LE(view->GetZoomY(), IEMaxZoomFor(1000, 800));
    view->ApplyZoomY(1e13);
    EXPECT_LE(view->GetZoomY(), IEMaxZoomFor(1000, 800));
}

TEST_F(TPicturaViewTest, ZoomKeepsTheCentreAndMaxOriginFollowsScrollBars) {
    auto view = OffScreenView(400, 300, 1000, 800);
    int32_t mx, my;
    view->GetMaxViewOrigin(mx, my);
    EXPECT_EQ(mx, 601);
    EXPECT_EQ(my, 501);
    view->SetScrollBars(ssNone);
    view->GetMaxViewOrigin(mx, my);
    EXPECT_EQ(mx, 600);
    EXPECT_EQ(my, 500);
    view->SetScrollBars(ssBoth);

    view->SetViewOrigin(100, 100);
    EXPECT_EQ(view->GetViewX(), 100);
    view->SetViewOrigin(5000, -3);   // clamped
    EXPECT_EQ(view->GetViewX(), 601);
    EXPECT_EQ(view->GetViewY(), 0);
    view->SetViewOrigin(300, 250);
    // The image point at the view centre (500, 400) stays there after zooming to 200 %.
    view->SetZoom(200);
    EXPECT_EQ(view->GetZoom(), 200.0);
    EXPECT_EQ(view->GetViewX(), 800);
    EXPECT_EQ(view->GetViewY(), 650);
    EXPECT_TRUE(view->CanScroll());
}

TEST_F(TPicturaViewTest, CentredImageAndBackgroundPixels) {
    auto view = OffScreenView(400, 300, 200, 100);
    view->SetBackground(0x00FF00);
    EXPECT_EQ(view->GetOffsetX(), 100);
    EXPECT_EQ(view->GetOffsetY(), 100);
    EXPECT_TRUE(Same(Pixel(*view, 100, 100), 0x0000FF));
    EXPECT_TRUE(Same(Pixel(*view, 299, 199), 0x0000FF));
    EXPECT_TRUE(Same(Pixel(*view, 99, 150), 0x00FF00));
    EXPECT_TRUE(Same(Pixel(*view, 300, 150), 0x00FF00));
    EXPECT_TRUE(Same(Pixel(*view, 150, 200), 0x00FF00));
    view->SetCenter(false);
    EXPECT_EQ(view->GetOffsetX(), 0);
    EXPECT_TRUE(Same(Pixel(*view, 0, 0), 0x0000FF));
    EXPECT_TRUE(Same(Pixel(*view, 200, 0), 0x00FF00));
}

TEST_F(TPicturaViewTest, WheelZoomsAndScrolls) {
    auto view = OffScreenView(400, 300, 1000, 800);
    view->MouseWheelAction(-120, 10, false, 10);   // towards the user
    EXPECT_EQ(view->GetZoom(), 108.0);
    view->SetZoom(100);
    view->MouseWheelAction(120, 10, false, 10);
    EXPECT_EQ(view->GetZoom(), 92.0);
    // OnZoomIn may change the new zoom.
    view->SetZoom(100);
    view->OnZoomIn = [](TObject*, double& z) { z = 150; };
    view->MouseWheelAction(-120, 10, false, 10);
    EXPECT_EQ(view->GetZoom(), 150.0);
    view->OnZoomIn = nullptr;

    view->SetZoom(100);
    view->SetViewOrigin(0, 0);
    view->MouseWheelParams().Action = 1;
    view->MouseWheelParams().Variation = 0;
    view->MouseWheelParams().Value = 10;
    view->MouseWheelAction(-120, 0, false, 0);
    EXPECT_EQ(view->GetViewY(), 10);
    view->MouseWheelAction(-120, 0, true, 0);   // Ctrl: horizontal although a vertical range exists
    EXPECT_EQ(view->GetViewX(), 10);
    EXPECT_EQ(view->GetViewY(), 10);
    // AutoFit switches the wheel off.
    view->SetAutoFit(true);
    const double fitted = view->GetZoom();
    view->MouseWheelParams().Action = 2;
    view->MouseWheelAction(-120, 0, false, 0);
    EXPECT_EQ(view->GetZoom(), fitted);
}

TEST_F(TPicturaViewTest, ZoomAtKeepsThePixelUnderThePoint) {
    for (double zoom : {50.0, 150.0, 200.0, 333.0, 800.0}) {
        auto view = OffScreenView(400, 300, 4000, 3000);
        view->SetViewOrigin(1200, 900);
        const int32_t x = 137, y = 211;
        const int32_t bx = view->ScreenToBitmapX(x), by = view->ScreenToBitmapY(y);
        view->ZoomAt(x, y, false, zoom);
        EXPECT_EQ(view->GetZoom(), zoom);
        EXPECT_NEAR(view->BitmapToScreenX(bx), x, zoom / 100.0 + 1) << zoom;
        EXPECT_NEAR(view->BitmapToScreenY(by), y, zoom / 100.0 + 1) << zoom;
    }
}

TEST_F(TPicturaViewTest, SmoothScrollStepsByHand) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    SetTimerSource(&timers);
    bool leftDown = false;
    auto saved = IEViewLeftButtonDown;
    IEViewLeftButtonDown = [&] { return leftDown; };
    {
        auto view = OffScreenView(400, 300, 2000, 800);
        view->SmoothScrollTo(800, 0);
        EXPECT_EQ(view->GetViewX(), 100);   // one step at once
        timers.Advance(30);
        EXPECT_EQ(view->GetViewX(), 188);
        timers.Advance(29);
        EXPECT_EQ(view->GetViewX(), 188);   // not yet due
        for (int i = 0; i < 100 && view->IsSmoothScrolling(); ++i) timers.Advance(30);
        EXPECT_FALSE(view->IsSmoothScrolling());
        EXPECT_GE(view->GetViewX(), 796);
        EXPECT_LE(view->GetViewX(), 800);

        // The left button stops it; so does a zoom.
        view->SmoothScrollTo(0, 0);
        leftDown = true;
        timers.Advance(30);
        EXPECT_FALSE(view->IsSmoothScrolling());
        leftDown = false;
        view->SmoothScrollTo(800, 0);
        view->SetZoom(120);
        EXPECT_FALSE(view->IsSmoothScrolling());
        EXPECT_EQ(timers.ActiveCount(), 0);
    }
    IEViewLeftButtonDown = saved;
    SetTimerSource(nullptr);
}

TEST_F(TPicturaViewTest, DelayedZoomFilterCountsDownOnTheSelectionTimer) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    SetTimerSource(&timers);
    {
        std::unique_ptr<TForm> form(new TForm(nullptr));
        form->SetClientSize(420, 320);
        auto* view = new TPicturaView(form.get());
        view->SetParent(form.get());
        view->SetBounds(0, 0, 400, 300);
        form->Show();
        view->GetIEBitmap()->Allocate(1000, 800, ie24RGB);
        view->Update();
        view->DelayZoomFilter = true;
        view->SetZoomFilter(rfBilinear);
        view->SetZoom(150);   // from 100: only the outline waits
        EXPECT_EQ(view->GetFilterDelayCounter(), 0);
        EXPECT_GT(view->GetOutlineDelayCounter(), 0);
        view->SetZoom(200);
        EXPECT_GT(view->GetFilterDelayCounter(), 0);
        EXPECT_LE(view->GetFilterDelayCounter(), 4);
        EXPECT_EQ(timers.ActiveCount(), 1);
        int composed = 0;
        view->OnDrawBackBuffer = [&](TObject*) { ++composed; };
        for (int i = 0; i < 6; ++i) timers.Advance(210);
        EXPECT_EQ(view->GetFilterDelayCounter(), 0);
        EXPECT_EQ(view->GetOutlineDelayCounter(), 0);
        EXPECT_EQ(timers.ActiveCount(), 0);   // stopped once nothing waits
        // The end of the delay updates the view, which composes the picture again when painted.
        view->Invalidate();
        UpdateWindow(view->Handle());
        EXPECT_GE(composed, 1);
        // Scrolling while zoomed starts the delay again.
        view->SetViewOrigin(50, 50);
        EXPECT_GT(view->GetFilterDelayCounter(), 0);
    }
    SetTimerSource(nullptr);
}

TEST_F(TPicturaViewTest, ScrollBarMessagesOnARealWindow) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetClientSize(420, 320);
    auto* view = new TPicturaView(form.get());
    view->SetParent(form.get());
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 400, 300);
    form->Show();
    view->GetIEBitmap()->Allocate(2000, 1500, ie24RGB);
    view->Update();
    ASSERT_TRUE(view->HandleAllocated());
    EXPECT_TRUE(view->GetHorzBarShown());
    EXPECT_TRUE(view->GetVertBarShown());
    EXPECT_LT(view->GetViewWidth(), 400);   // the vertical bar takes its width
    HWND h = view->Handle();
    SCROLLINFO si{sizeof si, SIF_ALL};
    ASSERT_TRUE(GetScrollInfo(h, SB_HORZ, &si));
    EXPECT_EQ(si.nMax, 65535);

    SendMessageW(h, WM_HSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(view->GetViewX(), 1);
    SendMessageW(h, WM_HSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(view->GetViewX(), 1 + view->GetViewWidth());
    SendMessageW(h, WM_VSCROLL, SB_BOTTOM, 0);
    int32_t mx, my;
    view->GetMaxViewOrigin(mx, my);
    EXPECT_EQ(view->GetViewY(), my);
    SendMessageW(h, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(view->GetViewY(), 0);
    // Thumb tracking off: tracking is ignored, the final position is not.
    view->HScrollBarParams().Tracking = false;
    SendMessageW(h, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 1000), 0);
    EXPECT_EQ(view->GetViewX(), 1 + view->GetViewWidth());
    SendMessageW(h, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 1000), 0);
    EXPECT_EQ(view->GetViewX(), IERound((long double)1000 * view->GetScrollScaleX()));
    // The bar follows the origin.
    view->SetViewX(0);
    ASSERT_TRUE(GetScrollInfo(h, SB_HORZ, &si));
    EXPECT_EQ(si.nPos, 0);

    // Fitting the image: the zoom that fits the control (no border here), and no bars.
    view->ZoomToFit();
    EXPECT_DOUBLE_EQ(view->GetZoom(), 20.0);
    EXPECT_FALSE(view->GetHorzBarShown());
    EXPECT_FALSE(view->GetVertBarShown());
    EXPECT_EQ(view->GetViewWidth(), 400);
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL), 0);
    // Kept shown but disabled when asked to.
    view->ShowDisabledBars = true;
    view->Update();
    EXPECT_TRUE(view->GetHorzBarShown());
    ASSERT_TRUE(GetScrollInfo(h, SB_HORZ, &si));
    view->ShowDisabledBars = false;
    view->Update();
    EXPECT_FALSE(view->GetHorzBarShown());
}

TEST_F(TPicturaViewTest, PostedProgressAndFinishReachTheEvents) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    auto* view = new TPicturaView(form.get());
    view->SetParent(form.get());
    form->Show();
    std::vector<int32_t> progress;
    int finished = 0, updates = 0;
    view->SetOnProgress([&](TObject*, int32_t p) { progress.push_back(p); });
    view->SetOnFinishWork([&](TObject*) { ++finished; });
    view->OnViewChanging = [&](TObject*, int32_t, double) {};
    view->GetIEBitmap()->Allocate(10, 10, ie24RGB);
    SyncViewHandle(view);
    ASSERT_TRUE(view->HandleAllocated());
    PostMessageW(view->Handle(), IEMSG_PROGRESS, 40, 0);
    PostMessageW(view->Handle(), IEMSG_PROGRESS, 80, 0);
    PostMessageW(view->Handle(), IEMSG_FINISHWORK, 0, 0);
    view->GetIEBitmap()->Allocate(30, 20, ie24RGB);
    PostMessageW(view->Handle(), IEMSG_UPDATE, 0, 0);
    PumpMessages();
    EXPECT_EQ(progress, (std::vector<int32_t>{40, 80}));
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(view->GetImageWidth(), 30);
    (void)updates;
}

TEST_F(TPicturaViewTest, AWorkerPostingToAViewWithoutAWindowHasTheMainThreadMakeItFirst) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    auto* view = new TPicturaView(form.get());
    view->SetParent(form.get());
    ASSERT_FALSE(view->HandleAllocated());
    std::vector<int32_t> progress;
    view->SetOnProgress([&](TObject*, int32_t p) { progress.push_back(p); });
    std::atomic<bool> done{false}, posted{false};
    std::thread worker([&] {
        posted = IEViewPostMessage(view, IEMSG_PROGRESS, 55);
        done = true;
    });
    // The main thread keeps its message loop going (bounded) while the worker waits on it.
    for (int i = 0; i < 2000 && !done; ++i) {
        PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    worker.join();
    ASSERT_TRUE(posted.load());
    EXPECT_TRUE(view->HandleAllocated());
    PumpMessages();
    EXPECT_EQ(progress, std::vector<int32_t>{55});
    // A view without a parent gets no window.
    TPicturaView lone(nullptr);
    SyncViewHandle(&lone);
    EXPECT_FALSE(lone.HandleAllocated());
}

TEST_F(TPicturaViewTest, AssignCopiesViewsAndBitmapsAndDrawVersionMarksTheCorner) {
    TPicturaView source(nullptr);
    source.GetIEBitmap()->Allocate(5, 4, ie24RGB);
    source.GetIEBitmap()->Fill(double(0x336699));
    source.SetBackground(0x00FF00);
    source.SetDpi(72, 144);
    TPicturaView copy(nullptr);
    int changes = 0;
    copy.OnImageChange = [&](TObject*) { ++changes; };
    copy.Assign(&source);
    EXPECT_EQ(copy.GetIEBitmap()->GetWidth(), 5);
    EXPECT_TRUE(Same(copy.GetIEBitmap()->GetPixelRGB(4, 3), 0x336699));
    EXPECT_EQ(copy.GetBackground(), TColor(0x00FF00));
    EXPECT_EQ(copy.GetDpiY(), 144);
    EXPECT_GE(changes, 1);
    TBitmap grey;
    grey.SetPixelFormat(pf8bit);
    grey.SetSize(3, 2);
    copy.Assign(&grey);   // neither 1 nor 24 bits: made 24-bit
    EXPECT_EQ(copy.GetIEBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(copy.GetIEBitmap()->GetWidth(), 3);

    // The version line: black text on white at the bottom-right corner of the window.
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 260, 160);
    auto* view = new TPicturaView(form.get());
    view->SetParent(form.get());
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 200, 100);
    form->Show();
    view->SetDrawVersion(true);
    view->Invalidate();
    UpdateWindow(view->Handle());
    HDC dc = GetDC(view->Handle());
    int white = 0, black = 0;
    for (int32_t y = 88; y < 100; ++y)
        for (int32_t x = 100; x < 200; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            white += c == RGB(255, 255, 255);
            black += c == RGB(0, 0, 0);
        }
    ReleaseDC(view->Handle(), dc);
    EXPECT_GT(white, 100);
    EXPECT_GT(black, 20);
}

// ---- Background styles -------------------------------------------------------------------------

namespace {

struct Surface {
    Surface(int32_t W, int32_t H) {
        Bitmap.SetPixelFormat(pf24bit);
        Bitmap.SetSize(W, H);
    }
    TIERGB At(int32_t X, int32_t Y) { return static_cast<TIERGB*>(Bitmap.ScanLine(Y))[X]; }
    TBitmap Bitmap;
};

constexpr TColor kRed = 0x0000FF;   // TColor is 0x00BBGGRR

}  // namespace

TEST_F(TPicturaViewTest, ChessboardFastPathStartsWithTheColourAndTheBrushPathWithItsInverse) {
    Surface fast(64, 40);
    IEDrawBackgroundStyle(false, fast.Bitmap.Canvas(), &fast.Bitmap, iebsChessboard, kRed, 0, 0, 64, 40, 0, 0, 0, 0, 16,
                          bsSolid, 0, nullptr, iewoNormal);
    EXPECT_TRUE(Same(fast.At(0, 0), kRed));
    EXPECT_TRUE(Same(fast.At(15, 15), kRed));
    EXPECT_TRUE(Same(fast.At(16, 0), 0xFFFF00));   // the inverse of red
    EXPECT_TRUE(Same(fast.At(0, 16), 0xFFFF00));
    EXPECT_TRUE(Same(fast.At(16, 16), kRed));

    Surface brush(64, 40);
    IEDrawBackgroundStyle(false, brush.Bitmap.Canvas(), nullptr, iebsChessboard, kRed, 0, 0, 64, 40, 0, 0, 0, 0, 16,
                          bsSolid, 0, nullptr, iewoNormal);
    EXPECT_TRUE(Same(brush.At(0, 0), 0xFFFF00));
    EXPECT_TRUE(Same(brush.At(16, 0), kRed));
    EXPECT_TRUE(Same(brush.At(0, 16), kRed));
    EXPECT_TRUE(Same(brush.At(63, 39), kRed));   // the last square of the third band, clipped
}

TEST_F(TPicturaViewTest, BackgroundStylesPaintTheirArea) {
    // Every style paints the area (pixels of its corner change from black) and keeps off the pixels
    // outside it; the framed styles leave a one-pixel image alone apart from the fill.
    for (int style = iebsSolid; style <= iebsPhotoLike; ++style) {
        Surface s(60, 50);
        IEDrawBackgroundStyle(false, s.Bitmap.Canvas(), &s.Bitmap, TIEBackgroundStyle(style), 0x808080, 0, 0, 50, 40,
                              10, 10, 30, 30, 8, bsSolid, 0x00FF00, nullptr, iewoNormal);
        const TIERGB outside = s.At(55, 45);
        EXPECT_EQ(outside.r + outside.g + outside.b, 0) << "style " << style;
        int painted = 0;
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 10; ++x) {
                const TIERGB p = s.At(x, y);
                painted += p.r + p.g + p.b != 0;
            }
        EXPECT_GT(painted, 0) << "style " << style;
    }
    // Photo-like: a grey surround, a black frame just outside the image, a chessboard inside.
    Surface p(60, 50);
    IEDrawBackgroundStyle(false, p.Bitmap.Canvas(), &p.Bitmap, iebsPhotoLike, kRed, 0, 0, 60, 50, 10, 10, 30, 30, 8,
                          bsSolid, 0, nullptr, iewoNormal);
    EXPECT_TRUE(Same(p.At(2, 2), 0xB0B0B0));
    EXPECT_TRUE(Same(p.At(9, 9), clBlack));
    EXPECT_TRUE(Same(p.At(30, 20), clBlack));
    EXPECT_TRUE(Same(p.At(10, 10), kRed));
    EXPECT_TRUE(Same(p.At(18, 10), 0xFFFF00));
    // The frame stays black on a canvas left in the inverting mode.
    Surface q(60, 50);
    SetROP2(q.Bitmap.Canvas()->Handle(), R2_NOT);
    IEDrawBackgroundStyle(false, q.Bitmap.Canvas(), &q.Bitmap, iebsPhotoLike, kRed, 0, 0, 60, 50, 10, 10, 30, 30, 8,
                          bsSolid, 0, nullptr, iewoNormal);
    EXPECT_TRUE(Same(q.At(9, 9), clBlack));
    EXPECT_TRUE(Same(q.At(30, 20), clBlack));
    EXPECT_EQ(GetROP2(q.Bitmap.Canvas()->Handle()), R2_NOT);
    // Crop shadow with a one-pixel-wide image only fills.
    Surface c(60, 50);
    IEDrawBackgroundStyle(false, c.Bitmap.Canvas(), &c.Bitmap, iebsCropShadow, kRed, 0, 0, 60, 50, 10, 10, 11, 30, 8,
                          bsSolid, 0, nullptr, iewoNormal);
    for (int32_t x : {11, 12, 14}) EXPECT_TRUE(Same(c.At(x, 20), kRed)) << x;
    // With a real image the shadow darkens the band to its right.
    IEDrawBackgroundStyle(false, c.Bitmap.Canvas(), &c.Bitmap, iebsCropShadow, kRed, 0, 0, 60, 50, 10, 10, 30, 30, 8,
                          bsSolid, 0, nullptr, iewoNormal);
    EXPECT_FALSE(Same(c.At(31, 20), kRed));
    // Designing: the framed styles fill with the colour only.
    for (TIEBackgroundStyle style : {iebsCropped, iebsCropShadow, iebsSoftShadow}) {
        Surface d(60, 50);
        IEDrawBackgroundStyle(true, d.Bitmap.Canvas(), &d.Bitmap, style, kRed, 0, 0, 60, 50, 10, 10, 30, 30, 8,
                              bsSolid, 0, nullptr, iewoNormal);
        EXPECT_TRUE(Same(d.At(31, 20), kRed)) << int(style);
        EXPECT_TRUE(Same(d.At(9, 9), kRed)) << int(style);
    }
    // The gradient runs from the colour at the top to the end colour at the bottom.
    Surface g(20, 100);
    IEDrawBackgroundStyle(false, g.Bitmap.Canvas(), &g.Bitmap, iebsGradient, kRed, 0, 0, 20, 100, 0, 0, 0, 0, 8,
                          bsSolid, 0xFF0000, nullptr, iewoNormal);
    EXPECT_GT(g.At(5, 0).r, 240);
    EXPECT_GT(g.At(5, 99).b, 240);
}

TEST_F(TPicturaViewTest, TiledWallpaperCoversTheAreaFromTheCanvasOrigin) {
    TPicture wall;
    TBitmap* tile = wall.Bitmap();
    tile->SetPixelFormat(pf24bit);
    tile->SetSize(10, 10);
    tile->Canvas()->Brush()->SetColor(kRed);
    tile->Canvas()->FillRect(RECT{0, 0, 10, 10});
    Surface s(40, 30);
    IEDrawBackgroundStyle(false, s.Bitmap.Canvas(), &s.Bitmap, iebsSolid, clBlack, 0, 0, 25, 15, 0, 0, 0, 0, 8, bsSolid,
                          0, &wall, iewoTile);
    // Three tiles a row, two rows: up to (29, 19), nothing beyond.
    EXPECT_TRUE(Same(s.At(0, 0), kRed));
    EXPECT_TRUE(Same(s.At(29, 19), kRed));
    EXPECT_TRUE(Same(s.At(30, 5), clBlack));
    EXPECT_TRUE(Same(s.At(5, 20), clBlack));
}

TEST_F(TPicturaViewTest, NavigatorDimsOutsideTheVisibleArea) {
    const int32_t depth = IEScreenColorDepth;
    IEScreenColorDepth = 32;   // the plain copy, where the dimmed presentation applies
    auto main = OffScreenView(200, 150, 400, 300, 0xFFFFFF);
    auto nav = std::make_unique<TPicturaView>(nullptr);
    nav->SetOffScreen(true);
    nav->SetBorderStyle(bsNone);
    nav->SetBounds(0, 0, 100, 75);
    main->SetNavigator(nav.get(), 2);
    EXPECT_TRUE(nav->GetIsNavigator());
    EXPECT_EQ(nav->GetIEBitmap(), main->GetIEBitmap());
    nav->Update();
    EXPECT_EQ(nav->GetZoom(), 25.0);
    main->Update();
    // The main view shows the top-left quarter of the image; the navigator shows it at 25 %.
    const RECT r = nav->VisibleAreaRect;
    EXPECT_NEAR(r.left, 0, 1);
    EXPECT_NEAR(r.right, 50, 2);
    EXPECT_NEAR(r.bottom, 38, 2);
    Pixel(*nav, 0, 0);
    ASSERT_NE(nav->GetDimBitmap(), nullptr);
    const TIERGB inside = nav->GetDimBitmap()->GetPixelRGB(20, 20);
    const TIERGB outside = nav->GetDimBitmap()->GetPixelRGB(80, 60);
    EXPECT_EQ(inside.r, 255);
    EXPECT_LT(outside.r, 200);
    main->SetNavigator(nullptr, 0);
    EXPECT_FALSE(nav->GetIsNavigator());
    // A navigator freed first leaves the main view working without one.
    main->SetNavigator(nav.get(), 2);
    nav.reset();
    EXPECT_EQ(main->GetNavigator(), nullptr);
    main->SetViewOrigin(10, 10);
    main->Update();
    IEScreenColorDepth = depth;
}
