// Shell and system utilities: shortcut files, OS names, message boxes, the shell, the message pump,
// file versions and text measurement.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "KWCommonLib.h"
#include "SysUtils.h"
#include "UnitInit.h"
#include "WinApi.h"
#include "scratch_util.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

namespace {

// What a shortcut file holds, read back through the shell's own interfaces.
struct TLinkInfo {
    bool Loaded = false;
    std::wstring Path, Arguments, WorkingDir, Description, IconFile;
    int IconIndex = -1;
};

TLinkInfo ReadLink(const std::wstring& ALinkFile) {
    TLinkInfo info;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(ALinkFile.c_str(), STGM_READ))) {
        wchar_t buf[MAX_PATH + 1];
        info.Loaded = true;
        buf[0] = 0;
        link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
        info.Path = buf;
        buf[0] = 0;
        link->GetArguments(buf, MAX_PATH);
        info.Arguments = buf;
        buf[0] = 0;
        link->GetWorkingDirectory(buf, MAX_PATH);
        info.WorkingDir = buf;
        buf[0] = 0;
        link->GetDescription(buf, MAX_PATH);
        info.Description = buf;
        buf[0] = 0;
        link->GetIconLocation(buf, MAX_PATH, &info.IconIndex);
        info.IconFile = buf;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return info;
}

// A plain window that counts the WM_USER messages it receives.
std::atomic<int> UserMessages{0};
LRESULT CALLBACK CountingProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
    if (AMsg == WM_USER) ++UserMessages;
    return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
}

class TCountingWindow {
public:
    TCountingWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = CountingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KWSystemTestWindow";
        RegisterClassW(&wc);
        FWnd = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               wc.hInstance, nullptr);
    }
    ~TCountingWindow() { DestroyWindow(FWnd); }
    HWND Handle() const { return FWnd; }

private:
    HWND FWnd;
};

void DrainQueue() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

// Sets application hooks and a message-box script for one test, and undoes them.
class TAppScope {
public:
    explicit TAppScope(const TKWApplicationHooks& AHooks) { KWSetApplicationHooks(AHooks); }
    ~TAppScope() {
        KWSetApplicationHooks(TKWApplicationHooks());
        KWSetMessageBoxHook(nullptr);
    }
};

}  // namespace

// ---- Shortcuts ------------------------------------------------------------------------------

TEST(KWShortcuts, CreateResolveFindAndDelete) {
    TScratchDir dir(L"KWSystemTest_");
    const std::wstring app = dir.Path() + L"App\\";
    ASSERT_TRUE(KWForceDirectories(app));
    const std::wstring target = app + L"lumivera_Quillbox.exe";
    ASSERT_TRUE(WriteBytes(target, ""));
    const std::wstring menu = dir.Path() + L"Menu\\";
    ASSERT_TRUE(KWForceDirectories(menu));

    KWCreateShortcut(target, L"/x launch:off", L"写真館 Quillbox", menu, 3);
    const std::wstring link = menu + L"写真館 Quillbox.lnk";
    ASSERT_TRUE(Exists(link));
    const TLinkInfo info = ReadLink(link);
    ASSERT_TRUE(info.Loaded);
    EXPECT_TRUE(KWSameString(info.Path, target));
    EXPECT_EQ(info.Arguments, L"/x launch:off");
    EXPECT_TRUE(KWSameString(KWIncludeTrailingPathDelimiter(info.WorkingDir), app));
    EXPECT_EQ(info.Description, L"");
    EXPECT_TRUE(KWSameString(info.IconFile, target));
    EXPECT_EQ(info.IconIndex, 3);
    EXPECT_TRUE(KWSameString(KWGetShortcutTarget(link), target));

    // An empty link name takes the target's file name; a negative icon index becomes 0. The
    // folder may be given without its "\".
    KWCreateShortcut(target, L"", L"", KWExcludeTrailingPathDelimiter(menu), -5);
    const std::wstring unnamed = menu + L"lumivera_Quillbox.exeへのショートカット.lnk";
    ASSERT_TRUE(Exists(unnamed));
    EXPECT_EQ(ReadLink(unnamed).IconIndex, 0);

    // Found whatever the letter case of the target; the first one the folder listing reports.
    std::wstring firstListed;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((menu + L"*.lnk").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    firstListed = fd.cFileName;
    FindClose(h);
    ASSERT_TRUE(WriteBytes(menu + L"readme.txt", ""));   // not a shortcut: skipped
    std::wstring found = KWFindShortcutTo(KWReplace(target, L"lumivera", L"LUMIVERA", true, true), menu);
    EXPECT_TRUE(KWSameString(found, menu + firstListed)) << found;
    EXPECT_EQ(KWFindShortcutTo(app + L"other.exe", menu), L"");
    EXPECT_EQ(KWFindShortcutTo(target, dir.Path() + L"NoSuchFolder\\"), L"");

    // Each delete removes one shortcut, then there is nothing left to find.
    KWDeleteShortcutTo(target, menu);
    KWDeleteShortcutTo(target, menu);
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(unnamed));
    EXPECT_EQ(KWFindShortcutTo(target, menu), L"");
    KWDeleteShortcutTo(target, menu);
    EXPECT_TRUE(Exists(menu + L"readme.txt"));

    // Replacing: a second shortcut of the same name points at the new target.
    KWCreateShortcut(target, L"", L"same", menu, 0);
    KWCreateShortcut(app + L"!uninstaller.exe", L"/uninstall", L"same", menu, 0);
    EXPECT_TRUE(KWSameString(KWGetShortcutTarget(menu + L"same.lnk"), app + L"!uninstaller.exe"));
    EXPECT_EQ(KWGetShortcutTarget(menu + L"readme.txt"), L"");
    EXPECT_EQ(KWGetShortcutTarget(menu + L"missing.lnk"), L"");
}

