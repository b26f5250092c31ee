// The component's per-format savers: every saver by file and by stream (the files go to the build
// folder's save-out, where check_save_written.sh reads them with other tools), the pixel-format
// rules, the icon sizes, the stream headers, the failures, and the JPEG metadata markers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "bmpfilt_pdf.h"
#include "bmpfilt_ps.h"
#include "JpegMarkers.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "iebitmap.h"
#include "iecoreutils_exif.h"
#include "iecoreutils_markers.h"
#include "pcxfilter.h"
#include "jpegfilt.h"
#include "picturaio.h"
#include "picturaview.h"
#include "tiflzw.h"

namespace {

std::string OutDir() { return std::string(TEST_BUILD_DIR "/save-out"); }
std::wstring OutFile(const std::string& Name) { return Utf8ToWide(OutDir() + "/" + Name); }

class PicturaIOSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IEGIFLZWCompressor) IEInitializePicturaIO();
        IEPicturaViewInitialize();
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(Utf8ToWide(OutDir())), ec);
    }
};

// 16 x 8 pixels, 128 colours: red 16 x, green 32 y, blue 7 (check_save_written.sh builds the same).
void FillGradient(TIEBitmap& B) {
    B.Allocate(16, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x) {
            TIERGB* p = B.GetPixelRGBPtr(x, y);
            p->r = static_cast<uint8_t>(x * 16);
            p->g = static_cast<uint8_t>(y * 32);
            p->b = 7;
        }
}

std::string StreamBytes(TMemoryStream& S) {
    return std::string(static_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

struct TSaver {
    const char* Ext;
    TIOFileType Type;
    std::function<void(TPicturaIO&, const std::wstring&)> ToFile;
    std::function<void(TPicturaIO&, TStream*)> ToStream;
    std::string Magic;   // the first bytes of the file
    bool SameBytes;      // the file and the stream hold the same bytes (no date inside)
};

const std::vector<TSaver>& Savers() {
    static const std::vector<TSaver> savers = {
        {"tif", ioTIFF, &TPicturaIO::SaveToFileTIFF, &TPicturaIO::SaveToStreamTIFF, "II*", true},
        {"gif", ioGIF, &TPicturaIO::SaveToFileGIF, &TPicturaIO::SaveToStreamGIF, "GIF8", true},
        {"jpg", ioJPEG, &TPicturaIO::SaveToFileJPEG, &TPicturaIO::SaveToStreamJPEG, "\xFF\xD8\xFF", true},
        {"pcx", ioPCX, &TPicturaIO::SaveToFilePCX, &TPicturaIO::SaveToStreamPCX, "\x0A", true},
        {"bmp", ioBMP, &TPicturaIO::SaveToFileBMP, &TPicturaIO::SaveToStreamBMP, "BM", true},
        {"ico", ioICO, &TPicturaIO::SaveToFileICO, &TPicturaIO::SaveToStreamICO, std::string("\0\0\1\0", 4), true},
        {"png", ioPNG, &TPicturaIO::SaveToFilePNG, &TPicturaIO::SaveToStreamPNG, "\x89PNG", true},
        {"tga", ioTGA, &TPicturaIO::SaveToFileTGA, &TPicturaIO::SaveToStreamTGA, "", true},
        {"ppm", ioPXM, &TPicturaIO::SaveToFilePXM, &TPicturaIO::SaveToStreamPXM, "P6", true},
        {"jp2", ioJP2, &TPicturaIO::SaveToFileJP2, &TPicturaIO::SaveToStreamJP2, std::string("\0\0\0\x0CjP", 6), true},
        {"j2k", ioJ2K, &TPicturaIO::SaveToFileJ2K, &TPicturaIO::SaveToStreamJ2K, "\xFF\x4F\xFF\x51", true},
        {"wbmp", ioWBMP, &TPicturaIO::SaveToFileWBMP, &TPicturaIO::SaveToStreamWBMP, std::string("\0\0", 2), true},
        {"ps", ioPS, &TPicturaIO::SaveToFilePS, &TPicturaIO::SaveToStreamPS, "%!PS", false},
        {"pdf", ioPDF, &TPicturaIO::SaveToFilePDF, &TPicturaIO::SaveToStreamPDF, "%PDF", false},
        {"dcx", ioDCX, &TPicturaIO::SaveToFileDCX, &TPicturaIO::SaveToStreamDCX, "\xB1\x68\xDE\x3A", true},
        {"psd", ioPSD, &TPicturaIO::SaveToFilePSD, &TPicturaIO::SaveToStreamPSD, "8BPS", true},
    };
    return savers;
}

}  // namespace

// Each saver writes the image by file (setting the parameters' file name and type) and by stream
// (leaving them), with one finish notification each; the files are read by other tools afterwards.
TEST_F(PicturaIOSaveTest, EverySaverWritesByFileAndByStream) {
    for (const TSaver& s : Savers()) {
        SCOPED_TRACE(s.Ext);
        TPicturaIO io(nullptr);
        FillGradient(*io.GetIEBitmap());
        int finished = 0;
        io.OnFinishWork = [&](TObject*) { ++finished; };
        const std::wstring name = OutFile(std::string("save.") + s.Ext);

        s.ToFile(io, name);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.Params->FileType, s.Type);
        EXPECT_EQ(io.Params->FileName, name);
        const std::string file = testsupport::ReadFileBytes(name);
        ASSERT_GT(file.size(), 16u);
        EXPECT_EQ(file.compare(0, s.Magic.size(), s.Magic), 0);

        FillGradient(*io.GetIEBitmap());
        io.Params->FileType = ioUnknown;
        io.Params->FileName = L"kept";
        TMemoryStream stream;
        s.ToStream(io, &stream);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(finished, 2);
        EXPECT_EQ(io.Params->FileType, ioUnknown);
        EXPECT_EQ(io.Params->FileName, L"kept");
        const std::string bytes = StreamBytes(stream);
        if (s.SameBytes) {
            EXPECT_TRUE(bytes == file) << "stream " << bytes.size() << " bytes, file " << file.size();
        } else {
            EXPECT_EQ(bytes.compare(0, s.Magic.size(), s.Magic), 0);
        }
    }
}

