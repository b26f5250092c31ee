#include "iecoreutils_icc.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "iebitmap.h"

namespace {

// Mode flags of the module's transforms: BEST_MODE with USE_RELATIVE_COLORIMETRIC.
constexpr uint32_t kTransformFlags = 0x20003;

uint32_t BigEndian32(const uint8_t* P) {
    return (uint32_t)P[0] << 24 | (uint32_t)P[1] << 16 | (uint32_t)P[2] << 8 | P[3];
}

// The zero-terminated text at Start, read only within the profile; empty when it has 1000
// characters or more.
std::string TextAt(const std::vector<uint8_t>& Raw, size_t Start) {
    if (Start >= Raw.size()) return std::string();
    const uint8_t* begin = Raw.data() + Start;
    const uint8_t* end = Raw.data() + Raw.size();
    const uint8_t* zero = std::find(begin, end, 0);
    if (zero - begin >= 1000) return std::string();
    return std::string(begin, zero);
}

int32_t ColorTypeOf(int32_t Format) {
    switch (Format) {
        case ieiccRGB:
        case ieiccBGR:
        case ieiccRGB48:
        case ieiccRGB48BE: return ieicctRGB;
        case ieiccCMYKInv:
        case ieiccCMYK6: return ieicctCMYK;
        case ieiccLab: return ieicctLab;
        case ieiccGray: return ieicctGray;
        case ieicc3Channel: return ieicct3Channel;
        default: return 0;
    }
}

// Source pixels into the module's 16-bit channels.
void Expand(int32_t Format, uint8_t* Source, TIEICCColor* Out, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        uint16_t* c = Out[i].c;
        c[0] = c[1] = c[2] = c[3] = 0;
        switch (Format) {
            case ieiccBGR: std::swap(Source[i * 3], Source[i * 3 + 2]); [[fallthrough]];
            case ieiccRGB:
            case ieiccLab:
            case ieicc3Channel:
                for (int k = 0; k < 3; ++k) c[k] = (uint16_t)(Source[i * 3 + k] * 257);
                break;
            case ieiccCMYKInv:
                for (int k = 0; k < 4; ++k) c[k] = (uint16_t)((255 - Source[i * 4 + k]) * 257);
                break;
            case ieiccCMYK6:
                for (int k = 0; k < 4; ++k) c[k] = (uint16_t)(Source[i * 6 + k] * 257);
                break;
            case ieiccGray: c[0] = (uint16_t)(Source[i] * 257); break;
            case ieiccRGB48: std::memcpy(c, Source + i * 6, 6); break;
            case ieiccRGB48BE:
                for (int k = 0; k < 3; ++k) c[k] = (uint16_t)(Source[i * 6 + k * 2] << 8 | Source[i * 6 + k * 2 + 1]);
                break;
        }
    }
}

// The module's channels into destination pixels, the reverse of Expand (high bytes for the byte
// layouts).
void Store(int32_t Format, const TIEICCColor* In, uint8_t* Dest, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        const uint16_t* c = In[i].c;
        switch (Format) {
            case ieiccBGR:
                for (int k = 0; k < 3; ++k) Dest[i * 3 + 2 - k] = (uint8_t)(c[k] >> 8);
                break;
            case ieiccRGB:
            case ieiccLab:
            case ieicc3Channel:
                for (int k = 0; k < 3; ++k) Dest[i * 3 + k] = (uint8_t)(c[k] >> 8);
                break;
            case ieiccCMYKInv:
                for (int k = 0; k < 4; ++k) Dest[i * 4 + k] = (uint8_t)(255 - (c[k] >> 8));
                break;
            case ieiccCMYK6:
                for (int k = 0; k < 4; ++k) Dest[i * 6 + k] = (uint8_t)(c[k] >> 8);
                break;
            case ieiccGray: Dest[i] = (uint8_t)(c[0] >> 8); break;
            case ieiccRGB48: std::memcpy(Dest + i * 6, c, 6); break;
            case ieiccRGB48BE:
                for (int k = 0; k < 3; ++k) {
                    Dest[i * 6 + k * 2] = (uint8_t)(c[k] >> 8);
                    Dest[i * 6 + k * 2 + 1] = (uint8_t)c[k];
                }
                break;
        }
    }
}

int32_t FormatCode(TIEPixelFormat Format) {
    switch (Format) {
        case ie8g: return ieiccGray;
        case ie24RGB: return ieiccBGR;
        case ieCMYK: return ieiccCMYKInv;
        case ieRGB48: return ieiccRGB48;
        case ieCIELab: return ieiccLab;
        default: return -1;
    }
}

}  // namespace

void TIEICC::LoadFromBuffer(const void* Data, int32_t Size) {
    // The bytes may be our own (a reload): copy them before clearing.
    const uint8_t* bytes = static_cast<const uint8_t*>(Data);
    std::vector<uint8_t> copy(bytes, bytes + (bytes && Size > 0 ? Size : 0));
    Clear();
    FRaw = std::move(copy);
    OpenProfile();
}

void TIEICC::Assign(const TIEICC* Source) {
    if (!Source || Source == this) return;
    if (Source->FIsSRGB && Source->FRaw.empty()) {
        LoadSRGB();
        return;
    }
    LoadFromBuffer(Source->GetRaw(), Source->GetRawSize());
}

void TIEICC::LoadSRGB() {
    Clear();
    FIsSRGB = true;
    Open();
}

void TIEICC::OpenProfile() {
    Open();
    ReadInfoTags();
}

void TIEICC::Open() {
    if (!IELoadMSCMS()) return;
    FGeneration = IEICCModuleGeneration();
    if (FIsSRGB) FProfile = IEICCOpenNamedProfile("sRGB Color Space Profile.icm");
    else if (!FRaw.empty()) FProfile = IEICCOpenMemoryProfile(FRaw.data(), GetRawSize());
}

