// The folder-browse dialog, driven from its own callbacks and a timer in its modal loop, with a
// watchdog that cancels a dialog left open.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "KWFileDialog.h"
#include "controls_test_util.h"

namespace {

// Cancels every dialog of the thread when the test has not finished in time.
class TDialogWatchdog {
public:
    explicit TDialogWatchdog(int seconds) : FThreadId(GetCurrentThreadId()) {
        FThread = std::thread([this, seconds] {
            std::unique_lock<std::mutex> lock(FMutex);
            if (FDone.wait_for(lock, std::chrono::seconds(seconds), [this] { return FFinished; })) return;
            Fired = true;
            EnumThreadWindows(FThreadId, CancelWindow, 0);
        });
    }
    ~TDialogWatchdog() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FFinished = true;
        }
        FDone.notify_all();
        FThread.join();
    }
    std::atomic<bool> Fired{false};

private:
    static BOOL CALLBACK CancelWindow(HWND w, LPARAM) {
        PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    DWORD FThreadId;
    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FFinished = false;
};

// Runs an action in the dialog's own modal loop once it is laid out (a timer message).
std::function<void(HWND)> PendingAction;
HWND PendingDialog = nullptr;
// The dialog's own rectangle when it was created, before it was laid out.
RECT ShellRect{};

void CALLBACK RunPending(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto action = std::move(PendingAction);
    PendingAction = nullptr;
    if (action) action(PendingDialog);
}

void WhenShown(TKWBrowseFolder& browser, std::function<void(HWND)> action) {
    browser.OnShow = [&browser, action](TObject*) {
        PendingDialog = browser.DialogWindow();
        GetWindowRect(PendingDialog, &ShellRect);
        PendingAction = action;
        SetTimer(nullptr, 0, 50, RunPending);
    };
}

// The shell may fill its folder tree after the dialog shows, and a freshly made prefix is slow to
// answer: waits (at most 5 s, pumping the dialog's messages) until the selected tree item's name
// ends with Name.
void WaitForTreeSelection(HWND dlg, const std::wstring& Name) {
    HWND tree = FindWindowExW(dlg, nullptr, L"SysTreeView32", nullptr);
    for (int i = 0; i < 100 && tree; ++i) {
        wchar_t text[MAX_PATH] = {};
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        if (item.hItem && SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)&item)) {
            const std::wstring shown = UpperCase(text);
            const std::wstring wanted = UpperCase(Name);
            if (shown.size() >= wanted.size() && shown.compare(shown.size() - wanted.size(), wanted.size(), wanted) == 0)
                return;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(50);
    }
}

std::wstring LongPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    std::wstring s = n ? std::wstring(buffer, n) : path;
    while (!s.empty() && s.back() == L'\\') s.pop_back();
    return UpperCase(s);
}

class KWBrowseFolderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { KWFileDialog_Initialize(); }
    static void TearDownTestSuite() { KWFileDialog_Finalize(); }
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        Folder = std::wstring(temp) + L"kwctl_browse_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(Folder.c_str(), nullptr);
    }
    void TearDown() override { RemoveDirectoryW(Folder.c_str()); }
    std::wstring Folder;
    std::unique_ptr<TForm> Form = MakeHostForm(200, 100);
};

}  // namespace

TEST(KWBrowseFolder, SizesKeepTheMinimum) {
    TKWBrowseFolder browser(nullptr);
    EXPECT_EQ(browser.FormWidth(), 371);
    EXPECT_EQ(browser.FormHeight(), 311);
    EXPECT_EQ(browser.Options, (TfdBrowseOptions)bifReturnOnlyFSDirs);
    EXPECT_EQ(browser.RootSpecialDir, sfDesktop);
    EXPECT_EQ(browser.InitSpecialDir, sfNone);
    browser.SetFormWidth(200);
    EXPECT_EQ(browser.FormWidth(), 371);
    browser.SetFormHeight(200);
    EXPECT_EQ(browser.FormHeight(), 311);
    browser.SetFormHeight(350);
    EXPECT_EQ(browser.FormHeight(), 350);
    EXPECT_EQ(KWSpecialDirCSIDL(sfDrives), CSIDL_DRIVES);
    EXPECT_EQ(KWSpecialDirCSIDL(sfPrintHood), CSIDL_PRINTHOOD);
    EXPECT_EQ(KWSpecialDirCSIDL(sfNone), CSIDL_DESKTOP);
}

