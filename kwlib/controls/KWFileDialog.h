// KWFileDialog: the shell's folder-browse dialog with a chosen root, an initially selected folder,
// a title, a window caption and option flags. The classic dialog is laid out at a remembered
// position and size, and the last position and size are kept for the next time.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "Classes.h"
#include "WinApi.h"

#include <shtypes.h>

// Special folders and the shell folders (CSIDL) they stand for; sfNone means the path is used.
enum TfdSpecialDir {
    sfNone, sfDesktop, sfProgrmas, sfControls, sfPritners, sfPersonal, sfFavorites, sfStartup, sfRecent,
    sfSendTo, sfBitBucket, sfStartMenu, sfDesktopDirectory, sfDrives, sfNetWork, sfNetHood, sfFonts,
    sfTemplates, sfAppData, sfPrintHood
};
int32_t KWSpecialDirCSIDL(TfdSpecialDir ADir);

// Dialog options, each the dialog flag (BIF_...) it stands for; a set of them is their union.
enum TfdBrowseOption : uint32_t {
    bifReturnOnlyFSDirs = 0x0001,
    bifDontGoBelowDomain = 0x0002,
    bifStatusText = 0x0004,
    bifReturnFSAncestors = 0x0008,
    bifNewDialogStyle = 0x0040,
    bifNonNewFolderButton = 0x0200,
    bifBrowseForComputer = 0x1000,
    bifBrowseForPrinter = 0x2000,
    bifBrowseIncludeFiles = 0x4000,
};
typedef uint32_t TfdBrowseOptions;

typedef std::function<void(TObject* Sender, HWND Wnd, const std::wstring& Directory, std::wstring& StatusText,
                           bool& OKBtnEnabled)>
    TfdBrowseChangeEvent;

class TKWBrowseFolder : public TComponent {
public:
    KW_CLASS_NAME(TKWBrowseFolder)
    explicit TKWBrowseFolder(TComponent* AOwner);
    ~TKWBrowseFolder() override;

    std::wstring RootDir;
    TfdSpecialDir RootSpecialDir = sfDesktop;
    std::wstring InitDir;
    TfdSpecialDir InitSpecialDir = sfNone;
    TfdBrowseOptions Options = bifReturnOnlyFSDirs;
    std::wstring Title;
    // The window caption; an empty one leaves the shell's.
    std::wstring Caption;
    int32_t FormWidth() const { return FFormWidth; }
    int32_t FormHeight() const { return FFormHeight; }
    // Raised to the minimum size; ignored while the dialog is open.
    void SetFormWidth(int32_t AValue);
    void SetFormHeight(int32_t AValue);
    // Both 0: centred on the screen.
    int32_t FormLeft = 0;
    int32_t FormTop = 0;

    TNotifyEvent OnShow;
    TfdBrowseChangeEvent OnSelectionChanged;

    // Shows the dialog; True when the user chose a folder, whose path and display name are then in
    // SelectedDir and SelectedName. No error leaves it.
    bool Execute();
    const std::wstring& SelectedDir() const { return FSelectedDir; }
    const std::wstring& SelectedName() const { return FSelectedName; }
    // The dialog window while it is open.
    HWND DialogWindow() const { return FDialog; }

private:
    static int CALLBACK BrowseCallback(HWND AWnd, UINT AMsg, LPARAM AParam, LPARAM AData);
    static LRESULT CALLBACK MsgFilterHook(int ACode, WPARAM AWParam, LPARAM ALParam);
    void Initialized(HWND AWnd);
    void SelectionChanged(HWND AWnd, LPCITEMIDLIST AItem);
    void LayOut(HWND AWnd);

    int32_t FFormWidth = 371, FFormHeight = 311;
    int32_t FMinWidth = 371, FMinHeight = 311;
    std::wstring FSelectedDir, FSelectedName;
    HWND FDialog = nullptr;
    RECT FLastRect{0, 0, 0, 0};
    bool FHaveRect = false;
    LPCITEMIDLIST FInitialItem = nullptr;
};

// The unit's start-up and shut-down: OLE for the process.
void KWFileDialog_Initialize();
void KWFileDialog_Finalize();
