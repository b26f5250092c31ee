// Canvas operations and resampling of the image-processing component: canvas size with its
// alignments and alpha, clear and fill per pixel format, crops (with the alpha channel, empty and
// whole rectangles, the transparent border), and the target sizes of the resampling members.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "picturaproc_component.h"

namespace {

std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H) {
    auto bmp = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) bmp->SetPixelRGB(x, y, TIERGB{(uint8_t)x, (uint8_t)y, 200});
    return bmp;
}

// A component on Bitmap that counts its finish events and keeps its undo entries.
struct TCounted {
    explicit TCounted(TIEBitmap* Bitmap) : Proc(TPicturaProc::CreateFromBitmap(Bitmap)) {
        Proc->AutoUndo = true;
        Proc->OnFinishWork = [this](TObject*) { ++Finished; };
    }
    std::unique_ptr<TPicturaProc> Proc;
    int32_t Finished = 0;
};

std::wstring TopCaption(TPicturaProc& Proc) {
    std::wstring c;
    Proc.GetUndoCaptions(0, c);
    return c;
}

}  // namespace

// 40 x 20 into 100 x 50 by each alignment: where the old top-left pixel lands, the border in the
// background colour and alpha 0 around the old image.
TEST(TPicturaProcCanvas, ImageResizePlacesTheImageByItsAlignments) {
    struct TCase {
        uint8_t H, V;
        int32_t X, Y;
    };
    for (const TCase& c : {TCase{0, 0, 0, 0}, TCase{1, 1, 30, 15}, TCase{2, 2, 60, 30}, TCase{2, 0, 60, 0}}) {
        auto bmp = Pattern(40, 20);
        TCounted t(bmp.get());
        t.Proc->SetBackground(0x0000FF);   // red
        t.Proc->ImageResize(100, 50, c.H, c.V, 0);
        ASSERT_EQ(bmp->GetWidth(), 100);
        ASSERT_EQ(bmp->GetHeight(), 50);
        ASSERT_TRUE(bmp->HasAlphaChannel());
        const TIERGB corner = bmp->GetPixelRGB(c.X, c.Y), last = bmp->GetPixelRGB(c.X + 39, c.Y + 19);
        EXPECT_TRUE(corner.b == 0 && corner.g == 0 && corner.r == 200) << (int)c.H;
        EXPECT_TRUE(last.b == 39 && last.g == 19 && last.r == 200) << (int)c.H;
        EXPECT_EQ(bmp->GetAlpha(c.X, c.Y), 255);
        const int32_t outX = c.X == 0 ? 99 : 0;
        const TIERGB border = bmp->GetPixelRGB(outX, 49 - c.Y);
        EXPECT_TRUE(border.r == 255 && border.g == 0 && border.b == 0) << (int)c.H;
        EXPECT_EQ(bmp->GetAlpha(outX, 49 - c.Y), 0);
        EXPECT_EQ(TopCaption(*t.Proc), L"ImageResize 100,50");
        EXPECT_EQ(t.Finished, 1);
    }
    // The same size, a zero or a negative side: nothing at all.
    auto bmp = Pattern(6, 4);
    TCounted t(bmp.get());
    t.Proc->ImageResize(6, 4);
    t.Proc->ImageResize(0, 9);
    t.Proc->ImageResize(9, -3);
    EXPECT_EQ(bmp->GetWidth(), 6);
    EXPECT_EQ(t.Proc->GetUndoCount(), 0);
    EXPECT_EQ(t.Finished, 0);
    // Opaque fill adds no alpha channel.
    t.Proc->ImageResize(8, 4);
    EXPECT_FALSE(bmp->HasAlphaChannel());
}

