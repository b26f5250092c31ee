// The WIA event callback object of the Windows build: the WIA service calls it on one of its own
// threads for every device event a TIEWia registered; it reports to that TIEWia until the TIEWia
// detaches it.
#pragma once

#include <windows.h>
#include <wia.h>

#include <mutex>

class TIEWia;

class TWiaEventCallBack : public IWiaEventCallback {
public:
    explicit TWiaEventCallBack(TIEWia* AWia) : Wia(AWia) {}
    virtual ~TWiaEventCallBack() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Maps the event to TIEWia::LastEvent and fires its OnWiaEvent (unknown events: nothing);
    // always S_OK, and no exception leaves it.
    HRESULT STDMETHODCALLTYPE ImageEventCallback(const GUID* pEventGUID, BSTR bstrEventDescription, BSTR bstrDeviceID,
                                                 BSTR bstrDeviceDescription, DWORD dwDeviceType,
                                                 BSTR bstrFullItemName, ULONG* pulEventType,
                                                 ULONG ulReserved) override;
    // From now on the callback reports to nobody (waits for a call in progress to end).
    void Detach();

private:
    LONG RefCount = 1;
    std::mutex Lock;
    TIEWia* Wia;
};

// {AE6287B0-0084-11D2-973B-00A0C9068F2E}
extern const IID IEIID_IWiaEventCallback;
// {5EB2502A-8CF1-11D1-BF92-0060081ED811}
extern const IID IEIID_IWiaDevMgr;
