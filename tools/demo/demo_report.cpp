// demo_report: what an installation of a shop left in the Wine prefix, for the demo.
//
//   demo_report report INSTALLER      list the installation folder (files and sizes), the
//                                     uninstaller files, the uninstall registry entry, info.ini,
//                                     the Start-menu and desktop shortcuts with their targets
//   demo_report install-dir INSTALLER print the installation folder recorded in info.ini
//   demo_report clean INSTALLER       remove what an earlier installation of that shop left
//                                     outside its folder (registry entry, info and data folders,
//                                     shortcuts), so that the demo starts from a clean prefix
//   demo_report wait-program [ms]     wait until the installed program's window is on screen and
//                                     print the program's path
//   demo_report end-program           end the running installed program (by its process id)
//
// The shop (code and name) comes from the installer's own settings block. Texts are printed as
// UTF-8. Exit code 0 on success, 1 on failure, 2 on bad usage.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "CommonConst.h"
#include "CommonInstaller.h"
#include "KWCommonLib.h"
#include "KWIniFile.h"
#include "KWRegistry.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "install_inventory.h"

namespace {

const wchar_t* const kProgramClass = L"LumiveraQuillboxSample";
const wchar_t* const kUninstallKeyBase = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ORVANE lumi-vera Quillbox(";

void Print(const std::wstring& AText) {
    const std::wstring line = AText + L"\n";
    const std::string bytes = WideToUtf8(line);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

void Heading(const std::wstring& AText) {
    Print(L"");
    Print(L"== " + AText);
}

std::wstring Thousands(int64_t AValue) {
    std::wstring digits = IntToStr(AValue), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += L',';
        out += digits[i];
    }
    return out;
}

struct TShop {
    TKWIniFile Settings{L""};
    int64_t ExeSize = 0, ZipSize = 0, RequiredSize = 0, SettingsSize = 0;
    std::wstring Code, Name, UninstallKey, InfoFile;

    bool Load(const std::wstring& AInstaller) {
        if (!ReadInstallerTrailer(AInstaller, ExeSize, ZipSize, RequiredSize, SettingsSize, &Settings)) return false;
        Code = Settings.ReadString(InstallerSection, InstallerShopCodeKey, L"");
        Name = Settings.ReadString(InstallerSection, L"ShopName", Code);
        UninstallKey = kUninstallKeyBase + Code + L")";
        InfoFile = KWCombinePath({CommonEditionDir, Code}) + L"info.ini";
        return !Code.empty();
    }
    std::wstring ProgramLink() const { return L"lumi-vera クイルボックス(" + Name + L").lnk"; }
    std::wstring UninstallLink() const { return L"lumi-vera クイルボックス(" + Name + L")のアンインストール.lnk"; }
};

std::wstring StartMenuFolder() { return KWCombinePath({KWGetShellFolder(L"Programs", true), L"ORVANE"}); }
std::wstring DesktopFolder() { return KWIncludeTrailingPathDelimiter(KWGetShellFolder(L"Desktop", true)); }

std::wstring SizeColumn(const std::wstring& AText) {
    return L"  " + std::wstring(AText.size() < 14 ? 14 - AText.size() : 0, L' ') + AText + L"  ";
}

// Lists ADir below ARel: folders with "\", files with their sizes. A folder of many files shows
// its first few and a count of the rest.
void ListTree(const std::wstring& ADir, const std::wstring& ARel) {
    constexpr size_t kShownFiles = 3, kManyFiles = 8;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ADir + ARel + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    std::vector<WIN32_FIND_DATAW> entries;
    size_t files = 0;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back(fd);
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    size_t shown = 0, hidden = 0;
    int64_t hiddenBytes = 0;
    for (const WIN32_FIND_DATAW& e : entries) {
        const std::wstring rel = ARel + e.cFileName;
        if (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Print(SizeColumn(L"") + rel + L"\\");
            ListTree(ADir, rel + L"\\");
            continue;
        }
        const int64_t size = (int64_t)e.nFileSizeHigh << 32 | e.nFileSizeLow;
        if (files > kManyFiles && shown == kShownFiles) {
            ++hidden;
            hiddenBytes += size;
            continue;
        }
        ++shown;
        Print(SizeColumn(Thousands(size)) + rel);
    }
    if (hidden > 0)
        Print(SizeColumn(Thousands(hiddenBytes)) + ARel + L"... and " + IntToStr((int64_t)hidden) + L" more files");
}

void PrintLines(const std::wstring& AText) {
    size_t start = 0;
    while (start < AText.size()) {
        size_t end = AText.find(L'\n', start);
        if (end == std::wstring::npos) end = AText.size();
        std::wstring line = AText.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        Print(L"  | " + line);
        start = end + 1;
    }
}

void PrintShortcut(const std::wstring& AFolder, const std::wstring& AName) {
    const inventory::TShortcut link = inventory::ReadShortcut(AFolder + AName);
    Print(L"  " + AName);
    if (!link.Loaded) {
        Print(L"      (not a readable shortcut)");
        return;
    }
    Print(L"      target:       " + link.Target);
    Print(L"      arguments:    " + (link.Arguments.empty() ? std::wstring(L"(none)") : link.Arguments));
    Print(L"      start in:     " + link.WorkingDir);
    Print(L"      icon:         " + link.IconFile + L", index " + IntToStr(link.IconIndex));
}

int Report(const TShop& AShop, const std::wstring& AInstaller) {
    Print(L"Shop " + AShop.Code + L" 「" + AShop.Name + L"」, installer " + AInstaller);

    TKWIniFile info(AShop.InfoFile);
    const std::wstring dir = info.ReadString(L":Info", L"InstallDir", L"");
    Heading(L"Installation folder (\"InstallDir\" of info.ini): " + (dir.empty() ? L"(not recorded)" : dir));
    if (!dir.empty()) {
        if (KWDirectoryExists(dir)) ListTree(dir, L"");
        else Print(L"  (missing)");

        TMemoryStream uninstaller, installer;
        if (KWFileExists(dir + L"!uninstaller.exe")) {
            uninstaller.LoadFromFile(dir + L"!uninstaller.exe");
            installer.LoadFromFile(AInstaller);
            const bool image = uninstaller.GetSize() == AShop.ExeSize &&
                               memcmp(uninstaller.GetMemory(), installer.GetMemory(), (size_t)AShop.ExeSize) == 0;
            Heading(L"!uninstaller.exe: " + Thousands(uninstaller.GetSize()) + L" bytes, " +
                    (image ? L"the installer's program image (its first " + Thousands(AShop.ExeSize) +
                                 L" bytes), without the payload"
                           : std::wstring(L"NOT the installer's program image")));
        }
        TKWIniFile data(L"");
        if (LoadUninstallData(dir + L"!uninstall.dat", &data)) {
            Heading(L"!uninstall.dat, decrypted (Blowfish-CBC): the settings the uninstaller reads");
            TStringList lines;
            data.GetStrings(&lines);
            PrintLines(lines.GetText());
        }
    }

    Heading(L"Registry: HKEY_LOCAL_MACHINE\\" + AShop.UninstallKey);
    const std::vector<std::wstring> values = inventory::RegValueNames(AShop.UninstallKey);
    if (values.empty()) Print(L"  (no such key)");
    for (const std::wstring& name : values) Print(L"  " + name + L" = " + inventory::RegString(AShop.UninstallKey, name));

    Heading(L"Info file: " + AShop.InfoFile);
    if (KWFileExists(AShop.InfoFile)) {
        TStringList lines;
        lines.LoadFromFile(AShop.InfoFile);
        PrintLines(lines.GetText());
    } else {
        Print(L"  (missing)");
    }

    const std::wstring startMenu = StartMenuFolder();
    Heading(L"Start-menu folder: " + startMenu);
    const std::vector<std::wstring> links = inventory::FileNames(startMenu, L"*");
    if (links.empty()) Print(L"  (empty or missing)");
    for (const std::wstring& name : links) PrintShortcut(startMenu, name);

    const std::wstring desktop = DesktopFolder();
    Heading(L"Desktop (all users): " + desktop);
    bool any = false;
    for (const std::wstring& name : inventory::FileNames(desktop, L"*.lnk")) {
        const inventory::TShortcut link = inventory::ReadShortcut(desktop + name);
        if (dir.empty() || !KWSameString(link.Target.substr(0, dir.size()), dir)) continue;
        PrintShortcut(desktop, name);
        any = true;
    }
    if (!any) Print(L"  (no shortcut to the installation)");

    const std::wstring userData = KWCombinePath({UserEditionDir, AShop.Code});
    Heading(L"Per-user data folder: " + userData);
    Print(KWDirectoryExists(userData) ? L"  (present)" : L"  (not made by the install; the program makes it)");
    return 0;
}

void DeleteIfNoSubFolders(const std::wstring& ADir) {
    if (KWDirectoryExists(ADir) && KWCountSubFolders(ADir, L"*") == 0) KWDeleteFolder(ADir, false);
}

int Clean(const TShop& AShop) {
    TKWRegistry registry(nullptr);
    registry.DeleteKey(AShop.UninstallKey);
    KWDeleteFolder(KWCombinePath({CommonEditionDir, AShop.Code}), false);
    KWDeleteFolder(KWCombinePath({UserEditionDir, AShop.Code}), false);
    for (const std::wstring& dir : {CommonEditionDir, CommonProductDir, CommonMakerDir, UserEditionDir,
                                    UserProductDir, UserMakerDir})
        DeleteIfNoSubFolders(dir);
    const std::wstring startMenu = StartMenuFolder();
    KWDeleteFile(startMenu + AShop.ProgramLink());
    KWDeleteFile(startMenu + AShop.UninstallLink());
    if (KWDirectoryExists(startMenu) && inventory::FileNames(startMenu, L"*").empty() &&
        KWCountSubFolders(startMenu, L"*") == 0)
        KWDeleteFolder(startMenu, false);
    KWDeleteFile(DesktopFolder() + AShop.Name + L".lnk");
    return 0;
}

HWND ProgramWindow() {
    for (HWND wnd = FindWindowExW(nullptr, nullptr, kProgramClass, nullptr); wnd;
         wnd = FindWindowExW(nullptr, wnd, kProgramClass, nullptr))
        if (IsWindowVisible(wnd)) return wnd;
    return nullptr;
}

int WaitProgram(uint32_t ATimeoutMs) {
    const DWORD start = GetTickCount();
    HWND wnd = nullptr;
    while (!(wnd = ProgramWindow())) {
        if (GetTickCount() - start >= ATimeoutMs) {
            Print(L"demo_report: the installed program did not show a window");
            return 1;
        }
        Sleep(100);
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    wchar_t image[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (process && QueryFullProcessImageNameW(process, 0, image, &length)) Print(std::wstring(L"running: ") + image);
    if (process) CloseHandle(process);
    return 0;
}

int EndProgram() {
    HWND wnd = ProgramWindow();
    if (!wnd) return 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return 1;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        Print(L"usage: demo_report report|clean|install-dir INSTALLER | wait-program [ms] | end-program");
        return 2;
    }
    const std::wstring command = argv[1];
    if (command == L"wait-program") return WaitProgram(argc > 2 ? (uint32_t)_wtoi(argv[2]) : 30000);
    if (command == L"end-program") return EndProgram();
    if ((command != L"report" && command != L"clean" && command != L"install-dir") || argc < 3) return 2;

    CommonConst_Initialize();
    TShop shop;
    if (!shop.Load(argv[2])) {
        Print(L"demo_report: not an installer: " + std::wstring(argv[2]));
        return 1;
    }
    if (command == L"install-dir") {
        const std::wstring dir = TKWIniFile(shop.InfoFile).ReadString(L":Info", L"InstallDir", L"");
        if (dir.empty()) return 1;
        Print(dir);
        return 0;
    }
    return command == L"report" ? Report(shop, argv[2]) : Clean(shop);
}
