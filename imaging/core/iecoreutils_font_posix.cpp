// The native build has no fonts.
#include "iecoreutils_font.h"

TFont* IEGetDefaultFont() { return nullptr; }
void IEFreeDefaultFont() {}
