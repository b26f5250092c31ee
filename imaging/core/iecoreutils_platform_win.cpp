#include "WinApi.h"
#include "iecoreutils_platform.h"

uint32_t IEResolveColor(int32_t Color) {
    if (Color >= 0) return static_cast<uint32_t>(Color);
    return static_cast<uint32_t>(GetSysColor(static_cast<int>(Color & 0xFF)));
}

uint8_t IEGetWindowsVersionIndex() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    // GetVersionExW is deprecated in the headers but is the call whose answer the index describes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const bool ok = GetVersionExW(&info) != FALSE;
#pragma GCC diagnostic pop
    return IEWindowsVersionIndexOf(ok, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

uint16_t IEUserDefaultLangID() { return GetUserDefaultLangID(); }
