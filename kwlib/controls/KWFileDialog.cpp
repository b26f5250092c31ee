#include "KWFileDialog.h"

#include <shlobj.h>

#include <algorithm>
#include <memory>

#include "Controls.h"

namespace {

const int kTreeControlId = 14145;

// An item-ID list from the shell's task allocator, freed with it.
struct TPidlFree {
    void operator()(ITEMIDLIST* p) const { CoTaskMemFree(p); }
};
typedef std::unique_ptr<ITEMIDLIST, TPidlFree> TPidl;

// The dialog whose modal loop the message-filter hook of this thread watches.
thread_local TKWBrowseFolder* ActiveBrowser = nullptr;
thread_local HHOOK ActiveHook = nullptr;

// A folder given by path (sfNone) or by special folder: a path that the desktop parses into an
// item the shell calls a folder is taken; anything else gives the special folder (the desktop
// for sfNone). A list that is not used is freed at once.
TPidl ResolveFolder(IShellFolder* ADesktop, TfdSpecialDir ASpecial, const std::wstring& APath) {
    if (ASpecial == sfNone && !APath.empty() && ADesktop) {
        std::wstring path = APath;
        ITEMIDLIST* item = nullptr;
        ULONG eaten = 0;
        if (SUCCEEDED(ADesktop->ParseDisplayName(nullptr, nullptr, path.data(), &eaten, &item, nullptr)) && item) {
            TPidl parsed(item);
            SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
            LPCITEMIDLIST items[1] = {parsed.get()};
            if (SUCCEEDED(ADesktop->GetAttributesOf(1, items, &attributes)) &&
                (attributes & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER)))
                return parsed;
        }
    }
    ITEMIDLIST* special = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, KWSpecialDirCSIDL(ASpecial), &special))) return TPidl(special);
    return TPidl();
}

std::wstring PathOf(LPCITEMIDLIST AItem) {
    wchar_t path[MAX_PATH] = {};
    if (!AItem || !SHGetPathFromIDListW(AItem, path)) return std::wstring();
    path[MAX_PATH - 1] = L'\0';
    return path;
}

}  // namespace

int32_t KWSpecialDirCSIDL(TfdSpecialDir ADir) {
    static const int32_t csidl[] = {0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 21, 26, 27};
    return (ADir >= sfNone && ADir <= sfPrintHood) ? csidl[ADir] : 0;
}

void KWFileDialog_Initialize() { OleInitialize(nullptr); }

void KWFileDialog_Finalize() { OleUninitialize(); }

TKWBrowseFolder::TKWBrowseFolder(TComponent* AOwner) : TComponent(AOwner) {}

TKWBrowseFolder::~TKWBrowseFolder() = default;

void TKWBrowseFolder::SetFormWidth(int32_t AValue) {
    if (FDialog) return;
    FFormWidth = std::max(AValue, FMinWidth);
}

void TKWBrowseFolder::SetFormHeight(int32_t AValue) {
    if (FDialog) return;
    FFormHeight = std::max(AValue, FMinHeight);
}

LRESULT CALLBACK TKWBrowseFolder::MsgFilterHook(int ACode, WPARAM AWParam, LPARAM ALParam) {
    if (ACode >= 0 && ActiveBrowser && ActiveBrowser->FDialog && IsWindow(ActiveBrowser->FDialog)) {
        RECT r;
        if (GetWindowRect(ActiveBrowser->FDialog, &r)) {
            ActiveBrowser->FLastRect = r;
            ActiveBrowser->FHaveRect = true;
        }
    }
    return CallNextHookEx(ActiveHook, ACode, AWParam, ALParam);
}

int CALLBACK TKWBrowseFolder::BrowseCallback(HWND AWnd, UINT AMsg, LPARAM AParam, LPARAM AData) {
    auto* self = reinterpret_cast<TKWBrowseFolder*>(AData);
    try {
        if (AMsg == BFFM_INITIALIZED) self->Initialized(AWnd);
        else if (AMsg == BFFM_SELCHANGED) self->SelectionChanged(AWnd, reinterpret_cast<LPCITEMIDLIST>(AParam));
    } catch (...) {
        // Nothing may unwind through the shell's frames.
    }
    return 0;
}

void TKWBrowseFolder::Initialized(HWND AWnd) {
    FDialog = AWnd;
    if (FInitialItem) SendMessageW(AWnd, BFFM_SETSELECTIONW, FALSE, (LPARAM)FInitialItem);
    RECT r;
    GetWindowRect(AWnd, &r);
    FMinWidth = r.right - r.left;
    FMinHeight = r.bottom - r.top;
    FLastRect = r;
    FHaveRect = true;
    if (OnShow) OnShow(this);
    if (!Caption.empty()) SetWindowTextW(AWnd, Caption.c_str());
    if (!(Options & bifNewDialogStyle)) LayOut(AWnd);
}

