// The imaging-component reader and writer under Wine: files made by ImageMagick and libjxr's
// JxrEncApp (make_wic_samples.sh) read through WIC and compared with our own decoders, every
// format Wine encodes written and read back, and the HD Photo load and save members.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "CodecTestUtil.h"
#include "bmpfilt.h"
#include "giffilter.h"
#include "giflzw.h"
#include "iemask.h"
#include "iewic.h"
#include "imaging/io/picturaio.h"
#include "jpegfilt.h"
#include "picturaview.h"
#include "pngfilt.h"
#include "tiffilt_read.h"
#include "tiflzw.h"

namespace {

const std::string kSamples = std::string(TEST_BUILD_DIR) + "/wic-samples/";

std::string ReadFileBytes(const std::string& Name) {
    std::ifstream in(kSamples + Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The samples' picture, as its generator writes it: 13 x 7 (16 x 7 for HD Photo), red x*19,
// green y*37, blue x*y*7+11.
std::string BaseRGB(int Width = 13) {
    std::string out;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < Width; ++x) {
            out += (char)((x * 19) & 255);
            out += (char)((y * 37) & 255);
            out += (char)((x * y * 7 + 11) & 255);
        }
    return out;
}

void FillBase(TIEBitmap& B) {
    B.Allocate(13, 7, ie24RGB);
    const std::string rgb = BaseRGB();
    for (int y = 0; y < 7; ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int x = 0; x < 13; ++x) {
            const size_t i = (size_t)(y * 13 + x) * 3;
            row[3 * x] = (uint8_t)rgb[i + 2];
            row[3 * x + 1] = (uint8_t)rgb[i + 1];
            row[3 * x + 2] = (uint8_t)rgb[i];
        }
    }
}

// The pixel bytes of each row (without row padding, and the unused bits of a last 1-bit byte
// cleared).
std::string RowBytes(TIEBitmap& B) {
    std::string out;
    const int32_t bits = B.GetWidth() * B.GetBitCount();
    const int32_t used = (bits + 7) / 8;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        std::string row(reinterpret_cast<const char*>(B.GetScanline(y)), (size_t)used);
        if (bits % 8) row.back() = (char)(row.back() & (0xFF00 >> (bits % 8)));
        out += row;
    }
    return out;
}

double MeanDifference(const std::string& A, const std::string& B) {
    if (A.size() != B.size() || A.empty()) return 256;
    double sum = 0;
    for (size_t i = 0; i < A.size(); ++i) sum += std::abs((uint8_t)A[i] - (uint8_t)B[i]);
    return sum / (double)A.size();
}

int MaxDifference(const std::string& A, const std::string& B) {
    if (A.size() != B.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < A.size(); ++i) worst = std::max(worst, std::abs((uint8_t)A[i] - (uint8_t)B[i]));
    return worst;
}

// Reads the first frame of Bytes through WIC; NativeFormat as the parameter set's switch.
bool WICRead(const std::string& Bytes, TIOFileType FileType, TIEBitmap& Bitmap, TIOParamsVals* Params = nullptr,
             int32_t Frame = 0) {
    TMemoryStream s;
    codectest::Fill(s, Bytes);
    TIEWICReader reader;
    if (!reader.Open(&s, FileType)) return false;
    bool aborting = false;
    reader.Read(Frame, &Bitmap, aborting, Params);
    return !aborting;
}

// Our own decoder of each format, with or without the native pixel format.
bool OwnRead(const std::string& Bytes, TIOFileType FileType, TIEBitmap& Bitmap, bool Native) {
    TMemoryStream s;
    codectest::Fill(s, Bytes);
    codectest::TCall call;
    call.Params.NativePixelFormat = Native;
    call.Params.TIFFLZWDecompress = IETIFFLZWDecompress;
    call.Params.GIFLZWDecompress = IEGIFLZWDecompress;
    TIEMask* mask = nullptr;
    int32_t count = 0;
    switch (FileType) {
        case ioTIFF: IEReadTIFFStream(&Bitmap, &s, count, call.Params, call.Progress, false, mask, true, true, false, false); break;
        case ioPNG: IEReadPNGStream(s, &Bitmap, call.Params, call.Progress, false); break;
        case ioBMP: IEReadBMPStream(s, &Bitmap, (int32_t)Bytes.size(), call.Params, call.Progress, false, false, mask, true); break;
        case ioGIF: IEReadGIFStream(s, &Bitmap, count, call.Params, call.Progress, false, mask, true); break;
        case ioJPEG:
            IEReadJPEGStream(&s, nullptr, &Bitmap, call.Params, call.Progress, false, false, false, false, false, false, -1, Native);
            break;
        default: return false;
    }
    delete mask;
    return !call.Aborting;
}

