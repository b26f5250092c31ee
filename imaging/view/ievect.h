// Set-up of the vector-object unit (stand-in: the clipboard format only; the text-editing
// shortcuts and the list of custom object classes come with the unit).
#pragma once
#include <cstdint>

// The clipboard format "PICTURA VECT" (0 before the set-up and without a clipboard).
extern uint32_t IEVectClipboardFormat;

void IEVectInitialize();
void IEVectFinalize();
