// TIFF IFD structures in memory: the EXIF maker note (TIETagsHandler) and a whole TIFF file page
// by page (TIETIFFHandler). Both read data from anywhere: every count, offset and size is checked
// before it sizes a block or moves a position, IFD chains that loop end, and nothing raises for
// malformed data (a bad maker note leaves the handler empty, a bad IFD ends where it turns bad).
// File errors of TFileStream propagate. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "Classes.h"

// The layout of a camera maker's note: the header string that starts it (NUL bytes included), the
// offset mode (0: value offsets relative to the enclosing TIFF structure; 1: relative to the note),
// the header kind (0: the IFD follows the string; 1: an 8-byte TIFF header follows; 2: a 4-byte
// offset of the IFD follows) and the byte order (0: the caller's, 1: from the note's TIFF header,
// 2: little-endian, 3: big-endian).
struct TIEEXIFMakerNoteDeviceInfo {
    std::string Header;
    int32_t OffsetMode = 0;
    int32_t HeaderKind = 0;
    uint8_t TIFFHeader[8] = {};
    int32_t ByteOrder = 0;
};

// One entry of a maker note in host order. Value is the inline value field (its values in host
// order, read as one number) or, when the data exceed 4 bytes, their position in the handler's
// data stream, where they are in host order too.
struct TIEMakerNoteEntry {
    uint16_t Tag;
    uint16_t TagType;
    uint32_t Count;
    uint32_t Value;
};

class TIETagsHandler : public TObject {
public:
    KW_CLASS_NAME(TIETagsHandler)
    TIETagsHandler();
    void Clear();
    void Assign(const TIETagsHandler* Source);
    bool IsEmpty() const { return FRaw.empty(); }

    // Reads Size bytes at the stream's position as a maker note; the enclosing TIFF structure starts
    // at stream position 0. LittleEndian is the enclosing file's order.
    void LoadFromStream(TStream* Stream, int32_t Size, bool LittleEndian);
    // Writes the note in its maker's layout at the stream's position; returns the bytes written, or
    // 0 (nothing written) when the note is empty or would take 65001 bytes or more.
    int32_t SaveToStream(TStream* Stream);
    // Replaces the raw bytes (the entry table is not touched).
    void SetData(const std::vector<uint8_t>& Data) { FRaw = Data; }
    const std::vector<uint8_t>& GetData() const { return FRaw; }
    // Reloads the entry table from the internal stream.
    void ReadEntries();

    const TIEEXIFMakerNoteDeviceInfo& GetDeviceInfo() const { return FInfo; }
    int32_t GetDeviceRow() const { return FRow; }
    int32_t GetEntryCount() const { return static_cast<int32_t>(FEntries.size()); }
    const TIEMakerNoteEntry& GetEntry(int32_t Index) const { return FEntries[Index]; }
    // The data of an entry: its inline value field or its block in the internal stream; nullptr
    // when Index is out of range.
    const uint8_t* GetEntryData(int32_t Index) const;
    // Bytes of one value of a maker-note type (0..12; higher types count as 1).
    static int32_t TypeSize(uint16_t TagType);

private:
    std::vector<uint8_t> FRaw;
    TIEEXIFMakerNoteDeviceInfo FInfo;
    int32_t FRow = 0;
    std::vector<uint8_t> FStream;   // count (Word), 12-byte entries, data blocks; host order
    std::vector<TIEMakerNoteEntry> FEntries;
};

// One IFD entry as it stands in the file: tag, type, count and value in the file's byte order.
struct TIETIFFEntry {
    uint8_t Raw[12];
};
using TIETIFFEntryList = std::vector<TIETIFFEntry>;

class TIETIFFHandler : public TObject {
public:
    KW_CLASS_NAME(TIETIFFHandler)
    TIETIFFHandler() = default;
    static std::unique_ptr<TIETIFFHandler> CreateFromFile(const std::wstring& FileName);
    static std::unique_ptr<TIETIFFHandler> CreateFromStream(TStream* Stream);

    void Clear();
    // False when the file does not exist (it is opened for reading, denying writes).
    bool ReadFile(const std::wstring& FileName);
    // False for a header that is not "II" or "MM"; offsets are positions in the stream.
    bool ReadStream(TStream* Stream);
    // Page -1 or out of range writes every page.
    void WriteFile(const std::wstring& FileName, int32_t Page);
    void WriteStream(TStream* Stream, int32_t Page);

    bool GetBigEndian() const { return FBigEndian; }
    uint16_t GetMagic() const { return FMagic; }
    int32_t GetPageCount() const { return static_cast<int32_t>(FPages.size()); }
    // The page's entry list, nullptr when Page is out of range.
    TIETIFFEntryList* GetPageList(int32_t Page);

    uint16_t OrderWord(uint16_t Value) const;
    uint32_t OrderDWord(uint32_t Value) const;
    uint16_t GetTag(const TIETIFFEntry& Entry) const { return OrderWord(RawWord(Entry, 0)); }
    uint16_t GetType(const TIETIFFEntry& Entry) const { return OrderWord(RawWord(Entry, 2)); }
    uint32_t GetCount(const TIETIFFEntry& Entry) const { return OrderDWord(RawDWord(Entry, 4)); }

