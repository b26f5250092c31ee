// The logger's Windows half: the debug-viewer channel, the debugger output, the worker's priority
// and the flush clock.
#include "KWLogger.h"

#include "KWCommonLib_shell.h"
#include "WinApi.h"

namespace {

// Echo of each entry to the debugger output while a debugger is attached: off.
constexpr bool LogToDebugger = false;

// The debug-viewer link, decided once at start-up; touched by the worker, and at shut-down by the
// stopping thread after the worker has ended.
std::atomic<bool> ViewerActive{false};
HWND ViewerWindow = nullptr;
HWND ViewerTarget = nullptr;

}  // namespace

void KWDebugOutput(const std::wstring& AText) {
    if (KWIsDebugging()) OutputDebugStringW(AText.c_str());
}

// A viewer whose window has gone, or that did not take a line in time, is given up for good: a
// hung viewer then costs one timeout, not one per line.
void KWSendToDebugWindow(const std::wstring& ALine) {
    if (LogToDebugger && KWIsDebugging()) return;
    if (!ViewerActive) return;
    if (!IsWindow(ViewerTarget) || !KWSendCopyData(ViewerTarget, 1, ALine)) ViewerActive = false;
}

bool KWViewerActive() { return ViewerActive; }

void KWProbeDebugViewer() {
    ViewerActive = false;
    ViewerWindow = nullptr;
    ViewerTarget = nullptr;
    HANDLE mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, KWDebugWindowName);
    if (mutex) {
        KWFindWindowByProp(KWDebugWindowName, ViewerWindow);
        HWND target = nullptr;
        const bool read = KWGetMainWindowHandleProp(ViewerWindow, target);
        ViewerTarget = target;
        ViewerActive = read && IsWindow(ViewerTarget);
        CloseHandle(mutex);
    }
}

void KWLowerLoggerThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

uint32_t KWLogTickCount() { return GetTickCount(); }
