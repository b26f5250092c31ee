#include "iopreviews.h"

#include "iecoreutils_general.h"
#include "iecoreutils_text.h"

uint16_t IEPreviewsFileTypePageBit(TIOFileType FileType) {
    switch (FileType) {
        case ioTIFF: return IEPreviewsPageBit(ioppgTIFF);
        case ioGIF: return IEPreviewsPageBit(ioppgGIF);
        case ioJPEG: return IEPreviewsPageBit(ioppgJPEG);
        case ioPCX: return IEPreviewsPageBit(ioppgPCX);
        case ioBMP: return IEPreviewsPageBit(ioppgBMP);
        case ioPNG: return IEPreviewsPageBit(ioppgPNG);
        case ioTGA: return IEPreviewsPageBit(ioppgTGA);
        case ioJP2:
        case ioJ2K: return IEPreviewsPageBit(ioppgJ2000);
        default: return 0;
    }
}

// TIFF compression codes of the list entries.
namespace {
constexpr uint8_t kTIFFLZW = 5, kTIFFJPEG = 7, kTIFFPackBits = 8, kTIFFDeflate = 9;
}

std::vector<std::wstring> IETIFFCompressionEntries(bool WithLZW) {
    std::vector<std::wstring> entries = {L"Uncompressed", L"CCITT1D", L"G3Fax1D", L"G3Fax2D", L"G4Fax"};
    if (WithLZW) entries.push_back(L"LZW");
    entries.insert(entries.end(), {L"JPEG", L"Packbits", L"ZIP"});
    return entries;
}

uint8_t IETIFFCompressionFromIndex(int32_t Index, bool WithLZW) {
    if (Index >= 0 && Index <= 4) return static_cast<uint8_t>(Index);
    if (WithLZW) {
        if (Index == 5) return kTIFFLZW;
        --Index;
    }
    switch (Index) {
        case 5: return kTIFFJPEG;
        case 6: return kTIFFPackBits;
        case 7: return kTIFFDeflate;
        default: return 0;
    }
}

int32_t IETIFFCompressionToIndex(uint8_t Code, bool WithLZW) {
    const int32_t shift = WithLZW ? 1 : 0;
    switch (Code) {
        case 1:
        case 2:
        case 3:
        case 4: return Code;
        // Without an encoder LZW cannot be written again: the PackBits entry stands for it.
        case kTIFFLZW: return WithLZW ? 5 : 6;
        case kTIFFJPEG: return 5 + shift;
        case kTIFFPackBits: return 6 + shift;
        case kTIFFDeflate: return 7 + shift;
        default: return 0;
    }
}

std::vector<std::wstring> IEPNGFilterEntries() { return {L"None", L"Sub", L"Paeth", L"Up", L"Average", L"All"}; }

int32_t IEPNGFilterToIndex(uint8_t Code) { return Code <= 5 ? Code : -1; }

int32_t IEPreviewsFieldValue(const std::string& Text) { return IEStrToIntDefA(Text, 0); }
int32_t IEPreviewsQualityValue(const std::string& Text) { return IEStrToIntDefA(Text, 50); }
double IEPreviewsJ2000RateValue(const std::string& Text) { return IEStrToIntDefA(Text, 1000) / 1000.0; }

TfIOPreviews::TfIOPreviews(TIOParamsVals* AParams) : FParams(AParams), FWorking(new TIOParamsVals(nullptr)) {}

TfIOPreviews::~TfIOPreviews() {
    StopTimer();
    delete FWorking;
}

bool TfIOPreviews::TIFFWithLZW() { return IETIFFLZWCompressor != nullptr; }

bool TfIOPreviews::SetPages(uint16_t Pages) {
    FPages = Pages;
    if (FPages & ioppCurrentFormat) FPages |= IEPreviewsFileTypePageBit(FParams->FileType);
    return FPages != ioppCurrentFormat;
}

bool TfIOPreviews::PageVisible(TIOPreviewsPage Page) const {
    return (FPages & ioppAllPages) != 0 || (FPages & IEPreviewsPageBit(Page)) != 0;
}

