// TPicturaProc: grey conversion and colour reduction of 24-bit images.
#include <algorithm>

#include "SysUtils.h"
#include "picturaproc_bw.h"
#include "picturaproc_component.h"
#include "picturaproc_grey.h"

namespace {

// The reduction shared by ConvertTo and ConvertToPalette on the prepared ie24RGB work bitmap:
// below 3 colours black and white (threshold at the grey of the average colour, or the ordered
// dither), 3 to 1024 the quantized palette (written into Palette when given), more nothing.
void Reduce(TIEBitmap* Bitmap, int32_t NumColors, TIERGB* Palette, TIEDitherMethod DitherMethod,
            const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (NumColors < 3) {
        if (DitherMethod == iedmThreshold) IEConvertToBWThreshold(Bitmap, -1, OnProgress, Sender);
        else IEConvertToBWOrdered(Bitmap, OnProgress, Sender);
    } else if (NumColors <= 1024) {
        IEQuantizeBitmap(Bitmap, NumColors, Palette, OnProgress, Sender);
    }
}

}  // namespace

void TPicturaProc::ConvertToGray() {
    ProcessArea(IEPixelFormatBit(ie24RGB), IECaptionConvertToGray,
                [&](TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
                    IEConvertToGrayRect(Bitmap, X1, Y1, X2, Y2, OnProgress, this);
                });
}

void TPicturaProc::ConvertTo(int32_t NumColors, TIEDitherMethod DitherMethod) {
    if (!PrepareBitmap(IEPixelFormatBit(ie24RGB))) return;
    if (AutoUndo) SaveUndoCaptioned(Format(IECaptionConvertTo, NumColors), ieuImage);
    Reduce(WorkBitmap, NumColors, nullptr, DitherMethod, OnProgress, this);
    Update();
    DoFinishWork();
}

void TPicturaProc::ConvertToPalette(int32_t NumColors, TIERGB* Palette, TIEDitherMethod DitherMethod) {
    if (NumColors == 0) return;
    if (!PrepareBitmap(IEPixelFormatBit(ie24RGB))) return;
    if (AutoUndo) SaveUndoCaptioned(IECaptionConvertToPalette, ieuImage);
    if (NumColors < 3 && Palette) {
        // Black and white, as far as the caller's NumColors entries reach: a palette of one
        // colour gets black alone.
        const TIERGB bw[2] = {{0, 0, 0}, {255, 255, 255}};
        std::copy(bw, bw + std::max(0, std::min(NumColors, 2)), Palette);
    }
    Reduce(WorkBitmap, NumColors, Palette, DitherMethod, OnProgress, this);
    Update();
    DoFinishWork();
}
