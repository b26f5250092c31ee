// Set-up of the processing unit (stand-in: the 1-bit expansion table and the raw clipboard
// format; the preset 3 x 3 filters come with the unit).
#pragma once
#include <cstdint>

// Entry b: the eight 24-bit pixels of the 1-bit row byte b, most significant bit first, each
// 0 or 255 in all three bytes.
extern uint8_t IEBitToRGBTable[256][24];
// The clipboard format "PICTURA RAW FORMAT" (0 before the set-up and without a clipboard).
extern uint32_t IERawClipboardFormat;

void IEInitializePicturaProc();
void IEFinalizePicturaProc();
