// The Windows side of the acquisition objects: the TWAIN session's window and library, and the
// WIA device manager reached through COM with its event callbacks.
#include "picturaio_acquire_win.h"

#include <ole2.h>

#include <cstring>

#include "picturaio_acquire.h"
#include "picturaio_acquire_platform.h"

const IID IEIID_IWiaEventCallback = {0xAE6287B0, 0x0084, 0x11D2, {0x97, 0x3B, 0x00, 0xA0, 0xC9, 0x06, 0x8F, 0x2E}};
const IID IEIID_IWiaDevMgr = {0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};

namespace {

const CLSID kCLSID_WiaDevMgr = {0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
const IID kIID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

GUID ToGUID(const TIEGUID& G) {
    GUID result;
    static_assert(sizeof(result) == sizeof(G), "a GUID is 16 bytes");
    std::memcpy(&result, &G, sizeof(result));
    return result;
}

}  // namespace

// ---- TWAIN session

uintptr_t IETWActiveWindow() { return reinterpret_cast<uintptr_t>(GetActiveWindow()); }
bool IETWWindowExists(uintptr_t Window) { return IsWindow(reinterpret_cast<HWND>(Window)) != FALSE; }
void IETWDestroyWindow(uintptr_t Window) { DestroyWindow(reinterpret_cast<HWND>(Window)); }
void IETWFreeLibrary(uintptr_t Library) { FreeLibrary(reinterpret_cast<HMODULE>(Library)); }
void IEOleUninitialize() { OleUninitialize(); }

// ---- the WIA event callback

HRESULT STDMETHODCALLTYPE TWiaEventCallBack::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, kIID_IUnknown) || IsEqualIID(riid, IEIID_IWiaEventCallback)) {
        *ppv = static_cast<IWiaEventCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TWiaEventCallBack::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&RefCount)); }

ULONG STDMETHODCALLTYPE TWiaEventCallBack::Release() {
    const LONG count = InterlockedDecrement(&RefCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE TWiaEventCallBack::ImageEventCallback(const GUID* pEventGUID, BSTR, BSTR, BSTR, DWORD, BSTR,
                                                                ULONG*, ULONG) {
    // The WIA service called us: nothing may be thrown back into it.
    try {
        std::lock_guard<std::mutex> guard(Lock);
        if (!Wia || !pEventGUID) return S_OK;
        TIEGUID event;
        std::memcpy(&event, pEventGUID, sizeof(event));
        Wia->DoEvent(event);
    } catch (...) {
    }
    return S_OK;
}

void TWiaEventCallBack::Detach() {
    std::lock_guard<std::mutex> guard(Lock);
    Wia = nullptr;
}

// ---- TIEWia

void TIEWia::Open(IWiaDevMgr* Manager, bool Create) {
    OleInitialized = SUCCEEDED(OleInitialize(nullptr));
    if (Create) {
        void* manager = nullptr;
        if (SUCCEEDED(CoCreateInstance(kCLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IEIID_IWiaDevMgr, &manager)))
            DeviceManager = static_cast<IWiaDevMgr*>(manager);
    } else if (Manager) {
        Manager->AddRef();
        DeviceManager = Manager;
    }
    if (!DeviceManager) return;
    // For all devices: item created, item deleted, tree updated.
    const TIEGUID* events[3] = {&IEWiaEventItemCreated, &IEWiaEventItemDeleted, &IEWiaEventTreeUpdated};
    for (int i = 0; i < 3; ++i) {
        auto* callback = new TWiaEventCallBack(this);
        const GUID event = ToGUID(*events[i]);
        IUnknown* registration = nullptr;
        if (SUCCEEDED(DeviceManager->RegisterEventCallbackInterface(0, nullptr, &event, callback, &registration)))
            EventObjects[i] = registration;
        // The service keeps its own reference while registered; ours lets Close detach it.
        Callbacks[i] = callback;
    }
}

void TIEWia::Close() {
    // Releasing the event objects ends the registrations; a callback the service still holds
    // then reports to nobody.
    for (IUnknown*& registration : EventObjects) {
        if (registration) registration->Release();
        registration = nullptr;
    }
    for (IUnknown*& callback : Callbacks) {
        if (!callback) continue;
        static_cast<TWiaEventCallBack*>(static_cast<IWiaEventCallback*>(callback))->Detach();
        callback->Release();
        callback = nullptr;
    }
    if (DeviceManager) DeviceManager->Release();
    DeviceManager = nullptr;
}
