// TIEDirectShow over the system's DirectShow (COM): building the capture, file and DVD graphs,
// driving them, and reading frames from the sample grabber or the windowless renderer.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <dmodshow.h>

// The system headers turn GetTimeFormat into the locale function GetTimeFormatW, the seeking
// interface's method included; the object's own GetTimeFormat keeps its name.
#undef GetTimeFormat

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <vector>

#include "Clock.h"
#include "iecoreutils_platform.h"
#include "iedshow.h"
#include "iedshow_win.h"
#include "ieprochooks.h"

namespace {

// Identifiers the system's import libraries do not carry.
const GUID kCLSID_SampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const GUID kCLSID_NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const GUID kIID_ISampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
const GUID kIID_ISampleGrabberCB = {0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
const GUID kCLSID_MPEG2Decoder = {0x212690FB, 0x83E5, 0x4526, {0x8F, 0xD7, 0x74, 0x47, 0x8B, 0x79, 0x39, 0xCD}};
const GUID kCLSID_ColorConverterDMO = {0x98230571, 0x0087, 0x4204, {0xB0, 0x20, 0x32, 0x82, 0x53, 0x8E, 0x57, 0xD3}};
const GUID kCLSID_DMOWrapperFilter = {0x94297043, 0xBD82, 0x4DFD, {0xB0, 0xDE, 0x81, 0x77, 0x73, 0x9C, 0x6D, 0x20}};
const GUID kIID_IDMOWrapperFilter = {0x52D6F586, 0x9F0F, 0x4824, {0x8F, 0xC8, 0xE3, 0x2C, 0xA0, 0x49, 0x30, 0xC2}};
const GUID kDMOCATEGORY_VIDEO_EFFECT = {0xD990EE14, 0x776C, 0x4723, {0xBE, 0x46, 0x3D, 0xA2, 0xF5, 0x6F, 0x10, 0xB9}};
const GUID kCLSID_DVDNavigator = {0x9B8C4620, 0x2C1A, 0x11D0, {0x84, 0x93, 0x00, 0xA0, 0x24, 0x38, 0xAD, 0x48}};

template <class T>
void SafeRelease(T*& Pointer) {
    if (Pointer) Pointer->Release();
    Pointer = nullptr;
}

bool PostToWindow(void* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
    return PostMessageW(static_cast<HWND>(Window), Msg, static_cast<WPARAM>(WParam), static_cast<LPARAM>(LParam)) != 0;
}

void FreeMediaTypeBlock(AM_MEDIA_TYPE& Type) {
    if (Type.cbFormat != 0) CoTaskMemFree(Type.pbFormat);
    Type.cbFormat = 0;
    Type.pbFormat = nullptr;
    SafeRelease(Type.pUnk);
}

void DeleteMediaTypeRecord(AM_MEDIA_TYPE* Type) {
    if (!Type) return;
    FreeMediaTypeBlock(*Type);
    CoTaskMemFree(Type);
}

TIEDShowGuid ToGuid(const GUID& Value) {
    TIEDShowGuid out;
    static_assert(sizeof(out) == sizeof(Value), "same layout");
    std::memcpy(&out, &Value, sizeof(out));
    return out;
}

std::wstring LowerExtension(const std::wstring& Name) {
    const size_t dot = Name.find_last_of(L".\\/:");
    if (dot == std::wstring::npos || Name[dot] != L'.') return std::wstring();
    std::wstring ext = Name.substr(dot);
    for (wchar_t& c : ext) c = static_cast<wchar_t>(std::towlower(c));
    return ext;
}

}  // namespace

TIEDShowPostMessage IEDShowPostMessage = PostToWindow;

namespace {
HRESULT CreateInProcess(REFCLSID Class, REFIID Iid, void** Object) {
    return CoCreateInstance(Class, nullptr, CLSCTX_INPROC_SERVER, Iid, Object);
}
}  // namespace

TIEDShowCreateInstance IEDShowCreateInstance = CreateInProcess;

// The grabber's COM face: not reference counted (the graph's object owns it and outlives the
// grabber's use of it). It counts the samples it is given, so that a seek can wait for a fresh
// one, and passes each to the object's callback when there is one.
class TIEGrabberSink final : public ISampleGrabberCB {
public:
    explicit TIEGrabberSink(TIEDirectShow* AOwner) : Owner(AOwner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
        if (!Object) return E_POINTER;
        if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, kIID_ISampleGrabberCB)) {
            *Object = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *Object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE* Buffer, LONG BufferLen) override {
        Samples.fetch_add(1);
        if (TIESampleGrabberCB* callback = Owner->GetCallback())
            return callback->BufferCB(SampleTime, Buffer, static_cast<int32_t>(BufferLen));
        return S_OK;
    }
    std::atomic<uint32_t> Samples{0};

private:
    TIEDirectShow* Owner;
};

