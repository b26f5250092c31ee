// The compositor's finer steps on an off-screen view (mask layers, rotation, the area outside layer
// 0, the magnifier, grips, the pixel grid), the selection stack across layers, the navigator's
// wheel and lifetime, and the keys the application may claim.
#include <gtest/gtest.h>

#include <memory>

#include "iebitmap.h"
#include "iegdiplus.h"
#include "picturaview.h"
#include "picturaview_control.h"

namespace {

// A layer drawn through an alpha channel of 255 lands one step short of its colour (the renderer
// scales alpha by 1/256).
constexpr int32_t kOpaqueThroughAlpha = 254;

struct ComposeTest : ::testing::Test {
    void SetUp() override { IEPicturaViewInitialize(); }
};

// An off-screen view of W x H at zoom 100 with a uniform layer 0 of IW x IH, placed at (0,0)
// (the view is exactly the image's size, so view pixels are image pixels).
std::unique_ptr<TPicturaView> View(int32_t W, int32_t H, TColor Image, TColor Background = 0x000000) {
    auto v = std::make_unique<TPicturaView>(nullptr);
    v->SetOffScreen(true);
    v->SetBounds(0, 0, W, H);
    v->SetBackground(Background);
    v->GetIEBitmap()->Allocate(W, H, ie24RGB);
    v->GetIEBitmap()->Fill(double(Image));
    v->Update();
    return v;
}

TIERGB Composed(TPicturaView& V, int32_t X, int32_t Y) {
    V.SetBackBufferDirty();
    V.PresentBackBuffer(RECT{0, 0, V.Width(), V.Height()});
    return V.GetBackBufferIE()->GetPixelRGB(X, Y);
}

// Adds a layer of W x H filled with Color at (X, Y); returns its index.
int32_t AddSolid(TPicturaView& V, int32_t W, int32_t H, TColor Color, int32_t X, int32_t Y) {
    const int32_t i = V.AddLayer();
    V.GetIEBitmap()->Allocate(W, H, ie24RGB);
    V.GetIEBitmap()->Fill(double(Color));
    V.GetLayer(i)->PosX = X;
    V.GetLayer(i)->PosY = Y;
    return i;
}

}  // namespace

TEST_F(ComposeTest, MaskLayerLimitsTheLayerBelowAndShowsOnlyWhenVisible) {
    auto v = View(20, 20, 0x000000);
    AddSolid(*v, 10, 10, 0x0000FF, 0, 0);    // red layer 1
    const int32_t m = v->AddLayer();          // its mask: left half 255, right half 0
    v->GetIEBitmap()->Allocate(10, 10, ie8g);
    v->GetIEBitmap()->Fill(0);
    v->GetIEBitmap()->FillRect(0, 0, 4, 9, 255);
    v->GetLayer(m)->IsMask = true;
    v->GetLayer(m)->Visible = false;
    v->Update();
    EXPECT_GE(Composed(*v, 2, 2).r, kOpaqueThroughAlpha);
    EXPECT_EQ(Composed(*v, 7, 2).r, 0);
    EXPECT_NE(v->GetLayer(1)->AlphaCache, nullptr);   // kept for the next composition
    // Layer 1's own alpha is put back after the draw.
    EXPECT_EQ(v->GetLayer(1)->Bitmap->GetAlpha(7, 2), 255);
    // A visible mask is drawn as a grey picture of its own on top.
    v->GetLayer(m)->Visible = true;
    const TIERGB p = Composed(*v, 7, 2);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 0);
    // A mask above a rotated layer does not mask it.
    v->GetLayer(m)->Visible = false;
    v->GetLayer(1)->SetRotationAngle(90);
    v->GetLayer(1)->AlphaCache.reset();
    EXPECT_GE(Composed(*v, 7, 2).r, kOpaqueThroughAlpha);
}

