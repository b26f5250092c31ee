// Removing an installation: the shortcuts, the installed files, the shop's info and data folders,
// the empty product folders above them, the uninstall registry key and the installation folder.
#include "Form_Main.h"

#include <cwctype>

#include "CommonConst.h"
#include "KWCommonLib.h"
#include "KWRegistry.h"
#include "WinApi.h"

namespace {

std::wstring FullPath(const std::wstring& APath) {
    const DWORD n = GetFullPathNameW(APath.c_str(), 0, nullptr, nullptr);
    if (n == 0) return L"";
    std::wstring full(n, L'\0');
    const DWORD m = GetFullPathNameW(APath.c_str(), n, &full[0], nullptr);
    if (m == 0 || m >= n) return L"";
    full.resize(m);
    return full;
}

// Whether the whole of ADir may be deleted as an installation folder: an absolute path that is
// neither a drive root (nor a network share's root) nor one of the system's special folders. The
// folder comes from the info file, which anyone can edit, or from the uninstaller's own place.
bool IsRemovableInstallFolder(const std::wstring& ADir) {
    const std::wstring dir = KWTrim(ADir);
    const bool onDrive = dir.size() >= 3 && std::iswalpha(dir[0]) && dir[1] == L':' && (dir[2] == L'\\' || dir[2] == L'/');
    const bool onShare = dir.size() >= 2 && (dir[0] == L'\\' || dir[0] == L'/') && (dir[1] == L'\\' || dir[1] == L'/');
    if (!onDrive && !onShare) return false;
    const std::wstring full = KWIncludeTrailingPathDelimiter(FullPath(dir));
    if (full.size() <= 3) return false;
    if (onShare) {
        // "\\server\share\" and anything shorter is the root of a share.
        size_t separators = 0;
        for (size_t i = 2; i < full.size(); ++i)
            if (full[i] == L'\\') ++separators;
        if (separators <= 2) return false;
    }
    return !KWIsSystemFolder(full);
}

// Deletes ADir whole when it has no sub-folder (files alone do not keep it).
void DeleteIfNoSubFolders(const std::wstring& ADir) {
    if (ADir.empty()) return;
    if (KWCountSubFolders(ADir, L"*") == 0) KWDeleteFolder(ADir, false);
}

}  // namespace

void TFormMain::Uninstall(const std::wstring& ADir, bool AFull) {
    const std::wstring ownName = FileNameOf(ExeName);

    // Start-menu shortcuts, and their folder when nothing else is left in it.
    const std::wstring startMenu = StartMenuFolder();
    if (!startMenu.empty()) {
        KWDeleteShortcutTo(ADir + InstalledProgramName, startMenu);
        KWDeleteShortcutTo(ADir + UninstallerName, startMenu);
        KWDeleteShortcutTo(ADir + ownName, startMenu);
        TKWFiles left;
        KWGetFileList(startMenu, left, L"*", false);
        if (left.empty() && !KWIsSystemFolder(startMenu)) KWDeleteFolder(startMenu, false);
    }

    const std::wstring desktop = DesktopFolder();
    if (!desktop.empty()) KWDeleteShortcutTo(ADir + InstalledProgramName, desktop);

    // The installed files, all but the running program itself. A folder that is no installation
    // folder (a drive root, a special folder) loses nothing.
    const bool removable = IsRemovableInstallFolder(ADir);
    if (removable) {
        TKWFiles entries;
        KWGetFileList(ADir, entries, L"*", false);
        const int64_t count = (int64_t)entries.size();
        for (int64_t i = 0; i < count; ++i) {
            const TKWFile& entry = entries[(size_t)i];
            if (KWSameString(FileNameOf(entry.Name), ownName)) continue;
            if (entry.IsFolder) KWDeleteFolder(entry.Name, false);
            else KWDeleteFile(entry.Name);
            pbarTotalUninstall->SetPosition(KWCalcPercent(count, i));
            KWProcessMessages();
        }
    }

    // The shop's own folders; never the shared ones, whatever the shop code holds.
    const bool hasShop = !KWTrim(FShopCode).empty();
    if (hasShop && !CommonEditionDir.empty()) KWDeleteFolder(KWCombinePath({CommonEditionDir, FShopCode}), false);
    DeleteIfNoSubFolders(CommonEditionDir);
    DeleteIfNoSubFolders(CommonProductDir);
    DeleteIfNoSubFolders(CommonMakerDir);
    if (AFull && hasShop && !UserEditionDir.empty()) KWDeleteFolder(KWCombinePath({UserEditionDir, FShopCode}), false);
    DeleteIfNoSubFolders(UserEditionDir);
    DeleteIfNoSubFolders(UserProductDir);
    DeleteIfNoSubFolders(UserMakerDir);

    {
        TKWRegistry registry(nullptr);
        registry.RootKey = HKEY_LOCAL_MACHINE;
        registry.DeleteKey(FUninstallKey);
    }

    // The folder itself: after this process has ended (it holds the running uninstaller), or now.
    if (AFull) KWDeleteByBatch(ExeName, removable);
    else if (removable) KWDeleteFolder(ADir, false);
}
