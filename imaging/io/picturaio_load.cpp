// The per-format loaders of the I/O component: each opens the file (or takes the caller's
// stream), lets the format's codec read into IOBitmap and the parameter set, and then brings the
// component in line with what was read (alpha mask, resolution, file name and type, the attached
// viewer). Every load ends with DoFinishWork on every path; a codec failure leaves Aborting True
// and the bitmap as far as the codec got.
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

#include "bmpfilt.h"
#include "bmpfilt_ico.h"
#include "bmpfilt_pnm.h"
#include "bmpfilt_raw.h"
#include "iecoreutils_general.h"
#include "iecoreutils_streams.h"
#include "iedicom.h"
#include "iej2000.h"
#include "iemask.h"
#include "iepsd.h"
#include "ietgafil.h"
#include "jpegfilt.h"
#include "pcxfilter.h"
#include "picturaio.h"
#include "picturaio_thread.h"
#include "picturaio_finish.h"
#include "pngfilt.h"
#include "SysUtils.h"
#include "tiffilt_read.h"

namespace {

// Loaders open files for reading and keep writers out while they read.
constexpr uint16_t kLoadMode = fmOpenRead | fmShareDenyWrite;

// The file form of a loader with a body of its own: the file opened (read-only, writers kept
// out), the body run on it, Params->FileName set. With AbortWhileOpening, Aborting is True until
// the file is open (so it stays True when opening raises).
void LoadFileWith(TPicturaIO& IO, const std::wstring& FileName, bool AbortWhileOpening,
                  const std::function<void(TStream*)>& Body) {
    if (AbortWhileOpening) IO.Aborting = true;
    TIEWideFileStream file(FileName, kLoadMode);
    if (AbortWhileOpening) IO.Aborting = false;
    Body(&file);
    IO.Params->FileName = FileName;
}

// The icon and cursor readers take the same arguments.
using TIEIconReader = void (*)(TStream&, TIEBitmap*, TIOParamsVals&, bool, TIOProgressRecord&, TIEMask*&, bool);

// Frees a codec's alpha mask on every path.
struct TMaskHolder {
    TIEMask* Mask = nullptr;
    TMaskHolder() = default;
    TMaskHolder(const TMaskHolder&) = delete;
    TMaskHolder& operator=(const TMaskHolder&) = delete;
    ~TMaskHolder() { delete Mask; }
};

// The 12-byte stream header at the stream's position: True when its tag (the zero-terminated text
// of its first five bytes) is Tag; Length receives the byte count behind it. The position is
// left after the bytes read.
bool ReadStreamHeader(TStream& Stream, const char* Tag, int32_t& Length) {
    uint8_t header[IEStreamHeaderSize] = {};
    if (Stream.Read(header, IEStreamHeaderSize) != IEStreamHeaderSize) return false;
    const size_t tagLength = std::strlen(Tag);
    if (std::memcmp(header, Tag, tagLength) != 0 || header[tagLength] != 0) return false;
    Length = static_cast<int32_t>(static_cast<uint32_t>(header[8]) | static_cast<uint32_t>(header[9]) << 8 |
                                  static_cast<uint32_t>(header[10]) << 16 | static_cast<uint32_t>(header[11]) << 24);
    return true;
}

// Where an image of Length bytes behind a header ending at HeaderEnd ends, kept inside the
// stream (a length from the stream that is negative or too large cannot move it elsewhere).
int64_t EndOfImage(TStream& Stream, int64_t HeaderEnd, int32_t Length) {
    const int64_t size = Stream.GetSize();
    if (Length < 0) return HeaderEnd;
    return std::min(size, HeaderEnd + Length);
}

// The bytes from the stream's position to its end, at most Limit (the readers take 32-bit
// lengths); a length from the data never promises a reader more than the stream holds.
int32_t BytesLeft(TStream& Stream, int64_t Limit = std::numeric_limits<int32_t>::max()) {
    const int64_t left = Stream.GetSize() - Stream.GetPosition();
    return static_cast<int32_t>(std::clamp<int64_t>(std::min(left, Limit), 0, std::numeric_limits<int32_t>::max()));
}

// The alpha channel of a single PSD layer, placed where the layer lies on the document: the
// layer's alpha at (PosX, PosY) and 0 everywhere else.
void PlaceLayerAlpha(TIEBitmap* Image, TIEPSDLayer& Layer) {
    TIEBitmap* source = Layer.Bitmap->GetAlphaChannel();
    TIEBitmap* alpha = Image->GetAlphaChannel();
    alpha->Fill(0);
    const int32_t x0 = std::max(0, Layer.PosX), y0 = std::max(0, Layer.PosY);
    const int64_t x1 = std::min<int64_t>(alpha->GetWidth(), static_cast<int64_t>(Layer.PosX) + source->GetWidth());
    const int64_t y1 = std::min<int64_t>(alpha->GetHeight(), static_cast<int64_t>(Layer.PosY) + source->GetHeight());
    if (x1 <= x0 || y1 <= y0) return;
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* from = source->GetScanline(y - Layer.PosY) + (x0 - Layer.PosX);
        std::memcpy(alpha->GetScanline(y) + x0, from, static_cast<size_t>(x1 - x0));
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The steps every load shares
// ---------------------------------------------------------------------------------------------

void TPicturaIO::LoadRead(TStream& Stream, TIOFileType FileType, const std::wstring& FileName, uint32_t Steps,
                          const TIELoadReader& Read) {
    TIOProgressRecord progress = MakeProgressRecord();
    // A bitmap that had an alpha channel keeps none unless the file brings one.
    IOBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
    TMaskHolder mask;
    if (!Read(Stream, progress, mask.Mask)) return;
    if (mask.Mask) IOBitmap->GetAlphaChannel()->CopyFromTIEMask(mask.Mask);
    if (Steps & ielsCheckDPI) CheckDPI();
    if ((Steps & ielsAdjustDPI) && AutoAdjustDPI) AdjustDPI();
    Params->FileName = FileName;
    if (FileType != ioUnknown) Params->FileType = FileType;
    if (Steps & ielsViewDPI) UpdateViewDPI();
    if (Steps & ielsUpdate) Update();
}

void TPicturaIO::LoadStreamSteps(TStream& Stream, TIOFileType FileType, uint32_t Steps, const TIELoadReader& Read) {
    Aborting = false;
    IEWithFinishWork(*this, [&] {
        // Without a bitmap nothing can be loaded: the load fails.
        if (!MakeConsistentBitmap(0)) {
            Aborting = true;
            return;
        }
        Params->ResetInfo();
        LoadRead(Stream, FileType, L"", Steps, Read);
    });
}

void TPicturaIO::LoadFileSteps(const std::wstring& FileName, TIOFileType FileType, uint32_t Steps,
                               const TIELoadReader& Read) {
    Aborting = true;
    IEWithFinishWork(*this, [&] {
        if (!MakeConsistentBitmap(0)) return;
        Params->ResetInfo();
        TIEWideFileStream file(FileName, kLoadMode);
        Aborting = false;
        LoadRead(file, FileType, FileName, Steps, Read);
    });
}

// The formats whose loaders have no body of their own (PNG, JPEG, TGA, PXM, WBMP, DICOM): the
// codec call and the steps after it.
TPicturaIO::TIELoadReader TPicturaIO::InlineReader(TIOFileType FileType, bool FromFile) {
    switch (FileType) {
        case ioPNG: return [this](TStream& S, TIOProgressRecord& P, TIEMask*& M) { return ReadPNG(S, P, M); };
        case ioJPEG:
            if (!FromFile) return [this](TStream& S, TIOProgressRecord& P, TIEMask*& M) { return ReadJPEG(S, P, M); };
            // A file is read through a large buffer: the library asks for small pieces.
            return [this](TStream& S, TIOProgressRecord& P, TIEMask*& M) {
                TIEBufferedReadStream buffered(&S, 65536, true);
                return ReadJPEG(buffered, P, M);
            };
        case ioTGA:
            return [this](TStream& S, TIOProgressRecord& P, TIEMask*& M) {
                IEReadTGAStream(S, IOBitmap, *Params, P, false, M, false);
                return true;
            };
        case ioPXM:
            return [this](TStream& S, TIOProgressRecord& P, TIEMask*&) {
                IEReadPNMStream(S, IOBitmap, *Params, P, false);
                return true;
            };
        case ioWBMP:
            return [this](TStream& S, TIOProgressRecord& P, TIEMask*&) {
                IEReadWBMPStream(S, IOBitmap, *Params, P, false);
                return true;
            };
        default:   // ioDICOM
            return [this](TStream& S, TIOProgressRecord& P, TIEMask*&) {
                IEReadDICOMStream(&S, *Params, IOBitmap, P, false);
                return true;
            };
    }
}

namespace {
uint32_t InlineSteps(TIOFileType FileType) {
    switch (FileType) {
        // The viewer does not take a PXM's resolution (the format has none).
        case ioPXM: return ielsCheckDPI | ielsAdjustDPI | ielsUpdate;
        // A WBMP has no resolution either: only the defaults, no resampling.
        case ioWBMP: return ielsCheckDPI | ielsUpdate;
        // DICOM keeps the resolution its reader leaves.
        case ioDICOM: return ielsUpdate;
        default: return ielsAll;
    }
}
}  // namespace

void TPicturaIO::LoadStreamInline(TStream* Stream, TIOFileType FileType) {
    LoadStreamSteps(*Stream, FileType, InlineSteps(FileType), InlineReader(FileType, false));
}

void TPicturaIO::LoadFileInline(const std::wstring& FileName, TIOFileType FileType) {
    LoadFileSteps(FileName, FileType, InlineSteps(FileType), InlineReader(FileType, true));
}

// ---------------------------------------------------------------------------------------------
// BMP
// ---------------------------------------------------------------------------------------------

void TPicturaIO::SyncLoadFromStreamBMP(TStream* Stream) {
    LoadStreamSteps(*Stream, ioBMP, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*& Mask) {
        IEReadBMPStream(S, IOBitmap, 0, *Params, Progress, false, false, Mask, !Params->BMPHandleTransparency);
        return true;
    });
}

void TPicturaIO::LoadFromStreamBMP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamBMP, Stream)) return;
    SyncLoadFromStreamBMP(Stream);
}

