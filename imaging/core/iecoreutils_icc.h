// ICC colour profiles: the raw profile bytes found in an image file (or the system's sRGB
// profile), their description and rights-notice texts, and pixel conversions from one profile to
// another through the Windows colour-management module, loaded at run time on first use
// (iecoreutils_icc_win.cpp). Where there is no such module (iecoreutils_icc_posix.cpp) profiles
// keep their bytes and texts but never open, and every conversion returns False.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoredefs_types.h"

class TIEBitmap;

// Row layouts of TIEICC::TransformPixels.
enum : int32_t {
    ieiccRGB = 0,        // 3 bytes R, G, B
    ieiccBGR = 1,        // 3 bytes B, G, R (TIERGB)
    ieiccCMYKInv = 2,    // 4 bytes C, M, Y, K each holding 255 minus the ink
    ieiccCMYK6 = 3,      // 6 bytes of which the first 4 are C, M, Y, K
    ieiccLab = 4,        // 3 bytes CIELab
    ieiccGray = 5,       // 1 byte
    ieiccRGB48 = 6,      // 3 words R, G, B in the machine's byte order
    ieiccRGB48BE = 7,    // 3 words R, G, B big-endian
    ieicc3Channel = 8    // 3 bytes of any 3-channel space
};

// Loads the colour-management module and its five functions once (the handle is the library's
// IEColorManagementModule, unloaded at shut-down); True when they are all there.
bool IELoadMSCMS();

class TIEICC : public TObject {
public:
    KW_CLASS_NAME(TIEICC)
    TIEICC() = default;
    ~TIEICC() override { Clear(); }
    TIEICC(const TIEICC&) = delete;
    TIEICC& operator=(const TIEICC&) = delete;

    // Clears, keeps a copy of the Size bytes and opens them as a profile.
    void LoadFromBuffer(const void* Data, int32_t Size);
    // The same with Source's bytes (the sRGB mark follows too).
    void Assign(const TIEICC* Source);
    // Clears, then opens the system's sRGB profile by its file name; no bytes, no texts.
    void LoadSRGB();
    // Opens the raw bytes (when the module is there), then reads the texts.
    void OpenProfile();
    void Clear();
    void CloseProfile();
    // A profile is open (opened again when the module was unloaded and loaded since).
    bool IsValid() {
        Revive();
        return FProfile != nullptr;
    }
    bool HasTransform() const { return FTransform != nullptr; }
    // Deletes the cached transform, which marks the profile applied.
    void FreeTransform();
    // The raw length (4 bytes little-endian, not with RawOnly), then the raw bytes.
    void SaveToStream(TStream* Stream, bool RawOnly);

    // Converts Count pixels of Source (layout InputFormat) into Dest (layout OutputFormat) from
    // this profile to DestProfile's. A source in layout 1 gets red and blue exchanged in place.
    // The transform is cached for the same formats, intent and flags. False when no transform
    // can be made.
    bool TransformPixels(TIEICC* DestProfile, int32_t InputFormat, int32_t OutputFormat, int32_t Intent,
                         int32_t Flags, void* Source, void* Dest, int32_t Count);
    // Converts ie8g, ie24RGB, ieCMYK, ieRGB48 or ieCIELab pixels to DestFormat (one of those)
    // through DestProfile, keeping the bitmap's alpha channel; False, unchanged, for other
    // formats or when no transform can be made.
    bool ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat DestFormat, TIEICC* DestProfile);

    bool GetIsApplied() const { return FApplied; }
    void SetIsApplied(bool Value) { FApplied = Value; }
    // LoadSRGB was the last load.
    bool IsSRGB() const { return FIsSRGB; }
    int32_t GetRawSize() const { return static_cast<int32_t>(FRaw.size()); }
    const uint8_t* GetRaw() const { return FRaw.empty() ? nullptr : FRaw.data(); }
    const std::string& GetDescription() const { return FDescription; }
    const std::string& GetCopyright() const { return FCopyright; }

private:
    void ReadInfoTags();
    void Open();
    // Handles of a module instance that was unloaded since are dead: forgotten (not closed) and
    // the profile opened again in the current one.
    void Revive();

    std::vector<uint8_t> FRaw;
    std::string FDescription;
    std::string FCopyright;
    void* FProfile = nullptr;
    void* FTransform = nullptr;
    uint32_t FGeneration = 0;   // the module instance the handles belong to
    int32_t FInputFormat = -1;
    int32_t FOutputFormat = -1;
    int32_t FIntent = -1;
    int32_t FFlags = -1;
    bool FApplied = false;
    bool FIsSRGB = false;
};

// ---- The colour-management module behind TIEICC (iecoreutils_icc_win.cpp / _posix.cpp) ----

// The module's instance: a new number each time the module is loaded (0 when it is absent).
uint32_t IEICCModuleGeneration();
// Handles made in instance Generation can still be used (the module was not unloaded since);
// loads nothing.
bool IEICCHandlesAlive(uint32_t Generation);
// One colour of the module: four 16-bit channels.
struct TIEICCColor {
    uint16_t c[4];
};
// Colour types of the module.
enum : int32_t { ieicctGray = 1, ieicctRGB = 2, ieicctLab = 5, ieicct3Channel = 6, ieicctCMYK = 7 };

// A profile from memory or from a file name in the system's colour folder; null when the module
// is missing or refuses it.
void* IEICCOpenMemoryProfile(const void* Data, int32_t Size);
void* IEICCOpenNamedProfile(const char* FileName);
void IEICCCloseProfile(void* Profile);
// A transform from Source to Dest with perceptual intents and the module's Flags; null on failure.
void* IEICCCreateTransform(void* Source, void* Dest, uint32_t Flags);
void IEICCDeleteTransform(void* Transform);
bool IEICCTranslateColors(void* Transform, const TIEICCColor* Input, int32_t Count, int32_t InputType,
                          TIEICCColor* Output, int32_t OutputType);
