#include "picturaproc_hooks.h"

#include "ieprochooks.h"
#include "iequantizer.h"
#include "picturaproc_blur.h"
#include "picturaproc_bw.h"
#include "picturaproc_dib.h"
#include "picturaproc_histogram.h"
#include "picturaproc_pixels.h"
#include "picturaproc_resample.h"

namespace {

std::unique_ptr<IIEQuantizer> NewQuantizer(TIEBitmap* Bitmap, TIERGB* Palette, int32_t Reserved, int32_t ColorCount) {
    return std::make_unique<TIEQuantizer>(Bitmap, Palette, Reserved, ColorCount);
}

}  // namespace

void IEInstallPicturaProcHooks() {
    IENewQuantizerHook = NewQuantizer;

    IEResampleHook = IEResample;
    IEResampleIEBitmapHook = IEResampleIEBitmap;
    IEResampleNoFilterHook = IEResampleNoFilter;
    IEResampleGray8Hook = IEResampleGray8;
    IEResample1BitHook = IEResample1Bit;
    IEResample1BitAverageHook = IEResample1BitAverage;

    IEThresholdTo1BitHook = IEThresholdTo1Bit;
    IEConvertToBWThresholdHook = IEConvertToBWThreshold;
    IEConvertTo1BitIfTwoColorsHook = IEConvertTo1BitIfTwoColors;
    IENearestPaletteColorHook = IENearestPaletteColor;
    IEMatchHistogramHook = IEMatchHistogram;

    IEGetBitHook = IEGetBit;
    IESetBitHook = IESetBit;
    IECopyBitsHook = IECopyBits;
    IENotBitmapHook = IENotBitmap;
    IESwapRBHook = IESwapRB;
    IECopySwapRBHook = IECopySwapRB;
    IESwapRB48Hook = IESwapRB48;
    IESwapRBPaletteHook = IESwapRBPalette;
    IERGBToHSLHook = IERGBToHSL;
    IEHSLToRGBHook = IEHSLToRGB;

    IEGaussianBlurGray8Hook = IEGaussianBlurGray8;

    IEDIBToIEBitmapHook = IEDIBToIEBitmap;
    IEDrawDIBToDibbitmapHook = IEDrawDIBToDibbitmap;
    IECopyBitmaptoDIBExHook = _CopyBitmaptoDIBEx;
    IEDIBGlobalLockHook = IEDIBGlobalLock;
    IEDIBGlobalUnlockHook = IEDIBGlobalUnlock;
    IEDIBGlobalSizeHook = IEDIBGlobalSize;
    IEDIBGlobalFreeHook = IEDIBGlobalFree;
}
