// The JPEG codec glue against the bare library: decoded pixels, scaling, the start-of-image search,
// resolution, truncated and bad data, markers through a load and a save, CMYK and grey, the writer's
// options and failures, and the message table.
#include <gtest/gtest.h>

#include "imaging_codecs/JpegTestUtil.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_icc.h"
#include "iecoreutils_markers.h"
#include "picturaio_params.h"
#include "picturaview.h"

using namespace jpegtest;

namespace {

std::vector<uint8_t> WithPrefix(size_t Count, const std::vector<uint8_t>& Jpeg) {
    std::vector<uint8_t> bytes(Count, 0x11);
    bytes.insert(bytes.end(), Jpeg.begin(), Jpeg.end());
    return bytes;
}

// A marker segment inserted after the SOI marker (two bytes in).
std::vector<uint8_t> WithMarker(std::vector<uint8_t> Jpeg, uint8_t Code, const std::vector<uint8_t>& Payload) {
    std::vector<uint8_t> seg{0xFF, Code, static_cast<uint8_t>((Payload.size() + 2) >> 8),
                             static_cast<uint8_t>((Payload.size() + 2) & 0xFF)};
    seg.insert(seg.end(), Payload.begin(), Payload.end());
    Jpeg.insert(Jpeg.begin() + 2, seg.begin(), seg.end());
    return Jpeg;
}

std::vector<uint8_t> IccChunk(uint8_t Sequence, uint8_t Count, const std::string& Body) {
    std::vector<uint8_t> p{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, Sequence, Count};
    for (char ch : Body) p.push_back(static_cast<uint8_t>(ch));
    return p;
}

}  // namespace

TEST(JpegRead, ColourFilesDecodeLikeTheBareLibrary) {
    const TPixels pic = MakePicture(61, 37);   // odd sizes: partial MCUs at both edges
    struct Case {
        const char* Name;
        TBareOptions Options;
    } cases[] = {
        {"baseline", {}},
        {"progressive", [] { TBareOptions o; o.Progressive = true; return o; }()},
        {"arithmetic", [] { TBareOptions o; o.Arithmetic = true; return o; }()},
        {"RGB colour space", [] { TBareOptions o; o.FileSpace = JCS_RGB; o.WriteJFIF = false; return o; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<uint8_t> jpeg = BareEncode(pic, c.Options);
        ASSERT_FALSE(jpeg.empty());
        TLoad load;
        load.Run(jpeg);
        EXPECT_FALSE(load.Aborting);
        EXPECT_EQ(load.Rows, 37);
        EXPECT_EQ(load.Bitmap.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), BareDecode(jpeg)), 0);
        EXPECT_LE(MeanDifference(FromBitmap(load.Bitmap), pic), 6);   // and the picture is still there
        EXPECT_EQ(load.Params.JPEGProgressive, c.Options.Progressive);
        EXPECT_EQ(load.Params.JPEGColorSpace, c.Options.FileSpace == JCS_RGB ? 0 : 2);
        EXPECT_EQ(load.Params.Width, 61);
        EXPECT_EQ(load.Params.SamplesPerPixel, 3);
    }
}

TEST(JpegRead, ScaleChoiceAndScaledRows) {
    const std::vector<uint8_t> big = BareEncode(MakePicture(2400, 1600), [] {
        TBareOptions o;
        o.Quality = 50;
        return o;
    }());
    struct Case {
        uint8_t Scale;
        int32_t Width, Height;
        int32_t Used;
    } cases[] = {
        {0, 300, 200, 8}, {0, 301, 200, 4}, {0, 2400, 1600, 1}, {0, 0, 200, 1}, {0, 2401, 1, 1},
        {1, 0, 0, 1},     {2, 0, 0, 2},     {3, 0, 0, 4},       {4, 0, 0, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.Scale) << " " << c.Width << "x" << c.Height);
        TLoad load;
        load.ParamsOnly = true;
        load.Params.JPEGScale = c.Scale;
        load.Params.Width = c.Width;
        load.Params.Height = c.Height;
        load.Run(big);
        EXPECT_EQ(load.Params.JPEGScaleUsed, c.Used);
        EXPECT_EQ(load.Params.Width, 2400);   // the header's size with ParamsOnly
        EXPECT_EQ(load.Rows, 0);
        EXPECT_EQ(load.Bitmap.GetWidth(), 0);
    }
    TLoad load;
    load.Params.JPEGScale = 0;
    load.Params.Width = 300;
    load.Params.Height = 200;
    load.Run(big);
    EXPECT_EQ(load.Rows, 200);
    EXPECT_EQ(load.Bitmap.GetWidth(), 300);
    EXPECT_EQ(load.Params.OriginalWidth, 2400);
    EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), BareDecode(big, JCS_EXT_BGR, 8)), 0);
}

