// HD Photo loading and saving through the system's imaging component (iewic).
#include "picturaio.h"
#include "picturaio_finish.h"

#include "iecoreutils_streams.h"
#include "iewic.h"

namespace {
// The mode of TIEWideFileStream that creates (or truncates) the file.
constexpr uint16_t kCreateFile = 0xFFFF;
}  // namespace

void TPicturaIO::LoadFromFileHDP(const std::wstring& FileName) {
    TIEWideFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    SyncLoadFromStreamHDP(&stream);
    Params->FileName = FileName;
}

void TPicturaIO::LoadFromStreamHDP(TStream* Stream) { SyncLoadFromStreamHDP(Stream); }

void TPicturaIO::SyncLoadFromStreamHDP(TStream* Stream) {
    LoadStreamSteps(*Stream, ioHDP, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        IEReadHDPhotoStream(&S, IOBitmap, *Params, Progress, false);
        return true;
    });
}

void TPicturaIO::SaveToFileHDP(const std::wstring& FileName) {
    Aborting = true;
    {
        TIEWideFileStream stream(FileName, kCreateFile);
        SyncSaveToStreamHDP(&stream);
    }
    Params->FileName = FileName;
    Params->FileType = ioHDP;
}

void TPicturaIO::SaveToStreamHDP(TStream* Stream) { SyncSaveToStreamHDP(Stream); }

void TPicturaIO::SyncSaveToStreamHDP(TStream* Stream) {
    Aborting = false;
    IEWithFinishWork(*this, [&] {
        if (!MakeConsistentBitmap(0)) return;
        TIOProgressRecord progress = MakeProgressRecord();
        IEWriteHDPhotoStream(Stream, IOBitmap, *Params, progress);
    });
}
