// The I/O component's frames of video files: AVI files through the system's AVI file library,
// other media files through a DirectShow graph with a sample grabber; and the component's own
// DirectShow graph for capture and playback.
#include "picturaio.h"

#include "iecoredefs_settings.h"
#include "iedibbitmap.h"
#include "iedshow.h"
#include "picturaio_thread.h"
#include "picturaio_view.h"
#include "ieprochooks.h"

namespace {

// BitsPerSample and SamplesPerPixel of a frame's bit count; False keeps the current ones.
bool FrameSampleLayout(uint16_t BitCount, int32_t& BitsPerSample, int32_t& SamplesPerPixel) {
    switch (BitCount) {
        case 1: BitsPerSample = 1; SamplesPerPixel = 1; return true;
        case 4: BitsPerSample = 4; SamplesPerPixel = 1; return true;
        case 8: BitsPerSample = 8; SamplesPerPixel = 1; return true;
        case 15: BitsPerSample = 5; SamplesPerPixel = 3; return true;
        case 16:
        case 24:
        case 32: BitsPerSample = 8; SamplesPerPixel = 3; return true;
        default: return false;
    }
}

}  // namespace

// ---- AVI files ---------------------------------------------------------------------------------

int32_t TPicturaIO::OpenAVIFile(const std::wstring& FileName) {
    Aborting = false;
    CloseAVIFile();
    Params->SetImageCount(0);
    Params->FileName = FileName;
    Params->FileType = 0;
    if (!IEAVIFileInitialized) {
        IEAVILibraryInit();
        IEAVIFileInitialized = true;
    }
    // A stream without a frame rate has no frame time: refused like a file that cannot be read.
    if (!IEAVIOpen(FileName, AVIHandles, AVIInfo) || AVIInfo.Rate == 0 || AVIInfo.Scale == 0) {
        CloseAVIFile();
        Aborting = true;
        return 0;
    }
    const auto count = static_cast<int32_t>(AVIInfo.Length);
    Params->SetImageCount(count);
    Params->AVIFrameDelayTime = 1000.0 / (static_cast<double>(AVIInfo.Rate) / AVIInfo.Scale);
    return count;
}

void TPicturaIO::LoadFromAVIFrame(int32_t Frame) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromAVIFrame, Frame)) return;
    Aborting = false;
    if (!MakeConsistentBitmap(0) || !AVIHandles.Frames ||
        static_cast<uint32_t>(Frame) >= static_cast<uint32_t>(AVIInfo.Length)) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    const void* dib = IEAVIGetFrame(AVIHandles, Frame);
    Params->SetImageCount(static_cast<int32_t>(AVIInfo.Length));
    Params->AVIFrameDelayTime = 1000.0 / (static_cast<double>(AVIInfo.Rate) / AVIInfo.Scale);
    if (!dib) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    TIEDibbitmap frame;
    const uint16_t bitCount = IEDrawDIBToDibbitmapHook(dib, &frame, nullptr, true);
    IOBitmap->CopyFromTIEDibbitmap(&frame);
    FrameSampleLayout(bitCount, Params->BitsPerSample, Params->SamplesPerPixel);
    Params->SetDpiX(IEDefaultDPIX);
    Params->SetDpiY(IEDefaultDPIY);
    Params->Width = Params->OriginalWidth = frame.GetWidth();
    Params->Height = Params->OriginalHeight = frame.GetHeight();
    Params->FreeColorMap();
    Update();
    DoFinishWork();
}

void TPicturaIO::CloseAVIFile() { IEAVIClose(AVIHandles); }

// ---- media files -------------------------------------------------------------------------------

int32_t TPicturaIO::OpenMediaFile(const std::wstring& FileName) {
    CloseMediaFile();
    Aborting = true;
    MediaFile = std::make_unique<TIEDirectShow>();
    TIEDirectShow& graph = *MediaFile;
    graph.FileInput = FileName;
    graph.EnableSampleGrabber = true;
    graph.Connect();
    graph.Pause();
    graph.SetTimeFormat(5);
    const int64_t duration = graph.GetDuration();
    if (duration == 0) return 0;
    graph.SetTimeFormat(1);
    int64_t frames = graph.GetDuration();
    const int64_t average = graph.GetAverageTimePerFrame();
    if (frames == duration && average != 0) {
        frames = duration / average;
        MediaFileFrameStep = average;
    } else {
        MediaFileFrameStep = 1;
    }
    // No frame (or more than a count can hold): nothing to load and no time per frame.
    if (frames <= 0 || frames > INT32_MAX) return 0;
    MediaFileFrameTime = static_cast<double>(duration) / 10000000.0 / static_cast<double>(frames) * 1000.0;
    Aborting = false;
    Params->SetImageCount(static_cast<int32_t>(frames));
    Params->FileType = 0;
    Params->FileName = FileName;
    int32_t width = 0, height = 0;
    std::string format;
    graph.GetVideoRenderSize(width, height, format);
    Params->Width = Params->OriginalWidth = width;
    Params->Height = Params->OriginalHeight = height;
    return static_cast<int32_t>(frames);
}

void TPicturaIO::LoadMediaFileFrame(int32_t Frame) {
    if (!MediaFile) return;
    Aborting = false;
    // A frame past either end would leave the grabber's last frame in place, loaded as if it
    // were the one asked for.
    if (!MakeConsistentBitmap(0) || Frame < 0 || Frame >= Params->ImageCount) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    Params->SetImageIndex(Frame);
    MediaFile->SetCurrentPosition(static_cast<int64_t>(Frame) * MediaFileFrameStep);
    MediaFile->GetSample(IOBitmap, true);
    Params->MediaFileFrameDelayTime = MediaFileFrameTime;
    Update();
    DoFinishWork();
}

void TPicturaIO::CloseMediaFile() {
    if (!MediaFile) return;
    MediaFile->Disconnect();
    MediaFile.reset();
}

// ---- the component's own graph -----------------------------------------------------------------

TIEDirectShow* TPicturaIO::GetDShowParams() {
    if (!DShowParams) DShowParams = std::make_unique<TIEDirectShow>();
    if (AttachedPictura)
        DShowParams->SetNotifyWindow(IEViewWindowHandle(AttachedPictura), IEMSG_DSHOW_FRAME, IEMSG_DSHOW_EVENT);
    return DShowParams.get();
}

void TPicturaIO::UpdateDShowNotifyWindow() {
    if (!AttachedPictura || !DShowParams) return;
    void* window = IEViewWindowHandle(AttachedPictura);
    if (window != DShowParams->GetNotifyWindow())
        DShowParams->SetNotifyWindow(window, IEMSG_DSHOW_FRAME, IEMSG_DSHOW_EVENT);
}
