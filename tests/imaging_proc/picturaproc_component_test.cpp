// The image-processing component: creation defaults, the pixel-format preference walk, attachment
// to a caller's bitmap and to a viewer (through a fake viewer), the processing area with a
// selection, the dialog settings' defaults and the unit's start-up.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ProcFakeView.h"
#include "picturaproc_component.h"

namespace {

// A W x H ie24RGB bitmap whose every pixel differs.
std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H) {
    auto bmp = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            bmp->SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 7 + y), (uint8_t)(y * 13 + 1), (uint8_t)(x + y * 3 + 2)});
    return bmp;
}

TIEPixelFormatSet Set(std::initializer_list<TIEPixelFormat> Formats) {
    TIEPixelFormatSet s = 0;
    for (TIEPixelFormat f : Formats) s |= IEPixelFormatBit(f);
    return s;
}

}  // namespace

TEST(TPicturaProc, CreationDefaults) {
    TComponent owner(nullptr);
    auto* owned = new TPicturaProc(&owner);
    EXPECT_TRUE(owned->AutoUndo);
    TPicturaProc loose(nullptr);
    EXPECT_FALSE(loose.AutoUndo);
    TIEBitmap bmp(4, 4, ie24RGB);
    auto onBitmap = TPicturaProc::CreateFromBitmap(&bmp);
    EXPECT_FALSE(onBitmap->AutoUndo);
    EXPECT_EQ(onBitmap->GetAttachedIEBitmap(), &bmp);
    EXPECT_FALSE(onBitmap->GetOwnsWorkBitmap());

    EXPECT_TRUE(loose.GetOwnsWorkBitmap());
    ASSERT_NE(loose.GetAttachedIEBitmap(), nullptr);
    EXPECT_TRUE(loose.GetAttachedIEBitmap()->IsEmpty());
    EXPECT_EQ(loose.UndoLimit, 1);
    EXPECT_EQ(loose.UndoLocation, ieFile);
    EXPECT_TRUE(loose.AutoConvertFormat);
    EXPECT_EQ(loose.MsgLanguage, msSystem);
    EXPECT_EQ(loose.PreviewsParams, PRPreviewsParamsBit(prppShowResetButton) | PRPreviewsParamsBit(prppHardReset));
    EXPECT_FALSE(loose.PreviewFontEnabled);
    EXPECT_EQ(loose.GetBackground(), 0);
    EXPECT_NE(loose.GetDialogParams(), nullptr);
    loose.SetPicturaVersion(L"9.9");
    EXPECT_EQ(loose.GetPicturaVersion(), L"4.1.0");
    EXPECT_EQ(loose.GetUndoCount(), 0);
    EXPECT_EQ(loose.GetRedoCount(), 0);
}

// Each case: the current format, the allowed set, the format after CheckPixelFormat.
TEST(TPicturaProc, CheckPixelFormatWalksThePreferenceListThenFallsBack) {
    struct TCase {
        TIEPixelFormat From;
        std::initializer_list<TIEPixelFormat> Allowed;
        TIEPixelFormat Expected;
    };
    const TCase cases[] = {
        {ie24RGB, {}, ie24RGB},                      // empty set: anything goes
        {ie24RGB, {ie24RGB, ie8g}, ie24RGB},         // allowed as it is
        {ie8p, {ie24RGB}, ie24RGB},
        {ie1g, {ieCMYK, ie8g}, ie8g},                // ie8g comes before ie24RGB in ie1g's list
        {ie1g, {ie24RGB, ie16g}, ie16g},
        {ie8g, {ieRGB48, ie24RGB}, ie24RGB},
        {ie16g, {ie8g, ie24RGB}, ie8g},
        {ie24RGB, {ie8g, ie16g}, ie16g},
        {ie24RGB, {ie8p, ie8g}, ie8p},
        {ieCMYK, {ie8g, ieCIELab}, ieCIELab},
        {ieRGB48, {ie16g, ie8g}, ie16g},
        {ie32RGB, {ie8g}, ie8g},
        {ie24RGB, {ie1g}, ie1g},                     // not in the list: the fall-back walk
        {ie8g, {ie1g, ie8p}, ie8p},                  // the highest-numbered allowed format
    };
    for (const TCase& c : cases) {
        TIEBitmap bmp(3, 2, c.From);
        auto proc = TPicturaProc::CreateFromBitmap(&bmp);
        EXPECT_TRUE(proc->CheckPixelFormat(Set(c.Allowed))) << (int)c.From;
        EXPECT_EQ(bmp.GetPixelFormat(), c.Expected) << (int)c.From;
        EXPECT_EQ(bmp.GetWidth(), 3);
    }
    // Without conversion a refused format stays and the answer is False.
    TIEBitmap grey(3, 2, ie8g);
    auto proc = TPicturaProc::CreateFromBitmap(&grey);
    proc->AutoConvertFormat = false;
    EXPECT_FALSE(proc->CheckPixelFormat(Set({ie24RGB})));
    EXPECT_FALSE(proc->PrepareBitmap(Set({ie24RGB})));
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);
    // Every list ends with ieNoFormat; ieNoFormat and ieVirtual have none.
    for (int32_t f = ieNoFormat; f <= ieVirtual; ++f) EXPECT_EQ(IEPixelFormatPreferences((TIEPixelFormat)f)[6], ieNoFormat);
    EXPECT_EQ(IEPixelFormatPreferences(ieNoFormat)[0], ieNoFormat);
    EXPECT_EQ(IEPixelFormatPreferences(ieVirtual)[0], ieNoFormat);
}

