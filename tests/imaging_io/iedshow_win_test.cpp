// How the DirectShow graph is built for capture devices, capture files, file sources and DVDs,
// followed through fake COM objects (no capture device or DVD drive exists here): the filters
// added and every RenderStream call, by the names the filters were added under.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "iedshow.h"
#include "iedshow_win.h"

namespace {

const GUID kIID_ISampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

std::vector<std::string> gLog;
std::vector<std::wstring> gRefused;   // names of filters whose creation fails (by AddFilter name)
bool gRefuseDMO = true;

std::string Narrow(const wchar_t* Text) {
    std::string out;
    for (; Text && *Text; ++Text) out += static_cast<char>(*Text);
    return out;
}

template <class... TFaces>
class TFakeUnknown : public TFaces... {
public:
    virtual ~TFakeUnknown() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++Refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --Refs;
        if (left == 0) delete this;
        return left;
    }
    std::atomic<ULONG> Refs{1};
};

// A filter; the sample grabber's face answers only for the filter added as "SampleGrabber".
// A filter that has a clock of its own when Clock is set.
class TFakeFilter final : public TFakeUnknown<IBaseFilter, ISampleGrabber, IReferenceClock> {
public:
    explicit TFakeFilter(std::string ALabel = "", bool AClock = false) : Label(std::move(ALabel)), Clock(AClock) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IPersist) || IsEqualIID(Riid, IID_IMediaFilter) ||
            IsEqualIID(Riid, IID_IBaseFilter))
            *Object = static_cast<IBaseFilter*>(this);
        else if (IsEqualIID(Riid, kIID_ISampleGrabber) && Label == "SampleGrabber")
            *Object = static_cast<ISampleGrabber*>(this);
        else if (IsEqualIID(Riid, IID_IReferenceClock) && Clock)
            *Object = static_cast<IReferenceClock*>(this);
        if (!*Object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return TFakeUnknown::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return TFakeUnknown::Release(); }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* State) override {
        *State = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOneShot(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* Type) override {
        gLog.push_back(IsEqualGUID(Type->subtype, MEDIASUBTYPE_RGB24) ? "grab rgb24" : "grab other");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT STDMETHODCALLTYPE SetBufferSamples(WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG*, LONG*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return E_NOTIMPL; }

    std::string Label;
    bool Clock;
};

// A pin of the crossbar, and the enumeration of its pins.
class TFakePin final : public TFakeUnknown<IPin> {
public:
    TFakePin(const wchar_t* AName, PIN_DIRECTION ADirection) : Name(AName), Direction(ADirection) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (!IsEqualIID(Riid, IID_IUnknown) && !IsEqualIID(Riid, IID_IPin)) return E_NOINTERFACE;
        *Object = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin**) override { return VFW_E_NOT_CONNECTED; }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* Info) override {
        Info->pFilter = nullptr;
        Info->dir = Direction;
        lstrcpynW(Info->achName, Name.c_str(), MAX_PIN_NAME);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* Dir) override {
        *Dir = Direction;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

private:
    std::wstring Name;
    PIN_DIRECTION Direction;
};