// Without a bitmap every saver fails by file and by stream, writes nothing and still finishes.
TEST_F(PicturaIOSaveTest, WithoutABitmapEverySaveFails) {
    for (const TSaver& s : Savers()) {
        SCOPED_TRACE(s.Ext);
        TPicturaIO io(nullptr);
        io.SetAttachedIEBitmap(nullptr);
        int finished = 0;
        io.OnFinishWork = [&](TObject*) { ++finished; };
        const std::wstring name = OutFile(std::string("nobitmap.") + s.Ext);
        s.ToFile(io, name);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(testsupport::ReadFileBytesOr(name, ""), "");   // no file, or an empty one
        TMemoryStream stream;
        s.ToStream(io, &stream);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 2);
        EXPECT_EQ(stream.GetSize(), 0);
    }
}

// Formats whose writers take only some pixel formats get ie24RGB first; 48-bit RGB stays 48-bit
// in PXM (maximum 65535) while 16-bit grey becomes 8-bit RGB; the others keep the format.
TEST_F(PicturaIOSaveTest, PixelFormatRules) {
    struct TCase {
        const char* Name;
        TIEPixelFormat From;
        std::function<void(TPicturaIO&, TStream*)> Save;
        TIEPixelFormat After;
        std::string Header;   // the first bytes written ("" not checked)
    };
    const std::vector<TCase> cases = {
        {"pxm48", ieRGB48, &TPicturaIO::SaveToStreamPXM, ieRGB48, "P6"},
        {"pxm16g", ie16g, &TPicturaIO::SaveToStreamPXM, ie24RGB, "P6"},
        {"pxm1g", ie1g, &TPicturaIO::SaveToStreamPXM, ie1g, "P4"},
        {"pcx8g", ie8g, &TPicturaIO::SaveToStreamPCX, ie24RGB, ""},
        {"jpeg8g", ie8g, &TPicturaIO::SaveToStreamJPEG, ie24RGB, "\xFF\xD8"},
        {"png8g", ie8g, &TPicturaIO::SaveToStreamPNG, ie8g, "\x89PNG"},
        {"bmp8g", ie8g, &TPicturaIO::SaveToStreamBMP, ie8g, "BM"},
        {"tiff16g", ie16g, &TPicturaIO::SaveToStreamTIFF, ie16g, "II*"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPicturaIO io(nullptr);
        FillGradient(*io.GetIEBitmap());
        io.GetIEBitmap()->SetPixelFormat(c.From);
        io.Params->SamplesPerPixel = 3;
        io.Params->BitsPerSample = c.From == ieRGB48 ? 16 : 8;
        TMemoryStream stream;
        c.Save(io, &stream);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetPixelFormat(), c.After);
        const std::string bytes = StreamBytes(stream);
        EXPECT_EQ(bytes.compare(0, c.Header.size(), c.Header), 0);
        if (std::string(c.Name) == "pxm48") {
            EXPECT_NE(bytes.find(" 65535\n"), std::string::npos);
            testsupport::WriteFileBytes(OutFile("rule-48.ppm"), bytes);
        }
        if (std::string(c.Name) == "pxm16g") {
            EXPECT_NE(bytes.find(" 255\n"), std::string::npos);
            EXPECT_EQ(bytes.find("65535"), std::string::npos);
            testsupport::WriteFileBytes(OutFile("rule-16g.ppm"), bytes);
        }
    }
}

