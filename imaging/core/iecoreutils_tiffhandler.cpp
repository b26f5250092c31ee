#include "iecoreutils_tiffhandler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ByteOrder.h"
#include "CheckedMath.h"
#include "SysUtils.h"

// ---------------------------------------------------------------------------------------------
// Maker notes
// ---------------------------------------------------------------------------------------------

namespace {

struct TKnownNote {
    const char* Header;
    int32_t HeaderLength;
    int32_t OffsetMode;
    int32_t HeaderKind;
    int32_t ByteOrder;
};

// Tried in this order; row 0 stands for an unknown note.
const TKnownNote kKnownNotes[] = {
    {"", 0, 0, 0, 0},
    {"SONY CAM \0\0\0", 12, 0, 0, 0},
    {"SONY DSC \0\0\0", 12, 0, 0, 0},
    {"Nikon\0\x02\x10\0\0", 10, 1, 1, 1},
    {"QVC\0\0\0", 6, 0, 0, 3},
    {"EPSON\0\x01\0", 8, 0, 0, 0},
    {"Nikon\0\x01\0", 8, 0, 0, 0},
    {"Panasonic\0\0\0", 12, 0, 0, 0},
    {"FUJIFILM", 8, 1, 2, 2},
    {"LEICA\0\0\0", 8, 1, 0, 0},
};
constexpr int32_t kKnownNoteCount = sizeof(kKnownNotes) / sizeof(kKnownNotes[0]);
constexpr int32_t kMaxNoteEntries = 256;
constexpr int32_t kMaxSavedNote = 65001;

uint16_t Get16(const uint8_t* P, bool Little) { return Little ? ByteOrder::GetLE16(P) : ByteOrder::GetBE16(P); }
uint32_t Get32(const uint8_t* P, bool Little) { return Little ? ByteOrder::GetLE32(P) : ByteOrder::GetBE32(P); }
void Put16(uint8_t* P, uint16_t V, bool Little) { Little ? ByteOrder::PutLE16(P, V) : ByteOrder::PutBE16(P, V); }
void Put32(uint8_t* P, uint32_t V, bool Little) { Little ? ByteOrder::PutLE32(P, V) : ByteOrder::PutBE32(P, V); }

// Reverses the byte order of each value of a maker-note type in place (Size bytes at P): the
// internal stream holds the note's values in host order, whatever order the note was written in.
void SwapValues(uint8_t* P, size_t Size, uint16_t TagType) {
    size_t unit;
    switch (TagType) {
        case 3: case 8: unit = 2; break;
        case 4: case 5: case 9: case 10: case 11: unit = 4; break;   // rationals: two 4-byte halves
        case 12: unit = 8; break;
        default: return;
    }
    for (size_t at = 0; at + unit <= Size; at += unit) std::reverse(P + at, P + at + unit);
}

void Append(std::vector<uint8_t>& Out, const void* Data, size_t Size) {
    const auto* b = static_cast<const uint8_t*>(Data);
    Out.insert(Out.end(), b, b + Size);
}

}  // namespace

TIETagsHandler::TIETagsHandler() { Clear(); }

int32_t TIETagsHandler::TypeSize(uint16_t TagType) {
    // A DOUBLE (12) takes its true 8 bytes.
    static const int32_t kSizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return TagType < 13 ? kSizes[TagType] : 1;
}

void TIETagsHandler::Clear() {
    FRaw.clear();
    FStream.clear();
    FEntries.clear();
    FInfo = TIEEXIFMakerNoteDeviceInfo();
    FRow = 0;
}

void TIETagsHandler::Assign(const TIETagsHandler* Source) {
    if (!Source || Source == this) return;
    FRaw = Source->FRaw;
    FInfo = Source->FInfo;
    FRow = Source->FRow;
    FStream = Source->FStream;
    FEntries = Source->FEntries;
}

void TIETagsHandler::ReadEntries() {
    FEntries.clear();
    if (FStream.size() < 2) return;
    const uint16_t count = ByteOrder::GetLE16(FStream.data());
    for (uint32_t i = 0; i < count && 2 + (i + 1) * 12 <= FStream.size(); ++i) {
        const uint8_t* p = FStream.data() + 2 + i * 12;
        FEntries.push_back({ByteOrder::GetLE16(p), ByteOrder::GetLE16(p + 2), ByteOrder::GetLE32(p + 4),
                            ByteOrder::GetLE32(p + 8)});
    }
}

const uint8_t* TIETagsHandler::GetEntryData(int32_t Index) const {
    if (Index < 0 || Index >= GetEntryCount()) return nullptr;
    const TIEMakerNoteEntry& e = FEntries[Index];
    const uint64_t size = static_cast<uint64_t>(e.Count) * TypeSize(e.TagType);
    if (size <= 4) return FStream.data() + 2 + Index * 12 + 8;
    if (!Checked::InRange<uint64_t>(e.Value, size, FStream.size())) return nullptr;
    return FStream.data() + e.Value;
}

