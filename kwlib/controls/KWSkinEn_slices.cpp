#include "KWSkinEn_slices.h"

std::vector<TKWSkinSlice> KWSkinSlices(int32_t AStripW, int32_t AImageH, int32_t AImage, int32_t ALeft, int32_t ATop,
                                       int32_t ARight, int32_t ABottom, int32_t ATargetW, int32_t ATargetH) {
    // In 64 bits: margins come from the skin's text and may be anything.
    const int64_t W = AStripW, S = AImageH, y0 = (int64_t)AImage * AImageH, w = ATargetW, h = ATargetH;
    const int64_t L = ALeft, T = ATop, R = ARight, B = ABottom;
    struct TPiece {
        bool Drawn;
        int64_t SrcX, SrcY, SrcW, SrcH, DstX, DstY, DstW, DstH;
    };
    const TPiece pieces[] = {
        {L > 0 && T > 0, 0, y0, L, T, 0, 0, L, T},
        {R > 0 && T > 0, W - R, y0, R, T, w - R, 0, R, T},
        {L > 0 && B > 0, 0, y0 + S - B, L, B, 0, h - B, L, B},
        {R > 0 && B > 0, W - R, y0 + S - B, R, B, w - R, h - B, R, B},
        {T > 0, L, y0, W - L - R, T, L, 0, w - L - R, T},
        {B > 0, L, y0 + S - B, W - L - R, B, L, h - B, w - L - R, B},
        {L > 0, 0, y0 + T, L, S - T - B, 0, T, L, h - T - B},
        {R > 0, W - R, y0 + T, R, S - T - B, w - R, T, R, h - T - B},
        {true, L, y0 + T, W - L - R, S - T - B, L, T, w - L - R, h - T - B},
    };
    std::vector<TKWSkinSlice> out;
    if (W <= 0 || S <= 0 || AImage < 0 || w <= 0 || h <= 0) return out;
    for (const TPiece& p : pieces) {
        if (!p.Drawn || p.DstW <= 0 || p.DstH <= 0 || p.SrcW <= 0 || p.SrcH <= 0) continue;
        if (p.SrcX < 0 || p.SrcY < y0 || p.SrcX + p.SrcW > W || p.SrcY + p.SrcH > y0 + S) continue;
        // The source is inside the strip; the target rectangle is clipped by the drawing, but a
        // piece that lies wholly outside the target is not one.
        if (p.DstX >= w || p.DstY >= h || p.DstX + p.DstW <= 0 || p.DstY + p.DstH <= 0) continue;
        out.push_back(TKWSkinSlice{(int32_t)p.SrcX, (int32_t)p.SrcY, (int32_t)p.SrcW, (int32_t)p.SrcH,
                                   (int32_t)p.DstX, (int32_t)p.DstY, (int32_t)p.DstW, (int32_t)p.DstH});
    }
    return out;
}
