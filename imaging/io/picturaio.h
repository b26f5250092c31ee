// The image I/O component TPicturaIO (below), and the start-up and shut-down of the I/O front
// end and the library-wide state it keeps: the LZW codec procedures every parameter set copies,
// the file-format table, the colour-row hook and its CMYK profiles, the colour-management and
// quantizer switches, the list of I/O plug-ins and the debug log. The library's start-up
// (IEStaticInitialize) calls IEInitializePicturaIO once; its shut-down calls IEFinalizePicturaIO.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Classes.h"
#include "SyncObjs.h"
#include "iebitmap.h"
#include "iecoredefs_words.h"
#include "picturaio_colour.h"
#include "picturaio_formats.h"
#include "iecoreutils_general.h"
#include "ieprochooks.h"
#include "picturaio_params.h"
#include "picturaio_avi.h"

class TIEView;    // the viewer control (Windows build only)
class TImage;     // the visual layer's image control (Windows build only)
class TBitmap;    // the visual layer's system bitmap (Windows build only)
struct TIEPSContext;
class TIEMetafile;
struct TIEPDFContext;
class TIEIOThread;
class TIEAcquireParams;
class TIETwainParams;
class TIEDcimAcquire;
class TIEWia;
class TIOPrintPreviewParams;
class TIEDirectShow;

// Buffered streams count positions from where they started (False after start-up).
extern bool IEBufferedStreamRelative;
// The largest side in pixels of a metafile rendered to pixels.
extern int32_t IEMetafileMaxSize;
// The AVI library was initialised by a first AVI open.
extern bool IEAVIFileInitialized;
// The file of the TWAIN session log; empty (nothing in the system sets it). The debug log's file
// (IEDebugLogFileName) is the core's.
extern std::wstring IETWLogFileName;

void IEInitializePicturaIO();
void IEFinalizePicturaIO();
// Releases every loaded I/O plug-in (its row of the format table first), then empties the list.
void IEFreeIOPlugins();

// ---------------------------------------------------------------------------------------------
// TPicturaIO: the image I/O component
// ---------------------------------------------------------------------------------------------

// A set of pixel formats: bit N stands for the format of ordinal N (only ordinals up to 15 fit).
using TIEPixelFormatSet = uint16_t;
constexpr TIEPixelFormatSet IEPixelFormatBit(TIEPixelFormat Format) {
    return Format <= 15 ? static_cast<TIEPixelFormatSet>(1u << Format) : 0;
}

// Options of the parameter dialog.
using TIOPreviewsParams = uint8_t;
constexpr TIOPreviewsParams ioppDefaultLockPreview = 1;
constexpr TIOPreviewsParams ioppApplyButton = 2;

enum TIEDialogsMeasureUnit : uint8_t { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };

// An acquisition source delivered an image; setting Handled keeps it away from the component.
using TIEAcquireBitmapEvent = std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;
// May replace the parameter dialog: setting Handled makes DoPreviews return True at once.
using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;

// The steps after the reader that a format takes (bits of the Steps of TPicturaIO's load sequence).
constexpr uint32_t ielsCheckDPI = 1;    // resolutions below 2 become the defaults
constexpr uint32_t ielsAdjustDPI = 2;   // AdjustDPI when AutoAdjustDPI
constexpr uint32_t ielsViewDPI = 4;     // the attached viewer takes the resolution
constexpr uint32_t ielsUpdate = 8;      // Update
constexpr uint32_t ielsAll = 15;

