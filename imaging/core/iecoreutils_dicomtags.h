// The data elements that the DICOM reader finds in a file, kept in the order found so that an
// application can inspect them through the image's parameter set. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

// One element. Data, when present, is a block of DataLength + 1 bytes whose last byte is 0.
struct TIEDICOMTag {
    uint16_t Group = 0;
    uint16_t Element = 0;
    char VR[2] = {0, 0};   // both zero when unknown
    std::unique_ptr<uint8_t[]> Data;
    int32_t DataLength = 0;   // 0 when there is no data
};

class TIEDICOMTags : public TObject {
public:
    KW_CLASS_NAME(TIEDICOMTags)
    TIEDICOMTags() = default;
    TIEDICOMTags(const TIEDICOMTags&) = delete;
    TIEDICOMTags& operator=(const TIEDICOMTags&) = delete;

    // Appends an element and returns its index. VR is kept only when it has exactly two
    // characters. With DataLength >= 0 the element takes over Data (a block of DataLength + 1
    // bytes ending in 0, made with new[]) and its length; a negative DataLength, or no block,
    // gives an element without data (a negative length leaves the block with the caller).
    int32_t AddTag(uint16_t Group, uint16_t Element, const std::string& VR, std::unique_ptr<uint8_t[]>& Data,
                   int32_t DataLength);
    void Clear() { Tags.clear(); }
    // Copies of Source's elements (data blocks of length + 1 bytes) replace this list's.
    void Assign(const TIEDICOMTags* Source);

    int32_t GetCount() const { return static_cast<int32_t>(Tags.size()); }
    const TIEDICOMTag& GetTag(int32_t Index) const { return *Tags[Index]; }

private:
    std::vector<std::unique_ptr<TIEDICOMTag>> Tags;
};