TIOPreviewsPage TfIOPreviews::FirstPage() const {
    const uint16_t current = IEPreviewsFileTypePageBit(FParams->FileType);
    for (int page = ioppgJPEG; page <= ioppgJ2000; ++page) {
        const auto p = static_cast<TIOPreviewsPage>(page);
        if (PageVisible(p) && current == IEPreviewsPageBit(p)) return p;
    }
    for (int page = ioppgJPEG; page <= ioppgJ2000; ++page) {
        const auto p = static_cast<TIOPreviewsPage>(page);
        if (PageVisible(p)) return p;
    }
    return ioppgJPEG;
}

void TfIOPreviews::LoadWorkingValues() { FWorking->Assign(FParams); }

void TfIOPreviews::FormActivate() {
    FReacting = true;
    FActivePage = FirstPage();
    LoadWorkingValues();
    FApplyEnabled = false;
    FActivated = true;
    UpdatePreview();
}

void TfIOPreviews::PageControl1Changing() { FReacting = false; }

void TfIOPreviews::PageControl1Change(TIOPreviewsPage NewPage) {
    FActivePage = NewPage;
    FReacting = true;
    LoadWorkingValues();
    if (LockPreview) UpdatePreview();
    FApplyEnabled = false;
}

void TfIOPreviews::Change(const std::function<bool(TIOParamsVals&)>& Edit) {
    if (!FReacting) return;
    if (Edit(*FWorking)) ScheduleUpdate();
    FApplyEnabled = true;
}

void TfIOPreviews::StopTimer() {
    if (FTimer && FTimerSource) FTimerSource->StopTimer(FTimer);
    FTimer = 0;
    FTimerSource = nullptr;
}

void TfIOPreviews::ScheduleUpdate() {
    if (!LockPreview) return;
    StopTimer();
    FTimerSource = GetTimerSource();
    if (FTimerSource) FTimer = FTimerSource->StartTimer(IEPreviewsApplyDelayMs, [this] { tmrApplyActTimer(); });
}

void TfIOPreviews::tmrApplyActTimer() {
    StopTimer();
    UpdatePreview();
}

void TfIOPreviews::UpdatePreview() {
    if (!FActivated) return;
    if (OnUpdatePreview) OnUpdatePreview();
}

void TfIOPreviews::WritePage(TIOPreviewsPage Page) {
    TIOParamsVals& p = *FParams;
    const TIOParamsVals& w = *FWorking;
    switch (Page) {
        case ioppgJPEG:
            p.JPEGQuality = w.JPEGQuality;
            p.JPEGColorSpace = w.JPEGColorSpace;
            p.JPEGDCTMethod = w.JPEGDCTMethod;
            p.JPEGOptimalHuffman = w.JPEGOptimalHuffman;
            p.JPEGSmooth = w.JPEGSmooth;
            p.JPEGProgressive = w.JPEGProgressive;
            p.FileType = ioJPEG;
            break;
        case ioppgTIFF:
            p.TIFFCompression = w.TIFFCompression;
            p.BitsPerSample = w.BitsPerSample;
            p.SamplesPerPixel = w.SamplesPerPixel;
            if (!Simplified) {
                p.SetImageIndex(w.ImageIndex);
                p.TIFFPhotometric = w.TIFFPhotometric;
                p.TIFFXPos = w.TIFFXPos;
                p.TIFFYPos = w.TIFFYPos;
                p.TIFFDocumentName = w.TIFFDocumentName;
                p.TIFFImageDescription = w.TIFFImageDescription;
                p.TIFFPageName = w.TIFFPageName;
                p.TIFFPageNumber = w.TIFFPageNumber;
                p.TIFFPageCount = w.TIFFPageCount;
            } else {
                p.TIFFPhotometric = w.TIFFPhotometric;
            }
            p.FileType = ioTIFF;
            break;
        case ioppgGIF:
            // One sample per pixel is implied by the format; it is not written.
            p.BitsPerSample = w.BitsPerSample;
            if (!Simplified) {
                p.SetImageIndex(w.ImageIndex);
                p.GIFFlagTranspColor = w.GIFFlagTranspColor;
                p.GIFTranspColor = w.GIFTranspColor;
                p.GIFInterlaced = w.GIFInterlaced;
                p.GIFBackground = w.GIFBackground;
                p.GIFDelayTime = w.GIFDelayTime;
                p.GIFXPos = w.GIFXPos;
                p.GIFYPos = w.GIFYPos;
            }
            p.FileType = ioGIF;
            break;
        case ioppgBMP:
            p.BMPCompression = w.BMPCompression;
            p.BitsPerSample = w.BitsPerSample;
            p.SamplesPerPixel = w.SamplesPerPixel;
            p.FileType = ioBMP;
            break;
        case ioppgPCX:
            p.PCXCompression = w.PCXCompression;
            p.BitsPerSample = w.BitsPerSample;
            p.SamplesPerPixel = w.SamplesPerPixel;
            p.FileType = ioPCX;
            break;
        case ioppgPNG:
            p.BitsPerSample = w.BitsPerSample;
            p.SamplesPerPixel = w.SamplesPerPixel;
            p.PNGBackground = w.PNGBackground;
            p.PNGFilter = w.PNGFilter;
            p.PNGInterlaced = w.PNGInterlaced;
            p.PNGCompression = w.PNGCompression;
            p.FileType = ioPNG;
            break;
        case ioppgTGA:
            p.BitsPerSample = w.BitsPerSample;
            p.SamplesPerPixel = w.SamplesPerPixel;
            p.TGABackground = w.TGABackground;
            p.TGACompressed = w.TGACompressed;
            p.TGAImageName = w.TGAImageName;
            p.TGADescriptor = w.TGADescriptor;
            p.FileType = ioTGA;
            break;
        case ioppgJ2000:
            p.J2000Rate = w.J2000Rate;
            p.J2000ColorSpace = w.J2000ColorSpace;
            p.SamplesPerPixel = w.J2000ColorSpace == 0 ? 1 : 3;
            p.BitsPerSample = 8;
            // A JP2 source stays JP2; anything else is written as a code stream.
            p.FileType = p.FileType == ioJP2 ? ioJP2 : ioJ2K;
            break;
    }
}

