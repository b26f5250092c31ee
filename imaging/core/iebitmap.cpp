#include "iebitmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "iebitmap_convert.h"
#include "iecoreutils_colour.h"
#include "iecoreutils_general.h"
#include "iecoreutils_startup.h"
#include "iecoreutils_threads.h"
#include "picturaio_colour.h"

const int32_t IEPixelFormatBitCount[12] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32, 0};
const int32_t IEPixelFormatChannelCount[12] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4, 0};

namespace {

constexpr int64_t kSegmentMinSize = 10485760;   // 10 MiB
constexpr const wchar_t* kFilePrefix = L"IMG";

// A value of any alignment in a row.
template <typename T>
T ReadAt(const uint8_t* P) {
    T v;
    std::memcpy(&v, P, sizeof(T));
    return v;
}
template <typename T>
void WriteAt(uint8_t* P, const T& V) {
    std::memcpy(P, &V, sizeof(T));
}

// The part of the address space one image may take before it goes to a file.
int64_t AddressSpaceLimit() {
    // A 32-bit process has 2 GiB of its own by default: a quarter of it.
    return sizeof(void*) >= 8 ? INT64_MAX : (int64_t)512 << 20;
}

// The formats a system bitmap can hold.
bool SystemBitmapHolds(TIEPixelFormat Format) {
    return Format == ie1g || Format == ie8p || Format == ie8g || Format == ie24RGB || Format == ie32RGB;
}

}  // namespace

int64_t IEDefaultBitmapMinFileSize() {
    if (IEDefaultMinFileSize != -1) return IEDefaultMinFileSize;
    const int64_t memory = IEGetMemorySize(false);
    const int64_t bySystem = memory == 0 ? 33554432 : (int64_t)((long double)memory / 1.3L);
    return std::min(bySystem, AddressSpaceLimit());
}

// ---- The file store -----------------------------------------------------------------------

bool TIEBitmapFileStore::AllocateFile(const std::wstring& Prefix, int64_t Size) {
    Clear();
    IETempFileName(Prefix, IETempFolder.empty() ? IESystemTempFolder() : IETempFolder, FFileName);
    try {
        FMapping = TFileMapping::Create(FFileName, Size, true);
    } catch (const Exception&) {
        ieplatform::DeleteFileByName(FFileName);
        FMapping.reset();
        return false;
    }
    return true;
}

void TIEBitmapFileStore::Clear() {
    if (!FMapping) return;
    FMapping.reset();
    ieplatform::DeleteFileByName(FFileName);
}

TFileRegion TIEBitmapFileStore::MapView(int64_t Position, size_t Size) {
    if (!FMapping) throw EFileMappingError(L"The image has no file store");
    return FMapping->Map(Position, Size);
}

// ---- Construction -------------------------------------------------------------------------

TIEBitmap::TIEBitmap() : MinFileSize(IEDefaultBitmapMinFileSize()), FileBuffer(new TIEBitmapFileStore) {}

TIEBitmap::TIEBitmap(int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat) : TIEBitmap() {
    Allocate(AWidth, AHeight, APixelFormat);
}

TIEBitmap::TIEBitmap(TIEBitmap* Source) : TIEBitmap() { Assign(Source); }

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAlpha(int32_t AWidth, int32_t AHeight, TIELocation ALocation) {
    std::unique_ptr<TIEBitmap> alpha(new TIEBitmap);
    alpha->IsAlpha = true;
    alpha->Location = ALocation == ieTBitmap ? ieMemory : ALocation;
    if (alpha->Allocate(AWidth, AHeight, ie8g)) alpha->FillAlpha255();
    return alpha;
}

TIEBitmap::~TIEBitmap() { FreeImage(true); }

// ---- Storage ------------------------------------------------------------------------------

