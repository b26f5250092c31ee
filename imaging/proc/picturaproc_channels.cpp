#include "picturaproc_channels.h"

#include <cstring>

namespace {

// The old channel index (0 blue, 1 green, 2 red) a pattern letter names, 3 for zero, -1 for none.
int32_t ChannelOf(wchar_t Letter) {
    switch (Letter) {
    case L'B': case L'b': return 0;
    case L'G': case L'g': return 1;
    case L'R': case L'r': return 2;
    case L'0': return 3;
    default: return -1;
    }
}

// Reorders Width pixels of three channels of type T, with the channels stored in the order
// Order (indices of blue, green and red within the pixel).
template <typename T>
void ReorderRow(uint8_t* Row, int32_t Width, const int32_t* Source, const int32_t* Order) {
    for (int32_t x = 0; x < Width; ++x) {
        T* px = (T*)(Row + (size_t)x * 3 * sizeof(T));
        T old[4];
        std::memcpy(old, px, 3 * sizeof(T));
        T byChannel[4] = {old[Order[0]], old[Order[1]], old[Order[2]], 0};
        for (int32_t c = 0; c < 3; ++c) old[Order[c]] = byChannel[Source[c]];
        std::memcpy(px, old, 3 * sizeof(T));
    }
}

}  // namespace

void IEReorderChannels(TIEBitmap* Bitmap, const std::wstring& Pattern, TObject* Sender,
                       const TIEProgressEvent& OnProgress) {
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format != ie24RGB && format != ieRGB48) return;
    if (Pattern.size() < 3) return;
    int32_t source[3];
    for (int32_t i = 0; i < 3; ++i) {
        source[i] = ChannelOf(Pattern[(size_t)i]);
        if (source[i] < 0) return;
    }
    // Where blue, green and red lie in a pixel: bytes blue, green, red; words red, green, blue.
    static const int32_t kBytes[3] = {0, 1, 2};
    static const int32_t kWords[3] = {2, 1, 0};
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        if (format == ie24RGB) ReorderRow<uint8_t>(Bitmap->GetScanline(y), w, source, kBytes);
        else ReorderRow<uint16_t>(Bitmap->GetScanline(y), w, source, kWords);
        if (OnProgress) OnProgress(Sender, (int32_t)((int64_t)y * 100 / h));
    }
    Bitmap->ReleaseRowBuffers();
}
