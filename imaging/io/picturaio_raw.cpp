// The camera-raw loaders: a file or stream through LibRaw (imaging/codecs/ieraw.h) into IOBitmap.
#include "picturaio.h"
#include "picturaio_thread.h"

#include <memory>

#include "iebitmap.h"
#include "iecoreutils_streams.h"
#include "imaging/codecs/ieraw.h"
#include "picturaio_formats.h"

void TPicturaIO::LoadFromFileRAW(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileRAW, FileName)) return;
    TIEWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    SyncLoadFromStreamRAW(&file);
    Params->FileName = FileName;
}

void TPicturaIO::LoadFromStreamRAW(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamRAW, Stream)) return;
    SyncLoadFromStreamRAW(Stream);
}

void TPicturaIO::SyncLoadFromStreamRAW(TStream* Stream) {
    // A plug-in registered for the extension takes the files the built-in reader would (with no
    // format table at all, nothing claims it and the built-in reader runs).
    const TIOFileType claimed = IEExtensionToFileType(L"RAW");
    if (claimed != ioRAW && claimed != ioUnknown) {
        LoadFromStreamFormat(Stream, claimed);
        return;
    }
    LoadStreamSteps(*Stream, ioRAW, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        IEReadCameraRAWStream(&S, IOBitmap, *Params, Progress, false);
        return true;
    });
}
