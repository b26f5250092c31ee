// The acquisition objects: defaults, the reset of the TWAIN settings, the end of a TWAIN session
// and the WIA event mapping. The window, library and COM calls are the platform's
// (picturaio_acquire_win.cpp, picturaio_acquire_posix.cpp).
#include "picturaio_acquire.h"

#include <cstring>

#include "SysUtils.h"
#include "iecoreutils_general.h"
#include "picturaio.h"
#include "picturaio_acquire_platform.h"

// ---- TWAIN

void IETWLog(const std::string& Message) { IEAppendLogLine(IETWLogFileName, AnsiToWide(Message)); }

namespace {

// The TWAIN states of a session that matter here.
constexpr int32_t twStateNotLoaded = 1;   // no source manager loaded
constexpr int32_t twStateLoaded = 2;      // the source manager's library is loaded

// One session's view of the shared state.
struct TIETWSession {
    uintptr_t Parent = 0;
    int32_t State = twStateNotLoaded;
    uintptr_t LibraryHandle = 0;
    void* EntryPoint = nullptr;
};

void DestroyProxyWindow(TIETWSharedState& Shared, bool Force) {
    if (!Shared.ProxyWindow) return;
    IETWLog("DestroyProxyWindow");
    if (!Force) {
        IETWLog("  DestroyProxyWindow : not destroyed, for future uses");
        return;
    }
    if (IETWWindowExists(Shared.ProxyWindow)) IETWDestroyWindow(Shared.ProxyWindow);
    Shared.ProxyWindow = 0;
    IETWLog("  DestroyProxyWindow : destroyed");
}

void UnloadSourceManager(TIETWSession& Session, TIETWSharedState& Shared, bool Force) {
    if (!Shared.LibraryHandle) return;
    IETWLog("IETW_UnloadSourceManager");
    if (!Force) {
        // The library stays loaded for a later session, which finds it in the shared state.
        if (Session.State == twStateLoaded) {
            Session.LibraryHandle = 0;
            Session.EntryPoint = nullptr;
            Session.State = twStateNotLoaded;
            IETWLog("  IETW_UnloadSourceManager not Unloaded, for future uses");
        }
        return;
    }
    // Freed whenever the library is loaded: a library whose entry point was never found would
    // otherwise stay loaded for the rest of the process.
    IETWFreeLibrary(Shared.LibraryHandle);
    Session.LibraryHandle = Shared.LibraryHandle = 0;
    Session.EntryPoint = Shared.EntryPoint = nullptr;
    Session.State = twStateNotLoaded;
    IETWLog("  IETW_UnloadSourceManager : Unload OK");
}

}  // namespace

void IETWEndSession(TIETWSharedState& SharedState, bool Force) {
    TIETWSession session;
    session.Parent = IETWActiveWindow();
    session.LibraryHandle = SharedState.LibraryHandle;
    session.EntryPoint = SharedState.EntryPoint;
    if (session.LibraryHandle) session.State = twStateLoaded;
    DestroyProxyWindow(SharedState, Force);
    UnloadSourceManager(session, SharedState, Force);
}

TIETwainParams::TIETwainParams(TPicturaIO* AOwner) : Owner(AOwner) { SetDefaults(); }

TIETwainParams::~TIETwainParams() {
    IETWEndSession(SharedState, true);
    SetDefaults();
}

void TIETwainParams::SetDefaults() {
    CapabilityBuffers.clear();
    Stream.Clear();
    for (TIEList* list : std::initializer_list<TIEList*>{&XResolution, &YResolution, &XScaling, &YScaling, &Contrast,
                                                         &Brightness, &PixelType, &BitDepth, &Orientation, &PaperSize})
        list->Clear();
    VisibleDialog = true;
    ProgressIndicators = true;
    FeederEnabled = false;
    DuplexEnabled = false;
    AcquireCount = -1;
    AcquireFrameLeft = AcquireFrameTop = AcquireFrameRight = AcquireFrameBottom = -1;
    SelectedSource.clear();
}

// ---- WIA

bool operator==(const TIEGUID& A, const TIEGUID& B) {
    return A.D1 == B.D1 && A.D2 == B.D2 && A.D3 == B.D3 && std::memcmp(A.D4, B.D4, sizeof(A.D4)) == 0;
}

const TIEGUID IEWiaEventItemCreated = {0x4C8F4EF5, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
const TIEGUID IEWiaEventItemDeleted = {0x1D22A559, 0xE14F, 0x11D2, {0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61}};
const TIEGUID IEWiaEventTreeUpdated = {0xC9859B91, 0x4AB2, 0x4CD6, {0xA1, 0xFC, 0x58, 0x2E, 0xEC, 0x55, 0xE5, 0x85}};

TIEWia::TIEWia(TPicturaIO* AOwner) : Owner(AOwner) { Open(nullptr, true); }

#ifdef _WIN32
TIEWia::TIEWia(TPicturaIO* AOwner, IWiaDevMgr* Manager) : Owner(AOwner) { Open(Manager, false); }
#endif

TIEWia::~TIEWia() {
    Close();
    ClearItems();
    OwnedControl.reset();
    if (OleInitialized) IEOleUninitialize();
}

void TIEWia::ClearItems() { ItemList.clear(); }

void TIEWia::DoEvent(const TIEGUID& Event) {
    uint8_t event;
    if (Event == IEWiaEventTreeUpdated)
        event = iewiaTreeUpdated;
    else if (Event == IEWiaEventItemCreated)
        event = iewiaItemCreated;
    else if (Event == IEWiaEventItemDeleted)
        event = iewiaItemDeleted;
    else
        return;
    LastEvent = event;
    if (!OnWiaEvent) return;
    // The caller is the WIA service: an exception has nowhere to go there.
    try {
        OnWiaEvent(this);
    } catch (...) {
    }
}
