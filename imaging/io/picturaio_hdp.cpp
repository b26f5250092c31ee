// HD Photo loading through the system's imaging component (iewic); its savers are with the others
// (picturaio_save.cpp).
#include "picturaio.h"
#include "picturaio_thread.h"

#include "iecoreutils_streams.h"
#include "iewic.h"

void TPicturaIO::LoadFromFileHDP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileHDP, FileName)) return;
    TIEWideFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    SyncLoadFromStreamHDP(&stream);
    Params->FileName = FileName;
}

void TPicturaIO::LoadFromStreamHDP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamHDP, Stream)) return;
    SyncLoadFromStreamHDP(Stream);
}

void TPicturaIO::SyncLoadFromStreamHDP(TStream* Stream) {
    LoadStreamSteps(*Stream, ioHDP, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        IEReadHDPhotoStream(&S, IOBitmap, *Params, Progress, false);
        return true;
    });
}