struct TIEDShowGraph {
    explicit TIEDShowGraph(TIEDirectShow* Owner) : Sink(Owner) {}
    ~TIEDShowGraph() {
        SafeRelease(DvdInfo);
        SafeRelease(DvdControl);
        SafeRelease(SystemClock);
        SafeRelease(Windowless);
        SafeRelease(RendererConfig);
        SafeRelease(Renderer);
        SafeRelease(ColorDMO);
        SafeRelease(Mpeg2Decoder);
        SafeRelease(Mpeg2Demux);
        SafeRelease(AVIDecompressor);
        SafeRelease(NullRenderer);
        if (Grabber) Grabber->SetCallback(nullptr, 1);
        SafeRelease(Grabber);
        SafeRelease(GrabberFilter);
        SafeRelease(ClockSlave);
        SafeRelease(AnalogDecoder);
        SafeRelease(FrameStep);
        SafeRelease(TunerFilter);
        SafeRelease(Tuner);
        SafeRelease(Crossbar);
        SafeRelease(CrossbarFilter);
        SafeRelease(StreamConfig);
        if (Events) Events->SetNotifyWindow(0, 0, 0);
        SafeRelease(Events);
        SafeRelease(Seeking);
        SafeRelease(Control);
        SafeRelease(VideoCompression);
        SafeRelease(Multiplexer);
        SafeRelease(SourceFilter);
        SafeRelease(ColorConverter);
        SafeRelease(Capture);
        SafeRelease(Builder);
    }
    // A filter made from its class and added to the graph under Name; null when it cannot be made.
    IBaseFilter* AddNew(const GUID& Class, const wchar_t* Name) {
        IBaseFilter* filter = nullptr;
        if (FAILED(IEDShowCreateInstance(Class, IID_IBaseFilter,
                                    reinterpret_cast<void**>(&filter))))
            return nullptr;
        Builder->AddFilter(filter, Name);
        return filter;
    }
    void Render(const GUID* Category, const GUID* Type, IUnknown* Source, IBaseFilter* Middle, IBaseFilter* Sink2) {
        if (Capture && Source) Capture->RenderStream(Category, Type, Source, Middle, Sink2);
    }
    template <class T>
    T* Find(IBaseFilter* Source, const GUID& Iid) {
        T* found = nullptr;
        if (Capture && Source &&
            FAILED(Capture->FindInterface(nullptr, nullptr, Source, Iid, reinterpret_cast<void**>(&found))))
            found = nullptr;
        return found;
    }
    // The connected media type of the grabber when its format block is a VIDEOINFOHEADER.
    bool GrabberVideoInfo(AM_MEDIA_TYPE& Type) {
        std::memset(&Type, 0, sizeof(Type));
        if (!Grabber || FAILED(Grabber->GetConnectedMediaType(&Type))) return false;
        if (IsEqualGUID(Type.formattype, FORMAT_VideoInfo) && Type.pbFormat &&
            Type.cbFormat >= sizeof(VIDEOINFOHEADER))
            return true;
        FreeMediaTypeBlock(Type);
        return false;
    }

    TIEGrabberSink Sink;
    IBaseFilter* ColorConverter = nullptr;
    IBaseFilter* SourceFilter = nullptr;
    IBaseFilter* Multiplexer = nullptr;
    IAMVideoCompression* VideoCompression = nullptr;
    IGraphBuilder* Builder = nullptr;
    ICaptureGraphBuilder2* Capture = nullptr;
    IMediaControl* Control = nullptr;
    IMediaSeeking* Seeking = nullptr;
    IMediaEventEx* Events = nullptr;
    IAMStreamConfig* StreamConfig = nullptr;
    IBaseFilter* CrossbarFilter = nullptr;
    IAMCrossbar* Crossbar = nullptr;
    IAMTVTuner* Tuner = nullptr;
    IBaseFilter* TunerFilter = nullptr;
    IVideoFrameStep* FrameStep = nullptr;
    IAMAnalogVideoDecoder* AnalogDecoder = nullptr;
    IAMClockSlave* ClockSlave = nullptr;
    IBaseFilter* GrabberFilter = nullptr;
    ISampleGrabber* Grabber = nullptr;
    IBaseFilter* NullRenderer = nullptr;
    IBaseFilter* AVIDecompressor = nullptr;
    IBaseFilter* Mpeg2Demux = nullptr;
    IBaseFilter* Mpeg2Decoder = nullptr;
    IBaseFilter* ColorDMO = nullptr;
    IBaseFilter* Renderer = nullptr;
    IVMRFilterConfig* RendererConfig = nullptr;
    IVMRWindowlessControl* Windowless = nullptr;
    IReferenceClock* SystemClock = nullptr;
    IDvdControl2* DvdControl = nullptr;
    IDvdInfo2* DvdInfo = nullptr;
};

