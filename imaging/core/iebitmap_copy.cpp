// The whole-image operations of the image buffer that neither draw nor change the pixel format:
// copies from and to the selection mask and the DIB bitmap, canvas size changes with alignment,
// rectangle moves and copies, filling, and the whole-image tests.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "iedibbitmap.h"
#include "iemask.h"
#include "ieprochooks.h"
#include "picturaio_colour.h"

namespace {

// One pixel of Fill's value in the bitmap's format, as bytes; empty for the formats that have
// their own rule (ie1g) or none.
std::vector<uint8_t> FillPixel(TIEPixelFormat Format, double Value, bool TruncFloat, bool& IsWhite) {
    const int64_t v = std::isfinite(Value) && std::fabs(Value) < 9.2e18 ? (int64_t)Value : 0;
    const TIERGB colour = IEColorToRGB((TColor)(uint32_t)v);
    const bool white = colour.r == 255 && colour.g == 255 && colour.b == 255;
    auto bytes = [](const void* p, size_t n) {
        return std::vector<uint8_t>((const uint8_t*)p, (const uint8_t*)p + n);
    };
    switch (Format) {
    case ie8p:
    case ie8g:
        IsWhite = v == 255;
        return {(uint8_t)v};
    case ie16g: {
        IsWhite = v == 65535;
        const uint16_t w = (uint16_t)v;
        return bytes(&w, 2);
    }
    case ie24RGB:
    case ie32RGB:
        IsWhite = white;
        return bytes(&colour, 3);
    case ie32f: {
        const float f = TruncFloat ? (float)v : (float)Value;
        IsWhite = Value == 1.0;
        return bytes(&f, 4);
    }
    case ieCMYK: {
        IsWhite = white;
        // Through the CMYK profile when it is in use, as every RGB to CMYK conversion goes.
        const uint32_t cmyk = IERGBToCMYK(IERGBValue(colour));
        return bytes(&cmyk, 4);
    }
    case ieRGB48: {
        IsWhite = white;
        const uint16_t w[3] = {(uint16_t)(colour.r * 257), (uint16_t)(colour.g * 257), (uint16_t)(colour.b * 257)};
        return bytes(w, 6);
    }
    case ieCIELab: {
        IsWhite = white;
        const uint32_t lab = IERGBToCIELab(IERGBValue(colour));
        return bytes(&lab, 3);
    }
    default:
        IsWhite = false;
        return {};
    }
}

// Bytes per pixel of a copy between bitmaps of the same format; 0 where bytes are not copied.
int32_t CopyPixelBytes(TIEPixelFormat Format) {
    switch (Format) {
    case ie8p:
    case ie8g: return 1;
    case ie16g: return 2;
    case ie24RGB:
    case ieCIELab: return 3;
    case ie32f:
    case ieCMYK:
    case ie32RGB: return 4;
    case ieRGB48: return 6;
    default: return 0;
    }
}

// Clips a rectangle copy between a source of SW x SH and a destination of DW x DH; False when
// nothing is left to copy.
bool ClipCopy(int32_t SW, int32_t SH, int32_t DW, int32_t DH, int32_t& SrcX, int32_t& SrcY, int32_t& DstX,
              int32_t& DstY, int32_t& W, int32_t& H) {
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return false;
    auto clip = [](int32_t S, int32_t D, int32_t& src, int32_t& dst, int32_t& len) {
        int64_t s = src, d = dst, n = len;
        if (d < 0) {
            s -= d;
            n += d;
            d = 0;
        }
        d = std::min<int64_t>(d, D - 1);
        s = std::min<int64_t>(std::max<int64_t>(s, 0), S - 1);
        n = std::min({n, (int64_t)D - d, (int64_t)S - s});
        src = (int32_t)s;
        dst = (int32_t)d;
        len = (int32_t)std::max<int64_t>(n, 0);
    };
    clip(SW, DW, SrcX, DstX, W);
    clip(SH, DH, SrcY, DstY, H);
    return W > 0 && H > 0;
}

// Runs Body with the bitmap's Access set to [iedWrite] (rows not read from a file) and restores it.
template <class TBody>
void WithWriteAccess(TIEBitmap& Bitmap, TBody Body) {
    const TIEDataAccess own = Bitmap.Access;
    Bitmap.Access = iedWrite;
    Body();
    Bitmap.ReleaseRowBuffers();
    Bitmap.Access = own;
}

}  // namespace

