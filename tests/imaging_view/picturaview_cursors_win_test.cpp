// The viewer's 37 interaction cursors are resources of the program, found under the names of the
// numbers 1778 to 1814 (two names serve twice), and a new view shows cursor 1785.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "picturaview.h"
#include "picturaview_control.h"

TEST(PicturaViewCursors, EveryNumberHasItsCursorResource) {
    for (int32_t n = 1778; n <= 1814; ++n) {
        const wchar_t* name = IEViewCursorName(n);
        ASSERT_NE(name, nullptr) << n;
        HANDLE h = LoadImageW(GetModuleHandleW(nullptr), name, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
        EXPECT_NE(h, nullptr) << n;
        if (h) DestroyCursor(static_cast<HCURSOR>(h));
    }
    EXPECT_EQ(IEViewCursorName(1777), nullptr);
    EXPECT_EQ(IEViewCursorName(1815), nullptr);
}

TEST(PicturaViewCursors, ANewViewLoadsThemIntoTheCursorTable) {
    auto view = std::make_unique<TPicturaView>(nullptr);
    EXPECT_EQ(view->GetCursor(), 1785);
    for (int32_t n = 1778; n <= 1814; ++n)
        EXPECT_NE(ScreenCursor(TCursor(n)), LoadCursorW(nullptr, IDC_ARROW)) << n;
}
