// The acquisition objects of the I/O component: their creation with the component, the abort flags
// that reach them, the reset of the TWAIN settings, the end of a TWAIN session with its log, and
// the WIA object's event mapping and transfer progress.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "picturaio.h"
#include "picturaio_acquire.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The messages of the TWAIN log ("date time : message" lines), in order.
std::vector<std::string> ReadLogMessages(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::vector<std::string> messages;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t at = line.find(" : ");
        messages.push_back(at == std::string::npos ? "?" + line : line.substr(at + 3));
    }
    return messages;
}

// Sets the TWAIN log to a file of the build folder for one test and removes it afterwards.
struct TTwainLog {
    std::string Path = std::string(TEST_BUILD_DIR) + "/picturaio_twain.log";
    TTwainLog() {
        std::remove(Path.c_str());
        IETWLogFileName = Utf8ToWide(Path);
    }
    ~TTwainLog() {
        IETWLogFileName.clear();
        std::remove(Path.c_str());
    }
    std::vector<std::string> Take() {
        std::vector<std::string> messages = ReadLogMessages(Path);
        std::remove(Path.c_str());
        return messages;
    }
};

// A proxy window and a loaded source-manager library as a session leaves them: real ones under
// Windows (the checks below see them go), stand-in values in the native build, which has neither.
uintptr_t MakeProxyWindow() {
#ifdef _WIN32
    return reinterpret_cast<uintptr_t>(CreateWindowExW(0, L"STATIC", L"proxy", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                                       GetModuleHandleW(nullptr), nullptr));
#else
    return 0x1234;
#endif
}

uintptr_t LoadSourceManager() {
#ifdef _WIN32
    return reinterpret_cast<uintptr_t>(LoadLibraryW(L"twain_32.dll"));
#else
    return 0x5678;
#endif
}

bool SourceManagerLoaded() {
#ifdef _WIN32
    return GetModuleHandleW(L"twain_32.dll") != nullptr;
#else
    return false;
#endif
}

bool WindowExists(uintptr_t Window) {
#ifdef _WIN32
    return IsWindow(reinterpret_cast<HWND>(Window)) != FALSE;
#else
    (void)Window;
    return false;
#endif
}

constexpr bool IsWindowsBuild() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

const std::vector<std::string> kWindowDestroyed = {"DestroyProxyWindow", "  DestroyProxyWindow : destroyed"};
const std::vector<std::string> kUnloaded = {"IETW_UnloadSourceManager", "  IETW_UnloadSourceManager : Unload OK"};

}  // namespace

TEST(PicturaIOAcquire, ComponentMakesTheAcquisitionObjects) {
    TPicturaIO io(nullptr);
    ASSERT_NE(io.AcquireParams, nullptr);
    ASSERT_NE(io.TwainParams, nullptr);
    ASSERT_NE(io.DcimAcquire, nullptr);
    ASSERT_NE(io.PrintPreviewParams, nullptr);
    EXPECT_EQ(io.AcquireParams->Owner, &io);
    EXPECT_EQ(io.TwainParams->Owner, &io);
    EXPECT_EQ(io.DcimAcquire->Owner, &io);
    EXPECT_FALSE(io.AcquireParams->Aborting);
    EXPECT_FALSE(io.DcimAcquire->Aborting);
    EXPECT_EQ(io.TwainParams->SharedState.LibraryHandle, 0u);
    EXPECT_EQ(io.TwainParams->SharedState.EntryPoint, nullptr);
    EXPECT_EQ(io.TwainParams->SharedState.ProxyWindow, 0u);
    EXPECT_EQ(io.WIAParams, nullptr);   // made on first use only
    const TIOPrintPreviewParams& print = *io.PrintPreviewParams;
    EXPECT_EQ(print.MarginLeft, 1.0);
    EXPECT_EQ(print.MarginBottom, 1.0);
    EXPECT_EQ(print.Position, 4);
    EXPECT_EQ(print.Size, 1);
    EXPECT_EQ(print.Width, -1.0);
    EXPECT_EQ(print.MarginStyle, 4);
    EXPECT_EQ(print.PrintQuality, 5);
    EXPECT_EQ(print.Tolerance, 0.1);
    EXPECT_TRUE(print.ShowMargins && print.ShowPage);
}

TEST(PicturaIOAcquire, SetAbortingReachesTheAcquisitionObjects) {
    TPicturaIO io(nullptr);
    for (bool value : {true, false}) {
        io.SetAborting(value);
        EXPECT_EQ(io.Aborting, value);
        EXPECT_EQ(io.AcquireParams->Aborting, value);
        EXPECT_EQ(io.DcimAcquire->Aborting, value);
    }
}

TEST(PicturaIOAcquire, TwainSetDefaultsFreesBuffersAndResetsSettings) {
    TPicturaIO io(nullptr);
    TIETwainParams& twain = *io.TwainParams;
    twain.CapabilityBuffers.emplace_back(new uint8_t[16]);
    twain.Stream.WriteBuffer("abc", 3);
    const double resolution = 300;
    twain.XResolution.Add(&resolution);
    const int32_t pixelType = 2;
    twain.PixelType.Add(&pixelType);
    twain.VisibleDialog = false;
    twain.AcquireCount = 3;
    twain.SelectedSource = "scanner";
    twain.SetDefaults();
    EXPECT_TRUE(twain.CapabilityBuffers.empty());
    EXPECT_EQ(twain.Stream.GetSize(), 0);
    EXPECT_EQ(twain.XResolution.GetCount(), 0);
    EXPECT_EQ(twain.PixelType.GetCount(), 0);
    EXPECT_TRUE(twain.VisibleDialog);
    EXPECT_EQ(twain.AcquireCount, -1);
    EXPECT_TRUE(twain.SelectedSource.empty());
}

