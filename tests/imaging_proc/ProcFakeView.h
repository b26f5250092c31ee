// A stand-in viewer for the image-processing component's tests: it owns an image buffer (or only
// a "system bitmap" pointer), a selection mask and a list of layers, counts what the component asks
// of it, and calls the registered bitmap-change callbacks as a real viewer does.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "iemask.h"
#include "picturaproc_viewlink.h"

class TProcFakeView : public TComponent, public TIEProcViewLink {
public:
    explicit TProcFakeView(bool APictura = true) : TComponent(nullptr), Pictura(APictura) {
        Image = std::make_unique<TIEBitmap>(8, 6, ie24RGB);
    }
    ~TProcFakeView() override {
        for (auto& c : Callbacks)
            if (c) (*c)(true);
    }

    // A selection of columns 4..13 of rows 3..7 (a 10 x 5 box) but for a hole at (6, 5), on an
    // image of at least 14 x 8.
    void SelectBoxWithHole() {
        Mask.Allocate(Image->GetWidth(), Image->GetHeight(), 1);
        for (int32_t y = 3; y < 8; ++y)
            for (int32_t x = 4; x < 14; ++x)
                if (!(x == 6 && y == 5)) Mask.SetPixel(x, y, 1);
        Mask.UpdateBoundingBox();
        Selected = true;
    }

    TComponent* GetLinkComponent() override { return this; }
    TIEBitmap* GetIEBitmap() override { return Image.get(); }
    TBitmap* GetBitmap() override { return nullptr; }
    void* AddBitmapChangeCallback(TIEProcBitmapChangeEvent Callback) override {
        Callbacks.push_back(std::make_unique<TIEProcBitmapChangeEvent>(std::move(Callback)));
        return Callbacks.back().get();
    }
    void RemoveBitmapChangeCallback(void* Handle) override {
        for (auto& c : Callbacks)
            if (c.get() == Handle) c.reset();
    }
    int32_t CallbackCount() const {
        int32_t n = 0;
        for (auto& c : Callbacks) n += c ? 1 : 0;
        return n;
    }
    // Replaces the image and tells the callbacks, as a viewer does after loading.
    void ReplaceImage(std::unique_ptr<TIEBitmap> New) {
        Image = std::move(New);
        for (auto& c : Callbacks)
            if (c) (*c)(false);
    }
    TColor GetBackground() override { return Background; }
    void SetBackground(TColor Value) override { Background = Value; }
    void Update() override { ++Updates; }
    void DoImageChange() override { ++ImageChanges; }

    bool IsPicturaView() override { return Pictura; }
    bool IsPicturaVect() override { return false; }
    TIEMask* GetSelectionMask() override { return Selected ? &Mask : nullptr; }
    bool GetSelected() override { return Selected; }
    const TIEMaskPoint* GetSelectionPoints() override { return nullptr; }
    int32_t GetSelectionPointCount() override { return 0; }
    void WriteSelectionToStream(TStream* Stream) override { Stream->WriteBuffer(&SelectionValue, 4); }
    void ReadSelectionFromStream(TStream* Stream, int32_t) override { Stream->ReadBuffer(&SelectionValue, 4); }

    // A layer: its GUID, a value the test changes, and its bitmap.
    struct TLayer {
        uint8_t GUID[16];
        int32_t Value;
        std::unique_ptr<TIEBitmap> Bitmap;
    };
    void AddLayer(uint8_t Id, int32_t Value) {
        TLayer l;
        std::memset(l.GUID, Id, 16);
        l.Value = Value;
        l.Bitmap = std::make_unique<TIEBitmap>(4, 4, ie24RGB);
        Layers.push_back(std::move(l));
    }
    int32_t GetLayersCount() override { return (int32_t)Layers.size(); }
    int32_t GetLayersCurrent() override { return CurrentLayer; }
    TIEBitmap* GetLayerBitmap(int32_t Index) override { return Layers[(size_t)Index].Bitmap.get(); }
    // Record: length (24), GUID, value.
    void SaveLayerToStream(int32_t Index, TStream* Stream, bool) override {
        const int32_t length = 24;
        Stream->WriteBuffer(&length, 4);
        Stream->WriteBuffer(Layers[(size_t)Index].GUID, 16);
        Stream->WriteBuffer(&Layers[(size_t)Index].Value, 4);
    }
    void LoadLayerFromStream(int32_t Index, TStream* Stream) override {
        uint8_t skip[20];
        Stream->ReadBuffer(skip, 20);
        Stream->ReadBuffer(&Layers[(size_t)Index].Value, 4);
    }
    int32_t FindLayerByGUID(const uint8_t* GUID16) override {
        for (size_t i = 0; i < Layers.size(); ++i)
            if (std::memcmp(Layers[i].GUID, GUID16, 16) == 0) return (int32_t)i;
        return -1;
    }
    void SaveLayersToStream(TStream*) override {}
    void LoadLayersFromStream(TStream*) override {}
    void SaveObjectsToStream(TStream*) override {}
    void LoadObjectsFromStream(TStream*) override {}
    void SaveAllToStream(TStream*) override {}
    void LoadAllFromStream(TStream*) override {}

    bool Pictura;
    std::unique_ptr<TIEBitmap> Image;
    std::vector<std::unique_ptr<TIEProcBitmapChangeEvent>> Callbacks;
    TColor Background = 0x00FF00;
    int32_t Updates = 0;
    int32_t ImageChanges = 0;
    bool Selected = false;
    TIEMask Mask;
    int32_t SelectionValue = 0;
    std::vector<TLayer> Layers;
    int32_t CurrentLayer = 0;
};
