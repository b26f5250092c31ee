// Two small pixel holders beside the image buffer. TIEDibbitmap keeps its rows in a
// device-independent bitmap section selected into its own memory device context, so that system
// drawing calls can draw into it and read from it; TIEWorkBitmap is a plain row buffer used as
// scratch space. Both keep their rows bottom-up (the last image row first), rows padded to 4
// bytes. The section and the context come from the platform layer (iedibbitmap_win.cpp); where the
// system has no drawing service (iedibbitmap_posix.cpp) the rows live in ordinary memory and the
// device context stays null.
#pragma once

#include <cstdint>

#include "iebitmap.h"

#pragma pack(push, 1)
// The 40-byte bitmap-information header followed by two colour entries (blue, green, red,
// reserved), laid out as the system's bitmap-info structure.
struct TIEDibInfo {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
    uint8_t Colors[2][4];
};
#pragma pack(pop)
static_assert(sizeof(TIEDibInfo) == 48, "a 40-byte header and two 4-byte colour entries");

// Platform layer. IEDibCreate makes the memory device context and the section described by Info
// (its image size bytes); True with DC, Section and Bits set, False with all three null and
// nothing left behind. IEDibFree releases what IEDibCreate made and nulls the three; nulls do
// nothing. IEDibHasDrawing: the system's drawing service is present (the device context is real).
bool IEDibCreate(const TIEDibInfo& Info, void*& DC, void*& Section, uint8_t*& Bits);
void IEDibFree(void*& DC, void*& Section, uint8_t*& Bits);
bool IEDibHasDrawing();

class TIEDibbitmap : public TIEBaseBitmap {
public:
    KW_CLASS_NAME(TIEDibbitmap)
    TIEDibbitmap();
    ~TIEDibbitmap() override;
    TIEDibbitmap(const TIEDibbitmap&) = delete;
    TIEDibbitmap& operator=(const TIEDibbitmap&) = delete;

    // Rows bottom-up: row 0 is the last in memory. Null when empty.
    uint8_t* GetScanline(int32_t Row) override;
    int32_t GetBitCount() override { return BitCount; }
    int32_t GetHeight() override { return Height; }
    int32_t GetWidth() override { return Width; }
    // ie1g for 1 bit, ie24RGB for 24 bits, ieNoFormat otherwise.
    TIEPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override { return RowLen; }
    // No palette: the two colours of a 1-bit section are fixed black and white.
    TIERGB* GetPalette() override { return nullptr; }
    TIERGB GetPaletteEntry(int32_t) override { return TIERGB{0, 0, 0}; }
    void SetPaletteEntry(int32_t, const TIERGB&) override {}
    int32_t GetPaletteLength() override { return 0; }
    // ie1g or ie24RGB; every other format returns False and changes nothing.
    bool Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat PixelFormat) override;
    // From another non-empty TIEDibbitmap: same size and bit count, every byte copied. Any other
    // source, an empty one or itself changes nothing.
    void Assign(TObject* Source) override;
    void CopyPaletteTo(TIEBaseBitmap*) override {}

    // A new section of that size and bit count, its pixels not cleared. False at once, keeping
    // the current section, when a side is not positive, the bit count needs a colour table larger
    // than the header's two entries (4 or 8 bits) or the image would pass 2 GiB. When the system
    // refuses the context or the section, False and the bitmap is left empty.
    bool AllocateDIB(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
    // Deletes the section and the context; the bitmap is empty.
    void FreeDIB();

    void* GetDC() const { return DC; }
    void* GetSection() const { return Section; }
    uint8_t* GetBits() const { return Bits; }
    const TIEDibInfo& GetInfo() const { return Info; }

private:
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    int32_t RowLen = 0;
    void* DC = nullptr;
    void* Section = nullptr;
    TIEDibInfo Info{};
    uint8_t* Bits = nullptr;
};

// A plain row buffer from IEAutoAlloc; rows bottom-up, padded to 4 bytes.
class TIEWorkBitmap {
public:
    // Empty; allocated when both sides are positive.
    TIEWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
    ~TIEWorkBitmap();
    TIEWorkBitmap(const TIEWorkBitmap&) = delete;
    TIEWorkBitmap& operator=(const TIEWorkBitmap&) = delete;

    // Nothing when the three values are those held; otherwise the old rows are freed, the values
    // stored and new rows taken, not cleared. Bits stays null when the memory cannot be had, a
    // side or the depth is not positive, or the image would pass 4 GiB.
    void Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
    // Row 0 is the last in memory. Null when there are no rows.
    uint8_t* GetScanline(int32_t Row);
    // Frees the rows; every field 0.
    void FreeBits();

    int32_t GetWidth() const { return Width; }
    int32_t GetHeight() const { return Height; }
    int32_t GetBitsPerPixel() const { return BitsPerPixel; }
    int32_t GetRowLen() const { return RowLen; }
    uint8_t* GetBits() const { return Bits; }

private:
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    int32_t RowLen = 0;
    uint8_t* Bits = nullptr;
};
