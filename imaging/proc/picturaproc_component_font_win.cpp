#include "Graphics.h"
#include "picturaproc_component.h"

TFont* IECreatePreviewFont() { return new TFont; }

void IEFreePreviewFont(TFont* Font) { delete Font; }

void IEAssignPreviewFont(TFont* Dest, TFont* Source) {
    if (Dest && Source && Dest != Source) Dest->Assign(Source);
}
