// The image parameter set: defaults, the setters that fan out, the EXIF tag bookkeeping, the
// resets and the whole-set copy.
#include <gtest/gtest.h>

#include <cstring>

#include "SysUtils.h"
#include "iebitmap.h"
#include "picturaio_params.h"

namespace {

void AddMarker(TIOParamsVals& p, uint8_t type, const char* text) {
    p.JPEGMarkers->AddMarker(type, text, static_cast<uint16_t>(std::strlen(text) + 1));
}

}  // namespace

TEST(TIOParamsVals, DefaultsOfANewSetWithoutOwner) {
    TIOParamsVals p(nullptr);
    EXPECT_EQ(p.Owner, nullptr);
    // Without an owner, size and resolution keep their initial 0.
    EXPECT_EQ(p.Width, 0);
    EXPECT_EQ(p.Height, 0);
    EXPECT_EQ(p.DpiX, 0);
    EXPECT_EQ(p.DpiY, 0);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 3);
    EXPECT_EQ(p.FileType, ioUnknown);
    EXPECT_EQ(p.TIFFOrientation, 1);
    EXPECT_EQ(p.EXIFOrientation, 0);
    EXPECT_EQ(p.EXIFXResolution, 0);
    EXPECT_EQ(p.TIFFSubIndex, -1);
    EXPECT_EQ(p.TIFFGetTile, -1);
    EXPECT_EQ(p.TIFFPageNumber, -1);
    EXPECT_TRUE(p.TIFFLittleEndian);
    EXPECT_EQ(p.GIFVersion, "GIF89a");
    EXPECT_EQ(p.GIFAction, 2);
    EXPECT_EQ(p.JPEGQuality, 80);
    EXPECT_EQ(p.JPEGScale, 1);
    EXPECT_EQ(p.J2000Rate, 1.0);
    EXPECT_EQ(p.PCXVersion, 5);
    EXPECT_EQ(p.ICOBackground.r, 255);
    EXPECT_EQ(p.CURBackground.b, 255);
    EXPECT_EQ(p.PNGCompression, 5);
    EXPECT_TRUE(p.TGACompressed);
    EXPECT_EQ(p.TGAGamma, 2.2);
    EXPECT_EQ(p.TGADate, Date());
    EXPECT_EQ(p.PSTitle, "No Title");
    EXPECT_EQ(p.PDFCompression, 2);
    EXPECT_EQ(p.PDFPaperHeight, 842);
    EXPECT_EQ(p.RAWGamma, 0.6);
    EXPECT_TRUE(p.RAWQuickInterpolate);
    EXPECT_TRUE(p.PSDReplaceLayers);
    EXPECT_EQ(p.HDPImageQuality, 0.9);
    EXPECT_EQ(p.BMPRAWRowAlign, 8);
    EXPECT_EQ(p.ICOSizes[0].Width, 64);
    EXPECT_EQ(p.ICOSizes[0].Height, 64);
    EXPECT_EQ(p.ICOSizes[1].Width, 0);
    EXPECT_EQ(p.ICOBitCount[0], 8);
    EXPECT_EQ(p.ICOBitCount[15], 0);
    // EXIF at its absent values.
    EXPECT_EQ(p.EXIFBrightnessValue, -1000);
    EXPECT_EQ(p.EXIFCompressedBitsPerPixel, 0);
    EXPECT_EQ(p.EXIFWhitePoint[1], -1);
    EXPECT_EQ(p.EXIFISOSpeedRatings[0], 0);
    EXPECT_EQ(p.EXIFXPRating, -1);
    EXPECT_TRUE(p.EXIFTags.empty());
    // Lazily created objects do not exist yet; the owned lists do.
    EXPECT_EQ(p.ImagingAnnot, nullptr);
    EXPECT_EQ(p.OutputICCProfile, nullptr);
    ASSERT_NE(p.JPEGMarkers, nullptr);
    ASSERT_NE(p.EXIFMakerNote, nullptr);
}

