// The image buffer's own lossless serialisation: a fixed little-endian header with the buffer's
// settings, the rows exactly as they lie in memory (top row first, padding included), then the
// rows of the alpha channel when there is one. The viewer's layer files store each layer so.
#include <algorithm>
#include <cstring>
#include <vector>

#include "iebitmap.h"

namespace {

const char RawMagic[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};

// One side of the transfer: the caller's memory block when it is given, else the stream.
class TRawWriter {
public:
    TRawWriter(void* Buffer, TStream* Stream) : FBuffer((uint8_t*)Buffer), FStream(Stream) {}
    void Put(const void* Data, size_t Size) {
        if (!Size) return;
        if (FBuffer) {
            std::memcpy(FBuffer, Data, Size);
            FBuffer += Size;
        } else {
            FStream->WriteBuffer(Data, (int32_t)Size);
        }
    }
    template <typename T> void Value(T V) { Put(&V, sizeof V); }
    // Raises the stream's size to take Bytes more from the position, so that the row writes
    // that follow do not grow it step by step; a stream that cannot grow so is left as it is.
    void Reserve(int64_t Bytes) {
        if (FBuffer || Bytes <= 0) return;
        try {
            const int64_t want = FStream->GetPosition() + Bytes;
            if (FStream->GetSize() < want) FStream->SetSize(want);
        } catch (const Exception&) {
        }
    }

private:
    uint8_t* FBuffer;
    TStream* FStream;
};

class TRawReader {
public:
    TRawReader(const void* Buffer, TStream* Stream) : FBuffer((const uint8_t*)Buffer), FStream(Stream) {}
    // The number of bytes read: Size from a memory block, what is left from a stream.
    size_t Get(void* Data, size_t Size) {
        if (!Size) return 0;
        if (FBuffer) {
            std::memcpy(Data, FBuffer, Size);
            FBuffer += Size;
            return Size;
        }
        const int32_t got = FStream->Read(Data, (int32_t)Size);
        return got > 0 ? (size_t)got : 0;
    }
    // A field the stream no longer holds keeps Into's value.
    template <typename T> void Value(T& Into) {
        T v;
        if (Get(&v, sizeof v) == sizeof v) Into = v;
    }

private:
    const uint8_t* FBuffer;
    TStream* FStream;
};

}  // namespace

void TIEBitmap::SaveRawToStream(void* Buffer, TStream* Stream) {
    TRawWriter w(Buffer, Stream);
    w.Put(RawMagic, sizeof RawMagic);
    w.Value<int32_t>(0);   // version
    const int32_t paletteLength = GetPixelFormat() == ie8p && Palette ? PaletteLength : 0;
    w.Value<int32_t>(paletteLength);
    if (paletteLength) w.Put(Palette.get(), sizeof(TIERGB) * (size_t)paletteLength);
    const bool empty = IsEmpty() || PixelFormat == ieVirtual;
    const int32_t height = empty ? 0 : Height;
    w.Value<int32_t>(empty ? 0 : Width);
    w.Value<int32_t>(height);
    w.Value<uint8_t>(PixelFormat);
    w.Value<uint8_t>(Full ? 1 : 0);
    w.Value<int32_t>(PaletteColors);
    w.Value<double>(DisplayRange[0]);
    w.Value<double>(DisplayRange[1]);
    for (int32_t offset : ChannelOffsets) w.Value<int32_t>(offset);
    w.Value<uint8_t>(ChannelOffsetEnabled ? 1 : 0);
    w.Value<int32_t>(Contrast);
    w.Value<int32_t>(RowAlign);
    w.Reserve((int64_t)RowLen * height);
    for (int32_t y = 0; y < height; ++y) w.Put(GetScanline(y), (size_t)RowLen);
    TIEBitmap* alpha = IsAlpha ? nullptr : AlphaChannel.get();
    w.Value<uint8_t>(alpha ? 1 : 0);
    if (!alpha) return;
    const int32_t alphaHeight = alpha->IsEmpty() ? 0 : alpha->Height;
    w.Reserve((int64_t)alpha->RowLen * alphaHeight);
    for (int32_t y = 0; y < alphaHeight; ++y) w.Put(alpha->GetScanline(y), (size_t)alpha->RowLen);
    w.Value<uint8_t>(alpha->Full ? 1 : 0);
}

