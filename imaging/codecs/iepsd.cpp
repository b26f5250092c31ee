#include "iepsd.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "codecs_common.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "jpegfilt.h"
#include "picturaio_colour.h"

namespace {

// Colour modes of the header.
enum : int32_t { kBitmap = 0, kGrey = 1, kIndexed = 2, kRGB = 3, kCMYK = 4, kMultichannel = 7, kDuotone = 8, kLab = 9 };

// The widest side a document of this version holds.
constexpr int64_t kMaxSide = 30000;

// ---- Big-endian reading and writing ----------------------------------------------------------

// Reads through the stream; bytes past its end read as 0 and set Short.
class TPSDIn {
public:
    explicit TPSDIn(TStream* Stream) : FStream(Stream), FSize(Stream->GetSize()) {}
    bool Bytes(void* Data, int64_t Count) {
        if (Count <= 0) return true;
        const int32_t got = FStream->Read(Data, (int32_t)Count);
        if (got < Count) {
            std::memset((uint8_t*)Data + std::max(got, 0), 0, (size_t)(Count - std::max(got, 0)));
            Short = true;
            return false;
        }
        return true;
    }
    uint8_t U8() {
        uint8_t b = 0;
        Bytes(&b, 1);
        return b;
    }
    uint16_t U16() {
        uint8_t b[2];
        Bytes(b, 2);
        return ByteOrder::GetBE16(b);
    }
    int16_t S16() { return (int16_t)U16(); }
    uint32_t U32() {
        uint8_t b[4];
        Bytes(b, 4);
        return ByteOrder::GetBE32(b);
    }
    int32_t S32() { return (int32_t)U32(); }
    int64_t Pos() { return FStream->GetPosition(); }
    void Seek(int64_t Pos) { FStream->SetPosition(std::min(std::max<int64_t>(Pos, 0), FSize)); }
    int64_t Size() const { return FSize; }
    int64_t Left() { return FSize - Pos(); }

