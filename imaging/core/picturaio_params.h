// The parameter set of one image file (TIOParamsVals) and the progress record (TIOProgressRecord)
// that the I/O component passes to every codec.
//
// A load fills the set with what the file says (size, resolution, pixel layout, page count,
// per-format settings, metadata); a save reads it to decide how to write. Codecs read and write
// the fields directly. Fields with logic (DPI, image index and count, orientations, the EXIF
// numerics that keep EXIFTags in step, the thumbnail switches) are written through their setters.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iecoredefs_types.h"
#include "iecoreutils_dicomtags.h"
#include "iecoreutils_exif.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_tiffhandler.h"
#include "iecoreutils_wang.h"

class TIEBitmap;
class TPicturaIO;

// The file types of the library (TIOFileType). ioAVI, ioWMV and ioMPEG (a frame of a video)
// have no row in the file-format table.
using TIOFileType = int32_t;
constexpr TIOFileType ioUnknown = 0;
constexpr TIOFileType ioTIFF = 1;
constexpr TIOFileType ioGIF = 2;
constexpr TIOFileType ioJPEG = 3;
constexpr TIOFileType ioPCX = 4;
constexpr TIOFileType ioBMP = 5;
constexpr TIOFileType ioICO = 6;
constexpr TIOFileType ioCUR = 7;
constexpr TIOFileType ioPNG = 8;
constexpr TIOFileType ioWMF = 9;
constexpr TIOFileType ioEMF = 10;
constexpr TIOFileType ioTGA = 11;
constexpr TIOFileType ioPXM = 12;
constexpr TIOFileType ioJP2 = 13;
constexpr TIOFileType ioJ2K = 14;
constexpr TIOFileType ioAVI = 15;
constexpr TIOFileType ioWBMP = 16;
constexpr TIOFileType ioPS = 17;
constexpr TIOFileType ioPDF = 18;
constexpr TIOFileType ioDCX = 19;
constexpr TIOFileType ioRAW = 20;
constexpr TIOFileType ioRawBitmap = 21;
constexpr TIOFileType ioWMV = 22;
constexpr TIOFileType ioMPEG = 23;
constexpr TIOFileType ioPSD = 24;
constexpr TIOFileType ioIEV = 25;
constexpr TIOFileType ioLYR = 26;
constexpr TIOFileType ioALL = 27;
constexpr TIOFileType ioDICOM = 28;
constexpr TIOFileType ioHDP = 29;

// Progress: the Sender and a percentage.
using TIEProgressEvent = std::function<void(TObject* Sender, int32_t per)>;

// The progress record built on the stack of each operation and passed by reference to a codec.
// A codec reports progress only when OnProgress is assigned, with Sender and
// Trunc(units done x PercentPerUnit). It reports bad, truncated or unsupported data by setting
// *Aborting and returning, and stops when it finds *Aborting set by someone else (a worker thread
// may set it: the flag is atomic).
struct TIOProgressRecord {
    TIEProgressEvent OnProgress;
    TObject* Sender = nullptr;
    int32_t Counter = 0;
    int32_t Total = 0;
    double PercentPerUnit = 0;
    double PercentPerUnit2 = 0;
    std::atomic<bool>* Aborting = nullptr;
};

// The LZW codec procedures of TIFF and GIF, reached through the parameter set so that they can be
// replaced.
//  TIFF decoder: with State null, starts a decoder over the DataSize bytes of Data (the whole
//  strip) and decodes; later calls continue (Data only needs to be non-null); Data null frees the
//  state and returns null. Each decoding call returns the next row (RowBytes bytes) or null on a
//  corrupt stream. DataSize bounds the decoder: it never reads past the strip.
using TTIFFLZWDecompressor = void* (*)(const void* Data, int32_t DataSize, int32_t RowBytes, void*& State,
                                       int32_t FillOrder);
//  TIFF encoder: State null starts and encodes Data; Data set continues; Data null ends the
//  stream and frees the state.
using TTIFFLZWCompressor = void (*)(const void* Data, int32_t Count, TStream* Stream, void*& State);
//  GIF decoder and encoder over Width x Height palette indexes, one byte each, rows top to bottom.
using TGIFLZWDecompressor = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer);
using TGIFLZWCompressor = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, void* Buffer,
                                   int32_t BitsPerPixel);

