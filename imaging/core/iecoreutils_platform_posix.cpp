// The native build's answers: no system colour table, no Windows version, an English user.
#include "iecoreutils_platform.h"

uint32_t IEResolveColor(int32_t Color) { return Color >= 0 ? static_cast<uint32_t>(Color) : 0; }

uint8_t IEGetWindowsVersionIndex() { return IEWindowsVersionIndexOf(false, 0, 0, 0); }

uint16_t IEUserDefaultLangID() { return 0x0409; }
