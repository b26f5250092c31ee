#include "picturaio_formats.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "SysUtils.h"
#include "imaging/codecs/bmpfilt_ico.h"
#include "imaging/codecs/bmpfilt_pnm.h"
#include "imaging/codecs/bmpfilt_raw.h"
#include "imaging/codecs/pngfilt.h"
#include "imaging/codecs/iedicom.h"
#include "imaging/codecs/iej2000.h"
#include "imaging/codecs/iepsd.h"
#include "imaging/codecs/ieraw.h"
#include "imaging/codecs/ietgafil.h"
#include "imaging/codecs/iewic.h"
#include "imaging/codecs/jpegfilt.h"
#include "imaging/codecs/pcxfilter.h"
#include "imaging/codecs/tiffilt_read.h"

std::vector<std::unique_ptr<TIEFileFormatInfo>> IEFileFormats;
std::vector<TIEIOPlugin> IEIOPlugins;

namespace {

// The built-in rows carry procedures that do nothing: the component's own methods do the work.
void NoRead(TStream*, TIEBitmap*, TIOParamsVals&, TIOProgressRecord&, bool) {}
void NoWrite(TStream*, TIEBitmap*, TIOParamsVals&, TIOProgressRecord&) {}
bool NoProbe(TStream*, TIOFileType) { return false; }

constexpr TPreviewParams Page(TPreviewParamsPage P) { return static_cast<TPreviewParams>(1u << P); }

void AddBuiltIn(TIOFileType FileType, const wchar_t* Description, const wchar_t* Extensions, bool CanRead,
                bool CanWrite, TPreviewParams Pages) {
    auto info = std::make_unique<TIEFileFormatInfo>();
    info->FileType = FileType;
    info->Description = Description;
    info->ExtensionList = Extensions;
    info->BuiltIn = true;
    info->PreviewPages = Pages;
    info->ReadProc = CanRead ? NoRead : nullptr;
    info->WriteProc = CanWrite ? NoWrite : nullptr;
    info->ProbeProc = NoProbe;
    IEFileFormatAdd(std::move(info));
}

// The ";"-separated items of a list.
std::vector<std::wstring> SplitExtensions(const std::wstring& List) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= List.size() && !List.empty()) {
        const size_t end = List.find(L';', start);
        items.push_back(List.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return items;
}

// The first five bytes as zero-terminated text.
std::string ZText5(const uint8_t* Bytes) {
    char text[6] = {};
    std::memcpy(text, Bytes, 5);
    return std::string(text);
}

// The codecs' own probes, in the form of the probe table.
bool IsPNG(TStream* Stream) { return IEIsPNG(*Stream); }
bool IsICO(TStream* Stream) { return IEIsICO(*Stream); }
bool IsCUR(TStream* Stream) { return IEIsCUR(*Stream); }
bool IsTGA(TStream* Stream) { return IEIsTGA(*Stream); }
bool IsWMF(TStream* Stream) { return IEIsWMF(*Stream); }
bool IsEMF(TStream* Stream) { return IEIsEMF(*Stream); }

// The PNM header is read a byte at a time and may begin after any run of separators: it is looked
// for in the first 64 KB only, so that a large file of blanks is not read to its end.
bool IsPNM(TStream* Stream) {
    constexpr int32_t kWindow = 64 * 1024;
    const int64_t left = Stream->GetSize() - Stream->GetPosition();
    std::vector<uint8_t> head(static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(kWindow, left))));
    if (head.empty() || Stream->Read(head.data(), static_cast<int32_t>(head.size())) != static_cast<int32_t>(head.size()))
        return false;
    TMemoryStream window;
    window.Write(head.data(), static_cast<int32_t>(head.size()));
    window.SetPosition(0);
    return IEIsPNM(window);
}

// A DCX table that names no page holds no image: the magic alone, or the magic and the closing 0,
// is not taken for a DCX file.
bool IsDCX(TStream* Stream) {
    if (!IEIsDCX(*Stream)) return false;
    uint8_t head[8] = {};
    return Stream->Read(head, 8) == 8 && (head[4] | head[5] | head[6] | head[7]) != 0;
}

