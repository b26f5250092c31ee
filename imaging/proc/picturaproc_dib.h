// Exchange between TIEBitmap and the packed device-independent bitmap (a 40-byte header, a colour
// table or bit-field masks, then rows bottom-up padded to 4 bytes), including the common YUV
// video layouts named by FourCC codes. A global handle is the system's movable global memory
// (an opaque pointer here); the Windows build uses the system's, the native build a stand-in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "iebitmap.h"
#include "iedibbitmap.h"

using TIEGlobalHandle = void*;

// A new packed DIB in movable global memory (unlocked; the caller owns it) holding the rectangle
// X1..X2-1, Y1..Y2-1 of Bitmap (X2, Y2 of 0: the width, the height; the rectangle is cut to the
// bitmap) with the resolution DpiX x DpiY. ie1g, ie8p, ie8g and ie24RGB are written as they are
// (1, 8 and 24 bits); other formats go through a 24-bit copy. An empty bitmap gives a header only
// (bit count 0). Null when the memory cannot be had.
TIEGlobalHandle _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DpiX,
                                   int32_t DpiY);

// Reads a packed DIB into Bitmap (ie1g for 1 bit, else ie24RGB): uncompressed 1, 4, 8, 16, 24 and
// 32 bits, bit fields for 16 and 32 bits, and the YUV layouts YUY2, YUNV, UYVY, UYNV, cyuv, YVYU,
// IYU1, IYU2, Y41P, Y211, CLJR, I420, IYUV, YV12 and YVU9 (these need Pixels). DIB is a global
// handle (locked for the call) or, with IsPointer, the header's address; Pixels, when not null,
// is where the pixel data is read instead of behind the header and colour table. Returns the bit
// count, 0 when there is no header. Unknown bit counts and compressions convert no pixels (the
// bitmap keeps its new size); a global block too small for the rows it announces changes nothing.
int32_t IEDIBToIEBitmap(const void* DIB, TIEBitmap* Bitmap, const void* Pixels, bool IsPointer);

// Lets the system's video drawing service render a packed DIB it understands into Dest (1-bit DIBs
// as a 1-bit section, all others as 24 bits). Returns the bit count (0 without a header); without
// the drawing service Dest is allocated and left undrawn.
uint16_t IEDrawDIBToDibbitmap(const void* DIB, TIEDibbitmap* Dest, const void* Pixels, bool IsPointer);

// Blue, green and red of a studio-range Y, U, V triple, each rounded and kept to 0..255.
TIERGB IEYUVToRGB(int32_t Y, int32_t U, int32_t V);

// ---- Platform layer (picturaproc_dib_win.cpp, picturaproc_dib_posix.cpp) ----
// Movable, shareable global memory of Size bytes (null when refused); its address while locked;
// its size; release.
TIEGlobalHandle IEDIBGlobalAlloc(size_t Size);
uint8_t* IEDIBGlobalLock(TIEGlobalHandle Handle);
void IEDIBGlobalUnlock(TIEGlobalHandle Handle);
size_t IEDIBGlobalSize(TIEGlobalHandle Handle);
void IEDIBGlobalFree(TIEGlobalHandle Handle);
// Draws the DIB (Header, its pixels at Bits) at (0, 0) in its own size into the device context DC
// through the video drawing service; False when the service is absent or fails.
bool IEDIBDraw(void* DC, const void* Header, const void* Bits, int32_t Width, int32_t Height);
