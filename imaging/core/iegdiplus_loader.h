// GDI+ on demand: gdiplus.dll is loaded by the first acquire and its flat interface resolved by
// name; the release that brings the count back to 0 shuts it down and unloads it. Without the
// library (or outside Windows) nothing is loaded and every drawing wrapper takes the plain GDI
// road. The count belongs to the GUI thread and is not locked.
#pragma once
#include <cstdint>
#include <string>

// The switch that allows GDI+ (the start-up sets it; nothing in the program clears it).
extern bool IEUseGdiPlus;

// Counts one user; loads and starts GDI+ when it is allowed and not loaded yet. A library that
// cannot be loaded or misses an entry leaves GDI+ unloaded (the count stays); one that does not
// start is released at once (the count drops again).
void IEGdiPlusAcquire();
// Ends one user (never below 0); the last one shuts GDI+ down and unloads it.
void IEGdiPlusRelease();
// The library is loaded.
bool IEGdiPlusLoaded();
// GDI+ is allowed and loaded: drawing wrappers use it.
bool IEGdiPlusEnabled();
// The number of acquires not yet released.
int32_t IEGdiPlusAcquireCount();
// Puts the unit state back: allowed, not loaded, count 0 (the start-up step).
void IEGdiPlusResetState();

// The file loaded by the acquire ("gdiplus.dll"); tests point it at a missing file to take the
// road of a system without GDI+.
extern std::wstring IEGdiPlusLibraryName;
