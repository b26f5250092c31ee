// Which pixels of a view make up the selection border: the platform-neutral half of the mask's
// outline drawing.
#include <algorithm>
#include <cstdint>

#include "iemask.h"

void TIEMask::OutlinePixels(int32_t XDst, int32_t YDst, int32_t AViewWidth, int32_t AViewHeight, int32_t SrcX,
                            int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Phase, TIEMaskRect* Rect,
                            const std::function<void(int32_t X, int32_t Y, bool InColour1)>& Plot) {
    if (AViewWidth < 1 || AViewHeight < 1 || IsEmpty()) return;
    ScaleToView(AViewWidth, AViewHeight, SrcX, SrcY, SrcWidth, SrcHeight);
    if (ViewWidth != AViewWidth) return;   // no view buffer of that size
    const int64_t yscale = (int64_t)((double)SrcHeight / AViewHeight * 16384);
    const int64_t xscale = (int64_t)((double)SrcWidth / AViewWidth * 16384);
    if (yscale <= 0 || xscale <= 0) return;   // a view more than 16384 times the rectangle
    // The view rows and columns that can hold border pixels.
    const int64_t r0 = std::max<int64_t>(((int64_t)Y1 - SrcY) * 16384 / yscale, 0);
    const int64_t r1 = std::min<int64_t>(((int64_t)Y2 - SrcY + 1) * 16384 / yscale + 1, AViewHeight - 1);
    const int64_t c0 = std::max<int64_t>(((int64_t)X1 - SrcX) * 16384 / xscale, 0);
    const int64_t c1 = std::min<int64_t>(((int64_t)X2 - SrcX + 1) * 16384 / xscale + 1, AViewWidth - 1);
    if (Rect) {
        *Rect = TIEMaskRect{(int32_t)(c0 + XDst + 1), (int32_t)(r0 + YDst + 1), (int32_t)(c1 + XDst - 1),
                            (int32_t)(r1 + YDst - 1)};
    }
    const bool oneBit = BitsPerPixel == 1;
    auto isSet = [&](const uint8_t* row, int64_t c) { return oneBit ? (row[c >> 3] & (0x80 >> (c & 7))) != 0 : row[c] != 0; };
    // All three pixels c - 1 .. c + 1 of a row set (1 bit: read together as a big-endian word; the
    // second byte only when c + 1 lies in it, as it may be the last byte of the row).
    auto threeSet = [&](const uint8_t* row, int64_t c) {
        if (!oneBit) return row[c - 1] != 0 && row[c] != 0 && row[c + 1] != 0;
        const int64_t b = (c - 1) >> 3;
        const uint32_t word = (uint32_t)row[b] << 8 | (((c - 1) & 7) > 5 ? row[b + 1] : 0u);
        return ((word >> (13 - ((c - 1) & 7))) & 7) == 7;
    };
    for (int64_t r = r0; r <= r1; ++r) {
        const uint8_t* row = GetViewRow((int32_t)r);
        for (int64_t c = c0; c <= c1; ++c) {
            if (!isSet(row, c)) continue;
            bool border;
            if (c == 0) border = SrcX <= X1;
            else if (c == c1) border = SrcX + ((c * xscale) >> 14) >= X2 || SrcWidth == Width;
            else if (r == 0) border = SrcY <= Y1;
            else if (r == r1) border = SrcY + ((r * yscale) >> 14) >= Y2 || SrcHeight == Height;
            else border = !threeSet(GetViewRow((int32_t)r - 1), c) || !threeSet(row, c) ||
                          !threeSet(GetViewRow((int32_t)r + 1), c);
            if (!border) continue;
            const int32_t x = (int32_t)(XDst + c), y = (int32_t)(YDst + r);
            Plot(x, y, ((x + y + Phase) & 7) < 4);
        }
    }
}
