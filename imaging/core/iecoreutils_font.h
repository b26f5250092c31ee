// The shared dialog font of the image library: made on first use, freed at the library's
// shut-down. The native build has no fonts (null).
#pragma once

class TFont;

// "Segoe UI" with height -12 on Vista and later (version index 7, 8 or 9) when the screen has it,
// else "Tahoma" with height -11; default character set, the window-text colour, no style.
TFont* IEGetDefaultFont();
// Frees the font when it exists.
void IEFreeDefaultFont();
