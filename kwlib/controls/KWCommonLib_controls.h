// KWCommonLib, the part that works on controls: invalidating a control with its children, and the
// controls that lie behind a panel. It lives with the visual units because it needs them.
#pragma once
#include "Controls.h"

// A control without a window is invalidated; a windowed control with a window is redrawn with its
// frame and invalidated (erasing when AErase); a control that accepts child controls then does
// the same for each child, recursively.
void KWInvalidateControl(TControl* AControl, bool AErase);

// When APanel has its window: every control of APanel's parent that comes before APanel in the
// parent's list (the ones it lies over) is invalidated with KWInvalidateControl, the last first.
void KWInvalidateControlsBelow(TWinControl* APanel, bool AErase);
