// The LZW compression of TIFF (compression 5): codes most significant bit first, Clear 256,
// EndOfInformation 257, first free code 258, widths 9 to 12 bits that grow one code early. The
// decoder also reads the old-style variant of early TIFF writers (codes least significant bit
// first, widths that grow at the power of two), recognised by a strip that begins with a Clear
// code in that bit order. The TIFF codecs reach both through procedure variables (types below).
// A strip is one LZW stream.
#pragma once
#include <cstdint>

class TStream;

using TIETIFFLZWDecompressor = void* (*)(const void* Data, int32_t DataLength, int32_t RowBytes, void*& State,
                                         int32_t FillOrder);
using TIETIFFLZWCompressor = void (*)(const void* Data, int32_t Count, TStream* Stream, void*& State);

// Decodes the next row of a strip. With State nil: creates a decoder over Data, DataLength bytes
// (the whole strip; it must stay in place until the state is freed; with FillOrder 2 every byte's
// bits are taken in reverse order), then decodes; later calls continue from the same source and
// position (their Data only needs to be non-nil). With State set and Data nil: frees the state and
// returns nil.
// Returns a buffer whose first RowBytes bytes are the next row (bytes that the stream does not
// reach, past EndOfInformation, a code above the table or the strip's end, are 0), or nil for a
// corrupt stream: a code above the table right after Clear, or a table that overflows.
void* IETIFFLZWDecompress(const void* Data, int32_t DataLength, int32_t RowBytes, void*& State,
                          int32_t FillOrder);

// Encodes Count bytes into Stream. With State nil: creates the encoder and writes the Clear code
// first. Later calls continue the same string (rows are not separated in the code stream). With
// Data nil: writes the pending code and EndOfInformation, pads the last byte with zeros, flushes
// and frees the state. The stream is always written in FillOrder 1 bit order; a failing stream
// raises its own exception (the state stays the caller's to free).
void IETIFFLZWCompress(const void* Data, int32_t Count, TStream* Stream, void*& State);