TEST(TPicturaProcCanvas, ClearAndFillPerPixelFormat) {
    TIEBitmap bits(11, 3, ie1g);
    TCounted t(&bits);
    t.Proc->Fill(TIERGB{0, 0, 255});   // red channel set: every bit on
    for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(bits.GetScanline(2)[x >> 3] & (0x80 >> (x & 7)), 0x80 >> (x & 7));
    EXPECT_EQ(TopCaption(*t.Proc), L"Fill (255, 0, 0)");
    t.Proc->Fill(TIERGB{255, 0, 0});   // blue: every bit off
    for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(bits.GetScanline(0)[x >> 3] & (0x80 >> (x & 7)), 0);

    TIEBitmap grey(3, 3, ie8g);
    TCounted g(&grey);
    g.Proc->Fill(TIERGB{255, 255, 255});
    EXPECT_EQ(grey.GetPixelByte(2, 2), 255);
    g.Proc->Fill(TIERGB{0, 0, 100});   // 100 * 21 div 100
    EXPECT_EQ(grey.GetPixelByte(0, 1), 21);

    auto rgb = Pattern(4, 3);
    TCounted c(rgb.get());
    c.Proc->SetBackground(0x00FF00);
    c.Proc->Clear();
    const TIERGB p = rgb->GetPixelRGB(3, 2);
    EXPECT_TRUE(p.r == 0 && p.g == 255 && p.b == 0);
    EXPECT_EQ(TopCaption(*c.Proc), L"Clear");
    EXPECT_EQ(c.Finished, 1);
}

