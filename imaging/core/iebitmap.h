// The image buffer shared by every image subsystem: the abstract bitmap, the pixel formats and
// the storage of the pixels in memory or in a temporary file mapped row by row. Platform-neutral;
// the system-bitmap storage is not part of this unit yet (an allocation there returns False).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "FileMapping.h"
#include "SysUtils.h"
#include "iecoredefs_types.h"
#include "iecoreutils_general.h"
#include "iecoreutils_streams.h"

// Raised by the routines the buffer reaches that live in units not built yet.
KW_DECLARE_EXCEPTION(EIENotBuilt, Exception);

enum TIELocation : uint8_t { ieMemory = 0, ieFile = 1, ieTBitmap = 2 };
enum TIEMemoryAllocator : uint8_t { iemaGetMem = 0, iemaGlobalAlloc = 1, iemaAuto = 2 };
enum TIEDitherMethod : uint8_t { iedmOrdered = 0, iedmThreshold = 1 };

// Bits per pixel and channels of each pixel format, indexed by its value.
extern const int32_t IEPixelFormatBitCount[12];
extern const int32_t IEPixelFormatChannelCount[12];

// The images of more bytes than this go to a temporary file when nothing else is asked:
// IEDefaultMinFileSize when set, else the physical memory / 1.3 (32 MiB when unknown), and never
// more than the process's own address space can hold next to everything else (512 MiB, a quarter
// of a 32-bit process's 2 GiB, so that it sends large images to files even on a machine with much
// memory).
int64_t IEDefaultBitmapMinFileSize();

class TIEBaseBitmap : public TObject {
public:
    KW_CLASS_NAME(TIEBaseBitmap)
    TIEDataAccess Access = iedRead | iedWrite;

    virtual uint8_t* GetScanline(int32_t Row) = 0;
    virtual int32_t GetBitCount() = 0;
    virtual int32_t GetHeight() = 0;
    virtual int32_t GetWidth() = 0;
    virtual TIEPixelFormat GetPixelFormat() = 0;
    virtual int32_t GetRowLen() = 0;
    virtual TIERGB* GetPalette() = 0;
    virtual TIERGB GetPaletteEntry(int32_t Index) = 0;
    virtual void SetPaletteEntry(int32_t Index, const TIERGB& Color) = 0;
    virtual int32_t GetPaletteLength() = 0;
    virtual bool Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) = 0;
    virtual void Assign(TObject* Source) = 0;
    virtual void CopyPaletteTo(TIEBaseBitmap* Dest) = 0;
};

// The temporary file of a file-located bitmap: created sparse at its full size, rows mapped as
// regions on demand (so an image larger than the address space can be used row by row), the
// file deleted when cleared.
class TIEBitmapFileStore {
public:
    TIEBitmapFileStore() = default;
    ~TIEBitmapFileStore() { Clear(); }
    TIEBitmapFileStore(const TIEBitmapFileStore&) = delete;
    TIEBitmapFileStore& operator=(const TIEBitmapFileStore&) = delete;

    // A new file of Size bytes named Prefix-XXXXXXXX.tmp in IETempFolder or the system's folder;
    // False when it cannot be made or sized.
    bool AllocateFile(const std::wstring& Prefix, int64_t Size);
    void Clear();
    bool IsAllocated() const { return FMapping != nullptr; }
    const std::wstring& GetFileName() const { return FFileName; }
    // Size bytes at Position; raises EFileMappingError (also when there is no file) or EOSError
    // when they cannot be mapped.
    TFileRegion MapView(int64_t Position, size_t Size);

private:
    std::wstring FFileName;
    std::unique_ptr<TFileMapping> FMapping;
};

class TIEBitmap;
using TIEVirtualPixelEvent = std::function<void(TIEBitmap* Sender, int32_t X, int32_t Y, TIERGB* Result)>;

class TIEBitmap : public TIEBaseBitmap {
public:
    KW_CLASS_NAME(TIEBitmap)
    TIEBitmap();
    TIEBitmap(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat);   // CreateSized
    explicit TIEBitmap(TIEBitmap* Source);                                  // CreateCopy
    static std::unique_ptr<TIEBitmap> CreateAlpha(int32_t Width, int32_t Height, TIELocation Location);
    ~TIEBitmap() override;
    TIEBitmap(const TIEBitmap&) = delete;
    TIEBitmap& operator=(const TIEBitmap&) = delete;

    // ---- The abstract bitmap ----
    uint8_t* GetScanline(int32_t Row) override;
    int32_t GetBitCount() override { return BitCount; }
    int32_t GetHeight() override { return Height; }
    int32_t GetWidth() override { return Width; }
    TIEPixelFormat GetPixelFormat() override { return PixelFormat; }
    int32_t GetRowLen() override { return RowLen; }
    int32_t GetChannelCount() const { return ChannelCount; }
    TIERGB* GetPalette() override { return Palette.get(); }
    TIERGB GetPaletteEntry(int32_t Index) override;
    void SetPaletteEntry(int32_t Index, const TIERGB& Color) override;
    int32_t GetPaletteLength() override { return PaletteLength; }
    bool Allocate(int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat) override;
    // A TIEBitmap source is copied with its pixels, palette, alpha channel and DitherMethod;
    // other objects change nothing.
    void Assign(TObject* Source) override;
    void CopyPaletteTo(TIEBaseBitmap* Dest) override;

