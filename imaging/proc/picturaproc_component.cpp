// The image-processing component: creation, attachment, the services every operation uses, and
// the processing-dialog settings.
#include "picturaproc_component.h"

#include <cstring>

#include "picturaio_view.h"   // TImage's bitmap and component, system-bitmap repaint

const wchar_t* const IECaptionClear = L"Clear";
const wchar_t* const IECaptionFill = L"Fill (%d, %d, %d)";
const wchar_t* const IECaptionCrop = L"Crop %d, %d, %d, %d";
const wchar_t* const IECaptionConvertToGray = L"ConvertToGray";
const wchar_t* const IECaptionConvertTo = L"ConvertTo %d";
const wchar_t* const IECaptionConvertToPalette = L"ConvertToPalette";
const wchar_t* const IECaptionRotate = L"Rotate %f";
const wchar_t* const IECaptionResample = L"Resample %d, %d";

// ---- Processing-dialog settings ----

TIPDialogParams::TIPDialogParams() : FExtraData(std::make_unique<TMemoryStream>()) { SetDefaults(); }

TIPDialogParams::~TIPDialogParams() = default;

void TIPDialogParams::SetChoice(int32_t Index, int32_t Value) {
    if (Index < 0 || Index >= 4) return;
    FChoice[Index] = Value;
    FExtraData->Clear();
}

void TIPDialogParams::SetDefaults() {
    for (int32_t i = 0; i < 4; ++i) SetChoice(i, -1);
    for (int32_t& v : Settings) v = 0;
    std::memset(&Filter, 0, sizeof(Filter));
    Filter.Values[1][1] = 1;
    const TIERGB black{0, 0, 0}, white{255, 255, 255};
    Colors[0] = black;
    Colors[1] = white;
    Colors[2] = black;
    Colors[3] = white;
    Flag1 = false;
    Rect1[0] = 0, Rect1[1] = 0, Rect1[2] = 150, Rect1[3] = 150;
    Color2 = white;
    Setting2 = 0;
    Flag2 = true;
    Rect2[0] = 0, Rect2[1] = 0, Rect2[2] = 150, Rect2[3] = 150;
    Factor1 = 1.7;
    Flag3 = true;
    Pair1[0] = 10, Pair1[1] = 10;
    Setting3 = 0;
    Flag4 = false;
    Pair2[0] = 0, Pair2[1] = 1;
    Factors[0] = 0.0, Factors[1] = 1.0;
    Pair3[0] = 1, Pair3[1] = 4;
    Flag5 = true;
    FExtraData->Clear();
}

// ---- Creation ----

TPicturaProc::TPicturaProc(TComponent* AOwner)
    : TComponent(AOwner),
      WorkBitmap(new TIEBitmap),
      OwnsWorkBitmap(true),
      FDialogParams(std::make_unique<TIPDialogParams>()) {
    AutoUndo = AOwner != nullptr;
    FPreviewFont = IECreatePreviewFont();
}

std::unique_ptr<TPicturaProc> TPicturaProc::CreateFromBitmap(TIEBitmap* Bitmap) {
    auto proc = std::make_unique<TPicturaProc>(nullptr);
    proc->AutoUndo = false;
    proc->SetAttachedIEBitmap(Bitmap);
    return proc;
}

TPicturaProc::~TPicturaProc() {
    DetachView();
    ClearAllUndo();
    ClearAllRedo();
    IEFreePreviewFont(FPreviewFont);
    FreeOwnBitmap();
}

// ---- Attachment ----

void TPicturaProc::DetachView() {
    if (!FAttachedView) return;
    FAttachedView->RemoveBitmapChangeCallback(ViewCallbackHandle);
    ViewCallbackHandle = nullptr;
    RemoveFreeNotification(FAttachedViewComponent);
    FAttachedViewComponent = nullptr;
}

void TPicturaProc::FreeOwnBitmap() {
    if (OwnsWorkBitmap) delete WorkBitmap;
    WorkBitmap = nullptr;
    OwnsWorkBitmap = false;
}

void TPicturaProc::ReturnToOwnBitmap() {
    FreeOwnBitmap();
    WorkBitmap = new TIEBitmap;
    OwnsWorkBitmap = true;
    AttachedTBitmap = nullptr;
}

void TPicturaProc::ForgetTImage() {
    if (!FAttachedTImage) return;
    if (TComponent* c = IEImageComponent(FAttachedTImage)) RemoveFreeNotification(c);
    FAttachedTImage = nullptr;
}

// The viewer's image buffer, or an own buffer wrapping the viewer's system bitmap when it offers
// only that, or none.
void TPicturaProc::TakeViewBitmap() {
    FreeOwnBitmap();
    WorkBitmap = FAttachedView->GetIEBitmap();
    AttachedTBitmap = nullptr;
    if (WorkBitmap) return;
    if (TBitmap* bitmap = FAttachedView->GetBitmap()) {
        AttachedTBitmap = bitmap;
        WorkBitmap = new TIEBitmap;
        OwnsWorkBitmap = true;
        WorkBitmap->EncapsulateTBitmap(bitmap, true);
    }
}