// The icon gets one image per leading size with a width above 0, with the matching bit counts.
TEST_F(PicturaIOSaveTest, IconSizesUpToTheFirstEmptyOne) {
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    TIOParamsVals& p = *io.Params;
    for (auto& s : p.ICOSizes) s = {0, 0};
    p.ICOSizes[0] = {64, 64};
    p.ICOSizes[1] = {32, 32};
    p.ICOSizes[3] = {16, 16};   // behind the empty entry: left out
    p.ICOBitCount[0] = 24;
    p.ICOBitCount[1] = 8;
    p.ICOBitCount[3] = 4;
    TMemoryStream stream;
    io.SaveToStreamICO(&stream);
    EXPECT_FALSE(io.Aborting);
    const std::string b = StreamBytes(stream);
    ASSERT_GE(b.size(), 6u + 2 * 16u);
    const auto* u = reinterpret_cast<const uint8_t*>(b.data());
    ASSERT_EQ(ByteOrder::GetLE16(u + 4), 2);
    // Each directory entry: its width, and the bit count of the image's own header.
    const int32_t widths[2] = {64, 32}, bits[2] = {24, 8};
    for (int k = 0; k < 2; ++k) {
        const uint8_t* entry = u + 6 + 16 * k;
        EXPECT_EQ(entry[0], widths[k]);
        const uint32_t offset = ByteOrder::GetLE32(entry + 12);
        ASSERT_LT(offset + 16, b.size());
        EXPECT_EQ(ByteOrder::GetLE16(u + offset + 14), bits[k]);
    }
    testsupport::WriteFileBytes(OutFile("sizes.ico"), b);
}

