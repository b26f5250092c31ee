#include "picturaio_params.h"

#include <algorithm>
#include <cstring>
#include "CheckedMath.h"

#include "iebitmap.h"
#include "iecoredefs_settings.h"

TIEParamsOwnerBitmapSizeProc IEParamsOwnerBitmapSize = nullptr;
TIEParamsOwnerDpiChangedProc IEParamsOwnerDpiChanged = nullptr;

TTIFFLZWDecompressor IETIFFLZWDecompressor = nullptr;
TTIFFLZWCompressor IETIFFLZWCompressor = nullptr;
TGIFLZWDecompressor IEGIFLZWDecompressor = nullptr;
TGIFLZWCompressor IEGIFLZWCompressor = nullptr;

TIOParamsVals::TIOParamsVals(TPicturaIO* AOwner)
    : Owner(AOwner),
      GIFComments(std::make_unique<TStringList>()),
      JPEGMarkers(std::make_unique<TIEMarkerList>()),
      PNGTextKeys(std::make_unique<TStringList>()),
      PNGTextValues(std::make_unique<TStringList>()),
      DICOMTags(std::make_unique<TIEDICOMTags>()),
      IPTCInfo(std::make_unique<TIEIPTCInfoList>()),
      PXMComments(std::make_unique<TStringList>()),
      EXIFMakerNote(std::make_unique<TIETagsHandler>()) {
    SetDefaultParams();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDefaultParams() {
    FreeColorMap();
    // Every plain value to its default at once; the few that the reset keeps are put back.
    const int32_t keptWidth = Width, keptHeight = Height, keptDpiX = DpiX, keptDpiY = DpiY;
    const double keptMediaDelay = MediaFileFrameDelayTime;
    static_cast<TIOParamsPlainValues&>(*this) = TIOParamsPlainValues();
    MediaFileFrameDelayTime = keptMediaDelay;
    Width = keptWidth;
    Height = keptHeight;
    DpiX = keptDpiX;
    DpiY = keptDpiY;
    if (Owner) {
        if (IEParamsOwnerBitmapSize) IEParamsOwnerBitmapSize(Owner, Width, Height);
        SetDpiX(IEDefaultDPIX);
        SetDpiY(IEDefaultDPIY);
    }

    GIFLZWDecompress = IEGIFLZWDecompressor;
    GIFLZWCompress = IEGIFLZWCompressor;
    GIFComments->Clear();
    TIFFLZWDecompress = IETIFFLZWDecompressor;
    TIFFLZWCompress = IETIFFLZWCompressor;
    JPEGMarkers->Clear();
    PNGTextKeys->Clear();
    PNGTextValues->Clear();
    DICOMTags->Clear();
    TGADate = Date();
    IPTCInfo->Clear();
    IPTCInfo->SetModified(false);   // emptied by the reset, not changed: a JPEG save keeps APP13
    PXMComments->Clear();

    // After the DPI and the TIFF orientation: the EXIF resolution and orientation end at 0.
    ResetEXIF();

    ImagingAnnot.reset();
    InputICCProfile.reset();
    OutputICCProfile.reset();
    DefaultICCProfile.reset();
}

void TIOParamsVals::ResetEXIF() {
    EXIFTags.clear();
    EXIFThumbnail.reset();
    static_cast<TIOParamsEXIFValues&>(*this) = TIOParamsEXIFValues();
    EXIFMakerNote->Clear();
    // Only the first EXIF block goes, so that a later JPEG save does not write stale EXIF data.
    for (int32_t i = 0; i < JPEGMarkers->GetCount(); ++i) {
        if (JPEGMarkers->GetMarkerType(i) == 0xE1 &&
            IEIsEXIFBlock(JPEGMarkers->GetMarkerData(i), JPEGMarkers->GetMarkerLength(i))) {
            JPEGMarkers->DeleteMarker(i);
            break;
        }
    }
}

void TIOParamsVals::ResetInfo() {
    IPTCInfo->Clear();
    IPTCInfo->SetModified(false);   // emptied by the reset, not changed: a JPEG save keeps APP13
    ImagingAnnot.reset();
    JPEGMarkers->Clear();
    ResetEXIF();
    GIFComments->Clear();
    DICOMTags->Clear();
    PNGTextKeys->Clear();
    PNGTextValues->Clear();
    TIFFDocumentName.clear();
    TIFFImageDescription.clear();
    TIFFPageName.clear();
    TGADescriptor.clear();
    TGAAuthor.clear();
    TGAImageName.clear();
    PXMComments->Clear();
    XMPInfo.clear();
    InputICCProfile.reset();
}

void TIOParamsVals::FreeColorMap() {
    ColorMap.reset();
    ColorMapCount = 0;
}

namespace {

// Dest becomes a copy of Source's object when Source has one, else Dest's is freed.
template <typename T, typename Make>
void AssignOptional(std::unique_ptr<T>& Dest, const std::unique_ptr<T>& Source, Make MakeNew) {
    if (!Source) {
        Dest.reset();
        return;
    }
    if (!Dest) Dest = MakeNew();
    Dest->Assign(Source.get());
}

}  // namespace

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
    if (!Source || Source == this) return;
    // Every plain value as it stands, then the ones with logic through their setters (the DPI
    // reaches an attached viewer; the indexes and counts all end equal).
    const double keptMediaDelay = MediaFileFrameDelayTime;
    static_cast<TIOParamsPlainValues&>(*this) = *Source;
    MediaFileFrameDelayTime = keptMediaDelay;
    SetDpiX(Source->DpiX);
    SetDpiY(Source->DpiY);
    SetImageIndex(Source->ImageIndex);
    SetImageCount(Source->ImageCount);

    FreeColorMap();
    if (Source->ColorMap && Source->ColorMapCount > 0) {
        ColorMap = std::make_unique<TIERGB[]>(static_cast<size_t>(Source->ColorMapCount));
        std::memcpy(ColorMap.get(), Source->ColorMap.get(), sizeof(TIERGB) * static_cast<size_t>(Source->ColorMapCount));
        ColorMapCount = Source->ColorMapCount;
    }

    GIFComments->Assign(Source->GIFComments.get());
    PNGTextKeys->Assign(Source->PNGTextKeys.get());
    PNGTextValues->Assign(Source->PNGTextValues.get());
    PXMComments->Assign(Source->PXMComments.get());
    JPEGMarkers->Assign(Source->JPEGMarkers.get());
    DICOMTags->Assign(Source->DICOMTags.get());
    IPTCInfo->Assign(Source->IPTCInfo.get());
    IPTCInfo->SetModified(Source->IPTCInfo->GetModified());   // as changed as the source

    AssignOptional(ImagingAnnot, Source->ImagingAnnot, [this] { return std::make_unique<TIEImagingAnnot>(this); });
    auto newICC = [] { return std::make_unique<TIEICC>(); };
    AssignOptional(InputICCProfile, Source->InputICCProfile, newICC);
    AssignOptional(OutputICCProfile, Source->OutputICCProfile, newICC);
    AssignOptional(DefaultICCProfile, Source->DefaultICCProfile, newICC);

    // The EXIF and GPS values with the tags present and the thumbnail. The values carry both
    // orientations as the source has them.
    static_cast<TIOParamsEXIFValues&>(*this) = *Source;
    EXIFTags = Source->EXIFTags;
    EXIFThumbnail.reset();
    if (Source->EXIFThumbnail) EXIFThumbnail = std::make_unique<TIEBitmap>(Source->EXIFThumbnail.get());
}

