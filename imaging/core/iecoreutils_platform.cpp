#include "iecoreutils_platform.h"

uint8_t IEWindowsVersionIndexOf(bool Ok, uint32_t PlatformId, uint32_t Major, uint32_t Minor) {
    if (!Ok) return 9;
    if (PlatformId == 1) {   // the Windows 9x family
        if (Major != 4) return 9;
        switch (Minor) {
        case 0: return 0;
        case 10: return 1;
        case 90: return 2;
        default: return 9;
        }
    }
    if (PlatformId == 2) {   // the NT family
        if (Major == 4 && Minor == 0) return 3;
        if (Major == 5 && Minor <= 2) return static_cast<uint8_t>(4 + Minor);
        if (Major == 6 && Minor <= 1) return static_cast<uint8_t>(7 + Minor);
        return 9;
    }
    return 9;
}
