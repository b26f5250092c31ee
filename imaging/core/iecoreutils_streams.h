// The byte streams and stream functions under the codecs, the I/O front end and the bitmap's
// file storage: a buffered read-only view of another stream, a file stream opened by a wide
// name, a counting stream that stores nothing, a self-deleting temporary file, a read-only stream
// over the caller's memory, the file store of file-located bitmaps, length-prefixed strings,
// CR LF lines, stream copying, temporary names and the file-exists test.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

// The run-time library's input/output error.
KW_DECLARE_EXCEPTION(EInOutError, Exception);

// The folder of the library's temporary files, with a trailing separator; empty: the system's.
extern std::wstring IETempFolder;

// A read-only view of Stream through a buffer; it reads nothing past the size that Stream had
// when the view was made. With RelativePosition, Stream's position at creation is position 0 of
// the view. Writing raises Exception "TIEBufferedReadStream cannot write!". Stream is not owned.
class TIEBufferedReadStream : public TStream {
public:
    KW_CLASS_NAME(TIEBufferedReadStream)
    TIEBufferedReadStream(TStream* Stream, int32_t BufferSize, bool RelativePosition = false);
    // A new buffer of Size bytes (at least 1), filled from the current position.
    void SetBufferSize(int32_t Size);
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    // Targets before 0 become 0 and targets past the end the end; a target inside the buffer
    // only moves the index. Returns the position relative to the base.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void Refill();
    TStream* FStream;
    int64_t FBaseOffset;
    int64_t FSize;
    int64_t FPosition;
    std::vector<uint8_t> FBuffer;
    int32_t FBufferLen = 0;   // valid bytes in the buffer
    int32_t FBufferIndex = 0;
};

// The Win32 file creation (CreateFileW arguments and values) with the wide name on NT-family
// systems (IEIsWinNT), else the ANSI one with the name in the ANSI code page. Returns the handle,
// or IEInvalidHandle.
void* const IEInvalidHandle = reinterpret_cast<void*>((intptr_t)-1);
void* IECreateFileW(const std::wstring& FileName, uint32_t DesiredAccess, uint32_t ShareMode, void* Security,
                    uint32_t CreationDisposition, uint32_t FlagsAndAttributes, void* TemplateFile);
// Read and write, no sharing, always created.
void* IEFileCreateW(const std::wstring& FileName);
// An existing file: access by Mode and 3 (0 read, 1 write, 2 both), sharing by Mode and $F0 as
// the class library's share modes ($00 and $10 none, $20 others may read, $30 others may write,
// $40 both). IEInvalidHandle, without touching the file system, for other modes.
void* IEFileOpenW(const std::wstring& FileName, uint8_t Mode);

// A file stream over a wide name. Mode $FFFF creates the file (EFCreateError "Cannot create file
// "%s". %s"), any other opens it with IEFileOpenW (EFOpenError "Cannot open file "%s". %s"); the
// full name and the system's reason fill the message.
class TIEWideFileStream : public THandleStream {
public:
    KW_CLASS_NAME(TIEWideFileStream)
    TIEWideFileStream(const std::wstring& FileName, uint16_t Mode);
    ~TIEWideFileStream() override;
    TIEWideFileStream(const TIEWideFileStream&) = delete;
    TIEWideFileStream& operator=(const TIEWideFileStream&) = delete;
};

// Counts what is written or read and stores nothing: its size is the furthest position reached.
class TNulStream : public TStream {
public:
    KW_CLASS_NAME(TNulStream)
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    int64_t GetSize() override { return FHighWater; }

private:
    void Advance(int64_t Target);
    int64_t FPosition = 0;
    int64_t FHighWater = 0;
};

// A new file, read and write, not shared, that the system deletes when the stream is freed or
// the program ends, killed or not (delete-on-close on Windows; unlinked once open elsewhere),
// sparse where the file system allows. Raises EInOutError "Unable to create " + the name.
class TIETemporaryFileStream : public THandleStream {
public:
    KW_CLASS_NAME(TIETemporaryFileStream)
    explicit TIETemporaryFileStream(const std::wstring& FileName);
    ~TIETemporaryFileStream() override;
    TIETemporaryFileStream(const TIETemporaryFileStream&) = delete;
    TIETemporaryFileStream& operator=(const TIETemporaryFileStream&) = delete;

private:
    std::wstring FFileName;
};

