// The generic entry points of TPicturaIO: loading by file name (format from the content or the
// extension), by stream and by memory buffer, reading only the parameters, and saving by
// extension, file type or stream. Each picks the component's per-format method for a built-in
// format and calls the row's own codec procedures for a format that a plug-in added to the
// format table.
//
// Built-in rows of the format table carry placeholder procedures that do nothing; they are never
// called here. A built-in type that has no per-format method of its own (the layer and vector-
// object files are written by the viewer, for instance) reports failure through Aborting instead
// of "loading" or "saving" nothing, and no empty file is created for it.
#include "picturaio.h"
#include "picturaio_finish.h"
#include "picturaio_thread.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "SysUtils.h"
#include "imaging/codecs/bmpfilt.h"
#include "imaging/codecs/bmpfilt_ico.h"
#include "imaging/codecs/bmpfilt_pnm.h"
#include "imaging/codecs/giffilter.h"
#include "imaging/codecs/iedicom.h"
#include "imaging/codecs/iej2000.h"
#include "imaging/codecs/iepsd.h"
#include "imaging/codecs/ieraw.h"
#include "imaging/codecs/ietgafil.h"
#include "imaging/codecs/jpegfilt.h"
#include "imaging/codecs/pcxfilter.h"
#include "imaging/codecs/pngfilt.h"
#include "imaging/codecs/tiffilt_read.h"
#include "imaging/codecs/iewic.h"
#include "iecoreutils_streams.h"
#include "iecoreutils_text.h"
#include "iemask.h"

