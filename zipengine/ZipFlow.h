// The ZIP archiver component. TZFBaseArchiver holds the archive state and the operations of an
// open archive: opening a named file, a volume set, an in-memory archive or a caller's stream;
// searching entries by mask; extracting and testing them in batches that report through events;
// the validity test. TZipFlow is the published component: the standard ZIP signatures, ZIP64
// off by default, deflate or store.
//
// Every event falls back to a built-in default when unassigned; the defaults that ask the user
// (overwrite question, password dialog, failure questions) go through TZFDialogs, so that tests
// answer them instead of a person. The system's dialogs live in ZipFlow_win.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Classes.h"
#include "ZFExcept.h"
#include "ZFWrite.h"

// ---- Settings and records ----------------------------------------------------------------------

// The search attributes that let every kind of entry pass.
constexpr int32_t ZFAllEntriesAttr = 0x28BF;

// Where an item search resumes, and what it looks for.
struct TInternalSearchRec {
    int32_t ItemIndex = 0;
    std::wstring SearchMask;            // at most ZFMaxSearchMask characters, "/" separators
    bool HasWildcards = false;
    int32_t SearchAttr = 0;
    std::wstring ExclusionMask;
    bool UseMaskLists = false;
};
// The longest mask a search takes; a longer one finds nothing.
constexpr size_t ZFMaxSearchMask = 259;

// One entry as the item search reports it.
struct TZFArchiveItem {
    std::wstring ItemName;              // file-name part, "\" separators
    std::wstring ItemPath;              // folder part with a trailing "\" ("" at the top level)
    int64_t UnpackedSize = 0;
    int64_t PackedSize = 0;
    double PackRatio = 0;               // (1 - packed / unpacked) * 100; 100 for empty entries
    bool IsEncrypted = false;
    uint16_t DosDate = 0;
    uint16_t DosTime = 0;
    uint32_t ItemCrc = 0;
    uint32_t ItemAttr = 0;
    std::string ItemComment;
    TInternalSearchRec SearchState;
};

// ---- Events ------------------------------------------------------------------------------------------

using TZFConfirmProcessFileEvent = std::function<void(TObject* Sender, const std::wstring& FileName,
                                                      TZFProcessOperation Operation, bool& Confirm)>;

// ---- Built-in dialogs ------------------------------------------------------------------------------------

enum TZFOverwriteAnswer { oaYes, oaNo, oaNoToAll, oaYesToAll };

// The modal questions the archiver asks when no handler answers them.
class TZFDialogs {
public:
    virtual ~TZFDialogs() = default;
    // "Overwrite file ... with ..." with Yes, No, No to all, Yes to all.
    virtual TZFOverwriteAnswer ConfirmOverwrite(const std::wstring& Text) = 0;
    // The password dialog with the caption given, pre-filled with Password; true for OK (Password
    // then holds what was entered, in the ANSI code page).
    virtual bool AskPassword(const std::wstring& Caption, std::string& Password) = 0;
    // A failed entry: Abort, Retry and Ignore, or Abort and Ignore without AllowRetry.
    virtual TZFAction AskFailure(const std::wstring& Text, bool AllowRetry) = 0;
};

// The system's modal dialogs (a single shared object).
TZFDialogs& ZFSystemDialogs();

// The engine's texts of the built-in dialogs.
extern const wchar_t* const SZFConfirmOverwrite;     // "Overwrite file "%s" with "%s""
extern const wchar_t* const SZFPasswordCaption;      // "Password for "%s""
extern const wchar_t* const SZFPasswordPrompt;       // "Enter password: "
extern const wchar_t* const SZFProcessFileFailure;   // "%s. File processing error, possibly disk is full"
extern const wchar_t* const SZFSpanningModeOnOpen;   // "Cannot set spanning mode on open archive"

// ---- The archiver ------------------------------------------------------------------------------------------

class TZFBaseArchiver : public TZFArchiveWriter {
public:
    KW_CLASS_NAME(TZFBaseArchiver)
    explicit TZFBaseArchiver(TComponent* AOwner);
    ~TZFBaseArchiver() override;

    // -- Opening and closing --
    // Opens FileName (or a new in-memory archive): created when it does not exist, else read and
    // write when others may be kept from writing, else read-only. Code 9 for a blank name.
    void OpenArchive();
    // Opens with the file mode given (ZFOpenCreate creates). Codes 10, 12 and 28.
    void OpenArchiveMode(int32_t AMode);
    // Opens the archive held in a caller's stream (never freed here); with ACreate the stream is
    // emptied and receives an empty archive. Code 51 with spanning or splitting set.
    void OpenArchiveStream(TStream* AStream, bool ACreate);
    // Commits pending changes and writes the directory of a new, still empty archive (errors of
    // both are swallowed), then frees the directory and the stream when owned.
    void CloseArchive();
    // True when an archive is open; otherwise whether FileName holds an archive whose every entry
    // decodes and checks.
    bool IsValidArchive();
    bool IsOpen() const { return FIsOpen; }

