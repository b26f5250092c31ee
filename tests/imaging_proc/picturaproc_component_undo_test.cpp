// Undo and redo of the image-processing component: limits, captions and sources, exact restores,
// the viewer's entries (selection, layers) through a fake viewer. The temporary files of the image
// copies are counted in picturaproc_component_undo_win_test.cpp (on POSIX they have no names).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ProcFakeView.h"
#include "picturaproc_component.h"
#include "picturaproc_pixels.h"

namespace {

std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H, bool Alpha = false) {
    auto bmp = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            bmp->SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 5 + y), (uint8_t)(y * 11 + 3), (uint8_t)(x ^ y)});
            if (Alpha) bmp->SetAlpha(x, y, (uint8_t)(x * 17 + y));
        }
    return bmp;
}

std::unique_ptr<TIEBitmap> Copy(TIEBitmap* Source) {
    auto bmp = std::make_unique<TIEBitmap>();
    bmp->Assign(Source);
    return bmp;
}

std::wstring Caption(TPicturaProc& Proc, int32_t Index, bool Redo = false) {
    std::wstring c = L"<untouched>";
    if (Redo) Proc.GetRedoCaptions(Index, c);
    else Proc.GetUndoCaptions(Index, c);
    return c;
}

}  // namespace

// Five captioned saves under limits 0, 1 and 3: what stays, which captions, how many events.
TEST(TPicturaProcUndo, LimitsKeepTheNewestEntries) {
    struct TCase {
        int32_t Limit;
        int32_t Count;
        int32_t Events;
    };
    for (const TCase& c : {TCase{0, 0, 0}, TCase{1, 1, 5}, TCase{3, 3, 5}}) {
        auto bmp = Pattern(6, 4);
        auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
        proc->UndoLimit = c.Limit;
        int32_t events = 0;
        proc->OnSaveUndo = [&](TObject*, TIEUndoSource Source) {
            EXPECT_EQ(Source, ieuImage);
            ++events;
        };
        for (int32_t i = 0; i < 5; ++i) proc->SaveUndoCaptioned(L"s" + std::to_wstring(i), ieuImage);
        EXPECT_EQ(proc->GetUndoCount(), c.Count) << c.Limit;
        EXPECT_EQ(proc->CanUndo(), c.Count > 0);
        EXPECT_EQ(events, c.Events);
        for (int32_t i = 0; i < c.Count; ++i) EXPECT_EQ(Caption(*proc, i), L"s" + std::to_wstring(4 - i));
        EXPECT_EQ(Caption(*proc, c.Count), L"<untouched>");
        EXPECT_EQ(Caption(*proc, -1), L"<untouched>");
    }
}

TEST(TPicturaProcUndo, ClearingRemovesEntries) {
    auto bmp = Pattern(6, 4, true);
    auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
    proc->UndoLimit = 4;
    for (int32_t i = 0; i < 4; ++i) proc->SaveUndoCaptioned(L"s" + std::to_wstring(i), ieuImage);
    proc->ClearUndoAt(4);            // out of range: nothing
    proc->ClearUndoAt(-1);
    EXPECT_EQ(proc->GetUndoCount(), 4);
    proc->ClearUndoAt(1);            // the second newest
    EXPECT_EQ(Caption(*proc, 0), L"s3");
    EXPECT_EQ(Caption(*proc, 1), L"s1");
    proc->ClearUndo();
    EXPECT_EQ(Caption(*proc, 0), L"s1");
    // A smaller limit trims at the next push only.
    proc->UndoLimit = 1;
    EXPECT_EQ(proc->GetUndoCount(), 2);
    proc->SaveUndo(ieuImage);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    proc->ClearAllUndo();
    proc->ClearUndo();               // empty: nothing
    EXPECT_FALSE(proc->CanUndo());
}

TEST(TPicturaProcUndo, TooSmallImagesAndMissingViewers) {
    auto thin = std::make_unique<TIEBitmap>(1, 100, ie24RGB);
    auto proc = TPicturaProc::CreateFromBitmap(thin.get());
    std::vector<TIEUndoSource> events;
    proc->OnSaveUndo = [&](TObject*, TIEUndoSource Source) { events.push_back(Source); };
    proc->SaveUndo(ieuImage);                       // no entry, but the event
    proc->SaveUndoCaptioned(L"x", ieuImage);        // stops before saving: no event
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_EQ(events, std::vector<TIEUndoSource>{ieuImage});

    auto bmp = Pattern(4, 4);
    proc->SetAttachedIEBitmap(bmp.get());
    proc->SaveUndoCaptioned(L"ConvertToGray", ieuImage);
    EXPECT_EQ(Caption(*proc, 0), L"ConvertToGray");
    // Selection, layers and objects need a viewer: no entry and no caption change, but the event.
    events.clear();
    proc->UndoLimit = 5;
    proc->SaveUndoCaptioned(L"sel", ieuSelection);
    proc->SaveUndo(ieuLayer);
    proc->SaveUndo((TIEUndoSource)9);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(Caption(*proc, 0), L"ConvertToGray");
    EXPECT_EQ(events, (std::vector<TIEUndoSource>{ieuSelection, ieuLayer, (TIEUndoSource)9}));
    EXPECT_EQ(proc->GetUndoSource(0), ieuImage);
    EXPECT_EQ(proc->GetUndoSource(1), ieuUnknown);
    EXPECT_EQ(proc->GetUndoSource(-1), ieuUnknown);
}

