// One step of the application's message loop.
#include "KWCommonClass.h"

#include "WinApi.h"

bool KWHandleOneMessage(IKWApplication* AApplication, MSG& AMsg) {
    if (!PeekMessageW(&AMsg, nullptr, 0, 0, PM_NOREMOVE) || AMsg.message == WM_QUIT) return false;
    if (!PeekMessageW(&AMsg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (AMsg.message == WM_QUIT) {
        PostQuitMessage(0);
        return false;
    }
    if (AApplication) {
        bool handled = false;
        AApplication->DoOnMessage(AMsg, handled);
        if (AApplication->IsPreProcessMessage(AMsg) || AApplication->IsHintMsg(AMsg) || handled ||
            AApplication->IsMDIMsg(AMsg) || AApplication->IsKeyMsg(AMsg) || AApplication->IsDlgMsg(AMsg))
            return true;
    }
    TranslateMessage(&AMsg);
    DispatchMessageW(&AMsg);
    return true;
}

bool KWHandleOneMessage(MSG& AMsg) {
    return KWHandleOneMessage(KWGetApplication(), AMsg);
}
