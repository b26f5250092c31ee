// The in-memory image of an archive's central directory: one record per entry in directory order
// with a case-insensitive name index, the end record with its ZIP64 companions, the archive comment
// and the prefix size; and the manager that finds, reads, writes and rebuilds it (the repair scan
// over local headers).
//
// Everything here reads and writes through TStream; volume requests go through TZFArchiveCore.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "ZFStrFunc.h"
#include "ZFVolumes.h"

// ---- Record cursors ------------------------------------------------------------------------------------

// Reads little-endian fields off a range of bytes, never past its end: a field that does not fit
// reads as zero and leaves the cursor short (Ok() false), so a record is checked once, after its
// fields are read.
class TZFRecordReader {
public:
    TZFRecordReader(const void* AData, size_t ASize) : FData(static_cast<const uint8_t*>(AData)), FSize(ASize) {}
    explicit TZFRecordReader(const std::string& ABytes) : TZFRecordReader(ABytes.data(), ABytes.size()) {}

    uint8_t U8() {
        const uint8_t* p = Take(1);
        return p ? *p : 0;
    }
    uint16_t U16() {
        const uint8_t* p = Take(2);
        return p ? ByteOrder::GetLE16(p) : 0;
    }
    uint32_t U32() {
        const uint8_t* p = Take(4);
        return p ? ByteOrder::GetLE32(p) : 0;
    }
    uint64_t U64() {
        const uint8_t* p = Take(8);
        return p ? ByteOrder::GetLE64(p) : 0;
    }
    // ACount bytes; the rest of the range (and the cursor short) when fewer are left.
    std::string Bytes(size_t ACount) {
        const size_t n = ACount <= Left() ? ACount : Left();
        std::string bytes(reinterpret_cast<const char*>(FData + FPos), n);
        FPos += n;
        if (n < ACount) FOk = false;
        return bytes;
    }
    size_t Left() const { return FSize - FPos; }
    bool Ok() const { return FOk; }

private:
    const uint8_t* Take(size_t ACount) {
        if (ACount > Left()) {
            FPos = FSize;
            FOk = false;
            return nullptr;
        }
        const uint8_t* p = FData + FPos;
        FPos += ACount;
        return p;
    }
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
    bool FOk = true;
};

// Appends little-endian fields to bytes.
class TZFRecordWriter {
public:
    TZFRecordWriter& U16(uint16_t V) { return Put(&ByteOrder::PutLE16, V, 2); }
    TZFRecordWriter& U32(uint32_t V) { return Put(&ByteOrder::PutLE32, V, 4); }
    TZFRecordWriter& U64(uint64_t V) { return Put(&ByteOrder::PutLE64, V, 8); }
    TZFRecordWriter& Bytes(const std::string& V) {
        FBytes += V;
        return *this;
    }
    const std::string& Data() const { return FBytes; }

private:
    template <class T>
    TZFRecordWriter& Put(void (*APut)(void*, T), T V, size_t ASize) {
        uint8_t b[8];
        APut(b, V);
        FBytes.append(reinterpret_cast<const char*>(b), ASize);
        return *this;
    }
    std::string FBytes;
};

// ---- Records ---------------------------------------------------------------------------------------------

// The signatures of one signature set.
struct TZFSignatures {
    uint32_t Local;
    uint32_t Central;
    uint32_t End;
};
constexpr TZFSignatures ZFStandardSignatures = {0x04034b50, 0x02014b50, 0x06054b50};
constexpr TZFSignatures ZFAlternateSignatures = {0x05045C61, 0x03025C61, 0x06054141};
constexpr uint32_t ZFDataDescriptorSignature = 0x08074b50;
constexpr uint32_t ZFZip64EndSignature = 0x06064b50;
constexpr uint32_t ZFZip64LocatorSignature = 0x07064b50;

constexpr uint16_t ZFZip64ExtraId = 0x0001;
constexpr uint16_t ZFUnicodeExtraId = 0x554E;
constexpr uint32_t ZFUnicodeExtraSignature = 0x5843554E;   // the bytes "NUCX"

constexpr int32_t ZFCentralHeaderSize = 46;
constexpr int32_t ZFLocalHeaderSize = 30;
constexpr int32_t ZFEndRecordSize = 22;
constexpr int32_t ZFZip64EndRecordSize = 56;
constexpr int32_t ZFZip64LocatorSize = 20;

// Flag bits of an entry.
constexpr uint16_t zfFlagEncrypted = 0x0001;
constexpr uint16_t zfFlagDescriptor = 0x0008;
constexpr uint16_t zfFlagUtf8 = 0x0800;

