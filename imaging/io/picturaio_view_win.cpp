// The viewer control, TImage and VCL bitmap as the I/O component reaches them.
#include "ExtCtrls.h"
#include "Graphics.h"
#include "ieview.h"
#include "picturaio.h"
#include "picturaio_view.h"

TComponent* IEViewComponent(TIEView* View) { return View; }
TIEBitmap* IEViewGetIEBitmap(TIEView* View) { return View ? View->GetIEBitmap() : nullptr; }
TBitmap* IEViewGetBitmap(TIEView* View) { return View ? View->GetBitmap() : nullptr; }

void* IEViewAddBitmapChangeCallback(TIEView* View, TPicturaIO* IO) {
    return View->AddBitmapChangeCallback([IO](TIEView* Sender, bool Destroying) { IO->BitmapChangeEvent(Sender, Destroying); });
}

void IEViewRemoveBitmapChangeCallback(TIEView* View, void* Handle) {
    if (View) View->RemoveBitmapChangeCallback(Handle);
}

TColor IEViewGetBackground(TIEView* View) { return View->GetBackground(); }
void IEViewSetBackground(TIEView* View, TColor Value) { View->SetBackground(Value); }
int32_t IEViewGetDpiX(TIEView* View) { return View->GetDpiX(); }
int32_t IEViewGetDpiY(TIEView* View) { return View->GetDpiY(); }
void IEViewSetDpi(TIEView* View, int32_t X, int32_t Y) { View->SetDpi(X, Y); }

void IEViewUpdateAndImageChange(TIEView* View) {
    View->Update();
    View->DoImageChange();
}

void IEViewDoImageChange(TIEView* View) { View->DoImageChange(); }
bool IEViewHasParent(TIEView* View) { return View->Parent() != nullptr; }

bool IEViewPostMessage(TIEView* View, uint32_t Msg, uintptr_t WParam) {
    if (!View->HandleAllocated()) return false;
    return PostMessageW(View->Handle(), Msg, static_cast<WPARAM>(WParam), 0) != 0;
}

TComponent* IEImageComponent(TImage* Image) { return Image; }
TBitmap* IEImageGetBitmap(TImage* Image) { return Image ? Image->Picture()->Bitmap() : nullptr; }

void IELegacyBitmapModified(TBitmap* Bitmap) {
    if (Bitmap && Bitmap->OnChange) Bitmap->OnChange(Bitmap);
}

void IELegacyBitmapSize(TBitmap* Bitmap, int32_t& Width, int32_t& Height) {
    if (!Bitmap) return;
    Width = Bitmap->Width();
    Height = Bitmap->Height();
}
