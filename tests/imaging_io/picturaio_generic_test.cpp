// Loading and saving by name, stream and buffer: which per-format method or plug-in procedure
// each generic operation reaches, the loads and saves that must report failure (videos, media
// files, addresses, types without a reader or writer), the parameter-only reads of files made by
// other tools, and every format of the table saved and loaded again by name and by stream.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "iebitmap.h"
#include "picturaio.h"
#include "picturaview.h"
#include "support/ToolSkip.h"

namespace {

const std::string kSamples = std::string(TEST_BUILD_DIR) + "/format-samples/";

std::string SampleBytes(const std::string& Name) {
    std::ifstream in(kSamples + Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A plug-in format: a 4-byte tag, then width and height as bytes and one grey level for every
// pixel. Its reader and writer are the row's procedures.
constexpr TIOFileType kPlugType = 77;
int gPlugReads = 0;
bool gPlugLastPreview = false;

void PlugRead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIOProgressRecord& Progress, bool Preview) {
    ++gPlugReads;
    gPlugLastPreview = Preview;
    uint8_t head[6] = {};
    if (Stream->Read(head, 6) != 6 || std::memcmp(head, "PLUG", 4) != 0) {
        *Progress.Aborting = true;
        return;
    }
    Params.Width = head[4];
    Params.Height = head[5];
    if (Preview) return;
    Bitmap->Allocate(head[4], head[5], ie24RGB);
    for (int32_t y = 0; y < head[5]; ++y)
        for (int32_t x = 0; x < head[4]; ++x) {
            uint8_t v = 0;
            Stream->Read(&v, 1);
            *Bitmap->GetPixelRGBPtr(x, y) = TIERGB{v, v, v};
        }
}

void PlugWrite(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIOProgressRecord&) {
    const uint8_t head[6] = {'P', 'L', 'U', 'G', static_cast<uint8_t>(Bitmap->GetWidth()),
                             static_cast<uint8_t>(Bitmap->GetHeight())};
    Stream->Write(head, 6);
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
        for (int32_t x = 0; x < Bitmap->GetWidth(); ++x) Stream->Write(&Bitmap->GetPixelRGBPtr(x, y)->g, 1);
}

bool PlugProbe(TStream* Stream, TIOFileType) {
    char head[4] = {};
    return Stream->Read(head, 4) == 4 && std::memcmp(head, "PLUG", 4) == 0;
}

class GenericIO : public ::testing::Test {
protected:
    void SetUp() override {
        IEPicturaViewInitialize();
        IEInitializePicturaIO();
        io.OnFinishWork = [this](TObject*) { ++finished; };
        gPlugReads = 0;
    }
    void TearDown() override {
        IEIOPlugins.clear();
        IEFinalizePicturaIO();
    }
    void AddPlugin(bool WithReader = true, bool WithWriter = true) {
        auto info = std::make_unique<TIEFileFormatInfo>();
        info->FileType = kPlugType;
        info->Description = L"Plug-in grey";
        info->ExtensionList = L"PLG";
        info->BuiltIn = false;
        info->ReadProc = WithReader ? PlugRead : nullptr;
        info->WriteProc = WithWriter ? PlugWrite : nullptr;
        info->ProbeProc = PlugProbe;
        IEFileFormatAdd(std::move(info));
        IEIOPlugins.push_back(TIEIOPlugin{kPlugType, PlugProbe});
    }
    // A small image the component holds before an operation, to see that a failure keeps it.
    void Hold(int32_t W = 3, int32_t H = 2) {
        io.GetIEBitmap()->Allocate(W, H, ie24RGB);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                io.GetIEBitmap()->GetPixelRGBPtr(x, y)->r = static_cast<uint8_t>(40 * x + y);
    }
    std::string PlugBytes() const { return std::string("PLUG\x02\x01\x10\xF0", 8); }

    TPicturaIO io{nullptr};
    int finished = 0;
    testsupport::TScratchDir dir{L"KWGenericIO_"};
};

}  // namespace

// ---- failures that must be reported -------------------------------------------------------------

TEST_F(GenericIO, NamesThatCannotBeLoadedFailAndKeepTheImage) {
    // Videos that are none (no video stream, no duration), addresses that do not resolve; a
    // missing name has nothing to open; an extension without a row has no loader.
    testsupport::WriteFileBytes(dir / L"clip.avi", std::string("RIFF\x10\0\0\0AVI LIST", 16));
    for (const wchar_t* ext : {L"clip.wmv", L"clip.mpg", L"clip.MPEG", L"notes.xyz"})
        testsupport::WriteFileBytes(dir / ext, "not an image at all, just some bytes");
    const std::vector<std::wstring> names = {dir / L"clip.avi", dir / L"clip.wmv", dir / L"clip.mpg",
                                             dir / L"clip.MPEG", dir / L"notes.xyz", L"",
                                             L"http://example.invalid/a.png", L"HTTPS://example.invalid/a.jpg",
                                             L"ftp://example.invalid/a.bmp"};
    for (const std::wstring& name : names) {
        for (bool byExtension : {false, true}) {
            SCOPED_TRACE(WideToUtf8(name) + (byExtension ? " by extension" : " by content"));
            Hold();
            io.Params->FileType = ioBMP;
            io.Aborting = false;
            finished = 0;
            if (byExtension)
                io.LoadFromFileByExtension(name);
            else
                io.LoadFromFile(name);
            EXPECT_TRUE(io.Aborting);
            EXPECT_EQ(finished, 1);
            EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
            EXPECT_EQ(io.GetIEBitmap()->GetPixelRGBPtr(2, 1)->r, 81);
            // Opening an AVI file starts a new image of no type, even when the file then fails.
            EXPECT_EQ(io.Params->FileType, name == dir / L"clip.avi" ? 0 : ioBMP);
        }
    }
}

TEST_F(GenericIO, StreamsThatAreNotImages) {
    Hold();
    // Unrecognised content fails like any failed load (Aborting and the finish event) and keeps
    // the image, the parameters and the stream position; so does a buffer of it.
    const std::string junk(40, 'x');
    io.Params->FileType = ioBMP;
    for (int path = 0; path < 3; ++path) {
        SCOPED_TRACE(path);
        TIEMemStream stream(junk.data(), static_cast<int64_t>(junk.size()));
        stream.SetPosition(3);
        io.Aborting = false;
        finished = 0;
        if (path == 0) io.LoadFromStream(&stream);
        if (path == 1) io.LoadFromStreamFormat(&stream, ioUnknown);
        if (path == 2) io.LoadFromBuffer(junk.data(), static_cast<int32_t>(junk.size()));
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        if (path < 2) EXPECT_EQ(stream.GetPosition(), 3);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelRGBPtr(2, 1)->r, 81);
        EXPECT_EQ(io.Params->FileType, ioBMP);
    }
    // A video is recognised but has no loader: the load fails.
    const std::string avi("RIFF\x10\0\0\0AVI LIST0000", 20);
    TIEMemStream video(avi.data(), static_cast<int64_t>(avi.size()));
    io.Aborting = false;
    finished = 0;
    io.LoadFromStream(&video);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 1);
    // A type the table lists but that cannot be read from a stream.
    for (TIOFileType t : {ioPS, ioPDF}) {
        io.Aborting = false;
        io.LoadFromStreamFormat(&video, t);
        EXPECT_TRUE(io.Aborting);
    }
    // A type without a row: nothing happens.
    io.Aborting = false;
    io.LoadFromStreamFormat(&video, 250);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);

    // An empty buffer sets Aborting and does nothing else.
    finished = 0;
    for (int32_t size : {0, -1}) {
        io.Aborting = false;
        io.LoadFromBuffer(avi.data(), size);
        EXPECT_TRUE(io.Aborting);
        io.Aborting = false;
        io.ParamsFromBuffer(nullptr, 10);
        EXPECT_TRUE(io.Aborting);
    }
    io.Aborting = false;
    io.LoadFromBuffer(nullptr, 10);
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(finished, 0);
}

