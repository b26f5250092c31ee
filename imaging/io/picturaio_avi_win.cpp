// AVI frames through the system's AVI file library.
#include <windows.h>
#include <vfw.h>

#include "picturaio_avi.h"

void IEAVILibraryInit() { AVIFileInit(); }
void IEAVILibraryExit() { AVIFileExit(); }

bool IEAVIOpen(const std::wstring& FileName, TIEAVIHandles& Handles, TIEAVIStreamInfo& Info) {
    Handles = TIEAVIHandles();
    Info = TIEAVIStreamInfo();
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, FileName.c_str(), OF_READ, nullptr) != 0 || !file) return false;
    Handles.File = file;
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) != 0 || !stream) {
        IEAVIClose(Handles);
        return false;
    }
    Handles.Stream = stream;
    AVISTREAMINFOW info;
    static_assert(sizeof(info) == 204, "the stream information record");
    if (AVIStreamInfoW(stream, &info, sizeof(info)) != 0) {
        IEAVIClose(Handles);
        return false;
    }
    PGETFRAME frames = AVIStreamGetFrameOpen(stream, nullptr);
    if (!frames) {
        IEAVIClose(Handles);
        return false;
    }
    Handles.Frames = frames;
    Info.Scale = info.dwScale;
    Info.Rate = info.dwRate;
    Info.Length = info.dwLength;
    return true;
}

const void* IEAVIGetFrame(const TIEAVIHandles& Handles, int32_t Frame) {
    if (!Handles.Frames) return nullptr;
    return AVIStreamGetFrame(static_cast<PGETFRAME>(Handles.Frames), Frame);
}

void IEAVIClose(TIEAVIHandles& Handles) {
    if (Handles.Frames) AVIStreamGetFrameClose(static_cast<PGETFRAME>(Handles.Frames));
    if (Handles.Stream) AVIStreamRelease(static_cast<PAVISTREAM>(Handles.Stream));
    if (Handles.File) AVIFileRelease(static_cast<PAVIFILE>(Handles.File));
    Handles = TIEAVIHandles();
}