void TKWBrowseFolder::LayOut(HWND AWnd) {
    FFormWidth = std::max(FFormWidth, FMinWidth);
    FFormHeight = std::max(FFormHeight, FMinHeight);
    int32_t x = FormLeft, y = FormTop;
    if (FormLeft == 0 && FormTop == 0) {
        x = (GetSystemMetrics(SM_CXSCREEN) - FFormWidth) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - FFormHeight) / 2;
    }
    SetWindowPos(AWnd, nullptr, x, y, FFormWidth, FFormHeight, SWP_NOZORDER | SWP_SHOWWINDOW);
    HWND ok = GetDlgItem(AWnd, IDOK), cancel = GetDlgItem(AWnd, IDCANCEL), tree = GetDlgItem(AWnd, kTreeControlId);
    if (!ok) return;
    RECT okRect;
    GetWindowRect(ok, &okRect);
    const int32_t bw = okRect.right - okRect.left, bh = okRect.bottom - okRect.top;
    if (tree) {
        RECT treeRect, client;
        GetWindowRect(tree, &treeRect);
        MapWindowPoints(HWND_DESKTOP, AWnd, (POINT*)&treeRect, 2);
        ::GetClientRect(AWnd, &client);
        SetWindowPos(tree, nullptr, 0, 0, FFormWidth - 32, client.bottom - bh - treeRect.top - 18,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    const int32_t okX = FFormWidth - (2 * bw + 25), okY = FFormHeight - bh - 35;
    SetWindowPos(ok, nullptr, okX, okY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    if (cancel) SetWindowPos(cancel, nullptr, okX + bw + 5, okY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void TKWBrowseFolder::SelectionChanged(HWND AWnd, LPCITEMIDLIST AItem) {
    const std::wstring path = PathOf(AItem);
    if (!OnSelectionChanged) return;
    std::wstring status;
    bool okEnabled = IsWindowEnabled(GetDlgItem(AWnd, IDOK)) != FALSE;
    OnSelectionChanged(this, AWnd, path, status, okEnabled);
    SendMessageW(AWnd, BFFM_ENABLEOK, 0, okEnabled ? TRUE : FALSE);
    SendMessageW(AWnd, BFFM_SETSTATUSTEXTW, 0, (LPARAM)status.c_str());
}

// Every item-ID list obtained here (root, initial folder, the chosen one) is freed on every path.
bool TKWBrowseFolder::Execute() {
    FSelectedDir.clear();
    FSelectedName.clear();
    try {
        IShellFolder* desktop = nullptr;
        if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return false;
        std::unique_ptr<IShellFolder, void (*)(IShellFolder*)> desktopRef(desktop, [](IShellFolder* f) { f->Release(); });
        TPidl initial = ResolveFolder(desktop, InitSpecialDir, InitDir);
        TPidl root = ResolveFolder(desktop, RootSpecialDir, RootDir);

        wchar_t displayName[MAX_PATH] = {};
        BROWSEINFOW info{};
        auto* owner = dynamic_cast<TWinControl*>(GetOwner());
        info.hwndOwner = owner ? owner->Handle() : nullptr;
        info.pidlRoot = root.get();
        info.pszDisplayName = displayName;
        info.lpszTitle = Title.c_str();
        info.ulFlags = Options;
        info.lpfn = BrowseCallback;
        info.lParam = (LPARAM)this;

        FInitialItem = initial.get();
        FHaveRect = false;
        TKWBrowseFolder* outerBrowser = ActiveBrowser;
        HHOOK outerHook = ActiveHook;
        ActiveBrowser = this;
        ActiveHook = SetWindowsHookExW(WH_MSGFILTER, MsgFilterHook, nullptr, GetCurrentThreadId());
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
        TPidl chosen(SHBrowseForFolderW(&info));
        SetErrorMode(oldMode);
        if (ActiveHook) UnhookWindowsHookEx(ActiveHook);
        ActiveHook = outerHook;
        ActiveBrowser = outerBrowser;
        FInitialItem = nullptr;

        if (FHaveRect) {
            FormLeft = FLastRect.left;
            FormTop = FLastRect.top;
            FFormHeight = FLastRect.bottom - FLastRect.top;
            FFormWidth = FLastRect.right - FLastRect.left;
        }
        FDialog = nullptr;
        if (!chosen) return false;
        FSelectedDir = PathOf(chosen.get());
        displayName[MAX_PATH - 1] = L'\0';
        FSelectedName = displayName;
        return true;
    } catch (...) {
        FDialog = nullptr;
        FInitialItem = nullptr;
        return false;
    }
}
