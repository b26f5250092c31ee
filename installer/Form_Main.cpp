#include "Form_Main.h"

#include "CommonConst.h"
#include "CommonInstaller.h"
#include "KWCommonLib.h"
#include "KWIniFile.h"
#include "UnitInit.h"
#include "WinApi.h"

#include <shellapi.h>

TFormMain* FormMain = nullptr;

const wchar_t* const InstalledProgramName = L"lumivera_Quillbox.exe";
const wchar_t* const UninstallerName = L"!uninstaller.exe";

namespace {

const wchar_t* const kUninstallDataName = L"!uninstall.dat";
const wchar_t* const kUninstallKeyBase = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ORVANE lumi-vera Quillbox(";

std::wstring OwnExecutable() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], (DWORD)path.size());
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::vector<std::wstring> OwnParams() {
    std::vector<std::wstring> params;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return params;
    for (int i = 1; i < count; ++i) params.push_back(args[i]);
    LocalFree(args);
    return params;
}

}  // namespace

TFormMain::TFormMain(TComponent* AOwner) : TForm(AOwner), ExeName(OwnExecutable()), Params(OwnParams()) {
    CreateControls();
    OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
    OnCloseQuery = [this](TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
}

TFormMain::~TFormMain() { FormDestroy(this); }

void TFormMain::FormCreate(TObject*) {
    FInfo = std::make_unique<TKWIniFile>(L"");
    FSettings = std::make_unique<TKWIniFile>(L"");
}

void TFormMain::FormDestroy(TObject*) {
    FInfo.reset();
    FSettings.reset();
}

void TFormMain::EndProcess() { Halt(0); }

void TFormMain::Fatal(const std::wstring& AText) {
    KWShowMessage(AText, Handle());
    EndProcess();
}

std::wstring TFormMain::OwnFolder() const { return FolderOf(ExeName); }

std::wstring TFormMain::FileNameOf(const std::wstring& APath) {
    const size_t slash = APath.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? APath : APath.substr(slash + 1);
}

std::wstring TFormMain::FolderOf(const std::wstring& APath) {
    const size_t slash = APath.find_last_of(L"\\/:");
    return slash == std::wstring::npos ? L"" : APath.substr(0, slash + 1);
}

std::wstring TFormMain::StartMenuFolder() {
    // A value the registry holds empty comes back as a lone "\\".
    const std::wstring programs = KWGetShellFolder(L"Programs", true);
    return programs.size() > 1 ? KWCombinePath({programs, L"ORVANE"}) : L"";
}

std::wstring TFormMain::DesktopFolder() {
    const std::wstring desktop = KWGetShellFolder(L"Desktop", true);
    return desktop.size() > 1 ? KWIncludeTrailingPathDelimiter(desktop) : L"";
}

void TFormMain::Start() { InitWizard(); }

void TFormMain::InitWizard() {
    for (int32_t i = 0; i < pageWiz->GetPageCount(); ++i) pageWiz->GetPage(i)->SetTabVisible(false);

    if (!KWIsWin2000OrLater()) return Fatal(L"このアプリケーションはWindows2000以上のバージョンでのみ動作します。");

    // "launch:off" holds in both modes: the finish page will not start the program.
    if (!Params.empty() && KWSameString(Params[0], L"launch:off")) {
        chkRunProgram->SetChecked(false);
        chkRunProgram->SetEnabled(false);
    }

    KWGetFixedDrives(FFixedDrives);
    if (FFixedDrives.empty()) return Fatal(L"ハードディスクドライブを検出できませんでした。");

    const std::wstring programFiles = KWGetProgramFilesDir();
    const std::wstring programDrive = programFiles.empty() ? L"" : programFiles.substr(0, 1) + L":\\";
    const int32_t found = KWIndexOfString(FFixedDrives, programDrive, false, false);
    cboDrive->Items()->Clear();
    for (const std::wstring& root : FFixedDrives)
        cboDrive->Items()->Add(root.substr(0, 1) + L" ドライブ - " + KWGetVolumeLabel(root));
    cboDrive->SetItemIndex(found >= 0 ? found : 0);
    FDriveIndex = cboDrive->ItemIndex();

    FUninstallMode = KWSameString(FileNameOf(ExeName), UninstallerName);
    if (FUninstallMode) InitUninstallMode();
    else InitInstallerMode();
}

void TFormMain::InitUninstallMode() {
    if (!KWIsDebugging() && (Params.empty() || !KWSameString(Params[0], L"/uninstall"))) return EndProcess();

    if (!LoadUninstallData(OwnFolder() + kUninstallDataName, FSettings.get()) ||
        !IsValidInstallerSettings(FSettings.get()))
        return Fatal(L"アンインストーラが破損しています。");

    FShopCode = FSettings->ReadString(InstallerSection, InstallerShopCodeKey, L"");
    FShopName = FSettings->ReadString(InstallerSection, L"ShopName", FShopCode);
    NameInfoFile();
    ShowPage(tsStartUninstall);
}

void TFormMain::InitInstallerMode() {
    FPayloadFile = KWIsDebugging() ? KWRemoveFileExt(ExeName) + L"_Packed.exe" : ExeName;
    PreparePayloadFile(FPayloadFile);

    if (!ReadInstallerTrailer(FPayloadFile, FExeSize, FZipSize, FRequiredSize, FSettingsSize, FSettings.get()) ||
        !IsValidInstallerSettings(FSettings.get()))
        return Fatal(L"インストーラが破損しています。");

    FShopCode = FSettings->ReadString(InstallerSection, InstallerShopCodeKey, L"");
    FShopName = FSettings->ReadString(InstallerSection, L"ShopName", FShopCode);
    FLabo = FSettings->ReadBool(InstallerSection, L"Labo", false);
    FIconIndex = FLabo ? 1 : 0;
    NameInfoFile();

    FPrevInstallDir = FInfo->ReadString(L":Info", L"InstallDir", L"");
    FHasPrevInstall = KWDirectoryExists(FPrevInstallDir);
    if (!FPrevInstallDir.empty()) FPrevInstallDir = KWIncludeTrailingPathDelimiter(FPrevInstallDir);

    FDefaultDir = KWCombinePath({KWGetWindowsDriveRoot(), L"lumi-vera", L"Quillbox", FShopCode});
    FTargetDir = FDefaultDir;
    edtPath->SetText(FTargetDir);
    UpdateSizeLabels();

    LoadLicence();
    ShowPage(tsStart);
}

void TFormMain::NameInfoFile() {
    FInfo->SetFileName(KWCombinePath({CommonEditionDir, FShopCode}) + L"info.ini");
    FUninstallKey = kUninstallKeyBase + FShopCode + L")";
}

void TFormMain::LoadLicence() {
    // A missing resource raises out of the start-up; a built installer always carries it.
    TResourceStream licence(nullptr, L"DOCUMENT", L"LICENCE");
    Memo->Lines()->LoadFromStream(&licence);
}

void TFormMain::PreparePayloadFile(std::wstring& AFileName) {
    HANDLE file = CreateFileW(AFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return;
    }
    const std::wstring copy = KWGetTempFileName();
    if (KWCopyFile(AFileName, copy, true, true, false)) AFileName = copy;
}
