// What the I/O component asks of an attached viewer control, an attached TImage and a VCL bitmap.
// These are window controls of the Windows build; the native build has none, so there no viewer
// or TImage ever exists and its twins answer "none" (they are never reached with an object).
//
// The viewer lives in a library above this one: the IEView functions reach it through the link
// that the viewer library installs (IESetViewLink; every viewer installs it when it is made).
// Until then no viewer exists, and the functions answer as for none.
#pragma once

#include <cstdint>

#include "iecoreutils_general.h"

class TBitmap;
class TComponent;
class TIEBitmap;
class TIEView;
class TImage;
class TPicturaIO;

// The viewer as a component (for free notifications).
TComponent* IEViewComponent(TIEView* View);
TIEBitmap* IEViewGetIEBitmap(TIEView* View);
TBitmap* IEViewGetBitmap(TIEView* View);
// Registers IO's BitmapChangeEvent with the viewer; the handle to unregister it.
void* IEViewAddBitmapChangeCallback(TIEView* View, TPicturaIO* IO);
void IEViewRemoveBitmapChangeCallback(TIEView* View, void* Handle);
TColor IEViewGetBackground(TIEView* View);
void IEViewSetBackground(TIEView* View, TColor Value);
int32_t IEViewGetDpiX(TIEView* View);
int32_t IEViewGetDpiY(TIEView* View);
// The viewer takes the resolution (0 keeps an axis) without repainting.
void IEViewSetDpi(TIEView* View, int32_t X, int32_t Y);
// The viewer recomputes and repaints, then reports the image change.
void IEViewUpdateAndImageChange(TIEView* View);
void IEViewDoImageChange(TIEView* View);
bool IEViewHasParent(TIEView* View);
// Posts a private message to the viewer's window; a viewer without one yet has it made on the main
// thread first (through TThread::Synchronize).
bool IEViewPostMessage(TIEView* View, uint32_t Msg, uintptr_t WParam);
// The viewer's window handle, made when it has none yet (null without a viewer, and while a viewer
// without a window has no parent to make one in).
void* IEViewWindowHandle(TIEView* View);

// The viewer's side of the IEView functions above, one member each (View is never null).
class TIEViewLink {
public:
    virtual ~TIEViewLink() = default;
    virtual TComponent* Component(TIEView* View) = 0;
    virtual TIEBitmap* GetIEBitmap(TIEView* View) = 0;
    virtual TBitmap* GetBitmap(TIEView* View) = 0;
    virtual void* AddBitmapChangeCallback(TIEView* View, TPicturaIO* IO) = 0;
    virtual void RemoveBitmapChangeCallback(TIEView* View, void* Handle) = 0;
    virtual TColor GetBackground(TIEView* View) = 0;
    virtual void SetBackground(TIEView* View, TColor Value) = 0;
    virtual int32_t GetDpiX(TIEView* View) = 0;
    virtual int32_t GetDpiY(TIEView* View) = 0;
    virtual void SetDpi(TIEView* View, int32_t X, int32_t Y) = 0;
    virtual void UpdateAndImageChange(TIEView* View) = 0;
    virtual void DoImageChange(TIEView* View) = 0;
    virtual bool HasParent(TIEView* View) = 0;
    virtual bool PostMessage(TIEView* View, uint32_t Msg, uintptr_t WParam) = 0;
    virtual void* WindowHandle(TIEView*) { return nullptr; }
};
// Installs the viewer's side (a static object of the viewer library; null removes it).
void IESetViewLink(TIEViewLink* Link);

TComponent* IEImageComponent(TImage* Image);
TBitmap* IEImageGetBitmap(TImage* Image);
// Tells the VCL bitmap's holders that its pixels changed, so that a TImage repaints.
void IELegacyBitmapModified(TBitmap* Bitmap);
void IELegacyBitmapSize(TBitmap* Bitmap, int32_t& Width, int32_t& Height);
