#include "picturaview.h"

#include "iecoreutils_threads.h"

int32_t IEPixelGridZoomThreshold = 0;

void IEPicturaViewInitialize() {
    IEGlobalRemoteSession = IEIsRemoteSession();
    IEDefaultDPIX = 300;
    IEDefaultDPIY = 300;
    IEGlobalHasMMX = IEHasMMX();
    IEPixelGridZoomThreshold = 400;
}

void IEPicturaViewFinalize() {}
