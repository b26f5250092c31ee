// The markers a JPEG save brings in line with the parameters, on any marker list: the resolution
// resource of the first APP13 marker, the IPTC, EXIF and XMP blocks. No marker grows past what one
// JPEG marker holds, an APP13 marker left to the resolution step keeps its length, and an emptied IPTC
// list takes the first APP13 marker, and the first XMP marker gives way to the one the parameters
// ask for.
//
// Input: a control byte (bit 0: the IPTC list was emptied, bit 1: HasEXIFData, bit 2: an XMP
// packet), DpiX and DpiY (16 bits each), then markers: a type byte (0xE0 + low nibble, or 0xFE
// when the high bit is set), a 16-bit length (modulo 65,534, at most what is left) and the payload.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "iecoreutils_markers.h"
#include "picturaio.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

int32_t CountType(const TIEMarkerList& L, uint8_t Type) {
    int32_t n = 0;
    for (int32_t i = 0; i < L.GetCount(); ++i) n += L.GetMarkerType(i) == Type;
    return n;
}

int32_t CountXMP(const TIEMarkerList& L) {
    int32_t n = 0;
    for (int32_t i = 0; i < L.GetCount(); ++i)
        if (L.GetMarkerType(i) == 0xE1 && IEXMPPayload(L.GetMarkerData(i), L.GetMarkerLength(i))) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPicturaIO io(nullptr);
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    TIOParamsVals& p = *io.Params;
    p.SetDpiX(in.U16());
    p.SetDpiY(in.U16());
    if (control & 1) p.IPTCInfo->Clear();
    p.HasEXIFData = (control & 2) != 0;
    p.XMPInfo = (control & 4) ? "<x:xmpmeta>fuzz</x:xmpmeta>" : "";
    TIEMarkerList& markers = *p.JPEGMarkers;
    markers.Clear();
    while (in.Left() >= 3) {
        const uint8_t t = in.U8();
        const uint8_t type = (t & 0x80) ? 0xFE : static_cast<uint8_t>(0xE0 | (t & 0x0F));
        // A marker read from a file holds at most 65,533 bytes (its length field counts itself).
        uint16_t len = static_cast<uint16_t>(in.U16() % 65534);
        if (len > in.Left()) len = static_cast<uint16_t>(in.Left());
        const std::string payload = in.Bytes(len);
        markers.AddMarker(type, payload.data(), len);
    }
    const int32_t app13 = markers.IndexOf(0xED);
    const int32_t app13Len = app13 >= 0 ? markers.GetMarkerLength(app13) : -1;
    const int32_t xmpBefore = CountXMP(markers);
    const int32_t app13Before = CountType(markers, 0xED);

    io.UpdateJPEGResolutionMarker();

    for (int32_t i = 0; i < markers.GetCount(); ++i) Check(markers.GetMarkerLength(i) <= 65533);
    if (!(control & 1) && app13 >= 0) {
        const int32_t now = markers.IndexOf(0xED);
        Check(now >= 0 && markers.GetMarkerLength(now) == app13Len);
    }
    // An emptied list takes the first APP13 marker with it.
    if (control & 1) Check(CountType(markers, 0xED) == (app13Before > 0 ? app13Before - 1 : 0));
    Check(CountXMP(markers) == (xmpBefore > 0 ? xmpBefore - 1 : 0) + ((control & 4) ? 1 : 0));
    return 0;
}
