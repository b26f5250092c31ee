// The system's movable global memory and the Video for Windows drawing service.
#include <windows.h>
#include <vfw.h>

#include "picturaproc_dib.h"

TIEGlobalHandle IEDIBGlobalAlloc(size_t Size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Size); }

uint8_t* IEDIBGlobalLock(TIEGlobalHandle Handle) { return Handle ? (uint8_t*)GlobalLock((HGLOBAL)Handle) : nullptr; }

void IEDIBGlobalUnlock(TIEGlobalHandle Handle) {
    if (Handle) GlobalUnlock((HGLOBAL)Handle);
}

size_t IEDIBGlobalSize(TIEGlobalHandle Handle) { return Handle ? GlobalSize((HGLOBAL)Handle) : 0; }

void IEDIBGlobalFree(TIEGlobalHandle Handle) {
    if (Handle) GlobalFree((HGLOBAL)Handle);
}

bool IEDIBDraw(void* DC, const void* Header, const void* Bits, int32_t Width, int32_t Height) {
    if (!DC) return false;
    HDRAWDIB dd = DrawDibOpen();
    if (!dd) return false;
    const BOOL ok = DrawDibDraw(dd, (HDC)DC, 0, 0, Width, Height, (LPBITMAPINFOHEADER)Header, (LPVOID)Bits, 0, 0,
                                Width, Height, 0);
    DrawDibClose(dd);
    return ok != FALSE;
}
