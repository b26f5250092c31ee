// Without a windowing system there are no system bitmaps: an allocation in ieTBitmap returns
// False, nothing moves there, and nothing is ever held or freed.
#include "iebitmap.h"

bool TIEBitmap::AllocateTBitmap() { return false; }

bool TIEBitmap::ReshapeTBitmap(int32_t, int32_t, TIEPixelFormat) { return false; }

void TIEBitmap::FreeTBitmap() {
    SystemBitmap = nullptr;
    RowCache.clear();
}

void TIEBitmap::BuildRowCache() { RowCache.clear(); }

void TIEBitmap::SetEmptyTBitmapDepth(TIEPixelFormat) {}

void TIEBitmap::ResizeTBitmap(int32_t, int32_t) {}

void TIEBitmap::UpdateFromTBitmap() {}

void TIEBitmap::SyncPaletteToTBitmap() {}

void TIEBitmap::AssignTBitmap(TBitmap*) {}

void TIEBitmap::EncapsulateTBitmap(TBitmap*, bool) {}

TBitmap* TIEBitmap::GetTBitmap() { return nullptr; }

TCanvas* TIEBitmap::GetCanvas() { return nullptr; }

void TIEBitmap::SetupCanvasOrientation() {}

void TIEBitmap::AssignOther(TObject*) {}