// The non-visual component through which an image is read from or written to a file, a stream or
// a memory buffer. It owns one parameter set (Params) that a load fills and a save reads, and works
// on exactly one TIEBitmap at a time (IOBitmap): its own, one a caller lends it
// (SetAttachedIEBitmap), the current image of an attached viewer (SetAttachedPictura) or the
// picture of an attached TImage (SetAttachedTImage). A lent bitmap, or a viewer's, is never freed
// by the component. When an attached viewer or TImage is destroyed the component detaches and
// goes on with a new empty bitmap of its own.
//
// Every operation passes its codec a TIOProgressRecord whose OnProgress is InternalProgress
// (DoIntProgress) and whose Aborting points to the component's Aborting flag; it ends with
// DoFinishWork on every path (a 100 per cent report, then OnFinishWork). Aborting is left True
// when the codec or the checks failed and is only reset by the next operation.
class TPicturaIO : public TComponent {
public:
    KW_CLASS_NAME(TPicturaIO)
    explicit TPicturaIO(TComponent* AOwner);
    // A component working on a caller's bitmap (never freed by the component).
    static std::unique_ptr<TPicturaIO> CreateFromBitmap(TIEBitmap* Bitmap);
    ~TPicturaIO() override;

    // ---- the bitmap and its sources
    TIEBitmap* GetIEBitmap() const { return IOBitmap; }
    bool GetOwnsIOBitmap() const { return OwnsIOBitmap; }
    TBitmap* GetLegacyTBitmap() const { return LegacyTBitmap; }
    // Lends the component a caller's bitmap. Nil while a viewer or TImage is attached changes
    // nothing.
    void SetAttachedIEBitmap(TIEBitmap* Bitmap);
    TIEView* GetAttachedPictura() const { return AttachedPictura; }
    void SetAttachedPictura(TIEView* Value);
    TImage* GetAttachedTImage() const { return AttachedTImage; }
    void SetAttachedTImage(TImage* Value);
    // False when there is no bitmap. A wrapped VCL bitmap is wrapped again first so that the
    // component follows its current state. True for the empty set; otherwise only when the
    // current pixel format is in Allowed.
    bool MakeConsistentBitmap(TIEPixelFormatSet Allowed);
    // End of every load: tells the attached viewer (or TImage) that the image changed.
    void Update();
    // Called by an attached viewer after it replaced its image, or when it is destroyed.
    void BitmapChangeEvent(TIEView* Sender, bool Destroying);

    // ---- properties
    TColor GetBackground() const;
    void SetBackground(TColor Value);
    bool GetNativePixelFormat() const;
    void SetNativePixelFormat(bool Value);
    std::string GetPicturaVersion() const { return "4.1.0"; }
    void SetPicturaVersion(const std::string&) {}
    TIOPreviewsParams GetPreviewsParams() const { return PreviewsParams; }
    void SetPreviewsParams(TIOPreviewsParams Value) { PreviewsParams = Value; }
    TIEDitherMethod GetDitherMethod() const { return DitherMethod; }
    // Stored here and in the component's bitmap.
    void SetDitherMethod(TIEDitherMethod Value);

    // ---- background threads (TIEIOThread, picturaio_thread.h)
    // True when the calling thread is one of the component's background threads.
    bool IsInsideAsyncThreads();
    // Returns when no background thread runs any more; with SetAborting, asks them to stop.
    void WaitThreads(bool SetAborting);
    // The asynchronous decision: True when an operation called now goes to a new background
    // thread (the component works on a borrowed bitmap, AsyncMode is set, and the caller is not
    // one of the component's own threads).
    bool AsyncDecision();
    // A background thread registers before it starts and unregisters when its work has ended;
    // the removal that leaves no thread signals IOThreadsDone.
    void RegisterIOThread(TIEIOThread* Thread);
    void UnregisterIOThread(TIEIOThread* Thread);
    // Aborting, and the abort flags of AcquireParams and DcimAcquire, := Value.
    void SetAborting(bool Value);

    // ---- multi-page PostScript and PDF output
    // An open multi-page document (made by IEPSCreate / IEPDFCreate) and the stream it is written
    // to; the component owns both. Nothing in this system opens one.
    TIEPSContext* PSDocument = nullptr;
    std::unique_ptr<TStream> PSStream;
    TIEPDFContext* PDFDocument = nullptr;
    std::unique_ptr<TStream> PDFStream;
    // When a document is open: finishes it into its stream (IEPSClose / IEPDFClose with Params);
    // then the stream is freed and both fields are cleared, also when writing raises (the error
    // passes on). Destroying the component closes both.
    void ClosePS();
    void ClosePDF();

