// The archiver's real modal dialogs, answered by a second thread that finds them by caption and
// presses their buttons: the password dialog's layout, masking and answers, and the buttons and
// answers of the confirmation questions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "WinApi.h"
#include "ZipFlow.h"

namespace {

// The dialog of this process with the caption, waited for at most ten seconds.
HWND WaitForDialog(const wchar_t* Caption) {
    for (int i = 0; i < 1000; ++i) {
        HWND h = FindWindowW(L"#32770", Caption);
        if (h && IsWindowVisible(h)) return h;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

RECT ClientRectOf(HWND Dlg, HWND Child) {
    RECT r;
    GetWindowRect(Child, &r);
    MapWindowPoints(nullptr, Dlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring TextOf(HWND h) {
    wchar_t buffer[512] = {};
    GetWindowTextW(h, buffer, 512);
    return buffer;
}

void Press(HWND Dlg, int Id) {
    PostMessageW(Dlg, WM_COMMAND, MAKEWPARAM(Id, BN_CLICKED), (LPARAM)GetDlgItem(Dlg, Id));
}

// Runs Ask on this thread while Answer works on the dialog found by caption on another.
template <class AskFn, class AnswerFn>
void WithDialog(const wchar_t* Caption, AskFn Ask, AnswerFn Answer) {
    bool found = false;
    std::thread answering([&] {
        HWND dlg = WaitForDialog(Caption);
        found = dlg != nullptr;
        if (dlg) Answer(dlg);
    });
    Ask();
    answering.join();
    EXPECT_TRUE(found) << "no dialog";
}

}  // namespace

TEST(ZipFlowDialogs, PasswordDialogLayoutAndAnswers) {
    std::string password = "old";
    bool ok = false;
    RECT client{}, label{}, edit{}, okButton{}, cancel{}, window{};
    std::wstring prefilled, labelText;
    wchar_t mask = 0;
    LRESULT limit = 0;
    DWORD selStart = 1, selEnd = 0;
    WithDialog(
        L"Password for \"pk.txt\"", [&] { ok = ZFSystemDialogs().AskPassword(L"Password for \"pk.txt\"", password); },
        [&](HWND dlg) {
            GetClientRect(dlg, &client);
            GetWindowRect(dlg, &window);
            HWND e = FindWindowExW(dlg, nullptr, L"Edit", nullptr);
            HWND l = FindWindowExW(dlg, nullptr, L"Static", nullptr);
            label = ClientRectOf(dlg, l);
            labelText = TextOf(l);
            edit = ClientRectOf(dlg, e);
            okButton = ClientRectOf(dlg, GetDlgItem(dlg, IDOK));
            cancel = ClientRectOf(dlg, GetDlgItem(dlg, IDCANCEL));
            prefilled = TextOf(e);
            mask = (wchar_t)SendMessageW(e, EM_GETPASSWORDCHAR, 0, 0);
            limit = SendMessageW(e, EM_GETLIMITTEXT, 0, 0);
            SendMessageW(e, EM_GETSEL, (WPARAM)&selStart, (LPARAM)&selEnd);
            SetWindowTextW(e, L"Geheim");
            Press(dlg, IDOK);
        });
    EXPECT_TRUE(ok);
    EXPECT_EQ(password, "Geheim");
    EXPECT_EQ(prefilled, L"old");
    EXPECT_EQ(labelText, L"Enter password: ");
    EXPECT_EQ(mask, L'*');
    EXPECT_EQ(limit, 255);
    EXPECT_EQ(selStart, 0u);
    EXPECT_EQ(selEnd, 3u);

    // Dialog units: the client area is 180 x 63, OK at (38, 41) and Cancel at (92, 41), 50 x 14
    // each, the edit at (8, 19) and 164 wide, the label at (8, 8).
    const double x = client.right / 180.0, y = client.bottom / 63.0;
    auto fits = [](double actual, double expected) { return std::fabs(actual - expected) <= 1.5; };
    EXPECT_TRUE(fits(okButton.left, 38 * x) && fits(okButton.top, 41 * y)) << okButton.left << "," << okButton.top;
    EXPECT_TRUE(fits(cancel.left, 92 * x) && fits(cancel.top, 41 * y));
    EXPECT_TRUE(fits(okButton.right - okButton.left, 50 * x) && fits(okButton.bottom - okButton.top, 14 * y));
    EXPECT_TRUE(fits(edit.left, 8 * x) && fits(edit.top, 19 * y) && fits(edit.right - edit.left, 164 * x));
    EXPECT_TRUE(fits(label.left, 8 * x) && fits(label.top, 8 * y));
    // In the middle of the screen.
    EXPECT_NEAR((window.left + window.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

    // Cancel keeps the password as it was.
    WithDialog(
        L"Password for \"x\"", [&] { ok = ZFSystemDialogs().AskPassword(L"Password for \"x\"", password); },
        [&](HWND dlg) {
            SetWindowTextW(FindWindowExW(dlg, nullptr, L"Edit", nullptr), L"other");
            Press(dlg, IDCANCEL);
        });
    EXPECT_FALSE(ok);
    EXPECT_EQ(password, "Geheim");
}

TEST(ZipFlowDialogs, QuestionsOfferTheirButtonsAndMapTheAnswers) {
    struct TCase {
        bool Overwrite;
        bool AllowRetry;
        std::vector<std::wstring> Buttons;
        int Pressed;   // index into Buttons, -1: closed
        int Expected;  // TZFOverwriteAnswer or TZFAction
    } cases[] = {
        {true, false, {L"&Yes", L"&No", L"N&o to All", L"Yes to &All"}, 0, oaYes},
        {true, false, {L"&Yes", L"&No", L"N&o to All", L"Yes to &All"}, 2, oaNoToAll},
        {true, false, {L"&Yes", L"&No", L"N&o to All", L"Yes to &All"}, 3, oaYesToAll},
        {true, false, {L"&Yes", L"&No", L"N&o to All", L"Yes to &All"}, -1, oaNo},
        {false, true, {L"&Abort", L"&Retry", L"&Ignore"}, 1, fxaRetry},
        {false, true, {L"&Abort", L"&Retry", L"&Ignore"}, 2, fxaIgnore},
        {false, true, {L"&Abort", L"&Retry", L"&Ignore"}, -1, fxaAbort},
        {false, false, {L"&Abort", L"&Ignore"}, 1, fxaIgnore},
        {false, false, {L"&Abort", L"&Ignore"}, 0, fxaAbort},
    };
    for (const TCase& c : cases) {
        const std::wstring text = L"Overwrite file \"C:\\t\\a.txt\" with \"a.txt\"";
        int answer = -99;
        std::vector<std::wstring> buttons;
        std::wstring shown;
        WithDialog(
            L"Confirm",
            [&] {
                answer = c.Overwrite ? (int)ZFSystemDialogs().ConfirmOverwrite(text)
                                     : (int)ZFSystemDialogs().AskFailure(text, c.AllowRetry);
            },
            [&](HWND dlg) {
                for (HWND b = FindWindowExW(dlg, nullptr, L"Button", nullptr); b;
                     b = FindWindowExW(dlg, b, L"Button", nullptr))
                    buttons.push_back(TextOf(b));
                for (HWND s = FindWindowExW(dlg, nullptr, L"Static", nullptr); s;
                     s = FindWindowExW(dlg, s, L"Static", nullptr))
                    if (!TextOf(s).empty()) shown = TextOf(s);
                if (c.Pressed < 0) {
                    PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
                    return;
                }
                for (HWND b = FindWindowExW(dlg, nullptr, L"Button", nullptr); b;
                     b = FindWindowExW(dlg, b, L"Button", nullptr))
                    if (TextOf(b) == c.Buttons[(size_t)c.Pressed]) Press(dlg, GetDlgCtrlID(b));
            });
        EXPECT_EQ(buttons, c.Buttons);
        EXPECT_EQ(shown, text);
        EXPECT_EQ(answer, c.Expected) << c.Pressed;
    }
}
