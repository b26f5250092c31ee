#include "ZipFlow.h"

#include "SyncObjs.h"
#include "ZFStrFunc.h"

const wchar_t* const SZFConfirmOverwrite = L"Overwrite file \"%s\" with \"%s\"";
const wchar_t* const SZFPasswordCaption = L"Password for \"%s\"";
const wchar_t* const SZFPasswordPrompt = L"Enter password: ";
const wchar_t* const SZFProcessFileFailure = L"%s. File processing error, possibly disk is full";
const wchar_t* const SZFSpanningModeOnOpen = L"Cannot set spanning mode on open archive";

namespace {

std::wstring Backslashed(const std::wstring& Name) {
    return ZFStringReplace(Name, L"/", L"\\");
}

std::wstring WithoutTrailingSeparator(std::wstring Name) {
    if (!Name.empty() && (Name.back() == L'/' || Name.back() == L'\\')) Name.pop_back();
    return Name;
}

bool HasWildcards(const std::wstring& Mask) {
    return Mask.find_first_of(L"*?") != std::wstring::npos;
}

// Puts a value back when the scope ends.
template <class T>
class TRestore {
public:
    explicit TRestore(T& Value) : FValue(Value), FOld(Value) {}
    ~TRestore() { FValue = FOld; }
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;

private:
    T& FValue;
    T FOld;
};

}  // namespace

// ---- Construction ---------------------------------------------------------------------------------------

TZFBaseArchiver::TZFBaseArchiver(TComponent* AOwner) : TZFArchiveWriter(AOwner), Dialogs(&ZFSystemDialogs()) {
    StandardSignatures = false;
    RepairOnOpen = true;
    SetCompressionLevel(clFastest);
}

TZFBaseArchiver::~TZFBaseArchiver() {
    CloseArchive();
}

TZipFlow::TZipFlow(TComponent* AOwner) : TZFBaseArchiver(AOwner) {
    StandardSignatures = true;
    Zip64Mode = zmDisabled;
    // The base constructor ran the base's UpdateCompressionMethod; this one applies ours.
    UpdateCompressionMethod();
}

void TZipFlow::SetPassword(const std::string& Value) {
    Password = Value;
}

void TZipFlow::UpdateCompressionMethod() {
    CompressionMethod = GetCompressionMode() > 0 ? 8 : 0;
}

void TZFBaseArchiver::UpdateCompressionMethod() {
    CompressionMethod = 0xFFFF;
}

// ---- Properties ------------------------------------------------------------------------------------------

std::wstring TZFBaseArchiver::GetCurrentVersion() const {
    // Digits only, so the locale's decimal separator never enters.
    return Format(L"%d.%.2d ", 5, 5);
}

void TZFBaseArchiver::SetPassword(const std::string& Value) {
    Password = Value;
}

void TZFBaseArchiver::SetSpanningMode(TZFSpanningMode Value) {
    if (FIsOpen) throw Exception(SZFSpanningModeOnOpen);
    TZFArchiveCore::SetSpanningMode(Value);
}

void TZFBaseArchiver::SetFileMasks(const TStrings* Value) {
    FFileMasks.Assign(Value);
}

void TZFBaseArchiver::SetExclusionMasks(const TStrings* Value) {
    FExclusionMasks.Assign(Value);
}

void TZFBaseArchiver::SetNoCompressionMasks(const TStrings* Value) {
    FNoCompressionMasks.Assign(Value);
}

void TZFBaseArchiver::SetInMemory(bool Value) {
    if (Value == FInMemory) return;
    if (!FIsOpen) {
        FInMemory = Value;
        return;
    }
    if (!Value) {
        if (FileName.empty()) throw EZFException(ZFErrInMemoryBlankName, this);
        // The file receives a complete archive: pending changes and the directory of an archive
        // that is still empty go into the memory stream first.
        if (PendingChanges > 0) Commit();
        if (ArchiveStream()->GetSize() == Directory()->PrefixSize) Directory()->WriteDirectory();
        {
            TFileStream file(FileName, fmCreate);
            file.CopyFrom(ArchiveStream(), 0);
        }
        CloseArchive();
        FInMemory = false;
    } else {
        CloseArchive();
        FInMemory = true;
    }
    OpenArchive();
}