    // ---- Storage ----
    bool AllocateImage();
    void FreeImage(bool FreeAlpha);
    bool IsEmpty() const { return Width == 0 || Height == 0 || RowLen == 0 || BitCount == 0; }
    void EncapsulateMemory(void* Data, int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat,
                           bool FreeOld, uint8_t ATopDown);
    // Hands the whole image to Dest without copying pixels; this bitmap is left empty and keeps
    // its own settings (location, row alignment, dither method, allocator...).
    void MoveTo(TIEBitmap* Dest);
    TIELocation GetLocation() const { return Location; }
    void SetLocation(TIELocation Value);
    int32_t GetRowAlign() const { return RowAlign; }
    void SetRowAlign(int32_t Bits);
    bool GetFull() const { return Full; }
    // ---- Resampling (the alpha channel's Full flag travels with a resampled copy) ----
    void SetFull(bool Value) { Full = Value; }
    bool GetNeedsAllocation() const { return NeedsAllocation; }
    bool GetEncapsulatedMemory() const { return EncapsulatedMemory; }
    bool GetIsAlpha() const { return IsAlpha; }
    uint8_t GetTopDown() const { return TopDown; }
    int32_t GetSegmentCount() const { return SegmentCount; }
    const TIEBitmapFileStore& GetFileBuffer() const { return *FileBuffer; }

    // ---- Rows ----
    // Like GetScanline, and in ieFile the row stays mapped until UnlockScanline(Row).
    uint8_t* LockScanline(int32_t Row);
    void UnlockScanline(int32_t Row);
    void ReleaseRowBuffers();

    // ---- Alpha channel ----
    TIEBitmap* GetAlphaChannel();
    bool HasAlphaChannel() const { return AlphaChannel != nullptr; }
    // Makes Alpha the alpha channel; the current one is not freed (the caller holds it).
    void ReplaceAlphaChannel(TIEBitmap* Alpha);
    void RemoveAlphaChannel(bool Merge = false, TColor BackgroundColor = 0);

    // ---- Pixels (X column, Y row; no range checks) ----
    uint8_t GetPixelByte(int32_t X, int32_t Y);
    void SetPixelByte(int32_t X, int32_t Y, uint8_t Value);
    uint16_t GetPixelWord(int32_t X, int32_t Y);
    void SetPixelWord(int32_t X, int32_t Y, uint16_t Value);
    float GetPixelFloat(int32_t X, int32_t Y);
    void SetPixelFloat(int32_t X, int32_t Y, float Value);
    uint32_t GetPixelCMYK(int32_t X, int32_t Y);   // the four bytes C, M, Y, K in memory order
    void SetPixelCMYK(int32_t X, int32_t Y, uint32_t Value);
    TIERGB GetPixelRGB(int32_t X, int32_t Y);
    void SetPixelRGB(int32_t X, int32_t Y, const TIERGB& Value);
    TIERGB* GetPixelRGBPtr(int32_t X, int32_t Y);
    void GetPixelRGB48(int32_t X, int32_t Y, uint16_t& R, uint16_t& G, uint16_t& B);
    void SetPixelRGB48(int32_t X, int32_t Y, uint16_t R, uint16_t G, uint16_t B);
    uint8_t GetAlpha(int32_t X, int32_t Y);
    void SetAlpha(int32_t X, int32_t Y, uint8_t Value);
    TIERGB GetPixelAsRGB(int32_t X, int32_t Y);

    // ---- Settings without logic ----
    int64_t MinFileSize;
    TIEDitherMethod DitherMethod = iedmThreshold;
    int32_t PaletteColors = 256;
    double DisplayRange[2] = {0, 0};
    int32_t ChannelOffsets[4] = {0, 0, 0, 0};
    bool ChannelOffsetEnabled = false;
    int32_t Contrast = 0;
    TIEMemoryAllocator MemoryAllocator = iemaAuto;
    int32_t LayerIndex = 0;
    TIEVirtualPixelEvent VirtualPixelEvent;

private:
    bool AllocateSegments();
    void FreeSegments();
    bool AllocateFileStore(int64_t Size);
    void FreeMemoryBlock();
    void FillAlpha255();
    void CopyRowsFrom(TIEBitmap* Source);
    void CopyImageFrom(TIEBitmap* Source);

    std::unique_ptr<TIEBitmapFileStore> FileBuffer;
    TFileRegion CurrentRowView;
    std::unique_ptr<TIERGB[]> Palette;
    int32_t PaletteLength = 0;
    std::unique_ptr<TIEBitmap> AlphaChannel;
    uint8_t* MemoryBlock = nullptr;
    void* RawBlock = nullptr;
    TIEMemoryAllocator RawAllocator = iemaAuto;   // the allocator that made RawBlock
    std::vector<TFileRegion> LockedViews;
    std::vector<int32_t> LockedRows;
    uint8_t TopDown = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    int32_t ChannelCount = 0;
    int32_t RowLen = 0;
    TIEPixelFormat PixelFormat = ieNoFormat;
    bool IsAlpha = false;
    TIELocation Location = ieFile;
    bool Full = false;
    bool EncapsulatedMemory = false;
    int32_t RowAlign = 32;
    bool NeedsAllocation = true;
    int32_t SegmentCount = 0;
    int32_t RowsPerSegment = 0;
    std::vector<void*> Segments;
};
