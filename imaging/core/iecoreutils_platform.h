// The few system queries of the core's helpers, behind one portable header. The Windows build
// asks the system; the native build answers as a system without those services would.
#pragma once

#include <cstdint>

// A colour value with system colours resolved: a negative value ($FF0000nn) becomes the current
// RGB of system colour nn ($BBGGRR); other values are returned unchanged. Without the system's
// colour table (native build) a system colour resolves to black.
uint32_t IEResolveColor(int32_t Color);

// The Windows version index (0 Windows 95 .. 8 Windows 7, 9 any other or unknown), from the
// system's version record; 9 where there is none.
uint8_t IEGetWindowsVersionIndex();

// The index for a version record: Ok false (the query failed) gives 9; platform 1 (the 9x
// family) and 2 (NT) are mapped by major and minor version; anything else gives 9.
uint8_t IEWindowsVersionIndexOf(bool Ok, uint32_t PlatformId, uint32_t Major, uint32_t Minor);

// The language identifier of the Windows user's locale (primary language in bits 0-9,
// sub-language in bits 10-15); English (United States, 0x0409) where the system has none.
uint16_t IEUserDefaultLangID();