// The library-wide LZW procedures; the I/O unit's start-up installs them and every new
// parameter set copies them. Null until then.
extern TTIFFLZWDecompressor IETIFFLZWDecompressor;
extern TTIFFLZWCompressor IETIFFLZWCompressor;
extern TGIFLZWDecompressor IEGIFLZWDecompressor;
extern TGIFLZWCompressor IEGIFLZWCompressor;

// One (width, height) entry of the icon sizes written into an icon file.
struct TIEIcoSize {
    int32_t Width;
    int32_t Height;
};

// The EXIF and GPS values of the set. Each member's initial value is its "absent" value: the
// value that means the tag is not in the file and that the EXIF writer leaves out.
struct TIOParamsEXIFValues {
    bool HasEXIFData = false;
    int32_t EXIFOrientation = 0;
    std::string EXIFImageDescription;
    std::string EXIFMake;
    std::string EXIFModel;
    double EXIFXResolution = 0;
    double EXIFYResolution = 0;
    int32_t EXIFResolutionUnit = 0;
    std::string EXIFSoftware;
    std::string EXIFArtist;
    std::string EXIFDateTime;
    double EXIFWhitePoint[2] = {-1, -1};
    double EXIFPrimaryChromaticities[6] = {-1, -1, -1, -1, -1, -1};
    double EXIFYCbCrCoefficients[3] = {-1, -1, -1};
    int32_t EXIFYCbCrPositioning = -1;
    double EXIFReferenceBlackWhite[6] = {-1, -1, -1, -1, -1, -1};
    std::string EXIFRightsNotice;
    double EXIFExposureTime = -1;
    double EXIFFNumber = -1;
    int32_t EXIFExposureProgram = -1;
    int32_t EXIFISOSpeedRatings[2] = {0, 0};
    std::string EXIFExifVersion;
    std::string EXIFDateTimeOriginal;
    std::string EXIFDateTimeDigitized;
    double EXIFCompressedBitsPerPixel = 0;
    double EXIFShutterSpeedValue = -1;
    double EXIFApertureValue = -1;
    double EXIFBrightnessValue = -1000;
    double EXIFExposureBiasValue = -1000;
    double EXIFMaxApertureValue = -1000;
    double EXIFSubjectDistance = -1;
    int32_t EXIFMeteringMode = -1;
    int32_t EXIFLightSource = -1;
    int32_t EXIFFlash = -1;
    double EXIFFocalLength = -1;
    std::string EXIFSubsecTime;
    std::string EXIFSubsecTimeOriginal;
    std::string EXIFSubsecTimeDigitized;
    std::string EXIFFlashPixVersion;
    int32_t EXIFColorSpace = -1;
    int32_t EXIFExifImageWidth = 0;
    int32_t EXIFExifImageHeight = 0;
    std::string EXIFRelatedSoundFile;
    double EXIFFocalPlaneXResolution = -1;
    double EXIFFocalPlaneYResolution = -1;
    int32_t EXIFFocalPlaneResolutionUnit = -1;
    double EXIFExposureIndex = -1;
    int32_t EXIFSensingMethod = -1;
    int32_t EXIFFileSource = -1;
    int32_t EXIFSceneType = -1;
    std::wstring EXIFUserComment;
    // "UNICODE", "ASCII" or "JIS" padded with zero bytes to eight; empty when absent.
    std::string EXIFUserCommentCode;
    int32_t EXIFXPRating = -1;
    std::wstring EXIFXPTitle;
    std::wstring EXIFXPComment;
    std::wstring EXIFXPAuthor;
    std::wstring EXIFXPKeywords;
    std::wstring EXIFXPSubject;
    int32_t EXIFExposureMode = -1;
    int32_t EXIFWhiteBalance = -1;
    double EXIFDigitalZoomRatio = -1;
    int32_t EXIFFocalLengthIn35mmFilm = -1;
    int32_t EXIFSceneCaptureType = -1;
    int32_t EXIFGainControl = -1;
    int32_t EXIFContrast = -1;
    int32_t EXIFSaturation = -1;
    int32_t EXIFSharpness = -1;
    int32_t EXIFSubjectDistanceRange = -1;
    std::string EXIFImageUniqueID;
    std::string EXIFGPSVersionID;
    std::string EXIFGPSLatitudeRef;
    double EXIFGPSLatitudeDegrees = 0;
    double EXIFGPSLatitudeMinutes = 0;
    double EXIFGPSLatitudeSeconds = 0;
    std::string EXIFGPSLongitudeRef;
    double EXIFGPSLongitudeDegrees = 0;
    double EXIFGPSLongitudeMinutes = 0;
    double EXIFGPSLongitudeSeconds = 0;
    std::string EXIFGPSAltitudeRef;
    double EXIFGPSAltitude = 0;
    double EXIFGPSTimeStampHour = 0;
    double EXIFGPSTimeStampMinute = 0;
    double EXIFGPSTimeStampSecond = 0;
    std::string EXIFGPSSatellites;
    std::string EXIFGPSStatus;
    std::string EXIFGPSMeasureMode;
    double EXIFGPSDOP = 0;
    std::string EXIFGPSSpeedRef;
    double EXIFGPSSpeed = 0;
    std::string EXIFGPSTrackRef;
    double EXIFGPSTrack = 0;
    std::string EXIFGPSImgDirectionRef;
    double EXIFGPSImgDirection = 0;
    std::string EXIFGPSMapDatum;
    std::string EXIFGPSDestLatitudeRef;
    double EXIFGPSDestLatitudeDegrees = 0;
    double EXIFGPSDestLatitudeMinutes = 0;
    double EXIFGPSDestLatitudeSeconds = 0;
    std::string EXIFGPSDestLongitudeRef;
    double EXIFGPSDestLongitudeDegrees = 0;
    double EXIFGPSDestLongitudeMinutes = 0;
    double EXIFGPSDestLongitudeSeconds = 0;
    std::string EXIFGPSDestBearingRef;
    double EXIFGPSDestBearing = 0;
    std::string EXIFGPSDestDistanceRef;
    double EXIFGPSDestDistance = 0;
    std::string EXIFGPSDateStamp;
};

