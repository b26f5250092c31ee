// Selections of the viewer on an off-screen view at zoom 100 whose view is exactly the image (view
// pixels are image pixels): rectangles with their clamping and aspect, moving, the mask of each
// kind of selection, the grips and resizing by them, and the dashed outline's dots.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Graphics.h"
#include "iebitmap.h"
#include "picturaview.h"
#include "picturaview_control.h"
#include "picturaview_test_view.h"

namespace {

struct SelectionTest : ::testing::Test {
    void SetUp() override { IEPicturaViewInitialize(); }
};

std::unique_ptr<TPicturaView> View(int32_t W, int32_t H) { return OffScreenImageView(W, H); }

std::vector<POINT> Points(TPicturaView& V) {
    return std::vector<POINT>(V.GetSelectionPoints(), V.GetSelectionPoints() + V.GetSelectionPointCount());
}

std::vector<POINT> Rect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    return {{X1, Y1}, {X2, Y1}, {X2, Y2}, {X1, Y2}};
}

bool Same(const std::vector<POINT>& A, const std::vector<POINT>& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (A[i].x != B[i].x || A[i].y != B[i].y) return false;
    return true;
}

// The set pixels of the mask as a string of rows ('#' set, '.' clear).
std::string MaskPicture(TIEMask* M) {
    std::string s;
    for (int32_t y = 0; y < M->Height; ++y) {
        for (int32_t x = 0; x < M->Width; ++x) s += M->GetPixel(x, y) ? '#' : '.';
        s += '\n';
    }
    return s;
}

}  // namespace

