// The ZIP wrapper unit: TKWZip, the in-house component through which the installer reads its
// payload archive with the ZIP engine (one TZipFlow per opened archive), and the two normalisers
// that map characters which the Japanese ANSI code page (CP932) cannot round-trip to characters
// that it can; the ini documents apply them around every ANSI read and write.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"

// The engine's archiver (ZipFlow.h). The engine's names are kept out of this header, which the
// visual units include too (the engine's clNone is not the colour clNone).
class TZipFlow;

// ---- Japanese text normalisers --------------------------------------------------------------

// After reading ANSI text: U+2015 -> U+2014, U+FFE3 -> U+203E.
std::wstring KWNormalizeLoadedText(const std::wstring& AText);
// Before writing ANSI text: dashes and minus signs to forms CP932 holds, U+2014 -> U+2015,
// U+203E -> U+FFE3, and four CJK ideographs to their CP932 variants; lone surrogates are dropped.
std::wstring KWNormalizeSavedText(const std::wstring& AText);

// ---- The ZIP wrapper ------------------------------------------------------------------------

// Overall progress of an operation in per cent, with the name of the entry last reported; setting
// ACancel stops the operation.
using TzpProgress =
    std::function<void(TObject* ASender, double AProgress, const std::wstring& AFileName, bool& ACancel)>;
// An existing file is about to be replaced by entry AFileName: AConfirm says whether to, ANewFile
// (the existing file's name) may be changed to write somewhere else.
using TzpConfirmOverwrite = std::function<void(TObject* ASender, const std::wstring& AFileName,
                                               std::wstring& ANewFile, bool& AConfirm)>;

// Opens archives held in streams and extracts their items by mask into a folder. The archiver's
// events become three progress events and one overwrite question; volume requests and failures
// are logged (level 3, the wrapper as sender). Every failure is a False result.
class TKWZip : public TComponent {
public:
    KW_CLASS_NAME(TKWZip)
    // AOwner may be nullptr. The archivers the wrapper creates have no owner: it frees them.
    explicit TKWZip(TComponent* AOwner);
    ~TKWZip() override;

    // Opens the archive held in AStream (which stays the caller's and must outlive the archive),
    // replacing any archiver opened before. The stream may be in memory or read in place from a
    // file (a TRangeStream over the archive's bytes). APassword is trimmed; a non-empty one is used
    // for encrypted entries. False for a nil stream or an archive the engine cannot open (logged as
    // "OpenZip(B) except:").
    bool OpenZip(TStream* AStream, const std::wstring& APassword);
    // Closes the archive and frees the archiver; a failure is logged and the archiver then stays.
    void CloseZip();
    // Extracts every item matching AMask into ADir (created when missing), sub-folders included.
    // False when ADir cannot be created, no archive is open, or any item failed (file error, full
    // disk, corrupt data, an unsafe name, a missing password) or the operation was cancelled:
    // items already written stay, the failing one leaves no file.
    bool ExportFiles(const std::wstring& ADir, const std::wstring& AMask);

    const std::wstring& GetTempDir() const { return FTempDir; }
    // Also sets the open archiver's temporary folder.
    void SetTempDir(const std::wstring& Value);

    // Answer every overwrite question with yes; when False, OnOverwrite decides (and without it the
    // existing file is kept).
    bool AutoOverWrite = true;
    TzpProgress OnZipProgress;
    TzpProgress OnUnZipProgress;
    TzpProgress OnTestZipProgress;
    TzpConfirmOverwrite OnOverwrite;

protected:
    // The open archiver, or nullptr.
    TZipFlow* ZipFlow() const { return FZipFlow.get(); }

private:
    bool CreateZipFlow();
    void FreeZipFlow();

    // The handlers of the archiver's events.
    class TEvents;
    friend class TEvents;

    std::unique_ptr<TZipFlow> FZipFlow;
    std::wstring FTempDir;
    // The entry of the last per-file progress event.
    std::wstring FCurrentFile;
    // Names handed out for blank volumes.
    std::vector<std::wstring> FVolumeNames;
    // Volume naming and stored-name rewriting; nothing in this system sets them.
    std::wstring FVolumeDir;
    std::wstring FVolumeBaseName;
    std::wstring FArchiveFolder;
    std::wstring FStripPrefix;
    bool FStripPath = false;
    // Set by every failure event of the current operation.
    bool FError = false;
};
