// The native build has no window controls: no viewer, TImage or VCL bitmap ever exists here.
#include "picturaio_view.h"

TComponent* IEViewComponent(TIEView*) { return nullptr; }
TIEBitmap* IEViewGetIEBitmap(TIEView*) { return nullptr; }
TBitmap* IEViewGetBitmap(TIEView*) { return nullptr; }
void* IEViewAddBitmapChangeCallback(TIEView*, TPicturaIO*) { return nullptr; }
void IEViewRemoveBitmapChangeCallback(TIEView*, void*) {}
TColor IEViewGetBackground(TIEView*) { return 0; }
void IEViewSetBackground(TIEView*, TColor) {}
int32_t IEViewGetDpiX(TIEView*) { return 0; }
int32_t IEViewGetDpiY(TIEView*) { return 0; }
void IEViewSetDpi(TIEView*, int32_t, int32_t) {}
void IEViewUpdateAndImageChange(TIEView*) {}
void IEViewDoImageChange(TIEView*) {}
bool IEViewHasParent(TIEView*) { return false; }
bool IEViewPostMessage(TIEView*, uint32_t, uintptr_t) { return false; }
TComponent* IEImageComponent(TImage*) { return nullptr; }
TBitmap* IEImageGetBitmap(TImage*) { return nullptr; }
void IELegacyBitmapModified(TBitmap*) {}
void IELegacyBitmapSize(TBitmap*, int32_t& Width, int32_t& Height) {}
