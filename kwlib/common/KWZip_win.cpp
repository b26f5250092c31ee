#include "KWZip.h"

#include <algorithm>
#include <cstdint>

#include "KWCommonLib.h"
#include "KWLogger.h"
#include "ZipFlow.h"

// ---- The ZIP wrapper ------------------------------------------------------------------------

namespace {

// The cipher of archives opened with a password.
constexpr TZFCryptoAlgorithm kPasswordEncryption = caAES_128;

}  // namespace

// The archiver's events as the wrapper handles them; the archiver is the sender of each.
class TKWZip::TEvents {
public:
    static void Hook(TKWZip& W, TZipFlow& Z) {
        Z.OnFileProgress = [&W](TObject*, const std::wstring& AFileName, double, TZFProcessOperation,
                                TZFProgressPhase, bool&) { W.FCurrentFile = AFileName; };
        Z.OnOverallProgress = [&W](TObject* ASender, double AProgress, TZFProcessOperation AOperation,
                                   TZFProgressPhase, bool& ACancel) {
            OverallProgress(W, ASender, AProgress, AOperation, ACancel);
        };
        Z.OnConfirmOverwrite = [&W](TObject* ASender, const std::wstring& ASource, std::wstring& ADest,
                                    bool& AConfirm) {
            if (W.AutoOverWrite) AConfirm = true;
            else if (W.OnOverwrite) W.OnOverwrite(ASender, ASource, ADest, AConfirm);
        };
        Z.OnRequestBlankVolume = [&W](TObject*, int32_t ANumber, std::wstring& AName, bool&) {
            RequestBlankVolume(W, ANumber, AName);
        };
        Z.OnRequestFirstVolume = [&W](TObject*, std::wstring& AName, bool&) {
            AName = Format(L"%s%s.%.3d", W.FVolumeDir, W.FVolumeBaseName, 2);
            KWLogObject(&W, Format(L"OnRequestFirstVolume:Name -> %s", AName), 3);
        };
        Z.OnRequestMiddleVolume = [&W](TObject*, int32_t ANumber, std::wstring& AName, bool&) {
            AName = Format(L"%s%s.%.3d", W.FVolumeDir, W.FVolumeBaseName, ANumber + 1);
            KWLogObject(&W, Format(L"OnRequestMiddleVolume:No -> %d Name -> %s", ANumber, AName), 3);
        };
        Z.OnRequestLastVolume = [](TObject*, std::wstring&, bool&) {};
        Z.OnDiskFull = [&W](TObject*, int32_t ANumber, const std::wstring& AName, bool& ACancel) {
            W.FError = true;
            // Going on would only repeat the write that just failed: the operation stops here.
            ACancel = true;
            KWLogObject(&W, Format(L"OnDiskFull:No -> %d Name -> %s", ANumber, AName), 3);
        };
        Z.OnProcessFileFailure = [&W](TObject*, const std::wstring& AFileName, TZFProcessOperation,
                                      int32_t ANative, int32_t ACode, const std::wstring& AMessage,
                                      TZFAction& AAction) {
            W.FError = true;
            AAction = fxaAbort;
            KWLogObject(&W, Format(L"OnProcessFileFailure:Name -> %s Message -> %s ECode -> %d Native -> %d",
                                   AFileName, AMessage, ACode, ANative), 3);
        };
        Z.OnStoreFile = [&W](TObject*, std::wstring& AFileName, int32_t&, std::string&,
                             const std::wstring& AOriginalFileName) { StoreFile(W, AFileName, AOriginalFileName); };
        Z.OnPassword = [&W](TObject*, const std::wstring&, std::string&, bool& ASkipFile) {
            W.FError = true;
            ASkipFile = true;
        };
    }

private:
    static void OverallProgress(TKWZip& W, TObject* ASender, double AProgress, TZFProcessOperation AOperation,
                                bool& ACancel) {
        const TzpProgress* event = nullptr;
        switch (AOperation) {
        case poAdd: event = &W.OnZipProgress; break;
        case poExtract: event = &W.OnUnZipProgress; break;
        case poTest: event = &W.OnTestZipProgress; break;
        default: break;
        }
        if (event && *event) (*event)(ASender, AProgress, W.FCurrentFile, ACancel);
        else KWProcessMessages();
    }

