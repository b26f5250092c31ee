// Frames of AVI files through the system's AVI file library, and of the same files played as media
// files through DirectShow. The fixtures are written at test time through the AVI file library's
// own writing functions: 64 x 48, 10 frames at 25 per second, uncompressed 24-bit or RGB555.
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "iedshow.h"
#include "picturaio.h"

namespace {

constexpr int32_t kWidth = 64, kHeight = 48, kFrames = 10;

// The colour of pixel (X, Y) of frame F (Y counted from the top).
TIERGB Expected(int32_t X, int32_t Y, int32_t F) {
    TIERGB c;
    c.r = static_cast<uint8_t>(F * 20 + X);
    c.g = static_cast<uint8_t>(Y * 5 + F * 7);
    c.b = static_cast<uint8_t>(X * 4 + F);
    return c;
}

// Writes an AVI through AVIFile: a video stream of 24 or 16 (RGB555) bits, or only an audio stream.
bool WriteAVI(const std::wstring& Name, int32_t BitCount, bool Video = true) {
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, Name.c_str(), OF_CREATE | OF_WRITE, nullptr) != 0) return false;
    AVISTREAMINFOW info = {};
    PAVISTREAM stream = nullptr;
    bool ok = true;
    if (!Video) {
        info.fccType = streamtypeAUDIO;
        info.dwScale = 1;
        info.dwRate = 8000;
        info.dwSampleSize = 1;
        WAVEFORMATEX wave = {};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = 1;
        wave.nSamplesPerSec = 8000;
        wave.nAvgBytesPerSec = 8000;
        wave.nBlockAlign = 1;
        wave.wBitsPerSample = 8;
        std::vector<uint8_t> silence(800, 128);
        ok = AVIFileCreateStreamW(file, &stream, &info) == 0 && AVIStreamSetFormat(stream, 0, &wave, sizeof(wave)) == 0 &&
             AVIStreamWrite(stream, 0, 800, silence.data(), 800, 0, nullptr, nullptr) == 0;
    } else {
        info.fccType = streamtypeVIDEO;
        info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
        info.dwScale = 1;
        info.dwRate = 25;
        info.dwSuggestedBufferSize = kWidth * kHeight * 3;
        SetRect(&info.rcFrame, 0, 0, kWidth, kHeight);
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof(header);
        header.biWidth = kWidth;
        header.biHeight = kHeight;
        header.biPlanes = 1;
        header.biBitCount = static_cast<WORD>(BitCount);
        header.biCompression = BI_RGB;
        const int32_t rowLen = (kWidth * BitCount + 31) / 32 * 4;
        header.biSizeImage = static_cast<DWORD>(rowLen * kHeight);
        ok = AVIFileCreateStreamW(file, &stream, &info) == 0 && AVIStreamSetFormat(stream, 0, &header, sizeof(header)) == 0;
        std::vector<uint8_t> rows(header.biSizeImage);
        for (int32_t f = 0; ok && f < kFrames; ++f) {
            for (int32_t y = 0; y < kHeight; ++y) {
                uint8_t* row = rows.data() + static_cast<size_t>(kHeight - 1 - y) * rowLen;
                for (int32_t x = 0; x < kWidth; ++x) {
                    const TIERGB c = Expected(x, y, f);
                    if (BitCount == 24) {
                        row[x * 3] = c.b;
                        row[x * 3 + 1] = c.g;
                        row[x * 3 + 2] = c.r;
                    } else {
                        const uint16_t v = static_cast<uint16_t>((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
                        row[x * 2] = static_cast<uint8_t>(v);
                        row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
                    }
                }
            }
            ok = AVIStreamWrite(stream, f, 1, rows.data(), static_cast<LONG>(rows.size()), AVIIF_KEYFRAME, nullptr,
                                nullptr) == 0;
        }
    }
    if (stream) AVIStreamRelease(stream);
    AVIFileRelease(file);
    return ok;
}

void ExpectFrame(TIEBitmap& Bitmap, int32_t Frame) {
    ASSERT_EQ(Bitmap.GetWidth(), kWidth);
    ASSERT_EQ(Bitmap.GetHeight(), kHeight);
    for (int32_t y = 0; y < kHeight; y += 5)
        for (int32_t x = 0; x < kWidth; x += 3) {
            const TIERGB a = Bitmap.GetPixelAsRGB(x, y), e = Expected(x, y, Frame);
            ASSERT_TRUE(a.r == e.r && a.g == e.g && a.b == e.b)
                << "frame " << Frame << " pixel " << x << "," << y << ": " << int(a.r) << " " << int(a.g) << " "
                << int(a.b) << " instead of " << int(e.r) << " " << int(e.g) << " " << int(e.b);
        }
}

class PicturaIOVideo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        AVIFileInit();
        Dir = new testsupport::TScratchDir(L"KWVideo_");
        ASSERT_TRUE(WriteAVI(*Dir / L"rgb24.avi", 24));
        ASSERT_TRUE(WriteAVI(*Dir / L"rgb555.avi", 16));
        ASSERT_TRUE(WriteAVI(*Dir / L"sound.avi", 0, false));
        AVIFileExit();
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    void SetUp() override {
        IEInitializePicturaIO();
        io.OnFinishWork = [this](TObject*) { ++finished; };
    }
    void TearDown() override {
        io.CloseAVIFile();
        io.CloseMediaFile();
        IEFinalizePicturaIO();
    }

    static testsupport::TScratchDir* Dir;
    TPicturaIO io{nullptr};
    int finished = 0;
};
testsupport::TScratchDir* PicturaIOVideo::Dir = nullptr;

}  // namespace

