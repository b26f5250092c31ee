// Metafile import through GDI: a Windows metafile (with or without the placeable header) or an
// enhanced metafile is read from a stream, turned into an enhanced metafile handle and played into
// a 24-bit DIB section of the requested size. The alpha pass plays it a second time onto a key
// colour: whatever still shows the key afterwards was never painted.
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "iecoreutils_general.h"
#include "iedibbitmap.h"
#include "picturaio.h"
#include "picturaio_metafile.h"
#include "iecoredefs_settings.h"

namespace {

constexpr uint32_t PlaceableKey = 0x9AC6CDD7u;
constexpr uint32_t EmfSignature = 0x464D4520u;   // " EMF"
constexpr int32_t HundredthMMPerInch = 2540;
// The key colour of the alpha pass: red 3, green 2, blue 1.
constexpr COLORREF AlphaKey = RGB(3, 2, 1);

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

int32_t ScreenPixelsPerInch() {
    HDC dc = ::GetDC(nullptr);
    const int32_t result = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ::ReleaseDC(nullptr, dc);
    return result > 0 ? result : 96;
}

}  // namespace

TIEMetafile::~TIEMetafile() {
    if (Handle) DeleteEnhMetaFile(static_cast<HENHMETAFILE>(Handle));
}

void TIEMetafile::LoadFromStream(TStream& Stream) {
    if (Handle) DeleteEnhMetaFile(static_cast<HENHMETAFILE>(Handle));
    Handle = nullptr;
    Enhanced = false;
    Width = Height = 0;
    const int64_t available = Stream.GetSize() - Stream.GetPosition();
    if (available < 4 || available > INT32_MAX) return;
    std::vector<uint8_t> data(static_cast<size_t>(available));
    data.resize(static_cast<size_t>(Stream.Read(data.data(), static_cast<int32_t>(available))));
    if (data.size() < 4) return;
    const int32_t logPixels = ScreenPixelsPerInch();

    if (data.size() >= 44 && Le32(&data[0]) == 1 && Le32(&data[40]) == EmfSignature) {
        HENHMETAFILE handle = SetEnhMetaFileBits(static_cast<UINT>(data.size()), data.data());
        Handle = handle;
        if (!handle) return;
        ENHMETAHEADER header = {};
        if (!GetEnhMetaFileHeader(handle, sizeof header, &header)) return;
        Enhanced = true;
        // The frame is in hundredths of a millimetre.
        Width = MulDiv(header.rclFrame.right - header.rclFrame.left, logPixels, HundredthMMPerInch);
        Height = MulDiv(header.rclFrame.bottom - header.rclFrame.top, logPixels, HundredthMMPerInch);
        return;
    }

    if (Le32(&data[0]) == PlaceableKey) {
        if (data.size() < 22 + 18) return;
        const int16_t left = static_cast<int16_t>(Le16(&data[6])), top = static_cast<int16_t>(Le16(&data[8]));
        const int16_t right = static_cast<int16_t>(Le16(&data[10])), bottom = static_cast<int16_t>(Le16(&data[12]));
        const int32_t inch = Le16(&data[14]);
        if (inch == 0) return;
        const int32_t unitsWide = right - left, unitsHigh = bottom - top;
        if (unitsWide <= 0 || unitsHigh <= 0) return;
        METAFILEPICT picture = {};
        picture.mm = MM_ANISOTROPIC;
        picture.xExt = MulDiv(unitsWide, HundredthMMPerInch, inch);
        picture.yExt = MulDiv(unitsHigh, HundredthMMPerInch, inch);
        Handle = SetWinMetaFileBits(static_cast<UINT>(data.size() - 22), data.data() + 22, nullptr, &picture);
        if (!Handle) return;
        Width = MulDiv(unitsWide, logPixels, inch);
        Height = MulDiv(unitsHigh, logPixels, inch);
        return;
    }

    // A plain Windows metafile: GDI chooses the frame.
    if (data.size() >= 18 && (Le16(&data[0]) == 1 || Le16(&data[0]) == 2) && Le16(&data[2]) == 9) {
        HENHMETAFILE handle = SetWinMetaFileBits(static_cast<UINT>(data.size()), data.data(), nullptr, nullptr);
        Handle = handle;
        if (!handle) return;
        ENHMETAHEADER header = {};
        if (!GetEnhMetaFileHeader(handle, sizeof header, &header)) return;
        Width = MulDiv(header.rclFrame.right - header.rclFrame.left, logPixels, HundredthMMPerInch);
        Height = MulDiv(header.rclFrame.bottom - header.rclFrame.top, logPixels, HundredthMMPerInch);
    }
}