bool TIEBitmap::Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat) {
    if (!NeedsAllocation && AWidth == Width && AHeight == Height && APixelFormat == PixelFormat) return true;
    if (Location == ieTBitmap && EncapsulatedTBitmap) {
        // The caller's system bitmap is kept and takes the new size and format.
        AlphaChannel.reset();
        Palette.reset();
        PaletteLength = 0;
    } else {
        FreeImage(true);
    }
    Width = AWidth;
    Height = AHeight;
    PixelFormat = APixelFormat;
    const bool ok = AllocateImage();
    if (!ok) {
        FreeImage(false);
        Width = 0;
        Height = 0;
    }
    NeedsAllocation = false;
    return ok;
}

bool TIEBitmap::AllocateImage() {
    if (Width <= 0 || Height <= 0 || PixelFormat == ieNoFormat || PixelFormat > ieVirtual) return false;
    BitCount = IEPixelFormatBitCount[PixelFormat];
    ChannelCount = IEPixelFormatChannelCount[PixelFormat];
    // A row that would not fit a 32-bit row length is refused before the length wraps.
    const int32_t rowLen = IECheckedRowLen(Width, BitCount, RowAlign);
    if (rowLen < 0) return false;
    RowLen = rowLen;
    if (PixelFormat == ie8p) {
        // Zeroed, so that whatever is written from an unset palette is repeatable.
        Palette.reset(new (std::nothrow) TIERGB[256]());
        if (!Palette) return false;
        PaletteLength = 256;
    }
    if (Location == ieTBitmap) return AllocateTBitmap();   // the size rule never moves it
    if (PixelFormat == ieVirtual) {
        Full = false;
        return true;
    }
    if (RowLen <= 0) return false;
    const int64_t size = (int64_t)RowLen * Height;
    if (Location == ieFile && size <= MinFileSize) Location = ieMemory;
    else if (Location == ieMemory && size > MinFileSize) Location = ieFile;
    if (Location == ieFile && !AllocateFileStore(size)) Location = ieMemory;
    if (Location == ieMemory) {
        const uint64_t want = (uint64_t)size + 128;
        void* raw = nullptr;
        if (want <= SIZE_MAX) {
            switch (MemoryAllocator) {
            case iemaGetMem: raw = std::malloc((size_t)want); break;
            case iemaGlobalAlloc: raw = IEGlobalAllocZero((size_t)want); break;
            case iemaAuto: if (want <= UINT32_MAX) raw = IEAutoAlloc((uint32_t)want); break;
            }
        }
        if (raw) {
            RawBlock = raw;
            RawAllocator = MemoryAllocator;
            MemoryBlock = (uint8_t*)(((uintptr_t)raw + 63) & ~(uintptr_t)63);
        } else if (!AllocateSegments()) {
            if (!IEAllowFileFallback) return false;
            Location = ieFile;
            if (!AllocateFileStore(size)) return false;
        }
    }
    Full = false;
    return true;
}

bool TIEBitmap::AllocateFileStore(int64_t Size) {
    RowWindows.Discard();   // rows of a previous file
    return FileBuffer->AllocateFile(kFilePrefix, Size);
}

bool TIEBitmap::AllocateSegments() {
    if (!IEAllowSegments) return false;
    int32_t n = 4;
    do {
        RowsPerSegment = IECeil((long double)Height / n);
        const int64_t segmentSize = (int64_t)RowsPerSegment * RowLen;
        if (segmentSize < kSegmentMinSize && n > 4) break;
        if ((uint64_t)segmentSize > SIZE_MAX) {
            if (n > INT32_MAX / 2) break;
            n *= 2;
            continue;   // to the loop's condition
        }
        Segments.assign(n, nullptr);
        SegmentCount = n;
        bool ok = true;
        for (int32_t i = 0; i < n && ok; ++i) {
            Segments[i] = IEGlobalAllocZero((size_t)segmentSize);
            ok = Segments[i] != nullptr;
        }
        if (ok) return true;
        FreeSegments();
        if (n > INT32_MAX / 2) break;
        n *= 2;
    } while (n < Height);
    RowsPerSegment = 0;
    return false;
}

