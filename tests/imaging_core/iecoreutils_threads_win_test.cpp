// The clipboard query against a clipboard that another thread keeps open.
#include <gtest/gtest.h>

#include <thread>

#include "SyncObjs.h"
#include "WinApi.h"
#include "iecoreutils_threads.h"

TEST(IECoreUtilsSystemWin, OpenClipboardWaitsAboutTwoHundredMilliseconds) {
    ASSERT_TRUE(IEOpenClipboard());
    CloseClipboard();

    TSimpleEvent held, release;
    std::thread holder([&] {
        HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        const bool opened = OpenClipboard(owner) != 0;
        held.SetEvent();
        release.WaitFor(5000);
        if (opened) CloseClipboard();
        DestroyWindow(owner);
    });
    held.WaitFor(5000);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(IEOpenClipboard());
    const DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 150u);
    EXPECT_LT(waited, 2000u);
    release.SetEvent();
    holder.join();
    EXPECT_TRUE(IEOpenClipboard());
    CloseClipboard();
}
