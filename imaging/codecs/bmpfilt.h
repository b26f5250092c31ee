// Windows and OS/2 bitmap files (BMP, DIB, RLE): reading 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed, RLE4, RLE8 and 16-bit bit fields, with or without the 14-byte file header; writing
// 1, 4, 8, 24 and 32 bits with the 12-, 40- or 64-byte information header and optional RLE4/RLE8.
// Platform-neutral. Both work on a stream at its current position.
//
// Errors: a wrong file type, a header or pixel data cut short, a failed allocation or a short
// write set *Progress.Aborting (when the record has a flag) and end the call; nothing is raised.
// Every size, offset and run from the file is checked against the image and the data read:
// nothing is read or written outside the buffers, whatever the input.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/core/picturaio_params.h"

// Reads one bitmap. DataLength: the bytes from the current position that belong to the image
// (0 or less: unknown). ParamsOnly fills IOParams only. NoFileHeader: the stream starts with the
// information header (as a program resource or an icon stores the image). AlphaMask receives the
// alpha of a 32-bit image unless IgnoreAlpha is set (created when null; freed and set to null when
// every alpha byte was 0 or every one 255).
void IEReadBMPStream(TStream& Stream, TIEBitmap* Bitmap, int32_t DataLength, TIOParamsVals& IOParams,
                     TIOProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader, TIEMask*& AlphaMask,
                     bool IgnoreAlpha);

// Writes Bitmap as a bitmap file with IOParams.BMPVersion (2 core header, 3 the 64-byte header,
// else 40 bytes) and IOParams.BMPCompression (1: RLE for 4 and 8 bits with a non-core header).
// The depth: BitsPerSample 1 or 4 gives that; else SamplesPerPixel 1 gives 8; else 32 when the
// bitmap has an alpha channel, else 24. WriteAlpha puts the alpha channel into 32-bit pixels
// (else 255). Colours are reduced by the quantizer for 4 and 8 bits (IOParams.ColorMap receives
// the palette).
void IEWriteBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      bool WriteAlpha);

// Run-length decoding of Count bytes of Data into Bitmap from file row FirstRow on (file rows run
// bottom-up from the last bitmap row, or top-down when TopDown). An ie8p bitmap receives palette
// indices, an ie24RGB bitmap the colours of ColorMap (256 entries). Runs, literals and position
// moves that leave the image are cut at its edges; decoding ends at the end of the data, at the
// end-of-bitmap escape, after the last row, or when Progress's abort flag is set.
void IEDecodeRLE4(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Count, const TIERGB* ColorMap,
                  TIOProgressRecord& Progress, int32_t FirstRow, bool TopDown);
void IEDecodeRLE8(TIEBitmap* Bitmap, const uint8_t* Data, int32_t Count, const TIERGB* ColorMap,
                  TIOProgressRecord& Progress, int32_t FirstRow, bool TopDown);

// Encodes one row of Count palette indices (one per byte) into Dest and returns the bytes
// written, the end-of-line escape included. Dest must hold IEEncodeRLEBound(Count) bytes.
int32_t IEEncodeRLE4(const uint8_t* Row, int32_t Count, uint8_t* Dest);
int32_t IEEncodeRLE8(const uint8_t* Row, int32_t Count, uint8_t* Dest);
int64_t IEEncodeRLEBound(int32_t Count);