    // -- Searching --
    bool FindFirst(const std::wstring& AFileMask, TZFArchiveItem& AItem, int32_t ASearchAttr,
                   const std::wstring& AExclusionMask);
    bool FindNext(TZFArchiveItem& AItem);

    // -- Batches -- (code 13 when no archive is open, code 26 while an update is pending)
    void ExtractFiles(const std::wstring& AFileMask, int32_t ASearchAttr = ZFAllEntriesAttr,
                      const std::wstring& AExclusionMask = L"");
    void TestFiles(const std::wstring& AFileMask, int32_t ASearchAttr = ZFAllEntriesAttr,
                   const std::wstring& AExclusionMask = L"");

    // -- Properties --
    // "5.05 " whatever the locale; writing is ignored.
    std::wstring GetCurrentVersion() const;
    void SetCurrentVersion(const std::wstring&) {}
    const std::string& GetPassword() const { return Password; }
    virtual void SetPassword(const std::string& Value);
    // A plain error while an archive is open.
    void SetSpanningMode(TZFSpanningMode Value);
    bool GetInMemory() const { return FInMemory; }
    void SetInMemory(bool Value);
    void SetOptions(const TZFOptions* Value) { Options.Assign(Value); }
    void SetSpanningOptions(const TZFSpanningOptions* Value) { SpanningOptions.Assign(Value); }
    const TStringList& GetFileMasks() const { return FFileMasks; }
    void SetFileMasks(const TStrings* Value);
    const TStringList& GetExclusionMasks() const { return FExclusionMasks; }
    void SetExclusionMasks(const TStrings* Value);
    const TStringList& GetNoCompressionMasks() const { return FNoCompressionMasks; }
    void SetNoCompressionMasks(const TStrings* Value);

    // The questions' answers when no handler is assigned; never null.
    TZFDialogs* Dialogs;

    // -- Events (besides those of the reader, the volume layer and the writing paths) --
    TZFConfirmProcessFileEvent OnConfirmProcessFile;
    TNotifyEvent AfterOpen;

    // The alternate format writes no method of its own (0xFFFF); TZipFlow deflates or stores.
    void UpdateCompressionMethod() override;

protected:
    // Hands the name over with "\" separators and takes it back with "/".
    void DoOnStoreFile(std::wstring& Name, int32_t& Attr, std::string& Comment,
                       const std::wstring& OriginalName) override;
    void DoOnPassword(const std::wstring& Name, std::string& NewPassword, bool& Skip) override;
    void DoOnConfirmOverwrite(const std::wstring& Source, std::wstring& Dest, bool& Confirm) override;
    virtual void DoOnConfirmProcessFile(const std::wstring& Name, TZFProcessOperation Operation, bool& Confirm);
    // Without a handler: code 45 aborts at once, others ask the user.
    void DoOnProcessFileFailure(const std::wstring& Name, TZFProcessOperation Operation,
                                const EZFException& Error, TZFAction& Action) override;

private:
    bool SearchFrom(TZFArchiveItem& AItem);
    bool NameMatches(const std::wstring& Name, const TInternalSearchRec& State) const;
    void FillItem(int32_t Index, TZFArchiveItem& AItem) const;
    // Marks the entries of the mask and runs the batch over them.
    void MarkAndProcess(const std::wstring& AFileMask, int32_t ASearchAttr, const std::wstring& AExclusionMask,
                        TZFProcessOperation Operation);
    void ProcessMarked(TZFProcessOperation Operation, int32_t SingleIndex);
    // One entry of a batch; false when the batch ends.
    bool ProcessEntry(int32_t Index, TZFProcessOperation Operation);
    void CheckBatchAllowed();
    void OpenNewArchive();
    // Raises the error again, with the component's name in front when it lacks it.
    [[noreturn]] void RaiseNamed(const EZFException& Error);
    bool ProbeArchiveFile();

    bool FIsOpen = false;
    bool FInMemory = false;
    TStringList FFileMasks;
    TStringList FExclusionMasks;
    TStringList FNoCompressionMasks;
    // While IsValidArchive tests: the first failing entry ends the test without asking anyone.
    bool FProbing = false;
    // Entries of the last batch that failed.
    int32_t FFilesFailed = 0;
};

class TZipFlow : public TZFBaseArchiver {
public:
    KW_CLASS_NAME(TZipFlow)
    explicit TZipFlow(TComponent* AOwner);
    void SetPassword(const std::string& Value) override;
    // 8 (deflate) when CompressionMode is above 0, else 0 (stored).
    void UpdateCompressionMethod() override;
};
