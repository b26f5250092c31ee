// The base view control: resolutions, border and 3-D frame, and the bitmap-change callbacks
// through which attached components follow the view (and learn that it is destroyed).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "iebitmap.h"
#include "ieview.h"
#include "ieview_test_views.h"

namespace {

std::unique_ptr<TForm> MakeForm() {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetClientSize(200, 150);
    return form;
}

}  // namespace

TEST(TIEView, DefaultsAndResolutions) {
    TTestView view(nullptr);
    EXPECT_EQ(view.GetBackground(), clBtnFace);
    EXPECT_EQ(view.GetBorderStyle(), bsSingle);
    EXPECT_TRUE(view.GetCtl3D());
    EXPECT_EQ(view.GetDpiX(), 0);
    EXPECT_EQ(view.GetDpiY(), 0);
    EXPECT_EQ(view.GetBitmap(), nullptr);
    EXPECT_NE(view.ControlStyle & csOpaque, 0u);
    EXPECT_NE(view.ControlStyle & csAcceptsControls, 0u);

    view.SetDpi(72, 96);
    // 0 keeps the old value of its axis.
    view.SetDpi(0, 150);
    EXPECT_EQ(view.GetDpiX(), 72);
    EXPECT_EQ(view.GetDpiY(), 150);
    view.SetDpiX(0);
    EXPECT_EQ(view.GetDpiX(), 72);
    view.SetBackground(0x00FF00);
    EXPECT_EQ(view.GetBackground(), 0x00FF00);
    EXPECT_EQ(view.GetCanvas(), view.Canvas());
}

TEST(TIEView, FrameFollowsBorderStyleAndCtl3DAndTheWindowIsRemadeOnlyOnChange) {
    auto form = MakeForm();
    auto* view = new TTestView(form.get());
    view->SetParent(form.get());
    view->SetBounds(0, 0, 100, 80);
    form->Show();
    HWND first = view->Handle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(view->Created, 1);
    EXPECT_NE(GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(GetWindowLongW(first, GWL_STYLE) & WS_BORDER, 0);
    // Resizing repaints only what became visible.
    EXPECT_EQ(GetClassLongW(first, GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW), 0u);

    // The same value again: the same window.
    view->SetBorderStyle(bsSingle);
    view->SetCtl3D(true);
    EXPECT_EQ(view->Handle(), first);
    EXPECT_EQ(view->Created, 1);

    // A flat frame is a plain border.
    view->SetCtl3D(false);
    HWND flat = view->Handle();
    EXPECT_FALSE(view->GetCtl3D());
    EXPECT_EQ(view->Created, 2);
    EXPECT_EQ(GetWindowLongW(flat, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_NE(GetWindowLongW(flat, GWL_STYLE) & WS_BORDER, 0);

    view->SetBorderStyle(bsNone);
    HWND none = view->Handle();
    EXPECT_EQ(GetWindowLongW(none, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(GetWindowLongW(none, GWL_STYLE) & WS_BORDER, 0);
    EXPECT_EQ(view->Created, 3);
}

TEST(TIEView, CallbacksAreCalledInOrderAndRemovedSafely) {
    std::vector<std::string> calls;
    auto view = std::make_unique<TTestView>(nullptr);
    void* a = view->AddBitmapChangeCallback([&](TIEView* s, bool d) {
        EXPECT_EQ(s, view.get());
        calls.push_back(d ? "a destroying" : "a");
    });
    void* b = view->AddBitmapChangeCallback([&](TIEView*, bool d) { calls.push_back(d ? "b destroying" : "b"); });
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a, b);
    view->NotifyBitmapChange();
    EXPECT_EQ(calls, (std::vector<std::string>{"a", "b"}));

    // Removing a nil handle, an unknown one or the same one twice does nothing more.
    int dummy = 0;
    view->RemoveBitmapChangeCallback(nullptr);
    view->RemoveBitmapChangeCallback(&dummy);
    view->RemoveBitmapChangeCallback(a);
    view->RemoveBitmapChangeCallback(a);
    EXPECT_EQ(view->GetBitmapChangeCallbackCount(), 1);
    calls.clear();
    view->NotifyBitmapChange();
    EXPECT_EQ(calls, std::vector<std::string>{"b"});

    // A callback that unregisters itself while the list is walked.
    void* c = nullptr;
    c = view->AddBitmapChangeCallback([&](TIEView* s, bool d) {
        calls.push_back(d ? "c destroying" : "c");
        s->RemoveBitmapChangeCallback(c);
    });
    calls.clear();
    view->NotifyBitmapChange();
    EXPECT_EQ(calls, (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(view->GetBitmapChangeCallbackCount(), 1);
}

TEST(TIEView, DestructionCallsEachCallbackOnceInRegistrationOrder) {
    std::vector<std::string> calls;
    auto view = std::make_unique<TTestView>(nullptr);
    TTestView* raw = view.get();
    void* first = nullptr;
    first = view->AddBitmapChangeCallback([&](TIEView* s, bool d) {
        calls.push_back(d ? "first destroying" : "first");
        // A component detaching from inside the call: its record is already out of the list.
        s->RemoveBitmapChangeCallback(first);
    });
    view->AddBitmapChangeCallback([&](TIEView* s, bool d) {
        EXPECT_EQ(s, raw);
        calls.push_back(d ? "second destroying" : "second");
    });
    view->AddBitmapChangeCallback(nullptr);   // an empty entry is skipped
    view.reset();
    EXPECT_EQ(calls, (std::vector<std::string>{"first destroying", "second destroying"}));
}