    // ---- notifications, acquired images and resolution
    virtual void ReceiveAcquiredBitmap(TIEBitmap* ABitmap, TIOParamsVals*& IOParams);
    virtual void DoAcquireClose();
    virtual void DoFinishWork();
    // The VCL bitmap: the component's own when its bitmap keeps its pixels in one, else the
    // attached viewer's or TImage's (nil when none).
    virtual TBitmap* GetBitmap();
    // The internal progress handler every progress record carries.
    virtual void DoIntProgress(TObject* Sender, int32_t per);
    // Passes the parameter set's resolution to the attached viewer (without a repaint).
    virtual void UpdateViewDPI();
    // May be replaced by OnDoPreviews; the parameter dialog itself is not part of this build, so
    // without a handler the result is False.
    virtual bool DoPreviews(uint16_t Pages);
    virtual void DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled);
    // The WIA object, made on first use; its transfers report through WIATransferProgress.
    virtual TIEWia* GetWIAParams();
    // Reports per cent through the internal progress handler; False (stop) when Aborting is set.
    bool WIATransferProgress(int32_t per);
    // Resamples the image so that both axes have the same resolution.
    void AdjustDPI();
    // A resolution below 2 becomes the library's default.
    void CheckDPI();
    // A progress record for an operation: InternalProgress, this component, its Aborting flag.
    TIOProgressRecord MakeProgressRecord();

    // ---- loading and saving by name, stream and buffer. Success and failure are read afterwards
    // from Aborting and Params->FileType; exceptions of the codecs and of opening a file pass
    // through the load and save operations (not through the parameter-only ones). Each operation
    // calls the others through this dispatch, so an override changes every path that reaches it.
    virtual void LoadFromFile(const std::wstring& FileName);
    virtual void LoadFromFileByExtension(const std::wstring& FileName, TIOFileType FileType = -1);
    virtual void LoadFromFileFormat(const std::wstring& FileName, TIOFileType FileType);
    virtual void LoadFromStream(TStream* Stream);
    virtual void LoadFromStreamFormat(TStream* Stream, TIOFileType FileType);
    virtual void LoadFromBuffer(const void* Buffer, int32_t BufferSize, TIOFileType FileType = 0);
    virtual void ParamsFromFile(const std::wstring& FileName);
    virtual void ParamsFromFileFormat(const std::wstring& FileName, TIOFileType FileType);
    virtual void ParamsFromStream(TStream* Stream);
    virtual void ParamsFromStreamFormat(TStream* Stream, TIOFileType FileType);
    virtual void ParamsFromBuffer(const void* Buffer, int32_t BufferSize, TIOFileType FileType = 0);
    virtual void SaveToFile(const std::wstring& FileName, TIOFileType FileType = -1);
    virtual void SaveToStream(TStream* Stream, TIOFileType FileType);
    // Writes the image, encoded as FileType, as source text (Kind 0: a byte-array constant, 1: a
    // hexadecimal list, 2: Base64 lines, 3: a character picture of the bitmap itself).
    virtual void SaveToSourceFile(const std::wstring& FileName, TIOFileType FileType, uint8_t Kind);
    // Downloads an "http://", "https://" or "ftp://" resource whole (through ProxyAddress with
    // ProxyUser and ProxyPassword when set) and loads it as a stream with detection by content.
    // A download that fails (no connection, an HTTP status other than 2xx, a URL without a path)
    // sets Aborting and ends with DoFinishWork.
    void LoadFromURL(const std::wstring& URL);

    // ---- per-format loaders (the TIFF and GIF ones return the number of pages or frames)
    int32_t LoadFromFileTIFF(const std::wstring& FileName);
    int32_t LoadFromStreamTIFF(TStream* Stream);
    int32_t SyncLoadFromStreamTIFF(TStream* Stream, bool HeaderFlag);
    int32_t LoadFromFileGIF(const std::wstring& FileName);
    int32_t LoadFromStreamGIF(TStream* Stream);
    int32_t SyncLoadFromStreamGIF(TStream* Stream);
    void LoadFromFileJPEG(const std::wstring& FileName);
    void LoadFromStreamJPEG(TStream* Stream);
    void LoadFromFilePCX(const std::wstring& FileName);
    void LoadFromStreamPCX(TStream* Stream);
    void SyncLoadFromStreamPCX(TStream* Stream, bool HeaderFlag);
    void LoadFromFileBMP(const std::wstring& FileName);
    void LoadFromStreamBMP(TStream* Stream);
    void SyncLoadFromStreamBMP(TStream* Stream);
    void LoadFromFileICO(const std::wstring& FileName);
    void LoadFromStreamICO(TStream* Stream);
    void SyncLoadFromStreamICO(TStream* Stream);
    void LoadFromFileCUR(const std::wstring& FileName);
    void LoadFromStreamCUR(TStream* Stream);
    void SyncLoadFromStreamCUR(TStream* Stream);
    void LoadFromFilePNG(const std::wstring& FileName);
    void LoadFromStreamPNG(TStream* Stream);
    void LoadFromFileTGA(const std::wstring& FileName);
    void LoadFromStreamTGA(TStream* Stream);
    void LoadFromFilePXM(const std::wstring& FileName);
    void LoadFromStreamPXM(TStream* Stream);
    void LoadFromFileJP2(const std::wstring& FileName);
    void LoadFromStreamJP2(TStream* Stream);
    void LoadFromFileJ2K(const std::wstring& FileName);
    void LoadFromStreamJ2K(TStream* Stream);
    void SyncLoadFromStreamJ2000(TStream* Stream);
    void LoadFromFileWBMP(const std::wstring& FileName);
    void LoadFromStreamWBMP(TStream* Stream);
    void LoadFromFileDCX(const std::wstring& FileName);
    void LoadFromStreamDCX(TStream* Stream);
    void SyncLoadFromStreamDCX(TStream* Stream);
    void LoadFromFileRAW(const std::wstring& FileName);
    void LoadFromStreamRAW(TStream* Stream);
    void SyncLoadFromStreamRAW(TStream* Stream);
    void LoadFromFileBMPRAW(const std::wstring& FileName);
    void LoadFromStreamBMPRAW(TStream* Stream);
    void SyncLoadFromStreamBMPRAW(TStream* Stream);
    void LoadFromFilePSD(const std::wstring& FileName);
    void LoadFromStreamPSD(TStream* Stream);
    void SyncLoadFromStreamPSD(TStream* Stream);
    void LoadFromFileLayered(const std::wstring& FileName, TIOFileType FileType);
    void LoadFromStreamLayered(TStream* Stream, TIOFileType FileType);
    void LoadFromFileDICOM(const std::wstring& FileName);
    void LoadFromStreamDICOM(TStream* Stream);
    void LoadFromFileHDP(const std::wstring& FileName);
    void LoadFromStreamHDP(TStream* Stream);
    void SyncLoadFromStreamHDP(TStream* Stream);

    // ---- frames of AVI and media files (picturaio_avi.cpp). An open file stays open for stepping
    // through its frames until closed, a second open or the component's destruction.
    // Opens an AVI file (a second open closes the first) and returns its frame count: the image
    // count, with AVIFrameDelayTime the milliseconds per frame. 0 with Aborting set when the file,
    // its video stream or its frame reader cannot be had, or its frame rate is 0.
    int32_t OpenAVIFile(const std::wstring& FileName);
    // Loads one frame of the open AVI file into the bitmap (24-bit, or 1-bit for a 1-bit video),
    // with BitsPerSample and SamplesPerPixel from the frame's bit count. A frame outside the
    // file, no open file or no frame leaves the bitmap as it was (Aborting set); the finishing
    // report comes on every path. With the asynchronous conditions it runs on a background thread.
    void LoadFromAVIFrame(int32_t Frame);
    void CloseAVIFile();
    // Opens a media file (".wmv", ".mpg", ".mpeg" or anything the system's DirectShow plays) on a
    // paused graph with a sample grabber; returns its frame count, 0 with Aborting set when the
    // graph cannot be built, has no duration or no frames.
    int32_t OpenMediaFile(const std::wstring& FileName);
    // Seeks the open media file to Frame and copies the grabbed frame into the bitmap; the
    // finishing report comes on every path, a frame outside the file or no open file loading
    // nothing (Aborting set).
    void LoadMediaFileFrame(int32_t Frame);
    void CloseMediaFile();
    TIEDirectShow* GetMediaFile() const { return MediaFile.get(); }
    double MediaFileFrameTime = 0;     // milliseconds per frame of the open media file
    int64_t MediaFileFrameStep = 1;    // one frame's seek distance in the graph's time unit
    // The DirectShow graph of capture and playback, made on first use; with an attached viewer its
    // notifications go to the viewer's window.
    virtual TIEDirectShow* GetDShowParams();
    // The graph when one was made, without making it (a viewer asks on every paint).
    TIEDirectShow* GetExistingDShowParams() const { return DShowParams.get(); }
    // Points the DirectShow notifications at the attached viewer's window when it changed (the
    // viewer calls this each time it presents its back buffer).
    void UpdateDShowNotifyWindow();

    // ---- metafile import (WMF and EMF drawn to pixels; Width/Height negative keep the aspect
    // ratio, both negative the metafile's own size). Where the platform has no metafile support
    // the import fails with Aborting set.
    void ImportMetafileFromFile(const std::wstring& FileName, int32_t Width, int32_t Height, bool WithAlpha);
    void ImportMetafileFromStream(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha);
    // The import itself, of a metafile the caller loaded (and keeps): the bitmap and the parameters
    // without the finishing work. An empty metafile (or none) fails with Aborting set and the
    // bitmap unchanged.
    void ImportMetafile(TIEMetafile* Metafile, int32_t Width, int32_t Height, bool WithAlpha);
    void ParamsFromMetafileStream(TStream* Stream);

    // ---- per-format savers
    void SaveToFileTIFF(const std::wstring& FileName);
    void SaveToStreamTIFF(TStream* Stream);
    void SaveToFileGIF(const std::wstring& FileName);
    void SaveToStreamGIF(TStream* Stream);
    void SaveToFileJPEG(const std::wstring& FileName);
    void SaveToStreamJPEG(TStream* Stream);
    // Brings the APP13/APP1 markers of Params in line with the resolution, IPTC, EXIF and XMP
    // before a JPEG save.
    void UpdateJPEGResolutionMarker();
    void SaveToFilePCX(const std::wstring& FileName);
    void SaveToStreamPCX(TStream* Stream);
    void SaveToFileBMP(const std::wstring& FileName);
    void SaveToStreamBMP(TStream* Stream);
    void SyncSaveToStreamBMP(TStream* Stream);
    void SaveToFileICO(const std::wstring& FileName);
    void SaveToStreamICO(TStream* Stream);
    void SaveToFilePNG(const std::wstring& FileName);
    void SaveToStreamPNG(TStream* Stream);
    void SaveToFileTGA(const std::wstring& FileName);
    void SaveToStreamTGA(TStream* Stream);
    void SaveToFilePXM(const std::wstring& FileName);
    void SaveToStreamPXM(TStream* Stream);
    void SaveToFileJP2(const std::wstring& FileName);
    void SaveToStreamJP2(TStream* Stream);
    void SaveToFileJ2K(const std::wstring& FileName);
    void SaveToStreamJ2K(TStream* Stream);
    // Variant 0 writes a JP2 file, 1 a bare J2K code stream.
    void SyncSaveToStreamJ2000(TStream* Stream, int32_t Variant);
    void SaveToFileWBMP(const std::wstring& FileName);
    void SaveToStreamWBMP(TStream* Stream);
    void SaveToFilePS(const std::wstring& FileName);
    void SaveToStreamPS(TStream* Stream);
    void SyncSaveToStreamPS(TStream* Stream);
    void SaveToFilePDF(const std::wstring& FileName);
    void SaveToStreamPDF(TStream* Stream);
    void SyncSaveToStreamPDF(TStream* Stream);
    void SaveToFileDCX(const std::wstring& FileName);
    void SaveToStreamDCX(TStream* Stream);
    void SyncSaveToStreamDCX(TStream* Stream);
    void SaveToFilePSD(const std::wstring& FileName);
    void SaveToStreamPSD(TStream* Stream);
    void SyncSaveToStreamPSD(TStream* Stream);
    void SaveToFileHDP(const std::wstring& FileName);
    void SaveToStreamHDP(TStream* Stream);
    void SyncSaveToStreamHDP(TStream* Stream);

    // ---- public state
    TIOParamsVals* GetParams() const { return Params.get(); }
    std::unique_ptr<TIOParamsVals> Params;
    std::atomic<bool> Aborting{false};
    TIEProgressEvent InternalProgress;
    // The acquisition objects (picturaio_acquire.h), made with the component; WIAParams on first
    // use (GetWIAParams).
    std::unique_ptr<TIEAcquireParams> AcquireParams;
    std::unique_ptr<TIETwainParams> TwainParams;
    std::unique_ptr<TIEDcimAcquire> DcimAcquire;
    std::unique_ptr<TIEWia> WIAParams;
    std::unique_ptr<TIOPrintPreviewParams> PrintPreviewParams;

    TColor BackgroundColor = 0;
    TMsgLanguage MsgLanguage = msSystem;
    TIOPreviewsParams PreviewsParams = 0;
    bool SimplifiedParamsDialogs = true;
    bool ViewBackgroundEnabled = false;
    bool StreamHeaders = false;
    bool PreviewFontEnabled = false;
    TIEDialogsMeasureUnit DialogsMeasureUnit = ieduInches;
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    // False after Create; nothing in this system sets it. When set, the loads and saves of a
    // component that works on a borrowed bitmap run on background threads: the caller must not
    // use the component, its bitmap or its parameters until the finish notification, and keeps
    // a stream it passed alive and untouched until then.
    bool AsyncMode = false;
    std::wstring ProxyAddress;
    std::wstring ProxyUser;
    std::wstring ProxyPassword;

    TIEProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;
    TIEAcquireBitmapEvent OnAcquireBitmap;
    TNotifyEvent OnAcquireClose;
    TIEDoPreviewsEvent OnDoPreviews;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // Replaces the bitmap: an owned one is freed first.
    void SetIOBitmap(TIEBitmap* Bitmap, bool Owned);
    void NewOwnedBitmap();
    void UnregisterFromView();
    // Posts one of the viewer's private messages when called from a background thread of this
    // component and the viewer has a parent window; False when the caller must act directly.
    bool PostToViewFromThread(uint32_t Msg, uintptr_t WParam);
    // Runs an event handler: on the main thread when raised on one of the component's own threads.
    void RunEvent(const std::function<void()>& AEvent);

    TBitmap* LegacyTBitmap = nullptr;
    TIEBitmap* IOBitmap = nullptr;
    bool OwnsIOBitmap = false;
    TIEView* AttachedPictura = nullptr;
    void* BitmapChangeHandle = nullptr;
    TImage* AttachedTImage = nullptr;
    TIEDitherMethod DitherMethod = iedmThreshold;
    TIEAVIHandles AVIHandles;
    TIEAVIStreamInfo AVIInfo;
    std::unique_ptr<TIEDirectShow> MediaFile;
    std::unique_ptr<TIEDirectShow> DShowParams;
    std::vector<TIEIOThread*> IOThreads;
    TEvent IOThreadsDone{false, false};
    TCriticalSection IOThreadsLock;

    // ---- helpers of the loaders (picturaio_load.cpp)
    // A codec call of a load: reads from the stream into IOBitmap and Params; an alpha mask it
    // returns is copied into IOBitmap's alpha channel. False ends the load before the steps
    // after the reader (a stream header that does not fit).
    using TIELoadReader = std::function<bool(TStream& Stream, TIOProgressRecord& Progress, TIEMask*& AlphaMask)>;
    // From the progress record on: the alpha channel dropped, Read, its mask, the chosen Steps
    // (bits of the loaders' own file: resolution checks, viewer resolution, Update),
    // Params->FileName := FileName and (unless ioUnknown) Params->FileType := FileType.
    void LoadRead(TStream& Stream, TIOFileType FileType, const std::wstring& FileName, uint32_t Steps,
                  const TIELoadReader& Read);
    // A whole load from a stream: Aborting False, the bitmap checked, ResetInfo, LoadRead,
    // DoFinishWork on every path. Without a bitmap the load fails (Aborting True).
    void LoadStreamSteps(TStream& Stream, TIOFileType FileType, uint32_t Steps, const TIELoadReader& Read);
    // A whole load from a file: Aborting True until the file is open, then as LoadStreamSteps with
    // Params->FileName := FileName. An open failure raises (Aborting stays True).
    void LoadFileSteps(const std::wstring& FileName, TIOFileType FileType, uint32_t Steps,
                       const TIELoadReader& Read);
    // The loaders of PNG, JPEG, TGA, PXM, WBMP and DICOM: their codec call (FromFile: for the
    // file form) and their whole stream and file forms.
    TIELoadReader InlineReader(TIOFileType FileType, bool FromFile);
    void LoadStreamInline(TStream* Stream, TIOFileType FileType);
    void LoadFileInline(const std::wstring& FileName, TIOFileType FileType);
    bool ReadPNG(TStream& Stream, TIOProgressRecord& Progress, TIEMask*& AlphaMask);
    bool ReadJPEG(TStream& Stream, TIOProgressRecord& Progress, TIEMask*& AlphaMask);
    // The body of the icon (ioICO) and cursor (ioCUR) stream loaders.
    void LoadIconStream(TStream* Stream, TIOFileType FileType);
    // A JPEG 2000 load of either variant, from the caller's stream or from a file.
    void LoadJ2000(TStream* Stream, const std::wstring& FileName, TIOFileType FileType);
    void LoadJ2000File(const std::wstring& FileName, TIOFileType FileType);
    // ---- helpers of the savers (picturaio_save.cpp)
    // ---- helpers of the generic operations (picturaio_generic.cpp)
    // Loads Stream as FileType: the per-format stream loader of a built-in row (WBMP and the
    // headerless raw bitmap only when TypeGiven), else the plug-in row's reader.
    void LoadStreamOfType(TStream* Stream, TIOFileType FileType, bool TypeGiven);
    // Opens the AVI (ioAVI) or media file, loads the frame of Params->ImageIndex and closes it.
    void LoadVideoFrame(const std::wstring& FileName, TIOFileType FileType);
    // ---- helpers of GIF composition, metafile import and source export
    // Reads a metafile from the stream's position to its end and draws it into IOBitmap (the
    // import without the finishing work); the platform's twin of picturaio_metafile.
    void ImportMetafileData(TStream* Stream, int32_t Width, int32_t Height, bool WithAlpha);
    // ---- helpers of the camera-raw loaders
    // ---- helpers of the HD Photo loaders and savers
};
