// The image-processing component (TPicturaProc): the non-visual object through which the image
// library edits an image. Every operation works on one work bitmap, which is the component's own,
// the current bitmap of an attached viewer, a bitmap lent by the caller, or a wrapper around the
// picture bitmap of a TImage. Around it the component prepares the pixel format, finds the area
// to work on (whole image or the viewer's selection), keeps bounded undo and redo stacks, refreshes
// the viewer after a change and fires the progress and finish events.
//
// Operations that work on the whole image follow one pattern: PrepareBitmap (stop when False),
// an undo entry of the image when AutoUndo, the work, Update, DoFinishWork. Operations that
// respect a selection use BeginImageProcessing / EndImageProcessing instead. No operation raises
// for a missing image or a refused pixel format: it does nothing.
//
// Undo entries of the image are copies of the work bitmap held in temporary files (UndoLocation
// ieFile); each file goes with its entry (popped, trimmed, cleared, component freed) and the system
// removes it when the program ends however it ends. Entries of the other sources are memory
// streams written by the attached viewer.
//
// Used from the GUI thread only; no locks. Progress reaches OnProgress on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "iecoredefs_words.h"      // TMsgLanguage
#include "iecoreutils_geometry.h"  // TIERect
#include "iecoreutils_startup.h"   // TResampleFilter
#include "iemask.h"
#include "picturaio.h"             // TIEPixelFormatSet, IEPixelFormatBit
#include "picturaproc.h"
#include "picturaproc_viewlink.h"

class TBitmap;
class TFont;
class TImage;

// ---- Undo sources ----
enum TIEUndoSource : uint8_t {
    ieuUnknown = 0,
    ieuImage = 1,
    ieuSelection = 2,
    ieuObject = 3,
    ieuLayer = 4,
    ieuFullLayer = 5,
    ieuObjectsAndLayers = 6
};

// ---- Options of the processing dialogs (a set of TPRPreviewsParamsItems bits) ----
enum TPRPreviewsParamsItems : uint8_t {
    prppDefaultLockPreview = 0,
    prppShowResetButton = 1,
    prppHardReset = 2,
    prppResetSelectedTab = 3
};
using TPRPreviewsParams = uint8_t;
constexpr TPRPreviewsParams PRPreviewsParamsBit(TPRPreviewsParamsItems Item) {
    return static_cast<TPRPreviewsParams>(1u << Item);
}

using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;
// The processing dialogs' event (no dialog is part of this build; the event is only stored).
using TIEPreviewEvent = std::function<void(TObject* Sender, TObject* Dialog)>;

// Undo captions of the operations.
extern const wchar_t* const IECaptionClear;            // "Clear"
extern const wchar_t* const IECaptionFill;             // "Fill (%d, %d, %d)"
extern const wchar_t* const IECaptionCrop;             // "Crop %d, %d, %d, %d"
extern const wchar_t* const IECaptionConvertToGray;    // "ConvertToGray"
extern const wchar_t* const IECaptionConvertTo;        // "ConvertTo %d"
extern const wchar_t* const IECaptionConvertToPalette; // "ConvertToPalette"
extern const wchar_t* const IECaptionRotate;           // "Rotate %f"
extern const wchar_t* const IECaptionResample;         // "Resample %d, %d"

// ---- Processing-dialog settings ----
// The stored settings of the interactive processing dialog (the dialog is not part of this build;
// nothing reads them). Fields in their fixed order with the defaults SetDefaults gives.
class TIPDialogParams : public TObject {
public:
    KW_CLASS_NAME(TIPDialogParams)
    // Creates the extra-data stream, then SetDefaults.
    TIPDialogParams();
    ~TIPDialogParams() override;
    TIPDialogParams(const TIPDialogParams&) = delete;
    TIPDialogParams& operator=(const TIPDialogParams&) = delete;

    // Every field its default (the four first settings through their setters) and the stream
    // emptied.
    void SetDefaults();

    // The four first settings (default -1): each setter stores the value and empties the stream.
    int32_t GetChoice(int32_t Index) const { return FChoice[Index]; }
    void SetChoice(int32_t Index, int32_t Value);

