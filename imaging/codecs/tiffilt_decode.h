// The image-data half of the TIFF reader: turns the strips or tiles of one page into the rows of
// the bitmap the reader has allocated (and the alpha samples into its mask). The reader fills
// TTIFFVars from the page's IFD; the decoders read the stream at Base + the offsets of the tables.
// Platform-neutral. Nothing raises: bad data set the progress record's abort flag and leave the
// rows decoded so far.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iecoredefs_types.h"
#include "picturaio_params.h"

class TIEBitmap;
class TIEMask;
class TStream;

// The reading state of one page: the page's tags with their absent values, and the working fields.
struct TTIFFVars {
    TStream* Stream = nullptr;
    int64_t Base = 0;   // every offset of the page's tables is relative to it
    bool LittleEndian = true;

    int32_t ImageWidth = 0;
    int32_t ImageLength = 0;
    int32_t SamplesPerPixel = 1;
    int32_t BitsPerSample = 1;
    int32_t RowsPerStrip = 0;
    int32_t TileWidth = -1;
    int32_t TileLength = -1;
    int32_t Photometric = 2;
    int32_t PlanarConfig = 1;
    int32_t Orientation = 1;
    int32_t Compression = 1;
    std::vector<uint32_t> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
    // The colour map as blue, green, red entries (empty without tag 320).
    std::vector<TIERGB> ColorMap;
    int32_t ResolutionUnit = 2;
    double XResolution = 0;
    double YResolution = 0;
    int32_t Predictor = 1;
    std::vector<uint8_t> JPEGTables;
    int32_t T4Options = 0;
    int32_t T6Options = 0;
    int32_t FillOrder = 1;
    double XPosition = 0;
    double YPosition = 0;
    std::string Software;
    int32_t YCbCrSubSampling[2] = {2, 2};
    int32_t JPEGProc = 0;
    int32_t JPEGInterchangeFormat = 0;
    int32_t JPEGInterchangeFormatLength = 0;
    int32_t JPEGRestartInterval = 0;
    // ExtraSamples: the first value, the count (at most 10) and the values.
    int32_t ExtraSamples = 0;
    int32_t ExtraSamplesCount = 0;
    int32_t ExtraSamplesValues[10] = {};
    // SampleFormat (339): 1 unsigned integers, 3 IEEE floating point.
    int32_t SampleFormat = 1;

    TTIFFLZWDecompressor LZWDecompress = nullptr;
    TIOParamsVals* Params = nullptr;
    // The page's alpha mask (null: alpha samples are ignored).
    TIEMask* AlphaMask = nullptr;
};

// The rows of a page whose width or height the bitmap cannot take; used by the reader and the
// decoders alike so that both agree on what a sane page is.
constexpr int64_t kIETIFFMaxPixels = int64_t(1) << 31;

// True for the pages of grey (with or without alpha) or RGB (with or without alpha) samples that
// the general sample layout reads: unsigned integers of 9 to 32 bits other than the 12- and 16-bit
// grey and 16-bit RGB pages that have layouts of their own, and 32-bit floats (0 to 1). Their
// bitmap is ie16g, ie32f (floats) or ieRGB48 with NativePixelFormat, else ie24RGB.
bool IETIFFDeepSamples(const TTIFFVars& Vars);

// Decodes all strips of a page (PlanarConfig 1 or 2) into Bitmap.
void IETIFFReadStrips(TTIFFVars& Vars, TIEBitmap* Bitmap, TIOProgressRecord& Progress);
// Decodes all tiles, or only the tile Vars.Params->TIFFGetTile when that is 0 or more (the bitmap
// then has one tile's size). Separate planes are refused.
void IETIFFReadTiles(TTIFFVars& Vars, TIEBitmap* Bitmap, TIOProgressRecord& Progress);
// The old-style JPEG page (compression 6, or a JPEG interchange stream named by tags 513/514).
void IETIFFReadOldJPEG(TTIFFVars& Vars, TIEBitmap* Bitmap, TIOProgressRecord& Progress);
