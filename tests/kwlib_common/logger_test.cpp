// The threaded logger, its line format and the debug-viewer channel.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <regex>

#include "CRC32.h"
#include "Classes.h"
#include "KWCommonLib.h"
#include "KWLogger.h"
#include "SysUtils.h"
#include "UnitInit.h"
#include "WinApi.h"
#include "support/TestSupport.h"

namespace {

// One WM_COPYDATA as the viewer saw it.
struct TReceived {
    ULONG_PTR Tag;
    DWORD Bytes;
    bool ZeroTerminated;
    std::wstring Text;
    HWND Sender;
};

// A stand-in for the debug viewer: a top-level window on its own thread that carries the
// channel's properties and records every line. With Hang set it stops answering at the first
// line until released.
class TTestViewer {
public:
    explicit TTestViewer(bool AHang) : FHang(AHang) {
        FRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        FThread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> lock(FMutex);
        FReady.wait(lock, [this] { return FWnd != nullptr; });
    }
    ~TTestViewer() {
        SetEvent(FRelease);
        PostMessageW(FWnd, WM_CLOSE, 0, 0);
        FThread.join();
        CloseHandle(FRelease);
    }
    std::vector<TReceived> Received() {
        std::lock_guard<std::mutex> lock(FMutex);
        return FReceived;
    }
    HWND Wnd() const { return FWnd; }
    void DestroyFromItsThread() { SendMessageW(FWnd, WM_CLOSE, 0, 0); }

private:
    static LRESULT CALLBACK WndProc(HWND AWnd, UINT AMsg, WPARAM W, LPARAM L) {
        auto* self = reinterpret_cast<TTestViewer*>(GetWindowLongPtrW(AWnd, GWLP_USERDATA));
        if (AMsg == WM_COPYDATA && self) {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(L);
            const auto* text = static_cast<const wchar_t*>(cds->lpData);
            const size_t chars = cds->cbData / 2;
            {
                std::lock_guard<std::mutex> lock(self->FMutex);
                self->FReceived.push_back({cds->dwData, cds->cbData, chars > 0 && text[chars - 1] == 0,
                                           std::wstring(text, chars ? chars - 1 : 0), HWND(W)});
            }
            if (self->FHang) WaitForSingleObject(self->FRelease, INFINITE);
            return 1;
        }
        if (AMsg == WM_CLOSE) {
            DestroyWindow(AWnd);
            return 0;
        }
        if (AMsg == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(AWnd, AMsg, W, L);
    }

    void Run() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KWBaseTestViewer";
        RegisterClassW(&wc);
        HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"viewer", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                                   nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, LONG_PTR(this));
        SetPropW(wnd, KWDebugWindowName, HANDLE(1));
        SetPropW(wnd, KWMainWindowHandleName, HANDLE(wnd));
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FWnd = wnd;
        }
        FReady.notify_all();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    }

    bool FHang;
    HANDLE FRelease;
    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FReady;
    HWND FWnd = nullptr;
    std::vector<TReceived> FReceived;
};

// The viewer's mutex, held while a test runs; the logger is started afresh inside it.
class LoggerChannel : public ::testing::Test {
protected:
    void SetUp() override {
        FMutex = CreateMutexW(nullptr, FALSE, KWDebugWindowName);
        ASSERT_NE(FMutex, nullptr);
    }
    void TearDown() override {
        KWLogger_Finalize();
        CloseHandle(FMutex);
    }
    HANDLE FMutex = nullptr;
};

const double Mar1st2016At090507 = 42430.0 + (9 * 3600 + 5 * 60 + 7) / 86400.0;

bool WaitUntil(const std::function<bool()>& ACondition, int AMilliseconds) {
    for (int waited = 0; waited < AMilliseconds; waited += 10) {
        if (ACondition()) return true;
        Sleep(10);
    }
    return ACondition();
}

}  // namespace

TEST(KWLogger, LineFormatCarriesTimeSenderAndLevelMark) {
    struct Case { const wchar_t* sender; uint8_t level; const wchar_t* line; } cases[] = {
        {L"KWOpenFile", 3, L"[2016/03/01 09:05:07][KWOpenFile] ★text"},
        {L"S", 1, L"[2016/03/01 09:05:07][S] ▼text"},
        {L"S", 2, L"[2016/03/01 09:05:07][S] ▲text"},
        {L"", 3, L"[2016/03/01 09:05:07][NULL] ★text"},
        {L"S", 0, L"[2016/03/01 09:05:07][S] text"},
        {L"S", 4, L"[2016/03/01 09:05:07][S] text"},
    };
    for (const auto& c : cases) {
        TKWLogData data(nullptr, c.level, Mar1st2016At090507, c.sender, L"text");
        EXPECT_EQ(data.GetText(), c.line);
    }
}