// The central file header of the ZIP format, field by field.
struct TZFCentralHeader {
    uint32_t Signature = 0;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t DosTime = 0;
    uint16_t DosDate = 0;
    uint32_t Crc32 = 0;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttr = 0;
    uint32_t ExternalAttr = 0;
    uint32_t LocalHeaderOffset = 0;

    void Load(const uint8_t* p);                // from the 46 bytes of the format
    void Store(TZFRecordWriter& W) const;       // appends the 46 bytes
};

// The local file header's fixed 30 bytes.
struct TZFLocalHeader {
    uint32_t Signature = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t DosTime = 0;
    uint16_t DosDate = 0;
    uint32_t Crc32 = 0;
    uint32_t PackedSize = 0;
    uint32_t UnpackedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;

    void Load(const uint8_t* p);                // from the 30 bytes of the format
    void Store(TZFRecordWriter& W) const;       // appends the 30 bytes
};

struct TZFExtraField {
    uint16_t Id = 0;
    uint16_t Size = 0;
    std::string Data;    // the item's own copy
};

// One directory entry.
struct TDirItem {
    TZFCentralHeader Header;
    std::wstring EntryName;           // "/" as separator, folders end in "/"
    std::wstring PreviousName;
    std::string EntryComment;
    std::vector<TZFExtraField> ExtraFields;
    uint8_t AesStrength = 0;          // 0 none, 1 AES-128, 2 AES-192, 3 AES-256
    bool HasZip64 = false;
    int64_t Zip64Unpacked = 0;
    int64_t Zip64Packed = 0;
    int64_t Zip64Offset = 0;
    uint32_t Zip64Disk = 0;
    bool IsModified = false;
    std::string EntryPassword;
    // The stream a queued entry is read from, shared by every copy of the item; a caller's stream
    // that the entry does not own comes with a deleter that leaves it alone.
    std::shared_ptr<TStream> SourceStream;
    int64_t SourcePosition = 0;
    bool IsSelected = false;
    std::wstring SourceFileName;
    uint16_t RealMethod = 0;
    uint8_t EntryMode = 0;
    uint8_t PendingOperation = 0;

    // Sizes and offset with the ZIP64 values where the 32-bit fields hold their marker.
    int64_t PackedSize() const;
    int64_t UnpackedSize() const;
    int64_t LocalOffset() const;
    uint32_t DiskNumber(bool ArchiveHasZip64) const;
    bool IsFolder() const;    // external attribute bit 0x10, or a name ending in "/"
    const TZFExtraField* FindExtra(uint16_t Id) const;
};

// The name of an entry from its stored bytes: well-formed UTF-8 with non-ASCII sequences is read
// as UTF-8 (with or without flag bit 11); otherwise, with OEM names on, flag bit 11 clear and the
// standard format, the OEM code page; else the ANSI code page.
std::wstring ZFDecodeStoredName(const std::string& Raw, uint16_t Flags, bool OemNames);

// The stored bytes of an entry name: the ANSI code page (or, with OEM names on, the OEM code page)
// when the name survives the round trip; else UTF-8, at most 254 bytes of whole characters, with
// Utf8 set (the entry's flag bit 11 announces it).
std::string ZFStoredName(const std::wstring& Name, bool OemNames, bool& Utf8);

// Reads the extra fields of an entry from its bytes into the item, interpreting the ZIP64 values,
// the Unicode name block and the AES field. A field whose size runs past the bytes keeps what is
// there.
void ZFParseExtraFields(TDirItem& Item, const std::string& Extra);
// Appends one extra field: its id, its size and its data.
void ZFPutExtraField(TZFRecordWriter& W, uint16_t Id, const std::string& Data);
// The ZIP64 extra field with the values given, in the format's order.
std::string ZFZip64ExtraField(std::optional<int64_t> Unpacked, std::optional<int64_t> Packed,
                              std::optional<int64_t> Offset = {}, std::optional<uint32_t> Disk = {});
// The extra fields of a central record from the item: the ZIP64 field for the values whose
// 32-bit fields hold their marker, then the item's other fields.
std::string ZFCentralExtraFields(const TDirItem& Item);

// ---- The item array and its name index ----------------------------------------------------------------

class TZFDirArray {
public:
    TZFDirArray();
    TZFDirArray(const TZFDirArray&) = delete;
    TZFDirArray& operator=(const TZFDirArray&) = delete;
    ~TZFDirArray();

