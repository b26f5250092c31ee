// The camera-raw reader: its output stage, DNG files made by python3-tifffile decoded and
// compared with LibRaw's own dcraw_emu (make_raw_samples.py), the embedded preview against
// simple_dcraw's extraction, the Canon CIFF preview search, damaged files, and the loader of the
// I/O component.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ByteOrder.h"
#include "CodecTestUtil.h"
#include "iebitmap.h"
#include "iecoreutils_tiffhandler.h"
#include "imaging/codecs/ieraw.h"
#include "imaging/codecs/jpegfilt.h"
#include "picturaio.h"
#include "picturaio_formats.h"
#include "picturaview.h"

using namespace codectest;

namespace {

std::string Sample(const std::string& Name) {
    std::ifstream in(std::string(TEST_BUILD_DIR) + "/raw-samples/" + Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A reference image of the samples folder: "width height\n", then Bytes bytes per sample.
struct TRef {
    int32_t W = 0, H = 0;
    std::string Data;
};

TRef LoadRef(const std::string& Name) {
    TRef r;
    const std::string d = Sample(Name);
    const size_t nl = d.find('\n');
    if (nl == std::string::npos) return r;
    std::istringstream(d.substr(0, nl)) >> r.W >> r.H;
    r.Data = d.substr(nl + 1);
    return r;
}

bool ReadRaw(const std::string& Bytes, TIEBitmap& B, TCall& C, bool Preview = false) {
    TMemoryStream s;
    Fill(s, Bytes);
    IEReadCameraRAWStream(&s, &B, C.Params, C.Progress, Preview);
    return !C.Aborting;
}

// The largest difference of any channel between B (ie24RGB) and the output stage run on
// dcraw_emu's linear decoding.
int32_t MaxDifference(TIEBitmap& B, const TRef& Linear, const TCall& C) {
    std::vector<uint16_t> px((size_t)Linear.W * Linear.H * 4);
    for (size_t i = 0; i < (size_t)Linear.W * Linear.H; ++i)
        for (int c = 0; c < 3; ++c) px[i * 4 + c] = ByteOrder::GetLE16(Linear.Data.data() + (i * 3 + c) * 2);
    TIEBitmap expected;
    expected.Allocate(Linear.W, Linear.H, B.GetPixelFormat());
    IERawOutputStage(reinterpret_cast<const uint16_t(*)[4]>(px.data()), Linear.W, Linear.H, false, C.Params.RAWGamma,
                     C.Params.RAWBright, &expected);
    int32_t worst = 0;
    const bool wide = B.GetPixelFormat() == ieRGB48;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        const uint8_t* a = B.GetScanline(y);
        const uint8_t* e = expected.GetScanline(y);
        for (int32_t x = 0; x < B.GetWidth() * 3; ++x) {
            const int32_t va = wide ? reinterpret_cast<const uint16_t*>(a)[x] : a[x];
            const int32_t ve = wide ? reinterpret_cast<const uint16_t*>(e)[x] : e[x];
            worst = std::max(worst, std::abs(va - ve));
        }
    }
    return worst;
}

// A Canon CIFF file: the header, then a heap holding the texts, two JPEG previews (16 x 8 and
// 8 x 4 pixels), an array of four 16-bit values, the record table and its offset. No raw data: LibRaw does not accept it.
std::string CIFFWithTwoPreviews() {
    std::string jpegs[2];
    for (int i = 0; i < 2; ++i) {
        TIEBitmap b;
        b.Allocate(16 >> i, 8 >> i, ie24RGB);
        for (int32_t y = 0; y < b.GetHeight(); ++y)
            for (int32_t x = 0; x < b.GetWidth(); ++x) b.SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 15), 90, (uint8_t)(200 - y * 20)});
        TCall c;
        TMemoryStream s;
        IEWriteJPEGStream(&s, &b, c.Params, c.Progress);
        jpegs[i] = Contents(s);
    }
    const std::string names("Canon\0PowerShot Test\0", 21);
    auto le16 = [](uint32_t v) { return std::string{(char)v, (char)(v >> 8)}; };
    auto le32 = [](uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; };
    const std::string shorts = le16(11) + le16(22) + le16(33) + le16(44);
    std::string heap = names + jpegs[0] + jpegs[1] + shorts;
    const uint32_t table = (uint32_t)heap.size();
    heap += le16(4);
    heap += le16(0x102A) + le32(8) + le32((uint32_t)(heap.size() - 2 - shorts.size()));
    heap += le16(0x080A) + le32((uint32_t)names.size()) + le32(0);
    heap += le16(0x2007) + le32((uint32_t)jpegs[0].size()) + le32((uint32_t)names.size());
    heap += le16(0x2008) + le32((uint32_t)jpegs[1].size()) + le32((uint32_t)(names.size() + jpegs[0].size()));
    heap += le32(table);
    std::string head = "II" + le32(26) + "HEAPCCDR" + le32(0x00010002);
    head.resize(26, '\0');
    return head + heap;
}

}  // namespace