namespace {

constexpr uint16_t kOpenReadDenyWrite = fmOpenRead | fmShareDenyWrite;
constexpr uint16_t kCreateFile = 0xFFFF;

std::wstring LowerExtension(const std::wstring& FileName) {
    std::wstring ext;
    IEExtractFileExtW(FileName, true, ext);
    return LowerCase(ext);
}

// The per-format file loader of a built-in type; false when the type has none.
bool CallFileLoader(TPicturaIO& IO, TIOFileType FileType, const std::wstring& FileName) {
    switch (FileType) {
        case ioTIFF: IO.LoadFromFileTIFF(FileName); return true;
        case ioGIF: IO.LoadFromFileGIF(FileName); return true;
        case ioJPEG: IO.LoadFromFileJPEG(FileName); return true;
        case ioPCX: IO.LoadFromFilePCX(FileName); return true;
        case ioBMP: IO.LoadFromFileBMP(FileName); return true;
        case ioICO: IO.LoadFromFileICO(FileName); return true;
        case ioCUR: IO.LoadFromFileCUR(FileName); return true;
        case ioPNG: IO.LoadFromFilePNG(FileName); return true;
        case ioWMF:
        case ioEMF: IO.ImportMetafileFromFile(FileName, -1, -1, true); return true;
        case ioTGA: IO.LoadFromFileTGA(FileName); return true;
        case ioPXM: IO.LoadFromFilePXM(FileName); return true;
        case ioJP2: IO.LoadFromFileJP2(FileName); return true;
        case ioJ2K: IO.LoadFromFileJ2K(FileName); return true;
        case ioWBMP: IO.LoadFromFileWBMP(FileName); return true;
        case ioDCX: IO.LoadFromFileDCX(FileName); return true;
        case ioRAW: IO.LoadFromFileRAW(FileName); return true;
        case ioRawBitmap: IO.LoadFromFileBMPRAW(FileName); return true;
        case ioPSD: IO.LoadFromFilePSD(FileName); return true;
        case ioIEV:
        case ioLYR:
        case ioALL: IO.LoadFromFileLayered(FileName, FileType); return true;
        case ioDICOM: IO.LoadFromFileDICOM(FileName); return true;
        case ioHDP: IO.LoadFromFileHDP(FileName); return true;
        default: return false;
    }
}

// The per-format stream loader of a built-in type; false when the type has none. The metafiles
// are imported by both the detecting and the given-format loader; the headerless raw bitmap and
// WBMP, which have no signature, only when the caller names the type.
bool CallStreamLoader(TPicturaIO& IO, TIOFileType FileType, TStream* Stream, bool TypeGiven) {
    switch (FileType) {
        case ioTIFF: IO.LoadFromStreamTIFF(Stream); return true;
        case ioGIF: IO.LoadFromStreamGIF(Stream); return true;
        case ioJPEG: IO.LoadFromStreamJPEG(Stream); return true;
        case ioPCX: IO.LoadFromStreamPCX(Stream); return true;
        case ioBMP: IO.LoadFromStreamBMP(Stream); return true;
        case ioICO: IO.LoadFromStreamICO(Stream); return true;
        case ioCUR: IO.LoadFromStreamCUR(Stream); return true;
        case ioPNG: IO.LoadFromStreamPNG(Stream); return true;
        case ioWMF:
        case ioEMF: IO.ImportMetafileFromStream(Stream, -1, -1, true); return true;
        case ioTGA: IO.LoadFromStreamTGA(Stream); return true;
        case ioPXM: IO.LoadFromStreamPXM(Stream); return true;
        case ioJP2: IO.LoadFromStreamJP2(Stream); return true;
        case ioJ2K: IO.LoadFromStreamJ2K(Stream); return true;
        case ioWBMP:
            if (!TypeGiven) return false;
            IO.LoadFromStreamWBMP(Stream);
            return true;
        case ioRawBitmap:
            if (!TypeGiven) return false;
            IO.LoadFromStreamBMPRAW(Stream);
            return true;
        case ioDCX: IO.LoadFromStreamDCX(Stream); return true;
        case ioRAW: IO.LoadFromStreamRAW(Stream); return true;
        case ioPSD: IO.LoadFromStreamPSD(Stream); return true;
        case ioIEV:
        case ioLYR:
        case ioALL: IO.LoadFromStreamLayered(Stream, FileType); return true;
        case ioDICOM: IO.LoadFromStreamDICOM(Stream); return true;
        case ioHDP: IO.LoadFromStreamHDP(Stream); return true;
        default: return false;
    }
}

// The file savers, in the order in which a file type or an extension picks them.
struct TFileSaverRule {
    TIOFileType FileType;
    const wchar_t* Extensions;   // ";"-separated, with their dots, ending with ";"
    void (TPicturaIO::*Saver)(const std::wstring&);
};

const TFileSaverRule kFileSavers[] = {
    {ioJPEG, L".jpg;.jpeg;.jpe;.jif;", &TPicturaIO::SaveToFileJPEG},
    {ioJP2, L".jp2;", &TPicturaIO::SaveToFileJP2},
    {ioJ2K, L".j2k;.jpc;.j2c;", &TPicturaIO::SaveToFileJ2K},
    {ioPCX, L".pcx;", &TPicturaIO::SaveToFilePCX},
    {ioDCX, L".dcx;", &TPicturaIO::SaveToFileDCX},
    {ioGIF, L".gif;", &TPicturaIO::SaveToFileGIF},
    {ioTIFF, L".tif;.tiff;.fax;.g3f;.g3n;", &TPicturaIO::SaveToFileTIFF},
    {ioPNG, L".png;", &TPicturaIO::SaveToFilePNG},
    {ioBMP, L".bmp;.dib;.rle;", &TPicturaIO::SaveToFileBMP},
    {ioTGA, L".tga;.targa;.vda;.icb;.vst;.win;", &TPicturaIO::SaveToFileTGA},
    {ioPXM, L".pxm;.pbm;.pgm;.ppm;", &TPicturaIO::SaveToFilePXM},
    {ioICO, L".ico;", &TPicturaIO::SaveToFileICO},
    {ioWBMP, L".wbmp;", &TPicturaIO::SaveToFileWBMP},
    {ioPS, L".ps;.eps;", &TPicturaIO::SaveToFilePS},
    {ioPDF, L".pdf;", &TPicturaIO::SaveToFilePDF},
    {ioPSD, L".psd;", &TPicturaIO::SaveToFilePSD},
    {ioHDP, L".hdp;.wdp;", &TPicturaIO::SaveToFileHDP},
};

bool ExtensionInList(const std::wstring& Ext, const wchar_t* List) {
    return !Ext.empty() && std::wstring(List).find(Ext + L";") != std::wstring::npos;
}

// The per-format stream saver of a type; null when the type has none.
void (TPicturaIO::*StreamSaver(TIOFileType FileType))(TStream*) {
    switch (FileType) {
        case ioTIFF: return &TPicturaIO::SaveToStreamTIFF;
        case ioGIF: return &TPicturaIO::SaveToStreamGIF;
        case ioJPEG: return &TPicturaIO::SaveToStreamJPEG;
        case ioPCX: return &TPicturaIO::SaveToStreamPCX;
        case ioBMP: return &TPicturaIO::SaveToStreamBMP;
        case ioICO: return &TPicturaIO::SaveToStreamICO;
        case ioPNG: return &TPicturaIO::SaveToStreamPNG;
        case ioTGA: return &TPicturaIO::SaveToStreamTGA;
        case ioPXM: return &TPicturaIO::SaveToStreamPXM;
        case ioJP2: return &TPicturaIO::SaveToStreamJP2;
        case ioJ2K: return &TPicturaIO::SaveToStreamJ2K;
        case ioWBMP: return &TPicturaIO::SaveToStreamWBMP;
        case ioPS: return &TPicturaIO::SaveToStreamPS;
        case ioPDF: return &TPicturaIO::SaveToStreamPDF;
        case ioDCX: return &TPicturaIO::SaveToStreamDCX;
        case ioPSD: return &TPicturaIO::SaveToStreamPSD;
        case ioHDP: return &TPicturaIO::SaveToStreamHDP;
        default: return nullptr;
    }
}

// A plug-in row's reader, or null: the procedures of built-in rows are placeholders.
TIEReadImageProc PluginReader(const TIEFileFormatInfo* Info) {
    return Info && !Info->BuiltIn ? Info->ReadProc : nullptr;
}
TIEWriteImageProc PluginWriter(const TIEFileFormatInfo* Info) {
    return Info && !Info->BuiltIn ? Info->WriteProc : nullptr;
}

// Writers of a plug-in row get the image as 24-bit RGB unless it is that or black and white.
void ConvertForWriter(TIEBitmap* Bitmap) {
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format != ie24RGB && format != ie1g) Bitmap->SetPixelFormat(ie24RGB);
}

}  // namespace

