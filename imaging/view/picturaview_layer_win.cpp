// One layer of a view: its bitmap, place, size and switches.
#include <windows.h>
#include <objbase.h>

#include <cmath>

#include "picturaview_control.h"

TIELayer::TIELayer(TPicturaView* AOwner, bool Adopt, TIEBitmap* Template) : Owner(AOwner) {
    CoCreateGuid(&LayerGUID);
    if (Adopt) {
        Bitmap = Template;
    } else {
        Bitmap = new TIEBitmap();
        if (Template && Template->GetEncapsulatedTBitmap() && Template->GetTBitmap()) {
            // A template that wraps a system bitmap gives a layer wrapping a new one of the same
            // format and size, so that the view's system-bitmap reference can follow this layer.
            TBitmap* tb = new TBitmap();
            tb->SetSize(1, 1);
            tb->SetPixelFormat(Template->GetTBitmap()->PixelFormat());
            tb->SetSize(Template->GetWidth(), Template->GetHeight());
            Bitmap->EncapsulateTBitmap(tb, true);
        } else if (Template) {
            Bitmap->SetLocation(Template->GetLocation());
            Bitmap->Allocate(Template->GetWidth(), Template->GetHeight(), Template->GetPixelFormat());
        }
    }
    OwnsBitmap = true;
    SetDefaults();
}

TIELayer::~TIELayer() {
    if (OwnsBitmap && Bitmap) {
        // A system bitmap that the image only wraps goes with the layer too.
        TBitmap* wrapped = Bitmap->GetEncapsulatedTBitmap() ? Bitmap->GetTBitmap() : nullptr;
        delete Bitmap;
        delete wrapped;
    }
    if (UserDataLen > 0) std::free(UserData);
}

void TIELayer::SetDefaults() {
    Width = Height = 0;
    RotationAngle = 0.0;
    Visible = VisibleBox = true;
    Transparency = 255;
    PosX = PosY = 0;
    ScreenRect = RECT{0, 0, 0, 0};
    ClipToBackground = Locked = false;
    Selectable = true;
    Magnify = TMagnify();
    Operation = 0;
    if (UserDataLen > 0) std::free(UserData);
    UserData = nullptr;
    UserDataLen = 0;
    IsMask = false;
    for (int32_t& v : LastDraw) v = 0;
    for (POINT& p : RotatedCorners) p = POINT{0, 0};
    DimOutside = false;
    RotationCenterX = RotationCenterY = 0.5;
}

void TIELayer::CopyFrom(TIELayer* Source) {
    Width = Source->Width;
    Height = Source->Height;
    Bitmap->Assign(Source->Bitmap);
    Visible = Source->Visible;
    VisibleBox = Source->VisibleBox;
    Selectable = Source->Selectable;
    Transparency = Source->Transparency;
    PosX = Source->PosX;
    PosY = Source->PosY;
    ScreenRect = Source->ScreenRect;
    ClipToBackground = Source->ClipToBackground;
    Locked = Source->Locked;
    Magnify = Source->Magnify;
    Operation = Source->Operation;
    UserData = Source->UserData;
    ResampleFilter = Source->ResampleFilter;
    UseResampleFilter = Source->UseResampleFilter;
    Name = Source->Name;
    IsMask = Source->IsMask;
    DimOutside = Source->DimOutside;
}

int32_t TIELayer::GetWidth() const { return Width != 0 ? Width : (Bitmap ? Bitmap->GetWidth() : 0); }
int32_t TIELayer::GetHeight() const { return Height != 0 ? Height : (Bitmap ? Bitmap->GetHeight() : 0); }

void TIELayer::SetRotationAngle(double Value) {
    double whole;
    if (std::modf(Value, &whole) == 0.0 && std::fmod(whole, 360.0) == 0.0)
        RotationAngle = 0.0;
    else
        RotationAngle = Value;
}

int32_t TIELayer::ScreenToBitmapX(int32_t X) const {
    const int32_t w = GetWidth();
    if (w == 0) return 0;
    const long double c = Owner->ScreenToBitmapX(X - IETrunc((long double)PosX * Owner->Geometry().ZoomFactorX));
    return IETrunc(c / w * Bitmap->GetWidth());
}

int32_t TIELayer::ScreenToBitmapY(int32_t Y) const {
    const int32_t h = GetHeight();
    if (h == 0) return 0;
    const long double c = Owner->ScreenToBitmapY(Y - IETrunc((long double)PosY * Owner->Geometry().ZoomFactorY));
    return IETrunc(c / h * Bitmap->GetHeight());
}

int32_t TIELayer::BitmapToScreenX(int32_t X) const {
    const int32_t bw = Bitmap ? Bitmap->GetWidth() : 0;
    const int32_t x = bw ? IETrunc((long double)X / bw * GetWidth()) : 0;
    return Owner->BitmapToScreenX(x) + IETrunc((long double)PosX * Owner->Geometry().ZoomFactorX);
}

int32_t TIELayer::BitmapToScreenY(int32_t Y) const {
    const int32_t bh = Bitmap ? Bitmap->GetHeight() : 0;
    const int32_t y = bh ? IETrunc((long double)Y / bh * GetHeight()) : 0;
    return Owner->BitmapToScreenY(y) + IETrunc((long double)PosY * Owner->Geometry().ZoomFactorY);
}