void TPicturaIO::LoadFromFileBMP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileBMP, FileName)) return;
    LoadFileWith(*this, FileName, false, [this](TStream* S) { SyncLoadFromStreamBMP(S); });
}

// ---------------------------------------------------------------------------------------------
// PNG
// ---------------------------------------------------------------------------------------------

bool TPicturaIO::ReadPNG(TStream& Stream, TIOProgressRecord& Progress, TIEMask*&) {
    // The file's background colour (bKGD) becomes the component's; without one it stays.
    Params->PNGBackground = IEColorToRGB(GetBackground());
    IEReadPNGStream(Stream, IOBitmap, *Params, Progress, false);
    SetBackground(IERGBToColor(Params->PNGBackground));
    return true;
}

void TPicturaIO::LoadFromStreamPNG(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamPNG, Stream)) return;
    LoadStreamInline(Stream, ioPNG);
}
void TPicturaIO::LoadFromFilePNG(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFilePNG, FileName)) return;
    LoadFileInline(FileName, ioPNG);
}


// ---------------------------------------------------------------------------------------------
// JPEG
// ---------------------------------------------------------------------------------------------

bool TPicturaIO::ReadJPEG(TStream& Stream, TIOProgressRecord& Progress, TIEMask*&) {
    // A "JFIF" stream header is read whatever StreamHeaders says: the image follows it, and the
    // stream is left after the image. A plain JPEG starts where the header would have.
    const int64_t start = Stream.GetPosition();
    int32_t length = 0;
    const bool header = ReadStreamHeader(Stream, "JFIF", length);
    if (!header) Stream.SetPosition(start);
    IEReadJPEGStream(&Stream, nullptr, IOBitmap, *Params, Progress, false, false, true, false, true, true, -1,
                     Params->NativePixelFormat);
    if (header) Stream.SetPosition(EndOfImage(Stream, start + IEStreamHeaderSize, length));
    return true;
}