// ---- Opening and closing ---------------------------------------------------------------------------------

void TZFBaseArchiver::OpenArchive() {
    if (!FInMemory && ZFExtractFileName(FileName).empty()) throw EZFException(ZFErrBlankFileName, this);
    int32_t mode = ZFOpenCreate;
    if (!FInMemory && ZFFileExists(FileName)) {
        mode = fmOpenReadWrite | fmShareDenyWrite;
        try {
            TFileStream probe(FileName, (uint16_t)mode);
        } catch (const Exception&) {
            mode = fmOpenRead | fmShareDenyNone;
        }
    }
    OpenArchiveMode(mode);
}

void TZFBaseArchiver::OpenArchiveMode(int32_t AMode) {
    if (!FInMemory && ZFExtractFileName(FileName).empty()) throw EZFException(ZFErrBlankFileNameMode, this);
    if (AMode != ZFOpenCreate) {
        if (!ZFFileExists(FileName) && GetSpanningMode() != smSpanning && !Services->IsRemovable(FileName))
            throw EZFException(ZFErrFileNotFound, this, {FileName});
        if (FInMemory) throw EZFException(ZFErrInMemoryExisting, this);
    }
    CloseArchive();
    OpenMode = AMode;
    try {
        if (AMode == ZFOpenCreate || FInMemory) OpenNewArchive();
        else OpenNamedArchive();
    } catch (const EZFException& e) {
        RaiseNamed(e);
    }
    FIsOpen = true;
    if (AfterOpen) AfterOpen(this);
}

void TZFBaseArchiver::RaiseNamed(const EZFException& Error) {
    // The directory layer raises without the component; its errors are told with the name as well.
    const std::wstring prefix = GetName() + L": ";
    if (!GetName().empty() && Error.Message().compare(0, prefix.size(), prefix) != 0)
        throw EZFException(Error.NativeError, this);
    throw;
}

void TZFBaseArchiver::OpenNewArchive() {
    if (!FInMemory) {
        CreateArchiveFile();   // without spanning this creates FileName
        return;
    }
    CurrentVolume.Reset();
    SetOwnedStream(std::make_unique<TMemoryStream>());
    OpenNewDirectory();
}

void TZFBaseArchiver::OpenArchiveStream(TStream* AStream, bool ACreate) {
    if (GetSpanningMode() != smNone) throw EZFException(ZFErrStreamVolumes, this);
    if (!AStream) throw EZFException(ZFErrNilStream, this);
    CloseArchive();
    try {
        OpenDirectoryOnStream(AStream, ACreate);
    } catch (const EZFException& e) {
        RaiseNamed(e);
    }
    FIsOpen = true;
    if (AfterOpen) AfterOpen(this);
}

void TZFBaseArchiver::CloseArchive() {
    if (FIsOpen) {
        try {
            if (PendingChanges > 0) Commit();
        } catch (const Exception&) {
        }
        try {
            // A new archive to which nothing was added still needs its end record.
            TZFDirManager* dir = Directory();
            if (dir && ArchiveStream() && ArchiveStream()->GetSize() == dir->PrefixSize) dir->WriteDirectory();
        } catch (const Exception&) {
        }
    }
    PendingChanges = 0;
    CloseDirectory();
    FIsOpen = false;
}

// ---- The validity test ------------------------------------------------------------------------------------

bool TZFBaseArchiver::ProbeArchiveFile() {
    TFileStream file(FileName, fmOpenRead | fmShareDenyNone);
    RepairOnOpen = false;
    // A caller's stream to the directory: no volume request may replace it.
    TZFDirManager dir(*this, &file, true, false);
    if (dir.EndRecordExists()) return true;
    TZFArchiveCore::SetSpanningMode(smSplitting);
    try {
        dir.ReadDirectory();
        return true;
    } catch (const Exception&) {
    }
    TZFArchiveCore::SetSpanningMode(smNone);
    try {
        dir.ReadDirectory();   // the repair scan
        return dir.Items.Count() > 0;
    } catch (const Exception&) {
        return false;
    }
}

