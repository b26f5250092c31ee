// The layers stream of LYR files, read and written without the viewer: the header
// ("PICTURALAYERS", version, image codec, layer count), one property block per layer, then each
// layer's image section at the offset its block records. The viewer (picturaview_control.h) moves
// its layers into and out of these records. Integers little-endian: Integer 4 bytes, Double 8,
// Boolean and Byte 1.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "SysUtils.h"
#include "iebitmap.h"

constexpr int32_t IELayersStreamVersion = 6;
// Image codecs of the stream besides the I/O component's file types: raw bitmap records
// ("TIEBITMAPRAW") deflated with zlib, or stored as they are.
constexpr int32_t IELayersCodecZlibRaw = -1;
constexpr int32_t IELayersCodecRaw = -2;

// One layer's properties as the stream holds them, with its image.
struct TIELayersStreamLayer {
    bool Visible = true, VisibleBox = true;
    int32_t Transparency = 255, PosX = 0, PosY = 0;
    bool ClipToBackground = false, Locked = false;
    bool MagnifyEnabled = false;
    double MagnifyRate = 2.0;
    uint8_t MagnifyStyle = 0, MagnifySource = 1;
    uint8_t Operation = 0;
    int32_t Width = 0, Height = 0;
    TResampleFilter ResampleFilter = rfNone;
    bool UseResampleFilter = false;
    std::string Name;
    std::vector<uint8_t> UserData;
    bool IsMask = false, Selectable = true, DimOutside = false;
    std::unique_ptr<TIEBitmap> Image;
};

struct TIELayersStream {
    int32_t Version = 0;
    int32_t Codec = 0;
    std::vector<TIELayersStreamLayer> Layers;
};

// Little-endian reads checked against the bytes the stream has left before Size: a read that
// does not fit raises EReadError before anything is allocated for it.
struct TIEStreamReader {
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
        std::string v(static_cast<size_t>(n), '\0');
        if (n > 0) Bytes(&v[0], n);
        return v;
    }
};

// Reads a whole layers stream. False, with nothing read beyond the 25-byte header and Out.Version
// left as given, for a wrong magic; False with Out.Version set for a version of 0 or below. Fields newer than the stream's
// version keep the values Out.Layers[0] holds on entry (for layer 0) or the defaults. Every length
// and count is checked against the bytes the stream still has before anything is allocated; a
// stream cut short or damaged, or an image section that gives no image, raises EReadError (or the
// error of zlib or the codec). NativePixelFormat: image sections read through the I/O component
// keep their pixel format (masks always do).
bool IEReadLayersStream(TStream* Stream, TIELayersStream& Out, bool NativePixelFormat);

// Little-endian writers of the stream's fields.
void IEWriteLayersInt(TStream* Stream, int32_t Value);
void IEWriteLayersDouble(TStream* Stream, double Value);
void IEWriteLayersByte(TStream* Stream, uint8_t Value);
void IEWriteLayersString(TStream* Stream, const std::string& Value);
// Writes a whole layers stream: the header, the property blocks, then for each layer in order the
// offset of its image section is recorded and WriteImage(Index) writes that section at the end of
// the stream (the layers' Image fields are not used here).
void IEWriteLayersStream(TStream* Stream, int32_t Codec, const std::vector<TIELayersStreamLayer>& Layers,
                         const std::function<void(int32_t Index)>& WriteImage);
// An image section of the raw codecs: an Integer byte count and the raw bitmap record, deflated
// at zlib's default level when Compressed.
void IEWriteLayersRawImage(TStream* Stream, TIEBitmap* Bitmap, bool Compressed);