// ---- loading -------------------------------------------------------------------------------------

void TPicturaIO::LoadVideoFrame(const std::wstring& FileName, TIOFileType FileType) {
    const bool avi = FileType == ioAVI;
    if (avi)
        OpenAVIFile(FileName);
    else
        OpenMediaFile(FileName);
    // A file that does not open still finishes once.
    if (Aborting) {
        if (avi)
            CloseAVIFile();
        else
            CloseMediaFile();
        DoFinishWork();
        return;
    }
    if (avi) {
        LoadFromAVIFrame(Params->ImageIndex);
        CloseAVIFile();
    } else {
        LoadMediaFileFrame(Params->ImageIndex);
        CloseMediaFile();
    }
    Params->FileName = FileName;
    Params->FileType = FileType;
}

void TPicturaIO::LoadFromFile(const std::wstring& FileName) {
    const TIOFileType fileType = IEFindFileFormat(FileName, false);
    // Content the table cannot load (a video recognised by its signature) goes the way of an
    // unrecognised file, so that the load reports its failure.
    if (fileType != ioUnknown && IEFileFormatGetInfo(fileType))
        LoadFromFileFormat(FileName, fileType);
    else
        LoadFromFileByExtension(FileName, -1);
}

void TPicturaIO::LoadFromFileByExtension(const std::wstring& FileName, TIOFileType FileType) {
    if (!IOBitmap) return;
    if (!FileName.empty() && IEGetURLType(FileName) != 0) {
        LoadFromURL(FileName);
        return;
    }
    const std::wstring ext = LowerExtension(FileName);
    if (FileName.empty()) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    // A frame of a video: the one of Params->ImageIndex. The whole open, load and close goes to a
    // background thread together, so that the file stays open while the frame loads.
    const bool media = FileType <= 0 && (ext == L".wmv" || ext == L".mpg" || ext == L".mpeg") &&
                       !IEFileFormatGetInfoByExt(ext);
    if (ext == L".avi" || media) {
        if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileByExtension, FileName, FileType)) return;
        LoadVideoFrame(FileName, ext == L".avi" ? ioAVI : ext == L".wmv" ? ioWMV : ioMPEG);
        return;
    }
    if (FileType > 0) {
        LoadFromFileFormat(FileName, FileType);
        return;
    }
    // No row for the extension: the media files (".wmv", ".mpg", ".mpeg") among them.
    const TIEFileFormatInfo* info = IEFileFormatGetInfoByExt(ext);
    if (!info) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    if (info->BuiltIn && CallFileLoader(*this, info->FileType, FileName)) return;

    // A plug-in row, or a built-in type without a file loader.
    Params->FileName.clear();
    Params->FileType = ioUnknown;
    Params->ResetInfo();
    const TIEReadImageProc reader = PluginReader(info);
    if (!reader) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileByExtension, FileName, FileType)) return;
    Aborting = true;
    if (!MakeConsistentBitmap(0)) return;
    {
        TIEWideFileStream stream(FileName, kOpenReadDenyWrite);
        Aborting = false;
        TIOProgressRecord progress = MakeProgressRecord();
        Params->FileName = FileName;
        Params->FileType = info->FileType;
        try {
            reader(&stream, IOBitmap, *Params, progress, false);
        } catch (...) {
            Aborting = true;
        }
        if (!Aborting) {
            if (AutoAdjustDPI) AdjustDPI();
            UpdateViewDPI();
        }
        Update();
    }
    DoFinishWork();
}

