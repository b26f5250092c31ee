#include "iecoreutils_startup.h"

uint8_t IEWindowsVersionIndex = 9;
bool IEIsWinNT = true;
TResampleFilter IEPreviewsZoomFilter = rfFastLinear;
int64_t IEDefaultMinFileSize = -1;
bool IEAllowFileFallback = true;
bool IEAllowSegments = true;
void* IEColorManagementModule = nullptr;
int32_t IECosineTable[256];