TEST_F(ComposeTest, RotatedLayerHasTransparentCornersAndRotatedCorners) {
    auto v = View(40, 40, 0x000000);
    const int32_t i = AddSolid(*v, 10, 10, 0x00FF00, 10, 10);
    v->GetLayer(i)->SetRotationAngle(45);
    const TIERGB centre = Composed(*v, 15, 15);
    EXPECT_GE(centre.g, kOpaqueThroughAlpha);
    // The bounding square of the rotated layer grows beyond the layer; its corners stay clear.
    const RECT& r = v->GetLayer(i)->ScreenRect;
    EXPECT_LT(r.left, 10);
    EXPECT_EQ(Composed(*v, r.left + 1, r.top + 1).g, 0);
    // The layer's own place and size are put back after the draw.
    EXPECT_EQ(v->GetLayer(i)->PosX, 10);
    EXPECT_EQ(v->GetLayer(i)->Width, 0);
    const POINT* c = v->GetLayer(i)->RotatedCorners;
    EXPECT_NE(c[0].x, c[2].x);
    EXPECT_NE(c[1].y, c[3].y);
}

TEST_F(ComposeTest, OutsideModesOneAndTwo) {
    auto v = View(20, 10, 0x000000, 0x000000);
    const int32_t i = AddSolid(*v, 10, 4, 0xFFFFFF, 15, 2);   // partly beyond layer 0's right edge
    (void)i;
    v->LayersOutsideMode = 1;
    v->Update();
    EXPECT_GE(Composed(*v, 16, 3).r, kOpaqueThroughAlpha);   // inside layer 0: opaque
    EXPECT_EQ(Composed(*v, 22, 3).r, 0);     // beyond the 20 x 10 view, nothing to see
    auto wide = std::make_unique<TPicturaView>(nullptr);
    wide->SetOffScreen(true);
    wide->SetBounds(0, 0, 40, 10);
    wide->SetBackground(0x000000);
    wide->SetCenter(false);
    wide->GetIEBitmap()->Allocate(20, 10, ie24RGB);
    wide->GetIEBitmap()->Fill(0);
    AddSolid(*wide, 10, 4, 0xFFFFFF, 15, 2);
    wide->LayersOutsideMode = 1;
    wide->Update();
    EXPECT_GE(Composed(*wide, 16, 3).r, kOpaqueThroughAlpha);
    EXPECT_EQ(Composed(*wide, 23, 3).r, (60 * 255) >> 8);   // opacity 60 out of 255 beyond the edge
    wide->LayersOutsideMode = 2;
    wide->Update();
    const TIERGB even = Composed(*wide, 30, 0), odd = Composed(*wide, 31, 0);
    EXPECT_EQ(even.r, 128);
    EXPECT_EQ(odd.r, 0);
}

TEST_F(ComposeTest, ClipToBackgroundAtMinusFiftyDrawsFromTheFiftyFirstColumn) {
    auto v = View(100, 10, 0x000000);
    const int32_t i = v->AddLayer();
    TIEBitmap* b = v->GetIEBitmap();
    b->Allocate(80, 10, ie24RGB);
    for (int32_t x = 0; x < 80; ++x)
        for (int32_t y = 0; y < 10; ++y) b->SetPixelRGB(x, y, TIERGB{0, 0, uint8_t(x)});
    v->GetLayer(i)->PosX = -50;
    v->GetLayer(i)->ClipToBackground = true;
    v->Update();
    EXPECT_EQ(Composed(*v, 0, 0).r, 50);
    EXPECT_EQ(Composed(*v, 29, 0).r, 79);
    EXPECT_EQ(v->GetLayer(i)->ScreenRect.left, v->GetLayer(0)->ScreenRect.left - 50);
}

TEST_F(ComposeTest, TinyLayerDrawsOnlyTheBackground) {
    auto v = View(10, 10, 0xFFFFFF, 0x00FF00);
    v->GetIEBitmap()->Allocate(1, 1, ie24RGB);
    v->GetIEBitmap()->Fill(double(0xFFFFFF));
    v->Update();
    const TIERGB p = Composed(*v, 5, 5);
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.r, 0);
}

