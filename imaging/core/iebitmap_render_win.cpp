// The renderer's wrappers over the visual layer: rendering into a system bitmap (wrapped for the
// call, not copied) and blending onto a drawing surface through a device-independent work bitmap.
#include <vector>

#include "Graphics.h"
#include "WinApi.h"
#include "iebitmap.h"
#include "iedibbitmap.h"

void TIEBitmap::RenderToTBitmap(TBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                int32_t Transparency, TResampleFilter Filter, uint8_t Operation) {
    if (!Bitmap) return;
    TIEBitmap wrapper;
    wrapper.EncapsulateTBitmap(Bitmap, true);
    RenderToTIEBitmap(&wrapper, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, Transparency,
                      Filter, Operation);
}

void TIEBitmap::RenderToTBitmapEx(TBitmap* Bitmap, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& ColumnMap,
                                  std::vector<int32_t>& RowMap, const TIERect* ClipRect, int32_t DstX, int32_t DstY,
                                  int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                                  int32_t SrcHeight, bool UseAlpha, bool RowCopy, int32_t Transparency,
                                  TResampleFilter Filter, bool FreeCaches, uint8_t Operation) {
    if (!Bitmap) return;
    TIEBitmap wrapper;
    wrapper.EncapsulateTBitmap(Bitmap, true);
    RenderToTIEBitmapEx(&wrapper, DestRows, ColumnMap, RowMap, ClipRect, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY,
                        SrcWidth, SrcHeight, UseAlpha, RowCopy, Transparency, Filter, FreeCaches, Operation);
}

void TIEBitmap::DrawToCanvasWithAlpha(TCanvas* Canvas, int32_t X, int32_t Y, int32_t AWidth, int32_t AHeight,
                                      int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                                      int32_t Transparency, TResampleFilter Filter, uint8_t Operation) {
    if (!Canvas || AWidth <= 0 || AHeight <= 0) return;
    TIEDibbitmap work;
    if (!work.AllocateDIB(AWidth, AHeight, 24)) return;
    HDC canvasDC = Canvas->Handle();
    HDC workDC = static_cast<HDC>(work.GetDC());
    BitBlt(workDC, 0, 0, AWidth, AHeight, canvasDC, X, Y, SRCCOPY);
    GdiFlush();
    {
        TIEBitmap wrapper;
        wrapper.EncapsulateMemory(work.GetBits(), AWidth, AHeight, ie24RGB, false, 0);
        RenderToTIEBitmap(&wrapper, 0, 0, AWidth, AHeight, SrcX, SrcY, SrcWidth, SrcHeight, Transparency, Filter,
                          Operation);
    }
    BitBlt(canvasDC, X, Y, AWidth, AHeight, workDC, 0, 0, SRCCOPY);
}
