#include "picturaproc_vcl.h"

#include <algorithm>
#include <cstring>

void IECopyTBitmap(TBitmap* Source, TBitmap* Dest) {
    if (Source->Empty()) {
        Dest->SetPixelFormat(Source->PixelFormat());
        Dest->SetSize(1, 1);
        return;
    }
    const int32_t w = Source->Width(), h = Source->Height();
    if (Dest->Width() != w || Dest->Height() != h || Dest->PixelFormat() != Source->PixelFormat()) {
        Dest->SetPixelFormat(Source->PixelFormat());
        Dest->SetSize(1, 1);
        Dest->SetSize(w, h);
    }
    // The block starts at the lower of the first and last row in memory (the last one for the
    // usual bottom-up rows).
    uint8_t* src = std::min((uint8_t*)Source->ScanLine(0), (uint8_t*)Source->ScanLine(h - 1));
    uint8_t* dst = std::min((uint8_t*)Dest->ScanLine(0), (uint8_t*)Dest->ScanLine(h - 1));
    std::memcpy(dst, src, (size_t)Source->RowBytes() * (size_t)h);
}

std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Source) {
    auto copy = std::make_unique<TBitmap>();
    IECopyTBitmap(Source, copy.get());
    return copy;
}

void IEConvert1To24TBitmap(TBitmap* Source, TBitmap* Dest, const TIEProgressEvent& OnProgress, TObject* Sender) {
    const int32_t w = Source->Width(), h = Source->Height();
    Dest->SetPixelFormat(pf24bit);
    Dest->SetSize(1, 1);
    Dest->SetSize(w, h);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = (const uint8_t*)Source->ScanLine(y);
        uint8_t* out = (uint8_t*)Dest->ScanLine(y);
        for (int32_t i = 0; i < w / 8; ++i) std::memcpy(out + 24 * (size_t)i, IE1To24Table[src[i]], 24);
        if (w % 8) std::memcpy(out + 24 * (size_t)(w / 8), IE1To24Table[src[w / 8]], (size_t)(w % 8) * 3);
        if (OnProgress) OnProgress(Sender, (int32_t)(100 / (h + 0.5) * (y + 1)));
    }
}
