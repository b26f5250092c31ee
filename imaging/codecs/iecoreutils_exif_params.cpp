// The EXIF routines that work on parameter sets, in their own object file: a program that only
// probes EXIF blocks does not link the parameter set.
#include <atomic>
#include <cstring>

#include "iebitmap.h"
#include "imaging/codecs/tiffilt_write.h"
#include "iecoreutils_exif_tiff.h"
#include "imaging/core/picturaio_params.h"

void IECopyEXIF(TIOParamsVals* Source, TIOParamsVals* Dest, bool CopyThumbnail) {
    if (!Source || !Dest || Source == Dest) return;
    Dest->EXIFTags = Source->EXIFTags;
    if (CopyThumbnail) {
        Dest->EXIFThumbnail.reset();
        if (Source->EXIFThumbnail) Dest->EXIFThumbnail = std::make_unique<TIEBitmap>(Source->EXIFThumbnail.get());
    }
    // Texts and plain values (HasEXIFData among them) directly, then through the setters.
    static_cast<TIOParamsEXIFValues&>(*Dest) = static_cast<const TIOParamsEXIFValues&>(*Source);
    Dest->SetEXIFOrientation(Source->EXIFOrientation);
    Dest->SetEXIFXResolution(Source->EXIFXResolution);
    Dest->SetEXIFYResolution(Source->EXIFYResolution);
    for (int32_t i = 0; i < 2; ++i) Dest->SetEXIFISOSpeedRatings(i, Source->GetEXIFISOSpeedRatings(i));
    for (int32_t i = 0; i < 6; ++i) Dest->SetEXIFReferenceBlackWhite(i, Source->GetEXIFReferenceBlackWhite(i));
    for (int32_t i = 0; i < 2; ++i) Dest->SetEXIFWhitePoint(i, Source->GetEXIFWhitePoint(i));
    for (int32_t i = 0; i < 6; ++i) Dest->SetEXIFPrimaryChromaticities(i, Source->GetEXIFPrimaryChromaticities(i));
    for (int32_t i = 0; i < 3; ++i) Dest->SetEXIFYCbCrCoefficients(i, Source->GetEXIFYCbCrCoefficients(i));
    Dest->SetEXIFExposureTime(Source->EXIFExposureTime);
    Dest->SetEXIFFNumber(Source->EXIFFNumber);
    Dest->SetEXIFExposureProgram(Source->EXIFExposureProgram);
    Dest->SetEXIFCompressedBitsPerPixel(Source->EXIFCompressedBitsPerPixel);
    Dest->SetEXIFShutterSpeedValue(Source->EXIFShutterSpeedValue);
    Dest->SetEXIFApertureValue(Source->EXIFApertureValue);
    Dest->SetEXIFBrightnessValue(Source->EXIFBrightnessValue);
    Dest->SetEXIFExposureBiasValue(Source->EXIFExposureBiasValue);
    Dest->SetEXIFMaxApertureValue(Source->EXIFMaxApertureValue);
    Dest->SetEXIFSubjectDistance(Source->EXIFSubjectDistance);
    Dest->SetEXIFMeteringMode(Source->EXIFMeteringMode);
    Dest->SetEXIFLightSource(Source->EXIFLightSource);
    Dest->SetEXIFFlash(Source->EXIFFlash);
    Dest->SetEXIFFocalLength(Source->EXIFFocalLength);
    Dest->SetEXIFColorSpace(Source->EXIFColorSpace);
    Dest->SetEXIFExifImageWidth(Source->EXIFExifImageWidth);
    Dest->SetEXIFExifImageHeight(Source->EXIFExifImageHeight);
    Dest->SetEXIFFocalPlaneXResolution(Source->EXIFFocalPlaneXResolution);
    Dest->SetEXIFFocalPlaneYResolution(Source->EXIFFocalPlaneYResolution);
    Dest->SetEXIFFocalPlaneResolutionUnit(Source->EXIFFocalPlaneResolutionUnit);
    Dest->SetEXIFExposureIndex(Source->EXIFExposureIndex);
    Dest->SetEXIFSensingMethod(Source->EXIFSensingMethod);
    Dest->SetEXIFFileSource(Source->EXIFFileSource);
    Dest->SetEXIFSceneType(Source->EXIFSceneType);
    Dest->EXIFMakerNote->Assign(Source->EXIFMakerNote.get());
}

void IESaveEXIFToBuffer(TIOParamsVals* Params, std::unique_ptr<uint8_t[]>& Buffer, int32_t& BufferLen,
                        bool WithHeader) {
    Buffer.reset();
    BufferLen = 0;
    if (!Params) return;
    TMemoryStream stream;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    IEWriteTIFFStream(&stream, false, nullptr, *Params, progress);
    if (aborting) return;
    TIEBitmap* thumb = Params->EXIFThumbnail.get();
    if (thumb && !thumb->IsEmpty()) {
        // The thumbnail: a second page in old-style JPEG.
        TIOParamsVals thumbParams(nullptr);
        thumbParams.SetImageIndex(1);
        thumbParams.TIFFCompression = 6;
        stream.SetPosition(0);
        IEWriteTIFFStream(&stream, true, thumb, thumbParams, progress);
        if (aborting) return;
    }
    const int64_t size = stream.GetSize();
    const int64_t total = size + (WithHeader ? 6 : 0);
    if (size <= 0 || total > 0x7FFFFFFF) return;
    Buffer.reset(new uint8_t[static_cast<size_t>(total)]);
    uint8_t* p = Buffer.get();
    if (WithHeader) {
        static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
        std::memcpy(p, kHeader, 6);
        p += 6;
    }
    std::memcpy(p, stream.GetMemory(), static_cast<size_t>(size));
    BufferLen = static_cast<int32_t>(total);
}
