// Metafile import through GDI: enhanced and placeable Windows metafiles recorded here with GDI's
// own recording functions, imported at their own size, at asked sizes and under the size limit,
// with the background colour behind the drawing and the alpha channel of what was never painted.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iebitmap.h"
#include "picturaio.h"
#include "picturaio_metafile.h"
#include "picturaview.h"
#include "support/TestSupport.h"

namespace {

void FilledRect(HDC Dc, COLORREF Colour, int Left, int Top, int Right, int Bottom) {
    HBRUSH brush = CreateSolidBrush(Colour);
    HGDIOBJ oldBrush = SelectObject(Dc, brush);
    HGDIOBJ oldPen = SelectObject(Dc, GetStockObject(NULL_PEN));
    Rectangle(Dc, Left, Top, Right, Bottom);
    SelectObject(Dc, oldPen);
    SelectObject(Dc, oldBrush);
    DeleteObject(brush);
}

// An enhanced metafile whose frame is 25400 x 12700 hundredths of a millimetre (960 x 480 pixels
// at 96 pixels per inch), with a red rectangle and one in the alpha pass's key colour.
std::string RecordEMF() {
    RECT frame = {0, 0, 25400, 12700};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    // The recording is in pixels of the reference device: map the frame onto 960 x 480 units.
    HDC screen = GetDC(nullptr);
    const int pxW = MulDiv(25400, GetDeviceCaps(screen, HORZRES), GetDeviceCaps(screen, HORZSIZE) * 100);
    const int pxH = MulDiv(12700, GetDeviceCaps(screen, VERTRES), GetDeviceCaps(screen, VERTSIZE) * 100);
    ReleaseDC(nullptr, screen);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 960, 480, nullptr);
    SetViewportExtEx(dc, pxW, pxH, nullptr);
    FilledRect(dc, RGB(255, 0, 0), 100, 100, 300, 200);
    FilledRect(dc, RGB(3, 2, 1), 500, 100, 600, 200);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    const UINT size = GetEnhMetaFileBits(emf, 0, nullptr);
    std::string bytes(size, '\0');
    GetEnhMetaFileBits(emf, size, reinterpret_cast<BYTE*>(&bytes[0]));
    DeleteEnhMetaFile(emf);
    return bytes;
}

void PutWord(std::string& S, uint16_t W) {
    S += static_cast<char>(W & 0xFF);
    S += static_cast<char>(W >> 8);
}

// A placeable Windows metafile of BoxW x BoxH units at 96 units per inch, with a red rectangle
// over the middle half.
std::string RecordPlaceableWMF(int16_t BoxW, int16_t BoxH) {
    HDC dc = CreateMetaFileW(nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 200, 100, nullptr);
    FilledRect(dc, RGB(255, 0, 0), 50, 25, 150, 75);
    HMETAFILE wmf = CloseMetaFile(dc);
    const UINT size = GetMetaFileBitsEx(wmf, 0, nullptr);
    std::string body(size, '\0');
    GetMetaFileBitsEx(wmf, size, &body[0]);
    DeleteMetaFile(wmf);

    std::string header;
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, static_cast<uint16_t>(BoxW), static_cast<uint16_t>(BoxH),
                                96, 0, 0};
    uint16_t checksum = 0;
    for (uint16_t w : words) {
        PutWord(header, w);
        checksum ^= w;
    }
    PutWord(header, checksum);
    return header + body;
}

class MetafileImport : public ::testing::Test {
protected:
    void SetUp() override { IEPicturaViewInitialize(); }
    void TearDown() override { IEMetafileMaxSize = 8000; }
    void Import(TPicturaIO& Io, const std::string& Bytes, int32_t Width, int32_t Height, bool WithAlpha) {
        Stream.Clear();
        Stream.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
        Stream.SetPosition(0);
        Io.ImportMetafileFromStream(&Stream, Width, Height, WithAlpha);
    }
    TMemoryStream Stream;
};

