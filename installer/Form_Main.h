// The wizard form of the installer and the uninstaller: nine pages in a page control whose tabs
// are hidden, and the Back, Next and Cancel buttons below them. The form's start-up (InitWizard)
// checks the system, chooses the mode from the executable's own name, reads the payload's settings
// or the uninstall data and works out every path and name that the later steps need.
//
// The form is split by topic: Form_Main.cpp (creation and start-up), Form_Main_layout.cpp (the
// controls and their texts), Form_Main_pages.cpp (page sequence, buttons, the folder checks),
// Form_Main_uninstall.cpp (removing an installation), Form_Main_install.cpp (the install step).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CommonInstaller.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "KWButton.h"
#include "KWControl.h"
#include "KWFileDialog.h"
#include "KWLabel.h"
#include "KWProgressBar.h"
#include "StdCtrls.h"

class TKWIniFile;

// Names inside an installation folder that the install and the uninstall share.
extern const wchar_t* const InstalledProgramName;   // "lumivera_Quillbox.exe"
extern const wchar_t* const UninstallerName;        // "!uninstaller.exe"

// A marker that the executable's manifest asks for administrator rights; it has no behaviour.
class TKWManifestReqAdmin : public TComponent {
public:
    KW_CLASS_NAME(TKWManifestReqAdmin)
    using TComponent::TComponent;
};

class TFormMain : public TForm {
public:
    KW_CLASS_NAME(TFormMain)
    explicit TFormMain(TComponent* AOwner);
    ~TFormMain() override;

    // Runs the start-up (InitWizard).
    void Start();
    // The start-up routine: system checks, mode, payload or uninstall data, paths, first page.
    void InitWizard();
    // Replaces AFileName by the path of a temporary copy when the file cannot be opened with
    // exclusive sharing (the running executable on Windows); keeps it when the copy fails too.
    void PreparePayloadFile(std::wstring& AFileName);

    void GoNext();
    void GoBack();
    void UpdateButtons();
    // Refreshes FFreeSpace and the free-space and needed-space labels.
    void UpdateSizeLabels();
    // Removes the installation in ADir (with a trailing "\"): the uninstaller's own full run, or
    // (AFull false) the removal of a previous installation before installing again.
    void Uninstall(const std::wstring& ADir, bool AFull);
    // The install step behind the confirmation page: removes a previous installation, extracts
    // the payload with the uninstaller files, registers the uninstall entry, records the install
    // folder in the info file and creates the Start-menu shortcuts. Ends the process after its
    // message when any of that fails.
    void Install();
    // The extraction's progress: moves pbarTotal and keeps the window alive. Never cancels.
    void UnZipProgress(TObject* ASender, double AProgress, const std::wstring& AFileName, bool& ACancel);
    TProgressPump FUnZipPump;

