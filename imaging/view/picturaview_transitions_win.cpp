// The viewer's side of the transition player: the player reaches the view through
// TIETransitionView, which the view offers through a small adapter of its own.
#include "picturaview_control.h"

namespace {

class TViewTransitionLink : public TIETransitionView {
public:
    explicit TViewTransitionLink(TPicturaView* AView) : FView(AView) {}
    TObject* GetTransitionSender() override { return FView; }
    TCanvas* GetTransitionCanvas() override { return FView->GetCanvas(); }
    int32_t GetTransitionClientWidth() override { return FView->ClientWidth(); }
    int32_t GetTransitionClientHeight() override { return FView->ClientHeight(); }
    TIEBitmap* GetTransitionBitmap() override { return FView->GetIEBitmap(); }
    void TransitionHoldPaint() override { FView->HoldPaint(); }
    void TransitionReleasePaintNoUpdate() override { FView->ReleasePaintNoUpdate(); }
    void TransitionUpdate() override { FView->Update(); }
    // A viewer always has a background style of its own.
    bool TransitionDrawBackground(TCanvas* Canvas) override {
        FView->DrawBackgroundTo(Canvas, -1, -1);
        return true;
    }

private:
    TPicturaView* FView;
};

}  // namespace

void TPicturaView::EnsureTransitionEffects() {
    if (FTransitions) return;
    if (!FTransitionLink) FTransitionLink = std::make_unique<TViewTransitionLink>(this);
    FTransitions = std::make_shared<TIETransitionEffects>(FTransitionLink.get());
}

void TPicturaView::SetOnTransitionStop(TNotifyEvent Value) {
    EnsureTransitionEffects();
    FTransitions->OnTransitionStop = std::move(Value);
}
TNotifyEvent TPicturaView::GetOnTransitionStop() const {
    return FTransitions ? FTransitions->OnTransitionStop : TNotifyEvent();
}
void TPicturaView::SetOnTransitionStep(TIETransitionStepEvent Value) {
    EnsureTransitionEffects();
    FTransitions->OnTransitionStep = std::move(Value);
}
TIETransitionStepEvent TPicturaView::GetOnTransitionStep() const {
    return FTransitions ? FTransitions->OnTransitionStep : TIETransitionStepEvent();
}
void TPicturaView::SetOnTransitionPaint(TIEOnTransitionPaint Value) {
    EnsureTransitionEffects();
    FTransitions->SetOnTransitionPaint(std::move(Value));
}
TIEOnTransitionPaint TPicturaView::GetOnTransitionPaint() const {
    return FTransitions ? FTransitions->OnTransitionPaint : TIEOnTransitionPaint();
}

void TPicturaView::StopTransition() {
    if (FTransitions && FTransitions->Running) FTransitions->Stop();
}
