// Reading archives: opening a directory (from a caller's stream, or from a named file or volume
// set), and turning one entry back into bytes: into a stream, into a file under a destination
// folder, or into nothing for a test. TZFArchiveReader is the narrow interface the archiver
// component drives; the component derives from it and adds the batches, searches and dialogs.
//
// Every decoded entry is checked: its size, and its CRC-32 (AE-2 entries, which store no CRC, by
// their authentication code). Stored names that would leave the destination folder are refused.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Classes.h"
#include "ZFDirectory.h"
#include "ZFVolumes.h"

enum TZFProcessOperation { poAdd, poMove, poDelete, poUpdate, poExtract, poTest, poRename, poChangeAttr,
                           poChangeComment, poMakeSFX, poMerge };

using TZFProgressEvent = std::function<void(TObject* Sender, double Progress, TZFProcessOperation Operation,
                                            TZFProgressPhase ProgressPhase, bool& Cancel)>;
using TZFFileProgressEvent =
    std::function<void(TObject* Sender, const std::wstring& FileName, double Progress,
                       TZFProcessOperation Operation, TZFProgressPhase ProgressPhase, bool& Cancel)>;
using TZFOnPasswordEvent = std::function<void(TObject* Sender, const std::wstring& FileName,
                                              std::string& NewPassword, bool& SkipFile)>;
using TZFOnExtractFileEvent = std::function<void(TObject* Sender, std::wstring& FileName, uint32_t& FileAttr,
                                                 const std::string& Comment)>;
using TZFConfirmOverwriteEvent = std::function<void(TObject* Sender, const std::wstring& SourceFileName,
                                                    std::wstring& DestFileName, bool& Confirm)>;

// The sink of tests: takes and gives any count and moves nothing.
class TNullStream : public TStream {
public:
    KW_CLASS_NAME(TNullStream)
    int32_t Read(void* Buffer, int32_t Count) override { return Count; }
    int32_t Write(const void* Buffer, int32_t Count) override { return Count; }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return 0; }
    void SetSize(int64_t NewSize) override {}
};

// True when the stored name stays inside the destination folder: no "..", no leading "\" or "/"
// (so no network path), no drive letter and no colon (so no alternate data stream).
bool ZFIsSafeEntryName(const std::wstring& Name);

// How often a short write of extracted data is retried after OnDiskFull answered to go on.
constexpr int32_t ZFDiskFullRetries = 3;

// ---- Platform services of extraction ---------------------------------------------------------------

// Sets the last-write time of an open file stream to an MS-DOS local date and time.
void ZFSetFileDosTime(TStream* File, uint16_t DosDate, uint16_t DosTime);
// Sets the last-write time (as ZFSetFileDosTime) and the attributes (0 for none) of an open file
// stream in one call through its handle, sparing a second call and a second open of the file by
// name. False when the attributes were not set (no handle, or the system refuses); the time is set
// all the same, and the caller then sets the attributes by name.
bool ZFSetOpenFileTimeAttr(TStream* File, uint16_t DosDate, uint16_t DosTime, int32_t Attr);
// Creates FileName for writing only if no file or folder of that name exists. Null when the name
// is taken, or on any failure: the caller then takes the path that checks the existing file and
// reports errors. Spares a new file its separate existence check, which costs a directory lookup.
std::unique_ptr<TStream> ZFCreateNewFile(const std::wstring& FileName);

// ---- The reader --------------------------------------------------------------------------------------

class TZFArchiveReader : public TZFArchiveCore {
public:
    KW_CLASS_NAME(TZFArchiveReader)
    explicit TZFArchiveReader(TComponent* AOwner);
    ~TZFArchiveReader() override;