// A Targa file of version 2: its 18-byte header passes the TGA probe and the stream ends with the
// 26-byte Targa footer, whose last 18 bytes are the signature. Its first two bytes may also read as
// a PCX header (an image ID of 10 bytes and a colour-map type of 0 or 1); the footer tells it apart.
bool IsTGAWithFooter(TStream* Stream, int64_t Position) {
    static const char kSignature[] = "TRUEVISION-XFILE.";   // and its zero byte: 18 bytes
    const int64_t size = Stream->GetSize();
    if (size - Position < 18 + 26 || !IEIsTGA(*Stream)) return false;
    uint8_t tail[18] = {};
    Stream->SetPosition(size - 18);
    const bool read = Stream->Read(tail, 18) == 18;
    Stream->SetPosition(Position);
    return read && std::memcmp(tail, kSignature, 18) == 0;
}

// Runs one probe and puts the position back, whatever the probe did.
template <typename Probe>
bool Try(TStream* Stream, int64_t Position, Probe P) {
    Stream->SetPosition(Position);
    const bool found = P(Stream);
    Stream->SetPosition(Position);
    return found;
}

TIOFileType FindStreamFormat(TStream* Stream, int64_t Position) {
    const int64_t size = Stream->GetSize();
    uint8_t head[13] = {};
    if (size > 12) {
        // The stream headers of the component's own JPEG, PCX and TIFF savers, then magic bytes.
        Stream->Read(head, 13);
        Stream->SetPosition(Position);
        if (ZText5(head) == "JFIF") return ioJPEG;
        if (size > 13 && head[0] == 'G' && head[1] == 'I' && head[2] == 'F') return ioGIF;
        if (ZText5(head) == "PCX2") return ioPCX;
    } else if (size > 4) {
        Stream->Read(head, 5);
        Stream->SetPosition(Position);
    }
    if (size > 4 && ZText5(head) == "PCX") return ioPCX;   // the older 4-byte PCX header
    if (size > 14 && head[0] == 'B' && head[1] == 'M') return ioBMP;
    if (size > 128) {
        uint8_t pcx[2] = {};
        Stream->Read(pcx, 2);
        Stream->SetPosition(Position);
        if (pcx[0] == 10 && pcx[1] <= 5 && !IsTGAWithFooter(Stream, Position)) return ioPCX;
    }
    if (size > 12 && ZText5(head) == "TIFF") return ioTIFF;

    struct ProbeRow {
        bool (*Probe)(TStream*);
        TIOFileType FileType;
    };
    if (Try(Stream, Position, IEIsHDPhoto)) return ioHDP;
    if (Try(Stream, Position, IEIsTIFF) && !Try(Stream, Position, IEIsCameraRAWTIFF)) return ioTIFF;
    if (size > 8 && Try(Stream, Position, IsPNG)) return ioPNG;
    static const ProbeRow probes[] = {
        {IEIsDICOM, ioDICOM}, {IsICO, ioICO}, {IsCUR, ioCUR}, {IsTGA, ioTGA}, {IsPNM, ioPXM},
        {IEIsJP2, ioJP2}, {IEIsJ2K, ioJ2K}, {IEIsAVI, ioAVI}, {IsDCX, ioDCX}, {IsWMF, ioWMF},
        {IsEMF, ioEMF}, {IEIsPSD, ioPSD}, {IEIsObjectsStream, ioIEV}, {IEIsLayersStream, ioLYR},
        {IEIsAllStream, ioALL},
    };
    for (const ProbeRow& row : probes)
        if (Try(Stream, Position, row.Probe)) return row.FileType;
    Stream->SetPosition(Position);
    const int64_t jpegStart = IEFindJPEGStart(Stream, true);
    Stream->SetPosition(Position);
    if (jpegStart >= 0) return ioJPEG;
    for (const TIEIOPlugin& plugin : IEIOPlugins) {
        if (!plugin.Probe) continue;
        Stream->SetPosition(Position);
        const bool found = plugin.Probe(Stream, plugin.FileType);
        Stream->SetPosition(Position);
        if (found) return plugin.FileType;
    }
    if (Try(Stream, Position, IEIsCameraRAW)) return ioRAW;
    // A big-endian TIFF whose byte 8 is 0xBA was left to the camera-raw reader above; none took
    // it, so it is the TIFF it looks like.
    if (Try(Stream, Position, IEIsTIFFStructure)) return ioTIFF;
    return ioUnknown;
}

}  // namespace