// ---- Whole images ---------------------------------------------------------------------------

void TIEBitmap::AssignImage(TIEBitmap* Source) {
    if (!Source || Source == this || Source->IsEmpty()) return;
    NeedsAllocation = true;
    CopyImageFrom(Source, false);
    // The kept alpha channel follows the new size, so that it never has rows the image lacks; when
    // the image could not be allocated, the alpha channel stays as it was.
    if (AlphaChannel && !IsEmpty() && (AlphaChannel->Width != Width || AlphaChannel->Height != Height)) {
        AlphaChannel->Resize(Width, Height, 255, 255, 0, 0);
    }
}

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) {
    if (!Mask) {
        Fill(255);
        return;
    }
    if (Mask->BitsPerPixel != 1 && Mask->BitsPerPixel != 8) return;
    if (!Allocate(Mask->Width, Mask->Height, Mask->BitsPerPixel == 1 ? ie1g : ie8g)) return;
    const size_t len = (size_t)std::min(RowLen, Mask->RowLen);
    WithWriteAccess(*this, [&] {
        for (int32_t y = 0; y < Height; ++y) std::memcpy(GetScanline(y), Mask->GetScanline(y), len);
    });
    Full = Mask->Full;
}

void TIEBitmap::CopyToTIEMask(TIEMask* Mask) {
    if (!Mask) return;
    SyncFromTBitmap();
    if (PixelFormat == ie1g || PixelFormat == ie8g) {
        Mask->Allocate(Width, Height, PixelFormat == ie1g ? 1 : 8);
        const size_t len = (size_t)std::min(RowLen, Mask->RowLen);
        for (int32_t y = 0; y < Height; ++y) std::memcpy(Mask->GetScanline(y), GetScanline(y), len);
        Mask->Full = Full;
    } else if (PixelFormat == ie24RGB) {
        Mask->Allocate(Width, Height, 8);
        for (int32_t y = 0; y < Height; ++y) {
            const TIERGB* px = (const TIERGB*)GetScanline(y);
            uint8_t* m = Mask->GetScanline(y);
            for (int32_t x = 0; x < Width; ++x) m[x] = (uint8_t)(IERGBToGray(px[x]) / 4);
        }
    } else {
        return;
    }
    ReleaseRowBuffers();
}

void TIEBitmap::CopyFromTIEDibbitmap(TIEDibbitmap* Source) {
    if (!Source || !Source->GetBits() || Source->GetWidth() <= 0 || Source->GetHeight() <= 0) return;
    const int32_t bits = Source->GetBitCount();
    TIEPixelFormat format = bits == 1 ? ie1g : bits == 8 ? ie8g : bits == 24 ? ie24RGB : ieNoFormat;
    if (Location == ieTBitmap) {
        if (format == ie8g) format = ieNoFormat;   // a system bitmap here takes 1 or 24 bits
        if (format == ieNoFormat || !ReshapeTBitmap(Source->GetWidth(), Source->GetHeight(), format)) return;
    } else if (format == ieNoFormat || !Allocate(Source->GetWidth(), Source->GetHeight(), format)) {
        return;
    }
    const size_t len = (size_t)std::min(RowLen, Source->GetRowLen());
    WithWriteAccess(*this, [&] {
        for (int32_t y = 0; y < Height; ++y) std::memcpy(GetScanline(y), Source->GetScanline(y), len);
    });
}

// ---- Size -----------------------------------------------------------------------------------

