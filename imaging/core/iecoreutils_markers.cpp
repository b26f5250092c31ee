#include "iecoreutils_markers.h"

#include <cstdlib>
#include <cstring>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "iecoreutils_exif.h"

// ---------------------------------------------------------------------------------------------
// Sorting
// ---------------------------------------------------------------------------------------------

void IESort(int32_t Count, const TIEExchangeProcedure& Exchange, const TIECompareFunction& Compare) {
    if (Count <= 0) return;
    IEQuickSort(0, Count - 1, Exchange, Compare);
}

void IEQuickSort(int32_t L, int32_t R, const TIEExchangeProcedure& Exchange, const TIECompareFunction& Compare) {
    int32_t i;
    do {
        i = L;
        int32_t j = R;
        int32_t p = L + (R - L) / 2;
        do {
            while (Compare(i, p) < 0) ++i;
            while (Compare(j, p) > 0) --j;
            if (i <= j) {
                // The pivot's position is followed through the exchange.
                if (p == i) p = j;
                else if (p == j) p = i;
                Exchange(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (L < j) IEQuickSort(L, j, Exchange, Compare);
        L = i;
    } while (i < R);
}

// ---------------------------------------------------------------------------------------------
// Markers
// ---------------------------------------------------------------------------------------------

int32_t TIEMarkerList::IndexOf(uint8_t MarkerType) const {
    for (size_t i = 0; i < FTypes.size(); ++i)
        if (FTypes[i] == MarkerType) return static_cast<int32_t>(i);
    return -1;
}

void TIEMarkerList::AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length) {
    const auto* b = static_cast<const uint8_t*>(Data);
    FData.emplace_back(b, b + (b ? Length : 0));
    FTypes.push_back(MarkerType);
}

void TIEMarkerList::SetMarker(int32_t Index, uint8_t MarkerType, const void* Data, uint16_t Length) {
    const auto* b = static_cast<const uint8_t*>(Data);
    FData[Index].assign(b, b + (b ? Length : 0));
    FTypes[Index] = MarkerType;
}

void TIEMarkerList::DeleteMarker(int32_t Index) {
    FData.erase(FData.begin() + Index);
    FTypes.erase(FTypes.begin() + Index);
}

void TIEMarkerList::Clear() {
    FData.clear();
    FTypes.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
    if (!Source || Source == this) return;
    FData = Source->FData;
    FTypes = Source->FTypes;
}

namespace {

constexpr uint8_t kAPP1 = 0xE1, kAPP2 = 0xE2;

bool IsICCChunk(const std::vector<uint8_t>& Data) {
    return Data.size() > 13 && std::memcmp(Data.data(), "ICC_PROFILE", 12) == 0;
}

}  // namespace

void TIEMarkerList::Sort() {
    IESort(
        GetCount(),
        [this](int32_t i, int32_t j) {
            std::swap(FData[i], FData[j]);
            std::swap(FTypes[i], FTypes[j]);
        },
        [this](int32_t i, int32_t j) -> int32_t {
            if (FTypes[i] == kAPP2 && FTypes[j] == kAPP2 && IsICCChunk(FData[i]) && IsICCChunk(FData[j]))
                return static_cast<int32_t>(FData[i][12]) - FData[j][12];
            return static_cast<int32_t>(FTypes[i]) - FTypes[j];
        });
    const int32_t first = IndexOf(kAPP1);
    if (first < 0) return;
    for (int32_t k = first + 1; k < GetCount(); ++k)
        if (FTypes[k] == kAPP1 && IEIsEXIFBlock(FData[k].data(), GetMarkerLength(k))) {
            std::swap(FData[k], FData[first]);
            std::swap(FTypes[k], FTypes[first]);
        }
}

// ---------------------------------------------------------------------------------------------
// IPTC
// ---------------------------------------------------------------------------------------------

namespace {

const uint8_t kPhotoshopHeader[26] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                                      '8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00, 0, 0, 0, 0};
const uint8_t kRecordVersion[7] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
const uint8_t kIPTCResource[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};
constexpr uint8_t kTagMarker = 0x1C;
constexpr int32_t kStandardMaxLength = 32767;

}  // namespace

int32_t TIEIPTCInfoList::AddData(int32_t RecordNumber, int32_t DataSet, const void* Buffer, int32_t BufferLen) {
    const auto* b = static_cast<const uint8_t*>(Buffer);
    const size_t n = b && BufferLen > 0 ? static_cast<size_t>(BufferLen) : 0;
    FItems.push_back({RecordNumber, DataSet, std::vector<uint8_t>(b, b + n)});
    FModified = true;
    return GetCount() - 1;
}

void TIEIPTCInfoList::Clear() {
    FItems.clear();
    FModified = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
    if (!Source) return;
    if (Source != this) FItems = Source->FItems;
    FModified = true;
}

void TIEIPTCInfoList::SaveToBuffer(std::vector<uint8_t>& Buffer, bool PhotoshopHeader) const {
    Buffer.clear();
    if (FItems.empty()) return;
    if (PhotoshopHeader) Buffer.assign(kPhotoshopHeader, kPhotoshopHeader + sizeof kPhotoshopHeader);
    else Buffer.assign(kRecordVersion, kRecordVersion + sizeof kRecordVersion);
    uint32_t total = 0;
    for (const TItem& it : FItems) {
        if ((it.RecordNumber == 2 && it.DataSet == 0) || it.Data.empty()) continue;
        const size_t at = Buffer.size();
        const uint32_t len = static_cast<uint32_t>(it.Data.size());
        if (len <= static_cast<uint32_t>(kStandardMaxLength)) {
            Buffer.resize(at + 5);
            ByteOrder::PutBE16(&Buffer[at + 3], static_cast<uint16_t>(len));
        } else {
            Buffer.resize(at + 9);
            Buffer[at + 3] = 0x80;
            Buffer[at + 4] = 0x04;
            ByteOrder::PutBE32(&Buffer[at + 5], len);
        }
        Buffer[at] = kTagMarker;
        Buffer[at + 1] = static_cast<uint8_t>(it.RecordNumber);
        Buffer[at + 2] = static_cast<uint8_t>(it.DataSet);
        Buffer.insert(Buffer.end(), it.Data.begin(), it.Data.end());
        total += static_cast<uint32_t>(Buffer.size() - at);
    }
    if (Buffer.size() & 1) Buffer.push_back(0);
    if (PhotoshopHeader) ByteOrder::PutBE32(&Buffer[22], total);
}

bool TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t BufferLen) {
    Clear();
    if (!Buffer || BufferLen <= 0) return false;
    const auto* data = static_cast<const uint8_t*>(Buffer);
    const int64_t end = BufferLen;
    int64_t p = 0;
    if (end >= 13 && std::memcmp(data, "Photoshop 3.0", 13) == 0) {
        int64_t found = end;
        for (int64_t k = 13; k + 6 <= end; ++k)
            if (std::memcmp(data + k, kIPTCResource, 6) == 0) {
                found = k + 6;
                break;
            }
        p = found;
    }
    while (p < end && data[p] != kTagMarker) ++p;
    while (p + 1 < end && data[p + 1] == kTagMarker) ++p;
    int32_t added = 0;
    while (p + 5 <= end && data[p] == kTagMarker) {
        const int32_t record = data[p + 1];
        const int32_t dataSet = data[p + 2];
        int64_t length;
        int64_t header;
        if (data[p + 3] & 0x80) {
            if (p + 9 > end) break;
            length = static_cast<int32_t>(ByteOrder::GetBE32(data + p + 5));
            header = 9;
        } else {
            length = static_cast<int16_t>(ByteOrder::GetBE16(data + p + 3));
            header = 5;
        }
        length = std::llabs(length);
        if (!Checked::InRange<int64_t>(p + header, length, end)) break;
        AddData(record, dataSet, data + p + header, static_cast<int32_t>(length));
        ++added;
        p += header + length;
    }
    FModified = false;
    return added > 0;
}

// ---------------------------------------------------------------------------------------------
// XMP
// ---------------------------------------------------------------------------------------------

const char IEXMPIdentifier[29] = "http://ns.adobe.com/xap/1.0/";

const uint8_t* IEXMPPayload(const uint8_t* Data, int32_t Length) {
    if (!Data || Length < 30 || std::memcmp(Data, IEXMPIdentifier, 24) != 0) return nullptr;
    const void* zero = std::memchr(Data, 0, static_cast<size_t>(Length));
    if (!zero) return nullptr;
    return static_cast<const uint8_t*>(zero) + 1;
}

bool IEReadXMPMarker(const uint8_t* Data, int32_t Length, std::string& XMPPacket) {
    const uint8_t* text = IEXMPPayload(Data, Length);
    if (!text) return false;
    XMPPacket.assign(reinterpret_cast<const char*>(text), reinterpret_cast<const char*>(Data + Length));
    return true;
}

std::vector<uint8_t> IEBuildXMPMarker(const std::string& XMPPacket) {
    std::vector<uint8_t> out(IEXMPIdentifier, IEXMPIdentifier + sizeof IEXMPIdentifier);
    out.insert(out.end(), XMPPacket.begin(), XMPPacket.end());
    return out;
}