// A uniform grey image puts the white point at its own brightness, so the gamma curve is 1 there
// and the output is 442 / (2 x sqrt 3) of full scale: 127 of 255, 32810 of 65535.
TEST(CameraRaw, OutputStageOfAUniformImage) {
    std::vector<uint16_t> px(100 * 4, 4096);
    for (TIEPixelFormat format : {ie24RGB, ieRGB48}) {
        TIEBitmap b;
        b.Allocate(10, 10, format);
        IERawOutputStage(reinterpret_cast<const uint16_t(*)[4]>(px.data()), 10, 10, false, 0.6, 1.0, &b);
        if (format == ie24RGB) {
            EXPECT_EQ(RGBBytes(b), std::string(300, (char)127));
        } else {
            const uint16_t* row = reinterpret_cast<const uint16_t*>(b.GetScanline(9));
            EXPECT_EQ(row[0], 32810);
            EXPECT_EQ(row[29], 32810);
        }
    }
}

// Seven bright pixels of a thousand: above the 0.5 % a Fuji camera allows, so they set its white
// point; within the 1 % of other cameras, whose white point stays at the grey.
TEST(CameraRaw, OutputStageWhitePointShare) {
    std::vector<uint16_t> px(1000 * 4, 4096);
    for (int i = 0; i < 7; ++i) px[i * 4] = px[i * 4 + 1] = px[i * 4 + 2] = 20000;
    for (bool fuji : {false, true}) {
        TIEBitmap b;
        b.Allocate(100, 10, ie24RGB);
        IERawOutputStage(reinterpret_cast<const uint16_t(*)[4]>(px.data()), 100, 10, fuji, 0.6, 1.0, &b);
        const uint8_t* row = b.GetScanline(0);
        EXPECT_EQ(row[0], fuji ? 127 : 255) << fuji;   // a bright pixel
        EXPECT_EQ(row[7 * 3], fuji ? 49 : 127) << fuji;   // a grey one
    }
}

// Every decode of make_raw_samples.py against dcraw_emu's linear output of the same options run
// through the output stage; the size and parameters as the file gives them.
TEST(CameraRaw, DecodesMatchLibRawsTool) {
    IEPicturaViewInitialize();
    const std::string index = Sample("index.txt");
    ASSERT_FALSE(index.empty()) << "raw-samples missing (make_raw_samples.py)";
    std::istringstream lines(index);
    std::string name, kase, opts;
    int cases = 0;
    while (lines >> name >> kase >> opts) {
        SCOPED_TRACE(name + " " + kase);
        const TRef linear = LoadRef(name + "." + kase + ".rgb16");
        ASSERT_GT(linear.W, 0);
        for (bool native : {false, true}) {
            TCall c;
            c.Params.RAWUseCameraWB = kase == "camwb";
            c.Params.RAWHalfSize = kase == "half";
            c.Params.RAWQuickInterpolate = kase != "ahd";
            c.Params.NativePixelFormat = native;
            TIEBitmap b;
            ASSERT_TRUE(ReadRaw(Sample(name + ".dng"), b, c));
            EXPECT_EQ(b.GetPixelFormat(), native ? ieRGB48 : ie24RGB);
            ASSERT_EQ(b.GetWidth(), linear.W);
            ASSERT_EQ(b.GetHeight(), linear.H);
            EXPECT_EQ(c.Params.Width, linear.W);
            EXPECT_EQ(c.Params.OriginalHeight, linear.H);
            EXPECT_EQ(c.Params.BitsPerSample, native ? 16 : 8);
            EXPECT_EQ(c.Params.SamplesPerPixel, 3);
            EXPECT_EQ(c.Params.ImageCount, 1);
            EXPECT_EQ(c.Params.RAWCamera, "Kwtest Bayer 64 ");
            // 72 per inch, and 28.35 per centimetre, are 72 DPI.
            EXPECT_EQ(c.Params.DpiX, 72);
            EXPECT_EQ(c.Params.DpiY, 72);
            EXPECT_LE(MaxDifference(b, linear, c), native ? 260 : 1);
        }
        ++cases;
    }
    EXPECT_EQ(cases, 5);
}

TEST(CameraRaw, PreviewReadsParametersOnly) {
    TCall c;
    TIEBitmap b;
    ASSERT_TRUE(ReadRaw(Sample("inch72.dng"), b, c, true));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(c.Params.Width, 64);
    EXPECT_EQ(c.Params.Height, 48);
    EXPECT_EQ(c.Params.RAWCamera, "Kwtest Bayer 64 ");
    EXPECT_EQ(c.Params.DpiX, 72);
    // The embedded preview became the EXIF thumbnail.
    ASSERT_TRUE(c.Params.EXIFThumbnail);
    EXPECT_EQ(c.Params.EXIFThumbnail->GetWidth(), 16);
}

