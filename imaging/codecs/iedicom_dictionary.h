// The DICOM data dictionary's value representations, generated at build time from the dictionary
// that python3-pydicom ships (tools/embed/make_dicom_dictionary.py): every tag of that edition in
// ascending (group, element) order, for bisection. "xs": several representations (the file's own
// VR is taken in explicit-VR data); "!!": the item and delimiter tags, which carry a 4-byte length
// and no VR. Masked tags (groups such as 60xx) are not listed.
#pragma once

#include <cstddef>
#include <cstdint>

struct TIEDICOMVREntry {
    uint16_t Group;
    uint16_t Element;
    char VR[3];
};

extern const TIEDICOMVREntry IEDICOMVRDictionary[];
extern const size_t IEDICOMVRDictionaryCount;
