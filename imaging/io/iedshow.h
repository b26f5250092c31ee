// TIEDirectShow: a DirectShow filter graph for capturing from a video (and audio) capture device,
// playing a media file or playing a DVD. Frames reach the image library two ways: a sample
// grabber in the video path buffers every frame and posts FrameMessage to NotifyWindow (lParam:
// the object), and a windowless Video Mixing Renderer draws into the owner's window and hands out
// its current image. The I/O component uses a graph with a grabber to read single frames of media
// files; an attached viewer turns the posted messages into its events.
//
// The graph itself lives in the platform layer (iedshow_win.cpp); where there is no DirectShow
// (iedshow_posix.cpp) nothing is ever connected and every operation answers as for no graph.
// No operation raises for a missing interface: calls on absent interfaces do nothing, and optional
// filters that cannot be created are left out.
//
// Threads: the grabber's callback runs on DirectShow's streaming thread and only posts a message;
// every other operation runs on the thread that owns the notify window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"

// One capability of the capture pin.
class TIEVideoFormat : public TObject {
public:
    KW_CLASS_NAME(TIEVideoFormat)
    std::string Format;          // the subtype's name (IEDShowSubtypeName)
    int32_t BitRate = 0;
    std::string VideoStandard;   // IEDShowStandardsText of the capability's standards
    int32_t MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
    int32_t GranularityX = 0, GranularityY = 0;
};

// A media subtype by value (the layout of the system's GUID).
struct TIEDShowGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

// The name of a video subtype ("YUY2", "RGB24", "ARGB32", ...); empty for an unknown one.
std::string IEDShowSubtypeName(const TIEDShowGuid& Subtype);
// The names of the analog video standards whose masks share a bit with Value, each followed by a
// blank, the last blank trimmed ("NTSC_M PAL_B" for $11; empty for 0).
std::string IEDShowStandardsText(uint32_t Value);

// Copies the rows of a 24-bit frame buffer (a DIB's rows: bottom-up for a positive Height, top-down
// for a negative one, each padded to 4 bytes) into Bitmap, which becomes ie24RGB of the frame's
// size (in memory). Rows the buffer does not hold in full stay as they were.
void IEDShowCopyRows(const uint8_t* Buffer, int32_t BufferSize, int32_t Width, int32_t Height, TIEBitmap* Bitmap);
// Scales Bitmap (nearest pixel) back to Width x Height; nothing when a side is 0 or the size is
// already that.
void IEDShowKeepSize(TIEBitmap* Bitmap, int32_t Width, int32_t Height);

struct TIEDShowRect {
    int32_t Left, Top, Right, Bottom;
};

class TIEDirectShow;
struct TIEDShowGraph;   // the platform's interfaces and filters of a built graph

// The grabber's callback object: BufferCB tells the owner's window about a new frame.
class TIESampleGrabberCB {
public:
    explicit TIESampleGrabberCB(TIEDirectShow* AOwner) : Owner(AOwner) {}
    // Does nothing (the graph calls BufferCB, not this).
    int32_t SampleCB(double SampleTime, void* Sample);
    // When the owner's FrameNotify is set, posts its FrameMessage to its NotifyWindow with wParam
    // 0 and lParam the owner; returns 0 (S_OK). A failure to post is swallowed.
    int32_t BufferCB(double SampleTime, const void* Buffer, int32_t BufferLen);
    TIEDirectShow* GetOwner() const { return Owner; }

private:
    TIEDirectShow* Owner;
};