void TIEBitmap::FreeSegments() {
    for (void*& p : Segments) {
        if (p) IEGlobalFree(p);
    }
    Segments.clear();
    SegmentCount = 0;
    RowsPerSegment = 0;
}

void TIEBitmap::FreeMemoryBlock() {
    if (RawBlock && !EncapsulatedMemory) {
        switch (RawAllocator) {
        case iemaGetMem: std::free(RawBlock); break;
        case iemaGlobalAlloc: IEGlobalFree(RawBlock); break;
        case iemaAuto: IEAutoFree(RawBlock); break;
        }
    }
    RawBlock = nullptr;
    MemoryBlock = nullptr;
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
    if (FreeAlpha) AlphaChannel.reset();
    Palette.reset();
    PaletteLength = 0;
    // The file goes with the image: its rows are dropped without being written back.
    RowWindows.Discard();
    FileBuffer->Clear();
    FreeMemoryBlock();
    FreeSegments();
    FreeTBitmap();
    Width = Height = RowLen = BitCount = ChannelCount = 0;
    Full = false;
    EncapsulatedMemory = false;
    EncapsulatedTBitmap = false;
}

void TIEBitmap::EncapsulateMemory(void* Data, int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat,
                                  bool FreeOld, uint8_t ATopDown) {
    if (FreeOld) FreeImage(true);
    if (!Data || APixelFormat > ieVirtual) return;
    Width = AWidth;
    Height = AHeight;
    PixelFormat = APixelFormat;
    BitCount = IEPixelFormatBitCount[PixelFormat];
    ChannelCount = IEPixelFormatChannelCount[PixelFormat];
    RowLen = IEBitmapRowLen(Width, BitCount, RowAlign);
    Location = ieMemory;
    EncapsulatedMemory = true;
    RawBlock = Data;
    MemoryBlock = (uint8_t*)Data;
    TopDown = ATopDown;
    if (PixelFormat == ie8p && !Palette) {
        Palette.reset(new TIERGB[256]());
        PaletteLength = 256;
    }
}

void TIEBitmap::MoveTo(TIEBitmap* Dest) {
    if (Dest == this) return;
    Dest->FreeImage(true);
    Dest->Width = Width;
    Dest->Height = Height;
    Dest->BitCount = BitCount;
    Dest->ChannelCount = ChannelCount;
    Dest->RowLen = RowLen;
    Dest->PixelFormat = PixelFormat;
    Dest->RowWindows = std::move(RowWindows);
    Dest->Palette = std::move(Palette);
    Dest->PaletteLength = PaletteLength;
    Dest->AlphaChannel = std::move(AlphaChannel);
    Dest->IsAlpha = IsAlpha;
    Dest->MemoryBlock = MemoryBlock;
    Dest->RawBlock = RawBlock;
    Dest->RawAllocator = RawAllocator;
    Dest->Location = Location;
    Dest->Full = Full;
    Dest->EncapsulatedMemory = EncapsulatedMemory;
    Dest->SystemBitmap = SystemBitmap;
    Dest->EncapsulatedTBitmap = EncapsulatedTBitmap;
    Dest->RowCache = std::move(RowCache);
    Dest->SegmentCount = SegmentCount;
    Dest->RowsPerSegment = RowsPerSegment;
    Dest->Segments = std::move(Segments);
    Dest->TopDown = TopDown;
    Dest->FileBuffer = std::move(FileBuffer);
    Dest->DitherMethod = DitherMethod;
    Dest->RowAlign = RowAlign;
    Dest->MemoryAllocator = MemoryAllocator;
    Dest->VirtualPixelEvent = VirtualPixelEvent;
    Dest->NeedsAllocation = false;
    // This bitmap is left empty. It keeps its own RowAlign, DitherMethod and MemoryAllocator:
    // clearing them would leave a row alignment of 0 for its next allocation.
    FileBuffer.reset(new TIEBitmapFileStore);
    RowWindows.Discard();
    Segments.clear();
    PaletteLength = 0;
    MemoryBlock = nullptr;
    RawBlock = nullptr;
    SystemBitmap = nullptr;
    RowCache.clear();
    EncapsulatedTBitmap = false;
    SegmentCount = RowsPerSegment = 0;
    Width = Height = BitCount = ChannelCount = RowLen = 0;
    PixelFormat = ieNoFormat;
    Full = false;
    TopDown = 0;
    EncapsulatedMemory = false;
    NeedsAllocation = true;
    VirtualPixelEvent = nullptr;
}

