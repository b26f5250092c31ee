// Walking the markers of a JPEG file's header as far as its first scan, for the metadata tests and
// fuzz targets: each APPn and COM payload goes to a marker list, and the position of the first
// byte after the start-of-image marker is where new markers can be put. Header-only.
#pragma once

#include <cstdint>
#include <string>

#include "ByteOrder.h"
#include "imaging/core/iecoreutils_markers.h"

namespace testsupport {

// False when the data do not start with SOI or a segment runs past the end; the markers read up
// to there stay in List.
inline bool WalkJpegMarkers(const uint8_t* Data, size_t Size, TIEMarkerList& List) {
    if (Size < 2 || Data[0] != 0xFF || Data[1] != 0xD8) return false;
    size_t i = 2;
    while (i < Size) {
        if (Data[i] != 0xFF) return false;
        while (i < Size && Data[i] == 0xFF) ++i;   // fill bytes
        if (i >= Size) return false;
        const uint8_t m = Data[i++];
        if (m == 0xD9 || m == 0xDA) return true;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;   // no length
        if (Size - i < 2) return false;
        const uint16_t len = ByteOrder::GetBE16(Data + i);
        if (len < 2 || Size - i < len) return false;
        if ((m >= 0xE0 && m <= 0xEF) || m == 0xFE) List.AddMarker(m, Data + i + 2, static_cast<uint16_t>(len - 2));
        i += len;
    }
    return false;
}

// A JPEG file with the markers of List (in list order) put right after its start-of-image marker.
inline std::string InsertJpegMarkers(const std::string& Jpeg, const TIEMarkerList& List) {
    std::string out = Jpeg.substr(0, 2);
    for (int32_t k = 0; k < List.GetCount(); ++k) {
        const int32_t len = List.GetMarkerLength(k) + 2;
        out += '\xFF';
        out += static_cast<char>(List.GetMarkerType(k));
        out += static_cast<char>(len >> 8);
        out += static_cast<char>(len & 0xFF);
        out.append(reinterpret_cast<const char*>(List.GetMarkerData(k)), static_cast<size_t>(List.GetMarkerLength(k)));
    }
    return out + Jpeg.substr(2);
}

}  // namespace testsupport