// Every plain value of the set (numbers, texts, switches, codec procedures) with the value that
// SetDefaultParams gives it, apart from the EXIF values above. The owned objects and the owner
// are in TIOParamsVals itself.
struct TIOParamsPlainValues {
    // Common.
    int32_t BitsPerSample = 8;
    std::wstring FileName;
    int32_t SamplesPerPixel = 3;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t DpiX = 0;   // written through SetDpiX
    int32_t DpiY = 0;   // written through SetDpiY
    TIOFileType FileType = ioUnknown;
    int32_t ImageIndex = 0;   // written through SetImageIndex
    int32_t ImageCount = 0;   // written through SetImageCount
    bool GetThumbnail = false;
    bool IsResource = false;
    int32_t OriginalWidth = 0;
    int32_t OriginalHeight = 0;

    // TIFF.
    uint8_t TIFFCompression = 0;
    int32_t TIFFImageIndex = 0;
    int32_t TIFFSubIndex = -1;
    uint8_t TIFFPhotometric = 2;
    int32_t TIFFPlanarConfig = 1;
    int32_t TIFFXPos = 0;
    int32_t TIFFYPos = 0;
    int32_t TIFFGetTile = -1;
    std::string TIFFDocumentName;
    std::string TIFFImageDescription;
    std::string TIFFPageName;
    int32_t TIFFPageNumber = -1;
    int32_t TIFFPageCount = -1;
    int32_t TIFFOrientation = 1;   // written through SetTIFFOrientation
    TTIFFLZWDecompressor TIFFLZWDecompress = nullptr;
    TTIFFLZWCompressor TIFFLZWCompress = nullptr;
    bool TIFFEnableAdjustOrientation = false;
    int32_t TIFFJPEGQuality = 80;
    uint8_t TIFFJPEGColorSpace = 2;
    int32_t TIFFZIPCompression = 1;
    int32_t TIFFImageCount = 0;
    int32_t TIFFFillOrder = 1;
    bool TIFFLittleEndian = true;

