// Without a windowing system there are neither system bitmaps nor drawing surfaces: the wrappers
// of the renderer over them draw nothing.
#include "iebitmap.h"

void TIEBitmap::RenderToTBitmap(TBitmap*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                int32_t, TResampleFilter, uint8_t) {}

void TIEBitmap::RenderToTBitmapEx(TBitmap*, std::vector<uint8_t*>&, std::vector<int32_t>&, std::vector<int32_t>&,
                                  const TIERect*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                  int32_t, bool, bool, int32_t, TResampleFilter, bool, uint8_t) {}

void TIEBitmap::DrawToCanvasWithAlpha(TCanvas*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                                      int32_t, int32_t, TResampleFilter, uint8_t) {}