void TPicturaIO::LoadFromFileFormat(const std::wstring& FileName, TIOFileType FileType) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(FileType);
    if (!info) return;
    if (info->BuiltIn) {
        if (!CallFileLoader(*this, FileType, FileName)) LoadFromFileByExtension(FileName, -1);
        return;
    }
    Params->FileName.clear();
    Params->FileType = ioUnknown;
    Params->ResetInfo();
    const TIEReadImageProc reader = info->ReadProc;
    if (!reader) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    if (IEStartIOThread(*this, &TPicturaIO::LoadFromFileFormat, FileName, FileType)) return;
    Aborting = true;
    if (!MakeConsistentBitmap(0)) {
        DoFinishWork();
        return;
    }
    IEWithFinishWork(*this, [&] {
        TIEWideFileStream stream(FileName, kOpenReadDenyWrite);
        Aborting = false;
        TIOProgressRecord progress = MakeProgressRecord();
        Params->FileName = FileName;
        Params->FileType = info->FileType;
        reader(&stream, IOBitmap, *Params, progress, false);
        if (AutoAdjustDPI) AdjustDPI();
        UpdateViewDPI();
        Update();
    });
}

void TPicturaIO::LoadFromStream(TStream* Stream) {
    const int64_t position = Stream->GetPosition();
    const TIOFileType fileType = IEFindStreamFormat(Stream);
    if (fileType == ioUnknown || !IEFileFormatGetInfo(fileType)) {
        // Content that is not an image, or that no row can load (a video): the load fails, as a
        // file of such content does, and the image and the parameters stay as they were.
        Stream->SetPosition(position);
        Aborting = true;
        DoFinishWork();
        return;
    }
    Stream->SetPosition(position);
    LoadStreamOfType(Stream, fileType, false);
}

void TPicturaIO::LoadFromStreamFormat(TStream* Stream, TIOFileType FileType) {
    if (FileType == ioUnknown) {
        LoadFromStream(Stream);
        return;
    }
    LoadStreamOfType(Stream, FileType, true);
}

void TPicturaIO::LoadStreamOfType(TStream* Stream, TIOFileType FileType, bool TypeGiven) {
    const TIEFileFormatInfo* info = IEFileFormatGetInfo(FileType);
    if (!info) return;
    if (info->BuiltIn) {
        if (!CallStreamLoader(*this, FileType, Stream, TypeGiven)) {
            // A built-in type that cannot be read from a stream here (PostScript, PDF).
            Aborting = true;
            DoFinishWork();
        }
        return;
    }
    // A plug-in row: the worker repeats the caller's own operation.
    if (TypeGiven ? IEStartIOThread(*this, &TPicturaIO::LoadFromStreamFormat, Stream, FileType)
                  : IEStartIOThread(*this, &TPicturaIO::LoadFromStream, Stream))
        return;
    Params->ResetInfo();
    Params->FileName.clear();
    Params->FileType = ioUnknown;
    if (!info->ReadProc) {
        Aborting = true;
        DoFinishWork();
        return;
    }
    Aborting = false;
    if (!MakeConsistentBitmap(0)) {
        // No bitmap to load into.
        Aborting = true;
        DoFinishWork();
        return;
    }
    Params->FileType = info->FileType;
    TIOProgressRecord progress = MakeProgressRecord();
    info->ReadProc(Stream, IOBitmap, *Params, progress, false);
    if (AutoAdjustDPI) AdjustDPI();
    UpdateViewDPI();
    Update();
    DoFinishWork();
}

