#include "ZFWrite.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "CheckedMath.h"
#include "ZFCipher.h"
#include "ZFExcept.h"
#include "ZFStrFunc.h"
#include "ZFZlib.h"

using ByteOrder::GetLE32;

namespace {

constexpr uint32_t Marker32 = 0xFFFFFFFF;
constexpr uint16_t Marker16 = 0xFFFF;
constexpr uint16_t FolderFlags = 2;
constexpr int32_t CopyBlock = 1048576;
constexpr int32_t MaxWriteRetries = 3;
// Info-ZIP's Unicode path field: like the engine's own 0x554E field it names the entry.
constexpr uint16_t InfoZipUnicodePathId = 0x7075;

std::wstring Backslashed(std::wstring name) {
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return name;
}
std::wstring Slashed(std::wstring name) {
    std::replace(name.begin(), name.end(), L'\\', L'/');
    return name;
}

// Operations that change only the central directory record; the entry's bytes are copied.
bool IsDirectoryChange(uint8_t op) {
    return op == poRename || op == poChangeAttr || op == poChangeComment;
}

std::string LocalHeaderBytes(const TZFLocalHeader& h) {
    TZFRecordWriter w;
    h.Store(w);
    return w.Data();
}

std::string ExtraFieldBytes(uint16_t id, const std::string& data) {
    TZFRecordWriter w;
    ZFPutExtraField(w, id, data);
    return w.Data();
}

// The entry's name as stored; its flag bit 11 follows the form the name takes.
std::string StoredNameOf(TDirItem& item, bool oemNames) {
    bool utf8 = false;
    const std::string name = ZFStoredName(item.EntryName, oemNames, utf8);
    if (utf8) item.Header.Flags |= zfFlagUtf8;
    else item.Header.Flags &= (uint16_t)~zfFlagUtf8;
    return name;
}

void RemoveExtra(TDirItem& item, uint16_t id) {
    item.ExtraFields.erase(std::remove_if(item.ExtraFields.begin(), item.ExtraFields.end(),
                                          [id](const TZFExtraField& f) { return f.Id == id; }),
                           item.ExtraFields.end());
}

// The entry keeps the extra field (id, size, data) it is written with.
void AddExtra(TDirItem& item, const std::string& field) {
    TZFRecordReader r(field);
    TZFExtraField f;
    f.Id = r.U16();
    f.Data = r.Bytes(r.U16());
    f.Size = (uint16_t)f.Data.size();
    item.ExtraFields.push_back(std::move(f));
}

uint32_t ShareFlags(TZFFileShareMode mode) {
    switch (mode) {
    case smShareCompat: return fmShareCompat;
    case smShareExclusive: return fmShareExclusive;
    case smShareDenyWrite: return fmShareDenyWrite;
    case smShareDenyRead: return fmShareDenyRead;
    default: return fmShareDenyNone;
    }
}

// A temporary file ("FC...." in the temporary folder), deleted when the object goes.
class TTempFile {
public:
    TTempFile(const TComponent* owner, const std::wstring& dir) : FName(TempFileName(dir)) {
        try {
            if (FName.empty()) throw EStreamError(L"no temporary name");
            FStream = std::make_unique<TFileStream>(FName, fmOpenReadWrite | fmShareExclusive);
        } catch (const EStreamError&) {
            if (!FName.empty()) ZFDeleteFile(FName);
            throw EZFException(ZFErrCreateTempFile, owner, {FName.empty() ? dir : FName});
        }
    }
    ~TTempFile() {
        FStream.reset();
        ZFDeleteFile(FName);
    }
    TStream& Stream() { return *FStream; }

private:
    std::wstring FName;
    std::unique_ptr<TFileStream> FStream;
};

// The source of an entry being written: the caller's stream from the entry's position (its own
// position comes back afterwards), or the file opened with the share mode of the options.
class TEntrySource {
public:
    TEntrySource(const TComponent* owner, const TDirItem& item, TZFFileShareMode share) {
        if (item.IsFolder()) return;
        if (item.SourceStream) {
            Stream = item.SourceStream.get();
            FRestore = Stream->GetPosition();
            FStart = item.SourcePosition;
            Size = std::max<int64_t>(Stream->GetSize() - FStart, 0);
            FCaller = true;
            Rewind();
            return;
        }
        const std::wstring& name = item.SourceFileName;
        if (name.empty()) return;
        if (name.size() > 259 && name.compare(0, 4, L"\\\\?\\") != 0) throw EZFException(ZFErrNameTooLong, owner, {name});
        try {
            FFile = std::make_unique<TFileStream>(name, fmOpenRead | ShareFlags(share));
        } catch (const EStreamError&) {
            throw EZFException(ZFErrOpenSource, owner, {name});
        }
        Stream = FFile.get();
        Size = Stream->GetSize();
    }
    ~TEntrySource() {
        if (!FCaller) return;
        try {
            Stream->SetPosition(FRestore);
        } catch (...) {
        }
    }
    TEntrySource(const TEntrySource&) = delete;
    TEntrySource& operator=(const TEntrySource&) = delete;

    void Rewind() { Stream->SetPosition(FStart); }
    // Reads up to Count bytes, fewer only at the end of the source.
    int32_t Read(uint8_t* buffer, int32_t count) {
        int32_t got = 0;
        while (got < count) {
            const int32_t n = Stream->Read(buffer + got, count - got);
            if (n <= 0) break;
            got += n;
        }
        return got;
    }

    TStream* Stream = nullptr;
    int64_t Size = 0;

private:
    std::unique_ptr<TFileStream> FFile;
    int64_t FStart = 0;
    int64_t FRestore = 0;
    bool FCaller = false;
};

// zlib's deflate state, released when the scope ends.
class TDeflater {
public:
    explicit TDeflater(int level) {
        if (deflateInit2(&Z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw ECompressionError(L"error");
    }
    ~TDeflater() { deflateEnd(&Z); }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;
    z_stream Z{};
};

}  // namespace

int32_t ZFCompressionBufferSize(uint8_t Mode) {
    if (Mode == 0) return 1048576;
    if (Mode <= 3) return 524288;
    if (Mode <= 6) return 1048576;
    return 1572864;
}

// ---- The commit ------------------------------------------------------------------------------------------

class TZFArchiveWriter::TCommit {
public:
    explicit TCommit(TZFArchiveWriter& writer) : W(writer), Dir(*writer.Directory()) {}
    bool Run();

private:
    int32_t FirstChanged() const;
    void Prepare(int32_t& first);
    bool WriteEntries(int32_t first);

