// The I/O component itself: creation and destruction, the source of its bitmap (own, lent, a
// viewer's or a TImage's), the background-thread registry and the properties.
#include <algorithm>
#include <utility>

#include "bmpfilt_pdf.h"
#include "bmpfilt_ps.h"
#include "picturaio.h"
#include "picturaio_acquire.h"
#include "iedshow.h"
#include "picturaio_thread.h"
#include "picturaio_view.h"
#include "iecoredefs_settings.h"

namespace {
// The parameter set's links to its owner (installed by every component it makes).
bool ParamsOwnerBitmapSize(TPicturaIO* Owner, int32_t& Width, int32_t& Height);
void ParamsOwnerDpiChanged(TPicturaIO* Owner, bool Vertical, int32_t Value);
}  // namespace

TPicturaIO::TPicturaIO(TComponent* AOwner) : TComponent(AOwner) {
    IEParamsOwnerBitmapSize = ParamsOwnerBitmapSize;
    IEParamsOwnerDpiChanged = ParamsOwnerDpiChanged;
    IOBitmap = new TIEBitmap();
    OwnsIOBitmap = true;
    InternalProgress = [this](TObject* Sender, int32_t per) { DoIntProgress(Sender, per); };
    Params = std::make_unique<TIOParamsVals>(this);
    AcquireParams = std::make_unique<TIEAcquireParams>(this);
    TwainParams = std::make_unique<TIETwainParams>(this);
    DcimAcquire = std::make_unique<TIEDcimAcquire>(this);
    PrintPreviewParams = std::make_unique<TIOPrintPreviewParams>();
}

std::unique_ptr<TPicturaIO> TPicturaIO::CreateFromBitmap(TIEBitmap* Bitmap) {
    auto io = std::make_unique<TPicturaIO>(nullptr);
    io->SetAttachedIEBitmap(Bitmap);
    return io;
}

TPicturaIO::~TPicturaIO() {
    WaitThreads(false);
    // A document that cannot be finished (a full disk) is lost; destruction goes on.
    try {
        ClosePS();
    } catch (const std::exception&) {
    }
    try {
        ClosePDF();
    } catch (const std::exception&) {
    }
    CloseMediaFile();
    CloseAVIFile();
    UnregisterFromView();
    Params.reset();
    AcquireParams.reset();
    TwainParams.reset();   // ends a TWAIN session still open
    DcimAcquire.reset();
    PrintPreviewParams.reset();
    DShowParams.reset();
    if (OwnsIOBitmap) delete IOBitmap;
    IOBitmap = nullptr;
    WIAParams.reset();
}

void TPicturaIO::ClosePS() {
    TIEPSContext* document = std::exchange(PSDocument, nullptr);
    std::unique_ptr<TStream> stream = std::move(PSStream);
    if (!document) return;
    if (stream) {
        IEPSClose(document, *stream);
    } else {
        TMemoryStream nowhere;   // no stream to finish it into: the context is freed all the same
        IEPSClose(document, nowhere);
    }
}

void TPicturaIO::ClosePDF() {
    TIEPDFContext* document = std::exchange(PDFDocument, nullptr);
    std::unique_ptr<TStream> stream = std::move(PDFStream);
    if (!document) return;
    if (stream) {
        IEPDFClose(document, *stream, *Params);
    } else {
        TMemoryStream nowhere;
        IEPDFClose(document, nowhere, *Params);
    }
}

void TPicturaIO::SetIOBitmap(TIEBitmap* Bitmap, bool Owned) {
    if (OwnsIOBitmap && IOBitmap != Bitmap) delete IOBitmap;
    IOBitmap = Bitmap;
    OwnsIOBitmap = Owned;
}

void TPicturaIO::NewOwnedBitmap() { SetIOBitmap(new TIEBitmap(), true); }

void TPicturaIO::UnregisterFromView() {
    if (AttachedPictura && BitmapChangeHandle) IEViewRemoveBitmapChangeCallback(AttachedPictura, BitmapChangeHandle);
    BitmapChangeHandle = nullptr;
}

void TPicturaIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap && (AttachedPictura || AttachedTImage)) return;
    UnregisterFromView();
    LegacyTBitmap = nullptr;
    SetIOBitmap(Bitmap, false);
    if (Bitmap) {
        AttachedPictura = nullptr;
        AttachedTImage = nullptr;
    }
}

void TPicturaIO::SetAttachedPictura(TIEView* Value) {
    UnregisterFromView();
    AttachedPictura = Value;
    if (!Value) {
        LegacyTBitmap = nullptr;
        NewOwnedBitmap();
        return;
    }
    SetIOBitmap(nullptr, false);
    LegacyTBitmap = IEViewGetBitmap(Value);
    if (TIEBitmap* viewBitmap = IEViewGetIEBitmap(Value)) {
        LegacyTBitmap = nullptr;
        SetIOBitmap(viewBitmap, false);
    } else {
        // A viewer that exposes only a VCL bitmap: an own buffer wraps it.
        NewOwnedBitmap();
        if (LegacyTBitmap) IOBitmap->EncapsulateTBitmap(LegacyTBitmap, true);
    }
    if (TComponent* view = IEViewComponent(Value)) view->FreeNotification(this);
    AttachedTImage = nullptr;
    BitmapChangeHandle = IEViewAddBitmapChangeCallback(Value, this);
}

void TPicturaIO::SetAttachedTImage(TImage* Value) {
    AttachedTImage = Value;
    if (Value) {
        UnregisterFromView();
        AttachedPictura = nullptr;
        // The wrapper is always the component's own: a lent bitmap or a viewer's keeps its image.
        if (!OwnsIOBitmap) NewOwnedBitmap();
        LegacyTBitmap = IEImageGetBitmap(Value);
        if (LegacyTBitmap) IOBitmap->EncapsulateTBitmap(LegacyTBitmap, true);
        if (TComponent* image = IEImageComponent(Value)) image->FreeNotification(this);
        return;
    }
    // Detaching the TImage drops the wrapped picture; a viewer's own bitmap is left alone.
    LegacyTBitmap = nullptr;
    if (IOBitmap && OwnsIOBitmap && !AttachedPictura) IOBitmap->FreeImage(true);
}

void TPicturaIO::BitmapChangeEvent(TIEView* Sender, bool Destroying) {
    if (!AttachedPictura || Sender != AttachedPictura) return;
    if (Destroying) {
        // The viewer is going: its callback record goes with it.
        BitmapChangeHandle = nullptr;
        AttachedPictura = nullptr;
        LegacyTBitmap = nullptr;
        NewOwnedBitmap();
        return;
    }
    SetIOBitmap(IEViewGetIEBitmap(AttachedPictura), false);
    LegacyTBitmap = nullptr;
    Params->SetDpiX(IEViewGetDpiX(AttachedPictura));
    Params->SetDpiY(IEViewGetDpiY(AttachedPictura));
}

void TPicturaIO::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || !AComponent) return;
    if (AttachedPictura && AComponent == IEViewComponent(AttachedPictura)) {
        UnregisterFromView();
        AttachedPictura = nullptr;
        LegacyTBitmap = nullptr;
        NewOwnedBitmap();
    }
    if (AttachedTImage && AComponent == IEImageComponent(AttachedTImage)) {
        AttachedTImage = nullptr;
        LegacyTBitmap = nullptr;
        // The TImage's picture is already gone: the wrapper forgets it without touching it.
        NewOwnedBitmap();
    }
}

bool TPicturaIO::MakeConsistentBitmap(TIEPixelFormatSet Allowed) {
    if (!IOBitmap) return false;
    if (LegacyTBitmap) IOBitmap->EncapsulateTBitmap(LegacyTBitmap, false);
    if (Allowed == 0) return true;
    const TIEPixelFormat format = IOBitmap->GetPixelFormat();
    return format <= 15 && (Allowed & IEPixelFormatBit(format)) != 0;
}

