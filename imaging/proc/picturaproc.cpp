#include "picturaproc.h"

#include <cstring>

#include "iecoreutils_threads.h"

uint8_t IEBitToRGBTable[256][24];
uint32_t IERawClipboardFormat = 0;

void IEInitializePicturaProc() {
    for (int b = 0; b < 256; ++b)
        for (int bit = 0; bit < 8; ++bit) std::memset(&IEBitToRGBTable[b][bit * 3], (b & (0x80 >> bit)) ? 255 : 0, 3);
    IERawClipboardFormat = IERegisterClipboardFormat(L"PICTURA RAW FORMAT");
}

void IEFinalizePicturaProc() {}
