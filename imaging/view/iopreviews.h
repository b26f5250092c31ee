// The parameters preview dialog's behaviour: which pages it shows, the working copy of the
// values its pages edit, what OK and Apply write back, the TIFF compression list, the reading of
// its text fields and the delayed automatic preview. The windowed controls sit on top of this.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Clock.h"
#include "iecoredefs_words.h"
#include "picturaio_params.h"

// The dialog's pages, in the order of their bits (bit 2 + page) in a page set.
enum TIOPreviewsPage : uint8_t {
    ioppgJPEG,
    ioppgTIFF,
    ioppgGIF,
    ioppgBMP,
    ioppgPCX,
    ioppgPNG,
    ioppgTGA,
    ioppgJ2000,
};

// Page-set bits: every page, the page of the current format, then one bit per page.
constexpr uint16_t ioppAllPages = 1u << 0;
constexpr uint16_t ioppCurrentFormat = 1u << 1;
constexpr uint16_t IEPreviewsPageBit(TIOPreviewsPage Page) { return static_cast<uint16_t>(1u << (Page + 2)); }

// The page bit of a file type, 0 for a format without a page.
uint16_t IEPreviewsFileTypePageBit(TIOFileType FileType);

// The TIFF compression list: its entries, and the conversions between list index and
// compression code. The LZW entry is listed only when an LZW encoder is installed.
std::vector<std::wstring> IETIFFCompressionEntries(bool WithLZW);
uint8_t IETIFFCompressionFromIndex(int32_t Index, bool WithLZW);
int32_t IETIFFCompressionToIndex(uint8_t Code, bool WithLZW);

// The PNG filter list: one entry for each filter code (0 none, 1 sub, 2 Paeth, 3 up, 4 average,
// 5 all). A code outside the list (the encoder's own choice) selects no entry and is kept.
std::vector<std::wstring> IEPNGFilterEntries();
int32_t IEPNGFilterToIndex(uint8_t Code);

// Text-field reading: a field that is not a number counts as its default.
int32_t IEPreviewsFieldValue(const std::string& Text);          // default 0
int32_t IEPreviewsQualityValue(const std::string& Text);        // default 50
double IEPreviewsJ2000RateValue(const std::string& Text);       // thousandths, default 1000

// The colour lists of the pages and the sample layout (BitsPerSample, SamplesPerPixel) of each
// entry.
enum TIOPreviewsColorList : uint8_t {
    ieclTIFFFull,
    ieclTIFFSimplified,
    ieclGIF,
    ieclBMP,
    ieclPCX,
    ieclPNG,
    ieclTGA,
};
struct TIOPreviewsLayout {
    const wchar_t* Caption;
    int32_t BitsPerSample;
    int32_t SamplesPerPixel;
};
const std::vector<TIOPreviewsLayout>& IEPreviewsColorEntries(TIOPreviewsColorList List);
// The entry that shows a layout. On the full TIFF page the photometric then corrects it.
int32_t IEPreviewsLayoutIndex(TIOPreviewsColorList List, int32_t BitsPerSample, int32_t SamplesPerPixel);
int32_t IEPreviewsTIFFColorIndex(int32_t BitsPerSample, int32_t SamplesPerPixel, uint8_t Photometric);

// The linked choices of the TIFF pages. Full page: a changed photometric picks a fitting colour
// entry, a changed colour entry limits the photometric. Simplified page (working values): fax
// compressions need one bit and JPEG true colour; a layout that does not fit the chosen
// compression resets it to uncompressed.
void IEPreviewsTIFFFullLink(int32_t& ColorIndex, uint8_t& Photometric, bool PhotometricChanged);
void IEPreviewsTIFFSimplifiedLink(TIOParamsVals& Working, bool CompressionChanged);

