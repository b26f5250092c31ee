// The HD Photo entry points over the imaging component's reader and writer (iewic.h).
#include "iewic.h"

#include "codecs_common.h"
#include "tiffilt_write.h"

void IEReadHDPhotoStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                         bool Preview) {
    (void)Preview;
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, 0);
    bool aborting = false;
    TIEWICReader reader;
    if (reader.Open(Stream, ioHDP))
        reader.Read(IOParams.ImageIndex, Bitmap, aborting, &IOParams);
    else
        aborting = true;
    if (aborting) IEAbort(Progress);
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, 0);
}

void IEWriteHDPhotoStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress) {
    if (!IEWICAvailable()) {
        IEAbort(Progress);
        return;
    }
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, 0);
    const int64_t start = Stream->GetPosition();
    bool written = false;
    {
        // The encoder commits when the writer goes, before the file is read back below.
        TIEWICWriter writer;
        written = writer.Open(Stream, ioHDP) && writer.WriteFrame(Bitmap, &IOParams);
    }
    if (written) {
        Stream->SetPosition(start);
        IEInjectEXIFTags(Stream, Stream, L"", L"", 0, IOParams);
    } else {
        // No encoder (or a failed frame): nothing usable was written, and no tags are added to it.
        IEAbort(Progress);
    }
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, 0);
}