TEST_F(GenericIO, SavesWithoutAWriterCreateNothing) {
    Hold();
    // The cursor has no writer; layer files and the raw bitmap are written elsewhere; xif is in
    // the TIFF row but not among the TIFF saver's extensions; an unknown extension has no row.
    struct Case {
        const wchar_t* Name;
        TIOFileType Type;
    };
    const Case cases[] = {{L"a.cur", -1}, {L"a.bin", ioCUR},  {L"a.xif", -1}, {L"a.lyr", -1},
                          {L"a.iev", -1}, {L"a.all", -1},     {L"a.bin", ioRawBitmap}, {L"a.bin", ioLYR},
                          {L"a.xyz", -1}, {L"a.bin", 250},    {L"a.bin", ioAVI}};
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Name) + " " + std::to_string(c.Type));
        io.Aborting = false;
        io.SaveToFile(dir / c.Name, c.Type);
        EXPECT_TRUE(io.Aborting);
        EXPECT_FALSE(FileExists(dir / c.Name));
    }
    for (TIOFileType t : {ioCUR, ioRawBitmap, ioIEV, ioLYR, ioALL, ioWMF, 250}) {
        SCOPED_TRACE(t);
        TMemoryStream stream;
        io.Aborting = false;
        finished = 0;
        io.SaveToStream(&stream, t);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(stream.GetSize(), 0);
        EXPECT_EQ(finished, 1);
    }
    // An empty name does nothing at all.
    io.Aborting = false;
    io.SaveToFile(L"", ioBMP);
    EXPECT_FALSE(io.Aborting);
}