void TPicturaIO::LoadFromStreamJPEG(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamJPEG, Stream)) return;
    LoadStreamInline(Stream, ioJPEG);
}
void TPicturaIO::LoadFromFileJPEG(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileJPEG, FileName)) return;
    LoadFileInline(FileName, ioJPEG);
}

// ---------------------------------------------------------------------------------------------
// TIFF
// ---------------------------------------------------------------------------------------------

int32_t TPicturaIO::SyncLoadFromStreamTIFF(TStream* Stream, bool HeaderFlag) {
    int32_t pages = 0;
    LoadStreamSteps(*Stream, ioTIFF, ielsAll, [&](TStream& S, TIOProgressRecord& Progress, TIEMask*& Mask) {
        const int64_t start = S.GetPosition();
        TIEBufferedReadStream buffered(&S, 8192, IEBufferedStreamRelative);
        int32_t length = 0;
        if (HeaderFlag && !ReadStreamHeader(buffered, "TIFF", length)) {
            Aborting = true;
            return false;
        }
        IEReadTIFFStream(IOBitmap, &buffered, pages, *Params, Progress, false, Mask, !HeaderFlag, false, false, false);
        // The caller's stream is left after the image when a header gave its length.
        if (HeaderFlag) S.SetPosition(EndOfImage(S, start + IEStreamHeaderSize, length));
        return true;
    });
    return pages;
}

