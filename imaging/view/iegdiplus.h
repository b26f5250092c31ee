// Set-up of the GDI+ drawing wrappers (stand-in: only the switches that the start-up sets).
#pragma once
#include <cstdint>

// GDI+ may be used; the library is loaded on first use (null until then) and counted.
extern bool IEGDIPlusEnabled;
extern void* IEGDIPlusLibrary;
extern int32_t IEGDIPlusUseCount;

void IEGdiPlusInitialize();
void IEGdiPlusFinalize();   // does nothing