TEST(JpegRead, StartOfImageWithin150Bytes) {
    const std::vector<uint8_t> jpeg = BareEncode(MakePicture(16, 8));
    TLoad found;
    found.Run(WithPrefix(149, jpeg));
    EXPECT_FALSE(found.Aborting);
    EXPECT_EQ(found.Rows, 8);
    TLoad refused;
    refused.Run(WithPrefix(150, jpeg));
    EXPECT_TRUE(refused.Aborting);
    EXPECT_EQ(refused.Rows, 0);

    TMemoryStream s;
    Fill(s, WithPrefix(7, jpeg));
    s.SetPosition(3);
    EXPECT_EQ(IEFindJPEGStart(&s, true), 7);
    EXPECT_EQ(s.GetPosition(), 3);
    EXPECT_EQ(IEFindJPEGStart(&s, false), -1);
    s.SetPosition(7);
    EXPECT_EQ(IEFindJPEGStart(&s, false), 0);
}

TEST(JpegRead, ResolutionFromTheJFIFDensity) {
    struct Case {
        int Unit, X, Y;
        int32_t DpiX, DpiY;
    } cases[] = {{2, 118, 118, 299, 299}, {1, 300, 150, 300, 150}, {0, 1, 1, 1, 1}, {2, 50, 100, 127, 254}};
    for (const Case& c : cases) {
        TBareOptions o;
        o.DensityUnit = c.Unit;
        o.XDensity = c.X;
        o.YDensity = c.Y;
        TLoad load;
        load.ParamsOnly = true;
        load.Run(BareEncode(MakePicture(8, 8), o));
        EXPECT_EQ(load.Params.DpiX, c.DpiX) << c.Unit << " " << c.X;
        EXPECT_EQ(load.Params.DpiY, c.DpiY) << c.Unit << " " << c.Y;
    }
}

TEST(JpegRead, TruncatedEmptyAndBadData) {
    const std::vector<uint8_t> jpeg = BareEncode(MakePicture(64, 64));
    // Cut inside the entropy data: every row still comes, the library warned.
    TLoad cut;
    cut.Run(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    EXPECT_FALSE(cut.Aborting);
    EXPECT_EQ(cut.Rows, 64);
    EXPECT_GT(cut.Params.JPEGWarningCount, 0);
    EXPECT_NE(cut.Params.JPEGWarningCode, 0);

    TLoad whole;
    whole.Run(jpeg);
    EXPECT_EQ(whole.Params.JPEGWarningCount, 0);

    std::vector<std::vector<uint8_t>> refused = {
        {},                                                     // empty
        {0xFF, 0xD8, 0xFF},                                     // a start and nothing more
        std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 40),  // cut inside the header
    };
    std::vector<uint8_t> precision12 = jpeg;   // a 12-bit frame header
    for (size_t i = 2; i + 4 < precision12.size(); ++i)
        if (precision12[i] == 0xFF && precision12[i + 1] == 0xC0) {
            precision12[i + 4] = 12;
            break;
        }
    refused.push_back(precision12);
    for (const auto& bytes : refused) {
        TLoad load;
        load.Run(bytes);
        EXPECT_TRUE(load.Aborting) << bytes.size();
        EXPECT_EQ(load.Rows, 0) << bytes.size();
    }
}

TEST(JpegRead, MaxRowsStopsEarly) {
    const std::vector<uint8_t> jpeg = BareEncode(MakePicture(32, 40));
    TLoad load;
    load.MaxRows = 10;
    load.Run(jpeg);
    EXPECT_EQ(load.Rows, 10);
    EXPECT_FALSE(load.Aborting);
    EXPECT_EQ(load.Bitmap.GetHeight(), 40);
}

