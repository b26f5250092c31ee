// The library's table of file formats (type, display name, extensions, built-in or plug-in, the
// parameter-dialog pages, codec procedures) and the recognition of a format from the content of
// a stream or file. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// The codec procedures of a table row (the calling convention of the I/O component).
using TIEReadImageProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                  TIOProgressRecord& Progress, bool Preview);
using TIEWriteImageProc = void (*)(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                                   TIOProgressRecord& Progress);
using TIEProbeImageProc = bool (*)(TStream* Stream, TIOFileType FileType);

// Pages of the parameter dialog (bit numbers of PreviewPages); bit 1 is the page of the current
// file type, resolved by the dialog.
enum TPreviewParamsPage : uint16_t {
    ppAUTO = 1, ppJPEG = 2, ppTIFF = 3, ppGIF = 4, ppBMP = 5, ppPCX = 6, ppPNG = 7, ppTGA = 8, ppJ2000 = 9
};
using TPreviewParams = uint16_t;   // a set of TPreviewParamsPage bits

// One row of the table.
class TIEFileFormatInfo : public TObject {
public:
    KW_CLASS_NAME(TIEFileFormatInfo)
    TIOFileType FileType = ioUnknown;
    std::wstring Description;
    // Extensions without dots, upper case, separated by ";" (may be empty).
    std::wstring ExtensionList;
    // True: the component's own per-format methods handle the type; False: the procedures do.
    bool BuiltIn = true;
    TPreviewParams PreviewPages = 0;
    TIEReadImageProc ReadProc = nullptr;
    TIEWriteImageProc WriteProc = nullptr;
    TIEProbeImageProc ProbeProc = nullptr;
};

// The rows in insertion order; lookups return the first match. Empty before IEInitFileFormats.
extern std::vector<std::unique_ptr<TIEFileFormatInfo>> IEFileFormats;

// The built-in rows (the HD Photo row only when the Windows Imaging Component is available).
void IEInitFileFormats();
void IEFreeFileFormats();
void IEFileFormatAdd(std::unique_ptr<TIEFileFormatInfo> Info);
// Removes the first row of FileType; nothing when there is none.
void IEFileFormatRemove(TIOFileType FileType);
TIEFileFormatInfo* IEFileFormatGetInfo(TIOFileType FileType);
// The Index-th extension (from 0) of the type's row; empty when there is no such row or item.
std::wstring IEFileFormatGetExtension(TIOFileType FileType, int32_t Index);
// The number of extensions before the first empty one.
int32_t IEFileFormatExtensionCount(TIOFileType FileType);
// The first row one of whose extensions equals Ext ignoring case (one leading "." removed);
// null for none, also for an empty extension.
TIEFileFormatInfo* IEFileFormatGetInfoByExt(const std::wstring& Ext);
TIOFileType IEExtensionToFileType(const std::wstring& Ext);

// The format of the image at the stream's position, from its content; 0 when none is
// recognised. The position is restored; nothing is raised.
TIOFileType IEFindStreamFormat(TStream* Stream);
// The format of a file from its content, reconciled with its extension (VerifyExtension: a
// disagreement gives 0). 0 for an empty name or a missing or unreadable file.
TIOFileType IEFindFileFormat(const std::wstring& FileName, bool VerifyExtension);
// "RIFF", four bytes, "AVI "; the position is restored.
bool IEIsAVI(TStream* Stream);
// The viewer's own streams, all with the position restored: an objects stream ("IEV" and a version
// from "1" to "S"); a layers stream ("PICTURALAYERS" and a version above 0); a layers-and-objects
// stream (the offset of the objects stream, at most the stream's size, a layers stream after it and
// an objects stream at that offset).
bool IEIsObjectsStream(TStream* Stream);
bool IEIsLayersStream(TStream* Stream);
bool IEIsAllStream(TStream* Stream);

// The 12-byte header that the JPEG, PCX and TIFF stream savers write before the image data when
// the component's StreamHeaders is set: the tag ("JFIF", "PCX2" or "TIFF", zero-padded to 8
// bytes) and the little-endian byte count of the image that follows.
constexpr int32_t IEStreamHeaderSize = 12;

// One loaded I/O plug-in: the file type it registered and its probe. No code of this system
// loads one; the list stays empty but detection and shut-down walk it.
struct TIEIOPlugin {
    TIOFileType FileType = ioUnknown;
    TIEProbeImageProc Probe = nullptr;
};
extern std::vector<TIEIOPlugin> IEIOPlugins;