TEST_F(KWBrowseFolderTest, ChoosesTheInitialFolderInALaidOutDialog) {
    TDialogWatchdog watchdog(30);
    TKWBrowseFolder browser(Form.get());
    browser.InitDir = Folder;
    browser.Caption = L"フォルダの参照";
    browser.Title = L"インストール先を選んでください";
    RECT shown{};
    std::wstring caption;
    HWND owner = nullptr;
    WhenShown(browser, [&](HWND dlg) {
        GetWindowRect(dlg, &shown);
        wchar_t text[64] = {};
        GetWindowTextW(dlg, text, 64);
        caption = text;
        owner = GetWindow(dlg, GW_OWNER);
        WaitForTreeSelection(dlg, Folder.substr(Folder.rfind(L'\\') + 1));
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    });
    ASSERT_TRUE(browser.Execute());
    EXPECT_FALSE(watchdog.Fired);
    EXPECT_EQ(LongPath(browser.SelectedDir()), LongPath(Folder));
    // The shell's display name (Wine gives the whole path, Windows the folder's name).
    const std::wstring name = Folder.substr(Folder.rfind(L'\\') + 1);
    ASSERT_GE(browser.SelectedName().size(), name.size());
    EXPECT_EQ(browser.SelectedName().substr(browser.SelectedName().size() - name.size()), name);
    EXPECT_EQ(caption, L"フォルダの参照");
    EXPECT_EQ(owner, Form->Handle());
    // Centred at the remembered size (at least the shell's own), that rectangle kept for next time.
    const int32_t w = std::max<int32_t>(371, ShellRect.right - ShellRect.left);
    const int32_t h = std::max<int32_t>(311, ShellRect.bottom - ShellRect.top);
    const int32_t left = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, top = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    EXPECT_EQ(shown.left, left);
    EXPECT_EQ(shown.top, top);
    EXPECT_EQ(shown.right - shown.left, w);
    EXPECT_EQ(shown.bottom - shown.top, h);
    EXPECT_EQ(browser.FormLeft, left);
    EXPECT_EQ(browser.FormTop, top);
    EXPECT_EQ(browser.FormWidth(), w);
    EXPECT_EQ(browser.FormHeight(), h);
    EXPECT_EQ(browser.DialogWindow(), nullptr);
}

