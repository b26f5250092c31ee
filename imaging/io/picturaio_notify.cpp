// The component's notifications (progress, end of work, acquired images) and the resolution
// kept consistent between the image, its parameter set and the attached viewer.
#include <functional>
#include <limits>
#include <memory>

#include "Classes.h"
#include "picturaio.h"
#include "picturaio_acquire.h"
#include "picturaio_view.h"
#include "ieprochooks.h"
#include "iecoredefs_settings.h"

bool TPicturaIO::PostToViewFromThread(uint32_t Msg, uintptr_t WParam) {
    // From a background thread of this component, a viewer with a parent window gets a message
    // instead of a call, so that no event runs on the worker thread.
    if (!AttachedPictura || !IEViewHasParent(AttachedPictura) || !IsInsideAsyncThreads()) return false;
    return IEViewPostMessage(AttachedPictura, Msg, WParam);
}

// An event raised on one of this component's background threads runs on the main thread (a
// handler may touch windows); a viewer without a window yet cannot take a message, so this is
// also its road. Other threads (a resampler's bands, joined by a caller that does not look at the
// queue) call the handler where they are.
void TPicturaIO::RunEvent(const std::function<void()>& AEvent) {
    if (IsInsideAsyncThreads() && !IsMainThread()) TThread::Synchronize(nullptr, AEvent);
    else AEvent();
}

void TPicturaIO::DoIntProgress(TObject* Sender, int32_t per) {
    if (!OnProgress) return;
    if (PostToViewFromThread(IEMSG_PROGRESS, static_cast<uintptr_t>(per))) return;
    RunEvent([&] { OnProgress(Sender, per); });
}

void TPicturaIO::DoFinishWork() {
    // Every piece of work ends with a 100 per cent report.
    if (InternalProgress) InternalProgress(this, 100);
    if (!OnFinishWork) return;
    if (PostToViewFromThread(IEMSG_FINISHWORK, 0)) return;
    RunEvent([&] { OnFinishWork(this); });
}

void TPicturaIO::DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled) {
    if (OnAcquireBitmap) OnAcquireBitmap(this, ABitmap, Handled);
}

void TPicturaIO::ReceiveAcquiredBitmap(TIEBitmap* ABitmap, TIOParamsVals*& IOParams) {
    if (!MakeConsistentBitmap(0)) return;
    bool handled = false;
    DoAcquireBitmap(ABitmap, handled);
    if (handled) return;
    // The source writes the image's parameters into the component's set.
    IOParams = Params.get();
    if (ABitmap) IOBitmap->Assign(ABitmap);
    if (AutoAdjustDPI) AdjustDPI();
    Update();
}

TIEWia* TPicturaIO::GetWIAParams() {
    if (!WIAParams) {
        WIAParams = std::make_unique<TIEWia>(this);
        WIAParams->OnTransferProgress = [this](int32_t per) { return WIATransferProgress(per); };
    }
    return WIAParams.get();
}

bool TPicturaIO::WIATransferProgress(int32_t per) {
    if (InternalProgress) InternalProgress(this, per);
    return !Aborting;
}

void TPicturaIO::DoAcquireClose() {
    if (OnAcquireClose) OnAcquireClose(this);
}

TBitmap* TPicturaIO::GetBitmap() {
    if (IOBitmap && IOBitmap->GetLocation() == ieTBitmap) return IOBitmap->GetTBitmap();
    if (AttachedPictura) return IEViewGetBitmap(AttachedPictura);
    if (AttachedTImage) return IEImageGetBitmap(AttachedTImage);
    return nullptr;
}

void TPicturaIO::SetDitherMethod(TIEDitherMethod Value) {
    DitherMethod = Value;
    if (IOBitmap) IOBitmap->DitherMethod = Value;
}

void TPicturaIO::CheckDPI() {
    if (Params->DpiX < 2) Params->SetDpiX(IEDefaultDPIX);
    if (Params->DpiY < 2) Params->SetDpiY(IEDefaultDPIY);
}

void TPicturaIO::UpdateViewDPI() {
    if (AttachedPictura) IEViewSetDpi(AttachedPictura, Params->DpiX, Params->DpiY);
}

void TPicturaIO::AdjustDPI() {
    if (!MakeConsistentBitmap(0)) return;
    TIOParamsVals& p = *Params;
    if (p.DpiX == p.DpiY || p.DpiX <= 0 || p.DpiY <= 0) return;
    if (IOBitmap->GetWidth() <= 0 || IOBitmap->GetHeight() <= 0 || p.Width <= 0 || p.Height <= 0) return;

    // The shorter side is scaled to the other axis's resolution. Integer arithmetic gives the
    // exact truncated quotient (a floating-point product may land just below a whole number).
    int64_t newWidth = p.Width, newHeight = p.Height;
    if (p.Height < p.Width)
        newHeight = static_cast<int64_t>(p.Height) * p.DpiX / p.DpiY;
    else
        newWidth = static_cast<int64_t>(p.Width) * p.DpiY / p.DpiX;
    if (newWidth <= 0 || newHeight <= 0 || newWidth > std::numeric_limits<int32_t>::max() ||
        newHeight > std::numeric_limits<int32_t>::max())
        return;
    // The resized image is made first: when it cannot be allocated, the image and its parameters
    // stay as they were and the failure is reported.
    auto resized = std::make_unique<TIEBitmap>(static_cast<int32_t>(newWidth), static_cast<int32_t>(newHeight),
                                               FilteredAdjustDPI ? ie24RGB : IOBitmap->GetPixelFormat());
    if (resized->IsEmpty()) {
        Aborting = true;
        return;
    }
    if (p.Height < p.Width) {
        p.DpiY = p.DpiX;
        p.Height = static_cast<int32_t>(newHeight);
    } else {
        p.DpiX = p.DpiY;
        p.Width = static_cast<int32_t>(newWidth);
    }

    std::unique_ptr<TIEBitmap> alpha;
    if (IOBitmap->HasAlphaChannel()) alpha = std::make_unique<TIEBitmap>(IOBitmap->GetAlphaChannel());

    if (FilteredAdjustDPI) {
        if (IOBitmap->GetPixelFormat() != ie24RGB) IOBitmap->SetPixelFormat(ie24RGB);
        IEResampleHook(IOBitmap, resized.get(), nullptr, rfFastLinear, nullptr, nullptr);
    } else {
        IEResampleNoFilterHook(IOBitmap, resized.get(), nullptr, nullptr);
    }
    IOBitmap->Assign(resized.get());
    resized.reset();
    if (alpha) IEResampleNoFilterHook(alpha.get(), IOBitmap->GetAlphaChannel(), nullptr, nullptr);
}
