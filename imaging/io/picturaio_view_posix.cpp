// The native build has no window controls: no TImage or VCL bitmap ever exists here.
#include "picturaio_view.h"

TComponent* IEImageComponent(TImage*) { return nullptr; }
TBitmap* IEImageGetBitmap(TImage*) { return nullptr; }
void IELegacyBitmapModified(TBitmap*) {}
void IELegacyBitmapSize(TBitmap*, int32_t& Width, int32_t& Height) {}
