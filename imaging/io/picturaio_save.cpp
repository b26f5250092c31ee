// The per-format savers of TPicturaIO: each brings IOBitmap to a pixel format its writer takes,
// hands it with the parameter set and a progress record to the codec writer, and ends with
// DoFinishWork on every path. File forms create (or truncate) the file; stream forms write at the
// stream's position, the JPEG, PCX and TIFF ones behind a 12-byte stream header when
// StreamHeaders is set. Before a JPEG is written, the APP13 and APP1 markers kept from the last
// JPEG load are brought in line with the current resolution, IPTC, EXIF and XMP values.
#include "picturaio.h"
#include "picturaio_thread.h"

#include <cstring>
#include <memory>
#include <vector>

#include "bmpfilt.h"
#include "bmpfilt_ico.h"
#include "bmpfilt_pdf.h"
#include "bmpfilt_pnm.h"
#include "bmpfilt_ps.h"
#include "giffilter.h"
#include "iecoreutils_exif_tiff.h"
#include "iecoreutils_markers.h"
#include "iecoreutils_streams.h"
#include "iej2000.h"
#include "iemask.h"
#include "iepsd.h"
#include "iewic.h"
#include "ietgafil.h"
#include "jpegfilt.h"
#include "pcxfilter.h"
#include "picturaio_finish.h"
#include "pngfiltw.h"
#include "tiffilt_write.h"

namespace {

// The mode of TIEWideFileStream that creates or truncates the file (exclusive access).
constexpr uint16_t kCreateFile = 0xFFFF;

// The largest payload one JPEG marker holds (its 16-bit length counts itself).
constexpr size_t kMaxMarkerPayload = 65533;

constexpr uint8_t kAPP1 = 0xE1;
constexpr uint8_t kAPP13 = 0xED;

// Which formats a writer takes as they are; every other format becomes ie24RGB first.
enum class TPixelRule { Any, RGBor1g, RGBor1gor48 };

void ApplyPixelRule(TIEBitmap* Bitmap, TPixelRule Rule) {
    if (Rule == TPixelRule::Any) return;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format == ie24RGB || format == ie1g) return;
    if (Rule == TPixelRule::RGBor1gor48 && format == ieRGB48) return;
    Bitmap->SetPixelFormat(ie24RGB);
}

// The stream header in front of an image written to a stream: a zero-filled placeholder first,
// then, once the image is written, the tag (zero-padded to 8 bytes) and the little-endian count of
// the bytes behind the header; the position ends behind the image.
class TStreamHeaderWriter {
public:
    TStreamHeaderWriter(TStream* Stream, bool Enabled) : FStream(Stream), FEnabled(Enabled) {
        if (!FEnabled) return;
        FStart = FStream->GetPosition();
        const uint8_t zeros[IEStreamHeaderSize] = {};
        FStream->WriteBuffer(zeros, IEStreamHeaderSize);
    }
    void Finish(const char* Tag) {
        if (!FEnabled) return;
        const int64_t end = FStream->GetPosition();
        const uint32_t length = static_cast<uint32_t>(end - FStart - IEStreamHeaderSize);
        uint8_t header[IEStreamHeaderSize] = {};
        std::memcpy(header, Tag, std::strlen(Tag) < 8 ? std::strlen(Tag) : 8);
        for (int i = 0; i < 4; ++i) header[8 + i] = static_cast<uint8_t>(length >> (8 * i));
        FStream->SetPosition(FStart);
        FStream->WriteBuffer(header, IEStreamHeaderSize);
        FStream->SetPosition(end);
    }

private:
    TStream* FStream;
    bool FEnabled;
    int64_t FStart = 0;
};

uint32_t ReadBE32(const uint8_t* P) {
    return (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | uint32_t(P[3]);
}
void WriteBE32(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V >> 24);
    P[1] = uint8_t(V >> 16);
    P[2] = uint8_t(V >> 8);
    P[3] = uint8_t(V);
}
void WriteBE16(uint8_t* P, uint16_t V) {
    P[0] = uint8_t(V >> 8);
    P[1] = uint8_t(V);
}

