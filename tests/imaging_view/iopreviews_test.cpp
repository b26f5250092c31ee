// The parameters dialog's behaviour without its window: page selection, the TIFF compression
// list, text fields, page changes, OK/Apply/Cancel and the delayed automatic preview.
#include <gtest/gtest.h>

#include "iopreviews.h"

namespace {

struct TPagesCase {
    uint16_t Pages;
    TIOFileType FileType;
    uint16_t Stored;
    bool Shown;
};

}  // namespace

TEST(TfIOPreviews, SetPagesAddsTheCurrentFormatAndRefusesAnEmptySet) {
    const uint16_t jpeg = IEPreviewsPageBit(ioppgJPEG), tiff = IEPreviewsPageBit(ioppgTIFF),
                   j2k = IEPreviewsPageBit(ioppgJ2000), png = IEPreviewsPageBit(ioppgPNG);
    const TPagesCase cases[] = {
        {ioppCurrentFormat, ioJPEG, ioppCurrentFormat | jpeg, true},
        {ioppCurrentFormat, ioTIFF, ioppCurrentFormat | tiff, true},
        {ioppCurrentFormat, ioJP2, ioppCurrentFormat | j2k, true},
        {ioppCurrentFormat, ioJ2K, ioppCurrentFormat | j2k, true},
        {ioppCurrentFormat, ioPSD, ioppCurrentFormat, false},      // no page for the format
        {ioppCurrentFormat | png, ioPSD, ioppCurrentFormat | png, true},
        {png, ioJPEG, png, true},                                  // bit 1 clear: nothing added
        {ioppAllPages, ioPSD, ioppAllPages, true},
        {0, ioJPEG, 0, true},
    };
    for (const auto& c : cases) {
        TIOParamsVals params(nullptr);
        params.FileType = c.FileType;
        TfIOPreviews dialog(&params);
        EXPECT_EQ(dialog.SetPages(c.Pages), c.Shown) << c.Pages << " " << c.FileType;
        EXPECT_EQ(dialog.GetPages(), c.Stored) << c.Pages << " " << c.FileType;
    }
}

TEST(TfIOPreviews, VisiblePagesAndTheFirstPage) {
    TIOParamsVals params(nullptr);
    params.FileType = ioPNG;
    TfIOPreviews dialog(&params);
    dialog.SetPages(IEPreviewsPageBit(ioppgGIF) | IEPreviewsPageBit(ioppgPNG));
    EXPECT_TRUE(dialog.PageVisible(ioppgGIF));
    EXPECT_FALSE(dialog.PageVisible(ioppgJPEG));
    EXPECT_EQ(dialog.FirstPage(), ioppgPNG);
    params.FileType = ioTIFF;   // its page is not shown: the first shown page opens
    EXPECT_EQ(dialog.FirstPage(), ioppgGIF);
    dialog.SetPages(ioppAllPages);
    EXPECT_TRUE(dialog.PageVisible(ioppgJ2000));
    EXPECT_EQ(dialog.FirstPage(), ioppgTIFF);
}

TEST(TfIOPreviews, TIFFCompressionListWithAndWithoutLZW) {
    EXPECT_EQ(IETIFFCompressionEntries(true).size(), 9u);
    const auto without = IETIFFCompressionEntries(false);
    ASSERT_EQ(without.size(), 8u);
    EXPECT_EQ(without[5], L"JPEG");
    // code -> index with LZW, index without LZW
    const struct {
        uint8_t Code;
        int32_t WithLZW, WithoutLZW;
    } cases[] = {{0, 0, 0}, {1, 1, 1}, {4, 4, 4}, {5, 5, 6}, {7, 6, 5}, {8, 7, 6}, {9, 8, 7}, {6, 0, 0}, {200, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(IETIFFCompressionToIndex(c.Code, true), c.WithLZW) << int(c.Code);
        EXPECT_EQ(IETIFFCompressionToIndex(c.Code, false), c.WithoutLZW) << int(c.Code);
    }
    // LZW without an encoder shows as "Packbits" and is written back as PackBits.
    EXPECT_EQ(without[IETIFFCompressionToIndex(5, false)], L"Packbits");
    for (bool lzw : {true, false}) {
        const auto entries = IETIFFCompressionEntries(lzw);
        for (int32_t i = 0; i < (int32_t)entries.size(); ++i)
            EXPECT_EQ(IETIFFCompressionToIndex(IETIFFCompressionFromIndex(i, lzw), lzw), i) << lzw << " " << i;
    }
}

TEST(TfIOPreviews, EveryPNGFilterCodeHasItsEntry) {
    const auto entries = IEPNGFilterEntries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[IEPNGFilterToIndex(2)], L"Paeth");
    EXPECT_EQ(entries[IEPNGFilterToIndex(3)], L"Up");
    EXPECT_EQ(entries[IEPNGFilterToIndex(5)], L"All");
    EXPECT_EQ(IEPNGFilterToIndex(6), -1);
}