bool IsRGB(TIEBitmap& B, int32_t X, int32_t Y, uint8_t R, uint8_t G, uint8_t Bl) {
    const TIERGB c = B.GetPixelAsRGB(X, Y);
    return c.r == R && c.g == G && c.b == Bl;
}

}  // namespace

TEST_F(MetafileImport, EnhancedAtItsOwnSizeWithBackgroundAndAlpha) {
    const std::string emf = RecordEMF();
    TPicturaIO io(nullptr);
    io.SetBackground(0x00FF00);   // green
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    Import(io, emf, -1, -1, true);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(finished, 1);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_EQ(b.GetWidth(), 960);
    ASSERT_EQ(b.GetHeight(), 480);
    EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
    TIOParamsVals& p = *io.GetParams();
    EXPECT_EQ(p.FileType, ioEMF);
    EXPECT_EQ(p.Width, 960);
    EXPECT_EQ(p.OriginalHeight, 480);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 3);
    EXPECT_TRUE(p.FileName.empty());

    // Painted red: opaque; never painted: the background, transparent; painted in the key
    // colour: transparent as well.
    EXPECT_TRUE(IsRGB(b, 200, 150, 255, 0, 0));
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(b.GetAlpha(200, 150), 255);
    EXPECT_TRUE(IsRGB(b, 10, 10, 0, 255, 0));
    EXPECT_EQ(b.GetAlpha(10, 10), 0);
    EXPECT_EQ(b.GetAlpha(900, 400), 0);
    EXPECT_TRUE(IsRGB(b, 550, 150, 3, 2, 1));
    EXPECT_EQ(b.GetAlpha(550, 150), 0);
    EXPECT_FALSE(b.GetAlphaChannel()->GetFull());

    // Without the alpha pass there is no alpha channel.
    Import(io, emf, -1, -1, false);
    EXPECT_FALSE(io.GetIEBitmap()->HasAlphaChannel());
}

TEST_F(MetafileImport, AskedSizesAndTheSizeLimit) {
    const std::string emf = RecordEMF();
    struct Case {
        int32_t W, H, Max, OutW, OutH;
    };
    for (const Case& c : {Case{400, -1, 8000, 400, 200}, Case{-1, 100, 8000, 200, 100}, Case{300, 50, 8000, 300, 50},
                          Case{-1, -1, 240, 240, 120}, Case{100, 400, 200, 50, 200}}) {
        IEMetafileMaxSize = c.Max;
        TPicturaIO io(nullptr);
        Import(io, emf, c.W, c.H, false);
        EXPECT_FALSE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), c.OutW) << c.W << "x" << c.H;
        EXPECT_EQ(io.GetIEBitmap()->GetHeight(), c.OutH) << c.W << "x" << c.H;
        EXPECT_EQ(io.GetParams()->Width, c.OutW);
    }
}

TEST_F(MetafileImport, PlaceableWindowsMetafileFromFile) {
    const std::string wmf = RecordPlaceableWMF(200, 100);
    testsupport::TScratchDir dir(L"KWMeta_");
    const std::wstring name = dir / L"drawing.wmf";
    testsupport::WriteFileBytes(name, wmf);
    TPicturaIO io(nullptr);
    io.SetBackground(0xFFFFFF);
    io.ImportMetafileFromFile(name, -1, -1, true);
    EXPECT_FALSE(io.Aborting);
    TIEBitmap& b = *io.GetIEBitmap();
    ASSERT_EQ(b.GetWidth(), 200);
    ASSERT_EQ(b.GetHeight(), 100);
    EXPECT_EQ(io.GetParams()->FileType, ioWMF);
    EXPECT_EQ(io.GetParams()->FileName, name);
    EXPECT_TRUE(IsRGB(b, 100, 50, 255, 0, 0));
    EXPECT_EQ(b.GetAlpha(100, 50), 255);
    EXPECT_TRUE(IsRGB(b, 10, 10, 255, 255, 255));
    EXPECT_EQ(b.GetAlpha(10, 10), 0);

    // Without the placeable header GDI chooses the frame; the drawing still comes through.
    TPicturaIO plain(nullptr);
    Import(plain, wmf.substr(22), -1, -1, false);
    EXPECT_FALSE(plain.Aborting);
    EXPECT_EQ(plain.GetParams()->FileType, ioWMF);
    EXPECT_GT(plain.GetIEBitmap()->GetWidth(), 0);

    // The parameters alone: the metafile's own size, the bitmap untouched.
    TPicturaIO other(nullptr);
    TMemoryStream stream;
    stream.Write(wmf.data(), static_cast<int32_t>(wmf.size()));
    stream.SetPosition(0);
    other.ParamsFromMetafileStream(&stream);
    EXPECT_EQ(other.GetParams()->Width, 200);
    EXPECT_EQ(other.GetParams()->Height, 100);
    EXPECT_EQ(other.GetParams()->FileType, ioWMF);
    EXPECT_TRUE(other.GetIEBitmap()->IsEmpty());
}

