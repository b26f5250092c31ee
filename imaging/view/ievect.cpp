#include "ievect.h"

#include "iecoreutils_threads.h"

uint32_t IEVectClipboardFormat = 0;

void IEVectInitialize() {
    IEVectClipboardFormat = IERegisterClipboardFormat(L"PICTURA VECT");
}

void IEVectFinalize() {}
