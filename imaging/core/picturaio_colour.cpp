#include "picturaio_colour.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "iecoreutils_colour.h"
#include "iecoreutils_text.h"
#include "iezlib.h"
#include "picturaio_params.h"

bool IEUseCMYKProfile = false;
bool IEColorManagementEnabled = false;
TIEColorConvertProc IEColorConvertHook = nullptr;

namespace {

// The profile pair, created on first use: the built-in CMYK profile and the system's sRGB.
std::unique_ptr<TIEICC> CMYKProfile;
std::unique_ptr<TIEICC> SRGBProfile;

// Formats of TIEICC::TransformPixels (the row layout codes).
constexpr int32_t kFormatBGR = 1;
constexpr int32_t kFormatCMYK = 2;

bool UseProfile() { return IEUseCMYKProfile && IEInitCMYKProfile(); }

void CMYKToRGBArithmetic(const uint8_t* CMYK, TIERGB& RGB) {
    const uint32_t k = CMYK[3];
    RGB.r = static_cast<uint8_t>(CMYK[0] * k / 255);
    RGB.g = static_cast<uint8_t>(CMYK[1] * k / 255);
    RGB.b = static_cast<uint8_t>(CMYK[2] * k / 255);
}

}  // namespace

bool IEInitCMYKProfile() {
    if (CMYKProfile) return CMYKProfile->IsValid();
    CMYKProfile = std::make_unique<TIEICC>();
    int32_t packedSize = 0;
    const uint8_t* packed = IEBuiltInCMYKProfileData(packedSize);
    if (!packed || packedSize <= 0) return false;
    void* profile = nullptr;
    int32_t profileSize = 0;
    try {
        // The inflated size comes from the stream itself.
        IEZDecompressBuffer(packed, packedSize, profile, profileSize, 0);
    } catch (const Exception&) {
        return false;
    }
    CMYKProfile->LoadFromBuffer(profile, profileSize);
    std::free(profile);
    if (!CMYKProfile->IsValid()) return false;
    SRGBProfile = std::make_unique<TIEICC>();
    SRGBProfile->LoadSRGB();
    // One pixel each way, so that both objects hold their transform from now on.
    uint8_t cmyk[4] = {255, 255, 255, 255};
    TIERGB rgb = {255, 255, 255};
    CMYKProfile->TransformPixels(SRGBProfile.get(), kFormatCMYK, kFormatBGR, 0, 0, cmyk, &rgb, 1);
    SRGBProfile->TransformPixels(CMYKProfile.get(), kFormatBGR, kFormatCMYK, 0, 0, &rgb, cmyk, 1);
    return true;
}

void IEFreeCMYKProfiles() {
    CMYKProfile.reset();
    SRGBProfile.reset();
}

void IECMYKToRGB(const uint8_t* CMYK, TIERGB& RGB) {
    if (UseProfile()) {
        uint8_t copy[4];
        std::memcpy(copy, CMYK, 4);
        if (CMYKProfile->TransformPixels(SRGBProfile.get(), kFormatCMYK, kFormatBGR, 0, 0, copy, &RGB, 1)) return;
    }
    CMYKToRGBArithmetic(CMYK, RGB);
}

void IECMYKRowToRGB(const uint8_t* Source, TIERGB* Dest, int32_t Count) {
    if (Count <= 0) return;
    if (UseProfile()) {
        std::vector<uint8_t> copy(Source, Source + static_cast<size_t>(Count) * 4);
        if (CMYKProfile->TransformPixels(SRGBProfile.get(), kFormatCMYK, kFormatBGR, 0, 0, copy.data(), Dest, Count))
            return;
    }
    for (int32_t i = 0; i < Count; ++i) CMYKToRGBArithmetic(Source + static_cast<size_t>(i) * 4, Dest[i]);
}