TEST_F(ComposeTest, MagnifierEnlargesWhatLiesUnderIt) {
    auto v = View(40, 40, 0x000000);
    TIEBitmap* base = v->GetIEBitmap();
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) base->SetPixelRGB(x, y, TIERGB{0, 0, uint8_t(x * 4)});
    const int32_t i = AddSolid(*v, 10, 10, 0x00FF00, 10, 10);
    TIELayer* l = v->GetLayer(i);
    l->Magnify.MagnifyEnabled = true;
    l->Magnify.MagnifyRate = 2.0;
    l->Magnify.MagnifySource = 0;
    v->Update();
    // The 5 x 5 region centred on the layer (view columns 13..17, and the inclusive edge 18) spread
    // over the 10 x 10 layer.
    EXPECT_EQ(Composed(*v, 10, 15).r, 13 * 4);
    EXPECT_EQ(Composed(*v, 19, 15).r, 18 * 4);
    EXPECT_EQ(Composed(*v, 15, 15).g, 0);
    // The round style leaves the corners showing layer 0.
    l->Magnify.MagnifyStyle = 1;
    EXPECT_EQ(Composed(*v, 10, 10).r, 10 * 4);
}

TEST_F(ComposeTest, GripEventsAndTheRotationCentre) {
    auto v = View(40, 40, 0x000000);
    const int32_t i = AddSolid(*v, 20, 20, 0xFFFFFF, 10, 10);
    v->SetMouseInteract(miResizeLayers | miMoveLayers);
    int32_t grips = 0;
    v->OnDrawLayerGrip = [&](TObject*, TCanvas*, int32_t Layer, TIEGrip, RECT) {
        EXPECT_EQ(Layer, i);
        ++grips;
    };
    Composed(*v, 0, 0);
    EXPECT_EQ(grips, 9);
    // Drawn grips: the top-left grip lies on the layer's corner with the grip colours.
    v->OnDrawLayerGrip = nullptr;
    v->LayerGripShape = 0;
    v->LayerGripBrushColor = 0x0000FF;
    EXPECT_EQ(Composed(*v, 10, 10).r, 255);
    EXPECT_EQ(Composed(*v, 10, 10).g, 0);
    // With GDI+ drawing: the grip's inside has its colour, far outside is untouched (the edges may
    // be blended).
    const bool gdiPlus = IEUseGdiPlus;
    IEUseGdiPlus = true;
    const TIERGB inside = Composed(*v, 10, 10), outside = Composed(*v, 2, 2);
    IEUseGdiPlus = gdiPlus;
    EXPECT_GE(inside.r, 200);
    EXPECT_LE(inside.g, 55);
    EXPECT_EQ(outside.r, 0);
    // The rotation centre's grip counts only with rotation allowed.
    const int32_t cx = v->GetLayer(i)->BitmapToScreenX(10), cy = v->GetLayer(i)->BitmapToScreenY(10);
    EXPECT_EQ(v->FindLayerGrip(cx, cy), 0);
    v->SetMouseInteract(miResizeLayers | miRotateLayers);
    EXPECT_EQ(v->FindLayerGrip(cx, cy), 9);
}

// The current layer's box is drawn with the view's layer-box pen, inverting what lies under it.
TEST_F(ComposeTest, LayerBoxFollowsItsPen) {
    auto v = View(40, 40, 0x000000);
    AddSolid(*v, 20, 20, 0x000000, 10, 10);
    v->SetMouseInteract(miMoveLayers);
    auto whiteOnTopEdge = [&] {
        Composed(*v, 0, 0);
        int32_t n = 0;
        for (int32_t x = 12; x < 28; ++x) n += v->GetBackBufferIE()->GetPixelRGB(x, 10).r == 255;
        return n;
    };
    const int32_t dotted = whiteOnTopEdge();   // the default pen: dotted
    EXPECT_GT(dotted, 0);
    EXPECT_LT(dotted, 16);
    v->LayerBoxPen.SetStyle(psSolid);
    EXPECT_EQ(whiteOnTopEdge(), 16);
    v->LayerBoxPen.SetStyle(psClear);
    EXPECT_EQ(whiteOnTopEdge(), 0);
}