TEST(KWShortcuts, NamesOutsideTheAnsiCodePage) {
    // Korean text has no CP932 form: a lookup of the shortcut file through the ANSI code page would
    // miss it, so a reinstall would duplicate the shortcut and an uninstall would leave it. (The
    // target stays Japanese: Wine's shell keeps a link's target path in the ANSI code page.)
    TScratchDir dir(L"KWSystemTest_");
    const std::wstring app = dir.Path() + L"写真館\\";
    ASSERT_TRUE(KWForceDirectories(app));
    const std::wstring target = app + L"写真館ソフト.exe";
    ASSERT_TRUE(WriteBytes(target, ""));
    const std::wstring menu = dir.Path() + L"메뉴\\";
    ASSERT_TRUE(KWForceDirectories(menu));

    KWCreateShortcut(target, L"", L"사진관 바로가기", menu, 0);
    const std::wstring link = menu + L"사진관 바로가기.lnk";
    ASSERT_TRUE(Exists(link));
    EXPECT_EQ(KWGetShortcutTarget(link), target);
    EXPECT_EQ(KWFindShortcutTo(target, menu), link);
    KWDeleteShortcutTo(target, menu);
    EXPECT_FALSE(Exists(link));
}

// ---- Operating system -----------------------------------------------------------------------

TEST(KWSystem, OperatingSystemNames) {
    struct Case {
        DWORD platform, major, minor;
        const wchar_t* csd;
        const wchar_t* name;
    } cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, L"", L"Win95"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, L"", L"Win98"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, L" A ", L"Win98SE"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, L"A", L"Win98"},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, L"", L"WinME"},
        {VER_PLATFORM_WIN32_WINDOWS, 5, 0, L"", L"Unknown"},
        {VER_PLATFORM_WIN32_NT, 3, 51, L"", L"WinNT"},
        {VER_PLATFORM_WIN32_NT, 4, 0, L"Service Pack 6", L"WinNT"},
        {VER_PLATFORM_WIN32_NT, 5, 0, L"", L"Win2000"},
        {VER_PLATFORM_WIN32_NT, 5, 1, L"", L"WinXP"},
        {VER_PLATFORM_WIN32_NT, 5, 2, L"", L"WinXPHigher"},
        {VER_PLATFORM_WIN32_NT, 6, 1, L"", L"WinXPHigher"},
        {VER_PLATFORM_WIN32_NT, 10, 0, L"", L"WinXPHigher"},
        {VER_PLATFORM_WIN32s, 3, 1, L"", L"Unknown"},
    };
    for (const Case& c : cases) {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        wcscpy(info.szCSDVersion, c.csd);
        EXPECT_EQ(KWGetOSNameOf(info), c.name) << c.platform << " " << c.major << "." << c.minor;
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOW), 276u);
    // The prefix is a Windows 7 or later.
    EXPECT_EQ(KWGetOSName(), L"WinXPHigher");
    EXPECT_TRUE(KWIsWin2000OrLater());
    EXPECT_TRUE(KWIsWinXPOrLater());
    EXPECT_TRUE(KWIsLaterThanWinXP());
}

// ---- Message boxes --------------------------------------------------------------------------