// Sets the resolution resource (8BIM 0x03ED) of the first APP13 marker to DpiX x DpiY pixels per
// inch. The resource's name is a length byte and the name, padded to an even total; its 16 data
// bytes hold the horizontal resolution (16.16 fixed point), two unit words, the vertical
// resolution and two unit words. Nothing changes when the marker, the resource or its 16 bytes
// are missing.
void UpdateResolutionResource(TIEMarkerList& Markers, int32_t DpiX, int32_t DpiY) {
    const int32_t index = Markers.IndexOf(kAPP13);
    if (index < 0) return;
    const uint8_t* src = Markers.GetMarkerData(index);
    const size_t len = static_cast<size_t>(Markers.GetMarkerLength(index));
    for (size_t i = 0; i + 6 <= len; ++i) {
        if (std::memcmp(src + i, "8BIM", 4) != 0 || src[i + 4] != 0x03 || src[i + 5] != 0xED) continue;
        size_t p = i + 6;
        if (p >= len) return;
        size_t nameField = 1 + size_t(src[p]);
        if (nameField & 1) ++nameField;
        p += nameField;
        if (p + 4 > len) return;
        const uint32_t size = ReadBE32(src + p);
        p += 4;
        if (size < 16 || size > len - p) return;
        std::vector<uint8_t> data(src, src + len);
        uint8_t* r = data.data() + p;
        WriteBE32(r, static_cast<uint32_t>(DpiX) << 16);
        WriteBE16(r + 4, 1);
        WriteBE16(r + 6, 1);
        WriteBE32(r + 8, static_cast<uint32_t>(DpiY) << 16);
        WriteBE16(r + 12, 1);
        WriteBE16(r + 14, 1);
        Markers.SetMarker(index, kAPP13, data.data(), static_cast<uint16_t>(data.size()));
        return;
    }
}

// The first marker of MarkerType whose payload satisfies Match, or -1.
template <class TMatch>
int32_t FindMarker(const TIEMarkerList& Markers, uint8_t MarkerType, TMatch&& Match) {
    for (int32_t i = 0; i < Markers.GetCount(); ++i)
        if (Markers.GetMarkerType(i) == MarkerType && Match(Markers.GetMarkerData(i), Markers.GetMarkerLength(i)))
            return i;
    return -1;
}

