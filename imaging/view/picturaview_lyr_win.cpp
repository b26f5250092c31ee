// The viewer's layers in streams: the layers stream of LYR files (its format in picturaview_lyr.h)
// and the single-layer record the undo of layers keeps.
//
// Reading is done in two steps: everything the stream holds is read and checked first, and only a
// stream read completely is put into the view. A truncated or damaged stream raises with the
// view's layers untouched.
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "picturaio.h"
#include "picturaview_control.h"
#include "picturaview_lyr.h"

namespace {

// A layer's properties as the stream holds them (the image is not part of it), and back.
void ToRecord(const TIELayer& L, TIELayersStreamLayer& R) {
    R.Visible = L.Visible;
    R.VisibleBox = L.VisibleBox;
    R.Transparency = L.Transparency;
    R.PosX = L.PosX;
    R.PosY = L.PosY;
    R.ClipToBackground = L.ClipToBackground;
    R.Locked = L.Locked;
    R.MagnifyEnabled = L.Magnify.MagnifyEnabled;
    R.MagnifyRate = L.Magnify.MagnifyRate;
    R.MagnifyStyle = L.Magnify.MagnifyStyle;
    R.MagnifySource = L.Magnify.MagnifySource;
    R.Operation = L.Operation;
    R.Width = L.Width;
    R.Height = L.Height;
    R.ResampleFilter = L.ResampleFilter;
    R.UseResampleFilter = L.UseResampleFilter;
    R.Name = L.Name;
    R.UserData.clear();
    if (L.UserData && L.UserDataLen > 0)
        R.UserData.assign(static_cast<const uint8_t*>(L.UserData), static_cast<const uint8_t*>(L.UserData) + L.UserDataLen);
    R.IsMask = L.IsMask;
    R.Selectable = L.Selectable;
    R.DimOutside = L.DimOutside;
}

// The properties but the user data (which needs its own block).
void FromRecord(const TIELayersStreamLayer& R, TIELayer& L) {
    L.Visible = R.Visible;
    L.VisibleBox = R.VisibleBox;
    L.Transparency = R.Transparency;
    L.PosX = R.PosX;
    L.PosY = R.PosY;
    L.ClipToBackground = R.ClipToBackground;
    L.Locked = R.Locked;
    L.Magnify.MagnifyEnabled = R.MagnifyEnabled;
    L.Magnify.MagnifyRate = R.MagnifyRate;
    L.Magnify.MagnifyStyle = R.MagnifyStyle;
    L.Magnify.MagnifySource = R.MagnifySource;
    L.Operation = R.Operation;
    L.Width = R.Width;
    L.Height = R.Height;
    L.ResampleFilter = R.ResampleFilter;
    L.UseResampleFilter = R.UseResampleFilter;
    L.Name = R.Name;
    L.IsMask = R.IsMask;
    L.Selectable = R.Selectable;
    L.DimOutside = R.DimOutside;
}

}  // namespace

// ---- The layers stream --------------------------------------------------------------------------

void TPicturaView::SaveLayersToStream(TStream* Stream, int32_t Codec) {
    const int32_t savedCurrent = FCurrentLayer;
    const bool savedSkip = SkipUnselectableLayers;
    SkipUnselectableLayers = false;
    if (Codec == 1) Codec = 8;   // TIFF layers are stored as PNG
    struct TRestore {
        TPicturaView* View;
        int32_t Current;
        bool Skip;
        ~TRestore() {
            try {
                View->SetCurrentLayer(Current);
            } catch (...) {
            }
            View->SkipUnselectableLayers = Skip;
        }
    } restore{this, savedCurrent, savedSkip};
    GetCurrentLayer()->Bitmap = FCurrentImage;

    std::vector<TIELayersStreamLayer> blocks(FLayers.size());
    for (size_t i = 0; i < FLayers.size(); ++i) ToRecord(*FLayers[i], blocks[i]);
    IEWriteLayersStream(Stream, Codec, blocks, [&](int32_t Index) {
        // The layer's bitmap is written as the view's current image.
        SetCurrentLayer(Index);
        if (Codec == IELayersCodecZlibRaw || Codec == IELayersCodecRaw) {
            IEWriteLayersRawImage(Stream, FCurrentImage, Codec == IELayersCodecZlibRaw);
            return;
        }
        TPicturaIO* io = GetIO();
        TIOParamsVals* p = io->GetParams();
        switch (FCurrentImage->GetPixelFormat()) {
            case ie1g: p->BitsPerSample = 1; p->SamplesPerPixel = 1; break;
            case ie8g: p->BitsPerSample = 8; p->SamplesPerPixel = 1; p->TIFFPhotometric = 1; break;
            default: p->BitsPerSample = 8; p->SamplesPerPixel = 3; p->TIFFPhotometric = 2; break;
        }
        io->SaveToStream(Stream, TIOFileType(Codec));
    });
}