bool TIEBitmap::LoadRawFromStream(const void* Buffer, TStream* Stream) {
    TRawReader r(Buffer, Stream);
    char magic[sizeof RawMagic];
    if (r.Get(magic, sizeof magic) != sizeof magic || std::memcmp(magic, RawMagic, sizeof magic) != 0) return false;
    int32_t version = -1;
    r.Value(version);
    if (version < 0) return false;

    int32_t paletteLength = 0;
    r.Value(paletteLength);
    // A palette has at most 256 entries; a longer stored one is read and its excess dropped.
    std::vector<TIERGB> palette;
    for (int32_t i = 0; i < paletteLength; ++i) {
        TIERGB entry{0, 0, 0};
        if (r.Get(&entry, sizeof entry) != sizeof entry) break;
        if (i < 256) palette.push_back(entry);
    }
    int32_t width = 0, height = 0, paletteColors = PaletteColors, contrast = Contrast, rowAlign = 32;
    uint8_t format = ieNoFormat, full = Full, offsetsOn = ChannelOffsetEnabled;
    double range[2] = {DisplayRange[0], DisplayRange[1]};
    int32_t offsets[4] = {ChannelOffsets[0], ChannelOffsets[1], ChannelOffsets[2], ChannelOffsets[3]};
    r.Value(width);
    r.Value(height);
    r.Value(format);
    r.Value(full);
    r.Value(paletteColors);
    r.Value(range[0]);
    r.Value(range[1]);
    for (int32_t& offset : offsets) r.Value(offset);
    r.Value(offsetsOn);
    r.Value(contrast);
    r.Value(rowAlign);
    // Any alignment the bitmap can be given comes back; anything else is not a record of ours and
    // would leave the bitmap with an alignment no row length can be computed from.
    if (!IsValidRowAlign(rowAlign)) return false;

    SetRowAlign(rowAlign);
    // A format the buffer cannot hold rows of allocates nothing: the bitmap is then empty.
    if (format == ieNoFormat || format >= ieVirtual || !Allocate(width, height, (TIEPixelFormat)format)) {
        FreeImage(true);
        Width = Height = 0;
    }
    if (Palette)
        for (size_t i = 0; i < palette.size() && i < (size_t)PaletteLength; ++i) Palette[i] = palette[i];
    // A system bitmap's colour table takes the palette too: its rows are read back through it.
    SyncPaletteToTBitmap();
    Full = full != 0;
    PaletteColors = paletteColors;
    DisplayRange[0] = range[0];
    DisplayRange[1] = range[1];
    std::memcpy(ChannelOffsets, offsets, sizeof offsets);
    ChannelOffsetEnabled = offsetsOn != 0;
    Contrast = contrast;

    // The stored rows have the stored alignment's length; a system bitmap keeps 32-bit rows, so
    // there each stored row is consumed whole and as much of it as fits is kept.
    const int32_t rows = IsEmpty() ? 0 : Height;
    const int32_t storedLen = rows ? IEBitmapRowLen(Width, BitCount, rowAlign) : 0;
    std::vector<uint8_t> row(storedLen != RowLen ? (size_t)storedLen : 0);
    for (int32_t y = 0; y < rows; ++y) {
        if (row.empty()) {
            if (r.Get(GetScanline(y), (size_t)RowLen) < (size_t)RowLen) break;
        } else {
            if (r.Get(row.data(), row.size()) < row.size()) break;
            std::memcpy(GetScanline(y), row.data(), (size_t)std::min(storedLen, RowLen));
        }
    }

    uint8_t hasAlpha = 0;
    r.Value(hasAlpha);
    if (hasAlpha && !IsAlpha) {
        TIEBitmap* alpha = GetAlphaChannel();
        const int32_t alphaRows = alpha->IsEmpty() ? 0 : alpha->Height;
        for (int32_t y = 0; y < alphaRows; ++y)
            if (r.Get(alpha->GetScanline(y), (size_t)alpha->RowLen) < (size_t)alpha->RowLen) break;
        uint8_t alphaFull = alpha->Full;
        r.Value(alphaFull);
        alpha->Full = alphaFull != 0;
    } else if (!hasAlpha) {
        AlphaChannel.reset();
    }
    ReleaseRowBuffers();
    return true;
}