    int32_t Settings[11];              // 0 each
    TIEFilterRecord Filter;            // the identity (centre 1, divisor 0)
    TIERGB Colors[4];                  // black, white, black, white
    bool Flag1;                        // False
    int32_t Rect1[4];                  // 0, 0, 150, 150
    TIERGB Color2;                     // white
    int32_t Setting2;                  // 0
    bool Flag2;                        // True
    int32_t Rect2[4];                  // 0, 0, 150, 150
    double Factor1;                    // 1.7
    bool Flag3;                        // True
    int32_t Pair1[2];                  // 10, 10
    int32_t Setting3;                  // 0
    bool Flag4;                        // False
    int32_t Pair2[2];                  // 0, 1
    double Factors[2];                 // 0.0, 1.0
    int32_t Pair3[2];                  // 1, 4
    bool Flag5;                        // True
    TMemoryStream* GetExtraData() { return FExtraData.get(); }

private:
    int32_t FChoice[4];
    std::unique_ptr<TMemoryStream> FExtraData;
};

// ---- The component ----
class TPicturaProc : public TComponent {
public:
    KW_CLASS_NAME(TPicturaProc)
    // A new, empty own bitmap; AutoUndo True when AOwner is given, else False.
    explicit TPicturaProc(TComponent* AOwner);
    // Without owner and AutoUndo False, working on the caller's Bitmap (not owned).
    static std::unique_ptr<TPicturaProc> CreateFromBitmap(TIEBitmap* Bitmap);
    // Unregisters from the attached viewer, clears both stacks (their temporary files go), frees
    // the own work bitmap.
    ~TPicturaProc() override;

    // ---- Attachment (at most one of viewer, TImage or caller's bitmap) ----
    TIEProcViewLink* GetAttachedPictura() const { return FAttachedView; }
    // Nil returns to a new, empty own bitmap.
    void SetAttachedPictura(TIEProcViewLink* View);
    TImage* GetAttachedTImage() const { return FAttachedTImage; }
    // The component's own bitmap wraps the TImage's picture (a lent bitmap or a viewer's is left
    // alone: the component first returns to an own bitmap). Nil empties the own bitmap.
    void SetAttachedTImage(TImage* Image);
    // Nil is ignored while a viewer or TImage is attached; nil otherwise leaves the component
    // without a work bitmap (every operation then does nothing).
    void SetAttachedIEBitmap(TIEBitmap* Bitmap);
    TIEBitmap* GetAttachedIEBitmap() const { return WorkBitmap; }
    TBitmap* GetAttachedTBitmap() const { return AttachedTBitmap; }
    bool GetOwnsWorkBitmap() const { return OwnsWorkBitmap; }
    // Called by the viewer after it replaced its bitmap (the component takes the new one, or
    // none), or while it is destroyed (the component returns to an own, empty bitmap). A viewer or
    // TImage freed while attached is forgotten the same way.
    void ViewBitmapChanged(bool Destroying);

    // ---- Properties ----
    TColor GetBackground();
    void SetBackground(TColor Value);
    TFont* GetPreviewFont() const { return FPreviewFont; }
    // Copies Value's attributes into the component's own font.
    void SetPreviewFont(TFont* Value);
    TIPDialogParams* GetDialogParams() const { return FDialogParams.get(); }
    std::wstring GetPicturaVersion() const { return L"4.1.0"; }
    void SetPicturaVersion(const std::wstring&) {}

    bool AutoUndo = false;
    TMsgLanguage MsgLanguage = msSystem;
    TPRPreviewsParams PreviewsParams = PRPreviewsParamsBit(prppShowResetButton) | PRPreviewsParamsBit(prppHardReset);
    bool PreviewFontEnabled = false;
    bool AutoConvertFormat = true;
    TIELocation UndoLocation = ieFile;
    // Maximum number of undo (and of redo) entries; 0 switches saving off. The next push trims.
    int32_t UndoLimit = 1;
    TIEProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;
    TIESaveUndoEvent OnSaveUndo;
    TIEPreviewEvent OnPreview;