// With StreamHeaders the JPEG, PCX and TIFF stream savers put the tag and the image's length in
// front of the image, at the stream's position, and leave the position behind the image.
TEST_F(PicturaIOSaveTest, StreamHeaders) {
    struct TCase {
        const char* Tag;
        std::function<void(TPicturaIO&, TStream*)> Save;
        std::string Magic;
    };
    const std::vector<TCase> cases = {
        {"JFIF", &TPicturaIO::SaveToStreamJPEG, "\xFF\xD8"},
        {"PCX2", &TPicturaIO::SaveToStreamPCX, "\x0A"},
        {"TIFF", &TPicturaIO::SaveToStreamTIFF, "II*"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Tag);
        TPicturaIO io(nullptr);
        FillGradient(*io.GetIEBitmap());
        io.StreamHeaders = true;
        TMemoryStream stream;
        stream.WriteBuffer("lead", 4);
        c.Save(io, &stream);
        EXPECT_FALSE(io.Aborting);
        const std::string b = StreamBytes(stream);
        ASSERT_GT(b.size(), 16u + 12u);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        EXPECT_EQ(b.substr(0, 4), "lead");
        EXPECT_EQ(b.substr(4, 8), std::string(c.Tag) + std::string(4, '\0'));
        EXPECT_EQ(ByteOrder::GetLE32(reinterpret_cast<const uint8_t*>(b.data()) + 12), b.size() - 16);
        EXPECT_EQ(b.compare(16, c.Magic.size(), c.Magic), 0);

        // Without StreamHeaders: the image alone (the TIFF writer counts its offsets from the
        // stream's start, so only its length is the same).
        TMemoryStream plain;
        io.StreamHeaders = false;
        c.Save(io, &plain);
        if (std::string(c.Tag) == "TIFF") {
            EXPECT_EQ(StreamBytes(plain).size(), b.size() - 16);
        } else {
            EXPECT_EQ(StreamBytes(plain), b.substr(16));
        }
    }

    // Two PCX images one behind the other: the second header starts where the first image ends.
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    io.StreamHeaders = true;
    TMemoryStream stream;
    io.SaveToStreamPCX(&stream);
    const int64_t first = stream.GetPosition();
    io.SaveToStreamPCX(&stream);
    const std::string b = StreamBytes(stream);
    const uint32_t len1 = ByteOrder::GetLE32(reinterpret_cast<const uint8_t*>(b.data()) + 8);
    EXPECT_EQ(first, 12 + int64_t(len1));
    EXPECT_EQ(b.substr(first, 4), "PCX2");
}

// A PCX the writer refuses (a depth it has no form for) keeps the zeroed placeholder.
TEST_F(PicturaIOSaveTest, FailedPCXKeepsTheZeroedStreamHeader) {
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    io.StreamHeaders = true;
    io.Params->BitsPerSample = 2;
    io.Params->SamplesPerPixel = 1;
    TMemoryStream stream;
    io.SaveToStreamPCX(&stream);
    EXPECT_TRUE(io.Aborting);
    const std::string b = StreamBytes(stream);
    ASSERT_GE(b.size(), 12u);
    EXPECT_EQ(b.substr(0, 12), std::string(12, '\0'));
}

// A file that cannot be created: the exception reaches the caller, Aborting is True (the PS and
// PDF savers leave it as it was), the parameters keep their file name and type.
TEST_F(PicturaIOSaveTest, FileThatCannotBeCreated) {
    const std::wstring bad = OutFile("no-such-folder/x.img");
    struct TCase {
        const char* Name;
        std::function<void(TPicturaIO&, const std::wstring&)> Save;
        bool SetsAborting;
    };
    const std::vector<TCase> cases = {
        {"png (inline)", &TPicturaIO::SaveToFilePNG, true},
        {"jpeg (inline)", &TPicturaIO::SaveToFileJPEG, true},
        {"bmp (body)", &TPicturaIO::SaveToFileBMP, true},
        {"jp2 (body)", &TPicturaIO::SaveToFileJP2, true},
        {"ps", &TPicturaIO::SaveToFilePS, false},
        {"pdf", &TPicturaIO::SaveToFilePDF, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPicturaIO io(nullptr);
        FillGradient(*io.GetIEBitmap());
        io.Params->FileType = ioUnknown;
        io.Aborting = false;
        EXPECT_THROW(c.Save(io, bad), EFCreateError);
        EXPECT_EQ(io.Aborting.load(), c.SetsAborting);
        EXPECT_EQ(io.Params->FileType, ioUnknown);
    }
}

// A DCX is always written anew with the image as its one page, whatever page index the last DCX
// load left and whatever the stream held.
TEST_F(PicturaIOSaveTest, DCXWrittenAnewWithOnePage) {
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    io.Params->DCXImageIndex = 2;
    TMemoryStream stream;
    stream.WriteBuffer("old contents of the stream", 26);
    io.SaveToStreamDCX(&stream);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params->DCXImageIndex, 2);
    const std::string b = StreamBytes(stream);
    const auto* u = reinterpret_cast<const uint8_t*>(b.data());
    ASSERT_GE(b.size(), 16u);
    EXPECT_EQ(ByteOrder::GetLE32(u), IEDCXMagic);
    EXPECT_NE(ByteOrder::GetLE32(u + 4), 0u);   // one page
    EXPECT_EQ(ByteOrder::GetLE32(u + 8), 0u);   // and no second
    testsupport::WriteFileBytes(OutFile("index2.dcx"), b);
}

