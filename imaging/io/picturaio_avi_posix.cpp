// No AVI file library on this platform: every open fails.
#include "picturaio_avi.h"

void IEAVILibraryInit() {}
void IEAVILibraryExit() {}
bool IEAVIOpen(const std::wstring&, TIEAVIHandles& Handles, TIEAVIStreamInfo& Info) {
    Handles = TIEAVIHandles();
    Info = TIEAVIStreamInfo();
    return false;
}
const void* IEAVIGetFrame(const TIEAVIHandles&, int32_t) { return nullptr; }
void IEAVIClose(TIEAVIHandles& Handles) { Handles = TIEAVIHandles(); }
