// File mapping by region: a file far larger than the address space (a temporary file holding a
// 20,000 x 20,000 image on a 32-bit system) is read and written through windows mapped on demand
// and released again, never as a whole.
//
// A region may start at any byte: the mapping itself starts at the system's granularity below it
// (the allocation granularity on Windows, 64 KiB; the page size on POSIX), and Data() points at
// the byte asked for. Every region of one file sees the same bytes: what is written through one
// region reads back through another at once. A region stays valid after its TFileMapping is
// freed, until it is unmapped or destroyed itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "SysUtils.h"

// A region asked for outside the file, of no bytes, or too long for the address space.
KW_DECLARE_EXCEPTION(EFileMappingError, Exception);

// Where a region's mapping starts and how long it is: the sums every Map does before it calls
// the system.
struct TFileRegionPlan {
    int64_t Start = 0;    // the mapping's start in the file: a multiple of the granularity
    size_t Delta = 0;     // the asked offset minus Start
    size_t Length = 0;    // Delta + the asked length: the bytes mapped
};

// The plan for ALength bytes at AOffset of a file of AFileSize bytes, mapped at multiples of
// AGranularity (a power of two). False for a negative offset, a length of 0, a range that ends
// beyond the file, or a mapping longer than size_t holds.
bool PlanFileRegion(int64_t AOffset, size_t ALength, int64_t AFileSize, uint32_t AGranularity,
                    TFileRegionPlan& APlan);

// One mapped window of a file. Movable, not copyable; destroying it unmaps it.
class TFileRegion {
public:
    TFileRegion() = default;
    TFileRegion(TFileRegion&& AOther) noexcept;
    TFileRegion& operator=(TFileRegion&& AOther) noexcept;
    TFileRegion(const TFileRegion&) = delete;
    TFileRegion& operator=(const TFileRegion&) = delete;
    ~TFileRegion();

    // The byte at Offset(), and the Length() bytes from there; nullptr and 0 when not mapped.
    uint8_t* Data() const { return FBase ? FBase + FDelta : nullptr; }
    size_t Length() const { return FLength; }
    int64_t Offset() const { return FOffset; }
    bool Mapped() const { return FBase != nullptr; }
    // Releases the window; nothing happens when it is not mapped.
    void Unmap();

private:
    friend class TFileMapping;
    TFileRegion(uint8_t* ABase, const TFileRegionPlan& APlan, int64_t AOffset, size_t ALength);

    uint8_t* FBase = nullptr;   // the mapping as the system made it
    size_t FMappedLength = 0;
    size_t FDelta = 0;
    int64_t FOffset = 0;
    size_t FLength = 0;
};

// A file open for mapping by region.
class TFileMapping {
public:
    // Opens an existing file; AWritable maps its regions for reading and writing, else for
    // reading only. Raises EFOpenError when the file cannot be opened, EOSError when it cannot be
    // mapped.
    TFileMapping(const std::wstring& AFileName, bool AWritable);
    // Creates AFileName (replacing a file of that name) with ASize zero bytes, for reading and
    // writing. Where the file system allows, the file is sparse: disk space is taken only where
    // bytes are written. ATemporary: the system deletes the file when its last handle closes,
    // also when the program is killed (opened delete-on-close on Windows; unlinked once open
    // elsewhere, so that its name is gone at once). Raises EFileMappingError for a negative size,
    // EFCreateError when the file cannot be made, EOSError when it cannot be sized or mapped.
    static std::unique_ptr<TFileMapping> Create(const std::wstring& AFileName, int64_t ASize, bool ATemporary = false);
    ~TFileMapping();
    TFileMapping(const TFileMapping&) = delete;
    TFileMapping& operator=(const TFileMapping&) = delete;

    int64_t Size() const { return FSize; }
    bool Writable() const { return FWritable; }
    // Maps ALength bytes at AOffset. Raises EFileMappingError when the range is refused (see
    // PlanFileRegion), EOSError when the system cannot map it (the address space is full).
    TFileRegion Map(int64_t AOffset, size_t ALength);

    // The alignment of a mapping's start in the file.
    static uint32_t Granularity();

    // Copies ALength bytes at AOffset of the file into AData, or AData into the file, through the
    // file itself instead of a region: for callers keeping their own copy of parts of the file.
    // What Write puts there every region sees at once. Nothing happens for 0 bytes. Raises
    // EFileMappingError for a range outside the file or a Write to a file opened for reading,
    // EOSError when the system fails.
    void Read(int64_t AOffset, void* AData, size_t ALength);
    void Write(int64_t AOffset, const void* AData, size_t ALength);

private:
    friend class TFileRegion;
    TFileMapping() = default;
    // The system's half (FileMapping_win.cpp, FileMapping_posix.cpp).
    void OpenFile(const std::wstring& AFileName, bool ACreate, int64_t ASize, bool ATemporary = false);
    void CloseFile();
    void* SystemMap(int64_t AStart, size_t ALength);
    static void SystemUnmap(void* ABase, size_t ALength);
    void SystemRead(int64_t AOffset, void* AData, size_t ALength);
    void SystemWrite(int64_t AOffset, const void* AData, size_t ALength);
    void CheckRange(int64_t AOffset, size_t ALength) const;

    intptr_t FFile = -1;       // the file's handle or descriptor
    intptr_t FSection = 0;     // the mapping object (Windows; 0 for an empty file)
    int64_t FSize = 0;
    bool FWritable = false;
};