    bool Short = false;

private:
    TStream* FStream;
    int64_t FSize;
};

class TPSDOut {
public:
    explicit TPSDOut(TStream* Stream) : FStream(Stream) {}
    void Bytes(const void* Data, size_t Count) {
        if (Count) FStream->WriteBuffer(Data, (int32_t)Count);
    }
    void U8(uint8_t V) { Bytes(&V, 1); }
    void U16(uint16_t V) {
        uint8_t b[2];
        ByteOrder::PutBE16(b, V);
        Bytes(b, 2);
    }
    void U32(uint32_t V) {
        uint8_t b[4];
        ByteOrder::PutBE32(b, V);
        Bytes(b, 4);
    }
    void Text(const char* S) { Bytes(S, std::strlen(S)); }
    int64_t Pos() { return FStream->GetPosition(); }
    // A 32-bit value at an earlier position; the position is restored.
    void WriteBack32(int64_t At, uint32_t V) {
        const int64_t here = Pos();
        FStream->SetPosition(At);
        U32(V);
        FStream->SetPosition(here);
    }
    void WriteBack16(int64_t At, uint16_t V) {
        const int64_t here = Pos();
        FStream->SetPosition(At);
        U16(V);
        FStream->SetPosition(here);
    }
    void WriteBackBytes(int64_t At, const std::vector<uint8_t>& Data) {
        const int64_t here = Pos();
        FStream->SetPosition(At);
        Bytes(Data.data(), Data.size());
        FStream->SetPosition(here);
    }

private:
    TStream* FStream;
};

// ---- Pixel layouts ---------------------------------------------------------------------------

TIEPixelFormat FormatOf(int32_t Depth, int32_t Mode) {
    if (Depth == 1) return Mode == kBitmap ? ie1g : ieNoFormat;
    if (Depth == 8) switch (Mode) {
            case kGrey:
            case kMultichannel:
            case kDuotone: return ie8g;
            case kIndexed: return ie8p;
            case kRGB: return ie24RGB;
            case kCMYK: return ieCMYK;
            case kLab: return ieCIELab;
        }
    if (Depth == 16) switch (Mode) {
            case kGrey:
            case kDuotone: return ie16g;
            case kRGB: return ieRGB48;
            case kCMYK: return ieCMYK;
            case kLab: return ieCIELab;
        }
    return ieNoFormat;
}

// The colour channels of a pixel format; the channel after them is the alpha channel.
int32_t ColourChannels(TIEPixelFormat Format) {
    switch (Format) {
        case ie24RGB:
        case ieRGB48:
        case ieCIELab: return 3;
        case ieCMYK: return 4;
        case ie8g:
        case ie16g: return 1;
        default: return -1;   // 1-bit and indexed documents have no alpha channel of their own
    }
}

int64_t RowBytes(int64_t Width, int32_t Depth) { return (Width * Depth + 7) / 8; }

// The fewest bytes Height rows of RowLen bytes take in a channel: PackBits at best packs 128
// bytes into 2, behind a 2-byte row count.
int64_t MinChannelBytes(int64_t Height, int64_t RowLen) { return Height * (2 + 2 * ((RowLen + 127) / 128)); }

// One decoded row of channel Id into row Y of Bitmap (the document's Depth; Width pixels).
void StoreRow(TIEBitmap* Bitmap, int32_t Id, int32_t Y, const uint8_t* Data, int32_t Width, int32_t Depth,
              int32_t TransparentIndex) {
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    const bool wide = Depth == 16;
    // A 1-bit row holds no byte per pixel: only its one channel is taken.
    if (Depth == 1 && Id != 0) return;
    if (Id == -1 || (Id >= 0 && Id == ColourChannels(format))) {
        uint8_t* a = Bitmap->GetAlphaChannel()->GetScanline(Y);
        for (int32_t x = 0; x < Width; ++x) a[x] = wide ? Data[x * 2] : Data[x];
        return;
    }
    if (Id < 0) return;
    uint8_t* row = Bitmap->GetScanline(Y);
    switch (format) {
        case ie1g:
            if (Id == 0)
                for (int32_t i = 0; i < (Width + 7) / 8; ++i) row[i] = (uint8_t)~Data[i];
            break;
        case ie8g:
            if (Id == 0) std::memcpy(row, Data, (size_t)Width);
            break;
        case ie8p:
            if (Id != 0) break;
            std::memcpy(row, Data, (size_t)Width);
            if (TransparentIndex >= 0) {
                uint8_t* a = Bitmap->GetAlphaChannel()->GetScanline(Y);
                for (int32_t x = 0; x < Width; ++x) a[x] = Data[x] == TransparentIndex ? 0 : 255;
            }
            break;
        case ie16g:
            if (Id == 0)
                for (int32_t x = 0; x < Width; ++x) {
                    const uint16_t v = ByteOrder::GetBE16(Data + x * 2);
                    std::memcpy(row + x * 2, &v, 2);
                }
            break;
        case ie24RGB:
            if (Id <= 2)
                for (int32_t x = 0; x < Width; ++x) row[x * 3 + 2 - Id] = Data[x];
            break;
        case ieRGB48:
            if (Id <= 2)
                for (int32_t x = 0; x < Width; ++x) {
                    const uint16_t v = ByteOrder::GetBE16(Data + x * 2);
                    std::memcpy(row + (x * 3 + Id) * 2, &v, 2);
                }
            break;
        case ieCMYK:
            if (Id <= 3)
                for (int32_t x = 0; x < Width; ++x) row[x * 4 + Id] = wide ? Data[x * 2] : Data[x];
            break;
        case ieCIELab:
            if (Id <= 2)
                for (int32_t x = 0; x < Width; ++x) {
                    const uint8_t v = wide ? Data[x * 2] : Data[x];
                    row[x * 3 + Id] = Id == 0 ? v : (uint8_t)(v - 128);
                }
            break;
        default: break;
    }
}

// ---- Reading ---------------------------------------------------------------------------------

struct THeader {
    int32_t Channels = 0, Height = 0, Width = 0, Depth = 0, Mode = 0;
};

bool ReadHeader(TPSDIn& In, THeader& H) {
    uint8_t b[26];
    if (!In.Bytes(b, 26)) return false;
    if (std::memcmp(b, "8BPS", 4) != 0 || ByteOrder::GetBE16(b + 4) != 1) return false;
    H.Channels = ByteOrder::GetBE16(b + 12);
    H.Height = (int32_t)ByteOrder::GetBE32(b + 14);
    H.Width = (int32_t)ByteOrder::GetBE32(b + 18);
    H.Depth = ByteOrder::GetBE16(b + 22);
    H.Mode = ByteOrder::GetBE16(b + 24);
    return H.Channels >= 1 && H.Channels <= 24 && H.Depth >= 1 && H.Depth <= 16 && H.Mode < 10;
}

// Rows of one channel: raw, or PackBits with the given per-row byte counts; each decoded row goes
// to Store(y, row). Stops where the stream ends.
template <typename TStore>
void ReadChannelRows(TPSDIn& In, bool Packed, const uint16_t* Counts, int32_t Height, int32_t RowLen, TStore Store) {
    std::vector<uint8_t> row((size_t)RowLen), packed;
    for (int32_t y = 0; y < Height && !In.Short; ++y) {
        if (Packed) {
            packed.resize(Counts[y]);
            if (!In.Bytes(packed.data(), (int64_t)packed.size())) break;
            std::fill(row.begin(), row.end(), 0);
            IEPSDUnpackBitsRow(packed.data(), (int32_t)packed.size(), row.data(), RowLen);
        } else if (!In.Bytes(row.data(), RowLen)) {
            break;
        }
        Store(y, row.data());
    }
}

struct TLayerRecord {
    int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
    std::vector<std::pair<int16_t, uint32_t>> Channels;
    int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
    std::unique_ptr<TIEPSDLayer> Layer;
    std::unique_ptr<TIEPSDLayer> Mask;
};

class TPSDReader {
public:
    TPSDReader(TStream* Stream, TIOParamsVals& IOParams, TIOProgressRecord& Progress)
        : In(Stream), Params(IOParams), Progress(Progress) {}
    void Read(TIEBitmap* Bitmap, bool LoadLayers, TIEPSDLayerList* Layers);

private:
    void ReadResources(TIEBitmap* Bitmap, bool& LoadLayers);
    void ReadLayers(bool LoadLayers, TIEPSDLayerList* Layers);
    bool ReadComposite(TIEBitmap* Bitmap);
    void Report(int32_t Percent) {
        if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, Percent);
    }