int32_t TPicturaIO::LoadFromStreamTIFF(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamTIFF, Stream)) return -1;
    return SyncLoadFromStreamTIFF(Stream, StreamHeaders);
}

int32_t TPicturaIO::LoadFromFileTIFF(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileTIFF, FileName)) return -1;
    int32_t pages = 0;
    LoadFileWith(*this, FileName, false, [&](TStream* S) { pages = SyncLoadFromStreamTIFF(S, false); });
    return pages;
}

// ---------------------------------------------------------------------------------------------
// PCX and DCX
// ---------------------------------------------------------------------------------------------

void TPicturaIO::SyncLoadFromStreamPCX(TStream* Stream, bool HeaderFlag) {
    LoadStreamSteps(*Stream, ioPCX, ielsAll, [&](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        if (!HeaderFlag) {
            IEReadPCXStream(S, IOBitmap, *Params, BytesLeft(S), Progress, false);
            return true;
        }
        const int64_t start = S.GetPosition();
        uint8_t header[IEStreamHeaderSize] = {};
        if (S.Read(header, IEStreamHeaderSize) != IEStreamHeaderSize || std::memcmp(header, "PCX", 3) != 0) {
            Aborting = true;
            return false;
        }
        if (header[3] == '2' && header[4] == 0) {
            // "PCX2": the image of the header's length follows; the stream is left after it.
            S.SetPosition(start);
            int32_t length = 0;
            ReadStreamHeader(S, "PCX2", length);
            IEReadPCXStream(S, IOBitmap, *Params, BytesLeft(S, std::max(length, 0)), Progress, false);
            S.SetPosition(EndOfImage(S, start + IEStreamHeaderSize, length));
            return true;
        }
        // The older 4-byte header: the image follows it and runs to the end of the stream.
        S.SetPosition(start + 4);
        IEReadPCXStream(S, IOBitmap, *Params, BytesLeft(S), Progress, false);
        return true;
    });
}

void TPicturaIO::LoadFromStreamPCX(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamPCX, Stream)) return;
    SyncLoadFromStreamPCX(Stream, StreamHeaders);
}

void TPicturaIO::LoadFromFilePCX(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFilePCX, FileName)) return;
    LoadFileWith(*this, FileName, false, [this](TStream* S) { SyncLoadFromStreamPCX(S, false); });
}

void TPicturaIO::SyncLoadFromStreamDCX(TStream* Stream) {
    LoadStreamSteps(*Stream, ioDCX, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        IEReadDCXStream(S, IOBitmap, *Params, Progress, false);
        return true;
    });
}

