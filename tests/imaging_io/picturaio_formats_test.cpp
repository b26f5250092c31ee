// The file-format table and the recognition of formats by content: the rows and their lookups,
// files made by ImageMagick, netpbm and libtiff's tools (whole, truncated, behind other bytes and
// under misleading names), and hand-built headers of the formats no tool here writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Classes.h"
#include "SysUtils.h"
#include "imaging/codecs/iewic.h"
#include "picturaio_formats.h"
#include "support/ToolSkip.h"

namespace {

// The samples that make_format_samples.sh wrote before the tests ran.
const std::string kSamples = std::string(TEST_BUILD_DIR) + "/format-samples/";

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TIOFileType Detect(const std::vector<uint8_t>& Bytes, size_t Prefix = 0) {
    TMemoryStream stream;
    std::vector<uint8_t> data(Prefix, 0x55);
    data.insert(data.end(), Bytes.begin(), Bytes.end());
    if (!data.empty()) stream.Write(data.data(), static_cast<int32_t>(data.size()));
    stream.SetPosition(static_cast<int64_t>(Prefix));
    const TIOFileType found = IEFindStreamFormat(&stream);
    EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(Prefix)) << "the position is restored";
    return found;
}

std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

class FileFormats : public ::testing::Test {
protected:
    void SetUp() override { IEInitFileFormats(); }
    void TearDown() override { IEFreeFileFormats(); }
};

}  // namespace

TEST_F(FileFormats, TableRowsAndLookups) {
    // The HD Photo row comes last, and only where the Windows Imaging Component exists.
    if (IEWICAvailable()) {
        EXPECT_EQ(IEFileFormats.size(), 26u);
        ASSERT_NE(IEFileFormatGetInfo(ioHDP), nullptr);
        EXPECT_EQ(IEFileFormats[25]->FileType, ioHDP);
        EXPECT_EQ(IEExtensionToFileType(L"hdp"), ioHDP);
        EXPECT_EQ(IEExtensionToFileType(L"wdp"), ioHDP);
    } else {
        EXPECT_EQ(IEFileFormats.size(), 25u);
        EXPECT_EQ(IEFileFormatGetInfo(ioHDP), nullptr);
        EXPECT_EQ(IEExtensionToFileType(L"hdp"), ioUnknown);
    }
    EXPECT_EQ(IEFileFormats[0]->FileType, ioTIFF);
    EXPECT_EQ(IEFileFormats[5]->FileType, ioRawBitmap);
    EXPECT_EQ(IEFileFormats[24]->Description, L"Layers and objects");
    for (TIOFileType t : {ioAVI, ioWMV, ioMPEG}) EXPECT_EQ(IEFileFormatGetInfo(t), nullptr);

    const TIEFileFormatInfo* cur = IEFileFormatGetInfo(ioCUR);
    ASSERT_NE(cur, nullptr);
    EXPECT_NE(cur->ReadProc, nullptr);
    EXPECT_EQ(cur->WriteProc, nullptr);
    const TIEFileFormatInfo* ps = IEFileFormatGetInfo(ioPS);
    EXPECT_EQ(ps->ReadProc, nullptr);
    EXPECT_NE(ps->WriteProc, nullptr);
    EXPECT_EQ(IEFileFormatGetInfo(ioJ2K)->PreviewPages, 1u << ppJ2000);
    EXPECT_EQ(IEFileFormatGetInfo(ioJPEG)->PreviewPages, 1u << ppJPEG);
    EXPECT_EQ(IEFileFormatGetInfo(ioWBMP)->PreviewPages, 0u);

    for (const wchar_t* ext : {L"jpg", L".jpg", L"JPG", L".JpG", L"jif"})
        EXPECT_EQ(IEFileFormatGetInfoByExt(ext), IEFileFormatGetInfo(ioJPEG)) << ext;
    EXPECT_EQ(IEFileFormatGetInfoByExt(L""), nullptr);
    EXPECT_EQ(IEFileFormatGetInfoByExt(L"."), nullptr);
    EXPECT_EQ(IEFileFormatGetInfoByExt(L"xyz"), nullptr);
    EXPECT_EQ(IEExtensionToFileType(L"NEF"), ioRAW);
    EXPECT_EQ(IEExtensionToFileType(L"v2"), ioDICOM);

    EXPECT_EQ(IEFileFormatExtensionCount(ioRawBitmap), 0);
    EXPECT_EQ(IEFileFormatExtensionCount(ioTIFF), 6);
    EXPECT_EQ(IEFileFormatGetExtension(ioTIFF, 5), L"XIF");
    EXPECT_EQ(IEFileFormatGetExtension(ioTIFF, 6), L"");
    EXPECT_EQ(IEFileFormatGetExtension(ioAVI, 0), L"");

    // A plug-in row: added at the end, found by its extension, removed by its type.
    auto plugin = std::make_unique<TIEFileFormatInfo>();
    plugin->FileType = 100;
    plugin->ExtensionList = L"ABC;JPG";
    plugin->BuiltIn = false;
    IEFileFormatAdd(std::move(plugin));
    EXPECT_EQ(IEExtensionToFileType(L"abc"), 100);
    EXPECT_EQ(IEExtensionToFileType(L"jpg"), ioJPEG);   // the first row wins
    IEFileFormatRemove(100);
    IEFileFormatRemove(100);   // nothing left to remove
    EXPECT_EQ(IEFileFormats.size(), IEWICAvailable() ? 26u : 25u);
}

