// Canvas operations: new canvas size without scaling, clearing, filling the processed area,
// cropping to a rectangle and cropping away a transparent border.
#include <algorithm>
#include <cstring>

#include "SysUtils.h"
#include "picturaproc_component.h"

namespace {

// Restores the component's AutoUndo on every way out.
class TAutoUndoOff {
public:
    explicit TAutoUndoOff(bool& Flag) : FFlag(Flag), FSaved(Flag) { Flag = false; }
    ~TAutoUndoOff() { FFlag = FSaved; }
    TAutoUndoOff(const TAutoUndoOff&) = delete;
    TAutoUndoOff& operator=(const TAutoUndoOff&) = delete;

private:
    bool& FFlag;
    bool FSaved;
};

}  // namespace

void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TIERGB& Color,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (!Bitmap) return;
    X2 = IEMin(X2, Bitmap->GetWidth());
    Y2 = IEMin(Y2, Bitmap->GetHeight());
    // Columns and rows before the image are cut too: they would be written before the rows.
    X1 = IEMax(X1, 0);
    Y1 = IEMax(Y1, 0);
    if (Y2 - 1 < Y1) return;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format != ie1g && format != ie8g && format != ie24RGB) {
        Bitmap->FillRect(X1, Y1, X2 - 1, Y2 - 1, IERGBToColor(Color));
        return;
    }
    const uint8_t grey =
        (uint8_t)((Color.r * IEGrayRedWeight + Color.g * IEGrayGreenWeight + Color.b * IEGrayBlueWeight) / 100);
    const bool bitOn = Color.r != 0;
    const double step = 100.0 / (Y2 - 1 - Y1 + 0.5);
    for (int32_t y = Y1; y < Y2; ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        if (X1 < X2) {
            switch (format) {
            case ie1g:
                for (int32_t x = X1; x < X2; ++x) {
                    const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
                    if (bitOn) row[x >> 3] |= bit;
                    else row[x >> 3] &= (uint8_t)~bit;
                }
                break;
            case ie8g:
                std::memset(row + X1, grey, (size_t)(X2 - X1));
                break;
            default: {
                TIERGB* p = reinterpret_cast<TIERGB*>(row) + X1;
                std::fill(p, p + (X2 - X1), Color);
                break;
            }
            }
        }
        // The last row would report just above 100: progress never passes 100.
        if (OnProgress) OnProgress(Sender, IEMin((int32_t)(step * (y - Y1 + 1)), 100));
    }
    Bitmap->ReleaseRowBuffers();
}

TIERect IEAlphaBoundingRect(TIEBitmap* Bitmap) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (!Bitmap->HasAlphaChannel()) return TIERect{0, 0, w - 1, h - 1};
    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    TIERect r{w, h, -1, -1};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = alpha->GetScanline(y);
        int32_t first = 0;
        while (first < w && row[first] == 0) ++first;
        if (first == w) continue;
        int32_t last = w - 1;
        while (row[last] == 0) --last;
        r.Left = IEMin(r.Left, first);
        r.Right = IEMax(r.Right, last);
        if (r.Top == h) r.Top = y;
        r.Bottom = y;
    }
    alpha->ReleaseRowBuffers();
    return r;
}

void TPicturaProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                               int32_t FillAlpha) {
    if (!PrepareBitmap(0)) return;
    // A negative size is no canvas: refused like 0.
    if (NewWidth <= 0 || NewHeight <= 0) return;
    if (NewWidth == WorkBitmap->GetWidth() && NewHeight == WorkBitmap->GetHeight()) return;
    if (AutoUndo) SaveUndoCaptioned(L"ImageResize " + IntToStr(NewWidth) + L"," + IntToStr(NewHeight), ieuImage);
    if (WorkBitmap->GetWidth() < 2 && WorkBitmap->GetHeight() < 2) Clear();
    if (FillAlpha < 255) WorkBitmap->GetAlphaChannel();
    WorkBitmap->Resize(NewWidth, NewHeight, GetBackground(), FillAlpha, HorizAlign, VertAlign);
    Update();
    DoFinishWork();
}

void TPicturaProc::Clear() {
    if (!PrepareBitmap(0)) return;
    if (AutoUndo) SaveUndoCaptioned(IECaptionClear, ieuImage);
    WorkBitmap->Fill(GetBackground());
    Update();
    DoFinishWork();
}

void TPicturaProc::Fill(const TIERGB& Color) {
    ProcessArea(0, Format(IECaptionFill, Color.r, Color.g, Color.b),
                [&](TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
                    IEFillRect(Bitmap, X1, Y1, X2, Y2, Color, OnProgress, this);
                });
}

void TPicturaProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!PrepareBitmap(0)) return;
    const int32_t w = X2 - X1 + 1, h = Y2 - Y1 + 1;
    if (X1 == 0 && Y1 == 0 && w == WorkBitmap->GetWidth() && h == WorkBitmap->GetHeight()) return;
    // An empty rectangle leaves the image as it is, and so leaves no undo entry either.
    if (w < 1 || h < 1) return;
    if (AutoUndo) SaveUndoCaptioned(Format(IECaptionCrop, X1, Y1, X2, Y2), ieuImage);
    {
        TIEBitmap cut(w, h, WorkBitmap->GetPixelFormat());
        WorkBitmap->CopyRectTo(&cut, X1, Y1, 0, 0, w, h);
        if (WorkBitmap->GetPixelFormat() == ie8p) WorkBitmap->CopyPaletteTo(&cut);
        // The alpha rectangle is cut before the pixels are taken: taking them re-sizes the kept
        // alpha channel from its top-left corner.
        TIEBitmap* alpha = WorkBitmap->HasAlphaChannel() ? WorkBitmap->GetAlphaChannel() : nullptr;
        if (alpha) alpha->CopyRectTo(cut.GetAlphaChannel(), X1, Y1, 0, 0, w, h);
        WorkBitmap->AssignImage(&cut);
        if (alpha) alpha->AssignImage(cut.GetAlphaChannel());
    }
    Update();
    DoFinishWork();
}

void TPicturaProc::CropToRect(const TIERect& Rect) { Crop(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }

void TPicturaProc::CropTransparentBorder() {
    if (!PrepareBitmap(0)) return;
    const TIERect r = IEAlphaBoundingRect(WorkBitmap);
    TAutoUndoOff off(AutoUndo);
    CropToRect(r);
}
