#include "iecoreutils_exif.h"

#include <vector>

#include "ByteOrder.h"
#include "Classes.h"
#include "iebitmap.h"
#include "imaging/io/picturaio_params.h"

bool IEIsEXIFBlock(const uint8_t* Data, int32_t Length) {
    static const uint8_t kIdentifier[5] = {'E', 'x', 'i', 'f', 0};
    if (!Data || Length < 5) return false;
    for (int i = 0; i < 5; ++i)
        if (Data[i] != kIdentifier[i]) return false;
    return true;
}

int64_t IEFindTIFFHeader(TStream* Stream) {
    constexpr int32_t kWindow = 128 * 1024;
    const int64_t start = Stream->GetPosition();
    const int64_t size = Stream->GetSize();
    std::vector<uint8_t> buf(kWindow);
    const int32_t got = Stream->Read(buf.data(), kWindow);
    Stream->SetPosition(start);
    for (int32_t i = 0; i + 8 <= got; ++i) {
        const uint8_t* p = buf.data() + i;
        bool little;
        if (p[0] == 'I' && p[1] == 'I') little = true;
        else if (p[0] == 'M' && p[1] == 'M') little = false;
        else continue;
        const uint16_t magic = little ? ByteOrder::GetLE16(p + 2) : ByteOrder::GetBE16(p + 2);
        const uint32_t ifd = little ? ByteOrder::GetLE32(p + 4) : ByteOrder::GetBE32(p + 4);
        if ((magic == 42 || magic == 20306 || magic == 21330) && static_cast<int64_t>(ifd) < size) return i;
    }
    return -1;
}

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
