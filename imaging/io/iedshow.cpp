// The platform-neutral half of TIEDirectShow: the subtype and video-standard tables and the
// grabber's callback.
#include "iedshow.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "ieprochooks.h"

namespace {

constexpr uint32_t FourCC(const char* Code) {
    return static_cast<uint32_t>(static_cast<uint8_t>(Code[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(Code[3])) << 24;
}

// {XXXXXXXX-0000-0010-8000-00AA00389B71}: a subtype named by the FourCC in its first field.
constexpr TIEDShowGuid FourCCGuid(const char* Code) {
    return {FourCC(Code), 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
// {E436EB7x-524F-11CE-9F53-0020AF0BA770}: the uncompressed RGB subtypes.
constexpr TIEDShowGuid RGBGuid(uint32_t First) {
    return {First, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
}

struct TSubtypeRow {
    TIEDShowGuid Guid;
    const char* Name;
};

const TSubtypeRow kSubtypes[] = {
    {FourCCGuid("CLPL"), "CLPL"}, {FourCCGuid("YUYV"), "YUYV"}, {FourCCGuid("IYUV"), "IYUV"},
    {FourCCGuid("YVU9"), "YVU9"}, {FourCCGuid("Y411"), "Y411"}, {FourCCGuid("Y41P"), "Y41P"},
    {FourCCGuid("YUY2"), "YUY2"}, {FourCCGuid("YVYU"), "YVYU"}, {FourCCGuid("UYVY"), "UYVY"},
    {FourCCGuid("Y211"), "Y211"}, {FourCCGuid("YV12"), "YV12"}, {FourCCGuid("CLJR"), "CLJR"},
    {FourCCGuid("IF09"), "IF09"}, {FourCCGuid("CPLA"), "CPLA"}, {FourCCGuid("MJPG"), "MJPG"},
    {FourCCGuid("TVMJ"), "TVMJ"}, {FourCCGuid("WAKE"), "WAKE"}, {FourCCGuid("CFCC"), "CFCC"},
    {FourCCGuid("IJPG"), "IJPG"}, {FourCCGuid("Plum"), "Plum"}, {FourCCGuid("DVCS"), "DVCS"},
    {FourCCGuid("DVSD"), "DVSD"}, {FourCCGuid("MDVF"), "MDVF"},
    {RGBGuid(0xE436EB78), "RGB1"}, {RGBGuid(0xE436EB79), "RGB4"}, {RGBGuid(0xE436EB7A), "RGB8"},
    {RGBGuid(0xE436EB7B), "RGB565"}, {RGBGuid(0xE436EB7C), "RGB555"}, {RGBGuid(0xE436EB7D), "RGB24"},
    {RGBGuid(0xE436EB7E), "RGB32"},
    {{0x297C55AF, 0xE209, 0x4CB3, {0xB7, 0x57, 0xC7, 0x6D, 0x6B, 0x9C, 0x88, 0xA8}}, "ARGB1555"},
    {{0x6E6415E6, 0x5C24, 0x425F, {0x93, 0xCD, 0x80, 0x10, 0x2B, 0x3D, 0x1C, 0xCA}}, "ARGB4444"},
    {{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}}, "ARGB32"},
    {FourCCGuid("AYUV"), "AYUV"}, {FourCCGuid("AI44"), "AI44"}, {FourCCGuid("IA44"), "IA44"},
};
static_assert(sizeof(kSubtypes) / sizeof(kSubtypes[0]) == 36, "36 subtypes");

struct TStandardRow {
    uint32_t Mask;
    const char* Name;
};

const TStandardRow kStandards[] = {
    {0, "None"},           {0x1, "NTSC_M"},       {0x2, "NTSC_M_J"},     {0x4, "NTSC_433"},
    {0x10, "PAL_B"},       {0x20, "PAL_D"},       {0x80, "PAL_H"},       {0x100, "PAL_I"},
    {0x200, "PAL_M"},      {0x400, "PAL_N"},      {0x800, "PAL_60"},     {0x1000, "SECAM_B"},
    {0x2000, "SECAM_D"},   {0x4000, "SECAM_G"},   {0x8000, "SECAM_H"},   {0x10000, "SECAM_K"},
    {0x20000, "SECAM_K1"}, {0x40000, "SECAM_L"},  {0x80000, "SECAM_L1"}, {0x100000, "PAL_N_COMBO"},
};
static_assert(sizeof(kStandards) / sizeof(kStandards[0]) == 20, "20 standards");

}  // namespace

std::string IEDShowSubtypeName(const TIEDShowGuid& Subtype) {
    for (const TSubtypeRow& row : kSubtypes)
        if (std::memcmp(&row.Guid, &Subtype, sizeof(TIEDShowGuid)) == 0) return row.Name;
    return std::string();
}

std::string IEDShowStandardsText(uint32_t Value) {
    std::string text;
    for (const TStandardRow& row : kStandards) {
        if ((row.Mask & Value) == 0) continue;
        text += row.Name;
        text += ' ';
    }
    if (!text.empty()) text.pop_back();
    return text;
}

int32_t TIESampleGrabberCB::SampleCB(double, void*) { return 0; }

int32_t TIESampleGrabberCB::BufferCB(double, const void*, int32_t) {
    if (Owner && Owner->FrameNotify) {
        try {
            IEDShowPostMessage(Owner->GetNotifyWindow(), Owner->GetFrameMessage(), 0,
                               reinterpret_cast<intptr_t>(Owner));
        } catch (...) {
            // The streaming thread must go on whatever the window does.
        }
    }
    return 0;
}

void IEDShowCopyRows(const uint8_t* Buffer, int32_t BufferSize, int32_t Width, int32_t Height, TIEBitmap* Bitmap) {
    if (!Buffer || !Bitmap || Width <= 0 || Height == 0 || Height == INT32_MIN || BufferSize <= 0) return;
    const bool topDown = Height < 0;
    const int32_t height = std::abs(Height);
    if (Bitmap->GetLocation() == ieFile) Bitmap->SetLocation(ieMemory);
    if (Bitmap->GetPixelFormat() != ie24RGB || Bitmap->GetWidth() != Width || Bitmap->GetHeight() != height) {
        if (!Bitmap->Allocate(Width, height, ie24RGB)) return;
    }
    const int64_t rowLen = (static_cast<int64_t>(Width) * 24 + 31) / 32 * 4;
    const int64_t rows = std::min<int64_t>(height, BufferSize / rowLen);
    const size_t bytes = static_cast<size_t>(Width) * 3;
    for (int64_t r = 0; r < rows; ++r) {
        const int32_t imageRow = topDown ? static_cast<int32_t>(r) : height - 1 - static_cast<int32_t>(r);
        std::memcpy(Bitmap->GetScanline(imageRow), Buffer + r * rowLen, bytes);
    }
}

void IEDShowKeepSize(TIEBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (!Bitmap || Width <= 0 || Height <= 0) return;
    if (Bitmap->GetWidth() == Width && Bitmap->GetHeight() == Height) return;
    if (Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return;
    TIEBitmap frame;
    frame.Assign(Bitmap);
    if (!Bitmap->Allocate(Width, Height, frame.GetPixelFormat())) return;
    IEResampleNoFilterHook(&frame, Bitmap, nullptr, {});
}