TEST_F(ComposeTest, PixelGridFromZoom400) {
    for (double zoom : {399.0, 400.0}) {
        auto v = View(40, 40, 0x000000);
        v->GetIEBitmap()->Allocate(4, 4, ie24RGB);
        v->GetIEBitmap()->Fill(0);
        v->SetCenter(false);
        v->PixelGrid = true;
        v->SetZoom(zoom);
        v->Update();
        const int32_t x = v->BitmapToScreenX(1);
        const TIERGB p = Composed(*v, x, 5);
        EXPECT_EQ(p.r, zoom >= 400 ? 255 : 0) << zoom;   // the inverting pen turns black white
    }
}

// The marked pixel is framed in its colour over the grid, with or without GDI+.
TEST_F(ComposeTest, MarkedPixelIsFramed) {
    auto v = View(40, 40, 0x000000);
    v->GetIEBitmap()->Allocate(4, 4, ie24RGB);
    v->GetIEBitmap()->Fill(0);
    v->SetCenter(false);
    v->PixelGrid = true;
    v->SetZoom(800);
    v->Update();
    v->MarkedPixel = POINT{1, 1};
    v->MarkedPixelColor = 0x0000FF;
    const int32_t x = (v->BitmapToScreenX(1) + v->BitmapToScreenX(2)) / 2, y = v->BitmapToScreenY(1);
    const TIERGB edge = Composed(*v, x, y);
    EXPECT_EQ(edge.r, 255);
    EXPECT_EQ(edge.g, 0);
    const bool gdiPlus = IEUseGdiPlus;
    IEUseGdiPlus = true;
    const TIERGB smooth = Composed(*v, x, y), centre = Composed(*v, x, y + 4);
    IEUseGdiPlus = gdiPlus;
    EXPECT_GE(smooth.r, 100);
    EXPECT_LE(smooth.g, 100);
    EXPECT_EQ(centre.r, 0);   // the brush is clear
}

TEST_F(ComposeTest, SwitchingLayersKeepsTheSelectionInPlace) {
    auto v = View(20, 20, 0x000000);
    AddSolid(*v, 10, 10, 0xFFFFFF, 5, 3);
    v->SetCurrentLayer(0);
    TIEMask* m = v->GetSelectionMask();
    m->Allocate(20, 20, 1);
    for (int32_t y = 6; y <= 8; ++y) m->FillLine(1, 7, 9, y);
    m->UpdateBoundingBox();
    v->PushSelection();
    ASSERT_TRUE(v->PopSelection(false, 2));   // stays on the stack
    EXPECT_TRUE(v->GetSelected());
    EXPECT_EQ(v->GetSelectionMask()->X1, 7);
    v->SetCurrentLayer(1);
    // Re-based to layer 1 (at 5,3): the same image place is column 2, row 3 of the layer.
    ASSERT_TRUE(v->PopSelection(true, 2));
    TIEMask* moved = v->GetSelectionMask();
    EXPECT_EQ(moved->Width, 10);
    EXPECT_EQ(moved->X1, 2);
    EXPECT_EQ(moved->Y1, 3);
    EXPECT_EQ(moved->X2, 4);
    EXPECT_FALSE(v->PopSelection(true, 2));
    // A record cut short leaves the selection as it was.
    TMemoryStream s;
    v->WriteSelectionToStream(&s);
    TMemoryStream cut;
    cut.WriteBuffer(s.GetMemory(), int32_t(s.GetSize() - 1));
    cut.SetPosition(0);
    EXPECT_THROW(v->ReadSelectionFromStream(&cut, 0), Exception);
    EXPECT_EQ(v->GetSelectionMask(), moved);
}

