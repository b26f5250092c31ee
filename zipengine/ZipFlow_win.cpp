// The archiver's built-in modal dialogs on Windows: the password dialog and the confirmation
// questions (overwrite, failed entry). Both are dialog boxes made from an in-memory template and
// laid out in dialog units of their own font: x a quarter of the average width of the letters
// A..Z and a..z, y an eighth of the font height.
#include "ZipFlow.h"

#include <algorithm>
#include <vector>

#include "WinApi.h"
#include "ZFStrFunc.h"

namespace {

const wchar_t* const ConfirmCaption = L"Confirm";
constexpr int IdEdit = 100;
constexpr int IdLabel = 101;
constexpr int IdIcon = 102;
constexpr int IdText = 103;
constexpr int IdFirstButton = 200;

// An empty modal dialog template with the caption and the dialog font; the controls are made
// when the dialog starts.
std::vector<WORD> EmptyTemplate() {
    std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    DLGTEMPLATE* d = reinterpret_cast<DLGTEMPLATE*>(t.data());
    d->style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    d->cdit = 0;
    d->cx = 180;
    d->cy = 63;
    t.push_back(0);   // no menu
    t.push_back(0);   // the standard dialog class
    t.push_back(0);   // caption: set when the dialog starts
    t.push_back(8);   // point size
    for (const wchar_t* f = L"MS Shell Dlg"; *f; ++f) t.push_back((WORD)*f);
    t.push_back(0);
    return t;
}

// Dialog units of the dialog's font.
struct TDialogUnits {
    int X = 6;
    int Y = 13;
    explicit TDialogUnits(HWND Dlg) {
        HDC dc = GetDC(Dlg);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(Dlg, WM_GETFONT, 0, 0));
        SIZE size;
        TEXTMETRICW tm;
        if (GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &size) && size.cx > 0)
            X = size.cx / 52;
        if (GetTextMetricsW(dc, &tm) && tm.tmHeight > 0) Y = tm.tmHeight;
        SelectObject(dc, old);
        ReleaseDC(Dlg, dc);
    }
    int H(int Units) const { return MulDiv(Units, X, 4); }
    int V(int Units) const { return MulDiv(Units, Y, 8); }
};