TEST(TIOParamsVals, SetDefaultParamsKeepsSizeAndDpiWithoutOwnerAndMediaDelay) {
    TIOParamsVals p(nullptr);
    p.Width = 640;
    p.Height = 480;
    p.SetDpiX(150);
    p.SetDpiY(96);
    p.MediaFileFrameDelayTime = 40;
    p.JPEGQuality = 12;
    p.FileName = L"a.jpg";
    p.SetTIFFOrientation(6);
    p.GIFComments->Add(L"x");
    p.ColorMap = std::make_unique<TIERGB[]>(2);
    p.ColorMapCount = 2;
    p.GetOutputICCProfile();
    p.SetDefaultParams();
    EXPECT_EQ(p.Width, 640);
    EXPECT_EQ(p.Height, 480);
    EXPECT_EQ(p.DpiX, 150);
    EXPECT_EQ(p.DpiY, 96);
    // The EXIF reset runs after the resolution: the EXIF copy of it ends at 0.
    EXPECT_EQ(p.EXIFXResolution, 0);
    EXPECT_EQ(p.MediaFileFrameDelayTime, 40);
    EXPECT_EQ(p.JPEGQuality, 80);
    EXPECT_TRUE(p.FileName.empty());
    EXPECT_EQ(p.TIFFOrientation, 1);
    EXPECT_EQ(p.EXIFOrientation, 0);
    EXPECT_EQ(p.GIFComments->GetCount(), 0);
    EXPECT_EQ(p.ColorMap, nullptr);
    EXPECT_EQ(p.ColorMapCount, 0);
    EXPECT_EQ(p.OutputICCProfile, nullptr);
}

TEST(TIOParamsVals, SettersThatFanOut) {
    TIOParamsVals p(nullptr);
    p.SetImageIndex(5);
    for (int32_t v : {p.ImageIndex, p.TIFFImageIndex, p.DCXImageIndex, p.GIFImageIndex, p.ICOImageIndex, p.CURImageIndex})
        EXPECT_EQ(v, 5);
    p.SetImageCount(7);
    for (int32_t v : {p.ImageCount, p.TIFFImageCount, p.AVIFrameCount, p.GIFImageCount, p.MediaFileFrameCount})
        EXPECT_EQ(v, 7);

    p.SetEXIFXResolution(299.7);
    EXPECT_EQ(p.DpiX, 299);
    EXPECT_EQ(p.EXIFXResolution, 299.7);
    p.SetDpiX(72);
    EXPECT_EQ(p.DpiX, 72);
    EXPECT_EQ(p.EXIFXResolution, 72);
    p.SetEXIFYResolution(-0.5);   // truncation goes toward zero
    EXPECT_EQ(p.DpiY, 0);
    EXPECT_EQ(p.EXIFYResolution, -0.5);

    p.SetEXIFOrientation(8);
    EXPECT_EQ(p.TIFFOrientation, 8);
    EXPECT_EQ(p.EXIFOrientation, 8);

    p.SetGetThumbnail(true);
    EXPECT_TRUE(p.GetThumbnail && p.JPEGGetExifThumbnail && p.RAWGetExifThumbnail);
    p.SetJPEGGetExifThumbnail(false);
    EXPECT_FALSE(p.GetThumbnail || p.JPEGGetExifThumbnail);
    EXPECT_TRUE(p.RAWGetExifThumbnail);
    p.SetRAWGetExifThumbnail(false);
    EXPECT_FALSE(p.RAWGetExifThumbnail);
}

