// The viewer's hooks for the selection and mouse code and the navigator link, as far as the core
// of the viewer needs them: the selection timer's run counts the zoom-filter and outline delays
// down, and the navigator shows this view's image.
#include <windows.h>

#include <algorithm>

#include "picturaview_control.h"

void TPicturaView::DrawSelection(bool) {
    if (!HasParentWindow() || !SelectionPainting) return;
    // The outline itself comes with the selection code. The selection timer runs while a delay
    // counts down.
    if (FHasOwner || HasParentWindow()) {
        if (!FSelectionTimer) {
            FSelectionTimer = std::make_unique<TTimer>(nullptr);
            FSelectionTimer->SetEnabled(false);
            FSelectionTimer->SetInterval(210);
            FSelectionTimer->SetOnTimer([this](TObject*) { DrawSelection(true); });
        }
        const bool run = FFilterDelayCounter > 0 || FOutlineDelayCounter > 0;
        if (FSelectionTimer->Enabled() != run) FSelectionTimer->SetEnabled(run);
    }
    // Each run counts the delays down; when the filter delay ends the picture is composed again
    // with the zoom filter.
    if (FFilterDelayCounter > 0) {
        --FFilterDelayCounter;
        if (FFilterDelayCounter == 0) Update();
    }
    if (FOutlineDelayCounter > 0) --FOutlineDelayCounter;
}

void TPicturaView::Deselect() { FSelected = false; }
void TPicturaView::PushSelection() {}
void TPicturaView::PopSelection() {}
void TPicturaView::SelectRect(int32_t, int32_t, int32_t, int32_t, bool) {}
void TPicturaView::AddSelectionPoint(int32_t, int32_t) {}
void TPicturaView::ApplyPolygonToMask() {}
void TPicturaView::AdjustDragPoints() {}
int32_t TPicturaView::GetSelX1() { return FSelectionMask ? FSelectionMask->X1 : 0; }
int32_t TPicturaView::GetSelY1() { return FSelectionMask ? FSelectionMask->Y1 : 0; }
int32_t TPicturaView::GetSelX2() { return FSelectionMask ? FSelectionMask->X2 : 0; }
int32_t TPicturaView::GetSelY2() { return FSelectionMask ? FSelectionMask->Y2 : 0; }
void TPicturaView::SetSelectionOptions(TIESelectionOptions Value) { FSelectionOptions = Value; }
void TPicturaView::SetMouseInteract(TIEMouseInteract Value) { FMouseInteract = Value; }

void TPicturaView::SetSelectionAspectRatio(double Value) {
    if (Value == SelectionAspectRatio) return;
    SelectionAspectRatio = Value;
    SetSelectionOptions(Value != 0 ? (FSelectionOptions | iesoSizeable) : (FSelectionOptions & ~iesoSizeable));
}

void TPicturaView::SetNavigator(TPicturaView* View, uint8_t Options) {
    if (FNavigator) {
        FNavigator->AttachExternalBitmap(nullptr);
        FNavigator->FIsNavigator = false;
        FNavigator->NavigatorOptions = 0;
        FNavigator->RemoveFreeNotification(this);
    }
    FNavigator = View;
    if (!View) return;
    View->FreeNotification(this);
    View->FIsNavigator = true;
    View->SetEnableAlphaChannel(FEnableAlphaChannel);
    View->FAutoFit = true;
    View->SetMouseInteract(miSelect);
    View->SetSelectionBase(iesbBitmap);
    View->SetSelectionOptions(iesoMoveable | iesoCanScroll);
    View->AttachExternalBitmap(FCurrentImage);
    View->NavigatorOptions = Options;
    UpdateNavigator();
}

void TPicturaView::Notification(TComponent* AComponent, TOperation Operation) {
    TIEView::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FNavigator) FNavigator = nullptr;
}

void TPicturaView::UpdateNavigator() {
    if (!FNavigator || FNavigatorBusy || FPaintLock > 0) return;
    FNavigatorBusy = true;
    // The visible part in image pixels, drawn on the navigator as the rectangle it dims around.
    const int32_t x1 = ScreenToBitmapX(FGeom.OffsetX), y1 = ScreenToBitmapY(FGeom.OffsetY);
    const int32_t x2 = ScreenToBitmapX(FGeom.OffsetX + FGeom.ExtentWidth);
    const int32_t y2 = ScreenToBitmapY(FGeom.OffsetY + FGeom.ExtentHeight);
    FNavigator->VisibleAreaRect = RECT{FNavigator->BitmapToScreenX(x1), FNavigator->BitmapToScreenY(y1),
                                       FNavigator->BitmapToScreenX(x2), FNavigator->BitmapToScreenY(y2)};
    FNavigator->SetBackBufferDirty();
    FNavigatorBusy = false;
}