    int32_t Count() const { return FCount; }
    int32_t Capacity() const { return (int32_t)FItems.size(); }
    void SetCount(int32_t N);
    TDirItem GetItem(int32_t I) const;       // code 2
    TDirItem& ItemAt(int32_t I);             // code 3
    const TDirItem& ItemAt(int32_t I) const;
    void SetItem(int32_t I, const TDirItem& Item);   // code 1; code 58
    void Delete(int32_t I);                  // code 4
    void Clear();
    void ClearSelection();
    int32_t FindName(const std::wstring& Name) const;
    // Renames item I; code 59 when another item has that name already (case ignored).
    void Rename(int32_t I, const std::wstring& Name);
    void Assign(const TZFDirArray& Other);
    const TZFHashedStringList& NameIndex() const { return FIndex; }

private:
    static void FreeItemData(TDirItem& Item);
    std::vector<TDirItem> FItems;
    int32_t FCount = 0;
    int32_t FStep = 500;
    TZFHashedStringList FIndex;
};

// ---- End records -------------------------------------------------------------------------------------------

struct TZFEndRecord {
    uint32_t Signature = 0;
    uint16_t ThisDisk = 0;
    uint16_t DirectoryDisk = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t TotalEntries = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
    uint16_t CommentLength = 0;

    void Load(const uint8_t* p);
    void Store(TZFRecordWriter& W) const;
};

struct TZFZip64EndRecord {
    uint32_t Signature = 0;
    uint64_t RecordSize = 44;
    uint16_t VersionMadeBy = 45;
    uint16_t VersionNeeded = 45;
    uint32_t ThisDisk = 0;
    uint32_t DirectoryDisk = 0;
    uint64_t EntriesOnDisk = 0;
    uint64_t TotalEntries = 0;
    uint64_t DirectorySize = 0;
    uint64_t DirectoryOffset = 0;

    void Load(const uint8_t* p);
    void Store(TZFRecordWriter& W) const;
};

struct TZFZip64Locator {
    uint32_t Signature = 0;
    uint32_t Zip64Disk = 0;
    uint64_t Zip64Offset = 0;
    uint32_t TotalDisks = 0;

    void Load(const uint8_t* p);
    void Store(TZFRecordWriter& W) const;
};

// The first offset at or after From where one of the signatures stands with at least MinAfter
// bytes from its start to the end of the stream, searched in windows of Window bytes that overlap
// by the signature's length; -1 when there is none.
int64_t ZFFindSignature(TStream& Stream, int64_t From, const uint32_t* Signatures, int32_t SignatureCount,
                        int32_t Window, int32_t MinAfter);

// ---- The directory manager --------------------------------------------------------------------------------

class TZFDirManager {
public:
    // A directory over the stream. A caller's stream is never replaced by volume requests. With
    // Create a new archive starts: the first volume, and the SFX stub copied in when set.
    TZFDirManager(TZFArchiveCore& Archiver, TStream* Stream, bool CallerStream, bool Create);
    TZFDirManager(const TZFDirManager&) = delete;
    TZFDirManager& operator=(const TZFDirManager&) = delete;

    void Reset();
    // Looks for the end record with the signature from the stream's end; on success the record and
    // the archive comment are kept.
    TZFArchiveCore::TZFEndSearch FindEndRecord(uint32_t Signature);
    // The end record of the archiver's signature set (the alternate set tries the standard one too).
    TZFArchiveCore::TZFEndSearch FindEndRecord();
    bool EndRecordExists();
    // Reads the central directory into Items; falls back to the repair scan as RepairOnOpen says.
    void ReadDirectory();
    // Appends the central directory and the end records to the stream (or to Stream, which then
    // becomes the directory's stream).
    void WriteDirectory(TStream* Stream = nullptr);
    void MeasurePrefix();
    // Rebuilds Items from the local headers.
    void Repair();
    void RequestVolume(const TZFVolumeNumberInfo& Volume);

    TStream* Stream() const { return FStream; }
    bool CallerStream() const { return FCallerStream; }
    const TZFSignatures& Signatures() const;

    TZFDirArray Items;
    TZFDirArray Backup;
    std::string Comment;
    TZFEndRecord EndRecord;
    TZFZip64EndRecord Zip64EndRecord;
    TZFZip64Locator Zip64Locator;
    bool HasZip64 = false;
    int64_t PrefixSize = 0;
    int64_t DirectoryStart = 0;
    // The last end-record search met the standard end signature (accepted or not).
    bool MetStandardEnd = false;
    // Disk numbers of the open archive: the one holding the end record and the directory start.
    uint32_t ThisDisk = 0;
    uint32_t DirectoryDisk = 0;

private:
    void ReadCentralHeaders(int64_t Count);
    void ReadOneEntry(int32_t Index);
    void CorrectOffsets();
    void RepairEntryAt(int64_t Hit, int64_t& Next);
    void SetPrefix(int64_t Value);
    int64_t StreamSize() const { return FStream->GetSize(); }

    TZFArchiveCore& FArchiver;
    TStream* FStream;
    // Where the end record (or the ZIP64 end record) of the archive read last starts.
    int64_t FEndOffsetForPrefix = 0;
    bool FCallerStream;
    bool FCreate;
};
