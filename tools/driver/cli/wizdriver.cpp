// wizdriver: the wizard driver as a console program, for scripts (the demo).
//
//   wizdriver wait-wizard [ms]          wait until the wizard form is on screen
//   wizdriver page                      print the caption of the page on screen
//   wizdriver wait-page CAPTION [ms]    wait until that page is on screen
//   wizdriver click CAPTION             press the visible button or check box with that caption
//   wizdriver wait-box [ms]             wait for a message box and print its text
//   wizdriver answer ok|yes|no [ms]     wait for a message box and press that button
//   wizdriver wait-gone [ms]            wait until the wizard form is gone
//   wizdriver dump                      list the wizard's windows (class, visible, enabled, text)
//
// Texts are printed as UTF-8. Exit code 0 on success, 1 on failure or timeout, 2 on bad usage.
#include <cstdio>
#include <cwchar>
#include <string>

#include "SysUtils.h"
#include "WizardDriver.h"

namespace {

constexpr uint32_t kDefaultTimeoutMs = 15000;

void Print(const std::wstring& AText) {
    const std::string bytes = WideToUtf8(AText + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

int Fail(const std::wstring& AWhy) {
    Print(L"wizdriver: " + AWhy);
    return 1;
}

uint32_t TimeoutArg(int argc, wchar_t** argv, int AIndex) {
    return argc > AIndex ? (uint32_t)_wtoi(argv[AIndex]) : kDefaultTimeoutMs;
}

HWND Wizard(uint32_t ATimeoutMs) {
    return wizdrv::WaitTopWindow(0, wizdrv::WizardClass, wizdrv::WizardCaption, ATimeoutMs);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        Print(L"usage: wizdriver wait-wizard|page|wait-page|click|wait-box|answer|wait-gone|dump ...");
        return 2;
    }
    const std::wstring command = argv[1];

    if (command == L"wait-wizard") return Wizard(TimeoutArg(argc, argv, 2)) ? 0 : Fail(L"no wizard");

    if (command == L"wait-gone") {
        const bool gone = wizdrv::WaitFor(
            [] { return wizdrv::FindTopWindows(0, wizdrv::WizardClass, wizdrv::WizardCaption).empty(); },
            TimeoutArg(argc, argv, 2));
        return gone ? 0 : Fail(L"the wizard is still there");
    }

    if (command == L"wait-box" || command == L"answer") {
        const bool answer = command == L"answer";
        if (answer && argc < 3) return 2;
        wizdrv::TMessageBoxInfo box;
        if (!wizdrv::WaitMessageBox(0, TimeoutArg(argc, argv, answer ? 3 : 2), box)) return Fail(L"no message box");
        Print(box.Text);
        if (!answer) return 0;
        const std::wstring which = argv[2];
        const int32_t id = which == L"yes" ? IDYES : which == L"no" ? IDNO : IDOK;
        if (!wizdrv::Answer(box, id)) return Fail(L"the box has no such button");
        return wizdrv::WaitFor([&] { return !IsWindow(box.Wnd) || !IsWindowVisible(box.Wnd); }, kDefaultTimeoutMs)
                   ? 0
                   : Fail(L"the box stays");
    }

    HWND wizard = Wizard(kDefaultTimeoutMs);
    if (!wizard) return Fail(L"no wizard");

    if (command == L"page") {
        Print(wizdrv::CurrentPage(wizard));
        return 0;
    }
    if (command == L"wait-page") {
        if (argc < 3) return 2;
        return wizdrv::WaitPage(wizard, argv[2], TimeoutArg(argc, argv, 3)) ? 0
                                                                              : Fail(L"page now: " + wizdrv::CurrentPage(wizard));
    }
    if (command == L"click") {
        if (argc < 3) return 2;
        return wizdrv::ClickButton(wizard, argv[2]) ? 0 : Fail(L"nothing to press: " + std::wstring(argv[2]));
    }
    if (command == L"dump") {
        for (const wizdrv::TWindowInfo& c : wizdrv::Descendants(wizard))
            Print(c.Class + L"\t" + (c.Visible ? L"visible" : L"hidden") + L"\t" +
                  (c.Enabled ? L"enabled" : L"disabled") + L"\t" + c.Text);
        return 0;
    }
    Print(L"wizdriver: unknown command " + command);
    return 2;
}
