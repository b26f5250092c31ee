// The per-format loaders of the I/O component on files made by tools no one here wrote
// (make_load_samples.sh): each format loaded by file name and from a stream (behind other bytes),
// the pixels against the gradient the files were made from, the state the component is left in
// after a good and a bad file, and the format-specific rules (alpha channels, background colours,
// stream headers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"
#include "iebitmap.h"
#include "iepsd.h"
#include "tiffilt_write.h"
#include "picturaio.h"
#include "picturaview.h"
#include "support/ToolSkip.h"

namespace {

// The samples that make_load_samples.sh wrote before the tests ran.
const std::string kSamples = std::string(TEST_BUILD_DIR) + "/load-samples/";

std::wstring Wide(const std::string& S) { return std::wstring(S.begin(), S.end()); }

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The gradient every sample was made from: 13 x 7 pixels.
constexpr int32_t kWidth = 13, kHeight = 7;
TIERGB Gradient(int32_t X, int32_t Y) {
    TIERGB c;
    c.r = static_cast<uint8_t>((19 * X) % 256);
    c.g = static_cast<uint8_t>((37 * Y) % 256);
    c.b = static_cast<uint8_t>((11 * X * Y + 5) % 256);
    return c;
}

// Every pixel within Tolerance of Expected(x, y) in each channel.
template <class F>
void ExpectPixels(TIEBitmap& Bitmap, F Expected, int32_t Tolerance, const std::string& Name) {
    ASSERT_EQ(Bitmap.GetWidth(), kWidth) << Name;
    ASSERT_EQ(Bitmap.GetHeight(), kHeight) << Name;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const TIERGB a = Bitmap.GetPixelAsRGB(x, y), e = Expected(x, y);
            ASSERT_TRUE(std::abs(a.r - e.r) <= Tolerance && std::abs(a.g - e.g) <= Tolerance &&
                        std::abs(a.b - e.b) <= Tolerance)
                << Name << " pixel " << x << "," << y << ": " << int(a.r) << " " << int(a.g) << " " << int(a.b)
                << " expected " << int(e.r) << " " << int(e.g) << " " << int(e.b);
        }
}

// A stream holding Prefix bytes of 0x55, then the file, positioned at the file.
void FillStream(TMemoryStream& Stream, const std::vector<uint8_t>& Bytes, size_t Prefix) {
    std::vector<uint8_t> data(Prefix, 0x55);
    data.insert(data.end(), Bytes.begin(), Bytes.end());
    Stream.Write(data.data(), static_cast<int32_t>(data.size()));
    Stream.SetPosition(static_cast<int64_t>(Prefix));
}

// Gives the component's bitmap an image and an alpha channel that no load may leave behind.
void Dirty(TPicturaIO& IO) {
    TIEBitmap* b = IO.GetIEBitmap();
    b->Allocate(3, 3, ie24RGB);
    b->Fill(0);
    b->GetAlphaChannel()->Fill(17);
}

using FileLoader = void (*)(TPicturaIO&, const std::wstring&);
using StreamLoader = void (*)(TPicturaIO&, TStream*);
using Expected = TIERGB (*)(int32_t, int32_t);

// The grey of the DICOM sample.
TIERGB DicomGrey(int32_t X, int32_t Y) {
    const uint8_t v = (X == kWidth - 1 && Y == kHeight - 1) ? 255 : static_cast<uint8_t>((19 * X + 37 * Y) % 256);
    TIERGB c;
    c.r = c.g = c.b = v;
    return c;
}

struct LoadCase {
    const char* File;
    TIOFileType Type;
    FileLoader ByFile;
    StreamLoader ByStream;
    // The pixels: Expect(x, y), or (when Reference is given) that PXM file as read by the
    // component; within Tolerance per channel.
    Expected Expect;
    const char* Reference;
    int32_t Tolerance;
    bool KeepsAlpha;   // the file brings an alpha channel
};

