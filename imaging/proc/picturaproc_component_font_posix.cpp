// The native build has no fonts: the processing dialogs' font is absent.
#include "picturaproc_component.h"

TFont* IECreatePreviewFont() { return nullptr; }

void IEFreePreviewFont(TFont*) {}

void IEAssignPreviewFont(TFont*, TFont*) {}