class WIC : public ::testing::Test {
protected:
    void SetUp() override {
        IEPicturaViewInitialize();
        ASSERT_TRUE(IEWICAvailable()) << "Wine provides the imaging component";
    }
};

}  // namespace

TEST_F(WIC, ReadsFilesOfOtherToolsAsOurDecodersDo) {
    const struct {
        const char* File;
        TIOFileType Type;
        int Tolerance;   // JPEG: two IDCTs
    } cases[] = {
        {"wic.tif", ioTIFF, 0}, {"wic.png", ioPNG, 0}, {"wic.bmp", ioBMP, 0}, {"wic.gif", ioGIF, 0}, {"wic.jpg", ioJPEG, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string bytes = ReadFileBytes(c.File);
        if (bytes.empty()) {
            ADD_FAILURE() << "sample missing";
            continue;
        }
        TIEBitmap wic, own;
        TIOParamsVals params(nullptr);
        ASSERT_TRUE(WICRead(bytes, c.Type, wic, &params));
        ASSERT_TRUE(OwnRead(bytes, c.Type, own, false));
        EXPECT_EQ(wic.GetPixelFormat(), ie24RGB);
        EXPECT_EQ(wic.GetWidth(), 13);
        EXPECT_EQ(wic.GetHeight(), 7);
        EXPECT_LE(MaxDifference(codectest::RGBBytes(wic), codectest::RGBBytes(own)), c.Tolerance);
        if (c.Type != ioJPEG && c.Type != ioGIF) {
            EXPECT_EQ(codectest::RGBBytes(wic), BaseRGB());
        }
        EXPECT_EQ(params.Width, 13);
        EXPECT_EQ(params.OriginalHeight, 7);
        EXPECT_EQ(params.SamplesPerPixel, 3);
        EXPECT_EQ(params.BitsPerSample, 8);
    }
}

TEST_F(WIC, NativePixelFormatsMatchOurDecoders) {
    const struct {
        const char* File;
        TIOFileType Type;
        TIEPixelFormat Format;
    } cases[] = {
        {"wic_gray.png", ioPNG, ie8g},        {"wic_gray16.png", ioPNG, ie16g}, {"wic_rgb48.png", ioPNG, ieRGB48},
        {"wic_bw.tif", ioTIFF, ie1g},         {"wic_cmyk.tif", ioTIFF, ieCMYK}, {"wic.png", ioPNG, ie24RGB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string bytes = ReadFileBytes(c.File);
        if (bytes.empty()) {
            ADD_FAILURE() << "sample missing";
            continue;
        }
        TIEBitmap wic, own;
        TIOParamsVals params(nullptr);
        params.NativePixelFormat = true;
        ASSERT_TRUE(WICRead(bytes, c.Type, wic, &params));
        ASSERT_TRUE(OwnRead(bytes, c.Type, own, true));
        EXPECT_EQ(wic.GetPixelFormat(), c.Format);
        if (own.GetPixelFormat() == c.Format)
            EXPECT_EQ(RowBytes(wic), RowBytes(own));
        else   // our decoder gives this file in another format: the colours still agree
            EXPECT_EQ(codectest::RGBBytes(wic), codectest::RGBBytes(own));
        EXPECT_EQ(params.SamplesPerPixel * params.BitsPerSample, wic.GetBitCount());
    }
    // Without the native switch only black and white stays as it is.
    TIEBitmap bw, gray;
    TIOParamsVals params(nullptr);
    ASSERT_TRUE(WICRead(ReadFileBytes("wic_bw.tif"), ioTIFF, bw, &params));
    EXPECT_EQ(bw.GetPixelFormat(), ie1g);
    ASSERT_TRUE(WICRead(ReadFileBytes("wic_gray.png"), ioPNG, gray, &params));
    EXPECT_EQ(gray.GetPixelFormat(), ie24RGB);
    // No parameter set: the native mapping.
    ASSERT_TRUE(WICRead(ReadFileBytes("wic_gray.png"), ioPNG, gray));
    EXPECT_EQ(gray.GetPixelFormat(), ie8g);
}

TEST_F(WIC, RefusalsSetTheAbortFlag) {
    TMemoryStream s;
    codectest::Fill(s, std::string(64, 'x'));
    TIEWICReader reader;
    EXPECT_FALSE(reader.Open(&s, ioPNG));        // no decoder takes the data
    EXPECT_FALSE(reader.Open(&s, ioPCX));        // not a WIC type
    TIEBitmap b;
    bool aborting = false;
    reader.Read(0, &b, aborting, nullptr);        // no decoder
    EXPECT_TRUE(aborting);
    EXPECT_EQ(reader.FrameWidth(), 0);

    // A frame past the last one.
    TMemoryStream png;
    codectest::Fill(png, ReadFileBytes("wic.png"));
    TIEWICReader one;
    ASSERT_TRUE(one.Open(&png, ioPNG));
    aborting = false;
    one.Read(3, &b, aborting, nullptr);
    EXPECT_TRUE(aborting);

    TIEWICWriter writer;
    TMemoryStream out;
    EXPECT_FALSE(writer.Open(&out, ioICO));       // reading only
    EXPECT_FALSE(writer.WriteFrame(&b, nullptr));  // nothing open
}

// The resolution the system reports is any double of the file: a TIFF of 4,294,967,295 dots per
// inch gives the largest whole-number resolution, not a wrapped one.
TEST_F(WIC, ResolutionsBeyondTheIntegerRangeSaturate) {
    std::string f("II*\0\x08\0\0\0", 8);
    auto u16 = [&](uint32_t v) { f += (char)v; f += (char)(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const uint16_t n = 12;
    const uint32_t data = 8 + 2 + 12 * n + 4;   // after the IFD: two rationals, then the pixel
    const uint32_t entries[n][3] = {{256, 4, 1},         {257, 4, 1},        {258, 3, 8},   {259, 3, 1},
                                    {262, 3, 1},         {273, 4, data + 16}, {277, 3, 1},   {278, 4, 1},
                                    {279, 4, 1},         {282, 5, data},     {283, 5, data + 8}, {296, 3, 2}};
    u16(n);
    for (const auto& e : entries) {
        u16(e[0]);
        u16(e[1]);
        u32(1);
        u32(e[2]);
    }
    u32(0);
    for (int i = 0; i < 2; ++i) {
        u32(0xFFFFFFFFu);
        u32(1);
    }
    f += '\x80';
    TIEBitmap b;
    TIOParamsVals params(nullptr);
    ASSERT_TRUE(WICRead(f, ioTIFF, b, &params));
    EXPECT_EQ(b.GetWidth(), 1);
    EXPECT_EQ(params.DpiX, 2147483647);
    EXPECT_EQ(params.DpiY, 2147483647);
}

TEST_F(WIC, AnImageInTheMiddleOfAStream) {
    // The reader counts positions from where the stream stood.
    TMemoryStream s;
    codectest::Fill(s, "prefix" + ReadFileBytes("wic.png"));
    s.SetPosition(6);
    TIEWICReader reader;
    ASSERT_TRUE(reader.Open(&s, ioPNG));
    TIEBitmap b;
    bool aborting = false;
    TIOParamsVals params(nullptr);
    reader.Read(0, &b, aborting, &params);
    ASSERT_FALSE(aborting);
    EXPECT_EQ(codectest::RGBBytes(b), BaseRGB());
    EXPECT_EQ(reader.FrameWidth(), 13);
    EXPECT_EQ(reader.FrameHeight(), 7);
}

TEST_F(WIC, EveryFormatWineEncodesReadsBack) {
    // Back: the format the file reads back in, natively. Wine's TIFF encoder takes no CMYK (the
    // writer sends 24-bit colour instead) and its GIF encoder only indexed colour (the writer sends
    // the quantizer's palette image); neither takes 16-bit grey as it is. (Wine's PNG encoder
    // stores 16-bit grey samples byte-swapped, so that case is left out here: our decoder and
    // libpng read the swapped values.) Lossy: JPEG, and GIF's palette.
    const struct {
        TIOFileType Type;
        TIEPixelFormat Format, Back;
        bool Lossy;
    } cases[] = {
        {ioTIFF, ie24RGB, ie24RGB, false}, {ioTIFF, ie1g, ie1g, false},     {ioTIFF, ie8g, ie8g, false},
        {ioTIFF, ie16g, ie24RGB, false},   {ioTIFF, ieCMYK, ie24RGB, false}, {ioPNG, ie24RGB, ie24RGB, false},
        {ioPNG, ieRGB48, ieRGB48, false},  {ioPNG, ie1g, ie1g, false},
        {ioBMP, ie24RGB, ie24RGB, false},  {ioJPEG, ie24RGB, ie24RGB, true}, {ioGIF, ie24RGB, ie8p, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.Type << " format " << (int)c.Format);
        TIEBitmap image;
        FillBase(image);
        image.SetPixelFormat(c.Format);
        ASSERT_EQ(image.GetPixelFormat(), c.Format);
        TMemoryStream out;
        {
            TIEWICWriter writer;
            ASSERT_TRUE(writer.Open(&out, c.Type));
            TIOParamsVals params(nullptr);
            params.SetDpiX(150);
            params.SetDpiY(75);
            EXPECT_TRUE(writer.WriteFrame(&image, &params));
        }
        ASSERT_GT(out.GetSize(), 0);
        const std::string bytes = codectest::Contents(out);
        TIEBitmap back;
        TIOParamsVals params(nullptr);
        params.NativePixelFormat = true;
        ASSERT_TRUE(WICRead(bytes, c.Type, back, &params));
        EXPECT_EQ(back.GetWidth(), 13);
        EXPECT_EQ(back.GetHeight(), 7);
        if (c.Type != ioGIF) EXPECT_EQ(back.GetPixelFormat(), c.Back);
        // Our own decoder reads the same colours from the file.
        TIEBitmap own;
        ASSERT_TRUE(OwnRead(bytes, c.Type, own, false));
        const std::string wicRGB = codectest::RGBBytes(back), ownRGB = codectest::RGBBytes(own);
        if (c.Lossy) {
            // (The two JPEG decoders upsample chroma differently at the picture's sharp edges.)
            EXPECT_LE(MaxDifference(wicRGB, ownRGB), c.Type == ioJPEG ? 32 : 0);
            EXPECT_LE(MeanDifference(wicRGB, ownRGB), 6.0);
            EXPECT_LE(MeanDifference(wicRGB, codectest::RGBBytes(image)), 16.0);
            continue;
        }
        EXPECT_EQ(ownRGB, codectest::RGBBytes(image));
        if (c.Back == c.Format) EXPECT_EQ(RowBytes(back), RowBytes(image));
        EXPECT_EQ(params.DpiX, 150);
        EXPECT_EQ(params.DpiY, 75);
    }
}

TEST_F(WIC, HDPhotoLoadsThroughTheComponent) {
    const std::string bytes = ReadFileBytes("wic.wdp");
    ASSERT_FALSE(bytes.empty()) << "JxrEncApp (libjxr-tools) made no sample";
    const std::wstring name = L"Z:" + std::wstring(kSamples.begin(), kSamples.end()) + L"wic.wdp";
    TPicturaIO io(nullptr);
    io.GetIEBitmap()->Allocate(4, 4, ie8g);
    io.LoadFromFileHDP(name);
    EXPECT_FALSE(io.Aborting);
    TIEBitmap* b = io.GetIEBitmap();
    EXPECT_EQ(b->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(codectest::RGBBytes(*b), BaseRGB(16));   // lossless
    EXPECT_EQ(io.Params->FileType, ioHDP);
    EXPECT_EQ(io.Params->FileName, name);
    EXPECT_EQ(io.Params->Width, 16);
    EXPECT_EQ(io.Params->OriginalHeight, 7);
    EXPECT_GE(io.Params->DpiX, 2);

    // The stream form, with a thumbnail asked for that the file does not have: the whole frame.
    TMemoryStream s;
    codectest::Fill(s, bytes);
    TPicturaIO streamed(nullptr);
    streamed.Params->GetThumbnail = true;
    streamed.LoadFromStreamHDP(&s);
    EXPECT_FALSE(streamed.Aborting);
    EXPECT_EQ(codectest::RGBBytes(*streamed.GetIEBitmap()), BaseRGB(16));
    EXPECT_TRUE(streamed.Params->FileName.empty());

    // Data that is not HD Photo.
    TMemoryStream junk;
    codectest::Fill(junk, "II\xBC\x01" + std::string(60, 'x'));
    streamed.LoadFromStreamHDP(&junk);
    EXPECT_TRUE(streamed.Aborting);
}

TEST_F(WIC, HDPhotoSavingFailsCleanlyWithoutAnEncoder) {
    // Wine has no HD Photo encoder: the save aborts, writes nothing and adds no tags to nothing.
    TPicturaIO io(nullptr);
    FillBase(*io.GetIEBitmap());
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    TMemoryStream out;
    io.SaveToStreamHDP(&out);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(out.GetSize(), 0);
    EXPECT_EQ(finished, 1);

    const std::string path = kSamples + "saved.wdp";
    const std::wstring name = L"Z:" + std::wstring(path.begin(), path.end());
    io.SaveToFileHDP(name);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(ReadFileBytes("saved.wdp").size(), 0u);
}