TEST(TPicturaProc, CallersBitmapIsNeverFreedAndNilLeavesNoWorkBitmap) {
    auto bmp = Pattern(5, 4);
    {
        auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
        proc->SetAttachedIEBitmap(nullptr);
        EXPECT_EQ(proc->GetAttachedIEBitmap(), nullptr);
        EXPECT_FALSE(proc->PrepareBitmap(0));
        int finished = 0;
        proc->OnFinishWork = [&](TObject*) { ++finished; };
        proc->Clear();
        proc->Crop(0, 0, 1, 1);
        proc->Resample(10, 10);
        proc->SaveUndo(ieuImage);
        EXPECT_EQ(finished, 0);
        EXPECT_EQ(proc->GetUndoCount(), 0);
    }
    EXPECT_EQ(bmp->GetWidth(), 5);   // still there after the component went
    EXPECT_EQ(bmp->GetPixelRGB(1, 1).g, 14);
}

TEST(TPicturaProc, ViewerAttachmentFollowsTheViewer) {
    auto view = std::make_unique<TProcFakeView>();
    TIEBitmap* viewImage = view->Image.get();
    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(view.get());
    EXPECT_EQ(proc.GetAttachedIEBitmap(), viewImage);
    EXPECT_FALSE(proc.GetOwnsWorkBitmap());
    EXPECT_EQ(view->CallbackCount(), 1);
    EXPECT_EQ(proc.GetBackground(), 0x00FF00);   // the viewer's
    proc.SetBackground(0x123456);
    EXPECT_EQ(view->Background, 0x123456);

    // Nil while a viewer is attached: nothing changes.
    proc.SetAttachedIEBitmap(nullptr);
    EXPECT_EQ(proc.GetAttachedIEBitmap(), viewImage);

    // The viewer replaces its image: the component follows.
    view->ReplaceImage(Pattern(3, 3));
    EXPECT_EQ(proc.GetAttachedIEBitmap(), view->Image.get());

    // An operation refreshes the viewer.
    proc.Clear();
    EXPECT_EQ(view->Updates, 1);
    EXPECT_EQ(view->ImageChanges, 1);

    // Detaching gives a new, empty own bitmap; the viewer's image stays.
    proc.SetAttachedPictura(nullptr);
    EXPECT_EQ(view->CallbackCount(), 0);
    EXPECT_TRUE(proc.GetOwnsWorkBitmap());
    EXPECT_TRUE(proc.GetAttachedIEBitmap()->IsEmpty());
    EXPECT_EQ(view->Image->GetWidth(), 3);
    EXPECT_EQ(proc.GetBackground(), 0);

    // Freeing an attached viewer leaves the component working on an own bitmap.
    proc.SetAttachedPictura(view.get());
    view.reset();
    EXPECT_EQ(proc.GetAttachedPictura(), nullptr);
    ASSERT_NE(proc.GetAttachedIEBitmap(), nullptr);
    EXPECT_TRUE(proc.GetOwnsWorkBitmap());
    proc.ImageResize(4, 4);
    EXPECT_EQ(proc.GetAttachedIEBitmap()->GetWidth(), 4);

    // A caller's bitmap after a viewer: the viewer is left.
    TProcFakeView other;
    TIEBitmap mine(2, 2, ie8g);
    proc.SetAttachedPictura(&other);
    proc.SetAttachedIEBitmap(&mine);
    EXPECT_EQ(proc.GetAttachedPictura(), nullptr);
    EXPECT_EQ(other.CallbackCount(), 0);
    EXPECT_EQ(proc.GetAttachedIEBitmap(), &mine);
}

