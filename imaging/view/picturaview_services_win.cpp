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
