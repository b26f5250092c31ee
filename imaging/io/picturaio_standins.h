// The metadata containers that the image parameter set owns and whose units are not in the library
// yet, reduced to what the set itself needs (create, clear, copy, and for the marker list the few
// accessors the EXIF reset walks). Their full units (JPEG markers and IPTC, ICC profiles, TIFF
// tags) live in the library core and replace these declarations when they land. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Classes.h"

// The APPn and COM markers of a JPEG file: payload bytes (without code and length) and the
// marker code byte (0xE0..0xEF, 0xFE), in file order. Indexes are not checked.
class TIEMarkerList : public TObject {
public:
    KW_CLASS_NAME(TIEMarkerList)
    int32_t GetCount() const { return static_cast<int32_t>(FTypes.size()); }
    uint8_t GetMarkerType(int32_t Index) const { return FTypes[Index]; }
    const uint8_t* GetMarkerData(int32_t Index) const { return FData[Index].data(); }
    int32_t GetMarkerLength(int32_t Index) const { return static_cast<int32_t>(FData[Index].size()); }
    int32_t IndexOf(uint8_t MarkerType) const;
    void AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length);
    void DeleteMarker(int32_t Index);
    void Clear();
    // Clear, then a copy of every marker of Source in order; a missing Source changes nothing.
    void Assign(const TIEMarkerList* Source);

private:
    std::vector<uint8_t> FTypes;
    std::vector<std::vector<uint8_t>> FData;
};

// IPTC datasets of the image.
class TIEIPTCInfoList : public TObject {
public:
    KW_CLASS_NAME(TIEIPTCInfoList)
    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    int32_t AddData(int32_t RecordNumber, int32_t DataSet, const void* Buffer, int32_t BufferLen);
    void Clear() { FItems.clear(); }
    void Assign(const TIEIPTCInfoList* Source);

private:
    struct TItem {
        int32_t RecordNumber;
        int32_t DataSet;
        std::vector<uint8_t> Data;
    };
    std::vector<TItem> FItems;
};

// A TIFF tag directory (the EXIF maker note).
class TIETagsHandler : public TObject {
public:
    KW_CLASS_NAME(TIETagsHandler)
    bool IsEmpty() const { return FEmpty; }
    void Clear() { FEmpty = true; }

private:
    bool FEmpty = true;
};

// An ICC colour profile. No colour-management module is bound here, so no profile opens
// (IsValid is False) and no transform succeeds.
class TIEICC : public TObject {
public:
    KW_CLASS_NAME(TIEICC)
    bool IsValid() const { return false; }
    bool GetIsApplied() const { return FApplied; }
    void SetIsApplied(bool Value) { FApplied = Value; }
    void LoadFromBuffer(const void* Data, int32_t Size);
    // The system's sRGB profile (marked only: no profile data is loaded).
    void LoadSRGB() { FRaw.clear(); FIsSRGB = true; }
    bool IsSRGB() const { return FIsSRGB; }
    int32_t GetRawSize() const { return static_cast<int32_t>(FRaw.size()); }
    bool TransformPixels(TIEICC* DestProfile, int32_t InputFormat, int32_t OutputFormat, int32_t Intent, int32_t Flags,
                         void* Source, void* Dest, int32_t Count) {
        return false;
    }
    void Assign(const TIEICC* Source);

private:
    std::vector<uint8_t> FRaw;
    bool FApplied = false;
    bool FIsSRGB = false;
};

// True when the Length bytes of Data start with "Exif" and a zero byte: an EXIF APP1 payload.
bool IEIsEXIFBlock(const uint8_t* Data, int32_t Length);