// The end of a TWAIN session: what is destroyed and freed, and the log lines in order.
TEST(PicturaIOAcquire, TwainEndSessionLogsEachStepInOrder) {
    struct TCase {
        const char* Name;
        bool Window, Library, EntryPoint, Force;
        std::vector<std::string> Log;
    };
    std::vector<std::string> both = kWindowDestroyed;
    both.insert(both.end(), kUnloaded.begin(), kUnloaded.end());
    const TCase cases[] = {
        {"nothing to end", false, false, false, true, {}},
        {"window only", true, false, false, true, kWindowDestroyed},
        // A library whose entry point was never found is freed all the same.
        {"library without entry point", false, true, false, true, kUnloaded},
        {"window, library and entry point", true, true, true, true, both},
        {"kept for a later session",
         true,
         true,
         true,
         false,
         {"DestroyProxyWindow", "  DestroyProxyWindow : not destroyed, for future uses", "IETW_UnloadSourceManager",
          "  IETW_UnloadSourceManager not Unloaded, for future uses"}},
    };
    TTwainLog log;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TIETWSharedState state;
        if (c.Window) state.ProxyWindow = MakeProxyWindow();
        if (c.Library) state.LibraryHandle = LoadSourceManager();
        if (c.EntryPoint) state.EntryPoint = &state;
        ASSERT_EQ(state.ProxyWindow != 0, c.Window);
        ASSERT_EQ(state.LibraryHandle != 0, c.Library);
        ASSERT_EQ(SourceManagerLoaded(), c.Library && IsWindowsBuild());
        const TIETWSharedState before = state;
        IETWEndSession(state, c.Force);
        EXPECT_EQ(log.Take(), c.Log);
        if (c.Force) {
            EXPECT_EQ(state.ProxyWindow, 0u);
            EXPECT_EQ(state.LibraryHandle, 0u);
            EXPECT_EQ(state.EntryPoint, nullptr);
            EXPECT_FALSE(WindowExists(before.ProxyWindow));
            EXPECT_FALSE(SourceManagerLoaded());
        } else {
            // Both stay for the next session, which finds them in the shared state.
            EXPECT_EQ(state.ProxyWindow, before.ProxyWindow);
            EXPECT_EQ(state.LibraryHandle, before.LibraryHandle);
            IETWEndSession(state, true);
            EXPECT_EQ(log.Take(), both);
            EXPECT_FALSE(SourceManagerLoaded());
        }
    }
}

TEST(PicturaIOAcquire, DestroyingTheComponentEndsTheTwainSession) {
    TTwainLog log;
    {
        TPicturaIO unused(nullptr);   // never used TWAIN: no line, nothing freed
    }
    EXPECT_TRUE(log.Take().empty());
    {
        TPicturaIO io(nullptr);
        io.TwainParams->SharedState.LibraryHandle = LoadSourceManager();
    }
    EXPECT_EQ(log.Take(), kUnloaded);
    EXPECT_FALSE(SourceManagerLoaded());
}

TEST(PicturaIOAcquire, WiaEventsMapToLastEventAndUnknownOnesDoNothing) {
    TPicturaIO io(nullptr);
    TIEWia* wia = io.GetWIAParams();
    ASSERT_NE(wia, nullptr);
    EXPECT_EQ(io.GetWIAParams(), wia);   // one object for the component's life
    EXPECT_EQ(wia->Owner, &io);
    EXPECT_EQ(wia->LastEvent, 0);
    int fired = 0;
    wia->OnWiaEvent = [&](TIEWia* Sender) {
        EXPECT_EQ(Sender, wia);
        ++fired;
    };
    const struct {
        const TIEGUID* Event;
        uint8_t Last;
    } cases[] = {{&IEWiaEventTreeUpdated, iewiaTreeUpdated},
                 {&IEWiaEventItemCreated, iewiaItemCreated},
                 {&IEWiaEventItemDeleted, iewiaItemDeleted}};
    for (const auto& c : cases) {
        wia->DoEvent(*c.Event);
        EXPECT_EQ(wia->LastEvent, c.Last);
    }
    EXPECT_EQ(fired, 3);
    TIEGUID unknown = IEWiaEventTreeUpdated;
    unknown.D4[7] ^= 1;
    wia->DoEvent(unknown);
    EXPECT_EQ(wia->LastEvent, iewiaItemDeleted);
    EXPECT_EQ(fired, 3);
    // A handler that raises does not take the WIA service's thread down.
    wia->OnWiaEvent = [](TIEWia*) { throw Exception(L"handler failed"); };
    EXPECT_NO_THROW(wia->DoEvent(IEWiaEventItemCreated));
    EXPECT_EQ(wia->LastEvent, iewiaItemCreated);
}

TEST(PicturaIOAcquire, WiaTransferProgressReportsAndStopsWhenAborting) {
    TPicturaIO io(nullptr);
    std::vector<int32_t> reported;
    io.OnProgress = [&](TObject* Sender, int32_t per) {
        EXPECT_EQ(Sender, &io);
        reported.push_back(per);
    };
    TIEWia* wia = io.GetWIAParams();
    ASSERT_TRUE(wia->OnTransferProgress);
    EXPECT_TRUE(wia->OnTransferProgress(40));
    io.SetAborting(true);
    EXPECT_FALSE(wia->OnTransferProgress(60));
    EXPECT_EQ(reported, (std::vector<int32_t>{40, 60}));
}