// ---- plug-in rows --------------------------------------------------------------------------------

TEST_F(GenericIO, PluginRowsLoadAndSaveThroughTheirProcedures) {
    AddPlugin();
    testsupport::WriteFileBytes(dir / L"grey.plg", PlugBytes());

    // By content (the plug-in's probe), by extension, by type, from a stream and a buffer.
    const std::vector<std::function<void()>> loads = {
        [&] { io.LoadFromFile(dir / L"grey.plg"); },
        [&] { io.LoadFromFileByExtension(dir / L"grey.plg"); },
        [&] { io.LoadFromFileFormat(dir / L"grey.plg", kPlugType); },
        [&] {
            TMemoryStream s;
            s.Write(PlugBytes().data(), 8);
            s.SetPosition(0);
            io.LoadFromStream(&s);
        },
        [&] {
            TMemoryStream s;
            s.Write(PlugBytes().data(), 8);
            s.SetPosition(0);
            io.LoadFromStreamFormat(&s, kPlugType);
        },
        [&] { io.LoadFromBuffer(PlugBytes().data(), 8); },
        [&] { io.LoadFromBuffer(PlugBytes().data(), 8, kPlugType); },
    };
    for (size_t i = 0; i < loads.size(); ++i) {
        SCOPED_TRACE(i);
        Hold(5, 5);
        io.Aborting = true;
        finished = 0;
        gPlugReads = 0;
        loads[i]();
        EXPECT_EQ(gPlugReads, 1);
        EXPECT_FALSE(gPlugLastPreview);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.Params->FileType, kPlugType);
        ASSERT_EQ(io.GetIEBitmap()->GetWidth(), 2);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelRGBPtr(1, 0)->g, 0xF0);
    }
    EXPECT_EQ(io.Params->FileName, L"");   // the stream and buffer loads leave no name

    // A reader that fails on a file reports it; the exception stays inside the by-extension load.
    testsupport::WriteFileBytes(dir / L"bad.plg", "XXXX");
    io.LoadFromFileByExtension(dir / L"bad.plg");
    EXPECT_TRUE(io.Aborting);

    // Saving by extension and by type, to a file and a stream; the image goes as 24-bit RGB.
    Hold(4, 3);
    io.GetIEBitmap()->SetPixelFormat(ie8g);
    io.SaveToFile(dir / L"out.plg");
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->FileType, kPlugType);
    EXPECT_EQ(io.Params->FileName, dir / L"out.plg");
    EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(testsupport::ReadFileBytes(dir / L"out.plg").substr(0, 6), std::string("PLUG\x04\x03", 6));
    io.SaveToFile(dir / L"typed.bin", kPlugType);
    EXPECT_EQ(testsupport::ReadFileBytes(dir / L"typed.bin").size(), 6u + 12u);
    TMemoryStream stream;
    finished = 0;
    io.SaveToStream(&stream, kPlugType);
    EXPECT_EQ(stream.GetSize(), 18);
    EXPECT_EQ(finished, 1);

    // The parameter-only reads call the reader in preview mode.
    gPlugReads = 0;
    io.ParamsFromFile(dir / L"grey.plg");
    EXPECT_EQ(gPlugReads, 1);
    EXPECT_TRUE(gPlugLastPreview);
    EXPECT_EQ(io.Params->FileType, kPlugType);
    EXPECT_EQ(io.Params->Width, 2);
    EXPECT_EQ(io.Params->FileName, dir / L"grey.plg");
    io.ParamsFromBuffer(PlugBytes().data(), 8);
    EXPECT_EQ(io.Params->FileType, kPlugType);
    io.ParamsFromBuffer("XXXXXXXX", 8, kPlugType);
    EXPECT_EQ(io.Params->FileType, ioUnknown);
}

