// The JPEG codec: the glue between the IJG interface of libjpeg (interface version 62) and the
// image library. It supplies the library's error manager and a source and a destination manager
// over TStream, the reader IEReadJPEGStream (scaling, colour spaces, markers) and the writer
// IEWriteJPEGStream, the search for the start-of-image marker, the length of a JPEG stream, the
// reading of an ICC profile from APP2 markers, and a thin decoding interface for the camera-raw
// reader. Platform-neutral.
//
// Rows travel between the library and the bitmap in the blue-first layout of ie24RGB: the
// library is asked for blue-first rows itself (it converts YCbCr and RGB files alike), so the
// glue never exchanges red and blue on top of it.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"

class TIEBitmap;
class TIOParamsVals;
struct TIOProgressRecord;
struct jpeg_decompress_struct;
struct jpeg_compress_struct;

// A library error: the message text of the library's message code (see IEJpegMessageText).
KW_DECLARE_EXCEPTION(EIEJpegException, Exception);

// The text a library message code gives: the interface version 62 message list (codes 0..123)
// with every printf conversion written as "?"; the two identification lines (73, 74) give "",
// codes 86 and 93 give "?"; every other code (the five codes the library added later among them)
// gives "Corrupted".
std::wstring IEJpegMessageText(int32_t Code);

// Decodes the JPEG image at Stream's position into Bitmap and fills IOParams; returns the rows
// decoded (0 on every early exit). HeaderStream, when given and not Stream, holds the tables of an
// abbreviated stream. ParamsOnly reads the header only; RawColor delivers YCbCr samples;
// ReadMetadata reads the metadata of the markers; InvertCMYK inverts CMYK samples (JPEG inside
// TIFF) before conversion; DropAppliedICC forgets an applied profile; ReadICC reads the embedded
// ICC profile first; MaxRows stops after that many rows (-1: all); NativePixelFormat keeps grey
// and CMYK images in ie8g and ieCMYK. Bad or truncated data sets *Progress.Aborting; no exception
// leaves the reader.
int32_t IEReadJPEGStream(TStream* Stream, TStream* HeaderStream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                         TIOProgressRecord& Progress, bool ParamsOnly, bool RawColor, bool ReadMetadata,
                         bool InvertCMYK, bool DropAppliedICC, bool ReadICC, int32_t MaxRows,
                         bool NativePixelFormat);

// Encodes Bitmap into Stream with the parameters' colour space, quality and options and writes
// IOParams.JPEGMarkers (sorted, APP14 left out). An empty bitmap or a short write sets
// *Progress.Aborting; a library error raises EIEJpegException (the abort flag set first).
void IEWriteJPEGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);

// The position of the bytes FF D8 FF: with Search the first of the 150 positions from the current
// one (absolute; -1 for none); without Search 0 when they stand at the current position, else -1.
// The position is restored.
int64_t IEFindJPEGStart(TStream* Stream, bool Search);

// The length from the current position to the end of the end-of-image marker (or of the stream),
// walking the segments. The position is restored.
int32_t IEJPEGStreamLength(TStream* Stream);

// The ICC profile of the APP2 "ICC_PROFILE" markers from the current position up to the start of
// the scan, its chunks joined in sequence order (empty when there is none). Chunks that are missing leave no gap; a repeated
// chunk keeps the last copy; segments too short for the header, stray bytes between segments and
// length fields below 2 are passed over, as the decoder passes over them. The position is restored.
std::vector<uint8_t> IEReadJPEGICCData(TStream* Stream);
// Loads that profile into the parameters' input profile.
void IEReadJPEGICC(TStream* Stream, TIOParamsVals& IOParams);

// Attach a source (decoder) or destination (encoder) manager over Stream, made on first use;
// AbortFlag may be null. The Free routines release them and their buffers.
void IEJPEGStreamSource(jpeg_decompress_struct* Decoder, TStream* Stream, std::atomic<bool>* AbortFlag);
void IEJPEGStreamDest(jpeg_compress_struct* Encoder, TStream* Stream, std::atomic<bool>* AbortFlag);
void IEJPEGFreeStreamSource(jpeg_decompress_struct* Decoder);
void IEJPEGFreeStreamDest(jpeg_compress_struct* Encoder);

// The thin decoding interface of the camera-raw reader: one library call each. Library errors
// raise EIEJpegException. IEJPEGSetFillInput replaces the fill-input operation of the source that
// IEJPEGSetStreamSource attached (null restores the stream's own); the procedure answers whether it
// supplied data.
using TIEJPEGFillInput = bool (*)(jpeg_decompress_struct* Decoder);
jpeg_decompress_struct* IEJPEGAllocDecoder();
void IEJPEGFreeDecoder(jpeg_decompress_struct* Decoder);
void IEJPEGCreateErrorManager(jpeg_decompress_struct* Decoder);
void IEJPEGFreeErrorManager(jpeg_decompress_struct* Decoder);
void IEJPEGCreateDecoder(jpeg_decompress_struct* Decoder);
void IEJPEGDestroyDecoder(jpeg_decompress_struct* Decoder);
void IEJPEGSetStreamSource(jpeg_decompress_struct* Decoder, TStream* Stream);
void IEJPEGSetFillInput(jpeg_decompress_struct* Decoder, TIEJPEGFillInput Proc);
void IEJPEGSetInput(jpeg_decompress_struct* Decoder, const uint8_t* Data, size_t Count);
int32_t IEJPEGReadHeader(jpeg_decompress_struct* Decoder, bool RequireImage);
bool IEJPEGStartDecoder(jpeg_decompress_struct* Decoder);
int32_t IEJPEGOutputWidth(jpeg_decompress_struct* Decoder);
int32_t IEJPEGOutputHeight(jpeg_decompress_struct* Decoder);
int32_t IEJPEGOutputComponents(jpeg_decompress_struct* Decoder);
int32_t IEJPEGOutputScanline(jpeg_decompress_struct* Decoder);
uint8_t** IEJPEGAllocRows(jpeg_decompress_struct* Decoder, int32_t Pool, int32_t SamplesPerRow, int32_t Rows);
int32_t IEJPEGReadRows(jpeg_decompress_struct* Decoder, uint8_t** Rows, int32_t MaxLines);
bool IEJPEGFinishDecoder(jpeg_decompress_struct* Decoder);