void TPicturaIO::LoadFromStreamDCX(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamDCX, Stream)) return;
    SyncLoadFromStreamDCX(Stream);
}

void TPicturaIO::LoadFromFileDCX(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileDCX, FileName)) return;
    LoadFileWith(*this, FileName, false, [this](TStream* S) { SyncLoadFromStreamDCX(S); });
}

// ---------------------------------------------------------------------------------------------
// ICO and CUR
// ---------------------------------------------------------------------------------------------

void TPicturaIO::LoadIconStream(TStream* Stream, TIOFileType FileType) {
    const TIEIconReader read = FileType == ioCUR ? IEReadCURStream : IEReadICOStream;
    LoadStreamSteps(*Stream, FileType, ielsAll, [this, read](TStream& S, TIOProgressRecord& Progress, TIEMask*& Mask) {
        read(S, IOBitmap, *Params, false, Progress, Mask, false);
        return true;
    });
}

void TPicturaIO::SyncLoadFromStreamICO(TStream* Stream) { LoadIconStream(Stream, ioICO); }
void TPicturaIO::LoadFromStreamICO(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamICO, Stream)) return;
    SyncLoadFromStreamICO(Stream);
}
void TPicturaIO::LoadFromFileICO(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileICO, FileName)) return;
    LoadFileWith(*this, FileName, true, [this](TStream* S) { SyncLoadFromStreamICO(S); });
}

void TPicturaIO::SyncLoadFromStreamCUR(TStream* Stream) { LoadIconStream(Stream, ioCUR); }
void TPicturaIO::LoadFromStreamCUR(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamCUR, Stream)) return;
    SyncLoadFromStreamCUR(Stream);
}
void TPicturaIO::LoadFromFileCUR(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileCUR, FileName)) return;
    LoadFileWith(*this, FileName, true, [this](TStream* S) { SyncLoadFromStreamCUR(S); });
}

// ---------------------------------------------------------------------------------------------
// TGA, PXM and WBMP
// ---------------------------------------------------------------------------------------------

void TPicturaIO::LoadFromStreamTGA(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamTGA, Stream)) return;
    LoadStreamInline(Stream, ioTGA);
}
void TPicturaIO::LoadFromFileTGA(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileTGA, FileName)) return;
    LoadFileInline(FileName, ioTGA);
}
void TPicturaIO::LoadFromStreamPXM(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamPXM, Stream)) return;
    LoadStreamInline(Stream, ioPXM);
}
void TPicturaIO::LoadFromFilePXM(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFilePXM, FileName)) return;
    LoadFileInline(FileName, ioPXM);
}
void TPicturaIO::LoadFromStreamWBMP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamWBMP, Stream)) return;
    LoadStreamInline(Stream, ioWBMP);
}
void TPicturaIO::LoadFromFileWBMP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileWBMP, FileName)) return;
    LoadFileInline(FileName, ioWBMP);
}

// ---------------------------------------------------------------------------------------------
// JPEG 2000 (JP2 files and bare code streams, one reader)
// ---------------------------------------------------------------------------------------------

void TPicturaIO::SyncLoadFromStreamJ2000(TStream* Stream) {
    // The file type, Update and DoFinishWork are the public members' (they know the variant).
    Aborting = false;
    if (!MakeConsistentBitmap(0)) {
        Aborting = true;
        return;
    }
    Params->ResetInfo();
    LoadRead(*Stream, ioUnknown, L"", ielsCheckDPI | ielsAdjustDPI | ielsViewDPI,
             [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
                 IEReadJ2000Stream(&S, IOBitmap, *Params, Progress, false);
                 return true;
             });
}

void TPicturaIO::LoadJ2000(TStream* Stream, const std::wstring& FileName, TIOFileType FileType) {
    IEWithFinishWork(*this, [&] {
        SyncLoadFromStreamJ2000(Stream);
        if (!IOBitmap) return;
        Params->FileName = FileName;
        Params->FileType = FileType;
        Update();
    });
}

