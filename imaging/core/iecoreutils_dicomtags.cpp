#include "iecoreutils_dicomtags.h"

#include <cstring>

int32_t TIEDICOMTags::AddTag(uint16_t Group, uint16_t Element, const std::string& VR,
                             std::unique_ptr<uint8_t[]>& Data, int32_t DataLength) {
    auto tag = std::make_unique<TIEDICOMTag>();
    tag->Group = Group;
    tag->Element = Element;
    if (VR.size() == 2) std::memcpy(tag->VR, VR.data(), 2);
    if (DataLength >= 0 && Data) {
        tag->Data = std::move(Data);
        tag->DataLength = DataLength;
    }
    Tags.push_back(std::move(tag));
    return GetCount() - 1;
}

void TIEDICOMTags::Assign(const TIEDICOMTags* Source) {
    if (Source == this) return;
    Clear();
    if (Source == nullptr) return;
    for (const auto& src : Source->Tags) {
        auto tag = std::make_unique<TIEDICOMTag>();
        tag->Group = src->Group;
        tag->Element = src->Element;
        std::memcpy(tag->VR, src->VR, 2);
        if (src->DataLength > 0 && src->Data) {
            const size_t n = static_cast<size_t>(src->DataLength) + 1;
            tag->Data.reset(new uint8_t[n]);
            std::memcpy(tag->Data.get(), src->Data.get(), n);
            tag->DataLength = src->DataLength;
        }
        Tags.push_back(std::move(tag));
    }
}