// ---- JPEG metadata markers

namespace {

// An APP13 payload holding one resolution resource: the name as a length byte and the text,
// padded to an even total, then the data size and DataSize bytes of 0xAA (Have of them present).
std::string PhotoshopResolution(const std::string& Name, uint32_t DataSize, size_t Have) {
    std::string r = std::string("Photoshop 3.0", 13) + '\0' + "8BIM\x03\xED";
    r += static_cast<char>(Name.size());
    r += Name;
    if ((1 + Name.size()) % 2) r += '\0';
    uint8_t size[4];
    ByteOrder::PutBE32(size, DataSize);
    r.append(reinterpret_cast<const char*>(size), 4);
    return r + std::string(Have, '\xAA');
}

void AddMarker(TIEMarkerList& L, uint8_t Type, const std::string& Data) {
    L.AddMarker(Type, Data.data(), static_cast<uint16_t>(Data.size()));
}

// The APPn markers of a JPEG in the stream, in file order.
std::vector<std::pair<uint8_t, std::string>> MarkersOf(const std::string& Jpeg) {
    TIEMarkerList list;
    EXPECT_TRUE(testsupport::WalkJpegMarkers(reinterpret_cast<const uint8_t*>(Jpeg.data()), Jpeg.size(), list));
    std::vector<std::pair<uint8_t, std::string>> out;
    for (int32_t i = 0; i < list.GetCount(); ++i)
        out.emplace_back(list.GetMarkerType(i),
                         std::string(reinterpret_cast<const char*>(list.GetMarkerData(i)), list.GetMarkerLength(i)));
    return out;
}

bool IsXMP(const std::string& D) {
    return IEXMPPayload(reinterpret_cast<const uint8_t*>(D.data()), static_cast<int32_t>(D.size())) != nullptr;
}
bool IsEXIF(const std::string& D) {
    return IEIsEXIFBlock(reinterpret_cast<const uint8_t*>(D.data()), static_cast<int32_t>(D.size()));
}

std::string SaveJPEG(TPicturaIO& io, const std::string& FileName = "") {
    TMemoryStream stream;
    io.SaveToStreamJPEG(&stream);
    EXPECT_FALSE(io.Aborting);
    const std::string b = StreamBytes(stream);
    if (!FileName.empty()) testsupport::WriteFileBytes(OutFile(FileName), b);
    return b;
}

}  // namespace