// Undo with AddRedo restores the image exactly (pixels, alpha, size) and keeps its entry; Redo
// brings the changed state back.
TEST(TPicturaProcUndo, UndoThenRedoRestoresPixelsExactly) {
    auto bmp = Pattern(9, 7, true);
    auto original = Copy(bmp.get());
    TComponent owner(nullptr);
    auto* proc = new TPicturaProc(&owner);   // AutoUndo on
    proc->SetAttachedIEBitmap(bmp.get());
    proc->Crop(2, 1, 5, 4);
    ASSERT_EQ(bmp->GetWidth(), 4);
    auto cropped = Copy(bmp.get());
    EXPECT_EQ(Caption(*proc, 0), L"Crop 2, 1, 5, 4");

    proc->Undo(true);
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), original.get()));
    EXPECT_EQ(bmp->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(proc->GetRedoCount(), 1);
    proc->ClearUndo();

    proc->Redo();
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), cropped.get()));
    EXPECT_EQ(proc->GetRedoCount(), 1);
    proc->ClearRedo();
    EXPECT_FALSE(proc->CanRedo());
    // Out of range positions do nothing.
    proc->UndoAt(0, true);
    proc->RedoAt(3);
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), cropped.get()));
}

TEST(TPicturaProcUndo, MemoryCopiesWhenAsked) {
    auto bmp = Pattern(5, 5);
    auto original = Copy(bmp.get());
    auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
    proc->UndoLocation = ieMemory;
    proc->SaveUndo(ieuImage);
    bmp->Fill(0);
    proc->Undo();
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), original.get()));
}

TEST(TPicturaProcUndo, SourcesCountFromTheOldestCaptionsFromTheNewest) {
    TProcFakeView view;
    view.AddLayer(1, 10);
    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(&view);
    proc.UndoLimit = 5;
    proc.SaveUndoCaptioned(L"image", ieuImage);
    proc.SaveUndoCaptioned(L"selection", ieuSelection);
    proc.SaveUndoCaptioned(L"layers", ieuLayer);
    EXPECT_EQ(proc.GetUndoSource(0), ieuImage);
    EXPECT_EQ(proc.GetUndoSource(2), ieuLayer);
    EXPECT_EQ(Caption(proc, 0), L"layers");
    EXPECT_EQ(Caption(proc, 2), L"image");
    // The objects need a viewer with vector objects: none here.
    proc.SaveUndo(ieuObject);
    EXPECT_EQ(proc.GetUndoCount(), 3);

    view.SelectionValue = 99;
    proc.UndoAt(1);
    EXPECT_EQ(view.SelectionValue, 0);
}

// An image entry saved while layer 2 of 3 was current goes, after that layer was deleted, into
// the last remaining layer.
TEST(TPicturaProcUndo, AnUndoneImageOfADeletedLayerGoesToTheLastLayer) {
    TProcFakeView view;
    for (uint8_t i = 0; i < 3; ++i) view.AddLayer(i, i);
    view.CurrentLayer = 2;
    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(&view);
    auto saved = Copy(view.Image.get());
    proc.SaveUndo(ieuImage);
    view.Layers.pop_back();
    view.CurrentLayer = 1;
    proc.Undo();
    EXPECT_TRUE(IEBitmapsEqual(view.Layers[1].Bitmap.get(), saved.get()));
    EXPECT_EQ(view.Layers[0].Bitmap->GetWidth(), 4);
}

// Layer records restore the layers they name; a layer added since keeps its state, a record of a
// deleted layer is skipped.
TEST(TPicturaProcUndo, LayerEntriesRestoreTheLayersTheyName) {
    TProcFakeView view;
    view.AddLayer(1, 10);
    view.AddLayer(2, 20);
    view.AddLayer(3, 30);
    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(&view);
    proc.SaveUndo(ieuFullLayer);
    view.Layers[0].Value = 11;
    view.Layers.erase(view.Layers.begin() + 1);   // layer 2 goes
    view.AddLayer(4, 40);                         // layer 4 comes
    view.Layers[2].Value = 41;
    const int32_t updates = view.Updates;
    proc.Undo(true);
    ASSERT_EQ(view.Layers.size(), 3u);
    EXPECT_EQ(view.Layers[0].Value, 10);
    EXPECT_EQ(view.Layers[1].Value, 30);
    EXPECT_EQ(view.Layers[2].Value, 41);
    EXPECT_EQ(view.Updates, updates + 1);
    EXPECT_EQ(proc.GetRedoCount(), 1);
    proc.Redo();
    EXPECT_EQ(view.Layers[0].Value, 11);
}
