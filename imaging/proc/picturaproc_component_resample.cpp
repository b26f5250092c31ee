// The component's resampling: a scaled copy into a caller's bitmap, or the work bitmap scaled in
// place (with undo).
#include "SysUtils.h"
#include "picturaproc_component.h"
#include "picturaproc_resample.h"

void TPicturaProc::ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter,
                              bool FitInBox) {
    if (!Dest || !PrepareBitmap(0)) return;
    const int32_t w = WorkBitmap->GetWidth(), h = WorkBitmap->GetHeight();
    if (w == 0 || h == 0) return;
    if (NewWidth < 1 || NewHeight < 1) FitInBox = false;
    if (NewWidth < 0 && NewHeight < 0) return;
    int32_t width, height;
    if (NewWidth == -1) width = (int32_t)((int64_t)w * NewHeight / h);
    else if (NewWidth == 0) width = w;
    else width = NewWidth < 0 ? -NewWidth : NewWidth;
    if (width < 1) width = 1;
    if (NewHeight == -1) height = (int32_t)((int64_t)h * width / w);
    else if (NewHeight == 0) height = h;
    else height = NewHeight < 0 ? -NewHeight : NewHeight;
    if (height < 1) height = 1;
    if (FitInBox) {
        TIESize size{width, height};
        IEGetFittedSize(w, h, width, height, true, false, size);
        width = size.cx;
        height = size.cy;
    }
    Dest->Allocate(width, height, WorkBitmap->GetPixelFormat());
    IEResampleIEBitmap(WorkBitmap, Dest, Filter, OnProgress, this);
    DoFinishWork();
}

void TPicturaProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter, bool FitInBox) {
    if (!PrepareBitmap(0) || WorkBitmap->GetWidth() == 0 || WorkBitmap->GetHeight() == 0) return;
    if (NewWidth == WorkBitmap->GetWidth() && NewHeight == WorkBitmap->GetHeight()) return;
    if (AutoUndo) SaveUndoCaptioned(Format(IECaptionResample, NewWidth, NewHeight), ieuImage);
    TIEBitmap scaled;
    ResampleTo(&scaled, NewWidth, NewHeight, Filter, FitInBox);
    // Sizes that give no image (both negative) leave the work bitmap as it is rather than empty.
    if (scaled.IsEmpty()) return;
    WorkBitmap->Assign(&scaled);
    Update();
    DoFinishWork();
}
