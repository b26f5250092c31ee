// The nine-slice arithmetic of the skin engine's DrawPart, apart from the drawing so that it builds
// and is tested natively: which rectangle of a strip image lands where on the target.
#pragma once
#include <cstdint>
#include <vector>

// A rectangle of the strip (source) and the rectangle of the target it is stretched onto.
struct TKWSkinSlice {
    int32_t SrcX, SrcY, SrcW, SrcH;
    int32_t DstX, DstY, DstW, DstH;
};

// The pieces that draw image AImage (from 0) of a strip AStripW pixels wide whose images are
// AImageH rows high, onto a target ATargetW x ATargetH, with the sizing margins ALeft, ATop,
// ARight and ABottom: the corners 1:1, the edges stretched along their side, the centre both ways.
// Pieces without area, and pieces that would read outside their image (margins that do not fit
// the strip, negative ones included), are left out. Any margin values are safe.
std::vector<TKWSkinSlice> KWSkinSlices(int32_t AStripW, int32_t AImageH, int32_t AImage, int32_t ALeft, int32_t ATop,
                                       int32_t ARight, int32_t ABottom, int32_t ATargetW, int32_t ATargetH);
