// The CCITT fax codings of TIFF for bilevel rows: Modified Huffman (compression 2), ITU-T T.4
// Group 3 one- and two-dimensional (compression 3) and ITU-T T.6 Group 4 (compression 4).
//
// Rows are packed 8 pixels a byte, first pixel in the most significant bit, Ceil(Width / 8)
// bytes. Decoded rows have 1 = white (a row starts all ones and black runs clear bits); the
// encoders take 0 = white. FillOrder 1 reads and writes the bits of each data byte most
// significant first, FillOrder 2 least significant first.
//
// Decoding never fails and never reads outside Data: invalid bits are skipped one at a time,
// data exhaustion ends the row (the rest stays white), runs are cut at the row's end.
#pragma once
#include <cstdint>
#include <vector>

class TStream;

// Library start-up and shut-down: the decoding tables (built once, kept for the program's life).
void IEInitializeCCITT();
void IEFinalizeCCITT();

// One one-dimensional (Group 3) row starting at bit BitPos of Data (DataLength bytes); an EOL
// code at the row's start is skipped. Returns the bit position after the row (rows are not
// byte-aligned).
int64_t IECCITTDecodeG3Row(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, int64_t BitPos,
                           int32_t FillOrder);
// One Modified Huffman row from bit 0 of Data; returns the number of bytes used (the bit count
// rounded up), so that the next row starts on a byte.
int64_t IECCITTDecodeMHRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, int32_t FillOrder);
// One row of the two-dimensional codings (Group 3 two-dimensional with EOLMode true, Group 4
// without) starting at bit BitPos. RefRow (Ceil(Width / 8) bytes, 1 = white; all white before the
// first row of a Group 4 strip) holds the previous row and receives this one. An EOL as the first
// code is followed by a tag bit: 1, the row is coded one-dimensionally. An EOL inside a row ends
// it and is left for the next row. Returns the bit position after the row.
int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width, uint8_t* RefRow,
                           int64_t BitPos, int32_t FillOrder, bool EOLMode);
// The same with the reference row given by its changing elements (RefChanges: the positions where
// its colour changes, the first to black, then alternately; empty for an all-white row), which
// receive this row's. A zero-length run that a coder wrote (two changes at one position) is kept,
// so that b1 and b2 are found as the coder found them: a strip's rows should be decoded in this
// form.
int64_t IECCITTDecode2DRow(uint8_t* Row, const uint8_t* Data, int64_t DataLength, int32_t Width,
                           std::vector<int32_t>& RefChanges, int64_t BitPos, int32_t FillOrder, bool EOLMode);

// The encoders append to Stream; a short write sets Aborting (the data written so far stay).
// A strip's coding state (the pending partial byte and its bit count, and for the
// two-dimensional codings the reference row) is the caller's, starting as 0, 0 and empty.
//
// Modified Huffman: one row, padded with zero bits to a whole byte.
void IECCITTEncodeMHRow(const uint8_t* Row, int32_t Width, TStream* Stream, bool& Aborting, int32_t FillOrder);
// Group 3 one-dimensional: each row is preceded by an EOL code (as T.4 readers require); rows are
// not byte-aligned. A nil Row ends the strip: the pending bits are written, padded with zeros.
void IECCITTEncodeG3Row(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, bool& Aborting, int32_t FillOrder);
// Group 3 two-dimensional: every row is preceded by EOL and a tag bit; the strip's first row (an
// empty RefRow) has tag 1 and is coded one-dimensionally, every later row tag 0 and is coded
// against the previous one. A nil Row ends the strip: one EOL, the pending bits padded to a byte,
// and the reference row freed.
void IECCITTEncodeG32DRow(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                          int32_t& PendingBits, std::vector<uint8_t>& RefRow, bool& Aborting, int32_t FillOrder);
// Group 4: every row coded two-dimensionally against the previous one (all white before the
// first). A nil Row ends the strip: EOFB (two EOLs), zero bits to a whole byte, the reference row
// freed.
void IECCITTEncodeG4Row(const uint8_t* Row, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, std::vector<uint8_t>& RefRow, bool& Aborting, int32_t FillOrder);
