// The image buffer shared by every image subsystem: the abstract bitmap, the pixel formats and
// the storage of the pixels in memory, in a temporary file mapped row by row, or in a system
// bitmap. Platform-neutral; the system-bitmap storage is the visual layer's bitmap on Windows
// (iebitmap_tbitmap_win.cpp) and absent elsewhere (iebitmap_tbitmap_posix.cpp: an allocation there
// returns False).
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
#include "iecoreutils_geometry.h"  // TIERect
#include "iecoreutils_startup.h"   // TResampleFilter
#include "iecoreutils_streams.h"
#include "iebitmap_windows.h"

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

// The temporary file of a file-located bitmap: created sparse at its full size, rows read and
// written through row windows (iebitmap_windows.h; so an image larger than the address space can
// be used row by row), opened so that the system deletes it when it is cleared or the program
// ends, killed or not.
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
    // Size bytes at Position copied out of the file or into it (iebitmap_windows.cpp); raises as
    // MapView does, and EOSError when the system fails.
    void ReadBytes(int64_t Position, void* Data, size_t Size);
    void WriteBytes(int64_t Position, const void* Data, size_t Size);

private:
    std::wstring FFileName;
    std::unique_ptr<TFileMapping> FMapping;
};

class TIEBitmap;
class TIEMask;
class TIEDibbitmap;
class TBitmap;    // the visual layer's system bitmap (Windows build only)
class TCanvas;
using TIEVirtualPixelEvent = std::function<void(TIEBitmap* Sender, int32_t X, int32_t Y, TIERGB* Result)>;

// ---- Blend operations (iebitmap_blend.cpp) ----
// The highest blend operation; higher numbers leave the destination unchanged.
constexpr uint8_t IEMaxBlendOperation = 42;
// Combines Source into Dest in place by blend Operation (0 copy, 1 add, 2 difference, ... 42 odd-row
// interlace); Row is the destination row, read by the interlacing operations 41 and 42.
void IECombinePixel(const TIERGB* Source, TIERGB* Dest, uint8_t Operation, int32_t Row);
// ---- end of the blend operations ----

