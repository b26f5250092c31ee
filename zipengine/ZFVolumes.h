// Volumes of an archive: one file, a split set (several files in one folder) or a spanned set
// (one file per removable disk). Volume naming, volume requests through events or built-in
// prompts, size limits and free space when writing, writes carried across volume ends, and the
// detection of the kind of set when an existing archive is opened.
//
// TZFArchiveCore is the archiver's state that the volume, directory and reading layers share:
// the archive stream, the file name, the settings those layers read, and the volume operations.
// The archiver component derives from it (through the reader, ZFRead.h).
//
// The drive services (drive type, free space, volume label, flushing, the prompts) go through
// TZFVolumeServices, so that tests can simulate removable disks; the system's implementation
// lives in ZFVolumes_win.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Classes.h"
#include "ZFConst.h"

// ---- Settings shared by the engine -------------------------------------------------------------

enum TZFSpanningMode { smNone, smSpanning, smSplitting };
enum TZFVolumeSize { vsAutoDetect, vsCustom, vs1_44MB, vs100MB, vs200MB, vs250MB, vs600MB, vs650MB,
                     vs700MB, vs4700MB };
enum TZFProgressPhase { ppStart, ppProcess, ppEnd };
enum TZFOverwriteMode { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };
enum TZFFileShareMode { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };

// The archiver's Options sub-object.
class TZFOptions : public TPersistent {
public:
    KW_CLASS_NAME(TZFOptions)
    // Copies every field but ShareMode from another TZFOptions; other sources: the base.
    void Assign(const TPersistent* Source) override;

    bool Recurse = true;
    TZFStorePathMode StorePath = spRelativePath;
    TZFFileShareMode ShareMode = smShareDenyNone;
    TZFOverwriteMode OverwriteMode = omAlways;
    bool CreateDirs = true;
    bool ReplaceReadOnly = true;
    bool SetAttributes = true;
    int32_t SearchAttr = 0x28BF;
    bool FlushBuffers = true;
    bool OEMFileNames = true;
};

// The SpanningOptions sub-object: volume sizes and naming.
class TZFSpanningOptions : public TPersistent {
public:
    KW_CLASS_NAME(TZFSpanningOptions)
    void Assign(const TPersistent* Source) override;

    int64_t GetCustomVolumeSize() const { return FCustomVolumeSize; }
    // A value below 65536 is stored as 65536.
    void SetCustomVolumeSize(int64_t Value);
    // The size limit of a volume in bytes, 0 for none (free space alone decides).
    int64_t VolumeSizeLimit(bool FirstVolume) const;

    // Volume names with "_" and a three-digit number.
    bool AdvancedNaming = false;
    int64_t FirstVolumeSize = 0;
    TZFVolumeSize VolumeSize = vsAutoDetect;

private:
    int64_t FCustomVolumeSize = 0;
};

// Limit in bytes of each TZFVolumeSize (0 for vsAutoDetect; vsCustom reads CustomVolumeSize).
int64_t ZFVolumeSizeBytes(TZFVolumeSize size);

// Which volume: the first, the last, a numbered one, or not known.
enum TZFVolumeKind { vkFirst, vkLast, vkNumbered, vkUnknown };

class TZFVolumeNumberInfo {
public:
    void Reset();                      // unknown, -1, -1
    void MakeFirst();                  // number 0, kind first
    void MakeLast();                   // number := last number, kind last
    void SetNumber(int32_t Number);    // kind numbered
    bool IsFirst() const { return VolumeNumber == 0; }
    bool IsLast() const;
    bool SameVolume(const TZFVolumeNumberInfo& Other) const;

    TZFVolumeKind Kind = vkUnknown;
    int32_t VolumeNumber = -1;
    int32_t LastVolumeNumber = -1;
};

// ---- Drive services --------------------------------------------------------------------------------