TEST(KWMessageBoxes, ScriptedBoxesGetTheTextTitleAndStyle) {
    TKWApplicationHooks hooks;
    hooks.Title = [] { return std::wstring(L"lumi-vera Quillbox Installer"); };
    TAppScope scope(hooks);
    TCountingWindow form;
    struct Seen {
        std::wstring text, caption;
        int32_t type;
        HWND owner;
    };
    std::vector<Seen> seen;
    int32_t answer = IDNO;
    KWSetMessageBoxHook([&](const std::wstring& t, const std::wstring& c, int32_t ty, HWND o) {
        seen.push_back({t, c, ty, o});
        return answer;
    });

    EXPECT_EQ(KWMessageBox(L"アンインストールしますか？", form.Handle(), MB_YESNO), IDNO);
    answer = IDYES;
    EXPECT_EQ(KWMessageBox(L"アンインストールしますか？", form.Handle(), MB_YESNO), IDYES);
    KWShowMessage(L"特殊フォルダに直接インストールできません。", form.Handle());
    // Without a form: the simple message dialog, OK only, and the answer is 1 whatever it was.
    EXPECT_EQ(KWMessageBox(L"no form", nullptr, MB_YESNO | MB_ICONQUESTION), 1);

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].text, L"アンインストールしますか？");
    EXPECT_EQ(seen[0].caption, L"lumi-vera Quillbox Installer");
    EXPECT_EQ(seen[0].type, MB_YESNO);
    EXPECT_EQ(seen[0].owner, form.Handle());
    EXPECT_EQ(seen[2].text, L"特殊フォルダに直接インストールできません。");
    EXPECT_EQ(seen[2].type, MB_OK);
    EXPECT_EQ(seen[3].caption, L"lumi-vera Quillbox Installer");
    EXPECT_EQ(seen[3].type, MB_OK);
    EXPECT_EQ(seen[3].owner, nullptr);

    // Without a title provider the program's name stands in.
    KWSetApplicationHooks(TKWApplicationHooks());
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring name = self;
    name = name.substr(name.rfind(L'\\') + 1);
    EXPECT_EQ(KWGetApplicationTitle(), name.substr(0, name.size() - 4));
}

TEST(KWMessageBoxes, RealBoxIsOwnedByTheFormAndAnswers) {
    TKWApplicationHooks hooks;
    hooks.Title = [] { return std::wstring(L"KW box test 写真館"); };
    TAppScope scope(hooks);
    TCountingWindow form;
    HWND boxOwner = nullptr;
    std::atomic<bool> pressed{false};
    // Another thread finds the box by its caption and presses "No".
    std::thread presser([&] {
        for (int i = 0; i < 200 && !pressed; ++i) {
            HWND box = FindWindowW(L"#32770", L"KW box test 写真館");
            if (box) {
                boxOwner = GetWindow(box, GW_OWNER);
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                pressed = true;
            }
            Sleep(50);
        }
    });
    const int32_t r = KWMessageBox(L"本当に？", form.Handle(), MB_YESNO);
    presser.join();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(r, IDNO);
    EXPECT_EQ(boxOwner, form.Handle());
}

// ---- Shell ----------------------------------------------------------------------------------

TEST(KWSystem, ShellExecuteStartsWithoutWaiting) {
    TScratchDir dir(L"KWSystemTest_");
    const std::wstring out = dir.Path() + L"started.txt";
    ASSERT_TRUE(KWShellExecute(nullptr, L"cmd.exe", L"/c echo started> \"" + out + L"\"", dir.Path(), SW_HIDE, false));
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        seen = Exists(out);
        if (!seen) Sleep(50);
    }
    EXPECT_TRUE(seen);
    Sleep(200);   // let cmd close the file before the folder goes
    EXPECT_FALSE(KWShellExecute(nullptr, dir.Path() + L"no such program.exe", L"", L"", SW_SHOW, false));
}

// ---- Message pump ---------------------------------------------------------------------------

TEST(KWSystem, MessagePumpCounts) {
    TCountingWindow wnd;
    DrainQueue();
    auto post = [&](int n) {
        for (int i = 0; i < n; ++i) PostMessageW(wnd.Handle(), WM_USER, 0, 0);
    };
    UserMessages = 0;
    post(5);
    KWProcessMessages(-1);   // the default count 0: everything queued
    EXPECT_EQ(UserMessages, 5);
    EXPECT_EQ(KWDefaultProcessMessagesCount, 0);

    post(5);
    KWProcessMessages(2);
    EXPECT_EQ(UserMessages, 7);
    int steps = 0;
    while (KWProcessOneMessage()) ++steps;
    EXPECT_GE(steps, 3);
    EXPECT_EQ(UserMessages, 10);
    EXPECT_FALSE(KWProcessOneMessage());
    KWProcessMessages(4);   // stops early on an empty queue
    EXPECT_EQ(UserMessages, 10);

    // Count 0 goes to the application's ProcessMessages; its exceptions are swallowed.
    int calls = 0;
    TKWApplicationHooks hooks;
    hooks.ProcessMessages = [&] {
        ++calls;
        throw Exception(L"boom");
    };
    TAppScope scope(hooks);
    post(1);
    EXPECT_NO_THROW(KWProcessMessages(0));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(UserMessages, 10);
    KWProcessMessages(1);
    EXPECT_EQ(UserMessages, 11);
}