TIEDirectShow::TIEDirectShow() {
    OleInitialised = SUCCEEDED(OleInitialize(nullptr));
}

TIEDirectShow::~TIEDirectShow() {
    Disconnect();
    ReleaseCallerFilters();
    ClearVideoFormats();
    if (OleInitialised) OleUninitialize();
}

void TIEDirectShow::ReleaseCallerFilters() {
    for (void** filter : {&AudioCaptureFilter, &VideoCaptureFilter, &VideoCodecFilter, &AudioCodecFilter}) {
        if (*filter) static_cast<IBaseFilter*>(*filter)->Release();
        *filter = nullptr;
    }
}

namespace {
void ReplaceFilter(void*& Field, void* Filter) {
    if (Filter) static_cast<IBaseFilter*>(Filter)->AddRef();
    if (Field) static_cast<IBaseFilter*>(Field)->Release();
    Field = Filter;
}
}  // namespace

void TIEDirectShow::SetVideoCaptureFilter(void* Filter) { ReplaceFilter(VideoCaptureFilter, Filter); }
void TIEDirectShow::SetAudioCaptureFilter(void* Filter) { ReplaceFilter(AudioCaptureFilter, Filter); }
void TIEDirectShow::SetVideoCodecFilter(void* Filter) { ReplaceFilter(VideoCodecFilter, Filter); }
void TIEDirectShow::SetAudioCodecFilter(void* Filter) { ReplaceFilter(AudioCodecFilter, Filter); }

void TIEDirectShow::Connect() {
    FrameNotify = true;
    if (!DVDInputPath.empty())
        BuildDVDGraph();
    else
        BuildCaptureGraph();
}

void TIEDirectShow::Disconnect() {
    if (Graph && Graph->Control && GetState() != 0) Graph->Control->Stop();
    Graph.reset();
    Callback.reset();
}

bool TIEDirectShow::Connected() const { return Graph && Graph->Builder; }