#define KW_LOADERS(F) \
    [](TPicturaIO& io, const std::wstring& n) { io.LoadFromFile##F(n); }, \
    [](TPicturaIO& io, TStream* s) { io.LoadFromStream##F(s); }
#define KW_COUNTING_LOADERS(F) \
    [](TPicturaIO& io, const std::wstring& n) { EXPECT_EQ(io.LoadFromFile##F(n), 1); }, \
    [](TPicturaIO& io, TStream* s) { EXPECT_EQ(io.LoadFromStream##F(s), 1); }

const LoadCase kCases[] = {
    {"grad.png", ioPNG, KW_LOADERS(PNG), Gradient, nullptr, 0, false},
    {"grad.bmp", ioBMP, KW_LOADERS(BMP), Gradient, nullptr, 0, false},
    {"grad.tif", ioTIFF, KW_COUNTING_LOADERS(TIFF), Gradient, nullptr, 0, false},
    {"grad.jpg", ioJPEG, KW_LOADERS(JPEG), nullptr, "grad_jpg.ppm", 2, false},
    {"grad.pcx", ioPCX, KW_LOADERS(PCX), Gradient, nullptr, 0, false},
    {"grad.dcx", ioDCX, KW_LOADERS(DCX), Gradient, nullptr, 0, false},
    {"grad.ico", ioICO, KW_LOADERS(ICO), Gradient, nullptr, 0, false},
    // A cursor's transparency mask stays even when every pixel is opaque.
    {"grad.cur", ioCUR, KW_LOADERS(CUR), Gradient, nullptr, 0, true},
    {"grad.tga", ioTGA, KW_LOADERS(TGA), Gradient, nullptr, 0, false},
    {"grad.ppm", ioPXM, KW_LOADERS(PXM), Gradient, nullptr, 0, false},
    {"grad.wbmp", ioWBMP, KW_LOADERS(WBMP), nullptr, "grad.pbm", 0, false},
    {"grad.jp2", ioJP2, KW_LOADERS(JP2), Gradient, nullptr, 0, false},
    {"grad.j2k", ioJ2K, KW_LOADERS(J2K), Gradient, nullptr, 0, false},
    // ImageMagick writes the image as the document's single layer, whose transparency (opaque
    // here) the document then takes.
    {"grad.psd", ioPSD, KW_LOADERS(PSD), Gradient, nullptr, 0, true},
    {"grad.dcm", ioDICOM, KW_LOADERS(DICOM), DicomGrey, nullptr, 0, false},
};

// The pixels of a case against its expectation.
void ExpectCasePixels(TIEBitmap& Bitmap, const LoadCase& Case) {
    if (!Case.Reference) {
        ExpectPixels(Bitmap, Case.Expect, Case.Tolerance, Case.File);
        return;
    }
    TPicturaIO reference(nullptr);
    reference.LoadFromFilePXM(Wide(kSamples + Case.Reference));
    ASSERT_FALSE(reference.Aborting) << Case.Reference;
    TIEBitmap* r = reference.GetIEBitmap();
    ExpectPixels(Bitmap, [r](int32_t x, int32_t y) { return r->GetPixelAsRGB(x, y); }, Case.Tolerance, Case.File);
}

class PicturaIOLoad : public ::testing::Test {
protected:
    void SetUp() override { IEPicturaViewInitialize(); }
};

}  // namespace

TEST_F(PicturaIOLoad, EveryFormatByFileAndByStream) {
    for (const LoadCase& c : kCases) {
        const std::string path = kSamples + c.File;
        const std::vector<uint8_t> bytes = ReadFileBytes(path);
        if (bytes.empty()) {
            std::printf("skipped %s: the tool that makes it is missing\n", c.File);
            continue;
        }
        SCOPED_TRACE(c.File);
        TPicturaIO io(nullptr);
        int finished = 0;
        io.OnFinishWork = [&](TObject*) { ++finished; };

        Dirty(io);
        c.ByFile(io, Wide(path));
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params->FileType, c.Type);
        EXPECT_EQ(io.Params->FileName, Wide(path));
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.GetIEBitmap()->HasAlphaChannel(), c.KeepsAlpha);
        ExpectCasePixels(*io.GetIEBitmap(), c);

        // From a stream, behind other bytes: the reader starts at the position (a DCX container
        // is a whole stream: its page table holds stream positions).
        Dirty(io);
        io.Params->FileType = ioUnknown;
        TMemoryStream stream;
        FillStream(stream, bytes, c.Type == ioDCX ? 0 : 5);
        c.ByStream(io, &stream);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.Params->FileType, c.Type);
        EXPECT_EQ(io.Params->FileName, L"");
        EXPECT_EQ(finished, 2);
        EXPECT_EQ(io.GetIEBitmap()->HasAlphaChannel(), c.KeepsAlpha);
        ExpectCasePixels(*io.GetIEBitmap(), c);
    }
}

// Every reader keeps to the library's image-size limit: one pixel fewer than the image has refuses
// it (Aborting, as any failed load), the image's own count or no limit (0) reads it.
TEST_F(PicturaIOLoad, EveryFormatKeepsToTheImageSizeLimit) {
    struct TRestore {
        int64_t Saved = IEMaxImagePixels;
        ~TRestore() { IEMaxImagePixels = Saved; }
    } restore;
    for (const LoadCase& c : kCases) {
        const std::vector<uint8_t> bytes = ReadFileBytes(kSamples + c.File);
        ASSERT_FALSE(bytes.empty()) << c.File;
        for (int64_t limit : {int64_t(kWidth * kHeight - 1), int64_t(kWidth * kHeight), int64_t(0)}) {
            SCOPED_TRACE(std::string(c.File) + " limit " + std::to_string(limit));
            IEMaxImagePixels = limit;
            TPicturaIO io(nullptr);
            TMemoryStream stream;
            FillStream(stream, bytes, 0);
            c.ByStream(io, &stream);
            const bool refused = limit == kWidth * kHeight - 1;
            EXPECT_EQ(io.Aborting, refused);
            if (!refused) EXPECT_EQ(io.GetIEBitmap()->GetWidth(), kWidth);
        }
    }
}

TEST_F(PicturaIOLoad, ABadFileSetsAbortingAndStillFinishes) {
    const std::vector<uint8_t> png = ReadFileBytes(kSamples + "grad.png");
    if (png.empty()) KW_SKIP_UNLESS_CI() << "pnmtopng is missing";
    // Cut in the middle of the image data.
    TMemoryStream stream;
    FillStream(stream, std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2), 0);
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.LoadFromStreamPNG(&stream);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);

    // Not a bitmap at all.
    TMemoryStream junk;
    FillStream(junk, std::vector<uint8_t>(64, 0x55), 0);
    io.LoadFromStreamBMP(&junk);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 2);

    // A good load afterwards clears the flag.
    stream.Clear();
    FillStream(stream, png, 0);
    io.LoadFromStreamPNG(&stream);
    EXPECT_FALSE(io.Aborting);
}

