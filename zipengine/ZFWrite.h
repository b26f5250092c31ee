// Writing archives: the update transaction and its commit.
//
// While an update is open, changes only touch the directory in memory: new entries with their
// source (a file or a caller's stream), deletions, renames, refreshes from disk, attribute and
// comment changes; the directory's backup array remembers the archive as it is on disk. The
// commit rewrites the archive from the first changed entry on: the old tail is kept in a
// temporary copy, unchanged entries are copied back from it as raw bytes, changed and new entries
// are compressed (raw deflate through zlib, or stored), encrypted when they have a password
// (traditional PKWARE or WinZip AES, AE-2), written with complete local headers (ZIP64 values
// where needed) and the central directory is appended. A cancelled, aborted or failed commit
// gives the archive back byte for byte. A split or spanned set is written by the commit that
// follows its creation, its entries passing through a temporary file so that no local header
// straddles two volumes.
//
// No operation of the system opens an update; BeginUpdate and the queueing calls below are the
// engine's internal entry point (the tests drive the commit through them).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ZFExcept.h"
#include "ZFRead.h"

enum TZFCompressionLevel { clNone, clFastest, clNormal, clMax };
enum TZFCryptoAlgorithm { caPkzipClassic, caAES_128, caAES_192, caAES_256 };
enum TZip64Mode { zmDisabled, zmAuto, zmAlways };
enum TZFAction { fxaRetry, fxaIgnore, fxaAbort };

// zlib's failures while compressing (text "error"); not an EZFException, so it ends a commit.
KW_DECLARE_EXCEPTION(ECompressionError, Exception);

using TZFProcessFileFailureEvent =
    std::function<void(TObject* Sender, const std::wstring& FileName, TZFProcessOperation Operation,
                       int32_t NativeError, int32_t ErrorCode, const std::wstring& ErrorMessage,
                       TZFAction& Action)>;
using TZFOnStoreFileEvent = std::function<void(TObject* Sender, std::wstring& FileName, int32_t& FileAttr,
                                               std::string& Comment, const std::wstring& OriginalFileName)>;

// Input bytes per block of a compression mode (0..9); the zlib level is the mode itself.
int32_t ZFCompressionBufferSize(uint8_t Mode);

class TZFArchiveWriter : public TZFArchiveReader {
public:
    KW_CLASS_NAME(TZFArchiveWriter)
    explicit TZFArchiveWriter(TComponent* AOwner);
    ~TZFArchiveWriter() override;

    // -- Compression settings --
    uint8_t GetCompressionMode() const { return FCompressionMode; }
    // Code 5 above 9 (the mode stays); sets the level (0 clNone, 1..3 clFastest, 4..6 clNormal,
    // 7..9 clMax), then UpdateCompressionMethod.
    void SetCompressionMode(uint8_t Value);
    TZFCompressionLevel GetCompressionLevel() const { return FCompressionLevel; }
    // clNone 0, clFastest 1, clNormal 6, clMax 9 as the mode.
    void SetCompressionLevel(TZFCompressionLevel Value);
    // The standard format: 8 (deflate) for modes above 0, 0 (stored) for mode 0; the alternate
    // format: 0xFFFF.
    virtual void UpdateCompressionMethod();

    TZip64Mode Zip64Mode = zmAuto;
    // New entries also carry their UTF-16 name in the 0x554E extra field.
    bool UnicodeFilenames = false;
    // Cipher of entries added with a password (AES for the standard format only).
    TZFCryptoAlgorithm EncryptionMethod = caPkzipClassic;
    // Folder that relative source names and stored paths refer to (the current folder when empty).
    std::wstring WorkDir;
    // Above 0 while an update is open.
    int32_t PendingChanges = 0;

    TZFProcessFileFailureEvent OnProcessFileFailure;
    TZFOnStoreFileEvent OnStoreFile;

    // -- Creating --
    // Creates FileName (for a split or spanned set its first volume) and sets up an empty
    // directory on it, after the SFX stub when one is set (code 47 when the stub does not fit the
    // first volume); nothing else is written until a commit. The component's open in create mode
    // does the same.
    void CreateArchiveFile();

    // -- The update (internal entry point) --
    // Opens an update (nested calls only count): the directory is copied into the backup. Code 13
    // without an open archive; code 62 for a volume set that is not being created.
    void BeginUpdate();
    // Queues the file (or folder) by the new-entry rule, after OnStoreFile; an entry of the same
    // name is refilled instead. With Move the source is removed after the commit. The entry's
    // index, or -1 when the stored name came out empty. Code 25 without an open update.
    int32_t AddFile(const std::wstring& FileName, bool Move = false);
    // Queues the rest of a caller's stream (from its position) under Name, with the attributes
    // (bit 0x10 makes a folder) and the date-time. With OwnsSource the entry frees the stream,
    // also when it is not queued.
    int32_t AddStream(const std::wstring& Name, TStream* Source, bool OwnsSource, int32_t Attr, TDateTime DateTime);
    // Renames entry Index (code 59 when another entry has that name); the name fields of other
    // tools that would bring the old name back are dropped.
    void RenameEntry(int32_t Index, const std::wstring& NewName);
    void ChangeEntryAttr(int32_t Index, uint32_t Attr);
    void ChangeEntryComment(int32_t Index, const std::string& Comment);
    // Removes entry Index. Codes 21 (index) and 22 (no update).
    void DeleteEntry(int32_t Index);
    // Refills entry Index from the disk file. Codes 24 (index) and 25 (no update).
    void RefreshEntry(int32_t Index, const std::wstring& DiskFile);
    // The update step of a batch: entry Index is refreshed from its file under DestDir (trailing
    // "\") as Options.OverwriteMode and ReplaceReadOnly say; folders are passed over.
    void RefreshEntryFromFolder(int32_t Index, const std::wstring& DestDir);
    // Writes the pending changes (nothing when no update is open). Exceptions other than the
    // per-entry EZFException handled by OnProcessFileFailure pass on after the archive was
    // restored. True when the changes were written; false when cancelled or aborted.
    bool Commit();

protected:
    // Without a handler: abort (the component asks the user instead).
    virtual void DoOnProcessFileFailure(const std::wstring& FileName, TZFProcessOperation Operation,
                                        const EZFException& Error, TZFAction& Action);
    virtual void DoOnStoreFile(std::wstring& FileName, int32_t& FileAttr, std::string& Comment,
                               const std::wstring& OriginalFileName);

private:
    class TCommit;
    friend class TCommit;

    TDirItem NewEntryFromFile(const std::wstring& FileName, const std::wstring& StoredName);
    void FillEntryHeader(TDirItem& Item, bool Folder, uint16_t DosDate, uint16_t DosTime, uint32_t Attr);
    int32_t QueueEntry(TDirItem& Item, TZFProcessOperation Operation);
    void RequireUpdate(int32_t Code) const;
    std::wstring WorkFolder();
    static void ReleaseSource(TDirItem& Item);
    void ReleaseSources();

    uint8_t FCompressionMode = 1;
    TZFCompressionLevel FCompressionLevel = clFastest;
};