TEST(TPicturaProc, ComponentFreedBeforeTheViewerUnregisters) {
    TProcFakeView view;
    {
        TPicturaProc proc(nullptr);
        proc.SetAttachedPictura(&view);
        EXPECT_EQ(view.CallbackCount(), 1);
    }
    EXPECT_EQ(view.CallbackCount(), 0);
    EXPECT_EQ(view.Image->GetWidth(), 8);
}

// A selection whose bounding box is 10 x 5 with a hole: the operation sees a 10 x 5 copy, and only
// the selected pixels of the image change.
TEST(TPicturaProc, ProcessingAreaWithASelection) {
    TProcFakeView view;
    view.Image = Pattern(20, 12);
    auto before = std::make_unique<TIEBitmap>();
    before->Assign(view.Image.get());
    view.SelectBoxWithHole();

    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(&view);
    int32_t x1, y1, x2, y2, count;
    const TIEMaskPoint* points;
    TIEMask* mask;
    EXPECT_TRUE(proc.GetProcessingArea(x1, y1, x2, y2, points, count, mask));
    EXPECT_EQ(mask, &view.Mask);
    EXPECT_EQ(x1, 4);
    EXPECT_EQ(y1, 3);
    EXPECT_EQ(x2, 14);
    EXPECT_EQ(y2, 8);

    TIEBitmap* work = nullptr;
    ASSERT_TRUE(proc.BeginImageProcessing(0, x1, y1, x2, y2, L"t", work, mask));
    EXPECT_NE(work, view.Image.get());
    EXPECT_EQ(work->GetWidth(), 10);
    EXPECT_EQ(work->GetHeight(), 5);
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    EXPECT_EQ(x2, 10);
    EXPECT_EQ(y2, 5);
    EXPECT_EQ(work->GetPixelRGB(0, 0).r, before->GetPixelRGB(4, 3).r);
    proc.EndImageProcessing(work, mask);

    proc.Fill(TIERGB{1, 2, 3});
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const TIERGB p = view.Image->GetPixelRGB(x, y);
            if (view.Mask.GetPixel(x, y)) {
                EXPECT_EQ(p.r, 3);
                EXPECT_EQ(p.b, 1);
            } else {
                const TIERGB o = before->GetPixelRGB(x, y);
                EXPECT_TRUE(p.r == o.r && p.g == o.g && p.b == o.b) << x << "," << y;
            }
        }

    // Without a selection the area is the whole image and the work bitmap itself.
    view.Selected = false;
    EXPECT_FALSE(proc.GetProcessingArea(x1, y1, x2, y2, points, count, mask));
    EXPECT_EQ(x2, 20);
    EXPECT_EQ(y2, 12);
    ASSERT_TRUE(proc.BeginImageProcessing(0, x1, y1, x2, y2, L"t", work, mask));
    EXPECT_EQ(work, view.Image.get());
    proc.EndImageProcessing(work, mask);
}

TEST(TPicturaProc, FinishWorkReportsHundredThenFinish) {
    TPicturaProc proc(nullptr);
    std::vector<int32_t> events;
    proc.OnProgress = [&](TObject* Sender, int32_t Percent) {
        EXPECT_EQ(Sender, &proc);
        events.push_back(Percent);
    };
    proc.OnFinishWork = [&](TObject*) { events.push_back(-1); };
    proc.DoFinishWork();
    EXPECT_EQ(events, (std::vector<int32_t>{100, -1}));
}

