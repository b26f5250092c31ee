// Camera raw files (CRW, CR2, NEF, PEF, RAF, ORF, DNG and the others LibRaw knows), decoded by
// LibRaw. This unit is the image library's side: LibRaw's options taken from the parameter set,
// the EXIF values of TIFF-structured raw files, the preview JPEG of Canon CIFF files, and the
// output stage that turns LibRaw's linear 16-bit RGB into the bitmap with its own white point,
// gamma and brightness. Platform-neutral.
//
// LibRaw reads through a binding over TStream; positions count from where the stream stood when
// the call began. Errors (a file LibRaw does not identify or cannot decode, an image too large to
// hold) set *Progress.Aborting and end the call; nothing is raised.
#pragma once

#include <cstdint>
#include <string>

#include "Classes.h"
#include "imaging/core/picturaio_params.h"

class TIEBitmap;

// True when LibRaw identifies the stream as a camera raw file. The position is restored.
// Identification has a budget of calls into the stream (reads, seeks), proportional to the
// stream's size: a file that keeps LibRaw reading past it is answered False.
bool IEIsCameraRAW(TStream* Stream);
// The same with a budget of Budget calls (a negative Budget: the one proportional to the size).
bool IEIsCameraRAWWithin(TStream* Stream, int64_t Budget);

// Reads the camera raw file at the position into Bitmap (ie24RGB, or ieRGB48 with
// IOParams.NativePixelFormat) and fills IOParams: size, bits per sample, samples per pixel,
// DPI (the EXIF resolution of a TIFF-structured file, else the defaults), RAWCamera, the EXIF
// values and thumbnail, ImageCount 1. Preview reads the parameters only. With RAWGetExifThumbnail
// the embedded thumbnail is delivered instead of decoding when the file has one.
void IEReadCameraRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                           bool Preview);

// The output stage on W x H pixels of linear 16-bit RGB (Pixels: four values per pixel, the
// first three red, green, blue): the white point is the brightness below which all but a share
// of the pixels lie (0.5 % for Fuji cameras, else 1 %); each pixel is scaled by a gamma curve of
// its brightness (the length of its RGB vector). Writes ie24RGB (blue first) or ieRGB48 (red
// first) rows into Bitmap, already allocated at W x H. Exposed for the tests.
void IERawOutputStage(const uint16_t (*Pixels)[4], int32_t W, int32_t H, bool Fuji, double Gamma, double Brightness,
                      TIEBitmap* Bitmap);