TEST(JpegRead, GreyAndCMYKByNativePixelFormat) {
    TPixels grey{24, 16, 1, {}};
    for (int i = 0; i < 24 * 16; ++i) grey.Data.push_back(static_cast<uint8_t>(i * 7));
    TBareOptions g;
    g.InSpace = JCS_GRAYSCALE;
    g.FileSpace = JCS_GRAYSCALE;
    const std::vector<uint8_t> greyJpeg = BareEncode(grey, g);
    const TPixels greyRef = BareDecode(greyJpeg);

    TLoad native;
    native.NativePixelFormat = true;
    native.Run(greyJpeg);
    EXPECT_EQ(native.Bitmap.GetPixelFormat(), ie8g);
    EXPECT_EQ(native.Params.JPEGColorSpace, 1);
    EXPECT_EQ(native.Params.SamplesPerPixel, 1);
    EXPECT_EQ(MaxDifference(FromBitmap(native.Bitmap), greyRef), 0);
    TLoad wide;
    wide.Run(greyJpeg);
    ASSERT_EQ(wide.Bitmap.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(wide.Bitmap.GetScanline(3)[5 * 3 + 2], greyRef.Data[3 * 24 + 5]);
    EXPECT_EQ(wide.Bitmap.GetScanline(3)[5 * 3], greyRef.Data[3 * 24 + 5]);

    // CMYK samples as the Adobe files store them (255 minus the ink).
    TPixels cmyk{20, 10, 4, {}};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) cmyk.Data.insert(cmyk.Data.end(), {uint8_t(x * 12), uint8_t(y * 25), 128, uint8_t(255 - x)});
    TBareOptions c;
    c.InSpace = JCS_CMYK;
    c.FileSpace = JCS_YCCK;
    const std::vector<uint8_t> cmykJpeg = BareEncode(cmyk, c);
    const TPixels cmykRef = BareDecode(cmykJpeg, JCS_CMYK);
    TLoad asCMYK;
    asCMYK.NativePixelFormat = true;
    asCMYK.Run(cmykJpeg);
    EXPECT_EQ(asCMYK.Bitmap.GetPixelFormat(), ieCMYK);
    EXPECT_EQ(asCMYK.Params.JPEGColorSpace, 4);
    EXPECT_EQ(asCMYK.Params.SamplesPerPixel, 4);
    EXPECT_EQ(MaxDifference(FromBitmap(asCMYK.Bitmap), cmykRef), 0);

    TLoad asRGB;
    asRGB.Run(cmykJpeg);
    ASSERT_EQ(asRGB.Bitmap.GetPixelFormat(), ie24RGB);
    const uint8_t* s = &cmykRef.Data[(4 * 20 + 7) * 4];
    const uint8_t* d = asRGB.Bitmap.GetScanline(4) + 7 * 3;
    EXPECT_NEAR(d[2], s[0] * s[3] / 255.0, 1);   // red from cyan and black
    EXPECT_NEAR(d[0], s[2] * s[3] / 255.0, 1);   // blue from yellow and black
    TLoad inverted;
    inverted.InvertCMYK = true;
    inverted.Run(cmykJpeg);
    EXPECT_NEAR(inverted.Bitmap.GetScanline(4)[7 * 3 + 2], (255 - s[0]) * (255 - s[3]) / 255.0, 1);
}

TEST(JpegRead, RawColorGivesYCbCrSamples) {
    const std::vector<uint8_t> jpeg = BareEncode(MakePicture(16, 16));
    TLoad load;
    load.RawColor = true;
    load.Run(jpeg);
    EXPECT_EQ(MaxDifference(FromBitmap(load.Bitmap), BareDecode(jpeg, JCS_YCbCr)), 0);
}