// What the volume layer asks of the platform. The system's implementation asks Windows; tests
// supply a fake drive.
class TZFVolumeServices {
public:
    virtual ~TZFVolumeServices() = default;
    // The drive of the path is removable (a floppy drive letter counts as one).
    virtual bool IsRemovable(const std::wstring& Path) = 0;
    // Bytes free for the caller on the drive of the path (its root with "\" is asked); -1 when
    // the drive cannot be asked.
    virtual int64_t FreeSpace(const std::wstring& Path) = 0;
    // Sets the label of the drive of the path; false when that fails.
    virtual bool SetDriveLabel(const std::wstring& Path, const std::wstring& Label) = 0;
    // Writes a file stream's buffers to the disk (other streams: nothing).
    virtual void FlushFile(TStream* Stream) = 0;
    // A modal confirmation with OK and Cancel; true for OK.
    virtual bool Confirm(const std::wstring& Text) = 0;
};

// The services of the running system (a single shared object).
TZFVolumeServices& ZFSystemVolumeServices();

// The engine's prompt texts of the volume layer.
extern const wchar_t* const SZFInsertBlankDisk;     // "Please insert a blank disk #%d"
extern const wchar_t* const SZFInsertFirstDisk;     // "Please insert the first disk"
extern const wchar_t* const SZFInsertLastDisk;      // "Please insert the last disk"
extern const wchar_t* const SZFLastDiskNotFound;    // "File '%s' not found on inserted disk. ..."
extern const wchar_t* const SZFInsertDisk;          // "Please insert disk #%d"
extern const wchar_t* const SZFDiskFull;            // "Disk is full. Required free space: ..."

// ---- Volume events ---------------------------------------------------------------------------------

// Volume numbers handed to the events are 1-based.
using TZFRequestBlankVolumeEvent =
    std::function<void(TObject* Sender, int32_t VolumeNumber, std::wstring& VolumeFileName, bool& Cancel)>;
using TZFRequestFirstVolumeEvent =
    std::function<void(TObject* Sender, std::wstring& VolumeFileName, bool& Cancel)>;
using TZFRequestLastVolumeEvent = TZFRequestFirstVolumeEvent;
using TZFRequestMiddleVolumeEvent = TZFRequestBlankVolumeEvent;
using TZFDiskFullEvent =
    std::function<void(TObject* Sender, int32_t VolumeNumber, const std::wstring& VolumeFileName, bool& Cancel)>;
using TZFCopyTempFileProgressEvent =
    std::function<void(TObject* Sender, double Progress, TZFProgressPhase ProgressPhase, bool& Cancel)>;

// The open mode that creates the archive file (OpenMode).
constexpr int32_t ZFOpenCreate = -1;

// ---- The archiver's shared state -------------------------------------------------------------------

class TZFArchiveCore : public TComponent {
public:
    KW_CLASS_NAME(TZFArchiveCore)
    explicit TZFArchiveCore(TComponent* AOwner);
    ~TZFArchiveCore() override;

    // -- Archive stream --
    TStream* ArchiveStream() const { return FStream; }
    // The stream belongs to the archiver from now on (any previous one is freed).
    void SetOwnedStream(std::unique_ptr<TStream> Stream);
    // A caller's stream: never freed here, and no volume request is ever made for it.
    void SetCallerStream(TStream* Stream);
    // Frees the stream when the archiver owns it; either way no stream is open afterwards.
    void FreeArchiveStream();
    bool CallerOwnsStream() const { return FCallerOwnsStream; }

    // -- Volumes --
    // The file name of volume k (0-based), or of the last volume for -1. With CheckExists a
    // spanned volume missing under one naming style is looked for under the other. A volume that
    // exists under the name in other case is found by that name (ZFExistingFileName).
    std::wstring VolumeName(const std::wstring& FileName, int32_t Volume, bool CheckExists);