TEST(TfIOPreviews, BadNumbersInTextFieldsCountAsTheirDefaults) {
    EXPECT_EQ(IEPreviewsQualityValue("abc"), 50);
    EXPECT_EQ(IEPreviewsQualityValue(""), 50);
    EXPECT_EQ(IEPreviewsQualityValue("75"), 75);
    EXPECT_EQ(IEPreviewsFieldValue("abc"), 0);
    EXPECT_EQ(IEPreviewsFieldValue("12"), 12);
    EXPECT_DOUBLE_EQ(IEPreviewsJ2000RateValue(""), 1.0);
    EXPECT_DOUBLE_EQ(IEPreviewsJ2000RateValue("250"), 0.25);
}

TEST(TfIOPreviews, PageChangeDiscardsEditsOkWritesCancelLeaves) {
    TIOParamsVals params(nullptr);
    params.FileType = ioJPEG;
    params.JPEGQuality = 80;
    params.PNGCompression = 5;
    {
        TfIOPreviews dialog(&params);
        dialog.SetPages(ioppAllPages);
        dialog.FormActivate();
        EXPECT_EQ(dialog.ActivePage(), ioppgJPEG);
        EXPECT_FALSE(dialog.ApplyEnabled());
        dialog.Change([](TIOParamsVals& w) { w.JPEGQuality = 30; return true; });
        EXPECT_TRUE(dialog.ApplyEnabled());
        // Leaving the page without Apply drops its edit; changes while switching are ignored.
        dialog.PageControl1Changing();
        dialog.Change([](TIOParamsVals& w) { w.PNGCompression = 1; return true; });
        dialog.PageControl1Change(ioppgPNG);
        EXPECT_EQ(dialog.Working().JPEGQuality, 80);
        EXPECT_EQ(dialog.Working().PNGCompression, 5);
        EXPECT_FALSE(dialog.ApplyEnabled());
        dialog.Change([](TIOParamsVals& w) { w.PNGCompression = 9; return true; });
        // Cancel: the dialog goes away without writing.
    }
    EXPECT_EQ(params.PNGCompression, 5);
    EXPECT_EQ(params.FileType, ioJPEG);

    TfIOPreviews dialog(&params);
    dialog.SetPages(ioppAllPages);
    dialog.FormActivate();
    dialog.PageControl1Changing();
    dialog.PageControl1Change(ioppgPNG);
    dialog.Change([](TIOParamsVals& w) { w.PNGCompression = 9; return true; });
    dialog.Change([](TIOParamsVals& w) { w.JPEGQuality = 10; return true; });   // not this page's value
    dialog.Button1Click();
    EXPECT_EQ(params.PNGCompression, 9);
    EXPECT_EQ(params.JPEGQuality, 80);
    EXPECT_EQ(params.FileType, ioPNG);
}

TEST(TfIOPreviews, JPEG2000PageKeepsAJP2SourceAndApplyWritesWithoutClosing) {
    for (TIOFileType source : {ioJP2, ioJ2K, ioBMP}) {
        TIOParamsVals params(nullptr);
        params.FileType = source;
        TfIOPreviews dialog(&params);
        dialog.SetPages(ioppAllPages);
        dialog.FormActivate();
        if (dialog.ActivePage() != ioppgJ2000) {
            dialog.PageControl1Changing();
            dialog.PageControl1Change(ioppgJ2000);
        }
        dialog.Change([](TIOParamsVals& w) { w.J2000ColorSpace = 0; w.J2000Rate = 0.5; return true; });
        dialog.btnApplyClick();
        EXPECT_FALSE(dialog.ApplyEnabled());
        EXPECT_EQ(params.FileType, source == ioJP2 ? ioJP2 : ioJ2K);
        EXPECT_EQ(params.SamplesPerPixel, 1);
        EXPECT_EQ(params.BitsPerSample, 8);
        EXPECT_DOUBLE_EQ(params.J2000Rate, 0.5);
    }
}

