// TIEDirectShow where the platform has no DirectShow: nothing is ever connected, and every
// operation answers as for no graph.
#include "iedshow.h"

struct TIEDShowGraph {};

namespace {
bool NoPost(void*, uint32_t, uintptr_t, intptr_t) { return false; }
}  // namespace

TIEDShowPostMessage IEDShowPostMessage = NoPost;

TIEDirectShow::TIEDirectShow() = default;
TIEDirectShow::~TIEDirectShow() { Disconnect(); }

void TIEDirectShow::Connect() { FrameNotify = true; }
void TIEDirectShow::Disconnect() {
    Graph.reset();
    Callback.reset();
}
bool TIEDirectShow::Connected() const { return Graph != nullptr; }
void TIEDirectShow::Run() {}
void TIEDirectShow::Pause() {}
uint8_t TIEDirectShow::GetState() { return 0; }
void TIEDirectShow::SetTimeFormat(uint8_t) {}
uint8_t TIEDirectShow::GetTimeFormat() { return 0; }
int64_t TIEDirectShow::GetDuration() { return 0; }
int64_t TIEDirectShow::GetCurrentPosition() { return 0; }
void TIEDirectShow::SetCurrentPosition(int64_t) {}
void TIEDirectShow::GetVideoRenderSize(int32_t& Width, int32_t& Height, std::string&) { Width = Height = 0; }
int64_t TIEDirectShow::GetAverageTimePerFrame() { return 0; }
void TIEDirectShow::GetSample(TIEBitmap*, bool) {}
void TIEDirectShow::CopySampleToBitmap(const void*, int32_t, TIEBitmap*) {}
void TIEDirectShow::SetNotifyWindow(void* Window, uint32_t FrameMsg, uint32_t EventMsg) {
    NotifyWindow = Window;
    FrameMessage = FrameMsg;
    EventMessage = EventMsg;
}
void TIEDirectShow::SetVideoPosition(const TIEDShowRect&, const TIEDShowRect&) {}
void TIEDirectShow::GetVideoSize(int32_t& Width, int32_t& Height) { Width = Height = 0; }
void TIEDirectShow::RepaintVideo(void*, void*) {}
void TIEDirectShow::FillVideoFormats() { ClearVideoFormats(); }
void TIEDirectShow::ClearVideoFormats() { VideoFormats.clear(); }
void TIEDirectShow::FillCrossbarInputs() { CrossbarInputs.Clear(); }
// Filters are only kept (nothing here makes or counts them).
void TIEDirectShow::SetVideoCaptureFilter(void* Filter) { VideoCaptureFilter = Filter; }
void TIEDirectShow::SetAudioCaptureFilter(void* Filter) { AudioCaptureFilter = Filter; }
void TIEDirectShow::SetVideoCodecFilter(void* Filter) { VideoCodecFilter = Filter; }
void TIEDirectShow::SetAudioCodecFilter(void* Filter) { AudioCodecFilter = Filter; }
void TIEDirectShow::BuildCaptureGraph() {}
void TIEDirectShow::BuildDVDGraph() {}
void TIEDirectShow::CreateWindowlessRenderer() {}
void TIEDirectShow::RouteCrossbarAudio() {}
void TIEDirectShow::ReleaseCallerFilters() {
    VideoCaptureFilter = AudioCaptureFilter = VideoCodecFilter = AudioCodecFilter = nullptr;
}
