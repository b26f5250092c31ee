#include "iecoreutils_startup.h"

#include <cmath>

#include "SysUtils.h"
#include "iecoreutils_font.h"
#include "iecoreutils_platform.h"
#include "iecoreutils_threads.h"
#include "iewords.h"

uint8_t IEWindowsVersionIndex = 9;
bool IEIsWinNT = true;
TResampleFilter IEPreviewsZoomFilter = rfFastLinear;
int64_t IEDefaultMinFileSize = -1;
bool IEAllowFileFallback = true;
bool IEAllowSegments = true;
int64_t IEMaxImagePixels = (int64_t)1 << 28;
void* IEColorManagementModule = nullptr;
int32_t IECosineTable[256];

bool IEImageSizeAllowed(int64_t Width, int64_t Height) {
    if (Width < 0 || Height < 0) return false;
    if (IEMaxImagePixels <= 0 || Width == 0 || Height == 0) return true;
    // Width x Height > limit without forming a product that could overflow.
    return Width <= IEMaxImagePixels / Height;
}

void IECoreUtilsInitialize() {
    IECachedCoreCount = -1;
    IEWindowsVersionIndex = IEGetWindowsVersionIndex();
    IEIsWinNT = IEWindowsVersionIndex > 2;
    IEPreviewsZoomFilter = rfFastLinear;
    IEInitWords();
    IEFreeDefaultFont();   // made again on first use
    IEDefaultMinFileSize = -1;
    IEAllowFileFallback = true;
    IEAllowSegments = true;
    IEColorManagementModule = nullptr;
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int i = 0; i < 256; ++i) IECosineTable[i] = (int32_t)Round(64.0L - 64.0L * std::cos(i * pi / 255.0L));
}

void IECoreUtilsFinalize() {
    IEFreeDefaultFont();
    IEFreeLibrary(IEColorManagementModule);
}