void TIEDirectShow::BuildCaptureGraph() {
    Graph = std::make_unique<TIEDShowGraph>(this);
    TIEDShowGraph& g = *Graph;
    if (FAILED(IEDShowCreateInstance(CLSID_FilterGraph, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&g.Builder)))) {
        Graph.reset();
        return;
    }
    if (FAILED(IEDShowCreateInstance(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void**>(&g.Capture))))
        g.Capture = nullptr;
    if (g.Capture) g.Capture->SetFiltergraph(g.Builder);
    auto* videoCapture = static_cast<IBaseFilter*>(VideoCaptureFilter);
    auto* audioCapture = static_cast<IBaseFilter*>(AudioCaptureFilter);
    auto* videoCodec = static_cast<IBaseFilter*>(VideoCodecFilter);
    auto* audioCodec = static_cast<IBaseFilter*>(AudioCodecFilter);
    if (videoCapture) g.Builder->AddFilter(videoCapture, L"VideoCapture");
    if (audioCapture) g.Builder->AddFilter(audioCapture, L"AudioCapture");

    std::wstring ext;
    if (!FileInput.empty()) {
        ext = LowerExtension(FileInput);
        std::wstring name = FileInput.substr(0, 2048);
        if (FAILED(g.Builder->AddSourceFilter(name.c_str(), L"FileFilter", &g.SourceFilter))) g.SourceFilter = nullptr;
    }
    if (videoCodec) g.Builder->AddFilter(videoCodec, L"VideoCodec");
    if (audioCodec) g.Builder->AddFilter(audioCodec, L"AudioCodec");

    IBaseFilter* renderer = nullptr;   // R: borrowed
    if (!FileOutput.empty() && g.Capture) {
        const std::wstring outExt = LowerExtension(FileOutput);
        const GUID* kind = outExt == L".avi" ? &MEDIASUBTYPE_Avi : outExt == L".asf" ? &MEDIASUBTYPE_Asf : nullptr;
        if (kind && FAILED(g.Capture->SetOutputFileName(kind, FileOutput.c_str(), &g.Multiplexer, nullptr)))
            g.Multiplexer = nullptr;
        renderer = g.Multiplexer;
    }
    IBaseFilter* middle = videoCodec;   // F
    if (!middle) {
        g.ColorConverter = g.AddNew(CLSID_Colour, L"ColorConverter");
        middle = g.ColorConverter;
    }
    if (EnableSampleGrabber && !videoCodec) {
        g.GrabberFilter = g.AddNew(kCLSID_SampleGrabber, L"SampleGrabber");
        if (g.GrabberFilter &&
            SUCCEEDED(g.GrabberFilter->QueryInterface(kIID_ISampleGrabber, reinterpret_cast<void**>(&g.Grabber)))) {
            g.Grabber->SetBufferSamples(TRUE);
            AM_MEDIA_TYPE type;
            std::memset(&type, 0, sizeof(type));
            type.majortype = MEDIATYPE_Video;
            type.subtype = MEDIASUBTYPE_RGB24;
            g.Grabber->SetMediaType(&type);
            // The sink always counts samples (a seek waits for a fresh one); the callback object
            // that posts frame messages exists only with a window to post to.
            if (NotifyWindow) Callback = std::make_unique<TIESampleGrabberCB>(this);
            g.Grabber->SetCallback(&g.Sink, 1);
            middle = g.GrabberFilter;
        } else {
            g.Grabber = nullptr;
        }
    }
    if (RenderVideo) {
        CreateWindowlessRenderer();
        renderer = g.Renderer;
    }
    if (!renderer) {
        g.NullRenderer = g.AddNew(kCLSID_NullRenderer, L"NullRenderer");
        renderer = g.NullRenderer;
    }
    g.AVIDecompressor = g.AddNew(CLSID_AVIDec, L"AVI Decompressor");

    IBaseFilter* source = nullptr;   // S
    if (videoCapture) {
        if (g.Multiplexer && g.Multiplexer != renderer) {
            g.Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, videoCapture, middle, g.Multiplexer);
            g.Render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, videoCapture, nullptr, renderer);
        } else {
            g.Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, videoCapture, middle, renderer);
        }
        source = videoCapture;
    }
    if (audioCapture) g.Render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audioCapture, audioCodec, renderer);
    if (g.SourceFilter) {
        IBaseFilter* file = g.SourceFilter;
        const uint8_t version = IEGetWindowsVersionIndex();
        bool mpeg2 = false;
        if (ext == L".mov") {
            g.Render(nullptr, nullptr, file, middle, renderer);
            g.Render(nullptr, &MEDIATYPE_Video, file, middle, renderer);
        } else if ((ext == L".mpeg" || ext == L".mpg") && (version == 8 || version == 9)) {
            // Only with every filter of the path: rendering into missing ones would let the
            // builder pick default renderers, which open a window and play sound.
            g.Mpeg2Demux = g.AddNew(CLSID_MPEG2Demultiplexer, L"MPEG-2 Demultiplexer");
            g.Mpeg2Decoder = g.AddNew(kCLSID_MPEG2Decoder, L"MPEG-2 Decoder");
            IBaseFilter* dmo = nullptr;
            if (SUCCEEDED(IEDShowCreateInstance(kCLSID_DMOWrapperFilter, IID_IBaseFilter,
                                           reinterpret_cast<void**>(&dmo)))) {
                IDMOWrapperFilter* wrapper = nullptr;
                if (SUCCEEDED(dmo->QueryInterface(kIID_IDMOWrapperFilter, reinterpret_cast<void**>(&wrapper)))) {
                    if (SUCCEEDED(wrapper->Init(kCLSID_ColorConverterDMO, kDMOCATEGORY_VIDEO_EFFECT))) {
                        g.Builder->AddFilter(dmo, L"Color Converter DMO");
                        g.ColorDMO = dmo;
                        dmo = nullptr;
                    }
                    wrapper->Release();
                }
                SafeRelease(dmo);
            }
            mpeg2 = g.Mpeg2Demux && g.Mpeg2Decoder && g.ColorDMO;
            if (mpeg2) {
                g.Render(nullptr, nullptr, file, nullptr, g.Mpeg2Demux);
                g.Render(nullptr, &MEDIATYPE_Video, g.Mpeg2Demux, nullptr, g.Mpeg2Decoder);
                g.Render(nullptr, nullptr, g.Mpeg2Decoder, nullptr, g.ColorDMO);
                g.Render(nullptr, nullptr, g.ColorDMO, nullptr, middle);
                g.Render(nullptr, nullptr, middle, nullptr, renderer);
            } else {
                for (IBaseFilter** unused : {&g.Mpeg2Demux, &g.Mpeg2Decoder, &g.ColorDMO}) {
                    if (*unused) g.Builder->RemoveFilter(*unused);
                    SafeRelease(*unused);
                }
            }
        }
        if (ext != L".mov" && !mpeg2) {
            g.Render(nullptr, nullptr, file, g.AVIDecompressor, middle);
            g.Render(nullptr, nullptr, middle, nullptr, renderer);
            g.Render(nullptr, nullptr, file, middle, renderer);
            g.Render(nullptr, &MEDIATYPE_Video, file, middle, renderer);
        }
        if (renderer && audioCodec) g.Render(nullptr, nullptr, file, audioCodec, renderer);
        source = file;
    }
    if (RenderAudio && source) g.Render(nullptr, &MEDIATYPE_Audio, source, nullptr, nullptr);

    g.Builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g.Control));
    g.Builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&g.Seeking));
    g.Builder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&g.Events));
    if (g.Events && NotifyWindow)
        g.Events->SetNotifyWindow(reinterpret_cast<OAHWND>(NotifyWindow), static_cast<long>(EventMessage),
                                  reinterpret_cast<LONG_PTR>(this));
    if (videoCodec)
        videoCodec->QueryInterface(IID_IAMVideoCompression, reinterpret_cast<void**>(&g.VideoCompression));
    if (source) {
        g.StreamConfig = g.Find<IAMStreamConfig>(source, IID_IAMStreamConfig);
        g.Crossbar = g.Find<IAMCrossbar>(source, IID_IAMCrossbar);
        if (g.Crossbar) g.Crossbar->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&g.CrossbarFilter));
        g.Tuner = g.Find<IAMTVTuner>(source, IID_IAMTVTuner);
        if (g.Tuner) {
            g.Tuner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&g.TunerFilter));
            RouteCrossbarAudio();
        }
        g.AnalogDecoder = g.Find<IAMAnalogVideoDecoder>(source, IID_IAMAnalogVideoDecoder);
    }
    g.Builder->QueryInterface(IID_IVideoFrameStep, reinterpret_cast<void**>(&g.FrameStep));
    if (ReferenceClock != 0) {
        IMediaFilter* mediaFilter = nullptr;
        if (SUCCEEDED(g.Builder->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&mediaFilter)))) {
            IReferenceClock* clock = nullptr;
            IBaseFilter* owner = nullptr;   // borrowed
            IBaseFilter* found = nullptr;   // counted: the graph's filter found by name
            switch (ReferenceClock) {
                case 2:
                    if (SUCCEEDED(IEDShowCreateInstance(CLSID_SystemClock, IID_IReferenceClock,
                                                   reinterpret_cast<void**>(&g.SystemClock)))) {
                        clock = g.SystemClock;
                        clock->AddRef();
                    }
                    break;
                case 3: owner = videoCapture; break;
                case 4: owner = g.Renderer; break;
                case 5: owner = audioCapture; break;
                case 6:
                    if (FAILED(g.Builder->FindFilterByName(L"Audio Renderer", &found))) found = nullptr;
                    owner = found;
                    break;
                default: break;
            }
            if (owner && FAILED(owner->QueryInterface(IID_IReferenceClock, reinterpret_cast<void**>(&clock))))
                clock = nullptr;
            SafeRelease(found);
            mediaFilter->SetSyncSource(clock);
            SafeRelease(clock);
            mediaFilter->Release();
        }
    }
    if (source) {
        g.ClockSlave = g.Find<IAMClockSlave>(source, IID_IAMClockSlave);
        if (g.ClockSlave && ClockSlaveTolerance >= 0)
            g.ClockSlave->SetErrorTolerance(static_cast<DWORD>(ClockSlaveTolerance));
    }
    FillVideoFormats();
    FillCrossbarInputs();
}