TEST_F(KWBrowseFolderTest, MovedDialogReopensWhereItWasLeft) {
    TDialogWatchdog watchdog(30);
    TKWBrowseFolder browser(nullptr);
    browser.SetFormWidth(420);
    WhenShown(browser, [](HWND dlg) {
        SetWindowPos(dlg, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(browser.Execute());
    EXPECT_EQ(browser.FormLeft, 100);
    EXPECT_EQ(browser.FormTop, 120);
    EXPECT_EQ(browser.FormWidth(), 420);
    EXPECT_TRUE(browser.SelectedDir().empty());
    EXPECT_TRUE(browser.SelectedName().empty());

    RECT second{};
    HWND ok = nullptr, tree = nullptr;
    RECT okRect{}, treeRect{};
    WhenShown(browser, [&](HWND dlg) {
        GetWindowRect(dlg, &second);
        ok = GetDlgItem(dlg, IDOK);
        tree = GetDlgItem(dlg, 14145);
        GetWindowRect(ok, &okRect);
        MapWindowPoints(HWND_DESKTOP, dlg, (POINT*)&okRect, 2);
        GetWindowRect(tree, &treeRect);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(browser.Execute());
    EXPECT_FALSE(watchdog.Fired);
    EXPECT_EQ(second.left, 100);
    EXPECT_EQ(second.top, 120);
    EXPECT_EQ(second.right - second.left, 420);
    ASSERT_NE(ok, nullptr);
    const int32_t bw = okRect.right - okRect.left, bh = okRect.bottom - okRect.top;
    EXPECT_EQ(okRect.left, 420 - (2 * bw + 25));
    EXPECT_EQ(okRect.top, (second.bottom - second.top) - bh - 35);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(treeRect.right - treeRect.left, 420 - 32);
}

// A folder that is not there gives the desktop, as if the desktop had been asked for.
TEST_F(KWBrowseFolderTest, MissingInitialFolderStartsOnTheDesktop) {
    TDialogWatchdog watchdog(30);
    std::wstring selected[2];
    for (int run = 0; run < 2; ++run) {
        TKWBrowseFolder browser(nullptr);
        if (run == 0) browser.InitDir = Folder + L"\\does-not-exist";
        else browser.InitSpecialDir = sfDesktop;
        WhenShown(browser, [](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDOK, 0); });
        ASSERT_TRUE(browser.Execute());
        selected[run] = browser.SelectedDir();
    }
    EXPECT_FALSE(watchdog.Fired);
    EXPECT_FALSE(selected[0].empty());
    EXPECT_EQ(selected[0], selected[1]);
}

namespace {

// Records the dialog messages that set the OK button and the status text.
std::vector<std::wstring> DialogRequests;

LRESULT CALLBACK SpyProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == BFFM_ENABLEOK) DialogRequests.push_back(L"ok " + std::to_wstring(lParam != 0));
    if (msg == BFFM_SETSTATUSTEXTW) DialogRequests.push_back(L"status " + std::wstring((const wchar_t*)lParam));
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace

TEST_F(KWBrowseFolderTest, SelectionHandlerSetsTheOkButtonAndStatus) {
    TDialogWatchdog watchdog(30);
    TKWBrowseFolder browser(nullptr);
    browser.InitDir = Folder;
    browser.Options = bifReturnOnlyFSDirs | bifStatusText;
    std::vector<std::wstring> dirs;
    browser.OnSelectionChanged = [&](TObject* sender, HWND wnd, const std::wstring& dir, std::wstring& status, bool& ok) {
        EXPECT_EQ(sender, &browser);
        EXPECT_EQ(wnd, browser.DialogWindow());
        EXPECT_TRUE(status.empty());
        dirs.push_back(dir);
        status = L"選べません";
        ok = false;
    };
    const std::wstring parent = Folder.substr(0, Folder.rfind(L'\\'));
    DialogRequests.clear();
    WhenShown(browser, [&](HWND dlg) {
        SetWindowSubclass(dlg, SpyProc, 1, 0);
        SendMessageW(dlg, BFFM_SETSELECTIONW, TRUE, (LPARAM)parent.c_str());
        RemoveWindowSubclass(dlg, SpyProc, 1);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_FALSE(browser.Execute());
    EXPECT_FALSE(watchdog.Fired);
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(LongPath(dirs[0]), LongPath(Folder));
    EXPECT_EQ(LongPath(dirs[1]), LongPath(parent));
    ASSERT_GE(DialogRequests.size(), 2u);
    EXPECT_EQ(DialogRequests[0], L"ok 0");
    EXPECT_EQ(DialogRequests[1], L"status 選べません");
}

TEST_F(KWBrowseFolderTest, NewDialogStyleKeepsTheShellsLayout) {
    TDialogWatchdog watchdog(30);
    TKWBrowseFolder classic(nullptr), modern(nullptr);
    classic.SetFormWidth(640);
    modern.SetFormWidth(640);
    modern.Options = bifReturnOnlyFSDirs | bifNewDialogStyle;
    RECT classicRect{}, modernRect{};
    WhenShown(classic, [&](HWND dlg) {
        GetWindowRect(dlg, &classicRect);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    WhenShown(modern, [&](HWND dlg) {
        GetWindowRect(dlg, &modernRect);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    classic.Execute();
    modern.Execute();
    EXPECT_FALSE(watchdog.Fired);
    EXPECT_EQ(classicRect.right - classicRect.left, 640);
    EXPECT_NE(modernRect.right - modernRect.left, 640);
}