void TPicturaIO::LoadJ2000File(const std::wstring& FileName, TIOFileType FileType) {
    LoadFileWith(*this, FileName, true, [&](TStream* S) { LoadJ2000(S, FileName, FileType); });
}

void TPicturaIO::LoadFromStreamJP2(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamJP2, Stream)) return;
    LoadJ2000(Stream, L"", ioJP2);
}
void TPicturaIO::LoadFromStreamJ2K(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamJ2K, Stream)) return;
    LoadJ2000(Stream, L"", ioJ2K);
}
void TPicturaIO::LoadFromFileJP2(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileJP2, FileName)) return;
    LoadJ2000File(FileName, ioJP2);
}
void TPicturaIO::LoadFromFileJ2K(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileJ2K, FileName)) return;
    LoadJ2000File(FileName, ioJ2K);
}

// ---------------------------------------------------------------------------------------------
// The library's raw bitmap (headerless pixels into the bitmap as the caller sized it)
// ---------------------------------------------------------------------------------------------

void TPicturaIO::SyncLoadFromStreamBMPRAW(TStream* Stream) {
    LoadStreamSteps(*Stream, ioRawBitmap, ielsUpdate, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        IEReadRawBitmapStream(S, IOBitmap, *Params, Progress);
        return true;
    });
}

void TPicturaIO::LoadFromStreamBMPRAW(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamBMPRAW, Stream)) return;
    SyncLoadFromStreamBMPRAW(Stream);
}

void TPicturaIO::LoadFromFileBMPRAW(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileBMPRAW, FileName)) return;
    if (FileName.empty()) return;
    LoadFileWith(*this, FileName, false, [this](TStream* S) { SyncLoadFromStreamBMPRAW(S); });
}

// ---------------------------------------------------------------------------------------------
// PSD: the merged image (the layers have no viewer to go to in this build)
// ---------------------------------------------------------------------------------------------

void TPicturaIO::SyncLoadFromStreamPSD(TStream* Stream) {
    LoadStreamSteps(*Stream, ioPSD, ielsAll, [this](TStream& S, TIOProgressRecord& Progress, TIEMask*&) {
        // Layers are asked for only by a viewer that takes them; without one the reader gives the
        // merged image (and the single layer of a one-layer document, for its transparency).
        TIEPSDLayerList layers;
        IEReadPSDStream(&S, IOBitmap, *Params, Progress, false, &layers);
        if (layers.size() == 1 && !Params->GetThumbnail && !IOBitmap->IsEmpty() && !layers[0]->Bitmap->IsEmpty())
            PlaceLayerAlpha(IOBitmap, *layers[0]);
        return true;
    });
}

void TPicturaIO::LoadFromStreamPSD(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamPSD, Stream)) return;
    SyncLoadFromStreamPSD(Stream);
}

void TPicturaIO::LoadFromFilePSD(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFilePSD, FileName)) return;
    LoadFileWith(*this, FileName, false, [this](TStream* S) { SyncLoadFromStreamPSD(S); });
}

// ---------------------------------------------------------------------------------------------
// Layered files (IEV, LYR, ALL)
// ---------------------------------------------------------------------------------------------

// These files go into the layers and vector objects of a viewer, and no such viewer is part of
// this build: the load fails (nothing is read) and says so by Aborting.
void TPicturaIO::LoadFromFileLayered(const std::wstring&, TIOFileType FileType) {
    Aborting = true;
    Params->FileType = FileType;
    DoFinishWork();
}

void TPicturaIO::LoadFromStreamLayered(TStream*, TIOFileType FileType) {
    Aborting = true;
    Params->FileType = FileType;
    DoFinishWork();
}

// ---------------------------------------------------------------------------------------------
// DICOM
// ---------------------------------------------------------------------------------------------

void TPicturaIO::LoadFromStreamDICOM(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromStreamDICOM, Stream)) return;
    LoadStreamInline(Stream, ioDICOM);
}
void TPicturaIO::LoadFromFileDICOM(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileDICOM, FileName)) return;
    LoadFileInline(FileName, ioDICOM);
}