TEST_F(FileFormats, FilesMadeByOtherTools) {
    const struct {
        const char* File;
        TIOFileType Expected;
    } cases[] = {
        {"im.tif", ioTIFF},      {"netpbm.tif", ioTIFF},  {"bigendian.tif", ioTIFF}, {"lzw.tif", ioTIFF},
        {"im.gif", ioGIF},       {"im.jpg", ioJPEG},      {"im.pcx", ioPCX},         {"netpbm.pcx", ioPCX},
        {"im.bmp", ioBMP},       {"netpbm.bmp", ioBMP},   {"im.ico", ioICO},         {"im.cur", ioCUR},
        {"im.png", ioPNG},       {"im.tga", ioTGA},       {"im_rle.tga", ioTGA},     {"im_palette.tga", ioTGA},
        {"netpbm.tga", ioTGA},   {"raw.ppm", ioPXM},      {"raw.pgm", ioPXM},        {"raw.pbm", ioPXM},
        {"plain.ppm", ioPXM},    {"im.jp2", ioJP2},       {"im.j2k", ioJ2K},         {"im.dcx", ioDCX},
        {"im.psd", ioPSD},
    };
    int found = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const std::vector<uint8_t> bytes = ReadFileBytes(kSamples + c.File);
        if (bytes.empty()) continue;   // its tool is missing
        ++found;
        EXPECT_EQ(Detect(bytes), c.Expected);
        // Behind other bytes, from the stream's position: the same answer, the position restored.
        EXPECT_EQ(Detect(bytes, 3), c.Expected);
        // Cut short: never another format. Most formats need their whole header (and the
        // directories they point to) before they are recognised.
        for (size_t len = 0; len < bytes.size(); len += (len < 64 ? 1 : 37)) {
            const TIOFileType t = Detect(std::vector<uint8_t>(bytes.begin(), bytes.begin() + len));
            EXPECT_TRUE(t == ioUnknown || t == c.Expected) << "cut at " << len << ": " << t;
        }
    }
    if (found == 0) KW_SKIP_UNLESS_CI() << "no samples in " << kSamples << " (ImageMagick, netpbm and libtiff's tools missing)";
}