void TIEBitmap::SetLocation(TIELocation Value) {
    if (Value == Location) return;
    NeedsAllocation = true;
    if (IsEmpty()) {
        Location = Value;
        return;
    }
    TIEBitmap temp;
    MoveTo(&temp);
    Location = Value;
    // When the new storage cannot be had the image goes back where it was instead of being lost.
    if (!Allocate(temp.Width, temp.Height, temp.PixelFormat) || Location == temp.Location) {
        temp.MoveTo(this);
        NeedsAllocation = true;   // the next Allocate re-allocates, as after any change of storage
        return;
    }
    CopyRowsFrom(&temp);
    CopyPaletteFrom(&temp);
    IsAlpha = temp.IsAlpha;
    AlphaChannel = std::move(temp.AlphaChannel);
    NeedsAllocation = true;
}

void TIEBitmap::SetRowAlign(int32_t Bits) {
    // Alignments of part bytes would give rows shorter than their pixels.
    if (Bits == RowAlign || !IsValidRowAlign(Bits)) return;
    NeedsAllocation = true;
    if (Location != ieMemory || IsEmpty()) {
        if (Location != ieTBitmap) RowAlign = Bits;
        return;
    }
    TIEBitmap temp;
    MoveTo(&temp);
    RowAlign = Bits;
    if (!Allocate(temp.Width, temp.Height, temp.PixelFormat)) {
        temp.MoveTo(this);   // the image stays, with its old alignment
        return;
    }
    CopyRowsFrom(&temp);
    CopyPaletteFrom(&temp);
    AlphaChannel = std::move(temp.AlphaChannel);
}

// ---- Copies -------------------------------------------------------------------------------

void TIEBitmap::CopyPaletteFrom(TIEBitmap* Source) {
    if (Source->Palette && Palette) {
        std::memcpy(Palette.get(), Source->Palette.get(), sizeof(TIERGB) * std::min(PaletteLength, Source->PaletteLength));
    }
    SyncPaletteToTBitmap();
}

void TIEBitmap::CopyRowsFrom(TIEBitmap* Source) {
    if (IsEmpty() || Source->IsEmpty()) return;
    const TIEDataAccess sourceAccess = Source->Access, ownAccess = Access;
    Source->Access = iedRead;
    Access = iedWrite;
    const size_t len = (size_t)std::min(RowLen, Source->RowLen);
    const int32_t rows = std::min(Height, Source->Height);
    for (int32_t r = 0; r < rows; ++r) std::memcpy(GetScanline(r), Source->GetScanline(r), len);
    ReleaseRowBuffers();
    Source->ReleaseRowBuffers();
    Source->Access = sourceAccess;
    Access = ownAccess;
}

void TIEBitmap::Assign(TObject* Source) {
    NeedsAllocation = true;
    TIEBitmap* source = dynamic_cast<TIEBitmap*>(Source);
    if (!source) {
        if (Source) AssignOther(Source);
        return;
    }
    if (source == this) return;
    CopyImageFrom(source, true);
}