TEST_F(SelectionTest, RectanglesAreOrderedClampedShapedAndMoved) {
    struct Case {
        const char* name;
        int32_t x1, y1, x2, y2;
        double aspect;
        int32_t moveX;
        std::vector<POINT> expected;
    };
    const std::vector<Case> cases = {
        {"corners given backwards", 50, 40, 10, 10, -1, 0, Rect(10, 10, 50, 40)},
        {"clamped to one past the image", -5, -5, 120, 120, -1, 0, Rect(0, 0, 100, 100)},
        {"height from the aspect", 0, 0, 40, 10, 0.5, 0, Rect(0, 0, 40, 20)},
        {"moved without cutting stops at the edge", 10, 10, 50, 40, -1, -500, Rect(0, 10, 40, 40)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto v = View(100, 100);
        v->SelectionAspectRatio = c.aspect;
        v->SelectRect(c.x1, c.y1, c.x2, c.y2, 0);
        if (c.moveX) v->MoveSelection(c.moveX, 0);
        EXPECT_TRUE(Same(Points(*v), c.expected));
        EXPECT_TRUE(v->GetSelected());
    }
}

TEST_F(SelectionTest, EmptyRectangleLeavesTheSelectionAlone) {
    auto v = View(100, 100);
    v->SelectRect(20, 20, 30, 30, 0);
    v->SelectRect(10, 10, 10, 50, 0);
    EXPECT_TRUE(Same(Points(*v), Rect(20, 20, 30, 30)));
    EXPECT_EQ(v->GetSelX1(), 20);
    EXPECT_EQ(v->GetSelX2(), 29);
}

TEST_F(SelectionTest, MaskHoldsExactlyTheSelectedPixels) {
    auto v = View(8, 6);
    // A rectangle: X2 and Y2 lie one past the last selected column and row.
    v->SelectRect(1, 1, 4, 3, 0);
    EXPECT_EQ(MaskPicture(v->GetSelectionMask()),
              "........\n"
              ".###....\n"
              ".###....\n"
              "........\n"
              "........\n"
              "........\n");
    // A second rectangle added beside it.
    v->SelectRect(5, 3, 7, 5, 1);
    EXPECT_EQ(MaskPicture(v->GetSelectionMask()),
              "........\n"
              ".###....\n"
              ".###....\n"
              ".....##.\n"
              ".....##.\n"
              "........\n");
    // Deselect empties mask and polygon.
    v->Deselect();
    EXPECT_TRUE(v->GetSelectionMask()->IsEmpty());
    EXPECT_EQ(v->GetSelectionPointCount(), 0);
    EXPECT_FALSE(v->GetSelected());
}

TEST_F(SelectionTest, PolygonPointsInBitmapCoordinatesFillTheMask) {
    auto v = View(8, 6);
    v->SetSelectionBase(iesbBitmap);
    for (POINT p : Rect(2, 1, 6, 4)) v->AddSelectionPoint(p.x, p.y);
    v->ApplyPolygonToMask();
    EXPECT_EQ(MaskPicture(v->GetSelectionMask()),
              "........\n"
              "..####..\n"
              "..####..\n"
              "..####..\n"
              "........\n"
              "........\n");
    // A polygon whose fill is empty removes the selection.
    v->Deselect();
    for (POINT p : std::vector<POINT>{{3, 3}, {5, 3}, {4, 3}}) v->AddSelectionPoint(p.x, p.y);
    v->ApplyPolygonToMask();
    EXPECT_FALSE(v->GetSelected());
    EXPECT_EQ(v->GetSelectionPointCount(), 0);
}

TEST_F(SelectionTest, MagicWandModesSelectTheRegionOrItsColour) {
    auto v = View(8, 6);
    v->SetSelectionBase(iesbBitmap);
    TIEBitmap* b = v->GetIEBitmap();
    b->Fill(double(0xFFFFFF));
    b->FillRect(1, 1, 2, 2, 0x000000);   // a black square and a black dot apart from it
    b->SetPixelRGB(6, 4, TIERGB{0, 0, 0});
    const std::string square =
        "........\n"
        ".##.....\n"
        ".##.....\n"
        "........\n"
        "........\n"
        "........\n";
    const std::string both =
        "........\n"
        ".##.....\n"
        ".##.....\n"
        "........\n"
        "......#.\n"
        "........\n";
    struct Case {
        uint8_t mode;
        const std::string* mask;
    };
    for (Case c : {Case{0, &square}, Case{1, &square}, Case{2, &both}}) {
        SCOPED_TRACE(int(c.mode));
        v->Deselect();
        v->MagicWandMode = c.mode;
        v->MagicWandTolerance = 10;
        v->MagicWandSelect(1, 2, false);
        EXPECT_EQ(MaskPicture(v->GetSelectionMask()), *c.mask);
        EXPECT_TRUE(v->GetSelected());
    }
    // A click outside the image changes nothing.
    v->MagicWandSelect(-1, 2, false);
    EXPECT_EQ(MaskPicture(v->GetSelectionMask()), both);
}

TEST_F(SelectionTest, GripsAtCornersAndSidesWithTheirTolerance) {
    auto v = View(100, 100);
    v->SelectRect(20, 20, 60, 50, 0);
    struct Case {
        int32_t x, y;
        TIEGrip grip;
    };
    const Case cases[] = {
        {20, 20, ieTopLeft},  {15, 25, ieTopLeft},  {14, 20, ieNone},       {60, 20, ieTopRight},
        {65, 15, ieTopRight}, {60, 50, ieBottomRight}, {20, 50, ieBottomLeft}, {21, 35, ieLeftSide},
        {18, 35, ieLeftSide}, {17, 35, ieNone},     {62, 35, ieRightSide},  {40, 22, ieTopSide},
        {40, 48, ieBottomSide}, {40, 35, ieNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(v->FindSelectionGrip(c.x, c.y), c.grip);
    }
    EXPECT_EQ(v->GetSelectionGripAt(20, 20, ssShift), ieNone);
    // Without iesoSizeable there are no grips.
    v->SetSelectionOptions(iesoAnimated | iesoMoveable);
    EXPECT_EQ(v->FindSelectionGrip(20, 20), ieNone);
}

TEST_F(SelectionTest, ResizingByGripsMovesEdgesAndSwapsPastTheOppositeCorner) {
    auto v = View(100, 100);
    v->SelectRect(20, 20, 60, 50, 0);
    // The bottom-right grip puts the corner one past the mouse's pixel.
    EXPECT_EQ(v->ResizeSelectionByGrip(ieBottomRight, 70, 80, false), ieBottomRight);
    EXPECT_TRUE(Same(Points(*v), Rect(20, 20, 71, 81)));
    // A side grip moves only its edge.
    EXPECT_EQ(v->ResizeSelectionByGrip(ieLeftSide, 10, 90, false), ieLeftSide);
    EXPECT_TRUE(Same(Points(*v), Rect(10, 20, 71, 81)));
    // The top-left grip dragged past the bottom-right corner becomes the bottom-right one.
    EXPECT_EQ(v->ResizeSelectionByGrip(ieTopLeft, 90, 95, false), ieBottomRight);
    EXPECT_TRUE(Same(Points(*v), Rect(71, 81, 90, 95)));
    // Past one edge only: the bottom-right grip dragged left of the left edge.
    v->SelectRect(20, 20, 60, 50, 0);
    EXPECT_EQ(v->ResizeSelectionByGrip(ieBottomRight, 5, 60, false), ieBottomLeft);
}

TEST_F(SelectionTest, EllipseHasAtLeastFiftyPointsAndItsMaskIsRound) {
    auto v = View(40, 40);
    // The press point is the centre; the ellipse follows the mouse. Radii of 5 and 3 pixels give
    // 50 points, radii of 10 give Trunc(10 x 2 pi) = 62.
    v->SetMouseInteract(miSelectCircle);
    v->DoMouseDown(mbLeft, ssLeft, 20, 20);
    v->DoMouseMove(ssLeft, 25, 23);
    EXPECT_EQ(v->GetSelectionPointCount(), 50);
    v->DoMouseMove(ssLeft, 30, 30);
    EXPECT_EQ(v->GetSelectionPointCount(), 62);
    v->DoMouseUp(mbLeft, 0, 30, 30);
    TIEMask* m = v->GetSelectionMask();
    EXPECT_TRUE(m->GetPixel(20, 20));
    EXPECT_TRUE(m->GetPixel(12, 20));
    EXPECT_FALSE(m->GetPixel(12, 12));   // the bounding box's corner lies outside
    EXPECT_EQ(m->X1, 10);
    EXPECT_EQ(m->Y1, 10);
}

TEST_F(SelectionTest, DashesAreFourDotsOfEachColourFromThePhase) {
    struct Case {
        int32_t counter;
        const char* dots;
    };
    // '1' colour 1, '2' colour 2, along a 12-dot horizontal line.
    const Case cases[] = {{0, "111122221111"}, {3, "122221111222"}, {8, "211112222111"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.counter);
        std::string s;
        int32_t counter = c.counter;
        IEDashedLineDots(0, 0, 12, 0, counter, [&](int32_t X, int32_t Y, bool First) {
            EXPECT_EQ(Y, 0);
            EXPECT_EQ(X, int32_t(s.size()));
            s += First ? '1' : '2';
        });
        EXPECT_EQ(s, c.dots);
    }
}

TEST_F(SelectionTest, OutlineDotsAlongTheEdgesOnABitmap) {
    auto v = View(40, 30);
    v->SelectRect(5, 5, 25, 15, 0);
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(40, 30);
    bmp.Canvas()->Brush()->SetColor(0x00FF00);
    bmp.Canvas()->FillRect(RECT{0, 0, 40, 30});
    v->SetSelectionColor1(0x0000FF);
    v->SetSelectionColor2(0xFF0000);
    std::vector<int32_t> segments;
    v->OnDrawPolygon = [&](TObject*, int32_t, int32_t Point, TCanvas*, int32_t, int32_t) { segments.push_back(Point); };
    v->DrawPolygonOutline(bmp.Canvas());
    GdiFlush();
    HDC dc = bmp.Canvas()->Handle();
    // Top edge from (5,5): four red, four blue, four red...
    std::string top;
    for (int32_t x = 5; x < 25; ++x) {
        const COLORREF c = GetPixel(dc, x, 5);
        top += c == 0x0000FF ? 'r' : c == 0xFF0000 ? 'b' : '?';
    }
    EXPECT_EQ(top, "rrrrbbbbrrrrbbbbrrrr");
    // The right edge goes on with the pattern at x = 24 (one left of X2).
    EXPECT_EQ(GetPixel(dc, 24, 6), COLORREF(0xFF0000));
    EXPECT_EQ(GetPixel(dc, 25, 6), COLORREF(0x00FF00));
    EXPECT_EQ(GetPixel(dc, 10, 10), COLORREF(0x00FF00));   // inside untouched
    EXPECT_EQ(segments, (std::vector<int32_t>{1, 2, 3, 0}));
}

// A new polygon record starts empty with its outline settings; points added through the painting
// variant keep the bounding box like plain ones.
TEST(PicturaViewPolygonRecord, ANewRecordIsEmptyAndPaintedPointsKeepTheBox) {
    auto view = std::make_unique<TPicturaView>(nullptr);
    view->AddPolygonPoint(5, 5);
    view->CreatePolygonRecord(clRed, clBlue, false, false);
    EXPECT_TRUE(view->SelectionPolygon.empty());
    view->AddPolygonPointAndPaint(10, 4);
    view->AddPolygonPointAndPaint(2, 8);
    ASSERT_EQ(view->SelectionPolygon.size(), 2u);
    EXPECT_EQ(view->SelectionPolygonBox.left, 2);
    EXPECT_EQ(view->SelectionPolygonBox.top, 4);
    EXPECT_EQ(view->SelectionPolygonBox.right, 10);
    EXPECT_EQ(view->SelectionPolygonBox.bottom, 8);
}
