// Set-up of the viewer unit (stand-in: it fills the default resolution and the remote-session and
// MMX flags, which every image folder reads from the core (iecoredefs_settings.h), and the
// pixel-grid zoom threshold; the screen metrics and the shared pen come with the viewer).
#pragma once
#include <cstdint>

#include "iecoredefs_settings.h"

// The zoom (per cent) from which the viewer draws the pixel grid.
extern int32_t IEPixelGridZoomThreshold;

void IEPicturaViewInitialize();
void IEPicturaViewFinalize();