bool TIEBitmap::AssignToFile(TIEBitmap* Source) {
    NeedsAllocation = true;
    if (!Source || Source == this) return false;
    Source->SyncFromTBitmap();
    FreeImage(true);
    if (Source->IsEmpty()) return false;
    Location = ieFile;
    RowAlign = Source->RowAlign;
    const int64_t ownMinFileSize = MinFileSize;
    MinFileSize = -1;   // the size rule then keeps even a small image in the file
    CopyImageFrom(Source, false);
    MinFileSize = ownMinFileSize;
    if (IsEmpty()) return false;
    Full = Source->Full;
    DitherMethod = Source->DitherMethod;
    AlphaChannel.reset();
    if (!IsAlpha && Source->AlphaChannel) {
        std::unique_ptr<TIEBitmap> alpha(new TIEBitmap);
        alpha->IsAlpha = true;
        if (!alpha->AssignToFile(Source->AlphaChannel.get())) {
            FreeImage(true);
            return false;
        }
        AlphaChannel = std::move(alpha);
    }
    return true;
}

// Assign (WholeImage) and AssignImage (this bitmap keeps its alpha channel, row alignment and
// dither method, Full becomes False, only the palette is copied besides the pixels).
void TIEBitmap::CopyImageFrom(TIEBitmap* Source, bool WholeImage) {
    Source->SyncFromTBitmap();
    SyncFromTBitmap();
    // A system bitmap has no rows of this format: the image goes to memory instead of being
    // written past the system bitmap's rows.
    if (Location == ieTBitmap && !Source->IsEmpty() && !SystemBitmapHolds(Source->PixelFormat)) Location = ieMemory;
    if (Location == ieTBitmap) {
        // The system bitmap stays the same object (callers may hold it) and takes the new shape.
        if (Source->IsEmpty()) return;
        if (WholeImage) RowAlign = Source->RowAlign;
        Palette.reset();
        PaletteLength = 0;
        if (!ReshapeTBitmap(Source->Width, Source->Height, Source->PixelFormat)) {
            FreeImage(WholeImage);   // AssignImage keeps its alpha channel whatever happens
            return;
        }
    } else {
        FreeImage(WholeImage);
        Width = Source->Width;
        Height = Source->Height;
        PixelFormat = Source->PixelFormat;
        if (WholeImage) RowAlign = Source->RowAlign;
        if (!Source->IsEmpty() || PixelFormat == ieVirtual) {
            if (!AllocateImage()) {
                FreeImage(WholeImage);
                return;
            }
        } else {
            Width = Height = 0;
        }
    }
    Full = WholeImage && Source->Full;
    CopyRowsFrom(Source);
    if (WholeImage && !IsAlpha) {
        if (Source->AlphaChannel) {
            GetAlphaChannel()->CopyImageFrom(Source->AlphaChannel.get(), true);
        } else {
            AlphaChannel.reset();
        }
    }
    Source->CopyPaletteTo(this);
    if (WholeImage) DitherMethod = Source->DitherMethod;
}

// ---- Rows ---------------------------------------------------------------------------------

uint8_t* TIEBitmap::GetScanline(int32_t Row) {
    if (TopDown == 1) Row = Height - 1 - Row;
    if (Location == ieFile) return RowWindows.Row(*FileBuffer, Row, RowLen, Height, Access);
    if (Location == ieTBitmap) return (size_t)Row < RowCache.size() ? RowCache[(size_t)Row] : nullptr;
    if (SegmentCount > 0) {
        return (uint8_t*)Segments[Row / RowsPerSegment] + (size_t)(Row % RowsPerSegment) * RowLen;
    }
    // Memory rows are stored bottom-up: the last image row first.
    return MemoryBlock + (size_t)RowLen * (size_t)(Height - 1 - Row);
}

uint8_t* TIEBitmap::LockScanline(int32_t Row) {
    // The same row as GetScanline, flip included; in a file its window stays until unlocked.
    if (Location != ieFile) return GetScanline(Row);
    return RowWindows.Lock(*FileBuffer, TopDown == 1 ? Height - 1 - Row : Row, RowLen, Height, Access);
}

void TIEBitmap::UnlockScanline(int32_t Row) {
    if (Location != ieFile) return;
    RowWindows.Unlock(TopDown == 1 ? Height - 1 - Row : Row);
}