TEST(JpegMarkers, LoadThenSaveKeepsMarkersOnceAndDropsAdobe) {
    std::vector<uint8_t> jpeg = BareEncode(MakePicture(16, 16));   // with its JFIF APP0
    const std::vector<uint8_t> adobe{'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
    jpeg = WithMarker(jpeg, 0xFE, {'h', 'i'});
    jpeg = WithMarker(jpeg, 0xE2, IccChunk(2, 2, "WORLD"));   // chunks out of order
    jpeg = WithMarker(jpeg, 0xE2, IccChunk(1, 2, "HELLO "));
    jpeg = WithMarker(jpeg, 0xEE, adobe);
    TLoad load;
    load.Run(jpeg);
    ASSERT_FALSE(load.Aborting);
    TIEMarkerList& m = *load.Params.JPEGMarkers;
    // File order: APP14, APP2 chunk 1, APP2 chunk 2, COM; the first APP0 (JFIF) left out.
    ASSERT_EQ(m.GetCount(), 4);
    EXPECT_EQ(m.GetMarkerType(0), 0xEE);
    EXPECT_EQ(m.GetMarkerType(3), 0xFE);

    TMemoryStream s;
    Fill(s, jpeg);
    const std::vector<uint8_t> icc = IEReadJPEGICCData(&s);
    EXPECT_EQ(std::string(icc.begin(), icc.end()), "HELLO WORLD");
    EXPECT_EQ(s.GetPosition(), 0);

    const std::vector<uint8_t> saved = Save(load.Bitmap, load.Params);
    int app0 = 0, app14 = 0, app2 = 0, com = 0;
    for (size_t i = 2; i + 3 < saved.size();) {
        if (saved[i] != 0xFF) break;
        const uint8_t code = saved[i + 1];
        if (code == 0xDA) break;
        app0 += code == 0xE0;
        app14 += code == 0xEE;
        app2 += code == 0xE2;
        com += code == 0xFE;
        i += 2 + ((saved[i + 2] << 8) | saved[i + 3]);
    }
    EXPECT_EQ(app0, 1);
    EXPECT_EQ(app14, 0);
    EXPECT_EQ(app2, 2);
    EXPECT_EQ(com, 1);
    Fill(s, saved);
    const std::vector<uint8_t> savedIcc = IEReadJPEGICCData(&s);
    EXPECT_EQ(std::string(savedIcc.begin(), savedIcc.end()), "HELLO WORLD");
    // The writer sorted the list: APP2 chunks by sequence before COM.
    EXPECT_EQ(load.Params.JPEGMarkers->GetMarkerType(0), 0xE2);
    EXPECT_EQ(load.Params.JPEGMarkers->GetMarkerData(0)[12], 1);
}

namespace {
// An EXIF APP1 payload holding a resolution and an orientation, made by the EXIF writer.
std::vector<uint8_t> ExifBlock(double XRes, double YRes, int32_t Orientation) {
    TIOParamsVals p(nullptr);
    p.SetEXIFXResolution(XRes);
    p.SetEXIFYResolution(YRes);
    p.SetEXIFOrientation(Orientation);
    p.EXIFMake = "maker";
    p.HasEXIFData = true;
    std::unique_ptr<uint8_t[]> buffer;
    int32_t length = 0;
    IESaveEXIFToBuffer(&p, buffer, length, true);
    return std::vector<uint8_t>(buffer.get(), buffer.get() + length);
}
}  // namespace

// The metadata step: the EXIF resolution gives the DPI only where the JFIF header has none (1 x 1);
// the EXIF values stay as the block has them; IPTC and XMP are read; without ReadMetadata nothing
// is.
TEST(JpegRead, MetadataOfTheMarkers) {
    struct Case {
        int Unit, X, Y;        // the JFIF density
        double ExifX, ExifY;   // the EXIF resolution per inch
        int32_t DpiX, DpiY;
    } cases[] = {{0, 1, 1, 118.5, 59, 118, 59}, {1, 1, 1, 300, 240, 300, 240}, {1, 72, 72, 300, 300, 72, 72},
                 {2, 118, 118, 400, 400, 299, 299}};
    const std::vector<uint8_t> xmp = IEBuildXMPMarker("<x:xmpmeta>packet</x:xmpmeta>");
    TIEIPTCInfoList iptc;
    iptc.AddData(2, 5, "name", 4);
    std::vector<uint8_t> iptcBlock;
    iptc.SaveToBuffer(iptcBlock, true);
    for (const Case& c : cases) {
        TBareOptions o;
        o.DensityUnit = c.Unit;
        o.XDensity = c.X;
        o.YDensity = c.Y;
        std::vector<uint8_t> jpeg = BareEncode(MakePicture(8, 8), o);
        jpeg = WithMarker(jpeg, 0xE1, xmp);
        jpeg = WithMarker(jpeg, 0xED, iptcBlock);
        jpeg = WithMarker(jpeg, 0xE1, ExifBlock(c.ExifX, c.ExifY, 6));
        for (bool metadata : {false, true}) {
            TLoad load;
            load.ReadMetadata = metadata;
            load.Run(jpeg);
            ASSERT_FALSE(load.Aborting);
            const TIOParamsVals& p = load.Params;
            EXPECT_EQ(p.HasEXIFData, metadata);
            EXPECT_EQ(p.XMPInfo, metadata ? "<x:xmpmeta>packet</x:xmpmeta>" : "");
            ASSERT_EQ(p.IPTCInfo->GetCount() > 0, metadata);
            EXPECT_EQ(p.EXIFOrientation, metadata ? 6 : 0);
            if (!metadata) continue;
            EXPECT_EQ(p.DpiX, c.DpiX) << c.Unit << " " << c.X << " " << c.ExifX;
            EXPECT_EQ(p.DpiY, c.DpiY) << c.Unit << " " << c.Y << " " << c.ExifY;
            EXPECT_EQ(p.EXIFXResolution, c.ExifX);
            EXPECT_EQ(p.EXIFYResolution, c.ExifY);
            EXPECT_EQ(p.EXIFMake, "maker");
            const int32_t last = p.IPTCInfo->GetCount() - 1;
            EXPECT_EQ(p.IPTCInfo->GetDataSet(last), 5);
            EXPECT_EQ(std::string(p.IPTCInfo->GetData(last).begin(), p.IPTCInfo->GetData(last).end()), "name");
            EXPECT_FALSE(p.IPTCInfo->GetModified());
        }
    }
}

// The orientation turns the decoded image when asked, and is then 1; a header-only read leaves it.
TEST(JpegRead, EXIFOrientationAppliedWhenAsked) {
    const std::vector<uint8_t> jpeg = WithMarker(BareEncode(MakePicture(16, 8)), 0xE1, ExifBlock(72, 72, 6));
    for (bool paramsOnly : {false, true}) {
        TLoad load;
        load.ReadMetadata = true;
        load.ParamsOnly = paramsOnly;
        load.Params.JPEGEnableAdjustOrientation = true;
        load.Run(jpeg);
        ASSERT_FALSE(load.Aborting);
        EXPECT_EQ(load.Params.EXIFOrientation, paramsOnly ? 6 : 1);
        if (!paramsOnly) {
            EXPECT_EQ(load.Bitmap.GetWidth(), 8);
            EXPECT_EQ(load.Bitmap.GetHeight(), 16);
        }
    }
}

// The writer puts an EXIF block first among the APP1 markers, whatever the list's order.
TEST(JpegMarkers, WriterPutsTheEXIFBlockFirstAmongAPP1) {
    const std::vector<uint8_t> exif = ExifBlock(72, 72, 1);
    const std::vector<uint8_t> xmp = IEBuildXMPMarker("<x/>");
    TLoad load;
    load.Run(BareEncode(MakePicture(8, 8)));
    ASSERT_FALSE(load.Aborting);
    TIEMarkerList& m = *load.Params.JPEGMarkers;
    m.Clear();
    m.AddMarker(0xFE, "c", 1);
    m.AddMarker(0xE1, xmp.data(), static_cast<uint16_t>(xmp.size()));
    m.AddMarker(0xE1, exif.data(), static_cast<uint16_t>(exif.size()));
    const std::vector<uint8_t> saved = Save(load.Bitmap, load.Params);
    std::vector<std::vector<uint8_t>> app1;
    for (size_t i = 2; i + 3 < saved.size();) {
        if (saved[i] != 0xFF || saved[i + 1] == 0xDA) break;
        const size_t len = (saved[i + 2] << 8) | saved[i + 3];
        if (saved[i + 1] == 0xE1) app1.emplace_back(saved.begin() + i + 4, saved.begin() + i + 2 + len);
        i += 2 + len;
    }
    ASSERT_EQ(app1.size(), 2u);
    EXPECT_EQ(app1[0], exif);
    EXPECT_EQ(app1[1], xmp);
}

// Stray bytes between two segments, a length field below 2 and a frame header, which the decoder
// passes over as it reads the header: the ICC chunks behind them are still the file's profile.
TEST(JpegMarkers, ICCProfileBehindStrayBytes) {
    std::vector<uint8_t> jpeg = BareEncode(MakePicture(8, 8));
    size_t sof = 2;
    while (sof + 3 < jpeg.size() && jpeg[sof + 1] != 0xC0) sof += 2 + (jpeg[sof + 2] << 8 | jpeg[sof + 3]);
    ASSERT_LT(sof + 3, jpeg.size());
    const std::vector<uint8_t> chunk = IccChunk(2, 2, "FILE");
    std::vector<uint8_t> seg{0xFF, 0xE2, 0, static_cast<uint8_t>(chunk.size() + 2)};
    seg.insert(seg.end(), chunk.begin(), chunk.end());
    jpeg.insert(jpeg.begin() + sof + 2 + (jpeg[sof + 2] << 8 | jpeg[sof + 3]), seg.begin(), seg.end());
    jpeg = WithMarker(jpeg, 0xE2, IccChunk(1, 2, "PRO"));
    jpeg.insert(jpeg.begin() + 2, {0x00, 0x12, 0x34});
    jpeg.insert(jpeg.begin() + 2, {0xFF, 0xE3, 0x00, 0x00});
    jpeg = WithMarker(jpeg, 0xFE, {'c'});
    TMemoryStream s;
    Fill(s, jpeg);
    const std::vector<uint8_t> icc = IEReadJPEGICCData(&s);
    EXPECT_EQ(std::string(icc.begin(), icc.end()), "PROFILE");
    TLoad load;
    load.ReadICC = true;
    load.Run(jpeg);
    ASSERT_TRUE(load.Params.InputICCProfile);
    EXPECT_EQ(load.Params.InputICCProfile->GetRawSize(), 7);
}

TEST(JpegMarkers, StreamLengthEndsAfterTheEndOfImage) {
    const std::vector<uint8_t> jpeg = WithMarker(BareEncode(MakePicture(16, 16)), 0xFE, {0xFF, 0xD9, 0});
    std::vector<uint8_t> bytes{1, 2, 3};
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    bytes.insert(bytes.end(), {9, 9, 9, 9});
    TMemoryStream s;
    Fill(s, bytes);
    s.SetPosition(3);
    EXPECT_EQ(IEJPEGStreamLength(&s), static_cast<int32_t>(jpeg.size()));
    EXPECT_EQ(s.GetPosition(), 3);
    Fill(s, std::vector<uint8_t>(jpeg.begin(), jpeg.end() - 10));
    EXPECT_EQ(IEJPEGStreamLength(&s), static_cast<int32_t>(jpeg.size() - 10));
}

TEST(JpegWrite, OptionsReachTheFile) {
    IEPicturaViewInitialize();   // the default resolution
    const TPixels pic = MakePicture(40, 30);
    TIEBitmap bmp;
    ToBitmap(pic, bmp, ie24RGB);
    struct Case {
        uint8_t ColorSpace;
        uint8_t Subsampling;
        bool Progressive;
        J_COLOR_SPACE FileSpace;
        int HSamp, VSamp;
    } cases[] = {
        {2, 0, false, JCS_YCbCr, 2, 1}, {2, 1, true, JCS_YCbCr, 2, 2}, {2, 2, false, JCS_YCbCr, 1, 1},
        {0, 1, false, JCS_RGB, 1, 1},   {1, 1, false, JCS_GRAYSCALE, 1, 1}, {3, 1, false, JCS_CMYK, 1, 1},
        {4, 1, true, JCS_YCCK, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.ColorSpace) * 10 + c.Subsampling);
        TIOParamsVals p(nullptr);
        p.JPEGColorSpace = c.ColorSpace;
        p.JPEGCromaSubsampling = c.Subsampling;
        p.JPEGProgressive = c.Progressive;
        p.JPEGQuality = 95;
        p.DpiX = 200;
        p.DpiY = 0;
        const std::vector<uint8_t> saved = Save(bmp, p);
        ASSERT_FALSE(saved.empty());
        TLoad load;
        load.ParamsOnly = true;
        load.Run(saved);
        EXPECT_EQ(load.Params.JPEGColorSpace, c.ColorSpace);
        EXPECT_EQ(load.Params.JPEGProgressive, c.Progressive);
        if (c.FileSpace != JCS_YCCK && c.FileSpace != JCS_RGB) {   // these carry no JFIF header
            EXPECT_EQ(load.Params.DpiX, 200);
            EXPECT_EQ(load.Params.DpiY, 300);   // the default resolution for 0
        }

        TLoad full;
        full.Run(saved);
        if (c.ColorSpace == 0 || c.ColorSpace == 2) {
            EXPECT_EQ(MaxDifference(FromBitmap(full.Bitmap), BareDecode(saved)), 0);
        }
        if (c.ColorSpace != 1) {
            EXPECT_LE(MeanDifference(FromBitmap(full.Bitmap), pic), 6);
        }
        if (c.ColorSpace == 2) {
            // The luma sampling factors in the frame header.
            for (size_t i = 2; i + 12 < saved.size(); ++i)
                if (saved[i] == 0xFF && (saved[i + 1] == 0xC0 || saved[i + 1] == 0xC2)) {
                    EXPECT_EQ(saved[i + 11] >> 4, c.HSamp);
                    EXPECT_EQ(saved[i + 11] & 15, c.VSamp);
                    break;
                }
        }
    }
}