TEST(KWLogger, WithoutViewerTheWorkerDrainsTheQueue) {
    KWLogger_Initialize();
    EXPECT_FALSE(KWViewerActive());
    for (int i = 0; i < 30; ++i) KWLog(L"s", L"t", 1);
    TKWLogger* logger = KWGetGlobalLogger();
    ASSERT_NE(logger, nullptr);
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(logger->Lock);
        return logger->Queue.empty();
    }, 5000));
    KWLogger_Finalize();
    EXPECT_EQ(KWGetGlobalLogger(), nullptr);
    KWLog(L"s", L"after shut-down is ignored", 1);
}

TEST(KWLogger, ObjectSendersAreNamedByComponentNameOrClassAndAddress) {
    KWLogger_Initialize();
    TKWLogger* logger = KWGetGlobalLogger();
    logger->StopThread();
    TComponent component(nullptr);
    component.SetName(L"Button1");
    TList list;
    KWLogObject(nullptr, L"a", 1);
    KWLogObject(&component, L"b", 2);
    KWLogObject(&list, L"c", 3);
    std::vector<std::wstring> senders;
    {
        std::lock_guard<std::mutex> lock(logger->Lock);
        for (const auto& e : logger->Queue) senders.push_back(e->Sender);
        logger->Queue.clear();
    }
    KWLogger_Finalize();
    EXPECT_EQ(senders, (std::vector<std::wstring>{L"", L"Button1",
                                                  L"TList(" + std::to_wstring(int32_t(intptr_t(&list))) + L")"}));
}

TEST(KWLogger, RegisteredUnitsStartAndStopWithTheRegistry) {
    CRC32_Register();
    KWLogger_Register();
    InitializeUnits();
    const std::wstring started = StartedUnits();
    EXPECT_NE(started.find(L"CRC32"), std::wstring::npos) << started;
    EXPECT_NE(KWGetGlobalLogger(), nullptr);
    FinalizeUnits();
    EXPECT_EQ(KWGetGlobalLogger(), nullptr);
}

TEST_F(LoggerChannel, DeliversEveryLineInOrderAsCopyData) {
    TTestViewer viewer(false);
    const HWND appWindow = HWND(0x1234);
    KWSetApplicationWindow(appWindow);
    KWLogger_Initialize();
    ASSERT_TRUE(KWViewerActive());
    for (int i = 0; i < 120; ++i) KWLog(i % 2 ? L"sender" : L"", L"entry " + std::to_wstring(i), uint8_t(i % 5));
    KWLogError(L"last");
    KWLogger_Finalize();  // delivers what the worker has not taken yet
    KWSetApplicationWindow(nullptr);

    const std::vector<TReceived> got = viewer.Received();
    ASSERT_EQ(got.size(), 121u);
    const std::wregex prefix(LR"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\]\[(.*)\] (.*))");
    const wchar_t* marks[] = {L"", L"▼", L"▲", L"★", L""};
    for (int i = 0; i < 121; ++i) {
        const TReceived& r = got[i];
        EXPECT_EQ(r.Tag, 1u);
        EXPECT_EQ(r.Sender, appWindow);
        EXPECT_TRUE(r.ZeroTerminated);
        EXPECT_EQ(r.Bytes, 2 * (r.Text.size() + 1));
        std::wsmatch m;
        ASSERT_TRUE(std::regex_match(r.Text, m, prefix)) << i;
        if (i < 120) {
            EXPECT_EQ(m[1].str(), i % 2 ? L"sender" : L"NULL");
            EXPECT_EQ(m[2].str(), marks[i % 5] + (L"entry " + std::to_wstring(i)));
        } else {
            EXPECT_EQ(m[1].str(), L"NULL");
            EXPECT_EQ(m[2].str(), L"★last");
        }
    }
}