void TIETagsHandler::LoadFromStream(TStream* Stream, int32_t Size, bool LittleEndian) {
    Clear();
    if (Size <= 1) return;
    try {
        const int64_t noteStart = Stream->GetPosition();
        FRaw.resize(Size);
        if (Stream->Read(FRaw.data(), Size) != Size) {
            Clear();
            return;
        }
        for (int32_t row = 1; row < kKnownNoteCount; ++row) {
            const TKnownNote& k = kKnownNotes[row];
            const int32_t n = std::min(Size, k.HeaderLength);
            if (std::memcmp(FRaw.data(), k.Header, n) == 0) {
                FRow = row;
                break;
            }
        }
        const TKnownNote& known = kKnownNotes[FRow];
        FInfo.Header.assign(known.Header, known.HeaderLength);
        FInfo.OffsetMode = known.OffsetMode;
        FInfo.HeaderKind = known.HeaderKind;
        FInfo.ByteOrder = known.ByteOrder;

        int64_t ifd = known.HeaderLength;
        if (known.HeaderKind == 1) {
            if (!Checked::InRange<int64_t>(ifd, 8, Size)) throw EReadError(L"maker note");
            std::memcpy(FInfo.TIFFHeader, FRaw.data() + ifd, 8);
            ifd += 8;
        } else if (known.HeaderKind == 2) {
            if (!Checked::InRange<int64_t>(ifd, 4, Size)) throw EReadError(L"maker note");
            ifd = ByteOrder::GetLE32(FRaw.data() + ifd);
        }
        bool little = LittleEndian;
        if (known.ByteOrder == 1) little = FInfo.TIFFHeader[0] == 'I' && FInfo.TIFFHeader[1] == 'I';
        else if (known.ByteOrder == 2) little = true;
        else if (known.ByteOrder == 3) little = false;

        if (!Checked::InRange<int64_t>(ifd, 2, Size)) throw EReadError(L"maker note");
        const int32_t count = Get16(FRaw.data() + ifd, little);
        if (count > kMaxNoteEntries || Size < 12 * count) {
            Clear();
            return;
        }
        const int64_t origin = known.HeaderKind == 1 ? known.HeaderLength : 0;

        FStream.resize(2 + 12 * static_cast<size_t>(count));
        int32_t read = 0;
        for (int32_t i = 0; i < count; ++i) {
            const int64_t at = ifd + 2 + 12 * static_cast<int64_t>(i);
            if (!Checked::InRange<int64_t>(at, 12, Size)) break;
            const uint8_t* p = FRaw.data() + at;
            uint16_t tag = Get16(p, little);
            uint16_t type = Get16(p + 2, little);
            uint32_t cnt = Get32(p + 4, little);
            uint8_t field[4];
            std::memcpy(field, p + 8, 4);
            const uint64_t size = static_cast<uint64_t>(cnt) * TypeSize(type);
            if (!little && size <= 4) SwapValues(field, static_cast<size_t>(size), type);
            uint32_t value = size <= 4 ? ByteOrder::GetLE32(field) : Get32(p + 8, little);
            if (size > 4) {
                int64_t pos;
                if (known.OffsetMode == 0) pos = static_cast<int64_t>(value) - noteStart;
                else pos = static_cast<int64_t>(value) + origin;
                if (size > static_cast<uint64_t>(Size) || !Checked::InRange<int64_t>(pos, static_cast<int64_t>(size), Size)) {
                    cnt = 0;
                    value = 0;
                } else {
                    value = static_cast<uint32_t>(FStream.size());
                    Append(FStream, FRaw.data() + pos, static_cast<size_t>(size));
                    if (!little) SwapValues(FStream.data() + value, static_cast<size_t>(size), type);
                }
            }
            uint8_t* q = FStream.data() + 2 + 12 * i;
            ByteOrder::PutLE16(q, tag);
            ByteOrder::PutLE16(q + 2, type);
            ByteOrder::PutLE32(q + 4, cnt);
            ByteOrder::PutLE32(q + 8, value);
            ++read;
        }
        ByteOrder::PutLE16(FStream.data(), static_cast<uint16_t>(read));
        ReadEntries();
    } catch (const Exception&) {
        Clear();
    } catch (const std::bad_alloc&) {
        Clear();
    }
}

int32_t TIETagsHandler::SaveToStream(TStream* Stream) {
    if (FRaw.empty() && FEntries.empty()) return 0;
    const int64_t start = Stream->GetPosition();
    const TKnownNote& known = kKnownNotes[FRow];
    std::vector<uint8_t> out;
    Append(out, FInfo.Header.data(), FInfo.Header.size());
    const int64_t origin = known.HeaderKind == 1 ? static_cast<int64_t>(FInfo.Header.size()) : 0;
    bool little = true;
    if (known.ByteOrder == 3) little = false;
    if (FInfo.HeaderKind == 1) {
        uint8_t header[8];
        std::memcpy(header, FInfo.TIFFHeader, 8);
        // The order the loader reads such a note in: "II" little-endian, anything else big.
        little = header[0] == 'I' && header[1] == 'I';
        const int64_t after = start + static_cast<int64_t>(out.size()) + 8;
        Put32(header + 4, FInfo.OffsetMode == 0 ? static_cast<uint32_t>(after) : 8u, little);
        Append(out, header, 8);
    } else if (FInfo.HeaderKind == 2) {
        uint8_t v[4];
        ByteOrder::PutLE32(v, static_cast<uint32_t>(FInfo.Header.size() + 4));
        Append(out, v, 4);
    }
    const size_t count = FEntries.size();
    uint8_t word[2];
    Put16(word, static_cast<uint16_t>(count), little);
    Append(out, word, 2);
    const size_t entriesAt = out.size();
    out.resize(out.size() + count * 12 + 4, 0);
    for (size_t i = 0; i < count; ++i) {
        const TIEMakerNoteEntry& e = FEntries[i];
        uint8_t* p = out.data() + entriesAt + i * 12;
        Put16(p, e.Tag, little);
        Put16(p + 2, e.TagType, little);
        Put32(p + 4, e.Count, little);
        const uint64_t size = static_cast<uint64_t>(e.Count) * TypeSize(e.TagType);
        uint32_t value = e.Value;
        if (size > 4) {
            const uint8_t* data = GetEntryData(static_cast<int32_t>(i));
            if (!data || out.size() + size + 1 >= static_cast<size_t>(kMaxSavedNote)) return 0;
            if (out.size() & 1) out.push_back(0);
            const int64_t at = static_cast<int64_t>(out.size());
            value = static_cast<uint32_t>(FInfo.OffsetMode == 0 ? start + at : at - origin);
            Append(out, data, static_cast<size_t>(size));
            if (!little) SwapValues(out.data() + at, static_cast<size_t>(size), e.TagType);
            p = out.data() + entriesAt + i * 12;   // the vector may have moved
            Put32(p + 8, value, little);
        } else {
            ByteOrder::PutLE32(p + 8, value);
            if (!little) SwapValues(p + 8, static_cast<size_t>(size), e.TagType);
        }
    }
    if (out.size() >= static_cast<size_t>(kMaxSavedNote)) return 0;
    Stream->WriteBuffer(out.data(), static_cast<int32_t>(out.size()));
    return static_cast<int32_t>(out.size());
}

