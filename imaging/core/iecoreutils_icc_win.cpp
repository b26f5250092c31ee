// The colour-management module (mscms.dll) behind TIEICC, loaded at run time on first use.
#include <cstring>
#include <new>
#include <vector>

#include "WinApi.h"
#include <icm.h>

#include "iecoreutils_icc.h"
#include "iecoreutils_startup.h"

namespace {

using TOpenColorProfileA = HPROFILE(WINAPI*)(PPROFILE, DWORD, DWORD, DWORD);
using TCloseColorProfile = BOOL(WINAPI*)(HPROFILE);
using TCreateMultiProfileTransform = HTRANSFORM(WINAPI*)(PHPROFILE, DWORD, PDWORD, DWORD, DWORD, DWORD);
using TDeleteColorTransform = BOOL(WINAPI*)(HTRANSFORM);
using TTranslateColors = BOOL(WINAPI*)(HTRANSFORM, PCOLOR, DWORD, COLORTYPE, PCOLOR, COLORTYPE);

struct TMSCMS {
    void* Module = nullptr;   // the module these were looked up in
    TOpenColorProfileA OpenColorProfileA = nullptr;
    TCloseColorProfile CloseColorProfile = nullptr;
    TCreateMultiProfileTransform CreateMultiProfileTransform = nullptr;
    TDeleteColorTransform DeleteColorTransform = nullptr;
    TTranslateColors TranslateColors = nullptr;
    bool Complete() const {
        return OpenColorProfileA && CloseColorProfile && CreateMultiProfileTransform && DeleteColorTransform &&
               TranslateColors;
    }
} MSCMS;

template <typename T> void Lookup(HMODULE Module, T& Into, const char* Name) {
    Into = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
}

HPROFILE OpenProfile(DWORD Type, void* Data, DWORD Size) {
    if (!IELoadMSCMS()) return nullptr;
    PROFILE profile;
    profile.dwType = Type;
    profile.pProfileData = Data;
    profile.cbDataSize = Size;
    return MSCMS.OpenColorProfileA(&profile, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

uint32_t Generation = 0;

}  // namespace

bool IELoadMSCMS() {
    bool fresh = false;
    if (!IEColorManagementModule) {
        IEColorManagementModule = LoadLibraryA("mscms.dll");
        fresh = IEColorManagementModule != nullptr;
    }
    if (!IEColorManagementModule) return false;
    if (fresh || MSCMS.Module != IEColorManagementModule) {
        // A new instance: the handles of the one before died with it.
        ++Generation;
        // Looked up again after the library's shut-down unloaded and a new start loaded it.
        const HMODULE module = static_cast<HMODULE>(IEColorManagementModule);
        MSCMS = TMSCMS();
        MSCMS.Module = IEColorManagementModule;
        Lookup(module, MSCMS.OpenColorProfileA, "OpenColorProfileA");
        Lookup(module, MSCMS.CloseColorProfile, "CloseColorProfile");
        Lookup(module, MSCMS.CreateMultiProfileTransform, "CreateMultiProfileTransform");
        Lookup(module, MSCMS.DeleteColorTransform, "DeleteColorTransform");
        Lookup(module, MSCMS.TranslateColors, "TranslateColors");
    }
    // A module without one of the five functions is treated as absent.
    return MSCMS.Complete();
}

uint32_t IEICCModuleGeneration() { return IELoadMSCMS() ? Generation : 0; }

bool IEICCHandlesAlive(uint32_t AGeneration) {
    return IEColorManagementModule && MSCMS.Module == IEColorManagementModule && AGeneration == Generation;
}

void* IEICCOpenMemoryProfile(const void* Data, int32_t Size) {
    if (!Data || Size <= 0) return nullptr;
    return OpenProfile(PROFILE_MEMBUFFER, const_cast<void*>(Data), (DWORD)Size);
}

void* IEICCOpenNamedProfile(const char* FileName) {
    std::vector<char> name(FileName, FileName + std::strlen(FileName) + 1);
    return OpenProfile(PROFILE_FILENAME, name.data(), (DWORD)name.size());
}

void IEICCCloseProfile(void* Profile) {
    if (Profile && IELoadMSCMS()) MSCMS.CloseColorProfile(static_cast<HPROFILE>(Profile));
}

void* IEICCCreateTransform(void* Source, void* Dest, uint32_t Flags) {
    if (!Source || !Dest || !IELoadMSCMS()) return nullptr;
    HPROFILE profiles[2] = {static_cast<HPROFILE>(Source), static_cast<HPROFILE>(Dest)};
    DWORD intents[2] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
    return MSCMS.CreateMultiProfileTransform(profiles, 2, intents, 2, Flags, INDEX_DONT_CARE);
}

void IEICCDeleteTransform(void* Transform) {
    if (Transform && IELoadMSCMS()) MSCMS.DeleteColorTransform(static_cast<HTRANSFORM>(Transform));
}

bool IEICCTranslateColors(void* Transform, const TIEICCColor* Input, int32_t Count, int32_t InputType,
                          TIEICCColor* Output, int32_t OutputType) {
    if (!Transform || Count <= 0 || !IELoadMSCMS()) return false;
    // The module's colour record is 8 bytes on 32-bit systems and wider on 64-bit ones.
    std::vector<COLOR> in, out;
    try {
        in.resize((size_t)Count);
        out.resize((size_t)Count);
    } catch (const std::bad_alloc&) {
        return false;   // no memory for the records: nothing translated
    }
    for (int32_t i = 0; i < Count; ++i) {
        std::memset(&in[i], 0, sizeof(COLOR));
        std::memcpy(&in[i], Input[i].c, sizeof Input[i].c);
    }
    if (!MSCMS.TranslateColors(static_cast<HTRANSFORM>(Transform), in.data(), (DWORD)Count, (COLORTYPE)InputType,
                               out.data(), (COLORTYPE)OutputType))
        return false;
    for (int32_t i = 0; i < Count; ++i) std::memcpy(Output[i].c, &out[i], sizeof Output[i].c);
    return true;
}