void TIEBitmap::ReleaseRowBuffers() { RowWindows.Flush(); }

// ---- Palette ------------------------------------------------------------------------------

TIERGB TIEBitmap::GetPaletteEntry(int32_t Index) {
    TIERGB result{0, 0, 0};
    if (Index >= 0 && Index < PaletteLength) result = Palette[Index];
    return result;
}

void TIEBitmap::SetPaletteEntry(int32_t Index, const TIERGB& Color) {
    if (Index >= 0 && Index < PaletteLength) Palette[Index] = Color;
    SyncPaletteToTBitmap();
}

void TIEBitmap::CopyPaletteTo(TIEBaseBitmap* Dest) {
    TIEBitmap* dest = dynamic_cast<TIEBitmap*>(Dest);
    if (!dest || dest == this) return;
    dest->Palette.reset();
    dest->PaletteLength = 0;
    dest->PaletteColors = 256;
    if (PaletteLength > 0) {
        dest->Palette.reset(new TIERGB[PaletteLength]);
        std::memcpy(dest->Palette.get(), Palette.get(), sizeof(TIERGB) * PaletteLength);
        dest->PaletteLength = PaletteLength;
        dest->PaletteColors = PaletteColors;
        dest->SyncPaletteToTBitmap();
    }
}

// ---- Alpha channel ------------------------------------------------------------------------

void TIEBitmap::FillAlpha255() {
    const TIEDataAccess own = Access;
    Access = iedWrite;
    for (int32_t r = 0; r < Height; ++r) std::memset(GetScanline(r), 255, (size_t)RowLen);
    ReleaseRowBuffers();
    Access = own;
    Full = true;
}

TIEBitmap* TIEBitmap::GetAlphaChannel() {
    if (IsAlpha) return nullptr;
    if (!AlphaChannel) AlphaChannel = CreateAlpha(Width, Height, Location);
    return AlphaChannel.get();
}

void TIEBitmap::ReplaceAlphaChannel(TIEBitmap* Alpha) {
    (void)AlphaChannel.release();   // the caller holds the current channel and puts it back
    AlphaChannel.reset(Alpha);
    if (Alpha) Alpha->IsAlpha = true;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor BackgroundColor) {
    if (IsAlpha || !AlphaChannel) return;
    if (Merge && PixelFormat == ie24RGB) {
        const TIERGB bg = IEColorToRGB(BackgroundColor);
        auto blend = [](uint8_t& c, int32_t b, int32_t a) { c = (uint8_t)(b + (((c - b) * a * 1024) >> 18)); };
        for (int32_t y = 0; y < Height; ++y) {
            // The alpha row is copied first: in a file only the current row view stays mapped.
            const uint8_t* alphaRow = AlphaChannel->GetScanline(y);
            std::vector<uint8_t> alpha(alphaRow, alphaRow + Width);
            TIERGB* px = (TIERGB*)GetScanline(y);
            for (int32_t x = 0; x < Width; ++x) {
                blend(px[x].r, bg.r, alpha[x]);
                blend(px[x].g, bg.g, alpha[x]);
                blend(px[x].b, bg.b, alpha[x]);
            }
        }
        ReleaseRowBuffers();
    }
    AlphaChannel.reset();
}

// ---- Pixels -------------------------------------------------------------------------------

uint8_t TIEBitmap::GetPixelByte(int32_t X, int32_t Y) { return GetScanline(Y)[X]; }

void TIEBitmap::SetPixelByte(int32_t X, int32_t Y, uint8_t Value) {
    GetScanline(Y)[X] = Value;
    if (Value != 255) Full = false;
}

uint16_t TIEBitmap::GetPixelWord(int32_t X, int32_t Y) { return ReadAt<uint16_t>(GetScanline(Y) + 2 * (size_t)X); }

void TIEBitmap::SetPixelWord(int32_t X, int32_t Y, uint16_t Value) {
    WriteAt(GetScanline(Y) + 2 * (size_t)X, Value);
    if (Value != 65535) Full = false;
}

