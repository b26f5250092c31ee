#include "KWCommonLib_shell.h"

#include <atomic>

namespace {

std::atomic<HWND> ApplicationWindow{nullptr};

const wchar_t MainWindowHandleProp[] = L"KW_MAIN_WINDOW_HANDLE";

}  // namespace

// ---- Windows and the debug-viewer channel ---------------------------------------------------

void KWSetApplicationWindow(HWND AWnd) { ApplicationWindow = AWnd; }
HWND KWGetApplicationWindow() { return ApplicationWindow; }

bool KWFindWindowByProp(const std::wstring& APropName, HWND& AWnd) {
    AWnd = nullptr;
    for (HWND wnd = GetWindow(GetDesktopWindow(), GW_CHILD); wnd; wnd = GetWindow(wnd, GW_HWNDNEXT)) {
        if (GetPropW(wnd, APropName.c_str()) == reinterpret_cast<HANDLE>(1)) {
            AWnd = wnd;
            return true;
        }
    }
    return false;
}

bool KWGetMainWindowHandleProp(HWND AWnd, HWND& AHandle) {
    try {
        AHandle = static_cast<HWND>(GetPropW(AWnd, MainWindowHandleProp));
        return true;
    } catch (...) {
        return false;
    }
}

// A synchronous send would tie the caller to the receiver's message loop: a viewer that hangs
// would stop the logger's worker and with it the program's shut-down. SMTO_ABORTIFHUNG gives up at
// once on a receiver that the system already knows to be hung, the timeout on any other.
bool KWSendCopyData(HWND AWnd, int32_t AData, const std::wstring& AText) {
    try {
        if (!IsWindow(AWnd)) return false;
        COPYDATASTRUCT cds{};
        cds.dwData = ULONG_PTR(uint32_t(AData));
        cds.cbData = DWORD(2 * (AText.size() + 1));
        cds.lpData = const_cast<wchar_t*>(AText.c_str());
        DWORD_PTR answer = 0;
        return SendMessageTimeoutW(AWnd, WM_COPYDATA, WPARAM(KWGetApplicationWindow()), LPARAM(&cds),
                                   SMTO_ABORTIFHUNG | SMTO_BLOCK, KWCopyDataTimeout, &answer) != 0;
    } catch (...) {
        return false;
    }
}

// ---- System ---------------------------------------------------------------------------------

bool KWIsDebugging() { return IsDebuggerPresent() != FALSE; }
