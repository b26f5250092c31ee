#include "ZFDirectory.h"

#include <algorithm>
#include <cstring>

#include "CheckedMath.h"
#include "ZFExcept.h"

using ByteOrder::GetLE16;
using ByteOrder::GetLE32;

namespace {

std::string ReadBytes(TStream& s, int64_t count) {
    std::string bytes((size_t)count, '\0');
    if (count > 0) s.ReadBuffer(&bytes[0], (int32_t)count);
    return bytes;
}

constexpr uint32_t Marker32 = 0xFFFFFFFF;
constexpr uint16_t Marker16 = 0xFFFF;
// A UTF-8 name holds at most this many bytes.
constexpr size_t MaxUtf8NameBytes = 254;

}  // namespace

// ---- Records -------------------------------------------------------------------------------------------

namespace {

// The fields that the local and the central header share, in the same order.
template <class THeader>
void LoadCommonFields(TZFRecordReader& r, THeader& h) {
    h.VersionNeeded = r.U16();
    h.Flags = r.U16();
    h.Method = r.U16();
    h.DosTime = r.U16();
    h.DosDate = r.U16();
    h.Crc32 = r.U32();
    h.PackedSize = r.U32();
    h.UnpackedSize = r.U32();
    h.NameLength = r.U16();
    h.ExtraLength = r.U16();
}

template <class THeader>
void StoreCommonFields(TZFRecordWriter& w, const THeader& h) {
    w.U16(h.VersionNeeded).U16(h.Flags).U16(h.Method).U16(h.DosTime).U16(h.DosDate);
    w.U32(h.Crc32).U32(h.PackedSize).U32(h.UnpackedSize).U16(h.NameLength).U16(h.ExtraLength);
}

}  // namespace

void TZFCentralHeader::Load(const uint8_t* p) {
    TZFRecordReader r(p, ZFCentralHeaderSize);
    Signature = r.U32();
    VersionMadeBy = r.U16();
    LoadCommonFields(r, *this);
    CommentLength = r.U16();
    DiskNumberStart = r.U16();
    InternalAttr = r.U16();
    ExternalAttr = r.U32();
    LocalHeaderOffset = r.U32();
}

void TZFCentralHeader::Store(TZFRecordWriter& W) const {
    W.U32(Signature).U16(VersionMadeBy);
    StoreCommonFields(W, *this);
    W.U16(CommentLength).U16(DiskNumberStart).U16(InternalAttr).U32(ExternalAttr).U32(LocalHeaderOffset);
}

void TZFLocalHeader::Load(const uint8_t* p) {
    TZFRecordReader r(p, ZFLocalHeaderSize);
    Signature = r.U32();
    LoadCommonFields(r, *this);
}

void TZFLocalHeader::Store(TZFRecordWriter& W) const {
    W.U32(Signature);
    StoreCommonFields(W, *this);
}

void TZFEndRecord::Load(const uint8_t* p) {
    TZFRecordReader r(p, ZFEndRecordSize);
    Signature = r.U32();
    ThisDisk = r.U16();
    DirectoryDisk = r.U16();
    EntriesOnDisk = r.U16();
    TotalEntries = r.U16();
    DirectorySize = r.U32();
    DirectoryOffset = r.U32();
    CommentLength = r.U16();
}

void TZFEndRecord::Store(TZFRecordWriter& W) const {
    W.U32(Signature).U16(ThisDisk).U16(DirectoryDisk).U16(EntriesOnDisk).U16(TotalEntries);
    W.U32(DirectorySize).U32(DirectoryOffset).U16(CommentLength);
}

void TZFZip64EndRecord::Load(const uint8_t* p) {
    TZFRecordReader r(p, ZFZip64EndRecordSize);
    Signature = r.U32();
    RecordSize = r.U64();
    VersionMadeBy = r.U16();
    VersionNeeded = r.U16();
    ThisDisk = r.U32();
    DirectoryDisk = r.U32();
    EntriesOnDisk = r.U64();
    TotalEntries = r.U64();
    DirectorySize = r.U64();
    DirectoryOffset = r.U64();
}

void TZFZip64EndRecord::Store(TZFRecordWriter& W) const {
    W.U32(Signature).U64(RecordSize).U16(VersionMadeBy).U16(VersionNeeded).U32(ThisDisk).U32(DirectoryDisk);
    W.U64(EntriesOnDisk).U64(TotalEntries).U64(DirectorySize).U64(DirectoryOffset);
}

void TZFZip64Locator::Load(const uint8_t* p) {
    TZFRecordReader r(p, ZFZip64LocatorSize);
    Signature = r.U32();
    Zip64Disk = r.U32();
    Zip64Offset = r.U64();
    TotalDisks = r.U32();
}

void TZFZip64Locator::Store(TZFRecordWriter& W) const {
    W.U32(Signature).U32(Zip64Disk).U64(Zip64Offset).U32(TotalDisks);
}

// ---- Items -------------------------------------------------------------------------------------------------