    TPSDIn In;
    TIOParamsVals& Params;
    TIOProgressRecord& Progress;
    THeader H;
    std::vector<TIERGB> Palette;
    int32_t TransparentIndex = -1;
    bool MergedAlpha = false;
    bool HasICC = false;
    bool ThumbnailUsed = false;
};

void TPSDReader::ReadResources(TIEBitmap* Bitmap, bool& LoadLayers) {
    const uint32_t length = In.U32();
    const int64_t end = std::min(In.Pos() + (int64_t)length, In.Size());
    while (In.Pos() < end && !In.Short) {
        if (In.Pos() & 1) In.U8();
        char sig[4];
        In.Bytes(sig, 4);
        if (std::memcmp(sig, "8BIM", 4) != 0) break;
        const uint16_t id = In.U16();
        const uint8_t nameLength = In.U8();
        In.Seek(In.Pos() + nameLength + ((nameLength & 1) ? 0 : 1));
        const uint32_t size = In.U32();
        if (size == 0 || (int64_t)size > In.Left()) break;
        std::vector<uint8_t> data(size);
        In.Bytes(data.data(), size);
        switch (id) {
            case 1005:
                if (size >= 12) {
                    Params.SetDpiX((int32_t)(ByteOrder::GetBE32(&data[0]) / 65536));
                    Params.SetDpiY((int32_t)(ByteOrder::GetBE32(&data[8]) / 65536));
                }
                break;
            case 1028: Params.IPTCInfo->LoadFromBuffer(data.data(), (int32_t)size); break;
            case 1036: {
                // Format 1 is JFIF data behind the 28-byte header.
                if (size <= 28 || ByteOrder::GetBE32(&data[0]) != 1) break;
                TReadOnlyMemoryStream jpeg(data.data() + 28, (int64_t)size - 28);
                if (!Params.EXIFThumbnail) Params.EXIFThumbnail = std::make_unique<TIEBitmap>();
                TIOParamsVals thumbParams(nullptr);
                std::atomic<bool> abort{false};
                TIOProgressRecord thumbProgress;
                thumbProgress.Aborting = &abort;
                IEReadJPEGStream(&jpeg, nullptr, Params.EXIFThumbnail.get(), thumbParams, thumbProgress, false, false,
                                 false, false, false, false, -1, false);
                if (abort || Params.EXIFThumbnail->IsEmpty()) {
                    Params.EXIFThumbnail.reset();
                    break;
                }
                if (Params.GetThumbnail && Bitmap) {
                    Bitmap->Assign(Params.EXIFThumbnail.get());
                    LoadLayers = false;
                    ThumbnailUsed = true;
                }
                break;
            }
            case 1039:
                Params.GetInputICCProfile()->LoadFromBuffer(data.data(), (int32_t)size);
                HasICC = true;
                break;
            case 1047:
                if (size >= 2) TransparentIndex = ByteOrder::GetBE16(&data[0]);
                break;
            case 1060: Params.XMPInfo.assign(data.begin(), data.end()); break;
            default: break;
        }
    }
    In.Short = false;
    In.Seek(end);
}

