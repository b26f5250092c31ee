// The in-house controls' drawing canvases: a canvas attached to the device context that the
// system hands over for owner drawing, with the control's font and brush, for one scope; the
// context gets its state back at the end.
#pragma once
#include "Controls.h"
#include "Graphics.h"

class TKWCanvasAttach {
public:
    TKWCanvasAttach(TCanvas* ACanvas, HDC ADC, TWinControl* AControl)
        : FCanvas(ACanvas), FDC(ADC), FSaved(SaveDC(ADC)) {
        FCanvas->Lock();
        FCanvas->SetHandle(ADC);
        FCanvas->SetFont(AControl->Font());
        FCanvas->SetBrush(AControl->Brush());
    }
    ~TKWCanvasAttach() {
        FCanvas->SetHandle(nullptr);
        FCanvas->Unlock();
        RestoreDC(FDC, FSaved);
    }
    TKWCanvasAttach(const TKWCanvasAttach&) = delete;
    TKWCanvasAttach& operator=(const TKWCanvasAttach&) = delete;

private:
    TCanvas* FCanvas;
    HDC FDC;
    int FSaved;
};