int64_t TDirItem::PackedSize() const {
    return Header.PackedSize == Marker32 ? Zip64Packed : Header.PackedSize;
}

int64_t TDirItem::UnpackedSize() const {
    return Header.UnpackedSize == Marker32 ? Zip64Unpacked : Header.UnpackedSize;
}

int64_t TDirItem::LocalOffset() const {
    return Header.LocalHeaderOffset == Marker32 ? Zip64Offset : Header.LocalHeaderOffset;
}

uint32_t TDirItem::DiskNumber(bool ArchiveHasZip64) const {
    if (Header.DiskNumberStart != Marker16) return Header.DiskNumberStart;
    return ArchiveHasZip64 ? Zip64Disk : 0;
}

bool TDirItem::IsFolder() const {
    return (Header.ExternalAttr & faDirectory) != 0 || (!EntryName.empty() && EntryName.back() == L'/');
}

const TZFExtraField* TDirItem::FindExtra(uint16_t Id) const {
    for (const TZFExtraField& f : ExtraFields)
        if (f.Id == Id) return &f;
    return nullptr;
}

std::wstring ZFDecodeStoredName(const std::string& Raw, uint16_t Flags, bool OemNames) {
    // UTF-8 is recognised on the stored bytes themselves: a code-page conversion first would
    // garble names written as UTF-8 without flag bit 11.
    if (ZFIsUtf8Name(Raw)) return ZFCodePageToWide(Raw, zcpUtf8);
    if (OemNames && !(Flags & zfFlagUtf8)) return ZFCodePageToWide(Raw, zcpOem);
    return ZFCodePageToWide(Raw, zcpAnsi);
}

