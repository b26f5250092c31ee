#include "iegdiplus.h"

bool IEGDIPlusEnabled = false;
void* IEGDIPlusLibrary = nullptr;
int32_t IEGDIPlusUseCount = 0;

void IEGdiPlusInitialize() {
    IEGDIPlusEnabled = true;
    IEGDIPlusLibrary = nullptr;
    IEGDIPlusUseCount = 0;
}

void IEGdiPlusFinalize() {}