void TPicturaIO::LoadFromBuffer(const void* Buffer, int32_t BufferSize, TIOFileType FileType) {
    if (!Buffer || BufferSize <= 0) {
        Aborting = true;
        return;
    }
    if (AsyncDecision()) {
        // The stream over the bytes must outlive this call: the worker gets its own copy and
        // keeps it until the load has ended.
        auto copy = std::make_unique<TMemoryStream>();
        copy->WriteBuffer(Buffer, BufferSize);
        copy->SetPosition(0);
        TStream* stream = copy.get();
        auto* thread = new TIEIOThread(this, &TPicturaIO::LoadFromStreamFormat, stream, FileType);
        thread->OwnedStream = std::move(copy);
        thread->Start();
        return;
    }
    TIEMemStream stream(Buffer, BufferSize);
    if (FileType == ioUnknown)
        LoadFromStream(&stream);
    else
        LoadFromStreamFormat(&stream, FileType);
}

// ---- parameters only -----------------------------------------------------------------------------

namespace {

// Calls the reader of FileType in preview mode; false when this build has no reader for it.
bool ReadParams(TPicturaIO& IO, TStream& Stream, TIOFileType FileType) {
    TIOParamsVals& params = *IO.Params;
    TIEBitmap* bitmap = IO.GetIEBitmap();
    TIOProgressRecord progress;
    progress.Aborting = &IO.Aborting;
    TIEMask* alpha = nullptr;
    struct MaskGuard {
        TIEMask*& Mask;
        ~MaskGuard() { delete Mask; }
    } maskGuard{alpha};
    const int32_t size = static_cast<int32_t>(std::min<int64_t>(Stream.GetSize(), INT32_MAX));
    switch (FileType) {
        case ioTIFF: {
            int32_t count = 0;
            IEReadTIFFStream(bitmap, &Stream, count, params, progress, true, alpha, true, false, false, false);
            return true;
        }
        case ioGIF: {
            int32_t count = 0;
            IEReadGIFStream(Stream, bitmap, count, params, progress, true, alpha, false);
            return true;
        }
        case ioJPEG:
            IEReadJPEGStream(&Stream, nullptr, bitmap, params, progress, true, false, true, false, true, true, -1,
                             params.NativePixelFormat);
            return true;
        case ioPCX: IEReadPCXStream(Stream, bitmap, params, size, progress, true); return true;
        case ioBMP:
            IEReadBMPStream(Stream, bitmap, size, params, progress, true, false, alpha, !params.BMPHandleTransparency);
            return true;
        case ioICO: IEReadICOStream(Stream, bitmap, params, true, progress, alpha, false); return true;
        case ioCUR: IEReadCURStream(Stream, bitmap, params, true, progress, alpha, false); return true;
        case ioPNG: IEReadPNGStream(Stream, bitmap, params, progress, true); return true;
        case ioTGA: IEReadTGAStream(Stream, bitmap, params, progress, true, alpha, false); return true;
        case ioPXM: IEReadPNMStream(Stream, bitmap, params, progress, true); return true;
        case ioJP2:
        case ioJ2K: IEReadJ2000Stream(&Stream, bitmap, params, progress, true); return true;
        case ioWBMP: IEReadWBMPStream(Stream, bitmap, params, progress, true); return true;
        case ioDCX: IEReadDCXStream(Stream, bitmap, params, progress, true); return true;
        case ioDICOM: IEReadDICOMStream(&Stream, params, bitmap, progress, true); return true;
        case ioPSD: IEReadPSDStream(&Stream, nullptr, params, progress, false, nullptr); return true;
        case ioRAW: IEReadCameraRAWStream(&Stream, bitmap, params, progress, true); return true;
        case ioHDP: IEReadHDPhotoStream(&Stream, bitmap, params, progress, true); return true;
        case ioWMF:
        case ioEMF: IO.ParamsFromMetafileStream(&Stream); return true;
        default: break;
    }
    const TIEReadImageProc reader = PluginReader(IEFileFormatGetInfo(FileType));
    if (!reader) return false;
    reader(&Stream, bitmap, params, progress, true);
    return true;
}

}  // namespace

