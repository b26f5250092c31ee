// The acquisition objects of the I/O component: generic acquisition settings, the settings and
// the shared session state of a TWAIN source, acquisition from a camera's picture folder, and the
// Windows Image Acquisition (WIA) device manager with its three device events. An acquisition
// source hands each image to TPicturaIO::ReceiveAcquiredBitmap and ends with DoAcquireClose; the
// transfers themselves (scanning, WIA item transfer, copying camera folders) are not in this
// library. What is here: the objects and their defaults, their abort flags, the end of a TWAIN
// session and the WIA event plumbing. The native build has neither TWAIN nor WIA: there no window
// or library handle ever exists and the WIA object never has a device manager.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoreutils_lists.h"

class TPicturaIO;
struct IUnknown;
struct IWiaDevMgr;

// Generic acquisition settings. Only Aborting is used here: the component sets it together with
// its own flag (TPicturaIO::SetAborting), so that a running transfer stops.
class TIEAcquireParams : public TObject {
public:
    KW_CLASS_NAME(TIEAcquireParams)
    explicit TIEAcquireParams(TPicturaIO* AOwner) : Owner(AOwner) {}
    TPicturaIO* Owner;
    std::atomic<bool> Aborting{false};
};

// Acquisition from a camera's picture folder; Aborting is set like the one above.
class TIEDcimAcquire : public TObject {
public:
    KW_CLASS_NAME(TIEDcimAcquire)
    explicit TIEDcimAcquire(TPicturaIO* AOwner) : Owner(AOwner) {}
    TPicturaIO* Owner;
    std::atomic<bool> Aborting{false};
};

// What a TWAIN session leaves behind for the next one: the source manager's library, its entry
// point and the hidden proxy window that TWAIN sources talk to (all 0 when unused).
struct TIETWSharedState {
    uintptr_t LibraryHandle = 0;
    void* EntryPoint = nullptr;
    uintptr_t ProxyWindow = 0;
};

// Ends a TWAIN session: destroys the proxy window and unloads the source manager, logging each
// step (IETWLog). Force False keeps both for a later session (the window and the library stay, the
// shared state keeps them). A loaded library is freed whenever its handle is set, also without an
// entry point, so that no library stays loaded with nothing left to free it.
void IETWEndSession(TIETWSharedState& SharedState, bool Force = true);
// Appends "date time : Message" to the TWAIN log (IETWLogFileName) when its name is set.
void IETWLog(const std::string& Message);

// The settings of a TWAIN source and the state of a TWAIN session. The settings are kept for the
// transfer procedures; SetDefaults gives them their fixed values, frees the capability buffers
// and empties the stream and the capability value lists.
class TIETwainParams : public TObject {
public:
    KW_CLASS_NAME(TIETwainParams)
    explicit TIETwainParams(TPicturaIO* AOwner);
    // Ends the TWAIN session (forced), resets the settings and frees what it made.
    ~TIETwainParams() override;
    TIETwainParams(const TIETwainParams&) = delete;
    TIETwainParams& operator=(const TIETwainParams&) = delete;
    void SetDefaults();

    TPicturaIO* Owner;
    // Capability buffers allocated for a source (freed at every reset).
    std::vector<std::unique_ptr<uint8_t[]>> CapabilityBuffers;
    TMemoryStream Stream;
    // The values a source offers for its capabilities.
    TIEDoubleList XResolution, YResolution, XScaling, YScaling, Contrast, Brightness;
    TIEIntegerList PixelType, BitDepth, Orientation, PaperSize;
    // Settings of a transfer.
    bool VisibleDialog = true;
    bool ProgressIndicators = true;
    bool FeederEnabled = false;
    bool DuplexEnabled = false;
    int32_t AcquireCount = -1;   // images to transfer, -1 for all the source has
    double AcquireFrameLeft = -1, AcquireFrameTop = -1, AcquireFrameRight = -1, AcquireFrameBottom = -1;
    std::string SelectedSource;   // the source's product name, empty for the default source
    TIETWSharedState SharedState;
};

// The three device events the WIA object listens to, in the order of their registration.
constexpr uint8_t iewiaTreeUpdated = 1;
constexpr uint8_t iewiaItemCreated = 2;
constexpr uint8_t iewiaItemDeleted = 3;

// A GUID in the layout of the system's one.
struct TIEGUID {
    uint32_t D1;
    uint16_t D2, D3;
    uint8_t D4[8];
};
bool operator==(const TIEGUID& A, const TIEGUID& B);
extern const TIEGUID IEWiaEventItemCreated;
extern const TIEGUID IEWiaEventItemDeleted;
extern const TIEGUID IEWiaEventTreeUpdated;

class TIEWia;
using TIEWiaEvent = std::function<void(TIEWia* Sender)>;
// Per cent of a transfer; False stops it.
using TIEWiaProgressEvent = std::function<bool(int32_t per)>;

// The WIA device manager and the registrations of its item-created, item-deleted and
// tree-updated events for all devices. Made on first use by TPicturaIO::GetWIAParams. Without
// the WIA service (or in the native build) it has no device manager and no registration.
class TIEWia : public TObject {
public:
    KW_CLASS_NAME(TIEWia)
    explicit TIEWia(TPicturaIO* AOwner);
#ifdef _WIN32
    // Works with the given device manager (taking its own reference; nil: none) instead of
    // creating one.
    TIEWia(TPicturaIO* AOwner, IWiaDevMgr* Manager);
#endif
    // Ends the registrations, releases the manager, frees the items and the owned control.
    ~TIEWia() override;
    TIEWia(const TIEWia&) = delete;
    TIEWia& operator=(const TIEWia&) = delete;
    // Frees every item of ItemList and empties it.
    void ClearItems();
    // Records the event and fires OnWiaEvent; an unknown GUID does nothing. It runs on the WIA
    // service's thread: nothing raised by the handler leaves it.
    void DoEvent(const TIEGUID& Event);

    bool OleInitialized = false;
    IWiaDevMgr* DeviceManager = nullptr;
    std::vector<std::unique_ptr<TObject>> ItemList;
    std::unique_ptr<TObject> OwnedControl;
    TPicturaIO* Owner;
    // The registrations of item created, item deleted and tree updated (released on destruction).
    IUnknown* EventObjects[3] = {nullptr, nullptr, nullptr};
    TIEWiaProgressEvent OnTransferProgress;
    TIEWiaEvent OnWiaEvent;
    // The last event: iewiaTreeUpdated, iewiaItemCreated or iewiaItemDeleted (0 before any).
    std::atomic<uint8_t> LastEvent{0};

private:
    // The platform's part of creation and destruction (picturaio_acquire_win/_posix).
    void Open(IWiaDevMgr* Manager, bool Create);
    void Close();
    // The event callback objects registered (the service may hold them longer than this object:
    // Close detaches them).
    IUnknown* Callbacks[3] = {nullptr, nullptr, nullptr};
};

// The settings of a print-preview dialog, which is not part of this library: the component makes
// one and frees it, nothing reads it.
class TIOPrintPreviewParams : public TObject {
public:
    KW_CLASS_NAME(TIOPrintPreviewParams)
    double MarginLeft = 1.0, MarginTop = 1.0, MarginRight = 1.0, MarginBottom = 1.0;
    uint8_t Position = 4;
    uint8_t Size = 1;
    double Width = -1, Height = -1;
    double Gamma = 1.0;
    int32_t SelectedPrinter = 0;
    int32_t MarginStyle = 4;
    int32_t PrintQuality = 5;
    double Tolerance = 0.1;
    bool ShowMargins = true;
    bool ShowPage = true;
};
