// JPEG 2000: JP2 files and bare code streams (ISO/IEC 15444-1), decoded and encoded by OpenJPEG.
// This unit is the image library's side: the two signature probes, the reader that turns a
// decoded image into a TIEBitmap and the parameters, the writer that builds an image from a
// bitmap, the binding of OpenJPEG's streams to TStream, and the YCbCr colour tables. Platform-
// neutral.
//
// Errors: an unknown signature, a stream OpenJPEG cannot decode, an unsupported colour space or
// an image too large to hold set *Progress.Aborting and end the call; nothing is raised.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "imaging/core/picturaio_params.h"

class TIEBitmap;

// The 12-byte JP2 signature box (length 12, type "jP  ", content 0D 0A 87 0A) at the position.
// The position is restored.
bool IEIsJP2(TStream* Stream);
// A code stream: SOC (FF 4F) followed by SIZ (FF 51) at the position. The position is restored.
bool IEIsJ2K(TStream* Stream);

// Decodes the JP2 file or code stream at the position into Bitmap (ie1g for a 1-bit grey image,
// else ie24RGB) and fills Params: Width, Height, OriginalWidth, OriginalHeight, BitsPerSample,
// SamplesPerPixel, DpiX/DpiY (the defaults), ImageCount 1; the colour map is freed. ParamsOnly
// reads the header only. Grey, RGB and YCbCr images are read (signed samples are shifted to the
// unsigned range, sub-sampled components take the sample covering each pixel, an image offset on
// the reference grid is honoured); samples of any precision become 8 bits (their top 8 bits, or
// shifted up when fewer). A component the file marks as opacity, or a single component after the
// colours, becomes the bitmap's alpha channel.
void IEReadJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIOProgressRecord& Progress,
                       bool ParamsOnly);

// Decodes the first component of the JP2 file or code stream at the position at its own precision
// (for readers that interpret the samples themselves, as DICOM's grey images): Samples receive
// Width x Height values, rows top to bottom, signed when Signed. False when the stream is not
// JPEG 2000, does not decode, or is too large to hold.
bool IEReadJ2000Samples(TStream* Stream, int32_t& Width, int32_t& Height, int32_t& Precision, bool& Signed,
                        std::vector<int32_t>& Samples);

// Encodes Bitmap (ie24RGB or ie1g; the front end converts others) as a JP2 file (Format 0) or a
// code stream (Format 1). Params.J2000ColorSpace 0 writes one grey component, 1 and 2 three RGB
// components (plus an opacity component when the bitmap's alpha channel is not fully opaque);
// other values are refused (abort flag). Precision is Params.BitsPerSample (1..16; an ie1g
// bitmap sets 1 and grey). Params.J2000Rate is the fraction of the uncompressed size to aim
// for (1.0 or more: lossless); Params.J2000ScalableBy 0 orders the stream
// layer-resolution-component-position, 1 resolution-layer-component-position. The reversible
// 5/3 wavelet is used.
void IEWriteJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIOProgressRecord& Progress,
                        int32_t Format);

// The encoder options the writer applies: "rate=" and the rate with a decimal point in every
// locale, then " prg=lrcp" (ScalableBy 0) or " prg=rlcp" (1).
std::string IEJ2000EncoderOptions(const TIOParamsVals& Params);

// The YCbCr tables (index: Cb or Cr value 0..255) built by IEInitializeJ2000.
struct TIEJ2000YCbCrTables {
    int32_t CrToRed[256];
    int32_t CbToBlue[256];
    int32_t CrToGreen[256];
    int32_t CbToGreen[256];
};
const TIEJ2000YCbCrTables& IEJ2000YCbCr();

// Start-up: builds the YCbCr tables. Shut-down: nothing is left to release (OpenJPEG keeps no
// global state).
void IEInitializeJ2000();
void IEFinalizeJ2000();
