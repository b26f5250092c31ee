#include "ZFVolumes.h"

#include <algorithm>
#include <vector>

#include "ZFExcept.h"
#include "ZFStrFunc.h"

const wchar_t* const SZFInsertBlankDisk = L"Please insert a blank disk #%d";
const wchar_t* const SZFInsertFirstDisk = L"Please insert the first disk";
const wchar_t* const SZFInsertLastDisk = L"Please insert the last disk";
const wchar_t* const SZFLastDiskNotFound =
    L"File '%s' not found on inserted disk. Please insert last disk with required file";
const wchar_t* const SZFInsertDisk = L"Please insert disk #%d";
const wchar_t* const SZFDiskFull =
    L"Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk or "
    L"find another blank disk";

// A volume request for writing needs more than this many free bytes.
static constexpr int64_t MinFreeVolumeSpace = 65536;
static constexpr int32_t CopyBufferSize = 1000000;

// ---- Options -------------------------------------------------------------------------------------

void TZFOptions::Assign(const TPersistent* Source) {
    const TZFOptions* o = dynamic_cast<const TZFOptions*>(Source);
    if (!o) {
        TPersistent::Assign(Source);
        return;
    }
    StorePath = o->StorePath;
    Recurse = o->Recurse;
    OverwriteMode = o->OverwriteMode;
    CreateDirs = o->CreateDirs;
    ReplaceReadOnly = o->ReplaceReadOnly;
    SetAttributes = o->SetAttributes;
    SearchAttr = o->SearchAttr;
    FlushBuffers = o->FlushBuffers;
    OEMFileNames = o->OEMFileNames;
}

void TZFSpanningOptions::Assign(const TPersistent* Source) {
    const TZFSpanningOptions* o = dynamic_cast<const TZFSpanningOptions*>(Source);
    if (!o) {
        TPersistent::Assign(Source);
        return;
    }
    AdvancedNaming = o->AdvancedNaming;
    FirstVolumeSize = o->FirstVolumeSize;
    VolumeSize = o->VolumeSize;
    FCustomVolumeSize = o->FCustomVolumeSize;
}

void TZFSpanningOptions::SetCustomVolumeSize(int64_t Value) {
    FCustomVolumeSize = std::max<int64_t>(Value, 65536);
}

int64_t ZFVolumeSizeBytes(TZFVolumeSize size) {
    switch (size) {
    case vs1_44MB: return 1457664;
    case vs100MB: return 104857600;
    case vs200MB: return 209715200;
    case vs250MB: return 262144000;
    case vs600MB: return 629145600;
    case vs650MB: return 681574400;
    case vs700MB: return 734003200;
    case vs4700MB: return 4928307200LL;
    default: return 0;
    }
}

int64_t TZFSpanningOptions::VolumeSizeLimit(bool FirstVolume) const {
    if (FirstVolume && FirstVolumeSize > 0) return FirstVolumeSize;
    if (VolumeSize == vsCustom) return FCustomVolumeSize;
    return ZFVolumeSizeBytes(VolumeSize);
}

// ---- Volume numbers --------------------------------------------------------------------------------

void TZFVolumeNumberInfo::Reset() {
    Kind = vkUnknown;
    VolumeNumber = -1;
    LastVolumeNumber = -1;
}

void TZFVolumeNumberInfo::MakeFirst() {
    VolumeNumber = 0;
    Kind = vkFirst;
}

void TZFVolumeNumberInfo::MakeLast() {
    VolumeNumber = LastVolumeNumber;
    Kind = vkLast;
}

void TZFVolumeNumberInfo::SetNumber(int32_t Number) {
    VolumeNumber = Number;
    Kind = vkNumbered;
}

bool TZFVolumeNumberInfo::IsLast() const {
    if (LastVolumeNumber == -1) return Kind == vkLast;
    return VolumeNumber == LastVolumeNumber;
}

bool TZFVolumeNumberInfo::SameVolume(const TZFVolumeNumberInfo& Other) const {
    if (IsLast()) return Other.IsLast();
    if (IsFirst()) return Other.IsFirst();
    if (VolumeNumber < 0) return Kind == Other.Kind;
    return VolumeNumber == Other.VolumeNumber;
}

// ---- The archiver's stream --------------------------------------------------------------------------

TZFArchiveCore::TZFArchiveCore(TComponent* AOwner)
    : TComponent(AOwner), Services(&ZFSystemVolumeServices()) {
    CurrentVolume.Reset();
}

TZFArchiveCore::~TZFArchiveCore() {
    FreeArchiveStream();
}

