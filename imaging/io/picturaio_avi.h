// The platform layer of the I/O component's AVI frames: the system's AVI file library (the
// Windows build's picturaio_avi_win.cpp). Where there is none (picturaio_avi_posix.cpp) every
// open fails.
#pragma once

#include <cstdint>
#include <string>

// What the component keeps of the video stream's information record.
struct TIEAVIStreamInfo {
    uint32_t Scale = 0;
    uint32_t Rate = 0;
    uint32_t Length = 0;
};

// The open file, its first video stream and its frame reader (all null when nothing is open).
struct TIEAVIHandles {
    void* File = nullptr;
    void* Stream = nullptr;
    void* Frames = nullptr;
};

// The library's own start-up and shut-down (once per process).
void IEAVILibraryInit();
void IEAVILibraryExit();
// Opens FileName, its first video stream and a frame reader with no preferred format. False,
// with nothing left open, when any step fails.
bool IEAVIOpen(const std::wstring& FileName, TIEAVIHandles& Handles, TIEAVIStreamInfo& Info);
// The packed DIB of one frame (owned by the reader, valid until the next call); null when none.
const void* IEAVIGetFrame(const TIEAVIHandles& Handles, int32_t Frame);
// Releases the reader, the stream and the file (what is open) and nulls them.
void IEAVIClose(TIEAVIHandles& Handles);
