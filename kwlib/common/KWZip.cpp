#include "KWZip.h"

#include <algorithm>
#include <cstdint>

#include "KWCommonLib.h"
#include "KWLogger.h"
#include "ZipFlow.h"

// ---- Japanese text normalisers --------------------------------------------------------------

std::wstring KWNormalizeLoadedText(const std::wstring& AText) {
    std::wstring s = AText;
    for (wchar_t& c : s) {
        if (c == 0x2015) c = 0x2014;
        else if (c == 0xFFE3) c = 0x203E;
    }
    return s;
}

namespace {

wchar_t SavedUnit(wchar_t c) {
    switch (c) {
    case 0x2011: case 0x2012: case 0x2013: return L'-';
    case 0x2014: return 0x2015;
    case 0x203E: return 0xFFE3;
    case 0x2212: case 0xFE58: case 0xFE63: return 0xFF0D;
    default: return c;
    }
}

uint32_t SavedCodePoint(uint32_t cp) {
    switch (cp) {
    case 0x525D: return 0x5265;
    case 0x5861: return 0x586B;
    case 0x9830: return 0x982C;
    case 0x20B9F: return 0x53F1;
    default: return cp;
    }
}

void AppendCodePoint(std::wstring& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::wstring KWNormalizeSavedText(const std::wstring& AText) {
    std::wstring out;
    out.reserve(AText.size());
    const size_t n = AText.size();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = static_cast<uint16_t>(SavedUnit(AText[i]));
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(static_cast<uint16_t>(AText[i + 1]))) {
            const uint32_t low = static_cast<uint16_t>(AText[++i]);
            AppendCodePoint(out, SavedCodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            continue;  // a lone surrogate has no ANSI form
        } else {
            AppendCodePoint(out, SavedCodePoint(c));
        }
    }
    return out;
}

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
