// The DIB bitmap's rows and copies, and the work bitmap.
#include "iedibbitmap.h"

#include <cstring>

#include "iecoreutils_threads.h"

namespace {

// The row length padded to 4 bytes and the bytes of Height rows, from 64-bit arithmetic (the
// shared row length wraps at 32 bits); False when either would pass Limit.
bool RowsSize(int32_t Width, int32_t Height, int32_t BitsPerPixel, int64_t Limit, int32_t& RowLen,
              int64_t& Size) {
    const int64_t rowLen = (static_cast<int64_t>(Width) * BitsPerPixel + 31) / 32 * 4;
    if (rowLen > INT32_MAX) return false;
    Size = rowLen * Height;
    if (Size > Limit) return false;
    RowLen = static_cast<int32_t>(rowLen);
    return true;
}

// Row Row of rows stored bottom-up (the last image row first); null without rows.
uint8_t* BottomUpRow(uint8_t* Bits, int32_t RowLen, int32_t Height, int32_t Row) {
    if (!Bits) return nullptr;
    return Bits + static_cast<ptrdiff_t>(RowLen) * (static_cast<ptrdiff_t>(Height) - 1 - Row);
}

}  // namespace

TIEDibbitmap::TIEDibbitmap() {
    Info.biSize = 40;
    Info.biPlanes = 1;
    Info.biCompression = 0;   // uncompressed RGB
    Info.Colors[1][0] = Info.Colors[1][1] = Info.Colors[1][2] = 255;   // colour 1 white
}

TIEDibbitmap::~TIEDibbitmap() { FreeDIB(); }

uint8_t* TIEDibbitmap::GetScanline(int32_t Row) {
    return BottomUpRow(Bits, RowLen, Height, Row);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() {
    if (BitCount == 1) return ie1g;
    if (BitCount == 24) return ie24RGB;
    return ieNoFormat;
}

bool TIEDibbitmap::Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat PixelFormat) {
    if (PixelFormat == ie1g) return AllocateDIB(AWidth, AHeight, 1);
    if (PixelFormat == ie24RGB) return AllocateDIB(AWidth, AHeight, 24);
    return false;
}

bool TIEDibbitmap::AllocateDIB(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
    if (AWidth <= 0 || AHeight <= 0) return false;
    // The header carries two colour entries: depths that need a larger table would make the
    // system read past it.
    if (ABitCount != 1 && ABitCount != 16 && ABitCount != 24 && ABitCount != 32) return false;
    int32_t rowLen = 0;
    int64_t size = 0;
    if (!RowsSize(AWidth, AHeight, ABitCount, INT32_MAX, rowLen, size)) return false;
    FreeDIB();
    Info.biBitCount = static_cast<uint16_t>(ABitCount);
    Info.biWidth = AWidth;
    Info.biHeight = AHeight;   // positive: rows bottom-up
    Info.biSizeImage = static_cast<uint32_t>(size);
    if (!IEDibCreate(Info, DC, Section, Bits)) return false;
    Width = AWidth;
    Height = AHeight;
    BitCount = ABitCount;
    RowLen = rowLen;
    return true;
}

void TIEDibbitmap::FreeDIB() {
    IEDibFree(DC, Section, Bits);
    Width = Height = BitCount = RowLen = 0;
}

void TIEDibbitmap::Assign(TObject* Source) {
    auto* src = dynamic_cast<TIEDibbitmap*>(Source);
    if (!src || src == this || !src->Bits) return;
    if (!AllocateDIB(src->Width, src->Height, src->BitCount)) return;
    std::memcpy(Bits, src->Bits, static_cast<size_t>(RowLen) * static_cast<size_t>(Height));
}

TIEWorkBitmap::TIEWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
    if (AWidth > 0 && AHeight > 0) Allocate(AWidth, AHeight, ABitsPerPixel);
}

TIEWorkBitmap::~TIEWorkBitmap() { FreeBits(); }

void TIEWorkBitmap::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
    if (AWidth == Width && AHeight == Height && ABitsPerPixel == BitsPerPixel) return;
    FreeBits();
    Width = AWidth;
    Height = AHeight;
    BitsPerPixel = ABitsPerPixel;
    if (AWidth <= 0 || AHeight <= 0 || ABitsPerPixel <= 0) return;
    int64_t size = 0;
    if (!RowsSize(AWidth, AHeight, ABitsPerPixel, UINT32_MAX, RowLen, size)) return;
    Bits = static_cast<uint8_t*>(IEAutoAlloc(static_cast<uint32_t>(size)));
}

uint8_t* TIEWorkBitmap::GetScanline(int32_t Row) {
    return BottomUpRow(Bits, RowLen, Height, Row);
}

void TIEWorkBitmap::FreeBits() {
    void* p = Bits;
    IEAutoFree(p);
    Bits = nullptr;
    Width = Height = BitsPerPixel = RowLen = 0;
}