// The resolution resource takes the parameters' resolution (16.16 fixed point, units 1) behind a
// name of any length; a resource without its 16 data bytes is left alone.
TEST_F(PicturaIOSaveTest, JPEGResolutionResource) {
    struct TCase {
        std::string Name;
        uint32_t Size;
        size_t Have;
        bool Changed;
    };
    const std::vector<TCase> cases = {
        {"", 16, 16, true},  {"ab", 16, 16, true},  {"abc", 16, 16, true}, {"Resolution", 20, 20, true},
        {"ab", 8, 8, false}, {"ab", 16, 10, false}, {"ab", 0xFFFFFFF0u, 16, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name + " " + std::to_string(c.Size) + "/" + std::to_string(c.Have));
        TPicturaIO io(nullptr);
        FillGradient(*io.GetIEBitmap());
        io.Params->SetDpiX(200);
        io.Params->SetDpiY(150);
        const std::string app13 = PhotoshopResolution(c.Name, c.Size, c.Have);
        AddMarker(*io.Params->JPEGMarkers, 0xED, app13);
        const bool named = c.Name == "abc";
        const auto markers = MarkersOf(SaveJPEG(io, named ? "res-named.jpg" : ""));
        std::string written;
        for (const auto& m : markers)
            if (m.first == 0xED) written = m.second;
        ASSERT_EQ(written.size(), app13.size());
        if (!c.Changed) {
            EXPECT_EQ(written, app13);
            continue;
        }
        const auto* r = reinterpret_cast<const uint8_t*>(written.data()) + app13.size() - c.Have;
        EXPECT_EQ(ByteOrder::GetBE32(r), 200u << 16);
        EXPECT_EQ(ByteOrder::GetBE32(r + 8), 150u << 16);
        for (int k : {4, 6, 12, 14}) EXPECT_EQ(ByteOrder::GetBE16(r + k), 1) << k;
        EXPECT_EQ(written.substr(app13.size() - c.Have + 16), app13.substr(app13.size() - c.Have + 16));
    }
}

// IPTC: a changed list that became empty deletes the APP13 marker; a list with data and no markers
// (an image that did not come from a JPEG) adds one.
TEST_F(PicturaIOSaveTest, JPEGIPTC) {
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    AddMarker(*io.Params->JPEGMarkers, 0xED, PhotoshopResolution("", 16, 16));
    io.Params->IPTCInfo->AddData(2, 5, "old", 3);
    io.Params->IPTCInfo->Clear();
    for (const auto& m : MarkersOf(SaveJPEG(io))) EXPECT_NE(m.first, 0xED);
    EXPECT_EQ(io.Params->JPEGMarkers->IndexOf(0xED), -1);

    TPicturaIO fresh(nullptr);
    FillGradient(*fresh.GetIEBitmap());
    fresh.Params->IPTCInfo->AddData(2, 5, "Kw title", 8);
    int app13 = 0;
    for (const auto& m : MarkersOf(SaveJPEG(fresh, "iptc.jpg"))) {
        if (m.first != 0xED) continue;
        ++app13;
        EXPECT_NE(m.second.find("Kw title"), std::string::npos);
    }
    EXPECT_EQ(app13, 1);
}

