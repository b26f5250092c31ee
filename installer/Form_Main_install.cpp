// The install step behind the confirmation page: a previous installation goes first, then the
// payload is extracted with the uninstaller files, the uninstall entry is registered, the install
// folder is recorded in the shop's info file and the Start-menu shortcuts are made. The finish
// page then adds the desktop shortcut and starts the program.
//
// The step runs on the main thread inside the Next button's handler; it keeps the window alive by
// pumping messages at its progress points. The wizard's buttons are hidden on the work pages and
// the form refuses to close there, so every failure must end the process itself: a wizard left on
// those pages could neither go on nor be closed.
#include "Form_Main.h"

#include <cmath>

#include "Classes.h"
#include "CommonInstaller.h"
#include "Forms.h"
#include "KWCommonLib.h"
#include "KWIniFile.h"
#include "KWRegistry.h"

namespace {

const wchar_t* const kInfoSection = L":Info";

// The settings travel into the info file under ":Info"; the settings document gets its own
// section name back on every path.
class TInfoSectionRename {
public:
    explicit TInfoSectionRename(TKWIniFile* ASettings) : FSettings(ASettings) {
        FSettings->SectionRename(InstallerSection, kInfoSection);
    }
    ~TInfoSectionRename() {
        try {
            if (FSettings->SectionExists(kInfoSection) && !FSettings->SectionExists(InstallerSection))
                FSettings->SectionRename(kInfoSection, InstallerSection);
        } catch (...) {
        }
    }
    TInfoSectionRename(const TInfoSectionRename&) = delete;
    TInfoSectionRename& operator=(const TInfoSectionRename&) = delete;

private:
    TKWIniFile* FSettings;
};

}  // namespace

void TFormMain::Install() {
    // A previous installation with its uninstaller is removed first, on the uninstall page that
    // the confirmation showed.
    if (FHasPrevInstall && KWFileExists(FPrevInstallDir + UninstallerName)) {
        pbarTotal->SetPosition(0);
        KWProcessMessages();
        Uninstall(FPrevInstallDir, false);
    }
    // The extraction's progress shows on the install page, whatever was on screen before.
    if (pageWiz->ActivePage() != tsInstall) ShowPage(tsInstall);
    pbarTotal->SetPosition(0);
    KWProcessMessages();

    FUnZipPump = TProgressPump();
    const TzpProgress progress = [this](TObject* ASender, double AProgress, const std::wstring& AFileName,
                                        bool& ACancel) { UnZipProgress(ASender, AProgress, AFileName, ACancel); };
    if (!ExtractInstaller(FPayloadFile, FTargetDir, true, progress))
        return Fatal(L"インストールに失敗しました。\r\n"
                     L"インストール先のサイズが少ないか、書き込みできない可能性があります。\r\n"
                     L"インストールを完了するには、もう一度インストール作業を行ってください。");
    pbarTotal->SetPosition(pbarTotal->Max());
    KWProcessMessages();

    bool failed = false;
    try {
        RegisterInstallation();
        CreateStartMenuShortcuts();
    } catch (...) {
        // The application's error box (the message, the error icon); what was done stays.
        Application->HandleException(this);
        failed = true;
    }
    if (failed) EndProcess();
}

void TFormMain::UnZipProgress(TObject*, double AProgress, const std::wstring&, bool&) {
    const double percent = std::isnan(AProgress) ? 0.0 : AProgress < 0.0 ? 0.0 : AProgress > 100.0 ? 100.0 : AProgress;
    const int64_t position = (int64_t)std::trunc(percent);
    pbarTotal->SetPosition(position);
    FUnZipPump.Step(position);
}

void TFormMain::RegisterInstallation() {
    TKWRegistry registry(nullptr);
    registry.RootKey = HKEY_LOCAL_MACHINE;
    TMemoryStream settings;

    KWForceDirectories(FolderOf(FInfo->GetFileName()));
    // The registry class answers False when the key cannot be opened; an installation without
    // its uninstall entry is a failed one.
    if (!registry.WriteString(FUninstallKey, L"DisplayName", L"ORVANE lumi-vera クイルボックス(" + FShopName + L")") ||
        !registry.WriteString(FUninstallKey, L"UninstallString", FTargetDir + UninstallerName + L" /uninstall"))
        throw ERegistryException(Format(L"Failed to create key %s", FUninstallKey));

    // What the info file held stays; keys of the settings replace theirs.
    TInfoSectionRename rename(FSettings.get());
    FSettings->SaveToStream(&settings);
    settings.SetPosition(0);
    FInfo->LoadFromStream(&settings);
    FInfo->WriteString(kInfoSection, L"InstallDir", FTargetDir);
    FInfo->UpdateFile(5, 500);
}

std::wstring TFormMain::ShortcutName() const { return L"lumi-vera クイルボックス(" + FShopName + L")"; }

void TFormMain::CreateStartMenuShortcuts() {
    const std::wstring folder = StartMenuFolder();
    // Without an all-users programs folder a shortcut would land relative to the current folder.
    if (folder.empty()) return;
    KWForceDirectories(folder);
    const std::wstring program = FTargetDir + InstalledProgramName;
    const std::wstring uninstaller = FTargetDir + UninstallerName;
    KWDeleteShortcutTo(program, folder);
    CreateRequiredShortcut(program, L"", ShortcutName(), folder);
    KWDeleteShortcutTo(uninstaller, folder);
    CreateRequiredShortcut(uninstaller, L"/uninstall", ShortcutName() + L"のアンインストール", folder);
}

// The shortcut helper ignores the failures of its single calls; a Start-menu shortcut that is not
// there afterwards fails the installation like any other error of this step.
void TFormMain::CreateRequiredShortcut(const std::wstring& ATarget, const std::wstring& AArguments,
                                       const std::wstring& ALinkName, const std::wstring& AFolder) {
    KWCreateShortcut(ATarget, AArguments, ALinkName, AFolder, FIconIndex);
    const std::wstring link = KWIncludeTrailingPathDelimiter(AFolder) + ALinkName + L".lnk";
    if (!KWFileExists(link)) throw EFCreateError(Format(L"Cannot create file \"%s\".", link));
}

// Both actions fail silently: the installation itself is complete.
void TFormMain::FinishInstall() {
    const std::wstring program = FTargetDir + InstalledProgramName;
    if (chkCreateShortCutToDesktop->Checked()) {
        const std::wstring desktop = DesktopFolder();
        if (!desktop.empty()) {
            try {
                KWDeleteShortcutTo(program, desktop);
                KWCreateShortcut(program, L"", FShopName, desktop, FIconIndex);
            } catch (...) {
            }
        }
    }
    if (chkRunProgram->Checked()) KWShellExecute(Handle(), program, L"", L"", SW_SHOW, false);
}