void TPicturaProc::SetAttachedPictura(TIEProcViewLink* View) {
    DetachView();
    FAttachedView = View;
    if (!View) {
        ForgetTImage();
        ReturnToOwnBitmap();
        return;
    }
    TakeViewBitmap();
    FAttachedViewComponent = View->GetLinkComponent();
    FreeNotification(FAttachedViewComponent);
    ForgetTImage();
    ViewCallbackHandle = View->AddBitmapChangeCallback([this](bool Destroying) { ViewBitmapChanged(Destroying); });
}

void TPicturaProc::SetAttachedTImage(TImage* Image) {
    const bool hadView = FAttachedView != nullptr;
    DetachView();
    FAttachedView = nullptr;
    // A caller's bitmap is never made to wrap the TImage's picture (it would lose its image):
    // the component returns to an own bitmap first, as it does when leaving a viewer.
    if (hadView || !OwnsWorkBitmap) ReturnToOwnBitmap();
    ForgetTImage();
    FAttachedTImage = Image;
    if (Image) {
        AttachedTBitmap = IEImageGetBitmap(Image);
        if (AttachedTBitmap) WorkBitmap->EncapsulateTBitmap(AttachedTBitmap, true);
        if (TComponent* c = IEImageComponent(Image)) FreeNotification(c);
    } else {
        AttachedTBitmap = nullptr;
        WorkBitmap->FreeImage(true);
    }
}

void TPicturaProc::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
    if (!Bitmap && (FAttachedView || FAttachedTImage)) return;
    DetachView();
    AttachedTBitmap = nullptr;
    FreeOwnBitmap();
    WorkBitmap = Bitmap;
    if (Bitmap) {
        FAttachedView = nullptr;
        ForgetTImage();
    }
}

// The viewer's bitmap goes with the viewer: the component returns to an own, empty bitmap so that
// it holds no reference into the freed viewer.
void TPicturaProc::ForgetView() {
    if (!FAttachedView) return;
    FAttachedView = nullptr;
    FAttachedViewComponent = nullptr;
    ViewCallbackHandle = nullptr;
    ReturnToOwnBitmap();
}

void TPicturaProc::ViewBitmapChanged(bool Destroying) {
    if (Destroying) {
        ForgetView();
        return;
    }
    if (FAttachedView) TakeViewBitmap();
}

void TPicturaProc::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    // The viewer is being destroyed: nothing more is asked of it.
    if (FAttachedView && AComponent == FAttachedViewComponent) ForgetView();
    // The TImage is being destroyed: its picture goes with it, the component keeps an own, empty
    // bitmap (the wrapper was its own: a TImage is never wrapped in a caller's bitmap).
    if (FAttachedTImage && AComponent == IEImageComponent(FAttachedTImage)) {
        FAttachedTImage = nullptr;
        ReturnToOwnBitmap();
    }
}

// ---- Properties ----

TColor TPicturaProc::GetBackground() {
    return FAttachedView ? FAttachedView->GetBackground() : StoredBackground;
}

void TPicturaProc::SetBackground(TColor Value) {
    if (FAttachedView) FAttachedView->SetBackground(Value);
    else StoredBackground = Value;
}

void TPicturaProc::SetPreviewFont(TFont* Value) { IEAssignPreviewFont(FPreviewFont, Value); }

// ---- Services ----

void TPicturaProc::RewrapTBitmap() {
    if (AttachedTBitmap && WorkBitmap) WorkBitmap->EncapsulateTBitmap(AttachedTBitmap, false);
}

bool TPicturaProc::PrepareBitmap(TIEPixelFormatSet Allowed) {
    if (!WorkBitmap) return false;
    RewrapTBitmap();
    return CheckPixelFormat(Allowed);
}

const TIEPixelFormat* IEPixelFormatPreferences(TIEPixelFormat Format) {
    static const TIEPixelFormat kNone[7] = {};
    static const TIEPixelFormat kLists[12][7] = {
        {},                                                        // ieNoFormat
        {ie8g, ie16g, ie32f, ie24RGB},                             // ie1g
        {ie24RGB, ieCMYK, ieRGB48, ieCIELab},                      // ie8p
        {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48},                  // ie8g
        {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK},                   // ie16g
        {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g},            // ie24RGB
        {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab},                 // ie32f
        {ie24RGB, ieRGB48, ieCIELab, ie8g},                        // ieCMYK
        {ie24RGB, ieCMYK, ieCIELab, ie16g},                        // ieRGB48
        {ie24RGB, ieCMYK, ieRGB48, ie8g},                          // ieCIELab
        {ie24RGB, ieCMYK, ieRGB48, ie8g},                          // ie32RGB
        {},                                                        // ieVirtual
    };
    return Format <= ieVirtual ? kLists[Format] : kNone;
}