void TIOParamsVals::SetDpiX(int32_t Value) {
    DpiX = Value;
    EXIFXResolution = Value;
    if (Owner && IEParamsOwnerDpiChanged) IEParamsOwnerDpiChanged(Owner, false, Value);
}

void TIOParamsVals::SetDpiY(int32_t Value) {
    DpiY = Value;
    EXIFYResolution = Value;
    if (Owner && IEParamsOwnerDpiChanged) IEParamsOwnerDpiChanged(Owner, true, Value);
}

// The whole-number resolution of an EXIF rational saturates: a file may hold any value, NaN included.
void TIOParamsVals::SetEXIFXResolution(double Value) {
    SetDpiX(Checked::TruncSaturate<int32_t>(Value));
    EXIFXResolution = Value;
}

void TIOParamsVals::SetEXIFYResolution(double Value) {
    SetDpiY(Checked::TruncSaturate<int32_t>(Value));
    EXIFYResolution = Value;
}

void TIOParamsVals::SetImageIndex(int32_t Value) {
    ImageIndex = Value;
    TIFFImageIndex = Value;
    DCXImageIndex = Value;
    GIFImageIndex = Value;
    ICOImageIndex = Value;
    CURImageIndex = Value;
}

void TIOParamsVals::SetImageCount(int32_t Value) {
    ImageCount = Value;
    TIFFImageCount = Value;
    AVIFrameCount = Value;
    GIFImageCount = Value;
    MediaFileFrameCount = Value;
}

void TIOParamsVals::SetGetThumbnail(bool Value) {
    GetThumbnail = Value;
    JPEGGetExifThumbnail = Value;
    RAWGetExifThumbnail = Value;
}

void TIOParamsVals::SetJPEGGetExifThumbnail(bool Value) {
    GetThumbnail = Value;
    JPEGGetExifThumbnail = Value;
}

void TIOParamsVals::SetRAWGetExifThumbnail(bool Value) { RAWGetExifThumbnail = Value; }

void TIOParamsVals::SetTIFFOrientation(int32_t Value) {
    TIFFOrientation = Value;
    EXIFOrientation = Value;
}

void TIOParamsVals::SetEXIFOrientation(int32_t Value) { SetTIFFOrientation(Value); }

TIEICC* TIOParamsVals::GetInputICCProfile() {
    if (!InputICCProfile) InputICCProfile = std::make_unique<TIEICC>();
    return InputICCProfile.get();
}

TIEICC* TIOParamsVals::GetDefaultICCProfile() {
    if (!DefaultICCProfile) DefaultICCProfile = std::make_unique<TIEICC>();
    return DefaultICCProfile.get();
}