TEST_F(PicturaIOLoad, AFileThatCannotBeOpenedRaises) {
    const std::wstring missing = Wide(kSamples) + L"no-such-file.png";
    TPicturaIO io(nullptr);
    // The loaders that set Aborting before opening leave it set; the others leave it as it was.
    io.Aborting = false;
    EXPECT_THROW(io.LoadFromFilePNG(missing), EFOpenError);
    EXPECT_TRUE(io.Aborting);
    io.Aborting = false;
    EXPECT_THROW(io.LoadFromFileBMP(missing), EFOpenError);
    EXPECT_FALSE(io.Aborting);
}

TEST_F(PicturaIOLoad, WithoutABitmapALoadFails) {
    const std::vector<uint8_t> png = ReadFileBytes(kSamples + "grad.png");
    if (png.empty()) KW_SKIP_UNLESS_CI() << "pnmtopng is missing";
    TPicturaIO io(nullptr);
    io.SetAttachedIEBitmap(nullptr);
    ASSERT_EQ(io.GetIEBitmap(), nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    TMemoryStream stream;
    FillStream(stream, png, 0);
    io.LoadFromStreamPNG(&stream);
    EXPECT_TRUE(io.Aborting) << "nothing was loaded";
    EXPECT_EQ(finished, 1);
    io.LoadFromFilePNG(Wide(kSamples + "grad.png"));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 2);
}