void IEInitFileFormats() {
    IEFreeFileFormats();
    const TPreviewParams none = 0;
    AddBuiltIn(ioTIFF, L"TIFF Bitmap", L"TIF;TIFF;FAX;G3N;G3F;XIF", true, true, Page(ppTIFF));
    AddBuiltIn(ioGIF, L"CompuServe Bitmap", L"GIF", true, true, Page(ppGIF));
    AddBuiltIn(ioJPEG, L"JPEG Bitmap", L"JPG;JPEG;JPE;JIF", true, true, Page(ppJPEG));
    AddBuiltIn(ioPCX, L"PaintBrush", L"PCX", true, true, Page(ppPCX));
    AddBuiltIn(ioBMP, L"Windows Bitmap", L"BMP;DIB;RLE", true, true, Page(ppBMP));
    AddBuiltIn(ioRawBitmap, L"Raw Bitmap", L"", true, true, none);
    AddBuiltIn(ioICO, L"Windows Icon", L"ICO", true, true, none);
    AddBuiltIn(ioCUR, L"Windows Cursor", L"CUR", true, false, none);
    AddBuiltIn(ioPNG, L"Portable Network Graphics", L"PNG", true, true, Page(ppPNG));
    AddBuiltIn(ioDICOM, L"DICOM Bitmap", L"DCM;DIC;DICOM;V2", true, false, none);
    AddBuiltIn(ioWMF, L"Windows Metafile", L"WMF", true, false, none);
    AddBuiltIn(ioEMF, L"Enhanced Windows Metafile", L"EMF", true, false, none);
    AddBuiltIn(ioTGA, L"Targa Bitmap", L"TGA;TARGA;VDA;ICB;VST;PIX", true, true, Page(ppTGA));
    AddBuiltIn(ioPXM, L"Portable Pixmap, GrayMap, BitMap", L"PXM;PPM;PGM;PBM", true, true, none);
    AddBuiltIn(ioWBMP, L"Wireless Bitmap", L"WBMP", true, true, none);
    AddBuiltIn(ioJP2, L"JPEG2000", L"JP2", true, true, Page(ppJ2000));
    AddBuiltIn(ioJ2K, L"JPEG2000 Code Stream", L"J2K;JPC;J2C", true, true, Page(ppJ2000));
    AddBuiltIn(ioPS, L"PostScript Level 2", L"PS;EPS", false, true, none);
    AddBuiltIn(ioPDF, L"Adobe PDF", L"PDF", false, true, none);
    AddBuiltIn(ioDCX, L"Multipage PCX", L"DCX", true, true, none);
    AddBuiltIn(ioRAW, L"Camera RAW", L"CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false, none);
    AddBuiltIn(ioPSD, L"Photoshop PSD", L"PSD", true, true, none);
    AddBuiltIn(ioIEV, L"Vectorial objects", L"IEV", true, true, none);
    AddBuiltIn(ioLYR, L"Layers", L"LYR", true, true, none);
    AddBuiltIn(ioALL, L"Layers and objects", L"ALL", true, true, none);
    if (IEWICAvailable()) AddBuiltIn(ioHDP, L"Microsoft HD Photo", L"WDP;HDP", true, true, none);
}

void IEFreeFileFormats() { IEFileFormats.clear(); }

void IEFileFormatAdd(std::unique_ptr<TIEFileFormatInfo> Info) {
    if (Info) IEFileFormats.push_back(std::move(Info));
}

void IEFileFormatRemove(TIOFileType FileType) {
    for (auto it = IEFileFormats.begin(); it != IEFileFormats.end(); ++it) {
        if ((*it)->FileType == FileType) {
            IEFileFormats.erase(it);
            return;
        }
    }
}

TIEFileFormatInfo* IEFileFormatGetInfo(TIOFileType FileType) {
    for (const auto& info : IEFileFormats)
        if (info->FileType == FileType) return info.get();
    return nullptr;
}

std::wstring IEFileFormatGetExtension(TIOFileType FileType, int32_t Index) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(FileType);
    if (!info || Index < 0) return std::wstring();
    const std::vector<std::wstring> items = SplitExtensions(info->ExtensionList);
    return static_cast<size_t>(Index) < items.size() ? items[static_cast<size_t>(Index)] : std::wstring();
}