void TPSDReader::ReadLayers(bool LoadLayers, TIEPSDLayerList* Layers) {
    const uint32_t length = In.U32();
    const int64_t start = In.Pos();
    const int64_t end = std::min(start + (int64_t)length, In.Size());
    if (length == 0) return;
    In.U32();   // the layer-info length
    int32_t count = In.S16();
    MergedAlpha = count < 0;
    count = std::abs(count);
    if (!Layers || (count > 1 && !LoadLayers) || count == 0) {
        In.Seek(end);
        return;
    }
    const TIEPixelFormat format = FormatOf(H.Depth, H.Mode);
    std::vector<TLayerRecord> records;
    for (int32_t i = 0; i < count && !In.Short && In.Pos() < end; ++i) {
        TLayerRecord r;
        r.Top = In.S32();
        r.Left = In.S32();
        r.Bottom = In.S32();
        r.Right = In.S32();
        const uint16_t channels = In.U16();
        // Each channel entry takes 6 bytes: a count the section cannot hold is not a layer record.
        if ((int64_t)channels * 6 > end - In.Pos()) break;
        for (uint16_t c = 0; c < channels; ++c) {
            const int16_t id = In.S16();
            r.Channels.emplace_back(id, In.U32());
        }
        char sig[8];
        In.Bytes(sig, 8);   // "8BIM" and the blend mode key
        auto layer = std::make_unique<TIEPSDLayer>();
        layer->Transparency = In.U8();
        const uint8_t clipping = In.U8(), flags = In.U8();
        In.U8();
        const uint32_t extraLength = In.U32();
        const int64_t extraStart = In.Pos();
        const int64_t extraEnd = extraStart + extraLength;
        const uint32_t maskLength = In.U32();
        const int64_t maskStart = In.Pos();
        if (maskLength >= 16) {
            r.MaskTop = In.S32();
            r.MaskLeft = In.S32();
            r.MaskBottom = In.S32();
            r.MaskRight = In.S32();
        }
        In.Seek(maskStart + maskLength);
        const uint32_t blendingLength = In.U32();
        In.Seek(In.Pos() + blendingLength);
        const uint8_t nameLength = In.U8();
        layer->Name.resize(nameLength);
        In.Bytes(&layer->Name[0], nameLength);
        In.Seek(extraEnd);
        layer->PosX = r.Left;
        layer->PosY = r.Top;
        layer->Visible = (flags & 2) == 0;
        layer->Clipping = clipping == 0;
        r.Layer = std::move(layer);
        records.push_back(std::move(r));
    }

    // The channel data, layer after layer.
    const int32_t colours = ColourChannels(format);
    const int32_t maskDepth = H.Depth == 16 ? 16 : 8;
    for (size_t i = 0; i < records.size() && !In.Short; ++i) {
        TLayerRecord& r = records[i];
        const int64_t width = (int64_t)r.Right - r.Left, height = (int64_t)r.Bottom - r.Top;
        // A layer is allocated only when its channels can hold its rows at all.
        int64_t total = 0;
        bool fits = width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && format != ieNoFormat &&
                    IEImageSizeAllowed(width, height);
        for (const auto& c : r.Channels) {
            total += c.second;
            if (c.first >= 0 && c.first <= std::max(colours, 0) &&
                (int64_t)c.second < 2 + MinChannelBytes(height, RowBytes(width, H.Depth)))
                fits = false;
        }
        if (total > end - In.Pos()) fits = false;
        if (fits) r.Layer->Bitmap->Allocate((int32_t)width, (int32_t)height, format);
        if (fits && format == ie8p)
            for (size_t p = 0; p < Palette.size(); ++p) r.Layer->Bitmap->SetPaletteEntry((int32_t)p, Palette[p]);
        for (const auto& c : r.Channels) {
            const int64_t channelStart = In.Pos();
            const int64_t channelEnd = std::min(channelStart + (int64_t)c.second, end);
            TIEBitmap* target = r.Layer->Bitmap.get();
            int64_t w = width, h = height;
            int32_t depth = H.Depth;
            if (c.first == -2) {
                w = (int64_t)r.MaskRight - r.MaskLeft;
                h = (int64_t)r.MaskBottom - r.MaskTop;
                r.Mask = std::make_unique<TIEPSDLayer>();
                r.Mask->IsMask = true;
                r.Mask->Visible = false;
                r.Mask->PosX = r.MaskLeft;
                r.Mask->PosY = r.MaskTop;
                target = r.Mask->Bitmap.get();
                depth = maskDepth;
                if (w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide &&
                    (int64_t)c.second >= 2 + MinChannelBytes(h, RowBytes(w, depth)))
                    target->Allocate((int32_t)w, (int32_t)h, ie8g);
            }
            if (!target->IsEmpty() && target->GetWidth() == w && target->GetHeight() == h) {
                const bool packed = In.U16() == 1;
                std::vector<uint16_t> counts;
                if (packed) {
                    counts.resize((size_t)h);
                    for (auto& n : counts) n = In.U16();
                }
                const int32_t rowLen = (int32_t)RowBytes(w, depth);
                TPSDIn* in = &In;
                ReadChannelRows(*in, packed, counts.data(), (int32_t)h, rowLen, [&](int32_t y, const uint8_t* row) {
                    if (c.first == -2) {
                        uint8_t* m = target->GetScanline(y);
                        for (int64_t x = 0; x < w; ++x) m[x] = depth == 16 ? row[x * 2] : row[x];
                    } else {
                        StoreRow(target, c.first, y, row, (int32_t)w, depth, TransparentIndex);
                    }
                });
                In.Short = false;
            }
            In.Seek(channelEnd);
        }
        r.Layer->Bitmap->ReleaseRowBuffers();
        Report((int32_t)((int64_t)(i + 1) * 100 / (int64_t)records.size()));
        if (IEIsAborting(Progress)) break;
    }
    In.Short = false;
    In.Seek(end);

    // Layers without pixels go, with their masks.
    for (TLayerRecord& r : records) {
        if (r.Layer->Bitmap->IsEmpty()) continue;
        Layers->push_back(std::move(r.Layer));
        if (r.Mask && !r.Mask->Bitmap->IsEmpty()) Layers->push_back(std::move(r.Mask));
    }
}

bool TPSDReader::ReadComposite(TIEBitmap* Bitmap) {
    const TIEPixelFormat format = FormatOf(H.Depth, H.Mode);
    if (format == ieNoFormat) return false;
    const bool packed = In.U16() == 1;
    const int64_t rowLen = RowBytes(H.Width, H.Depth);
    const int64_t need = packed ? (int64_t)H.Channels * MinChannelBytes(H.Height, rowLen)
                                : (int64_t)H.Channels * H.Height * rowLen;
    // Image data that cannot be in the stream is a damaged file: refused before allocating.
    if (H.Width <= 0 || H.Height <= 0 || H.Width > kMaxSide || H.Height > kMaxSide || need > In.Left() ||
        !IEImageSizeAllowed(H.Width, H.Height))
        return false;
    if (!Bitmap->Allocate(H.Width, H.Height, format)) return false;
    if (format == ie8p)
        for (size_t p = 0; p < Palette.size(); ++p) Bitmap->SetPaletteEntry((int32_t)p, Palette[p]);
    std::vector<uint16_t> counts;
    if (packed) {
        counts.resize((size_t)H.Channels * H.Height);
        for (auto& n : counts) n = In.U16();
    }
    const int64_t rows = (int64_t)H.Channels * H.Height;
    for (int32_t c = 0; c < H.Channels && !In.Short; ++c) {
        ReadChannelRows(In, packed, packed ? &counts[(size_t)c * H.Height] : nullptr, H.Height, (int32_t)rowLen,
                        [&](int32_t y, const uint8_t* row) { StoreRow(Bitmap, c, y, row, H.Width, H.Depth, TransparentIndex); });
        Report((int32_t)((int64_t)(c + 1) * H.Height * 100 / rows));
        if (IEIsAborting(Progress)) break;
    }
    Bitmap->ReleaseRowBuffers();
    return true;
}