TEST_F(PicturaIOLoad, PNGBackgroundAndAlpha) {
    const std::string bkgd = kSamples + "bkgd.png", plain = kSamples + "grad.png", alpha = kSamples + "alpha.png";
    if (ReadFileBytes(bkgd).empty() || ReadFileBytes(plain).empty()) KW_SKIP_UNLESS_CI() << "pnmtopng is missing";
    TPicturaIO io(nullptr);
    io.SetBackground(0x00ABCDEF);
    io.LoadFromFilePNG(Wide(plain));
    EXPECT_EQ(io.GetBackground(), 0x00ABCDEF) << "no bKGD chunk: the background stays";
    io.LoadFromFilePNG(Wide(bkgd));
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetBackground(), 0x00563412) << "rgb:12/34/56";
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "bkgd.png");

    if (ReadFileBytes(alpha).empty()) return;
    io.LoadFromFilePNG(Wide(alpha));
    EXPECT_FALSE(io.Aborting);
    ASSERT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "alpha.png");
    const uint8_t a = io.GetIEBitmap()->GetAlpha(4, 3);
    EXPECT_NEAR(a, 128, 1) << "half transparent";
}

TEST_F(PicturaIOLoad, BMPAlphaFollowsBMPHandleTransparency) {
    // A 2 x 1 32-bit bitmap whose alpha bytes are 0x40 and 0xC0.
    const uint8_t file[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,           // file header
                            40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0,        // info header
                            0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            10, 20, 30, 0x40, 40, 50, 60, 0xC0};
    TPicturaIO io(nullptr);
    for (bool handle : {false, true}) {
        SCOPED_TRACE(handle);
        TMemoryStream stream;
        FillStream(stream, std::vector<uint8_t>(file, file + sizeof file), 0);
        io.Params->BMPHandleTransparency = handle;
        io.LoadFromStreamBMP(&stream);
        EXPECT_FALSE(io.Aborting);
        TIEBitmap* b = io.GetIEBitmap();
        ASSERT_EQ(b->GetWidth(), 2);
        EXPECT_EQ(b->GetPixelAsRGB(1, 0).r, 60);
        ASSERT_EQ(b->HasAlphaChannel(), handle);
        if (handle) {
            EXPECT_EQ(b->GetAlpha(0, 0), 0x40);
            EXPECT_EQ(b->GetAlpha(1, 0), 0xC0);
        }
    }
}

namespace {

// The 12-byte stream header: the tag, zero-padded to 8 bytes, and the little-endian length.
std::vector<uint8_t> StreamHeader(const char* Tag, uint32_t Length) {
    std::vector<uint8_t> h(12, 0);
    std::memcpy(h.data(), Tag, std::strlen(Tag));
    for (int i = 0; i < 4; ++i) h[8 + i] = static_cast<uint8_t>(Length >> (8 * i));
    return h;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> Parts) {
    std::vector<uint8_t> all;
    for (const auto& p : Parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(PicturaIOLoad, JPEGStreamHeaderIsReadEvenWithoutStreamHeaders) {
    const std::vector<uint8_t> jpg = ReadFileBytes(kSamples + "grad.jpg");
    if (jpg.empty()) KW_SKIP_UNLESS_CI() << "cjpeg is missing";
    const uint32_t n = static_cast<uint32_t>(jpg.size());
    TMemoryStream stream;
    FillStream(stream, Join({StreamHeader("JFIF", n), jpg, StreamHeader("JFIF", n), jpg, {1, 2, 3}}), 0);
    TPicturaIO io(nullptr);
    ASSERT_FALSE(io.StreamHeaders);
    for (int image = 1; image <= 2; ++image) {
        SCOPED_TRACE(image);
        io.LoadFromStreamJPEG(&stream);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), kWidth);
        EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(image * (12 + n))) << "right after the image";
    }
    // A length past the end of the stream leaves the stream at its end.
    stream.Clear();
    FillStream(stream, Join({StreamHeader("JFIF", 0x7FFFFFF0u), jpg}), 0);
    io.LoadFromStreamJPEG(&stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());

    // A plain JPEG is read from where the header would have been.
    stream.Clear();
    FillStream(stream, jpg, 3);
    io.LoadFromStreamJPEG(&stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), kHeight);
}

