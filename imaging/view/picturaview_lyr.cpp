#include "picturaview_lyr.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "iecoreutils_threads.h"
#include "iezlib.h"
#include "picturaio.h"

namespace {

constexpr char kLayersMagic[] = "PICTURALAYERS";
constexpr int32_t kLayersMagicLen = 13;

// The smallest property block of a stream version (no name, no user data).
int32_t MinBlockSize(int32_t Version) {
    int32_t n = 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 4 + 4 + 8;
    if (Version >= 3) n += 1 + 1 + 1 + 4 + 4 + 1;
    if (Version >= 4) n += 1;
    if (Version >= 6) n += 1;
    return n;
}

// A block; returns the image offset.
int64_t ReadBlock(TIEStreamReader& R, int32_t Version, TIELayersStreamLayer& L) {
    L.Visible = R.Bool();
    L.VisibleBox = R.Bool();
    L.Transparency = R.Int();
    L.PosX = R.Int();
    L.PosY = R.Int();
    L.ClipToBackground = R.Bool();
    L.Locked = R.Bool();
    L.MagnifyEnabled = R.Bool();
    L.MagnifyRate = R.Double();
    L.MagnifyStyle = R.Byte();
    if (Version >= 3) L.MagnifySource = R.Byte();
    L.Operation = R.Byte();
    L.Width = R.Int();
    L.Height = R.Int();
    if (Version >= 3) {
        L.ResampleFilter = TResampleFilter(R.Byte());
        L.UseResampleFilter = R.Bool();
        L.Name = R.String();
        const int32_t len = R.Int();
        R.Need(std::max(len, 0));
        L.UserData.assign(static_cast<size_t>(std::max(len, 0)), 0);
        if (len > 0) R.Bytes(L.UserData.data(), len);
        L.IsMask = R.Bool();
    }
    if (Version >= 4) L.Selectable = R.Bool();
    if (Version >= 6) L.DimOutside = R.Bool();
    return R.Int64();
}

// A raw bitmap record of N bytes at the stream's position, inflated first for the zlib codec.
std::unique_ptr<TIEBitmap> ReadRawImage(TIEStreamReader& R, bool Compressed) {
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

void PutBytes(TStream* S, const void* P, int32_t N) { S->WriteBuffer(P, N); }

}  // namespace

bool IEReadLayersStream(TStream* Stream, TIELayersStream& Out, bool NativePixelFormat) {
    TIEStreamReader r{Stream, Stream->GetSize()};
    char magic[kLayersMagicLen];
    uint8_t header[12];
    r.Bytes(magic, kLayersMagicLen);
    r.Bytes(header, 12);
    if (std::memcmp(magic, kLayersMagic, kLayersMagicLen) != 0) return false;
    Out.Version = int32_t(ByteOrder::GetLE32(header));
    Out.Codec = int32_t(ByteOrder::GetLE32(header + 4));
    const int32_t count = int32_t(ByteOrder::GetLE32(header + 8));
    if (Out.Version <= 0) return false;
    if (count < 1 || int64_t(count) * MinBlockSize(Out.Version) > r.Left()) throw EReadError(SReadError);
    // Layer 0 starts from the values given for it; the others from the defaults.
    Out.Layers.resize(1);
    Out.Layers.resize(static_cast<size_t>(count));
    for (TIELayersStreamLayer& l : Out.Layers) {
        const int64_t offset = ReadBlock(r, Out.Version, l);
        const int64_t after = Stream->GetPosition();
        if (offset < 0 || offset >= r.Size) throw EReadError(SReadError);
        Stream->SetPosition(offset);
        if (Out.Codec == IELayersCodecZlibRaw || Out.Codec == IELayersCodecRaw) {
            l.Image = ReadRawImage(r, Out.Codec == IELayersCodecZlibRaw);
        } else {
            l.Image = std::make_unique<TIEBitmap>();
            TPicturaIO io(nullptr);
            io.SetAttachedIEBitmap(l.Image.get());
            // A mask keeps its grey pixel format.
            io.SetNativePixelFormat(l.IsMask || NativePixelFormat);
            io.LoadFromStreamFormat(Stream, TIOFileType(Out.Codec));
            // A type the I/O component cannot read here leaves the image empty.
            if (io.Aborting || l.Image->IsEmpty()) throw EReadError(SReadError);
        }
        Stream->SetPosition(after);
    }
    return true;
}

void IEWriteLayersByte(TStream* Stream, uint8_t Value) { PutBytes(Stream, &Value, 1); }

void IEWriteLayersInt(TStream* Stream, int32_t Value) {
    uint8_t b[4];
    ByteOrder::PutLE32(b, uint32_t(Value));
    PutBytes(Stream, b, 4);
}

void IEWriteLayersDouble(TStream* Stream, double Value) {
    uint64_t bits;
    std::memcpy(&bits, &Value, 8);
    IEWriteLayersInt(Stream, int32_t(uint32_t(bits)));
    IEWriteLayersInt(Stream, int32_t(uint32_t(bits >> 32)));
}

void IEWriteLayersString(TStream* Stream, const std::string& Value) {
    IEWriteLayersInt(Stream, int32_t(Value.size()));
    if (!Value.empty()) PutBytes(Stream, Value.data(), int32_t(Value.size()));
}

void IEWriteLayersBlock(TStream* Stream, const TIELayersStreamLayer& L, const void* UserData, int32_t UserDataLen,
                        int64_t ImageOffset) {
    IEWriteLayersByte(Stream, L.Visible);
    IEWriteLayersByte(Stream, L.VisibleBox);
    IEWriteLayersInt(Stream, L.Transparency);
    IEWriteLayersInt(Stream, L.PosX);
    IEWriteLayersInt(Stream, L.PosY);
    IEWriteLayersByte(Stream, L.ClipToBackground);
    IEWriteLayersByte(Stream, L.Locked);
    IEWriteLayersByte(Stream, L.MagnifyEnabled);
    IEWriteLayersDouble(Stream, L.MagnifyRate);
    IEWriteLayersByte(Stream, L.MagnifyStyle);
    IEWriteLayersByte(Stream, L.MagnifySource);
    IEWriteLayersByte(Stream, L.Operation);
    IEWriteLayersInt(Stream, L.Width);
    IEWriteLayersInt(Stream, L.Height);
    IEWriteLayersByte(Stream, uint8_t(L.ResampleFilter));
    IEWriteLayersByte(Stream, L.UseResampleFilter);
    IEWriteLayersString(Stream, L.Name);
    const int32_t len = UserData ? std::max(UserDataLen, 0) : 0;
    IEWriteLayersInt(Stream, len);
    if (len > 0) PutBytes(Stream, UserData, len);
    IEWriteLayersByte(Stream, L.IsMask);
    IEWriteLayersByte(Stream, L.Selectable);
    IEWriteLayersByte(Stream, L.DimOutside);
    IEWriteLayersInt(Stream, int32_t(uint32_t(uint64_t(ImageOffset))));
    IEWriteLayersInt(Stream, int32_t(uint32_t(uint64_t(ImageOffset) >> 32)));
}

void IEWriteLayersRawImage(TStream* Stream, TIEBitmap* Bitmap, bool Compressed) {
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
    IEWriteLayersInt(Stream, int32_t(produced));
    if (produced > 0) PutBytes(Stream, mem.GetMemory(), int32_t(produced));
}