void TIEICC::Revive() {
    if (!FProfile || FGeneration == IEICCModuleGeneration()) return;
    FProfile = nullptr;
    FTransform = nullptr;
    FInputFormat = FOutputFormat = FIntent = FFlags = -1;
    Open();
}

void TIEICC::Clear() {
    CloseProfile();
    FRaw.clear();
    FRaw.shrink_to_fit();
    FDescription.clear();
    FCopyright.clear();
    FApplied = false;
    FIsSRGB = false;
}

void TIEICC::CloseProfile() {
    FreeTransform();
    if (FProfile && IEICCHandlesAlive(FGeneration)) IEICCCloseProfile(FProfile);
    FProfile = nullptr;
    FInputFormat = FOutputFormat = FIntent = FFlags = -1;
}

void TIEICC::FreeTransform() {
    if (!FTransform) return;
    if (IEICCHandlesAlive(FGeneration)) IEICCDeleteTransform(FTransform);
    FTransform = nullptr;
    FApplied = true;
}

void TIEICC::SaveToStream(TStream* Stream, bool RawOnly) {
    if (!RawOnly) {
        const int32_t size = GetRawSize();
        const uint8_t le[4] = {(uint8_t)size, (uint8_t)(size >> 8), (uint8_t)(size >> 16), (uint8_t)(size >> 24)};
        Stream->WriteBuffer(le, 4);
    }
    if (!FRaw.empty()) Stream->WriteBuffer(FRaw.data(), GetRawSize());
}

void TIEICC::ReadInfoTags() {
    FDescription.clear();
    FCopyright.clear();
    const size_t size = FRaw.size();
    if (size <= 132) return;
    const int32_t count = (int32_t)BigEndian32(&FRaw[128]);
    if (count < 0 || count > 1000) return;
    for (int32_t i = 0; i < count; ++i) {
        const size_t at = 132 + (size_t)i * 12;
        if (at + 12 > size) break;
        const int32_t offset = (int32_t)BigEndian32(&FRaw[at + 4]);
        const int32_t length = (int32_t)BigEndian32(&FRaw[at + 8]);
        if (offset < 0 || length < 0 || (size_t)offset > size || (size_t)length > size) break;
        if (std::memcmp(&FRaw[at], "cprt", 4) == 0 && length <= 999)
            FCopyright = TextAt(FRaw, (size_t)offset + 8);
        else if (std::memcmp(&FRaw[at], "desc", 4) == 0 && length < 1000)
            FDescription = TextAt(FRaw, (size_t)offset + 12);
    }
}

bool TIEICC::TransformPixels(TIEICC* DestProfile, int32_t InputFormat, int32_t OutputFormat, int32_t Intent,
                             int32_t Flags, void* Source, void* Dest, int32_t Count) {
    const int32_t inputType = ColorTypeOf(InputFormat), outputType = ColorTypeOf(OutputFormat);
    if (!inputType || !outputType) return false;
    Revive();
    if (DestProfile && DestProfile->FProfile && !DestProfile->IsValid()) DestProfile = nullptr;
    if (!FTransform || InputFormat != FInputFormat || OutputFormat != FOutputFormat || Intent != FIntent ||
        Flags != FFlags) {
        FreeTransform();
        if (FProfile && DestProfile && DestProfile->FProfile)
            FTransform = IEICCCreateTransform(FProfile, DestProfile->FProfile, kTransformFlags);
        FInputFormat = InputFormat;
        FOutputFormat = OutputFormat;
        FIntent = Intent;
        FFlags = Flags;
    }
    if (!FTransform) return false;
    if (Count <= 0 || !Source || !Dest) return true;
    // Pixels that were not converted are a failure: the caller then converts them its own way.
    // A count whose buffers exceed the largest object size is refused before the allocation (a
    // new-expression of that size would throw even in its nothrow form).
    std::unique_ptr<TIEICCColor[]> in, out;
    if ((size_t)Count <= (size_t)PTRDIFF_MAX / sizeof(TIEICCColor)) {
        in.reset(new (std::nothrow) TIEICCColor[(size_t)Count]);
        out.reset(new (std::nothrow) TIEICCColor[(size_t)Count]);
    }
    if (!in || !out) return false;
    Expand(InputFormat, static_cast<uint8_t*>(Source), in.get(), Count);
    std::memset(out.get(), 0, sizeof(TIEICCColor) * (size_t)Count);
    if (!IEICCTranslateColors(FTransform, in.get(), Count, inputType, out.get(), outputType)) return false;
    Store(OutputFormat, out.get(), static_cast<uint8_t*>(Dest), Count);
    return true;
}

bool TIEICC::ConvertBitmap(TIEBitmap* Bitmap, TIEPixelFormat DestFormat, TIEICC* DestProfile) {
    if (!Bitmap) return false;
    const int32_t source = FormatCode(Bitmap->GetPixelFormat()), dest = FormatCode(DestFormat);
    if (source < 0 || dest < 0) return false;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    TIEBitmap converted(width, height, DestFormat);
    if (converted.IsEmpty() && !Bitmap->IsEmpty()) return false;
    // A first call without pixels makes the transform, so that a missing module or a profile it
    // cannot pair changes nothing.
    if (!TransformPixels(DestProfile, source, dest, 0, 0, nullptr, nullptr, 0)) return false;
    bool ok = true;
    for (int32_t y = 0; y < height && ok; ++y)
        ok = TransformPixels(DestProfile, source, dest, 0, 0, Bitmap->GetScanline(y), converted.GetScanline(y), width);
    FreeTransform();
    if (!ok) return false;   // the bitmap stays as it was
    Bitmap->AssignImage(&converted);
    return true;
}
