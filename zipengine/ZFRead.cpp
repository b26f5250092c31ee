#include "ZFRead.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ZFCipher.h"
#include "ZFStrFunc.h"
#include "ZFExcept.h"
#include "ZFZlib.h"

namespace {

constexpr int32_t BlockSize = 1048576;
constexpr int32_t StoredPiece = 65535;

std::wstring Backslashed(std::wstring name) {
    std::replace(name.begin(), name.end(), L'/', L'\\');
    return name;
}

// Restores a flag when the scope ends.
class TFlagRestore {
public:
    TFlagRestore(bool& flag, bool value) : FFlag(flag), FOld(flag) { flag = value; }
    ~TFlagRestore() { FFlag = FOld; }

private:
    bool& FFlag;
    bool FOld;
};

}  // namespace

bool ZFIsSafeEntryName(const std::wstring& Name) {
    if (Name.empty()) return false;
    const std::wstring name = Backslashed(Name);
    if (name[0] == L'\\' || name.find(L':') != std::wstring::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find(L'\\', start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring part = name.substr(start, end - start);
        // Windows drops trailing dots and blanks, so ". ." and "..." name the parent as ".." does.
        if (!part.empty() && part.find_first_not_of(L". ") == std::wstring::npos &&
            std::count(part.begin(), part.end(), L'.') >= 2)
            return false;
        start = end + 1;
    }
    return true;
}

// ---- Decoding one entry -----------------------------------------------------------------------------

class TZFArchiveReader::TEntryDecoder {
public:
    TEntryDecoder(TZFArchiveReader& reader, const TDirItem& item, TStream& output)
        : R(reader), Item(item), Out(output), Name(Backslashed(item.EntryName)) {}
    ~TEntryDecoder() {
        if (FInflateReady) inflateEnd(&FZ);
    }

    // Positioned on the local header: true when the entry was decoded and checked.
    bool Run();

private:
    bool ReadBlock(uint8_t* buffer, int32_t count);
    bool DecodeBlock(uint8_t* buffer, int32_t count);
    bool Emit(const uint8_t* data, int64_t count);
    bool Progress();
    bool CheckPassword(int64_t dataStart);
    TStream& In() { return *R.FDir->Stream(); }

    TZFArchiveReader& R;
    const TDirItem& Item;
    TStream& Out;
    std::wstring Name;
    int64_t Unpacked = 0;
    int64_t Produced = 0;
    uint32_t Crc = 0;
    bool Deflated = false;
    bool Pkware = false;
    TPkwareKeys Keys;
    std::unique_ptr<TAESCryptoTransform> Aes;
    uint16_t AesVendorVersion = 2;
    z_stream FZ{};
    bool FInflateReady = false;
    bool FStreamEnd = false;
    uint8_t* FOutput = nullptr;
};

bool TZFArchiveReader::TEntryDecoder::Run() {
    const bool encrypted = (Item.Header.Flags & zfFlagEncrypted) != 0;
    const bool alternate = Item.Header.VersionNeeded >= ZFAlternateVersion;
    if (encrypted && !alternate && Item.AesStrength >= 1 && Item.AesStrength <= 3) {
        Aes = std::make_unique<TAESCryptoTransform>(64 + 64 * Item.AesStrength, Item.RealMethod, ZFAesVendorVersion);
        Aes->SetMode(ctDecrypt);
        Aes->SetPassword(R.Password);
        if (const TZFExtraField* f = Item.FindExtra(ZFAesExtraFieldId))
            if (f->Data.size() >= 2) AesVendorVersion = TZFRecordReader(f->Data).U16();
    } else if (encrypted) {
        Pkware = true;
    }

    uint8_t raw[ZFLocalHeaderSize];
    In().ReadBuffer(raw, ZFLocalHeaderSize);
    TZFLocalHeader local;
    local.Load(raw);
    if (local.Signature != ZFStandardSignatures.Local && local.Signature != ZFAlternateSignatures.Local) return false;
    In().Seek((int64_t)local.NameLength + local.ExtraLength, soCurrent);
    const int64_t dataStart = In().GetPosition();

    int64_t packed = Item.PackedSize();
    Unpacked = Item.UnpackedSize();
    // ZIP64 values above 2^63 - 1 read as negative sizes: no such entry exists.
    if (packed < 0 || Unpacked < 0) return false;
    if (R.GetSpanningMode() == smNone && packed > R.FDir->DirectoryStart - dataStart)
        packed = std::max<int64_t>(R.FDir->DirectoryStart - dataStart, 0);

    R.FileBytesTotal = Unpacked == 0 ? 2 : Unpacked;
    R.FileBytesDone = 0;
    R.SkipFile = false;

    switch (Item.RealMethod) {
    case 0: break;
    case 8: Deflated = true; break;
    case 9: throw EZFException(ZFErrDeflate64);
    default: return false;
    }

    // The encryption overhead is counted in the compressed size.
    const int64_t overhead = Pkware ? ZFPkwareHeaderSize : Aes ? Aes->HeaderSize() + ZFAesAuthCodeSize : 0;
    if (packed < overhead) return false;
    packed -= overhead;
    if ((Pkware || Aes) && !CheckPassword(dataStart)) return false;

    if (Deflated) {
        if (inflateInit2(&FZ, -MAX_WBITS) != Z_OK) return false;
        FInflateReady = true;
        FOutput = R.DecodeBuffer(R.FInflateBuffer, BlockSize);
    }
    uint8_t* const block = R.DecodeBuffer(R.FReadBuffer, BlockSize + 2);
    int64_t remaining = packed;
    while (remaining > 0) {
        const int32_t n = (int32_t)std::min<int64_t>(remaining, BlockSize);
        if (!ReadBlock(block, n) || !DecodeBlock(block, n)) return false;
        remaining -= n;
    }
    if (Produced != Unpacked) return false;

    if (Aes) {
        Aes->ReadAuthCode(In());
        if (!Aes->VerifyEntry(Item.Header.Crc32, Crc)) return false;
        // AE-1 entries keep the real CRC as well; only AE-2 leaves it out.
        return AesVendorVersion != 1 || Crc == Item.Header.Crc32;
    }
    return Crc == Item.Header.Crc32;
}

bool TZFArchiveReader::TEntryDecoder::CheckPassword(int64_t dataStart) {
    for (;;) {
        In().SetPosition(dataStart);
        bool fits;
        if (Pkware) {
            uint8_t header[ZFPkwareHeaderSize];
            In().ReadBuffer(header, ZFPkwareHeaderSize);
            fits = PkwareCheckPassword(Keys, R.Password, header,
                                       PkwareCheckByte(Item.Header.Flags, Item.Header.Crc32, Item.Header.DosTime));
        } else {
            Aes->ReadHeader(In());
            fits = Aes->CheckPassword(R.Password);
        }
        // ReadHeader keyed the AES transform with its own password, which is R.Password.
        if (fits) return true;
        const std::string before = R.Password;
        R.DoOnPassword(Item.EntryName, R.Password, R.SkipFile);
        if (R.SkipFile) return false;
        // An answer that neither skips nor changes the password would be asked again for ever.
        if (R.Password == before) throw EZFException(ZFErrPasswordUnchanged, &R);
        if (Aes && R.Password != before) Aes->SetPassword(R.Password);
    }
}

bool TZFArchiveReader::TEntryDecoder::ReadBlock(uint8_t* buffer, int32_t count) {
    int32_t got = In().Read(buffer, count);
    // In a volume set the data goes on at the start of the next volume.
    while (got < count && R.GetSpanningMode() != smNone) {
        TZFVolumeNumberInfo next = R.CurrentVolume;
        next.SetNumber(R.CurrentVolume.VolumeNumber + 1);
        R.FDir->RequestVolume(next);
        In().SetPosition(0);
        const int32_t more = In().Read(buffer + got, count - got);
        if (more <= 0) break;
        got += more;
    }
    return got == count;
}

bool TZFArchiveReader::TEntryDecoder::Progress() {
    if (!R.ProgressEnabled) return !R.CancelFlag;
    const double file = (double)R.FileBytesDone / (double)R.FileBytesTotal;
    bool cancel = false;
    R.DoOnFileProgress(Name, file * 100.0, R.CurrentOperation, ppProcess, cancel);
    if (!cancel) {
        const double total = R.FilesTotal > 0 ? R.FilesTotal : 1;
        R.DoOnOverallProgress((file + R.FilesDone) / total * 100.0, R.CurrentOperation, ppProcess, cancel);
    }
    if (cancel) R.CancelFlag = true;
    return !R.CancelFlag;
}

bool TZFArchiveReader::TEntryDecoder::Emit(const uint8_t* data, int64_t count) {
    // The output never grows beyond the entry's declared size.
    const bool overflow = count > Unpacked - Produced;
    if (overflow) count = Unpacked - Produced;
    Crc = ZFCrc32(Crc, data, (size_t)count);
    Produced += count;
    int32_t retries = 0;
    while (count > 0) {
        const int64_t at = Out.GetPosition();
        const int32_t n = (int32_t)std::min<int64_t>(count, 0x40000000);
        const int32_t w = Out.Write(data, n);
        if (w == n) {
            data += n;
            count -= n;
            retries = 0;
            continue;
        }
        // A handler that always answers "go on" must not keep the write going for ever.
        if (retries == ZFDiskFullRetries) throw EZFException(ZFErrDiskFull);
        ++retries;
        bool cancel = false;
        R.DoOnDiskFull(-1, R.FileName, cancel);
        if (cancel) {
            R.CancelFlag = true;
            return false;
        }
        Out.SetPosition(at);
    }
    return !overflow;
}

bool TZFArchiveReader::TEntryDecoder::DecodeBlock(uint8_t* buffer, int32_t count) {
    if (count <= 0) return false;
    if (Pkware) Keys.Decrypt(buffer, (size_t)count);
    else if (Aes) Aes->DecryptBlock(buffer, buffer, (uint32_t)count);

    if (!Deflated) {
        for (int32_t at = 0; at < count; at += StoredPiece) {
            const int32_t n = std::min(StoredPiece, count - at);
            R.FileBytesDone += n;
            if (!Progress() || !Emit(buffer + at, n)) return false;
        }
        return true;
    }
    if (FStreamEnd) return false;   // data behind the end of the deflate stream
    FZ.next_in = buffer;
    FZ.avail_in = (uInt)count;
    for (;;) {
        if (!Progress()) return false;
        FZ.next_out = FOutput;
        FZ.avail_out = (uInt)BlockSize;
        const int ret = inflate(&FZ, Z_NO_FLUSH);
        const int64_t produced = (int64_t)BlockSize - FZ.avail_out;
        R.FileBytesDone += produced;
        if (produced > 0 && !Emit(FOutput, produced)) return false;
        if (ret == Z_STREAM_END) {
            FStreamEnd = true;
            return true;
        }
        if (ret == Z_BUF_ERROR && FZ.avail_in == 0) return true;
        if (ret == Z_OK) continue;
        return false;
    }
}

// ---- The reader -------------------------------------------------------------------------------------

TZFArchiveReader::TZFArchiveReader(TComponent* AOwner) : TZFArchiveCore(AOwner) {}

uint8_t* TZFArchiveReader::DecodeBuffer(std::unique_ptr<uint8_t[]>& Buffer, size_t Size) {
    // Left uninitialised: every byte is written before it is read.
    if (!Buffer) Buffer.reset(new uint8_t[Size]);
    return Buffer.get();
}

void TZFArchiveReader::BeginBatch() {
    FRemovableKnown = false;
    FLastFolder.clear();
}

bool TZFArchiveReader::IsRemovableTarget(const std::wstring& Path) {
    const std::wstring drive = ZFUpperCase(ZFExtractFileDrive(ZFExpandFileName(Path)));
    if (!FRemovableKnown || drive != FRemovableDrive) {
        FRemovable = Services->IsRemovable(Path);
        FRemovableDrive = drive;
        FRemovableKnown = true;
    }
    return FRemovable;
}

TZFArchiveReader::~TZFArchiveReader() {
    CloseDirectory();
}

void TZFArchiveReader::CloseDirectory() {
    FDir.reset();
    FreeArchiveStream();
    DirectoryPrefix = 0;
}

void TZFArchiveReader::OpenDirectoryOnStream(TStream* Stream, bool Create) {
    CloseDirectory();
    SetCallerStream(Stream);
    FDir = std::make_unique<TZFDirManager>(*this, Stream, true, Create);
    if (Create) {
        if (SFXStub.empty()) {
            Stream->SetSize(0);
            Stream->SetPosition(0);
        }
        FDir->WriteDirectory();
    } else {
        FDir->ReadDirectory();
    }
}

void TZFArchiveReader::OpenNewDirectory() {
    FDir = std::make_unique<TZFDirManager>(*this, ArchiveStream(), CallerOwnsStream(), true);
}

void TZFArchiveReader::OpenNamedArchive() {
    CloseDirectory();
    SetSpanningMode(smNone);
    CurrentVolume.Reset();
    TZFEndSearch search;
    {
        TFlagRestore repair(RepairOnOpen, false);
        auto setUp = [&] {
            TZFVolumeNumberInfo last;
            last.MakeLast();
            RequestVolume(last);
            FDir = std::make_unique<TZFDirManager>(*this, ArchiveStream(), false, false);
            search = FDir->FindEndRecord();
        };
        if (ZFLowerCase(ZFExtractFileExt(FileName)).find(L".exe") != std::wstring::npos) {
            setUp();
            if (search.Found) {
                DetectSetKind(search);
            } else {
                // The set's last volume may be the ".ZIP" beside the self-extracting file.
                SetSpanningMode(smSplitting);
                if (ZFFileExists(VolumeName(FileName, -1, false))) {
                    CurrentVolume.Reset();
                    TZFVolumeNumberInfo last;
                    last.MakeLast();
                    RequestVolume(last);
                }
                SetSpanningMode(smNone);
                do {
                    CurrentVolume.Reset();
                    setUp();
                    DetectSetKind(search);
                } while (!search.Found && GetSpanningMode() != smNone);
            }
        } else {
            do {
                CurrentVolume.Reset();
                if (!ZFFileExists(FileName) && Services->IsRemovable(FileName)) SetSpanningMode(smSpanning);
                setUp();
                DetectSetKind(search);
            } while (!search.Found && GetSpanningMode() != smNone);
        }
    }
    if (!search.Found && !RepairOnOpen) {
        CloseDirectory();
        throw EZFException(ZFErrNoEndRecord, this);
    }
    FDir->ReadDirectory();
}

bool TZFArchiveReader::ExtractEntryToStream(int32_t Index, TStream* Output) {
    if (!FDir || Index < 0 || Index >= FDir->Items.Count()) throw EZFException(ZFErrExtractIndex, this);
    const TDirItem& item = FDir->Items.ItemAt(Index);
    TZFVolumeNumberInfo volume;
    volume.LastVolumeNumber = (int32_t)FDir->ThisDisk;
    volume.SetNumber((int32_t)item.DiskNumber(FDir->HasZip64));
    FDir->RequestVolume(volume);
    FDir->Stream()->SetPosition(item.LocalOffset());
    bool decoded = false;
    try {
        TEntryDecoder decoder(*this, item, *Output);
        decoded = decoder.Run();
    } catch (const EStreamError&) {
        decoded = false;   // archive data that ends too early
    }
    if (!decoded && !CancelFlag && !ExtractCorruptedFiles && !SkipFile) throw EZFException(ZFErrEntryDecode, this);
    return decoded;
}

void TZFArchiveReader::ExtractEntryToDisk(int32_t Index, const std::wstring& EntryName, const std::wstring& DestDir) {
    if (!FDir || Index < 0 || Index >= FDir->Items.Count()) throw EZFException(ZFErrExtractIndex, this);
    const TDirItem item = FDir->Items.ItemAt(Index);
    std::wstring name = Backslashed(item.EntryName);
    uint32_t attr = item.Header.ExternalAttr;
    DoOnExtractFile(name, attr, item.EntryComment);

    std::wstring dest = DestDir;
    std::wstring folder;
    bool folderChecked = false;
    if (name == Backslashed(item.EntryName)) {
        // The stored name decides where the file goes: it must stay under the destination.
        if (!ZFIsSafeEntryName(item.EntryName)) throw EZFException(ZFErrCreateTarget, this, {name});
    } else if (name.find(L':') != std::wstring::npos || name.find(L"\\\\") != std::wstring::npos) {
        dest.clear();   // the handler chose a full path
    }

    if (!Options.CreateDirs) {
        name = ZFExtractFileName(name);
    } else {
        folder = dest + ZFExtractFilePath(name);
        // Entries of one folder follow each other: the folder made or found for the previous
        // entry is not looked up again (should it have gone meanwhile, the creation below fails
        // and the folder is made again).
        if (!folder.empty() && folder != FLastFolder) {
            if (!ZFForceDirectories(folder)) throw EZFException(ZFErrCreateTargetFolder, this, {folder});
            FLastFolder = folder;
            folderChecked = true;
        }
    }
    if (item.IsFolder()) return;

    std::wstring target = dest + name;
    std::unique_ptr<TStream> file = ZFCreateNewFile(target);
    if (!file && !folder.empty() && !folderChecked && !ZFDirectoryExists(folder)) {
        FLastFolder.clear();
        if (!ZFForceDirectories(folder)) throw EZFException(ZFErrCreateTargetFolder, this, {folder});
        FLastFolder = folder;
        file = ZFCreateNewFile(target);
    }
    if (!file && ZFFileExists(target)) {
        const int32_t targetAttr = ZFFileGetAttr(target);
        if (!Options.ReplaceReadOnly && targetAttr >= 0 && (targetAttr & faReadOnly)) return;
        const uint32_t entryTime = (uint32_t)item.Header.DosDate << 16 | item.Header.DosTime;
        const uint32_t targetTime = (uint32_t)ZFFileAge(target);
        bool overwrite = true;
        switch (Options.OverwriteMode) {
        case omPrompt: DoOnConfirmOverwrite(EntryName, target, overwrite); break;
        case omAlways: break;
        case omNever: overwrite = false; break;
        case omIfNewer: overwrite = targetTime < entryTime; break;
        case omIfOlder: overwrite = entryTime < targetTime; break;
        }
        if (!overwrite) return;
        ZFFileSetAttr(target, 0);
        ZFDeleteFile(target);
    }

    if (!file) {
        try {
            file = std::make_unique<TFileStream>(target, fmCreate);
        } catch (const EStreamError&) {
            throw EZFException(ZFErrCreateTarget, this, {target});
        }
    }
    bool decoded = false;
    bool raised = true;
    auto finish = [&] {
        const bool keep = !(raised || SkipFile || CancelFlag || (!decoded && !ExtractCorruptedFiles));
        // The MS-DOS attribute byte; the high word of entries made on Unix holds its mode bits.
        const int32_t keptAttr = (int32_t)(attr & (faReadOnly | faHidden | faSysFile | faArchive));
        if (Options.FlushBuffers && IsRemovableTarget(target)) Services->FlushFile(file.get());
        // Time and attributes set through the open file in one call where the platform can:
        // opening it again by name costs more than writing a small file.
        bool attrSet = false;
        if (keep && Options.SetAttributes)
            attrSet = ZFSetOpenFileTimeAttr(file.get(), item.Header.DosDate, item.Header.DosTime, keptAttr);
        else
            ZFSetFileDosTime(file.get(), item.Header.DosDate, item.Header.DosTime);
        file.reset();
        if (!keep) ZFDeleteFile(target);
        else if (Options.SetAttributes && !attrSet) ZFFileSetAttr(target, keptAttr);
    };
    try {
        decoded = ExtractEntryToStream(Index, file.get());
        raised = false;
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TZFArchiveReader::TestEntry(int32_t Index, const std::wstring& EntryName) {
    if (!FDir || Index < 0 || Index >= FDir->Items.Count()) throw EZFException(ZFErrExtractIndex, this);
    if (FDir->Items.ItemAt(Index).Header.ExternalAttr & faDirectory) return;
    TNullStream sink;
    ExtractEntryToStream(Index, &sink);
}

// ---- Events ---------------------------------------------------------------------------------------------

void TZFArchiveReader::DoOnFileProgress(const std::wstring& Name, double Progress, TZFProcessOperation Operation,
                                        TZFProgressPhase Phase, bool& Cancel) {
    if (OnFileProgress) OnFileProgress(this, Name, Progress, Operation, Phase, Cancel);
}

void TZFArchiveReader::DoOnOverallProgress(double Progress, TZFProcessOperation Operation, TZFProgressPhase Phase,
                                           bool& Cancel) {
    if (OnOverallProgress) OnOverallProgress(this, Progress, Operation, Phase, Cancel);
}

void TZFArchiveReader::DoOnPassword(const std::wstring& Name, std::string& NewPassword, bool& Skip) {
    if (OnPassword) OnPassword(this, Name, NewPassword, Skip);
    else Skip = true;
}

void TZFArchiveReader::DoOnExtractFile(std::wstring& Name, uint32_t& Attr, const std::string& Comment) {
    if (OnExtractFile) OnExtractFile(this, Name, Attr, Comment);
}

void TZFArchiveReader::DoOnConfirmOverwrite(const std::wstring& Source, std::wstring& Dest, bool& Confirm) {
    Confirm = false;
    if (OnConfirmOverwrite) OnConfirmOverwrite(this, Source, Dest, Confirm);
}