// A block larger than one marker holds is left out rather than cut short: a truncated IPTC, EXIF
// or XMP block would be read back wrong.
bool FitsInMarker(size_t Length) { return Length > 0 && Length <= kMaxMarkerPayload; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// JPEG metadata markers
// ---------------------------------------------------------------------------------------------

void TPicturaIO::UpdateJPEGResolutionMarker() {
    TIEMarkerList& markers = *Params->JPEGMarkers;
    UpdateResolutionResource(markers, Params->DpiX, Params->DpiY);

    // IPTC: written anew when changed, or when there is IPTC but no marker came with the image.
    TIEIPTCInfoList& iptc = *Params->IPTCInfo;
    if (iptc.GetModified() || (iptc.GetCount() > 0 && markers.GetCount() == 0)) {
        std::vector<uint8_t> buffer;
        iptc.SaveToBuffer(buffer, true);
        const int32_t index = markers.IndexOf(kAPP13);
        if (buffer.empty()) {
            if (index >= 0) markers.DeleteMarker(index);
        } else if (FitsInMarker(buffer.size())) {
            const auto length = static_cast<uint16_t>(buffer.size());
            if (index >= 0)
                markers.SetMarker(index, kAPP13, buffer.data(), length);
            else
                markers.AddMarker(kAPP13, buffer.data(), length);
        }
    }

    if (Params->HasEXIFData) {
        std::unique_ptr<uint8_t[]> buffer;
        int32_t length = 0;
        IESaveEXIFToBuffer(Params.get(), buffer, length, true);
        const int32_t index = FindMarker(markers, kAPP1, [](const uint8_t* d, int32_t n) { return IEIsEXIFBlock(d, n); });
        if (index >= 0) markers.DeleteMarker(index);
        if (buffer && length > 0 && FitsInMarker(static_cast<size_t>(length)))
            markers.AddMarker(kAPP1, buffer.get(), static_cast<uint16_t>(length));
    }

    const int32_t xmpIndex =
        FindMarker(markers, kAPP1, [](const uint8_t* d, int32_t n) { return IEXMPPayload(d, n) != nullptr; });
    if (xmpIndex >= 0) markers.DeleteMarker(xmpIndex);
    if (!Params->XMPInfo.empty()) {
        const std::vector<uint8_t> block = IEBuildXMPMarker(Params->XMPInfo);
        if (FitsInMarker(block.size())) markers.AddMarker(kAPP1, block.data(), static_cast<uint16_t>(block.size()));
    }
}

// ---------------------------------------------------------------------------------------------
// The savers. A file form: Aborting True until the file exists, the pixel rule, the writer, then
// the file name and type into Params. A stream form: Aborting False, the pixel rule, the writer.
// ---------------------------------------------------------------------------------------------

namespace {

using TWriteProc = std::function<void(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress)>;

void SaveFileInline(TPicturaIO& IO, const std::wstring& FileName, TIOFileType FileType, TPixelRule Rule,
                    const TWriteProc& Write) {
    IO.Aborting = true;
    IEWithFinishWork(IO, [&] {
        if (!IO.MakeConsistentBitmap(0)) return;
        ApplyPixelRule(IO.GetIEBitmap(), Rule);
        TIEWideFileStream file(FileName, kCreateFile);
        IO.Aborting = false;
        TIOProgressRecord progress = IO.MakeProgressRecord();
        Write(IO, file, progress);
        IO.Params->FileName = FileName;
        IO.Params->FileType = FileType;
    });
}

void SaveStreamInline(TPicturaIO& IO, TStream& Stream, TPixelRule Rule, const TWriteProc& Write) {
    IO.Aborting = false;
    IEWithFinishWork(IO, [&] {
        // Without a bitmap nothing can be saved: the save fails.
        if (!IO.MakeConsistentBitmap(0)) {
            IO.Aborting = true;
            return;
        }
        ApplyPixelRule(IO.GetIEBitmap(), Rule);
        TIOProgressRecord progress = IO.MakeProgressRecord();
        Write(IO, Stream, progress);
    });
}

// The file form of the savers with a body of their own: SetAborting marks the save as failed
// until the file exists (the PS and PDF forms leave Aborting alone).
template <class TBody>
void SaveFileWithBody(TPicturaIO& IO, const std::wstring& FileName, TIOFileType FileType, bool SetAborting,
                      TBody&& Body) {
    if (SetAborting) IO.Aborting = true;
    TIEWideFileStream file(FileName, kCreateFile);
    Body(static_cast<TStream*>(&file));
    IO.Params->FileName = FileName;
    IO.Params->FileType = FileType;
}

// The body of those savers: Aborting False, the pixel rule, the writer, DoFinishWork.
void SaveBody(TPicturaIO& IO, TStream& Stream, TPixelRule Rule, const TWriteProc& Write) {
    SaveStreamInline(IO, Stream, Rule, Write);
}

void WritePNG(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    TIEBitmap* bitmap = IO.GetIEBitmap();
    if (bitmap->HasAlphaChannel()) {
        TIEMask mask;
        bitmap->GetAlphaChannel()->CopyToTIEMask(&mask);
        IEWritePNGStream(Stream, bitmap, *IO.Params, Progress, &mask);
    } else {
        IEWritePNGStream(Stream, bitmap, *IO.Params, Progress, nullptr);
    }
}

void WriteTGA(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    TIEBitmap* bitmap = IO.GetIEBitmap();
    if (bitmap->HasAlphaChannel()) {
        TIEMask mask;
        bitmap->GetAlphaChannel()->CopyToTIEMask(&mask);
        IEWriteTGAStream(Stream, bitmap, *IO.Params, Progress, &mask);
    } else {
        IEWriteTGAStream(Stream, bitmap, *IO.Params, Progress, nullptr);
    }
}

void WriteICO(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    TIOParamsVals& params = *IO.Params;
    int32_t count = 0;
    while (count < 16 && params.ICOSizes[count].Width > 0) ++count;
    IEWriteICOStream(Stream, IO.GetIEBitmap(), params, Progress, params.ICOSizes, params.ICOBitCount, count);
}

void WriteGIF(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWriteGIFStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

void WritePXM(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWritePNMStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

void WriteWBMP(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWriteWBMPStream(Stream, IO.GetIEBitmap(), Progress);
}

void WriteBMP(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWriteBMPStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress, IO.Params->BMPHandleTransparency);
}

void WritePS(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWritePSStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

void WritePDF(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWritePDFStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

// A DCX is written anew with the image as its only page: the page index left by the last DCX
// load would otherwise point past the pages of the new container and add nothing.
void WriteDCX(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    TIOParamsVals& params = *IO.Params;
    const int32_t index = params.DCXImageIndex;
    params.DCXImageIndex = 0;
    try {
        IEWriteDCXStream(Stream, IO.GetIEBitmap(), params, Progress);
    } catch (...) {
        params.DCXImageIndex = index;
        throw;
    }
    params.DCXImageIndex = index;
}

void WritePSD(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    TIEPSDLayerList layers;
    IEWritePSDStream(&Stream, *IO.Params, Progress, IO.GetIEBitmap(), &layers);
}

TWriteProc WriteJ2000(int32_t Variant) {
    return [Variant](TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
        IEWriteJ2000Stream(&Stream, IO.GetIEBitmap(), *IO.Params, Progress, Variant);
    };
}

// The JPEG writer after the markers are brought in line with the parameters.
void WriteJPEG(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IO.UpdateJPEGResolutionMarker();
    IEWriteJPEGStream(&Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

void WriteTIFF(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWriteTIFFStream(&Stream, false, IO.GetIEBitmap(), *IO.Params, Progress);
}

void WritePCX(TPicturaIO& IO, TStream& Stream, TIOProgressRecord& Progress) {
    IEWritePCXStream(Stream, IO.GetIEBitmap(), *IO.Params, Progress);
}

}  // namespace

// ---- TIFF, GIF, JPEG, PCX (the three with stream headers write them in their stream forms)

void TPicturaIO::SaveToFileTIFF(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileTIFF, FileName)) return;
    SaveFileInline(*this, FileName, ioTIFF, TPixelRule::Any, WriteTIFF);
}

void TPicturaIO::SaveToStreamTIFF(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamTIFF, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::Any, [this](TPicturaIO& IO, TStream& S, TIOProgressRecord& P) {
        TStreamHeaderWriter header(&S, StreamHeaders);
        WriteTIFF(IO, S, P);
        header.Finish("TIFF");
    });
}

void TPicturaIO::SaveToFileGIF(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileGIF, FileName)) return;
    SaveFileInline(*this, FileName, ioGIF, TPixelRule::Any, WriteGIF);
}

void TPicturaIO::SaveToStreamGIF(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamGIF, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::Any, WriteGIF);
}