// EXIF: left as loaded without HasEXIFData, rebuilt from the parameters with it; XMP follows
// XMPInfo (cleared: the marker goes); the new EXIF and XMP blocks come last, EXIF first.
TEST_F(PicturaIOSaveTest, JPEGEXIFAndXMP) {
    const std::string loadedExif = std::string("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20);
    const std::string loadedXmp = std::string(IEXMPIdentifier, sizeof IEXMPIdentifier) + "<x:xmpmeta>old</x:xmpmeta>";
    auto fresh = [&](TPicturaIO& io) {
        FillGradient(*io.GetIEBitmap());
        io.Params->JPEGMarkers->Clear();
        AddMarker(*io.Params->JPEGMarkers, 0xE1, loadedExif);
        AddMarker(*io.Params->JPEGMarkers, 0xE1, loadedXmp);
        AddMarker(*io.Params->JPEGMarkers, 0xFE, "a comment");
    };

    {   // HasEXIFData False, XMP kept: EXIF as loaded.
        TPicturaIO io(nullptr);
        fresh(io);
        io.Params->HasEXIFData = false;
        io.Params->XMPInfo = "<x:xmpmeta>old</x:xmpmeta>";
        const auto m = MarkersOf(SaveJPEG(io));
        int exif = 0, xmp = 0;
        for (const auto& k : m) {
            if (k.first == 0xE1 && IsEXIF(k.second)) {
                ++exif;
                EXPECT_EQ(k.second, loadedExif);
            }
            if (k.first == 0xE1 && IsXMP(k.second)) {
                ++xmp;
                EXPECT_EQ(k.second, loadedXmp);
            }
        }
        EXPECT_EQ(exif, 1);
        EXPECT_EQ(xmp, 1);
    }
    {   // HasEXIFData True and new XMP: both replaced, EXIF before XMP.
        TPicturaIO io(nullptr);
        fresh(io);
        io.Params->HasEXIFData = true;
        io.Params->EXIFMake = "KwCam";
        io.Params->XMPInfo = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                             "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                             "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
                             "xml:lang='x-default'>Kw XMP</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF>"
                             "</x:xmpmeta>";
        const auto m = MarkersOf(SaveJPEG(io, "exif-xmp.jpg"));
        int exifAt = -1, xmpAt = -1, exif = 0, xmp = 0;
        for (size_t i = 0; i < m.size(); ++i) {
            if (m[i].first != 0xE1) continue;
            if (IsEXIF(m[i].second)) {
                ++exif;
                exifAt = int(i);
                EXPECT_NE(m[i].second, loadedExif);
            }
            if (IsXMP(m[i].second)) {
                ++xmp;
                xmpAt = int(i);
                EXPECT_NE(m[i].second.find("Kw XMP"), std::string::npos);
            }
        }
        EXPECT_EQ(exif, 1);
        EXPECT_EQ(xmp, 1);
        EXPECT_LT(exifAt, xmpAt);
    }
    {   // XMPInfo cleared: the XMP marker goes, the rest stays.
        TPicturaIO io(nullptr);
        fresh(io);
        io.Params->XMPInfo.clear();
        const auto m = MarkersOf(SaveJPEG(io));
        bool comment = false;
        for (const auto& k : m) {
            EXPECT_FALSE(k.first == 0xE1 && IsXMP(k.second));
            comment = comment || (k.first == 0xFE && k.second == "a comment");
        }
        EXPECT_TRUE(comment);
    }
    {   // An XMP packet larger than one marker is left out rather than cut short.
        TPicturaIO io(nullptr);
        fresh(io);
        io.Params->XMPInfo = "<x:xmpmeta>" + std::string(70000, 'x') + "</x:xmpmeta>";
        const auto m = MarkersOf(SaveJPEG(io, "xmp-too-large.jpg"));
        for (const auto& k : m) EXPECT_FALSE(k.first == 0xE1 && IsXMP(k.second));
    }
}

// A JPEG read back the way a load reads it (the set reset, the markers as read) and saved again
// keeps its APP13 block, with the new resolution: the reset emptied the IPTC list without
// changing it. A copy of the set behaves the same.
TEST_F(PicturaIOSaveTest, JPEGRoundTripKeepsAPP13) {
    TPicturaIO first(nullptr);
    FillGradient(*first.GetIEBitmap());
    const std::string app13 = PhotoshopResolution("ab", 16, 16);
    AddMarker(*first.Params->JPEGMarkers, 0xED, app13);
    const std::string saved = SaveJPEG(first);

    TPicturaIO second(nullptr);
    TIOParamsVals& p = *second.Params;
    p.IPTCInfo->AddData(2, 5, "stale", 5);
    p.ResetInfo();
    TMemoryStream in;
    in.WriteBuffer(saved.data(), static_cast<int32_t>(saved.size()));
    in.SetPosition(0);
    TIOProgressRecord progress = second.MakeProgressRecord();
    IEReadJPEGStream(&in, nullptr, second.GetIEBitmap(), p, progress, false, false, true, false, false, false, -1,
                     false);
    ASSERT_FALSE(second.Aborting);
    ASSERT_NE(p.JPEGMarkers->IndexOf(0xED), -1);
    p.SetDpiX(240);
    TPicturaIO copy(nullptr);
    FillGradient(*copy.GetIEBitmap());
    copy.Params->Assign(&p);

    for (TPicturaIO* io : {&second, &copy}) {
        std::string written;
        for (const auto& m : MarkersOf(SaveJPEG(*io)))
            if (m.first == 0xED) written = m.second;
        ASSERT_EQ(written.size(), app13.size());
        EXPECT_EQ(ByteOrder::GetBE32(written.data() + app13.size() - 16), 240u << 16);
    }
}

// The alpha channel goes to the PNG and TGA writers as a mask: RGBA and 32-bit pixels.
TEST_F(PicturaIOSaveTest, MultiPageDocumentsAreFinishedWhenClosed) {
    // Two-page PostScript and PDF documents handed to the component: ClosePS finishes the one,
    // destroying the component the other (check_save_written.sh counts their pages with Ghostscript
    // and qpdf).
    TIEBitmap page;
    FillGradient(page);
    TIOProgressRecord progress;
    const std::string psName = OutDir() + "/pages.ps", pdfName = OutDir() + "/pages.pdf";
    {
        TPicturaIO io(nullptr);
        io.ClosePS();   // nothing open: nothing happens
        io.ClosePDF();
        io.PSStream = std::make_unique<TFileStream>(Utf8ToWide(psName), fmCreate);
        io.PSDocument = IEPSCreate(*io.PSStream, *io.Params);
        io.PDFStream = std::make_unique<TFileStream>(Utf8ToWide(pdfName), fmCreate);
        io.PDFDocument = IEPDFCreate();
        io.Params->PDFTitle = "Two pages";
        for (int i = 0; i < 2; ++i) {
            IEPSSavePage(io.PSDocument, *io.PSStream, &page, *io.Params, progress);
            IEPDFSavePage(io.PDFDocument, &page, *io.Params, progress);
        }
        io.ClosePS();
        EXPECT_EQ(io.PSDocument, nullptr);
        EXPECT_EQ(io.PSStream, nullptr);
        const std::string ps = testsupport::ReadFileBytes(Utf8ToWide(psName));
        EXPECT_NE(ps.find("%%Pages: 2"), std::string::npos);
        EXPECT_EQ(ps.substr(ps.size() - 7), "%%EOF\r\n");
        EXPECT_NE(io.PDFDocument, nullptr);
    }
    const std::string pdf = testsupport::ReadFileBytes(Utf8ToWide(pdfName));
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_NE(pdf.find("/Count 2"), std::string::npos);
    EXPECT_NE(pdf.find("(Two pages)"), std::string::npos);
    EXPECT_NE(pdf.rfind("%%EOF"), std::string::npos);
}

TEST_F(PicturaIOSaveTest, AlphaChannelReachesPNGAndTGA) {
    TPicturaIO io(nullptr);
    FillGradient(*io.GetIEBitmap());
    TIEBitmap* alpha = io.GetIEBitmap()->GetAlphaChannel();
    for (int32_t x = 0; x < 16; ++x) alpha->SetPixelByte(x, 0, 0);   // the top row transparent
    alpha->SetFull(false);

    io.SaveToFilePNG(OutFile("alpha.png"));
    EXPECT_FALSE(io.Aborting);
    const std::string png = testsupport::ReadFileBytes(OutFile("alpha.png"));
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(static_cast<uint8_t>(png[25]), 6);   // IHDR colour type: RGB with alpha

    TMemoryStream tga;
    io.SaveToStreamTGA(&tga);
    EXPECT_FALSE(io.Aborting);
    const std::string t = StreamBytes(tga);
    ASSERT_GT(t.size(), 18u);
    EXPECT_EQ(static_cast<uint8_t>(t[16]), 32);   // bits per pixel
    testsupport::WriteFileBytes(OutFile("alpha.tga"), t);
}
