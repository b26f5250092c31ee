// Start-up and shut-down of the viewer unit, and the screen facts it gathers for the other image
// folders: the screen's colour depth and resolution, the system metrics the viewer lays itself out
// with, the default image resolution (300 x 300), the remote-session and MMX flags, the pixel-grid
// zoom threshold and the shared grid pen. The viewer control itself is in picturaview_control.h
// (Windows build); this header builds natively too, where the screen facts keep their defaults.
#pragma once
#include <cstdint>

#include "iecoredefs_settings.h"

class TPen;

// The zoom (per cent) from which the viewer draws the pixel grid.
extern int32_t IEPixelGridZoomThreshold;
// Bits per pixel of the screen.
extern int32_t IEScreenColorDepth;
// The screen's resolution (IEScreenDPIX, IEScreenDPIY) lives in iecoredefs_settings.h: the core's
// Wang annotations read it too.
// System metrics: SM_CXEDGE, SM_CYEDGE, SM_CXBORDER, SM_CYBORDER, SM_CYHSCROLL, SM_CXVSCROLL.
extern int32_t IEMetricCXEdge, IEMetricCYEdge, IEMetricCXBorder, IEMetricCYBorder, IEMetricCYHScroll,
    IEMetricCXVScroll;
// The shared pen of the pixel grid (inverting, solid, width 1); exists between start-up and
// shut-down of the Windows build.
extern TPen* IEGridPen;

// Fills the globals above (and those of iecoredefs_settings.h the viewer owns).
void IEPicturaViewSetupGlobals();
void IEPicturaViewInitialize();
void IEPicturaViewFinalize();