    int32_t FindTag(int32_t Page, uint16_t Tag);
    int32_t FindTagInList(const TIETIFFEntryList* PageList, uint16_t Tag) const;
    // Value ValueIndex of an entry: BYTE, ASCII, UNDEFINED unsigned; SHORT, SSHORT as Words;
    // LONG, SLONG as 32 bits; SBYTE sign-extended; other types and bad indexes 0.
    int32_t GetTagValue(const TIETIFFEntryList* PageList, int32_t Index, int32_t ValueIndex) const;
    int32_t GetTagValueByTag(int32_t Page, uint16_t Tag, int32_t ValueIndex);
    // The bytes of value ValueIndex (inline or in the data block); nullptr out of range.
    const uint8_t* GetTagDataPtr(const TIETIFFEntry& Entry, int32_t ValueIndex) const;
    // The raw bytes of an entry's data (count × type size), for tests and copies.
    std::vector<uint8_t> GetTagData(const TIETIFFEntry& Entry) const;

    // Replaces the tag's entry by one of count 1 (ASCII: the text and a NUL). RATIONAL and
    // SRATIONAL store Trunc(value × 10000) / 10000. UNDEFINED stores one byte.
    void SetTag(TIETIFFEntryList* PageList, uint16_t Tag, uint16_t TagType, long double Value);
    void SetTag(TIETIFFEntryList* PageList, uint16_t Tag, uint16_t TagType, const std::string& Value);

    void DeletePage(int32_t Page);
    void DeleteTagFromList(TIETIFFEntryList* PageList, int32_t Index, bool FreeData);
    void SortPageTags(int32_t Page);

    void CopyTag(int32_t SrcPage, int32_t SrcIndex, TIETIFFHandler* Source, int32_t DstPage);
    void CopyTagFromList(const TIETIFFEntryList* SrcList, int32_t SrcIndex, TIETIFFHandler* Source,
                         TIETIFFEntryList* DstList);

    // The offset/length pair a tag belongs to (-1, -1 for other tags); with the magic 444 the two
    // HD Photo pairs count too.
    void GetDataPairTags(uint16_t Tag, int32_t& OffsetTag, int32_t& LengthTag) const;
    static bool IsSubIFDTag(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }
    static int32_t TypeSize(uint16_t TagType);   // 0 for unknown types

private:
    struct TDataItem {
        std::vector<uint8_t> Bytes;          // a data block
        std::unique_ptr<TIETIFFEntryList> List;   // or a nested IFD
    };
    static uint16_t RawWord(const TIETIFFEntry& E, int At) { return static_cast<uint16_t>(E.Raw[At] | E.Raw[At + 1] << 8); }
    static uint32_t RawDWord(const TIETIFFEntry& E, int At);
    void SetRawWord(TIETIFFEntry& E, int At, uint16_t V) const;
    void SetRawDWord(TIETIFFEntry& E, int At, uint32_t V) const;
    uint32_t GetValue(const TIETIFFEntry& Entry) const { return OrderDWord(RawDWord(Entry, 8)); }
    int64_t DataSize(const TIETIFFEntry& Entry) const;
    TDataItem* Item(uint32_t Index) const;
    uint32_t AddItem(std::unique_ptr<TDataItem> It);
    TIETIFFEntry MakeEntry(uint16_t Tag, uint16_t TagType, uint32_t Count, uint32_t Value) const;
    std::vector<uint32_t> ImageBlockIndexes(const TIETIFFEntry& Entry) const;
    // An offsets entry (LONG) holding the image blocks' indexes: inline for one, else an array.
    TIETIFFEntry ImageBlockEntry(uint16_t Tag, const std::vector<uint32_t>& Indexes);
    // Stores Length (at most what the file gave, so it fits the entry's type; a SBYTE entry
    // holds up to 127) as value ValueIndex of a length entry; returns the length stored.
    int64_t StoreLength(TIETIFFEntry& Entry, uint32_t ValueIndex, int64_t Length);
    void FreeEntryData(const TIETIFFEntry& Entry, bool FreeImageData);
    void SortList(TIETIFFEntryList& List) const;

    bool ReadIFD(TStream* Stream, int64_t Pos, TIETIFFEntryList& List, int32_t Depth);
    void ReadImageData(TStream* Stream, TIETIFFEntryList& List);
    int64_t WriteIFD(TStream* Stream, int64_t Pos, TIETIFFEntryList& List, bool JPEGPage);
    void CopyEntry(const TIETIFFEntry& Src, TIETIFFHandler* Source, TIETIFFEntryList* DstList);

    bool FBigEndian = false;
    uint16_t FMagic = 42;
    std::vector<std::unique_ptr<TIETIFFEntryList>> FPages;
    std::vector<std::unique_ptr<TDataItem>> FData;
    std::unordered_set<int64_t> FVisited;   // IFD positions read, so that loops end
    int64_t FBudget = 0;             // bytes of data blocks the current read may still allocate
};