std::string ZFStoredName(const std::wstring& Name, bool OemNames, bool& Utf8) {
    std::string bytes = ZFEncodeName(Name, Utf8);
    if (!Utf8) return OemNames ? ZFAnsiToOem(bytes) : bytes;
    // Whole characters only: the cut moves back over continuation bytes.
    size_t cut = std::min(bytes.size(), MaxUtf8NameBytes);
    while (cut > 0 && cut < bytes.size() && ((uint8_t)bytes[cut] & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
    return bytes;
}

void ZFParseExtraFields(TDirItem& Item, const std::string& Extra) {
    TZFRecordReader fields(Extra);
    while (fields.Left() >= 4) {
        TZFExtraField f;
        f.Id = fields.U16();
        const uint16_t declared = fields.U16();
        f.Data = fields.Bytes(declared);
        f.Size = (uint16_t)f.Data.size();
        TZFRecordReader d(f.Data);
        if (f.Id == ZFZip64ExtraId) {
            // Only the values whose 32-bit fields hold the marker are there, in this order.
            auto take64 = [&](bool marked, int64_t& value) {
                if (marked && d.Left() >= 8) value = (int64_t)d.U64();
            };
            take64(Item.Header.UnpackedSize == Marker32, Item.Zip64Unpacked);
            take64(Item.Header.PackedSize == Marker32, Item.Zip64Packed);
            take64(Item.Header.LocalHeaderOffset == Marker32, Item.Zip64Offset);
            if (Item.Header.DiskNumberStart == Marker16 && d.Left() >= 4) Item.Zip64Disk = d.U32();
            Item.HasZip64 = true;
        } else if (f.Id == ZFUnicodeExtraId) {
            if (d.U32() == ZFUnicodeExtraSignature) {
                const uint32_t count = d.U32();
                if (d.Ok() && count <= d.Left() / 2) {
                    std::wstring name(count, L'\0');
                    for (wchar_t& c : name) c = (wchar_t)d.U16();
                    Item.EntryName = name;
                }
            }
        } else if (f.Id == ZFAesExtraFieldId) {
            if (Item.Header.VersionNeeded < ZFAlternateVersion && f.Size >= ZFAesExtraFieldSize) {
                d.Bytes(4);   // vendor version and vendor id
                const uint8_t strength = d.U8();
                if (strength >= 1 && strength <= 3) Item.AesStrength = strength;
                Item.RealMethod = d.U16();
            }
        }
        Item.ExtraFields.push_back(std::move(f));
    }
}

void ZFPutExtraField(TZFRecordWriter& W, uint16_t Id, const std::string& Data) {
    W.U16(Id).U16((uint16_t)Data.size()).Bytes(Data);
}

std::string ZFZip64ExtraField(std::optional<int64_t> Unpacked, std::optional<int64_t> Packed,
                              std::optional<int64_t> Offset, std::optional<uint32_t> Disk) {
    TZFRecordWriter values;
    for (const std::optional<int64_t>& v : {Unpacked, Packed, Offset})
        if (v) values.U64((uint64_t)*v);
    if (Disk) values.U32(*Disk);
    TZFRecordWriter field;
    ZFPutExtraField(field, ZFZip64ExtraId, values.Data());
    return field.Data();
}

std::string ZFCentralExtraFields(const TDirItem& Item) {
    const TZFCentralHeader& h = Item.Header;
    TZFRecordWriter w;
    if (h.UnpackedSize == Marker32 || h.PackedSize == Marker32 || h.LocalHeaderOffset == Marker32 ||
        h.DiskNumberStart == Marker16) {
        auto when = [](bool marked, int64_t value) { return marked ? std::optional<int64_t>(value) : std::nullopt; };
        w.Bytes(ZFZip64ExtraField(when(h.UnpackedSize == Marker32, Item.Zip64Unpacked),
                                  when(h.PackedSize == Marker32, Item.Zip64Packed),
                                  when(h.LocalHeaderOffset == Marker32, Item.Zip64Offset),
                                  h.DiskNumberStart == Marker16 ? std::optional<uint32_t>(Item.Zip64Disk)
                                                                : std::nullopt));
    }
    for (const TZFExtraField& f : Item.ExtraFields)
        if (f.Id != ZFZip64ExtraId) ZFPutExtraField(w, f.Id, f.Data);
    return w.Data();
}

// ---- The item array -------------------------------------------------------------------------------------

TZFDirArray::TZFDirArray() = default;

TZFDirArray::~TZFDirArray() {
    Clear();
}

void TZFDirArray::FreeItemData(TDirItem& Item) {
    Item.ExtraFields.clear();
    Item.ExtraFields.shrink_to_fit();
}

void TZFDirArray::SetCount(int32_t N) {
    if (N < 0) N = 0;
    if (N == 0) {
        for (int32_t i = 0; i < FCount; ++i) FreeItemData(FItems[i]);
        FItems.clear();
        FItems.shrink_to_fit();
        FCount = 0;
        return;
    }
    if (N > (int32_t)FItems.size()) {
        FStep = std::min(2 * FStep, 10000);
        FItems.resize((size_t)std::max<int64_t>(N, (int64_t)FItems.size() + FStep));
    }
    for (int32_t i = FCount; i < N; ++i) FItems[i] = TDirItem();
    FCount = N;
}

TDirItem TZFDirArray::GetItem(int32_t I) const {
    if (I < 0 || I >= FCount) throw EZFException(ZFErrItemCopyIndex);
    return FItems[I];
}

TDirItem& TZFDirArray::ItemAt(int32_t I) {
    if (I < 0 || I >= FCount) throw EZFException(ZFErrItemIndex);
    return FItems[I];
}

const TDirItem& TZFDirArray::ItemAt(int32_t I) const {
    if (I < 0 || I >= FCount) throw EZFException(ZFErrItemIndex);
    return FItems[I];
}

void TZFDirArray::SetItem(int32_t I, const TDirItem& Item) {
    if (I < 0 || I >= FCount) throw EZFException(ZFErrItemStoreIndex);
    const std::wstring key = ZFLowerCase(Item.EntryName);
    if (FIndex.GetCount() > I) FIndex.ReplaceLine(I, key);
    else if (FIndex.GetCount() == I) FIndex.Add(key);
    else throw EZFException(ZFErrNameIndex);
    FreeItemData(FItems[I]);
    FItems[I] = Item;
}

void TZFDirArray::Delete(int32_t I) {
    if (I < 0 || I >= FCount) throw EZFException(ZFErrItemDeleteIndex);
    TDirItem& item = FItems[I];
    item.SourceStream.reset();
    FreeItemData(item);
    if (I < FIndex.GetCount()) FIndex.Delete(I);
    FItems.erase(FItems.begin() + I);
    --FCount;
}

void TZFDirArray::Clear() {
    for (int32_t i = 0; i < FCount; ++i) FreeItemData(FItems[i]);
    FCount = 0;
    FIndex.Clear();
}

void TZFDirArray::ClearSelection() {
    for (int32_t i = 0; i < FCount; ++i) FItems[i].IsSelected = false;
}

int32_t TZFDirArray::FindName(const std::wstring& Name) const {
    const int32_t i = FIndex.IndexOf(ZFLowerCase(Name));
    return i < FCount ? i : -1;
}

void TZFDirArray::Rename(int32_t I, const std::wstring& Name) {
    TDirItem& item = ItemAt(I);
    const std::wstring key = ZFLowerCase(Name);
    const int32_t other = FIndex.IndexOf(key);
    if (other >= 0 && other != I) throw EZFException(ZFErrDuplicateName);
    if (FIndex.GetCount() > I) FIndex.ReplaceLine(I, key);
    else if (FIndex.GetCount() == I) FIndex.Add(key);
    else throw EZFException(ZFErrNameIndex);
    item.EntryName = Name;
}

void TZFDirArray::Assign(const TZFDirArray& Other) {
    Clear();
    SetCount(Other.FCount);
    for (int32_t i = 0; i < Other.FCount; ++i) SetItem(i, Other.FItems[i]);
}

// ---- Signature search --------------------------------------------------------------------------------------

int64_t ZFFindSignature(TStream& Stream, int64_t From, const uint32_t* Signatures, int32_t SignatureCount,
                        int32_t Window, int32_t MinAfter) {
    const int64_t size = Stream.GetSize();
    std::vector<uint8_t> buffer((size_t)Window);
    int64_t start = std::max<int64_t>(From, 0);
    while (start <= size - 4) {
        const int32_t n = (int32_t)std::min<int64_t>(Window, size - start);
        Stream.SetPosition(start);
        Stream.ReadBuffer(buffer.data(), n);
        for (int32_t i = 0; i + 4 <= n; ++i) {
            const uint32_t v = GetLE32(&buffer[i]);
            for (int32_t k = 0; k < SignatureCount; ++k)
                if (v == Signatures[k] && size - (start + i) >= MinAfter) return start + i;
        }
        if (start + n >= size) break;
        // The next window starts where a signature cut by this one's end would start.
        start += n - 3;
    }
    return -1;
}

// ---- The manager -----------------------------------------------------------------------------------------

TZFDirManager::TZFDirManager(TZFArchiveCore& Archiver, TStream* Stream, bool CallerStream, bool Create)
    : FArchiver(Archiver), FStream(Stream), FCallerStream(CallerStream), FCreate(Create) {
    Reset();
    SetPrefix(0);
    if (!Create) return;
    FArchiver.CurrentVolume.MakeFirst();
    if (FArchiver.SFXStub.empty()) return;
    TFileStream stub(FArchiver.SFXStub, fmOpenRead | fmShareDenyNone);
    const int64_t size = stub.GetSize();
    const int64_t first = FArchiver.SpanningOptions.VolumeSizeLimit(true);
    if (FArchiver.GetSpanningMode() != smNone && first > 0 && first < size) throw EZFException(ZFErrStubTooLarge, &FArchiver);
    FStream->SetSize(0);
    FStream->SetPosition(0);
    if (size > 0) FStream->CopyFrom(&stub, 0);
    SetPrefix(size);
}

const TZFSignatures& TZFDirManager::Signatures() const {
    return FArchiver.StandardSignatures ? ZFStandardSignatures : ZFAlternateSignatures;
}

void TZFDirManager::SetPrefix(int64_t Value) {
    PrefixSize = Value;
    FArchiver.DirectoryPrefix = Value;
}

void TZFDirManager::Reset() {
    Items.Clear();
    EndRecord = TZFEndRecord();
    EndRecord.Signature = Signatures().End;
    HasZip64 = false;
    Zip64EndRecord = TZFZip64EndRecord();
    Zip64Locator = TZFZip64Locator();
    Comment.clear();
}

void TZFDirManager::RequestVolume(const TZFVolumeNumberInfo& Volume) {
    if (FCallerStream) {
        FArchiver.CurrentVolume = Volume;
        return;
    }
    FArchiver.RequestVolume(Volume);
    FStream = FArchiver.ArchiveStream();
}

TZFArchiveCore::TZFEndSearch TZFDirManager::FindEndRecord(uint32_t Signature) {
    TZFArchiveCore::TZFEndSearch result;
    EndRecord = TZFEndRecord();
    Comment.clear();
    const int64_t size = StreamSize();
    const int64_t length = std::min<int64_t>(size, 65600);
    const int64_t base = size - length;
    std::vector<uint8_t> buffer((size_t)length);
    FStream->SetPosition(base);
    if (length > 0) FStream->ReadBuffer(buffer.data(), (int32_t)length);
    for (int64_t i = length - 4; i >= 0; --i) {
        if (GetLE32(&buffer[(size_t)i]) != Signature) continue;
        const int64_t after = length - i;   // bytes from the candidate to the stream's end
        if (!result.MetSignature && after >= 6) result.ThisDisk = GetLE16(&buffer[(size_t)i + 4]);
        result.MetSignature = true;
        if (Signature == ZFStandardSignatures.End) MetStandardEnd = true;
        if (after < ZFEndRecordSize) continue;
        if (GetLE16(&buffer[(size_t)i + 20]) != after - ZFEndRecordSize) continue;
        EndRecord.Load(&buffer[(size_t)i]);
        Comment.assign(reinterpret_cast<const char*>(&buffer[(size_t)i + ZFEndRecordSize]),
                       (size_t)(after - ZFEndRecordSize));
        result.Found = true;
        result.Offset = base + i;
        result.ThisDisk = EndRecord.ThisDisk;
        break;
    }
    return result;
}

TZFArchiveCore::TZFEndSearch TZFDirManager::FindEndRecord() {
    MetStandardEnd = false;
    if (FArchiver.StandardSignatures) return FindEndRecord(ZFStandardSignatures.End);
    TZFArchiveCore::TZFEndSearch result = FindEndRecord(ZFAlternateSignatures.End);
    if (result.Found) return result;
    TZFArchiveCore::TZFEndSearch standard = FindEndRecord(ZFStandardSignatures.End);
    standard.MetSignature = standard.MetSignature || result.MetSignature;
    return standard;
}

bool TZFDirManager::EndRecordExists() {
    const bool found = FindEndRecord().Found;
    return FArchiver.RepairOnOpen || found;
}

void TZFDirManager::ReadDirectory() {
    Reset();
    SetPrefix(0);
    const TZFArchiveCore::TZFEndSearch search = FindEndRecord();
    if (!search.Found) {
        Repair();
        return;
    }
    const int64_t endOffset = search.Offset;
    const bool spanning = FArchiver.GetSpanningMode() != smNone;

    // The ZIP64 locator right before the end record, and the ZIP64 end record it points to (or,
    // behind a prefix that the locator does not count, the one right before the locator).
    int64_t zip64EndOffset = -1;
    if (endOffset > ZFZip64LocatorSize) {
        uint8_t loc[ZFZip64LocatorSize];
        FStream->SetPosition(endOffset - ZFZip64LocatorSize);
        FStream->ReadBuffer(loc, ZFZip64LocatorSize);
        if (GetLE32(loc) == ZFZip64LocatorSignature) {
            Zip64Locator.Load(loc);
            if (endOffset - ZFZip64LocatorSize > ZFZip64EndRecordSize) {
                uint8_t rec[ZFZip64EndRecordSize];
                auto readAt = [&](int64_t at) {
                    if (at < 0 || at > StreamSize() - ZFZip64EndRecordSize) return false;
                    FStream->SetPosition(at);
                    FStream->ReadBuffer(rec, ZFZip64EndRecordSize);
                    return GetLE32(rec) == ZFZip64EndSignature;
                };
                const int64_t beforeLocator = endOffset - ZFZip64LocatorSize - ZFZip64EndRecordSize;
                if (readAt((int64_t)std::min<uint64_t>(Zip64Locator.Zip64Offset, INT64_MAX))) {
                    zip64EndOffset = (int64_t)Zip64Locator.Zip64Offset;
                } else if (!spanning && readAt(beforeLocator)) {
                    zip64EndOffset = beforeLocator;
                } else {
                    throw EZFException(ZFErrZip64EndRecordNotFound);
                }
                Zip64EndRecord.Load(rec);
                HasZip64 = true;
            }
        }
    }
    if (!HasZip64 && EndRecord.TotalEntries == Marker16) {
        Repair();
        return;
    }

    DirectoryDisk = EndRecord.DirectoryDisk != Marker16 ? EndRecord.DirectoryDisk
                                                          : (HasZip64 ? Zip64EndRecord.DirectoryDisk : 0);
    ThisDisk = EndRecord.ThisDisk != Marker16 ? EndRecord.ThisDisk
                                              : (HasZip64 ? Zip64Locator.TotalDisks - 1 : 0);
    FArchiver.CurrentVolume.LastVolumeNumber = (int32_t)ThisDisk;
    // The volume that holds the end record is now known by number too.
    if (FArchiver.CurrentVolume.Kind == vkLast) FArchiver.CurrentVolume.VolumeNumber = (int32_t)ThisDisk;
    TZFVolumeNumberInfo wanted;
    wanted.LastVolumeNumber = (int32_t)ThisDisk;
    wanted.SetNumber((int32_t)DirectoryDisk);
    if (spanning) RequestVolume(wanted);

    const uint64_t directorySize = HasZip64 ? Zip64EndRecord.DirectorySize : EndRecord.DirectorySize;
    const int64_t count = HasZip64 ? (int64_t)(uint32_t)Zip64EndRecord.TotalEntries : EndRecord.TotalEntries;
    try {
        // Counts and sizes come from the archive: before anything is allocated they must fit the
        // bytes that are there (every central header takes at least 46 of them).
        int64_t start;
        if (spanning) {
            start = (int64_t)std::min<uint64_t>(HasZip64 ? Zip64EndRecord.DirectoryOffset : EndRecord.DirectoryOffset,
                                               INT64_MAX);
            if (start > StreamSize()) throw EZFException(ZFErrCorruptDirectory);
        } else {
            const int64_t anchor = HasZip64 ? endOffset - ZFZip64LocatorSize - ZFZip64EndRecordSize : endOffset;
            if (directorySize > (uint64_t)anchor) throw EZFException(ZFErrCorruptDirectory);
            start = anchor - (int64_t)directorySize;
        }
        if ((uint64_t)count * ZFCentralHeaderSize > directorySize) throw EZFException(ZFErrCorruptDirectory);
        FStream->SetPosition(start);
        DirectoryStart = start;
        ReadCentralHeaders(count);
    } catch (const Exception&) {
        if (!FArchiver.RepairOnOpen) throw;
        Repair();
        return;
    }

    if (!FArchiver.RepairOnOpen && !spanning) {
        // The sizes come from the archive: a sum that does not fit is as false as one too large.
        int64_t total = 0;
        for (int32_t i = 0; i < Items.Count(); ++i)
            if (!Checked::Add(total, Items.ItemAt(i).PackedSize(), &total)) throw EZFException(ZFErrCorruptDirectory);
        if (total > StreamSize()) throw EZFException(ZFErrCorruptDirectory);
    }
    if (ThisDisk == 0) {
        FEndOffsetForPrefix = HasZip64 ? zip64EndOffset : endOffset;
        MeasurePrefix();
    }
    CorrectOffsets();
}

void TZFDirManager::ReadCentralHeaders(int64_t Count) {
    Items.Clear();
    for (int64_t i = 0; i < Count; ++i) {
        if (FArchiver.GetSpanningMode() != smNone && StreamSize() - FStream->GetPosition() < ZFCentralHeaderSize) {
            TZFVolumeNumberInfo next = FArchiver.CurrentVolume;
            next.SetNumber(FArchiver.CurrentVolume.VolumeNumber + 1);
            RequestVolume(next);
            FStream->SetPosition(0);
        }
        if (i == 0) DirectoryStart = FStream->GetPosition();
        ReadOneEntry((int32_t)i);
    }
}

void TZFDirManager::ReadOneEntry(int32_t Index) {
    uint8_t raw[ZFCentralHeaderSize];
    FStream->ReadBuffer(raw, ZFCentralHeaderSize);
    TDirItem item;
    item.Header.Load(raw);
    if (item.Header.Signature != ZFStandardSignatures.Central && item.Header.Signature != ZFAlternateSignatures.Central)
        throw EZFException(ZFErrCorruptDirectory);
    if ((item.Header.Flags & zfFlagEncrypted) && item.Header.VersionNeeded < ZFAlternateVersion) item.AesStrength = 0;
    item.RealMethod = item.Header.Method;
    const bool oem = EndRecord.Signature == ZFStandardSignatures.End && FArchiver.Options.OEMFileNames;
    if (item.Header.NameLength)
        item.EntryName = ZFDecodeStoredName(ReadBytes(*FStream, item.Header.NameLength), item.Header.Flags, oem);
    if (item.Header.ExtraLength) ZFParseExtraFields(item, ReadBytes(*FStream, item.Header.ExtraLength));
    if (item.Header.CommentLength) item.EntryComment = ReadBytes(*FStream, item.Header.CommentLength);
    Items.SetCount(Index + 1);
    Items.SetItem(Index, item);
}

void TZFDirManager::MeasurePrefix() {
    if (EndRecord.TotalEntries == 0) {
        SetPrefix(std::max<int64_t>(FEndOffsetForPrefix, 0));
        return;
    }
    if (Items.Count() == 0) return;
    const TDirItem& first = Items.ItemAt(0);
    const uint32_t locals[2] = {ZFStandardSignatures.Local, ZFAlternateSignatures.Local};
    const int64_t size = StreamSize();
    int64_t from = first.LocalOffset();
    for (;;) {
        const int64_t hit = ZFFindSignature(*FStream, from, locals, 2, 10000, ZFLocalHeaderSize);
        if (hit < 0) return;
        uint8_t raw[ZFLocalHeaderSize];
        FStream->SetPosition(hit);
        FStream->ReadBuffer(raw, ZFLocalHeaderSize);
        TZFLocalHeader lh;
        lh.Load(raw);
        bool accept = hit + ZFLocalHeaderSize + lh.NameLength <= size;
        if (accept && hit != 0) {
            const TZFCentralHeader& c = first.Header;
            accept = lh.VersionNeeded == c.VersionNeeded && lh.Method == c.Method && lh.DosTime == c.DosTime &&
                     lh.DosDate == c.DosDate;
            // An entry with a data descriptor may leave CRC and sizes out of its local header.
            if (accept && !(lh.Flags & zfFlagDescriptor))
                accept = lh.Crc32 == c.Crc32 && lh.PackedSize == c.PackedSize && lh.UnpackedSize == c.UnpackedSize;
        }
        if (accept) {
            SetPrefix(hit);
            return;
        }
        from = hit + 1;
    }
}

void TZFDirManager::CorrectOffsets() {
    if (PrefixSize <= 0) return;
    int32_t firstData = -1;
    for (int32_t i = 0; i < Items.Count() && firstData < 0; ++i)
        if (Items.ItemAt(i).Header.PackedSize != 0) firstData = i;
    if (firstData < 0 || Items.ItemAt(firstData).Header.LocalHeaderOffset >= PrefixSize) return;
    for (int32_t i = 0; i < Items.Count(); ++i) {
        TDirItem& item = Items.ItemAt(i);
        if ((item.Header.ExternalAttr & faDirectory) || item.Header.LocalHeaderOffset == Marker32) continue;
        const int64_t moved = (int64_t)item.Header.LocalHeaderOffset + PrefixSize;
        if (moved >= (int64_t)Marker32) {
            item.Zip64Offset = moved;
            item.HasZip64 = true;
            item.Header.LocalHeaderOffset = Marker32;
        } else {
            item.Header.LocalHeaderOffset = (uint32_t)moved;
        }
    }
}

// ---- Repair scan ------------------------------------------------------------------------------------------

void TZFDirManager::Repair() {
    Items.Clear();
    if (FArchiver.GetSpanningMode() != smNone) throw EZFException(ZFErrRepairVolumeSet);
    const uint32_t locals[2] = {ZFStandardSignatures.Local, ZFAlternateSignatures.Local};
    int64_t hit = ZFFindSignature(*FStream, 0, locals, 2, 65535, ZFLocalHeaderSize);
    if (hit < 0) throw EZFException(ZFErrNoLocalHeader);
    while (hit >= 0) {
        int64_t next = hit + 4;
        RepairEntryAt(hit, next);
        hit = ZFFindSignature(*FStream, next, locals, 2, 65535, ZFLocalHeaderSize);
    }
    DirectoryStart = StreamSize();
}

void TZFDirManager::RepairEntryAt(int64_t Hit, int64_t& Next) {
    const int64_t size = StreamSize();
    uint8_t raw[ZFLocalHeaderSize];
    FStream->SetPosition(Hit);
    FStream->ReadBuffer(raw, ZFLocalHeaderSize);
    TZFLocalHeader lh;
    lh.Load(raw);
    if (lh.PackedSize >= size || lh.ExtraLength > 260) return;

    TDirItem item;
    TZFCentralHeader& h = item.Header;
    // The item stands for a central header: it gets the central signature of the header's set.
    h.Signature = lh.Signature == ZFStandardSignatures.Local ? ZFStandardSignatures.Central
                                                              : ZFAlternateSignatures.Central;
    h.VersionMadeBy = h.VersionNeeded = lh.VersionNeeded;
    h.Flags = lh.Flags;
    h.Method = item.RealMethod = lh.Method;
    h.DosTime = lh.DosTime;
    h.DosDate = lh.DosDate;
    h.Crc32 = lh.Crc32;
    h.PackedSize = lh.PackedSize;
    h.UnpackedSize = lh.UnpackedSize;
    h.NameLength = lh.NameLength;
    h.ExtraLength = lh.ExtraLength;
    if (Hit >= (int64_t)Marker32) {
        h.LocalHeaderOffset = Marker32;
        item.Zip64Offset = Hit;
        item.HasZip64 = true;
    } else {
        h.LocalHeaderOffset = (uint32_t)Hit;
    }
    if ((h.Flags & zfFlagEncrypted) && h.VersionNeeded < ZFAlternateVersion) item.AesStrength = 0;

    const int64_t nameStart = Hit + ZFLocalHeaderSize;
    bool complete = size - nameStart >= (int64_t)lh.NameLength + lh.ExtraLength;
    if (size - nameStart >= lh.NameLength) {
        const bool oem = MetStandardEnd && FArchiver.Options.OEMFileNames;
        item.EntryName = ZFDecodeStoredName(ReadBytes(*FStream, lh.NameLength), h.Flags, oem);
        if (complete && lh.ExtraLength) ZFParseExtraFields(item, ReadBytes(*FStream, lh.ExtraLength));
    }
    // Only a name ending in "/" makes a folder: an empty file is a file.
    h.ExternalAttr = !item.EntryName.empty() && item.EntryName.back() == L'/' ? faDirectory : faArchive;

    const int64_t dataStart = nameStart + lh.NameLength + lh.ExtraLength;
    int64_t dataEnd = -1;
    if (h.Flags & zfFlagDescriptor) {
        const uint32_t descriptor = ZFDataDescriptorSignature;
        const int64_t d = ZFFindSignature(*FStream, std::min(dataStart, size), &descriptor, 1, 65535, 16);
        if (d >= 0) {
            uint8_t desc[16];
            FStream->SetPosition(d);
            FStream->ReadBuffer(desc, 16);
            h.Crc32 = GetLE32(desc + 4);
            h.PackedSize = GetLE32(desc + 8);
            h.UnpackedSize = GetLE32(desc + 12);
            dataEnd = d + 16;
        }
    } else if (complete && !Checked::Add(dataStart, item.PackedSize(), &dataEnd)) {
        dataEnd = -1;
    }

    const int32_t index = Items.Count();
    Items.SetCount(index + 1);
    Items.SetItem(index, item);

    // The search goes on behind the entry's data when a record (or the end) stands there, so
    // that headers inside stored data, such as a stored archive, are not taken for entries.
    if (dataEnd > Hit + 4 && dataEnd <= size) {
        bool record = dataEnd == size;
        if (!record && size - dataEnd >= 4) {
            uint8_t sig[4];
            FStream->SetPosition(dataEnd);
            FStream->ReadBuffer(sig, 4);
            const uint32_t v = GetLE32(sig);
            for (uint32_t s : {ZFStandardSignatures.Local, ZFStandardSignatures.Central, ZFStandardSignatures.End,
                               ZFAlternateSignatures.Local, ZFAlternateSignatures.Central, ZFAlternateSignatures.End,
                               ZFDataDescriptorSignature, ZFZip64EndSignature})
                record = record || v == s;
        }
        if (record) Next = dataEnd;
    }
}

// ---- Writing ----------------------------------------------------------------------------------------------

void TZFDirManager::WriteDirectory(TStream* Stream) {
    if (Stream) FStream = Stream;
    const bool volumes = FArchiver.GetSpanningMode() != smNone && !FCallerStream;
    auto put = [&](const void* data, int64_t n, int64_t minimum) {
        if (n <= 0) return;
        if (volumes) {
            FArchiver.WriteAll(data, n, minimum);
            FStream = FArchiver.ArchiveStream();
        } else {
            FStream->WriteBuffer(data, (int32_t)n);
        }
    };
    FStream->Seek(0, soEnd);
    const int32_t volume = std::max(FArchiver.CurrentVolume.VolumeNumber, 0);
    EndRecord.Signature = Signatures().End;
    EndRecord.DirectoryDisk = volume > 0xFFFE ? Marker16 : (uint16_t)volume;
    const int64_t start = FStream->GetPosition();
    int64_t written = 0;

    for (int32_t i = 0; i < Items.Count(); ++i) {
        TDirItem& item = Items.ItemAt(i);
        TZFCentralHeader h = item.Header;
        const std::string extra = ZFCentralExtraFields(item);
        bool utf8 = false;
        const std::string name = ZFStoredName(item.EntryName, FArchiver.Options.OEMFileNames, utf8);
        h.Flags = (uint16_t)(utf8 ? h.Flags | zfFlagUtf8 : h.Flags & ~zfFlagUtf8);
        h.NameLength = (uint16_t)name.size();
        h.ExtraLength = (uint16_t)extra.size();
        h.CommentLength = (uint16_t)item.EntryComment.size();
        item.Header.Flags = h.Flags;
        item.Header.NameLength = h.NameLength;
        item.Header.ExtraLength = h.ExtraLength;
        TZFRecordWriter record;
        h.Store(record);
        const std::string& raw = record.Data();
        put(raw.data(), (int64_t)raw.size(), (int64_t)name.size() + (int64_t)extra.size());
        put(name.data(), (int64_t)name.size(), -1);
        put(extra.data(), (int64_t)extra.size(), -1);
        put(item.EntryComment.data(), (int64_t)item.EntryComment.size(), -1);
        written += ZFCentralHeaderSize + (int64_t)name.size() + (int64_t)extra.size() +
                   (int64_t)item.EntryComment.size();
    }

    const int32_t current = std::max(FArchiver.CurrentVolume.VolumeNumber, 0);
    const int32_t count = Items.Count();
    EndRecord.EntriesOnDisk = EndRecord.TotalEntries = count > 0xFFFE ? Marker16 : (uint16_t)count;
    EndRecord.DirectorySize = written >= (int64_t)Marker32 ? Marker32 : (uint32_t)written;
    EndRecord.DirectoryOffset = start >= (int64_t)Marker32 ? Marker32 : (uint32_t)start;
    EndRecord.CommentLength = (uint16_t)Comment.size();
    EndRecord.ThisDisk = current > 0xFFFE ? Marker16 : (uint16_t)current;

    const int64_t after = FStream->GetPosition();
    if (after >= (int64_t)Marker32 || count >= 0xFFFF) {
        Zip64EndRecord = TZFZip64EndRecord();
        Zip64EndRecord.Signature = ZFZip64EndSignature;
        Zip64EndRecord.ThisDisk = (uint32_t)current;
        Zip64EndRecord.DirectoryDisk = (uint32_t)current;
        Zip64EndRecord.EntriesOnDisk = Zip64EndRecord.TotalEntries = (uint64_t)count;
        Zip64EndRecord.DirectorySize = (uint64_t)written;
        Zip64EndRecord.DirectoryOffset = (uint64_t)start;
        Zip64Locator.Signature = ZFZip64LocatorSignature;
        Zip64Locator.Zip64Disk = (uint32_t)current;
        Zip64Locator.Zip64Offset = (uint64_t)FStream->GetPosition();
        Zip64Locator.TotalDisks = (uint32_t)current + 1;
        TZFRecordWriter records;
        Zip64EndRecord.Store(records);
        Zip64Locator.Store(records);
        put(records.Data().data(), (int64_t)records.Data().size(), 0);
        HasZip64 = true;
    }
    TZFRecordWriter end;
    EndRecord.Store(end);
    put(end.Data().data(), (int64_t)end.Data().size(), (int64_t)Comment.size());
    put(Comment.data(), (int64_t)Comment.size(), -1);

    // A written set ends in the volume that carries the archive's own name.
    if (volumes && FArchiver.CurrentVolumeName != FArchiver.FileName) {
        const std::wstring written_ = FArchiver.CurrentVolumeName;
        FArchiver.FreeArchiveStream();
        const std::wstring final_ = FArchiver.VolumeName(FArchiver.FileName, -1, false);
        ZFDeleteFile(final_);
        ZFRenameFile(written_, final_);
        FArchiver.SetOwnedStream(std::make_unique<TFileStream>(final_, fmOpenReadWrite | fmShareDenyNone));
        FArchiver.CurrentVolumeName = final_;
        FStream = FArchiver.ArchiveStream();
    }
}
