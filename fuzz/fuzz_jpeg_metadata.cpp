// JPEG marker walking and the metadata blocks it finds, on any input. The APPn and COM markers of
// the header go to a marker list, which after sorting is ordered by type with ICC chunks by
// sequence and an EXIF block first among the APP1 markers. Every APP13 payload (or, with the control
// bit, the whole input) is read as IPTC data: saved in the plain form and read again it gives the
// same datasets (less the record version and empty ones); every XMP block reads back from the
// block built from its packet.
//
// Input: a control byte (bit 0: the rest is IPTC data, not a JPEG file), then the bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "iecoreutils_exif.h"
#include "iecoreutils_markers.h"
#include "tests/support/JpegMarkers.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckIPTC(const uint8_t* data, int32_t size) {
    TIEIPTCInfoList l;
    l.LoadFromBuffer(data, size);
    Check(!l.GetModified() || size <= 0);   // an empty buffer leaves the clearing's flag
    std::vector<uint8_t> plain, wrapped;
    l.SaveToBuffer(plain, false);
    l.SaveToBuffer(wrapped, true);
    Check(plain.size() % 2 == 0 && wrapped.size() % 2 == 0);
    TIEIPTCInfoList back;
    back.LoadFromBuffer(plain.data(), (int32_t)plain.size());
    std::vector<int32_t> kept;
    for (int32_t i = 0; i < l.GetCount(); ++i)
        if (!(l.GetRecordNumber(i) == 2 && l.GetDataSet(i) == 0) && !l.GetData(i).empty()) kept.push_back(i);
    if (l.GetCount() == 0) return;
    Check(back.GetCount() == (int32_t)kept.size() + 1);   // the record version leads
    for (size_t k = 0; k < kept.size(); ++k) {
        Check(back.GetRecordNumber((int32_t)k + 1) == l.GetRecordNumber(kept[k]));
        Check(back.GetDataSet((int32_t)k + 1) == l.GetDataSet(kept[k]));
        Check(back.GetData((int32_t)k + 1) == l.GetData(kept[k]));
    }
    back.LoadFromBuffer(wrapped.data(), (int32_t)wrapped.size());
}

void CheckJpeg(const std::string& jpeg) {
    TIEMarkerList l;
    testsupport::WalkJpegMarkers(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), l);
    TIEMarkerList sorted;
    sorted.Assign(&l);
    sorted.Sort();
    Check(sorted.GetCount() == l.GetCount());
    for (int32_t i = 1; i < sorted.GetCount(); ++i) Check(sorted.GetMarkerType(i - 1) <= sorted.GetMarkerType(i));
    const int32_t app1 = sorted.IndexOf(0xE1);
    bool anyExif = false;
    for (int32_t i = 0; i < sorted.GetCount(); ++i) {
        const uint8_t type = sorted.GetMarkerType(i);
        const uint8_t* data = sorted.GetMarkerData(i);
        const int32_t len = sorted.GetMarkerLength(i);
        if (type == 0xE1) anyExif = anyExif || IEIsEXIFBlock(data, len);
        if (type == 0xED) CheckIPTC(data, len);
        std::string packet;
        if (type == 0xE1 && IEReadXMPMarker(data, len, packet)) {
            const std::vector<uint8_t> block = IEBuildXMPMarker(packet);
            std::string again;
            Check(IEReadXMPMarker(block.data(), (int32_t)block.size(), again) == (block.size() >= 30));
            if (block.size() >= 30) Check(again == packet);
        }
    }
    if (anyExif) Check(IEIsEXIFBlock(sorted.GetMarkerData(app1), sorted.GetMarkerLength(app1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const std::string rest = in.Rest();
    if (control & 1) CheckIPTC(reinterpret_cast<const uint8_t*>(rest.data()), (int32_t)rest.size());
    else CheckJpeg(rest);
    return 0;
}
