// The native build has no TWAIN and no WIA: no window or library of a session ever exists, and the
// WIA object has no device manager and no registration.
#include "picturaio_acquire.h"
#include "picturaio_acquire_platform.h"

uintptr_t IETWActiveWindow() { return 0; }
bool IETWWindowExists(uintptr_t) { return false; }
void IETWDestroyWindow(uintptr_t) {}
void IETWFreeLibrary(uintptr_t) {}
void IEOleUninitialize() {}

void TIEWia::Open(IWiaDevMgr*, bool) { OleInitialized = false; }
void TIEWia::Close() {}
