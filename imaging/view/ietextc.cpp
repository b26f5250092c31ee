#include "ietextc.h"

#include "iecoreutils_threads.h"

uint32_t IETextControlClipboardFormat = 0;

void IETextControlInitialize() {
    IETextControlClipboardFormat = IERegisterClipboardFormat(L"PICTURA TEXTMEMO");
}

void IETextControlFinalize() {}