void TIEBitmap::ResizeImage(int32_t AWidth, int32_t AHeight) {
    if (AlphaChannel) {
        AlphaChannel->ResizeImage(AWidth, AHeight);
    }
    if (Location == ieTBitmap) {
        ResizeTBitmap(AWidth, AHeight);
        return;
    }
    if (PixelFormat == ieNoFormat || (AWidth != Width ? AHeight : AWidth) <= 0) {
        Width = AWidth;
        Height = AHeight;
        return;
    }
    TIEBitmap temp;
    MoveTo(&temp);
    if (Allocate(AWidth, AHeight, temp.PixelFormat)) {
        CopyRowsFrom(&temp);
        CopyPaletteFrom(&temp);
    }
    AlphaChannel = std::move(temp.AlphaChannel);
    Full = false;
}

void TIEBitmap::SetWidth(int32_t Value) {
    if (Value != Width) ResizeImage(Value, Height);
}

void TIEBitmap::SetHeight(int32_t Value) {
    if (Value != Height) ResizeImage(Width, Value);
}

void TIEBitmap::Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t AlphaFill,
                       uint8_t HorizAlign, uint8_t VertAlign) {
    SyncFromTBitmap();
    const int32_t ow = Width, oh = Height;
    if (HorizAlign > 2) HorizAlign = 0;
    if (VertAlign > 2) VertAlign = 0;
    TIEBitmap* alpha = AlphaChannel.get();
    // Before the size changes: the part that stays of a shrinking side moves to the top-left.
    auto keepPart = [&](TIEBitmap* b) {
        if (NewWidth < ow && HorizAlign != 0) {
            const int32_t d = HorizAlign == 1 ? (ow - NewWidth) / 2 : ow - NewWidth;
            b->MoveRect(d, 0, d + NewWidth - 1, oh - 1, 0, 0, 0, false);
        }
        if (NewHeight < oh && VertAlign != 0) {
            const int32_t d = VertAlign == 1 ? (oh - NewHeight) / 2 : oh - NewHeight;
            b->MoveRect(0, d, ow - 1, d + NewHeight - 1, 0, 0, 0, false);
        }
    };
    // After it: the added area gets the fill and the old part moves to its place.
    auto placeOld = [&](TIEBitmap* b, double FillValue) {
        if (ow < NewWidth) {
            b->FillRect(ow, 0, NewWidth - 1, NewHeight - 1, FillValue);
            if (HorizAlign != 0) {
                const int32_t d = HorizAlign == 1 ? (NewWidth - ow) / 2 : NewWidth - ow;
                b->MoveRect(0, 0, ow - 1, NewHeight - 1, d, 0, FillValue, true);
            }
        }
        if (oh < NewHeight) {
            b->FillRect(0, oh, NewWidth - 1, NewHeight - 1, FillValue);
            if (VertAlign != 0) {
                const int32_t d = VertAlign == 1 ? (NewHeight - oh) / 2 : NewHeight - oh;
                b->MoveRect(0, 0, NewWidth - 1, oh - 1, 0, d, FillValue, true);
            }
        }
    };
    keepPart(this);
    if (alpha) keepPart(alpha);
    SetWidth(NewWidth);
    SetHeight(NewHeight);
    placeOld(this, Background);
    if (AlphaChannel) placeOld(AlphaChannel.get(), AlphaFill);
}

// ---- Rectangles -----------------------------------------------------------------------------