    // A self-extracting set: the open directory has a prefix or SFXStub is set, else the name's
    // extension contains ".exe".
    bool IsSelfExtracting(const std::wstring& FileName) const;
    // Size limit of the volume in bytes (0: none).
    int64_t VolumeSizeLimit(const TZFVolumeNumberInfo& Volume) const;
    // Makes the wanted volume the archive stream, asking through the events (or prompts) as
    // needed; for writing (OpenMode create) a new volume file is made. Code 45 when cancelled.
    void RequestVolume(const TZFVolumeNumberInfo& Wanted);
    // Writes to the archive stream, moving on to new volumes as needed; returns the count
    // written. Minimum (-1: none) keeps a record together: the bytes go into one volume only
    // when Minimum plus the count fit there. A buffer stream, when given, collects the bytes of
    // the current volume and is flushed into it before the next volume.
    int64_t WriteAcrossVolumes(const void* Data, int64_t Count, int64_t Minimum = -1, TStream* Buffer = nullptr);
    // As WriteAcrossVolumes; code 46 when fewer bytes were written than given.
    void WriteAll(const void* Data, int64_t Count, int64_t Minimum = -1, TStream* Buffer = nullptr);
    // Copies Count bytes (-1: the rest) of Source into the volumes through a 1000000-byte buffer,
    // reporting OnCopyTempFileProgress when asked; returns the count copied.
    int64_t CopyIntoVolumes(TStream* Source, int64_t Count, int64_t Minimum, bool WithProgress);
    // Bytes free for the caller on the drive of the file.
    int64_t FreeSpace(const std::wstring& FileName);

    // What an end-record search met, for DetectSetKind: whether the signature was seen at all,
    // whether a record was accepted, and the this-disk number of the record nearest the end.
    struct TZFEndSearch {
        bool MetSignature = false;
        bool Found = false;
        int64_t Offset = -1;
        uint16_t ThisDisk = 0;
    };
    // Sets SpanningMode (and, for a split set in the other naming style, AdvancedNaming) from
    // what the end-record search on FileName found.
    void DetectSetKind(const TZFEndSearch& Search);

    // -- State --
    TZFVolumeServices* Services;      // never null; the system's unless a test sets its own
    std::wstring FileName;
    TZFSpanningOptions SpanningOptions;
    TZFOptions Options;
    std::wstring SFXStub;
    std::wstring TempDir;
    // 8 or 0 for the standard format; above 251 selects the alternate format's volume names.
    uint16_t CompressionMethod = 8;
    bool StandardSignatures = true;
    bool RepairOnOpen = true;
    // -1 (ZFOpenCreate) or a file mode of TFileStream.
    int32_t OpenMode = fmOpenRead | fmShareDenyNone;
    TZFVolumeNumberInfo CurrentVolume;
    std::wstring CurrentVolumeName;
    // Bytes in front of the first local header of the open directory (set by the directory).
    int64_t DirectoryPrefix = 0;
    bool CancelFlag = false;

    TZFSpanningMode GetSpanningMode() const { return FSpanningMode; }
    // The archive's set kind; the component forbids changes while an archive is open.
    void SetSpanningMode(TZFSpanningMode Value) { FSpanningMode = Value; }

    TZFRequestBlankVolumeEvent OnRequestBlankVolume;
    TZFRequestFirstVolumeEvent OnRequestFirstVolume;
    TZFRequestLastVolumeEvent OnRequestLastVolume;
    TZFRequestMiddleVolumeEvent OnRequestMiddleVolume;
    TZFDiskFullEvent OnDiskFull;
    TZFCopyTempFileProgressEvent OnCopyTempFileProgress;

protected:
    // The volume events with their built-in defaults; Volume is 0-based (-1 for none).
    virtual void DoOnRequestBlankVolume(int32_t Volume, std::wstring& Name, bool& Cancel);
    virtual void DoOnRequestFirstVolume(std::wstring& Name, bool& Cancel);
    virtual void DoOnRequestLastVolume(std::wstring& Name, bool& Cancel);
    virtual void DoOnRequestMiddleVolume(int32_t Volume, std::wstring& Name, bool& Cancel);
    virtual void DoOnDiskFull(int32_t Volume, const std::wstring& Name, bool& Cancel);
    virtual void DoOnCopyTempFileProgress(double Progress, TZFProgressPhase Phase, bool& Cancel);

private:
    std::wstring ComposeVolumeName(const std::wstring& FileName, int32_t Volume, bool CheckExists);
    void RequestVolumeForWriting(const TZFVolumeNumberInfo& Wanted);
    void RequestVolumeForReading(const TZFVolumeNumberInfo& Wanted);
    std::unique_ptr<TStream> OpenVolumeFile(const std::wstring& Name);

    TStream* FStream = nullptr;
    std::unique_ptr<TStream> FOwnedStream;
    bool FCallerOwnsStream = false;
    TZFSpanningMode FSpanningMode = smNone;
};
