// The image I/O component attached to a viewer and to a TImage: which bitmap it works on, what it
// tells the viewer, and how it detaches when either is destroyed while attached.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "ExtCtrls.h"
#include "Forms.h"
#include "iebitmap.h"
#include "iecoredefs_settings.h"
#include "iedshow.h"
#include "ieview.h"
#include "picturaio.h"
#include "IOThreadTestUtil.h"
#include "imaging_view/ieview_test_views.h"
#include "picturaview.h"

namespace {

class PicturaIOViewTest : public ::testing::Test {
protected:
    void SetUp() override { IEPicturaViewInitialize(); }
};

}  // namespace

TEST_F(PicturaIOViewTest, AttachedToAViewItWorksOnTheViewsImage) {
    TTestView view(nullptr);
    TPicturaIO io(nullptr);
    io.SetAttachedPictura(&view);
    EXPECT_EQ(io.GetAttachedPictura(), &view);
    EXPECT_EQ(io.GetIEBitmap(), view.Image.get());
    EXPECT_FALSE(io.GetOwnsIOBitmap());
    EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 1);

    // Background: read from the view; writing it leaves the view alone.
    view.SetBackground(0x112233);
    EXPECT_EQ(io.GetBackground(), 0x112233);
    io.SetBackground(0x445566);
    EXPECT_EQ(view.GetBackground(), 0x112233);
    EXPECT_EQ(io.GetBackground(), 0x112233);

    // The resolution setters of the parameter set reach the view.
    io.GetParams()->SetDpiX(200);
    io.GetParams()->SetDpiY(100);
    EXPECT_EQ(view.GetDpiX(), 200);
    EXPECT_EQ(view.GetDpiY(), 100);
    io.GetParams()->SetDpiX(0);   // 0 leaves the view's value
    EXPECT_EQ(view.GetDpiX(), 200);
    io.GetParams()->SetDpiX(150);
    io.UpdateViewDPI();
    EXPECT_EQ(view.GetDpiX(), 150);

    // The end of a load: the view recomputes and reports the change, once each.
    io.Update();
    EXPECT_EQ(view.Updates, 1);
    EXPECT_EQ(view.ImageChanges, 1);

    // A lent bitmap of nil while a view is attached changes nothing.
    io.SetAttachedIEBitmap(nullptr);
    EXPECT_EQ(io.GetAttachedPictura(), &view);
    EXPECT_EQ(io.GetIEBitmap(), view.Image.get());

    // The view replaces its image: the component follows and takes the view's resolution.
    view.SetDpi(72, 96);
    view.ReplaceImage(3, 2);
    EXPECT_EQ(io.GetIEBitmap(), view.Image.get());
    EXPECT_EQ(io.GetParams()->DpiX, 72);
    EXPECT_EQ(io.GetParams()->DpiY, 96);

    // Detaching gives the component an empty bitmap of its own; the view keeps its image.
    io.SetAttachedPictura(nullptr);
    EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 0);
    EXPECT_TRUE(io.GetOwnsIOBitmap());
    EXPECT_NE(io.GetIEBitmap(), view.Image.get());
    EXPECT_TRUE(io.GetIEBitmap()->IsEmpty());
    EXPECT_EQ(view.Image->GetWidth(), 3);
}

TEST_F(PicturaIOViewTest, ALentBitmapReplacesTheViewAndUnregisters) {
    TTestView view(nullptr);
    TPicturaIO io(nullptr);
    io.SetAttachedPictura(&view);
    TIEBitmap lent(2, 2, ie8g);
    io.SetAttachedIEBitmap(&lent);
    EXPECT_EQ(io.GetAttachedPictura(), nullptr);
    EXPECT_EQ(io.GetIEBitmap(), &lent);
    EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 0);
    // The view's later changes no longer reach the component.
    view.ReplaceImage(4, 4);
    EXPECT_EQ(io.GetIEBitmap(), &lent);
}

TEST_F(PicturaIOViewTest, AViewDestroyedWhileAttachedLeavesTheComponentWorking) {
    auto view = std::make_unique<TTestView>(nullptr);
    TPicturaIO io(nullptr);
    io.SetAttachedPictura(view.get());
    view.reset();
    EXPECT_EQ(io.GetAttachedPictura(), nullptr);
    ASSERT_NE(io.GetIEBitmap(), nullptr);
    EXPECT_TRUE(io.GetOwnsIOBitmap());
    EXPECT_TRUE(io.GetIEBitmap()->IsEmpty());
    // It goes on with its own bitmap, and nothing reaches the dead view.
    TIEBitmap acquired(4, 4, ie24RGB);
    TIOParamsVals* target = nullptr;
    io.ReceiveAcquiredBitmap(&acquired, target);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 4);
    io.GetParams()->SetDpiX(123);
    io.Update();
    io.DoFinishWork();
}

