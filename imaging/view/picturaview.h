// Set-up of the viewer unit (stand-in: the default resolution, the remote-session and MMX flags
// and the pixel-grid zoom threshold; the screen metrics and the shared pen come with the viewer).
#pragma once
#include <cstdint>

// The resolution that codecs give an image whose file carries none: 300 x 300 after the set-up.
extern int32_t IEDefaultDPIX;
extern int32_t IEDefaultDPIY;
extern bool IEGlobalRemoteSession;
extern bool IEGlobalHasMMX;
// The zoom (per cent) from which the viewer draws the pixel grid.
extern int32_t IEPixelGridZoomThreshold;

void IEPicturaViewInitialize();
void IEPicturaViewFinalize();
