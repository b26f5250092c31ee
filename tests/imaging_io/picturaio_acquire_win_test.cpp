// The WIA object's COM side: the registration of its three events through a stand-in device
// manager (Wine's manager refuses event registration), the event callback object itself, and the
// real manager's creation under Wine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "SysUtils.h"
#include "picturaio.h"
#include "picturaio_acquire.h"
#include "picturaio_acquire_win.h"

namespace {

// An IUnknown that counts its references (the event objects a registration returns).
class TCounted : public IUnknown {
public:
    LONG Refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++Refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--Refs); }
};

struct TRegistration {
    LONG Flags;
    bool DeviceID;
    GUID Event;
    IWiaEventCallback* Callback;
};

// A device manager that records the registrations and holds the callbacks as the WIA service
// does, until the test lets them go.
class TFakeDevMgr : public IWiaDevMgr {
public:
    LONG Refs = 1;
    HRESULT RegisterResult = S_OK;
    std::vector<TRegistration> Registrations;
    TCounted EventObjects[3];

    ~TFakeDevMgr() { ReleaseCallbacks(); }
    void ReleaseCallbacks() {
        for (TRegistration& r : Registrations)
            if (r.Callback) r.Callback->Release();
        Registrations.clear();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++Refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--Refs); }
    HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateDevice(BSTR, IWiaItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND, LONG, LONG, BSTR*, IWiaItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND, LONG, LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImageDlg(HWND, LONG, LONG, LONG, IWiaItem*, BSTR, GUID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR, BSTR, BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
                                                             IWiaEventCallback* pCallback,
                                                             IUnknown** pEventObject) override {
        if (FAILED(RegisterResult)) return RegisterResult;
        pCallback->AddRef();
        Registrations.push_back({lFlags, bstrDeviceID != nullptr, *pEventGUID, pCallback});
        TCounted& object = EventObjects[Registrations.size() - 1];
        *pEventObject = &object;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR, BSTR,
                                                         BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND, LONG) override { return E_NOTIMPL; }
};

GUID ToGUID(const TIEGUID& G) {
    GUID result;
    std::memcpy(&result, &G, sizeof(result));
    return result;
}

HRESULT Fire(IWiaEventCallback* Callback, const GUID& Event) {
    ULONG type = 0;
    return Callback->ImageEventCallback(&Event, nullptr, nullptr, nullptr, 0, nullptr, &type, 0);
}

}  // namespace

TEST(PicturaIOAcquireWin, WiaRegistersItsThreeEventsInOrderAndEndsThemOnDestruction) {
    TFakeDevMgr manager;
    auto wia = std::make_unique<TIEWia>(nullptr, &manager);
    EXPECT_EQ(wia->DeviceManager, &manager);
    EXPECT_EQ(manager.Refs, 2);
    ASSERT_EQ(manager.Registrations.size(), 3u);
    const TIEGUID* order[3] = {&IEWiaEventItemCreated, &IEWiaEventItemDeleted, &IEWiaEventTreeUpdated};
    for (size_t i = 0; i < 3; ++i) {
        const TRegistration& r = manager.Registrations[i];
        EXPECT_EQ(r.Flags, 0);
        EXPECT_FALSE(r.DeviceID);   // all devices
        EXPECT_TRUE(IsEqualGUID(r.Event, ToGUID(*order[i]))) << i;
        EXPECT_EQ(wia->EventObjects[i], &manager.EventObjects[i]);
    }

    // The service calls the registered callbacks on its own thread.
    int fired = 0;
    wia->OnWiaEvent = [&](TIEWia*) { ++fired; };
    HRESULT result = S_FALSE;
    std::thread service([&] { result = Fire(manager.Registrations[2].Callback, ToGUID(IEWiaEventTreeUpdated)); });
    service.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(wia->LastEvent, iewiaTreeUpdated);
    EXPECT_EQ(Fire(manager.Registrations[0].Callback, ToGUID(IEWiaEventItemDeleted)), S_OK);
    EXPECT_EQ(wia->LastEvent, iewiaItemDeleted);
    EXPECT_EQ(fired, 2);

    wia.reset();
    for (const TCounted& object : manager.EventObjects) EXPECT_EQ(object.Refs, 0);
    EXPECT_EQ(manager.Refs, 1);
    // A callback the service still holds reports to nobody.
    EXPECT_EQ(Fire(manager.Registrations[1].Callback, ToGUID(IEWiaEventItemCreated)), S_OK);
    EXPECT_EQ(fired, 2);
}

TEST(PicturaIOAcquireWin, WiaWhoseRegistrationIsRefusedHasNoEventObjects) {
    TFakeDevMgr manager;
    manager.RegisterResult = E_NOTIMPL;
    {
        TIEWia wia(nullptr, &manager);
        EXPECT_EQ(wia.DeviceManager, &manager);
        for (IUnknown* object : wia.EventObjects) EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(manager.Refs, 1);
}

TEST(PicturaIOAcquireWin, EventCallbackObject) {
    TIEWia wia(nullptr, nullptr);
    EXPECT_EQ(wia.DeviceManager, nullptr);
    auto* callback = new TWiaEventCallBack(&wia);
    void* found = nullptr;
    EXPECT_EQ(callback->QueryInterface(IEIID_IWiaEventCallback, &found), S_OK);
    EXPECT_EQ(found, static_cast<IWiaEventCallback*>(callback));
    callback->Release();
    EXPECT_EQ(callback->QueryInterface(IID_IUnknown, &found), S_OK);
    callback->Release();
    EXPECT_EQ(callback->QueryInterface(IEIID_IWiaDevMgr, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);

    // The GUID table, and an unknown event that changes nothing.
    const struct {
        const TIEGUID* Event;
        uint8_t Last;
    } cases[] = {{&IEWiaEventItemCreated, iewiaItemCreated},
                 {&IEWiaEventTreeUpdated, iewiaTreeUpdated},
                 {&IEWiaEventItemDeleted, iewiaItemDeleted}};
    for (const auto& c : cases) {
        EXPECT_EQ(Fire(callback, ToGUID(*c.Event)), S_OK);
        EXPECT_EQ(wia.LastEvent, c.Last);
    }
    EXPECT_EQ(Fire(callback, IEIID_IWiaDevMgr), S_OK);
    EXPECT_EQ(wia.LastEvent, iewiaItemDeleted);
    // No exception leaves the callback.
    wia.OnWiaEvent = [](TIEWia*) { throw std::runtime_error("handler failed"); };
    EXPECT_EQ(Fire(callback, ToGUID(IEWiaEventItemCreated)), S_OK);
    EXPECT_EQ(callback->ImageEventCallback(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0), S_OK);
    callback->Detach();
    EXPECT_EQ(Fire(callback, ToGUID(IEWiaEventTreeUpdated)), S_OK);
    EXPECT_EQ(wia.LastEvent, iewiaItemCreated);
    callback->Release();
}

TEST(PicturaIOAcquireWin, ComponentsWiaObjectWithTheSystemsManager) {
    TPicturaIO io(nullptr);
    TIEWia* wia = io.GetWIAParams();
    ASSERT_NE(wia, nullptr);
    // Whatever the system offers, a manager without registrations leaves no event objects and a
    // missing one leaves none either; destruction releases what there is.
    if (!wia->DeviceManager) {
        for (IUnknown* object : wia->EventObjects) EXPECT_EQ(object, nullptr);
    }
}