void TIEDirectShow::CreateWindowlessRenderer() {
    TIEDShowGraph& g = *Graph;
    SafeRelease(g.Windowless);
    SafeRelease(g.RendererConfig);
    if (g.Renderer) g.Builder->RemoveFilter(g.Renderer);
    SafeRelease(g.Renderer);
    g.Renderer = g.AddNew(CLSID_VideoMixingRenderer, L"Video Mixing Renderer");
    if (!g.Renderer) return;
    if (SUCCEEDED(g.Renderer->QueryInterface(IID_IVMRFilterConfig, reinterpret_cast<void**>(&g.RendererConfig)))) {
        g.RendererConfig->SetNumberOfStreams(1);
        g.RendererConfig->SetRenderingMode(VMRMode_Windowless);
    }
    if (SUCCEEDED(g.Renderer->QueryInterface(IID_IVMRWindowlessControl, reinterpret_cast<void**>(&g.Windowless)))) {
        g.Windowless->SetVideoClippingWindow(static_cast<HWND>(NotifyWindow));
        g.Windowless->SetAspectRatioMode(VMR_ARMODE_NONE);
    }
    if (NotifyWindow) InvalidateRect(static_cast<HWND>(NotifyWindow), nullptr, FALSE);
}

void TIEDirectShow::BuildDVDGraph() {
    Graph = std::make_unique<TIEDShowGraph>(this);
    TIEDShowGraph& g = *Graph;
    if (FAILED(IEDShowCreateInstance(CLSID_FilterGraph, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&g.Builder)))) {
        Graph.reset();
        return;
    }
    IBaseFilter* navigator = g.AddNew(kCLSID_DVDNavigator, L"DVD Navigator");
    if (!navigator) return;
    RenderVideo = true;
    CreateWindowlessRenderer();
    IEnumPins* pins = nullptr;
    if (SUCCEEDED(navigator->EnumPins(&pins))) {
        IPin* pin = nullptr;
        while (pins->Next(1, &pin, nullptr) == S_OK) {
            g.Builder->Render(pin);
            pin->Release();
        }
        pins->Release();
    }
    g.Builder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&g.Events));
    g.Builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&g.Control));
    g.Builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&g.Seeking));
    if (g.Events && NotifyWindow)
        g.Events->SetNotifyWindow(reinterpret_cast<OAHWND>(NotifyWindow), static_cast<long>(EventMessage),
                                  reinterpret_cast<LONG_PTR>(this));
    if (SUCCEEDED(navigator->QueryInterface(IID_IDvdControl2, reinterpret_cast<void**>(&g.DvdControl)))) {
        std::wstring lower = DVDInputPath;
        for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
        if (lower != L"default") g.DvdControl->SetDVDDirectory(DVDInputPath.c_str());
    }
    navigator->QueryInterface(IID_IDvdInfo2, reinterpret_cast<void**>(&g.DvdInfo));
    // The graph holds the navigator.
    navigator->Release();
}

