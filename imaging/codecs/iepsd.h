// Photoshop documents (PSD). Reading: the composite image and, on request, the layers with their
// user masks, in the colour modes bitmap, greyscale, indexed, RGB, CMYK, multichannel, duotone and
// Lab at 1, 8 and 16 bits per channel, raw or PackBits rows, with the resolution, IPTC, thumbnail,
// ICC profile, transparency index and XMP resources. Writing: PackBits rows, blend mode "norm",
// the same resources and the given layers. Big-endian throughout. Platform-neutral.
//
// Layers travel as TIEPSDLayer records: the viewer's layer type takes their fields.
//
// Errors: a wrong header, or a colour mode and depth the reader has no pixel format for, set
// *Progress.Aborting before the bitmap changes; a bitmap format the writer cannot store sets it
// without output. Sizes, counts and lengths from the file are bounded: nothing is read or written
// outside the buffers, whatever the input.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "imaging/core/picturaio_params.h"

// One layer of a document, or the user mask of the layer before it (IsMask).
struct TIEPSDLayer {
    int32_t PosX = 0;
    int32_t PosY = 0;
    int32_t Transparency = 255;   // the layer's opacity, 0..255
    bool Visible = true;
    std::string Name;             // the name's bytes as stored (at most 255)
    std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
    bool IsMask = false;
    bool Clipping = false;
};
using TIEPSDLayerList = std::vector<std::unique_ptr<TIEPSDLayer>>;

// The 26-byte header at the stream's position is a plausible PSD header; the position is restored.
bool IEIsPSD(TStream* Stream);

// Reads the document at the stream's position into Bitmap (may be null: parameters and layers
// only) and IOParams. Layers, when given, receives the layers when the document has exactly one,
// or any number with LoadLayers; the composite is then read only when no layer came.
void IEReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool LoadLayers, TIEPSDLayerList* Layers);

// Writes Bitmap (or, without one, a document of the first layer's format) with Layers (may be
// null or empty: no layer section). Layer bitmaps are converted to the document's pixel format.
void IEWritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TIOProgressRecord& Progress, TIEBitmap* Bitmap,
                      TIEPSDLayerList* Layers);

// PackBits rows: the decoder fills at most RowLen bytes of Row from the Size bytes of Packed
// (a control byte n >= 0 copies n + 1 bytes, -127..-1 repeats the next byte 1 - n times, -128 is
// skipped) and returns the bytes it filled; the encoder appends the packed form of Row.
int32_t IEPSDUnpackBitsRow(const uint8_t* Packed, int32_t Size, uint8_t* Row, int32_t RowLen);
void IEPSDPackBitsRow(const uint8_t* Row, int32_t RowLen, std::vector<uint8_t>& Packed);