float TIEBitmap::GetPixelFloat(int32_t X, int32_t Y) { return ReadAt<float>(GetScanline(Y) + 4 * (size_t)X); }

void TIEBitmap::SetPixelFloat(int32_t X, int32_t Y, float Value) {
    WriteAt(GetScanline(Y) + 4 * (size_t)X, Value);
    if (!(Value >= 1.0f)) Full = false;
}

uint32_t TIEBitmap::GetPixelCMYK(int32_t X, int32_t Y) { return ReadAt<uint32_t>(GetScanline(Y) + 4 * (size_t)X); }

void TIEBitmap::SetPixelCMYK(int32_t X, int32_t Y, uint32_t Value) { WriteAt(GetScanline(Y) + 4 * (size_t)X, Value); }

TIERGB TIEBitmap::GetPixelRGB(int32_t X, int32_t Y) { return *GetPixelRGBPtr(X, Y); }

void TIEBitmap::SetPixelRGB(int32_t X, int32_t Y, const TIERGB& Value) { *GetPixelRGBPtr(X, Y) = Value; }

TIERGB* TIEBitmap::GetPixelRGBPtr(int32_t X, int32_t Y) { return (TIERGB*)(GetScanline(Y) + 3 * (size_t)X); }

void TIEBitmap::GetPixelRGB48(int32_t X, int32_t Y, uint16_t& R, uint16_t& G, uint16_t& B) {
    uint16_t w[3];
    std::memcpy(w, GetScanline(Y) + 6 * (size_t)X, 6);
    R = w[0];
    G = w[1];
    B = w[2];
}

void TIEBitmap::SetPixelRGB48(int32_t X, int32_t Y, uint16_t R, uint16_t G, uint16_t B) {
    const uint16_t w[3] = {R, G, B};
    std::memcpy(GetScanline(Y) + 6 * (size_t)X, w, 6);
    if (R < 65535 || G < 65535 || B < 65535) Full = false;
}

uint8_t TIEBitmap::GetAlpha(int32_t X, int32_t Y) {
    if (IsAlpha) return GetPixelByte(X, Y);
    return GetAlphaChannel()->GetPixelByte(X, Y);
}

void TIEBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
    if (IsAlpha) {
        SetPixelByte(X, Y, Value);
        return;
    }
    GetAlphaChannel()->SetPixelByte(X, Y, Value);
    if (Value != 255) Full = false;
}

TIERGB TIEBitmap::GetPixelAsRGB(int32_t X, int32_t Y) {
    auto grey = [](uint8_t v) { return TIERGB{v, v, v}; };
    switch (PixelFormat) {
    case ie1g: return grey((GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) ? 255 : 0);
    case ie8p: return GetPaletteEntry(GetPixelByte(X, Y));
    case ie8g: return grey(GetPixelByte(X, Y));
    case ie16g: return grey((uint8_t)(GetPixelWord(X, Y) >> 8));
    case ie24RGB: return GetPixelRGB(X, Y);
    case ie32f: return grey((uint8_t)ieconvert::TruncSafe((double)GetPixelFloat(X, Y) * 255));
    case ieCMYK: {
        TIERGB rgb;
        IECMYKToRGB(GetScanline(Y) + 4 * (size_t)X, rgb);
        return rgb;
    }
    case ieRGB48: {
        uint16_t r, g, b;
        GetPixelRGB48(X, Y, r, g, b);
        return TIERGB{(uint8_t)(b >> 8), (uint8_t)(g >> 8), (uint8_t)(r >> 8)};
    }
    case ieCIELab: {
        const uint8_t* p = GetScanline(Y) + 3 * (size_t)X;
        return IECIELabToRGB((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16);
    }
    case ie32RGB: {
        const uint8_t* p = GetScanline(Y) + 4 * (size_t)X;
        return TIERGB{p[0], p[1], p[2]};
    }
    default: return TIERGB{0, 0, 0};
    }
}