TEST_F(PicturaIOLoad, PCXStreamHeaders) {
    const std::vector<uint8_t> pcx = ReadFileBytes(kSamples + "grad.pcx");
    if (pcx.empty()) KW_SKIP_UNLESS_CI() << "ppmtopcx is missing";
    const uint32_t n = static_cast<uint32_t>(pcx.size());
    TPicturaIO io(nullptr);
    io.StreamHeaders = true;
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };

    // Two images, each behind a "PCX2" header: each reads back and leaves the stream after it.
    TMemoryStream stream;
    FillStream(stream, Join({StreamHeader("PCX2", n), pcx, StreamHeader("PCX2", n), pcx}), 0);
    for (int image = 1; image <= 2; ++image) {
        SCOPED_TRACE(image);
        io.LoadFromStreamPCX(&stream);
        EXPECT_FALSE(io.Aborting);
        ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "PCX2");
        EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(image * (12 + n)));
    }

    // A header that promises more than the stream holds: the image is read from what is there
    // and the stream is left at its end, not beyond.
    stream.Clear();
    FillStream(stream, Join({StreamHeader("PCX2", 0x7FFFFFF0u), pcx}), 0);
    io.LoadFromStreamPCX(&stream);
    EXPECT_FALSE(io.Aborting);
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "PCX2, long");
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());

    // The older 4-byte header.
    stream.Clear();
    FillStream(stream, Join({{'P', 'C', 'X', 0}, pcx}), 0);
    io.LoadFromStreamPCX(&stream);
    EXPECT_FALSE(io.Aborting);
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "PCX");

    // Anything else is refused, and the work still finishes.
    stream.Clear();
    FillStream(stream, Join({StreamHeader("JFIF", n), pcx}), 0);
    const int before = finished;
    io.LoadFromStreamPCX(&stream);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, before + 1);

    // Without StreamHeaders the stream holds the bare image.
    io.StreamHeaders = false;
    stream.Clear();
    FillStream(stream, pcx, 0);
    io.LoadFromStreamPCX(&stream);
    EXPECT_FALSE(io.Aborting);
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "bare PCX");
}

TEST_F(PicturaIOLoad, TIFFStreamHeader) {
    // A TIFF written by the library's writer behind a "TIFF" header (its offsets count from the
    // start of the stream, as the writer makes them).
    TIEBitmap source(kWidth, kHeight, ie24RGB);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) source.SetPixelRGB(x, y, Gradient(x, y));
    TPicturaIO writer(nullptr);
    TMemoryStream stream;
    const std::vector<uint8_t> placeholder(12, 0);
    stream.Write(placeholder.data(), 12);
    TIOProgressRecord progress = writer.MakeProgressRecord();
    IEWriteTIFFStream(&stream, false, &source, *writer.Params, progress);
    ASSERT_FALSE(writer.Aborting);
    const int64_t end = stream.GetSize();
    const std::vector<uint8_t> header = StreamHeader("TIFF", static_cast<uint32_t>(end - 12));
    stream.SetPosition(0);
    stream.Write(header.data(), 12);
    stream.SetPosition(0);

    TPicturaIO io(nullptr);
    io.StreamHeaders = true;
    EXPECT_EQ(io.LoadFromStreamTIFF(&stream), 1);
    EXPECT_FALSE(io.Aborting);
    ExpectPixels(*io.GetIEBitmap(), Gradient, 0, "TIFF behind its header");
    EXPECT_EQ(stream.GetPosition(), end);

    // Another tag: no pages, Aborting.
    uint8_t bad[12] = {'P', 'C', 'X', '2'};
    stream.SetPosition(0);
    stream.Write(bad, 12);
    stream.SetPosition(0);
    EXPECT_EQ(io.LoadFromStreamTIFF(&stream), 0);
    EXPECT_TRUE(io.Aborting);
}

