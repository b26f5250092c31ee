// Metadata containers that travel with an image's parameter set between the codecs: the APPn and
// COM markers of a JPEG file (kept as raw payloads and ordered for writing), the IPTC datasets with
// their binary form (plain, or wrapped in a Photoshop image resource), the XMP block of an APP1
// marker, and the generic quicksort that orders the markers. Platform-neutral.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Classes.h"

// The APPn and COM markers of a JPEG file: payload bytes (without code and length) and the marker
// code byte (0xE0..0xEF, 0xFE), in file order. Indexes are not checked; payloads keep within the
// 16-bit length of a marker.
class TIEMarkerList : public TObject {
public:
    KW_CLASS_NAME(TIEMarkerList)
    int32_t GetCount() const { return static_cast<int32_t>(FTypes.size()); }
    uint8_t GetMarkerType(int32_t Index) const { return FTypes[Index]; }
    const uint8_t* GetMarkerData(int32_t Index) const { return FData[Index].data(); }
    int32_t GetMarkerLength(int32_t Index) const { return static_cast<int32_t>(FData[Index].size()); }
    // The first marker of that type, or -1.
    int32_t IndexOf(uint8_t MarkerType) const;
    void AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length);
    void SetMarker(int32_t Index, uint8_t MarkerType, const void* Data, uint16_t Length);
    void DeleteMarker(int32_t Index);
    void Clear();
    // Clear, then a copy of every marker of Source in order; a missing Source changes nothing.
    void Assign(const TIEMarkerList* Source);
    // Orders the markers by type, the chunks of an ICC profile (APP2 "ICC_PROFILE") by their
    // sequence number, and puts an EXIF block first among the APP1 markers (before writing).
    void Sort();

private:
    std::vector<uint8_t> FTypes;
    std::vector<std::vector<uint8_t>> FData;
};

// IPTC datasets: record number, dataset number and an owned copy of the data, and a modified flag.
class TIEIPTCInfoList : public TObject {
public:
    KW_CLASS_NAME(TIEIPTCInfoList)
    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    int32_t GetRecordNumber(int32_t Index) const { return FItems[Index].RecordNumber; }
    int32_t GetDataSet(int32_t Index) const { return FItems[Index].DataSet; }
    const std::vector<uint8_t>& GetData(int32_t Index) const { return FItems[Index].Data; }
    bool GetModified() const { return FModified; }
    // A reset of the owner (its defaults, a new load) clears the flag: nothing the caller changed.
    void SetModified(bool Value) { FModified = Value; }
    // Appends a copy of BufferLen bytes; returns the new index; sets the modified flag.
    int32_t AddData(int32_t RecordNumber, int32_t DataSet, const void* Buffer, int32_t BufferLen);
    void Clear();
    void Assign(const TIEIPTCInfoList* Source);
    // The binary form: the 7-byte record-version dataset, or with PhotoshopHeader the 26-byte
    // Photoshop resource header (its size field patched), then every dataset but the record
    // version and the empty ones, padded to an even length. An empty list gives an empty buffer.
    void SaveToBuffer(std::vector<uint8_t>& Buffer, bool PhotoshopHeader) const;
    // Clears, then reads the datasets of plain or Photoshop-wrapped IPTC data up to the last
    // complete one; True when at least one was read. Leaves the modified flag False.
    bool LoadFromBuffer(const void* Buffer, int32_t BufferLen);

private:
    struct TItem {
        int32_t RecordNumber;
        int32_t DataSet;
        std::vector<uint8_t> Data;
    };
    std::vector<TItem> FItems;
    bool FModified = false;
};

// The XMP packet identifier of an APP1 payload, with its terminating zero byte (29 bytes).
extern const char IEXMPIdentifier[29];
// The XMP text of an APP1 payload (behind the identifier's zero byte), or nullptr.
const uint8_t* IEXMPPayload(const uint8_t* Data, int32_t Length);
// When the payload is an XMP block, its text (to the end of the payload) goes to XMPPacket.
bool IEReadXMPMarker(const uint8_t* Data, int32_t Length, std::string& XMPPacket);
// The APP1 payload of an XMP packet: the identifier with its zero byte, then the packet.
std::vector<uint8_t> IEBuildXMPMarker(const std::string& XMPPacket);

// Sorting any indexed collection through its own comparison and exchange (not stable).
using TIECompareFunction = std::function<int32_t(int32_t, int32_t)>;
using TIEExchangeProcedure = std::function<void(int32_t, int32_t)>;
void IESort(int32_t Count, const TIEExchangeProcedure& Exchange, const TIECompareFunction& Compare);
void IEQuickSort(int32_t L, int32_t R, const TIEExchangeProcedure& Exchange, const TIECompareFunction& Compare);