// The colour reduction that saving a page's format would cause, which the result view shows:
// a palette of Colors entries kept in the result's parameters, a conversion to Colors colours,
// a conversion to grey, the palette dropped, or nothing.
enum TIEPreviewsReductionKind : uint8_t {
    ierkNone,
    ierkPalette,
    ierkConvert,
    ierkGray,
    ierkDropPalette,
};
struct TIEPreviewsReduction {
    TIEPreviewsReductionKind Kind;
    int32_t Colors;
};
TIEPreviewsReduction IEPreviewsReductionOf(TIOPreviewsPage Page, const TIOParamsVals& Working);

// The dialog's captions in a language: the name of each control with its text (a word of the
// word table, with ":" after it or, for group boxes, a blank on each side).
struct TIOPreviewsCaption {
    const char* Control;
    std::wstring Caption;
};
std::vector<TIOPreviewsCaption> IEPreviewsCaptions(TMsgLanguage Language);

// The delay of the automatic preview after the last change.
constexpr uint32_t IEPreviewsApplyDelayMs = 750;

class TfIOPreviews {
public:
    // Params: the parameter set the dialog edits (not owned).
    explicit TfIOPreviews(TIOParamsVals* AParams);
    ~TfIOPreviews();
    TfIOPreviews(const TfIOPreviews&) = delete;
    TfIOPreviews& operator=(const TfIOPreviews&) = delete;

    // Stores the requested pages, adding the current format's page when ioppCurrentFormat is
    // set. False when nothing but "current format" was asked for and that format has no page:
    // the dialog is then not shown.
    bool SetPages(uint16_t Pages);
    uint16_t GetPages() const { return FPages; }
    // Whether a page's tab is shown for the stored pages.
    bool PageVisible(TIOPreviewsPage Page) const;
    // The page that opens first: the current format's when shown, else the first shown page.
    TIOPreviewsPage FirstPage() const;

    // Copies Params into the working copy.
    void LoadWorkingValues();
    // The values the pages edit; page handlers change them through Change.
    TIOParamsVals& Working() { return *FWorking; }
    const TIOParamsVals& Working() const { return *FWorking; }

    TIOPreviewsPage ActivePage() const { return FActivePage; }
    // Page switching: edits of the page left are dropped (the working copy is reloaded) unless
    // they were applied.
    void PageControl1Changing();
    void PageControl1Change(TIOPreviewsPage NewPage);

    // A page handler's change: Edit updates the working copy and returns whether a value that
    // changes the encoded result differs from before. Ignored while the controls are filled.
    void Change(const std::function<bool(TIOParamsVals&)>& Edit);

    // OK and Apply: the active page's values go into Params, FileType last.
    void Button1Click();
    void btnApplyClick();
    bool ApplyEnabled() const { return FApplyEnabled; }

    // Automatic preview: while locked, every change restarts the 750 ms timer; when it fires the
    // preview runs once.
    bool LockPreview = false;
    void ScheduleUpdate();
    void tmrApplyActTimer();
    bool TimerRunning() const { return FTimer != 0; }
    // Runs the preview (once the dialog is activated).
    void UpdatePreview();
    // The preview itself (the views' work); called by UpdatePreview.
    std::function<void()> OnUpdatePreview;

    // Activation: fills the first page and runs the first preview.
    void FormActivate();
    bool Activated() const { return FActivated; }
    bool Reacting() const { return FReacting; }

    bool Simplified = true;
    // Whether an LZW encoder is installed (the TIFF list shows LZW).
    static bool TIFFWithLZW();

private:
    void WritePage(TIOPreviewsPage Page);
    void StopTimer();

    TIOParamsVals* FParams;
    TIOParamsVals* FWorking;
    uint16_t FPages = 0;
    TIOPreviewsPage FActivePage = ioppgJPEG;
    bool FReacting = false;
    bool FActivated = false;
    bool FApplyEnabled = false;
    TTimerId FTimer = 0;
    TTimerSource* FTimerSource = nullptr;
};
