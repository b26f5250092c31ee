// Drives the installer's wizard from another process, as a person would: finds the wizard form
// and its message boxes by window class and caption, reads the texts of their windows and presses
// buttons by posting clicks to them. Used by the end-to-end tests (linked in) and by the demo
// (through the console program in cli/).
//
// Every wait is bounded by a timeout in milliseconds; nothing here blocks on the wizard's thread
// (clicks are posted, texts are read with SendMessageTimeout).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "WinApi.h"

namespace wizdrv {

// The wizard form's window class and caption, and the caption of its message boxes.
extern const wchar_t* const WizardClass;       // "TFormMain"
extern const wchar_t* const WizardCaption;     // " "
extern const wchar_t* const MessageBoxClass;   // "#32770"
extern const wchar_t* const ApplicationTitle;  // "lumi-vera Quillbox Installer"

struct TWindowInfo {
    HWND Wnd = nullptr;
    std::wstring Class;
    std::wstring Text;
    int32_t Id = 0;
    bool Visible = false;   // visible on screen (the window and all its parents)
    bool Enabled = false;
};

std::wstring ClassOf(HWND AWnd);
// The window's text, read with a bounded WM_GETTEXT; '' when the window does not answer.
std::wstring TextOf(HWND AWnd);
TWindowInfo InfoOf(HWND AWnd);

// Top-level windows of process APid (0: any process) with the class (and the caption, unless
// ACaption is null), in z-order.
std::vector<HWND> FindTopWindows(DWORD APid, const wchar_t* AClass, const wchar_t* ACaption);
// Waits until such a window is visible; nullptr on timeout.
HWND WaitTopWindow(DWORD APid, const wchar_t* AClass, const wchar_t* ACaption, uint32_t ATimeoutMs);

// Every descendant window of AParent, depth first, in z-order.
std::vector<TWindowInfo> Descendants(HWND AParent);
// The first descendant with the class (null: any) and text (exact), visible ones only unless
// AAlsoHidden; nullptr when none.
HWND FindControl(HWND AParent, const wchar_t* AClass, const std::wstring& AText, bool AAlsoHidden = false);

// The caption of the wizard's page on screen (the visible tab sheet); '' when none is visible.
std::wstring CurrentPage(HWND AWizard);
// Waits until the page with that caption is on screen; false on timeout.
bool WaitPage(HWND AWizard, const std::wstring& APage, uint32_t ATimeoutMs);

// Posts a click to a button or check box. Refuses (false) a control that a person could not
// press: hidden or disabled.
bool Click(HWND AControl);
// Finds the visible button or check box with that caption under AParent and clicks it.
bool ClickButton(HWND AParent, const std::wstring& ACaption);
// The check state of a check box (BM_GETCHECK): 0 unticked, 1 ticked, -1 no answer.
int32_t CheckState(HWND ACheckBox);

// A message box of the system: its caption, its text, its owner and its buttons.
struct TMessageBoxInfo {
    HWND Wnd = nullptr;
    HWND Owner = nullptr;
    std::wstring Caption;
    std::wstring Text;
    std::vector<TWindowInfo> Buttons;
    // The button with this command identifier (IDOK, IDYES, IDNO ...), nullptr when absent.
    HWND Button(int32_t AId) const;
    // The identifiers of the buttons, e.g. {IDYES, IDNO}.
    std::vector<int32_t> ButtonIds() const;
    // Whether the box shows an icon (a static control with SS_ICON).
    bool HasIcon = false;
};
// Waits for a visible message box of process APid (0: any); false on timeout.
bool WaitMessageBox(DWORD APid, uint32_t ATimeoutMs, TMessageBoxInfo& ABox);
// Presses the button AId of the box (posted click); false when the box has no such button.
bool Answer(const TMessageBoxInfo& ABox, int32_t AId);

// Waits until no visible top-level window of APid has that class (the box closed, for example).
bool WaitNoTopWindow(DWORD APid, const wchar_t* AClass, uint32_t ATimeoutMs);

// Sends a key press (down and up) to a window, posted.
void PostKey(HWND AWnd, UINT AVirtualKey);

// Milliseconds since an arbitrary start, for the waits.
uint32_t NowMs();
// Sleeps in short slices while the condition is false, up to the timeout.
template <class F>
bool WaitFor(F ACondition, uint32_t ATimeoutMs) {
    const uint32_t start = NowMs();
    for (;;) {
        if (ACondition()) return true;
        if (NowMs() - start >= ATimeoutMs) return false;
        Sleep(50);
    }
}

}  // namespace wizdrv