TEST(JpegWrite, OtherPixelFormatsAndFailures) {
    TIEBitmap grey(20, 10, ie8g);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) grey.GetScanline(y)[x] = static_cast<uint8_t>(x * 12);
    TIOParamsVals p(nullptr);
    p.JPEGQuality = 100;
    p.JPEGColorSpace = 1;
    TLoad load;
    load.NativePixelFormat = true;
    load.Run(Save(grey, p));
    EXPECT_EQ(load.Bitmap.GetPixelFormat(), ie8g);
    EXPECT_LE(MaxDifference(FromBitmap(load.Bitmap), FromBitmap(grey)), 2);

    bool aborted = false;
    TIEBitmap empty;
    EXPECT_TRUE(Save(empty, p, &aborted).empty());
    EXPECT_TRUE(aborted);

    // A destination that takes nothing: the short write is reported.
    class TFullStream : public TStream {
    public:
        int32_t Read(void*, int32_t) override { return 0; }
        int32_t Write(const void*, int32_t) override { return 0; }
        int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    } full;
    TIEBitmap bmp;
    ToBitmap(MakePicture(16, 16), bmp, ie24RGB);
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    IEWriteJPEGStream(&full, &bmp, p, progress);
    EXPECT_TRUE(aborting);
}

TEST(JpegWrite, ProgressReachesHundred) {
    TIEBitmap bmp;
    ToBitmap(MakePicture(8, 50), bmp, ie24RGB);
    TIOParamsVals p(nullptr);
    std::vector<int32_t> seen;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    progress.OnProgress = [&](TObject*, int32_t per) { seen.push_back(per); };
    TMemoryStream s;
    IEWriteJPEGStream(&s, &bmp, p, progress);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 2);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(seen.size(), 50u);
}

