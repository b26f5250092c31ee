// Running the real installer under Wine for the end-to-end tests: start and stop its process,
// wait for its wizard and message boxes, and walk its pages through the wizard driver. Every wait
// is bounded; every process started is ended when its holder goes.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "WizardDriver.h"

#include <commctrl.h>

namespace e2e {

// The first start of a program in a fresh Wine session can take a while.
constexpr uint32_t kStartMs = 40000;
constexpr uint32_t kStepMs = 15000;

// A file of the build tree as a Windows path.
inline std::wstring BuildFile(const std::string& ARelative) {
    const std::wstring unixPath = Utf8ToWide(std::string(TEST_BUILD_DIR "/") + ARelative);
    wchar_t full[MAX_PATH * 2] = {};
    GetFullPathNameW(unixPath.c_str(), MAX_PATH * 2, full, nullptr);
    return full;
}

// An installer packed at build time for these tests (make_e2e_fixtures.py).
inline std::wstring Installer(const char* AName) { return BuildFile(std::string("e2e/") + AName); }

// "C:\lumi-vera\", where the default targets lie.
inline std::wstring ProductRoot() { return KWGetWindowsDriveRoot() + L"lumi-vera\\"; }

class TProcess {
public:
    TProcess() = default;
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;
    ~TProcess() { Kill(); }