    // DCX.
    int32_t DCXImageIndex = 0;

    // GIF.
    std::string GIFVersion = "GIF89a";
    int32_t GIFImageIndex = 0;
    int32_t GIFXPos = 0;
    int32_t GIFYPos = 0;
    int32_t GIFDelayTime = 0;
    bool GIFFlagTranspColor = false;
    TIERGB GIFTranspColor = {0, 0, 0};
    bool GIFInterlaced = false;
    int32_t GIFWinWidth = 0;
    int32_t GIFWinHeight = 0;
    TIERGB GIFBackground = {0, 0, 0};
    int32_t GIFRatio = 0;
    uint8_t GIFAction = 2;
    TGIFLZWDecompressor GIFLZWDecompress = nullptr;
    TGIFLZWCompressor GIFLZWCompress = nullptr;
    int32_t GIFImageCount = 0;

    // JPEG.
    uint8_t JPEGColorSpace = 2;
    int32_t JPEGQuality = 80;
    uint8_t JPEGDCTMethod = 0;
    uint8_t JPEGCromaSubsampling = 1;
    bool JPEGOptimalHuffman = false;
    int32_t JPEGSmooth = 0;
    bool JPEGProgressive = false;
    uint8_t JPEGScale = 1;
    int32_t JPEGScaleUsed = 1;
    bool JPEGEnableAdjustOrientation = false;
    bool JPEGGetExifThumbnail = false;   // written through SetJPEGGetExifThumbnail
    // Warnings the JPEG library reported during the last load: how many, and the last code.
    int32_t JPEGWarningCount = 0;
    int32_t JPEGWarningCode = 0;

    // JPEG 2000, PCX, BMP.
    uint8_t J2000ColorSpace = 1;
    double J2000Rate = 1.0;
    uint8_t J2000ScalableBy = 0;
    int32_t PCXVersion = 5;
    uint8_t PCXCompression = 1;
    uint8_t BMPVersion = 1;
    uint8_t BMPCompression = 0;
    bool BMPHandleTransparency = false;

    // ICO and CUR.
    int32_t ICOImageIndex = 0;
    TIERGB ICOBackground = {255, 255, 255};
    int32_t CURImageIndex = 0;
    int32_t CURXHotSpot = 0;
    int32_t CURYHotSpot = 0;
    TIERGB CURBackground = {255, 255, 255};

    // PNG.
    bool PNGInterlaced = false;
    TIERGB PNGBackground = {0, 0, 0};
    uint8_t PNGFilter = 0;
    int32_t PNGCompression = 5;

    // TGA.
    int32_t TGAXPos = 0;
    int32_t TGAYPos = 0;
    bool TGACompressed = true;
    std::string TGADescriptor;
    std::string TGAAuthor;
    double TGADate = 0;   // today, time 0, after SetDefaultParams
    std::string TGAImageName;
    // The job name of the extension area.
    std::string TGAJob;
    TIERGB TGABackground = {0, 0, 0};
    double TGAAspectRatio = 1.0;
    double TGAGamma = 2.2;
    bool TGAGrayLevel = false;

    // Frames of video files.
    int32_t AVIFrameCount = 0;
    double AVIFrameDelayTime = 0;
    int32_t MediaFileFrameCount = 0;
    double MediaFileFrameDelayTime = 0;   // neither reset nor copied

    // PostScript and PDF.
    int32_t PSPaperWidth = 595;
    int32_t PSPaperHeight = 842;
    uint8_t PSCompression = 1;
    std::string PSTitle = "No Title";
    int32_t PDFPaperWidth = 595;
    int32_t PDFPaperHeight = 842;
    uint8_t PDFCompression = 2;
    std::string PDFTitle;
    std::string PDFAuthor;
    std::string PDFSubject;
    std::string PDFKeywords;
    std::string PDFCreator;
    std::string PDFProducer;