TEST(TIPDialogParams, DefaultsAndTheSettersThatEmptyTheStream) {
    TIPDialogParams p;
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(p.GetChoice(i), -1);
    for (int32_t v : p.Settings) EXPECT_EQ(v, 0);
    const int32_t identity[3][3] = {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    EXPECT_EQ(std::memcmp(p.Filter.Values, identity, sizeof(identity)), 0);
    EXPECT_EQ(p.Filter.Divisor, 0);
    const uint8_t colours[4] = {0, 255, 0, 255};
    for (int32_t i = 0; i < 4; ++i) EXPECT_TRUE(p.Colors[i].r == colours[i] && p.Colors[i].g == colours[i] && p.Colors[i].b == colours[i]);
    struct TIntCase {
        int32_t Actual, Expected;
    };
    const TIntCase ints[] = {{p.Rect1[0], 0}, {p.Rect1[1], 0}, {p.Rect1[2], 150}, {p.Rect1[3], 150},
                             {p.Setting2, 0}, {p.Rect2[0], 0}, {p.Rect2[1], 0}, {p.Rect2[2], 150},
                             {p.Rect2[3], 150}, {p.Pair1[0], 10}, {p.Pair1[1], 10}, {p.Setting3, 0},
                             {p.Pair2[0], 0}, {p.Pair2[1], 1}, {p.Pair3[0], 1}, {p.Pair3[1], 4}};
    for (size_t i = 0; i < sizeof(ints) / sizeof(ints[0]); ++i) EXPECT_EQ(ints[i].Actual, ints[i].Expected) << i;
    EXPECT_FALSE(p.Flag1);
    EXPECT_TRUE(p.Flag2);
    EXPECT_TRUE(p.Flag3);
    EXPECT_FALSE(p.Flag4);
    EXPECT_TRUE(p.Flag5);
    EXPECT_EQ(p.Color2.r, 255);
    EXPECT_DOUBLE_EQ(p.Factor1, 1.7);
    EXPECT_DOUBLE_EQ(p.Factors[0], 0.0);
    EXPECT_DOUBLE_EQ(p.Factors[1], 1.0);
    EXPECT_EQ(p.GetExtraData()->GetSize(), 0);

    p.GetExtraData()->WriteBuffer("abc", 3);
    p.SetChoice(2, 7);
    EXPECT_EQ(p.GetChoice(2), 7);
    EXPECT_EQ(p.GetExtraData()->GetSize(), 0);
    p.Settings[3] = 5;
    p.GetExtraData()->WriteBuffer("abc", 3);
    p.SetDefaults();
    EXPECT_EQ(p.GetChoice(2), -1);
    EXPECT_EQ(p.Settings[3], 0);
    EXPECT_EQ(p.GetExtraData()->GetSize(), 0);
}

TEST(IEInitializePicturaProc, BuildsTheTablesAndTheShutDownEmptiesThem) {
    IEFinalizePicturaProc();
    EXPECT_TRUE(IEPresetFilters.empty());
    EXPECT_TRUE(IEPresetFilterNames.empty());
    IEInitializePicturaProc();
    ASSERT_EQ(IEPresetFilters.size(), 9u);
    ASSERT_EQ(IEPresetFilterNames.size(), 9u);
    EXPECT_EQ(IEPresetFilterNames[0], L"None");
    EXPECT_EQ(IEPresetFilterNames[8], L"Low Pass 2");
    EXPECT_EQ(IEPresetFilters[8].Divisor, 16);
    EXPECT_EQ(IEPresetFilters[3].Values[1][2], 1);   // "Emboss" middle row -1, 1, 1
    // 0xA5: set, clear, set, clear, clear, set, clear, set.
    const uint8_t expected[8] = {255, 0, 255, 0, 0, 255, 0, 255};
    for (int32_t p = 0; p < 8; ++p)
        for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(IE1To24Table[0xA5][p * 3 + c], expected[p]);
    // Starting twice keeps one list, not two.
    IEInitializePicturaProc();
    EXPECT_EQ(IEPresetFilters.size(), 9u);
}