TEST_F(FileFormats, HandBuiltHeaders) {
    std::string dicom(128, '\0');
    dicom += "DICM";
    dicom += std::string(20, '\x02');
    std::string riff = "RIFF" + std::string("\x10\0\0\0", 4) + "AVI LIST" + std::string(8, '\0');
    std::string wmfPlaceable = std::string("\xD7\xCD\xC6\x9A", 4) + std::string(40, '\0');
    std::string wmfPlain = std::string("\x01\x00\x09\x00\x00\x03", 6) + std::string(30, '\0');
    std::string emf = std::string("\x01\0\0\0", 4) + std::string(36, '\0') + " EMF" + std::string(40, '\0');
    std::string iev = "IEV5" + std::string(20, '\0');
    std::string layers = "PICTURALAYERS" + std::string("\x02\0\0\0", 4) + std::string(20, '\0');
    // Layers-and-objects: the offset of the objects stream, the layers stream, then the objects.
    std::string all = std::string("\x21\0\0\0", 4) + layers.substr(0, 29) + "IEV5" + std::string(8, '\0');
    std::string hdp = std::string("II\xBC\x01\x08\0\0\0\x01\0\x01\xBC\x01\0\x01\0\0\0\0\0\0\0", 22) + std::string(8, '\0');
    std::string crw = std::string("II\x1A\0\0\0", 6) + "HEAPCCDR" + std::string(20, '\0');
    std::string cr2 = std::string("II*\0\x10\0\0\0CR\x02\0", 12) + std::string(20, '\0');
    std::string jfifHeader = std::string("JFIF\0\0\0\0\x05\0\0\0", 12) + "whatever";
    std::string pcx4 = std::string("PCX\0", 4);
    std::string jpegLate = std::string(100, '\0') + "\xFF\xD8\xFF\xE0" + std::string(10, '\0');
    std::string jpegTooLate = std::string(150, '\0') + "\xFF\xD8\xFF\xE0" + std::string(10, '\0');
    const struct {
        const char* Name;
        std::string Data;
        TIOFileType Expected;
    } cases[] = {
        {"dicom", dicom, ioDICOM},
        {"avi", riff, ioAVI},
        {"wave is not avi", "RIFF" + std::string(4, '\0') + "WAVEfmt " + std::string(8, '\0'), ioUnknown},
        {"placeable wmf", wmfPlaceable, ioWMF},
        {"plain wmf", wmfPlain, ioWMF},
        {"emf", emf, ioEMF},
        {"objects", iev, ioIEV},
        {"objects, bad version", "IEVZ" + std::string(20, '\0'), ioUnknown},
        {"layers", layers, ioLYR},
        {"layers, version 0", "PICTURALAYERS" + std::string(24, '\0'), ioUnknown},
        {"layers and objects", all, ioALL},
        {"hd photo", hdp, ioHDP},
        {"canon crw", crw, ioRAW},
        {"canon cr2 (tiff structure)", cr2, ioRAW},
        {"stream header JFIF", jfifHeader, ioJPEG},
        {"4-byte PCX header alone", pcx4, ioUnknown},
        {"4-byte PCX header and more", pcx4 + "x", ioPCX},
        {"jpeg start within 150 bytes", jpegLate, ioJPEG},
        {"jpeg start too far", jpegTooLate, ioUnknown},
        {"empty", "", ioUnknown},
        {"text", "hello, world, not an image at all", ioUnknown},
    };
    for (const auto& c : cases) EXPECT_EQ(Detect(Bytes(c.Data)), c.Expected) << c.Name;

    // A registered plug-in is asked after every built-in probe, from the remembered position.
    IEIOPlugins.push_back({77, [](TStream* S, TIOFileType) {
                               char c = 0;
                               return S->Read(&c, 1) == 1 && c == '#';
                           }});
    EXPECT_EQ(Detect(Bytes("#plugin data, long enough")), 77);
    IEIOPlugins.clear();
}

TEST_F(FileFormats, FilesReconciledWithTheirExtensions) {
    const struct {
        const char* File;
        TIOFileType Loose;      // VerifyExtension False
        TIOFileType Verified;   // VerifyExtension True
    } cases[] = {
        {"im.png", ioPNG, ioPNG},
        {"png_named.jpg", ioPNG, ioUnknown},
        {"tiff_named.nef", ioRAW, ioRAW},   // camera raw files with a TIFF structure
        {"tiff_named.gif", ioTIFF, ioUnknown},
        {"netpbm.tif", ioTIFF, ioTIFF},
        {"icon_named.cur", ioICO, ioCUR},   // icons and cursors take the extension's type
        {"raw.ppm", ioPXM, ioPXM},
    };
    int found = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const std::wstring path = Utf8ToWide(kSamples + c.File);
        if (!FileExists(path)) continue;
        ++found;
        EXPECT_EQ(IEFindFileFormat(path, false), c.Loose);
        EXPECT_EQ(IEFindFileFormat(path, true), c.Verified);
    }
    EXPECT_EQ(IEFindFileFormat(L"", false), ioUnknown);
    EXPECT_EQ(IEFindFileFormat(Utf8ToWide(kSamples + "missing.png"), false), ioUnknown);
    if (found == 0) KW_SKIP_UNLESS_CI() << "no samples in " << kSamples;
}