    // Camera raw.
    bool RAWHalfSize = false;
    double RAWGamma = 0.6;
    double RAWBright = 1.0;
    double RAWRedScale = 1.0;
    double RAWBlueScale = 1.0;
    bool RAWQuickInterpolate = true;
    bool RAWUseAutoWB = false;
    bool RAWUseCameraWB = false;
    bool RAWFourColorRGB = false;
    std::string RAWCamera;
    bool RAWGetExifThumbnail = false;   // written through SetRAWGetExifThumbnail
    bool RAWAutoAdjustColors = false;

    // Headerless raw pixels.
    bool BMPRAWChannelOrder = false;
    uint8_t BMPRAWPlanar = 0;
    int32_t BMPRAWRowAlign = 8;
    int32_t BMPRAWHeaderSize = 0;
    uint8_t BMPRAWDataFormat = 0;

    // PSD, HD Photo, XMP.
    bool PSDLoadLayers = false;
    bool PSDReplaceLayers = true;
    double HDPImageQuality = 0.9;
    bool HDPLossless = false;
    std::string XMPInfo;

    bool NativePixelFormat = false;

    // The images an icon save writes: a pair with a zero width ends the list.
    TIEIcoSize ICOSizes[16] = {{64, 64}};
    int32_t ICOBitCount[16] = {8};
};

class TIOParamsVals : public TObject, public TIOParamsPlainValues, public TIOParamsEXIFValues {
public:
    KW_CLASS_NAME(TIOParamsVals)

    // The component that owns the set (a plain back reference; may be null).
    TPicturaIO* Owner;

    // The palette of the loaded image: ColorMapCount entries, owned by the set.
    std::unique_ptr<TIERGB[]> ColorMap;
    int32_t ColorMapCount = 0;

    // Owned lists, created with the set.
    const std::unique_ptr<TStringList> GIFComments;
    const std::unique_ptr<TIEMarkerList> JPEGMarkers;
    const std::unique_ptr<TStringList> PNGTextKeys;
    const std::unique_ptr<TStringList> PNGTextValues;
    const std::unique_ptr<TIEDICOMTags> DICOMTags;
    const std::unique_ptr<TIEIPTCInfoList> IPTCInfo;
    const std::unique_ptr<TStringList> PXMComments;
    // The EXIF tag numbers present, kept in step by the EXIF setters.
    std::vector<int32_t> EXIFTags;
    const std::unique_ptr<TIETagsHandler> EXIFMakerNote;
    // The EXIF thumbnail image, or null.
    std::unique_ptr<TIEBitmap> EXIFThumbnail;

    // Objects that exist only while set; fetched through their getters, which create them.
    std::unique_ptr<TIEImagingAnnot> ImagingAnnot;
    std::unique_ptr<TIEICC> InputICCProfile;
    std::unique_ptr<TIEICC> OutputICCProfile;
    std::unique_ptr<TIEICC> DefaultICCProfile;

    // Creates the owned lists, then SetDefaultParams.
    explicit TIOParamsVals(TPicturaIO* AOwner);
    ~TIOParamsVals() override;
    TIOParamsVals(const TIOParamsVals&) = delete;
    TIOParamsVals& operator=(const TIOParamsVals&) = delete;

    // Every field to its default; Width, Height, DpiX and DpiY keep their values without an
    // owner; MediaFileFrameDelayTime is kept.
    void SetDefaultParams();
    // Every EXIF and GPS field to its absent value; EXIFTags, the thumbnail and the maker note
    // cleared; the first EXIF APP1 marker of JPEGMarkers deleted.
    void ResetEXIF();
    // Clears the metadata of the previous load, keeping the format settings.
    void ResetInfo();
    void FreeColorMap();
    // Copies the whole set but Owner and MediaFileFrameDelayTime.
    void Assign(const TIOParamsVals* Source);

    void SetDpiX(int32_t Value);
    void SetDpiY(int32_t Value);
    void SetEXIFXResolution(double Value);
    void SetEXIFYResolution(double Value);
    // ImageIndex and every per-format index.
    void SetImageIndex(int32_t Value);
    // ImageCount and every per-format count.
    void SetImageCount(int32_t Value);
    void SetGetThumbnail(bool Value);
    void SetJPEGGetExifThumbnail(bool Value);
    void SetRAWGetExifThumbnail(bool Value);
    // Both TIFFOrientation and EXIFOrientation.
    void SetTIFFOrientation(int32_t Value);
    void SetEXIFOrientation(int32_t Value);