TEST_F(PicturaIOViewTest, AViewOwnedByAFormDestroyedFirst) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* view = new TTestView(form.get());
    view->SetParent(form.get());
    TPicturaIO first(nullptr), second(nullptr);
    first.SetAttachedPictura(view);
    second.SetAttachedPictura(view);
    EXPECT_EQ(view->GetBitmapChangeCallbackCount(), 2);
    form.reset();   // frees the view
    EXPECT_EQ(first.GetAttachedPictura(), nullptr);
    EXPECT_EQ(second.GetAttachedPictura(), nullptr);
    EXPECT_TRUE(first.GetOwnsIOBitmap());
    EXPECT_TRUE(second.GetOwnsIOBitmap());
}

TEST_F(PicturaIOViewTest, AComponentDestroyedWhileAttachedUnregisters) {
    TTestView view(nullptr);
    {
        TPicturaIO io(nullptr);
        io.SetAttachedPictura(&view);
        EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 1);
    }
    EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 0);
    // The view's image survives the component, and its changes call nobody.
    EXPECT_EQ(view.Image->GetWidth(), 8);
    view.ReplaceImage(2, 2);
}

TEST_F(PicturaIOViewTest, AViewWithOnlyAVCLBitmapIsWrapped) {
    TLegacyView view(nullptr);
    TPicturaIO io(nullptr);
    io.SetAttachedPictura(&view);
    EXPECT_TRUE(io.GetOwnsIOBitmap());
    EXPECT_EQ(io.GetLegacyTBitmap(), &view.Picture);
    EXPECT_EQ(io.GetBitmap(), &view.Picture);
    ASSERT_TRUE(io.MakeConsistentBitmap(0));
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 5);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 4);
    // The wrapper follows the VCL bitmap's current size.
    view.Picture.SetSize(7, 3);
    ASSERT_TRUE(io.MakeConsistentBitmap(0));
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 7);
    // A parameter reset takes the size of the legacy bitmap.
    io.GetParams()->SetDefaultParams();
    EXPECT_EQ(io.GetParams()->Width, 7);
    EXPECT_EQ(io.GetParams()->Height, 3);
}

TEST_F(PicturaIOViewTest, AttachedToATImage) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* image = new TImage(form.get());
    image->SetParent(form.get());
    TBitmap* picture = image->Picture()->Bitmap();
    picture->SetPixelFormat(pf24bit);
    picture->SetSize(6, 5);

    TPicturaIO io(nullptr);
    io.SetAttachedTImage(image);
    EXPECT_EQ(io.GetAttachedTImage(), image);
    EXPECT_EQ(io.GetLegacyTBitmap(), picture);
    EXPECT_EQ(io.GetBitmap(), picture);
    ASSERT_TRUE(io.MakeConsistentBitmap(0));
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 6);

    // The end of a load drops the alpha channel (a VCL bitmap has none) and marks the picture
    // changed so that the TImage repaints.
    int changes = 0;
    TNotifyEvent previous = picture->OnChange;
    picture->OnChange = [&](TObject* s) {
        ++changes;
        if (previous) previous(s);
    };
    io.GetIEBitmap()->GetAlphaChannel();
    io.Update();
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
    EXPECT_EQ(changes, 1);
    picture->OnChange = previous;

    // Destroyed while attached: the component forgets it and works on a new bitmap of its own.
    form.reset();
    EXPECT_EQ(io.GetAttachedTImage(), nullptr);
    EXPECT_EQ(io.GetLegacyTBitmap(), nullptr);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    ASSERT_NE(io.GetIEBitmap(), nullptr);
    EXPECT_TRUE(io.GetIEBitmap()->IsEmpty());
    TIEBitmap acquired(3, 3, ie24RGB);
    TIOParamsVals* target = nullptr;
    io.ReceiveAcquiredBitmap(&acquired, target);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
}

