// Helpers of the rich-text control's tests: fixed metrics (no fonts needed) and a control loaded
// with a text.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "Graphics.h"
#include "iegdiplus_canvas.h"
#include "ietextc_control.h"

// Every character is half as wide as the font is high; height = |font height|, internal leading
// 2, descent 4.
class TFixedTextMetrics : public TIETextMetrics {
public:
    int32_t CharWidth(TIECanvas& Canvas, const std::string& Chars) override {
        return std::abs(Canvas.GetFont()->Height()) / 2;
    }
    void FontMetrics(TIECanvas& Canvas, int32_t& Height, int32_t& Leading, int32_t& Descent) override {
        Height = std::abs(Canvas.GetFont()->Height());
        Leading = 2;
        Descent = 4;
    }
};

// A control with a 20-pixel font (characters 10 wide with the fixed metrics) and the text loaded.
inline std::unique_ptr<TIETextControl> MakeTextControl(const std::string& Text, TIETextMetrics* Metrics) {
    auto c = std::make_unique<TIETextControl>(nullptr);
    c->Font()->SetName(L"Tahoma");
    c->Font()->SetHeight(-20);
    c->Font()->SetColor(clBlack);
    c->Metrics = Metrics;
    c->TextBuf = Text;
    c->LoadText();
    return c;
}

// Lays the control's text out in a box of the given size on a white memory bitmap.
inline void Layout(TIETextControl& Control, int32_t Width, int32_t Height, TBitmap* Target = nullptr) {
    TBitmap own;
    TBitmap* bmp = Target ? Target : &own;
    if (bmp->Width() < Width * Control.Zoom + 2 || bmp->Height() < Height * Control.Zoom + 2) {
        bmp->SetPixelFormat(pf24bit);
        bmp->SetSize(static_cast<int32_t>(Width * Control.Zoom) + 2, static_cast<int32_t>(Height * Control.Zoom) + 2);
    }
    TIECanvas canvas(*bmp->Canvas(), false, false);
    Control.Render(canvas, 0, 0, Width, Height);
}
