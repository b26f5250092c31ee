#include "ieview.h"

#include <algorithm>

TIEView::TIEView(TComponent* AOwner) : TCustomControl(AOwner) {
    // Child controls allowed; the control paints its whole client area itself, so the system
    // never erases it.
    ControlStyle = csAcceptsControls | csOpaque | csReplicatable;
    OnMouseEnter = nullptr;
    OnMouseLeave = nullptr;
    FBackground = clBtnFace;
    FBorderStyle = bsSingle;
    SetCtl3D(true);
    IEInstallViewLink();
}

TIEView::~TIEView() {
    // Each record leaves the list before its callback runs, so a component that unregisters from
    // inside the callback finds nothing left to release.
    while (!FCallbacks.empty()) {
        std::unique_ptr<TCallbackRecord> record = std::move(FCallbacks.front());
        FCallbacks.erase(FCallbacks.begin());
        if (record && record->Callback) record->Callback(this, true);
    }
}

void TIEView::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    if (FBorderStyle == bsSingle) {
        // Every system this runs on has new-style controls: the sunken edge when 3-D, else a line.
        if (Ctl3D())
            Params.ExStyle |= WS_EX_CLIENTEDGE;
        else
            Params.Style |= WS_BORDER;
    }
    // Resizing repaints only what became visible.
    Params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TIEView::SetBackground(TColor Value) { FBackground = Value; }

void TIEView::SetBorderStyle(TBorderStyle Value) {
    if (FBorderStyle == Value) return;
    FBorderStyle = Value;
    RecreateWnd();
}

void TIEView::SetCtl3D(bool Value) {
    if (Ctl3D() == Value) return;
    TWinControl::SetCtl3D(Value);
    RecreateWnd();
}

void TIEView::SetDpiX(int32_t Value) {
    if (Value != 0) FDpiX = Value;
}

void TIEView::SetDpiY(int32_t Value) {
    if (Value != 0) FDpiY = Value;
}

void TIEView::SetDpi(int32_t X, int32_t Y) {
    SetDpiX(X);
    SetDpiY(Y);
}

void* TIEView::AddBitmapChangeCallback(TIEBitmapChangeEvent Callback) {
    FCallbacks.push_back(std::make_unique<TCallbackRecord>(TCallbackRecord{std::move(Callback)}));
    return FCallbacks.back().get();
}

void TIEView::RemoveBitmapChangeCallback(void* Handle) {
    if (!Handle) return;
    auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                           [Handle](const std::unique_ptr<TCallbackRecord>& r) { return r.get() == Handle; });
    if (it != FCallbacks.end()) FCallbacks.erase(it);
}

void TIEView::NotifyBitmapChange() {
    // A callback may unregister (itself or another) while the list is walked: walk a snapshot of
    // the handles and skip those gone.
    std::vector<TCallbackRecord*> handles;
    for (const auto& r : FCallbacks) handles.push_back(r.get());
    for (TCallbackRecord* h : handles) {
        auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                               [h](const std::unique_ptr<TCallbackRecord>& r) { return r.get() == h; });
        if (it == FCallbacks.end() || !(*it)->Callback) continue;
        TIEBitmapChangeEvent callback = (*it)->Callback;
        callback(this, false);
    }
}