    // One entry to be written, decided before any of its bytes are: its names, method, cipher,
    // ZIP64 use, extra fields and local header.
    struct TEntryPlan {
        TZFProcessOperation Op = poAdd;
        std::wstring Shown;      // the name that progress events show
        std::wstring Reported;   // the name that errors report
        std::string StoredName;
        bool Standard = true;
        bool Deflate = false;
        bool Pkware = false;
        bool Always = false;     // ZIP64 whatever the sizes and offsets
        bool BigSizes = false;   // ZIP64 sizes in the local header
        std::unique_ptr<TAESCryptoTransform> Aes;
        std::string Extras;      // the entry's own extra fields, behind the ZIP64 one
        TZFLocalHeader Local;
        int64_t Size = 0;
    };
    bool WriteEntry(TDirItem& item);
    bool EntryProgress(const TEntryPlan& plan, double progress, TZFProgressPhase phase);
    void PlanEntry(TDirItem& item, int64_t size, TEntryPlan& plan);
    std::string LocalHeaderBlock(TEntryPlan& plan, int64_t packed);
    bool EmitEntry(TDirItem& item, TEntryPlan& plan, TEntrySource& source, TStream& out, int64_t headerAt,
                   int64_t& headerSize);
    bool PlaceEntry(TDirItem& item, const TEntryPlan& plan, TStream& out, int64_t headerAt, int64_t headerSize);
    bool Compress(TDirItem& item, TEntrySource& source, TStream& out, bool deflate, bool pkware,
                  TAESCryptoTransform* aes, const std::wstring& shown, uint32_t& crc, int64_t& packed);
    bool CopyEntry(int32_t index, bool oldVersion);
    int64_t DescriptorLength(int64_t at, const TDirItem& old);
    bool CopyRange(TStream& source, int64_t from, int64_t count, TStream& out);
    bool PutData(TStream& out, const uint8_t* data, int64_t count);
    void PutHeader(TStream& out, const std::string& bytes);
    bool Progress(const std::wstring& shown, TZFProcessOperation op, int64_t size);
    bool HasOldVersion(const TDirItem& item) const;
    void WriteDirectory();
    void RemoveMovedSources();
    void Restore() noexcept;
    void RestoreSet();
    int64_t StartFirstVolume();
    void SetOffset(TDirItem& item, int64_t offset, bool zip64, uint32_t disk);
    int64_t OutputEnd() { return Set ? 0 : W.ArchiveStream()->GetPosition(); }
    void Cut(int64_t at);

