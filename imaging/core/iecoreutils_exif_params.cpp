// The EXIF routines that work on parameter sets, in their own object file: a program that only
// probes EXIF blocks does not link the parameter set.
#include "iebitmap.h"
#include "iecoreutils_exif.h"
#include "imaging/io/picturaio_params.h"

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
