// The viewer's processing component through a real viewer: GetProc attaches it to the current
// image, an operation on a selection leaves the pixels outside the mask alone, undo puts the image
// back exactly, and an image entry saved on a layer that was deleted since lands in the last layer.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "iebitmap.h"
#include "picturaproc_component.h"
#include "picturaview.h"
#include "picturaview_control.h"
#include "picturaview_test_pattern.h"

namespace {

struct ViewProcTest : ::testing::Test {
    void SetUp() override { IEPicturaViewInitialize(); }
};

std::unique_ptr<TPicturaView> OffScreenView() {
    auto view = std::make_unique<TPicturaView>(nullptr);
    view->SetOffScreen(true);
    view->SetBounds(0, 0, 40, 30);
    Pattern(view->GetIEBitmap(), 12, 10, 1);
    view->Update();
    return view;
}

bool SamePixel(const TIERGB& A, const TIERGB& B) { return A.r == B.r && A.g == B.g && A.b == B.b; }

void ExpectSameImage(TIEBitmap* A, TIEBitmap* B, const std::string& What) {
    ASSERT_EQ(A->GetWidth(), B->GetWidth()) << What;
    ASSERT_EQ(A->GetHeight(), B->GetHeight()) << What;
    for (int32_t y = 0; y < A->GetHeight(); ++y)
        for (int32_t x = 0; x < A->GetWidth(); ++x)
            ASSERT_TRUE(SamePixel(A->GetPixelRGB(x, y), B->GetPixelRGB(x, y))) << What << " at " << x << "," << y;
}

TEST_F(ViewProcTest, GetProcAttachesTheComponentToTheCurrentImage) {
    auto view = OffScreenView();
    TPicturaProc* proc = view->GetProc();
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(view->GetProc(), proc);
    EXPECT_EQ(proc->GetOwner(), view.get());
    EXPECT_NE(proc->GetAttachedPictura(), nullptr);
    EXPECT_EQ(proc->GetAttachedIEBitmap(), view->GetIEBitmap());
    EXPECT_FALSE(proc->GetOwnsWorkBitmap());
    EXPECT_TRUE(proc->AutoUndo);
    // The component follows the view's current image when a layer is added.
    view->AddLayer();
    EXPECT_EQ(proc->GetAttachedIEBitmap(), view->GetIEBitmap());
    EXPECT_EQ(proc->GetAttachedIEBitmap(), view->GetLayer(1)->Bitmap);
}

// A fill of an L-shaped selection: inside the mask red, every other pixel (also those in the
// mask's bounding box but outside the mask) as it was; undo restores the whole image.
TEST_F(ViewProcTest, FillOfASelectionThenUndo) {
    auto view = OffScreenView();
    TIEBitmap original;
    original.Assign(view->GetIEBitmap());
    TIEMask* mask = view->GetSelectionMask();
    mask->Allocate(12, 10, 1);
    for (int32_t y = 2; y <= 6; ++y)
        for (int32_t x = 3; x <= 8; ++x)
            if (x <= 4 || y >= 5) mask->SetPixel(x, y, 1);
    // Reading the selection record back is how the view takes a selection made elsewhere.
    TMemoryStream record;
    view->WriteSelectionToStream(&record);
    record.SetPosition(0);
    ASSERT_TRUE(view->ReadSelectionFromStream(&record, 0));
    ASSERT_TRUE(view->GetSelected());

    TPicturaProc* proc = view->GetProc();
    proc->Fill(TIERGB{0, 0, 255});
    TIEBitmap* image = view->GetIEBitmap();
    ASSERT_EQ(image->GetWidth(), 12);
    ASSERT_EQ(image->GetHeight(), 10);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 12; ++x) {
            const bool inside = x >= 3 && x <= 8 && y >= 2 && y <= 6 && (x <= 4 || y >= 5);
            const TIERGB expected = inside ? TIERGB{0, 0, 255} : original.GetPixelRGB(x, y);
            ASSERT_TRUE(SamePixel(image->GetPixelRGB(x, y), expected)) << x << "," << y;
        }
    ASSERT_EQ(proc->GetUndoCount(), 1);
    std::wstring caption;
    proc->GetUndoCaptions(0, caption);
    EXPECT_EQ(caption, L"Fill (255, 0, 0)");

    proc->Undo(true);
    ExpectSameImage(view->GetIEBitmap(), &original, "after undo");
    EXPECT_EQ(proc->GetRedoCount(), 1);
    proc->Redo();
    EXPECT_TRUE(SamePixel(view->GetIEBitmap()->GetPixelRGB(3, 2), TIERGB{0, 0, 255}));
    EXPECT_TRUE(SamePixel(view->GetIEBitmap()->GetPixelRGB(6, 2), original.GetPixelRGB(6, 2)));
}

// Saved while layer 2 of 3 was current; layer 2 is deleted; the entry goes into layer 1, the last
// one left, whichever layer is current, and layer 0 keeps its image.
TEST_F(ViewProcTest, AnUndoneImageOfADeletedLayerGoesToTheLastLayer) {
    auto view = OffScreenView();
    view->AddLayer();
    Pattern(view->GetIEBitmap(), 5, 4, 2);
    view->AddLayer();
    Pattern(view->GetIEBitmap(), 6, 3, 3);
    ASSERT_EQ(view->GetLayersCurrent(), 2);
    TIEBitmap layer0, layer2;
    layer0.Assign(view->GetLayer(0)->Bitmap);
    layer2.Assign(view->GetIEBitmap());

    TPicturaProc* proc = view->GetProc();
    proc->SaveUndo(ieuImage);
    ASSERT_EQ(proc->GetUndoCount(), 1);
    view->RemoveLayer(2);
    ASSERT_EQ(view->GetLayerCount(), 2);
    // With layer 0 current the work bitmap is layer 0's: the entry still goes by its layer.
    view->SetCurrentLayer(0);
    ASSERT_EQ(proc->GetAttachedIEBitmap(), view->GetLayer(0)->Bitmap);

    proc->Undo();
    ExpectSameImage(view->GetLayer(1)->Bitmap, &layer2, "layer 1");
    ExpectSameImage(view->GetLayer(0)->Bitmap, &layer0, "layer 0");
}

}  // namespace