void TfIOPreviews::Button1Click() { WritePage(FActivePage); }

void TfIOPreviews::btnApplyClick() {
    Button1Click();
    FApplyEnabled = false;
}

// ---- colour lists

namespace {
constexpr uint8_t kWhiteIsZero = 0, kBlackIsZero = 1, kRGB = 2, kPalette = 3, kMask = 4, kCMYK = 5, kYCbCr = 6,
                  kCIELab = 7;
}

const std::vector<TIOPreviewsLayout>& IEPreviewsColorEntries(TIOPreviewsColorList List) {
    static const std::vector<TIOPreviewsLayout> tiffFull = {
        {L"B/W", 1, 1}, {L"16", 4, 1}, {L"256", 8, 1}, {L"65,536", 16, 1}, {L"16M", 8, 3}};
    static const std::vector<TIOPreviewsLayout> tiffSimplified = {{L"2", 1, 1}, {L"16", 4, 1}, {L"256", 8, 1}, {L"16M", 8, 3}};
    static const std::vector<TIOPreviewsLayout> gif = {{L"B/W", 1, 1}, {L"4", 2, 1},  {L"8", 3, 1},   {L"16", 4, 1},
                                                       {L"32", 5, 1},  {L"64", 6, 1}, {L"128", 7, 1}, {L"256", 8, 1}};
    static const std::vector<TIOPreviewsLayout> bmp = {
        {L"B/W", 1, 1}, {L"16", 4, 1}, {L"256", 8, 1}, {L"16M", 8, 3}, {L"16M (32bit)", 8, 3}};
    static const std::vector<TIOPreviewsLayout> pcx = {{L"B/W", 1, 1}, {L"16", 4, 1}, {L"256", 8, 1}, {L"16M", 8, 3}};
    static const std::vector<TIOPreviewsLayout> pngTga = {{L"B/W", 1, 1}, {L"256", 8, 1}, {L"16M", 8, 3}};
    switch (List) {
        case ieclTIFFFull: return tiffFull;
        case ieclTIFFSimplified: return tiffSimplified;
        case ieclGIF: return gif;
        case ieclBMP: return bmp;
        case ieclPCX: return pcx;
        default: return pngTga;
    }
}

namespace {

int32_t FindEntry(const std::vector<TIOPreviewsLayout>& Entries, const wchar_t* Caption) {
    for (size_t i = 0; i < Entries.size(); ++i)
        if (std::wstring(Entries[i].Caption) == Caption) return static_cast<int32_t>(i);
    return -1;
}

}  // namespace

