// An off-screen view for the tests of selections and mouse interaction (Windows build only).
#pragma once

#include <memory>

#include "iebitmap.h"
#include "picturaview_control.h"

// Composes the view's back buffer (after which each layer knows where it lies on screen).
inline void ComposeView(TPicturaView& V) {
    V.SetBackBufferDirty();
    V.PresentBackBuffer(RECT{0, 0, V.Width(), V.Height()});
}

// An off-screen W x H view at zoom 100 showing a black W x H image: view pixels are image pixels.
inline std::unique_ptr<TPicturaView> OffScreenImageView(int32_t W, int32_t H) {
    auto v = std::make_unique<TPicturaView>(nullptr);
    v->SetOffScreen(true);
    v->SetBounds(0, 0, W, H);
    v->GetIEBitmap()->Allocate(W, H, ie24RGB);
    v->GetIEBitmap()->Fill(0.0);
    v->Update();
    ComposeView(*v);
    return v;
}