bool TZFBaseArchiver::IsValidArchive() {
    if (FIsOpen) return true;
    if (!ZFFileExists(FileName)) return false;
    const TZFSpanningMode mode = GetSpanningMode();
    TRestore<bool> repair(RepairOnOpen);
    TRestore<bool> corrupted(ExtractCorruptedFiles);
    TRestore<bool> probing(FProbing);
    bool valid = false;
    try {
        valid = ProbeArchiveFile();
        DirectoryPrefix = 0;
        // Every archive that looks like one is tested as well: damaged entry data behind an intact
        // directory makes it invalid too.
        if (valid) {
            RepairOnOpen = true;
            OpenArchiveMode(fmOpenRead | fmShareDenyNone);
            ExtractCorruptedFiles = false;
            FProbing = true;
            TestFiles(L"*.*", ZFAllEntriesAttr, L"");
            valid = FFilesFailed == 0 && !CancelFlag;
        }
    } catch (const Exception&) {
        valid = false;
    }
    CloseArchive();
    TZFArchiveCore::SetSpanningMode(mode);
    return valid;
}

// ---- Searching ----------------------------------------------------------------------------------------------

bool TZFBaseArchiver::FindFirst(const std::wstring& AFileMask, TZFArchiveItem& AItem, int32_t ASearchAttr,
                                const std::wstring& AExclusionMask) {
    TInternalSearchRec& s = AItem.SearchState;
    s = TInternalSearchRec();
    std::wstring mask = AFileMask;
    if (Options.StorePath != spFullPathWithDrive) mask.erase(0, ZFExtractFileDrive(mask).size());
    mask = ZFStringReplace(mask, L"\\", L"/");
    if (mask.size() > ZFMaxSearchMask) return false;
    s.SearchMask = mask;
    s.ExclusionMask = AExclusionMask;
    s.UseMaskLists = false;
    s.HasWildcards = HasWildcards(mask);
    s.SearchAttr = ASearchAttr;
    s.ItemIndex = 0;
    return SearchFrom(AItem);
}

bool TZFBaseArchiver::FindNext(TZFArchiveItem& AItem) {
    ++AItem.SearchState.ItemIndex;
    return SearchFrom(AItem);
}

bool TZFBaseArchiver::NameMatches(const std::wstring& Name, const TInternalSearchRec& State) const {
    if (State.UseMaskLists) {
        const std::wstring name = Backslashed(Name);
        bool listed = false;
        for (int32_t i = 0; i < FFileMasks.GetCount() && !listed; ++i) listed = MaskMatches(name, FFileMasks.GetStrings(i));
        if (!listed) return false;
        for (int32_t i = 0; i < FExclusionMasks.GetCount(); ++i)
            if (MaskMatches(name, FExclusionMasks.GetStrings(i))) return false;
        return true;
    }
    const std::wstring name = WithoutTrailingSeparator(Name);
    if (!MaskMatches(name, State.SearchMask) && !MaskMatches(ZFExtractFileName(name), State.SearchMask)) return false;
    return !MaskMatches(name, State.ExclusionMask);
}

bool TZFBaseArchiver::SearchFrom(TZFArchiveItem& AItem) {
    TInternalSearchRec& s = AItem.SearchState;
    TZFDirManager* dir = Directory();
    if (!dir || s.ItemIndex < 0) return false;
    const TZFDirArray& items = dir->Items;
    if (s.HasWildcards || Options.Recurse) {
        const std::wstring maskFolder = ZFLowerCase(ZFExtractFilePath(Backslashed(s.SearchMask)));
        for (int32_t i = s.ItemIndex; i < items.Count(); ++i) {
            const TDirItem& item = items.ItemAt(i);
            if (!Options.Recurse &&
                ZFLowerCase(ZFExtractFilePath(Backslashed(WithoutTrailingSeparator(item.EntryName)))) != maskFolder)
                continue;
            if (!NameMatches(item.EntryName, s)) continue;
            // Hidden, system, volume and folder bits must be asked for; read-only and archive never exclude.
            if ((int32_t)(item.Header.ExternalAttr & 0x1E) & ~s.SearchAttr) continue;
            s.ItemIndex = i;
            FillItem(i, AItem);
            return true;
        }
        return false;
    }
    const int32_t i = items.FindName(s.SearchMask);
    if (i < 0 || i < s.ItemIndex) return false;
    s.ItemIndex = i;
    FillItem(i, AItem);
    return true;
}

