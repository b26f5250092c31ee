// The ICC profile container that the image parameter set owns, reduced to what the set itself needs
// (create, clear, copy) until the library core's colour-profile unit replaces it; the other
// containers of the set are the core's own. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Classes.h"
// The marker and IPTC lists, the maker-note handler and the EXIF block probe are the core's own.
#include "iecoreutils_exif.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_tiffhandler.h"

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