void TPicturaIO::ParamsFromFileFormat(const std::wstring& FileName, TIOFileType FileType) {
    Params->FileType = FileType;
    try {
        Params->ResetInfo();
        Aborting = true;
        TIEWideFileStream file(FileName, kOpenReadDenyWrite);
        TIEBufferedReadStream stream(&file, 8192, IEBufferedStreamRelative);
        Aborting = false;
        // A type with nothing to read it reports that nothing was read.
        if (!ReadParams(*this, stream, FileType)) Aborting = true;
    } catch (...) {
        Params->FileType = ioUnknown;
    }
    if (Aborting) Params->FileType = ioUnknown;
    Params->FileName = FileName;
    DoFinishWork();
}

void TPicturaIO::ParamsFromStreamFormat(TStream* Stream, TIOFileType FileType) {
    Params->FileType = FileType;
    Aborting = false;
    try {
        Params->ResetInfo();
        TIEBufferedReadStream stream(Stream, 8192, IEBufferedStreamRelative);
        if (!ReadParams(*this, stream, FileType)) Aborting = true;
    } catch (...) {
        Params->FileType = ioUnknown;
    }
    if (Aborting) Params->FileType = ioUnknown;
    DoFinishWork();
}

void TPicturaIO::ParamsFromFile(const std::wstring& FileName) {
    try {
        ParamsFromFileFormat(FileName, IEFindFileFormat(FileName, true));
    } catch (...) {
        Params->FileType = ioUnknown;
    }
}

void TPicturaIO::ParamsFromStream(TStream* Stream) {
    try {
        ParamsFromStreamFormat(Stream, IEFindStreamFormat(Stream));
    } catch (...) {
        Params->FileType = ioUnknown;
    }
}

void TPicturaIO::ParamsFromBuffer(const void* Buffer, int32_t BufferSize, TIOFileType FileType) {
    if (!Buffer || BufferSize <= 0) {
        Aborting = true;
        return;
    }
    TIEMemStream stream(Buffer, BufferSize);
    if (FileType == ioUnknown)
        ParamsFromStream(&stream);
    else
        ParamsFromStreamFormat(&stream, FileType);
}

// ---- saving --------------------------------------------------------------------------------------

void TPicturaIO::SaveToFile(const std::wstring& FileName, TIOFileType FileType) {
    if (FileName.empty()) return;
    const std::wstring ext = LowerExtension(FileName);
    for (const TFileSaverRule& rule : kFileSavers) {
        if (FileType == rule.FileType || ExtensionInList(ext, rule.Extensions)) {
            (this->*rule.Saver)(FileName);
            return;
        }
    }
    const TIEFileFormatInfo* info = FileType > -1 ? IEFileFormatGetInfo(FileType) : IEFileFormatGetInfoByExt(ext);
    // No row, a row that cannot be written, or a built-in type without a saver of its own
    // (layer files, the extension xif): nothing is created and the save fails.
    const TIEWriteImageProc writer = PluginWriter(info);
    if (!writer) {
        Aborting = true;
        return;
    }
    if (IEStartIOThread(*this, &TPicturaIO::SaveToFile, FileName, FileType)) return;
    Aborting = true;
    IEWithFinishWork(*this, [&] {
        if (!MakeConsistentBitmap(0)) return;
        ConvertForWriter(IOBitmap);
        TIEWideFileStream stream(FileName, kCreateFile);
        Aborting = false;
        TIOProgressRecord progress = MakeProgressRecord();
        Params->FileName = FileName;
        Params->FileType = info->FileType;
        writer(&stream, IOBitmap, *Params, progress);
        Params->FileName = FileName;
        Params->FileType = info->FileType;
    });
}

void TPicturaIO::SaveToStream(TStream* Stream, TIOFileType FileType) {
    if (const auto saver = StreamSaver(FileType)) {
        (this->*saver)(Stream);
        return;
    }
    if (IEStartIOThread(*this, &TPicturaIO::SaveToStream, Stream, FileType)) return;
    IEWithFinishWork(*this, [&] {
        const TIEWriteImageProc writer = PluginWriter(IEFileFormatGetInfo(FileType));
        if (!writer) {
            Aborting = true;
            return;
        }
        Aborting = false;
        if (!MakeConsistentBitmap(0)) {
            Aborting = true;
            return;
        }
        ConvertForWriter(IOBitmap);
        TIOProgressRecord progress = MakeProgressRecord();
        Params->FileType = FileType;
        writer(Stream, IOBitmap, *Params, progress);
    });
}