TEST(TIOParamsVals, EXIFSettersKeepTheTagListInStep) {
    TIOParamsVals p(nullptr);
    struct Case {
        void (TIOParamsVals::*Set)(double);
        int32_t Tag;
        double Absent;
    };
    const Case doubles[] = {
        {&TIOParamsVals::SetEXIFExposureTime, 33434, -1},      {&TIOParamsVals::SetEXIFFNumber, 33437, -1},
        {&TIOParamsVals::SetEXIFCompressedBitsPerPixel, 37122, 0}, {&TIOParamsVals::SetEXIFShutterSpeedValue, 37377, -1},
        {&TIOParamsVals::SetEXIFApertureValue, 37378, -1},     {&TIOParamsVals::SetEXIFBrightnessValue, 37379, -1000},
        {&TIOParamsVals::SetEXIFExposureBiasValue, 37380, -1000}, {&TIOParamsVals::SetEXIFMaxApertureValue, 37381, -1000},
        {&TIOParamsVals::SetEXIFSubjectDistance, 37382, -1},   {&TIOParamsVals::SetEXIFFocalLength, 37386, -1},
        {&TIOParamsVals::SetEXIFFocalPlaneXResolution, 41486, -1}, {&TIOParamsVals::SetEXIFFocalPlaneYResolution, 41487, -1},
        {&TIOParamsVals::SetEXIFExposureIndex, 41493, -1},
    };
    for (const Case& c : doubles) {
        SCOPED_TRACE(c.Tag);
        (p.*c.Set)(c.Absent + 0.25);
        (p.*c.Set)(c.Absent + 1);   // a second non-absent value adds no second entry
        EXPECT_EQ(std::count(p.EXIFTags.begin(), p.EXIFTags.end(), c.Tag), 1);
        (p.*c.Set)(c.Absent);
        EXPECT_FALSE(p.HasEXIFTag(c.Tag));
    }
    struct IntCase {
        void (TIOParamsVals::*Set)(int32_t);
        int32_t Tag;
        int32_t Absent;
    };
    const IntCase ints[] = {
        {&TIOParamsVals::SetEXIFExposureProgram, 34850, -1}, {&TIOParamsVals::SetEXIFMeteringMode, 37383, -1},
        {&TIOParamsVals::SetEXIFLightSource, 37384, -1},     {&TIOParamsVals::SetEXIFFlash, 37385, -1},
        {&TIOParamsVals::SetEXIFColorSpace, 40961, -1},      {&TIOParamsVals::SetEXIFExifImageWidth, 40962, 0},
        {&TIOParamsVals::SetEXIFExifImageHeight, 40963, 0},  {&TIOParamsVals::SetEXIFFocalPlaneResolutionUnit, 41488, -1},
        {&TIOParamsVals::SetEXIFSensingMethod, 41495, -1},   {&TIOParamsVals::SetEXIFFileSource, 41728, -1},
        {&TIOParamsVals::SetEXIFSceneType, 41729, -1},
    };
    for (const IntCase& c : ints) {
        SCOPED_TRACE(c.Tag);
        (p.*c.Set)(c.Absent + 1);
        EXPECT_TRUE(p.HasEXIFTag(c.Tag));
        (p.*c.Set)(c.Absent);
        EXPECT_FALSE(p.HasEXIFTag(c.Tag));
    }
    EXPECT_TRUE(p.EXIFTags.empty());
    // -1 is a real brightness: only -1000 means absent.
    p.SetEXIFBrightnessValue(-1);
    EXPECT_TRUE(p.HasEXIFTag(37379));
    EXPECT_EQ(p.EXIFBrightnessValue, -1);
}

TEST(TIOParamsVals, ResetEXIFDropsOnlyTheFirstEXIFMarker) {
    TIOParamsVals p(nullptr);
    AddMarker(p, 0xE0, "JFIF");
    AddMarker(p, 0xE1, "http://ns.adobe.com/xap/1.0/");
    AddMarker(p, 0xE1, "Exif");   // the first EXIF block
    AddMarker(p, 0xE1, "Exif");   // a second one stays
    AddMarker(p, 0xE1, "Exifx");  // not an EXIF block
    p.SetEXIFFlash(1);
    p.EXIFMake = "maker";
    p.HasEXIFData = true;
    p.EXIFThumbnail = std::make_unique<TIEBitmap>(2, 2, ie24RGB);
    p.SetTIFFOrientation(3);
    p.ResetEXIF();
    ASSERT_EQ(p.JPEGMarkers->GetCount(), 4);
    EXPECT_EQ(p.JPEGMarkers->GetMarkerType(0), 0xE0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.JPEGMarkers->GetMarkerData(1))), "http://ns.adobe.com/xap/1.0/");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.JPEGMarkers->GetMarkerData(2))), "Exif");
    EXPECT_TRUE(p.EXIFTags.empty());
    EXPECT_EQ(p.EXIFFlash, -1);
    EXPECT_TRUE(p.EXIFMake.empty());
    EXPECT_FALSE(p.HasEXIFData);
    EXPECT_EQ(p.EXIFThumbnail, nullptr);
    // The TIFF orientation is not EXIF: it stays.
    EXPECT_EQ(p.TIFFOrientation, 3);
    EXPECT_EQ(p.EXIFOrientation, 0);
}