// Every layer bitmap (not masks) and the composite to ie24RGB, through the ICC profiles when
// colour management asks for it.
void ToRGB(TIEBitmap* Bitmap, TIOParamsVals& Params) {
    if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() == ie1g || Bitmap->GetPixelFormat() == ie24RGB) return;
    TIEICC* input = Params.InputICCProfile.get();
    if (IEColorManagementEnabled && input && input->IsValid() && !input->GetIsApplied() &&
        Params.GetOutputICCProfile()->IsValid() && input->ConvertBitmap(Bitmap, ie24RGB, Params.GetOutputICCProfile()))
        return;
    Bitmap->ConvertPixelFormat(ie24RGB);
}

void TPSDReader::Read(TIEBitmap* Bitmap, bool LoadLayers, TIEPSDLayerList* Layers) {
    Report(0);
    if (!ReadHeader(In, H)) {
        IEAbort(Progress);
        return;
    }
    // A system bitmap is filled through a bitmap in memory, assigned at the end.
    std::unique_ptr<TIEBitmap> temp;
    TIEBitmap* target = Bitmap;
    if (Bitmap && Bitmap->GetLocation() == ieTBitmap) {
        temp = std::make_unique<TIEBitmap>();
        target = temp.get();
    }
    Params.SetImageCount(1);
    Params.Width = Params.OriginalWidth = H.Width;
    Params.Height = Params.OriginalHeight = H.Height;
    Params.BitsPerSample = H.Depth;
    Params.SamplesPerPixel = H.Channels;
    Params.SetDpiX(96);
    Params.SetDpiY(96);

    const uint32_t colourLength = In.U32();
    if (colourLength == 768) {
        uint8_t map[768];
        In.Bytes(map, 768);
        Palette.resize(256);
        for (int i = 0; i < 256; ++i) Palette[i] = TIERGB{map[512 + i], map[256 + i], map[i]};
    } else {
        In.Seek(In.Pos() + colourLength);
    }
    ReadResources(target, LoadLayers);
    ReadLayers(LoadLayers, Layers);

    const bool layersReturned = LoadLayers && Layers && !Layers->empty();
    if (target && !ThumbnailUsed && !layersReturned) {
        if (!ReadComposite(target)) {
            IEAbort(Progress);
            return;
        }
    }
    if (!Params.NativePixelFormat) {
        if (Layers)
            for (auto& layer : *Layers)
                if (!layer->IsMask) ToRGB(layer->Bitmap.get(), Params);
        if (!ThumbnailUsed) ToRGB(target, Params);
    }
    if (temp) Bitmap->Assign(temp.get());
}

// ---- Writing ---------------------------------------------------------------------------------

int32_t ModeOf(TIEPixelFormat Format) {
    switch (Format) {
        case ie1g: return kBitmap;
        case ie8p: return kIndexed;
        case ie8g:
        case ie16g: return kGrey;
        case ie24RGB:
        case ieRGB48:
        case ie32RGB: return kRGB;
        case ieCMYK: return kCMYK;
        case ieCIELab: return kLab;
        default: return -1;
    }
}

TIEPixelFormat LayerFormat(int32_t Mode, int32_t Depth) {
    switch (Mode) {
        case kBitmap: return ie1g;
        case kGrey: return Depth == 16 ? ie16g : ie8g;
        case kIndexed: return ie8p;
        case kRGB: return Depth == 16 ? ieRGB48 : ie24RGB;
        case kCMYK: return ieCMYK;
        default: return ieCIELab;
    }
}

// Row Y of channel Id (-1 alpha) of Bitmap in the document's form.
void ChannelRow(TIEBitmap* Bitmap, int32_t Id, int32_t Y, int32_t Depth, std::vector<uint8_t>& Out) {
    const int32_t width = Bitmap->GetWidth();
    Out.assign((size_t)RowBytes(width, Depth), 0);
    const bool wide = Depth == 16;
    if (Id == -1) {
        const uint8_t* a = Bitmap->GetAlphaChannel()->GetScanline(Y);
        for (int32_t x = 0; x < width; ++x) {
            if (wide) Out[x * 2] = Out[x * 2 + 1] = a[x];   // x 257
            else Out[x] = a[x];
        }
        return;
    }
    const uint8_t* row = Bitmap->GetScanline(Y);
    switch (Bitmap->GetPixelFormat()) {
        case ie1g:
            for (size_t i = 0; i < Out.size(); ++i) Out[i] = (uint8_t)~row[i];
            break;
        case ie8g:
        case ie8p: std::memcpy(Out.data(), row, (size_t)width); break;
        case ie16g:
            for (int32_t x = 0; x < width; ++x) {
                uint16_t v;
                std::memcpy(&v, row + x * 2, 2);
                ByteOrder::PutBE16(&Out[x * 2], v);
            }
            break;
        case ie24RGB:
            for (int32_t x = 0; x < width; ++x) Out[x] = row[x * 3 + 2 - Id];
            break;
        case ieRGB48:
            for (int32_t x = 0; x < width; ++x) {
                uint16_t v;
                std::memcpy(&v, row + (x * 3 + Id) * 2, 2);
                ByteOrder::PutBE16(&Out[x * 2], v);
            }
            break;
        case ieCMYK:
            for (int32_t x = 0; x < width; ++x) Out[x] = row[x * 4 + Id];
            break;
        case ieCIELab:
            for (int32_t x = 0; x < width; ++x) Out[x] = Id == 0 ? row[x * 3] : (uint8_t)(row[x * 3 + Id] + 128);
            break;
        default: break;
    }
}