bool TPicturaProc::CheckPixelFormat(TIEPixelFormatSet Allowed) {
    const TIEPixelFormat current = WorkBitmap->GetPixelFormat();
    if (Allowed == 0 || (Allowed & IEPixelFormatBit(current))) return true;
    if (!AutoConvertFormat) return false;
    const TIEPixelFormat* list = IEPixelFormatPreferences(current);
    for (int32_t i = 0; i < 7 && list[i] != ieNoFormat; ++i)
        if (Allowed & IEPixelFormatBit(list[i])) {
            WorkBitmap->SetPixelFormat(list[i]);
            return true;
        }
    for (int32_t f = ieVirtual; f >= ieNoFormat; --f)
        if (Allowed & IEPixelFormatBit((TIEPixelFormat)f)) {
            WorkBitmap->SetPixelFormat((TIEPixelFormat)f);
            break;
        }
    return true;
}

bool TPicturaProc::GetProcessingArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                     const TIEMaskPoint*& PolyPoints, int32_t& PolyCount, TIEMask*& Mask) {
    RewrapTBitmap();
    X1 = Y1 = 0;
    X2 = WorkBitmap ? WorkBitmap->GetWidth() : 0;
    Y2 = WorkBitmap ? WorkBitmap->GetHeight() : 0;
    PolyPoints = nullptr;
    PolyCount = 0;
    Mask = nullptr;
    if (!FAttachedView || !FAttachedView->IsPicturaView()) return false;
    Mask = FAttachedView->GetSelectionMask();
    if (!FAttachedView->GetSelected()) return false;
    PolyPoints = FAttachedView->GetSelectionPoints();
    PolyCount = FAttachedView->GetSelectionPointCount();
    if (Mask && !Mask->IsEmpty()) {
        X1 = Mask->X1;
        Y1 = Mask->Y1;
        X2 = Mask->X2 + 1;
        Y2 = Mask->Y2 + 1;
    }
    return true;
}

bool TPicturaProc::BeginImageProcessing(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2,
                                        int32_t& Y2, const std::wstring& Caption, TIEBitmap*& ProcBitmap,
                                        TIEMask*& Mask) {
    ProcBitmap = nullptr;
    Mask = nullptr;
    if (AutoUndo) SaveUndoCaptioned(Caption, ieuImage);
    if (!PrepareBitmap(Allowed)) return false;
    const TIEMaskPoint* points = nullptr;
    int32_t pointCount = 0;
    GetProcessingArea(X1, Y1, X2, Y2, points, pointCount, Mask);
    if (!Mask || Mask->IsEmpty()) {
        ProcBitmap = WorkBitmap;
        return true;
    }
    const int32_t w = Mask->X2 - Mask->X1 + 1, h = Mask->Y2 - Mask->Y1 + 1;
    auto proc = std::make_unique<TIEBitmap>(w, h, WorkBitmap->GetPixelFormat());
    if (WorkBitmap->GetPixelFormat() == ie8p) WorkBitmap->CopyPaletteTo(proc.get());
    WorkBitmap->CopyRectTo(proc.get(), Mask->X1, Mask->Y1, 0, 0, w, h);
    if (WorkBitmap->HasAlphaChannel())
        WorkBitmap->GetAlphaChannel()->CopyRectTo(proc->GetAlphaChannel(), Mask->X1, Mask->Y1, 0, 0, w, h);
    X1 = Y1 = 0;
    X2 = w;
    Y2 = h;
    ProcBitmap = proc.release();
    return true;
}

void TPicturaProc::EndImageProcessing(TIEBitmap* ProcBitmap, TIEMask* Mask) {
    if (ProcBitmap && ProcBitmap != WorkBitmap) {
        std::unique_ptr<TIEBitmap> proc(ProcBitmap);
        if (Mask && WorkBitmap) {
            Mask->CopyThroughMask(WorkBitmap, proc.get(), false, true, false);
            if (proc->HasAlphaChannel() && !proc->GetAlphaChannel()->GetFull()) {
                TIEBitmap* alpha = WorkBitmap->GetAlphaChannel();
                Mask->CopyThroughMask(alpha, proc->GetAlphaChannel(), false, true, false);
                alpha->SetFull(false);
            }
        }
    }
    Update();
}

void TPicturaProc::ProcessArea(
    TIEPixelFormatSet Allowed, const std::wstring& Caption,
    const std::function<void(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)>& Work) {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    TIEBitmap* proc = nullptr;
    TIEMask* mask = nullptr;
    if (!BeginImageProcessing(Allowed, x1, y1, x2, y2, Caption, proc, mask)) return;
    try {
        Work(proc, x1, y1, x2, y2);
    } catch (...) {
        if (proc != WorkBitmap) delete proc;
        throw;
    }
    EndImageProcessing(proc, mask);
    DoFinishWork();
}

void TPicturaProc::Update() {
    if (AttachedTBitmap && WorkBitmap) WorkBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
    if (FAttachedView) {
        FAttachedView->Update();
        FAttachedView->DoImageChange();
    } else if (AttachedTBitmap) {
        IELegacyBitmapModified(AttachedTBitmap);
    }
}

void TPicturaProc::DoFinishWork() {
    if (OnProgress) OnProgress(this, 100);
    if (OnFinishWork) OnFinishWork(this);
}
