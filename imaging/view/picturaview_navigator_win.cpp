// The navigator link: a second view shows this view's whole image with the visible part as its
// selection (and, with option bit 1, the rest dimmed); moving that selection scrolls this view, and
// with option bit 0 the navigator's wheel zooms this view.
#include <windows.h>

#include <algorithm>

#include "picturaview_control.h"

void TPicturaView::SetNavigator(TPicturaView* View, uint8_t Options) {
    if (FNavigator) {
        TPicturaView* old = FNavigator;
        old->OnSelectionChanging = nullptr;
        old->OnMouseWheel = nullptr;
        old->AttachExternalBitmap(nullptr);
        old->FIsNavigator = false;
        old->NavigatorOptions = 0;
        old->RemoveFreeNotification(this);
    }
    FNavigator = View;
    if (!View) return;
    View->FIsNavigator = true;
    View->SetEnableAlphaChannel(FEnableAlphaChannel);
    View->SetAutoFit(true);
    View->SetMouseInteract(miSelect);
    View->SetSelectionBase(iesbBitmap);
    View->SetSelectionOptions(iesoMoveable | iesoCanScroll);
    View->AttachExternalBitmap(FCurrentImage);
    View->OnSelectionChanging = [this](TObject* Sender) { NavigatorSelectionChanging(Sender); };
    View->NavigatorOptions = Options;
    if (Options & 1)
        View->OnMouseWheel = [this](TObject* Sender, TShiftState Shift, int32_t WheelDelta, POINT MousePos,
                                    bool& Handled) { NavigatorMouseWheel(Sender, Shift, WheelDelta, MousePos, Handled); };
    View->FreeNotification(this);
    UpdateNavigator();
}

void TPicturaView::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && FNavigator && AComponent == FNavigator) FNavigator = nullptr;
    TIEView::Notification(AComponent, Operation);
}

void TPicturaView::UpdateNavigator() {
    if (!FNavigator || FNavigatorBusy || FPaintLock > 0) return;
    FNavigatorBusy = true;
    Repaint();
    // The visible part in image pixels.
    const int32_t x1 = ScreenToBitmapX(FGeom.OffsetX), y1 = ScreenToBitmapY(FGeom.OffsetY);
    const int32_t x2 = ScreenToBitmapX(FGeom.OffsetX + FGeom.ExtentWidth);
    const int32_t y2 = ScreenToBitmapY(FGeom.OffsetY + FGeom.ExtentHeight);
    TPicturaView* nav = FNavigator;
    nav->FixedSelectionWidth = x2 - x1;
    nav->FixedSelectionHeight = y2 - y1;
    nav->SetSelectionAspectRatio(0);
    nav->SelectRect(x1, y1, x2, y2, false);
    // The rectangle the navigator dims around, in its own view pixels.
    nav->VisibleAreaRect = RECT{nav->BitmapToScreenX(x1), nav->BitmapToScreenY(y1), nav->BitmapToScreenX(x2),
                                nav->BitmapToScreenY(y2)};
    nav->SetBackBufferDirty();
    FNavigatorBusy = false;
}

void TPicturaView::NavigatorSelectionChanging(TObject*) {
    if (FNavigatorBusy || !FNavigator) return;
    FNavigatorBusy = true;
    const double z = FGeom.ZoomX;
    SetViewOrigin(IERound((long double)FNavigator->GetSelX1() * z / 100.0),
                  IERound((long double)FNavigator->GetSelY1() * FGeom.ZoomY / 100.0));
    FNavigatorBusy = false;
}

void TPicturaView::NavigatorMouseWheel(TObject*, TShiftState, int32_t WheelDelta, POINT MousePos, bool& Handled) {
    if (!FNavigator) return;
    const TIEMouseWheelParams& w = FNavigator->MouseWheelParams();
    const int32_t sign = IEWheelDirection(WheelDelta, w.InverseDirection);
    double zoom = IEWheelZoom(sign, w.Variation, w.Value, FGeom.ZoomX);
    if (zoom > FGeom.ZoomX) DoZoomIn(zoom);
    else if (zoom < FGeom.ZoomX) DoZoomOut(zoom);
    if (w.ZoomPosition)
        ZoomAt(MousePos.x, MousePos.y, false, zoom);
    else
        SetZoom(zoom);
    Handled = true;
}
