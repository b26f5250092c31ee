// KWCommonLib, shell and system: shortcut files, the operating-system name and version tests,
// starting programs through the shell, message boxes with the application title, the message
// pump, file versions and text measurement. Window lookup by property, the WM_COPYDATA sender, the
// application window and the debugger test live in KWCommonLib_shell.h.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "KWCommonLib_shell.h"
#include "KWCommonType.h"
#include "WinApi.h"

// ---- The application object -----------------------------------------------------------------

// What the library asks of the application object besides its window (KWSetApplicationWindow):
// its title, the caption of every message box, and its ProcessMessages. The application object
// fills these in at start-up; an empty member keeps the plain fallback (the program's file name
// without extension as the title; KWProcessOneMessage until the queue is empty).
struct TKWApplicationHooks {
    std::function<std::wstring()> Title;
    std::function<void()> ProcessMessages;
};
void KWSetApplicationHooks(const TKWApplicationHooks& AHooks);
std::wstring KWGetApplicationTitle();

// ---- Shortcuts ------------------------------------------------------------------------------

// Creates AFolder + ALinkName + ".lnk" (or, for an empty ALinkName, AFolder + the target's file
// name + "へのショートカット.lnk"), replacing an existing file: target ATarget with AArguments,
// working folder the target's folder, no description, icon ATarget at max(AIconIndex, 0).
// AFolder must exist. Failures are silent.
void KWCreateShortcut(const std::wstring& ATarget, const std::wstring& AArguments,
                      const std::wstring& ALinkName, const std::wstring& AFolder, int32_t AIconIndex);
// The target path stored in a shortcut file (raw, at most 260 characters); '' on failure.
std::wstring KWGetShortcutTarget(const std::wstring& ALinkFile);
// The first file of AFolder (neither hidden nor system, any extension) that is a shortcut to
// ATarget, letter case ignored; '' when there is none.
std::wstring KWFindShortcutTo(const std::wstring& ATarget, const std::wstring& AFolder);
// Deletes the file that KWFindShortcutTo names, when it names one.
void KWDeleteShortcutTo(const std::wstring& ATarget, const std::wstring& AFolder);

// ---- Operating system -----------------------------------------------------------------------

// "Win95", "Win98", "Win98SE", "WinME", "WinNT", "Win2000", "WinXP", "WinXPHigher" or "Unknown".
std::wstring KWGetOSName();
// The name for a version record as GetVersionExW fills it.
std::wstring KWGetOSNameOf(const OSVERSIONINFOW& AInfo);
bool KWIsWin2000OrLater();
bool KWIsWinXPOrLater();
bool KWIsLaterThanWinXP();

// ---- Shell and message boxes ----------------------------------------------------------------

// ShellExecuteExW without error UI, owned by AWnd, with the verb "runas" when ARunAsAdmin (after
// Windows XP) else "open". Does not wait for the program. True when the call succeeded.
bool KWShellExecute(HWND AWnd, const std::wstring& AFileName, const std::wstring& AParams,
                    const std::wstring& ADirectory, int32_t AShowCmd, bool ARunAsAdmin);

// A modal system message box owned by AOwner (a form's window) with the application title as
// caption and AType as style; returns the button pressed. Without an owner it shows the simple
// message dialog (OK only, owned by the application window) and returns 1.
int32_t KWMessageBox(const std::wstring& AText, HWND AOwner, int32_t AType);
// KWMessageBox with MB_OK.
void KWShowMessage(const std::wstring& AText, HWND AOwner);

// Scripted message boxes for tests: when a hook is set it receives every box's text, caption,
// style and owner instead of the box being shown, and its result is the answer. Returns the
// previous hook; pass an empty one to show real boxes again.
using TKWMessageBoxHook = std::function<int32_t(const std::wstring& AText, const std::wstring& ACaption,
                                                int32_t AType, HWND AOwner)>;
TKWMessageBoxHook KWSetMessageBoxHook(TKWMessageBoxHook AHook);

// ---- Message pump ---------------------------------------------------------------------------

// The count KWProcessMessages takes for a negative argument (0 after start-up).
extern int32_t KWDefaultProcessMessagesCount;
// 0: the application's ProcessMessages (everything queued); n > 0: up to n single messages,
// stopping early when the queue is empty; negative: the default count. Never raises.
void KWProcessMessages(int32_t ACount = -1);
// One step of the application's message loop; false when no message was waiting.
bool KWProcessOneMessage();

// ---- File versions --------------------------------------------------------------------------

// The "FileVersion" text of a file's first translation, with "," as "." and blanks removed;
// '' when the file is missing or has no version information.
void KWGetFileVersion(const std::wstring& AFileName, std::wstring& AVersion);
void KWGetOwnFileVersion(std::wstring& AVersion);
// The version of AFileName (or of the program's own file when AFileName does not exist), cut at
// its last ".": 1.7.0.2 gives AVersion 1.7.0 and ABuild 2. Without a "." all of it is ABuild.
void KWSplitVersion(std::wstring& AVersion, std::wstring& ABuild, const std::wstring& AFileName);

// ---- Text measurement -----------------------------------------------------------------------

// The size of AText drawn with AFont (DrawTextW's DT_CALCRECT), or with AVertical the size of its
// lines set vertically (see KWGetTextExtentLines).
void KWGetTextExtent(const std::wstring& AText, HFONT AFont, bool AVertical, SIZE& ASize);
// As KWGetTextExtent; with AVertical the lines (split at line breaks, last line first) are each
// measured by KWGetRotatedTextExtent, stored in ALines, and their sizes summed into both the width
// and the height.
void KWGetTextExtentLines(const std::wstring& AText, HFONT AFont, bool AVertical, TKWLineExtents& ALines,
                          SIZE& ASize);
// The unrotated size of AText; with ARotate the size of its ink when drawn with the font's
// vertical form ("@" face) turned by -90 degrees.
void KWGetRotatedTextExtent(const std::wstring& AText, HFONT AFont, bool ARotate, SIZE& ASize);

// ---- Objects --------------------------------------------------------------------------------

inline bool KWAssigned(const void* APointer) { return APointer != nullptr; }
// Frees the object when there is one and leaves the reference empty.
template <class T>
void KWFreeAndNil(std::unique_ptr<T>& AObject) {
    AObject.reset();
}

// ---- Unit start-up --------------------------------------------------------------------------

// The base unit's start-up: seeds the platform's random generator, sets the pump's default count
// to 0 and the last-error pair to -1 and -1. Nothing is left to release at shut-down.
void KWCommonLib_Initialize();
// Registers the start-up with the unit registry (the program entry calls it).
void KWCommonLib_Register();