TEST_F(ComposeTest, NavigatorWheelZoomsTheMainViewAndFreeingItUnlinks) {
    auto main = View(50, 50, 0x808080);
    auto nav = std::make_unique<TPicturaView>(nullptr);
    nav->SetOffScreen(true);
    nav->SetBounds(0, 0, 30, 30);
    main->SetNavigator(nav.get(), 1);
    EXPECT_TRUE(nav->GetIsNavigator());
    EXPECT_EQ(nav->GetIEBitmap(), main->GetIEBitmap());
    EXPECT_TRUE(nav->GetAutoFit());
    bool handled = false;
    nav->OnMouseWheel(nav.get(), 0, 120, POINT{0, 0}, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(main->GetZoom(), 92.0);
    double seen = 0;
    main->OnZoomIn = [&](TObject*, double& z) { seen = z; z = 150; };
    nav->OnMouseWheel(nav.get(), 0, -120, POINT{0, 0}, handled);
    EXPECT_GT(seen, 92.0);
    EXPECT_EQ(main->GetZoom(), 150.0);
    nav.reset();
    EXPECT_EQ(main->GetNavigator(), nullptr);
    main->SetZoom(100);   // still works without its navigator
    EXPECT_EQ(main->GetZoom(), 100.0);
}

TEST_F(ComposeTest, SpecialKeysAreClaimedAndVirtualKeysReported) {
    auto v = View(10, 10, 0x000000);
    int32_t downs = 0, ups = 0;
    v->OnVirtualKey = [&](TObject*, uint16_t Key, uint32_t, bool Down) {
        EXPECT_EQ(Key, VK_LEFT);
        (Down ? downs : ups)++;
    };
    v->OnSpecialKey = [](TObject*, uint16_t Key, TShiftState, bool& Handled) { Handled = Key == VK_LEFT; };
    EXPECT_EQ(v->Perform(CN_KEYDOWN, VK_LEFT, 0), 0);
    EXPECT_EQ(v->Perform(CN_KEYUP, VK_LEFT, 0), 0);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
}

TEST_F(ComposeTest, SelectionMarksFillOrShadeOutside) {
    auto v = View(20, 20, 0x000000);
    TIEMask* m = v->GetSelectionMask();
    m->Allocate(20, 20, 1);
    for (int32_t y = 5; y <= 9; ++y) m->FillLine(1, 5, 9, y);
    m->UpdateBoundingBox();
    v->PushSelection();
    ASSERT_TRUE(v->PopSelection(true, 0));   // shown
    v->SetSelectionOptions(iesoFilled);
    EXPECT_EQ(Composed(*v, 7, 7).r, 255);   // inverted inside
    EXPECT_EQ(Composed(*v, 2, 2).r, 0);
    v->SetSelectionOptions(iesoMarkOuter);
    EXPECT_EQ(Composed(*v, 7, 7).r, 0);
    const TIERGB a = Composed(*v, 2, 2), b = Composed(*v, 3, 2);
    EXPECT_NE(a.r, b.r);   // a checkerboard outside
}

TEST_F(ComposeTest, DimOutsideTheCurrentLayer) {
    auto v = View(20, 20, 0xFFFFFF);
    const int32_t i = AddSolid(*v, 6, 6, 0xFFFFFF, 4, 4);
    v->GetLayer(i)->DimOutside = true;
    const TIERGB even = Composed(*v, 0, 0), odd = Composed(*v, 1, 0), inside = Composed(*v, 6, 6);
    EXPECT_EQ(even.r, 97);
    EXPECT_EQ(odd.r, 255);
    EXPECT_EQ(inside.r, 255);
    v->SetCurrentLayer(0);   // only while that layer is current
    EXPECT_EQ(Composed(*v, 0, 0).r, 255);
}

TEST_F(ComposeTest, FreeLayerFollowsTheZoom) {
    auto v = View(40, 40, 0x000000);
    v->GetIEBitmap()->Allocate(10, 10, ie24RGB);
    v->GetIEBitmap()->Fill(0);
    v->SetCenter(false);
    AddSolid(*v, 4, 4, 0x0000FF, 2, 1);
    v->SetZoom(200);
    v->Update();
    const RECT& r = v->GetLayer(1)->ScreenRect;
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 12);
    EXPECT_EQ(r.bottom, 10);
    EXPECT_EQ(Composed(*v, 4, 2).r, 255);
    EXPECT_EQ(Composed(*v, 11, 9).r, 255);
    EXPECT_EQ(Composed(*v, 3, 2).r, 0);
    EXPECT_EQ(Composed(*v, 12, 9).r, 0);
}