TEST(TIOParamsVals, ResetInfoClearsMetadataAndKeepsSettings) {
    TIOParamsVals p(nullptr);
    p.SetImageIndex(2);
    p.JPEGQuality = 55;
    p.TIFFCompression = 5;
    p.TIFFPageName = "page";
    p.XMPInfo = "<x/>";
    p.PNGTextKeys->Add(L"k");
    p.IPTCInfo->AddData(2, 5, "t", 1);
    AddMarker(p, 0xFE, "comment");
    p.GetImagingAnnot();
    p.GetInputICCProfile();
    p.GetOutputICCProfile();
    p.SetEXIFFNumber(2.8);
    p.ResetInfo();
    EXPECT_EQ(p.TIFFImageIndex, 2);
    EXPECT_EQ(p.JPEGQuality, 55);
    EXPECT_EQ(p.TIFFCompression, 5);
    EXPECT_TRUE(p.TIFFPageName.empty());
    EXPECT_TRUE(p.XMPInfo.empty());
    EXPECT_EQ(p.PNGTextKeys->GetCount(), 0);
    EXPECT_EQ(p.IPTCInfo->GetCount(), 0);
    EXPECT_EQ(p.JPEGMarkers->GetCount(), 0);
    EXPECT_EQ(p.ImagingAnnot, nullptr);
    EXPECT_EQ(p.InputICCProfile, nullptr);
    EXPECT_NE(p.OutputICCProfile, nullptr);
    EXPECT_EQ(p.EXIFFNumber, -1);
}

TEST(TIOParamsVals, LazyObjects) {
    TIOParamsVals p(nullptr);
    TIEImagingAnnot* annot = p.GetImagingAnnot();
    EXPECT_EQ(annot->GetParent(), &p);
    EXPECT_EQ(p.GetImagingAnnot(), annot);
    EXPECT_TRUE(p.GetOutputICCProfile()->IsSRGB());
    EXPECT_FALSE(p.GetInputICCProfile()->IsSRGB());
    TIEICC* defaultProfile = p.GetDefaultICCProfile();
    EXPECT_EQ(defaultProfile, p.DefaultICCProfile.get());
}