void TIEDirectShow::RouteCrossbarAudio() {
    TIEDShowGraph& g = *Graph;
    if (!g.Crossbar) return;
    LONG outputs = 0, inputs = 0;
    if (FAILED(g.Crossbar->get_PinCounts(&outputs, &inputs))) return;
    LONG outPin = -1, inPin = -1;
    for (LONG i = 0; i < outputs; ++i) {
        LONG related = 0, type = 0;
        if (SUCCEEDED(g.Crossbar->get_CrossbarPinInfo(FALSE, i, &related, &type)) && type == 0x1009) outPin = i;
    }
    for (LONG i = 0; i < inputs; ++i) {
        LONG related = 0, type = 0;
        if (SUCCEEDED(g.Crossbar->get_CrossbarPinInfo(TRUE, i, &related, &type)) && type == 0x1000) inPin = i;
    }
    if (outPin >= 0 && inPin >= 0) g.Crossbar->Route(outPin, inPin);
}

void TIEDirectShow::Run() {
    if (Graph && Graph->Control) Graph->Control->Run();
}
void TIEDirectShow::Pause() {
    if (Graph && Graph->Control) Graph->Control->Pause();
}

uint8_t TIEDirectShow::GetState() {
    if (!Graph || !Graph->Control) return 0;
    OAFilterState state = State_Stopped;
    Graph->Control->GetState(100, &state);
    return state == State_Paused ? 1 : state == State_Running ? 2 : 0;
}

namespace {
const GUID* const kTimeFormats[] = {&TIME_FORMAT_NONE, &TIME_FORMAT_FRAME, &TIME_FORMAT_SAMPLE,
                                     &TIME_FORMAT_FIELD, &TIME_FORMAT_BYTE, &TIME_FORMAT_MEDIA_TIME};
}

void TIEDirectShow::SetTimeFormat(uint8_t Index) {
    if (!Graph || !Graph->Seeking || Index > 5) return;
    Graph->Seeking->SetTimeFormat(kTimeFormats[Index]);
}

uint8_t TIEDirectShow::GetTimeFormat() {
    if (!Graph || !Graph->Seeking) return 0;
    GUID format = TIME_FORMAT_NONE;
    if (FAILED(Graph->Seeking->GetTimeFormatW(&format))) return 0;
    for (uint8_t i = 0; i < 6; ++i)
        if (IsEqualGUID(format, *kTimeFormats[i])) return i;
    return 0;
}

