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
    const int32_t w = Bitmap->GetWidth();
    const size_t rowLen = (size_t)Bitmap->GetRowLen();
    const TIERGB c = IEColorToRGB(Value);
    std::vector<uint8_t> row(rowLen, 0);
    switch (Bitmap->GetPixelFormat()) {
    case ie1g: std::memset(row.data(), Value != 0 ? 255 : 0, rowLen); break;
    case ie8p:
    case ie8g: std::memset(row.data(), (uint8_t)Value, rowLen); break;
    case ie16g: {
        const uint16_t v = (uint16_t)Value;
        for (int32_t x = 0; x < w; ++x) std::memcpy(&row[(size_t)x * 2], &v, 2);
        break;
    }
    case ie24RGB: IEFillPixels(row.data(), (const uint8_t*)&c, 3, w); break;
    case ieRGB48: {
        const uint16_t v[3] = {(uint16_t)(c.r * 257), (uint16_t)(c.g * 257), (uint16_t)(c.b * 257)};
        IEFillPixels(row.data(), (const uint8_t*)v, 6, w);
        break;
    }
    case ie32f: {
        const float v = (float)Value;
        IEFillPixels(row.data(), (const uint8_t*)&v, 4, w);
        break;
    }
    default: break;
    }
    const bool keepFourth = Bitmap->GetPixelFormat() == ie32RGB;
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        uint8_t* dst = Bitmap->GetScanline(y);
        if (keepFourth) {
            for (int32_t x = 0; x < w; ++x) std::memcpy(dst + 4 * (size_t)x, &c, 3);
        } else {
            std::memcpy(dst, row.data(), rowLen);
        }
    }
    Bitmap->ReleaseRowBuffers();
}

void IEClearRowPadding(TIEBitmap* Bitmap) {
    const size_t used = ((size_t)Bitmap->GetWidth() * (size_t)Bitmap->GetBitCount() + 7) / 8;
    const size_t rowLen = (size_t)Bitmap->GetRowLen();
    if (used >= rowLen) return;
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) std::memset(Bitmap->GetScanline(y) + used, 0, rowLen - used);
    Bitmap->ReleaseRowBuffers();
}
