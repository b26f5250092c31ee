// Outside Windows there is no GDI+: acquires only count.
#include "iegdiplus_loader.h"

bool IEUseGdiPlus = false;
std::wstring IEGdiPlusLibraryName = L"gdiplus.dll";

namespace {
int32_t gAcquireCount = 0;
}

void IEGdiPlusAcquire() { ++gAcquireCount; }
void IEGdiPlusRelease() {
    if (gAcquireCount > 0) --gAcquireCount;
}
bool IEGdiPlusLoaded() { return false; }
bool IEGdiPlusEnabled() { return false; }
int32_t IEGdiPlusAcquireCount() { return gAcquireCount; }
void IEGdiPlusResetState() {
    IEUseGdiPlus = true;
    gAcquireCount = 0;
}