void TZFArchiveCore::SetOwnedStream(std::unique_ptr<TStream> Stream) {
    FreeArchiveStream();
    FOwnedStream = std::move(Stream);
    FStream = FOwnedStream.get();
}

void TZFArchiveCore::SetCallerStream(TStream* Stream) {
    FreeArchiveStream();
    FStream = Stream;
    FCallerOwnsStream = Stream != nullptr;
}

void TZFArchiveCore::FreeArchiveStream() {
    FStream = nullptr;
    FOwnedStream.reset();
    FCallerOwnsStream = false;
}

// ---- Names ---------------------------------------------------------------------------------------------

bool TZFArchiveCore::IsSelfExtracting(const std::wstring& Name) const {
    if (DirectoryPrefix > 0 || !SFXStub.empty()) return true;
    return ZFLowerCase(ZFExtractFileExt(Name)).find(L".exe") != std::wstring::npos;
}

std::wstring TZFArchiveCore::VolumeName(const std::wstring& Name, int32_t Volume, bool CheckExists) {
    // Other tools write the volume names in other case (Info-ZIP's ".z01"): the volume that is
    // there is meant, as on Windows, where file names ignore case.
    return ZFExistingFileName(ComposeVolumeName(Name, Volume, CheckExists));
}

std::wstring TZFArchiveCore::ComposeVolumeName(const std::wstring& Name, int32_t Volume, bool CheckExists) {
    const std::wstring ext = ZFExtractFileExt(Name);
    const std::wstring stem = Name.substr(0, Name.size() - ext.size());   // path + base
    const bool sfx = IsSelfExtracting(Name);
    const bool alternate = CompressionMethod > 251;

    if (Volume < 0) return sfx && FSpanningMode == smSplitting ? stem + (alternate ? L".ZF" : L".ZIP") : Name;

    if (FSpanningMode == smSpanning) {
        auto named = [&](bool advanced) {
            if (!advanced) return Name;
            return stem + L"_" + Format(L"%.3u", Volume + 1) + (sfx ? L".exe" : ext);
        };
        const std::wstring first = named(SpanningOptions.AdvancedNaming);
        if (!CheckExists || ZFFileExists(ZFExistingFileName(first))) return first;
        const std::wstring other = named(!SpanningOptions.AdvancedNaming);
        return ZFFileExists(ZFExistingFileName(other)) ? other : first;
    }

    if (Volume == 0 && sfx) return stem + L".exe";
    const int32_t n = Volume + 1;
    if (SpanningOptions.AdvancedNaming) return stem + L"_" + Format(L"%.3u", n) + ext;
    return stem + (alternate ? L".F" : L".Z") + Format(L"%.2d", n);
}

int64_t TZFArchiveCore::VolumeSizeLimit(const TZFVolumeNumberInfo& Volume) const {
    return SpanningOptions.VolumeSizeLimit(Volume.VolumeNumber == 0);
}

int64_t TZFArchiveCore::FreeSpace(const std::wstring& Name) {
    return Services->FreeSpace(Name);
}

// ---- Events and their built-in defaults --------------------------------------------------------------

void TZFArchiveCore::DoOnRequestBlankVolume(int32_t Volume, std::wstring& Name, bool& Cancel) {
    Name = VolumeName(FileName, Volume, false);
    Cancel = false;
    const int32_t number = std::max(Volume, 0) + 1;
    if (OnRequestBlankVolume) OnRequestBlankVolume(this, number, Name, Cancel);
    else if (FSpanningMode == smSpanning) Cancel = !Services->Confirm(Format(SZFInsertBlankDisk, number));
}

void TZFArchiveCore::DoOnRequestFirstVolume(std::wstring& Name, bool& Cancel) {
    Name = VolumeName(FileName, 0, !OnRequestFirstVolume);
    Cancel = false;
    if (OnRequestFirstVolume) {
        OnRequestFirstVolume(this, Name, Cancel);
    } else if (FSpanningMode == smSpanning) {
        Cancel = !Services->Confirm(SZFInsertFirstDisk);
        if (!Cancel) Name = VolumeName(FileName, 0, true);
    } else {
        Cancel = !ZFFileExists(Name) && OpenMode != ZFOpenCreate;
    }
}

void TZFArchiveCore::DoOnRequestLastVolume(std::wstring& Name, bool& Cancel) {
    Name = VolumeName(FileName, -1, true);
    Cancel = false;
    if (OnRequestLastVolume) {
        OnRequestLastVolume(this, Name, Cancel);
    } else if (FSpanningMode == smSpanning) {
        Cancel = !Services->Confirm(SZFInsertLastDisk);
        while (!Cancel && !ZFFileExists(Name)) Cancel = !Services->Confirm(Format(SZFLastDiskNotFound, Name));
    } else {
        Cancel = !ZFFileExists(Name);
    }
}