namespace {

// Fills the DIB with Colour and plays the metafile over all of it.
void DrawMetafile(TIEDibbitmap& Dib, const TIEMetafile& Metafile, COLORREF Colour) {
    HDC dc = static_cast<HDC>(Dib.GetDC());
    RECT area = {0, 0, Dib.GetWidth(), Dib.GetHeight()};
    HBRUSH brush = CreateSolidBrush(Colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    PlayEnhMetaFile(dc, static_cast<HENHMETAFILE>(Metafile.Handle), &area);
    GdiFlush();
}

// The parameters of a metafile drawn at Width x Height: 24-bit RGB at the default resolution.
void SetMetafileParams(TIOParamsVals& Params, bool Enhanced, int32_t Width, int32_t Height) {
    Params.FileName.clear();
    Params.FileType = Enhanced ? ioEMF : ioWMF;
    Params.BitsPerSample = 8;
    Params.SamplesPerPixel = 3;
    Params.Width = Params.OriginalWidth = Width;
    Params.Height = Params.OriginalHeight = Height;
    Params.SetDpiX(IEDefaultDPIX);
    Params.SetDpiY(IEDefaultDPIY);
    Params.FreeColorMap();
}

}  // namespace

void TPicturaIO::ImportMetafileData(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha) {
    TIEMetafile metafile;
    metafile.LoadFromStream(*Stream);
    ImportMetafile(&metafile, Width, Height, WithAlpha);
}

void TPicturaIO::ImportMetafile(TIEMetafile* Metafile, int32_t Width, int32_t Height, bool WithAlpha) {
    Aborting = false;
    if (!Metafile || Metafile->IsEmpty()) {
        Aborting = true;
        return;
    }
    const TIEMetafile& metafile = *Metafile;
    // A side asked to be 0 draws nothing: that is no image either.
    if (Width == 0 || Height == 0) {
        Aborting = true;
        return;
    }
    // Without a bitmap nothing can be imported: the import fails.
    if (!MakeConsistentBitmap(0)) {
        Aborting = true;
        return;
    }
    Params->ResetInfo();

    int32_t width = 0, height = 0;
    TIEDibbitmap dib;
    if (!IEMetafileImportSize(metafile.Width, metafile.Height, Width, Height, IEMetafileMaxSize, width, height) ||
        !dib.AllocateDIB(width, height, 24)) {
        Aborting = true;
        return;
    }
    SetMetafileParams(*Params, metafile.Enhanced, width, height);
    UpdateViewDPI();

    const TIERGB background = IEColorToRGB(GetBackground());
    DrawMetafile(dib, metafile, RGB(background.r, background.g, background.b));
    IOBitmap->CopyFromTIEDibbitmap(&dib);
    dib.FreeDIB();
    IOBitmap->RemoveAlphaChannel(false, 0xFFFFFF);

    if (WithAlpha) {
        TIEDibbitmap keyed;
        if (keyed.AllocateDIB(width, height, 24)) {
            DrawMetafile(keyed, metafile, AlphaKey);
            TIEBitmap* alpha = IOBitmap->GetAlphaChannel();
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* src = keyed.GetScanline(y);
                uint8_t* dst = alpha->GetScanline(y);
                for (int32_t x = 0; x < width; ++x, src += 3)
                    dst[x] = src[0] == 1 && src[1] == 2 && src[2] == 3 ? 0 : 255;
            }
            alpha->CheckFull();
        } else {
            Aborting = true;
        }
    }
    Update();
}

void TPicturaIO::ParamsFromMetafileStream(TStream* Stream) {
    TIEMetafile metafile;
    metafile.LoadFromStream(*Stream);
    if (!metafile.Handle || metafile.Width <= 0 || metafile.Height <= 0) {
        Aborting = true;
        return;
    }
    SetMetafileParams(*Params, metafile.Enhanced, metafile.Width, metafile.Height);
}