TEST_F(LoggerChannel, HungViewerDoesNotBlockShutDown) {
    TTestViewer viewer(true);
    KWLogger_Initialize();
    ASSERT_TRUE(KWViewerActive());
    for (int i = 0; i < 20; ++i) KWLog(L"s", L"line", 1);
    const auto start = std::chrono::steady_clock::now();
    KWLogger_Finalize();
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, KWCopyDataTimeout / 1000.0 + 3.0);
    EXPECT_FALSE(KWViewerActive());  // given up after the first line
    EXPECT_EQ(viewer.Received().size(), 1u);
}

TEST_F(LoggerChannel, ViewerThatClosedIsNotFedAgain) {
    TTestViewer viewer(false);
    KWLogger_Initialize();
    ASSERT_TRUE(KWViewerActive());
    viewer.DestroyFromItsThread();
    KWLog(L"s", L"line", 1);
    KWLogger_Finalize();
    EXPECT_FALSE(KWViewerActive());
    EXPECT_TRUE(viewer.Received().empty());
}

// ---- Log file --------------------------------------------------------------------------------

namespace {

std::wstring TempDir(const wchar_t* AName) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + AName + L"\\";
}

void RemoveTree(const std::wstring& ADir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ADir + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((ADir + fd.cFileName).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(ADir.c_str());
}

std::string FileBytes(const std::wstring& AFileName) { return testsupport::ReadFileBytesOr(AFileName, ""); }

}  // namespace

TEST(KWLogFile, NumberedFilesRotateBySizeAndRestartEachDay) {
    const std::wstring dir = TempDir(L"kwbase_logfile");
    RemoveTree(dir);
    auto numbered = [&] {
        auto f = std::make_unique<TKWLogFile>();
        f->Numbered = true;
        f->FileNameTemplate = dir + L"log_%Year%%Month%%Day%_%Num%.txt";
        f->MaxFileSize = 10;
        f->NumDigits = 3;
        f->AutoFlush = false;
        return f;
    };
    auto file = numbered();
    file->WriteLine(L"0123456789");  // 10 bytes: not over the limit
    file->WriteLine(L"ｱ");           // one byte in CP932
    EXPECT_EQ(file->FileNo, 0);
    EXPECT_EQ(file->FileSize, 11);
    const std::wstring first = file->FileName;
    EXPECT_EQ(first, file->MakeFileName(0));
    EXPECT_NE(first.find(L"_000.txt"), std::wstring::npos);
    file->WriteLine(L"next");  // over the limit: the next number
    EXPECT_EQ(file->FileNo, 1);
    EXPECT_EQ(file->FileName, file->MakeFileName(1));
    EXPECT_EQ(FileBytes(first), "0123456789\r\n\xB1\r\n");  // flushed when it was left
    file->FlushFile();

    // A restarted program continues the last file of the day.
    auto again = numbered();
    again->WriteLine(L"more");
    EXPECT_EQ(again->FileNo, 1);
    EXPECT_EQ(again->Lines, (std::vector<std::wstring>{L"next", L"more"}));

    // The first rotation of a new day goes to number 1.
    again->WriteLine(L"0123456789");
    again->FileNo = 7;
    again->FileNoDate = Now() - 1;
    again->WriteLine(L"new day");
    EXPECT_EQ(again->FileNo, 1);
    EXPECT_TRUE(KWSameDay(again->FileNoDate, Now()));
    again->FlushFile();
    RemoveTree(dir);
}

TEST_F(LoggerChannel, AttachedWriterGetsTheLinesAtShutDown) {
    const std::wstring dir = TempDir(L"kwbase_logwriter");
    RemoveTree(dir);
    KWLogger_Initialize();
    TKWLogger* logger = KWGetGlobalLogger();
    logger->StopThread();  // keep the entries queued for the final delivery
    logger->Writer = std::make_unique<TKWLogFile>();
    ASSERT_TRUE(logger->Writer->OpenFile(dir + L"sub\\log.txt"));
    KWLog(L"a", L"one", 1);
    KWLog(L"b", L"two", 2);
    KWLogger_Finalize();
    const std::string bytes = FileBytes(dir + L"sub\\log.txt");
    const std::regex lines(R"(\[[^\]]+\]\[a\] \x81\xA5one\r\n\[[^\]]+\]\[b\] \x81\xA3two\r\n)");
    EXPECT_TRUE(std::regex_match(bytes, lines)) << bytes;
    RemoveTree(dir + L"sub\\");
    RemoveTree(dir);
}