TEST(TPicturaProcCanvas, FillRectProgressNeverPassesHundredAndStaysInside) {
    TIEBitmap bmp(5, 7, ie24RGB);
    bmp.Fill(0);
    std::vector<int32_t> seen;
    IEFillRect(&bmp, -3, -2, 3, 99, TIERGB{9, 9, 9}, [&](TObject*, int32_t Per) { seen.push_back(Per); });
    ASSERT_EQ(seen.size(), 7u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(bmp.GetPixelRGB(2, 6).r, 9);
    EXPECT_EQ(bmp.GetPixelRGB(3, 0).r, 0);
    // An empty row range: nothing, no progress.
    seen.clear();
    IEFillRect(&bmp, 0, 4, 5, 4, TIERGB{1, 1, 1}, [&](TObject*, int32_t Per) { seen.push_back(Per); });
    EXPECT_TRUE(seen.empty());
}

TEST(TPicturaProcCanvas, CropCutsImageAndAlpha) {
    auto bmp = Pattern(40, 40);
    bmp->SetAlpha(10, 10, 7);
    bmp->SetAlpha(19, 29, 9);
    TCounted t(bmp.get());
    t.Proc->Crop(10, 10, 19, 29);
    ASSERT_EQ(bmp->GetWidth(), 10);
    ASSERT_EQ(bmp->GetHeight(), 20);
    EXPECT_EQ(bmp->GetPixelRGB(0, 0).b, 10);
    EXPECT_EQ(bmp->GetPixelRGB(9, 19).g, 29);
    ASSERT_EQ(bmp->GetAlphaChannel()->GetWidth(), 10);
    EXPECT_EQ(bmp->GetAlpha(0, 0), 7);
    EXPECT_EQ(bmp->GetAlpha(9, 19), 9);
    EXPECT_EQ(TopCaption(*t.Proc), L"Crop 10, 10, 19, 29");
    EXPECT_EQ(t.Finished, 1);

    // The whole image, and empty rectangles: unchanged, no undo entry, no event.
    t.Proc->ClearAllUndo();
    t.Proc->Crop(0, 0, 9, 19);
    t.Proc->Crop(5, 5, 4, 8);
    t.Proc->CropToRect(TIERect{3, 3, 5, 2});
    EXPECT_EQ(bmp->GetWidth(), 10);
    EXPECT_EQ(bmp->GetHeight(), 20);
    EXPECT_EQ(t.Proc->GetUndoCount(), 0);
    EXPECT_EQ(t.Finished, 1);

    // A palette image keeps its palette.
    TIEBitmap pal(4, 4, ie8p);
    pal.SetPaletteEntry(3, TIERGB{1, 2, 3});
    pal.Fill(3);
    TCounted p(&pal);
    p.Proc->CropToRect(TIERect{1, 1, 2, 2});
    EXPECT_EQ(pal.GetWidth(), 2);
    EXPECT_EQ(pal.GetPaletteEntry(3).g, 2);
}

TEST(TPicturaProcCanvas, CropTransparentBorder) {
    // Without alpha, and fully transparent: unchanged.
    auto plain = Pattern(6, 5);
    TCounted a(plain.get());
    a.Proc->CropTransparentBorder();
    EXPECT_EQ(plain->GetWidth(), 6);
    auto clear = Pattern(6, 5);
    clear->GetAlphaChannel()->Fill(0);
    EXPECT_EQ(IEAlphaBoundingRect(clear.get()).Left, 6);
    EXPECT_EQ(IEAlphaBoundingRect(clear.get()).Bottom, -1);
    TCounted b(clear.get());
    b.Proc->CropTransparentBorder();
    EXPECT_EQ(clear->GetWidth(), 6);
    EXPECT_EQ(clear->GetHeight(), 5);

    // Visible pixels at (3, 2) and (5, 7): cut to columns 3..5, rows 2..7; no undo entry.
    auto bmp = Pattern(10, 10);
    bmp->GetAlphaChannel()->Fill(0);
    bmp->SetAlpha(3, 2, 1);
    bmp->SetAlpha(5, 7, 200);
    const TIERect r = IEAlphaBoundingRect(bmp.get());
    EXPECT_TRUE(r.Left == 3 && r.Top == 2 && r.Right == 5 && r.Bottom == 7);
    TCounted c(bmp.get());
    c.Proc->CropTransparentBorder();
    EXPECT_EQ(bmp->GetWidth(), 3);
    EXPECT_EQ(bmp->GetHeight(), 6);
    EXPECT_EQ(bmp->GetPixelRGB(0, 0).b, 3);
    EXPECT_EQ(bmp->GetAlpha(2, 5), 200);
    EXPECT_EQ(c.Proc->GetUndoCount(), 0);
    EXPECT_TRUE(c.Proc->AutoUndo);
}

// Target sizes of ResampleTo from a 400 x 200 image; the work bitmap stays as it is.
TEST(TPicturaProcResample, ResampleToTargetSizes) {
    struct TCase {
        int32_t W, H;
        bool Fit;
        int32_t ExpectW, ExpectH;
    };
    const TCase cases[] = {
        {-1, 100, false, 200, 100}, {100, -1, false, 100, 50}, {0, 50, false, 400, 50},
        {-30, 40, false, 30, 40},   {100, 100, true, 100, 50},
        {1000, 1000, true, 1000, 500},
    };
    auto bmp = Pattern(400, 200);
    auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
    for (const TCase& c : cases) {
        TIEBitmap dest;
        proc->ResampleTo(&dest, c.W, c.H, rfNone, c.Fit);
        EXPECT_EQ(dest.GetWidth(), c.ExpectW) << c.W << "," << c.H;
        EXPECT_EQ(dest.GetHeight(), c.ExpectH) << c.W << "," << c.H;
    }
    TIEBitmap untouched(3, 3, ie8g);
    proc->ResampleTo(&untouched, -2, -7, rfTriangle, false);
    EXPECT_EQ(untouched.GetWidth(), 3);
    EXPECT_EQ(bmp->GetWidth(), 400);
}

TEST(TPicturaProcResample, ResampleReplacesTheImageWithUndo) {
    auto bmp = Pattern(40, 20);
    TCounted t(bmp.get());
    t.Proc->Resample(40, 20, rfTriangle);   // the same size: nothing
    t.Proc->Resample(-3, -3, rfTriangle);   // no size: the image stays
    EXPECT_EQ(bmp->GetWidth(), 40);
    EXPECT_EQ(bmp->GetHeight(), 20);
    EXPECT_EQ(t.Finished, 0);
    t.Proc->ClearAllUndo();
    t.Proc->Resample(20, -1, rfTriangle);
    EXPECT_EQ(bmp->GetWidth(), 20);
    EXPECT_EQ(bmp->GetHeight(), 10);
    EXPECT_EQ(t.Finished, 2);   // ResampleTo's and Resample's own
    EXPECT_EQ(TopCaption(*t.Proc), L"Resample 20, -1");
    t.Proc->Undo();
    EXPECT_EQ(bmp->GetWidth(), 40);
}

// The kernel filter's horizontal pass runs on several threads: every progress value still reaches
// the handler on the calling thread, never decreasing, never above 100.
TEST(TPicturaProcResample, ProgressArrivesOnTheCallingThread) {
    auto bmp = Pattern(1600, 900);
    bmp->SetLocation(ieMemory);
    auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int32_t> seen;
    bool otherThread = false;
    proc->OnProgress = [&](TObject*, int32_t Per) {
        if (std::this_thread::get_id() != caller) otherThread = true;
        seen.push_back(Per);
    };
    TIEBitmap dest;
    dest.SetLocation(ieMemory);
    proc->ResampleTo(&dest, 1000, 700, rfTriangle, false);
    EXPECT_FALSE(otherThread);
    ASSERT_GT(seen.size(), 2u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
    EXPECT_LE(seen.back(), 100);
}
