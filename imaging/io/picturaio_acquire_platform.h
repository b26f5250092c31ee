// The platform's part of the acquisition objects: windows and libraries of a TWAIN session, and
// the end of the OLE use of the WIA object (picturaio_acquire_win.cpp; the native build has none
// of them, picturaio_acquire_posix.cpp).
#pragma once

#include <cstdint>

// The active window (0 when none).
uintptr_t IETWActiveWindow();
bool IETWWindowExists(uintptr_t Window);
void IETWDestroyWindow(uintptr_t Window);
void IETWFreeLibrary(uintptr_t Library);
void IEOleUninitialize();