TEST_F(PicturaIOVideo, AVIFramesCountTimeAndPixels) {
    EXPECT_EQ(io.OpenAVIFile(*Dir / L"rgb24.avi"), kFrames);
    EXPECT_FALSE(io.Aborting);
    EXPECT_TRUE(IEAVIFileInitialized);
    EXPECT_EQ(io.Params->ImageCount, kFrames);
    EXPECT_DOUBLE_EQ(io.Params->AVIFrameDelayTime, 40.0);
    io.LoadFromAVIFrame(3);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 1);
    ExpectFrame(*io.GetIEBitmap(), 3);
    EXPECT_EQ(io.Params->BitsPerSample, 8);
    EXPECT_EQ(io.Params->SamplesPerPixel, 3);
    EXPECT_EQ(io.Params->Width, kWidth);
    EXPECT_EQ(io.Params->OriginalHeight, kHeight);
    // Outside the file: nothing loaded, one finishing report each.
    for (int32_t frame : {-1, kFrames}) {
        finished = 0;
        io.LoadFromAVIFrame(frame);
        EXPECT_TRUE(io.Aborting) << frame;
        EXPECT_EQ(finished, 1) << frame;
        ExpectFrame(*io.GetIEBitmap(), 3);
    }
    io.LoadFromAVIFrame(9);
    ExpectFrame(*io.GetIEBitmap(), 9);
}

TEST_F(PicturaIOVideo, RGB555FramesAndASecondOpen) {
    ASSERT_EQ(io.OpenAVIFile(*Dir / L"rgb24.avi"), kFrames);
    // The second open closes the first: its frames are the 16-bit file's.
    ASSERT_EQ(io.OpenAVIFile(*Dir / L"rgb555.avi"), kFrames);
    io.LoadFromAVIFrame(2);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->BitsPerSample, 8);
    EXPECT_EQ(io.Params->SamplesPerPixel, 3);
    const TIERGB a = io.GetIEBitmap()->GetPixelAsRGB(5, 7), e = Expected(5, 7, 2);
    EXPECT_NEAR(a.r, e.r, 8);
    EXPECT_NEAR(a.g, e.g, 8);
    EXPECT_NEAR(a.b, e.b, 8);
}

TEST_F(PicturaIOVideo, FilesWithoutVideoFail) {
    for (const std::wstring& name : {*Dir / L"sound.avi", *Dir / L"missing.avi"}) {
        io.Aborting = false;
        EXPECT_EQ(io.OpenAVIFile(name), 0);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.Params->ImageCount, 0);
    }
    finished = 0;
    io.LoadFromAVIFrame(0);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
}

TEST_F(PicturaIOVideo, LoadByNameTakesTheImageIndex) {
    io.Params->SetImageIndex(6);
    io.LoadFromFile(*Dir / L"rgb24.avi");
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(io.Params->FileType, ioAVI);
    ExpectFrame(*io.GetIEBitmap(), 6);
}

TEST_F(PicturaIOVideo, MediaFileFramesThroughDirectShow) {
    ASSERT_EQ(io.OpenMediaFile(*Dir / L"rgb24.avi"), kFrames);
    EXPECT_FALSE(io.Aborting);
    EXPECT_NEAR(io.MediaFileFrameTime, 40.0, 1e-9);
    EXPECT_EQ(io.Params->Width, kWidth);
    EXPECT_EQ(io.Params->Height, kHeight);
    io.LoadMediaFileFrame(7);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(io.Params->ImageIndex, 7);
    EXPECT_NEAR(io.Params->MediaFileFrameDelayTime, 40.0, 1e-9);
    ExpectFrame(*io.GetIEBitmap(), 7);
    io.LoadMediaFileFrame(2);
    ExpectFrame(*io.GetIEBitmap(), 2);
    finished = 0;
    io.LoadMediaFileFrame(kFrames);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
    io.CloseMediaFile();
    EXPECT_EQ(io.GetMediaFile(), nullptr);
    EXPECT_EQ(io.OpenMediaFile(*Dir / L"missing.wmv"), 0);
    EXPECT_TRUE(io.Aborting);
}

TEST_F(PicturaIOVideo, MediaFileLoadByNameTakesTheImageIndex) {
    // An AVI under a media file's name goes to DirectShow, which finds the content itself.
    ASSERT_TRUE(CopyFileW((*Dir / L"rgb24.avi").c_str(), (*Dir / L"clip.wmv").c_str(), FALSE));
    for (int32_t index : {0, 5}) {
        SCOPED_TRACE(index);
        finished = 0;
        io.Params->SetImageIndex(index);
        io.LoadFromFile(*Dir / L"clip.wmv");
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.Params->FileType, ioWMV);
        EXPECT_EQ(io.Params->FileName, *Dir / L"clip.wmv");
        EXPECT_EQ(io.GetMediaFile(), nullptr);   // closed again
        ExpectFrame(*io.GetIEBitmap(), index);
    }
}
