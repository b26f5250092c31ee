#include "ieprochooks.h"

int32_t IEQuantizerMode = -1;
int32_t IENeuQuantQuality = -1;

namespace {

// What every procedure variable holds until the processing library installs its routine: one
// function per signature, made by the compiler from the variable's type.
template <typename R, typename... A>
R NotInstalled(A...) {
    throw EIEProcNotInstalled(L"The image processing routines are not installed (IEStaticInitialize was not called)");
}

}  // namespace

TIENewQuantizerProc IENewQuantizerHook = NotInstalled;

void (*IEResampleHook)(TIEBaseBitmap*, TIEBaseBitmap*, TIEBitmap*, TResampleFilter, const TIEProgressEvent&,
                       TObject*) = NotInstalled;
void (*IEResampleIEBitmapHook)(TIEBitmap*, TIEBitmap*, TResampleFilter, const TIEProgressEvent&,
                               TObject*) = NotInstalled;
void (*IEResampleNoFilterHook)(TIEBitmap*, TIEBitmap*, TObject*, const TIEProgressEvent&) = NotInstalled;
void (*IEResampleGray8Hook)(TIEBitmap*, TIEBitmap*, TResampleFilter) = NotInstalled;
void (*IEResample1BitHook)(TIEBitmap*, TIEBitmap*, TResampleFilter) = NotInstalled;
void (*IEResample1BitAverageHook)(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, TIEBitmap*) = NotInstalled;

void (*IEThresholdTo1BitHook)(TIEBitmap*, TIEBitmap*, int32_t, TIOProgressRecord&) = NotInstalled;
void (*IEConvertToBWThresholdHook)(TIEBitmap*, int32_t, const TIEProgressEvent&, TObject*) = NotInstalled;
std::unique_ptr<TIEBitmap> (*IEConvertTo1BitIfTwoColorsHook)(TIEBitmap*, TIERGB&, TIERGB&) = NotInstalled;
int32_t (*IENearestPaletteColorHook)(const TIERGB*, int32_t, const TIERGB&) = NotInstalled;
void (*IEMatchHistogramHook)(TIEBitmap*, TIEBitmap*) = NotInstalled;

int32_t (*IEGetBitHook)(const void*, int32_t) = NotInstalled;
void (*IESetBitHook)(void*, int32_t, bool) = NotInstalled;
void (*IECopyBitsHook)(void*, const void*, int32_t, int32_t, int32_t, int32_t) = NotInstalled;
void (*IENotBitmapHook)(TIEBitmap*) = NotInstalled;
void (*IESwapRBHook)(void*, int32_t) = NotInstalled;
void (*IECopySwapRBHook)(void*, const void*, int32_t) = NotInstalled;
void (*IESwapRB48Hook)(void*, int32_t) = NotInstalled;
void (*IESwapRBPaletteHook)(TIERGB*, int32_t, int32_t) = NotInstalled;
void (*IERGBToHSLHook)(const TIERGB&, double&, double&, double&) = NotInstalled;
void (*IEHSLToRGBHook)(TIERGB&, double, double, double) = NotInstalled;

void (*IEGaussianBlurGray8Hook)(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, double) = NotInstalled;

int32_t (*IEDIBToIEBitmapHook)(const void*, TIEBitmap*, const void*, bool) = NotInstalled;
uint16_t (*IEDrawDIBToDibbitmapHook)(const void*, TIEDibbitmap*, const void*, bool) = NotInstalled;
void* (*IECopyBitmaptoDIBExHook)(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) = NotInstalled;
uint8_t* (*IEDIBGlobalLockHook)(void*) = NotInstalled;
void (*IEDIBGlobalUnlockHook)(void*) = NotInstalled;
size_t (*IEDIBGlobalSizeHook)(void*) = NotInstalled;
void (*IEDIBGlobalFreeHook)(void*) = NotInstalled;