    // ---- Services for the operations ----
    // False without a work bitmap; re-wraps an attached system bitmap, then CheckPixelFormat.
    bool PrepareBitmap(TIEPixelFormatSet Allowed);
    // True when Allowed is empty or holds the current format; otherwise, with AutoConvertFormat,
    // converts to the first allowed format of the current format's preference list (else the
    // highest-numbered allowed format) and answers True; without it False.
    bool CheckPixelFormat(TIEPixelFormatSet Allowed);
    // The area to work on: the whole image (X2, Y2 exclusive), or with a viewer's selection its
    // mask, polygon and bounding box (result True).
    virtual bool GetProcessingArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                   const TIEMaskPoint*& PolyPoints, int32_t& PolyCount, TIEMask*& Mask);
    // Undo entry (AutoUndo), PrepareBitmap, area; with a non-empty mask ProcBitmap is a new copy
    // of the mask's bounding box (alpha included) and the area its whole size. False when
    // PrepareBitmap refuses.
    bool BeginImageProcessing(TIEPixelFormatSet Allowed, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                              const std::wstring& Caption, TIEBitmap*& ProcBitmap, TIEMask*& Mask);
    // Copies a separate ProcBitmap back through the mask (and frees it), then Update.
    void EndImageProcessing(TIEBitmap* ProcBitmap, TIEMask* Mask);
    // Refreshes whatever shows the work bitmap.
    void Update();
    // OnProgress(100), then OnFinishWork, each when assigned.
    virtual void DoFinishWork();

    // ---- Undo and redo (positions count from the newest entry, 0 = top) ----
    virtual bool CanUndo();
    virtual bool CanRedo();
    virtual int32_t GetUndoCount();
    virtual int32_t GetRedoCount();
    // Caption of entry Index (0 = newest); Caption is left as it is for an index out of range.
    virtual void GetRedoCaptions(int32_t Index, std::wstring& Caption);
    virtual void GetUndoCaptions(int32_t Index, std::wstring& Caption);
    // Source of undo entry Index counted from the OLDEST (0 = oldest); ieuUnknown out of range.
    TIEUndoSource GetUndoSource(int32_t Index);
    virtual void SaveUndo(TIEUndoSource Source = ieuImage);
    virtual void SaveUndoCaptioned(const std::wstring& Caption, TIEUndoSource Source = ieuImage);
    virtual void ClearUndo();
    void ClearUndoAt(int32_t Position);
    virtual void ClearAllUndo();
    virtual void Undo(bool AddRedo = false);
    virtual void UndoAt(int32_t Position, bool AddRedo = false);
    virtual void SaveRedo(TIEUndoSource Source = ieuImage);
    virtual void SaveRedoCaptioned(const std::wstring& Caption, TIEUndoSource Source = ieuImage);
    virtual void ClearAllRedo();
    virtual void ClearRedo();
    virtual void Redo();
    virtual void RedoAt(int32_t Position);

    // ---- Canvas operations ----
    // A new canvas size without scaling; the content placed by the alignments (0 left/top,
    // 1 centre, 2 right/bottom), the new area in Background and, in the alpha channel, FillAlpha.
    void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign = 0, uint8_t VertAlign = 0,
                     int32_t FillAlpha = 255);
    void Clear();
    // The processing area (selection honoured) in Color.
    void Fill(const TIERGB& Color);
    // Keeps the inclusive rectangle; an empty rectangle changes nothing and leaves no undo entry.
    void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
    void CropToRect(const TIERect& Rect);
    // Crops away the fully transparent border; never an undo entry.
    void CropTransparentBorder();

    // ---- Colour reduction and grey (picturaproc_component_colour.cpp) ----
    void ConvertToGray();
    void ConvertTo(int32_t NumColors, TIEDitherMethod DitherMethod = iedmOrdered);
    // Palette must hold NumColors entries (two for NumColors below 3).
    void ConvertToPalette(int32_t NumColors, TIERGB* Palette, TIEDitherMethod DitherMethod = iedmOrdered);

    // ---- Rotation (picturaproc_component_rotate.cpp) ----
    // Background -1 means GetBackground().
    void Rotate(double Angle, bool AntiAlias = true, uint8_t QualityMode = 0, TColor Background = -1);

    // ---- Resampling ----
    // Scales the work bitmap (undo entry "Resample %d, %d"); nothing when the size is unchanged.
    void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter = rfNone, bool FitInBox = false);
    // Scales a copy into Dest, leaving the work bitmap as it is. -1 for one side keeps the aspect
    // ratio, 0 keeps that side; both negative do nothing.
    void ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter = rfNone,
                    bool FitInBox = false);

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    // One stack seen as its three parallel lists: entries (owned), their sources and captions,
    // oldest first.
    struct TUndoStack {
        std::vector<std::unique_ptr<TObject>>& Entries;
        std::vector<TIEUndoSource>& Sources;
        std::vector<std::wstring>& Captions;
        int32_t Count() const { return static_cast<int32_t>(Entries.size()); }
        void RemoveAt(int32_t Index) const;
        void Clear() const;
    };
    TUndoStack UndoStack() { return {UndoList, UndoSources, UndoCaptions}; }
    TUndoStack RedoStack() { return {RedoList, RedoSources, RedoCaptions}; }
    // An operation on the processing area: BeginImageProcessing, Work on the processing bitmap and
    // rectangle, EndImageProcessing, DoFinishWork. A separate processing bitmap is freed when Work
    // raises.
    void ProcessArea(TIEPixelFormatSet Allowed, const std::wstring& Caption,
                     const std::function<void(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2)>& Work);
    void DetachView();
    void ForgetView();
    void ForgetTImage();
    void TakeViewBitmap();
    void ReturnToOwnBitmap();
    void FreeOwnBitmap();
    void RewrapTBitmap();
    // The entry of Source for the current state, or null when none can be made.
    std::unique_ptr<TObject> MakeEntry(TIEUndoSource Source);
    // SaveUndo (FireEvent) / SaveRedo; True when an entry was pushed.
    bool SaveState(const TUndoStack& Stack, TIEUndoSource Source, bool FireEvent);
    void SaveStateCaptioned(const TUndoStack& Stack, const std::wstring& Caption, TIEUndoSource Source, bool FireEvent);
    void RestoreEntry(const TUndoStack& Stack, int32_t Position, bool AddRedo);
    void RestoreLayers(TStream* Stream);

    TIEProcViewLink* FAttachedView = nullptr;
    // The attached viewer's component, kept at attachment: a viewer being freed is recognised by
    // it without calling into the half-destroyed viewer.
    TComponent* FAttachedViewComponent = nullptr;
    void* ViewCallbackHandle = nullptr;
    TColor StoredBackground = 0;
    TFont* FPreviewFont = nullptr;   // owned (a font of the visual layer; null in the native build)
    TImage* FAttachedTImage = nullptr;
    TIEBitmap* WorkBitmap = nullptr;
    bool OwnsWorkBitmap = false;
    std::unique_ptr<TIPDialogParams> FDialogParams;
    std::vector<std::unique_ptr<TObject>> UndoList;
    std::vector<TIEUndoSource> UndoSources;
    std::vector<std::wstring> UndoCaptions;
    std::vector<std::unique_ptr<TObject>> RedoList;
    std::vector<TIEUndoSource> RedoSources;
    std::vector<std::wstring> RedoCaptions;
    TBitmap* AttachedTBitmap = nullptr;
};

// The seven-entry preference list of a pixel format (free places ieNoFormat) that CheckPixelFormat
// walks before falling back to the highest-numbered allowed format.
const TIEPixelFormat* IEPixelFormatPreferences(TIEPixelFormat Format);

// ---- Free routines of the canvas operations ----
// Fills X1..X2-1 by Y1..Y2-1 (cut to the bitmap) with Color: ie1g by the red channel, ie8g by its
// grey level, ie24RGB directly, other formats through FillRect. Progress per row for the first
// three.
void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TIERGB& Color,
                const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// The smallest inclusive rectangle holding every pixel whose alpha is not 0; the whole image
// without an alpha channel; (width, height, -1, -1) for a fully transparent one.
TIERect IEAlphaBoundingRect(TIEBitmap* Bitmap);

// The font of the processing dialogs (the visual layer's; none in the native build).
TFont* IECreatePreviewFont();
void IEFreePreviewFont(TFont* Font);
void IEAssignPreviewFont(TFont* Dest, TFont* Source);
