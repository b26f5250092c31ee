#include "KWCommonLib_controls.h"

void KWInvalidateControl(TControl* AControl, bool AErase) {
    if (!AControl) return;
    auto* w = dynamic_cast<TWinControl*>(AControl);
    if (!w) {
        AControl->Invalidate();
        return;
    }
    if (w->HandleAllocated()) {
        RedrawWindow(w->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        InvalidateRect(w->Handle(), nullptr, AErase ? TRUE : FALSE);
    }
    if (w->ControlStyle & csAcceptsControls) {
        for (int32_t i = 0; i < w->ControlCount(); ++i) KWInvalidateControl(w->Controls(i), AErase);
    }
}

void KWInvalidateControlsBelow(TWinControl* APanel, bool AErase) {
    if (!APanel || !APanel->HandleAllocated() || !APanel->Parent()) return;
    TWinControl* parent = APanel->Parent();
    bool passed = false;
    for (int32_t i = parent->ControlCount() - 1; i >= 0; --i) {
        TControl* c = parent->Controls(i);
        if (passed) KWInvalidateControl(c, AErase);
        else if (c == APanel) passed = true;
    }
}