// With RAWGetExifThumbnail the bitmap is the embedded preview, pixel for pixel as LibRaw's
// simple_dcraw extracts it, and the flag is still set afterwards.
TEST(CameraRaw, ThumbnailInsteadOfDecoding) {
    const TRef thumb = LoadRef("inch72.thumb.rgb");
    ASSERT_EQ(thumb.W, 16);
    TCall c;
    c.Params.SetRAWGetExifThumbnail(true);
    TIEBitmap b;
    ASSERT_TRUE(ReadRaw(Sample("inch72.dng"), b, c));
    EXPECT_TRUE(c.Params.RAWGetExifThumbnail);
    ASSERT_EQ(b.GetWidth(), thumb.W);
    ASSERT_EQ(b.GetHeight(), thumb.H);
    EXPECT_EQ(RGBBytes(b), thumb.Data);
}

// A read of the parameters only with RAWGetExifThumbnail gives the parameters and leaves the
// caller's bitmap alone, also when there is none.
TEST(CameraRaw, ParametersOnlyWithTheThumbnailSwitchKeepTheBitmap) {
    const std::string dng = Sample("inch72.dng");
    ASSERT_FALSE(dng.empty());
    TCall c;
    c.Params.SetRAWGetExifThumbnail(true);
    TIEBitmap b(3, 3, ie8g);
    b.Fill(77);
    ASSERT_TRUE(ReadRaw(dng, b, c, true));
    EXPECT_GT(c.Params.Width, 16);
    EXPECT_EQ(b.GetWidth(), 3);
    EXPECT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(b.GetPixelByte(2, 2), 77);
    TCall none;
    none.Params.SetRAWGetExifThumbnail(true);
    TMemoryStream s;
    Fill(s, dng);
    IEReadCameraRAWStream(&s, nullptr, none.Params, none.Progress, true);
    EXPECT_FALSE(none.Aborting);
    EXPECT_EQ(none.Params.Width, c.Params.Width);
    EXPECT_TRUE(none.Params.RAWGetExifThumbnail);
}

// Automatic colour adjustment matches each channel's histogram to the embedded preview's: the
// channel means come out near the preview's, which the plain decode's are not.
TEST(CameraRaw, AutoAdjustColorsFollowsThePreview) {
    auto means = [](TIEBitmap& B) {
        std::vector<double> m(3);
        const std::string rgb = RGBBytes(B);
        for (size_t i = 0; i < rgb.size(); ++i) m[i % 3] += (uint8_t)rgb[i];
        for (double& v : m) v /= (double)B.GetWidth() * B.GetHeight();
        return m;
    };
    double plainGap = 0, adjustedGap = 0;
    for (bool adjust : {false, true}) {
        TCall c;
        c.Params.RAWAutoAdjustColors = adjust;
        TIEBitmap b;
        ASSERT_TRUE(ReadRaw(Sample("inch72.dng"), b, c));
        ASSERT_TRUE(c.Params.EXIFThumbnail);
        const std::vector<double> got = means(b), want = means(*c.Params.EXIFThumbnail);
        double& gap = adjust ? adjustedGap : plainGap;
        for (int k = 0; k < 3; ++k) gap = std::max(gap, std::abs(got[k] - want[k]));
    }
    EXPECT_LT(adjustedGap, 10) << plainGap;
    EXPECT_GT(plainGap, 4 * adjustedGap);
}

// Of two preview JPEGs the smaller is kept; the texts become the EXIF make and model. The file
// itself is no raw file LibRaw knows, so the decode fails cleanly after the search.
TEST(CameraRaw, CIFFPreviewSearchKeepsTheSmallerJPEG) {
    const std::string file = CIFFWithTwoPreviews();
    {
        TCall c;
        c.Params.SetRAWGetExifThumbnail(true);
        TIEBitmap b;
        ASSERT_TRUE(ReadRaw(file, b, c));
        EXPECT_EQ(b.GetWidth(), 8);
        EXPECT_EQ(b.GetHeight(), 4);
        EXPECT_EQ(c.Params.EXIFMake, "Canon");
        EXPECT_EQ(c.Params.EXIFModel, "PowerShot Test");
        // The array is maker-note entry 4: four SHORT values.
        ASSERT_EQ(c.Params.EXIFMakerNote->GetEntryCount(), 1);
        const TIEMakerNoteEntry& e = c.Params.EXIFMakerNote->GetEntry(0);
        EXPECT_EQ(e.Tag, 4);
        EXPECT_EQ(e.TagType, 3);
        ASSERT_EQ(e.Count, 4u);
        const uint8_t* d = c.Params.EXIFMakerNote->GetEntryData(0);
        ASSERT_NE(d, nullptr);
        uint16_t v[4];
        std::memcpy(v, d, 8);
        EXPECT_EQ(v[0], 11);
        EXPECT_EQ(v[3], 44);
    }
    TCall c;
    TIEBitmap b;
    EXPECT_FALSE(ReadRaw(file, b, c));
    ASSERT_TRUE(c.Params.EXIFThumbnail);
    EXPECT_EQ(c.Params.EXIFThumbnail->GetWidth(), 8);
}