void TPicturaIO::Update() {
    if (LegacyTBitmap && IOBitmap) IOBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
    if (AttachedPictura) {
        if (IsInsideAsyncThreads() && IEViewHasParent(AttachedPictura)) {
            IEViewPostMessage(AttachedPictura, IEMSG_UPDATE, 0);
            IEViewDoImageChange(AttachedPictura);
        } else {
            IEViewUpdateAndImageChange(AttachedPictura);
        }
        return;
    }
    if (LegacyTBitmap) IELegacyBitmapModified(LegacyTBitmap);
}

TColor TPicturaIO::GetBackground() const {
    return AttachedPictura ? IEViewGetBackground(AttachedPictura) : BackgroundColor;
}

void TPicturaIO::SetBackground(TColor Value) {
    if (AttachedPictura) {
        if (ViewBackgroundEnabled) IEViewSetBackground(AttachedPictura, Value);
        return;
    }
    BackgroundColor = Value;
}

bool TPicturaIO::GetNativePixelFormat() const { return Params ? Params->NativePixelFormat : false; }

void TPicturaIO::SetNativePixelFormat(bool Value) {
    if (Params) Params->NativePixelFormat = Value;
}

bool TPicturaIO::IsInsideAsyncThreads() {
    const std::thread::id self = std::this_thread::get_id();
    TCriticalSectionGuard guard(IOThreadsLock);
    return std::any_of(IOThreads.begin(), IOThreads.end(),
                       [self](TIEIOThread* Thread) { return Thread->GetThreadIdent() == self; });
}

bool TPicturaIO::AsyncDecision() { return !OwnsIOBitmap && AsyncMode && !IsInsideAsyncThreads(); }

void TPicturaIO::WaitThreads(bool SetAborting) {
    for (;;) {
        size_t count;
        {
            TCriticalSectionGuard guard(IOThreadsLock);
            if (SetAborting) Aborting = true;
            count = IOThreads.size();
        }
        if (count == 0) return;
        // On the main thread a worker may be waiting in Synchronize to report its progress.
        if (IsMainThread()) {
            if (IOThreadsDone.WaitFor(5) != wrSignaled) CheckSynchronize(0);
        } else {
            IOThreadsDone.WaitFor();
        }
    }
}

void TPicturaIO::RegisterIOThread(TIEIOThread* Thread) {
    TCriticalSectionGuard guard(IOThreadsLock);
    IOThreads.push_back(Thread);
    IOThreadsDone.ResetEvent();
}

void TPicturaIO::UnregisterIOThread(TIEIOThread* Thread) {
    TCriticalSectionGuard guard(IOThreadsLock);
    auto it = std::find(IOThreads.begin(), IOThreads.end(), Thread);
    if (it == IOThreads.end()) return;
    IOThreads.erase(it);
    if (IOThreads.empty()) IOThreadsDone.SetEvent();
}

void TPicturaIO::SetAborting(bool Value) {
    Aborting = Value;
    AcquireParams->Aborting = Value;
    DcimAcquire->Aborting = Value;
}

TIOProgressRecord TPicturaIO::MakeProgressRecord() {
    TIOProgressRecord record;
    record.OnProgress = InternalProgress;
    record.Sender = this;
    record.Aborting = &Aborting;
    return record;
}

bool TPicturaIO::DoPreviews(uint16_t Pages) {
    if (OnDoPreviews) {
        bool handled = false;
        OnDoPreviews(this, handled);
        if (handled) return true;
    }
    return false;
}

// ---- the parameter set's links to its owner

namespace {

bool ParamsOwnerBitmapSize(TPicturaIO* Owner, int32_t& Width, int32_t& Height) {
    TBitmap* bitmap = Owner ? Owner->GetBitmap() : nullptr;
    if (!bitmap) return false;
    IELegacyBitmapSize(bitmap, Width, Height);
    return true;
}

void ParamsOwnerDpiChanged(TPicturaIO* Owner, bool Vertical, int32_t Value) {
    TIEView* view = Owner ? Owner->GetAttachedPictura() : nullptr;
    if (!view) return;
    // An axis given as 0 keeps the viewer's value.
    if (Vertical)
        IEViewSetDpi(view, 0, Value);
    else
        IEViewSetDpi(view, Value, 0);
}

}  // namespace