bool TPicturaView::LoadLayersFromStream(TStream* Stream) {
    // Everything first, into the side; the view changes only once all of it is read. Fields an
    // older stream does not hold keep layer 0's values.
    TIELayersStream read;
    read.Layers.resize(1);
    ToRecord(*GetLayer(0), read.Layers[0]);
    // A wrong magic leaves the version as given here and changes nothing at all; a version of 0 or
    // below still updates the view.
    read.Version = 1;
    const bool ok = IEReadLayersStream(Stream, read, FIO && FIO->GetNativePixelFormat());
    if (!ok && read.Version > 0) return false;
    if (ok) {
        const bool keepOldUserData = read.Version < 3;
        HoldUpdate();
        try {
            while (GetLayerCount() > 1) RemoveLayer(GetLayerCount() - 1);
            for (int32_t i = 0; i < int32_t(read.Layers.size()); ++i) {
                if (i > 0) AddLayer();
                SetCurrentLayer(i);
                TIELayer* l = GetCurrentLayer();
                TIELayersStreamLayer& s = read.Layers[size_t(i)];
                FromRecord(s, *l);
                if (!(i == 0 && keepOldUserData)) {
                    if (l->UserDataLen > 0) std::free(l->UserData);
                    l->UserData = nullptr;
                    l->UserDataLen = 0;
                    if (!s.UserData.empty()) {
                        l->UserData = std::malloc(s.UserData.size());
                        std::memcpy(l->UserData, s.UserData.data(), s.UserData.size());
                        l->UserDataLen = int32_t(s.UserData.size());
                    }
                }
                l->ScreenRect = RECT{0, 0, 0, 0};
                FCurrentImage->Assign(s.Image.get());
                if (!s.Image->HasAlphaChannel() && FCurrentImage->HasAlphaChannel()) FCurrentImage->RemoveAlphaChannel();
            }
        } catch (...) {
            ReleaseUpdateNoRefresh();
            throw;
        }
        ReleaseUpdateNoRefresh();
    }
    if (FIO) {
        TIEBitmap* b0 = GetLayer(0)->Bitmap;
        TIOParamsVals* p = FIO->GetParams();
        p->Width = p->OriginalWidth = b0->GetWidth();
        p->Height = p->OriginalHeight = b0->GetHeight();
    }
    Update();
    return ok;
}

bool TPicturaView::LoadLayersFromFile(const std::wstring& FileName) {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadLayersFromStream(&file);
}

// ---- The single-layer record -------------------------------------------------------------------

