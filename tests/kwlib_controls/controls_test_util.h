// Helpers of the in-house control tests: a host form, clicks as window messages, renders into
// memory bitmaps.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Controls.h"
#include "Forms.h"
#include "Graphics.h"
#include "ui/ui_test_util.h"

// A dialog form with the given client size, not shown.
inline std::unique_ptr<TForm> MakeHostForm(int32_t cw, int32_t ch) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetClientSize(cw, ch);
    return form;
}

// A left click at a client point of a window, as the system delivers it.
inline void ClickAt(HWND wnd, int32_t x, int32_t y) {
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// The control painted with PaintTo into a new 24-bit bitmap of its size, over a fill colour.
inline void RenderControl(TControl* control, TBitmap& bmp, TColor fill = clBlack) {
    MakeCanvasBitmap(bmp, control->Width(), control->Height(), fill);
    control->PaintTo(bmp.Canvas()->Handle(), 0, 0);
}

// The picture holds a new w x h bitmap of one colour; returns that bitmap.
inline TBitmap* FillPicture(TPicture* picture, int32_t w, int32_t h, TColor color) {
    TBitmap bmp;
    bmp.SetSize(w, h);
    bmp.Canvas()->Brush()->SetColor(color);
    bmp.Canvas()->FillRect(RECT{0, 0, w, h});
    picture->SetGraphic(&bmp);
    return picture->Bitmap();
}

// Every pixel of a rectangle has the colour.
inline bool AllPixels(TBitmap& bmp, const RECT& r, TColor color) {
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x)
            if (PixelOf(bmp, x, y) != color) return false;
    return true;
}

// The number of pixels of a rectangle that differ between two bitmaps of one size.
inline int32_t DifferentPixels(TBitmap& a, TBitmap& b, const RECT& r) {
    int32_t n = 0;
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x)
            if (PixelOf(a, x, y) != PixelOf(b, x, y)) ++n;
    return n;
}

// Writes a 24-bit bitmap as a BMP file.
inline bool SaveBmp(TBitmap& bmp, const std::string& path) {
    const int32_t w = bmp.Width(), h = bmp.Height(), row = (w * 3 + 3) & ~3;
    std::vector<uint8_t> bits((size_t)row * h);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(bmp.ScanLine(y));
        std::copy(src, src + w * 3, bits.begin() + (size_t)(h - 1 - y) * row);
    }
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = (DWORD)bits.size();
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + (DWORD)bits.size();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1 &&
                    std::fwrite(bits.data(), bits.size(), 1, f) == 1;
    return std::fclose(f) == 0 && ok;
}