    TIEICC* GetInputICCProfile();
    TIEICC* GetDefaultICCProfile();
    // Created as the system's sRGB profile.
    TIEICC* GetOutputICCProfile();
    TIEImagingAnnot* GetImagingAnnot();

    void AddEXIFTag(int32_t Tag);
    void RemoveEXIFTag(int32_t Tag);
    bool HasEXIFTag(int32_t Tag) const;

    // Each stores its value and keeps the tag in EXIFTags unless the value is the absent one.
    void SetEXIFExposureTime(double Value);
    void SetEXIFFNumber(double Value);
    void SetEXIFExposureProgram(int32_t Value);
    void SetEXIFCompressedBitsPerPixel(double Value);
    void SetEXIFShutterSpeedValue(double Value);
    void SetEXIFApertureValue(double Value);
    void SetEXIFBrightnessValue(double Value);
    void SetEXIFExposureBiasValue(double Value);
    void SetEXIFMaxApertureValue(double Value);
    void SetEXIFSubjectDistance(double Value);
    void SetEXIFMeteringMode(int32_t Value);
    void SetEXIFLightSource(int32_t Value);
    void SetEXIFFlash(int32_t Value);
    void SetEXIFFocalLength(double Value);
    void SetEXIFColorSpace(int32_t Value);
    void SetEXIFExifImageWidth(int32_t Value);
    void SetEXIFExifImageHeight(int32_t Value);
    void SetEXIFFocalPlaneXResolution(double Value);
    void SetEXIFFocalPlaneYResolution(double Value);
    void SetEXIFFocalPlaneResolutionUnit(int32_t Value);
    void SetEXIFExposureIndex(double Value);
    void SetEXIFSensingMethod(int32_t Value);
    void SetEXIFFileSource(int32_t Value);
    void SetEXIFSceneType(int32_t Value);

    // Element access to the EXIF arrays; callers keep Index in range (not checked).
    void SetEXIFISOSpeedRatings(int32_t Index, int32_t Value) { EXIFISOSpeedRatings[Index] = Value; }
    int32_t GetEXIFISOSpeedRatings(int32_t Index) const { return EXIFISOSpeedRatings[Index]; }
    void SetEXIFWhitePoint(int32_t Index, double Value) { EXIFWhitePoint[Index] = Value; }
    double GetEXIFWhitePoint(int32_t Index) const { return EXIFWhitePoint[Index]; }
    void SetEXIFPrimaryChromaticities(int32_t Index, double Value) { EXIFPrimaryChromaticities[Index] = Value; }
    double GetEXIFPrimaryChromaticities(int32_t Index) const { return EXIFPrimaryChromaticities[Index]; }
    void SetEXIFYCbCrCoefficients(int32_t Index, double Value) { EXIFYCbCrCoefficients[Index] = Value; }
    double GetEXIFYCbCrCoefficients(int32_t Index) const { return EXIFYCbCrCoefficients[Index]; }
    void SetEXIFReferenceBlackWhite(int32_t Index, double Value) { EXIFReferenceBlackWhite[Index] = Value; }
    double GetEXIFReferenceBlackWhite(int32_t Index) const { return EXIFReferenceBlackWhite[Index]; }

private:
    template <typename T>
    void SetEXIFValue(T& Field, T Value, int32_t Tag, T Absent);
};

// The links of the set to its owning component, which the component's library installs (every
// component does when it is made, so a set with an owner always finds them): the size of the
// owner's VCL bitmap (TPicturaIO::GetBitmap; false when it has none) and the resolution passed on
// to a viewer the owner is attached to (without a repaint). Null until then.
using TIEParamsOwnerBitmapSizeProc = bool (*)(TPicturaIO* Owner, int32_t& Width, int32_t& Height);
using TIEParamsOwnerDpiChangedProc = void (*)(TPicturaIO* Owner, bool Vertical, int32_t Value);
extern TIEParamsOwnerBitmapSizeProc IEParamsOwnerBitmapSize;
extern TIEParamsOwnerDpiChangedProc IEParamsOwnerDpiChanged;