class TFakeEnumPins final : public TFakeUnknown<IEnumPins> {
public:
    explicit TFakeEnumPins(std::vector<std::pair<const wchar_t*, PIN_DIRECTION>> APins) : Pins(std::move(APins)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (!IsEqualIID(Riid, IID_IUnknown) && !IsEqualIID(Riid, IID_IEnumPins)) return E_NOINTERFACE;
        *Object = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG Count, IPin** Out, ULONG* Fetched) override {
        ULONG n = 0;
        for (; n < Count && Position < Pins.size(); ++n, ++Position)
            Out[n] = new TFakePin(Pins[Position].first, Pins[Position].second);
        if (Fetched) *Fetched = n;
        return n == Count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override {
        Position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins**) override { return E_NOTIMPL; }

private:
    std::vector<std::pair<const wchar_t*, PIN_DIRECTION>> Pins;
    size_t Position = 0;
};

// A crossbar with three outputs (types $1009, 1, $1009) and three inputs ($1000, $1000, 2): the
// audio route is output 2 from input 1, the last of each kind.
class TFakeCrossbar final : public TFakeUnknown<IAMCrossbar, IBaseFilter> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IAMCrossbar))
            *Object = static_cast<IAMCrossbar*>(this);
        else if (IsEqualIID(Riid, IID_IBaseFilter))
            *Object = static_cast<IBaseFilter*>(this);
        if (!*Object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return TFakeUnknown::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return TFakeUnknown::Release(); }
    HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* Outputs, LONG* Inputs) override {
        *Outputs = 3;
        *Inputs = 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CanRoute(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Route(LONG Output, LONG Input) override {
        gLog.push_back("route " + std::to_string(Output) + " " + std::to_string(Input));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(WINBOOL IsInput, LONG Index, LONG* Related, LONG* Type) override {
        static const LONG outputs[] = {0x1009, 1, 0x1009}, inputs[] = {0x1000, 0x1000, 2};
        if (Index < 0 || Index > 2) return E_INVALIDARG;
        *Related = -1;
        *Type = IsInput ? inputs[Index] : outputs[Index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* State) override {
        *State = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** Pins) override {
        *Pins = new TFakeEnumPins({{L"Video Tuner In", PINDIR_INPUT},
                                   {L"Video Decoder Out", PINDIR_OUTPUT},
                                   {L"Audio Tuner In", PINDIR_INPUT},
                                   {L"Audio Decoder Out", PINDIR_OUTPUT},
                                   {L"Composite In", PINDIR_INPUT}});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
};
bool gCrossbar = false;   // the capture filter has a crossbar and a tuner upstream

std::string NameOf(IUnknown* Filter) {
    if (!Filter) return "-";
    IBaseFilter* base = nullptr;
    if (FAILED(Filter->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&base)))) return "?";
    const std::string label = static_cast<TFakeFilter*>(base)->Label;
    base->Release();
    return label;
}

// The capture pin's formats: 320 x 240 YUY2 at 30 frames per second now; two capabilities.
class TFakeStreamConfig final : public TFakeUnknown<IAMStreamConfig> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (!IsEqualIID(Riid, IID_IUnknown) && !IsEqualIID(Riid, IID_IAMStreamConfig)) return E_NOINTERFACE;
        *Object = static_cast<IAMStreamConfig*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** Type) override {
        *Type = MakeType(MEDIASUBTYPE_YUY2, 320, 240, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* Count, int* Size) override {
        *Count = 2;
        *Size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int Index, AM_MEDIA_TYPE** Type, BYTE* Caps) override {
        *Type = MakeType(Index == 0 ? MEDIASUBTYPE_YUY2 : MEDIASUBTYPE_RGB24, 640, 480, 1000 + Index);
        auto* caps = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(Caps);
        std::memset(caps, 0, sizeof(*caps));
        caps->VideoStandard = Index == 0 ? 0x11 : 0;
        caps->MinOutputSize = {160, 120};
        caps->MaxOutputSize = {640 + Index, 480};
        caps->OutputGranularityX = 8;
        caps->OutputGranularityY = 4 + Index;
        return S_OK;
    }

private:
    static AM_MEDIA_TYPE* MakeType(const GUID& Subtype, LONG Width, LONG Height, DWORD BitRate) {
        auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        std::memset(type, 0, sizeof(*type));
        type->majortype = MEDIATYPE_Video;
        type->subtype = Subtype;
        type->formattype = FORMAT_VideoInfo;
        type->cbFormat = sizeof(VIDEOINFOHEADER);
        auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        std::memset(info, 0, sizeof(*info));
        info->dwBitRate = BitRate;
        info->AvgTimePerFrame = 333333;
        info->bmiHeader.biWidth = Width;
        info->bmiHeader.biHeight = Height;
        type->pbFormat = reinterpret_cast<BYTE*>(info);
        return type;
    }
};

class TFakeGraph final : public TFakeUnknown<IGraphBuilder, IMediaFilter> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IFilterGraph) || IsEqualIID(Riid, IID_IGraphBuilder))
            *Object = static_cast<IGraphBuilder*>(this);
        else if (IsEqualIID(Riid, IID_IMediaFilter))
            *Object = static_cast<IMediaFilter*>(this);
        if (!*Object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return TFakeUnknown::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return TFakeUnknown::Release(); }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* State) override {
        *State = State_Stopped;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* Clock) override {
        gLog.push_back("clock " + (Clock ? static_cast<TFakeFilter*>(Clock)->Label : std::string("none")));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* Filter, LPCWSTR Name) override {
        auto* fake = static_cast<TFakeFilter*>(Filter);
        if (fake->Label.empty()) fake->Label = Narrow(Name);
        gLog.push_back("add " + Narrow(Name));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* Filter) override {
        gLog.push_back("remove " + NameOf(Filter));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return VFW_E_NOT_FOUND; }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Connect(IPin*, IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Render(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR File, LPCWSTR Name, IBaseFilter** Filter) override {
        *Filter = new TFakeFilter(Narrow(Name));
        gLog.push_back("source " + Narrow(File));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Abort() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return S_OK; }
};