    // Handlers wired by the form.
    void btnNextClick(TObject* Sender);
    void btnBackClick(TObject* Sender);
    void btnCancelClick(TObject* Sender);
    void chkAgreeClick(TObject* Sender);
    void btnOpenDirClick(TObject* Sender);
    void btnSetDefaultDirClick(TObject* Sender);
    void cboDriveChange(TObject* Sender);
    void FormCreate(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void FormCloseQuery(TObject* Sender, bool& CanClose);

    // The process's own executable and its arguments (without the program name). Set from the
    // process at construction; tests replace them before Start.
    std::wstring ExeName;
    std::vector<std::wstring> Params;

    // Components (owned by the form).
    TKWPanel* pnlTitle = nullptr;
    TImage* imgTitleLeft = nullptr;
    TImage* imgTitleRight = nullptr;
    TImage* imgTitleSpace = nullptr;
    TKWPageControl* pageWiz = nullptr;
    TKWTabSheet* tsStart = nullptr;
    TKWTabSheet* tsLicence = nullptr;
    TKWTabSheet* tsSelectDir = nullptr;
    TKWTabSheet* tsConfirm = nullptr;
    TKWTabSheet* tsInstall = nullptr;
    TKWTabSheet* tsFinished = nullptr;
    TKWTabSheet* tsStartUninstall = nullptr;
    TKWTabSheet* tsUninstall = nullptr;
    TKWTabSheet* tsFinishedUninstall = nullptr;
    TBevel* Bevel1 = nullptr;
    TKWPanel* KWPanel1 = nullptr;
    TKWButton* btnCancel = nullptr;
    TKWButton* btnNext = nullptr;
    TKWButton* btnBack = nullptr;
    TKWLabel* KWLabel1 = nullptr;
    TKWLabel* KWLabel2 = nullptr;
    TPanel* pnlExt = nullptr;
    TMemo* Memo = nullptr;
    TCheckBox* chkAgree = nullptr;
    TKWLabel* KWLabel3 = nullptr;
    TEdit* edtPath = nullptr;
    TKWButton* btnOpenDir = nullptr;
    TKWButton* btnSetDefaultDir = nullptr;
    TBevel* Bevel2 = nullptr;
    TKWLabel* KWLabel4 = nullptr;
    TKWLabel* lblFreeSize = nullptr;
    TKWLabel* KWLabel5 = nullptr;
    TKWLabel* lblDataSize = nullptr;
    TComboBox* cboDrive = nullptr;
    TKWLabel* KWLabel6 = nullptr;
    TKWLabel* lblInfo = nullptr;
    TKWLabel* KWLabel7 = nullptr;
    TKWProgressBar* pbarTotal = nullptr;
    TKWLabel* KWLabel8 = nullptr;
    TCheckBox* chkCreateShortCutToDesktop = nullptr;
    TCheckBox* chkRunProgram = nullptr;
    TKWLabel* KWLabel9 = nullptr;
    TKWLabel* KWLabel10 = nullptr;
    TKWProgressBar* pbarTotalUninstall = nullptr;
    TKWLabel* KWLabel11 = nullptr;
    TKWBrowseFolder* KWBrowseFolder = nullptr;
    TKWManifestReqAdmin* KWManifestReqAdmin = nullptr;

    // Start-up state (read by the page sequence, the install and the uninstall).
    std::unique_ptr<TKWIniFile> FInfo;
    std::unique_ptr<TKWIniFile> FSettings;
    bool FUninstallMode = false;
    std::wstring FPayloadFile;
    int64_t FExeSize = 0, FZipSize = 0, FRequiredSize = 0, FSettingsSize = 0;
    std::wstring FShopCode;
    std::wstring FShopName;
    bool FLabo = false;
    int32_t FIconIndex = 0;
    std::wstring FUninstallKey;
    std::wstring FPrevInstallDir;
    bool FHasPrevInstall = false;
    std::wstring FDefaultDir;
    std::wstring FTargetDir;
    int64_t FFreeSpace = 0;
    std::vector<std::wstring> FFixedDrives;
    int32_t FDriveIndex = -1;

protected:
    // Ends the process (every regular end of the wizard and every start-up failure comes here).
    virtual void EndProcess();
    // Shows a page and sets the buttons for it.
    void ShowPage(TKWTabSheet* APage);
    // Shows AText in an OK box owned by the form, then ends the process.
    void Fatal(const std::wstring& AText);

private:
    // The folder of ExeName, with a trailing "\".
    std::wstring OwnFolder() const;
    // The file name of a path, without its folder.
    static std::wstring FileNameOf(const std::wstring& APath);
    // The folder of a path, with a trailing "\"; '' when it names none.
    static std::wstring FolderOf(const std::wstring& APath);
    // The all-users Start-menu folder "ORVANE" and the all-users desktop, with a trailing "\";
    // '' when the shell does not know the folder.
    static std::wstring StartMenuFolder();
    static std::wstring DesktopFolder();
    void CreateControls();
    void LoadTitlePictures();
    void InitUninstallMode();
    void InitInstallerMode();
    void NameInfoFile();
    void LoadLicence();
    // The checks of the folder page; true when the wizard may go on to the confirmation.
    bool CheckTargetDir();
    // The install step's parts after the extraction (they raise on failure).
    void RegisterInstallation();
    void CreateStartMenuShortcuts();
    void CreateRequiredShortcut(const std::wstring& ATarget, const std::wstring& AArguments,
                                const std::wstring& ALinkName, const std::wstring& AFolder);
    // "lumi-vera クイルボックス(" + shop name + ")": the program shortcut's name.
    std::wstring ShortcutName() const;
    // The finish page's actions: the desktop shortcut and the start of the program.
    void FinishInstall();
};

// The application's wizard form (created by the program entry).
extern TFormMain* FormMain;