// Threads: a bitmap has no lock of its own; its user keeps to this rule.
// - ieFile and ieTBitmap: one thread at a time for everything, reading included: handing out a
//   file row maps and unmaps row windows, and every size or format query of a system bitmap
//   re-reads the system bitmap. Another thread may take the bitmap over once the first is done.
// - ieMemory: any number of threads may read rows and pixels at once (GetScanline, the pixel
//   getters, the size and format queries), and threads may write disjoint rows while no thread
//   changes the image itself (allocation, format, size, location, palette, alpha channel); the
//   first GetAlpha or GetAlphaChannel creates the alpha channel and so counts as such a change.
// Code that splits a bitmap's rows between threads asks GetLocation() == ieMemory first (the
// resampler works with one thread on any other storage).
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
    // In ieTBitmap these first take size and format from the system bitmap (UpdateFromTBitmap).
    int32_t GetBitCount() override { SyncFromTBitmap(); return BitCount; }
    int32_t GetHeight() override { SyncFromTBitmap(); return Height; }
    int32_t GetWidth() override { SyncFromTBitmap(); return Width; }
    TIEPixelFormat GetPixelFormat() override { SyncFromTBitmap(); return PixelFormat; }
    int32_t GetRowLen() override { SyncFromTBitmap(); return RowLen; }
    int32_t GetChannelCount() { SyncFromTBitmap(); return ChannelCount; }
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
    // Makes this bitmap a whole copy of Source (pixels, palette, alpha channel, row alignment,
    // Full, DitherMethod) held in a temporary file whatever its size, the alpha channel in a file
    // of its own: the copy is one pass of row windows, about what writing the bytes to a file
    // costs. Assign from such a copy brings it back the same way. When no file can be made the
    // copy goes to memory as any allocation does (GetLocation tells); False, with this bitmap
    // empty, when Source is empty or this bitmap, or no storage at all can be had.
    bool AssignToFile(TIEBitmap* Source);
    int32_t GetRowAlign() const { return RowAlign; }
    // Bits that are not a valid row alignment (IsValidRowAlign) are ignored.
    void SetRowAlign(int32_t Bits);
    // Row alignments rows can be laid out with: whole bytes, from 8 to 1024 bits.
    static bool IsValidRowAlign(int32_t Bits) { return Bits >= 8 && Bits <= 1024 && Bits % 8 == 0; }
    bool GetFull() const { return Full; }
    void SetFull(bool Value) { Full = Value; }
    bool GetNeedsAllocation() const { return NeedsAllocation; }
    bool GetEncapsulatedMemory() const { return EncapsulatedMemory; }
    bool GetIsAlpha() const { return IsAlpha; }
    uint8_t GetTopDown() const { return TopDown; }
    int32_t GetSegmentCount() const { return SegmentCount; }
    const TIEBitmapFileStore& GetFileBuffer() const { return *FileBuffer; }

    // ---- Rows ----
    // GetScanline's row in ieFile stays valid until the next GetScanline or LockScanline on this
    // bitmap, or ReleaseRowBuffers; in the other locations as long as the image is not freed or
    // re-allocated. LockScanline gives the same row, and in ieFile it stays valid until
    // UnlockScanline(Row) or ReleaseRowBuffers whatever other rows are used meanwhile; several rows
    // may be locked together, and a row locked twice needs two unlocks.
    uint8_t* LockScanline(int32_t Row);
    void UnlockScanline(int32_t Row);
    // Writes back the file rows handed out for writing (by Access) and drops every row window,
    // locked or not.
    void ReleaseRowBuffers();
    // Row windows held now in ieFile (locked ones included).
    size_t RowWindowCount() const { return RowWindows.WindowCount(); }

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

    // ---- Pixel-format conversion (iebitmap_convert.cpp) ----
    // Nothing when Value is the current format, else ConvertPixelFormat(Value).
    void SetPixelFormat(TIEPixelFormat Value);
    // Converts the pixels to NewFormat in place, keeping the size; when the new pixels cannot be
    // allocated the bitmap is left empty. The system-bitmap storage converts no pixels here.
    void ConvertPixelFormat(TIEPixelFormat NewFormat);
    // Fills this bitmap (Source's size, its own format) with Source's pixels converted, row by row,
    // then copies Source's alpha channel. Nothing when the sizes differ or this bitmap is in
    // ieTBitmap; no pixels when the formats are equal or Source is ieNoFormat or ieVirtual.
    // Source may change: a pair without a direct rule first converts Source to ie24RGB.
    void ConvertFrom(TIEBitmap* Source);
    // ---- end of the pixel-format conversion ----

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

    // ---- Copies, resizing and filling (iebitmap_copy.cpp) ----
    // Size, format and pixels of Source; this bitmap keeps its own alpha channel, row alignment
    // and DitherMethod, and Full becomes False. An empty Source changes nothing.
    void AssignImage(TIEBitmap* Source);
    // A nil Mask fills with 255; a 1-bit mask gives ie1g, an 8-bit one ie8g, rows and full flag
    // copied.
    void CopyFromTIEMask(TIEMask* Mask);
    // ie1g and ie8g give a 1- or 8-bit mask of the same rows and full flag; ie24RGB an 8-bit mask
    // of grey div 4 (0..63); other formats nothing.
    void CopyToTIEMask(TIEMask* Mask);
    // 1 bit gives ie1g, 8 ie8g, 24 ie24RGB (in ieTBitmap only 1 and 24 bits); rows copied.
    void CopyFromTIEDibbitmap(TIEDibbitmap* Source);
    // A new width or height; the overlapping part stays at the top-left, the added area is not
    // initialised. The alpha channel follows.
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    // A new canvas size; the content is placed by HorizAlign and VertAlign (0 left or top, 1
    // centre, 2 right or bottom), the added area gets Background (as FillRect) and the added area
    // of an existing alpha channel AlphaFill.
    void Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t AlphaFill, uint8_t HorizAlign,
                uint8_t VertAlign);
    // Moves the inclusive rectangle to (DstX, DstY) through a copy (overlaps are safe); with
    // DoFill the source rectangle gets FillValue first.
    void MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY, double FillValue,
                  bool DoFill);
    // Copies a clipped rectangle into Dest: same format byte for byte, ie1g into ie1g bit for bit,
    // ie1g into ie24RGB as 0 or 255; other pairs nothing.
    void CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                    int32_t AHeight);
    // Dest's alpha in the clipped rectangle becomes the larger of both alpha channels (created
    // where missing).
    void MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY, int32_t AWidth,
                          int32_t AHeight);
    // Every pixel: a level for the grey formats, a colour value for the colour formats, a float
    // for ie32f. Sets Full when the value is the format's white.
    void Fill(double Value);
    // Fills the inclusive rectangle, clamped to the bitmap, with Fill's values; Full unchanged.
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);
    // Full := every pixel byte (padding excluded) is 255.
    void CheckFull();
    bool IsAllZero();
    bool IsGrayScale();

    // ---- Rendering and compositing (iebitmap_render*.cpp, iebitmap_blend.cpp) ----
    // Draws the source rectangle scaled (nearest pixel, or resampled first with Filter for ie1g and
    // ie24RGB sources) into the destination rectangle of the ie24RGB Dest, with the display
    // settings, blend Operation, Transparency (255 opaque, 0 invisible) and, with UseAlpha, the
    // alpha channel. ClipRect (inclusive destination pixels) may be null. DestRows, ColumnMap and
    // RowMap are caches: empty ones are built; with FreeCaches those built here are emptied at the
    // end, without it they stay filled for the next call of the same geometry. RowCopy lets a row
    // showing the same source row as the one above be copied from it. Dest must keep its rows in
    // place (ieMemory or ieTBitmap).
    void RenderToTIEBitmapEx(TIEBitmap* Dest, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& ColumnMap,
                             std::vector<int32_t>& RowMap, const TIERect* ClipRect, int32_t DstX,
                             int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY,
                             int32_t SrcWidth, int32_t SrcHeight, bool UseAlpha, bool RowCopy,
                             int32_t Transparency, TResampleFilter Filter, bool FreeCaches, uint8_t Operation);
    // RenderToTIEBitmapEx with private caches, no clip rectangle, the alpha channel used, no row copy.
    void RenderToTIEBitmap(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                           int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Transparency,
                           TResampleFilter Filter, uint8_t Operation);
    // The same into a system bitmap, wrapped for the call (Windows build; nothing natively).
    void RenderToTBitmap(TBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                         int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Transparency,
                         TResampleFilter Filter, uint8_t Operation);
    void RenderToTBitmapEx(TBitmap* Bitmap, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& ColumnMap,
                           std::vector<int32_t>& RowMap, const TIERect* ClipRect, int32_t DstX, int32_t DstY,
                           int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                           int32_t SrcHeight, bool UseAlpha, bool RowCopy, int32_t Transparency,
                           TResampleFilter Filter, bool FreeCaches, uint8_t Operation);
    // Blends onto a drawing surface: its area at (X, Y) is copied into a 24-bit work bitmap, the
    // source rendered into it, and the result copied back (Windows build; nothing natively).
    void DrawToCanvasWithAlpha(TCanvas* Canvas, int32_t X, int32_t Y, int32_t AWidth, int32_t AHeight, int32_t SrcX,
                               int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Transparency,
                               TResampleFilter Filter, uint8_t Operation);
    // Scales the source rectangle into the ie24RGB Dest and writes Dest's alpha channel there (the
    // source's alpha limited by Opacity, or Opacity alone). Only ie1g and ie24RGB sources draw
    // pixels; the caller keeps the source rectangle inside the source.
    void StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX,
                       int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, TResampleFilter Filter, int32_t Opacity);
    // Composites the ie24RGB Source with its alpha channel over this ie24RGB bitmap and its alpha
    // channel at (DstX, DstY); Width and Height -1 mean the source's; with Resize the source is
    // first resampled to Width x Height with Filter.
    void AlphaMergeFrom(TIEBitmap* Source, int32_t DstX, int32_t DstY, int32_t AWidth, int32_t AHeight,
                        int32_t Opacity, TResampleFilter Filter, int32_t Operation, bool Resize, int32_t SrcX,
                        int32_t SrcY);
    // ---- end of rendering and compositing ----
    // ---- Raw bitmap stream "TIEBITMAPRAW" (iebitmap_raw.cpp) ----
    // Writes the settings, the rows and the alpha channel (when there is one) into the memory at
    // Buffer when it is not null (the caller provides room for the whole record), else to Stream
    // at its position.
    void SaveRawToStream(void* Buffer, TStream* Stream);
    // Reads such a record from Buffer (when not null; it must hold the whole record) or from
    // Stream. False, with the bitmap unchanged, for a wrong magic, a negative version or a row
    // alignment other than 8 or 32 bits; a stream ending early leaves the rest unfilled.
    bool LoadRawFromStream(const void* Buffer, TStream* Stream);

    // ---- System-bitmap storage (iebitmap_tbitmap_win.cpp, _posix.cpp) ----
    // Copies a system bitmap: into memory or file by its format, into ieTBitmap as a copy.
    void AssignTBitmap(TBitmap* Bitmap);
    // Uses a caller's system bitmap as the pixel store, without copying; it is never freed here.
    void EncapsulateTBitmap(TBitmap* Bitmap, bool FreeOld);
    // Moves the image to ieTBitmap and returns the system bitmap (still owned here); nil where
    // there are no system bitmaps.
    TBitmap* GetTBitmap();
    TCanvas* GetCanvas();
    void SetupCanvasOrientation();
    // Size and format from the system bitmap, when someone changed it.
    void UpdateFromTBitmap();
    void SyncPaletteToTBitmap();
    bool GetEncapsulatedTBitmap() const { return EncapsulatedTBitmap; }

