// Pixel and row routines: bit copies and bit tests of 1-bit rows (bit 0 is the most significant
// bit of the first byte), inversion, red/blue swaps, row conversion between bit depths, RGB/HSL
// conversion, bitmap comparison and the 3 x 3 convolution of 8-bit grey images.
#pragma once

#include <cstdint>

#include "iebitmap.h"
#include "picturaproc.h"

class TIEQuantizer;

// Non-zero when bit Index of Buffer is set.
int32_t IEGetBit(const void* Buffer, int32_t Index);
// Sets (Value true) or clears bit Index of Buffer.
void IESetBit(void* Buffer, int32_t Index, bool Value);
// Copies Count bits from Source at bit SourceBitPos to Dest at bit DestBitPos; the Dest bits
// before and after the run keep their values. Source is read no further than SourceLen bytes
// from its start (bits beyond read as 0). Nothing when Count < 1 or a position is negative.
void IECopyBits(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceBitPos, int32_t Count,
                int32_t SourceLen);
// The same copy one bit at a time (SourceLen is not used; Count below 1 copies nothing).
void IECopyBitsOneByOne(void* Dest, const void* Source, int32_t DestBitPos, int32_t SourceBitPos, int32_t Count,
                        int32_t SourceLen);
// Inverts Length bytes.
void IENotBuffer(void* Buffer, int32_t Length);
// Inverts every byte of every row.
void IENotBitmap(TIEBitmap* Bitmap);

// Copies Count three-byte pixels and exchanges their first and third bytes.
void IECopySwapRB(void* Dest, const void* Source, int32_t Count);
// Exchanges the first and third byte of Count three-byte pixels in place.
void IESwapRB(void* Buffer, int32_t Count);
// Exchanges the first and third 16-bit word of Count six-byte pixels in place.
void IESwapRB48(void* Buffer, int32_t Count);
// Exchanges the first and third byte of Count palette entries (the middle argument is unused).
void IESwapRBPalette(TIERGB* Palette, int32_t Unused, int32_t Count);

// Converts one row of Width pixels from SourceBits to DestBits per pixel (1 to 1, 4, 8 or 24;
// 4 to 4, 8 or 24; 8 to 1, 8 or 24; 24 to 4, 8 or 24; 32 to 24; any other pair writes nothing)
// and returns the byte length of a destination row ((Width + 7) div 8, (Width + 1) div 2, Width
// or 3 x Width; 0 for other destination depths). Palette entries are read for 1, 4 and 8 bits
// into 24 (an index at or past PaletteCount gives black); the quantizer gives the indices of 24
// into 4 or 8 bits, and without one those rows write nothing and return 0. The 4-bit outputs are
// OR-ed into Dest, which the caller clears. Source and Dest may overlap (the source row is copied
// first when they do).
int32_t IEConvertPixelRow(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits, uint16_t Width,
                          const TIERGB* Palette, int32_t PaletteCount, TIEQuantizer* Quantizer);

// Hue, saturation and lightness of a colour, 0..1 each (hue and saturation 0 for a grey).
void IERGBToHSL(const TIERGB& Color, double& H, double& S, double& L);
// The colour of hue H (wrapped once into 0..1), saturation and lightness (clamped to 0..1).
void IEHSLToRGB(TIERGB& Color, double H, double S, double L);
// One channel of the HSL conversion.
double IEHSLChannel(double h, double m2, double m1);

// True when A and B have the same size and row length, both or neither have an alpha channel,
// and every row and every alpha row is byte-identical.
bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);

// 3 x 3 integer convolution of the rectangle X1..X2-1, Y1..Y2-1 of an ie8g bitmap (cut to its
// size; edge pixels repeat outwards); each result is |sum| div divisor, at most 255. Other formats
// are left unchanged.
void IEConvolve3x3Gray8(TIEBitmap* Bitmap, const TIEFilterRecord& Filter, int32_t X1, int32_t Y1, int32_t X2,
                        int32_t Y2);