int64_t TIEDirectShow::GetDuration() {
    LONGLONG value = 0;
    if (!Graph || !Graph->Seeking || FAILED(Graph->Seeking->GetDuration(&value))) return 0;
    return value;
}

int64_t TIEDirectShow::GetCurrentPosition() {
    LONGLONG value = 0;
    if (!Graph || !Graph->Seeking || FAILED(Graph->Seeking->GetCurrentPosition(&value))) return 0;
    return value;
}

void TIEDirectShow::SetCurrentPosition(int64_t Position) {
    if (!Graph || !Graph->Seeking) return;
    TIEDShowGraph& g = *Graph;
    const uint32_t samplesBefore = g.Sink.Samples.load();
    LONGLONG position = Position;
    g.Seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    if (!g.Control) return;
    // The graph answers its state at once while the grabber may still hold the old frame: with a
    // grabber, the seek has settled only when a sample has arrived since.
    const uint64_t start = ClockNowMs();
    for (;;) {
        OAFilterState state = State_Stopped;
        const HRESULT hr = g.Control->GetState(100, &state);
        const bool stateSettled = hr == S_OK || hr == VFW_S_CANT_CUE;
        const bool sampleSettled = !g.Grabber || state == State_Stopped || g.Sink.Samples.load() != samplesBefore;
        if (stateSettled && sampleSettled) break;
        if (ClockNowMs() - start >= SeekTimeoutMs) break;
        if (stateSettled) Sleep(10);
    }
}

void TIEDirectShow::GetVideoRenderSize(int32_t& Width, int32_t& Height, std::string& Format) {
    Width = Height = 0;
    if (!Graph) return;
    TIEDShowGraph& g = *Graph;
    if (g.StreamConfig) {
        AM_MEDIA_TYPE* type = nullptr;
        if (SUCCEEDED(g.StreamConfig->GetFormat(&type)) && type) {
            if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) && type->pbFormat &&
                type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
                const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
                Width = info->bmiHeader.biWidth;
                Height = info->bmiHeader.biHeight;
            }
            Format = IEDShowSubtypeName(ToGuid(type->subtype));
            DeleteMediaTypeRecord(type);
            return;
        }
    }
    AM_MEDIA_TYPE type;
    if (g.GrabberVideoInfo(type)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        Width = info->bmiHeader.biWidth;
        Height = std::abs(info->bmiHeader.biHeight);
        FreeMediaTypeBlock(type);
    }
}

int64_t TIEDirectShow::GetAverageTimePerFrame() {
    if (!Graph) return 0;
    TIEDShowGraph& g = *Graph;
    int64_t result = 0;
    if (g.StreamConfig) {
        AM_MEDIA_TYPE* type = nullptr;
        if (SUCCEEDED(g.StreamConfig->GetFormat(&type)) && type) {
            if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) && type->pbFormat &&
                type->cbFormat >= sizeof(VIDEOINFOHEADER))
                result = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->AvgTimePerFrame;
            DeleteMediaTypeRecord(type);
        }
    } else if (g.Grabber) {
        AM_MEDIA_TYPE type;
        if (!g.GrabberVideoInfo(type)) return 0;
        result = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
        FreeMediaTypeBlock(type);
    }
    if (result != 0) return result;
    // Measured: run until the position moves from its first non-zero value, within a bound; a
    // graph whose position never moves gives 0.
    const uint8_t format = GetTimeFormat();
    SetTimeFormat(5);
    Run();
    int64_t first = 0;
    const uint64_t start = ClockNowMs();
    while (ClockNowMs() - start < MeasureTimeoutMs) {
        const int64_t position = GetCurrentPosition();
        if (first == 0) {
            first = position;
        } else if (position != first) {
            result = position - first;
            break;
        }
        Sleep(10);
    }
    Pause();
    SetTimeFormat(format);
    return result;
}

void TIEDirectShow::GetSample(TIEBitmap* Bitmap, bool KeepSize) {
    if (!Graph || !Bitmap) return;
    TIEDShowGraph& g = *Graph;
    if (g.Windowless) {
        const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
        BYTE* dib = nullptr;
        if (SUCCEEDED(g.Windowless->GetCurrentImage(&dib)) && dib) {
            IEDIBToIEBitmapHook(dib, Bitmap, nullptr, true);
            CoTaskMemFree(dib);
            if (KeepSize) IEDShowKeepSize(Bitmap, width, height);
        }
    }
    if (g.Grabber) CopySampleToBitmap(nullptr, 0, Bitmap);
}