// Damaged and foreign files set the abort flag and raise nothing.
TEST(CameraRaw, BadFilesFailCleanly) {
    const std::string dng = Sample("inch72.dng");
    ASSERT_FALSE(dng.empty());
    const struct {
        const char* Name;
        std::string Data;
    } cases[] = {
        {"empty", ""},
        {"text", std::string(4000, 'x')},
        {"tiff header alone", dng.substr(0, 8)},
        {"truncated dng", dng.substr(0, dng.size() / 3)},
        {"ciff header alone", std::string("II\x1A\0\0\0HEAPCCDR", 14)},
    };
    for (const auto& k : cases) {
        TCall c;
        TIEBitmap b;
        EXPECT_FALSE(ReadRaw(k.Data, b, c)) << k.Name;
    }
}

TEST(CameraRaw, ProbeAsksLibRawAndRestoresThePosition) {
    const std::string dng = Sample("inch72.dng");
    ASSERT_FALSE(dng.empty());
    for (const auto& k : {std::make_pair(dng, true), std::make_pair(std::string(3000, '\x55'), false)}) {
        TMemoryStream s;
        s.Write("abc", 3);
        s.Write(k.first.data(), (int32_t)k.first.size());
        s.SetPosition(3);
        EXPECT_EQ(IEIsCameraRAW(&s), k.second);
        EXPECT_EQ(s.GetPosition(), 3);
    }
}

// Identification has a budget of calls into the stream (some of LibRaw's parsers loop for a
// very long time over small damaged files); past it every call raises LibRaw's damaged-file
// exception: the answer is "not a camera raw file", the position is restored, and the prober
// still works afterwards. A file LibRaw identifies (786,432 zero bytes: a headerless raw that it
// knows by its size alone) is identified within the budget its size gives.
TEST(CameraRaw, IdentificationStopsAtItsBudget) {
    const std::string raw(786432, '\0');
    TMemoryStream s;
    s.Write("abc", 3);
    s.Write(raw.data(), (int32_t)raw.size());
    for (int64_t budget : {0, 1, 5}) {
        SCOPED_TRACE(budget);
        s.SetPosition(3);
        EXPECT_FALSE(IEIsCameraRAWWithin(&s, budget));
        EXPECT_EQ(s.GetPosition(), 3);
    }
    s.SetPosition(3);
    EXPECT_TRUE(IEIsCameraRAW(&s));
    EXPECT_EQ(s.GetPosition(), 3);
}

// The sensor's size is held to the library's image-size limit before LibRaw unpacks anything.
TEST(CameraRaw, ImageSizeLimitBeforeUnpacking) {
    const std::string dng = Sample("inch72.dng");
    ASSERT_FALSE(dng.empty());
    const int64_t saved = IEMaxImagePixels;
    for (int64_t limit : {int64_t(1), int64_t(0)}) {
        IEMaxImagePixels = limit;
        TCall c;
        TIEBitmap b;
        EXPECT_EQ(ReadRaw(dng, b, c), limit == 0) << limit;
        EXPECT_EQ(b.GetWidth() > 0, limit == 0) << limit;
    }
    IEMaxImagePixels = saved;
}

// The I/O component's loaders: the file's name and type, the decoded size, no alpha channel left
// from before; a foreign file leaves Aborting set.
TEST(CameraRaw, ComponentLoaders) {
    IEPicturaViewInitialize();
    IEInitFileFormats();
    const std::string path = std::string(TEST_BUILD_DIR) + "/raw-samples/inch72.dng";
    TPicturaIO io(nullptr);
    io.GetIEBitmap()->Allocate(4, 4, ie24RGB);
    io.GetIEBitmap()->GetAlphaChannel();
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.LoadFromFileRAW(std::wstring(path.begin(), path.end()));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(io.GetParams()->FileType, ioRAW);
    EXPECT_EQ(io.GetParams()->FileName, std::wstring(path.begin(), path.end()));
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 64);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 48);
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
    EXPECT_EQ(io.GetParams()->DpiX, 72);

    TMemoryStream bad;
    Fill(bad, std::string(2000, 'q'));
    io.LoadFromStreamRAW(&bad);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 2);
    EXPECT_TRUE(io.GetParams()->FileName.empty());
}
