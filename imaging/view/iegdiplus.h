// Start-up and shut-down of the GDI+ drawing unit. The loader (IEGdiPlusAcquire, ...) and the
// drawing wrappers live with the core (iegdiplus_loader.h, iegdiplus_canvas.h), because the core's
// own drawing routines use them too.
#pragma once
#include "iegdiplus_loader.h"

// GDI+ allowed, nothing loaded, count 0.
void IEGdiPlusInitialize();
void IEGdiPlusFinalize();   // does nothing
