// The single-instance guard: the mutex and the window property, and the activation of windows
// that carry the property with the value 1 (and no others).
#include <gtest/gtest.h>

#include "IndividualMutex.h"
#include "KWCommonLib.h"
#include "WinApi.h"

namespace {

HWND MakeTopWindow(const wchar_t* ATitle) {
    HWND wnd = CreateWindowExW(0, L"STATIC", ATitle, WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 120, 60, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    return wnd;
}

const wchar_t* const kTestGuard = L"WIZ_TEST_GUARD_PROPERTY";

}  // namespace

TEST(IndividualMutex, ActivatesEveryWindowWhosePropertyIsOne) {
    HWND one = MakeTopWindow(L"one");
    HWND two = MakeTopWindow(L"two");
    HWND other = MakeTopWindow(L"other value");
    ASSERT_TRUE(one && two && other);
    EXPECT_FALSE(ActivateRunningInstance(kTestGuard));

    SetPropW(one, kTestGuard, (HANDLE)1);
    SetPropW(two, kTestGuard, (HANDLE)1);
    SetPropW(other, kTestGuard, (HANDLE)2);
    ShowWindow(one, SW_MINIMIZE);
    ShowWindow(two, SW_MINIMIZE);
    ShowWindow(other, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(one) && IsIconic(two) && IsIconic(other));

    EXPECT_TRUE(ActivateRunningInstance(kTestGuard));
    EXPECT_FALSE(IsIconic(one));
    EXPECT_FALSE(IsIconic(two));   // the walk does not stop at the first match
    EXPECT_TRUE(IsIconic(other));
    const HWND foreground = GetForegroundWindow();
    EXPECT_TRUE(foreground == one || foreground == two);

    for (HWND w : {one, two, other}) {
        RemovePropW(w, kTestGuard);
        DestroyWindow(w);
    }
}

TEST(IndividualMutex, HoldsTheMutexAndMarksTheApplicationWindow) {
    HWND app = MakeTopWindow(L"application");
    const HWND previous = KWGetApplicationWindow();
    KWSetApplicationWindow(app);

    ASSERT_TRUE(IndividualMutex_Acquire());
    EXPECT_EQ((INT_PTR)GetPropW(app, IndividualMutexName), 1);
    HANDLE seen = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"ORVANE_LUMIVERA_QUILLBOX_INSTALLER");
    EXPECT_NE(seen, nullptr);
    if (seen) CloseHandle(seen);

    // A second start finds the mutex and brings the marked window forward instead.
    ShowWindow(app, SW_MINIMIZE);
    EXPECT_FALSE(IndividualMutex_Acquire());
    EXPECT_FALSE(IsIconic(app));

    IndividualMutex_Release();
    EXPECT_EQ(GetPropW(app, IndividualMutexName), nullptr);
    seen = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, IndividualMutexName);
    EXPECT_EQ(seen, nullptr);
    if (seen) CloseHandle(seen);

    KWSetApplicationWindow(previous);
    DestroyWindow(app);
}
