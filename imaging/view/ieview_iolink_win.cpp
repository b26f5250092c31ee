// The viewer's side of the I/O component's link to an attached viewer (picturaio_view.h).
#include "ieview.h"
#include "picturaio.h"
#include "picturaio_view.h"
#include "picturaview_control.h"

namespace {

class TViewLink final : public TIEViewLink {
public:
    TComponent* Component(TIEView* View) override { return View; }
    TIEBitmap* GetIEBitmap(TIEView* View) override { return View->GetIEBitmap(); }
    TBitmap* GetBitmap(TIEView* View) override { return View->GetBitmap(); }
    void* AddBitmapChangeCallback(TIEView* View, TPicturaIO* IO) override {
        return View->AddBitmapChangeCallback(
            [IO](TIEView* Sender, bool Destroying) { IO->BitmapChangeEvent(Sender, Destroying); });
    }
    void RemoveBitmapChangeCallback(TIEView* View, void* Handle) override { View->RemoveBitmapChangeCallback(Handle); }
    TColor GetBackground(TIEView* View) override { return View->GetBackground(); }
    void SetBackground(TIEView* View, TColor Value) override { View->SetBackground(Value); }
    int32_t GetDpiX(TIEView* View) override { return View->GetDpiX(); }
    int32_t GetDpiY(TIEView* View) override { return View->GetDpiY(); }
    void SetDpi(TIEView* View, int32_t X, int32_t Y) override { View->SetDpi(X, Y); }
    void UpdateAndImageChange(TIEView* View) override {
        View->Update();
        View->DoImageChange();
    }
    void DoImageChange(TIEView* View) override { View->DoImageChange(); }
    bool HasParent(TIEView* View) override { return View->Parent() != nullptr; }
    void* WindowHandle(TIEView* View) override {
        // A view without a parent cannot have a window made (it is not on a form yet).
        if (!View->HandleAllocated() && !View->Parent()) return nullptr;
        View->HandleNeeded();
        return View->HandleAllocated() ? View->Handle() : nullptr;
    }
    bool PostMessage(TIEView* View, uint32_t Msg, uintptr_t WParam) override {
        // A window is made only on the thread that owns it: the main thread makes it first.
        if (!View->HandleAllocated()) TThread::Synchronize(nullptr, [View] { SyncViewHandle(View); });
        if (!View->HandleAllocated()) return false;
        return PostMessageW(View->Handle(), Msg, static_cast<WPARAM>(WParam), 0) != 0;
    }
};

}  // namespace

void IEInstallViewLink() {
    static TViewLink link;
    IESetViewLink(&link);
}