    static void RequestBlankVolume(TKWZip& W, int32_t ANumber, std::wstring& AName) {
        const std::wstring requested = Format(L"%s%s.zip.%.3d", W.FVolumeDir, W.FVolumeBaseName, ANumber);
        if (std::find(W.FVolumeNames.begin(), W.FVolumeNames.end(), requested) == W.FVolumeNames.end())
            W.FVolumeNames.push_back(requested);
        AName = Format(L"%s%s.zip.%.3d", W.FVolumeDir, W.FVolumeBaseName, ANumber + 1);
        KWLogObject(&W, Format(L"OnRequestBlankVolume:No -> %d Name -> %s", ANumber, AName), 3);
    }

    static void StoreFile(TKWZip& W, std::wstring& AFileName, const std::wstring& AOriginalFileName) {
        std::wstring name = AFileName;
        if (W.FStripPath) {
            name = AOriginalFileName;
            const std::wstring& prefix = W.FStripPrefix;
            if (!prefix.empty() && name.size() >= prefix.size() && KWSameString(name.substr(0, prefix.size()), prefix))
                name.erase(0, prefix.size());
        }
        AFileName = W.FArchiveFolder + name;
        if (AFileName.empty()) AFileName = L"\\";
    }
};

TKWZip::TKWZip(TComponent* AOwner) : TComponent(AOwner) {}

TKWZip::~TKWZip() {
    FreeZipFlow();
}

void TKWZip::FreeZipFlow() {
    FZipFlow.reset();
}

bool TKWZip::CreateZipFlow() {
    FreeZipFlow();
    try {
        // The archiver is the wrapper's alone. Given to the wrapper's owner, it would be freed
        // by an owner freed first (siblings are not told of each other's end) and then freed
        // again by the wrapper.
        FZipFlow = std::make_unique<TZipFlow>(nullptr);
        FZipFlow->TempDir = FTempDir;
        FZipFlow->UnicodeFilenames = false;
        FZipFlow->Options.StorePath = spNoPath;
        // Every existing file is put to the wrapper's overwrite question, which AutoOverWrite
        // answers with yes; in the engine's default mode the question would never be asked and
        // OnOverwrite could not keep a file.
        FZipFlow->Options.OverwriteMode = omPrompt;
        TEvents::Hook(*this, *FZipFlow);
        return true;
    } catch (const Exception&) {
        FreeZipFlow();
        return false;
    }
}

bool TKWZip::OpenZip(TStream* AStream, const std::wstring& APassword) {
    FVolumeNames.clear();
    const std::wstring password = KWTrim(APassword);
    if (!AStream) return false;
    try {
        if (!CreateZipFlow()) return false;
        FZipFlow->SetPassword("");
        if (!password.empty()) {
            FZipFlow->EncryptionMethod = kPasswordEncryption;
            FZipFlow->SetPassword(WideToAnsi(password));
        }
        FZipFlow->OpenArchiveStream(AStream, false);
        return FZipFlow->IsValidArchive();
    } catch (const Exception& e) {
        KWLogObject(this, L"OpenZip(B) except:" + e.Message(), 3);
        return false;
    }
}

void TKWZip::CloseZip() {
    if (!FZipFlow) return;
    try {
        FZipFlow->CloseArchive();
        FreeZipFlow();
    } catch (const Exception& e) {
        KWLogObject(this, L"CloseZip except:" + e.Message(), 3);
    }
}

bool TKWZip::ExportFiles(const std::wstring& ADir, const std::wstring& AMask) {
    if (!KWForceDirectories(ADir)) return false;
    try {
        FError = false;
        FCurrentFile.clear();
        // The engine's "no archive open" failure stands for a wrapper without an archiver too.
        if (!FZipFlow) throw EZFException(13, this);
        FZipFlow->BaseDir = ADir;
        FZipFlow->ExtractFiles(AMask, ZFAllEntriesAttr, L"");
        // A cancelled extraction left items out: that is no success either.
        return !FError && !FZipFlow->CancelFlag;
    } catch (const Exception& e) {
        KWLogObject(this, L"ExportFiles except:" + e.Message(), 3);
        return false;
    }
}

void TKWZip::SetTempDir(const std::wstring& Value) {
    FTempDir = Value;
    if (FZipFlow) FZipFlow->TempDir = Value;
}