TEST(TfIOPreviews, ThreeChangesWithinTheDelayGiveOnePreview) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    SetTimerSource(&timers);
    {
        TIOParamsVals params(nullptr);
        params.FileType = ioJPEG;
        TfIOPreviews dialog(&params);
        int previews = 0;
        dialog.OnUpdatePreview = [&] { ++previews; };
        dialog.LockPreview = true;
        dialog.SetPages(ioppAllPages);
        dialog.FormActivate();
        EXPECT_EQ(previews, 1);   // the first preview on activation
        for (int q : {10, 20, 30}) {
            dialog.Change([q](TIOParamsVals& w) { w.JPEGQuality = q; return true; });
            timers.Advance(300);
        }
        EXPECT_EQ(previews, 1);
        timers.Advance(IEPreviewsApplyDelayMs);
        EXPECT_EQ(previews, 2);
        timers.Advance(5000);
        EXPECT_EQ(previews, 2);   // the timer stopped after its preview
        // A change that does not alter the result schedules nothing; unlocked, nothing is timed.
        dialog.Change([](TIOParamsVals&) { return false; });
        EXPECT_FALSE(dialog.TimerRunning());
        dialog.LockPreview = false;
        dialog.Change([](TIOParamsVals& w) { w.JPEGQuality = 40; return true; });
        EXPECT_FALSE(dialog.TimerRunning());
        dialog.LockPreview = true;
        dialog.Change([](TIOParamsVals& w) { w.JPEGQuality = 50; return true; });
        EXPECT_TRUE(dialog.TimerRunning());
    }
    // Destroying the dialog stopped its timer.
    EXPECT_EQ(timers.ActiveCount(), 0);
    SetTimerSource(nullptr);
}

TEST(TfIOPreviews, LayoutsShowInTheirColourEntries) {
    const struct {
        TIOPreviewsColorList List;
        int32_t Bits, Samples;
        const wchar_t* Caption;
    } cases[] = {
        {ieclTIFFFull, 1, 1, L"B/W"},   {ieclTIFFFull, 3, 1, L"16"},     {ieclTIFFFull, 6, 1, L"256"},
        {ieclTIFFFull, 16, 1, L"65,536"}, {ieclTIFFFull, 8, 3, L"16M"},  {ieclTIFFSimplified, 1, 1, L"2"},
        {ieclBMP, 5, 3, L"16M"},        {ieclPCX, 4, 1, L"16"},          {ieclPNG, 4, 1, L"256"},
        {ieclTGA, 8, 3, L"16M"},        {ieclGIF, 4, 1, L"16"},          {ieclGIF, 2, 1, L"4"},
        {ieclPNG, 16, 3, L"16M"},
    };
    for (const auto& c : cases) {
        const auto& entries = IEPreviewsColorEntries(c.List);
        const int32_t index = IEPreviewsLayoutIndex(c.List, c.Bits, c.Samples);
        ASSERT_TRUE(index >= 0 && index < (int32_t)entries.size()) << c.Caption;
        EXPECT_EQ(std::wstring(entries[index].Caption), c.Caption) << int(c.List) << " " << c.Bits << "x" << c.Samples;
    }
    // Every GIF entry's layout loads back into itself.
    const auto& gif = IEPreviewsColorEntries(ieclGIF);
    for (int32_t i = 0; i < (int32_t)gif.size(); ++i)
        EXPECT_EQ(IEPreviewsLayoutIndex(ieclGIF, gif[i].BitsPerSample, gif[i].SamplesPerPixel), i);
}

TEST(TfIOPreviews, TIFFPhotometricCorrectsTheColourEntry) {
    const auto& entries = IEPreviewsColorEntries(ieclTIFFFull);
    const struct {
        int32_t Bits, Samples;
        uint8_t Photometric;
        const wchar_t* Caption;
    } cases[] = {
        {8, 4, 5, L"16M"}, {8, 3, 6, L"16M"}, {8, 1, 7, L"16M"},   // CMYK, YCbCr, CIELab
        {1, 1, 2, L"16M"}, {1, 1, 3, L"16M"}, {4, 1, 3, L"16"},    // RGB / palette turn B/W into 16M
        {1, 1, 0, L"B/W"}, {8, 3, 1, L"256"}, {16, 1, 1, L"256"},  // grey: B/W for 1 bit, else 256
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(entries[IEPreviewsTIFFColorIndex(c.Bits, c.Samples, c.Photometric)].Caption), c.Caption)
            << c.Bits << "x" << c.Samples << " photometric " << int(c.Photometric);
}