void TIEBitmap::MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY,
                         double FillValue, bool DoFill) {
    SyncFromTBitmap();
    const int64_t w = (int64_t)X2 - X1 + 1, h = (int64_t)Y2 - Y1 + 1;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return;
    TIEBitmap temp;
    if (!temp.Allocate((int32_t)w, (int32_t)h, PixelFormat)) return;
    CopyRectTo(&temp, X1, Y1, 0, 0, (int32_t)w, (int32_t)h);
    if (DoFill) FillRect(X1, Y1, X2, Y2, FillValue);
    temp.CopyRectTo(this, 0, 0, DstX, DstY, (int32_t)w, (int32_t)h);
}

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                           int32_t AHeight) {
    if (!Dest) return;
    SyncFromTBitmap();
    Dest->SyncFromTBitmap();
    const TIEPixelFormat from = PixelFormat, to = Dest->PixelFormat;
    const int32_t bpp = from == to ? CopyPixelBytes(from) : 0;
    const bool bits = from == ie1g && to == ie1g, expand = from == ie1g && to == ie24RGB;
    if (bpp == 0 && !bits && !expand) return;
    if (!ClipCopy(Width, Height, Dest->Width, Dest->Height, SrcX, SrcY, DstX, DstY, AWidth, AHeight)) return;
    // A copy within one bitmap goes through a row buffer: a file-located bitmap holds one row at
    // a time, and source and destination may overlap.
    std::vector<uint8_t> row(Dest == this ? (size_t)RowLen : 0);
    for (int32_t y = 0; y < AHeight; ++y) {
        const uint8_t* src = GetScanline(SrcY + y);
        if (Dest == this) src = (const uint8_t*)std::memcpy(row.data(), src, row.size());
        uint8_t* dst = Dest->GetScanline(DstY + y);
        if (bits) {
            IECopyBitsHook(dst, src, DstX, SrcX, AWidth, RowLen);
        } else if (expand) {
            uint8_t* p = dst + (size_t)DstX * 3;
            for (int32_t x = SrcX; x < SrcX + AWidth; ++x, p += 3) {
                std::memset(p, (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0, 3);
            }
        } else {
            std::memcpy(dst + (size_t)DstX * bpp, src + (size_t)SrcX * bpp, (size_t)AWidth * bpp);
        }
    }
    ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

void TIEBitmap::MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                                 int32_t AWidth, int32_t AHeight) {
    if (!Dest || Dest == this) return;
    TIEBitmap* src = IsAlpha ? this : GetAlphaChannel();
    TIEBitmap* dst = Dest->IsAlpha ? Dest : Dest->GetAlphaChannel();
    if (!src || !dst || src->PixelFormat != ie8g || dst->PixelFormat != ie8g) return;
    if (!ClipCopy(src->Width, src->Height, dst->Width, dst->Height, SrcX, SrcY, DstX, DstY, AWidth, AHeight)) return;
    for (int32_t y = 0; y < AHeight; ++y) {
        const uint8_t* s = src->GetScanline(SrcY + y) + SrcX;
        uint8_t* d = dst->GetScanline(DstY + y) + DstX;
        for (int32_t x = 0; x < AWidth; ++x) d[x] = std::max(d[x], s[x]);
    }
    src->ReleaseRowBuffers();
    dst->ReleaseRowBuffers();
}

// ---- Filling --------------------------------------------------------------------------------

void TIEBitmap::Fill(double Value) {
    SyncFromTBitmap();
    if (IsEmpty() || PixelFormat == ieNoFormat || PixelFormat == ieVirtual) return;
    bool white = false;
    if (PixelFormat == ie1g) {
        const bool set = std::isfinite(Value) && std::fabs(Value) < 9.2e18 && (int64_t)Value != 0;
        WithWriteAccess(*this, [&] {
            for (int32_t y = 0; y < Height; ++y) std::memset(GetScanline(y), set ? 255 : 0, (size_t)RowLen);
        });
        Full = set;
        return;
    }
    const std::vector<uint8_t> pixel = FillPixel(PixelFormat, Value, false, white);
    if (PixelFormat == ie8p || PixelFormat == ie8g) {
        WithWriteAccess(*this, [&] {
            for (int32_t y = 0; y < Height; ++y) std::memset(GetScanline(y), pixel[0], (size_t)RowLen);
        });
    } else if (PixelFormat == ie32RGB) {
        // The fourth byte of each pixel stays: the rows are read and written.
        for (int32_t y = 0; y < Height; ++y) {
            uint8_t* p = GetScanline(y);
            for (int32_t x = 0; x < Width; ++x, p += 4) std::memcpy(p, pixel.data(), 3);
        }
        ReleaseRowBuffers();
    } else {
        // One row is built and copied to every row.
        const size_t size = pixel.size();
        std::vector<uint8_t> row((size_t)Width * size);
        for (size_t x = 0; x < row.size(); x += size) std::memcpy(&row[x], pixel.data(), size);
        WithWriteAccess(*this, [&] {
            for (int32_t y = 0; y < Height; ++y) std::memcpy(GetScanline(y), row.data(), row.size());
        });
    }
    Full = white;
}

void TIEBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
    SyncFromTBitmap();
    if (IsEmpty() || PixelFormat == ieNoFormat || PixelFormat == ieVirtual) return;
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Width - 1);
    Y2 = std::min(Y2, Height - 1);
    if (Y2 < Y1 || X2 < X1) return;
    bool white = false;
    if (PixelFormat == ie1g) {
        const bool set = std::isfinite(Value) && std::fabs(Value) < 9.2e18 && (int64_t)Value != 0;
        for (int32_t y = Y1; y <= Y2; ++y) {
            uint8_t* row = GetScanline(y);
            for (int32_t x = X1; x <= X2; ++x) {
                if (set) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
                else row[x >> 3] &= (uint8_t)~(0x80 >> (x & 7));
            }
        }
        ReleaseRowBuffers();
        return;
    }
    const std::vector<uint8_t> pixel = FillPixel(PixelFormat, Value, true, white);
    const size_t step = (size_t)BitCount / 8, size = pixel.size();
    for (int32_t y = Y1; y <= Y2; ++y) {
        uint8_t* p = GetScanline(y) + (size_t)X1 * step;
        for (int32_t x = X1; x <= X2; ++x, p += step) std::memcpy(p, pixel.data(), size);
    }
    ReleaseRowBuffers();
}