uint32_t IERGBToCMYK(uint32_t RGB) {
    const uint32_t r = (RGB >> 16) & 0xFF, g = (RGB >> 8) & 0xFF, b = RGB & 0xFF;
    if (UseProfile()) {
        // The transform reads TIERGB order and may swap it in place: give it a copy.
        TIERGB pixel = {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
        uint8_t cmyk[4];
        if (SRGBProfile->TransformPixels(CMYKProfile.get(), kFormatBGR, kFormatCMYK, 0, 0, &pixel, cmyk, 1))
            return cmyk[0] | uint32_t(cmyk[1]) << 8 | uint32_t(cmyk[2]) << 16 | uint32_t(cmyk[3]) << 24;
    }
    uint32_t k = r > g ? r : g;
    if (b > k) k = b;
    if (k == 0) return 0x00FFFFFFu;
    const uint32_t c = r * 255 / k, m = g * 255 / k, y = b * 255 / k;
    return c | m << 8 | y << 16 | k << 24;
}

void IEConvertColorRow(const void* Source, uint8_t SourceLayout, void* Dest, TIOParamsVals* IOParams, int32_t Count,
                       uint8_t DestLayout) {
    if (Count <= 0 || !Source || !Dest) return;
    const size_t count = static_cast<size_t>(Count);
    const uint8_t* src = static_cast<const uint8_t*>(Source);
    uint8_t* dst = static_cast<uint8_t*>(Dest);

    if (IEColorManagementEnabled && IOParams) {
        TIEICC* input = IOParams->InputICCProfile.get();
        if (IOParams->DefaultICCProfile && !(input && input->IsValid())) input = IOParams->DefaultICCProfile.get();
        if (input && input->IsValid() && !input->GetIsApplied() && IOParams->GetOutputICCProfile()->IsValid()) {
            // The transform may rewrite its source (BGR rows are swapped in place): work on a copy.
            static const size_t kPixelBytes[9] = {3, 3, 4, 6, 3, 1, 6, 6, 3};
            if (SourceLayout < 9) {
                std::vector<uint8_t> copy(src, src + count * kPixelBytes[SourceLayout]);
                if (input->TransformPixels(IOParams->GetOutputICCProfile(), SourceLayout, DestLayout, 0, 0, copy.data(),
                                           Dest, Count))
                    return;
            }
        }
    }

    if (DestLayout == iecrBGR) {
        TIERGB* out = static_cast<TIERGB*>(Dest);
        switch (SourceLayout) {
            case iecrRGB:
                for (size_t i = 0; i < count; ++i) out[i] = {src[i * 3 + 2], src[i * 3 + 1], src[i * 3]};
                return;
            case iecrBGR:
                std::memmove(dst, src, count * 3);
                return;
            case iecrCMYK:
                IECMYKRowToRGB(src, out, Count);
                return;
            case iecrCMYK6:
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = src + i * 6;
                    const uint8_t inverted[4] = {uint8_t(255 - p[0]), uint8_t(255 - p[1]), uint8_t(255 - p[2]),
                                                 uint8_t(255 - p[3])};
                    IECMYKToRGB(inverted, out[i]);
                }
                return;
            case iecrCIELab:
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = src + i * 3;
                    out[i] = IECIELabToRGB(p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16);
                }
                return;
            case iecrRGB16LE:
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = src + i * 6;
                    out[i] = {p[5], p[3], p[1]};
                }
                return;
            case iecrRGB16BE:
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = src + i * 6;
                    out[i] = {p[4], p[2], p[0]};
                }
                return;
            case iecrYCbCr:
                for (size_t i = 0; i < count; ++i) {
                    const uint8_t* p = src + i * 3;
                    IEYCbCrToRGB(out[i], p[0], p[1], p[2]);
                }
                return;
            default:
                return;
        }
    }
    if (SourceLayout != iecrBGR) return;
    const TIERGB* in = static_cast<const TIERGB*>(Source);
    switch (DestLayout) {
        case iecrCMYK:
            for (size_t i = 0; i < count; ++i) {
                const uint32_t cmyk = IERGBToCMYK(IERGBValue(in[i]));
                dst[i * 4] = static_cast<uint8_t>(cmyk);
                dst[i * 4 + 1] = static_cast<uint8_t>(cmyk >> 8);
                dst[i * 4 + 2] = static_cast<uint8_t>(cmyk >> 16);
                dst[i * 4 + 3] = static_cast<uint8_t>(cmyk >> 24);
            }
            return;
        case iecrCIELab:
            for (size_t i = 0; i < count; ++i) {
                const uint32_t lab = IERGBToCIELab(IERGBValue(in[i]));
                dst[i * 3] = static_cast<uint8_t>(lab);
                dst[i * 3 + 1] = static_cast<uint8_t>(lab >> 8);
                dst[i * 3 + 2] = static_cast<uint8_t>(lab >> 16);
            }
            return;
        case iecrGray:
            for (size_t i = 0; i < count; ++i)
                dst[i] = static_cast<uint8_t>((in[i].r * IEGrayRedWeight + in[i].g * IEGrayGreenWeight +
                                               in[i].b * IEGrayBlueWeight) / 100);
            return;
        default:
            return;
    }
}
