#include "picturaproc_rows.h"

#include <cstring>

TIELockedRows::TIELockedRows(TIEBitmap* ABitmap) : FBitmap(ABitmap) {
    const int32_t h = FBitmap->GetHeight();
    FRows.resize((size_t)(h > 0 ? h : 0));
    for (int32_t y = 0; y < h; ++y) FRows[(size_t)y] = FBitmap->LockScanline(y);
}

TIELockedRows::~TIELockedRows() {
    for (int32_t y = 0; y < (int32_t)FRows.size(); ++y) FBitmap->UnlockScanline(y);
}

void IETakeImage(TIEBitmap* Bitmap, TIEBitmap* Image) {
    if (Image->IsEmpty() || Image == Bitmap) return;
    // The alpha channel object is held apart while the image moves in and then put back.
    TIEBitmap* alpha = Bitmap->HasAlphaChannel() ? Bitmap->GetAlphaChannel() : nullptr;
    if (Bitmap->GetLocation() == ieTBitmap) {
        // A bitmap that wraps a system bitmap (a TImage's picture) keeps wrapping it: the pixels
        // are copied into the system bitmap, which takes the new size (and the alpha channel
        // stays). Moving them in would leave the system bitmap as it was and the result lost at
        // the next wrap.
        Bitmap->AssignImage(Image);
        Image->FreeImage(true);
    } else {
        Bitmap->ReplaceAlphaChannel(nullptr);
        const TIEDitherMethod dither = Bitmap->DitherMethod;
        const bool isAlpha = Bitmap->GetIsAlpha();
        Image->MoveTo(Bitmap);
        Bitmap->ReplaceAlphaChannel(alpha);
        Bitmap->DitherMethod = dither;
        if (isAlpha && !Bitmap->GetIsAlpha()) {
            // An alpha channel stays one: a holder marks it so and lets it go again.
            TIEBitmap holder;
            holder.ReplaceAlphaChannel(Bitmap);
            holder.ReplaceAlphaChannel(nullptr);
        }
    }
    // The kept alpha channel follows a new size (as with AssignImage), so that it never has fewer
    // rows or columns than the image; its new area is opaque.
    if (alpha && (alpha->GetWidth() != Bitmap->GetWidth() || alpha->GetHeight() != Bitmap->GetHeight()))
        alpha->Resize(Bitmap->GetWidth(), Bitmap->GetHeight(), 255, 255, 0, 0);
}

void IEFillPixels(uint8_t* Dest, const uint8_t* Pixel, size_t Size, int32_t Count) {
    if (Count <= 0) return;
    std::memcpy(Dest, Pixel, Size);
    // Doubling copies: each step copies what is already written.
    size_t done = Size;
    const size_t total = Size * (size_t)Count;
    while (done < total) {
        const size_t n = done < total - done ? done : total - done;
        std::memcpy(Dest + done, Dest, n);
        done += n;
    }
}

void IEFillBitmap(TIEBitmap* Bitmap, int32_t Value) {
    Bitmap->Fill(Value);
    IEClearRowPadding(Bitmap);
}

void IEClearRowPadding(TIEBitmap* Bitmap) {
    const size_t used = ((size_t)Bitmap->GetWidth() * (size_t)Bitmap->GetBitCount() + 7) / 8;
    const size_t rowLen = (size_t)Bitmap->GetRowLen();
    if (used >= rowLen) return;
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) std::memset(Bitmap->GetScanline(y) + used, 0, rowLen - used);
    Bitmap->ReleaseRowBuffers();
}
