// The IEView functions: through the viewer library's link when it is installed, otherwise the
// answers for no viewer.
#include "picturaio_view.h"

namespace {
TIEViewLink* gViewLink = nullptr;
}

void IESetViewLink(TIEViewLink* Link) { gViewLink = Link; }

TComponent* IEViewComponent(TIEView* View) { return View && gViewLink ? gViewLink->Component(View) : nullptr; }
TIEBitmap* IEViewGetIEBitmap(TIEView* View) { return View && gViewLink ? gViewLink->GetIEBitmap(View) : nullptr; }
TBitmap* IEViewGetBitmap(TIEView* View) { return View && gViewLink ? gViewLink->GetBitmap(View) : nullptr; }

void* IEViewAddBitmapChangeCallback(TIEView* View, TPicturaIO* IO) {
    return View && gViewLink ? gViewLink->AddBitmapChangeCallback(View, IO) : nullptr;
}

void IEViewRemoveBitmapChangeCallback(TIEView* View, void* Handle) {
    if (View && gViewLink) gViewLink->RemoveBitmapChangeCallback(View, Handle);
}

TColor IEViewGetBackground(TIEView* View) { return View && gViewLink ? gViewLink->GetBackground(View) : 0; }
void IEViewSetBackground(TIEView* View, TColor Value) {
    if (View && gViewLink) gViewLink->SetBackground(View, Value);
}
int32_t IEViewGetDpiX(TIEView* View) { return View && gViewLink ? gViewLink->GetDpiX(View) : 0; }
int32_t IEViewGetDpiY(TIEView* View) { return View && gViewLink ? gViewLink->GetDpiY(View) : 0; }
void IEViewSetDpi(TIEView* View, int32_t X, int32_t Y) {
    if (View && gViewLink) gViewLink->SetDpi(View, X, Y);
}
void IEViewUpdateAndImageChange(TIEView* View) {
    if (View && gViewLink) gViewLink->UpdateAndImageChange(View);
}
void IEViewDoImageChange(TIEView* View) {
    if (View && gViewLink) gViewLink->DoImageChange(View);
}
bool IEViewHasParent(TIEView* View) { return View && gViewLink && gViewLink->HasParent(View); }
void* IEViewWindowHandle(TIEView* View) { return View && gViewLink ? gViewLink->WindowHandle(View) : nullptr; }
bool IEViewPostMessage(TIEView* View, uint32_t Msg, uintptr_t WParam) {
    return View && gViewLink && gViewLink->PostMessage(View, Msg, WParam);
}