int32_t IEPreviewsLayoutIndex(TIOPreviewsColorList List, int32_t BitsPerSample, int32_t SamplesPerPixel) {
    const auto& entries = IEPreviewsColorEntries(List);
    if (List == ieclGIF) return BitsPerSample >= 1 && BitsPerSample <= 8 ? BitsPerSample - 1 : 7;
    const int32_t colours16 = FindEntry(entries, L"16");
    const int32_t colours256 = FindEntry(entries, L"256");
    const int32_t trueColour = FindEntry(entries, L"16M");
    if (SamplesPerPixel == 1) {
        if (BitsPerSample == 1) return 0;
        // A list without a 16-colour entry shows the 256 entry, which keeps every colour.
        if (BitsPerSample >= 2 && BitsPerSample <= 4) return colours16 >= 0 ? colours16 : colours256;
        if (BitsPerSample >= 5 && BitsPerSample <= 8) return colours256;
        if (BitsPerSample == 16) {
            const int32_t grey16 = FindEntry(entries, L"65,536");
            return grey16 >= 0 ? grey16 : colours256;
        }
        return 0;
    }
    if (SamplesPerPixel == 3 && (BitsPerSample == 8 || (List == ieclBMP && BitsPerSample == 5))) return trueColour;
    // Other colour layouts (more bits or samples) are saved as true colour.
    return SamplesPerPixel > 1 ? trueColour : 0;
}

int32_t IEPreviewsTIFFColorIndex(int32_t BitsPerSample, int32_t SamplesPerPixel, uint8_t Photometric) {
    const auto& entries = IEPreviewsColorEntries(ieclTIFFFull);
    const int32_t bw = 0, colours256 = FindEntry(entries, L"256"), trueColour = FindEntry(entries, L"16M");
    int32_t index = IEPreviewsLayoutIndex(ieclTIFFFull, BitsPerSample, SamplesPerPixel);
    switch (Photometric) {
        case kCMYK:
        case kYCbCr:
        case kCIELab: index = trueColour; break;
        case kRGB:
        case kPalette:
        case kMask:
            if (index == bw) index = trueColour;
            break;
        case kWhiteIsZero:
        case kBlackIsZero: index = BitsPerSample == 1 ? bw : colours256; break;
        default: break;
    }
    return index;
}

// ---- linked TIFF choices

void IEPreviewsTIFFFullLink(int32_t& ColorIndex, uint8_t& Photometric, bool PhotometricChanged) {
    const auto& entries = IEPreviewsColorEntries(ieclTIFFFull);
    const int32_t bw = 0, colours16 = FindEntry(entries, L"16"), colours256 = FindEntry(entries, L"256"),
                  trueColour = FindEntry(entries, L"16M");
    if (PhotometricChanged) {
        switch (Photometric) {
            case kWhiteIsZero:
            case kBlackIsZero:
                if (ColorIndex > bw) ColorIndex = colours256;
                break;
            case kRGB:
            case kCMYK:
            case kYCbCr:
            case kCIELab: ColorIndex = trueColour; break;
            case kPalette: ColorIndex = colours256; break;
            default: break;
        }
        return;
    }
    if (ColorIndex == bw) {
        if (Photometric > kBlackIsZero) Photometric = kBlackIsZero;
    } else if (ColorIndex == colours16) {
        Photometric = kPalette;
    } else if (ColorIndex == colours256) {
        if (Photometric == kRGB || Photometric > kPalette) Photometric = kPalette;
    }
}

void IEPreviewsTIFFSimplifiedLink(TIOParamsVals& Working, bool CompressionChanged) {
    const bool fax = Working.TIFFCompression >= 1 && Working.TIFFCompression <= 4;
    const bool jpeg = Working.TIFFCompression == kTIFFJPEG;
    if (CompressionChanged) {
        if (fax) {
            Working.BitsPerSample = 1;
            Working.SamplesPerPixel = 1;
            Working.TIFFPhotometric = kBlackIsZero;
        } else if (jpeg) {
            Working.BitsPerSample = 8;
            Working.SamplesPerPixel = 3;
            Working.TIFFPhotometric = kYCbCr;
        }
        return;
    }
    const bool trueColour = Working.BitsPerSample == 8 && Working.SamplesPerPixel == 3;
    if ((fax && Working.BitsPerSample > 1) || (jpeg && !trueColour)) Working.TIFFCompression = 0;
}

// ---- what the result view simulates

