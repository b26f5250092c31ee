// The viewer's side of the processing component: the component reaches the view through
// TIEProcViewLink (it lives in the library below), which the view offers through this adapter.
#include <cstring>

#include "picturaview_control.h"

namespace {

// The selection polygon is kept as Windows points; the mask's point record has the same layout.
static_assert(sizeof(POINT) == sizeof(TIEMaskPoint) && offsetof(POINT, y) == offsetof(TIEMaskPoint, Y),
              "a selection point is two 32-bit integers");

class TViewProcLink : public TIEProcViewLink {
public:
    explicit TViewProcLink(TPicturaView* AView) : FView(AView) {}

    TComponent* GetLinkComponent() override { return FView; }
    TIEBitmap* GetIEBitmap() override { return FView->GetIEBitmap(); }
    TBitmap* GetBitmap() override { return FView->GetBitmap(); }
    void* AddBitmapChangeCallback(TIEProcBitmapChangeEvent Callback) override {
        return FView->AddBitmapChangeCallback(
            [Callback](TIEView*, bool Destroying) { Callback(Destroying); });
    }
    void RemoveBitmapChangeCallback(void* Handle) override { FView->RemoveBitmapChangeCallback(Handle); }
    TColor GetBackground() override { return FView->GetBackground(); }
    void SetBackground(TColor Value) override { FView->SetBackground(Value); }
    void Update() override { FView->Update(); }
    void DoImageChange() override { FView->DoImageChange(); }

    bool IsPicturaView() override { return true; }
    // Vector objects are not part of this viewer: the object members are never asked for.
    bool IsPicturaVect() override { return false; }
    TIEMask* GetSelectionMask() override { return FView->GetSelectionMask(); }
    bool GetSelected() override { return FView->GetSelected(); }
    const TIEMaskPoint* GetSelectionPoints() override {
        return FView->SelectionPolygon.empty() ? nullptr
                                               : reinterpret_cast<const TIEMaskPoint*>(FView->SelectionPolygon.data());
    }
    int32_t GetSelectionPointCount() override { return static_cast<int32_t>(FView->SelectionPolygon.size()); }
    void WriteSelectionToStream(TStream* Stream) override { FView->WriteSelectionToStream(Stream); }
    void ReadSelectionFromStream(TStream* Stream, int32_t Mode) override { FView->ReadSelectionFromStream(Stream, Mode); }

    int32_t GetLayersCount() override { return FView->GetLayerCount(); }
    int32_t GetLayersCurrent() override { return FView->GetLayersCurrent(); }
    TIEBitmap* GetLayerBitmap(int32_t Index) override { return FView->GetLayer(Index)->Bitmap; }
    void SaveLayerToStream(int32_t Index, TStream* Stream, bool SaveBitmap) override {
        FView->GetLayer(Index)->SaveToStream(Stream, SaveBitmap);
    }
    void LoadLayerFromStream(int32_t Index, TStream* Stream) override { FView->GetLayer(Index)->LoadFromStream(Stream); }
    int32_t FindLayerByGUID(const uint8_t* GUID16) override {
        for (int32_t i = 0; i < FView->GetLayerCount(); ++i)
            if (std::memcmp(&FView->GetLayer(i)->LayerGUID, GUID16, 16) == 0) return i;
        return -1;
    }
    // Raw bitmaps, uncompressed.
    void SaveLayersToStream(TStream* Stream) override { FView->SaveLayersToStream(Stream, -2); }
    void LoadLayersFromStream(TStream* Stream) override { FView->LoadLayersFromStream(Stream); }

    void SaveObjectsToStream(TStream*) override {}
    void LoadObjectsFromStream(TStream*) override {}
    void SaveAllToStream(TStream*) override {}
    void LoadAllFromStream(TStream*) override {}

private:
    TPicturaView* FView;
};

}  // namespace

TPicturaProc* TPicturaView::GetProc() {
    if (!FProc) {
        if (!FProcLink) FProcLink = std::make_unique<TViewProcLink>(this);
        FProc = std::make_shared<TPicturaProc>(this);
        FProc->SetAttachedPictura(FProcLink.get());
        FProc->OnProgress = FOnProgress;
        FProc->OnFinishWork = FOnFinishWork;
        FProc->OnSaveUndo = FOnSaveUndo;
    }
    return FProc.get();
}