    // -- Opening and closing --
    // The directory of a caller's stream (which stays the caller's). With Create the stream is
    // emptied and receives an empty archive (after the SFX stub when one is set).
    void OpenDirectoryOnStream(TStream* Stream, bool Create);
    // The directory of the existing archive FileName: a plain file, a split or spanned set, or a
    // self-extracting file; SpanningMode is set from what is found. Code 48 when no end record is
    // found and RepairOnOpen is off.
    void OpenNamedArchive();
    // Sets up the empty directory of a new archive on the archive stream (the SFX stub copied in
    // when one is set); nothing is written yet.
    void OpenNewDirectory();
    // Frees the directory, and the stream when the archiver owns it.
    void CloseDirectory();
    TZFDirManager* Directory() const { return FDir.get(); }

    // -- Entries --
    // Decodes entry Index into the stream. Code 16 for a bad index; code 8 when decoding fails,
    // unless the batch was cancelled, ExtractCorruptedFiles is set or the entry was skipped at the
    // password prompt. True when the entry was decoded completely. Code 67 when the password
    // handler neither skips the entry nor changes the password; code 65 when a write still comes
    // up short after ZFDiskFullRetries answers of OnDiskFull to go on.
    bool ExtractEntryToStream(int32_t Index, TStream* Output);
    // Extracts entry Index into DestDir (with a trailing "\"); EntryName is the stored name with
    // "\" separators. Folders are created; a failed or skipped entry leaves no file behind.
    void ExtractEntryToDisk(int32_t Index, const std::wstring& EntryName, const std::wstring& DestDir);
    // Decodes entry Index into a null stream; folders are passed over.
    void TestEntry(int32_t Index, const std::wstring& EntryName);

    // -- Settings and state --
    std::string Password;
    bool ExtractCorruptedFiles = false;
    std::wstring BaseDir;
    TZFProcessOperation CurrentOperation = poExtract;
    bool SkipFile = false;
    bool ProgressEnabled = true;
    int32_t FilesDone = 0;
    int32_t FilesTotal = 0;
    int64_t BytesTotal = 0;
    int64_t BytesDone = 0;
    int64_t FileBytesDone = 0;
    int64_t FileBytesTotal = 0;

    TZFFileProgressEvent OnFileProgress;
    TZFProgressEvent OnOverallProgress;
    TZFOnPasswordEvent OnPassword;
    TZFOnExtractFileEvent OnExtractFile;
    TZFConfirmOverwriteEvent OnConfirmOverwrite;

protected:
    virtual void DoOnFileProgress(const std::wstring& Name, double Progress, TZFProcessOperation Operation,
                                  TZFProgressPhase Phase, bool& Cancel);
    virtual void DoOnOverallProgress(double Progress, TZFProcessOperation Operation, TZFProgressPhase Phase,
                                     bool& Cancel);
    // Without a handler the entry is skipped (the component shows its password dialog instead).
    virtual void DoOnPassword(const std::wstring& Name, std::string& NewPassword, bool& Skip);
    virtual void DoOnExtractFile(std::wstring& Name, uint32_t& Attr, const std::string& Comment);
    // Without a handler the existing file is kept (the component asks the user instead).
    virtual void DoOnConfirmOverwrite(const std::wstring& Source, std::wstring& Dest, bool& Confirm);

    // Starts a batch of entries: what the batch asks of the drive is asked anew.
    void BeginBatch();

private:
    class TEntryDecoder;
    friend class TEntryDecoder;
    // Whether the drive of an extracted file is removable (its buffers are then flushed). The
    // answer cannot change during a batch, and asking the system costs a call per file: it is
    // asked once per drive and batch.
    bool IsRemovableTarget(const std::wstring& Path);
    // One of the decoding buffers below, allocated at first use with Size bytes.
    uint8_t* DecodeBuffer(std::unique_ptr<uint8_t[]>& Buffer, size_t Size);

    std::unique_ptr<TZFDirManager> FDir;
    // The read and inflate buffers, kept from entry to entry: allocating and clearing a megabyte
    // or two per entry cost more than decoding a small entry.
    std::unique_ptr<uint8_t[]> FReadBuffer;
    std::unique_ptr<uint8_t[]> FInflateBuffer;
    bool FRemovableKnown = false;
    bool FRemovable = false;
    // The folder made or found for the last extracted entry of this batch.
    std::wstring FLastFolder;
    std::wstring FRemovableDrive;
};
