// The variable-length LZW coding of GIF image data: the decoder reads a frame's minimum code size
// and data sub-blocks from a stream into an index buffer, the encoder writes them. The GIF reader
// and writer reach them through procedure variables (the types below) so that they can be
// replaced.
//
// The index buffer holds Width x Height bytes, one palette index per byte, rows top to bottom, no
// padding. Interlaced frames are stored in GIF's four-pass row order (rows 0, 8, 16, ...; then 4,
// 12, ...; then 2, 6, ...; then 1, 3, ...) and land in their natural rows of the buffer.
#pragma once
#include <cstdint>

class TStream;

using TIEGIFLZWDecompressor = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                       void* Buffer);
using TIEGIFLZWCompressor = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                     void* Buffer, int32_t BitsPerPixel);

// Reads the minimum code size byte and the data sub-blocks (up to and including the zero length
// byte, or to the stream's end) and decodes them into Buffer. Never raises for bad data: a refusal
// leaves the stream where it was (minimum code size outside 2..9, a code above the next free code,
// a Clear code directly followed by the end code while data remain). Data past the last pixel are
// ignored; pixels the data do not reach keep what Buffer held. A table that fills up without a
// Clear code keeps decoding with the full table, as other decoders do.
void IEGIFLZWDecompress(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer);

// Writes the minimum code size byte (BitsPerPixel, at least 2 and at most 8), the data in
// sub-blocks of up to 254 bytes and the zero length byte that ends them. Indices are taken modulo
// 2^(minimum code size), so that they always stay below the Clear code. A failing stream raises
// its own exception.
void IEGIFLZWCompress(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer,
                      int32_t BitsPerPixel);

// The decoding core over a whole code stream in memory (the concatenated sub-block data).
// Returns false when the data are refused (see above); Buffer may then be partly written.
bool IEGIFLZWDecodeCodes(const uint8_t* Data, int32_t DataLength, int32_t MinCodeSize, int32_t Height,
                         int32_t Width, bool Interlaced, uint8_t* Buffer);
