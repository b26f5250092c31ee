// The processing routines that the buffer, the codecs and the I/O component call, as procedure
// variables. The routines live in the processing library (imaging/proc), above every folder that
// calls them here; its start-up (IEInstallPicturaProcHooks, run by IEStaticInitialize) points each
// variable at its routine, whose name is the variable's without "Hook" and whose header says what
// it does. Until then every variable raises EIEProcNotInstalled, so a program that skipped the
// start-up fails with a message instead of jumping to nothing.
//
// The quantizer settings live here too: the I/O start-up sets them, the quantizer reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Classes.h"
#include "SysUtils.h"
#include "iecoredefs_types.h"
#include "iecoreutils_startup.h"   // TResampleFilter
#include "picturaio_params.h"      // TIEProgressEvent, TIOProgressRecord

class TIEBaseBitmap;
class TIEBitmap;
class TIEDibbitmap;

// The quantizer's mode and NeuQuant quality: -1, automatic (the I/O set-up resets them).
extern int32_t IEQuantizerMode;
extern int32_t IENeuQuantQuality;

// Raised by a procedure variable below that was called before the processing library installed it.
KW_DECLARE_EXCEPTION(EIEProcNotInstalled, Exception);

// What the buffer and the codecs use of the colour quantizer (TIEQuantizer, iequantizer.h).
class IIEQuantizer {
public:
    virtual ~IIEQuantizer() = default;
    // The palette index for a colour of the image.
    virtual int32_t RGBIndex(const TIERGB& Color) const = 0;
    // True when the image is grey (the palette is a grey ramp).
    virtual bool GetIsGray() const = 0;
};

// A new quantizer of Bitmap writing its palette into Palette[0 .. ColorCount - 1] (TIEQuantizer's
// constructor).
using TIENewQuantizerProc = std::unique_ptr<IIEQuantizer> (*)(TIEBitmap* Bitmap, TIERGB* Palette, int32_t Reserved,
                                                              int32_t ColorCount);
extern TIENewQuantizerProc IENewQuantizerHook;

// ---- Resampling (picturaproc_resample.h) ----
extern void (*IEResampleHook)(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TIEBitmap* SourceAlpha,
                              TResampleFilter Filter, const TIEProgressEvent& OnProgress, TObject* Sender);
extern void (*IEResampleIEBitmapHook)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter,
                                      const TIEProgressEvent& OnProgress, TObject* Sender);
extern void (*IEResampleNoFilterHook)(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender,
                                      const TIEProgressEvent& OnProgress);
extern void (*IEResampleGray8Hook)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
extern void (*IEResample1BitHook)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
extern void (*IEResample1BitAverageHook)(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                         TIEBitmap* Dest);

// ---- Black and white, two colours, palettes, histograms (picturaproc_bw.h, picturaproc_histogram.h) ----
extern void (*IEThresholdTo1BitHook)(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold,
                                     TIOProgressRecord& Progress);
extern void (*IEConvertToBWThresholdHook)(TIEBitmap* Bitmap, int32_t Threshold, const TIEProgressEvent& OnProgress,
                                          TObject* Sender);
extern std::unique_ptr<TIEBitmap> (*IEConvertTo1BitIfTwoColorsHook)(TIEBitmap* Bitmap, TIERGB& Color0,
                                                                    TIERGB& Color1);
extern int32_t (*IENearestPaletteColorHook)(const TIERGB* Palette, int32_t Count, const TIERGB& Color);
extern void (*IEMatchHistogramHook)(TIEBitmap* Reference, TIEBitmap* Target);

// ---- Pixels and rows (picturaproc_pixels.h) ----
extern int32_t (*IEGetBitHook)(const void* Buffer, int32_t Index);
extern void (*IESetBitHook)(void* Buffer, int32_t Index, bool Value);
extern void (*IECopyBitsHook)(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceBitPos,
                              int32_t Count, int32_t SourceLen);
extern void (*IENotBitmapHook)(TIEBitmap* Bitmap);
extern void (*IESwapRBHook)(void* Buffer, int32_t Count);
extern void (*IECopySwapRBHook)(void* Dest, const void* Source, int32_t Count);
extern void (*IESwapRB48Hook)(void* Buffer, int32_t Count);
extern void (*IESwapRBPaletteHook)(TIERGB* Palette, int32_t Unused, int32_t Count);
extern void (*IERGBToHSLHook)(const TIERGB& Color, double& H, double& S, double& L);
extern void (*IEHSLToRGBHook)(TIERGB& Color, double H, double S, double L);

// ---- Blur (picturaproc_blur.h) ----
extern void (*IEGaussianBlurGray8Hook)(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                       double Radius);

// ---- Packed DIBs in global memory (picturaproc_dib.h; _CopyBitmaptoDIBEx for IECopyBitmaptoDIBExHook) ----
extern int32_t (*IEDIBToIEBitmapHook)(const void* DIB, TIEBitmap* Bitmap, const void* Pixels, bool IsPointer);
extern uint16_t (*IEDrawDIBToDibbitmapHook)(const void* DIB, TIEDibbitmap* Dest, const void* Pixels, bool IsPointer);
extern void* (*IECopyBitmaptoDIBExHook)(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                        int32_t DpiX, int32_t DpiY);
extern uint8_t* (*IEDIBGlobalLockHook)(void* Handle);
extern void (*IEDIBGlobalUnlockHook)(void* Handle);
extern size_t (*IEDIBGlobalSizeHook)(void* Handle);
extern void (*IEDIBGlobalFreeHook)(void* Handle);