void TZFBaseArchiver::FillItem(int32_t Index, TZFArchiveItem& AItem) const {
    const TDirItem& item = Directory()->Items.ItemAt(Index);
    const std::wstring name = Backslashed(item.EntryName);
    AItem.ItemName = ZFExtractFileName(name);
    AItem.ItemPath = ZFExtractFilePath(name);
    AItem.UnpackedSize = item.UnpackedSize();
    AItem.PackedSize = item.PackedSize();
    if (AItem.UnpackedSize == 0) {
        AItem.PackRatio = 100;
    } else {
        AItem.PackRatio = (1.0 - (double)AItem.PackedSize / (double)AItem.UnpackedSize) * 100.0;
        if (AItem.PackRatio < 0) AItem.PackRatio = 0;
    }
    AItem.IsEncrypted = (item.Header.Flags & zfFlagEncrypted) != 0;
    AItem.DosDate = item.Header.DosDate;
    AItem.DosTime = item.Header.DosTime;
    AItem.ItemCrc = item.Header.Crc32;
    AItem.ItemAttr = item.Header.ExternalAttr;
    AItem.ItemComment = item.EntryComment;
}

// ---- Batches -------------------------------------------------------------------------------------------------

void TZFBaseArchiver::ExtractFiles(const std::wstring& AFileMask, int32_t ASearchAttr,
                                   const std::wstring& AExclusionMask) {
    MarkAndProcess(AFileMask, ASearchAttr, AExclusionMask, poExtract);
}

void TZFBaseArchiver::TestFiles(const std::wstring& AFileMask, int32_t ASearchAttr,
                                const std::wstring& AExclusionMask) {
    MarkAndProcess(AFileMask, ASearchAttr, AExclusionMask, poTest);
}

void TZFBaseArchiver::CheckBatchAllowed() {
    if (!FIsOpen || !Directory()) throw EZFException(ZFErrArchiveNotOpen, this);
    if (PendingChanges > 0) throw EZFException(ZFErrUpdatePending, this);
}

void TZFBaseArchiver::MarkAndProcess(const std::wstring& AFileMask, int32_t ASearchAttr,
                                     const std::wstring& AExclusionMask, TZFProcessOperation Operation) {
    CheckBatchAllowed();
    FFilesFailed = 0;
    TZFDirArray& items = Directory()->Items;
    TZFArchiveItem found;
    if (Options.Recurse || HasWildcards(AFileMask) || !AExclusionMask.empty() || ASearchAttr != ZFAllEntriesAttr) {
        items.ClearSelection();
        for (bool ok = FindFirst(AFileMask, found, ASearchAttr, AExclusionMask); ok; ok = FindNext(found))
            items.ItemAt(found.SearchState.ItemIndex).IsSelected = true;
        ProcessMarked(Operation, -1);
    } else if (FindFirst(AFileMask, found, ASearchAttr, AExclusionMask)) {
        items.ItemAt(found.SearchState.ItemIndex).IsSelected = true;
        ProcessMarked(Operation, found.SearchState.ItemIndex);
    }
}

void TZFBaseArchiver::ProcessMarked(TZFProcessOperation Operation, int32_t SingleIndex) {
    TCriticalSectionGuard lock(ZFEngineLock());
    const TZFDirArray& items = Directory()->Items;
    FilesDone = 0;
    FilesTotal = 0;
    BytesTotal = 0;
    BytesDone = 0;
    for (int32_t i = 0; i < items.Count(); ++i) {
        if (SingleIndex >= 0 ? i != SingleIndex : !items.ItemAt(i).IsSelected) continue;
        ++FilesTotal;
        BytesTotal += items.ItemAt(i).UnpackedSize();
    }
    CancelFlag = false;
    ProgressEnabled = true;
    CurrentOperation = Operation;
    BeginBatch();

    bool cancel = false;
    DoOnOverallProgress(0, Operation, ppStart, cancel);
    if (cancel) {
        CancelFlag = true;
        PendingChanges = 0;
        return;
    }
    bool going = true;
    if (SingleIndex >= 0) {
        going = ProcessEntry(SingleIndex, Operation);
    } else {
        for (int32_t i = 0; going && i < Directory()->Items.Count(); ++i)
            if (Directory()->Items.ItemAt(i).IsSelected) going = ProcessEntry(i, Operation);
    }
    cancel = false;
    DoOnOverallProgress(100, Operation, ppEnd, cancel);
    if (!going) PendingChanges = 0;
}

