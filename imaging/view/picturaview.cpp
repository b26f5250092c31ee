#include "picturaview.h"

#include "iecoreutils_threads.h"

int32_t IEPixelGridZoomThreshold = 0;
int32_t IEScreenColorDepth = 24;
int32_t IEMetricCXEdge = 2, IEMetricCYEdge = 2, IEMetricCXBorder = 1, IEMetricCYBorder = 1, IEMetricCYHScroll = 17,
        IEMetricCXVScroll = 17;
TPen* IEGridPen = nullptr;

// The screen facts (picturaview_screen_win.cpp; the native build keeps the defaults above).
void IEReadScreenFacts();
// Creates and frees the grid pen and unloads MSIMG32 (Windows build).
void IECreateGridPen();
void IEFreeViewResources();

void IEPicturaViewSetupGlobals() {
    IEReadScreenFacts();
    IEGlobalRemoteSession = IEIsRemoteSession();
    IEDefaultDPIX = 300;
    IEDefaultDPIY = 300;
    IEGlobalHasMMX = IEHasMMX();
    IEPixelGridZoomThreshold = 400;
    IECreateGridPen();
}

void IEPicturaViewInitialize() { IEPicturaViewSetupGlobals(); }

void IEPicturaViewFinalize() { IEFreeViewResources(); }
