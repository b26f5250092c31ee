// The viewer's selection aspect setter.
#include <windows.h>

#include <algorithm>

#include "picturaview_control.h"

void TPicturaView::SetSelectionAspectRatio(double Value) {
    if (Value == SelectionAspectRatio) return;
    SelectionAspectRatio = Value;
    SetSelectionOptions(Value != 0 ? (FSelectionOptions | iesoSizeable) : (FSelectionOptions & ~iesoSizeable));
}