TIEPreviewsReduction IEPreviewsReductionOf(TIOPreviewsPage Page, const TIOParamsVals& Working) {
    const int32_t samples = Page == ioppgGIF ? 1 : Working.SamplesPerPixel;
    const int32_t colors = IEColorCount(Working.BitsPerSample, samples);
    auto paletted = [colors]() -> TIEPreviewsReduction {
        if (colors <= 256) return {ierkPalette, colors};
        return {ierkDropPalette, 0};
    };
    switch (Page) {
        case ioppgGIF:
        case ioppgPNG:
        case ioppgTGA: return paletted();
        case ioppgBMP:
        case ioppgPCX:
            if (colors <= 256) return {ierkConvert, colors};
            return {ierkNone, 0};
        case ioppgTIFF:
            if (Working.BitsPerSample == 8 && samples == 1 &&
                (Working.TIFFPhotometric == kWhiteIsZero || Working.TIFFPhotometric == kBlackIsZero))
                return {ierkGray, 0};
            if (Working.TIFFPhotometric < kCMYK) return paletted();
            return {ierkNone, 0};
        default: return {ierkNone, 0};   // JPEG pages preview the decoded file itself
    }
}

// ---- captions

namespace {

enum TCaptionForm : uint8_t { cfPlain, cfColon, cfBlanks };

struct TCaptionRow {
    TIEWordIndex Word;
    TCaptionForm Form;
    std::vector<const char*> Controls;
};

const std::vector<TCaptionRow>& CaptionRows() {
    static const std::vector<TCaptionRow> rows = {
        {37, cfPlain, {"fIOPreviews"}},
        {0, cfPlain, {"btnPreview"}},
        {1, cfColon, {"Label1"}},
        {2, cfColon, {"Label2"}},
        {3, cfPlain, {"Button1"}},
        {4, cfPlain, {"Button2"}},
        {5, cfPlain, {"chkLockPreview"}},
        {120, cfPlain, {"btnApply"}},
        {38, cfColon, {"Label23", "Label72"}},
        {39, cfColon, {"Label26"}},
        {40, cfColon, {"Label27"}},
        {42, cfPlain, {"CheckBox2"}},
        {46, cfPlain, {"CheckBox3"}},
        {43, cfColon, {"Label3", "Label73", "Label67", "Label9", "Label77", "Label22", "Label83", "Label39", "Label45", "Label50", "Label58"}},
        {44, cfColon, {"Label24", "Label75", "Label69", "Label17", "Label79", "Label29", "Label85", "Label41", "Label47", "Label52", "Label60"}},
        {45, cfBlanks, {"GroupBox5", "GroupBox2", "GroupBox3"}},
        {47, cfColon, {"Label5", "Label81", "Label37", "Label43", "Label56", "CheckBox1"}},
        {48, cfColon, {"Label6", "Label20"}},
        {49, cfColon, {"Label57", "Label71", "Label7"}},
        {50, cfBlanks, {"GroupBox1"}},
        {51, cfColon, {"Label12", "Label64"}},
        {52, cfColon, {"Label13", "Label65"}},
        {53, cfColon, {"Label14"}},
        {54, cfColon, {"Label15"}},
        {55, cfPlain, {"Label16"}},
        {56, cfColon, {"Label8"}},
        {57, cfColon, {"Label10"}},
        {58, cfColon, {"Label19", "Label82", "Label21", "Label87", "Label38", "Label44", "Label49", "Label62"}},
        {59, cfColon, {"CheckBox4"}},
        {61, cfColon, {"CheckBox5"}},
        {60, cfColon, {"Label34"}},
        {62, cfColon, {"Label35", "Label54", "Label63"}},
        {63, cfColon, {"Label31"}},
        {64, cfColon, {"Label32"}},
        {65, cfColon, {"Label33"}},
        {66, cfColon, {"Label55"}},
        {123, cfColon, {"Label66"}},
    };
    return rows;
}

}  // namespace

std::vector<TIOPreviewsCaption> IEPreviewsCaptions(TMsgLanguage Language) {
    std::vector<TIOPreviewsCaption> captions;
    for (const TCaptionRow& row : CaptionRows()) {
        std::wstring text = IEGetWord(row.Word, Language);
        if (row.Form == cfColon) text += L":";
        if (row.Form == cfBlanks) text = L" " + text + L" ";
        for (const char* control : row.Controls) captions.push_back({control, text});
    }
    return captions;
}