// ---------------------------------------------------------------------------------------------
// TIFF files
// ---------------------------------------------------------------------------------------------

namespace {

constexpr uint16_t kStripOffsets = 273, kStripByteCounts = 279, kTileOffsets = 324, kTileByteCounts = 325;
constexpr uint16_t kJPEGIF = 513, kJPEGIFLength = 514, kCompression = 259;
constexpr uint16_t kTypeByte = 1, kTypeAscii = 2, kTypeShort = 3, kTypeLong = 4, kTypeRational = 5,
                   kTypeSByte = 6, kTypeUndefined = 7, kTypeSShort = 8, kTypeSLong = 9, kTypeSRational = 10,
                   kTypeFloat = 11, kTypeDouble = 12;
// Nested IFDs deeper than this are not followed (the EXIF IFD holds the interoperability IFD).
constexpr int32_t kMaxDepth = 4;

}  // namespace

int32_t TIETIFFHandler::TypeSize(uint16_t TagType) {
    static const int32_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return TagType < 13 ? kSizes[TagType] : 0;
}

uint16_t TIETIFFHandler::OrderWord(uint16_t Value) const { return FBigEndian ? ByteOrder::Swap16(Value) : Value; }
uint32_t TIETIFFHandler::OrderDWord(uint32_t Value) const { return FBigEndian ? ByteOrder::Swap32(Value) : Value; }

uint32_t TIETIFFHandler::RawDWord(const TIETIFFEntry& E, int At) { return ByteOrder::GetLE32(E.Raw + At); }
void TIETIFFHandler::SetRawWord(TIETIFFEntry& E, int At, uint16_t V) const { ByteOrder::PutLE16(E.Raw + At, OrderWord(V)); }
void TIETIFFHandler::SetRawDWord(TIETIFFEntry& E, int At, uint32_t V) const { ByteOrder::PutLE32(E.Raw + At, OrderDWord(V)); }

TIETIFFEntry TIETIFFHandler::MakeEntry(uint16_t Tag, uint16_t TagType, uint32_t Count, uint32_t Value) const {
    TIETIFFEntry e{};
    SetRawWord(e, 0, Tag);
    SetRawWord(e, 2, TagType);
    SetRawDWord(e, 4, Count);
    SetRawDWord(e, 8, Value);
    return e;
}

int64_t TIETIFFHandler::DataSize(const TIETIFFEntry& Entry) const {
    return static_cast<int64_t>(GetCount(Entry)) * TypeSize(GetType(Entry));
}

TIETIFFHandler::TDataItem* TIETIFFHandler::Item(uint32_t Index) const {
    return Index < FData.size() ? FData[Index].get() : nullptr;
}

uint32_t TIETIFFHandler::AddItem(std::unique_ptr<TDataItem> It) {
    FData.push_back(std::move(It));
    return static_cast<uint32_t>(FData.size() - 1);
}