// The window message poster the callback uses (the system's PostMessageW; a test may replace it).
using TIEDShowPostMessage = bool (*)(void* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
extern TIEDShowPostMessage IEDShowPostMessage;

class TIEDirectShow : public TObject {
public:
    KW_CLASS_NAME(TIEDirectShow)
    // OLE initialised (remembered in OleInitialised); nothing built.
    TIEDirectShow();
    // Disconnect; the caller's capture and codec filters released; OLE uninitialised when it was
    // initialised here.
    ~TIEDirectShow() override;
    TIEDirectShow(const TIEDirectShow&) = delete;
    TIEDirectShow& operator=(const TIEDirectShow&) = delete;

    bool OleInitialised = false;
    TStringList VideoInputs, AudioInputs, VideoCodecs, AudioCodecs;   // no operation fills them
    std::vector<std::unique_ptr<TIEVideoFormat>> VideoFormats;
    TStringList CrossbarInputs;

    // The media file to play (empty: none) and the capture file to write (".avi" or ".asf";
    // empty: none). Names stay wide so that names outside the ANSI code page open too.
    std::wstring FileInput;
    std::wstring FileOutput;
    bool EnableSampleGrabber = false;
    bool RenderVideo = false;
    bool RenderAudio = false;
    // 0 leave the graph's clock, 1 none, 2 the system clock, 3 the video capture filter's, 4 the
    // video renderer's, 5 the audio capture filter's, 6 the "Audio Renderer" filter's.
    uint8_t ReferenceClock = 0;
    // When 0 or more, handed to the source's clock slave as its error tolerance.
    int32_t ClockSlaveTolerance = -1;
    // DVD folder; "default" (any case) plays the default drive; empty builds the capture or
    // file graph.
    std::wstring DVDInputPath;

    void* GetNotifyWindow() const { return NotifyWindow; }
    uint32_t GetFrameMessage() const { return FrameMessage; }
    uint32_t GetEventMessage() const { return EventMessage; }
    bool FrameNotify = true;

    // Builds the graph (FrameNotify := True): the DVD graph when DVDInputPath is set, else the
    // capture and file graph. Callers disconnect before connecting again.
    void Connect();
    // Stops a running or paused graph and releases every interface and filter of it but the
    // caller's capture and codec filters; forgets the callback object.
    void Disconnect();
    bool Connected() const;
    void Run();
    void Pause();
    // 0 stopped, 1 paused, 2 running (a 100 ms wait for the state); 0 without a graph.
    uint8_t GetState();
    // 0 none, 1 frames, 2 samples, 3 fields, 4 bytes, 5 media time (100 ns); others do nothing.
    void SetTimeFormat(uint8_t Index);
    // The current time format in the same numbering; 0 when unknown or without a graph.
    uint8_t GetTimeFormat();
    int64_t GetDuration();
    int64_t GetCurrentPosition();
    // An absolute seek of the current position; it returns when the graph has settled on the new
    // position: the state answers and, with a sample grabber, a sample of the new position has
    // been buffered, or SeekTimeoutMs (clock milliseconds) have passed.
    void SetCurrentPosition(int64_t Position);
    // The video size (and subtype name, when it comes from the capture pin's format).
    void GetVideoRenderSize(int32_t& Width, int32_t& Height, std::string& Format);
    // 100 ns units per frame; measured by running the graph when the format does not say.
    int64_t GetAverageTimePerFrame();
    // The current frame into Bitmap; with KeepSize the renderer's image is scaled back to the
    // bitmap's size before the call.
    void GetSample(TIEBitmap* Bitmap, bool KeepSize);
    // A frame buffer (or, with Buffer null, the grabber's latest) into Bitmap as 24-bit RGB.
    void CopySampleToBitmap(const void* Buffer, int32_t BufferSize, TIEBitmap* Bitmap);
    // Stores the window and messages; with a graph, the graph's events go to that window too.
    void SetNotifyWindow(void* Window, uint32_t FrameMsg, uint32_t EventMsg);
    void SetVideoPosition(const TIEDShowRect& Source, const TIEDShowRect& Dest);
    void GetVideoSize(int32_t& Width, int32_t& Height);
    void RepaintVideo(void* Window, void* DC);
    void FillVideoFormats();
    void ClearVideoFormats();
    void FillCrossbarInputs();

    // The bound of a seek's wait and of the frame-time measurement (clock milliseconds).
    static constexpr uint64_t SeekTimeoutMs = 10000;
    static constexpr uint64_t MeasureTimeoutMs = 5000;

    TIEDShowGraph* GetGraph() const { return Graph.get(); }
    TIESampleGrabberCB* GetCallback() const { return Callback.get(); }

    // The caller's filters (platform interface pointers, counted references taken by the
    // setters; null: none).
    void SetVideoCaptureFilter(void* Filter);
    void SetAudioCaptureFilter(void* Filter);
    void SetVideoCodecFilter(void* Filter);
    void SetAudioCodecFilter(void* Filter);

private:
    friend struct TIEDShowGraph;
    void BuildCaptureGraph();
    void BuildDVDGraph();
    void CreateWindowlessRenderer();
    void RouteCrossbarAudio();
    void ReleaseCallerFilters();

    std::unique_ptr<TIEDShowGraph> Graph;
    std::unique_ptr<TIESampleGrabberCB> Callback;
    void* VideoCaptureFilter = nullptr;
    void* AudioCaptureFilter = nullptr;
    void* VideoCodecFilter = nullptr;
    void* AudioCodecFilter = nullptr;
    void* NotifyWindow = nullptr;
    uint32_t FrameMessage = 0;
    uint32_t EventMessage = 0;
};