void TIEDirectShow::CopySampleToBitmap(const void* Buffer, int32_t BufferSize, TIEBitmap* Bitmap) {
    if (!Graph || !Bitmap) return;
    AM_MEDIA_TYPE type;
    if (!Graph->GrabberVideoInfo(type)) return;
    const BITMAPINFOHEADER header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    FreeMediaTypeBlock(type);
    if (Buffer) {
        IEDShowCopyRows(static_cast<const uint8_t*>(Buffer), BufferSize, header.biWidth, header.biHeight, Bitmap);
        return;
    }
    long size = 0;
    if (FAILED(Graph->Grabber->GetCurrentBuffer(&size, nullptr)) || size <= 0) return;
    std::vector<uint8_t> frame(static_cast<size_t>(size));
    if (FAILED(Graph->Grabber->GetCurrentBuffer(&size, reinterpret_cast<long*>(frame.data())))) return;
    IEDShowCopyRows(frame.data(), static_cast<int32_t>(std::min<long>(size, static_cast<long>(frame.size()))),
                    header.biWidth, header.biHeight, Bitmap);
}

void TIEDirectShow::SetNotifyWindow(void* Window, uint32_t FrameMsg, uint32_t EventMsg) {
    NotifyWindow = Window;
    FrameMessage = FrameMsg;
    EventMessage = EventMsg;
    if (Connected() && Graph->Events)
        Graph->Events->SetNotifyWindow(reinterpret_cast<OAHWND>(Window), static_cast<long>(EventMsg),
                                       reinterpret_cast<LONG_PTR>(this));
}

void TIEDirectShow::SetVideoPosition(const TIEDShowRect& Source, const TIEDShowRect& Dest) {
    if (!Graph || !Graph->Windowless) return;
    RECT source = {Source.Left, Source.Top, Source.Right, Source.Bottom};
    RECT dest = {Dest.Left, Dest.Top, Dest.Right, Dest.Bottom};
    Graph->Windowless->SetVideoPosition(&source, &dest);
}

void TIEDirectShow::GetVideoSize(int32_t& Width, int32_t& Height) {
    Width = Height = 0;
    if (!Graph || !Graph->Windowless) return;
    LONG width = 0, height = 0;
    if (SUCCEEDED(Graph->Windowless->GetNativeVideoSize(&width, &height, nullptr, nullptr))) {
        Width = width;
        Height = height;
    }
}

void TIEDirectShow::RepaintVideo(void* Window, void* DC) {
    if (Graph && Graph->Windowless) Graph->Windowless->RepaintVideo(static_cast<HWND>(Window), static_cast<HDC>(DC));
}

void TIEDirectShow::ClearVideoFormats() { VideoFormats.clear(); }

void TIEDirectShow::FillVideoFormats() {
    ClearVideoFormats();
    if (!Graph || !Graph->StreamConfig) return;
    int count = 0, size = 0;
    if (FAILED(Graph->StreamConfig->GetNumberOfCapabilities(&count, &size))) return;
    if (size < static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))) return;
    std::vector<uint8_t> caps(static_cast<size_t>(size));
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        if (FAILED(Graph->StreamConfig->GetStreamCaps(i, &type, caps.data())) || !type) continue;
        const auto* cap = reinterpret_cast<const VIDEO_STREAM_CONFIG_CAPS*>(caps.data());
        auto format = std::make_unique<TIEVideoFormat>();
        format->Format = IEDShowSubtypeName(ToGuid(type->subtype));
        if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) && type->pbFormat && type->cbFormat >= sizeof(VIDEOINFOHEADER))
            format->BitRate = static_cast<int32_t>(reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->dwBitRate);
        format->VideoStandard = IEDShowStandardsText(cap->VideoStandard);
        format->MinWidth = cap->MinOutputSize.cx;
        format->MinHeight = cap->MinOutputSize.cy;
        format->MaxWidth = cap->MaxOutputSize.cx;
        format->MaxHeight = cap->MaxOutputSize.cy;
        format->GranularityX = cap->OutputGranularityX;
        format->GranularityY = cap->OutputGranularityY;
        VideoFormats.push_back(std::move(format));
        DeleteMediaTypeRecord(type);
    }
}

void TIEDirectShow::FillCrossbarInputs() {
    CrossbarInputs.Clear();
    if (!Graph || !Graph->CrossbarFilter) return;
    IEnumPins* pins = nullptr;
    if (FAILED(Graph->CrossbarFilter->EnumPins(&pins))) return;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_INFO info;
        if (SUCCEEDED(pin->QueryPinInfo(&info))) {
            if (info.dir == PINDIR_INPUT) CrossbarInputs.Add(info.achName);
            SafeRelease(info.pFilter);
        }
        pin->Release();
    }
    pins->Release();
}
