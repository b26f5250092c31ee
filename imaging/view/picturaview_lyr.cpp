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

// zlib's largest expansion: deflate data of N bytes never inflates to more than about N x 1032.
constexpr int64_t kZlibMaxRatio = 1032;

// The bytes of rows a raw bitmap record at S's position asks for (its header's width, height and
// pixel format), or -1 when the header cannot be read.
int64_t RawRecordRowBytes(TStream* S) {
    uint8_t head[20];
    if (S->Read(head, 20) != 20 || std::memcmp(head, "TIEBITMAPRAW", 12) != 0) return -1;
    const int32_t paletteLength = int32_t(ByteOrder::GetLE32(head + 16));
    uint8_t entry[3];
    for (int32_t i = 0; i < paletteLength; ++i)
        if (S->Read(entry, 3) != 3) return -1;
    uint8_t size[9];
    if (S->Read(size, 9) != 9) return -1;
    const int32_t w = int32_t(ByteOrder::GetLE32(size)), h = int32_t(ByteOrder::GetLE32(size + 4));
    if (w <= 0 || h <= 0) return 0;
    TIEBitmap probe;
    if (size[8] == ieNoFormat || size[8] >= ieVirtual || !probe.Allocate(1, 1, TIEPixelFormat(size[8]))) return 0;
    return (int64_t(w) * probe.GetBitCount() + 7) / 8 * h;
}

// A raw bitmap record of N bytes at the stream's position, inflated first for the zlib codec. The
// rows its header asks for must fit in what those N bytes can hold before anything is allocated.
std::unique_ptr<TIEBitmap> ReadRawImage(TIEStreamReader& R, bool Compressed) {
    const int32_t n = R.Int();
    R.Need(n);
    TMemoryStream mem;
    mem.SetSize(n);
    if (n > 0) R.Bytes(mem.GetMemory(), n);
    const int64_t budget = Compressed ? int64_t(n) * kZlibMaxRatio : int64_t(n);
    int64_t rows;
    mem.SetPosition(0);
    if (Compressed) {
        TZDecompressionStream z(&mem);
        rows = RawRecordRowBytes(&z);
    } else {
        rows = RawRecordRowBytes(&mem);
    }
    if (rows < 0 || rows > budget) throw EReadError(SReadError);
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

namespace {

void WriteBlock(TStream* Stream, const TIELayersStreamLayer& L) {
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
    IEWriteLayersInt(Stream, int32_t(L.UserData.size()));
    if (!L.UserData.empty()) PutBytes(Stream, L.UserData.data(), int32_t(L.UserData.size()));
    IEWriteLayersByte(Stream, L.IsMask);
    IEWriteLayersByte(Stream, L.Selectable);
    IEWriteLayersByte(Stream, L.DimOutside);
    // The image offset, filled in once the image's place is known.
    IEWriteLayersInt(Stream, 0);
    IEWriteLayersInt(Stream, 0);
}

}  // namespace

void IEWriteLayersStream(TStream* Stream, int32_t Codec, const std::vector<TIELayersStreamLayer>& Layers,
                         const std::function<void(int32_t Index)>& WriteImage) {
    PutBytes(Stream, kLayersMagic, kLayersMagicLen);
    IEWriteLayersInt(Stream, IELayersStreamVersion);
    IEWriteLayersInt(Stream, Codec);
    IEWriteLayersInt(Stream, int32_t(Layers.size()));
    std::vector<int64_t> offsetFields;
    for (const TIELayersStreamLayer& l : Layers) {
        WriteBlock(Stream, l);
        offsetFields.push_back(Stream->GetPosition() - 8);
    }
    for (size_t i = 0; i < Layers.size(); ++i) {
        const int64_t end = Stream->GetPosition();
        Stream->SetPosition(offsetFields[i]);
        IEWriteLayersInt(Stream, int32_t(uint32_t(uint64_t(end))));
        IEWriteLayersInt(Stream, int32_t(uint32_t(uint64_t(end) >> 32)));
        Stream->SetPosition(end);
        WriteImage(int32_t(i));
        Stream->Seek(0, soEnd);
    }
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
