// Keys of the viewer: the application may claim special keys (arrows, Tab, Return...) that the
// form would otherwise use for dialog navigation, and hears every virtual key going down and up.
#include <windows.h>

#include "picturaview_control.h"

namespace {

// The shift state of a key message: Alt from the key data, Shift and Ctrl from the keyboard.
TShiftState KeyDataShiftState(uint32_t KeyData) {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (KeyData & 0x20000000u) s |= ssAlt;
    return s;
}

}  // namespace

void TPicturaView::CNKeyDown(TMessage& Message) {
    bool handled = false;
    if (OnSpecialKey)
        OnSpecialKey(this, uint16_t(Message.WParam), KeyDataShiftState(uint32_t(Message.LParam)), handled);
    // A claimed key is left to the view's own key handling instead of the form's.
    if (handled)
        Message.Result = 0;
    else
        TIEView::CNKeyDown(Message);
    if (Message.Msg == CN_KEYDOWN && OnVirtualKey)
        OnVirtualKey(this, uint16_t(Message.WParam), uint32_t(Message.LParam), true);
}

void TPicturaView::VirtualKeyMessage(TMessage& Message, bool KeyDown) {
    TIEView::Dispatch(Message);
    if (OnVirtualKey) OnVirtualKey(this, uint16_t(Message.WParam), uint32_t(Message.LParam), KeyDown);
}
