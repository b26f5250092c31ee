// The image buffer's system-bitmap storage (ieTBitmap): the pixels live in a device-independent
// bitmap of the visual layer, with its own drawing surface and colour table; the buffer keeps a
// pointer to each of its rows. Only ie1g, ie8p, ie8g, ie24RGB and ie32RGB can live there.
#include <algorithm>
#include <cstring>

#include "WinApi.h"
#include "iebitmap_tbitmap.h"
#include "iecoreutils_general.h"
#include "iecoreutils_threads.h"
#include "iecoreutils_vcl.h"

namespace {

// The system bitmap's format for a pixel format; pfCustom-like formats give pfDevice.
TPixelFormat VclFormatOf(TIEPixelFormat Format) {
    switch (Format) {
    case ie1g: return pf1bit;
    case ie8p:
    case ie8g: return pf8bit;
    case ie24RGB: return pf24bit;
    case ie32RGB: return pf32bit;
    default: return pfDevice;
    }
}

// Copies up to Length entries of the bitmap's colour table into Palette; the number copied.
int32_t ReadColorTable(TBitmap* Bitmap, TIERGB* Palette, int32_t Length) {
    RGBQUAD table[256];
    const int32_t n = std::min(Bitmap->GetColorTable(table, std::min(Length, 256)), Length);
    for (int32_t i = 0; i < n; ++i) Palette[i] = TIERGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
    return n;
}

// Dest takes Source's size, format, colour table and pixels; an empty Source leaves Dest 1 x 1 of
// Source's format.
void CopyTBitmap(TBitmap* Source, TBitmap* Dest) {
    Dest->Assign(Source);
    if (Source->Empty()) Dest->SetSize(1, 1);
}

}  // namespace

// ---- Colour tables ------------------------------------------------------------------------

void IESetGrayPalette(TBitmap* Bitmap) {
    if (!Bitmap || Bitmap->BitCount() != 8) return;
    RGBQUAD table[256];
    for (int32_t i = 0; i < 256; ++i) table[i] = RGBQUAD{(BYTE)i, (BYTE)i, (BYTE)i, 0};
    Bitmap->SetColorTable(table, 256);
}

bool IEIsGrayPalette(TBitmap* Bitmap) {
    if (!Bitmap) return true;
    RGBQUAD table[256];
    const int32_t n = Bitmap->GetColorTable(table, 256);
    for (int32_t i = 0; i < n; ++i) {
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    }
    return true;
}

void IECopyTBitmapPalette(TBitmap* Bitmap, TIEBitmap* Dest) {
    if (!Bitmap || !Dest || Bitmap->BitCount() != 8 || Dest->GetPixelFormat() != ie8p || !Dest->GetPalette()) return;
    ReadColorTable(Bitmap, Dest->GetPalette(), Dest->GetPaletteLength());
}

// ---- Storage ------------------------------------------------------------------------------

bool TIEBitmap::AllocateTBitmap() {
    const int64_t memory = IEGetMemorySize(false);
    if (memory > 0 && (int64_t)IEBitmapRowLen(Width, BitCount, 32) * Height > memory) return false;
    return ReshapeTBitmap(Width, Height, PixelFormat);
}

void TIEBitmap::SetEmptyTBitmapDepth(TIEPixelFormat APixelFormat) {
    if (!SystemBitmap || (APixelFormat != ie1g && APixelFormat != ie24RGB)) return;
    try {
        SystemBitmap->SetPixelFormat(APixelFormat == ie1g ? pf1bit : pf24bit);
    } catch (...) {
        return;   // the depth stays; the next size query reads it back
    }
    UpdateFromTBitmap();
}

