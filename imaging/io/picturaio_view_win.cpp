// TImage and the VCL bitmap as the I/O component reaches them (the viewer: picturaio_view.cpp).
#include "ExtCtrls.h"
#include "Graphics.h"
#include "picturaio.h"
#include "picturaio_view.h"

TComponent* IEImageComponent(TImage* Image) { return Image; }
TBitmap* IEImageGetBitmap(TImage* Image) { return Image ? Image->Picture()->Bitmap() : nullptr; }

void IELegacyBitmapModified(TBitmap* Bitmap) {
    if (Bitmap && Bitmap->OnChange) Bitmap->OnChange(Bitmap);
}

void IELegacyBitmapSize(TBitmap* Bitmap, int32_t& Width, int32_t& Height) {
    if (!Bitmap) return;
    Width = Bitmap->Width();
    Height = Bitmap->Height();
}
