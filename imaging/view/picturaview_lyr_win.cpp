// The viewer's layers in streams: the layers stream of LYR files ("PICTURALAYERS": a header, the
// property block of every layer, then each layer's image) and the single-layer record the undo of
// layers keeps. All fields are little-endian; Integer 4 bytes, Double 8, Boolean and Byte 1.
//
// Reading is done in two steps: everything the stream holds is read and checked first (every
// length and count against the bytes the stream still has, before anything is allocated), and only
// a stream read completely is put into the view. A truncated or damaged stream raises with the
// view's layers untouched.
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "iecoreutils_threads.h"
#include "iezlib.h"
#include "picturaio.h"
#include "picturaview_control.h"

namespace {

constexpr char kLayersMagic[] = "PICTURALAYERS";
constexpr int32_t kLayersMagicLen = 13;
constexpr int32_t kLayersVersion = 6;
constexpr int32_t kCodecZlibRaw = -1;
constexpr int32_t kCodecRaw = -2;

// ---- Writing ----

void PutBytes(TStream* S, const void* P, int32_t N) { S->WriteBuffer(P, N); }
void PutByte(TStream* S, uint8_t V) { PutBytes(S, &V, 1); }
void PutBool(TStream* S, bool V) { PutByte(S, V ? 1 : 0); }
void PutInt(TStream* S, int32_t V) {
    uint8_t b[4];
    ByteOrder::PutLE32(b, uint32_t(V));
    PutBytes(S, b, 4);
}
void PutDouble(TStream* S, double V) {
    uint64_t bits;
    std::memcpy(&bits, &V, 8);
    uint8_t b[8];
    ByteOrder::PutLE32(b, uint32_t(bits));
    ByteOrder::PutLE32(b + 4, uint32_t(bits >> 32));
    PutBytes(S, b, 8);
}
void PutString(TStream* S, const std::string& V) {
    PutInt(S, int32_t(V.size()));
    if (!V.empty()) PutBytes(S, V.data(), int32_t(V.size()));
}

// ---- Reading: every read is checked against the bytes left ----

struct TReader {
    TStream* S;
    int64_t Size;
    int64_t Left() { return Size - S->GetPosition(); }
    void Need(int64_t N) {
        if (N < 0 || N > Left()) throw EReadError(SReadError);
    }
    void Bytes(void* P, int32_t N) {
        Need(N);
        S->ReadBuffer(P, N);
    }
    uint8_t Byte() {
        uint8_t v = 0;
        Bytes(&v, 1);
        return v;
    }
    bool Bool() { return Byte() != 0; }
    int32_t Int() {
        uint8_t b[4];
        Bytes(b, 4);
        return int32_t(ByteOrder::GetLE32(b));
    }
    int64_t Int64() {
        uint8_t b[8];
        Bytes(b, 8);
        return int64_t(uint64_t(ByteOrder::GetLE32(b)) | (uint64_t(ByteOrder::GetLE32(b + 4)) << 32));
    }
    double Double() {
        const uint64_t bits = uint64_t(Int64());
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    std::string String() {
        const int32_t n = Int();
        Need(n);
        std::string v(size_t(n), '\0');
        if (n > 0) Bytes(&v[0], n);
        return v;
    }
    std::vector<uint8_t> Block(int32_t N) {
        Need(N);
        std::vector<uint8_t> v(static_cast<size_t>(N));
        if (N > 0) Bytes(v.data(), N);
        return v;
    }
};

// The properties of one layer as a layers stream holds them, with the image read for it.
struct TStreamLayer {
    bool Visible = true, VisibleBox = true;
    int32_t Transparency = 255, PosX = 0, PosY = 0;
    bool ClipToBackground = false, Locked = false;
    TIELayer::TMagnify Magnify;
    uint8_t Operation = 0;
    int32_t Width = 0, Height = 0;
    TResampleFilter ResampleFilter = rfNone;
    bool UseResampleFilter = false;
    std::string Name;
    std::vector<uint8_t> UserData;
    bool IsMask = false, Selectable = true, DimOutside = false;
    int64_t ImageOffset = 0;
    std::unique_ptr<TIEBitmap> Image;
};

// The smallest property block of a stream version (no name, no user data).
int32_t MinBlockSize(int32_t Version) {
    int32_t n = 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 4 + 4 + 8;
    if (Version >= 3) n += 1 + 1 + 1 + 4 + 4 + 1;
    if (Version >= 4) n += 1;
    if (Version >= 6) n += 1;
    return n;
}

void ReadBlock(TReader& R, int32_t Version, TStreamLayer& L) {
    L.Visible = R.Bool();
    L.VisibleBox = R.Bool();
    L.Transparency = R.Int();
    L.PosX = R.Int();
    L.PosY = R.Int();
    L.ClipToBackground = R.Bool();
    L.Locked = R.Bool();
    L.Magnify.MagnifyEnabled = R.Bool();
    L.Magnify.MagnifyRate = R.Double();
    L.Magnify.MagnifyStyle = R.Byte();
    if (Version >= 3) L.Magnify.MagnifySource = R.Byte();
    L.Operation = R.Byte();
    L.Width = R.Int();
    L.Height = R.Int();
    if (Version >= 3) {
        L.ResampleFilter = TResampleFilter(R.Byte());
        L.UseResampleFilter = R.Bool();
        L.Name = R.String();
        const int32_t len = R.Int();
        if (len > 0) L.UserData = R.Block(len);
        L.IsMask = R.Bool();
    }
    if (Version >= 4) L.Selectable = R.Bool();
    if (Version >= 6) L.DimOutside = R.Bool();
    L.ImageOffset = R.Int64();
}

// A raw bitmap record ("TIEBITMAPRAW") of N bytes at the stream's position, inflated first for the
// zlib codec.
std::unique_ptr<TIEBitmap> ReadRawImage(TReader& R, bool Compressed) {
    const int32_t n = R.Int();
    R.Need(n);
    TMemoryStream mem;
    mem.SetSize(n);
    if (n > 0) R.Bytes(mem.GetMemory(), n);
    mem.SetPosition(0);
    auto image = std::make_unique<TIEBitmap>();
    bool ok;
    if (Compressed) {
        TZDecompressionStream z(&mem);
        ok = image->LoadRawFromStream(nullptr, &z);
    } else {
        ok = image->LoadRawFromStream(nullptr, &mem);
    }
    if (!ok) throw EReadError(SReadError);
    return image;
}

// A raw bitmap record of Bitmap, deflated at zlib's default level for the zlib codec, as an
// Integer byte count and the bytes.
void WriteRawImage(TStream* S, TIEBitmap* Bitmap, bool Compressed) {
    TMemoryStream mem;
    const int64_t rowBytes = int64_t(Bitmap->GetHeight()) * Bitmap->GetRowLen();
    int64_t estimate = rowBytes / 2;
    if (Bitmap->HasAlphaChannel()) estimate += int64_t(Bitmap->GetHeight()) * Bitmap->GetAlphaChannel()->GetRowLen();
    if (IEGetMemorySize(true) > estimate) {
        try {
            mem.SetSize(estimate);
        } catch (const Exception&) {
            // Only a hint for the size; writing grows the stream anyway.
        }
    }
    mem.SetPosition(0);
    if (Compressed) {
        TZCompressionStream z(&mem, 2);
        Bitmap->SaveRawToStream(nullptr, &z);
        z.Finish();
    } else {
        Bitmap->SaveRawToStream(nullptr, &mem);
    }
    const int64_t produced = mem.GetPosition();
    PutInt(S, int32_t(produced));
    if (produced > 0) PutBytes(S, mem.GetMemory(), int32_t(produced));
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

    PutBytes(Stream, kLayersMagic, kLayersMagicLen);
    PutInt(Stream, kLayersVersion);
    PutInt(Stream, Codec);
    PutInt(Stream, GetLayerCount());
    std::vector<int64_t> offsetFields;
    for (auto& l : FLayers) {
        PutBool(Stream, l->Visible);
        PutBool(Stream, l->VisibleBox);
        PutInt(Stream, l->Transparency);
        PutInt(Stream, l->PosX);
        PutInt(Stream, l->PosY);
        PutBool(Stream, l->ClipToBackground);
        PutBool(Stream, l->Locked);
        PutBool(Stream, l->Magnify.MagnifyEnabled);
        PutDouble(Stream, l->Magnify.MagnifyRate);
        PutByte(Stream, l->Magnify.MagnifyStyle);
        PutByte(Stream, l->Magnify.MagnifySource);
        PutByte(Stream, l->Operation);
        PutInt(Stream, l->Width);
        PutInt(Stream, l->Height);
        PutByte(Stream, uint8_t(l->ResampleFilter));
        PutBool(Stream, l->UseResampleFilter);
        PutString(Stream, l->Name);
        const int32_t len = l->UserData ? std::max(l->UserDataLen, 0) : 0;
        PutInt(Stream, len);
        if (len > 0) PutBytes(Stream, l->UserData, len);
        PutBool(Stream, l->IsMask);
        PutBool(Stream, l->Selectable);
        PutBool(Stream, l->DimOutside);
        offsetFields.push_back(Stream->GetPosition());
        const uint8_t zero[8] = {};
        PutBytes(Stream, zero, 8);
    }
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        const int64_t end = Stream->GetPosition();
        Stream->SetPosition(offsetFields[size_t(i)]);
        PutInt(Stream, int32_t(uint32_t(uint64_t(end))));
        PutInt(Stream, int32_t(uint32_t(uint64_t(end) >> 32)));
        Stream->SetPosition(end);
        SetCurrentLayer(i);
        if (Codec == kCodecZlibRaw || Codec == kCodecRaw) {
            WriteRawImage(Stream, FCurrentImage, Codec == kCodecZlibRaw);
        } else {
            TPicturaIO* io = GetIO();
            TIOParamsVals* p = io->GetParams();
            switch (FCurrentImage->GetPixelFormat()) {
                case ie1g: p->BitsPerSample = 1; p->SamplesPerPixel = 1; break;
                case ie8g: p->BitsPerSample = 8; p->SamplesPerPixel = 1; p->TIFFPhotometric = 1; break;
                default: p->BitsPerSample = 8; p->SamplesPerPixel = 3; p->TIFFPhotometric = 2; break;
            }
            io->SaveToStream(Stream, TIOFileType(Codec));
        }
        Stream->Seek(0, soEnd);
    }
}

bool TPicturaView::LoadLayersFromStream(TStream* Stream) {
    TReader r{Stream, Stream->GetSize()};
    char magic[kLayersMagicLen];
    uint8_t header[12];
    r.Bytes(magic, kLayersMagicLen);
    r.Bytes(header, 12);
    if (std::memcmp(magic, kLayersMagic, kLayersMagicLen) != 0) return false;
    const int32_t version = int32_t(ByteOrder::GetLE32(header));
    const int32_t codec = int32_t(ByteOrder::GetLE32(header + 4));
    const int32_t count = int32_t(ByteOrder::GetLE32(header + 8));
    bool result = false;
    if (version > 0) {
        // Everything first, into the side; the view changes only once all of it is read.
        if (count < 1 || int64_t(count) * MinBlockSize(version) > r.Left()) throw EReadError(SReadError);
        std::vector<TStreamLayer> layers(static_cast<size_t>(count));
        // Fields an older stream does not hold keep layer 0's values.
        TIELayer* l0 = GetLayer(0);
        layers[0].Magnify.MagnifySource = l0->Magnify.MagnifySource;
        layers[0].ResampleFilter = l0->ResampleFilter;
        layers[0].UseResampleFilter = l0->UseResampleFilter;
        layers[0].Name = l0->Name;
        if (l0->UserDataLen > 0 && l0->UserData)
            layers[0].UserData.assign(static_cast<uint8_t*>(l0->UserData),
                                      static_cast<uint8_t*>(l0->UserData) + l0->UserDataLen);
        layers[0].IsMask = l0->IsMask;
        layers[0].Selectable = l0->Selectable;
        layers[0].DimOutside = l0->DimOutside;
        const bool keepOldUserData = version < 3;
        for (auto& l : layers) {
            ReadBlock(r, version, l);
            const int64_t after = Stream->GetPosition();
            if (l.ImageOffset < 0 || l.ImageOffset >= r.Size) throw EReadError(SReadError);
            Stream->SetPosition(l.ImageOffset);
            if (codec == kCodecZlibRaw || codec == kCodecRaw) {
                l.Image = ReadRawImage(r, codec == kCodecZlibRaw);
            } else {
                l.Image = std::make_unique<TIEBitmap>();
                TPicturaIO io(nullptr);
                io.SetAttachedIEBitmap(l.Image.get());
                // A mask keeps its grey pixel format; others follow the view's I/O setting.
                io.SetNativePixelFormat(l.IsMask || (FIO && FIO->GetNativePixelFormat()));
                io.LoadFromStreamFormat(Stream, TIOFileType(codec));
                // A type the I/O component cannot read here leaves the image empty.
                if (io.Aborting || l.Image->IsEmpty()) throw EReadError(SReadError);
            }
            Stream->SetPosition(after);
        }
        // Into the view.
        HoldUpdate();
        try {
            while (GetLayerCount() > 1) RemoveLayer(GetLayerCount() - 1);
            for (int32_t i = 0; i < count; ++i) {
                if (i > 0) AddLayer();
                SetCurrentLayer(i);
                TIELayer* l = GetCurrentLayer();
                TStreamLayer& s = layers[size_t(i)];
                l->Visible = s.Visible;
                l->VisibleBox = s.VisibleBox;
                l->Transparency = s.Transparency;
                l->PosX = s.PosX;
                l->PosY = s.PosY;
                l->ClipToBackground = s.ClipToBackground;
                l->Locked = s.Locked;
                l->Magnify = s.Magnify;
                l->Operation = s.Operation;
                l->Width = s.Width;
                l->Height = s.Height;
                l->ResampleFilter = s.ResampleFilter;
                l->UseResampleFilter = s.UseResampleFilter;
                l->Name = s.Name;
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
                l->IsMask = s.IsMask;
                l->Selectable = s.Selectable;
                l->DimOutside = s.DimOutside;
                l->ScreenRect = RECT{0, 0, 0, 0};
                FCurrentImage->Assign(s.Image.get());
                if (!s.Image->HasAlphaChannel() && FCurrentImage->HasAlphaChannel()) FCurrentImage->RemoveAlphaChannel();
            }
        } catch (...) {
            ReleaseUpdateNoRefresh();
            throw;
        }
        ReleaseUpdateNoRefresh();
        result = true;
    }
    if (FIO) {
        TIEBitmap* b0 = GetLayer(0)->Bitmap;
        TIOParamsVals* p = FIO->GetParams();
        p->Width = p->OriginalWidth = b0->GetWidth();
        p->Height = p->OriginalHeight = b0->GetHeight();
    }
    Update();
    return result;
}

bool TPicturaView::LoadLayersFromFile(const std::wstring& FileName) {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadLayersFromStream(&file);
}

// ---- The single-layer record -------------------------------------------------------------------

void TIELayer::SaveToStream(TStream* Stream, bool WithBitmap) {
    const int64_t start = Stream->GetPosition();
    PutInt(Stream, 0);
    PutBytes(Stream, &LayerGUID, 16);
    PutInt(Stream, Width);
    PutInt(Stream, Height);
    PutBool(Stream, Visible);
    PutBool(Stream, VisibleBox);
    PutBool(Stream, Selectable);
    PutInt(Stream, Transparency);
    PutInt(Stream, PosX);
    PutInt(Stream, PosY);
    PutInt(Stream, ScreenRect.left);
    PutInt(Stream, ScreenRect.top);
    PutInt(Stream, ScreenRect.right);
    PutInt(Stream, ScreenRect.bottom);
    PutBool(Stream, ClipToBackground);
    PutBool(Stream, Locked);
    // The magnifier group as its 24-byte record.
    uint8_t magnify[24] = {};
    magnify[0] = Magnify.MagnifyEnabled ? 1 : 0;
    uint64_t rate;
    std::memcpy(&rate, &Magnify.MagnifyRate, 8);
    ByteOrder::PutLE32(magnify + 8, uint32_t(rate));
    ByteOrder::PutLE32(magnify + 12, uint32_t(rate >> 32));
    magnify[16] = Magnify.MagnifyStyle;
    magnify[17] = Magnify.MagnifySource;
    PutBytes(Stream, magnify, 24);
    PutByte(Stream, Operation);
    // The user-data slot keeps its 4 bytes; a reference to memory means nothing once read back, so
    // it is written as 0 and not restored.
    PutInt(Stream, 0);
    PutByte(Stream, uint8_t(ResampleFilter));
    PutBool(Stream, UseResampleFilter);
    PutString(Stream, Name);
    PutBool(Stream, IsMask);
    PutBool(Stream, DimOutside);
    PutDouble(Stream, RotationAngle);
    PutDouble(Stream, RotationCenterX);
    PutDouble(Stream, RotationCenterY);
    const bool withBitmap = WithBitmap && Bitmap;
    PutBool(Stream, withBitmap);
    if (withBitmap) Bitmap->SaveRawToStream(nullptr, Stream);
    const int64_t end = Stream->GetPosition();
    Stream->SetPosition(start);
    PutInt(Stream, int32_t(end - start));
    Stream->SetPosition(end);
}

void TIELayer::LoadFromStream(TStream* Stream) {
    TReader r{Stream, Stream->GetSize()};
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