TEST_F(PicturaIOLoad, PSDSingleLayerTransparencyLandsWhereTheLayerLies) {
    // A 40 x 40 document with one 8 x 6 layer at (10, 20) whose alpha is 200.
    TIEBitmap merged(40, 40, ie24RGB);
    merged.Fill(0x808080);
    TIEPSDLayerList layers;
    auto layer = std::make_unique<TIEPSDLayer>();
    layer->PosX = 10;
    layer->PosY = 20;
    layer->Bitmap->Allocate(8, 6, ie24RGB);
    layer->Bitmap->Fill(0x102030);
    layer->Bitmap->GetAlphaChannel()->Fill(200);
    layers.push_back(std::move(layer));
    TPicturaIO writer(nullptr);
    TMemoryStream stream;
    TIOProgressRecord progress = writer.MakeProgressRecord();
    IEWritePSDStream(&stream, *writer.Params, progress, &merged, &layers);
    ASSERT_FALSE(writer.Aborting);
    stream.SetPosition(0);

    TPicturaIO io(nullptr);
    io.LoadFromStreamPSD(&stream);
    ASSERT_FALSE(io.Aborting);
    TIEBitmap* b = io.GetIEBitmap();
    ASSERT_EQ(b->GetWidth(), 40);
    ASSERT_EQ(b->GetHeight(), 40);
    ASSERT_TRUE(b->HasAlphaChannel());
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 18 && y >= 20 && y < 26;
            ASSERT_EQ(b->GetAlpha(x, y), inside ? 200 : 0) << x << "," << y;
        }

    // Asking for the layers with no viewer to take them still gives the document's image.
    io.Params->PSDLoadLayers = true;
    stream.SetPosition(0);
    io.LoadFromStreamPSD(&stream);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(b->GetWidth(), 40);
    EXPECT_EQ(b->GetHeight(), 40);
    EXPECT_EQ(b->GetAlpha(12, 22), 200);
}

TEST_F(PicturaIOLoad, LayeredFilesFailWithoutTheirViewer) {
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    TMemoryStream stream;
    for (TIOFileType t : {ioIEV, ioLYR, ioALL}) {
        io.Aborting = false;
        io.LoadFromStreamLayered(&stream, t);
        EXPECT_TRUE(io.Aborting);
        io.Aborting = false;
        io.LoadFromFileLayered(L"x.lyr", t);
        EXPECT_TRUE(io.Aborting);
    }
    EXPECT_EQ(finished, 6);
}

TEST_F(PicturaIOLoad, RawBitmapFillsTheBitmapAsTheCallerSizedIt) {
    TPicturaIO io(nullptr);
    TIEBitmap* b = io.GetIEBitmap();
    b->Allocate(2, 2, ie24RGB);
    b->GetAlphaChannel()->Fill(3);
    // Red first, rows of 6 bytes (aligned to 8 bits).
    const uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    TMemoryStream stream;
    FillStream(stream, std::vector<uint8_t>(pixels, pixels + sizeof pixels), 0);
    io.LoadFromStreamBMPRAW(&stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->FileType, ioRawBitmap);
    EXPECT_FALSE(b->HasAlphaChannel());
    ASSERT_EQ(b->GetWidth(), 2);
    const TIERGB last = b->GetPixelAsRGB(1, 1);
    EXPECT_EQ(last.r, 10);
    EXPECT_EQ(last.g, 11);
    EXPECT_EQ(last.b, 12);

    // No file name: nothing happens at all.
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.Params->FileType = ioPNG;
    io.LoadFromFileBMPRAW(L"");
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(io.Params->FileType, ioPNG);
}

TEST_F(PicturaIOLoad, AutoAdjustDPIEvensTheResolutions) {
    // A 4 x 2 BMP of 2000 x 1000 pixels per metre (51 x 25 dpi): the shorter side is scaled.
    uint8_t file[54 + 24] = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0,
                             1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0, 0xD0, 0x07, 0, 0, 0xE8, 0x03, 0, 0};
    TPicturaIO io(nullptr);
    for (bool adjust : {false, true}) {
        SCOPED_TRACE(adjust);
        io.AutoAdjustDPI = adjust;
        TMemoryStream stream;
        FillStream(stream, std::vector<uint8_t>(file, file + sizeof file), 0);
        io.LoadFromStreamBMP(&stream);
        ASSERT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 4);
        if (!adjust) {
            EXPECT_NE(io.Params->DpiX, io.Params->DpiY);
            EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 2);
        } else {
            EXPECT_EQ(io.Params->DpiX, io.Params->DpiY);
            EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 4) << "the height follows the finer resolution";
        }
    }
}