TEST(TIOParamsVals, AssignCopiesTheWholeSet) {
    TIOParamsVals src(nullptr), dst(nullptr);
    src.FileName = L"写真.tif";
    src.FileType = ioTIFF;
    src.Width = 100;
    src.Height = 50;
    src.SetDpiX(200);
    src.SetDpiY(100);
    src.TIFFImageIndex = 9;   // out of step on purpose: the copy puts every index in step
    src.SetImageIndex(3);
    src.TIFFImageIndex = 9;
    src.SetImageCount(4);
    src.JPEGQuality = 33;
    src.GIFTranspColor = {1, 2, 3};
    src.ICOSizes[1] = {32, 32};
    src.TGAJob = "job";
    src.JPEGWarningCount = 2;
    src.MediaFileFrameDelayTime = 66;
    src.ColorMap = std::make_unique<TIERGB[]>(256);
    for (int i = 0; i < 256; ++i) src.ColorMap[i] = {uint8_t(i), uint8_t(255 - i), 7};
    src.ColorMapCount = 256;
    src.GIFComments->Add(L"comment");
    src.PNGTextValues->Add(L"value");
    AddMarker(src, 0xE2, "ICC");
    src.IPTCInfo->AddData(2, 120, "caption", 7);
    src.GetInputICCProfile();
    src.SetEXIFFNumber(4);
    src.EXIFGPSLatitudeRef = "N";
    src.EXIFXPTitle = L"題名";
    src.SetEXIFOrientation(6);
    src.SetTIFFOrientation(6);
    src.EXIFThumbnail = std::make_unique<TIEBitmap>(3, 2, ie24RGB);
    src.XMPInfo = "<xmp/>";
    src.PDFTitle = "t";

    dst.MediaFileFrameDelayTime = 11;
    dst.GetImagingAnnot();
    dst.GetOutputICCProfile();
    dst.Assign(&src);

    EXPECT_EQ(dst.Owner, nullptr);
    EXPECT_EQ(dst.FileName, src.FileName);
    EXPECT_EQ(dst.FileType, ioTIFF);
    EXPECT_EQ(dst.Width, 100);
    EXPECT_EQ(dst.DpiX, 200);
    EXPECT_EQ(dst.DpiY, 100);
    for (int32_t v : {dst.ImageIndex, dst.TIFFImageIndex, dst.GIFImageIndex, dst.CURImageIndex}) EXPECT_EQ(v, 3);
    EXPECT_EQ(dst.AVIFrameCount, 4);
    EXPECT_EQ(dst.JPEGQuality, 33);
    EXPECT_EQ(dst.GIFTranspColor.r, 3);
    EXPECT_EQ(dst.ICOSizes[1].Width, 32);
    EXPECT_EQ(dst.TGAJob, "job");
    EXPECT_EQ(dst.JPEGWarningCount, 2);
    EXPECT_EQ(dst.MediaFileFrameDelayTime, 11);
    ASSERT_EQ(dst.ColorMapCount, 256);
    ASSERT_NE(dst.ColorMap.get(), src.ColorMap.get());
    EXPECT_EQ(std::memcmp(dst.ColorMap.get(), src.ColorMap.get(), 256 * sizeof(TIERGB)), 0);
    EXPECT_EQ(dst.GIFComments->GetCount(), 1);
    EXPECT_EQ(dst.PNGTextValues->GetCount(), 1);
    EXPECT_EQ(dst.JPEGMarkers->GetCount(), 1);
    EXPECT_EQ(dst.IPTCInfo->GetCount(), 1);
    // The source has no annotations and no output profile: the destination's go.
    EXPECT_EQ(dst.ImagingAnnot, nullptr);
    EXPECT_EQ(dst.OutputICCProfile, nullptr);
    ASSERT_NE(dst.InputICCProfile, nullptr);
    EXPECT_EQ(dst.EXIFFNumber, 4);
    EXPECT_TRUE(dst.HasEXIFTag(33437));
    EXPECT_EQ(dst.EXIFGPSLatitudeRef, "N");
    EXPECT_EQ(dst.EXIFXPTitle, L"題名");
    // The EXIF resolution follows the source's own value, not the DPI setter's.
    EXPECT_EQ(dst.EXIFXResolution, src.EXIFXResolution);
    EXPECT_EQ(dst.EXIFOrientation, 6);
    EXPECT_EQ(dst.TIFFOrientation, 6);
    ASSERT_NE(dst.EXIFThumbnail, nullptr);
    EXPECT_NE(dst.EXIFThumbnail.get(), src.EXIFThumbnail.get());
    EXPECT_EQ(dst.EXIFThumbnail->GetWidth(), 3);
    EXPECT_EQ(dst.XMPInfo, "<xmp/>");
    EXPECT_EQ(dst.PDFTitle, "t");

    // A source without palette or thumbnail frees the destination's.
    TIOParamsVals empty(nullptr);
    dst.Assign(&empty);
    EXPECT_EQ(dst.ColorMap, nullptr);
    EXPECT_EQ(dst.ColorMapCount, 0);
    EXPECT_EQ(dst.EXIFThumbnail, nullptr);
    EXPECT_EQ(dst.InputICCProfile, nullptr);
    // Copying a set onto itself changes nothing.
    src.Assign(&src);
    EXPECT_EQ(src.ColorMapCount, 256);
}

TEST(TIOParamsVals, NewSetsCopyTheInstalledLZWProcedures) {
    const TTIFFLZWDecompressor savedTiff = IETIFFLZWDecompressor;
    const TGIFLZWCompressor savedGif = IEGIFLZWCompressor;
    TTIFFLZWDecompressor tiff = [](const uint8_t*, int32_t, int32_t, void*&, int32_t) -> uint8_t* { return nullptr; };
    TGIFLZWCompressor gif = [](TStream*, int32_t, int32_t, bool, const uint8_t*, int32_t) {};
    IETIFFLZWDecompressor = tiff;
    IEGIFLZWCompressor = gif;
    TIOParamsVals p(nullptr);
    EXPECT_EQ(p.TIFFLZWDecompress, tiff);
    EXPECT_EQ(p.GIFLZWCompress, gif);
    IETIFFLZWDecompressor = savedTiff;
    IEGIFLZWCompressor = savedGif;
}