    bool Start(const std::wstring& AExe, const std::wstring& AArgs) {
        std::wstring command = L"\"" + AExe + L"\"" + (AArgs.empty() ? L"" : L" " + AArgs);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        return CreateProcessW(AExe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FInfo) != 0;
    }
    DWORD Pid() const { return FInfo.dwProcessId; }
    bool Running() const { return FInfo.hProcess && WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the end; the exit code, or -1 on timeout.
    int64_t WaitExit(uint32_t ATimeoutMs) {
        if (!FInfo.hProcess || WaitForSingleObject(FInfo.hProcess, ATimeoutMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(FInfo.hProcess, &code);
        return code;
    }
    void Kill() {
        if (!FInfo.hProcess) return;
        if (Running()) {
            TerminateProcess(FInfo.hProcess, 99);
            WaitForSingleObject(FInfo.hProcess, 10000);
        }
        CloseHandle(FInfo.hProcess);
        CloseHandle(FInfo.hThread);
        FInfo = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION FInfo{};
};

// Whether any top-level window of the process is visible.
inline bool HasVisibleWindow(DWORD APid) {
    for (HWND w : wizdrv::FindTopWindows(APid, nullptr, nullptr))
        if (IsWindowVisible(w)) return true;
    return false;
}

// The wizard of one installer process.
struct TWizard {
    TProcess Process;
    HWND Form = nullptr;

    bool Open(const std::wstring& AExe, const std::wstring& AArgs = L"") {
        if (!Process.Start(AExe, AArgs)) return false;
        Form = wizdrv::WaitTopWindow(Process.Pid(), wizdrv::WizardClass, wizdrv::WizardCaption, kStartMs);
        return Form != nullptr;
    }
    std::wstring Page() const { return wizdrv::CurrentPage(Form); }
    bool WaitPage(const std::wstring& APage) const { return wizdrv::WaitPage(Form, APage, kStepMs); }
    bool Press(const std::wstring& ACaption) const { return wizdrv::ClickButton(Form, ACaption); }
    HWND Control(const wchar_t* AClass, const std::wstring& AText) const {
        return wizdrv::FindControl(Form, AClass, AText);
    }
    // The first visible control of a class, whatever its text.
    HWND ControlOf(const wchar_t* AClass) const {
        for (const wizdrv::TWindowInfo& c : wizdrv::Descendants(Form))
            if (c.Visible && c.Class == AClass) return c.Wnd;
        return nullptr;
    }
    // Waits for a message box of the process.
    wizdrv::TMessageBoxInfo Box() const {
        wizdrv::TMessageBoxInfo box;
        EXPECT_TRUE(wizdrv::WaitMessageBox(Process.Pid(), kStepMs, box)) << "no message box";
        return box;
    }
    // Presses a button of the box and waits until the box has gone.
    static void Answer(const wizdrv::TMessageBoxInfo& ABox, int32_t AId) {
        ASSERT_TRUE(wizdrv::Answer(ABox, AId));
        EXPECT_TRUE(wizdrv::WaitFor([&] { return !IsWindow(ABox.Wnd) || !IsWindowVisible(ABox.Wnd); }, kStepMs));
    }
    // The box's text, after checking what every box of the installer looks like: the title as
    // caption, no icon, the given buttons.
    static std::wstring Check(const wizdrv::TMessageBoxInfo& ABox, std::vector<int32_t> AButtons) {
        EXPECT_EQ(ABox.Caption, wizdrv::ApplicationTitle);
        EXPECT_FALSE(ABox.HasIcon);
        EXPECT_EQ(ABox.ButtonIds(), AButtons);
        return ABox.Text;
    }
    // Start page to folder page, agreeing to the licence.
    void WalkToFolderPage() {
        ASSERT_TRUE(WaitPage(L"スタート"));
        ASSERT_TRUE(Press(L"次へ"));
        ASSERT_TRUE(WaitPage(L"ライセンス"));
        ASSERT_TRUE(Press(L"以上の契約に同意します"));
        HWND next = Control(L"TKWButton", L"次へ");
        ASSERT_TRUE(wizdrv::WaitFor([&] { return IsWindowEnabled(next) != FALSE; }, kStepMs));
        ASSERT_TRUE(Press(L"次へ"));
        ASSERT_TRUE(WaitPage(L"ディレクトリ選択"));
    }
    // Opens the browse dialog, moves its selection AUp folders up from the default folder and
    // presses OK. The first dialog of a fresh Wine session sometimes comes up with nothing
    // selected at all (the shell is still starting); such a dialog is cancelled and opened again.
    bool Browse(int32_t AUp) const {
        for (int32_t attempt = 0; attempt < 3; ++attempt) {
            if (!Press(L"参照")) return false;
            HWND dialog = wizdrv::WaitTopWindow(Process.Pid(), wizdrv::MessageBoxClass, nullptr, kStepMs);
            if (!dialog) return false;
            HWND tree = nullptr;
            for (const wizdrv::TWindowInfo& c : wizdrv::Descendants(dialog))
                if (c.Class == L"SysTreeView32") tree = c.Wnd;
            auto selected = [&] { return SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0); };
            auto top = [&] { return SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); };
            if (!tree || !wizdrv::WaitFor([&] { return selected() != 0 && selected() != top(); }, 5000)) {
                wizdrv::Click(GetDlgItem(dialog, IDCANCEL));
                wizdrv::WaitFor([&] { return !IsWindow(dialog); }, kStepMs);
                continue;
            }
            for (int32_t i = 0; i < AUp; ++i) {
                const LRESULT before = selected();
                wizdrv::PostKey(tree, VK_BACK);
                if (!wizdrv::WaitFor([&] { return selected() != before; }, kStepMs)) return false;
            }
            if (!wizdrv::Click(GetDlgItem(dialog, IDOK))) return false;
            return wizdrv::WaitFor([&] { return !IsWindow(dialog); }, kStepMs);
        }
        return false;
    }
    // Next on the folder page, Yes to its question (the folder exists, or is to be made), and
    // the confirmation page.
    void ConfirmFolder() {
        ASSERT_TRUE(Press(L"次へ"));
        Answer(Box(), IDYES);
        ASSERT_TRUE(WaitPage(L"確認"));
    }
    // Next on the confirmation page: the install runs and ends on the finish page.
    void InstallToFinish() {
        ASSERT_TRUE(Press(L"次へ"));
        ASSERT_TRUE(WaitPage(L"完了"));
    }
    // Cancel, answered Yes: the process ends.
    void CancelAndEnd() {
        ASSERT_TRUE(Press(L"キャンセル"));
        Answer(Box(), IDYES);
        EXPECT_EQ(Process.WaitExit(kStepMs), 0);
    }
};

}  // namespace e2e