TIEICC* TIOParamsVals::GetOutputICCProfile() {
    if (!OutputICCProfile) {
        OutputICCProfile = std::make_unique<TIEICC>();
        OutputICCProfile->LoadSRGB();
    }
    return OutputICCProfile.get();
}

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
    if (!ImagingAnnot) ImagingAnnot = std::make_unique<TIEImagingAnnot>(this);
    return ImagingAnnot.get();
}

void TIOParamsVals::AddEXIFTag(int32_t Tag) {
    if (!HasEXIFTag(Tag)) EXIFTags.push_back(Tag);
}

void TIOParamsVals::RemoveEXIFTag(int32_t Tag) {
    auto it = std::find(EXIFTags.begin(), EXIFTags.end(), Tag);
    if (it != EXIFTags.end()) EXIFTags.erase(it);
}

bool TIOParamsVals::HasEXIFTag(int32_t Tag) const {
    return std::find(EXIFTags.begin(), EXIFTags.end(), Tag) != EXIFTags.end();
}

template <typename T>
void TIOParamsVals::SetEXIFValue(T& Field, T Value, int32_t Tag, T Absent) {
    Field = Value;
    // Exact comparison: only the absent value itself removes the tag.
    if (Value != Absent)
        AddEXIFTag(Tag);
    else
        RemoveEXIFTag(Tag);
}

void TIOParamsVals::SetEXIFExposureTime(double Value) { SetEXIFValue(EXIFExposureTime, Value, 33434, -1.0); }
void TIOParamsVals::SetEXIFFNumber(double Value) { SetEXIFValue(EXIFFNumber, Value, 33437, -1.0); }
void TIOParamsVals::SetEXIFExposureProgram(int32_t Value) { SetEXIFValue(EXIFExposureProgram, Value, 34850, -1); }
void TIOParamsVals::SetEXIFCompressedBitsPerPixel(double Value) { SetEXIFValue(EXIFCompressedBitsPerPixel, Value, 37122, 0.0); }
void TIOParamsVals::SetEXIFShutterSpeedValue(double Value) { SetEXIFValue(EXIFShutterSpeedValue, Value, 37377, -1.0); }
void TIOParamsVals::SetEXIFApertureValue(double Value) { SetEXIFValue(EXIFApertureValue, Value, 37378, -1.0); }
void TIOParamsVals::SetEXIFBrightnessValue(double Value) { SetEXIFValue(EXIFBrightnessValue, Value, 37379, -1000.0); }
void TIOParamsVals::SetEXIFExposureBiasValue(double Value) { SetEXIFValue(EXIFExposureBiasValue, Value, 37380, -1000.0); }
void TIOParamsVals::SetEXIFMaxApertureValue(double Value) { SetEXIFValue(EXIFMaxApertureValue, Value, 37381, -1000.0); }
void TIOParamsVals::SetEXIFSubjectDistance(double Value) { SetEXIFValue(EXIFSubjectDistance, Value, 37382, -1.0); }
void TIOParamsVals::SetEXIFMeteringMode(int32_t Value) { SetEXIFValue(EXIFMeteringMode, Value, 37383, -1); }
void TIOParamsVals::SetEXIFLightSource(int32_t Value) { SetEXIFValue(EXIFLightSource, Value, 37384, -1); }
void TIOParamsVals::SetEXIFFlash(int32_t Value) { SetEXIFValue(EXIFFlash, Value, 37385, -1); }
void TIOParamsVals::SetEXIFFocalLength(double Value) { SetEXIFValue(EXIFFocalLength, Value, 37386, -1.0); }
void TIOParamsVals::SetEXIFColorSpace(int32_t Value) { SetEXIFValue(EXIFColorSpace, Value, 40961, -1); }
void TIOParamsVals::SetEXIFExifImageWidth(int32_t Value) { SetEXIFValue(EXIFExifImageWidth, Value, 40962, 0); }
void TIOParamsVals::SetEXIFExifImageHeight(int32_t Value) { SetEXIFValue(EXIFExifImageHeight, Value, 40963, 0); }
void TIOParamsVals::SetEXIFFocalPlaneXResolution(double Value) { SetEXIFValue(EXIFFocalPlaneXResolution, Value, 41486, -1.0); }
void TIOParamsVals::SetEXIFFocalPlaneYResolution(double Value) { SetEXIFValue(EXIFFocalPlaneYResolution, Value, 41487, -1.0); }
void TIOParamsVals::SetEXIFFocalPlaneResolutionUnit(int32_t Value) { SetEXIFValue(EXIFFocalPlaneResolutionUnit, Value, 41488, -1); }
void TIOParamsVals::SetEXIFExposureIndex(double Value) { SetEXIFValue(EXIFExposureIndex, Value, 41493, -1.0); }
void TIOParamsVals::SetEXIFSensingMethod(int32_t Value) { SetEXIFValue(EXIFSensingMethod, Value, 41495, -1); }
void TIOParamsVals::SetEXIFFileSource(int32_t Value) { SetEXIFValue(EXIFFileSource, Value, 41728, -1); }
void TIOParamsVals::SetEXIFSceneType(int32_t Value) { SetEXIFValue(EXIFSceneType, Value, 41729, -1); }