IBaseFilter* gVideoCapture = nullptr;   // the filter FindInterface knows

class TFakeCapture final : public TFakeUnknown<ICaptureGraphBuilder2> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        *Object = nullptr;
        if (!IsEqualIID(Riid, IID_IUnknown) && !IsEqualIID(Riid, IID_ICaptureGraphBuilder2)) return E_NOINTERFACE;
        *Object = static_cast<ICaptureGraphBuilder2*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputFileName(const GUID* Type, LPCOLESTR File, IBaseFilter** Mux,
                                                IFileSinkFilter** Sink) override {
        gLog.push_back(std::string("output ") + (IsEqualGUID(*Type, MEDIASUBTYPE_Avi) ? "avi " : "asf ") + Narrow(File));
        *Mux = new TFakeFilter("Mux");
        if (Sink) *Sink = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindInterface(const GUID*, const GUID*, IBaseFilter* Filter, REFIID Riid,
                                            void** Object) override {
        *Object = nullptr;
        if (Filter && Filter == gVideoCapture && IsEqualIID(Riid, IID_IAMStreamConfig)) {
            *Object = static_cast<IAMStreamConfig*>(new TFakeStreamConfig);
            return S_OK;
        }
        if (Filter && Filter == gVideoCapture && gCrossbar && IsEqualIID(Riid, IID_IAMCrossbar)) {
            *Object = static_cast<IAMCrossbar*>(new TFakeCrossbar);
            return S_OK;
        }
        // The graph only asks the tuner for its filter and lets it go: a filter's IUnknown face
        // stands in for it.
        if (Filter && Filter == gVideoCapture && gCrossbar && IsEqualIID(Riid, IID_IAMTVTuner)) {
            *Object = static_cast<IBaseFilter*>(new TFakeFilter("Tuner"));
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE RenderStream(const GUID* Category, const GUID* Type, IUnknown* Source,
                                           IBaseFilter* Middle, IBaseFilter* Sink) override {
        const std::string category = !Category                                         ? "-"
                                     : IsEqualGUID(*Category, PIN_CATEGORY_CAPTURE) ? "capture"
                                     : IsEqualGUID(*Category, PIN_CATEGORY_PREVIEW) ? "preview"
                                                                                     : "?";
        const std::string type = !Type                                    ? "-"
                                 : IsEqualGUID(*Type, MEDIATYPE_Video) ? "video"
                                 : IsEqualGUID(*Type, MEDIATYPE_Audio) ? "audio"
                                                                        : "?";
        gLog.push_back("render " + category + " " + type + " " + NameOf(Source) + " " + NameOf(Middle) + " " +
                       NameOf(Sink));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*,
                                            WORD, WORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AllocCapFile(LPCOLESTR, DWORDLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindPin(IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, WINBOOL, int, IPin**) override {
        return E_NOTIMPL;
    }
};

const GUID kMPEG2Decoder = {0x212690FB, 0x83E5, 0x4526, {0x8F, 0xD7, 0x74, 0x47, 0x8B, 0x79, 0x39, 0xCD}};
const GUID kDVDNavigator = {0x9B8C4620, 0x2C1A, 0x11D0, {0x84, 0x93, 0x00, 0xA0, 0x24, 0x38, 0xAD, 0x48}};
const GUID kDMOWrapper = {0x94297043, 0xBD82, 0x4DFD, {0xB0, 0xDE, 0x81, 0x77, 0x73, 0x9C, 0x6D, 0x20}};

HRESULT FakeCreate(REFCLSID Class, REFIID Iid, void** Object) {
    *Object = nullptr;
    IUnknown* made = nullptr;
    if (IsEqualCLSID(Class, CLSID_FilterGraph))
        made = static_cast<IGraphBuilder*>(new TFakeGraph);
    else if (IsEqualCLSID(Class, CLSID_CaptureGraphBuilder2))
        made = static_cast<ICaptureGraphBuilder2*>(new TFakeCapture);
    else if (IsEqualCLSID(Class, kMPEG2Decoder) && std::count(gRefused.begin(), gRefused.end(), L"MPEG-2 Decoder"))
        return REGDB_E_CLASSNOTREG;
    else if (IsEqualCLSID(Class, kDVDNavigator) && std::count(gRefused.begin(), gRefused.end(), L"DVD Navigator"))
        return REGDB_E_CLASSNOTREG;
    else if (IsEqualCLSID(Class, kDMOWrapper) && gRefuseDMO)
        return REGDB_E_CLASSNOTREG;
    else if (IsEqualCLSID(Class, CLSID_SystemClock))
        return REGDB_E_CLASSNOTREG;
    else
        made = static_cast<IBaseFilter*>(new TFakeFilter);
    const HRESULT hr = made->QueryInterface(Iid, Object);
    made->Release();
    return hr;
}

bool Logged(const std::string& Entry) { return std::find(gLog.begin(), gLog.end(), Entry) != gLog.end(); }

std::string Joined() {
    std::string all;
    for (const std::string& line : gLog) all += line + "\n";
    return all;
}

class DirectShowBuild : public ::testing::Test {
protected:
    void SetUp() override {
        saved = IEDShowCreateInstance;
        IEDShowCreateInstance = FakeCreate;
        gLog.clear();
        gRefused.clear();
        gVideoCapture = nullptr;
        gCrossbar = false;
    }
    void TearDown() override {
        IEDShowCreateInstance = saved;
        gVideoCapture = nullptr;
    }
    // A caller's capture or codec filter, handed over (the graph takes its own reference).
    static void Give(TIEDirectShow& Graph, void (TIEDirectShow::*Setter)(void*), const char* Label,
                     bool Clock = false) {
        auto* filter = new TFakeFilter(Label, Clock);
        (Graph.*Setter)(static_cast<IBaseFilter*>(filter));
        if (std::string(Label) == "VideoCapture") gVideoCapture = filter;
        filter->Release();
    }
    TIEDShowCreateInstance saved = nullptr;
};

}  // namespace

TEST_F(DirectShowBuild, CaptureToAnAVIFileWithAPreviewRenderer) {
    TIEDirectShow graph;
    Give(graph, &TIEDirectShow::SetVideoCaptureFilter, "VideoCapture");
    graph.FileOutput = L"C:\\clip.AVI";
    graph.RenderVideo = true;
    graph.Connect();
    ASSERT_TRUE(graph.Connected());
    EXPECT_TRUE(Logged("output avi C:\\clip.AVI")) << Joined();
    EXPECT_TRUE(Logged("render capture video VideoCapture ColorConverter Mux")) << Joined();
    EXPECT_TRUE(Logged("render preview video VideoCapture - Video Mixing Renderer")) << Joined();
    EXPECT_FALSE(Logged("add NullRenderer")) << Joined();
    graph.Disconnect();
    EXPECT_FALSE(graph.Connected());
}

TEST_F(DirectShowBuild, TheGrabberStaysOutWhenAVideoCodecIsSet) {
    for (bool codec : {true, false}) {
        SCOPED_TRACE(codec ? "with a codec" : "without a codec");
        gLog.clear();
        TIEDirectShow graph;
        Give(graph, &TIEDirectShow::SetVideoCaptureFilter, "VideoCapture");
        Give(graph, &TIEDirectShow::SetAudioCaptureFilter, "AudioCapture");
        if (codec) Give(graph, &TIEDirectShow::SetVideoCodecFilter, "VideoCodec");
        graph.EnableSampleGrabber = true;
        graph.FileOutput = L"clip.mkv";   // neither AVI nor ASF: no file
        graph.Connect();
        EXPECT_EQ(Logged("add SampleGrabber"), !codec) << Joined();
        EXPECT_EQ(Logged("grab rgb24"), !codec) << Joined();
        EXPECT_TRUE(Logged(codec ? "render capture video VideoCapture VideoCodec NullRenderer"
                                 : "render capture video VideoCapture SampleGrabber NullRenderer"))
            << Joined();
        EXPECT_TRUE(Logged("render capture audio AudioCapture - NullRenderer")) << Joined();
        EXPECT_EQ(std::count_if(gLog.begin(), gLog.end(), [](const std::string& l) { return l.rfind("output", 0) == 0; }),
                  0);
    }
}

TEST_F(DirectShowBuild, TheCapturePinsFormats) {
    TIEDirectShow graph;
    Give(graph, &TIEDirectShow::SetVideoCaptureFilter, "VideoCapture");
    graph.Connect();
    ASSERT_EQ(graph.VideoFormats.size(), 2u);
    const TIEVideoFormat& first = *graph.VideoFormats[0];
    EXPECT_EQ(first.Format, "YUY2");
    EXPECT_EQ(first.BitRate, 1000);
    EXPECT_EQ(first.VideoStandard, "NTSC_M PAL_B");
    EXPECT_EQ(first.MinWidth, 160);
    EXPECT_EQ(first.MinHeight, 120);
    EXPECT_EQ(first.MaxWidth, 640);
    EXPECT_EQ(first.GranularityY, 4);
    EXPECT_EQ(graph.VideoFormats[1]->Format, "RGB24");
    EXPECT_EQ(graph.VideoFormats[1]->VideoStandard, "");
    EXPECT_EQ(graph.VideoFormats[1]->MaxWidth, 641);
    int32_t width = 0, height = 0;
    std::string format;
    graph.GetVideoRenderSize(width, height, format);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(format, "YUY2");
    EXPECT_EQ(graph.GetAverageTimePerFrame(), 333333);
}

TEST_F(DirectShowBuild, FileSourcesByExtension) {
    gRefused = {L"MPEG-2 Decoder"};
    const struct {
        const wchar_t* File;
        std::vector<std::string> Renders;
    } cases[] = {
        {L"a.MOV",
         {"render - - FileFilter SampleGrabber NullRenderer", "render - video FileFilter SampleGrabber NullRenderer"}},
        {L"a.wmv",
         {"render - - FileFilter AVI Decompressor SampleGrabber", "render - - SampleGrabber - NullRenderer",
          "render - - FileFilter SampleGrabber NullRenderer", "render - video FileFilter SampleGrabber NullRenderer"}},
        // Without every MPEG-2 filter the generic path is taken, and the ones made are removed.
        {L"a.mpg",
         {"render - - FileFilter AVI Decompressor SampleGrabber", "render - - SampleGrabber - NullRenderer",
          "render - - FileFilter SampleGrabber NullRenderer", "render - video FileFilter SampleGrabber NullRenderer"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.File));
        gLog.clear();
        TIEDirectShow graph;
        graph.FileInput = c.File;
        graph.EnableSampleGrabber = true;
        graph.Connect();
        std::vector<std::string> renders;
        for (const std::string& line : gLog)
            if (line.rfind("render", 0) == 0) renders.push_back(line);
        EXPECT_EQ(renders, c.Renders) << Joined();
        EXPECT_FALSE(Logged("add MPEG-2 Decoder")) << Joined();
        EXPECT_EQ(Logged("add MPEG-2 Demultiplexer"), Logged("remove MPEG-2 Demultiplexer")) << Joined();
    }
}

TEST_F(DirectShowBuild, DVDGraphs) {
    for (bool navigator : {false, true}) {
        SCOPED_TRACE(navigator ? "with a navigator" : "without a navigator");
        gLog.clear();
        gRefused.clear();
        if (!navigator) gRefused.push_back(L"DVD Navigator");
        TIEDirectShow graph;
        graph.DVDInputPath = L"DEFAULT";
        graph.Connect();
        EXPECT_TRUE(graph.Connected());
        EXPECT_EQ(Logged("add DVD Navigator"), navigator) << Joined();
        EXPECT_EQ(Logged("add Video Mixing Renderer"), navigator) << Joined();
        EXPECT_EQ(graph.RenderVideo, navigator);
        EXPECT_FALSE(Logged("add SampleGrabber"));
    }
}

TEST_F(DirectShowBuild, CrossbarAudioRouteAndInputs) {
    gCrossbar = true;
    TIEDirectShow graph;
    Give(graph, &TIEDirectShow::SetVideoCaptureFilter, "VideoCapture");
    graph.Connect();
    EXPECT_TRUE(Logged("route 2 1")) << Joined();
    ASSERT_EQ(graph.CrossbarInputs.GetCount(), 3);
    EXPECT_EQ(graph.CrossbarInputs.GetStrings(0), L"Video Tuner In");
    EXPECT_EQ(graph.CrossbarInputs.GetStrings(1), L"Audio Tuner In");
    EXPECT_EQ(graph.CrossbarInputs.GetStrings(2), L"Composite In");
}

TEST_F(DirectShowBuild, ReferenceClocks) {
    const struct {
        uint8_t Choice;
        const char* Logged;   // null: the graph's clock is left alone
    } cases[] = {{0, nullptr}, {1, "clock none"}, {2, "clock none"},   // no system clock here
                 {3, "clock VideoCapture"}, {4, "clock none"},        // the null renderer has none
                 {5, "clock AudioCapture"}, {6, "clock none"}};       // no "Audio Renderer" in the graph
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.Choice));
        gLog.clear();
        TIEDirectShow graph;
        Give(graph, &TIEDirectShow::SetVideoCaptureFilter, "VideoCapture", true);
        Give(graph, &TIEDirectShow::SetAudioCaptureFilter, "AudioCapture", true);
        graph.ReferenceClock = c.Choice;
        graph.Connect();
        const auto clocks = std::count_if(gLog.begin(), gLog.end(), [](const std::string& l) { return l.rfind("clock", 0) == 0; });
        if (!c.Logged) {
            EXPECT_EQ(clocks, 0) << Joined();
        } else {
            EXPECT_EQ(clocks, 1) << Joined();
            EXPECT_TRUE(Logged(c.Logged)) << Joined();
        }
    }
}