void TZFArchiveCore::DoOnRequestMiddleVolume(int32_t Volume, std::wstring& Name, bool& Cancel) {
    Name = VolumeName(FileName, Volume, !OnRequestMiddleVolume);
    Cancel = false;
    if (OnRequestMiddleVolume) {
        OnRequestMiddleVolume(this, Volume + 1, Name, Cancel);
        return;
    }
    if (FSpanningMode == smSpanning) Cancel = !Services->Confirm(Format(SZFInsertDisk, Volume + 1));
    else Cancel = !ZFFileExists(Name);
    if (!Cancel) Name = VolumeName(FileName, Volume, true);
}

void TZFArchiveCore::DoOnDiskFull(int32_t Volume, const std::wstring& Name, bool& Cancel) {
    Cancel = false;
    if (OnDiskFull) {
        OnDiskFull(this, Volume + 1, Name, Cancel);
        return;
    }
    if (FSpanningMode != smSpanning) throw EZFException(ZFErrDiskFull);
    TZFVolumeNumberInfo volume;
    volume.SetNumber(Volume);
    Cancel = !Services->Confirm(Format(SZFDiskFull, VolumeSizeLimit(volume), FreeSpace(Name)));
}

void TZFArchiveCore::DoOnCopyTempFileProgress(double Progress, TZFProgressPhase Phase, bool& Cancel) {
    if (OnCopyTempFileProgress) OnCopyTempFileProgress(this, Progress, Phase, Cancel);
}

// ---- Volume requests --------------------------------------------------------------------------------------

std::unique_ptr<TStream> TZFArchiveCore::OpenVolumeFile(const std::wstring& Name) {
    const uint32_t mode = OpenMode == ZFOpenCreate ? fmCreate : (uint32_t)OpenMode;
    return std::make_unique<TFileStream>(Name, mode);
}

void TZFArchiveCore::RequestVolume(const TZFVolumeNumberInfo& Wanted) {
    if (FCallerOwnsStream) {
        CurrentVolume = Wanted;
        return;
    }
    if (OpenMode == ZFOpenCreate && FSpanningMode != smNone) RequestVolumeForWriting(Wanted);
    else RequestVolumeForReading(Wanted);
}

void TZFArchiveCore::RequestVolumeForWriting(const TZFVolumeNumberInfo& Wanted) {
    FreeArchiveStream();
    const int64_t limit = VolumeSizeLimit(Wanted);
    const int32_t volume = Wanted.VolumeNumber;
    std::wstring name;
    bool cancel = false;
    for (;;) {
        name = FileName;
        DoOnRequestBlankVolume(volume, name, cancel);
        if (cancel) break;
        const int64_t free = FreeSpace(name);
        if (free > MinFreeVolumeSpace && (limit <= 0 || FSpanningMode != smSpanning || free >= limit)) break;
        DoOnDiskFull(volume, name, cancel);
        if (cancel) break;
    }
    if (cancel) throw EZFException(ZFErrVolumeCancelled, this);
    SetOwnedStream(std::make_unique<TFileStream>(name, fmCreate));
    CurrentVolumeName = name;
    CurrentVolume = Wanted;
    if (FSpanningMode == smSpanning)
        Services->SetDriveLabel(name, L"pkback# " + Format(L"%.3d", std::max(volume, 0) + 1));
}

void TZFArchiveCore::RequestVolumeForReading(const TZFVolumeNumberInfo& Wanted) {
    if (FSpanningMode == smNone) {
        if (!FStream) {
            SetOwnedStream(OpenVolumeFile(FileName));
            CurrentVolumeName = FileName;
        }
        CurrentVolume = Wanted;
        return;
    }
    if (FStream && Wanted.SameVolume(CurrentVolume)) return;
    // A spanned set may use one name on every disk: the open volume is let go before the user
    // is asked to change disks.
    FreeArchiveStream();
    for (;;) {
        std::wstring name = FileName;
        bool cancel = false;
        if (Wanted.IsFirst()) DoOnRequestFirstVolume(name, cancel);
        else if (Wanted.IsLast()) DoOnRequestLastVolume(name, cancel);
        else DoOnRequestMiddleVolume(Wanted.VolumeNumber, name, cancel);
        if (cancel || (name.empty() && FSpanningMode == smSplitting)) throw EZFException(ZFErrVolumeCancelled, this);
        if (!name.empty() && (ZFFileExists(name) || OpenMode == ZFOpenCreate)) {
            SetOwnedStream(OpenVolumeFile(name));
            CurrentVolumeName = name;
            CurrentVolume = Wanted;
            return;
        }
    }
}

