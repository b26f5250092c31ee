// The run loop. Once the loop has ended the application stays terminated for the rest of the
// process, so the loop runs in a child process of this test program.
#include <gtest/gtest.h>

#include <string>

#include "Forms.h"

namespace {

bool InRunChild() {
    wchar_t buf[4] = {};
    return GetEnvironmentVariableW(L"KW_UI_RUN_CHILD", buf, 4) > 0;
}

// Runs this program again with only the named test and the child marker; returns its exit code.
DWORD RunChild(const wchar_t* filter) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\" --gtest_filter=" + filter;
    SetEnvironmentVariableW(L"KW_UI_RUN_CHILD", L"1");
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    BOOL ok = CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"KW_UI_RUN_CHILD", nullptr);
    if (!ok) return 255;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 255;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

}  // namespace

TEST(Application, RunShowsTheMainFormAndEndsOnTerminate) {
    if (!InRunChild()) {
        EXPECT_EQ(RunChild(L"Application.RunShowsTheMainFormAndEndsOnTerminate"), 0u);
        return;
    }
    TForm* main = nullptr;
    Application->CreateForm(main);
    ASSERT_EQ(Application->MainForm(), main);
    bool appShown = false;
    main->OnShow = [&](TObject*) { PostMessageW(main->Handle(), WM_CLOSE, 0, 0); };
    main->OnClose = [&](TObject*, TCloseAction&) { appShown = IsWindowVisible(Application->Handle()) != 0; };
    TForm* second = nullptr;
    Application->CreateForm(second);
    EXPECT_EQ(Application->MainForm(), main);
    Application->Run();   // closing the main form ends the loop
    EXPECT_TRUE(Application->Terminated());
    EXPECT_TRUE(appShown);
    main->Hide();
    delete second;
    delete main;
    EXPECT_EQ(Application->MainForm(), nullptr);
}
