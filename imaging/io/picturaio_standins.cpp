#include "picturaio_standins.h"

#include <cstring>

#include "picturaio_params.h"

int32_t TIEMarkerList::IndexOf(uint8_t MarkerType) const {
    for (size_t i = 0; i < FTypes.size(); ++i)
        if (FTypes[i] == MarkerType) return static_cast<int32_t>(i);
    return -1;
}

void TIEMarkerList::AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(Data);
    FTypes.push_back(MarkerType);
    FData.emplace_back(bytes, bytes + (bytes ? Length : 0));
}

void TIEMarkerList::DeleteMarker(int32_t Index) {
    FTypes.erase(FTypes.begin() + Index);
    FData.erase(FData.begin() + Index);
}

void TIEMarkerList::Clear() {
    FTypes.clear();
    FData.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
    if (!Source || Source == this) return;
    FTypes = Source->FTypes;
    FData = Source->FData;
}

int32_t TIEIPTCInfoList::AddData(int32_t RecordNumber, int32_t DataSet, const void* Buffer, int32_t BufferLen) {
    const uint8_t* bytes = static_cast<const uint8_t*>(Buffer);
    FItems.push_back({RecordNumber, DataSet, std::vector<uint8_t>(bytes, bytes + (bytes && BufferLen > 0 ? BufferLen : 0))});
    return GetCount() - 1;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
    if (Source && Source != this) FItems = Source->FItems;
}

void TIEICC::Assign(const TIEICC* Source) {
    if (!Source || Source == this) return;
    FRaw = Source->FRaw;
    FApplied = Source->FApplied;
    FIsSRGB = Source->FIsSRGB;
}

void TIEICC::LoadFromBuffer(const void* Data, int32_t Size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(Data);
    FRaw.assign(bytes, bytes + (bytes && Size > 0 ? Size : 0));
    FApplied = false;
    FIsSRGB = false;
}

bool IEIsEXIFBlock(const uint8_t* Data, int32_t Length) {
    return Data && Length >= 5 && std::memcmp(Data, "Exif", 5) == 0;
}

// The component's unit is not built yet: no owner has a work bitmap or an attached viewer.
bool IEParamsOwnerBitmapSize(TPicturaIO* Owner, int32_t& Width, int32_t& Height) { return false; }
void IEParamsOwnerDpiChanged(TPicturaIO* Owner, bool Vertical, int32_t Value) {}