TEST_F(PicturaIOViewTest, ATImageNeverWrapsALentBitmapOrAViewsImage) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* image = new TImage(form.get());
    image->Picture()->Bitmap()->SetSize(2, 2);
    TIEBitmap lent(9, 9, ie8g);
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(&lent);
    io.SetAttachedTImage(image);
    EXPECT_NE(io.GetIEBitmap(), &lent);
    EXPECT_EQ(lent.GetWidth(), 9);
    EXPECT_EQ(lent.GetPixelFormat(), ie8g);

    TTestView view(nullptr);
    io.SetAttachedPictura(&view);
    EXPECT_EQ(io.GetAttachedTImage(), nullptr);
    io.SetAttachedTImage(image);
    EXPECT_EQ(view.GetBitmapChangeCallbackCount(), 0);
    EXPECT_EQ(view.Image->GetWidth(), 8);
    // Detaching the TImage while a view is attached leaves the view's image alone.
    io.SetAttachedPictura(&view);
    io.SetAttachedTImage(nullptr);
    EXPECT_EQ(io.GetIEBitmap(), view.Image.get());
    EXPECT_EQ(view.Image->GetWidth(), 8);
}

TEST_F(PicturaIOViewTest, ProgressAndFinishFromABackgroundThreadArePostedToAParentedView) {
    auto form = std::make_unique<TForm>(nullptr);
    form->SetClientSize(100, 100);
    auto* view = new TTestView(form.get());
    view->SetParent(form.get());
    view->HandleNeeded();
    TScriptedIO io;
    io.SetAttachedPictura(view);
    int progress = 0, finished = 0;
    io.OnProgress = [&](TObject*, int32_t) { ++progress; };
    io.OnFinishWork = [&](TObject*) { ++finished; };

    io.Body = [&] {
        io.DoIntProgress(&io, 40);
        io.DoFinishWork();
    };
    RunInIOThread(io);
    io.WaitThreads(false);
    // Nothing ran on the worker: the view's window got the messages.
    EXPECT_EQ(progress, 0);
    EXPECT_EQ(finished, 0);
    MSG msg;
    std::vector<std::pair<UINT, WPARAM>> got;
    while (PeekMessageW(&msg, view->Handle(), IEMSG_UPDATE, IEMSG_FINISHWORK, PM_REMOVE)) got.push_back({msg.message, msg.wParam});
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], std::make_pair(UINT(IEMSG_PROGRESS), WPARAM(40)));
    EXPECT_EQ(got[1], std::make_pair(UINT(IEMSG_PROGRESS), WPARAM(100)));
    EXPECT_EQ(got[2], std::make_pair(UINT(IEMSG_FINISHWORK), WPARAM(0)));

    // On the component's own thread the events are called directly.
    io.DoFinishWork();
    EXPECT_EQ(progress, 1);
    EXPECT_EQ(finished, 1);
}

TEST_F(PicturaIOViewTest, AParentedViewWithoutAWindowGetsOneMadeOnTheMainThreadForAWorkersUpdate) {
    auto form = std::make_unique<TForm>(nullptr);
    auto* view = new TTestView(form.get());
    view->SetParent(form.get());
    ASSERT_FALSE(view->HandleAllocated());
    TScriptedIO io;
    io.SetAttachedPictura(view);
    io.Body = [&] { io.Update(); };
    RunInIOThread(io);
    io.WaitThreads(false);   // runs the worker's request for the window
    ASSERT_TRUE(view->HandleAllocated());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, view->Handle(), IEMSG_UPDATE, IEMSG_UPDATE, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(PicturaIOViewTest, DirectShowNotificationsGoToTheViewsWindow) {
    auto form = std::make_unique<TForm>(nullptr);
    TTestView view(nullptr);
    TPicturaIO io(nullptr);
    io.SetAttachedPictura(&view);
    // Not on a form yet: no window to point at.
    TIEDirectShow* graph = io.GetDShowParams();
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->GetNotifyWindow(), nullptr);
    view.SetParent(form.get());
    io.UpdateDShowNotifyWindow();
    EXPECT_EQ(graph->GetNotifyWindow(), static_cast<void*>(view.Handle()));
    EXPECT_EQ(graph->GetFrameMessage(), IEMSG_DSHOW_FRAME);
    EXPECT_EQ(graph->GetEventMessage(), IEMSG_DSHOW_EVENT);
    // A new window of the view: the next presentation points the notifications at it.
    view.RecreateWnd();
    const HWND second = view.Handle();
    io.UpdateDShowNotifyWindow();
    EXPECT_EQ(graph->GetNotifyWindow(), static_cast<void*>(second));
    EXPECT_EQ(io.GetDShowParams(), graph);
    view.SetParent(nullptr);
}
