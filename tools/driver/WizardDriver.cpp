#include "WizardDriver.h"

#include <algorithm>

namespace wizdrv {

const wchar_t* const WizardClass = L"TFormMain";
const wchar_t* const WizardCaption = L" ";
const wchar_t* const MessageBoxClass = L"#32770";
const wchar_t* const ApplicationTitle = L"lumi-vera Quillbox Installer";

namespace {

// How long a window may take to answer one message before it counts as not answering.
constexpr UINT kAnswerTimeoutMs = 2000;

bool IsShown(HWND AWnd) { return IsWindow(AWnd) && IsWindowVisible(AWnd); }

DWORD ProcessOf(HWND AWnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(AWnd, &pid);
    return pid;
}

}  // namespace

uint32_t NowMs() { return GetTickCount(); }

std::wstring ClassOf(HWND AWnd) {
    wchar_t name[256] = {};
    GetClassNameW(AWnd, name, 256);
    return name;
}

std::wstring TextOf(HWND AWnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(AWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(AWnd, WM_GETTEXT, text.size(), (LPARAM)&text[0], SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &copied))
        return L"";
    text.resize(std::min<size_t>(copied, length));
    return text;
}

TWindowInfo InfoOf(HWND AWnd) {
    TWindowInfo info;
    info.Wnd = AWnd;
    info.Class = ClassOf(AWnd);
    info.Text = TextOf(AWnd);
    info.Id = GetDlgCtrlID(AWnd);
    info.Visible = IsWindowVisible(AWnd) != FALSE;
    info.Enabled = IsWindowEnabled(AWnd) != FALSE;
    return info;
}

std::vector<HWND> FindTopWindows(DWORD APid, const wchar_t* AClass, const wchar_t* ACaption) {
    std::vector<HWND> found;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (APid && ProcessOf(w) != APid) continue;
        if (AClass && ClassOf(w) != AClass) continue;
        if (ACaption && TextOf(w) != ACaption) continue;
        found.push_back(w);
    }
    return found;
}

HWND WaitTopWindow(DWORD APid, const wchar_t* AClass, const wchar_t* ACaption, uint32_t ATimeoutMs) {
    HWND result = nullptr;
    WaitFor(
        [&] {
            for (HWND w : FindTopWindows(APid, AClass, ACaption))
                if (IsShown(w)) {
                    result = w;
                    return true;
                }
            return false;
        },
        ATimeoutMs);
    return result;
}

bool WaitNoTopWindow(DWORD APid, const wchar_t* AClass, uint32_t ATimeoutMs) {
    return WaitFor(
        [&] {
            for (HWND w : FindTopWindows(APid, AClass, nullptr))
                if (IsShown(w)) return false;
            return true;
        },
        ATimeoutMs);
}

std::vector<TWindowInfo> Descendants(HWND AParent) {
    std::vector<TWindowInfo> all;
    std::vector<HWND> stack;
    for (HWND c = GetWindow(AParent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) stack.push_back(c);
    std::reverse(stack.begin(), stack.end());
    while (!stack.empty()) {
        HWND w = stack.back();
        stack.pop_back();
        TWindowInfo info = InfoOf(w);
        info.Visible = IsShown(w);
        all.push_back(info);
        std::vector<HWND> children;
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return all;
}

HWND FindControl(HWND AParent, const wchar_t* AClass, const std::wstring& AText, bool AAlsoHidden) {
    for (const TWindowInfo& c : Descendants(AParent)) {
        if (!AAlsoHidden && !c.Visible) continue;
        if (AClass && c.Class != AClass) continue;
        if (c.Text == AText) return c.Wnd;
    }
    return nullptr;
}

std::wstring CurrentPage(HWND AWizard) {
    for (const TWindowInfo& c : Descendants(AWizard))
        if (c.Class == L"TKWTabSheet" && c.Visible) return c.Text;
    return L"";
}

bool WaitPage(HWND AWizard, const std::wstring& APage, uint32_t ATimeoutMs) {
    return WaitFor([&] { return CurrentPage(AWizard) == APage; }, ATimeoutMs);
}

bool Click(HWND AControl) {
    if (!AControl || !IsShown(AControl) || !IsWindowEnabled(AControl)) return false;
    return PostMessageW(AControl, BM_CLICK, 0, 0) != FALSE;
}

bool ClickButton(HWND AParent, const std::wstring& ACaption) {
    for (const TWindowInfo& c : Descendants(AParent))
        if (c.Visible && c.Text == ACaption && (c.Class == L"Button" || c.Class.find(L"Button") != std::wstring::npos ||
                                                c.Class.find(L"CheckBox") != std::wstring::npos))
            return Click(c.Wnd);
    return false;
}

int32_t CheckState(HWND ACheckBox) {
    DWORD_PTR state = 0;
    if (!SendMessageTimeoutW(ACheckBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &state)) return -1;
    return (int32_t)state;
}

HWND TMessageBoxInfo::Button(int32_t AId) const {
    for (const TWindowInfo& b : Buttons)
        if (b.Id == AId) return b.Wnd;
    return nullptr;
}

std::vector<int32_t> TMessageBoxInfo::ButtonIds() const {
    std::vector<int32_t> ids;
    for (const TWindowInfo& b : Buttons) ids.push_back(b.Id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool WaitMessageBox(DWORD APid, uint32_t ATimeoutMs, TMessageBoxInfo& ABox) {
    HWND box = WaitTopWindow(APid, MessageBoxClass, nullptr, ATimeoutMs);
    if (!box) return false;
    ABox = TMessageBoxInfo();
    ABox.Wnd = box;
    ABox.Owner = GetWindow(box, GW_OWNER);
    ABox.Caption = TextOf(box);
    // The message text sits in the static control with the identifier 0xFFFF.
    for (const TWindowInfo& c : Descendants(box)) {
        if (_wcsicmp(c.Class.c_str(), L"Static") == 0) {
            const LONG style = GetWindowLongW(c.Wnd, GWL_STYLE);
            if ((style & SS_TYPEMASK) == SS_ICON && c.Visible) {
                // The box keeps an icon control even when it shows no icon.
                DWORD_PTR icon = 0;
                if (SendMessageTimeoutW(c.Wnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &icon) && icon)
                    ABox.HasIcon = true;
            }
            if ((c.Id & 0xFFFF) == 0xFFFF) ABox.Text = c.Text;
        } else if (_wcsicmp(c.Class.c_str(), L"Button") == 0 && c.Visible) {
            ABox.Buttons.push_back(c);
        }
    }
    return true;
}

bool Answer(const TMessageBoxInfo& ABox, int32_t AId) {
    HWND button = ABox.Button(AId);
    if (!button) return false;
    return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

void PostKey(HWND AWnd, UINT AVirtualKey) {
    const UINT scan = MapVirtualKeyW(AVirtualKey, 0);
    PostMessageW(AWnd, WM_KEYDOWN, AVirtualKey, 1 | scan << 16);
    PostMessageW(AWnd, WM_KEYUP, AVirtualKey, 1 | scan << 16 | 0xC0000000u);
}

}  // namespace wizdrv