// A read-only stream over the caller's block, which it does not own: setting the size does
// nothing, writing does nothing and returns 0.
class TIEMemStream : public TCustomMemoryStream {
public:
    KW_CLASS_NAME(TIEMemStream)
    TIEMemStream(const void* Memory, int64_t Size) { SetPointer(const_cast<void*>(Memory), Size); }
    void SetSize(int64_t) override {}
    int32_t Write(const void*, int32_t) override { return 0; }
};

// Access of a view of the file store: bits iedRead and iedWrite.
using TIEDataAccess = uint8_t;
constexpr TIEDataAccess iedRead = 1;
constexpr TIEDataAccess iedWrite = 2;

// The store of file-located bitmaps: a temporary file or memory, read and written through views
// (buffers of a range of the store that go back into it when released, if written).
class TIEFileBuffer : public TObject {
public:
    KW_CLASS_NAME(TIEFileBuffer)
    TIEFileBuffer() = default;
    ~TIEFileBuffer() override;
    TIEFileBuffer(const TIEFileBuffer&) = delete;
    TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

    bool IsAllocated() const { return FStore != nullptr; }
    const std::wstring& GetFileName() const { return FFileName; }
    // Releases the views, frees the store and deletes its file.
    void Clear();
    // A new store of Size bytes under a fresh temporary name (IETempFolder or the system's
    // folder): a temporary file with UseFile, else memory. False when it cannot be made or sized
    // (the name stays set, no store).
    bool AllocateFile(const std::wstring& Prefix, bool UseFile, int64_t Size);
    // A buffer of Size bytes for the range at Position, filled from the store with iedRead
    // (zeros where the store has no bytes). Raises EOutOfMemory when Size cannot be had.
    void* MapView(TIEDataAccess Access, int64_t Position, int64_t Size);
    // Writes a view mapped with iedWrite back into the store and frees it; unknown buffers are
    // ignored.
    void UnmapView(void* Buffer);
    void UnmapAll();
    // Copies Size bytes at Position into Dest's store at the same position, in 1 MiB chunks,
    // after releasing the views of both; nothing unless both have a store.
    void CopyTo(TIEFileBuffer* Dest, int64_t Position, int64_t Size);

private:
    struct TView {
        int64_t Position;
        int64_t Size;
        std::unique_ptr<uint8_t[]> Buffer;
        TIEDataAccess Access;
    };
    std::wstring FFileName;
    std::unique_ptr<TStream> FStore;
    std::vector<TView> FViews;
};

// A byte string as a 4-byte little-endian signed length and its bytes, and back. Loading raises
// EReadError for a negative length or when the stream ends first.
void IESaveStringToStream(TStream* Stream, const std::string& S);
void IELoadStringFromStream(TStream* Stream, std::string& S);
// The line's bytes and CR LF.
void IEWriteLineCRLF(TStream* Stream, const std::string& Line);
// Copies Count bytes (0: the whole of Source from its start) from Source's position to Dest,
// at most what Source has left unless it is a zlib stream (which cannot tell); returns that
// count. A short read raises EReadError.
int64_t IECopyStream(TStream* Dest, TStream* Source, int64_t Count);
// Folder + Prefix + "-" + 8 upper-case hexadecimal digits of a random number + ".tmp", naming no
// existing file. Folder ends with a separator.
void IETempFileName(const std::wstring& Prefix, const std::wstring& Folder, std::wstring& FileName);
// IETempFileName with the prefix "ietemp" in IETempFolder, or the system's temporary folder.
void IEGetTempFileName(std::wstring& FileName);
// The system's temporary folder, with a trailing separator.
std::wstring IESystemTempFolder();
// True when the name's attributes can be read and do not mark a folder (the wide call on
// NT-family systems, else the name in the ANSI code page).
bool IEFileExists(const std::wstring& FileName);
bool IEFileExistsW(const std::wstring& FileName);

// What the helpers above need of the system, per platform.
namespace ieplatform {
std::wstring FullFileName(const std::wstring& FileName);   // absolute, as the system resolves it
uint32_t LastError();                                       // the calling thread's last error code
void DeleteFileByName(const std::wstring& FileName);        // no error when it is not there
}  // namespace ieplatform