bool TIEBitmap::ReshapeTBitmap(int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat) {
    // 16-bit grey is held as 8-bit grey; the floating, CMYK, 48-bit, Lab and virtual formats are
    // refused.
    if (APixelFormat == ie16g) APixelFormat = ie8g;
    const TPixelFormat format = VclFormatOf(APixelFormat);
    if (format == pfDevice || AWidth <= 0 || AHeight <= 0) return false;
    try {
        if (!SystemBitmap) {
            SystemBitmap = new TBitmap;
            EncapsulatedTBitmap = false;
        }
        // Through 1 x 1, so that no old content is converted on the way.
        SystemBitmap->SetSize(1, 1);
        SystemBitmap->SetPixelFormat(pfDevice);
        SystemBitmap->SetPixelFormat(format);
        SystemBitmap->SetSize(AWidth, AHeight);
        if (APixelFormat == ie8g) IESetGrayPalette(SystemBitmap);
    } catch (...) {
        return false;
    }
    Width = AWidth;
    Height = AHeight;
    PixelFormat = APixelFormat;
    BitCount = IEPixelFormatBitCount[PixelFormat];
    ChannelCount = IEPixelFormatChannelCount[PixelFormat];
    RowLen = IEBitmapRowLen(Width, BitCount, 32);   // system bitmap rows are padded to 4 bytes
    if (PixelFormat == ie8p) {
        if (!Palette) Palette.reset(new TIERGB[256]());
        PaletteLength = 256;
        // The zeroed palette goes into the colour table, so that the bitmap does not read back as
        // the grey ramp a new 8-bit system bitmap starts with.
        SyncPaletteToTBitmap();
    } else {
        Palette.reset();
        PaletteLength = 0;
    }
    BuildRowCache();
    Full = false;
    return true;
}

void TIEBitmap::FreeTBitmap() {
    if (SystemBitmap && !EncapsulatedTBitmap) delete SystemBitmap;
    SystemBitmap = nullptr;
    RowCache.clear();
}

void TIEBitmap::BuildRowCache() {
    RowCache.clear();
    if (!SystemBitmap || SystemBitmap->Empty()) return;
    const int32_t height = SystemBitmap->Height();
    RowCache.resize((size_t)height);
    for (int32_t y = 0; y < height; ++y) RowCache[(size_t)y] = static_cast<uint8_t*>(SystemBitmap->ScanLine(y));
}

void TIEBitmap::ResizeTBitmap(int32_t AWidth, int32_t AHeight) {
    try {
        if (!SystemBitmap) {
            SystemBitmap = new TBitmap;
            EncapsulatedTBitmap = false;
        }
        // The visual layer's bitmap keeps its content (1-bit included) across a size change.
        SystemBitmap->SetSize(std::max(AWidth, 0), std::max(AHeight, 0));
    } catch (...) {
    }
    UpdateFromTBitmap();
    Full = false;
}

void TIEBitmap::UpdateFromTBitmap() {
    if (!SystemBitmap) return;
    // A 4-bit bitmap (someone changed the held one) would be read as 24-bit rows: it becomes a
    // 24-bit bitmap first, as when one is assigned.
    if (SystemBitmap->BitCount() == 4) SystemBitmap->SetPixelFormat(pf24bit);
    const int32_t bits = SystemBitmap->BitCount();
    const TIEPixelFormat format = bits == 1    ? ie1g
                                  : bits == 8  ? (IsAlpha || IEIsGrayPalette(SystemBitmap) ? ie8g : ie8p)
                                  : bits == 32 ? ie32RGB
                                               : ie24RGB;
    const int32_t w = SystemBitmap->Width(), h = SystemBitmap->Height();
    if (w != Width || h != Height || format != PixelFormat) {
        Width = w;
        Height = h;
        PixelFormat = format;
        BitCount = IEPixelFormatBitCount[PixelFormat];
        ChannelCount = IEPixelFormatChannelCount[PixelFormat];
        RowLen = IEBitmapRowLen(Width, BitCount, 32);
        if (PixelFormat == ie8p && !Palette) {
            Palette.reset(new TIERGB[256]());
            PaletteLength = 256;
        } else if (PixelFormat != ie8p) {
            Palette.reset();
            PaletteLength = 0;
        }
        if (AlphaChannel && (AlphaChannel->Width != w || AlphaChannel->Height != h)) {
            if (AlphaChannel->Allocate(w, h, ie8g)) AlphaChannel->Fill(255);
        }
        BuildRowCache();
    }
    if (Height > 0 && (RowCache.empty() || RowCache[0] != SystemBitmap->ScanLine(0))) BuildRowCache();
    if (PixelFormat == ie8p) ReadColorTable(SystemBitmap, Palette.get(), PaletteLength);
}

void TIEBitmap::SyncPaletteToTBitmap() {
    if (Location != ieTBitmap || !SystemBitmap || PaletteLength < 1 || SystemBitmap->BitCount() > 8) return;
    RGBQUAD table[256];
    const int32_t n = std::min(PaletteLength, 256);
    for (int32_t i = 0; i < n; ++i) table[i] = RGBQUAD{Palette[i].b, Palette[i].g, Palette[i].r, 0};
    SystemBitmap->SetColorTable(table, n);
}

// ---- Copies -------------------------------------------------------------------------------