void TIETIFFHandler::GetDataPairTags(uint16_t Tag, int32_t& OffsetTag, int32_t& LengthTag) const {
    static const uint16_t kPairs[][2] = {{kStripOffsets, kStripByteCounts}, {kTileOffsets, kTileByteCounts},
                                         {kJPEGIF, kJPEGIFLength}, {48320, 48321}, {48322, 48323}};
    const int n = FMagic == 444 ? 5 : 3;
    for (int i = 0; i < n; ++i)
        if (Tag == kPairs[i][0] || Tag == kPairs[i][1]) {
            OffsetTag = kPairs[i][0];
            LengthTag = kPairs[i][1];
            return;
        }
    OffsetTag = -1;
    LengthTag = -1;
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromFile(const std::wstring& FileName) {
    auto h = std::make_unique<TIETIFFHandler>();
    h->ReadFile(FileName);
    return h;
}

std::unique_ptr<TIETIFFHandler> TIETIFFHandler::CreateFromStream(TStream* Stream) {
    auto h = std::make_unique<TIETIFFHandler>();
    h->ReadStream(Stream);
    return h;
}

void TIETIFFHandler::Clear() {
    FPages.clear();
    FData.clear();
    FVisited.clear();
    FBigEndian = false;
    FMagic = 42;
}

TIETIFFEntryList* TIETIFFHandler::GetPageList(int32_t Page) {
    return Page >= 0 && Page < GetPageCount() ? FPages[Page].get() : nullptr;
}

bool TIETIFFHandler::ReadFile(const std::wstring& FileName) {
    if (!FileExists(FileName)) return false;
    TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
    return ReadStream(&fs);
}

bool TIETIFFHandler::ReadStream(TStream* Stream) {
    Clear();
    const int64_t size = Stream->GetSize();
    Stream->SetPosition(0);
    uint8_t header[8];
    if (Stream->Read(header, 8) != 8) return false;
    if (header[0] == 'I' && header[1] == 'I') FBigEndian = false;
    else if (header[0] == 'M' && header[1] == 'M') FBigEndian = true;
    else return false;
    FMagic = FBigEndian ? ByteOrder::GetBE16(header + 2) : ByteOrder::GetLE16(header + 2);
    int64_t pos = FBigEndian ? ByteOrder::GetBE32(header + 4) : ByteOrder::GetLE32(header + 4);
    // Data blocks may overlap in a hostile file; what one read may allocate is bounded by a
    // multiple of the file's size.
    FBudget = size * 4 + 65536;
    try {
        while (pos > 0 && pos < size) {
            if (FVisited.count(pos)) break;
            FPages.push_back(std::make_unique<TIETIFFEntryList>());
            TIETIFFEntryList& page = *FPages.back();
            if (!ReadIFD(Stream, pos, page, 0)) break;
            // Old-style JPEG pages: the interchange block carries everything.
            const int32_t c = FindTagInList(&page, kCompression);
            if (c >= 0 && GetTagValue(&page, c, 0) == 6 && FindTagInList(&page, kStripOffsets) >= 0 &&
                FindTagInList(&page, kJPEGIF) >= 0) {
                for (uint16_t tag : {kStripOffsets, uint16_t(519), uint16_t(520), uint16_t(521)}) {
                    const int32_t i = FindTagInList(&page, tag);
                    if (i >= 0) DeleteTagFromList(&page, i, true);
                }
            }
            SortList(page);
            // The link follows the entries of the IFD just read.
            uint8_t word[2];
            Stream->SetPosition(pos);
            if (Stream->Read(word, 2) != 2) break;
            const int64_t n = OrderWord(ByteOrder::GetLE16(word));
            Stream->SetPosition(pos + 2 + n * 12);
            uint8_t link[4];
            if (Stream->Read(link, 4) != 4) break;
            const int64_t next = OrderDWord(ByteOrder::GetLE32(link));
            if (next == 0 || next == pos) break;
            pos = next;
        }
    } catch (const Exception&) {
        // A stream that fails midway ends the read with what was read.
    } catch (const std::bad_alloc&) {
    }
    return true;
}

bool TIETIFFHandler::ReadIFD(TStream* Stream, int64_t Pos, TIETIFFEntryList& List, int32_t Depth) {
    FVisited.insert(Pos);
    const int64_t size = Stream->GetSize();
    Stream->SetPosition(Pos);
    uint8_t word[2];
    if (Stream->Read(word, 2) != 2) return false;
    const int32_t count = OrderWord(ByteOrder::GetLE16(word));
    for (int32_t i = 0; i < count; ++i) {
        const int64_t at = Pos + 2 + 12 * static_cast<int64_t>(i);
        Stream->SetPosition(at);
        TIETIFFEntry e;
        if (Stream->Read(e.Raw, 12) != 12) break;
        const uint16_t tag = GetTag(e), type = GetType(e);
        if (type == 0 || type > 12) break;
        const int64_t dataSize = DataSize(e);
        if (dataSize >= size) break;
        if (IsSubIFDTag(tag)) {
            const int64_t sub = GetValue(e);
            if (Depth >= kMaxDepth || sub <= 0 || sub >= size || FVisited.count(sub))
                continue;   // a sub-IFD that loops or lies outside the file is dropped
            auto it = std::make_unique<TDataItem>();
            it->List = std::make_unique<TIETIFFEntryList>();
            TIETIFFEntryList& nested = *it->List;
            ReadIFD(Stream, sub, nested, Depth + 1);
            SortList(nested);
            // The entry points at one IFD, whatever type and count the file gave it.
            e = MakeEntry(tag, kTypeLong, 1, AddItem(std::move(it)));
        } else if (dataSize > 4) {
            if (dataSize > FBudget) break;
            FBudget -= dataSize;
            auto it = std::make_unique<TDataItem>();
            it->Bytes.assign(static_cast<size_t>(dataSize), 0);
            const int64_t from = GetValue(e);
            if (from < size) {
                Stream->SetPosition(from);
                Stream->Read(it->Bytes.data(), static_cast<int32_t>(dataSize));
            }
            SetRawDWord(e, 8, AddItem(std::move(it)));
        }
        List.push_back(e);
    }
    ReadImageData(Stream, List);
    return true;
}

// Every strip, tile or JPEG block of an offsets tag becomes a data block; the entry becomes a
// LONG list of their indexes.
void TIETIFFHandler::ReadImageData(TStream* Stream, TIETIFFEntryList& List) {
    const int64_t size = Stream->GetSize();
    for (size_t i = 0; i < List.size(); ++i) {
        const uint16_t tag = GetTag(List[i]);
        int32_t offTag, lenTag;
        GetDataPairTags(tag, offTag, lenTag);
        if (offTag != tag) continue;
        const int32_t li = FindTagInList(&List, static_cast<uint16_t>(lenTag));
        std::vector<uint32_t> indexes;
        const uint32_t n = GetCount(List[i]);
        const uint32_t nLen = li >= 0 ? GetCount(List[li]) : 0;
        for (uint32_t k = 0; k < n && k < nLen; ++k) {
            const uint32_t off = static_cast<uint32_t>(GetTagValue(&List, static_cast<int32_t>(i), k));
            int64_t len = static_cast<uint32_t>(GetTagValue(&List, li, k));
            if (static_cast<int64_t>(off) >= size) len = 0;
            else len = std::min<int64_t>(len, size - off);   // only what the file holds
            if (len > FBudget) break;
            // A block cut short by the end of the file keeps its shortened length, so that the
            // lengths written back describe the blocks written: a length left longer would make
            // the next read take the bytes that follow the block as well.
            len = StoreLength(List[li], k, len);
            FBudget -= len;
            auto it = std::make_unique<TDataItem>();
            it->Bytes.assign(static_cast<size_t>(len), 0);
            if (len > 0) {
                Stream->SetPosition(off);
                Stream->Read(it->Bytes.data(), static_cast<int32_t>(len));
            }
            indexes.push_back(AddItem(std::move(it)));
        }
        if (DataSize(List[i]) > 4 && GetValue(List[i]) < FData.size()) FData[GetValue(List[i])].reset();
        List[i] = ImageBlockEntry(tag, indexes);
    }
}

int64_t TIETIFFHandler::StoreLength(TIETIFFEntry& Entry, uint32_t ValueIndex, int64_t Length) {
    // The entry and its data block are this handler's own, so they may be written.
    auto* p = const_cast<uint8_t*>(GetTagDataPtr(Entry, static_cast<int32_t>(ValueIndex)));
    if (!p) return Length;
    switch (GetType(Entry)) {
        case kTypeSByte:
            Length = std::min<int64_t>(Length, 127);
            *p = static_cast<uint8_t>(Length);
            break;
        case kTypeByte:
        case kTypeAscii:
        case kTypeUndefined: *p = static_cast<uint8_t>(Length); break;
        case kTypeShort:
        case kTypeSShort: ByteOrder::PutLE16(p, OrderWord(static_cast<uint16_t>(Length))); break;
        case kTypeLong:
        case kTypeSLong: ByteOrder::PutLE32(p, OrderDWord(static_cast<uint32_t>(Length))); break;
        default: break;
    }
    return Length;
}

TIETIFFEntry TIETIFFHandler::ImageBlockEntry(uint16_t Tag, const std::vector<uint32_t>& Indexes) {
    uint32_t value = Indexes.size() == 1 ? Indexes[0] : 0;
    if (Indexes.size() > 1) {
        auto arr = std::make_unique<TDataItem>();
        arr->Bytes.resize(Indexes.size() * 4);
        for (size_t k = 0; k < Indexes.size(); ++k) ByteOrder::PutLE32(&arr->Bytes[k * 4], OrderDWord(Indexes[k]));
        value = AddItem(std::move(arr));
    }
    return MakeEntry(Tag, kTypeLong, static_cast<uint32_t>(Indexes.size()), value);
}

std::vector<uint32_t> TIETIFFHandler::ImageBlockIndexes(const TIETIFFEntry& Entry) const {
    std::vector<uint32_t> out;
    const uint32_t n = GetCount(Entry);
    if (n == 1) {
        out.push_back(GetValue(Entry));
    } else if (n > 1) {
        const TDataItem* arr = Item(GetValue(Entry));
        if (!arr) return out;
        for (uint32_t k = 0; k < n && (k + 1) * 4 <= arr->Bytes.size(); ++k)
            out.push_back(OrderDWord(ByteOrder::GetLE32(&arr->Bytes[k * 4])));
    }
    return out;
}

int32_t TIETIFFHandler::FindTag(int32_t Page, uint16_t Tag) { return FindTagInList(GetPageList(Page), Tag); }

int32_t TIETIFFHandler::FindTagInList(const TIETIFFEntryList* PageList, uint16_t Tag) const {
    if (!PageList) return -1;
    for (size_t i = 0; i < PageList->size(); ++i)
        if (GetTag((*PageList)[i]) == Tag) return static_cast<int32_t>(i);
    return -1;
}

const uint8_t* TIETIFFHandler::GetTagDataPtr(const TIETIFFEntry& Entry, int32_t ValueIndex) const {
    const int32_t ts = TypeSize(GetType(Entry));
    if (ValueIndex < 0 || ts == 0 || static_cast<uint32_t>(ValueIndex) >= GetCount(Entry)) return nullptr;
    const int64_t at = static_cast<int64_t>(ValueIndex) * ts;
    if (DataSize(Entry) <= 4) return Entry.Raw + 8 + at;
    const TDataItem* it = Item(GetValue(Entry));
    if (!it || !Checked::InRange<int64_t>(at, ts, static_cast<int64_t>(it->Bytes.size()))) return nullptr;
    return it->Bytes.data() + at;
}

std::vector<uint8_t> TIETIFFHandler::GetTagData(const TIETIFFEntry& Entry) const {
    const int64_t size = DataSize(Entry);
    if (size <= 4) return std::vector<uint8_t>(Entry.Raw + 8, Entry.Raw + 8 + size);
    const TDataItem* it = Item(GetValue(Entry));
    return it ? it->Bytes : std::vector<uint8_t>();
}

int32_t TIETIFFHandler::GetTagValue(const TIETIFFEntryList* PageList, int32_t Index, int32_t ValueIndex) const {
    if (!PageList || Index < 0 || Index >= static_cast<int32_t>(PageList->size())) return 0;
    const TIETIFFEntry& e = (*PageList)[Index];
    const uint8_t* p = GetTagDataPtr(e, ValueIndex);
    if (!p) return 0;
    switch (GetType(e)) {
        case kTypeByte:
        case kTypeAscii:
        case kTypeUndefined: return *p;
        case kTypeSByte: return static_cast<int8_t>(*p);
        case kTypeShort:
        case kTypeSShort: return OrderWord(ByteOrder::GetLE16(p));
        case kTypeLong:
        case kTypeSLong: return static_cast<int32_t>(OrderDWord(ByteOrder::GetLE32(p)));
        default: return 0;
    }
}

int32_t TIETIFFHandler::GetTagValueByTag(int32_t Page, uint16_t Tag, int32_t ValueIndex) {
    TIETIFFEntryList* list = GetPageList(Page);
    return GetTagValue(list, FindTagInList(list, Tag), ValueIndex);
}

void TIETIFFHandler::FreeEntryData(const TIETIFFEntry& Entry, bool FreeImageData) {
    const uint16_t tag = GetTag(Entry);
    int32_t offTag, lenTag;
    GetDataPairTags(tag, offTag, lenTag);
    if (offTag == tag) {
        // The entry holds image block indexes (and, for several, the index of their array).
        if (FreeImageData)
            for (uint32_t k : ImageBlockIndexes(Entry))
                if (k < FData.size()) FData[k].reset();
        if (GetCount(Entry) > 1 && GetValue(Entry) < FData.size()) FData[GetValue(Entry)].reset();
        return;
    }
    if (IsSubIFDTag(tag) || DataSize(Entry) > 4) {
        TDataItem* it = Item(GetValue(Entry));
        if (!it) return;
        std::unique_ptr<TDataItem> owned = std::move(FData[GetValue(Entry)]);
        if (owned->List)
            while (!owned->List->empty()) {
                const TIETIFFEntry nested = owned->List->back();
                owned->List->pop_back();
                FreeEntryData(nested, true);
            }
    }
}

void TIETIFFHandler::DeleteTagFromList(TIETIFFEntryList* PageList, int32_t Index, bool FreeData) {
    if (!PageList || Index < 0 || Index >= static_cast<int32_t>(PageList->size())) return;
    const TIETIFFEntry e = (*PageList)[Index];
    PageList->erase(PageList->begin() + Index);
    FreeEntryData(e, FreeData);
}

void TIETIFFHandler::DeletePage(int32_t Page) {
    TIETIFFEntryList* list = GetPageList(Page);
    if (!list) return;
    while (!list->empty()) DeleteTagFromList(list, static_cast<int32_t>(list->size()) - 1, true);
    FPages.erase(FPages.begin() + Page);
}

void TIETIFFHandler::SortList(TIETIFFEntryList& List) const {
    std::stable_sort(List.begin(), List.end(),
                     [this](const TIETIFFEntry& a, const TIETIFFEntry& b) { return GetTag(a) < GetTag(b); });
}

void TIETIFFHandler::SortPageTags(int32_t Page) {
    if (TIETIFFEntryList* list = GetPageList(Page)) SortList(*list);
}

void TIETIFFHandler::SetTag(TIETIFFEntryList* PageList, uint16_t Tag, uint16_t TagType, long double Value) {
    if (!PageList || TypeSize(TagType) == 0) return;
    const int32_t old = FindTagInList(PageList, Tag);
    if (old >= 0) DeleteTagFromList(PageList, old, true);
    if (TagType == kTypeAscii) {
        SetTag(PageList, Tag, TagType, std::to_string(static_cast<long long>(Value)));
        return;
    }
    TIETIFFEntry e = MakeEntry(Tag, TagType, 1, 0);
    const int64_t asInt = std::isfinite(static_cast<double>(Value)) && std::fabs(Value) < 9.2e18L
                              ? static_cast<int64_t>(Value) : 0;
    switch (TagType) {
        case kTypeByte:
        case kTypeSByte:
        case kTypeUndefined: e.Raw[8] = static_cast<uint8_t>(asInt); break;
        case kTypeShort:
        case kTypeSShort: SetRawWord(e, 8, static_cast<uint16_t>(asInt)); break;
        case kTypeLong:
        case kTypeSLong: SetRawDWord(e, 8, static_cast<uint32_t>(asInt)); break;
        case kTypeFloat: {
            const float f = static_cast<float>(Value);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            SetRawDWord(e, 8, bits);
            break;
        }
        case kTypeRational:
        case kTypeSRational:
        case kTypeDouble: {
            auto it = std::make_unique<TDataItem>();
            it->Bytes.resize(8);
            if (TagType == kTypeDouble) {
                const double d = static_cast<double>(Value);
                uint64_t bits;
                std::memcpy(&bits, &d, 8);
                if (FBigEndian) ByteOrder::PutBE64(it->Bytes.data(), bits);
                else ByteOrder::PutLE64(it->Bytes.data(), bits);
            } else {
                const long double scaled = Value * 10000.0L;
                const int64_t num = std::isfinite(static_cast<double>(scaled)) && std::fabs(scaled) < 2.1e9L
                                        ? static_cast<int64_t>(std::trunc(scaled)) : 0;
                ByteOrder::PutLE32(it->Bytes.data(), OrderDWord(static_cast<uint32_t>(num)));
                ByteOrder::PutLE32(it->Bytes.data() + 4, OrderDWord(10000));
            }
            SetRawDWord(e, 8, AddItem(std::move(it)));
            break;
        }
        default: break;
    }
    PageList->push_back(e);
}

void TIETIFFHandler::SetTag(TIETIFFEntryList* PageList, uint16_t Tag, uint16_t TagType, const std::string& Value) {
    if (!PageList) return;
    if (TagType != kTypeAscii) {
        SetTag(PageList, Tag, TagType, static_cast<long double>(std::strtold(Value.c_str(), nullptr)));
        return;
    }
    const int32_t old = FindTagInList(PageList, Tag);
    if (old >= 0) DeleteTagFromList(PageList, old, true);
    std::vector<uint8_t> bytes(Value.begin(), Value.end());
    bytes.push_back(0);
    TIETIFFEntry e = MakeEntry(Tag, kTypeAscii, static_cast<uint32_t>(bytes.size()), 0);
    if (bytes.size() <= 4) {
        std::memcpy(e.Raw + 8, bytes.data(), bytes.size());
    } else {
        auto it = std::make_unique<TDataItem>();
        it->Bytes = std::move(bytes);
        SetRawDWord(e, 8, AddItem(std::move(it)));
    }
    PageList->push_back(e);
}

void TIETIFFHandler::CopyTag(int32_t SrcPage, int32_t SrcIndex, TIETIFFHandler* Source, int32_t DstPage) {
    if (!Source) return;
    CopyTagFromList(Source->GetPageList(SrcPage), SrcIndex, Source, GetPageList(DstPage));
}

void TIETIFFHandler::CopyTagFromList(const TIETIFFEntryList* SrcList, int32_t SrcIndex, TIETIFFHandler* Source,
                                     TIETIFFEntryList* DstList) {
    if (!Source || !SrcList || !DstList || SrcIndex < 0 || SrcIndex >= static_cast<int32_t>(SrcList->size()) ||
        Source->FBigEndian != FBigEndian)
        return;
    const TIETIFFEntry src = (*SrcList)[SrcIndex];
    const int32_t old = FindTagInList(DstList, GetTag(src));
    if (old >= 0) DeleteTagFromList(DstList, old, true);
    CopyEntry(src, Source, DstList);
}

void TIETIFFHandler::CopyEntry(const TIETIFFEntry& Src, TIETIFFHandler* Source, TIETIFFEntryList* DstList) {
    TIETIFFEntry e = Src;
    const uint16_t tag = Source->GetTag(Src);
    int32_t offTag, lenTag;
    Source->GetDataPairTags(tag, offTag, lenTag);
    if (offTag == tag) {
        std::vector<uint32_t> indexes;
        for (uint32_t k : Source->ImageBlockIndexes(Src)) {
            auto it = std::make_unique<TDataItem>();
            if (const TDataItem* s = Source->Item(k)) it->Bytes = s->Bytes;
            indexes.push_back(AddItem(std::move(it)));
        }
        e = ImageBlockEntry(tag, indexes);
    } else if (IsSubIFDTag(tag)) {
        const TDataItem* s = Source->Item(Source->GetValue(Src));
        auto it = std::make_unique<TDataItem>();
        it->List = std::make_unique<TIETIFFEntryList>();
        const uint32_t index = AddItem(std::move(it));
        if (s && s->List)
            for (const TIETIFFEntry& nested : *s->List) CopyEntry(nested, Source, FData[index]->List.get());
        SetRawDWord(e, 8, index);
    } else if (Source->DataSize(Src) > 4) {
        auto it = std::make_unique<TDataItem>();
        if (const TDataItem* s = Source->Item(Source->GetValue(Src))) it->Bytes = s->Bytes;
        SetRawDWord(e, 8, AddItem(std::move(it)));
    }
    DstList->push_back(e);
}

void TIETIFFHandler::WriteFile(const std::wstring& FileName, int32_t Page) {
    TFileStream fs(FileName, fmCreate);
    WriteStream(&fs, Page);
}

namespace {

void WriteAt(TStream* Stream, int64_t Pos, const void* Data, int64_t Size) {
    Stream->SetPosition(Pos);
    if (Size > 0) Stream->WriteBuffer(Data, static_cast<int32_t>(Size));
}

int64_t Even(int64_t Pos) { return Pos + (Pos & 1); }

}  // namespace

// Writes List as an IFD at Pos with its data behind it and a zero link; returns the position after
// the data. The link slot is at Pos + 2 + 12 × (entries written).
int64_t TIETIFFHandler::WriteIFD(TStream* Stream, int64_t Pos, TIETIFFEntryList& List, bool JPEGPage) {
    SortList(List);
    const bool addStrip = JPEGPage && FindTagInList(&List, kJPEGIF) >= 0 && FindTagInList(&List, kStripOffsets) < 0;
    const int64_t n = static_cast<int64_t>(List.size()) + (addStrip ? 1 : 0);
    uint8_t word[2];
    ByteOrder::PutLE16(word, OrderWord(static_cast<uint16_t>(n)));
    WriteAt(Stream, Pos, word, 2);
    const uint8_t zero4[4] = {};
    WriteAt(Stream, Pos + 2 + n * 12, zero4, 4);
    int64_t data = Pos + 2 + n * 12 + 4;
    int64_t stripAt = -1;
    for (size_t i = 0; i < List.size(); ++i) {
        TIETIFFEntry e = List[i];
        const uint16_t tag = GetTag(e);
        int32_t offTag, lenTag;
        GetDataPairTags(tag, offTag, lenTag);
        if (offTag == tag) {
            std::vector<uint32_t> positions;
            for (uint32_t k : ImageBlockIndexes(e)) {
                const TDataItem* it = Item(k);
                positions.push_back(static_cast<uint32_t>(data));
                if (it && !it->Bytes.empty()) {
                    WriteAt(Stream, data, it->Bytes.data(), static_cast<int64_t>(it->Bytes.size()));
                    if (tag == kJPEGIF && stripAt < 0) {
                        const int64_t limit = std::min<int64_t>(static_cast<int64_t>(it->Bytes.size()),
                                                                static_cast<uint32_t>(GetTagValue(&List, FindTagInList(&List, kJPEGIFLength), 0)));
                        for (int64_t b = 0; b + 1 < limit; ++b)
                            if (it->Bytes[b] == 0xFF && it->Bytes[b + 1] == 0xDA) {
                                stripAt = data + b;
                                break;
                            }
                    }
                    data += static_cast<int64_t>(it->Bytes.size());
                }
            }
            uint32_t value = positions.empty() ? 0 : positions[0];
            if (positions.size() > 1) {
                data = Even(data);
                std::vector<uint8_t> arr(positions.size() * 4);
                for (size_t k = 0; k < positions.size(); ++k) ByteOrder::PutLE32(&arr[k * 4], OrderDWord(positions[k]));
                WriteAt(Stream, data, arr.data(), static_cast<int64_t>(arr.size()));
                value = static_cast<uint32_t>(data);
                data += static_cast<int64_t>(arr.size());
            }
            SetRawDWord(e, 8, value);
        } else if (IsSubIFDTag(tag)) {
            TDataItem* it = Item(GetValue(e));
            if (it && it->List) {
                data = Even(data);
                SetRawDWord(e, 8, static_cast<uint32_t>(data));
                data = WriteIFD(Stream, data, *it->List, false);
            } else {
                SetRawDWord(e, 8, 0);
            }
        } else if (DataSize(e) > 4) {
            const TDataItem* it = Item(GetValue(e));
            data = Even(data);
            const int64_t size = DataSize(e);
            std::vector<uint8_t> bytes(static_cast<size_t>(size), 0);
            if (it) std::memcpy(bytes.data(), it->Bytes.data(), std::min<size_t>(bytes.size(), it->Bytes.size()));
            WriteAt(Stream, data, bytes.data(), size);
            SetRawDWord(e, 8, static_cast<uint32_t>(data));
            data += size;
        }
        WriteAt(Stream, Pos + 2 + static_cast<int64_t>(i) * 12, e.Raw, 12);
    }
    if (addStrip) {
        const TIETIFFEntry strip = MakeEntry(kStripOffsets, kTypeLong, 1, static_cast<uint32_t>(std::max<int64_t>(stripAt, 0)));
        WriteAt(Stream, Pos + 2 + static_cast<int64_t>(List.size()) * 12, strip.Raw, 12);
    }
    Stream->SetPosition(data);
    return data;
}

void TIETIFFHandler::WriteStream(TStream* Stream, int32_t Page) {
    const int64_t headerPos = Stream->GetPosition();
    uint8_t header[8];
    header[0] = header[1] = FBigEndian ? 'M' : 'I';
    ByteOrder::PutLE16(header + 2, OrderWord(FMagic));
    ByteOrder::PutLE32(header + 4, OrderDWord(static_cast<uint32_t>(headerPos + 8)));
    WriteAt(Stream, headerPos, header, 8);
    int32_t first = 0, last = GetPageCount() - 1;
    if (Page >= 0 && Page < GetPageCount()) first = last = Page;
    int64_t pos = headerPos + 8;
    for (int32_t p = first; p <= last; ++p) {
        TIETIFFEntryList& list = *FPages[p];
        const int32_t c = FindTagInList(&list, kCompression);
        const bool jpeg = c >= 0 && GetTagValue(&list, c, 0) == 6;
        const int64_t end = WriteIFD(Stream, pos, list, jpeg);
        if (p < last) {
            const int64_t next = Even(end);
            const int64_t n = static_cast<int64_t>(list.size()) + (jpeg && FindTagInList(&list, kJPEGIF) >= 0 &&
                                                                   FindTagInList(&list, kStripOffsets) < 0 ? 1 : 0);
            uint8_t link[4];
            ByteOrder::PutLE32(link, OrderDWord(static_cast<uint32_t>(next)));
            WriteAt(Stream, pos + 2 + n * 12, link, 4);
            pos = next;
        } else {
            Stream->SetPosition(end);
        }
    }
    if (first > last) {
        // No page: an empty chain.
        ByteOrder::PutLE32(header + 4, 0);
        WriteAt(Stream, headerPos, header, 8);
    }
}