HWND AddControl(HWND Dlg, const wchar_t* Class, const std::wstring& Text, DWORD Style, int Id, int X, int Y, int W,
                int H, DWORD ExStyle = 0) {
    HWND h = CreateWindowExW(ExStyle, Class, Text.c_str(), WS_CHILD | WS_VISIBLE | Style, X, Y, W, H, Dlg,
                             (HMENU)(INT_PTR)Id, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(h, WM_SETFONT, SendMessageW(Dlg, WM_GETFONT, 0, 0), FALSE);
    return h;
}

// Gives the dialog this client size and puts it in the middle of the screen.
void SizeAndCentre(HWND Dlg, int ClientWidth, int ClientHeight) {
    RECT r = {0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&r, (DWORD)GetWindowLongW(Dlg, GWL_STYLE), FALSE, (DWORD)GetWindowLongW(Dlg, GWL_EXSTYLE));
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(Dlg, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Password dialog ------------------------------------------------------------------------------------

struct TPasswordState {
    std::wstring Caption;
    std::wstring Password;
};

INT_PTR CALLBACK PasswordProc(HWND Dlg, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TPasswordState* state = reinterpret_cast<TPasswordState*>(GetWindowLongPtrW(Dlg, DWLP_USER));
    switch (Msg) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<TPasswordState*>(LParam);
        SetWindowLongPtrW(Dlg, DWLP_USER, (LONG_PTR)state);
        SetWindowTextW(Dlg, state->Caption.c_str());
        const TDialogUnits u(Dlg);
        AddControl(Dlg, L"STATIC", SZFPasswordPrompt, SS_LEFT, IdLabel, u.H(8), u.V(8), u.H(164), u.V(8));
        HWND edit = AddControl(Dlg, L"EDIT", state->Password, ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP, IdEdit,
                               u.H(8), u.V(19), u.H(164), u.V(12), WS_EX_CLIENTEDGE);
        SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
        SendMessageW(edit, EM_LIMITTEXT, 255, 0);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        AddControl(Dlg, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK, u.H(38), u.V(41), u.H(50), u.V(14));
        AddControl(Dlg, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL, u.H(92), u.V(41), u.H(50),
                   u.V(14));
        SizeAndCentre(Dlg, u.H(180), u.V(63));
        SetFocus(edit);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(WParam) == IDOK) {
            HWND edit = GetDlgItem(Dlg, IdEdit);
            std::wstring text((size_t)GetWindowTextLengthW(edit) + 1, L'\0');
            text.resize((size_t)GetWindowTextW(edit, &text[0], (int)text.size()));
            state->Password = text;
            EndDialog(Dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(WParam) == IDCANCEL) {
            EndDialog(Dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// ---- Confirmation questions --------------------------------------------------------------------------------

struct TQuestionState {
    std::wstring Text;
    std::vector<std::wstring> Buttons;
};

INT_PTR CALLBACK QuestionProc(HWND Dlg, UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_INITDIALOG: {
        const TQuestionState* state = reinterpret_cast<const TQuestionState*>(LParam);
        SetWindowTextW(Dlg, ConfirmCaption);
        const TDialogUnits u(Dlg);
        const int margin = u.H(8), gap = u.H(4), buttonW = u.H(50), buttonH = u.V(14);
        const int iconSize = GetSystemMetrics(SM_CXICON);

        // The text, wrapped at about two thirds of the screen.
        HDC dc = GetDC(Dlg);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageW(Dlg, WM_GETFONT, 0, 0));
        RECT text = {0, 0, GetSystemMetrics(SM_CXSCREEN) * 2 / 3, 0};
        DrawTextW(dc, state->Text.c_str(), (int)state->Text.size(), &text,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        SelectObject(dc, old);
        ReleaseDC(Dlg, dc);

        const int count = (int)state->Buttons.size();
        const int buttonsW = count * buttonW + (count - 1) * gap;
        const int textX = margin + iconSize + margin;
        const int width = std::max<int>(textX + (int)text.right + margin, buttonsW + 2 * margin);
        const int textH = std::max<int>((int)text.bottom, iconSize);
        const int buttonY = margin + textH + margin;

        HWND icon = AddControl(Dlg, L"STATIC", L"", SS_ICON, IdIcon, margin, margin, iconSize, iconSize);
        SendMessageW(icon, STM_SETICON, (WPARAM)LoadIconW(nullptr, IDI_QUESTION), 0);
        AddControl(Dlg, L"STATIC", state->Text, SS_LEFT | SS_NOPREFIX, IdText, textX, margin, text.right, textH);
        int x = (width - buttonsW) / 2;
        for (int i = 0; i < count; ++i, x += buttonW + gap)
            AddControl(Dlg, L"BUTTON", state->Buttons[(size_t)i], (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP,
                       IdFirstButton + i, x, buttonY, buttonW, buttonH);
        SizeAndCentre(Dlg, width, buttonY + buttonH + margin);
        SetFocus(GetDlgItem(Dlg, IdFirstButton));
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(WParam) >= IdFirstButton || LOWORD(WParam) == IDCANCEL) {
            EndDialog(Dlg, LOWORD(WParam) == IDCANCEL ? -1 : LOWORD(WParam) - IdFirstButton);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// The index of the button chosen, -1 when the dialog was closed otherwise.
int Ask(const std::wstring& Text, std::vector<std::wstring> Buttons) {
    TQuestionState state{Text, std::move(Buttons)};
    std::vector<WORD> t = EmptyTemplate();
    return (int)DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                        GetActiveWindow(), QuestionProc, (LPARAM)&state);
}

class TSystemDialogs : public TZFDialogs {
public:
    TZFOverwriteAnswer ConfirmOverwrite(const std::wstring& Text) override {
        switch (Ask(Text, {L"&Yes", L"&No", L"N&o to All", L"Yes to &All"})) {
        case 0: return oaYes;
        case 2: return oaNoToAll;
        case 3: return oaYesToAll;
        default: return oaNo;
        }
    }

    bool AskPassword(const std::wstring& Caption, std::string& Password) override {
        TPasswordState state{Caption, ZFCodePageToWide(Password, zcpAnsi)};
        std::vector<WORD> t = EmptyTemplate();
        const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                                  GetActiveWindow(), PasswordProc, (LPARAM)&state);
        if (r != IDOK) return false;
        Password = ZFWideToCodePage(state.Password, zcpAnsi);
        return true;
    }

    TZFAction AskFailure(const std::wstring& Text, bool AllowRetry) override {
        if (AllowRetry) {
            switch (Ask(Text, {L"&Abort", L"&Retry", L"&Ignore"})) {
            case 1: return fxaRetry;
            case 2: return fxaIgnore;
            default: return fxaAbort;
            }
        }
        return Ask(Text, {L"&Abort", L"&Ignore"}) == 1 ? fxaIgnore : fxaAbort;
    }
};

}  // namespace

TZFDialogs& ZFSystemDialogs() {
    static TSystemDialogs dialogs;
    return dialogs;
}