void TIEBitmap::AssignOther(TObject* Source) {
    if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) AssignTBitmap(bitmap);
}

void TIEBitmap::AssignTBitmap(TBitmap* Bitmap) {
    if (!Bitmap) return;
    NeedsAllocation = true;
    if (Location == ieTBitmap) {
        // Only 1, 24 and 32 bits are copied as they are: the caller's bitmap becomes 24-bit first.
        const int32_t bits = Bitmap->BitCount();
        try {
            if (bits != 1 && bits != 24 && bits != 32) Bitmap->SetPixelFormat(pf24bit);
            if (!SystemBitmap) {
                SystemBitmap = new TBitmap;
                EncapsulatedTBitmap = false;
            }
            CopyTBitmap(Bitmap, SystemBitmap);
        } catch (...) {
        }
        Width = Height = 0;   // so that everything is read back from the copy
        UpdateFromTBitmap();
        Full = false;
        return;
    }
    const TPixelFormat vcl = Bitmap->PixelFormat();
    if (vcl == pfDevice) return;   // device-dependent: nothing is copied
    RGBQUAD table[256];
    const int32_t entries = Bitmap->GetColorTable(table, 256);
    const bool mono = vcl == pf1bit && (entries == 0 || (entries == 2 && table[0].rgbRed == 0 && table[0].rgbGreen == 0 &&
                                                          table[0].rgbBlue == 0 && table[1].rgbRed == 255 &&
                                                          table[1].rgbGreen == 255 && table[1].rgbBlue == 255));
    const TIEPixelFormat format = mono ? ie1g : vcl == pf24bit ? ie24RGB : vcl == pf32bit ? ie32RGB : ie8p;
    const int32_t w = Bitmap->Width(), h = Bitmap->Height();
    if (!Allocate(w, h, format)) return;
    if (format == ie8p) {
        for (int32_t i = 0; i < entries && i < PaletteLength; ++i)
            Palette[i] = TIERGB{table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
    }
    const size_t len = (size_t)std::min(RowLen, IEVclRowLen(w, vcl));
    const TIEDataAccess own = Access;
    Access = iedWrite;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
        uint8_t* dst = GetScanline(y);
        if (format != ie8p || vcl == pf8bit) {
            std::memcpy(dst, src, len);
        } else if (vcl == pf4bit) {
            for (int32_t x = 0; x < w; ++x) dst[x] = (uint8_t)((x & 1) ? src[x >> 1] & 15 : src[x >> 1] >> 4);
        } else {
            for (int32_t x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 1 : 0;
        }
    }
    ReleaseRowBuffers();
    Access = own;
    Full = false;
}

void TIEBitmap::EncapsulateTBitmap(TBitmap* Bitmap, bool FreeOld) {
    if (FreeOld) FreeImage(true);
    if (!Bitmap) return;
    if (Bitmap == SystemBitmap && Bitmap->Width() == Width && Bitmap->Height() == Height &&
        IEPixelFormatFromVcl(Bitmap->PixelFormat()) == PixelFormat) {
        return;
    }
    if (Bitmap != SystemBitmap) FreeTBitmap();
    SystemBitmap = Bitmap;
    EncapsulatedTBitmap = true;
    Location = ieTBitmap;
    // Size, format, row length and row cache are read from the bitmap (an 8-bit one gives ie8p or
    // ie8g by its colour table).
    Width = Height = 0;
    UpdateFromTBitmap();
}

// ---- Drawing surface ----------------------------------------------------------------------

TBitmap* TIEBitmap::GetTBitmap() {
    SetLocation(ieTBitmap);
    SetupCanvasOrientation();
    return Location == ieTBitmap ? SystemBitmap : nullptr;
}

TCanvas* TIEBitmap::GetCanvas() {
    if (Location != ieTBitmap) SetLocation(ieTBitmap);
    SetupCanvasOrientation();
    return Location == ieTBitmap && SystemBitmap ? SystemBitmap->Canvas() : nullptr;
}

void TIEBitmap::SetupCanvasOrientation() {
    if (!SystemBitmap || Location != ieTBitmap) return;
    HDC dc = SystemBitmap->Canvas()->Handle();
    if (!dc) return;
    if (TopDown == 1) {
        SetGraphicsMode(dc, GM_ADVANCED);
        const XFORM mirror{1, 0, 0, -1, 0, (FLOAT)(Height - 1)};
        SetWorldTransform(dc, &mirror);
    } else if (GetGraphicsMode(dc) == GM_ADVANCED) {
        ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    }
}