// ---- Writing across volumes ------------------------------------------------------------------------------

int64_t TZFArchiveCore::WriteAcrossVolumes(const void* Data, int64_t Count, int64_t Minimum, TStream* Buffer) {
    const uint8_t* p = static_cast<const uint8_t*>(Data);
    auto put = [](TStream* s, const uint8_t* d, int64_t n) {
        int64_t done = 0;
        while (done < n) {
            const int32_t piece = (int32_t)std::min<int64_t>(n - done, 0x40000000);
            const int32_t w = s->Write(d + done, piece);
            if (w <= 0) break;
            done += w;
        }
        return done;
    };
    if (FSpanningMode == smNone) return put(FStream, p, Count);

    int64_t written = 0;
    while (written < Count) {
        const int64_t buffered = Buffer ? Buffer->GetSize() : 0;
        const int64_t free = FreeSpace(CurrentVolumeName) - buffered;
        const int64_t limit = VolumeSizeLimit(CurrentVolume);
        const int64_t room = limit - FStream->GetSize() - buffered;
        const int64_t usable = limit > 0 ? std::min(room, free) : free;
        if (usable < 0) break;
        const int64_t remaining = Count - written;
        // A record that does not fit even an empty volume is split rather than asking for new
        // volumes without end.
        const bool emptyVolume = FStream->GetSize() == 0 && buffered == 0;
        if (Minimum < 0 || usable >= Minimum + remaining || emptyVolume) {
            const int64_t n = std::min(usable, remaining);
            const int64_t w = put(Buffer ? Buffer : FStream, p + written, n);
            written += w;
            if (w < n) break;
        }
        if (written >= Count) break;
        if (Buffer) {
            Buffer->SetPosition(0);
            FStream->CopyFrom(Buffer, 0);
            Buffer->SetSize(0);
        }
        if (FSpanningMode == smSpanning) Services->FlushFile(FStream);
        TZFVolumeNumberInfo next = CurrentVolume;
        next.SetNumber(CurrentVolume.VolumeNumber + 1);
        RequestVolumeForWriting(next);
    }
    return written;
}

void TZFArchiveCore::WriteAll(const void* Data, int64_t Count, int64_t Minimum, TStream* Buffer) {
    if (WriteAcrossVolumes(Data, Count, Minimum, Buffer) < Count) throw EZFException(ZFErrWriteShort, this);
}

int64_t TZFArchiveCore::CopyIntoVolumes(TStream* Source, int64_t Count, int64_t Minimum, bool WithProgress) {
    if (Count < 0) Count = Source->GetSize() - Source->GetPosition();
    std::vector<uint8_t> buffer((size_t)std::min<int64_t>(std::max<int64_t>(Count, 1), CopyBufferSize));
    bool cancel = false;
    if (WithProgress) DoOnCopyTempFileProgress(0, ppStart, cancel);
    int64_t done = 0;
    while (done < Count && !cancel) {
        const int32_t n = (int32_t)std::min<int64_t>(Count - done, (int64_t)buffer.size());
        const int32_t got = Source->Read(buffer.data(), n);
        if (got <= 0) break;
        WriteAll(buffer.data(), got, Minimum);
        done += got;
        if (WithProgress) DoOnCopyTempFileProgress((double)done / (double)Count * 100.0, ppProcess, cancel);
    }
    if (WithProgress) DoOnCopyTempFileProgress(100, ppEnd, cancel);
    return done;
}

// ---- Kind of set ----------------------------------------------------------------------------------------

void TZFArchiveCore::DetectSetKind(const TZFEndSearch& Search) {
    if (!Search.MetSignature) {
        FSpanningMode = Services->IsRemovable(FileName) ? smSpanning : smNone;
        return;
    }
    if (Search.Found && Search.ThisDisk == 0) {
        FSpanningMode = smNone;
        return;
    }
    FSpanningMode = smSplitting;
    const int32_t previous = (int32_t)Search.ThisDisk - 1;
    if (ZFFileExists(VolumeName(FileName, previous, false))) {
        if (Search.ThisDisk == 0) FSpanningMode = smNone;
        return;
    }
    SpanningOptions.AdvancedNaming = !SpanningOptions.AdvancedNaming;
    if (ZFFileExists(VolumeName(FileName, previous, false))) return;
    SpanningOptions.AdvancedNaming = !SpanningOptions.AdvancedNaming;
    const bool exe = ZFLowerCase(FileName).find(L".exe") != std::wstring::npos;
    FSpanningMode = exe || (Search.ThisDisk == 0 && !Services->IsRemovable(FileName)) ? smNone : smSpanning;
}
