// Content probes of the formats whose codecs and stream units are not in the library yet; each
// codec's own probe replaces its entry here when it lands. Every probe reads from the stream's
// current position, restores it on every path, reads nothing past the stream's end and raises
// nothing. Platform-neutral.
#pragma once

#include <cstdint>

class TStream;

bool IEIsHDPhoto(TStream* Stream);
// A TIFF header ("II*\0" or "MM\0*") whose first IFD lies inside the stream and holds the width
// and height tags.
bool IEIsTIFF(TStream* Stream);
// (PNG, icons and cursors: IEIsPNG in pngfilt.h, IEIsICO and IEIsCUR in bmpfilt_ico.h.)
// A TIFF-structured camera raw file (a CR2 header or a DNG version tag in the first IFD).
bool IEIsCameraRAWTIFF(TStream* Stream);
// A Targa header with a known image type, a consistent colour map and pixel depth and a
// non-empty size.
bool IEIsTGA(TStream* Stream);
// A "P1" to "P6" header with a positive width and height.
bool IEIsPNM(TStream* Stream);
bool IEIsDCX(TStream* Stream);
bool IEIsWMF(TStream* Stream);
bool IEIsEMF(TStream* Stream);
// The PSD codec's header check (iepsd).
bool IEIsPSD(TStream* Stream);
// The viewer's objects, layers, and layers-and-objects streams.
bool IEIsObjectsStream(TStream* Stream);
bool IEIsLayersStream(TStream* Stream);
bool IEIsAllStream(TStream* Stream);
// The JPEG codec's search for the bytes FF D8 FF (imaging/codecs/jpegfilt.h): with Flag, the
// absolute position of the first within the next 150 bytes, or -1.
int64_t IEFindJPEGStart(TStream* Stream, bool Flag);
// (Camera raw files of every layout: IEIsCameraRAW in imaging/codecs/ieraw.h.)
