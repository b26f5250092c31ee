#include "IndividualMutex.h"

#include "KWCommonLib.h"
#include "UnitInit.h"
#include "WinApi.h"

const wchar_t* const IndividualMutexName = L"ORVANE_LUMIVERA_QUILLBOX_INSTALLER";

namespace {

HANDLE GuardMutex = nullptr;
HWND GuardWindow = nullptr;

}  // namespace

bool ActivateRunningInstance(const std::wstring& AGuardName) {
    bool found = false;
    for (HWND wnd = GetWindow(GetDesktopWindow(), GW_CHILD); wnd; wnd = GetWindow(wnd, GW_HWNDNEXT)) {
        if ((INT_PTR)GetPropW(wnd, AGuardName.c_str()) != 1) continue;
        found = true;
        if (IsIconic(wnd)) ShowWindow(wnd, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(wnd));
    }
    return found;
}

bool IndividualMutex_Acquire() {
    HANDLE running = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, IndividualMutexName);
    if (running) {
        ActivateRunningInstance(IndividualMutexName);
        CloseHandle(running);
        return false;
    }
    GuardMutex = CreateMutexW(nullptr, FALSE, IndividualMutexName);
    GuardWindow = KWGetApplicationWindow();
    if (GuardWindow) SetPropW(GuardWindow, IndividualMutexName, (HANDLE)1);
    return true;
}

void IndividualMutex_Release() {
    if (GuardWindow) {
        RemovePropW(GuardWindow, IndividualMutexName);
        GuardWindow = nullptr;
    }
    if (GuardMutex) {
        CloseHandle(GuardMutex);
        GuardMutex = nullptr;
    }
}

void IndividualMutex_Initialize() {
    if (!IndividualMutex_Acquire()) Halt(0);
}

void IndividualMutex_Finalize() { IndividualMutex_Release(); }

void IndividualMutex_Register() {
    RegisterUnit(L"IndividualMutex", urSingleInstance, IndividualMutex_Initialize, IndividualMutex_Finalize);
}
