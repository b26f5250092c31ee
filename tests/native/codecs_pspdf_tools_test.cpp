// The PostScript and PDF writers against Ghostscript and qpdf, which no one here wrote: each page,
// rendered at the page's own resolution (one point a pixel: the paper is the image's size), shows
// exactly the image it holds for the lossless codings and nearly for JPEG; qpdf accepts every
// PDF. Skipped where the tools are absent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../imaging_codecs/CodecTestUtil.h"
#include "CodecToolsUtil.h"
#include "bmpfilt_pdf.h"
#include "bmpfilt_ps.h"
#include "iebitmap.h"
#include "tiflzw.h"
#include "support/ToolSkip.h"

using namespace codectest;
using namespace codectools;
namespace fs = std::filesystem;

namespace {

constexpr int32_t kW = 45, kH = 27;

bool HaveTools() {
    return std::system("command -v gs >/dev/null && command -v qpdf >/dev/null && command -v convert >/dev/null") == 0;
}

class PsPdfTools : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) KW_SKIP_UNLESS_CI() << "Ghostscript, qpdf or ImageMagick is not installed";
        char tmpl[] = "/tmp/kw_pspdf_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        Colour.Allocate(kW, kH, ie24RGB);
        Bilevel.Allocate(kW, kH, ie1g);
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                Colour.SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 5), (uint8_t)(y * 9), (uint8_t)(100 + x * 2 - y)});
                const bool white = ((x / 3 + y / 2) % 3) != 0 && x != y;
                uint8_t& bits = Bilevel.GetScanline(y)[x >> 3];
                bits = (uint8_t)(white ? bits | (0x80 >> (x & 7)) : bits & ~(0x80 >> (x & 7)));
            }
    }
    void TearDown() override {
        if (!Dir.empty()) fs::remove_all(Dir);
    }
    // The page Ghostscript renders at 72 dpi, as RGB bytes (empty when it fails).
    std::string Render(const std::string& File, bool Pdf) {
        const std::string size = Pdf ? "" : " -g" + std::to_string(kW) + "x" + std::to_string(kH) + " -dFIXEDMEDIA";
        if (Shell(Dir, "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -r72" + size + " -sOutputFile=page.png " + File +
                           " && echo ok")
                .empty())
            return {};
        return Shell(Dir, "convert page.png -depth 8 rgb:-");
    }
    fs::path Dir;
    TIEBitmap Colour, Bilevel;
};

}  // namespace

TEST_F(PsPdfTools, PostScriptPagesRenderAsTheImage) {
    const struct {
        TIEBitmap* Image;
        uint8_t Compression;
        int Tolerance;
    } cases[] = {{&Colour, 0, 0}, {&Colour, 3, 24}, {&Bilevel, 0, 0}, {&Bilevel, 1, 0}, {&Bilevel, 2, 0}};
    for (const auto& k : cases) {
        TCall c;
        c.Params.PSPaperWidth = kW;
        c.Params.PSPaperHeight = kH;
        c.Params.PSCompression = k.Compression;
        TMemoryStream out;
        IEWritePSStream(out, k.Image, c.Params, c.Progress);
        Save(Dir / "page.ps", out);
        EXPECT_LE(MaxDiff(Render("page.ps", false), RGBBytes(*k.Image)), k.Tolerance)
            << (int)k.Compression << " " << (k.Image == &Bilevel ? "1 bit" : "colour");
    }
}

TEST_F(PsPdfTools, PdfPagesRenderAsTheImageAndPassQpdf) {
    const struct {
        TIEBitmap* Image;
        uint8_t Compression;
        int Tolerance;
    } cases[] = {{&Colour, 0, 0}, {&Colour, 4, 24}, {&Colour, 5, 0}, {&Bilevel, 0, 0}, {&Bilevel, 1, 0},
                 {&Bilevel, 2, 0}, {&Bilevel, 3, 0}, {&Bilevel, 5, 0}};
    for (const auto& k : cases) {
        TCall c;
        c.Params.PDFPaperWidth = kW;
        c.Params.PDFPaperHeight = kH;
        c.Params.PDFCompression = k.Compression;
        c.Params.PDFTitle = "Ghostscript check";
        c.Params.TIFFLZWCompress = IETIFFLZWCompress;
        TMemoryStream out;
        IEWritePDFStream(out, k.Image, c.Params, c.Progress);
        Save(Dir / "page.pdf", out);
        const std::string what = std::to_string(k.Compression) + (k.Image == &Bilevel ? " 1 bit" : " colour");
        EXPECT_FALSE(Shell(Dir, "qpdf --check page.pdf >/dev/null && echo ok").empty()) << what;
        EXPECT_LE(MaxDiff(Render("page.pdf", true), RGBBytes(*k.Image)), k.Tolerance) << what;
    }
}

// Two pages of different sizes on A4 paper: qpdf accepts the document and Ghostscript renders
// both pages.
TEST_F(PsPdfTools, MultiPageDocuments) {
    TCall c;
    TIEPDFContext* doc = IEPDFCreate();
    IEPDFSavePage(doc, &Colour, c.Params, c.Progress);
    IEPDFSavePage(doc, &Bilevel, c.Params, c.Progress);
    TMemoryStream pdf;
    IEPDFClose(doc, pdf, c.Params);
    Save(Dir / "two.pdf", pdf);
    EXPECT_FALSE(Shell(Dir, "qpdf --check two.pdf >/dev/null && echo ok").empty());
    EXPECT_EQ(Shell(Dir, "qpdf --show-npages two.pdf"), "2\n");

    TMemoryStream ps;
    TIEPSContext* psDoc = IEPSCreate(ps, c.Params);
    IEPSSavePage(psDoc, ps, &Colour, c.Params, c.Progress);
    IEPSSavePage(psDoc, ps, &Bilevel, c.Params, c.Progress);
    IEPSClose(psDoc, ps);
    Save(Dir / "two.ps", ps);
    EXPECT_FALSE(Shell(Dir, "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pnggray -r10 -sOutputFile=p%d.png two.ps && "
                            "test -s p1.png && test -s p2.png && ! test -e p3.png && echo ok")
                     .empty());
}