TEST_F(MetafileImport, EmptyOrUnreadableMetafileFailsAndLeavesTheBitmap) {
    for (const std::string& bytes : {RecordPlaceableWMF(0, 100), std::string("not a metafile at all"), std::string()}) {
        TPicturaIO io(nullptr);
        int finished = 0;
        io.OnFinishWork = [&](TObject*) { ++finished; };
        ASSERT_TRUE(io.GetIEBitmap()->Allocate(3, 2, ie24RGB));
        Import(io, bytes, -1, -1, true);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 3);
        EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 2);
    }
    // A side asked to be 0 loads nothing either, nor does a component without a bitmap.
    TPicturaIO io(nullptr);
    Import(io, RecordEMF(), 0, 50, false);
    EXPECT_TRUE(io.Aborting);
    io.SetAttachedIEBitmap(nullptr);
    Import(io, RecordEMF(), -1, -1, false);
    EXPECT_TRUE(io.Aborting);
}

TEST_F(MetafileImport, MetafileObjectImportedByTheCaller) {
    // The caller's metafile, loaded once and imported twice at different sizes; the import itself
    // sends no finishing report. An empty metafile (or none) fails and keeps the bitmap.
    TMemoryStream stream;
    const std::string emf = RecordEMF();
    stream.Write(emf.data(), static_cast<int32_t>(emf.size()));
    stream.SetPosition(0);
    TIEMetafile metafile;
    metafile.LoadFromStream(stream);
    ASSERT_FALSE(metafile.IsEmpty());
    EXPECT_TRUE(metafile.Enhanced);
    EXPECT_EQ(metafile.Width, 960);
    TPicturaIO io(nullptr);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };
    io.ImportMetafile(&metafile, 400, -1, true);
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 400);
    EXPECT_EQ(io.GetIEBitmap()->GetHeight(), 200);
    EXPECT_TRUE(io.GetIEBitmap()->HasAlphaChannel());
    EXPECT_EQ(io.GetParams()->FileType, ioEMF);
    io.ImportMetafile(&metafile, -1, 100, false);
    EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 200);
    EXPECT_TRUE(IsRGB(*io.GetIEBitmap(), 40, 30, 255, 0, 0));
    EXPECT_EQ(finished, 0);

    TIEMetafile empty;
    TMemoryStream junk;
    junk.Write("junk", 4);
    junk.SetPosition(0);
    empty.LoadFromStream(junk);
    EXPECT_TRUE(empty.IsEmpty());
    for (TIEMetafile* m : {&empty, static_cast<TIEMetafile*>(nullptr)}) {
        io.Aborting = false;
        io.ImportMetafile(m, -1, -1, false);
        EXPECT_TRUE(io.Aborting);
        EXPECT_EQ(io.GetIEBitmap()->GetWidth(), 200);
    }
    // Loading again replaces what the metafile held.
    stream.SetPosition(0);
    empty.LoadFromStream(stream);
    EXPECT_FALSE(empty.IsEmpty());
    junk.SetPosition(0);
    empty.LoadFromStream(junk);
    EXPECT_TRUE(empty.IsEmpty());
}
