// The Windows Imaging Component through COM: the interfaces called, a stream adapter over
// TStream, and the reader and writer of iewic.h.
#include <objbase.h>
#include <ole2.h>
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "CheckedMath.h"
#include "codecs_common.h"
#include "iebitmap.h"
#include "iecoreutils_exif_tiff.h"
#include "iewic.h"
#include "iecoredefs_settings.h"

// ---- the WIC interfaces the unit calls, slot for slot in WIC's published order ----------------

struct IE_IWICBitmapSource;
struct IE_IWICBitmapFrameDecode;
struct IE_IWICBitmapDecoder;
struct IE_IWICBitmapEncoder;
struct IE_IWICMetadataQueryReader;

struct IE_IWICBitmapSource : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSize(UINT* puiWidth, UINT* puiHeight) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* pPixelFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResolution(double* pDpiX, double* pDpiY) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* pIPalette) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* prc, UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer) = 0;
};

struct IE_IWICMetadataQueryReader : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* pguidContainerFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLocation(UINT cchMaxLength, WCHAR* wzNamespace, UINT* pcchActualLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMetadataByName(LPCWSTR wzName, PROPVARIANT* pvarValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnumerator(IEnumString** ppIEnumString) = 0;
};

struct IE_IWICBitmapFrameDecode : public IE_IWICBitmapSource {
    virtual HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IE_IWICMetadataQueryReader** ppIMetadataQueryReader) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColorContexts(UINT cCount, IWICColorContext** ppIColorContexts, UINT* pcActualCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThumbnail(IE_IWICBitmapSource** ppIThumbnail) = 0;
};

struct IE_IWICBitmapDecoder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryCapability(IStream* pIStream, DWORD* pdwCapability) = 0;
    virtual HRESULT STDMETHODCALLTYPE Initialize(IStream* pIStream, WICDecodeOptions cacheOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* pguidContainerFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDecoderInfo(IWICBitmapDecoderInfo** ppIDecoderInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* pIPalette) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMetadataQueryReader(IE_IWICMetadataQueryReader** ppIMetadataQueryReader) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPreview(IE_IWICBitmapSource** ppIBitmapSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetColorContexts(UINT cCount, IWICColorContext** ppIColorContexts, UINT* pcActualCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThumbnail(IE_IWICBitmapSource** ppIThumbnail) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* pCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IE_IWICBitmapFrameDecode** ppIBitmapFrame) = 0;
};

struct IE_IWICBitmapEncoder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(IStream* pIStream, WICBitmapEncoderCacheOption cacheOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* pguidContainerFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEncoderInfo(IWICBitmapEncoderInfo** ppIEncoderInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetColorContexts(UINT cCount, IWICColorContext** ppIColorContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPalette(IWICPalette* pIPalette) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetThumbnail(IE_IWICBitmapSource* pIThumbnail) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreview(IE_IWICBitmapSource* pIPreview) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNewFrame(IWICBitmapFrameEncode** ppIFrameEncode, IPropertyBag2** ppIEncoderOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMetadataQueryWriter(IWICMetadataQueryWriter** ppIMetadataQueryWriter) = 0;
};

struct IE_IWICImagingFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateDecoderFromFilename(LPCWSTR wzFilename, const GUID* pguidVendor, DWORD dwDesiredAccess,
                                                                WICDecodeOptions metadataOptions, IE_IWICBitmapDecoder** ppIDecoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDecoderFromStream(IStream* pIStream, const GUID* pguidVendor,
                                                              WICDecodeOptions metadataOptions, IE_IWICBitmapDecoder** ppIDecoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDecoderFromFileHandle(ULONG_PTR hFile, const GUID* pguidVendor,
                                                                  WICDecodeOptions metadataOptions, IE_IWICBitmapDecoder** ppIDecoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateComponentInfo(REFCLSID clsidComponent, IWICComponentInfo** ppIInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDecoder(REFGUID guidContainerFormat, const GUID* pguidVendor, IE_IWICBitmapDecoder** ppIDecoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateEncoder(REFGUID guidContainerFormat, const GUID* pguidVendor, IE_IWICBitmapEncoder** ppIEncoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePalette(IWICPalette** ppIPalette) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFormatConverter(IWICFormatConverter** ppIFormatConverter) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapScaler(IWICBitmapScaler** ppIBitmapScaler) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapClipper(IWICBitmapClipper** ppIBitmapClipper) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFlipRotator(IWICBitmapFlipRotator** ppIBitmapFlipRotator) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateStream(IWICStream** ppIWICStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateColorContext(IWICColorContext** ppIWICColorContext) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateColorTransformer(IWICColorTransform** ppIWICColorTransform) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmap(UINT uiWidth, UINT uiHeight, REFWICPixelFormatGUID pixelFormat,
                                                   WICBitmapCreateCacheOption option, IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromSource(IE_IWICBitmapSource* piBitmapSource, WICBitmapCreateCacheOption option,
                                                             IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromSourceRect(IE_IWICBitmapSource* piBitmapSource, UINT x, UINT y, UINT width,
                                                                 UINT height, IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromMemory(UINT uiWidth, UINT uiHeight, REFWICPixelFormatGUID pixelFormat,
                                                             UINT cbStride, UINT cbBufferSize, BYTE* pbBuffer, IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromHBITMAP(HBITMAP hBitmap, HPALETTE hPalette, WICBitmapAlphaChannelOption options,
                                                              IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromHICON(HICON hIcon, IWICBitmap** ppIBitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateComponentEnumerator(DWORD componentTypes, DWORD options, IEnumUnknown** ppIEnumUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFastMetadataEncoderFromDecoder(IE_IWICBitmapDecoder* pIDecoder,
                                                                           IWICFastMetadataEncoder** ppIFastEncoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateFastMetadataEncoderFromFrameDecode(IE_IWICBitmapFrameDecode* pIFrameDecoder,
                                                                               IWICFastMetadataEncoder** ppIFastEncoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateQueryWriter(REFGUID guidMetadataFormat, const GUID* pguidVendor,
                                                       IWICMetadataQueryWriter** ppIQueryWriter) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateQueryWriterFromReader(IE_IWICMetadataQueryReader* pIQueryReader, const GUID* pguidVendor,
                                                                 IWICMetadataQueryWriter** ppIQueryWriter) = 0;
};

namespace {

// ---- identifiers published by WIC -------------------------------------------------------------

constexpr GUID kCLSID_WICImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
constexpr GUID kIID_IWICImagingFactory = {0xec5ec8a9, 0xc395, 0x4314, {0x9c, 0x77, 0x54, 0xd7, 0xa9, 0x35, 0xff, 0x70}};
constexpr GUID kVendorMicrosoft = {0xf0e749ca, 0xedef, 0x4589, {0xa7, 0x3a, 0xee, 0x0e, 0x62, 0x6a, 0x2a, 0x2b}};

struct TIEWICContainer {
    TIOFileType FileType;
    GUID Decoder;     // the decoder's class identifier
    GUID Container;   // the container format (for the encoder)
    bool Writable;
};
const TIEWICContainer kContainers[] = {
    {ioTIFF, {0xb54e85d9, 0xfe23, 0x499f, {0x8b, 0x88, 0x6a, 0xce, 0xa7, 0x13, 0x75, 0x2b}},
     {0x163bcc30, 0xe2e9, 0x4f0b, {0x96, 0x1d, 0xa3, 0xe9, 0xfd, 0xb7, 0x88, 0xa3}}, true},
    {ioGIF, {0x381dda3c, 0x9ce9, 0x4834, {0xa2, 0x3e, 0x1f, 0x98, 0xf8, 0xfc, 0x52, 0xbe}},
     {0x1f8a5601, 0x7d4d, 0x4cbd, {0x9c, 0x82, 0x1b, 0xc8, 0xd4, 0xee, 0xb9, 0xa5}}, true},
    {ioJPEG, {0x9456a480, 0xe88b, 0x43ea, {0x9e, 0x73, 0x0b, 0x2d, 0x9b, 0x71, 0xb1, 0xca}},
     {0x19e4a5aa, 0x5662, 0x4fc5, {0xa0, 0xc0, 0x17, 0x58, 0x02, 0x8e, 0x10, 0x57}}, true},
    {ioBMP, {0x6b462062, 0x7cbf, 0x400d, {0x9f, 0xdb, 0x81, 0x3d, 0xd1, 0x0f, 0x27, 0x78}},
     {0x0af1d87e, 0xfcfe, 0x4188, {0xbd, 0xeb, 0xa7, 0x90, 0x64, 0x71, 0xcb, 0xe3}}, true},
    {ioICO, {0xc61bfcdf, 0x2e0f, 0x4aad, {0xa8, 0xd7, 0xe0, 0x6b, 0xaf, 0xeb, 0xcd, 0xfe}},
     {0xa3a860c4, 0x338f, 0x4c17, {0x91, 0x9a, 0xfb, 0xa4, 0xb5, 0x62, 0x8f, 0x21}}, false},
    {ioPNG, {0x389ea17b, 0x5078, 0x4cde, {0xb6, 0xef, 0x25, 0xc1, 0x51, 0x75, 0xc7, 0x51}},
     {0x1b7cfaf4, 0x713f, 0x473c, {0xbb, 0xcd, 0x61, 0x37, 0x42, 0x5f, 0xae, 0xaf}}, true},
    {ioHDP, {0xa26cec36, 0x234c, 0x4950, {0xae, 0x16, 0xe3, 0x4a, 0xac, 0xe7, 0x1d, 0x0d}},
     {0x57a37caa, 0x367a, 0x4540, {0x91, 0x6b, 0xf1, 0x83, 0xc5, 0x09, 0x3a, 0x4b}}, true},
};

const TIEWICContainer* FindContainer(TIOFileType FileType) {
    for (const TIEWICContainer& c : kContainers)
        if (c.FileType == FileType) return &c;
    return nullptr;
}

// The WIC pixel formats {6fddc324-4e03-4bfe-b185-3d77768dc9xx}, by their last byte.
GUID WICFormat(uint8_t Last) { return {0x6fddc324, 0x4e03, 0x4bfe, {0xb1, 0x85, 0x3d, 0x77, 0x76, 0x8d, 0xc9, Last}}; }
constexpr uint8_t kFmt1bppIndexed = 0x01, kFmt8bppIndexed = 0x04, kFmtBlackWhite = 0x05, kFmt8bppGray = 0x08,
                  kFmt16bppGray = 0x0b, kFmt24bppBGR = 0x0c, kFmt32bppBGRA = 0x0f, kFmt48bppRGB = 0x15, kFmt32bppCMYK = 0x1c;

bool IsWICFormat(const GUID& Format, uint8_t Last) { return IsEqualGUID(Format, WICFormat(Last)); }

// The target of a read: a WIC format and the library's pixel format that holds it.
struct TIEReadMapping {
    uint8_t Wic;
    TIEPixelFormat Format;
};

TIEReadMapping MapForRead(const GUID& Source, bool Native) {
    if (IsWICFormat(Source, kFmtBlackWhite)) return {kFmtBlackWhite, ie1g};
    if (!Native) return {kFmt24bppBGR, ie24RGB};
    if (IsWICFormat(Source, kFmt8bppGray)) return {kFmt8bppGray, ie8g};
    if (IsWICFormat(Source, kFmt16bppGray)) return {kFmt16bppGray, ie16g};
    if (IsWICFormat(Source, kFmt48bppRGB)) return {kFmt48bppRGB, ieRGB48};
    if (IsWICFormat(Source, kFmt32bppCMYK)) return {kFmt32bppCMYK, ieCMYK};
    if (IsWICFormat(Source, kFmt1bppIndexed)) return {kFmt8bppIndexed, ie8p};
    return {kFmt24bppBGR, ie24RGB};
}

// The WIC format of a bitmap format that has one (0 for none).
uint8_t MapForWrite(TIEPixelFormat Format) {
    switch (Format) {
        case ie1g: return kFmtBlackWhite;
        case ie8g: return kFmt8bppGray;
        case ie16g: return kFmt16bppGray;
        case ie24RGB: return kFmt24bppBGR;
        case ieRGB48: return kFmt48bppRGB;
        case ieCMYK: return kFmt32bppCMYK;
        default: return 0;
    }
}

template <class T>
void SafeRelease(T*& Intf) {
    if (Intf) Intf->Release();
    Intf = nullptr;
}

// ---- an IStream over a TStream that it does not own --------------------------------------------
// Positions count from where the stream stood when the adapter was made, so an image in the
// middle of a stream reads as a file of its own. Exceptions of the stream never cross COM.
class TIEStreamAdapter : public IStream {
public:
    explicit TIEStreamAdapter(TStream* Stream) : FStream(Stream), FBase(Stream->GetPosition()) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream)) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&FRefs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG n = InterlockedDecrement(&FRefs);
        if (n == 0) delete this;
        return (ULONG)n;
    }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        ULONG done = 0;
        try {
            while (done < cb) {
                const int32_t part = (int32_t)std::min<ULONG>(cb - done, 0x40000000u);
                const int32_t got = FStream->Read(static_cast<uint8_t*>(pv) + done, part);
                if (got <= 0) break;
                done += (ULONG)got;
            }
        } catch (...) {
            if (pcbRead) *pcbRead = done;
            return E_FAIL;
        }
        if (pcbRead) *pcbRead = done;
        return done == cb ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        ULONG done = 0;
        try {
            while (done < cb) {
                const int32_t part = (int32_t)std::min<ULONG>(cb - done, 0x40000000u);
                const int32_t put = FStream->Write(static_cast<const uint8_t*>(pv) + done, part);
                if (put <= 0) break;
                done += (ULONG)put;
            }
        } catch (...) {
            if (pcbWritten) *pcbWritten = done;
            return STG_E_CANTSAVE;
        }
        if (pcbWritten) *pcbWritten = done;
        return done == cb ? S_OK : STG_E_MEDIUMFULL;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        try {
            int64_t target;
            switch (dwOrigin) {
                case STREAM_SEEK_SET: target = FBase + dlibMove.QuadPart; break;
                case STREAM_SEEK_CUR: target = FStream->GetPosition() + dlibMove.QuadPart; break;
                case STREAM_SEEK_END: target = FStream->GetSize() + dlibMove.QuadPart; break;
                default: return STG_E_INVALIDFUNCTION;
            }
            if (target < FBase) return STG_E_INVALIDFUNCTION;
            const int64_t now = FStream->Seek(target, soBeginning);
            if (plibNewPosition) plibNewPosition->QuadPart = (ULONGLONG)(now - FBase);
            return S_OK;
        } catch (...) {
            return STG_E_INVALIDFUNCTION;
        }
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override {
        try {
            FStream->SetSize(FBase + (int64_t)libNewSize.QuadPart);
            return S_OK;
        } catch (...) {
            return STG_E_MEDIUMFULL;
        }
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return E_POINTER;
        std::memset(pstatstg, 0, sizeof(*pstatstg));
        pstatstg->type = STGTY_STREAM;
        try {
            const int64_t size = FStream->GetSize() - FBase;
            pstatstg->cbSize.QuadPart = (ULONGLONG)(size > 0 ? size : 0);
        } catch (...) {
            return E_FAIL;
        }
        pstatstg->grfMode = STGM_READWRITE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override {
        if (ppstm) *ppstm = nullptr;
        return E_NOTIMPL;
    }

private:
    virtual ~TIEStreamAdapter() = default;
    TStream* FStream;
    int64_t FBase;
    LONG FRefs = 1;
};

// OLE for the lifetime of a reader or writer, and its imaging factory.
struct TIEWICSession {
    bool OleInitialized = false;
    IE_IWICImagingFactory* Factory = nullptr;

    TIEWICSession() {
        OleInitialized = SUCCEEDED(OleInitialize(nullptr));
        if (FAILED(CoCreateInstance(kCLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, kIID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&Factory))))
            Factory = nullptr;
    }
    ~TIEWICSession() {
        SafeRelease(Factory);
        if (OleInitialized) OleUninitialize();
    }
};

}  // namespace

bool IEWICAvailable() {
    static const bool available = [] {
        TIEWICSession session;
        return session.Factory != nullptr;
    }();
    return available;
}

// ---- reader -------------------------------------------------------------------------------------

struct TIEWICReader::TState {
    TIEWICSession Session;
    IE_IWICBitmapDecoder* Decoder = nullptr;
    IE_IWICBitmapFrameDecode* Frame = nullptr;
    IE_IWICMetadataQueryReader* QueryReader = nullptr;
    TStream* Stream = nullptr;
    int64_t StreamStart = 0;

    ~TState() {
        SafeRelease(QueryReader);
        SafeRelease(Frame);
        SafeRelease(Decoder);
    }
};

TIEWICReader::TIEWICReader() : FState(std::make_unique<TState>()), FDpiX(IEDefaultDPIX), FDpiY(IEDefaultDPIY) {}

TIEWICReader::~TIEWICReader() = default;

bool TIEWICReader::Open(TStream* Stream, TIOFileType FileType) {
    TState& s = *FState;
    const TIEWICContainer* container = FindContainer(FileType);
    if (!s.Session.Factory || !container || !Stream) return false;
    SafeRelease(s.QueryReader);
    SafeRelease(s.Frame);
    SafeRelease(s.Decoder);
    s.Stream = Stream;
    s.StreamStart = Stream->GetPosition();
    IStream* adapter = new TIEStreamAdapter(Stream);
    const HRESULT hr =
        s.Session.Factory->CreateDecoderFromStream(adapter, &container->Decoder, WICDecodeMetadataCacheOnLoad, &s.Decoder);
    adapter->Release();
    if (FAILED(hr)) s.Decoder = nullptr;
    return s.Decoder != nullptr;
}

int32_t TIEWICReader::FrameWidth() {
    UINT w = 0, h = 0;
    if (!FState->Frame || FAILED(FState->Frame->GetSize(&w, &h)) || w > INT32_MAX) return 0;
    return (int32_t)w;
}

int32_t TIEWICReader::FrameHeight() {
    UINT w = 0, h = 0;
    if (!FState->Frame || FAILED(FState->Frame->GetSize(&w, &h)) || h > INT32_MAX) return 0;
    return (int32_t)h;
}

namespace {

// Copies the source's palette (at most 256 entries) into an ie8p bitmap.
void CopyPaletteInto(IE_IWICImagingFactory* Factory, IE_IWICBitmapSource* Source, TIEBitmap* Bitmap) {
    IWICPalette* palette = nullptr;
    if (FAILED(Factory->CreatePalette(&palette)) || !palette) return;
    if (SUCCEEDED(Source->CopyPalette(palette))) {
        WICColor colors[256];
        UINT count = 0;
        if (SUCCEEDED(palette->GetColors(256, colors, &count))) {
            for (UINT i = 0; i < count && (int32_t)i < Bitmap->GetPaletteLength(); ++i) {
                TIERGB c;
                c.r = (uint8_t)(colors[i] >> 16);
                c.g = (uint8_t)(colors[i] >> 8);
                c.b = (uint8_t)colors[i];
                Bitmap->SetPaletteEntry((int32_t)i, c);
            }
        }
    }
    palette->Release();
}

// A converter of Source to the WIC format Target, or none when WIC cannot make that conversion.
IWICFormatConverter* MakeConverter(IE_IWICImagingFactory* Factory, IE_IWICBitmapSource* Source, uint8_t Target) {
    IWICFormatConverter* converter = nullptr;
    if (FAILED(Factory->CreateFormatConverter(&converter)) || !converter) return nullptr;
    const GUID target = WICFormat(Target);
    const HRESULT hr = converter->Initialize(reinterpret_cast<IWICBitmapSource*>(Source), target, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) {
        converter->Release();
        return nullptr;
    }
    return converter;
}

enum class TIEWICCopy { Done, NotStarted, Partly };

// Converts Source to the mapping's WIC format row by row into Bitmap (allocated at the source's
// size). A source already in that format is copied as it is (WIC's converter does not take every
// format as its own target). NotStarted: no converter, no size, no bitmap or not even the first
// row (the bitmap is then of no use); Partly: a later row failed (the rows from there are cleared).
// With Via32, WIC delivers 32-bit BGRA rows that are packed into the 24-bit bitmap.
TIEWICCopy CopyConverted(IE_IWICImagingFactory* Factory, IE_IWICBitmapSource* Source, const GUID& SourceFormat,
                         const TIEReadMapping& Mapping, bool Via32, TIEBitmap* Bitmap) {
    const uint8_t wic = Via32 ? kFmt32bppBGRA : Mapping.Wic;
    IWICFormatConverter* converter = nullptr;
    IE_IWICBitmapSource* pixels = Source;
    if (!IsWICFormat(SourceFormat, wic)) {
        converter = MakeConverter(Factory, Source, wic);
        if (!converter) return TIEWICCopy::NotStarted;
        pixels = reinterpret_cast<IE_IWICBitmapSource*>(converter);
    }
    UINT width = 0, height = 0;
    if (FAILED(pixels->GetSize(&width, &height)) || width == 0 || height == 0 || width > INT32_MAX / 4 ||
        height > INT32_MAX || !Bitmap->Allocate((int32_t)width, (int32_t)height, Mapping.Format)) {
        SafeRelease(converter);
        return TIEWICCopy::NotStarted;
    }
    if (Mapping.Format == ie8p) CopyPaletteInto(Factory, Source, Bitmap);
    TIEWICCopy result = TIEWICCopy::Done;
    std::vector<uint8_t> wide(Via32 ? (size_t)width * 4 : 0);
    const UINT stride = Via32 ? (UINT)wide.size() : (UINT)Bitmap->GetRowLen();
    for (int32_t row = 0; row < (int32_t)height; ++row) {
        const WICRect rect = {0, row, (INT)width, 1};
        uint8_t* line = Bitmap->GetScanline(row);
        if (FAILED(pixels->CopyPixels(&rect, stride, stride, Via32 ? wide.data() : line))) {
            if (row == 0) {
                result = TIEWICCopy::NotStarted;
            } else {
                IEClearRowsFrom(Bitmap, row);
                result = TIEWICCopy::Partly;
            }
            break;
        }
        if (Via32)
            for (UINT x = 0; x < width; ++x) std::memcpy(line + 3 * (size_t)x, &wide[4 * (size_t)x], 3);
        if (Mapping.Format == ieCMYK)
            for (UINT i = 0; i < stride; ++i) line[i] = (uint8_t)(255 - line[i]);
    }
    SafeRelease(converter);
    return result;
}

}  // namespace

void TIEWICReader::Read(int32_t FrameIndex, TIEBitmap* Bitmap, bool& Aborting, TIOParamsVals* IOParams) {
    TState& s = *FState;
    if (!s.Session.Factory || !s.Decoder || !Bitmap || FrameIndex < 0) {
        Aborting = true;
        return;
    }
    SafeRelease(s.QueryReader);
    SafeRelease(s.Frame);
    if (FAILED(s.Decoder->GetFrame((UINT)FrameIndex, &s.Frame)) || !s.Frame) {
        s.Frame = nullptr;
        Aborting = true;
        return;
    }
    double dpiX = 0, dpiY = 0;
    if (SUCCEEDED(s.Frame->GetResolution(&dpiX, &dpiY))) {
        FDpiX = dpiX;
        FDpiY = dpiY;
    }
    if (FAILED(s.Frame->GetMetadataQueryReader(&s.QueryReader))) s.QueryReader = nullptr;

    IE_IWICBitmapSource* thumbnail = nullptr;
    IE_IWICBitmapSource* source = s.Frame;
    if (IOParams && IOParams->GetThumbnail && SUCCEEDED(s.Frame->GetThumbnail(&thumbnail)) && thumbnail) source = thumbnail;

    GUID sourceFormat = GUID_NULL;
    source->GetPixelFormat(&sourceFormat);
    TIEReadMapping mapping = MapForRead(sourceFormat, !IOParams || IOParams->NativePixelFormat);
    TIEWICCopy result = CopyConverted(s.Session.Factory, source, sourceFormat, mapping, false, Bitmap);
    if (result == TIEWICCopy::NotStarted && mapping.Format != ie24RGB) {
        // The system cannot give this format: the image comes as 24-bit colour instead.
        mapping = {kFmt24bppBGR, ie24RGB};
        result = CopyConverted(s.Session.Factory, source, sourceFormat, mapping, false, Bitmap);
    }
    if (result == TIEWICCopy::NotStarted)   // nor that (indexed sources, under Wine): through BGRA
        result = CopyConverted(s.Session.Factory, source, sourceFormat, mapping, true, Bitmap);
    SafeRelease(thumbnail);
    if (result != TIEWICCopy::Done) Aborting = true;
    if (result == TIEWICCopy::NotStarted) return;

    if (IOParams) {
        if (s.Stream) {
            const int64_t here = s.Stream->GetPosition();
            s.Stream->SetPosition(s.StreamStart);
            try {
                IEReadTIFFEXIF(s.Stream, IOParams);
            } catch (const Exception&) {
                // A file whose structure the EXIF reader does not follow keeps its pixels.
            }
            s.Stream->SetPosition(here);
        }
        const int32_t channels = Bitmap->GetChannelCount();
        IOParams->SamplesPerPixel = channels;
        IOParams->BitsPerSample = channels > 0 ? Bitmap->GetBitCount() / channels : 0;
        IOParams->OriginalWidth = FrameWidth();
        IOParams->OriginalHeight = FrameHeight();
        IOParams->Width = Bitmap->GetWidth();
        IOParams->Height = Bitmap->GetHeight();
        // The system reports any double the file holds: whole numbers, saturating.
        IOParams->SetDpiX(Checked::TruncSaturate<int32_t>(FDpiX));
        IOParams->SetDpiY(Checked::TruncSaturate<int32_t>(FDpiY));
    }
}

// ---- writer -------------------------------------------------------------------------------------

struct TIEWICWriter::TState {
    TIEWICSession Session;
    IE_IWICBitmapEncoder* Encoder = nullptr;
    TStream* Stream = nullptr;
    int64_t StreamStart = 0;

    ~TState() {
        if (Encoder) Encoder->Commit();
        SafeRelease(Encoder);
    }
};

TIEWICWriter::TIEWICWriter() : DpiX(IEDefaultDPIX), DpiY(IEDefaultDPIY), FState(std::make_unique<TState>()) {}

TIEWICWriter::~TIEWICWriter() = default;

bool TIEWICWriter::Open(TStream* Stream, TIOFileType FileType) {
    TState& s = *FState;
    const TIEWICContainer* container = FindContainer(FileType);
    if (!s.Session.Factory || !container || !container->Writable || !Stream || s.Encoder) return false;
    if (FAILED(s.Session.Factory->CreateEncoder(container->Container, &kVendorMicrosoft, &s.Encoder)) || !s.Encoder) {
        s.Encoder = nullptr;
        return false;
    }
    s.Stream = Stream;
    s.StreamStart = Stream->GetPosition();
    IStream* adapter = new TIEStreamAdapter(Stream);
    const HRESULT hr = s.Encoder->Initialize(adapter, WICBitmapEncoderNoCache);
    adapter->Release();
    if (FAILED(hr)) {
        SafeRelease(s.Encoder);
        return false;
    }
    return true;
}

namespace {

void WriteOption(IPropertyBag2* Bag, const wchar_t* Name, VARTYPE Type, const VARIANT& Value) {
    PROPBAG2 option = {};
    option.dwType = PROPBAG2_TYPE_DATA;
    option.vt = Type;
    option.pstrName = const_cast<LPOLESTR>(Name);
    VARIANT v = Value;
    Bag->Write(1, &option, &v);
}

void WriteFloatOption(IPropertyBag2* Bag, const wchar_t* Name, double Value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R4;
    v.fltVal = (float)Value;
    WriteOption(Bag, Name, VT_R4, v);
}

void WriteBoolOption(IPropertyBag2* Bag, const wchar_t* Name, bool Value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = Value ? VARIANT_TRUE : VARIANT_FALSE;
    WriteOption(Bag, Name, VT_BOOL, v);
}

void WriteByteOption(IPropertyBag2* Bag, const wchar_t* Name, uint8_t Value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI1;
    v.bVal = Value;
    WriteOption(Bag, Name, VT_UI1, v);
}

void WriteWordOption(IPropertyBag2* Bag, const wchar_t* Name, uint16_t Value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI2;
    v.uiVal = Value;
    WriteOption(Bag, Name, VT_UI2, v);
}

// WIC's TIFF compression options, by the writer's index.
const uint8_t kTIFFCompressionOptions[7] = {0, 1, 2, 3, 4, 5, 6};

// Gives the frame the palette of an ie8p image.
bool SetFramePalette(IE_IWICImagingFactory* Factory, IWICBitmapFrameEncode* Frame, TIEBitmap* Image) {
    IWICPalette* palette = nullptr;
    if (FAILED(Factory->CreatePalette(&palette)) || !palette) return false;
    const int32_t count = std::min(Image->GetPaletteLength(), 256);
    std::vector<WICColor> colors((size_t)std::max(count, 1), 0xFF000000u);
    for (int32_t i = 0; i < count; ++i) {
        const TIERGB c = Image->GetPaletteEntry(i);
        colors[(size_t)i] = 0xFF000000u | (WICColor)c.r << 16 | (WICColor)c.g << 8 | c.b;
    }
    const bool ok = SUCCEEDED(palette->InitializeCustom(colors.data(), (UINT)colors.size())) &&
                    SUCCEEDED(Frame->SetPalette(palette));
    palette->Release();
    return ok;
}

}  // namespace

bool TIEWICWriter::WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* IOParams) {
    TState& s = *FState;
    if (!s.Encoder || !Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return false;
    if (IOParams) {
        DpiX = IOParams->DpiX;
        DpiY = IOParams->DpiY;
        ImageQuality = IOParams->HDPImageQuality;
        Lossless = IOParams->HDPLossless;
    }
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* bag = nullptr;
    if (FAILED(s.Encoder->CreateNewFrame(&frame, &bag)) || !frame) {
        SafeRelease(bag);
        return false;
    }
    if (bag) {
        if (ImageQuality >= 0) WriteFloatOption(bag, L"ImageQuality", ImageQuality);
        if (CompressionQuality >= 0) WriteFloatOption(bag, L"CompressionQuality", CompressionQuality);
        WriteBoolOption(bag, L"Lossless", Lossless);
        if (UseCodecOptions) {
            WriteBoolOption(bag, L"UseCodecOptions", true);
            WriteByteOption(bag, L"Quality", Quality);
            WriteByteOption(bag, L"Overlap", Overlap);
            WriteByteOption(bag, L"Subsampling", Subsampling);
        }
        WriteWordOption(bag, L"HorizontalTileSlices", HorizontalTileSlices);
        WriteWordOption(bag, L"VerticalTileSlices", VerticalTileSlices);
        WriteBoolOption(bag, L"FrequencyOrder", FrequencyOrder);
        const int32_t index = TIFFCompression < 0 || TIFFCompression > 6 ? 1 : TIFFCompression;
        WriteByteOption(bag, L"TiffCompressionMethod", kTIFFCompressionOptions[index]);
    }
    bool ok = SUCCEEDED(frame->Initialize(bag));
    ok = ok && SUCCEEDED(frame->SetSize((UINT)Bitmap->GetWidth(), (UINT)Bitmap->GetHeight()));
    ok = ok && SUCCEEDED(frame->SetResolution(DpiX, DpiY));

    // The encoder may answer the format asked for with another one it prefers: the image is then
    // sent as 24-bit colour, or as 8-bit indexed colour with its palette to an encoder that takes
    // only that (GIF). Formats without a WIC counterpart go as 24-bit colour too; ie8p as indexed.
    const TIEPixelFormat own = Bitmap->GetPixelFormat();
    uint8_t asked = own == ie8p ? kFmt8bppIndexed : MapForWrite(own);
    if (!asked) asked = kFmt24bppBGR;
    GUID format = WICFormat(asked);
    if (ok) ok = SUCCEEDED(frame->SetPixelFormat(&format));
    if (ok && !IsWICFormat(format, asked)) {
        if (IsWICFormat(format, kFmt8bppIndexed)) {
            asked = kFmt8bppIndexed;
        } else {
            asked = kFmt24bppBGR;
            format = WICFormat(asked);
            ok = SUCCEEDED(frame->SetPixelFormat(&format));
            if (ok && IsWICFormat(format, kFmt8bppIndexed)) asked = kFmt8bppIndexed;
            else ok = ok && IsWICFormat(format, asked);
        }
    }
    const TIEPixelFormat sent = asked == kFmt8bppIndexed ? ie8p : asked == kFmt24bppBGR ? ie24RGB : own;
    TIEBitmap* image = Bitmap;
    std::unique_ptr<TIEBitmap> copy;
    if (ok && sent != own) {
        copy = std::make_unique<TIEBitmap>();
        copy->Assign(Bitmap);
        copy->SetPixelFormat(sent);
        image = copy.get();
        ok = image->GetPixelFormat() == sent;
    }
    if (ok && sent == ie8p) ok = SetFramePalette(s.Session.Factory, frame, image);
    if (ok) {
        const int32_t rowLen = image->GetRowLen();
        std::vector<uint8_t> inverted(image->GetPixelFormat() == ieCMYK ? (size_t)rowLen : 0);
        for (int32_t row = 0; ok && row < image->GetHeight(); ++row) {
            uint8_t* line = image->GetScanline(row);
            if (!inverted.empty()) {
                for (int32_t i = 0; i < rowLen; ++i) inverted[(size_t)i] = (uint8_t)(255 - line[i]);
                line = inverted.data();
            }
            ok = SUCCEEDED(frame->WritePixels(1, (UINT)rowLen, (UINT)rowLen, line));
        }
    }
    if (ok) ok = SUCCEEDED(frame->Commit());
    frame->Release();
    SafeRelease(bag);
    return ok;
}