TEST_F(GenericIO, PluginRowsWithoutProceduresFail) {
    AddPlugin(false, false);
    testsupport::WriteFileBytes(dir / L"grey.plg", PlugBytes());
    Hold();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        io.Aborting = false;
        finished = 0;
        if (i == 0) io.LoadFromFileByExtension(dir / L"grey.plg");
        if (i == 1) io.LoadFromFileFormat(dir / L"grey.plg", kPlugType);
        if (i == 2) io.LoadFromBuffer(PlugBytes().data(), 8);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
    }
    io.Aborting = false;
    io.SaveToFile(dir / L"out.plg");
    EXPECT_TRUE(io.Aborting);
    EXPECT_FALSE(FileExists(dir / L"out.plg"));
    // A plug-in reader on a file that cannot be opened: the open's exception reaches the caller.
    AddPlugin();
    IEFileFormatRemove(kPlugType);
    EXPECT_THROW(io.LoadFromFileFormat(dir / L"missing.plg", kPlugType), Exception);
}

// ---- built-in dispatch ---------------------------------------------------------------------------

TEST_F(GenericIO, ExtensionsReachTheirFormatsLoader) {
    // Content no probe knows, named by extension: the extension's row chooses the loader. The
    // TGA row lists pix and the TIFF row xif: both reach the real loaders, which fail on the
    // content instead of reporting an empty success.
    const wchar_t* const cases[] = {L"a.pix", L"a.xif", L"a.wbmp", L"a.v2", L"a.lyr", L"a.nef"};
    for (const wchar_t* c : cases) {
        SCOPED_TRACE(WideToUtf8(c));
        testsupport::WriteFileBytes(dir / c, std::string(3, '\x7F'));
        Hold();
        io.Aborting = false;
        // The loader reports the bad content through Aborting or by raising.
        bool raised = false;
        try {
            io.LoadFromFile(dir / c);
        } catch (const Exception&) {
            raised = true;
        }
        EXPECT_TRUE(io.Aborting || raised);
    }
    // A PostScript name has no loader: the by-type load falls back to the extension and fails.
    testsupport::WriteFileBytes(dir / L"a.ps", "%!PS\n");
    io.Aborting = false;
    io.LoadFromFileFormat(dir / L"a.ps", ioPS);
    EXPECT_TRUE(io.Aborting);
    // A type without a row: nothing happens.
    io.Aborting = false;
    finished = 0;
    io.LoadFromFileFormat(dir / L"a.ps", 250);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 0);
}

TEST_F(GenericIO, ContentWinsOverTheExtension) {
    const std::string png = SampleBytes("im.png");
    if (png.empty()) KW_SKIP_UNLESS_CI() << "ImageMagick made no im.png";
    testsupport::WriteFileBytes(dir / L"photo.jpg", png);
    io.LoadFromFile(dir / L"photo.jpg");
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->FileType, ioPNG);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 7);
    // The parameter-only read checks the extension against the content.
    io.ParamsFromFile(dir / L"photo.jpg");
    EXPECT_EQ(io.Params->FileType, ioUnknown);
    io.ParamsFromFile(dir / L"missing.png");
    EXPECT_EQ(io.Params->FileType, ioUnknown);
}

TEST_F(GenericIO, ParametersOfFilesMadeByOtherTools) {
    struct Case {
        const char* Sample;
        TIOFileType Type;
        int32_t Width, Height;
    };
    const Case cases[] = {
        {"im.png", ioPNG, 7, 5},    {"im.gif", ioGIF, 7, 5},     {"im.jpg", ioJPEG, 7, 5},
        {"im.bmp", ioBMP, 7, 5},    {"im.pcx", ioPCX, 7, 5},     {"im.tga", ioTGA, 7, 5},
        {"netpbm.tif", ioTIFF, 5, 3}, {"raw.ppm", ioPXM, 5, 3},  {"raw.pbm", ioPXM, 5, 3},
        {"im.psd", ioPSD, 7, 5},    {"im.dcx", ioDCX, 7, 5},     {"im.jp2", ioJP2, 7, 5},
        {"im.j2k", ioJ2K, 7, 5},    {"im.ico", ioICO, 16, 16},   {"im.cur", ioCUR, 16, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Sample);
        const std::string bytes = SampleBytes(c.Sample);
        if (bytes.empty()) continue;   // the tool that makes it is missing
        const std::wstring name = dir / Utf8ToWide(c.Sample);
        testsupport::WriteFileBytes(name, bytes);
        io.Params->Width = 0;
        finished = 0;
        io.ParamsFromFile(name);
        EXPECT_EQ(io.Params->FileType, c.Type);
        EXPECT_EQ(io.Params->Width, c.Width);
        EXPECT_EQ(io.Params->Height, c.Height);
        EXPECT_EQ(io.Params->FileName, name);
        EXPECT_EQ(finished, 1);
        // The same through a stream and a buffer; the image itself is not loaded.
        io.Params->Width = 0;
        io.ParamsFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
        EXPECT_EQ(io.Params->FileType, c.Type);
        EXPECT_EQ(io.Params->Width, c.Width);
    }
    // A type this build reads no parameters of reports that nothing was read.
    const std::string ppm = SampleBytes("raw.ppm");
    io.ParamsFromBuffer(ppm.data(), static_cast<int32_t>(ppm.size()), ioRawBitmap);
    EXPECT_EQ(io.Params->FileType, ioUnknown);
    EXPECT_TRUE(io.Aborting);
}