void TPicturaIO::SaveToFileJPEG(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileJPEG, FileName)) return;
    SaveFileInline(*this, FileName, ioJPEG, TPixelRule::RGBor1g, WriteJPEG);
}

void TPicturaIO::SaveToStreamJPEG(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamJPEG, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1g, [this](TPicturaIO& IO, TStream& S, TIOProgressRecord& P) {
        TStreamHeaderWriter header(&S, StreamHeaders);
        WriteJPEG(IO, S, P);
        header.Finish("JFIF");
    });
}

void TPicturaIO::SaveToFilePCX(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePCX, FileName)) return;
    SaveFileInline(*this, FileName, ioPCX, TPixelRule::RGBor1g, WritePCX);
}

// A PCX that failed keeps the zeroed placeholder, so that a stream loader does not take it for an
// image.
void TPicturaIO::SaveToStreamPCX(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPCX, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1g, [this](TPicturaIO& IO, TStream& S, TIOProgressRecord& P) {
        TStreamHeaderWriter header(&S, StreamHeaders);
        WritePCX(IO, S, P);
        if (!Aborting) header.Finish("PCX2");
    });
}

// ---- BMP, ICO, PNG, TGA, PXM, WBMP

void TPicturaIO::SaveToFileBMP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileBMP, FileName)) return;
    SaveFileWithBody(*this, FileName, ioBMP, true, [this](TStream* S) { SyncSaveToStreamBMP(S); });
}

void TPicturaIO::SaveToStreamBMP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamBMP, Stream)) return;
    SyncSaveToStreamBMP(Stream);
}

void TPicturaIO::SyncSaveToStreamBMP(TStream* Stream) { SaveBody(*this, *Stream, TPixelRule::Any, WriteBMP); }

void TPicturaIO::SaveToFileICO(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileICO, FileName)) return;
    SaveFileInline(*this, FileName, ioICO, TPixelRule::RGBor1g, WriteICO);
}

void TPicturaIO::SaveToStreamICO(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamICO, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1g, WriteICO);
}

void TPicturaIO::SaveToFilePNG(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePNG, FileName)) return;
    SaveFileInline(*this, FileName, ioPNG, TPixelRule::Any, WritePNG);
}

void TPicturaIO::SaveToStreamPNG(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPNG, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::Any, WritePNG);
}

void TPicturaIO::SaveToFileTGA(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileTGA, FileName)) return;
    SaveFileInline(*this, FileName, ioTGA, TPixelRule::RGBor1g, WriteTGA);
}

void TPicturaIO::SaveToStreamTGA(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamTGA, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1g, WriteTGA);
}

void TPicturaIO::SaveToFilePXM(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePXM, FileName)) return;
    SaveFileInline(*this, FileName, ioPXM, TPixelRule::RGBor1gor48, WritePXM);
}

void TPicturaIO::SaveToStreamPXM(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPXM, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1gor48, WritePXM);
}