    TZFArchiveWriter& W;
    TZFDirManager& Dir;
    TZFProcessOperation Operation = poDelete;
    bool Set = false;
    int64_t Base = 0;
    std::unique_ptr<TTempFile> Tail;
    std::vector<uint8_t> Scratch;
};

bool TZFArchiveWriter::TCommit::Run() {
    W.FilesDone = W.FilesTotal = 0;
    W.BytesTotal = W.BytesDone = 0;
    W.CancelFlag = false;
    W.ProgressEnabled = true;
    bool first = true;
    for (int32_t i = 0; i < Dir.Items.Count(); ++i) {
        const TDirItem& item = Dir.Items.ItemAt(i);
        if (!item.IsModified) continue;
        ++W.FilesTotal;
        int64_t size = item.UnpackedSize();
        // A queued entry's sizes are not known yet: its source tells.
        if (item.SourceStream) size = std::max<int64_t>(item.SourceStream->GetSize() - item.SourcePosition, 0);
        else if (!item.SourceFileName.empty() && !item.IsFolder()) {
            TZFSearchRec rec;
            if (ZFFindFirst(item.SourceFileName, faArchive | faReadOnly | faHidden | faSysFile, rec)) {
                size = rec.Size;
                ZFFindClose(rec);
            }
        }
        W.BytesTotal += size;
        if (first) Operation = (TZFProcessOperation)item.PendingOperation;
        first = false;
    }
    W.CurrentOperation = Operation;
    int32_t firstChanged = FirstChanged();

    bool cancel = false;
    W.DoOnOverallProgress(0, Operation, ppStart, cancel);
    if (cancel) {
        // Nothing was written: the directory in memory goes back to what the archive holds, so
        // that it never lists entries the archive does not have.
        W.ReleaseSources();
        Dir.Items.Assign(Dir.Backup);
        return false;
    }

    Set = W.GetSpanningMode() != smNone && !W.CallerOwnsStream();
    bool written = false;
    try {
        Prepare(firstChanged);
        written = WriteEntries(firstChanged);
        if (written) WriteDirectory();
    } catch (...) {
        Restore();
        throw;
    }
    if (!written) {
        Restore();
        return false;
    }
    Tail.reset();
    RemoveMovedSources();
    bool ignored = false;
    W.DoOnOverallProgress(100, Operation, ppEnd, ignored);
    if (W.Options.FlushBuffers && W.ArchiveStream()) W.Services->FlushFile(W.ArchiveStream());

    W.ReleaseSources();
    for (int32_t i = 0; i < Dir.Items.Count(); ++i) {
        TDirItem& item = Dir.Items.ItemAt(i);
        item.IsModified = false;
        item.PendingOperation = 0;
        item.PreviousName.clear();
        item.SourceFileName.clear();
        item.EntryPassword.clear();
    }
    Dir.Backup.Clear();
    return true;
}

int32_t TZFArchiveWriter::TCommit::FirstChanged() const {
    const int32_t n = std::min(Dir.Backup.Count(), Dir.Items.Count());
    for (int32_t i = 0; i < n; ++i) {
        const TDirItem& item = Dir.Items.ItemAt(i);
        if (item.IsModified || item.EntryName != Dir.Backup.ItemAt(i).EntryName) return i;
    }
    return n;
}

// Makes the first volume of a new set anew and copies the stub into it; the stub's size.
int64_t TZFArchiveWriter::TCommit::StartFirstVolume() {
    TZFVolumeNumberInfo volume;
    volume.MakeFirst();
    W.CurrentVolume.Reset();
    Dir.RequestVolume(volume);
    if (W.SFXStub.empty()) return 0;
    TFileStream stub(W.SFXStub, fmOpenRead | fmShareDenyNone);
    const int64_t size = stub.GetSize();
    if (size > 0) W.ArchiveStream()->CopyFrom(&stub, 0);
    return size;
}

void TZFArchiveWriter::TCommit::Prepare(int32_t& first) {
    if (!Set) W.CurrentVolume.MakeFirst();
    if (Set) {
        // A new set starts in its first volume, made when the archive was created (the stub, if
        // any, in front); when that volume is no longer the open one, it is made again.
        if (W.ArchiveStream() && W.CurrentVolume.VolumeNumber == 0) {
            Base = Dir.PrefixSize;
            W.ArchiveStream()->SetSize(Base);
            W.ArchiveStream()->SetPosition(Base);
        } else {
            Base = StartFirstVolume();
        }
        W.CurrentVolume.MakeFirst();
        return;
    }

    TStream& archive = *W.ArchiveStream();
    const int64_t size = archive.GetSize();
    const TZFDirArray& backup = Dir.Backup;
    if (first < backup.Count()) {
        // The rewrite starts at the lowest offset of the entries from the first changed one on;
        // when an earlier entry lies behind that point, the whole archive is rewritten.
        auto lowest = [&](int32_t from) {
            int64_t at = size;
            for (int32_t i = from; i < backup.Count(); ++i) at = std::min(at, backup.ItemAt(i).LocalOffset());
            return at;
        };
        Base = lowest(first);
        for (int32_t i = 0; i < first; ++i)
            if (backup.ItemAt(i).LocalOffset() >= Base) {
                first = 0;
                Base = lowest(0);
                break;
            }
    } else {
        Base = backup.Count() == 0 ? Dir.PrefixSize : Dir.DirectoryStart;
    }
    Base = std::min(std::max<int64_t>(Base, 0), size);

    // The old tail is kept whole, directory included, so that a restore gives back the very bytes.
    Tail = std::make_unique<TTempFile>(&W, W.TempDir);
    if (size > Base) {
        archive.SetPosition(Base);
        Tail->Stream().CopyFrom(&archive, size - Base);
    }
    archive.SetSize(Base);
    archive.SetPosition(Base);
}

bool TZFArchiveWriter::TCommit::HasOldVersion(const TDirItem& item) const {
    return Dir.Backup.FindName(item.PreviousName.empty() ? item.EntryName : item.PreviousName) >= 0;
}

void TZFArchiveWriter::TCommit::Cut(int64_t at) {
    if (Set) return;
    TStream& archive = *W.ArchiveStream();
    archive.SetSize(at);
    archive.SetPosition(at);
}

bool TZFArchiveWriter::TCommit::WriteEntries(int32_t first) {
    TZFDirArray& items = Dir.Items;
    for (int32_t i = first; i < items.Count();) {
        const uint8_t op = items.ItemAt(i).PendingOperation;
        const bool modified = items.ItemAt(i).IsModified;
        const bool rewrite = modified && !IsDirectoryChange(op);
        const int64_t start = OutputEnd();
        bool failed = false;
        for (;;) {
            try {
                if (!(rewrite ? WriteEntry(items.ItemAt(i)) : CopyEntry(i, false))) return false;
                break;
            } catch (const EZFException& e) {
                Cut(start);
                const TDirItem& item = items.ItemAt(i);
                const std::wstring name = op == poUpdate || item.SourceFileName.empty()
                                              ? Backslashed(item.EntryName) : item.SourceFileName;
                TZFAction action = fxaIgnore;
                if (!W.ArchiveStream()) action = fxaAbort;
                else W.DoOnProcessFileFailure(name, (TZFProcessOperation)op, e, action);
                if (action == fxaRetry) continue;
                if (action == fxaAbort) return false;
                failed = true;
                break;
            }
        }
        if (failed) {
            // An entry without an old version leaves the directory; any other one keeps its old bytes.
            if (!HasOldVersion(items.ItemAt(i))) {
                items.Delete(i);
                continue;
            }
            if (!CopyEntry(i, true)) return false;
        }
        ++W.FilesDone;
        ++i;
    }
    return true;
}

bool TZFArchiveWriter::TCommit::Progress(const std::wstring& shown, TZFProcessOperation op, int64_t size) {
    if (!W.ProgressEnabled) return !W.CancelFlag;
    bool cancel = false;
    W.DoOnFileProgress(shown, size > 0 ? (double)W.FileBytesDone / (double)size * 100.0 : 0.0, op, ppProcess, cancel);
    if (!cancel) {
        const double overall = W.BytesTotal > 0 ? (double)(W.BytesDone + W.FileBytesDone) / (double)W.BytesTotal * 100.0
                                                : 50.0;
        W.DoOnOverallProgress(overall, Operation, ppProcess, cancel);
    }
    if (cancel) W.CancelFlag = true;
    return !W.CancelFlag;
}

bool TZFArchiveWriter::TCommit::PutData(TStream& out, const uint8_t* data, int64_t count) {
    int32_t retries = 0;
    while (count > 0) {
        const int64_t at = out.GetPosition();
        const int32_t n = (int32_t)std::min<int64_t>(count, 0x40000000);
        const int32_t w = out.Write(data, n);
        if (w == n) {
            data += n;
            count -= n;
            continue;
        }
        // A short write: the handler may make room; the write is then tried again in place, three
        // times at most.
        if (retries++ == MaxWriteRetries) throw EZFException(ZFErrWriteShort, &W);
        bool cancel = false;
        W.DoOnDiskFull(-1, W.FileName, cancel);
        if (cancel) {
            W.CancelFlag = true;
            return false;
        }
        out.SetPosition(at);
    }
    return true;
}

void TZFArchiveWriter::TCommit::PutHeader(TStream& out, const std::string& bytes) {
    if (bytes.empty()) return;
    if (out.Write(bytes.data(), (int32_t)bytes.size()) != (int32_t)bytes.size()) throw EZFException(ZFErrWriteShort, &W);
}

void TZFArchiveWriter::TCommit::SetOffset(TDirItem& item, int64_t offset, bool zip64, uint32_t disk) {
    if (zip64 || offset >= (int64_t)Marker32) {
        item.Header.LocalHeaderOffset = Marker32;
        item.Zip64Offset = offset;
    } else {
        item.Header.LocalHeaderOffset = (uint32_t)offset;
        item.Zip64Offset = 0;
    }
    if (disk > 0xFFFE) {
        item.Header.DiskNumberStart = Marker16;
        item.Zip64Disk = disk;
    } else {
        item.Header.DiskNumberStart = (uint16_t)disk;
    }
    item.HasZip64 = item.Header.LocalHeaderOffset == Marker32 || item.Header.PackedSize == Marker32 ||
                    item.Header.UnpackedSize == Marker32 || item.Header.DiskNumberStart == Marker16;
}

bool TZFArchiveWriter::TCommit::WriteEntry(TDirItem& item) {
    W.UpdateCompressionMethod();
    TEntryPlan plan;
    plan.Op = (TZFProcessOperation)item.PendingOperation;
    const bool added = plan.Op == poAdd || plan.Op == poMove;
    plan.Shown = added && !item.SourceFileName.empty() ? item.SourceFileName : Backslashed(item.EntryName);
    plan.Reported = item.SourceFileName.empty() ? Backslashed(item.EntryName) : item.SourceFileName;
    if (!EntryProgress(plan, 0, ppStart)) return false;

    plan.StoredName = StoredNameOf(item, W.Options.OEMFileNames);
    TEntrySource source(&W, item, W.Options.ShareMode);
    PlanEntry(item, source.Size, plan);

    // A set's entry goes through a temporary file first, so that no local header straddles two
    // volumes.
    std::unique_ptr<TTempFile> temp;
    if (Set) temp = std::make_unique<TTempFile>(&W, W.TempDir);
    TStream& out = Set ? temp->Stream() : *W.ArchiveStream();
    const int64_t headerAt = out.GetPosition();
    int64_t headerSize = 0;
    if (!EmitEntry(item, plan, source, out, headerAt, headerSize)) return false;
    if (!PlaceEntry(item, plan, out, headerAt, headerSize)) return false;
    return EntryProgress(plan, 100, ppEnd);
}

bool TZFArchiveWriter::TCommit::EntryProgress(const TEntryPlan& plan, double progress, TZFProgressPhase phase) {
    bool cancel = false;
    W.DoOnFileProgress(plan.Shown, progress, plan.Op, phase, cancel);
    if (cancel) W.CancelFlag = true;
    return !cancel;
}

void TZFArchiveWriter::TCommit::PlanEntry(TDirItem& item, int64_t size, TEntryPlan& plan) {
    const bool standard = plan.Standard = W.StandardSignatures;
    const bool folder = item.IsFolder();
    plan.Size = size;
    const bool encrypted = standard && !folder && !item.EntryPassword.empty();
    const bool aesWanted = encrypted && W.EncryptionMethod != caPkzipClassic;
    plan.Pkware = encrypted && !aesWanted;
    if (folder) {
        item.Header.Method = item.RealMethod = 0;
        item.Header.Flags = FolderFlags;
    }
    plan.Deflate = standard && !folder && size > 0 && item.RealMethod == 8 && item.EntryMode > 0;
    // An empty source is stored (and so is anything the mode does not compress).
    if (standard && !plan.Deflate) item.RealMethod = 0;
    if (aesWanted) {
        const int32_t bits = W.EncryptionMethod == caAES_128 ? 128 : W.EncryptionMethod == caAES_192 ? 192 : 256;
        plan.Aes = std::make_unique<TAESCryptoTransform>(bits, item.RealMethod, ZFAesVendorVersion);
        plan.Aes->SetMode(ctEncrypt);
        plan.Aes->SetPassword(item.EntryPassword);
    }

    // ZIP64: sizes of 4 GiB (or, in the automatic mode, data that could grow to it), the offset.
    plan.Always = W.Zip64Mode == zmAlways;
    const int64_t overhead =
        plan.Pkware ? ZFPkwareHeaderSize : plan.Aes ? plan.Aes->HeaderSize() + ZFAesAuthCodeSize : 0;
    const bool mayGrow = W.Zip64Mode == zmAuto && size + size / 256 + 65536 + overhead >= (int64_t)Marker32;
    plan.BigSizes = plan.Always || size >= (int64_t)Marker32 || mayGrow;
    const int64_t position = Set ? 0 : W.ArchiveStream()->GetPosition();
    const bool bigOffset = plan.Always || position >= (int64_t)Marker32;
    if ((plan.BigSizes || bigOffset) && W.Zip64Mode == zmDisabled)
        throw EZFException(ZFErrZip64Disabled, &W, {plan.Reported});
    const bool zip64 = plan.BigSizes || bigOffset;
    const uint16_t version = standard ? (zip64 ? 45 : W.Options.OEMFileNames ? 20 : 0x0B14)
                                      : (zip64 ? 0x412D : ZFAlternateVersion);
    item.Header.VersionNeeded = item.Header.VersionMadeBy = version;

    // The entry's own extra fields: those it carried before give way to the ones written now.
    RemoveExtra(item, ZFZip64ExtraId);
    RemoveExtra(item, ZFUnicodeExtraId);
    RemoveExtra(item, ZFAesExtraFieldId);
    if (W.UnicodeFilenames) {
        TZFRecordWriter data;
        data.U32(ZFUnicodeExtraSignature).U32((uint32_t)item.EntryName.size());
        for (wchar_t c : item.EntryName) data.U16((uint16_t)c);
        const std::string field = ExtraFieldBytes(ZFUnicodeExtraId, data.Data());
        plan.Extras += field;
        AddExtra(item, field);
    }
    if (plan.Aes) {
        const std::string field = plan.Aes->ExtraField();
        plan.Extras += field;
        AddExtra(item, field);
    }

    TZFLocalHeader& local = plan.Local;
    local.Signature = standard ? ZFStandardSignatures.Local : ZFAlternateSignatures.Local;
    local.VersionNeeded = version;
    local.Flags = item.Header.Flags;
    local.Method = plan.Aes ? ZFAesMethod : item.RealMethod;
    local.DosTime = item.Header.DosTime;
    local.DosDate = item.Header.DosDate;
    local.Crc32 = item.Header.Crc32;
    local.UnpackedSize = plan.BigSizes ? Marker32 : (uint32_t)size;
    local.NameLength = (uint16_t)plan.StoredName.size();
}

std::string TZFArchiveWriter::TCommit::LocalHeaderBlock(TEntryPlan& plan, int64_t packed) {
    const std::string zip64 = plan.BigSizes ? ZFZip64ExtraField(plan.Size, packed) : std::string();
    plan.Local.ExtraLength = (uint16_t)(zip64.size() + plan.Extras.size());
    return LocalHeaderBytes(plan.Local) + plan.StoredName + zip64 + plan.Extras;
}

bool TZFArchiveWriter::TCommit::EmitEntry(TDirItem& item, TEntryPlan& plan, TEntrySource& source, TStream& out,
                                          int64_t headerAt, int64_t& headerSize) {
    // The header first with what is known, the data, then the header again, now complete; no data
    // descriptor follows the data.
    PutHeader(out, LocalHeaderBlock(plan, 0));

    uint32_t crc = 0;
    int64_t packed = 0;
    W.FileBytesTotal = plan.Size;
    W.FileBytesDone = 0;
    if (source.Stream && plan.Standard) {
        if (!Compress(item, source, out, plan.Deflate, plan.Pkware, plan.Aes.get(), plan.Shown, crc, packed))
            return false;
    } else if (plan.Size != 0) {
        // The alternate format has no data step: only empty sources can be stored.
        throw EZFException(ZFErrSourceShort, &W, {plan.Size, (int64_t)0});
    }

    item.Header.Crc32 = crc;
    item.Header.Method = plan.Aes ? ZFAesMethod : item.RealMethod;
    item.AesStrength = plan.Aes ? plan.Aes->Strength() : 0;
    if (!plan.BigSizes && packed >= (int64_t)Marker32) throw EZFException(ZFErrZip64Packed, &W, {plan.Reported});
    item.Zip64Unpacked = plan.Size;
    item.Zip64Packed = packed;
    item.Header.UnpackedSize = plan.BigSizes ? Marker32 : (uint32_t)plan.Size;
    item.Header.PackedSize = plan.BigSizes ? Marker32 : (uint32_t)packed;
    plan.Local.Crc32 = crc;
    plan.Local.Method = item.Header.Method;
    plan.Local.PackedSize = item.Header.PackedSize;

    const std::string header = LocalHeaderBlock(plan, packed);
    headerSize = (int64_t)header.size();
    out.SetPosition(headerAt);
    PutHeader(out, header);
    out.Seek(0, soEnd);
    return true;
}

bool TZFArchiveWriter::TCommit::PlaceEntry(TDirItem& item, const TEntryPlan& plan, TStream& out, int64_t headerAt,
                                           int64_t headerSize) {
    if (Set) {
        // The header goes whole into one volume; the data may be split.
        out.SetPosition(0);
        if (W.CopyIntoVolumes(&out, headerSize, 0, false) < headerSize) throw EZFException(ZFErrWriteShort, &W);
        const int64_t offset = W.ArchiveStream()->GetPosition() - headerSize;
        const uint32_t disk = (uint32_t)std::max(W.CurrentVolume.VolumeNumber, 0);
        const int64_t rest = out.GetSize() - headerSize;
        if (rest > 0 && W.CopyIntoVolumes(&out, rest, -1, true) < rest) {
            W.CancelFlag = true;
            return false;
        }
        if ((plan.Always || offset >= (int64_t)Marker32) && W.Zip64Mode == zmDisabled)
            throw EZFException(ZFErrZip64Disabled, &W, {plan.Reported});
        SetOffset(item, offset, plan.Always, disk);
    } else {
        SetOffset(item, headerAt, plan.Always, 0);
    }
    if (item.HasZip64 && plan.Standard) item.Header.VersionNeeded = item.Header.VersionMadeBy = 45;
    return true;
}

bool TZFArchiveWriter::TCommit::Compress(TDirItem& item, TEntrySource& source, TStream& out, bool deflate,
                                         bool pkware, TAESCryptoTransform* aes, const std::wstring& shown,
                                         uint32_t& crc, int64_t& packed) {
    const TZFProcessOperation op = (TZFProcessOperation)item.PendingOperation;
    const int64_t size = source.Size;
    const int32_t block = (int32_t)std::max<int64_t>(std::min<int64_t>(size, ZFCompressionBufferSize(item.EntryMode)), 1);
    std::vector<uint8_t> input((size_t)block);
    TPkwareKeys keys;
    bool crcKnown = false;

    auto emit = [&](const uint8_t* data, int64_t count) {
        const uint8_t* p = data;
        if (pkware || aes) {
            Scratch.resize((size_t)count);
            if (pkware) keys.Encrypt(data, Scratch.data(), (size_t)count);
            else aes->EncryptBlock(data, Scratch.data(), (uint32_t)count);
            p = Scratch.data();
        }
        packed += count;
        return PutData(out, p, count);
    };

    if (pkware) {
        // The header's check byte is the CRC's top byte: the CRC comes first, from a pass of its own.
        for (;;) {
            const int32_t got = source.Read(input.data(), block);
            if (got <= 0) break;
            crc = ZFCrc32(crc, input.data(), (size_t)got);
        }
        source.Rewind();
        crcKnown = true;
        uint8_t header[ZFPkwareHeaderSize];
        PkwareMakeHeader(keys, item.EntryPassword, crc, header);
        packed += ZFPkwareHeaderSize;
        if (!PutData(out, header, ZFPkwareHeaderSize)) return false;
    } else if (aes) {
        const std::vector<uint8_t> header = aes->HeaderBytes();
        packed += (int64_t)header.size();
        if (!PutData(out, header.data(), (int64_t)header.size())) return false;
    }

    std::unique_ptr<TDeflater> deflater;
    std::vector<uint8_t> output;
    if (deflate) {
        deflater = std::make_unique<TDeflater>(item.EntryMode);
        output.resize((size_t)(((int64_t)block + block / 10 + 12 + 255) / 256 * 256));
    }
    int64_t done = 0;
    while (done < size) {
        if (!Progress(shown, op, size)) return false;
        const int32_t want = (int32_t)std::min<int64_t>(block, size - done);
        const int32_t got = source.Read(input.data(), want);
        if (got <= 0) break;
        done += got;
        W.FileBytesDone = done;
        if (!crcKnown) crc = ZFCrc32(crc, input.data(), (size_t)got);
        const bool last = done >= size;
        if (!deflate) {
            if (!emit(input.data(), got)) return false;
        } else {
            z_stream& z = deflater->Z;
            z.next_in = input.data();
            z.avail_in = (uInt)got;
            for (;;) {
                z.next_out = output.data();
                z.avail_out = (uInt)output.size();
                const int rc = ::deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
                if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) throw ECompressionError(L"error");
                const int64_t n = (int64_t)output.size() - z.avail_out;
                if (n > 0 && !emit(output.data(), n)) return false;
                if (last ? rc == Z_STREAM_END : z.avail_in == 0 && z.avail_out != 0) break;
                if (rc == Z_BUF_ERROR && n == 0) throw ECompressionError(L"error");
            }
        }
        if (got < want) break;
    }
    W.BytesDone += size;
    if (aes) {
        const std::vector<uint8_t> code = aes->AuthCode();
        packed += (int64_t)code.size();
        if (!PutData(out, code.data(), (int64_t)code.size())) return false;
    }
    if (done != size && !W.CancelFlag) throw EZFException(ZFErrSourceShort, &W, {size, done});
    return true;
}

int64_t TZFArchiveWriter::TCommit::DescriptorLength(int64_t at, const TDirItem& old) {
    if (!(old.Header.Flags & zfFlagDescriptor)) return 0;
    TStream& tail = Tail->Stream();
    uint8_t d[24] = {};
    const int64_t available = std::min<int64_t>(tail.GetSize() - at, 24);
    if (available < 12) return 0;
    tail.SetPosition(at);
    tail.ReadBuffer(d, (int32_t)available);
    const int64_t sizes = old.HasZip64 && old.Header.PackedSize == Marker32 ? 16 : 8;
    if (GetLE32(d) == ZFDataDescriptorSignature && GetLE32(d + 4) == old.Header.Crc32 && available >= 8 + sizes)
        return 8 + sizes;
    if (GetLE32(d) == old.Header.Crc32 && available >= 4 + sizes) return 4 + sizes;
    return 0;
}

bool TZFArchiveWriter::TCommit::CopyRange(TStream& source, int64_t from, int64_t count, TStream& out) {
    std::vector<uint8_t> buffer((size_t)std::min<int64_t>(std::max<int64_t>(count, 1), CopyBlock));
    source.SetPosition(from);
    while (count > 0) {
        const int32_t n = (int32_t)std::min<int64_t>(count, (int64_t)buffer.size());
        if (source.Read(buffer.data(), n) != n) throw EZFException(ZFErrOldCopyNotFound, &W);
        if (!PutData(out, buffer.data(), n)) return false;
        count -= n;
    }
    return true;
}

bool TZFArchiveWriter::TCommit::CopyEntry(int32_t index, bool oldVersion) {
    TDirItem* item = &Dir.Items.ItemAt(index);
    const std::wstring oldName = item->PreviousName.empty() ? item->EntryName : item->PreviousName;
    const int32_t b = Dir.Backup.FindName(oldName);
    if (b < 0 || !Tail) throw EZFException(ZFErrOldCopyNotFound, &W);
    const TDirItem old = Dir.Backup.GetItem(b);
    bool renamed = item->IsModified && item->PendingOperation == poRename;
    if (oldVersion || (item->IsModified && item->PendingOperation == poUpdate)) {
        // The entry goes back to its record as the archive had it.
        ReleaseSource(*item);
        Dir.Items.SetItem(index, old);
        item = &Dir.Items.ItemAt(index);
        renamed = false;
    }

    TStream& tail = Tail->Stream();
    // The old offsets come from the archive: the header must lie inside the kept tail.
    int64_t at = -1;
    if (!Checked::Sub(old.LocalOffset(), Base, &at) || !Checked::InRange<int64_t>(at, ZFLocalHeaderSize, tail.GetSize()))
        throw EZFException(ZFErrOldCopyNotFound, &W);
    uint8_t raw[ZFLocalHeaderSize];
    tail.SetPosition(at);
    tail.ReadBuffer(raw, ZFLocalHeaderSize);
    TZFLocalHeader lh;
    lh.Load(raw);
    if (lh.Signature != ZFStandardSignatures.Local && lh.Signature != ZFAlternateSignatures.Local)
        throw EZFException(ZFErrOldCopyNotFound, &W);
    const int64_t dataAt = at + ZFLocalHeaderSize + lh.NameLength + lh.ExtraLength;
    const int64_t dataSize = old.PackedSize();
    if (!Checked::InRange(dataAt, dataSize, tail.GetSize())) throw EZFException(ZFErrOldCopyNotFound, &W);
    // A data descriptor behind the data travels with it: the flag in the header announces it.
    const int64_t descriptor = DescriptorLength(dataAt + dataSize, old);

    TStream& out = *W.ArchiveStream();
    const int64_t offset = out.GetPosition();
    const bool zip64Offset = offset >= (int64_t)Marker32 || old.Header.UnpackedSize == Marker32;
    if (offset >= (int64_t)Marker32 && W.Zip64Mode == zmDisabled)
        throw EZFException(ZFErrZip64Disabled, &W, {Backslashed(item->EntryName)});

    if (renamed) {
        const std::string storedName = StoredNameOf(*item, W.Options.OEMFileNames);
        std::string extra;
        if (old.Header.UnpackedSize == Marker32) extra = ZFZip64ExtraField(old.UnpackedSize(), old.PackedSize());
        for (const TZFExtraField& f : item->ExtraFields)
            if (f.Id != ZFZip64ExtraId) extra += ExtraFieldBytes(f.Id, f.Data);
        lh.Flags = (uint16_t)((lh.Flags & ~zfFlagUtf8) | (item->Header.Flags & zfFlagUtf8));
        lh.NameLength = (uint16_t)storedName.size();
        lh.ExtraLength = (uint16_t)extra.size();
        PutHeader(out, LocalHeaderBytes(lh) + storedName + extra);
        if (!CopyRange(tail, dataAt, dataSize + descriptor, out)) return false;
    } else {
        if (!CopyRange(tail, at, dataAt - at + dataSize + descriptor, out)) return false;
    }
    SetOffset(*item, offset, zip64Offset, 0);
    return true;
}

void TZFArchiveWriter::TCommit::WriteDirectory() {
    TStream* stream = W.ArchiveStream();
    const int64_t start = stream->Seek(0, soEnd);
    const uint32_t startDisk = (uint32_t)std::max(W.CurrentVolume.VolumeNumber, 0);
    Dir.WriteDirectory(stream);
    Dir.DirectoryStart = start;
    Dir.DirectoryDisk = startDisk;
    Dir.ThisDisk = (uint32_t)std::max(W.CurrentVolume.VolumeNumber, 0);
    if (Set) {
        // The set is complete: from now on it is read, volume by volume.
        W.OpenMode = fmOpenRead | fmShareDenyNone;
        W.CurrentVolume.LastVolumeNumber = (int32_t)Dir.ThisDisk;
        W.CurrentVolume.MakeLast();
    }
}

void TZFArchiveWriter::TCommit::RemoveMovedSources() {
    auto fail = [&](int32_t code, const std::wstring& name) {
        TZFAction action = fxaIgnore;
        W.DoOnProcessFileFailure(name, poMove, EZFException(code, &W, {name}), action);
        return action;
    };
    bool abort = false;
    for (int32_t i = 0; i < Dir.Items.Count() && !abort; ++i) {
        const TDirItem& item = Dir.Items.ItemAt(i);
        if (!item.IsModified || item.PendingOperation != poMove || item.IsFolder() || item.SourceFileName.empty())
            continue;
        const std::wstring& file = item.SourceFileName;
        for (;;) {
            if (ZFDeleteFile(file) || !ZFFileExists(file)) break;
            ZFFileSetAttr(file, 0);
            if (ZFDeleteFile(file)) break;
            const TZFAction action = fail(ZFErrDeleteMovedFile, file);
            if (action == fxaAbort) abort = true;
            if (action != fxaRetry) break;
        }
    }
    for (int32_t i = 0; i < Dir.Items.Count() && !abort; ++i) {
        const TDirItem& item = Dir.Items.ItemAt(i);
        if (!item.IsModified || item.PendingOperation != poMove || !item.IsFolder() || item.SourceFileName.empty())
            continue;
        const std::wstring folder = ZFIncludeTrailingBackslash(item.SourceFileName);
        for (;;) {
            if (RemoveFolderTree(folder)) break;
            const TZFAction action = fail(ZFErrRemoveMovedFolder, ZFExcludeTrailingBackslash(folder));
            if (action == fxaAbort) abort = true;
            if (action != fxaRetry) break;
        }
    }
}

void TZFArchiveWriter::TCommit::Restore() noexcept {
    try {
        W.ReleaseSources();
        Dir.Items.Assign(Dir.Backup);
        if (Set) {
            RestoreSet();
            return;
        }
        TStream& archive = *W.ArchiveStream();
        archive.SetSize(Base);
        archive.SetPosition(Base);
        if (Tail) {
            TStream& tail = Tail->Stream();
            tail.SetPosition(0);
            const int64_t n = tail.GetSize();
            if (n > 0) archive.CopyFrom(&tail, n);
            Tail.reset();
        } else {
            Dir.WriteDirectory(&archive);
        }
    } catch (...) {
    }
}

void TZFArchiveWriter::TCommit::RestoreSet() {
    // The volumes written so far go; the set is again the new archive it was created as.
    const int32_t last = std::max(W.CurrentVolume.VolumeNumber, 0);
    W.FreeArchiveStream();
    for (int32_t k = 0; k <= last; ++k) ZFDeleteFile(W.VolumeName(W.FileName, k, false));
    StartFirstVolume();
}

// ---- The writer ------------------------------------------------------------------------------------------

TZFArchiveWriter::TZFArchiveWriter(TComponent* AOwner) : TZFArchiveReader(AOwner) {
    SetCompressionLevel(clFastest);
}

TZFArchiveWriter::~TZFArchiveWriter() {
    ReleaseSources();
}

void TZFArchiveWriter::SetCompressionMode(uint8_t Value) {
    if (Value > 9) throw EZFException(ZFErrCompressionMode, this);
    FCompressionMode = Value;
    FCompressionLevel = Value == 0 ? clNone : Value <= 3 ? clFastest : Value <= 6 ? clNormal : clMax;
    UpdateCompressionMethod();
}

void TZFArchiveWriter::SetCompressionLevel(TZFCompressionLevel Value) {
    static const uint8_t modes[] = {0, 1, 6, 9};
    SetCompressionMode(modes[Value]);
}

void TZFArchiveWriter::UpdateCompressionMethod() {
    CompressionMethod = StandardSignatures ? (FCompressionMode > 0 ? 8 : 0) : 0xFFFF;
}

void TZFArchiveWriter::ReleaseSource(TDirItem& Item) {
    Item.SourceStream.reset();
}

void TZFArchiveWriter::ReleaseSources() {
    if (!Directory()) return;
    TZFDirArray& items = Directory()->Items;
    for (int32_t i = 0; i < items.Count(); ++i) ReleaseSource(items.ItemAt(i));
}

std::wstring TZFArchiveWriter::WorkFolder() {
    if (WorkDir.empty()) WorkDir = ZFGetCurrentDir();
    return WorkDir;
}

void TZFArchiveWriter::RequireUpdate(int32_t Code) const {
    if (!Directory() || PendingChanges <= 0) throw EZFException(Code, this);
}

// ---- Creating ---------------------------------------------------------------------------------------------

void TZFArchiveWriter::CreateArchiveFile() {
    if (ZFExtractFileName(FileName).empty()) throw EZFException(ZFErrBlankFileNameMode, this);
    ReleaseSources();
    PendingChanges = 0;
    CloseDirectory();
    OpenMode = ZFOpenCreate;
    CurrentVolume.Reset();
    // Without spanning the first volume is FileName itself.
    TZFVolumeNumberInfo first;
    first.MakeFirst();
    RequestVolume(first);
    OpenNewDirectory();
}

// ---- The update ---------------------------------------------------------------------------------------------

void TZFArchiveWriter::BeginUpdate() {
    TZFDirManager* dir = Directory();
    if (!dir) throw EZFException(ZFErrArchiveNotOpen, this);
    // A set is written once, by the commit that follows its creation.
    if (GetSpanningMode() != smNone && !CallerOwnsStream() && OpenMode != ZFOpenCreate) throw EZFException(ZFErrVolumeSetUpdate, this);
    if (PendingChanges == 0) dir->Backup.Assign(dir->Items);
    ++PendingChanges;
}

void TZFArchiveWriter::FillEntryHeader(TDirItem& Item, bool Folder, uint16_t DosDate, uint16_t DosTime,
                                       uint32_t Attr) {
    const bool standard = StandardSignatures;
    Item.Header = TZFCentralHeader();
    Item.ExtraFields.clear();
    Item.AesStrength = 0;
    Item.HasZip64 = false;
    Item.Zip64Unpacked = Item.Zip64Packed = Item.Zip64Offset = 0;
    Item.Zip64Disk = 0;
    Item.IsModified = true;
    Item.EntryPassword = Password;
    Item.EntryMode = Folder ? 0 : FCompressionMode;
    Item.Header.Method = Item.RealMethod = CompressionMethod;
    Item.Header.Signature = standard ? ZFStandardSignatures.Central : ZFAlternateSignatures.Central;
    const uint16_t version = standard ? (Options.OEMFileNames ? 20 : 0x0B14) : ZFAlternateVersion;
    Item.Header.VersionNeeded = Item.Header.VersionMadeBy = version;
    if (!Password.empty()) Item.Header.Flags |= zfFlagEncrypted;
    Item.Header.DosTime = DosTime;
    Item.Header.DosDate = DosDate;
    Item.Header.Crc32 = Marker32;
    Item.Header.NameLength = (uint16_t)std::min<size_t>(Item.EntryName.size(), 0xFFFF);
    Item.Header.ExternalAttr = Attr;
    if (Folder) {
        // A folder is never encrypted.
        Item.Header.Method = Item.RealMethod = 0;
        Item.Header.Crc32 = 0;
        Item.Header.Flags = FolderFlags;
    }
}

TDirItem TZFArchiveWriter::NewEntryFromFile(const std::wstring& FileName, const std::wstring& StoredName) {
    const std::wstring work = WorkFolder();
    const std::wstring path = ResolvePath(work, FileName, work);
    const bool folder = ZFDirectoryExists(path);
    std::wstring name = StoredName.empty() ? StoredNameFor(FileName, work, Options.StorePath, work) : StoredName;
    int32_t age = ZFFileAge(path);
    if (age == -1) age = DateTimeToFileDate(Now());
    int32_t attr = ZFFileGetAttr(path);
    if (attr < 0) attr = faArchive;
    if (folder && !name.empty() && name.back() != L'/') name += L'/';

    TDirItem item;
    item.EntryName = name;
    FillEntryHeader(item, folder, (uint16_t)((uint32_t)age >> 16), (uint16_t)age, (uint32_t)attr);
    item.SourceFileName = path;
    return item;
}

int32_t TZFArchiveWriter::QueueEntry(TDirItem& Item, TZFProcessOperation Operation) {
    TZFDirArray& items = Directory()->Items;
    Item.PendingOperation = (uint8_t)Operation;
    const int32_t existing = items.FindName(Item.EntryName);
    if (existing >= 0) {
        // The name is taken: that entry gets the new contents.
        TDirItem& old = items.ItemAt(existing);
        if (Operation == poAdd && old.PendingOperation != poAdd && old.PendingOperation != poMove)
            Item.PendingOperation = (uint8_t)poUpdate;
        if (old.IsModified) Item.PreviousName = old.PreviousName;
        ReleaseSource(old);
        items.SetItem(existing, Item);
        return existing;
    }
    const int32_t n = items.Count();
    items.SetCount(n + 1);
    items.SetItem(n, Item);
    return n;
}

int32_t TZFArchiveWriter::AddFile(const std::wstring& FileName, bool Move) {
    RequireUpdate(ZFErrNoUpdate);
    TDirItem item = NewEntryFromFile(FileName, std::wstring());
    if (item.EntryName.empty()) return -1;
    std::wstring name = Backslashed(item.EntryName);
    int32_t attr = (int32_t)item.Header.ExternalAttr;
    std::string comment;
    DoOnStoreFile(name, attr, comment, FileName);
    name = Slashed(name);
    if (name.empty()) return -1;
    if (name != item.EntryName) {
        item.EntryName = name;
        item.Header.NameLength = (uint16_t)std::min<size_t>(name.size(), 0xFFFF);
    }
    item.Header.ExternalAttr = (uint32_t)attr;
    item.EntryComment = comment;
    item.Header.CommentLength = (uint16_t)comment.size();
    return QueueEntry(item, Move ? poMove : poAdd);
}

int32_t TZFArchiveWriter::AddStream(const std::wstring& Name, TStream* Source, bool OwnsSource, int32_t Attr,
                                    TDateTime DateTime) {
    std::unique_ptr<TStream> owned(OwnsSource ? Source : nullptr);
    RequireUpdate(ZFErrNoUpdate);
    std::wstring name = Name;
    if (!name.empty() && name.back() == L'\\') name.pop_back();
    name = Slashed(name);
    if (name.empty()) return -1;
    const int32_t stamp = DateTimeToFileDate(DateTime);
    TDirItem item;
    item.EntryName = name;
    FillEntryHeader(item, (Attr & faDirectory) != 0, (uint16_t)((uint32_t)stamp >> 16), (uint16_t)stamp,
                    (uint32_t)Attr);
    item.SourcePosition = Source ? Source->GetPosition() : 0;
    if (owned) item.SourceStream = std::move(owned);
    else if (Source) item.SourceStream = std::shared_ptr<TStream>(Source, [](TStream*) {});
    return QueueEntry(item, poAdd);
}

void TZFArchiveWriter::RenameEntry(int32_t Index, const std::wstring& NewName) {
    RequireUpdate(ZFErrNoUpdate);
    TZFDirArray& items = Directory()->Items;
    TDirItem& item = items.ItemAt(Index);
    const std::wstring name = Slashed(NewName);
    if (name == item.EntryName) return;
    const bool hadOldVersion =
        Directory()->Backup.FindName(item.PreviousName.empty() ? item.EntryName : item.PreviousName) >= 0;
    if (hadOldVersion && item.PreviousName.empty()) item.PreviousName = item.EntryName;
    items.Rename(Index, name);
    item.Header.NameLength = (uint16_t)std::min<size_t>(name.size(), 0xFFFF);
    // Name fields of their own would bring the old name back when the archive is read.
    RemoveExtra(item, ZFUnicodeExtraId);
    RemoveExtra(item, InfoZipUnicodePathId);
    if (!item.IsModified || IsDirectoryChange(item.PendingOperation)) {
        item.IsModified = true;
        item.PendingOperation = poRename;
    }
}

void TZFArchiveWriter::ChangeEntryAttr(int32_t Index, uint32_t Attr) {
    RequireUpdate(ZFErrNoUpdate);
    TDirItem& item = Directory()->Items.ItemAt(Index);
    item.Header.ExternalAttr = Attr;
    if (!item.IsModified) {
        item.IsModified = true;
        item.PendingOperation = poChangeAttr;
    }
}

void TZFArchiveWriter::ChangeEntryComment(int32_t Index, const std::string& Comment) {
    RequireUpdate(ZFErrNoUpdate);
    TDirItem& item = Directory()->Items.ItemAt(Index);
    item.EntryComment = Comment.substr(0, 0xFFFF);
    item.Header.CommentLength = (uint16_t)item.EntryComment.size();
    if (!item.IsModified) {
        item.IsModified = true;
        item.PendingOperation = poChangeComment;
    }
}

void TZFArchiveWriter::DeleteEntry(int32_t Index) {
    if (!Directory() || PendingChanges <= 0) throw EZFException(ZFErrDeleteNoUpdate, this);
    if (Index < 0 || Index >= Directory()->Items.Count()) throw EZFException(ZFErrDeleteIndex, this);
    Directory()->Items.Delete(Index);
}

void TZFArchiveWriter::RefreshEntry(int32_t Index, const std::wstring& DiskFile) {
    if (!Directory() || PendingChanges <= 0) throw EZFException(ZFErrNoUpdate, this);
    TZFDirArray& items = Directory()->Items;
    if (Index < 0 || Index >= items.Count()) throw EZFException(ZFErrRefreshIndex, this);
    TDirItem item = NewEntryFromFile(DiskFile, std::wstring());
    if (item.EntryName.empty()) return;
    TDirItem& old = items.ItemAt(Index);
    item.PreviousName = old.PreviousName;
    if (item.EntryName != old.EntryName) {
        if (item.PreviousName.empty()) item.PreviousName = old.EntryName;
        items.Rename(Index, item.EntryName);
    }
    item.EntryComment = old.EntryComment;
    item.Header.CommentLength = old.Header.CommentLength;
    item.PendingOperation = poUpdate;
    ReleaseSource(items.ItemAt(Index));
    items.SetItem(Index, item);
}

void TZFArchiveWriter::RefreshEntryFromFolder(int32_t Index, const std::wstring& DestDir) {
    if (!Directory() || PendingChanges <= 0) throw EZFException(ZFErrNoUpdate, this);
    if (Index < 0 || Index >= Directory()->Items.Count()) throw EZFException(ZFErrRefreshIndex, this);
    const TDirItem item = Directory()->Items.GetItem(Index);
    if (item.IsFolder()) return;
    const std::wstring name = Backslashed(item.EntryName);
    const std::wstring file = ResolvePath(DestDir, name, std::wstring());
    if (!ZFFileExists(file)) return;
    if (!Options.ReplaceReadOnly && (item.Header.ExternalAttr & faReadOnly)) return;
    const uint32_t entryTime = (uint32_t)item.Header.DosDate << 16 | item.Header.DosTime;
    const uint32_t fileTime = (uint32_t)ZFFileAge(file);
    bool refresh = true;
    switch (Options.OverwriteMode) {
    case omPrompt: {
        std::wstring entryName = name;
        DoOnConfirmOverwrite(file, entryName, refresh);
        break;
    }
    case omAlways: break;
    case omNever: refresh = false; break;
    case omIfNewer: refresh = fileTime > entryTime; break;
    case omIfOlder: refresh = fileTime < entryTime; break;
    }
    if (!refresh) return;
    const std::wstring saved = WorkDir;
    WorkDir = DestDir;
    try {
        RefreshEntry(Index, file);
    } catch (...) {
        WorkDir = saved;
        throw;
    }
    WorkDir = saved;
}

bool TZFArchiveWriter::Commit() {
    if (PendingChanges <= 0) return true;
    PendingChanges = 0;
    if (!Directory()) return false;
    TCommit commit(*this);
    return commit.Run();
}

// ---- Events ---------------------------------------------------------------------------------------------------

void TZFArchiveWriter::DoOnProcessFileFailure(const std::wstring& FileName, TZFProcessOperation Operation,
                                              const EZFException& Error, TZFAction& Action) {
    if (OnProcessFileFailure)
        OnProcessFileFailure(this, FileName, Operation, Error.NativeError, Error.ErrorCode, Error.Message(), Action);
    else Action = fxaAbort;
}

void TZFArchiveWriter::DoOnStoreFile(std::wstring& FileName, int32_t& FileAttr, std::string& Comment,
                                     const std::wstring& OriginalFileName) {
    if (OnStoreFile) OnStoreFile(this, FileName, FileAttr, Comment, OriginalFileName);
}