bool TZFBaseArchiver::ProcessEntry(int32_t Index, TZFProcessOperation Operation) {
    for (;;) {
        const std::wstring name = Backslashed(Directory()->Items.ItemAt(Index).EntryName);
        TZFAction action = fxaIgnore;
        try {
            Directory()->Items.ItemAt(Index).PendingOperation = (uint8_t)Operation;
            bool confirm = true;
            DoOnConfirmProcessFile(name, Operation, confirm);
            if (!confirm) return true;
            if (WorkDir.empty()) WorkDir = ZFGetCurrentDir();
            const std::wstring dest = FolderOrDefault(BaseDir, WorkDir);
            bool cancel = false;
            DoOnFileProgress(name, 0, Operation, ppStart, cancel);
            if (cancel) {
                CancelFlag = true;
                return false;
            }
            if (Operation == poExtract) ExtractEntryToDisk(Index, name, dest);
            else TestEntry(Index, name);
            if (CancelFlag) return false;
            DoOnFileProgress(name, 100, Operation, ppEnd, cancel);
            ++FilesDone;
            if (cancel) CancelFlag = true;
            return !cancel;
        } catch (const EZFException& e) {
            if (FProbing) {
                ++FFilesFailed;
                return false;
            }
            DoOnProcessFileFailure(name, Operation, e, action);
        }
        if (action == fxaRetry) continue;
        ++FFilesFailed;
        return action == fxaIgnore;
    }
}

// ---- Events -----------------------------------------------------------------------------------------------------

void TZFBaseArchiver::DoOnPassword(const std::wstring& Name, std::string& NewPassword, bool& Skip) {
    if (OnPassword) {
        OnPassword(this, Name, NewPassword, Skip);
        return;
    }
    std::string entered = NewPassword;
    if (Dialogs->AskPassword(Format(SZFPasswordCaption, Name), entered)) NewPassword = entered;
    else Skip = true;
}

void TZFBaseArchiver::DoOnConfirmOverwrite(const std::wstring& Source, std::wstring& Dest, bool& Confirm) {
    Confirm = false;
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(this, Source, Dest, Confirm);
        return;
    }
    switch (Dialogs->ConfirmOverwrite(Format(SZFConfirmOverwrite, Dest, Source))) {
    case oaYes: Confirm = true; break;
    case oaNo: break;
    case oaNoToAll: Options.OverwriteMode = omNever; break;
    case oaYesToAll:
        Confirm = true;
        Options.OverwriteMode = omAlways;
        break;
    }
}

void TZFBaseArchiver::DoOnConfirmProcessFile(const std::wstring& Name, TZFProcessOperation Operation, bool& Confirm) {
    if (OnConfirmProcessFile) OnConfirmProcessFile(this, Name, Operation, Confirm);
}

void TZFBaseArchiver::DoOnProcessFileFailure(const std::wstring& Name, TZFProcessOperation Operation,
                                             const EZFException& Error, TZFAction& Action) {
    if (OnProcessFileFailure) {
        OnProcessFileFailure(this, Name, Operation, Error.NativeError, Error.ErrorCode, Error.Message(), Action);
        return;
    }
    if (Error.NativeError == ZFErrVolumeCancelled) Action = fxaAbort;   // the user cancelled a volume request already
    else if (Error.NativeError == ZFErrNameTooLong) Action = Dialogs->AskFailure(Error.Message(), false);
    else Action = Dialogs->AskFailure(Format(SZFProcessFileFailure, Error.Message()), true);
}

void TZFBaseArchiver::DoOnStoreFile(std::wstring& Name, int32_t& Attr, std::string& Comment,
                                    const std::wstring& OriginalName) {
    if (!OnStoreFile) return;
    std::wstring shown = Backslashed(Name);
    OnStoreFile(this, shown, Attr, Comment, OriginalName);
    Name = ZFStringReplace(shown, L"\\", L"/");
}
