#include "picturaview.h"

#include "iecoreutils_threads.h"

int32_t IEDefaultDPIX = 0;
int32_t IEDefaultDPIY = 0;
bool IEGlobalRemoteSession = false;
bool IEGlobalHasMMX = false;
int32_t IEPixelGridZoomThreshold = 0;

void IEPicturaViewInitialize() {
    IEGlobalRemoteSession = IEIsRemoteSession();
    IEDefaultDPIX = 300;
    IEDefaultDPIY = 300;
    IEGlobalHasMMX = IEHasMMX();
    IEPixelGridZoomThreshold = 400;
}

void IEPicturaViewFinalize() {}
