// What the image-processing component needs of a viewer it is attached to. The viewer lives in the
// library above this one, so the component reaches it through this interface, which the viewer
// implements. A viewer that is a plain display (no selection, no layers) answers False to
// IsPicturaView and is never asked for the selection, layer or object members; a viewer with
// vector objects also answers True to IsPicturaVect.
#pragma once

#include <cstdint>
#include <functional>

#include "Classes.h"
#include "iecoreutils_general.h"
#include "iemask.h"

class TBitmap;
class TIEBitmap;

// Called by the viewer after it replaced the bitmap GetIEBitmap returns (Destroying False), and
// once with Destroying True while it is destroyed, after which it never calls it again.
using TIEProcBitmapChangeEvent = std::function<void(bool Destroying)>;

class TIEProcViewLink {
public:
    virtual ~TIEProcViewLink() = default;

    // ---- Every viewer ----
    // The viewer as a component, for free notifications (never null).
    virtual TComponent* GetLinkComponent() = 0;
    // The current image buffer; null for a viewer that only offers a system bitmap.
    virtual TIEBitmap* GetIEBitmap() = 0;
    virtual TBitmap* GetBitmap() = 0;
    // Registers a callback; the handle to remove it with.
    virtual void* AddBitmapChangeCallback(TIEProcBitmapChangeEvent Callback) = 0;
    // Nothing for a null handle or one that is not registered.
    virtual void RemoveBitmapChangeCallback(void* Handle) = 0;
    virtual TColor GetBackground() = 0;
    virtual void SetBackground(TColor Value) = 0;
    // Recomputes and repaints after the image changed.
    virtual void Update() = 0;
    // Reports the image change to the viewer's handlers.
    virtual void DoImageChange() = 0;

    // ---- Viewers with selection and layers ----
    virtual bool IsPicturaView() = 0;
    virtual bool IsPicturaVect() = 0;
    // The selection mask (may be null), whether a selection exists, and its polygon.
    virtual TIEMask* GetSelectionMask() = 0;
    virtual bool GetSelected() = 0;
    virtual const TIEMaskPoint* GetSelectionPoints() = 0;
    virtual int32_t GetSelectionPointCount() = 0;
    virtual void WriteSelectionToStream(TStream* Stream) = 0;
    virtual void ReadSelectionFromStream(TStream* Stream, int32_t Mode) = 0;

    virtual int32_t GetLayersCount() = 0;
    virtual int32_t GetLayersCurrent() = 0;
    virtual TIEBitmap* GetLayerBitmap(int32_t Index) = 0;
    // One layer's record (its Integer length counting the whole record, then its 16-byte GUID,
    // then the rest); SaveBitmap adds the layer's bitmap.
    virtual void SaveLayerToStream(int32_t Index, TStream* Stream, bool SaveBitmap) = 0;
    // The layer reads the record that starts at the stream's position.
    virtual void LoadLayerFromStream(int32_t Index, TStream* Stream) = 0;
    // The index of the first layer with this GUID, -1 when none.
    virtual int32_t FindLayerByGUID(const uint8_t* GUID16) = 0;
    // All layers with their images uncompressed, and back.
    virtual void SaveLayersToStream(TStream* Stream) = 0;
    virtual void LoadLayersFromStream(TStream* Stream) = 0;

    // ---- Viewers with vector objects (IsPicturaVect) ----
    // All objects, and back (replacing the objects).
    virtual void SaveObjectsToStream(TStream* Stream) = 0;
    virtual void LoadObjectsFromStream(TStream* Stream) = 0;
    // Layers and objects together, and back.
    virtual void SaveAllToStream(TStream* Stream) = 0;
    virtual void LoadAllFromStream(TStream* Stream) = 0;
};
