// Small complete views for the tests of the base view control and of the components that attach
// to it (Windows build only).
#pragma once

#include <memory>

#include "Graphics.h"
#include "iebitmap.h"
#include "ieview.h"

// A view with one image buffer that it can replace, counting what is asked of it.
class TTestView : public TIEView {
public:
    explicit TTestView(TComponent* owner) : TIEView(owner), Image(std::make_unique<TIEBitmap>(8, 6, ie24RGB)) {}
    TIEBitmap* GetIEBitmap() override { return Image.get(); }
    TIEBitmap* GetAlphaChannel() override { return Image->GetAlphaChannel(); }
    bool HasAlphaChannel() override { return Image->HasAlphaChannel(); }
    void RemoveAlphaChannel(bool Merge) override { Image->RemoveAlphaChannel(Merge); }
    void HoldPaint() override {}
    void ReleasePaint() override {}
    void ReleasePaintNoUpdate() override {}
    void Update() override { ++Updates; }
    void DoImageChange() override { ++ImageChanges; }
    // Another image becomes the current one (as when another layer is chosen).
    void ReplaceImage(int32_t w, int32_t h) {
        Image = std::make_unique<TIEBitmap>(w, h, ie8g);
        NotifyBitmapChange();
    }
    std::unique_ptr<TIEBitmap> Image;
    int Updates = 0, ImageChanges = 0, Created = 0;

protected:
    void CreateWnd() override {
        ++Created;
        TIEView::CreateWnd();
    }
};

// A view that shows only a VCL bitmap.
class TLegacyView : public TIEView {
public:
    explicit TLegacyView(TComponent* owner) : TIEView(owner) {
        Picture.SetPixelFormat(pf24bit);
        Picture.SetSize(5, 4);
    }
    TBitmap* GetBitmap() override { return &Picture; }
    TIEBitmap* GetAlphaChannel() override { return nullptr; }
    bool HasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void HoldPaint() override {}
    void ReleasePaint() override {}
    void ReleasePaintNoUpdate() override {}
    TBitmap Picture;
};