// ---- every format, end to end --------------------------------------------------------------------

namespace {

// Every type that this build both writes and reads, with an extension of its row.
struct RoundTripFormat {
    TIOFileType Type;
    const wchar_t* Ext;
};
const RoundTripFormat kRoundTrip[] = {
    {ioTIFF, L"tif"}, {ioGIF, L"gif"}, {ioJPEG, L"jpg"}, {ioPCX, L"pcx"}, {ioBMP, L"bmp"},
    {ioICO, L"ico"},  {ioPNG, L"png"}, {ioTGA, L"tga"},  {ioPXM, L"ppm"}, {ioJP2, L"jp2"},
    {ioJ2K, L"j2k"},  {ioWBMP, L"wbmp"}, {ioDCX, L"dcx"}, {ioPSD, L"psd"},
};

}  // namespace

TEST_F(GenericIO, EveryFormatSavesAndLoadsByNameAndStream) {
    std::vector<std::string> failures;
    const int32_t icoSide = io.Params->ICOSizes[0].Width;   // the first size an icon is saved at
    for (const RoundTripFormat& f : kRoundTrip) {
        const std::string tag = std::to_string(f.Type) + " " + WideToUtf8(f.Ext);
        try {
            // By name: saved by extension, loaded by content.
            Hold(16, 16);
            const std::wstring name = dir / (std::wstring(L"rt.") + f.Ext);
            io.SaveToFile(name);
            if (io.Aborting) throw Exception(L"save by name failed");
            io.GetIEBitmap()->Allocate(1, 1, ie24RGB);
            io.LoadFromFile(name);
            if (io.Aborting || io.Params->FileType != f.Type) throw Exception(L"load by name failed");
            // An icon holds the image at the sizes of ICOSizes, the first one read back.
            const int32_t side = f.Type == ioICO ? icoSide : 16;
            if (io.GetIEBitmap()->GetWidth() != side || io.GetIEBitmap()->GetHeight() != side)
                throw Exception(L"load by name gave another size");
            // By stream: saved by type, loaded by content and by the given type.
            Hold(16, 16);
            TMemoryStream stream;
            io.SaveToStream(&stream, f.Type);
            if (io.Aborting || stream.GetSize() == 0) throw Exception(L"save to stream failed");
            for (bool given : {false, true}) {
                io.GetIEBitmap()->Allocate(1, 1, ie24RGB);
                stream.SetPosition(0);
                if (given)
                    io.LoadFromStreamFormat(&stream, f.Type);
                else if (f.Type == ioWBMP)
                    continue;   // WBMP has no signature to be found by
                else
                    io.LoadFromStream(&stream);
                if (io.Aborting || io.GetIEBitmap()->GetWidth() != (f.Type == ioICO ? icoSide : 16))
                    throw Exception(L"load from stream failed");
            }
        } catch (const Exception& e) {
            failures.push_back(tag + ": " + WideToUtf8(e.Message()));
        }
    }
    // The document formats are written only: by name and by stream, each starting as it must.
    const struct {
        TIOFileType Type;
        const wchar_t* Name;
        const char* Head;
    } documents[] = {{ioPS, L"doc.ps", "%!PS"}, {ioPS, L"doc.eps", "%!PS"}, {ioPDF, L"doc.pdf", "%PDF"}};
    for (const auto& d : documents) {
        try {
            Hold(16, 16);
            io.SaveToFile(dir / d.Name);
            const std::string bytes = testsupport::ReadFileBytesOr(dir / d.Name, "");
            if (io.Aborting || bytes.compare(0, 4, d.Head) != 0) throw Exception(L"save by name failed");
            TMemoryStream stream;
            io.SaveToStream(&stream, d.Type);
            char head[4] = {};
            stream.SetPosition(0);
            if (io.Aborting || stream.Read(head, 4) != 4 || std::memcmp(head, d.Head, 4) != 0)
                throw Exception(L"save to stream failed");
        } catch (const Exception& e) {
            failures.push_back(WideToUtf8(d.Name) + ": " + WideToUtf8(e.Message()));
        }
    }
    std::string all;
    for (const std::string& f : failures) all += f + "\n";
    EXPECT_TRUE(failures.empty()) << all;
}