private:
    void SyncFromTBitmap() {
        if (Location == ieTBitmap && SystemBitmap) UpdateFromTBitmap();
    }
    // Step of AllocateImage in ieTBitmap: False where the format or size cannot be had.
    bool AllocateTBitmap();
    // The system bitmap (created when missing) takes that size and format, the fields and the row
    // cache follow; False when the system refuses.
    bool ReshapeTBitmap(int32_t AWidth, int32_t AHeight, TIEPixelFormat APixelFormat);
    // Frees the system bitmap unless it is encapsulated, and the row cache.
    void FreeTBitmap();
    // An empty system bitmap takes the depth of ie1g (1 bit) or ie24RGB (24 bits); others nothing.
    void SetEmptyTBitmapDepth(TIEPixelFormat APixelFormat);
    void BuildRowCache();
    void ResizeTBitmap(int32_t AWidth, int32_t AHeight);
    // Assign of an object that is not a TIEBitmap: a system bitmap goes to AssignTBitmap.
    void AssignOther(TObject* Source);
    void ResizeImage(int32_t AWidth, int32_t AHeight);
    void CopyPaletteFrom(TIEBitmap* Source);

    TBitmap* SystemBitmap = nullptr;   // owned unless EncapsulatedTBitmap
    std::vector<uint8_t*> RowCache;
    bool EncapsulatedTBitmap = false;
    // ---- end of the copies and system-bitmap block ----

private:
    bool AllocateSegments();
    void FreeSegments();
    bool AllocateFileStore(int64_t Size);
    void FreeMemoryBlock();
    void FillAlpha255();
    void CopyRowsFrom(TIEBitmap* Source);
    void CopyImageFrom(TIEBitmap* Source, bool WholeImage);

    std::unique_ptr<TIEBitmapFileStore> FileBuffer;
    // The rows handed out in ieFile, by GetScanline and LockScanline, and the locks.
    TIEFileRowWindows RowWindows;
    std::unique_ptr<TIERGB[]> Palette;
    int32_t PaletteLength = 0;
    std::unique_ptr<TIEBitmap> AlphaChannel;
    uint8_t* MemoryBlock = nullptr;
    void* RawBlock = nullptr;
    TIEMemoryAllocator RawAllocator = iemaAuto;   // the allocator that made RawBlock
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
