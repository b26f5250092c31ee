// The set-up and tear-down steps of the library's defaults: the grey weights (21, 71 and 8 per
// cent) and the background of the library's dialogs.
#pragma once
#include <cstdint>

// 0 plain, 1 horizontal grey stripes, 2 brushed metal.
extern uint8_t IEDialogsBackground;

void IECoreDefsInitialize();
// Does nothing: the word table and the version text are released with the unit itself.
void IECoreDefsFinalize();