// ---- File versions --------------------------------------------------------------------------

TEST(KWSystem, FileVersions) {
    // The helper's FileVersion text is " 1, 7, 0, 2 ".
    const std::wstring helper = BuildPath(TEST_BUILD_DIR "/kwlib_selfdelete_helper.exe");
    ASSERT_TRUE(Exists(helper)) << "build the target kwlib_selfdelete_helper";
    std::wstring version = L"x";
    KWGetFileVersion(helper, version);
    EXPECT_EQ(version, L"1.7.0.2");
    std::wstring major, build;
    KWSplitVersion(major, build, helper);
    EXPECT_EQ(major, L"1.7.0");
    EXPECT_EQ(build, L"2");

    TScratchDir dir(L"KWSystemTest_");
    ASSERT_TRUE(WriteBytes(dir.Path() + L"plain.txt", ""));
    version = L"x";
    KWGetFileVersion(dir.Path() + L"plain.txt", version);
    EXPECT_EQ(version, L"");
    version = L"x";
    KWGetFileVersion(dir.Path() + L"missing.exe", version);
    EXPECT_EQ(version, L"");

    // A missing file means the program's own file, which carries no version here.
    std::wstring own = L"x";
    KWGetOwnFileVersion(own);
    major = build = L"x";
    KWSplitVersion(major, build, dir.Path() + L"missing.exe");
    EXPECT_EQ(build, own);
    EXPECT_EQ(major, L"");
}

// ---- Text measurement -----------------------------------------------------------------------

TEST(KWSystem, TextExtents) {
    HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, L"IPAGothic");
    ASSERT_NE(font, nullptr);
    SIZE s = {1, 1};
    KWGetTextExtent(L"", font, false, s);
    EXPECT_EQ(s.cx, 0);
    EXPECT_EQ(s.cy, 0);

    SIZE one, two;
    KWGetTextExtent(L"WWWW", font, false, one);
    KWGetTextExtent(L"WWWW\r\nW", font, false, two);
    EXPECT_GT(one.cx, one.cy);
    EXPECT_EQ(two.cx, one.cx);
    EXPECT_EQ(two.cy, 2 * one.cy);

    // Turned: the ink of a wide text stands tall.
    SIZE plain, turned;
    KWGetRotatedTextExtent(L"WWWW", font, false, plain);
    EXPECT_EQ(plain.cx, one.cx);
    EXPECT_EQ(plain.cy, one.cy);
    KWGetRotatedTextExtent(L"WWWW", font, true, turned);
    EXPECT_GT(turned.cy, turned.cx);
    EXPECT_GT(turned.cy, 0);
    EXPECT_LE(turned.cy, 2 * one.cx);
    EXPECT_LE(turned.cx, 2 * one.cy);

    // Vertical text: lines in reverse order, each turned, sizes summed into both dimensions.
    TKWLineExtents lines;
    SIZE total;
    KWGetTextExtentLines(L"WWWW\nW\r\n\rWW", font, true, lines, total);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].Text, L"WW");
    EXPECT_EQ(lines[1].Text, L"");
    EXPECT_EQ(lines[2].Text, L"W");
    EXPECT_EQ(lines[3].Text, L"WWWW");
    EXPECT_EQ(lines[3].Width, turned.cx);
    EXPECT_EQ(lines[3].Height, turned.cy);
    EXPECT_EQ(lines[1].Width, 0);
    LONG w = 0, h = 0;
    for (const TKWLineExtent& l : lines) {
        w += l.Width;
        h += l.Height;
    }
    EXPECT_EQ(total.cx, w);
    EXPECT_EQ(total.cy, h);
    DeleteObject(font);
}

// ---- Unit start-up --------------------------------------------------------------------------

TEST(KWSystem, StartUpResetsThePumpCountAndTheLastError) {
    KWDefaultProcessMessagesCount = 5;
    KWSetLastError(103, 5);
    KWCommonLib_Initialize();
    EXPECT_EQ(KWDefaultProcessMessagesCount, 0);
    EXPECT_EQ(KWLastErrorCode, -1);
    EXPECT_EQ(KWLastSystemError, -1);
    KWCommonLib_Register();
    EXPECT_FALSE(RegisterUnit(L"KWCommonLib", urKWTempNames, nullptr, nullptr)) << "registered under its name";
}