TEST(JpegMessages, TableOfInterfaceVersion62) {
    EXPECT_EQ(IEJpegMessageText(67), L"Application transferred too few scanlines");
    EXPECT_EQ(IEJpegMessageText(0), L"Bogus message code ?");
    EXPECT_EQ(IEJpegMessageText(73), L"");
    EXPECT_EQ(IEJpegMessageText(74), L"");
    EXPECT_EQ(IEJpegMessageText(86), L"?");
    EXPECT_EQ(IEJpegMessageText(93), L"?");
    EXPECT_EQ(IEJpegMessageText(123), L"Application transferred too many scanlines");
    for (int code : {124, 125, 126, 127, 128, 500, -1}) EXPECT_EQ(IEJpegMessageText(code), L"Corrupted") << code;
    // A library error leaves the writer as the exception, with the abort flag set.
    TIEBitmap wide(65501, 1, ie24RGB);
    TIOParamsVals p(nullptr);
    TMemoryStream s;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    try {
        IEWriteJPEGStream(&s, &wide, p, progress);
        ADD_FAILURE() << "no exception";
    } catch (const EIEJpegException& e) {
        EXPECT_EQ(e.Message(), L"Maximum supported image dimension is ? pixels");
    }
    EXPECT_TRUE(aborting);
}