void TPicturaIO::SaveToFileWBMP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileWBMP, FileName)) return;
    SaveFileInline(*this, FileName, ioWBMP, TPixelRule::RGBor1g, WriteWBMP);
}

void TPicturaIO::SaveToStreamWBMP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamWBMP, Stream)) return;
    SaveStreamInline(*this, *Stream, TPixelRule::RGBor1g, WriteWBMP);
}

// ---- JPEG 2000

void TPicturaIO::SaveToFileJP2(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileJP2, FileName)) return;
    SaveFileWithBody(*this, FileName, ioJP2, true, [this](TStream* S) { SyncSaveToStreamJ2000(S, 0); });
}

void TPicturaIO::SaveToStreamJP2(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamJP2, Stream)) return;
    SyncSaveToStreamJ2000(Stream, 0);
}

void TPicturaIO::SaveToFileJ2K(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileJ2K, FileName)) return;
    SaveFileWithBody(*this, FileName, ioJ2K, true, [this](TStream* S) { SyncSaveToStreamJ2000(S, 1); });
}

void TPicturaIO::SaveToStreamJ2K(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamJ2K, Stream)) return;
    SyncSaveToStreamJ2000(Stream, 1);
}

void TPicturaIO::SyncSaveToStreamJ2000(TStream* Stream, int32_t Variant) {
    SaveBody(*this, *Stream, TPixelRule::RGBor1g, WriteJ2000(Variant));
}

// ---- PostScript and PDF (one-page documents)

void TPicturaIO::SaveToFilePS(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePS, FileName)) return;
    SaveFileWithBody(*this, FileName, ioPS, false, [this](TStream* S) { SyncSaveToStreamPS(S); });
}

void TPicturaIO::SaveToStreamPS(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPS, Stream)) return;
    SyncSaveToStreamPS(Stream);
}

void TPicturaIO::SyncSaveToStreamPS(TStream* Stream) { SaveBody(*this, *Stream, TPixelRule::RGBor1g, WritePS); }

void TPicturaIO::SaveToFilePDF(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePDF, FileName)) return;
    SaveFileWithBody(*this, FileName, ioPDF, false, [this](TStream* S) { SyncSaveToStreamPDF(S); });
}

void TPicturaIO::SaveToStreamPDF(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPDF, Stream)) return;
    SyncSaveToStreamPDF(Stream);
}

void TPicturaIO::SyncSaveToStreamPDF(TStream* Stream) { SaveBody(*this, *Stream, TPixelRule::RGBor1g, WritePDF); }

// ---- DCX (the container is written anew) and PSD

void TPicturaIO::SaveToFileDCX(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileDCX, FileName)) return;
    SaveFileWithBody(*this, FileName, ioDCX, true, [this](TStream* S) { SyncSaveToStreamDCX(S); });
}

void TPicturaIO::SaveToStreamDCX(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamDCX, Stream)) return;
    Stream->SetSize(0);
    SyncSaveToStreamDCX(Stream);
}

void TPicturaIO::SyncSaveToStreamDCX(TStream* Stream) { SaveBody(*this, *Stream, TPixelRule::Any, WriteDCX); }

void TPicturaIO::SaveToFilePSD(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFilePSD, FileName)) return;
    SaveFileWithBody(*this, FileName, ioPSD, true, [this](TStream* S) { SyncSaveToStreamPSD(S); });
}

void TPicturaIO::SaveToStreamPSD(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamPSD, Stream)) return;
    SyncSaveToStreamPSD(Stream);
}

// The merged image alone: no viewer with layers is attached in this system.
void TPicturaIO::SyncSaveToStreamPSD(TStream* Stream) { SaveBody(*this, *Stream, TPixelRule::Any, WritePSD); }

// ---- HD Photo (through the system's imaging component, where it has an encoder)

void TPicturaIO::SaveToFileHDP(const std::wstring& FileName) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFileHDP, FileName)) return;
    SaveFileWithBody(*this, FileName, ioHDP, true, [this](TStream* S) { SyncSaveToStreamHDP(S); });
}

void TPicturaIO::SaveToStreamHDP(TStream* Stream) {
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStreamHDP, Stream)) return;
    SyncSaveToStreamHDP(Stream);
}

void TPicturaIO::SyncSaveToStreamHDP(TStream* Stream) {
    SaveBody(*this, *Stream, TPixelRule::Any, [](TPicturaIO& IO, TStream& S, TIOProgressRecord& Progress) {
        IEWriteHDPhotoStream(&S, IO.GetIEBitmap(), *IO.Params, Progress);
    });
}