void TIELayer::SaveToStream(TStream* Stream, bool WithBitmap) {
    const int64_t start = Stream->GetPosition();
    IEWriteLayersInt(Stream, 0);
    Stream->WriteBuffer(&LayerGUID, 16);
    IEWriteLayersInt(Stream, Width);
    IEWriteLayersInt(Stream, Height);
    IEWriteLayersByte(Stream, Visible);
    IEWriteLayersByte(Stream, VisibleBox);
    IEWriteLayersByte(Stream, Selectable);
    IEWriteLayersInt(Stream, Transparency);
    IEWriteLayersInt(Stream, PosX);
    IEWriteLayersInt(Stream, PosY);
    IEWriteLayersInt(Stream, ScreenRect.left);
    IEWriteLayersInt(Stream, ScreenRect.top);
    IEWriteLayersInt(Stream, ScreenRect.right);
    IEWriteLayersInt(Stream, ScreenRect.bottom);
    IEWriteLayersByte(Stream, ClipToBackground);
    IEWriteLayersByte(Stream, Locked);
    // The magnifier group as its 24-byte record.
    uint8_t magnify[24] = {};
    magnify[0] = Magnify.MagnifyEnabled ? 1 : 0;
    uint64_t rate;
    std::memcpy(&rate, &Magnify.MagnifyRate, 8);
    ByteOrder::PutLE32(magnify + 8, uint32_t(rate));
    ByteOrder::PutLE32(magnify + 12, uint32_t(rate >> 32));
    magnify[16] = Magnify.MagnifyStyle;
    magnify[17] = Magnify.MagnifySource;
    Stream->WriteBuffer(magnify, 24);
    IEWriteLayersByte(Stream, Operation);
    // The user-data slot keeps its 4 bytes; a reference to memory means nothing once read back, so
    // it is written as 0 and not restored.
    IEWriteLayersInt(Stream, 0);
    IEWriteLayersByte(Stream, uint8_t(ResampleFilter));
    IEWriteLayersByte(Stream, UseResampleFilter);
    IEWriteLayersString(Stream, Name);
    IEWriteLayersByte(Stream, IsMask);
    IEWriteLayersByte(Stream, DimOutside);
    IEWriteLayersDouble(Stream, RotationAngle);
    IEWriteLayersDouble(Stream, RotationCenterX);
    IEWriteLayersDouble(Stream, RotationCenterY);
    const bool withBitmap = WithBitmap && Bitmap;
    IEWriteLayersByte(Stream, withBitmap);
    if (withBitmap) Bitmap->SaveRawToStream(nullptr, Stream);
    const int64_t end = Stream->GetPosition();
    Stream->SetPosition(start);
    IEWriteLayersInt(Stream, int32_t(end - start));
    Stream->SetPosition(end);
}

void TIELayer::LoadFromStream(TStream* Stream) {
    TIEStreamReader r{Stream, Stream->GetSize()};
    const int64_t start = Stream->GetPosition();
    const int32_t length = r.Int();
    // The record must lie inside the stream; nothing beyond it is read.
    if (length < 4 || length > r.Size - start) throw EReadError(SReadError);
    r.Size = start + length;
    GUID guid;
    r.Bytes(&guid, 16);
    const int32_t w = r.Int(), h = r.Int();
    const bool visible = r.Bool(), visibleBox = r.Bool(), selectable = r.Bool();
    const int32_t transparency = r.Int(), posX = r.Int(), posY = r.Int();
    RECT screen;
    screen.left = r.Int();
    screen.top = r.Int();
    screen.right = r.Int();
    screen.bottom = r.Int();
    const bool clip = r.Bool(), locked = r.Bool();
    uint8_t magnify[24];
    r.Bytes(magnify, 24);
    TMagnify m;
    m.MagnifyEnabled = magnify[0] != 0;
    const uint64_t rate = uint64_t(ByteOrder::GetLE32(magnify + 8)) | (uint64_t(ByteOrder::GetLE32(magnify + 12)) << 32);
    std::memcpy(&m.MagnifyRate, &rate, 8);
    m.MagnifyStyle = magnify[16];
    m.MagnifySource = magnify[17];
    const uint8_t operation = r.Byte();
    r.Int();   // the user-data slot
    const TResampleFilter filter = TResampleFilter(r.Byte());
    const bool useFilter = r.Bool();
    std::string name = r.String();
    const bool isMask = r.Bool(), dimOutside = r.Bool();
    const double angle = r.Double(), cx = r.Double(), cy = r.Double();
    std::unique_ptr<TIEBitmap> image;
    if (r.Bool()) {
        image = std::make_unique<TIEBitmap>();
        if (!image->LoadRawFromStream(nullptr, Stream) || Stream->GetPosition() > r.Size) throw EReadError(SReadError);
    }
    LayerGUID = guid;
    Width = w;
    Height = h;
    Visible = visible;
    VisibleBox = visibleBox;
    Selectable = selectable;
    Transparency = transparency;
    PosX = posX;
    PosY = posY;
    ScreenRect = screen;
    ClipToBackground = clip;
    Locked = locked;
    Magnify = m;
    Operation = operation;
    ResampleFilter = filter;
    UseResampleFilter = useFilter;
    Name = std::move(name);
    IsMask = isMask;
    DimOutside = dimOutside;
    RotationAngle = angle;
    RotationCenterX = cx;
    RotationCenterY = cy;
    if (image && Bitmap) Bitmap->Assign(image.get());
    Stream->SetPosition(start + length);
}