// A mask layer's grey rows in the document's depth.
void MaskRow(TIEBitmap* Mask, int32_t Y, int32_t Depth, std::vector<uint8_t>& Out) {
    const int32_t width = Mask->GetWidth();
    const uint8_t* row = Mask->GetScanline(Y);
    Out.assign((size_t)width * (Depth == 16 ? 2 : 1), 0);
    for (int32_t x = 0; x < width; ++x) {
        if (Depth == 16) Out[x * 2] = Out[x * 2 + 1] = row[x];
        else Out[x] = row[x];
    }
}

// One channel as PackBits rows: compression 1, the row counts, the rows. Returns its length.
template <typename TRow>
uint32_t WriteChannel(TPSDOut& Out, int32_t Height, TRow Row) {
    const int64_t start = Out.Pos();
    Out.U16(1);
    const int64_t countsAt = Out.Pos();
    std::vector<uint8_t> counts((size_t)Height * 2, 0), row, packed;
    Out.Bytes(counts.data(), counts.size());
    for (int32_t y = 0; y < Height; ++y) {
        Row(y, row);
        packed.clear();
        IEPSDPackBitsRow(row.data(), (int32_t)row.size(), packed);
        ByteOrder::PutBE16(&counts[(size_t)y * 2], (uint16_t)packed.size());
        Out.Bytes(packed.data(), packed.size());
    }
    Out.WriteBackBytes(countsAt, counts);
    return (uint32_t)(Out.Pos() - start);
}

void WriteResource(TPSDOut& Out, uint16_t Id, const uint8_t* Data, size_t Size) {
    Out.Text("8BIM");
    Out.U16(Id);
    Out.U16(0);   // an empty name, padded to an even length
    Out.U32((uint32_t)Size);
    Out.Bytes(Data, Size);
    if (Size & 1) Out.U8(0);
}

bool UsesIndex(TIEBitmap* Bitmap, uint8_t Index) {
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        const uint8_t* row = Bitmap->GetScanline(y);
        if (std::memchr(row, Index, (size_t)Bitmap->GetWidth())) return true;
    }
    return false;
}

}  // namespace

// ---- PackBits ----------------------------------------------------------------------------------

int32_t IEPSDUnpackBitsRow(const uint8_t* Packed, int32_t Size, uint8_t* Row, int32_t RowLen) {
    int32_t in = 0, out = 0;
    while (in < Size && out < RowLen) {
        const int8_t n = (int8_t)Packed[in++];
        if (n >= 0) {
            const int32_t count = std::min<int32_t>({n + 1, Size - in, RowLen - out});
            std::memcpy(Row + out, Packed + in, (size_t)count);
            in += n + 1;
            out += count;
        } else if (n != -128) {
            if (in >= Size) break;
            const int32_t count = std::min<int32_t>(1 - n, RowLen - out);
            std::memset(Row + out, Packed[in++], (size_t)count);
            out += count;
        }
    }
    return out;
}

void IEPSDPackBitsRow(const uint8_t* Row, int32_t RowLen, std::vector<uint8_t>& Packed) {
    int32_t i = 0;
    while (i < RowLen) {
        int32_t run = 1;
        while (i + run < RowLen && run < 128 && Row[i + run] == Row[i]) ++run;
        if (run >= 4) {
            Packed.push_back((uint8_t)(1 - run));
            Packed.push_back(Row[i]);
            i += run;
            continue;
        }
        // A literal run, up to the next repeat of 4 or 128 bytes.
        int32_t end = i;
        while (end < RowLen && end - i < 128) {
            if (end + 3 < RowLen && Row[end] == Row[end + 1] && Row[end] == Row[end + 2] && Row[end] == Row[end + 3])
                break;
            ++end;
        }
        Packed.push_back((uint8_t)(end - i - 1));
        Packed.insert(Packed.end(), Row + i, Row + end);
        i = end;
    }
}

// ---- Entry points ----------------------------------------------------------------------------

bool IEIsPSD(TStream* Stream) {
    const int64_t pos = Stream->GetPosition();
    TPSDIn in(Stream);
    THeader h;
    const bool ok = ReadHeader(in, h);
    Stream->SetPosition(pos);
    return ok;
}

void IEReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool LoadLayers, TIEPSDLayerList* Layers) {
    TPSDReader reader(Stream, IOParams, Progress);
    reader.Read(Bitmap, LoadLayers, Layers);
}