TEST(TfIOPreviews, LinkedTIFFChoices) {
    // Full page: (colour index, photometric) before, which changed, and after.
    const struct {
        int32_t Color;
        uint8_t Photometric;
        bool PhotometricChanged;
        int32_t ColorAfter;
        uint8_t PhotometricAfter;
    } cases[] = {
        {4, 1, true, 2, 1},  // grey turns 16M into 256
        {0, 0, true, 0, 0},  // B/W stays
        {0, 5, true, 4, 5},  // CMYK selects 16M
        {4, 3, true, 2, 3},  // palette selects 256
        {0, 2, false, 0, 1}, // B/W limits RGB to black-is-zero
        {1, 2, false, 1, 3}, // 16 selects palette
        {2, 2, false, 2, 3}, // 256 turns RGB into palette
        {2, 6, false, 2, 3}, // and limits YCbCr to palette
        {2, 1, false, 2, 1},
    };
    for (const auto& c : cases) {
        int32_t color = c.Color;
        uint8_t photometric = c.Photometric;
        IEPreviewsTIFFFullLink(color, photometric, c.PhotometricChanged);
        EXPECT_EQ(color, c.ColorAfter) << c.Color << "/" << int(c.Photometric);
        EXPECT_EQ(photometric, c.PhotometricAfter) << c.Color << "/" << int(c.Photometric);
    }

    TIOParamsVals w(nullptr);
    w.TIFFCompression = 4;   // G4 fax
    IEPreviewsTIFFSimplifiedLink(w, true);
    EXPECT_EQ(w.BitsPerSample, 1);
    EXPECT_EQ(w.SamplesPerPixel, 1);
    EXPECT_EQ(w.TIFFPhotometric, 1);
    w.BitsPerSample = 8;   // 256 colours cannot be faxed
    IEPreviewsTIFFSimplifiedLink(w, false);
    EXPECT_EQ(w.TIFFCompression, 0);
    w.TIFFCompression = 7;   // JPEG
    IEPreviewsTIFFSimplifiedLink(w, true);
    EXPECT_EQ(w.SamplesPerPixel, 3);
    EXPECT_EQ(w.TIFFPhotometric, 6);
    IEPreviewsTIFFSimplifiedLink(w, false);
    EXPECT_EQ(w.TIFFCompression, 7);
    w.SamplesPerPixel = 1;
    IEPreviewsTIFFSimplifiedLink(w, false);
    EXPECT_EQ(w.TIFFCompression, 0);
}

TEST(TfIOPreviews, ResultSimulatesTheColourReductionOfSaving) {
    const struct {
        TIOPreviewsPage Page;
        int32_t Bits, Samples;
        uint8_t Photometric;
        TIEPreviewsReductionKind Kind;
        int32_t Colors;
    } cases[] = {
        {ioppgGIF, 4, 3, 2, ierkPalette, 16},   // GIF is one sample whatever the set says
        {ioppgPNG, 8, 3, 2, ierkDropPalette, 0},
        {ioppgTGA, 1, 1, 2, ierkPalette, 2},
        {ioppgBMP, 8, 1, 2, ierkConvert, 256},
        {ioppgPCX, 8, 3, 2, ierkNone, 0},
        {ioppgTIFF, 8, 1, 1, ierkGray, 0},
        {ioppgTIFF, 4, 1, 3, ierkPalette, 16},
        {ioppgTIFF, 8, 4, 5, ierkNone, 0},
        {ioppgJPEG, 1, 1, 2, ierkNone, 0},
    };
    for (const auto& c : cases) {
        TIOParamsVals w(nullptr);
        w.BitsPerSample = c.Bits;
        w.SamplesPerPixel = c.Samples;
        w.TIFFPhotometric = c.Photometric;
        const TIEPreviewsReduction r = IEPreviewsReductionOf(c.Page, w);
        EXPECT_EQ(r.Kind, c.Kind) << int(c.Page) << " " << c.Bits << "x" << c.Samples;
        EXPECT_EQ(r.Colors, c.Colors) << int(c.Page) << " " << c.Bits << "x" << c.Samples;
    }
}

TEST(TfIOPreviews, CaptionsComeFromTheWordTable) {
    const std::wstring before[] = {IEGetWord(37, msEnglish), IEGetWord(44, msEnglish), IEGetWord(50, msEnglish)};
    IESetWord(msEnglish, 37, L"Parameters preview");
    IESetWord(msEnglish, 44, L"Compressed size");
    IESetWord(msEnglish, 50, L"Scanned document info");
    const auto captions = IEPreviewsCaptions(msEnglish);
    auto caption = [&](const std::string& Control) {
        int found = 0;
        std::wstring text;
        for (const auto& c : captions)
            if (Control == c.Control) {
                ++found;
                text = c.Caption;
            }
        EXPECT_EQ(found, 1) << Control;
        return text;
    };
    EXPECT_EQ(caption("fIOPreviews"), L"Parameters preview");
    EXPECT_EQ(caption("Label60"), L"Compressed size:");
    EXPECT_EQ(caption("GroupBox1"), L" Scanned document info ");
    EXPECT_EQ(caption("btnApply"), IEGetWord(120, msEnglish));
    EXPECT_EQ(caption("Label66"), IEGetWord(123, msEnglish) + L":");
    IESetWord(msEnglish, 37, before[0]);
    IESetWord(msEnglish, 44, before[1]);
    IESetWord(msEnglish, 50, before[2]);
}
