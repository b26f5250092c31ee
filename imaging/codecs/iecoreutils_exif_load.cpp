// Reading EXIF values and thumbnails out of TIFF structures: the payload of a JPEG APP1 marker,
// a TIFF-structured camera-raw file, and a TIFF file. The structure itself is read by the TIFF
// reader; these routines choose its passes and move the results into the caller's parameters.
#include <atomic>
#include <memory>

#include "Classes.h"
#include "iebitmap.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_geometry.h"
#include "iemask.h"
#include "imaging/codecs/tiffilt_read.h"
#include "picturaio_params.h"

namespace {

// One pass of the TIFF reader with its own abort flag and no progress handler; true when it did
// not abort.
bool ReadPass(TIEBitmap* Bitmap, TStream* Stream, TIOParamsVals& Params, bool ParamsOnly, bool Thumbnail,
              bool IsEXIFBlock) {
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    TIEMask* mask = nullptr;
    int32_t count = 0;
    IEReadTIFFStream(Bitmap, Stream, count, Params, progress, ParamsOnly, mask, true, true, Thumbnail, IsEXIFBlock);
    delete mask;
    return !aborting;
}

// Params' EXIF thumbnail, created when missing, emptied.
TIEBitmap* EmptyThumbnail(TIOParamsVals& Params) {
    if (!Params.EXIFThumbnail) Params.EXIFThumbnail.reset(new TIEBitmap());
    Params.EXIFThumbnail->FreeImage(true);
    return Params.EXIFThumbnail.get();
}

}  // namespace

bool IELoadEXIFFromBuffer(const uint8_t* Data, int32_t DataLen, TIOParamsVals* Params) {
    if (!IEIsEXIFBlock(Data, DataLen)) return false;
    TIOParamsVals temp(Params->Owner);
    TMemoryStream stream;
    if (DataLen > 6) stream.WriteBuffer(Data + 6, DataLen - 6);
    stream.SetPosition(0);
    TIEBitmap* thumbnail = EmptyThumbnail(*Params);

    ReadPass(thumbnail, &stream, temp, true, false, true);
    IECopyEXIF(&temp, Params, false);
    Params->HasEXIFData = true;

    temp.SetImageIndex(1);
    stream.SetPosition(0);
    if (!ReadPass(thumbnail, &stream, temp, false, true, false)) thumbnail->FreeImage(true);
    IEApplyOrientation(thumbnail, Params->EXIFOrientation);
    return true;
}

bool IEReadRawEXIF(TStream* Stream, TIOParamsVals* Params) {
    const int64_t start = Stream->GetPosition();
    TIEBitmap* thumbnail = EmptyThumbnail(*Params);
    TIOParamsVals temp(Params->Owner);
    TIEBitmap a, b;
    try {
        TIEBitmap unused;
        ReadPass(&unused, Stream, temp, true, false, true);
        IECopyEXIF(&temp, Params, false);
        Params->HasEXIFData = true;

        temp.SetImageIndex(0);
        Stream->SetPosition(start);
        if (!ReadPass(&a, Stream, temp, false, true, false)) a.FreeImage(true);
        temp.SetImageIndex(1);
        Stream->SetPosition(start);
        if (!ReadPass(&b, Stream, temp, false, true, false)) b.FreeImage(true);

        // The smaller of the two pages that hold something.
        const bool aEmpty = a.GetWidth() == 0 || a.GetHeight() == 0;
        const bool bEmpty = b.GetWidth() == 0 || b.GetHeight() == 0;
        if (!aEmpty && (bEmpty || a.GetWidth() < b.GetWidth()) && !a.IsAllZero())
            thumbnail->Assign(&a);
        else if (!bEmpty && (aEmpty || b.GetWidth() < a.GetWidth()) && !b.IsAllZero())
            thumbnail->Assign(&b);
    } catch (...) {
        Stream->SetPosition(start);
        throw;
    }
    Stream->SetPosition(start);
    return true;
}

bool IEReadTIFFEXIF(TStream* Stream, TIOParamsVals* Params) {
    const int64_t start = Stream->GetPosition();
    EmptyThumbnail(*Params);
    TIEBitmap unused;
    try {
        ReadPass(&unused, Stream, *Params, true, false, false);
    } catch (...) {
        Stream->SetPosition(start);
        throw;
    }
    Stream->SetPosition(start);
    return true;
}