void IEWritePSDStream(TStream* Stream, TIOParamsVals& IOParams, TIOProgressRecord& Progress, TIEBitmap* Bitmap,
                      TIEPSDLayerList* Layers) {
    // The document's format: the bitmap's, else the first layer's.
    TIEBitmap* image = Bitmap;
    if (!image && Layers)
        for (auto& layer : *Layers)
            if (!layer->IsMask) {
                image = layer->Bitmap.get();
                break;
            }
    const int32_t mode = image ? ModeOf(image->GetPixelFormat()) : -1;
    if (mode < 0 || image->IsEmpty() || image->GetWidth() > kMaxSide || image->GetHeight() > kMaxSide) {
        IEAbort(Progress);
        return;
    }
    // 32-bit RGB is written as its three colour channels.
    std::unique_ptr<TIEBitmap> rgb;
    if (image->GetPixelFormat() == ie32RGB) {
        rgb = std::make_unique<TIEBitmap>(image);
        rgb->ConvertPixelFormat(ie24RGB);
        image = rgb.get();
    }
    const TIEPixelFormat format = image->GetPixelFormat();
    const int32_t channels = IEPixelFormatChannelCount[format];
    const int32_t depth = IEPixelFormatBitCount[format] / channels;
    const TIEPixelFormat layerFormat = LayerFormat(mode, depth);
    if (Layers)
        for (auto& layer : *Layers)
            if (!layer->IsMask && !layer->Bitmap->IsEmpty()) layer->Bitmap->SetPixelFormat(layerFormat);

    TPSDOut out(Stream);
    out.Text("8BPS");
    out.U16(1);
    const uint8_t reserved[6] = {0, 0, 0, 0, 0, 0};
    out.Bytes(reserved, 6);
    out.U16((uint16_t)channels);
    out.U32((uint32_t)image->GetHeight());
    out.U32((uint32_t)image->GetWidth());
    out.U16((uint16_t)depth);
    out.U16((uint16_t)mode);

    if (format == ie8p) {
        out.U32(768);
        uint8_t map[768];
        for (int32_t i = 0; i < 256; ++i) {
            const TIERGB c = image->GetPaletteEntry(i);
            map[i] = c.r;
            map[256 + i] = c.g;
            map[512 + i] = c.b;
        }
        out.Bytes(map, 768);
    } else {
        out.U32(0);
    }

    // Image resources.
    const int64_t resourcesAt = out.Pos();
    out.U32(0);
    {
        uint8_t res[16];
        ByteOrder::PutBE32(res, (uint32_t)IOParams.DpiX << 16);
        ByteOrder::PutBE16(res + 4, 1);
        ByteOrder::PutBE16(res + 6, 1);
        ByteOrder::PutBE32(res + 8, (uint32_t)IOParams.DpiY << 16);
        ByteOrder::PutBE16(res + 12, 1);
        ByteOrder::PutBE16(res + 14, 1);
        WriteResource(out, 1005, res, 16);
    }
    // Index 255 is marked transparent only when no pixel uses it, so no colour of the image is
    // lost to transparency when the file is read back.
    if (format == ie8p && !UsesIndex(image, 255)) {
        const uint8_t index[2] = {0, 255};
        WriteResource(out, 1047, index, 2);
    }
    if (IOParams.IPTCInfo->GetCount() > 0) {
        std::vector<uint8_t> iptc;
        IOParams.IPTCInfo->SaveToBuffer(iptc, false);
        if (!iptc.empty()) WriteResource(out, 1028, iptc.data(), iptc.size());
    }
    if (IOParams.InputICCProfile && IOParams.InputICCProfile->GetRawSize() > 0)
        WriteResource(out, 1039, IOParams.InputICCProfile->GetRaw(), (size_t)IOParams.InputICCProfile->GetRawSize());
    if (IOParams.EXIFThumbnail && !IOParams.EXIFThumbnail->IsEmpty()) {
        TIEBitmap thumb(IOParams.EXIFThumbnail.get());
        thumb.SetPixelFormat(ie24RGB);
        TMemoryStream jpeg;
        TIOParamsVals thumbParams(nullptr);
        std::atomic<bool> abort{false};
        TIOProgressRecord thumbProgress;
        thumbProgress.Aborting = &abort;
        try {
            IEWriteJPEGStream(&jpeg, &thumb, thumbParams, thumbProgress);
        } catch (const Exception&) {
            abort = true;
        }
        if (!abort && jpeg.GetSize() > 0) {
            const int32_t w = thumb.GetWidth(), h = thumb.GetHeight();
            std::vector<uint8_t> res(28);
            ByteOrder::PutBE32(&res[0], 1);
            ByteOrder::PutBE32(&res[4], (uint32_t)w);
            ByteOrder::PutBE32(&res[8], (uint32_t)h);
            ByteOrder::PutBE32(&res[12], (uint32_t)w * 3);
            ByteOrder::PutBE32(&res[16], (uint32_t)w * (uint32_t)h * 3);
            ByteOrder::PutBE32(&res[20], (uint32_t)jpeg.GetSize());
            ByteOrder::PutBE16(&res[24], 24);
            ByteOrder::PutBE16(&res[26], 1);
            const uint8_t* data = (const uint8_t*)jpeg.GetMemory();
            res.insert(res.end(), data, data + jpeg.GetSize());
            WriteResource(out, 1036, res.data(), res.size());
        }
    }
    if (!IOParams.XMPInfo.empty())
        WriteResource(out, 1060, (const uint8_t*)IOParams.XMPInfo.data(), IOParams.XMPInfo.size());
    out.WriteBack32(resourcesAt, (uint32_t)(out.Pos() - resourcesAt - 4));

    // Layers and masks.
    std::vector<std::pair<TIEPSDLayer*, TIEPSDLayer*>> layers;   // a layer and its mask
    if (Layers)
        for (size_t i = 0; i < Layers->size(); ++i) {
            TIEPSDLayer* layer = (*Layers)[i].get();
            if (layer->IsMask || layer->Bitmap->IsEmpty()) continue;
            TIEPSDLayer* mask = nullptr;
            if (i + 1 < Layers->size() && (*Layers)[i + 1]->IsMask && !(*Layers)[i + 1]->Bitmap->IsEmpty())
                mask = (*Layers)[i + 1].get();
            layers.emplace_back(layer, mask);
        }
    const int64_t sectionAt = out.Pos();
    out.U32(0);
    if (!layers.empty()) {
        const int64_t infoAt = out.Pos();
        out.U32(0);
        out.U16((uint16_t)layers.size());
        std::vector<std::vector<std::pair<int16_t, int64_t>>> lengthsAt(layers.size());
        for (size_t i = 0; i < layers.size(); ++i) {
            TIEPSDLayer* layer = layers[i].first;
            TIEPSDLayer* mask = layers[i].second;
            TIEBitmap* b = layer->Bitmap.get();
            out.U32((uint32_t)layer->PosY);
            out.U32((uint32_t)layer->PosX);
            out.U32((uint32_t)(layer->PosY + b->GetHeight()));
            out.U32((uint32_t)(layer->PosX + b->GetWidth()));
            std::vector<int16_t> ids;
            if (b->HasAlphaChannel()) ids.push_back(-1);
            for (int32_t c = 0; c < channels; ++c) ids.push_back((int16_t)c);
            if (mask) ids.push_back(-2);
            out.U16((uint16_t)ids.size());
            for (int16_t id : ids) {
                out.U16((uint16_t)id);
                lengthsAt[i].emplace_back(id, out.Pos());
                out.U32(0);
            }
            out.Text("8BIMnorm");
            out.U8((uint8_t)std::min(std::max(layer->Transparency, 0), 255));
            out.U8(0);
            out.U8(layer->Visible ? 0 : 2);
            out.U8(0);
            const int64_t extraAt = out.Pos();
            out.U32(0);
            if (mask) {
                out.U32(20);
                out.U32((uint32_t)mask->PosY);
                out.U32((uint32_t)mask->PosX);
                out.U32((uint32_t)(mask->PosY + mask->Bitmap->GetHeight()));
                out.U32((uint32_t)(mask->PosX + mask->Bitmap->GetWidth()));
                const uint8_t rest[4] = {0, 0, 0, 0};   // colour, flags, two padding bytes
                out.Bytes(rest, 4);
            } else {
                out.U32(0);
            }
            out.U32(0);   // blending ranges
            const size_t nameLength = std::min<size_t>(layer->Name.size(), 255);
            out.U8((uint8_t)nameLength);
            out.Bytes(layer->Name.data(), nameLength);
            while ((out.Pos() - extraAt - 4) % 4 != 0) out.U8(1);
            out.WriteBack32(extraAt, (uint32_t)(out.Pos() - extraAt - 4));
        }
        for (size_t i = 0; i < layers.size(); ++i) {
            TIEBitmap* b = layers[i].first->Bitmap.get();
            for (const auto& entry : lengthsAt[i]) {
                uint32_t length;
                if (entry.first == -2) {
                    TIEBitmap* m = layers[i].second->Bitmap.get();
                    std::unique_ptr<TIEBitmap> grey;
                    if (m->GetPixelFormat() != ie8g) {
                        grey = std::make_unique<TIEBitmap>(m);
                        grey->ConvertPixelFormat(ie8g);
                        m = grey.get();
                    }
                    length = WriteChannel(out, m->GetHeight(),
                                          [&](int32_t y, std::vector<uint8_t>& row) { MaskRow(m, y, depth, row); });
                } else {
                    length = WriteChannel(out, b->GetHeight(), [&](int32_t y, std::vector<uint8_t>& row) {
                        ChannelRow(b, entry.first, y, depth, row);
                    });
                }
                out.WriteBack32(entry.second, length);
            }
            b->ReleaseRowBuffers();
            if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, (int32_t)((i + 1) * 100 / layers.size()));
        }
        if ((out.Pos() - infoAt - 4) & 1) out.U8(0);
        out.WriteBack32(infoAt, (uint32_t)(out.Pos() - infoAt - 4));
        out.U32(0);   // no global layer mask
        out.WriteBack32(sectionAt, (uint32_t)(out.Pos() - sectionAt - 4));
    }

    // The composite: every colour channel, PackBits.
    const int32_t height = image->GetHeight();
    out.U16(1);
    const int64_t countsAt = out.Pos();
    std::vector<uint8_t> counts((size_t)channels * height * 2, 0), row, packed;
    out.Bytes(counts.data(), counts.size());
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t y = 0; y < height; ++y) {
            ChannelRow(image, c, y, depth, row);
            packed.clear();
            IEPSDPackBitsRow(row.data(), (int32_t)row.size(), packed);
            ByteOrder::PutBE16(&counts[((size_t)c * height + y) * 2], (uint16_t)packed.size());
            out.Bytes(packed.data(), packed.size());
        }
    out.WriteBackBytes(countsAt, counts);
    image->ReleaseRowBuffers();
}