int32_t IEFileFormatExtensionCount(TIOFileType FileType) {
    int32_t count = 0;
    while (!IEFileFormatGetExtension(FileType, count).empty()) ++count;
    return count;
}

TIEFileFormatInfo* IEFileFormatGetInfoByExt(const std::wstring& Ext) {
    std::wstring ext = LowerCase(Ext);
    if (!ext.empty() && ext[0] == L'.') ext.erase(0, 1);
    if (ext.empty()) return nullptr;
    for (const auto& info : IEFileFormats)
        for (const std::wstring& item : SplitExtensions(info->ExtensionList))
            if (LowerCase(item) == ext) return info.get();
    return nullptr;
}

TIOFileType IEExtensionToFileType(const std::wstring& Ext) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfoByExt(LowerCase(Ext));
    return info ? info->FileType : ioUnknown;
}

bool IEIsAVI(TStream* Stream) {
    const int64_t position = Stream->GetPosition();
    uint8_t riff[4] = {}, skip[4], avi[4] = {};
    const bool read = Stream->Read(riff, 4) == 4 && Stream->Read(skip, 4) == 4 && Stream->Read(avi, 4) == 4;
    Stream->SetPosition(position);
    return read && std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(avi, "AVI ", 4) == 0;
}

TIOFileType IEFindStreamFormat(TStream* Stream) {
    const int64_t position = Stream->GetPosition();
    TIOFileType result = ioUnknown;
    try {
        result = FindStreamFormat(Stream, position);
    } catch (...) {
        // A stream that fails while probed holds no format we know.
    }
    try {
        Stream->SetPosition(position);
    } catch (...) {
    }
    return result;
}

TIOFileType IEFindFileFormat(const std::wstring& FileName, bool VerifyExtension) {
    if (FileName.empty() || !FileExists(FileName)) return ioUnknown;
    TIOFileType result = ioUnknown;
    try {
        TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        result = IEFindStreamFormat(&stream);
    } catch (...) {
        return ioUnknown;
    }
    const size_t dot = FileName.find_last_of(L'.');
    const size_t slash = FileName.find_last_of(L"\\/:");
    const std::wstring ext =
        dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? FileName.substr(dot) : std::wstring();
    const TIEFileFormatInfo* info = IEFileFormatGetInfoByExt(ext);
    // Camera raw files with a TIFF structure.
    if (info && info->FileType == ioRAW && result == ioTIFF) result = ioRAW;
    if (info && !info->BuiltIn) return info->FileType;
    if (VerifyExtension && result != ioUnknown) {
        if (!info)
            result = ioUnknown;
        else if (result == ioICO || result == ioCUR)
            result = info->FileType;
        else if (result != info->FileType)
            result = ioUnknown;
    }
    return result;
}

bool IEIsObjectsStream(TStream* Stream) {
    uint8_t b[4] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 4);
    Stream->SetPosition(pos);
    return got == 4 && std::memcmp(b, "IEV", 3) == 0 && b[3] >= '1' && b[3] <= 'S';
}

bool IEIsLayersStream(TStream* Stream) {
    uint8_t b[25] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 25);
    Stream->SetPosition(pos);
    return got == 25 && std::memcmp(b, "PICTURALAYERS", 13) == 0 && int32_t(ByteOrder::GetLE32(b + 13)) > 0;
}

bool IEIsAllStream(TStream* Stream) {
    uint8_t b[4] = {};
    const int64_t pos = Stream->GetPosition();
    const int32_t got = Stream->Read(b, 4);
    Stream->SetPosition(pos);
    if (got != 4) return false;
    const uint32_t offset = ByteOrder::GetLE32(b);
    if (offset > Stream->GetSize()) return false;
    Stream->SetPosition(pos + 4);
    const bool layers = IEIsLayersStream(Stream);
    Stream->SetPosition(pos + offset);
    const bool objects = layers && IEIsObjectsStream(Stream);
    Stream->SetPosition(pos);
    return objects;
}
