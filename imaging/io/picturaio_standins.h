// The metadata containers that the image parameter set owns, reduced to what the set itself
// needs (create, clear, copy, and for the marker list the few accessors the EXIF reset walks).
// Their full units (JPEG markers and IPTC, ICC profiles, DICOM tags, TIFF tags, Wang annotations)
// live in the library core and replace these declarations when they land. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Classes.h"
// The marker and IPTC lists, the maker-note handler and the EXIF block probe are the core's own.
#include "imaging/core/iecoreutils_exif.h"
#include "imaging/core/iecoreutils_markers.h"
#include "imaging/core/iecoreutils_tiffhandler.h"

// The data-set elements of a DICOM file.
class TIEDICOMTags : public TObject {
public:
    KW_CLASS_NAME(TIEDICOMTags)
    int32_t GetCount() const { return FCount; }
    void Clear() { FCount = 0; }
    void Assign(const TIEDICOMTags* Source) {
        if (Source) FCount = Source->FCount;
    }

private:
    int32_t FCount = 0;
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

// The Wang annotations of a TIFF page.
class TIEImagingAnnot : public TObject {
public:
    KW_CLASS_NAME(TIEImagingAnnot)
    explicit TIEImagingAnnot(TObject* Parent) : FParent(Parent) {}
    TObject* GetParent() const { return FParent; }
    int32_t GetCount() const { return FCount; }
    void Assign(const TIEImagingAnnot* Source) {
        if (Source) FCount = Source->FCount;
    }

private:
    TObject* FParent;
    int32_t FCount = 0;
};