// ---- Tests ----------------------------------------------------------------------------------

// True when every pixel byte of every row (padding excluded) is Value; stops at the first other.
static bool AllPixelBytesAre(TIEBitmap& Bitmap, uint8_t Value) {
    const int32_t height = Bitmap.GetHeight();
    const size_t len = Bitmap.IsEmpty() ? 0 : (size_t)IEBitmapRowLen(Bitmap.GetWidth(), Bitmap.GetBitCount(), 8);
    bool all = true;
    for (int32_t y = 0; y < height && all && len > 0; ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        all = std::all_of(row, row + len, [Value](uint8_t b) { return b == Value; });
    }
    Bitmap.ReleaseRowBuffers();
    return all;
}

void TIEBitmap::CheckFull() { Full = AllPixelBytesAre(*this, 255); }

bool TIEBitmap::IsAllZero() { return AllPixelBytesAre(*this, 0); }

bool TIEBitmap::IsGrayScale() {
    SyncFromTBitmap();
    if (PixelFormat == ie8p) {
        for (int32_t i = 0; i < PaletteLength; ++i) {
            if (Palette[i].r != Palette[i].g || Palette[i].g != Palette[i].b) return false;
        }
        return true;
    }
    if (IsEmpty() || (PixelFormat != ie24RGB && PixelFormat != ieRGB48 && PixelFormat != ie32RGB)) return true;
    bool grey = true;
    for (int32_t y = 0; y < Height && grey; ++y) {
        const uint8_t* p = GetScanline(y);
        for (int32_t x = 0; x < Width && grey; ++x) {
            if (PixelFormat == ieRGB48) {
                uint16_t w[3];
                std::memcpy(w, p + (size_t)x * 6, 6);
                grey = w[0] == w[1] && w[1] == w[2];
            } else {
                const uint8_t* q = p + (size_t)x * (PixelFormat == ie24RGB ? 3 : 4);
                grey = q[0] == q[1] && q[1] == q[2];
            }
        }
    }
    ReleaseRowBuffers();
    return grey;
}
