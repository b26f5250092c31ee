// Layers streams (LYR) of any content: reading reads nothing outside the stream and allocates only
// what the stream's bytes can hold, and either raises or gives every layer an image; what reads
// writes back with raw images and reads again with the same layers and pixels.
//
// Input: the stream's bytes ("PICTURALAYERS", version, codec, count, property blocks, images).
#include <cstdint>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "picturaview_lyr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TReadOnlyMemoryStream in(data, (int32_t)size);
    TIELayersStream first;
    try {
        if (!IEReadLayersStream(&in, first, false)) return 0;
    } catch (const Exception&) {
        return 0;
    }
    if (first.Layers.empty()) FuzzFinding("a stream read with no layers");
    for (const TIELayersStreamLayer& l : first.Layers)
        if (!l.Image) FuzzFinding("a layer read without an image");

    TMemoryStream out;
    IEWriteLayersStream(&out, IELayersCodecRaw, first.Layers, [&](int32_t Index) {
        IEWriteLayersRawImage(&out, first.Layers[size_t(Index)].Image.get(), false);
    });
    out.SetPosition(0);
    TIELayersStream second;
    if (!IEReadLayersStream(&out, second, false)) FuzzFinding("a written stream does not read back");
    if (second.Layers.size() != first.Layers.size()) FuzzFinding("the layer count changed");
    for (size_t i = 0; i < first.Layers.size(); ++i) {
        const TIELayersStreamLayer &a = first.Layers[i], &b = second.Layers[i];
        if (a.PosX != b.PosX || a.PosY != b.PosY || a.Transparency != b.Transparency || a.Name != b.Name ||
            a.UserData != b.UserData || a.IsMask != b.IsMask || a.Selectable != b.Selectable)
            FuzzFinding("a property changed");
        if (!FuzzSamePixels(*a.Image, *b.Image)) FuzzFinding("the pixels changed");
    }
    return 0;
}
